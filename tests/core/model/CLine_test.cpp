#include <gtest/gtest.h>

#include "core/model/CLine.h"
#include "core/model/DrawingSurface.h"
#include "support/RasterSurface.h"

namespace {

constexpr double kTolerance = 1e-12;

RasterSurface noisySurface()
{
    RasterSurface surface(200, 200);
    // A background that is not uniform, so that a restored picture means more than "all zero".
    surface.setDrawMode(kDrawCopy);
    for (int y = 0; y < 200; y += 7) {
        surface.setForeColor(static_cast<std::uint32_t>(y * 1234567));
        surface.line(0, y, 200, y);
    }
    return surface;
}

} // namespace

TEST(LineBasics, FreshLineIsAnUnplacedNullSegment)
{
    CLine line;
    EXPECT_FALSE(line.Valid);
    EXPECT_EQ(line.P0.x, 0.0);
    EXPECT_EQ(line.P0.y, 0.0);
    EXPECT_EQ(line.P1.x, 0.0);
    EXPECT_EQ(line.P1.y, 0.0);
    EXPECT_EQ(line.length(), 0.0);
}

TEST(LineBasics, InitPlacesPointsAndWithdrawsConfirmation)
{
    CLine line;
    line.Valid = true;
    line.init(1, 2, 4, 6);
    EXPECT_FALSE(line.Valid);
    EXPECT_EQ(line.P0.x, 1.0);
    EXPECT_EQ(line.P1.y, 6.0);
    EXPECT_DOUBLE_EQ(line.length(), 5.0);
}

TEST(LineBasics, CopyTakesCoordinatesButNotValidityOrSurface)
{
    RasterSurface mine(10, 10), theirs(10, 10);
    CLine source, target;
    source.setPicBox(&theirs);
    source.init(3, 4, 5, 6);
    source.Valid = true;
    target.setPicBox(&mine);
    target.copy(source);
    EXPECT_FALSE(target.Valid);
    EXPECT_EQ(target.P0.x, 3.0);
    EXPECT_EQ(target.P1.y, 6.0);
    EXPECT_EQ(target.picBox(), &mine);
    EXPECT_EQ(target.P0.mPicBox, &mine);

    target.Valid = true;
    source.Valid = false;
    target.copy(source);
    EXPECT_TRUE(target.Valid);
}

TEST(LineBasics, PointCopyKeepsItsSurface)
{
    RasterSurface surface(10, 10);
    CPoint p;
    p.mPicBox = &surface;
    p.copy(CPoint(7, 8));
    EXPECT_EQ(p.x, 7.0);
    EXPECT_EQ(p.y, 8.0);
    EXPECT_EQ(p.mPicBox, &surface);
}

TEST(LineTranslate, ReferencePointLandsOnTargetAndShapeIsKept)
{
    struct Case
    {
        double f1, refX, refY; // reference point before the move
    };

    for (const Case c : {Case{1.0, 10, 20}, Case{0.0, 40, 60}, Case{0.5, 25, 40}}) {
        CLine line;
        line.init(10, 20, 40, 60);
        line.translate(100, 200, c.f1);
        const double dx = 100 - c.refX, dy = 200 - c.refY;
        EXPECT_NEAR(line.P0.x, 10 + dx, kTolerance) << "f1 = " << c.f1;
        EXPECT_NEAR(line.P0.y, 20 + dy, kTolerance);
        EXPECT_NEAR(line.P1.x, 40 + dx, kTolerance);
        EXPECT_NEAR(line.P1.y, 60 + dy, kTolerance);
        EXPECT_NEAR(line.length(), 50.0, kTolerance);
    }
}

TEST(LineDrawing, Draw2ChoosesColourByValidity)
{
    RasterSurface surface(50, 50);
    CLine line;
    line.setPicBox(&surface);
    line.init(5, 10, 45, 10);
    line.draw2(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.pixel(20, 10), kColorMagenta);
    line.Valid = true;
    line.draw2(kColorMagenta, kColorRed);
    EXPECT_EQ(surface.pixel(20, 10), kColorRed);
}

TEST(LineDrawing, DraggingAnEndAwayAndBackRestoresEveryPixel)
{
    RasterSurface surface = noisySurface();
    const auto blank = surface.pixels();
    CLine line;
    line.setPicBox(&surface);
    line.init(20, 30, 150, 170);
    surface.setForeColor(kColorCyan);
    surface.setDrawMode(kDrawXor);
    line.draw(); // the image a drag starts from

    line.changeP0(60, 10);
    EXPECT_EQ(surface.currentDrawMode(), kDrawXor);
    line.changeP1(199, 0);
    line.changeP0(20, 30);
    line.changeP1(150, 170);
    line.draw(); // erase
    EXPECT_EQ(surface.pixels(), blank);
}

TEST(LineDrawing, ParallelDragErasesTheOldImage)
{
    RasterSurface surface = noisySurface();
    const auto blank = surface.pixels();
    CLine line, expected;
    line.setPicBox(&surface);
    line.init(20, 30, 150, 170);
    surface.setForeColor(kColorCyan);
    surface.setDrawMode(kDrawXor);
    line.draw();
    line.translate(100, 100, 0.5);

    // What is left on the surface is exactly the moved line.
    RasterSurface reference = noisySurface();
    expected.setPicBox(&reference);
    expected.copy(line);
    reference.setForeColor(kColorCyan);
    reference.setDrawMode(kDrawXor);
    expected.draw();
    EXPECT_EQ(surface.pixels(), reference.pixels());
    EXPECT_NE(surface.pixels(), blank);
}

TEST(PointMarker, IsACrossOfAHundredthOfTheVisibleWidth)
{
    RasterSurface surface(300, 300);
    surface.setScaleWidth(1000); // zoomed out: the marker grows in picture units
    surface.setForeColor(kColorRed);
    CPoint p(100, 100);
    p.mPicBox = &surface;
    p.draw();
    EXPECT_EQ(surface.pixel(90, 100), kColorRed);
    EXPECT_EQ(surface.pixel(89, 100), 0u);
    EXPECT_EQ(surface.pixel(100, 90), kColorRed);
    EXPECT_EQ(surface.pixel(100, 109), kColorRed);
    EXPECT_EQ(surface.lineCalls, 2);

    CPoint orphan(5, 5);
    orphan.draw(); // without a surface nothing happens
    EXPECT_EQ(surface.lineCalls, 2);
}
