#include "tools/phantom/PhantomDicom.h"

#include <cstdint>
#include <cstdio>
#include <gdcmImage.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmUIDGenerator.h>
#include <vector>

#include "tools/phantom/PhantomPicture.h"

namespace PhantomDicom {

namespace {

std::string decimal(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

void put(gdcm::DataSet &ds, std::uint16_t group, std::uint16_t element, const char *vr,
    std::string value)
{
    // Values have an even length: UIDs are padded with NUL, text with a space.
    if (value.size() % 2 != 0)
        value += std::string(vr) == "UI" ? '\0' : ' ';
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(gdcm::VR::GetVRType(vr));
    de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
    ds.Replace(de);
}

} // namespace

bool write(const std::string &path, const Phantom::Scene &scene, std::uint32_t seed,
    const CPatient &patient, const std::string &date, std::string &error)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    const std::vector<std::uint16_t> values = PhantomPicture::renderDetector(scene, seed);
    constexpr auto kBits = static_cast<unsigned short>(PhantomPicture::kDetectorBits);

    // The library's filter below keeps the picture by reference count.
    gdcm::SmartPointer<gdcm::Image> picture = new gdcm::Image;
    gdcm::Image &raw = *picture;
    raw.SetNumberOfDimensions(2);
    raw.SetDimension(0, static_cast<unsigned>(w));
    raw.SetDimension(1, static_cast<unsigned>(h));
    raw.SetPixelFormat(gdcm::PixelFormat(1, 16, kBits, kBits - 1, 0));
    raw.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
    // The writer puts the picture's spacing into the spacing tag of its kind, for a DX the
    // Imager Pixel Spacing.
    const double mmPerPixel = scene.p.widthMm / w;
    raw.SetSpacing(0, mmPerPixel);
    raw.SetSpacing(1, mmPerPixel);
    raw.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataElement pixels(gdcm::Tag(0x7FE0, 0x0010));
    pixels.SetVR(gdcm::VR::OW);
    pixels.SetByteValue(reinterpret_cast<const char *>(values.data()),
        static_cast<std::uint32_t>(values.size() * sizeof values[0]));
    raw.SetDataElement(pixels);

    gdcm::ImageChangeTransferSyntax change;
    change.SetTransferSyntax(gdcm::TransferSyntax::JPEG2000Lossless);
    change.SetInput(raw);
    if (!change.Change()) {
        error = "the picture cannot be compressed as JPEG 2000";
        return false;
    }

    gdcm::ImageWriter writer;
    writer.SetImage(change.GetOutput());
    gdcm::DataSet &ds = writer.GetFile().GetDataSet();
    gdcm::UIDGenerator uids;
    const PhantomPicture::DetectorWindow film = PhantomPicture::filmWindow();
    put(ds, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1.1"); // DX for presentation
    put(ds, 0x0008, 0x0018, "UI", uids.Generate());
    put(ds, 0x0008, 0x0020, "DA", date);
    put(ds, 0x0008, 0x0022, "DA", date);
    put(ds, 0x0008, 0x0060, "CS", "DX");
    put(ds, 0x0008, 0x0068, "CS", "FOR PRESENTATION");
    put(ds, 0x0010, 0x0010, "PN", patient.Famname + "^" + patient.Vorname);
    put(ds, 0x0010, 0x0020, "LO", patient.Code);
    put(ds, 0x0018, 0x1110, "DS", decimal(scene.p.focusMm));
    put(ds, 0x0020, 0x000D, "UI", uids.Generate());
    put(ds, 0x0020, 0x000E, "UI", uids.Generate());
    put(ds, 0x0020, 0x0020, "CS", "L\\F"); // an AP view: rows run to the left, columns to the feet
    // The second window spreads the bone over the greys, the soft tissue dark and metal white.
    put(ds, 0x0028, 0x1050, "DS", decimal(film.center) + "\\1500");
    put(ds, 0x0028, 0x1051, "DS", decimal(film.width) + "\\800");
    put(ds, 0x0028, 0x1055, "LO", "FILM\\BONE");
    put(ds, 0x0028, 0x1056, "CS", "SIGMOID");
    put(ds, 0x2050, 0x0020, "CS", "IDENTITY");
    writer.SetFileName(path.c_str());
    if (!writer.Write()) {
        error = "the file cannot be written";
        return false;
    }
    return true;
}

} // namespace PhantomDicom
