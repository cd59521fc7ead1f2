#pragma once

#include "core/image/Kernel.h"

// Program-wide helpers of the image tools.
namespace Global {

// The sharpening kernel of strength 1, 2 or 3 (each sums to 1, so flat areas keep their grey
// level); nullptr for any other level. The kernels are built on the first call and kept.
const Kernel *SharpenKernel(int level);

} // namespace Global
