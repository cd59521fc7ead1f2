#include "cli/LandmarkJson.h"

#include <memory>
#include <utility>
#include <vector>

#include "cli/Json.h"
#include "core/model/COxel.h"

namespace {

class Positions
{
public:
    explicit Positions(const COxel &measurement) : oxel(measurement) {}

    std::string mm(double x, double y) const
    {
        return "[" + Json::number(oxel.WorldX(x)) + ", " + Json::number(oxel.WorldY(y)) + "]";
    }

    static std::string px(double x, double y)
    {
        return "[" + Json::number(x) + ", " + Json::number(y) + "]";
    }

    std::string both(double x, double y) const
    {
        return "{\"mm\": " + mm(x, y) + ", \"px\": " + px(x, y) + "}";
    }

    std::string list(const std::vector<std::shared_ptr<CPoint>> &points) const
    {
        std::string mmList, pxList;
        for (const auto &p : points) {
            mmList += (mmList.empty() ? "" : ", ") + mm(p->x, p->y);
            pxList += (pxList.empty() ? "" : ", ") + px(p->x, p->y);
        }
        return "{\"mm\": [" + mmList + "], \"px\": [" + pxList + "]}";
    }

private:
    const COxel &oxel;
};

} // namespace

std::string landmarkJson(
    const COxel &oxel, const std::string &picture, const std::string &landmarkFile)
{
    const Positions pos(oxel);
    const CPatient &p = oxel.Patient;
    std::string out = "{\n";
    out += "  \"picture\": " + Json::quoted(picture) + ",\n";
    out += "  \"landmarkFile\": " + Json::quoted(landmarkFile) + ",\n";
    out += "  \"picturePx\": [" + std::to_string(oxel.WPixel) + ", " + std::to_string(oxel.HPixel)
        + "],\n";
    out += "  \"scale\": {\"pixelsPerMm\": " + Json::number(oxel.ScaleFactor)
        + ", \"pictureWidthMm\": " + Json::number(oxel.WorldWidth()) + "},\n";
    out += "  \"date\": " + Json::quoted(oxel.Datum) + ",\n";
    out += "  \"patient\": {\"Famname\": " + Json::quoted(p.Famname)
        + ", \"Vorname\": " + Json::quoted(p.Vorname) + ", \"Code\": " + Json::quoted(p.Code)
        + ", \"Typ\": " + std::to_string(p.Typ) + ", \"SLFlag\": " + Json::boolean(p.SLFlag)
        + ", \"HeadTR\": " + Json::number(p.HeadTR) + ", \"CupTR\": " + Json::number(p.CupTR)
        + ", \"FocH\": " + Json::number(p.FocH) + ", \"DatFile\": " + Json::quoted(p.DatFile)
        + "},\n";

    const auto lines = oxel.lines();
    out += "  \"lines\": [\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CLine &line = *lines[i];
        out += "    {\"name\": " + Json::quoted(COxel::kLineNames[i]) + ", \"valid\": "
            + Json::boolean(line.Valid) + ", \"P0\": " + pos.both(line.P0.x, line.P0.y)
            + ", \"P1\": " + pos.both(line.P1.x, line.P1.y) + "}";
        out += i + 1 < lines.size() ? ",\n" : "\n";
    }
    out += "  ],\n";

    out += "  \"landmarks\": {\n";
    for (const auto &[name, circle] :
        {std::pair{"Head", &oxel.Head}, std::pair{"Cup", &oxel.Cup}}) {
        out += "    " + Json::quoted(name) + ": {\"valid\": " + Json::boolean(circle->Valid)
            + ", \"points\": " + pos.list(circle->points);
        if (circle->Valid)
            out += ", \"centre\": " + pos.both(circle->M.x, circle->M.y)
                + ", \"radius\": {\"mm\": " + Json::number(oxel.WorldX(circle->r))
                + ", \"px\": " + Json::number(circle->r) + "}";
        out += "},\n";
    }
    const CEllipse &rim = oxel.Rim;
    out += "    \"Rim\": {\"valid\": " + Json::boolean(rim.Valid)
        + ", \"points\": " + pos.list(rim.points);
    if (rim.Valid)
        out += ", \"centre\": " + pos.both(rim.M0.x, rim.M0.y) + ", \"axisEnds\": ["
            + pos.both(rim.M1.x, rim.M1.y) + ", " + pos.both(rim.M2.x, rim.M2.y) + ", "
            + pos.both(rim.M3.x, rim.M3.y) + "]";
    out += "}\n  }\n}\n";
    return out;
}
