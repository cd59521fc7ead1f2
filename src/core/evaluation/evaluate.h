#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/evaluation/EvaluationHost.h"
#include "core/evaluation/ResultFile.h"
#include "core/model/CPoint.h"

class COxel;

// Evaluates the host's measurement and appends its block of 13 lines to the patient's result
// file (DatFile + ".dat"). Runs the checks in their fixed order (texts the file cannot carry,
// the sides of the landmarks, the reference sphere, the cup-diameter plausibility, the rim) and
// tells the operator through the host's messages why it stops; the file is touched only once
// every value has been computed. True after the block is written and "Data written to " shown.
//
// Changes the measurement's SinA, CosA and Center (the base-line frame) and, when no focus
// distance was given, sets the patient's FocH to 1100.
bool evaluate(EvaluationHost &host);

// What evaluate would write, computed with the same checks and messages but without the texts'
// check and without touching the result file; nothing when a check refuses. Changes the
// measurement as evaluate does: give it a copy when that matters.
std::optional<ResultBlock> designedEvaluation(EvaluationHost &host);

// The missing-data flags (MissingData) that keep "Write Data" from evaluating: the date, the
// names, the result file and the evaluation type.
int missingPatientData(const COxel &oxel);
// The dialog labels of the items named by the flags, in the dialog's order.
std::vector<std::string> missingItemNames(int flags);

// The base-line frame of a measurement as the evaluation builds it: origin (world mm) at the
// Base-Line's first end, x along the Base-Line towards the picture's right, and the beam centre
// (picture coordinates) midway between the picture's centre and where the H-M-Line and the
// V-M-Line cross. Nothing when those two lines do not cross; with tellSingular the solver says
// so to the operator first.
struct BaseLineFrame
{
    CPoint origin;
    double sinA = 0, cosA = 1;
    CPoint beam;
};

std::optional<BaseLineFrame> baseLineFrame(const COxel &oxel, bool tellSingular);
