#include "core/image/DicomText.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace DicomText {

namespace {

void appendCodePoint(std::string &out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// UTF-8 as it should be; each maximal ill-formed part becomes one U+FFFD.
std::string validUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t c = 0, lowest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1Fu, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0Fu, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07u, lowest = 0x10000;
        }
        std::size_t taken = 1;
        bool whole = length != 0;
        for (; whole && taken < length; ++taken) {
            if (i + taken >= bytes.size()
                || (static_cast<std::uint8_t>(bytes[i + taken]) & 0xC0) != 0x80) {
                whole = false;
                break;
            }
            c = (c << 6) | (static_cast<std::uint8_t>(bytes[i + taken]) & 0x3Fu);
        }
        if (whole && c >= lowest && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
            out.append(bytes.substr(i, length));
        } else {
            appendCodePoint(out, kReplacement);
        }
        i += taken;
    }
    return out;
}

enum class Repertoire {
    Ascii, // bytes above 127 as Latin-1
    Latin1,
    Utf8,
    Unknown,
};

Repertoire repertoireOf(std::string_view specificCharacterSet)
{
    const std::string_view first = values(specificCharacterSet).front();
    if (first.empty() || first == "ISO_IR 6" || first == "ISO 2022 IR 6")
        return Repertoire::Ascii;
    if (first == "ISO_IR 100" || first == "ISO 2022 IR 100")
        return Repertoire::Latin1;
    if (first == "ISO_IR 192")
        return Repertoire::Utf8;
    return Repertoire::Unknown;
}

} // namespace

std::string toUtf8(std::string_view bytes, std::string_view specificCharacterSet)
{
    const Repertoire repertoire = repertoireOf(specificCharacterSet);
    if (repertoire == Repertoire::Utf8)
        return validUtf8(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto byte = static_cast<std::uint8_t>(ch);
        if (byte < 0x80)
            out += ch;
        else if (repertoire == Repertoire::Unknown)
            out += '?';
        else if (repertoire == Repertoire::Latin1)
            appendCodePoint(out, byte);
        else
            // Without a character set the header may hold only ASCII; the archives that break
            // that rule mostly write Latin-1, so a name keeps its umlauts rather than losing
            // them.
            appendCodePoint(out, byte);
    }
    return out;
}

std::string_view trimmed(std::string_view value)
{
    const auto padding = [](char c) { return c == ' ' || c == '\0'; };
    while (!value.empty() && padding(value.back()))
        value.remove_suffix(1);
    while (!value.empty() && padding(value.front()))
        value.remove_prefix(1);
    return value;
}

std::vector<std::string_view> values(std::string_view value)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t split = value.find('\\');
        parts.push_back(trimmed(value.substr(0, split)));
        if (split == std::string_view::npos)
            return parts;
        value.remove_prefix(split + 1);
    }
}

bool toNumber(std::string_view value, double &number)
{
    value = trimmed(value);
    if (!value.empty() && value.front() == '+')
        value.remove_prefix(1);
    double parsed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()
        || !std::isfinite(parsed))
        return false;
    number = parsed;
    return true;
}

} // namespace DicomText
