#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QShowEvent;
class QHideEvent;
class QTimer;

// The start-up window: logo, product name and maker, without a title bar, centred on the
// screen. It closes on "OK" or by itself 5 seconds after it was shown, whichever comes first,
// and returns nothing. Each showing is meant to be a new instance, so the 5 seconds always
// count from that showing.
class StartupForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kDisplayMs = 5000;

    explicit StartupForm(QWidget *owner = nullptr);

    // Shows a new start-up window modally with owner as its owner and returns when it has
    // closed; the window is destroyed before the call returns.
    static void showModal(QWidget *owner);

    QFrame *Frame1;
    QLabel *imgLogo;
    QLabel *lblProductName;
    QLabel *lblVersion;
    QLabel *lblCompany;
    QLabel *lblDepartment;
    QPushButton *Command1;
    QTimer *Timer1; // single shot, started each time the window is shown

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
};
