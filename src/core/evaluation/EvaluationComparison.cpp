#include "core/evaluation/EvaluationComparison.h"

#include <algorithm>
#include <utility>

#include "core/evaluation/evaluate.h"
#include "core/model/COxel.h"
#include "core/model/Messages.h"

namespace {

// The designed evaluation's questions get the answer that lets the values still be compared:
// the comparison is never written, so no answer here can cost the operator anything.
class NotedMessages final : public Messages
{
public:
    explicit NotedMessages(std::vector<std::string> &comparisonNotes) : notes(comparisonNotes) {}

    MessageAnswer message(
        const std::string &text, const std::string &, MessageIcon, MessageButtons buttons) override
    {
        note(text);
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
            ? MessageAnswer::Yes
            : MessageAnswer::Ok;
    }

    std::optional<std::string> input(
        const std::string &prompt, const std::string &, const std::string &) override
    {
        note(prompt);
        return std::string("compared");
    }

private:
    void note(std::string text)
    {
        std::replace(text.begin(), text.end(), '\n', ' ');
        notes.push_back("designed: " + text);
    }

    std::vector<std::string> &notes;
};

class DesignedHost final : public EvaluationHost
{
public:
    DesignedHost(COxel &evaluated, std::vector<std::string> &comparisonNotes)
        : measurement(evaluated), notes(comparisonNotes)
    {}

    COxel &oxel() override { return measurement; }

    void open_Patient(int flags) override
    {
        std::string names;
        for (const auto &name : missingItemNames(flags))
            names += (names.empty() ? "" : ", ") + name;
        notes.push_back("designed: patient data needed: " + names);
    }

private:
    COxel &measurement;
    std::vector<std::string> &notes;
};

std::optional<double> sphereValue(const std::optional<ExactSphere> &s, double ExactSphere::*value)
{
    return s ? std::optional<double>((*s).*value) : std::nullopt;
}

std::optional<double> designedValue(const std::optional<ResultBlock> &b,
    MigrationValues ResultBlock::*sphere, double MigrationValues::*value)
{
    if (!b || !((*b).*sphere).valid)
        return std::nullopt;
    return ((*b).*sphere).*value;
}

ComparisonRow numbers(
    std::string caption, std::optional<double> designed, std::optional<double> exact, int decimals)
{
    ComparisonRow row;
    row.caption = std::move(caption);
    row.designed = designed;
    row.exact = exact;
    row.decimals = decimals;
    return row;
}

ComparisonRow side(std::string caption, std::string exactText)
{
    ComparisonRow row;
    row.caption = std::move(caption);
    row.exactText = std::move(exactText);
    return row;
}

} // namespace

EvaluationComparison compareEvaluations(const COxel &oxel)
{
    EvaluationComparison out;
    out.exact = evaluateExactly(oxel);
    if (!out.exact.refusal.empty()) {
        out.notes.push_back(out.exact.refusal);
    } else {
        for (const std::string *why :
            {&out.exact.headAbsent, &out.exact.cupAbsent, &out.exact.orientationAbsent}) {
            if (!why->empty())
                out.notes.push_back(*why);
        }
    }
    // The designed evaluation changes the measurement's frame and may set a focus distance.
    COxel copy = oxel;
    NotedMessages noted(out.notes);
    const ScopedMessages installed(noted);
    DesignedHost host(copy, out.notes);
    out.designed = designedEvaluation(host);
    return out;
}

std::vector<ComparisonRow> comparisonRows(const EvaluationComparison &c)
{
    const auto &o = c.exact.orientation;
    const auto &d = c.designed;
    const auto exactOr = [&o](double ExactOrientation::*value) {
        return o ? std::optional<double>((*o).*value) : std::nullopt;
    };
    std::vector<ComparisonRow> rows;
    rows.push_back(numbers("inclination (°)", d ? d->inclination : std::nullopt,
        exactOr(&ExactOrientation::inclination), 1));
    rows.push_back(numbers("anteversion (°)",
        d && d->rim ? std::optional<double>(d->rim->anteversion) : std::nullopt,
        exactOr(&ExactOrientation::anteversion), 1));
    rows.push_back(side("opening", o ? openingText(o->towardsFocus) : ""));

    const struct
    {
        const char *name;
        const std::optional<ExactSphere> &exact;
        MigrationValues ResultBlock::*designed;
    } spheres[] = {
        {"head", c.exact.head, &ResultBlock::head}, {"cup", c.exact.cup, &ResultBlock::cup}};

    for (const auto &s : spheres) {
        const std::string name = s.name;
        rows.push_back(
            numbers(name + " cranial (mm)", designedValue(d, s.designed, &MigrationValues::cranial),
                sphereValue(s.exact, &ExactSphere::cranial), 2));
        rows.push_back(
            numbers(name + " medial (mm)", designedValue(d, s.designed, &MigrationValues::medial),
                sphereValue(s.exact, &ExactSphere::medial), 2));
        rows.push_back(numbers(name + " antiparameter (mm)",
            designedValue(d, s.designed, &MigrationValues::antiparameter),
            sphereValue(s.exact, &ExactSphere::antiparameter), 2));
    }
    rows.push_back(
        numbers("head rms (px)", std::nullopt, sphereValue(c.exact.head, &ExactSphere::rms_px), 2));
    rows.push_back(
        numbers("cup rms (px)", std::nullopt, sphereValue(c.exact.cup, &ExactSphere::rms_px), 2));
    rows.push_back(numbers("rim rms (px)", std::nullopt, exactOr(&ExactOrientation::rms_px), 2));
    return rows;
}
