#include "core/evaluation/ResultFile.h"

#include "support/TempDir.h"

#include <clocale>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

TEST(ResultNumbers, WrittenAsFifteenSignificantDigits)
{
    EXPECT_EQ(ResultFile::formatNumber(12.5), "12.5");
    EXPECT_EQ(ResultFile::formatNumber(-3.75), "-3.75");
    EXPECT_EQ(ResultFile::formatNumber(0.5), "0.5");
    EXPECT_EQ(ResultFile::formatNumber(-0.25), "-0.25");
    EXPECT_EQ(ResultFile::formatNumber(100.0), "100");
    EXPECT_EQ(ResultFile::formatNumber(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(ResultFile::formatNumber(2.0 / 3.0 * 100), "66.6666666666667");
    EXPECT_EQ(ResultFile::formatNumber(0.0001), "0.0001");
    EXPECT_EQ(ResultFile::formatNumber(0.00001), "1e-05");
    EXPECT_EQ(ResultFile::formatNumber(123456789012345.0), "123456789012345");
    EXPECT_EQ(ResultFile::formatNumber(1e15), "1e+15");
    EXPECT_EQ(ResultFile::formatNumber(-0.0), "0");
    EXPECT_EQ(ResultFile::formatNumber(0.0), "0");
}

TEST(ResultNumbers, PeriodWhateverTheLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool switched = false;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            switched = true;
            break;
        }
    }
    EXPECT_EQ(ResultFile::formatNumber(-12.75), "-12.75");
    std::setlocale(LC_NUMERIC, previous.c_str());
    if (!switched)
        GTEST_SKIP() << "no other locale installed to switch to";
}

namespace {

ResultBlock emptyBlock()
{
    ResultBlock b;
    b.fileName = "C:\\daten\\hip, left.dat";
    b.date = {2001, 2, 3};
    b.famname = "Smith, Jr.";
    b.vorname = "Jo";
    b.code = "";
    b.datum = "20010203";
    b.typ = 5;
    b.radiofactor = 1.125;
    return b;
}

} // namespace

TEST(ResultBlockText, NodataFormsKeepEveryLineInPlace)
{
    const std::string expected = "\"-------> OXEL DIGITAL 1995  File: C:\\daten\\hip, left.dat\",#2001-02-03#\r\n"
                                 "\"Smith, Jr.\",\"Jo\",\"\"\r\n"
                                 "\"date of radiogram\",\"20010203\"\r\n"
                                 "\"side of replacement\",\"R\"\r\n"
                                 "\"nodata\",0,0\r\n"
                                 "\"nodata\",0,0\r\n"
                                 "\"nodata\",0,\"nodata\",0\r\n"
                                 "\"beta1/cup axis\",0,\"\",\"beta2/cup axis\",0,\"\"\r\n"
                                 "\"antiparameter (head)\",0,\"antiparameter (cup)\",0\r\n"
                                 "\"delx1\",0,\"delx2\",0,\"delx3\",0\r\n"
                                 "\"dely1\",0,\"dely2\",0,\"dely3\",0\r\n"
                                 "\"evaluation type\",5,\"SL-flag\",0\r\n"
                                 "\"not used\",0,0,\"nodata\",0,0,\"radiofactor\",1.125\r\n";
    EXPECT_EQ(ResultFile::formatBlock(emptyBlock()), expected);
}

TEST(ResultBlockText, ValuesInTheirLines)
{
    ResultBlock b = emptyBlock();
    b.sideLeft = true;
    b.head = {true, 12.5, 3.25, 99.5};
    b.cup = {true, -1.5, 0.75, 98};
    b.inclination = 41.25;
    b.rim = Calc::RimOrientation {12, 12, 30, "-", "+"};
    b.grid = {1, 2, 3, -4, -5, -6};
    b.slFlag = true;
    b.typ = 7;
    b.wear = WearVector {0.5, -0.125};
    const std::string text = ResultFile::formatBlock(b);
    for (const char *line :
         {"\"side of replacement\",\"L\"\r\n", "\"head migration (cranial/medial)\",12.5,3.25\r\n",
          "\"cup migration (cranial/medial)\",-1.5,0.75\r\n",
          "\"cup inclination\",41.25,\"anteversion\",12\r\n",
          "\"beta1/cup axis\",12,\"-\",\"beta2/cup axis\",30,\"+\"\r\n",
          "\"antiparameter (head)\",99.5,\"antiparameter (cup)\",98\r\n",
          "\"delx1\",1,\"delx2\",2,\"delx3\",3\r\n", "\"dely1\",-4,\"dely2\",-5,\"dely3\",-6\r\n",
          "\"evaluation type\",7,\"SL-flag\",1\r\n",
          "\"not used\",0,0,\"wear x/y\",0.5,-0.125,\"radiofactor\",1.125\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    b.rim.reset();
    EXPECT_NE(ResultFile::formatBlock(b).find("\"cup inclination\",41.25,\"nodata\",0\r\n"),
              std::string::npos);
}

TEST(ResultFileAppend, CreatesTheFileAndKeepsEarlierBlocks)
{
    TempDir dir;
    const std::string path = dir.file("p.dat");
    std::string error;
    ASSERT_TRUE(ResultFile::append(path, "first\r\n", error));
    ASSERT_TRUE(ResultFile::append(path, "second\r\n", error));
    EXPECT_EQ(readBytes(path), "first\r\nsecond\r\n");
}

TEST(ResultFileAppend, FailureLeavesNothingBehind)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(ResultFile::append(dir.file("missing/p.dat"), "x", error));
    EXPECT_EQ(error, "No such file or directory");

    const std::string full = dir.file("full.dat");
    std::filesystem::create_symlink("/dev/full", full);
    EXPECT_FALSE(ResultFile::append(full, std::string(100000, 'x'), error));
    EXPECT_EQ(error, "No space left on device");

    EXPECT_FALSE(ResultFile::append(dir.path().string(), "x", error)); // a folder
}
