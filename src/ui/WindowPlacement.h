#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// Gives a top-level window its size and place from the settings file ("[MainWindow]" with
// "Geometry=...", as the window was last closed; with several windows the last one closed is
// remembered), and remembers them again whenever the window is asked to close. A place that
// does not fit the screen now (left on a larger or a missing screen) is made to fit.
// Without a remembered geometry, and for a window opened while another of its kind is open
// (which the remembered place would cover exactly), the window gets its design size, made
// smaller where the screen's available area (less room for the window's frame) is smaller, and
// the window system places it.
class WindowPlacement : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kSection = "MainWindow";
    static constexpr const char *kKey = "Geometry";

    // Places window now and follows it; the object belongs to the window.
    WindowPlacement(QWidget *window, const QString &settingsPath, QSize designSize);

    // The largest size up to wanted whose window, frame included, fits into available.
    static QSize fittedSize(QSize wanted, const QRect &available);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place(QSize designSize);
    void keepOnScreen();
    void remember() const;

    QWidget *window;
    QString settingsPath;
};
