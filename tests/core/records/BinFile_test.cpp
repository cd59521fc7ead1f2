#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Positions pass through mm and back; this bounds the rounding of those two conversions.
constexpr double kRoundTripTolerance = 1e-9;

// Hand encoders for the file's primitives, written from the format, not from the code under test.
std::string i16(int value)
{
    const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    return {static_cast<char>(bits & 0xFF), static_cast<char>(bits >> 8)};
}

std::string f64(double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    std::string out;
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    return out;
}

std::string str(std::string_view bytes)
{
    return i16(static_cast<int>(bytes.size())) + std::string(bytes);
}

std::string ints(std::initializer_list<int> values)
{
    std::string out = i16(static_cast<int>(values.size()));
    for (int v : values)
        out += i16(v);
    return out;
}

std::string reals(const std::vector<double> &values)
{
    std::string out = i16(static_cast<int>(values.size()));
    for (double v : values)
        out += f64(v);
    return out;
}

std::string record(std::string_view key, const std::string &payload)
{
    return str(key) + payload;
}

const std::string kEndMarker(2, '\0');
// On the 1000 x 800 pixel picture of most tests: 4 pixels per mm, world y = (800 - y) / 4.
const std::string kCalib250 = record("Calib (REAL)", reals({250.0}));
constexpr std::int16_t kPicW = 1000;
constexpr std::int16_t kPicH = 800;

// Three points of the circle around pixel (400, 400) with radius 40, in world mm.
const std::vector<double> kHeadCircleMm = {110, 100, 100, 110, 90, 100};
// Three world points on one straight line: no circle fits them.
const std::vector<double> kCollinearMm = {10, 10, 20, 20, 30, 30};

class BinFileTest : public ::testing::Test
{
protected:
    std::string file(const std::string &name) const { return temp.file(name); }

    static void put(const std::string &where, const std::string &bytes)
    {
        writeBytes(where, bytes);
    }

    static std::string get(const std::string &where) { return readBytes(where); }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    // Writes bytes as the landmark file and reads it into oxel on the 1000 x 800 picture, with
    // the boxes of earlier reads forgotten.
    bool readFrom(const std::string &bytes, COxel &oxel)
    {
        messages.boxes.clear();
        put(path, bytes);
        return BinFile::read(path, kPicW, kPicH, oxel);
    }

    std::string errorText(const std::string &lastKey) const
    {
        return "Error in File: " + path + " after Key:" + lastKey;
    }

    TempDir temp;
    const fs::path &dir = temp.path();
    std::string path = temp.file("hip.bin");
    RecordingMessages messages;
};

class BinFileRead : public BinFileTest
{};

class BinFileWrite : public BinFileTest
{};

void expectOneFormatError(const RecordingMessages &messages, const std::string &text)
{
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, text);
    EXPECT_EQ(messages.boxes[0].title, "Oxel");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
}

// A measurement of the 1000 x 800 picture at 4 pixels per mm, as a window has one.
COxel scaledMeasurement()
{
    COxel oxel;
    EXPECT_TRUE(oxel.initScale(kPicW, kPicH, 250.0));
    return oxel;
}

std::vector<CLine *> linesInFileOrder(COxel &oxel)
{
    return {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F, &oxel.V_R,
        &oxel.Ruler, &oxel.Cross_H, &oxel.Cross_V};
}

} // namespace

TEST(LandmarkPath, ReplacesTheLastExtensionOfTheFileName)
{
    EXPECT_EQ(BinFile::landmarkPath("/x-rays/hip.bmp"), "/x-rays/hip.bin");
    EXPECT_EQ(BinFile::landmarkPath("C:\\x-rays\\hip.JPG"), "C:\\x-rays\\hip.bin");
    EXPECT_EQ(BinFile::landmarkPath("/x/hip.left.gif"), "/x/hip.left.bin");
    EXPECT_EQ(BinFile::landmarkPath("hip.bmp"), "hip.bin");
}

TEST(LandmarkPath, DotInAFolderNameDoesNotCount)
{
    EXPECT_EQ(BinFile::landmarkPath("/data/a.b/name"), "/data/a.b/name.bin");
    EXPECT_EQ(BinFile::landmarkPath("D:\\a.b\\name"), "D:\\a.b\\name.bin");
    EXPECT_EQ(BinFile::landmarkPath("D:\\a.b/name"), "D:\\a.b/name.bin");
    EXPECT_EQ(BinFile::landmarkPath("name"), "name.bin");
}

// --- Reading ---

TEST_F(BinFileRead, MissingFileFailsWithoutAMessage)
{
    COxel oxel;
    EXPECT_FALSE(BinFile::read(file("absent.bin"), kPicW, kPicH, oxel));
    EXPECT_FALSE(BinFile::read(dir.string(), kPicW, kPicH, oxel)); // a folder, not a file
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, EmptyFileOrOnlyTheEndMarkerIsRefusedWithTheFileNamed)
{
    // Taken as a measurement either would leave every line at (0, 0) and count as calibrated.
    for (const std::string &bytes : {std::string(), kEndMarker, kEndMarker + "\x05garbage"}) {
        messages.boxes.clear();
        COxel oxel;
        ASSERT_TRUE(oxel.initScale(100, 100, 1.0));
        put(path, bytes);
        EXPECT_FALSE(BinFile::read(path, 860, 600, oxel));
        EXPECT_DOUBLE_EQ(oxel.ScaleFactor, 100.0); // nothing applied
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(
            messages.boxes[0].text, "Error in File: " + path + ": the file holds no landmarks");
        EXPECT_EQ(messages.boxes[0].title, "Oxel");
        EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    }
}

TEST_F(BinFileRead, UnusablePictureWidthFailsWithoutReading)
{
    COxel oxel;
    put(path, record("Typ (INTEGER)", ints({4})) + kEndMarker);
    EXPECT_FALSE(BinFile::read(path, 0, kPicH, oxel));
    EXPECT_FALSE(BinFile::read(path, -1, kPicH, oxel));
    EXPECT_EQ(oxel.Patient.Typ, 0);
}

TEST_F(BinFileRead, BytesAfterTheEndMarkerAreIgnored)
{
    COxel oxel;
    EXPECT_TRUE(readFrom(record("Typ (INTEGER)", ints({4})) + kEndMarker + "\x05garbage", oxel));
    EXPECT_EQ(oxel.Patient.Typ, 4);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, PresetNamesSetTheirPictureWidths)
{
    const std::vector<std::pair<std::string, double>> presets = {
        {"DirektR1", 403.7},
        {"Tallex", 532.8},
        {"mm175", 175.0},
        {"Vallex", 280.0},
        {"pacs", 500.0},
        {"PACSLT1", 440.8},
        {"PACSPR8", 495.3},
    };
    for (const auto &[name, widthMm] : presets) {
        COxel oxel;
        EXPECT_TRUE(readFrom(record("Calib (CHAR)", str(name)) + kEndMarker, oxel)) << name;
        EXPECT_DOUBLE_EQ(oxel.ScaleFactor, 1000 / widthMm) << name;
    }
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, Mm175OnA1750PixelPictureGivesTenPixelsPerMillimetre)
{
    COxel oxel;
    put(path, record("Calib (CHAR)", str("mm175")) + kEndMarker);
    EXPECT_TRUE(BinFile::read(path, 1750, 1000, oxel));
    EXPECT_DOUBLE_EQ(oxel.ScaleFactor, 10.0);
}

TEST_F(BinFileRead, Mm430AndUnknownPresetNamesChangeNothing)
{
    COxel oxel;
    const std::string scaleOf5 = record("Calib (REAL)", reals({200.0}));
    EXPECT_TRUE(readFrom(scaleOf5 + record("Calib (CHAR)", str("mm430"))
            + record("Calib (CHAR)", str("MM175")) // names are case-sensitive
            + record("Calib (CHAR)", str("")) + kEndMarker,
        oxel));
    EXPECT_DOUBLE_EQ(oxel.ScaleFactor, 5.0);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, CalibRealRefusesWidthsThatGiveNoScale)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double widthMm : {0.0, -250.0, nan, std::numeric_limits<double>::infinity()}) {
        COxel oxel;
        EXPECT_FALSE(readFrom(record("Typ (INTEGER)", ints({2}))
                + record("Calib (REAL)", reals({widthMm})) + kEndMarker,
            oxel))
            << widthMm;
        expectOneFormatError(messages, errorText("Typ (INTEGER)"));
        EXPECT_DOUBLE_EQ(oxel.ScaleFactor, 1000 / 430.0);
        EXPECT_EQ(oxel.Patient.Typ, 2); // what was read before stays
    }
}

TEST_F(BinFileRead, PatientFieldsDateAndFamnameAlias)
{
    COxel oxel;
    const std::string bytes = record("Famname (CHAR)", str("M\xFCller"))
        + record("Vorname (CHAR)", str("Zo\xEB")) + record("Date (CHAR)", str("01.02.2003"))
        + record("Code (CHAR)", str("S-9")) + record("DatFile (CHAR)", str("C:\\res\\m"))
        + record("Typ (INTEGER)", ints({7})) + record("SLFlag (INTEGER)", ints({0}))
        + record("HeadTR (REAL)", reals({14.0})) + record("CupTR (REAL)", reals({}))
        + record("FocH (REAL)", reals({900.0, 1000.0, 1150.0})) + kEndMarker;
    oxel.Patient.CupTR = 30.0;
    ASSERT_TRUE(readFrom(bytes, oxel));
    EXPECT_EQ(oxel.Patient.Famname, "M\xC3\xBCller"); // held as UTF-8
    EXPECT_EQ(oxel.Patient.Vorname, "Zo\xC3\xAB");
    EXPECT_EQ(oxel.Datum, "01.02.2003");
    EXPECT_EQ(oxel.Patient.Code, "S-9");
    EXPECT_EQ(oxel.Patient.DatFile, "C:\\res\\m");
    EXPECT_EQ(oxel.Patient.Typ, 7);
    EXPECT_TRUE(oxel.Patient.SLFlag);
    EXPECT_EQ(oxel.Patient.HeadTR, 14.0);
    EXPECT_EQ(oxel.Patient.CupTR, 0.0); // no values: 0
    EXPECT_EQ(oxel.Patient.FocH, 1150.0); // several values: the last
}

TEST_F(BinFileRead, OnlyFlagZeroIsTrue)
{
    for (const auto &[stored, expected] :
        std::vector<std::pair<int, bool>>{{0, true}, {1, false}, {-1, false}, {2, false}}) {
        COxel oxel;
        oxel.Patient.SLFlag = !expected;
        ASSERT_TRUE(readFrom(record("SLFlag (INTEGER)", ints({stored})) + kEndMarker, oxel));
        EXPECT_EQ(oxel.Patient.SLFlag, expected) << stored;
    }
    COxel oxel;
    ASSERT_TRUE(readFrom(
        record("LinesValid (INTEGER)", ints({0, 1, -1, 0, 0, 0, 0, 0, 7, 0})) + kEndMarker, oxel));
    const std::vector<bool> expected = {
        true, false, false, true, true, true, true, true, false, true};
    const auto lines = linesInFileOrder(oxel);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i]->Valid, expected[i]) << i;
}

TEST_F(BinFileRead, LinesArePlacedInPictureCoordinatesAndLoseTheirValidity)
{
    std::vector<double> values;
    for (int i = 0; i < 10; ++i) // line i: world (i, 0) to (i + 1, 200)
        values.insert(values.end(), {double(i), 0.0, double(i + 1), 200.0});
    values.push_back(999.0); // beyond the forty: ignored
    COxel oxel;
    oxel.V_R.Valid = true;
    ASSERT_TRUE(readFrom(kCalib250 + record("Lines (REAL)", reals(values))
            + record("Typ (INTEGER)", ints({6})) + kEndMarker,
        oxel));
    const auto lines = linesInFileOrder(oxel);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]->P0.x, 4.0 * double(i)) << i;
        EXPECT_EQ(lines[i]->P0.y, 800.0) << i;
        EXPECT_EQ(lines[i]->P1.x, 4.0 * double(i + 1)) << i;
        EXPECT_EQ(lines[i]->P1.y, 0.0) << i;
        EXPECT_FALSE(lines[i]->Valid) << i;
    }
    EXPECT_EQ(oxel.Patient.Typ, 6); // the 41st value was consumed with its record
}

TEST_F(BinFileRead, UnknownKeysAreSkippedByTheirTypeWord)
{
    COxel oxel;
    const std::string bytes = record("Comment (CHAR)", str("anything"))
        + record("Extra (INTEGER)", ints({1, 2, 3})) + record("Spare (REAL)", reals({1.5, 2.5}))
        + record("Typ (REAL)", reals({9.0})) // a known name with another type is another key
        + record("Empty (INTEGER)", ints({})) + record("Typ (INTEGER)", ints({5})) + kEndMarker;
    EXPECT_TRUE(readFrom(bytes, oxel));
    EXPECT_EQ(oxel.Patient.Typ, 5);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, UnknownTypeWordNamesTheLastKeyRead)
{
    COxel oxel;
    EXPECT_FALSE(readFrom(
        record("Typ (INTEGER)", ints({3})) + record("Odd (BYTE)", i16(1)) + kEndMarker, oxel));
    expectOneFormatError(messages, "Error in File: " + path + " after Key:Typ (INTEGER)");
    EXPECT_EQ(oxel.Patient.Typ, 3);
}

TEST_F(BinFileRead, UnknownTypeWordAsFirstKeyEndsTheMessageAfterTheColon)
{
    COxel oxel;
    EXPECT_FALSE(readFrom(record("Odd (BYTE)", i16(1)) + kEndMarker, oxel));
    expectOneFormatError(messages, "Error in File: " + path + " after Key:");
}

TEST_F(BinFileRead, KeyWithoutBlankIsItsOwnTypeWord)
{
    COxel oxel;
    EXPECT_FALSE(
        readFrom(record("(CHAR)", str("x")) + record("Garbage", str("y")) + kEndMarker, oxel));
    expectOneFormatError(messages, errorText("(CHAR)"));
}

TEST_F(BinFileRead, CountsMustMatchTheRecord)
{
    const std::vector<std::string> wrong = {
        record("Typ (INTEGER)", ints({})),
        record("Typ (INTEGER)", ints({3, 4})),
        record("SLFlag (INTEGER)", ints({0, 0})),
        record("Calib (REAL)", reals({})),
        record("Calib (REAL)", reals({250.0, 250.0})),
        record("LinesValid (INTEGER)", ints({0, 0, 0, 0, 0, 0, 0, 0, 0})),
        record("LinesValid (INTEGER)", ints({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})),
        record("FocHValid (INTEGER)", ints({})),
        record("HeadValid (INTEGER)", ints({0, 0})),
        record("CupValid (INTEGER)", ints({})),
        record("RimValid (INTEGER)", ints({0, 0})),
        record("Lines (REAL)", reals(std::vector<double>(39, 1.0))),
        record("HeadPoints (REAL)", reals({110, 100, 100})),
        record("RimPoints (REAL)", reals({1})),
        record("Typ (INTEGER)", i16(-1)),
        record("Spare (REAL)", i16(-2)),
        record("Name (CHAR)", i16(-1)),
        i16(-3) + "abc",
    };
    for (std::size_t i = 0; i < wrong.size(); ++i) {
        COxel oxel;
        EXPECT_FALSE(readFrom(kCalib250 + wrong[i] + kEndMarker, oxel)) << i;
        expectOneFormatError(messages, errorText("Calib (REAL)"));
    }
    COxel oxel;
    EXPECT_TRUE(readFrom(record("FocHValid (INTEGER)", ints({-1})) + kEndMarker, oxel));
}

TEST_F(BinFileRead, PositionsThatAreNoNumbersAreRefused)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> lines(40, 1.0);
    lines[13] = nan;
    for (const std::string &bad : {record("Lines (REAL)", reals(lines)),
             record("HeadPoints (REAL)", reals({110, 100, inf, 110, 90, 100})),
             record("CupPoints (REAL)", reals({1e308, 1, 2, 3, 4, 5}))}) {
        COxel oxel;
        oxel.Cup.addPoint(1, 1);
        EXPECT_FALSE(readFrom(kCalib250 + bad + kEndMarker, oxel));
        expectOneFormatError(messages, errorText("Calib (REAL)"));
        EXPECT_EQ(oxel.H_M.P1.y, 0.0);
        EXPECT_TRUE(oxel.Head.points.empty());
        EXPECT_EQ(oxel.Cup.points.size(), 1u); // the refused record changed nothing
    }
}

// A file cut short anywhere but between two records is damaged, and the message names the last
// record read whole. Cut exactly between records it reads as ended there.
TEST_F(BinFileRead, TruncationIsRefusedExceptAtRecordBoundaries)
{
    std::vector<double> lineValues(40, 50.0);
    const std::vector<std::pair<std::string, std::string>> records = {
        {"Calib (REAL)", kCalib250},
        {"Name (CHAR)", record("Name (CHAR)", str("M\xFCller"))},
        {"Typ (INTEGER)", record("Typ (INTEGER)", ints({3}))},
        {"Lines (REAL)", record("Lines (REAL)", reals(lineValues))},
        {"LinesValid (INTEGER)",
            record("LinesValid (INTEGER)", ints({0, 0, 0, 0, 0, 0, 0, -1, -1, -1}))},
        {"Unknown (CHAR)", record("Unknown (CHAR)", str("xyz"))},
        {"HeadPoints (REAL)", record("HeadPoints (REAL)", reals(kHeadCircleMm))},
        {"HeadValid (INTEGER)", record("HeadValid (INTEGER)", ints({0}))},
    };
    std::string whole;
    std::vector<std::size_t> boundaries = {0};
    for (const auto &[key, bytes] : records) {
        whole += bytes;
        boundaries.push_back(whole.size());
    }
    whole += kEndMarker;

    std::size_t recordIndex = 0; // the record that the cut falls into or ends before
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        while (recordIndex + 1 < boundaries.size() && boundaries[recordIndex + 1] <= cut)
            ++recordIndex;
        const bool atBoundary = boundaries[recordIndex] == cut;
        COxel oxel;
        const bool ok = readFrom(whole.substr(0, cut), oxel);
        EXPECT_EQ(ok, atBoundary && cut > 0) << "cut at " << cut;
        if (cut < 2) {
            // Nothing, or less than a key: no landmarks at all.
            ASSERT_EQ(messages.boxes.size(), 1u) << "cut at " << cut;
            EXPECT_NE(
                messages.boxes[0].text.find("the file holds no landmarks"), std::string::npos);
        } else if (atBoundary) {
            EXPECT_TRUE(messages.boxes.empty()) << "cut at " << cut;
        } else {
            const std::string lastKey = recordIndex == 0 ? "" : records[recordIndex - 1].first;
            ASSERT_EQ(messages.boxes.size(), 1u) << "cut at " << cut;
            EXPECT_EQ(messages.boxes[0].text, errorText(lastKey)) << "cut at " << cut;
        }
    }
    COxel oxel;
    EXPECT_TRUE(readFrom(whole, oxel));
    EXPECT_TRUE(oxel.Head.Valid);
}

// --- Validity of head, cup and rim ---

TEST_F(BinFileRead, StoredFlagConfirmsOrClearsAFittedLandmark)
{
    COxel oxel;
    ASSERT_TRUE(readFrom(kCalib250 + record("HeadPoints (REAL)", reals(kHeadCircleMm))
            + record("HeadValid (INTEGER)", ints({0})) + kEndMarker,
        oxel));
    EXPECT_TRUE(oxel.Head.Valid);
    ASSERT_EQ(oxel.Head.points.size(), 3u);
    EXPECT_NEAR(oxel.Head.points[1]->x, 400.0, kRoundTripTolerance);
    EXPECT_NEAR(oxel.Head.points[1]->y, 360.0, kRoundTripTolerance);
    EXPECT_NEAR(oxel.Head.M.x, 400.0, kRoundTripTolerance);
    EXPECT_NEAR(oxel.Head.M.y, 400.0, kRoundTripTolerance);
    EXPECT_NEAR(oxel.Head.r, 40.0, kRoundTripTolerance);

    COxel cleared;
    ASSERT_TRUE(readFrom(kCalib250 + record("HeadPoints (REAL)", reals(kHeadCircleMm))
            + record("HeadValid (INTEGER)", ints({-1})) + kEndMarker,
        cleared));
    EXPECT_FALSE(cleared.Head.Valid);
    EXPECT_EQ(cleared.Head.points.size(), 3u);
}

TEST_F(BinFileRead, StoredFlagCannotReviveAFailedFit)
{
    COxel oxel;
    ASSERT_TRUE(readFrom(kCalib250 + record("CupPoints (REAL)", reals(kCollinearMm))
            + record("CupValid (INTEGER)", ints({0})) + kEndMarker,
        oxel));
    EXPECT_FALSE(oxel.Cup.Valid);
    EXPECT_EQ(oxel.Cup.points.size(), 3u);
    // Only the fit's own box, no file error: the file itself is sound.
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].title, "Equation Solver");

    COxel rim; // four points: the rim has no fit for four, and says nothing
    ASSERT_TRUE(readFrom(kCalib250 + record("RimPoints (REAL)", reals({1, 1, 2, 3, 5, 1, 3, 0}))
            + record("RimValid (INTEGER)", ints({0})) + kEndMarker,
        rim));
    EXPECT_FALSE(rim.Rim.Valid);
    EXPECT_EQ(rim.Rim.points.size(), 4u);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, WithoutPointsRecordTheFlagOnlyKeepsOrClearsTheValidity)
{
    const auto fittedHead = [](COxel &oxel) {
        oxel.Head.addPoint(440, 400);
        oxel.Head.addPoint(400, 360);
        oxel.Head.addPoint(360, 400);
        ASSERT_TRUE(oxel.Head.fit());
        oxel.Head.Valid = true;
    };
    COxel kept;
    fittedHead(kept);
    ASSERT_TRUE(readFrom(kCalib250 + record("HeadValid (INTEGER)", ints({0})) + kEndMarker, kept));
    EXPECT_TRUE(kept.Head.Valid);
    EXPECT_EQ(kept.Head.points.size(), 3u);

    COxel cleared;
    fittedHead(cleared);
    ASSERT_TRUE(readFrom(kCalib250 + record("HeadValid (INTEGER)", ints({-1}))
            + record("HeadValid (INTEGER)", ints({0})) + kEndMarker,
        cleared));
    EXPECT_FALSE(cleared.Head.Valid); // once cleared, a later flag cannot bring it back
    EXPECT_EQ(cleared.Head.points.size(), 3u);

    COxel never;
    never.Rim.addPoint(1, 1);
    ASSERT_TRUE(readFrom(kCalib250 + record("RimValid (INTEGER)", ints({0})) + kEndMarker, never));
    EXPECT_FALSE(never.Rim.Valid);
}

TEST_F(BinFileRead, EmptyPointsRecordEmptiesTheLandmark)
{
    const auto fittedCup = [](COxel &oxel) {
        oxel.Cup.addPoint(440, 400);
        oxel.Cup.addPoint(400, 360);
        oxel.Cup.addPoint(360, 400);
        ASSERT_TRUE(oxel.Cup.fit());
        oxel.Cup.Valid = true;
    };
    COxel alone;
    fittedCup(alone);
    ASSERT_TRUE(readFrom(record("CupPoints (REAL)", reals({})) + kEndMarker, alone));
    EXPECT_TRUE(alone.Cup.points.empty());
    EXPECT_TRUE(alone.Cup.Valid); // the record itself leaves the validity

    COxel withFlag;
    fittedCup(withFlag);
    ASSERT_TRUE(readFrom(record("CupPoints (REAL)", reals({}))
            + record("CupValid (INTEGER)", ints({0})) + kEndMarker,
        withFlag));
    EXPECT_TRUE(withFlag.Cup.points.empty());
    EXPECT_FALSE(withFlag.Cup.Valid); // nothing was fitted in this read
}

TEST_F(BinFileRead, LaterPointsRecordReplacesTheEarlierOne)
{
    COxel oxel;
    ASSERT_TRUE(readFrom(kCalib250 + record("HeadPoints (REAL)", reals(kCollinearMm))
            + record("HeadPoints (REAL)", reals(kHeadCircleMm))
            + record("HeadValid (INTEGER)", ints({0})) + kEndMarker,
        oxel));
    EXPECT_TRUE(oxel.Head.Valid);
    EXPECT_EQ(oxel.Head.points.size(), 3u);
}

// --- Writing ---

TEST_F(BinFileWrite, MeasurementWithoutPointsGivesExactlyTheseBytes)
{
    COxel oxel = scaledMeasurement();
    oxel.H_B.init(40, 800, 400, 800);
    oxel.H_B.Valid = true;
    oxel.Cross_V.init(4, 0, 8, 4);
    oxel.Cross_V.Valid = true;
    oxel.Patient.Famname = "M\xC3\xBCller";
    oxel.Patient.Vorname = "Zo\xC3\xAB";
    oxel.Datum = "12.03.2024";
    oxel.Patient.Code = "A-1";
    oxel.Patient.Typ = 3;
    oxel.Patient.SLFlag = true;
    oxel.Patient.HeadTR = 14.0;
    oxel.Patient.CupTR = 26.5;
    oxel.Patient.FocH = 1150.0;

    std::string error;
    ASSERT_TRUE(BinFile::write(path, oxel, &error)) << error;

    std::vector<double> lines = {10, 0, 100, 0}; // H_B
    for (int i = 0; i < 8; ++i) // H_M ... Cross_H at pixel (0, 0)
        lines.insert(lines.end(), {0, 200, 0, 200});
    lines.insert(lines.end(), {1, 200, 2, 199}); // Cross_V
    const std::string expected = std::string("\x0C\x00", 2) + "Calib (REAL)" + i16(1) + f64(250.0)
        + record("Name (CHAR)", str("M\xFCller")) + record("Vorname (CHAR)", str("Zo\xEB"))
        + record("Date (CHAR)", str("12.03.2024")) + record("Code (CHAR)", str("A-1"))
        + record("DatFile (CHAR)", std::string(2, '\0')) + std::string("\x0D\x00", 2)
        + "Typ (INTEGER)" + std::string("\x01\x00\x03\x00", 4)
        + record("SLFlag (INTEGER)", ints({0})) + record("HeadTR (REAL)", reals({14.0}))
        + record("CupTR (REAL)", reals({26.5})) + record("Lines (REAL)", reals(lines))
        + record("LinesValid (INTEGER)", ints({0, -1, -1, -1, -1, -1, -1, -1, -1, 0}))
        + record("FocH (REAL)", reals({1150.0})) + std::string("\x13\x00", 2)
        + "HeadValid (INTEGER)" + std::string("\x01\x00\xFF\xFF", 4)
        + record("CupValid (INTEGER)", ints({-1})) + record("RimValid (INTEGER)", ints({-1}))
        + std::string(2, '\0');
    EXPECT_EQ(get(path), expected);
}

TEST_F(BinFileWrite, PointsRecordsHoldWorldPairsBeforeTheirFlags)
{
    COxel oxel = scaledMeasurement();
    oxel.Head.addPoint(8, 400);
    oxel.Head.Valid = true;
    oxel.Rim.addPoint(4, 800);
    oxel.Rim.addPoint(0, 0);
    ASSERT_TRUE(BinFile::write(path, oxel));
    const std::string bytes = get(path);

    const std::string head = record("HeadPoints (REAL)", reals({2, 100}))
        + std::string("\x13\x00", 2) + "HeadValid (INTEGER)" + std::string("\x01\x00\x00\x00", 4);
    const std::string rim = record("RimPoints (REAL)", reals({1, 0, 0, 200}))
        + record("RimValid (INTEGER)", ints({-1})) + std::string(2, '\0');
    EXPECT_NE(bytes.find(head + record("CupValid (INTEGER)", ints({-1})) + rim), std::string::npos);
    EXPECT_EQ(bytes.find("CupPoints"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - rim.size()), rim);
}

TEST_F(BinFileWrite, WholeMeasurementSurvivesARoundTrip)
{
    COxel oxel;
    ASSERT_TRUE(oxel.initScale(1234, 987, 321.5));
    oxel.Patient.Famname = "M\xC3\xBCller";
    oxel.Patient.Vorname = "Ren\xC3\xA9"
                           "e \xE2\x80\x9C"
                           "Fran\xC3\xA7oise\xE2\x80\x9D"; // “ ” are in the code page
    oxel.Patient.Code = "\xC2\xA7 42 \xE2\x82\xAC"; // § and €
    oxel.Patient.Typ = 7;
    oxel.Patient.SLFlag = true;
    oxel.Patient.HeadTR = 14.25;
    oxel.Patient.CupTR = 26.125;
    oxel.Patient.FocH = 1150.5;
    oxel.Patient.DatFile = "/results/m\xC3\xBCller";
    oxel.Datum = "31.12.1999";
    auto lines = linesInFileOrder(oxel);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double k = static_cast<double>(i);
        lines[i]->init(10.5 + k, 20.25 + 3 * k, 600.75 - k, 700.125 - 7 * k);
        lines[i]->Valid = i % 3 != 1;
    }
    for (auto [x, y] :
        std::vector<std::pair<double, double>>{{600, 400}, {500, 300}, {400, 400}, {500, 500}})
        oxel.Head.addPoint(x, y);
    ASSERT_TRUE(oxel.Head.fit());
    oxel.Head.Valid = true;
    for (auto [x, y] : std::vector<std::pair<double, double>>{{330, 410}, {300, 440}, {270, 410}})
        oxel.Cup.addPoint(x, y);
    ASSERT_TRUE(oxel.Cup.fit());
    oxel.Cup.Valid = false; // fitted, but the operator has not accepted it
    for (auto [x, y] : std::vector<std::pair<double, double>>{{620, 400}, {380, 400}, {500, 340},
             {500, 460}, {584.8528137423857, 442.4264068711929}})
        oxel.Rim.addPoint(x, y);
    ASSERT_TRUE(oxel.Rim.fit());
    oxel.Rim.Valid = true;

    std::string error;
    ASSERT_TRUE(BinFile::write(path, oxel, &error)) << error;
    COxel back;
    ASSERT_TRUE(BinFile::read(path, 1234, 987, back));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_NEAR(back.ScaleFactor, 1234 / 321.5, 1e-12);
    EXPECT_EQ(back.Patient.Famname, oxel.Patient.Famname);
    EXPECT_EQ(back.Patient.Vorname, oxel.Patient.Vorname);
    EXPECT_EQ(back.Patient.Code, oxel.Patient.Code);
    EXPECT_EQ(back.Patient.Typ, 7);
    EXPECT_TRUE(back.Patient.SLFlag);
    EXPECT_EQ(back.Patient.HeadTR, 14.25);
    EXPECT_EQ(back.Patient.CupTR, 26.125);
    EXPECT_EQ(back.Patient.FocH, 1150.5);
    EXPECT_EQ(back.Patient.DatFile, oxel.Patient.DatFile);
    EXPECT_EQ(back.Datum, "31.12.1999");
    const auto backLines = linesInFileOrder(back);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(backLines[i]->P0.x, lines[i]->P0.x, kRoundTripTolerance) << i;
        EXPECT_NEAR(backLines[i]->P0.y, lines[i]->P0.y, kRoundTripTolerance) << i;
        EXPECT_NEAR(backLines[i]->P1.x, lines[i]->P1.x, kRoundTripTolerance) << i;
        EXPECT_NEAR(backLines[i]->P1.y, lines[i]->P1.y, kRoundTripTolerance) << i;
        EXPECT_EQ(backLines[i]->Valid, i % 3 != 1) << i;
    }
    for (auto [mine, theirs] : std::vector<std::pair<PointLandmark *, PointLandmark *>>{
             {&oxel.Head, &back.Head}, {&oxel.Cup, &back.Cup}, {&oxel.Rim, &back.Rim}}) {
        ASSERT_EQ(theirs->points.size(), mine->points.size());
        for (std::size_t i = 0; i < mine->points.size(); ++i) {
            EXPECT_NEAR(theirs->points[i]->x, mine->points[i]->x, kRoundTripTolerance);
            EXPECT_NEAR(theirs->points[i]->y, mine->points[i]->y, kRoundTripTolerance);
        }
    }
    EXPECT_TRUE(back.Head.Valid);
    EXPECT_FALSE(back.Cup.Valid);
    EXPECT_TRUE(back.Rim.Valid);
    EXPECT_NEAR(back.Head.M.x, 500.0, 1e-6);
    EXPECT_NEAR(back.Head.r, 100.0, 1e-6);
    EXPECT_NEAR(back.Rim.a, 120.0, 1e-6);
    EXPECT_NEAR(back.Rim.b, 60.0, 1e-6);
}

TEST_F(BinFileWrite, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    COxel oxel = scaledMeasurement();
    oxel.Patient.Famname = "\xC5\x81\xC3\xB3\x64\xC5\xBA"; // Łódź: Ł and ź are not in the code page
    ASSERT_TRUE(BinFile::write(path, oxel));
    EXPECT_NE(get(path).find(record("Name (CHAR)",
                  str("?\xF3"
                      "d?"))),
        std::string::npos);
}

TEST_F(BinFileWrite, LongestTextFitsAndOneMoreIsRefused)
{
    COxel oxel = scaledMeasurement();
    std::string umlauts;
    for (int i = 0; i < 32767; ++i)
        umlauts += "\xC3\xBC"; // two bytes in memory, one in the file
    oxel.Patient.Code = umlauts;
    std::string error;
    ASSERT_TRUE(BinFile::write(path, oxel, &error)) << error;
    COxel back;
    ASSERT_TRUE(BinFile::read(path, kPicW, kPicH, back));
    EXPECT_EQ(back.Patient.Code, umlauts);

    const std::string before = get(path);
    oxel.Patient.Code += "x";
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_NE(error.find("Code (CHAR)"), std::string::npos) << error;
    EXPECT_EQ(get(path), before);
    EXPECT_EQ(entries(), std::vector<std::string>{"hip.bin"});
}

TEST_F(BinFileWrite, ShorterContentLeavesNoOldBytesBehind)
{
    put(path, std::string(100000, '\x7F'));
    COxel oxel = scaledMeasurement();
    ASSERT_TRUE(BinFile::write(path, oxel));
    const std::string bytes = get(path);
    EXPECT_LT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string(2, '\0'));
    EXPECT_EQ(entries(), std::vector<std::string>{"hip.bin"}); // no temporary file is left
}

TEST_F(BinFileWrite, MissingFolderFailsWithAReason)
{
    COxel oxel = scaledMeasurement();
    std::string error;
    EXPECT_FALSE(BinFile::write(file("no-such-folder/hip.bin"), oxel, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(BinFile::write(file("no-such-folder/hip.bin"), oxel)); // no reason wanted
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileWrite, ReadOnlyFileIsNotReplaced)
{
    put(path, "old content");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    COxel oxel = scaledMeasurement();
    std::string error;
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(get(path), "old content");
    EXPECT_EQ(entries(), std::vector<std::string>{"hip.bin"});
}

TEST_F(BinFileWrite, ReplacedFileKeepsItsPermissions)
{
    put(path, "old content");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, perms);
    COxel oxel = scaledMeasurement();
    ASSERT_TRUE(BinFile::write(path, oxel));
    EXPECT_EQ(fs::status(path).permissions(), perms);
    EXPECT_NE(get(path), "old content");
}

TEST_F(BinFileWrite, ReadOnlyFolderFailsAndKeepsTheOldFile)
{
    put(path, "old content");
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders anyway";
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    COxel oxel = scaledMeasurement();
    std::string error;
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_EQ(get(path), "old content");
    EXPECT_EQ(entries(), std::vector<std::string>{"hip.bin"});
}

TEST_F(BinFileWrite, MeasurementWithoutPictureSizeIsRefused)
{
    put(path, "old content");
    COxel oxel; // initScale never succeeded: no picture width to store
    std::string error;
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(get(path), "old content");
}

// --- Damaged files from archives and transfers ---

TEST_F(BinFileRead, LongestKeyCutShortIsRefused)
{
    // A key announcing 32767 characters, with the file ending after a few of them.
    COxel oxel;
    EXPECT_FALSE(readFrom(kCalib250 + i16(32767) + "HeadPoints (RE", oxel));
    expectOneFormatError(messages, errorText("Calib (REAL)"));
}

TEST_F(BinFileRead, CountLargerThanTheFileIsRefusedBeforeAnythingIsRead)
{
    // 30000 reals announced, three present: nothing is allocated for the rest.
    COxel oxel;
    EXPECT_FALSE(readFrom(kCalib250
            + "\x11\x00"
              "HeadPoints (REAL)"
            + i16(30000) + std::string(24, '\x01'),
        oxel));
    expectOneFormatError(messages, errorText("Calib (REAL)"));
    EXPECT_TRUE(oxel.Head.points.empty());
}

TEST_F(BinFileRead, FolderInPlaceOfTheFileIsNoLandmarkFile)
{
    fs::create_directory(dir / "folder.bin");
    COxel oxel;
    EXPECT_FALSE(BinFile::read((dir / "folder.bin").string(), kPicW, kPicH, oxel));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileRead, UnreadableFileIsNoLandmarkFile)
{
    put(path, kCalib250 + kEndMarker);
    fs::permissions(path, fs::perms::none);
    if (runningAsRoot())
        GTEST_SKIP() << "root reads any file; the check runs again as an unprivileged user";
    COxel oxel;
    EXPECT_FALSE(BinFile::read(path, kPicW, kPicH, oxel));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(BinFileWrite, LinkToADeviceIsRefusedAndKept)
{
    // The landmark file is a link to something that is no regular file; it is not written.
    fs::create_symlink("/dev/full", path);
    COxel oxel = scaledMeasurement();
    std::string error;
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::read_symlink(path), "/dev/full");
}

TEST_F(BinFileWrite, LinkedLandmarkFileIsReplacedAtItsTarget)
{
    // hip.bin -> shared/link.bin -> ../store/hip.bin, both links relative to their own folder.
    fs::create_directories(dir / "shared");
    fs::create_directories(dir / "store");
    put(file("store/hip.bin"), "old landmarks");
    fs::create_symlink("../store/hip.bin", dir / "shared" / "link.bin");
    fs::create_symlink("shared/link.bin", path);
    COxel oxel = scaledMeasurement();
    oxel.Patient.Famname = "Nilsson";
    std::string error;
    ASSERT_TRUE(BinFile::write(path, oxel, &error)) << error;
    EXPECT_EQ(fs::read_symlink(path), "shared/link.bin");
    EXPECT_EQ(fs::read_symlink(dir / "shared" / "link.bin"), "../store/hip.bin");
    COxel back;
    ASSERT_TRUE(BinFile::read(file("store/hip.bin"), kPicW, kPicH, back));
    EXPECT_EQ(back.Patient.Famname, "Nilsson");
    // Nothing was left beside the link or the target.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::recursive_directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 5u); // hip.bin, shared, shared/link.bin, store, store/hip.bin
}

TEST_F(BinFileWrite, LinkThatLoopsIsRefused)
{
    fs::create_symlink("other.bin", path);
    fs::create_symlink("hip.bin", dir / "other.bin");
    COxel oxel = scaledMeasurement();
    std::string error;
    EXPECT_FALSE(BinFile::write(path, oxel, &error));
    EXPECT_NE(error.find("cannot follow the link " + path), std::string::npos) << error;
    EXPECT_EQ(fs::read_symlink(path), "other.bin");
}

TEST_F(BinFileWrite, VanishedFolderFailsAndLeavesNothing)
{
    const fs::path folder = dir / "study";
    fs::create_directory(folder);
    const std::string inFolder = (folder / "hip.bin").string();
    COxel oxel = scaledMeasurement();
    ASSERT_TRUE(BinFile::write(inFolder, oxel));
    fs::remove_all(folder); // taken away, as a network share or USB stick can be
    std::string error;
    EXPECT_FALSE(BinFile::write(inFolder, oxel, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(folder));
}
