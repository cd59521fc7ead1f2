#include "core/evaluation/Calc.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/model/Math.h"

namespace Calc {

namespace {

// The two reference distances (mm) of the focus estimate and its clamping range.
constexpr std::array<double, 2> kReferenceDistances{180.0, 270.0};
constexpr double kLowestFocus = 900.0;
constexpr double kHighestFocus = 1300.0;
// The anteversion candidate closer to this angle (degrees) wins when the signs agree.
constexpr double kTypicalAnteversion = 10.0;

using Vec = std::array<double, 3>;

double dot(const Vec &u, const Vec &v)
{
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

} // namespace

FocusEstimate focusFromSize(double rho, double R)
{
    std::array<double, 2> z{}, h{};
    for (std::size_t k = 0; k < 2; ++k) {
        const double d = kReferenceDistances[k];
        z[k] = rho
            * std::tan(Math::atanRatio(d, rho) + Math::arcSin(R / std::sqrt(rho * rho + d * d)));
        // A focus outside the range in use is taken at its nearer bound; the centre height
        // follows from the focus as taken.
        z[k] = std::clamp(z[k], kLowestFocus, kHighestFocus);
        h[k] = z[k] - R * std::sqrt(rho * rho + z[k] * z[k]) / rho;
    }
    return {z[0], z[1], h[0], h[1]};
}

std::optional<RimOrientation> rimOrientation(const CPoint &M0, const CPoint &M1, const CPoint &M2,
    const CPoint &M3, const CPoint &B, double f, bool S)
{
    const Vec d{B.x - M3.x, B.y - M3.y, f};
    const Vec m{M3.x - M0.x, M3.y - M0.y, 0.0};
    const Vec h{(M2.x - M1.x) / 2, (M2.y - M1.y) / 2, 0.0};

    const double dd = dot(d, d);
    const double md = dot(m, d);
    const double delta = md * md - (dot(m, m) - dot(h, h)) * dd;
    if (delta < 0 || !(dd > 0))
        return std::nullopt;
    const std::array<double, 2> t{(std::sqrt(delta) - md) / dd, (-md - std::sqrt(delta)) / dd};

    std::array<double, 2> beta{};
    std::array<bool, 2> flag{};
    for (std::size_t k = 0; k < 2; ++k) {
        const Vec Q{m[0] + t[k] * d[0], m[1] + t[k] * d[1], m[2] + t[k] * d[2]};
        Vec n{-Q[2] * h[1], Q[2] * h[0], Q[0] * h[1] - Q[1] * h[0]};
        const double length = std::sqrt(dot(n, n));
        if (!(length > 0) || !std::isfinite(length))
            return std::nullopt;
        for (double &component : n)
            component = component / length;
        beta[k] = Math::arcSin(std::fabs(n[2])) * kDegreesPerRadian;
        // A cup axis lying in the film plane has no sense of direction: no flag.
        if (n[2] != 0) {
            const double r = -n[0] / n[2];
            flag[k] = (r > 0 && S) || (r < 0 && !S);
        }
    }

    RimOrientation result;
    result.beta1 = beta[0];
    result.beta2 = beta[1];
    result.sign1 = flag[0] ? "-" : "+";
    result.sign2 = flag[1] ? "-" : "+";
    result.anteversion = chooseAnteversion(beta[0], flag[0], beta[1], flag[1]);
    return result;
}

double chooseAnteversion(double beta1, bool flag1, double beta2, bool flag2)
{
    if (flag1 == flag2)
        return std::fabs(beta2 - kTypicalAnteversion) < std::fabs(beta1 - kTypicalAnteversion)
            ? beta2
            : beta1;
    return flag1 ? beta2 : beta1;
}

double inclination(double vx, double vy)
{
    return std::fabs(Math::atanRatio(vy, vx) * kDegreesPerRadian);
}

GridDistances gridDistances(double F, double L, double R, double B, double M, double T, bool S)
{
    GridDistances g;
    if (S) {
        g.delx1 = F - R;
        g.delx2 = L - F;
        g.delx3 = L - R;
    } else {
        g.delx1 = F - L;
        g.delx2 = R - F;
        g.delx3 = R - L;
    }
    g.dely1 = M - B;
    g.dely2 = T - M;
    g.dely3 = T - B;
    return g;
}

} // namespace Calc
