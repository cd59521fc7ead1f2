#include "ui/PictureLoader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include "core/image/SideBySide.h"

namespace PictureLoader {

namespace {

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
// Taken as available when the system does not say.
constexpr std::uint64_t kAssumedAvailable = std::uint64_t{8} << 30;
// The bitmap file header and the information header up to its image size field.
constexpr qint64 kBmpHeaderBytes = 38;
// A GIF's signature and the size of its logical screen.
constexpr qint64 kGifScreenBytes = 10;

std::string sizeText(QSize size)
{
    return std::to_string(size.width()) + " x " + std::to_string(size.height());
}

// The formats whose pixels the buffer takes as they are; the others are converted first.
bool takenDirectly(QImage::Format format)
{
    return format == QImage::Format_Grayscale8 || format == QImage::Format_RGB32
        || format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied
        || format == QImage::Format_Indexed8;
}

// Qt's decoded image of a picture in this format; Invalid when the reader cannot say before
// decoding. Counted at 4 bytes a pixel at least, which Qt's readers may use whatever the file.
std::uint64_t decodedBytes(QSize size, QImage::Format format)
{
    const int bits = format == QImage::Format_Invalid
        ? 32
        : std::max<int>(32, QImage::toPixelFormat(format).bitsPerPixel());
    const auto width = static_cast<std::uint64_t>(size.width());
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4
        * static_cast<std::uint64_t>(size.height());
}

// The most that reading the picture holds at once: Qt's decoded image, its conversion to
// 32-bit pixels where the buffer cannot take it as it is, and the buffer's grey pixels with the
// copy it keeps for undoing a filter (rows rounded up to 4 bytes).
std::uint64_t memoryNeeded(QSize size, QImage::Format format)
{
    const auto width = static_cast<std::uint64_t>(size.width());
    const auto height = static_cast<std::uint64_t>(size.height());
    const std::uint64_t converted =
        format == QImage::Format_Invalid || takenDirectly(format) ? 0 : width * 4 * height;
    const std::uint64_t grey = 2 * ((width + 3) & ~std::uint64_t{3}) * height;
    return decodedBytes(size, format) + converted + grey;
}

bool isMeasurable(QSize size, std::string &error)
{
    if (CBitmap::isMeasurableSize(size.width(), size.height()))
        return true;
    error = CBitmap::tooLargeText(size.width(), size.height());
    return false;
}

bool fitsInMemory(QSize size, QImage::Format format, std::uint64_t available, std::string &error)
{
    const std::uint64_t needed = memoryNeeded(size, format);
    if (needed <= available)
        return true;
    error = "not enough memory for a picture of " + sizeText(size) + " pixels ("
        + std::to_string((needed + kMegabyte - 1) / kMegabyte) + " MB needed, "
        + std::to_string(available / kMegabyte) + " MB available)";
    return false;
}

// Qt's allocation limit holds for the whole program: it is set for one picture and then put
// back, so that the pictures the program reads later are not held to this one's size.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes) : previous(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(megabytes);
    }

    ~AllocationLimit() { QImageReader::setAllocationLimit(previous); }

    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;

private:
    int previous = 0;
};

// The first count bytes of the reader's file (all of them for a negative count), read without
// moving the position the decoder has reached. Empty for a device that cannot seek.
QByteArray fileBytes(QIODevice &device, qint64 count)
{
    if (device.isSequential())
        return {};
    const qint64 at = device.pos();
    QByteArray bytes;
    if (device.seek(0))
        bytes = count < 0 ? device.readAll() : device.read(count);
    device.seek(at);
    return bytes;
}

std::uint32_t littleEndian(const QByteArray &bytes, qsizetype at, int length)
{
    std::uint32_t value = 0;
    for (int i = length - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string endsEarly(std::size_t fileBytes)
{
    return "the file is incomplete: it ends after " + std::to_string(fileBytes)
        + " bytes, inside the picture data";
}

// Qt reads a bitmap row by row and stops quietly at the end of a short file, leaving the rows
// it did not read as they happened to be in memory.
std::string bmpShortfall(const QByteArray &header, qint64 fileSize)
{
    if (header.size() < 26 || !header.startsWith("BM"))
        return {};
    const std::uint32_t infoSize = littleEndian(header, 14, 4);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0, imageBytes = 0;
    if (infoSize == 12) {
        width = littleEndian(header, 18, 2);
        height = littleEndian(header, 20, 2);
        bits = littleEndian(header, 24, 2);
    } else {
        if (header.size() < kBmpHeaderBytes)
            return {};
        width = static_cast<std::int32_t>(littleEndian(header, 18, 4));
        height = std::abs(
            static_cast<std::int64_t>(static_cast<std::int32_t>(littleEndian(header, 22, 4))));
        bits = littleEndian(header, 28, 2);
        compression = littleEndian(header, 30, 4);
        imageBytes = littleEndian(header, 34, 4);
    }
    // Headers Qt does not take are its to refuse.
    if (width <= 0 || width > 65535 || height > 65535 || bits == 0 || bits > 32)
        return {};
    std::uint64_t pixelBytes = 0;
    switch (compression) {
    case 0: // uncompressed
    case 3: // uncompressed with colour masks
    case 6:
        pixelBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4
            * static_cast<std::uint64_t>(height);
        break;
    case 1: // run-length coded: only the header knows the length
    case 2:
        pixelBytes = imageBytes;
        break;
    default:
        return {};
    }
    const std::uint64_t needed = littleEndian(header, 10, 4) + pixelBytes;
    if (needed <= static_cast<std::uint64_t>(fileSize))
        return {};
    return "the file is incomplete: the picture needs " + std::to_string(needed)
        + " bytes, the file has " + std::to_string(fileSize);
}

// Qt's JPEG reader shows a file that ends early with the missing part grey. The file is walked
// from marker to marker up to its end marker; the entropy-coded data after each scan header
// runs to the next 0xFF that is neither a stuffed 0xFF00 nor a restart marker.
std::string jpegShortfall(const QByteArray &bytes)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto n = static_cast<std::size_t>(bytes.size());
    if (n < 2 || d[0] != 0xFF || d[1] != 0xD8)
        return {};
    const auto nextFF = [d, n](std::size_t from) {
        const void *found = from < n ? std::memchr(d + from, 0xFF, n - from) : nullptr;
        return found ? static_cast<std::size_t>(static_cast<const unsigned char *>(found) - d) : n;
    };
    std::size_t at = 2;
    std::uint64_t units = 0, entropyBytes = 0;
    bool huffman = false;
    QSize announced;
    for (;;) {
        // Bytes before a marker are skipped, as the decoder skips them; 0xFF may repeat as fill.
        at = nextFF(at);
        while (at < n && d[at] == 0xFF)
            ++at;
        if (at >= n)
            return endsEarly(n);
        const unsigned char code = d[at++];
        if (code == 0xD9)
            break;
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue;
        if (at + 2 > n)
            return endsEarly(n);
        const std::size_t length = static_cast<std::size_t>(d[at] << 8 | d[at + 1]);
        if (length < 2)
            return {}; // a malformed segment: the decoder refuses it itself
        if (at + length > n)
            return endsEarly(n);
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame && length >= 8) {
            const int height = d[at + 3] << 8 | d[at + 4];
            const int width = d[at + 5] << 8 | d[at + 6];
            int hMax = 1, vMax = 1;
            for (std::size_t c = 0; c < d[at + 7] && 11 + 3 * c <= length; ++c) {
                hMax = std::max(hMax, d[at + 9 + 3 * c] >> 4);
                vMax = std::max(vMax, d[at + 9 + 3 * c] & 15);
            }
            announced = QSize(width, height);
            huffman = code <= 0xC7; // 0xC9 to 0xCF are arithmetic coded
            units = static_cast<std::uint64_t>((width + 8 * hMax - 1) / (8 * hMax))
                * static_cast<std::uint64_t>((height + 8 * vMax - 1) / (8 * vMax));
        }
        at += length;
        if (code != 0xDA)
            continue;
        const std::size_t start = at;
        for (;;) {
            at = nextFF(at);
            if (at + 1 >= n)
                return endsEarly(n);
            const unsigned char after = d[at + 1];
            if (after == 0x00 || (after >= 0xD0 && after <= 0xD7))
                at += 2;
            else if (after == 0xFF)
                ++at;
            else
                break;
        }
        entropyBytes += at - start;
    }
    // Every scan codes each unit of eight by eight pixels (a minimum coded unit) with at least
    // one Huffman code of at least one bit. A header that announces more than the data could
    // hold would have the decoder allocate and fill a picture that is not in the file.
    if (huffman && entropyBytes * 8 < units)
        return "the file has " + std::to_string(n) + " bytes, too few for a picture of "
            + sizeText(announced) + " pixels";
    return {};
}

// Qt's GIF reader shows the first frame of a file that ends inside it with the rest blank.
// Only the first frame is shown, so only it must be complete.
std::string gifShortfall(const QByteArray &bytes)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto n = static_cast<std::size_t>(bytes.size());
    if (n < 6 || !bytes.startsWith("GIF"))
        return {};
    // Data sub-blocks: a length byte and that many bytes, up to a length of 0.
    const auto skipSubBlocks = [d, n](std::size_t &at) {
        for (;;) {
            if (at >= n)
                return false;
            const std::size_t length = d[at++];
            if (length == 0)
                return true;
            at += length;
        }
    };
    const auto colourTableBytes = [](unsigned char flags) {
        return flags & 0x80 ? std::size_t{3} << ((flags & 7) + 1) : 0;
    };
    if (n < 13)
        return endsEarly(n);
    std::size_t at = 13 + colourTableBytes(d[10]);
    for (;;) {
        if (at >= n)
            return endsEarly(n);
        switch (d[at++]) {
        case 0x21: // an extension: its label, then its sub-blocks
            ++at;
            if (!skipSubBlocks(at))
                return endsEarly(n);
            break;
        case 0x2C: // the first image: descriptor, colour table, code size, data
            if (at + 9 > n)
                return endsEarly(n);
            at += 9 + colourTableBytes(d[at + 8]) + 1;
            return skipSubBlocks(at) ? std::string() : endsEarly(n);
        default: // the trailer before any image, or a damaged block: the decoder judges
            return {};
        }
    }
}

// Empty when the file holds its whole picture, as far as its format lets that be seen before
// decoding; else why not. PNG needs no check: its reader reports a short file itself.
std::string shortfall(const QByteArray &format, QIODevice &device)
{
    if (format == "bmp")
        return bmpShortfall(fileBytes(device, kBmpHeaderBytes), device.size());
    if (format == "jpeg")
        return jpegShortfall(fileBytes(device, -1));
    if (format == "gif")
        return gifShortfall(fileBytes(device, -1));
    return {};
}

// Qt's GIF reader reports the size of the first frame, or a mixture of it and the logical
// screen, but decodes the frame onto the whole screen. Invalid when the screen has no size.
QSize gifScreen(const QByteArray &head)
{
    if (head.size() < kGifScreenBytes || !head.startsWith("GIF"))
        return {};
    const QSize screen(
        static_cast<int>(littleEndian(head, 6, 2)), static_cast<int>(littleEndian(head, 8, 2)));
    return screen.isEmpty() ? QSize() : screen;
}

// The picture's pixels as a grey buffer: the blue channel of a colour picture, the palette's
// blue for an indexed one.
bool fillBitmap(const QImage &image, CBitmap &bitmap, std::string &error)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        return bitmap.init(image.constBits(), image.width(), image.height(),
            static_cast<std::size_t>(image.bytesPerLine()), error, 1);
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        // 0xAARRGGBB in memory on a little-endian machine: blue is the first byte.
        return bitmap.init(image.constBits(), image.width(), image.height(),
            static_cast<std::size_t>(image.bytesPerLine()), error, 4);
    case QImage::Format_Indexed8: {
        std::array<std::uint8_t, 256> blue{};
        const QList<QRgb> palette = image.colorTable();
        for (qsizetype i = 0; i < palette.size() && i < 256; ++i)
            blue[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(qBlue(palette[i]));
        bool identity = true;
        for (std::size_t i = 0; i < blue.size(); ++i)
            identity = identity && blue[i] == i;
        // A grey ramp, as grey bitmaps and GIFs have, maps each index to itself.
        return bitmap.init(image.constBits(), image.width(), image.height(),
            static_cast<std::size_t>(image.bytesPerLine()), error, 1, identity ? nullptr : &blue);
    }
    default: {
        const QImage converted = image.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) {
            error = "the picture's pixel format cannot be read";
            return false;
        }
        return fillBitmap(converted, bitmap, error);
    }
    }
}

// Everything that is checked from the header happens before the first pixel is decoded.
std::unique_ptr<CBitmap> decode(QImageReader &reader, std::string &error, std::uint64_t available)
{
    QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    std::unique_ptr<AllocationLimit> limit;
    if (size.isValid() && reader.device()) {
        QIODevice &device = *reader.device();
        if (reader.format() == "gif") {
            const QSize screen = gifScreen(fileBytes(device, kGifScreenBytes));
            if (screen.isValid())
                size = screen;
        }
        if (!isMeasurable(size, error) || !fitsInMemory(size, format, available, error))
            return nullptr;
        error = shortfall(reader.format(), device);
        if (!error.empty())
            return nullptr;
        const std::uint64_t megabytes = (decodedBytes(size, format) + kMegabyte - 1) / kMegabyte;
        limit = std::make_unique<AllocationLimit>(
            static_cast<int>(std::max<std::uint64_t>(megabytes, 1)));
    }
    auto bitmap = std::make_unique<CBitmap>();
    // The grey buffer's pages are put in place on the other core while this one decodes. The
    // buffer is not touched here until both have ended.
    QImage image;
    if (size.isValid())
        sideBySide([&] { image = reader.read(); },
            [&bitmap, size] { bitmap->reserve(size.width(), size.height()); });
    else
        image = reader.read();
    limit.reset();
    if (image.isNull()) {
        error = reader.errorString().toStdString();
        return nullptr;
    }
    // The decoded picture is what the buffer takes, whatever its header said.
    if (image.size() != size
        && (!isMeasurable(image.size(), error)
            || !fitsInMemory(image.size(), image.format(), available, error)))
        return nullptr;
    if (!fillBitmap(image, *bitmap, error))
        return nullptr;
    return bitmap;
}

// Decodes, and turns a shortage of memory that the header did not foresee into a reason like
// any other, so that the window keeps what it showed.
std::unique_ptr<CBitmap> decodeOrExplain(
    QImageReader &reader, std::string &error, std::uint64_t availableBytes)
{
    try {
        return decode(reader, error, availableBytes);
    } catch (const std::bad_alloc &) {
        error = "not enough memory to hold the picture";
        return nullptr;
    }
}

// The header's own grey mapping of a DICOM picture, into the pixel buffer given (a new one,
// perhaps with its pages reserved).
Picture showDicom(
    std::unique_ptr<DicomPicture> dicom, std::unique_ptr<CBitmap> bitmap, std::string &error)
{
    Picture picture;
    if (!dicom)
        return picture;
    picture.window = GreyMapping::defaultChoice(*dicom);
    if (!GreyMapping(*dicom, picture.window).show(*dicom, *bitmap, error))
        return picture;
    picture.bitmap = std::move(bitmap);
    picture.dicom = std::move(dicom);
    return picture;
}

} // namespace

Picture open(const QString &path, std::string &error)
{
    const std::string file = QFile::encodeName(path).toStdString();
    // Unlike Qt's decoders, the DICOM reader fills its buffers on both cores itself; putting
    // the grey buffer's pages in place on the other core meanwhile only slows it.
    if (DicomPicture::isDicomFile(file))
        return showDicom(
            DicomPicture::read(file, error, availableMemory()), std::make_unique<CBitmap>(), error);
    QImageReader reader(path);
    Picture picture;
    picture.bitmap = decodeOrExplain(reader, error, availableMemory());
    return picture;
}

std::unique_ptr<CBitmap> load(const QString &path, std::string &error)
{
    return open(path, error).bitmap;
}

std::unique_ptr<CBitmap> loadData(const QByteArray &data, std::string &error)
{
    return loadData(data, error, availableMemory());
}

std::unique_ptr<CBitmap> loadData(
    const QByteArray &data, std::string &error, std::uint64_t availableBytes)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    const auto size = static_cast<std::size_t>(data.size());
    if (DicomPicture::isDicom(bytes, size))
        return showDicom(DicomPicture::read(bytes, size, error, availableBytes),
            std::make_unique<CBitmap>(), error)
            .bitmap;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return decodeOrExplain(reader, error, availableBytes);
}

std::uint64_t availableMemory()
{
    std::optional<std::uint64_t> available;
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kilobytes = 0;
        if (fields >> key >> kilobytes && key == "MemAvailable:") {
            available = kilobytes * 1024;
            break;
        }
    }
    // A container's limit does not show in /proc/meminfo. "max" (no limit) reads as no number.
    std::ifstream maxFile("/sys/fs/cgroup/memory.max");
    std::ifstream currentFile("/sys/fs/cgroup/memory.current");
    std::uint64_t limit = 0, used = 0;
    if (maxFile >> limit && currentFile >> used) {
        const std::uint64_t left = limit > used ? limit - used : 0;
        available = available ? std::min(*available, left) : left;
    }
    return available.value_or(kAssumedAvailable);
}

} // namespace PictureLoader
