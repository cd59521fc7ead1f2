#include "core/image/DicomDecode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <gdcmJPEG2000Codec.h>
#include <gdcmJPEGCodec.h>
#include <gdcmJPEGLSCodec.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmTrace.h>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <vector>

namespace DicomDecode {

namespace {

std::size_t pixelCount(const DicomHeader &header)
{
    return static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
}

// Interleaves colour samples that come plane by plane.
void interleave(std::uint16_t *samples, std::size_t pixels)
{
    std::vector<std::uint16_t> planes(samples, samples + 3 * pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            samples[3 * i + c] = planes[c * pixels + i];
}

// One RLE segment: bytes copied literally or repeated, until the segment has given a byte for
// every pixel.
bool unpackSegment(
    const std::uint8_t *in, std::size_t inLength, std::uint8_t *out, std::size_t outLength)
{
    std::size_t at = 0, written = 0;
    while (written < outLength) {
        if (at >= inLength)
            return false;
        const auto n = static_cast<std::int8_t>(in[at++]);
        if (n >= 0) {
            const std::size_t count = static_cast<std::size_t>(n) + 1;
            if (at + count > inLength || written + count > outLength)
                return false;
            std::memcpy(out + written, in + at, count);
            at += count;
            written += count;
        } else if (n != -128) {
            const std::size_t count = static_cast<std::size_t>(1 - n);
            if (at >= inLength || written + count > outLength)
                return false;
            std::memset(out + written, in[at++], count);
            written += count;
        }
    }
    return true;
}

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The JPEG codec, told which of its decoders (8, 12 or 16 bits) the stream needs.
class JpegDecoder : public gdcm::JPEGCodec
{
public:
    void decodeSamplesOf(int precision) { SetBitSample(precision); }
};

class NullBuffer : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }

    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

} // namespace

void quietLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static NullBuffer nothing;
        static std::ostream nowhere(&nothing);
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
        gdcm::Trace::SetStream(nowhere);
    });
}

bool native(const std::uint8_t *data, const DicomScan::Layout &layout, const DicomHeader &header,
    std::uint16_t *samples, std::string &error)
{
    const std::size_t pixels = pixelCount(header);
    const std::size_t count = pixels * static_cast<std::size_t>(header.samplesPerPixel);
    const auto bytes = static_cast<std::size_t>(header.bitsAllocated / 8);
    const DicomScan::Span value = layout.pixelData->value;
    if (value.length < count * bytes) {
        error = "the pixel data end before the first frame does (" + std::to_string(value.length)
            + " of " + std::to_string(count * bytes) + " bytes)";
        return false;
    }
    const std::uint8_t *in = data + value.offset;
    if (bytes == 2 && layout.bigEndian) {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = static_cast<std::uint16_t>(in[2 * i] << 8 | in[2 * i + 1]);
    } else if (bytes == 2 && std::endian::native == std::endian::little) {
        std::memcpy(samples, in, 2 * count);
    } else if (bytes == 2) {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = static_cast<std::uint16_t>(in[2 * i + 1] << 8 | in[2 * i]);
    } else {
        // Bytes held as 16-bit words in a big-endian file come turned round in pairs.
        const std::size_t turn = layout.bigEndian && layout.pixelData->hasVr("OW") ? 1 : 0;
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = in[i ^ turn];
    }
    if (header.samplesPerPixel == 3 && header.planarConfiguration == 1)
        interleave(samples, pixels);
    return true;
}

bool rle(const std::uint8_t *data, const DicomScan::Span &fragment, const DicomHeader &header,
    std::uint16_t *samples, std::string &error)
{
    const std::size_t pixels = pixelCount(header);
    const auto bytes = static_cast<std::size_t>(header.bitsAllocated / 8);
    const std::size_t spp = static_cast<std::size_t>(header.samplesPerPixel);
    const std::uint8_t *in = data + fragment.offset;
    const std::size_t segments = le32(in);
    if (segments != spp * bytes) {
        error = "the RLE data have " + std::to_string(segments) + " segments where "
            + std::to_string(spp * bytes) + " are needed";
        return false;
    }
    std::vector<std::uint8_t> plane(pixels);
    std::fill(samples, samples + pixels * spp, std::uint16_t{0});
    for (std::size_t s = 0; s < segments; ++s) {
        const std::size_t from = le32(in + 4 + 4 * s);
        const std::size_t to = s + 1 < segments ? le32(in + 8 + 4 * s) : fragment.length;
        if (!unpackSegment(in + from, to - from, plane.data(), pixels)) {
            error = "the RLE data are damaged (segment " + std::to_string(s + 1) + ")";
            return false;
        }
        // Segments come sample by sample, each the most significant byte first.
        const std::size_t sample = s / bytes;
        const unsigned shift = static_cast<unsigned>(8 * (bytes - 1 - s % bytes));
        for (std::size_t i = 0; i < pixels; ++i)
            samples[i * spp + sample] |= static_cast<std::uint16_t>(plane[i] << shift);
    }
    return true;
}

bool compressed(const std::uint8_t *stream, std::size_t length, const DicomHeader &header,
    const DicomScan::Codestream &codestream, std::uint16_t *samples, std::string &error)
{
    const std::size_t pixels = pixelCount(header);
    const std::size_t count = pixels * static_cast<std::size_t>(header.samplesPerPixel);
    const DicomScan::Coding coding = DicomScan::codingOf(header.transferSyntaxUid);
    // The codecs are driven directly rather than through the library's picture, whose checks
    // of their results stop the program. Each is told the bits the stream holds, so that it
    // decodes into bytes for 8 bits or fewer and into 16-bit numbers else; the JPEG codec
    // would otherwise pick its decoder by the bits allocated and, for a 12-bit stream in
    // 16-bit pixels, first try one that fails aloud.
    const auto bits = static_cast<unsigned short>(codestream.precision <= 8 ? 8 : 16);
    const bool isSigned =
        coding == DicomScan::Coding::Jpeg2000 ? codestream.isSigned : header.isSigned;
    // Named RGB, a JPEG decoder gives the components as they are coded; JPEG 2000 is named as
    // the header has it, since its decoder undoes the stream's own colour transform.
    gdcm::PhotometricInterpretation::PIType colour = gdcm::PhotometricInterpretation::MONOCHROME2;
    if (header.samplesPerPixel == 3) {
        colour = gdcm::PhotometricInterpretation::RGB;
        if (coding == DicomScan::Coding::Jpeg2000) {
            const auto named = gdcm::PhotometricInterpretation::GetPIType(
                header.photometricInterpretation.c_str());
            if (named != gdcm::PhotometricInterpretation::PI_END
                && named != gdcm::PhotometricInterpretation::UNKNOWN)
                colour = named;
        }
    }
    JpegDecoder jpeg;
    gdcm::JPEGLSCodec jpegLs;
    gdcm::JPEG2000Codec jpeg2000;
    gdcm::ImageCodec &codec = coding == DicomScan::Coding::Jpeg
        ? static_cast<gdcm::ImageCodec &>(jpeg)
        : coding == DicomScan::Coding::JpegLs ? static_cast<gdcm::ImageCodec &>(jpegLs)
                                              : static_cast<gdcm::ImageCodec &>(jpeg2000);
    const unsigned int dimensions[3] = {
        static_cast<unsigned>(header.width), static_cast<unsigned>(header.height), 1};
    codec.SetNumberOfDimensions(2);
    codec.SetDimensions(dimensions);
    codec.SetPlanarConfiguration(0);
    codec.SetPhotometricInterpretation(colour);
    codec.SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(header.samplesPerPixel),
        bits, static_cast<unsigned short>(codestream.precision),
        static_cast<unsigned short>(codestream.precision - 1), isSigned ? 1 : 0));
    if (coding == DicomScan::Coding::Jpeg)
        jpeg.decodeSamplesOf(codestream.precision);

    gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
    gdcm::Fragment fragment;
    fragment.SetByteValue(
        reinterpret_cast<const char *>(stream), static_cast<std::uint32_t>(length));
    fragments->AddFragment(fragment);
    gdcm::DataElement in(gdcm::Tag(0x7FE0, 0x0010));
    in.SetVR(gdcm::VR::OB);
    in.SetValue(*fragments);
    gdcm::DataElement out;
    const std::size_t bytes = bits / 8;
    const gdcm::ByteValue *decoded = nullptr;
    if (codec.Decode(in, out))
        decoded = out.GetByteValue();
    if (!decoded || !decoded->GetPointer() || decoded->GetLength() < count * bytes) {
        error = "the pixel data cannot be decoded as "
            + DicomScan::transferSyntaxName(header.transferSyntaxUid);
        return false;
    }
    if (bytes == 2)
        std::memcpy(samples, decoded->GetPointer(), 2 * count);
    else
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = static_cast<std::uint8_t>(decoded->GetPointer()[i]);
    if (codestream.planes)
        interleave(samples, pixels);
    return true;
}

} // namespace DicomDecode
