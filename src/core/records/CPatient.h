#pragma once

#include <cstdint>
#include <string>

// The administrative and prosthesis data of the patient whose radiograph is measured. A plain
// value record; whoever stores a value answers for its sense.
class CPatient
{
public:
    std::string Famname; // family name
    std::string Vorname; // first name
    std::string Code;    // study identifier
    std::int16_t Typ = 0; // evaluation type from 1; 0 or less: none chosen
    bool SLFlag = false;  // the cup-based variant of type 7
    double HeadTR = 0.0;  // nominal femoral head radius, mm
    double CupTR = 0.0;   // nominal cup radius, mm
    double FocH = 0.0;    // focus distance, mm; 0 when not given
    std::string DatFile;  // result file path without its ".dat"

    // Copies all nine fields of the other record.
    void copy(const CPatient &other);
};

// The program-wide record that carries the last loaded or entered patient data from one
// radiograph to the next. Created empty on first use, never reset.
CPatient &LastPatient();
