#pragma once

#include <string>
#include <vector>

#include "core/series/Series.h"

// A result file as oxel-cli series met it: read, however damaged, or not readable at all.
struct LoadedResultFile
{
    SeriesFile file; // file.path as given on the command line
    bool readable = false;
    std::string error; // why it could not be read
};

// One JSON array with an object per file, in their order: the file's name, every block read
// (its values, missing ones as null), the problems met (line and reason) and the series built
// of the current blocks, each point with its years, changes and rates since the baseline. A
// file that cannot be read gives its name and the error instead.
std::string seriesJson(const std::vector<LoadedResultFile> &files);

// A short table for a person: per file its name, then per series the patient and side and a
// line per radiograph with its date, the years since the baseline, the cup's cranial and
// medial migration and the wear since the baseline (mm, two decimals; "-" where missing) and
// the remark where something was not compared.
std::string seriesTable(const std::vector<LoadedResultFile> &files);
