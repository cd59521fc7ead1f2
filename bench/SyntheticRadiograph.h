#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// A grey picture that looks to a filter like a digitised radiograph: a soft background
// gradient, large bright bony ellipses, a very bright metal head and cup, and film grain.
// Row 0 is the top row; one byte per pixel.
inline std::vector<std::uint8_t> syntheticRadiograph(int width, int height, unsigned seed = 1)
{
    std::vector<std::uint8_t> grey(
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::mt19937 noise(seed);
    std::normal_distribution<double> grain(0.0, 6.0);
    const double w = width, h = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = x / w, v = y / h;
            double level = 40 + 50 * v + 20 * std::sin(6 * u);
            const double pelvis = std::pow((u - 0.5) / 0.42, 2) + std::pow((v - 0.35) / 0.25, 2);
            if (pelvis < 1)
                level += 60 * (1 - pelvis);
            const double femur = std::pow((u - 0.68) / 0.07, 2) + std::pow((v - 0.75) / 0.3, 2);
            if (femur < 1)
                level += 70;
            const double head =
                std::pow((u - 0.68) / 0.05, 2) + std::pow((v - 0.45) / 0.05 * h / w, 2);
            if (head < 1)
                level = 235;
            level += grain(noise);
            grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                + static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(level < 0 ? 0
                    : level > 255                                                    ? 255
                                                                                     : level);
        }
    }
    return grey;
}
