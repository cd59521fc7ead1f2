#pragma once

#include <string>

#include "ui/PictureHeader.h"

// The facts as one JSON object, its lines indented by indent spaces: the picture's name, its
// format and size and, for DICOM, what the header says of the pixels, the geometry, the patient
// and the windows.
std::string pictureFactsJson(const std::string &picture, const PictureFacts &facts, int indent);

// A picture that could not be read, as a JSON object: its name and the reason.
std::string pictureErrorJson(const std::string &picture, const std::string &error, int indent);
