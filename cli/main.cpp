// oxel-cli: the evaluation and the landmark files without a window.

#include <string>
#include <vector>

#include <QCoreApplication>

#include "cli/CommandLine.h"

int main(int argc, char *argv[])
{
    // Image format plugins (JPEG, GIF) are found through the application's library paths.
    QCoreApplication app(argc, argv);
    return CommandLine::run(std::vector<std::string>(argv + 1, argv + argc));
}
