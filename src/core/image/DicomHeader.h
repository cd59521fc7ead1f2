#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image/DicomScan.h"

// What the header of a DICOM radiograph says about its pixels, their grey values, the geometry
// of the exposure and the patient. Texts are UTF-8 (see DicomText); lengths are in millimetres.
struct DicomHeader
{
    // The function a window applies; a header that names none, or one this program does not
    // know, means Linear.
    enum class VoiFunction {
        Linear, // "LINEAR"
        LinearExact, // "LINEAR_EXACT"
        Sigmoid, // "SIGMOID"
    };

    // A window over modality values: Window Center (0028,1050), Window Width (0028,1051) and
    // the Window Center & Width Explanation (0028,1055), empty when the header gives none.
    struct Window
    {
        double center = 0;
        double width = 1;
        VoiFunction function = VoiFunction::Linear;
        std::string explanation;

        // Whether the function can use the width: at least 1 for Linear, above 0 else.
        bool isUsable() const { return function == VoiFunction::Linear ? width >= 1 : width > 0; }
    };

    // A lookup table as the header gives it (LUT Descriptor (0028,3002), LUT Data (0028,3006),
    // LUT Explanation (0028,3003)): input firstMapped maps to entries[0], the next input to
    // entries[1], and so on; each entry counts in bitsPerEntry bits (0 .. 2^bitsPerEntry - 1).
    struct Lut
    {
        int firstMapped = 0;
        int bitsPerEntry = 16;
        std::vector<std::uint16_t> entries;
        std::string explanation;
    };

    // The header's tag that gave the detector-plane pixel spacing.
    enum class SpacingSource {
        ImagerPixelSpacing, // Imager Pixel Spacing (0018,1164)
        PixelSpacing, // Pixel Spacing (0028,0030), not calibrated to the patient
        MagnifiedPixelSpacing, // Pixel Spacing (0028,0030) calibrated to the patient, times
                               // the Estimated Radiographic Magnification Factor (0018,1114)
    };

    struct Spacing
    {
        double rowMm = 0; // between the centres of neighbouring rows
        double columnMm = 0; // between the centres of neighbouring columns
        SpacingSource source = SpacingSource::ImagerPixelSpacing;

        // Millimetres per pixel at the detector: the mean of the two, which differ by at most
        // 0.1 % in a picture that was read.
        double mmPerPixel() const { return (rowMm + columnMm) / 2; }

        // The tag that gave it, as the operator is told: "Imager Pixel Spacing (0018,1164)".
        std::string sourceText() const;
    };

    // The picture.
    int width = 0; // Columns (0028,0011)
    int height = 0; // Rows (0028,0010)
    int frameCount = 1; // Number of Frames (0028,0008); only the first frame is read
    int samplesPerPixel = 1; // (0028,0002): 1, or 3 for colour
    int bitsAllocated = 16; // (0028,0100): 8 or 16
    int bitsStored = 16; // (0028,0101): 1 .. bitsAllocated
    int highBit = 15; // (0028,0102): bitsStored - 1 .. bitsAllocated - 1
    bool isSigned = false; // Pixel Representation (0028,0103) is 1: two's complement
    int planarConfiguration = 0; // (0028,0006) for colour: 0 interleaved, 1 plane by plane
    std::string photometricInterpretation; // (0028,0004): "MONOCHROME1", "RGB", ...
    std::string transferSyntaxUid; // (0002,0010)

    // For PALETTE COLOR: the Blue Palette Color Lookup Table ((0028,1103), (0028,1203)), which
    // maps the stored index to the blue channel.
    std::optional<Lut> bluePalette;

    // Presentation LUT Shape (2050,0020) is INVERSE.
    bool presentationInverse = false;

    // Pixel Padding Value (0028,0120) and Pixel Padding Range Limit (0028,0121) as stored
    // values: the pixels from the one to the other, or only those equal to the first when
    // there is no limit, are padding and no part of the picture.
    std::optional<int> paddingValue;
    std::optional<int> paddingLimit;

    // The modality transformation: the Modality LUT Sequence (0028,3000) when there is one,
    // else Rescale Slope (0028,1053) and Rescale Intercept (0028,1052).
    double rescaleSlope = 1;
    double rescaleIntercept = 0;
    std::optional<Lut> modalityLut;

    // The VOI transformations the header offers, in its order: the windows, each with its
    // function from VOI LUT Function (0028,1056), and the VOI LUT Sequence (0028,3010).
    // Windows narrower than the function allows (below 1 for Linear, 0 or less else) and
    // damaged tables are left out, with a warning.
    std::vector<Window> windows;
    std::vector<Lut> voiLuts;

    // The detector-plane pixel spacing: Imager Pixel Spacing (0018,1164); else Pixel Spacing
    // (0028,0030), multiplied by the Estimated Radiographic Magnification Factor (0018,1114)
    // when the Pixel Spacing Calibration Type (0028,0A02) is GEOMETRY or FIDUCIAL, which
    // means it was calibrated to the patient. Empty when neither gives it; a patient-calibrated
    // Pixel Spacing without a magnification factor gives none, with a warning, since the
    // detector plane cannot be had from it.
    std::optional<Spacing> spacing;

    // Distance Source to Detector (0018,1110) in mm, when positive.
    std::optional<double> sourceToDetectorMm;

    // Patient's Name (0010,0010), its first component group split at "^": family name, then
    // given name, each without padding.
    std::string familyName;
    std::string givenName;

    // Acquisition Date (0008,0022), else Content Date (0008,0023), else Study Date
    // (0008,0020), as "yyyymmdd"; the first that is a valid date wins. Empty when none is.
    std::string date;

    // What was read but left aside, one sentence each, for the operator or the command line.
    std::vector<std::string> warnings;

    // Reads everything above from the data set of a file that DicomScan::scan has checked,
    // whose bytes are data. False, with the reason, when the picture's description is
    // missing, damaged or outside what is read (see DicomPicture::read): sizes, bits, samples,
    // photometric interpretation, a damaged Modality LUT or colour palette, a zero Rescale
    // Slope, and pixels that are not square.
    bool readFrom(const DicomScan::Layout &layout, const std::uint8_t *data, std::string &error);
};
