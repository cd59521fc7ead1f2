#include "core/series/ExactSeries.h"

#include <cstdint>

#include "core/model/COxel.h"

namespace {

bool sameDay(const std::string &a, const std::string &b)
{
    if (a == b)
        return true;
    const auto da = ResultFileReader::radiographDate(a);
    const auto db = ResultFileReader::radiographDate(b);
    return da && db && da->year == db->year && da->month == db->month && da->day == db->day;
}

bool isOf(const ExactRadiograph &r, const Series &s, const ResultEntry &e)
{
    return r.sideLeft && *r.sideLeft == s.sideLeft && r.famname == s.famname
        && r.vorname == s.vorname && r.code == s.code && sameDay(r.datum, e.datum);
}

std::optional<double> change(const std::optional<double> &value, const std::optional<double> &base)
{
    if (!value || !base)
        return std::nullopt;
    return *value - *base;
}

ExactQuantities quantitiesOf(const ExactEvaluation &e)
{
    ExactQuantities q;
    if (e.head) {
        q.headCranial = e.head->cranial;
        q.headMedial = e.head->medial;
    }
    if (e.cup) {
        q.cupCranial = e.cup->cranial;
        q.cupMedial = e.cup->medial;
    }
    if (e.orientation) {
        q.inclination = e.orientation->inclination;
        q.anteversion = e.orientation->anteversion;
    }
    return q;
}

std::string absentParts(const ExactEvaluation &e)
{
    std::string text;
    for (const std::string *why : {&e.headAbsent, &e.cupAbsent, &e.orientationAbsent}) {
        if (!why->empty())
            text += (text.empty() ? "" : "; ") + *why;
    }
    return text;
}

std::string namesOf(const std::vector<std::size_t> &indices,
    const std::vector<ExactRadiograph> &radiographs, std::size_t except = SIZE_MAX)
{
    std::string names;
    for (const std::size_t i : indices) {
        if (i != except)
            names += (names.empty() ? "" : ", ") + radiographs[i].landmarkFile;
    }
    return names;
}

} // namespace

bool ExactPoint::hasValues() const
{
    const ExactQuantities &v = values;
    return v.headCranial || v.headMedial || v.cupCranial || v.cupMedial || v.inclination
        || v.anteversion;
}

ExactRadiograph exactRadiograph(const std::string &landmarkFile, const COxel &oxel)
{
    ExactRadiograph r;
    r.landmarkFile = landmarkFile;
    r.famname = oxel.Patient.Famname;
    r.vorname = oxel.Patient.Vorname;
    r.code = oxel.Patient.Code;
    r.datum = oxel.Datum;
    r.exact = evaluateExactly(oxel);
    r.sideLeft = r.exact.sideLeft;
    return r;
}

namespace ExactSeries {

std::vector<ExactPoint> match(const Series &series, const std::vector<ResultEntry> &entries,
    const std::vector<ExactRadiograph> &radiographs)
{
    std::vector<ExactPoint> points(series.points.size());
    for (std::size_t k = 0; k < series.points.size(); ++k) {
        ExactPoint &p = points[k];
        const ResultEntry &entry = entries[series.points[k].entry];
        for (std::size_t i = 0; i < radiographs.size(); ++i) {
            if (isOf(radiographs[i], series, entry))
                p.matches.push_back(i);
        }
        if (p.matches.empty()) {
            p.remark = "no landmark file of this radiograph";
        } else if (p.matches.size() > 1) {
            p.remark = std::to_string(p.matches.size()) + " landmark files of this radiograph ("
                + namesOf(p.matches, radiographs) + "): none taken";
        } else if (const ExactEvaluation &e = radiographs[p.matches.front()].exact;
                   !e.refusal.empty()) {
            p.remark = "exact evaluation refused: " + e.refusal;
        } else {
            p.values = quantitiesOf(e);
            p.remark = absentParts(e);
        }
    }
    if (points.empty())
        return points;

    const ExactQuantities &base = points.front().values;
    const bool baseHasValues = points.front().hasValues();
    for (std::size_t k = 0; k < points.size(); ++k) {
        ExactPoint &p = points[k];
        p.changes.headCranial = change(p.values.headCranial, base.headCranial);
        p.changes.headMedial = change(p.values.headMedial, base.headMedial);
        p.changes.cupCranial = change(p.values.cupCranial, base.cupCranial);
        p.changes.cupMedial = change(p.values.cupMedial, base.cupMedial);
        p.changes.inclination = change(p.values.inclination, base.inclination);
        p.changes.anteversion = change(p.values.anteversion, base.anteversion);
        if (k > 0 && p.hasValues() && !baseHasValues) {
            const std::string note = "the baseline has no exact values: no changes";
            p.remark = p.remark.empty() ? note : note + "; " + p.remark;
        }
    }
    return points;
}

std::vector<std::string> unusedReasons(const std::vector<ExactRadiograph> &radiographs,
    const std::vector<const std::vector<ExactPoint> *> &matched)
{
    std::vector<bool> used(radiographs.size(), false);
    std::vector<std::vector<std::size_t>> sharedWith(radiographs.size());
    for (const std::vector<ExactPoint> *points : matched) {
        for (const ExactPoint &p : *points) {
            if (p.matches.size() == 1 && p.hasValues())
                used[p.matches.front()] = true;
            if (p.matches.size() > 1) {
                for (const std::size_t i : p.matches)
                    sharedWith[i] = p.matches;
            }
        }
    }
    std::vector<std::string> reasons(radiographs.size());
    for (std::size_t i = 0; i < radiographs.size(); ++i) {
        const ExactRadiograph &r = radiographs[i];
        if (used[i])
            continue;
        if (!r.exact.refusal.empty())
            reasons[i] = "exact evaluation refused: " + r.exact.refusal;
        else if (!r.sideLeft)
            reasons[i] = "the grid gives no side";
        else if (!sharedWith[i].empty())
            reasons[i] = "of the same radiograph as " + namesOf(sharedWith[i], radiographs, i)
                + ": neither taken";
        else
            reasons[i] = "no series of the open result files has its radiograph (" + r.famname
                + ", " + r.vorname + ", " + r.code + ", " + (*r.sideLeft ? "left" : "right") + ", "
                + r.datum + ")";
    }
    return reasons;
}

} // namespace ExactSeries
