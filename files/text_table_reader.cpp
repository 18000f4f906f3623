// The text table reader: CSV, TSV and tables of columns separated by
// blanks, with or without a header line, numbers in any locale's writing.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/series_reader_common.h"
#include "files/series_readers.h"
#include "files/time_grid.h"
#include "base/formatted_text.h"

namespace files {

namespace {

enum class CellKind { Gap, Number, NonFinite, Text };

struct CellValue {
    CellKind kind = CellKind::Gap;
    double value = std::numeric_limits<double>::quiet_NaN();
    bool integral = false;  // written without point or exponent, and exact as a double
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Reads a cell the way a table written by any program or locale may hold a
// number. `decimalComma`: the file separates cells by semicolons, so a
// single comma in a cell is its decimal point.
CellValue classifyCell(std::string_view raw, bool decimalComma)
{
    CellValue c;
    const std::string_view s = trimmed(raw);
    if (s.empty() || equalsIgnoringCase(s, "nan") || equalsIgnoringCase(s, "na") || equalsIgnoringCase(s, "n/a"))
        return c;

    std::string_view digits = s;
    if (digits.size() > 1 && digits[0] == '+' && (digits[1] == '.' || (digits[1] >= '0' && digits[1] <= '9')))
        digits.remove_prefix(1);

    std::string withPoint;
    bool hasPoint = digits.find('.') != std::string_view::npos;
    if (decimalComma && !hasPoint && std::count(digits.begin(), digits.end(), ',') == 1) {
        withPoint.assign(digits);
        withPoint[withPoint.find(',')] = '.';
        digits = withPoint;
        hasPoint = true;
    }

    double v = 0;
    const char* first = digits.data();
    const char* last = digits.data() + digits.size();
    auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (end != last || (ec != std::errc{} && ec != std::errc::result_out_of_range)) {
        c.kind = CellKind::Text;
        return c;
    }
    const size_t e = digits.find_first_of("eE");
    const bool hasExponent = e != std::string_view::npos;
    if (ec == std::errc::result_out_of_range) {
        // Too small to tell from zero is zero; too large is no finite number.
        if (hasExponent && e + 1 < digits.size() && digits[e + 1] == '-') {
            c.kind = CellKind::Number;
            c.value = digits[0] == '-' ? -0.0 : 0.0;
            return c;
        }
        c.kind = CellKind::NonFinite;
        return c;
    }
    if (std::isnan(v))
        return c;
    if (std::isinf(v)) {
        c.kind = CellKind::NonFinite;
        return c;
    }
    c.kind = CellKind::Number;
    c.value = v;
    if (!hasPoint && !hasExponent) {
        // The written integer itself, not its nearest double, must lie within 2^53.
        int64_t whole = 0;
        const auto [wholeEnd, wholeEc] = std::from_chars(first, last, whole);
        c.integral =
            wholeEc == std::errc{} && wholeEnd == last && whole <= (int64_t{1} << 53) && whole >= -(int64_t{1} << 53);
    }
    return c;
}

// One non-blank, non-comment line of a table.
struct TextLine {
    size_t number;  // 1-based, counting every line of the file
    std::string_view text;
};

// The separator of a table, from its first line: a tab, else a semicolon,
// else a comma; 0 means runs of blanks.
char detectDelimiter(std::string_view line)
{
    bool inQuotes = false;
    bool tab = false, semicolon = false, comma = false;
    for (char c : line) {
        if (c == '"')
            inQuotes = !inQuotes;
        else if (!inQuotes) {
            tab = tab || c == '\t';
            semicolon = semicolon || c == ';';
            comma = comma || c == ',';
        }
    }
    if (tab)
        return '\t';
    if (semicolon)
        return ';';
    if (comma)
        return ',';
    return 0;
}

// The lines that hold cells. A line of blanks is no row, except that in a
// tab-separated table a line of tabs is a row of gaps; `delimiter` is
// detected from the first line that holds something else.
std::vector<TextLine> tableLines(std::string_view text, char& delimiter)
{
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        text.remove_prefix(3);
    std::vector<TextLine> lines;
    size_t number = 0;
    size_t at = 0;
    while (at < text.size()) {
        // \n, \r\n and a lone \r each end a line.
        size_t end = at;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        const std::string_view line = text.substr(at, end - at);
        ++number;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            at = end + 2;
        else
            at = std::min(end + 1, text.size());
        const std::string_view content = trimmed(line);
        if (!content.empty() && content[0] == '#')
            continue;
        if (content.empty() && line.find('\t') == std::string_view::npos)
            continue;
        lines.push_back({number, line});
    }
    size_t first = 0;
    while (first < lines.size() && trimmed(lines[first].text).empty())
        ++first;
    delimiter = first < lines.size() ? detectDelimiter(lines[first].text) : 0;
    std::vector<TextLine> rows;
    rows.reserve(lines.size());
    for (size_t i = first; i < lines.size(); ++i)
        if (delimiter == '\t' || !trimmed(lines[i].text).empty())
            rows.push_back(lines[i]);
    return rows;
}

// The cells of one line. The strings stay allocated from line to line, so
// that a long table is split without an allocation per cell.
class LineCells {
  public:
    size_t size() const { return count_; }
    const std::string& operator[](size_t j) const { return cells_[j]; }
    auto begin() const { return cells_.begin(); }
    auto end() const { return cells_.begin() + static_cast<std::ptrdiff_t>(count_); }
    void clear() { count_ = 0; }
    std::string& next()
    {
        if (count_ == cells_.size())
            cells_.emplace_back();
        std::string& cell = cells_[count_++];
        cell.clear();
        return cell;
    }

  private:
    std::vector<std::string> cells_;
    size_t count_ = 0;
};

// Splits one line into cells. A cell in double quotes may hold separators;
// "" inside it is one quote. Unquoted cells lose their surrounding blanks.
void splitCells(std::string_view line, char delimiter, LineCells& cells)
{
    cells.clear();
    const size_t n = line.size();
    size_t i = 0;
    auto separates = [&](char c) { return delimiter != 0 ? c == delimiter : isBlank(c); };
    auto skipBlanks = [&] {
        while (i < n && isBlank(line[i]) && !(delimiter != 0 && line[i] == delimiter))
            ++i;
    };
    if (delimiter == 0) {
        skipBlanks();
        if (i == n)
            return;
    }
    while (true) {
        std::string& cell = cells.next();
        skipBlanks();
        if (i < n && line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        cell += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += line[i++];
            }
            // Whatever stands between the closing quote and the separator
            // belongs to the cell.
            const size_t rest = i;
            while (i < n && !separates(line[i]))
                ++i;
            cell.append(trimmed(line.substr(rest, i - rest)));
        } else {
            const size_t start = i;
            while (i < n && !separates(line[i]))
                ++i;
            cell.assign(trimmed(line.substr(start, i - start)));
        }
        if (delimiter == 0) {
            skipBlanks();
            if (i >= n)
                return;
        } else {
            if (i >= n)
                return;
            ++i;  // the separator
        }
    }
}

std::string cellProblem(std::string_view name, size_t line, size_t column, std::string_view cell, CellKind kind)
{
    std::string s(name);
    s += ": line " + number(line) + ", column " + number(column) + ": " + quoted(trimmed(cell));
    s += kind == CellKind::NonFinite ? " is not a finite number" : " is not a number";
    return s;
}

// A column's cells as the first pass saw them.
struct ColumnSurvey {
    size_t numbers = 0;
    bool bad = false;  // holds a cell that is no number and no gap
    size_t badLine = 0;
    std::string badCell;
    CellKind badKind = CellKind::Text;
};

// The first pass over the data lines: what each column holds, and in
// `widest` the most cells a line has.
std::vector<ColumnSurvey> surveyColumns(const std::vector<TextLine>& lines, size_t firstData, char delimiter,
                                        bool decimalComma, size_t headerColumns, LineCells& cells, size_t& widest)
{
    std::vector<ColumnSurvey> survey(headerColumns);
    for (size_t r = firstData; r < lines.size(); ++r) {
        splitCells(lines[r].text, delimiter, cells);
        widest = std::max(widest, cells.size());
        if (survey.size() < cells.size())
            survey.resize(cells.size());
        for (size_t j = 0; j < cells.size(); ++j) {
            const CellValue v = classifyCell(cells[j], decimalComma);
            ColumnSurvey& s = survey[j];
            if (v.kind == CellKind::Number)
                ++s.numbers;
            else if (v.kind != CellKind::Gap && !s.bad) {
                s.bad = true;
                s.badLine = lines[r].number;
                s.badCell = cells[j];
                s.badKind = v.kind;
            }
        }
    }
    return survey;
}

// The column the samples are read from, 0-based, into `chosen`: the one the
// options name or number, else the rightmost with numbers in it. The
// refusal when there is none, else nothing.
std::string chooseColumn(std::string_view name, const SeriesReadOptions& options,
                         const std::vector<std::string>& header, size_t columns,
                         const std::vector<ColumnSurvey>& survey, size_t& chosen)
{
    const bool hasHeader = !header.empty();
    auto columnList = [&] {
        std::string list;
        for (size_t j = 0; j < header.size(); ++j) {
            if (j > 0)
                list += ", ";
            list += quoted(header[j]);
        }
        return list;
    };

    if (!options.column.empty()) {
        if (hasHeader) {
            const auto match = std::find(header.begin(), header.end(), options.column);
            if (match != header.end())
                chosen = static_cast<size_t>(match - header.begin());
        }
        if (chosen == columns) {
            const std::optional<uint64_t> index = parseIndex(options.column);
            if (!index) {
                if (hasHeader)
                    return prefixed(name,
                                    "no column named " + quoted(options.column) + "; the columns are " + columnList());
                return prefixed(name, "no column named " + quoted(options.column) +
                                          ": the file has no header line; give a column number from 1 to " +
                                          number(columns));
            }
            if (*index < 1 || *index > columns)
                return prefixed(name, "no column " + number(*index) + "; the file has " + number(columns) +
                                          (columns == 1 ? " column" : " columns"));
            chosen = static_cast<size_t>(*index - 1);
        }
    } else {
        // The rightmost column with numbers in it. Columns without any (labels,
        // notes) are passed over; one with a stray word among its numbers is
        // refused rather than silently passed over for the column to its left.
        for (size_t j = std::min(columns, survey.size()); j-- > 0;) {
            if (survey[j].numbers > 0) {
                if (survey[j].bad)
                    return cellProblem(name, survey[j].badLine, j + 1, survey[j].badCell, survey[j].badKind);
                chosen = j;
                break;
            }
        }
        if (chosen == columns) {
            for (size_t j = std::min(columns, survey.size()); j-- > 0;) {
                if (survey[j].bad)
                    return cellProblem(name, survey[j].badLine, j + 1, survey[j].badCell, survey[j].badKind);
            }
            return std::string(name) + " holds only gaps";
        }
    }
    return {};
}

// Whether a header names a time: time, t, seconds, sec, s, ms, date, mjd,
// jd, bjd, hjd or timestamp, in any case, with or without a unit in
// brackets or parentheses after it ("Time (s)", "t[ms]").
bool namesTime(std::string_view header)
{
    std::string_view name = trimmed(header);
    if (!name.empty() && (name.back() == ')' || name.back() == ']')) {
        const size_t open = name.find_last_of(name.back() == ')' ? '(' : '[');
        if (open == std::string_view::npos)
            return false;
        name = trimmed(name.substr(0, open));
    }
    static constexpr std::string_view kTimeNames[] = {"time", "t",   "seconds", "sec", "s",   "ms",
                                                      "date", "mjd", "jd",      "bjd", "hjd", "timestamp"};
    return std::any_of(std::begin(kTimeNames), std::end(kTimeNames),
                       [&](std::string_view word) { return equalsIgnoringCase(name, word); });
}

// The power of ten of the last digit a number cell writes: -3 for "0.333",
// 0 for "12", -4 for "1.5e-3". The cell holds a number.
int lastDigitPower(std::string_view raw, bool decimalComma)
{
    const std::string_view s = trimmed(raw);
    const size_t e = s.find_first_of("eE");
    int exponent = 0;
    if (e != std::string_view::npos) {
        const std::string_view written = s.substr(e + 1);
        const size_t digits = written.find_first_not_of("+-");
        long long v = 0;
        std::from_chars(written.data() + std::min(digits, written.size()), written.data() + written.size(), v);
        v = std::clamp<long long>(v, -1000, 1000);
        exponent = static_cast<int>(!written.empty() && written[0] == '-' ? -v : v);
    }
    const std::string_view mantissa = s.substr(0, e);
    size_t point = mantissa.find('.');
    if (point == std::string_view::npos && decimalComma)
        point = mantissa.find(',');
    const int decimals = point == std::string_view::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    return exponent - decimals;
}

// The first column while it is the time column: named (its header names a
// time), which must then hold a time on every row, or found (numbers only,
// each above the one before), which stops being the time column at the
// first row that is not.
struct TimeColumnReading {
    bool named = false;
    bool live = false;  // still the time column
    std::vector<double> times;
    int finestDigit = std::numeric_limits<int>::max();  // lastDigitPower's least over the times
};

// Takes the time of one row; the refusal of a named column's cell that is no time.
std::string readTime(std::string_view name, size_t line, std::string_view cell, bool decimalComma,
                     TimeColumnReading& time)
{
    const CellValue t = classifyCell(cell, decimalComma);
    if (t.kind != CellKind::Number || (!time.named && !time.times.empty() && !(t.value > time.times.back()))) {
        if (!time.named) {
            time.live = false;
            time.times = {};
            return {};
        }
        if (t.kind == CellKind::Gap)
            return prefixed(name,
                            "line " + number(line) + ", column 1: the time is missing; write it, or drop the row");
        return cellProblem(name, line, 1, cell, t.kind) + "; the time column takes numbers (seconds, days, ...)";
    }
    time.times.push_back(t.value);
    time.finestDigit = std::min(time.finestDigit, lastDigitPower(cell, decimalComma));
    return {};
}

// A time in a message: the shortest writing that reads back the same, which
// is the file's own unless it wrote more digits than a double holds.
std::string timeText(double t)
{
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, t);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

// A step or a cadence in a message: nine figures, enough to show what a step
// misses the cadence by, without the noise of the subtraction.
std::string figureText(double c) { return base::formatText("%.9g", c); }

// The refusal of a time column's fault; `line` maps a row to its file line.
template <class LineOf>
std::string gridRefusal(std::string_view name, const GridProblem& p, const std::vector<double>& times, LineOf line)
{
    const std::string at = "line " + number(line(p.row)) + ": ";
    switch (p.fault) {
    case GridFault::Repeated:
        return prefixed(name, at + "the time " + timeText(times[p.row]) + " repeats the time of line " +
                                  number(line(p.row - 1)) + "; keep one row per time, or resample first");
    case GridFault::Backwards:
        return prefixed(name, at + "the time " + timeText(times[p.row]) + " comes before the time " +
                                  timeText(times[p.row - 1]) + " of line " + number(line(p.row - 1)) +
                                  "; sort the rows, or resample first");
    case GridFault::Irregular:
        return prefixed(name, at + "the time steps by " + figureText(p.step) +
                                  ", not a whole multiple of the cadence " + figureText(p.cadence) +
                                  "; resample onto a regular grid first");
    case GridFault::HoleTooLarge: {
        const double rows = static_cast<double>(times.size());
        const bool byRows = static_cast<double>(kGridGrowthLimit) * rows <= static_cast<double>(kMostGridSamples);
        return prefixed(
            name, at + "the time steps by " + figureText(p.step) + ", " + base::formatText("%.6g", p.cadences) +
                      " times the cadence " + figureText(p.cadence) + ": the missing times would make the series " +
                      base::formatText("%.6g", p.samples) + " samples long, more than " +
                      (byRows ? number(kGridGrowthLimit) + " times the " + number(times.size()) + " rows read"
                              : number(kMostGridSamples) + " samples") +
                      "; check the time column, or resample first");
    }
    case GridFault::TooCoarse:
        return prefixed(name, at + "the times near " + timeText(times[p.row]) +
                                  " are too large for their doubles to hold steps of the cadence " +
                                  figureText(p.cadence) + "; subtract the first time from the column first");
    case GridFault::None:
        break;
    }
    return {};
}

// Reads column `chosen` (0-based) of the lines from `firstData` on into
// data.values and data.integral, and the first column into data.times when it
// is the time column (`namedTime`: its header names a time), on its grid with
// the missing rows inserted as gaps; or the problem.
std::string readColumnValues(std::string_view name, const std::vector<TextLine>& lines, size_t firstData,
                             char delimiter, bool decimalComma, size_t chosen, bool namedTime, LineCells& cells,
                             SeriesData& data, TimeGrid& grid)
{
    const size_t rows = lines.size() - firstData;
    data.values.reserve(rows);
    bool integral = true;
    TimeColumnReading time;
    time.named = namedTime;
    time.live = chosen != 0;
    if (time.live)
        time.times.reserve(rows);
    for (size_t r = firstData; r < lines.size(); ++r) {
        splitCells(lines[r].text, delimiter, cells);
        if (cells.size() <= chosen)
            return prefixed(name, "line " + number(lines[r].number) + " has no column " + number(chosen + 1) +
                                      " (it has " + number(cells.size()) + (cells.size() == 1 ? " cell)" : " cells)"));
        const CellValue v = classifyCell(cells[chosen], decimalComma);
        if (v.kind == CellKind::Text || v.kind == CellKind::NonFinite)
            return cellProblem(name, lines[r].number, chosen + 1, cells[chosen], v.kind);
        if (v.kind == CellKind::Number)
            integral = integral && v.integral;
        data.values.push_back(v.value);
        if (time.live)
            if (std::string problem = readTime(name, lines[r].number, cells[0], decimalComma, time); !problem.empty())
                return problem;
    }
    data.integral = integral;
    if (!time.live)
        return {};
    const double rounding = 0.5 * std::pow(10.0, std::clamp(time.finestDigit, -400, 400));
    const GridProblem problem = putOnGrid(data.values, time.times, rounding, grid);
    if (problem.fault != GridFault::None)
        return gridRefusal(name, problem, time.times, [&](size_t row) { return lines[firstData + row].number; });
    data.times = std::move(time.times);
    data.insertedGaps = grid.inserted;
    return {};
}

// "column 2", or "column 2 (II)" when the header names it; `header` is empty
// when the table has none.
std::string columnTitle(const std::vector<std::string>& header, size_t chosen)
{
    std::string title = "column " + number(chosen + 1);
    if (!header.empty() && !header[chosen].empty())
        title += " (" + header[chosen] + ")";
    return title;
}

// The names of the time column and of column `chosen` (0-based), and the
// report line of what was read: `columns` columns, `rows` data rows, and the
// gaps put where the time column skips rows of its grid.
void nameColumns(SeriesData& data, const std::vector<std::string>& header, size_t chosen, size_t columns, size_t rows,
                 const TimeGrid& grid)
{
    const bool hasHeader = !header.empty();
    if (!data.times.empty())
        data.timeName = hasHeader && !header[0].empty() ? header[0] : "column 1";
    data.columnName = hasHeader && !header[chosen].empty() ? header[chosen] : number(chosen + 1);
    data.source = columnTitle(header, chosen);
    data.source += " of " + number(columns) + ", " + number(rows) + (rows == 1 ? " row" : " rows");
    if (data.insertedGaps > 0)
        data.source += ", " + number(static_cast<uint64_t>(data.insertedGaps)) +
                       (data.insertedGaps == 1 ? " missing time" : " missing times") + " inserted as gaps (cadence " +
                       figureText(grid.cadence) + ")";
}

}  // namespace

SeriesReadResult readText(std::string_view text, std::string_view name, const SeriesReadOptions& options)
{
    char delimiter = 0;
    const std::vector<TextLine> lines = tableLines(text, delimiter);
    if (lines.empty())
        return refuse(std::string(name) + " holds no samples");

    const bool decimalComma = delimiter == ';';
    LineCells cells;

    // A first line with a cell that is neither a number nor a gap names the columns.
    splitCells(lines.front().text, delimiter, cells);
    const bool hasHeader = std::any_of(cells.begin(), cells.end(), [&](const std::string& c) {
        return classifyCell(c, decimalComma).kind == CellKind::Text;
    });
    std::vector<std::string> header;
    if (hasHeader)
        header.assign(cells.begin(), cells.end());
    const size_t firstData = hasHeader ? 1 : 0;
    const size_t rows = lines.size() - firstData;
    if (rows == 0)
        return refuse(std::string(name) + " holds no samples");

    size_t widest = 0;
    const std::vector<ColumnSurvey> survey =
        surveyColumns(lines, firstData, delimiter, decimalComma, header.size(), cells, widest);
    const size_t columns = hasHeader ? header.size() : widest;
    if (columns == 0)
        return refuse(std::string(name) + " holds no samples");

    size_t chosen = columns;  // 0-based once found
    if (std::string problem = chooseColumn(name, options, header, columns, survey, chosen); !problem.empty())
        return refuse(std::move(problem));

    SeriesData data;
    data.format = SeriesFormat::Text;
    const bool namedTime = chosen != 0 && hasHeader && namesTime(header[0]);
    TimeGrid grid;
    if (std::string problem =
            readColumnValues(name, lines, firstData, delimiter, decimalComma, chosen, namedTime, cells, data, grid);
        !problem.empty())
        return refuse(std::move(problem));
    if (allGaps(data.values))
        return refuse(prefixed(name, columnTitle(header, chosen) + " holds only gaps"));
    nameColumns(data, header, chosen, columns, rows, grid);
    for (size_t j = data.times.empty() ? 0 : 1; j < std::min(columns, survey.size()); ++j)
        if (survey[j].numbers > 0 && j < static_cast<size_t>(INT32_MAX))
            data.numberColumns.push_back(static_cast<int32_t>(j + 1));

    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace files
