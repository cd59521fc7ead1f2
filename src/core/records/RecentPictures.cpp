#include "core/records/RecentPictures.h"

#include <algorithm>

#include "core/records/Settings.h"

namespace {

std::string keyOf(std::size_t place)
{
    return "File" + std::to_string(place + 1);
}

bool sameKey(const std::string &a, const std::string &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

namespace RecentPictures {

std::vector<std::string> read(const std::string &iniPath)
{
    const std::vector<Settings::KeyValue> entries = Settings::readSection(iniPath, kSection);
    std::vector<std::string> list;
    // By key rather than by line, so that a hand-edited section keeps its numbering.
    for (std::size_t place = 0; place < kMaxEntries; ++place) {
        const auto entry = std::find_if(entries.begin(), entries.end(),
            [key = keyOf(place)](const Settings::KeyValue &e) { return sameKey(e.key, key); });
        if (entry == entries.end() || entry->value.empty())
            continue;
        if (std::find(list.begin(), list.end(), entry->value) == list.end())
            list.push_back(entry->value);
    }
    return list;
}

std::vector<std::string> withOpened(std::vector<std::string> list, const std::string &path)
{
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > kMaxEntries)
        list.resize(kMaxEntries);
    return list;
}

bool write(const std::string &iniPath, const std::vector<std::string> &list)
{
    std::vector<Settings::KeyValue> entries;
    for (std::size_t place = 0; place < list.size() && place < kMaxEntries; ++place)
        entries.push_back({keyOf(place), list[place]});
    return Settings::writeSection(iniPath, kSection, entries);
}

} // namespace RecentPictures
