#pragma once

#include <QDialog>

class CBitmap;
class QLabel;
class QPushButton;
class QScrollBar;
class QShowEvent;

// Brightness and contrast of the shown radiograph, set with two scroll bars.
//
// The bars stand for the pixel buffer given, which must outlive the dialog: sb_brightness =
// ColorOffset + 256 (0..512, offsets -256..+256), sb_contrast = ColorScale (0..512, factors 0..2
// in 1/256). A changed value goes into the buffer at once and rebuilds its colour table, which
// tells the buffer's observer (the window, which repaints); a drag of a thumb counts when it is
// released. The dialog holds no state of its own: reopening shows the bars where they were.
class ColorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ColorDialog(CBitmap &pixels, QWidget *owner = nullptr);

    QLabel *Label1;
    QScrollBar *sb_brightness;
    QLabel *Label2;
    QScrollBar *sb_contrast;
    QPushButton *b_Reset;
    QPushButton *b_Close;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void brightnessChanged(int value);
    void contrastChanged(int value);
    void reset();
    void showBitmapValues();

    CBitmap &bitmap;
    bool loaded = false;
};
