#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records/CPatient.h"

class COxel;

// A value copy of everything the operator enters into a measurement, for taking changes back:
// the scale with its calibration, the ten lines, the three landmarks with their points and
// fitted shapes, the date and the patient record.
//
// Left out, because no operator enters them: Visible (whether the window shows the landmarks
// at this moment) and SinA, CosA and Center (the evaluation's working frame, which every
// evaluation sets anew before it uses it).
struct MeasurementState
{
    struct Point
    {
        double x = 0, y = 0;
        bool operator==(const Point &) const = default;
    };

    struct Line
    {
        bool Valid = false;
        Point P0, P1;
        bool operator==(const Line &) const = default;
    };

    struct Landmark
    {
        bool Valid = false;
        bool PVisible = false;
        std::vector<Point> points; // in the order of clicking
        // The fitted shape: a circle's M, then its r; an ellipse's M0 to M3, then a, b, CosA and
        // SinA.
        std::vector<Point> shapePoints;
        std::vector<double> shapeValues;
        bool operator==(const Landmark &) const = default;
    };

    bool DatFlag = false;
    double ScaleFactor = 1.0;
    std::int16_t WPixel = 0;
    std::int16_t HPixel = 0;
    double CalibDist = 0.0;
    Line CalibPoints;
    std::array<Line, 10> lines; // in the order of COxel::lines()
    std::array<Landmark, 3> landmarks; // in the order of COxel::landmarks(): head, cup, rim
    std::string Datum;
    CPatient Patient;

    bool operator==(const MeasurementState &) const = default;

    static MeasurementState of(const COxel &oxel);
    // Makes the measurement hold this state. Its objects stay where they are (the lines, the
    // landmarks, their surfaces), but every clicked point is made anew: a reference to a point
    // taken before does not see the change.
    void applyTo(COxel &oxel) const;
    // The same for one landmark only, by its place in COxel::landmarks().
    void applyLandmarkTo(COxel &oxel, std::size_t which) const;
};
