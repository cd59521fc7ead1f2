// Any bytes as the settings file: the lookup must neither crash nor hand back more than it may.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/records/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    for (const char *section : {"LastPath", "lastpath", ""}) {
        const std::string value = Settings::lookUp(text, section, "Path");
        // At most 255 characters of at most 4 bytes each.
        if (value.size() > 4 * Settings::kMaxValueCharacters)
            std::abort();
    }
    return 0;
}
