#include "cli/PictureFacts.h"

#include <utility>
#include <vector>

#include "cli/Json.h"
#include "core/image/DicomScan.h"

namespace {

// The members of one JSON object in order, each written on a line of its own.
class JsonObject
{
public:
    explicit JsonObject(int indent) : margin(static_cast<std::size_t>(indent), ' ') {}

    JsonObject &add(const std::string &key, const std::string &json)
    {
        members.emplace_back(key, json);
        return *this;
    }

    std::string text() const
    {
        std::string out = margin + "{\n";
        for (std::size_t i = 0; i < members.size(); ++i)
            out += margin + "  " + Json::quoted(members[i].first) + ": " + members[i].second
                + (i + 1 < members.size() ? ",\n" : "\n");
        return out + margin + "}";
    }

private:
    std::string margin;
    std::vector<std::pair<std::string, std::string>> members;
};

std::string functionName(DicomHeader::VoiFunction function)
{
    switch (function) {
    case DicomHeader::VoiFunction::LinearExact:
        return "LINEAR_EXACT";
    case DicomHeader::VoiFunction::Sigmoid:
        return "SIGMOID";
    case DicomHeader::VoiFunction::Linear:
        break;
    }
    return "LINEAR";
}

template <typename Item, typename Describe>
std::string list(const std::vector<Item> &items, Describe describe)
{
    std::string out;
    for (const Item &item : items)
        out += (out.empty() ? "" : ", ") + describe(item);
    return "[" + out + "]";
}

void addDicom(JsonObject &object, const DicomHeader &h)
{
    object.add("frames", std::to_string(h.frameCount))
        .add("samplesPerPixel", std::to_string(h.samplesPerPixel))
        .add("bitsAllocated", std::to_string(h.bitsAllocated))
        .add("bitsStored", std::to_string(h.bitsStored))
        .add("signed", Json::boolean(h.isSigned))
        .add("photometricInterpretation", Json::quoted(h.photometricInterpretation))
        .add("transferSyntax",
            "{\"uid\": " + Json::quoted(h.transferSyntaxUid) + ", \"name\": "
                + Json::quoted(DicomScan::transferSyntaxName(h.transferSyntaxUid)) + "}");
    if (h.spacing)
        object.add("spacing",
            "{\"mmPerPixel\": " + Json::number(h.spacing->mmPerPixel())
                + ", \"rowMm\": " + Json::number(h.spacing->rowMm)
                + ", \"columnMm\": " + Json::number(h.spacing->columnMm)
                + ", \"tag\": " + Json::quoted(h.spacing->sourceText()) + "}");
    else
        object.add("spacing", "null");
    object
        .add("focusDistanceMm", h.sourceToDetectorMm ? Json::number(*h.sourceToDetectorMm) : "null")
        .add("patient",
            "{\"familyName\": " + Json::quoted(h.familyName)
                + ", \"givenName\": " + Json::quoted(h.givenName) + "}")
        .add("date", Json::quoted(h.date))
        .add("windows",
            list(h.windows,
                [](const DicomHeader::Window &w) {
                    return "{\"center\": " + Json::number(w.center)
                        + ", \"width\": " + Json::number(w.width)
                        + ", \"function\": " + Json::quoted(functionName(w.function))
                        + ", \"explanation\": " + Json::quoted(w.explanation) + "}";
                }))
        .add("voiLuts",
            list(h.voiLuts,
                [](const DicomHeader::Lut &lut) {
                    return "{\"entries\": " + std::to_string(lut.entries.size())
                        + ", \"explanation\": " + Json::quoted(lut.explanation) + "}";
                }))
        .add("warnings", list(h.warnings, [](const std::string &w) { return Json::quoted(w); }));
}

} // namespace

std::string pictureFactsJson(const std::string &picture, const PictureFacts &facts, int indent)
{
    JsonObject object(indent);
    object.add("picture", Json::quoted(picture))
        .add("format", Json::quoted(facts.format))
        .add("picturePx",
            "[" + std::to_string(facts.width) + ", " + std::to_string(facts.height) + "]");
    if (facts.dicom)
        addDicom(object, *facts.dicom);
    return object.text();
}

std::string pictureErrorJson(const std::string &picture, const std::string &error, int indent)
{
    return JsonObject(indent)
        .add("picture", Json::quoted(picture))
        .add("error", Json::quoted(error))
        .text();
}
