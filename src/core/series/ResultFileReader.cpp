#include "core/series/ResultFileReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "core/records/CodePage.h"
#include "core/records/SafeFile.h"
#include "core/records/SystemError.h"

namespace ResultFileReader {

namespace {

constexpr std::string_view kHeader = "\"-------> OXEL DIGITAL 1995  File: ";
constexpr int kBlockLines = 13;
// How much of an offending item or line a reason quotes: enough to recognise it.
constexpr std::size_t kExcerptLength = 40;

struct Line
{
    std::string_view text; // without its line end
    int number = 0; // counted from 1
    bool ended = true; // false when the file, or the next block's header, cut it short
};

bool isHeader(std::string_view text)
{
    return text.substr(0, kHeader.size()) == kHeader;
}

// The lines of the file one after the other, without holding them all: a file of nothing but
// line ends costs no more memory than its bytes. Splits at LF (a CR before it goes with the line
// end). A block that was cut off while being written can be followed on the same line by the
// next block's header; that header then starts a line of its own, so the next block is not lost
// with the cut one.
class LineCursor
{
public:
    explicit LineCursor(std::string_view text) : bytes(text) { advance(); }

    bool atEnd() const { return !has; }

    // The line at the cursor; only while not atEnd().
    const Line &current() const { return line; }

    // The number of the last line of the file once atEnd().
    int lastNumber() const { return number; }

    void advance()
    {
        if (!inLine) {
            if (at >= bytes.size()) {
                has = false;
                return;
            }
            const std::size_t lf = bytes.find('\n', at);
            restEnded = lf != std::string_view::npos;
            rest = bytes.substr(at, restEnded ? lf - at : std::string_view::npos);
            at = restEnded ? lf + 1 : bytes.size();
            if (!rest.empty() && rest.back() == '\r')
                rest.remove_suffix(1);
            // Lines past the count an int holds (a file of gigabytes) share the last number.
            if (number < std::numeric_limits<int>::max())
                ++number;
            inLine = true;
        }
        if (const std::size_t header = rest.find(kHeader, 1); header != std::string_view::npos) {
            line = {rest.substr(0, header), number, false};
            rest.remove_prefix(header);
        } else {
            line = {rest, number, restEnded};
            inLine = false;
        }
        has = true;
    }

private:
    std::string_view bytes;
    std::size_t at = 0;
    std::string_view rest; // what is left of the current line of the file
    bool restEnded = false;
    bool inLine = false;
    int number = 0;
    Line line;
    bool has = false;
};

// The start of a text as a reason can quote it: UTF-8, control characters shown as "?".
std::string excerpt(std::string_view bytes)
{
    const bool longer = bytes.size() > kExcerptLength;
    std::string text = CodePage::fromWindows1252(bytes.substr(0, kExcerptLength));
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return longer ? text + "..." : text;
}

struct Item
{
    std::string_view text; // without its quotes
    bool quoted = false;
};

// A text item has no escaping, so it ends only at a quote that is followed by a comma or the
// end of the line: a name such as Smith, Jr. stays one item.
bool splitItems(std::string_view line, std::vector<Item> &items, std::string &fault)
{
    items.clear();
    std::size_t at = 0;
    for (;;) {
        if (at < line.size() && line[at] == '"') {
            std::size_t close = at + 1;
            for (;;) {
                close = line.find('"', close);
                if (close == std::string_view::npos) {
                    fault = "a text is not closed: " + excerpt(line.substr(at));
                    return false;
                }
                if (close + 1 == line.size() || line[close + 1] == ',')
                    break;
                ++close;
            }
            items.push_back({line.substr(at + 1, close - at - 1), true});
            at = close + 1;
        } else {
            const std::size_t comma = std::min(line.find(',', at), line.size());
            items.push_back({line.substr(at, comma - at), false});
            at = comma;
        }
        if (at == line.size())
            return true;
        ++at; // the comma
    }
}

std::optional<double> numberOf(std::string_view text)
{
    double value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (text.empty() || ec != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> integerOf(std::string_view text)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string quotedLabel(std::string_view label)
{
    return "\"" + std::string(label) + "\"";
}

// Reads the items of one line in order; the first item that is not what the line must hold
// leaves its reason in `fault`, and every later call fails. What a reason names is put into
// words only on a failure, since most lines are read without one.
class ItemReader
{
public:
    // `scratch` holds the items, so that reading many lines allocates once.
    ItemReader(std::string_view line, std::vector<Item> &scratch) : items(scratch)
    {
        if (!splitItems(line, items, fault))
            failed = true;
    }

    std::string fault;

    bool ok() const { return !failed; }

    // Whether the next item is this label; reads nothing.
    bool nextIs(std::string_view label) const
    {
        return !failed && next < items.size() && items[next].quoted && items[next].text == label;
    }

    // `expected` names what may stand here when it is more than the label, such as "cup
    // inclination" or "nodata".
    bool label(std::string_view name, std::string_view expected = {})
    {
        if (nextIs(name)) {
            ++next;
            return true;
        }
        return refuse(expected.empty() ? quotedLabel(name) : std::string(expected));
    }

    bool number(double &value, std::string_view after)
    {
        if (failed)
            return false;
        if (next < items.size() && !items[next].quoted) {
            if (const std::optional<double> read = numberOf(items[next].text)) {
                value = *read;
                ++next;
                return true;
            }
        }
        return refuse("a number after " + quotedLabel(after));
    }

    bool integer(int &value, std::string_view after)
    {
        if (failed)
            return false;
        if (next < items.size() && !items[next].quoted) {
            if (const std::optional<int> read = integerOf(items[next].text)) {
                value = *read;
                ++next;
                return true;
            }
        }
        return refuse("an integer after " + quotedLabel(after));
    }

    // The 0 that stands in for a missing value.
    bool zero(std::string_view after)
    {
        if (failed)
            return false;
        if (next < items.size() && !items[next].quoted && items[next].text == "0") {
            ++next;
            return true;
        }
        return refuse("0 after " + quotedLabel(after));
    }

    bool text(std::string_view &value, std::string_view expected)
    {
        if (failed)
            return false;
        if (next < items.size() && items[next].quoted) {
            value = items[next++].text;
            return true;
        }
        return refuse(std::string(expected));
    }

    bool end()
    {
        if (failed)
            return false;
        if (next == items.size())
            return true;
        return refuse("the end of the line after " + std::to_string(next) + " items");
    }

    // A reason of the reader's caller, for an item just read.
    bool refuseRead(const std::string &reason)
    {
        if (!failed) {
            failed = true;
            fault = reason;
        }
        return false;
    }

private:
    bool refuse(const std::string &expected)
    {
        if (failed)
            return false;
        failed = true;
        fault = "expected " + expected + ", found ";
        if (next >= items.size())
            fault += "the end of the line";
        else if (items[next].quoted)
            fault += "\"" + excerpt(items[next].text) + "\"";
        else if (items[next].text.empty())
            fault += "an empty item";
        else
            fault += excerpt(items[next].text);
        return false;
    }

    std::vector<Item> &items;
    std::size_t next = 0;
    bool failed = false;
};

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<int> digits(std::string_view text)
{
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<CalendarDate> calendarDate(
    std::string_view year, std::string_view month, std::string_view day)
{
    const std::optional<int> y = digits(year), m = digits(month), d = digits(day);
    if (!y || !m || !d || *y < 1 || *m < 1 || *m > 12 || *d < 1 || *d > daysInMonth(*y, *m))
        return std::nullopt;
    return CalendarDate{*y, *m, *d};
}

// Line 1: the header text, whose file name may hold commas and quotes, so the date is found
// after the last comma.
bool readHeader(std::string_view text, ResultEntry &entry, std::string &fault)
{
    const std::size_t comma = text.rfind(',');
    if (comma == std::string_view::npos || comma < kHeader.size() + 1 || text[comma - 1] != '"') {
        fault = "expected the header text and the date it was written (#yyyy-mm-dd#), found "
            + excerpt(text);
        return false;
    }
    const std::string_view date = text.substr(comma + 1);
    std::optional<CalendarDate> written;
    if (date.size() == 12 && date.front() == '#' && date.back() == '#' && date[5] == '-'
        && date[8] == '-')
        written = calendarDate(date.substr(1, 4), date.substr(6, 2), date.substr(9, 2));
    if (!written) {
        fault = "expected the date the block was written as #yyyy-mm-dd#, found " + excerpt(date);
        return false;
    }
    entry.fileName =
        CodePage::fromWindows1252(text.substr(kHeader.size(), comma - 1 - kHeader.size()));
    entry.written = *written;
    return true;
}

// Lines 5 and 6: a migration line or its "nodata" form.
void readMigration(ItemReader &r, std::string_view label, std::string_view nodataOr,
    std::optional<double> &cranial, std::optional<double> &medial)
{
    if (r.nextIs("nodata")) {
        r.label("nodata");
        r.zero("nodata");
        r.zero("nodata");
        return;
    }
    double c = 0, m = 0;
    if (r.label(label, nodataOr) && r.number(c, label) && r.number(m, label)) {
        cranial = c;
        medial = m;
    }
}

void readOrientation(ItemReader &r, ResultEntry &e)
{
    constexpr std::string_view kInclination = "cup inclination", kAnteversion = "anteversion";
    const bool inclined = !r.nextIs("nodata");
    double value = 0;
    if (inclined) {
        if (r.label(kInclination, "\"cup inclination\" or \"nodata\"")
            && r.number(value, kInclination))
            e.inclination = value;
    } else {
        r.label("nodata");
        r.zero("nodata");
    }
    if (inclined && r.nextIs(kAnteversion)) {
        r.label(kAnteversion);
        if (r.number(value, kAnteversion))
            e.anteversion = value;
    } else {
        constexpr std::string_view kAlone = "\"nodata\" (no anteversion without an inclination)";
        r.label("nodata", inclined ? "\"anteversion\" or \"nodata\"" : kAlone);
        r.zero("nodata");
    }
}

bool isSign(std::string_view text)
{
    return text == "-" || text == "+";
}

void readRim(ItemReader &r, ResultEntry &e)
{
    std::string_view sign1, sign2;
    r.label("beta1/cup axis");
    r.number(e.beta1, "beta1/cup axis");
    r.text(sign1, "the sign of beta1 (\"-\", \"+\" or \"\")");
    r.label("beta2/cup axis");
    r.number(e.beta2, "beta2/cup axis");
    r.text(sign2, "the sign of beta2 (\"-\", \"+\" or \"\")");
    if (!r.ok())
        return;
    const bool notComputed = sign1.empty() && sign2.empty() && e.beta1 == 0 && e.beta2 == 0;
    if (!notComputed && (!isSign(sign1) || !isSign(sign2))) {
        r.refuseRead("expected the signs \"-\" or \"+\" with both angles, or 0 and \"\" for "
                     "both, found \""
            + excerpt(sign1) + "\" and \"" + excerpt(sign2) + "\"");
        return;
    }
    e.sign1 = sign1;
    e.sign2 = sign2;
}

void readWearLine(ItemReader &r, ResultEntry &e)
{
    r.label("not used");
    r.zero("not used");
    r.zero("not used");
    if (r.nextIs("nodata")) {
        r.label("nodata");
        r.zero("nodata");
        r.zero("nodata");
    } else {
        double x = 0, y = 0;
        if (r.label("wear x/y", "\"wear x/y\" or \"nodata\"") && r.number(x, "wear x/y")
            && r.number(y, "wear x/y")) {
            e.wearX = x;
            e.wearY = y;
        }
    }
    r.label("radiofactor");
    r.number(e.radiofactor, "radiofactor");
}

// Lines 2 to 13 of a block; `index` counts from 1.
bool readBlockLine(int index, std::string_view text, ResultEntry &e, std::vector<Item> &scratch,
    std::string &fault)
{
    ItemReader r(text, scratch);
    std::string_view value;
    switch (index) {
    case 2: {
        std::string_view famname, vorname, code;
        r.text(famname, "the family name as a text");
        r.text(vorname, "the first name as a text");
        r.text(code, "the study id as a text");
        e.famname = CodePage::fromWindows1252(famname);
        e.vorname = CodePage::fromWindows1252(vorname);
        e.code = CodePage::fromWindows1252(code);
        break;
    }
    case 3:
        r.label("date of radiogram");
        if (r.text(value, "the date of the radiograph as a text")) {
            e.datum = CodePage::fromWindows1252(value);
            e.radiographDate = radiographDate(e.datum);
        }
        break;
    case 4:
        r.label("side of replacement");
        if (r.text(value, "\"L\" or \"R\"")) {
            if (value == "L" || value == "R")
                e.sideLeft = value == "L";
            else
                r.refuseRead("expected the side \"L\" or \"R\", found \"" + excerpt(value) + "\"");
        }
        break;
    case 5:
        readMigration(r, "head migration (cranial/medial)",
            "\"head migration (cranial/medial)\" or \"nodata\"", e.headCranial, e.headMedial);
        break;
    case 6:
        readMigration(r, "cup migration (cranial/medial)",
            "\"cup migration (cranial/medial)\" or \"nodata\"", e.cupCranial, e.cupMedial);
        break;
    case 7:
        readOrientation(r, e);
        break;
    case 8:
        readRim(r, e);
        break;
    case 9:
        r.label("antiparameter (head)");
        r.number(e.headAntiparameter, "antiparameter (head)");
        r.label("antiparameter (cup)");
        r.number(e.cupAntiparameter, "antiparameter (cup)");
        break;
    case 10:
        r.label("delx1");
        r.number(e.grid.delx1, "delx1");
        r.label("delx2");
        r.number(e.grid.delx2, "delx2");
        r.label("delx3");
        r.number(e.grid.delx3, "delx3");
        break;
    case 11:
        r.label("dely1");
        r.number(e.grid.dely1, "dely1");
        r.label("dely2");
        r.number(e.grid.dely2, "dely2");
        r.label("dely3");
        r.number(e.grid.dely3, "dely3");
        break;
    case 12: {
        int flag = 0;
        r.label("evaluation type");
        r.integer(e.typ, "evaluation type");
        r.label("SL-flag");
        if (r.integer(flag, "SL-flag")) {
            if (flag == 0 || flag == 1)
                e.slFlag = flag == 1;
            else
                r.refuseRead("expected the SL-flag 0 or 1, found " + std::to_string(flag));
        }
        break;
    }
    default:
        readWearLine(r, e);
        break;
    }
    r.end();
    fault = r.fault;
    return r.ok();
}

class Reader
{
public:
    explicit Reader(std::string_view bytes) : lines(bytes) {}

    ResultFileContents read()
    {
        while (!lines.atEnd()) {
            if (isHeader(lines.current().text))
                readBlock();
            else
                passOverStrayLines();
        }
        markSuperseded();
        return std::move(contents);
    }

private:
    void problem(int line, const std::string &reason)
    {
        contents.problems.push_back({line, reason});
    }

    void skipToNextHeader()
    {
        while (!lines.atEnd() && !isHeader(lines.current().text))
            lines.advance();
    }

    void passOverStrayLines()
    {
        const Line first = lines.current();
        int last = first.number;
        while (!lines.atEnd() && !isHeader(lines.current().text)) {
            last = lines.current().number;
            lines.advance();
        }
        const int count = last - first.number + 1;
        problem(first.number,
            (count == 1 ? std::string("a line") : std::to_string(count) + " lines")
                + " outside any block (no \"-------> OXEL DIGITAL 1995  File: \" header before "
                  "it), beginning with \""
                + excerpt(first.text) + "\"");
    }

    // Reads the block whose header is at the cursor; a block that cannot be read is reported
    // once, and reading goes on at the next header line.
    void readBlock()
    {
        const int startLine = lines.current().number;
        ResultEntry entry;
        entry.line = startLine;
        const auto block = [startLine] {
            return " of the block that begins at line " + std::to_string(startLine);
        };
        for (int index = 1; index <= kBlockLines; ++index) {
            if (lines.atEnd()) {
                const int last = lines.lastNumber();
                problem(last < std::numeric_limits<int>::max() ? last + 1 : last,
                    "the file ends after line " + std::to_string(index - 1) + block()
                        + "; a block has 13 lines");
                return;
            }
            const Line &line = lines.current();
            if (index > 1 && isHeader(line.text)) {
                problem(line.number,
                    "a new block begins at line " + std::to_string(index) + block()
                        + ", which has only " + std::to_string(index - 1) + " of its 13 lines");
                return;
            }
            std::string fault;
            const bool read = index == 1 ? readHeader(line.text, entry, fault)
                                         : readBlockLine(index, line.text, entry, items, fault);
            if (!read || !line.ended) {
                if (read)
                    fault = "the line is cut off (it has no line end), so its last value may "
                            "be incomplete";
                problem(line.number, "line " + std::to_string(index) + block() + ": " + fault);
                lines.advance();
                skipToNextHeader();
                return;
            }
            lines.advance();
        }
        contents.entries.push_back(std::move(entry));
    }

    // A radiograph evaluated again: the later block is the one that counts.
    void markSuperseded()
    {
        std::unordered_map<std::string, bool> seen;
        std::string key;
        for (auto it = contents.entries.rbegin(); it != contents.entries.rend(); ++it) {
            key.clear();
            for (const std::string *part : {&it->famname, &it->vorname, &it->code, &it->datum}) {
                key += *part;
                key += '\0';
            }
            key += it->sideLeft ? 'L' : 'R';
            if (!seen.emplace(key, true).second)
                it->current = false;
        }
    }

    LineCursor lines;
    std::vector<Item> items;
    ResultFileContents contents;
};

} // namespace

ResultFileContents parse(std::string_view bytes)
{
    if (bytes.empty()) {
        ResultFileContents empty;
        empty.problems.push_back({0, "the file is empty: it holds no block"});
        return empty;
    }
    return Reader(bytes).read();
}

bool read(const std::string &path, ResultFileContents &contents, std::string &error)
{
    int fd = -1;
    do
        // Without O_NONBLOCK a named pipe that nobody writes would keep the open waiting.
        fd = ::open(SafeFile::fromUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = systemErrorText(errno);
        return false;
    }

    struct stat status
    {};

    std::string bytes;
    int failure = 0;
    if (::fstat(fd, &status) != 0) {
        failure = errno;
    } else if (S_ISDIR(status.st_mode)) {
        failure = EISDIR;
    } else if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    } else {
        bytes.reserve(static_cast<std::size_t>(status.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                failure = errno;
            if (got <= 0)
                break;
            bytes.append(chunk, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    if (failure != 0) {
        error = systemErrorText(failure);
        return false;
    }
    contents = parse(bytes);
    return true;
}

std::optional<CalendarDate> radiographDate(std::string_view datum)
{
    if (datum.size() == 8)
        return calendarDate(datum.substr(0, 4), datum.substr(4, 2), datum.substr(6, 2));
    if (datum.size() == 10 && datum[4] == '-' && datum[7] == '-')
        return calendarDate(datum.substr(0, 4), datum.substr(5, 2), datum.substr(8, 2));
    return std::nullopt;
}

} // namespace ResultFileReader
