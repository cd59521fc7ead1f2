#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <time.h>
#include <vector>

#include <gtest/gtest.h>

#include "EvaluationRuns.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"

using namespace EvaluationRuns;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPictures = 8;
constexpr int kKills = 50;
// Landmark files of about 50 KB, so that writing one takes long enough for kills to land in it.
constexpr int kPoints = 1500;
// After this many kills a run is let finish, as an operator would run again after a crash.
constexpr int kKillsBetweenCompleteRuns = 10;
// The kill moments are drawn from this seed, so a failure can be replayed; OXEL_CRASH_SEED
// chooses another.
constexpr unsigned kSeed = 20261208;

void sleepFor(Clock::duration span)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(span).count();
    timespec rest{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {}
}

class CrashMidWrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        corpus = makeCorpus(dir.path(), 'K', kPictures, dir.file("patient"), kPoints);
        for (const auto &p : corpus.pictures)
            expectedFiles.insert(p);
        for (const auto &l : corpus.landmarkFiles)
            expectedFiles.insert(l);
        expectedFiles.insert(resultFile);
    }

    void restoreLandmarkFiles()
    {
        for (std::size_t i = 0; i < corpus.landmarkFiles.size(); ++i)
            writeBytes(corpus.landmarkFiles[i], corpus.originals[i]);
    }

    // Runs over every picture to its end; how long it took.
    Clock::duration completeRun(const std::string &why)
    {
        const int before = blockCount(blocksByCode(resultFile));
        const auto start = Clock::now();
        CliProcess run(evaluateArgs(corpus.pictures), errorFile);
        EXPECT_TRUE(run.started());
        EXPECT_EQ(run.wait(), 0) << why << ": " << readBytes(errorFile);
        const auto took = Clock::now() - start;
        EXPECT_EQ(occurrences(readBytes(errorFile), "Oxel: Data written to " + resultFile + "\n"),
            kPictures)
            << why;
        EXPECT_EQ(blockCount(blocksByCode(resultFile)), before + kPictures) << why;
        // A write that was killed may leave its temporary file; the next write of the same
        // landmark file clears it away.
        EXPECT_EQ(unexpectedFiles(dir.path(), expectedFiles), std::vector<std::string>())
            << why << ": temporary files remain after a complete run";
        return took;
    }

    TempDir dir, logs;
    const std::string resultFile = dir.file("patient.dat");
    const std::string errorFile = logs.file("stderr.txt");
    Corpus corpus;
    std::set<std::string> expectedFiles;
};

} // namespace

TEST_F(CrashMidWrite, KilledEvaluationsLeaveWholeFilesAndTheNextRunCompletes)
{
    RecordingMessages messages;

    // The landmark files as a complete run writes them back (the focus distance, stored now,
    // makes them differ from the originals); a file killed mid-write must hold one or the other.
    completeRun("first run");
    std::vector<std::string> rewritten;
    for (std::size_t i = 0; i < corpus.landmarkFiles.size(); ++i) {
        rewritten.push_back(readBytes(corpus.landmarkFiles[i]));
        ASSERT_NE(rewritten.back(), corpus.originals[i]);
    }
    // Timed once the files are in the cache, as the killed runs find them.
    restoreLandmarkFiles();
    const Clock::duration fullRun = completeRun("second run");
    // Most of a run on one picture is the program's start, before it writes anything: kills
    // then find nothing to interrupt.
    const auto startStart = Clock::now();
    {
        CliProcess startOnly(evaluateArgs({corpus.pictures.front()}), errorFile);
        ASSERT_EQ(startOnly.wait(), 0) << readBytes(errorFile);
    }
    const Clock::duration oneRun = Clock::now() - startStart;
    const Clock::duration earliest = oneRun * 3 / 5;
    // Runs vary with the disk; a kill after the end finds nothing to interrupt either.
    Clock::duration latest = std::max(fullRun * 4 / 5, oneRun * 3 / 2);

    unsigned seed = kSeed;
    if (const char *chosen = std::getenv("OXEL_CRASH_SEED"))
        seed = static_cast<unsigned>(std::strtoul(chosen, nullptr, 10));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> moment(0.0, 1.0);

    int killedMidRun = 0, leftTemporaryFile = 0;
    std::set<std::string> leftovers;
    for (int kill = 1; kill <= kKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill) + " of seed " + std::to_string(seed));
        restoreLandmarkFiles();
        const int blocksBefore = blockCount(blocksByCode(resultFile));

        const auto delay = earliest
            + std::chrono::duration_cast<Clock::duration>((latest - earliest) * moment(random));
        CliProcess run(evaluateArgs(corpus.pictures), errorFile);
        ASSERT_TRUE(run.started());
        sleepFor(delay);
        run.kill();
        const int status = run.wait();
        if (status == 100 + SIGKILL) {
            ++killedMidRun;
        } else {
            EXPECT_EQ(status, 0) << readBytes(errorFile);
            // A whole run fitted into the delay: later kills come sooner.
            latest = std::max(earliest + std::chrono::milliseconds(1), delay);
        }

        // Every block reported written is there, and at most one more whose message the kill cut
        // off; each one whole.
        const int reported =
            occurrences(readBytes(errorFile), "Oxel: Data written to " + resultFile + "\n");
        const int added = blockCount(blocksByCode(resultFile)) - blocksBefore;
        EXPECT_GE(added, reported);
        EXPECT_LE(added, reported + 1);

        for (std::size_t i = 0; i < corpus.landmarkFiles.size(); ++i) {
            const std::string bytes = readBytes(corpus.landmarkFiles[i]);
            EXPECT_TRUE(bytes == corpus.originals[i] || bytes == rewritten[i])
                << corpus.landmarkFiles[i] << " is neither the old nor the new file ("
                << bytes.size() << " bytes)";
            COxel oxel;
            EXPECT_TRUE(BinFile::read(corpus.landmarkFiles[i], kPictureWidth, kPictureHeight, oxel))
                << corpus.landmarkFiles[i];
        }
        EXPECT_TRUE(messages.boxes.empty()) << messages.boxes.front().text;
        messages.boxes.clear();

        bool newLeftover = false;
        for (const std::string &name : unexpectedFiles(dir.path(), expectedFiles))
            newLeftover = leftovers.insert(name).second || newLeftover;
        if (newLeftover)
            ++leftTemporaryFile;

        if (kill % kKillsBetweenCompleteRuns == 0) {
            restoreLandmarkFiles();
            completeRun("the run after kill " + std::to_string(kill));
            const auto remaining = unexpectedFiles(dir.path(), expectedFiles);
            leftovers = std::set<std::string>(remaining.begin(), remaining.end());
        }
        if (HasFatalFailure())
            return;
    }
    std::cout << "[ figures  ] " << kKills << " kills (" << killedMidRun
              << " before the run ended), " << leftTemporaryFile
              << " left a temporary file behind; result file: "
              << blockCount(blocksByCode(resultFile)) << " whole blocks\n";
    RecordProperty("kills", kKills);
    RecordProperty("killedMidRun", killedMidRun);
    RecordProperty("leftTemporaryFile", leftTemporaryFile);
}
