#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/CCircle.h"
#include "core/model/DrawingSurface.h"
#include "support/RasterSurface.h"
#include "support/RecordingMessages.h"

namespace {

constexpr double kTolerance = 1e-9;

CCircle circleThrough(
    const std::vector<std::pair<double, double>> &points, DrawingSurface *surface = nullptr)
{
    CCircle circle;
    circle.init(HitCode::HeadBase, surface);
    for (const auto &[x, y] : points)
        circle.addPoint(x, y);
    return circle;
}

double det3(const double m[3][3])
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
        - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
        + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The least-squares solution of 2a*x + 2b*y - c = x^2 + y^2, by Cramer's rule on the normal
// equations of the design matrix, independently of the solver under test.
void referenceFit(
    const std::vector<std::pair<double, double>> &points, double &a, double &b, double &r)
{
    double N[3][3] = {}, rhs[3] = {};
    for (const auto &[x, y] : points) {
        const double row[3] = {2 * x, 2 * y, -1};
        const double z = x * x + y * y;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                N[i][j] += row[i] * row[j];
            rhs[i] += row[i] * z;
        }
    }
    const double d = det3(N);
    double solution[3];
    for (int k = 0; k < 3; ++k) {
        double M[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                M[i][j] = j == k ? rhs[i] : N[i][j];
        solution[k] = det3(M) / d;
    }
    a = solution[0];
    b = solution[1];
    r = std::sqrt(a * a + b * b - solution[2]);
}

} // namespace

TEST(CircleFit, FewerThanThreePointsFailSilently)
{
    RecordingMessages messages;
    CCircle circle = circleThrough({});
    EXPECT_FALSE(circle.fit());
    circle.addPoint(1, 2);
    EXPECT_FALSE(circle.fit());
    circle.addPoint(5, 7);
    EXPECT_FALSE(circle.fit());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(CircleFit, ThreePointsGiveTheCircleThroughThem)
{
    CCircle circle = circleThrough({{0, 10}, {10, 0}, {0, -10}});
    ASSERT_TRUE(circle.fit());
    EXPECT_NEAR(circle.M.x, 0, kTolerance);
    EXPECT_NEAR(circle.M.y, 0, kTolerance);
    EXPECT_NEAR(circle.r, 10, kTolerance);
    EXPECT_FALSE(circle.Valid); // the window confirms a fit, not the fit itself
}

TEST(CircleFit, PointsOnAnExactCircle)
{
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 12; ++i) {
        const double t = 0.3 + i * 0.4; // an arc, not a full turn
        points.emplace_back(812.5 + 143.25 * std::cos(t), 604.0 + 143.25 * std::sin(t));
    }
    CCircle circle = circleThrough(points);
    ASSERT_TRUE(circle.fit());
    EXPECT_NEAR(circle.M.x, 812.5, 1e-7);
    EXPECT_NEAR(circle.M.y, 604.0, 1e-7);
    EXPECT_NEAR(circle.r, 143.25, 1e-7);
}

TEST(CircleFit, NoisyPointsGiveTheAlgebraicLeastSquaresCircle)
{
    const std::vector<std::pair<double, double>> points{{130.2, 100.4}, {121.1, 121.9},
        {99.2, 130.6}, {78.4, 120.7}, {69.5, 99.1}, {79.8, 78.2}, {100.9, 70.3}};
    double a, b, r;
    referenceFit(points, a, b, r);
    CCircle circle = circleThrough(points);
    ASSERT_TRUE(circle.fit());
    EXPECT_NEAR(circle.M.x, a, kTolerance);
    EXPECT_NEAR(circle.M.y, b, kTolerance);
    EXPECT_NEAR(circle.r, r, kTolerance);
}

TEST(CircleFit, CollinearPointsAreSingularAndKeepThePreviousCircle)
{
    CCircle circle = circleThrough({{0, 10}, {10, 0}, {0, -10}});
    ASSERT_TRUE(circle.fit());
    RecordingMessages messages;
    circle.removeAll();
    circle.addPoint(0, 0);
    circle.addPoint(1, 1);
    circle.addPoint(5, 5);
    EXPECT_FALSE(circle.fit());
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Equation is singular!");
    EXPECT_EQ(messages.boxes[0].title, "Equation Solver");
    EXPECT_NEAR(circle.M.x, 0, kTolerance);
    EXPECT_NEAR(circle.r, 10, kTolerance);
}

TEST(CircleFit, PointsBeyondAnyPictureGiveNoCircle)
{
    // Their sums overflow; a circle of NaN must never count as fitted.
    CCircle circle = circleThrough({{0, 10}, {10, 0}, {0, -10}});
    ASSERT_TRUE(circle.fit());
    RecordingMessages messages;
    circle.removeAll();
    for (const auto &[x, y] : {std::pair{1e200, 3e200}, {-2e200, 1e200}, {5e199, -4e200}})
        circle.addPoint(x, y);
    EXPECT_FALSE(circle.fit());
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_NEAR(circle.r, 10, kTolerance);
}

TEST(CirclePoints, AddPointHandsOutTheStoredPoint)
{
    RasterSurface surface(10, 10);
    CCircle circle = circleThrough({}, &surface);
    const auto point = circle.addPoint(3, 4);
    EXPECT_EQ(point->mPicBox, &surface);
    point->change(7, 8); // the window drags it through this reference
    EXPECT_EQ(circle.points[0]->x, 7);
    EXPECT_EQ(circle.points[0]->y, 8);
}

TEST(CirclePoints, RemoveAllKeepsTheFittedCircle)
{
    CCircle empty;
    empty.removeAll();
    EXPECT_TRUE(empty.points.empty());

    CCircle circle = circleThrough({{0, 10}, {10, 0}, {0, -10}});
    ASSERT_TRUE(circle.fit());
    circle.Valid = true;
    const auto held = circle.points[1];
    circle.removeAll();
    EXPECT_TRUE(circle.points.empty());
    EXPECT_TRUE(circle.Valid);
    EXPECT_NEAR(circle.r, 10, kTolerance);
    EXPECT_EQ(held->x, 10); // a point the window still holds stays alive
}

TEST(CircleHitTest, OnlyAValidCircleWithVisiblePointsIsHit)
{
    CCircle circle = circleThrough({{50, 50}, {53, 50}, {100, 100}});
    EXPECT_EQ(circle.findMode(50, 50), HitCode::Nothing);
    circle.Valid = true;
    EXPECT_EQ(circle.findMode(51, 50),
        pointHit(HitCode::HeadBase, 1)); // both first points are near: the earlier wins
    EXPECT_EQ(circle.findMode(56, 50), pointHit(HitCode::HeadBase, 2));
    EXPECT_EQ(circle.findMode(100, 94), HitCode::Nothing); // exactly 6 away
    EXPECT_EQ(circle.findMode(0, 0), HitCode::Nothing);
    circle.PVisible = false;
    EXPECT_EQ(circle.findMode(51, 50), HitCode::Nothing);

    CCircle cup;
    cup.init(HitCode::CupBase, nullptr);
    cup.addPoint(5, 5);
    cup.Valid = true;
    EXPECT_EQ(cup.findMode(5, 5), pointHit(HitCode::CupBase, 1));
}

TEST(CircleHitTest, CentreIsNotHit)
{
    CCircle circle = circleThrough({{0, 10}, {10, 0}, {0, -10}});
    ASSERT_TRUE(circle.fit());
    circle.Valid = true;
    EXPECT_EQ(circle.findMode(0, 0), HitCode::Nothing);
}

TEST(CircleDrawing, UnfittedCircleDrawsNothingNotEvenItsPoints)
{
    RasterSurface surface(100, 100);
    CCircle circle = circleThrough({{50, 40}, {60, 50}, {50, 60}}, &surface);
    circle.draw(kColorRed);
    EXPECT_EQ(surface.paintedCount(), 0);
}

TEST(CircleDrawing, OutlinePointsAndCentreAndExclusiveOrRestores)
{
    RasterSurface surface(100, 100, 0x202020);
    const auto blank = surface.pixels();
    CCircle circle = circleThrough({{50, 30}, {70, 50}, {50, 70}}, &surface);
    ASSERT_TRUE(circle.fit());
    circle.Valid = true;

    surface.setDrawMode(kDrawXor);
    circle.draw(kColorRed);
    EXPECT_EQ(surface.circleCalls, 1);
    EXPECT_EQ(surface.lineCalls, 8); // three point markers and the centre, two strokes each
    EXPECT_EQ(surface.pixel(30, 50), 0x202020u ^ kColorRed);
    EXPECT_EQ(surface.pixel(49, 50), 0x202020u ^ kColorRed); // the centre's marker
    circle.draw(kColorRed);
    EXPECT_EQ(surface.pixels(), blank);

    circle.PVisible = false;
    circle.draw(kColorRed);
    EXPECT_EQ(surface.lineCalls, 16);
    EXPECT_EQ(surface.pixel(49, 50), 0x202020u); // no markers
}
