#pragma once

#include <cmath>
#include <numbers>
#include <vector>

#include "core/model/CPoint.h"
#include "core/model/Math.h"

// Outlines as a focus F casts them onto the film (z = 0), built point by point from the
// geometry, for tests that need landmarks with a known truth in space.
namespace CentralProjection {

inline SpacePoint unitOf(const SpacePoint &a)
{
    const double l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    return {a[0] / l, a[1] / l, a[2] / l};
}

inline SpacePoint crossOf(const SpacePoint &a, const SpacePoint &b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Two unit vectors perpendicular to the unit vector u and to each other.
inline void basisAround(const SpacePoint &u, SpacePoint &a, SpacePoint &b)
{
    a = unitOf(crossOf(u, std::fabs(u[0]) < 0.9 ? SpacePoint{1, 0, 0} : SpacePoint{0, 1, 0}));
    b = crossOf(u, a);
}

// Where the ray from F through Q meets the film.
inline CPoint toFilm(const SpacePoint &F, const SpacePoint &Q)
{
    const double t = F[2] / (F[2] - Q[2]);
    return CPoint(F[0] + t * (Q[0] - F[0]), F[1] + t * (Q[1] - F[1]));
}

// count points of the outline of the sphere (X, R): each ray from F that touches the sphere,
// at the cone's half angle asin(R / |X - F|) about its axis, down to the film.
inline std::vector<CPoint> sphereOutline(
    const SpacePoint &F, const SpacePoint &X, double R, int count, double from = 0.3)
{
    const SpacePoint d{X[0] - F[0], X[1] - F[1], X[2] - F[2]};
    const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const SpacePoint u = unitOf(d);
    SpacePoint a, b;
    basisAround(u, a, b);
    const double s = R / distance, c = std::sqrt(1 - s * s);
    std::vector<CPoint> out;
    for (int i = 0; i < count; ++i) {
        const double phi = from + 2 * std::numbers::pi * i / count;
        SpacePoint e;
        for (int k = 0; k < 3; ++k)
            e[k] = c * u[k] + s * (std::cos(phi) * a[k] + std::sin(phi) * b[k]);
        const double t = -F[2] / e[2];
        out.emplace_back(F[0] + t * e[0], F[1] + t * e[1]);
    }
    return out;
}

// count points of the circle of radius R about C perpendicular to the unit n, on the film.
inline std::vector<CPoint> rimOutline(const SpacePoint &F, const SpacePoint &C, const SpacePoint &n,
    double R, int count, double from = 0.2)
{
    SpacePoint a, b;
    basisAround(n, a, b);
    std::vector<CPoint> out;
    for (int i = 0; i < count; ++i) {
        const double phi = from + 2 * std::numbers::pi * i / count;
        SpacePoint Q;
        for (int k = 0; k < 3; ++k)
            Q[k] = C[k] + R * (std::cos(phi) * a[k] + std::sin(phi) * b[k]);
        out.push_back(toFilm(F, Q));
    }
    return out;
}

// The cup axis of the given radiographic inclination and anteversion (degrees), opening
// laterally (towards +x when lateral is +1), caudally and, for towards, to the focus.
inline SpacePoint cupAxis(
    double inclinationDeg, double anteversionDeg, double lateral = 1, bool towards = true)
{
    const double i = inclinationDeg * std::numbers::pi / 180;
    const double a = anteversionDeg * std::numbers::pi / 180;
    return {lateral * std::cos(a) * std::sin(i), -std::cos(a) * std::cos(i),
        (towards ? 1 : -1) * std::sin(a)};
}

} // namespace CentralProjection
