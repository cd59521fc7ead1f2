#include "core/model/CPoint.h"

#include "core/model/DrawingSurface.h"

void CPoint::change(double nx, double ny)
{
    x = nx;
    y = ny;
}

void CPoint::copy(const CPoint &p)
{
    x = p.x;
    y = p.y;
}

void CPoint::draw() const
{
    if (!mPicBox)
        return;
    const double h = mPicBox->ScaleWidth() / 100.0;
    mPicBox->line(x - h, y, x + h, y);
    mPicBox->line(x, y - h, x, y + h);
}
