#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/image/Kernel.h"

// What a change to the pixel buffer touched, for the observer that shows it.
enum class BitmapChange {
    Colors, // the colour table only
    Pixels, // the grey pixels
};

// The radiograph as 8-bit grey pixels with a 256-entry grey colour table. Brightness, contrast
// and inversion change only the table; sharpening convolves the pixels and can be undone once.
//
// The pixels are held as an 8-bit bottom-up bitmap: row 0 is the picture's bottom row, each row
// stride() bytes long (the width rounded up to a multiple of 4, padding bytes 0). The display
// reads them where they are, mapped through colorTable(); nothing here draws.
class CBitmap
{
public:
    std::int16_t W = 0; // picture width in pixels
    std::int16_t H = 0; // picture height in pixels
    std::int16_t ColorOffset = 0; // brightness added to every grey level
    std::int16_t ColorScale = 256; // contrast in 1/256 units; 256 is the identity

    // Takes the picture's pixels: height rows of width pixels, top row first, rowBytes apart,
    // each pixel pixelBytes long with its blue byte first (3 for 24-bit rows, 4 for 32-bit
    // pixels stored little-endian, 1 for grey rows). The grey level of a pixel is its blue byte.
    // With a palette, each byte is an index and its grey level is palette[byte]. False, with a
    // reason the caller can show and nothing changed, for a picture wider or taller than 32767
    // pixels, an empty one, or one whose buffers cannot be allocated.
    bool init(const std::uint8_t *firstBlue, int width, int height, std::size_t rowBytes,
        std::string &error, std::size_t pixelBytes = 3,
        const std::array<std::uint8_t, 256> *palette = nullptr);

    // Writes the grey levels of the picture's row y (0 at the top) into row, as many bytes as
    // the picture is wide. It is called once for every row, for different rows from two threads
    // at once, so it may only read what it shares.
    using GreyRowWriter = std::function<void(int y, std::uint8_t *row)>;

    // Takes the picture's grey levels row by row from writeRow: the same as init with grey rows,
    // without the caller holding them all at once. The same failures.
    bool init(int width, int height, const GreyRowWriter &writeRow, std::string &error);

    // Writes new grey levels over the picture's pixels, the same size, from writeRow; for
    // another view of the same picture. The colour table, ColorOffset and ColorScale stay, so
    // brightness, contrast and inversion keep working on top. The pixels that UndoFilter would
    // put back belong to the old levels, so they are dropped: a sharpening that can no longer be
    // undone goes with them, and hasFilterToUndo() is false. Nothing happens before init.
    void refill(const GreyRowWriter &writeRow);

    bool isInitialised() const { return initialised; }

    // W and H, like the picture size in the landmark file, count pixels in 16 bits: the widest
    // and tallest picture that can be measured.
    static constexpr int kLargestSide = std::numeric_limits<std::int16_t>::max();

    static constexpr bool isMeasurableSize(int width, int height)
    {
        return width <= kLargestSide && height <= kLargestSide;
    }

    // Why a picture of this size is refused: "the picture is 40000 x 10 pixels; at most 32767
    // pixels a side can be measured".
    static std::string tooLargeText(int width, int height);

    // Allocates the pixels of a picture of this size ahead of init, for example on another
    // thread while the picture is decoded; init takes them over when the size agrees. Does
    // nothing on a buffer that holds a picture already.
    void reserve(int width, int height);

    // Complements every table entry (only after init); inverting twice restores the picture.
    void Invert();
    // Rebuilds the table from ColorOffset and ColorScale, which drops an inversion.
    void CreateColors();
    // Brightness 0, contrast 256, and the identity table.
    void Reset();
    // Sharpens with the kernel: every pixel at least N from the border becomes the weighted sum
    // of its neighbourhood, 0 below -0.5, 255 from 255.5, else rounded halves to even; the
    // border keeps its values. The pixels before this call are kept for UndoFilter.
    void Filter(const Kernel &weight);
    // Puts back the pixels from before the most recent Filter; nothing before the first one,
    // and repeating it changes nothing.
    void UndoFilter();

    // A filter has changed the pixels since they were loaded, so UndoFilter has something to
    // take back.
    bool hasFilterToUndo() const { return filtered; }

    std::size_t stride() const { return rowStride; }

    // The pixels as init or refill left them, bottom row first, stride() apart: what the
    // picture shows without any sharpening, for reading outlines that sharpening would shift.
    // Null before init. Valid until the next init or refill.
    const std::uint8_t *loadedPixels() const { return loadedView; }

    // Row 0 is the bottom row of the picture.
    const std::uint8_t *pixels() const { return pixelBuffer.get(); }

    // The row at picture y (0 at the top), as the display walks it.
    const std::uint8_t *scanLine(int y) const
    {
        return pixelBuffer.get() + static_cast<std::size_t>(H - 1 - y) * rowStride;
    }

    // Grey level of the pixel at picture (x, y), 0 at the top left, before the colour table.
    std::uint8_t grey(int x, int y) const { return scanLine(y)[x]; }

    // The shown grey level of every stored level.
    const std::array<std::uint8_t, 256> &colorTable() const { return table; }

    // Called after every change of the table or the pixels; the window repaints.
    void setObserver(std::function<void(BitmapChange)> callback) { observer = std::move(callback); }

private:
    // The pixels and the filter source of a picture of this size, the reserved pixels taken
    // over when they fit; false, with the reason, when the size is refused or memory is short.
    bool allocate(int width, int height, std::unique_ptr<std::uint8_t[]> &grey,
        std::unique_ptr<std::uint8_t[]> &source, std::string &error);
    // Takes the filled buffers as the picture's, with the identity table.
    void adopt(int width, int height, std::unique_ptr<std::uint8_t[]> grey,
        std::unique_ptr<std::uint8_t[]> source);
    void notify(BitmapChange change) const;
    // Filters the source buffer into the pixel buffer; may throw when memory runs out.
    void filterInto(const Kernel &weight);
    void filterGeneric(const Kernel &weight);

    bool initialised = false;
    bool filtered = false;
    std::size_t rowStride = 0;
    std::size_t bufferBytes = 0;
    std::size_t reservedBytes = 0;
    std::unique_ptr<std::uint8_t[]> pixelBuffer;
    std::unique_ptr<std::uint8_t[]> sourceBuffer; // the pixels before the most recent Filter
    // The loaded pixels once a second Filter would overwrite the buffer that holds them; until
    // then they are the pixels (nothing sharpened) or the source of the first Filter, so a
    // single sharpening costs no extra memory.
    std::unique_ptr<std::uint8_t[]> loadedBuffer;
    const std::uint8_t *loadedView = nullptr; // whichever buffer holds the loaded pixels
    std::array<std::uint8_t, 256> table{};
    std::function<void(BitmapChange)> observer;
};
