#pragma once

#include <array>
#include <cstdint>
#include <vector>

class COxel;

// A synthetic AP radiograph of a hip replacement whose true geometry is known: a point focus at
// a known height above the film, a femoral head sphere and a hemispherical cup with a rim wire
// at known places and angles, projected through the focus onto the film. It gives what an
// operator would place on such a picture (the grid on the pelvis, points clicked on the head,
// cup and rim outlines with a little scatter) and the true values that an evaluation of those
// landmarks should find.
//
// Frames. Film: world millimetres as the measurement uses them (origin at the picture's bottom
// left, x to the right, y up), z the height above the film, towards the focus. Picture: pixels,
// origin top left, y down. Pelvis: true-size millimetres, u to the picture's right, v cranial
// from the line through the ischial tuberosities, u = 0 on the midline; the pelvis frame is
// turned against the film by the pelvic rotation and shifted against the beam.
//
// The patient lies supine with the film behind the back and the focus in front, so the picture
// is seen from the front: the patient's left hip is on the picture's right, and z points
// anteriorly.
namespace Phantom {

struct Vec2
{
    double x = 0, y = 0;
};

struct Vec3
{
    double x = 0, y = 0, z = 0;
};

enum class Side {
    Left,
    Right
};

// A movement in the pelvis frame, true mm: towards the head (cranial) and towards the midline
// (medial).
struct Shift
{
    double cranial = 0, medial = 0;
};

// Grid square on the pelvis (true mm): the base line through the lowest points of the ischial
// tuberosities, the top line at the iliac crests, the vertical lines at the lateral margins.
inline constexpr double kGridSideMm = 230.0;
// Centre of the acetabulum from the midline and above the tuberosity line (true mm).
inline constexpr double kHipFromMidlineMm = 95.0;
inline constexpr double kHipAboveBaseMm = 65.0;
// Angle of the prosthesis neck below the horizontal, from the head towards the stem (degrees).
inline constexpr double kNeckBelowHorizontalDeg = 40.0;

struct Parameters
{
    Side side = Side::Left;
    double inclinationDeg = 45.0; // radiographic inclination of the cup axis
    double anteversionDeg = 15.0; // radiographic anteversion: the axis against the film plane
    double focusMm = 1100.0; // focus height above the film

    double cupHeightMm = 165.0; // cup centre above the film
    double pelvicRotationDeg = 0.0; // pelvis turned in the film plane, counter-clockwise
    Vec2 gridCentreFromBeamMm{-3.0, 6.0}; // grid centre from the beam axis, pelvis frame, true mm
    // Where the real beam centre lies from the one the evaluation derives from the grid (film
    // mm); zero puts the focus exactly above the derived beam centre.
    Vec2 beamMisplacementMm{0.0, 0.0};
    Vec3 headFromCupMm{0.3, 1.0, 0.2}; // head centre from cup centre: lateral, cranial, anterior
    // A later radiograph of the same hip: how far the cup has migrated since the post-operative
    // one, taking the head with it, and how much further the head has worn into the liner. The
    // pelvis, and with it the grid, stays where it was.
    Shift cupShiftMm;
    Shift wearMm;
    double headRadiusMm = 14.0;
    double cupRadiusMm = 25.0; // outer radius of the shell
    double wireRadiusMm = 24.7; // the wire lies in a groove just inside the shell's outer surface
    double scatterPx = 1.0; // standard deviation of a clicked point in each coordinate

    std::int16_t widthPx = 2500;
    std::int16_t heightPx = 2000;
    double widthMm = 430.0;
};

// Everything of the 3-D set-up that follows from the parameters, in the film frame.
struct Scene
{
    Parameters p;
    double pxPerMm = 1;
    double heightMm = 0; // picture height in mm
    Vec3 focus; // straight above the beam centre
    Vec2 derivedBeam; // the beam centre as the evaluation derives it from the grid, film mm
    Vec2 gridCentre; // where the pelvis' grid centre lies, film mm, before projection
    Vec3 cupCentre; // centre of the shell's sphere and of the rim circle
    Vec3 headCentre;
    Vec3 cupAxis; // unit vector out of the cup's opening
    Vec2 pelvisU, pelvisV; // unit vectors of the pelvis frame on the film
    double sideSign = 1; // +1 when the replaced hip lies on the picture's right

    // The film-frame point of the pelvis point (u, v) at height z above the film.
    Vec3 pelvisPoint(double u, double v, double z) const;
    // Where the ray from the focus through the point meets the film.
    Vec2 project(const Vec3 &point) const;
    Vec2 toPicture(const Vec2 &film) const;
    Vec2 toFilm(const Vec2 &picture) const;
    // A pelvis point at the depth of the cup centre, as it appears in the picture.
    Vec2 pelvisPixel(double u, double v) const;
};

Scene makeScene(const Parameters &parameters);

struct Segment
{
    Vec2 p0, p1;
};

// The ten lines in the landmark file's order (Base, H-M, Top, Left, V-M, F, Right, Ruler,
// Cross-H, Cross-V), picture pixels. The grid square stands on the tuberosity line; its first
// end lies away from the replaced hip, so that the F-Line falls on the replaced side. For a right
// hip this is the mirror image of the left hip's grid, every line standing above the base line.
std::array<Segment, 10> gridLines(const Scene &scene);

// A point of a sphere's outline: where a ray from the focus touches the sphere, and where that
// ray meets the film.
struct OutlinePoint
{
    Vec3 touch;
    Vec2 film;
};

// count points of the outline, evenly spread around the cone of tangent rays.
std::vector<OutlinePoint> sphereOutline(
    const Vec3 &focus, const Vec3 &centre, double radius, int count);
// count points of the rim wire, evenly spread, in space.
std::vector<Vec3> rimWire(const Scene &scene, int count);
// True when the ray from the focus to the film point passes within margin of the head sphere.
bool behindHead(const Scene &scene, const Vec2 &film, double marginMm);

// Points clicked on the outlines, picture pixels.
struct Picks
{
    std::vector<Vec2> head; // around the head, away from the neck
    std::vector<Vec2> cup; // on the dome of the shell
    std::vector<Vec2> rim; // on the wire where it is not hidden by the head
};

// 6 to 12 points for each landmark, spread along what an operator can see, each displaced by
// Gaussian scatter of scatterPx. The same seed gives the same points.
Picks pickOutlines(const Scene &scene, std::uint32_t seed);

struct Migration
{
    double cranial = 0, medial = 0, antiparameter = 0;
};

// What an exact evaluation of the scene's landmarks would give.
struct Truth
{
    double inclinationDeg = 0;
    double anteversionDeg = 0;
    Migration head, cup; // distances (mm) from the planes through the focus and grid lines
    Vec2 wearMm; // head from cup in true size: medial, cranial
};

Truth truth(const Scene &scene);

// Distance (mm) of the point from the plane through the focus and the film line through the
// segment (picture pixels).
double distanceFromPlane(const Scene &scene, const Segment &lineOnFilm, const Vec3 &point);

// Sets up the measurement as an operator leaves it: scale from the picture's width in mm, the
// grid with its seven lines confirmed, the clicked points fitted. False when a fit fails. The
// measurement's surface (setPicBox) must have been set first, since that resets the landmarks.
bool placeLandmarks(const Scene &scene, const Picks &picks, COxel &oxel);

// Gaussian numbers from a seed, the same on every platform (the standard distributions are not).
class Random
{
public:
    explicit Random(std::uint32_t seed);
    double uniform(); // in (0, 1)
    double uniform(double low, double high);
    int integer(int low, int high); // both included
    double gaussian();

private:
    std::uint64_t state;
};

} // namespace Phantom
