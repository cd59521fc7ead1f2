#include "ui/WindowPlacement.h"

#include <algorithm>

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include "core/records/Settings.h"

namespace {

// The window system adds the title bar and the borders only once the window is shown, so the
// window's inside keeps this much room for them within the screen's available area: enough for
// the usual desktops' frames.
constexpr QMargins kFrameAllowance(8, 40, 8, 8);

bool anotherWindowOfItsKindIsOpen(const QWidget *window)
{
    for (const QWidget *other : QApplication::topLevelWidgets()) {
        if (other != window && other->isVisible() && other->metaObject() == window->metaObject())
            return true;
    }
    return false;
}

} // namespace

WindowPlacement::WindowPlacement(QWidget *placed, const QString &path, QSize designSize)
    : QObject(placed), window(placed), settingsPath(path)
{
    place(designSize);
    window->installEventFilter(this);
}

QSize WindowPlacement::fittedSize(QSize wanted, const QRect &available)
{
    return wanted.boundedTo(available.marginsRemoved(kFrameAllowance).size().expandedTo({1, 1}));
}

void WindowPlacement::place(QSize designSize)
{
    // A further window of the program would cover the open one exactly at the remembered place;
    // it gets the design size and the window system places it.
    if (!anotherWindowOfItsKindIsOpen(window)) {
        const QByteArray saved = QByteArray::fromBase64(
            QByteArray::fromStdString(Settings::read(settingsPath.toStdString(), kSection, kKey)));
        if (!saved.isEmpty() && window->restoreGeometry(saved)) {
            keepOnScreen();
            return;
        }
    }
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    window->resize(screen ? fittedSize(designSize, screen->availableGeometry()) : designSize);
}

void WindowPlacement::keepOnScreen()
{
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return; // the window system fits those itself
    const QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QRect placed = window->geometry();
    // A place the operator chose within the screen stays exactly as it was.
    if (available.contains(placed) && placed.size() == fittedSize(placed.size(), available))
        return;
    // The place was left on a larger screen, or one no longer there.
    const QRect room = available.marginsRemoved(kFrameAllowance);
    placed.setSize(fittedSize(placed.size(), available));
    placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() + 1 - placed.height()));
    window->setGeometry(placed);
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    // Also a close that the window then refuses: it is still the place the operator left it at.
    if (watched == window && event->type() == QEvent::Close && window->isVisible())
        remember();
    return QObject::eventFilter(watched, event);
}

void WindowPlacement::remember() const
{
    // Failing to remember a place is not worth a message: the next start uses the design size.
    Settings::write(settingsPath.toStdString(), kSection, kKey,
        window->saveGeometry().toBase64().toStdString());
}
