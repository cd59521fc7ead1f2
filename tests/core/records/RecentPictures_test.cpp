#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/records/RecentPictures.h"
#include "support/TempDir.h"

using List = std::vector<std::string>;

TEST(RecentPictureList, NewestFirstWithoutRepeatsAndAtMostEight)
{
    List list;
    for (const char *opened : {"a", "b", "c", "b", "d", "e", "f", "g", "h", "i"})
        list = RecentPictures::withOpened(list, opened);
    EXPECT_EQ(list, (List{"i", "h", "g", "f", "e", "d", "b", "c"})); // "a", the ninth, is gone
    EXPECT_EQ(
        RecentPictures::withOpened(list, "c"), (List{"c", "i", "h", "g", "f", "e", "d", "b"}));
}

TEST(RecentPictureList, HandEditedSectionIsReadByItsNumbers)
{
    TempDir dir;
    const std::string ini = dir.file("Zek2.ini");
    writeBytes(ini, "[RecentPictures]\nfile3=/c\nFile1=/a\nFile2=\nFile4=/a\nFile9=/nine\n");
    EXPECT_EQ(RecentPictures::read(ini), (List{"/a", "/c"}));
}
