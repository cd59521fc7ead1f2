#include "FollowUpAnchors.h"

#include <cstdio>
#include <iostream>

#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>

#include "Timing.h"
#include "ui/FollowUpWindow.h"

int runFollowUpAnchors(const std::string &dir)
{
    const QString path = QString::fromStdString(dir + "/series-10000.dat");
    bool shown = true;
    const double ms = medianMilliseconds([&] {
        FollowUpWindow window;
        window.resize(1280, 860);
        shown = window.openFile(path) && shown;
        window.show();
        QApplication::processEvents();
        // Every widget painted once, as the screen would show them.
        shown = !window.grab().isNull() && window.seriesList()->topLevelItemCount() == 1 && shown;
    });
    if (!shown) {
        std::cerr << "oxel_bench: the follow-up window could not show " << path.toStdString()
                  << '\n';
        return 1;
    }
    std::printf("TEAM|series.window.10000|%.3f|oxel FollowUpWindow: a result file of 10,000 "
                "blocks opened, listed, its first series tabled and plotted, the window painted\n",
        ms);
    std::fflush(stdout);
    return 0;
}
