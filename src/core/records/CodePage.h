#pragma once

#include <string>
#include <string_view>

// Conversion between the UTF-8 text the program holds in memory and the single-byte
// Windows-1252 text of its files. Conversion happens only where a file is read or written.
namespace CodePage {

// UTF-8 to Windows-1252, one byte per character. A character that Windows-1252 cannot hold
// becomes "?". Malformed UTF-8 (a stray continuation byte, a sequence cut short, an overlong
// form, a surrogate or a value above U+10FFFF) becomes one "?" per maximal ill-formed part, so
// the rest of the text survives. U+0081, U+008D, U+008F, U+0090 and U+009D go to the byte of
// the same value, the counterpart of fromWindows1252.
std::string toWindows1252(std::string_view utf8);

// Windows-1252 to UTF-8. Every byte has a character: the five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same value,
// so that any byte string survives a round trip through toWindows1252.
std::string fromWindows1252(std::string_view bytes);

} // namespace CodePage
