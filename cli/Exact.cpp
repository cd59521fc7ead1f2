#include "cli/Exact.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <ostream>

#include "cli/CommandLine.h"
#include "cli/Json.h"
#include "core/evaluation/EvaluationComparison.h"
#include "core/evaluation/ExactEvaluation.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"

namespace CommandLine {

namespace {

std::string numberOrNull(const std::optional<double> &value)
{
    return value ? Json::number(*value) : "null";
}

std::string sphereJson(const std::optional<ExactSphere> &s)
{
    if (!s)
        return "null";
    return "{\"centre\": [" + Json::number(s->centre[0]) + ", " + Json::number(s->centre[1]) + ", "
        + Json::number(s->centre[2]) + "], \"cranial\": " + Json::number(s->cranial)
        + ", \"medial\": " + Json::number(s->medial) + ", \"antiparameter\": "
        + Json::number(s->antiparameter) + ", \"rms_px\": " + Json::number(s->rms_px) + "}";
}

std::string designedSphereJson(const MigrationValues &v)
{
    if (!v.valid)
        return "null";
    return "{\"centre\": null, \"cranial\": " + Json::number(v.cranial)
        + ", \"medial\": " + Json::number(v.medial)
        + ", \"antiparameter\": " + Json::number(v.antiparameter) + ", \"rms_px\": null}";
}

std::optional<double> designedAnteversion(const ResultBlock &b)
{
    return b.rim ? std::optional<double>(b.rim->anteversion) : std::nullopt;
}

std::string pictureJson(const std::string &picture, const ExactEvaluation &e,
    const std::optional<ResultBlock> &designed, const std::vector<std::string> &notes)
{
    const auto &o = e.orientation;
    std::string json = "{\"picture\": " + Json::quoted(picture);
    json += ", \"inclination\": " + numberOrNull(o ? std::optional(o->inclination) : std::nullopt);
    json += ", \"anteversion\": " + numberOrNull(o ? std::optional(o->anteversion) : std::nullopt);
    json +=
        ", \"opening\": " + (o ? Json::quoted(openingText(o->towardsFocus)) : std::string("null"));
    json += ", \"rim_rms_px\": " + numberOrNull(o ? std::optional(o->rms_px) : std::nullopt);
    json += ", \"head\": " + sphereJson(e.head);
    json += ", \"cup\": " + sphereJson(e.cup);
    json += ", \"designed\": ";
    if (designed) {
        json += "{\"inclination\": " + numberOrNull(designed->inclination);
        json += ", \"anteversion\": " + numberOrNull(designedAnteversion(*designed));
        json += ", \"opening\": null";
        json += ", \"head\": " + designedSphereJson(designed->head);
        json += ", \"cup\": " + designedSphereJson(designed->cup) + "}";
    } else {
        json += "null";
    }
    json += ", \"notes\": [";
    for (std::size_t i = 0; i < notes.size(); ++i)
        json += (i > 0 ? ", " : "") + Json::quoted(notes[i]);
    return json + "]}\n";
}

std::string csvText(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string csvNumber(const std::optional<double> &value)
{
    return value ? Json::number(*value) : "";
}

constexpr const char *kCsvHeader =
    "picture,inclination,anteversion,opening,rim_rms_px,"
    "head_x,head_y,head_z,head_cranial,head_medial,head_antiparameter,head_rms_px,"
    "cup_x,cup_y,cup_z,cup_cranial,cup_medial,cup_antiparameter,cup_rms_px,"
    "designed_inclination,designed_anteversion,"
    "designed_head_cranial,designed_head_medial,designed_head_antiparameter,"
    "designed_cup_cranial,designed_cup_medial,designed_cup_antiparameter,notes\n";

std::string sphereCsv(const std::optional<ExactSphere> &s)
{
    if (!s)
        return ",,,,,,";
    return Json::number(s->centre[0]) + "," + Json::number(s->centre[1]) + ","
        + Json::number(s->centre[2]) + "," + Json::number(s->cranial) + ","
        + Json::number(s->medial) + "," + Json::number(s->antiparameter) + ","
        + Json::number(s->rms_px);
}

std::string designedSphereCsv(const std::optional<ResultBlock> &b, MigrationValues ResultBlock::*v)
{
    if (!b || !((*b).*v).valid)
        return ",,";
    const MigrationValues &m = (*b).*v;
    return Json::number(m.cranial) + "," + Json::number(m.medial) + ","
        + Json::number(m.antiparameter);
}

std::string pictureCsv(const std::string &picture, const ExactEvaluation &e,
    const std::optional<ResultBlock> &designed, const std::vector<std::string> &notes)
{
    const auto &o = e.orientation;
    std::string row = csvText(picture) + ",";
    row += csvNumber(o ? std::optional(o->inclination) : std::nullopt) + ",";
    row += csvNumber(o ? std::optional(o->anteversion) : std::nullopt) + ",";
    row += (o ? std::string(openingText(o->towardsFocus)) : std::string()) + ",";
    row += csvNumber(o ? std::optional(o->rms_px) : std::nullopt) + ",";
    row += sphereCsv(e.head) + "," + sphereCsv(e.cup) + ",";
    row += csvNumber(designed ? designed->inclination : std::nullopt) + ",";
    row += csvNumber(designed ? designedAnteversion(*designed) : std::nullopt) + ",";
    row += designedSphereCsv(designed, &ResultBlock::head) + ",";
    row += designedSphereCsv(designed, &ResultBlock::cup) + ",";
    std::string joined;
    for (const auto &note : notes)
        joined += (joined.empty() ? "" : "; ") + note;
    return row + csvText(joined) + "\n";
}

} // namespace

int exactPictures(const std::vector<std::string> &pictures, bool csv, std::ostream &out)
{
    int worst = kDone;
    if (csv)
        out << kCsvHeader;
    for (const std::string &picture : pictures) {
        COxel oxel;
        if (!readLandmarkFile(picture, BinFile::landmarkPath(picture), oxel)) {
            worst = std::max(worst, kFileError);
            continue;
        }
        const EvaluationComparison comparison = compareEvaluations(oxel);
        const ExactEvaluation &exact = comparison.exact;
        const std::optional<ResultBlock> &designed = comparison.designed;
        const std::vector<std::string> &notes = comparison.notes;
        if (!exact.refusal.empty()) {
            std::cerr << "Oxel: " << picture << ": " << exact.refusal << '\n';
            worst = std::max(worst, kRefused);
        }
        out << (csv ? pictureCsv(picture, exact, designed, notes)
                    : pictureJson(picture, exact, designed, notes));
    }
    out.flush();
    return out ? worst : kFileError;
}

} // namespace CommandLine
