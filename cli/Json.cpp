#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace Json {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of text; 0 when there is none.
std::size_t sequenceLength(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t code = 0, lowest = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1Fu, lowest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0Fu, lowest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07u, lowest = 0x10000;
    else
        return 0;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3Fu);
    }
    // Overlong forms, UTF-16 surrogates and code points beyond Unicode are not UTF-8.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

std::string number(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        std::size_t taken = 1;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else if (const std::size_t length = sequenceLength(text); length > 0) {
                out += text.substr(0, length);
                taken = length;
            } else {
                out += kReplacement;
            }
        }
        text.remove_prefix(taken);
    }
    return out + "\"";
}

std::string boolean(bool value)
{
    return value ? "true" : "false";
}

} // namespace Json
