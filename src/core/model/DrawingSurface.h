#pragma once

#include <cstdint>

// The two draw modes a surface knows: the pen replaces the pixels, or it is combined with them
// by exclusive-or so that drawing the same figure twice restores them exactly.
constexpr int kDrawCopy = 13;
constexpr int kDrawXor = 7;

// Colours are 0x00BBGGRR.
constexpr std::uint32_t kColorMagenta = 0xFF00FF; // grid lines not yet confirmed
constexpr std::uint32_t kColorRed = 0x0000FF; // confirmed lines and landmarks
constexpr std::uint32_t kColorCyan = 0xFFFF00; // a line while it is dragged
constexpr std::uint32_t kColorGreen = 0x00FF00; // the distance line

// What the landmarks draw on. All coordinates are picture coordinates (radiograph pixels, y
// downwards); the surface maps them to its own pixels.
class DrawingSurface
{
public:
    virtual ~DrawingSurface() = default;

    // Visible width of the surface in picture units.
    virtual double ScaleWidth() const = 0;
    virtual void setForeColor(std::uint32_t bgr) = 0;
    // kDrawCopy or kDrawXor.
    virtual void setDrawMode(int mode) = 0;
    // A segment in the current pen colour and draw mode.
    virtual void line(double x1, double y1, double x2, double y2) = 0;
    // The outline of a circle, radius in horizontal picture units.
    virtual void circle(double x, double y, double r) = 0;
};
