#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

// Asks for the true distance between the two calibration points, in millimetres.
// The caller may put a distance into e_Distance before showing the dialog, shows it modally
// and reads Dist once it has closed:
// - "OK" (or Enter) with a number: Dist := that number, the dialog closes accepted;
//   with text that is not a finite number: the dialog stays open, Dist unchanged, no message;
// - "Cancel" (or Escape): Dist := 0, the dialog closes rejected;
// - closing by the window frame: the dialog closes rejected, Dist unchanged.
// Zero and negative numbers are accepted here; whether they make a calibration is the caller's
// decision.
class CalibDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CalibDialog(QWidget *owner = nullptr);

    QLabel *Label1;
    QLineEdit *e_Distance;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    float Dist = 0; // millimetres

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void takeDistance();
    void cancel();
};
