#pragma once

#include <cmath>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "core/model/COxel.h"

// A left hip ready to be evaluated, as the tests of the window, the command line and the
// fault tests need one: a 2000 x 1600 px picture at 5 px/mm, the grid confirmed on the
// Base-Line (400, 1200)-(1400, 1200), the head's outline clicked at headPoints points of a
// circle of 80 px about (1250, 800), the rim's at rimPoints points of an ellipse about
// (1260, 790) turned by atan(3/4), both fitted, and complete patient data (Müller, Anna, S-17,
// 15 January 2024, type 1, head 28 mm, cup 36 mm) writing to datFile.
// The picture's scale and grid of that hip, without landmarks or patient data.
inline void leftHipGrid(COxel &oxel)
{
    oxel.setPicBox(nullptr);
    EXPECT_TRUE(oxel.initScale(2000, 1600, 400.0));
    oxel.init(400, 1200, 1400, 1200);
    const auto lines = oxel.lines();
    for (std::size_t i = 0; i < COxel::kGridLineCount; ++i)
        lines[i]->Valid = true;
}

inline COxel leftHip(const std::string &datFile, int headPoints = 8, int rimPoints = 8)
{
    COxel oxel;
    leftHipGrid(oxel);
    for (int i = 0; i < headPoints; ++i) {
        const double t = 2 * std::numbers::pi * i / headPoints;
        oxel.Head.addPoint(1250 + 80 * std::cos(t), 800 + 80 * std::sin(t));
    }
    for (int i = 0; i < rimPoints; ++i) {
        const double t = 2 * std::numbers::pi * i / rimPoints;
        oxel.Rim.addPoint(1260 + 100 * std::cos(t) * 0.8 - 40 * std::sin(t) * 0.6,
            790 - 100 * std::cos(t) * 0.6 - 40 * std::sin(t) * 0.8);
    }
    oxel.Head.Valid = oxel.Head.fit();
    oxel.Rim.Valid = rimPoints > 0 && oxel.Rim.fit();
    EXPECT_TRUE(oxel.Head.Valid);
    oxel.Datum = "20240115";
    oxel.Patient.Famname = "Müller";
    oxel.Patient.Vorname = "Anna";
    oxel.Patient.Code = "S-17";
    oxel.Patient.Typ = 1;
    oxel.Patient.HeadTR = 14;
    oxel.Patient.CupTR = 18;
    oxel.Patient.DatFile = datFile;
    return oxel;
}
