#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/series/ExactSeries.h"
#include "support/ExactHip.h"

namespace {

constexpr double kMm = 1e-6; // exactly projected points give the phantom to rounding
constexpr double kDegrees = 1e-5;

ResultEntry entryOf(const std::string &datum)
{
    ResultEntry e;
    e.famname = "Exact";
    e.vorname = "Eva";
    e.code = "X-1";
    e.datum = datum;
    e.radiographDate = ResultFileReader::radiographDate(datum);
    e.sideLeft = true;
    e.typ = 1;
    return e;
}

} // namespace

TEST(ExactSeries, GivesEachPointItsOwnFilesValuesAndTheChangesSinceTheExactBaseline)
{
    const std::vector<ResultEntry> entries = {
        entryOf("20260115"), entryOf("20240115"), entryOf("20250115")};
    const std::vector<Series> built = SeriesBuilder::build(entries);
    ASSERT_EQ(built.size(), 1u);
    const Series &series = built.front(); // ordered by date: 2024, 2025, 2026

    const ExactHip baseline; // 2024-01-15, cup at inclination 42, anteversion 18
    ExactHip later;
    later.oxel.Datum = "2025-01-15"; // the same day written the other way
    later.project({251, 41, 180}, {256.5, 47, 174}, CentralProjection::cupAxis(45, 15));
    ExactHip refused;
    refused.oxel.Datum = "20260115";
    refused.oxel.Patient.FocH = 0;

    const std::vector<ExactRadiograph> radiographs = {exactRadiograph("later.bin", later.oxel),
        exactRadiograph("refused.bin", refused.oxel), exactRadiograph("base.bin", baseline.oxel)};
    ASSERT_TRUE(radiographs[2].sideLeft && *radiographs[2].sideLeft); // F-Line 150 beyond 100

    const std::vector<ExactPoint> points = ExactSeries::match(series, entries, radiographs);
    ASSERT_EQ(points.size(), 3u);

    EXPECT_EQ(points[0].matches, std::vector<std::size_t>{2});
    ASSERT_TRUE(points[0].values.cupCranial && points[0].changes.cupCranial);
    EXPECT_NEAR(*points[0].values.cupCranial, baseline.fromHorizontal(baseline.cup, 0), kMm);
    EXPECT_NEAR(*points[0].values.inclination, 42, kDegrees);
    EXPECT_NEAR(*points[0].changes.cupCranial, 0, kMm);
    EXPECT_EQ(points[0].remark, "");

    const ExactPoint &p = points[1];
    EXPECT_EQ(p.matches, std::vector<std::size_t>{0});
    ASSERT_TRUE(p.changes.headCranial && p.changes.headMedial && p.changes.cupCranial
        && p.changes.cupMedial && p.changes.inclination && p.changes.anteversion)
        << p.remark;
    EXPECT_NEAR(*p.changes.headCranial,
        later.fromHorizontal(later.head, 0) - baseline.fromHorizontal(baseline.head, 0), kMm);
    EXPECT_NEAR(*p.changes.headMedial,
        later.fromVertical(later.head, 150) - baseline.fromVertical(baseline.head, 150), kMm);
    EXPECT_NEAR(*p.changes.cupCranial,
        later.fromHorizontal(later.cup, 0) - baseline.fromHorizontal(baseline.cup, 0), kMm);
    EXPECT_NEAR(*p.changes.cupMedial,
        later.fromVertical(later.cup, 150) - baseline.fromVertical(baseline.cup, 150), kMm);
    EXPECT_NEAR(*p.values.inclination, 45, kDegrees);
    EXPECT_NEAR(*p.changes.inclination, 3, kDegrees);
    EXPECT_NEAR(*p.changes.anteversion, -3, kDegrees);
    // The cup rose 2 mm and came 1 mm nearer the film: the change is about 2 mm, not 0.
    EXPECT_GT(*p.changes.cupCranial, 1.5);

    EXPECT_EQ(points[2].matches, std::vector<std::size_t>{1});
    EXPECT_FALSE(points[2].hasValues());
    EXPECT_FALSE(points[2].changes.cupCranial);
    EXPECT_EQ(points[2].remark,
        "exact evaluation refused: the exact evaluation needs the focus distance");

    const std::vector<std::string> unused = ExactSeries::unusedReasons(radiographs, {&points});
    EXPECT_EQ(unused[0], "");
    EXPECT_EQ(unused[1], "exact evaluation refused: the exact evaluation needs the focus distance");
    EXPECT_EQ(unused[2], "");
}

TEST(ExactSeries, TakesNoOtherPatientsOrSidesFileAndNoneOfTwoFilesOfOneRadiograph)
{
    const std::vector<ResultEntry> entries = {entryOf("20240115"), entryOf("20250115")};
    const std::vector<Series> built = SeriesBuilder::build(entries);
    ASSERT_EQ(built.size(), 1u);

    const ExactHip first; // 2024-01-15, taken twice
    ExactHip second;
    second.oxel.Datum = "20250115";
    ExactHip otherPatient;
    otherPatient.oxel.Datum = "20250115";
    otherPatient.oxel.Patient.Vorname = "Eve";
    ExactHip rightSide;
    rightSide.oxel.Datum = "20250115";
    // The V-M-Line at 200 mm lies beyond the F-Line at 150 mm: the right hip of the patient.
    rightSide.oxel.V_M.P0.x = rightSide.oxel.V_M.P1.x = 1400;

    const std::vector<ExactRadiograph> radiographs = {exactRadiograph("a/first.bin", first.oxel),
        exactRadiograph("b/first.bin", first.oxel), exactRadiograph("eve.bin", otherPatient.oxel),
        exactRadiograph("right.bin", rightSide.oxel), exactRadiograph("second.bin", second.oxel)};
    ASSERT_TRUE(radiographs[3].sideLeft);
    EXPECT_FALSE(*radiographs[3].sideLeft);

    const std::vector<ExactPoint> points = ExactSeries::match(built.front(), entries, radiographs);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].matches, (std::vector<std::size_t>{0, 1}));
    EXPECT_FALSE(points[0].hasValues());
    EXPECT_EQ(points[0].remark,
        "2 landmark files of this radiograph (a/first.bin, b/first.bin): none taken");

    // Its own file only; with the baseline's values unknown there are no changes.
    EXPECT_EQ(points[1].matches, std::vector<std::size_t>{4});
    ASSERT_TRUE(points[1].values.cupCranial);
    EXPECT_NEAR(*points[1].values.cupCranial, second.fromHorizontal(second.cup, 0), kMm);
    EXPECT_FALSE(points[1].changes.cupCranial);
    EXPECT_FALSE(points[1].changes.inclination);
    EXPECT_EQ(points[1].remark, "the baseline has no exact values: no changes");

    const std::vector<std::string> unused = ExactSeries::unusedReasons(radiographs, {&points});
    EXPECT_EQ(unused[0], "of the same radiograph as b/first.bin: neither taken");
    EXPECT_EQ(unused[2],
        "no series of the open result files has its radiograph (Exact, Eve, X-1, left, 20250115)");
    EXPECT_EQ(unused[3],
        "no series of the open result files has its radiograph (Exact, Eva, X-1, right, 20250115)");
    EXPECT_EQ(unused[4], "");
}

TEST(ExactSeries, AGridWithoutBeamCentreGivesNoSideAndIsNotMatched)
{
    ExactHip hip;
    // The V-M-Line laid along the H-M-Line: they no longer cross.
    hip.oxel.V_M.P0 = hip.oxel.H_M.P0;
    hip.oxel.V_M.P1 = hip.oxel.H_M.P1;
    const ExactRadiograph r = exactRadiograph("x.bin", hip.oxel);
    EXPECT_FALSE(r.sideLeft);
    const std::vector<ResultEntry> entries = {entryOf("20240115")};
    const auto points = ExactSeries::match(SeriesBuilder::build(entries).front(), entries, {r});
    EXPECT_TRUE(points[0].matches.empty());
    EXPECT_EQ(points[0].remark, "no landmark file of this radiograph");
    EXPECT_FALSE(ExactSeries::unusedReasons({r}, {&points})[0].empty());
}
