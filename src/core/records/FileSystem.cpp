#include "core/records/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

FileSystem systemFileSystem;
FileSystem *current = &systemFileSystem;

// Makes a call again for as long as a signal interrupts it.
template <typename Call>
int retried(Call call)
{
    for (;;) {
        if (call() != -1)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

} // namespace

int FileSystem::open(const char *path, int flags, mode_t mode, int &fd)
{
    return retried([&] { return fd = callOpen(path, flags, mode); });
}

int FileSystem::write(int fd, const void *bytes, std::size_t size, std::size_t &written)
{
    ssize_t count = 0;
    const int failure = retried([&] {
        count = callWrite(fd, bytes, size);
        return count < 0 ? -1 : 0;
    });
    written = failure ? 0 : static_cast<std::size_t>(count);
    return failure;
}

int FileSystem::fsync(int fd)
{
    return retried([&] { return callFsync(fd); });
}

int FileSystem::fchmod(int fd, mode_t mode)
{
    return retried([&] { return callFchmod(fd, mode); });
}

int FileSystem::fstat(int fd, struct stat &status)
{
    return retried([&] { return callFstat(fd, status); });
}

int FileSystem::ftruncate(int fd, off_t size)
{
    return retried([&] { return callFtruncate(fd, size); });
}

int FileSystem::lock(int fd, struct flock &region)
{
    return retried([&] { return callLock(fd, region); });
}

int FileSystem::linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    return retried([&] { return callLinkat(fromFolder, from, toFolder, to, flags); });
}

int FileSystem::rename(const char *from, const char *to)
{
    return retried([&] { return callRename(from, to); });
}

int FileSystem::unlink(const char *path)
{
    return retried([&] { return callUnlink(path); });
}

int FileSystem::close(int fd)
{
    if (callClose(fd) == 0 || errno == EINTR)
        return 0;
    return errno;
}

int FileSystem::callOpen(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t FileSystem::callWrite(int fd, const void *bytes, std::size_t size)
{
    return ::write(fd, bytes, size);
}

int FileSystem::callFsync(int fd)
{
    return ::fsync(fd);
}

int FileSystem::callFchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int FileSystem::callFstat(int fd, struct stat &status)
{
    return ::fstat(fd, &status);
}

int FileSystem::callFtruncate(int fd, off_t size)
{
    return ::ftruncate(fd, size);
}

int FileSystem::callLock(int fd, struct flock &region)
{
    return ::fcntl(fd, F_SETLK, &region);
}

int FileSystem::callLinkat(
    int fromFolder, const char *from, int toFolder, const char *to, int flags)
{
    return ::linkat(fromFolder, from, toFolder, to, flags);
}

int FileSystem::callRename(const char *from, const char *to)
{
    return ::rename(from, to);
}

int FileSystem::callUnlink(const char *path)
{
    return ::unlink(path);
}

int FileSystem::callClose(int fd)
{
    return ::close(fd);
}

FileSystem &currentFileSystem()
{
    return *current;
}

ScopedFileSystem::ScopedFileSystem(FileSystem &replacement) : previous(current)
{
    current = &replacement;
}

ScopedFileSystem::~ScopedFileSystem()
{
    current = previous;
}

OpenFile::~OpenFile()
{
    close();
}

int OpenFile::close()
{
    if (fd < 0)
        return 0;
    const int failure = currentFileSystem().close(fd);
    fd = -1;
    return failure;
}
