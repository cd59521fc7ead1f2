#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/evaluation/ResultFile.h"
#include "core/records/CodePage.h"
#include "core/series/ResultFileReader.h"
#include "support/TempDir.h"

namespace {

// A left hip, head-based, with every value present; the name holds a comma and a character
// beyond ASCII, the numbers an exponent form and a negative zero's neighbour.
ResultBlock fullBlock()
{
    ResultBlock b;
    b.fileName = "C:\\Studie\\Müller, K.dat";
    b.date = {2024, 2, 29};
    b.famname = "Müller, Jr.";
    b.vorname = "Zoë";
    b.code = "S-17";
    b.datum = "20240226";
    b.sideLeft = true;
    b.head = {true, 12.5, -3.25, 99.125};
    b.cup = {true, 0.00001, 1.0 / 3.0, -98};
    b.inclination = 41.75;
    b.rim = Calc::RimOrientation{12.5, 12.5, 31.25, "-", "+"};
    b.grid = {1.5, 2, -3, -4.25, 5e-7, 6};
    b.typ = 2;
    b.wear = WearVector{-0.5, 0.125};
    b.radiofactor = 1.0625;
    return b;
}

// A right hip, cup-based (type 7a: 7 with the SL flag), without head values, rim or wear.
ResultBlock cupBasedBlock()
{
    ResultBlock b;
    b.fileName = "p.dat";
    b.date = {2025, 1, 2};
    b.famname = "Doe";
    b.vorname = "Jane";
    b.datum = "2024-12-31";
    b.cup = {true, -1.5, 0.75, 7};
    b.inclination = 44;
    b.typ = 7;
    b.slFlag = true;
    b.radiofactor = 0.875;
    return b;
}

// Every value missing.
ResultBlock nodataBlock()
{
    ResultBlock b;
    b.fileName = "p.dat";
    b.date = {2025, 1, 3};
    b.famname = "Roe";
    b.datum = "3.1.25";
    b.typ = 9;
    b.radiofactor = 1;
    return b;
}

std::string fileOf(const std::vector<ResultBlock> &blocks)
{
    std::string bytes;
    for (const ResultBlock &b : blocks)
        bytes += CodePage::toWindows1252(ResultFile::formatBlock(b));
    return bytes;
}

std::vector<std::string> linesOf(const std::string &bytes)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string bytes;
    for (const std::string &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

int dayOf(const std::optional<CalendarDate> &d)
{
    return d ? d->year * 10000 + d->month * 100 + d->day : 0;
}

std::vector<int> entryLines(const ResultFileContents &c)
{
    std::vector<int> lines;
    for (const ResultEntry &e : c.entries)
        lines.push_back(e.line);
    return lines;
}

} // namespace

TEST(ResultFileRead, EveryWrittenValueComesBackAndNodataStaysMissing)
{
    const ResultFileContents c =
        ResultFileReader::parse(fileOf({fullBlock(), cupBasedBlock(), nodataBlock()}));
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.entries.size(), 3u);
    EXPECT_EQ(entryLines(c), (std::vector<int>{1, 14, 27}));

    const ResultEntry &f = c.entries[0];
    EXPECT_EQ(f.fileName, "C:\\Studie\\Müller, K.dat");
    EXPECT_EQ(dayOf(f.written), 20240229);
    EXPECT_EQ(f.famname, "Müller, Jr.");
    EXPECT_EQ(f.vorname, "Zoë");
    EXPECT_EQ(f.code, "S-17");
    EXPECT_EQ(f.datum, "20240226");
    EXPECT_EQ(dayOf(f.radiographDate), 20240226);
    EXPECT_TRUE(f.sideLeft);
    EXPECT_EQ(f.headCranial, 12.5);
    EXPECT_EQ(f.headMedial, -3.25);
    EXPECT_EQ(f.cupCranial, 0.00001);
    // Fifteen significant digits are all the file keeps of a third.
    EXPECT_EQ(f.cupMedial, 0.333333333333333);
    EXPECT_EQ(f.inclination, 41.75);
    EXPECT_EQ(f.anteversion, 12.5);
    EXPECT_EQ(f.beta1, 12.5);
    EXPECT_EQ(f.sign1, "-");
    EXPECT_EQ(f.beta2, 31.25);
    EXPECT_EQ(f.sign2, "+");
    EXPECT_EQ(f.headAntiparameter, 99.125);
    EXPECT_EQ(f.cupAntiparameter, -98);
    const Calc::GridDistances &g = f.grid;
    EXPECT_EQ((std::vector{g.delx1, g.delx2, g.delx3, g.dely1, g.dely2, g.dely3}),
        (std::vector{1.5, 2.0, -3.0, -4.25, 5e-7, 6.0}));
    EXPECT_EQ(f.typ, 2);
    EXPECT_FALSE(f.slFlag);
    EXPECT_EQ(f.wearX, -0.5);
    EXPECT_EQ(f.wearY, 0.125);
    EXPECT_EQ(f.radiofactor, 1.0625);

    const ResultEntry &cup = c.entries[1];
    EXPECT_FALSE(cup.sideLeft);
    EXPECT_EQ(cup.code, "");
    EXPECT_EQ(dayOf(cup.radiographDate), 20241231);
    EXPECT_FALSE(cup.headCranial);
    EXPECT_EQ(cup.cupCranial, -1.5);
    EXPECT_EQ(cup.cupMedial, 0.75);
    EXPECT_EQ(cup.inclination, 44);
    EXPECT_FALSE(cup.anteversion);
    EXPECT_EQ(cup.sign1 + cup.sign2, "");
    EXPECT_EQ(cup.headAntiparameter, 0);
    EXPECT_EQ(cup.cupAntiparameter, 7);
    EXPECT_EQ(cup.typ, 7);
    EXPECT_TRUE(cup.slFlag);
    EXPECT_FALSE(cup.wearX || cup.wearY);
    EXPECT_EQ(cup.radiofactor, 0.875);

    const ResultEntry &none = c.entries[2];
    EXPECT_EQ(dayOf(none.radiographDate), 0);
    EXPECT_EQ(none.datum, "3.1.25");
    EXPECT_FALSE(none.cupCranial);
    EXPECT_FALSE(none.inclination);
    EXPECT_FALSE(none.anteversion);
    EXPECT_EQ(none.typ, 9);
}

TEST(ResultFileRead, BareLineFeedsAreTaken)
{
    std::string bytes = fileOf({fullBlock(), nodataBlock()});
    std::string unix;
    for (const char c : bytes) {
        if (c != '\r')
            unix += c;
    }
    const ResultFileContents c = ResultFileReader::parse(unix);
    EXPECT_TRUE(c.problems.empty());
    ASSERT_EQ(c.entries.size(), 2u);
    EXPECT_EQ(c.entries[0].radiofactor, 1.0625);
    EXPECT_EQ(c.entries[1].line, 14);
}

TEST(ResultFileRead, RadiographEvaluatedAgainMakesTheEarlierBlockNotCurrent)
{
    ResultBlock again = fullBlock();
    again.cup.cranial = 0.5;
    ResultBlock otherSide = fullBlock();
    otherSide.sideLeft = false;
    ResultBlock otherDate = fullBlock();
    otherDate.datum = "20250226";
    const ResultFileContents c =
        ResultFileReader::parse(fileOf({fullBlock(), otherSide, otherDate, again}));
    ASSERT_EQ(c.entries.size(), 4u);
    EXPECT_FALSE(c.entries[0].current);
    EXPECT_TRUE(c.entries[1].current);
    EXPECT_TRUE(c.entries[2].current);
    EXPECT_TRUE(c.entries[3].current);
}

// Each damage is reported once, on the line where it is, and the blocks around it are read.
TEST(ResultFileRead, DamagedBlockIsReportedByLineAndTheOthersAreKept)
{
    const std::vector<std::string> good =
        linesOf(fileOf({fullBlock(), cupBasedBlock(), nodataBlock()}));

    struct Case
    {
        const char *what;
        std::vector<std::string> lines;
        int problemLine;
        const char *reasonPart;
        std::vector<int> kept;
    };

    const auto changed = [&good](std::size_t index, const std::string &line) {
        std::vector<std::string> lines = good;
        lines[index] = line;
        return lines;
    };
    const auto without = [&good](std::size_t index) {
        std::vector<std::string> lines = good;
        lines.erase(lines.begin() + static_cast<long>(index));
        return lines;
    };
    std::vector<std::string> garbage = good;
    garbage.insert(garbage.begin() + 13, {"hello", "", "world"});
    std::vector<std::string> shortBlock = good;
    shortBlock.erase(shortBlock.begin() + 18, shortBlock.begin() + 26);

    const std::vector<Case> cases = {
        {"wrong label", changed(21, "\"antiparameter (hip)\",0,\"antiparameter (cup)\",7"), 22,
            "line 9 of the block that begins at line 14: expected \"antiparameter (head)\", "
            "found \"antiparameter (hip)\"",
            {1, 27}},
        {"non-number", changed(18, "\"cup migration (cranial/medial)\",-1.5,0,75"), 19,
            "expected the end of the line after 3 items, found 75", {1, 27}},
        {"text for a number", changed(18, "\"cup migration (cranial/medial)\",abc,0.75"), 19,
            "expected a number after \"cup migration (cranial/medial)\", found abc", {1, 27}},
        {"line 7 label", changed(19, "\"cup inclinaton\",44,\"nodata\",0"), 20,
            "expected \"cup inclination\" or \"nodata\", found \"cup inclinaton\"", {1, 27}},
        {"extra item", changed(24, "\"evaluation type\",7,\"SL-flag\",1,0"), 25,
            "expected the end of the line after 4 items", {1, 27}},
        {"side", changed(16, "\"side of replacement\",\"X\""), 17, "\"L\" or \"R\"", {1, 27}},
        {"bad date literal",
            changed(13, "\"-------> OXEL DIGITAL 1995  File: p.dat\",#2025-02-29#"), 14,
            "#yyyy-mm-dd#", {1, 27}},
        {"line missing", without(16), 17, "expected \"side of replacement\", found \"nodata\"",
            {1, 26}},
        {"garbage between blocks", garbage, 14, "3 lines outside any block", {1, 17, 30}},
        {"block cut short by the next header", shortBlock, 19,
            "a new block begins at line 6 of the block that begins at line 14, which has only 5",
            {1, 19}},
    };
    for (const Case &c : cases) {
        const ResultFileContents read = ResultFileReader::parse(joined(c.lines));
        ASSERT_EQ(read.problems.size(), 1u) << c.what;
        EXPECT_EQ(read.problems[0].line, c.problemLine) << c.what;
        EXPECT_NE(read.problems[0].reason.find(c.reasonPart), std::string::npos)
            << c.what << ": " << read.problems[0].reason;
        EXPECT_EQ(entryLines(read), c.kept) << c.what;
    }
}

TEST(ResultFileRead, EmptyOrCutFileIsReported)
{
    const ResultFileContents empty = ResultFileReader::parse("");
    ASSERT_EQ(empty.problems.size(), 1u);
    EXPECT_EQ(empty.problems[0].line, 0);
    EXPECT_TRUE(empty.entries.empty());

    // The file ends after line 7 of the second block.
    const std::vector<std::string> lines = linesOf(fileOf({fullBlock(), cupBasedBlock()}));
    const ResultFileContents cut = ResultFileReader::parse(
        joined(std::vector<std::string>(lines.begin(), lines.begin() + 20)));
    ASSERT_EQ(cut.problems.size(), 1u);
    EXPECT_EQ(cut.problems[0].line, 21);
    EXPECT_NE(cut.problems[0].reason.find("the file ends after line 7 of the block that begins "
                                          "at line 14"),
        std::string::npos)
        << cut.problems[0].reason;
    EXPECT_EQ(entryLines(cut), std::vector<int>{1});
}

// Whatever byte a write stopped at, a block is either read whole, with the values written, or
// reported; a following block appended after the cut (even on the same line) is still read.
TEST(ResultFileRead, FileCutAtAnyByteNeverYieldsACutBlock)
{
    const std::string first = fileOf({fullBlock()});
    const std::string second = fileOf({cupBasedBlock()});
    for (std::size_t cut = 1; cut < first.size(); ++cut) {
        const ResultFileContents c = ResultFileReader::parse(first.substr(0, cut) + second);
        ASSERT_FALSE(c.problems.empty()) << cut;
        ASSERT_FALSE(c.entries.empty()) << cut;
        EXPECT_EQ(c.entries.back().famname, "Doe") << cut;
        EXPECT_EQ(c.entries.back().radiofactor, 0.875) << cut;
        for (const ResultEntry &e : c.entries)
            EXPECT_NE(e.famname, "Müller, Jr.") << cut;
        const ResultFileContents alone = ResultFileReader::parse(first.substr(0, cut));
        EXPECT_TRUE(alone.entries.empty()) << cut;
        EXPECT_FALSE(alone.problems.empty()) << cut;
    }
}

TEST(RadiographDate, OnlyRealDaysInEitherForm)
{
    const auto day = [](const char *text) { return dayOf(ResultFileReader::radiographDate(text)); };
    EXPECT_EQ(day("20000229"), 20000229); // a leap year by the 400-year rule
    EXPECT_EQ(day("2024-02-29"), 20240229);
    EXPECT_EQ(day("19000229"), 0); // not a leap year by the 100-year rule
    EXPECT_EQ(day("2023-02-29"), 0);
    EXPECT_EQ(day("20230431"), 0);
    EXPECT_EQ(day("20231301"), 0);
    EXPECT_EQ(day("20230100"), 0);
    EXPECT_EQ(day("2023-1-01"), 0);
    EXPECT_EQ(day("2023/01/01"), 0);
    EXPECT_EQ(day("2023010"), 0);
    EXPECT_EQ(day("+2023010"), 0);
    EXPECT_EQ(day(""), 0);
}

TEST(ResultFileRead, MissingFileOrFolderCannotBeRead)
{
    TempDir dir;
    ResultFileContents c;
    std::string error;
    EXPECT_FALSE(ResultFileReader::read(dir.file("missing.dat"), c, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(ResultFileReader::read(dir.path().string(), c, error));
    EXPECT_EQ(error, "Is a directory");

    writeBytes(dir.file("p.dat"), fileOf({nodataBlock()}));
    ASSERT_TRUE(ResultFileReader::read(dir.file("p.dat"), c, error));
    ASSERT_EQ(c.entries.size(), 1u);
    EXPECT_EQ(c.entries[0].famname, "Roe");
}
