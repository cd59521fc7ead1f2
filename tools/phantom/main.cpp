// oxel-phantom: renders a synthetic AP radiograph of a hip replacement whose true geometry is
// known, with the landmark file an operator would leave beside it and the true values.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImageWriter>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "tools/phantom/Phantom.h"
#include "tools/phantom/PhantomDicom.h"
#include "tools/phantom/PhantomPicture.h"

namespace {

constexpr const char *kUsage = R"(usage:
  oxel-phantom OUTPUT_PICTURE [--side left|right] [--inclination DEG] [--anteversion DEG]
               [--focus MM] [--seed N] [--datfile PATH]
               [--date YYYYMMDD] [--cup-shift CRANIAL,MEDIAL] [--wear X,Y]
               [--realistic] [--focal-spot MM] [--detector-blur MM] [--cup metal|cemented]

Writes the picture (its format from the extension, e.g. .jpg; .dcm writes a DICOM DX of
12 bits, JPEG 2000 lossless, with the detector's pixel spacing, the focus distance, the
patient and the date in its header), its landmark file (the picture's path with .bin)
with the grid confirmed and head, cup and rim fitted, and the true values (the picture's
path with .truth.txt). The fictitious patient's result file is
PATH.dat; without --datfile, PATH is the picture's path without its extension.
A follow-up radiograph of the same hip: --date is the day it was taken, --cup-shift how far
the cup (with the head in it) has migrated since the post-operative one (mm cranial, medial),
--wear how much further the head has worn into the cup (mm medial, cranial, as the result file
reads wear); the pelvis stays where it was. Give another --seed for other picked points.
--realistic exposes the picture as a film behind a focal spot and a screen: each object blurred
by the focal spot's penumbra at its height (--focal-spot, nominal size), the screen's blur
(--detector-blur, standard deviation of its line spread), scatter and quantum noise, the metal
brighter than bone but not white everywhere; not for .dcm. Without it the picture is the plain
one the demo pictures were made with. --cup is the realistic picture's cup: metal, a cementless
titanium shell with a polyethylene liner, or cemented, a polyethylene cup in a cement mantle.
Defaults: left hip, inclination 45, anteversion 15, focus 1100 mm, seed 1, date 20240312,
no cup shift and no wear; focal spot 1.2 mm, detector blur 0.17 mm, metal cup.
)";

constexpr int kUsageError = 2;

int usageError(const std::string &why)
{
    std::cerr << "oxel-phantom: " << why << "\n\n" << kUsage;
    return kUsageError;
}

bool parseNumber(const std::string &text, double low, double high, double &value)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= low && v <= high))
        return false;
    value = v;
    return true;
}

// Two numbers "A,B", each within [low, high].
bool parsePair(const std::string &text, double low, double high, double &a, double &b)
{
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && parseNumber(text.substr(0, comma), low, high, a)
        && parseNumber(text.substr(comma + 1), low, high, b);
}

// "yyyymmdd" naming a day of the calendar, as the patient dialog takes the date.
bool isDate(const std::string &text)
{
    if (text.size() != 8 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int year = std::stoi(text.substr(0, 4));
    const auto month = static_cast<unsigned>(std::stoi(text.substr(4, 2)));
    const auto day = static_cast<unsigned>(std::stoi(text.substr(6, 2)));
    return std::chrono::year_month_day{
        std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}}
        .ok();
}

std::string withoutExtension(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

bool isDicomName(const std::string &path)
{
    const std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && path.substr(dot) == ".dcm";
}

std::string text(double v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", v);
    return buffer;
}

// A follow-up radiograph's truth also names its date and what changed since the
// post-operative one; a picture made without those options keeps the file as it always was.
bool writeTruth(const std::string &path, const Phantom::Scene &scene, std::uint32_t seed,
    const std::string *followUpDate)
{
    const Phantom::Truth t = Phantom::truth(scene);
    const Phantom::Parameters &p = scene.p;
    const Phantom::Vec2 beam = scene.toPicture({scene.focus.x, scene.focus.y});
    const auto point = [](const Phantom::Vec3 &v) {
        return text(v.x) + " " + text(v.y) + " " + text(v.z);
    };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "# True geometry of the phantom. Film frame: mm from the picture's bottom left corner,\n"
           "# x to the right, y up, z the height above the film towards the focus.\n"
        << "side = " << (p.side == Phantom::Side::Left ? "left" : "right") << "\n"
        << "seed = " << seed << "\n"
        << "picture_width_px = " << p.widthPx << "\n"
        << "picture_height_px = " << p.heightPx << "\n"
        << "picture_width_mm = " << text(p.widthMm) << "\n"
        << "focus_distance_mm = " << text(p.focusMm) << "\n"
        << "beam_centre_px = " << text(beam.x) << " " << text(beam.y) << "\n"
        << "head_radius_mm = " << text(p.headRadiusMm) << "\n"
        << "cup_radius_mm = " << text(p.cupRadiusMm) << "\n"
        << "wire_radius_mm = " << text(p.wireRadiusMm) << "\n"
        << "head_centre_mm = " << point(scene.headCentre) << "\n"
        << "cup_centre_mm = " << point(scene.cupCentre) << "\n"
        << "cup_axis = " << point(scene.cupAxis) << "\n"
        << "inclination_deg = " << text(t.inclinationDeg) << "\n"
        << "anteversion_deg = " << text(t.anteversionDeg) << "\n"
        << "head_cranial_mm = " << text(t.head.cranial) << "\n"
        << "head_medial_mm = " << text(t.head.medial) << "\n"
        << "head_antiparameter_mm = " << text(t.head.antiparameter) << "\n"
        << "cup_cranial_mm = " << text(t.cup.cranial) << "\n"
        << "cup_medial_mm = " << text(t.cup.medial) << "\n"
        << "cup_antiparameter_mm = " << text(t.cup.antiparameter) << "\n"
        << "wear_x_mm = " << text(t.wearMm.x) << "\n"
        << "wear_y_mm = " << text(t.wearMm.y) << "\n";
    if (followUpDate) {
        out << "# Since the post-operative radiograph, true mm: the cup's migration in the\n"
               "# pelvis (the head with it), and the head's further wear into the cup (x medial,\n"
               "# y cranial).\n"
            << "date = " << *followUpDate << "\n"
            << "cup_shift_cranial_mm = " << text(p.cupShiftMm.cranial) << "\n"
            << "cup_shift_medial_mm = " << text(p.cupShiftMm.medial) << "\n"
            << "wear_added_x_mm = " << text(p.wearMm.medial) << "\n"
            << "wear_added_y_mm = " << text(p.wearMm.cranial) << "\n";
    }
    out.close();
    return bool(out);
}

} // namespace

int main(int argc, char *argv[])
{
    // Text needs fonts and fonts need a platform; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    Phantom::Parameters p;
    std::string picture, datFile;
    std::string date = "20240312";
    bool followUp = false;
    bool realistic = false;
    PhantomPicture::Imaging imaging;
    double seed = 1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!picture.empty())
                return usageError("more than one output picture given");
            picture = arg;
            continue;
        }
        if (arg == "--realistic") {
            realistic = true;
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(arg + " needs a value");
        const std::string &value = args[++i];
        bool ok = true;
        if (arg == "--side") {
            ok = value == "left" || value == "right";
            p.side = value == "right" ? Phantom::Side::Right : Phantom::Side::Left;
        } else if (arg == "--inclination") {
            ok = parseNumber(value, 0, 90, p.inclinationDeg);
        } else if (arg == "--anteversion") {
            ok = parseNumber(value, 0, 80, p.anteversionDeg);
        } else if (arg == "--focus") {
            ok = parseNumber(value, 600, 3000, p.focusMm);
        } else if (arg == "--seed") {
            ok = parseNumber(value, 0, 4294967295.0, seed) && seed == double(std::uint32_t(seed));
        } else if (arg == "--datfile") {
            ok = !value.empty();
            datFile = value;
        } else if (arg == "--date") {
            ok = isDate(value);
            date = value;
            followUp = true;
        } else if (arg == "--cup-shift") {
            // Beyond a few centimetres the cup would leave the pelvis it is drawn in.
            ok = parsePair(value, -20, 20, p.cupShiftMm.cranial, p.cupShiftMm.medial);
            followUp = true;
        } else if (arg == "--wear") {
            // The head cannot go further into the liner than the liner is thick.
            ok = parsePair(value, -5, 5, p.wearMm.medial, p.wearMm.cranial);
            followUp = true;
        } else if (arg == "--focal-spot") {
            // Beyond 3 mm no tube is used for a hip; 0 is the ideal point focus.
            ok = parseNumber(value, 0, 3, imaging.focalSpotMm);
            realistic = true;
        } else if (arg == "--detector-blur") {
            ok = parseNumber(value, 0, 1, imaging.detectorBlurMm);
            realistic = true;
        } else if (arg == "--cup") {
            ok = value == "metal" || value == "cemented";
            imaging.cup = value == "metal" ? PhantomPicture::CupKind::MetalBacked
                                           : PhantomPicture::CupKind::CementedPolyethylene;
            realistic = true;
        } else {
            return usageError("unknown option " + arg);
        }
        if (!ok)
            return usageError("bad value for " + arg + ": " + value);
    }
    if (picture.empty())
        return usageError("no output picture given");
    if (datFile.empty())
        datFile = withoutExtension(picture);
    if (realistic && isDicomName(picture))
        return usageError("the realistic exposure is a film: write a picture, not .dcm");

    const auto seedValue = std::uint32_t(seed);
    const Phantom::Scene scene = Phantom::makeScene(p);
    const Phantom::Picks picks = Phantom::pickOutlines(scene, seedValue);

    COxel oxel;
    oxel.setPicBox(nullptr);
    if (!Phantom::placeLandmarks(scene, picks, oxel)) {
        std::cerr << "oxel-phantom: the clicked points could not be fitted\n";
        return 1;
    }
    CPatient &patient = oxel.Patient;
    patient.Famname = "Sample";
    patient.Vorname = "Hannah";
    patient.Code = "DEMO-0001";
    patient.Typ = 1; // evaluated on the femoral head, with the rim for the cup
    patient.HeadTR = p.headRadiusMm;
    patient.CupTR = p.cupRadiusMm;
    patient.FocH = p.focusMm;
    patient.DatFile = datFile;
    oxel.Datum = date;

    std::string error;
    if (isDicomName(picture)) {
        if (!PhantomDicom::write(picture, scene, seedValue, patient, oxel.Datum, error)) {
            std::cerr << "oxel-phantom: cannot write " << picture << ": " << error << "\n";
            return 1;
        }
    } else {
        const QImage image = realistic ? PhantomPicture::renderRealistic(scene, seedValue, imaging)
                                       : PhantomPicture::render(scene, seedValue);
        QImageWriter writer(QString::fromStdString(picture));
        writer.setQuality(88);
        if (!writer.write(image)) {
            std::cerr << "oxel-phantom: cannot write " << picture << ": "
                      << writer.errorString().toStdString() << "\n";
            return 1;
        }
    }
    const std::string landmarks = BinFile::landmarkPath(picture);
    if (!BinFile::write(landmarks, oxel, &error)) {
        std::cerr << "oxel-phantom: cannot write " << landmarks << ": " << error << "\n";
        return 1;
    }
    const std::string truthPath = picture + ".truth.txt";
    if (!writeTruth(truthPath, scene, seedValue, followUp ? &date : nullptr)) {
        std::cerr << "oxel-phantom: cannot write " << truthPath << "\n";
        return 1;
    }
    std::cout << picture << "\n" << landmarks << "\n" << truthPath << "\n";
    return 0;
}
