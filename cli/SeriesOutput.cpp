#include "cli/SeriesOutput.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/Json.h"

namespace {

std::string isoDate(const CalendarDate &d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

std::string radiographText(const ResultEntry &e)
{
    return e.radiographDate ? isoDate(*e.radiographDate) : e.datum;
}

std::string jsonNumber(const std::optional<double> &value)
{
    return value ? Json::number(*value) : std::string("null");
}

// Members of one JSON object on one line.
class Members
{
public:
    Members &add(const char *key, const std::string &json)
    {
        text += (text.empty() ? "" : ", ") + Json::quoted(key) + ": " + json;
        return *this;
    }

    Members &add(const char *key, const std::optional<double> &value)
    {
        return add(key, jsonNumber(value));
    }

    std::string object() const { return "{" + text + "}"; }

private:
    std::string text;
};

std::string entryJson(const ResultEntry &e)
{
    Members m;
    m.add("line", std::to_string(e.line)).add("current", Json::boolean(e.current));
    m.add("fileName", Json::quoted(e.fileName)).add("written", Json::quoted(isoDate(e.written)));
    m.add("famname", Json::quoted(e.famname)).add("vorname", Json::quoted(e.vorname));
    m.add("code", Json::quoted(e.code)).add("datum", Json::quoted(e.datum));
    m.add("radiographDate",
        e.radiographDate ? Json::quoted(isoDate(*e.radiographDate)) : std::string("null"));
    m.add("side", Json::quoted(e.sideLeft ? "L" : "R"));
    m.add("typ", std::to_string(e.typ)).add("slFlag", Json::boolean(e.slFlag));
    m.add("headCranial", e.headCranial).add("headMedial", e.headMedial);
    m.add("cupCranial", e.cupCranial).add("cupMedial", e.cupMedial);
    m.add("inclination", e.inclination).add("anteversion", e.anteversion);
    m.add("beta1", Json::number(e.beta1)).add("sign1", Json::quoted(e.sign1));
    m.add("beta2", Json::number(e.beta2)).add("sign2", Json::quoted(e.sign2));
    m.add("headAntiparameter", Json::number(e.headAntiparameter));
    m.add("cupAntiparameter", Json::number(e.cupAntiparameter));
    const Calc::GridDistances &g = e.grid;
    m.add("delx",
        "[" + Json::number(g.delx1) + ", " + Json::number(g.delx2) + ", " + Json::number(g.delx3)
            + "]");
    m.add("dely",
        "[" + Json::number(g.dely1) + ", " + Json::number(g.dely2) + ", " + Json::number(g.dely3)
            + "]");
    m.add("wearX", e.wearX).add("wearY", e.wearY);
    m.add("radiofactor", Json::number(e.radiofactor));
    return m.object();
}

std::string pointJson(const SeriesPoint &p, const ResultEntry &e)
{
    Members changes, rates, m;
    changes.add("headCranial", p.headCranial).add("headMedial", p.headMedial);
    changes.add("cupCranial", p.cupCranial).add("cupMedial", p.cupMedial);
    changes.add("inclination", p.inclination).add("anteversion", p.anteversion);
    changes.add("wearX", p.wearX).add("wearY", p.wearY).add("wear", p.wear);
    rates.add("headCranial", p.headCranialPerYear).add("headMedial", p.headMedialPerYear);
    rates.add("cupCranial", p.cupCranialPerYear).add("cupMedial", p.cupMedialPerYear);
    rates.add("inclination", p.inclinationPerYear).add("anteversion", p.anteversionPerYear);
    rates.add("wear", p.wearPerYear);
    m.add("entry", std::to_string(p.entry)).add("line", std::to_string(e.line));
    m.add("date", Json::quoted(radiographText(e))).add("years", p.years);
    m.add("headBased", Json::boolean(p.headBased)).add("comparable", Json::boolean(p.comparable));
    m.add("remark", Json::quoted(p.remark));
    m.add("changes", changes.object()).add("perYear", rates.object());
    return m.object();
}

// A series on several lines: the patient and side, then a point per line.
std::string seriesObject(const Series &s, const std::vector<ResultEntry> &entries)
{
    std::string out = "{\"famname\": " + Json::quoted(s.famname)
        + ", \"vorname\": " + Json::quoted(s.vorname) + ", \"code\": " + Json::quoted(s.code)
        + ", \"side\": " + Json::quoted(s.sideLeft ? "L" : "R") + ", \"points\": [";
    bool first = true;
    for (const SeriesPoint &p : s.points) {
        if (p.entry >= entries.size())
            continue;
        out += (first ? "\n" : ",\n") + std::string(8, ' ') + pointJson(p, entries[p.entry]);
        first = false;
    }
    return out + (first ? "]}" : "\n      ]}");
}

template <typename Item, typename Write>
std::string jsonList(const std::vector<Item> &items, const std::string &margin, Write write)
{
    if (items.empty())
        return "[]";
    std::string out = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += margin + "  " + write(items[i]) + (i + 1 < items.size() ? ",\n" : "\n");
    return out + margin + "]";
}

std::string fileJson(const LoadedResultFile &loaded)
{
    const SeriesFile &f = loaded.file;
    std::string out = "  {\n    \"file\": " + Json::quoted(f.path) + ",\n";
    if (!loaded.readable)
        return out + "    \"error\": " + Json::quoted(loaded.error) + "\n  }";
    const std::vector<ResultEntry> &entries = f.contents.entries;
    out += "    \"entries\": " + jsonList(entries, "    ", entryJson) + ",\n";
    out += "    \"problems\": " + jsonList(f.contents.problems, "    ", [](const ReadProblem &p) {
        return Members()
            .add("line", std::to_string(p.line))
            .add("reason", Json::quoted(p.reason))
            .object();
    }) + ",\n";
    out += "    \"series\": " + jsonList(f.series, "    ", [&entries](const Series &s) {
        return seriesObject(s, entries);
    }) + "\n";
    return out + "  }";
}

// Two decimals without the locale's separator; "-" for a missing value.
std::string fixed(const std::optional<double> &value)
{
    if (!value)
        return "-";
    char buffer[64];
    // A change that rounds to zero is shown as 0.00, not -0.00.
    const double shown = std::fabs(*value) < 0.005 ? 0.0 : *value;
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, shown, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(buffer, end) : std::string("-");
}

std::string padLeft(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

std::string seriesJson(const std::vector<LoadedResultFile> &files)
{
    std::string out = "[\n";
    for (std::size_t i = 0; i < files.size(); ++i)
        out += fileJson(files[i]) + (i + 1 < files.size() ? ",\n" : "\n");
    return out + "]\n";
}

std::string seriesTable(const std::vector<LoadedResultFile> &files)
{
    std::string out;
    for (const LoadedResultFile &loaded : files) {
        if (!loaded.readable)
            continue;
        const SeriesFile &f = loaded.file;
        out += f.path + "\n";
        if (f.series.empty())
            out += "  no series: no block could be read\n";
        for (const Series &s : f.series) {
            out += "  " + s.famname + ", " + s.vorname
                + (s.code.empty() ? std::string() : " (" + s.code + ")")
                + (s.sideLeft ? ", left hip\n" : ", right hip\n");
            out += "    radiograph     years  cup cranial  cup medial    wear   (mm since the "
                   "baseline)\n";
            for (const SeriesPoint &p : s.points) {
                if (p.entry >= f.contents.entries.size())
                    continue;
                const ResultEntry &e = f.contents.entries[p.entry];
                std::string line = "    " + padRight(radiographText(e), 12)
                    + padLeft(fixed(p.years), 8) + padLeft(fixed(p.cupCranial), 13)
                    + padLeft(fixed(p.cupMedial), 12) + padLeft(fixed(p.wear), 8);
                if (!p.remark.empty())
                    line += "   " + p.remark;
                out += line + "\n";
            }
        }
    }
    return out;
}
