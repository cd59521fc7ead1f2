#include "SeriesAnchors.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "Timing.h"
#include "core/evaluation/ResultFile.h"
#include "core/records/CodePage.h"
#include "core/series/Series.h"

namespace {

constexpr int kStudyBlocks = 10000;
constexpr int kHips = 400;

const char *const kAnchorName = "series-10000.dat";

bool writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Loads the file and checks that it was read whole, so that a timing never stands for a
// reader that gave up early.
void loadWhole(const std::string &path, int blocks)
{
    SeriesFile file;
    std::string error;
    if (!SeriesBuilder::load(path, file, error))
        throw std::runtime_error(path + ": " + error);
    if (!file.contents.problems.empty()
        || file.contents.entries.size() != static_cast<std::size_t>(blocks))
        throw std::runtime_error(path + ": not every block was read");
    benchmark::DoNotOptimize(file.series.data());
}

void BM_SeriesRead(benchmark::State &state)
{
    const int blocks = kStudyBlocks;
    const std::filesystem::path path = std::filesystem::temp_directory_path()
        / ("oxel-bench-series-" + std::to_string(::getpid()) + ".dat");
    if (!writeFile(path.string(), syntheticResultFile(blocks))) {
        state.SkipWithError("cannot write the result file");
        return;
    }
    for (auto _ : state)
        loadWhole(path.string(), blocks);
    state.SetBytesProcessed(
        state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}

// The reported Time is the wall time, which includes the reading of the file (from the page
// cache once the first run has read it).
BENCHMARK(BM_SeriesRead)->Name("series.read.10000")->Unit(benchmark::kMillisecond);

} // namespace

std::string syntheticResultFile(int blocks)
{
    std::string bytes;
    ResultBlock b;
    b.fileName = "C:\\Studie\\H\xC3\xBC"
                 "ftstudie.dat";
    for (int i = 0; i < blocks; ++i) {
        const int hip = i % kHips, visit = i / kHips, patient = hip / 2;
        // Now and then a radiograph of the visit before is evaluated again.
        const int radiograph = visit > 0 && i % 40 == 39 ? visit - 1 : visit;
        b.date = {2000 + visit / 2, 1 + visit % 12, 1 + hip % 28};
        b.famname =
            "Patient " + std::to_string(patient) + (patient % 3 == 0 ? ", J\xC3\xBCrgen" : "");
        b.vorname = patient % 2 == 0 ? "Anna" : "Bj\xC3\xB6rn";
        b.code = "S" + std::to_string(1000 + patient);
        char datum[16];
        std::snprintf(datum, sizeof datum, "%04d%02d%02d", 2000 + radiograph / 2,
            1 + (radiograph % 2) * 6, 1 + hip % 28);
        b.datum = datum;
        b.sideLeft = hip % 2 == 0;
        const double drift = 0.013 * visit + 0.001 * hip;
        b.head = {hip % 7 != 0, 11.25 + drift, 30.5 - drift / 3, 101.375 + drift};
        b.cup = {true, 14.0 / 3.0 + drift, 27.125 - drift / 7, 99.0 + drift};
        b.inclination = 42.5 + drift;
        if (hip % 5 != 0)
            b.rim = Calc::RimOrientation{12.0 + drift, 12.0 + drift, 31.0 - drift, "-", "+"};
        else
            b.rim.reset();
        b.grid = {12.5, -3.25 + drift, 7.0 / 9.0, 1e-5, 44.0, -2.0 / 3.0};
        b.typ = static_cast<std::int16_t>(visit == 7 && hip % 10 == 0 ? 7 : 2);
        b.slFlag = b.typ == 7;
        if (hip % 11 != 0)
            b.wear = WearVector{0.011 * visit, 0.017 * visit};
        else
            b.wear.reset();
        b.radiofactor = 1.1 + 0.0001 * hip;
        bytes += CodePage::toWindows1252(ResultFile::formatBlock(b));
    }
    return bytes;
}

int writeSeriesAnchors(const std::string &dir)
{
    const std::string path = dir + "/" + kAnchorName;
    if (!writeFile(path, syntheticResultFile(kStudyBlocks))) {
        std::cerr << "oxel_bench: cannot write " << path << '\n';
        return 1;
    }
    return 0;
}

int runSeriesAnchors(const std::string &dir)
{
    const std::string path = dir + "/" + kAnchorName;
    try {
        const double ms = medianMilliseconds([&path] { loadWhole(path, kStudyBlocks); });
        std::printf("TEAM|series.read.10000|%.3f|oxel SeriesBuilder::load: a result file of "
                    "10,000 blocks read from the disk and built into series\n",
            ms);
        std::fflush(stdout);
    } catch (const std::exception &e) {
        std::cerr << "oxel_bench: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
