#pragma once

#include <string>
#include <vector>

#include "core/series/Series.h"

// A comma-separated table of result blocks for spreadsheets and statistics programs: UTF-8,
// a header row, one row per block in the order of the files, ISO dates, a period as the
// decimal separator, an empty cell for a missing value, fields quoted where they must be
// (RFC 4180), CR LF line ends.
namespace SeriesCsv {

// The header row, then one row per entry of each file (non-current ones too, marked as such)
// with the block's own values and, where the entry belongs to a series, its changes since the
// baseline and their rates. The first column names the result file.
std::string format(const std::vector<SeriesFile> &files);

} // namespace SeriesCsv
