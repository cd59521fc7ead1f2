#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/evaluation/ExactEvaluation.h"
#include "core/model/CCircle.h"
#include "core/model/COxel.h"
#include "support/CentralProjection.h"
#include "support/ExactHip.h"

namespace {

using namespace CentralProjection;

void expectNear(const SpacePoint &actual, const SpacePoint &expected, double tolerance)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "component " << k;
}

TEST(ExactSphere, OnTheCentralRayCastsACircleAndIsFoundAgain)
{
    const SpacePoint F{0, 0, 1000}, X{0, 0, 200};
    const double R = 14;
    const auto outline = sphereOutline(F, X, R, 8);
    // The cone's half angle: sin = 14 / 800; on the film at 1000 mm below F its radius is
    // 1000 tan(alpha) = 1000 * 14 / sqrt(800^2 - 14^2).
    const double rho = 1000 * 14 / std::sqrt(800.0 * 800 - 14 * 14);
    for (const CPoint &P : outline)
        EXPECT_NEAR(std::hypot(P.x, P.y), rho, 1e-9);

    const auto found = ExactGeometry::sphereCentre(F, outline, R);
    ASSERT_TRUE(found);
    expectNear(*found, X, 1e-6);
    EXPECT_LT(ExactGeometry::sphereOutlineRms(F, outline, *found, R), 1e-9);
}

TEST(ExactSphere, OffTheBeamCastsAnEllipseThatACircleMisses)
{
    const SpacePoint F{20, -10, 1100}, X{170, 40, 180};
    const double R = 18;
    const auto outline = sphereOutline(F, X, R, 12);

    // The designed reading: a circle through the points, its centre taken straight below the
    // focus line and its height from its radius alone.
    CCircle circle;
    circle.init(HitCode::CupBase, nullptr);
    for (const CPoint &P : outline)
        circle.addPoint(P.x, P.y);
    ASSERT_TRUE(circle.fit());
    double worst = 0;
    for (const CPoint &P : outline)
        worst =
            std::max(worst, std::fabs(std::hypot(P.x - circle.M.x, P.y - circle.M.y) - circle.r));
    EXPECT_GT(worst, 0.05) << "the outline is an ellipse, no circle passes through it";
    const double rho = circle.r, f = F[2];
    const double designedHeight = f - std::sqrt(f * f + rho * rho) * R / rho;
    EXPECT_GT(std::fabs(designedHeight - X[2]), 1.0);

    const auto found = ExactGeometry::sphereCentre(F, outline, R);
    ASSERT_TRUE(found);
    expectNear(*found, X, 1e-6);
    EXPECT_LT(ExactGeometry::sphereOutlineRms(F, outline, *found, R), 1e-9);
    // A point moved 0.5 mm straight out of the outline shows in the rms.
    auto moved = outline;
    const double dx = moved[0].x - circle.M.x, dy = moved[0].y - circle.M.y;
    moved[0].x += 0.5 * dx / std::hypot(dx, dy);
    moved[0].y += 0.5 * dy / std::hypot(dx, dy);
    EXPECT_NEAR(ExactGeometry::sphereOutlineRms(F, moved, *found, R), 0.5 / std::sqrt(12.0), 0.02);
}

TEST(ExactSphere, TooFewOrCollinearPointsGiveNoSphere)
{
    const SpacePoint F{0, 0, 1000};
    const std::vector<CPoint> two{{0, 0}, {10, 0}};
    EXPECT_FALSE(ExactGeometry::sphereCentre(F, two, 14));
    const std::vector<CPoint> line{{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    EXPECT_FALSE(ExactGeometry::sphereCentre(F, line, 14));
}

TEST(ExactRim, AxisAroundAKnownCentreIsFoundAgain)
{
    const SpacePoint F{110, 90, 1000}, C{260, 10, 160};
    const double R = 25;
    for (const auto &[incl, ante] : {std::pair{45.0, 20.0}, {30.0, 5.0}, {60.0, 30.0}}) {
        const SpacePoint n = cupAxis(incl, ante);
        const auto rim = rimOutline(F, C, n, R, 10);
        const auto choice = ExactGeometry::orientRim(F, rim, R, C, 1);
        ASSERT_TRUE(choice) << incl << " / " << ante;
        EXPECT_TRUE(ExactGeometry::towardsFocus(choice->chosen()));
        expectNear(choice->chosen().n, n, 1e-6);
        EXPECT_NEAR(ExactGeometry::inclination(choice->chosen().n), incl, 1e-5);
        EXPECT_NEAR(ExactGeometry::anteversion(choice->chosen().n), ante, 1e-5);
        EXPECT_LT(choice->chosen().rms, 1e-7);
    }
}

TEST(ExactRim, CentreIsFoundWithTheAxisWhenTheCupIsNotMarked)
{
    const SpacePoint F{110, 90, 1000}, C{-100, 30, 150};
    const double R = 26;
    // A right hip: the cup opens towards -x.
    const SpacePoint n = cupAxis(40, 20, -1);
    const auto rim = rimOutline(F, C, n, R, 12);
    const auto choice = ExactGeometry::orientRim(F, rim, R, std::nullopt, -1);
    ASSERT_TRUE(choice);
    expectNear(choice->chosen().n, n, 1e-6);
    expectNear(choice->chosen().centre, C, 1e-5);
    // The cone through the points has two families of circular sections: without the cup's
    // centre the mirror circle fits as exactly, and the preference for the one the focus looks
    // into decides.
    ASSERT_TRUE(choice->other());
    EXPECT_LT(choice->other()->rms, 1e-7);
    EXPECT_TRUE(choice->chosenFacing);
    EXPECT_FALSE(ExactGeometry::fitRim(F, std::span(rim).first(4), R, n, std::nullopt, -1))
        << "four points cannot carry five unknowns";
}

TEST(ExactRim, DomeAndRimTogetherPlaceTheCentreThatTheDomesSizeMisplaced)
{
    // A dome's height comes from its apparent size; a pixel of scatter moves it by centimetres
    // along its ray. Held there, the rim circle can only match its points by tilting.
    const SpacePoint F{110, 90, 1000}, C{260, 10, 160};
    const double R = 25;
    const SpacePoint n = cupAxis(45, 20);
    const auto rim = rimOutline(F, C, n, R, 10);
    const auto dome = sphereOutline(F, C, R, 10);
    const double t = 15
        / std::sqrt((F[0] - C[0]) * (F[0] - C[0]) + (F[1] - C[1]) * (F[1] - C[1])
            + (F[2] - C[2]) * (F[2] - C[2]));
    const SpacePoint misplaced{
        C[0] + t * (F[0] - C[0]), C[1] + t * (F[1] - C[1]), C[2] + t * (F[2] - C[2])};

    const auto held = ExactGeometry::orientRim(F, rim, R, misplaced, 1);
    ASSERT_TRUE(held);
    EXPECT_GT(std::fabs(ExactGeometry::anteversion(held->chosen().n) - 20)
            + std::fabs(ExactGeometry::inclination(held->chosen().n) - 45),
        0.5);

    const auto together = ExactGeometry::orientRim(F, rim, R, misplaced, 1, dome);
    ASSERT_TRUE(together);
    expectNear(together->chosen().n, n, 1e-6);
    expectNear(together->chosen().centre, C, 1e-4);
    EXPECT_LT(together->chosen().matchedRms, 1e-7);
}

TEST(ExactRim, NearlyEdgeOnRimIsFoundAgain)
{
    // The rim's plane passes 1.5 degrees from the focus: on the film a sliver of an ellipse.
    const SpacePoint F{0, 0, 1000}, C{0, 0, 150};
    const double R = 25;
    const SpacePoint n = cupAxis(50, 1.5);
    const auto rim = rimOutline(F, C, n, R, 10);
    // The outline's width across its long axis (the film direction perpendicular to n's) is a
    // few hundredths of its length.
    const double nx = n[0] / std::hypot(n[0], n[1]), ny = n[1] / std::hypot(n[0], n[1]);
    double across = 0, along = 0;
    for (const CPoint &P : rim) {
        across = std::max(across, std::fabs(P.x * nx + P.y * ny));
        along = std::max(along, std::fabs(P.x * ny - P.y * nx));
    }
    EXPECT_LT(across, 0.05 * along);
    const auto choice = ExactGeometry::orientRim(F, rim, R, C, 1);
    ASSERT_TRUE(choice);
    expectNear(choice->chosen().n, n, 1e-6);
    EXPECT_NEAR(ExactGeometry::anteversion(choice->chosen().n), 1.5, 1e-4);
}

TEST(ExactRim, NearlyEdgeOnRimWithScatterFitsAsWellAsTheTruth)
{
    // 150 mm off the beam with 5 degrees of anteversion the focus sees the rim 2.6 degrees from
    // edge-on, from the side its opening is turned away from. Rays near the minor axis graze the
    // rim's plane; the fit must still measure the points on the film.
    const SpacePoint F{110, 90, 1000}, C{260, 50, 175};
    const double R = 25;
    auto rim = rimOutline(F, C, cupAxis(30, 5), R, 12);
    for (std::size_t i = 0; i < rim.size(); ++i)
        rim[i].x += i % 2 == 0 ? 0.1 : -0.1;
    const auto choice = ExactGeometry::orientRim(F, rim, R, C, 1);
    ASSERT_TRUE(choice);
    ASSERT_TRUE(choice->turned);
    // No point lies more than 0.1 mm from the true outline, so the best fit lies no farther.
    EXPECT_LE(choice->turned->rms, 0.1);
    EXPECT_NEAR(ExactGeometry::anteversion(choice->turned->n), 5, 1);
    EXPECT_NEAR(ExactGeometry::inclination(choice->turned->n), 30, 1);
}

TEST(ExactRim, MirrorSolutionsAreBothFoundAndTheOneThatFitsIsChosen)
{
    const SpacePoint F{110, 90, 1000}, C{250, 0, 170};
    const double R = 25;
    const SpacePoint forwards = cupAxis(45, 12, 1, true);
    const auto rim = rimOutline(F, C, forwards, R, 10);
    const auto choice = ExactGeometry::orientRim(F, rim, R, C, 1);
    ASSERT_TRUE(choice);
    ASSERT_TRUE(choice->facing);
    ASSERT_TRUE(choice->turned) << "the mirror start keeps its own minimum";
    // The mirror turns the axis about the ray from the rim's centre to the focus, which here
    // leaves both towards the focus's side of the film; seen from a metre away it is close, but
    // not exact.
    const SpacePoint toFocus{F[0] - C[0], F[1] - C[1], F[2] - C[2]};
    const auto facing = [&](const SpacePoint &n) {
        return n[0] * toFocus[0] + n[1] * toFocus[1] + n[2] * toFocus[2];
    };
    EXPECT_GT(facing(choice->facing->n), 0);
    EXPECT_LT(facing(choice->turned->n), 0);
    EXPECT_GT(choice->turned->n[2], 0);
    EXPECT_NEAR(ExactGeometry::anteversion(choice->turned->n), 12, 3);
    EXPECT_GT(choice->turned->rms, 1e-3);
    EXPECT_LT(choice->facing->rms, 1e-7);
    EXPECT_TRUE(choice->chosenFacing);
    expectNear(choice->chosen().n, forwards, 1e-6);

    // A retroverted cup: its mirror, the only one towards the focus, fits clearly worse.
    const SpacePoint backwards = cupAxis(45, 12, 1, false);
    const auto retro = ExactGeometry::orientRim(F, rimOutline(F, C, backwards, R, 10), R, C, 1);
    ASSERT_TRUE(retro);
    ASSERT_TRUE(retro->other());
    EXPECT_TRUE(ExactGeometry::towardsFocus(*retro->other()));
    EXPECT_FALSE(ExactGeometry::towardsFocus(retro->chosen()));
    expectNear(retro->chosen().n, backwards, 1e-6);
}

TEST(ExactEvaluation, MeasurementWithExactProjectionsGivesTheTruth)
{
    const ExactHip hip;
    const ExactEvaluation e = evaluateExactly(hip.oxel);
    EXPECT_EQ(e.refusal, "");
    ASSERT_TRUE(e.head) << e.headAbsent;
    ASSERT_TRUE(e.cup) << e.cupAbsent;
    ASSERT_TRUE(e.orientation) << e.orientationAbsent;
    expectNear(e.head->centre, hip.head, 1e-6);
    expectNear(e.cup->centre, hip.cup, 1e-6);
    // Base-Line y = 0, Top-Line y = 200, F-Line x = 150 in the frame.
    EXPECT_NEAR(e.head->cranial, hip.fromHorizontal(hip.head, 0), 1e-6);
    EXPECT_NEAR(e.head->antiparameter, hip.fromHorizontal(hip.head, 200), 1e-6);
    EXPECT_NEAR(e.head->medial, hip.fromVertical(hip.head, 150), 1e-6);
    EXPECT_NEAR(e.cup->cranial, hip.fromHorizontal(hip.cup, 0), 1e-6);
    EXPECT_NEAR(e.cup->medial, hip.fromVertical(hip.cup, 150), 1e-6);
    EXPECT_LT(e.head->rms_px, 1e-6);
    EXPECT_NEAR(e.orientation->inclination, 42, 1e-5);
    EXPECT_NEAR(e.orientation->anteversion, 18, 1e-5);
    EXPECT_TRUE(e.orientation->towardsFocus);
    EXPECT_STREQ(openingText(e.orientation->towardsFocus), "towards the focus");
}

TEST(ExactEvaluation, LeavesTheMeasurementAsItWas)
{
    ExactHip hip;
    hip.oxel.SinA = 0.25;
    hip.oxel.CosA = 0.5;
    hip.oxel.Center = CPoint(7, 8);
    evaluateExactly(hip.oxel);
    EXPECT_EQ(hip.oxel.SinA, 0.25);
    EXPECT_EQ(hip.oxel.CosA, 0.5);
    EXPECT_EQ(hip.oxel.Center.x, 7);
    EXPECT_EQ(hip.oxel.Patient.FocH, ExactHip::kFocus);
}

TEST(ExactEvaluation, RefusesWithoutFocusAndNamesWhatIsMissing)
{
    ExactHip hip;
    hip.oxel.Patient.FocH = 0;
    const ExactEvaluation refused = evaluateExactly(hip.oxel);
    EXPECT_EQ(refused.refusal, "the exact evaluation needs the focus distance");
    EXPECT_FALSE(refused.head || refused.cup || refused.orientation);
    EXPECT_EQ(hip.oxel.Patient.FocH, 0) << "no focus is assumed";

    hip.oxel.Patient.FocH = ExactHip::kFocus;
    hip.oxel.Patient.HeadTR = 0;
    hip.oxel.Cup.Valid = false;
    const ExactEvaluation partial = evaluateExactly(hip.oxel);
    EXPECT_EQ(partial.refusal, "");
    EXPECT_FALSE(partial.head);
    EXPECT_EQ(partial.headAbsent, "the head size is not given");
    EXPECT_FALSE(partial.cup);
    EXPECT_EQ(partial.cupAbsent, "the cup is not marked");
    // The rim alone (12 points) still gives the axis, its centre sought with it.
    ASSERT_TRUE(partial.orientation) << partial.orientationAbsent;
    EXPECT_NEAR(partial.orientation->inclination, 42, 1e-4);
    EXPECT_NEAR(partial.orientation->anteversion, 18, 1e-4);
}

} // namespace
