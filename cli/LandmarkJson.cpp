#include "cli/LandmarkJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "core/model/COxel.h"

namespace {

// The shortest text that reads back as the same double; JSON has no NaN or infinity.
std::string number(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string boolean(bool value)
{
    return value ? "true" : "false";
}

class Positions
{
public:
    explicit Positions(const COxel &measurement) : oxel(measurement) {}

    std::string mm(double x, double y) const
    {
        return "[" + number(oxel.WorldX(x)) + ", " + number(oxel.WorldY(y)) + "]";
    }

    static std::string px(double x, double y) { return "[" + number(x) + ", " + number(y) + "]"; }

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
    out += "  \"picture\": " + quoted(picture) + ",\n";
    out += "  \"landmarkFile\": " + quoted(landmarkFile) + ",\n";
    out += "  \"picturePx\": [" + std::to_string(oxel.WPixel) + ", " + std::to_string(oxel.HPixel)
        + "],\n";
    out += "  \"scale\": {\"pixelsPerMm\": " + number(oxel.ScaleFactor)
        + ", \"pictureWidthMm\": " + number(oxel.WorldWidth()) + "},\n";
    out += "  \"date\": " + quoted(oxel.Datum) + ",\n";
    out += "  \"patient\": {\"Famname\": " + quoted(p.Famname)
        + ", \"Vorname\": " + quoted(p.Vorname) + ", \"Code\": " + quoted(p.Code)
        + ", \"Typ\": " + std::to_string(p.Typ) + ", \"SLFlag\": " + boolean(p.SLFlag)
        + ", \"HeadTR\": " + number(p.HeadTR) + ", \"CupTR\": " + number(p.CupTR)
        + ", \"FocH\": " + number(p.FocH) + ", \"DatFile\": " + quoted(p.DatFile) + "},\n";

    const auto lines = oxel.lines();
    out += "  \"lines\": [\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CLine &line = *lines[i];
        out += "    {\"name\": " + quoted(COxel::kLineNames[i])
            + ", \"valid\": " + boolean(line.Valid) + ", \"P0\": " + pos.both(line.P0.x, line.P0.y)
            + ", \"P1\": " + pos.both(line.P1.x, line.P1.y) + "}";
        out += i + 1 < lines.size() ? ",\n" : "\n";
    }
    out += "  ],\n";

    out += "  \"landmarks\": {\n";
    for (const auto &[name, circle] :
        {std::pair{"Head", &oxel.Head}, std::pair{"Cup", &oxel.Cup}}) {
        out += "    " + quoted(name) + ": {\"valid\": " + boolean(circle->Valid)
            + ", \"points\": " + pos.list(circle->points);
        if (circle->Valid)
            out += ", \"centre\": " + pos.both(circle->M.x, circle->M.y) + ", \"radius\": {\"mm\": "
                + number(oxel.WorldX(circle->r)) + ", \"px\": " + number(circle->r) + "}";
        out += "},\n";
    }
    const CEllipse &rim = oxel.Rim;
    out +=
        "    \"Rim\": {\"valid\": " + boolean(rim.Valid) + ", \"points\": " + pos.list(rim.points);
    if (rim.Valid)
        out += ", \"centre\": " + pos.both(rim.M0.x, rim.M0.y) + ", \"axisEnds\": ["
            + pos.both(rim.M1.x, rim.M1.y) + ", " + pos.both(rim.M2.x, rim.M2.y) + ", "
            + pos.both(rim.M3.x, rim.M3.y) + "]";
    out += "}\n  }\n}\n";
    return out;
}
