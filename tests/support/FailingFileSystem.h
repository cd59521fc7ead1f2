#pragma once

#include <cerrno>
#include <fcntl.h>
#include <vector>

#include "core/records/FileSystem.h"

// The kinds of call a failure can be aimed at.
enum class FileCall {
    Any,
    Open,
    Write,
    Fsync,
    Fchmod,
    Fstat,
    Ftruncate,
    Lock,
    Linkat,
    Rename,
    Unlink,
    Close
};

// The system's file system, except that the n-th call (of any kind, or of the chosen kind)
// fails with the chosen errno, once. With EINTR the call is merely interrupted and must be made
// again by the caller's side of the seam. Optionally refuses unnamed files, as file systems
// without O_TMPFILE do.
class FailingFileSystem : public FileSystem
{
public:
    FailingFileSystem(int failAt, int error, FileCall kind = FileCall::Any)
        : target(failAt), errorCode(error), aimedAt(kind)
    {}

    bool refuseUnnamedFiles = false;
    int calls = 0; // of the aimed-at kind, so far
    bool fired = false;
    std::vector<FileCall> made; // every call, in order

protected:
    int callOpen(const char *path, int flags, mode_t mode) override
    {
        if (failsNow(FileCall::Open))
            return -1;
        if (refuseUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return FileSystem::callOpen(path, flags, mode);
    }

    ssize_t callWrite(int fd, const void *bytes, std::size_t size) override
    {
        return failsNow(FileCall::Write) ? -1 : FileSystem::callWrite(fd, bytes, size);
    }

    int callFsync(int fd) override
    {
        return failsNow(FileCall::Fsync) ? -1 : FileSystem::callFsync(fd);
    }

    int callFchmod(int fd, mode_t mode) override
    {
        return failsNow(FileCall::Fchmod) ? -1 : FileSystem::callFchmod(fd, mode);
    }

    int callFstat(int fd, struct stat &status) override
    {
        return failsNow(FileCall::Fstat) ? -1 : FileSystem::callFstat(fd, status);
    }

    int callFtruncate(int fd, off_t size) override
    {
        return failsNow(FileCall::Ftruncate) ? -1 : FileSystem::callFtruncate(fd, size);
    }

    int callLock(int fd, struct flock &region) override
    {
        return failsNow(FileCall::Lock) ? -1 : FileSystem::callLock(fd, region);
    }

    int callLinkat(
        int fromFolder, const char *from, int toFolder, const char *to, int flags) override
    {
        return failsNow(FileCall::Linkat)
            ? -1
            : FileSystem::callLinkat(fromFolder, from, toFolder, to, flags);
    }

    int callRename(const char *from, const char *to) override
    {
        return failsNow(FileCall::Rename) ? -1 : FileSystem::callRename(from, to);
    }

    int callUnlink(const char *path) override
    {
        return failsNow(FileCall::Unlink) ? -1 : FileSystem::callUnlink(path);
    }

    int callClose(int fd) override
    {
        // A failing close has still closed the descriptor, as on Linux.
        if (failsNow(FileCall::Close)) {
            FileSystem::callClose(fd);
            errno = errorCode;
            return -1;
        }
        return FileSystem::callClose(fd);
    }

private:
    bool failsNow(FileCall kind)
    {
        made.push_back(kind);
        if (aimedAt != FileCall::Any && aimedAt != kind)
            return false;
        if (++calls != target)
            return false;
        fired = true;
        errno = errorCode;
        return true;
    }

    int target;
    int errorCode;
    FileCall aimedAt;
};
