// Writes COUNT radiographs (a 2000 x 1600 grey JPEG each) with complete landmark files into
// FOLDER, all of one patient whose result file is FOLDER/patient.dat: the input for timing
// "oxel-cli evaluate" over many files in one call. The pictures are hard links of one file (the
// command line reads only their headers), so that 100,000 of them fit on a small disk.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QString>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"

namespace {

// Study ids of one width, so that a landmark file made once can be given another id in place.
std::string studyCode(int i)
{
    char code[16];
    std::snprintf(code, sizeof code, "B-%06d", i);
    return code;
}

// The landmark file of the variant-th radiograph (a little variety between them), as bytes.
bool landmarkBytes(const std::filesystem::path &folder, int variant, std::string &bytes)
{
    COxel oxel;
    oxel.setPicBox(nullptr);
    oxel.initScale(2000, 1600, 400.0);
    const double shift = variant;
    oxel.init(400 + shift, 1200, 1400 + shift, 1200);
    for (CLine *line :
        {&oxel.H_B, &oxel.H_M, &oxel.H_T, &oxel.V_L, &oxel.V_M, &oxel.V_F, &oxel.V_R})
        line->Valid = true;
    for (int k = 0; k < 8; ++k) {
        const double t = k * std::numbers::pi / 4;
        oxel.Head.addPoint(1250 + shift + 80 * std::cos(t), 800 + 80 * std::sin(t));
        oxel.Cup.addPoint(1260 + shift + 92 * std::cos(t), 790 + 92 * std::sin(t));
        oxel.Rim.addPoint(1260 + shift + 80 * std::cos(t) - 24 * std::sin(t) * 0.6,
            790 - 60 * std::cos(t) - 24 * std::sin(t) * 0.8);
    }
    oxel.Head.Valid = oxel.Head.fit();
    oxel.Cup.Valid = oxel.Cup.fit();
    oxel.Rim.Valid = oxel.Rim.fit();
    oxel.Datum = "20240115";
    oxel.Patient.Famname = "Bench";
    oxel.Patient.Vorname = "Mark";
    oxel.Patient.Code = studyCode(0);
    oxel.Patient.Typ = 4;
    oxel.Patient.HeadTR = 14;
    oxel.Patient.CupTR = 18;
    oxel.Patient.FocH = 1150;
    oxel.Patient.DatFile = (folder / "patient").string();
    const std::string made = (folder / "variant.bin").string();
    std::string error;
    if (!BinFile::write(made, oxel, &error)) {
        std::cerr << "cannot write a landmark file: " << error << '\n';
        return false;
    }
    std::ifstream in(made, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::remove(made);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::cerr << "usage: oxel_make_cli_corpus FOLDER COUNT\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::atoi(argv[2]);
    std::filesystem::create_directories(folder);

    QImage picture(2000, 1600, QImage::Format_Grayscale8);
    picture.fill(QColor(128, 128, 128));
    const std::string first = (folder / "hip-00000.jpg").string();
    if (!picture.save(QString::fromStdString(first), "JPG")) {
        std::cerr << "cannot write " << first << '\n';
        return 1;
    }

    constexpr int kLinksPerPicture = 10000;
    std::string source = first;
    constexpr int kVariants = 50;
    std::vector<std::string> variants(kVariants);
    for (int v = 0; v < kVariants; ++v) {
        if (!landmarkBytes(folder, v, variants[static_cast<std::size_t>(v)]))
            return 1;
    }
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "hip-%05d.jpg", i);
        const std::string path = (folder / name).string();
        // A file system limits the links to one file (ext4: 65,000): a fresh copy now and then.
        if (i % kLinksPerPicture == 0 && i > 0) {
            std::filesystem::copy_file(source, path);
            source = path;
        } else if (i > 0) {
            std::filesystem::create_hard_link(source, path);
        }
        std::string bytes = variants[static_cast<std::size_t>(i % kVariants)];
        const std::string code = studyCode(i);
        bytes.replace(bytes.find(studyCode(0)), code.size(), code);
        std::ofstream out(BinFile::landmarkPath(path), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::cerr << "cannot write the landmark file of " << path << '\n';
            return 1;
        }
    }
    return 0;
}
