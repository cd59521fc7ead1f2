#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/model/CLine.h"
#include "core/model/CPoint.h"
#include "core/model/Matrix.h"

// A point in space: x, y on the film plane, z towards the X-ray focus.
using SpacePoint = std::array<double, 3>;

namespace Math {

// The value the angle functions return for a right angle; slightly below pi/2 on purpose,
// since result files have always been computed with it.
inline constexpr double kRightAngle = 1.570796326794895;
// Pivots and denominators below this count as zero.
inline constexpr double kZeroTolerance = 1e-13;
// Squared hit radius of the mouse: closer than 6 picture units is near.
inline constexpr double kNearSquared = 36.0;

// True when (x1, y1) is closer than 6 units to (x0, y0); exactly 6 is not near.
bool nearPoint(double x0, double y0, double x1, double y1);
// True when (x, y) lies within 6 units of the segment: a rectangle along it without round caps;
// a segment shorter than 6 units behaves like its two end points.
bool nearLine(double x, double y, const CLine &line);

// Arctangent of num / den in (-pi/2, pi/2]; +-kRightAngle by the sign of num when |den| is
// not above kZeroTolerance (num = 0 counts as positive).
double atanRatio(double num, double den);
// Arcsine for s below 1, kRightAngle from 1 on. Callers pass no values of -1 or below.
double arcSin(double s);

// Gauss-Jordan elimination with partial pivoting (ties keep the upper row) on the augmented
// matrix A of n rows and n + k columns, in place. On success the solution stands in column n;
// the coefficient block is left partly reduced and must not be read. When a pivot falls below
// kZeroTolerance the "Equation is singular!" box is shown and false is returned.
bool solve(Matrix &A);
// The same elimination without the message box, for callers that report the failure in their
// own words.
bool trySolve(Matrix &A);

// Distance of r from the plane through line.P0 (z = 0) spanned by the line's direction and q;
// never negative. Nothing when q and the line span no plane (after the solver's message).
std::optional<double> planeDistance(const CLine &line, const SpacePoint &q, const SpacePoint &r);

// Intersection of the two infinite lines; nothing for parallel or degenerate lines, after the
// solver's message.
std::optional<CPoint> intersect(const CLine &line1, const CLine &line2);
// The same without the message box.
std::optional<CPoint> tryIntersect(const CLine &line1, const CLine &line2);

// The point at height h on the straight line from q (on the film, z = 0) to r. r.z must not
// be 0.
void pointAtHeight(SpacePoint &out, const CPoint &q, const SpacePoint &r, double h);

// Text to a 32-bit integer as numeric text reads (blanks around it allowed, a decimal fraction
// rounded halves to even); 0 for anything that is not a number or is out of range.
std::int32_t toLong(std::string_view text);
// Decimal text of n, and the empty string for 0 so that a field shows nothing.
std::string longText(std::int32_t n);

} // namespace Math
