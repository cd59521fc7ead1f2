#pragma once

#include <optional>
#include <string>

#include "core/model/CPoint.h"

// The evaluation's pure computations on the base-line frame (mm on the film, z towards the
// focus).
namespace Calc {

// Degrees per radian as result files have always been computed: exactly this constant, not a
// computed 180/pi.
inline constexpr double kDegreesPerRadian = 57.29577951308238;

// Estimated focus heights z1, z2 and centre heights h1, h2 (mm) of a reference sphere of true
// radius R seen with the radius rho on the film, when the focus distance is not known: the
// focus is taken where the sphere's cone of rays reaches two reference distances, clamped to
// 900 .. 1300 mm.
struct FocusEstimate
{
    double z1, z2, h1, h2;
};

FocusEstimate focusFromSize(double rho, double R);

// The cup's orientation from the rim ellipse: the second axis' end M3 is lifted towards the
// focus (B.x, B.y, f) until it lies on the circle of half the first axis around M0; the plane
// of that point and the first axis is the cup's opening. Nothing when the rim admits no such
// point. beta1, beta2 are the two candidate angles of the cup axis against the film (degrees,
// 0 to 90), the signs "-" or "+", and the anteversion the chosen candidate. S is the side flag
// (true: the F-Line lies right of the V-M-Line).
struct RimOrientation
{
    double anteversion = 0, beta1 = 0, beta2 = 0;
    std::string sign1, sign2;
};

std::optional<RimOrientation> rimOrientation(const CPoint &M0, const CPoint &M1, const CPoint &M2,
    const CPoint &M3, const CPoint &B, double f, bool S);

// The anteversion among the two candidates: with equal flags the one closer to 10 degrees (a
// tie goes to beta1), else the one whose flag is not set.
double chooseAnteversion(double beta1, bool flag1, double beta2, bool flag2);

// Unsigned angle (degrees, 0 to 90) of the direction (vx, vy) against the base line.
double inclination(double vx, double vy);

// Differences of the vertical grid lines' abscissae and of the horizontal lines' ordinates,
// film mm, mirrored for a left hip so that they read the same way for both sides.
struct GridDistances
{
    double delx1 = 0, delx2 = 0, delx3 = 0, dely1 = 0, dely2 = 0, dely3 = 0;
};

// F, L, R: P0.x of the F-, Left- and Right-Line; B, M, T: P0.y of the Base-, H-M- and Top-Line.
GridDistances gridDistances(double F, double L, double R, double B, double M, double T, bool S);

} // namespace Calc
