// Renders the program's three pictures into a resources folder: the product logo, the help
// picture of the grid's reference lines and the magnifier cursor of zoom-by-mouse mode.
//
// Build and run by hand from the checkout's top folder:
//   g++ -std=c++20 -fPIC tools/make_pictures.cpp $(pkg-config --cflags --libs Qt6Gui)
//       -o /tmp/make_pictures                                         (all on one line)
//   /tmp/make_pictures resources
// Without a pkg-config entry for Qt6Gui, use
//   -I/usr/include/x86_64-linux-gnu/qt6 -I/usr/include/x86_64-linux-gnu/qt6/QtCore
//   -I/usr/include/x86_64-linux-gnu/qt6/QtGui -lQt6Gui -lQt6Core
// The text is set in DejaVu Sans, so the output is the same on every machine that has it.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>

namespace {

const QColor kNavy(0x1d, 0x35, 0x57);
const QColor kTeal(0x2a, 0x8c, 0x8c);
const QColor kSteel(0xa9, 0xb8, 0xc8);
const QColor kInk(0x1b, 0x24, 0x30);
const QColor kFLineRed(0x9e, 0x1b, 0x24);
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

// Maps grid coordinates (u along the picture's x from the square's left side, v up from the
// Base-Line, both in units of the square's side) into the picture.
struct GridFrame
{
    double left, base, side;

    QPointF at(double u, double v) const { return {left + u * side, base - v * side}; }
};

constexpr double kHipU = 0.36, kHipV = 0.25; // hip centre: distance from the midline, height
constexpr double kFemoralHeadR = 0.075;

// One half of the pelvis with its femur, for the hip on the picture's right (mirror = +1) or
// left (mirror = -1) of the midline. Coordinates: distance from the midline, height above the
// Base-Line. The replaced hip gets no femoral head of its own.
void drawHalfPelvis(QPainter &p, const GridFrame &g, double mirror, bool replaced)
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

    // Femur: neck, greater and lesser trochanter, shaft running off the picture.
    QPainterPath femur;
    femur.moveTo(at(0.41, 0.295));
    femur.cubicTo(at(0.44, 0.27), at(0.46, 0.25), at(0.485, 0.26));
    femur.cubicTo(at(0.52, 0.25), at(0.53, 0.18), at(0.51, 0.10));
    femur.cubicTo(at(0.50, 0.05), at(0.49, 0.0), at(0.49, -0.4));
    femur.moveTo(at(0.33, 0.185));
    femur.cubicTo(at(0.36, 0.15), at(0.39, 0.11), at(0.40, 0.06));
    femur.cubicTo(at(0.38, 0.04), at(0.38, 0.00), at(0.405, -0.01));
    femur.lineTo(at(0.41, -0.4));
    p.drawPath(femur);
    if (!replaced)
        p.drawEllipse(at(kHipU, kHipV), kFemoralHeadR * g.side, kFemoralHeadR * g.side);
}

// The replaced hip: stem in the femur, prosthesis head, and the cup in the socket.
void drawImplant(QPainter &p, const GridFrame &g, double mirror)
{
    auto at = [&](double du, double v) { return g.at(0.5 + mirror * du, v); };
    const double r = g.side;
    const QPointF head = at(kHipU, kHipV);
    p.setPen(QPen(kImplant, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xe2, 0xe6, 0xeb));
    QPainterPath stem;
    stem.moveTo(at(0.375, 0.245));
    stem.lineTo(at(0.44, 0.185));
    stem.lineTo(at(0.475, 0.17));
    stem.cubicTo(at(0.478, 0.05), at(0.47, -0.15), at(0.462, -0.4));
    stem.lineTo(at(0.438, -0.4));
    stem.cubicTo(at(0.432, -0.15), at(0.432, 0.02), at(0.415, 0.10));
    stem.lineTo(at(0.35, 0.215));
    stem.closeSubpath();
    p.drawPath(stem);
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
void drawPelvis(QPainter &p, const GridFrame &g, double replacedSide)
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

// leftHip: the Base-Line is drawn from the picture's left to its right, and the F-Line stands
// at three quarters of it, towards the right; for a right hip everything runs the other way.
void drawSetting(QPainter &p, QRectF panel, bool leftHip)
{
    p.save();
    p.setClipRect(panel);
    const double side = 176;
    const GridFrame g{panel.left() + 214, panel.top() + 204, side};
    // Grid coordinates counted from the Base-Line's first end point.
    auto along = [&](double t) { return leftHip ? t : 1.0 - t; };

    // On a radiograph the patient's left hip appears on the picture's right.
    drawPelvis(p, g, leftHip ? +1.0 : -1.0);

    const QPen gridPen(kInk, 2.0, Qt::SolidLine, Qt::FlatCap);
    const QPen fPen(kFLineRed, 2.0, Qt::SolidLine, Qt::FlatCap);
    p.setBrush(Qt::NoBrush);
    p.setPen(gridPen);
    p.drawLine(g.at(0, 0), g.at(1, 0)); // Base-Line
    p.drawLine(g.at(0, 0.5), g.at(1, 0.5)); // H-M-Line
    p.drawLine(g.at(0, 1), g.at(1, 1)); // Top-Line
    p.drawLine(g.at(0, 0), g.at(0, 1)); // Left-Line
    p.drawLine(g.at(1, 0), g.at(1, 1)); // Right-Line
    p.drawLine(g.at(0.5, 0.25), g.at(0.5, 0.75)); // V-M-Line: the middle half only
    p.setPen(fPen);
    const double fU = along(0.75);
    p.drawLine(g.at(fU, 0), g.at(fU, 1));

    // Direction of the Base-Line: a dot at its first end point, an arrow at its second.
    const QPointF first = g.at(along(0.0), 0), second = g.at(along(1.0), 0);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(first, 4.5, 4.5);
    drawArrowHead(p, second + (second - first) / side * 12.0, second - first, 13, kInk);
    p.setPen(QPen(kInk, 2.0));
    p.drawLine(second, second + (second - first) / side * 4.0);

    const QFont labelFont = sansFont(12, false);
    const QFont fFont = sansFont(12, true);
    // Labels of the horizontal lines inside the square, in the half free of the F-Line.
    const double inset = 6;
    const Align hAlign = leftHip ? Align::Left : Align::Right;
    const double hx = leftHip ? g.at(0, 0).x() + inset : g.at(1, 0).x() - inset;
    drawLabel(
        p, QStringLiteral("Top-Line"), QPointF(hx, g.at(0, 1).y() + 11), hAlign, labelFont, kInk);
    drawLabel(
        p, QStringLiteral("H-M-Line"), QPointF(hx, g.at(0, 0.5).y() - 10), hAlign, labelFont, kInk);
    drawLabel(
        p, QStringLiteral("Base-Line"), QPointF(hx, g.at(0, 0).y() - 10), hAlign, labelFont, kInk);
    // V-M-Line: in the free quarter above its upper end.
    drawLabel(p, QStringLiteral("V-M-Line"), g.at(0.5, 0.875), Align::Centre, labelFont, kInk);
    // The lines that reach the top: labels above it, the outer two running outwards.
    const double above = g.at(0, 1).y() - 11;
    drawLabel(p, QStringLiteral("Left-Line"), QPointF(g.at(0, 0).x() + 3, above), Align::Right,
        labelFont, kInk);
    drawLabel(p, QStringLiteral("Right-Line"), QPointF(g.at(1, 0).x() - 3, above), Align::Left,
        labelFont, kInk);
    drawLabel(p, QStringLiteral("F-Line"), QPointF(g.at(fU, 0).x(), above), Align::Centre, fFont,
        kFLineRed);

    // Caption beside the picture.
    const double cx = panel.left() + 16;
    const double cy = panel.top() + panel.height() / 2.0;
    drawLabel(p, leftHip ? QStringLiteral("Left hip") : QStringLiteral("Right hip"),
        QPointF(cx, cy - 34), Align::Left, sansFont(17, true), kInk);
    const QFont captionFont = sansFont(12, false);
    drawLabel(
        p, QStringLiteral("Base-Line drawn"), QPointF(cx, cy - 6), Align::Left, captionFont, kInk);
    drawLabel(p,
        leftHip ? QStringLiteral("from left to right") : QStringLiteral("from right to left"),
        QPointF(cx, cy + 12), Align::Left, captionFont, kInk);
    drawLabel(p,
        leftHip ? QStringLiteral("F-Line towards the right")
                : QStringLiteral("F-Line towards the left"),
        QPointF(cx, cy + 36), Align::Left, captionFont, kFLineRed);
    p.restore();
}

QImage makeHelp()
{
    QImage image(992, 220, QImage::Format_ARGB32_Premultiplied);
    image.fill(kPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawSetting(p, QRectF(0, 0, 496, 220), true);
    drawSetting(p, QRectF(496, 0, 496, 220), false);
    p.setPen(QPen(QColor(0xcf, 0xd5, 0xdc), 1));
    p.drawLine(QPointF(496.5, 12), QPointF(496.5, 208));
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
