#pragma once

#include <string>

class COxel;

// The measurement as JSON: patient, date, scale, the ten lines with their validity and the
// clicked points of head, cup and rim, each position in world millimetres and in picture
// pixels.
std::string landmarkJson(
    const COxel &oxel, const std::string &picture, const std::string &landmarkFile);
