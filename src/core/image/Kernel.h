#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

// A square convolution kernel of half-size N: weights w(k, j) for k (horizontal) and j
// (vertical) from -N to N.
class Kernel
{
public:
    // weights holds the rows j = -N .. N, each with k = -N .. N.
    Kernel(int halfSize, std::vector<float> weights) : n(halfSize), w(std::move(weights))
    {
        assert(w.size() == static_cast<std::size_t>((2 * n + 1) * (2 * n + 1)));
    }

    int N() const { return n; }

    float weight(int k, int j) const
    {
        return w[static_cast<std::size_t>((j + n) * (2 * n + 1) + (k + n))];
    }

    bool operator==(const Kernel &) const = default;

private:
    int n;
    std::vector<float> w;
};
