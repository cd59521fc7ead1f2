#include "core/records/SafeFile.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <random>
#include <system_error>

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
    const std::string targetPath = resolved->string();
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

    std::string temporaryPath = temporarySibling(targetPath);
    for (int attempt = 0; attempt < 8 && fs::exists(fromUtf8(temporaryPath), ec); ++attempt)
        temporaryPath = temporarySibling(targetPath);
    const fs::path temporary = fromUtf8(temporaryPath);

    const auto discardTemporary = [&temporary] {
        std::error_code ignored; // nothing more can be done about a leftover temporary file
        fs::remove(temporary, ignored);
    };

    errno = 0;
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) {
        reason = "cannot create " + temporaryPath + ": " + systemErrorText(errno);
        return false;
    }
    errno = 0;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.flush();
    const int writeError = errno;
    file.close();
    if (!file) {
        reason = "cannot write " + temporaryPath + ": " + systemErrorText(writeError);
        discardTemporary();
        return false;
    }

    if (oldExists) {
        // Best effort: a file system without permission bits cannot keep them, which is no
        // reason to lose the new content.
        std::error_code permissionsError;
        fs::permissions(temporary, old.permissions(), permissionsError);
    }

    fs::rename(temporary, target, ec);
    if (ec) {
        reason = "cannot replace " + path + ": " + ec.message();
        discardTemporary();
        return false;
    }
    return true;
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
