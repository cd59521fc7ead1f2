// Any bytes as a landmark file: the reader must neither crash nor leave the measurement in a
// state the rest of the program cannot take (a scale that is not finite and positive, a valid
// landmark whose shape is not finite).

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "SilentMessages.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static SilentMessages silent;
    setCurrentMessages(&silent);
    COxel oxel;
    oxel.setPicBox(nullptr);
    BinFile::readBytes(
        std::string_view(reinterpret_cast<const char *>(data), size), "fuzz.bin", 2000, 1600, oxel);
    require(std::isfinite(oxel.ScaleFactor) && oxel.ScaleFactor > 0);
    if (oxel.Head.Valid)
        require(std::isfinite(oxel.Head.M.x) && std::isfinite(oxel.Head.r));
    if (oxel.Rim.Valid)
        require(std::isfinite(oxel.Rim.a) && std::isfinite(oxel.Rim.CosA));
    for (const CLine *line : {&oxel.H_B, &oxel.V_F, &oxel.Cross_V})
        require(std::isfinite(line->P0.x) && std::isfinite(line->P1.y));
    return 0;
}
