#include "tools/phantom/Phantom.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/model/COxel.h"

namespace Phantom {

namespace {

constexpr double kPi = std::numbers::pi;

double radians(double degrees)
{
    return degrees * kPi / 180.0;
}

double degrees(double radiansValue)
{
    return radiansValue * 180.0 / kPi;
}

Vec3 operator+(const Vec3 &a, const Vec3 &b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec3 operator-(const Vec3 &a, const Vec3 &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 operator*(double s, const Vec3 &a)
{
    return {s * a.x, s * a.y, s * a.z};
}

double dot(const Vec3 &a, const Vec3 &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3 &a, const Vec3 &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 unit(const Vec3 &a)
{
    return (1.0 / std::sqrt(dot(a, a))) * a;
}

// Two unit vectors that complete a to a right-handed orthonormal frame.
void perpendiculars(const Vec3 &a, Vec3 &e1, Vec3 &e2)
{
    const Vec3 helper = std::abs(a.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    e1 = unit(cross(helper, a));
    e2 = cross(a, e1);
}

Vec2 mix(const Vec2 &a, const Vec2 &d, double s, const Vec2 &n, double t)
{
    return {a.x + s * d.x + t * n.x, a.y + s * d.y + t * n.y};
}

// Indices of the allowed samples chosen so that count picks spread over what is allowed, each
// from the middle part of its share, as an operator works round an outline.
std::vector<std::size_t> spreadPicks(
    const std::vector<std::size_t> &allowed, int count, Random &random)
{
    std::vector<std::size_t> chosen;
    const double share = static_cast<double>(allowed.size()) / count;
    for (int k = 0; k < count; ++k) {
        const double at = (k + random.uniform(0.2, 0.8)) * share;
        const auto index = std::min(allowed.size() - 1, static_cast<std::size_t>(at));
        chosen.push_back(allowed[index]);
    }
    return chosen;
}

Vec2 scattered(const Vec2 &pixel, double sigma, Random &random)
{
    const double dx = sigma * random.gaussian();
    const double dy = sigma * random.gaussian();
    return {pixel.x + dx, pixel.y + dy};
}

// Samples taken round an outline before the operator's picks are chosen from them.
constexpr int kOutlineSamples = 720;

} // namespace

Random::Random(std::uint32_t seed) : state(0x9E3779B97F4A7C15ULL ^ seed) {}

double Random::uniform()
{
    // splitmix64: a fixed sequence for a seed, whatever the standard library.
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 0.5) / 9007199254740992.0;
}

double Random::uniform(double low, double high)
{
    return low + (high - low) * uniform();
}

int Random::integer(int low, int high)
{
    const int span = high - low + 1;
    return low + std::min(span - 1, static_cast<int>(uniform() * span));
}

double Random::gaussian()
{
    const double u1 = uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

Vec3 Scene::pelvisPoint(double u, double v, double z) const
{
    const double b = v - kGridSideMm / 2;
    return {gridCentre.x + u * pelvisU.x + b * pelvisV.x,
        gridCentre.y + u * pelvisU.y + b * pelvisV.y, z};
}

Vec2 Scene::project(const Vec3 &point) const
{
    const double s = focus.z / (focus.z - point.z);
    return {focus.x + s * (point.x - focus.x), focus.y + s * (point.y - focus.y)};
}

Vec2 Scene::toPicture(const Vec2 &film) const
{
    return {film.x * pxPerMm, p.heightPx - film.y * pxPerMm};
}

Vec2 Scene::toFilm(const Vec2 &picture) const
{
    return {picture.x / pxPerMm, (p.heightPx - picture.y) / pxPerMm};
}

Vec2 Scene::pelvisPixel(double u, double v) const
{
    return toPicture(project(pelvisPoint(u, v, cupCentre.z)));
}

Scene makeScene(const Parameters &parameters)
{
    Scene s;
    s.p = parameters;
    s.pxPerMm = parameters.widthPx / parameters.widthMm;
    s.heightMm = parameters.heightPx / s.pxPerMm;
    s.sideSign = parameters.side == Side::Left ? 1.0 : -1.0;

    const double turn = radians(parameters.pelvicRotationDeg);
    s.pelvisU = {std::cos(turn), std::sin(turn)};
    s.pelvisV = {-std::sin(turn), std::cos(turn)};

    // The evaluation takes the beam centre midway between the grid's centre and the picture's
    // centre. The beam is placed so that this holds (unless a misplacement is asked for): the grid
    // centre appears as far from the beam on one side as the picture centre on the other.
    const double f = parameters.focusMm;
    const double magnification = f / (f - parameters.cupHeightMm);
    const Vec2 g = parameters.gridCentreFromBeamMm;
    const Vec2 gridOffset{magnification * (g.x * s.pelvisU.x + g.y * s.pelvisV.x),
        magnification * (g.x * s.pelvisU.y + g.y * s.pelvisV.y)};
    s.derivedBeam = {parameters.widthMm / 2 + gridOffset.x, s.heightMm / 2 + gridOffset.y};
    s.focus = {s.derivedBeam.x + parameters.beamMisplacementMm.x,
        s.derivedBeam.y + parameters.beamMisplacementMm.y, f};
    // The grid centre at the cup's depth, placed so that its picture lies where it must.
    const Vec2 seen{s.derivedBeam.x + gridOffset.x, s.derivedBeam.y + gridOffset.y};
    s.gridCentre = {s.focus.x + (seen.x - s.focus.x) / magnification,
        s.focus.y + (seen.y - s.focus.y) / magnification};

    const Shift &shift = parameters.cupShiftMm;
    s.cupCentre = s.pelvisPoint(s.sideSign * (kHipFromMidlineMm - shift.medial),
        kHipAboveBaseMm + shift.cranial, parameters.cupHeightMm);
    const Vec3 w = parameters.headFromCupMm;
    const double lateral = s.sideSign * (w.x - parameters.wearMm.medial);
    const double cranial = w.y + parameters.wearMm.cranial;
    s.headCentre = s.cupCentre
        + Vec3{lateral * s.pelvisU.x + cranial * s.pelvisV.x,
            lateral * s.pelvisU.y + cranial * s.pelvisV.y, w.z};

    // Radiographic angles: the axis leans laterally from the body's long axis by the
    // inclination (seen on the film) and rises out of the film plane by the anteversion.
    const double inc = radians(parameters.inclinationDeg);
    const double ant = radians(parameters.anteversionDeg);
    const double axisU = s.sideSign * std::sin(inc) * std::cos(ant);
    const double axisV = -std::cos(inc) * std::cos(ant);
    s.cupAxis = {axisU * s.pelvisU.x + axisV * s.pelvisV.x,
        axisU * s.pelvisU.y + axisV * s.pelvisV.y, std::sin(ant)};
    return s;
}

std::array<Segment, 10> gridLines(const Scene &scene)
{
    const double half = kGridSideMm / 2;
    const double first = -scene.sideSign * half;
    const Vec2 P = scene.project(scene.pelvisPoint(first, 0, scene.cupCentre.z));
    const Vec2 Q = scene.project(scene.pelvisPoint(-first, 0, scene.cupCentre.z));
    const Vec2 top = scene.project(scene.pelvisPoint(first, kGridSideMm, scene.cupCentre.z));
    const Vec2 d{Q.x - P.x, Q.y - P.y};
    const Vec2 n{top.x - P.x, top.y - P.y}; // upwards on the film, as long as the base line

    const auto line = [&](double s0, double t0, double s1, double t1) {
        return Segment{
            scene.toPicture(mix(P, d, s0, n, t0)), scene.toPicture(mix(P, d, s1, n, t1))};
    };
    return {
        line(0, 0, 1, 0), // Base-Line
        line(0, 0.5, 1, 0.5), // H-M-Line
        line(0, 1, 1, 1), // Top-Line
        line(0, 0, 0, 1), // Left-Line
        line(0.5, 0.25, 0.5, 0.75), // V-M-Line
        line(0.75, 0, 0.75, 1), // F-Line
        line(1, 0, 1, 1), // Right-Line
        Segment{{100, 300}, {200, 300}}, // the ruler where a new grid leaves it, not used
        line(-0.25, 1, 0.25, 1), // Cross-H-Line
        line(0, 1.25, 0, 0.75), // Cross-V-Line
    };
}

std::vector<OutlinePoint> sphereOutline(
    const Vec3 &focus, const Vec3 &centre, double radius, int count)
{
    const Vec3 toCentre = centre - focus;
    const double distance = std::sqrt(dot(toCentre, toCentre));
    const Vec3 u = (1.0 / distance) * toCentre;
    Vec3 e1, e2;
    perpendiculars(u, e1, e2);
    const double sinHalf = radius / distance;
    const double cosHalf = std::sqrt(1 - sinHalf * sinHalf);
    const double tangentLength = distance * cosHalf;

    std::vector<OutlinePoint> outline;
    for (int k = 0; k < count; ++k) {
        const double phi = 2 * kPi * k / count;
        const Vec3 ray = cosHalf * u + sinHalf * (std::cos(phi) * e1 + std::sin(phi) * e2);
        const Vec3 touch = focus + tangentLength * ray;
        const double s = focus.z / -ray.z;
        outline.push_back({touch, {focus.x + s * ray.x, focus.y + s * ray.y}});
    }
    return outline;
}

std::vector<Vec3> rimWire(const Scene &scene, int count)
{
    Vec3 e1, e2;
    perpendiculars(scene.cupAxis, e1, e2);
    std::vector<Vec3> wire;
    for (int k = 0; k < count; ++k) {
        const double psi = 2 * kPi * k / count;
        wire.push_back(
            scene.cupCentre + scene.p.wireRadiusMm * (std::cos(psi) * e1 + std::sin(psi) * e2));
    }
    return wire;
}

bool behindHead(const Scene &scene, const Vec2 &film, double marginMm)
{
    const Vec3 onFilm{film.x, film.y, 0};
    const Vec3 ray = unit(onFilm - scene.focus);
    const Vec3 toHead = scene.headCentre - scene.focus;
    const Vec3 off = toHead - dot(toHead, ray) * ray;
    return std::sqrt(dot(off, off)) < scene.p.headRadiusMm + marginMm;
}

// How far from the projected rim wire a head point is clicked (film mm): where the wire crosses
// the head's outline, the outline cannot be told.
constexpr double kClearOfWireMm = 1.5;

Picks pickOutlines(const Scene &scene, std::uint32_t seed)
{
    Random random(seed);
    const double sigma = scene.p.scatterPx;
    Picks picks;

    // The head: all round, except where the neck joins it and where the rim wire crosses it.
    {
        const auto outline =
            sphereOutline(scene.focus, scene.headCentre, scene.p.headRadiusMm, kOutlineSamples);
        std::vector<Vec2> wireOnFilm;
        for (const Vec3 &w : rimWire(scene, kOutlineSamples))
            wireOnFilm.push_back(scene.project(w));
        const auto nearWire = [&wireOnFilm](const Vec2 &film) {
            return std::any_of(wireOnFilm.begin(), wireOnFilm.end(), [&film](const Vec2 &w) {
                return std::hypot(w.x - film.x, w.y - film.y) < kClearOfWireMm;
            });
        };
        const Vec2 centre = scene.project(scene.headCentre);
        const double neck = radians(kNeckBelowHorizontalDeg);
        const double nu = scene.sideSign * std::cos(neck), nv = -std::sin(neck);
        const Vec2 neckDir{nu * scene.pelvisU.x + nv * scene.pelvisV.x,
            nu * scene.pelvisU.y + nv * scene.pelvisV.y};
        std::vector<std::size_t> allowed;
        for (std::size_t k = 0; k < outline.size(); ++k) {
            const double dx = outline[k].film.x - centre.x, dy = outline[k].film.y - centre.y;
            const double cosToNeck = (dx * neckDir.x + dy * neckDir.y) / std::hypot(dx, dy);
            if (cosToNeck < std::cos(radians(35)) && !nearWire(outline[k].film))
                allowed.push_back(k);
        }
        for (std::size_t k : spreadPicks(allowed, random.integer(6, 12), random))
            picks.head.push_back(scattered(scene.toPicture(outline[k].film), sigma, random));
    }

    // The cup: its outer contour on the dome, away from where the rim wire takes over.
    {
        const auto outline =
            sphereOutline(scene.focus, scene.cupCentre, scene.p.cupRadiusMm, kOutlineSamples);
        std::vector<std::size_t> allowed;
        for (std::size_t k = 0; k < outline.size(); ++k) {
            const Vec3 fromCentre = outline[k].touch - scene.cupCentre;
            if (dot(fromCentre, scene.cupAxis) < -0.25 * scene.p.cupRadiusMm)
                allowed.push_back(k);
        }
        for (std::size_t k : spreadPicks(allowed, random.integer(6, 12), random))
            picks.cup.push_back(scattered(scene.toPicture(outline[k].film), sigma, random));
    }

    // The rim: where the wire crosses the metal head it cannot be seen.
    {
        const auto wire = rimWire(scene, kOutlineSamples);
        std::vector<std::size_t> allowed;
        for (std::size_t k = 0; k < wire.size(); ++k) {
            if (!behindHead(scene, scene.project(wire[k]), 0.5))
                allowed.push_back(k);
        }
        for (std::size_t k : spreadPicks(allowed, random.integer(6, 12), random))
            picks.rim.push_back(scattered(scene.toPicture(scene.project(wire[k])), sigma, random));
    }
    return picks;
}

double distanceFromPlane(const Scene &scene, const Segment &line, const Vec3 &point)
{
    const Vec2 a = scene.toFilm(line.p0), b = scene.toFilm(line.p1);
    const Vec3 A{a.x, a.y, 0}, B{b.x, b.y, 0};
    const Vec3 normal = cross(B - A, scene.focus - A);
    return std::abs(dot(point - A, normal)) / std::sqrt(dot(normal, normal));
}

Truth truth(const Scene &scene)
{
    const auto lines = gridLines(scene);
    const Segment &base = lines[0], &fLine = lines[5], &top = lines[2];
    Truth t;
    const auto migration = [&](const Vec3 &centre) {
        return Migration{distanceFromPlane(scene, base, centre),
            distanceFromPlane(scene, fLine, centre), distanceFromPlane(scene, top, centre)};
    };
    t.head = migration(scene.headCentre);
    t.cup = migration(scene.cupCentre);

    // Against the grid as placed: the body's long axis is the Left-Line's direction on the film.
    const Vec2 up0 = scene.toFilm(lines[3].p0), up1 = scene.toFilm(lines[3].p1);
    const double upLength = std::hypot(up1.x - up0.x, up1.y - up0.y);
    const Vec2 up{(up1.x - up0.x) / upLength, (up1.y - up0.y) / upLength};
    const Vec3 &a = scene.cupAxis;
    const double inPlane = std::hypot(a.x, a.y);
    t.inclinationDeg = degrees(std::acos(std::abs(a.x * up.x + a.y * up.y) / inPlane));
    t.anteversionDeg = degrees(std::asin(a.z));

    // The wear vector as the result file reads it: positive x medial, positive y cranial.
    const Vec3 w = scene.headCentre - scene.cupCentre;
    const Vec2 across{up.y, -up.x}; // to the picture's right along the base line
    t.wearMm = {-scene.sideSign * (w.x * across.x + w.y * across.y), w.x * up.x + w.y * up.y};
    return t;
}

bool placeLandmarks(const Scene &scene, const Picks &picks, COxel &oxel)
{
    if (!oxel.initScale(scene.p.widthPx, scene.p.heightPx, scene.p.widthMm))
        return false;
    const auto lines = gridLines(scene);
    CLine *targets[] = {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F, &oxel.V_R,
        &oxel.Ruler, &oxel.Cross_H, &oxel.Cross_V};
    for (std::size_t i = 0; i < lines.size(); ++i)
        targets[i]->init(lines[i].p0.x, lines[i].p0.y, lines[i].p1.x, lines[i].p1.y);
    for (std::size_t i = 0; i < 7; ++i)
        targets[i]->Valid = true; // taking hold of a line confirms it

    const auto place = [](auto &landmark, const std::vector<Vec2> &points) {
        landmark.removeAll();
        for (const Vec2 &q : points)
            landmark.addPoint(q.x, q.y);
        landmark.Valid = landmark.fit();
        return landmark.Valid;
    };
    const bool head = place(oxel.Head, picks.head);
    const bool cup = place(oxel.Cup, picks.cup);
    const bool rim = place(oxel.Rim, picks.rim);
    return head && cup && rim;
}

} // namespace Phantom
