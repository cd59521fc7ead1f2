#pragma once

#include <cstdint>
#include <vector>

#include "core/model/DrawingSurface.h"

// A drawing surface over a plain pixel buffer, one picture unit per pixel from the top left
// corner. Lines omit their last pixel and every figure sets each of its pixels once, so that
// exclusive-or drawing really restores the pixels when a figure is drawn twice.
class RasterSurface final : public DrawingSurface
{
public:
    RasterSurface(int width, int height, std::uint32_t background = 0);

    double ScaleWidth() const override { return scaleWidth; }

    void setForeColor(std::uint32_t bgr) override { foreColor = bgr; }

    void setDrawMode(int mode) override { drawMode = mode; }

    void line(double x1, double y1, double x2, double y2) override;
    void circle(double x, double y, double r) override;

    // The visible width reported to the landmarks (it sizes the point markers).
    void setScaleWidth(double width) { scaleWidth = width; }

    int width() const { return w; }

    int height() const { return h; }

    const std::vector<std::uint32_t> &pixels() const { return buffer; }

    std::uint32_t pixel(int x, int y) const { return buffer[static_cast<std::size_t>(y * w + x)]; }

    std::uint32_t currentForeColor() const { return foreColor; }

    int currentDrawMode() const { return drawMode; }

    // Pixels that differ from the background.
    int paintedCount() const;

    int lineCalls = 0;
    int circleCalls = 0;

private:
    void plot(int x, int y);

    int w;
    int h;
    std::uint32_t background;
    std::vector<std::uint32_t> buffer;
    double scaleWidth;
    std::uint32_t foreColor = 0;
    int drawMode = kDrawCopy;
};
