#include <gtest/gtest.h>

#include "support/RasterSurface.h"

// The fake must itself be right, or the drawing tests prove nothing.
TEST(RasterSurface, LineOmitsItsLastPixel)
{
    RasterSurface surface(20, 20);
    surface.setForeColor(0xFF);
    surface.line(2, 5, 6, 5);
    EXPECT_EQ(surface.paintedCount(), 4);
    EXPECT_EQ(surface.pixel(2, 5), 0xFFu);
    EXPECT_EQ(surface.pixel(5, 5), 0xFFu);
    EXPECT_EQ(surface.pixel(6, 5), 0u);
}

TEST(RasterSurface, ExclusiveOrTwiceRestoresAndCopyOverwrites)
{
    RasterSurface surface(40, 40, 0x123456);
    const auto blank = surface.pixels();
    surface.setForeColor(0x00FF00);
    surface.setDrawMode(kDrawXor);
    surface.circle(20, 20, 10);
    surface.line(0, 0, 39, 17);
    EXPECT_NE(surface.pixels(), blank);
    EXPECT_EQ(surface.pixel(30, 20), 0x123456u ^ 0x00FF00u);
    surface.line(0, 0, 39, 17);
    surface.circle(20, 20, 10);
    EXPECT_EQ(surface.pixels(), blank);

    surface.setDrawMode(kDrawCopy);
    surface.circle(20, 20, 10);
    EXPECT_EQ(surface.pixel(30, 20), 0x00FF00u);
}

TEST(RasterSurface, FiguresOutsideTheBufferAreClipped)
{
    RasterSurface surface(10, 10);
    surface.setForeColor(1);
    surface.line(-50, 5, 50, 5);
    surface.circle(-100, -100, 5);
    EXPECT_EQ(surface.paintedCount(), 10);
}
