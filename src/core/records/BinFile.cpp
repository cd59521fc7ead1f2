#include "core/records/BinFile.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/CodePage.h"
#include "core/records/SafeFile.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kInt16Bytes = 2;
constexpr std::size_t kRealBytes = 8;
constexpr std::size_t kLineValues = 4 * COxel::kLineCount; // each line x, y of P0 and of P1
constexpr std::int16_t kFlagTrue = 0;
constexpr std::int16_t kFlagFalse = -1;
constexpr std::size_t kMaxCount = std::numeric_limits<std::int16_t>::max();

struct CalibrationPreset
{
    std::string_view name;
    double pictureWidthMm;
};

// "mm430", the default width, is deliberately not a name here: files carrying it leave the
// scale where reading began.
constexpr std::array<CalibrationPreset, 7> kCalibrationPresets = {{
    {"DirektR1", 403.7},
    {"Tallex", 532.8},
    {"mm175", 175.0},
    {"Vallex", 280.0},
    {"pacs", 500.0},
    {"PACSLT1", 440.8},
    {"PACSPR8", 495.3},
}};

// Reads the primitives of the file from memory. Every read checks that the bytes it needs
// are there, and every count is checked against the remaining bytes before anything is
// allocated, so a damaged or hostile file can neither overrun the buffer nor make us reserve
// memory it does not back.
class RecordReader
{
public:
    explicit RecordReader(std::string_view bytes) : data(bytes) {}

    bool atEnd() const { return pos == data.size(); }

    bool int16(std::int16_t &value)
    {
        if (remaining() < kInt16Bytes)
            return false;
        const auto low = static_cast<std::uint16_t>(byteAt(pos));
        const auto high = static_cast<std::uint16_t>(byteAt(pos + 1));
        value = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
        pos += kInt16Bytes;
        return true;
    }

    // A count or a length: an int16 that must not be negative.
    bool count(std::size_t &n)
    {
        std::int16_t value = 0;
        if (!int16(value) || value < 0)
            return false;
        n = static_cast<std::size_t>(value);
        return true;
    }

    bool string(std::string &text)
    {
        std::size_t length = 0;
        if (!count(length) || remaining() < length)
            return false;
        text = CodePage::fromWindows1252(data.substr(pos, length));
        pos += length;
        return true;
    }

    bool int16s(std::size_t n, std::vector<std::int16_t> &values)
    {
        if (remaining() / kInt16Bytes < n)
            return false;
        values.resize(n);
        for (auto &value : values)
            int16(value);
        return true;
    }

    bool reals(std::size_t n, std::vector<double> &values)
    {
        if (remaining() / kRealBytes < n)
            return false;
        values.resize(n);
        for (auto &value : values) {
            std::uint64_t bits = 0;
            for (std::size_t i = 0; i < kRealBytes; ++i)
                bits |= static_cast<std::uint64_t>(byteAt(pos + i)) << (8 * i);
            value = std::bit_cast<double>(bits);
            pos += kRealBytes;
        }
        return true;
    }

    bool skip(std::size_t n, std::size_t elementBytes)
    {
        if (remaining() / elementBytes < n)
            return false;
        pos += n * elementBytes;
        return true;
    }

private:
    std::size_t remaining() const { return data.size() - pos; }

    unsigned char byteAt(std::size_t i) const { return static_cast<unsigned char>(data[i]); }

    std::string_view data;
    std::size_t pos = 0;
};

// What this read has learnt about one of head, cup and rim; a stored validity flag is only
// believed as far as this allows.
struct LandmarkInFile
{
    std::string_view pointsKey;
    std::string_view validKey;
    PointLandmark &landmark;
    bool pointsRecordRead = false;
    bool fittedThisRead = false;
};

bool allFinite(const std::vector<double> &values)
{
    for (const double v : values) {
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

// Reads "count, then exactly `expected` int16 values".
bool exactInt16s(RecordReader &in, std::size_t expected, std::vector<std::int16_t> &values)
{
    std::size_t n = 0;
    return in.count(n) && n == expected && in.int16s(n, values);
}

bool isTrueFlag(std::int16_t value)
{
    return value == kFlagTrue;
}

class LandmarkFileReader
{
public:
    LandmarkFileReader(std::string_view bytes, std::int16_t picW, std::int16_t picH, COxel &o)
        : in(bytes),
          pictureWidth(picW),
          pictureHeight(picH),
          oxel(o),
          landmarks{{
              {"HeadPoints (REAL)", "HeadValid (INTEGER)", o.Head},
              {"CupPoints (REAL)", "CupValid (INTEGER)", o.Cup},
              {"RimPoints (REAL)", "RimValid (INTEGER)", o.Rim},
          }}
    {}

    // False with lastKey naming the last record handled completely.
    bool readRecords()
    {
        for (;;) {
            if (in.atEnd())
                return true;
            std::string key;
            if (!in.string(key))
                return false;
            if (key.empty())
                return true;
            if (!applyRecord(key))
                return false;
            lastKey = key;
        }
    }

    std::string lastKey;

private:
    bool applyRecord(const std::string &key)
    {
        CPatient &patient = oxel.Patient;
        if (key == "Calib (CHAR)")
            return readPreset();
        if (key == "Name (CHAR)" || key == "Famname (CHAR)")
            return in.string(patient.Famname);
        if (key == "Vorname (CHAR)")
            return in.string(patient.Vorname);
        if (key == "Date (CHAR)")
            return in.string(oxel.Datum);
        if (key == "Code (CHAR)")
            return in.string(patient.Code);
        if (key == "DatFile (CHAR)")
            return in.string(patient.DatFile);
        if (key == "Typ (INTEGER)")
            return readSingleInt16([&patient](std::int16_t v) { patient.Typ = v; });
        if (key == "SLFlag (INTEGER)")
            return readSingleInt16([&patient](std::int16_t v) { patient.SLFlag = isTrueFlag(v); });
        if (key == "FocHValid (INTEGER)")
            return readSingleInt16([](std::int16_t) {});
        if (key == "HeadTR (REAL)")
            return readLastReal(patient.HeadTR);
        if (key == "CupTR (REAL)")
            return readLastReal(patient.CupTR);
        if (key == "FocH (REAL)")
            return readLastReal(patient.FocH);
        if (key == "Calib (REAL)")
            return readCalibration();
        if (key == "Lines (REAL)")
            return readLines();
        if (key == "LinesValid (INTEGER)")
            return readLinesValid();
        for (LandmarkInFile &landmark : landmarks) {
            if (key == landmark.pointsKey)
                return readPoints(landmark);
            if (key == landmark.validKey)
                return readLandmarkValid(landmark);
        }
        return skipUnknown(key);
    }

    bool readPreset()
    {
        std::string name;
        if (!in.string(name))
            return false;
        for (const auto &preset : kCalibrationPresets) {
            if (name == preset.name)
                return oxel.initScale(pictureWidth, pictureHeight, preset.pictureWidthMm);
        }
        return true;
    }

    template <typename Apply>
    bool readSingleInt16(Apply apply)
    {
        std::vector<std::int16_t> values;
        if (!exactInt16s(in, 1, values))
            return false;
        apply(values[0]);
        return true;
    }

    // Unlike the other single values, any count is accepted here: the last value counts, and
    // none gives 0.
    bool readLastReal(double &field)
    {
        std::size_t n = 0;
        std::vector<double> values;
        if (!in.count(n) || !in.reals(n, values))
            return false;
        field = values.empty() ? 0.0 : values.back();
        return true;
    }

    bool readCalibration()
    {
        std::size_t n = 0;
        std::vector<double> values;
        if (!in.count(n) || n != 1 || !in.reals(n, values))
            return false;
        return oxel.initScale(pictureWidth, pictureHeight, values[0]);
    }

    // World positions to picture positions; false when one would not be a finite number, so
    // that no landmark is ever placed at NaN or infinity.
    bool toPicture(std::vector<double> &values) const
    {
        if (!allFinite(values))
            return false;
        oxel.Pixel(values);
        return allFinite(values);
    }

    bool readLines()
    {
        std::size_t n = 0;
        std::vector<double> values;
        if (!in.count(n) || n < kLineValues || !in.reals(n, values))
            return false;
        values.resize(kLineValues);
        if (!toPicture(values))
            return false;
        std::size_t i = 0;
        for (CLine *line : oxel.lines()) {
            line->init(values[i], values[i + 1], values[i + 2], values[i + 3]);
            i += 4;
        }
        return true;
    }

    bool readLinesValid()
    {
        std::vector<std::int16_t> flags;
        if (!exactInt16s(in, COxel::kLineCount, flags))
            return false;
        std::size_t i = 0;
        for (CLine *line : oxel.lines())
            line->Valid = isTrueFlag(flags[i++]);
        return true;
    }

    bool readPoints(LandmarkInFile &landmark)
    {
        std::size_t n = 0;
        std::vector<double> values;
        if (!in.count(n) || n % 2 != 0 || !in.reals(n, values) || !toPicture(values))
            return false;
        landmark.landmark.removeAll();
        landmark.pointsRecordRead = true;
        landmark.fittedThisRead = false;
        if (n == 0)
            return true;
        for (std::size_t i = 0; i < n; i += 2)
            landmark.landmark.addPoint(values[i], values[i + 1]);
        // A failed fit has shown its own message; the landmark is then simply not Valid and
        // the rest of the file is still worth reading.
        landmark.fittedThisRead = landmark.landmark.fit();
        landmark.landmark.Valid = landmark.fittedThisRead;
        return true;
    }

    bool readLandmarkValid(LandmarkInFile &landmark)
    {
        std::vector<std::int16_t> flags;
        if (!exactInt16s(in, 1, flags))
            return false;
        const bool backedByPoints =
            landmark.pointsRecordRead ? landmark.fittedThisRead : landmark.landmark.Valid;
        landmark.landmark.Valid = isTrueFlag(flags[0]) && backedByPoints;
        return true;
    }

    bool skipUnknown(const std::string &key)
    {
        const std::size_t blank = key.find(' ');
        const std::string_view typeWord = blank == std::string::npos
            ? std::string_view(key)
            : std::string_view(key).substr(blank + 1);
        if (typeWord == "(CHAR)") {
            std::string ignored;
            return in.string(ignored);
        }
        std::size_t n = 0;
        if (typeWord == "(INTEGER)")
            return in.count(n) && in.skip(n, kInt16Bytes);
        if (typeWord == "(REAL)")
            return in.count(n) && in.skip(n, kRealBytes);
        return false;
    }

    RecordReader in;
    std::int16_t pictureWidth;
    std::int16_t pictureHeight;
    COxel &oxel;
    std::array<LandmarkInFile, 3> landmarks;
};

// Builds the file's bytes in memory, so that nothing touches the disk until the whole content
// is known to be writable.
class RecordWriter
{
public:
    std::string bytes;
    std::string problem; // why the content cannot be written; empty while all is well

    void int16(std::int16_t value)
    {
        const auto bits = static_cast<std::uint16_t>(value);
        bytes += static_cast<char>(bits & 0xFFu);
        bytes += static_cast<char>(bits >> 8);
    }

    void flag(bool value) { int16(value ? kFlagTrue : kFlagFalse); }

    void real(double value)
    {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (std::size_t i = 0; i < kRealBytes; ++i)
            bytes += static_cast<char>((bits >> (8 * i)) & 0xFFu);
    }

    void key(std::string_view text) { string(text, text); }

    // A text that does not fit its int16 length is refused rather than cut, so that no record
    // silently loses data.
    void string(std::string_view utf8, std::string_view key)
    {
        const std::string encoded = CodePage::toWindows1252(utf8);
        if (encoded.size() > kMaxCount) {
            fail("the text of \"" + std::string(key) + "\" has " + std::to_string(encoded.size())
                + " characters, more than the 32767 a landmark file can hold");
            return;
        }
        int16(static_cast<std::int16_t>(encoded.size()));
        bytes += encoded;
    }

    void stringRecord(std::string_view keyText, const std::string &value)
    {
        key(keyText);
        string(value, keyText);
    }

    void int16Record(std::string_view keyText, std::int16_t value)
    {
        key(keyText);
        int16(1);
        int16(value);
    }

    void flagRecord(std::string_view keyText, bool value)
    {
        key(keyText);
        int16(1);
        flag(value);
    }

    void realRecord(std::string_view keyText, double value)
    {
        key(keyText);
        int16(1);
        real(value);
    }

    void pointsRecord(std::string_view keyText, const PointLandmark &landmark, const COxel &oxel)
    {
        if (landmark.points.empty())
            return;
        const std::size_t n = 2 * landmark.points.size();
        if (n > kMaxCount) {
            fail("\"" + std::string(keyText) + "\" has " + std::to_string(landmark.points.size())
                + " points, more than the 16383 a landmark file can hold");
            return;
        }
        key(keyText);
        int16(static_cast<std::int16_t>(n));
        for (const auto &point : landmark.points) {
            real(oxel.WorldX(point->x));
            real(oxel.WorldY(point->y));
        }
    }

    void endMarker() { int16(0); }

private:
    void fail(std::string reason)
    {
        if (problem.empty())
            problem = std::move(reason);
    }
};

} // namespace

namespace BinFile {

std::string landmarkPath(const std::string &picturePath)
{
    const std::size_t separator = picturePath.find_last_of("/\\");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = picturePath.rfind('.');
    const bool dotInName = dot != std::string::npos && dot >= nameStart;
    return (dotInName ? picturePath.substr(0, dot) : picturePath) + ".bin";
}

bool read(const std::string &path, std::int16_t picW, std::int16_t picH, COxel &oxel)
{
    const auto bytes = SafeFile::readAll(path);
    if (!bytes)
        return false;
    return readBytes(*bytes, path, picW, picH, oxel);
}

bool readBytes(std::string_view bytes, const std::string &path, std::int16_t picW,
    std::int16_t picH, COxel &oxel)
{
    // An empty file, or one that ends where it begins, holds no measurement: taking it for one
    // would leave the grid at (0, 0) and count the picture as calibrated. It is most likely the
    // remains of a failed copy, so the operator is told which file it is.
    if (bytes.size() < 2 || (bytes[0] == '\0' && bytes[1] == '\0')) {
        showMessage("Error in File: " + path + ": the file holds no landmarks", "Oxel",
            MessageIcon::Critical);
        return false;
    }
    if (!oxel.initScale(picW, picH, kDefaultPictureWidthMm))
        return false;

    LandmarkFileReader reader(bytes, picW, picH, oxel);
    if (reader.readRecords())
        return true;
    showMessage(
        "Error in File: " + path + " after Key:" + reader.lastKey, "Oxel", MessageIcon::Critical);
    return false;
}

bool write(const std::string &path, const COxel &oxel, std::string *error)
{
    const double pictureWidthMm = oxel.WorldWidth();
    if (!(pictureWidthMm > 0.0) || !std::isfinite(pictureWidthMm)) {
        // Such a file could never be read back: its scale would be refused.
        if (error)
            *error = "the measurement has no picture size to store";
        return false;
    }

    const CPatient &patient = oxel.Patient;
    RecordWriter out;
    out.realRecord("Calib (REAL)", pictureWidthMm);
    out.stringRecord("Name (CHAR)", patient.Famname);
    out.stringRecord("Vorname (CHAR)", patient.Vorname);
    out.stringRecord("Date (CHAR)", oxel.Datum);
    out.stringRecord("Code (CHAR)", patient.Code);
    out.stringRecord("DatFile (CHAR)", patient.DatFile);
    out.int16Record("Typ (INTEGER)", patient.Typ);
    out.flagRecord("SLFlag (INTEGER)", patient.SLFlag);
    out.realRecord("HeadTR (REAL)", patient.HeadTR);
    out.realRecord("CupTR (REAL)", patient.CupTR);

    out.key("Lines (REAL)");
    out.int16(static_cast<std::int16_t>(kLineValues));
    for (const CLine *line : oxel.lines()) {
        out.real(oxel.WorldX(line->P0.x));
        out.real(oxel.WorldY(line->P0.y));
        out.real(oxel.WorldX(line->P1.x));
        out.real(oxel.WorldY(line->P1.y));
    }
    out.key("LinesValid (INTEGER)");
    out.int16(static_cast<std::int16_t>(COxel::kLineCount));
    for (const CLine *line : oxel.lines())
        out.flag(line->Valid);

    out.realRecord("FocH (REAL)", patient.FocH);
    out.pointsRecord("HeadPoints (REAL)", oxel.Head, oxel);
    out.flagRecord("HeadValid (INTEGER)", oxel.Head.Valid);
    out.pointsRecord("CupPoints (REAL)", oxel.Cup, oxel);
    out.flagRecord("CupValid (INTEGER)", oxel.Cup.Valid);
    out.pointsRecord("RimPoints (REAL)", oxel.Rim, oxel);
    out.flagRecord("RimValid (INTEGER)", oxel.Rim.Valid);
    out.endMarker();

    std::string reason = out.problem;
    if (reason.empty() && SafeFile::replace(path, out.bytes, reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

} // namespace BinFile
