// Renders the program's three pictures into a resources folder: the product logo, the help
// picture of the grid's reference lines and the magnifier cursor of zoom-by-mouse mode.
//
// The help picture's grid is built by the measurement's own construction from the Base-Lines
// in HelpPictureLayout.h, so that it shows what the program draws. Build and run from the
// checkout's top folder:
//   cmake --build <build folder> --target make_pictures
//   <build folder>/make_pictures resources
// The text is set in DejaVu Sans, so the output is the same on every machine that has it.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <utility>

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLineF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>
#include <QStringList>

#include "core/model/COxel.h"
#include "tools/HelpPictureLayout.h"

namespace {

const QColor kNavy(0x1d, 0x35, 0x57);
const QColor kTeal(0x2a, 0x8c, 0x8c);
const QColor kSteel(0xa9, 0xb8, 0xc8);
const QColor kInk = QColor::fromRgb(HelpPicture::GridRgb);
const QColor kFLineRed = QColor::fromRgb(HelpPicture::FLineRgb);
const QColor kPelvis(0xb4, 0xbf, 0xcc);
const QColor kBoneFill(0xee, 0xf1, 0xf5);
const QColor kImplant(0x8e, 0x9a, 0xa8);
const QColor kPaper(0xfb, 0xfb, 0xf8);

QFont sansFont(double pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setBold(bold);
    return font;
}

bool save(const QImage &image, const QDir &dir, const char *name)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s (%d x %d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Logo: a femoral head seated in a cup, the neck and stem below it, and the name.

QImage makeLogo()
{
    QImage image(691, 498, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QPointF centre(340, 152);
    const double headR = 70, cupInner = 81, cupOuter = 110;
    // The cup opens downwards and outwards, as an implanted cup is inclined, and the neck
    // leaves it along that opening.
    const double openingDeg = 58;
    const double openingRad = openingDeg * std::numbers::pi / 180.0;
    const QPointF axis(std::cos(openingRad), std::sin(openingRad));
    const QPointF across(-axis.y(), axis.x());

    // Stem first, so that the head covers its neck.
    const double neckHalf = 22;
    const QPointF neckLow = centre + axis * 112.0 + across * neckHalf;
    const QPointF shoulder = centre + axis * 96.0 - across * neckHalf;
    const QPointF corner = shoulder + QPointF(38, 6);
    const QPointF lateralTop = corner + QPointF(3, 24);
    const QPointF tipLateral(corner.x() - 8, 344), tipMedial(corner.x() - 28, 344);
    QPainterPath stem;
    stem.moveTo(centre - across * neckHalf);
    stem.lineTo(shoulder);
    stem.quadTo(corner, lateralTop);
    stem.cubicTo(lateralTop + QPointF(4, 40), tipLateral + QPointF(6, -50), tipLateral);
    stem.quadTo(QPointF((tipLateral.x() + tipMedial.x()) / 2.0, 362), tipMedial);
    stem.cubicTo(tipMedial + QPointF(-4, -50), neckLow + QPointF(12, 30), neckLow);
    stem.lineTo(centre + across * neckHalf);
    stem.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kSteel);
    p.drawPath(stem);

    // Cup: a half ring, its rim across the opening direction.
    const QRectF outerBox(centre.x() - cupOuter, centre.y() - cupOuter, 2 * cupOuter, 2 * cupOuter);
    const QRectF innerBox(centre.x() - cupInner, centre.y() - cupInner, 2 * cupInner, 2 * cupInner);
    const double startDeg = -(openingDeg + 90.0); // Qt counts angles anticlockwise on screen
    QPainterPath cup;
    cup.arcMoveTo(outerBox, startDeg);
    cup.arcTo(outerBox, startDeg, -180.0);
    cup.arcTo(innerBox, startDeg - 180.0, 180.0);
    cup.closeSubpath();
    p.setBrush(kTeal);
    p.drawPath(cup);

    p.setBrush(kNavy);
    p.drawEllipse(centre, headR, headR);
    // A soft highlight gives the head its spherical look without another colour.
    QRadialGradient shine(centre + QPointF(-24, -26), headR * 0.9);
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(centre, headR, headR);

    // The name, widely spaced, under a thin rule.
    const double spacing = 18;
    QFont font = sansFont(104, true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    const QString name = QStringLiteral("OXEL");
    const double textWidth = QFontMetricsF(font).horizontalAdvance(name) - spacing;
    p.setFont(font);
    p.setPen(kNavy);
    p.drawText(QPointF((image.width() - textWidth) / 2.0, 474), name);
    p.setPen(QPen(kTeal, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(150, 384), QPointF(image.width() - 150, 384));
    return image;
}

// ---------------------------------------------------------------------------------------------
// Help picture: the grid on a pelvis for a left and for a right hip.

// The pelvis's own frame: u across the pelvis from its side on the picture's left, v up from
// the Base-Line's landmark, both in units of the pelvis's width on that landmark, which is the
// Base-Line's length: a grid standing on the Base-Line fits the pelvis.
struct PelvisFrame
{
    QPointF origin; // the Base-Line's end on the picture's left
    QPointF across; // one unit of u
    QPointF up; // one unit of v: across turned towards the top of the picture

    QPointF at(double u, double v) const { return origin + across * u + up * v; }

    double side() const { return std::hypot(across.x(), across.y()); }
};

QPointF pointOf(const CPoint &point)
{
    return {point.x, point.y};
}

QLineF segmentOf(const CLine &line)
{
    return {pointOf(line.P0), pointOf(line.P1)};
}

QPointF unit(QPointF v)
{
    return v / std::hypot(v.x(), v.y());
}

// The pelvis stands on the Base-Line whichever way the operator dragged it.
PelvisFrame pelvisOn(const CLine &base)
{
    QPointF a = pointOf(base.P0), b = pointOf(base.P1);
    if (b.x() < a.x())
        std::swap(a, b);
    const QPointF across = b - a;
    return {a, across, QPointF(across.y(), -across.x())};
}

// The femurs fade out below the pelvis rather than end in the middle of the picture.
QBrush fadingDown(const PelvisFrame &g, const QColor &colour)
{
    QLinearGradient fade(g.at(0, -0.2), g.at(0, -0.65));
    fade.setColorAt(0.0, colour);
    QColor gone = colour;
    gone.setAlpha(0);
    fade.setColorAt(1.0, gone);
    return fade;
}

constexpr double kHipU = 0.36, kHipV = 0.25; // hip centre: distance from the midline, height
constexpr double kFemoralHeadR = 0.075;

// One half of the pelvis with its femur, for the hip on the picture's right (mirror = +1) or
// left (mirror = -1) of the midline. Coordinates: distance from the midline, height above the
// Base-Line. The replaced hip gets no femoral head of its own.
void drawHalfPelvis(QPainter &p, const PelvisFrame &g, double mirror, bool replaced)
{
    auto at = [&](double du, double v) { return g.at(0.5 + mirror * du, v); };
    p.setPen(QPen(kPelvis, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    // Iliac wing, lightly filled: crest, anterior border down to the socket, sacroiliac joint.
    QPainterPath wing;
    wing.moveTo(at(0.13, 0.80));
    wing.cubicTo(at(0.20, 0.93), at(0.44, 0.97), at(0.54, 0.80));
    wing.cubicTo(at(0.56, 0.74), at(0.51, 0.68), at(0.50, 0.62));
    wing.cubicTo(at(0.49, 0.56), at(0.48, 0.53), at(0.47, 0.49));
    wing.cubicTo(at(0.45, 0.44), at(0.47, 0.36), at(0.455, 0.31));
    wing.cubicTo(at(0.40, 0.40), at(0.30, 0.42), at(0.24, 0.46));
    wing.cubicTo(at(0.20, 0.56), at(0.17, 0.62), at(0.15, 0.66));
    wing.closeSubpath();
    p.setBrush(kBoneFill);
    p.drawPath(wing);
    p.setBrush(Qt::NoBrush);

    // Acetabular roof and medial wall, around the hip centre.
    QPainterPath socket;
    for (int i = 0; i <= 40; ++i) {
        const double a = (15.0 + 190.0 * i / 40.0) * std::numbers::pi / 180.0;
        const QPointF q = at(kHipU + 0.095 * std::cos(a), kHipV + 0.095 * std::sin(a));
        if (i == 0)
            socket.moveTo(q);
        else
            socket.lineTo(q);
    }
    p.drawPath(socket);

    // Ischium, inferior ramus, symphysis and superior ramus as one loop below the socket.
    QPainterPath ischium;
    ischium.moveTo(at(0.31, 0.175));
    ischium.cubicTo(at(0.33, 0.12), at(0.35, 0.05), at(0.33, 0.01));
    ischium.cubicTo(at(0.31, -0.02), at(0.25, -0.01), at(0.21, 0.02));
    ischium.cubicTo(at(0.15, 0.05), at(0.08, 0.07), at(0.025, 0.08));
    ischium.lineTo(at(0.025, 0.22));
    ischium.cubicTo(at(0.10, 0.23), at(0.18, 0.24), at(0.265, 0.26));
    p.drawPath(ischium);

    QPainterPath foramen;
    foramen.moveTo(at(0.08, 0.14));
    foramen.cubicTo(at(0.09, 0.19), at(0.21, 0.20), at(0.25, 0.15));
    foramen.cubicTo(at(0.28, 0.11), at(0.26, 0.05), at(0.20, 0.05));
    foramen.cubicTo(at(0.14, 0.05), at(0.07, 0.09), at(0.08, 0.14));
    p.drawPath(foramen);

    // Pelvic brim, from the pubis up to the sacrum.
    QPainterPath brim;
    brim.moveTo(at(0.03, 0.22));
    brim.cubicTo(at(0.16, 0.24), at(0.25, 0.34), at(0.24, 0.46));
    brim.cubicTo(at(0.23, 0.58), at(0.16, 0.66), at(0.06, 0.68));
    p.drawPath(brim);

    // Femur: neck, greater and lesser trochanter, shaft fading out downwards.
    QPainterPath femur;
    femur.moveTo(at(0.41, 0.295));
    femur.cubicTo(at(0.44, 0.27), at(0.46, 0.25), at(0.485, 0.26));
    femur.cubicTo(at(0.52, 0.25), at(0.53, 0.18), at(0.51, 0.10));
    femur.cubicTo(at(0.50, 0.05), at(0.49, 0.0), at(0.49, -0.8));
    femur.moveTo(at(0.33, 0.185));
    femur.cubicTo(at(0.36, 0.15), at(0.39, 0.11), at(0.40, 0.06));
    femur.cubicTo(at(0.38, 0.04), at(0.38, 0.00), at(0.405, -0.01));
    femur.lineTo(at(0.41, -0.8));
    p.setPen(QPen(fadingDown(g, kPelvis), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(femur);
    p.setPen(QPen(kPelvis, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (!replaced)
        p.drawEllipse(at(kHipU, kHipV), kFemoralHeadR * g.side(), kFemoralHeadR * g.side());
}

// The replaced hip: stem in the femur, prosthesis head, and the cup in the socket.
void drawImplant(QPainter &p, const PelvisFrame &g, double mirror)
{
    auto at = [&](double du, double v) { return g.at(0.5 + mirror * du, v); };
    const double r = g.side();
    const QPointF head = at(kHipU, kHipV);
    p.setPen(QPen(fadingDown(g, kImplant), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fadingDown(g, QColor(0xe2, 0xe6, 0xeb)));
    QPainterPath stem;
    stem.moveTo(at(0.375, 0.245));
    stem.lineTo(at(0.44, 0.185));
    stem.lineTo(at(0.475, 0.17));
    stem.cubicTo(at(0.478, 0.05), at(0.47, -0.15), at(0.462, -0.42));
    stem.quadTo(at(0.45, -0.5), at(0.438, -0.42));
    stem.cubicTo(at(0.432, -0.15), at(0.432, 0.02), at(0.415, 0.10));
    stem.lineTo(at(0.35, 0.215));
    stem.closeSubpath();
    p.drawPath(stem);
    p.setPen(QPen(kImplant, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    // Cup inclined about 45 degrees: a half ring opening down and outwards.
    const double inner = 0.064 * r, outer = 0.088 * r;
    const QRectF outerBox(head.x() - outer, head.y() - outer, 2 * outer, 2 * outer);
    const QRectF innerBox(head.x() - inner, head.y() - inner, 2 * inner, 2 * inner);
    const double openingDeg = mirror > 0 ? -45.0 : -135.0;
    QPainterPath cup;
    cup.arcMoveTo(outerBox, openingDeg + 90.0);
    cup.arcTo(outerBox, openingDeg + 90.0, 180.0);
    cup.arcTo(innerBox, openingDeg + 270.0, -180.0);
    cup.closeSubpath();
    p.setBrush(QColor(0xcc, 0xd3, 0xdb));
    p.drawPath(cup);
    p.setBrush(QColor(0xbb, 0xc4, 0xce));
    p.drawEllipse(head, 0.056 * r, 0.056 * r);
}

// A pelvis as seen on an anteroposterior radiograph; mirror = +1 replaces the hip on the
// picture's right (the patient's left), -1 the one on the picture's left.
void drawPelvis(QPainter &p, const PelvisFrame &g, double replacedSide)
{
    drawHalfPelvis(p, g, +1.0, replacedSide > 0);
    drawHalfPelvis(p, g, -1.0, replacedSide < 0);

    QPainterPath sacrum;
    sacrum.moveTo(g.at(0.36, 0.84));
    sacrum.cubicTo(g.at(0.44, 0.88), g.at(0.56, 0.88), g.at(0.64, 0.84));
    sacrum.cubicTo(g.at(0.60, 0.66), g.at(0.56, 0.52), g.at(0.51, 0.40));
    sacrum.lineTo(g.at(0.49, 0.40));
    sacrum.cubicTo(g.at(0.44, 0.52), g.at(0.40, 0.66), g.at(0.36, 0.84));
    p.setPen(QPen(kPelvis, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBoneFill);
    p.drawPath(sacrum);
    drawImplant(p, g, replacedSide);
}

enum class Align {
    Left,
    Centre,
    Right
};

// Text with a light halo, so that it stays readable over the pelvis outline.
void drawLabel(QPainter &p, const QString &text, QPointF anchor, Align align, const QFont &font,
    const QColor &colour)
{
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text);
    double x = anchor.x();
    if (align == Align::Centre)
        x -= width / 2.0;
    else if (align == Align::Right)
        x -= width;
    // The anchor's y is the text's vertical middle.
    const double y = anchor.y() + (metrics.ascent() - metrics.descent()) / 2.0;
    QPainterPath path;
    path.addText(QPointF(x, y), font, text);
    p.setPen(QPen(kPaper, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void drawArrowHead(QPainter &p, QPointF tip, QPointF direction, double size, const QColor &c)
{
    const double len = std::hypot(direction.x(), direction.y());
    const QPointF d = direction / len;
    const QPointF n(-d.y(), d.x());
    QPolygonF head;
    head << tip << tip - d * size + n * (size * 0.45) << tip - d * size - n * (size * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
}

// Where the V-M-Line's name stands along the Base-Line, from its first end point: a little
// towards the Left-Line, since centred on the V-M-Line it would touch the F-Line.
constexpr double kVMNameAt = 0.42;

// Text beside a point, running away from it in the direction `away` (only its sign across the
// picture counts).
Align alignAway(QPointF away)
{
    return away.x() < 0 ? Align::Right : Align::Left;
}

// A line moved parallel by `shift`, dashed where it lands, with an arrow from where the program
// drew it at the fraction t of its length from its first end point, and its name beside its
// first end point.
void drawMove(QPainter &p, const CLine &line, QPointF shift, double t, const QString &name,
    QPointF nameOffset)
{
    const QLineF drawn = segmentOf(line);
    const QLineF moved = drawn.translated(shift);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kTeal, 2.0, Qt::DashLine, Qt::FlatCap));
    p.drawLine(moved);

    const QPointF direction = unit(shift);
    const QPointF from = drawn.pointAt(t) + direction * 4.0;
    const QPointF to = moved.pointAt(t) - direction * 2.0;
    p.setPen(QPen(kTeal, 1.5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(from, to - direction * 6.0);
    drawArrowHead(p, to, direction, 9, kTeal);

    const QPointF outwards = unit(moved.p1() - moved.p2());
    drawLabel(p, name, moved.p1() + outwards * 10.0 + nameOffset, alignAway(outwards),
        sansFont(12, false), kTeal);
}

// One setting: the grid exactly as the program builds it from the panel's Base-Line, on a
// pelvis whose lower landmark the Base-Line was dragged along. Where the grid hangs off the
// pelvis, the Top-Line and the H-M-Line are also shown moved onto their landmarks.
void drawSetting(QPainter &p, const HelpPicture::Panel &panel)
{
    COxel grid;
    grid.init(panel.X0, panel.Y0, panel.x1, panel.y1);
    const QPointF P = pointOf(grid.H_B.P0), Q = pointOf(grid.H_B.P1);
    const QPointF d = Q - P;
    const QPointF n = pointOf(grid.V_L.P1) - P; // from the Base-Line across the square
    const QPointF dHat = unit(d), nHat = unit(n);
    const PelvisFrame g = pelvisOn(grid.H_B);

    p.save();
    p.setClipRect(QRectF(panel.left, 0, panel.width, HelpPicture::Height));
    // On a radiograph the patient's left hip appears on the picture's right.
    drawPelvis(p, g, panel.leftHip ? +1.0 : -1.0);

    if (QPointF::dotProduct(n, g.up) < 0) {
        // The top of the pelvis lies the square's side above the Base-Line; the program drew
        // the Top-Line as far below it. The arrows keep clear of the replaced hip, of the lines
        // across the Base-Line and of the V-M-Line's name: the Top-Line's runs between that name
        // and the Left-Line.
        const QPointF shift = g.up - n;
        drawMove(p, grid.H_T, shift, 0.08, QStringLiteral("Top-Line"), nHat * 8.0);
        drawMove(p, grid.H_M, shift * 0.5, 0.625, QStringLiteral("H-M-Line"), QPointF());
    }

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::SquareCap));
    for (const CLine *line : {&grid.H_B, &grid.H_M, &grid.H_T, &grid.V_L, &grid.V_M, &grid.V_R})
        p.drawLine(segmentOf(*line));
    p.setPen(QPen(kFLineRed, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(segmentOf(grid.V_F));

    // Direction of the Base-Line: a dot at its first end point, an arrow at its second.
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(P, 4.5, 4.5);
    drawArrowHead(p, Q + dHat * 12.0, d, 13, kInk);
    p.setPen(QPen(kInk, 2.0));
    p.drawLine(Q, Q + dHat * 4.0);

    const QFont labelFont = sansFont(12, false);
    // The lines along the Base-Line: named outside the square, beyond its first end point; the
    // Top-Line's name a little inside, clear of the Left-Line's.
    const Align alongAlign = alignAway(-d);
    drawLabel(p, QStringLiteral("Base-Line"), P - dHat * 10.0, alongAlign, labelFont, kInk);
    drawLabel(p, QStringLiteral("H-M-Line"), pointOf(grid.H_M.P0) - dHat * 10.0, alongAlign,
        labelFont, kInk);
    drawLabel(p, QStringLiteral("Top-Line"), pointOf(grid.H_T.P0) - dHat * 10.0 - nHat * 8.0,
        alongAlign, labelFont, kInk);
    // The lines across it: named beyond their far ends, the outer two running outwards and the
    // F-Line's name inwards, clear of the Right-Line's.
    const QPointF beyond = nHat * 11.0;
    drawLabel(p, QStringLiteral("Left-Line"), pointOf(grid.V_L.P1) + beyond + dHat * 3.0,
        alignAway(-d), labelFont, kInk);
    drawLabel(p, QStringLiteral("Right-Line"), pointOf(grid.V_R.P1) + beyond - dHat * 3.0,
        alignAway(d), labelFont, kInk);
    drawLabel(p, QStringLiteral("F-Line"), pointOf(grid.V_F.P1) + beyond + dHat * 3.0,
        alignAway(-d), sansFont(12, true), kFLineRed);
    // V-M-Line: in the free quarter beyond its far end.
    drawLabel(p, QStringLiteral("V-M-Line"), P + d * kVMNameAt + n * 0.875, Align::Centre,
        labelFont, kInk);

    // Caption beside the picture.
    const double cx = panel.left + 16;
    drawLabel(p, panel.leftHip ? QStringLiteral("Left hip") : QStringLiteral("Right hip"),
        QPointF(cx, 52), Align::Left, sansFont(17, true), kInk);
    const QStringList caption = panel.leftHip
        ? QStringList{QStringLiteral("Base-Line drawn"), QStringLiteral("from left to right:"),
            QStringLiteral("the grid stands above it")}
        : QStringList{QStringLiteral("Base-Line drawn"), QStringLiteral("from right to left:"),
            QStringLiteral("the grid hangs below it")};
    for (int i = 0; i < caption.size(); ++i)
        drawLabel(p, caption[i], QPointF(cx, 80 + 18 * i), Align::Left, labelFont, kInk);
    drawLabel(p,
        panel.leftHip ? QStringLiteral("F-Line towards the right")
                      : QStringLiteral("F-Line towards the left"),
        QPointF(cx, 140), Align::Left, labelFont, kFLineRed);
    p.restore();
}

QImage makeHelp()
{
    QImage image(HelpPicture::Width, HelpPicture::Height, QImage::Format_ARGB32_Premultiplied);
    image.fill(kPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (const HelpPicture::Panel &panel : HelpPicture::Panels)
        drawSetting(p, panel);
    const double middle = HelpPicture::PanelWidth;
    p.setPen(QPen(QColor(0xcf, 0xd5, 0xdc), 1));
    p.drawLine(QPointF(middle + 0.5, 12), QPointF(middle + 0.5, 194));
    drawLabel(p, QStringLiteral("Each line is then moved parallel onto its landmark."),
        QPointF(middle, 210), Align::Centre, sansFont(12, false), kTeal);
    return image.convertToFormat(QImage::Format_RGB32);
}

// ---------------------------------------------------------------------------------------------
// Cursor: two colours on transparency, set pixel by pixel so that no grey edge appears.

constexpr int kCursorSize = 32;
constexpr int kLensCentre = 12; // the hot spot, in both x and y

QImage makeCursor()
{
    QImage image(kCursorSize, kCursorSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QRgb black = qRgba(0, 0, 0, 255), white = qRgba(255, 255, 255, 255);
    for (int y = 0; y < kCursorSize; ++y) {
        for (int x = 0; x < kCursorSize; ++x) {
            const double dx = x - kLensCentre, dy = y - kLensCentre;
            const double radius = std::hypot(dx, dy);
            // Distance along the handle's diagonal and across it.
            const double along = (dx + dy) / std::sqrt(2.0);
            const double across = std::abs(dx - dy) / std::sqrt(2.0);
            QRgb colour = 0;
            bool set = false;
            if (along > 8.0 && along <= 26.0 && across <= 2.9) {
                const bool edge = across > 1.6 || along > 24.7;
                colour = edge ? black : white;
                set = true;
            }
            if (radius <= 9.6) {
                colour = radius > 7.6 ? black : white;
                set = true;
            }
            const bool plus = (std::abs(dx) <= 4 && std::abs(dy) <= 1)
                || (std::abs(dy) <= 4 && std::abs(dx) <= 1);
            if (radius <= 7.6 && plus) {
                colour = black;
                set = true;
            }
            if (set)
                image.setPixel(x, y, colour);
        }
    }
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    // Fonts need a GUI application, but no screen.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources"));
    if (!dir.exists()) {
        std::fprintf(stderr, "no folder %s\n", qPrintable(dir.path()));
        return 2;
    }
    const bool ok = save(makeLogo(), dir, "logo.png") && save(makeHelp(), dir, "help.png")
        && save(makeCursor(), dir, "zoom-cursor.png");
    return ok ? 0 : 1;
}
