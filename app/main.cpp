// oxel: the desktop program. An optional argument names a picture to open at once; with --fit
// the window then shows the whole picture, centred, as large as the window allows. --help and
// --version answer on the terminal and end, without a window.

#include <exception>
#include <iostream>
#include <optional>

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include "ui/EventGuard.h"
#include "ui/MainForm.h"
#include "ui/QtMessages.h"

namespace {

// Usage errors end with the status the command-line program uses for them.
constexpr int kUsageError = 2;

const QCommandLineOption kFitOption(
    "fit", "Zoom out until the whole picture is in view after opening it.");
// Our own rather than the parser's, which adds --help-all for the toolkit's options: those are
// only known once a window system is connected, and help is given before that.
const QCommandLineOption kHelpOption({"h", "help"}, "Displays this help.");

void describeArguments(QCommandLineParser &parser)
{
    parser.setApplicationDescription("Measures radiographs of hip replacements.");
    parser.addOption(kHelpOption);
    parser.addVersionOption();
    parser.addOption(kFitOption);
    parser.addPositionalArgument(
        "PICTURE", "The radiograph to open; without one the open dialog asks.", "[PICTURE]");
}

// The answer to --help or --version, given before any window exists, so that both work on a
// terminal without a display. Nothing when neither was asked for; every other argument is left
// to the parse that follows the toolkit's own options.
std::optional<int> answerHelpOrVersion(int argc, char *argv[])
{
    const QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    describeArguments(parser);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(kHelpOption)) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }
    if (parser.isSet("version")) {
        std::cout << "oxel " << OXEL_VERSION << '\n';
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    // The name chooses the configuration folder. No display name is set: Qt would append it to
    // every window's caption, and a caption is exactly the picture's path or the box's title.
    QCoreApplication::setApplicationName("oxel");
    QCoreApplication::setApplicationVersion(OXEL_VERSION);
    if (const auto status = answerHelpOrVersion(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QCommandLineParser parser;
    describeArguments(parser);
    if (!parser.parse(QApplication::arguments())) {
        std::cerr << "oxel: " << parser.errorText().toStdString() << "\nTry 'oxel --help'.\n";
        return kUsageError;
    }
    QtMessages messages;
    const ScopedMessages installed(messages);

    try {
        const QStringList pictures = parser.positionalArguments();
        const bool fit = parser.isSet(kFitOption);
        auto *window = new MainForm(MainFormEnvironment{});
        if (!window->start(pictures.isEmpty() ? QString() : pictures.constFirst())) {
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
