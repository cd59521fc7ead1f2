#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "core/image/EdgeSnap.h"

class CPoint;
class PointLandmark;

// Edge snapping applied to a landmark's clicked points: the one path the window, the command
// line and the validation take, so that they place the same points.
namespace LandmarkSnap {

// Searches for the outline near (x, y): across the landmark's fit when it is Valid (from the
// circle's centre, or along the rim ellipse's own normal), else along the strongest gradient.
// A rim's outline may be a wire (its middle) unless options.lineWidth says otherwise.
EdgeSnap::Result snapPoint(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    double x, double y, const EdgeSnap::Options &options = {});

struct PointMove
{
    std::size_t index = 0; // in landmark.points
    double fromX = 0.0, fromY = 0.0;
    double toX = 0.0, toY = 0.0; // where the point stands afterwards
    EdgeSnap::Outcome outcome = EdgeSnap::Outcome::NoEdge;

    double distance() const;
};

struct Report
{
    std::vector<PointMove> searched; // every point searched, in the landmark's order
    int snapped = 0;
    int refused = 0;
    // False when the snapped points no longer determined the shape: every point went back and
    // the landmark was fitted again from them, as before.
    bool refitted = false;
    double largestMove() const;
    double rmsMove() const;
};

// Every point (but those keepExactly names) is searched across the same current fit, within
// 2.5 px of the fitted outline (so that the order of the points does not matter, a steeper
// neighbouring edge does not take a point, and a point clicked farther off comes back); the snapped
// ones are moved and the landmark fitted again. A landmark that is not Valid is left alone (an
// empty report). Valid is not changed. A rim whose points mostly found no wire is searched for
// edges alone.
Report snapAcrossFit(const EdgeSnap::GreyView &picture, PointLandmark &landmark,
    const std::function<bool(const CPoint &)> &keepExactly = {},
    const EdgeSnap::Options &options = {});

} // namespace LandmarkSnap
