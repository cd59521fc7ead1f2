#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "core/model/Math.h"
#include "support/RecordingMessages.h"

namespace {

constexpr double kTolerance = 1e-12;

CLine segment(double x0, double y0, double x1, double y1)
{
    CLine line;
    line.init(x0, y0, x1, y1);
    return line;
}

void expectSingularBoxOnce(const RecordingMessages &messages)
{
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Equation is singular!");
    EXPECT_EQ(messages.boxes[0].title, "Equation Solver");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(messages.boxes[0].buttons, MessageButtons::Ok);
}

} // namespace

TEST(HitTest, NearPointIsStrictlyInsideSixUnits)
{
    EXPECT_FALSE(Math::nearPoint(0, 0, 6, 0));
    EXPECT_TRUE(Math::nearPoint(0, 0, 5.99, 0));
    EXPECT_FALSE(Math::nearPoint(10, 10, 10 + 3 * std::sqrt(2.0) + 1e-9, 10 + 3 * std::sqrt(2.0)));
}

TEST(HitTest, NearLineIsARectangleWithoutCaps)
{
    const CLine line = segment(0, 0, 100, 0);
    EXPECT_TRUE(Math::nearLine(50, 5, line));
    EXPECT_TRUE(Math::nearLine(50, -5.9, line));
    EXPECT_FALSE(Math::nearLine(50, 6, line));
    EXPECT_FALSE(Math::nearLine(105, 0, line)); // beyond the end on the prolongation
    EXPECT_TRUE(Math::nearLine(100, 5, line)); // t = 1 counts
    EXPECT_TRUE(Math::nearLine(0, -5, line)); // t = 0 counts
    EXPECT_FALSE(Math::nearLine(-0.1, 0, line));
}

TEST(HitTest, ShortSegmentBehavesLikeItsEndPoints)
{
    const CLine line = segment(0, 0, 5, 0);
    EXPECT_TRUE(Math::nearLine(10, 0, line)); // 5 from P1, beyond the end
    EXPECT_TRUE(Math::nearLine(-5, 0, line)); // 5 from P0
    EXPECT_FALSE(Math::nearLine(2.5, 6, line)); // beside the middle, but 6.5 from both ends
    EXPECT_FALSE(Math::nearLine(11, 0, line));
}

TEST(Angles, AtanRatioFallsBackToTheFixedRightAngle)
{
    EXPECT_EQ(Math::atanRatio(1, 0), 1.570796326794895);
    EXPECT_EQ(Math::atanRatio(-1, 0), -1.570796326794895);
    EXPECT_EQ(Math::atanRatio(0, 0), 1.570796326794895);
    EXPECT_EQ(Math::atanRatio(-1, 1e-13), -1.570796326794895);
    EXPECT_NEAR(Math::atanRatio(1, 1), std::numbers::pi / 4, kTolerance);
    EXPECT_NEAR(Math::atanRatio(1, -1), -std::numbers::pi / 4, kTolerance);
    EXPECT_NE(Math::kRightAngle, std::numbers::pi / 2); // the stored constant, not full pi/2
}

TEST(Angles, ArcSin)
{
    EXPECT_EQ(Math::arcSin(1.5), 1.570796326794895);
    EXPECT_EQ(Math::arcSin(1.0), 1.570796326794895);
    EXPECT_NEAR(Math::arcSin(0.5), std::numbers::pi / 6, kTolerance);
    EXPECT_EQ(Math::arcSin(0.0), 0.0);
}

TEST(Solver, SolvesATwoByTwoSystem)
{
    RecordingMessages messages;
    Matrix A(2, 3);
    A(0, 0) = 2, A(0, 1) = 1, A(0, 2) = 5; // 2x + y = 5
    A(1, 0) = 1, A(1, 1) = -1, A(1, 2) = 1; // x - y = 1
    ASSERT_TRUE(Math::solve(A));
    EXPECT_NEAR(A(0, 2), 2.0, kTolerance);
    EXPECT_NEAR(A(1, 2), 1.0, kTolerance);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(Solver, PivotsOnTheLargestEntry)
{
    Matrix A(3, 4);
    // x + 2y + 3z = 14, 4x + 5y + 6z = 32, 7x + 8y + 10z = 53: solution (1, 2, 3)
    const double rows[3][4] = {{1, 2, 3, 14}, {4, 5, 6, 32}, {7, 8, 10, 53}};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            A(i, j) = rows[i][j];
    ASSERT_TRUE(Math::solve(A));
    EXPECT_NEAR(A(0, 3), 1.0, kTolerance);
    EXPECT_NEAR(A(1, 3), 2.0, kTolerance);
    EXPECT_NEAR(A(2, 3), 3.0, kTolerance);
}

TEST(Solver, EqualPivotCandidatesKeepTheUpperRow)
{
    Matrix A(2, 3);
    A(0, 0) = 2, A(0, 1) = 1, A(0, 2) = 5;
    A(1, 0) = -2, A(1, 1) = 3, A(1, 2) = 1;
    ASSERT_TRUE(Math::solve(A));
    // The lower row's first column is never cleared, so it shows whether the rows swapped.
    EXPECT_EQ(A(1, 0), -2.0);
    EXPECT_NEAR(A(0, 2), 1.75, kTolerance);
    EXPECT_NEAR(A(1, 2), 1.5, kTolerance);
}

TEST(Solver, ProportionalRowsAreSingular)
{
    RecordingMessages messages;
    Matrix A(2, 3);
    A(0, 0) = 1, A(0, 1) = 2, A(0, 2) = 3;
    A(1, 0) = 2, A(1, 1) = 4, A(1, 2) = 6;
    EXPECT_FALSE(Math::solve(A));
    expectSingularBoxOnce(messages);
}

TEST(Solver, TrySolveFailsWithoutABox)
{
    RecordingMessages messages;
    Matrix A(2, 3);
    A(0, 0) = 1, A(0, 1) = 2;
    A(1, 0) = 2, A(1, 1) = 4;
    EXPECT_FALSE(Math::trySolve(A));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(Intersection, DiagonalsOfASquareMeetInItsCentre)
{
    RecordingMessages messages;
    const auto p = Math::intersect(segment(0, 0, 10, 10), segment(10, 0, 0, 10));
    ASSERT_TRUE(p.has_value());
    EXPECT_NEAR(p->x, 5.0, kTolerance);
    EXPECT_NEAR(p->y, 5.0, kTolerance);
}

TEST(Intersection, LinesMeetBeyondTheirSegments)
{
    const auto p = Math::intersect(segment(0, 0, 1, 0), segment(5, 3, 5, 4));
    ASSERT_TRUE(p.has_value());
    EXPECT_NEAR(p->x, 5.0, kTolerance);
    EXPECT_NEAR(p->y, 0.0, kTolerance);
}

TEST(Intersection, ParallelLinesGiveNothingAfterTheSolverBox)
{
    RecordingMessages messages;
    EXPECT_FALSE(Math::intersect(segment(0, 0, 10, 0), segment(0, 5, 10, 5)).has_value());
    expectSingularBoxOnce(messages);
}

TEST(SpaceGeometry, PlaneDistanceOfAPointFromAFilmLinePlane)
{
    // The plane through the film line y = 0 and a point straight above it is the plane y = 0.
    const CLine line = segment(0, 0, 10, 0);
    const auto d = Math::planeDistance(line, {4, 0, 1000}, {5, 3, 7});
    ASSERT_TRUE(d.has_value());
    EXPECT_NEAR(*d, 3.0, kTolerance);
    const auto below = Math::planeDistance(line, {4, 0, 1000}, {5, -3, 7});
    EXPECT_NEAR(*below, 3.0, kTolerance); // never negative

    // A tilted plane: the film line x = 0 and the focus (100, 0, 100) span the plane z = x.
    const auto tilted = Math::planeDistance(segment(0, 0, 0, 10), {100, 0, 100}, {0, 0, 10});
    EXPECT_NEAR(*tilted, 10 / std::sqrt(2.0), kTolerance);
}

TEST(SpaceGeometry, PlaneDistanceWithoutAPlaneIsNothing)
{
    RecordingMessages messages;
    const auto d = Math::planeDistance(segment(0, 0, 10, 0), {5, 0, 0}, {1, 2, 3});
    EXPECT_FALSE(d.has_value());
    expectSingularBoxOnce(messages);
}

TEST(SpaceGeometry, PointAtHeightRunsFromTheFilmToTheSpacePoint)
{
    SpacePoint out{};
    const CPoint q(10, 20);
    const SpacePoint r{30, -20, 1000};
    Math::pointAtHeight(out, q, r, 1000);
    EXPECT_NEAR(out[0], 30, kTolerance);
    EXPECT_NEAR(out[1], -20, kTolerance);
    EXPECT_EQ(out[2], 1000);
    Math::pointAtHeight(out, q, r, 0);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 20);
    Math::pointAtHeight(out, q, r, 250);
    EXPECT_NEAR(out[0], 15, kTolerance);
    EXPECT_NEAR(out[1], 10, kTolerance);
}

TEST(NumberText, ToLongReadsNumbersAndGivesZeroForEverythingElse)
{
    EXPECT_EQ(Math::toLong("12"), 12);
    EXPECT_EQ(Math::toLong(" 12 "), 12);
    EXPECT_EQ(Math::toLong("-40"), -40);
    EXPECT_EQ(Math::toLong("+7"), 7);
    EXPECT_EQ(Math::toLong("2.5"), 2); // halves to even
    EXPECT_EQ(Math::toLong("3.5"), 4);
    EXPECT_EQ(Math::toLong("-2.5"), -2);
    EXPECT_EQ(Math::toLong("1e3"), 1000);
    EXPECT_EQ(Math::toLong("2147483647"), 2147483647);
    EXPECT_EQ(Math::toLong("-2147483648"), -2147483647 - 1);
    for (const char *bad : {"", "   ", "abc", "12abc", "1 2", "2147483648", "-2147483649", "inf",
             "nan", "--1", "+-1", "0x10", "1,5"})
        EXPECT_EQ(Math::toLong(bad), 0) << '"' << bad << '"';
}

TEST(NumberText, LongTextLeavesZeroEmpty)
{
    EXPECT_EQ(Math::longText(0), "");
    EXPECT_EQ(Math::longText(7), "7");
    EXPECT_EQ(Math::longText(-19700101), "-19700101");
}
