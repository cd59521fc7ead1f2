// oxel: the desktop program. An optional argument names a picture to open at once; with --fit
// the window then zooms out until the whole picture is in view.

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "ui/MainForm.h"
#include "ui/QtMessages.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("oxel");
    QApplication::setApplicationDisplayName("Oxel2");
    QtMessages messages;
    setCurrentMessages(&messages);

    QStringList arguments = QApplication::arguments().mid(1);
    const bool fit = arguments.removeAll("--fit") > 0;
    auto *window = new MainForm(MainFormEnvironment{});
    if (!window->start(arguments.isEmpty() ? QString() : arguments.constFirst())) {
        delete window;
        return 0;
    }
    window->show();
    if (fit)
        QTimer::singleShot(0, window, &MainForm::zoomToFit);
    const int status = app.exec();
    setCurrentMessages(nullptr);
    return status;
}
