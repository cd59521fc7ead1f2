#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

class CCircle;
class CEllipse;

// Moves a clicked outline point onto the steepest grey-level step nearby, with sub-pixel
// precision, or leaves it where it was and says why.
//
// Coordinates are picture coordinates (x right, y down); pixel (i, j) covers [i, i+1) x
// [j, j+1), so its grey level belongs to the point (i + 0.5, j + 0.5).
namespace EdgeSnap {

// Read-only 8-bit grey rows. The pixel at picture (x, y) is topRow[y * rowStep + x]; rowStep is
// negative for rows held bottom-up.
struct GreyView
{
    const std::uint8_t *topRow = nullptr;
    std::ptrdiff_t rowStep = 0;
    int width = 0;
    int height = 0;

    // Rows held top row first, stride bytes apart.
    static GreyView topDown(
        const std::uint8_t *firstRow, int width, int height, std::size_t stride);
    // Rows held bottom row first, stride bytes apart, as the pixel buffer holds them.
    static GreyView bottomUp(
        const std::uint8_t *bottomRow, int width, int height, std::size_t stride);

    std::uint8_t at(int x, int y) const { return topRow[y * rowStep + x]; }
};

// A unit vector across an outline; its sign does not matter, the search looks both ways.
struct Direction
{
    double x = 0.0;
    double y = 0.0;
};

// Across a circle: from the centre towards the point. None at the centre itself.
std::optional<Direction> acrossCircle(double centreX, double centreY, double x, double y);
// The same from a fitted circle; none unless it is Valid with a positive radius.
std::optional<Direction> acrossCircle(const CCircle &circle, double x, double y);

// Across an ellipse: the normal of the ellipse of the same centre, axes and shape that passes
// through the point (the gradient of its equation), which on the outline is the ellipse's own
// normal and differs from the direction from the centre except at the axis ends. (cosA, sinA)
// is the unit vector along the half axis a. None for an axis that is not positive, or at the
// centre.
std::optional<Direction> acrossEllipse(double centreX, double centreY, double cosA, double sinA,
    double a, double b, double x, double y);
// The same from a fitted rim; none unless it is Valid.
std::optional<Direction> acrossEllipse(const CEllipse &ellipse, double x, double y);

// Before there is a fit: the dominant direction of the grey-level gradient (Sobel, weighted
// towards the click) within the search radius. None when the neighbourhood is flat or reaches
// beyond the picture.
std::optional<Direction> acrossStrongestGradient(
    const GreyView &picture, double x, double y, double radius = 6.0);

enum class Outcome {
    Snapped,
    NoEdge, // no step clearly above the picture's noise, or none that ends within the radius
    CompetingEdges, // a second step of the same sense nearly as steep
    LeavesPicture, // the search would read beyond the picture
};

// The status-line text of a refusal: "no edge near the click", "two edges of similar
// strength", "the search leaves the picture"; empty for Snapped.
const char *reasonText(Outcome outcome);

struct Options
{
    double radius = 6.0; // farthest move, picture pixels
    // How many times the noise of the slope the steepest step must exceed. On pure noise the
    // steepest slope within a search stays below 4 times it; 35 grey levels blurred by 1.5 px
    // on noise of 3 levels reach 10.
    double noiseFactor = 5.0;
    // A second step this steep relative to the first makes the choice ambiguous.
    double rivalRatio = 0.8;
    // Above 0, an outline may be a wire: a step with a step of the opposite sense at most this
    // far away (picture pixels), at least half as steep, is a thin line whose middle is the
    // outline. 0 or less: every outline is a step.
    double lineWidth = 0.0;
};

struct Result
{
    double x = 0.0; // the snapped point, or the click when refused
    double y = 0.0;
    double moved = 0.0; // distance from the click, picture pixels; 0 when refused
    double strength = 0.0; // steepest slope found, grey levels per picture pixel
    double noise = 0.0; // the slope's noise measured around the click, same units
    Outcome outcome = Outcome::NoEdge;
    bool onWire = false; // placed on the middle of a wire, not on a step
};

// Searches along the line through (x, y) in the given direction for the steepest step within
// Options::radius and places the point on it, or on the middle of a wire (Options::lineWidth).
// Never moves the point farther than the radius; a refused search returns the click unchanged. A
// direction of zero length is refused as NoEdge.
Result snap(
    const GreyView &picture, double x, double y, Direction across, const Options &options = {});

// snap along acrossStrongestGradient, for points clicked before a fit.
Result snapAcrossGradient(const GreyView &picture, double x, double y, const Options &options = {});

} // namespace EdgeSnap
