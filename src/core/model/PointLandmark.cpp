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

int PointLandmark::findMode(double x, double y) const
{
    if (!Valid || !PVisible)
        return 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (Math::nearPoint(x, y, points[i]->x, points[i]->y))
            return name + static_cast<int>(i) + 1;
    }
    return 0;
}

void PointLandmark::initLandmark(std::int16_t codeBase, DrawingSurface *picBox, CPoint &centre)
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
