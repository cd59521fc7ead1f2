#include "core/model/Matrix.h"

Matrix::Matrix(std::size_t rows, std::size_t cols)
    : rowCount(rows), colCount(cols), values(rows * cols, 0.0)
{}
