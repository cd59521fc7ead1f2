#pragma once

#include <QWidget>

class QCloseEvent;
class QEvent;
class QLabel;

// The help window: a picture of the possible settings of the grid's reference lines.
// There is at most one in the program. It never blocks other windows, and a click on the
// picture closes it; closing destroys it.
class HelpForm : public QWidget
{
    Q_OBJECT

public:
    // Shows the help window without waiting. When none is open, a new one is made with owner
    // as its owner (it goes when the owner goes); when one is open, it is brought to the front
    // as it is, whichever owner is given.
    static void showFor(QWidget *owner);

    // The open help window, or nullptr when none is open.
    static HelpForm *current();

    QLabel *Image1;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit HelpForm(QWidget *owner);

    bool pressedOnImage = false;
};
