#include "core/records/CodePage.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

// The characters of the bytes 0x80 to 0x9F; from 0xA0 on a byte is its own code point.
constexpr std::array<char32_t, 32> kHighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

constexpr char kUnmappable = '?';

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Nothing above the Basic Multilingual Plane comes out of Windows-1252.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char toByte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControlBlock.size(); ++i) {
        if (kHighControlBlock[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return kUnmappable;
}

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

} // namespace

namespace CodePage {

std::string toWindows1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }

        std::size_t length = 0;
        char32_t c = 0;
        // The range of the second byte excludes overlong forms, surrogates and values above
        // U+10FFFF, so that every accepted sequence is a real character.
        unsigned char secondMin = 0x80, secondMax = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0Fu;
            if (lead == 0xE0)
                secondMin = 0xA0;
            if (lead == 0xED)
                secondMax = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07u;
            if (lead == 0xF0)
                secondMin = 0x90;
            if (lead == 0xF4)
                secondMax = 0x8F;
        } else {
            out += kUnmappable;
            ++i;
            continue;
        }

        std::size_t taken = 1;
        bool complete = true;
        while (taken < length) {
            if (i + taken >= utf8.size()) {
                complete = false;
                break;
            }
            const auto b = static_cast<unsigned char>(utf8[i + taken]);
            const bool inRange =
                taken == 1 ? (b >= secondMin && b <= secondMax) : isContinuation(b);
            if (!inRange) {
                complete = false;
                break;
            }
            c = (c << 6) | (b & 0x3Fu);
            ++taken;
        }
        out += complete ? toByte(c) : kUnmappable;
        i += taken;
    }
    return out;
}

std::string fromWindows1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            appendUtf8(out, kHighControlBlock[b - 0x80u]);
        else
            appendUtf8(out, b);
    }
    return out;
}

} // namespace CodePage
