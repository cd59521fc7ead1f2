#include <string>

#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "core/records/SystemError.h"
#include "support/FailingFileSystem.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "ui/HardCopy.h"

namespace {

QImage filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A PDF file as a PDF reader would first see it: its signature and its page count.
void expectOnePagePdf(const std::string &path)
{
    const std::string bytes = readBytes(path);
    ASSERT_GE(bytes.size(), 4u) << path;
    EXPECT_EQ(bytes.substr(0, 4), "%PDF");
    EXPECT_NE(bytes.find("/Count 1"), std::string::npos);
    EXPECT_EQ(bytes.find("/Count 2"), std::string::npos);
}

// A window of one colour, shown, as the command captures it.
class HardCopyCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::white);
        window.setPalette(palette);
        window.resize(320, 200);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    HardCopy::Environment withoutPrinter(const std::string &pdfPath)
    {
        HardCopy::Environment environment;
        environment.currentPrinter = [] { return QPrinterInfo(); };
        environment.choosePdfPath = [this, pdfPath] {
            ++pathQuestions;
            return QString::fromStdString(pdfPath);
        };
        return environment;
    }

    QWidget window;
    TempDir dir;
    RecordingMessages messages;
    int pathQuestions = 0;
};

} // namespace

TEST(HardCopyTurn, WideCaptureIsTurnedOnPortraitPaperOnly)
{
    const QImage capture = filled(800, 600, qRgb(10, 20, 30));
    EXPECT_EQ(HardCopy::greyPage(capture, true).size(), QSize(600, 800));
    EXPECT_EQ(HardCopy::greyPage(capture, false).size(), QSize(800, 600));
}

TEST(HardCopyTurn, SquareOrTallCaptureIsNeverTurned)
{
    EXPECT_EQ(HardCopy::greyPage(filled(500, 500, qRgb(0, 0, 0)), true).size(), QSize(500, 500));
    EXPECT_EQ(HardCopy::greyPage(filled(600, 800, qRgb(0, 0, 0)), true).size(), QSize(600, 800));
    EXPECT_EQ(HardCopy::greyPage(filled(600, 800, qRgb(0, 0, 0)), false).size(), QSize(600, 800));
}

TEST(HardCopyTurn, QuarterTurnIsCounterClockwise)
{
    // 3 x 2:   10 20 30       turned, 2 x 3:   30 60
    //          40 50 60                        20 50
    //                                          10 40
    QImage capture(3, 2, QImage::Format_RGB32);
    const int levels[2][3] = {{10, 20, 30}, {40, 50, 60}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            capture.setPixel(x, y, qRgb(levels[y][x], levels[y][x], levels[y][x]));

    const QImage page = HardCopy::greyPage(capture, true);
    ASSERT_EQ(page.size(), QSize(2, 3));
    const int expected[3][2] = {{30, 60}, {20, 50}, {10, 40}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(page.constScanLine(y)[x], expected[y][x]) << x << "," << y;

    const QImage unturned = HardCopy::greyPage(capture, false);
    ASSERT_EQ(unturned.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(unturned.constScanLine(y)[x], levels[y][x]) << x << "," << y;
}

TEST(HardCopyGrey, GreyIsTheMeanOfTheThreeColoursRoundedDown)
{
    QImage capture(5, 1, QImage::Format_RGB32);
    capture.setPixel(0, 0, qRgb(255, 255, 255));
    capture.setPixel(1, 0, qRgb(255, 0, 0));
    capture.setPixel(2, 0, qRgb(1, 1, 0));
    capture.setPixel(3, 0, qRgb(0, 0, 255));
    capture.setPixel(4, 0, qRgb(100, 50, 2)); // 152 / 3 = 50.67
    const QImage page = HardCopy::greyPage(capture, false);
    ASSERT_EQ(page.format(), QImage::Format_Grayscale8);
    const uchar *row = page.constScanLine(0);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[1], 85);
    EXPECT_EQ(row[2], 0);
    EXPECT_EQ(row[3], 85);
    EXPECT_EQ(row[4], 50);
}

TEST(HardCopyGrey, CaptureWithAlphaIsReadByItsColours)
{
    QImage capture(1, 1, QImage::Format_ARGB32_Premultiplied);
    capture.setPixel(0, 0, qRgba(30, 60, 90, 255));
    EXPECT_EQ(HardCopy::greyPage(capture, false).constScanLine(0)[0], 60);
}

TEST(HardCopyFit, SameAspectFillsASquarePrintableArea)
{
    // 1000 x 1000: margins 50, printable 900 x 900.
    EXPECT_EQ(HardCopy::placeImage(QSize(1000, 1000), QSize(300, 300)), QRect(50, 50, 900, 900));
}

TEST(HardCopyFit, HeightLimitsAWideImageOnWidePaper)
{
    // 2000 x 1000: margins 100 and 50, printable 1800 x 900; 800 x 600 drawn 1200 x 900.
    EXPECT_EQ(HardCopy::placeImage(QSize(2000, 1000), QSize(800, 600)), QRect(100, 50, 1200, 900));
}

TEST(HardCopyFit, WidthLimitsAndTheImageIsNotCentred)
{
    // 1000 x 1400: margins 50 and 70, printable 900 x 1260; 600 x 800 drawn 900 x 1200, leaving
    // 60 free below.
    EXPECT_EQ(HardCopy::placeImage(QSize(1000, 1400), QSize(600, 800)), QRect(50, 70, 900, 1200));
}

TEST(HardCopyFit, MarginsAndLengthsRoundHalvesToEven)
{
    // 50 x 70: margins 2.5 -> 2 and 3.5 -> 4, printable 46 x 62.
    EXPECT_EQ(HardCopy::printableSize(QSize(50, 70)), QSize(46, 62));
    // 4 x 3 is limited by the width: height 3 * 46 / 4 = 34.5 -> 34.
    EXPECT_EQ(HardCopy::placeImage(QSize(50, 70), QSize(4, 3)), QRect(2, 4, 46, 34));
    // 2 x 27 is limited by the height: width 2 * 62 / 27 = 4.59 -> 5.
    EXPECT_EQ(HardCopy::placeImage(QSize(50, 70), QSize(2, 27)), QRect(2, 4, 5, 62));
}

TEST(HardCopyFit, PortraitIsJudgedByThePrintableArea)
{
    EXPECT_TRUE(HardCopy::isPortrait(QSize(1000, 1400)));
    EXPECT_FALSE(HardCopy::isPortrait(QSize(1400, 1000)));
    EXPECT_FALSE(HardCopy::isPortrait(QSize(1000, 1000)));
}

TEST(HardCopyFit, EmptyImageIsNotPlaced)
{
    EXPECT_TRUE(HardCopy::placeImage(QSize(1000, 1000), QSize(0, 10)).isEmpty());
}

TEST(HardCopyPdf, WritesOnePage)
{
    TempDir dir;
    const std::string path = dir.file("copy.pdf");
    ASSERT_TRUE(
        HardCopy::printToPdf(filled(800, 600, qRgb(200, 100, 0)), QString::fromStdString(path)));
    expectOnePagePdf(path);
}

TEST(HardCopyPdf, ReplacesAnEarlierFileWhole)
{
    TempDir dir;
    const std::string path = dir.file("copy.pdf");
    writeBytes(path, "old contents that are no PDF");
    ASSERT_TRUE(HardCopy::printToPdf(filled(20, 10, qRgb(0, 0, 0)), QString::fromStdString(path)));
    expectOnePagePdf(path);
    // Nothing but the PDF is left in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(HardCopyPdf, IsOneA4PageAtThePrintersResolution)
{
    TempDir dir;
    const std::string path = dir.file("copy.pdf");
    ASSERT_TRUE(HardCopy::printToPdf(filled(20, 10, qRgb(0, 0, 0)), QString::fromStdString(path)));
    // A4 is 210 x 297 mm, 595 x 842 points of 1/72 inch.
    const std::string bytes = readBytes(path);
    EXPECT_NE(bytes.find("/MediaBox [0 0 595.000000 842.000000]"), std::string::npos);
    // The document's title, in UTF-16.
    EXPECT_NE(bytes.find(std::string("H\0a\0r\0d\0c\0o\0p\0y", 15)), std::string::npos);
}

TEST(HardCopyPdf, EveryFailingCallKeepsTheEarlierFileAndTellsWhy)
{
    const QImage shot = filled(20, 10, qRgb(0, 0, 0));
    const std::string earlier = "an earlier hard copy";
    for (int n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails");
        TempDir dir;
        const std::string path = dir.file("copy.pdf");
        writeBytes(path, earlier);
        FailingFileSystem failing(n, EIO);
        std::string reason;
        bool written = false;
        {
            const ScopedFileSystem seam(failing);
            written = HardCopy::printToPdf(shot, QString::fromStdString(path), &reason);
        }
        int files = 0;
        for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir.path()))
            ++files;
        EXPECT_EQ(files, 1); // no temporary file
        if (written) {
            expectOnePagePdf(path);
        } else {
            // The earlier file, or the new one whole when only the folder's flush failed.
            if (readBytes(path) != earlier)
                expectOnePagePdf(path);
            EXPECT_NE(reason.find(path), std::string::npos) << reason;
            EXPECT_NE(reason.find(systemErrorText(EIO)), std::string::npos) << reason;
        }
        if (!failing.fired) {
            EXPECT_TRUE(written) << reason;
            EXPECT_GE(n, 4); // a folder, a file, its bytes and their flush at the least
            break;
        }
    }
}

TEST(HardCopyPdf, UnwritableFolderFailsAndLeavesNothing)
{
    TempDir dir;
    const std::string path = dir.file("missing/copy.pdf");
    EXPECT_FALSE(HardCopy::printToPdf(filled(20, 10, qRgb(0, 0, 0)), QString::fromStdString(path)));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(HardCopyPrint, NoPrinterIsReportedBeforeAnythingElse)
{
    EXPECT_EQ(HardCopy::print(nullptr, QPrinterInfo()), "no prt found");
}

TEST_F(HardCopyCommand, WithoutPrinterTheHardCopyCanBeSavedAsPdf)
{
    const std::string path = dir.file("hardcopy.pdf");
    messages.answers = {MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(path));

    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "no prt found\nSave the hard copy as a PDF file instead?");
    EXPECT_EQ(messages.boxes[0].title, "Oxel");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(pathQuestions, 1);
    expectOnePagePdf(path);
}

TEST_F(HardCopyCommand, NameWithoutSuffixGetsPdfAndAnExistingOneIsAskedAbout)
{
    messages.answers = {MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(dir.file("hardcopy")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("hardcopy")));
    expectOnePagePdf(dir.file("hardcopy.pdf"));
    EXPECT_EQ(messages.boxes.size(), 1u);

    // The same name again: the PDF now exists under the longer name, which the file dialog
    // never asked about. No keeps it as it was; Yes replaces it.
    std::filesystem::resize_file(dir.file("hardcopy.pdf"), 10);
    messages.boxes.clear();
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
    HardCopy::hardcopyCommand(&window, withoutPrinter(dir.file("hardcopy")));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].text, dir.file("hardcopy.pdf") + " already exists.\nReplace it?");
    EXPECT_EQ(std::filesystem::file_size(dir.file("hardcopy.pdf")), 10u);
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(dir.file("hardcopy")));
    expectOnePagePdf(dir.file("hardcopy.pdf"));

    // A name with a suffix of its own is taken as it stands.
    messages.answers = {MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(dir.file("copy.print")));
    expectOnePagePdf(dir.file("copy.print"));
}

TEST_F(HardCopyCommand, DecliningThePdfWritesNothing)
{
    const std::string path = dir.file("hardcopy.pdf");
    messages.answers = {MessageAnswer::No};
    HardCopy::hardcopyCommand(&window, withoutPrinter(path));
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(pathQuestions, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(HardCopyCommand, CancelledFileChoiceWritesNothing)
{
    messages.answers = {MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(""));
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(pathQuestions, 1);
}

TEST_F(HardCopyCommand, PdfThatCannotBeWrittenIsToldNamingTheFile)
{
    const std::string path = dir.file("missing/hardcopy.pdf");
    messages.answers = {MessageAnswer::Yes};
    HardCopy::hardcopyCommand(&window, withoutPrinter(path));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].icon, MessageIcon::Critical);
    EXPECT_NE(messages.boxes[1].text.find(path), std::string::npos) << messages.boxes[1].text;
}

TEST_F(HardCopyCommand, WindowThatCannotBeCapturedIsTold)
{
    QWidget empty;
    empty.resize(0, 0);
    messages.answers = {MessageAnswer::Yes};
    const std::string path = dir.file("hardcopy.pdf");
    HardCopy::hardcopyCommand(&empty, withoutPrinter(path));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].text, "capture failed");
    EXPECT_EQ(messages.boxes[1].icon, MessageIcon::Critical);
    EXPECT_FALSE(std::filesystem::exists(path));
}
