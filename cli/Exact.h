#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace CommandLine {

// Evaluates each picture's landmark file exactly (ExactEvaluation) and, for comparison, as
// "Write Data" would, without writing anything. Prints one JSON object per picture and line,
// or with csv a header and one row per picture. Goes on with the next picture after a failure
// and returns the worst status: kRefused when a picture cannot be evaluated exactly (no focus
// distance, nothing marked), kFileError for a picture or landmark file that cannot be read.
int exactPictures(const std::vector<std::string> &pictures, bool csv, std::ostream &out);

} // namespace CommandLine
