#include "core/model/PointLandmark.h"

#include "core/model/Math.h"

std::shared_ptr<CPoint> PointLandmark::addPoint(double x, double y)
{
    auto point = std::make_shared<CPoint>(x, y);
    point->mPicBox = surface;
    points.push_back(point);
    return point;
}

void PointLandmark::removeAll()
{
    points.clear();
}

HitCode PointLandmark::findMode(double x, double y) const
{
    if (!Valid || !PVisible)
        return HitCode::Nothing;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (Math::nearPoint(x, y, points[i]->x, points[i]->y))
            return pointHit(name, static_cast<int>(i) + 1);
    }
    return HitCode::Nothing;
}

std::shared_ptr<CPoint> PointLandmark::pointAt(HitCode code) const
{
    const long number = static_cast<long>(code) - static_cast<long>(name);
    if (name == HitCode::Nothing || number < 1 || static_cast<std::size_t>(number) > points.size())
        return nullptr;
    return points[static_cast<std::size_t>(number - 1)];
}

void PointLandmark::initLandmark(HitCode codeBase, DrawingSurface *picBox, CPoint &centre)
{
    name = codeBase;
    surface = picBox;
    centre.mPicBox = picBox;
    Valid = false;
    PVisible = true;
}

void PointLandmark::drawPoints(const CPoint &centre) const
{
    if (!PVisible)
        return;
    for (const auto &point : points)
        point->draw();
    centre.draw();
}
