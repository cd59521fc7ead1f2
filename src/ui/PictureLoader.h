#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QByteArray>
#include <QString>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/GreyMapping.h"

// Reading a radiograph from its file into a pixel buffer, as the program opens pictures.
//
// A picture is grey pixels: the blue channel of a colour picture (whatever Qt decodes it to:
// a CMYK JPEG, a 16-bit or a 1- or 4-bit bitmap are taken as the colours Qt gives), the
// palette's blue of an indexed one, the first frame of an animation. Nothing is returned on
// failure, with the reason in error:
// - a file that cannot be read or decoded (Qt's reason);
// - a file that ends before its picture data does, or is far too short for the size its
//   header announces (bitmaps, JPEG and GIF files, which Qt would otherwise show with the
//   missing part blank);
// - a picture wider or taller than 32767 pixels, refused from its header;
// - a picture whose decoding and pixel buffers need more memory than is available: "not
//   enough memory for a picture of W x H pixels (N MB needed, M MB available)", also refused
//   from the header, before anything of that size is allocated.
// Qt is allowed to allocate only what the header's size needs, so a header that understates
// the picture cannot make it allocate more.
//
// DICOM files are recognised by their content ("DICM" after the preamble), whatever their
// name, and read by DicomPicture; their grey picture is the header's first window (or VOI
// table, or full range) as GreyMapping makes it.
namespace PictureLoader {

// A picture as the program opens it: its pixel buffer and, for a DICOM file, the picture at
// its full depth and the grey mapping it is shown with, so that another window can be chosen.
struct Picture
{
    std::unique_ptr<CBitmap> bitmap;
    std::unique_ptr<DicomPicture> dicom;
    GreyMapping::Choice window;
};

// The picture in the file at path, DICOM or not; an empty bitmap, with the reason in error,
// on failure.
Picture open(const QString &path, std::string &error);

// The picture in the file at path, as open gives it, without what DICOM keeps besides.
std::unique_ptr<CBitmap> load(const QString &path, std::string &error);

// The same for a picture file's bytes in memory, through the same decoding and checks
// (DICOM included).
std::unique_ptr<CBitmap> loadData(const QByteArray &data, std::string &error);

// loadData with availableBytes taken as the memory available instead of availableMemory().
std::unique_ptr<CBitmap> loadData(
    const QByteArray &data, std::string &error, std::uint64_t availableBytes);

// Bytes of memory a picture may take: MemAvailable of /proc/meminfo, less when the control
// group's limit leaves less; 8 GiB when neither can be read.
std::uint64_t availableMemory();

} // namespace PictureLoader
