#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/evaluation/ResultFile.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

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
    const std::string expected =
        "\"-------> OXEL DIGITAL 1995  File: C:\\daten\\hip, left.dat\",#2001-02-03#\r\n"
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
    b.rim = Calc::RimOrientation{12, 12, 30, "-", "+"};
    b.grid = {1, 2, 3, -4, -5, -6};
    b.slFlag = true;
    b.typ = 7;
    b.wear = WearVector{0.5, -0.125};
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

namespace {

using namespace std::chrono_literals;

// One end each for two processes; the end a process does not use is closed, so that a read sees
// the end of the pipe when the other side is gone.
class Pipe
{
public:
    Pipe()
    {
        if (::pipe(ends) != 0)
            ends[0] = ends[1] = -1;
    }

    ~Pipe()
    {
        closeReadEnd();
        closeWriteEnd();
    }

    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    int readEnd() const { return ends[0]; }

    int writeEnd() const { return ends[1]; }

    void closeReadEnd() { closeEnd(ends[0]); }

    void closeWriteEnd() { closeEnd(ends[1]); }

    void send(char c) const { [[maybe_unused]] auto n = ::write(ends[1], &c, 1); }

    // The byte sent, or 0 when the writer went away without sending one.
    char receive() const
    {
        char c = 0;
        while (::read(ends[0], &c, 1) < 0 && errno == EINTR) {}
        return c;
    }

    std::string receiveAll() const
    {
        std::string all;
        char buffer[4096];
        for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            all.append(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }

private:
    static void closeEnd(int &fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    int ends[2];
};

// A second process. fcntl locks belong to a process, so only another process can keep this one
// waiting. The child leaves with _exit: nothing of the test framework may run twice.
class Child : public ChildProcess
{
public:
    template <class Body>
    explicit Child(Body body)
    {
        pid = ::fork();
        if (pid == 0)
            ::_exit(body());
    }
};

void pause(std::chrono::milliseconds span)
{
    timespec rest{static_cast<time_t>(span.count() / 1000),
        static_cast<long>(span.count() % 1000) * 1000000L};
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {}
}

// Child body: takes the whole-file write lock as any other writer would, says so on `locked`,
// keeps it until `release` closes (or for `holdFor` when there is no such pipe), then appends
// `block` and leaves, which drops the lock.
int holdLock(const std::string &path, const Pipe &locked, const Pipe *release,
    std::chrono::milliseconds holdFor, std::string_view block)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);

    struct flock lock
    {};

    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_SETLKW, &lock) != 0)
        return 1;
    locked.send('L');
    if (release)
        release->receive();
    else
        pause(holdFor);
    if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
        return 2;
    return 0;
}

// The soft limit on the size of files this process writes; with SIGXFSZ ignored, a write past it
// fails with EFBIG, as on a full disk, after writing what fitted below it.
void limitFileSize(rlim_t bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes < limit.rlim_max ? bytes : limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

// Child body: an append that cannot fit under a size limit of `limit` bytes; exit status 0 when
// it failed with "File too large" (the text goes to `reason`).
int appendPastLimit(
    const std::string &path, rlim_t limit, const std::string &bytes, const Pipe &reason)
{
    limitFileSize(limit);
    std::string error;
    const bool appended = ResultFile::append(path, bytes, error);
    [[maybe_unused]] auto n = ::write(reason.writeEnd(), error.data(), error.size());
    return appended ? 1 : error == "File too large" ? 0 : 2;
}

// A 13-line block that names its writer and its number in every line, so that a piece of it can
// be told from a whole one.
std::string numberedBlock(int writer, int number)
{
    std::string block;
    for (int line = 1; line <= 13; ++line) {
        char text[80];
        std::snprintf(text, sizeof text, "\"writer %d\",\"block %04d\",\"line %02d\",0.125\r\n",
            writer, number, line);
        block += text;
    }
    return block;
}

} // namespace

TEST(ResultFileAppend, LockedFileIsAppendedAfterTheHolderIsDone)
{
    TempDir dir;
    const std::string path = dir.file("p.dat");
    writeBytes(path, "earlier\r\n");
    Pipe locked;
    Child holder([&] {
        locked.closeReadEnd();
        return holdLock(path, locked, nullptr, 300ms, "holder\r\n");
    });
    ASSERT_TRUE(holder.started());
    locked.closeWriteEnd();
    ASSERT_EQ(locked.receive(), 'L');

    std::string error;
    EXPECT_TRUE(ResultFile::append(path, "ours\r\n", error, 5s)) << error;
    EXPECT_EQ(holder.wait(), 0);
    EXPECT_EQ(readBytes(path), "earlier\r\nholder\r\nours\r\n");
}

TEST(ResultFileAppend, FileLockedLongerThanTheWaitIsReportedAndLeftAlone)
{
    TempDir dir;
    const std::string path = dir.file("p.dat");
    const std::string earlier = numberedBlock(1, 1);
    writeBytes(path, earlier);
    Pipe locked, release;
    Child holder([&] {
        locked.closeReadEnd();
        release.closeWriteEnd();
        return holdLock(path, locked, &release, 0ms, "");
    });
    ASSERT_TRUE(holder.started());
    locked.closeWriteEnd();
    release.closeReadEnd();
    ASSERT_EQ(locked.receive(), 'L');

    std::string error;
    EXPECT_FALSE(ResultFile::append(path, numberedBlock(2, 1), error, 200ms));
    EXPECT_NE(error.find("another program holds the result file"), std::string::npos) << error;
    EXPECT_NE(error.find("(still locked after 0.2 s)"), std::string::npos) << error;
    EXPECT_NE(error.find("try again"), std::string::npos) << error;
    EXPECT_EQ(readBytes(path), earlier);

    // Once the other program is done, trying again succeeds.
    release.closeWriteEnd();
    EXPECT_EQ(holder.wait(), 0);
    EXPECT_TRUE(ResultFile::append(path, numberedBlock(2, 1), error, 200ms)) << error;
    EXPECT_EQ(readBytes(path), earlier + numberedBlock(2, 1));
}

TEST(ResultFileAppend, FailedAppendCutsBackExactlyItsOwnBytes)
{
    TempDir dir;
    const std::string block = numberedBlock(2, 1) + numberedBlock(2, 2);

    // A write that stops part way, as on a full disk.
    const std::string path = dir.file("p.dat");
    const std::string earlier = numberedBlock(1, 1);
    writeBytes(path, earlier);
    {
        Pipe reason;
        Child writer([&] { return appendPastLimit(path, earlier.size() + 100, block, reason); });
        ASSERT_TRUE(writer.started());
        reason.closeWriteEnd();
        EXPECT_EQ(writer.wait(), 0) << reason.receiveAll();
        EXPECT_EQ(readBytes(path), earlier);
    }

    // Another program appends while the failing append waits for the lock: what it appended
    // stays, only the failing append's own bytes go.
    {
        const std::string holderBlock = numberedBlock(3, 1);
        Pipe locked, reason;
        Child holder([&] {
            locked.closeReadEnd();
            return holdLock(path, locked, nullptr, 300ms, holderBlock);
        });
        ASSERT_TRUE(holder.started());
        locked.closeWriteEnd();
        ASSERT_EQ(locked.receive(), 'L');
        Child writer([&] {
            return appendPastLimit(path, earlier.size() + holderBlock.size() + 100, block, reason);
        });
        ASSERT_TRUE(writer.started());
        reason.closeWriteEnd();
        EXPECT_EQ(writer.wait(), 0) << reason.receiveAll();
        EXPECT_EQ(holder.wait(), 0);
        EXPECT_EQ(readBytes(path), earlier + holderBlock);
    }

    // A file this append created stays, emptied: another writer may have opened it meanwhile and
    // be waiting for the lock, and would append into a removed file.
    const std::string fresh = dir.file("fresh.dat");
    {
        Pipe reason;
        Child writer([&] { return appendPastLimit(fresh, 100, block, reason); });
        ASSERT_TRUE(writer.started());
        reason.closeWriteEnd();
        EXPECT_EQ(writer.wait(), 0) << reason.receiveAll();
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(fresh));
    EXPECT_EQ(readBytes(fresh), "");
}

TEST(ResultFileAppend, ConcurrentWritersLeaveWholeBlocksAndLoseNoneReportedWritten)
{
    TempDir dir;
    const std::string path = dir.file("p.dat");
    constexpr int kBlocks = 100;

    // Writer 1 appends freely; writer 2 allows every third of its appends only half a block
    // beyond the file's size when it starts, so those fail part way or, when writer 1 got in
    // first, at once.
    Pipe start;
    const auto appendAll = [&](int writer, const Pipe &outcomes) {
        start.closeWriteEnd();
        start.receive();
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        std::string error;
        for (int number = 1; number <= kBlocks; ++number) {
            const std::string block = numberedBlock(writer, number);
            if (writer == 2 && number % 3 == 0) {
                struct stat now
                {};
                ::stat(path.c_str(), &now);
                limitFileSize(static_cast<rlim_t>(now.st_size) + block.size() / 2);
            }
            outcomes.send(ResultFile::append(path, block, error) ? '1' : '0');
            ::setrlimit(RLIMIT_FSIZE, &unlimited);
        }
        return 0;
    };
    Pipe outcomes1, outcomes2;
    Child writer1([&] { return appendAll(1, outcomes1); });
    Child writer2([&] { return appendAll(2, outcomes2); });
    ASSERT_TRUE(writer1.started());
    ASSERT_TRUE(writer2.started());
    start.closeWriteEnd(); // both start at once
    outcomes1.closeWriteEnd();
    outcomes2.closeWriteEnd();
    const std::string reported[2] = {outcomes1.receiveAll(), outcomes2.receiveAll()};
    EXPECT_EQ(writer1.wait(), 0);
    EXPECT_EQ(writer2.wait(), 0);
    ASSERT_EQ(reported[0].size(), std::size_t{kBlocks});
    ASSERT_EQ(reported[1].size(), std::size_t{kBlocks});
    EXPECT_NE(reported[1].find('0'), std::string::npos) << "no append failed";

    // The file, read block by block: each one whole and written by an append that said so.
    const std::string written = readBytes(path);
    std::set<std::pair<int, int>> found;
    const std::size_t blockSize = numberedBlock(1, 1).size();
    ASSERT_EQ(written.size() % blockSize, 0u);
    for (std::size_t at = 0; at < written.size(); at += blockSize) {
        int writer = 0, number = 0;
        ASSERT_EQ(
            std::sscanf(written.c_str() + at, "\"writer %d\",\"block %d\"", &writer, &number), 2)
            << "at byte " << at;
        ASSERT_TRUE(writer == 1 || writer == 2) << "at byte " << at;
        ASSERT_TRUE(number >= 1 && number <= kBlocks) << "at byte " << at;
        ASSERT_EQ(written.compare(at, blockSize, numberedBlock(writer, number)), 0)
            << "at byte " << at;
        EXPECT_EQ(reported[writer - 1][static_cast<std::size_t>(number - 1)], '1')
            << "writer " << writer << " block " << number << " was reported as not written";
        EXPECT_TRUE(found.emplace(writer, number).second)
            << "writer " << writer << " block " << number << " twice";
    }
    for (int writer = 1; writer <= 2; ++writer) {
        for (int number = 1; number <= kBlocks; ++number) {
            if (reported[writer - 1][static_cast<std::size_t>(number - 1)] == '1') {
                EXPECT_TRUE(found.count({writer, number}))
                    << "writer " << writer << " block " << number << " reported written, lost";
            }
        }
    }
}
