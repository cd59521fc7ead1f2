#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "core/model/COxel.h"

// A copy of the measurement whose clicked points are its own, so that whatever later happens to
// the original's points does not reach it.
inline COxel copyOfMeasurement(const COxel &oxel)
{
    COxel copy = oxel;
    for (PointLandmark *landmark : copy.landmarks())
        for (auto &point : landmark->points)
            point = std::make_shared<CPoint>(*point);
    return copy;
}

namespace sameMeasurementDetail {

class Comparison
{
public:
    template <typename T>
    void field(const std::string &name, const T &a, const T &b)
    {
        if (!(a == b) && differences.tellp() < 2000)
            differences << "\n  " << name << ": " << a << " != " << b;
    }

    void point(const std::string &name, const CPoint &a, const CPoint &b)
    {
        field(name + ".x", a.x, b.x);
        field(name + ".y", a.y, b.y);
    }

    void line(const std::string &name, const CLine &a, const CLine &b)
    {
        field(name + ".Valid", a.Valid, b.Valid);
        point(name + ".P0", a.P0, b.P0);
        point(name + ".P1", a.P1, b.P1);
    }

    void points(const std::string &name, const PointLandmark &a, const PointLandmark &b)
    {
        field(name + ".Valid", a.Valid, b.Valid);
        field(name + ".PVisible", a.PVisible, b.PVisible);
        field(name + ".points.size", a.points.size(), b.points.size());
        for (std::size_t i = 0; i < a.points.size() && i < b.points.size(); ++i)
            point(name + ".points[" + std::to_string(i) + "]", *a.points[i], *b.points[i]);
    }

    std::string text() const { return differences.str(); }

private:
    std::ostringstream differences;
};

} // namespace sameMeasurementDetail

// Every field of the two measurements, compared exactly; the differences are named.
inline ::testing::AssertionResult sameMeasurement(const COxel &a, const COxel &b)
{
    sameMeasurementDetail::Comparison c;
    c.field("DatFlag", a.DatFlag, b.DatFlag);
    c.field("Visible", a.Visible, b.Visible);
    c.field("ScaleFactor", a.ScaleFactor, b.ScaleFactor);
    c.field("WPixel", a.WPixel, b.WPixel);
    c.field("HPixel", a.HPixel, b.HPixel);
    c.field("CalibDist", a.CalibDist, b.CalibDist);
    c.line("CalibPoints", a.CalibPoints, b.CalibPoints);
    c.field("SinA", a.SinA, b.SinA);
    c.field("CosA", a.CosA, b.CosA);
    c.point("Center", a.Center, b.Center);
    for (std::size_t i = 0; i < COxel::kLineCount; ++i)
        c.line(COxel::kLineNames[i], *a.lines()[i], *b.lines()[i]);
    for (const auto &[name, x, y] :
        {std::tuple{"Head", &a.Head, &b.Head}, {"Cup", &a.Cup, &b.Cup}}) {
        c.points(name, *x, *y);
        c.point(std::string(name) + ".M", x->M, y->M);
        c.field(std::string(name) + ".r", x->r, y->r);
    }
    c.points("Rim", a.Rim, b.Rim);
    c.point("Rim.M0", a.Rim.M0, b.Rim.M0);
    c.point("Rim.M1", a.Rim.M1, b.Rim.M1);
    c.point("Rim.M2", a.Rim.M2, b.Rim.M2);
    c.point("Rim.M3", a.Rim.M3, b.Rim.M3);
    c.field("Rim.a", a.Rim.a, b.Rim.a);
    c.field("Rim.b", a.Rim.b, b.Rim.b);
    c.field("Rim.CosA", a.Rim.CosA, b.Rim.CosA);
    c.field("Rim.SinA", a.Rim.SinA, b.Rim.SinA);
    c.field("Datum", a.Datum, b.Datum);
    c.field("Patient.Famname", a.Patient.Famname, b.Patient.Famname);
    c.field("Patient.Vorname", a.Patient.Vorname, b.Patient.Vorname);
    c.field("Patient.Code", a.Patient.Code, b.Patient.Code);
    c.field("Patient.Typ", a.Patient.Typ, b.Patient.Typ);
    c.field("Patient.SLFlag", a.Patient.SLFlag, b.Patient.SLFlag);
    c.field("Patient.HeadTR", a.Patient.HeadTR, b.Patient.HeadTR);
    c.field("Patient.CupTR", a.Patient.CupTR, b.Patient.CupTR);
    c.field("Patient.FocH", a.Patient.FocH, b.Patient.FocH);
    c.field("Patient.DatFile", a.Patient.DatFile, b.Patient.DatFile);
    const std::string differences = c.text();
    if (differences.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the measurements differ:" << differences;
}
