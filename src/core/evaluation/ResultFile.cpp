#include "core/evaluation/ResultFile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ResultFile {

namespace {

constexpr const char *kLineEnd = "\r\n";

std::string text(std::string_view value)
{
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    quoted += value;
    quoted += '"';
    return quoted;
}

std::string date(const CalendarDate &d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "#%04d-%02d-%02d#", d.year, d.month, d.day);
    return buffer;
}

class LineWriter
{
public:
    explicit LineWriter(std::string &target) : out(target) { }

    LineWriter &text(std::string_view value) { return item(ResultFile::text(value)); }
    LineWriter &number(double value) { return item(formatNumber(value)); }
    LineWriter &integer(long value) { return item(std::to_string(value)); }
    LineWriter &raw(const std::string &value) { return item(value); }

    void end()
    {
        out += kLineEnd;
        first = true;
    }

private:
    LineWriter &item(const std::string &value)
    {
        if (!first)
            out += ',';
        out += value;
        first = false;
        return *this;
    }

    std::string &out;
    bool first = true;
};

std::string reasonFrom(int error)
{
    return error ? std::generic_category().message(error) : std::string("unknown error");
}

} // namespace

std::string formatNumber(double value)
{
    if (value == 0)
        return "0"; // also for -0
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                         std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string formatBlock(const ResultBlock &b)
{
    std::string out;
    LineWriter line(out);

    line.text("-------> OXEL DIGITAL 1995  File: " + b.fileName).raw(date(b.date)).end();
    line.text(b.famname).text(b.vorname).text(b.code).end();
    line.text("date of radiogram").text(b.datum).end();
    line.text("side of replacement").text(b.sideLeft ? "L" : "R").end();

    for (const auto &[values, label] : {std::pair {&b.head, "head migration (cranial/medial)"},
                                        std::pair {&b.cup, "cup migration (cranial/medial)"}}) {
        if (values->valid)
            line.text(label).number(values->cranial).number(values->medial).end();
        else
            line.text("nodata").integer(0).integer(0).end();
    }

    if (b.inclination)
        line.text("cup inclination").number(*b.inclination);
    else
        line.text("nodata").integer(0);
    if (b.inclination && b.rim)
        line.text("anteversion").number(b.rim->anteversion).end();
    else
        line.text("nodata").integer(0).end();

    if (b.rim) {
        line.text("beta1/cup axis").number(b.rim->beta1).text(b.rim->sign1);
        line.text("beta2/cup axis").number(b.rim->beta2).text(b.rim->sign2).end();
    } else {
        line.text("beta1/cup axis").integer(0).text("").text("beta2/cup axis").integer(0).text("").end();
    }

    line.text("antiparameter (head)").number(b.head.antiparameter);
    line.text("antiparameter (cup)").number(b.cup.antiparameter).end();
    line.text("delx1").number(b.grid.delx1).text("delx2").number(b.grid.delx2);
    line.text("delx3").number(b.grid.delx3).end();
    line.text("dely1").number(b.grid.dely1).text("dely2").number(b.grid.dely2);
    line.text("dely3").number(b.grid.dely3).end();
    line.text("evaluation type").integer(b.typ).text("SL-flag").integer(b.slFlag ? 1 : 0).end();

    line.text("not used").integer(0).integer(0);
    if (b.wear)
        line.text("wear x/y").number(b.wear->x).number(b.wear->y);
    else
        line.text("nodata").integer(0).integer(0);
    line.text("radiofactor").number(b.radiofactor).end();
    return out;
}

bool append(const std::string &path, std::string_view bytes, std::string &error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    // Only a regular file can be cut back after a failed write; anything else (a device, a
    // missing file) has nothing of ours to restore.
    const bool existed = fs::is_regular_file(fs::status(path, ec));
    std::uintmax_t earlierSize = 0;
    if (existed) {
        earlierSize = fs::file_size(path, ec);
        if (ec) {
            error = ec.message();
            return false;
        }
    }

    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file) {
        error = reasonFrom(errno);
        return false;
    }
    errno = 0;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.flush();
    if (file) {
        file.close();
        if (file)
            return true;
    }
    error = reasonFrom(errno);
    file.close();

    std::error_code restoreError;
    if (fs::is_regular_file(path, restoreError)) {
        if (existed)
            fs::resize_file(path, earlierSize, restoreError);
        else
            fs::remove(path, restoreError);
    }
    return false;
}

} // namespace ResultFile
