// Edge snapping measured on rendered phantoms. Each phantom is rendered once; its outline points
// are taken three ways: exactly on the projected outlines, clicked with a scatter of 2 picture
// pixels, and the same clicks snapped as the window snaps them (each click as it is made, along
// the strongest gradient; after the fit every point once more across the fit, and a refit). The
// clicked and the snapped landmarks are compared with the exact ones, so that the method's own
// error from the central projection does not count as picking error.
//
// And where there is no edge, snapping must leave a point within its search radius of the click.
// The suite prints what it measured.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include "core/evaluation/evaluate.h"
#include "core/image/EdgeSnap.h"
#include "core/image/LandmarkSnap.h"
#include "core/model/CCircle.h"
#include "core/model/CEllipse.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestEvaluationHost.h"
#include "tools/phantom/Phantom.h"
#include "tools/phantom/PhantomPicture.h"
#include "validation/Errors.h"
#include "validation/PhantomSetup.h"

namespace {

using Phantom::Parameters;
using Phantom::Scene;
using Phantom::Side;
using Phantom::Vec2;

// The picking scatter of the issue: 2 picture pixels in each coordinate, Gaussian. Across the
// outline this is a scatter of 2 px, whatever the outline's direction; along it the point only
// slides on the outline.
constexpr double kClickScatterPx = 2.0;
// The window's search radius: the farthest a snap may move a point.
constexpr double kSearchRadiusPx = EdgeSnap::Options{}.radius;
// From here on the anteversion is told apart from its mirror image (see PhantomValidation).
constexpr double kUnambiguousAnteversionDeg = 10.0;
using PhantomSetup::kHeadBased;

// What the fitted landmarks and the evaluation give.
struct Measured
{
    bool evaluated = false;
    double headX = 0, headY = 0, headR = 0; // picture pixels
    double cupX = 0, cupY = 0, cupR = 0;
    double inclination = 0, anteversion = 0; // written, degrees
    std::string failure; // why it was not evaluated; reported by the test, not while measuring
};

// The points fitted as the program fits them, then through the landmark file and "Write Data"
// into the result file, whose inclination and anteversion are read back.
Measured evaluateLikeTheProgram(const Scene &scene, const Phantom::Picks &picks)
{
    static const TempDir dir;
    RecordingMessages messages;
    messages.inputAnswers.push_back(std::string("ok")); // a plausibility question is let pass

    COxel placed;
    placed.setPicBox(nullptr);
    Measured measured;
    const bool fitted = Phantom::placeLandmarks(scene, picks, placed);
    measured.headX = placed.Head.M.x;
    measured.headY = placed.Head.M.y;
    measured.headR = placed.Head.r;
    measured.cupX = placed.Cup.M.x;
    measured.cupY = placed.Cup.M.y;
    measured.cupR = placed.Cup.r;
    if (!fitted) {
        measured.failure = std::string("no fit of the") + (placed.Head.Valid ? "" : " head")
            + (placed.Cup.Valid ? "" : " cup") + (placed.Rim.Valid ? "" : " rim");
        return measured;
    }

    TestEvaluationHost host;
    if (!PhantomSetup::throughTheLandmarkFile(
            scene, placed, kHeadBased, dir, host.measurement, measured.failure))
        return measured;
    measured.evaluated = evaluate(host);
    if (!measured.evaluated) {
        measured.failure = "evaluation refused: "
            + (messages.boxes.empty() ? std::string("without a message")
                                      : messages.boxes.back().text);
        return measured;
    }
    const auto block = PhantomSetup::takeBlock(dir, measured.failure);
    if (!block || !block->inclination || !block->anteversion) {
        measured.evaluated = false;
        measured.failure += block ? "no orientation written" : "";
        return measured;
    }
    measured.inclination = *block->inclination;
    measured.anteversion = *block->anteversion;
    return measured;
}

// What snapping did to one landmark's points.
struct SnapLog
{
    int clicks = 0;
    int refusedOnClick = 0; // kept where clicked
    int refusedAcrossFit = 0;
    int competingOnClick = 0; // of the refused on the click, for two edges of similar strength
    int refitsLost = 0; // the snapped points gave no fit, every point went back
    int fittedAsClicked = 0; // entries whose snapped clicks gave no fit
    double largestFromClick = 0; // px, both steps together
    double sumSquaredFromClick = 0;

    void add(const SnapLog &other)
    {
        clicks += other.clicks;
        refusedOnClick += other.refusedOnClick;
        refusedAcrossFit += other.refusedAcrossFit;
        competingOnClick += other.competingOnClick;
        refitsLost += other.refitsLost;
        fittedAsClicked += other.fittedAsClicked;
        largestFromClick = std::max(largestFromClick, other.largestFromClick);
        sumSquaredFromClick += other.sumSquaredFromClick;
    }

    double rmsFromClick() const { return clicks ? std::sqrt(sumSquaredFromClick / clicks) : 0; }
};

// The window's road for one landmark: a new entry starts unfitted, each click is snapped as it
// is made (along the strongest gradient, since there is no fit yet), the right button fits the
// landmark, and every point is snapped once more across the fit and the landmark refitted.
std::vector<Vec2> snapLikeTheWindow(const EdgeSnap::GreyView &picture, PointLandmark &landmark,
    const std::vector<Vec2> &clicks, SnapLog &log)
{
    landmark.Valid = false;
    landmark.removeAll();
    for (const Vec2 &click : clicks) {
        const EdgeSnap::Result placed =
            LandmarkSnap::snapPoint(picture, landmark, click.x, click.y);
        if (placed.outcome != EdgeSnap::Outcome::Snapped)
            ++log.refusedOnClick;
        if (placed.outcome == EdgeSnap::Outcome::CompetingEdges)
            ++log.competingOnClick;
        landmark.addPoint(placed.x, placed.y);
    }
    bool fitted = landmark.fit();
    if (!fitted) {
        // As the window does: the clicks are fitted when the snapped points give no fit.
        ++log.fittedAsClicked;
        for (std::size_t i = 0; i < clicks.size(); ++i)
            landmark.points[i]->change(clicks[i].x, clicks[i].y);
        fitted = landmark.fit();
    }
    if (fitted) {
        landmark.Valid = true;
        const LandmarkSnap::Report report = LandmarkSnap::snapAcrossFit(picture, landmark);
        log.refusedAcrossFit += report.refused;
        log.refitsLost += report.snapped > 0 && !report.refitted;
    }
    std::vector<Vec2> placed;
    for (std::size_t i = 0; i < clicks.size(); ++i) {
        const CPoint &point = *landmark.points[i];
        const double moved = std::hypot(point.x - clicks[i].x, point.y - clicks[i].y);
        ++log.clicks;
        log.largestFromClick = std::max(log.largestFromClick, moved);
        log.sumSquaredFromClick += moved * moved;
        placed.push_back({point.x, point.y});
    }
    return placed;
}

struct SnappedPicks
{
    Phantom::Picks picks;
    SnapLog head, cup, rim;
};

SnappedPicks snapLikeTheWindow(const EdgeSnap::GreyView &picture, const Phantom::Picks &clicks)
{
    COxel oxel;
    oxel.setPicBox(nullptr);
    SnappedPicks out;
    out.picks.head = snapLikeTheWindow(picture, oxel.Head, clicks.head, out.head);
    out.picks.cup = snapLikeTheWindow(picture, oxel.Cup, clicks.cup, out.cup);
    out.picks.rim = snapLikeTheWindow(picture, oxel.Rim, clicks.rim, out.rim);
    return out;
}

// Where points stand across the outline the exact points lie on: for each exact point, the
// distance of the point that stands for it, along the outline's outward normal there (px).
struct Offsets
{
    std::vector<double> clicked, snapped;
};

std::vector<double> offsetsAcross(
    const PointLandmark &exact, const std::vector<Vec2> &onOutline, const std::vector<Vec2> &points)
{
    std::vector<double> offsets;
    for (std::size_t i = 0; i < onOutline.size() && i < points.size(); ++i) {
        const Vec2 &e = onOutline[i];
        std::optional<EdgeSnap::Direction> out;
        if (const auto *circle = dynamic_cast<const CCircle *>(&exact))
            out = EdgeSnap::acrossCircle(*circle, e.x, e.y);
        else if (const auto *ellipse = dynamic_cast<const CEllipse *>(&exact))
            out = EdgeSnap::acrossEllipse(*ellipse, e.x, e.y);
        if (out)
            offsets.push_back((points[i].x - e.x) * out->x + (points[i].y - e.y) * out->y);
    }
    return offsets;
}

struct PhantomRun
{
    std::string name;
    Parameters parameters;
    double trueAnteversion = 0;
    double mmPerPx = 0; // on the film
    Measured exact, clicked, snapped;
    SnapLog head, cup, rim;
    Offsets headOffsets, cupOffsets, rimOffsets;
};

// Both hips, inclinations 30 to 60 degrees, anteversions 0 to 30 degrees, focus distances 1000
// to 1200 mm; the patient's depth, the pelvis' turn and place and the head's offset vary as in
// PhantomValidation. Rendering dominates the time: about a second a phantom.
std::vector<PhantomRun> runPhantoms()
{
    std::vector<PhantomRun> all;
    std::uint32_t seed = 1;
    for (Side side : {Side::Left, Side::Right})
        for (double inclination : {30.0, 40.0, 50.0, 60.0})
            for (double anteversion : {0.0, 10.0, 20.0, 30.0}) {
                Phantom::Random random(seed * 7919u);
                Parameters p =
                    PhantomSetup::hip(side, inclination, anteversion, std::nullopt, random);
                // A cementless cup carries its marker wire in the liner, clear of the shell.
                p.wireRadiusMm = 21.5;
                p.scatterPx = 0;
                const Scene exactScene = Phantom::makeScene(p);
                p.scatterPx = kClickScatterPx;
                const Scene scene = Phantom::makeScene(p);
                // The same seed takes the same outline points; only the scatter differs.
                const Phantom::Picks onOutline = Phantom::pickOutlines(exactScene, seed);
                const Phantom::Picks clicks = Phantom::pickOutlines(scene, seed);

                const QImage image = PhantomPicture::renderRealistic(scene, seed);
                const EdgeSnap::GreyView picture = EdgeSnap::GreyView::topDown(
                    image.constBits(), image.width(), image.height(), image.bytesPerLine());
                const SnappedPicks snapped = snapLikeTheWindow(picture, clicks);

                PhantomRun run;
                run.parameters = p;
                run.name = std::string(side == Side::Left ? "left" : "right") + " hip, inclination "
                    + std::to_string(int(inclination)) + ", anteversion "
                    + std::to_string(int(anteversion)) + ", seed " + std::to_string(seed);
                run.trueAnteversion = Phantom::truth(scene).anteversionDeg;
                run.mmPerPx = 1.0 / scene.pxPerMm;
                run.exact = evaluateLikeTheProgram(scene, onOutline);
                run.clicked = evaluateLikeTheProgram(scene, clicks);
                run.snapped = evaluateLikeTheProgram(scene, snapped.picks);
                run.head = snapped.head;
                run.cup = snapped.cup;
                run.rim = snapped.rim;
                COxel exactFit;
                exactFit.setPicBox(nullptr);
                Phantom::placeLandmarks(scene, onOutline, exactFit);
                run.headOffsets = {offsetsAcross(exactFit.Head, onOutline.head, clicks.head),
                    offsetsAcross(exactFit.Head, onOutline.head, snapped.picks.head)};
                run.cupOffsets = {offsetsAcross(exactFit.Cup, onOutline.cup, clicks.cup),
                    offsetsAcross(exactFit.Cup, onOutline.cup, snapped.picks.cup)};
                run.rimOffsets = {offsetsAcross(exactFit.Rim, onOutline.rim, clicks.rim),
                    offsetsAcross(exactFit.Rim, onOutline.rim, snapped.picks.rim)};
                all.push_back(run);
                ++seed;
            }
    return all;
}

// One measured quantity: its error against the exact points, and how much of the clicked rms
// the snapped rms may keep.
struct Quantity
{
    const char *name;
    const char *unit;
    double (*error)(const Measured &m, const Measured &exact, const PhantomRun &run);
    double rmsShare;
    bool unambiguousOnly = false;
};

double distance(double x0, double y0, double x1, double y1)
{
    return std::hypot(x1 - x0, y1 - y0);
}

const Quantity kQuantities[] = {
    {"head radius", "px",
        [](const Measured &m, const Measured &e, const PhantomRun &) { return m.headR - e.headR; },
        0.5},
    {"head centre", "px",
        [](const Measured &m, const Measured &e, const PhantomRun &) {
            return distance(m.headX, m.headY, e.headX, e.headY);
        },
        0.5},
    {"cup radius", "px",
        [](const Measured &m, const Measured &e, const PhantomRun &) { return m.cupR - e.cupR; },
        0.5},
    {"cup centre", "px",
        [](const Measured &m, const Measured &e, const PhantomRun &) {
            return distance(m.cupX, m.cupY, e.cupX, e.cupY);
        },
        0.5},
    {"inclination", "deg",
        [](const Measured &m, const Measured &e, const PhantomRun &) {
            return m.inclination - e.inclination;
        },
        2.0 / 3.0},
    {"anteversion from 10 deg", "deg",
        [](const Measured &m, const Measured &e, const PhantomRun &) {
            return m.anteversion - e.anteversion;
        },
        2.0 / 3.0, true},
};

Errors errorsOf(const std::vector<PhantomRun> &all, const Quantity &q, Measured PhantomRun::*way)
{
    Errors errors;
    for (const PhantomRun &run : all) {
        if (q.unambiguousOnly && run.trueAnteversion < kUnambiguousAnteversionDeg)
            continue;
        // A landmark without a fit has no error to measure; the validation fails for it anyway.
        if (!run.exact.evaluated || !run.clicked.evaluated || !run.snapped.evaluated)
            continue;
        errors.add(q.error(run.*way, run.exact, run));
    }
    return errors;
}

void printSnapLog(const char *name, const SnapLog &log)
{
    std::printf("  %-5s %4d clicks, refused on the click %3d (%d for two edges), across the fit "
                "%3d, refits lost %d, entries fitted as clicked %d; moved from the click rms "
                "%.2f px, largest %.2f px\n",
        name, log.clicks, log.refusedOnClick, log.competingOnClick, log.refusedAcrossFit,
        log.refitsLost, log.fittedAsClicked, log.rmsFromClick(), log.largestFromClick);
}

void printFigures(const std::vector<PhantomRun> &all)
{
    const double mmPerPx = all.empty() ? 0 : all.front().mmPerPx;
    std::printf("edge snapping on %zu rendered phantoms, clicks scattered by %.0f px (%.2f mm on "
                "the film) in each coordinate; errors against the points on the outlines\n",
        all.size(), kClickScatterPx, kClickScatterPx * mmPerPx);
    std::printf("  %-24s %-5s %8s %8s   %8s %8s   %s\n", "", "", "clicked", "", "snapped", "",
        "snapped / clicked rms");
    std::printf(
        "  %-24s %-5s %8s %8s   %8s %8s\n", "quantity", "unit", "rms", "largest", "rms", "largest");
    for (const Quantity &q : kQuantities) {
        const Errors clicked = errorsOf(all, q, &PhantomRun::clicked);
        const Errors snapped = errorsOf(all, q, &PhantomRun::snapped);
        std::printf("  %-24s %-5s %8.3f %8.3f   %8.3f %8.3f   %.2f (at most %.2f), %zu phantoms\n",
            q.name, q.unit, clicked.rms(), clicked.maxAbs(), snapped.rms(), snapped.maxAbs(),
            clicked.rms() > 0 ? snapped.rms() / clicked.rms() : 0.0, q.rmsShare, clicked.count());
    }
    SnapLog head, cup, rim;
    for (const PhantomRun &run : all) {
        head.add(run.head);
        cup.add(run.cup);
        rim.add(run.rim);
    }
    int unevaluated = 0;
    for (const PhantomRun &run : all)
        unevaluated += !run.exact.evaluated || !run.clicked.evaluated || !run.snapped.evaluated;
    std::printf("  phantoms left out because a landmark gave no fit: %d\n", unevaluated);
    printSnapLog("head", head);
    printSnapLog("cup", cup);
    printSnapLog("rim", rim);
    std::printf("  points across the outline (outwards positive), px:\n");
    const auto printOffsets = [&all](const char *name, Offsets PhantomRun::*which) {
        Errors clicked, snapped;
        for (const PhantomRun &run : all) {
            for (double v : (run.*which).clicked)
                clicked.add(v);
            for (double v : (run.*which).snapped)
                snapped.add(v);
        }
        std::printf(
            "  %-5s clicked mean %+.2f rms %.2f beyond 1 px %3.0f%%; snapped mean %+.2f rms "
            "%.2f beyond 1 px %3.0f%%\n",
            name, clicked.mean(), clicked.rms(), 100 * clicked.beyond(1), snapped.mean(),
            snapped.rms(), 100 * snapped.beyond(1));
    };
    printOffsets("head", &PhantomRun::headOffsets);
    printOffsets("cup", &PhantomRun::cupOffsets);
    printOffsets("rim", &PhantomRun::rimOffsets);
}

// A flat picture with the film's noise and nothing else: grain of 3 grey levels blurred by
// 0.7 px, and 1.5 levels of mottle several millimetres across.
class NoisePicture
{
public:
    NoisePicture(int width, int height, double level, std::uint32_t seed)
        : w(width), h(height), pixels(std::size_t(width) * std::size_t(height))
    {
        Phantom::Random random(seed);
        const std::vector<double> grain = normalised(blurred(gaussian(random), 0.7));
        const std::vector<double> mottle = normalised(blurred(gaussian(random), 7.0));
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(
                std::clamp(std::lround(level + 3.0 * grain[i] + 1.5 * mottle[i]), 0L, 255L));
    }

    EdgeSnap::GreyView view() const
    {
        return EdgeSnap::GreyView::topDown(pixels.data(), w, h, std::size_t(w));
    }

private:
    std::vector<double> gaussian(Phantom::Random &random) const
    {
        std::vector<double> v(pixels.size());
        for (double &x : v)
            x = random.gaussian();
        return v;
    }

    std::vector<double> blurred(std::vector<double> v, double sigma) const
    {
        const int radius = int(std::ceil(3 * sigma));
        std::vector<double> kernel;
        for (int i = -radius; i <= radius; ++i)
            kernel.push_back(std::exp(-0.5 * i * i / (sigma * sigma)));
        const auto pass = [&](int count, int lines, auto index) {
            std::vector<double> line(std::size_t(count), 0.0);
            for (int l = 0; l < lines; ++l) {
                for (int i = 0; i < count; ++i) {
                    double s = 0;
                    for (int k = -radius; k <= radius; ++k)
                        s += kernel[std::size_t(k + radius)]
                            * v[index(std::clamp(i + k, 0, count - 1), l)];
                    line[std::size_t(i)] = s;
                }
                for (int i = 0; i < count; ++i)
                    v[index(i, l)] = line[std::size_t(i)];
            }
        };
        pass(w, h, [this](int x, int y) { return std::size_t(y) * std::size_t(w) + x; });
        pass(h, w, [this](int y, int x) { return std::size_t(y) * std::size_t(w) + x; });
        return v;
    }

    static std::vector<double> normalised(std::vector<double> v)
    {
        double s = 0;
        for (double x : v)
            s += x * x;
        const double scale = 1.0 / std::sqrt(s / double(v.size()));
        for (double &x : v)
            x *= scale;
        return v;
    }

    int w, h;
    std::vector<std::uint8_t> pixels;
};

} // namespace

// One test, so that the phantoms are rendered once however the tests are run (each test of
// the suite runs as a process of its own under ctest).
TEST(SnapValidation, SnappingHalvesTheErrorsOfRadiiAndCentresAndCutsThoseOfTheAnglesByAThird)
{
    const std::vector<PhantomRun> runs = runPhantoms();
    printFigures(runs);
    ASSERT_EQ(runs.size(), 32u);
    for (const PhantomRun &run : runs) {
        EXPECT_TRUE(run.exact.evaluated) << run.name << ", exact points: " << run.exact.failure;
        EXPECT_TRUE(run.clicked.evaluated) << run.name << ", clicked: " << run.clicked.failure;
        EXPECT_TRUE(run.snapped.evaluated) << run.name << ", snapped: " << run.snapped.failure;
    }
    for (const Quantity &q : kQuantities) {
        const double clicked = errorsOf(runs, q, &PhantomRun::clicked).rms();
        const double snapped = errorsOf(runs, q, &PhantomRun::snapped).rms();
        EXPECT_LE(snapped, q.rmsShare * clicked)
            << q.name << ": rms " << snapped << " " << q.unit << " snapped against " << clicked
            << " clicked, at most " << q.rmsShare << " of it";
    }
}

TEST(SnapWithoutEdge, PointsStayWithinTheSearchRadiusOfTheirClicks)
{
    // Outlines clicked where there is none: circles (head, cup) and ellipses (rim) of the sizes
    // the phantoms have, on flat pictures with the film's noise, dark, middle and bright. Both
    // steps of the window's snapping together may not carry a point farther than the radius.
    SnapLog all;
    std::uint32_t seed = 11;
    for (double level : {40.0, 128.0, 215.0})
        for (int repeat = 0; repeat < 4; ++repeat, ++seed) {
            const NoisePicture noise(420, 420, level, seed);
            const EdgeSnap::GreyView picture = noise.view();
            Phantom::Random random(seed);
            COxel oxel;
            oxel.setPicBox(nullptr);
            for (PointLandmark *landmark :
                {static_cast<PointLandmark *>(&oxel.Head), static_cast<PointLandmark *>(&oxel.Cup),
                    static_cast<PointLandmark *>(&oxel.Rim)}) {
                const double a = random.uniform(90, 180);
                const double b = landmark == &oxel.Rim ? a * random.uniform(0.3, 0.9) : a;
                const double turn = random.uniform(0, std::numbers::pi);
                const int count = random.integer(6, 12);
                std::vector<Vec2> clicks;
                for (int k = 0; k < count; ++k) {
                    const double t = 2 * std::numbers::pi * (k + random.uniform(0, 0.5)) / count;
                    const double u = a * std::cos(t), v = b * std::sin(t);
                    clicks.push_back({210 + u * std::cos(turn) - v * std::sin(turn),
                        210 + u * std::sin(turn) + v * std::cos(turn)});
                }
                SnapLog log;
                snapLikeTheWindow(picture, *landmark, clicks, log);
                EXPECT_LE(log.largestFromClick, kSearchRadiusPx)
                    << "grey level " << level << ", seed " << seed;
                all.add(log);
            }
        }
    std::printf("snapping where there is no edge:\n");
    printSnapLog("all", all);
    // Nearly every search refuses on pure noise (its steepest slope stays below the threshold).
    EXPECT_GE(all.refusedOnClick, all.clicks * 9 / 10);
}

int main(int argc, char **argv)
{
    // The phantom paints its side marker with a font, which needs a GUI application; no display.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
