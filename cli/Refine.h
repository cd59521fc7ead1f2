#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace CommandLine {

// Moves the stored head, cup and rim points of each picture's landmark file onto the outline
// in the picture as the window loads it, fits each landmark again and, unless dryRun, writes
// the landmark file back when a point moved. Prints a line per landmark and one per picture to
// out; reading and writing failures go to stderr as "Title: text". Goes on with the next
// picture after a failure and returns the worst status: kRefused when a picture has no fitted
// landmark or a landmark could not be refined (no point found its edge, or the snapped points
// gave no fit), kFileError for a landmark file or picture that cannot be read or a landmark
// file that cannot be written.
int refinePictures(const std::vector<std::string> &pictures, bool dryRun, std::ostream &out);

} // namespace CommandLine
