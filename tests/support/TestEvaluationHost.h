#pragma once

#include <string>
#include <vector>

#include "core/evaluation/EvaluationHost.h"
#include "core/model/COxel.h"

// A window for the evaluation in tests: its own measurement, the patient dialog requests
// recorded, and a fixed date so that result blocks can be compared to the character.
class TestEvaluationHost final : public EvaluationHost
{
public:
    COxel &oxel() override { return measurement; }

    void open_Patient(int flags) override { patientRequests.push_back(flags); }

    CalendarDate today() const override { return {2026, 12, 7}; }

    std::string resultFolder() const override { return folder; }

    COxel measurement;
    std::string folder; // empty: the working folder
    std::vector<int> patientRequests;
};
