#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/model/DrawingSurface.h"
#include "support/RasterSurface.h"

namespace {

constexpr double kTolerance = 1e-12;

void expectLine(const CLine &line, double x0, double y0, double x1, double y1)
{
    EXPECT_NEAR(line.P0.x, x0, kTolerance);
    EXPECT_NEAR(line.P0.y, y0, kTolerance);
    EXPECT_NEAR(line.P1.x, x1, kTolerance);
    EXPECT_NEAR(line.P1.y, y1, kTolerance);
}

std::vector<CLine *> allLines(COxel &oxel)
{
    return {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F, &oxel.V_R,
        &oxel.Ruler, &oxel.Cross_H, &oxel.Cross_V};
}

void confirmGrid(COxel &oxel)
{
    for (CLine *line :
        {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F, &oxel.V_R})
        line->Valid = true;
}

} // namespace

TEST(Measurement, FreshMeasurementIsEmptyAtScaleOne)
{
    COxel oxel;
    EXPECT_EQ(oxel.ScaleFactor, 1.0);
    EXPECT_FALSE(oxel.DatFlag);
    EXPECT_FALSE(oxel.Visible);
    EXPECT_EQ(oxel.WPixel, 0);
    EXPECT_EQ(oxel.HPixel, 0);
    EXPECT_TRUE(oxel.Datum.empty());
    EXPECT_FALSE(oxel.Valid());
    for (CLine *line : allLines(oxel)) {
        EXPECT_FALSE(line->Valid);
        EXPECT_EQ(line->length(), 0.0);
    }
    EXPECT_TRUE(oxel.Head.points.empty());
    EXPECT_TRUE(oxel.Rim.points.empty());
    EXPECT_EQ(oxel.WorldX(37.5), 37.5);
    EXPECT_EQ(oxel.PixelX(37.5), 37.5);
    EXPECT_EQ(oxel.WorldY(12.0), -12.0);
}

TEST(MeasurementScale, InitScaleSetsPixelsPerMillimetre)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    EXPECT_EQ(oxel.ScaleFactor, 4.0);
    EXPECT_EQ(oxel.WorldWidth(), 250.0);
    EXPECT_EQ(oxel.WorldY(800), 0.0);
    EXPECT_EQ(oxel.WorldY(0), 200.0);
    EXPECT_EQ(oxel.WorldX(400), 100.0);
    for (double y : {0.0, 1.0, 333.25, 799.5, 800.0})
        EXPECT_NEAR(oxel.PixelY(oxel.WorldY(y)), y, kTolerance);
    EXPECT_EQ(oxel.PixelX(oxel.WorldX(123.0)), 123.0);
}

TEST(MeasurementScale, InitScaleRefusesWidthsThatWouldBreakTheScale)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double width : {0.0, -250.0, inf, -inf, nan, 1e-320})
        EXPECT_FALSE(oxel.initScale(2000, 1600, width)) << width;
    EXPECT_FALSE(oxel.initScale(0, 1600, 250.0));
    EXPECT_FALSE(oxel.initScale(-5, 1600, 250.0));
    EXPECT_EQ(oxel.ScaleFactor, 4.0);
    EXPECT_EQ(oxel.WPixel, 1000);
    EXPECT_EQ(oxel.HPixel, 800);
}

TEST(MeasurementScale, CalibrationFromTwoPoints)
{
    for (std::int16_t width : {std::int16_t{500}, std::int16_t{3000}}) {
        COxel oxel;
        oxel.CalibPoints.init(10, 20, 70, 100); // 100 pixels apart
        oxel.CalibDist = 25.0;
        ASSERT_TRUE(oxel.Calibrate(width, 700));
        EXPECT_NEAR(oxel.ScaleFactor, 4.0, kTolerance);
        EXPECT_EQ(oxel.WPixel, width);
        EXPECT_EQ(oxel.HPixel, 700);
    }
}

TEST(MeasurementScale, CalibrationRefusesCoincidentPointsAndNonPositiveDistances)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    oxel.CalibPoints.init(10, 20, 10, 20);
    oxel.CalibDist = 25.0;
    EXPECT_FALSE(oxel.Calibrate(1000, 800));
    oxel.CalibPoints.init(10, 20, 110, 20);
    for (double distance : {0.0, -25.0, std::numeric_limits<double>::quiet_NaN()}) {
        oxel.CalibDist = distance;
        EXPECT_FALSE(oxel.Calibrate(1000, 800));
    }
    EXPECT_EQ(oxel.ScaleFactor, 4.0);
}

TEST(MeasurementConversion, PixelConvertsPairsAndIgnoresAnUnpairedValue)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    std::vector<double> values{10, 20, 100, 0, 7};
    oxel.Pixel(values);
    EXPECT_EQ(values, (std::vector<double>{40, 720, 400, 800, 7}));
}

TEST(MeasurementConversion, TransformWithoutRotationGivesWorldCoordinates)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    oxel.SinA = 0;
    oxel.CosA = 1;
    CPoint p(400, 600);
    oxel.TransformP(p);
    EXPECT_EQ(p.x, 100.0);
    EXPECT_EQ(p.y, 50.0);
}

TEST(MeasurementConversion, TransformTurnsTheAxisDirectionOntoX)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1000, 800, 250.0));
    const double angle = std::atan2(3.0, 4.0); // the new x axis points along (4, 3) in world mm
    oxel.SinA = std::sin(angle);
    oxel.CosA = std::cos(angle);
    oxel.Center.change(10, 20);
    CLine line;
    // World (10, 20) is the origin; world (10 + 4, 20 + 3) lies 5 mm along the new x axis;
    // world (10 - 3, 20 + 4) lies 5 mm along the new y axis.
    line.init(oxel.PixelX(14), oxel.PixelY(23), oxel.PixelX(7), oxel.PixelY(24));
    oxel.TransformL(line);
    expectLine(line, 5, 0, 0, 5);
}

TEST(GridConstruction, SquareOnABaseLineDrawnLeftToRight)
{
    COxel oxel;
    oxel.Ruler.init(1, 2, 3, 4);
    for (CLine *line : allLines(oxel))
        line->Valid = true;
    oxel.init(0, 100, 100, 100);

    expectLine(oxel.H_B, 0, 100, 100, 100);
    expectLine(oxel.H_M, 0, 50, 100, 50);
    expectLine(oxel.H_T, 0, 0, 100, 0);
    expectLine(oxel.V_L, 0, 100, 0, 0);
    expectLine(oxel.V_M, 50, 75, 50, 25);
    expectLine(oxel.V_F, 75, 100, 75, 0);
    expectLine(oxel.V_R, 100, 100, 100, 0);
    expectLine(oxel.Ruler, 100, 300, 200, 300);
    expectLine(oxel.Cross_H, -25, 0, 25, 0);
    expectLine(oxel.Cross_V, 0, -25, 0, 25);
    for (CLine *line : allLines(oxel))
        EXPECT_FALSE(line->Valid);
}

TEST(GridConstruction, TiltedBaseLineKeepsTheSquareUpright)
{
    COxel oxel;
    oxel.init(10, 50, 40, 10); // d = (30, -40), n = (-40, -30): up and to the left
    expectLine(oxel.H_T, -30, 20, 0, -20);
    expectLine(oxel.V_R, 40, 10, 0, -20);
    expectLine(oxel.V_F, 32.5, 20, -7.5, -10);
    EXPECT_NEAR(oxel.V_L.length(), 50, kTolerance);
    EXPECT_NEAR(oxel.V_M.length(), 25, kTolerance);
    EXPECT_NEAR(oxel.Cross_H.length(), 25, kTolerance);
}

TEST(GridConstruction, InitFromConfirmsOnlyTheBaseLine)
{
    COxel oxel;
    CLine drawn;
    drawn.init(0, 100, 100, 100);
    oxel.initFrom(drawn);
    EXPECT_TRUE(oxel.H_B.Valid);
    EXPECT_FALSE(oxel.H_M.Valid);
    expectLine(oxel.V_M, 50, 75, 50, 25);
}

TEST(GridConstruction, MeasurementIsValidOnlyWithAllSevenGridLines)
{
    COxel oxel;
    oxel.init(0, 100, 100, 100);
    confirmGrid(oxel);
    EXPECT_TRUE(oxel.Valid());
    oxel.V_F.Valid = false;
    oxel.Ruler.Valid = true;
    oxel.Cross_H.Valid = true;
    oxel.Cross_V.Valid = true;
    EXPECT_FALSE(oxel.Valid());
}

TEST(MeasurementHitTest, GridItemsInOrder)
{
    COxel oxel;
    oxel.init(100, 400, 400, 400); // a 300-pixel square standing on y = 400
    EXPECT_EQ(oxel.findMode(102, 398), HitCode::BaseP0);
    EXPECT_EQ(oxel.findMode(398, 402), HitCode::BaseP1);
    EXPECT_EQ(oxel.findMode(200, 403), HitCode::BaseLine);
    EXPECT_EQ(oxel.findMode(200, 250), HitCode::HMLine);
    EXPECT_EQ(oxel.findMode(200, 100), HitCode::TopLine);
    EXPECT_EQ(oxel.findMode(97, 300), HitCode::LeftLine);
    EXPECT_EQ(oxel.findMode(250, 200), HitCode::VMLine);
    EXPECT_EQ(oxel.findMode(325, 200), HitCode::FLine);
    EXPECT_EQ(oxel.findMode(400, 200), HitCode::RightLine);
    EXPECT_EQ(oxel.findMode(200, 320), HitCode::Nothing); // inside the square, on no line
    EXPECT_EQ(oxel.findMode(250, 150), HitCode::Nothing); // the V-M-Line spans the middle half
    // Where the base line and the Left-Line meet, the earlier item wins: the end point.
    EXPECT_EQ(oxel.findMode(100, 400), HitCode::BaseP0);
    // Where the H-M-Line crosses the V-M-Line, the H-M-Line comes first.
    EXPECT_EQ(oxel.findMode(250, 250), HitCode::HMLine);
}

TEST(MeasurementHitTest, UnconfirmedRulerAndCrossAreNotHit)
{
    COxel oxel;
    oxel.init(300, 500, 600, 500);
    // The cross stands on the top end of the Left-Line, (300, 200); the ruler is reset to
    // (100, 300)-(200, 300), clear of the grid.
    EXPECT_EQ(oxel.findMode(150, 300), HitCode::Nothing);
    EXPECT_EQ(oxel.findMode(250, 200), HitCode::Nothing);
    EXPECT_EQ(oxel.findMode(300, 150), HitCode::Nothing);

    oxel.Ruler.Valid = true;
    oxel.Cross_H.Valid = true;
    EXPECT_EQ(oxel.findMode(102, 301), HitCode::RulerP0);
    EXPECT_EQ(oxel.findMode(199, 300), HitCode::RulerP1);
    EXPECT_EQ(oxel.findMode(150, 300), HitCode::Ruler);
    EXPECT_EQ(oxel.findMode(250, 200), HitCode::CrossH);
    EXPECT_EQ(oxel.findMode(300, 150), HitCode::CrossV);
    // Cross_V's own flag does not matter: the cross follows Cross_H.
    EXPECT_FALSE(oxel.Cross_V.Valid);
}

TEST(MeasurementHitTest, LandmarkPointsComeBeforeTheGrid)
{
    RasterSurface surface(10, 10);
    COxel oxel;
    oxel.setPicBox(&surface);
    oxel.init(100, 400, 400, 400);
    oxel.Head.addPoint(50, 50);
    oxel.Head.addPoint(103, 402); // within 6 units of the base line's first end
    EXPECT_EQ(oxel.findMode(101, 401), HitCode::BaseP0); // a head that is not fitted is not hit
    oxel.Head.Valid = true;
    EXPECT_EQ(oxel.findMode(101, 401), pointHit(HitCode::HeadBase, 2)); // second head point
    oxel.Cup.addPoint(101, 401);
    oxel.Cup.Valid = true;
    EXPECT_EQ(oxel.findMode(101, 401),
        pointHit(HitCode::HeadBase, 2)); // the head is asked before the cup
    oxel.Head.PVisible = false;
    EXPECT_EQ(oxel.findMode(101, 401), pointHit(HitCode::CupBase, 1));
    oxel.Rim.addPoint(30, 30);
    oxel.Rim.Valid = true;
    EXPECT_EQ(oxel.findMode(31, 31), pointHit(HitCode::RimBase, 1));
}

TEST(MeasurementSurface, SetPicBoxPreparesLinesAndLandmarks)
{
    RasterSurface surface(10, 10);
    COxel oxel;
    oxel.Head.Valid = true;
    oxel.Head.PVisible = false;
    oxel.Rim.addPoint(1, 1);
    oxel.setPicBox(&surface);
    for (CLine *line : allLines(oxel)) {
        EXPECT_EQ(line->picBox(), &surface);
        EXPECT_EQ(line->P1.mPicBox, &surface);
    }
    EXPECT_EQ(oxel.CalibPoints.picBox(), nullptr);
    EXPECT_FALSE(oxel.Head.Valid);
    EXPECT_TRUE(oxel.Head.PVisible);
    EXPECT_EQ(oxel.Head.codeBase(), HitCode::HeadBase);
    EXPECT_EQ(oxel.Cup.codeBase(), HitCode::CupBase);
    EXPECT_EQ(oxel.Rim.codeBase(), HitCode::RimBase);
    EXPECT_EQ(oxel.Rim.points.size(), 1u);
    EXPECT_EQ(oxel.Head.M.mPicBox, &surface);
    EXPECT_EQ(oxel.Rim.M0.mPicBox, &surface);
}

TEST(MeasurementDrawing, GridInTwoColoursCrossAndRulerOnlyWhenConfirmed)
{
    RasterSurface surface(500, 500);
    COxel oxel;
    oxel.setPicBox(&surface);
    oxel.init(100, 400, 400, 400);
    oxel.H_B.Valid = true;

    oxel.draw(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.paintedCount(), 0); // not Visible

    oxel.Visible = true;
    oxel.draw(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.pixel(200, 400), kColorRed);
    EXPECT_EQ(surface.pixel(200, 100), kColorMagenta);
    EXPECT_EQ(surface.pixel(150, 300), 0u); // the ruler is not confirmed
    EXPECT_EQ(surface.pixel(80, 100), 0u); // nor the cross
    EXPECT_EQ(surface.lineCalls, 7);

    oxel.Ruler.Valid = true;
    oxel.Cross_H.Valid = true;
    oxel.draw(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.pixel(150, 300), kColorRed);
    EXPECT_EQ(surface.pixel(80, 100), kColorRed);
    EXPECT_EQ(surface.pixel(100, 50), kColorMagenta); // Cross_V keeps its own colour
}

TEST(MeasurementDrawing, DrawingTwiceInExclusiveOrRestoresThePicture)
{
    RasterSurface surface(500, 500, 0x404040);
    const auto blank = surface.pixels();
    COxel oxel;
    oxel.setPicBox(&surface);
    oxel.Visible = true;
    oxel.init(100, 400, 400, 400);
    oxel.Ruler.Valid = true;
    oxel.Cross_H.Valid = true;
    for (auto [x, y] : {std::pair{250.0, 200.0}, {300.0, 250.0}, {250.0, 300.0}, {200.0, 250.0}})
        oxel.Head.addPoint(x, y);
    ASSERT_TRUE(oxel.Head.fit());
    oxel.Head.Valid = true;

    surface.setDrawMode(kDrawXor);
    oxel.draw(kColorMagenta, kColorRed);
    EXPECT_NE(surface.pixels(), blank);
    oxel.draw(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.pixels(), blank);
}

TEST(MeasurementLines, ComeInTheLandmarkFilesOrderAndEachHitCodeTakesHoldOfItsLine)
{
    COxel oxel;
    const auto lines = oxel.lines();
    EXPECT_EQ(std::vector<CLine *>(lines.begin(), lines.end()), allLines(oxel));
    const std::pair<HitCode, CLine *> holds[] = {{HitCode::BaseP0, &oxel.H_B},
        {HitCode::BaseP1, &oxel.H_B}, {HitCode::BaseLine, &oxel.H_B}, {HitCode::HMLine, &oxel.H_M},
        {HitCode::TopLine, &oxel.H_T}, {HitCode::LeftLine, &oxel.V_L}, {HitCode::VMLine, &oxel.V_M},
        {HitCode::FLine, &oxel.V_F}, {HitCode::RightLine, &oxel.V_R},
        {HitCode::CrossH, &oxel.Cross_H}, {HitCode::CrossV, &oxel.Cross_V},
        {HitCode::Ruler, &oxel.Ruler}, {HitCode::RulerP0, &oxel.Ruler},
        {HitCode::RulerP1, &oxel.Ruler}};
    for (const auto &[code, line] : holds)
        EXPECT_EQ(lines[COxel::lineIndex(code)], line) << static_cast<int>(code);
    EXPECT_STREQ(COxel::kLineNames[COxel::lineIndex(HitCode::FLine)], "F-Line");
    EXPECT_STREQ(COxel::kLineNames[COxel::lineIndex(HitCode::RulerP1)], "Ruler-Line");
}
