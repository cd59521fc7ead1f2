#pragma once

class DrawingSurface;

// One point on the radiograph, in picture coordinates until the evaluation transforms a copy
// of it into millimetres.
class CPoint
{
public:
    CPoint() = default;

    CPoint(double px, double py) : x(px), y(py) {}

    DrawingSurface *mPicBox = nullptr; // not owned; the point draws nothing without it
    double x = 0.0;
    double y = 0.0;

    void change(double nx, double ny);
    // Takes over the coordinates only; the surface stays as it was.
    void copy(const CPoint &p);
    // A cross whose half length is a hundredth of the surface's visible width, so that the
    // marker keeps its size on the screen at every zoom. Uses the surface's pen and draw mode.
    void draw() const;
};
