#include "core/model/CCircle.h"

#include <cmath>

#include "core/model/DrawingSurface.h"
#include "core/model/Math.h"
#include "core/model/Messages.h"

void CCircle::init(HitCode codeBase, DrawingSurface *picBox)
{
    initLandmark(codeBase, picBox, M);
}

void CCircle::draw(std::uint32_t color) const
{
    if (!Valid || !surface)
        return;
    surface->setForeColor(color);
    surface->circle(M.x, M.y, r);
    drawPoints(M);
}

bool CCircle::fit()
{
    if (points.size() < 3)
        return false;

    double Sxx = 0, Sxy = 0, Syy = 0, Sx = 0, Sy = 0, Sxz = 0, Syz = 0, Sz = 0;
    for (const auto &p : points) {
        const double x = p->x;
        const double y = p->y;
        Sxx += x * x;
        Sxy += x * y;
        Syy += y * y;
        Sx += x;
        Sy += y;
        Sxz += x * x * x + x * y * y;
        Syz += y * y * y + x * x * y;
        Sz += x * x + y * y;
    }
    const double n = static_cast<double>(points.size());

    Matrix A(3, 4);
    A(0, 0) = 2 * Sxx, A(0, 1) = 2 * Sxy, A(0, 2) = -Sx, A(0, 3) = Sxz;
    A(1, 0) = 2 * Sxy, A(1, 1) = 2 * Syy, A(1, 2) = -Sy, A(1, 3) = Syz;
    A(2, 0) = 2 * Sx, A(2, 1) = 2 * Sy, A(2, 2) = -n, A(2, 3) = Sz;
    if (!Math::solve(A))
        return false;

    const double a = A(0, 3);
    const double b = A(1, 3);
    const double c = A(2, 3);
    const double squaredRadius = a * a + b * b - c;
    // Points so far out that their sums overflow give no circle either.
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(squaredRadius)) {
        showMessage("Equation is singular!", "Equation Solver", MessageIcon::Critical);
        return false;
    }
    // Rounding can leave a hair below zero for points that all but coincide with the centre.
    M.change(a, b);
    r = squaredRadius > 0.0 ? std::sqrt(squaredRadius) : 0.0;
    return true;
}
