#pragma once

#include <string>
#include <vector>

// A grey picture as a 12-bit JPEG stream of the extended process (frame SOF1, precision 12),
// as archives write their lossy 12-bit radiographs, coded by the decoding library's own 12-bit
// JPEG coder at the given quality (1 to 100). values are width x height samples from 0 to
// 4095, the top row first.
std::string jpeg12Stream(int width, int height, const std::vector<int> &values, int quality);
