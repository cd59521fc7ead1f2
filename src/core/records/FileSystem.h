#pragma once

#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

// The system calls that change files, the one way every write of the program takes to the disk,
// so that tests can make any single step fail as a full disk, a failing drive or a refused
// permission would. Each call answers 0 or the errno of its failure, never EINTR: an interrupted
// call is made again. The calls mean what their POSIX namesakes mean.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    int open(const char *path, int flags, mode_t mode, int &fd);
    // Writes part of the bytes, as write(2) may; `written` is how many.
    int write(int fd, const void *bytes, std::size_t size, std::size_t &written);
    int fsync(int fd);
    int fchmod(int fd, mode_t mode);
    int fstat(int fd, struct stat &status);
    int ftruncate(int fd, off_t size);
    // F_SETLK: EAGAIN or EACCES at once when another process holds a conflicting lock.
    int lock(int fd, struct flock &region);
    int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags);
    int rename(const char *from, const char *to);
    int unlink(const char *path);
    // The descriptor is gone whatever the answer; an interrupted close is not made again, since
    // the descriptor may already belong to another file.
    int close(int fd);

protected:
    // The bare calls, each answering -1 with errno set on failure (EINTR included), as the
    // system does.
    virtual int callOpen(const char *path, int flags, mode_t mode);
    virtual ssize_t callWrite(int fd, const void *bytes, std::size_t size);
    virtual int callFsync(int fd);
    virtual int callFchmod(int fd, mode_t mode);
    virtual int callFstat(int fd, struct stat &status);
    virtual int callFtruncate(int fd, off_t size);
    virtual int callLock(int fd, struct flock &region);
    virtual int callLinkat(
        int fromFolder, const char *from, int toFolder, const char *to, int flags);
    virtual int callRename(const char *from, const char *to);
    virtual int callUnlink(const char *path);
    virtual int callClose(int fd);
};

// The file system every write goes through: the system's own until a test installs another.
FileSystem &currentFileSystem();

// Installs a file system for the life of this object (not owned; it must outlive the scope) and
// puts back the one that was current before.
class ScopedFileSystem
{
public:
    explicit ScopedFileSystem(FileSystem &replacement);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem &) = delete;
    ScopedFileSystem &operator=(const ScopedFileSystem &) = delete;

private:
    FileSystem *previous;
};

// Holds a descriptor of the current file system and closes it at the end of the scope, for the
// paths where what close answers no longer matters (the bytes are flushed, or being given up).
class OpenFile
{
public:
    OpenFile() = default;

    explicit OpenFile(int descriptor) : fd(descriptor) {}

    ~OpenFile();
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;

    int get() const { return fd; }

    bool isOpen() const { return fd >= 0; }

    // Takes over a descriptor, closing the one held before.
    void adopt(int descriptor)
    {
        close();
        fd = descriptor;
    }

    // Closes now and answers what close answered (0 when nothing was open).
    int close();

private:
    int fd = -1;
};
