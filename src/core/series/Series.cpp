#include "core/series/Series.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unordered_map>

#include "core/records/CPatient.h"

namespace SeriesBuilder {

namespace {

constexpr double kDaysPerYear = 365.25;

long dayNumber(const CalendarDate &date)
{
    using namespace std::chrono;
    const year_month_day day{year{date.year}, month{static_cast<unsigned>(date.month)},
        std::chrono::day{static_cast<unsigned>(date.day)}};
    return sys_days(day).time_since_epoch().count();
}

std::optional<double> change(const std::optional<double> &value, const std::optional<double> &base)
{
    if (!value || !base)
        return std::nullopt;
    return *value - *base;
}

std::optional<double> perYear(
    const std::optional<double> &value, const std::optional<double> &years)
{
    if (!value || !years || *years <= 0)
        return std::nullopt;
    return *value / *years;
}

std::string referenceName(bool headBased)
{
    return headBased ? "head-based" : "cup-based";
}

void compare(SeriesPoint &p, const ResultEntry &e, const ResultEntry &base, bool baseHeadBased,
    const std::optional<long> &day, const std::optional<long> &baseDay)
{
    p.headBased = isHeadBased(e.typ);
    if (day && baseDay)
        p.years = static_cast<double>(*day - *baseDay) / kDaysPerYear;
    else
        p.remark = "the date of the radiograph \"" + e.datum
            + "\" is not a day of the calendar: no years or rates";

    // The cup's orientation is measured on the rim alone, whichever sphere set the scale.
    p.inclination = change(e.inclination, base.inclination);
    p.anteversion = change(e.anteversion, base.anteversion);
    p.comparable = p.headBased == baseHeadBased;
    if (p.comparable) {
        p.headCranial = change(e.headCranial, base.headCranial);
        p.headMedial = change(e.headMedial, base.headMedial);
        p.cupCranial = change(e.cupCranial, base.cupCranial);
        p.cupMedial = change(e.cupMedial, base.cupMedial);
        p.wearX = change(e.wearX, base.wearX);
        p.wearY = change(e.wearY, base.wearY);
        if (p.wearX && p.wearY)
            p.wear = std::hypot(*p.wearX, *p.wearY);
    } else {
        // Migration and wear rest on the height of the reference sphere above the film; with the
        // other sphere that height, and every distance with it, changes, which would read as
        // movement of the implant.
        const std::string remark = referenceName(p.headBased) + " evaluation, baseline "
            + referenceName(baseHeadBased) + ": migration and wear not compared";
        p.remark = p.remark.empty() ? remark : remark + "; " + p.remark;
    }

    p.headCranialPerYear = perYear(p.headCranial, p.years);
    p.headMedialPerYear = perYear(p.headMedial, p.years);
    p.cupCranialPerYear = perYear(p.cupCranial, p.years);
    p.cupMedialPerYear = perYear(p.cupMedial, p.years);
    p.inclinationPerYear = perYear(p.inclination, p.years);
    p.anteversionPerYear = perYear(p.anteversion, p.years);
    p.wearPerYear = perYear(p.wear, p.years);
}

} // namespace

std::vector<Series> build(const std::vector<ResultEntry> &entries)
{
    std::vector<Series> series;
    std::unordered_map<std::string, std::size_t> seriesOf;
    std::string key;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ResultEntry &e = entries[i];
        if (!e.current)
            continue;
        key.clear();
        for (const std::string *part : {&e.famname, &e.vorname, &e.code}) {
            key += *part;
            key += '\0';
        }
        key += e.sideLeft ? 'L' : 'R';
        const auto [found, added] = seriesOf.emplace(key, series.size());
        if (added)
            series.push_back(Series{e.famname, e.vorname, e.code, e.sideLeft, {}});
        SeriesPoint point;
        point.entry = i;
        series[found->second].points.push_back(std::move(point));
    }

    std::vector<std::optional<long>> days(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].current && entries[i].radiographDate)
            days[i] = dayNumber(*entries[i].radiographDate);
    }
    for (Series &s : series) {
        std::stable_sort(
            s.points.begin(), s.points.end(), [&days](const SeriesPoint &a, const SeriesPoint &b) {
                const std::optional<long> &da = days[a.entry], &db = days[b.entry];
                return da && (!db || *da < *db);
            });
        const std::size_t baseIndex = s.points.front().entry;
        const ResultEntry &base = entries[baseIndex];
        const bool baseHeadBased = isHeadBased(base.typ);
        for (SeriesPoint &p : s.points)
            compare(p, entries[p.entry], base, baseHeadBased, days[p.entry], days[baseIndex]);
    }
    return series;
}

bool load(const std::string &path, SeriesFile &file, std::string &error)
{
    file.path = path;
    file.contents = {};
    file.series.clear();
    if (!ResultFileReader::read(path, file.contents, error))
        return false;
    file.series = build(file.contents.entries);
    return true;
}

} // namespace SeriesBuilder
