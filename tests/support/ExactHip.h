#pragma once

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "support/CentralProjection.h"
#include "support/LeftHip.h"

// The left hip's grid (LeftHip.h) with its landmarks placed exactly as a focus 1000 mm above the
// beam centre casts them: head (radius 14) and cup (radius 25) centres and the cup's axis
// (inclination 42, anteversion 18 degrees) known in the base-line frame. Patient data complete
// (type 1, writing to datFile).
struct ExactHip
{
    // The picture is 2000 x 1600 px at 5 px/mm and the base line runs (400, 1200) to
    // (1400, 1200): frame x = px / 5 - 80, y = 240 - py / 5. The grid's H-M-Line is at
    // py = 700, the V-M-Line at px = 900; the beam centre lies midway to the picture's centre
    // (1000, 800): (950, 750) px, (110, 90) mm. Base-Line y = 0, Top-Line y = 200, F-Line
    // x = 150.
    static constexpr double kFocus = 1000;
    SpacePoint F{110, 90, kFocus};
    SpacePoint head{250, 40, 180}, cup{255, 45, 175};
    SpacePoint axis = CentralProjection::cupAxis(42, 18);
    COxel oxel;

    static CPoint toPicture(const CPoint &p) { return CPoint((p.x + 80) * 5, (240 - p.y) * 5); }

    explicit ExactHip(const std::string &datFile = "exact")
    {
        leftHipGrid(oxel);
        oxel.Datum = "20240115";
        oxel.Patient.Famname = "Exact";
        oxel.Patient.Vorname = "Eva";
        oxel.Patient.Code = "X-1";
        oxel.Patient.Typ = 1;
        oxel.Patient.DatFile = datFile;
        oxel.Patient.HeadTR = 14;
        oxel.Patient.CupTR = 25;
        oxel.Patient.FocH = kFocus;
        project(head, cup, axis);
    }

    // The landmarks placed anew as the focus casts a head and cup at these centres and a rim
    // around the cup with this axis; the grid and the patient stay.
    void project(
        const SpacePoint &headCentre, const SpacePoint &cupCentre, const SpacePoint &cupAxis)
    {
        using namespace CentralProjection;
        head = headCentre;
        cup = cupCentre;
        axis = cupAxis;
        oxel.Head.removeAll();
        oxel.Cup.removeAll();
        oxel.Rim.removeAll();
        for (const CPoint &P : sphereOutline(F, head, 14, 9))
            oxel.Head.addPoint(toPicture(P).x, toPicture(P).y);
        for (const CPoint &P : sphereOutline(F, cup, 25, 10))
            oxel.Cup.addPoint(toPicture(P).x, toPicture(P).y);
        for (const CPoint &P : rimOutline(F, cup, axis, 25, 12))
            oxel.Rim.addPoint(toPicture(P).x, toPicture(P).y);
        oxel.Head.Valid = oxel.Head.fit();
        oxel.Cup.Valid = oxel.Cup.fit();
        oxel.Rim.Valid = oxel.Rim.fit();
        EXPECT_TRUE(oxel.Head.Valid && oxel.Cup.Valid && oxel.Rim.Valid);
    }

    // The distance of X from the plane through F and the film line y = c (Base-Line,
    // Top-Line), and through F and the film line x = c (F-Line).
    double fromHorizontal(const SpacePoint &X, double c) const
    {
        return std::fabs((X[1] - c) * F[2] - X[2] * (F[1] - c)) / std::hypot(F[1] - c, F[2]);
    }

    double fromVertical(const SpacePoint &X, double c) const
    {
        return std::fabs((X[0] - c) * F[2] - X[2] * (F[0] - c)) / std::hypot(F[0] - c, F[2]);
    }
};
