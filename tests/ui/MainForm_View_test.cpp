#include <cmath>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "core/records/Settings.h"
#include "support/RecordingMessages.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// The zoom after k steps in from one picture pixel per screen pixel.
double afterSteps(int k)
{
    return std::pow(2.0, -k / 3.0);
}

// A window on a 2500 x 2000 radiograph at zoom 1.
class View : public ::testing::Test, public TestWindows
{
protected:
    void SetUp() override
    {
        window = open(path = picture("hip.bmp", 2500, 2000));
        ASSERT_NE(window, nullptr);
        box = window->pictureBox();
    }

    void wheel(QPointF at, int angle, Qt::KeyboardModifiers keys = {}, QPoint pixels = {})
    {
        QWheelEvent e(at, at, pixels, {0, angle}, {}, keys, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &e);
    }

    void send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, at, at, button, held, {});
        QApplication::sendEvent(box, &e);
    }

    void click(QPointF at, Qt::MouseButton button = Qt::LeftButton)
    {
        send(QEvent::MouseButtonPress, at, button, button);
        send(QEvent::MouseButtonRelease, at, button, {});
    }

    // Drags from one spot of the box to another and tells the cursor on the way.
    Qt::CursorShape drag(Qt::MouseButton button, QPointF from, QPointF to)
    {
        send(QEvent::MouseButtonPress, from, button, button);
        send(QEvent::MouseMove, (from + to) / 2, {}, button);
        send(QEvent::MouseMove, to, {}, button);
        const Qt::CursorShape during = box->cursor().shape();
        send(QEvent::MouseButtonRelease, to, button, {});
        return during;
    }

    void space(QEvent::Type type)
    {
        QKeyEvent e(type, Qt::Key_Space, {}, " ");
        QApplication::sendEvent(box, &e);
    }

    std::string zoomShown() const { return window->zoomText().toStdString(); }

    RecordingMessages messages;
    std::string path;
    MainForm *window = nullptr;
    PictureBox *box = nullptr;
};

} // namespace

TEST_F(View, WheelZoomsInWholeStepsAboutThePointUnderTheMouse)
{
    // Out at the picture's corner (the view then reaches beyond it), in at the middle, three
    // steps in one turn at the bottom right, out near the bottom left.
    const std::pair<QPointF, int> turns[] = {{{3, 4}, -2}, {{400, 300}, 1},
        {{box->width() - 2.0, box->height() - 3.0}, 3}, {{10, box->height() - 5.0}, -4}};
    int steps = 0;
    for (const auto &[at, notches] : turns) {
        const QPointF before = box->toPicture(at);
        wheel(at, 120 * notches);
        EXPECT_NEAR(window->zoomFactor(), afterSteps(steps += notches), 1e-5);
        const QPointF moved = box->toPicture(at) - before;
        EXPECT_LT(std::hypot(moved.x(), moved.y()) / window->zoomFactor(), 1.0) << steps;
        EXPECT_TRUE(&at != &turns[0].first || box->ScaleLeft() < 0); // beyond the picture
    }
    EXPECT_EQ(zoomShown(), "Zoom 63%"); // 100 / 2^(2/3)
    TestWindows::trigger(window, "m_ZoomUp");
    EXPECT_EQ(zoomShown(), "Zoom 79%");
}

TEST_F(View, SmallWheelTurnsAddUpToWholeStepsWithinTheMenuLimits)
{
    const QPointF c(300, 200);
    for (int angle : {40, 40, 40}) // three 40ths are one step, not three
        wheel(c, angle);
    EXPECT_NEAR(window->zoomFactor(), afterSteps(1), 1e-6);
    for (int angle : {100, -60, -60}) // turning back forgets the 100 forward
        wheel(c, angle);
    EXPECT_NEAR(window->zoomFactor(), 1.0, 1e-6);
    wheel(c, 0, {}, {0, 120}); // pixels only, as some touchpads report
    EXPECT_NEAR(window->zoomFactor(), afterSteps(1), 1e-6);
    for (int i = 0; i < 30; ++i)
        wheel(c, 120);
    EXPECT_EQ(zoomShown(), "Zoom 1008%"); // 2^(10/3)
    for (int i = 0; i < 40; ++i)
        wheel(c, -120);
    EXPECT_NEAR(window->zoomFactor(), 8, 1e-4);
    EXPECT_EQ(zoomShown(), "Zoom 12.5%");
}

TEST_F(View, ShiftAndCtrlWheelScrollThroughTheScrollBars)
{
    QScrollBar *h = nullptr, *v = nullptr;
    for (QScrollBar *bar : window->findChildren<QScrollBar *>())
        (bar->orientation() == Qt::Horizontal ? h : v) = bar;
    const int lines = QApplication::wheelScrollLines();
    wheel({300, 200}, -120, Qt::ControlModifier);
    EXPECT_EQ(v->value(), lines * v->singleStep());
    EXPECT_EQ(box->ScaleTop(), v->value());
    wheel({300, 200}, -240, Qt::ShiftModifier);
    EXPECT_EQ(h->value(), 2 * lines * h->singleStep());
    EXPECT_EQ(box->ScaleLeft(), h->value());
    wheel({300, 200}, 120, Qt::ControlModifier);
    EXPECT_EQ(box->ScaleTop(), 0);
    EXPECT_EQ(window->zoomFactor(), 1.0f);
}

TEST_F(View, DraggingThePictureLeavesTheToolModeAndTheMeasurementAlone)
{
    TestWindows::trigger(window, "m_Head");
    click({100, 100});
    EXPECT_EQ(drag(Qt::MiddleButton, {400, 300}, {300, 250}), Qt::ClosedHandCursor);
    EXPECT_EQ(box->ScaleLeft(), 100); // the picture went with the mouse
    EXPECT_EQ(box->ScaleTop(), 50);
    EXPECT_EQ(window->currentToolMode(), ToolMode::CollectHead);
    EXPECT_EQ(box->cursor().shape(), Qt::CrossCursor);
    click({100, 100});
    const auto &points = window->measurement()->Head.points;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1]->x, 200);
    EXPECT_EQ(points[1]->y, 150);
    click({100, 100}, Qt::RightButton);

    // Space with the left button, pressed on the top line: the line is not taken hold of.
    const double lineY = window->measurement()->H_T.P0.y;
    ASSERT_NE(window->measurement()->findMode(900, lineY), HitCode::Nothing);
    space(QEvent::KeyPress);
    EXPECT_EQ(box->cursor().shape(), Qt::OpenHandCursor);
    const QPointF onLine = box->toWidget({900, lineY});
    EXPECT_EQ(drag(Qt::LeftButton, onLine, onLine - QPointF(100, 50)), Qt::ClosedHandCursor);
    space(QEvent::KeyRelease);
    EXPECT_EQ(box->ScaleLeft(), 200);
    EXPECT_EQ(box->ScaleTop(), 100);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_FALSE(window->measurement()->H_T.Valid);
    EXPECT_EQ(box->cursor().shape(), Qt::ArrowCursor);

    // While a line is dragged by exclusive-or the view stays, or its image would be left behind.
    send(QEvent::MouseButtonPress, box->toWidget({900, lineY}), Qt::LeftButton, Qt::LeftButton);
    ASSERT_NE(window->currentToolMode(), ToolMode::Idle);
    wheel({400, 300}, 120);
    drag(Qt::MiddleButton, {400, 300}, {300, 250});
    EXPECT_EQ(window->zoomFactor(), 1.0f);
    EXPECT_EQ(box->ScaleLeft(), 200);
    send(QEvent::MouseButtonRelease, {400, 300}, Qt::LeftButton, {});
}

TEST_F(View, FitPictureShowsTheWholePictureCentredAndActualPixelsKeepsTheCentre)
{
    for (const QSize size : {QSize(2500, 2000), QSize(200, 100)}) { // larger and smaller
        if (size.width() == 200) {
            nextPicture = QString::fromStdString(picture("small.bmp", 200, 100));
            TestWindows::trigger(window, "m_Open");
        }
        TestWindows::trigger(window, "m_ZoomFit");
        const double w = size.width(), h = size.height();
        const double fit = std::max(w / box->width(), h / box->height());
        EXPECT_NEAR(window->zoomFactor(), fit, 1e-6 * fit);
        EXPECT_GE(box->ScaleWidth(), w);
        EXPECT_GE(box->ScaleHeight(), h);
        EXPECT_NEAR(std::min(box->ScaleWidth() - w, box->ScaleHeight() - h), 0, 0.01);
        EXPECT_NEAR(box->ScaleLeft() + box->ScaleWidth() / 2, w / 2, 1e-6);
        EXPECT_NEAR(box->ScaleTop() + box->ScaleHeight() / 2, h / 2, 1e-6);
        EXPECT_EQ(zoomShown(), "Zoom " + std::to_string(std::lround(100 / fit)) + "%");
    }
    const double left = box->ScaleLeft(), top = box->ScaleTop();
    drag(Qt::MiddleButton, {400, 300}, {300, 200}); // nothing beside the picture to drag to
    EXPECT_EQ(box->ScaleLeft(), left);
    EXPECT_EQ(box->ScaleTop(), top);

    TestWindows::trigger(window, "m_ZoomActual");
    EXPECT_EQ(window->zoomFactor(), 1.0f);
    EXPECT_EQ(box->ScaleWidth(), box->width());
    EXPECT_NEAR(box->ScaleLeft() + box->ScaleWidth() / 2, 100, 0.5);
    EXPECT_NEAR(box->ScaleTop() + box->ScaleHeight() / 2, 50, 0.5);
    EXPECT_EQ(zoomShown(), "Zoom 100%");
}

TEST_F(View, OpenFittedIsRememberedAcrossWindowsBesideTheLastPicture)
{
    const std::string ini = dir.file("config/Zek2.ini");
    EXPECT_FALSE(window->action("m_OpenFitted")->isChecked()); // opening as designed
    EXPECT_EQ(window->zoomFactor(), 1.0f);
    TestWindows::trigger(window, "m_OpenFitted");
    EXPECT_EQ(Settings::read(ini, "View", "OpenFitted"), "1");
    EXPECT_EQ(Settings::read(ini, "LastPath", "Path"), path);

    const std::string tall = picture("tall.bmp", 1200, 3000);
    MainForm *second = open(tall);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->action("m_OpenFitted")->isChecked());
    EXPECT_NEAR(second->pictureBox()->ScaleHeight(), 3000, 0.01);
    TestWindows::trigger(window, "m_Open"); // the first window opens fitted now too
    EXPECT_NEAR(box->ScaleHeight(), 3000, 0.01);

    TestWindows::trigger(second, "m_OpenFitted");
    EXPECT_FALSE(window->action("m_OpenFitted")->isChecked());
    EXPECT_EQ(Settings::read(ini, "View", "OpenFitted"), "0");
    EXPECT_EQ(Settings::read(ini, "LastPath", "Path"), tall);

    MainFormEnvironment unwritable = environment(); // a file where its folder should be
    unwritable.settingsPath = QString::fromStdString(path + "/Zek2.ini");
    MainForm third(unwritable);
    third.action("m_OpenFitted")->trigger();
    EXPECT_TRUE(third.statusText().startsWith("Open Fitted could not be remembered"));
}
