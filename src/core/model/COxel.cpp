#include "core/model/COxel.h"

#include "core/model/Math.h"

#include <cmath>

void COxel::setPicBox(DrawingSurface *s)
{
    surface = s;
    for (CLine *line : {&H_B, &H_M, &H_T, &V_L, &V_M, &V_F, &V_R, &Ruler, &Cross_H, &Cross_V})
        line->setPicBox(s);
    Head.init(HitCode::HeadBase, s);
    Cup.init(HitCode::CupBase, s);
    Rim.init(HitCode::RimBase, s);
}

bool COxel::Valid() const
{
    return H_B.Valid && H_M.Valid && H_T.Valid && V_L.Valid && V_M.Valid && V_F.Valid
        && V_R.Valid;
}

void COxel::draw(std::uint32_t color1, std::uint32_t color2) const
{
    if (!Visible)
        return;
    for (const CLine *line : {&H_T, &H_M, &H_B, &V_L, &V_M, &V_F, &V_R})
        line->draw2(color1, color2);
    Head.draw(color2);
    Cup.draw(color2);
    Rim.draw(color2);
    if (Cross_H.Valid) {
        Cross_H.draw2(color1, color2);
        Cross_V.draw2(color1, color2);
    }
    if (Ruler.Valid)
        Ruler.draw2(color1, color2);
}

void COxel::init(double X0, double Y0, double x1, double y1)
{
    const double dx = x1 - X0;
    const double dy = y1 - Y0;
    // n is d turned by a right angle: it points up the picture for a base line drawn from left
    // to right, and has the base line's length.
    const double nx = dy;
    const double ny = -dx;

    H_B.init(X0, Y0, x1, y1);
    H_M.init(X0 + 0.5 * nx, Y0 + 0.5 * ny, x1 + 0.5 * nx, y1 + 0.5 * ny);
    H_T.init(X0 + nx, Y0 + ny, x1 + nx, y1 + ny);
    V_L.init(X0, Y0, X0 + nx, Y0 + ny);
    V_M.init(X0 + 0.5 * dx + 0.25 * nx, Y0 + 0.5 * dy + 0.25 * ny, X0 + 0.5 * dx + 0.75 * nx,
             Y0 + 0.5 * dy + 0.75 * ny);
    V_F.init(X0 + 0.75 * dx, Y0 + 0.75 * dy, X0 + 0.75 * dx + nx, Y0 + 0.75 * dy + ny);
    V_R.init(x1, y1, x1 + nx, y1 + ny);
    Ruler.init(100, 300, 200, 300);
    Cross_H.init(X0 + nx - 0.25 * dx, Y0 + ny - 0.25 * dy, X0 + nx + 0.25 * dx,
                 Y0 + ny + 0.25 * dy);
    Cross_V.init(X0 + 1.25 * nx, Y0 + 1.25 * ny, X0 + 0.75 * nx, Y0 + 0.75 * ny);
}

void COxel::initFrom(const CLine &line)
{
    init(line.P0.x, line.P0.y, line.P1.x, line.P1.y);
    H_B.Valid = true;
}

bool COxel::initScale(std::int16_t WPix, std::int16_t HPix, double W)
{
    if (WPix <= 0 || !(W > 0.0) || !std::isfinite(W))
        return false;
    const double scale = WPix / W;
    if (!(scale > 0.0) || !std::isfinite(scale))
        return false;
    WPixel = WPix;
    HPixel = HPix;
    ScaleFactor = scale;
    return true;
}

double COxel::WorldWidth() const
{
    return WPixel / ScaleFactor;
}

double COxel::PixelX(double x) const
{
    return x * ScaleFactor;
}

double COxel::PixelY(double y) const
{
    return HPixel - y * ScaleFactor;
}

void COxel::Pixel(std::span<double> values) const
{
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
        values[i] = PixelX(values[i]);
        values[i + 1] = PixelY(values[i + 1]);
    }
}

double COxel::WorldX(double x) const
{
    return x / ScaleFactor;
}

double COxel::WorldY(double y) const
{
    return (HPixel - y) / ScaleFactor;
}

void COxel::TransformP(CPoint &p) const
{
    const double wx = WorldX(p.x) - Center.x;
    const double wy = WorldY(p.y) - Center.y;
    p.x = wx * CosA + wy * SinA;
    p.y = wy * CosA - wx * SinA;
}

void COxel::TransformL(CLine &line) const
{
    TransformP(line.P0);
    TransformP(line.P1);
}

bool COxel::Calibrate(std::int16_t PicW, std::int16_t PicH)
{
    const double dx = CalibPoints.P1.x - CalibPoints.P0.x;
    const double dy = CalibPoints.P1.y - CalibPoints.P0.y;
    const double D = std::sqrt(dx * dx + dy * dy);
    if (!(D > 0.0) || !std::isfinite(D) || !(CalibDist > 0.0) || !std::isfinite(CalibDist))
        return false;
    return initScale(PicW, PicH, PicW * CalibDist / D);
}

int COxel::findMode(double x, double y) const
{
    if (const int code = Head.findMode(x, y))
        return code;
    if (const int code = Cup.findMode(x, y))
        return code;
    if (const int code = Rim.findMode(x, y))
        return code;

    if (Math::nearPoint(x, y, H_B.P0.x, H_B.P0.y))
        return HitCode::BaseP0;
    if (Math::nearPoint(x, y, H_B.P1.x, H_B.P1.y))
        return HitCode::BaseP1;

    int code = HitCode::BaseLine;
    for (const CLine *line : {&H_B, &H_M, &H_T, &V_L, &V_M, &V_F, &V_R}) {
        if (Math::nearLine(x, y, *line))
            return code;
        ++code;
    }

    if (Cross_H.Valid) {
        if (Math::nearLine(x, y, Cross_H))
            return HitCode::CrossH;
        if (Math::nearLine(x, y, Cross_V))
            return HitCode::CrossV;
    }
    if (Ruler.Valid) {
        if (Math::nearPoint(x, y, Ruler.P0.x, Ruler.P0.y))
            return HitCode::RulerP0;
        if (Math::nearPoint(x, y, Ruler.P1.x, Ruler.P1.y))
            return HitCode::RulerP1;
        if (Math::nearLine(x, y, Ruler))
            return HitCode::Ruler;
    }
    return HitCode::Nothing;
}
