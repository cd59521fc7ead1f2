// The evaluation measured against phantoms: radiographs whose true 3-D geometry is known. Each
// phantom's landmarks are what an operator would place (the grid on the pelvis, 6 to 12 points
// clicked on each outline with a little scatter); they go through the landmark file and the
// evaluation as in the program, and the result file's values are compared with the truth.
//
// The bounds below were set after measuring the errors over a larger set of the same kind
// (20 phantoms per combination instead of 3); each lies about a third above the largest error
// seen there. The suite prints what it measured.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/evaluation/ExactEvaluation.h"
#include "core/evaluation/evaluate.h"
#include "core/model/COxel.h"
#include "core/model/Math.h"
#include "core/records/BinFile.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestEvaluationHost.h"
#include "tools/phantom/Phantom.h"
#include "validation/Errors.h"
#include "validation/PhantomSetup.h"

namespace {

using Phantom::Parameters;
using Phantom::Scene;
using Phantom::Side;
using Phantom::Vec2;
using Phantom::Vec3;

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

using TestHost = TestEvaluationHost;

using PhantomSetup::kCupBased;
using PhantomSetup::kHeadBased;

// What one block of the result file says of a phantom.
struct Written
{
    bool sideLeft = false;
    bool headValid = false, cupValid = false, rimValid = false;
    double headCranial = 0, headMedial = 0, cupCranial = 0, cupMedial = 0;
    double inclination = 0, anteversion = 0;
    double beta1 = 0, beta2 = 0;
    std::string sign1, sign2;
    double headAntiparameter = 0, cupAntiparameter = 0;
    double wearX = 0, wearY = 0;
};

Written writtenIn(const ResultEntry &e)
{
    Written w;
    w.sideLeft = e.sideLeft;
    w.headValid = e.headCranial.has_value();
    w.headCranial = e.headCranial.value_or(0);
    w.headMedial = e.headMedial.value_or(0);
    w.cupValid = e.cupCranial.has_value();
    w.cupCranial = e.cupCranial.value_or(0);
    w.cupMedial = e.cupMedial.value_or(0);
    w.inclination = e.inclination.value_or(0);
    w.rimValid = e.anteversion.has_value();
    w.anteversion = e.anteversion.value_or(0);
    w.beta1 = e.beta1;
    w.sign1 = e.sign1;
    w.beta2 = e.beta2;
    w.sign2 = e.sign2;
    w.headAntiparameter = e.headAntiparameter;
    w.cupAntiparameter = e.cupAntiparameter;
    w.wearX = e.wearX.value_or(0);
    w.wearY = e.wearY.value_or(0);
    return w;
}

struct Outcome
{
    bool evaluated = false;
    bool cupQuestion = false; // the cup-diameter plausibility check asked the operator
    Written written;
};

// The road of a radiograph in the program: landmarks placed and fitted, the landmark file written
// and read back into a fresh measurement with the patient's data, then "Write Data".
// With `exact` given, the measurement read back is also evaluated exactly, before the designed
// evaluation writes into it.
Outcome evaluateLikeTheProgram(const Scene &scene, const Phantom::Picks &picks, std::int16_t typ,
    ExactEvaluation *exact = nullptr)
{
    // One folder for all evaluations: making and removing a folder each time costs more than
    // the evaluation.
    static const TempDir dir;
    RecordingMessages messages;
    messages.inputAnswers.push_back(std::string("ok")); // a plausibility question is let pass

    COxel placed;
    placed.setPicBox(nullptr);
    EXPECT_TRUE(Phantom::placeLandmarks(scene, picks, placed));
    TestHost host;
    std::string why;
    if (!PhantomSetup::throughTheLandmarkFile(scene, placed, typ, dir, host.measurement, why))
        ADD_FAILURE() << why;
    if (exact)
        *exact = evaluateExactly(host.measurement);
    Outcome outcome;
    outcome.evaluated = evaluate(host);
    outcome.cupQuestion = !messages.inputs.empty();
    if (!outcome.evaluated) {
        ADD_FAILURE() << "evaluation refused: "
                      << (messages.boxes.empty() ? std::string("without a message")
                                                 : messages.boxes.back().text);
    } else if (const auto block = PhantomSetup::takeBlock(dir, why)) {
        outcome.written = writtenIn(*block);
    } else {
        ADD_FAILURE() << why;
    }
    return outcome;
}

// The anteversion of the cup mirrored across the plane at right angles to the central ray from
// the focus to the cup: from the focus the mirrored rim looks almost the same as the real one.
double mirroredAnteversion(const Scene &scene)
{
    Vec3 r{scene.focus.x - scene.cupCentre.x, scene.focus.y - scene.cupCentre.y,
        scene.focus.z - scene.cupCentre.z};
    const double length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    r = {r.x / length, r.y / length, r.z / length};
    const Vec3 &a = scene.cupAxis;
    const double along = a.x * r.x + a.y * r.y + a.z * r.z;
    return std::asin(a.z - 2 * along * r.z) * kDegreesPerRadian;
}

struct Evaluated
{
    Parameters parameters;
    Phantom::Truth truth;
    double mirrorAnteversion = 0;
    Outcome headBased, cupBased;
};

// Both hips, inclinations 30 to 60 degrees, anteversions 0 to 30 degrees and focus distances
// 1000 to 1200 mm; for each, the patient's depth on the table, the pelvis' turn and place under
// the beam and the head's offset in the cup vary as they do between radiographs.
std::vector<Evaluated> evaluatePhantoms(double scatterPx, int repeats, double beamMisplacementMm)
{
    std::vector<Evaluated> all;
    std::uint32_t seed = 1;
    for (Side side : {Side::Left, Side::Right})
        for (double inclination : {30.0, 40.0, 50.0, 60.0})
            for (double anteversion : {0.0, 10.0, 20.0, 30.0})
                for (double focus : {1000.0, 1100.0, 1200.0})
                    for (int repeat = 0; repeat < repeats; ++repeat, ++seed) {
                        Phantom::Random random(seed * 7919u);
                        Parameters p =
                            PhantomSetup::hip(side, inclination, anteversion, focus, random);
                        const double direction = random.uniform(0, 2 * std::numbers::pi);
                        p.beamMisplacementMm = {beamMisplacementMm * std::cos(direction),
                            beamMisplacementMm * std::sin(direction)};
                        p.scatterPx = scatterPx;

                        const Scene scene = Phantom::makeScene(p);
                        const Phantom::Picks picks = Phantom::pickOutlines(scene, seed);
                        all.push_back({p, Phantom::truth(scene), mirroredAnteversion(scene),
                            evaluateLikeTheProgram(scene, picks, kHeadBased),
                            evaluateLikeTheProgram(scene, picks, kCupBased)});
                    }
    return all;
}

// The largest errors allowed, in degrees and mm.
struct Bounds
{
    double inclination, anteversion;
    double headCranial, headMedial, headAntiparameter; // head-based: the head itself
    double rimCranial, rimMedial, rimAntiparameter; // head-based: the cup from the rim centre
    double cupCranial, cupMedial, cupAntiparameter; // cup-based: the cup circle itself
    double headAtCupCranial, headAtCupMedial, headAtCupAntiparameter; // cup-based: the head
    double wear;
};

// The method alone, points exactly on the outlines. What remains comes from the evaluation's
// approximations: a sphere away from the beam centre casts an outline slightly larger than the
// one its height is computed from, the rim is taken as a circle lying flat at the film, the
// inclination is read on the film, and the second sphere is placed at the reference sphere's
// height.
constexpr Bounds kMethodBounds{
    2.8, 1.0, // measured 2.11, 0.71
    0.45, 0.25, 1.0, // measured 0.32, 0.17, 0.77
    0.5, 0.5, 1.25, // measured 0.35, 0.38, 0.93
    0.6, 0.3, 1.0, // measured 0.45, 0.21, 0.73
    0.5, 0.25, 1.15, // measured 0.37, 0.19, 0.87
    0.35, // measured 0.26
};

// With a Gaussian scatter of 1 px (0.17 mm) in each coordinate of every clicked point. The
// scatter reaches the migration values mainly through the fitted radius, which sets the height
// of the reference sphere: 1% of radius is about 9 mm of height. The cup circle, fitted to the
// dome alone, is the most sensitive.
constexpr Bounds kScatterBounds{
    3.5, 2.5, // measured 2.64, 1.88
    1.3, 0.8, 3.2, // measured 0.97, 0.58, 2.38
    2.0, 1.6, 3.6, // measured 1.48, 1.18, 2.67
    3.7, 0.95, 5.6, // measured 2.80, 0.70, 4.17
    2.8, 1.55, 6.3, // measured 2.07, 1.16, 4.71
    1.2, // measured 0.88
};

// From here on the anteversion is told apart from its mirror image (see below).
constexpr double kUnambiguousAnteversionDeg = 10.0;

using Pick = double (*)(const Evaluated &);

Errors errorsOf(const std::vector<Evaluated> &all, Pick error, bool unambiguousOnly = false)
{
    Errors errors;
    for (const Evaluated &e : all) {
        if (!unambiguousOnly || e.truth.anteversionDeg >= kUnambiguousAnteversionDeg)
            errors.add(error(e));
    }
    return errors;
}

// Each quantity: its name, its error and its bound.
struct Quantity
{
    const char *name;
    Pick error;
    double Bounds::*bound;
    bool unambiguousOnly = false;
};

const Quantity kQuantities[] = {
    {"inclination (deg)",
        [](const Evaluated &e) { return e.headBased.written.inclination - e.truth.inclinationDeg; },
        &Bounds::inclination},
    {"anteversion from 10 deg (deg)",
        [](const Evaluated &e) { return e.headBased.written.anteversion - e.truth.anteversionDeg; },
        &Bounds::anteversion, true},
    {"head-based: head cranial (mm)",
        [](const Evaluated &e) { return e.headBased.written.headCranial - e.truth.head.cranial; },
        &Bounds::headCranial},
    {"head-based: head medial (mm)",
        [](const Evaluated &e) { return e.headBased.written.headMedial - e.truth.head.medial; },
        &Bounds::headMedial},
    {"head-based: head antiparameter (mm)",
        [](const Evaluated &e) {
            return e.headBased.written.headAntiparameter - e.truth.head.antiparameter;
        },
        &Bounds::headAntiparameter},
    {"head-based: cup cranial (mm)",
        [](const Evaluated &e) { return e.headBased.written.cupCranial - e.truth.cup.cranial; },
        &Bounds::rimCranial},
    {"head-based: cup medial (mm)",
        [](const Evaluated &e) { return e.headBased.written.cupMedial - e.truth.cup.medial; },
        &Bounds::rimMedial},
    {"head-based: cup antiparameter (mm)",
        [](const Evaluated &e) {
            return e.headBased.written.cupAntiparameter - e.truth.cup.antiparameter;
        },
        &Bounds::rimAntiparameter},
    {"cup-based: cup cranial (mm)",
        [](const Evaluated &e) { return e.cupBased.written.cupCranial - e.truth.cup.cranial; },
        &Bounds::cupCranial},
    {"cup-based: cup medial (mm)",
        [](const Evaluated &e) { return e.cupBased.written.cupMedial - e.truth.cup.medial; },
        &Bounds::cupMedial},
    {"cup-based: cup antiparameter (mm)",
        [](const Evaluated &e) {
            return e.cupBased.written.cupAntiparameter - e.truth.cup.antiparameter;
        },
        &Bounds::cupAntiparameter},
    {"cup-based: head cranial (mm)",
        [](const Evaluated &e) { return e.cupBased.written.headCranial - e.truth.head.cranial; },
        &Bounds::headAtCupCranial},
    {"cup-based: head medial (mm)",
        [](const Evaluated &e) { return e.cupBased.written.headMedial - e.truth.head.medial; },
        &Bounds::headAtCupMedial},
    {"cup-based: head antiparameter (mm)",
        [](const Evaluated &e) {
            return e.cupBased.written.headAntiparameter - e.truth.head.antiparameter;
        },
        &Bounds::headAtCupAntiparameter},
    {"wear x (mm)", [](const Evaluated &e) { return e.headBased.written.wearX - e.truth.wearMm.x; },
        &Bounds::wear},
    {"wear y (mm)", [](const Evaluated &e) { return e.headBased.written.wearY - e.truth.wearMm.y; },
        &Bounds::wear},
};

void printErrors(const char *title, const std::vector<Evaluated> &all)
{
    int questions = 0;
    for (const Evaluated &e : all)
        questions += e.headBased.cupQuestion;
    std::printf("%s: %zu phantoms, cup-diameter question in %d head-based evaluations\n", title,
        all.size(), questions);
    for (const Quantity &q : kQuantities) {
        const Errors errors = errorsOf(all, q.error, q.unambiguousOnly);
        std::printf("  %-36s max %6.2f  rms %6.2f  mean %+6.2f\n", q.name, errors.maxAbs(),
            errors.rms(), errors.mean());
    }
    Errors atZero;
    for (const Evaluated &e : all) {
        if (e.truth.anteversionDeg == 0)
            atZero.add(e.headBased.written.anteversion);
    }
    std::printf("  %-36s max %6.2f  rms %6.2f\n", "anteversion written for 0 deg (deg)",
        atZero.maxAbs(), atZero.rms());
}

// Three phantoms for each combination keep the suite within a few seconds.
constexpr int kRepeats = 3;

class PhantomValidation : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        exact = new std::vector<Evaluated>(evaluatePhantoms(0.0, kRepeats, 0.0));
        scattered = new std::vector<Evaluated>(evaluatePhantoms(1.0, kRepeats, 0.0));
        printErrors("points on the outlines", *exact);
        printErrors("1 px scatter", *scattered);
    }

    static void TearDownTestSuite()
    {
        delete exact;
        delete scattered;
        exact = scattered = nullptr;
    }

    static void expectWithin(const std::vector<Evaluated> &all, const Bounds &bounds)
    {
        for (const Quantity &q : kQuantities) {
            const double bound = bounds.*q.bound;
            for (const Evaluated &e : all) {
                if (q.unambiguousOnly && e.truth.anteversionDeg < kUnambiguousAnteversionDeg)
                    continue;
                const double error = q.error(e);
                EXPECT_LE(std::abs(error), bound)
                    << q.name << " of the " << (e.parameters.side == Side::Left ? "left" : "right")
                    << " hip at inclination " << e.parameters.inclinationDeg << ", anteversion "
                    << e.parameters.anteversionDeg << ", focus " << e.parameters.focusMm;
            }
        }
    }

    static std::vector<Evaluated> *exact;
    static std::vector<Evaluated> *scattered;
};

std::vector<Evaluated> *PhantomValidation::exact = nullptr;
std::vector<Evaluated> *PhantomValidation::scattered = nullptr;

} // namespace

TEST(PhantomGeometry, OutlineRaysTouchTheSphere)
{
    const Vec3 focus{200, 170, 1100}, centre{320, 120, 170};
    const double radius = 14;
    for (const auto &point : Phantom::sphereOutline(focus, centre, radius, 36)) {
        const Vec3 toTouch{
            point.touch.x - centre.x, point.touch.y - centre.y, point.touch.z - centre.z};
        const Vec3 ray{point.touch.x - focus.x, point.touch.y - focus.y, point.touch.z - focus.z};
        EXPECT_NEAR(
            std::sqrt(toTouch.x * toTouch.x + toTouch.y * toTouch.y + toTouch.z * toTouch.z),
            radius, 1e-9);
        EXPECT_NEAR(toTouch.x * ray.x + toTouch.y * ray.y + toTouch.z * ray.z, 0.0, 1e-6);
        // The film point continues the same ray down to z = 0.
        const double s = focus.z / (focus.z - point.touch.z);
        EXPECT_NEAR(point.film.x, focus.x + s * ray.x, 1e-9);
        EXPECT_NEAR(point.film.y, focus.y + s * ray.y, 1e-9);
    }
}

TEST(PhantomGeometry, RimWireIsACircleAroundTheCupAxis)
{
    Parameters p;
    p.inclinationDeg = 35;
    p.anteversionDeg = 25;
    const Scene scene = Phantom::makeScene(p);
    for (const Vec3 &w : Phantom::rimWire(scene, 24)) {
        const Vec3 d{w.x - scene.cupCentre.x, w.y - scene.cupCentre.y, w.z - scene.cupCentre.z};
        EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), p.wireRadiusMm, 1e-9);
        EXPECT_NEAR(
            d.x * scene.cupAxis.x + d.y * scene.cupAxis.y + d.z * scene.cupAxis.z, 0.0, 1e-9);
    }
}

TEST(PhantomGeometry, CupAxisHasTheAskedAnglesAgainstTheGrid)
{
    for (Side side : {Side::Left, Side::Right}) {
        Parameters p;
        p.side = side;
        p.inclinationDeg = 38;
        p.anteversionDeg = 17;
        p.pelvicRotationDeg = 3.5;
        const Scene scene = Phantom::makeScene(p);
        const Phantom::Truth t = Phantom::truth(scene);
        EXPECT_NEAR(t.inclinationDeg, 38.0, 1e-9);
        EXPECT_NEAR(t.anteversionDeg, 17.0, 1e-9);
        // The opening faces laterally, caudally and towards the focus (anteriorly).
        const double lateral =
            scene.cupAxis.x * scene.pelvisU.x + scene.cupAxis.y * scene.pelvisU.y;
        const double cranial =
            scene.cupAxis.x * scene.pelvisV.x + scene.cupAxis.y * scene.pelvisV.y;
        EXPECT_GT(lateral * scene.sideSign, 0.0);
        EXPECT_LT(cranial, 0.0);
        EXPECT_GT(scene.cupAxis.z, 0.0);
    }
}

TEST(PhantomGeometry, LeftHipGridIsTheGridTheProgramBuildsFromTheBaseLine)
{
    Parameters p;
    p.pelvicRotationDeg = -2.5;
    const auto lines = Phantom::gridLines(Phantom::makeScene(p));
    COxel oxel;
    oxel.init(lines[0].p0.x, lines[0].p0.y, lines[0].p1.x, lines[0].p1.y);
    const CLine *built[] = {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F,
        &oxel.V_R, &oxel.Ruler, &oxel.Cross_H, &oxel.Cross_V};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(built[i]->P0.x, lines[i].p0.x, 1e-6) << "line " << i;
        EXPECT_NEAR(built[i]->P0.y, lines[i].p0.y, 1e-6) << "line " << i;
        EXPECT_NEAR(built[i]->P1.x, lines[i].p1.x, 1e-6) << "line " << i;
        EXPECT_NEAR(built[i]->P1.y, lines[i].p1.y, 1e-6) << "line " << i;
    }
}

TEST(PhantomGeometry, RightHipGridIsTheMirrorImageOfTheLeftHipGrid)
{
    // With the grid centred under the beam the whole set-up is symmetric about the picture's
    // vertical centre line.
    Parameters left;
    left.gridCentreFromBeamMm = {0, 6};
    Parameters right = left;
    right.side = Side::Right;
    const auto l = Phantom::gridLines(Phantom::makeScene(left));
    const auto r = Phantom::gridLines(Phantom::makeScene(right));
    const double width = left.widthPx;
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_NEAR(r[i].p0.x, width - l[i].p0.x, 1e-6) << "line " << i;
        EXPECT_NEAR(r[i].p0.y, l[i].p0.y, 1e-6) << "line " << i;
        EXPECT_NEAR(r[i].p1.x, width - l[i].p1.x, 1e-6) << "line " << i;
        EXPECT_NEAR(r[i].p1.y, l[i].p1.y, 1e-6) << "line " << i;
    }
    EXPECT_LT(r[2].p0.y, r[0].p0.y); // the Top-Line stands above the Base-Line
    EXPECT_LT(r[5].p0.x, r[4].p0.x); // the F-Line lies left of the V-M-Line
}

TEST(PhantomGeometry, BeamCentreDerivedFromTheGridLiesUnderTheFocus)
{
    Parameters p;
    p.pelvicRotationDeg = 2;
    p.gridCentreFromBeamMm = {-7, 11};
    const Scene scene = Phantom::makeScene(p);
    const auto lines = Phantom::gridLines(scene);
    CLine hm, vm;
    hm.init(lines[1].p0.x, lines[1].p0.y, lines[1].p1.x, lines[1].p1.y);
    vm.init(lines[4].p0.x, lines[4].p0.y, lines[4].p1.x, lines[4].p1.y);
    const auto I = Math::tryIntersect(hm, vm);
    ASSERT_TRUE(I);
    const Vec2 beam = scene.toPicture({scene.focus.x, scene.focus.y});
    EXPECT_NEAR((p.widthPx / 2.0 + I->x) / 2, beam.x, 1e-6);
    EXPECT_NEAR((p.heightPx / 2.0 + I->y) / 2, beam.y, 1e-6);
}

TEST(PhantomGeometry, TrueMigrationIsTheDistanceFromThePlaneThroughFocusAndLine)
{
    // A level line on the film at y = yb and the focus at (Fx, Fy, f): the plane's normal is
    // (0, -f, Fy - yb), so a point (x, y, z) lies |f (y - yb) - (Fy - yb) z| / |normal| from it.
    Parameters p;
    const Scene scene = Phantom::makeScene(p);
    const double yb = 60;
    const Phantom::Segment line{scene.toPicture({50, yb}), scene.toPicture({300, yb})};
    const Vec3 point{240, 130, 170};
    const double f = scene.focus.z, Fy = scene.focus.y;
    const double expected = std::abs(f * (point.y - yb) - (Fy - yb) * point.z)
        / std::sqrt(f * f + (Fy - yb) * (Fy - yb));
    EXPECT_NEAR(Phantom::distanceFromPlane(scene, line, point), expected, 1e-9);
}

TEST(PhantomGeometry, PicksAreSixToTwelveVisiblePointsNearTheirOutlines)
{
    Parameters p;
    p.anteversionDeg = 20;
    const Scene scene = Phantom::makeScene(p);
    const double pxPerMm = scene.pxPerMm;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const Phantom::Picks picks = Phantom::pickOutlines(scene, seed);
        for (const auto *points : {&picks.head, &picks.cup, &picks.rim}) {
            EXPECT_GE(points->size(), 6u);
            EXPECT_LE(points->size(), 12u);
        }
        // Rim points lie on the projected wire within the scatter, outside the head's shadow.
        const auto wire = Phantom::rimWire(scene, 3600);
        for (const Vec2 &q : picks.rim) {
            double nearest = 1e9;
            for (const Vec3 &w : wire) {
                const Vec2 onPicture = scene.toPicture(scene.project(w));
                nearest = std::min(nearest, std::hypot(onPicture.x - q.x, onPicture.y - q.y));
            }
            EXPECT_LT(nearest, 5 * p.scatterPx);
            EXPECT_FALSE(Phantom::behindHead(scene, scene.toFilm(q), -5 * p.scatterPx / pxPerMm));
        }
    }
}

TEST(PhantomGeometry, MigratedCupTakesTheHeadWithItAndLeavesThePelvis)
{
    // Without pelvic rotation the pelvis frame is the film frame: cranial is +y, and medial is
    // -x for a left hip (on the picture's right) and +x for a right one.
    for (Side side : {Side::Left, Side::Right}) {
        Parameters before;
        before.side = side;
        Parameters after = before;
        after.cupShiftMm = {.cranial = 0.8, .medial = 0.5};
        after.wearMm = {.cranial = 0.3, .medial = 0.2};
        const Scene a = Phantom::makeScene(before), b = Phantom::makeScene(after);
        const double towardsMidline = side == Side::Left ? -1 : 1;
        EXPECT_NEAR(b.cupCentre.x - a.cupCentre.x, 0.5 * towardsMidline, 1e-9);
        EXPECT_NEAR(b.cupCentre.y - a.cupCentre.y, 0.8, 1e-9);
        EXPECT_EQ(b.cupCentre.z, a.cupCentre.z);
        EXPECT_NEAR(b.headCentre.x - a.headCentre.x, 0.7 * towardsMidline, 1e-9);
        EXPECT_NEAR(b.headCentre.y - a.headCentre.y, 1.1, 1e-9);
        EXPECT_EQ(b.headCentre.z, a.headCentre.z);

        const auto linesBefore = Phantom::gridLines(a), linesAfter = Phantom::gridLines(b);
        for (std::size_t i = 0; i < linesBefore.size(); ++i) {
            EXPECT_EQ(linesAfter[i].p0.x, linesBefore[i].p0.x) << "line " << i;
            EXPECT_EQ(linesAfter[i].p0.y, linesBefore[i].p0.y) << "line " << i;
            EXPECT_EQ(linesAfter[i].p1.x, linesBefore[i].p1.x) << "line " << i;
            EXPECT_EQ(linesAfter[i].p1.y, linesBefore[i].p1.y) << "line " << i;
        }

        // The hip lies lateral of the F-Line, so moving medially shortens its distance. The
        // planes through the focus lean at the hip: the Base-Line lies about 130 mm below the
        // beam centre, 1100 mm under the focus, and cos(atan(130 / 1100)) = 0.993.
        const Phantom::Truth t0 = Phantom::truth(a), t1 = Phantom::truth(b);
        EXPECT_NEAR(t1.cup.cranial - t0.cup.cranial, 0.8, 0.01);
        EXPECT_NEAR(t1.cup.medial - t0.cup.medial, -0.5, 0.01);
        EXPECT_NEAR(t1.wearMm.x - t0.wearMm.x, 0.2, 1e-9);
        EXPECT_NEAR(t1.wearMm.y - t0.wearMm.y, 0.3, 1e-9);
    }
}

TEST(PhantomConventions, ParallelRaysGiveTheTruthExactly)
{
    // With the focus practically at infinity every approximation of the evaluation vanishes, so
    // what is left would be a disagreement of conventions (sides, signs, frames) between the
    // phantom's truth and the evaluation.
    for (Side side : {Side::Left, Side::Right})
        for (double inclination : {30.0, 60.0})
            for (double anteversion : {12.0, 30.0}) {
                Parameters p;
                p.side = side;
                p.inclinationDeg = inclination;
                p.anteversionDeg = anteversion;
                p.focusMm = 1e6;
                p.pelvicRotationDeg = 3;
                p.scatterPx = 0;
                const Scene scene = Phantom::makeScene(p);
                const Phantom::Truth t = Phantom::truth(scene);
                const Phantom::Picks picks = Phantom::pickOutlines(scene, 3);
                for (std::int16_t typ : {kHeadBased, kCupBased}) {
                    const Written w = evaluateLikeTheProgram(scene, picks, typ).written;
                    EXPECT_EQ(w.sideLeft, side == Side::Left);
                    EXPECT_NEAR(w.inclination, t.inclinationDeg, 0.01);
                    EXPECT_NEAR(w.anteversion, t.anteversionDeg, 0.01);
                    EXPECT_NEAR(w.headCranial, t.head.cranial, 0.01);
                    EXPECT_NEAR(w.headMedial, t.head.medial, 0.01);
                    EXPECT_NEAR(w.headAntiparameter, t.head.antiparameter, 0.01);
                    // The cup is placed at the head's height, or the head at the cup's: the
                    // head's anterior offset no longer matters when the rays are parallel.
                    EXPECT_NEAR(w.cupCranial, t.cup.cranial, 0.01);
                    EXPECT_NEAR(w.cupMedial, t.cup.medial, 0.01);
                    EXPECT_NEAR(w.cupAntiparameter, t.cup.antiparameter, 0.01);
                    EXPECT_NEAR(w.wearX, t.wearMm.x, 0.01);
                    EXPECT_NEAR(w.wearY, t.wearMm.y, 0.01);
                }
            }
}

TEST(PhantomFollowUp, WrittenValuesChangeByTheCupsMigrationAndTheWear)
{
    // A later radiograph of the same hip: the method's own errors hardly change when the cup
    // moves a millimetre against the same grid, so the differences between the two blocks are
    // much closer to the movement than either block is to the truth (up to 0.5 mm). The
    // points lie on the outlines: picking scatter would hide a wrong millimetre.
    for (Side side : {Side::Left, Side::Right})
        for (double inclination : {35.0, 50.0}) {
            Parameters before;
            before.side = side;
            before.inclinationDeg = inclination;
            before.focusMm = 1150;
            before.pelvicRotationDeg = 2;
            before.scatterPx = 0;
            Parameters after = before;
            after.cupShiftMm = {.cranial = 1.0, .medial = 0.6};
            after.wearMm = {.cranial = 0.4, .medial = 0.25};
            const Scene a = Phantom::makeScene(before), b = Phantom::makeScene(after);
            const Written w0 =
                evaluateLikeTheProgram(a, Phantom::pickOutlines(a, 3), kHeadBased).written;
            const Written w1 =
                evaluateLikeTheProgram(b, Phantom::pickOutlines(b, 4), kHeadBased).written;
            // Measured up to 0.051 mm off.
            constexpr double kTolerance = 0.07;
            // Medial values are distances from the F-Line, which runs medial of the hip.
            EXPECT_NEAR(w1.cupCranial - w0.cupCranial, 1.0, kTolerance);
            EXPECT_NEAR(w1.cupMedial - w0.cupMedial, -0.6, kTolerance);
            EXPECT_NEAR(w1.headCranial - w0.headCranial, 1.4, kTolerance);
            EXPECT_NEAR(w1.headMedial - w0.headMedial, -0.85, kTolerance);
            EXPECT_NEAR(w1.wearX - w0.wearX, 0.25, kTolerance);
            EXPECT_NEAR(w1.wearY - w0.wearY, 0.4, kTolerance);
        }
}

TEST_F(PhantomValidation, EveryPhantomIsEvaluatedCompletelyOnItsOwnSide)
{
    for (const auto *all : {exact, scattered})
        for (const Evaluated &e : *all)
            for (const Outcome *o : {&e.headBased, &e.cupBased}) {
                ASSERT_TRUE(o->evaluated);
                EXPECT_EQ(o->written.sideLeft, e.parameters.side == Side::Left);
                EXPECT_TRUE(o->written.headValid);
                EXPECT_TRUE(o->written.cupValid);
                EXPECT_TRUE(o->written.rimValid);
            }
}

TEST_F(PhantomValidation, MethodAloneStaysWithinItsBounds)
{
    expectWithin(*exact, kMethodBounds);
}

TEST_F(PhantomValidation, PickingScatterStaysWithinItsBounds)
{
    expectWithin(*scattered, kScatterBounds);
}

TEST_F(PhantomValidation, TrueAnteversionIsOneOfTheTwoCandidates)
{
    for (const Evaluated &e : *exact) {
        const Written &w = e.headBased.written;
        EXPECT_LE(std::min(std::abs(w.beta1 - e.truth.anteversionDeg),
                      std::abs(w.beta2 - e.truth.anteversionDeg)),
            kMethodBounds.anteversion);
    }
}

TEST_F(PhantomValidation, OtherCandidateIsTheCupMirroredAcrossItsCentralRay)
{
    // Seen from the focus, a cup and its mirror image across the plane at right angles to the
    // central ray cast almost the same rim. The mirror image's anteversion (negative when it is
    // retroverted) is the evaluation's second candidate.
    for (const Evaluated &e : *exact) {
        const Written &w = e.headBased.written;
        const bool firstIsTrue =
            std::abs(w.beta1 - e.truth.anteversionDeg) < std::abs(w.beta2 - e.truth.anteversionDeg);
        const double other = firstIsTrue ? w.beta2 : w.beta1;
        EXPECT_NEAR(other, std::abs(e.mirrorAnteversion), kMethodBounds.anteversion)
            << "true anteversion " << e.truth.anteversionDeg;
    }
}

TEST_F(PhantomValidation, ChosenAnteversionIsTheAnteversionSignedPlusOnBothSides)
{
    for (const auto *all : {exact, scattered})
        for (const Evaluated &e : *all) {
            if (e.truth.anteversionDeg < kUnambiguousAnteversionDeg)
                continue;
            const Written &w = e.headBased.written;
            const bool first =
                std::abs(w.anteversion - w.beta1) < std::abs(w.anteversion - w.beta2);
            EXPECT_EQ(first ? w.sign1 : w.sign2, "+");
        }
}

TEST_F(PhantomValidation, CupDiameterCheckAcceptsTheTrueCupWhenPointsLieOnTheOutlines)
{
    for (const Evaluated &e : *exact)
        EXPECT_FALSE(e.headBased.cupQuestion);
}

// The exact evaluation beside the designed one, on the same landmark files. Its rim solver takes
// the rim for a circle of the cup's radius, so these phantoms carry their rim wire at the cup's
// radius: a wire in a groove 0.3 mm inside the shell would be an error of the model, not of the
// solution (its effect is printed separately).
namespace {

struct ExactCase
{
    Parameters parameters;
    Phantom::Truth truth;
    double offBeamMm = 0; // cup centre from the beam axis, horizontally
    double offBeamGroup = 0; // one of kOffBeamMm
    Phantom::Vec3 head, cup; // true centres, film frame
    Outcome designed; // head-based
    ExactEvaluation exact;
};

// Distances of the cup from the beam axis beyond the usual 85 to 110 mm; 0 stands for the usual.
constexpr double kOffBeamMm[] = {0.0, 150.0, 200.0};

// Below this the designed method cannot tell the anteversion from its mirror image.
constexpr double kLowAnteversions[] = {0.0, 5.0};

bool placeable(const Scene &scene, const Phantom::Picks &picks)
{
    COxel probe;
    probe.setPicBox(nullptr);
    return Phantom::placeLandmarks(scene, picks, probe);
}

// Both hips, inclinations 30 to 60 degrees, anteversions 0 to 30 degrees with 5 among them, the
// cup at the usual distance from the beam and at 150 and 200 mm, the focus 1000 to 1200 mm.
std::vector<ExactCase> evaluateBoth(double scatterPx, int repeats, double wireRadiusMm)
{
    std::vector<ExactCase> all;
    std::uint32_t seed = 50000;
    for (Side side : {Side::Left, Side::Right})
        for (double inclination : {30.0, 40.0, 50.0, 60.0})
            for (double anteversion : {0.0, 5.0, 10.0, 20.0, 30.0})
                for (double offBeam : kOffBeamMm)
                    for (int repeat = 0; repeat < repeats; ++repeat, ++seed) {
                        Phantom::Random random(seed * 7919u);
                        Parameters p =
                            PhantomSetup::hip(side, inclination, anteversion, std::nullopt, random);
                        p.wireRadiusMm = wireRadiusMm;
                        p.scatterPx = scatterPx;
                        const double sideSign = side == Side::Left ? 1.0 : -1.0;
                        if (offBeam > 0) {
                            // The cup lies (side * 95 + g.x, 65 - 115 + g.y) from the beam in the
                            // pelvis frame; the beam centre is derived midway between grid and
                            // picture centre, so the picture widens to keep the hip on it.
                            const double below = p.gridCentreFromBeamMm.y - 50;
                            const double across = std::sqrt(offBeam * offBeam - below * below);
                            p.gridCentreFromBeamMm.x =
                                sideSign * (across - Phantom::kHipFromMidlineMm);
                            p.widthPx = 5000;
                            p.widthMm = 860;
                            p.heightPx = 3000;
                        }
                        const Scene scene = Phantom::makeScene(p);
                        // Now and then scattered rim points far off the beam give no ellipse;
                        // the operator would click again, and so do these picks.
                        Phantom::Picks picks = Phantom::pickOutlines(scene, seed);
                        for (std::uint32_t again = 1; !placeable(scene, picks) && again < 10;
                             ++again)
                            picks = Phantom::pickOutlines(scene, seed + 100000 * again);
                        ExactCase c;
                        c.offBeamGroup = offBeam;
                        c.parameters = p;
                        c.truth = Phantom::truth(scene);
                        c.offBeamMm = std::hypot(
                            scene.cupCentre.x - scene.focus.x, scene.cupCentre.y - scene.focus.y);
                        c.head = scene.headCentre;
                        c.cup = scene.cupCentre;
                        c.designed = evaluateLikeTheProgram(scene, picks, kHeadBased, &c.exact);
                        all.push_back(std::move(c));
                    }
    return all;
}

enum class Angles {
    All,
    Unambiguous, // anteversion from 10 degrees
    Low // anteversion below 10 degrees
};

bool within(const ExactCase &c, Angles angles)
{
    const bool low = c.truth.anteversionDeg < kUnambiguousAnteversionDeg;
    return angles == Angles::All || (angles == Angles::Low) == low;
}

using ExactPick = double (*)(const ExactCase &);

// A quantity of both evaluations: its errors against the truth (the designed error absent when
// the result file does not have the quantity).
struct Compared
{
    const char *name;
    ExactPick exact;
    ExactPick designed;
    Angles angles = Angles::All;
};

double length(const Phantom::Vec3 &a, const Phantom::Vec3 &b)
{
    return std::sqrt(
        (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

double length(const SpacePoint &a, const SpacePoint &b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1])
        + (a[2] - b[2]) * (a[2] - b[2]));
}

const Compared kCompared[] = {
    {"inclination (deg)",
        [](const ExactCase &c) {
            return c.exact.orientation->inclination - c.truth.inclinationDeg;
        },
        [](const ExactCase &c) { return c.designed.written.inclination - c.truth.inclinationDeg; }},
    {"anteversion from 10 deg (deg)",
        [](const ExactCase &c) {
            return c.exact.orientation->anteversion - c.truth.anteversionDeg;
        },
        [](const ExactCase &c) { return c.designed.written.anteversion - c.truth.anteversionDeg; },
        Angles::Unambiguous},
    {"anteversion below 10 deg (deg)",
        [](const ExactCase &c) {
            return c.exact.orientation->anteversion - c.truth.anteversionDeg;
        },
        [](const ExactCase &c) { return c.designed.written.anteversion - c.truth.anteversionDeg; },
        Angles::Low},
    {"head cranial (mm)",
        [](const ExactCase &c) { return c.exact.head->cranial - c.truth.head.cranial; },
        [](const ExactCase &c) { return c.designed.written.headCranial - c.truth.head.cranial; }},
    {"head medial (mm)",
        [](const ExactCase &c) { return c.exact.head->medial - c.truth.head.medial; },
        [](const ExactCase &c) { return c.designed.written.headMedial - c.truth.head.medial; }},
    {"head antiparameter (mm)",
        [](const ExactCase &c) { return c.exact.head->antiparameter - c.truth.head.antiparameter; },
        [](const ExactCase &c) {
            return c.designed.written.headAntiparameter - c.truth.head.antiparameter;
        }},
    {"cup cranial (mm)",
        [](const ExactCase &c) { return c.exact.cup->cranial - c.truth.cup.cranial; },
        [](const ExactCase &c) { return c.designed.written.cupCranial - c.truth.cup.cranial; }},
    {"cup medial (mm)", [](const ExactCase &c) { return c.exact.cup->medial - c.truth.cup.medial; },
        [](const ExactCase &c) { return c.designed.written.cupMedial - c.truth.cup.medial; }},
    {"cup antiparameter (mm)",
        [](const ExactCase &c) { return c.exact.cup->antiparameter - c.truth.cup.antiparameter; },
        [](const ExactCase &c) {
            return c.designed.written.cupAntiparameter - c.truth.cup.antiparameter;
        }},
    // The frames differ by a turn and a shift in the film plane, which leave heights and
    // distances as they are.
    {"head height (mm)", [](const ExactCase &c) { return c.exact.head->centre[2] - c.head.z; },
        nullptr},
    {"cup height (mm)", [](const ExactCase &c) { return c.exact.cup->centre[2] - c.cup.z; },
        nullptr},
    {"head from cup centre (mm)",
        [](const ExactCase &c) {
            return length(c.exact.head->centre, c.exact.cup->centre) - length(c.head, c.cup);
        },
        nullptr},
};

// group: one of kOffBeamMm, or -1 for all.
bool isAngle(const Compared &q)
{
    return std::string(q.name).find("(deg)") != std::string::npos;
}

Errors errorsOf(
    const std::vector<ExactCase> &all, ExactPick error, Angles angles, double group = -1)
{
    Errors errors;
    for (const ExactCase &c : all) {
        if (within(c, angles) && (group < 0 || c.offBeamGroup == group))
            errors.add(error(c));
    }
    return errors;
}

const Compared &compared(const char *name)
{
    for (const Compared &q : kCompared) {
        if (std::string(q.name) == name)
            return q;
    }
    std::abort();
}

const char *groupName(double group)
{
    if (group == 0)
        return "85 to 110 mm";
    return group == 150 ? "150 mm" : "200 mm";
}

void printCompared(const char *title, const std::vector<ExactCase> &all)
{
    double farthest = 0;
    for (const ExactCase &c : all)
        farthest = std::max(farthest, c.offBeamMm);
    std::printf("%s: %zu phantoms, cup up to %.0f mm off the beam\n", title, all.size(), farthest);
    std::printf("  %-31s %21s   %21s\n", "", "designed: max    rms", "exact: max    rms");
    for (const Compared &q : kCompared) {
        const Errors exact = errorsOf(all, q.exact, q.angles);
        if (q.designed) {
            const Errors designed = errorsOf(all, q.designed, q.angles);
            std::printf("  %-31s %14.3f %6.3f   %14.3f %6.3f\n", q.name, designed.maxAbs(),
                designed.rms(), exact.maxAbs(), exact.rms());
        } else {
            std::printf(
                "  %-31s %14s %6s   %14.3f %6.3f\n", q.name, "-", "-", exact.maxAbs(), exact.rms());
        }
    }
    for (double group : kOffBeamMm) {
        std::printf("  cup %s off the beam:\n", groupName(group));
        for (const Compared &q : kCompared) {
            if (!q.designed)
                continue;
            const Errors exact = errorsOf(all, q.exact, q.angles, group);
            const Errors designed = errorsOf(all, q.designed, q.angles, group);
            std::printf("    %-29s %14.3f %6.3f   %14.3f %6.3f\n", q.name, designed.maxAbs(),
                designed.rms(), exact.maxAbs(), exact.rms());
        }
    }
    // The mirror image chosen instead of the cup: the anteversion far off.
    for (double group : kOffBeamMm) {
        int exactFar = 0, designedFar = 0, count = 0;
        for (const ExactCase &c : all) {
            if (c.offBeamGroup != group || !c.exact.orientation)
                continue;
            ++count;
            exactFar += std::abs(c.exact.orientation->anteversion - c.truth.anteversionDeg) > 3;
            designedFar += std::abs(c.designed.written.anteversion - c.truth.anteversionDeg) > 3;
        }
        std::printf("  anteversion off by more than 3 deg, cup %s off the beam: designed %d, "
                    "exact %d of %d\n",
            groupName(group), designedFar, exactFar, count);
    }
}

bool complete(const ExactEvaluation &e)
{
    return e.refusal.empty() && e.head && e.cup && e.orientation;
}

class ExactPhantomValidation : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        onOutlines = new std::vector<ExactCase>(evaluateBoth(0.0, 1, 25.0));
        scattered = new std::vector<ExactCase>(evaluateBoth(1.0, 2, 25.0));
        onGroove = new std::vector<ExactCase>(evaluateBoth(0.0, 1, 24.7));
        printCompared("exact evaluation, points on the outlines", *onOutlines);
        printCompared("exact evaluation, 1 px scatter", *scattered);
        printCompared("exact evaluation, points on the outlines, rim wire 24.7 mm", *onGroove);
    }

    static void TearDownTestSuite()
    {
        delete onOutlines;
        delete scattered;
        delete onGroove;
        onOutlines = scattered = onGroove = nullptr;
    }

    static std::vector<ExactCase> *onOutlines;
    static std::vector<ExactCase> *scattered;
    static std::vector<ExactCase> *onGroove;
};

std::vector<ExactCase> *ExactPhantomValidation::onOutlines = nullptr;
std::vector<ExactCase> *ExactPhantomValidation::scattered = nullptr;
std::vector<ExactCase> *ExactPhantomValidation::onGroove = nullptr;

} // namespace

TEST_F(ExactPhantomValidation, EveryPhantomIsEvaluatedExactlyAndCompletely)
{
    for (const auto *all : {onOutlines, scattered, onGroove})
        for (const ExactCase &c : *all)
            EXPECT_TRUE(complete(c.exact))
                << c.exact.refusal << c.exact.headAbsent << c.exact.cupAbsent
                << c.exact.orientationAbsent << " at inclination " << c.parameters.inclinationDeg
                << ", anteversion " << c.parameters.anteversionDeg;
}

TEST_F(ExactPhantomValidation, PointsOnTheOutlinesGiveTheTruthToNumericalPrecision)
{
    // 0.02 degrees and 0.02 mm, at every anteversion from 0 and for cups up to 200 mm off the
    // beam; the cup's opening is found facing the focus.
    double farthest = 0;
    for (const ExactCase &c : *onOutlines) {
        if (!complete(c.exact))
            continue;
        farthest = std::max(farthest, c.offBeamMm);
        // At anteversion 0 the axis lies in the film's plane, on neither side.
        if (c.truth.anteversionDeg > 0) {
            EXPECT_TRUE(c.exact.orientation->towardsFocus);
        }
        for (const Compared &q : kCompared)
            EXPECT_NEAR(q.exact(c), 0.0, 0.02)
                << q.name << " at inclination " << c.parameters.inclinationDeg << ", anteversion "
                << c.parameters.anteversionDeg << ", " << c.offBeamMm << " mm off the beam";
    }
    EXPECT_GT(farthest, 199.0);
}

TEST_F(ExactPhantomValidation, WithScatterTheExactAnglesAreMoreAccurate)
{
    for (const ExactCase &c : *scattered)
        ASSERT_TRUE(complete(c.exact));
    const Compared &inc = compared("inclination (deg)");
    const Compared &ant = compared("anteversion from 10 deg (deg)");
    const auto ratio = [](const Compared &q, Angles angles, double group = -1) {
        return errorsOf(*scattered, q.exact, angles, group).rms()
            / errorsOf(*scattered, q.designed, angles, group).rms();
    };
    const double inclination = ratio(inc, Angles::All);
    const double inclinationFrom10 = ratio(inc, Angles::Unambiguous);
    const double anteversion = ratio(ant, ant.angles);
    const double anteversionUsual = ratio(ant, ant.angles, 0);
    std::printf("1 px scatter, rms exact/designed: inclination %.3f (anteversion from 10 deg "
                "%.3f), anteversion from 10 deg %.3f (cup 85 to 110 mm off the beam %.3f)\n",
        inclination, inclinationFrom10, anteversion, anteversionUsual);
    // Where the rim can be told from its mirror image (anteversion from 10 degrees) the exact
    // inclination has a fifth of the designed error (measured 0.19).
    EXPECT_LE(inclinationFrom10, 0.5);
    // Below 10 degrees a pixel of scatter hides the perspective that tells the rim from its
    // mirror, whose inclination differs by up to 3 degrees; the preference for the opening that
    // faces the focus then takes the mirror as often as the designed candidate rule does. Over
    // all anteversions the half is not reached (measured 0.78).
    EXPECT_LE(inclination, 0.85);
    // Measured 0.15 over all distances (the designed candidate rule fails 200 mm off the beam)
    // and 0.60 at the usual distance.
    EXPECT_LE(anteversion, 0.75);
    EXPECT_LE(anteversionUsual, 0.75);
    // The rim's points place the cup together with its dome: its height is off by 3.5 mm rms,
    // against 6.7 mm from the dome's apparent size alone.
    const Compared &cupHeight = compared("cup height (mm)");
    EXPECT_LE(errorsOf(*scattered, cupHeight.exact, cupHeight.angles).rms(), 4.5);
}

TEST_F(ExactPhantomValidation, RimWireInsideTheCupsRadiusTiltsTheExactAxis)
{
    // The solver takes the rim for a circle of the cup's radius; a wire 0.3 mm inside it (1.2%)
    // projects smaller, and the axis tilts to make up for it. Measured: inclination up to 2.7 deg
    // off; anteversion from 10 deg 2.1 deg rms, where 2 of 80 phantoms take the mirror image
    // because it fits the too small wire better. The head stays exact; the cup, placed by the
    // rim too, moves along its ray: its height by up to 8.4 mm, its distances by up to 1.3 mm.
    int mirrored = 0;
    Errors anteversion;
    for (const ExactCase &c : *onGroove) {
        if (!complete(c.exact))
            continue;
        EXPECT_NEAR(c.exact.orientation->inclination, c.truth.inclinationDeg, 3.5);
        if (c.truth.anteversionDeg >= kUnambiguousAnteversionDeg) {
            const double error = c.exact.orientation->anteversion - c.truth.anteversionDeg;
            anteversion.add(error);
            mirrored += std::fabs(error) > 3;
        }
        for (const Compared &q : kCompared) {
            const std::string name = q.name;
            if (isAngle(q))
                continue;
            const bool cup = name.find("cup") != std::string::npos;
            const bool height = name.find("height") != std::string::npos
                || name.find("centre") != std::string::npos;
            EXPECT_NEAR(q.exact(c), 0.0, !cup ? 0.02 : height ? 10.0 : 1.5) << q.name;
        }
    }
    EXPECT_LE(mirrored, 3);
    EXPECT_LE(anteversion.rms(), 2.5);
}
