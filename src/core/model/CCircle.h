#pragma once

#include <cstdint>

#include "core/model/CPoint.h"
#include "core/model/PointLandmark.h"

// A circle landmark (the femoral head, the cup) fitted by least squares to clicked points.
class CCircle : public PointLandmark
{
public:
    CPoint M; // centre, picture coordinates
    double r = 0.0; // radius, picture units

    // Stores the hit code base and the surface, hands the surface to M, makes the circle not
    // Valid and its points visible. The points stay.
    void init(HitCode codeBase, DrawingSurface *picBox);
    // Nothing unless Valid; else the circle in the current draw mode and, when the points are
    // visible, every point and then the centre, all in the given colour.
    void draw(std::uint32_t color) const override;
    // Least-squares circle through the points (the error measured in the circle equation).
    // False, and M and r untouched, with fewer than 3 points (silently) or when the points lie
    // on one straight line (after the solver's message). Does not change Valid.
    bool fit() override;
};
