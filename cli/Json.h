#pragma once

#include <string>
#include <string_view>

// The pieces of the JSON that oxel-cli prints.
namespace Json {

// The shortest text that reads back as the same double; "null" for NaN and the infinities,
// which JSON cannot hold.
std::string number(double value);

// The text as a JSON string: quotes, backslashes and control characters escaped. JSON text is
// UTF-8, so a byte that does not belong to a well-formed UTF-8 sequence (a file name in
// another encoding) becomes U+FFFD, and the rest of the text survives.
std::string quoted(std::string_view text);

std::string boolean(bool value);

} // namespace Json
