#pragma once

#include <optional>
#include <span>
#include <string>

#include "core/model/CPoint.h"
#include "core/model/Math.h"

class COxel;

// The evaluation solved as the central projection it is: the spheres and the rim seen from the
// one focus (B.x, B.y, FocH) above the beam centre, in the base-line frame (mm, film z = 0, z
// towards the focus). Nothing here assumes a parallel projection or estimates a height from a
// circle's size alone, so on exactly placed points only the picking remains as error.
namespace ExactGeometry {

// The centre of the sphere of true radius R whose cone of rays from the focus F touches the
// film at the outline points (z = 0). Nothing when fewer than three points are given or they
// determine no cone around a line through F (points on one line, a cone wider than the film).
std::optional<SpacePoint> sphereCentre(
    const SpacePoint &F, std::span<const CPoint> outline, double R);

// The rms distance (mm on the film) of the outline points from the outline that the sphere
// (X, R) casts from F, each measured along the line through the outline's centre of projection.
double sphereOutlineRms(
    const SpacePoint &F, std::span<const CPoint> outline, const SpacePoint &X, double R);

// A circle in space: the cup's rim, radius R around C in the plane perpendicular to n (unit).
struct RimFit
{
    SpacePoint n{}; // turned so that n.x points laterally
    SpacePoint centre{};
    double rms = 0; // mm on the film: the points from the rim's projected outline
    // The same over every point the fit matched: the rim's and, sought with it, the dome's.
    double matchedRms = 0;
};

// The rim's axis from its outline points, started at the unit axis `start`. With `centre` the
// rim's centre is the cup sphere's (at least 2 points): known, and only the axis is sought; or,
// with the cup's `dome` (its outline points), sought from the dome and the rim together, as the
// centre of both. Without `centre` the centre is sought from the rim alone (at least 5 points).
// `lateral` is +1 when the hip lies towards +x, -1 otherwise. Nothing when the points give no
// solution.
std::optional<RimFit> fitRim(const SpacePoint &F, std::span<const CPoint> rim, double R,
    const SpacePoint &start, const std::optional<SpacePoint> &centre, double lateral,
    std::span<const CPoint> dome = {});

// The opening turned towards the focus's side of the film (anteversion): n.z >= 0.
inline bool towardsFocus(const RimFit &fit)
{
    return fit.n[2] >= 0;
}

// Both mirror solutions of the rim and the chosen one. The mirror is taken about the ray from
// the rim's centre to the focus: one solution's opening faces the focus, the other's is turned
// from it; off the beam both may still point towards the focus's side of the film. Chosen is the
// one towards the focus (when both or neither are, the facing one) unless the other fits the
// points clearly better (rms at most half). Around a known centre only the true circle fits
// exactly; with the centre sought too, both mirror circles do.
struct RimChoice
{
    std::optional<RimFit> facing; // n . (F - centre) >= 0: the focus looks into the cup
    std::optional<RimFit> turned; // n . (F - centre) < 0
    bool chosenFacing = true;

    const RimFit &chosen() const { return chosenFacing ? *facing : *turned; }

    const RimFit *other() const
    {
        const auto &o = chosenFacing ? turned : facing;
        return o ? &*o : nullptr;
    }
};

// Starts from the best axis of a coarse grid with the opening facing the focus and from the
// best turned from it. Nothing when neither start converges to a solution.
// `centre` and `dome` as for fitRim.
std::optional<RimChoice> orientRim(const SpacePoint &F, std::span<const CPoint> rim, double R,
    const std::optional<SpacePoint> &centre, double lateral, std::span<const CPoint> dome = {});

// Radiographic inclination and anteversion (degrees) of the unit axis n.
double inclination(const SpacePoint &n);
double anteversion(const SpacePoint &n);

} // namespace ExactGeometry

// One sphere placed exactly: its centre in the base-line frame, its distances from the planes
// through the focus and the Base-Line, F-Line and Top-Line (mm), and how far the clicked points
// lie from the outline it casts (picture pixels). The cup, when its rim is marked, is placed by
// the rim's points too: the rim is the cup's circle around the same centre.
struct ExactSphere
{
    SpacePoint centre{};
    double cranial = 0, medial = 0, antiparameter = 0;
    double rms_px = 0;
};

struct ExactOrientation
{
    double inclination = 0, anteversion = 0; // degrees
    bool towardsFocus = true; // the cup's opening faces the focus
    double rms_px = 0; // the rim points from the chosen rim's outline
    double otherRms_px = -1; // the mirror solution's; -1 when it found none
    SpacePoint axis{};
};

// What the exact evaluation found. A part that could not be computed is absent, with the reason
// beside it; `refusal` says why nothing at all could be.
struct ExactEvaluation
{
    std::string refusal;
    std::optional<ExactSphere> head, cup;
    std::string headAbsent, cupAbsent;
    std::optional<ExactOrientation> orientation;
    std::string orientationAbsent;
    // Left when the F-Line lies beyond the V-M-Line, as the designed evaluation decides; nothing
    // when the grid gives no base-line frame.
    std::optional<bool> sideLeft;
};

// Evaluates the measurement exactly. Leaves the measurement as it is (the designed evaluation's
// frame is rebuilt on a copy), shows no messages.
ExactEvaluation evaluateExactly(const COxel &oxel);

// "towards the focus" or "away from the focus".
const char *openingText(bool towardsFocus);
