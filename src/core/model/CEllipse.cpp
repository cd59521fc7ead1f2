#include "core/model/CEllipse.h"

#include <cmath>

#include "core/model/DrawingSurface.h"
#include "core/model/Math.h"
#include "core/model/Messages.h"

namespace {

constexpr const char *kFitTitle = "Ellipse fit";

// The polyline runs from t = 0 in steps of 0.05 up to the last value not above 6.31, just
// beyond a full turn, so that its last segment closes the outline.
constexpr double kOutlineStep = 0.05;
constexpr double kOutlineEnd = 6.31;

bool failWrongPoints()
{
    showMessage("wrong points for Rim", kFitTitle, MessageIcon::Critical);
    return false;
}

bool failHyperbolic()
{
    showMessage("Interpolation HYPERBOLIC!", kFitTitle, MessageIcon::Critical);
    return false;
}

double norm(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

} // namespace

void CEllipse::init(HitCode codeBase, DrawingSurface *picBox)
{
    initLandmark(codeBase, picBox, M0);
}

void CEllipse::draw(std::uint32_t color) const
{
    if (!Valid || !surface)
        return;
    surface->setForeColor(color);
    const auto at = [this](double t, double &x, double &y) {
        x = M0.x + a * std::cos(t) * CosA - b * std::sin(t) * SinA;
        y = M0.y + a * std::cos(t) * SinA + b * std::sin(t) * CosA;
    };
    double x0, y0;
    at(0.0, x0, y0);
    // The parameter advances by repeated addition, as a stepped loop does; 126 segments.
    for (double t = kOutlineStep; t <= kOutlineEnd; t += kOutlineStep) {
        double x1, y1;
        at(t, x1, y1);
        surface->line(x0, y0, x1, y1);
        x0 = x1;
        y0 = y1;
    }
    drawPoints(M0);
}

bool CEllipse::fit()
{
    const std::size_t n = points.size();
    if (n == 3)
        return fit3();
    if (n >= 5)
        return fitN();
    return false;
}

void CEllipse::assign(const Shape &shape)
{
    M0.copy(shape.centre);
    M1.copy(shape.end1);
    M2.copy(shape.end2);
    M3.copy(shape.end3);
    a = shape.a;
    b = shape.b;
    CosA = (M1.x - M0.x) / a;
    SinA = (M1.y - M0.y) / a;
}

bool CEllipse::fit3()
{
    if (points.size() < 3)
        return false;
    const CPoint &first = *points[0];
    const CPoint &second = *points[1];
    const CPoint &third = *points[2];

    Shape shape;
    shape.end1 = CPoint(first.x, first.y);
    shape.end2 = CPoint(second.x, second.y);
    shape.centre = CPoint((first.x + second.x) / 2, (first.y + second.y) / 2);

    const double Dx = shape.end2.x - shape.end1.x;
    const double Dy = shape.end2.y - shape.end1.y;
    const double L2 = Dx * Dx + Dy * Dy;
    if (!(L2 > 0.0))
        return failWrongPoints();
    const double aSquared = L2 / 4;
    const double px = third.x - shape.centre.x;
    const double py = third.y - shape.centre.y;
    const double S = (-px * Dy + py * Dx) / L2;
    const double Q = S * S - (px * px + py * py - aSquared) / L2;
    if (Q < 0)
        return failWrongPoints();

    // Auxiliary-circle construction relative to the centre: the point of the circle of radius a
    // above the third point, joined to the centre, meets the parallel to the first axis through
    // the third point where the scaled circle meets the ellipse.
    const double V = std::sqrt(Q) - S;
    CLine toCircle;
    toCircle.init(0, 0, px - Dy * V, py + Dx * V);
    CLine alongAxis;
    alongAxis.init(px, py, px + Dx, py + Dy);
    // At Q = 0 the two lines are parallel: the third point sits at the end of the first axis.
    const auto I = Math::tryIntersect(toCircle, alongAxis);
    if (!I)
        return failWrongPoints();

    shape.a = std::sqrt(aSquared);
    shape.b = norm(I->x, I->y);
    const double L = std::sqrt(L2);
    shape.end3 = CPoint(shape.centre.x + shape.b * (-Dy) / L, shape.centre.y + shape.b * Dx / L);
    // Points so far out that the construction overflows give no rim either.
    for (const double v :
        {shape.a, shape.b, shape.end3.x, shape.end3.y, shape.centre.x, shape.centre.y})
        if (!std::isfinite(v))
            return failWrongPoints();
    assign(shape);
    return true;
}

bool CEllipse::fitN()
{
    double x4 = 0, x3y = 0, x3 = 0, x2y = 0, x2 = 0, x2y2 = 0, xy = 0, xy2 = 0, xy3 = 0, x = 0,
           y3 = 0, y2 = 0, y = 0;
    for (const auto &p : points) {
        const double px = p->x;
        const double py = p->y;
        x4 += px * px * px * px;
        x3y += px * px * px * py;
        x3 += px * px * px;
        x2y += px * px * py;
        x2 += px * px;
        x2y2 += px * px * py * py;
        xy += px * py;
        xy2 += px * py * py;
        xy3 += px * py * py * py;
        x += px;
        y3 += py * py * py;
        y2 += py * py;
        y += py;
    }
    const double n = static_cast<double>(points.size());

    Matrix A(5, 6);
    const double rows[5][6] = {
        {x4, 2 * x3y, 2 * x3, 2 * x2y, x2, x2y2},
        {x3y, 2 * x2y2, 2 * x2y, 2 * xy2, xy, xy3},
        {x3, 2 * x2y, 2 * x2, 2 * xy, x, xy2},
        {x2y, 2 * xy2, 2 * xy, 2 * y2, y, y3},
        {x2, 2 * xy, 2 * x, 2 * y, n, y2},
    };
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < 6; ++j)
            A(i, j) = rows[i][j];
    if (!Math::solve(A))
        return false;
    const double p0 = A(0, 5), p1 = A(1, 5), p2 = A(2, 5), p3 = A(3, 5), p4 = A(4, 5);

    // A parabola has no centre.
    const double k = p0 + p1 * p1;
    if (k == 0.0)
        return failHyperbolic();
    Shape shape;
    shape.centre = CPoint(-(p1 * p3 + p2) / k, (p0 * p3 - p1 * p2) / k);
    // Relative to the centre the conic reads Y^2 - p0 X^2 - 2 p1 XY = u.
    const double u = ((p3 * p3 + p4) * p0 + p1 * p1 * p4 - p2 * p2 - 2 * p1 * p2 * p3) / k;

    double e2x, e2y, e3x, e3y; // half-axis vectors of the first and the second axis
    if (std::fabs(p1) > Math::kZeroTolerance) {
        const double m = (p0 + 1) / p1;
        const double t = std::sqrt(m * m / 4 + 1) - m / 2; // tangent of the axis angle
        const double q1 = t * t - 2 * p1 * t - p0;
        const double q2 = 1 + 2 * p1 * t - p0 * t * t;
        if (q1 == 0.0 || q2 == 0.0)
            return failHyperbolic();
        const double v = u / q1;
        const double w = u / q2;
        if (v < 0 || w < 0)
            return failHyperbolic();
        const double sv = std::sqrt(v);
        const double sw = std::sqrt(w);
        const double e1x = sv, e1y = sv * t;
        const double f2x = sw * t, f2y = -sw;
        if (norm(f2x, f2y) >= norm(e1x, e1y)) {
            e2x = f2x, e2y = f2y, e3x = e1x, e3y = e1y;
        } else {
            e2x = e1x, e2y = e1y, e3x = f2x, e3y = f2y;
        }
    } else if (std::fabs(p0 + 1) > Math::kZeroTolerance) {
        if (-u / p0 < 0 || u < 0)
            return failHyperbolic();
        const double horizontal = std::sqrt(-u / p0);
        const double vertical = std::sqrt(u);
        if (vertical > horizontal) {
            e2x = 0, e2y = vertical, e3x = horizontal, e3y = 0;
        } else {
            e2x = horizontal, e2y = 0, e3x = 0, e3y = vertical;
        }
    } else {
        // A circle: no axis direction is defined, so the first axis is taken horizontal.
        if (u < 0)
            return failHyperbolic();
        const double radius = std::sqrt(u);
        e2x = radius, e2y = 0, e3x = 0, e3y = radius;
    }

    shape.a = norm(e2x, e2y);
    shape.b = norm(e3x, e3y);
    if (!(shape.a > 0.0) || !std::isfinite(shape.a) || !std::isfinite(shape.b)
        || !std::isfinite(shape.centre.x) || !std::isfinite(shape.centre.y))
        return failHyperbolic();
    shape.end1 = CPoint(shape.centre.x - e2x, shape.centre.y - e2y);
    shape.end2 = CPoint(shape.centre.x + e2x, shape.centre.y + e2y);
    shape.end3 = CPoint(shape.centre.x + e3x, shape.centre.y + e3y);
    assign(shape);
    return true;
}
