#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/series/ExactSeries.h"
#include "core/series/Series.h"

// A comma-separated table of result blocks for spreadsheets and statistics programs: UTF-8,
// a header row, one row per block in the order of the files, ISO dates, a period as the
// decimal separator, an empty cell for a missing value, fields quoted where they must be
// (RFC 4180), CR LF line ends.
namespace SeriesCsv {

// The header row, then one row per entry of each file (non-current ones too, marked as such)
// with the block's own values and, where the entry belongs to a series, its changes since the
// baseline and their rates. The first column names the result file.
//
// The columns, in order (lengths in mm, angles in degrees):
//   file                  the result file as named on the command line or in the window
//   line                  the block's first line in that file
//   current               1, or 0 for a block whose radiograph was evaluated again later
//   family_name, first_name, study_id
//   side                  L or R
//   radiograph_date       yyyy-mm-dd, or the text as stored when it is not a day
//   written               the day the block was appended, yyyy-mm-dd
//   type, sl_flag         the evaluation type and its SL flag (1 or 0)
//   head_cranial, head_medial, cup_cranial, cup_medial, inclination, anteversion
//                         the block's values; empty where it holds "nodata"
//   beta1, sign1, beta2, sign2
//                         the cup-axis candidates; empty where the rim was not computed
//   antiparameter_head, antiparameter_cup
//                         empty where the head or the cup migration is missing (the block
//                         holds 0 there)
//   delx1, delx2, delx3, dely1, dely2, dely3, wear_x, wear_y, radiofactor
// Then, filled for the blocks of a series only (the current ones):
//   years                 since the baseline radiograph (days / 365.25); empty without a date
//   head_cranial_change, head_medial_change, cup_cranial_change, cup_medial_change,
//   inclination_change, anteversion_change, wear_x_change, wear_y_change
//                         the value minus the baseline's
//   wear_change_length    the length of the wear vector's change
//   head_cranial_per_year, head_medial_per_year, cup_cranial_per_year, cup_medial_per_year,
//   inclination_per_year, anteversion_per_year, wear_per_year
//                         the changes divided by the years; empty at the baseline
//   comparable            0 where migration and wear were evaluated with another reference
//                         sphere than the baseline's, and so not compared
//   remark                what was not compared, and why
// With exact values (a landmark folder read in the follow-up window), for the blocks of a series:
//   exact_head_cranial, exact_head_medial, exact_cup_cranial, exact_cup_medial,
//   exact_inclination, exact_anteversion
//                         the radiograph's exact evaluation
//   exact_head_cranial_change, exact_head_medial_change, exact_cup_cranial_change,
//   exact_cup_medial_change, exact_inclination_change, exact_anteversion_change
//                         the exact value minus the baseline's exact value
//   exact_remark          why exact values are missing
//
// `exact` gives a series point's exact values (the file's index in files, the series' index in
// its file, the point's index in the series), or null where there are none; without it the
// exact columns are left out.
using ExactOf =
    std::function<const ExactPoint *(std::size_t file, std::size_t series, std::size_t point)>;

std::string format(const std::vector<SeriesFile> &files, const ExactOf &exact = {});

} // namespace SeriesCsv
