#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/records/CodePage.h"

namespace {

// The characters of the bytes 0x80 to 0x9F as UTF-8, from the published code page table; the
// five undefined bytes stand for the control characters of the same value.
const std::vector<std::string> kHighBlockUtf8 = {
    "\xE2\x82\xAC", "\xC2\x81", "\xE2\x80\x9A", "\xC6\x92", // 80 € 81 82 ‚ 83 ƒ
    "\xE2\x80\x9E", "\xE2\x80\xA6", "\xE2\x80\xA0", "\xE2\x80\xA1", // 84 „ 85 … 86 † 87 ‡
    "\xCB\x86", "\xE2\x80\xB0", "\xC5\xA0", "\xE2\x80\xB9", // 88 ˆ 89 ‰ 8A Š 8B ‹
    "\xC5\x92", "\xC2\x8D", "\xC5\xBD", "\xC2\x8F", // 8C Œ 8D 8E Ž 8F
    "\xC2\x90", "\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x9C", // 90 91 ‘ 92 ’ 93 “
    "\xE2\x80\x9D", "\xE2\x80\xA2", "\xE2\x80\x93", "\xE2\x80\x94", // 94 ” 95 • 96 – 97 —
    "\xCB\x9C", "\xE2\x84\xA2", "\xC5\xA1", "\xE2\x80\xBA", // 98 ˜ 99 ™ 9A š 9B ›
    "\xC5\x93", "\xC2\x9D", "\xC5\xBE", "\xC5\xB8", // 9C œ 9D 9E ž 9F Ÿ
};

} // namespace

TEST(CodePage, AsciiIsUnchangedBothWays)
{
    const char bytes[] = "Hip 12\\a/b.bmp ~\x01\x7F\0end";
    const std::string ascii(bytes, sizeof bytes - 1); // the NUL inside counts
    EXPECT_EQ(CodePage::toWindows1252(ascii), ascii);
    EXPECT_EQ(CodePage::fromWindows1252(ascii), ascii);
    EXPECT_EQ(CodePage::toWindows1252(""), "");
    EXPECT_EQ(CodePage::fromWindows1252(""), "");
}

TEST(CodePage, LatinLettersAreOneByteEach)
{
    EXPECT_EQ(CodePage::toWindows1252("M\xC3\xBCller"), "M\xFCller");
    EXPECT_EQ(CodePage::toWindows1252("\xC3\x9F\xC3\x80\xC3\xBF\xC2\xA0"), "\xDF\xC0\xFF\xA0");
    EXPECT_EQ(CodePage::fromWindows1252("M\xFCller"), "M\xC3\xBCller");
    EXPECT_EQ(CodePage::fromWindows1252("\xDF\xC0\xFF\xA0"), "\xC3\x9F\xC3\x80\xC3\xBF\xC2\xA0");
}

TEST(CodePage, HighControlBlockFollowsTheTable)
{
    for (std::size_t i = 0; i < kHighBlockUtf8.size(); ++i) {
        const std::string byte(1, static_cast<char>(0x80 + i));
        EXPECT_EQ(CodePage::fromWindows1252(byte), kHighBlockUtf8[i]) << std::hex << 0x80 + i;
        EXPECT_EQ(CodePage::toWindows1252(kHighBlockUtf8[i]), byte) << std::hex << 0x80 + i;
    }
}

TEST(CodePage, EveryByteSurvivesARoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(CodePage::toWindows1252(CodePage::fromWindows1252(all)), all);
}

TEST(CodePage, CharactersTheCodePageLacksBecomeQuestionMarks)
{
    EXPECT_EQ(CodePage::toWindows1252("\xC5\x81\xC3\xB3\x64\xC5\xBA"), "?\xF3\x64?"); // Łódź
    EXPECT_EQ(CodePage::toWindows1252("a\xE4\xB8\xAD"
                                      "b"),
        "a?b"); // a CJK character
    EXPECT_EQ(CodePage::toWindows1252("\xF0\x9F\x98\x80!"), "?!"); // beyond the BMP
    EXPECT_EQ(CodePage::toWindows1252("\xC2\x80\xC2\x9F"), "??"); // controls that € and Ÿ displace
    EXPECT_EQ(CodePage::toWindows1252("\xC4\x80"), "?"); // U+0100, just past Latin-1
}

TEST(CodePage, MalformedUtf8BecomesQuestionMarksAndTheRestSurvives)
{
    EXPECT_EQ(CodePage::toWindows1252("a\x80z"), "a?z"); // stray continuation
    EXPECT_EQ(CodePage::toWindows1252("a\xC3"), "a?"); // cut at the end
    EXPECT_EQ(CodePage::toWindows1252("\xE2\x82"
                                      "A"),
        "?A"); // cut before ASCII
    EXPECT_EQ(CodePage::toWindows1252("\xC3\xC3\xBC"), "?\xFC"); // cut before a letter
    EXPECT_EQ(CodePage::toWindows1252("\xC0\xAF"), "??"); // overlong "/"
    EXPECT_EQ(CodePage::toWindows1252("\xE0\x80\xAF"), "???"); // overlong, three bytes
    EXPECT_EQ(CodePage::toWindows1252("\xED\xA0\x80"), "???"); // a surrogate
    EXPECT_EQ(CodePage::toWindows1252("\xF4\x90\x80\x80"), "????"); // above U+10FFFF
    EXPECT_EQ(CodePage::toWindows1252("\xFE\xFF"), "??");
}
