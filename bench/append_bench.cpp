// Speed of appending one block to a result file that already holds 0, 50,000 or 100,000
// blocks: an append neither reads nor copies what is there, so the three take the same time.
// Each append is flushed to the disk, which on most disks is the larger part of its time; the
// file lies in the temporary folder (TMPDIR), and on a tmpfs only the program's own part is timed.
//
//   oxel_append_bench [Google Benchmark flags]

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "core/evaluation/ResultFile.h"
#include "core/records/CodePage.h"

namespace {

// A block as an evaluation writes it, about 700 bytes.
std::string sampleBlock()
{
    ResultBlock block;
    block.fileName = "patient.dat";
    block.date = {2026, 12, 8};
    block.famname = "Bench";
    block.vorname = "Mark";
    block.code = "B-000001";
    block.datum = "20240115";
    block.sideLeft = true;
    block.head = {true, 12.5, 3.25, 0.5};
    block.cup = {true, 11.75, 2.5, 0.25};
    block.inclination = 42.125;
    block.rim = Calc::RimOrientation{17.25, 30.5, 12.75, "-", "+"};
    block.grid = {1.5, 2.5, 3.5, 4.5, 5.5, 6.5};
    block.typ = 4;
    block.wear = WearVector{0.125, 0.25};
    block.radiofactor = 1.1875;
    return CodePage::toWindows1252(ResultFile::formatBlock(block));
}

void AppendToResultFile(benchmark::State &state)
{
    const std::string block = sampleBlock();
    const std::filesystem::path path = std::filesystem::temp_directory_path()
        / ("oxel-append-bench-" + std::to_string(::getpid()) + ".dat");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (std::int64_t i = 0; i < state.range(0); ++i)
            out << block;
    }
    std::string error;
    for (auto _ : state) {
        if (!ResultFile::append(path.string(), block, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["blocks before"] = static_cast<double>(state.range(0));
    std::filesystem::remove(path);
}

BENCHMARK(AppendToResultFile)
    ->Arg(0)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
