#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The structure of a DICOM file, read from its bytes and checked before anything trusts it.
//
// The decoding library of Debian is built with its internal checks switched on: on a damaged
// file its own parser, its RLE decoder and its JPEG header reading stop the whole program. So
// the file is parsed here, every length checked against what holds it, and the library is
// handed nothing but compressed streams whose headers were checked too.
namespace DicomScan {

// Whether the bytes begin as a DICOM file does: "DICM" after the 128-byte preamble.
bool isDicom(const std::uint8_t *data, std::size_t size);

// Bytes [offset, offset + length) of the file.
struct Span
{
    std::size_t offset = 0;
    std::size_t length = 0;
};

// One element of a data set, pointing into the file's bytes.
struct Element
{
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    char vr[2] = {}; // the value representation; two NULs in implicit VR
    Span value; // the value's bytes; empty for a sequence and for compressed pixel data
    std::vector<std::vector<Element>> items; // a sequence's items, each a data set

    bool hasVr(std::string_view name) const { return std::string_view(vr, 2) == name; }
};

struct Layout
{
    std::string transferSyntaxUid; // as the file meta information names it
    bool explicitVr = true;
    bool bigEndian = false; // the data set's numbers, Explicit VR Big Endian
    bool encapsulated = false; // the pixel data are compressed, in fragments
    const Element *pixelData = nullptr; // Pixel Data (7FE0,0010) of the data set, if any
    std::vector<Span> fragments; // when encapsulated: the Basic Offset Table, then each fragment
    // The top-level elements up to the Pixel Data, in the file's order. Those after it (the
    // standard puts nothing there but padding and signatures) are walked and checked, but not
    // taken: the header read alone, which stops at the Pixel Data, sees the same header.
    std::vector<Element> dataSet;
};

// Walks every element of the file, those nested in sequences included, and checks that each
// declared length fits in what holds it. False, with a reason naming the element and its byte
// offset, for a file that does not begin as DICOM, names no transfer syntax, ends inside an
// element, declares a length beyond what holds it, nests sequences or holds elements beyond
// what any picture needs (16 deep, 500000), or whose data set is deflated.
bool scan(const std::uint8_t *data, std::size_t size, Layout &layout, std::string &error);

// The same walk over the first size bytes of a file of fileSize bytes, stopping at the data
// set's Pixel Data, whose declared length is checked against the whole file and whose value is
// neither read nor walked (its span may lie beyond the bytes given; there are no fragments).
// A walk that runs out of the bytes given fails as a cut file does, and one that ends with them
// finds no Pixel Data: in either case more of the file may tell otherwise.
bool scanHeader(const std::uint8_t *data, std::size_t size, std::uint64_t fileSize, Layout &layout,
    std::string &error);

// The first element of a data set with this tag; null when there is none.
const Element *find(
    const std::vector<Element> &dataSet, std::uint16_t group, std::uint16_t element);

// Whether the transfer syntax is one the reader decodes: the three uncompressed ones, RLE, JPEG
// baseline, extended and lossless, JPEG-LS and JPEG 2000.
bool isDecodable(const std::string &transferSyntaxUid);

// The transfer syntax's name as the standard gives it, "Explicit VR Little Endian"; for a UID
// this program does not know, "unknown transfer syntax " and the UID.
std::string transferSyntaxName(const std::string &transferSyntaxUid);

// The kinds of compression the reader decodes.
enum class Coding {
    Native, // uncompressed
    Rle,
    Jpeg, // baseline, extended and lossless
    JpegLs,
    Jpeg2000,
};

// The kind of a decodable transfer syntax.
Coding codingOf(const std::string &transferSyntaxUid);

// The fragments that hold the first of frameCount frames: those before the Basic Offset Table's
// second entry when it has one; else the first fragment when there is one per frame or the data
// are RLE; else the fragments up to the first that ends as a JPEG stream ends (FFD9). Empty
// when no fragment holds data.
std::vector<Span> firstFrameFragments(
    const std::uint8_t *data, const Layout &layout, int frameCount);

// Whether the bytes of the span end as a JPEG or JPEG-LS stream does, with its end marker
// (FFD9), after which one byte may pad the stream to the even length of a fragment.
bool endsAsJpeg(const std::uint8_t *data, const Span &stream);

// The picture a compressed stream announces in its own header.
struct Codestream
{
    int width = 0;
    int height = 0;
    int components = 0; // for RLE, the number of segments
    int precision = 0; // bits per sample
    bool isSigned = false; // JPEG 2000: the samples are signed
    // A JPEG stream of three components that, by its markers and component identifiers, holds
    // YCbCr: a JFIF marker, an Adobe marker with a colour transform, or no marker and
    // components not named R, G and B.
    bool saysYcbcr = false;
    // A JPEG-LS stream of three components coded one after the other, which decodes plane by
    // plane.
    bool planes = false;
};

// Reads and checks the header of the first frame's stream, which must lie whole in its first
// fragment: for JPEG every marker segment up to the scan, which must follow each other without
// stray bytes, with a frame of the kind the transfer syntax names (baseline or extended DCT for
// the lossy syntaxes, lossless for the lossless ones) and, for DCT frames, the one scan a
// sequential stream has; for JPEG-LS its frame header; for JPEG 2000 the size segment of the
// codestream, bare or in a JP2 file, without subsampled components; for RLE the segment table.
// False, with the reason, for anything else.
bool readCodestream(const std::uint8_t *data, const Span &fragment,
    const std::string &transferSyntaxUid, Codestream &codestream, std::string &error);

} // namespace DicomScan
