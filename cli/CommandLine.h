#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class COxel;

// What oxel-cli does, apart from parsing its arguments.
namespace CommandLine {

// Exit statuses of the program.
inline constexpr int kDone = 0;
inline constexpr int kRefused = 1; // an evaluation was refused or asked for patient data
inline constexpr int kFileError = 2; // usage, a picture or landmark file that cannot be read
inline constexpr int kBlocksSkipped = 1; // blocks of a result file could not be read

// Runs the command the arguments (without the program's name) give and returns the exit
// status. Nothing escapes it: an exception ends the command with "Oxel Error: <reason>" on
// stderr and kFileError, the files as far as they were written (a result block whole or not at
// all, a landmark file old or new).
int run(const std::vector<std::string> &args);

// Evaluates each picture's landmark file as "Write Data" does in the window, appends the
// result blocks and writes the landmark files back. Goes on with the next picture after a
// failure; returns the worst status met. Messages go to stderr as "Title: text".
int evaluatePictures(const std::vector<std::string> &pictures, bool acceptCupCheck);

// Reads the picture's landmark file (landmarkFile) into oxel as opening the picture does, with
// the picture's size from its header. False after a message naming what could not be read.
bool readLandmarkFile(const std::string &picture, const std::string &landmarkFile, COxel &oxel);

// Writes the picture's landmark file as JSON to out.
int printLandmarks(const std::string &picture, std::ostream &out);

// Writes a JSON array to out with one object per picture, in their order: what its header says
// (PictureFacts), or, for a picture that cannot be read, the reason, which also goes to stderr
// as "Error: load Error: <reason>". kFileError when any picture could not be read.
int printInfo(const std::vector<std::string> &pictures, std::ostream &out);

// A linear window over a DICOM picture's modality values.
struct RenderWindow
{
    double center = 0;
    double width = 1;
};

// Writes the picture as an 8-bit grey PNG to png, as the window shows it after opening (the
// loader's pixel buffer through its colour table) or, for a grey DICOM picture, under the
// window given. The file is written whole or not at all: a failure names why and leaves
// whatever was at png before. A window for any other picture is a usage error.
int renderPicture(
    const std::string &picture, const std::string &png, const std::optional<RenderWindow> &window);

// How oxel-cli series prints what it read.
enum class SeriesFormat {
    Table, // a short table per series, for a person
    Csv, // SeriesCsv's table of every block
    Json, // every block, the problems and the series
};

// Reads each result file and writes its blocks and series to out in the format given. Each
// problem of a damaged file goes to stderr as "<file>:<line>: <reason>" and the other blocks
// are still shown; a file that cannot be read at all is named there with the reason. Returns
// kDone when every block was read, kBlocksSkipped when blocks were passed over, kFileError
// when a file could not be read or out failed: the worst over the files.
int printSeries(const std::vector<std::string> &files, SeriesFormat format, std::ostream &out);

} // namespace CommandLine
