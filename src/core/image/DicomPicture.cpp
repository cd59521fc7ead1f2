#include "core/image/DicomPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <utility>

#include "core/image/DicomDecode.h"
#include "core/image/DicomScan.h"
#include "core/image/SideBySide.h"

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;
// What the parsed structure takes for one element beside the file's bytes, generously.
constexpr std::uint64_t kBytesPerElement = 128;

std::string megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + kMegabyte - 1) / kMegabyte);
}

std::uint8_t clampByte(double v)
{
    return static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
}

std::size_t countElements(const std::vector<DicomScan::Element> &dataSet)
{
    std::size_t count = dataSet.size();
    for (const DicomScan::Element &e : dataSet)
        for (const auto &item : e.items)
            count += countElements(item);
    return count;
}

bool isLossy(const std::string &syntax)
{
    return syntax == "1.2.840.10008.1.2.4.50" || syntax == "1.2.840.10008.1.2.4.51"
        || syntax == "1.2.840.10008.1.2.4.81" || syntax == "1.2.840.10008.1.2.4.91";
}

// The whole first frame is in the uncompressed pixel data.
bool nativeFrameFits(DicomHeader &head, const DicomScan::Layout &layout, std::string &error)
{
    if (head.photometricInterpretation == "YBR_FULL_422") {
        error = "uncompressed pixels in YBR_FULL_422 are not read";
        return false;
    }
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(head.width)
        * static_cast<std::uint64_t>(head.height) * static_cast<std::uint64_t>(head.samplesPerPixel)
        * static_cast<std::uint64_t>(head.bitsAllocated / 8);
    const std::uint64_t length = layout.pixelData->value.length;
    if (length < frameBytes) {
        error = "the pixel data end before the first frame does (" + std::to_string(length) + " of "
            + std::to_string(frameBytes) + " bytes)";
        return false;
    }
    if (length / frameBytes < static_cast<std::uint64_t>(head.frameCount))
        head.warnings.push_back("the pixel data hold fewer frames than the header names");
    return true;
}

// What the header and the file's structure say of the picture, checked before any pixel is
// read: a transfer syntax that is decoded, pixel data stored as that syntax says, a picture
// description that is read and, uncompressed, a whole first frame.
bool describe(const DicomScan::Layout &layout, const std::uint8_t *data, DicomHeader &head,
    std::string &error)
{
    const std::string &syntax = layout.transferSyntaxUid;
    if (!DicomScan::isDecodable(syntax)) {
        error = "pictures in " + DicomScan::transferSyntaxName(syntax) + " (" + syntax
            + ") cannot be decoded";
        return false;
    }
    if (!layout.pixelData) {
        error = "the DICOM file holds no picture (no Pixel Data)";
        return false;
    }
    const DicomScan::Coding coding = DicomScan::codingOf(syntax);
    if (layout.encapsulated != (coding != DicomScan::Coding::Native)) {
        error = std::string(layout.encapsulated ? "the pixel data are compressed, but "
                                                : "the pixel data are not compressed, but ")
            + "the transfer syntax " + DicomScan::transferSyntaxName(syntax) + " says they are"
            + (layout.encapsulated ? " not" : "");
        return false;
    }
    if (!head.readFrom(layout, data, error))
        return false;
    return coding != DicomScan::Coding::Native || nativeFrameFits(head, layout, error);
}

// The first frame's compressed stream, and what its own header says.
struct Stream
{
    const std::uint8_t *bytes = nullptr;
    DicomScan::Span span;
    std::vector<std::uint8_t> joined; // a stream that came in several fragments
    DicomScan::Codestream code;
    bool saysYcbcr = false; // a lossy JPEG colour stream coded as YCbCr under the name RGB
};

// Finds the first frame's stream and checks its header against the picture's.
bool findStream(const std::uint8_t *data, const DicomScan::Layout &layout, const DicomHeader &head,
    Stream &stream, std::string &error)
{
    const DicomScan::Coding coding = DicomScan::codingOf(layout.transferSyntaxUid);
    const std::vector<DicomScan::Span> first =
        DicomScan::firstFrameFragments(data, layout, head.frameCount);
    if (first.empty()) {
        error = "the compressed pixel data hold no fragment";
        return false;
    }
    // A frame in several fragments is one stream cut in pieces; RLE has one per frame.
    stream.bytes = data;
    stream.span = first.front();
    if (first.size() > 1 && coding != DicomScan::Coding::Rle) {
        for (const DicomScan::Span &f : first)
            stream.joined.insert(stream.joined.end(), data + f.offset, data + f.offset + f.length);
        stream.bytes = stream.joined.data();
        stream.span = {0, stream.joined.size()};
    }
    DicomScan::Codestream &code = stream.code;
    if (!DicomScan::readCodestream(
            stream.bytes, stream.span, layout.transferSyntaxUid, code, error))
        return false;
    // The library's JPEG decoder waits for more data at the end of a stream that is cut short,
    // and keeps what it allocated for the picture when it is then given up; a stream that is
    // whole ends with its end marker.
    if ((coding == DicomScan::Coding::Jpeg || coding == DicomScan::Coding::JpegLs)
        && !DicomScan::endsAsJpeg(stream.bytes, stream.span)) {
        error = "the JPEG stream is cut short: it does not end with its end marker (FFD9)";
        return false;
    }
    if (coding == DicomScan::Coding::Rle) {
        const int segments = head.samplesPerPixel * head.bitsAllocated / 8;
        if (code.components == segments)
            return true;
        error = "the RLE data have " + std::to_string(code.components)
            + " segments where the header needs " + std::to_string(segments);
        return false;
    }
    if (code.width != head.width || code.height != head.height) {
        error = "the compressed picture is " + std::to_string(code.width) + " x "
            + std::to_string(code.height) + " pixels, the header says " + std::to_string(head.width)
            + " x " + std::to_string(head.height);
        return false;
    }
    if (code.components != head.samplesPerPixel) {
        error = "the compressed picture has " + std::to_string(code.components)
            + " components where the header has " + std::to_string(head.samplesPerPixel);
        return false;
    }
    if (code.precision > head.bitsAllocated) {
        error = "the compressed picture has " + std::to_string(code.precision)
            + " bits per sample in " + std::to_string(head.bitsAllocated) + "-bit pixels";
        return false;
    }
    const std::string &syntax = layout.transferSyntaxUid;
    stream.saysYcbcr = head.photometricInterpretation == "RGB" && code.saysYcbcr
        && (syntax == "1.2.840.10008.1.2.4.50" || syntax == "1.2.840.10008.1.2.4.51");
    return true;
}

// Grey levels from samples that hold the stored values exactly: the bits above the stored ones
// may hold anything (overlays, once), and uncompressed values may sit above bit 0.
void maskedLevels(std::uint16_t *values, std::size_t count, const DicomHeader &head, bool native)
{
    const int shift = native ? head.highBit + 1 - head.bitsStored : 0;
    const std::uint32_t mask = (1u << head.bitsStored) - 1;
    // Two's complement within the bits stored, with its sign bit flipped, counts up from the
    // lowest value: the level.
    const std::uint32_t flip = head.isSigned ? 1u << (head.bitsStored - 1) : 0;
    for (std::size_t i = 0; i < count; ++i)
        values[i] = static_cast<std::uint16_t>(
            ((static_cast<std::uint32_t>(values[i]) >> shift) & mask) ^ flip);
}

// maskedLevels straight from little-endian 16-bit samples in the file.
void nativeLevels(
    const std::uint8_t *in, std::uint16_t *levels, std::size_t count, const DicomHeader &head)
{
    const int shift = head.highBit + 1 - head.bitsStored;
    const std::uint32_t mask = (1u << head.bitsStored) - 1;
    const std::uint32_t flip = head.isSigned ? 1u << (head.bitsStored - 1) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t sample =
            static_cast<std::uint32_t>(in[2 * i]) | static_cast<std::uint32_t>(in[2 * i + 1]) << 8;
        levels[i] = static_cast<std::uint16_t>(((sample >> shift) & mask) ^ flip);
    }
}

// Grey levels from a lossy stream of streamBits a sample: lossy coding rings past the edges of
// the range, into values the stream's bits hold but the stored bits do not. They are held at
// the ends rather than wrapped round.
void clampedLevels(
    std::uint16_t *values, std::size_t count, const DicomHeader &head, int streamBits)
{
    const int lowest = head.isSigned ? -(1 << (head.bitsStored - 1)) : 0;
    const int highest = lowest + (1 << head.bitsStored) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        int v = values[i] & ((1 << streamBits) - 1);
        if (head.isSigned && v >= 1 << (streamBits - 1))
            v -= 1 << streamBits;
        values[i] = static_cast<std::uint16_t>(std::clamp(v, lowest, highest) - lowest);
    }
}

// The blue channel of colour samples (a pixel's three together) or of palette indices, 0 to 255.
void blueLevels(const std::uint16_t *in, std::uint16_t *out, std::size_t count,
    const DicomHeader &head, bool ycbcr)
{
    if (head.bluePalette) {
        const DicomHeader::Lut &palette = *head.bluePalette;
        const double scale = 255.0 / ((1 << palette.bitsPerEntry) - 1);
        const auto last = static_cast<long>(palette.entries.size()) - 1;
        for (std::size_t i = 0; i < count; ++i) {
            const long index = std::clamp(static_cast<long>(in[i]) - palette.firstMapped, 0L, last);
            out[i] = clampByte(palette.entries[static_cast<std::size_t>(index)] * scale);
        }
        return;
    }
    const int shift = std::max(0, head.bitsStored - 8);
    const auto mask = static_cast<std::uint16_t>((1u << head.bitsStored) - 1);
    for (std::size_t i = 0; i < count; ++i) {
        const auto channel = [&](std::size_t c) {
            return static_cast<double>((in[3 * i + c] & mask) >> shift);
        };
        // Blue from full-range YCbCr: Y + 1.772 (Cb - 128).
        out[i] = ycbcr ? clampByte(channel(0) + 1.772 * (channel(1) - 128.0))
                       : static_cast<std::uint16_t>(std::min(channel(2), 255.0));
    }
}

} // namespace

bool DicomPicture::isDicom(const std::uint8_t *data, std::size_t size)
{
    return DicomScan::isDicom(data, size);
}

bool DicomPicture::isDicomFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    char head[132];
    if (!in.read(head, sizeof head))
        return false;
    return isDicom(reinterpret_cast<const std::uint8_t *>(head), sizeof head);
}

std::unique_ptr<DicomPicture> DicomPicture::read(
    const std::string &path, std::string &error, std::uint64_t availableBytes)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "the file cannot be opened";
        return nullptr;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "the file cannot be read";
        return nullptr;
    }
    const auto bytes = static_cast<std::uint64_t>(size);
    if (bytes > availableBytes) {
        error = "not enough memory to read a file of " + megabytes(bytes) + " MB ("
            + std::to_string(availableBytes / kMegabyte) + " MB available)";
        return nullptr;
    }
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[bytes ? bytes : 1]);
    if (!data) {
        error = "not enough memory to read the file";
        return nullptr;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(data.get()), size)) {
        error = "the file cannot be read";
        return nullptr;
    }
    in.close();
    return read(data.get(), static_cast<std::size_t>(bytes), error, availableBytes - bytes);
}

bool DicomPicture::readHeader(const std::string &path, DicomHeader &header, std::string &error)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "the file cannot be opened";
        return false;
    }
    const std::streamoff end = in.tellg();
    if (end < 0) {
        error = "the file cannot be read";
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(end);
    std::vector<std::uint8_t> bytes;
    // Enough for the header of nearly every radiograph; the rest is read only when the header
    // holds more (an icon, overlays, private data before the pixels).
    std::uint64_t wanted = std::uint64_t{64} << 10;
    try {
        for (;;) {
            const std::uint64_t had = bytes.size();
            const std::uint64_t now = std::min(wanted, fileSize);
            bytes.resize(static_cast<std::size_t>(now));
            in.seekg(static_cast<std::streamoff>(had));
            if (!in.read(reinterpret_cast<char *>(bytes.data() + had),
                    static_cast<std::streamsize>(now - had))) {
                error = "the file cannot be read";
                return false;
            }
            DicomScan::Layout layout;
            std::string why;
            const bool scanned =
                DicomScan::scanHeader(bytes.data(), bytes.size(), fileSize, layout, why);
            if (now < fileSize && (!scanned || !layout.pixelData)) {
                wanted *= 4;
                continue;
            }
            DicomHeader head;
            if (!scanned || !describe(layout, bytes.data(), head, why)) {
                error = why;
                return false;
            }
            header = std::move(head);
            return true;
        }
    } catch (const std::bad_alloc &) {
        error = "not enough memory to read the header";
        return false;
    }
}

bool DicomPicture::readHeader(
    const std::uint8_t *data, std::size_t size, DicomHeader &header, std::string &error)
{
    DicomScan::Layout layout;
    DicomHeader head;
    try {
        if (!DicomScan::scanHeader(data, size, size, layout, error)
            || !describe(layout, data, head, error))
            return false;
    } catch (const std::bad_alloc &) {
        error = "not enough memory to read the header";
        return false;
    }
    header = std::move(head);
    return true;
}

std::unique_ptr<DicomPicture> DicomPicture::read(
    const std::uint8_t *data, std::size_t size, std::string &error, std::uint64_t availableBytes)
{
    DicomDecode::quietLibrary();
    std::unique_ptr<DicomPicture> picture(new DicomPicture);
    try {
        if (!picture->decode(data, size, error, availableBytes))
            return nullptr;
    } catch (const std::bad_alloc &) {
        error = "not enough memory to hold the picture";
        return nullptr;
    } catch (const std::exception &e) {
        error = std::string("the DICOM file cannot be read: ") + e.what();
        return nullptr;
    }
    return picture;
}

bool DicomPicture::decode(
    const std::uint8_t *data, std::size_t size, std::string &error, std::uint64_t availableBytes)
{
    DicomScan::Layout layout;
    if (!DicomScan::scan(data, size, layout, error) || !describe(layout, data, head, error))
        return false;
    const std::string &syntax = layout.transferSyntaxUid;
    const DicomScan::Coding coding = DicomScan::codingOf(syntax);
    Stream stream;
    if (coding != DicomScan::Coding::Native && !findStream(data, layout, head, stream, error))
        return false;

    // Held at once while decoding: the parsed structure, the compressed frame and the
    // decoder's copies and output of it (32 bits a sample for JPEG 2000), the samples, the kept
    // levels, and the pixel buffer with its copy for undoing a filter.
    const auto width = static_cast<std::uint64_t>(head.width);
    const auto height = static_cast<std::uint64_t>(head.height);
    const auto samples = static_cast<std::uint64_t>(head.samplesPerPixel);
    const std::uint64_t pixels = width * height;
    const std::uint64_t stride = (width + 3) & ~std::uint64_t{3};
    const std::uint64_t decoderBytes = coding == DicomScan::Coding::Native ? 0
        : coding == DicomScan::Coding::Jpeg2000 ? 2 * stream.span.length + pixels * samples * 6
                                                : 2 * stream.span.length + pixels * samples * 2;
    const std::uint64_t needed = countElements(layout.dataSet) * kBytesPerElement
        + stream.joined.size() + decoderBytes + pixels * samples * 2
        + (samples > 1 ? pixels * 2 : 0) + 2 * stride * height;
    if (needed > availableBytes) {
        error = "not enough memory for a picture of " + std::to_string(width) + " x "
            + std::to_string(height) + " pixels (" + megabytes(needed) + " MB needed, "
            + std::to_string(availableBytes / kMegabyte) + " MB available)";
        return false;
    }

    const auto pixelCount = static_cast<std::size_t>(pixels);
    // The commonest radiograph, grey 16-bit little-endian samples, becomes levels in one pass
    // over the file's bytes rather than a copy and a pass over the copy.
    if (coding == DicomScan::Coding::Native && head.samplesPerPixel == 1 && head.bitsAllocated == 16
        && !layout.bigEndian && layout.pixelData->value.length >= 2 * pixelCount) {
        levelBuffer.reset(new std::uint16_t[pixelCount]);
        const std::uint8_t *in = data + layout.pixelData->value.offset;
        std::uint16_t *out = levelBuffer.get();
        const std::size_t half = pixelCount / 2;
        sideBySide([&] { nativeLevels(in, out, half, head); },
            [&] { nativeLevels(in + 2 * half, out + half, pixelCount - half, head); });
        return true;
    }
    std::unique_ptr<std::uint16_t[]> decoded(
        new std::uint16_t[pixelCount * static_cast<std::size_t>(samples)]);
    bool done = false;
    if (coding == DicomScan::Coding::Native)
        done = DicomDecode::native(data, layout, head, decoded.get(), error);
    else if (coding == DicomScan::Coding::Rle)
        done = DicomDecode::rle(stream.bytes, stream.span, head, decoded.get(), error);
    else
        done = DicomDecode::compressed(stream.bytes + stream.span.offset, stream.span.length, head,
            stream.code, decoded.get(), error);
    if (!done)
        return false;

    if (!isColour()) {
        levelBuffer = std::move(decoded);
        if (isLossy(syntax))
            clampedLevels(levelBuffer.get(), pixelCount, head, stream.code.precision);
        else
            maskedLevels(levelBuffer.get(), pixelCount, head, coding == DicomScan::Coding::Native);
        return true;
    }
    levelBuffer.reset(new std::uint16_t[pixelCount]);
    blueLevels(decoded.get(), levelBuffer.get(), pixelCount, head,
        head.photometricInterpretation == "YBR_FULL"
            || head.photometricInterpretation == "YBR_FULL_422" || stream.saysYcbcr);
    return true;
}

std::string DicomPicture::transferSyntaxName() const
{
    return DicomScan::transferSyntaxName(head.transferSyntaxUid);
}

bool DicomPicture::isColour() const
{
    return head.samplesPerPixel == 3 || head.photometricInterpretation == "PALETTE COLOR";
}

bool DicomPicture::showsInverted() const
{
    return !isColour()
        && (head.photometricInterpretation == "MONOCHROME1" || head.presentationInverse);
}

int DicomPicture::lowestStoredValue() const
{
    return isColour() || !head.isSigned ? 0 : -(1 << (head.bitsStored - 1));
}

int DicomPicture::levelCount() const
{
    return isColour() ? 256 : 1 << head.bitsStored;
}

int DicomPicture::storedValue(int x, int y) const
{
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(head.width)
        + static_cast<std::size_t>(x);
    return levelBuffer[at] + lowestStoredValue();
}

bool DicomPicture::isPadding(int stored) const
{
    if (isColour() || !head.paddingValue)
        return false;
    if (!head.paddingLimit)
        return stored == *head.paddingValue;
    const auto [low, high] = std::minmax(*head.paddingValue, *head.paddingLimit);
    return stored >= low && stored <= high;
}

double DicomPicture::modalityValue(int stored) const
{
    if (head.modalityLut) {
        const DicomHeader::Lut &lut = *head.modalityLut;
        const long last = static_cast<long>(lut.entries.size()) - 1;
        const long index = std::clamp(static_cast<long>(stored) - lut.firstMapped, 0L, last);
        return lut.entries[static_cast<std::size_t>(index)];
    }
    return head.rescaleSlope * stored + head.rescaleIntercept;
}

const std::vector<std::uint32_t> &DicomPicture::histogram() const
{
    std::call_once(histogramOnce, [this] {
        counts.assign(static_cast<std::size_t>(levelCount()), 0);
        const std::size_t pixelCount =
            static_cast<std::size_t>(head.width) * static_cast<std::size_t>(head.height);
        const std::uint16_t *level = levelBuffer.get();
        for (std::size_t i = 0; i < pixelCount; ++i)
            ++counts[level[i]];
    });
    return counts;
}

std::optional<DicomPicture::ModalityRange> DicomPicture::modalityRange() const
{
    return modalityPercentiles(0, 1);
}

std::optional<DicomPicture::ModalityRange> DicomPicture::modalityPercentiles(
    double lowFraction, double highFraction) const
{
    const std::vector<std::uint32_t> &perLevel = histogram();
    // The modality transformation need not rise with the stored value (a negative slope, a
    // table), so the values present are put in order first.
    std::vector<std::pair<double, std::uint64_t>> present;
    std::uint64_t total = 0;
    for (std::size_t level = 0; level < perLevel.size(); ++level) {
        const int stored = static_cast<int>(level) + lowestStoredValue();
        if (perLevel[level] == 0 || isPadding(stored))
            continue;
        present.emplace_back(modalityValue(stored), perLevel[level]);
        total += perLevel[level];
    }
    if (present.empty())
        return std::nullopt;
    std::sort(present.begin(), present.end());
    const auto point = [&](double fraction) {
        const double wanted = fraction * static_cast<double>(total);
        std::uint64_t below = 0;
        for (const auto &[value, count] : present) {
            below += count;
            if (static_cast<double>(below) >= wanted)
                return value;
        }
        return present.back().first;
    };
    return ModalityRange{point(lowFraction), point(highFraction)};
}
