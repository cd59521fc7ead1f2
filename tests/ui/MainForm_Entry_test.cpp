#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/LeftHip.h"
#include "support/PictureMouse.h"
#include "support/RecordingMessages.h"
#include "support/SameMeasurement.h"
#include "support/TestWindows.h"
#include "ui/CalibDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

constexpr QRgb kRed = 0xFFFF0000;

int greyAt(int x, int y)
{
    return (x / 4 + y / 3) % 200 + 20;
}

// A window on a 1200 x 900 radiograph without a landmark file, larger than the box, at zoom 1
// and scrolled to the top left, so that picture and box coordinates coincide. The default grid
// stands on the base line (400, 600)-(800, 600) with its top at y = 200.
class Entry : public ::testing::Test, public TestWindows, public PictureMouse
{
protected:
    void SetUp() override
    {
        window = open(picture("hip.bmp", 1200, 900, greyAt), QSize(1000, 760));
        ASSERT_NE(window, nullptr);
        box = window->pictureBox();
        oxel = window->measurement();
        ASSERT_EQ(box->ScaleWidth(), box->width());
        ASSERT_LT(box->width(), 1200);
    }

    void TearDown() override
    {
        letGo();
        windows.clear();
    }

    void key(Qt::Key k) { QTest::keyClick(box, k); }

    void trigger(const char *name) { TestWindows::trigger(window, name); }

    QString actionText(const char *name) const { return window->action(name)->text(); }

    // Whether a pixel within two of the picture point (x, y) shows the landmark red, or the
    // picture's grey turned by exclusive-or with cyan (a dragged item).
    bool shownNear(double x, double y, bool exclusiveOrCyan) const
    {
        const QPointF w = box->toWidget({x, y});
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const int px = static_cast<int>(std::floor(w.x())) + dx;
                const int py = static_cast<int>(std::floor(w.y())) + dy;
                const QRgb pixel = box->canvas().pixel(px, py);
                const QPointF p = box->toPicture({px + 0.5, py + 0.5});
                const int g = greyAt(static_cast<int>(p.x()), static_cast<int>(p.y()));
                if (exclusiveOrCyan ? pixel == qRgb(g, 255 - g, 255 - g) : pixel == kRed)
                    return true;
            }
        }
        return false;
    }

    bool redNear(double x, double y) const { return shownNear(x, y, false); }

    bool cyanNear(double x, double y) const { return shownNear(x, y, true); }

    // The head fitted to three points of the circle about (250, 450) with radius 50.
    void fitHead()
    {
        trigger("m_Head");
        click(250, 400);
        click(300, 450);
        click(250, 500);
        click(0, 0, Qt::RightButton);
        ASSERT_TRUE(oxel->Head.Valid);
    }

    RecordingMessages messages;
    MainForm *window = nullptr;
    const COxel *oxel = nullptr;
};

} // namespace

TEST_F(Entry, CollectedPointsStayThroughZoomAndScrollAndBackspaceTakesTheLast)
{
    trigger("m_Head");
    const QPointF points[] = {{300, 200}, {400, 150}, {500, 200}};
    for (const QPointF &p : points)
        click(p.x(), p.y());
    trigger("m_ZoomUp"); // magnified about the centre of the view: every pixel drawn anew
    ASSERT_GT(box->ScaleLeft(), 0);
    for (const QPointF &p : points)
        EXPECT_TRUE(redNear(p.x(), p.y())) << p.x() << ", " << p.y();
    QScrollBar *across = nullptr;
    for (QScrollBar *bar : window->findChildren<QScrollBar *>())
        if (bar->orientation() == Qt::Horizontal)
            across = bar;
    ASSERT_NE(across, nullptr);
    across->setValue(across->value() + 40);
    ASSERT_EQ(box->ScaleLeft(), across->value());
    for (const QPointF &p : points)
        EXPECT_TRUE(redNear(p.x(), p.y())) << p.x() << ", " << p.y();

    key(Qt::Key_Backspace);
    ASSERT_EQ(oxel->Head.points.size(), 2u);
    EXPECT_FALSE(redNear(500, 200));
    EXPECT_TRUE(redNear(400, 150));
    EXPECT_EQ(window->currentToolMode(), ToolMode::CollectHead);
}

TEST_F(Entry, DraggedPointTakesTheOutlineAlongAsItWouldBeFitted)
{
    fitHead();
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, at(300, 450));
    // Taken hold of: the outline as fitted, leftmost at x = 200.
    EXPECT_TRUE(cyanNear(200, 450));
    move(350, 450, Qt::LeftButton);
    // Through (250, 400), (350, 450), (250, 500): centre (287.5, 450), radius 62.5, so its
    // leftmost point is (225, 450); the old outline is gone.
    EXPECT_TRUE(cyanNear(225, 450));
    EXPECT_FALSE(cyanNear(200, 450));
    EXPECT_TRUE(cyanNear(350, 450)); // the point itself
    EXPECT_TRUE(redNear(250, 400)); // the points that stay
    EXPECT_EQ(oxel->Head.points[1]->x, 300); // the measurement changes at the release only
    move(300, 450, Qt::LeftButton); // back: erased without a trace
    EXPECT_TRUE(cyanNear(200, 450));
    EXPECT_FALSE(cyanNear(225, 450));
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, at(350, 450));
    EXPECT_NEAR(oxel->Head.M.x, 287.5, 1e-9);
    EXPECT_NEAR(oxel->Head.M.y, 450, 1e-9);
    EXPECT_NEAR(oxel->Head.r, 62.5, 1e-9);
}

TEST_F(Entry, BackspaceEscapeAndUndoTakeBackPointEntryExactly)
{
    fitHead();
    const COxel before = copyOfMeasurement(*oxel);
    trigger("m_Head");
    EXPECT_TRUE(oxel->Head.points.empty()); // choosing the tool discards the points
    click(100, 100);
    click(150, 120);
    key(Qt::Key_Backspace);
    EXPECT_EQ(oxel->Head.points.size(), 1u);
    key(Qt::Key_Escape);
    EXPECT_TRUE(sameMeasurement(*oxel, before));
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_EQ(box->mousePointer(), MousePointer::Default);
    EXPECT_TRUE(redNear(300, 450)); // the head is shown as before
    EXPECT_EQ(actionText("m_EditUndo"), "Undo Enter Head"); // nothing new was recorded

    // Undo while entering takes the entry back the same way.
    trigger("m_Rim");
    click(100, 100);
    EXPECT_EQ(actionText("m_EditUndo"), "Undo Enter Rim");
    trigger("m_EditUndo");
    EXPECT_TRUE(sameMeasurement(*oxel, before));
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_EQ(actionText("m_EditUndo"), "Undo Enter Head");
}

TEST_F(Entry, UndoAndRedoRestoreTheMeasurementAfterEveryKindOfChange)
{
    const COxel opened = copyOfMeasurement(*oxel);
    EXPECT_FALSE(window->action("m_EditUndo")->isEnabled());

    const struct
    {
        const char *name;
        std::function<void()> change;
    } steps[] = {
        {"Move F-Line", [this] { drag(700, 300, 720, 300); }},
        {"Confirm Top-Line", [this] { drag(600, 200, 600, 200); }},
        {"Move Base-Line", [this] { drag(400, 600, 390, 620); }},
        {"Enable Ruler", [this] { trigger("m_Ruler"); }},
        {"Move Ruler-Line", [this] { drag(200, 300, 260, 310); }},
        {"Calibrate",
            [this] {
                trigger("m_Calibrate");
                click(100, 650);
                QTimer::singleShot(0, [] {
                    auto *dialog = qobject_cast<CalibDialog *>(QApplication::activeModalWidget());
                    ASSERT_NE(dialog, nullptr);
                    dialog->e_Distance->setText("25");
                    dialog->OKButton->click();
                });
                click(200, 650);
                ASSERT_TRUE(window->isCalibrated());
            }},
        {"Reset Grid", [this] { trigger("m_Reset"); }},
        {"Enter Head", [this] { fitHead(); }},
        {"Move HeadPoint", [this] { drag(300, 450, 350, 450); }},
        // Choosing the tool again discards the fitted head's points; nothing new is fitted.
        {"Enter Head",
            [this] {
                trigger("m_Head");
                click(0, 0, Qt::RightButton);
            }},
        {"Enable Cross", [this] { trigger("m_Cross"); }},
    };

    for (const auto &step : steps) {
        SCOPED_TRACE(step.name);
        const COxel before = copyOfMeasurement(*oxel);
        const bool calibratedBefore = window->isCalibrated();
        step.change();
        const COxel after = copyOfMeasurement(*oxel);
        const bool calibratedAfter = window->isCalibrated();
        ASSERT_FALSE(sameMeasurement(after, before));
        EXPECT_EQ(actionText("m_EditUndo").toStdString(), std::string("Undo ") + step.name);
        EXPECT_FALSE(window->action("m_EditRedo")->isEnabled());

        trigger("m_EditUndo");
        EXPECT_TRUE(sameMeasurement(*oxel, before));
        EXPECT_EQ(window->isCalibrated(), calibratedBefore);
        EXPECT_EQ(actionText("m_EditRedo").toStdString(), std::string("Redo ") + step.name);
        EXPECT_EQ(window->action("m_Ruler")->isChecked(), oxel->Ruler.Valid);
        trigger("m_EditRedo");
        EXPECT_TRUE(sameMeasurement(*oxel, after));
        EXPECT_EQ(window->isCalibrated(), calibratedAfter);
    }
    // All the way back to the picture as opened.
    for (std::size_t i = 0; i < std::size(steps); ++i)
        trigger("m_EditUndo");
    EXPECT_TRUE(sameMeasurement(*oxel, opened));
    EXPECT_FALSE(window->isCalibrated());
    EXPECT_FALSE(window->action("m_EditUndo")->isEnabled());
    EXPECT_FALSE(window->hasUnsavedChanges());
}

TEST_F(Entry, FailedFitsSayWhyInTheStatusLine)
{
    const auto enter = [this](const char *tool, std::initializer_list<QPointF> points) {
        trigger(tool);
        for (const QPointF &p : points)
            click(p.x(), p.y());
        click(0, 0, Qt::RightButton);
    };
    enter("m_Head", {{100, 100}, {150, 120}});
    EXPECT_EQ(window->statusText(), "a circle needs 3 or more points");
    move(60, 700); // hovering does not wipe it
    EXPECT_EQ(window->statusText(), "a circle needs 3 or more points");
    enter("m_Rim", {{100, 100}, {150, 120}, {200, 100}, {150, 80}});
    EXPECT_EQ(window->statusText(), "a rim takes 3 points or 5 or more");
    EXPECT_TRUE(messages.boxes.empty());

    enter("m_Cup", {{100, 100}, {200, 100}, {150, 100}});
    EXPECT_EQ(window->statusText(), "Equation is singular!");
    ASSERT_EQ(messages.boxes.size(), 1u); // the box is shown as well
    EXPECT_EQ(messages.boxes[0].title, "Equation Solver");

    // A point dragged beyond the end of the rim's first axis.
    enter("m_Rim", {{150, 100}, {250, 100}, {200, 130}});
    ASSERT_TRUE(oxel->Rim.Valid);
    drag(200, 130, 300, 110);
    EXPECT_FALSE(oxel->Rim.Valid);
    EXPECT_EQ(window->statusText(), "wrong points for Rim");
    EXPECT_EQ(messages.boxes.back().text, "wrong points for Rim");
    click(60, 700); // the next action: hovering speaks again
    move(61, 700);
    EXPECT_EQ(window->statusText(), "");
}

namespace {

// A window on the left hip of the tests, its landmark file beside it, ready to be written.
class Unsaved : public ::testing::Test, public TestWindows
{
protected:
    void SetUp() override
    {
        path = picture("hip.bmp", 2000, 1600);
        landmarks(path, leftHip(dir.file("result")));
        window = open(path, QSize(1500, 1000)); // the head in view
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override { windows.clear(); }

    // Asks the window to close, as its frame would; whether it agreed. It is not deleted.
    bool closeAgreed()
    {
        QCloseEvent event;
        QApplication::sendEvent(window, &event);
        return event.isAccepted();
    }

    // Drags the head's first point, (1330, 800), three pixels to the right.
    void moveHeadPoint()
    {
        PictureBox *box = window->pictureBox();
        const auto at = [box](double x, double y) { return box->toWidget({x, y}).toPoint(); };
        QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, at(1330, 800));
        QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, at(1333, 800));
    }

    // Where the landmark file holds the head's first point.
    double storedHeadX() const
    {
        COxel stored;
        stored.setPicBox(nullptr);
        EXPECT_TRUE(BinFile::read(dir.file("hip.bin"), 2000, 1600, stored));
        return stored.Head.points.at(0)->x;
    }

    // Whether the landmark file holds the ruler as enabled.
    bool storedRuler() const
    {
        COxel stored;
        stored.setPicBox(nullptr);
        EXPECT_TRUE(BinFile::read(dir.file("hip.bin"), 2000, 1600, stored));
        return stored.Ruler.Valid;
    }

    RecordingMessages messages;
    std::string path;
    MainForm *window = nullptr;
};

} // namespace

TEST_F(Unsaved, ClosingAsksOnlyAfterAChangeAndEachAnswerDoesWhatItSays)
{
    EXPECT_TRUE(closeAgreed());
    EXPECT_TRUE(messages.boxes.empty());

    moveHeadPoint();
    ASSERT_NEAR(window->measurement()->Head.points[0]->x, 1333, 1e-9);
    EXPECT_TRUE(window->hasUnsavedChanges());
    messages.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(closeAgreed());
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text,
        "The measurement of hip.bmp has changes that were not written.\nWrite Data first?");
    EXPECT_EQ(messages.boxes[0].buttons, MessageButtons::YesNoCancel);

    // Taken back, the measurement is as it was read: nothing to ask.
    TestWindows::trigger(window, "m_EditUndo");
    EXPECT_FALSE(window->hasUnsavedChanges());
    EXPECT_TRUE(closeAgreed());
    EXPECT_EQ(messages.boxes.size(), 1u);
    TestWindows::trigger(window, "m_EditRedo");

    messages.answers = {MessageAnswer::No};
    EXPECT_TRUE(closeAgreed());
    EXPECT_FALSE(std::filesystem::exists(dir.file("result.dat")));
    EXPECT_NEAR(storedHeadX(), 1330, 1e-6);

    messages.boxes.clear();
    messages.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(closeAgreed());
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].text, "Data written to " + dir.file("result.dat"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("result.dat")));
    EXPECT_NEAR(storedHeadX(), 1333, 1e-6);
    EXPECT_FALSE(window->hasUnsavedChanges());
}

TEST_F(Unsaved, OpeningAnotherPictureAsksFirstAndStartsAFreshHistory)
{
    const COxel *measurement = window->measurement();
    TestWindows::trigger(window, "m_Ruler");
    nextPicture = QString::fromStdString(picture("other.bmp", 300, 200));
    const std::size_t dialogs = offeredPaths.size();
    messages.answers = {MessageAnswer::Cancel};
    TestWindows::trigger(window, "m_Open");
    EXPECT_EQ(window->measurement(), measurement);
    EXPECT_EQ(offeredPaths.size(), dialogs); // stayed before the file dialog
    EXPECT_TRUE(window->measurement()->Ruler.Valid);

    // Reading the landmarks again starts a new history as well.
    TestWindows::trigger(window, "m_Load_bin");
    EXPECT_FALSE(window->measurement()->Ruler.Valid);
    EXPECT_FALSE(window->action("m_EditUndo")->isEnabled());
    EXPECT_FALSE(window->hasUnsavedChanges());

    TestWindows::trigger(window, "m_Ruler");
    messages.answers = {MessageAnswer::No};
    TestWindows::trigger(window, "m_Open");
    EXPECT_EQ(window->pixels()->W, 300);
    EXPECT_FALSE(window->action("m_EditUndo")->isEnabled());
    EXPECT_FALSE(window->hasUnsavedChanges());
    EXPECT_FALSE(storedRuler());
}

TEST_F(Unsaved, ExitAsksTheDesignedQuestionOnlyWithoutChanges)
{
    messages.answers = {MessageAnswer::No};
    TestWindows::trigger(window, "m_Exit");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "Are you sure? Not saved results will be lost!");

    TestWindows::trigger(window, "m_Ruler");
    messages.answers = {MessageAnswer::Cancel};
    TestWindows::trigger(window, "m_Exit");
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(window->isVisible());
}
