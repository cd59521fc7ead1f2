#include <string>
#include <vector>

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "core/image/CBitmap.h"
#include "core/model/CCircle.h"
#include "core/model/CLine.h"
#include "ui/PictureBox.h"

namespace {

// A shown box of a known size whose coordinate system spans a part of a picture.
class Box : public ::testing::Test
{
protected:
    void SetUp() override
    {
        box.resize(400, 300);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }

    void TearDown() override { QTest::mouseRelease(&box, Qt::LeftButton); }

    PictureBox box;
};

CBitmap patterned(int width, int height)
{
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grey[static_cast<std::size_t>(y * width + x)] =
                static_cast<std::uint8_t>((x * 3 + y * 7) % 256);
    CBitmap bitmap;
    std::string error;
    EXPECT_TRUE(bitmap.init(grey.data(), width, height, static_cast<std::size_t>(width), error, 1));
    return bitmap;
}

QRgb greyPixel(int level)
{
    return qRgb(level, level, level);
}

} // namespace

TEST_F(Box, ExclusiveOrDrawingTwiceRestoresEveryPixel)
{
    const CBitmap picture = patterned(1000, 800);
    box.setScaleLeft(100);
    box.setScaleTop(50);
    box.setScaleWidth(800);
    box.setScaleHeight(600);
    box.stretchCopy(picture);
    const QImage before = box.canvas().copy();

    CLine line;
    line.setPicBox(&box);
    line.init(120, 70, 850, 610);
    CCircle head;
    head.init(HitCode::HeadBase, &box);
    head.addPoint(400, 300);
    head.addPoint(500, 400);
    head.addPoint(400, 500);
    ASSERT_TRUE(head.fit());
    head.Valid = true;

    box.setDrawMode(kDrawXor);
    head.draw(kColorRed);
    box.setForeColor(kColorCyan);
    line.draw();
    line.changeP0(300, 200); // a drag: erase, move, draw
    line.changeP1(-5000, 90000); // far outside: clipped, and still erased exactly
    EXPECT_NE(box.canvas(), before);
    line.draw();
    head.draw(kColorRed);
    EXPECT_EQ(box.canvas(), before);
}

TEST_F(Box, CopyDrawingPaintsThePenColour)
{
    box.resetScale();
    box.clear();
    box.setDrawMode(kDrawCopy);
    box.setForeColor(kColorRed); // 0x00BBGGRR: pure red
    box.line(10, 20, 50, 20);
    EXPECT_EQ(box.canvas().pixel(30, 20), qRgb(255, 0, 0));
    box.setForeColor(0xFF0000); // pure blue
    box.circle(200, 150, 40);
    EXPECT_EQ(box.canvas().pixel(240, 150), qRgb(0, 0, 255));
}

TEST_F(Box, PictureIsCopiedThroughTheColourTableAtAnyZoom)
{
    CBitmap picture = patterned(1000, 800);
    // One picture pixel per screen pixel.
    box.resetScale();
    box.stretchCopy(picture);
    EXPECT_EQ(box.canvas().pixel(10, 20), greyPixel((10 * 3 + 20 * 7) % 256));
    // Magnified four times, scrolled to (200, 100).
    box.setScaleLeft(200);
    box.setScaleTop(100);
    box.setScaleWidth(100);
    box.setScaleHeight(75);
    box.stretchCopy(picture);
    EXPECT_EQ(box.canvas().pixel(41, 9), greyPixel((210 * 3 + 102 * 7) % 256));
    // The inverted table shows at once, without touching the pixels.
    picture.Invert();
    box.stretchCopy(picture);
    EXPECT_EQ(box.canvas().pixel(41, 9), greyPixel(255 - (210 * 3 + 102 * 7) % 256));
    // Beyond the picture's right edge the box shows no picture.
    box.setScaleLeft(950);
    box.setScaleWidth(200);
    box.stretchCopy(picture);
    EXPECT_NE(box.canvas().pixel(399, 10), box.canvas().pixel(0, 10));
}

TEST_F(Box, MouseAndKeysArriveInPictureCoordinates)
{
    box.setScaleLeft(1000);
    box.setScaleTop(500);
    box.setScaleWidth(200); // half a picture pixel per screen pixel
    box.setScaleHeight(150);
    QSignalSpy downs(&box, &PictureBox::mouseDown);
    QSignalSpy ups(&box, &PictureBox::mouseUp);
    QSignalSpy keys(&box, &PictureBox::keyDown);
    QTest::mousePress(&box, Qt::RightButton, Qt::NoModifier, QPoint(100, 60));
    QTest::mouseRelease(&box, Qt::RightButton, Qt::NoModifier, QPoint(100, 60));
    ASSERT_EQ(downs.count(), 1);
    EXPECT_EQ(downs.at(0).at(0).toInt(), MouseButton::Right);
    EXPECT_DOUBLE_EQ(downs.at(0).at(2).toDouble(), 1050.0);
    EXPECT_DOUBLE_EQ(downs.at(0).at(3).toDouble(), 530.0);
    EXPECT_EQ(ups.count(), 1);
    QTest::keyClick(&box, Qt::Key_Escape);
    ASSERT_EQ(keys.count(), 1);
    EXPECT_EQ(keys.at(0).at(0).toInt(), kKeyEscape);
}

TEST_F(Box, CursorCodesChooseShapes)
{
    box.setMousePointer(MousePointer::Cross);
    EXPECT_EQ(box.cursor().shape(), Qt::CrossCursor);
    box.setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(box.cursor().shape(), Qt::WaitCursor);
    box.setMousePointer(MousePointer::Diagonal);
    EXPECT_EQ(box.cursor().shape(), Qt::SizeFDiagCursor);
    box.setMouseIcon(QCursor(QPixmap(32, 32), 12, 12));
    box.setMousePointer(MousePointer::Custom);
    EXPECT_EQ(box.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(box.mousePointer(), MousePointer::Custom);
}

namespace {

// How many pixels of the image differ from the pattern of patterned() seen from (left, top),
// each picture pixel magnified to magnification x magnification box pixels.
int pixelsOffThePattern(const QImage &image, int left, int top, int magnification)
{
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int px = left + x / magnification, py = top + y / magnification;
            wrong += image.pixel(x, y) != greyPixel((px * 3 + py * 7) % 256);
        }
    }
    return wrong;
}

} // namespace

// A box large enough to be drawn in two bands at once, by two threads; a copy of what it showed
// is held, as a caller may keep any image, so that drawing must first part the box from it.
TEST(LargeBox, DrawsBothBandsInFullAndLeavesAHeldCopyAsItWas)
{
    PictureBox box;
    box.resize(640, 400);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    ASSERT_EQ(box.canvas().size(), QSize(640, 400));
    const CBitmap picture = patterned(1000, 800);

    box.resetScale();
    box.stretchCopy(picture);
    const QImage held = box.canvas(); // shares the pixels, as every QImage copy does
    EXPECT_EQ(pixelsOffThePattern(held, 0, 0, 1), 0);

    // Magnified twice and scrolled to (300, 350): box pixel (x, y) shows picture pixel
    // (300 + x / 2, 350 + y / 2); the rows on either side of the bands' seam, 199 and 200,
    // show picture rows 449 and 450.
    box.setScaleLeft(300);
    box.setScaleTop(350);
    box.setScaleWidth(320);
    box.setScaleHeight(200);
    box.stretchCopy(picture);
    EXPECT_EQ(pixelsOffThePattern(box.canvas(), 300, 350, 2), 0);
    EXPECT_EQ(pixelsOffThePattern(held, 0, 0, 1), 0);
}
