#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/evaluation/ExactEvaluation.h"
#include "core/evaluation/ResultFile.h"

class COxel;

// The exact evaluation beside the designed one, for the operator to compare. Neither changes the
// measurement: the designed values are computed on a copy, and what the designed evaluation
// would have asked or told (the cup-diameter question, a refusal, missing patient data) is
// answered as the command line answers it and kept as a note instead of shown.
struct EvaluationComparison
{
    ExactEvaluation exact;
    std::optional<ResultBlock> designed; // absent: the designed evaluation refused
    // Why exact values are absent first, then what the designed evaluation said ("designed: ...").
    std::vector<std::string> notes;
};

EvaluationComparison compareEvaluations(const COxel &oxel);

// One compared quantity: its caption with the unit, the designed and the exact value (absent
// when that evaluation has none) and how many decimals say what the picking can resolve.
struct ComparisonRow
{
    std::string caption;
    std::optional<double> designed, exact;
    int decimals = 1;
    std::string exactText; // a value that is a side, not a number (the cup's opening)

    std::optional<double> difference() const
    {
        return designed && exact ? std::optional<double>(*exact - *designed) : std::nullopt;
    }
};

// The rows in the order the operator reads them: orientation, head, cup, then how far the
// clicked points lie from each exact outline (which only the exact evaluation measures).
std::vector<ComparisonRow> comparisonRows(const EvaluationComparison &comparison);
