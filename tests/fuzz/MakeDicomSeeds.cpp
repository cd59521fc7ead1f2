// fuzz_make_dicom_seeds FOLDER: writes the seed corpus of the DICOM fuzz target into FOLDER,
// small pictures in every transfer syntax the reader decodes, grey and colour, with the header
// elements the reader interprets (windows and their functions, lookup tables, rescale, padding,
// spacing, names, dates, several frames), so that fuzzing starts from every path.

#include <cmath>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support/DicomWriter.h"

namespace {

// Values that run smoothly over most of what the bits hold: JPEG 2000 needs smooth pictures.
DicomPixels smooth(int bitsAllocated, int bitsStored, bool isSigned, int samples = 1)
{
    DicomPixels p;
    p.width = 40, p.height = 24;
    p.bitsAllocated = bitsAllocated, p.bitsStored = bitsStored, p.isSigned = isSigned;
    p.samplesPerPixel = samples;
    p.photometric = samples == 3 ? "RGB" : "MONOCHROME2";
    const double lowest = isSigned ? -(1 << (bitsStored - 1)) : 0;
    const double range = (1 << bitsStored) - 1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < samples; ++c) {
                const double u = (x + 2.0 * y + 5.0 * c) / (p.width + 2.0 * p.height + 10.0);
                p.values.push_back(static_cast<int>(lowest + range * (0.1 + 0.8 * u)));
            }
    return p;
}

std::vector<DicomElement> geometry()
{
    return {dicomText(0x0008, 0x0005, "CS", "ISO_IR 192"),
        dicomText(0x0010, 0x0010, "PN", "Sample^Hannah"),
        dicomText(0x0008, 0x0022, "DA", "20240312"),
        dicomText(0x0018, 0x1164, "DS", "0.172\\0.172"), dicomText(0x0018, 0x1110, "DS", "1150")};
}

std::vector<DicomElement> with(std::vector<DicomElement> header, std::vector<DicomElement> more)
{
    header.insert(header.end(), more.begin(), more.end());
    return header;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_dicom_seeds FOLDER\n";
        return 2;
    }

    struct Seed
    {
        std::string name;
        DicomPixels pixels;
        std::vector<DicomElement> header;
        std::string syntax;
    };

    DicomPixels twoFrames = smooth(16, 12, false);
    twoFrames.frames = 2;
    twoFrames.values.insert(
        twoFrames.values.end(), twoFrames.values.rbegin(), twoFrames.values.rend());
    DicomPixels monochrome1 = smooth(8, 8, false);
    monochrome1.photometric = "MONOCHROME1";
    DicomPixels palette = smooth(8, 8, false);
    palette.photometric = "PALETTE COLOR";
    std::vector<int> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.push_back(i * 257);
    std::vector<int> modality;
    for (int i = 0; i < 4096; ++i)
        modality.push_back(static_cast<int>(4095 * std::sqrt(i / 4095.0)));
    std::vector<int> voi;
    for (int i = 0; i < 4096; ++i)
        voi.push_back(i / 16);

    const std::vector<Seed> seeds{
        {"explicit-12-windows", smooth(16, 12, false),
            with(geometry(),
                {dicomText(0x0028, 0x1050, "DS", "2048\\1000"),
                    dicomText(0x0028, 0x1051, "DS", "4096\\800"),
                    dicomText(0x0028, 0x1055, "LO", "NORMAL\\BONE"),
                    dicomText(0x0028, 0x1056, "CS", "LINEAR_EXACT")}),
            DicomUid::kExplicitLittle},
        {"implicit-8-monochrome1-padding", monochrome1,
            {dicomWords(0x0028, 0x0120, "US", {0}), dicomWords(0x0028, 0x0121, "US", {20})},
            DicomUid::kImplicitLittle},
        {"big-16-signed-rescale", smooth(16, 16, true),
            {dicomText(0x0028, 0x1052, "DS", "-1024"), dicomText(0x0028, 0x1053, "DS", "0.5"),
                dicomText(0x2050, 0x0020, "CS", "INVERSE")},
            DicomUid::kExplicitBig},
        {"rle-12-two-frames", twoFrames, {}, DicomUid::kRle},
        {"jpeg-baseline-8", smooth(8, 8, false),
            {dicomText(0x0028, 0x0030, "DS", "0.2\\0.2"),
                dicomText(0x0028, 0x0A02, "CS", "GEOMETRY"),
                dicomText(0x0018, 0x1114, "DS", "1.15")},
            DicomUid::kJpegBaseline},
        {"jpeg-extended-12", smooth(16, 12, false), {}, DicomUid::kJpegExtended},
        {"jpeg-lossless-12-sigmoid", smooth(16, 12, false),
            {dicomText(0x0028, 0x1050, "DS", "2048"), dicomText(0x0028, 0x1051, "DS", "2000"),
                dicomText(0x0028, 0x1056, "CS", "SIGMOID")},
            DicomUid::kJpegLossless},
        {"jpeg-lossless-sv1-16", smooth(16, 16, false), {}, DicomUid::kJpegLosslessSv1},
        {"jpeg-ls-12-signed-modality-lut", smooth(16, 12, true),
            {dicomSequence(0x0028, 0x3000,
                {{dicomWords(0x0028, 0x3002, "SS", {4096, -2048, 12}),
                    dicomWords(0x0028, 0x3006, "OW", modality)}})},
            DicomUid::kJpegLsLossless},
        {"jpeg-ls-near-8", smooth(8, 8, false), {}, DicomUid::kJpegLsNearLossless},
        {"j2k-lossless-12-voi-lut", smooth(16, 12, false),
            {dicomSequence(0x0028, 0x3010,
                {{dicomWords(0x0028, 0x3002, "US", {4096, 0, 8}),
                    dicomWords(0x0028, 0x3006, "OW", voi),
                    dicomText(0x0028, 0x3003, "LO", "STRETCH")}})},
            DicomUid::kJpeg2000Lossless},
        {"j2k-lossy-12", smooth(16, 12, false), geometry(), DicomUid::kJpeg2000},
        {"explicit-rgb", smooth(8, 8, false, 3), {}, DicomUid::kExplicitLittle},
        {"jpeg-baseline-rgb", smooth(8, 8, false, 3), {}, DicomUid::kJpegBaseline},
        {"explicit-palette", palette,
            {dicomWords(0x0028, 0x1103, "US", {256, 0, 16}),
                dicomWords(0x0028, 0x1203, "OW", ramp)},
            DicomUid::kExplicitLittle},
    };
    for (const Seed &seed : seeds) {
        const std::string path = std::string(argv[1]) + "/" + seed.name + ".dcm";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << writeDicom(seed.pixels, seed.header, seed.syntax);
        if (!out) {
            std::cerr << "fuzz_make_dicom_seeds: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
