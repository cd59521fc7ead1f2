#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "support/DicomWriter.h"
#include "support/TempDir.h"

namespace {

constexpr std::uint64_t kPlentyOfMemory = std::uint64_t{1} << 30;

const std::uint8_t *bytesOf(const std::string &file)
{
    return reinterpret_cast<const std::uint8_t *>(file.data());
}

std::unique_ptr<DicomPicture> open(
    const std::string &file, std::string &error, std::uint64_t available = kPlentyOfMemory)
{
    return DicomPicture::read(bytesOf(file), file.size(), error, available);
}

// A picture whose values run smoothly over what the bits hold, with the lowest and the highest
// value in two corners, so that every bit of a value matters. With a margin (a fraction of the
// range), the values keep that far from both ends instead.
DicomPixels smooth(int bitsAllocated, int bitsStored, bool isSigned, double margin = 0)
{
    DicomPixels p;
    p.width = 40, p.height = 24;
    p.bitsAllocated = bitsAllocated, p.bitsStored = bitsStored, p.isSigned = isSigned;
    const int lowest = isSigned ? -(1 << (bitsStored - 1)) : 0;
    const int highest = isSigned ? (1 << (bitsStored - 1)) - 1 : (1 << bitsStored) - 1;
    const double from = lowest + margin * (highest - lowest);
    const double to = highest - margin * (highest - lowest);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double u = (x + 2.0 * y) / (p.width + 2.0 * p.height);
            p.values.push_back(static_cast<int>(from + u * (to - from)));
        }
    if (margin == 0) {
        p.values.front() = lowest;
        p.values.back() = highest;
    }
    return p;
}

int largestDifference(const DicomPicture &picture, const DicomPixels &p)
{
    int largest = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            largest = std::max(largest,
                std::abs(picture.storedValue(x, y)
                    - p.values[static_cast<std::size_t>(y * p.width + x)]));
    return largest;
}

// Where the value of the first fragment after the offset table begins, and its length.
std::pair<std::size_t, std::size_t> firstFragment(const std::string &file)
{
    const std::size_t table = file.find(
        std::string("\xFE\xFF\x00\xE0", 4), file.find(std::string("\xE0\x7F\x10\x00", 4)));
    const auto length = [&file](std::size_t at) {
        std::uint32_t n = 0;
        std::memcpy(&n, file.data() + at + 4, 4);
        return static_cast<std::size_t>(n);
    };
    const std::size_t fragment = table + 8 + length(table);
    return {fragment + 8, length(fragment)};
}

// The same file with its first fragment cut in two, as some writers store a frame.
std::string splitFirstFragment(const std::string &file)
{
    const auto [at, length] = firstFragment(file);
    const std::size_t half = length / 2 & ~std::size_t{1};
    const auto item = [](std::size_t n) {
        std::string header("\xFE\xFF\x00\xE0", 4);
        for (int i = 0; i < 4; ++i)
            header += static_cast<char>(n >> (8 * i) & 0xFF);
        return header;
    };
    return file.substr(0, at - 8) + item(half) + file.substr(at, half) + item(length - half)
        + file.substr(at + half);
}

struct Depth
{
    int allocated, stored;
    bool isSigned;
};

} // namespace

TEST(DicomTransferSyntaxes, LosslessOnesGiveTheStoredValuesExactly)
{
    const std::vector<std::string> syntaxes{DicomUid::kImplicitLittle, DicomUid::kExplicitLittle,
        DicomUid::kExplicitBig, DicomUid::kRle, DicomUid::kJpegLossless, DicomUid::kJpegLosslessSv1,
        DicomUid::kJpegLsLossless, DicomUid::kJpeg2000Lossless};
    const std::vector<Depth> depths{
        {8, 8, false}, {16, 12, false}, {16, 16, false}, {16, 12, true}, {16, 16, true}};
    for (const std::string &syntax : syntaxes) {
        for (const Depth d : depths) {
            SCOPED_TRACE(syntax + " " + std::to_string(d.stored) + (d.isSigned ? " signed" : ""));
            const DicomPixels pixels = smooth(d.allocated, d.stored, d.isSigned);
            std::string error;
            const auto picture = open(writeDicom(pixels, {}, syntax), error);
            ASSERT_TRUE(picture) << error;
            EXPECT_EQ(picture->header().transferSyntaxUid, syntax);
            EXPECT_EQ(picture->width(), 40);
            EXPECT_EQ(picture->height(), 24);
            EXPECT_EQ(picture->header().bitsStored, d.stored);
            EXPECT_EQ(picture->header().isSigned, d.isSigned);
            EXPECT_EQ(largestDifference(*picture, pixels), 0);
        }
    }
}

TEST(DicomTransferSyntaxes, LossyOnesStayWithinWhatTheirSettingsAllow)
{
    struct Lossy
    {
        std::string syntax;
        Depth depth;
        double margin;
        int tolerance;
    };

    // Lossy coding rings past the ends of the range beside an edge; the values there are held
    // at the ends, so the lowest and highest values stay within the tolerance too.
    const std::vector<Lossy> cases{
        {DicomUid::kJpegBaseline, {8, 8, false}, 0, 6},
        {DicomUid::kJpegExtended, {16, 12, false}, 0, 24},
        {DicomUid::kJpegLsNearLossless, {16, 12, false}, 0, 2},
        {DicomUid::kJpegLsNearLossless, {16, 16, true}, 0, 2},
        {DicomUid::kJpeg2000, {16, 12, false}, 0, 16},
        {DicomUid::kJpeg2000, {16, 16, true}, 0, 64},
    };
    for (const Lossy &c : cases) {
        SCOPED_TRACE(c.syntax + " " + std::to_string(c.depth.stored));
        const DicomPixels pixels =
            smooth(c.depth.allocated, c.depth.stored, c.depth.isSigned, c.margin);
        std::string error;
        const auto picture = open(writeDicom(pixels, {}, c.syntax), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(picture->header().transferSyntaxUid, c.syntax);
        EXPECT_LE(largestDifference(*picture, pixels), c.tolerance);
    }
}

TEST(DicomColour, TheGreyLevelIsTheBlueChannelWhateverTheCoding)
{
    DicomPixels rgb;
    rgb.width = 16, rgb.height = 8, rgb.bitsAllocated = 8, rgb.bitsStored = 8;
    rgb.samplesPerPixel = 3, rgb.photometric = "RGB";
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) {
            rgb.values.push_back(200 - 10 * y); // red
            rgb.values.push_back(x * 3); // green
            rgb.values.push_back(40 + 12 * x); // blue
        }
    const auto expectBlue = [&rgb](const DicomPicture &picture, int tolerance) {
        EXPECT_TRUE(picture.isColour());
        EXPECT_EQ(picture.levelCount(), 256);
        for (int y = 0; y < rgb.height; ++y)
            for (int x = 0; x < rgb.width; ++x)
                EXPECT_NEAR(picture.storedValue(x, y), 40 + 12 * x, tolerance) << x << "," << y;
    };
    // JPEG baseline is written as YCbCr, under the name RGB by the library and under
    // YBR_FULL_422 as the standard has it.
    const std::vector<DicomElement> asYbr{dicomText(0x0028, 0x0004, "CS", "YBR_FULL_422")};
    for (const auto &[syntax, header, tolerance] :
        std::vector<std::tuple<std::string, std::vector<DicomElement>, int>>{
            {DicomUid::kExplicitLittle, {}, 0}, {DicomUid::kRle, {}, 0},
            {DicomUid::kJpegBaseline, {}, 12}, {DicomUid::kJpegBaseline, asYbr, 12},
            {DicomUid::kJpegLosslessSv1, {}, 0}, {DicomUid::kJpegLsLossless, {}, 0},
            {DicomUid::kJpeg2000Lossless, {}, 0}}) {
        SCOPED_TRACE(syntax + (header.empty() ? "" : " YBR_FULL_422"));
        std::string error;
        const auto picture = open(writeDicom(rgb, header, syntax), error);
        ASSERT_TRUE(picture) << error;
        expectBlue(*picture, tolerance);
    }

    // The same pixels plane by plane: all red values, then all green, then all blue.
    DicomPixels planes = rgb;
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < 16 * 8; ++i)
            planes.values[c * 16 * 8 + i] = rgb.values[3 * i + c];
    std::string error;
    auto picture =
        open(writeDicom(planes, {dicomWords(0x0028, 0x0006, "US", {1})}, DicomUid::kExplicitLittle),
            error);
    ASSERT_TRUE(picture) << error;
    expectBlue(*picture, 0);
}

TEST(DicomColour, YcbcrAndPaletteGiveTheirBlue)
{
    // Full-range YCbCr: blue = Y + 1.772 (Cb - 128).
    DicomPixels ybr;
    ybr.width = 3, ybr.height = 1, ybr.bitsAllocated = 8, ybr.bitsStored = 8;
    ybr.samplesPerPixel = 3, ybr.photometric = "YBR_FULL";
    ybr.values = {100, 150, 90, 50, 60, 128, 200, 200, 128};
    std::string error;
    auto picture = open(writeDicom(ybr, {}), error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->storedValue(0, 0), 139); // 100 + 1.772 x 22 = 138.98
    EXPECT_EQ(picture->storedValue(1, 0), 0); // 50 - 1.772 x 68 = -70.5, black
    EXPECT_EQ(picture->storedValue(2, 0), 255); // 200 + 1.772 x 72 = 327.6, white

    // A palette of four 16-bit entries from index 1: the blue entry scaled to 8 bits.
    DicomPixels indexed;
    indexed.width = 4, indexed.height = 1, indexed.bitsAllocated = 8, indexed.bitsStored = 8;
    indexed.photometric = "PALETTE COLOR";
    indexed.values = {0, 1, 2, 4};
    const std::vector<int> descriptor{4, 1, 16};
    const std::vector<DicomElement> palette{dicomWords(0x0028, 0x1101, "US", descriptor),
        dicomWords(0x0028, 0x1102, "US", descriptor), dicomWords(0x0028, 0x1103, "US", descriptor),
        dicomWords(0x0028, 0x1201, "OW", {0, 0, 0, 0}),
        dicomWords(0x0028, 0x1202, "OW", {0, 0, 0, 0}),
        dicomWords(0x0028, 0x1203, "OW", {0x1000, 0x8000, 0xFFFF, 0x0101})};
    picture = open(writeDicom(indexed, palette), error);
    ASSERT_TRUE(picture) << error;
    EXPECT_TRUE(picture->isColour());
    EXPECT_EQ(picture->storedValue(0, 0), 16); // below the first index: 0x1000 x 255 / 65535
    EXPECT_EQ(picture->storedValue(1, 0), 16); // 15.94
    EXPECT_EQ(picture->storedValue(2, 0), 128); // 0x8000 x 255 / 65535 = 127.50
    EXPECT_EQ(picture->storedValue(3, 0), 1); // beyond the last: 0x0101 x 255 / 65535 = 1.00
}

TEST(DicomPicture, LevelsCountFromTheLowestValueTheBitsHold)
{
    struct Case
    {
        Depth depth;
        int lowest, count;
    };

    for (const Case c : {Case{{8, 8, false}, 0, 256}, Case{{16, 12, false}, 0, 4096},
             Case{{16, 12, true}, -2048, 4096}, Case{{16, 16, true}, -32768, 65536}}) {
        SCOPED_TRACE(std::to_string(c.depth.stored) + (c.depth.isSigned ? " signed" : ""));
        const DicomPixels pixels = smooth(c.depth.allocated, c.depth.stored, c.depth.isSigned);
        std::string error;
        const auto picture = open(writeDicom(pixels, {}), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(picture->lowestStoredValue(), c.lowest);
        EXPECT_EQ(picture->levelCount(), c.count);
        EXPECT_EQ(picture->levels()[0], 0); // the lowest value, top left
        EXPECT_EQ(picture->levels()[40 * 24 - 1], c.count - 1); // the highest, bottom right
        EXPECT_FALSE(picture->isColour());
    }
    // Twelve bits stored at the top of sixteen, with other bits below them.
    DicomPixels high = smooth(16, 16, false);
    for (int &v : high.values)
        v = (v & 0xFFF0) | 0x5;
    std::string error;
    const auto picture =
        open(writeDicom(high,
                 {dicomWords(0x0028, 0x0101, "US", {12}), dicomWords(0x0028, 0x0102, "US", {15})}),
            error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->storedValue(0, 0), 0);
    EXPECT_EQ(picture->storedValue(39, 23), 4095);
    EXPECT_EQ(picture->storedValue(1, 0), high.values[1] >> 4);
}

TEST(DicomPicture, TheFirstOfTwoFramesIsTaken)
{
    DicomPixels two = smooth(16, 12, false);
    two.frames = 2;
    for (int i = 0; i < 40 * 24; ++i)
        two.values.push_back(4000 - i);
    for (const std::string &syntax : {DicomUid::kExplicitLittle, DicomUid::kRle,
             DicomUid::kJpegLosslessSv1, DicomUid::kJpeg2000Lossless}) {
        SCOPED_TRACE(syntax);
        std::string error;
        const auto picture = open(writeDicom(two, {}, syntax), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(picture->header().frameCount, 2);
        EXPECT_EQ(largestDifference(*picture, two), 0); // compares the first frame's pixels
    }
    // A single frame whose stream comes in two fragments.
    for (const std::string &syntax : {DicomUid::kJpegLosslessSv1, DicomUid::kJpeg2000Lossless}) {
        SCOPED_TRACE(syntax + " in two fragments");
        const DicomPixels one = smooth(16, 12, false);
        std::string error;
        const auto picture = open(splitFirstFragment(writeDicom(one, {}, syntax)), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(largestDifference(*picture, one), 0);
    }
}

TEST(DicomHeaderGeometry, SpacingComesFromTheDetectorPlane)
{
    using Source = DicomHeader::SpacingSource;
    const DicomElement imager = dicomText(0x0018, 0x1164, "DS", "0.139\\0.139");
    const DicomElement pixel = dicomText(0x0028, 0x0030, "DS", "0.1\\0.1");
    const DicomElement geometry = dicomText(0x0028, 0x0A02, "CS", "GEOMETRY");
    const DicomElement fiducial = dicomText(0x0028, 0x0A02, "CS", "FIDUCIAL");
    const DicomElement magnification = dicomText(0x0018, 0x1114, "DS", "1.25");

    struct Case
    {
        std::vector<DicomElement> header;
        bool has;
        double mm;
        Source source;
    };

    const std::vector<Case> cases{
        {{imager}, true, 0.139, Source::ImagerPixelSpacing},
        {{imager, pixel, geometry, magnification}, true, 0.139, Source::ImagerPixelSpacing},
        {{pixel}, true, 0.1, Source::PixelSpacing},
        {{pixel, magnification}, true, 0.1, Source::PixelSpacing}, // not calibrated: as it is
        {{pixel, geometry, magnification}, true, 0.125, Source::MagnifiedPixelSpacing},
        {{pixel, fiducial, magnification}, true, 0.125, Source::MagnifiedPixelSpacing},
        {{pixel, geometry}, false, 0, Source::PixelSpacing}, // the detector cannot be had
        {{magnification}, false, 0, Source::PixelSpacing},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        std::string error;
        const auto picture = open(writeDicom(smooth(16, 12, false), cases[i].header), error);
        ASSERT_TRUE(picture) << error;
        const auto &spacing = picture->header().spacing;
        ASSERT_EQ(spacing.has_value(), cases[i].has);
        if (cases[i].has) {
            EXPECT_DOUBLE_EQ(spacing->rowMm, cases[i].mm);
            EXPECT_DOUBLE_EQ(spacing->columnMm, cases[i].mm);
            EXPECT_DOUBLE_EQ(spacing->mmPerPixel(), cases[i].mm);
            EXPECT_EQ(spacing->source, cases[i].source);
        }
    }
    std::string error;
    const auto distance =
        open(writeDicom(smooth(16, 12, false), {imager, dicomText(0x0018, 0x1110, "DS", "1150.5")}),
            error);
    ASSERT_TRUE(distance) << error;
    EXPECT_EQ(distance->header().spacing->sourceText(), "Imager Pixel Spacing (0018,1164)");
    ASSERT_TRUE(distance->header().sourceToDetectorMm);
    EXPECT_DOUBLE_EQ(*distance->header().sourceToDetectorMm, 1150.5);
}

TEST(DicomHeaderGeometry, PixelsThatAreNotSquareAreRefused)
{
    // 0.1 and 0.10009 differ by 0.09 % of the larger: square enough; 0.1 and 0.10011 by 0.11 %.
    std::string error;
    EXPECT_TRUE(
        open(writeDicom(smooth(16, 12, false), {dicomText(0x0018, 0x1164, "DS", "0.1\\0.10009")}),
            error))
        << error;
    EXPECT_FALSE(
        open(writeDicom(smooth(16, 12, false), {dicomText(0x0018, 0x1164, "DS", "0.1\\0.10011")}),
            error));
    EXPECT_EQ(error,
        "the pixels are not square: Imager Pixel Spacing (0018,1164) gives 0.1 mm between rows "
        "and 0.10011 mm between columns");
    EXPECT_FALSE(open(
        writeDicom(smooth(16, 12, false), {dicomText(0x0028, 0x0030, "DS", "0.2\\0.1")}), error));
    EXPECT_EQ(error.rfind("the pixels are not square: Pixel Spacing (0028,0030)", 0), 0u) << error;
    EXPECT_FALSE(
        open(writeDicom(smooth(16, 12, false), {dicomText(0x0028, 0x0034, "IS", "1\\2")}), error));
    EXPECT_EQ(error.rfind("the pixels are not square: Pixel Aspect Ratio", 0), 0u) << error;
}

TEST(DicomHeaderText, NamesFollowTheCharacterSetAndTheDateTheFirstGiven)
{
    struct Case
    {
        std::string characterSet, name, family, given;
    };

    const std::vector<Case> cases{
        // Latin-1: u umlaut is 0xFC, e acute 0xE9.
        {"ISO_IR 100", "M\xFCller^J\xE9r\xF4me^^Dr", "M\u00FCller", "J\u00E9r\u00F4me"},
        {"ISO_IR 192", "\u00D8stby^Zo\u00EB=\u30AA", "\u00D8stby", "Zo\u00EB"},
        // No character set: bytes above 127 are taken as Latin-1.
        {"", "Gr\xFC\xDF^Anna ", "Gr\u00FC\u00DF", "Anna"},
        // A character set without a table here: what is not ASCII is unknown.
        {"ISO_IR 144", "\xC8\xD2^Ivan", "??", "Ivan"},
        {"ISO_IR 192", "Only", "Only", ""},
        // A byte that is no UTF-8 becomes the replacement character; the rest survives.
        {"ISO_IR 192", "Bad\xFFName^Eva", "Bad\uFFFDName", "Eva"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.characterSet + " " + c.family);
        std::vector<DicomElement> header{dicomText(0x0010, 0x0010, "PN", c.name)};
        if (!c.characterSet.empty())
            header.push_back(dicomText(0x0008, 0x0005, "CS", c.characterSet));
        std::string error;
        const auto picture = open(writeDicom(smooth(16, 12, false), header), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(picture->header().familyName, c.family);
        EXPECT_EQ(picture->header().givenName, c.given);
    }

    const DicomElement study = dicomText(0x0008, 0x0020, "DA", "20240105");
    const DicomElement content = dicomText(0x0008, 0x0023, "DA", "20240106");
    const DicomElement acquisition = dicomText(0x0008, 0x0022, "DA", "20240107");
    const DicomElement damaged = dicomText(0x0008, 0x0022, "DA", "20241307");
    const std::vector<std::pair<std::vector<DicomElement>, std::string>> dates{
        {{study, content, acquisition}, "20240107"}, {{study, content}, "20240106"},
        {{study}, "20240105"}, {{study, damaged}, "20240105"}, {{}, ""},
        {{dicomText(0x0008, 0x0020, "DA", "2023.12.31")}, "20231231"}};
    for (const auto &[header, date] : dates) {
        std::string error;
        const auto picture = open(writeDicom(smooth(16, 12, false), header), error);
        ASSERT_TRUE(picture) << error;
        EXPECT_EQ(picture->header().date, date);
    }
}

TEST(DicomFile, IsRecognisedByItsContentWhateverItsName)
{
    TempDir dir;
    const std::string file = writeDicom(smooth(8, 8, false), {});
    EXPECT_TRUE(DicomPicture::isDicom(bytesOf(file), 132));
    EXPECT_FALSE(DicomPicture::isDicom(bytesOf(file), 131));
    for (const std::string name : {"IM000001", "hip.dicom", "hip.jpg"}) {
        writeBytes(dir.file(name), file);
        EXPECT_TRUE(DicomPicture::isDicomFile(dir.file(name))) << name;
        std::string error;
        EXPECT_TRUE(DicomPicture::read(dir.file(name), error, kPlentyOfMemory)) << error;
    }
    writeBytes(dir.file("hip.dcm"), "BM" + std::string(200, '\0'));
    EXPECT_FALSE(DicomPicture::isDicomFile(dir.file("hip.dcm")));
    EXPECT_FALSE(DicomPicture::isDicomFile(dir.file("missing.dcm")));
}

TEST(DicomFile, BadFilesAreRefusedWithAReasonAndWithoutChatter)
{
    const std::string good = writeDicom(smooth(16, 12, false), {}, DicomUid::kExplicitLittle);
    const std::string compressed =
        writeDicom(smooth(16, 12, false), {}, DicomUid::kJpeg2000Lossless);
    std::string claimsTooMuch = good;
    // The Rows element (0028,0010) US claims 0xFFFF bytes, far beyond the file's end.
    const std::string rows("\x28\x00\x10\x00US\x02\x00", 8);
    claimsTooMuch.replace(
        claimsTooMuch.find(rows), 8, std::string("\x28\x00\x10\x00UN\x00\x00\xF0\xFF\xFF\x7F", 12));
    std::string otherSyntax = compressed;
    const std::string j2k = "1.2.840.10008.1.2.4.90";
    otherSyntax.replace(otherSyntax.find(j2k), j2k.size(), "1.2.840.10008.1.2.4.92");
    std::string progressive = writeDicom(smooth(8, 8, false), {}, DicomUid::kJpegBaseline);
    const std::size_t frame = progressive.find(std::string("\xFF\xC0", 2));
    progressive[frame + 1] = '\xC2';
    // A lossless JPEG stream whose last bytes, its end marker among them, are gone.
    std::string cutJpeg = writeDicom(smooth(16, 12, false), {}, DicomUid::kJpegLossless);
    const auto [jpegAt, jpegLength] = firstFragment(cutJpeg);
    cutJpeg.replace(jpegAt + jpegLength - 6, 6, std::string(6, '\0'));
    std::string damagedRle = writeDicom(smooth(8, 8, false), {}, DicomUid::kRle);
    const auto [rleAt, rleLength] = firstFragment(damagedRle);
    // After its 64-byte header, runs that add nothing: the segment never fills.
    damagedRle.replace(rleAt + 64, rleLength - 64, std::string(rleLength - 64, '\x80'));

    struct Case
    {
        std::string name, file, reason;
    };

    const std::vector<Case> cases{
        {"not DICOM", std::string(300, 'x'), "the file is not DICOM"},
        {"cut in the header", good.substr(0, 300), "more than the file holds"},
        {"cut in the pixels", good.substr(0, good.size() - 100), "the element (7FE0,0010) claims"},
        {"cut in the compressed pixels", compressed.substr(0, compressed.size() - 40),
            "a fragment of the pixel data claims"},
        {"a length beyond the file", claimsTooMuch, "the element (0028,0010) claims"},
        {"a syntax not decoded", otherSyntax, "pictures in JPEG 2000 Part 2"},
        {"no picture", writeDicom(smooth(16, 12, false), {dicomText(0x7FE0, 0x0010, "", "")}),
            "the DICOM file holds no picture"},
        {"another size in the stream",
            writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0011, "US", {41})},
                DicomUid::kJpeg2000Lossless),
            "the compressed picture is 40 x 24 pixels, the header says 41 x 24"},
        {"too large",
            writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0011, "US", {40000})}),
            CBitmap::tooLargeText(40000, 24)},
        {"no size", writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0010, "US", {0})}),
            "the header gives no picture size"},
        {"a progressive JPEG", progressive, "the JPEG stream has a marker (FFC2) that is not read"},
        {"damaged RLE", damagedRle, "the RLE data are damaged (segment 1)"},
        {"a JPEG stream cut short", cutJpeg,
            "the JPEG stream is cut short: it does not end with its end marker (FFD9)"},
        {"32-bit pixels",
            writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0100, "US", {32})}),
            "pixels of 32 bits are not read"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        std::string error;
        EXPECT_FALSE(open(c.file, error));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }

    // A picture that would need more memory than there is, refused before it is decoded.
    DicomPixels large;
    large.width = 1000, large.height = 1000;
    large.values.assign(1000 * 1000, 7);
    std::string error;
    EXPECT_FALSE(open(writeDicom(large, {}, DicomUid::kJpegLsLossless), error, 4'000'000));
    EXPECT_EQ(error.rfind("not enough memory for a picture of 1000 x 1000 pixels (", 0), 0u)
        << error;
}

TEST(DicomHeaderOnly, GivesTheHeaderWithoutDecodingThePixels)
{
    TempDir dir;
    const DicomPixels pixels = smooth(16, 12, false);
    const std::vector<DicomElement> header{dicomText(0x0018, 0x1164, "DS", "0.2\\0.2"),
        dicomText(0x0018, 0x1110, "DS", "1150"), dicomText(0x0010, 0x0010, "PN", "Doe^Jane")};
    // A JPEG 2000 stream that is rubbish after its size segment: only decoding finds that out.
    std::string undecodable = writeDicom(pixels, header, DicomUid::kJpeg2000Lossless);
    const auto [streamAt, streamLength] = firstFragment(undecodable);
    undecodable.replace(streamAt + 60, streamLength - 60, std::string(streamLength - 60, '\x5A'));
    // 300 kB of a private element before the pixels: more than the first bytes read.
    const std::string large = writeDicom(pixels,
        {dicomText(0x0009, 0x0010, "LO", "OXEL TEST"),
            dicomText(0x0009, 0x1001, "OB", std::string(300000, '\x11')), header[0]});

    for (const auto &[name, file] : {std::pair{"explicit", writeDicom(pixels, header)},
             std::pair{"big endian", writeDicom(pixels, header, DicomUid::kExplicitBig)},
             std::pair{"undecodable", undecodable}, std::pair{"large header", large}}) {
        SCOPED_TRACE(name);
        writeBytes(dir.file("picture"), file);
        DicomHeader fromPath, fromBytes;
        std::string error;
        ASSERT_TRUE(DicomPicture::readHeader(dir.file("picture"), fromPath, error)) << error;
        ASSERT_TRUE(DicomPicture::readHeader(bytesOf(file), file.size(), fromBytes, error))
            << error;
        for (const DicomHeader *h : {&fromPath, &fromBytes}) {
            EXPECT_EQ(h->width, 40);
            EXPECT_EQ(h->height, 24);
            EXPECT_EQ(h->bitsStored, 12);
            ASSERT_TRUE(h->spacing);
            EXPECT_DOUBLE_EQ(h->spacing->mmPerPixel(), 0.2);
        }
        EXPECT_EQ(fromPath.familyName, name == std::string("large header") ? "" : "Doe");
    }
    std::string error;
    EXPECT_FALSE(open(undecodable, error));
}

TEST(DicomHeaderOnly, RefusesWhatTheWholeReadRefusesFromTheHeader)
{
    TempDir dir;
    const std::string good = writeDicom(smooth(16, 12, false), {});
    const std::string compressed =
        writeDicom(smooth(16, 12, false), {}, DicomUid::kJpeg2000Lossless);

    struct Case
    {
        std::string name, file, reason;
    };

    const std::vector<Case> cases{
        {"not DICOM", std::string(300, 'x'), "the file is not DICOM"},
        {"cut in the header", good.substr(0, 300), "more than the file holds"},
        {"cut in the pixels", good.substr(0, good.size() - 100), "the element (7FE0,0010) claims"},
        {"short of a frame",
            writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0010, "US", {25})}),
            "the pixel data end before the first frame does (1920 of 2000 bytes)"},
        {"no picture", writeDicom(smooth(16, 12, false), {dicomText(0x7FE0, 0x0010, "", "")}),
            "the DICOM file holds no picture"},
        {"too large",
            writeDicom(smooth(16, 12, false), {dicomWords(0x0028, 0x0011, "US", {40000})},
                DicomUid::kJpeg2000Lossless),
            CBitmap::tooLargeText(40000, 24)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir.file("picture.dcm"), c.file);
        DicomHeader header;
        std::string error;
        EXPECT_FALSE(DicomPicture::readHeader(dir.file("picture.dcm"), header, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        error.clear();
        EXPECT_FALSE(DicomPicture::readHeader(bytesOf(c.file), c.file.size(), header, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    DicomHeader header;
    std::string error;
    EXPECT_FALSE(DicomPicture::readHeader(dir.file("missing.dcm"), header, error));
    EXPECT_EQ(error, "the file cannot be opened");
    // The compressed file cut inside its fragments still gives its header: its fragments are
    // not walked.
    EXPECT_TRUE(
        DicomPicture::readHeader(bytesOf(compressed), compressed.size() - 40, header, error))
        << error;
}

TEST(DicomHeaderOnly, TheHeaderEndsAtThePixelData)
{
    // The picture's width stands only after the pixels: no header the reader takes, read whole
    // or alone.
    const std::string file = writeDicom(smooth(16, 12, false), {dicomText(0x0028, 0x0011, "", "")})
        + std::string("\x28\x00\x11\x00US\x02\x00\x28\x00", 10);
    std::string error;
    EXPECT_FALSE(open(file, error));
    EXPECT_EQ(error, "the header gives no picture size (Rows and Columns)");
    DicomHeader header;
    error.clear();
    EXPECT_FALSE(DicomPicture::readHeader(bytesOf(file), file.size(), header, error));
    EXPECT_EQ(error, "the header gives no picture size (Rows and Columns)");
}
