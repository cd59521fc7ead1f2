#include <cmath>
#include <memory>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

#include "core/records/BinFile.h"
#include "core/records/CPatient.h"
#include "core/records/Settings.h"
#include "support/BmpFile.h"
#include "support/LeftHip.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

class Window : public ::testing::Test, public TestWindows
{
protected:
    RecordingMessages messages;
};

void expectLine(const CLine &line, double x0, double y0, double x1, double y1)
{
    EXPECT_NEAR(line.P0.x, x0, 1e-9);
    EXPECT_NEAR(line.P0.y, y0, 1e-9);
    EXPECT_NEAR(line.P1.x, x1, 1e-9);
    EXPECT_NEAR(line.P1.y, y1, 1e-9);
}

} // namespace

TEST_F(Window, PictureWithoutLandmarkFileGetsTheDefaultGridAndScale)
{
    const std::string path = picture("hip.bmp", 600, 900);
    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle().toStdString(), path);
    EXPECT_FALSE(w->isCalibrated());
    expectLine(w->measurement()->H_B, 200, 600, 400, 600); // reset Grid on 600 x 900
    EXPECT_FALSE(w->measurement()->H_B.Valid);
    EXPECT_NEAR(w->measurement()->WorldWidth(), 430.0, 1e-9);
    EXPECT_TRUE(w->measurement()->Head.points.empty());
    EXPECT_TRUE(w->measurement()->Visible);
    EXPECT_EQ(w->pixels()->W, 600);
    EXPECT_EQ(w->landmarkFile(), dir.file("hip.bin"));
    EXPECT_FALSE(w->action("m_Ruler")->isChecked());
    // The settings remember the picture, and the first dialog offered nothing.
    EXPECT_EQ(Settings::read(dir.file("config/Zek2.ini"), "LastPath", "Path"), path);
    ASSERT_EQ(offeredPaths.size(), 1u);
    EXPECT_TRUE(offeredPaths[0].isEmpty());
}

TEST_F(Window, LandmarkFileRestoresTheMeasurement)
{
    const std::string path = picture("hip.jpg.bmp", 800, 600);
    COxel stored;
    stored.setPicBox(nullptr);
    ASSERT_TRUE(stored.initScale(800, 600, 200.0));
    stored.init(100, 500, 700, 500);
    stored.H_B.Valid = true;
    stored.Ruler.Valid = true;
    stored.Patient.Famname = "Ortiz";
    stored.Head.addPoint(300, 200);
    stored.Head.addPoint(350, 250);
    stored.Head.addPoint(300, 300);
    std::string error;
    ASSERT_TRUE(BinFile::write(dir.file("hip.jpg.bin"), stored, &error)) << error;

    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isCalibrated());
    EXPECT_TRUE(w->measurement()->DatFlag);
    EXPECT_NEAR(w->measurement()->ScaleFactor, 4.0, 1e-12);
    EXPECT_TRUE(w->measurement()->H_B.Valid);
    EXPECT_EQ(w->measurement()->Head.points.size(), 3u);
    EXPECT_TRUE(w->action("m_Ruler")->isChecked());
    EXPECT_FALSE(w->action("m_Cross")->isChecked());
    EXPECT_EQ(LastPatient().Famname, "Ortiz");
}

TEST_F(Window, LandmarkFileNameDropsOnlyTheLastExtension)
{
    std::filesystem::create_directories(dir.path() / "a.b");
    const std::string path = picture("a.b/c.d.bmp", 100, 100);
    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->landmarkFile(), dir.file("a.b/c.d.bin"));
}

TEST_F(Window, CancelledDialogAtStartUpOpensNothing)
{
    nextPicture.clear();
    MainForm window(environment());
    EXPECT_FALSE(window.start());
    EXPECT_EQ(window.measurement(), nullptr);
}

TEST_F(Window, CommandsAreEnabledOnlyWhenTheyCanAct)
{
    // Without a picture only opening, a new window, the follow-up, leaving, CenterMode and the
    // help can act; a disabled command does nothing when triggered.
    MainForm empty(environment());
    for (const char *name :
        {"m_Open", "m_New", "m_FollowUp", "m_Exit", "m_ZoomCenter", "m_about", "m_help"})
        EXPECT_TRUE(empty.action(name)->isEnabled()) << name;
    for (const char *name : {"m_Patient", "m_Load_bin", "m_Write_dat", "m_ZoomUp", "m_ZoomMouse",
             "m_Adjust", "m_filter1", "m_undo", "m_Invert", "m_hardcopy", "m_Head", "m_Ruler",
             "m_Calibrate", "m_Distance", "m_Reset"}) {
        EXPECT_FALSE(empty.action(name)->isEnabled()) << name;
        empty.action(name)->trigger();
    }
    EXPECT_TRUE(messages.boxes.empty());

    // With a picture every command can act but undo, until there is a sharpening to take back.
    MainForm *w = open(picture("hip.bmp", 400, 300));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->action("m_Write_dat")->isEnabled());
    EXPECT_TRUE(w->action("m_Head")->isEnabled());
    EXPECT_FALSE(w->action("m_undo")->isEnabled());
    trigger(w, "m_filter2");
    EXPECT_TRUE(w->action("m_undo")->isEnabled());
}

TEST_F(Window, CancelledOrFailedOpenKeepsTheRadiograph)
{
    const std::string first = picture("first.bmp", 300, 200);
    MainForm *w = open(first);
    ASSERT_NE(w, nullptr);
    const COxel *measurement = w->measurement();
    const CBitmap *bitmap = w->pixels();

    nextPicture.clear();
    trigger(w, "m_Open");
    EXPECT_EQ(w->measurement(), measurement);
    EXPECT_EQ(Settings::read(dir.file("config/Zek2.ini"), "LastPath", "Path"), first);
    EXPECT_EQ(offeredPaths.back().toStdString(), first); // the last picture is offered again

    writeBytes(dir.file("broken.jpg"), "not a picture at all");
    nextPicture = QString::fromStdString(dir.file("broken.jpg"));
    trigger(w, "m_Open");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text.rfind("load Error: ", 0), 0u);
    EXPECT_EQ(messages.boxes[0].title, "Error");
    EXPECT_EQ(w->measurement(), measurement);
    EXPECT_EQ(w->pixels(), bitmap);
    EXPECT_EQ(w->windowTitle().toStdString(), first);
    // Remembered all the same, so that the dialog offers it again.
    EXPECT_EQ(
        Settings::read(dir.file("config/Zek2.ini"), "LastPath", "Path"), dir.file("broken.jpg"));
}

TEST_F(Window, SecondOpenResetsZoomAndScrolling)
{
    MainForm *w = open(picture("big.bmp", 3000, 2500));
    ASSERT_NE(w, nullptr);
    trigger(w, "m_ZoomUp");
    trigger(w, "m_ZoomUp");
    EXPECT_LT(w->zoomFactor(), 0.7f);
    EXPECT_GT(w->pictureBox()->ScaleLeft(), 0);
    nextPicture = QString::fromStdString(picture("other.bmp", 500, 400));
    trigger(w, "m_Open");
    EXPECT_EQ(w->zoomFactor(), 1.0f);
    EXPECT_EQ(w->pictureBox()->ScaleLeft(), 0);
    EXPECT_EQ(w->pictureBox()->ScaleTop(), 0);
    EXPECT_EQ(w->pictureBox()->ScaleWidth(), w->pictureBox()->width());
}

TEST_F(Window, MenuZoomStopsAtItsLimits)
{
    MainForm *w = open(picture("hip.bmp", 400, 300));
    ASSERT_NE(w, nullptr);
    int steps = 0;
    for (float previous = -1; previous != w->zoomFactor(); ++steps) {
        previous = w->zoomFactor();
        trigger(w, "m_ZoomUp");
    }
    EXPECT_EQ(steps - 1, 10); // 0.125 still zooms to about 0.0992, then nothing
    EXPECT_NEAR(w->zoomFactor(), std::pow(2.0, -10.0 / 3), 1e-5);

    for (int i = 0; i < 30; ++i)
        trigger(w, "m_ZoomDown");
    EXPECT_NEAR(w->zoomFactor(), 8.0, 1e-4); // 6.35 still zooms to 8, then nothing
}

TEST_F(Window, ZoomToFitShowsTheWholePictureInMenuSteps)
{
    MainForm *w = open(picture("big.bmp", 3000, 2500));
    ASSERT_NE(w, nullptr);
    w->zoomToFit();
    PictureBox *box = w->pictureBox();
    EXPECT_GE(box->ScaleWidth(), 3000);
    EXPECT_GE(box->ScaleHeight(), 2500);
    EXPECT_EQ(box->ScaleLeft(), 0);
    // A step less would not show it all: the zoom is one of the menu's.
    const double k = std::log(w->zoomFactor()) / std::log(std::pow(2.0, 1.0 / 3));
    EXPECT_NEAR(k, std::round(k), 1e-3);
    EXPECT_TRUE(box->ScaleWidth() / std::pow(2.0, 1.0 / 3) < 3000
        || box->ScaleHeight() / std::pow(2.0, 1.0 / 3) < 2500);
}

TEST_F(Window, CenterModeKeepsTheCentreOfTheView)
{
    MainForm *w = open(picture("big.bmp", 4000, 3000));
    ASSERT_NE(w, nullptr);
    PictureBox *box = w->pictureBox();
    trigger(w, "m_ZoomUp"); // centred: magnifying moves the view away from the corner
    const double cx = box->ScaleLeft() + box->ScaleWidth() / 2;
    const double cy = box->ScaleTop() + box->ScaleHeight() / 2;
    ASSERT_GT(box->ScaleLeft(), 0);
    trigger(w, "m_ZoomUp");
    EXPECT_NEAR(box->ScaleLeft() + box->ScaleWidth() / 2, cx, 1e-6);
    EXPECT_NEAR(box->ScaleTop() + box->ScaleHeight() / 2, cy, 1e-6);

    trigger(w, "m_ZoomCenter"); // off: the top left corner stays
    EXPECT_FALSE(w->action("m_ZoomCenter")->isChecked());
    const double left = box->ScaleLeft(), top = box->ScaleTop();
    trigger(w, "m_ZoomDown");
    EXPECT_EQ(box->ScaleLeft(), left);
    EXPECT_EQ(box->ScaleTop(), top);

    // Back to the corner: a centre that would need a negative corner is clamped to 0.
    trigger(w, "m_ZoomCenter");
    for (int i = 0; i < 3; ++i)
        trigger(w, "m_ZoomUp");
    w->pictureBox()->setScaleLeft(0);
    w->pictureBox()->setScaleTop(0);
    trigger(w, "m_ZoomDown");
    EXPECT_EQ(box->ScaleLeft(), 0);
    EXPECT_EQ(box->ScaleTop(), 0);
}

TEST_F(Window, StartupWindowOncePerRunAndOnAbout)
{
    MainForm *first = open(picture("a.bmp", 100, 100));
    ASSERT_NE(first, nullptr);
    const int afterFirst = startupShowings;
    EXPECT_LE(afterFirst, 1);
    MainForm *second = open(picture("b.bmp", 100, 100));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(startupShowings, afterFirst);
    trigger(second, "m_about");
    trigger(second, "m_about");
    EXPECT_EQ(startupShowings, afterFirst + 2);
}

TEST_F(Window, WriteDataAsksAboutTheUncalibratedPictureFirst)
{
    MainForm *w = open(picture("hip.bmp", 600, 900));
    ASSERT_NE(w, nullptr);
    messages.answers.push_back(MessageAnswer::No);
    trigger(w, "m_Write_dat");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text,
        "You did not calibrate the picture!\nWould you assume the picture width is 430mm");
    EXPECT_EQ(messages.boxes[0].title, "Oxel");
    EXPECT_EQ(messages.boxes[0].buttons, MessageButtons::YesNo);
}

TEST_F(Window, WriteDataRefusesUnconfirmedGridLines)
{
    // Patient data complete, the grid as reset and never taken hold of.
    const std::string path = picture("hip.bmp", 600, 900);
    COxel stored;
    stored.setPicBox(nullptr);
    ASSERT_TRUE(stored.initScale(600, 900, kDefaultPictureWidthMm));
    stored.init(200, 600, 400, 600);
    stored.Datum = "20240101";
    stored.Patient.Famname = "A";
    stored.Patient.Vorname = "B";
    stored.Patient.Typ = 1;
    stored.Patient.DatFile = dir.file("result");
    landmarks(path, stored);
    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    trigger(w, "m_Write_dat");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "one or more GridLines not set!");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_FALSE(std::filesystem::exists(dir.file("result.dat")));
}

TEST_F(Window, RulerAndCrossTogglesFollowTheMeasurement)
{
    MainForm *w = open(picture("hip.bmp", 600, 900));
    ASSERT_NE(w, nullptr);
    trigger(w, "m_Cross");
    EXPECT_TRUE(w->measurement()->Cross_H.Valid);
    EXPECT_TRUE(w->action("m_Cross")->isChecked());
    trigger(w, "m_Cross");
    EXPECT_FALSE(w->measurement()->Cross_H.Valid);
    EXPECT_FALSE(w->action("m_Cross")->isChecked());
    trigger(w, "m_Ruler");
    EXPECT_TRUE(w->measurement()->Ruler.Valid);
    EXPECT_TRUE(w->action("m_Ruler")->isChecked());
}

TEST_F(Window, ImageToolsChangeWhatIsShownAndRestoreTheCursor)
{
    MainForm *w = open(picture("hip.bmp", 600, 900));
    ASSERT_NE(w, nullptr);
    PictureBox *box = w->pictureBox();
    const QImage shown = box->canvas().copy();
    trigger(w, "m_Invert");
    EXPECT_NE(box->canvas(), shown);
    EXPECT_EQ(box->mousePointer(), MousePointer::Default);
    trigger(w, "m_Invert");
    EXPECT_EQ(box->canvas(), shown);

    trigger(w, "m_Head"); // a landmark tool sets the cross cursor
    EXPECT_EQ(w->currentToolMode(), ToolMode::CollectHead);
    EXPECT_EQ(w->statusText(), "enter at last 3 points for circle");
    trigger(w, "m_filter3");
    EXPECT_EQ(box->mousePointer(), MousePointer::Cross);
    trigger(w, "m_undo");
    trigger(w, "m_ResetColors");
    EXPECT_EQ(w->pixels()->ColorScale, 256);
}

TEST_F(Window, MenuCaptionsAndShortcuts)
{
    MainForm *w = open(picture("hip.bmp", 100, 100));
    ASSERT_NE(w, nullptr);

    const struct
    {
        const char *name, *caption, *key;
    } items[] = {
        {"m_Open", "&Open ...", ""},
        {"m_Recent", "Recen&t Pictures", ""},
        {"m_New", "&new Window", ""},
        {"m_Patient", "&Patient's Data", ""},
        {"m_Load_bin", "&Reload Landmarks", ""},
        {"m_Write_dat", "&Write Data", ""},
        {"m_FollowUp", "&Follow-up", ""},
        {"m_Exit", "&Exit", ""},
        {"m_EditUndo", "Undo", "Ctrl+Z"},
        {"m_EditRedo", "Redo", "Ctrl+Shift+Z"},
        {"m_ZoomUp", "Zoom +", "F5"},
        {"m_ZoomDown", "Zoom -", "F6"},
        {"m_ZoomMouse", "Zoom with Mouse", "F7"},
        {"m_ZoomCenter", "CenterMode", "F8"},
        {"m_ZoomFit", "Fit Picture", "Ctrl+0"},
        {"m_ZoomActual", "Actual Pixels", "Ctrl+1"},
        {"m_OpenFitted", "Open Fitted", ""},
        {"m_Adjust", "&adjust Colors ...", ""},
        {"m_ResetColors", "&reset Colors", "Ctrl+E"},
        {"m_filter1", "&sharpen", ""},
        {"m_filter2", "sharpen &more", ""},
        {"m_filter3", "sharpen str&ong", ""},
        {"m_undo", "&undo sharpen", ""},
        {"m_Invert", "&invert", "Ctrl+I"},
        {"m_hardcopy", "&hardcopy", "Ctrl+P"},
        {"m_Head", "&Head", "Ctrl+H"},
        {"m_Cup", "&Cup", "Ctrl+C"},
        {"m_Rim", "&Rim", "Ctrl+R"},
        {"m_Ruler", "&enable Ruler", ""},
        {"m_Cross", "enable &Cross", ""},
        {"m_Calibrate", "C&alibrate", ""},
        {"m_Distance", "calc &Distance", "Ctrl+D"},
        {"m_Reset", "reset &Grid", "Ctrl+G"},
        {"m_SnapToEdge", "&Snap to Edge", ""},
        {"m_about", "About", ""},
        {"m_help", "Help", "F1"},
    };

    for (const auto &item : items) {
        QAction *a = w->action(item.name);
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text().toStdString(), item.caption);
        EXPECT_EQ(a->shortcut().toString().toStdString(), item.key) << item.name;
    }
    // Undo and Redo have a menu of their own, after the File menu.
    const QList<QAction *> titles = w->menuBar()->actions();
    ASSERT_GE(titles.size(), 2);
    EXPECT_EQ(titles[1]->text(), "&Edit");
    EXPECT_EQ(titles[1]->menu()->actions(),
        (QList<QAction *>{w->action("m_EditUndo"), w->action("m_EditRedo")}));
}

TEST_F(Window, PictureBeyondSixteenBitSidesIsRefusedFromItsHeader)
{
    MainForm *w = open(picture("small.bmp", 100, 100));
    ASSERT_NE(w, nullptr);
    // A bitmap header announcing 40000 x 10 pixels, with no pixels behind it.
    std::string header(54, '\0');
    const auto put32 = [&header](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    header[0] = 'B', header[1] = 'M';
    put32(2, 54 + 120000 * 10), put32(10, 54), put32(14, 40), put32(18, 40000), put32(22, 10);
    header[26] = 1, header[28] = 24;
    writeBytes(dir.file("wide.bmp"), header);
    nextPicture = QString::fromStdString(dir.file("wide.bmp"));
    trigger(w, "m_Open");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text,
        "load Error: the picture is 40000 x 10 pixels; at most 32767 pixels a side can be "
        "measured");
    EXPECT_EQ(w->pixels()->W, 100);
}

TEST_F(Window, WriteDataReportsALandmarkFileThatCannotBeWritten)
{
    const std::string path = picture("hip.bmp", 2000, 1600);
    const COxel stored = leftHip(dir.file("result"));
    const std::string landmarkFile = dir.file("hip.bin");
    landmarks(path, stored);
    // A landmark file its owner protected from writing is not replaced, not even by root.
    std::filesystem::permissions(landmarkFile, std::filesystem::perms::owner_read);

    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isCalibrated());
    trigger(w, "m_Write_dat");
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[0].text, "Data written to " + dir.file("result.dat"));
    EXPECT_EQ(messages.boxes[1].text.rfind("could not write " + landmarkFile + ": ", 0), 0u);
    EXPECT_EQ(messages.boxes[1].title, "Oxel Error");
}
