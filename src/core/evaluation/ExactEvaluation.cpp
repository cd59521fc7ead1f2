#include "core/evaluation/ExactEvaluation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/evaluation/Calc.h"
#include "core/evaluation/evaluate.h"
#include "core/model/COxel.h"
#include "core/model/Matrix.h"

namespace {

using V3 = SpacePoint;

V3 operator+(const V3 &a, const V3 &b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

V3 operator-(const V3 &a, const V3 &b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

V3 operator*(double s, const V3 &a)
{
    return {s * a[0], s * a[1], s * a[2]};
}

double dot(const V3 &a, const V3 &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

V3 cross(const V3 &a, const V3 &b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double norm(const V3 &a)
{
    return std::sqrt(dot(a, a));
}

V3 unit(const V3 &a)
{
    return (1 / norm(a)) * a;
}

V3 onFilm(const CPoint &p)
{
    return {p.x, p.y, 0.0};
}

// Where the ray from F in direction d meets the film; nothing when it never does.
std::optional<CPoint> filmPoint(const V3 &F, const V3 &d)
{
    if (!(d[2] < 0))
        return std::nullopt;
    const double t = -F[2] / d[2];
    return CPoint(F[0] + t * d[0], F[1] + t * d[1]);
}

double filmDistance(const CPoint &a, const CPoint &b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Any unit vector perpendicular to the unit vector u.
V3 perpendicular(const V3 &u)
{
    const V3 axis = std::fabs(u[0]) < 0.9 ? V3{1, 0, 0} : V3{0, 1, 0};
    return unit(cross(u, axis));
}

// A residual that stands for "no solution here".
constexpr double kMissed = 1e6;

// Distance (mm on the film, to first order) of each rim point from the outline that the circle
// (C, n, R) casts from F. A film point P lies on that outline when its ray d = P - F meets the
// rim's plane on the circle; multiplied out by (n . d)^2 that condition is the quadratic
//   g(P) = |(n . d)(F - C) + (n . (C - F)) d|^2 - R^2 (n . d)^2 = 0,
// the outline's conic, and g / |grad g| its distance. Unlike the distance within the rim's
// plane it stays well-behaved for rays that graze the plane, as every ray near the minor axis
// of a rim seen almost edge-on does.
void rimResiduals(const V3 &F, std::span<const CPoint> rim, double R, const V3 &n, const V3 &C,
    std::vector<double> &r)
{
    r.resize(rim.size());
    const V3 FC = F - C;
    const double s = dot(n, C - F);
    for (std::size_t i = 0; i < rim.size(); ++i) {
        const V3 d = onFilm(rim[i]) - F;
        const double nd = dot(n, d);
        const V3 w = nd * FC + s * d;
        const double g = dot(w, w) - R * R * nd * nd;
        // d changes with P.x along (1, 0, 0) and with P.y along (0, 1, 0).
        double gradient[2];
        for (std::size_t k = 0; k < 2; ++k) {
            V3 dw = n[k] * FC;
            dw[k] += s;
            gradient[k] = 2 * dot(w, dw) - 2 * R * R * nd * n[k];
        }
        const double length = std::hypot(gradient[0], gradient[1]);
        r[i] = length > 0 && std::isfinite(g) ? g / length : kMissed;
    }
}

// rms of those distances.
double rimFilmRms(const V3 &F, std::span<const CPoint> rim, double R, const V3 &n, const V3 &C)
{
    std::vector<double> r;
    rimResiduals(F, rim, R, n, C, r);
    double sum = 0;
    for (double v : r)
        sum += v * v;
    return std::sqrt(sum / static_cast<double>(rim.size()));
}

double sumOfSquares(const std::vector<double> &r)
{
    double s = 0;
    for (double v : r)
        s += v * v;
    return s;
}

// Signed distances (mm on the film) of the dome's outline points from the outline that the
// sphere (X, R) casts from F, each along the line through the outline's centre of projection.
void sphereResiduals(
    const V3 &F, std::span<const CPoint> outline, const V3 &X, double R, std::vector<double> &r)
{
    const V3 axis = X - F;
    const V3 u = unit(axis);
    const double sinAlpha = std::min(R / norm(axis), 1.0);
    const double cosAlpha = std::sqrt(1 - sinAlpha * sinAlpha);
    for (const CPoint &P : outline) {
        const V3 e = unit(onFilm(P) - F);
        V3 across = e - dot(e, u) * u;
        across = norm(across) > 1e-12 ? unit(across) : perpendicular(u);
        // The ray turned, in the plane of the axis and the point, onto the cone.
        const auto Q = filmPoint(F, cosAlpha * u + sinAlpha * across);
        const double d = Q ? filmDistance(P, *Q) : kMissed;
        r.push_back(dot(e, u) > cosAlpha ? -d : d);
    }
}

// What the rim's fit matches: the rim points and, when given, the cup's dome, whose sphere has
// the rim's centre. The dome alone places the centre's depth only from its apparent size,
// centimetres off with a pixel of scatter; a rim held at that depth can match its points only
// by tilting, and then its mirror image may fit better. Sought together, both outlines place
// the centre.
struct RimProblem
{
    const V3 &F;
    std::span<const CPoint> rim;
    double R;
    std::span<const CPoint> dome;

    void residuals(const V3 &n, const V3 &C, std::vector<double> &r) const
    {
        rimResiduals(F, rim, R, n, C, r);
        sphereResiduals(F, dome, C, R, r);
    }
};

// Levenberg-Marquardt on the rim's axis (two angles about the current axis) and, when free, its
// centre. The axis is re-based on its tangent plane each step, so no angle has a pole.
std::optional<std::pair<V3, V3>> solveRim(const RimProblem &problem, V3 n, V3 C, bool centreFree)
{
    const V3 &F = problem.F;
    const std::size_t m = centreFree ? 5 : 2;
    std::vector<double> r, rPlus, rMinus;
    problem.residuals(n, C, r);
    double cost = sumOfSquares(r);
    double lambda = 1e-3;

    const auto moved = [&](const V3 &t1, const V3 &t2, const std::vector<double> &step) {
        std::pair<V3, V3> nc{unit(n + step[0] * t1 + step[1] * t2), C};
        if (centreFree)
            nc.second = C + V3{step[2], step[3], step[4]};
        return nc;
    };

    for (int iteration = 0; iteration < 200 && cost > 1e-26; ++iteration) {
        const V3 t1 = perpendicular(n);
        const V3 t2 = cross(n, t1);
        // Central differences: angles in radians, the centre in mm.
        Matrix J(r.size(), m);
        for (std::size_t k = 0; k < m; ++k) {
            const double h = k < 2 ? 1e-7 : 1e-6;
            std::vector<double> step(m, 0.0);
            step[k] = h;
            auto plus = moved(t1, t2, step);
            step[k] = -h;
            auto minus = moved(t1, t2, step);
            problem.residuals(plus.first, plus.second, rPlus);
            problem.residuals(minus.first, minus.second, rMinus);
            for (std::size_t i = 0; i < r.size(); ++i)
                J(i, k) = (rPlus[i] - rMinus[i]) / (2 * h);
        }
        bool improved = false;
        for (int attempt = 0; attempt < 30 && !improved; ++attempt) {
            Matrix A(m, m + 1);
            for (std::size_t a = 0; a < m; ++a) {
                for (std::size_t b = 0; b < m; ++b) {
                    double s = 0;
                    for (std::size_t i = 0; i < r.size(); ++i)
                        s += J(i, a) * J(i, b);
                    A(a, b) = s;
                }
                A(a, a) += lambda * (A(a, a) + 1e-12);
                double g = 0;
                for (std::size_t i = 0; i < r.size(); ++i)
                    g += J(i, a) * r[i];
                A(a, m) = -g;
            }
            if (!Math::trySolve(A)) {
                lambda *= 10;
                continue;
            }
            std::vector<double> step(m);
            double stepSize = 0;
            for (std::size_t k = 0; k < m; ++k) {
                step[k] = A(k, m);
                stepSize = std::max(stepSize, std::fabs(step[k]));
            }
            const auto [n2, C2] = moved(t1, t2, step);
            std::vector<double> r2;
            problem.residuals(n2, C2, r2);
            // The cup lies between the film and the focus; beyond, small circles near the focus
            // would fit any points.
            const double cost2 = C2[2] > 0 && C2[2] < F[2] ? sumOfSquares(r2) : INFINITY;
            if (cost2 < cost) {
                n = n2;
                C = C2;
                r = std::move(r2);
                cost = cost2;
                lambda = std::max(lambda / 10, 1e-12);
                improved = true;
            } else {
                lambda *= 10;
            }
            if (stepSize < 1e-15)
                break;
        }
        if (!improved)
            break;
    }
    // A point whose ray misses the plane leaves the solution meaningless.
    for (double v : r) {
        if (std::fabs(v) >= kMissed / 2 || !std::isfinite(v))
            return std::nullopt;
    }
    return std::pair{n, C};
}

// The rim points' mean and the major semi-axis (mm) of their spread: where the rim's centre
// starts when it is sought too.
struct RimSpread
{
    CPoint mean;
    double major;
};

RimSpread rimSpread(std::span<const CPoint> rim)
{
    const double count = static_cast<double>(rim.size());
    CPoint mean(0, 0);
    for (const CPoint &p : rim) {
        mean.x += p.x / count;
        mean.y += p.y / count;
    }
    double sxx = 0, sxy = 0, syy = 0;
    for (const CPoint &p : rim) {
        sxx += (p.x - mean.x) * (p.x - mean.x) / count;
        sxy += (p.x - mean.x) * (p.y - mean.y) / count;
        syy += (p.y - mean.y) * (p.y - mean.y) / count;
    }
    const double big = (sxx + syy) / 2 + std::sqrt((sxx - syy) * (sxx - syy) / 4 + sxy * sxy);
    // Points spread evenly round an ellipse vary by half the squared semi-axis along it.
    return {mean, std::sqrt(2 * big)};
}

// The axis of the given radiographic angles (radians), opening laterally.
V3 axisOf(double inclination, double anteversion, double lateral)
{
    return {lateral * std::cos(anteversion) * std::sin(inclination),
        -std::cos(anteversion) * std::cos(inclination), std::sin(anteversion)};
}

// The best axes on a coarse grid of inclinations and anteversions, one with the opening facing
// the focus (n . (F - C) >= 0: the focus looks into the cup) and one turned from it, the two
// sides of the mirror. The rim's residuals have local minima near the orientation a
// parallel projection would read (off the beam that is degrees from the truth), so the descent
// starts from the grid's best rather than from the ellipse's shape.
std::pair<V3, V3> gridStarts(
    const V3 &F, std::span<const CPoint> rim, double R, const V3 &C, double lateral)
{
    constexpr double kStep = 2.5 * std::numbers::pi / 180;
    double bestFacing = INFINITY, bestTurned = INFINITY;
    std::pair<V3, V3> starts{axisOf(0.8, 0.2, lateral), axisOf(0.8, -0.2, lateral)};
    std::vector<double> r;
    for (int i = 0; i <= 36; ++i) {
        for (int a = -34; a <= 34; ++a) {
            const V3 n = axisOf(i * kStep, a * kStep, lateral);
            rimResiduals(F, rim, R, n, C, r);
            const double cost = sumOfSquares(r);
            const bool facing = dot(n, F - C) >= 0;
            if (facing && cost < bestFacing) {
                bestFacing = cost;
                starts.first = n;
            } else if (!facing && cost < bestTurned) {
                bestTurned = cost;
                starts.second = n;
            }
        }
    }
    return starts;
}

V3 centreStart(const V3 &F, std::span<const CPoint> rim, double R)
{
    // The rim's centre where its apparent size puts it on the ray through the points' mean.
    const RimSpread s = rimSpread(rim);
    const double height = s.major > R ? F[2] * (1 - R / s.major) : 0.0;
    const V3 M = onFilm(s.mean);
    return M + (height / F[2]) * (F - M);
}

} // namespace

namespace ExactGeometry {

std::optional<SpacePoint> sphereCentre(
    const SpacePoint &F, std::span<const CPoint> outline, double R)
{
    if (outline.size() < 3 || !(R > 0) || !(F[2] > 0))
        return std::nullopt;
    // Every ray e touches the sphere at the cone's half angle alpha about its axis u:
    // e . u = cos(alpha), linear in w = u / cos(alpha).
    Matrix A(3, 4);
    for (const CPoint &P : outline) {
        const V3 e = unit(onFilm(P) - F);
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = 0; j < 3; ++j)
                A(i, j) += e[i] * e[j];
            A(i, 3) += e[i];
        }
    }
    if (!Math::trySolve(A))
        return std::nullopt;
    const V3 w{A(0, 3), A(1, 3), A(2, 3)};
    const double length = norm(w);
    if (!(length > 1) || !(w[2] < 0))
        return std::nullopt;
    const V3 u = (1 / length) * w;
    const double cosAlpha = 1 / length;
    const double sinAlpha = std::sqrt(1 - cosAlpha * cosAlpha);
    return F + (R / sinAlpha) * u;
}

double sphereOutlineRms(
    const SpacePoint &F, std::span<const CPoint> outline, const SpacePoint &X, double R)
{
    if (outline.empty())
        return 0;
    std::vector<double> r;
    sphereResiduals(F, outline, X, R, r);
    return std::sqrt(sumOfSquares(r) / static_cast<double>(outline.size()));
}

std::optional<RimFit> fitRim(const SpacePoint &F, std::span<const CPoint> rim, double R,
    const SpacePoint &start, const std::optional<SpacePoint> &centre, double lateral,
    std::span<const CPoint> dome)
{
    const bool centreFree = !centre || !dome.empty();
    if (rim.size() < (centre ? 2u : 5u) || !(R > 0) || !(F[2] > 0))
        return std::nullopt;
    const V3 C0 = centre ? *centre : centreStart(F, rim, R);
    const auto solved = solveRim(RimProblem{F, rim, R, centre ? dome : std::span<const CPoint>{}},
        unit(start), C0, centreFree);
    if (!solved)
        return std::nullopt;
    RimFit fit;
    fit.n = solved->first;
    fit.centre = solved->second;
    if (fit.n[0] * lateral < 0)
        fit.n = -1.0 * fit.n;
    fit.rms = rimFilmRms(F, rim, R, fit.n, fit.centre);
    const RimProblem matched{F, rim, R, centre ? dome : std::span<const CPoint>{}};
    std::vector<double> r;
    matched.residuals(fit.n, fit.centre, r);
    fit.matchedRms = std::sqrt(sumOfSquares(r) / static_cast<double>(r.size()));
    return fit;
}

std::optional<RimChoice> orientRim(const SpacePoint &F, std::span<const CPoint> rim, double R,
    const std::optional<SpacePoint> &centre, double lateral, std::span<const CPoint> dome)
{
    if (rim.size() < 2)
        return std::nullopt;
    if (!centre && rim.size() < 5)
        return std::nullopt;
    const auto [towardsStart, awayStart] =
        gridStarts(F, rim, R, centre ? *centre : centreStart(F, rim, R), lateral);
    RimChoice choice;
    for (const V3 &start : {towardsStart, awayStart}) {
        const auto fit = fitRim(F, rim, R, start, centre, lateral, dome);
        if (!fit)
            continue;
        // Both starts may end in the same minimum; each side keeps its best.
        const bool facing = dot(fit->n, F - fit->centre) >= 0;
        std::optional<RimFit> &side = facing ? choice.facing : choice.turned;
        if (!side || fit->matchedRms < side->matchedRms)
            side = fit;
    }
    if (!choice.facing && !choice.turned)
        return std::nullopt;
    if (!choice.facing || !choice.turned) {
        choice.chosenFacing = choice.facing.has_value();
        return choice;
    }
    // The opening towards the focus's side of the film is anteversion, the usual case; when
    // both are, the one the focus looks into. Without the cup's centre both mirror circles fit
    // exactly, and only this preference decides.
    const bool preferFacing = towardsFocus(*choice.facing) != towardsFocus(*choice.turned)
        ? towardsFocus(*choice.facing)
        : true;
    const RimFit &preferred = preferFacing ? *choice.facing : *choice.turned;
    const RimFit &mirror = preferFacing ? *choice.turned : *choice.facing;
    // Below this (mm) neither mirror fits clearly better: both are exact.
    constexpr double kExact = 1e-6;
    const bool mirrorWins =
        mirror.matchedRms <= preferred.matchedRms / 2 && preferred.matchedRms > kExact;
    choice.chosenFacing = preferFacing != mirrorWins;
    return choice;
}

double inclination(const SpacePoint &n)
{
    return Math::atanRatio(std::fabs(n[0]), std::fabs(n[1])) * Calc::kDegreesPerRadian;
}

double anteversion(const SpacePoint &n)
{
    return Math::arcSin(std::fabs(n[2])) * Calc::kDegreesPerRadian;
}

} // namespace ExactGeometry

const char *openingText(bool towardsFocus)
{
    return towardsFocus ? "towards the focus" : "away from the focus";
}

namespace {

// The measurement's lines and landmarks in the base-line frame, and the focus above the beam
// centre.
struct ExactFrame
{
    explicit ExactFrame(const COxel &measured) : frame(measured) {}

    COxel frame; // a copy whose transforms lead into the base-line frame
    V3 F{};
    CLine base, fLine, top;
    double lateral = 1;

    std::vector<CPoint> points(const PointLandmark &landmark) const
    {
        std::vector<CPoint> out;
        for (const auto &p : landmark.points) {
            CPoint q(p->x, p->y);
            frame.TransformP(q);
            out.push_back(q);
        }
        return out;
    }

    CLine line(const CLine &measured) const
    {
        CLine copy;
        copy.copy(measured);
        frame.TransformL(copy);
        return copy;
    }
};

bool degenerate(const CLine &line)
{
    return line.P0.x == line.P1.x && line.P0.y == line.P1.y;
}

// The sphere (X, R) with its distances from the planes through the focus and the film lines,
// and how far its outline points lie from its outline. False when a grid line has no length.
bool placeAt(const ExactFrame &f, const SpacePoint &X, std::span<const CPoint> outline, double R,
    ExactSphere &s)
{
    s.centre = X;
    s.rms_px = ExactGeometry::sphereOutlineRms(f.F, outline, X, R) * f.frame.ScaleFactor;
    for (const auto &[line, value] :
        {std::pair{&f.base, &s.cranial}, {&f.fLine, &s.medial}, {&f.top, &s.antiparameter}}) {
        const auto d = degenerate(*line) ? std::nullopt : Math::planeDistance(*line, f.F, X);
        if (!d)
            return false;
        *value = *d;
    }
    return true;
}

std::optional<ExactSphere> placeSphere(const ExactFrame &f, const CCircle &circle,
    double trueRadius, const char *name, std::string &why)
{
    const std::string sphere(name);
    if (!circle.Valid || circle.points.size() < 3) {
        why = "the " + sphere + " is not marked";
        return std::nullopt;
    }
    if (!(trueRadius > 0)) {
        why = "the " + sphere + " size is not given";
        return std::nullopt;
    }
    const std::vector<CPoint> outline = f.points(circle);
    const auto X = ExactGeometry::sphereCentre(f.F, outline, trueRadius);
    if (!X) {
        why = "the " + sphere + "'s points give no sphere of its size";
        return std::nullopt;
    }
    ExactSphere s;
    if (!placeAt(f, *X, outline, trueRadius, s)) {
        why = "a grid line has no length";
        return std::nullopt;
    }
    return s;
}

} // namespace

ExactEvaluation evaluateExactly(const COxel &oxel)
{
    ExactEvaluation out;
    // The side is known from the grid alone, also where the evaluation is refused.
    const auto base = baseLineFrame(oxel, false);
    ExactFrame f(oxel);
    if (base) {
        f.frame.SinA = base->sinA;
        f.frame.CosA = base->cosA;
        f.frame.Center.copy(base->origin);
        f.fLine = f.line(oxel.V_F);
        // The hip lies beyond the F-Line as seen from the V-M-Line; its cup opens that way.
        out.sideLeft = f.fLine.P0.x > f.line(oxel.V_M).P0.x;
        f.lateral = *out.sideLeft ? 1.0 : -1.0;
    }
    const double focH = oxel.Patient.FocH;
    if (focH == 0) {
        out.refusal = "the exact evaluation needs the focus distance";
        return out;
    }
    if (!(focH > 0) || !std::isfinite(focH)) {
        out.refusal = "the focus distance is not usable";
        return out;
    }
    if (!base) {
        out.refusal = "the H-M-Line and the V-M-Line do not cross: no beam centre";
        return out;
    }
    CPoint beam = base->beam;
    f.frame.TransformP(beam);
    f.F = {beam.x, beam.y, focH};
    f.base = f.line(oxel.H_B);
    f.top = f.line(oxel.H_T);

    const auto &patient = oxel.Patient;
    out.head = placeSphere(f, oxel.Head, patient.HeadTR, "head", out.headAbsent);
    out.cup = placeSphere(f, oxel.Cup, patient.CupTR, "cup", out.cupAbsent);

    if (!oxel.Rim.Valid || oxel.Rim.points.size() < 3) {
        out.orientationAbsent = "the rim is not marked";
    } else if (!(patient.CupTR > 0)) {
        out.orientationAbsent = "the cup size is not given";
    } else if (!out.cup && oxel.Rim.points.size() < 5) {
        out.orientationAbsent = "without the cup circle the rim needs at least 5 points";
    } else {
        const std::vector<CPoint> rim = f.points(oxel.Rim);
        const std::optional<SpacePoint> centre =
            out.cup ? std::optional<SpacePoint>(out.cup->centre) : std::nullopt;
        const std::vector<CPoint> dome = out.cup ? f.points(oxel.Cup) : std::vector<CPoint>{};
        const auto choice =
            ExactGeometry::orientRim(f.F, rim, patient.CupTR, centre, f.lateral, dome);
        if (!choice) {
            out.orientationAbsent = "the rim points give no circle of the cup's size";
        } else {
            const ExactGeometry::RimFit &chosen = choice->chosen();
            const ExactGeometry::RimFit *other = choice->other();
            ExactOrientation o;
            o.axis = chosen.n;
            o.inclination = ExactGeometry::inclination(chosen.n);
            o.anteversion = ExactGeometry::anteversion(chosen.n);
            o.towardsFocus = ExactGeometry::towardsFocus(chosen);
            o.rms_px = chosen.rms * oxel.ScaleFactor;
            o.otherRms_px = other ? other->rms * oxel.ScaleFactor : -1;
            out.orientation = o;
            // The rim is the cup's circle: its points and the dome's place the cup's centre
            // together, where the dome alone has only its apparent size for the height.
            if (out.cup)
                placeAt(f, chosen.centre, dome, patient.CupTR, *out.cup);
        }
    }
    if (!out.head && !out.cup && !out.orientation)
        out.refusal = "nothing to evaluate exactly: " + out.headAbsent + "; " + out.cupAbsent + "; "
            + out.orientationAbsent;
    return out;
}
