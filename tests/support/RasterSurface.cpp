#include "support/RasterSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/model/Raster.h"

RasterSurface::RasterSurface(int width, int height, std::uint32_t bg)
    : w(width),
      h(height),
      background(bg),
      buffer(static_cast<std::size_t>(width * height), bg),
      scaleWidth(width)
{}

int RasterSurface::paintedCount() const
{
    return static_cast<int>(std::count_if(
        buffer.begin(), buffer.end(), [this](std::uint32_t p) { return p != background; }));
}

void RasterSurface::plot(int x, int y)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    std::uint32_t &p = buffer[static_cast<std::size_t>(y * w + x)];
    p = drawMode == kDrawXor ? (p ^ foreColor) : foreColor;
}

void RasterSurface::line(double x1, double y1, double x2, double y2)
{
    ++lineCalls;
    const auto round = [](double v) { return static_cast<int>(std::lround(v)); };
    Raster::line(round(x1), round(y1), round(x2), round(y2), [this](int x, int y) { plot(x, y); });
}

void RasterSurface::circle(double cx, double cy, double r)
{
    ++circleCalls;
    const auto round = [](double v) { return static_cast<int>(std::lround(v)); };
    Raster::circle(round(cx), round(cy), round(r), [this](int x, int y) { plot(x, y); });
}
