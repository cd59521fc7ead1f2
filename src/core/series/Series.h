#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/series/ResultFileReader.h"

// One patient's hip over time: the current blocks of one patient (name, first name, study id)
// and side, ordered by the date of the radiograph, each compared with the first of them (the
// post-operative baseline).
struct SeriesPoint
{
    std::size_t entry = 0; // index into the entries the series was built from
    std::optional<double> years; // since the baseline; missing without a radiograph date
    bool headBased = true; // the head is the reference sphere (types 1 to 5 and 9)
    // False when the migration and wear of this block cannot be compared with the baseline's,
    // because the two were evaluated with different reference spheres; `remark` says why.
    bool comparable = true;
    std::string remark;
    // Changes since the baseline (mm or degrees); missing where either value is missing or
    // the method does not allow the comparison.
    std::optional<double> headCranial, headMedial, cupCranial, cupMedial;
    std::optional<double> inclination, anteversion;
    std::optional<double> wearX, wearY, wear; // the wear vector's change and its length
    // The changes divided by the years since the baseline; missing at the baseline itself.
    std::optional<double> headCranialPerYear, headMedialPerYear, cupCranialPerYear,
        cupMedialPerYear, inclinationPerYear, anteversionPerYear, wearPerYear;
};

struct Series
{
    std::string famname, vorname, code;
    bool sideLeft = false;
    std::vector<SeriesPoint> points; // the baseline first; radiographs without a date last
};

// A result file with what was read from it and the series built of it.
struct SeriesFile
{
    std::string path;
    ResultFileContents contents;
    std::vector<Series> series;
};

namespace SeriesBuilder {

// The series of the current entries, in the order in which their patients first appear.
std::vector<Series> build(const std::vector<ResultEntry> &entries);

// Reads the file and builds its series; false, with the reason, when it cannot be read at all.
bool load(const std::string &path, SeriesFile &file, std::string &error);

} // namespace SeriesBuilder
