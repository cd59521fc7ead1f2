// Speed of the pixel buffer: sharpening, undo, the colour table and loading.
//
//   oxel_bench [Google Benchmark flags]   the benchmarks on synthetic radiographs
//   oxel_bench --anchors DIR              times the anchor pictures radiograph-<W>x<H>.bmp (8-bit
//                                         grey) in DIR: one warm-up, median of 7 runs, one line
//                                         "TEAM|<key>|<median ms>|<label>" per figure
//   oxel_bench --write-anchors DIR        writes synthetic anchor pictures into DIR
//
// With --anchors it also times the window's side: repaints of a 1600 x 1000 view of
// radiograph-8192x6144.bmp at zoom 0.25, 1, 4 and 8, a colour change, and opening
// grey-4096x4096.jpg, colour-4096x4096.jpg, grey8-4096x4096.bmp and grey-4096x4096.gif, and
// the DICOM radiographs dx-raw16-3000x3000.dcm and dx-j2k-3000x3000.dcm (16-bit, uncompressed
// and JPEG 2000 lossless) against the decoding library's own read of them, and reading the
// result file series-10000.dat into series and showing it in the follow-up window, and in a
// main window on radiograph-8192x6144.bmp the repaints while points are entered and dragged,
// and snapping one clicked point to the outline of a synthetic disc (snap.point), and one exact
// evaluation of a clicked hip (exact.evaluation).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>

#include <benchmark/benchmark.h>

#include "../tests/support/CentralProjection.h"
#include "DicomAnchors.h"
#include "EntryAnchors.h"
#include "FollowUpAnchors.h"
#include "SeriesAnchors.h"
#include "SyntheticRadiograph.h"
#include "Timing.h"
#include "ViewAnchors.h"
#include "core/evaluation/ExactEvaluation.h"
#include "core/image/CBitmap.h"
#include "core/image/EdgeSnap.h"
#include "core/image/Global.h"
#include "core/model/COxel.h"

namespace {

struct Size
{
    int width, height;
};

constexpr Size kSizes[] = {{2048, 2048}, {4096, 4096}, {8192, 6144}};

std::vector<std::uint8_t> toBgr(const std::vector<std::uint8_t> &grey)
{
    std::vector<std::uint8_t> bgr(grey.size() * 3);
    for (std::size_t i = 0; i < grey.size(); ++i)
        bgr[3 * i] = bgr[3 * i + 1] = bgr[3 * i + 2] = grey[i];
    return bgr;
}

// One loaded bitmap per size, made once: building the pictures takes longer than the runs.
CBitmap &bitmapOf(int width, int height)
{
    static std::map<std::pair<int, int>, CBitmap> cache;
    auto it = cache.find({width, height});
    if (it == cache.end()) {
        const auto bgr = toBgr(syntheticRadiograph(width, height));
        CBitmap bitmap;
        std::string error;
        if (!bitmap.init(bgr.data(), width, height, static_cast<std::size_t>(3 * width), error))
            throw std::runtime_error(error);
        it = cache.emplace(std::pair{width, height}, std::move(bitmap)).first;
    }
    return it->second;
}

void BM_Sharpen(benchmark::State &state)
{
    CBitmap &b = bitmapOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const Kernel &kernel = *Global::SharpenKernel(static_cast<int>(state.range(2)));
    for (auto _ : state) {
        b.Filter(kernel);
        benchmark::DoNotOptimize(b.pixels());
    }
    b.UndoFilter();
    state.SetBytesProcessed(state.iterations() * b.W * b.H);
}

void BM_Undo(benchmark::State &state)
{
    CBitmap &b = bitmapOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    b.Filter(*Global::SharpenKernel(1));
    for (auto _ : state) {
        b.UndoFilter();
        benchmark::DoNotOptimize(b.pixels());
    }
    state.SetBytesProcessed(state.iterations() * b.W * b.H);
}

void BM_CreateColors(benchmark::State &state)
{
    CBitmap &b = bitmapOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        b.ColorOffset = static_cast<std::int16_t>(b.ColorOffset == 0 ? 7 : 0);
        b.CreateColors();
        benchmark::DoNotOptimize(b.colorTable());
    }
}

void BM_Init(benchmark::State &state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto bgr = toBgr(syntheticRadiograph(width, height));
    for (auto _ : state) {
        CBitmap b;
        std::string error;
        b.init(bgr.data(), width, height, static_cast<std::size_t>(3 * width), error);
        benchmark::DoNotOptimize(b.pixels());
    }
    state.SetBytesProcessed(state.iterations() * width * height);
}

void sizes(benchmark::internal::Benchmark *b)
{
    for (const Size s : kSizes)
        b->Args({s.width, s.height});
}

void sizesAndLevels(benchmark::internal::Benchmark *b)
{
    for (const Size s : kSizes)
        for (int level = 1; level <= 3; ++level)
            b->Args({s.width, s.height, level});
}

BENCHMARK(BM_Sharpen)->Apply(sizesAndLevels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Undo)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateColors)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Init)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- anchors -----------------------------------------------------------------------------

std::uint32_t le32(const std::vector<std::uint8_t> &b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// An 8-bit palette bitmap as 24-bit rows, top row first; the palette's blue is the grey level.
bool readGreyBmp(const std::string &path, int &width, int &height, std::vector<std::uint8_t> &bgr)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b(
        (std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || (b[28] | b[29] << 8) != 8)
        return false;
    const std::uint32_t offset = le32(b, 10), headerSize = le32(b, 14);
    width = static_cast<int>(le32(b, 18));
    const auto rawHeight = static_cast<std::int32_t>(le32(b, 22));
    height = rawHeight < 0 ? -rawHeight : rawHeight;
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    if (width <= 0 || b.size() < offset + stride * static_cast<std::size_t>(height))
        return false;
    const std::size_t palette = 14 + headerSize;
    bgr.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    for (int y = 0; y < height; ++y) {
        const int stored = rawHeight < 0 ? y : height - 1 - y;
        const std::uint8_t *row = &b[offset + static_cast<std::size_t>(stored) * stride];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                        + static_cast<std::size_t>(x))
                        * 3
                    + static_cast<std::size_t>(c)] =
                    b[palette + 4u * row[x] + static_cast<std::size_t>(c)];
    }
    return true;
}

bool writeGreyBmp(
    const std::string &path, int width, int height, const std::vector<std::uint8_t> &grey)
{
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) + 3) & ~3u;
    const std::uint32_t offset = 14 + 40 + 1024,
                        size = offset + stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> b(size, 0);
    const auto put32 = [&b](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, size), put32(10, offset), put32(14, 40), put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height)), b[26] = 1, b[28] = 8, put32(46, 256);
    for (std::uint32_t i = 0; i < 256; ++i)
        b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = static_cast<std::uint8_t>(i);
    for (int y = 0; y < height; ++y)
        std::memcpy(&b[offset + static_cast<std::size_t>(height - 1 - y) * stride],
            &grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)],
            static_cast<std::size_t>(width));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

int runAnchors(const std::string &dir)
{
    int status = 0;
    for (const Size s : kSizes) {
        const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
        const std::string path = dir + "/radiograph-" + size + ".bmp";
        int width = 0, height = 0;
        std::vector<std::uint8_t> bgr;
        if (!readGreyBmp(path, width, height, bgr)) {
            std::cerr << "oxel_bench: cannot read " << path << " as an 8-bit grey bitmap\n";
            status = 1;
            continue;
        }
        CBitmap b;
        std::string error;
        if (!b.init(bgr.data(), width, height, static_cast<std::size_t>(3 * width), error)) {
            std::cerr << "oxel_bench: " << path << ": " << error << '\n';
            status = 1;
            continue;
        }
        bgr.clear();
        bgr.shrink_to_fit();
        for (int level = 1; level <= 3; ++level) {
            const Kernel &k = *Global::SharpenKernel(level);
            const double ms = medianMilliseconds([&] { b.Filter(k); });
            std::printf("TEAM|sharpen.L%d.%s|%.3f|oxel CBitmap::Filter level %d, exact integer "
                        "arithmetic\n",
                level, size.c_str(), ms, level);
        }
        const double undo = medianMilliseconds([&] { b.UndoFilter(); });
        std::printf("TEAM|undo.%s|%.3f|oxel CBitmap::UndoFilter\n", size.c_str(), undo);
        std::fflush(stdout);
    }
    return status;
}

int writeAnchors(const std::string &dir)
{
    for (const Size s : kSizes) {
        const std::string path = dir + "/radiograph-" + std::to_string(s.width) + "x"
            + std::to_string(s.height) + ".bmp";
        if (!writeGreyBmp(path, s.width, s.height, syntheticRadiograph(s.width, s.height))) {
            std::cerr << "oxel_bench: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}

// --- edge snapping ---------------------------------------------------------------------------

// A bright disc of radius 80 around (128, 128), blurred by 1.5 px, on noise of 3 levels, and
// clicks scattered 3 px across its outline all round.
struct SnapScene
{
    std::vector<std::uint8_t> grey;
    std::vector<std::pair<double, double>> clicks;
    static constexpr int kSide = 256;
    static constexpr double kCentre = 128.0, kRadius = 80.0;

    SnapScene() : grey(static_cast<std::size_t>(kSide * kSide))
    {
        std::uint32_t state = 12345;
        const auto noise = [&state] {
            double sum = 0.0; // the sum of 12 uniforms: close enough to normal for a timing
            for (int i = 0; i < 12; ++i) {
                state = state * 1664525u + 1013904223u;
                sum += state / 4294967296.0;
            }
            return 3.0 * (sum - 6.0);
        };
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const double d = kRadius - std::hypot(x + 0.5 - kCentre, y + 0.5 - kCentre);
                const double v = 70.0 + 100.0 * 0.5 * std::erfc(-d / (1.5 * std::sqrt(2.0)));
                grey[static_cast<std::size_t>(y * kSide + x)] =
                    static_cast<std::uint8_t>(std::clamp(v + noise(), 0.0, 255.0));
            }
        }
        for (int k = 0; k < 64; ++k) {
            const double angle = k * 2.0 * 3.14159265358979 / 64, r = kRadius + (k % 7 - 3);
            clicks.emplace_back(kCentre + r * std::cos(angle), kCentre + r * std::sin(angle));
        }
    }

    EdgeSnap::GreyView view() const
    {
        return EdgeSnap::GreyView::topDown(grey.data(), kSide, kSide, kSide);
    }

    // Snaps every click along the circle's normal; returns how many snapped. A line width
    // searches as for a rim, which may be a wire: the longer profile is the cost.
    int snapAll(double lineWidth = 0.0) const
    {
        EdgeSnap::Options options;
        options.lineWidth = lineWidth;
        int snapped = 0;
        for (const auto &[x, y] : clicks) {
            const auto across = EdgeSnap::acrossCircle(kCentre, kCentre, x, y);
            const auto r = EdgeSnap::snap(view(), x, y, *across, options);
            snapped += r.outcome == EdgeSnap::Outcome::Snapped ? 1 : 0;
            benchmark::DoNotOptimize(r);
        }
        return snapped;
    }
};

void BM_SnapPoint(benchmark::State &state)
{
    const SnapScene scene;
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.snapAll());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.clicks.size()));
}

BENCHMARK(BM_SnapPoint)->Unit(benchmark::kMicrosecond);

void BM_SnapRimPoint(benchmark::State &state)
{
    const SnapScene scene;
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.snapAll(12.0));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.clicks.size()));
}

BENCHMARK(BM_SnapRimPoint)->Unit(benchmark::kMicrosecond);

int runSnapAnchor()
{
    const SnapScene scene;
    if (scene.snapAll() != static_cast<int>(scene.clicks.size())) {
        std::cerr << "oxel_bench: the snapping scene did not snap every click\n";
        return 1;
    }
    const double ms = medianMilliseconds([&] {
        for (int repeat = 0; repeat < 20; ++repeat)
            benchmark::DoNotOptimize(scene.snapAll());
    });
    std::printf("TEAM|snap.point|%.4f|oxel EdgeSnap::snap of one point across a blurred, noisy "
                "circle\n",
        ms / (20.0 * static_cast<double>(scene.clicks.size())));
    std::fflush(stdout);
    return 0;
}

// A left hip as an operator clicks it: a focus 1000 mm above the beam centre, the cup 145 mm
// from it, inclination 42 and anteversion 18 degrees; 9 head, 10 cup and 12 rim points, each
// about 1 px off its outline (5 px/mm), so that the solvers iterate as on a real picture.
struct ExactScene
{
    COxel oxel;

    ExactScene()
    {
        using namespace CentralProjection;
        const SpacePoint F{110, 90, 1000};
        const SpacePoint head{250, 40, 180}, cup{255, 45, 175};
        oxel.setPicBox(nullptr);
        oxel.initScale(2000, 1600, 400.0);
        oxel.init(400, 1200, 1400, 1200);
        const auto lines = oxel.lines();
        for (std::size_t i = 0; i < COxel::kGridLineCount; ++i)
            lines[i]->Valid = true;
        oxel.Patient.Typ = 1;
        oxel.Patient.HeadTR = 14;
        oxel.Patient.CupTR = 25;
        oxel.Patient.FocH = 1000;
        int k = 0;
        const auto add = [&k](auto &landmark, const std::vector<CPoint> &points) {
            for (const CPoint &P : points) {
                // Film mm to picture px, and a fixed scatter of about 1 px.
                ++k;
                landmark.addPoint(
                    (P.x + 80) * 5 + std::sin(1.7 * k), (240 - P.y) * 5 + std::cos(2.3 * k));
            }
        };
        add(oxel.Head, sphereOutline(F, head, 14, 9));
        add(oxel.Cup, sphereOutline(F, cup, 25, 10));
        add(oxel.Rim, rimOutline(F, cup, cupAxis(42, 18), 25, 12));
        oxel.Head.Valid = oxel.Head.fit();
        oxel.Cup.Valid = oxel.Cup.fit();
        oxel.Rim.Valid = oxel.Rim.fit();
    }

    bool evaluate() const
    {
        const ExactEvaluation e = evaluateExactly(oxel);
        return e.head && e.cup && e.orientation;
    }
};

void BM_ExactEvaluation(benchmark::State &state)
{
    const ExactScene scene;
    if (!scene.evaluate()) {
        state.SkipWithError("the exact evaluation of the clicked hip is incomplete");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.evaluate());
}

BENCHMARK(BM_ExactEvaluation)->Unit(benchmark::kMillisecond);

int runExactAnchor()
{
    const ExactScene scene;
    if (!scene.evaluate()) {
        std::cerr << "oxel_bench: the exact evaluation of the clicked hip is incomplete\n";
        return 1;
    }
    const double ms = medianMilliseconds([&] { benchmark::DoNotOptimize(scene.evaluate()); });
    std::printf("TEAM|exact.evaluation|%.4f|oxel evaluateExactly of a clicked hip (head, cup and "
                "rim)\n",
        ms);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const bool anchors = argc == 3 && std::strcmp(argv[1], "--anchors") == 0;
    const bool write = argc == 3 && std::strcmp(argv[1], "--write-anchors") == 0;
    if (anchors || write) {
        // The view is timed on its off-screen image; no display is needed.
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        if (write)
            return writeAnchors(argv[2]) | writeViewAnchors(argv[2]) | writeDicomAnchors(argv[2])
                | writeSeriesAnchors(argv[2]);
        return runAnchors(argv[2]) | runViewAnchors(argv[2]) | runDicomAnchors(argv[2])
            | runSeriesAnchors(argv[2]) | runFollowUpAnchors(argv[2]) | runEntryAnchors(argv[2])
            | runSnapAnchor() | runExactAnchor();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
