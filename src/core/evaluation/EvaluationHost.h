#pragma once

#include <string>

#include "core/model/Messages.h"

class COxel;

// A day of the calendar, as the result file's date item carries it.
struct CalendarDate
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0; // 1 to 31
};

// Today's date on this machine's calendar (local time).
CalendarDate systemDate();

// Bits of the missing-data set with which the patient dialog is opened.
namespace MissingData {
inline constexpr int Date = 0x1;
inline constexpr int Famname = 0x2;
inline constexpr int Vorname = 0x4;
inline constexpr int Code = 0x8;
inline constexpr int Typ = 0x10;
inline constexpr int HeadSize = 0x20;
inline constexpr int CupSize = 0x40;
inline constexpr int Focus = 0x80;
inline constexpr int DatFile = 0x100;
} // namespace MissingData

// What the evaluation needs of the window that runs it: the measurement, the operator's
// message boxes, and the patient dialog for data it finds missing. The desktop program and the
// command line each implement it, so that both run the one evaluation.
class EvaluationHost
{
public:
    virtual ~EvaluationHost() = default;

    virtual COxel &oxel() = 0;

    virtual Messages &messages() { return currentMessages(); }

    // Lets the operator complete the patient data; flags name the missing items.
    virtual void open_Patient(int flags) = 0;

    // The date written into the result file.
    virtual CalendarDate today() const { return systemDate(); }

    // The folder in which a result file named without a folder of its own lies: the picture's
    // folder, where operators expect it. Empty: the process's working folder.
    virtual std::string resultFolder() const { return {}; }
};
