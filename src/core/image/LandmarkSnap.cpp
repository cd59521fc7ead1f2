#include "core/image/LandmarkSnap.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/model/PointLandmark.h"

namespace LandmarkSnap {

namespace {

// A rim is often a wire, whose outline is its middle, or else the edge of a metal shell.
EdgeSnap::Options optionsFor(const PointLandmark &landmark, EdgeSnap::Options options)
{
    if (options.lineWidth == 0.0 && dynamic_cast<const CEllipse *>(&landmark))
        options.lineWidth = 2.0 * options.radius;
    return options;
}

// Where the landmark's fit puts the outline from (x, y) along the search direction (outwards):
// exact for a circle, to first order for an ellipse.
std::optional<double> fittedOutlineFrom(const PointLandmark &landmark, double x, double y)
{
    if (!landmark.Valid)
        return std::nullopt;
    if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
        return circle->r - std::hypot(x - circle->M.x, y - circle->M.y);
    if (const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark)) {
        if (!(ellipse->a > 0.0) || !(ellipse->b > 0.0))
            return std::nullopt;
        const double px = x - ellipse->M0.x, py = y - ellipse->M0.y;
        const double u = (px * ellipse->CosA + py * ellipse->SinA) / ellipse->a;
        const double v = (-px * ellipse->SinA + py * ellipse->CosA) / ellipse->b;
        const double gradient = 2.0 * std::hypot(u / ellipse->a, v / ellipse->b);
        if (!(gradient > 1e-12))
            return std::nullopt;
        return (1.0 - u * u - v * v) / gradient;
    }
    return std::nullopt;
}

} // namespace

EdgeSnap::Result snapPoint(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    double x, double y, const EdgeSnap::Options &given)
{
    const EdgeSnap::Options options = optionsFor(landmark, given);
    std::optional<EdgeSnap::Direction> across;
    if (landmark.Valid) {
        if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
            across = EdgeSnap::acrossCircle(*circle, x, y);
        else if (const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark))
            across = EdgeSnap::acrossEllipse(*ellipse, x, y);
    }
    return across ? EdgeSnap::snap(picture, x, y, *across, options)
                  : EdgeSnap::snapAcrossGradient(picture, x, y, options);
}

double PointMove::distance() const
{
    return std::hypot(toX - fromX, toY - fromY);
}

double Report::largestMove() const
{
    double largest = 0.0;
    for (const PointMove &move : searched)
        largest = std::max(largest, move.distance());
    return largest;
}

double Report::rmsMove() const
{
    if (searched.empty())
        return 0.0;
    double sum = 0.0;
    for (const PointMove &move : searched)
        sum += move.distance() * move.distance();
    return std::sqrt(sum / double(searched.size()));
}

namespace {

Report searchAcrossFit(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    const std::function<bool(const CPoint &)> &keepExactly, const EdgeSnap::Options &options,
    int &onWires)
{
    Report report;
    onWires = 0;
    for (std::size_t i = 0; i < landmark.points.size(); ++i) {
        const CPoint &point = *landmark.points[i];
        if (keepExactly && keepExactly(point))
            continue;
        // The fit knows where the outline is: an edge near the point but away from the fit is
        // another one.
        EdgeSnap::Options nearFit = options;
        nearFit.expectedAt = fittedOutlineFrom(landmark, point.x, point.y);
        const EdgeSnap::Result found = snapPoint(picture, landmark, point.x, point.y, nearFit);
        PointMove move{i, point.x, point.y, point.x, point.y, found.outcome};
        if (found.outcome == EdgeSnap::Outcome::Snapped) {
            move.toX = found.x;
            move.toY = found.y;
            ++report.snapped;
            onWires += found.onWire ? 1 : 0;
        } else {
            ++report.refused;
        }
        report.searched.push_back(move);
    }
    return report;
}

} // namespace

Report snapAcrossFit(const EdgeSnap::GreyView &picture, PointLandmark &landmark,
    const std::function<bool(const CPoint &)> &keepExactly, const EdgeSnap::Options &options)
{
    if (!landmark.Valid)
        return {};
    int onWires = 0;
    Report report = searchAcrossFit(picture, landmark, keepExactly, options, onWires);
    // A rim is a wire or an edge all round: where a flat rim's ends come close, an edge can pass
    // for a wire, so the majority decides.
    if (onWires > 0 && 2 * onWires < report.snapped && options.lineWidth <= 0.0) {
        EdgeSnap::Options steps = options;
        steps.lineWidth = -1.0;
        report = searchAcrossFit(picture, landmark, keepExactly, steps, onWires);
    }
    if (report.snapped == 0)
        return report;
    for (const PointMove &move : report.searched)
        landmark.points[move.index]->change(move.toX, move.toY);
    report.refitted = landmark.fit();
    if (!report.refitted) {
        for (PointMove &move : report.searched) {
            landmark.points[move.index]->change(move.fromX, move.fromY);
            move.toX = move.fromX;
            move.toY = move.fromY;
        }
        landmark.fit();
    }
    return report;
}

} // namespace LandmarkSnap
