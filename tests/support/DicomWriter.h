#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes DICOM files for the tests with the same library the program reads them with: a header
// of the test's choice and pixels given as stored values, in any transfer syntax the library
// can write, compressed by the library where the syntax says so.

namespace DicomUid {
inline const std::string kImplicitLittle = "1.2.840.10008.1.2";
inline const std::string kExplicitLittle = "1.2.840.10008.1.2.1";
inline const std::string kExplicitBig = "1.2.840.10008.1.2.2";
inline const std::string kRle = "1.2.840.10008.1.2.5";
inline const std::string kJpegBaseline = "1.2.840.10008.1.2.4.50";
inline const std::string kJpegExtended = "1.2.840.10008.1.2.4.51";
inline const std::string kJpegLossless = "1.2.840.10008.1.2.4.57";
inline const std::string kJpegLosslessSv1 = "1.2.840.10008.1.2.4.70";
inline const std::string kJpegLsLossless = "1.2.840.10008.1.2.4.80";
inline const std::string kJpegLsNearLossless = "1.2.840.10008.1.2.4.81";
inline const std::string kJpeg2000Lossless = "1.2.840.10008.1.2.4.90";
inline const std::string kJpeg2000 = "1.2.840.10008.1.2.4.91";
} // namespace DicomUid

// One header element: its tag, its value representation and its value as the file holds it
// (text as it is, numbers in binary little-endian; the library orders them for big-endian
// files), or, for "SQ", its items. An empty value representation takes the tag out of the file.
struct DicomElement
{
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::string vr;
    std::string value;
    std::vector<std::vector<DicomElement>> items;
};

// A text element: DicomElement{group, element, vr, text}.
DicomElement dicomText(
    std::uint16_t group, std::uint16_t element, const std::string &vr, const std::string &text);

// Unsigned or signed 16-bit values ("US", "SS") or 16-bit words ("OW"), little-endian.
DicomElement dicomWords(std::uint16_t group, std::uint16_t element, const std::string &vr,
    const std::vector<int> &values);

DicomElement dicomSequence(
    std::uint16_t group, std::uint16_t element, std::vector<std::vector<DicomElement>> items);

struct DicomPixels
{
    int width = 1;
    int height = 1;
    int frames = 1;
    int bitsAllocated = 16;
    int bitsStored = 16;
    bool isSigned = false;
    int samplesPerPixel = 1;
    std::string photometric = "MONOCHROME2";
    // frames x height x width pixels, each samplesPerPixel values in a row (R, G, B), the top
    // row first; signed values as negative numbers.
    std::vector<int> values;
};

// The file's bytes: the file meta information, a DX image's identity, the picture's
// description (size, bits, photometric interpretation, number of frames), the header elements
// given (which replace the writer's own of the same tag), and the pixels in the transfer
// syntax. Lossy syntaxes are written at fixed settings: JPEG at quality 90, JPEG-LS with an
// error of at most 2, JPEG 2000 at a compression ratio of 5. Throws std::runtime_error when the
// library cannot write them. The library's JPEG 2000 encoder writes past its buffer when the
// stream comes out larger than the raw pixels, as for a few pixels or noise: JPEG 2000 pictures
// of the tests are smooth and a thousand pixels or more.
std::string writeDicom(const DicomPixels &pixels, const std::vector<DicomElement> &header,
    const std::string &transferSyntaxUid = DicomUid::kExplicitLittle);
