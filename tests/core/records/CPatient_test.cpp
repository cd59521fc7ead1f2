#include <cstdint>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "core/records/CPatient.h"

namespace {

CPatient filledRecord()
{
    CPatient p;
    p.Famname = "Muster";
    p.Vorname = "Erika";
    p.Code = "HIP-0042";
    p.Typ = 7;
    p.SLFlag = true;
    p.HeadTR = 14.0;
    p.CupTR = 26.0;
    p.FocH = 1150.0;
    p.DatFile = "C:/studies/hip/erika";
    return p;
}

// The nine fields in their order, to be compared at once.
using Fields = std::tuple<std::string, std::string, std::string, std::int16_t, bool, double, double,
    double, std::string>;

Fields fields(const CPatient &p)
{
    return {p.Famname, p.Vorname, p.Code, p.Typ, p.SLFlag, p.HeadTR, p.CupTR, p.FocH, p.DatFile};
}

void expectEmpty(const CPatient &p)
{
    EXPECT_EQ(fields(p), Fields("", "", "", 0, false, 0.0, 0.0, 0.0, ""));
}

} // namespace

TEST(PatientRecord, CopyingANewRecordClearsEveryField)
{
    CPatient target = filledRecord();
    target.copy(CPatient());
    expectEmpty(target);
}

TEST(PatientRecord, CopyTakesAllNineFieldsByValue)
{
    CPatient source = filledRecord();
    CPatient target;
    target.copy(source);
    source.Famname = "changed";
    source.HeadTR = 1;
    EXPECT_EQ(fields(target),
        Fields("Muster", "Erika", "HIP-0042", 7, true, 14.0, 26.0, 1150.0, "C:/studies/hip/erika"));
}

TEST(PatientRecord, CopyOntoItselfChangesNothing)
{
    CPatient p = filledRecord();
    p.copy(p);
    EXPECT_EQ(p.Famname, "Muster");
    EXPECT_EQ(p.DatFile, "C:/studies/hip/erika");
    EXPECT_EQ(p.CupTR, 26.0);
}

TEST(PatientRecord, LastPatientExistsOnceAndKeepsItsData)
{
    CPatient &first = LastPatient();
    first.copy(filledRecord());
    CPatient &second = LastPatient();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.Code, "HIP-0042");
    second.copy(CPatient());
    expectEmpty(LastPatient());
}

TEST(EvaluationTypes, RulesTakeTheStoredNumberAsItIs)
{
    // The patient dialog offers 1 to 9; a landmark file may hold any number.
    struct Case
    {
        std::int16_t typ;
        bool chosen, headBased, checksCup, orientsRim;
    };

    const Case cases[] = {
        {-1, false, true, true, true},
        {0, false, true, true, true},
        {1, true, true, true, true},
        {2, true, true, true, true},
        {3, true, true, true, false},
        {4, true, true, false, true},
        {5, true, true, false, true},
        {6, true, false, false, false},
        {7, true, false, false, true},
        {8, true, false, false, true},
        {9, true, true, false, false},
        {10, true, false, false, true},
        {32767, true, false, false, true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(isTypeChosen(c.typ), c.chosen) << c.typ;
        EXPECT_EQ(isHeadBased(c.typ), c.headBased) << c.typ;
        EXPECT_EQ(checksCupDiameter(c.typ), c.checksCup) << c.typ;
        EXPECT_EQ(orientsRim(c.typ), c.orientsRim) << c.typ;
    }
    EXPECT_EQ(typNumber(EvaluationType::HeadBased1), 1);
    EXPECT_EQ(typNumber(EvaluationType::CupBased7), 7);
    EXPECT_EQ(typNumber(EvaluationType::HeadBased9), 9);
}
