#pragma once

// What the validation suites share: phantoms that vary as radiographs of one hip vary, and the
// road of a measured phantom through the landmark file and "Write Data" into the result file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/evaluation/EvaluationHost.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "core/series/ResultFileReader.h"
#include "support/TempDir.h"
#include "tools/phantom/Phantom.h"

namespace PhantomSetup {

// Evaluation types: 1 takes the femoral head as the reference sphere and the rim centre for the
// cup; 7 takes the cup circle as the reference sphere and places the head at the cup's height.
constexpr std::int16_t kHeadBased = 1;
constexpr std::int16_t kCupBased = 7;

// The patient's depth on the table, the pelvis' turn and place under the beam and the head's
// offset in the cup, drawn as they vary between radiographs.
inline void varyPlacement(Phantom::Parameters &p, Phantom::Random &random)
{
    p.cupHeightMm = random.uniform(140, 200);
    p.pelvicRotationDeg = random.uniform(-4, 4);
    p.gridCentreFromBeamMm = {random.uniform(-10, 10), random.uniform(-5, 15)};
    p.headFromCupMm = {
        random.uniform(-0.5, 1.0), random.uniform(0.0, 2.0), random.uniform(-0.5, 0.5)};
}

// A hip of these angles, seen from the given focus distance or from one drawn between 1000 and
// 1200 mm, placed as varyPlacement draws it.
inline Phantom::Parameters hip(Phantom::Side side, double inclinationDeg, double anteversionDeg,
    std::optional<double> focusMm, Phantom::Random &random)
{
    Phantom::Parameters p;
    p.side = side;
    p.inclinationDeg = inclinationDeg;
    p.anteversionDeg = anteversionDeg;
    p.focusMm = focusMm ? *focusMm : random.uniform(1000, 1200);
    varyPlacement(p, random);
    return p;
}

// The placed landmarks with the phantom's patient data written to a landmark file in `dir` and
// read back into `readBack`, as the program opens a radiograph measured before. The patient's
// result file is `dir`'s "patient.dat". False, with `why`, when either step fails.
inline bool throughTheLandmarkFile(const Phantom::Scene &scene, COxel &placed, std::int16_t typ,
    const TempDir &dir, COxel &readBack, std::string &why)
{
    CPatient &patient = placed.Patient;
    patient.Famname = "Phantom";
    patient.Vorname = "Validation";
    patient.Code = "V-1";
    patient.Typ = typ;
    patient.HeadTR = scene.p.headRadiusMm;
    patient.CupTR = scene.p.cupRadiusMm;
    patient.FocH = scene.p.focusMm;
    patient.DatFile = dir.file("patient");
    placed.Datum = "20240101";
    const std::string landmarks = dir.file("phantom.bin");
    if (!BinFile::write(landmarks, placed)) {
        why = "the landmark file could not be written";
        return false;
    }
    readBack.setPicBox(nullptr);
    if (!BinFile::read(landmarks, scene.p.widthPx, scene.p.heightPx, readBack)) {
        why = "the landmark file could not be read";
        return false;
    }
    return true;
}

// The one block an evaluation appended to the patient's result file, read as the follow-up
// reads it; the file is removed for the next evaluation. Nothing, with `why`, when the file holds
// anything else.
inline std::optional<ResultEntry> takeBlock(const TempDir &dir, std::string &why)
{
    const std::string path = dir.file("patient") + ".dat";
    const std::string bytes = readBytes(path);
    std::filesystem::remove(path);
    const ResultFileContents contents = ResultFileReader::parse(bytes);
    if (contents.entries.size() != 1 || !contents.problems.empty()) {
        why = "not one block of 13 lines:\n" + bytes;
        return std::nullopt;
    }
    return contents.entries.front();
}

} // namespace PhantomSetup
