#include "ui/PictureLoader.h"

#include <array>
#include <limits>

#include <QImage>
#include <QImageReader>

namespace PictureLoader {

namespace {

constexpr int kLargestSide = std::numeric_limits<std::int16_t>::max();

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

} // namespace

std::unique_ptr<CBitmap> load(const QString &path, std::string &error)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    // Qt refuses pictures above 128 MB by default; the 16-bit sides bound what is read here.
    if (size.isValid())
        reader.setAllocationLimit(
            static_cast<int>(4.0 * size.width() * size.height() / (1 << 20)) + 64);
    // Refused before the pixels are decoded: the buffer counts pixels in 16 bits.
    if (size.isValid() && (size.width() > kLargestSide || size.height() > kLargestSide)) {
        error = "the picture is " + std::to_string(size.width()) + " x "
            + std::to_string(size.height()) + " pixels; at most " + std::to_string(kLargestSide)
            + " pixels a side can be measured";
        return nullptr;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        error = reader.errorString().toStdString();
        return nullptr;
    }
    auto bitmap = std::make_unique<CBitmap>();
    if (!fillBitmap(image, *bitmap, error))
        return nullptr;
    return bitmap;
}

} // namespace PictureLoader
