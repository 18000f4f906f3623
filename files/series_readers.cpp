#include "files/series_readers.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/data_file_reader.h"

namespace files {

namespace {

SeriesReadResult refuse(std::string message)
{
    SeriesReadResult r;
    r.error = std::move(message);
    return r;
}

std::string prefixed(std::string_view name, std::string_view what)
{
    std::string s(name);
    s += ": ";
    s += what;
    return s;
}

std::string number(uint64_t v) { return std::to_string(v); }

// Shows a cell inside a message: quoted, and cut short so that one bad
// line of a huge file does not make a huge message.
std::string quoted(std::string_view cell)
{
    constexpr size_t kShown = 40;
    std::string s = "\"";
    if (cell.size() > kShown) {
        s.append(cell.substr(0, kShown));
        s += "...";
    } else {
        s.append(cell);
    }
    s += '"';
    return s;
}

bool allGaps(const std::vector<double>& values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

// ---------------------------------------------------------------- text

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

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = static_cast<char>(a[i] >= 'A' && a[i] <= 'Z' ? a[i] - 'A' + 'a' : a[i]);
        const char y = static_cast<char>(b[i] >= 'A' && b[i] <= 'Z' ? b[i] - 'A' + 'a' : b[i]);
        if (x != y)
            return false;
    }
    return true;
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

std::optional<uint64_t> parseIndex(std::string_view s)
{
    if (s.empty() || s.size() > 18)
        return std::nullopt;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return v;
}

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

// Reads column `chosen` (0-based) of the lines from `firstData` on into
// data.values and data.integral, and the first column into data.times when it
// is the time column; or the problem.
std::string readColumnValues(std::string_view name, const std::vector<TextLine>& lines, size_t firstData,
                             char delimiter, bool decimalComma, size_t chosen, LineCells& cells, SeriesData& data)
{
    const size_t rows = lines.size() - firstData;
    data.values.reserve(rows);
    bool integral = true;
    // The first column is a candidate for the time column while it holds
    // numbers only, each larger than the one before.
    bool timeColumn = chosen != 0;
    std::vector<double> times;
    if (timeColumn)
        times.reserve(rows);
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
        if (timeColumn) {
            const CellValue t = classifyCell(cells[0], decimalComma);
            if (t.kind != CellKind::Number || (!times.empty() && !(t.value > times.back())))
                timeColumn = false;
            else
                times.push_back(t.value);
        }
    }
    data.integral = integral;
    if (timeColumn)
        data.times = std::move(times);
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
// report line of what was read: `columns` columns, `rows` data rows.
void nameColumns(SeriesData& data, const std::vector<std::string>& header, size_t chosen, size_t columns, size_t rows)
{
    const bool hasHeader = !header.empty();
    if (!data.times.empty())
        data.timeName = hasHeader && !header[0].empty() ? header[0] : "column 1";
    data.columnName = hasHeader && !header[chosen].empty() ? header[chosen] : number(chosen + 1);
    data.source = columnTitle(header, chosen);
    data.source += " of " + number(columns) + ", " + number(rows) + (rows == 1 ? " row" : " rows");
}

}  // namespace

static SeriesReadResult readText(std::string_view text, std::string_view name, const SeriesReadOptions& options)
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
    if (std::string problem = readColumnValues(name, lines, firstData, delimiter, decimalComma, chosen, cells, data);
        !problem.empty())
        return refuse(std::move(problem));
    if (allGaps(data.values))
        return refuse(prefixed(name, columnTitle(header, chosen) + " holds only gaps"));
    nameColumns(data, header, chosen, columns, rows);

    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

// ---------------------------------------------------------------- .npy

namespace {

constexpr std::string_view kNpyMagic = "\x93NUMPY";

// A value of the header's Python literal: the dictionary's keys and values.
struct PyValue {
    enum class Kind { String, Bool, None, Integer, Sequence, Dict } kind = Kind::None;
    std::string text;
    bool flag = false;
    bool negative = false;
    uint64_t magnitude = 0;
    bool tooLarge = false;
    std::vector<PyValue> items;     // a tuple or list; a dictionary's values
    std::vector<std::string> keys;  // a dictionary's keys, one per item
};

class PyLiteralParser {
  public:
    PyLiteralParser(std::string_view text, size_t offset) : text_(text), offset_(offset) {}

    // The literal, or nothing with the reason in error().
    std::optional<PyValue> parseWhole()
    {
        std::optional<PyValue> v = value(0);
        if (!v)
            return std::nullopt;
        skip();
        if (at_ < text_.size())
            return fail("unexpected text after the header's dictionary");
        return v;
    }
    const std::string& error() const { return error_; }

  private:
    static constexpr int kDeepest = 16;

    std::nullopt_t fail(const std::string& what)
    {
        if (error_.empty())
            error_ = "the .npy header cannot be read at byte " + number(offset_ + at_) + ": " + what;
        return std::nullopt;
    }

    void skip()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool word(std::string_view w)
    {
        if (text_.substr(at_, w.size()) != w)
            return false;
        const size_t after = at_ + w.size();
        if (after < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[after])) || text_[after] == '_'))
            return false;
        at_ = after;
        return true;
    }

    // One value: a string, a tuple or list, a dictionary, an integer, True,
    // False or None.
    std::optional<PyValue> value(int depth)
    {
        if (depth > kDeepest)
            return fail("nested too deeply");
        skip();
        if (at_ >= text_.size())
            return fail("the header ends inside its dictionary");
        const char c = text_[at_];
        if (c == '\'' || c == '"')
            return stringValue(c);
        if (c == '(' || c == '[')
            return sequenceValue(c == '(' ? ')' : ']', depth);
        if (c == '{')
            return dictionaryValue(depth);
        if (c == '-' || c == '+' || (c >= '0' && c <= '9'))
            return integerValue(c);
        PyValue v;
        if (word("True") || word("False")) {
            v.kind = PyValue::Kind::Bool;
            v.flag = text_[at_ - 4] == 'T';
            return v;
        }
        if (word("None"))
            return v;
        return fail("unexpected character " + quoted(std::string_view(&text_[at_], 1)));
    }

    // A string in `quote`s, at its opening quote; a backslash keeps the
    // character after it.
    std::optional<PyValue> stringValue(char quote)
    {
        PyValue v;
        v.kind = PyValue::Kind::String;
        ++at_;
        while (true) {
            if (at_ >= text_.size())
                return fail("a string is not closed");
            const char d = text_[at_++];
            if (d == quote)
                break;
            if (d == '\\') {
                if (at_ >= text_.size())
                    return fail("a string is not closed");
                v.text += text_[at_++];
            } else {
                v.text += d;
            }
        }
        return v;
    }

    // A tuple or list up to `close`, at its opening bracket; a comma may
    // follow the last item.
    std::optional<PyValue> sequenceValue(char close, int depth)
    {
        PyValue v;
        v.kind = PyValue::Kind::Sequence;
        ++at_;
        while (true) {
            skip();
            if (at_ < text_.size() && text_[at_] == close) {
                ++at_;
                return v;
            }
            std::optional<PyValue> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            v.items.push_back(std::move(*item));
            skip();
            if (at_ < text_.size() && text_[at_] == ',')
                ++at_;
            else if (at_ < text_.size() && text_[at_] == close)
                continue;
            else
                return fail(std::string("expected ',' or '") + close + "'");
        }
    }

    // A dictionary with string keys, at its opening brace.
    std::optional<PyValue> dictionaryValue(int depth)
    {
        PyValue v;
        v.kind = PyValue::Kind::Dict;
        ++at_;
        while (true) {
            skip();
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return v;
            }
            std::optional<PyValue> key = value(depth + 1);
            if (!key)
                return std::nullopt;
            if (key->kind != PyValue::Kind::String)
                return fail("a key of the dictionary is not a string");
            skip();
            if (at_ >= text_.size() || text_[at_] != ':')
                return fail("expected ':'");
            ++at_;
            std::optional<PyValue> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            v.keys.push_back(std::move(key->text));
            v.items.push_back(std::move(*item));
            skip();
            if (at_ < text_.size() && text_[at_] == ',')
                ++at_;
            else if (at_ < text_.size() && text_[at_] == '}')
                continue;
            else
                return fail("expected ',' or '}'");
        }
    }

    // A whole number, at its sign or first digit `c`; tooLarge says that it
    // passed the largest 64-bit value.
    std::optional<PyValue> integerValue(char c)
    {
        PyValue v;
        v.kind = PyValue::Kind::Integer;
        if (c == '-' || c == '+') {
            v.negative = c == '-';
            ++at_;
        }
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            const uint64_t d = static_cast<uint64_t>(text_[at_] - '0');
            if (v.magnitude > (std::numeric_limits<uint64_t>::max() - d) / 10)
                v.tooLarge = true;
            else
                v.magnitude = v.magnitude * 10 + d;
            ++at_;
        }
        if (at_ == start)
            return fail("a sign without digits");
        // Python 2 wrote the shape's numbers as long integers: 1000L.
        if (at_ < text_.size() && (text_[at_] == 'L' || text_[at_] == 'l'))
            ++at_;
        return v;
    }

    std::string_view text_;
    size_t offset_;  // the header's first byte in the file
    size_t at_ = 0;
    std::string error_;
};

enum class NpyKind { Signed, Unsigned, Float };

struct NpyType {
    NpyKind kind = NpyKind::Float;
    size_t size = 0;
    bool bigEndian = false;
};

std::optional<NpyType> npyType(std::string_view descr)
{
    if (descr.size() < 3)
        return std::nullopt;
    NpyType t;
    switch (descr[0]) {
    case '<':
        break;
    case '>':
        t.bigEndian = true;
        break;
    case '=':
        t.bigEndian = std::endian::native == std::endian::big;
        break;
    case '|':
        break;
    default:
        return std::nullopt;
    }
    switch (descr[1]) {
    case 'i':
        t.kind = NpyKind::Signed;
        break;
    case 'u':
        t.kind = NpyKind::Unsigned;
        break;
    case 'f':
        t.kind = NpyKind::Float;
        break;
    default:
        return std::nullopt;
    }
    const std::string_view width = descr.substr(2);
    if (width == "1")
        t.size = 1;
    else if (width == "2")
        t.size = 2;
    else if (width == "4")
        t.size = 4;
    else if (width == "8")
        t.size = 8;
    else
        return std::nullopt;
    if (t.kind == NpyKind::Float && t.size == 1)
        return std::nullopt;
    // "|" says the byte order does not matter, which holds for single bytes only.
    if (descr[0] == '|' && t.size != 1)
        return std::nullopt;
    return t;
}

uint64_t loadUnsigned(const uint8_t* p, size_t size, bool bigEndian)
{
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i)
        v |= static_cast<uint64_t>(p[bigEndian ? size - 1 - i : i]) << (8 * i);
    return v;
}

double halfToDouble(uint16_t h)
{
    const int sign = h >> 15;
    const int exponent = (h >> 10) & 0x1F;
    const int fraction = h & 0x3FF;
    double v;
    if (exponent == 0)
        v = std::ldexp(fraction, -24);
    else if (exponent == 31)
        v = fraction != 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    else
        v = std::ldexp(fraction + 1024, exponent - 25);
    return sign ? -v : v;
}

double loadElement(const uint8_t* p, const NpyType& t)
{
    const uint64_t bits = loadUnsigned(p, t.size, t.bigEndian);
    switch (t.kind) {
    case NpyKind::Unsigned:
        return static_cast<double>(bits);
    case NpyKind::Signed: {
        const unsigned shift = static_cast<unsigned>(64 - 8 * t.size);
        return static_cast<double>(static_cast<int64_t>(bits << shift) >> shift);
    }
    case NpyKind::Float:
        if (t.size == 2)
            return halfToDouble(static_cast<uint16_t>(bits));
        if (t.size == 4)
            return static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)));
        return std::bit_cast<double>(bits);
    }
    return 0;
}

// Whether an 8-byte integer element keeps its value as a double.
bool exactAsDouble(const uint8_t* p, const NpyType& t)
{
    if (t.size != 8 || t.kind == NpyKind::Float)
        return true;
    const uint64_t bits = loadUnsigned(p, t.size, t.bigEndian);
    constexpr uint64_t limit = uint64_t{1} << 53;
    if (t.kind == NpyKind::Unsigned)
        return bits <= limit;
    const int64_t v = static_cast<int64_t>(bits);
    return v >= -static_cast<int64_t>(limit) && v <= static_cast<int64_t>(limit);
}

std::string shapeText(const std::vector<uint64_t>& shape)
{
    std::string s = "(";
    for (size_t i = 0; i < shape.size(); ++i) {
        if (i > 0)
            s += ", ";
        s += number(shape[i]);
    }
    if (shape.size() == 1)
        s += ",";
    return s + ")";
}

// What the header of a .npy file says of its array.
struct NpyArray {
    NpyType type;
    std::string descr;            // the dtype as the header writes it
    bool fortranOrder = false;    // the columns one after another, not the rows
    std::vector<uint64_t> shape;  // rows, and columns for a 2-D array
    size_t dataStart = 0;         // the elements' first byte in the file
};

// The magic, the version and the header's length: the header's text and its
// first byte in the file, and the data's first byte; or the problem.
std::string npyFrame(std::span<const uint8_t> bytes, std::string_view name, std::string_view& header,
                     size_t& headerStart, size_t& dataStart)
{
    const size_t size = bytes.size();
    if (size < kNpyMagic.size() || std::memcmp(bytes.data(), kNpyMagic.data(), kNpyMagic.size()) != 0)
        return prefixed(name, "not a .npy file (it does not begin with \\x93NUMPY)");
    if (size < 8)
        return prefixed(name, "the .npy header is cut off at byte " + number(size));
    const unsigned major = bytes[6];
    const unsigned minor = bytes[7];
    if (major < 1 || major > 3 || minor != 0)
        return prefixed(name, ".npy format version " + number(major) + "." + number(minor) +
                                  " is not read (versions 1.0, 2.0 and 3.0 are)");
    const size_t lengthBytes = major == 1 ? 2 : 4;
    headerStart = 8 + lengthBytes;
    if (size < headerStart)
        return prefixed(name, "the .npy header is cut off at byte " + number(size));
    const uint64_t headerLength = loadUnsigned(bytes.data() + 8, lengthBytes, false);
    if (headerLength > size - headerStart)
        return prefixed(name, "the .npy header is cut off at byte " + number(size) + ": it ends at byte " +
                                  number(headerStart + headerLength));
    dataStart = headerStart + static_cast<size_t>(headerLength);
    header =
        std::string_view(reinterpret_cast<const char*>(bytes.data() + headerStart), static_cast<size_t>(headerLength));
    return {};
}

// The header dictionary's 'descr', 'fortran_order' and 'shape' into `array`,
// or the problem.
std::string npyFields(const PyValue& dict, std::string_view name, NpyArray& array)
{
    auto field = [&](std::string_view key) -> const PyValue* {
        for (size_t i = 0; i < dict.keys.size(); ++i)
            if (dict.keys[i] == key)
                return &dict.items[i];
        return nullptr;
    };
    const PyValue* descr = field("descr");
    const PyValue* fortran = field("fortran_order");
    const PyValue* shapeValue = field("shape");
    if (!descr || !fortran || !shapeValue)
        return prefixed(name, "the .npy header lacks " + std::string(!descr     ? "'descr'"
                                                                     : !fortran ? "'fortran_order'"
                                                                                : "'shape'"));
    if (descr->kind != PyValue::Kind::String)
        return prefixed(name, "structured .npy arrays are not read; only plain integer and float arrays");
    const std::optional<NpyType> type = npyType(descr->text);
    if (!type)
        return prefixed(name, "dtype " + quoted(descr->text) +
                                  " is not read; integers (i1 to i8, u1 to u8) and floats (f2, f4, f8) are");
    if (fortran->kind != PyValue::Kind::Bool)
        return prefixed(name, "the .npy header's 'fortran_order' is not True or False");
    if (shapeValue->kind != PyValue::Kind::Sequence)
        return prefixed(name, "the .npy header's 'shape' is not a tuple");
    std::vector<uint64_t>& shape = array.shape;
    for (const PyValue& d : shapeValue->items) {
        if (d.kind != PyValue::Kind::Integer || d.negative || d.tooLarge)
            return prefixed(name, "the .npy header's 'shape' holds something other than a size");
        shape.push_back(d.magnitude);
    }
    if (shape.empty())
        return prefixed(name, "the array holds a single value, not a series");
    if (shape.size() > 2)
        return prefixed(name, "the array has " + number(shape.size()) + " dimensions " + shapeText(shape) +
                                  "; only 1-D and 2-D arrays are read");
    array.type = *type;
    array.descr = descr->text;
    array.fortranOrder = fortran->flag;
    return {};
}

// Whether the file holds every element the shape counts, and at least one;
// or the problem.
std::string npyDataProblem(const NpyArray& array, size_t size, std::string_view name)
{
    uint64_t count = 1;
    for (uint64_t d : array.shape) {
        if (d != 0 && count > std::numeric_limits<uint64_t>::max() / d)
            return prefixed(name, "the array's shape " + shapeText(array.shape) + " is too large");
        count *= d;
    }
    if (count > std::numeric_limits<uint64_t>::max() / array.type.size)
        return prefixed(name, "the array's shape " + shapeText(array.shape) + " is too large");
    const uint64_t dataBytes = count * array.type.size;
    if (dataBytes > size - array.dataStart)
        return prefixed(name, "the .npy data is cut off: " + number(dataBytes) + " bytes from byte " +
                                  number(array.dataStart) + " needed, the file ends at byte " + number(size));
    if (count == 0)
        return std::string(name) + " holds no samples";
    return {};
}

// The column to read, 1-based: the one the options name by number, else the
// last; or the problem.
std::string chooseNpyColumn(std::string_view name, const SeriesReadOptions& options, const NpyArray& array,
                            uint64_t& column)
{
    const uint64_t columns = array.shape.size() == 2 ? array.shape[1] : 1;
    column = columns;
    if (options.column.empty())
        return {};
    const std::optional<uint64_t> index = parseIndex(options.column);
    if (!index)
        return prefixed(name, "a .npy array's columns are chosen by number, not by " + quoted(options.column));
    if (*index < 1 || *index > columns)
        return prefixed(name, "no column " + number(*index) + "; the array " + shapeText(array.shape) + " has " +
                                  number(columns) + (columns == 1 ? " column" : " columns"));
    column = *index;
    return {};
}

// The elements of column `column` (1-based) as the series, refused when one
// is infinite or an integer a double cannot hold, or when all are gaps.
SeriesReadResult readNpyColumn(std::span<const uint8_t> bytes, std::string_view name, const NpyArray& array,
                               uint64_t column)
{
    const NpyType& type = array.type;
    const bool twoD = array.shape.size() == 2;
    const uint64_t rows = array.shape[0];
    const uint64_t columns = twoD ? array.shape[1] : 1;
    SeriesData data;
    data.values.resize(static_cast<size_t>(rows));
    const uint8_t* base = bytes.data() + array.dataStart;
    for (uint64_t i = 0; i < rows; ++i) {
        const uint64_t element = array.fortranOrder ? (column - 1) * rows + i : i * columns + (column - 1);
        const uint8_t* p = base + element * type.size;
        auto where = [&] {
            return twoD ? "element [" + number(i) + ", " + number(column - 1) + "]" : "element [" + number(i) + "]";
        };
        if (!exactAsDouble(p, type))
            return refuse(prefixed(name, where() + " is beyond ±2^53 and would not keep its value"));
        const double v = loadElement(p, type);
        if (std::isinf(v))
            return refuse(prefixed(name, where() + " is infinite"));
        data.values[static_cast<size_t>(i)] = v;
    }
    if (allGaps(data.values))
        return refuse(twoD ? prefixed(name, "column " + number(column) + " holds only gaps")
                           : std::string(name) + " holds only gaps");

    data.integral = type.kind != NpyKind::Float;
    const std::string shape = shapeText(array.shape);
    if (twoD) {
        data.columnName = number(column);
        data.source = "column " + number(column) + " of a " + shape + " " + array.descr + " array";
    } else {
        data.source = "a " + shape + " " + array.descr + " array";
    }
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace

static SeriesReadResult readNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options)
{
    NpyArray array;
    std::string_view headerText;
    size_t headerStart = 0;
    if (std::string problem = npyFrame(bytes, name, headerText, headerStart, array.dataStart); !problem.empty())
        return refuse(std::move(problem));

    PyLiteralParser parser(headerText, headerStart);
    const std::optional<PyValue> dict = parser.parseWhole();
    if (!dict)
        return refuse(prefixed(name, parser.error()));
    if (dict->kind != PyValue::Kind::Dict)
        return refuse(prefixed(name, "the .npy header is not a dictionary"));
    if (std::string problem = npyFields(*dict, name, array); !problem.empty())
        return refuse(std::move(problem));
    if (std::string problem = npyDataProblem(array, bytes.size(), name); !problem.empty())
        return refuse(std::move(problem));

    uint64_t column = 0;
    if (std::string problem = chooseNpyColumn(name, options, array, column); !problem.empty())
        return refuse(std::move(problem));
    return readNpyColumn(bytes, name, array, column);
}

// ---------------------------------------------------------------- sound

namespace {

// libsndfile reads through these from bytes in memory.
struct MemoryStream {
    const uint8_t* data;
    sf_count_t size;
    sf_count_t at;
};

sf_count_t memoryLength(void* user) { return static_cast<MemoryStream*>(user)->size; }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = m->at;
    else if (whence == SEEK_END)
        base = m->size;
    else if (whence != SEEK_SET)
        return -1;
    if ((offset > 0 && base > std::numeric_limits<sf_count_t>::max() - offset) || base + offset < 0)
        return -1;
    m->at = base + offset;
    return m->at;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (count <= 0 || m->at >= m->size)
        return 0;
    const sf_count_t n = std::min(count, m->size - m->at);
    std::memcpy(out, m->data + m->at, static_cast<size_t>(n));
    m->at += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* user) { return static_cast<MemoryStream*>(user)->at; }

struct SoundCloser {
    void operator()(SNDFILE* f) const
    {
        if (f)
            sf_close(f);
    }
};

// The bits of an integer encoding, which libsndfile hands out shifted to
// the top of an int; 0 for encodings whose samples are not integers.
int integerBits(int subformat)
{
    switch (subformat) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_DPCM_8:
        return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    default:
        return 0;
    }
}

std::string encodingName(int subformat)
{
    switch (subformat) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "8-bit PCM";
    case SF_FORMAT_PCM_16:
        return "16-bit PCM";
    case SF_FORMAT_PCM_24:
        return "24-bit PCM";
    case SF_FORMAT_PCM_32:
        return "32-bit PCM";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_ULAW:
        return "u-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    default:
        return "compressed";
    }
}

// The sound reader; `notSound` tells whether libsndfile refused to open
// the bytes at all, so that the format guess can try the next reader.
SeriesReadResult readSound(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options,
                           bool* notSound)
{
    MemoryStream stream{bytes.data(), static_cast<sf_count_t>(bytes.size()), 0};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SoundCloser> file(sf_open_virtual(&io, SFM_READ, &info, &stream));
    if (!file) {
        if (notSound)
            *notSound = true;
        return refuse(prefixed(name, std::string("not a sound file libsndfile reads: ") + sf_strerror(nullptr)));
    }
    if (info.channels < 1)
        return refuse(prefixed(name, "the sound file has no channels"));
    if (options.channel < 1 || options.channel > info.channels)
        return refuse(prefixed(name, "no channel " + std::to_string(options.channel) + "; the sound file has " +
                                         std::to_string(info.channels) +
                                         (info.channels == 1 ? " channel" : " channels")));
    const size_t channels = static_cast<size_t>(info.channels);
    const size_t channel = static_cast<size_t>(options.channel - 1);
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    const int bits = integerBits(subformat);
    // Floats as stored, and the other codecs in their own sample range.
    sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);

    SeriesData data;
    const size_t chunkFrames = std::max<size_t>(1, 65536 / channels);
    std::vector<int> ints;
    std::vector<double> doubles;
    if (bits > 0)
        ints.resize(chunkFrames * channels);
    else
        doubles.resize(chunkFrames * channels);
    const unsigned shift = static_cast<unsigned>(32 - bits);
    // Read until libsndfile has no more, whatever frame count the header claims.
    while (true) {
        const sf_count_t got = bits > 0
                                   ? sf_readf_int(file.get(), ints.data(), static_cast<sf_count_t>(chunkFrames))
                                   : sf_readf_double(file.get(), doubles.data(), static_cast<sf_count_t>(chunkFrames));
        if (got <= 0)
            break;
        for (size_t f = 0; f < static_cast<size_t>(got); ++f) {
            double v;
            if (bits > 0) {
                v = static_cast<double>(ints[f * channels + channel] >> shift);
            } else {
                v = doubles[f * channels + channel];
                if (std::isinf(v))
                    return refuse(prefixed(name, "frame " + number(data.values.size()) + ", channel " +
                                                     std::to_string(options.channel) + " is infinite"));
            }
            data.values.push_back(v);
        }
        if (static_cast<size_t>(got) < chunkFrames)
            break;
    }
    if (data.values.empty())
        return refuse(std::string(name) + " holds no samples");
    if (allGaps(data.values))
        return refuse(prefixed(name, "channel " + std::to_string(options.channel) + " holds only gaps"));

    data.integral = bits > 0;
    if (info.samplerate > 0) {
        data.sampleRate = info.samplerate;
        data.times.resize(data.values.size());
        for (size_t i = 0; i < data.times.size(); ++i)
            data.times[i] = static_cast<double>(i) / info.samplerate;
        data.timeName = "s";
    }
    if (channels > 1)
        data.columnName = std::to_string(options.channel);
    data.source = "channel " + std::to_string(options.channel) + " of " + std::to_string(channels) + ", " +
                  number(data.values.size()) + " frames at " + std::to_string(info.samplerate) + " Hz, " +
                  encodingName(subformat);
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

}  // namespace

// ---------------------------------------------------------------- data file

static SeriesReadResult readDataFile(std::span<const uint8_t> bytes, std::string_view name)
{
    const std::optional<DataFileHeader> header = parseDataFileHeader(bytes);
    if (!header)
        return refuse(prefixed(name, "Data file is shorter than its header!"));
    const std::string problem = dataFileTraceProblem(*header, bytes.size());
    if (!problem.empty())
        return refuse(prefixed(name, problem));
    const std::vector<int16_t> samples = dataFileSeriesSamples(bytes, *header);
    if (samples.empty())
        return refuse(std::string(name) + " holds no samples");

    SeriesData data;
    data.values.assign(samples.begin(), samples.end());
    data.integral = true;
    if (header->SamplRate > 0) {
        data.sampleRate = header->SamplRate / static_cast<double>(kSamplesPerSeriesSample);
        data.times.resize(data.values.size());
        for (size_t i = 0; i < data.times.size(); ++i)
            data.times[i] = static_cast<double>(i) / data.sampleRate;
        data.timeName = "s";
    }
    data.source = "trace " + std::to_string(header->TrNum) + ", " + std::to_string(header->SamplNum) +
                  " recorded samples in " + number(samples.size()) + " series samples";
    SeriesReadResult result;
    result.ok = true;
    result.data = std::move(data);
    return result;
}

// ---------------------------------------------------------------- files

namespace {

bool readDescriptor(int fd, std::vector<uint8_t>& bytes)
{
    uint8_t buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool startsWith(std::span<const uint8_t> bytes, size_t at, std::string_view marker)
{
    return bytes.size() >= at + marker.size() && std::memcmp(bytes.data() + at, marker.data(), marker.size()) == 0;
}

// Headers of the common sound containers: such a file goes to the sound
// reader even when libsndfile then refuses it, so that its reason is shown.
bool soundHeader(std::span<const uint8_t> b)
{
    if ((startsWith(b, 0, "RIFF") || startsWith(b, 0, "RIFX")) && startsWith(b, 8, "WAVE"))
        return true;
    if (startsWith(b, 0, "RF64") || startsWith(b, 0, "fLaC") || startsWith(b, 0, "OggS") || startsWith(b, 0, ".snd") ||
        startsWith(b, 0, "caff"))
        return true;
    return startsWith(b, 0, "FORM") && (startsWith(b, 8, "AIFF") || startsWith(b, 8, "AIFC"));
}

bool hasExtension(const std::string& path, std::string_view extension)
{
    if (path.size() < extension.size())
        return false;
    return equalsIgnoringCase(std::string_view(path).substr(path.size() - extension.size()), extension);
}

SeriesReadResult readBytes(std::span<const uint8_t> bytes, const std::string& path, std::string_view name,
                           const SeriesReadOptions& options, bool fromStdin)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    switch (options.format) {
    case SeriesFormat::Text:
        return readSeriesText(text, name, options);
    case SeriesFormat::Npy:
        return readSeriesNpy(bytes, name, options);
    case SeriesFormat::Sound:
        return readSeriesSound(bytes, name, options);
    case SeriesFormat::DataFile:
        return readSeriesDataFile(bytes, name);
    case SeriesFormat::Auto:
        break;
    }
    if (fromStdin)
        return readSeriesText(text, name, options);
    if (startsWith(bytes, 0, kNpyMagic))
        return readSeriesNpy(bytes, name, options);
    if (soundHeader(bytes))
        return readSeriesSound(bytes, name, options);
    bool notSound = false;
    SeriesReadResult sound = readSound(bytes, name, options, &notSound);
    if (!notSound)
        return sound;
    if (hasExtension(path, ".dat"))
        return readSeriesDataFile(bytes, name);
    return readSeriesText(text, name, options);
}

// Memory running out while a reader works is a refusal like any other: a
// file too large for what is left must not take the program down.
template <class Read>
SeriesReadResult refusingShortage(std::string_view name, Read&& read)
{
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return refuse(prefixed(name, "not enough memory to read it"));
    }
}

}  // namespace

SeriesReadResult readSeriesText(std::string_view text, std::string_view name, const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readText(text, name, options); });
}

SeriesReadResult readSeriesNpy(std::span<const uint8_t> bytes, std::string_view name, const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readNpy(bytes, name, options); });
}

SeriesReadResult readSeriesSound(std::span<const uint8_t> bytes, std::string_view name,
                                 const SeriesReadOptions& options)
{
    return refusingShortage(name, [&] { return readSound(bytes, name, options, nullptr); });
}

SeriesReadResult readSeriesDataFile(std::span<const uint8_t> bytes, std::string_view name)
{
    return refusingShortage(name, [&] { return readDataFile(bytes, name); });
}

namespace {

SeriesReadResult readFile(const std::string& path, const SeriesReadOptions& options)
{
    std::vector<uint8_t> bytes;
    if (path == "-") {
        const std::string_view name = "standard input";
        if (!readDescriptor(STDIN_FILENO, bytes))
            return refuse(prefixed(name, std::strerror(errno)));
        return readBytes(bytes, path, name, options, true);
    }

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return refuse(prefixed(path, std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        return refuse(prefixed(path, std::strerror(saved)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(prefixed(path, S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file"));
    }
    try {
        bytes.reserve(static_cast<size_t>(st.st_size));
    } catch (const std::exception&) {
        ::close(fd);
        return refuse(
            prefixed(path, "too large to read into memory (" + number(static_cast<uint64_t>(st.st_size)) + " bytes)"));
    }
    const bool read = readDescriptor(fd, bytes);
    const int saved = errno;
    ::close(fd);
    if (!read)
        return refuse(prefixed(path, std::strerror(saved)));
    return readBytes(bytes, path, path, options, false);
}

}  // namespace

SeriesReadResult readSeriesFile(const std::string& path, const SeriesReadOptions& options)
{
    return refusingShortage(path == "-" ? std::string_view("standard input") : std::string_view(path),
                            [&] { return readFile(path, options); });
}

std::optional<SeriesFormat> seriesFormatNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, SeriesFormat> formats[] = {
        {"auto", SeriesFormat::Auto},   {"text", SeriesFormat::Text},         {"npy", SeriesFormat::Npy},
        {"sound", SeriesFormat::Sound}, {"datafile", SeriesFormat::DataFile},
    };
    for (const auto& [word, format] : formats)
        if (name == word)
            return format;
    return std::nullopt;
}

}  // namespace files
