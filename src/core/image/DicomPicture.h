#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/image/DicomHeader.h"

// A DICOM radiograph as read from its file: the header (DicomHeader) and the stored values of
// the first frame, kept at their full depth so that the grey picture can be made again under
// another window (GreyMapping) without reading the file again.
//
// Read are the transfer syntaxes Implicit VR Little Endian, Explicit VR Little and Big Endian,
// RLE Lossless, JPEG Baseline (8 bits), JPEG Extended (12 bits), JPEG Lossless (process 14,
// and its selection value 1), JPEG-LS lossless and near-lossless, and JPEG 2000 lossless and
// lossy; 1 to 16 bits stored in 8 or 16 allocated, unsigned or two's complement; MONOCHROME1
// and MONOCHROME2; and colour (RGB, YBR_FULL, YBR_FULL_422 when compressed, YBR_RCT, YBR_ICT,
// PALETTE COLOR), of which only the blue channel is kept, as for every colour picture the
// program opens. Of several frames, only the first is read; DicomHeader::frameCount tells how
// many there are.
//
// An object is only ever made by read, complete; it does not change afterwards, and every
// const member may be called from several threads at once.
class DicomPicture
{
public:
    // Whether the bytes begin as a DICOM file does: "DICM" at byte 128. The first 132 bytes
    // decide, so a caller may pass only those.
    static bool isDicom(const std::uint8_t *data, std::size_t size);

    // Whether the file at path begins as DICOM; false when it cannot be read.
    static bool isDicomFile(const std::string &path);

    // Reads the DICOM file at path, whatever its name. Nothing is returned on failure, with the
    // reason in error (the caller shows "load Error: " and the reason):
    // - the file cannot be read, or is not DICOM;
    // - its structure is damaged or cut short: an element longer than what holds it, compressed
    //   data that end before their frame does; every length is checked against the file before
    //   anything of that length is allocated, and compressed streams must announce the
    //   header's size, samples and bits;
    // - it holds no picture (no Pixel Data), or a picture in a transfer syntax, photometric
    //   interpretation or bit depth that is not read (named in the reason);
    // - the picture is wider or taller than CBitmap::kLargestSide (CBitmap::tooLargeText);
    // - its pixels are not square: "the pixels are not square: ..." with the tag and values;
    // - reading, decoding and showing it would need more than availableBytes of memory: "not
    //   enough memory for a picture of W x H pixels (N MB needed, M MB available)", found from
    //   the header before the picture is decoded;
    // - the compressed data do not decode. The decoding library's exceptions are caught and
    //   its own messages switched off; only the JPEG and JPEG 2000 decoders inside it, which
    //   it gives no switch, still print a line to stderr about a damaged stream.
    static std::unique_ptr<DicomPicture> read(
        const std::string &path, std::string &error, std::uint64_t availableBytes);

    // The same for a file's bytes in memory, as a fuzzer hands them over; the bytes need only
    // live during the call.
    static std::unique_ptr<DicomPicture> read(const std::uint8_t *data, std::size_t size,
        std::string &error, std::uint64_t availableBytes);

    // The header of the DICOM file at path, read without its pixels: only the bytes up to the
    // Pixel Data are read (a few kilobytes, as a rule), with the same checks as read makes of
    // them, of the Pixel Data's length against the file and, uncompressed, against the first
    // frame. False, with the reason, for whatever read refuses from these; compressed data that
    // do not decode are found only by read.
    static bool readHeader(const std::string &path, DicomHeader &header, std::string &error);

    // The same for a whole file's bytes in memory.
    static bool readHeader(
        const std::uint8_t *data, std::size_t size, DicomHeader &header, std::string &error);

    const DicomHeader &header() const { return head; }

    int width() const { return head.width; }

    int height() const { return head.height; }

    // The transfer syntax's name: "JPEG 2000 (Lossless Only)".
    std::string transferSyntaxName() const;

    // RGB, YBR or PALETTE COLOR: the levels are the blue channel (0 .. 255), and no window or
    // padding applies.
    bool isColour() const;

    // MONOCHROME1 or Presentation LUT Shape INVERSE: the lowest values are meant to show white,
    // so the grey picture is complemented after the window, and bone shows white as in
    // MONOCHROME2.
    bool showsInverted() const;

    // The first frame's pixels as levels, width() per row, the top row first: level = stored
    // value - lowestStoredValue(), so 0 .. levelCount() - 1. For colour, the blue channel.
    const std::uint16_t *levels() const { return levelBuffer.get(); }

    // The smallest value the bits stored can hold: 0 when unsigned, -2^(bitsStored - 1) when
    // signed; 0 for colour.
    int lowestStoredValue() const;

    // How many stored values the bits stored can hold: 2^bitsStored, at most 65536; 256 for
    // colour.
    int levelCount() const;

    // The stored value of the first frame's pixel at picture (x, y), 0 at the top left.
    int storedValue(int x, int y) const;

    // Whether a stored value is padding (Pixel Padding Value, up to the Range Limit).
    bool isPadding(int storedValue) const;

    // The modality value of a stored value: the Modality LUT's entry (the first one below its
    // first input, the last above its last), else slope x stored + intercept.
    double modalityValue(int storedValue) const;

    // How many pixels of the first frame have each level; built at the first call.
    const std::vector<std::uint32_t> &histogram() const;

    struct ModalityRange
    {
        double lowest = 0;
        double highest = 0;
    };

    // The smallest and largest modality value of the pixels that are not padding; empty when
    // every pixel is padding.
    std::optional<ModalityRange> modalityRange() const;

    // The modality values at two points of the distribution of the pixels that are not
    // padding: the smallest value v such that at least lowFraction of them are v or below, and
    // likewise for highFraction (fractions from 0 to 1). Empty when every pixel is padding.
    std::optional<ModalityRange> modalityPercentiles(double lowFraction, double highFraction) const;

private:
    DicomPicture() = default;

    bool decode(const std::uint8_t *data, std::size_t size, std::string &error,
        std::uint64_t availableBytes);

    DicomHeader head;
    std::unique_ptr<std::uint16_t[]> levelBuffer;
    mutable std::once_flag histogramOnce;
    mutable std::vector<std::uint32_t> counts;
};
