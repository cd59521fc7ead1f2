#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "EvaluationRuns.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/LeftHip.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"

using namespace EvaluationRuns;

namespace {

// Small landmark files: what is tried here is the result file.
constexpr int kPointsPerLandmark = 8;

struct Writer
{
    Corpus corpus;
    std::string errorFile;
    std::unique_ptr<CliProcess> process;
    int status = -1;
};

// Starts `writers` oxel-cli processes at once, each evaluating its own `perWriter` pictures in
// `pictureFolder`, all appending to `resultFile`, and waits for them all.
std::vector<Writer> runConcurrently(int writers, int perWriter,
    const std::filesystem::path &pictureFolder, const std::string &resultFile, const TempDir &logs)
{
    std::vector<Writer> all(static_cast<std::size_t>(writers));
    for (int w = 0; w < writers; ++w) {
        Writer &writer = all[static_cast<std::size_t>(w)];
        // The result file is named without ".dat", as the patient data hold it.
        const std::string datFile = resultFile.substr(0, resultFile.size() - 4);
        writer.corpus = makeCorpus(
            pictureFolder, static_cast<char>('A' + w), perWriter, datFile, kPointsPerLandmark);
        writer.errorFile = logs.file("stderr-" + std::to_string(w) + ".txt");
    }
    for (Writer &writer : all) {
        writer.process =
            std::make_unique<CliProcess>(evaluateArgs(writer.corpus.pictures), writer.errorFile);
        EXPECT_TRUE(writer.process->started());
    }
    for (Writer &writer : all)
        writer.status = writer.process->wait();
    return all;
}

// Runs `writers` processes of `perWriter` pictures each on one result file and checks that every
// block is there once, whole. Each append and landmark file is flushed to the disk, which on a
// disk costs milliseconds an evaluation: on a tmpfs (root only) thousands of blocks take about a
// second, elsewhere `perWriterOnDisk` keeps the test as short.
void expectEveryBlockOnceAndNoneLost(int writers, int perWriter, int perWriterOnDisk)
{
    SmallDisk memory("64m");
    TempDir onDisk, logs;
    const bool inMemory = memory.skipReason.empty();
    const std::filesystem::path folder = inMemory ? memory.path() : onDisk.path();
    if (!inMemory) {
        perWriter = perWriterOnDisk;
        std::cout << "[ note     ] fewer blocks, on the disk: " << memory.skipReason << "\n";
    }
    const std::string resultFile = (folder / "patient.dat").string();
    const std::vector<Writer> all = runConcurrently(writers, perWriter, folder, resultFile, logs);

    int reportedWritten = 0;
    for (const Writer &writer : all) {
        EXPECT_EQ(writer.status, 0) << readBytes(writer.errorFile);
        const int reported =
            occurrences(readBytes(writer.errorFile), "Oxel: Data written to " + resultFile + "\n");
        EXPECT_EQ(reported, perWriter);
        reportedWritten += reported;
    }
    const std::map<std::string, int> blocks = blocksByCode(resultFile);
    EXPECT_EQ(blockCount(blocks), reportedWritten);
    for (const Writer &writer : all) {
        for (const std::string &code : writer.corpus.codes) {
            const auto found = blocks.find(code);
            EXPECT_TRUE(found != blocks.end() && found->second == 1)
                << code << " is in the result file " << (found == blocks.end() ? 0 : found->second)
                << " times";
        }
    }
    std::cout << "[ figures  ] " << writers << " processes appended " << blockCount(blocks)
              << " blocks to one result file\n";
}

} // namespace

TEST(ConcurrentEvaluations, TwoProcessesOnOneResultFileLoseNoBlockAndMixNone)
{
    expectEveryBlockOnceAndNoneLost(2, 1500, 200);
}

TEST(ConcurrentEvaluations, FourProcessesOnOneResultFileLoseNoBlockAndMixNone)
{
    expectEveryBlockOnceAndNoneLost(4, 750, 100);
}

// The result file on a disk that fills up while four processes append to it: a block is whole
// or absent, and each "Data written" is true, the others name the full disk.
TEST(ConcurrentEvaluations, OnADiskThatFillsUpEveryBlockIsWholeOrAbsent)
{
    SmallDisk disk("1m");
    if (!disk.skipReason.empty())
        GTEST_SKIP() << disk.skipReason;
    const std::string filler = disk.file("filler");
    const std::size_t filled = fillDisk(filler);
    ASSERT_GT(filled, 200u * 1024);
    // Room for a few hundred blocks of the 1200 the writers try.
    std::filesystem::resize_file(filler, filled - 200 * 1024);

    TempDir pictures, logs;
    const std::string resultFile = disk.file("patient.dat");
    constexpr int kWriters = 4, kPerWriter = 300;
    const std::vector<Writer> all =
        runConcurrently(kWriters, kPerWriter, pictures.path(), resultFile, logs);

    const std::map<std::string, int> blocks = blocksByCode(resultFile);
    int reportedWritten = 0, refused = 0;
    for (const Writer &writer : all) {
        const std::string err = readBytes(writer.errorFile);
        const int written = occurrences(err, "Oxel: Data written to " + resultFile + "\n");
        const int full = occurrences(
            err, "Oxel Error: could not write " + resultFile + ": No space left on device\n");
        EXPECT_EQ(written + full, kPerWriter) << err;
        EXPECT_EQ(writer.status, full > 0 ? 1 : 0);
        reportedWritten += written;
        refused += full;

        // A landmark file is written back after its block only: its picture's block is in the
        // result file exactly when the landmark file changed.
        for (std::size_t i = 0; i < writer.corpus.codes.size(); ++i) {
            const bool rewritten =
                readBytes(writer.corpus.landmarkFiles[i]) != writer.corpus.originals[i];
            const auto found = blocks.find(writer.corpus.codes[i]);
            const int times = found == blocks.end() ? 0 : found->second;
            EXPECT_EQ(times, rewritten ? 1 : 0) << writer.corpus.codes[i];
        }
    }
    EXPECT_EQ(blockCount(blocks), reportedWritten);
    EXPECT_GT(reportedWritten, 0);
    EXPECT_GT(refused, 0) << "the disk never became full";
    std::cout << "[ figures  ] on a full disk: " << reportedWritten << " blocks written, "
              << refused << " refused for lack of space, none partial\n";
}

TEST(ConcurrentLandmarkWrites, TwoWritersOfOneFileLeaveOneWholeVersionAtEveryMoment)
{
    TempDir dir;
    const std::string landmarkFile = dir.file("hip.bin");
    // Two versions of different lengths, so that a mixture cannot pass for either.
    COxel small = leftHip(dir.file("patient"), 8, 8);
    small.Patient.Code = "small";
    COxel large = leftHip(dir.file("patient"), 400, 400);
    large.Patient.Code = "large";
    std::string error;
    ASSERT_TRUE(BinFile::write(landmarkFile, small, &error)) << error;
    const std::string smallBytes = readBytes(landmarkFile);
    ASSERT_TRUE(BinFile::write(landmarkFile, large, &error)) << error;
    const std::string largeBytes = readBytes(landmarkFile);
    ASSERT_NE(smallBytes.size(), largeBytes.size());

    constexpr int kWrites = 300;
    std::vector<pid_t> writers;
    for (const COxel *version : {&small, &large}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i)
                failures += BinFile::write(landmarkFile, *version) ? 0 : 1;
            ::_exit(failures == 0 ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        writers.push_back(pid);
    }

    // Read while they write: whatever moment the file is opened, it is one whole version.
    RecordingMessages messages;
    int reads = 0, mixtures = 0, unreadable = 0;
    std::vector<int> statuses(writers.size(), -1);
    for (;;) {
        int running = 0;
        for (std::size_t k = 0; k < writers.size(); ++k) {
            int status = 0;
            if (statuses[k] < 0 && ::waitpid(writers[k], &status, WNOHANG) == writers[k])
                statuses[k] = WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
            running += statuses[k] < 0 ? 1 : 0;
        }
        const std::string bytes = readBytes(landmarkFile);
        ++reads;
        if (bytes != smallBytes && bytes != largeBytes)
            ++mixtures;
        COxel oxel;
        if (!BinFile::read(landmarkFile, kPictureWidth, kPictureHeight, oxel))
            ++unreadable;
        if (running == 0)
            break;
    }
    EXPECT_EQ(statuses, std::vector<int>(writers.size(), 0)) << "a write failed";
    EXPECT_EQ(mixtures, 0) << "of " << reads << " reads";
    EXPECT_EQ(unreadable, 0) << "of " << reads << " reads";
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_EQ(unexpectedFiles(dir.path(), {landmarkFile}), std::vector<std::string>());
}
