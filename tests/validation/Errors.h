#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Errors of a quantity over many phantoms: their rms, largest, mean and spread.
class Errors
{
public:
    void add(double error) { values.push_back(error); }

    std::size_t count() const { return values.size(); }

    double maxAbs() const
    {
        double m = 0;
        for (double v : values)
            m = std::max(m, std::abs(v));
        return m;
    }

    double rms() const
    {
        double s = 0;
        for (double v : values)
            s += v * v;
        return values.empty() ? 0 : std::sqrt(s / static_cast<double>(values.size()));
    }

    double mean() const
    {
        double s = 0;
        for (double v : values)
            s += v;
        return values.empty() ? 0 : s / static_cast<double>(values.size());
    }

    // The share of errors larger than limit.
    double beyond(double limit) const
    {
        std::size_t n = 0;
        for (double v : values)
            n += std::abs(v) > limit;
        return values.empty() ? 0 : double(n) / double(values.size());
    }

private:
    std::vector<double> values;
};
