#pragma once

#include <string>

// Timings of what is being entered on the picture, in a main window on
// radiograph-8192x6144.bmp with a 1600 x 1000 view: repaints while points are collected, with
// all landmarks entered, and while a point is dragged, and one mouse move of that drag.
// Needs a QApplication.
int runEntryAnchors(const std::string &dir);
