#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/BmpFile.h"
#include "support/PictureMouse.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "ui/CalibDialog.h"
#include "ui/DataDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

constexpr double kTolerance = 1e-9;

// A window showing an 800 x 600 radiograph without a landmark file at zoom 1, so that picture
// and box coordinates coincide. The default grid stands on the base line (266.67, 400) to
// (533.33, 400) with its top at y = 133.33.
class Picture : public ::testing::Test, public TestWindows, public PictureMouse
{
protected:
    void SetUp() override
    {
        picturePath =
            picture("hip.bmp", 800, 600, [](int x, int y) { return (x / 4 + y / 3) % 200 + 20; });
        window = open(picturePath, QSize(1000, 760));
        ASSERT_NE(window, nullptr);
        box = window->pictureBox();
        oxel = window->measurement();
        ASSERT_EQ(box->ScaleLeft(), 0);
        ASSERT_EQ(box->ScaleWidth(), box->width());
    }

    void TearDown() override
    {
        letGo();
        windows.clear();
    }

    void escape() { QTest::keyClick(box, Qt::Key_Escape); }

    void trigger(const char *name) { TestWindows::trigger(window, name); }

    // Answers the calibration dialog that the next click opens.
    void answerCalibration(const QString &text, bool ok)
    {
        QTimer::singleShot(0, [text, ok] {
            auto *dialog = qobject_cast<CalibDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->e_Distance->setText(text);
            (ok ? dialog->OKButton : dialog->CancelButton)->click();
        });
    }

    RecordingMessages messages;
    std::string picturePath;
    MainForm *window = nullptr;
    const COxel *oxel = nullptr;
};

void expectPoint(const CPoint &p, double x, double y)
{
    EXPECT_NEAR(p.x, x, kTolerance);
    EXPECT_NEAR(p.y, y, kTolerance);
}

} // namespace

TEST_F(Picture, HoveringNamesWhatLiesUnderTheMouse)
{
    const struct
    {
        double x, y;
        const char *status;
        int cursor;
    } spots[] = {
        {267, 400, "... Base-Line P0", MousePointer::Diagonal},
        {533, 401, "... Base-Line P1", MousePointer::Diagonal},
        {400, 402, "... Base-Line", MousePointer::UpDown},
        {400, 268, "... H-M-Line", MousePointer::UpDown},
        {400, 134, "... Top-Line", MousePointer::UpDown},
        {268, 300, "... Left-Line", MousePointer::LeftRight},
        {400, 300, "... V-M-Line", MousePointer::LeftRight},
        {466, 300, "... F-Line", MousePointer::LeftRight},
        {532, 300, "... Right-Line", MousePointer::LeftRight},
        {350, 350, "", MousePointer::Default},
    };

    for (const auto &spot : spots) {
        move(spot.x, spot.y);
        EXPECT_EQ(window->statusText().toStdString(), spot.status) << spot.x << ", " << spot.y;
        EXPECT_EQ(box->mousePointer(), spot.cursor) << spot.status;
    }
    trigger("m_Ruler");
    move(100, 300);
    EXPECT_EQ(window->statusText().toStdString(), "... Ruler-Line P0");
    move(150, 300);
    EXPECT_EQ(window->statusText().toStdString(), "... Ruler-Line");
}

TEST_F(Picture, PositionBoxShowsWorldMillimetres)
{
    move(400, 200);
    // 800 px over 430 mm; y counted up from the bottom edge.
    const double s = 800 / 430.0;
    EXPECT_EQ(window->positionText().toStdString(),
        QString("%1 %2").arg(400 / s, 0, 'f', 1).arg(400 / s, 0, 'f', 1).toStdString());
}

TEST_F(Picture, DraggingABaseLineEndRebuildsTheGrid)
{
    drag(266.67, 400, 200, 420);
    expectPoint(oxel->H_B.P0, 200, 420);
    expectPoint(oxel->H_B.P1, 533 + 1.0 / 3, 400);
    EXPECT_TRUE(oxel->H_B.Valid);
    // The square stands on the moved base line: d = (333.33, -20), n = (-20, -333.33).
    expectPoint(oxel->H_T.P0, 180, 420 - (533 + 1.0 / 3 - 200));
    EXPECT_FALSE(oxel->H_T.Valid);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_TRUE(oxel->Visible);
}

TEST_F(Picture, MovingTheBaseLineParallelLeavesTheGrid)
{
    const CPoint topBefore = oxel->H_T.P0;
    press(400, 400);
    EXPECT_EQ(window->currentToolMode(), ToolMode::DragBaseLine);
    EXPECT_EQ(window->statusText().toStdString(),
        "move Base-Line to desired position and release the mouse");
    EXPECT_DOUBLE_EQ(window->grabbedAt(), 0.5);
    move(400, 430, Qt::LeftButton);
    release(400, 450);
    expectPoint(
        oxel->H_B.P0, 266 + 2.0 / 3, 430); // the last move placed it; the release does not move
    expectPoint(oxel->H_T.P0, topBefore.x, topBefore.y);
    EXPECT_TRUE(oxel->H_B.Valid);
}

TEST_F(Picture, GrabbedSpotOfALineStaysUnderTheMouse)
{
    const double left = 266 + 2.0 / 3, right = 533 + 1.0 / 3, y = 266 + 2.0 / 3;
    press(left, y); // the H-M-Line at its first end
    EXPECT_EQ(window->currentToolMode(), dragModeOf(HitCode::HMLine));
    EXPECT_NEAR(window->grabbedAt(), 1.0, 0.01);
    escape();
    press(right, y);
    EXPECT_NEAR(window->grabbedAt(), 0.0, 0.01);
    escape();
    press(left + (right - left) / 4, y); // a quarter of the way from P0
    EXPECT_NEAR(window->grabbedAt(), 0.75, 0.01);
    move(350, 300, Qt::LeftButton);
    const double ratio = window->grabbedAt();
    EXPECT_NEAR(ratio * oxel->H_M.P0.x + (1 - ratio) * oxel->H_M.P1.x, 350, kTolerance);
    EXPECT_NEAR(ratio * oxel->H_M.P0.y + (1 - ratio) * oxel->H_M.P1.y, 300, kTolerance);
    EXPECT_NEAR(oxel->H_M.length(), right - left, kTolerance);
    release(350, 300);
    EXPECT_TRUE(oxel->H_M.Valid); // taking hold of it confirmed it
}

TEST_F(Picture, EscapePutsADraggedLineBackAndKeepsItConfirmed)
{
    const CLine before = oxel->V_F;
    const QImage shown = box->canvas().copy();
    press(466.67, 250);
    move(500, 260, Qt::LeftButton);
    move(520, 300, Qt::LeftButton);
    escape();
    expectPoint(oxel->V_F.P0, before.P0.x, before.P0.y);
    expectPoint(oxel->V_F.P1, before.P1.x, before.P1.y);
    EXPECT_TRUE(oxel->V_F.Valid);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    release(520, 300); // finds mode 0: nothing more happens
    expectPoint(oxel->V_F.P0, before.P0.x, before.P0.y);
    // The picture shows the same as before, the line now in the confirmed colour.
    EXPECT_NE(box->canvas(), shown);
}

TEST_F(Picture, RightPressDuringADragTakesItBack)
{
    const CLine before = oxel->V_L;
    press(266.67, 250);
    move(300, 250, Qt::LeftButton);
    press(300, 250, Qt::RightButton);
    expectPoint(oxel->V_L.P0, before.P0.x, before.P0.y);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_TRUE(oxel->Visible);
}

TEST_F(Picture, HeadWithTwoPointsIsNotFittedAndTheModeEnds)
{
    trigger("m_Head");
    EXPECT_EQ(box->mousePointer(), MousePointer::Cross);
    press(100, 100);
    press(150, 120);
    EXPECT_EQ(oxel->Head.points.size(), 2u);
    press(150, 120, Qt::RightButton);
    EXPECT_FALSE(oxel->Head.Valid);
    EXPECT_EQ(oxel->Head.points.size(), 2u);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_EQ(box->mousePointer(), MousePointer::Default);
    EXPECT_TRUE(messages.boxes.empty()); // only the status line says why
    EXPECT_EQ(window->statusText(), "a circle needs 3 or more points");
}

TEST_F(Picture, PointsAreCollectedAndFittedWithTheRightButton)
{
    trigger("m_Head");
    for (const auto &[x, y] :
        {std::pair{600.0, 200.0}, {650.0, 250.0}, {600.0, 300.0}, {550.0, 250.0}})
        press(x, y);
    EXPECT_EQ(box->canvas().pixel(600, 200), qRgb(255, 0, 0)); // each point shows in red at once
    press(0, 0, Qt::RightButton);
    ASSERT_TRUE(oxel->Head.Valid);
    expectPoint(oxel->Head.M, 600, 250);
    EXPECT_NEAR(oxel->Head.r, 50, kTolerance);

    // Dragging one point refits at the release; the point does not follow the mouse meanwhile.
    press(650, 250);
    EXPECT_EQ(window->currentToolMode(), ToolMode::DragHeadPoint);
    EXPECT_EQ(window->statusText().toStdString(),
        "move HeadPoint to desired position and release the mouse");
    move(670, 250, Qt::LeftButton);
    expectPoint(*oxel->Head.points[1], 650, 250);
    release(680, 250);
    expectPoint(*oxel->Head.points[1], 680, 250);
    EXPECT_TRUE(oxel->Head.Valid);
    EXPECT_GT(oxel->Head.r, 50);
}

TEST_F(Picture, RimThatNoLongerFitsAfterADragIsNotValid)
{
    trigger("m_Rim");
    press(550, 200);
    press(650, 200);
    press(600, 230);
    press(0, 0, Qt::RightButton);
    ASSERT_TRUE(oxel->Rim.Valid);
    press(600, 230); // the third point, beyond the end of the first axis
    release(700, 210);
    EXPECT_FALSE(oxel->Rim.Valid);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "wrong points for Rim");
}

TEST_F(Picture, CalibrationByTwoClicksAndADistance)
{
    move(400, 200);
    const QString before = window->positionText();
    trigger("m_Calibrate");
    EXPECT_EQ(window->statusText().toStdString(), "select 1st point for calibration");
    press(100, 500);
    EXPECT_EQ(window->currentToolMode(), ToolMode::CalibSecond);
    EXPECT_EQ(window->statusText().toStdString(), "select 2nd point for calibration");
    answerCalibration("25", true);
    press(200, 500); // 100 px apart
    EXPECT_TRUE(window->isCalibrated());
    EXPECT_NEAR(oxel->ScaleFactor, 4.0, 1e-6);
    EXPECT_EQ(oxel->CalibDist, 25.0);
    move(400, 200);
    EXPECT_NE(window->positionText(), before); // the same spot in other millimetres
    EXPECT_EQ(window->positionText().toStdString(), "100.0 100.0");
}

TEST_F(Picture, CalibrationDialogShowsTheEarlierDistanceAsTyped)
{
    trigger("m_Calibrate");
    press(100, 500);
    answerCalibration("25.4", true);
    press(200, 500);
    ASSERT_EQ(oxel->CalibDist, static_cast<double>(25.4f));

    QString shown;
    trigger("m_Calibrate");
    press(100, 500);
    QTimer::singleShot(0, [&shown] {
        auto *dialog = qobject_cast<CalibDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = dialog->e_Distance->text();
        dialog->OKButton->click();
    });
    press(200, 500);
    EXPECT_EQ(shown, "25.4");
    EXPECT_EQ(oxel->CalibDist, static_cast<double>(25.4f)); // read back to the same single
}

TEST_F(Picture, CancelledCalibrationDropsItsPoints)
{
    trigger("m_Calibrate");
    press(100, 500);
    answerCalibration("", false);
    press(200, 500);
    EXPECT_FALSE(window->isCalibrated());
    EXPECT_EQ(oxel->CalibPoints.P0.x, 0);
    EXPECT_EQ(oxel->CalibPoints.P1.x, 0);
    EXPECT_NEAR(oxel->WorldWidth(), 430, 1e-9);
    // A later calibration starts with fresh points.
    trigger("m_Calibrate");
    press(300, 300);
    EXPECT_EQ(oxel->CalibPoints.P0.x, 300);
}

TEST_F(Picture, DistanceShowsItsLengthInMillimetres)
{
    trigger("m_Distance");
    press(100, 100);
    EXPECT_EQ(window->currentToolMode(), ToolMode::DistanceDragging);
    move(200, 100, Qt::LeftButton);
    const double mm = 100 / (800 / 430.0);
    EXPECT_EQ(window->statusText(), "length = " + QString::number(mm, 'f', 1));
    release(200, 100);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    // The reading stays, hovering or not, until the next action.
    move(350, 350);
    EXPECT_EQ(window->statusText(), "length = " + QString::number(mm, 'f', 1));
    press(350, 350);
    release(350, 350);
    move(351, 350);
    EXPECT_EQ(window->statusText(), "");
}

TEST_F(Picture, ZoomByClickCentresTheClickAndHasNoLowerLimit)
{
    trigger("m_ZoomMouse");
    EXPECT_EQ(window->currentToolMode(), ToolMode::ZoomByClick);
    EXPECT_EQ(box->mousePointer(), MousePointer::Custom);
    EXPECT_EQ(window->statusText().toStdString(),
        "zoom by mouse click, center is current position - end with right mouse button");
    press(500, 300);
    EXPECT_NEAR(box->ScaleLeft() + box->ScaleWidth() / 2, 500, 0.5);
    EXPECT_NEAR(box->ScaleTop() + box->ScaleHeight() / 2, 300, 0.5);
    for (int i = 0; i < 12; ++i) {
        const QPointF centre(box->width() / 2.0, box->height() / 2.0);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    EXPECT_LT(window->zoomFactor(), 0.1f);
    escape();
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_EQ(box->mousePointer(), MousePointer::Default);
}

TEST_F(Picture, TheRoadOfOneRadiograph)
{
    // Calibrate: two clicks 100 px apart are 25 mm, so the picture is 4 px/mm.
    trigger("m_Calibrate");
    press(100, 560);
    answerCalibration("25", true);
    press(200, 560);
    ASSERT_TRUE(window->isCalibrated());

    // Place the base line by its ends (a left hip: drawn from left to right), then take hold of
    // every other grid line to confirm it.
    drag(266.67, 400, 250, 420);
    drag(533.33, 400, 560, 410);

    // Taking hold of each of the other grid lines confirms it.
    const auto lines = oxel->lines();
    for (std::size_t i = 1; i < COxel::kGridLineCount; ++i) {
        const CLine &line = *lines[i];
        const double x = (line.P0.x * 3 + line.P1.x) / 4, y = (line.P0.y * 3 + line.P1.y) / 4;
        press(x, y);
        release(x, y);
        EXPECT_TRUE(line.Valid) << COxel::kLineNames[i];
    }
    ASSERT_TRUE(oxel->Valid());

    // Head, cup and rim on the far side of the F-Line, each fitted with the right button.
    const auto ring = [this](double cx, double cy, double r, int count) {
        for (int i = 0; i < count; ++i) {
            const double t = 0.3 + i * 2 * 3.14159265358979 / count;
            press(cx + r * std::cos(t), cy + r * std::sin(t));
        }
        press(cx, cy, Qt::RightButton);
    };
    trigger("m_Head");
    ring(660, 250, 62, 6);
    trigger("m_Cup");
    ring(665, 245, 72, 8);
    trigger("m_Rim");
    press(719, 200);
    press(611, 290);
    press(678, 260);
    press(0, 0, Qt::RightButton);
    ASSERT_TRUE(oxel->Head.Valid && oxel->Cup.Valid && oxel->Rim.Valid);

    // Write Data asks for the patient first; the dialog stores when it is closed.
    QTimer::singleShot(0, [this] {
        auto *dialog = qobject_cast<DataDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->E_Datum->setText("20240115");
        dialog->E_Famname->setText("Lindqvist");
        dialog->E_Vorname->setText("Maja");
        dialog->E_Code->setText("R-12");
        dialog->E_Typ->setCurrentIndex(3); // "4   head based"
        dialog->E_Head->setText("28");
        dialog->E_Cup->setText("52");
        dialog->E_Focus->setText("1100");
        dialog->E_DatFile->setText(QString::fromStdString(dir.file("result")));
        dialog->close();
    });
    trigger("m_Write_dat");
    EXPECT_EQ(oxel->Patient.Typ, 4);
    EXPECT_EQ(oxel->Patient.HeadTR, 14);
    EXPECT_FALSE(std::filesystem::exists(dir.file("result.dat")));

    trigger("m_Write_dat");
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(messages.boxes.back().text, "Data written to " + dir.file("result.dat"));
    const std::string written = readBytes(dir.file("result.dat"));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 13);
    EXPECT_NE(written.find("\"Lindqvist\",\"Maja\",\"R-12\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("\"side of replacement\",\"L\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("\"head migration (cranial/medial)\","), std::string::npos);
    EXPECT_NE(written.find("\"cup inclination\","), std::string::npos);
    ASSERT_TRUE(std::filesystem::exists(dir.file("hip.bin")));

    // Opening the picture again restores every line, point and patient field.
    const COxel &before = *oxel;
    MainForm *again = open(picturePath);
    ASSERT_NE(again, nullptr);
    const COxel &after = *again->measurement();
    EXPECT_TRUE(again->isCalibrated());
    EXPECT_NEAR(after.ScaleFactor, before.ScaleFactor, 1e-9);
    for (std::size_t i = 0; i < COxel::kLineCount; ++i) {
        const CLine *a = after.lines()[i], *b = before.lines()[i];
        EXPECT_NEAR(a->P0.x, b->P0.x, 1e-9);
        EXPECT_NEAR(a->P1.y, b->P1.y, 1e-9);
        EXPECT_EQ(a->Valid, b->Valid);
    }
    for (auto [a, b] : {std::pair{&after.Head, &before.Head}, {&after.Cup, &before.Cup}}) {
        ASSERT_EQ(a->points.size(), b->points.size());
        EXPECT_NEAR(a->points.back()->x, b->points.back()->x, 1e-9);
        EXPECT_TRUE(a->Valid);
        EXPECT_NEAR(a->r, b->r, 1e-9);
    }
    ASSERT_EQ(after.Rim.points.size(), 3u);
    EXPECT_TRUE(after.Rim.Valid);
    EXPECT_EQ(after.Datum, "20240115");
    EXPECT_EQ(after.Patient.Famname, "Lindqvist");
    EXPECT_EQ(after.Patient.Vorname, "Maja");
    EXPECT_EQ(after.Patient.Code, "R-12");
    EXPECT_EQ(after.Patient.Typ, 4);
    EXPECT_EQ(after.Patient.HeadTR, 14);
    EXPECT_EQ(after.Patient.CupTR, 26);
    EXPECT_EQ(after.Patient.FocH, 1100);
    EXPECT_EQ(after.Patient.DatFile, dir.file("result"));
}

// Every mode that holds on to the measurement, cut short by opening a picture (one that loads
// and one that fails) or by reloading the landmarks: the window is idle afterwards, and the
// next press, move and release touch nothing of the old measurement (the sanitizer build would
// report any use of it).
TEST_F(Picture, OpeningOrReloadingEndsEveryModeThatHoldsTheMeasurement)
{
    // The picture's landmarks: the grid as reset, a fitted head.
    COxel stored;
    stored.setPicBox(nullptr);
    ASSERT_TRUE(stored.initScale(800, 600, kDefaultPictureWidthMm));
    stored.init(800 / 3.0, 400, 1600 / 3.0, 400);
    for (double t = 0; t < 6; t += 1.5)
        stored.Head.addPoint(600 + 40 * std::cos(t), 200 + 40 * std::sin(t));
    ASSERT_TRUE(stored.Head.fit());
    stored.Head.Valid = true;
    landmarks(picturePath, stored);
    const QString original = QString::fromStdString(picturePath);
    const std::string broken = dir.file("broken.bmp");
    {
        std::ofstream(broken) << "not a picture";
    }

    struct Mode
    {
        const char *name;
        std::function<void()> enter;
        bool buttonHeld;
    };

    const Mode modes[] = {
        {"calibration, first point", [this] { trigger("m_Calibrate"); }, false},
        {"calibration, second point",
            [this] {
                trigger("m_Calibrate");
                press(100, 500);
            },
            false},
        {"distance, waiting", [this] { trigger("m_Distance"); }, false},
        {"distance, measuring",
            [this] {
                trigger("m_Distance");
                press(100, 500);
                move(150, 520, Qt::LeftButton);
            },
            true},
        {"base line end",
            [this] {
                press(oxel->H_B.P0.x, oxel->H_B.P0.y);
                move(250, 420, Qt::LeftButton);
            },
            true},
        {"top line",
            [this] {
                press(400, oxel->H_T.P0.y);
                move(400, 150, Qt::LeftButton);
            },
            true},
        {"head point",
            [this] {
                const auto &p = oxel->Head.points.front();
                press(p->x, p->y);
                move(p->x + 20, p->y + 20, Qt::LeftButton);
            },
            true},
        {"collecting cup points",
            [this] {
                trigger("m_Cup");
                press(300, 300);
                release(300, 300);
            },
            false},
    };
    for (const char *command : {"m_Open", "m_Load_bin", "failed m_Open"}) {
        for (const Mode &mode : modes) {
            SCOPED_TRACE(std::string(command) + " during " + mode.name);
            nextPicture = original;
            trigger("m_Open");
            oxel = window->measurement();
            ASSERT_EQ(oxel->Head.points.size(), 4u);
            mode.enter();
            ASSERT_NE(window->currentToolMode(), ToolMode::Idle);

            const bool failing = std::string(command) == "failed m_Open";
            nextPicture = failing ? QString::fromStdString(broken) : original;
            messages.boxes.clear();
            trigger(failing ? "m_Open" : command);
            EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
            EXPECT_EQ(window->statusText(), "");
            const COxel *now = window->measurement();
            EXPECT_TRUE(now->Visible);
            EXPECT_EQ(now == oxel, std::string(command) != "m_Open");
            // A drag cut short by a reload or a failed open put its line back where it was.
            if (now == oxel) {
                EXPECT_NEAR(now->H_B.P0.x, 800 / 3.0, kTolerance);
            }

            const std::vector<std::shared_ptr<CPoint>> headPoints = now->Head.points;
            const CLine calibration = now->CalibPoints;
            if (mode.buttonHeld) {
                move(500, 300, Qt::LeftButton);
                release(500, 300);
            }
            // A calibration still waiting for its second point would open its dialog here.
            QTimer::singleShot(0, [] {
                if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                    ADD_FAILURE() << "a dialog opened";
                    dialog->reject();
                }
            });
            press(700, 100);
            move(710, 110, Qt::LeftButton);
            release(710, 110);
            EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            EXPECT_EQ(now->Head.points, headPoints);
            EXPECT_EQ(now->CalibPoints.P0.x, calibration.P0.x);
            EXPECT_EQ(now->CalibPoints.P1.x, calibration.P1.x);
            EXPECT_NEAR(now->H_B.P0.x, 800 / 3.0, kTolerance);
        }
    }
}

// Memory runs out while a fit shows its complaint, in the middle of a mouse event: the operator
// is told, the mode ends, and the window goes on with the measurement as it was.
TEST_F(Picture, AFailureInAMouseEventIsShownAndTheWindowGoesOn)
{
    trigger("m_Head");
    press(100, 100);
    press(200, 100);
    press(150, 100); // three points on one line fit no circle
    messages.failNextBox = true;
    press(150, 100, Qt::RightButton);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].title, "Oxel Error");
    EXPECT_EQ(messages.boxes[0].text, "the command could not be completed: not enough memory");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);
    EXPECT_TRUE(oxel->Visible);
    EXPECT_FALSE(oxel->Head.Valid);
    EXPECT_EQ(oxel->Head.points.size(), 3u);

    // A head point dragged where the circle can no longer be fitted, and the complaint fails
    // again: the point goes back to where it was taken hold of, and the head keeps its fit.
    trigger("m_Head");
    press(400, 100);
    press(500, 100);
    press(450, 150);
    press(450, 150, Qt::RightButton);
    ASSERT_TRUE(oxel->Head.Valid);
    const double radius = oxel->Head.r;
    messages.boxes.clear();
    messages.failNextBox = true;
    drag(450, 150, 450, 100); // onto the line through the other two
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].title, "Oxel Error");
    expectPoint(*oxel->Head.points[2], 450, 150);
    EXPECT_TRUE(oxel->Head.Valid);
    EXPECT_EQ(oxel->Head.r, radius);
    EXPECT_EQ(window->currentToolMode(), ToolMode::Idle);

    // The window goes on: the top line can still be taken hold of and moved.
    drag(300, oxel->H_T.P0.y, 300, 120);
    EXPECT_NEAR(oxel->H_T.P0.y, 120, kTolerance);
}
