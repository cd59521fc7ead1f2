// Any bytes as a result file: reading, building the series and the CSV must neither crash nor
// hang, and what is read must point at lines that exist, in the file's order.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/series/SeriesCsv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    SeriesFile file;
    file.path = "fuzz.dat";
    file.contents = ResultFileReader::parse(bytes);
    const auto lines = static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    int previous = 0;
    for (const ResultEntry &e : file.contents.entries) {
        // A block is 13 lines, all of them in the file.
        if (e.line <= previous || e.line + 12 > lines)
            std::abort();
        previous = e.line;
    }
    for (const ReadProblem &p : file.contents.problems)
        if (p.line < 0 || p.line > lines + 1)
            std::abort();
    file.series = SeriesBuilder::build(file.contents.entries);
    std::size_t points = 0;
    for (const Series &s : file.series)
        points += s.points.size();
    const auto current = static_cast<std::size_t>(std::count_if(file.contents.entries.begin(),
        file.contents.entries.end(), [](const ResultEntry &e) { return e.current; }));
    // Every current block is in exactly one series.
    if (points != current)
        std::abort();
    if (SeriesCsv::format({file}).empty())
        std::abort();
    return 0;
}
