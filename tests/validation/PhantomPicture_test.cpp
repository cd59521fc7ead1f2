// The realistic phantom pictures against their own geometry: an edge finder validated on them
// can only be as right as the picture's edges are where the true outlines project. Each
// outline is read across at many points, the profile averaged over some 10 px along the
// outline against the noise; the steepest grey step (for the rim wire: the middle between its
// two flanks) must lie on the projected outline, and the grey steps must be those of real
// films: metal brighter than bone, yet steps of a few dozen grey levels, not a white block.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "tools/phantom/Phantom.h"
#include "tools/phantom/PhantomPicture.h"

namespace {

using Phantom::Scene;
using Phantom::Vec2;
using Phantom::Vec3;

// Grey at a picture point, pixel (i, j) standing for (i + 0.5, j + 0.5), bilinear.
double greyAt(const QImage &picture, double x, double y)
{
    const double gx = x - 0.5, gy = y - 0.5;
    const int x0 = int(std::floor(gx)), y0 = int(std::floor(gy));
    const double fx = gx - x0, fy = gy - y0;
    const auto at = [&](int i, int j) { return double(picture.constScanLine(j)[i]); };
    return (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0))
        + fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
}

// A line across an outline: a point on it and the unit normal.
struct Across
{
    Vec2 at, normal;
};

// Grey across an outline at offsets -reach..reach along the normal, in tenths of a pixel, the
// mean over stretches of the outline a few pixels either side of the point (each read along
// its own normal), against the noise.
struct Profile
{
    static constexpr double kStep = 0.1;
    double reach;
    std::vector<double> grey;

    double offset(std::size_t i) const { return -reach + kStep * double(i); }

    // Mean grey over offsets [from, to].
    double mean(double from, double to) const
    {
        double sum = 0;
        int n = 0;
        for (std::size_t i = 0; i < grey.size(); ++i)
            if (offset(i) >= from && offset(i) <= to) {
                sum += grey[i];
                ++n;
            }
        return sum / n;
    }
};

Profile across(const QImage &picture, const std::vector<Across> &lines, double reach)
{
    Profile profile{reach, {}};
    for (double t = -reach; t <= reach + 1e-9; t += Profile::kStep) {
        double sum = 0;
        for (const Across &l : lines)
            sum += greyAt(picture, l.at.x + t * l.normal.x, l.at.y + t * l.normal.y);
        profile.grey.push_back(sum / double(lines.size()));
    }
    return profile;
}

// Parabola through three equally spaced values: the offset of its top from the middle one, in
// units of the spacing.
double vertex(double a, double b, double c)
{
    const double d = a - 2 * b + c;
    return d == 0 ? 0 : 0.5 * (a - c) / d;
}

// Where the grey changes fastest (over one pixel) in the given sense (+1 rising with the
// offset), within |offset| <= within.
double steepest(const Profile &profile, double sense, double within)
{
    const int half = int(std::lround(0.5 / Profile::kStep));
    std::vector<double> slope(profile.grey.size(), -1e9);
    std::size_t best = 0;
    for (std::size_t i = half; i + half < profile.grey.size(); ++i) {
        if (std::abs(profile.offset(i)) > within)
            continue;
        slope[i] = sense * (profile.grey[i + half] - profile.grey[i - half]);
        if (best == 0 || slope[i] > slope[best])
            best = i;
    }
    return profile.offset(best)
        + Profile::kStep * vertex(slope[best - 1], slope[best], slope[best + 1]);
}

Vec2 unit(Vec2 v)
{
    const double length = std::hypot(v.x, v.y);
    return {v.x / length, v.y / length};
}

double dot(const Vec3 &a, const Vec3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

struct Rendered
{
    Scene scene;
    QImage picture;
    std::vector<Vec2> wire; // the rim wire's axis, picture pixels
};

Rendered renderScene(const Phantom::Parameters &parameters, std::uint32_t seed,
    PhantomPicture::CupKind cup = PhantomPicture::CupKind::MetalBacked)
{
    Rendered r{Phantom::makeScene(parameters), {}, {}};
    PhantomPicture::Imaging imaging;
    imaging.cup = cup;
    r.picture = PhantomPicture::renderRealistic(r.scene, seed, imaging);
    for (const Vec3 &w : Phantom::rimWire(r.scene, 4096))
        r.wire.push_back(r.scene.toPicture(r.scene.project(w)));
    return r;
}

double distanceToWire(const Rendered &r, Vec2 q)
{
    double nearest = 1e9;
    for (const Vec2 &w : r.wire)
        nearest = std::min(nearest, std::hypot(w.x - q.x, w.y - q.y));
    return nearest;
}

// Outline points of a sphere, picture pixels, with the outward normal (from the outline's
// centroid), the point where the tangent ray touches the sphere, and the stretch of the outline
// within 10 px either side.
struct OutlineSample
{
    Vec2 at, outward;
    Vec3 touch;
    std::vector<Across> stretch;
};

constexpr double kStretchPx = 10;

std::vector<OutlineSample> sphereSamples(const Rendered &r, const Vec3 &centre, double radius)
{
    constexpr int kDense = 2880, kEvery = 40;
    const auto outline = Phantom::sphereOutline(r.scene.focus, centre, radius, kDense);
    std::vector<Vec2> points;
    Vec2 mid;
    for (const auto &o : outline) {
        points.push_back(r.scene.toPicture(o.film));
        mid.x += points.back().x / kDense;
        mid.y += points.back().y / kDense;
    }
    const auto normal = [&](int k) {
        const Vec2 q = points[std::size_t((k + kDense) % kDense)];
        return Across{q, unit({q.x - mid.x, q.y - mid.y})};
    };
    const double spacing = std::hypot(points[1].x - points[0].x, points[1].y - points[0].y);
    const int m = int(kStretchPx / spacing);
    std::vector<OutlineSample> samples;
    for (int k = 0; k < kDense; k += kEvery) {
        OutlineSample sample{
            points[std::size_t(k)], normal(k).normal, outline[std::size_t(k)].touch, {}};
        for (int j = -m; j <= m; ++j)
            sample.stretch.push_back(normal(k + j));
        samples.push_back(sample);
    }
    return samples;
}

// The head's outline away from the neck and the wire, as an operator clicks it.
std::vector<OutlineSample> headSamples(const Rendered &r)
{
    const Scene &s = r.scene;
    const double neck = Phantom::kNeckBelowHorizontalDeg * std::numbers::pi / 180;
    const double nu = s.sideSign * std::cos(neck), nv = -std::sin(neck);
    // Film frame has y up, the picture y down.
    const Vec2 neckDir{nu * s.pelvisU.x + nv * s.pelvisV.x, -(nu * s.pelvisU.y + nv * s.pelvisV.y)};
    std::vector<OutlineSample> kept;
    for (const OutlineSample &o : sphereSamples(r, s.headCentre, s.p.headRadiusMm))
        if (o.outward.x * neckDir.x + o.outward.y * neckDir.y
                < std::cos(50 * std::numbers::pi / 180)
            && distanceToWire(r, o.at) > 20)
            kept.push_back(o);
    return kept;
}

// The cup's outline on the dome, as the picks take it, away from the wire.
std::vector<OutlineSample> cupSamples(const Rendered &r)
{
    const Scene &s = r.scene;
    std::vector<OutlineSample> kept;
    for (const OutlineSample &o : sphereSamples(r, s.cupCentre, s.p.cupRadiusMm)) {
        const Vec3 from{
            o.touch.x - s.cupCentre.x, o.touch.y - s.cupCentre.y, o.touch.z - s.cupCentre.z};
        if (dot(from, s.cupAxis) < -0.25 * s.p.cupRadiusMm && distanceToWire(r, o.at) > 20)
            kept.push_back(o);
    }
    return kept;
}

struct WireSample
{
    Vec2 at, normal;
    bool overCupWall; // the wire lies over the cement ring at the cup's outline
    bool nearCupWall; // the ring's own slope reaches the wire's flanks
    std::vector<Across> stretch;
};

// The wire where the head does not hide it, with its normal on the picture.
std::vector<WireSample> wireSamples(const Rendered &r)
{
    const Scene &s = r.scene;
    const auto cupOutline = Phantom::sphereOutline(s.focus, s.cupCentre, s.p.cupRadiusMm, 720);
    const std::size_t n = r.wire.size();
    const auto across = [&](std::size_t k) {
        const Vec2 a = r.wire[(k + n - 1) % n], b = r.wire[(k + 1) % n];
        const Vec2 tangent = unit({b.x - a.x, b.y - a.y});
        return Across{r.wire[k % n], {-tangent.y, tangent.x}};
    };
    std::vector<WireSample> samples;
    for (std::size_t k = 0; k < n; k += n / 128) {
        const Vec2 q = r.wire[k];
        if (Phantom::behindHead(s, s.toFilm(q), 3.0))
            continue;
        double toOutline = 1e9;
        for (const auto &o : cupOutline) {
            const Vec2 c = s.toPicture(o.film);
            toOutline = std::min(toOutline, std::hypot(c.x - q.x, c.y - q.y));
        }
        WireSample sample{q, across(k).normal, toOutline < 4, toOutline < 14, {}};
        for (std::size_t j = k + n; j <= k + n + 2 * n / 64; ++j) {
            const std::size_t i = j - n / 64;
            const Vec2 p = r.wire[i % n];
            if (std::hypot(p.x - q.x, p.y - q.y) <= 1.5 * kStretchPx)
                sample.stretch.push_back(across(i));
        }
        samples.push_back(sample);
    }
    return samples;
}

class RealisticPhantom : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Phantom::Parameters left;
        Phantom::Parameters right;
        right.side = Phantom::Side::Right;
        right.inclinationDeg = 38;
        right.anteversionDeg = 24;
        right.focusMm = 1000;
        right.cupHeightMm = 185;
        constexpr auto kCemented = PhantomPicture::CupKind::CementedPolyethylene;
        scenes = new std::vector<Rendered>{
            renderScene(left, 1, kCemented), renderScene(right, 7, kCemented)};
        Phantom::Parameters steep;
        steep.inclinationDeg = 52;
        steep.anteversionDeg = 8;
        steep.cupHeightMm = 150;
        metalBacked = new std::vector<Rendered>{
            renderScene(left, 1), renderScene(right, 7), renderScene(steep, 11)};
    }

    static void TearDownTestSuite()
    {
        delete scenes;
        scenes = nullptr;
        delete metalBacked;
        metalBacked = nullptr;
    }

    static std::vector<Rendered> *scenes; // with the cemented polyethylene cup
    static std::vector<Rendered> *metalBacked; // with the cementless cup, the default
};

std::vector<Rendered> *RealisticPhantom::scenes = nullptr;
std::vector<Rendered> *RealisticPhantom::metalBacked = nullptr;

TEST(RealisticPhantomBlur, grows_with_the_height_above_the_film_and_the_focal_spot)
{
    // 1.2 mm spot, object 170 mm above the film, focus 1100 mm: penumbra FWHM 1.2 x 170 / 930
    // = 0.2194 mm, sigma 0.0931 mm, at 2500 px over 430 mm 0.541 px; the detector's 0.17 mm is
    // 0.988 px.
    Phantom::Parameters p;
    p.cupHeightMm = 170;
    p.headFromCupMm = {0, 0, 0};
    const Scene scene = Phantom::makeScene(p);
    const PhantomPicture::Unsharpness u = PhantomPicture::unsharpness(scene, {});
    EXPECT_NEAR(u.cupPx, 0.541, 0.002);
    EXPECT_NEAR(u.headPx, 0.541, 0.002);
    EXPECT_NEAR(u.detectorPx, 0.988, 0.002);

    PhantomPicture::Imaging twice;
    twice.focalSpotMm = 2.4;
    EXPECT_NEAR(PhantomPicture::unsharpness(scene, twice).cupPx, 2 * 0.541, 0.004);
    p.cupHeightMm = 250; // 1.2 x 250 / 850 = 0.353 mm FWHM: 0.871 px
    EXPECT_NEAR(PhantomPicture::unsharpness(Phantom::makeScene(p), {}).cupPx, 0.871, 0.003);
}

// Where an edge lies on a noisy picture, read at many points of one outline: nearly all within
// 0.3 px of the outline, none far off, and no bias along the outline as a whole.
struct Offsets
{
    std::vector<double> values;

    double mean() const
    {
        double sum = 0;
        for (double v : values)
            sum += v;
        return sum / double(values.size());
    }

    double share(double within) const
    {
        return double(std::count_if(values.begin(), values.end(), [&](double v) {
            return std::abs(v) <= within;
        })) / double(values.size());
    }

    double largest() const
    {
        double m = 0;
        for (double v : values)
            m = std::max(m, std::abs(v));
        return m;
    }
};

void expectOnOutline(const Offsets &offsets, const char *what)
{
    ASSERT_GE(offsets.values.size(), 20u) << what;
    EXPECT_GE(offsets.share(0.3), 0.9) << what;
    EXPECT_LE(offsets.largest(), 0.6) << what;
    EXPECT_NEAR(offsets.mean(), 0.0, 0.1) << what;
    std::printf("%s: %.0f%% within 0.3 px, largest %.2f px, mean %+.2f px\n", what,
        100 * offsets.share(0.3), offsets.largest(), offsets.mean());
}

TEST_F(RealisticPhantom, head_edge_lies_on_its_projected_outline)
{
    for (const Rendered &r : *scenes) {
        Offsets offsets;
        for (const OutlineSample &o : headSamples(r))
            // The metal head is the brighter side.
            offsets.values.push_back(steepest(across(r.picture, o.stretch, 8), -1, 5));
        expectOnOutline(offsets, "head");
    }
}

TEST_F(RealisticPhantom, rim_wire_lies_midway_between_its_flanks_on_its_projected_axis)
{
    for (const Rendered &r : *scenes) {
        Offsets offsets;
        for (const WireSample &w : wireSamples(r)) {
            if (w.nearCupWall)
                continue; // the cement ring's own slope pulls the flanks there
            const Profile profile = across(r.picture, w.stretch, 8);
            const double rise = steepest(profile, 1, 5), fall = steepest(profile, -1, 5);
            // A wire 0.9 mm thick at about 6.9 px per mm: its flanks about 3 px either side.
            EXPECT_LT(rise, -1.5);
            EXPECT_GT(fall, 1.5);
            offsets.values.push_back(0.5 * (rise + fall));
        }
        expectOnOutline(offsets, "rim wire");
    }
}

// The polyethylene's outline is the cement ring's inner edge. The ring is the mantle seen
// along its tangent: at the outline the cement's chord is longest and it shortens inwards as
// the square root of the depth, so the edge is a cusp, not a step, and after any blur its
// steepest part lies inside the outline (for a blur of sigma, 0.76 sigma inside for the bare
// square root).
TEST_F(RealisticPhantom, cup_edge_is_the_cement_rings_inner_rise_just_inside_the_outline)
{
    for (const Rendered &r : *scenes) {
        Offsets offsets;
        for (const OutlineSample &o : cupSamples(r)) {
            const Profile profile = across(r.picture, o.stretch, 8);
            offsets.values.push_back(steepest(profile, 1, 5));
            EXPECT_GT(profile.mean(0, 2), profile.mean(-5, -3) + 4) << o.at.x << ", " << o.at.y;
        }
        ASSERT_GE(offsets.values.size(), 15u);
        EXPECT_LE(*std::max_element(offsets.values.begin(), offsets.values.end()), 1.5);
        EXPECT_GT(offsets.mean(), -3.0);
        EXPECT_LT(offsets.mean(), -0.5);
        std::printf("cup: steepest rise %.2f px inside the outline on average\n", -offsets.mean());
    }
}

double mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return sum / double(v.size());
}

double meanGrey(const QImage &picture, Vec2 centre, double radius)
{
    double sum = 0;
    int n = 0;
    for (int y = int(centre.y - radius); y <= int(centre.y + radius); ++y)
        for (int x = int(centre.x - radius); x <= int(centre.x + radius); ++x)
            if (std::hypot(x + 0.5 - centre.x, y + 0.5 - centre.y) <= radius) {
                sum += picture.constScanLine(y)[x];
                ++n;
            }
    return sum / n;
}

// Grey steps across the outlines, each the mean over the samples of the grey 3 to 4.5 px on
// the brighter side less 3 to 4.5 px on the other (for the wire: its axis less both sides).
TEST_F(RealisticPhantom, metal_is_brighter_than_bone_by_the_steps_of_a_film_not_a_white_block)
{
    for (const Rendered &r : *scenes) {
        const Scene &s = r.scene;
        std::vector<double> headOverCup, headOverOpening, wireOverCupWall, wireOverPolyethylene,
            ringOverPolyethylene, mantleOverBone;
        for (const OutlineSample &o : headSamples(r)) {
            const Profile profile = across(r.picture, o.stretch, 8);
            const double step = profile.mean(-4.5, -3) - profile.mean(3, 4.5);
            // Where the tangent ray touches the head on the dome's side, the cup lies behind.
            const Vec3 from{
                o.touch.x - s.cupCentre.x, o.touch.y - s.cupCentre.y, o.touch.z - s.cupCentre.z};
            (dot(from, s.cupAxis) < 0 ? headOverCup : headOverOpening).push_back(step);
            // No side of the edge is white: the film's clear end is not reached.
            EXPECT_LT(profile.mean(-4.5, -3), 245);
        }
        for (const WireSample &w : wireSamples(r)) {
            const Profile profile = across(r.picture, w.stretch, 8);
            const double step =
                profile.mean(-0.5, 0.5) - 0.5 * (profile.mean(-6, -4.5) + profile.mean(4.5, 6));
            (w.overCupWall ? wireOverCupWall : wireOverPolyethylene).push_back(step);
        }
        for (const OutlineSample &o : cupSamples(r)) {
            const Profile profile = across(r.picture, o.stretch, 16);
            ringOverPolyethylene.push_back(profile.mean(0.5, 2) - profile.mean(-4.5, -3));
            // 1.5 mm of mantle at about 6.9 px per mm: bone from about 10 px out.
            mantleOverBone.push_back(profile.mean(0.5, 2) - profile.mean(13, 15));
        }
        const Vec2 head = s.toPicture(s.project(s.headCentre));
        // The pelvis above the cup: bone over the whole disc.
        const Vec2 acetabulum = s.pelvisPixel(s.sideSign * Phantom::kHipFromMidlineMm,
            Phantom::kHipAboveBaseMm + s.p.cupRadiusMm + 12);
        const double metal = meanGrey(r.picture, head, 20),
                     bone = meanGrey(r.picture, acetabulum, 8);
        std::printf("head %.0f, bone above the cup %.0f; steps: head over cup %.1f, head over the "
                    "opening %.1f, wire over polyethylene %.1f, wire over the cup's wall %.1f, "
                    "cement ring over polyethylene %.1f, mantle over bone %.1f\n",
            metal, bone, mean(headOverCup), mean(headOverOpening), mean(wireOverPolyethylene),
            mean(wireOverCupWall), mean(ringOverPolyethylene), mean(mantleOverBone));
        EXPECT_GT(metal, bone + 30);
        EXPECT_LT(metal, 240);
        EXPECT_GE(mean(headOverCup), 30);
        EXPECT_LE(mean(headOverCup), 45);
        EXPECT_GE(mean(headOverOpening), 30);
        EXPECT_LE(mean(headOverOpening), 50);
        EXPECT_GE(mean(wireOverPolyethylene), 25);
        EXPECT_LE(mean(wireOverPolyethylene), 45);
        // Over the tangent cement, almost opaque itself, the wire can only add a little.
        EXPECT_GE(mean(wireOverCupWall), 12);
        EXPECT_GE(mean(ringOverPolyethylene), 4);
        EXPECT_GE(mean(mantleOverBone), 25);
        EXPECT_LE(mean(mantleOverBone), 55);
    }
}

// A point focus and a detector that does not spread: the head's edge as sharp as the pixels
// allow, and still where the outline is.
TEST_F(RealisticPhantom, point_focus_and_sharp_detector_give_a_sharper_edge_in_the_same_place)
{
    const Rendered &blurred = scenes->front();
    PhantomPicture::Imaging ideal;
    ideal.cup = PhantomPicture::CupKind::CementedPolyethylene;
    ideal.focalSpotMm = 0;
    ideal.detectorBlurMm = 0;
    const QImage sharp = PhantomPicture::renderRealistic(blurred.scene, 1, ideal);
    // The steepest slope over one pixel, averaged round the head.
    const auto slope = [](const Profile &profile) {
        double best = 0;
        for (std::size_t i = 5; i + 5 < profile.grey.size(); ++i)
            best = std::max(best, profile.grey[i - 5] - profile.grey[i + 5]);
        return best;
    };
    double slopeBlurred = 0, slopeSharp = 0;
    Offsets offsets;
    for (const OutlineSample &o : headSamples(blurred)) {
        const Profile profile = across(sharp, o.stretch, 8);
        slopeSharp += slope(profile);
        slopeBlurred += slope(across(blurred.picture, o.stretch, 8));
        offsets.values.push_back(steepest(profile, -1, 5));
    }
    // A blur of 1.13 px against the pixel's own 0.29 px: the step of about 40 levels, spread
    // over about 2.5 times the width, is far less steep.
    EXPECT_GT(slopeSharp, 1.8 * slopeBlurred);
    // Unblurred, the step is as wide as a pixel and its place within the pixel is read less
    // precisely.
    EXPECT_NEAR(offsets.mean(), 0.0, 0.3);
    EXPECT_LE(offsets.largest(), 0.6);
}

// The cementless cup's outline is its titanium shell's outer surface against bone. The shell's
// chord grows as the square root of the depth inside the outline, 2 sqrt(2 R d): at 0.075 per mm
// in the picture's units and 3 per unit on the film the transmission falls as exp(-0.45
// sqrt(50 d)), at 6.9 px per mm exp(-1.2 sqrt(d)) of the depth in pixels; half of the fall lies
// within 0.35 px, its mean 1.4 px inside. Blurred by 1.1 px the steepest grey lies between the
// two. The head over the shell's two thin walls is metal over metal: a step of 30 to 45 grey
// levels, a little less than over the opening; its steepest point strays further than over
// polyethylene (single samples up to 2 px), but the outline as a whole must stay where it is.
TEST_F(RealisticPhantom, metal_backed_cup_edge_is_steepest_just_inside_its_outline)
{
    for (const Rendered &r : *metalBacked) {
        Offsets cup, head;
        for (const OutlineSample &o : cupSamples(r))
            cup.values.push_back(steepest(across(r.picture, o.stretch, 8), -1, 5));
        for (const OutlineSample &o : headSamples(r))
            head.values.push_back(steepest(across(r.picture, o.stretch, 8), -1, 5));
        ASSERT_GE(cup.values.size(), 20u);
        EXPECT_LT(cup.mean(), -0.2);
        EXPECT_GT(cup.mean(), -0.8);
        EXPECT_LE(cup.largest(), 1.5);
        std::printf("metal-backed cup: steepest %.2f px inside on average, %.0f%% within 0.3 px, "
                    "largest %.2f px\n",
            -cup.mean(), 100 * cup.share(0.3), cup.largest());
        ASSERT_GE(head.values.size(), 20u);
        EXPECT_NEAR(head.mean(), 0.0, 0.4);
        std::printf("head over the metal-backed cup: %.0f%% within 0.3 px, largest %.2f px, mean "
                    "%+.2f px\n",
            100 * head.share(0.3), head.largest(), head.mean());
    }
}

// Steps as in the test above, now metal over metal: the head and the wire over titanium, the
// shell's outline over bone; no side reaches the film's clear end.
TEST_F(RealisticPhantom, metal_backed_cup_shows_the_head_and_the_wire_over_its_titanium)
{
    for (const Rendered &r : *metalBacked) {
        const Scene &s = r.scene;
        std::vector<double> headOverShell, headOverOpening, wireOverShellWall, wireOverLiner,
            shellOverBone;
        double brightest = 0;
        for (const OutlineSample &o : headSamples(r)) {
            const Profile profile = across(r.picture, o.stretch, 8);
            const Vec3 from{
                o.touch.x - s.cupCentre.x, o.touch.y - s.cupCentre.y, o.touch.z - s.cupCentre.z};
            (dot(from, s.cupAxis) < 0 ? headOverShell : headOverOpening)
                .push_back(profile.mean(-4.5, -3) - profile.mean(3, 4.5));
            brightest = std::max(brightest, profile.mean(-4.5, -3));
        }
        for (const WireSample &w : wireSamples(r)) {
            const Profile profile = across(r.picture, w.stretch, 8);
            const double step =
                profile.mean(-0.5, 0.5) - 0.5 * (profile.mean(-6, -4.5) + profile.mean(4.5, 6));
            (w.overCupWall ? wireOverShellWall : wireOverLiner).push_back(step);
            brightest = std::max(brightest, profile.mean(-0.5, 0.5));
        }
        for (const OutlineSample &o : cupSamples(r)) {
            const Profile profile = across(r.picture, o.stretch, 8);
            shellOverBone.push_back(profile.mean(-4.5, -3) - profile.mean(3, 4.5));
            brightest = std::max(brightest, profile.mean(-4.5, -3));
        }
        std::printf("metal-backed cup, steps: head over the shell %.1f, head over the opening "
                    "%.1f, wire over the shell's wall %.1f, wire over the liner %.1f, shell over "
                    "bone %.1f; brightest %.0f\n",
            mean(headOverShell), mean(headOverOpening), mean(wireOverShellWall),
            mean(wireOverLiner), mean(shellOverBone), brightest);
        // Through the dome's two walls, some 7 mm of titanium, a seventh of the light is left
        // beside the scatter: the head shows, faintly.
        EXPECT_GE(mean(headOverShell), 30);
        EXPECT_LE(mean(headOverShell), 45);
        EXPECT_GE(mean(headOverOpening), 15);
        EXPECT_LE(mean(headOverOpening), 50);
        // Over the tangent wall the titanium is nearly opaque itself, as the cement ring was.
        EXPECT_GE(mean(wireOverShellWall), 15);
        EXPECT_LE(mean(wireOverShellWall), 45);
        EXPECT_GE(mean(wireOverLiner), 8);
        EXPECT_LE(mean(wireOverLiner), 45);
        EXPECT_GE(mean(shellOverBone), 30);
        EXPECT_LE(mean(shellOverBone), 55);
        EXPECT_LT(brightest, 250);
    }
}

TEST(RealisticPhantomNoise, same_seed_same_picture_another_seed_other_noise)
{
    const Scene scene = Phantom::makeScene({});
    const QImage a = PhantomPicture::renderRealistic(scene, 3);
    EXPECT_EQ(a, PhantomPicture::renderRealistic(scene, 3));
    EXPECT_NE(a, PhantomPicture::renderRealistic(scene, 4));
}

} // namespace

int main(int argc, char *argv[])
{
    // The side marker's letter needs fonts, and fonts a platform; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
