#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>

#include <gtest/gtest.h>

#include "support/BmpFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"
#include "ui/PictureLoader.h"

namespace {

// Lossy coding may move a flat colour this far.
constexpr int kJpegTolerance = 3;
constexpr std::uint64_t kPlentyOfMemory = std::uint64_t{64} << 30;

const std::filesystem::path kPictures =
    std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "pictures";

QByteArray fixture(const char *name)
{
    QFile file(kPictures / name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

void put32(QByteArray &bytes, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A bitmap file and information header (uncompressed) for width x height pixels of the given
// bits, without a palette; the pixels, if any, are appended by the caller.
QByteArray bmpHeader(std::uint32_t width, std::uint32_t height, int bits)
{
    const std::uint64_t rowBytes =
        (std::uint64_t{width} * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * height;
    QByteArray header(54, '\0');
    header[0] = 'B';
    header[1] = 'M';
    put32(header, 2,
        static_cast<std::uint32_t>(std::min<std::uint64_t>(54 + pixelBytes, UINT32_MAX)));
    put32(header, 10, 54);
    put32(header, 14, 40);
    put32(header, 18, width);
    put32(header, 22, height);
    header[26] = 1;
    header[28] = static_cast<char>(bits);
    put32(header, 34, static_cast<std::uint32_t>(std::min<std::uint64_t>(pixelBytes, UINT32_MAX)));
    return header;
}

// Blue changes from pixel to pixel; red and green never equal it, so a loader that took either
// would be seen.
int blueAt(int x, int y)
{
    return (x * 13 + y * 29) % 256;
}

QImage colourful(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int blue = blueAt(x, y);
            image.setPixel(x, y, qRgb((blue + 85) % 256, (blue + 170) % 256, blue));
        }
    return image;
}

// Two flat 16 x 16 squares, the sizes JPEG codes without mixing them: blue 90 left, 170 right.
QImage twoSquares()
{
    QImage image(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, x < 16 ? qRgb(200, 40, 90) : qRgb(30, 220, 170));
    return image;
}

// The decoder smooths the halved colour resolution across the columns where the squares meet;
// those two are not compared (-1).
int twoSquaresBlue(int x, int)
{
    return x == 15 || x == 16 ? -1 : (x < 16 ? 90 : 170);
}

// Every pixel's grey level against the expected one (pixels expected at -1 are skipped),
// reporting the first that differs.
void expectGrey(const CBitmap *bitmap, int width, int height,
    const std::function<int(int, int)> &expected, int tolerance = 0)
{
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->W, width);
    ASSERT_EQ(bitmap->H, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (expected(x, y) >= 0 && std::abs(bitmap->grey(x, y) - expected(x, y)) > tolerance) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << int(bitmap->grey(x, y))
                              << ", expected " << expected(x, y);
                return;
            }
}

std::unique_ptr<CBitmap> loadBytes(
    const QByteArray &data, std::string &error, std::uint64_t available = kPlentyOfMemory)
{
    error.clear();
    return PictureLoader::loadData(data, error, available);
}

// The test pictures' patterns, as tests/data/pictures/README.md describes them.
int oneBitBlue(int x, int y)
{
    return (x + 2 * y) % 3 == 0 ? 230 : 40;
}

int fourBitBlue(int x, int y)
{
    return 16 * ((x + 3 * y) % 16) + 5;
}

int fiveBitBlue(int x, int y)
{
    return (2 * x + y) % 32;
}

int gifBlue(int x, int y)
{
    return 8 * x + 10 * y + 5;
}

} // namespace

TEST(PictureOpens, OneBitBitmapTakesTheBlueOfItsTwoColours)
{
    const QByteArray data = fixture("one-bit.bmp");
    ASSERT_FALSE(data.isEmpty());
    std::string error;
    expectGrey(loadBytes(data, error).get(), 16, 12, oneBitBlue);
    EXPECT_EQ(error, "");
}

TEST(PictureOpens, FourBitBitmapTakesThePalettesBlue)
{
    const QByteArray data = fixture("four-bit.bmp");
    ASSERT_FALSE(data.isEmpty());
    std::string error;
    expectGrey(loadBytes(data, error).get(), 16, 12, fourBitBlue);
}

TEST(PictureOpens, EightBitBitmapTakesThePalettesBlue)
{
    QImage indexed(16, 12, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(255 - i, i / 2, (i * 7) % 256);
    indexed.setColorTable(palette);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            indexed.setPixel(x, y, static_cast<uint>(x * 16 + y));
    std::string error;
    expectGrey(loadBytes(encoded(indexed, "BMP"), error).get(), 16, 12,
        [](int x, int y) { return ((x * 16 + y) * 7) % 256; });
}

TEST(PictureOpens, EightBitBitmapWhosePalettesBlueIsARampKeepsItsIndices)
{
    QImage indexed(16, 12, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(255 - i, i / 2, i);
    indexed.setColorTable(palette);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            indexed.setPixel(x, y, static_cast<uint>(x * 16 + y));
    std::string error;
    expectGrey(loadBytes(encoded(indexed, "BMP"), error).get(), 16, 12,
        [](int x, int y) { return x * 16 + y; });
}

TEST(PictureOpens, SixteenBitBitmapsTakeTheirFiveBitBlue)
{
    // Qt widens the 5-bit level to 8 bits; the top five bits are the level in the file.
    for (const char *name : {"rgb555.bmp", "rgb565.bmp"}) {
        SCOPED_TRACE(name);
        const QByteArray data = fixture(name);
        ASSERT_FALSE(data.isEmpty());
        std::string error;
        const auto bitmap = loadBytes(data, error);
        ASSERT_NE(bitmap, nullptr) << error;
        ASSERT_EQ(bitmap->W, 16);
        ASSERT_EQ(bitmap->H, 12);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(bitmap->grey(x, y) >> 3, fiveBitBlue(x, y)) << x << ", " << y;
    }
}

TEST(PictureOpens, TwentyFourBitBitmapTakesTheBlueByte)
{
    const QByteArray data = encoded(colourful(17, 13), "BMP");
    ASSERT_EQ(data[28], 24); // Qt writes a 32-bit image as a 24-bit bitmap
    std::string error;
    expectGrey(loadBytes(data, error).get(), 17, 13, blueAt);
}

TEST(PictureOpens, ThirtyTwoBitBitmapTakesTheBlueByte)
{
    QByteArray data = bmpHeader(5, 3, 32);
    for (int row = 2; row >= 0; --row) // bottom row first
        for (int x = 0; x < 5; ++x) {
            const int blue = blueAt(x, row);
            data.append(static_cast<char>(blue));
            data.append(static_cast<char>((blue + 170) % 256));
            data.append(static_cast<char>((blue + 85) % 256));
            data.append('\0');
        }
    std::string error;
    expectGrey(loadBytes(data, error).get(), 5, 3, blueAt);
}

TEST(PictureOpens, GifTakesThePalettesBlue)
{
    const QByteArray data = fixture("still.gif");
    ASSERT_FALSE(data.isEmpty());
    std::string error;
    expectGrey(loadBytes(data, error).get(), 16, 12, gifBlue);
}

TEST(PictureOpens, AnimatedGifShowsItsFirstFrame)
{
    const QByteArray data = fixture("animated.gif");
    ASSERT_FALSE(data.isEmpty());
    std::string error;
    expectGrey(loadBytes(data, error).get(), 16, 12, gifBlue); // the second frame is blue 60
}

TEST(PictureOpens, AnimatedGifCutInALaterFrameStillShowsTheFirst)
{
    const QByteArray whole = fixture("animated.gif");
    ASSERT_FALSE(whole.isEmpty());
    std::string error;
    expectGrey(loadBytes(whole.left(whole.size() - 3), error).get(), 16, 12, gifBlue);
}

TEST(PictureOpens, GifWhoseScreenIsLargerThanItsFrameOpensAtTheScreensSize)
{
    // Qt's reader reports less than the screen it decodes onto; the picture must not be
    // refused for needing more than was reported.
    QByteArray data = fixture("still.gif");
    ASSERT_FALSE(data.isEmpty());
    data[6] = static_cast<char>(3000 & 0xFF);
    data[7] = static_cast<char>(3000 >> 8);
    data[8] = static_cast<char>(2000 & 0xFF);
    data[9] = static_cast<char>(2000 >> 8);
    std::string error;
    const auto bitmap = loadBytes(data, error);
    ASSERT_NE(bitmap, nullptr) << error;
    EXPECT_EQ(bitmap->W, 3000);
    EXPECT_EQ(bitmap->H, 2000);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(bitmap->grey(x, y), gifBlue(x, y)) << x << ", " << y;
}

TEST(PictureOpens, ColourJpegTakesTheBlueChannel)
{
    std::string error;
    expectGrey(loadBytes(encoded(twoSquares(), "JPEG", 95), error).get(), 32, 16, twoSquaresBlue,
        kJpegTolerance);
}

TEST(PictureOpens, CmykJpegTakesTheBlueOfTheColoursQtGives)
{
    const QByteArray data = fixture("cmyk.jpg");
    ASSERT_FALSE(data.isEmpty());
    std::string error;
    expectGrey(loadBytes(data, error).get(), 32, 16, twoSquaresBlue, kJpegTolerance);
}

TEST(PictureOpens, GreyJpegKeepsItsLevels)
{
    QImage grey(32, 16, QImage::Format_Grayscale8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            grey.setPixel(x, y, x < 16 ? qRgb(60, 60, 60) : qRgb(190, 190, 190));
    const QByteArray data = encoded(grey, "JPEG", 95);
    ASSERT_EQ(QImage::fromData(data).format(), QImage::Format_Grayscale8);
    std::string error;
    expectGrey(
        loadBytes(data, error).get(), 32, 16, [](int x, int) { return x < 16 ? 60 : 190; },
        kJpegTolerance); // no colour to smooth
}

TEST(PictureOpens, FileWithAWrongExtensionIsReadByItsContent)
{
    TempDir dir;
    writeBytes(dir.file("jpeg.bmp"), encoded(twoSquares(), "JPEG", 95).toStdString());
    writeBytes(dir.file("bitmap.jpg"), encoded(colourful(9, 7), "BMP").toStdString());
    std::string error;
    expectGrey(PictureLoader::load(QString::fromStdString(dir.file("jpeg.bmp")), error).get(), 32,
        16, twoSquaresBlue, kJpegTolerance);
    expectGrey(PictureLoader::load(QString::fromStdString(dir.file("bitmap.jpg")), error).get(), 9,
        7, blueAt);
}

TEST(PictureOpens, PictureOf32767PixelsInOneDirectionOpens)
{
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(255 - i, i / 2, i);
    for (const QSize size : {QSize(32767, 1), QSize(1, 32767)}) {
        QImage strip(size, QImage::Format_Indexed8);
        strip.setColorTable(palette);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                strip.setPixel(x, y, static_cast<uint>((x + y) % 251));
        std::string error;
        expectGrey(loadBytes(encoded(strip, "BMP"), error).get(), size.width(), size.height(),
            [](int x, int y) { return (x + y) % 251; });
    }
}

TEST(PictureRefused, EmptyFilesAreRefusedWithQtsReason)
{
    TempDir dir;
    for (const char *name : {"empty.bmp", "empty.jpg", "empty.gif"}) {
        writeBytes(dir.file(name), "");
        std::string error;
        EXPECT_EQ(PictureLoader::load(QString::fromStdString(dir.file(name)), error), nullptr);
        EXPECT_NE(error, "") << name;
    }
    std::string error;
    EXPECT_EQ(loadBytes(QByteArray(), error), nullptr);
    EXPECT_NE(error, "");
}

TEST(PictureRefused, TruncatedBitmapIsRefusedWhereverItIsCut)
{
    const QByteArray whole = encoded(colourful(16, 12), "BMP");
    ASSERT_EQ(whole.size(), 54 + 12 * 48);
    std::string error;
    ASSERT_NE(loadBytes(whole, error), nullptr) << error;
    for (const int cut : {1, 2, 14, 30, 53, 54, 55, 300, 629}) {
        EXPECT_EQ(loadBytes(whole.left(cut), error), nullptr) << cut;
        EXPECT_NE(error, "") << cut;
        // Qt would decode these and leave the rows it could not read as they were in memory.
        if (cut >= 54) {
            EXPECT_EQ(error,
                "the file is incomplete: the picture needs 630 bytes, the file has "
                    + std::to_string(cut));
        }
    }
}

TEST(PictureRefused, TruncatedJpegIsRefusedWhereverItIsCut)
{
    const QByteArray whole = encoded(colourful(64, 48), "JPEG", 90);
    const qsizetype scan = whole.indexOf("\xFF\xDA");
    ASSERT_GT(scan, 0);
    std::string error;
    ASSERT_NE(loadBytes(whole, error), nullptr) << error;
    for (qsizetype cut = 1; cut < whole.size(); cut += whole.size() / 16 + 1) {
        EXPECT_EQ(loadBytes(whole.left(cut), error), nullptr) << cut;
        EXPECT_NE(error, "") << cut;
    }
    // Cut inside the coded data, Qt would show the missing part grey.
    for (const qsizetype cut : {scan + 20, whole.size() - 40, whole.size() - 2, whole.size() - 1}) {
        EXPECT_EQ(loadBytes(whole.left(cut), error), nullptr) << cut;
        EXPECT_EQ(error,
            "the file is incomplete: it ends after " + std::to_string(cut)
                + " bytes, inside the picture data");
    }
}

TEST(PictureRefused, TruncatedGifIsRefusedUntilItsFrameIsWhole)
{
    const QByteArray whole = fixture("still.gif");
    ASSERT_FALSE(whole.isEmpty());
    ASSERT_EQ(whole.right(2), QByteArray("\x00\x3B", 2)); // the frame's end, the trailer
    std::string error;
    for (qsizetype cut = 1; cut < whole.size() - 1; cut += 37) {
        EXPECT_EQ(loadBytes(whole.left(cut), error), nullptr) << cut;
        EXPECT_NE(error, "") << cut;
    }
    EXPECT_EQ(loadBytes(whole.left(whole.size() - 2), error), nullptr);
    EXPECT_EQ(error,
        "the file is incomplete: it ends after " + std::to_string(whole.size() - 2)
            + " bytes, inside the picture data");
    // Without its trailer the frame is still whole.
    expectGrey(loadBytes(whole.left(whole.size() - 1), error).get(), 16, 12, gifBlue);
}

TEST(PictureRefused, BitmapHeaderOf100000By100000PixelsIsRefused)
{
    std::string error;
    EXPECT_EQ(loadBytes(bmpHeader(100000, 100000, 24), error), nullptr);
    EXPECT_NE(error, "");
    EXPECT_EQ(PictureLoader::loadData(bmpHeader(100000, 100000, 24), error), nullptr);
}

TEST(PictureRefused, PictureOf32768PixelsInOneDirectionIsRefusedFromItsHeader)
{
    std::string error;
    EXPECT_EQ(loadBytes(bmpHeader(32768, 1, 24), error), nullptr);
    EXPECT_EQ(
        error, "the picture is 32768 x 1 pixels; at most 32767 pixels a side can be measured");
    EXPECT_EQ(loadBytes(bmpHeader(1, 32768, 8), error), nullptr);
    EXPECT_EQ(
        error, "the picture is 1 x 32768 pixels; at most 32767 pixels a side can be measured");

    // A JPEG's frame header, and a GIF's logical screen, which Qt's reader does not report.
    QByteArray jpeg = encoded(twoSquares(), "JPEG", 95);
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    jpeg[frame + 5] = static_cast<char>(40000 >> 8); // the height
    jpeg[frame + 6] = static_cast<char>(40000 & 0xFF);
    EXPECT_EQ(loadBytes(jpeg, error), nullptr);
    EXPECT_EQ(
        error, "the picture is 32 x 40000 pixels; at most 32767 pixels a side can be measured");
    QByteArray gif = fixture("still.gif");
    ASSERT_FALSE(gif.isEmpty());
    gif[6] = static_cast<char>(40000 & 0xFF);
    gif[7] = static_cast<char>(40000 >> 8);
    EXPECT_EQ(loadBytes(gif, error), nullptr);
    EXPECT_EQ(
        error, "the picture is 40000 x 12 pixels; at most 32767 pixels a side can be measured");
}

TEST(PictureRefused, PictureNeedingMoreMemoryThanAvailableIsRefusedFromItsHeader)
{
    // 20000 x 10000: 4 bytes a pixel decoded, 2 for the grey pixels and their undo copy, so
    // 1 200 000 000 bytes, 1144.4 MB.
    std::string error;
    EXPECT_EQ(loadBytes(bmpHeader(20000, 10000, 24), error, std::uint64_t{1} << 30), nullptr);
    EXPECT_EQ(error,
        "not enough memory for a picture of 20000 x 10000 pixels (1145 MB needed, 1024 MB "
        "available)");
}

TEST(PictureRefused, MemoryCheckCountsDecodingConversionAndGreyBuffers)
{
    // 16 x 12 at 24 bits: 768 bytes decoded and 2 x 192 grey.
    const QByteArray colour = encoded(colourful(16, 12), "BMP");
    std::string error;
    EXPECT_NE(loadBytes(colour, error, 1152), nullptr) << error;
    EXPECT_EQ(loadBytes(colour, error, 1151), nullptr);
    EXPECT_EQ(
        error, "not enough memory for a picture of 16 x 12 pixels (1 MB needed, 0 MB available)");
    // One bit a pixel is converted to 32-bit pixels before the blue is taken: 768 more.
    const QByteArray mono = fixture("one-bit.bmp");
    ASSERT_FALSE(mono.isEmpty());
    EXPECT_NE(loadBytes(mono, error, 1920), nullptr) << error;
    EXPECT_EQ(loadBytes(mono, error, 1919), nullptr);
    // Rows of the grey buffer are rounded up to 4 bytes: 17 x 13 needs 2 x 20 x 13 for them.
    const QByteArray odd = encoded(colourful(17, 13), "BMP");
    EXPECT_NE(loadBytes(odd, error, 17 * 13 * 4 + 2 * 20 * 13), nullptr) << error;
    EXPECT_EQ(loadBytes(odd, error, 17 * 13 * 4 + 2 * 20 * 13 - 1), nullptr);
}

TEST(PictureRefused, BitmapHeaderWithoutItsPixelsIsRefusedBeforeDecoding)
{
    std::string error;
    EXPECT_EQ(loadBytes(bmpHeader(20000, 10000, 24), error), nullptr);
    EXPECT_EQ(error, "the file is incomplete: the picture needs 600000054 bytes, the file has 54");
}

TEST(PictureRefused, JpegHeaderAnnouncingMoreThanItsDataCanHoldIsRefused)
{
    QByteArray jpeg = encoded(twoSquares(), "JPEG", 95);
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    for (const qsizetype at : {frame + 5, frame + 7}) { // height, then width: 30000 each
        jpeg[at] = static_cast<char>(30000 >> 8);
        jpeg[at + 1] = static_cast<char>(30000 & 0xFF);
    }
    std::string error;
    EXPECT_EQ(loadBytes(jpeg, error), nullptr);
    EXPECT_EQ(error,
        "the file has " + std::to_string(jpeg.size())
            + " bytes, too few for a picture of 30000 x 30000 pixels");
}

TEST(PictureRefused, QtsAllocationLimitIsPutBackAfterEachPicture)
{
    // Raised or lowered for one picture, a limit left behind would refuse the program's own
    // pictures later or let any other reader allocate without bound.
    const int before = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(200);
    std::string error;
    EXPECT_NE(loadBytes(encoded(colourful(16, 12), "BMP"), error), nullptr);
    EXPECT_EQ(QImageReader::allocationLimit(), 200);
    EXPECT_NE(loadBytes(encoded(colourful(3000, 2000), "BMP"), error), nullptr);
    EXPECT_EQ(QImageReader::allocationLimit(), 200);
    EXPECT_EQ(loadBytes(encoded(colourful(16, 12), "BMP").left(100), error), nullptr);
    EXPECT_EQ(QImageReader::allocationLimit(), 200);
    QImageReader::setAllocationLimit(before);
}

namespace {

class PictureWindow : public ::testing::Test, public TestWindows
{
protected:
    RecordingMessages messages;
};

} // namespace

TEST_F(PictureWindow, RefusedPictureShowsLoadErrorAndKeepsTheRadiograph)
{
    const std::string first = dir.file("first.bmp");
    ASSERT_TRUE(writeBmp(first, 300, 200, [](int x, int y) { return (x + y) % 256; }));
    MainForm *w = open(first, QSize(600, 500));
    ASSERT_NE(w, nullptr);
    const CBitmap *bitmap = w->pixels();
    const COxel *measurement = w->measurement();
    const QImage shown = w->pictureBox()->canvas().copy();

    const std::string cut = dir.file("cut.bmp");
    ASSERT_TRUE(writeGreyBmp(cut, 16, 12));
    writeBytes(cut, readBytes(cut).substr(0, 629));
    nextPicture = QString::fromStdString(cut);
    w->action("m_Open")->trigger();

    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text,
        "load Error: the file is incomplete: the picture needs 630 bytes, the file has 629");
    EXPECT_EQ(messages.boxes[0].title, "Error");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(w->pixels(), bitmap);
    EXPECT_EQ(w->measurement(), measurement);
    EXPECT_EQ(w->windowTitle().toStdString(), first);
    EXPECT_EQ(w->pictureBox()->canvas(), shown);
}
