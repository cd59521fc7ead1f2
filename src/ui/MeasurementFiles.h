#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class COxel;

// Reading a picture's measurement from its landmark file without opening the picture, as the
// command line and the follow-up window do.
namespace MeasurementFiles {

// The picture's size from its header; the pixels are never decoded. False after the box
// "load Error: <reason>" (title "Error").
bool pictureSize(const std::string &picture, std::int16_t &width, std::int16_t &height);

// Reads the picture's landmark file (landmarkFile) into oxel as opening the picture does, with
// the picture's size from its header. False after a message naming what could not be read.
bool loadMeasurement(const std::string &picture, const std::string &landmarkFile, COxel &oxel);

// A landmark file of a folder that could not be read, and why.
struct FolderProblem
{
    std::string landmarkFile; // its path
    std::string reason;
};

// Reads every picture in folder and its subfolders that has a landmark file beside it: the
// pictures the program opens by their extension (bmp, jpg, jpeg, gif, png, tif, tiff, dcm,
// dicom, in any case), and DICOM files without an extension. `take` gets each measurement read,
// in the order of the landmark files' paths. A landmark file that cannot be read, or has no picture
// beside it to give its size, is a problem, not a message box: the messages loading shows are
// collected and returned, and the other files are still read. A folder that cannot be listed is one
// problem.
std::vector<FolderProblem> readFolder(const std::string &folder,
    const std::function<void(
        const std::string &picture, const std::string &landmarkFile, const COxel &oxel)> &take);

} // namespace MeasurementFiles
