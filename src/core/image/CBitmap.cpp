#include "core/image/CBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

#include "core/image/Global.h"
#include "core/image/SideBySide.h"

namespace {

// Below this many pixels a second thread costs more than it saves.
constexpr std::size_t kParallelPixels = 1 << 18;

struct Rows
{
    const std::uint8_t *src;
    std::uint8_t *dst;
    std::size_t stride;
    int width;
};

// The three sharpening kernels in exact integer arithmetic. Their weights are multiples of 0.25
// and the pixels integers, so four times the weighted sum is an integer and the double sum of
// the definition is exact: rounding it to bytes in integers gives the very same result.
//
// Each source row is widened to 16 bits once and then read by all the output rows that need it,
// so the inner loops are plain 16-bit loads and adds that the compiler vectorises.
// target_clones builds them once more for AVX2 and AVX-512, chosen when the program starts on a
// processor that has them; elsewhere the plain build runs.
// ThreadSanitizer instruments the function that chooses among them, which the dynamic loader
// runs before the sanitizer is set up, so the program would fail at its start: built for that
// sanitizer, only the plain build is made. The threads share the same rows either way.
#ifdef __SANITIZE_THREAD__
#define OXEL_PIXEL_LOOP
#else
#define OXEL_PIXEL_LOOP __attribute__((target_clones("arch=skylake-avx512", "avx2", "default")))
#endif

using Wide = std::int16_t;

// Sums of at most 13 bytes with small weights stay far inside 16 bits; saying so in the types
// lets the compiler work on twice as many pixels per instruction as with int.
inline Wide add(Wide a, Wide b)
{
    return static_cast<Wide>(a + b);
}

inline Wide sub(Wide a, Wide b)
{
    return static_cast<Wide>(a - b);
}

inline std::uint8_t clampWide(Wide v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

OXEL_PIXEL_LOOP void widenRow(const std::uint8_t *__restrict in, Wide *__restrict out, int width)
{
    for (int x = 0; x < width; ++x)
        out[x] = in[x];
}

// 2c - (n + s + e + w) / 4, rounded halves to even.
OXEL_PIXEL_LOOP void sharpenRow1(const Wide *__restrict up, const Wide *__restrict mid,
    const Wide *__restrict down, std::uint8_t *__restrict out, int from, int to)
{
    for (int x = from; x < to; ++x) {
        const Wide neighbours = add(add(mid[x - 1], mid[x + 1]), add(up[x], down[x]));
        const Wide quadruple = sub(static_cast<Wide>(mid[x] << 3), neighbours);
        // quadruple / 4 rounded halves to even: add 1, and 1 more when the quotient is odd.
        const Wide rounded =
            static_cast<Wide>(add(add(quadruple, 1), static_cast<Wide>((quadruple >> 2) & 1)) >> 2);
        out[x] = clampWide(rounded);
    }
}

// 5c - (n + s + e + w).
OXEL_PIXEL_LOOP void sharpenRow2(const Wide *__restrict up, const Wide *__restrict mid,
    const Wide *__restrict down, std::uint8_t *__restrict out, int from, int to)
{
    for (int x = from; x < to; ++x) {
        const Wide neighbours = add(add(mid[x - 1], mid[x + 1]), add(up[x], down[x]));
        out[x] = clampWide(sub(static_cast<Wide>(5 * mid[x]), neighbours));
    }
}

// 5c + the four direct neighbours - the eight pixels two steps away along rows, columns and
// diagonals.
OXEL_PIXEL_LOOP void sharpenRow3(const Wide *__restrict up2, const Wide *__restrict up1,
    const Wide *__restrict mid, const Wide *__restrict down1, const Wide *__restrict down2,
    std::uint8_t *__restrict out, int from, int to)
{
    for (int x = from; x < to; ++x) {
        const Wide inner = add(add(up1[x], down1[x]), add(mid[x - 1], mid[x + 1]));
        const Wide far = add(add(add(up2[x - 2], up2[x + 2]), add(down2[x - 2], down2[x + 2])),
            add(add(up2[x], down2[x]), add(mid[x - 2], mid[x + 2])));
        out[x] = clampWide(sub(add(static_cast<Wide>(5 * mid[x]), inner), far));
    }
}

void sharpenRows(int level, const Rows &r, int firstRow, int endRow)
{
    const int n = level == 3 ? 2 : 1;
    const int span = 2 * n + 1;
    const auto row = [&r](int at) { return r.src + static_cast<std::size_t>(at) * r.stride; };
    // A ring of the widened source rows y - n .. y + n; row at lives in slot at % span.
    std::vector<Wide> ring(static_cast<std::size_t>(span) * static_cast<std::size_t>(r.width));
    const auto wide = [&](int at) {
        return ring.data()
            + static_cast<std::size_t>(at % span) * static_cast<std::size_t>(r.width);
    };
    for (int at = firstRow - n; at < firstRow + n; ++at)
        widenRow(row(at), wide(at), r.width);

    for (int y = firstRow; y < endRow; ++y) {
        widenRow(row(y + n), wide(y + n), r.width);
        std::uint8_t *out = r.dst + static_cast<std::size_t>(y) * r.stride;
        // The border columns keep their values; the padding after them is copied too, since
        // this buffer's padding may never have been written.
        const std::size_t rightBorder = static_cast<std::size_t>(r.width - n);
        std::memcpy(out, row(y), static_cast<std::size_t>(n));
        std::memcpy(out + rightBorder, row(y) + rightBorder, r.stride - rightBorder);
        if (level == 1)
            sharpenRow1(wide(y - 1), wide(y), wide(y + 1), out, n, r.width - n);
        else if (level == 2)
            sharpenRow2(wide(y - 1), wide(y), wide(y + 1), out, n, r.width - n);
        else
            sharpenRow3(
                wide(y - 2), wide(y - 1), wide(y), wide(y + 1), wide(y + 2), out, n, r.width - n);
    }
}

// Splits the rows [first, end) between this thread and one more when the picture is large
// enough for that to pay.
template <typename Work>
void inTwoBands(int first, int end, std::size_t pixelCount, Work work)
{
    if (pixelCount < kParallelPixels || std::thread::hardware_concurrency() < 2) {
        work(first, end);
        return;
    }
    const int middle = first + (end - first) / 2;
    sideBySide([&] { work(first, middle); }, [&] { work(middle, end); });
}

// The blue bytes of a row of pixels step bytes long; a fixed step lets the compiler vectorise.
template <std::size_t step>
void takeBlue(const std::uint8_t *__restrict in, std::uint8_t *__restrict out, int width)
{
    for (int x = 0; x < width; ++x)
        out[x] = in[step * static_cast<std::size_t>(x)];
}

} // namespace

std::string CBitmap::tooLargeText(int width, int height)
{
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height)
        + " pixels; at most " + std::to_string(kLargestSide) + " pixels a side can be measured";
}

bool CBitmap::allocate(int width, int height, std::unique_ptr<std::uint8_t[]> &grey,
    std::unique_ptr<std::uint8_t[]> &source, std::string &error)
{
    if (width <= 0 || height <= 0) {
        error = "the picture is empty";
        return false;
    }
    if (!isMeasurableSize(width, height)) {
        error = tooLargeText(width, height);
        return false;
    }
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    // Left uninitialised on purpose: every pixel and padding byte of the picture is written
    // by the caller, and the filter source is written in full, padding included, by the first
    // Filter before anything reads it; untouched, it costs nothing until then.
    // A buffer reserved for this size is taken over, its pages already in place.
    grey = reservedBytes == bytes && !initialised
        ? std::move(pixelBuffer)
        : std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
    reservedBytes = 0;
    source.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!grey || !source) {
        error = "not enough memory for a picture of " + std::to_string(width) + " x "
            + std::to_string(height) + " pixels";
        return false;
    }
    return true;
}

void CBitmap::adopt(int width, int height, std::unique_ptr<std::uint8_t[]> grey,
    std::unique_ptr<std::uint8_t[]> source)
{
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    pixelBuffer = std::move(grey);
    sourceBuffer = std::move(source);
    bufferBytes = stride * static_cast<std::size_t>(height);
    rowStride = stride;
    W = static_cast<std::int16_t>(width);
    H = static_cast<std::int16_t>(height);
    ColorScale = 256;
    filtered = false;
    loadedBuffer.reset();
    loadedView = pixelBuffer.get();
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i);
    initialised = true;
}

bool CBitmap::init(const std::uint8_t *firstBlue, int width, int height, std::size_t rowBytes,
    std::string &error, std::size_t pixelBytes, const std::array<std::uint8_t, 256> *palette)
{
    std::unique_ptr<std::uint8_t[]> grey, source;
    if (!allocate(width, height, grey, source, error))
        return false;
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    const std::size_t padding = stride - static_cast<std::size_t>(width);
    inTwoBands(0, height, bytes, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const std::uint8_t *in = firstBlue + static_cast<std::size_t>(y) * rowBytes;
            const std::size_t at = static_cast<std::size_t>(height - 1 - y) * stride;
            std::uint8_t *out = grey.get() + at;
            if (palette) {
                for (int x = 0; x < width; ++x)
                    out[x] = (*palette)[in[pixelBytes * static_cast<std::size_t>(x)]];
            } else if (pixelBytes == 1) {
                std::memcpy(out, in, static_cast<std::size_t>(width));
            } else if (pixelBytes == 3) {
                takeBlue<3>(in, out, width);
            } else if (pixelBytes == 4) {
                takeBlue<4>(in, out, width);
            } else {
                for (int x = 0; x < width; ++x)
                    out[x] = in[pixelBytes * static_cast<std::size_t>(x)];
            }
            std::memset(out + width, 0, padding);
        }
    });
    adopt(width, height, std::move(grey), std::move(source));
    return true;
}

bool CBitmap::init(int width, int height, const GreyRowWriter &writeRow, std::string &error)
{
    std::unique_ptr<std::uint8_t[]> grey, source;
    if (!allocate(width, height, grey, source, error))
        return false;
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    const std::size_t padding = stride - static_cast<std::size_t>(width);
    inTwoBands(0, height, stride * static_cast<std::size_t>(height), [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            std::uint8_t *out = grey.get() + static_cast<std::size_t>(height - 1 - y) * stride;
            writeRow(y, out);
            std::memset(out + width, 0, padding);
        }
    });
    adopt(width, height, std::move(grey), std::move(source));
    return true;
}

void CBitmap::refill(const GreyRowWriter &writeRow)
{
    if (!initialised)
        return;
    inTwoBands(0, H, bufferBytes, [this, &writeRow](int first, int end) {
        for (int y = first; y < end; ++y)
            writeRow(y, pixelBuffer.get() + static_cast<std::size_t>(H - 1 - y) * rowStride);
    });
    filtered = false;
    loadedBuffer.reset();
    loadedView = pixelBuffer.get();
    notify(BitmapChange::Pixels);
}

void CBitmap::reserve(int width, int height)
{
    if (initialised || width <= 0 || height <= 0 || !isMeasurableSize(width, height))
        return;
    const std::size_t bytes = ((static_cast<std::size_t>(width) + 3) & ~std::size_t{3})
        * static_cast<std::size_t>(height);
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[bytes]);
    if (!buffer)
        return; // init will say so
    // Touching every page now, while the caller decodes the picture, spares init the cost.
    std::memset(buffer.get(), 0, bytes);
    pixelBuffer = std::move(buffer);
    reservedBytes = bytes;
}

void CBitmap::notify(BitmapChange change) const
{
    if (observer)
        observer(change);
}

void CBitmap::Invert()
{
    if (!initialised)
        return;
    for (auto &entry : table)
        entry = static_cast<std::uint8_t>(255 - entry);
    notify(BitmapChange::Colors);
}

void CBitmap::CreateColors()
{
    for (int i = 0; i < 256; ++i) {
        const double v = std::nearbyint(i * ColorScale / 256.0 + ColorOffset);
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
    }
    notify(BitmapChange::Colors);
}

void CBitmap::Reset()
{
    ColorOffset = 0;
    ColorScale = 256;
    CreateColors();
}

void CBitmap::UndoFilter()
{
    if (!filtered)
        return;
    inTwoBands(0, H, bufferBytes, [this](int first, int end) {
        const std::size_t from = static_cast<std::size_t>(first) * rowStride;
        const std::size_t to = static_cast<std::size_t>(end) * rowStride;
        std::memcpy(pixelBuffer.get() + from, sourceBuffer.get() + from, to - from);
    });
    notify(BitmapChange::Pixels);
}

void CBitmap::Filter(const Kernel &weight)
{
    if (!initialised)
        return;
    // The loaded pixels must outlive every sharpening: the buffer holding them is never
    // written into, a fresh one takes its turn instead.
    if (sourceBuffer.get() == loadedView) {
        std::unique_ptr<std::uint8_t[]> fresh(new (std::nothrow) std::uint8_t[bufferBytes]);
        if (!fresh)
            throw std::bad_alloc();
        loadedBuffer = std::move(sourceBuffer);
        sourceBuffer = std::move(fresh);
    }
    // The result is built in the other buffer, which then holds the pixels, while the current
    // pixels stay as the filter source: no copy of the picture is needed. A filter that cannot
    // finish (no memory for its rows) leaves the pixels and the undo as they were.
    const bool wasFiltered = filtered;
    filtered = true;
    std::swap(pixelBuffer, sourceBuffer);
    try {
        filterInto(weight);
    } catch (...) {
        std::swap(pixelBuffer, sourceBuffer);
        filtered = wasFiltered;
        throw;
    }
    notify(BitmapChange::Pixels);
}

void CBitmap::filterInto(const Kernel &weight)
{
    const int n = weight.N();
    const int width = W, height = H;
    if (width < 2 * n + 1 || height < 2 * n + 1) {
        std::memcpy(pixelBuffer.get(), sourceBuffer.get(), bufferBytes);
        return;
    }
    // The border rows keep their values.
    const std::size_t borderBytes = static_cast<std::size_t>(n) * rowStride;
    std::memcpy(pixelBuffer.get(), sourceBuffer.get(), borderBytes);
    std::memcpy(pixelBuffer.get() + bufferBytes - borderBytes,
        sourceBuffer.get() + bufferBytes - borderBytes, borderBytes);

    int level = 0;
    for (int candidate = 1; candidate <= 3 && level == 0; ++candidate) {
        if (weight == *Global::SharpenKernel(candidate))
            level = candidate;
    }
    if (level == 0) {
        filterGeneric(weight);
    } else {
        const Rows rows{sourceBuffer.get(), pixelBuffer.get(), rowStride, width};
        inTwoBands(n, height - n, bufferBytes,
            [&](int first, int end) { sharpenRows(level, rows, first, end); });
    }
}

// Any other kernel, by the definition: the weighted sum accumulated in doubles.
void CBitmap::filterGeneric(const Kernel &weight)
{
    const int n = weight.N();
    const int width = W, height = H;
    for (int y = n; y < height - n; ++y) {
        std::uint8_t *out = pixelBuffer.get() + static_cast<std::size_t>(y) * rowStride;
        const std::uint8_t *in = sourceBuffer.get() + static_cast<std::size_t>(y) * rowStride;
        std::memcpy(out, in, rowStride);
        for (int x = n; x < width - n; ++x) {
            double sum = 0;
            for (int j = -n; j <= n; ++j) {
                const std::uint8_t *row =
                    sourceBuffer.get() + static_cast<std::size_t>(y - j) * rowStride;
                for (int k = -n; k <= n; ++k)
                    sum +=
                        static_cast<double>(row[x - k]) * static_cast<double>(weight.weight(k, j));
            }
            std::uint8_t value;
            if (sum < -0.5)
                value = 0;
            else if (sum >= 255.5)
                value = 255;
            else
                value = static_cast<std::uint8_t>(std::nearbyint(sum));
            out[x] = value;
        }
    }
}
