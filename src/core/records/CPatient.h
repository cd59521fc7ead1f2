#pragma once

#include <cstdint>
#include <string>

// The evaluation types the patient dialog offers, with the numbers that the landmark file and the
// result file carry; the name says which sphere is the reference. 7 also stands for "7a", the
// same type with the SL flag set. CPatient::Typ keeps the number as stored, since a file may
// hold any value; the rules below take that number as it is.
enum class EvaluationType : std::int16_t {
    HeadBased1 = 1,
    HeadBased2 = 2,
    HeadBased3 = 3,
    HeadBased4 = 4,
    HeadBased5 = 5,
    CupBased6 = 6,
    CupBased7 = 7,
    CupBased8 = 8,
    HeadBased9 = 9,
};

// The number CPatient::Typ holds for the type.
constexpr std::int16_t typNumber(EvaluationType type)
{
    return static_cast<std::int16_t>(type);
}

// A type has been chosen: 0 or less means none.
constexpr bool isTypeChosen(std::int16_t typ)
{
    return typ >= typNumber(EvaluationType::HeadBased1);
}

// The femoral head is the reference sphere for types 1 to 5 and 9, and for any value below 6;
// the cup for 6, 7, 8 and any other value above 5.
// Takes any integer, as a result file may hold one.
constexpr bool isHeadBased(int typ)
{
    return typ == typNumber(EvaluationType::HeadBased9)
        || typ < typNumber(EvaluationType::CupBased6);
}

// Types 1 to 3 (and any value below 4) hold the rim's size against the nominal cup diameter.
constexpr bool checksCupDiameter(std::int16_t typ)
{
    return typ < typNumber(EvaluationType::HeadBased4);
}

// Types 3, 6 and 9 leave the cup's orientation from the rim out.
constexpr bool orientsRim(std::int16_t typ)
{
    return typ != typNumber(EvaluationType::HeadBased3)
        && typ != typNumber(EvaluationType::CupBased6)
        && typ != typNumber(EvaluationType::HeadBased9);
}

// The administrative and prosthesis data of the patient whose radiograph is measured. A plain
// value record; whoever stores a value answers for its sense.
class CPatient
{
public:
    std::string Famname; // family name
    std::string Vorname; // first name
    std::string Code; // study identifier
    std::int16_t Typ = 0; // EvaluationType number from 1; 0 or less: none chosen
    bool SLFlag = false; // the cup-based variant of type 7
    double HeadTR = 0.0; // nominal femoral head radius, mm
    double CupTR = 0.0; // nominal cup radius, mm
    double FocH = 0.0; // focus distance, mm; 0 when not given
    std::string DatFile; // result file path without its ".dat"

    // Copies all nine fields of the other record.
    void copy(const CPatient &other);

    bool operator==(const CPatient &) const = default;
};

// The program-wide record that carries the last loaded or entered patient data from one
// radiograph to the next. Created empty on first use, never reset.
CPatient &LastPatient();
