#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/image/CBitmap.h"
#include "core/image/Global.h"

namespace {

// A picture given as grey levels, row 0 at the top; handed over as 24-bit rows with distinct
// green and red so that only the blue byte can make the grey level.
struct Picture
{
    int width, height;
    std::vector<std::uint8_t> grey;

    std::uint8_t &at(int x, int y) { return grey[static_cast<std::size_t>(y * width + x)]; }

    std::uint8_t at(int x, int y) const { return grey[static_cast<std::size_t>(y * width + x)]; }

    std::vector<std::uint8_t> bgrRows(std::size_t rowBytes) const
    {
        std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(height), 0xEE);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t *p =
                    &rows[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(3 * x)];
                p[0] = at(x, y);
                p[1] = static_cast<std::uint8_t>(255 - at(x, y));
                p[2] = static_cast<std::uint8_t>(x * 7 + y);
            }
        return rows;
    }
};

Picture uniform(int width, int height, std::uint8_t level)
{
    return {
        width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), level)};
}

Picture random(int width, int height, unsigned seed, bool blackAndWhite = false)
{
    Picture p = uniform(width, height, 0);
    std::mt19937 generator(seed);
    for (auto &v : p.grey)
        v = static_cast<std::uint8_t>(blackAndWhite ? (generator() & 1) * 255 : generator() & 255);
    return p;
}

CBitmap load(const Picture &p)
{
    CBitmap bitmap;
    const std::size_t rowBytes = static_cast<std::size_t>(3 * p.width + 5); // not a multiple of 4
    const auto rows = p.bgrRows(rowBytes);
    std::string error;
    EXPECT_TRUE(bitmap.init(rows.data(), p.width, p.height, rowBytes, error)) << error;
    return bitmap;
}

Picture contents(const CBitmap &b)
{
    Picture p = uniform(b.W, b.H, 0);
    for (int y = 0; y < b.H; ++y)
        for (int x = 0; x < b.W; ++x)
            p.at(x, y) = b.grey(x, y);
    return p;
}

// The filter by its definition: the weighted sum in doubles, 0 below -0.5, 255 from 255.5,
// halves to even, the border kept.
Picture reference(const Picture &in, const Kernel &w)
{
    Picture out = in;
    const int n = w.N();
    for (int y = n; y < in.height - n; ++y)
        for (int x = n; x < in.width - n; ++x) {
            double sum = 0;
            for (int j = -n; j <= n; ++j)
                for (int k = -n; k <= n; ++k)
                    sum += in.at(x - k, y - j) * static_cast<double>(w.weight(k, j));
            out.at(x, y) = sum < -0.5 ? 0
                : sum >= 255.5        ? 255
                                      : static_cast<std::uint8_t>(std::nearbyint(sum));
        }
    return out;
}

bool samePixels(const Picture &a, const Picture &b)
{
    return a.width == b.width && a.height == b.height && a.grey == b.grey;
}

} // namespace

TEST(PixelBuffer, GreyIsTheBlueByteInBottomUpPaddedRows)
{
    Picture p = uniform(5, 3, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            p.at(x, y) = static_cast<std::uint8_t>(10 * y + x);
    const CBitmap b = load(p);
    EXPECT_EQ(b.W, 5);
    EXPECT_EQ(b.H, 3);
    EXPECT_EQ(b.stride(), 8u);
    EXPECT_TRUE(samePixels(contents(b), p));
    // Row 0 of the buffer is the picture's bottom row; padding bytes are 0.
    EXPECT_EQ(b.pixels()[0], 20);
    EXPECT_EQ(b.pixels()[4], 24);
    EXPECT_EQ(b.pixels()[5], 0);
    EXPECT_EQ(b.pixels()[7], 0);
    EXPECT_EQ(b.pixels()[2 * 8 + 1], 1);
    EXPECT_EQ(b.ColorScale, 256);
    EXPECT_EQ(b.ColorOffset, 0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(b.colorTable()[static_cast<std::size_t>(i)], i);
}

TEST(PixelBuffer, TakesGreyRowsAndThirtyTwoBitPixels)
{
    // Two rows of three pixels: grey bytes with a row gap, and 32-bit pixels blue first.
    const std::uint8_t grey[] = {1, 2, 3, 99, 4, 5, 6, 99};
    CBitmap fromGrey;
    std::string error;
    ASSERT_TRUE(fromGrey.init(grey, 3, 2, 4, error, 1)) << error;
    EXPECT_EQ(fromGrey.grey(0, 0), 1);
    EXPECT_EQ(fromGrey.grey(2, 1), 6);
    const std::uint8_t argb[] = {
        10, 200, 201, 255, 11, 200, 201, 255, 12, 0, 0, 0, 13, 1, 1, 1, 14, 1, 1, 1, 15, 1, 1, 1};
    CBitmap fromArgb;
    ASSERT_TRUE(fromArgb.init(argb, 3, 2, 12, error, 4)) << error;
    EXPECT_EQ(fromArgb.grey(1, 0), 11);
    EXPECT_EQ(fromArgb.grey(2, 1), 15);
    EXPECT_EQ(fromArgb.pixels()[3], 0); // padding of the bottom row

    std::array<std::uint8_t, 256> palette{};
    palette[1] = 200;
    palette[4] = 7;
    CBitmap fromIndices;
    ASSERT_TRUE(fromIndices.init(grey, 3, 2, 4, error, 1, &palette)) << error;
    EXPECT_EQ(fromIndices.grey(0, 0), 200);
    EXPECT_EQ(fromIndices.grey(0, 1), 7);
    EXPECT_EQ(fromIndices.grey(1, 1), 0);
}

TEST(PixelBuffer, ReservedPixelsAreTakenOverWhenTheSizeAgrees)
{
    const Picture p = random(7, 5, 9);
    const std::size_t rowBytes = 21;
    const auto rows = p.bgrRows(rowBytes);
    std::string error;

    CBitmap same;
    same.reserve(7, 5);
    const std::uint8_t *reserved = same.pixels();
    ASSERT_NE(reserved, nullptr);
    ASSERT_TRUE(same.init(rows.data(), 7, 5, rowBytes, error));
    EXPECT_EQ(same.pixels(), reserved);
    EXPECT_TRUE(samePixels(contents(same), p));

    CBitmap other;
    other.reserve(8, 5); // another size: a buffer of its own
    ASSERT_TRUE(other.init(rows.data(), 7, 5, rowBytes, error));
    EXPECT_TRUE(samePixels(contents(other), p));
    EXPECT_EQ(other.pixels()[7], 0); // padding

    same.reserve(7, 5); // a buffer holding a picture keeps it
    EXPECT_EQ(same.pixels(), reserved);
    EXPECT_TRUE(samePixels(contents(same), p));
}

TEST(PixelBuffer, RefusesPicturesBeyondSixteenBitSidesAndEmptyOnes)
{
    const std::vector<std::uint8_t> row(3 * 32768, 0);
    for (auto [w, h] :
        {std::pair{32768, 1}, std::pair{1, 32768}, std::pair{0, 5}, std::pair{5, 0}}) {
        CBitmap b;
        std::string error;
        EXPECT_FALSE(b.init(row.data(), w, h, 0, error)) << w << " x " << h;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(b.isInitialised());
        EXPECT_EQ(b.W, 0);
    }
    CBitmap tall;
    std::string tooLarge;
    EXPECT_FALSE(tall.init(row.data(), 1, 32768, 0, tooLarge));
    EXPECT_EQ(
        tooLarge, "the picture is 1 x 32768 pixels; at most 32767 pixels a side can be measured");
    CBitmap widest;
    std::string error;
    EXPECT_TRUE(widest.init(row.data(), 32767, 1, 0, error)) << error;
    EXPECT_EQ(widest.W, 32767);
}

TEST(ColourTable, ContrastAndBrightness)
{
    CBitmap b = load(uniform(4, 4, 0));
    b.ColorScale = 512;
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[100], 200);
    EXPECT_EQ(b.colorTable()[128], 255);
    b.ColorScale = 256;
    b.ColorOffset = 100;
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[0], 100);
    EXPECT_EQ(b.colorTable()[155], 255);

    b.ColorScale = 0;
    b.ColorOffset = 77;
    b.CreateColors();
    for (auto v : b.colorTable())
        EXPECT_EQ(v, 77);
    b.ColorOffset = -5;
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[200], 0);

    b.ColorScale = -256; // reverses the ramp before clamping
    b.ColorOffset = 255;
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[0], 255);
    EXPECT_EQ(b.colorTable()[255], 0);
    EXPECT_EQ(b.colorTable()[55], 200);
}

TEST(ColourTable, HalvesRoundToEven)
{
    CBitmap b = load(uniform(4, 4, 0));
    b.ColorScale = 128; // i / 2
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[1], 0); // 0.5
    EXPECT_EQ(b.colorTable()[3], 2); // 1.5
    EXPECT_EQ(b.colorTable()[5], 2); // 2.5
    EXPECT_EQ(b.colorTable()[7], 4); // 3.5
    b.Reset();
    EXPECT_EQ(b.ColorScale, 256);
    EXPECT_EQ(b.colorTable()[7], 7);
}

TEST(ColourTable, InversionIsUndoneByItselfAndDroppedByABrightnessChange)
{
    CBitmap b = load(random(6, 6, 1));
    const Picture before = contents(b);
    b.ColorScale = 300;
    b.CreateColors();
    const auto adjusted = b.colorTable();
    b.Invert();
    EXPECT_EQ(b.colorTable()[0], 255 - adjusted[0]);
    EXPECT_EQ(b.colorTable()[200], 255 - adjusted[200]);
    b.Invert();
    EXPECT_EQ(b.colorTable(), adjusted);

    b.Invert();
    b.ColorOffset = 10;
    b.CreateColors();
    EXPECT_EQ(b.colorTable()[0], 10); // not inverted any more
    EXPECT_TRUE(samePixels(contents(b), before)); // the table alone changed

    CBitmap empty;
    empty.Invert();
    EXPECT_EQ(empty.colorTable()[0], 0);
}

TEST(Sharpening, KernelsAreBuiltOnceAndOnlyForThreeLevels)
{
    EXPECT_EQ(Global::SharpenKernel(0), nullptr);
    EXPECT_EQ(Global::SharpenKernel(4), nullptr);
    for (int level = 1; level <= 3; ++level) {
        const Kernel *k = Global::SharpenKernel(level);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k, Global::SharpenKernel(level));
        double sum = 0;
        for (int j = -k->N(); j <= k->N(); ++j)
            for (int i = -k->N(); i <= k->N(); ++i) {
                sum += k->weight(i, j);
                EXPECT_EQ(k->weight(i, j), k->weight(j, i));
                EXPECT_EQ(k->weight(i, j), k->weight(-i, j));
            }
        EXPECT_EQ(sum, 1.0);
    }
    EXPECT_EQ(Global::SharpenKernel(3)->N(), 2);
    EXPECT_EQ(Global::SharpenKernel(2)->weight(0, 0), 5.0f);
    EXPECT_EQ(Global::SharpenKernel(1)->weight(1, 0), -0.25f);
}

TEST(Sharpening, EqualsTheDefinitionExactlyOnEveryPixel)
{
    // Odd widths exercise the ends of vectorised loops; the largest picture is split between
    // two threads.
    for (auto [w, h] : {std::pair{37, 23}, std::pair{258, 131}, std::pair{700, 600}}) {
        for (bool blackAndWhite : {false, true}) {
            const Picture p = random(w, h, static_cast<unsigned>(w * 31 + h), blackAndWhite);
            for (int level = 1; level <= 3; ++level) {
                CBitmap b = load(p);
                b.Filter(*Global::SharpenKernel(level));
                EXPECT_TRUE(samePixels(contents(b), reference(p, *Global::SharpenKernel(level))))
                    << w << " x " << h << " level " << level
                    << (blackAndWhite ? " 0/255" : " random");
            }
        }
    }
}

TEST(Sharpening, AnyOtherKernelFollowsTheDefinitionToo)
{
    const Kernel blur(
        1, {0.0625f, 0.125f, 0.0625f, 0.125f, 0.25f, 0.125f, 0.0625f, 0.125f, 0.0625f});
    const Kernel skewed(1, {0, 0, 0, 0, 0.5f, 1.25f, 0, 0, 0}); // not symmetric
    const Picture p = random(40, 30, 7);
    for (const Kernel *k : {&blur, &skewed}) {
        CBitmap b = load(p);
        b.Filter(*k);
        EXPECT_TRUE(samePixels(contents(b), reference(p, *k)));
    }
}

TEST(Sharpening, UniformAreaStaysAndABrightDotSaturates)
{
    for (int level = 1; level <= 3; ++level) {
        CBitmap b = load(uniform(9, 8, 93));
        b.Filter(*Global::SharpenKernel(level));
        EXPECT_TRUE(samePixels(contents(b), uniform(9, 8, 93)));
    }
    Picture dot = uniform(7, 7, 0);
    dot.at(3, 3) = 255;
    CBitmap b = load(dot);
    b.Filter(*Global::SharpenKernel(2));
    EXPECT_EQ(b.grey(3, 3), 255);
    EXPECT_EQ(b.grey(2, 3), 0);
    EXPECT_EQ(b.grey(3, 4), 0);
}

TEST(Sharpening, PictureSmallerThanTheKernelIsUnchanged)
{
    const Picture p = random(4, 9, 3); // narrower than the 5 x 5 kernel
    CBitmap b = load(p);
    b.Filter(*Global::SharpenKernel(3));
    EXPECT_TRUE(samePixels(contents(b), p));
    b.UndoFilter();
    EXPECT_TRUE(samePixels(contents(b), p));
}

TEST(Sharpening, UndoGoesBackOneFilterOnly)
{
    const Picture p = random(50, 40, 11);
    CBitmap b = load(p);
    b.UndoFilter(); // nothing to undo yet
    EXPECT_TRUE(samePixels(contents(b), p));
    b.Filter(*Global::SharpenKernel(1));
    const Picture once = contents(b);
    EXPECT_FALSE(samePixels(once, p));
    b.Filter(*Global::SharpenKernel(3));
    EXPECT_TRUE(samePixels(contents(b), reference(once, *Global::SharpenKernel(3))));
    b.UndoFilter();
    EXPECT_TRUE(samePixels(contents(b), once));
    b.UndoFilter();
    EXPECT_TRUE(samePixels(contents(b), once));
    // Padding stays 0 through filtering and undoing.
    for (int y = 0; y < b.H; ++y)
        for (std::size_t x = static_cast<std::size_t>(b.W); x < b.stride(); ++x)
            EXPECT_EQ(b.pixels()[static_cast<std::size_t>(y) * b.stride() + x], 0);
}

// The loaded pixels read through the bottom-up rows at loadedPixels().
Picture loadedContents(const CBitmap &b)
{
    Picture p = uniform(b.W, b.H, 0);
    for (int y = 0; y < b.H; ++y)
        for (int x = 0; x < b.W; ++x)
            p.at(x, y) = b.loadedPixels()[static_cast<std::size_t>(b.H - 1 - y) * b.stride()
                + static_cast<std::size_t>(x)];
    return p;
}

TEST(Sharpening, LoadedPixelsOutlastEverySharpeningUntilNewPixels)
{
    EXPECT_EQ(CBitmap().loadedPixels(), nullptr);
    const Picture p = random(30, 20, 7);
    CBitmap b = load(p);
    EXPECT_EQ(b.loadedPixels(), b.pixels()); // nothing sharpened: the pixels themselves
    b.Invert();
    for (int level : {1, 3, 2, 3}) {
        b.Filter(*Global::SharpenKernel(level));
        EXPECT_FALSE(samePixels(contents(b), p));
        EXPECT_TRUE(samePixels(loadedContents(b), p)) << "after sharpening " << level;
    }
    // Undo still takes back only the last sharpening.
    const Picture beforeLast = contents(b);
    b.Filter(*Global::SharpenKernel(1));
    b.UndoFilter();
    EXPECT_TRUE(samePixels(contents(b), beforeLast));
    EXPECT_TRUE(samePixels(loadedContents(b), p));

    const Picture other = random(30, 20, 8);
    b.refill([&other](int y, std::uint8_t *row) {
        for (int x = 0; x < other.width; ++x)
            row[x] = other.at(x, y);
    });
    EXPECT_TRUE(samePixels(loadedContents(b), other));
    b.Filter(*Global::SharpenKernel(2));
    EXPECT_TRUE(samePixels(loadedContents(b), other));
}

TEST(PixelBuffer, EveryChangeIsReported)
{
    CBitmap b = load(random(8, 8, 5));
    std::vector<BitmapChange> changes;
    b.setObserver([&changes](BitmapChange c) { changes.push_back(c); });
    b.CreateColors();
    b.Invert();
    b.Reset();
    b.UndoFilter(); // nothing to undo: nothing changes
    b.Filter(*Global::SharpenKernel(2));
    b.UndoFilter();
    EXPECT_EQ(changes,
        (std::vector<BitmapChange>{BitmapChange::Colors, BitmapChange::Colors, BitmapChange::Colors,
            BitmapChange::Pixels, BitmapChange::Pixels}));
}

TEST(PixelBuffer, TakesGreyRowsFromAWriterAsFromMemory)
{
    // A picture large enough to be filled on two threads, every row distinct.
    const Picture p = random(1001, 600, 21);
    CBitmap fromRows;
    std::string error;
    ASSERT_TRUE(fromRows.init(
        p.grey.data(), p.width, p.height, static_cast<std::size_t>(p.width), error, 1))
        << error;
    CBitmap fromWriter;
    ASSERT_TRUE(fromWriter.init(
        p.width, p.height,
        [&p](int y, std::uint8_t *row) {
            std::memcpy(row, &p.grey[static_cast<std::size_t>(y * p.width)],
                static_cast<std::size_t>(p.width));
        },
        error))
        << error;
    ASSERT_EQ(fromWriter.stride(), fromRows.stride());
    EXPECT_EQ(std::memcmp(fromWriter.pixels(), fromRows.pixels(),
                  fromRows.stride() * static_cast<std::size_t>(p.height)),
        0); // padding included
    CBitmap tooWide;
    EXPECT_FALSE(tooWide.init(
        32768, 1, [](int, std::uint8_t *) {}, error));
    EXPECT_EQ(error, CBitmap::tooLargeText(32768, 1));
}

TEST(PixelBuffer, RefillKeepsTheColourTableAndDropsTheSharpeningUndo)
{
    const Picture before = random(30, 20, 3);
    const Picture after = random(30, 20, 4);
    const auto fill = [](const Picture &p) {
        return [&p](int y, std::uint8_t *row) {
            for (int x = 0; x < p.width; ++x)
                row[x] = p.at(x, y);
        };
    };
    CBitmap unused;
    unused.refill(fill(after)); // nothing before init
    EXPECT_FALSE(unused.isInitialised());

    CBitmap b = load(before);
    b.ColorScale = 300;
    b.CreateColors();
    b.Invert();
    const auto table = b.colorTable();
    b.Filter(*Global::SharpenKernel(2));
    ASSERT_TRUE(b.hasFilterToUndo());
    std::vector<BitmapChange> changes;
    b.setObserver([&changes](BitmapChange c) { changes.push_back(c); });

    b.refill(fill(after));
    EXPECT_TRUE(samePixels(contents(b), after));
    EXPECT_EQ(b.colorTable(), table);
    EXPECT_EQ(b.ColorScale, 300);
    EXPECT_FALSE(b.hasFilterToUndo());
    b.UndoFilter(); // the sharpening went with the old pixels
    EXPECT_TRUE(samePixels(contents(b), after));
    EXPECT_EQ(changes, std::vector<BitmapChange>{BitmapChange::Pixels});
    for (int y = 0; y < b.H; ++y)
        for (std::size_t x = static_cast<std::size_t>(b.W); x < b.stride(); ++x)
            EXPECT_EQ(b.pixels()[static_cast<std::size_t>(y) * b.stride() + x], 0);
}
