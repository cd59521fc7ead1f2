#include "tools/phantom/PhantomPicture.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace PhantomPicture {

namespace {

using Phantom::Scene;
using Phantom::Vec2;
using Phantom::Vec3;

constexpr double kPi = std::numbers::pi;

// Attenuation of one millimetre along a ray, in the picture's own units: soft tissue is taken
// as 1 per 200 mm, so that the body's middle casts about 1.
constexpr double kSoftTissue = 1.0 / 200.0;
constexpr double kPolyethylene = 0.9 / 200.0; // slightly lighter than tissue
constexpr double kCement = 0.055; // radio-opaque bone cement
constexpr double kMetal = 0.6; // cobalt-chromium and steel: nothing gets through
constexpr double kMantleMm = 1.5; // cement between the cup and the bone
// A cementless cup's shell of titanium alloy. Behind some 20 cm of tissue the beam is hardened
// to about 60 keV, where titanium attenuates some 15 times as much as tissue: an eighth of the
// picture's opaque head and twice its cortical bone, per millimetre. A thin shell lets the head
// show through the dome's two walls by 30 to 45 grey levels, as metal over metal does on films;
// the price is an outline whose chord grows only as the square root of the depth, so that its
// steepest grey lies about half a pixel inside.
constexpr double kTitanium = 0.075;
constexpr double kShellWallMm = 1.5;

// The film's characteristic curve: grey kFilmBase + kFilmRange / (1 + exp(-kFilmSlope (a -
// kFilmMiddle))) of the attenuation a along the ray.
constexpr double kFilmBase = 8, kFilmRange = 247, kFilmSlope = 3.0, kFilmMiddle = 1.35;

// A field of floats over the picture.
class Field
{
public:
    Field(int width, int height) : w(width), h(height), values(std::size_t(width) * height, 0.0f) {}

    float &at(int x, int y) { return values[std::size_t(y) * w + x]; }

    float at(int x, int y) const { return values[std::size_t(y) * w + x]; }

    int width() const { return w; }

    int height() const { return h; }

    std::vector<float> &data() { return values; }

private:
    int w, h;
    std::vector<float> values;
};

// Separable Gaussian blur in place (sigma in pixels), edges clamped.
void blur(Field &field, double sigma)
{
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> kernel(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[i + radius] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float &k : kernel)
        k = float(k / sum);

    // Every sum runs over the kernel in the same order whichever loop computes it, so that the
    // pictures do not change with the loops' arrangement; only the edges need clamping.
    const int w = field.width(), h = field.height();
    std::vector<float> line;
    for (int y = 0; y < h; ++y) {
        line.assign(&field.at(0, y), &field.at(0, y) + w);
        float *out = &field.at(0, y);
        for (int x = 0; x < w; ++x) {
            float s = 0;
            if (x >= radius && x + radius < w) {
                const float *in = &line[std::size_t(x - radius)];
                for (int i = 0; i <= 2 * radius; ++i)
                    s += kernel[i] * in[i];
            } else {
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[i + radius] * line[std::clamp(x + i, 0, w - 1)];
            }
            out[x] = s;
        }
    }
    // Down the columns a row at a time, reading whole rows.
    std::vector<float> column(std::size_t(w) * h);
    std::copy(field.data().begin(), field.data().end(), column.begin());
    std::vector<float> total(w);
    for (int y = 0; y < h; ++y) {
        std::fill(total.begin(), total.end(), 0.0f);
        for (int i = -radius; i <= radius; ++i) {
            const float k = kernel[i + radius];
            const float *in = &column[std::size_t(std::clamp(y + i, 0, h - 1)) * w];
            for (int x = 0; x < w; ++x)
                total[x] += k * in[x];
        }
        std::copy(total.begin(), total.end(), &field.at(0, y));
    }
}

Field noiseField(int w, int h, double sigma, Phantom::Random &random)
{
    Field f(w, h);
    for (float &v : f.data())
        v = float(random.gaussian());
    blur(f, sigma);
    // Back to a standard deviation of about 1 whatever the blur.
    double s = 0;
    for (float v : f.data())
        s += double(v) * v;
    const float scale = float(1.0 / std::sqrt(s / double(f.data().size())));
    for (float &v : f.data())
        v *= scale;
    return f;
}

// Noise with features of several millimetres, made on a coarser grid and spread out.
Field broadNoise(int w, int h, int step, double sigma, Phantom::Random &random)
{
    const int cw = w / step + 2, ch = h / step + 2;
    const Field coarseGrid = noiseField(cw, ch, sigma, random);
    Field f(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double gx = double(x) / step, gy = double(y) / step;
            const int x0 = int(gx), y0 = int(gy);
            const double fx = gx - x0, fy = gy - y0;
            f.at(x, y) = float(
                (1 - fy) * ((1 - fx) * coarseGrid.at(x0, y0) + fx * coarseGrid.at(x0 + 1, y0))
                + fy * ((1 - fx) * coarseGrid.at(x0, y0 + 1) + fx * coarseGrid.at(x0 + 1, y0 + 1)));
        }
    return f;
}

QImage newMask(int w, int h)
{
    QImage mask(w, h, QImage::Format_Grayscale8);
    mask.fill(0);
    return mask;
}

// Distance in pixels from each pixel inside the mask to the nearest pixel outside (chamfer
// approximation of the Euclidean distance); 0 outside.
Field insideDistance(const QImage &mask)
{
    const int w = mask.width(), h = mask.height();
    Field d(w, h);
    constexpr float kFar = 1e9f, kDiagonal = 1.41421356f;
    for (int y = 0; y < h; ++y) {
        const uchar *row = mask.constScanLine(y);
        for (int x = 0; x < w; ++x)
            d.at(x, y) = row[x] >= 128 ? kFar : 0.0f;
    }
    const auto get = [&](int x, int y) {
        return x < 0 || y < 0 || x >= w || y >= h ? 0.0f : d.at(x, y);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float &v = d.at(x, y);
            if (v == 0)
                continue;
            v = std::min({v, get(x - 1, y) + 1, get(x, y - 1) + 1, get(x - 1, y - 1) + kDiagonal,
                get(x + 1, y - 1) + kDiagonal});
        }
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x) {
            float &v = d.at(x, y);
            if (v == 0)
                continue;
            v = std::min({v, get(x + 1, y) + 1, get(x, y + 1) + 1, get(x + 1, y + 1) + kDiagonal,
                get(x - 1, y + 1) + kDiagonal});
        }
    return d;
}

// A smooth closed outline through the points (pelvis mm), in picture pixels.
QPainterPath smoothOutline(const Scene &scene, const std::vector<Vec2> &points, double mirror)
{
    std::vector<QPointF> q;
    for (const Vec2 &p : points) {
        const Vec2 px = scene.pelvisPixel(mirror * p.x, p.y);
        q.emplace_back(px.x, px.y);
    }
    QPainterPath path;
    const std::size_t n = q.size();
    const auto mid = [&](std::size_t i) { return (q[i % n] + q[(i + 1) % n]) / 2; };
    path.moveTo(mid(0));
    for (std::size_t i = 1; i <= n; ++i)
        path.quadTo(q[i % n], mid(i));
    path.closeSubpath();
    return path;
}

QPainterPath ellipseOutline(
    const Scene &scene, Vec2 centre, double a, double b, double turnDeg, double mirror)
{
    std::vector<Vec2> points;
    const double turn = turnDeg * kPi / 180;
    for (int k = 0; k < 48; ++k) {
        const double t = 2 * kPi * k / 48;
        const double x = a * std::cos(t), y = b * std::sin(t);
        points.push_back({centre.x + x * std::cos(turn) - y * std::sin(turn),
            centre.y + x * std::sin(turn) + y * std::cos(turn)});
    }
    return smoothOutline(scene, points, mirror);
}

// The outlines of the anatomy, pelvis mm, drawn for the picture's right side (u > 0) and
// mirrored for the left.
const std::vector<Vec2> kHemipelvis{
    {44, 206},
    {58, 222},
    {84, 233},
    {112, 231},
    {134, 219},
    {147, 199},
    {151, 176},
    {146, 160},
    {139, 151},
    {141, 136},
    {133, 118},
    {128, 103},
    {124, 92},
    {121, 78},
    {117, 56},
    {106, 34},
    {92, 14},
    {74, 1},
    {58, 2},
    {44, 12},
    {28, 24},
    {10, 30},
    {3, 34},
    {3, 64},
    {18, 73},
    {42, 73},
    {60, 80},
    {70, 90},
    {67, 110},
    {59, 140},
    {52, 170},
    {45, 192},
};
const std::vector<Vec2> kSacrum{
    {-50, 214},
    {-25, 219},
    {0, 220},
    {25, 219},
    {50, 214},
    {48, 190},
    {41, 160},
    {31, 130},
    {19, 106},
    {9, 90},
    {0, 84},
    {-9, 90},
    {-19, 106},
    {-31, 130},
    {-41, 160},
    {-48, 190},
};
const std::vector<Vec2> kVertebra{
    {-26, 226},
    {0, 224},
    {26, 226},
    {28, 262},
    {0, 264},
    {-28, 262},
};
const std::vector<Vec2> kTransverse{
    {20, 238},
    {40, 236},
    {50, 241},
    {48, 247},
    {28, 248},
    {18, 246},
};
// Greater trochanter and the metaphysis down to where the shaft takes over.
const std::vector<Vec2> kTrochanter{
    {126, 56},
    {139, 62},
    {149, 63},
    {157, 53},
    {159, 36},
    {152, 16},
    {146, -6},
    {116, -6},
    {109, 6},
    {104, 14},
    {106, 22},
    {113, 27},
    {118, 36},
};

// The femoral shaft's axis: from where the neck axis meets it, downwards and slightly medially.
constexpr Vec2 kShaftTop{133, 33};
constexpr Vec2 kShaftDirection{-0.122, -0.993};
constexpr double kShaftRadius = 15.0;
constexpr double kCanalRadius = 9.0;

// Pelvis frame (true mm) of the point that appears at the picture pixel, at the cup's depth.
Vec2 pelvisAt(const Scene &scene, double px, double py)
{
    const Vec2 film = scene.toFilm({px, py});
    const double m = scene.focus.z / (scene.focus.z - scene.cupCentre.z);
    const Vec2 h{
        scene.focus.x + (film.x - scene.focus.x) / m, scene.focus.y + (film.y - scene.focus.y) / m};
    const Vec2 d{h.x - scene.gridCentre.x, h.y - scene.gridCentre.y};
    return {d.x * scene.pelvisU.x + d.y * scene.pelvisU.y,
        d.x * scene.pelvisV.x + d.y * scene.pelvisV.y + Phantom::kGridSideMm / 2};
}

// Length (mm) of the part of the ray from the focus to the film point that runs inside the
// sphere, and, when a cut is given, on the side of the plane through the centre where
// (point - centre) . cutNormal <= 0.
double chordInSphere(const Vec3 &focus, const Vec3 &filmPoint, const Vec3 &centre, double radius,
    const Vec3 *cutNormal)
{
    const Vec3 d{filmPoint.x - focus.x, filmPoint.y - focus.y, filmPoint.z - focus.z};
    const double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const Vec3 u{d.x / len, d.y / len, d.z / len};
    const Vec3 oc{focus.x - centre.x, focus.y - centre.y, focus.z - centre.z};
    const double b = oc.x * u.x + oc.y * u.y + oc.z * u.z;
    const double c = oc.x * oc.x + oc.y * oc.y + oc.z * oc.z - radius * radius;
    const double disc = b * b - c;
    if (disc <= 0)
        return 0;
    double t0 = -b - std::sqrt(disc), t1 = -b + std::sqrt(disc);
    if (cutNormal) {
        // (focus + t u - centre) . n <= 0
        const double on = oc.x * cutNormal->x + oc.y * cutNormal->y + oc.z * cutNormal->z;
        const double un = u.x * cutNormal->x + u.y * cutNormal->y + u.z * cutNormal->z;
        if (std::abs(un) < 1e-12) {
            if (on > 0)
                return 0;
        } else {
            const double tc = -on / un;
            if (un > 0)
                t1 = std::min(t1, tc);
            else
                t0 = std::max(t0, tc);
        }
    }
    return std::max(0.0, t1 - t0);
}

// Adds coverage-weighted attenuation of a mask whose profile depends on the depth (mm) inside
// the outline.
void addProfile(Field &attenuation, const QImage &mask, double mmPerPx,
    const std::function<double(double depthMm, int x, int y)> &profile)
{
    const Field depth = insideDistance(mask);
    for (int y = 0; y < attenuation.height(); ++y) {
        const uchar *row = mask.constScanLine(y);
        for (int x = 0; x < attenuation.width(); ++x) {
            if (row[x] == 0)
                continue;
            const double coverage = row[x] / 255.0;
            const double d = std::max(0.5, double(depth.at(x, y))) * mmPerPx;
            attenuation.at(x, y) += float(coverage * profile(d, x, y));
        }
    }
}

// A plate of bone seen face on: a cortical ridge along the outline, trabecular bone inside.
double plateBone(double depthMm, double thickness, double texture, double variation)
{
    const double ridge = std::exp(-std::pow((depthMm - 1.3) / 1.4, 2));
    const double inner = 1 - std::exp(-depthMm / 6);
    return 0.2 * ridge * (1 + 0.1 * variation) + thickness * inner * (1 + 0.1 * texture);
}

// The film's or the detector's exposure before its response: the attenuation along each ray,
// blurred by the focal spot, and the two noise fields the response adds.
struct Exposure
{
    Field attenuation;
    Field coarse;
    Field grain;
};

// The head and the cup (with its mantle and wire) on their own, over the square around the hip
// whose top left pixel is (x0, y0): each casts its own penumbra, from its own height.
struct Implants
{
    int x0 = 0, y0 = 0;
    Field head{0, 0};
    Field cup{0, 0};
};

// A steel wire of round section: its chord, not a flat band, so that its brightest line is its
// axis. Attenuation per mm in the picture's units.
constexpr double kSteel = 4.0;
constexpr double kWireRadiusMm = 0.45;

void addRoundWire(const Scene &scene, Implants &implants)
{
    Field &cup = implants.cup;
    const int w = cup.width(), h = cup.height();
    const double magnification = scene.focus.z / (scene.focus.z - scene.cupCentre.z);
    const double pxPerMm = magnification * scene.pxPerMm;
    const double r = kWireRadiusMm * pxPerMm;
    // Nearest squared distance to the wire's axis of four samples in each pixel; the axis is
    // sampled densely enough (well under a tenth of a pixel) to stand for the curve itself.
    constexpr float kFar = 1e9f;
    std::vector<float> nearest(std::size_t(w) * h * 4, kFar);
    const auto points = Phantom::rimWire(scene, 16384);
    const int reach = int(std::ceil(r)) + 1;
    for (const Vec3 &point : points) {
        const Vec2 q = scene.toPicture(scene.project(point));
        const double qx = q.x - implants.x0, qy = q.y - implants.y0;
        for (int y = std::max(0, int(qy) - reach); y <= std::min(h - 1, int(qy) + reach); ++y)
            for (int x = std::max(0, int(qx) - reach); x <= std::min(w - 1, int(qx) + reach); ++x) {
                float *cell = &nearest[(std::size_t(y) * w + x) * 4];
                int k = 0;
                for (double oy : {0.25, 0.75})
                    for (double ox : {0.25, 0.75}) {
                        const double dx = x + ox - qx, dy = y + oy - qy;
                        cell[k] = std::min(cell[k], float(dx * dx + dy * dy));
                        ++k;
                    }
            }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float *cell = &nearest[(std::size_t(y) * w + x) * 4];
            double chord = 0;
            for (int k = 0; k < 4; ++k)
                if (cell[k] < r * r)
                    chord += 2 * std::sqrt(r * r - cell[k]) / pxPerMm;
            cup.at(x, y) += float(kSteel * chord / 4);
        }
}

Exposure expose(const Scene &scene, std::uint32_t seed, Implants *implants = nullptr,
    CupKind cupKind = CupKind::CementedPolyethylene)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    const double magnification = scene.focus.z / (scene.focus.z - scene.cupCentre.z);
    const double pxPerTrueMm = scene.pxPerMm * magnification;
    const double mmPerPx = 1.0 / pxPerTrueMm;
    Phantom::Random random(seed);

    Field attenuation(w, h); // soft tissue, then everything
    Field bone(w, h);
    const Field trabecular = noiseField(w, h, 1.6, random);
    const Field coarse = noiseField(w, h, 7.0, random);

    // Soft tissue: the lower trunk, an elliptic cross-section whose depth falls off towards the
    // flanks, parting into the two thighs below the pubis.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Vec2 q = pelvisAt(scene, x + 0.5, y + 0.5);
            const double halfWidth = 176 + 0.06 * q.y;
            const double s = q.x / halfWidth;
            double depth = s * s < 1 ? 230 * std::sqrt(1 - s * s) : 0;
            const double parting = 0.8 * std::clamp((28 - q.y) / 70, 0.0, 1.0);
            const double t = q.x / 34;
            depth *= 1 - parting * std::exp(-t * t);
            attenuation.at(x, y) = float(kSoftTissue * depth * (1 + 0.03 * coarse.at(x, y)));
        }

    // Gas in the bowel over the sacrum and the iliac fossae: irregular dark patches.
    {
        const Field gas = broadNoise(w, h, 8, 4.0, random);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Vec2 q = pelvisAt(scene, x + 0.5, y + 0.5);
                const double a = q.x / 125, b = (q.y - 175) / 70;
                const double region = std::exp(-(a * a * a * a + b * b * b * b));
                const double patch = std::clamp((gas.at(x, y) - 1.2) / 0.7, 0.0, 1.0);
                attenuation.at(x, y) -= float(0.16 * region * patch);
            }
    }

    // Bones drawn at the cup's depth.
    const double replaced = scene.sideSign;
    {
        QImage mask = newMask(w, h);
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPainterPath pelvis;
        pelvis.setFillRule(Qt::OddEvenFill);
        for (double side : {1.0, -1.0}) {
            pelvis.addPath(smoothOutline(scene, kHemipelvis, side));
            pelvis.addPath(ellipseOutline(scene, {47, 40}, 21, 15, -25, side)); // obturator foramen
        }
        p.drawPath(pelvis);
        p.end();
        addProfile(bone, mask, mmPerPx, [&](double d, int x, int y) {
            // Thick around the acetabula, the ischia, the pubic bodies and the sacroiliac joints,
            // thin in the iliac fossae.
            const Vec2 q = pelvisAt(scene, x, y);
            const double u = std::abs(q.x);
            const auto blob = [&](double cu, double cv, double ru, double rv) {
                const double a = (u - cu) / ru, b = (q.y - cv) / rv;
                return std::exp(-(a * a + b * b));
            };
            const double thick = 0.26 * blob(94, 55, 34, 42) + 0.14 * blob(30, 52, 28, 20)
                + 0.16 * blob(52, 172, 14, 40) + 0.08 * blob(120, 215, 40, 16);
            return plateBone(d, 0.09 + thick, trabecular.at(x, y), coarse.at(x, y));
        });

        // Thin cortical lines seen end on: the teardrops and the native acetabular roof.
        QImage lines = newMask(w, h);
        QPainter l(&lines);
        l.setRenderHint(QPainter::Antialiasing);
        l.setBrush(Qt::NoBrush);
        l.setPen(QPen(Qt::white, 1.6 * pxPerTrueMm, Qt::SolidLine, Qt::RoundCap));
        for (double side : {1.0, -1.0}) {
            const auto at = [&](double u, double v) {
                const Vec2 q = scene.pelvisPixel(side * u, v);
                return QPointF(q.x, q.y);
            };
            QPainterPath drop;
            drop.moveTo(at(61, 63));
            drop.quadTo(at(55, 46), at(61, 41));
            drop.quadTo(at(68, 40), at(67, 50));
            drop.lineTo(at(68, 63));
            l.drawPath(drop);
            if (side != replaced) {
                QPainterPath roof;
                for (int k = 0; k <= 24; ++k) {
                    const double a = (25 + 130.0 * k / 24) * kPi / 180;
                    const QPointF point = at(Phantom::kHipFromMidlineMm + 27 * std::cos(a),
                        Phantom::kHipAboveBaseMm + 27 * std::sin(a));
                    if (k == 0)
                        roof.moveTo(point);
                    else
                        roof.lineTo(point);
                }
                l.setPen(QPen(Qt::white, 2.4 * pxPerTrueMm, Qt::SolidLine, Qt::RoundCap));
                l.drawPath(roof);
                l.setPen(QPen(Qt::white, 1.6 * pxPerTrueMm, Qt::SolidLine, Qt::RoundCap));
            }
        }
        l.end();
        for (int y = 0; y < h; ++y) {
            const uchar *row = lines.constScanLine(y);
            for (int x = 0; x < w; ++x)
                bone.at(x, y) += float(row[x] / 255.0 * 0.22);
        }
    }
    {
        QImage mask = newMask(w, h);
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        QPainterPath sacrum = smoothOutline(scene, kSacrum, 1);
        sacrum.setFillRule(Qt::OddEvenFill);
        for (int k = 0; k < 4; ++k)
            for (double side : {1.0, -1.0})
                sacrum.addPath(ellipseOutline(scene, {24 - 2.0 * k, 188 - 22.0 * k}, 5.5 - k,
                    4.5 - k, 0, side)); // sacral foramina
        p.drawPath(sacrum);
        p.drawPath(smoothOutline(scene, kVertebra, 1));
        p.drawPath(smoothOutline(scene, kTransverse, 1));
        p.drawPath(smoothOutline(scene, kTransverse, -1));
        p.end();
        addProfile(bone, mask, mmPerPx, [&](double d, int x, int y) {
            return plateBone(d, 0.3, trabecular.at(x, y), coarse.at(x, y));
        });
    }

    // The femora: trochanteric region, neck and (on the native side) head as plates; the shaft
    // as a tube with a cortex and a medullary canal.
    {
        QImage mask = newMask(w, h);
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (double side : {1.0, -1.0}) {
            QPainterPath femur = smoothOutline(scene, kTrochanter, side);
            femur.setFillRule(Qt::WindingFill);
            const bool native = side != replaced;
            const double neck = Phantom::kNeckBelowHorizontalDeg * kPi / 180;
            const Vec2 hip{Phantom::kHipFromMidlineMm, Phantom::kHipAboveBaseMm};
            const Vec2 along{std::cos(neck), -std::sin(neck)},
                across{std::sin(neck), std::cos(neck)};
            const double from = native ? 0 : 34; // the neck was cut where the stem's collar sits
            std::vector<Vec2> neckOutline;
            for (double s : {from, 52.0})
                for (double t : {-15.0, 15.0})
                    neckOutline.push_back(
                        {hip.x + s * along.x + t * across.x, hip.y + s * along.y + t * across.y});
            std::swap(neckOutline[2], neckOutline[3]);
            femur = femur.united(smoothOutline(scene, neckOutline, side));
            if (native)
                femur = femur.united(ellipseOutline(scene, hip, 24, 24, 0, side));
            p.drawPath(femur);
        }
        p.end();
        addProfile(bone, mask, mmPerPx, [&](double d, int x, int y) {
            return plateBone(d, 0.34, trabecular.at(x, y), coarse.at(x, y));
        });
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Vec2 q = pelvisAt(scene, x + 0.5, y + 0.5);
            const double side = q.x >= 0 ? 1 : -1;
            const double rx = side * q.x - kShaftTop.x, ry = q.y - kShaftTop.y;
            const double along = rx * kShaftDirection.x + ry * kShaftDirection.y;
            if (along < -4)
                continue;
            const double off = std::abs(rx * kShaftDirection.y - ry * kShaftDirection.x);
            // The cortex thickens from the metaphysis down.
            const double canal = kCanalRadius + 4 * std::exp(-(along + 4) / 25);
            const double chord = [&] {
                const double outer =
                    off < kShaftRadius ? 2 * std::sqrt(kShaftRadius * kShaftRadius - off * off) : 0;
                const double inner = off < canal ? 2 * std::sqrt(canal * canal - off * off) : 0;
                return outer - inner;
            }();
            const double fadeIn = std::clamp((along + 4) / 16, 0.0, 1.0);
            bone.at(x, y) += float(fadeIn * (0.034 * chord + 0.004 * (2 * canal) * (off < canal))
                * (1 + 0.1 * trabecular.at(x, y)));
        }

    // The stem in its cement mantle, and the prosthesis neck up to the head.
    {
        const double neck = Phantom::kNeckBelowHorizontalDeg * kPi / 180;
        const Vec2 hip{Phantom::kHipFromMidlineMm, Phantom::kHipAboveBaseMm};
        const Vec2 along{std::cos(neck), -std::sin(neck)};
        const auto shaftPoint = [](double s, double t) {
            return Vec2{kShaftTop.x + s * kShaftDirection.x - t * kShaftDirection.y,
                kShaftTop.y + s * kShaftDirection.y + t * kShaftDirection.x};
        };
        const Vec2 superior{std::sin(neck), std::cos(neck)};
        const auto neckPoint = [&](double k, double t) {
            return Vec2{hip.x + k * along.x + t * superior.x, hip.y + k * along.y + t * superior.y};
        };
        // Shoulder, lateral side, tip, medial side, calcar, then the neck and its taper.
        const std::vector<Vec2> stem{
            shaftPoint(-14, 8),
            shaftPoint(10, 9.5),
            shaftPoint(45, 8.5),
            shaftPoint(90, 7),
            shaftPoint(125, 5.5),
            shaftPoint(140, 0),
            shaftPoint(125, -4.5),
            shaftPoint(90, -6),
            shaftPoint(45, -7.5),
            shaftPoint(15, -10),
            shaftPoint(0, -13),
            neckPoint(26, -7),
            neckPoint(8, -5.5),
            neckPoint(8, 5.5),
            neckPoint(24, 7),
        };
        const std::vector<Vec2> mantle{
            shaftPoint(-6, 12),
            shaftPoint(10, 12.5),
            shaftPoint(45, 11.5),
            shaftPoint(90, 10),
            shaftPoint(125, 8.5),
            shaftPoint(146, 0),
            shaftPoint(125, -7.5),
            shaftPoint(90, -9),
            shaftPoint(45, -10.5),
            shaftPoint(15, -13),
            shaftPoint(-2, -16),
            neckPoint(34, -8),
            neckPoint(34, 6),
        };
        QImage cement = newMask(w, h), metal = newMask(w, h);
        {
            QPainter p(&cement);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawPath(smoothOutline(scene, mantle, replaced));
        }
        {
            QPainter p(&metal);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawPath(smoothOutline(scene, stem, replaced));
        }
        addProfile(attenuation, cement, mmPerPx, [&](double d, int x, int y) {
            return 0.35 * (1 - std::exp(-d / 1.5)) * (1 + 0.15 * trabecular.at(x, y));
        });
        addProfile(attenuation, metal, mmPerPx,
            [&](double d, int, int) { return kMetal * 2 * std::sqrt(std::min(d, 6.0) * 6.0); });
    }

    // Head, cup, cement mantle of the cup and rim wire, cast through the focus.
    {
        const Phantom::Parameters &p = scene.p;
        const Vec2 c = scene.toPicture(scene.project(scene.cupCentre));
        const int reach = int((p.cupRadiusMm + 6) * magnification * scene.pxPerMm * 1.2);
        const Vec3 &axis = scene.cupAxis;
        const int x0 = std::max(0, int(c.x) - reach), y0 = std::max(0, int(c.y) - reach);
        const int x1 = std::min(w, int(c.x) + reach), y1 = std::min(h, int(c.y) + reach);
        if (implants) {
            implants->x0 = x0;
            implants->y0 = y0;
            implants->head = Field(std::max(0, x1 - x0), std::max(0, y1 - y0));
            implants->cup = Field(std::max(0, x1 - x0), std::max(0, y1 - y0));
        }
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                double sum = 0, reamed = 0, metal = 0;
                // Four samples per pixel keep the metal edges as smooth as a scanned film's.
                for (double oy : {0.25, 0.75})
                    for (double ox : {0.25, 0.75}) {
                        const Vec2 film = scene.toFilm({x + ox, y + oy});
                        const Vec3 onFilm{film.x, film.y, 0};
                        const double head = chordInSphere(
                            scene.focus, onFilm, scene.headCentre, p.headRadiusMm, nullptr);
                        const double shell = chordInSphere(scene.focus, onFilm, scene.cupCentre,
                                                 p.cupRadiusMm, &axis)
                            - chordInSphere(
                                scene.focus, onFilm, scene.cupCentre, p.headRadiusMm + 0.2, &axis);
                        const double cup = chordInSphere(
                            scene.focus, onFilm, scene.cupCentre, p.cupRadiusMm, &axis);
                        const double mantle = chordInSphere(scene.focus, onFilm, scene.cupCentre,
                                                  p.cupRadiusMm + kMantleMm, &axis)
                            - cup;
                        if (cupKind == CupKind::MetalBacked) {
                            // No mantle: the titanium shell sits on the reamed bone, the
                            // polyethylene liner inside it.
                            const double inner = chordInSphere(scene.focus, onFilm, scene.cupCentre,
                                p.cupRadiusMm - kShellWallMm, &axis);
                            sum += kMetal * head + (kTitanium - kSoftTissue) * (cup - inner)
                                + (kPolyethylene - kSoftTissue) * (shell - (cup - inner));
                        } else {
                            sum += kMetal * head + (kPolyethylene - kSoftTissue) * shell
                                + kCement * mantle;
                        }
                        metal += head;
                        reamed += cup;
                    }
                if (implants) {
                    implants->head.at(x - x0, y - y0) = float(metal / 4);
                    implants->cup.at(x - x0, y - y0) = float((sum - kMetal * metal) / 4);
                } else {
                    attenuation.at(x, y) += float(sum / 4);
                }
                // The acetabulum was reamed to take the cup: its bone is gone there.
                bone.at(x, y) *= float(1 - 0.75 * std::min(1.0, reamed / 4 / 18));
            }

        // The wire, about 1 mm thick, drawn as its projection.
        QImage wire = newMask(w, h);
        {
            QPainter painter(&wire);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(
                QPen(Qt::white, 0.9 * magnification * scene.pxPerMm, Qt::SolidLine, Qt::RoundCap));
            QPainterPath path;
            const auto points = Phantom::rimWire(scene, 720);
            for (std::size_t k = 0; k <= points.size(); ++k) {
                const Vec2 q = scene.toPicture(scene.project(points[k % points.size()]));
                if (k == 0)
                    path.moveTo(q.x, q.y);
                else
                    path.lineTo(q.x, q.y);
            }
            painter.drawPath(path);
        }
        for (int y = 0; !implants && y < h; ++y) {
            const uchar *row = wire.constScanLine(y);
            for (int x = 0; x < w; ++x)
                attenuation.at(x, y) += float(row[x] / 255.0 * kMetal * 1.5);
        }
        if (implants)
            addRoundWire(scene, *implants);
    }

    // The lead side marker in the lower corner of the replaced side.
    {
        QImage marker = newMask(w, h);
        QPainter painter(&marker);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font("DejaVu Sans", 10, QFont::Bold);
        font.setPixelSize(int(14 * scene.pxPerMm));
        painter.setFont(font);
        painter.setPen(Qt::white);
        const QString letter = scene.p.side == Phantom::Side::Left ? "L" : "R";
        const double x = replaced > 0 ? w - 30 * scene.pxPerMm : 14 * scene.pxPerMm;
        painter.drawText(QPointF(x, h - 14 * scene.pxPerMm), letter);
        painter.end();
        for (int y = 0; y < h; ++y) {
            const uchar *row = marker.constScanLine(y);
            for (int xx = 0; xx < w; ++xx)
                attenuation.at(xx, y) += float(row[xx] / 255.0 * 3.0);
        }
    }

    for (std::size_t i = 0; i < attenuation.data().size(); ++i)
        attenuation.data()[i] += bone.data()[i];
    // Unsharpness of the focal spot and of the scanner; the realistic exposure blurs what is
    // transmitted instead, each part by its own penumbra.
    if (!implants)
        blur(attenuation, 1.3);

    Field grain = noiseField(w, h, 0.7, random);
    return {std::move(attenuation), std::move(coarse), std::move(grain)};
}

// The heel effect: the anode side of the beam a little weaker.
double heel(int y, int h)
{
    return 1.0 + 0.05 * (double(y) / h - 0.5);
}

// Field of the same size, each value the mean of its neighbourhood of about sigma pixels:
// averaged over blocks of step pixels, blurred there and spread back bilinearly, since scatter
// varies only over centimetres.
Field broadBlur(const Field &field, int step, double sigma)
{
    const int w = field.width(), h = field.height();
    const int cw = (w + step - 1) / step, ch = (h + step - 1) / step;
    Field coarseGrid(cw + 1, ch + 1);
    std::vector<int> count(std::size_t(cw + 1) * (ch + 1), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            coarseGrid.at(x / step, y / step) += field.at(x, y);
            ++count[std::size_t(y / step) * (cw + 1) + x / step];
        }
    for (int y = 0; y <= ch; ++y)
        for (int x = 0; x <= cw; ++x) {
            // The extra row and column repeat the last ones, for the interpolation.
            const int sx = std::min(x, cw - 1), sy = std::min(y, ch - 1);
            const int n = count[std::size_t(sy) * (cw + 1) + sx];
            coarseGrid.at(x, y) = n > 0 ? coarseGrid.at(sx, sy) / float(n) : 0.0f;
        }
    blur(coarseGrid, sigma / step);
    Field out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double gx = std::max(0.0, (x + 0.5) / step - 0.5);
            const double gy = std::max(0.0, (y + 0.5) / step - 0.5);
            const int x0 = std::min(int(gx), cw - 1), y0 = std::min(int(gy), ch - 1);
            const double fx = gx - x0, fy = gy - y0;
            out.at(x, y) = float(
                (1 - fy) * ((1 - fx) * coarseGrid.at(x0, y0) + fx * coarseGrid.at(x0 + 1, y0))
                + fy * ((1 - fx) * coarseGrid.at(x0, y0 + 1) + fx * coarseGrid.at(x0 + 1, y0 + 1)));
        }
    return out;
}

// The plain film's curve is an S of slope kFilmSlope in the attenuation; read as transmitted
// light exp(-kFilmSlope a), it is grey = kFilmBase + kFilmRange / (1 + E / Em), whose bright end
// falls linearly with the exposure E, as a film's toe does. The realistic film keeps that curve
// and blurs and scatters the light itself; Em is the exposure of the film's middle grey, set by
// the attenuation kRealFilmMiddle, so that the metal lies on the toe (its edges symmetric)
// rather than in a white block.
constexpr double kRealFilmMiddle = 0.80;
constexpr double kScatterRangeMm = 30; // how far scattered light spreads on the film

// Standard deviation on the film (px) of a Gaussian focal spot whose full width at half maximum
// is the nominal size, for an object at the height z above the film.
double penumbraPx(const Scene &scene, const Imaging &imaging, double z)
{
    const double fwhmToSigma = 1 / (2 * std::sqrt(2 * std::log(2.0)));
    return imaging.focalSpotMm * fwhmToSigma * z / (scene.focus.z - z) * scene.pxPerMm;
}

// An ideal point focus or detector does not blur at all (and a Gaussian of no width has no
// kernel).
void blurUnlessSharp(Field &field, double sigma)
{
    if (sigma >= 0.05)
        blur(field, sigma);
}

// What reaches the film: every part's transmission blurred by its own penumbra, scatter added,
// quantum noise of the photons that arrive, then the screen's or detector's blur of all of it.
// Also the film's grain and mottle, as the plain picture has them.
Exposure exposeRealistic(const Scene &scene, std::uint32_t seed, const Imaging &imaging)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    Implants implants;
    Exposure e = expose(scene, seed, &implants, imaging.cup);
    const Unsharpness u = unsharpness(scene, imaging);

    Field &transmitted = e.attenuation;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float &v = transmitted.at(x, y);
            v = float(std::exp(-kFilmSlope * v * heel(y, h)));
        }
    blurUnlessSharp(transmitted, u.bodyPx);
    for (Field *part : {&implants.head, &implants.cup})
        for (float &v : part->data())
            v = float(std::exp(-kFilmSlope * v));
    if (implants.head.width() > 0 && implants.head.height() > 0) {
        blurUnlessSharp(implants.head, u.headPx);
        blurUnlessSharp(implants.cup, u.cupPx);
    }
    for (int y = 0; y < implants.head.height(); ++y)
        for (int x = 0; x < implants.head.width(); ++x)
            transmitted.at(implants.x0 + x, implants.y0 + y) *=
                implants.head.at(x, y) * implants.cup.at(x, y);

    const Field scatter = broadBlur(transmitted, 16, kScatterRangeMm * scene.pxPerMm);
    Phantom::Random random(seed ^ 0x5eed5eedu);
    // Photons are counted per pixel before the screen spreads them, so that the noise is blurred
    // with everything else; fewer arrive behind bone and metal, whose relative noise is larger.
    const double quanta = std::max(1.0, imaging.quantaPerPixel);
    const double middle = std::exp(-kFilmSlope * kRealFilmMiddle);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double exposure =
                transmitted.at(x, y) + imaging.scatterToPrimary * scatter.at(x, y);
            const double noise = imaging.quantaPerPixel > 0
                ? std::sqrt(std::max(exposure, 0.0) * middle / quanta) * random.gaussian()
                : 0.0;
            transmitted.at(x, y) = float(exposure + noise);
        }
    blurUnlessSharp(transmitted, u.detectorPx);
    return e;
}

} // namespace

Unsharpness unsharpness(const Phantom::Scene &scene, const Imaging &imaging)
{
    return {penumbraPx(scene, imaging, scene.cupCentre.z),
        penumbraPx(scene, imaging, scene.headCentre.z),
        penumbraPx(scene, imaging, scene.cupCentre.z), imaging.detectorBlurMm * scene.pxPerMm};
}

QImage renderRealistic(const Phantom::Scene &scene, std::uint32_t seed, const Imaging &imaging)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    const Exposure e = exposeRealistic(scene, seed, imaging);
    const double middle = std::exp(-kFilmSlope * kRealFilmMiddle);
    QImage picture(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double exposure = std::max(0.0f, e.attenuation.at(x, y));
            const double grey = kFilmBase + kFilmRange / (1 + exposure / middle);
            const double noisy =
                grey + imaging.grainGrey * e.grain.at(x, y) + 1.5 * e.coarse.at(x, y);
            row[x] = uchar(std::clamp(std::lround(noisy), 0L, 255L));
        }
    }
    return picture;
}

QImage render(const Scene &scene, std::uint32_t seed)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    const Exposure e = expose(scene, seed);
    QImage picture(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double a = e.attenuation.at(x, y) * heel(y, h);
            // The film's characteristic curve: an S from the clear base to full blackening,
            // printed as a positive.
            const double grey =
                kFilmBase + kFilmRange / (1 + std::exp(-kFilmSlope * (a - kFilmMiddle)));
            const double noisy = grey + 3.0 * e.grain.at(x, y) + 1.5 * e.coarse.at(x, y);
            row[x] = uchar(std::clamp(std::lround(noisy), 0L, 255L));
        }
    }
    return picture;
}

std::vector<std::uint16_t> renderDetector(const Scene &scene, std::uint32_t seed)
{
    const int w = scene.p.widthPx, h = scene.p.heightPx;
    const Exposure e = expose(scene, seed);
    const int largest = (1 << kDetectorBits) - 1;
    std::vector<std::uint16_t> values(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double a = e.attenuation.at(x, y) * heel(y, h);
            // The film's grain, as large against the film's slope at its middle.
            const double noise = (3.0 * e.grain.at(x, y) + 1.5 * e.coarse.at(x, y))
                * kDetectorPerAttenuation / (kFilmRange * kFilmSlope / 4);
            values[std::size_t(y) * std::size_t(w) + std::size_t(x)] = std::uint16_t(
                std::clamp(std::lround(kDetectorPerAttenuation * a + noise), 0L, long(largest)));
        }
    return values;
}

DetectorWindow filmWindow()
{
    // The VOI sigmoid, 255 / (1 + exp(-4 (x - c) / w)), is the film's curve (without its base)
    // when c = kDetectorPerAttenuation x kFilmMiddle and 4 / w = kFilmSlope /
    // kDetectorPerAttenuation.
    return {kDetectorPerAttenuation * kFilmMiddle, 4 * kDetectorPerAttenuation / kFilmSlope};
}

} // namespace PhantomPicture
