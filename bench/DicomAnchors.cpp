#include "DicomAnchors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <gdcmImage.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEG2000Codec.h>
#include <gdcmTrace.h>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <QString>

#include "SyntheticRadiograph.h"
#include "Timing.h"
#include "ui/PictureLoader.h"

namespace {

constexpr int kSide = 3000;

const struct
{
    const char *key, *file;
} kAnchors[] = {
    {"open.dicom_raw16", "dx-raw16-3000x3000.dcm"},
    {"open.dicom_j2k", "dx-j2k-3000x3000.dcm"},
};

// The synthetic radiograph at 16 bits: its grey levels spread over the range, with a detector's
// fine noise in the bits below them.
std::vector<std::uint16_t> sixteenBitRadiograph()
{
    const std::vector<std::uint8_t> grey = syntheticRadiograph(kSide, kSide, 5);
    std::vector<std::uint16_t> values(grey.size());
    std::mt19937 noise(11);
    std::normal_distribution<double> fine(0.0, 24.0);
    for (std::size_t i = 0; i < grey.size(); ++i)
        values[i] = static_cast<std::uint16_t>(
            std::clamp(grey[i] * 240.0 + 2000 + fine(noise), 0.0, 65535.0));
    return values;
}

void put(gdcm::DataSet &ds, std::uint16_t group, std::uint16_t element, const char *vr,
    std::string value)
{
    if (value.size() % 2 != 0)
        value += std::string(vr) == "UI" ? '\0' : ' ';
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(gdcm::VR::GetVRType(vr));
    de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
    ds.Replace(de);
}

bool writeAnchor(const std::string &path, const gdcm::Image &image)
{
    gdcm::ImageWriter writer;
    writer.SetImage(image);
    gdcm::DataSet &ds = writer.GetFile().GetDataSet();
    put(ds, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1.1"); // Digital X-Ray, for presentation
    put(ds, 0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7133.2.1");
    put(ds, 0x0008, 0x0060, "CS", "DX");
    put(ds, 0x0018, 0x1110, "DS", "1150");
    put(ds, 0x0028, 0x1050, "DS", "32000");
    put(ds, 0x0028, 0x1051, "DS", "60000");
    writer.SetFileName(path.c_str());
    return writer.Write();
}

} // namespace

int writeDicomAnchors(const std::string &dir)
{
    gdcm::Trace::SetWarning(false);
    const std::vector<std::uint16_t> values = sixteenBitRadiograph();
    gdcm::SmartPointer<gdcm::Image> raw = new gdcm::Image;
    raw->SetNumberOfDimensions(2);
    raw->SetDimension(0, kSide);
    raw->SetDimension(1, kSide);
    raw->SetPixelFormat(gdcm::PixelFormat(1, 16, 16, 15, 0));
    raw->SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
    // Written by the library as the Imager Pixel Spacing of a DX.
    raw->SetSpacing(0, 0.143);
    raw->SetSpacing(1, 0.143);
    raw->SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataElement pixels(gdcm::Tag(0x7FE0, 0x0010));
    pixels.SetVR(gdcm::VR::OW);
    pixels.SetByteValue(reinterpret_cast<const char *>(values.data()),
        static_cast<std::uint32_t>(values.size() * 2));
    raw->SetDataElement(pixels);

    gdcm::ImageChangeTransferSyntax change;
    change.SetTransferSyntax(gdcm::TransferSyntax::JPEG2000Lossless);
    change.SetInput(*raw);
    const bool written = writeAnchor(dir + "/" + kAnchors[0].file, *raw) && change.Change()
        && writeAnchor(dir + "/" + kAnchors[1].file, change.GetOutput());
    if (!written)
        std::cerr << "oxel_bench: cannot write the DICOM anchors into " << dir << '\n';
    return written ? 0 : 1;
}

int runDicomAnchors(const std::string &dir)
{
    gdcm::Trace::SetWarning(false);
    int status = 0;
    for (const auto &anchor : kAnchors) {
        const std::string path = dir + "/" + anchor.file;
        if (!std::filesystem::exists(path)) {
            std::cerr << "oxel_bench: cannot read " << path << '\n';
            status = 1;
            continue;
        }
        // The library's cheapest complete decode of the file: parse it and copy the decoded
        // frame out, as any program that reads a DICOM picture with it does.
        std::size_t decodedBytes = 0;
        const auto library = [&] {
            gdcm::ImageReader reader;
            reader.SetFileName(path.c_str());
            if (!reader.Read())
                return;
            const gdcm::Image &image = reader.GetImage();
            std::vector<char> buffer(image.GetBufferLength());
            if (image.GetBuffer(buffer.data()))
                decodedBytes = buffer.size();
        };
        const double alone = medianMilliseconds(library, 5);
        std::string error;
        bool opened = false;
        const QString file = QString::fromStdString(path);
        const double ours = medianMilliseconds(
            [&] { opened = PictureLoader::open(file, error).bitmap != nullptr; }, 5);
        if (!opened || decodedBytes != std::size_t{kSide} * kSide * 2) {
            std::cerr << "oxel_bench: " << path << ": "
                      << (opened ? "GDCM cannot decode it" : error) << '\n';
            status = 1;
            continue;
        }
        std::printf("TEAM|%s|%.3f|oxel PictureLoader::open until the grey buffer is ready (GDCM's "
                    "ImageReader::Read and Image::GetBuffer alone: %.3f ms, ratio %.2f)\n",
            anchor.key, ours, alone, ours / alone);
    }
    std::fflush(stdout);
    return status;
}
