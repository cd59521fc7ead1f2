#include "support/RasterSurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

RasterSurface::RasterSurface(int width, int height, std::uint32_t bg)
    : w(width), h(height), background(bg),
      buffer(static_cast<std::size_t>(width * height), bg), scaleWidth(width)
{
}

int RasterSurface::paintedCount() const
{
    return static_cast<int>(
        std::count_if(buffer.begin(), buffer.end(), [this](std::uint32_t p) { return p != background; }));
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
    int x = static_cast<int>(std::lround(x1));
    int y = static_cast<int>(std::lround(y1));
    const int xe = static_cast<int>(std::lround(x2));
    const int ye = static_cast<int>(std::lround(y2));
    const int dx = std::abs(xe - x);
    const int dy = -std::abs(ye - y);
    const int sx = x < xe ? 1 : -1;
    const int sy = y < ye ? 1 : -1;
    int err = dx + dy;
    // Bresenham, without the end pixel: consecutive segments of a polyline then share no pixel.
    while (x != xe || y != ye) {
        plot(x, y);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void RasterSurface::circle(double cx, double cy, double r)
{
    ++circleCalls;
    const int x0 = static_cast<int>(std::lround(cx));
    const int y0 = static_cast<int>(std::lround(cy));
    const int radius = static_cast<int>(std::lround(r));
    // The octants meet in shared pixels; collect first so that each is set once.
    std::set<std::pair<int, int>> outline;
    int x = radius;
    int y = 0;
    int err = 1 - radius;
    while (x >= y) {
        for (const auto &[px, py] : {std::pair {x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y},
                                     {-y, -x}, {y, -x}, {x, -y}})
            outline.insert({x0 + px, y0 + py});
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
    for (const auto &[px, py] : outline)
        plot(px, py);
}
