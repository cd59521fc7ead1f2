#include "core/records/SafeFile.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <vector>

#include "core/records/FileSystem.h"
#include "core/records/SystemError.h"

namespace fs = std::filesystem;

namespace SafeFile {

namespace {

std::string temporarySibling(const std::string &path)
{
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = path + ".";
    std::uint64_t value = generator();
    for (int i = 0; i < 12; ++i, value >>= 4)
        name += kHex[value & 0xFu];
    return name + ".tmp";
}

// The file a path finally names, through any chain of symbolic links; the path itself when it
// is no link. Nothing when the chain loops or is too long to follow.
std::optional<fs::path> linkTarget(fs::path path, std::error_code &ec)
{
    // As many links as the system itself follows before it gives up (ELOOP).
    constexpr int kMostLinks = 40;
    for (int followed = 0; followed <= kMostLinks; ++followed) {
        if (!fs::is_symlink(fs::symlink_status(path, ec)))
            return path;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec)
            return std::nullopt;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return std::nullopt;
}

constexpr std::size_t kHexDigits = 12;

// Whether a folder entry is a temporary file of a write of fileName: the name, a period, twelve
// hex digits and ".tmp", and nothing else.
bool isTemporaryOf(std::string_view entry, std::string_view fileName)
{
    constexpr std::string_view kSuffix = ".tmp";
    if (entry.size() != fileName.size() + 1 + kHexDigits + kSuffix.size()
        || entry.substr(0, fileName.size()) != fileName || entry[fileName.size()] != '.'
        || entry.substr(entry.size() - kSuffix.size()) != kSuffix)
        return false;
    const std::string_view hex = entry.substr(fileName.size() + 1, kHexDigits);
    return hex.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The temporary files that killed writes left in a folder, by the name of the file they were
// to replace, as the folder showed them when this process first wrote there. A folder is read
// once: reading one of many thousand pictures again for each of them would cost more than the
// writes themselves, and a write killed meanwhile is found by the next program run.
class Leftovers
{
public:
    std::vector<std::string> takeFor(const fs::path &target)
    {
        const std::string folder = target.parent_path().string();
        const std::string name = target.filename().string();
        const std::lock_guard guard(mutex);
        auto [place, fresh] = byFolder.try_emplace(folder);
        if (fresh)
            place->second = read(target.parent_path());
        std::vector<std::string> found;
        auto &names = place->second;
        for (auto it = names.begin(); it != names.end();) {
            if (isTemporaryOf(*it, name)) {
                found.push_back(*it);
                it = names.erase(it);
            } else {
                ++it;
            }
        }
        return found;
    }

private:
    static std::vector<std::string> read(const fs::path &folder)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
             !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > 1 + kHexDigits + 4 && name.ends_with(".tmp"))
                names.push_back(name);
        }
        return names;
    }

    std::mutex mutex;
    std::map<std::string, std::vector<std::string>> byFolder;
};

Leftovers leftovers;

// A write in progress holds a lock on its temporary file, so a leftover that can be locked
// belongs to no living write and goes; one that cannot is somebody's write still running.
void removeIfAbandoned(const fs::path &file)
{
    FileSystem &files = currentFileSystem();
    OpenFile leftover;
    int fd = -1;
    if (files.open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0, fd) != 0)
        return;
    leftover.adopt(fd);

    struct stat status
    {};

    struct flock whole
    {};

    whole.l_type = F_RDLCK;
    whole.l_whence = SEEK_SET;
    if (files.fstat(fd, status) == 0 && S_ISREG(status.st_mode) && files.lock(fd, whole) == 0)
        files.unlink(file.c_str()); // best effort: a leftover that stays harms nothing
}

bool isRefusedUnnamedFile(int failure)
{
    return failure == EOPNOTSUPP || failure == EISDIR || failure == EINVAL;
}

// One replacement of a file's content: the bytes go into a new file in the same folder, are on
// the disk before that file takes the old one's name in one rename, and the folder is flushed
// so that the rename survives a power cut. The new file has no name until it is complete where
// the file system allows (O_TMPFILE): a write killed half way then leaves nothing behind.
class Replacement
{
public:
    Replacement(const std::string &shownPath, const fs::path &targetFile,
        std::optional<mode_t> oldMode, std::string &failureReason)
        : path(shownPath), target(targetFile), keptMode(oldMode), reason(failureReason)
    {}

    bool run(std::string_view bytes)
    {
        const fs::path folderPath = folderName();
        int fd = -1;
        if (const int failure =
                files.open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, fd))
            return fail("cannot write " + path + ": ", failure);
        folder.adopt(fd);
        for (const std::string &name : leftovers.takeFor(target))
            removeIfAbandoned(folderPath / name);

        if (!create())
            return false;

        // Nothing that cleans up leftovers takes the file away while this write holds the lock;
        // a file system without locks still gets the file written.
        struct flock whole
        {};

        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        files.lock(file.get(), whole);
        // Best effort: a file system without permission bits cannot keep them, which is no
        // reason to lose the new content.
        if (keptMode)
            files.fchmod(file.get(), *keptMode & 07777);
        if (const int failure = writeAll(bytes))
            return fail("cannot write " + path + ": ", failure);
        if (const int failure = files.fsync(file.get()))
            return fail("cannot write " + path + ": ", failure);
        if (!temporaryNamed && !nameUnnamed())
            return false;
        if (const int failure = files.rename(temporary.c_str(), target.c_str()))
            return fail("cannot replace " + path + ": ", failure);
        temporary.clear();
        file.close(); // flushed already; what close says changes nothing
        // Some file systems cannot flush a folder (EINVAL) and keep their renames anyway.
        const int failure = files.fsync(folder.get());
        if (failure && failure != EINVAL)
            return fail(
                path + " was replaced, but the folder could not be flushed to the disk: ", failure);
        return true;
    }

private:
    bool create()
    {
        int fd = -1;
        int failure = files.open(folderName().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666, fd);
        if (failure == 0) {
            file.adopt(fd);
            return true;
        }
        if (!isRefusedUnnamedFile(failure))
            return fail("cannot create a new file beside " + path + ": ", failure);
        // A named file when the file system has no unnamed ones.
        for (int attempt = 0; attempt < 8; ++attempt) {
            const fs::path candidate = fromUtf8(temporarySibling(target.string()));
            failure =
                files.open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666, fd);
            if (failure == EEXIST)
                continue;
            if (failure)
                return fail("cannot create " + candidate.string() + ": ", failure);
            file.adopt(fd);
            temporary = candidate;
            temporaryNamed = true;
            return true;
        }
        return fail("cannot create a new file beside " + path + ": ", EEXIST);
    }

    std::string folderName() const
    {
        return (target.has_parent_path() ? target.parent_path() : fs::path(".")).string();
    }

    // Gives the complete unnamed file a temporary name beside the target, from which it is
    // renamed; a direct link onto the target is impossible while the old file holds the name.
    bool nameUnnamed()
    {
        const std::string self = "/proc/self/fd/" + std::to_string(file.get());
        for (int attempt = 0; attempt < 8; ++attempt) {
            const fs::path candidate = fromUtf8(temporarySibling(target.string()));
            int failure = files.linkat(
                AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW);
            // Without /proc the descriptor itself is linked, which needs a privilege or a
            // recent kernel.
            if (failure == ENOENT)
                failure = files.linkat(file.get(), "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH);
            if (failure == EEXIST)
                continue;
            if (failure)
                return fail("cannot create " + candidate.string() + ": ", failure);
            temporary = candidate;
            return true;
        }
        return fail("cannot create a new file beside " + path + ": ", EEXIST);
    }

    // Goes on after a short write: the first one can stop at a size limit or a full disk, and
    // only the next one says why.
    int writeAll(std::string_view bytes)
    {
        while (!bytes.empty()) {
            std::size_t written = 0;
            if (const int failure = files.write(file.get(), bytes.data(), bytes.size(), written))
                return failure;
            if (written == 0)
                return EIO;
            bytes.remove_prefix(written);
        }
        return 0;
    }

    bool fail(const std::string &what, int failure)
    {
        reason = what + systemErrorText(failure);
        if (!temporary.empty())
            files.unlink(temporary.c_str()); // nothing more can be done about a leftover
        return false;
    }

    FileSystem &files = currentFileSystem();
    const std::string &path;
    const fs::path target;
    const std::optional<mode_t> keptMode;
    std::string &reason;
    OpenFile folder, file;
    fs::path temporary; // the name the new file has until the rename, if any
    bool temporaryNamed = false;
};

} // namespace

bool replace(const std::string &path, std::string_view bytes, std::string &reason)
{
    std::error_code ec;
    // A link stays a link: the file it names is what gets replaced, beside that file.
    const std::optional<fs::path> resolved = linkTarget(fromUtf8(path), ec);
    if (!resolved) {
        reason = "cannot follow the link " + path + ": " + ec.message();
        return false;
    }
    const fs::path target = *resolved;
    // Any failure to look at the old file other than its absence shows again, with its
    // reason, when the temporary file is created beside it.
    const fs::file_status old = fs::status(target, ec);
    const bool oldExists = fs::exists(old);
    if (oldExists && !fs::is_regular_file(old)) {
        reason = path + " exists and is not a regular file";
        return false;
    }
    // Renaming would replace a file that its owner protected from writing; refuse as writing
    // into it would have been refused.
    if (oldExists && (old.permissions() & fs::perms::owner_write) == fs::perms::none) {
        reason = path + " is read-only";
        return false;
    }
    const std::optional<mode_t> keptMode =
        oldExists ? std::optional<mode_t>(static_cast<mode_t>(old.permissions())) : std::nullopt;
    return Replacement(path, target, keptMode, reason).run(bytes);
}

std::optional<std::string> readAll(const std::string &path)
{
    const fs::path file = fromUtf8(path);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return std::nullopt;
    return bytes;
}

fs::path fromUtf8(const std::string &utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

} // namespace SafeFile
