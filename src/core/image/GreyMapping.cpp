#include "core/image/GreyMapping.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"

namespace {

constexpr double kBlack = 0, kWhite = 255;

std::string numberText(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The window functions over modality value x, each giving 0 .. 255 before rounding. The ramps
// are rearranged to divide last: with whole or half values, a result that lies halfway between
// two levels (127.5) then comes out exactly, and rounds as halves do rather than by the error
// of an earlier division.
double linear(double x, double c, double w)
{
    // ((x - (c - 0.5)) / (w - 1) + 0.5) x 255
    if (x <= c - 0.5 - (w - 1) / 2)
        return kBlack;
    if (x > c - 0.5 + (w - 1) / 2)
        return kWhite;
    return (x - c + 0.5 + (w - 1) / 2) * (kWhite - kBlack) / (w - 1) + kBlack;
}

double linearExact(double x, double c, double w)
{
    // ((x - c) / w + 0.5) x 255
    if (x <= c - w / 2)
        return kBlack;
    if (x > c + w / 2)
        return kWhite;
    return (x - c + w / 2) * (kWhite - kBlack) / w + kBlack;
}

double sigmoid(double x, double c, double w)
{
    return (kWhite - kBlack) / (1 + std::exp(-4 * (x - c) / w)) + kBlack;
}

double windowed(double x, const DicomHeader::Window &window)
{
    switch (window.function) {
    case DicomHeader::VoiFunction::LinearExact:
        return linearExact(x, window.center, window.width);
    case DicomHeader::VoiFunction::Sigmoid:
        return sigmoid(x, window.center, window.width);
    case DicomHeader::VoiFunction::Linear:
        break;
    }
    return linear(x, window.center, window.width);
}

// lowest shows black and highest white; with nothing between them, everything above lowest
// is white.
double stretched(double x, const DicomPicture::ModalityRange &range)
{
    if (range.highest <= range.lowest)
        return x <= range.lowest ? kBlack : kWhite;
    return (x - range.lowest) * (kWhite - kBlack) / (range.highest - range.lowest) + kBlack;
}

// The entry for x, the first one below the first input and the last above the last, scaled
// from the entries' bits to 0 .. 255.
double looked(double x, const DicomHeader::Lut &lut)
{
    const double last = static_cast<double>(lut.entries.size() - 1);
    const double index = std::clamp(std::nearbyint(x) - lut.firstMapped, 0.0, last);
    const double largest = static_cast<double>((1u << lut.bitsPerEntry) - 1);
    return lut.entries[static_cast<std::size_t>(index)] * (kWhite - kBlack) / largest + kBlack;
}

// Rounded to the nearest level, halves to even.
std::uint8_t toGrey(double y)
{
    return static_cast<std::uint8_t>(std::nearbyint(std::clamp(y, kBlack, kWhite)));
}

std::string windowCaption(const DicomHeader::Window &window)
{
    if (!window.explanation.empty())
        return window.explanation;
    return "Window " + numberText(window.center) + "/" + numberText(window.width);
}

} // namespace

std::vector<GreyMapping::Choice> GreyMapping::choices(const DicomPicture &picture)
{
    std::vector<Choice> all;
    if (picture.isColour())
        return all;
    for (const DicomHeader::Window &window : picture.header().windows)
        all.push_back({Choice::Kind::Window, window, 0, windowCaption(window)});
    const std::vector<DicomHeader::Lut> &luts = picture.header().voiLuts;
    for (std::size_t i = 0; i < luts.size(); ++i)
        all.push_back({Choice::Kind::Lut, {}, static_cast<int>(i),
            luts[i].explanation.empty() ? "VOI LUT " + std::to_string(i + 1)
                                        : luts[i].explanation});
    all.push_back({Choice::Kind::FullRange, {}, 0, kFullRangeCaption});
    all.push_back({Choice::Kind::Automatic, {}, 0, kAutomaticCaption});
    return all;
}

GreyMapping::Choice GreyMapping::defaultChoice(const DicomPicture &picture)
{
    const DicomHeader &header = picture.header();
    if (!header.windows.empty())
        return {
            Choice::Kind::Window, header.windows.front(), 0, windowCaption(header.windows.front())};
    if (!header.voiLuts.empty())
        return choices(picture).front(); // without windows, the first table comes first
    return {Choice::Kind::FullRange, {}, 0, kFullRangeCaption};
}

GreyMapping::Choice GreyMapping::window(
    double center, double width, DicomHeader::VoiFunction function)
{
    DicomHeader::Window w{center, width, function, {}};
    return {Choice::Kind::Window, w, 0, windowCaption(w)};
}

GreyMapping::GreyMapping(const DicomPicture &picture, const Choice &choice)
    : levelToGrey(static_cast<std::size_t>(picture.levelCount())),
      lowestStored(picture.lowestStoredValue())
{
    if (picture.isColour()) {
        for (std::size_t level = 0; level < levelToGrey.size(); ++level)
            levelToGrey[level] = static_cast<std::uint8_t>(level);
        return;
    }
    const DicomHeader &header = picture.header();
    Choice::Kind kind = choice.kind;
    if ((kind == Choice::Kind::Window && !choice.window.isUsable())
        || (kind == Choice::Kind::Lut
            && (choice.index < 0
                || static_cast<std::size_t>(choice.index) >= header.voiLuts.size()))) {
        assert(false && "an unusable window or a table the header does not have");
        kind = Choice::Kind::FullRange;
    }
    std::optional<DicomPicture::ModalityRange> range;
    if (kind == Choice::Kind::FullRange)
        range = picture.modalityRange();
    else if (kind == Choice::Kind::Automatic)
        range = picture.modalityPercentiles(kAutomaticLowFraction, kAutomaticHighFraction);
    const bool inverted = picture.showsInverted();
    for (std::size_t level = 0; level < levelToGrey.size(); ++level) {
        const int stored = static_cast<int>(level) + lowestStored;
        if (picture.isPadding(stored)) {
            levelToGrey[level] = static_cast<std::uint8_t>(kBlack);
            continue;
        }
        const double x = picture.modalityValue(stored);
        double y = kBlack;
        if (kind == Choice::Kind::Window)
            y = windowed(x, choice.window);
        else if (kind == Choice::Kind::Lut)
            y = looked(x, header.voiLuts[static_cast<std::size_t>(choice.index)]);
        else if (range)
            y = stretched(x, *range);
        const std::uint8_t grey = toGrey(y);
        levelToGrey[level] = inverted ? static_cast<std::uint8_t>(255 - grey) : grey;
    }
}

std::uint8_t GreyMapping::grey(int storedValue) const
{
    const long level = static_cast<long>(storedValue) - lowestStored;
    assert(level >= 0 && static_cast<std::size_t>(level) < levelToGrey.size());
    return levelToGrey[static_cast<std::size_t>(level)];
}

bool GreyMapping::show(const DicomPicture &picture, CBitmap &bitmap, std::string &error) const
{
    assert(static_cast<std::size_t>(picture.levelCount()) == levelToGrey.size());
    const int width = picture.width(), height = picture.height();
    const std::uint16_t *levels = picture.levels();
    const std::uint8_t *table = levelToGrey.data();
    const auto writeRow = [levels, table, width](int y, std::uint8_t *row) {
        const std::uint16_t *in =
            levels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x)
            row[x] = table[in[x]];
    };
    if (!bitmap.isInitialised())
        return bitmap.init(width, height, writeRow, error);
    if (bitmap.W != width || bitmap.H != height) {
        error = "the pixel buffer holds a picture of " + std::to_string(bitmap.W) + " x "
            + std::to_string(bitmap.H) + " pixels, not this one of " + std::to_string(width) + " x "
            + std::to_string(height);
        return false;
    }
    bitmap.refill(writeRow);
    return true;
}
