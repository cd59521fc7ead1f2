#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The settings file: a small ini text that remembers values from one run to the next, such as
// the picture opened last ("[LastPath]" with "Path=..."). Sections and keys match without
// regard to ASCII case; blanks around names and values do not count; lines starting with ";"
// are comments. The first matching section and key win. Values are stored as UTF-8, as given.
namespace Settings {

inline constexpr const char *kSettingsFileName = "Zek2.ini";
inline constexpr const char *kLastPathSection = "LastPath";
inline constexpr const char *kLastPathKey = "Path";
// Values come back cut to this many characters.
inline constexpr std::size_t kMaxValueCharacters = 255;

// The value of key in section, cut to its first kMaxValueCharacters characters (UTF-8 code
// points, never half a character). Empty when the file, the section or the key is missing or
// the file cannot be read.
std::string read(const std::string &iniPath, const std::string &section, const std::string &key);
// The same lookup in the file's text already in memory.
std::string lookUp(std::string_view text, const std::string &section, const std::string &key);

// Sets key in section to value, keeping every other section, key and comment of the file, and
// creating the file and its folder when missing. The new content replaces the file in one
// rename, so a failure leaves the old file intact. False, with nothing changed, when the file
// cannot be read or written, or when section, key or value would break the file's lines
// (a line break or NUL anywhere, "]" in the section, "=" in the key, an empty name). When the
// file cannot be written, `reason` (if given) names the file and the system's reason.
bool write(const std::string &iniPath, const std::string &section, const std::string &key,
    const std::string &value, std::string *reason = nullptr);

struct KeyValue
{
    std::string key;
    std::string value;
};

// The entries of the first section of that name, in file order, with their values whole (not
// cut); comments and lines without "=" are left out. Empty when the file or the section is
// missing or the file cannot be read.
std::vector<KeyValue> readSection(const std::string &iniPath, const std::string &section);

// Makes the first section of that name hold exactly entries, in their order, keeping every other
// section of the file as it is; the section is added at the end when missing, and taken out when
// entries is empty. Whatever else stood in the section (comments too) is replaced. The same
// atomic replacement and the same refusals as write, for every key and value.
bool writeSection(
    const std::string &iniPath, const std::string &section, const std::vector<KeyValue> &entries);

} // namespace Settings
