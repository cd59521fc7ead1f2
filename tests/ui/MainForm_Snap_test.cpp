#include <cmath>
#include <string>
#include <vector>

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/Settings.h"
#include "support/PictureMouse.h"
#include "support/RecordingMessages.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// A bright disc about (300, 300) of radius 60 on a dark ground, its edge blurred by a Gaussian
// of 1.5 px: grey 60 outside, 180 inside, 120 and steepest on the outline itself. A pixel's
// grey belongs to its centre.
constexpr double kCentre = 300.0;
constexpr double kRadius = 60.0;

int discGrey(int x, int y)
{
    const double d = std::hypot(x + 0.5 - kCentre, y + 0.5 - kCentre);
    return static_cast<int>(
        std::lround(60.0 + 120.0 * 0.5 * std::erfc((d - kRadius) / (1.5 * std::sqrt(2.0)))));
}

double offOutline(const CPoint &p)
{
    return std::hypot(p.x - kCentre, p.y - kCentre) - kRadius;
}

// Clicks 3 px off the outline, outside and inside, and one 0.6 px inside on the diagonal.
const std::vector<QPoint> kRoughClicks = {
    {363, 300}, {300, 357}, {237, 300}, {300, 243}, {342, 342}};

// A window on a 1200 x 900 picture at zoom 1, scrolled to the top left: picture and box
// coordinates coincide.
class Snap : public ::testing::Test, public TestWindows, public PictureMouse
{
protected:
    void SetUp() override
    {
        path = picture("disc.bmp", 1200, 900, discGrey);
        window = open(path, QSize(1000, 760));
        ASSERT_NE(window, nullptr);
        box = window->pictureBox();
        oxel = window->measurement();
    }

    void TearDown() override
    {
        letGo();
        windows.clear();
    }

    void trigger(const char *name) { TestWindows::trigger(window, name); }

    void enterHead(const std::vector<QPoint> &clicks, Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        trigger("m_Head");
        for (const QPoint &p : clicks)
            QTest::mouseClick(box, Qt::LeftButton, keys, p);
    }

    void fit() { click(0, 0, Qt::RightButton); }

    std::vector<CPoint> headPoints() const
    {
        std::vector<CPoint> points;
        for (const auto &p : oxel->Head.points)
            points.emplace_back(p->x, p->y);
        return points;
    }

    RecordingMessages messages;
    std::string path;
    MainForm *window = nullptr;
    const COxel *oxel = nullptr;
};

} // namespace

TEST_F(Snap, RoughClicksLandOnTheOutlineAndShiftPlacesExactly)
{
    ASSERT_FALSE(window->action("m_SnapToEdge")->isChecked()); // off until turned on
    enterHead(kRoughClicks);
    ASSERT_EQ(oxel->Head.points.size(), kRoughClicks.size());
    EXPECT_EQ(oxel->Head.points[0]->x, 363.0); // off: what was clicked is stored

    trigger("m_SnapToEdge");
    enterHead(kRoughClicks);
    ASSERT_EQ(oxel->Head.points.size(), kRoughClicks.size());
    for (const CPoint &p : headPoints())
        EXPECT_LT(std::abs(offOutline(p)), 0.3) << p.x << ", " << p.y;
    fit();
    ASSERT_TRUE(oxel->Head.Valid);
    EXPECT_NEAR(oxel->Head.r, kRadius, 0.3);
    EXPECT_NEAR(oxel->Head.M.x, kCentre, 0.3);
    EXPECT_NEAR(oxel->Head.M.y, kCentre, 0.3);

    // Shift: exactly where clicked, also through the snap after the fit.
    enterHead(kRoughClicks, Qt::ShiftModifier);
    fit();
    ASSERT_EQ(oxel->Head.points.size(), kRoughClicks.size());
    for (std::size_t i = 0; i < kRoughClicks.size(); ++i) {
        EXPECT_EQ(oxel->Head.points[i]->x, kRoughClicks[i].x());
        EXPECT_EQ(oxel->Head.points[i]->y, kRoughClicks[i].y());
    }
}

TEST_F(Snap, ClickFarFromAnyEdgeStaysAndTheStatusSaysSo)
{
    trigger("m_SnapToEdge");
    enterHead({{100, 100}});
    ASSERT_EQ(oxel->Head.points.size(), 1u);
    EXPECT_EQ(oxel->Head.points[0]->x, 100.0);
    EXPECT_EQ(oxel->Head.points[0]->y, 100.0);
    EXPECT_EQ(window->statusText(),
        "Snap to Edge: no edge near the click \u2013 the point stays where it was clicked");
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(363, 300));
    EXPECT_EQ(window->statusText(), "enter at last 3 points for circle"); // the prompt is back
}

TEST_F(Snap, FitSnapsRoughPointsOnceMoreAndUndoTakesTheEntryBackInOneStep)
{
    ASSERT_FALSE(window->action("m_EditUndo")->isEnabled());
    enterHead(kRoughClicks); // placed as clicked: the option is still off
    trigger("m_SnapToEdge");
    fit();
    ASSERT_TRUE(oxel->Head.Valid);
    for (const CPoint &p : headPoints())
        EXPECT_LT(std::abs(offOutline(p)), 0.3) << p.x << ", " << p.y;
    EXPECT_NEAR(oxel->Head.r, kRadius, 0.3);
    EXPECT_NEAR(oxel->Head.M.x, kCentre, 0.3);
    const std::vector<CPoint> snapped = headPoints();

    EXPECT_EQ(window->action("m_EditUndo")->text(), "Undo Enter Head");
    trigger("m_EditUndo");
    EXPECT_FALSE(oxel->Head.Valid);
    EXPECT_TRUE(oxel->Head.points.empty());
    EXPECT_FALSE(window->action("m_EditUndo")->isEnabled()); // it was a single step
    trigger("m_EditRedo");
    ASSERT_EQ(oxel->Head.points.size(), snapped.size());
    for (std::size_t i = 0; i < snapped.size(); ++i)
        EXPECT_EQ(oxel->Head.points[i]->x, snapped[i].x);
}

TEST_F(Snap, SharpeningAndInversionDoNotMoveTheSnappedPoints)
{
    trigger("m_SnapToEdge");
    enterHead(kRoughClicks);
    const std::vector<CPoint> plain = headPoints();
    fit();

    trigger("m_filter3");
    trigger("m_filter2"); // the second sharpening reuses the first one's buffers
    trigger("m_Invert");
    int changed = 0;
    for (int x = 355; x <= 365; ++x)
        changed += window->pixels()->grey(x, 300) != discGrey(x, 300);
    ASSERT_GT(changed, 0); // the edge the display shows is not the loaded one
    enterHead(kRoughClicks);
    ASSERT_EQ(oxel->Head.points.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(oxel->Head.points[i]->x, plain[i].x);
        EXPECT_EQ(oxel->Head.points[i]->y, plain[i].y);
    }
}

TEST_F(Snap, DraggedPointLandsOnTheOutlineUnlessShiftIsHeldAtTheRelease)
{
    trigger("m_SnapToEdge");
    enterHead(kRoughClicks);
    fit();
    ASSERT_TRUE(oxel->Head.Valid);
    const double x0 = oxel->Head.points[0]->x, y0 = oxel->Head.points[0]->y;
    drag(x0, y0, 256, 256); // 2.2 px outside the outline
    EXPECT_LT(std::abs(offOutline(*oxel->Head.points[0])), 0.3);
    EXPECT_LT(oxel->Head.points[0]->x, 265.0); // moved where it was dragged, not back

    const double x1 = oxel->Head.points[0]->x, y1 = oxel->Head.points[0]->y;
    press(x1, y1);
    move(255, 255, Qt::LeftButton);
    QTest::mouseRelease(box, Qt::LeftButton, Qt::ShiftModifier, QPoint(254, 254));
    EXPECT_EQ(oxel->Head.points[0]->x, 254.0);
    EXPECT_EQ(oxel->Head.points[0]->y, 254.0);
}

TEST_F(Snap, TheChoiceIsRememberedBesideTheLastPicture)
{
    const std::string ini = dir.file("config/Zek2.ini");
    EXPECT_EQ(Settings::read(ini, "View", "SnapToEdge"), "");
    trigger("m_SnapToEdge");
    EXPECT_EQ(Settings::read(ini, "View", "SnapToEdge"), "1");
    EXPECT_EQ(Settings::read(ini, "LastPath", "Path"), path);

    MainForm *second = open(picture("other.bmp", 200, 200));
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->action("m_SnapToEdge")->isChecked());
    TestWindows::trigger(second, "m_SnapToEdge");
    EXPECT_FALSE(window->action("m_SnapToEdge")->isChecked());
    EXPECT_EQ(Settings::read(ini, "View", "SnapToEdge"), "0");
}

TEST_F(Snap, EntryWhoseSnappedPointsGiveNoFitIsFittedAsClicked)
{
    // A bright block whose left edge, at x = 700.9, lies 2.9 px beyond a rim's third click and
    // beyond the end of the axis the first two clicks set: snapped there, the three points give
    // no rim; as clicked, they do.
    const std::string blockPath = picture("block.bmp", 1200, 900, [](int x, int y) {
        if (y + 0.5 < 560 || y + 0.5 > 592)
            return 60;
        return static_cast<int>(
            std::lround(60 + 100 * 0.5 * std::erfc((700.9 - x - 0.5) / (1.2 * std::sqrt(2.0)))));
    });
    window = open(blockPath, QSize(1000, 760));
    ASSERT_NE(window, nullptr);
    box = window->pictureBox();
    oxel = window->measurement();
    trigger("m_SnapToEdge");
    trigger("m_Rim");
    for (const QPoint p : {QPoint(500, 620), QPoint(700, 620), QPoint(698, 578)})
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, p);
    ASSERT_EQ(oxel->Rim.points.size(), 3u);
    EXPECT_NEAR(oxel->Rim.points[2]->x, 700.9, 0.3); // on the block's edge
    fit();
    EXPECT_TRUE(oxel->Rim.Valid);
    EXPECT_EQ(oxel->Rim.points[2]->x, 698.0);
    EXPECT_EQ(oxel->Rim.points[2]->y, 578.0);
    EXPECT_TRUE(messages.boxes.empty()); // the snapped points' failure is not shown as a fault
}
