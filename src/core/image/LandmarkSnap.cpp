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

// How far from the fitted outline a point is searched for after the fit, picture pixels.
constexpr double kNearFit = 2.5;

// Across the landmark's fit at (x, y): from the circle's centre, or the rim ellipse's normal.
std::optional<EdgeSnap::Direction> directionAcross(
    const PointLandmark &landmark, double x, double y)
{
    if (!landmark.Valid)
        return std::nullopt;
    if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
        return EdgeSnap::acrossCircle(*circle, x, y);
    if (const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark))
        return EdgeSnap::acrossEllipse(*ellipse, x, y);
    return std::nullopt;
}

// Where the landmark's fit puts the outline from (x, y) along across, the direction across it
// there (outwards): the nearer crossing of that line with the fitted circle or ellipse.
std::optional<double> fittedOutlineFrom(
    const PointLandmark &landmark, double x, double y, const EdgeSnap::Direction &across)
{
    if (const auto *circle = dynamic_cast<const CCircle *>(&landmark))
        return circle->r - std::hypot(x - circle->M.x, y - circle->M.y);
    const auto *ellipse = dynamic_cast<const CEllipse *>(&landmark);
    if (!ellipse)
        return std::nullopt;
    // In the ellipse's axes, (u + t nu)^2 / a^2 + (v + t nv)^2 / b^2 = 1.
    const double px = x - ellipse->M0.x, py = y - ellipse->M0.y;
    const double u = px * ellipse->CosA + py * ellipse->SinA;
    const double v = -px * ellipse->SinA + py * ellipse->CosA;
    const double nu = across.x * ellipse->CosA + across.y * ellipse->SinA;
    const double nv = -across.x * ellipse->SinA + across.y * ellipse->CosA;
    const double a2 = ellipse->a * ellipse->a, b2 = ellipse->b * ellipse->b;
    const double qa = nu * nu / a2 + nv * nv / b2;
    const double qb = 2.0 * (u * nu / a2 + v * nv / b2);
    const double qc = u * u / a2 + v * v / b2 - 1.0;
    const double discriminant = qb * qb - 4.0 * qa * qc;
    if (!(qa > 0.0) || discriminant < 0.0)
        return std::nullopt;
    const double root = std::sqrt(discriminant);
    const double t1 = (-qb + root) / (2.0 * qa), t2 = (-qb - root) / (2.0 * qa);
    return std::fabs(t1) < std::fabs(t2) ? t1 : t2;
}

} // namespace

EdgeSnap::Result snapPoint(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    double x, double y, const EdgeSnap::Options &given)
{
    const EdgeSnap::Options options = optionsFor(landmark, given);
    const std::optional<EdgeSnap::Direction> across = directionAcross(landmark, x, y);
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

// The fit knows where the outline is: the point is searched for within kNearFit of the fitted
// outline across it, so that a neighbouring edge steeper than the outline does not take it and
// a point clicked far off still comes back to the outline.
EdgeSnap::Result snapNearFit(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    double x, double y, const EdgeSnap::Options &given)
{
    const std::optional<EdgeSnap::Direction> across = directionAcross(landmark, x, y);
    const std::optional<double> offset =
        across ? fittedOutlineFrom(landmark, x, y, *across) : std::nullopt;
    if (!offset)
        return snapPoint(picture, landmark, x, y, given);
    const double footX = x + *offset * across->x, footY = y + *offset * across->y;
    EdgeSnap::Options options = optionsFor(landmark, given);
    options.radius = std::min(options.radius, kNearFit);
    const std::optional<EdgeSnap::Direction> there = directionAcross(landmark, footX, footY);
    EdgeSnap::Result found =
        EdgeSnap::snap(picture, footX, footY, there ? *there : *across, options);
    if (found.outcome != EdgeSnap::Outcome::Snapped) {
        found.x = x;
        found.y = y;
        found.moved = 0.0;
    } else {
        found.moved = std::hypot(found.x - x, found.y - y);
    }
    return found;
}

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
        const EdgeSnap::Result found = snapNearFit(picture, landmark, point.x, point.y, options);
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
