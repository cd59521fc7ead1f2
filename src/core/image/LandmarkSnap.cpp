#include "core/image/LandmarkSnap.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/model/PointLandmark.h"

namespace LandmarkSnap {

EdgeSnap::Result snapPoint(const EdgeSnap::GreyView &picture, const PointLandmark &landmark,
    double x, double y, const EdgeSnap::Options &options)
{
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

Report snapAcrossFit(const EdgeSnap::GreyView &picture, PointLandmark &landmark,
    const std::function<bool(const CPoint &)> &keepExactly, const EdgeSnap::Options &options)
{
    Report report;
    if (!landmark.Valid)
        return report;
    for (std::size_t i = 0; i < landmark.points.size(); ++i) {
        const CPoint &point = *landmark.points[i];
        if (keepExactly && keepExactly(point))
            continue;
        const EdgeSnap::Result found = snapPoint(picture, landmark, point.x, point.y, options);
        PointMove move{i, point.x, point.y, point.x, point.y, found.outcome};
        if (found.outcome == EdgeSnap::Outcome::Snapped) {
            move.toX = found.x;
            move.toY = found.y;
            ++report.snapped;
        } else {
            ++report.refused;
        }
        report.searched.push_back(move);
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
