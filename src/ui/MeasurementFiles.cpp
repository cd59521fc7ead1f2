#include "ui/MeasurementFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "core/image/DicomPicture.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/BinFile.h"
#include "core/records/SafeFile.h"
#include "core/records/SystemError.h"
#include "ui/PictureHeader.h"

namespace MeasurementFiles {

namespace {

void tell(const std::string &text, const std::string &title)
{
    showMessage(text, title, MessageIcon::Critical);
}

// What loading a folder's files would have shown, one file at a time, so that a damaged file
// costs a line in a list rather than a box the operator has to close.
class CollectedMessages final : public Messages
{
public:
    MessageAnswer message(
        const std::string &text, const std::string &, MessageIcon, MessageButtons buttons) override
    {
        texts.push_back(text);
        // Nobody is asked: whatever a question offers to do is not done.
        switch (buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
            break;
        }
        return MessageAnswer::Cancel;
    }

    std::optional<std::string> input(
        const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }

    // The texts since the last call, joined; a line feed inside one becomes a space.
    std::string take()
    {
        std::string joined;
        for (const std::string &t : texts) {
            std::string line = t;
            std::replace(line.begin(), line.end(), '\n', ' ');
            joined += (joined.empty() ? "" : "; ") + line;
        }
        texts.clear();
        return joined.empty() ? std::string("could not be read") : joined;
    }

private:
    std::vector<std::string> texts;
};

// Paths travel as UTF-8, whatever the locale, as everywhere in the program.
std::string utf8(const std::filesystem::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string lowerExtension(const std::filesystem::path &path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool isPicture(const std::filesystem::path &path)
{
    static const std::set<std::string> kExtensions = {
        ".bmp", ".jpg", ".jpeg", ".gif", ".png", ".tif", ".tiff", ".dcm", ".dicom"};
    const std::string ext = lowerExtension(path);
    if (ext.empty())
        return DicomPicture::isDicomFile(utf8(path)); // archives drop the extension
    return kExtensions.count(ext) > 0;
}

} // namespace

bool pictureSize(const std::string &picture, std::int16_t &width, std::int16_t &height)
{
    PictureFacts facts;
    std::string error;
    if (!readPictureFacts(picture, facts, error)) {
        tell("load Error: " + error, "Error");
        return false;
    }
    width = static_cast<std::int16_t>(facts.width);
    height = static_cast<std::int16_t>(facts.height);
    return true;
}

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

std::vector<FolderProblem> readFolder(const std::string &folder,
    const std::function<void(
        const std::string &picture, const std::string &landmarkFile, const COxel &oxel)> &take)
{
    namespace fs = std::filesystem;
    std::vector<FolderProblem> problems;
    std::vector<fs::path> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(
        SafeFile::fromUtf8(folder), fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            files.push_back(it->path());
    }
    if (ec)
        problems.push_back({folder, "the folder could not be read to its end: " + ec.message()});
    std::sort(files.begin(), files.end());

    // Which pictures each landmark file lies beside: a.bmp and a.jpg share a.bin.
    std::map<std::string, std::vector<std::string>> picturesOf;
    for (const fs::path &file : files) {
        if (lowerExtension(file) == ".bin")
            picturesOf[utf8(file)];
    }
    for (const fs::path &file : files) {
        if (lowerExtension(file) == ".bin")
            continue;
        // Only a file with a landmark file beside it is looked into: telling a DICOM file without
        // an extension reads its first bytes.
        const auto found = picturesOf.find(BinFile::landmarkPath(utf8(file)));
        if (found != picturesOf.end() && isPicture(file))
            found->second.push_back(utf8(file));
    }

    CollectedMessages messages;
    const ScopedMessages installed(messages);
    for (const auto &[landmarkFile, pictures] : picturesOf) {
        if (pictures.empty()) {
            problems.push_back({landmarkFile, "no picture beside it to give its size"});
            continue;
        }
        if (pictures.size() > 1) {
            std::string names;
            for (const std::string &p : pictures)
                names += (names.empty() ? "" : ", ") + utf8(SafeFile::fromUtf8(p).filename());
            problems.push_back({landmarkFile,
                "lies beside several pictures (" + names + "): which one it measures is unknown"});
            continue;
        }
        COxel oxel;
        if (!loadMeasurement(pictures.front(), landmarkFile, oxel)) {
            problems.push_back({landmarkFile, messages.take()});
            continue;
        }
        take(pictures.front(), landmarkFile, oxel);
    }
    return problems;
}

} // namespace MeasurementFiles
