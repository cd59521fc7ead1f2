#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/image/EdgeSnap.h"
#include "core/image/LandmarkSnap.h"
#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"

// The pictures are drawn from a continuous grey level (pixel (i, j) covers [i, i+1) x [j, j+1)
// and gets the mean over its area), so the true edge lies where the construction puts it.

namespace {

using EdgeSnap::Direction;
using EdgeSnap::Outcome;

struct Picture
{
    int width = 96;
    int height = 96;
    std::vector<std::uint8_t> pixels;

    EdgeSnap::GreyView view() const
    {
        return EdgeSnap::GreyView::topDown(
            pixels.data(), width, height, static_cast<std::size_t>(width));
    }
};

// Normal noise of the given deviation, the same for every run.
Picture draw(const std::function<double(double, double)> &grey, double noise = 0.0,
    unsigned seed = 17, int size = 96)
{
    constexpr int kSub = 16;
    Picture p;
    p.width = p.height = size;
    p.pixels.resize(static_cast<std::size_t>(size * size));
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, noise > 0.0 ? noise : 1.0);
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            double sum = 0.0;
            for (int b = 0; b < kSub; ++b) {
                for (int a = 0; a < kSub; ++a)
                    sum += grey(i + (a + 0.5) / kSub, j + (b + 0.5) / kSub);
            }
            double v = sum / (kSub * kSub) + (noise > 0.0 ? normal(random) : 0.0);
            p.pixels[static_cast<std::size_t>(j * size + i)] =
                static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
        }
    }
    return p;
}

// A step from low to high across the signed distance d, blurred with a Gaussian of sigma px
// (sigma 0: ideal).
double step(double d, double low, double high, double sigma)
{
    if (sigma <= 0.0)
        return d < 0.0 ? low : high;
    return low + (high - low) * 0.5 * std::erfc(-d / (sigma * std::numbers::sqrt2));
}

} // namespace

TEST(EdgeSnap, placesStepsRampsAndBlurredStepsOnTheirSubPixelPosition)
{
    struct Case
    {
        const char *name;
        double edge;
        std::function<double(double)> profile;
        // An unblurred step read between pixel centres has a lopsided slope whose peak lies up
        // to 0.05 px off its middle; any blur evens it out.
        double tolerance = 0.05;
    };

    const std::vector<Case> cases{
        {"ideal step", 40.3, [](double x) { return step(x - 40.3, 60, 190, 0); }},
        {"ideal step on a pixel border", 40.0, [](double x) { return step(x - 40.0, 60, 190, 0); }},
        {"falling step", 40.75, [](double x) { return step(x - 40.75, 200, 50, 0); }, 0.06},
        {"ramp 3 px wide", 40.4,
            [](double x) { return std::clamp(100 + (x - 38.9) * 30, 100.0, 190.0); }},
        {"blurred by 1 px", 40.2, [](double x) { return step(x - 40.2, 60, 190, 1.0); }},
        {"blurred by 2 px", 40.6, [](double x) { return step(x - 40.6, 60, 190, 2.0); }},
    };
    for (const Case &c : cases) {
        const Picture p = draw([&](double x, double) { return c.profile(x); });
        for (const double offset : {-3.0, -1.2, 0.0, 2.6}) {
            const auto r = EdgeSnap::snap(p.view(), c.edge + offset, 47.5, Direction{1, 0});
            EXPECT_EQ(r.outcome, Outcome::Snapped) << c.name << " offset " << offset;
            EXPECT_NEAR(r.x, c.edge, c.tolerance) << c.name << " offset " << offset;
            EXPECT_DOUBLE_EQ(r.y, 47.5);
            EXPECT_NEAR(r.moved, std::fabs(offset), c.tolerance);
        }
    }

    // A step at 30 degrees through (48, 48): found along its normal from the fit, and along the
    // gradient before there is one.
    const double c30 = std::cos(std::numbers::pi / 6), s30 = std::sin(std::numbers::pi / 6);
    const auto distance = [&](double x, double y) { return (x - 48) * c30 + (y - 48) * s30; };
    const Picture p = draw([&](double x, double y) { return step(distance(x, y), 70, 180, 0.7); });
    for (const double along : {-12.0, 0.0, 9.0}) {
        const double x = 48 - along * s30 + 2.5 * c30, y = 48 + along * c30 + 2.5 * s30;
        const auto fitted = EdgeSnap::snap(p.view(), x, y, Direction{c30, s30});
        EXPECT_EQ(fitted.outcome, Outcome::Snapped);
        EXPECT_NEAR(distance(fitted.x, fitted.y), 0.0, 0.05);
        const auto direction = EdgeSnap::acrossStrongestGradient(p.view(), x, y);
        ASSERT_TRUE(direction.has_value());
        EXPECT_NEAR(std::fabs(direction->x * c30 + direction->y * s30), 1.0, 1e-3);
        const auto unfitted = EdgeSnap::snapAcrossGradient(p.view(), x, y);
        EXPECT_NEAR(distance(unfitted.x, unfitted.y), 0.0, 0.05);
    }
}

TEST(EdgeSnap, findsNoisyEdgesAndMetalOverMetalStepsOfThirtyFiveLevels)
{
    struct Case
    {
        const char *name;
        double low, high, noise, rmsLimit;
    };

    // 100 levels on noise of 4; metal over metal: 35 levels on noise of 3.
    for (const Case c :
        {Case{"bone to metal", 80, 180, 4, 0.15}, Case{"metal over metal", 130, 165, 3, 0.3}}) {
        const double edge = 47.3;
        std::mt19937 random(5);
        std::uniform_real_distribution<double> scatter(-3.0, 3.0);
        double squares = 0.0;
        int count = 0;
        for (unsigned seed = 1; seed <= 8; ++seed) {
            const Picture p =
                draw([&](double x, double) { return step(x - edge, c.low, c.high, 1.5); }, c.noise,
                    seed);
            for (double y = 14.5; y < 82; y += 6) {
                const auto r = EdgeSnap::snap(p.view(), edge + scatter(random), y, Direction{1, 0});
                ASSERT_EQ(r.outcome, Outcome::Snapped) << c.name << " seed " << seed << " y " << y;
                squares += (r.x - edge) * (r.x - edge);
                ++count;
            }
        }
        EXPECT_LT(std::sqrt(squares / count), c.rmsLimit) << c.name;
    }
}

TEST(EdgeSnap, snapsAlongTheNormalOfACircleAndOfARimEllipse)
{
    // A bright disc of radius 20.4 around (47.3, 48.6), blurred by 1 px, on noise of 3.
    const double cx = 47.3, cy = 48.6, radius = 20.4;
    const Picture disc = draw(
        [&](double x, double y) { return step(radius - std::hypot(x - cx, y - cy), 70, 170, 1.0); },
        3.0);
    double squares = 0.0;
    for (int k = 0; k < 36; ++k) {
        const double angle = k * std::numbers::pi / 18;
        const double off = (k % 7 - 3) * 1.0; // -3 .. 3 px across the outline
        const double x = cx + (radius + off) * std::cos(angle),
                     y = cy + (radius + off) * std::sin(angle);
        const auto across = EdgeSnap::acrossCircle(cx, cy, x, y);
        ASSERT_TRUE(across.has_value());
        const auto r = EdgeSnap::snap(disc.view(), x, y, *across);
        ASSERT_EQ(r.outcome, Outcome::Snapped) << "angle " << k * 10;
        const double error = std::hypot(r.x - cx, r.y - cy) - radius;
        EXPECT_LT(std::fabs(error), 0.2) << "angle " << k * 10;
        squares += error * error;
    }
    EXPECT_LT(std::sqrt(squares / 36), 0.1);

    // An ellipse with half axes 32 and 14, its first axis turned by 20 degrees. At the point of
    // parameter phi the outline's normal is (b cos phi, a sin phi) in the axes' frame.
    const double ex = 48.2, ey = 47.7, a = 32, b = 14;
    const double ca = std::cos(std::numbers::pi / 9), sa = std::sin(std::numbers::pi / 9);
    // Distance inside the outline to first order: the level's shortfall over its gradient.
    const auto inside = [&](double x, double y) {
        const double u = (x - ex) * ca + (y - ey) * sa, v = -(x - ex) * sa + (y - ey) * ca;
        const double f = std::hypot(u / a, v / b), g = std::hypot(u / (a * a), v / (b * b));
        return (1 - f * f) / (2 * std::max(g, 1e-9));
    };
    const Picture rim = draw([&](double x, double y) { return step(inside(x, y), 60, 160, 1.0); });
    for (const double phi : {0.8, 1.2, 2.0, 4.0, 5.2}) {
        const double nu = b * std::cos(phi), nv = a * std::sin(phi), nl = std::hypot(nu, nv);
        const double ux = a * std::cos(phi), vy = b * std::sin(phi);
        const double ox = ex + ux * ca - vy * sa, oy = ey + ux * sa + vy * ca;
        const double nx = (nu * ca - nv * sa) / nl, ny = (nu * sa + nv * ca) / nl;
        const auto across = EdgeSnap::acrossEllipse(ex, ey, ca, sa, a, b, ox, oy);
        ASSERT_TRUE(across.has_value());
        EXPECT_NEAR(std::fabs(across->x * nx + across->y * ny), 1.0, 1e-9) << "phi " << phi;
        const auto fromCentre = EdgeSnap::acrossCircle(ex, ey, ox, oy);
        EXPECT_LT(std::fabs(fromCentre->x * nx + fromCentre->y * ny), 0.99) << "phi " << phi;
        const double x = ox + 2.5 * nx, y = oy + 2.5 * ny;
        const auto r =
            EdgeSnap::snap(rim.view(), x, y, *EdgeSnap::acrossEllipse(ex, ey, ca, sa, a, b, x, y));
        EXPECT_EQ(r.outcome, Outcome::Snapped);
        // On the outline, near the point the click was made off.
        EXPECT_LT(std::fabs(inside(r.x, r.y)), 0.1) << "phi " << phi;
        EXPECT_LT(std::hypot(r.x - ox, r.y - oy), 0.3) << "phi " << phi;
    }
}

TEST(EdgeSnap, aWireIsSnappedToItsMiddleOnlyWhenOutlinesMayBeWires)
{
    // A bright wire 6 px wide, its middle at x = 47.8, blurred by 1 px, on noise of 2; and a
    // step at 40.3 with a weaker step down (a third as high) 5 px beyond it.
    const Picture wire =
        draw([](double x,
                 double) { return 80 + step(x - 44.8, 0, 60, 1.0) - step(x - 50.8, 0, 60, 1.0); },
            2.0);
    const Picture ledge =
        draw([](double x,
                 double) { return 80 + step(x - 40.3, 0, 90, 1.0) - step(x - 45.3, 0, 30, 1.0); },
            2.0);
    EdgeSnap::Options lines;
    lines.lineWidth = 12.0;
    for (const double click : {43.3, 45.8, 47.0, 49.3, 51.8}) {
        const auto middle = EdgeSnap::snap(wire.view(), click, 48.0, {1.0, 0.0}, lines);
        ASSERT_EQ(middle.outcome, Outcome::Snapped) << "click " << click;
        EXPECT_NEAR(middle.x, 47.8, 0.15) << "click " << click;
        EXPECT_TRUE(middle.onWire);
        // As a step, one of the flanks.
        const auto flank = EdgeSnap::snap(wire.view(), click, 48.0, {1.0, 0.0});
        ASSERT_EQ(flank.outcome, Outcome::Snapped) << "click " << click;
        EXPECT_NEAR(std::fabs(flank.x - 47.8), 3.0, 0.2) << "click " << click;

        const auto edge = EdgeSnap::snap(ledge.view(), click - 6.0, 48.0, {1.0, 0.0}, lines);
        ASSERT_EQ(edge.outcome, Outcome::Snapped) << "click " << click - 6.0;
        EXPECT_NEAR(edge.x, 40.3, 0.15) << "click " << click - 6.0;
        EXPECT_FALSE(edge.onWire);
    }
    // The middle of a wire out of reach is not taken even when its near flank is.
    lines.radius = 3.0;
    EXPECT_EQ(EdgeSnap::snap(wire.view(), 43.3, 48.0, {1.0, 0.0}, lines).outcome, Outcome::NoEdge);
}

TEST(EdgeSnap, leavesTheClickAndSaysWhyWhenThereIsNoClearEdge)
{
    const auto expectRefused = [](const Picture &p, double x, double y, Outcome why,
                                   const char *what) {
        const auto r = EdgeSnap::snap(p.view(), x, y, Direction{1, 0});
        EXPECT_EQ(r.outcome, why) << what;
        EXPECT_EQ(r.x, x) << what;
        EXPECT_EQ(r.y, y) << what;
        EXPECT_EQ(r.moved, 0.0) << what;
    };
    // Two rising steps of 60 levels 4 px apart, the click between them.
    const Picture twin = draw(
        [](double x, double) { return step(x - 44.0, 60, 120, 0.8) + step(x - 48.0, 0, 60, 0.8); });
    expectRefused(twin, 46.0, 40.5, Outcome::CompetingEdges, "two edges");
    EXPECT_STREQ(EdgeSnap::reasonText(Outcome::CompetingEdges), "two edges of similar strength");

    // Noise of 4 levels and nothing else, at many clicks.
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const Picture flat = draw([](double, double) { return 120.0; }, 4.0, seed);
        for (double y = 20.5; y < 80; y += 10)
            expectRefused(flat, 48.0, y, Outcome::NoEdge, "noise only");
    }
    EXPECT_STREQ(EdgeSnap::reasonText(Outcome::NoEdge), "no edge near the click");
    const Picture empty = draw([](double, double) { return 120.0; });
    expectRefused(empty, 48.0, 48.0, Outcome::NoEdge, "uniform grey");
    EXPECT_FALSE(
        EdgeSnap::snapAcrossGradient(empty.view(), 48.0, 48.0).outcome == Outcome::Snapped);

    // Shading that rises steadily across the picture has no outline.
    const Picture shading = draw([](double x, double) { return 20 + 2 * x; }, 1.0);
    expectRefused(shading, 48.0, 48.0, Outcome::NoEdge, "shading");

    // A strong step 9 px away is beyond the radius of 6.
    const Picture far = draw([](double x, double) { return step(x - 57.0, 40, 200, 0.5); });
    expectRefused(far, 48.0, 48.0, Outcome::NoEdge, "step beyond the radius");

    // A step near the border: the search would read beyond the picture.
    const Picture border = draw([](double x, double) { return step(x - 5.0, 40, 200, 0.5); });
    expectRefused(border, 6.0, 48.0, Outcome::LeavesPicture, "near the left border");
    EXPECT_STREQ(EdgeSnap::reasonText(Outcome::LeavesPicture), "the search leaves the picture");

    // A click that is no number, or a direction without length, is refused, not followed.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(
        EdgeSnap::snap(border.view(), nan, 48.0, Direction{1, 0}).outcome, Outcome::LeavesPicture);
    EXPECT_EQ(
        EdgeSnap::snapAcrossGradient(border.view(), nan, 48.0).outcome, Outcome::LeavesPicture);
    EXPECT_EQ(EdgeSnap::snap(border.view(), 48.0, 48.0, Direction{0, 0}).outcome, Outcome::NoEdge);
    EXPECT_EQ(
        EdgeSnap::snapAcrossGradient(border.view(), 3.0, 48.0).outcome, Outcome::LeavesPicture);
}

TEST(EdgeSnap, readsBottomUpRowsAsThePictureShowsThem)
{
    // Rows held bottom row first, 8 bytes apart for a picture 6 wide: picture row y holds 10*y.
    std::vector<std::uint8_t> rows(8 * 4, 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x)
            rows[static_cast<std::size_t>((3 - y) * 8 + x)] = static_cast<std::uint8_t>(10 * y + x);
    }
    const auto view = EdgeSnap::GreyView::bottomUp(rows.data(), 6, 4, 8);
    EXPECT_EQ(view.at(0, 0), 0);
    EXPECT_EQ(view.at(5, 0), 5);
    EXPECT_EQ(view.at(2, 3), 32);
}

TEST(LandmarkSnap, pointsOfAFittedCircleLandOnTheOutlineExceptThoseHeldExactly)
{
    const double cx = 48.4, cy = 47.1, radius = 24.3;
    const Picture disc = draw(
        [&](double x, double y) { return step(radius - std::hypot(x - cx, y - cy), 60, 180, 1.2); },
        2.0);
    CCircle head;
    head.init(HitCode::HeadBase, nullptr);
    // Before a fit there is nothing to search across: the landmark is left alone.
    for (int k = 0; k < 8; ++k) {
        const double angle = k * std::numbers::pi / 4 + 0.2, off = k % 2 == 0 ? 2.5 : -2.0;
        head.addPoint(cx + (radius + off) * std::cos(angle), cy + (radius + off) * std::sin(angle));
    }
    EXPECT_TRUE(LandmarkSnap::snapAcrossFit(disc.view(), head).searched.empty());
    ASSERT_TRUE(head.fit());
    head.Valid = true;
    const CPoint *held = head.points[3].get();
    const double heldX = held->x, heldY = held->y;

    const LandmarkSnap::Report report = LandmarkSnap::snapAcrossFit(
        disc.view(), head, [held](const CPoint &point) { return &point == held; });
    EXPECT_EQ(report.snapped, 7);
    EXPECT_EQ(report.refused, 0);
    EXPECT_TRUE(report.refitted);
    EXPECT_EQ(held->x, heldX);
    EXPECT_EQ(held->y, heldY);
    for (const LandmarkSnap::PointMove &move : report.searched) {
        EXPECT_NE(move.index, 3u);
        EXPECT_LT(std::fabs(std::hypot(move.toX - cx, move.toY - cy) - radius), 0.2);
        EXPECT_NEAR(move.distance(), move.index % 2 == 0 ? 2.5 : 2.0, 0.3);
    }
    EXPECT_NEAR(report.largestMove(), 2.5, 0.3);
    // The refit follows the snapped points; the one held 2 px inside still pulls a little.
    EXPECT_NEAR(head.r, radius, 0.4);
    EXPECT_NEAR(head.M.x, cx, 0.4);
    EXPECT_NEAR(head.M.y, cy, 0.4);
}

TEST(LandmarkSnap, rimPointsLandOnTheEdgeOrTheWireAlongTheFittedEllipsesOwnNormal)
{
    // A flat rim ellipse, half axes 34 and 16, its first axis turned by 25 degrees: from the
    // centre, the direction to a point off the ends of the axes runs far from the normal. Drawn
    // once as the edge of a bright shell and once as a wire 3 px wide centred on the outline.
    const double ex = 48.6, ey = 47.9, a = 34, b = 16;
    const double ca = std::cos(0.4363323129985824), sa = std::sin(0.4363323129985824);
    const auto inside = [&](double x, double y) {
        const double u = (x - ex) * ca + (y - ey) * sa, v = -(x - ex) * sa + (y - ey) * ca;
        const double f = std::hypot(u / a, v / b), g = std::hypot(u / (a * a), v / (b * b));
        return (1 - f * f) / (2 * std::max(g, 1e-9));
    };
    const Picture edge = draw([&](double x, double y) { return step(inside(x, y), 70, 170, 1.0); });
    const Picture wire = draw([&](double x, double y) {
        const double d = inside(x, y);
        return 70 + step(d + 1.5, 0, 90, 1.0) - step(d - 1.5, 0, 90, 1.0);
    });
    for (const Picture *rim : {&edge, &wire}) {
        const char *kind = rim == &edge ? "edge" : "wire";
        CEllipse ellipse;
        ellipse.init(HitCode::RimBase, nullptr);
        // Clicks 2 px off the outline along its normal, alternately outside and inside.
        for (int k = 0; k < 10; ++k) {
            const double phi = 0.3 + k * 0.6;
            const double nu = b * std::cos(phi), nv = a * std::sin(phi), nl = std::hypot(nu, nv);
            const double ux = a * std::cos(phi), vy = b * std::sin(phi);
            const double off = k % 2 == 0 ? 2.0 : -2.0;
            ellipse.addPoint(ex + ux * ca - vy * sa + off * (nu * ca - nv * sa) / nl,
                ey + ux * sa + vy * ca + off * (nu * sa + nv * ca) / nl);
        }
        ASSERT_TRUE(ellipse.fit());
        ellipse.Valid = true;
        const LandmarkSnap::Report report = LandmarkSnap::snapAcrossFit(rim->view(), ellipse);
        EXPECT_EQ(report.snapped, 10) << kind;
        EXPECT_TRUE(report.refitted) << kind;
        // Along the normal each point moves its 2 px; along the line from the centre it would
        // land on the outline too, but farther from where it was clicked off.
        for (const LandmarkSnap::PointMove &move : report.searched)
            EXPECT_NEAR(move.distance(), 2.0, 0.2) << kind << " point " << move.index;
        for (const auto &point : ellipse.points)
            EXPECT_LT(std::fabs(inside(point->x, point->y)), 0.15)
                << kind << " " << point->x << ", " << point->y;
        EXPECT_NEAR(ellipse.a, a, 0.15) << kind;
        EXPECT_NEAR(ellipse.b, b, 0.15) << kind;
        EXPECT_NEAR(ellipse.M0.x, ex, 0.1) << kind;
        EXPECT_NEAR(ellipse.M0.y, ey, 0.1) << kind;
    }
}
