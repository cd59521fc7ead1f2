#include "core/series/SeriesCsv.h"

#include <cstdio>

#include "core/evaluation/ResultFile.h"

namespace SeriesCsv {

namespace {

// The columns as SeriesCsv.h lists them.
constexpr const char *kHeader = "file,line,current,family_name,first_name,study_id,side,"
                                "radiograph_date,written,type,sl_flag,"
                                "head_cranial,head_medial,cup_cranial,cup_medial,"
                                "inclination,anteversion,beta1,sign1,beta2,sign2,"
                                "antiparameter_head,antiparameter_cup,"
                                "delx1,delx2,delx3,dely1,dely2,dely3,wear_x,wear_y,radiofactor,"
                                "years,head_cranial_change,head_medial_change,"
                                "cup_cranial_change,cup_medial_change,inclination_change,"
                                "anteversion_change,wear_x_change,wear_y_change,"
                                "wear_change_length,head_cranial_per_year,"
                                "head_medial_per_year,cup_cranial_per_year,cup_medial_per_year,"
                                "inclination_per_year,anteversion_per_year,wear_per_year,"
                                "comparable,remark";
constexpr const char *kExactHeader =
    ",exact_head_cranial,exact_head_medial,exact_cup_cranial,exact_cup_medial,"
    "exact_inclination,exact_anteversion,exact_head_cranial_change,exact_head_medial_change,"
    "exact_cup_cranial_change,exact_cup_medial_change,exact_inclination_change,"
    "exact_anteversion_change,exact_remark";

std::string isoDate(const CalendarDate &d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

class Row
{
public:
    explicit Row(std::string &target) : out(target) {}

    Row &text(std::string_view value)
    {
        separate();
        if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
            out += value;
            return *this;
        }
        out += '"';
        for (const char c : value) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
        return *this;
    }

    Row &number(double value) { return text(ResultFile::formatNumber(value)); }

    Row &number(const std::optional<double> &value) { return value ? number(*value) : text({}); }

    Row &integer(long value) { return text(std::to_string(value)); }

    Row &flag(bool value) { return text(value ? "1" : "0"); }

    void end()
    {
        out += "\r\n";
        first = true;
    }

private:
    void separate()
    {
        if (!first)
            out += ',';
        first = false;
    }

    std::string &out;
    bool first = true;
};

void entryValues(Row &row, const SeriesFile &file, const ResultEntry &e)
{
    row.text(file.path).integer(e.line).flag(e.current);
    row.text(e.famname).text(e.vorname).text(e.code).text(e.sideLeft ? "L" : "R");
    row.text(e.radiographDate ? isoDate(*e.radiographDate) : e.datum).text(isoDate(e.written));
    row.integer(e.typ).flag(e.slFlag);
    row.number(e.headCranial).number(e.headMedial).number(e.cupCranial).number(e.cupMedial);
    row.number(e.inclination).number(e.anteversion);
    for (const auto &[beta, sign] : {std::pair{e.beta1, &e.sign1}, std::pair{e.beta2, &e.sign2}}) {
        if (sign->empty())
            row.text({}).text({});
        else
            row.number(beta).text(*sign);
    }
    if (e.headCranial)
        row.number(e.headAntiparameter);
    else
        row.text({});
    if (e.cupCranial)
        row.number(e.cupAntiparameter);
    else
        row.text({});
    const Calc::GridDistances &g = e.grid;
    row.number(g.delx1).number(g.delx2).number(g.delx3);
    row.number(g.dely1).number(g.dely2).number(g.dely3);
    row.number(e.wearX).number(e.wearY).number(e.radiofactor);
}

constexpr int kSeriesColumns = 19;

void pointValues(Row &row, const SeriesPoint *p)
{
    if (!p) {
        for (int i = 0; i < kSeriesColumns; ++i)
            row.text({});
        return;
    }
    row.number(p->years);
    row.number(p->headCranial).number(p->headMedial).number(p->cupCranial).number(p->cupMedial);
    row.number(p->inclination).number(p->anteversion);
    row.number(p->wearX).number(p->wearY).number(p->wear);
    row.number(p->headCranialPerYear).number(p->headMedialPerYear);
    row.number(p->cupCranialPerYear).number(p->cupMedialPerYear);
    row.number(p->inclinationPerYear).number(p->anteversionPerYear).number(p->wearPerYear);
    row.flag(p->comparable).text(p->remark);
}

void exactValues(Row &row, const ExactPoint *p)
{
    for (const ExactQuantities *q : {&p->values, &p->changes}) {
        row.number(q->headCranial).number(q->headMedial).number(q->cupCranial);
        row.number(q->cupMedial).number(q->inclination).number(q->anteversion);
    }
    row.text(p->remark);
}

constexpr int kExactColumns = 13;

} // namespace

std::string format(const std::vector<SeriesFile> &files, const ExactOf &exact)
{
    std::string out = kHeader;
    if (exact)
        out += kExactHeader;
    out += "\r\n";
    Row row(out);
    for (std::size_t f = 0; f < files.size(); ++f) {
        const SeriesFile &file = files[f];
        const std::vector<ResultEntry> &entries = file.contents.entries;
        std::vector<const SeriesPoint *> pointOf(entries.size(), nullptr);
        std::vector<const ExactPoint *> exactOf(entries.size(), nullptr);
        for (std::size_t s = 0; s < file.series.size(); ++s) {
            const std::vector<SeriesPoint> &points = file.series[s].points;
            for (std::size_t k = 0; k < points.size(); ++k) {
                if (points[k].entry >= entries.size())
                    continue;
                pointOf[points[k].entry] = &points[k];
                if (exact)
                    exactOf[points[k].entry] = exact(f, s, k);
            }
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            entryValues(row, file, entries[i]);
            pointValues(row, pointOf[i]);
            if (exact && exactOf[i]) {
                exactValues(row, exactOf[i]);
            } else if (exact) {
                for (int c = 0; c < kExactColumns; ++c)
                    row.text({});
            }
            row.end();
        }
    }
    return out;
}

} // namespace SeriesCsv
