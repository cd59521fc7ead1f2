#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Writing files so that a failure never leaves a damaged one behind.
namespace SafeFile {

// The path of a UTF-8 file name, whatever the locale.
std::filesystem::path fromUtf8(const std::string &utf8);

// The whole content of a regular file; nothing when it is missing, not a regular file (a
// folder, a device) or cannot be read.
std::optional<std::string> readAll(const std::string &path);

// Writes bytes to a new file beside path and renames it over path, keeping the old file's
// permissions; true only once the new content and its name are on the disk. On any failure the
// new file is removed, path is as it was (or, when only the folder could not be flushed, holds
// the whole new content), and reason names the file and the system's reason. Temporary files
// "<name>.<12 hex digits>.tmp" that killed writes of the same file left are removed first.
// An existing file that is not a regular file or that its owner protected from writing is not
// replaced. When path is a symbolic link (or a chain of them), the file it names is replaced
// and the link stays as it was.
bool replace(const std::string &path, std::string_view bytes, std::string &reason);

} // namespace SafeFile
