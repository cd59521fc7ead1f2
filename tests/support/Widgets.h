#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

// Runs the deletions that deleteLater() asked for, as the event loop would.
inline void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// How many top-level widgets of the class there are.
inline int countTopLevel(const char *className)
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->inherits(className))
            ++count;
    return count;
}
