#pragma once

#include <optional>
#include <string>

#include "core/image/DicomHeader.h"

// What the command line learns of a picture from its header, without decoding its pixels.
struct PictureFacts
{
    std::string format; // "dicom", or Qt's name of the format: "jpeg", "bmp", "gif", "png", ...
    int width = 0;
    int height = 0;
    std::optional<DicomHeader> dicom; // the whole header of a DICOM picture
};

// The facts of the picture file at path (a file name as the system gives it). False, with the
// reason, when the header cannot be read, when a DICOM header holds what the window refuses to
// open, or when the picture is wider or taller than can be measured (CBitmap::tooLargeText).
bool readPictureFacts(const std::string &path, PictureFacts &facts, std::string &error);

// The facts as one JSON object, its lines indented by indent spaces: the picture's name, its
// format and size and, for DICOM, what the header says of the pixels, the geometry, the patient
// and the windows.
std::string pictureFactsJson(const std::string &picture, const PictureFacts &facts, int indent);

// A picture that could not be read, as a JSON object: its name and the reason.
std::string pictureErrorJson(const std::string &picture, const std::string &error, int indent);
