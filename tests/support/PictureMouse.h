#pragma once

#include <cmath>

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QTest>

#include "ui/PictureBox.h"

// The mouse on a picture box, at picture points, as a hand gives it: a drag passes half-way
// before it arrives, so that the window sees a move with the button held.
class PictureMouse
{
protected:
    static QPoint at(double x, double y)
    {
        return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }

    void press(double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(box, button, Qt::NoModifier, at(x, y));
    }

    void release(double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(box, button, Qt::NoModifier, at(x, y));
    }

    void click(double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(box, button, Qt::NoModifier, at(x, y));
    }

    void move(double x, double y, Qt::MouseButtons held = Qt::NoButton)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(at(x, y)), box->mapToGlobal(QPointF(at(x, y))),
            Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(box, &event);
    }

    void drag(double x0, double y0, double x1, double y1)
    {
        press(x0, y0);
        move((x0 + x1) / 2, (y0 + y1) / 2, Qt::LeftButton);
        move(x1, y1, Qt::LeftButton);
        release(x1, y1);
    }

    // A failed test must not leave a pressed button for the next one.
    void letGo()
    {
        if (box)
            QTest::mouseRelease(box, Qt::LeftButton);
    }

    PictureBox *box = nullptr;
};
