#include "core/evaluation/evaluate.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "core/evaluation/Calc.h"
#include "core/evaluation/ResultFile.h"
#include "core/model/COxel.h"
#include "core/model/Math.h"
#include "core/records/CodePage.h"

namespace {

constexpr const char *kErrorTitle = "Oxel Error";
// Focus distance (mm) taken when none was given.
constexpr double kDefaultFocusDistance = 1100.0;
// The cup-diameter plausibility check sees the head and the rim from a focus at the default
// distance, whatever distance the patient data give.
constexpr double kCheckFocusSquared = kDefaultFocusDistance * kDefaultFocusDistance;
// Tolerance (mm) of the cup-diameter plausibility check, already part of the calculated value.
constexpr double kCupTolerance = 0.6;
// A nominal 44 mm cup is known to look 1.4 mm larger than its wire suggests.
constexpr double kCup44Diameter = 44.0;
constexpr double kCup44Correction = 1.4;

struct Focus
{
    SpacePoint F1, F2;
    double h1, h2;
};

// The working copies of one run, in the base-line frame once transformed.
struct Frame
{
    std::array<CLine, COxel::kLineCount> lines; // in the order of COxel::lines()
    CPoint head, cup, M0, M1, M2, M3;
    CPoint beam;
    double headRadius = 0, cupRadius = 0;
    bool left = false;
};

// The sphere whose true size places the measurement in space (the femoral head or the cup), and
// the other sphere's point, which is placed with the same foci and heights.
struct ReferenceSphere
{
    const char *name; // "head" or "cup", as messages name it
    const char *notFitted; // the refusal when its circle is not fitted
    bool fitted;
    double trueRadius; // mm, from the patient data; 0 when not given
    int missingSize; // the patient dialog's flag for that size
    double filmRadius; // mm
    CPoint centre; // base-line frame
    MigrationValues ResultBlock::*values;
    bool checkCupDiameter; // the plausibility check comes before the other sphere is placed
    std::optional<CPoint> other; // base-line frame; nothing when the other sphere is not marked
    MigrationValues ResultBlock::*otherValues;
};

class Evaluation
{
public:
    explicit Evaluation(EvaluationHost &evaluationHost)
        : host(evaluationHost), oxel(evaluationHost.oxel()), patient(oxel.Patient)
    {}

    bool run();
    // Every step but the writing; the block then holds what would be written.
    bool compute();

    const ResultBlock &result() const { return block; }

private:
    bool refuse(const std::string &text)
    {
        host.messages().message(text, kErrorTitle, MessageIcon::Critical, MessageButtons::Ok);
        return false;
    }

    // The working copy of one of the measurement's ten lines.
    const CLine &copyOf(const CLine &measured) const
    {
        const auto all = std::as_const(oxel).lines();
        const auto at =
            static_cast<std::size_t>(std::find(all.begin(), all.end(), &measured) - all.begin());
        assert(at < all.size());
        return frame.lines[at];
    }

    // Where the cross lines meet, in the base-line frame.
    CPoint crossPoint() const
    {
        return CPoint(copyOf(oxel.Cross_V).P0.x, copyOf(oxel.Cross_H).P0.y);
    }

    bool textsFitTheFile();
    bool buildFrame();
    bool sidesAgree();
    ReferenceSphere headSphere() const;
    ReferenceSphere cupSphere() const;
    bool placeSpheres(const ReferenceSphere &reference);
    bool estimateFocus(double rho, double R, const char *sphere);
    std::optional<MigrationValues> migration(const CPoint &P);
    std::optional<double> planeMean(const CLine &line, const SpacePoint &X1, const SpacePoint &X2);
    bool cupDiameterPlausible(double rho);
    bool orientRim();
    void completeBlock();
    bool write();

    EvaluationHost &host;
    COxel &oxel;
    CPatient &patient;
    Frame frame;
    Focus focus{};
    ResultBlock block;
};

bool Evaluation::textsFitTheFile()
{
    const std::array<std::pair<const std::string *, const char *>, 5> fields{{
        {&patient.Famname, "Name"},
        {&patient.Vorname, "First Name"},
        {&patient.Code, "Study - ID"},
        {&oxel.Datum, "Date"},
        {&patient.DatFile, "Data File"},
    }};
    for (const auto &[value, label] : fields) {
        // A quote would end the item early, a line break would split the block.
        if (value->find_first_of("\"\r\n") != std::string::npos)
            return refuse(std::string("text not allowed in the result file: ") + label);
    }
    return true;
}

bool Evaluation::buildFrame()
{
    Frame &f = frame;
    const auto measured = std::as_const(oxel).lines();
    for (std::size_t i = 0; i < measured.size(); ++i)
        f.lines[i].copy(*measured[i]);
    f.head.copy(oxel.Head.M);
    f.cup.copy(oxel.Cup.M);
    f.M0.copy(oxel.Rim.M0);
    f.M1.copy(oxel.Rim.M1);
    f.M2.copy(oxel.Rim.M2);
    f.M3.copy(oxel.Rim.M3);

    const auto base = baseLineFrame(oxel, true);
    if (!base)
        return false;
    f.beam = base->beam;

    oxel.SinA = base->sinA;
    oxel.CosA = base->cosA;
    oxel.Center.copy(base->origin);

    oxel.TransformP(f.beam);
    for (CLine &line : f.lines)
        oxel.TransformL(line);
    oxel.TransformP(f.head);
    f.headRadius = oxel.WorldX(oxel.Head.r);
    oxel.TransformP(f.cup);
    f.cupRadius = oxel.WorldX(oxel.Cup.r);
    for (CPoint *p : {&f.M0, &f.M1, &f.M2, &f.M3})
        oxel.TransformP(*p);
    return true;
}

bool Evaluation::sidesAgree()
{
    const Frame &f = frame;
    const double F = copyOf(oxel.V_F).P0.x;
    frame.left = F > copyOf(oxel.V_M).P0.x;
    const CLine &Ruler = copyOf(oxel.Ruler);

    const struct
    {
        bool valid;
        double x;
        const char *message;
    } checks[] = {
        {oxel.Head.Valid, f.head.x, "vertical F-Line and Head on different sides!"},
        {oxel.Cup.Valid, f.cup.x, "vertical F-Line and Cup on different sides!"},
        {oxel.Rim.Valid, f.M0.x, "vertical F-Line and Rim on different sides!"},
        {oxel.Ruler.Valid, (Ruler.P1.x + Ruler.P0.x) / 2,
            "vertical F-Line and Ruler on different sides!"},
        {oxel.Cross_H.Valid, copyOf(oxel.Cross_V).P0.x,
            "vertical F-Line and Cross on different sides!"},
    };

    for (const auto &check : checks) {
        if (check.valid && (check.x > F) != frame.left)
            return refuse(check.message);
    }
    return true;
}

bool Evaluation::estimateFocus(double rho, double R, const char *sphere)
{
    const std::string implausible = std::string(sphere)
        + " size implausible!\ncheck the calibration and the " + sphere + " diameter";
    // A sphere no larger on the film than in truth, or of no size, would lie on or under the
    // film: every migration value would be nonsense.
    if (!(rho > 0) || !(R > 0))
        return refuse(implausible);

    const double B_x = frame.beam.x, B_y = frame.beam.y;
    if (patient.FocH != 0) {
        const double focH = patient.FocH;
        const double h = focH - std::sqrt(focH * focH + rho * rho) * R / rho;
        focus = {{B_x, B_y, focH}, {B_x, B_y, focH}, h, h};
    } else {
        patient.FocH = kDefaultFocusDistance;
        const Calc::FocusEstimate e = Calc::focusFromSize(rho, R);
        focus = {{B_x, B_y, e.z1}, {B_x, B_y, e.z2}, e.h1, e.h2};
    }
    if (!(focus.h1 > 0) || !(focus.h2 > 0))
        return refuse(implausible);
    return true;
}

std::optional<double> Evaluation::planeMean(
    const CLine &line, const SpacePoint &X1, const SpacePoint &X2)
{
    const auto d2 = Math::planeDistance(line, focus.F2, X2);
    if (!d2)
        return std::nullopt;
    const auto d1 = Math::planeDistance(line, focus.F1, X1);
    if (!d1)
        return std::nullopt;
    return (*d2 + *d1) / 2;
}

std::optional<MigrationValues> Evaluation::migration(const CPoint &P)
{
    SpacePoint X1{}, X2{};
    Math::pointAtHeight(X1, P, focus.F1, focus.h1);
    Math::pointAtHeight(X2, P, focus.F2, focus.h2);
    const auto cranial = planeMean(copyOf(oxel.H_B), X1, X2);
    const auto medial = cranial ? planeMean(copyOf(oxel.V_F), X1, X2) : std::nullopt;
    const auto antiparameter = medial ? planeMean(copyOf(oxel.H_T), X1, X2) : std::nullopt;
    if (!antiparameter)
        return std::nullopt; // the solver has said why
    return MigrationValues{true, *cranial, *medial, *antiparameter};
}

bool Evaluation::cupDiameterPlausible(double rho)
{
    const double A = oxel.WorldX(oxel.Rim.a);
    const double k = std::sqrt((rho * rho + kCheckFocusSquared) / (A * A + kCheckFocusSquared));
    double C = 2 * patient.HeadTR * A * k / rho + kCupTolerance;
    if (2 * patient.CupTR == kCup44Diameter)
        C = C + kCup44Correction;

    std::string prompt;
    if (C - kCupTolerance > 2 * patient.CupTR)
        prompt = "cup-diameter too small!\ncontrast-wire maybe damaged\n";
    else if (C + kCupTolerance < 2 * patient.CupTR)
        prompt = "cup-diameter too big!\n";
    else
        return true;

    // Printed in the operator's own decimal separator: this is a message, not the file.
    char value[64];
    std::snprintf(value, sizeof value, "%05.2f", C);
    prompt += "calculated cup-diameter = ";
    prompt += value;
    const auto answer = host.messages().input(prompt, kApplicationTitle, "");
    return answer && !answer->empty();
}

ReferenceSphere Evaluation::headSphere() const
{
    // The rim's centre stands for the cup, or else the crossing of the cross lines.
    std::optional<CPoint> cupMarker;
    if (oxel.Rim.Valid)
        cupMarker = frame.M0;
    else if (oxel.Cross_H.Valid)
        cupMarker = crossPoint();
    return {
        .name = "head",
        .notFitted = "head data missing\nuse Measurement Tool 'Head'",
        .fitted = oxel.Head.Valid,
        .trueRadius = patient.HeadTR,
        .missingSize = MissingData::HeadSize,
        .filmRadius = frame.headRadius,
        .centre = frame.head,
        .values = &ResultBlock::head,
        .checkCupDiameter = patient.CupTR > 0 && checksCupDiameter(patient.Typ) && oxel.Rim.Valid,
        .other = cupMarker,
        .otherValues = &ResultBlock::cup,
    };
}

ReferenceSphere Evaluation::cupSphere() const
{
    return {
        .name = "cup",
        .notFitted = "cup data missing\nuse Measurement Tool 'Cup'",
        .fitted = oxel.Cup.Valid,
        .trueRadius = patient.CupTR,
        .missingSize = MissingData::CupSize,
        .filmRadius = frame.cupRadius,
        .centre = frame.cup,
        .values = &ResultBlock::cup,
        .checkCupDiameter = false,
        .other = oxel.Head.Valid ? std::optional<CPoint>(frame.head) : std::nullopt,
        .otherValues = &ResultBlock::head,
    };
}

bool Evaluation::placeSpheres(const ReferenceSphere &reference)
{
    if (!reference.fitted)
        return refuse(reference.notFitted);
    if (reference.trueRadius == 0) {
        host.open_Patient(reference.missingSize);
        return false;
    }
    const double rho = reference.filmRadius;
    const double R = reference.trueRadius;
    if (!estimateFocus(rho, R, reference.name))
        return false;
    block.radiofactor = rho / R;

    const auto values = migration(reference.centre);
    if (!values)
        return false;
    block.*reference.values = *values;

    if (reference.checkCupDiameter && !cupDiameterPlausible(rho))
        return false;

    if (reference.other) {
        const auto otherValues = migration(*reference.other);
        if (!otherValues)
            return false;
        block.*reference.otherValues = *otherValues;
    }
    return true;
}

bool Evaluation::orientRim()
{
    if (!orientsRim(patient.Typ) || !oxel.Rim.Valid)
        return true;
    block.rim = Calc::rimOrientation(
        frame.M0, frame.M1, frame.M2, frame.M3, frame.beam, patient.FocH, frame.left);
    if (!block.rim)
        return refuse("wrong rim-points\nreset Rim!");
    return true;
}

void Evaluation::completeBlock()
{
    const Frame &f = frame;
    block.fileName = patient.DatFile + ".dat";
    block.date = host.today();
    block.famname = patient.Famname;
    block.vorname = patient.Vorname;
    block.code = patient.Code;
    block.datum = oxel.Datum;
    block.sideLeft = f.left;
    block.typ = patient.Typ;
    block.slFlag = patient.SLFlag;

    // The ruler, when set, stands for the cup's axis in preference to the rim.
    const CLine &Ruler = copyOf(oxel.Ruler);
    if (oxel.Ruler.Valid)
        block.inclination = Calc::inclination(Ruler.P1.x - Ruler.P0.x, Ruler.P1.y - Ruler.P0.y);
    else if (oxel.Rim.Valid)
        block.inclination = Calc::inclination(f.M2.x - f.M1.x, f.M2.y - f.M1.y);

    block.grid =
        Calc::gridDistances(copyOf(oxel.V_F).P0.x, copyOf(oxel.V_L).P0.x, copyOf(oxel.V_R).P0.x,
            copyOf(oxel.H_B).P0.y, copyOf(oxel.H_M).P0.y, copyOf(oxel.H_T).P0.y, f.left);

    std::optional<CPoint> reference;
    if (oxel.Head.Valid && (oxel.Cup.Valid || oxel.Rim.Valid))
        reference = oxel.Cup.Valid ? f.cup : f.M0;
    else if (oxel.Head.Valid && oxel.Cross_H.Valid)
        reference = crossPoint();
    if (reference) {
        WearVector wear{(f.head.x - reference->x) / block.radiofactor,
            (f.head.y - reference->y) / block.radiofactor};
        if (f.left)
            wear.x = -wear.x;
        block.wear = wear;
    }
}

bool Evaluation::write()
{
    const std::string bytes = CodePage::toWindows1252(ResultFile::formatBlock(block));
    // The block names the file as typed; it is written where that name leads from the
    // picture's folder.
    const std::string path = ResultFile::pathFor(patient.DatFile, host.resultFolder());
    std::string reason;
    if (!ResultFile::append(path, bytes, reason))
        return refuse("could not write " + path + ": " + reason);
    host.messages().message(
        "Data written to " + path, "Oxel", MessageIcon::None, MessageButtons::Ok);
    return true;
}

bool Evaluation::compute()
{
    if (!buildFrame() || !sidesAgree())
        return false;
    if (!placeSpheres(isHeadBased(patient.Typ) ? headSphere() : cupSphere()))
        return false;
    if (!orientRim())
        return false;
    completeBlock();
    return true;
}

bool Evaluation::run()
{
    return textsFitTheFile() && compute() && write();
}

} // namespace

bool evaluate(EvaluationHost &host)
{
    return Evaluation(host).run();
}

std::optional<ResultBlock> designedEvaluation(EvaluationHost &host)
{
    Evaluation evaluation(host);
    if (!evaluation.compute())
        return std::nullopt;
    return evaluation.result();
}

std::optional<BaseLineFrame> baseLineFrame(const COxel &oxel, bool tellSingular)
{
    BaseLineFrame frame;
    frame.origin = CPoint(oxel.WorldX(oxel.H_B.P0.x), oxel.WorldY(oxel.H_B.P0.y));
    const double Dx = oxel.WorldX(oxel.H_B.P1.x) - oxel.WorldX(oxel.H_B.P0.x);
    const double Dy = oxel.WorldY(oxel.H_B.P1.y) - oxel.WorldY(oxel.H_B.P0.y);
    // From the ratio, not the signs: the frame's x axis points to the picture's right whichever
    // end of the base line was set first.
    const double alpha = Math::atanRatio(Dy, Dx);
    frame.sinA = std::sin(alpha);
    frame.cosA = std::cos(alpha);

    // The beam centre lies midway between the grid's centre and the picture's centre.
    const auto I =
        tellSingular ? Math::intersect(oxel.H_M, oxel.V_M) : Math::tryIntersect(oxel.H_M, oxel.V_M);
    if (!I)
        return std::nullopt;
    frame.beam = CPoint((oxel.WPixel / 2.0 + I->x) / 2, (oxel.HPixel / 2.0 + I->y) / 2);
    return frame;
}

int missingPatientData(const COxel &oxel)
{
    int flags = 0;
    if (oxel.Datum.empty())
        flags |= MissingData::Date;
    if (oxel.Patient.Famname.empty())
        flags |= MissingData::Famname;
    if (oxel.Patient.Vorname.empty())
        flags |= MissingData::Vorname;
    if (oxel.Patient.DatFile.empty())
        flags |= MissingData::DatFile;
    if (!isTypeChosen(oxel.Patient.Typ))
        flags |= MissingData::Typ;
    return flags;
}

std::vector<std::string> missingItemNames(int flags)
{
    static const std::array<std::pair<int, const char *>, 9> labels{{
        {MissingData::Date, "Date"},
        {MissingData::Famname, "Name"},
        {MissingData::Vorname, "First Name"},
        {MissingData::Code, "Study - ID"},
        {MissingData::Typ, "Evaluation Type"},
        {MissingData::HeadSize, "Head Diameter"},
        {MissingData::CupSize, "Cup Diameter"},
        {MissingData::Focus, "Focus Distance"},
        {MissingData::DatFile, "Data File"},
    }};
    std::vector<std::string> names;
    for (const auto &[bit, label] : labels) {
        if (flags & bit)
            names.emplace_back(label);
    }
    return names;
}
