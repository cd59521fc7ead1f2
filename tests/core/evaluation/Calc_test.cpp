#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "core/evaluation/Calc.h"

namespace {

constexpr double kTolerance = 1e-9;

double heightBelowFocus(double z, double rho, double R)
{
    return z - R * std::sqrt(rho * rho + z * z) / rho;
}

} // namespace

TEST(FocusEstimate, ClampsToTheRangeOfRealFocusDistances)
{
    // A sphere barely magnified: the estimate runs far beyond 1300 mm for both distances.
    const auto far = Calc::focusFromSize(28.7, 26.0);
    EXPECT_EQ(far.z1, 1300.0);
    EXPECT_EQ(far.z2, 1300.0);
    EXPECT_NEAR(far.h1, heightBelowFocus(1300, 28.7, 26.0), kTolerance);
    EXPECT_EQ(far.h1, far.h2);

    // Strongly magnified: both below 900 mm.
    const auto near = Calc::focusFromSize(40.0, 20.0);
    EXPECT_EQ(near.z1, 900.0);
    EXPECT_EQ(near.z2, 900.0);
    EXPECT_NEAR(near.h1, heightBelowFocus(900, 40.0, 20.0), kTolerance);
}

TEST(FocusEstimate, InsideTheRangeTheConeOfRaysDecides)
{
    const double rho = 28.7, R = 24.0;
    const auto e = Calc::focusFromSize(rho, R);
    // For the first reference distance the focus where the cone of a sphere of radius R at
    // the distance 180 mm from the film's point under it touches the sphere: tan of the sum of
    // the two angles.
    const double expected =
        rho * std::tan(std::atan(180 / rho) + std::asin(R / std::hypot(rho, 180.0)));
    ASSERT_GT(expected, 900);
    ASSERT_LT(expected, 1300);
    EXPECT_NEAR(e.z1, expected, 1e-9);
    EXPECT_NEAR(e.h1, heightBelowFocus(expected, rho, R), 1e-9);
    EXPECT_EQ(e.z2, 1300.0);
}

namespace {

struct Rim
{
    CPoint M0, M1, M2, M3;
};

// A rim on the film under a focus straight above the beam centre (0, 0): first axis along x
// with half length a, second axis end at (0, b) from the centre.
Rim rimAt(double cx, double cy, double a, double b)
{
    return {{cx, cy}, {cx + a, cy}, {cx - a, cy}, {cx, cy + b}};
}

} // namespace

TEST(RimOrientation, CircularRimHasACandidateStraightUp)
{
    const Rim rim = rimAt(-50, -80, 20, 20); // m.m = h.h
    const auto o = Calc::rimOrientation(rim.M0, rim.M1, rim.M2, rim.M3, {0, 0}, 1000, false);
    ASSERT_TRUE(o.has_value());
    // md = m.d = 20 * 60 > 0, so t1 = 0: the first candidate's axis is perpendicular to the
    // film.
    EXPECT_NEAR(o->beta1, 90.0, 1e-6);
    EXPECT_LT(o->beta2, 90.0);
}

TEST(RimOrientation, RimWithoutARealSolutionGivesNothing)
{
    const Rim rim = rimAt(0, -100, 10, 400); // second axis far longer than the first
    EXPECT_FALSE(Calc::rimOrientation(rim.M0, rim.M1, rim.M2, rim.M3, {0, 0}, 1100, true));
}

TEST(RimOrientation, SignsFollowTheSideAndTheCandidateCloserToTenWins)
{
    // A rim whose first axis is turned by 30 degrees, so that the cup axis leans sideways.
    const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
    const CPoint M0(60, -30);
    const CPoint M1(60 + 25 * c, -30 + 25 * s), M2(60 - 25 * c, -30 - 25 * s);
    const CPoint M3(60 - 6 * s, -30 + 6 * c);
    const auto right = Calc::rimOrientation(M0, M1, M2, M3, {0, 0}, 1100, false);
    const auto left = Calc::rimOrientation(M0, M1, M2, M3, {0, 0}, 1100, true);
    ASSERT_TRUE(right && left);
    EXPECT_EQ(right->beta1, left->beta1);
    EXPECT_EQ(right->beta2, left->beta2);
    // The same cup axis reads the other way round on the other side.
    EXPECT_NE(right->sign1, left->sign1);
    EXPECT_NE(right->sign2, left->sign2);
    for (const auto *o : {&*right, &*left}) {
        EXPECT_TRUE(o->sign1 == "-" || o->sign1 == "+");
        if (o->sign1 == o->sign2) {
            const double closer =
                std::fabs(o->beta2 - 10) < std::fabs(o->beta1 - 10) ? o->beta2 : o->beta1;
            EXPECT_EQ(o->anteversion, closer);
        } else {
            // The candidate without the "-" flag is the anteversion.
            EXPECT_EQ(o->anteversion, o->sign1 == "+" ? o->beta1 : o->beta2);
        }
    }
}

TEST(RimOrientation, FirstAxisAlongTheBaseLineGivesNoSignFlags)
{
    // With the first axis along x the cup axis has no x component: neither flag is set.
    const Rim rim = rimAt(60, -30, 25, 6);
    for (bool S : {false, true}) {
        const auto o = Calc::rimOrientation(rim.M0, rim.M1, rim.M2, rim.M3, {0, 0}, 1100, S);
        ASSERT_TRUE(o.has_value());
        EXPECT_EQ(o->sign1, "+");
        EXPECT_EQ(o->sign2, "+");
    }
}

TEST(RimOrientation, AngleOfAnOpeningTiltedAboutTheFirstAxis)
{
    // Focus very high above the rim's centre: nearly a parallel projection. A circular opening
    // tilted by theta about the first axis shows b = a cos(theta); its axis stands at
    // 90 - theta = asin(b / a) against the film, for both candidates.
    const double a = 20, b = 10;
    const Rim rim = rimAt(0, 0, a, b);
    const auto o = Calc::rimOrientation(rim.M0, rim.M1, rim.M2, rim.M3, {0, 0}, 1e7, true);
    ASSERT_TRUE(o.has_value());
    const double expected = std::asin(b / a) * 180 / std::numbers::pi;
    EXPECT_NEAR(o->beta1, expected, 1e-4);
    EXPECT_NEAR(o->beta2, expected, 1e-4);
}

TEST(AnteversionChoice, SameFlagsTakeTheCandidateCloserToTenAndTiesGoToBetaOne)
{
    EXPECT_EQ(Calc::chooseAnteversion(8, false, 12, false), 8);
    EXPECT_EQ(Calc::chooseAnteversion(12, true, 8, true), 12);
    EXPECT_EQ(Calc::chooseAnteversion(25, true, 11, true), 11);
    EXPECT_EQ(Calc::chooseAnteversion(9.5, false, 10.25, false), 10.25);
}

TEST(AnteversionChoice, DifferentFlagsTakeTheCandidateWithoutTheFlag)
{
    EXPECT_EQ(Calc::chooseAnteversion(10, true, 40, false), 40);
    EXPECT_EQ(Calc::chooseAnteversion(40, false, 10, true), 40);
}

TEST(Inclination, IsUnsignedAgainstTheBaseLine)
{
    EXPECT_NEAR(Calc::inclination(1, 1), 45.0, 1e-12);
    EXPECT_EQ(Calc::inclination(1, 1), Calc::inclination(1, -1));
    EXPECT_EQ(Calc::inclination(-1, 1), Calc::inclination(1, 1));
    EXPECT_EQ(Calc::inclination(0, 5), 1.570796326794895 * 57.29577951308238);
    EXPECT_EQ(Calc::inclination(3, 0), 0.0);
}

TEST(GridDistances, MirroredForALeftHip)
{
    // F-, Left-, Right-Line abscissae and Base-, H-M-, Top-Line ordinates.
    const auto right = Calc::gridDistances(75, 0, 100, 0, 50, 100, false);
    EXPECT_EQ(right.delx1, 75);
    EXPECT_EQ(right.delx2, 25);
    EXPECT_EQ(right.delx3, 100);
    const auto left = Calc::gridDistances(75, 0, 100, 0, 50, 100, true);
    EXPECT_EQ(left.delx1, -25);
    EXPECT_EQ(left.delx2, -75);
    EXPECT_EQ(left.delx3, -100);
    for (const auto *g : {&right, &left}) {
        EXPECT_EQ(g->dely1, 50);
        EXPECT_EQ(g->dely2, 50);
        EXPECT_EQ(g->dely3, 100);
    }
}
