#pragma once

#include <cstdint>

#include <QCursor>
#include <QImage>
#include <QWidget>

#include "core/model/DrawingSurface.h"

class CBitmap;

// Cursor shapes of the picture, by their codes.
namespace MousePointer {
inline constexpr int Default = 0;
inline constexpr int Cross = 2;
inline constexpr int FourWay = 5;
inline constexpr int UpDown = 7;
inline constexpr int Diagonal = 8;
inline constexpr int LeftRight = 9;
inline constexpr int Hourglass = 11;
inline constexpr int Custom = 99; // the cursor given with setMouseIcon
} // namespace MousePointer

// Mouse buttons as the picture reports them.
namespace MouseButton {
inline constexpr int Left = 1;
inline constexpr int Right = 2;
} // namespace MouseButton

inline constexpr int kKeyEscape = 27;

// The drawing surface of the radiograph: a widget whose coordinate system is in picture pixels
// (ScaleLeft, ScaleTop at its top left corner, spanning ScaleWidth x ScaleHeight). Everything is
// drawn into an off-screen image the size of the widget, without antialiasing, so that a figure
// drawn twice by exclusive-or leaves every pixel as it was; painting only copies that image.
// Mouse and key events are delivered in picture coordinates.
class PictureBox : public QWidget, public DrawingSurface
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    double ScaleLeft() const { return scaleLeft; }

    double ScaleTop() const { return scaleTop; }

    double ScaleWidth() const override { return scaleWidth; }

    double ScaleHeight() const { return scaleHeight; }

    void setScaleLeft(double left) { scaleLeft = left; }

    void setScaleTop(double top) { scaleTop = top; }

    void setScaleWidth(double width) { scaleWidth = width; }

    void setScaleHeight(double height) { scaleHeight = height; }

    // The coordinate system in screen pixels from (0, 0) again.
    void resetScale();

    void setForeColor(std::uint32_t bgr) override;

    std::uint32_t ForeColor() const { return foreColor; }

    void setDrawMode(int mode) override { drawMode = mode; }

    int DrawMode() const { return drawMode; }

    void line(double x1, double y1, double x2, double y2) override;
    void circle(double x, double y, double r) override;
    // The whole box in the window's background colour.
    void clear();
    // Copies the part of the picture under the coordinate system onto the whole box, each grey
    // level through the buffer's colour table. Costs as much as the box has pixels, whatever
    // the size of the picture.
    void stretchCopy(const CBitmap &picture);

    void setMousePointer(int code);

    int mousePointer() const { return pointerCode; }

    void setMouseIcon(const QCursor &cursor) { icon = cursor; }

    // The box as currently drawn; what the screen shows.
    const QImage &canvas() const { return image; }

    // Picture coordinates of a point of the widget, and back.
    QPointF toPicture(QPointF widgetPos) const;
    QPointF toWidget(QPointF picturePos) const;

signals:
    // The box needs its picture and landmarks drawn anew (after a resize).
    void repaintNeeded();
    void mouseDown(int button, Qt::KeyboardModifiers modifiers, double x, double y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, double x, double y);
    void mouseUp(int button, Qt::KeyboardModifiers modifiers, double x, double y);
    void keyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void plot(int x, int y);
    double pixelsPerUnitX() const;
    double pixelsPerUnitY() const;

    QImage image;
    double scaleLeft = 0, scaleTop = 0, scaleWidth = 0, scaleHeight = 0;
    std::uint32_t foreColor = 0;
    std::uint32_t penPixel = 0xFF000000; // foreColor as a pixel of the image
    int drawMode = kDrawCopy;
    int pointerCode = MousePointer::Default;
    QCursor icon;
};
