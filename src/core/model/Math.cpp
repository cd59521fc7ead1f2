#include "core/model/Math.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "core/model/Messages.h"

namespace Math {

bool nearPoint(double x0, double y0, double x1, double y1)
{
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    return dx * dx + dy * dy < kNearSquared;
}

bool nearLine(double x, double y, const CLine &line)
{
    const double dx = line.P1.x - line.P0.x;
    const double dy = line.P1.y - line.P0.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared < kNearSquared)
        return nearPoint(x, y, line.P1.x, line.P1.y) || nearPoint(x, y, line.P0.x, line.P0.y);

    const double hx = x - line.P0.x;
    const double hy = y - line.P0.y;
    const double t = (dx * hx + dy * hy) / lengthSquared;
    const double e = (dx * hy - dy * hx) / std::sqrt(lengthSquared);
    if (t < 0.0 || t > 1.0)
        return false;
    return e * e < kNearSquared;
}

double atanRatio(double num, double den)
{
    if (std::fabs(den) > kZeroTolerance)
        return std::atan(num / den);
    return num >= 0.0 ? kRightAngle : -kRightAngle;
}

double arcSin(double s)
{
    if (s >= 1.0)
        return kRightAngle;
    return std::atan(s / std::sqrt(1.0 - s * s));
}

bool trySolve(Matrix &A)
{
    const std::size_t n = A.rows();
    const std::size_t lastCol = A.cols() - 1;
    assert(A.cols() > n);

    for (std::size_t a = 0; a < n; ++a) {
        std::size_t pivotRow = a;
        double largest = std::fabs(A(a, a));
        for (std::size_t k = a + 1; k < n; ++k) {
            const double candidate = std::fabs(A(k, a));
            if (candidate > largest) {
                largest = candidate;
                pivotRow = k;
            }
        }
        if (!(largest >= kZeroTolerance))
            return false;

        if (pivotRow != a) {
            for (std::size_t l = a; l <= lastCol; ++l)
                std::swap(A(a, l), A(pivotRow, l));
        }

        const double pivot = A(a, a);
        for (std::size_t l = a; l <= lastCol; ++l)
            A(a, l) = A(a, l) / pivot;

        for (std::size_t k = a + 1; k < n; ++k) {
            const double f = A(k, a);
            for (std::size_t l = a + 1; l <= lastCol; ++l)
                A(k, l) = A(k, l) - f * A(a, l);
        }
    }

    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = 0; j < i; ++j) {
            const double f = A(j, i);
            for (std::size_t k = i; k <= lastCol; ++k)
                A(j, k) = A(j, k) - f * A(i, k);
        }
    }
    return true;
}

bool solve(Matrix &A)
{
    if (trySolve(A))
        return true;
    showMessage("Equation is singular!", "Equation Solver", MessageIcon::Critical);
    return false;
}

std::optional<double> planeDistance(const CLine &line, const SpacePoint &q, const SpacePoint &r)
{
    const SpacePoint u{line.P1.x - line.P0.x, line.P1.y - line.P0.y, 0.0};
    const SpacePoint v{q[0] - line.P0.x, q[1] - line.P0.y, q[2]};
    const SpacePoint normal{
        u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const SpacePoint w{r[0] - line.P0.x, r[1] - line.P0.y, r[2]};

    Matrix A(3, 4);
    for (std::size_t i = 0; i < 3; ++i) {
        A(i, 0) = u[i];
        A(i, 1) = v[i];
        A(i, 2) = normal[i];
        A(i, 3) = w[i];
    }
    if (!solve(A))
        return std::nullopt;
    const double gamma = A(2, 3);
    const double normalLength =
        std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    return std::fabs(gamma * normalLength);
}

namespace {

Matrix intersectionSystem(const CLine &line1, const CLine &line2)
{
    Matrix A(2, 3);
    A(0, 0) = line1.P1.x - line1.P0.x;
    A(1, 0) = line1.P1.y - line1.P0.y;
    A(0, 1) = line2.P0.x - line2.P1.x;
    A(1, 1) = line2.P0.y - line2.P1.y;
    A(0, 2) = line2.P0.x - line1.P0.x;
    A(1, 2) = line2.P0.y - line1.P0.y;
    return A;
}

CPoint pointAlong(const CLine &line, double s)
{
    return CPoint(line.P0.x + s * (line.P1.x - line.P0.x), line.P0.y + s * (line.P1.y - line.P0.y));
}

} // namespace

std::optional<CPoint> intersect(const CLine &line1, const CLine &line2)
{
    Matrix A = intersectionSystem(line1, line2);
    if (!solve(A))
        return std::nullopt;
    return pointAlong(line1, A(0, 2));
}

std::optional<CPoint> tryIntersect(const CLine &line1, const CLine &line2)
{
    Matrix A = intersectionSystem(line1, line2);
    if (!trySolve(A))
        return std::nullopt;
    return pointAlong(line1, A(0, 2));
}

void pointAtHeight(SpacePoint &out, const CPoint &q, const SpacePoint &r, double h)
{
    const double k = h / r[2];
    out[0] = (r[0] - q.x) * k + q.x;
    out[1] = (r[1] - q.y) * k + q.y;
    out[2] = h;
}

std::int32_t toLong(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Only digits and a decimal point may start a number: from_chars would also take
    // "inf", "nan" and a second sign.
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.'))
        return 0;

    double value = 0.0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return 0;
    if (negative)
        value = -value;

    const double rounded = std::nearbyint(value); // halves to even in the default rounding mode
    if (rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::int32_t>(rounded);
}

std::string longText(std::int32_t n)
{
    return n == 0 ? std::string() : std::to_string(n);
}

} // namespace Math
