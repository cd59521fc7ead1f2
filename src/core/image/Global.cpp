#include "core/image/Global.h"

namespace Global {

const Kernel *SharpenKernel(int level)
{
    static const Kernel kernels[] = {
        Kernel(1,
            {0, -0.25f, 0, //
                -0.25f, 2, -0.25f, //
                0, -0.25f, 0}),
        Kernel(1,
            {0, -1, 0, //
                -1, 5, -1, //
                0, -1, 0}),
        Kernel(2,
            {-1, 0, -1, 0, -1, //
                0, 0, 1, 0, 0, //
                -1, 1, 5, 1, -1, //
                0, 0, 1, 0, 0, //
                -1, 0, -1, 0, -1}),
    };
    if (level < 1 || level > 3)
        return nullptr;
    return &kernels[level - 1];
}

} // namespace Global
