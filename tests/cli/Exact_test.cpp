#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/records/BinFile.h"
#include "support/BmpFile.h"
#include "support/CliRun.h"
#include "support/ExactHip.h"
#include "support/TempDir.h"

namespace {

using Outcome = CliOutcome;

// The number printed right after text, from position from on; NaN when text is not there.
double numberAfter(const std::string &out, const std::string &text, std::size_t from = 0)
{
    const std::size_t at = out.find(text, from);
    return at == std::string::npos ? std::nan("") : std::atof(out.c_str() + at + text.size());
}

// The three numbers of the first "centre" after from.
SpacePoint centreAfter(const std::string &out, std::size_t from)
{
    SpacePoint c{NAN, NAN, NAN};
    const std::size_t at = out.find("\"centre\": [", from);
    if (at == std::string::npos)
        return c;
    const char *p = out.c_str() + at + 11;
    for (double &v : c) {
        char *end = nullptr;
        v = std::strtod(p, &end);
        p = end + 1; // past the comma
    }
    return c;
}

class Exact : public ::testing::Test
{
protected:
    Outcome run(const std::vector<std::string> &args) { return runCli(OXEL_CLI, args, output); }

    // A grey picture with the exactly projected hip's landmark file beside it.
    std::string makePicture(const std::string &name, double focus = ExactHip::kFocus)
    {
        const std::string picture = dir.file(name + ".bmp");
        EXPECT_TRUE(writeGreyBmp(picture, 2000, 1600, 90));
        hip.oxel.Patient.FocH = focus;
        std::string error;
        EXPECT_TRUE(BinFile::write(BinFile::landmarkPath(picture), hip.oxel, &error)) << error;
        return picture;
    }

    TempDir dir;
    TempDir output;
    ExactHip hip{"patient"};
};

TEST_F(Exact, PrintsTheTruthOfExactProjectionsBesideTheDesignedValues)
{
    const std::string picture = makePicture("hip");
    const std::string landmarks = readBytes(BinFile::landmarkPath(picture));
    const Outcome o = run({"exact", picture});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << "one line per picture";
    const std::size_t designed = o.out.find("\"designed\": {");
    ASSERT_NE(designed, std::string::npos) << o.out;

    EXPECT_NEAR(numberAfter(o.out, "\"inclination\": "), 42, 0.02);
    EXPECT_NEAR(numberAfter(o.out, "\"anteversion\": "), 18, 0.02);
    EXPECT_NE(o.out.find("\"opening\": \"towards the focus\""), std::string::npos);
    const std::size_t head = o.out.find("\"head\": {"), cup = o.out.find("\"cup\": {");
    ASSERT_LT(head, designed);
    ASSERT_LT(cup, designed);
    const SpacePoint headCentre = centreAfter(o.out, head), cupCentre = centreAfter(o.out, cup);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(headCentre[k], hip.head[k], 0.02) << k;
        EXPECT_NEAR(cupCentre[k], hip.cup[k], 0.02) << k;
    }
    EXPECT_NEAR(numberAfter(o.out, "\"cranial\": ", head), hip.fromHorizontal(hip.head, 0), 0.02);
    EXPECT_NEAR(numberAfter(o.out, "\"medial\": ", head), hip.fromVertical(hip.head, 150), 0.02);
    EXPECT_NEAR(
        numberAfter(o.out, "\"antiparameter\": ", head), hip.fromHorizontal(hip.head, 200), 0.02);
    EXPECT_NEAR(numberAfter(o.out, "\"cranial\": ", cup), hip.fromHorizontal(hip.cup, 0), 0.02);
    EXPECT_NEAR(numberAfter(o.out, "\"medial\": ", cup), hip.fromVertical(hip.cup, 150), 0.02);
    EXPECT_NEAR(
        numberAfter(o.out, "\"antiparameter\": ", cup), hip.fromHorizontal(hip.cup, 200), 0.02);
    EXPECT_LT(numberAfter(o.out, "\"rms_px\": ", head), 0.01);

    // The designed values are there, and off by what perspective does to them.
    const double designedCranial = numberAfter(o.out, "\"cranial\": ", designed);
    EXPECT_TRUE(std::isfinite(designedCranial));
    EXPECT_GT(std::fabs(designedCranial - hip.fromHorizontal(hip.head, 0)), 0.02);
    EXPECT_TRUE(std::isfinite(numberAfter(o.out, "\"inclination\": ", designed)));
    EXPECT_TRUE(std::isfinite(numberAfter(o.out, "\"anteversion\": ", designed)));

    // Nothing is written.
    EXPECT_EQ(readBytes(BinFile::landmarkPath(picture)), landmarks);
    EXPECT_FALSE(std::filesystem::exists(dir.file("patient.dat")));
}

TEST_F(Exact, CsvHasAHeaderAndARowPerPicture)
{
    const std::string first = makePicture("one"), second = makePicture("two");
    const Outcome o = run({"exact", "--csv", first, second});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string header = o.out.substr(0, o.out.find('\n'));
    EXPECT_EQ(header.rfind("picture,inclination,anteversion,opening,", 0), 0u) << header;
    const std::string row = o.out.substr(header.size() + 1, o.out.find('\n', header.size() + 1));
    EXPECT_EQ(row.rfind(first + ",", 0), 0u) << row;
    EXPECT_NEAR(numberAfter(row, first + ","), 42, 0.02);
    EXPECT_NE(row.find(",towards the focus,"), std::string::npos);
    EXPECT_NE(o.out.find("\n" + second + ","), std::string::npos);
}

TEST_F(Exact, RefusesWithoutFocusDistanceAndGoesOn)
{
    const std::string unfocused = makePicture("nofocus", 0), good = makePicture("good");
    const Outcome o = run({"exact", unfocused, good, dir.file("missing.bmp")});
    EXPECT_EQ(o.status, 2) << "the missing picture is the worst";
    EXPECT_NE(o.err.find(unfocused + ": the exact evaluation needs the focus distance"),
        std::string::npos)
        << o.err;
    const std::string firstLine = o.out.substr(0, o.out.find('\n'));
    EXPECT_NE(firstLine.find("\"inclination\": null"), std::string::npos) << firstLine;
    EXPECT_NE(firstLine.find("\"head\": null"), std::string::npos);
    EXPECT_NE(o.out.find("\"picture\": \"" + good + "\""), std::string::npos);

    EXPECT_EQ(run({"exact", unfocused}).status, 1);
}

} // namespace
