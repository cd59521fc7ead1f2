#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The pictures opened last, most recent first, kept in the settings file in a section of their
// own ("[RecentPictures]" with "File1=..." up to "File8=...") beside the other entries.
namespace RecentPictures {

inline constexpr const char *kSection = "RecentPictures";
inline constexpr std::size_t kMaxEntries = 8;

// The list as the settings file holds it: File1, File2, ... in that order, without empty values
// or repeats, at most kMaxEntries. Empty when the file or the section is missing.
std::vector<std::string> read(const std::string &iniPath);

// The list after path was opened: path first, its earlier place dropped, cut to kMaxEntries.
std::vector<std::string> withOpened(std::vector<std::string> list, const std::string &path);

// Puts the list into the settings file, replacing the section whole and leaving every other
// section as it was (an empty list takes the section out). False, with the file unchanged, when
// it cannot be written or a path cannot be stored on one line.
bool write(const std::string &iniPath, const std::vector<std::string> &list);

} // namespace RecentPictures
