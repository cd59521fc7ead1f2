#include "core/records/CPatient.h"

void CPatient::copy(const CPatient &other)
{
    if (&other == this)
        return;
    Famname = other.Famname;
    Vorname = other.Vorname;
    Code = other.Code;
    Typ = other.Typ;
    SLFlag = other.SLFlag;
    HeadTR = other.HeadTR;
    CupTR = other.CupTR;
    FocH = other.FocH;
    DatFile = other.DatFile;
}

CPatient &LastPatient()
{
    static CPatient record;
    return record;
}
