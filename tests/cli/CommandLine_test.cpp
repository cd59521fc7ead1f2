#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include "core/evaluation/ResultFile.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "core/records/CodePage.h"
#include "support/BmpFile.h"
#include "support/CliRun.h"
#include "support/DicomWriter.h"
#include "support/LeftHip.h"
#include "support/TempDir.h"

namespace {

using Outcome = CliOutcome;

class CommandLine : public ::testing::Test
{
protected:
    Outcome run(const std::vector<std::string> &args) { return runCli(OXEL_CLI, args, dir); }

    // A left hip on a 2000 x 1600 px picture at 5 px/mm with a confirmed grid, head and rim
    // points on their outlines, and complete patient data.
    std::string makeRadiograph(const std::string &name, void (*adjust)(COxel &) = nullptr)
    {
        const std::string picture = dir.file(name + ".bmp");
        EXPECT_TRUE(writeGreyBmp(picture, 2000, 1600));
        COxel oxel = leftHip(dir.file("patient"));
        if (adjust)
            adjust(oxel);
        std::string error;
        EXPECT_TRUE(BinFile::write(BinFile::landmarkPath(picture), oxel, &error)) << error;
        return picture;
    }

    std::string resultFile() const { return readBytes(dir.file("patient.dat")); }

    static int lineCount(const std::string &text)
    {
        int n = 0;
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
            ++n;
        return n;
    }

    TempDir dir;
};

} // namespace

TEST_F(CommandLine, HelpAndVersion)
{
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(
        help.out.find("oxel-cli evaluate [--accept-cup-check] PICTURE..."), std::string::npos);
    EXPECT_NE(help.out.find("oxel-cli series FILE.dat... [--csv|--json]"), std::string::npos);
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("oxel-cli ", 0), 0u);
}

TEST_F(CommandLine, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"frobnicate"}).status, 2);
    EXPECT_EQ(run({"evaluate"}).status, 2);
    EXPECT_EQ(run({"evaluate", "--bogus", "x.bmp"}).status, 2);
    const Outcome landmarks = run({"landmarks"});
    EXPECT_EQ(landmarks.status, 2);
    EXPECT_NE(landmarks.err.find("usage:"), std::string::npos);
}

TEST_F(CommandLine, EvaluateAppendsABlockAndRewritesTheLandmarkFile)
{
    const std::string picture = makeRadiograph("hip");
    const std::string landmarkFile = dir.file("hip.bin");
    const std::string before = readBytes(landmarkFile);
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Oxel: Data written to " + dir.file("patient.dat") + "\n");
    const std::string written = resultFile();
    EXPECT_EQ(lineCount(written), 13);
    EXPECT_EQ(
        written.rfind("\"-------> OXEL DIGITAL 1995  File: " + dir.file("patient.dat") + "\",#", 0),
        0u);
    EXPECT_NE(written.find("\"M\xFCller\",\"Anna\",\"S-17\"\r\n"), std::string::npos);
    EXPECT_NE(written.find("\"side of replacement\",\"L\"\r\n"), std::string::npos);
    // The focus distance defaulted to 1100 and is now stored.
    EXPECT_NE(readBytes(landmarkFile), before);
    const Outcome json = run({"landmarks", picture});
    EXPECT_NE(json.out.find("\"FocH\": 1100"), std::string::npos);

    EXPECT_EQ(run({"evaluate", picture}).status, 0);
    EXPECT_EQ(lineCount(resultFile()), 26);
}

TEST_F(CommandLine, MissingPatientDataAreNamedAndRefused)
{
    const std::string picture = makeRadiograph("hip", [](COxel &o) {
        o.Datum.clear();
        o.Patient.Vorname.clear();
    });
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Oxel: patient data missing: Date, First Name\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("patient.dat")));
}

TEST_F(CommandLine, UnconfirmedGridLinesAreRefused)
{
    const std::string picture = makeRadiograph("hip", [](COxel &o) { o.V_F.Valid = false; });
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Oxel: one or more GridLines not set!\n");
}

TEST_F(CommandLine, MissingHeadSizeAsksForPatientData)
{
    const std::string picture = makeRadiograph("hip", [](COxel &o) { o.Patient.HeadTR = 0; });
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Oxel: patient data needed: Head Diameter\n");
}

TEST_F(CommandLine, CupCheckIsRefusedUnlessAccepted)
{
    const std::string picture = makeRadiograph("hip", [](COxel &o) { o.Patient.CupTR = 10; });
    const Outcome refused = run({"evaluate", picture});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Oxel2: cup-diameter too small!\ncontrast-wire maybe "
                               "damaged\ncalculated cup-diameter = "),
        std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("patient.dat")));

    const Outcome accepted = run({"evaluate", "--accept-cup-check", picture});
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_EQ(lineCount(resultFile()), 13);
}

TEST_F(CommandLine, MissingFilesExitWithTwoAndOthersAreStillEvaluated)
{
    const std::string good = makeRadiograph("good");
    const std::string lonely = dir.file("lonely.bmp");
    ASSERT_TRUE(writeGreyBmp(lonely, 100, 100));
    writeBytes(dir.file("broken.bmp"), "BM not really a bitmap");

    const Outcome r =
        run({"evaluate", lonely, dir.file("broken.bmp"), dir.file("absent.jpg"), good});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(
        r.err.find("Oxel: no landmark file " + dir.file("lonely.bin") + "\n"), std::string::npos);
    EXPECT_NE(r.err.find("Error: load Error: "), std::string::npos);
    EXPECT_EQ(lineCount(resultFile()), 13); // the good picture was evaluated all the same
}

TEST_F(CommandLine, PictureBeyondSixteenBitSidesIsRefusedAsTheWindowRefusesIt)
{
    const std::string wide = dir.file("wide.bmp");
    ASSERT_TRUE(writeGreyBmp(wide, 40000, 10));
    const Outcome refused = run({"evaluate", wide});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
        "Error: load Error: the picture is 40000 x 10 pixels; at most 32767 pixels a side can be "
        "measured\n");

    // The widest picture passes the size check and goes on to its landmark file.
    const std::string widest = dir.file("widest.bmp");
    ASSERT_TRUE(writeGreyBmp(widest, 32767, 1));
    const Outcome taken = run({"evaluate", widest});
    EXPECT_EQ(taken.status, 2);
    EXPECT_EQ(taken.err, "Oxel: no landmark file " + dir.file("widest.bin") + "\n");
}

TEST_F(CommandLine, DamagedLandmarkFileIsNamed)
{
    const std::string picture = dir.file("hip.bmp");
    ASSERT_TRUE(writeGreyBmp(picture, 200, 100));
    // "Typ (INTEGER)" with the value 3, then a key with a type word nobody knows.
    writeBytes(dir.file("hip.bin"),
        std::string("\x0d\x00Typ (INTEGER)\x01\x00\x03\x00\x09\x00Odd (BLOB)", 28));
    const Outcome r = run({"landmarks", picture});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Oxel: Error in File: " + dir.file("hip.bin") + " after Key:Typ (INTEGER)\n");
    EXPECT_TRUE(r.out.empty());
}

TEST_F(CommandLine, EmptyLandmarkFileOrOnlyItsEndMarkerIsNamed)
{
    const std::string picture = makeRadiograph("hip");
    for (const std::string &bytes : {std::string(), std::string(2, '\0')}) {
        {
            std::ofstream(dir.file("hip.bin"), std::ios::binary | std::ios::trunc) << bytes;
        }
        for (const char *command : {"evaluate", "landmarks"}) {
            const Outcome r = run({command, picture});
            EXPECT_EQ(r.status, 2) << command;
            EXPECT_EQ(r.err,
                "Oxel: Error in File: " + dir.file("hip.bin") + ": the file holds no landmarks\n")
                << command;
        }
        EXPECT_EQ(readBytes(dir.file("hip.bin")), bytes);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("patient.dat")));
}

TEST_F(CommandLine, RelativeDataFileLiesBesideThePicture)
{
    // The program runs in another folder than the picture's; the block names the file as typed.
    const std::string picture =
        makeRadiograph("hip", [](COxel &oxel) { oxel.Patient.DatFile = "study-7"; });
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Oxel: Data written to " + dir.file("study-7.dat") + "\n");
    const std::string written = readBytes(dir.file("study-7.dat"));
    EXPECT_EQ(written.rfind("\"-------> OXEL DIGITAL 1995  File: study-7.dat\",#", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists("study-7.dat"));
}

TEST_F(CommandLine, LandmarksAsJsonInMillimetresAndPixels)
{
    const std::string picture = makeRadiograph("hip");
    const Outcome r = run({"landmarks", picture});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    for (const char *part : {"\"Famname\": \"Müller\"", "\"date\": \"20240115\"", "\"Typ\": 1",
             "\"pixelsPerMm\": 5", "\"pictureWidthMm\": 400",
             "{\"name\": \"Base-Line\", \"valid\": true, \"P0\": {\"mm\": [80, 80], \"px\": [400, "
             "1200]}",
             "{\"name\": \"Ruler-Line\", \"valid\": false", "\"Head\": {\"valid\": true",
             "\"Cup\": {\"valid\": false, \"points\": {\"mm\": [], \"px\": []}}",
             "\"Rim\": {\"valid\": true"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

namespace {

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The grey level of every pixel of an 8-bit grey PNG, the top row first; empty when the file is
// no such picture.
std::vector<int> pngGreys(const std::string &path, int width, int height)
{
    const QImage image(QString::fromStdString(path), "PNG");
    if (image.format() != QImage::Format_Grayscale8 || image.width() != width
        || image.height() != height)
        return {};
    std::vector<int> greys;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            greys.push_back(image.constScanLine(y)[x]);
    return greys;
}

// A 12-bit DX of 3 x 2 pixels whose header window is 2048/4096.
std::string twelveBitDicom()
{
    DicomPixels pixels;
    pixels.width = 3, pixels.height = 2, pixels.bitsStored = 12;
    pixels.values = {0, 1000, 1250, 1600, 3000, 4095};
    return writeDicom(
        pixels, {dicomText(0x0028, 0x1050, "DS", "2048"), dicomText(0x0028, 0x1051, "DS", "4096")});
}

} // namespace

TEST_F(CommandLine, InfoTellsTheDicomHeaderAndTheSizeOfOtherPictures)
{
    DicomPixels pixels;
    pixels.width = 40, pixels.height = 32, pixels.bitsStored = 12;
    for (int i = 0; i < 40 * 32; ++i)
        pixels.values.push_back(1000 + i);
    // A file name that is not UTF-8, as a Latin-1 system writes it.
    const std::string dicom = dir.file("h\xFC"
                                       "fte");
    writeBytes(dicom,
        writeDicom(pixels,
            {dicomText(0x0008, 0x0005, "CS", "ISO_IR 100"),
                dicomText(0x0010, 0x0010, "PN", "M\xFCller\"^Anna"),
                dicomText(0x0008, 0x0022, "DA", "20240312"),
                dicomText(0x0018, 0x1164, "DS", "0.172\\0.172"),
                dicomText(0x0018, 0x1110, "DS", "1150"),
                dicomText(0x0028, 0x1050, "DS", "2048\\3000"),
                dicomText(0x0028, 0x1051, "DS", "1000\\500"),
                dicomText(0x0028, 0x1055, "LO", "SOFT\\BONE"),
                dicomText(0x0028, 0x1056, "CS", "SIGMOID")},
            DicomUid::kJpeg2000Lossless));
    ASSERT_TRUE(writeGreyBmp(dir.file("hip.bmp"), 30, 20));

    const Outcome r = run({"info", dicom, dir.file("hip.bmp"), dir.file("absent.png")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Error: load Error: ", 0), 0u) << r.err;
    for (const std::string &part : {"[\n  {\n    \"picture\": \""
                 + dir.file("h\xEF\xBF\xBD"
                            "fte")
                 + "\",\n",
             std::string("\"format\": \"dicom\",\n    \"picturePx\": [40, 32],\n    \"frames\": 1"),
             std::string("\"bitsStored\": 12"), std::string("\"signed\": false"),
             std::string("\"photometricInterpretation\": \"MONOCHROME2\""),
             std::string("\"transferSyntax\": {\"uid\": \"1.2.840.10008.1.2.4.90\", \"name\": "
                         "\"JPEG 2000 (Lossless Only)\"}"),
             std::string("\"spacing\": {\"mmPerPixel\": 0.172, \"rowMm\": 0.172, \"columnMm\": "
                         "0.172, \"tag\": \"Imager Pixel Spacing (0018,1164)\"}"),
             std::string("\"focusDistanceMm\": 1150"),
             std::string("\"patient\": {\"familyName\": \"M\xC3\xBCller\\\"\", \"givenName\": "
                         "\"Anna\"}"),
             std::string("\"date\": \"20240312\""),
             std::string("\"windows\": [{\"center\": 2048, \"width\": 1000, \"function\": "
                         "\"SIGMOID\", \"explanation\": \"SOFT\"}, {\"center\": 3000, \"width\": "
                         "500, \"function\": \"SIGMOID\", \"explanation\": \"BONE\"}]"),
             "\"picture\": \"" + dir.file("hip.bmp")
                 + "\",\n    \"format\": \"bmp\",\n    \"picturePx\": [30, 20]\n  },",
             "\"picture\": \"" + dir.file("absent.png") + "\",\n    \"error\": \""})
        EXPECT_TRUE(has(r.out, part)) << part << "\n" << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 6), "  }\n]\n");
}

TEST_F(CommandLine, RenderWritesTheGreyLevelsTheWindowShows)
{
    const auto greyAt = [](int x, int y) { return (7 * x + 13 * y) % 256; };
    ASSERT_TRUE(writeBmp(dir.file("ramp.bmp"), 30, 20, greyAt));
    writeBytes(dir.file("ramp.png"), "an older picture");
    const Outcome r = run({"render", dir.file("ramp.bmp"), dir.file("ramp.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<int> expected;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            expected.push_back(greyAt(x, y));
    EXPECT_EQ(pngGreys(dir.file("ramp.png"), 30, 20), expected);

    // Linear window: ((x - (c - 0.5)) / (w - 1) + 0.5) x 255, 0 and 255 beyond its ends.
    writeBytes(dir.file("dx"), twelveBitDicom());
    EXPECT_EQ(run({"render", dir.file("dx"), dir.file("header.png")}).status, 0);
    EXPECT_EQ(pngGreys(dir.file("header.png"), 3, 2), (std::vector<int>{0, 62, 78, 100, 187, 255}));
    EXPECT_EQ(
        run({"render", "--window", "1500,1000", dir.file("dx"), dir.file("given.png")}).status, 0);
    EXPECT_EQ(pngGreys(dir.file("given.png"), 3, 2), (std::vector<int>{0, 0, 64, 153, 255, 255}));
}

TEST_F(CommandLine, RenderRefusesWhatItCannotDoAndLeavesNoFile)
{
    ASSERT_TRUE(writeGreyBmp(dir.file("hip.bmp"), 30, 20));
    writeBytes(dir.file("dx"), twelveBitDicom());
    const std::string out = dir.file("out.png");

    struct Case
    {
        std::vector<std::string> args;
        std::string message;
    };

    const std::vector<Case> cases{
        {{"info"}, "oxel-cli: info needs at least one picture\n"},
        {{"render", dir.file("hip.bmp")}, "render needs a picture and the PNG file to write"},
        {{"render", dir.file("hip.bmp"), dir.file("out.jpg")}, "must end in .png, not "},
        {{"render", dir.file("dx"), out, "--window"}, "--window needs a value"},
        {{"render", dir.file("dx"), out, "--window", "1500"}, "--window needs CENTER,WIDTH"},
        {{"render", dir.file("dx"), out, "--window", "1500,0.5"}, "not 1500,0.5"},
        {{"render", dir.file("hip.bmp"), out, "--window", "100,50"},
            "oxel-cli: --window applies only to grey DICOM pictures; " + dir.file("hip.bmp")
                + " is not DICOM\n"},
        {{"render", dir.file("absent.bmp"), out}, "Error: load Error: "},
        {{"render", dir.file("hip.bmp"), dir.file("gone/out.png")},
            "Oxel Error: could not write " + dir.file("gone/out.png") + ": "},
    };
    for (const Case &c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_TRUE(has(r.err, c.message)) << r.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4)
        << "only the two pictures and the program's output are there";
}

TEST_F(CommandLine, EvaluateTakesADicomPicturesSizeFromItsHeader)
{
    DicomPixels pixels;
    pixels.width = 2000, pixels.height = 1600, pixels.bitsAllocated = 8, pixels.bitsStored = 8;
    pixels.values.assign(2000 * 1600, 100);
    const std::string picture = dir.file("hip.dcm");
    writeBytes(picture, writeDicom(pixels, {}));
    std::string error;
    ASSERT_TRUE(
        BinFile::write(BinFile::landmarkPath(picture), leftHip(dir.file("patient")), &error))
        << error;
    const Outcome r = run({"evaluate", picture});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(resultFile()), 13);
    const Outcome json = run({"landmarks", picture});
    EXPECT_TRUE(has(json.out, "\"picturePx\": [2000, 1600]")) << json.out;
    EXPECT_TRUE(has(json.out, "\"P0\": {\"mm\": [80, 80], \"px\": [400, 1200]}")) << json.out;
}

namespace {

// A head-based block of the left hip of Doe with the cup's cranial migration given.
std::string resultBlock(const char *datum, double cupCranial)
{
    ResultBlock b;
    b.fileName = "doe.dat";
    b.date = {2021, 1, 5};
    b.famname = "Doe";
    b.vorname = "Jane";
    b.code = "S1";
    b.datum = datum;
    b.sideLeft = true;
    b.cup = {true, cupCranial, 20, 0};
    b.typ = 2;
    b.radiofactor = 1.1;
    return CodePage::toWindows1252(ResultFile::formatBlock(b));
}

} // namespace

TEST_F(CommandLine, SeriesExitsWithOneForSkippedBlocksAndTwoForUnreadableFiles)
{
    const std::string good = dir.file("good.dat"), damaged = dir.file("damaged.dat");
    writeBytes(good, resultBlock("20200101", 10) + resultBlock("20210101", 10.5));
    writeBytes(damaged, resultBlock("20200101", 10) + "stray\r\n" + resultBlock("20210101", 11));

    const Outcome read = run({"series", good});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.err, "");
    EXPECT_TRUE(has(read.out, "Doe, Jane (S1), left hip")) << read.out;
    // 366 days later, with the cup 0.5 mm further cranial.
    EXPECT_TRUE(has(read.out, "2021-01-01      1.00         0.50")) << read.out;

    const Outcome skipped = run({"series", damaged});
    EXPECT_EQ(skipped.status, 1);
    EXPECT_EQ(skipped.err.rfind(damaged + ":14: a line outside any block", 0), 0u) << skipped.err;
    EXPECT_TRUE(has(skipped.out, "2021-01-01      1.00         1.00")) << skipped.out;

    const Outcome missing = run({"series", good, dir.file("missing.dat"), damaged});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(has(missing.err, dir.file("missing.dat") + ": cannot be read: No such file"))
        << missing.err;
    EXPECT_TRUE(has(missing.out, good)) << missing.out;
    EXPECT_TRUE(has(missing.out, damaged)) << missing.out;

    EXPECT_EQ(run({"series"}).status, 2);
    EXPECT_EQ(run({"series", "--csv", "--json", good}).status, 2);
    EXPECT_EQ(run({"series", "--tsv", good}).status, 2);
}

TEST_F(CommandLine, SeriesWritesCsvOrJson)
{
    const std::string good = dir.file("good.dat");
    writeBytes(good, resultBlock("20200101", 10) + resultBlock("20210101", 10.5));

    const Outcome csv = run({"series", good, "--csv"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("file,line,current,family_name,", 0), 0u) << csv.out;
    EXPECT_EQ(lineCount(csv.out), 3);
    EXPECT_TRUE(
        has(csv.out, "\r\n" + good + ",14,1,Doe,Jane,S1,L,2021-01-01,2021-01-05,2,0,,,10.5,20,"))
        << csv.out;

    const Outcome json = run({"series", "--json", good});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(has(json.out, "\"problems\": []")) << json.out;
    EXPECT_TRUE(has(json.out, "\"cupCranial\": 0.5")) << json.out;
}
