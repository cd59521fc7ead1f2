#include "core/evaluation/ResultFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#include "core/records/FileSystem.h"
#include "core/records/SystemError.h"

namespace ResultFile {

namespace {

constexpr const char *kLineEnd = "\r\n";

std::string text(std::string_view value)
{
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    quoted += value;
    quoted += '"';
    return quoted;
}

std::string date(const CalendarDate &d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "#%04d-%02d-%02d#", d.year, d.month, d.day);
    return buffer;
}

class LineWriter
{
public:
    explicit LineWriter(std::string &target) : out(target) {}

    LineWriter &text(std::string_view value) { return item(ResultFile::text(value)); }

    LineWriter &number(double value) { return item(formatNumber(value)); }

    LineWriter &integer(long value) { return item(std::to_string(value)); }

    LineWriter &raw(const std::string &value) { return item(value); }

    void end()
    {
        out += kLineEnd;
        first = true;
    }

private:
    LineWriter &item(const std::string &value)
    {
        if (!first)
            out += ',';
        out += value;
        first = false;
        return *this;
    }

    std::string &out;
    bool first = true;
};

// fcntl locks belong to the process, so they cannot keep two threads of it apart.
std::mutex appendingInThisProcess;

// Each step below answers 0 or the errno of its failure.

int openForAppend(const std::string &path, int &fd)
{
    // Without O_NONBLOCK a named pipe that nobody reads would keep the open waiting for ever; on
    // a regular file the flag changes nothing.
    return currentFileSystem().open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666, fd);
}

// The longest pause between two tries for the lock: short against a block's few milliseconds of
// writing, long enough not to keep a core busy while another writer is slow.
constexpr std::chrono::milliseconds kLockPollCeiling{25};

// EAGAIN when another process still holds a lock on the file after `wait`. Tries again and again
// rather than waiting in F_SETLKW, which nothing but a signal could end.
int lockWithin(int fd, std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
    std::chrono::milliseconds pause{1};

    struct flock whole
    {};

    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // start 0 and length 0: the whole file, however long it grows
    for (;;) {
        const int failure = currentFileSystem().lock(fd, whole);
        if (failure == 0)
            return 0;
        if (failure != EACCES && failure != EAGAIN)
            return failure;
        const auto now = Clock::now();
        if (now >= deadline)
            return EAGAIN;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, kLockPollCeiling);
    }
}

// Goes on after a short write: the first one can stop at a size limit or a full disk, and only
// the next one says why.
int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        std::size_t written = 0;
        if (const int failure = currentFileSystem().write(fd, bytes.data(), bytes.size(), written))
            return failure;
        if (written == 0)
            return EIO;
        bytes.remove_prefix(written);
    }
    return 0;
}

int flushToDisk(int fd)
{
    return currentFileSystem().fsync(fd);
}

// The folder holds the file's name: until it is flushed, a power cut can take a new file away
// with the blocks flushed into it. Some file systems cannot flush a folder (EINVAL) and keep
// their names anyway.
int flushFolderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "."
        : slash == 0                                          ? "/"
                                                              : path.substr(0, slash);
    FileSystem &files = currentFileSystem();
    int fd = -1;
    if (const int failure =
            files.open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, fd))
        return failure;
    const OpenFile folder(fd);
    const int failure = files.fsync(fd);
    return failure == EINVAL ? 0 : failure;
}

// Back to the size the file had when this append took the lock: only its own bytes go. A file
// the append created goes back to empty but stays, since another writer may have opened it
// meanwhile and be waiting for the lock; removing it would lose that writer's block.
int cutBack(int fd, off_t size)
{
    if (const int failure = currentFileSystem().ftruncate(fd, size))
        return failure;
    // The cut is wanted on the disk too, or a crash could bring the partial block back; when the
    // flush fails the file is still right for every reader until then, and the write's own
    // failure is what the operator is told.
    flushToDisk(fd);
    return 0;
}

} // namespace

std::string formatNumber(double value)
{
    if (value == 0)
        return "0"; // also for -0
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string pathFor(const std::string &datFile, const std::string &folder)
{
    std::string path = datFile + ".dat";
    if (!folder.empty() && path.front() != '/')
        path = folder + (folder.back() == '/' ? "" : "/") + path;
    return path;
}

std::string formatBlock(const ResultBlock &b)
{
    std::string out;
    LineWriter line(out);

    line.text("-------> OXEL DIGITAL 1995  File: " + b.fileName).raw(date(b.date)).end();
    line.text(b.famname).text(b.vorname).text(b.code).end();
    line.text("date of radiogram").text(b.datum).end();
    line.text("side of replacement").text(b.sideLeft ? "L" : "R").end();

    for (const auto &[values, label] : {std::pair{&b.head, "head migration (cranial/medial)"},
             std::pair{&b.cup, "cup migration (cranial/medial)"}}) {
        if (values->valid)
            line.text(label).number(values->cranial).number(values->medial).end();
        else
            line.text("nodata").integer(0).integer(0).end();
    }

    if (b.inclination)
        line.text("cup inclination").number(*b.inclination);
    else
        line.text("nodata").integer(0);
    if (b.inclination && b.rim)
        line.text("anteversion").number(b.rim->anteversion).end();
    else
        line.text("nodata").integer(0).end();

    if (b.rim) {
        line.text("beta1/cup axis").number(b.rim->beta1).text(b.rim->sign1);
        line.text("beta2/cup axis").number(b.rim->beta2).text(b.rim->sign2).end();
    } else {
        line.text("beta1/cup axis")
            .integer(0)
            .text("")
            .text("beta2/cup axis")
            .integer(0)
            .text("")
            .end();
    }

    line.text("antiparameter (head)").number(b.head.antiparameter);
    line.text("antiparameter (cup)").number(b.cup.antiparameter).end();
    line.text("delx1").number(b.grid.delx1).text("delx2").number(b.grid.delx2);
    line.text("delx3").number(b.grid.delx3).end();
    line.text("dely1").number(b.grid.dely1).text("dely2").number(b.grid.dely2);
    line.text("dely3").number(b.grid.dely3).end();
    line.text("evaluation type").integer(b.typ).text("SL-flag").integer(b.slFlag ? 1 : 0).end();

    line.text("not used").integer(0).integer(0);
    if (b.wear)
        line.text("wear x/y").number(b.wear->x).number(b.wear->y);
    else
        line.text("nodata").integer(0).integer(0);
    line.text("radiofactor").number(b.radiofactor).end();
    return out;
}

bool append(const std::string &path, std::string_view bytes, std::string &error,
    std::chrono::milliseconds lockWait)
{
    const std::lock_guard oneAtATime(appendingInThisProcess);

    int fd = -1;
    if (const int failure = openForAppend(path, fd)) {
        error = systemErrorText(failure);
        return false;
    }
    // Closing the descriptor also gives up the lock, whichever way the append ends. What close
    // reports is not looked at: by then the bytes are on the disk, or cut away again.
    const OpenFile file(fd);

    if (const int failure = lockWithin(fd, lockWait)) {
        if (failure == EAGAIN)
            error = "another program holds the result file (still locked after "
                + formatNumber(std::chrono::duration<double>(lockWait).count())
                + " s); nothing was written, try again";
        else
            error = "the result file could not be locked (" + systemErrorText(failure)
                + "); nothing was written";
        return false;
    }

    struct stat before
    {};

    if (const int failure = currentFileSystem().fstat(fd, before)) {
        error = systemErrorText(failure);
        return false;
    }
    // A device or a pipe can neither be flushed nor cut back; there is nothing of ours to restore.
    const bool regular = S_ISREG(before.st_mode);
    // An empty file may be one this append just created, whose name must be on the disk before
    // any block is reported written; flushing the folder of an older empty file costs little.
    if (regular && before.st_size == 0) {
        if (const int failure = flushFolderOf(path)) {
            error = systemErrorText(failure);
            return false;
        }
    }

    int failure = writeAll(fd, bytes);
    if (!failure && regular)
        failure = flushToDisk(fd);
    if (!failure)
        return true; // closing drops the lock

    error = systemErrorText(failure);
    if (regular) {
        if (const int cutFailure = cutBack(fd, before.st_size))
            error += "; the part of the block already written could not be removed ("
                + systemErrorText(cutFailure) + ")";
    }
    return false;
}

} // namespace ResultFile
