#include "core/image/DicomHeader.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "core/image/CBitmap.h"
#include "core/image/DicomText.h"

namespace {

// Row and column spacing may differ by this fraction of the larger before the pixels count as
// not square: every measurement takes one scale for both directions.
constexpr double kSquarePixelTolerance = 0.001;

struct Tag
{
    std::uint16_t group, element;
};

constexpr Tag kSpecificCharacterSet{0x0008, 0x0005};
constexpr Tag kStudyDate{0x0008, 0x0020};
constexpr Tag kAcquisitionDate{0x0008, 0x0022};
constexpr Tag kContentDate{0x0008, 0x0023};
constexpr Tag kPatientName{0x0010, 0x0010};
constexpr Tag kDistanceSourceToDetector{0x0018, 0x1110};
constexpr Tag kMagnificationFactor{0x0018, 0x1114};
constexpr Tag kImagerPixelSpacing{0x0018, 0x1164};
constexpr Tag kSamplesPerPixel{0x0028, 0x0002};
constexpr Tag kPhotometricInterpretation{0x0028, 0x0004};
constexpr Tag kPlanarConfiguration{0x0028, 0x0006};
constexpr Tag kNumberOfFrames{0x0028, 0x0008};
constexpr Tag kRows{0x0028, 0x0010};
constexpr Tag kColumns{0x0028, 0x0011};
constexpr Tag kPixelSpacing{0x0028, 0x0030};
constexpr Tag kPixelAspectRatio{0x0028, 0x0034};
constexpr Tag kPixelSpacingCalibrationType{0x0028, 0x0A02};
constexpr Tag kBitsAllocated{0x0028, 0x0100};
constexpr Tag kBitsStored{0x0028, 0x0101};
constexpr Tag kHighBit{0x0028, 0x0102};
constexpr Tag kPixelRepresentation{0x0028, 0x0103};
constexpr Tag kPixelPaddingValue{0x0028, 0x0120};
constexpr Tag kPixelPaddingRangeLimit{0x0028, 0x0121};
constexpr Tag kWindowCenter{0x0028, 0x1050};
constexpr Tag kWindowWidth{0x0028, 0x1051};
constexpr Tag kRescaleIntercept{0x0028, 0x1052};
constexpr Tag kRescaleSlope{0x0028, 0x1053};
constexpr Tag kWindowExplanation{0x0028, 0x1055};
constexpr Tag kVoiLutFunction{0x0028, 0x1056};
constexpr Tag kModalityLutSequence{0x0028, 0x3000};
constexpr Tag kLutDescriptor{0x0028, 0x3002};
constexpr Tag kLutExplanation{0x0028, 0x3003};
constexpr Tag kLutData{0x0028, 0x3006};
constexpr Tag kVoiLutSequence{0x0028, 0x3010};
constexpr Tag kBluePaletteDescriptor{0x0028, 0x1103};
constexpr Tag kBluePaletteData{0x0028, 0x1203};
constexpr Tag kSegmentedBluePaletteData{0x0028, 0x1223};
constexpr Tag kPresentationLutShape{0x2050, 0x0020};

using DicomScan::Element;
using DataSet = std::vector<Element>;

// The values of one file's elements: its bytes, and the order of its binary numbers.
class Values
{
public:
    Values(const std::uint8_t *bytes, bool bigEndian) : data(bytes), big(bigEndian) {}

    std::string_view bytes(const Element *e) const
    {
        if (!e)
            return {};
        return {reinterpret_cast<const char *>(data) + e->value.offset, e->value.length};
    }

    // The index-th 16-bit number of the value; empty beyond its end.
    std::optional<std::uint16_t> word(const Element *e, std::size_t index = 0) const
    {
        const std::string_view b = bytes(e);
        if (b.size() < 2 * (index + 1))
            return std::nullopt;
        const auto first = static_cast<std::uint8_t>(b[2 * index]);
        const auto second = static_cast<std::uint8_t>(b[2 * index + 1]);
        return static_cast<std::uint16_t>(big ? first << 8 | second : second << 8 | first);
    }

private:
    const std::uint8_t *data;
    bool big;
};

const Element *find(const DataSet &ds, Tag tag)
{
    return DicomScan::find(ds, tag.group, tag.element);
}

std::string_view textOf(const Values &v, const DataSet &ds, Tag tag)
{
    return DicomText::trimmed(v.bytes(find(ds, tag)));
}

std::optional<std::uint16_t> u16Of(
    const Values &v, const DataSet &ds, Tag tag, std::size_t index = 0)
{
    return v.word(find(ds, tag), index);
}

std::vector<double> numbersOf(const Values &v, const DataSet &ds, Tag tag)
{
    std::vector<double> numbers;
    const std::string_view text = textOf(v, ds, tag);
    if (text.empty())
        return numbers;
    for (const std::string_view part : DicomText::values(text)) {
        double n = 0;
        if (!DicomText::toNumber(part, n))
            return {};
        numbers.push_back(n);
    }
    return numbers;
}

std::optional<double> numberOf(const Values &v, const DataSet &ds, Tag tag)
{
    const std::vector<double> numbers = numbersOf(v, ds, tag);
    if (numbers.empty())
        return std::nullopt;
    return numbers.front();
}

std::string tagName(Tag tag)
{
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", static_cast<unsigned>(tag.group),
        static_cast<unsigned>(tag.element));
    return text;
}

// The items of a sequence, each a data set; none when the tag is absent or no sequence.
const std::vector<DataSet> &itemsOf(const DataSet &ds, Tag tag)
{
    static const std::vector<DataSet> kNone;
    const Element *e = find(ds, tag);
    return e ? e->items : kNone;
}

std::string numberText(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A date as "yyyymmdd", from DA or the older "yyyy.mm.dd"; empty when it is no valid date.
std::string dateOf(std::string_view text)
{
    std::string digits;
    if (text.size() == 10 && text[4] == '.' && text[7] == '.')
        digits = std::string(text.substr(0, 4)) + std::string(text.substr(5, 2))
            + std::string(text.substr(8, 2));
    else
        digits = std::string(text);
    if (digits.size() != 8)
        return {};
    for (const char c : digits)
        if (c < '0' || c > '9')
            return {};
    const int month = std::stoi(digits.substr(4, 2)), day = std::stoi(digits.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    return digits;
}

// The lookup table of a LUT item; false, with why, when it is damaged. Values that the
// descriptor gives signed (its VR, or signed pixels) count as such for the first input.
bool lutOf(const Values &v, const DataSet &item, bool signedInput, DicomHeader::Lut &lut,
    std::string &why, Tag descriptorTag = kLutDescriptor, Tag dataTag = kLutData)
{
    const std::optional<std::uint16_t> count = u16Of(v, item, descriptorTag, 0);
    const std::optional<std::uint16_t> first = u16Of(v, item, descriptorTag, 1);
    const std::optional<std::uint16_t> bits = u16Of(v, item, descriptorTag, 2);
    if (!count || !first || !bits) {
        why = "its descriptor " + tagName(descriptorTag) + " is missing or short";
        return false;
    }
    const bool signedFirst = signedInput || find(item, descriptorTag)->hasVr("SS");
    const std::size_t entries = *count == 0 ? 65536 : *count;
    if (*bits < 1 || *bits > 16) {
        why = "its descriptor " + tagName(descriptorTag) + " gives " + std::to_string(*bits)
            + " bits per entry";
        return false;
    }
    const Element *dataElement = find(item, dataTag);
    const std::string_view data = v.bytes(dataElement);
    lut.entries.resize(entries);
    if (data.size() >= 2 * entries) {
        // One entry per 16-bit word, whatever the entry's bits.
        for (std::size_t i = 0; i < entries; ++i)
            lut.entries[i] = *v.word(dataElement, i);
    } else if (*bits <= 8 && data.size() >= entries) {
        // Eight-bit entries packed two to a word.
        for (std::size_t i = 0; i < entries; ++i)
            lut.entries[i] = static_cast<std::uint8_t>(data[i]);
    } else {
        why = "its data " + tagName(dataTag) + " hold " + std::to_string(data.size())
            + " bytes for " + std::to_string(entries) + " entries";
        return false;
    }
    const std::uint16_t largest = static_cast<std::uint16_t>((1u << *bits) - 1);
    for (std::uint16_t &e : lut.entries)
        e = std::min(e, largest);
    lut.firstMapped = signedFirst ? static_cast<std::int16_t>(*first) : *first;
    lut.bitsPerEntry = *bits;
    return true;
}

DicomHeader::VoiFunction functionOf(std::string_view name, std::vector<std::string> &warnings)
{
    if (name == "LINEAR_EXACT")
        return DicomHeader::VoiFunction::LinearExact;
    if (name == "SIGMOID")
        return DicomHeader::VoiFunction::Sigmoid;
    if (!name.empty() && name != "LINEAR")
        warnings.push_back("the VOI LUT Function \"" + std::string(name)
            + "\" is not known; the windows are linear");
    return DicomHeader::VoiFunction::Linear;
}

bool isPhotometricRead(std::string_view pi, int samples)
{
    if (pi == "MONOCHROME1" || pi == "MONOCHROME2" || pi == "PALETTE COLOR")
        return samples == 1;
    if (pi == "RGB" || pi == "YBR_FULL" || pi == "YBR_FULL_422" || pi == "YBR_RCT"
        || pi == "YBR_ICT")
        return samples == 3;
    return false;
}

} // namespace

std::string DicomHeader::Spacing::sourceText() const
{
    switch (source) {
    case SpacingSource::ImagerPixelSpacing:
        return "Imager Pixel Spacing (0018,1164)";
    case SpacingSource::PixelSpacing:
        return "Pixel Spacing (0028,0030)";
    case SpacingSource::MagnifiedPixelSpacing:
        break;
    }
    return "Pixel Spacing (0028,0030) x Estimated Radiographic Magnification Factor (0018,1114)";
}

bool DicomHeader::readFrom(
    const DicomScan::Layout &layout, const std::uint8_t *data, std::string &error)
{
    const DataSet &ds = layout.dataSet;
    const Values v(data, layout.bigEndian);
    transferSyntaxUid = layout.transferSyntaxUid;
    const std::optional<std::uint16_t> rows = u16Of(v, ds, kRows), columns = u16Of(v, ds, kColumns);
    if (!rows || !columns || *rows == 0 || *columns == 0) {
        error = "the header gives no picture size (Rows and Columns)";
        return false;
    }
    width = *columns;
    height = *rows;
    if (!CBitmap::isMeasurableSize(width, height)) {
        error = CBitmap::tooLargeText(width, height);
        return false;
    }
    samplesPerPixel = u16Of(v, ds, kSamplesPerPixel).value_or(1);
    photometricInterpretation = std::string(textOf(v, ds, kPhotometricInterpretation));
    if (photometricInterpretation.empty())
        photometricInterpretation = samplesPerPixel == 3 ? "RGB" : "MONOCHROME2";
    if (!isPhotometricRead(photometricInterpretation, samplesPerPixel)) {
        error = "pictures of photometric interpretation " + photometricInterpretation + " with "
            + std::to_string(samplesPerPixel) + " samples per pixel are not read";
        return false;
    }
    planarConfiguration = u16Of(v, ds, kPlanarConfiguration).value_or(0) == 1 ? 1 : 0;
    if (photometricInterpretation == "PALETTE COLOR") {
        if (find(ds, kSegmentedBluePaletteData)) {
            error = "segmented colour palettes are not read";
            return false;
        }
        Lut palette;
        std::string why;
        if (!lutOf(v, ds, false, palette, why, kBluePaletteDescriptor, kBluePaletteData)) {
            error = "the blue colour palette is damaged: " + why;
            return false;
        }
        bluePalette = std::move(palette);
    }

    const std::optional<std::uint16_t> allocated = u16Of(v, ds, kBitsAllocated);
    if (!allocated || (*allocated != 8 && *allocated != 16)) {
        error = allocated ? "pixels of " + std::to_string(*allocated) + " bits are not read"
                          : "the header does not say how many bits a pixel has (Bits Allocated)";
        return false;
    }
    bitsAllocated = *allocated;
    bitsStored = u16Of(v, ds, kBitsStored).value_or(static_cast<std::uint16_t>(bitsAllocated));
    highBit = u16Of(v, ds, kHighBit).value_or(static_cast<std::uint16_t>(bitsStored - 1));
    if (bitsStored < 1 || bitsStored > bitsAllocated || highBit < bitsStored - 1
        || highBit >= bitsAllocated) {
        error = "the header's bits do not fit together: " + std::to_string(bitsAllocated)
            + " allocated, " + std::to_string(bitsStored) + " stored, high bit "
            + std::to_string(highBit);
        return false;
    }
    isSigned = u16Of(v, ds, kPixelRepresentation).value_or(0) == 1;

    const std::string_view frames = textOf(v, ds, kNumberOfFrames);
    if (!frames.empty()) {
        double count = 0;
        if (!DicomText::toNumber(frames, count) || count < 1 || count != std::floor(count)
            || count > 1e9) {
            error = "the Number of Frames (0028,0008) is \"" + std::string(frames) + "\"";
            return false;
        }
        frameCount = static_cast<int>(count);
    }

    presentationInverse = textOf(v, ds, kPresentationLutShape) == "INVERSE";

    const auto storedOf = [this](std::uint16_t raw) {
        return isSigned ? static_cast<int>(static_cast<std::int16_t>(raw)) : static_cast<int>(raw);
    };
    if (const auto padding = u16Of(v, ds, kPixelPaddingValue))
        paddingValue = storedOf(*padding);
    if (const auto limit = u16Of(v, ds, kPixelPaddingRangeLimit); limit && paddingValue)
        paddingLimit = storedOf(*limit);

    const std::string_view characterSet = v.bytes(find(ds, kSpecificCharacterSet));

    const std::vector<DataSet> &modality = itemsOf(ds, kModalityLutSequence);
    if (!modality.empty()) {
        Lut lut;
        std::string why;
        if (!lutOf(v, modality.front(), isSigned, lut, why)) {
            error = "the Modality LUT is damaged: " + why;
            return false;
        }
        modalityLut = std::move(lut);
    } else {
        rescaleSlope = numberOf(v, ds, kRescaleSlope).value_or(1.0);
        rescaleIntercept = numberOf(v, ds, kRescaleIntercept).value_or(0.0);
        if (rescaleSlope == 0) {
            error = "the Rescale Slope (0028,1053) is 0";
            return false;
        }
    }

    const std::vector<double> centers = numbersOf(v, ds, kWindowCenter);
    const std::vector<double> widths = numbersOf(v, ds, kWindowWidth);
    const std::vector<std::string_view> explanations =
        DicomText::values(v.bytes(find(ds, kWindowExplanation)));
    const VoiFunction function = functionOf(textOf(v, ds, kVoiLutFunction), warnings);
    if (centers.size() != widths.size())
        warnings.push_back("the header gives " + std::to_string(centers.size())
            + " window centres and " + std::to_string(widths.size()) + " widths");
    for (std::size_t i = 0; i < std::min(centers.size(), widths.size()); ++i) {
        Window window;
        window.center = centers[i];
        window.width = widths[i];
        window.function = function;
        if (i < explanations.size())
            window.explanation = DicomText::toUtf8(explanations[i], characterSet);
        if (!window.isUsable()) {
            warnings.push_back(
                "the window of width " + numberText(window.width) + " is left out: too narrow");
            continue;
        }
        windows.push_back(std::move(window));
    }
    const std::vector<DataSet> &voi = itemsOf(ds, kVoiLutSequence);
    for (std::size_t i = 0; i < voi.size(); ++i) {
        Lut lut;
        std::string why;
        if (!lutOf(v, voi[i], isSigned, lut, why)) {
            warnings.push_back("VOI LUT " + std::to_string(i + 1) + " is left out: " + why);
            continue;
        }
        lut.explanation = DicomText::toUtf8(textOf(v, voi[i], kLutExplanation), characterSet);
        voiLuts.push_back(std::move(lut));
    }

    // The pixels' shape, from the first tag that gives it.
    const std::vector<double> imager = numbersOf(v, ds, kImagerPixelSpacing);
    const std::vector<double> pixel = numbersOf(v, ds, kPixelSpacing);
    const auto valid = [](const std::vector<double> &pair) {
        return pair.size() == 2 && pair[0] > 0 && pair[1] > 0;
    };
    const auto square = [&error](const std::vector<double> &mm, const std::string &source) {
        if (std::abs(mm[0] - mm[1]) <= kSquarePixelTolerance * std::max(mm[0], mm[1]))
            return true;
        error = "the pixels are not square: " + source + " gives " + numberText(mm[0])
            + " mm between rows and " + numberText(mm[1]) + " mm between columns";
        return false;
    };
    if (valid(imager)) {
        if (!square(imager, "Imager Pixel Spacing (0018,1164)"))
            return false;
        spacing = Spacing{imager[0], imager[1], SpacingSource::ImagerPixelSpacing};
    } else if (valid(pixel)) {
        if (!square(pixel, "Pixel Spacing (0028,0030)"))
            return false;
        const std::string_view calibration = textOf(v, ds, kPixelSpacingCalibrationType);
        if (calibration == "GEOMETRY" || calibration == "FIDUCIAL") {
            const std::optional<double> magnification = numberOf(v, ds, kMagnificationFactor);
            if (magnification && *magnification > 0)
                spacing = Spacing{pixel[0] * *magnification, pixel[1] * *magnification,
                    SpacingSource::MagnifiedPixelSpacing};
            else
                warnings.push_back("Pixel Spacing (0028,0030) is calibrated to the patient and no "
                                   "Estimated Radiographic Magnification Factor (0018,1114) "
                                   "gives it at the detector");
        } else {
            spacing = Spacing{pixel[0], pixel[1], SpacingSource::PixelSpacing};
        }
    } else {
        const std::vector<double> ratio = numbersOf(v, ds, kPixelAspectRatio);
        if (valid(ratio)
            && std::abs(ratio[0] - ratio[1])
                > kSquarePixelTolerance * std::max(ratio[0], ratio[1])) {
            error = "the pixels are not square: Pixel Aspect Ratio (0028,0034) is "
                + numberText(ratio[0]) + ":" + numberText(ratio[1]);
            return false;
        }
    }
    if (!imager.empty() && !valid(imager))
        warnings.push_back("Imager Pixel Spacing (0018,1164) is damaged and left out");

    if (const auto distance = numberOf(v, ds, kDistanceSourceToDetector); distance && *distance > 0)
        sourceToDetectorMm = *distance;

    std::string_view name = v.bytes(find(ds, kPatientName));
    name = name.substr(0, name.find('='));
    const std::size_t caret = name.find('^');
    familyName = DicomText::toUtf8(DicomText::trimmed(name.substr(0, caret)), characterSet);
    if (caret != std::string_view::npos) {
        const std::string_view rest = name.substr(caret + 1);
        givenName =
            DicomText::toUtf8(DicomText::trimmed(rest.substr(0, rest.find('^'))), characterSet);
    }

    for (const Tag tag : {kAcquisitionDate, kContentDate, kStudyDate}) {
        date = dateOf(textOf(v, ds, tag));
        if (!date.empty())
            break;
    }
    return true;
}
