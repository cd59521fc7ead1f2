#include <filesystem>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "core/records/Settings.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test
{
protected:
    void put(const std::string &text) const { writeBytes(ini, text); }

    std::string content() const { return readBytes(ini); }

    std::string lastPath() const
    {
        return Settings::read(ini, Settings::kLastPathSection, Settings::kLastPathKey);
    }

    bool setLastPath(const std::string &value) const
    {
        return Settings::write(ini, Settings::kLastPathSection, Settings::kLastPathKey, value);
    }

    TempDir temp;
    const fs::path &dir = temp.path();
    std::string ini = temp.file(Settings::kSettingsFileName);
};

} // namespace

TEST_F(SettingsFile, FirstRunReadsEmptyAndWritingCreatesTheEntry)
{
    EXPECT_EQ(lastPath(), "");
    ASSERT_TRUE(setLastPath("C:\\x-rays\\hip.bmp"));
    EXPECT_EQ(content(), "[LastPath]\nPath=C:\\x-rays\\hip.bmp\n");
    EXPECT_EQ(lastPath(), "C:\\x-rays\\hip.bmp");
}

TEST_F(SettingsFile, MissingSectionOrKeyReadsEmpty)
{
    put("[Other]\nPath=elsewhere\n[LastPath]\nPat=typo\n");
    EXPECT_EQ(lastPath(), "");
    EXPECT_EQ(Settings::read(ini, "Other", "Path"), "elsewhere");
}

TEST_F(SettingsFile, WritingAgainReplacesTheValue)
{
    ASSERT_TRUE(setLastPath("/first/a.bmp"));
    ASSERT_TRUE(setLastPath("/second/b b.bmp"));
    EXPECT_EQ(content(), "[LastPath]\nPath=/second/b b.bmp\n");
    EXPECT_EQ(lastPath(), "/second/b b.bmp");
    EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), Settings::kSettingsFileName);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsFile, OtherSectionsKeysAndCommentsArePreserved)
{
    put("; remembered by the program\r\n[Window]\r\nLeft=10\r\n\r\n[LastPath]\r\nPath=old.bmp\r\n"
        "Keep=yes\r\n[Tail]\r\nZ=1\r\n");
    ASSERT_TRUE(setLastPath("new.bmp"));
    EXPECT_EQ(content(),
        "; remembered by the program\r\n[Window]\r\nLeft=10\r\n\r\n[LastPath]\r\n"
        "Path=new.bmp\r\nKeep=yes\r\n[Tail]\r\nZ=1\r\n");
}

TEST_F(SettingsFile, NewKeyJoinsItsSectionBeforeTheBlankLine)
{
    put("[LastPath]\nKeep=yes\n\n[Tail]\nPath=not this one\n");
    ASSERT_TRUE(setLastPath("hip.bmp"));
    EXPECT_EQ(content(), "[LastPath]\nKeep=yes\nPath=hip.bmp\n\n[Tail]\nPath=not this one\n");
    EXPECT_EQ(Settings::read(ini, "Tail", "Path"), "not this one");
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToCase)
{
    put("[lastpath]\nPATH = C:\\old.bmp \n");
    EXPECT_EQ(lastPath(), "C:\\old.bmp");
    ASSERT_TRUE(setLastPath("C:\\new.bmp"));
    EXPECT_EQ(content(), "[lastpath]\nPath=C:\\new.bmp\n");
}

TEST_F(SettingsFile, FirstOfDuplicateEntriesWins)
{
    put("[LastPath]\nPath=one\nPath=two\n[LastPath]\nPath=three\n");
    EXPECT_EQ(lastPath(), "one");
}

TEST_F(SettingsFile, ValueIsCutToItsFirst255Characters)
{
    const std::string ascii(300, 'a');
    ASSERT_TRUE(setLastPath(ascii));
    EXPECT_EQ(lastPath(), std::string(255, 'a'));
    ASSERT_TRUE(setLastPath(std::string(255, 'b')));
    EXPECT_EQ(lastPath(), std::string(255, 'b'));
    ASSERT_TRUE(setLastPath(std::string(256, 'c')));
    EXPECT_EQ(lastPath(), std::string(255, 'c'));

    std::string accents, expected;
    for (int i = 0; i < 300; ++i) {
        accents += "\xC3\xA9"; // é: two bytes, one character
        if (i < 255)
            expected += "\xC3\xA9";
    }
    ASSERT_TRUE(setLastPath(accents));
    EXPECT_EQ(lastPath(), expected);
}

TEST_F(SettingsFile, BareFileNameIsKeptAsItIs)
{
    ASSERT_TRUE(setLastPath("hip.bmp"));
    EXPECT_EQ(lastPath(), "hip.bmp");
}

TEST_F(SettingsFile, MissingFoldersAreCreated)
{
    ini = (dir / "config" / "oxel" / Settings::kSettingsFileName).string();
    ASSERT_TRUE(setLastPath("/x/hip.bmp"));
    EXPECT_EQ(lastPath(), "/x/hip.bmp");
}

TEST_F(SettingsFile, TextThatWouldBreakTheLinesIsRefused)
{
    put("[LastPath]\nPath=kept.bmp\n");
    EXPECT_FALSE(setLastPath("a.bmp\n[Evil]\nX=1"));
    EXPECT_FALSE(setLastPath("a.bmp\rb"));
    EXPECT_FALSE(Settings::write(ini, "Last]Path", "Path", "a"));
    EXPECT_FALSE(Settings::write(ini, "LastPath", "Pa=th", "a"));
    EXPECT_FALSE(Settings::write(ini, "LastPath", " ", "a"));
    EXPECT_FALSE(Settings::write(ini, "", "Path", "a"));
    EXPECT_EQ(content(), "[LastPath]\nPath=kept.bmp\n");
}

TEST_F(SettingsFile, UnreadableFileIsNotOverwritten)
{
    fs::create_directory(ini); // something that exists but cannot be read as text
    EXPECT_FALSE(setLastPath("hip.bmp"));
    EXPECT_TRUE(fs::is_directory(ini));
    EXPECT_EQ(lastPath(), "");
}

TEST_F(SettingsFile, SectionIsReplacedWholeAndEverythingElseKept)
{
    put("[LastPath]\r\nPath=C:\\hip.bmp\r\n[List]\r\n; old\r\nA=1\r\nB=2\r\n\r\n[Tail]\r\nZ=1\r\n");
    ASSERT_TRUE(Settings::writeSection(ini, "list", {{"C", std::string(300, 'c')}, {"A", "one"}}));
    EXPECT_EQ(content(),
        "[LastPath]\r\nPath=C:\\hip.bmp\r\n[List]\r\nC=" + std::string(300, 'c')
            + "\r\nA=one\r\n\r\n[Tail]\r\nZ=1\r\n");
    const auto entries = Settings::readSection(ini, "LIST");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].value, std::string(300, 'c')); // whole, unlike a single value
    EXPECT_EQ(entries[1].key, "A");

    EXPECT_FALSE(Settings::writeSection(ini, "List", {{"A", "2"}, {"B", "x\n[Evil]"}}));
    ASSERT_TRUE(Settings::writeSection(ini, "List", {}));
    ASSERT_TRUE(Settings::writeSection(ini, "New", {{"K", "v"}}));
    EXPECT_EQ(content(), "[LastPath]\r\nPath=C:\\hip.bmp\r\n\r\n[Tail]\r\nZ=1\r\n[New]\r\nK=v\r\n");
}
