#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image/DicomHeader.h"

class CBitmap;
class DicomPicture;

// How a DICOM picture's stored values become the 8-bit grey levels of the pixel buffer: the
// modality transformation, then one VOI transformation (a window, a VOI lookup table, or a
// range of modality values stretched over 0 .. 255), then the complement for pictures that
// show inverted; padding shows black (0) in every mapping. It is built once per choice as a
// table over every stored value the bits stored allow, so that filling the buffer costs one
// lookup per pixel.
class GreyMapping
{
public:
    // The captions of the two mappings every grey DICOM picture offers besides its header's.
    static constexpr const char *kFullRangeCaption = "Full range";
    static constexpr const char *kAutomaticCaption = "Automatic";

    // Automatic stretches the modality values from this point of the picture's distribution
    // to the other over black to white, so that a few extreme pixels (a marker, a collimator
    // edge) do not take the contrast from the picture.
    static constexpr double kAutomaticLowFraction = 0.005;
    static constexpr double kAutomaticHighFraction = 0.995;

    struct Choice
    {
        enum class Kind {
            Window, // the window below: one of the header's, or one the operator gives
            Lut, // the header's VOI lookup table number index (from 0)
            FullRange, // the smallest to the largest modality value present
            Automatic, // the kAutomaticLowFraction to kAutomaticHighFraction points
        };
        Kind kind = Kind::FullRange;
        DicomHeader::Window window;
        int index = 0;
        std::string caption; // as a menu names it
    };

    // The choices a grey picture offers, in this order: each window of the header, captioned
    // by its explanation (else "Window C/W"); each VOI lookup table, by its explanation (else
    // "VOI LUT n"); "Full range"; "Automatic". None for a colour picture, to which no window
    // applies.
    static std::vector<Choice> choices(const DicomPicture &picture);

    // The choice a picture opens with: the header's first window, else its first VOI lookup
    // table, else Full range.
    static Choice defaultChoice(const DicomPicture &picture);

    // A window the operator gives, captioned "Window C/W"; see DicomHeader::Window::isUsable
    // for the widths each function takes.
    static Choice window(double center, double width,
        DicomHeader::VoiFunction function = DicomHeader::VoiFunction::Linear);

    // The mapping of the picture's stored values under the choice. For a colour picture every
    // choice gives the blue channel as it is. A Window choice must be usable and a Lut choice
    // must name one of the header's tables; anything else maps as Full range.
    GreyMapping(const DicomPicture &picture, const Choice &choice);

    // The grey level, 0 black to 255 white, of a stored value within the bits stored
    // (DicomPicture::lowestStoredValue() and the levelCount() - 1 values above it).
    std::uint8_t grey(int storedValue) const;

    // The grey level of each level (stored value - lowestStoredValue()).
    const std::vector<std::uint8_t> &table() const { return levelToGrey; }

    // Puts the picture under this mapping into the pixel buffer: init when the buffer holds no
    // picture yet; else, when it holds this picture (the same size), the pixels are refilled
    // and its colour table stays, so that brightness, contrast and inversion stay, while a
    // sharpening and its undo are dropped (CBitmap::refill). False, with the reason, when init
    // fails or the buffer holds a picture of another size. picture must be the one this
    // mapping was built for.
    bool show(const DicomPicture &picture, CBitmap &bitmap, std::string &error) const;

private:
    std::vector<std::uint8_t> levelToGrey;
    int lowestStored = 0;
};
