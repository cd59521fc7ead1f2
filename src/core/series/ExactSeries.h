#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/evaluation/ExactEvaluation.h"
#include "core/series/Series.h"

class COxel;

// One radiograph's landmark file, evaluated exactly, with what identifies its radiograph.
struct ExactRadiograph
{
    std::string landmarkFile; // as the operator should read it in remarks
    std::string famname, vorname, code; // the patient record of the landmark file, UTF-8
    std::string datum; // the date of the radiograph as the landmark file holds it
    std::optional<bool> sideLeft; // exact.sideLeft: as the designed evaluation decides it
    ExactEvaluation exact;
};

// Evaluates the measurement exactly (no messages) and notes whose radiograph it is.
ExactRadiograph exactRadiograph(const std::string &landmarkFile, const COxel &oxel);

// The quantities the follow-up plots: the spheres' distances from the planes through the focus
// and the Base-Line (cranial) and the F-Line (medial) in mm, the cup's orientation in degrees.
struct ExactQuantities
{
    std::optional<double> headCranial, headMedial, cupCranial, cupMedial;
    std::optional<double> inclination, anteversion;
};

// A series point's exact values, when the landmark file of its radiograph is at hand.
struct ExactPoint
{
    // Every radiograph (index into the radiographs given) of the same patient, side and date.
    // The values are taken only from exactly one.
    std::vector<std::size_t> matches;
    ExactQuantities values; // as evaluated exactly
    // Since the exact values of the series' baseline; a quantity the baseline lacks has none.
    ExactQuantities changes;
    // Why there are no exact values, or which are missing; empty when all are there.
    std::string remark;

    bool hasValues() const;
};

namespace ExactSeries {

// The series' points (parallel to series.points) matched with the radiographs: a radiograph
// matches a point when its patient record (famname, vorname, code) and side are those of the
// series and its date is the point's entry's date (the same text, or the same day of the
// calendar written either way). entries are those the series was built from.
std::vector<ExactPoint> match(const Series &series, const std::vector<ResultEntry> &entries,
    const std::vector<ExactRadiograph> &radiographs);

// Per radiograph, why it gave no point exact values (empty when it gave some), given the
// matched points of every series shown: refused by the exact evaluation, of the same radiograph
// as another, or of no radiograph of the series.
std::vector<std::string> unusedReasons(const std::vector<ExactRadiograph> &radiographs,
    const std::vector<const std::vector<ExactPoint> *> &matched);

} // namespace ExactSeries
