#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

// A dense row-major matrix of doubles, indexed from 0: the augmented systems of the solver.
class Matrix
{
public:
    Matrix(std::size_t rows, std::size_t cols);

    std::size_t rows() const { return rowCount; }

    std::size_t cols() const { return colCount; }

    double &operator()(std::size_t row, std::size_t col)
    {
        assert(row < rowCount && col < colCount);
        return values[row * colCount + col];
    }

    double operator()(std::size_t row, std::size_t col) const
    {
        assert(row < rowCount && col < colCount);
        return values[row * colCount + col];
    }

private:
    std::size_t rowCount;
    std::size_t colCount;
    std::vector<double> values;
};
