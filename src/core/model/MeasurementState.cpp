#include "core/model/MeasurementState.h"

#include <cassert>

#include "core/model/COxel.h"

namespace {

using Point = MeasurementState::Point;
using Line = MeasurementState::Line;
using Landmark = MeasurementState::Landmark;

Point valueOf(const CPoint &p)
{
    return {p.x, p.y};
}

void put(const Point &value, CPoint &p)
{
    p.x = value.x;
    p.y = value.y;
}

Line valueOf(const CLine &line)
{
    return {line.Valid, valueOf(line.P0), valueOf(line.P1)};
}

void put(const Line &value, CLine &line)
{
    line.Valid = value.Valid;
    put(value.P0, line.P0);
    put(value.P1, line.P1);
}

Landmark pointsOf(const PointLandmark &landmark)
{
    Landmark value;
    value.Valid = landmark.Valid;
    value.PVisible = landmark.PVisible;
    value.points.reserve(landmark.points.size());
    for (const auto &p : landmark.points)
        value.points.push_back(valueOf(*p));
    return value;
}

void putPoints(const Landmark &value, PointLandmark &landmark)
{
    landmark.Valid = value.Valid;
    landmark.PVisible = value.PVisible;
    landmark.removeAll();
    for (const Point &p : value.points)
        landmark.addPoint(p.x, p.y);
}

Landmark valueOf(const CCircle &circle)
{
    Landmark value = pointsOf(circle);
    value.shapePoints = {valueOf(circle.M)};
    value.shapeValues = {circle.r};
    return value;
}

Landmark valueOf(const CEllipse &ellipse)
{
    Landmark value = pointsOf(ellipse);
    value.shapePoints = {
        valueOf(ellipse.M0), valueOf(ellipse.M1), valueOf(ellipse.M2), valueOf(ellipse.M3)};
    value.shapeValues = {ellipse.a, ellipse.b, ellipse.CosA, ellipse.SinA};
    return value;
}

// A state always comes from of(), so its shape has the landmark's own number of values.
void put(const Landmark &value, CCircle &circle)
{
    putPoints(value, circle);
    put(value.shapePoints.at(0), circle.M);
    circle.r = value.shapeValues.at(0);
}

void put(const Landmark &value, CEllipse &ellipse)
{
    putPoints(value, ellipse);
    put(value.shapePoints.at(0), ellipse.M0);
    put(value.shapePoints.at(1), ellipse.M1);
    put(value.shapePoints.at(2), ellipse.M2);
    put(value.shapePoints.at(3), ellipse.M3);
    ellipse.a = value.shapeValues.at(0);
    ellipse.b = value.shapeValues.at(1);
    ellipse.CosA = value.shapeValues.at(2);
    ellipse.SinA = value.shapeValues.at(3);
}

} // namespace

MeasurementState MeasurementState::of(const COxel &oxel)
{
    MeasurementState state;
    state.DatFlag = oxel.DatFlag;
    state.ScaleFactor = oxel.ScaleFactor;
    state.WPixel = oxel.WPixel;
    state.HPixel = oxel.HPixel;
    state.CalibDist = oxel.CalibDist;
    state.CalibPoints = valueOf(oxel.CalibPoints);
    const auto lines = oxel.lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        state.lines[i] = valueOf(*lines[i]);
    state.landmarks = {valueOf(oxel.Head), valueOf(oxel.Cup), valueOf(oxel.Rim)};
    state.Datum = oxel.Datum;
    state.Patient = oxel.Patient;
    return state;
}

void MeasurementState::applyTo(COxel &oxel) const
{
    oxel.DatFlag = DatFlag;
    oxel.ScaleFactor = ScaleFactor;
    oxel.WPixel = WPixel;
    oxel.HPixel = HPixel;
    oxel.CalibDist = CalibDist;
    put(CalibPoints, oxel.CalibPoints);
    const auto target = oxel.lines();
    for (std::size_t i = 0; i < target.size(); ++i)
        put(lines[i], *target[i]);
    for (std::size_t i = 0; i < landmarks.size(); ++i)
        applyLandmarkTo(oxel, i);
    oxel.Datum = Datum;
    oxel.Patient.copy(Patient);
}

void MeasurementState::applyLandmarkTo(COxel &oxel, std::size_t which) const
{
    assert(which < landmarks.size());
    switch (which) {
    case 0:
        put(landmarks[0], oxel.Head);
        break;
    case 1:
        put(landmarks[1], oxel.Cup);
        break;
    default:
        put(landmarks[2], oxel.Rim);
        break;
    }
}
