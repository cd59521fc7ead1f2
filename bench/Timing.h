#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// The median wall time of runs calls of operation, in milliseconds, after one warm-up call.
template <typename Operation>
double medianMilliseconds(Operation operation, int runs = 7)
{
    operation();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        operation();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
