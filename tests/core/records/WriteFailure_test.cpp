#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/evaluation/ResultFile.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "core/records/SafeFile.h"
#include "core/records/Settings.h"
#include "core/records/SystemError.h"
#include "support/FailingFileSystem.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// One way the program writes a file: what stands there before, and how it is written, telling
// why it failed.
struct WritePath
{
    const char *name;
    const char *fileName;
    std::string before; // empty: no file yet
    std::function<bool(const std::string &path, std::string &told)> write;
};

COxel measurement()
{
    COxel oxel;
    EXPECT_TRUE(oxel.initScale(1000, 800, 250.0));
    oxel.Patient.Famname = "Meier";
    return oxel;
}

const std::string kBlock = "\"-------> block\"\r\n1,2\r\n";

std::vector<WritePath> writePaths()
{
    return {
        {"landmark file", "hip.bin", "old landmarks",
            [](const std::string &path, std::string &told) {
                COxel oxel = measurement();
                return BinFile::write(path, oxel, &told);
            }},
        {"new landmark file", "hip.bin", "",
            [](const std::string &path, std::string &told) {
                COxel oxel = measurement();
                return BinFile::write(path, oxel, &told);
            }},
        {"settings file", "Zek2.ini", "[LastPath]\nPath=/old/hip.jpg\n",
            [](const std::string &path, std::string &told) {
                return Settings::write(path, "LastPath", "Path", "/new/hip.jpg", &told);
            }},
        {"export", "series.csv", "old;table\n",
            [](const std::string &path, std::string &told) {
                return SafeFile::replace(path, "new;table\n", told);
            }},
        {"result file", "patient.dat", "\"-------> earlier\"\r\n",
            [](const std::string &path, std::string &told) {
                if (ResultFile::append(path, kBlock, told))
                    return true;
                told = "could not write " + path + ": " + told; // as the evaluation tells it
                return false;
            }},
        {"new result file", "patient.dat", "",
            [](const std::string &path, std::string &told) {
                if (ResultFile::append(path, kBlock, told))
                    return true;
                told = "could not write " + path + ": " + told;
                return false;
            }},
    };
}

// What the path writes when nothing fails, found by writing it once in a folder of its own.
std::string writtenWithoutFailure(const WritePath &path)
{
    TempDir dir;
    const std::string file = dir.file(path.fileName);
    if (!path.before.empty())
        writeBytes(file, path.before);
    std::string told;
    EXPECT_TRUE(path.write(file, told)) << path.name << ": " << told;
    return readBytes(file);
}

std::set<std::string> entries(const TempDir &dir)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    return names;
}

// Fails every call of the path in turn, n = 1, 2, ... until the path completes without reaching
// n; answers how many calls were tried.
int failEveryCall(const WritePath &path, int error, bool refuseUnnamedFiles)
{
    const std::string complete = writtenWithoutFailure(path);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(std::string(path.name) + ", call " + std::to_string(n) + " fails with "
            + systemErrorText(error) + (refuseUnnamedFiles ? ", no unnamed files" : ""));
        TempDir dir;
        const std::string file = dir.file(path.fileName);
        if (!path.before.empty())
            writeBytes(file, path.before);
        FailingFileSystem failing(n, error);
        failing.refuseUnnamedFiles = refuseUnnamedFiles;
        std::string told;
        bool written = false;
        {
            const ScopedFileSystem seam(failing);
            written = path.write(file, told);
        }
        const std::string now = fs::exists(file) ? readBytes(file) : std::string();
        const std::set<std::string> expected{path.fileName};
        if (!failing.fired) {
            EXPECT_TRUE(written) << told;
            EXPECT_EQ(now, complete);
            EXPECT_EQ(entries(dir), expected);
            return n - 1;
        }
        // The old content stays whole, or the new one is there whole; never a part.
        EXPECT_TRUE(now == path.before || now == complete) << now;
        if (!written) {
            EXPECT_NE(told.find(file), std::string::npos) << told;
            EXPECT_NE(told.find(systemErrorText(error)), std::string::npos) << told;
        }
        // A failure that does not change the outcome, such as keeping permissions, is let pass.
        if (written) {
            EXPECT_EQ(now, complete);
        }
        // Nothing beside the file: no temporary file, and no empty file of a failed first write.
        std::set<std::string> left = entries(dir);
        if (path.before.empty() && now.empty())
            left.erase(path.fileName);
        EXPECT_TRUE(left.empty() || left == expected) << *left.begin();
        if (n > 200) {
            ADD_FAILURE() << "the path never completes";
            return n;
        }
    }
}

} // namespace

TEST(WriteFailures, EveryCallOfEveryWritePathFailsInTurnAndLosesNothing)
{
    for (const WritePath &path : writePaths())
        for (const int error : {ENOSPC, EIO, EACCES})
            for (const bool refuseUnnamed : {false, true}) {
                const int calls = failEveryCall(path, error, refuseUnnamed);
                // Open, write and flush of the file at the least.
                EXPECT_GE(calls, 3) << path.name;
            }
}

TEST(WriteFailures, InterruptedCallsAreMadeAgainAndNothingIsReported)
{
    for (const WritePath &path : writePaths()) {
        const std::string complete = writtenWithoutFailure(path);
        for (int n = 1; n < 100; ++n) {
            SCOPED_TRACE(std::string(path.name) + ", call " + std::to_string(n) + " interrupted");
            TempDir dir;
            const std::string file = dir.file(path.fileName);
            if (!path.before.empty())
                writeBytes(file, path.before);
            FailingFileSystem interrupting(n, EINTR);
            std::string told;
            bool written = false;
            {
                const ScopedFileSystem seam(interrupting);
                written = path.write(file, told);
            }
            EXPECT_TRUE(written) << told;
            EXPECT_EQ(readBytes(file), complete);
            EXPECT_EQ(entries(dir), std::set<std::string>{path.fileName});
            if (!interrupting.fired)
                break;
        }
    }
}

TEST(WriteFailures, ResultFileAppendFlushesTheFolderOfANewFileBeforeWriting)
{
    // The folder's flush is the second flush of a first append: failing it writes nothing.
    TempDir dir;
    const std::string path = dir.file("patient.dat");
    FailingFileSystem failing(1, EIO, FileCall::Fsync);
    std::string error;
    {
        const ScopedFileSystem seam(failing);
        EXPECT_FALSE(ResultFile::append(path, kBlock, error));
    }
    EXPECT_EQ(error, systemErrorText(EIO));
    EXPECT_EQ(readBytes(path), "");
    EXPECT_TRUE(ResultFile::append(path, kBlock, error)) << error;
    EXPECT_EQ(readBytes(path), kBlock);
}

TEST(WriteFailures, NextWriteRemovesOnlyTheLeftoversOfItsOwnFile)
{
    TempDir dir;
    const std::string path = dir.file("hip.bin");
    const std::vector<std::string> others{"hip.bin.0123456789ab.tmp.keep",
        "other.bin.0123456789ab.tmp", "hip.bin.0123456789AB.tmp", "hip.bin.123456789ab.tmp",
        "xhip.bin.0123456789ab.tmp", "hip.bin.0123456789abc.tmp"};
    for (const std::string &name : others)
        writeBytes(dir.file(name), "x");
    writeBytes(dir.file("hip.bin.0123456789ab.tmp"), "");
    writeBytes(dir.file("hip.bin.fedcba987654.tmp"), "part");

    // A leftover that a living write still holds stays: it is that write's file.
    const std::string busy = dir.file("hip.bin.00000000beef.tmp");
    writeBytes(busy, "in progress");
    int locked[2], done[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        const int fd = ::open(busy.c_str(), O_WRONLY);

        struct flock whole
        {};

        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        char signal = 'L';
        if (fd < 0 || ::fcntl(fd, F_SETLK, &whole) != 0 || ::write(locked[1], &signal, 1) != 1)
            ::_exit(1);
        ::read(done[0], &signal, 1) == 1 ? ::_exit(0) : ::_exit(2);
    }
    char signal = 0;
    ASSERT_EQ(::read(locked[0], &signal, 1), 1);

    COxel oxel = measurement();
    std::string error;
    EXPECT_TRUE(BinFile::write(path, oxel, &error)) << error;
    ASSERT_EQ(::write(done[1], &signal, 1), 1);
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    for (const int fd : {locked[0], locked[1], done[0], done[1]})
        ::close(fd);

    std::set<std::string> expected(others.begin(), others.end());
    expected.insert("hip.bin");
    expected.insert("hip.bin.00000000beef.tmp");
    EXPECT_EQ(entries(dir), expected);
}

TEST(WriteFailures, DataIsFlushedBeforeItTakesTheNameAndTheNameAfterwards)
{
    const auto position = [](const std::vector<FileCall> &calls, FileCall kind, std::size_t from) {
        for (std::size_t i = from; i < calls.size(); ++i)
            if (calls[i] == kind)
                return i;
        return calls.size();
    };
    for (const bool refuseUnnamed : {false, true}) {
        SCOPED_TRACE(refuseUnnamed ? "named temporary file" : "unnamed temporary file");
        TempDir dir;
        const std::string path = dir.file("hip.bin");
        writeBytes(path, "old landmarks");
        FailingFileSystem recording(0, 0);
        recording.refuseUnnamedFiles = refuseUnnamed;
        COxel oxel = measurement();
        {
            const ScopedFileSystem seam(recording);
            ASSERT_TRUE(BinFile::write(path, oxel));
        }
        const auto &calls = recording.made;
        const std::size_t written = position(calls, FileCall::Write, 0);
        const std::size_t flushed = position(calls, FileCall::Fsync, written);
        const std::size_t renamed = position(calls, FileCall::Rename, 0);
        ASSERT_LT(written, flushed);
        ASSERT_LT(flushed, renamed);
        EXPECT_LT(position(calls, FileCall::Fsync, renamed), calls.size()); // the folder
    }

    // A new result file's name is on the disk before its first block.
    TempDir dir;
    FailingFileSystem recording(0, 0);
    std::string error;
    {
        const ScopedFileSystem seam(recording);
        ASSERT_TRUE(ResultFile::append(dir.file("patient.dat"), kBlock, error)) << error;
    }
    const auto &calls = recording.made;
    const std::size_t written = position(calls, FileCall::Write, 0);
    EXPECT_LT(position(calls, FileCall::Fsync, 0), written);
    EXPECT_LT(position(calls, FileCall::Fsync, written), calls.size());
}
