#pragma once

#include <string>

// Timings of the window's side: repainting the view, a colour change, opening pictures.
// Need a QApplication.
int runViewAnchors(const std::string &dir);
// Writes the pictures the view timings open (JPEG grey and colour, 8-bit bitmap, GIF).
int writeViewAnchors(const std::string &dir);
