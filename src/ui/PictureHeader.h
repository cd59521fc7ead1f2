#pragma once

#include <optional>
#include <string>

#include "core/image/DicomHeader.h"

// What a picture's header says, read without decoding its pixels.
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
