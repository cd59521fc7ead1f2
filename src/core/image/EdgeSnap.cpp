#include "core/image/EdgeSnap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"

namespace EdgeSnap {

namespace {

// Profiles are read every quarter pixel: fine enough that the parabola through the three
// samples at the steepest point is accurate to a few hundredths of a pixel.
constexpr double kStep = 0.25;
// The slope is taken with a derivative of a Gaussian of 1 px: light enough to keep two edges
// 3 px apart apart, strong enough that the skew of a sharp step sampled between pixel centres
// moves its steepest point by less than 0.05 px.
constexpr int kSigmaSamples = 4;
constexpr int kKernelHalf = 3 * kSigmaSamples;
constexpr double kKernelReach = kKernelHalf * kStep;
// The profile is the mean of parallel lines side by side along the outline, which quiets the
// noise without bending a curved outline by more than a few hundredths of a pixel.
constexpr std::array<double, 5> kLineOffsets{-1.5, -0.75, 0.0, 0.75, 1.5};
constexpr double kLineReach = 1.5;
// How far beyond the radius the slope is still read, to see that a step found within the
// radius falls off again (an edge, not a gradual shading).
constexpr double kBeyondRadius = 2.0;
// A step has fallen off once its slope is below this part of its peak.
constexpr double kHalfPeak = 0.5;
// Two peaks of the slope are two edges, not one blurred step, when they lie farther apart than
// the blur of the slope itself and the slope dips between them to this part of the lesser.
constexpr double kRivalSeparation = 2.0;
constexpr double kRivalDip = 0.75;
// A wire's second flank is at least this steep relative to its first; a weaker step of the
// opposite sense nearby is another feature, and the outline is the step.
constexpr double kLinePartner = 0.5;
// A noise-free picture still has the quantisation of its levels; below this (grey levels per
// px) a measured noise is not trusted.
constexpr double kLeastNoise = 0.2;
// Median absolute deviation to standard deviation for normal noise.
constexpr double kMadToSigma = 1.4826;

// The derivative-of-Gaussian weights, scaled so that a slope of one grey level per pixel reads 1.
const std::array<double, 2 * kKernelHalf + 1> &slopeKernel()
{
    static const std::array<double, 2 *kKernelHalf + 1> kernel = [] {
        std::array<double, 2 * kKernelHalf + 1> w{};
        double norm = 0.0;
        for (int k = -kKernelHalf; k <= kKernelHalf; ++k) {
            const double g = k * std::exp(-0.5 * k * k / double(kSigmaSamples * kSigmaSamples));
            w[static_cast<std::size_t>(k + kKernelHalf)] = g;
            norm += k * kStep * g;
        }
        for (double &v : w)
            v /= norm;
        return w;
    }();
    return kernel;
}

bool inside(const GreyView &picture, double x, double y)
{
    const double u = x - 0.5, v = y - 0.5;
    return picture.width >= 2 && picture.height >= 2 && u >= 0.0 && v >= 0.0
        && u <= picture.width - 1 && v <= picture.height - 1;
}

// Bilinear grey level at picture (x, y); the caller has checked that (x, y) is inside.
double sample(const GreyView &picture, double x, double y)
{
    const double u = x - 0.5, v = y - 0.5;
    const int i = std::min(static_cast<int>(u), picture.width - 2);
    const int j = std::min(static_cast<int>(v), picture.height - 2);
    const double fx = u - i, fy = v - j;
    const double top = picture.at(i, j) + fx * (picture.at(i + 1, j) - picture.at(i, j));
    const double bottom =
        picture.at(i, j + 1) + fx * (picture.at(i + 1, j + 1) - picture.at(i, j + 1));
    return top + fy * (bottom - top);
}

// The slope along (alongX, alongY) of the profile through (x, y), averaged over lines shifted
// by kLineOffsets along (sideX, sideY), at every quarter pixel from -halfSpan to +halfSpan.
// False when any sample lies beyond the picture.
bool slopeProfile(const GreyView &picture, double x, double y, Direction along, Direction side,
    double halfSpan, std::vector<double> &slopes)
{
    const double reach = halfSpan + kKernelReach;
    for (const double s : {-kLineReach, kLineReach}) {
        for (const double t : {-reach, reach}) {
            if (!inside(picture, x + t * along.x + s * side.x, y + t * along.y + s * side.y))
                return false;
        }
    }
    const int half = static_cast<int>(std::lround(reach / kStep));
    std::vector<double> grey(static_cast<std::size_t>(2 * half + 1), 0.0);
    for (int n = -half; n <= half; ++n) {
        double sum = 0.0;
        for (const double s : kLineOffsets) {
            sum += sample(picture, x + n * kStep * along.x + s * side.x,
                y + n * kStep * along.y + s * side.y);
        }
        grey[static_cast<std::size_t>(n + half)] = sum / double(kLineOffsets.size());
    }
    const auto &w = slopeKernel();
    const int count = 2 * (half - kKernelHalf) + 1;
    slopes.assign(static_cast<std::size_t>(count), 0.0);
    for (int n = 0; n < count; ++n) {
        double d = 0.0;
        for (std::size_t k = 0; k < w.size(); ++k)
            d += w[k] * grey[static_cast<std::size_t>(n) + k];
        slopes[static_cast<std::size_t>(n)] = d;
    }
    return true;
}

// The position (px from the profile's middle sample) of the slope's extreme at sample n, by a
// parabola through its three samples.
double subSample(const std::vector<double> &slopes, int n, int middle)
{
    const double before = std::fabs(slopes[static_cast<std::size_t>(n - 1)]);
    const double peak = std::fabs(slopes[static_cast<std::size_t>(n)]);
    const double after = std::fabs(slopes[static_cast<std::size_t>(n + 1)]);
    const double curvature = before - 2.0 * peak + after;
    const double shift = curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return (n - middle + shift) * kStep;
}

Result refused(double x, double y, Outcome outcome, double strength = 0.0, double noise = 0.0)
{
    return Result{x, y, 0.0, strength, noise, outcome};
}

} // namespace

GreyView GreyView::topDown(const std::uint8_t *firstRow, int width, int height, std::size_t stride)
{
    return GreyView{firstRow, static_cast<std::ptrdiff_t>(stride), width, height};
}

GreyView GreyView::bottomUp(
    const std::uint8_t *bottomRow, int width, int height, std::size_t stride)
{
    const auto step = static_cast<std::ptrdiff_t>(stride);
    return GreyView{bottomRow + (height - 1) * step, -step, width, height};
}

std::optional<Direction> acrossCircle(double centreX, double centreY, double x, double y)
{
    const double dx = x - centreX, dy = y - centreY;
    const double length = std::hypot(dx, dy);
    if (!(length > 1e-9))
        return std::nullopt;
    return Direction{dx / length, dy / length};
}

std::optional<Direction> acrossCircle(const CCircle &circle, double x, double y)
{
    if (!circle.Valid || !(circle.r > 0.0))
        return std::nullopt;
    return acrossCircle(circle.M.x, circle.M.y, x, y);
}

std::optional<Direction> acrossEllipse(double centreX, double centreY, double cosA, double sinA,
    double a, double b, double x, double y)
{
    if (!(a > 0.0) || !(b > 0.0))
        return std::nullopt;
    const double px = x - centreX, py = y - centreY;
    // Coordinates along the axes, then the gradient of (u/a)^2 + (v/b)^2 turned back.
    const double u = px * cosA + py * sinA;
    const double v = -px * sinA + py * cosA;
    const double gu = u / (a * a), gv = v / (b * b);
    const double gx = gu * cosA - gv * sinA;
    const double gy = gu * sinA + gv * cosA;
    const double length = std::hypot(gx, gy);
    if (!(length > 1e-12))
        return std::nullopt;
    return Direction{gx / length, gy / length};
}

std::optional<Direction> acrossEllipse(const CEllipse &ellipse, double x, double y)
{
    if (!ellipse.Valid)
        return std::nullopt;
    return acrossEllipse(
        ellipse.M0.x, ellipse.M0.y, ellipse.CosA, ellipse.SinA, ellipse.a, ellipse.b, x, y);
}

std::optional<Direction> acrossStrongestGradient(
    const GreyView &picture, double x, double y, double radius)
{
    // The structure tensor rather than the summed gradient: a thin bright line has two edges of
    // opposite sense whose gradients would cancel, while their directions agree.
    if (!inside(picture, x, y) || !(radius > 0.0) || radius > picture.width + picture.height)
        return std::nullopt;
    const int left = static_cast<int>(std::floor(x - 0.5 - radius));
    const int right = static_cast<int>(std::ceil(x - 0.5 + radius));
    const int top = static_cast<int>(std::floor(y - 0.5 - radius));
    const int bottom = static_cast<int>(std::ceil(y - 0.5 + radius));
    if (left < 1 || top < 1 || right > picture.width - 2 || bottom > picture.height - 2)
        return std::nullopt;
    const double spread = 2.0 * (radius / 2.0) * (radius / 2.0);
    double jxx = 0.0, jxy = 0.0, jyy = 0.0;
    for (int j = top; j <= bottom; ++j) {
        for (int i = left; i <= right; ++i) {
            const double dx = i + 0.5 - x, dy = j + 0.5 - y;
            const double weight = std::exp(-(dx * dx + dy * dy) / spread);
            const auto p = [&](int di, int dj) { return double(picture.at(i + di, j + dj)); };
            const double gx =
                p(1, -1) + 2 * p(1, 0) + p(1, 1) - p(-1, -1) - 2 * p(-1, 0) - p(-1, 1);
            const double gy =
                p(-1, 1) + 2 * p(0, 1) + p(1, 1) - p(-1, -1) - 2 * p(0, -1) - p(1, -1);
            jxx += weight * gx * gx;
            jxy += weight * gx * gy;
            jyy += weight * gy * gy;
        }
    }
    if (!(jxx + jyy > 0.0))
        return std::nullopt;
    const double angle = 0.5 * std::atan2(2.0 * jxy, jxx - jyy);
    return Direction{std::cos(angle), std::sin(angle)};
}

const char *reasonText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Snapped:
        return "";
    case Outcome::NoEdge:
        return "no edge near the click";
    case Outcome::CompetingEdges:
        return "two edges of similar strength";
    case Outcome::LeavesPicture:
        return "the search leaves the picture";
    }
    return "";
}

Result snap(const GreyView &picture, double x, double y, Direction across, const Options &options)
{
    const double length = std::hypot(across.x, across.y);
    const double radius = options.radius;
    if (!(length > 1e-12) || !(radius > 0.0))
        return refused(x, y, Outcome::NoEdge);
    const Direction normal{across.x / length, across.y / length};
    const Direction tangent{-normal.y, normal.x};

    // A wire's far flank may lie beyond the radius while its middle does not.
    const double lineWidth = std::max(0.0, options.lineWidth);
    // Near the picture's border the wire is sought within the reach of a step alone.
    std::vector<double> slopes;
    if (!(lineWidth > kBeyondRadius
            && slopeProfile(picture, x, y, normal, tangent, radius + lineWidth, slopes))
        && !slopeProfile(picture, x, y, normal, tangent, radius + kBeyondRadius, slopes))
        return refused(x, y, Outcome::LeavesPicture);

    // The noise of the same slope measured along the outline, where an edge gives none, on
    // both sides of the click; the median ignores the stretches that cross a curved edge.
    std::vector<double> noiseSlopes;
    std::vector<double> line;
    for (const double offset : {-radius, -0.5 * radius, 0.5 * radius, radius}) {
        if (!slopeProfile(picture, x + offset * normal.x, y + offset * normal.y, tangent, normal,
                radius, line))
            return refused(x, y, Outcome::LeavesPicture);
        for (const double d : line)
            noiseSlopes.push_back(std::fabs(d));
    }
    const auto middle = noiseSlopes.begin() + static_cast<std::ptrdiff_t>(noiseSlopes.size() / 2);
    std::nth_element(noiseSlopes.begin(), middle, noiseSlopes.end());
    const double noise = std::max(kLeastNoise, kMadToSigma * *middle);

    const int centre = static_cast<int>(slopes.size() / 2);
    // A wire's flank may lie up to half its width beyond the radius while its middle does not;
    // the radius bounds where the point lands.
    // The profile reaches kBeyondRadius beyond any step taken, to see it fall off.
    const int reach = std::min(static_cast<int>(std::floor((radius + 0.5 * lineWidth) / kStep)),
        centre - static_cast<int>(std::ceil(kBeyondRadius / kStep)));
    const auto at = [&](int n) { return std::fabs(slopes[static_cast<std::size_t>(n)]); };
    int peak = centre;
    for (int n = centre - reach; n <= centre + reach; ++n) {
        if (at(n) > at(peak))
            peak = n;
    }
    const double strength = at(peak);
    // A steeper slope just beyond the radius means the edge lies out of reach.
    if (at(peak - 1) > strength || at(peak + 1) > strength
        || strength < options.noiseFactor * noise)
        return refused(x, y, Outcome::NoEdge, strength, noise);
    // A step falls off on both sides; a slope that stays up is shading, not an outline.
    const int last = static_cast<int>(slopes.size()) - 1;
    bool fallsBefore = false, fallsAfter = false;
    for (int n = peak; n >= 0 && !fallsBefore; --n)
        fallsBefore = at(n) < kHalfPeak * strength;
    for (int n = peak; n <= last && !fallsAfter; ++n)
        fallsAfter = at(n) < kHalfPeak * strength;
    if (!fallsBefore || !fallsAfter)
        return refused(x, y, Outcome::NoEdge, strength, noise);

    // A rival: another local peak of the same sense, nearly as steep, with the slope dipping
    // between the two, so that they are two edges and not one blurred one.
    const bool rising = slopes[static_cast<std::size_t>(peak)] > 0.0;
    for (int n = centre - reach; n <= centre + reach; ++n) {
        const double d = slopes[static_cast<std::size_t>(n)];
        if (n == peak || (d > 0.0) != rising || at(n) < options.rivalRatio * strength
            || at(n) < at(n - 1) || at(n) < at(n + 1))
            continue;
        double dip = strength;
        for (int m = std::min(n, peak); m <= std::max(n, peak); ++m)
            dip = std::min(dip, at(m));
        if (std::abs(n - peak) * kStep > kRivalSeparation && dip < kRivalDip * at(n))
            return refused(x, y, Outcome::CompetingEdges, strength, noise);
    }

    double t = subSample(slopes, peak, centre);
    bool onWire = false;
    if (lineWidth > 0.0) {
        // A wire: the nearest step of the opposite sense, at least half as steep, within the
        // line's width on either side; its middle is the outline. Without one the outline is
        // the step itself.
        const int width = static_cast<int>(std::floor(lineWidth / kStep));
        int partner = -1;
        for (int n = std::max(1, peak - width); n <= std::min(last - 1, peak + width); ++n) {
            const double d = slopes[static_cast<std::size_t>(n)];
            if ((d > 0.0) == rising || at(n) < at(n - 1) || at(n) < at(n + 1)
                || at(n) < kLinePartner * strength || at(n) < options.noiseFactor * noise)
                continue;
            if (partner < 0 || std::abs(n - peak) < std::abs(partner - peak))
                partner = n;
        }
        if (partner >= 0) {
            t = 0.5 * (t + subSample(slopes, partner, centre));
            onWire = true;
        }
    }
    if (std::fabs(t) > radius + 0.5 * kStep)
        return refused(x, y, Outcome::NoEdge, strength, noise);
    t = std::clamp(t, -radius, radius);
    return Result{x + t * normal.x, y + t * normal.y, std::fabs(t), strength, noise,
        Outcome::Snapped, onWire};
}

Result snapAcrossGradient(const GreyView &picture, double x, double y, const Options &options)
{
    if (const auto across = acrossStrongestGradient(picture, x, y, options.radius))
        return snap(picture, x, y, *across, options);
    const double r = options.radius + 1.5;
    const bool whole = inside(picture, x - r, y - r) && inside(picture, x + r, y + r);
    return refused(x, y, whole ? Outcome::NoEdge : Outcome::LeavesPicture);
}

} // namespace EdgeSnap
