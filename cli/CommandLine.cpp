#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>

#include <QImageReader>
#include <QSize>
#include <QString>

#include "LandmarkJson.h"
#include "core/evaluation/evaluate.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/BinFile.h"

namespace CommandLine {

namespace {

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
    explicit Host(COxel &evaluated) : measurement(evaluated) {}

    COxel &oxel() override { return measurement; }

    void open_Patient(int flags) override
    {
        std::string names;
        for (const auto &name : missingItemNames(flags))
            names += (names.empty() ? "" : ", ") + name;
        showMessage("patient data needed: " + names, "Oxel", MessageIcon::Exclamation);
    }

private:
    COxel &measurement;
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
    constexpr int kLargest = std::numeric_limits<std::int16_t>::max();
    if (size.width() > kLargest || size.height() > kLargest) {
        tell("load Error: the picture is larger than " + std::to_string(kLargest)
                + " pixels in one direction",
            "Error");
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
        tell("cannot read landmark file " + landmarkFile + ": " + std::strerror(errno), "Oxel");
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
    Host host(oxel);
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

int evaluatePictures(const std::vector<std::string> &pictures, bool acceptCupCheck)
{
    CommandLineMessages messages(acceptCupCheck);
    setCurrentMessages(&messages);
    int worst = kDone;
    for (const auto &picture : pictures)
        worst = std::max(worst, evaluatePicture(picture));
    setCurrentMessages(nullptr);
    return worst;
}

int printLandmarks(const std::string &picture, std::ostream &out)
{
    CommandLineMessages messages(false);
    setCurrentMessages(&messages);
    const std::string landmarkFile = BinFile::landmarkPath(picture);
    COxel oxel;
    const bool loaded = loadMeasurement(picture, landmarkFile, oxel);
    setCurrentMessages(nullptr);
    if (!loaded)
        return kFileError;
    out << landmarkJson(oxel, picture, landmarkFile);
    return out ? kDone : kFileError;
}

} // namespace CommandLine
