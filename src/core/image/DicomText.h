#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text values of a DICOM header as the program holds text: UTF-8, without the padding the
// file format adds.
namespace DicomText {

// The value's bytes as UTF-8, decoded by the header's Specific Character Set (0008,0005), given
// as it stands in the file (possibly several values separated by "\"; the first names the
// character set of the text's first component group, which is all this program reads):
// - ISO_IR 192: UTF-8; a malformed sequence becomes U+FFFD, so that the rest survives;
// - ISO_IR 100 and ISO 2022 IR 100: Latin-1;
// - empty, ISO_IR 6 and ISO 2022 IR 6, the default repertoire: ASCII, with any byte above 127
//   decoded as Latin-1;
// - any other character set: ASCII, with every byte above 127 as "?", since its letters cannot
//   be told without a table for it.
std::string toUtf8(std::string_view bytes, std::string_view specificCharacterSet);

// The value without the spaces and NUL bytes that pad it to an even length, and without leading
// spaces, which no text value this program reads holds on purpose.
std::string_view trimmed(std::string_view value);

// The values of a multi-valued text element, split at "\" and each trimmed; an empty value gives
// one empty string.
std::vector<std::string_view> values(std::string_view value);

// A decimal string (DS or IS) as a number; false, with number untouched, when it is not one or
// not finite.
bool toNumber(std::string_view value, double &number);

} // namespace DicomText
