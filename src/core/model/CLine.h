#pragma once

#include <cstdint>

#include "core/model/CPoint.h"

// A segment between two points, with the flag that the operator has placed or confirmed it.
// A new line is (0, 0)-(0, 0) and not Valid.
class CLine
{
public:
    bool Valid = false;
    CPoint P0;
    CPoint P1;

    // Stores the surface and hands it to both end points.
    void setPicBox(DrawingSurface *surface);

    DrawingSurface *picBox() const { return surface; }

    // Places both end points and makes the line not Valid.
    void init(double X0, double Y0, double x1, double y1);
    // Takes over the other line's end point coordinates; Valid and the surface stay.
    void copy(const CLine &line);
    // The segment in the surface's current pen colour and draw mode.
    void draw() const;
    // Pen colour color2 for a Valid line, color1 otherwise, then draw.
    void draw2(std::uint32_t color1, std::uint32_t color2) const;

    // The drag operations expect the line's image on the surface in exclusive-or form: they
    // erase it, move, and draw it again, leaving the surface in exclusive-or mode.
    void changeP0(double x, double y);
    void changeP1(double x, double y);
    // Moves the line parallel to itself so that the point f1*P0 + (1 - f1)*P1 lands on (x, y).
    void translate(double x, double y, double f1);

    // Euclidean length in the units the end points are held in (picture px, or mm once
    // transformed); exactly 0 when the points coincide.
    double length() const;

private:
    DrawingSurface *surface = nullptr;
};
