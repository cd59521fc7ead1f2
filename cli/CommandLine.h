#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// What oxel-cli does, apart from parsing its arguments.
namespace CommandLine {

// Exit statuses of the program.
inline constexpr int kDone = 0;
inline constexpr int kRefused = 1;   // an evaluation was refused or asked for patient data
inline constexpr int kFileError = 2; // usage, a picture or landmark file that cannot be read

// Evaluates each picture's landmark file as "Write Data" does in the window, appends the
// result blocks and writes the landmark files back. Goes on with the next picture after a
// failure; returns the worst status met. Messages go to stderr as "Title: text".
int evaluatePictures(const std::vector<std::string> &pictures, bool acceptCupCheck);

// Writes the picture's landmark file as JSON to out.
int printLandmarks(const std::string &picture, std::ostream &out);

} // namespace CommandLine
