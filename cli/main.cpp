// oxel-cli: the evaluation and the landmark files without a window.

#include "CommandLine.h"

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char *kUsage = R"(usage:
  oxel-cli evaluate [--accept-cup-check] PICTURE...
      Evaluates each picture's landmark file (the picture's path with ".bin") as
      "Write Data" does, appends the block to the patient's result file and writes
      the landmark file back. Without --accept-cup-check an implausible cup diameter
      refuses the evaluation.
  oxel-cli landmarks PICTURE
      Prints the picture's landmark file as JSON, positions in mm and in pixels.
  oxel-cli --help | --version

Messages go to stderr as "Title: text". Exit status: 0 all evaluated, 1 an evaluation was
refused, 2 usage or file errors.
)";

int usageError(const std::string &why)
{
    std::cerr << "oxel-cli: " << why << "\n\n" << kUsage;
    return CommandLine::kFileError;
}

} // namespace

int main(int argc, char *argv[])
{
    // Image format plugins (JPEG, GIF) are found through the application's library paths.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");

    const std::string command = args.front();
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return CommandLine::kDone;
    }
    if (command == "--version") {
        std::cout << "oxel-cli " << OXEL_VERSION << '\n';
        return CommandLine::kDone;
    }
    if (command == "evaluate") {
        bool acceptCupCheck = false;
        std::vector<std::string> pictures;
        bool optionsEnded = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string &arg = args[i];
            if (!optionsEnded && arg == "--accept-cup-check")
                acceptCupCheck = true;
            else if (!optionsEnded && arg == "--")
                optionsEnded = true;
            else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
                return usageError("unknown option " + arg);
            else
                pictures.push_back(arg);
        }
        if (pictures.empty())
            return usageError("evaluate needs at least one picture");
        return CommandLine::evaluatePictures(pictures, acceptCupCheck);
    }
    if (command == "landmarks") {
        if (args.size() != 2)
            return usageError("landmarks needs exactly one picture");
        return CommandLine::printLandmarks(args[1], std::cout);
    }
    return usageError("unknown command " + command);
}
