#pragma once

#include <cstdint>

#include "core/model/CPoint.h"
#include "core/model/PointLandmark.h"

// The rim of the cup: an ellipse through clicked points, constructed from exactly three points
// (the first two are the ends of one axis) or fitted by least squares to five or more.
//
// After a successful fit M1 = M0 + a*(CosA, SinA), M2 = 2*M0 - M1, and M3 lies at distance b
// from M0 at a right angle to the first axis. The general fit makes the first axis the major
// one (a >= b); the three-point fit keeps the axis through the first two points, whichever is
// longer. A failed fit changes none of these fields.
class CEllipse : public PointLandmark
{
public:
    CPoint M0; // centre, picture coordinates
    CPoint M1; // one end of the first axis
    CPoint M2; // the other end of the first axis
    CPoint M3; // one end of the second axis
    double a = 0.0; // half length of the first axis, picture units
    double b = 0.0; // half length of the second axis
    double CosA = 0.0; // unit vector from M0 towards M1
    double SinA = 0.0;

    void init(HitCode codeBase, DrawingSurface *picBox);
    // Nothing unless Valid; else the outline as a closed polyline and, when the points are
    // visible, every point and then the centre, all in the given colour.
    void draw(std::uint32_t color) const override;
    // 3 points: fit3; 5 or more: fitN; 0, 1, 2 or 4: false silently. Does not change Valid.
    bool fit() override;
    // Three-point construction. Fails with "wrong points for Rim" when the third point lies
    // beyond the end of the first axis or the first two points coincide.
    bool fit3();
    // Least-squares conic with the coefficient of y^2 fixed to 1. Fails after the solver's
    // message on singular equations, with "Interpolation HYPERBOLIC!" when the conic is no
    // ellipse.
    bool fitN();

private:
    struct Shape
    {
        CPoint centre, end1, end2, end3;
        double a, b;
    };

    void assign(const Shape &shape);
};
