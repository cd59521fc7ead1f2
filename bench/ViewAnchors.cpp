#include "ViewAnchors.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

#include <QImage>
#include <QImageReader>
#include <QString>

#include "SyntheticRadiograph.h"
#include "Timing.h"
#include "core/image/CBitmap.h"
#include "core/model/COxel.h"
#include "ui/PictureBox.h"
#include "ui/PictureLoader.h"

namespace {

QImage greyImage(int width, int height)
{
    const auto grey = syntheticRadiograph(width, height, 3);
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
        std::copy_n(grey.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
            width, image.scanLine(y));
    return image;
}

// A GIF without compression: every pixel a literal 9-bit code, with a clear code often enough
// that the decoder's table never grows past 9 bits. Large, but any reader takes it.
bool writeGif(const std::string &path, const QImage &grey)
{
    std::ofstream out(path, std::ios::binary);
    const auto put16 = [&out](int v) {
        out.put(static_cast<char>(v & 0xFF));
        out.put(static_cast<char>((v >> 8) & 0xFF));
    };
    out.write("GIF89a", 6);
    put16(grey.width());
    put16(grey.height());
    out.put(static_cast<char>(0xF7)); // global colour table of 256 entries
    out.put(0);
    out.put(0);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            out.put(static_cast<char>(i));
    out.put(',');
    put16(0);
    put16(0);
    put16(grey.width());
    put16(grey.height());
    out.put(0);
    out.put(8); // minimum code size

    std::vector<unsigned char> data;
    std::uint32_t bits = 0;
    int bitCount = 0;
    const auto code = [&](int value) {
        bits |= static_cast<std::uint32_t>(value) << bitCount;
        bitCount += 9;
        while (bitCount >= 8) {
            data.push_back(static_cast<unsigned char>(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    int sinceClear = 0;
    code(256);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            if (sinceClear == 250) {
                code(256);
                sinceClear = 0;
            }
            code(row[x]);
            ++sinceClear;
        }
    }
    code(257);
    if (bitCount > 0)
        data.push_back(static_cast<unsigned char>(bits & 0xFF));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.put(static_cast<char>(n));
        out.write(
            reinterpret_cast<const char *>(data.data() + at), static_cast<std::streamsize>(n));
    }
    out.put(0);
    out.put(';');
    return static_cast<bool>(out);
}

} // namespace

int writeViewAnchors(const std::string &dir)
{
    const QImage grey = greyImage(4096, 4096);
    QImage colour = grey.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); y += 2) {
        auto *row = reinterpret_cast<QRgb *>(colour.scanLine(y));
        for (int x = 0; x < colour.width(); x += 3)
            row[x] = qRgb(qRed(row[x]), qGreen(row[x]) / 2, qBlue(row[x]));
    }
    QImage indexed = grey.convertToFormat(QImage::Format_Indexed8);
    const QString d = QString::fromStdString(dir);
    const bool written = grey.save(d + "/grey-4096x4096.jpg", "JPG", 90)
        && colour.save(d + "/colour-4096x4096.jpg", "JPG", 90)
        && indexed.save(d + "/grey8-4096x4096.bmp", "BMP")
        && writeGif(dir + "/grey-4096x4096.gif", grey);
    if (!written)
        std::cerr << "oxel_bench: cannot write the view anchors into " << dir << '\n';
    return written ? 0 : 1;
}

int runViewAnchors(const std::string &dir)
{
    int status = 0;
    std::string error;
    const std::string big = dir + "/radiograph-8192x6144.bmp";
    std::unique_ptr<CBitmap> picture = PictureLoader::load(QString::fromStdString(big), error);
    if (!picture) {
        std::cerr << "oxel_bench: " << big << ": " << error << '\n';
        status = 1;
    } else {
        PictureBox box;
        box.resize(1600, 1000);
        box.show();
        COxel oxel;
        oxel.setPicBox(&box);
        oxel.Visible = true;
        oxel.init(8192 / 3.0, 6144 * 2 / 3.0, 8192 * 2 / 3.0, 6144 * 2 / 3.0);
        const auto repaint = [&] {
            box.setDrawMode(13);
            box.stretchCopy(*picture);
            oxel.draw(kColorMagenta, kColorRed);
        };
        for (const double zoom : {0.25, 1.0, 4.0, 8.0}) {
            box.setScaleWidth(1600 * zoom);
            box.setScaleHeight(1000 * zoom);
            box.setScaleLeft(std::max(0.0, 4096 - 800 * zoom));
            box.setScaleTop(std::max(0.0, 3072 - 500 * zoom));
            const double ms = medianMilliseconds(repaint, 21);
            std::printf(
                "TEAM|repaint.fast.z%g|%.3f|oxel PictureBox: 1600x1000 view of 8192x6144 through "
                "the colour table, grid drawn\n",
                zoom, ms);
        }
        box.setScaleWidth(1600);
        box.setScaleHeight(1000);
        const double colour = medianMilliseconds(
            [&] {
                picture->ColorOffset =
                    static_cast<std::int16_t>(picture->ColorOffset == 0 ? 12 : 0);
                picture->CreateColors();
                repaint();
            },
            21);
        std::printf(
            "TEAM|colour_change.8192x6144|%.3f|oxel: new colour table and one repaint\n", colour);
    }

    const struct
    {
        const char *key, *file;
    } opens[] = {
        {"open.jpeg_grey.4096x4096", "grey-4096x4096.jpg"},
        {"open.jpeg_colour.4096x4096", "colour-4096x4096.jpg"},
        {"open.bmp8.4096x4096", "grey8-4096x4096.bmp"},
        {"open.gif.4096x4096", "grey-4096x4096.gif"},
    };

    for (const auto &open : opens) {
        const QString path = QString::fromStdString(dir + "/" + open.file);
        if (QImageReader(path).size().isEmpty()) {
            std::cerr << "oxel_bench: cannot read " << path.toStdString() << '\n';
            status = 1;
            continue;
        }
        const double reader = medianMilliseconds([&] { QImageReader(path).read(); }, 5);
        const double ours = medianMilliseconds([&] { PictureLoader::load(path, error); }, 5);
        std::printf("TEAM|%s|%.3f|oxel PictureLoader until the grey buffer is ready (Qt's reader "
                    "alone: %.3f ms, ratio %.2f)\n",
            open.key, ours, reader, ours / reader);
    }
    std::fflush(stdout);
    return status;
}
