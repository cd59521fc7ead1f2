// Speed of a change of window on a DICOM radiograph: building the grey mapping for the choice
// and refilling the 8-bit pixel buffer from the kept values.
//
//   oxel_dicom_bench [Google Benchmark flags]
//
// The picture is a 3000 x 3000 DX of 12 bits stored in 16, written in memory with the tests'
// DICOM writer and read once; each run alternates between two mappings of one kind, so that
// every run rebuilds its table and rewrites every pixel.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/GreyMapping.h"
#include "support/DicomWriter.h"

namespace {

constexpr int kSide = 3000;

// Soft anatomy over a gradient with grain, 12 bits deep.
DicomPixels radiograph()
{
    DicomPixels p;
    p.width = p.height = kSide;
    p.bitsStored = 12;
    p.values.reserve(static_cast<std::size_t>(kSide) * kSide);
    std::mt19937 noise(7);
    std::normal_distribution<double> grain(0.0, 40.0);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const double u = x / double(kSide), v = y / double(kSide);
            double level = 600 + 1200 * v + 300 * std::sin(6 * u);
            const double bone = std::pow((u - 0.5) / 0.4, 2) + std::pow((v - 0.4) / 0.25, 2);
            if (bone < 1)
                level += 1500 * (1 - bone);
            level += grain(noise);
            p.values.push_back(static_cast<int>(std::clamp(level, 0.0, 4095.0)));
        }
    return p;
}

struct Loaded
{
    std::unique_ptr<DicomPicture> picture;
    CBitmap bitmap;
};

Loaded &loaded()
{
    static Loaded once = [] {
        const std::string file = writeDicom(radiograph(),
            {dicomText(0x0028, 0x1050, "DS", "2000\\1500"),
                dicomText(0x0028, 0x1051, "DS", "3000\\1000")});
        Loaded l;
        std::string error;
        l.picture = DicomPicture::read(reinterpret_cast<const std::uint8_t *>(file.data()),
            file.size(), error, std::uint64_t{8} << 30);
        if (!l.picture)
            throw std::runtime_error(error);
        const GreyMapping first(*l.picture, GreyMapping::defaultChoice(*l.picture));
        if (!first.show(*l.picture, l.bitmap, error))
            throw std::runtime_error(error);
        return l;
    }();
    return once;
}

// Two choices of each kind, captioned by what the benchmark names.
std::vector<GreyMapping::Choice> choicesOfKind(const DicomPicture &picture, int kind)
{
    switch (kind) {
    case 0:
        return {GreyMapping::window(2000, 3000), GreyMapping::window(1500, 1000)};
    case 1:
        return {GreyMapping::window(2000, 3000, DicomHeader::VoiFunction::Sigmoid),
            GreyMapping::window(1500, 1000, DicomHeader::VoiFunction::Sigmoid)};
    default: {
        const auto all = GreyMapping::choices(picture);
        return {all[all.size() - 2], all[all.size() - 1]}; // Full range, Automatic
    }
    }
}

void BM_WindowChange(benchmark::State &state)
{
    Loaded &l = loaded();
    const auto choices = choicesOfKind(*l.picture, static_cast<int>(state.range(0)));
    std::size_t next = 0;
    std::string error;
    for (auto _ : state) {
        const GreyMapping mapping(*l.picture, choices[next]);
        if (!mapping.show(*l.picture, l.bitmap, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(l.bitmap.pixels());
        next ^= 1;
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

BENCHMARK(BM_WindowChange)
    ->ArgName("linear0_sigmoid1_range2")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
