// Any bytes as a DICOM file, through the reader and the grey mappings a picture opens with: the
// reader must neither crash nor hang, a picture it accepts must hold only levels its bits allow,
// its header read alone must agree with it, and both the header's own mapping and the
// automatic one must fill a pixel buffer.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/GreyMapping.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void show(const DicomPicture &picture, const GreyMapping::Choice &choice)
{
    const GreyMapping mapping(picture, choice);
    CBitmap bitmap;
    std::string error;
    require(mapping.show(picture, bitmap, error));
    require(bitmap.W == picture.width() && bitmap.H == picture.height());
    volatile std::uint8_t sink = bitmap.grey(bitmap.W - 1, bitmap.H - 1);
    (void)sink;
}

} // namespace

// Leaks of the decoding library on damaged compressed streams, which nobody frees when its
// decoder gives up: the JPEG-LS decoder's copy of the frame's stream, the JPEG 2000 decoder's
// picture and codec structures, and the JPEG decoder's working memory when it runs out of data
// in the middle of a stream (some ten to a few hundred kilobytes). A damaged file costs these
// once per open. They are the library's, not the reader's; nothing else may leak. The leak
// checker asks for this list itself, in the fuzzer and in the corpus replay under the
// sanitizers alike.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:gdcm::JPEGLSCodec::Decode\n"
           "leak:libopenjp2\n"
           "leak:libgdcmjpeg\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string error;
    // A smaller machine than this one: the reader's own memory check refuses the pictures that
    // would only make the fuzzer run out of memory.
    const auto picture = DicomPicture::read(data, size, error, std::uint64_t{256} << 20);
    DicomHeader header;
    std::string headerError;
    const bool headerRead = DicomPicture::readHeader(data, size, header, headerError);
    if (!picture) {
        require(!error.empty()); // a refusal always says why
        require(headerRead || !headerError.empty());
        return 0;
    }
    require(headerRead && header.width == picture->width() && header.height == picture->height()
        && header.bitsStored == picture->header().bitsStored);
    require(picture->width() > 0 && picture->height() > 0);
    const std::size_t count =
        static_cast<std::size_t>(picture->width()) * static_cast<std::size_t>(picture->height());
    const auto levels = static_cast<std::uint16_t>(picture->levelCount() - 1);
    for (std::size_t i = 0; i < count; ++i)
        require(picture->levels()[i] <= levels);
    show(*picture, GreyMapping::defaultChoice(*picture));
    if (!picture->isColour())
        show(*picture, GreyMapping::choices(*picture).back()); // Automatic
    return 0;
}
