#include "ui/PictureBox.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include "core/image/CBitmap.h"
#include "core/image/SideBySide.h"
#include "core/model/Raster.h"

namespace {

// Below this many box pixels a second thread costs more than it saves.
constexpr long kParallelPixels = 200000;

// What the box shows where the view reaches beyond the picture.
constexpr QRgb kOutsidePicture = 0xFF303030;

int toButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return MouseButton::Left;
    case Qt::RightButton:
        return MouseButton::Right;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_StaticContents);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void PictureBox::resetScale()
{
    scaleLeft = 0;
    scaleTop = 0;
    scaleWidth = width();
    scaleHeight = height();
}

double PictureBox::pixelsPerUnitX() const
{
    return scaleWidth > 0 ? width() / scaleWidth : 1.0;
}

double PictureBox::pixelsPerUnitY() const
{
    return scaleHeight > 0 ? height() / scaleHeight : 1.0;
}

QPointF PictureBox::toPicture(QPointF widgetPos) const
{
    return {
        scaleLeft + widgetPos.x() / pixelsPerUnitX(), scaleTop + widgetPos.y() / pixelsPerUnitY()};
}

QPointF PictureBox::toWidget(QPointF picturePos) const
{
    return {(picturePos.x() - scaleLeft) * pixelsPerUnitX(),
        (picturePos.y() - scaleTop) * pixelsPerUnitY()};
}

void PictureBox::plot(int x, int y)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    row[x] = drawMode == kDrawXor ? (row[x] ^ (penPixel & 0x00FFFFFF)) : penPixel;
}

void PictureBox::setForeColor(std::uint32_t bgr)
{
    foreColor = bgr;
    // 0x00BBGGRR as an opaque pixel of the image.
    penPixel = qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
        static_cast<int>((bgr >> 16) & 0xFF));
}

void PictureBox::line(double x1, double y1, double x2, double y2)
{
    if (image.isNull())
        return;
    QPointF a = toWidget({x1, y1}), b = toWidget({x2, y2});
    double ax = std::floor(a.x()), ay = std::floor(a.y()), bx = std::floor(b.x()),
           by = std::floor(b.y());
    // A margin keeps the clipped ends off the edge, where rounding could differ between the
    // drawing and the erasing of the same line.
    const double margin = 4;
    if (!Raster::clip(ax, ay, bx, by, -margin, -margin, width() + margin, height() + margin))
        return;
    const int x0 = static_cast<int>(std::lround(ax)), y0 = static_cast<int>(std::lround(ay));
    const int xe = static_cast<int>(std::lround(bx)), ye = static_cast<int>(std::lround(by));
    Raster::line(x0, y0, xe, ye, [this](int x, int y) { plot(x, y); });
    const QRect touched = QRect(
        QPoint(std::min(x0, xe), std::min(y0, ye)), QPoint(std::max(x0, xe), std::max(y0, ye)));
    update(touched.adjusted(-1, -1, 1, 1));
}

void PictureBox::circle(double x, double y, double r)
{
    if (image.isNull())
        return;
    const QPointF c = toWidget({x, y});
    const double radius = r * pixelsPerUnitX();
    // An outline far larger than the box would cost without showing anything more.
    const double reach = std::hypot(width(), height());
    if (!(radius < 64 * reach)
        || std::hypot(c.x() - width() / 2.0, c.y() - height() / 2.0) > radius + reach)
        return;
    const int cx = static_cast<int>(std::floor(c.x())), cy = static_cast<int>(std::floor(c.y()));
    const int ri = static_cast<int>(std::lround(radius));
    Raster::circle(cx, cy, ri, [this](int px, int py) { plot(px, py); });
    const QRect touched(cx - ri - 1, cy - ri - 1, 2 * ri + 3, 2 * ri + 3);
    update(touched);
}

void PictureBox::clear()
{
    image.fill(palette().color(QPalette::Window));
    update();
}

void PictureBox::stretchCopy(const CBitmap &picture)
{
    if (image.isNull())
        return;
    const int boxWidth = image.width(), boxHeight = image.height();
    std::array<QRgb, 256> colours;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int g = picture.colorTable()[i];
        colours[i] = qRgb(g, g, g);
    }
    if (!picture.isInitialised()) {
        image.fill(kOutsidePicture);
        update();
        return;
    }
    // The picture column under each box column, once per repaint: the view's cost follows the
    // box, never the picture.
    const double unitsPerPixelX = 1.0 / pixelsPerUnitX(), unitsPerPixelY = 1.0 / pixelsPerUnitY();
    std::vector<int> column(static_cast<std::size_t>(boxWidth));
    for (int dx = 0; dx < boxWidth; ++dx) {
        const double sx = std::floor(scaleLeft + (dx + 0.5) * unitsPerPixelX);
        column[static_cast<std::size_t>(dx)] =
            sx >= 0 && sx < picture.W ? static_cast<int>(sx) : -1;
    }
    int firstInside = 0, endInside = boxWidth;
    while (firstInside < boxWidth && column[static_cast<std::size_t>(firstInside)] < 0)
        ++firstInside;
    while (endInside > firstInside && column[static_cast<std::size_t>(endInside - 1)] < 0)
        --endInside;

    // The pixels are taken once, before a second thread starts: QImage's writable accessors
    // part the image from any copy that shares its pixels and count each access in the image,
    // neither of which two threads may do at once.
    uchar *const bits = image.bits();
    if (!bits)
        return; // no memory to part the image from a copy that shares its pixels
    const auto stride = static_cast<std::size_t>(image.bytesPerLine());
    const auto boxRow = [bits, stride](int dy) {
        return reinterpret_cast<QRgb *>(bits + static_cast<std::size_t>(dy) * stride);
    };

    const auto rows = [&](int firstRow, int endRow) {
        double previousRow = -1;
        for (int dy = firstRow; dy < endRow; ++dy) {
            QRgb *out = boxRow(dy);
            const double sy = std::floor(scaleTop + (dy + 0.5) * unitsPerPixelY);
            if (sy < 0 || sy >= picture.H || firstInside >= endInside) {
                std::fill(out, out + boxWidth, kOutsidePicture);
                continue;
            }
            // Magnified, several box rows show the same picture row.
            if (sy == previousRow && dy > firstRow) {
                std::memcpy(out, boxRow(dy - 1), static_cast<std::size_t>(boxWidth) * sizeof(QRgb));
                continue;
            }
            previousRow = sy;
            const std::uint8_t *source = picture.scanLine(static_cast<int>(sy));
            std::fill(out, out + firstInside, kOutsidePicture);
            for (int dx = firstInside; dx < endInside; ++dx)
                out[dx] = colours[source[column[static_cast<std::size_t>(dx)]]];
            std::fill(out + endInside, out + boxWidth, kOutsidePicture);
        }
    };
    // Two bands on the two cores once the box is large enough for that to pay.
    if (static_cast<long>(boxWidth) * boxHeight >= kParallelPixels) {
        sideBySide([&] { rows(0, boxHeight / 2); }, [&] { rows(boxHeight / 2, boxHeight); });
    } else {
        rows(0, boxHeight);
    }
    update();
}

void PictureBox::setMousePointer(int code)
{
    pointerCode = code;
    switch (code) {
    case MousePointer::Cross:
        setCursor(Qt::CrossCursor);
        break;
    case MousePointer::FourWay:
        setCursor(Qt::SizeAllCursor);
        break;
    case MousePointer::UpDown:
        setCursor(Qt::SizeVerCursor);
        break;
    case MousePointer::Diagonal:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case MousePointer::LeftRight:
        setCursor(Qt::SizeHorCursor);
        break;
    case MousePointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case MousePointer::Custom:
        setCursor(icon);
        break;
    default:
        unsetCursor();
    }
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), image, event->rect());
}

void PictureBox::resizeEvent(QResizeEvent *)
{
    image = QImage(size(), QImage::Format_RGB32);
    image.fill(kOutsidePicture);
    emit repaintNeeded();
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    const QPointF p = toPicture(event->position());
    emit mouseDown(toButton(event->button()), event->modifiers(), p.x(), p.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF p = toPicture(event->position());
    emit mouseMove(event->buttons(), event->modifiers(), p.x(), p.y());
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF p = toPicture(event->position());
    emit mouseUp(toButton(event->button()), event->modifiers(), p.x(), p.y());
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key() == Qt::Key_Escape ? kKeyEscape : event->key();
    emit keyDown(key, event->modifiers());
    QWidget::keyPressEvent(event);
}
