#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "EvaluationRuns.h"
#include "core/evaluation/ResultFile.h"
#include "support/TempDir.h"

using namespace EvaluationRuns;

namespace {

// tmpfs hands out space in pages: a file's last page takes bytes up to its end even on a full
// disk, so an append larger than that rest is written in part before the disk refuses it.
constexpr std::size_t kPage = 4096;

std::size_t restOfLastPage(std::size_t size)
{
    return (kPage - size % kPage) % kPage;
}

} // namespace

TEST(FullDisk, FailedAppendKeepsTheEarlierBytesExactlyAndNamesTheReason)
{
    SmallDisk disk("1m");
    if (!disk.skipReason.empty())
        GTEST_SKIP() << disk.skipReason;
    const std::string path = disk.file("patient.dat");
    std::string earlier;
    for (int line = 1; line <= 13 * 3; ++line)
        earlier += "\"earlier block line " + std::to_string(line) + "\",0.25\r\n";
    std::string error;
    ASSERT_TRUE(ResultFile::append(path, earlier, error)) << error;
    ASSERT_GT(restOfLastPage(earlier.size()), 0u);
    ASSERT_GT(fillDisk(disk.file("filler")), 0u);

    // Longer than what still fits into the file's last page: the write starts and then fails.
    std::string block;
    for (int line = 1; line <= 13; ++line)
        block +=
            "\"new block line " + std::to_string(line) + "\"," + std::string(400, '7') + "\r\n";
    ASSERT_GT(block.size(), restOfLastPage(earlier.size()));

    EXPECT_FALSE(ResultFile::append(path, block, error));
    EXPECT_EQ(error, "No space left on device");
    EXPECT_EQ(readBytes(path), earlier);

    // Once there is room again the same block goes in whole, after the earlier ones.
    std::filesystem::remove(disk.file("filler"));
    EXPECT_TRUE(ResultFile::append(path, block, error)) << error;
    EXPECT_EQ(readBytes(path), earlier + block);
}

TEST(FullDisk, EvaluationOnAFullDiskKeepsBothFilesAndSaysWhy)
{
    SmallDisk disk("1m");
    if (!disk.skipReason.empty())
        GTEST_SKIP() << disk.skipReason;
    TempDir pictures, logs;
    const std::string resultFile = disk.file("patient.dat");
    const Corpus corpus = makeCorpus(pictures.path(), 'F', 1, disk.file("patient"));
    const std::string errorFile = logs.file("stderr.txt");
    {
        CliProcess first(evaluateArgs(corpus.pictures), errorFile);
        ASSERT_EQ(first.wait(), 0) << readBytes(errorFile);
    }
    // Earlier blocks that leave part of the file's last page free, but less than a block.
    const std::string block = readBytes(resultFile);
    std::string earlier = block;
    while (restOfLastPage(earlier.size()) == 0 || restOfLastPage(earlier.size()) >= block.size())
        earlier += block;
    writeBytes(resultFile, earlier);
    const std::string landmarks = readBytes(corpus.landmarkFiles.front());
    ASSERT_GT(fillDisk(disk.file("filler")), 0u);

    CliProcess run(evaluateArgs(corpus.pictures), errorFile);
    EXPECT_EQ(run.wait(), 1);
    EXPECT_EQ(readBytes(errorFile),
        "Oxel Error: could not write " + resultFile + ": No space left on device\n");
    EXPECT_EQ(readBytes(resultFile), earlier);
    EXPECT_EQ(readBytes(corpus.landmarkFiles.front()), landmarks);
}
