#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/records/CPatient.h"
#include "core/series/Series.h"

namespace {

constexpr double kTolerance = 1e-12;

struct Values
{
    std::optional<double> headCranial, headMedial, cupCranial, cupMedial, inclination, anteversion,
        wearX, wearY;
};

ResultEntry entry(
    const std::string &famname, bool left, const std::string &datum, int typ, const Values &v)
{
    ResultEntry e;
    e.famname = famname;
    e.vorname = "Jane";
    e.code = "S1";
    e.sideLeft = left;
    e.datum = datum;
    e.radiographDate = ResultFileReader::radiographDate(datum);
    e.typ = typ;
    e.headCranial = v.headCranial;
    e.headMedial = v.headMedial;
    e.cupCranial = v.cupCranial;
    e.cupMedial = v.cupMedial;
    e.inclination = v.inclination;
    e.anteversion = v.anteversion;
    e.wearX = v.wearX;
    e.wearY = v.wearY;
    return e;
}

void expectNear(const std::optional<double> &actual, double expected, const char *what)
{
    ASSERT_TRUE(actual) << what;
    EXPECT_NEAR(*actual, expected, kTolerance) << what;
}

} // namespace

// The left hip of Doe: baseline 2011-06-01, then 2012-06-01 (366 days, over a leap day), a
// cup-based evaluation on 2013-06-01 (731 days) and a radiograph without a date. The blocks
// stand out of order in the file, between other hips, and an older block of the same patient
// was evaluated again under another date and is no longer current.
TEST(SeriesBuild, ChangesAndRatesSinceTheBaselineByHand)
{
    std::vector<ResultEntry> entries = {
        entry("Doe", true, "20120601", 2, {1.0, 2.0, 10.5, 20.25, 45.5, 12, 0.3, 0.4}), // 0
        entry("Roe", false, "20120601", 2, {}), // 1
        entry("Doe", true, "20110601", 2, {0.5, 2.5, 10, 20, 45, 10, 0, 0}), // 2
        entry("Doe", true, "2013-06-01", 7, {0.25, 2.5, 11, 19, 44, 13, 0.5, 0.5}), // 3
        entry("Doe", true, "unknown", 2, {{}, {}, 10.25, 20, 45, {}, {}, {}}), // 4
        entry("Doe", false, "20110601", 2, {}), // 5
        entry("Doe", true, "20100101", 2, {0, 0, 0, 0, 0, 0, 0, 0}), // 6
    };
    entries[6].current = false;

    const std::vector<Series> series = SeriesBuilder::build(entries);
    ASSERT_EQ(series.size(), 3u);
    EXPECT_EQ(series[1].famname, "Roe");
    EXPECT_EQ(series[2].famname, "Doe");
    EXPECT_FALSE(series[2].sideLeft);
    const Series &doe = series[0];
    EXPECT_EQ(doe.famname, "Doe");
    EXPECT_EQ(doe.vorname, "Jane");
    EXPECT_EQ(doe.code, "S1");
    EXPECT_TRUE(doe.sideLeft);
    ASSERT_EQ(doe.points.size(), 4u);
    EXPECT_EQ(doe.points[0].entry, 2u);
    EXPECT_EQ(doe.points[1].entry, 0u);
    EXPECT_EQ(doe.points[2].entry, 3u);
    EXPECT_EQ(doe.points[3].entry, 4u);

    const SeriesPoint &base = doe.points[0];
    expectNear(base.years, 0, "baseline years");
    expectNear(base.cupCranial, 0, "baseline cup cranial");
    expectNear(base.anteversion, 0, "baseline anteversion");
    expectNear(base.wear, 0, "baseline wear");
    EXPECT_FALSE(base.cupCranialPerYear);
    EXPECT_FALSE(base.wearPerYear);
    EXPECT_TRUE(base.comparable);
    EXPECT_EQ(base.remark, "");

    const SeriesPoint &year1 = doe.points[1];
    expectNear(year1.years, 366 / 365.25, "years");
    expectNear(year1.headCranial, 0.5, "head cranial");
    expectNear(year1.headMedial, -0.5, "head medial");
    expectNear(year1.cupCranial, 0.5, "cup cranial");
    expectNear(year1.cupMedial, 0.25, "cup medial");
    expectNear(year1.inclination, 0.5, "inclination");
    expectNear(year1.anteversion, 2, "anteversion");
    expectNear(year1.wearX, 0.3, "wear x");
    expectNear(year1.wearY, 0.4, "wear y");
    expectNear(year1.wear, 0.5, "wear");
    expectNear(year1.cupCranialPerYear, 0.49897540983606557, "cup cranial per year");
    expectNear(year1.cupMedialPerYear, 0.24948770491803279, "cup medial per year");
    expectNear(year1.headMedialPerYear, -0.49897540983606557, "head medial per year");
    expectNear(year1.anteversionPerYear, 1.9959016393442623, "anteversion per year");
    expectNear(year1.wearPerYear, 0.49897540983606557, "wear per year");

    const SeriesPoint &mixed = doe.points[2];
    expectNear(mixed.years, 2.0013689253935658, "cup-based years");
    EXPECT_FALSE(mixed.headBased);
    EXPECT_FALSE(mixed.comparable);
    EXPECT_EQ(
        mixed.remark, "cup-based evaluation, baseline head-based: migration and wear not compared");
    EXPECT_FALSE(mixed.headCranial);
    EXPECT_FALSE(mixed.cupCranial);
    EXPECT_FALSE(mixed.cupMedial);
    EXPECT_FALSE(mixed.wear);
    EXPECT_FALSE(mixed.cupCranialPerYear);
    expectNear(mixed.inclination, -1, "cup-based inclination");
    expectNear(mixed.anteversion, 3, "cup-based anteversion");
    expectNear(mixed.inclinationPerYear, -0.49965800273597811, "inclination per year");

    const SeriesPoint &undated = doe.points[3];
    EXPECT_FALSE(undated.years);
    EXPECT_TRUE(undated.comparable);
    expectNear(undated.cupCranial, 0.25, "undated cup cranial");
    expectNear(undated.cupMedial, 0, "undated cup medial");
    EXPECT_FALSE(undated.headCranial);
    EXPECT_FALSE(undated.anteversion);
    EXPECT_FALSE(undated.wear);
    EXPECT_FALSE(undated.cupCranialPerYear);
    EXPECT_NE(undated.remark.find("\"unknown\""), std::string::npos) << undated.remark;
}

TEST(SeriesBuild, TypesByReferenceSphere)
{
    for (int typ : {-1, 0, 1, 2, 3, 4, 5, 9})
        EXPECT_TRUE(isHeadBased(typ)) << typ;
    for (int typ : {6, 7, 8, 10, 32767})
        EXPECT_FALSE(isHeadBased(typ)) << typ;
}
