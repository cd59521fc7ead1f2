#pragma once

#include <cstdint>
#include <string>

#include "core/image/DicomHeader.h"
#include "core/image/DicomScan.h"

// Decoding the first frame of a DICOM picture whose header and structure have been checked
// (DicomScan, DicomHeader::readFrom).
//
// Each decoder writes the frame's samples as the file holds them, before the bits that are not
// stored are masked off: width x height x samplesPerPixel values of 16 bits, a pixel's samples
// next to each other, the top row first. False, with the reason, when the data do not decode.
namespace DicomDecode {

// Uncompressed pixels, from the first frame's bytes of the pixel data, which must hold the
// whole frame: big-endian numbers are turned round, colour planes interleaved.
bool native(const std::uint8_t *data, const DicomScan::Layout &layout, const DicomHeader &header,
    std::uint16_t *samples, std::string &error);

// RLE Lossless from the frame's fragment, whose segment table has been read (one segment per
// byte of a sample, the most significant first).
bool rle(const std::uint8_t *data, const DicomScan::Span &fragment, const DicomHeader &header,
    std::uint16_t *samples, std::string &error);

// JPEG, JPEG-LS and JPEG 2000 through the decoding library, from the whole stream of the
// frame, whose header readCodestream has checked and found to agree with the picture's size,
// samples and bits. Colour comes out as the stream codes it (YCbCr stays YCbCr), except that
// JPEG 2000 undoes its own colour transform.
bool compressed(const std::uint8_t *stream, std::size_t length, const DicomHeader &header,
    const DicomScan::Codestream &codestream, std::uint16_t *samples, std::string &error);

// Keeps the library's diagnostics off the terminal: they are for its developers, and the
// operator is told the reason by the caller instead. Done once, before the first decoding.
void quietLibrary();

} // namespace DicomDecode
