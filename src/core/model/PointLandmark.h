#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/model/CPoint.h"

// The hit codes of the measurement's findMode: which item lies under the mouse. The numbers
// are fixed: the window's tool modes take the codes of the lines they drag, and the i-th
// clicked point (i from 1) of a landmark has the landmark's base + i.
enum class HitCode : std::int16_t {
    Nothing = 0,
    BaseP0 = 1,
    BaseP1 = 2,
    BaseLine = 3,
    HMLine = 4,
    TopLine = 5,
    LeftLine = 6,
    VMLine = 7,
    FLine = 8,
    RightLine = 9,
    CrossH = 10,
    CrossV = 11,
    Ruler = 12,
    RulerP0 = 13,
    RulerP1 = 14,
    HeadBase = 101,
    CupBase = 201,
    RimBase = 301,
};

// The code of a landmark's number-th clicked point (number from 1): its base + number.
constexpr HitCode pointHit(HitCode base, int number)
{
    return static_cast<HitCode>(static_cast<int>(base) + number);
}

// A line of the measurement or one of its end points: codes BaseP0 to RulerP1.
constexpr bool isLineHit(HitCode code)
{
    return code >= HitCode::BaseP0 && code <= HitCode::RulerP1;
}

// What the circle and the ellipse landmarks share: the points the operator clicked, in the
// order of clicking, their hit test and their markers. A derived landmark adds the fitted shape.
class PointLandmark
{
public:
    bool Valid = false; // a fitted shape is present
    bool PVisible = false; // the clicked points and the centre are drawn and can be hit
    // Positions count from 1 in hit codes: the i-th point (i from 1) is points[i - 1]. The
    // points are shared so that the window can keep hold of the one it drags.
    std::vector<std::shared_ptr<CPoint>> points;

    // Appends a point at (x, y) in picture coordinates and returns it. Neither draws nor refits.
    std::shared_ptr<CPoint> addPoint(double x, double y);
    // Empties the point collection; the fitted shape and Valid stay.
    void removeAll();
    // name + i for the first clicked point i (from 1) within 6 units of (x, y); Nothing when
    // none is near, or when the landmark is not Valid or its points are hidden. The centre is
    // not hit.
    HitCode findMode(double x, double y) const;
    // The clicked point that a hit code of this landmark names (code base + i: points[i - 1]);
    // nothing for a code that is not one of its points.
    std::shared_ptr<CPoint> pointAt(HitCode code) const;

    // The hit code base: 101 head, 201 cup, 301 rim.
    HitCode codeBase() const { return name; }

    // Fits the shape to the points; false (the shape as it was) when they do not determine one.
    // Does not change Valid.
    virtual bool fit() = 0;
    // Nothing unless Valid; else the shape in the surface's current draw mode and, when the
    // points are visible, the points and the centre, all in color.
    virtual void draw(std::uint32_t color) const = 0;

protected:
    PointLandmark() = default;
    ~PointLandmark() = default;
    PointLandmark(const PointLandmark &) = default;
    PointLandmark &operator=(const PointLandmark &) = default;

    void initLandmark(HitCode codeBase, DrawingSurface *picBox, CPoint &centre);
    // Draws every clicked point and then the centre when the points are visible.
    void drawPoints(const CPoint &centre) const;

    HitCode name = HitCode::Nothing;
    DrawingSurface *surface = nullptr;
};
