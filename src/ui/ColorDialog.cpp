#include "ui/ColorDialog.h"

#include <algorithm>

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>

#include "core/image/CBitmap.h"
#include "ui/EventGuard.h"

namespace {

constexpr int kBarMiddle = 256; // no change of brightness or contrast
constexpr int kBarMaximum = 512;
constexpr int kSingleStep = 4;
constexpr int kPageStep = 32;

// The window was drawn for a 13-pixel font at 15 twips per pixel; it grows with the font in use
// so that the captions fit on today's screens.
constexpr double kTwipsPerPixel = 15.0;
constexpr double kLayoutFontHeight = 13.0;

} // namespace

ColorDialog::ColorDialog(CBitmap &pixels, QWidget *owner)
    : QDialog(owner),
      Label1(new QLabel(QStringLiteral("Brightness"), this)),
      sb_brightness(new QScrollBar(Qt::Horizontal, this)),
      Label2(new QLabel(QStringLiteral("Contrast"), this)),
      sb_contrast(new QScrollBar(Qt::Horizontal, this)),
      b_Reset(new QPushButton(QStringLiteral("Reset"), this)),
      b_Close(new QPushButton(QStringLiteral("Close"), this)),
      bitmap(pixels)
{
    setWindowTitle(QStringLiteral("Adjust Colors"));
    Label1->setObjectName(QStringLiteral("Label1"));
    sb_brightness->setObjectName(QStringLiteral("sb_brightness"));
    Label2->setObjectName(QStringLiteral("Label2"));
    sb_contrast->setObjectName(QStringLiteral("sb_contrast"));
    b_Reset->setObjectName(QStringLiteral("b_Reset"));
    b_Close->setObjectName(QStringLiteral("b_Close"));

    for (QScrollBar *bar : {sb_brightness, sb_contrast}) {
        bar->setRange(0, kBarMaximum);
        bar->setSingleStep(kSingleStep);
        bar->setPageStep(kPageStep);
        // Every new value rebuilds the colour table and repaints the window, too slow to follow
        // the mouse on a large picture; arrows and track clicks still apply at once.
        bar->setTracking(false);
    }
    // Neither button may close the window on Enter by being the default.
    b_Reset->setAutoDefault(false);
    b_Close->setAutoDefault(false);

    const double scale =
        std::max(1.0, QFontMetrics(font()).height() / kLayoutFontHeight) / kTwipsPerPixel;
    const auto place = [scale](QWidget *widget, int left, int top, int width, int height) {
        widget->setGeometry(QRect(qRound(left * scale), qRound(top * scale), qRound(width * scale),
            qRound(height * scale)));
    };
    place(Label1, 0, 0, 2892, 252);
    place(sb_brightness, 0, 240, 2892, 252);
    place(Label2, 0, 600, 2892, 252);
    place(sb_contrast, 0, 840, 2892, 252);
    place(b_Reset, 0, 1200, 1092, 375);
    place(b_Close, 1800, 1200, 1092, 372);
    setFixedSize(qRound(2880 * scale), qRound(1560 * scale));

    connect(sb_brightness, &QScrollBar::valueChanged, this,
        [this](int value) { EventGuard::run([=, this] { brightnessChanged(value); }); });
    connect(sb_contrast, &QScrollBar::valueChanged, this,
        [this](int value) { EventGuard::run([=, this] { contrastChanged(value); }); });
    connect(b_Reset, &QPushButton::clicked, this, [this] { EventGuard::run([this] { reset(); }); });
    connect(b_Close, &QPushButton::clicked, this, &ColorDialog::close);
}

void ColorDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!loaded) {
        loaded = true;
        // Only the bars move: rebuilding the table here would drop an inversion of the picture
        // merely by opening the window.
        showBitmapValues();
    }
}

void ColorDialog::showBitmapValues()
{
    const QSignalBlocker blockBrightness(sb_brightness);
    const QSignalBlocker blockContrast(sb_contrast);
    sb_brightness->setValue(bitmap.ColorOffset + kBarMiddle);
    sb_contrast->setValue(bitmap.ColorScale);
}

void ColorDialog::brightnessChanged(int value)
{
    bitmap.ColorOffset = static_cast<std::int16_t>(value - kBarMiddle);
    bitmap.CreateColors();
}

void ColorDialog::contrastChanged(int value)
{
    bitmap.ColorScale = static_cast<std::int16_t>(value);
    bitmap.CreateColors();
}

void ColorDialog::reset()
{
    bitmap.Reset();
    showBitmapValues();
}
