// Memory that runs out in the programs' own code: the command line ends with its reason and
// status 2, the window says why and goes on; no file is left half written.

#include <cmath>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <sstream>
#include <string>

#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "cli/CommandLine.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "fault/FailingAllocation.h"
#include "support/BmpFile.h"
#include "support/LeftHip.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// Collects what is written to std::cerr while it lives.
class CapturedStderr
{
public:
    CapturedStderr() : previous(std::cerr.rdbuf(text.rdbuf())) {}

    ~CapturedStderr() { std::cerr.rdbuf(previous); }

    CapturedStderr(const CapturedStderr &) = delete;
    CapturedStderr &operator=(const CapturedStderr &) = delete;

    std::string str() const { return text.str(); }

private:
    std::ostringstream text;
    std::streambuf *previous;
};

// A left hip ready to be evaluated, whose head was outlined with many points, so that its
// landmark file is large.
std::string radiographWithManyHeadPoints(const TempDir &dir, int headPoints)
{
    const std::string picture = dir.file("hip.bmp");
    EXPECT_TRUE(writeBmp(picture, 2000, 1600, [](int, int) { return 90; }));
    const COxel oxel = leftHip(dir.file("patient"), headPoints, 0);
    EXPECT_TRUE(BinFile::write(BinFile::landmarkPath(picture), oxel));
    return picture;
}

} // namespace

TEST(CommandLineOutOfMemory, EndsWithItsReasonAndStatusTwoAndWritesNothing)
{
    TempDir dir;
    const std::string picture = radiographWithManyHeadPoints(dir, 10000);
    const std::string landmarkFile = dir.file("hip.bin");
    const std::string before = readBytes(landmarkFile);
    ASSERT_GT(before.size(), 150000u);

    int status = -1;
    std::string err;
    {
        CapturedStderr captured;
        const FailingAllocation fail(64 * 1024); // reading the 160 kB landmark file fails
        status = CommandLine::run({"evaluate", picture});
        err = captured.str();
        EXPECT_GT(FailingAllocation::refusals(), 0u);
    }
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err, "Oxel Error: not enough memory\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("patient.dat")));
    EXPECT_EQ(readBytes(landmarkFile), before);

    // With memory back, the same picture is evaluated as ever.
    CapturedStderr captured;
    EXPECT_EQ(CommandLine::run({"evaluate", picture}), 0) << captured.str();
    EXPECT_TRUE(std::filesystem::exists(dir.file("patient.dat")));
}

namespace {

// A window with a picture of width x height open, shown.
class WindowOutOfMemory : public ::testing::Test, public TestWindows
{
protected:
    void open(int width, int height)
    {
        window = TestWindows::open(picture(
            "first.bmp", width, height, [](int x, int y) { return (x * 7 + y * 3) % 251; }));
        ASSERT_NE(window, nullptr);
    }

    std::vector<std::uint8_t> pixels() const
    {
        const CBitmap &b = *window->pixels();
        std::vector<std::uint8_t> all;
        for (int y = 0; y < b.H; ++y)
            all.insert(all.end(), b.scanLine(y), b.scanLine(y) + b.W);
        return all;
    }

    RecordingMessages messages;
    MainForm *window = nullptr;
};

} // namespace

TEST_F(WindowOutOfMemory, PictureTooLargeForWhatIsLeftIsRefusedAndTheOldOneStays)
{
    open(400, 300);
    const COxel *before = window->measurement();
    nextPicture = QString::fromStdString(picture("second.bmp", 1200, 1000));
    {
        const FailingAllocation fail(1 << 20); // the 1.2 MB grey buffer cannot be had
        window->action("m_Open")->trigger();
        EXPECT_GT(FailingAllocation::refusals(), 0u);
    }
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].title, "Error");
    EXPECT_EQ(messages.boxes[0].text,
        "load Error: not enough memory for a picture of 1200 x 1000 pixels");
    EXPECT_EQ(window->measurement(), before);
    EXPECT_EQ(window->pixels()->W, 400);

    window->action("m_Open")->trigger(); // memory is back
    EXPECT_EQ(window->pixels()->W, 1200);
}

TEST_F(WindowOutOfMemory, SharpeningThatCannotFinishLeavesThePictureAndTheCursors)
{
    open(1024, 768); // large enough for two threads to share the work
    const std::vector<std::uint8_t> before = pixels();
    window->pictureBox()->setMousePointer(MousePointer::Cross);
    {
        const FailingAllocation fail(4096); // the rows each thread widens cannot be had
        window->action("m_filter1")->trigger();
        EXPECT_GT(FailingAllocation::refusals(), 0u);
    }
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].title, "Oxel Error");
    EXPECT_EQ(messages.boxes[0].text, "the command could not be completed: not enough memory");
    EXPECT_EQ(pixels(), before);
    EXPECT_EQ(window->pictureBox()->mousePointer(), MousePointer::Cross);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Nothing was sharpened, so there is nothing to undo; sharpening works again.
    window->action("m_undo")->trigger();
    EXPECT_EQ(pixels(), before);
    window->action("m_filter1")->trigger();
    EXPECT_NE(pixels(), before);
    window->action("m_undo")->trigger();
    EXPECT_EQ(pixels(), before);
}
