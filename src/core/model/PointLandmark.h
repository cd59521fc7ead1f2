#pragma once

#include "core/model/CPoint.h"

#include <cstdint>
#include <memory>
#include <vector>

// What the circle and the ellipse landmarks share: the points the operator clicked, in the
// order of clicking, their hit test and their markers. A derived landmark adds the fitted shape.
class PointLandmark
{
public:
    bool Valid = false;   // a fitted shape is present
    bool PVisible = false; // the clicked points and the centre are drawn and can be hit
    // Positions count from 1 in hit codes: the i-th point (i from 1) is points[i - 1]. The
    // points are shared so that the window can keep hold of the one it drags.
    std::vector<std::shared_ptr<CPoint>> points;

    // Appends a point at (x, y) in picture coordinates and returns it. Neither draws nor refits.
    std::shared_ptr<CPoint> addPoint(double x, double y);
    // Empties the point collection; the fitted shape and Valid stay.
    void removeAll();
    // name + i for the first clicked point i (from 1) within 6 units of (x, y); 0 when none is
    // near, or when the landmark is not Valid or its points are hidden. The centre is not hit.
    int findMode(double x, double y) const;

    // The hit code base: 101 head, 201 cup, 301 rim.
    std::int16_t codeBase() const { return name; }

protected:
    PointLandmark() = default;
    ~PointLandmark() = default;
    PointLandmark(const PointLandmark &) = default;
    PointLandmark &operator=(const PointLandmark &) = default;

    void initLandmark(std::int16_t codeBase, DrawingSurface *picBox, CPoint &centre);
    // Draws every clicked point and then the centre when the points are visible.
    void drawPoints(const CPoint &centre) const;

    std::int16_t name = 0;
    DrawingSurface *surface = nullptr;
};
