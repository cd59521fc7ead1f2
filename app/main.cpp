// oxel: the desktop program. An optional argument names a picture to open at once; with --fit
// the window then shows the whole picture, centred, as large as the window allows.

#include <exception>
#include <iostream>

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "ui/EventGuard.h"
#include "ui/MainForm.h"
#include "ui/QtMessages.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The name chooses the configuration folder. No display name is set: Qt would append it to
    // every window's caption, and a caption is exactly the picture's path or the box's title.
    QApplication::setApplicationName("oxel");
    QtMessages messages;
    const ScopedMessages installed(messages);

    try {
        QStringList arguments = QApplication::arguments().mid(1);
        const bool fit = arguments.removeAll("--fit") > 0;
        auto *window = new MainForm(MainFormEnvironment{});
        if (!window->start(arguments.isEmpty() ? QString() : arguments.constFirst())) {
            delete window;
            return 0;
        }
        window->show();
        if (fit)
            QTimer::singleShot(
                0, window, [window] { EventGuard::run([window] { window->fitPicture(); }); });
    } catch (...) {
        // Before the event loop runs there is no window to keep: say why and end.
        std::cerr << "Oxel Error: " << describeException(std::current_exception()) << std::endl;
        return 2;
    }
    return app.exec();
}
