#pragma once

#include <memory>
#include <string>

#include <QString>

#include "core/image/CBitmap.h"

// Reading a radiograph from its file into a pixel buffer, as the program opens pictures.
namespace PictureLoader {

// The picture at path as grey pixels: the blue channel of a colour picture, the palette's blue
// of an indexed one. Nothing on failure, with the reason in error: a file that cannot be read
// or decoded, or a picture wider or taller than 32767 pixels (refused from its header, before
// any pixel is decoded).
std::unique_ptr<CBitmap> load(const QString &path, std::string &error);

} // namespace PictureLoader
