// The view's conveniences: the wheel zooms about the mouse and, with Shift or Ctrl, scrolls; the
// middle button or Space with the left button drags the picture; the picture fitted to the box
// or at one picture pixel per screen pixel; the zoom in the status bar.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include "core/records/Settings.h"
#include "ui/EventGuard.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// One notch of an ordinary wheel, in the eighths of a degree that wheels report.
constexpr int kWheelNotch = 120;

// The wheel zooms as far as the menu does: to 2^(-10/3), about ten screen pixels per picture
// pixel, and to eight picture pixels per screen pixel. The slack lets a step land on a limit
// despite the rounding of singles multiplied step after step.
constexpr float kSmallestZoom = 0.0992126f;
constexpr float kLargestZoom = 8.0f;
constexpr float kZoomLimitSlack = 1e-4f;

constexpr int kZoomLabelWidth = 96;

// A section of its own, so that the entry of the picture opened last is never touched.
constexpr const char *kViewSection = "View";
constexpr const char *kOpenFittedKey = "OpenFitted";

int barPosition(double v)
{
    return static_cast<int>(
        std::lround(std::clamp(v, double{std::numeric_limits<std::int16_t>::min()},
            double{std::numeric_limits<std::int16_t>::max()})));
}

} // namespace

bool MainForm::viewEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        EventGuard::run([&] { wheelOnPicture(static_cast<const QWheelEvent &>(*event)); });
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        if (panButton != Qt::NoButton)
            return true; // another button while the picture is dragged does nothing
        const auto &mouse = static_cast<const QMouseEvent &>(*event);
        const bool pan =
            mouse.button() == Qt::MiddleButton || (mouse.button() == Qt::LeftButton && spaceHeld);
        if (!pan || !Bitmap || dragInProgress())
            return false;
        beginPan(mouse.button(), mouse.position());
        return true;
    }
    case QEvent::MouseMove:
        if (panButton != Qt::NoButton) {
            const QPointF at = static_cast<const QMouseEvent &>(*event).position();
            EventGuard::run([&] { panTo(at); });
            return true;
        }
        // While Space is held the open hand says what a press will do; hovering would replace it.
        return spaceHeld && !dragInProgress();
    case QEvent::MouseButtonRelease:
        if (panButton == Qt::NoButton)
            return false;
        if (static_cast<const QMouseEvent &>(*event).button() == panButton)
            endPan();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto &key = static_cast<const QKeyEvent &>(*event);
        if (key.key() != Qt::Key_Space)
            return false;
        if (key.isAutoRepeat())
            return true;
        spaceHeld = event->type() == QEvent::KeyPress;
        if (panButton == Qt::NoButton) {
            if (spaceHeld && !dragInProgress())
                PicBox->setCursor(Qt::OpenHandCursor);
            else
                PicBox->setMousePointer(PicBox->mousePointer());
        }
        return true;
    }
    case QEvent::FocusOut:
        // The release of a Space held while the focus went elsewhere never comes here.
        if (spaceHeld && panButton == Qt::NoButton)
            PicBox->setMousePointer(PicBox->mousePointer());
        spaceHeld = false;
        return false;
    default:
        return false;
    }
}

bool MainForm::dragInProgress() const
{
    return isLineDrag(toolMode) || toolMode == ToolMode::DistanceDragging
        || toolMode == ToolMode::DragHeadPoint || toolMode == ToolMode::DragCupPoint
        || toolMode == ToolMode::DragRimPoint;
}

void MainForm::wheelOnPicture(const QWheelEvent &event)
{
    if (!Bitmap || !oxel || PicBox->width() <= 0 || PicBox->height() <= 0 || dragInProgress())
        return;
    // A device without wheel turns reports pixels; they are taken as turns of the same size.
    QPoint delta = event.angleDelta();
    if (delta.isNull())
        delta = event.pixelDelta();
    const int along = delta.y() != 0 ? delta.y() : delta.x();
    if (event.modifiers() & Qt::ControlModifier)
        scrollByWheel(VScroll, along, wheelScrollY);
    else if (event.modifiers() & Qt::ShiftModifier)
        scrollByWheel(HScroll, along, wheelScrollX);
    else if (delta.y() == 0)
        scrollByWheel(HScroll, delta.x(), wheelScrollX); // a wheel tilted sideways
    else
        zoomByWheel(delta.y(), event.position());
}

void MainForm::zoomByWheel(int delta, QPointF widgetPos)
{
    // A turn the other way starts afresh, so that a touchpad's wobble never adds up to a step.
    if (wheelZoomDelta != 0 && (delta > 0) != (wheelZoomDelta > 0))
        wheelZoomDelta = 0;
    wheelZoomDelta += delta;
    // The same single arithmetic as the menu's steps, so that both reach the same zooms.
    const float outwards = 1 / zoomStep;
    float newZoom = zoom;
    while (std::abs(wheelZoomDelta) >= kWheelNotch) {
        const bool in = wheelZoomDelta > 0;
        const float next = newZoom * (in ? zoomStep : outwards);
        if (in ? next < kSmallestZoom * (1 - kZoomLimitSlack)
               : next > kLargestZoom * (1 + kZoomLimitSlack)) {
            wheelZoomDelta = 0;
            break;
        }
        newZoom = next;
        wheelZoomDelta += in ? -kWheelNotch : kWheelNotch;
    }
    if (newZoom != zoom)
        zoomAbout(newZoom, widgetPos);
}

void MainForm::scrollByWheel(QScrollBar *bar, int delta, double &remainder)
{
    // As far as a scroll bar goes under the wheel; turning forward goes to the top or the left.
    remainder -= static_cast<double>(delta) / kWheelNotch * QApplication::wheelScrollLines()
        * bar->singleStep();
    const double whole = std::trunc(remainder);
    remainder -= whole;
    if (whole != 0)
        bar->setValue(bar->value() + static_cast<int>(whole)); // the bar moves the view
}

void MainForm::zoomAbout(float newZoom, QPointF widgetPos)
{
    const QPointF held = PicBox->toPicture(widgetPos);
    zoom = newZoom;
    PicBox->setScaleWidth(boxWidthPx * static_cast<double>(zoom));
    PicBox->setScaleHeight(boxHeightPx * static_cast<double>(zoom));
    // Not clamped to the picture: the point under the mouse stays there even at an edge.
    showViewAt(held.x() - widgetPos.x() * PicBox->ScaleWidth() / PicBox->width(),
        held.y() - widgetPos.y() * PicBox->ScaleHeight() / PicBox->height());
}

void MainForm::showViewAt(double left, double top)
{
    PicBox->setScaleLeft(left);
    PicBox->setScaleTop(top);
    updateView();
    {
        // The bars follow the view; their own change events would round it to whole pixels.
        const QScopedValueRollback<bool> syncing(scrollSync, true);
        updateScrollRanges();
        HScroll->setValue(barPosition(left));
        VScroll->setValue(barPosition(top));
    }
    PicBox_Paint();
}

void MainForm::beginPan(Qt::MouseButton button, QPointF widgetPos)
{
    panButton = button;
    panGrab = PicBox->toPicture(widgetPos);
    PicBox->setCursor(Qt::ClosedHandCursor);
}

void MainForm::panTo(QPointF widgetPos)
{
    // The point taken hold of comes back under the mouse, as far as the scroll bars reach.
    const QPointF under = PicBox->toPicture(widgetPos);
    const auto within = [](double v, double current, const QScrollBar *bar) {
        if (bar->minimum() == bar->maximum())
            return current; // the picture fits across: nothing to drag it to
        return std::clamp(v, std::min<double>(bar->minimum(), current),
            std::max<double>(bar->maximum(), current));
    };
    const double left =
        within(PicBox->ScaleLeft() + panGrab.x() - under.x(), PicBox->ScaleLeft(), HScroll);
    const double top =
        within(PicBox->ScaleTop() + panGrab.y() - under.y(), PicBox->ScaleTop(), VScroll);
    if (left != PicBox->ScaleLeft() || top != PicBox->ScaleTop())
        showViewAt(left, top);
}

void MainForm::endPan()
{
    panButton = Qt::NoButton;
    if (spaceHeld)
        PicBox->setCursor(Qt::OpenHandCursor);
    else
        PicBox->setMousePointer(PicBox->mousePointer()); // the tool mode's own cursor
}

void MainForm::fitPicture()
{
    if (!Bitmap || boxWidthPx <= 0 || boxHeightPx <= 0)
        return;
    const double needed = std::max(
        static_cast<double>(Bitmap->W) / boxWidthPx, static_cast<double>(Bitmap->H) / boxHeightPx);
    // Rounded down to a single, the zoom would cut a sliver off the picture.
    float fitted = static_cast<float>(needed);
    if (static_cast<double>(fitted) < needed)
        fitted = std::nextafter(fitted, std::numeric_limits<float>::infinity());
    zoom = fitted;
    PicBox->setScaleWidth(boxWidthPx * static_cast<double>(zoom));
    PicBox->setScaleHeight(boxHeightPx * static_cast<double>(zoom));
    showViewAt((Bitmap->W - PicBox->ScaleWidth()) / 2, (Bitmap->H - PicBox->ScaleHeight()) / 2);
}

void MainForm::showActualPixels()
{
    if (!Bitmap)
        return;
    const double cx = PicBox->ScaleLeft() + PicBox->ScaleWidth() / 2;
    const double cy = PicBox->ScaleTop() + PicBox->ScaleHeight() / 2;
    zoom = 1.0f;
    PicBox->setScaleWidth(boxWidthPx);
    PicBox->setScaleHeight(boxHeightPx);
    // A whole-pixel corner keeps the landmarks on the same screen pixels as the picture's.
    showViewAt(
        std::round(cx - PicBox->ScaleWidth() / 2), std::round(cy - PicBox->ScaleHeight() / 2));
}

void MainForm::fitWhenLaidOut()
{
    if (isVisible() && boxWidthPx > 0 && boxHeightPx > 0)
        fitPicture();
    else
        fitPending = true; // the first layout fits it
}

void MainForm::showZoom()
{
    if (!Bitmap || !(zoom > 0)) {
        zoomLabel->clear();
        return;
    }
    const double percent = 100.0 / static_cast<double>(zoom);
    // Below a fifth whole numbers would blur the steps (12.5, 15.7, 19.8).
    zoomLabel->setText(QString("Zoom %1%")
                           .arg(percent < 20 ? QString::number(percent, 'f', 1)
                                             : QString::number(std::lround(percent))));
}

QString MainForm::zoomText() const
{
    return zoomLabel->text();
}

void MainForm::placeZoomLabel()
{
    const QRect line = StatusBar->geometry();
    const int width = std::min(kZoomLabelWidth, line.width() / 3);
    StatusBar->setGeometry(line.x(), line.y(), line.width() - width, line.height());
    zoomLabel->setGeometry(line.x() + line.width() - width, line.y(), width, line.height());
}

bool MainForm::viewChoiceRemembered(const char *key) const
{
    return Settings::read(environment.settingsPath.toStdString(), kViewSection, key) == "1";
}

void MainForm::rememberViewChoice(
    QAction *MainForm::*action, const char *key, const QString &caption, bool on)
{
    std::string reason;
    if (!Settings::write(
            environment.settingsPath.toStdString(), kViewSection, key, on ? "1" : "0", &reason))
        holdStatus(caption + " could not be remembered in " + environment.settingsPath + ": "
            + QString::fromStdString(reason));
    // Every window of the same settings file shows the same choice.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *other = qobject_cast<MainForm *>(widget);
        if (other && other != this && other->environment.settingsPath == environment.settingsPath) {
            const QSignalBlocker quiet(other->*action);
            (other->*action)->setChecked(on);
        }
    }
}

bool MainForm::openFittedRemembered() const
{
    return viewChoiceRemembered(kOpenFittedKey);
}

void MainForm::rememberOpenFitted(bool on)
{
    rememberViewChoice(&MainForm::m_OpenFitted, kOpenFittedKey, "Open Fitted", on);
}
