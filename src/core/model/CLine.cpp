#include "core/model/CLine.h"

#include <cmath>

#include "core/model/DrawingSurface.h"

void CLine::setPicBox(DrawingSurface *s)
{
    surface = s;
    P0.mPicBox = s;
    P1.mPicBox = s;
}

void CLine::init(double X0, double Y0, double x1, double y1)
{
    Valid = false;
    P0.change(X0, Y0);
    P1.change(x1, y1);
}

void CLine::copy(const CLine &line)
{
    P0.copy(line.P0);
    P1.copy(line.P1);
}

void CLine::draw() const
{
    if (surface)
        surface->line(P0.x, P0.y, P1.x, P1.y);
}

void CLine::draw2(std::uint32_t color1, std::uint32_t color2) const
{
    if (!surface)
        return;
    surface->setForeColor(Valid ? color2 : color1);
    draw();
}

void CLine::changeP0(double x, double y)
{
    if (surface)
        surface->setDrawMode(kDrawXor);
    draw();
    P0.change(x, y);
    draw();
}

void CLine::changeP1(double x, double y)
{
    if (surface)
        surface->setDrawMode(kDrawXor);
    draw();
    P1.change(x, y);
    draw();
}

void CLine::translate(double x, double y, double f1)
{
    if (surface)
        surface->setDrawMode(kDrawXor);
    draw();
    const double dx = x - ((1.0 - f1) * P1.x + f1 * P0.x);
    const double dy = y - ((1.0 - f1) * P1.y + f1 * P0.y);
    P0.change(P0.x + dx, P0.y + dy);
    P1.change(P1.x + dx, P1.y + dy);
    draw();
}

double CLine::length() const
{
    const double dx = P1.x - P0.x;
    const double dy = P1.y - P0.y;
    const double squared = dx * dx + dy * dy;
    return squared > 0.0 ? std::sqrt(squared) : 0.0;
}
