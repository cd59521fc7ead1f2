#pragma once

#include <string>
#include <system_error>

// The system's text for an errno value, such as "No space left on device"; "unknown error" for
// 0, which a failure that set no errno leaves behind.
inline std::string systemErrorText(int error)
{
    return error != 0 ? std::generic_category().message(error) : std::string("unknown error");
}
