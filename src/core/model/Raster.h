#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>

// Which pixels a one-pixel line or circle outline covers, so that every drawing surface sets
// the same pixels and each pixel of a figure exactly once: drawn twice by exclusive-or, a
// figure then restores every pixel. A line leaves out its last pixel, so the segments of a
// polyline share none.
namespace Raster {

// Calls plot(x, y) for the pixels of the segment from (x0, y0) to (x1, y1) without (x1, y1).
template <typename Plot>
void line(int x0, int y0, int x1, int y1, Plot &&plot)
{
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        plot(x0, y0);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// Calls plot(x, y) once for every pixel of the outline of the circle around (cx, cy).
template <typename Plot>
void circle(int cx, int cy, int r, Plot &&plot)
{
    if (r <= 0) {
        plot(cx, cy);
        return;
    }
    int x = r, y = 0, err = 1 - r;
    while (x >= y) {
        // The octants share their end pixels: on the axes and on the diagonals each pixel is
        // produced by two octants and must be set once.
        if (y == 0) {
            plot(cx + x, cy), plot(cx - x, cy), plot(cx, cy + x), plot(cx, cy - x);
        } else if (x == y) {
            plot(cx + x, cy + y), plot(cx - x, cy + y), plot(cx + x, cy - y), plot(cx - x, cy - y);
        } else {
            plot(cx + x, cy + y), plot(cx - x, cy + y), plot(cx + x, cy - y), plot(cx - x, cy - y);
            plot(cx + y, cy + x), plot(cx - y, cy + x), plot(cx + y, cy - x), plot(cx - y, cy - x);
        }
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

// Cuts the segment to the rectangle [left, right] x [top, bottom] (Liang-Barsky). False when
// nothing of it lies inside. Keeps huge coordinates from far zoom levels out of the pixel loops.
inline bool clip(double &x0, double &y0, double &x1, double &y1, double left, double top,
    double right, double bottom)
{
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - left, right - x0, y0 - top, bottom - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = nx0;
    y0 = ny0;
    return true;
}

} // namespace Raster
