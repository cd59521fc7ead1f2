#include "support/DicomWriter.h"

#include <gdcmImage.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmJPEG2000Codec.h>
#include <gdcmJPEGCodec.h>
#include <gdcmJPEGLSCodec.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmWriter.h>
#include <sstream>
#include <stdexcept>

#include "support/Jpeg12Writer.h"

namespace {

gdcm::DataElement toDataElement(const DicomElement &e)
{
    gdcm::DataElement de(gdcm::Tag(e.group, e.element));
    de.SetVR(gdcm::VR::GetVRType(e.vr.c_str()));
    if (e.vr == "SQ") {
        gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
        sequence->SetLengthToUndefined();
        for (const std::vector<DicomElement> &elements : e.items) {
            gdcm::Item item;
            item.SetVLToUndefined();
            for (const DicomElement &inner : elements)
                item.GetNestedDataSet().Replace(toDataElement(inner));
            sequence->AddItem(item);
        }
        de.SetValue(*sequence);
        de.SetVLToUndefined();
        return de;
    }
    std::string value = e.value;
    // Values have an even length; text is padded with a space, UIDs and bytes with NUL.
    if (value.size() % 2 != 0)
        value += e.vr == "UI" || e.vr == "OB" ? '\0' : ' ';
    de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
    return de;
}

std::string toBytes(const DicomPixels &p)
{
    std::string bytes;
    for (const int v : p.values) {
        if (p.bitsAllocated == 8) {
            bytes += static_cast<char>(v & 0xFF);
        } else {
            bytes += static_cast<char>(v & 0xFF);
            bytes += static_cast<char>((v >> 8) & 0xFF);
        }
    }
    return bytes;
}

std::string number(int v)
{
    return std::to_string(v);
}

} // namespace

DicomElement dicomText(
    std::uint16_t group, std::uint16_t element, const std::string &vr, const std::string &text)
{
    return DicomElement{group, element, vr, text, {}};
}

DicomElement dicomWords(std::uint16_t group, std::uint16_t element, const std::string &vr,
    const std::vector<int> &values)
{
    std::string bytes;
    for (const int v : values) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>((v >> 8) & 0xFF);
    }
    return DicomElement{group, element, vr, bytes, {}};
}

DicomElement dicomSequence(
    std::uint16_t group, std::uint16_t element, std::vector<std::vector<DicomElement>> items)
{
    return DicomElement{group, element, "SQ", {}, std::move(items)};
}

std::string writeDicom(const DicomPixels &pixels, const std::vector<DicomElement> &header,
    const std::string &transferSyntaxUid)
{
    const std::size_t expected = static_cast<std::size_t>(pixels.width)
        * static_cast<std::size_t>(pixels.height) * static_cast<std::size_t>(pixels.frames)
        * static_cast<std::size_t>(pixels.samplesPerPixel);
    if (pixels.values.size() != expected)
        throw std::runtime_error("the pixels do not fill the frames");

    // The filter below keeps the picture by reference count, so it lives on the heap.
    gdcm::SmartPointer<gdcm::Image> picture = new gdcm::Image;
    gdcm::Image &image = *picture;
    image.SetNumberOfDimensions(pixels.frames > 1 ? 3 : 2);
    image.SetDimension(0, static_cast<unsigned>(pixels.width));
    image.SetDimension(1, static_cast<unsigned>(pixels.height));
    if (pixels.frames > 1)
        image.SetDimension(2, static_cast<unsigned>(pixels.frames));
    image.SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(pixels.samplesPerPixel),
        static_cast<unsigned short>(pixels.bitsAllocated),
        static_cast<unsigned short>(pixels.bitsStored),
        static_cast<unsigned short>(pixels.bitsStored - 1), pixels.isSigned ? 1 : 0));
    image.SetPhotometricInterpretation(
        gdcm::PhotometricInterpretation::GetPIType(pixels.photometric.c_str()));
    image.SetPlanarConfiguration(0);
    image.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    const std::string raw = toBytes(pixels);
    gdcm::DataElement rawPixels(gdcm::Tag(0x7FE0, 0x0010));
    rawPixels.SetVR(pixels.bitsAllocated == 8 ? gdcm::VR::OB : gdcm::VR::OW);
    rawPixels.SetByteValue(raw.data(), static_cast<std::uint32_t>(raw.size()));
    image.SetDataElement(rawPixels);

    const gdcm::TransferSyntax syntax = gdcm::TransferSyntax::GetTSType(transferSyntaxUid.c_str());
    if (syntax == gdcm::TransferSyntax::TS_END)
        throw std::runtime_error("unknown transfer syntax " + transferSyntaxUid);
    gdcm::ImageChangeTransferSyntax change;
    change.SetTransferSyntax(syntax);
    change.SetInput(image);
    gdcm::JPEGCodec jpeg;
    gdcm::JPEGLSCodec jpegLs;
    gdcm::JPEG2000Codec jpeg2000;
    if (syntax == gdcm::TransferSyntax::JPEGBaselineProcess1
        || syntax == gdcm::TransferSyntax::JPEGExtendedProcess2_4) {
        jpeg.SetLossless(false);
        jpeg.SetQuality(90);
        change.SetUserCodec(&jpeg);
    } else if (syntax == gdcm::TransferSyntax::JPEGLSNearLossless) {
        jpegLs.SetLossless(false);
        jpegLs.SetLossyError(2);
        change.SetUserCodec(&jpegLs);
    } else if (syntax == gdcm::TransferSyntax::JPEG2000) {
        jpeg2000.SetReversible(false);
        jpeg2000.SetRate(0, 5);
        change.SetUserCodec(&jpeg2000);
    }
    // The library writes JPEG Extended at 16 bits for 16-bit pixels; archives write 12-bit
    // streams, which its own 12-bit coder makes.
    const bool twelveBits = syntax == gdcm::TransferSyntax::JPEGExtendedProcess2_4
        && pixels.samplesPerPixel == 1 && pixels.frames == 1 && pixels.bitsStored == 12
        && !pixels.isSigned;
    if (twelveBits) {
        gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
        std::string stream = jpeg12Stream(pixels.width, pixels.height, pixels.values, 90);
        if (stream.size() % 2 != 0)
            stream += '\0';
        gdcm::Fragment fragment;
        fragment.SetByteValue(stream.data(), static_cast<std::uint32_t>(stream.size()));
        fragments->AddFragment(fragment);
        gdcm::DataElement compressed(gdcm::Tag(0x7FE0, 0x0010));
        compressed.SetVR(gdcm::VR::OB);
        compressed.SetValue(*fragments);
        image.SetDataElement(compressed);
        image.SetTransferSyntax(syntax);
    } else if (!change.Change()) {
        throw std::runtime_error("the library cannot write " + transferSyntaxUid);
    }
    const gdcm::Bitmap &encoded =
        twelveBits ? static_cast<const gdcm::Bitmap &>(image) : change.GetOutput();

    gdcm::Writer writer;
    gdcm::DataSet &ds = writer.GetFile().GetDataSet();
    const auto put = [&ds](const DicomElement &e) { ds.Replace(toDataElement(e)); };
    put(dicomText(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.1.1"));
    put(dicomText(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7133.1.1"));
    put(dicomText(0x0008, 0x0060, "CS", "DX"));
    put(dicomWords(0x0028, 0x0002, "US", {pixels.samplesPerPixel}));
    put(dicomText(0x0028, 0x0004, "CS",
        gdcm::PhotometricInterpretation::GetPIString(
            encoded.GetPhotometricInterpretation().GetType())));
    if (pixels.samplesPerPixel == 3)
        put(dicomWords(0x0028, 0x0006, "US", {0}));
    if (pixels.frames > 1)
        put(dicomText(0x0028, 0x0008, "IS", number(pixels.frames)));
    put(dicomWords(0x0028, 0x0010, "US", {pixels.height}));
    put(dicomWords(0x0028, 0x0011, "US", {pixels.width}));
    put(dicomWords(0x0028, 0x0100, "US", {pixels.bitsAllocated}));
    put(dicomWords(0x0028, 0x0101, "US", {pixels.bitsStored}));
    put(dicomWords(0x0028, 0x0102, "US", {pixels.bitsStored - 1}));
    put(dicomWords(0x0028, 0x0103, "US", {pixels.isSigned ? 1 : 0}));
    ds.Replace(encoded.GetDataElement());
    for (const DicomElement &e : header) {
        if (e.vr.empty())
            ds.Remove(gdcm::Tag(e.group, e.element));
        else
            put(e);
    }

    writer.GetFile().GetHeader().SetDataSetTransferSyntax(syntax);
    std::ostringstream out;
    writer.SetStream(out);
    if (!writer.Write())
        throw std::runtime_error("the library cannot write the file");
    return out.str();
}
