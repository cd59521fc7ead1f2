#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/evaluation/Calc.h"
#include "core/evaluation/EvaluationHost.h"

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
    std::optional<double> inclination; // absent: neither ruler nor rim
    std::optional<Calc::RimOrientation> rim; // absent: not computed
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
// Where the result file of a patient's DatFile lies: DatFile + ".dat", a name without a folder
// of its own taken from `folder` (the picture's folder; empty: the working folder).
std::string pathFor(const std::string &datFile, const std::string &folder);
// The 13 lines of a block, each ended by CR LF, in UTF-8 (the file holds Windows-1252).
std::string formatBlock(const ResultBlock &block);
// How long an append waits for another writer of the same result file (a second window, the
// command line, a colleague on a shared folder) to finish its block.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// Appends the bytes to the file (created when missing) whole or not at all, and has them on the
// disk before it returns true. The whole block is written under an fcntl write lock on the whole
// file, so blocks of several processes never mix; when another process keeps the lock for
// longer than `lockWait`, nothing is written and `error` says that another program holds the
// file. After a failed write or flush exactly the bytes this call wrote are cut away, still
// under the lock, so blocks others appended before stay; a file this call created is left empty
// rather than removed, since another writer may already have it open. Appends from threads of
// one process take turns (the fcntl lock does not part them). False on failure, with the reason
// in `error`: the system's text, such as "No space left on device", for a failed open, write or
// flush.
bool append(const std::string &path, std::string_view bytes, std::string &error,
    std::chrono::milliseconds lockWait = kLockWait);

} // namespace ResultFile
