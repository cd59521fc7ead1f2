#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/CEllipse.h"
#include "core/model/DrawingSurface.h"
#include "support/RasterSurface.h"
#include "support/RecordingMessages.h"

namespace {

constexpr double kTolerance = 1e-9;

using Points = std::vector<std::pair<double, double>>;

CEllipse rimThrough(const Points &points, DrawingSurface *surface = nullptr)
{
    CEllipse rim;
    rim.init(HitCode::RimBase, surface);
    for (const auto &[x, y] : points)
        rim.addPoint(x, y);
    return rim;
}

void setPoints(CEllipse &rim, const Points &points)
{
    rim.removeAll();
    for (const auto &[x, y] : points)
        rim.addPoint(x, y);
}

Points ellipsePoints(
    double cx, double cy, double a, double b, double angle, int count, double start = 0.1)
{
    Points points;
    for (int i = 0; i < count; ++i) {
        const double t = start + i * 2 * std::numbers::pi / count;
        points.emplace_back(
            cx + a * std::cos(t) * std::cos(angle) - b * std::sin(t) * std::sin(angle),
            cy + a * std::cos(t) * std::sin(angle) + b * std::sin(t) * std::cos(angle));
    }
    return points;
}

struct Snapshot
{
    double m0x, m0y, m1x, m1y, m2x, m2y, m3x, m3y, a, b, cosA, sinA;

    explicit Snapshot(const CEllipse &e)
        : m0x(e.M0.x),
          m0y(e.M0.y),
          m1x(e.M1.x),
          m1y(e.M1.y),
          m2x(e.M2.x),
          m2y(e.M2.y),
          m3x(e.M3.x),
          m3y(e.M3.y),
          a(e.a),
          b(e.b),
          cosA(e.CosA),
          sinA(e.SinA)
    {}

    bool operator==(const Snapshot &) const = default;
};

void expectInvariants(const CEllipse &e)
{
    EXPECT_NEAR(e.CosA * e.CosA + e.SinA * e.SinA, 1.0, 1e-12);
    EXPECT_NEAR(e.M1.x, e.M0.x + e.a * e.CosA, kTolerance);
    EXPECT_NEAR(e.M1.y, e.M0.y + e.a * e.SinA, kTolerance);
    EXPECT_NEAR(e.M2.x, 2 * e.M0.x - e.M1.x, kTolerance);
    EXPECT_NEAR(e.M2.y, 2 * e.M0.y - e.M1.y, kTolerance);
    const double m3x = e.M3.x - e.M0.x, m3y = e.M3.y - e.M0.y;
    EXPECT_NEAR(std::hypot(m3x, m3y), e.b, kTolerance);
    EXPECT_NEAR(m3x * e.CosA + m3y * e.SinA, 0.0, kTolerance); // at a right angle
}

// (xi/a)^2 + (eta/b)^2 of a point in the ellipse's own axes: 1 on the outline.
double outlineMeasure(const CEllipse &e, double x, double y)
{
    const double dx = x - e.M0.x, dy = y - e.M0.y;
    const double xi = dx * e.CosA + dy * e.SinA;
    const double eta = -dx * e.SinA + dy * e.CosA;
    return xi * xi / (e.a * e.a) + eta * eta / (e.b * e.b);
}

void expectBox(const RecordingMessages &messages, const char *text, const char *title)
{
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, text);
    EXPECT_EQ(messages.boxes[0].title, title);
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(messages.boxes[0].buttons, MessageButtons::Ok);
}

} // namespace

TEST(RimThreePointFit, FirstTwoPointsAreTheEndsOfAnAxis)
{
    CEllipse rim = rimThrough({{-10, 0}, {10, 0}, {0, 5}});
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.M0.x, 0, kTolerance);
    EXPECT_NEAR(rim.M0.y, 0, kTolerance);
    EXPECT_NEAR(rim.a, 10, kTolerance);
    EXPECT_NEAR(rim.b, 5, kTolerance);
    EXPECT_NEAR(rim.M3.x, 0, kTolerance);
    EXPECT_NEAR(rim.M3.y, 5, kTolerance);
    EXPECT_EQ(rim.CosA, -1);
    EXPECT_EQ(rim.SinA, 0);
    EXPECT_EQ(rim.M1.x, -10);
    EXPECT_EQ(rim.M2.x, 10);
    expectInvariants(rim);
}

TEST(RimThreePointFit, SecondAxisMayBeTheLongerOne)
{
    CEllipse rim = rimThrough({{-10, 0}, {10, 0}, {0, 20}});
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.a, 10, kTolerance);
    EXPECT_NEAR(rim.b, 20, kTolerance);
    EXPECT_NEAR(rim.M1.x, -10, kTolerance);
}

TEST(RimThreePointFit, TiltedAxisAndAnOffAxisThirdPoint)
{
    // An ellipse with half axes 30 and 12, first axis turned by 40 degrees; the third point is
    // a general point of the outline.
    const Points outline = ellipsePoints(200, 150, 30, 12, 40 * std::numbers::pi / 180, 8, 0);
    CEllipse rim = rimThrough({outline[4], outline[0], outline[1]});
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.M0.x, 200, kTolerance);
    EXPECT_NEAR(rim.M0.y, 150, kTolerance);
    EXPECT_NEAR(rim.a, 30, kTolerance);
    EXPECT_NEAR(rim.b, 12, kTolerance);
    expectInvariants(rim);
    for (const auto &[x, y] : outline)
        EXPECT_NEAR(outlineMeasure(rim, x, y), 1.0, 1e-9);
}

TEST(RimThreePointFit, ThirdPointBeyondTheAxisEndFailsAndChangesNothing)
{
    CEllipse rim = rimThrough({{-10, 0}, {10, 0}, {0, 5}});
    ASSERT_TRUE(rim.fit());
    const Snapshot before(rim);
    RecordingMessages messages;
    setPoints(rim, {{-30, 7}, {10, 0}, {15, 1}});
    EXPECT_FALSE(rim.fit());
    expectBox(messages, "wrong points for Rim", "Ellipse fit");
    EXPECT_TRUE(Snapshot(rim) == before);
}

TEST(RimThreePointFit, DegenerateConstructionsFailWithTheRimMessage)
{
    for (const Points &points : {Points{{4, 4}, {4, 4}, {9, 1}}, // coincident axis ends
             Points{{-10, 0}, {10, 0}, {10, 0}}, // third point at an end
             Points{{-10, 0}, {10, 0}, {-10, 0}}}) {
        RecordingMessages messages;
        CEllipse rim = rimThrough(points);
        EXPECT_FALSE(rim.fit());
        expectBox(messages, "wrong points for Rim", "Ellipse fit");
        EXPECT_EQ(rim.a, 0);
        EXPECT_EQ(rim.M0.x, 0);
    }
}

TEST(RimThreePointFit, PointsBeyondAnyPictureGiveNoRim)
{
    RecordingMessages messages;
    CEllipse rim = rimThrough({{-1e300, 0}, {1e300, 0}, {0, 1e299}});
    EXPECT_FALSE(rim.fit());
    expectBox(messages, "wrong points for Rim", "Ellipse fit");
    EXPECT_EQ(rim.a, 0);
}

TEST(RimFit, FourPointsOrFewerThanThreeGiveNothingSilently)
{
    RecordingMessages messages;
    for (int count : {0, 1, 2, 4}) {
        Points points = ellipsePoints(0, 0, 20, 10, 0, 4);
        points.resize(static_cast<std::size_t>(count));
        CEllipse rim = rimThrough(points);
        EXPECT_FALSE(rim.fit()) << count;
        EXPECT_EQ(rim.a, 0);
    }
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(RimGeneralFit, WideAxisParallelEllipse)
{
    CEllipse rim = rimThrough(ellipsePoints(0, 0, 20, 10, 0, 7));
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.a, 20, kTolerance);
    EXPECT_NEAR(rim.b, 10, kTolerance);
    EXPECT_NEAR(rim.M1.y, 0, kTolerance);
    EXPECT_NEAR(rim.M2.y, 0, kTolerance);
    EXPECT_NEAR(rim.CosA, -1, 1e-12);
    EXPECT_NEAR(rim.SinA, 0, 1e-12);
    expectInvariants(rim);
}

TEST(RimGeneralFit, TallAxisParallelEllipseMakesTheVerticalAxisFirst)
{
    CEllipse rim = rimThrough(ellipsePoints(300, 250, 10, 20, 0, 9));
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.M0.x, 300, 1e-7);
    EXPECT_NEAR(rim.M0.y, 250, 1e-7);
    EXPECT_NEAR(rim.a, 20, 1e-7);
    EXPECT_NEAR(rim.b, 10, 1e-7);
    EXPECT_NEAR(rim.M1.x, 300, 1e-7);
    EXPECT_NEAR(rim.M2.x, 300, 1e-7);
    EXPECT_NEAR(std::fabs(rim.SinA), 1, 1e-12);
    expectInvariants(rim);
}

TEST(RimGeneralFit, RotatedEllipseWithFivePointsPassesThroughThem)
{
    const double angle = 25 * std::numbers::pi / 180;
    const Points points = ellipsePoints(812, 640, 90, 55, angle, 5);
    CEllipse rim = rimThrough(points);
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.a, 90, 1e-6);
    EXPECT_NEAR(rim.b, 55, 1e-6);
    EXPECT_GE(rim.a, rim.b);
    // The first axis is the major one, in either direction.
    EXPECT_NEAR(std::fabs(rim.CosA * std::cos(angle) + rim.SinA * std::sin(angle)), 1, 1e-9);
    expectInvariants(rim);
    for (const auto &[x, y] : points)
        EXPECT_NEAR(outlineMeasure(rim, x, y), 1.0, 1e-9);
}

TEST(RimGeneralFit, SteepRotatedEllipseFromManyPoints)
{
    const double angle = 110 * std::numbers::pi / 180;
    const Points points = ellipsePoints(400, 300, 48, 31, angle, 12, 0.37);
    CEllipse rim = rimThrough(points);
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.a, 48, 1e-6);
    EXPECT_NEAR(rim.b, 31, 1e-6);
    EXPECT_NEAR(std::fabs(rim.CosA * std::cos(angle) + rim.SinA * std::sin(angle)), 1, 1e-9);
    expectInvariants(rim);
}

TEST(RimGeneralFit, CircleGetsAHorizontalFirstAxis)
{
    CEllipse rim =
        rimThrough({{10, 0}, {-10, 0}, {0, 10}, {0, -10}, {6, 8}, {-6, 8}, {6, -8}, {-6, -8}});
    ASSERT_TRUE(rim.fit());
    EXPECT_NEAR(rim.a, 10, kTolerance);
    EXPECT_NEAR(rim.b, 10, kTolerance);
    EXPECT_NEAR(rim.M1.x, -10, kTolerance);
    EXPECT_NEAR(rim.M1.y, 0, kTolerance);
    EXPECT_NEAR(rim.M2.x, 10, kTolerance);
    EXPECT_NEAR(rim.M3.x, 0, kTolerance);
    EXPECT_NEAR(rim.M3.y, 10, kTolerance);
    EXPECT_NEAR(rim.CosA, -1, 1e-12);
}

TEST(RimGeneralFit, HyperbolaIsRejectedAndChangesNothing)
{
    // x^2/100 - y^2/25 = 1, both branches; then the same points turned by 30 degrees.
    Points hyperbola;
    for (double y : {-6.0, -2.0, 0.0, 3.0, 7.0}) {
        const double x = std::sqrt(100 * (1 + y * y / 25));
        hyperbola.emplace_back(x, y);
        hyperbola.emplace_back(-x, y + 1);
    }
    Points turned;
    const double c = std::cos(0.5236), s = std::sin(0.5236);
    for (const auto &[x, y] : hyperbola)
        turned.emplace_back(x * c - y * s, x * s + y * c);

    for (const Points &points : {hyperbola, turned}) {
        CEllipse rim = rimThrough(ellipsePoints(0, 0, 20, 10, 0, 7));
        ASSERT_TRUE(rim.fit());
        const Snapshot before(rim);
        RecordingMessages messages;
        setPoints(rim, points);
        EXPECT_FALSE(rim.fit());
        expectBox(messages, "Interpolation HYPERBOLIC!", "Ellipse fit");
        EXPECT_TRUE(Snapshot(rim) == before); // the centre of the failed fit is not kept
    }
}

TEST(RimGeneralFit, CollinearPointsAreSingular)
{
    RecordingMessages messages;
    CEllipse rim = rimThrough({{0, 0}, {1, 2}, {2, 4}, {3, 6}, {4, 8}, {5, 10}});
    EXPECT_FALSE(rim.fit());
    expectBox(messages, "Equation is singular!", "Equation Solver");
}

TEST(RimDrawing, UnfittedRimDrawsNothing)
{
    RasterSurface surface(100, 100);
    CEllipse rim = rimThrough({{-10, 0}, {10, 0}, {0, 5}}, &surface);
    ASSERT_TRUE(rim.fit());
    rim.draw(kColorRed);
    EXPECT_EQ(surface.paintedCount(), 0);
    EXPECT_EQ(surface.lineCalls, 0);
}

TEST(RimDrawing, ClosedOutlineOf126SegmentsThatExclusiveOrErases)
{
    RasterSurface surface(200, 200, 0x303030);
    const auto blank = surface.pixels();
    CEllipse rim = rimThrough({{40, 100}, {160, 100}, {100, 70}}, &surface);
    ASSERT_TRUE(rim.fit());
    rim.Valid = true;
    rim.PVisible = false;
    surface.setDrawMode(kDrawXor);
    rim.draw(kColorRed);
    EXPECT_EQ(surface.lineCalls, 126);
    EXPECT_EQ(surface.pixel(100, 130), 0x303030u ^ kColorRed); // the far end of the short axis
    EXPECT_EQ(
        surface.pixel(160, 100), 0x303030u ^ kColorRed); // the start, closed by the last segment
    rim.draw(kColorRed);
    EXPECT_EQ(surface.pixels(), blank);

    rim.PVisible = true;
    rim.draw(kColorRed);
    EXPECT_EQ(surface.lineCalls, 126 * 2 + 126 + 2 * 4); // outline, three points and the centre
}
