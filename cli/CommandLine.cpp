#include "cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <new>
#include <set>
#include <string_view>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include "cli/Exact.h"
#include "cli/LandmarkJson.h"
#include "cli/PictureFacts.h"
#include "cli/Refine.h"
#include "cli/SeriesOutput.h"
#include "core/evaluation/evaluate.h"
#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/GreyMapping.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/BinFile.h"
#include "core/records/SafeFile.h"
#include "core/records/SystemError.h"
#include "core/series/SeriesCsv.h"
#include "ui/MeasurementFiles.h"
#include "ui/PictureLoader.h"

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
  oxel-cli info PICTURE...
      Prints what each picture's header says, as a JSON array: format and size, and
      for DICOM the bits, photometric interpretation, transfer syntax, the pixel
      spacing used and its tag, the focus distance, the patient's name, the date and
      the windows. The pixels are not decoded.
  oxel-cli render PICTURE OUT.png [--window CENTER,WIDTH]
      Writes the 8-bit grey picture as the window shows it after opening, as PNG.
      --window shows a grey DICOM picture under this linear window instead.
  oxel-cli series FILE.dat... [--csv|--json]
      Reads result files and prints each patient's hip over time: per radiograph
      the years since the first one and the cup migration and wear since then, as
      a table; --csv prints every block with its changes and rates per year as CSV,
      --json every block, the problems met and the series as JSON. A block that
      cannot be read is named on stderr as "FILE:LINE: reason".
  oxel-cli refine PICTURE... [--dry-run]
      Moves the head, cup and rim points of each picture's landmark file onto the
      outline in the picture as loaded, fits each landmark again and writes the
      landmark file back when a point moved; --dry-run only prints. Per landmark:
        PICTURE: head: 9 of 9 points snapped, moved 0.42 px rms, 1.10 px at most;
          radius 80.31 -> 80.52 px, centre moved 0.21 px
      The rim gives "half axes A x B -> A x B px". Points that found no edge add
      ", N found no edge" with the reasons; a landmark that keeps its points ends
      "; the points stay as stored" and says why. Then "PICTURE: written to FILE",
      "dry run, FILE not written" or "nothing moved, FILE left as it was". Moves
      under 0.10 px count as on the outline already.
  oxel-cli exact [--csv] PICTURE...
      Evaluates each picture's landmark file exactly, as the central projection
      from the focus it is (the patient's focus distance is needed), and as "Write
      Data" would, for comparison; writes nothing. Per picture one JSON object on a
      line: inclination, anteversion, opening ("towards the focus" or "away from the
      focus"), head and cup (centre [x, y, z] in the base-line frame, cranial,
      medial, antiparameter in mm, rms_px: the clicked points' distance from the
      exact outline), "designed" with the designed values, and notes. --csv prints
      a header and one row per picture.
  oxel-cli --help | --version

Pictures are bitmaps, JPEG, GIF, PNG and DICOM files (recognised by their content).
Messages go to stderr as "Title: text". Exit status: 0 all done, 1 an evaluation was
refused (series: blocks of a result file were skipped; refine: a landmark could not
be refined or none is fitted; exact: a picture could not be evaluated exactly), 2
usage or file errors; with several files the others are still done and the worst
status is returned.
)";

int usageError(const std::string &why)
{
    std::cerr << "oxel-cli: " << why << "\n\n" << kUsage;
    return kFileError;
}

// A command's arguments: its options and the operands (the files), in their order.
struct Arguments
{
    std::map<std::string, std::string> options; // a flag's value is empty
    std::vector<std::string> operands;
    std::string fault; // why the arguments were refused
};

// Splits the arguments after the command (args[0]) into the flags and the options with a value
// that the command knows, and the operands; "--" ends the options. False, with the fault, for
// any other option and for an option without its value.
bool splitArguments(const std::vector<std::string> &args, const std::set<std::string> &flags,
    const std::set<std::string> &valued, Arguments &out)
{
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (flags.count(arg) > 0) {
            out.options[arg];
        } else if (valued.count(arg) > 0) {
            if (i + 1 >= args.size()) {
                out.fault = arg + " needs a value";
                return false;
            }
            out.options[arg] = args[++i];
        } else {
            out.fault = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

// A window given as "CENTER,WIDTH"; empty when the text is not two finite numbers or the
// width is narrower than a linear window can be.
std::optional<RenderWindow> parseWindow(const std::string &text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const auto numberOf = [](std::string_view part) -> std::optional<double> {
        double value = 0;
        const char *end = part.data() + part.size();
        const auto [stop, ec] = std::from_chars(part.data(), end, value);
        if (part.empty() || ec != std::errc() || stop != end || !std::isfinite(value))
            return std::nullopt;
        return value;
    };
    const std::string_view all(text);
    const std::optional<double> center = numberOf(all.substr(0, comma));
    const std::optional<double> width = numberOf(all.substr(comma + 1));
    if (!center || !width || !GreyMapping::window(*center, *width).window.isUsable())
        return std::nullopt;
    return RenderWindow{*center, *width};
}

bool isPngName(const std::string &path)
{
    const std::filesystem::path name = SafeFile::fromUtf8(path);
    std::string extension = name.extension().string();
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png" && name.stem() != "";
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
        Arguments a;
        if (!splitArguments(args, {"--accept-cup-check"}, {}, a))
            return usageError(a.fault);
        if (a.operands.empty())
            return usageError("evaluate needs at least one picture");
        return evaluatePictures(a.operands, a.options.count("--accept-cup-check") > 0);
    }
    if (command == "landmarks") {
        if (args.size() != 2)
            return usageError("landmarks needs exactly one picture");
        return printLandmarks(args[1], std::cout);
    }
    if (command == "info") {
        Arguments a;
        if (!splitArguments(args, {}, {}, a))
            return usageError(a.fault);
        if (a.operands.empty())
            return usageError("info needs at least one picture");
        return printInfo(a.operands, std::cout);
    }
    if (command == "render") {
        Arguments a;
        if (!splitArguments(args, {}, {"--window"}, a))
            return usageError(a.fault);
        std::optional<RenderWindow> window;
        if (const auto given = a.options.find("--window"); given != a.options.end()) {
            window = parseWindow(given->second);
            if (!window)
                return usageError("--window needs CENTER,WIDTH: two numbers, the width at least "
                                  "1, not "
                    + given->second);
        }
        if (a.operands.size() != 2)
            return usageError("render needs a picture and the PNG file to write");
        if (!isPngName(a.operands[1]))
            return usageError(
                "render writes PNG: the file to write must end in .png, not " + a.operands[1]);
        return renderPicture(a.operands[0], a.operands[1], window);
    }
    if (command == "refine") {
        Arguments a;
        if (!splitArguments(args, {"--dry-run"}, {}, a))
            return usageError(a.fault);
        if (a.operands.empty())
            return usageError("refine needs at least one picture");
        return refinePictures(a.operands, a.options.count("--dry-run") > 0, std::cout);
    }
    if (command == "exact") {
        Arguments a;
        if (!splitArguments(args, {"--csv"}, {}, a))
            return usageError(a.fault);
        if (a.operands.empty())
            return usageError("exact needs at least one picture");
        return exactPictures(a.operands, a.options.count("--csv") > 0, std::cout);
    }
    if (command == "series") {
        Arguments a;
        if (!splitArguments(args, {"--csv", "--json"}, {}, a))
            return usageError(a.fault);
        const bool csv = a.options.count("--csv") > 0, json = a.options.count("--json") > 0;
        if (csv && json)
            return usageError("series prints --csv or --json, not both");
        if (a.operands.empty())
            return usageError("series needs at least one result file");
        SeriesFormat format = SeriesFormat::Table;
        if (csv)
            format = SeriesFormat::Csv;
        else if (json)
            format = SeriesFormat::Json;
        return printSeries(a.operands, format, std::cout);
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

// The picture as the window shows it after opening: the pixel buffer's rows, top to bottom,
// through its colour table.
QImage shownPicture(const CBitmap &bitmap)
{
    QImage image(bitmap.W, bitmap.H, QImage::Format_Grayscale8);
    if (image.isNull())
        throw std::bad_alloc();
    const std::array<std::uint8_t, 256> &table = bitmap.colorTable();
    for (int y = 0; y < bitmap.H; ++y) {
        const std::uint8_t *row = bitmap.scanLine(y);
        std::uint8_t *out = image.scanLine(y);
        for (int x = 0; x < bitmap.W; ++x)
            out[x] = table[row[x]];
    }
    return image;
}

int evaluatePicture(const std::string &picture)
{
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    if (!MeasurementFiles::loadMeasurement(picture, landmarkFile, oxel))
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

bool readLandmarkFile(const std::string &picture, const std::string &landmarkFile, COxel &oxel)
{
    return MeasurementFiles::loadMeasurement(picture, landmarkFile, oxel);
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

int printInfo(const std::vector<std::string> &pictures, std::ostream &out)
{
    CommandLineMessages messages(false);
    const ScopedMessages installed(messages);
    int worst = kDone;
    std::string json = "[\n";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        PictureFacts facts;
        std::string error;
        if (readPictureFacts(pictures[i], facts, error)) {
            json += pictureFactsJson(pictures[i], facts, 2);
        } else {
            tell("load Error: " + error, "Error");
            json += pictureErrorJson(pictures[i], error, 2);
            worst = kFileError;
        }
        json += i + 1 < pictures.size() ? ",\n" : "\n";
    }
    out << json << "]\n";
    return out ? worst : kFileError;
}

int renderPicture(
    const std::string &picture, const std::string &png, const std::optional<RenderWindow> &window)
{
    CommandLineMessages messages(false);
    const ScopedMessages installed(messages);
    const auto notGreyDicom = [&picture](const std::string &what) {
        return usageError(
            "--window applies only to grey DICOM pictures; " + picture + " is " + what);
    };
    // Known before the picture is decoded, when it can be.
    std::error_code ec;
    if (window && std::filesystem::is_regular_file(SafeFile::fromUtf8(picture), ec)
        && !DicomPicture::isDicomFile(picture))
        return notGreyDicom("not DICOM");
    std::string error;
    PictureLoader::Picture opened = PictureLoader::open(QFile::decodeName(picture.c_str()), error);
    if (!opened.bitmap) {
        tell("load Error: " + error, "Error");
        return kFileError;
    }
    if (window) {
        if (!opened.dicom || opened.dicom->isColour())
            return notGreyDicom(opened.dicom ? "a colour DICOM picture" : "not DICOM");
        const GreyMapping mapping(
            *opened.dicom, GreyMapping::window(window->center, window->width));
        if (!mapping.show(*opened.dicom, *opened.bitmap, error)) {
            tell("load Error: " + error, "Error");
            return kFileError;
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(shownPicture(*opened.bitmap))) {
        tell("could not write " + png + ": " + writer.errorString().toStdString(), "Oxel Error");
        return kFileError;
    }
    if (!SafeFile::replace(png,
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error)) {
        tell("could not write " + png + ": " + error, "Oxel Error");
        return kFileError;
    }
    return kDone;
}

int printSeries(const std::vector<std::string> &files, SeriesFormat format, std::ostream &out)
{
    std::vector<LoadedResultFile> loaded(files.size());
    int worst = kDone;
    for (std::size_t i = 0; i < files.size(); ++i) {
        LoadedResultFile &f = loaded[i];
        if (!SeriesBuilder::load(files[i], f.file, f.error)) {
            std::cerr << files[i] << ": cannot be read: " << f.error << '\n';
            worst = kFileError;
            continue;
        }
        f.readable = true;
        for (const ReadProblem &p : f.file.contents.problems) {
            std::cerr << files[i];
            if (p.line > 0)
                std::cerr << ':' << p.line;
            std::cerr << ": " << p.reason << '\n';
            worst = std::max(worst, kBlocksSkipped);
        }
    }
    switch (format) {
    case SeriesFormat::Csv: {
        std::vector<SeriesFile> readable;
        for (LoadedResultFile &f : loaded) {
            if (f.readable)
                readable.push_back(std::move(f.file));
        }
        out << SeriesCsv::format(readable);
        break;
    }
    case SeriesFormat::Json:
        out << seriesJson(loaded);
        break;
    case SeriesFormat::Table:
        out << seriesTable(loaded);
        break;
    }
    out.flush();
    return out ? worst : kFileError;
}

int printLandmarks(const std::string &picture, std::ostream &out)
{
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    bool loaded = false;
    {
        CommandLineMessages messages(false);
        const ScopedMessages installed(messages);
        loaded = MeasurementFiles::loadMeasurement(picture, landmarkFile, oxel);
    }
    if (!loaded)
        return kFileError;
    out << landmarkJson(oxel, picture, landmarkFile);
    return out ? kDone : kFileError;
}

} // namespace CommandLine
