#include "core/records/Settings.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/records/SafeFile.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

// The lines of the text without their line ends ("\n" or "\r\n").
std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The section name of a "[name]" line.
std::optional<std::string_view> sectionName(std::string_view line)
{
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    const std::size_t close = text.find(']');
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    return trimmed(text.substr(1, end - 1));
}

struct Entry
{
    std::string_view key;
    std::string_view value;
};

// The key and value of a "key=value" line; comments and lines without "=" have none.
std::optional<Entry> entryOf(std::string_view line)
{
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() == ';' || text.front() == '[')
        return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Entry{trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1))};
}

struct Location
{
    std::optional<std::size_t> sectionLine; // the "[section]" line
    std::size_t sectionEnd = 0; // one past the section's last line
    std::optional<std::size_t> keyLine;
};

Location locate(
    const std::vector<std::string> &lines, std::string_view section, std::string_view key)
{
    Location where;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!where.sectionLine) {
            if (name && sameName(*name, section))
                where.sectionLine = i;
            continue;
        }
        if (name) {
            where.sectionEnd = i;
            return where;
        }
        const auto entry = entryOf(lines[i]);
        if (!where.keyLine && entry && sameName(entry->key, key))
            where.keyLine = i;
    }
    where.sectionEnd = lines.size();
    return where;
}

// The first `count` characters of UTF-8 text; a character's continuation bytes stay with it.
std::string firstCharacters(std::string_view text, std::size_t count)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u;
        if (startsCharacter && characters++ == count)
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}

bool isSafeName(std::string_view name, char forbidden)
{
    const std::string_view text = trimmed(name);
    return !text.empty()
        && text.find_first_of(std::string{'\r', '\n', '\0', forbidden}) == std::string_view::npos;
}

// The new content replaces the file in one rename, in a folder made when missing.
bool replaceFile(const std::string &path, const std::string &text, std::string *reason = nullptr)
{
    const fs::path target = SafeFile::fromUtf8(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    std::string why;
    if (ec)
        why = "cannot create the folder of " + path + ": " + ec.message();
    else if (SafeFile::replace(path, text, why))
        return true;
    if (reason)
        *reason = why;
    return false;
}

} // namespace

namespace Settings {

std::string read(const std::string &iniPath, const std::string &section, const std::string &key)
{
    const auto text = SafeFile::readAll(iniPath);
    return text ? lookUp(*text, section, key) : std::string();
}

std::string lookUp(std::string_view text, const std::string &section, const std::string &key)
{
    const std::vector<std::string> lines = splitLines(text);
    const Location where = locate(lines, trimmed(section), trimmed(key));
    if (!where.keyLine)
        return {};
    return firstCharacters(entryOf(lines[*where.keyLine])->value, kMaxValueCharacters);
}

bool write(const std::string &iniPath, const std::string &section, const std::string &key,
    const std::string &value, std::string *reason)
{
    if (!isSafeName(section, ']') || !isSafeName(key, '=')
        || value.find_first_of(std::string{'\r', '\n', '\0'}) != std::string::npos)
        return false;
    const std::string_view sectionText = trimmed(section);
    const std::string_view keyText = trimmed(key);
    if (keyText.front() == ';' || keyText.front() == '[')
        return false;

    std::string text;
    std::error_code ec;
    const fs::file_status status = fs::status(SafeFile::fromUtf8(iniPath), ec);
    if (fs::exists(status)) {
        auto existing = SafeFile::readAll(iniPath);
        // Writing over a file we could not read would throw away whatever else it holds.
        if (!existing)
            return false;
        text = std::move(*existing);
    } else if (status.type() != fs::file_type::not_found) {
        return false;
    }

    const std::string lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines = splitLines(text);
    const std::string entryLine = std::string(keyText) + "=" + value;
    const Location where = locate(lines, sectionText, keyText);
    if (where.keyLine) {
        lines[*where.keyLine] = entryLine;
    } else if (where.sectionLine) {
        // After the section's last entry, before the blank lines that separate it from the next.
        std::size_t insertAt = where.sectionEnd;
        while (insertAt > *where.sectionLine + 1 && trimmed(lines[insertAt - 1]).empty())
            --insertAt;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entryLine);
    } else {
        lines.push_back("[" + std::string(sectionText) + "]");
        lines.push_back(entryLine);
    }

    std::string newText;
    for (const std::string &line : lines)
        newText += line + lineEnd;
    return replaceFile(iniPath, newText, reason);
}

} // namespace Settings

namespace {

bool isSafeKey(std::string_view key)
{
    const std::string_view text = trimmed(key);
    return isSafeName(key, '=') && text.front() != ';' && text.front() != '[';
}

bool isSafeValue(std::string_view value)
{
    return value.find_first_of(std::string{'\r', '\n', '\0'}) == std::string_view::npos;
}

// The file's text, empty when there is no file yet; nothing when something is there that cannot
// be read, which must then not be written over.
std::optional<std::string> textToChange(const std::string &iniPath)
{
    std::error_code ec;
    const fs::file_status status = fs::status(SafeFile::fromUtf8(iniPath), ec);
    if (fs::exists(status))
        return SafeFile::readAll(iniPath);
    if (status.type() != fs::file_type::not_found)
        return std::nullopt;
    return std::string();
}

} // namespace

namespace Settings {

std::vector<KeyValue> readSection(const std::string &iniPath, const std::string &section)
{
    const auto text = SafeFile::readAll(iniPath);
    if (!text)
        return {};
    const std::vector<std::string> lines = splitLines(*text);
    const Location where = locate(lines, trimmed(section), {});
    std::vector<KeyValue> entries;
    if (!where.sectionLine)
        return entries;
    for (std::size_t i = *where.sectionLine + 1; i < where.sectionEnd; ++i) {
        if (const auto entry = entryOf(lines[i]))
            entries.push_back({std::string(entry->key), std::string(entry->value)});
    }
    return entries;
}

bool writeSection(
    const std::string &iniPath, const std::string &section, const std::vector<KeyValue> &entries)
{
    if (!isSafeName(section, ']'))
        return false;
    for (const KeyValue &entry : entries) {
        if (!isSafeKey(entry.key) || !isSafeValue(entry.value))
            return false;
    }
    const auto text = textToChange(iniPath);
    if (!text)
        return false;

    const std::string lineEnd = text->find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines = splitLines(*text);
    std::vector<std::string> entryLines;
    for (const KeyValue &entry : entries)
        entryLines.push_back(std::string(trimmed(entry.key)) + "=" + entry.value);

    const std::string_view sectionText = trimmed(section);
    const Location where = locate(lines, sectionText, {});
    if (where.sectionLine) {
        // The blank lines that separate the section from the next one stay.
        std::size_t end = where.sectionEnd;
        while (end > *where.sectionLine + 1 && trimmed(lines[end - 1]).empty())
            --end;
        const auto first =
            static_cast<std::ptrdiff_t>(*where.sectionLine + (entries.empty() ? 0 : 1));
        lines.erase(lines.begin() + first, lines.begin() + static_cast<std::ptrdiff_t>(end));
        lines.insert(lines.begin() + first, entryLines.begin(), entryLines.end());
    } else if (entries.empty()) {
        return true; // nothing to take out
    } else {
        lines.push_back("[" + std::string(sectionText) + "]");
        lines.insert(lines.end(), entryLines.begin(), entryLines.end());
    }

    std::string newText;
    for (const std::string &line : lines)
        newText += line + lineEnd;
    return replaceFile(iniPath, newText);
}

} // namespace Settings
