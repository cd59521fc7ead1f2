#include "cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <QFileInfo>
#include <QImageReader>
#include <QSize>
#include <QString>

#include "cli/LandmarkJson.h"
#include "core/evaluation/evaluate.h"
#include "core/image/CBitmap.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/BinFile.h"
#include "core/records/SystemError.h"

namespace CommandLine {

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
    return kFileError;
}

int dispatch(const std::vector<std::string> &args)
{
    if (args.empty())
        return usageError("no command given");

    const std::string &command = args.front();
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return kDone;
    }
    if (command == "--version") {
        std::cout << "oxel-cli " << OXEL_VERSION << '\n';
        return kDone;
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
        return evaluatePictures(pictures, acceptCupCheck);
    }
    if (command == "landmarks") {
        if (args.size() != 2)
            return usageError("landmarks needs exactly one picture");
        return printLandmarks(args[1], std::cout);
    }
    return usageError("unknown command " + command);
}

// Every box goes to stderr as "Title: text"; the plausibility question is answered by the
// --accept-cup-check flag alone.
class CommandLineMessages final : public StderrMessages
{
public:
    explicit CommandLineMessages(bool acceptInput) : accept(acceptInput) {}

    std::optional<std::string> input(const std::string &prompt, const std::string &title,
        const std::string &defaultText) override
    {
        StderrMessages::input(prompt, title, defaultText);
        if (accept) {
            std::cerr << title << ": accepted (--accept-cup-check)\n";
            return std::string("accepted");
        }
        std::cerr << title << ": not accepted; give --accept-cup-check to accept it\n";
        return std::nullopt;
    }

private:
    bool accept;
};

class Host final : public EvaluationHost
{
public:
    Host(COxel &evaluated, const std::string &picture)
        : measurement(evaluated),
          pictureFolder(QFileInfo(QString::fromStdString(picture)).absolutePath().toStdString())
    {}

    COxel &oxel() override { return measurement; }

    std::string resultFolder() const override { return pictureFolder; }

    void open_Patient(int flags) override
    {
        std::string names;
        for (const auto &name : missingItemNames(flags))
            names += (names.empty() ? "" : ", ") + name;
        showMessage("patient data needed: " + names, "Oxel", MessageIcon::Exclamation);
    }

private:
    COxel &measurement;
    std::string pictureFolder;
};

void tell(const std::string &text, const std::string &title)
{
    showMessage(text, title, MessageIcon::Critical);
}

// The picture's size from its header; the pixels are never decoded.
bool pictureSize(const std::string &picture, std::int16_t &width, std::int16_t &height)
{
    QImageReader reader(QString::fromStdString(picture));
    const QSize size = reader.size();
    if (!size.isValid()) {
        tell("load Error: " + reader.errorString().toStdString(), "Error");
        return false;
    }
    if (!CBitmap::isMeasurableSize(size.width(), size.height())) {
        tell("load Error: " + CBitmap::tooLargeText(size.width(), size.height()), "Error");
        return false;
    }
    width = static_cast<std::int16_t>(size.width());
    height = static_cast<std::int16_t>(size.height());
    return true;
}

// Reads the picture's landmark file into a new measurement, as opening the picture does.
bool loadMeasurement(const std::string &picture, const std::string &landmarkFile, COxel &oxel)
{
    std::int16_t width = 0, height = 0;
    if (!pictureSize(picture, width, height))
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(landmarkFile, ec)) {
        tell("no landmark file " + landmarkFile, "Oxel");
        return false;
    }
    if (!std::ifstream(landmarkFile, std::ios::binary)) {
        tell("cannot read landmark file " + landmarkFile + ": " + systemErrorText(errno), "Oxel");
        return false;
    }
    oxel.setPicBox(nullptr);
    if (!BinFile::read(landmarkFile, width, height, oxel))
        return false; // a damaged file has been named by the reader
    oxel.DatFlag = true;
    return true;
}

int evaluatePicture(const std::string &picture)
{
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    if (!loadMeasurement(picture, landmarkFile, oxel))
        return kFileError;

    if (const int missing = missingPatientData(oxel)) {
        std::string names;
        for (const auto &name : missingItemNames(missing))
            names += (names.empty() ? "" : ", ") + name;
        showMessage("patient data missing: " + names, "Oxel", MessageIcon::Exclamation);
        return kRefused;
    }
    if (!oxel.Valid()) {
        tell("one or more GridLines not set!", "Oxel");
        return kRefused;
    }
    Host host(oxel, picture);
    if (!evaluate(host))
        return kRefused;
    std::string error;
    if (!BinFile::write(landmarkFile, oxel, &error)) {
        tell("could not write " + landmarkFile + ": " + error, "Oxel Error");
        return kRefused;
    }
    return kDone;
}

} // namespace

int run(const std::vector<std::string> &args)
{
    try {
        return dispatch(args);
    } catch (...) {
        const std::string reason = describeException(std::current_exception());
        std::cerr << "Oxel Error: " << reason << std::endl;
        return kFileError;
    }
}

int evaluatePictures(const std::vector<std::string> &pictures, bool acceptCupCheck)
{
    CommandLineMessages messages(acceptCupCheck);
    const ScopedMessages installed(messages);
    int worst = kDone;
    for (const auto &picture : pictures)
        worst = std::max(worst, evaluatePicture(picture));
    return worst;
}

int printLandmarks(const std::string &picture, std::ostream &out)
{
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    bool loaded = false;
    {
        CommandLineMessages messages(false);
        const ScopedMessages installed(messages);
        loaded = loadMeasurement(picture, landmarkFile, oxel);
    }
    if (!loaded)
        return kFileError;
    out << landmarkJson(oxel, picture, landmarkFile);
    return out ? kDone : kFileError;
}

} // namespace CommandLine
