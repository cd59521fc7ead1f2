#include "core/model/COxel.h"

#include <algorithm>
#include <cmath>

#include "core/model/Math.h"

const std::array<const char *, COxel::kLineCount> COxel::kLineNames = {"Base-Line", "H-M-Line",
    "Top-Line", "Left-Line", "V-M-Line", "F-Line", "Right-Line", "Ruler-Line", "Cross-H-Line",
    "Cross-V-Line"};

std::array<CLine *, COxel::kLineCount> COxel::lines()
{
    return {&H_B, &H_M, &H_T, &V_L, &V_M, &V_F, &V_R, &Ruler, &Cross_H, &Cross_V};
}

std::array<const CLine *, COxel::kLineCount> COxel::lines() const
{
    return {&H_B, &H_M, &H_T, &V_L, &V_M, &V_F, &V_R, &Ruler, &Cross_H, &Cross_V};
}

std::size_t COxel::lineIndex(HitCode code)
{
    switch (code) {
    case HitCode::BaseP0:
    case HitCode::BaseP1:
        return 0;
    case HitCode::CrossH:
        return 8;
    case HitCode::CrossV:
        return 9;
    case HitCode::Ruler:
    case HitCode::RulerP0:
    case HitCode::RulerP1:
        return 7;
    default:
        // The grid lines' codes run in the lines' own order from the Base-Line's.
        return static_cast<std::size_t>(
            static_cast<int>(code) - static_cast<int>(HitCode::BaseLine));
    }
}

std::array<PointLandmark *, 3> COxel::landmarks()
{
    return {&Head, &Cup, &Rim};
}

std::array<const PointLandmark *, 3> COxel::landmarks() const
{
    return {&Head, &Cup, &Rim};
}

void COxel::setPicBox(DrawingSurface *s)
{
    surface = s;
    for (CLine *line : lines())
        line->setPicBox(s);
    Head.init(HitCode::HeadBase, s);
    Cup.init(HitCode::CupBase, s);
    Rim.init(HitCode::RimBase, s);
}

bool COxel::Valid() const
{
    const auto all = lines();
    return std::all_of(
        all.begin(), all.begin() + kGridLineCount, [](const CLine *line) { return line->Valid; });
}

void COxel::draw(std::uint32_t color1, std::uint32_t color2) const
{
    if (!Visible)
        return;
    for (const CLine *line : {&H_T, &H_M, &H_B, &V_L, &V_M, &V_F, &V_R})
        line->draw2(color1, color2);
    for (const PointLandmark *landmark : landmarks())
        landmark->draw(color2);
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
    Cross_H.init(
        X0 + nx - 0.25 * dx, Y0 + ny - 0.25 * dy, X0 + nx + 0.25 * dx, Y0 + ny + 0.25 * dy);
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

HitCode COxel::findMode(double x, double y) const
{
    for (const PointLandmark *landmark : landmarks()) {
        if (const HitCode code = landmark->findMode(x, y); code != HitCode::Nothing)
            return code;
    }

    if (Math::nearPoint(x, y, H_B.P0.x, H_B.P0.y))
        return HitCode::BaseP0;
    if (Math::nearPoint(x, y, H_B.P1.x, H_B.P1.y))
        return HitCode::BaseP1;

    const auto all = lines();
    for (std::size_t i = 0; i < kGridLineCount; ++i) {
        if (Math::nearLine(x, y, *all[i]))
            return static_cast<HitCode>(static_cast<int>(HitCode::BaseLine) + static_cast<int>(i));
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
