#pragma once

#include "core/evaluation/Calc.h"
#include "core/evaluation/EvaluationHost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Migration values of one point (mm): distances in space from the planes through the focus and
// the Base-Line, the F-Line and the Top-Line.
struct MigrationValues
{
    bool valid = false;
    double cranial = 0, medial = 0, antiparameter = 0;
};

struct WearVector
{
    double x = 0, y = 0; // true-size mm; x already mirrored for a left hip
};

// Everything one evaluation writes: the 13 lines are formed from this alone.
struct ResultBlock
{
    std::string fileName; // DatFile + ".dat", as shown in the header line
    CalendarDate date;
    std::string famname, vorname, code, datum;
    bool sideLeft = false;
    MigrationValues head, cup;
    std::optional<double> inclination;                // absent: neither ruler nor rim
    std::optional<Calc::RimOrientation> rim;          // absent: not computed
    Calc::GridDistances grid;
    std::int16_t typ = 0;
    bool slFlag = false;
    std::optional<WearVector> wear;
    double radiofactor = 0;
};

// The patient's result file, read by the study's evaluation program: its text is fixed to the
// character.
namespace ResultFile {

// A number as "%.15g" writes it in the C locale: a period, up to 15 significant digits, a zero
// before the period, and 0 for a negative zero.
std::string formatNumber(double value);
// The 13 lines of a block, each ended by CR LF, in UTF-8 (the file holds Windows-1252).
std::string formatBlock(const ResultBlock &block);
// Appends the bytes to the file (created when missing) whole or not at all: after a failed
// write the file is cut back to its earlier length. False with a reason in error on failure.
bool append(const std::string &path, std::string_view bytes, std::string &error);

} // namespace ResultFile
