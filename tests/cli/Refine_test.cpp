#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/BmpFile.h"
#include "support/CliRun.h"
#include "support/DicomWriter.h"
#include "support/LeftHip.h"
#include "support/TempDir.h"

namespace {

// The outlines drawn into the picture: the head a bright disc of radius 80 about (1250, 800),
// the rim a bright ellipse about (600, 600) with half axes 100 along (0.8, -0.6) and 40 across.
constexpr double kHeadX = 1250, kHeadY = 800, kHeadR = 80;
constexpr double kRimX = 600, kRimY = 600, kRimA = 100, kRimB = 40, kCos = 0.8, kSin = -0.6;

// Signed distance from the rim's outline (to first order, plenty within a few pixels of it),
// positive outside.
double rimDistance(double x, double y)
{
    const double u = (x - kRimX) * kCos + (y - kRimY) * kSin;
    const double v = -(x - kRimX) * kSin + (y - kRimY) * kCos;
    const double f = (u * u) / (kRimA * kRimA) + (v * v) / (kRimB * kRimB) - 1.0;
    const double gu = 2 * u / (kRimA * kRimA), gv = 2 * v / (kRimB * kRimB);
    return f / std::hypot(gu, gv);
}

// A step of 100 grey levels blurred by 1.2 px, whose steepest point is the outline itself.
double brightInside(double distanceOutside)
{
    return 100.0 * 0.5 * std::erfc(distanceOutside / (1.2 * std::numbers::sqrt2));
}

int outlineGrey(int i, int j)
{
    const double x = i + 0.5, y = j + 0.5;
    double grey = 60.0;
    if (std::fabs(x - kRimX) < 120 && std::fabs(y - kRimY) < 120)
        grey += brightInside(rimDistance(x, y));
    grey += brightInside(std::hypot(x - kHeadX, y - kHeadY) - kHeadR);
    return static_cast<int>(std::lround(grey));
}

// The outlines as a 12-bit DICOM picture whose first window shows them: stored values falling
// as the grey rises, white at 0 (MONOCHROME1), under a window over 600 to 3000.
std::string outlinesAsDicom()
{
    DicomPixels pixels;
    pixels.width = 2000;
    pixels.height = 1600;
    pixels.bitsStored = 12;
    pixels.photometric = "MONOCHROME1";
    pixels.values.reserve(2000 * 1600);
    for (int j = 0; j < 1600; ++j)
        for (int i = 0; i < 2000; ++i)
            pixels.values.push_back(4000 - 20 * outlineGrey(i, j));
    return writeDicom(
        pixels, {dicomText(0x0028, 0x1050, "DS", "1800"), dicomText(0x0028, 0x1051, "DS", "2400")});
}

enum class Drawn {
    Outlines,
    Flat,
    DicomOutlines
};

using Outcome = CliOutcome;

class Refine : public ::testing::Test
{
protected:
    Outcome run(const std::vector<std::string> &args) { return runCli(OXEL_CLI, args, output); }

    // The left hip's grid and patient data with nine head points clicked 2.5 px outside the
    // head's outline and eight rim points 2 px inside the rim's, beside a picture.
    std::string makePicture(const std::string &name, Drawn drawn)
    {
        const std::string picture =
            dir.file(name + (drawn == Drawn::DicomOutlines ? ".dcm" : ".bmp"));
        if (drawn == Drawn::DicomOutlines)
            writeBytes(picture, outlinesAsDicom());
        else if (drawn == Drawn::Flat)
            EXPECT_TRUE(writeGreyBmp(picture, 2000, 1600, 90));
        else
            EXPECT_TRUE(writeBmp(picture, 2000, 1600, outlineGrey));
        COxel oxel = leftHip(dir.file("patient"), 8, 0);
        oxel.Head.removeAll();
        for (int k = 0; k < 9; ++k) {
            const double t = 2 * std::numbers::pi * (k + 0.3) / 9;
            oxel.Head.addPoint(kHeadX + 82.5 * std::cos(t), kHeadY + 82.5 * std::sin(t));
        }
        for (int k = 0; k < 8; ++k) {
            const double t = 2 * std::numbers::pi * (k + 0.2) / 8;
            // On the outline, then along its normal.
            const double u = kRimA * std::cos(t), v = kRimB * std::sin(t);
            const double nu = u / (kRimA * kRimA), nv = v / (kRimB * kRimB);
            const double n = std::hypot(nu, nv);
            const double uu = u - 2 * nu / n, vv = v - 2 * nv / n;
            oxel.Rim.addPoint(kRimX + uu * kCos - vv * kSin, kRimY + uu * kSin + vv * kCos);
        }
        oxel.Head.Valid = oxel.Head.fit();
        oxel.Rim.Valid = oxel.Rim.fit();
        EXPECT_TRUE(oxel.Head.Valid && oxel.Rim.Valid);
        std::string error;
        EXPECT_TRUE(BinFile::write(BinFile::landmarkPath(picture), oxel, &error)) << error;
        // Long ago, so that any rewrite shows.
        std::filesystem::last_write_time(BinFile::landmarkPath(picture),
            std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
        return picture;
    }

    static COxel readBack(const std::string &picture)
    {
        COxel oxel;
        oxel.setPicBox(nullptr);
        EXPECT_TRUE(BinFile::read(BinFile::landmarkPath(picture), 2000, 1600, oxel));
        return oxel;
    }

    // The landmark file's bytes and time stamp, to show it was left alone.
    struct Untouched
    {
        std::string bytes;
        std::filesystem::file_time_type written;

        explicit Untouched(const std::string &file)
            : bytes(readBytes(file)), written(std::filesystem::last_write_time(file))
        {}

        bool operator==(const Untouched &) const = default;
    };

    TempDir dir; // the pictures and landmark files
    TempDir output; // what the program printed, apart from the folder made read-only
};

// The number printed right after text, NaN when text is not printed.
double numberAfter(const std::string &out, const std::string &text)
{
    const std::size_t at = out.find(text);
    return at == std::string::npos ? std::nan("") : std::atof(out.c_str() + at + text.size());
}

std::string landmarkLines(const std::string &out)
{
    return out.substr(0, out.rfind(".bmp: ")); // all but the last line
}

} // namespace

TEST_F(Refine, PointsOffTheOutlineAreWrittenBackOnItAndEverythingElseStays)
{
    const std::string picture = makePicture("hip", Drawn::Outlines);
    const std::string landmarkFile = dir.file("hip.bin");
    const Untouched stored(landmarkFile);

    const Outcome dry = run({"refine", "--dry-run", picture});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.err, "");
    EXPECT_TRUE(Untouched(landmarkFile) == stored);
    EXPECT_NEAR(numberAfter(dry.out, picture + ": head: 9 of 9 points snapped, moved "), 2.5, 0.1)
        << dry.out;
    EXPECT_NEAR(numberAfter(dry.out, "; radius 82.50 -> "), kHeadR, 0.1) << dry.out;
    EXPECT_NE(dry.out.find(picture + ": cup: no points, skipped\n"), std::string::npos);
    EXPECT_NEAR(numberAfter(dry.out, picture + ": rim: 8 of 8 points snapped, moved "), 2.0, 0.2)
        << dry.out;
    EXPECT_NE(
        dry.out.find(picture + ": dry run, " + landmarkFile + " not written\n"), std::string::npos);

    const Outcome done = run({"refine", picture});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(landmarkLines(done.out), landmarkLines(dry.out));
    EXPECT_NE(done.out.find(picture + ": written to " + landmarkFile + "\n"), std::string::npos);

    const COxel refined = readBack(picture);
    ASSERT_TRUE(refined.Head.Valid && refined.Rim.Valid);
    for (const auto &p : refined.Head.points)
        EXPECT_NEAR(std::hypot(p->x - kHeadX, p->y - kHeadY), kHeadR, 0.3);
    EXPECT_NEAR(refined.Head.r, kHeadR, 0.1);
    EXPECT_NEAR(std::hypot(refined.Head.M.x - kHeadX, refined.Head.M.y - kHeadY), 0.0, 0.1);
    for (const auto &p : refined.Rim.points)
        EXPECT_NEAR(rimDistance(p->x, p->y), 0.0, 0.3);
    EXPECT_NEAR(refined.Rim.a, kRimA, 0.3);
    EXPECT_NEAR(refined.Rim.b, kRimB, 0.3);
    EXPECT_TRUE(refined.Cup.points.empty());
    // Scale, patient data, date and grid lines come before the points, byte for byte.
    const std::string after = readBytes(landmarkFile);
    const std::size_t points = stored.bytes.find("HeadPoints (REAL)");
    ASSERT_NE(points, std::string::npos);
    EXPECT_EQ(after.substr(0, points), stored.bytes.substr(0, points));

    // Refined once, the points are on the outline: nothing is written the second time.
    std::filesystem::last_write_time(
        landmarkFile, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    const Untouched once(landmarkFile);
    const Outcome again = run({"refine", picture});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(Untouched(landmarkFile) == once);
    EXPECT_NE(again.out.find("head: 9 of 9 points snapped, moved 0.0"), std::string::npos);
    EXPECT_NE(
        again.out.find("on the outline already, the points stay as stored"), std::string::npos);
    EXPECT_NE(again.out.find(picture + ": nothing moved, " + landmarkFile + " left as it was\n"),
        std::string::npos);
}

TEST_F(Refine, NoEdgeAnywhereIsRefusedAndTheFileLeftAlone)
{
    const std::string picture = makePicture("flat", Drawn::Flat);
    const Untouched stored(dir.file("flat.bin"));
    const Outcome r = run({"refine", picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
        picture
            + ": head: 0 of 9 points snapped, 9 found no edge (no edge near the click: 9); "
              "the points stay as stored\n"
            + picture + ": cup: no points, skipped\n" + picture
            + ": rim: 0 of 8 points snapped, 8 found no edge (no edge near the click: 8); the "
              "points stay as stored\n"
            + picture + ": nothing moved, " + dir.file("flat.bin") + " left as it was\n");
    EXPECT_TRUE(Untouched(dir.file("flat.bin")) == stored);
}

TEST_F(Refine, FileErrorsNameTheFileLoseNothingAndOtherPicturesAreStillRefined)
{
    // DICOM, searched as its first window shows it.
    const std::string good = makePicture("good", Drawn::DicomOutlines);
    const std::string lonely = dir.file("lonely.bmp");
    ASSERT_TRUE(writeGreyBmp(lonely, 100, 100));
    // Its header is whole, its pixels end halfway.
    const std::string cut = makePicture("cut", Drawn::Outlines);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
    const Untouched cutStored(dir.file("cut.bin"));

    const Outcome r = run({"refine", lonely, cut, good});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(
        r.err.find("Oxel: no landmark file " + dir.file("lonely.bin") + "\n"), std::string::npos);
    EXPECT_NE(r.err.find("Error: load Error: "), std::string::npos) << r.err;
    EXPECT_TRUE(Untouched(dir.file("cut.bin")) == cutStored);
    EXPECT_NE(r.out.find(good + ": written to "), std::string::npos);
    EXPECT_NEAR(readBack(good).Head.r, kHeadR, 0.1);
    for (const auto &p : readBack(good).Rim.points)
        EXPECT_NEAR(rimDistance(p->x, p->y), 0.0, 0.3);

    EXPECT_EQ(run({"refine"}).status, 2);
    EXPECT_EQ(run({"refine", "--dry", good}).status, 2);
}

// Run as a user whom file permissions bind.
TEST_F(Refine, ReadOnlyFolderKeepsTheLandmarkFile)
{
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string picture = makePicture("hip", Drawn::Outlines);
    const Untouched stored(dir.file("hip.bin"));
    std::filesystem::permissions(dir.path(),
        std::filesystem::perms::owner_write | std::filesystem::perms::group_write
            | std::filesystem::perms::others_write,
        std::filesystem::perm_options::remove);
    const Outcome r = run({"refine", picture});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Oxel Error: could not write " + dir.file("hip.bin") + ": ", 0), 0u)
        << r.err;
    EXPECT_TRUE(Untouched(dir.file("hip.bin")) == stored);
}

TEST_F(Refine, RimWhoseSnappedPointsGiveNoFitKeepsItsPointsAndSaysWhy)
{
    // A three-point rim: the first two points the ends of an axis of half length 100 along x,
    // the third at 98.5 along it. Only the third finds an edge (a bright block from x = 700.9),
    // 2.4 px farther along the axis: beyond the axis' end, no ellipse passes there.
    const std::string picture = dir.file("rim.bmp");
    ASSERT_TRUE(writeBmp(picture, 2000, 1600, [](int i, int j) {
        const double x = i + 0.5, y = j + 0.5;
        const double inside = 0.5 * std::erfc((700.9 - x) / (1.2 * std::numbers::sqrt2));
        return y > 560 && y < 592 ? static_cast<int>(std::lround(60 + 100 * inside)) : 60;
    }));
    COxel oxel = leftHip(dir.file("patient"), 8, 0);
    oxel.Head.removeAll();
    oxel.Head.Valid = false;
    oxel.Rim.addPoint(500, 600);
    oxel.Rim.addPoint(700, 600);
    oxel.Rim.addPoint(698.5, 578);
    oxel.Rim.Valid = oxel.Rim.fit();
    ASSERT_TRUE(oxel.Rim.Valid);
    ASSERT_TRUE(BinFile::write(dir.file("rim.bin"), oxel));
    const Untouched stored(dir.file("rim.bin"));

    const Outcome r = run({"refine", picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ""); // the fit's complaint is in the rim's line
    EXPECT_EQ(r.out,
        picture + ": head: no points, skipped\n" + picture + ": cup: no points, skipped\n" + picture
            + ": rim: 1 of 3 points snapped, 2 found no edge (no edge near the click: 2); the "
              "snapped points gave no fit (Ellipse fit: wrong points for Rim), the points stay "
              "as stored\n"
            + picture + ": nothing moved, " + dir.file("rim.bin") + " left as it was\n");
    EXPECT_TRUE(Untouched(dir.file("rim.bin")) == stored);

    // Neither head, cup nor rim fitted: nothing to refine.
    oxel.Rim.removeAll();
    oxel.Rim.Valid = false;
    ASSERT_TRUE(BinFile::write(dir.file("rim.bin"), oxel));
    const Outcome none = run({"refine", picture});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(
        none.out.find(picture + ": no fitted head, cup or rim to refine\n"), std::string::npos);
}
