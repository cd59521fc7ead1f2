// oxel: the desktop program. An optional argument names a picture to open at once.

#include <QApplication>
#include <QStringList>

#include "ui/MainForm.h"
#include "ui/QtMessages.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("oxel");
    QApplication::setApplicationDisplayName("Oxel2");
    QtMessages messages;
    setCurrentMessages(&messages);

    const QStringList arguments = QApplication::arguments();
    auto *window = new MainForm(MainFormEnvironment{});
    if (!window->start(arguments.size() > 1 ? arguments.at(1) : QString())) {
        delete window;
        return 0;
    }
    window->show();
    const int status = app.exec();
    setCurrentMessages(nullptr);
    return status;
}
