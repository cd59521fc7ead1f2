#include "core/image/DicomScan.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace DicomScan {

namespace {

constexpr std::size_t kPreambleBytes = 128;
constexpr std::size_t kMetaStart = kPreambleBytes + 4;
constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000, kItemEnd = 0xE00D, kSequenceEnd = 0xE0DD;
// Pictures nest sequences three or four deep; deeper nesting is no picture's.
constexpr int kDeepestNesting = 16;
// A radiograph's header has hundreds of elements, a multi-frame one's some ten thousands; the
// parsed structure of a file of millions of tiny elements would take ten times its size.
constexpr std::size_t kMostElements = 500000;

constexpr std::string_view kImplicitLittle = "1.2.840.10008.1.2";
constexpr std::string_view kExplicitBig = "1.2.840.10008.1.2.2";
constexpr std::string_view kDeflated = "1.2.840.10008.1.2.1.99";

struct Syntax
{
    std::string_view uid;
    std::string_view name;
    bool decodable;
    Coding coding;
};

constexpr std::array kSyntaxes{
    Syntax{kImplicitLittle, "Implicit VR Little Endian", true, Coding::Native},
    Syntax{"1.2.840.10008.1.2.1", "Explicit VR Little Endian", true, Coding::Native},
    Syntax{kExplicitBig, "Explicit VR Big Endian", true, Coding::Native},
    Syntax{kDeflated, "Deflated Explicit VR Little Endian", false, Coding::Native},
    Syntax{"1.2.840.10008.1.2.5", "RLE Lossless", true, Coding::Rle},
    Syntax{"1.2.840.10008.1.2.4.50", "JPEG Baseline (Process 1)", true, Coding::Jpeg},
    Syntax{"1.2.840.10008.1.2.4.51", "JPEG Extended (Process 2 & 4)", true, Coding::Jpeg},
    Syntax{"1.2.840.10008.1.2.4.57", "JPEG Lossless, Non-Hierarchical (Process 14)", true,
        Coding::Jpeg},
    Syntax{"1.2.840.10008.1.2.4.70",
        "JPEG Lossless, Non-Hierarchical, First-Order Prediction (Process 14 [Selection "
        "Value 1])",
        true, Coding::Jpeg},
    Syntax{"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", true, Coding::JpegLs},
    Syntax{"1.2.840.10008.1.2.4.81", "JPEG-LS Lossy (Near-Lossless)", true, Coding::JpegLs},
    Syntax{"1.2.840.10008.1.2.4.90", "JPEG 2000 (Lossless Only)", true, Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.91", "JPEG 2000", true, Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.92", "JPEG 2000 Part 2 Multi-component (Lossless Only)", false,
        Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.93", "JPEG 2000 Part 2 Multi-component", false, Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.100", "MPEG2 Main Profile / Main Level", false, Coding::Native},
    Syntax{"1.2.840.10008.1.2.4.101", "MPEG2 Main Profile / High Level", false, Coding::Native},
    Syntax{"1.2.840.10008.1.2.4.102", "MPEG-4 AVC/H.264 High Profile / Level 4.1", false,
        Coding::Native},
    Syntax{"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000 (Lossless Only)", false,
        Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000 with RPCL Options (Lossless Only)",
        false, Coding::Jpeg2000},
    Syntax{"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000", false, Coding::Jpeg2000},
};

const Syntax *syntaxOf(std::string_view uid)
{
    for (const Syntax &syntax : kSyntaxes)
        if (syntax.uid == uid)
            return &syntax;
    return nullptr;
}

std::string tagText(std::uint16_t group, std::uint16_t element)
{
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", static_cast<unsigned>(group),
        static_cast<unsigned>(element));
    return text;
}

// Value representations whose length takes four bytes after two reserved ones.
bool hasLongLength(char a, char b)
{
    static constexpr std::array<std::string_view, 13> kLong{
        "OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    const char vr[2] = {a, b};
    return std::find(kLong.begin(), kLong.end(), std::string_view(vr, 2)) != kLong.end();
}

bool isVrLetter(std::uint8_t c)
{
    return c >= 'A' && c <= 'Z';
}

class Walker
{
public:
    Walker(const std::uint8_t *bytes, std::size_t count, bool bigEndian, Layout &result,
        std::string &reason)
        : data(bytes), size(count), big(bigEndian), layout(result), error(reason)
    {}

    // Stops the walk at the data set's Pixel Data, of a file of fileSize bytes.
    void stopAtPixelData(std::uint64_t fileSize) { headerOnlyOf = fileSize; }

    bool meta(std::size_t &at);
    bool dataSet(std::size_t &at, std::size_t end, bool explicitVr, int depth, bool inItem,
        std::vector<Element> &out);

private:
    std::uint16_t u16(std::size_t at) const
    {
        return big ? static_cast<std::uint16_t>(data[at] << 8 | data[at + 1])
                   : static_cast<std::uint16_t>(data[at + 1] << 8 | data[at]);
    }

    std::uint32_t u32(std::size_t at) const
    {
        const std::uint32_t a = u16(at), b = u16(at + 2);
        return big ? a << 16 | b : b << 16 | a;
    }

    bool fail(const std::string &what, std::size_t at)
    {
        error = what + " (at byte " + std::to_string(at) + ")";
        return false;
    }

    bool sequence(std::size_t &at, std::size_t end, bool undefined, bool explicitVr, int depth,
        Element &owner);

    // Adds the element to its data set, unless it follows the Pixel Data at the top level.
    void take(Element &&e, bool topLevel, bool pixelData, std::vector<Element> &out)
    {
        if (topLevel && pastPixelData)
            return;
        pastPixelData = pastPixelData || pixelData;
        out.push_back(std::move(e));
    }

    bool fragments(std::size_t &at, std::size_t end);

    const std::uint8_t *data;
    std::size_t size;
    bool big;
    Layout &layout;
    std::string &error;
    std::size_t elements = 0;
    std::uint64_t headerOnlyOf = 0; // the file's size when the walk stops at the Pixel Data
    bool pastPixelData = false; // the data set's Pixel Data has been taken
};

bool Walker::meta(std::size_t &at)
{
    while (size - at >= 8 && u16(at) == 0x0002) {
        const std::uint16_t element = u16(at + 2);
        std::size_t header = 8;
        std::uint32_t length;
        if (isVrLetter(data[at + 4]) && isVrLetter(data[at + 5])) {
            if (hasLongLength(static_cast<char>(data[at + 4]), static_cast<char>(data[at + 5]))) {
                if (size - at < 12)
                    return fail("the file ends inside the file meta information", at);
                header = 12;
                length = u32(at + 8);
            } else {
                length = u16(at + 6);
            }
        } else {
            // Some writers put the file meta information in implicit VR.
            length = u32(at + 4);
        }
        if (length == kUndefinedLength || length > size - at - header)
            return fail("the element " + tagText(0x0002, element) + " claims "
                    + std::to_string(length) + " bytes, more than the file holds",
                at);
        if (element == 0x0010)
            layout.transferSyntaxUid =
                std::string(reinterpret_cast<const char *>(data + at + header),
                    static_cast<std::size_t>(length));
        at += header + length;
    }
    std::string &uid = layout.transferSyntaxUid;
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' '))
        uid.pop_back();
    return true;
}

bool Walker::dataSet(std::size_t &at, std::size_t end, bool explicitVr, int depth, bool inItem,
    std::vector<Element> &out)
{
    const bool topLevel = depth == 0;
    while (at < end) {
        // A few bytes of padding after the last element are left alone, as readers do.
        if (end - at < 8) {
            if (topLevel)
                return true;
            return fail("the file ends inside an element", at);
        }
        const std::size_t start = at;
        if (++elements > kMostElements)
            return fail(
                "the header holds more than " + std::to_string(kMostElements) + " elements", at);
        Element e;
        e.group = u16(at);
        e.element = u16(at + 2);
        if (e.group == kItemGroup) {
            if (inItem && e.element == kItemEnd) {
                at += 8;
                return true;
            }
            return fail(
                "the item tag " + tagText(e.group, e.element) + " stands outside a sequence", at);
        }
        std::size_t header = 8;
        std::uint32_t length;
        if (explicitVr) {
            if (!isVrLetter(data[at + 4]) || !isVrLetter(data[at + 5]))
                return fail(
                    "the element " + tagText(e.group, e.element) + " has no value representation",
                    at);
            e.vr[0] = static_cast<char>(data[at + 4]);
            e.vr[1] = static_cast<char>(data[at + 5]);
            if (hasLongLength(e.vr[0], e.vr[1])) {
                if (end - at < 12)
                    return fail(
                        "the file ends inside the element " + tagText(e.group, e.element), at);
                header = 12;
                length = u32(at + 8);
            } else {
                length = u16(at + 6);
            }
        } else {
            length = u32(at + 4);
        }
        at += header;
        const bool pixelData =
            topLevel && !pastPixelData && e.group == 0x7FE0 && e.element == 0x0010;
        const bool unknown = e.hasVr("UN");
        if (pixelData && headerOnlyOf > 0) {
            if (length == kUndefinedLength) {
                layout.encapsulated = explicitVr;
            } else if (length > headerOnlyOf - at) {
                return fail("the element " + tagText(e.group, e.element) + " claims "
                        + std::to_string(length) + " bytes, more than the file holds",
                    start);
            } else {
                e.value = {at, length};
            }
            out.push_back(std::move(e));
            at = end;
            return true;
        }
        if (length == kUndefinedLength) {
            if (pixelData && explicitVr) {
                layout.encapsulated = true;
                if (!fragments(at, end))
                    return false;
            } else if (explicitVr && !e.hasVr("SQ") && !unknown) {
                return fail("the element " + tagText(e.group, e.element) + " has no length", start);
            } else if (!sequence(at, end, true, explicitVr && !unknown, depth + 1, e)) {
                // An unknown value of undefined length is a sequence in implicit VR.
                return false;
            }
            take(std::move(e), topLevel, pixelData, out);
            continue;
        }
        if (length > end - at)
            return fail("the element " + tagText(e.group, e.element) + " claims "
                    + std::to_string(length) + " bytes, more than the file holds",
                start);
        // An implicit or unknown value that begins with an item is a sequence.
        const bool startsWithItem = length >= 8 && u16(at) == kItemGroup && u16(at + 2) == kItem;
        if (e.hasVr("SQ") || (!pixelData && startsWithItem && (!explicitVr || unknown))) {
            std::size_t inner = at;
            if (!sequence(inner, at + length, false, explicitVr && !unknown, depth + 1, e))
                return false;
        } else {
            e.value = {at, length};
        }
        take(std::move(e), topLevel, pixelData, out);
        at += length;
    }
    if (inItem)
        return fail("an item has no end", at);
    return true;
}

bool Walker::sequence(
    std::size_t &at, std::size_t end, bool undefined, bool explicitVr, int depth, Element &owner)
{
    if (depth > kDeepestNesting)
        return fail(
            "sequences are nested more than " + std::to_string(kDeepestNesting) + " deep", at);
    for (;;) {
        if (!undefined && at == end)
            return true;
        if (end - at < 8)
            return fail("the file ends inside a sequence", at);
        const std::uint16_t group = u16(at), element = u16(at + 2);
        const std::uint32_t length = u32(at + 4);
        if (group == kItemGroup && element == kSequenceEnd && undefined) {
            at += 8;
            return true;
        }
        if (group != kItemGroup || element != kItem)
            return fail(
                "a sequence holds " + tagText(group, element) + " where an item belongs", at);
        at += 8;
        if (++elements > kMostElements)
            return fail("the header holds more than " + std::to_string(kMostElements) + " elements",
                at - 8);
        owner.items.emplace_back();
        if (length == kUndefinedLength) {
            if (!dataSet(at, end, explicitVr, depth, true, owner.items.back()))
                return false;
        } else {
            if (length > end - at)
                return fail("an item claims " + std::to_string(length)
                        + " bytes, more than its sequence holds",
                    at - 8);
            std::size_t inner = at;
            if (!dataSet(inner, at + length, explicitVr, depth, false, owner.items.back()))
                return false;
            at += length;
        }
    }
}

bool Walker::fragments(std::size_t &at, std::size_t end)
{
    for (;;) {
        if (end - at < 8)
            return fail("the file ends inside the compressed pixel data", at);
        const std::uint16_t group = u16(at), element = u16(at + 2);
        const std::uint32_t length = u32(at + 4);
        if (group == kItemGroup && element == kSequenceEnd) {
            at += 8;
            return true;
        }
        if (group != kItemGroup || element != kItem)
            return fail("the compressed pixel data hold " + tagText(group, element)
                    + " where a fragment belongs",
                at);
        if (length == kUndefinedLength || length > end - at - 8)
            return fail("a fragment of the pixel data claims " + std::to_string(length)
                    + " bytes, more than the file holds",
                at);
        layout.fragments.push_back({at + 8, length});
        at += 8 + length;
    }
}

std::uint32_t be16(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
}

std::uint32_t be32(const std::uint8_t *p)
{
    return be16(p) << 16 | be16(p + 2);
}

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// JPEG and JPEG-LS share the marker structure. The decoder stops the program on any warning
// while it reads the header (stray bytes, an unknown JFIF version, an odd Adobe transform, a
// sequential scan with progressive parameters), so the header must be clean up to its scan.
bool jpegHeader(const std::uint8_t *p, std::size_t n, Coding coding, bool lossless, Codestream &c,
    std::string &error)
{
    const auto refuse = [&error](const std::string &why) {
        error = "the JPEG stream " + why;
        return false;
    };
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return refuse("does not begin as a JPEG stream");
    std::size_t at = 2;
    bool frame = false, jfif = false, adobe = false, namedRgb = false, sequential = false;
    int adobeTransform = 0;
    for (;;) {
        if (at + 4 > n)
            return refuse("ends before its scan");
        if (p[at] != 0xFF)
            return refuse("has stray bytes between its marker segments");
        std::uint8_t marker = p[at + 1];
        while (marker == 0xFF && at + 5 <= n) // fill bytes
            marker = p[++at + 1];
        const std::size_t length = be16(p + at + 2);
        if (length < 2 || at + 2 + length > n)
            return refuse("has a marker segment that runs past its fragment");
        const std::uint8_t *segment = p + at + 4;
        const std::size_t bytes = length - 2;
        const bool dctFrame = marker == 0xC0 || marker == 0xC1;
        if (dctFrame || marker == 0xC3 || marker == 0xF7) {
            if (frame)
                return refuse("has two frame headers");
            if (coding == Coding::JpegLs ? marker != 0xF7 : (lossless ? marker != 0xC3 : !dctFrame))
                return refuse("is not coded as its transfer syntax says");
            if (bytes < 6 || bytes < 6 + 3 * static_cast<std::size_t>(segment[5]))
                return refuse("has a damaged frame header");
            c.precision = segment[0];
            c.height = static_cast<int>(be16(segment + 1));
            c.width = static_cast<int>(be16(segment + 3));
            c.components = segment[5];
            for (int i = 0; i < c.components; ++i) {
                const std::uint8_t sampling = segment[6 + 3 * i + 1];
                if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1
                    || (sampling & 15) > 4)
                    return refuse("has a damaged frame header");
            }
            namedRgb =
                c.components == 3 && segment[6] == 'R' && segment[9] == 'G' && segment[12] == 'B';
            sequential = dctFrame;
            frame = true;
        } else if (marker == 0xDA) {
            if (!frame)
                return refuse("has a scan before its frame header");
            if (bytes < 1 || bytes != 4 + 2 * static_cast<std::size_t>(segment[0]))
                return refuse("has a damaged scan header");
            const std::uint8_t *end = segment + 1 + 2 * segment[0];
            if (sequential && (end[0] != 0 || end[1] != 63 || end[2] != 0))
                return refuse("has a scan that a sequential stream cannot have");
            // JPEG-LS: the scan's components, then NEAR and the interleave mode.
            c.planes =
                coding == Coding::JpegLs && c.components == 3 && (segment[0] == 1 || end[1] == 0);
            break;
        } else if (marker == 0xE0) {
            if (bytes >= 14 && std::memcmp(segment, "JFIF", 5) == 0) {
                if (segment[5] != 1)
                    return refuse("has a JFIF marker of an unknown version");
                jfif = true;
            }
        } else if (marker == 0xEE) {
            if (bytes >= 12 && std::memcmp(segment, "Adobe", 5) == 0) {
                adobe = true;
                adobeTransform = segment[11];
            }
        } else if (!(marker == 0xC4 || marker == 0xDB || marker == 0xDD || marker == 0xFE
                       || (marker > 0xE0 && marker <= 0xEF)
                       || (coding == Coding::JpegLs && marker == 0xF8))) {
            // Progressive, hierarchical and arithmetic coding, and markers out of place.
            char text[8];
            std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(marker));
            return refuse(std::string("has a marker (FF") + text + ") that is not read");
        }
        at += 2 + length;
    }
    if (c.width == 0 || c.height == 0)
        return refuse("gives no picture size");
    if (c.components != 1 && c.components != 3)
        return refuse("has " + std::to_string(c.components) + " components");
    if (coding == Coding::Jpeg && !lossless && c.precision != 8 && c.precision != 12)
        return refuse("has " + std::to_string(c.precision) + "-bit samples, not 8 or 12");
    if (c.precision < 2 || c.precision > 16)
        return refuse("has " + std::to_string(c.precision) + "-bit samples");
    if (adobe && c.components == 3 && adobeTransform != 0 && adobeTransform != 1)
        return refuse("has an Adobe marker with an unknown colour transform");
    c.saysYcbcr = c.components == 3 && (jfif || (adobe ? adobeTransform == 1 : !namedRgb));
    return true;
}

bool jpeg2000Size(const std::uint8_t *p, std::size_t n, Codestream &c, std::string &error)
{
    std::size_t at = 0;
    // A JP2 file: the codestream is the contents of its "jp2c" box.
    if (n >= 12 && be32(p) == 12 && std::memcmp(p + 4, "jP  ", 4) == 0) {
        bool found = false;
        while (at + 8 <= n && !found) {
            std::uint64_t boxLength = be32(p + at);
            std::size_t header = 8;
            if (boxLength == 1 && at + 16 <= n) {
                boxLength = static_cast<std::uint64_t>(be32(p + at + 8)) << 32 | be32(p + at + 12);
                header = 16;
            }
            if (std::memcmp(p + at + 4, "jp2c", 4) == 0) {
                at += header;
                found = true;
            } else if (boxLength < header || boxLength > n - at) {
                break;
            } else {
                at += static_cast<std::size_t>(boxLength);
            }
        }
        if (!found) {
            error = "the JP2 file holds no codestream";
            return false;
        }
    }
    // SOC, then SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, four tile fields, Csiz, then three
    // bytes per component: its precision and signedness, and its subsampling.
    if (at + 42 > n || be16(p + at) != 0xFF4F || be16(p + at + 2) != 0xFF51) {
        error = "the compressed picture does not begin as a JPEG 2000 codestream";
        return false;
    }
    const std::uint8_t *siz = p + at + 4;
    const std::uint32_t xsiz = be32(siz + 4), ysiz = be32(siz + 8);
    const std::uint32_t xosiz = be32(siz + 12), yosiz = be32(siz + 16);
    const std::uint32_t csiz = be16(siz + 36);
    if (xosiz >= xsiz || yosiz >= ysiz || csiz == 0 || at + 42 + 3 * csiz > n) {
        error = "the JPEG 2000 codestream's size segment is damaged";
        return false;
    }
    c.width = static_cast<int>(std::min<std::uint32_t>(xsiz - xosiz, 0x7FFFFFFF));
    c.height = static_cast<int>(std::min<std::uint32_t>(ysiz - yosiz, 0x7FFFFFFF));
    c.components = static_cast<int>(std::min<std::uint32_t>(csiz, 1000));
    c.precision = 0;
    for (std::uint32_t i = 0; i < csiz; ++i) {
        const std::uint8_t *component = siz + 38 + 3 * i;
        const int precision = (component[0] & 0x7F) + 1;
        if (i > 0 && precision != c.precision) {
            error = "the JPEG 2000 components differ in depth";
            return false;
        }
        c.precision = precision;
        c.isSigned = (component[0] & 0x80) != 0;
        if (component[1] != 1 || component[2] != 1) {
            error = "the JPEG 2000 codestream has subsampled components";
            return false;
        }
    }
    return true;
}

bool rleSegments(const std::uint8_t *p, std::size_t n, Codestream &c, std::string &error)
{
    if (n < 64) {
        error = "the RLE header is cut short";
        return false;
    }
    const std::uint32_t segments = le32(p);
    if (segments == 0 || segments > 15) {
        error = "the RLE header names " + std::to_string(segments) + " segments";
        return false;
    }
    std::uint32_t previous = 63;
    for (std::uint32_t i = 0; i < segments; ++i) {
        const std::uint32_t offset = le32(p + 4 + 4 * i);
        if (offset <= previous || offset >= n) {
            error = "the RLE header's segment offsets are damaged";
            return false;
        }
        previous = offset;
    }
    c.components = static_cast<int>(segments);
    return true;
}

} // namespace

bool isDicom(const std::uint8_t *data, std::size_t size)
{
    return size >= kMetaStart && std::memcmp(data + kPreambleBytes, "DICM", 4) == 0;
}

namespace {

bool walk(const std::uint8_t *data, std::size_t size, std::uint64_t headerOnlyOf, Layout &layout,
    std::string &error)
{
    layout = Layout{};
    if (!isDicom(data, size)) {
        error = "the file is not DICOM (no \"DICM\" after the 128-byte preamble)";
        return false;
    }
    std::size_t at = kMetaStart;
    Walker meta(data, size, false, layout, error);
    if (!meta.meta(at))
        return false;
    const std::string &uid = layout.transferSyntaxUid;
    if (uid.empty()) {
        error = "the file names no transfer syntax";
        return false;
    }
    if (uid == kDeflated) {
        error =
            "the file's data set is deflated (" + std::string(kDeflated) + "), which is not read";
        return false;
    }
    layout.explicitVr = uid != kImplicitLittle;
    layout.bigEndian = uid == kExplicitBig;
    Walker body(data, size, layout.bigEndian, layout, error);
    if (headerOnlyOf > 0)
        body.stopAtPixelData(headerOnlyOf);
    if (!body.dataSet(at, size, layout.explicitVr, 0, false, layout.dataSet))
        return false;
    layout.pixelData = find(layout.dataSet, 0x7FE0, 0x0010);
    return true;
}

} // namespace

bool scan(const std::uint8_t *data, std::size_t size, Layout &layout, std::string &error)
{
    return walk(data, size, 0, layout, error);
}

bool scanHeader(const std::uint8_t *data, std::size_t size, std::uint64_t fileSize, Layout &layout,
    std::string &error)
{
    return walk(data, size, std::max<std::uint64_t>(fileSize, size), layout, error);
}

const Element *find(const std::vector<Element> &dataSet, std::uint16_t group, std::uint16_t element)
{
    for (const Element &e : dataSet)
        if (e.group == group && e.element == element)
            return &e;
    return nullptr;
}

bool endsAsJpeg(const std::uint8_t *data, const Span &stream)
{
    std::size_t end = stream.offset + stream.length;
    // A fragment has an even length; an odd stream is padded with one byte.
    if (stream.length >= 3 && data[end - 1] != 0xD9)
        --end;
    return end - stream.offset >= 2 && data[end - 2] == 0xFF && data[end - 1] == 0xD9;
}

bool isDecodable(const std::string &transferSyntaxUid)
{
    const Syntax *syntax = syntaxOf(transferSyntaxUid);
    return syntax && syntax->decodable;
}

std::string transferSyntaxName(const std::string &transferSyntaxUid)
{
    const Syntax *syntax = syntaxOf(transferSyntaxUid);
    return syntax ? std::string(syntax->name) : "unknown transfer syntax " + transferSyntaxUid;
}

Coding codingOf(const std::string &transferSyntaxUid)
{
    const Syntax *syntax = syntaxOf(transferSyntaxUid);
    return syntax ? syntax->coding : Coding::Native;
}

std::vector<Span> firstFrameFragments(
    const std::uint8_t *data, const Layout &layout, int frameCount)
{
    if (layout.fragments.size() < 2)
        return {};
    const Span &table = layout.fragments.front();
    const std::vector<Span> frames(layout.fragments.begin() + 1, layout.fragments.end());
    if (frameCount <= 1)
        return frames;
    // The offset table counts from the first byte of the first fragment's item header.
    if (table.length >= 8) {
        const std::size_t second = le32(data + table.offset + 4);
        const std::size_t first = frames.front().offset - 8;
        std::vector<Span> taken;
        for (const Span &f : frames)
            if (f.offset - 8 - first < second)
                taken.push_back(f);
        if (!taken.empty())
            return taken;
    }
    if (frames.size() == static_cast<std::size_t>(frameCount)
        || codingOf(layout.transferSyntaxUid) == Coding::Rle)
        return {frames.front()};
    std::vector<Span> taken;
    for (const Span &f : frames) {
        taken.push_back(f);
        if (endsAsJpeg(data, f))
            break;
    }
    return taken;
}

bool readCodestream(const std::uint8_t *data, const Span &fragment,
    const std::string &transferSyntaxUid, Codestream &codestream, std::string &error)
{
    codestream = Codestream{};
    const std::uint8_t *p = data + fragment.offset;
    const std::size_t n = fragment.length;
    const Coding coding = codingOf(transferSyntaxUid);
    switch (coding) {
    case Coding::Rle:
        return rleSegments(p, n, codestream, error);
    case Coding::Jpeg2000:
        return jpeg2000Size(p, n, codestream, error);
    case Coding::Jpeg:
    case Coding::JpegLs:
        return jpegHeader(p, n, coding,
            transferSyntaxUid == "1.2.840.10008.1.2.4.57"
                || transferSyntaxUid == "1.2.840.10008.1.2.4.70",
            codestream, error);
    case Coding::Native:
        break;
    }
    error = "the pixel data are not compressed";
    return false;
}

} // namespace DicomScan
