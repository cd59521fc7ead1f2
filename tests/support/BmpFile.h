#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// Writes a complete 24-bit bitmap whose pixel (x, y), y = 0 at the top, has the grey level
// greyAt(x, y) in blue, green and red: a picture every loader reads.
template <typename GreyAt>
bool writeBmp(const std::string &path, int width, int height, GreyAt greyAt)
{
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> bytes(54 + pixelBytes, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 54 + static_cast<std::size_t>(height - 1 - y) * rowBytes
                + 3 * static_cast<std::size_t>(x);
            bytes[at] = bytes[at + 1] = bytes[at + 2] = static_cast<std::uint8_t>(greyAt(x, y));
        }
    const auto put32 = [&bytes](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    const auto put16 = [&bytes](std::size_t at, std::uint16_t v) {
        bytes[at] = static_cast<std::uint8_t>(v);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54 + pixelBytes);
    put32(6, 0);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(30, 0);
    put32(34, pixelBytes);
    put32(38, 2835);
    put32(42, 2835);
    put32(46, 0);
    put32(50, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(
        reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A bitmap of one grey level.
inline bool writeGreyBmp(const std::string &path, int width, int height, std::uint8_t grey = 128)
{
    return writeBmp(path, width, height, [grey](int, int) { return grey; });
}
