#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class COxel;

// The landmark file: the scale, the patient record, the radiograph's date, the ten grid lines
// and the clicked points of head, cup and rim of one radiograph, beside the picture.
//
// It is a sequence of records, each a key such as "HeadPoints (REAL)" and a payload chosen by
// the key's type word, ended by an empty key. Integers are little-endian int16, reals
// little-endian IEEE doubles, strings an int16 length and that many Windows-1252 bytes, flags
// an int16 with 0 for true. Positions are stored in world coordinates (mm, origin at the bottom
// left of the picture), so that landmarks keep their place when the picture is reopened at
// another pixel size.
namespace BinFile {

// The picture's path with everything from the last "." of its file name replaced by ".bin",
// or ".bin" appended when the file name has no ".". A "." in a folder name does not count;
// both "/" and "\" separate folders.
std::string landmarkPath(const std::string &picturePath);

// Fills oxel from the landmark file at path. The scale is first set to a picture width of
// 430 mm on a picture of picW x picH pixels, then the records are applied in the file's order.
//
// True when the file was read up to its end marker (or ended exactly where a key begins).
// False without a message when the file is missing or cannot be read, or when picW is not a
// usable picture width. False after the box "Error in File: <path>: the file holds no
// landmarks" (title "Oxel", critical icon) when the file is empty or holds nothing but its end
// marker. False after the box "Error in File: <path> after Key:<last key read
// completely>" (title "Oxel", critical icon) for a malformed file: an unknown type word, a file
// that ends inside a record, a negative length or count, a count other than the record needs,
// a refused scale, or a position that is not a finite number. Records applied before the fault
// stay applied.
//
// A failed fit of head, cup or rim is not a fault of the file: the fit shows its own message,
// the landmark stays not Valid and reading goes on. A stored validity flag cannot make a
// landmark Valid whose points this read could not fit; for a landmark without a points record
// in the file it can only keep or clear the validity it had.
bool read(const std::string &path, std::int16_t picW, std::int16_t picH, COxel &oxel);

// The same for the file's bytes already in memory; path only names the file in the messages.
bool readBytes(std::string_view bytes, const std::string &path, std::int16_t picW,
    std::int16_t picH, COxel &oxel);

// Stores oxel in the landmark file at path, positions converted to world coordinates now.
// The content goes to a temporary file in the same folder which then replaces the old file,
// so a failure leaves the old file as it was. Shows no message: on failure returns false and,
// when error is given, puts the reason into *error. Fails without touching the disk when the
// measurement has no picture size (initScale never succeeded), when a text is longer than 32767
// bytes in Windows-1252 or a landmark has more than 16383 points, and when an existing landmark
// file is read-only. The new file keeps the permissions of the old one.
bool write(const std::string &path, const COxel &oxel, std::string *error = nullptr);

} // namespace BinFile
