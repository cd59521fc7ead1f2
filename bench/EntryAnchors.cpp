#include "EntryAnchors.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <numbers>

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include "Timing.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

constexpr int kPointsEach = 20;

void send(PictureBox *box, QEvent::Type type, double x, double y, Qt::MouseButton button,
    Qt::MouseButtons held)
{
    const QPointF at = box->toWidget({x, y});
    QMouseEvent event(type, at, box->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(box, &event);
}

void click(PictureBox *box, double x, double y, Qt::MouseButton button = Qt::LeftButton)
{
    send(box, QEvent::MouseButtonPress, x, y, button, button);
    send(box, QEvent::MouseButtonRelease, x, y, button, Qt::NoButton);
}

// kPointsEach clicks round an ellipse about (cx, cy), its axes a and b turned by turn.
void clickRound(PictureBox *box, double cx, double cy, double a, double b, double turn)
{
    for (int i = 0; i < kPointsEach; ++i) {
        const double t = 2 * std::numbers::pi * i / kPointsEach;
        const double u = a * std::cos(t), v = b * std::sin(t);
        click(box, cx + u * std::cos(turn) - v * std::sin(turn),
            cy + u * std::sin(turn) + v * std::cos(turn));
    }
}

} // namespace

int runEntryAnchors(const std::string &dir)
{
    const QString picture = QString::fromStdString(dir + "/radiograph-8192x6144.bmp");
    QTemporaryDir settings;
    MainFormEnvironment environment;
    environment.settingsPath = settings.filePath("Zek2.ini");
    environment.showStartup = [](QWidget *) {};
    MainForm window(environment);
    if (!window.start(picture)) {
        std::cerr << "oxel_bench: cannot open " << picture.toStdString() << '\n';
        return 1;
    }
    window.show();
    QApplication::processEvents();
    PictureBox *box = window.pictureBox();
    window.resize(window.size() + QSize(1600, 1000) - box->size());
    QApplication::processEvents();
    // The view in the middle of the picture, as the view's own repaint figures have it.
    for (QScrollBar *bar : window.findChildren<QScrollBar *>())
        bar->setValue(bar->orientation() == Qt::Horizontal ? 4096 - 800 : 3072 - 500);
    if (box->size() != QSize(1600, 1000) || window.zoomFactor() != 1.0f
        || box->ScaleLeft() != 4096 - 800 || box->ScaleTop() != 3072 - 500) {
        std::cerr << "oxel_bench: the view is not 1600 x 1000 at zoom 1 in the middle\n";
        return 1;
    }
    const double left = box->ScaleLeft(), top = box->ScaleTop();

    window.action("m_Head")->trigger();
    clickRound(box, left + 500, top + 500, 150, 150, 0);
    click(box, left, top, Qt::RightButton);
    window.action("m_Cup")->trigger();
    clickRound(box, left + 520, top + 490, 185, 185, 0);
    click(box, left, top, Qt::RightButton);
    window.action("m_Rim")->trigger();
    clickRound(box, left + 520, top + 490, 185, 80, 0.5);
    const double entering = medianMilliseconds([&] { window.PicBox_Paint(); }, 21);
    click(box, left, top, Qt::RightButton);
    const COxel &oxel = *window.measurement();
    if (!oxel.Head.Valid || !oxel.Cup.Valid || !oxel.Rim.Valid) {
        std::cerr << "oxel_bench: the landmarks could not be fitted\n";
        return 1;
    }
    const double entered = medianMilliseconds([&] { window.PicBox_Paint(); }, 21);

    // The head's first point, 150 px right of its centre, taken hold of and moved to and fro.
    send(box, QEvent::MouseButtonPress, left + 650, top + 500, Qt::LeftButton, Qt::LeftButton);
    if (window.currentToolMode() != ToolMode::DragHeadPoint) {
        std::cerr << "oxel_bench: the head's point could not be taken hold of\n";
        return 1;
    }
    const double dragging = medianMilliseconds([&] { window.PicBox_Paint(); }, 21);
    bool away = false;
    const double move = medianMilliseconds(
        [&] {
            away = !away;
            send(box, QEvent::MouseMove, left + (away ? 680 : 650), top + 500, Qt::NoButton,
                Qt::LeftButton);
        },
        21);
    send(box, QEvent::MouseButtonRelease, left + 650, top + 500, Qt::LeftButton, Qt::NoButton);

    std::printf("TEAM|repaint.entering.z1|%.3f|oxel MainForm: 1600x1000 view of 8192x6144 while "
                "the rim's %d points are collected (head and cup fitted)\n",
        entering, kPointsEach);
    std::printf("TEAM|repaint.entered.z1|%.3f|oxel MainForm: 1600x1000 view of 8192x6144 with "
                "the grid and head, cup and rim fitted to %d points each\n",
        entered, kPointsEach);
    std::printf("TEAM|repaint.point_drag.z1|%.3f|oxel MainForm: the same view while a head point "
                "is dragged (the head's outline following)\n",
        dragging);
    std::printf("TEAM|move.point_drag|%.3f|oxel MainForm: one mouse move of that drag (outline "
                "erased, refitted, drawn)\n",
        move);
    std::fflush(stdout);
    return 0;
}
