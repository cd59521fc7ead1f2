#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/evaluation/Calc.h"
#include "core/evaluation/EvaluationHost.h"

// One block of a result file as it was read: every value the block's 13 lines carry, a value
// written in its "nodata" form kept as missing rather than as 0.
struct ResultEntry
{
    int line = 0; // the number of the block's first line in its file, counted from 1
    std::string fileName; // as the header line names it
    CalendarDate written; // the day the block was appended
    std::string famname, vorname, code; // UTF-8
    std::string datum; // the date of the radiograph as stored, usually "yyyymmdd"
    std::optional<CalendarDate> radiographDate; // datum understood as a day, when it is one
    bool sideLeft = false;
    std::optional<double> headCranial, headMedial;
    std::optional<double> cupCranial, cupMedial;
    std::optional<double> inclination, anteversion;
    double beta1 = 0, beta2 = 0; // 0 with empty signs where the rim was not computed
    std::string sign1, sign2;
    double headAntiparameter = 0, cupAntiparameter = 0;
    Calc::GridDistances grid;
    int typ = 0;
    bool slFlag = false;
    std::optional<double> wearX, wearY;
    double radiofactor = 0;
    // False when a later block of the same file is of the same radiograph (the same patient,
    // side and date of radiograph): that one is what the series uses.
    bool current = true;
};

// A block that could not be read, or something else the reader had to pass over.
struct ReadProblem
{
    int line = 0; // where in the file, counted from 1; 0 for the file as a whole
    std::string reason;
};

struct ResultFileContents
{
    std::vector<ResultEntry> entries; // in the order of the file
    std::vector<ReadProblem> problems; // in the order of the file
};

// Reads the result file that the evaluation appends to (Windows-1252, CR LF; a bare LF is
// taken too). A damaged file is read as far as it goes: each block that cannot be read is
// reported with the line and the reason, and reading goes on at the next block's header line.
namespace ResultFileReader {

// The file's bytes as they are on the disk.
ResultFileContents parse(std::string_view bytes);

// False, with the system's reason in `error`, when the file cannot be read at all (missing,
// unreadable, a folder); the contents of a file that can be read, however damaged, otherwise.
bool read(const std::string &path, ResultFileContents &contents, std::string &error);

// "yyyymmdd" (as the patient dialog takes it) or "yyyy-mm-dd", and a real day of the calendar.
std::optional<CalendarDate> radiographDate(std::string_view datum);

} // namespace ResultFileReader
