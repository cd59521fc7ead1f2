#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/BmpFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

constexpr int kPoints = 10000;
// Positions pass through world millimetres in the landmark file and back.
constexpr double kRoundTrip = 1e-6;
constexpr double kPi = std::numbers::pi;

constexpr double kHeadX = 250, kHeadY = 300, kHeadR = 150;
constexpr double kRimX = 640, kRimY = 300, kRimA = 150, kRimB = 90, kRimTurn = 0.35;
constexpr std::uint8_t kPictureGrey = 100;

// The head's points run round the circle from angle 0. The 5000th lies at angle pi with a gap
// of 0.1 rad (15 px) before it, wider than the 6-unit pick distance, so that it is the first
// point near its own spot and a press there must take it.
CPoint headPoint(int i)
{
    const double step =
        i < kPoints / 2 - 1 ? (kPi - 0.1) / (kPoints / 2 - 1) : (kPi - 0.1) / (kPoints / 2 + 1);
    const double angle = i < kPoints / 2 - 1 ? i * step : kPi + (i - (kPoints / 2 - 1)) * step;
    CPoint p;
    p.x = kHeadX + kHeadR * std::cos(angle);
    p.y = kHeadY + kHeadR * std::sin(angle);
    return p;
}

CPoint rimPoint(int i)
{
    const double t = 2 * kPi * i / kPoints;
    const double u = kRimA * std::cos(t), v = kRimB * std::sin(t);
    CPoint p;
    p.x = kRimX + u * std::cos(kRimTurn) - v * std::sin(kRimTurn);
    p.y = kRimY + u * std::sin(kRimTurn) + v * std::cos(kRimTurn);
    return p;
}

// A 900 x 700 radiograph whose landmark file holds 10000 head points on a circle and 10000 rim
// points on a turned ellipse, both stored as fitted; the grid stands below and beside them.
class ManyPoints : public ::testing::Test, public TestWindows
{
protected:
    void SetUp() override
    {
        const std::string path = dir.file("hip.bmp");
        ASSERT_TRUE(writeGreyBmp(path, 900, 700, kPictureGrey));
        COxel stored;
        stored.setPicBox(nullptr);
        ASSERT_TRUE(stored.initScale(900, 700, 300.0));
        stored.init(20, 680, 880, 680);
        for (int i = 0; i < kPoints; ++i) {
            const CPoint h = headPoint(i), r = rimPoint(i);
            stored.Head.addPoint(h.x, h.y);
            stored.Rim.addPoint(r.x, r.y);
        }
        stored.Head.Valid = true;
        stored.Rim.Valid = true;
        landmarks(path, stored);

        window = open(path, QSize(1100, 860));
        ASSERT_NE(window, nullptr);
        box = window->pictureBox();
        // At zoom 1 picture and box coordinates coincide.
        ASSERT_EQ(box->ScaleLeft(), 0);
        ASSERT_EQ(box->ScaleWidth(), box->width());
        ASSERT_GE(box->width(), 900);
    }

    void TearDown() override
    {
        if (box)
            QTest::mouseRelease(box, Qt::LeftButton);
        windows.clear();
    }

    QRgb shown(double x, double y) const
    {
        return box->canvas().pixel(
            static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }

    // A position a fit computed may land a hair below a whole pixel and be drawn one pixel over.
    bool redNear(double x, double y) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (shown(x + dx, y + dy) == qRgb(255, 0, 0))
                    return true;
        return false;
    }

    RecordingMessages messages;
    MainForm *window = nullptr;
    PictureBox *box = nullptr;
};

} // namespace

TEST_F(ManyPoints, LandmarkFileIsReadAndBothShapesAreFitted)
{
    const COxel &o = *window->measurement();
    EXPECT_TRUE(window->isCalibrated());
    ASSERT_EQ(o.Head.points.size(), static_cast<std::size_t>(kPoints));
    ASSERT_EQ(o.Rim.points.size(), static_cast<std::size_t>(kPoints));
    EXPECT_NEAR(o.Head.points[4999]->x, kHeadX - kHeadR, kRoundTrip);
    EXPECT_NEAR(o.Head.points[4999]->y, kHeadY, kRoundTrip);
    ASSERT_TRUE(o.Head.Valid);
    EXPECT_NEAR(o.Head.M.x, kHeadX, kRoundTrip);
    EXPECT_NEAR(o.Head.M.y, kHeadY, kRoundTrip);
    EXPECT_NEAR(o.Head.r, kHeadR, kRoundTrip);
    ASSERT_TRUE(o.Rim.Valid);
    EXPECT_NEAR(o.Rim.M0.x, kRimX, kRoundTrip);
    EXPECT_NEAR(o.Rim.M0.y, kRimY, kRoundTrip);
    EXPECT_NEAR(o.Rim.a, kRimA, kRoundTrip);
    EXPECT_NEAR(o.Rim.b, kRimB, kRoundTrip);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ManyPoints, BothShapesAreDrawnOverThePicture)
{
    const QRgb picture = qRgb(kPictureGrey, kPictureGrey, kPictureGrey);
    // Centre markers, the outlines with their point markers, and the picture inside and outside.
    EXPECT_TRUE(redNear(kHeadX, kHeadY));
    EXPECT_TRUE(redNear(kRimX, kRimY));
    for (int i = 0; i < kPoints; i += 625) {
        const CPoint h = headPoint(i), r = rimPoint(i);
        EXPECT_TRUE(redNear(h.x, h.y)) << "head point " << i;
        EXPECT_TRUE(redNear(r.x, r.y)) << "rim point " << i;
    }
    EXPECT_EQ(shown(kHeadX + 40, kHeadY + 60), picture);
    EXPECT_EQ(shown(kHeadX, kHeadY - kHeadR - 30), picture);
    EXPECT_EQ(shown(kRimX + 30, kRimY - 40), picture);
}

TEST_F(ManyPoints, The5000thHeadPointIsPickedAndDragged)
{
    const CPoint target = headPoint(4999);
    const CPoint before = *window->measurement()->Head.points[4998];
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier,
        QPoint(static_cast<int>(std::lround(target.x)), static_cast<int>(std::lround(target.y))));
    EXPECT_EQ(window->currentToolMode(),
        ToolMode::DragHeadPoint); // dragging a head point, not a rim point
    EXPECT_EQ(window->statusText().toStdString(),
        "move HeadPoint to desired position and release the mouse");
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(80, 310));

    const COxel &o = *window->measurement();
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_DOUBLE_EQ(o.Head.points[4999]->x, 80);
    EXPECT_DOUBLE_EQ(o.Head.points[4999]->y, 310);
    EXPECT_EQ(o.Head.points[4998]->x, before.x);
    EXPECT_EQ(o.Head.points[4998]->y, before.y);
    EXPECT_EQ(o.Rim.points.size(), static_cast<std::size_t>(kPoints));
    // One point of 10000 moved 22 px outwards: refitted, the circle hardly changes.
    EXPECT_TRUE(o.Head.Valid);
    EXPECT_NEAR(o.Head.r, kHeadR, 0.1);
    EXPECT_NE(o.Head.r, kHeadR);
}
