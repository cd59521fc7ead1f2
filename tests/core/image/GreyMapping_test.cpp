#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/Global.h"
#include "core/image/GreyMapping.h"
#include "support/DicomWriter.h"

// The expected grey levels are the standard's functions worked by hand, rounded to the nearest
// level with halves to even; c is the window centre, w its width, x the modality value.

namespace {

using Kind = GreyMapping::Choice::Kind;

struct Picture
{
    std::vector<int> values; // one row
    std::vector<DicomElement> header;
    int bitsStored = 12;
    bool isSigned = false;
    std::string photometric = "MONOCHROME2";
};

std::unique_ptr<DicomPicture> read(const Picture &p)
{
    DicomPixels pixels;
    pixels.width = static_cast<int>(p.values.size());
    pixels.bitsStored = p.bitsStored;
    pixels.isSigned = p.isSigned;
    pixels.photometric = p.photometric;
    pixels.values = p.values;
    const std::string file = writeDicom(pixels, p.header);
    std::string error;
    auto picture = DicomPicture::read(reinterpret_cast<const std::uint8_t *>(file.data()),
        file.size(), error, std::uint64_t{1} << 30);
    EXPECT_TRUE(picture) << error;
    return picture;
}

DicomElement centre(const std::string &values)
{
    return dicomText(0x0028, 0x1050, "DS", values);
}

DicomElement width(const std::string &values)
{
    return dicomText(0x0028, 0x1051, "DS", values);
}

DicomElement function(const std::string &name)
{
    return dicomText(0x0028, 0x1056, "CS", name);
}

// A VOI LUT Sequence item: LUT Descriptor (entries, first input, bits) and LUT Data.
std::vector<DicomElement> lutItem(const std::vector<int> &descriptor, const std::vector<int> &data,
    const std::string &explanation = "")
{
    std::vector<DicomElement> item{
        dicomWords(0x0028, 0x3002, "US", descriptor), dicomWords(0x0028, 0x3006, "OW", data)};
    if (!explanation.empty())
        item.push_back(dicomText(0x0028, 0x3003, "LO", explanation));
    return item;
}

struct Expected
{
    int stored, grey;
};

void expectGreys(const DicomPicture &picture, const GreyMapping::Choice &choice,
    const std::vector<Expected> &expected)
{
    const GreyMapping mapping(picture, choice);
    for (const Expected e : expected)
        EXPECT_EQ(mapping.grey(e.stored), e.grey) << "stored " << e.stored;
}

} // namespace

TEST(GreyWindow, LinearFollowsTheStandardAtItsEdges)
{
    // y = ((x - (c - 0.5)) / (w - 1) + 0.5) x 255 between the ends c - 0.5 -/+ (w - 1) / 2;
    // 0 at or below the lower end, 255 above the upper.
    const auto picture = read({{0, 4095}, {centre("100\\100.5\\50"), width("11\\11\\1")}});
    ASSERT_TRUE(picture);
    const auto choices = GreyMapping::choices(*picture);
    ASSERT_EQ(choices.size(), 5u); // three windows, Full range, Automatic
    // c 100, w 11: the ends are 94.5 and 104.5.
    expectGreys(*picture, choices[0],
        {{0, 0}, {94, 0}, {95, 13}, {99, 115}, {100, 140}, {104, 242}, {105, 255}, {4095, 255}});
    // c 100.5, w 11: the ends are 95 and 105; the centre gives 127.5, which rounds to 128.
    expectGreys(*picture, choices[1], {{95, 0}, {96, 26}, {100, 128}, {101, 153}, {105, 255}});
    // c 50, w 1: black up to 49.5, white above.
    expectGreys(*picture, choices[2], {{49, 0}, {50, 255}});
}

TEST(GreyWindow, LinearExactAndSigmoidFollowTheStandard)
{
    // Linear exact: y = ((x - c) / w + 0.5) x 255 between c - w/2 (excluded) and c + w/2.
    const auto exact = read({{0, 4095}, {centre("100"), width("10"), function("LINEAR_EXACT")}});
    ASSERT_TRUE(exact);
    expectGreys(*exact, GreyMapping::defaultChoice(*exact),
        {{95, 0}, {96, 26}, {100, 128}, {104, 230}, {105, 255}, {106, 255}});
    // The same window as Linear: at 96, ((96 - 99.5) / 9 + 0.5) x 255 = 28.33.
    expectGreys(*exact, GreyMapping::window(100, 10), {{96, 28}, {95, 0}});

    // Sigmoid: y = 255 / (1 + exp(-4 (x - c) / w)), c 100, w 40.
    const auto sigmoid = read({{0, 4095}, {centre("100"), width("40"), function("SIGMOID")}});
    ASSERT_TRUE(sigmoid);
    expectGreys(*sigmoid, GreyMapping::defaultChoice(*sigmoid),
        {{0, 0}, {60, 5}, {90, 69}, {100, 128}, {110, 186}, {140, 250}, {4095, 255}});

    // Widths a function cannot use are left out, with a warning.
    const auto narrow = read({{0, 4095}, {centre("100\\100"), width("0\\0.5")}});
    ASSERT_TRUE(narrow);
    EXPECT_TRUE(narrow->header().windows.empty());
    EXPECT_EQ(narrow->header().warnings.size(), 2u);
    EXPECT_EQ(GreyMapping::defaultChoice(*narrow).kind, Kind::FullRange);
}

TEST(GreyModality, RescaleAndTheModalityTableComeBeforeTheWindow)
{
    // x = 2 stored - 1000 under the window c 100, w 11 (ends 94.5 and 104.5).
    const auto rescaled = read({{0, 4095},
        {centre("100"), width("11"), dicomText(0x0028, 0x1053, "DS", "2"),
            dicomText(0x0028, 0x1052, "DS", "-1000")}});
    ASSERT_TRUE(rescaled);
    // 547 gives 94, 548 gives 96: (96 - 99.5) / 10 + 0.5 = 0.15, 38.25.
    expectGreys(*rescaled, GreyMapping::defaultChoice(*rescaled),
        {{547, 0}, {548, 38}, {550, 140}, {552, 242}, {553, 255}});

    // Signed stored values: -1000 under c -1000, w 11 gives 0.55 x 255 = 140.25.
    const auto negative = read({{-32768, 32767}, {centre("-1000"), width("11")}, 16, true});
    ASSERT_TRUE(negative);
    expectGreys(*negative, GreyMapping::defaultChoice(*negative),
        {{-1000, 140}, {-1006, 0}, {-995, 255}, {-32768, 0}});

    // A table of four entries from stored value 10: 0, 1000, 2000, 3000, under c 1500,
    // w 2001 (ends 499.5 and 2499.5).
    const auto table = read({{0, 4095},
        {centre("1500"), width("2001"),
            dicomSequence(0x0028, 0x3000, {lutItem({4, 10, 16}, {0, 1000, 2000, 3000})})}});
    ASSERT_TRUE(table);
    EXPECT_EQ(table->modalityValue(9), 0); // below the first input: the first entry
    EXPECT_EQ(table->modalityValue(11), 1000);
    EXPECT_EQ(table->modalityValue(99), 3000); // above the last input: the last entry
    // 1000: (1000 - 1499.5) / 2000 + 0.5 = 0.25025, 63.81; 2000: 0.75025, 191.31.
    expectGreys(*table, GreyMapping::defaultChoice(*table),
        {{9, 0}, {10, 0}, {11, 64}, {12, 191}, {13, 255}, {99, 255}});
}

TEST(GreyVoiLut, EntriesAreScaledFromTheirBitsAndTheEndsHeld)
{
    const auto picture = read({{0, 4095},
        {dicomSequence(0x0028, 0x3010,
            {lutItem({3, 100, 12}, {0, 2048, 4095}, "BONE"), lutItem({2, 0, 8}, {10, 200})})}});
    ASSERT_TRUE(picture);
    const auto choices = GreyMapping::choices(*picture);
    ASSERT_EQ(choices.size(), 4u);
    EXPECT_EQ(choices[0].caption, "BONE");
    EXPECT_EQ(choices[1].caption, "VOI LUT 2");
    EXPECT_EQ(GreyMapping::defaultChoice(*picture).kind, Kind::Lut);
    // 12-bit entries: 2048 x 255 / 4095 = 127.53.
    expectGreys(
        *picture, choices[0], {{0, 0}, {99, 0}, {100, 0}, {101, 128}, {102, 255}, {500, 255}});
    // 8-bit entries: as they are.
    expectGreys(*picture, choices[1], {{0, 10}, {1, 200}, {5, 200}});
}

TEST(GreyInversion, PicturesMeantInverseShowBoneWhiteAndPaddingBlack)
{
    // c 100, w 11 gives 140 at 100, 0 at 94 and 255 at 105 upright.
    const std::vector<DicomElement> window{
        centre("100"), width("11"), dicomWords(0x0028, 0x0120, "US", {0})};
    const DicomElement inverse = dicomText(0x2050, 0x0020, "CS", "INVERSE");

    struct Case
    {
        std::string photometric;
        bool inverseShape;
    };

    for (const Case &c :
        {Case{"MONOCHROME1", false}, Case{"MONOCHROME2", true}, Case{"MONOCHROME1", true}}) {
        SCOPED_TRACE(c.photometric + (c.inverseShape ? " INVERSE" : ""));
        std::vector<DicomElement> header = window;
        if (c.inverseShape)
            header.push_back(inverse);
        const auto picture = read({{0, 4095}, header, 12, false, c.photometric});
        ASSERT_TRUE(picture);
        EXPECT_TRUE(picture->showsInverted());
        expectGreys(*picture, GreyMapping::defaultChoice(*picture),
            {{94, 255}, {100, 115}, {105, 0}, {0, 0}});
    }
    const auto upright = read({{0, 4095}, window});
    ASSERT_TRUE(upright);
    EXPECT_FALSE(upright->showsInverted());
}

TEST(GreyRange, FullRangeSpansTheValuesPresentLeavingPaddingBlack)
{
    // Without a window: 1000 black, 3000 white, 2000 at 127.5, which rounds to 128.
    const auto padded = read({{0, 1000, 2000, 3000}, {dicomWords(0x0028, 0x0120, "US", {0})}});
    ASSERT_TRUE(padded);
    EXPECT_EQ(GreyMapping::defaultChoice(*padded).kind, Kind::FullRange);
    const auto range = padded->modalityRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->lowest, 1000);
    EXPECT_EQ(range->highest, 3000);
    expectGreys(*padded, GreyMapping::defaultChoice(*padded),
        {{0, 0}, {500, 0}, {1000, 0}, {2000, 128}, {3000, 255}, {4095, 255}});
    // Padding up to a range limit: 0 to 1000 are padding, so 2000 .. 3000 is the range.
    const auto limited = read({{0, 1000, 2000, 3000},
        {dicomWords(0x0028, 0x0120, "US", {0}), dicomWords(0x0028, 0x0121, "US", {1000})}});
    ASSERT_TRUE(limited);
    expectGreys(*limited, GreyMapping::defaultChoice(*limited),
        {{1000, 0}, {2000, 0}, {2500, 128}, {3000, 255}});
    // Signed padding at the lowest value: -100 .. 100 is the range, and 0 lies halfway.
    const auto signedPadding =
        read({{-32768, -100, 100}, {dicomWords(0x0028, 0x0120, "SS", {-32768})}, 16, true});
    ASSERT_TRUE(signedPadding);
    expectGreys(*signedPadding, GreyMapping::defaultChoice(*signedPadding),
        {{-32768, 0}, {-100, 0}, {0, 128}, {100, 255}});
    // A window shows padding black too.
    const auto windowed =
        read({{0, 1000}, {centre("0"), width("100"), dicomWords(0x0028, 0x0120, "US", {1000})}});
    ASSERT_TRUE(windowed);
    expectGreys(*windowed, GreyMapping::defaultChoice(*windowed), {{1000, 0}, {999, 255}});
}

TEST(GreyRange, AutomaticStretchesBetweenTheHalfPercentPoints)
{
    // 1000 pixels: 4 at 0, 498 at 100, 494 at 200, 4 at 4000. The 5th pixel from the bottom
    // is 100 and the 995th is 200: 100 black, 200 white, 150 at 127.5.
    std::vector<int> values(4, 0);
    values.insert(values.end(), 498, 100);
    values.insert(values.end(), 494, 200);
    values.insert(values.end(), 4, 4000);
    const auto picture = read({values, {}});
    ASSERT_TRUE(picture);
    const auto choices = GreyMapping::choices(*picture);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].caption, "Full range");
    EXPECT_EQ(choices[1].caption, "Automatic");
    expectGreys(*picture, choices[1], {{0, 0}, {100, 0}, {150, 128}, {200, 255}, {4000, 255}});
    // Full range: 0 .. 4000, so 100 gives 6.375 and 200 gives 12.75.
    expectGreys(*picture, choices[0], {{0, 0}, {100, 6}, {200, 13}, {4000, 255}});

    // One more pixel at 0 (and one fewer at 100) puts the 5th pixel at 0: 100 lies halfway.
    values[4] = 0;
    const auto lower = read({values, {}});
    ASSERT_TRUE(lower);
    expectGreys(*lower, GreyMapping::choices(*lower)[1], {{0, 0}, {100, 128}, {200, 255}});
}

TEST(GreyChoices, HeaderWindowsComeFirstByTheirExplanation)
{
    const auto picture = read({{0, 4095},
        {centre("40\\60"), width("400\\10"), dicomText(0x0028, 0x1055, "LO", "SOFT"),
            dicomSequence(0x0028, 0x3010, {lutItem({2, 0, 8}, {0, 255})})}});
    ASSERT_TRUE(picture);
    std::vector<std::string> captions;
    for (const auto &choice : GreyMapping::choices(*picture))
        captions.push_back(choice.caption);
    EXPECT_EQ(captions,
        (std::vector<std::string>{"SOFT", "Window 60/10", "VOI LUT 1", "Full range", "Automatic"}));
    EXPECT_EQ(GreyMapping::defaultChoice(*picture).caption, "SOFT");

    // Colour pictures offer no window and show their blue channel under any choice.
    DicomPixels rgb;
    rgb.width = 2, rgb.bitsAllocated = 8, rgb.bitsStored = 8, rgb.samplesPerPixel = 3;
    rgb.photometric = "RGB";
    rgb.values = {1, 2, 3, 4, 5, 6};
    const std::string file = writeDicom(rgb, {centre("100"), width("11")});
    std::string error;
    const auto colour = DicomPicture::read(
        reinterpret_cast<const std::uint8_t *>(file.data()), file.size(), error, 1 << 30);
    ASSERT_TRUE(colour) << error;
    EXPECT_TRUE(GreyMapping::choices(*colour).empty());
    expectGreys(*colour, GreyMapping::window(100, 11), {{3, 3}, {6, 6}, {200, 200}});
}

TEST(GreyMappingShow, FillsTheBufferThenRefillsItUnderItsColourTable)
{
    std::vector<int> values;
    for (int i = 0; i < 40; ++i)
        values.push_back(100 * i);
    const auto picture = read({values, {centre("2000"), width("1001")}});
    ASSERT_TRUE(picture);
    const GreyMapping window(*picture, GreyMapping::defaultChoice(*picture));
    const GreyMapping full(*picture, GreyMapping::choices(*picture)[1]);

    CBitmap bitmap;
    std::string error;
    ASSERT_TRUE(window.show(*picture, bitmap, error)) << error;
    ASSERT_EQ(bitmap.W, 40);
    ASSERT_EQ(bitmap.H, 1);
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(bitmap.grey(x, 0), window.grey(100 * x));

    bitmap.ColorOffset = 10;
    bitmap.CreateColors();
    bitmap.Invert();
    const auto table = bitmap.colorTable();
    bitmap.Filter(*Global::SharpenKernel(2));
    std::vector<BitmapChange> changes;
    bitmap.setObserver([&changes](BitmapChange c) { changes.push_back(c); });

    ASSERT_TRUE(full.show(*picture, bitmap, error)) << error;
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(bitmap.grey(x, 0), full.grey(100 * x)); // 3900 white, 0 black
    EXPECT_EQ(bitmap.grey(39, 0), 255);
    EXPECT_EQ(bitmap.colorTable(), table);
    EXPECT_FALSE(bitmap.hasFilterToUndo());
    EXPECT_EQ(changes, std::vector<BitmapChange>{BitmapChange::Pixels});

    CBitmap other;
    const std::vector<std::uint8_t> rows(3 * 2 * 3, 0);
    ASSERT_TRUE(other.init(rows.data(), 3, 2, 9, error));
    EXPECT_FALSE(full.show(*picture, other, error));
    EXPECT_EQ(error, "the pixel buffer holds a picture of 3 x 2 pixels, not this one of 40 x 1");
}
