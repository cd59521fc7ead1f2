#include "core/records/CPatient.h"

#include <gtest/gtest.h>

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

void expectEmpty(const CPatient &p)
{
    EXPECT_EQ(p.Famname, "");
    EXPECT_EQ(p.Vorname, "");
    EXPECT_EQ(p.Code, "");
    EXPECT_EQ(p.Typ, 0);
    EXPECT_FALSE(p.SLFlag);
    EXPECT_EQ(p.HeadTR, 0.0);
    EXPECT_EQ(p.CupTR, 0.0);
    EXPECT_EQ(p.FocH, 0.0);
    EXPECT_EQ(p.DatFile, "");
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
    EXPECT_EQ(target.Famname, "Muster");
    EXPECT_EQ(target.Vorname, "Erika");
    EXPECT_EQ(target.Code, "HIP-0042");
    EXPECT_EQ(target.Typ, 7);
    EXPECT_TRUE(target.SLFlag);
    EXPECT_EQ(target.HeadTR, 14.0);
    EXPECT_EQ(target.CupTR, 26.0);
    EXPECT_EQ(target.FocH, 1150.0);
    EXPECT_EQ(target.DatFile, "C:/studies/hip/erika");
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
