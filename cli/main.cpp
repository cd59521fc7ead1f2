// oxel-cli: the evaluation, the landmark files, the pictures and the result files' series
// without a window (the usage text is CommandLine's).

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
