// The readers of a researcher's own series on inputs made here: tables in
// every separator, .npy arrays of every dtype and order, sound files written
// by libsndfile, the data file, and every input they must refuse.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sndfile.h>
#include <string>
#include <utility>
#include <vector>

#include "files/data_file_reader.h"
#include "files/series_readers.h"
#include "base/formatted_text.h"
#include "tests/files/files_test_support.h"

using files::readSeriesDataFile;
using files::readSeriesFile;
using files::readSeriesNpy;
using files::readSeriesSound;
using files::readSeriesText;
using files::SeriesReadOptions;
using files::SeriesReadResult;
using files_test::npyDict;
using files_test::npyFile;
using files_test::packed;
using files_test::ScratchDir;

namespace {

SeriesReadResult text(std::string_view t, const std::string& column = "")
{
    SeriesReadOptions o;
    o.column = column;
    return readSeriesText(t, "ecg.csv", o);
}

std::span<const uint8_t> asBytes(const std::vector<uint8_t>& b) { return {b.data(), b.size()}; }

// Gaps compare equal to gaps.
void expectSameSeries(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(want[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "at " << i;
        else
            EXPECT_EQ(got[i], want[i]) << "at " << i;
    }
}

const double kGap = std::numeric_limits<double>::quiet_NaN();

}  // namespace

// ---------------------------------------------------------------- text

TEST(SeriesText, HeaderDefaultColumnAndTimeColumn)
{
    const SeriesReadResult r = text("time,I,II,note\n0,10,-5,a\n0.5,11,-6,b\n1,12,7,c\n");
    ASSERT_TRUE(r.ok) << r.error;
    // The last column holding numbers only; "note" holds text.
    EXPECT_EQ(r.data.columnName, "II");
    expectSameSeries(r.data.values, {-5, -6, 7});
    EXPECT_TRUE(r.data.integral);
    expectSameSeries(r.data.times, {0, 0.5, 1});
    EXPECT_EQ(r.data.timeName, "time");
    EXPECT_EQ(r.data.source, "column 3 (II) of 4, 3 rows");
}

TEST(SeriesText, NoHeaderNumbersTheColumns)
{
    const SeriesReadResult r = text("1 2.5\n2 3.5\n3 1e1\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.columnName, "2");
    expectSameSeries(r.data.values, {2.5, 3.5, 10});
    EXPECT_FALSE(r.data.integral);
    EXPECT_EQ(r.data.timeName, "column 1");
    EXPECT_EQ(r.data.times.size(), 3u);

    const SeriesReadResult one = text("4\n5\n-6\n");
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(one.data.columnName, "1");
    EXPECT_TRUE(one.data.integral);
    EXPECT_TRUE(one.data.times.empty());
}

TEST(SeriesText, TimeColumnOnlyWhenStrictlyIncreasingWithoutGaps)
{
    EXPECT_TRUE(text("0,1\n1,2\n1,3\n").data.times.empty());  // repeats a time
    EXPECT_TRUE(text("0,1\n2,2\n1,3\n").data.times.empty());  // goes back
    EXPECT_TRUE(text("0,1\n,2\n2,3\n").data.times.empty());   // a gap
    EXPECT_TRUE(text("a,1\nb,2\nc,3\n").data.times.empty());  // "a" makes a header; then text
    EXPECT_TRUE(text("0,1\n1,2\n", "1").data.times.empty());  // the chosen column is the first
    EXPECT_EQ(text("-3,1\n-2.5,2\n-2,3\n").data.times, (std::vector<double>{-3, -2.5, -2}));
}

TEST(SeriesText, EverySeparatorGivesTheSameSeries)
{
    const std::vector<std::string> tables = {
        "t,v\n0,1.5\n1,-2\n2,\n3,4e-3\n",    "t\tv\n0\t1.5\n1\t-2\n2\t\n3\t4e-3\n",
        "t;v\n0;1,5\n1;-2\n2;\n3;4e-3\n",  // semicolons: the comma is the decimal point
        "t v\n0 1.5\n1 -2\n2 nan\n3 4e-3\n", "  t    v  \n\t0  1.5\n1\t\t-2\n2 NA\n3   4e-3   \n",
    };
    for (const std::string& t : tables) {
        const SeriesReadResult r = text(t);
        ASSERT_TRUE(r.ok) << t << r.error;
        EXPECT_EQ(r.data.columnName, "v") << t;
        expectSameSeries(r.data.values, {1.5, -2, kGap, 4e-3});
        EXPECT_EQ(r.data.times, (std::vector<double>{0, 1, 2, 3})) << t;
    }
}

TEST(SeriesText, CommentsBlankLinesCrlfAndBomKeepLineNumbers)
{
    const std::string t = "\xEF\xBB\xBF# recorded 2024\r\n\r\ntime,value\r\n  # a note\r\n0,1\r\n1,x\r\n";
    const SeriesReadResult r = text(t);
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error, "ecg.csv: line 6, column 2: \"x\" is not a number");

    const SeriesReadResult good = text("\xEF\xBB\xBFtime,value\r\n0,1\r\n\r\n# end\r\n1,2\r\n");
    ASSERT_TRUE(good.ok) << good.error;
    EXPECT_EQ(good.data.timeName, "time");  // the mark at the start is no part of the name
    expectSameSeries(good.data.values, {1, 2});

    // In a tab-separated table a line of tabs is a row of gaps.
    const SeriesReadResult tabs = text("a\tv\n0\t1\n\t\n2\t3\n", "v");
    ASSERT_TRUE(tabs.ok) << tabs.error;
    expectSameSeries(tabs.data.values, {1, kGap, 3});

    // Old Macintosh line ends.
    const SeriesReadResult mac = text("a\r1\r2\r3\r");
    ASSERT_TRUE(mac.ok) << mac.error;
    expectSameSeries(mac.data.values, {1, 2, 3});
}

TEST(SeriesText, RefusalsNameFileLineAndColumn)
{
    EXPECT_EQ(text("t,v\n0,1\n1,2\n2,abc\n", "v").error, "ecg.csv: line 4, column 2: \"abc\" is not a number");
    EXPECT_EQ(text("t,v\n0,1\n1,inf\n", "v").error, "ecg.csv: line 3, column 2: \"inf\" is not a finite number");
    EXPECT_EQ(text("t,v\n0,1\n1,-Infinity\n", "v").error,
              "ecg.csv: line 3, column 2: \"-Infinity\" is not a finite number");
    EXPECT_EQ(text("t,v\n0,1\n1,1e999\n", "v").error, "ecg.csv: line 3, column 2: \"1e999\" is not a finite number");
    // Without a named column: the rightmost column's first bad cell.
    EXPECT_EQ(text("1,2\n3,4\n5,six\n").error, "ecg.csv: line 3, column 2: \"six\" is not a number");
    // A row too short for the column.
    EXPECT_EQ(text("t,v\n0,1\n1\n2,3\n").error, "ecg.csv: line 3 has no column 2 (it has 1 cell)");
    EXPECT_EQ(text("t,v,w\n0,1,2\n1,2\n", "3").error, "ecg.csv: line 3 has no column 3 (it has 2 cells)");
}

TEST(SeriesText, EmptyAndGapOnlyTablesAreRefused)
{
    EXPECT_EQ(text("").error, "ecg.csv holds no samples");
    EXPECT_EQ(text("\n\n  \n").error, "ecg.csv holds no samples");
    EXPECT_EQ(text("# only a comment\n").error, "ecg.csv holds no samples");
    EXPECT_EQ(text("time,value\n").error, "ecg.csv holds no samples");
    EXPECT_EQ(text("v\n\nnan\nNA\n").error, "ecg.csv holds only gaps");
    EXPECT_EQ(text("t,v\n0,\n1,nan\n2,NA\n", "v").error, "ecg.csv: column 2 (v) holds only gaps");
    EXPECT_EQ(text("t,v\n,\nnan,NaN\n").error, "ecg.csv holds only gaps");
}

// Without a named column, over random headerless tables of numbers, gaps and
// words: the rightmost column with a number is read unless it holds a word
// (then its first word is refused); with no such column the rightmost column
// holding a word is refused, else the table holds only gaps.
TEST(SeriesText, DefaultColumnIsTheRightmostWithNumbers)
{
    std::mt19937 random(2024);
    for (int trial = 0; trial < 400; ++trial) {
        const size_t columns = 1 + random() % 4, rows = 1 + random() % 5;
        // Row 0 holds a number in the first column, so no row is taken for a header.
        std::vector<std::vector<int>> kind(rows, std::vector<int>(columns));  // 0 number, 1 gap, 2 word
        std::string table;
        for (size_t r = 0; r < rows; ++r) {
            for (size_t j = 0; j < columns; ++j) {
                kind[r][j] = r == 0 ? (j == 0 ? 0 : static_cast<int>(random() % 2)) : static_cast<int>(random() % 3);
                if (j > 0)
                    table += ',';
                if (kind[r][j] == 0)
                    table += std::to_string(r * 10 + j);
                else if (kind[r][j] == 1)
                    table += "NA";
                else
                    table += 'w' + std::to_string(r);
            }
            table += "\n";
        }
        auto firstWord = [&](size_t j) {
            for (size_t r = 0; r < rows; ++r)
                if (kind[r][j] == 2)
                    return static_cast<int>(r);
            return -1;
        };
        size_t chosen = columns;
        for (size_t j = columns; j-- > 0 && chosen == columns;)
            for (size_t r = 0; r < rows; ++r)
                if (kind[r][j] == 0)
                    chosen = j;
        const int word = firstWord(chosen);
        const SeriesReadResult got = text(table);
        if (word >= 0) {
            EXPECT_EQ(got.error, "ecg.csv: line " + std::to_string(word + 1) + ", column " +
                                     std::to_string(chosen + 1) + ": \"w" + std::to_string(word) + "\" is not a number")
                << table;
            continue;
        }
        ASSERT_TRUE(got.ok) << table << got.error;
        ASSERT_EQ(got.data.values.size(), rows) << table;
        for (size_t r = 0; r < rows; ++r) {
            if (kind[r][chosen] == 0) {
                EXPECT_EQ(got.data.values[r], static_cast<double>(r * 10 + chosen)) << table;
            }
        }
    }
}

TEST(SeriesText, ColumnsByNameAndByNumber)
{
    const std::string t = "\"time, s\",\"a\"\"b\",3\n0,10,100\n1,20,200\n";
    SeriesReadResult r = text(t, "a\"b");
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {10, 20});
    EXPECT_EQ(r.data.timeName, "time, s");
    // A header that looks like a number is found by its name first.
    r = text(t, "3");
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {100, 200});
    r = text(t, "2");
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {10, 20});

    EXPECT_EQ(text(t, "volts").error,
              "ecg.csv: no column named \"volts\"; the columns are \"time, s\", \"a\"b\", \"3\"");
    EXPECT_EQ(text(t, "4").error, "ecg.csv: no column 4; the file has 3 columns");
    EXPECT_EQ(text(t, "0").error, "ecg.csv: no column 0; the file has 3 columns");
    EXPECT_EQ(text("1\n2\n", "v").error,
              "ecg.csv: no column named \"v\": the file has no header line; give a column number from 1 to 1");
    EXPECT_EQ(text("1\n2\n", "2").error, "ecg.csv: no column 2; the file has 1 column");
}

TEST(SeriesText, IntegralOnlyForWholeNumbersThatStayExact)
{
    EXPECT_TRUE(text("v\n1\n-2\n+3\n\n9007199254740992\n").data.integral);
    EXPECT_FALSE(text("v\n1\n2.0\n").data.integral);
    EXPECT_FALSE(text("v\n1\n2e0\n").data.integral);
    EXPECT_FALSE(text("v\n1\n9007199254740993\n").data.integral);
    EXPECT_FALSE(text("v;w\n1;2,5\n").data.integral);
    // Gaps do not count against it.
    EXPECT_TRUE(text("v\n1\nnan\n3\n").data.integral);
}

// Random tables, written the way a program would write them, read back
// exactly: every value, every gap, the default column and the time column.
TEST(SeriesText, RandomTablesReadBackExactly)
{
    std::mt19937_64 gen(20240611);
    const std::string separators[] = {",", "\t", " ", "  ", ";"};
    for (int round = 0; round < 300; ++round) {
        const size_t columns = 1 + gen() % 4;
        const size_t rows = 1 + gen() % 30;
        // A table of one column shows no separator, so a decimal comma
        // could not be told from a comma between cells.
        const std::string sep = separators[gen() % (columns == 1 ? 4 : 5)];
        const bool header = gen() % 2 == 0;
        const bool integers = gen() % 3 == 0;
        // Blanks cannot hold an empty cell, and a table of one column writes
        // a gap as an empty line, which is no row.
        const bool gaps = sep != " " && sep != "  " && columns > 1 && gen() % 2 == 0;
        const bool increasingFirst = gen() % 2 == 0;
        std::vector<std::vector<double>> table(rows, std::vector<double>(columns));
        // A time column on a grid of binary fractions, so that every time is exact.
        double t = std::ldexp(static_cast<double>(gen() % 2000) - 1000, -3);
        const double cadence = 0.25 * static_cast<double>(1 + gen() % 8);
        for (size_t r = 0; r < rows; ++r) {
            for (size_t c = 0; c < columns; ++c) {
                double v;
                if (integers)
                    v = static_cast<double>(static_cast<int64_t>(gen() % 200001) - 100000);
                else
                    v = std::ldexp(static_cast<double>(static_cast<int64_t>(gen() >> 11)) - 4503599627370496.0,
                                   static_cast<int>(gen() % 120) - 60);
                if (gaps && gen() % 5 == 0)
                    v = kGap;
                table[r][c] = v;
            }
            if (increasingFirst) {
                t += cadence;
                table[r][0] = t;
            }
        }
        // A first column that rises by chance would be a time column off any grid.
        if (!increasingFirst && rows > 2 && !std::isnan(table[0][0]))
            table[rows - 1][0] = table[0][0];
        std::string out;
        if (header) {
            for (size_t c = 0; c < columns; ++c)
                out += (c ? sep : "") + "col" + std::to_string(c + 1);
            out += gen() % 2 ? "\r\n" : "\n";
        }
        for (size_t r = 0; r < rows; ++r) {
            for (size_t c = 0; c < columns; ++c) {
                char cell[64] = "";
                if (!std::isnan(table[r][c]))
                    std::snprintf(cell, sizeof cell, "%.17g", table[r][c]);
                out += (c ? sep : "") + std::string(cell);
            }
            out += "\n";
            if (gen() % 10 == 0)
                out += "# a remark\n";
        }
        // The decimal comma belongs to semicolon tables.
        if (sep == ";")
            for (char& ch : out)
                if (ch == '.')
                    ch = ',';

        // What the reader should make of it.
        auto gapsOnly = [&](size_t c) {
            return std::all_of(table.begin(), table.end(), [&](const auto& row) { return std::isnan(row[c]); });
        };
        size_t chosen = columns;
        for (size_t c = columns; c-- > 0;)
            if (!gapsOnly(c)) {
                chosen = c;
                break;
            }
        SCOPED_TRACE(out);
        const SeriesReadResult r = text(out);
        if (chosen == columns) {
            EXPECT_FALSE(r.ok);
            continue;
        }
        ASSERT_TRUE(r.ok) << r.error;
        std::vector<double> want;
        for (const auto& row : table)
            want.push_back(row[chosen]);
        expectSameSeries(r.data.values, want);
        EXPECT_EQ(r.data.columnName, header ? "col" + std::to_string(chosen + 1) : std::to_string(chosen + 1));
        bool timeColumn = chosen != 0;
        for (size_t i = 0; i < rows && timeColumn; ++i)
            timeColumn = !std::isnan(table[i][0]) && (i == 0 || table[i][0] > table[i - 1][0]);
        if (timeColumn) {
            ASSERT_EQ(r.data.times.size(), rows);
            for (size_t i = 0; i < rows; ++i)
                EXPECT_EQ(r.data.times[i], table[i][0]);
        } else {
            EXPECT_TRUE(r.data.times.empty());
        }
        if (integers && !(chosen == 0 && increasingFirst)) {
            EXPECT_TRUE(r.data.integral);
        }
    }
}

// ---------------------------------------------------------------- time column

// Rows dropped from a table on a grid read back as the whole table with gaps
// where they were: the same values, the rows' own times to the last bit, the
// filled ones within the rounding of the written times.
TEST(SeriesTextTime, RowsMissingFromTheGridReadBackAsGaps)
{
    std::mt19937_64 gen(360);
    const double cadences[] = {1, 0.5, 0.1, 1.0 / 360, 60, 1.0 / 86400, 3};
    const double starts[] = {0, -3, 60000.5, 1.7e9};
    const std::string headers[] = {"time", "T [s]", "MJD", "sample", "x"};
    for (int round = 0; round < 400; ++round) {
        const double cadence = cadences[gen() % 7], start = starts[gen() % 4];
        // Every digit, or a fixed number of decimals one to three past the cadence's first.
        const int decimals = gen() % 3 ? -1 : static_cast<int>(std::ceil(-std::log10(cadence))) + 1 + gen() % 3;
        if (std::fabs(start) * 0x1p-52 > 1e-3 * cadence)
            continue;
        const std::string format = decimals < 0 ? "%.17g" : "%." + std::to_string(std::max(decimals, 0)) + "f";
        const size_t rows = 3 + gen() % 150;
        // Runs of up to four rows, or most odd rows: then more steps span two
        // cadences than one. The first two rows and the last stay.
        std::vector<bool> dropped(rows, false);
        const bool alternate = gen() % 4 == 0;
        for (size_t i = 2; i + 1 < rows; i += alternate ? 1 : 1 + gen() % 8)
            for (size_t k = alternate ? i % 2 * (gen() % 8 != 0) : gen() % 5; k > 0 && i + 1 < rows; --k)
                dropped[i++] = true;
        std::vector<double> values(rows);
        std::string whole = headers[gen() % 5] + ",v\n", holed = whole;
        for (size_t i = 0; i < rows; ++i) {
            values[i] = i > 0 && gen() % 10 == 0 ? kGap : static_cast<double>(gen() % 2001) - 1000;
            const std::string row = base::formatText(format.c_str(), start + static_cast<double>(i) * cadence) + "," +
                                    (std::isnan(values[i]) ? "" : std::to_string(values[i])) + "\n";
            whole += row;
            holed += dropped[i] ? "" : row;
        }
        SCOPED_TRACE(holed);
        const SeriesReadResult all = text(whole), some = text(holed);
        ASSERT_TRUE(all.ok) << all.error;
        ASSERT_TRUE(some.ok) << some.error;
        EXPECT_EQ(all.data.insertedGaps, 0);
        EXPECT_EQ(some.data.insertedGaps, std::count(dropped.begin(), dropped.end(), true));
        ASSERT_EQ(some.data.times.size(), rows);
        // Each written time may be half a unit of its last digit off, and each double a few units in its last place.
        const double rounding = (decimals < 0 ? 0 : std::pow(10.0, -decimals)) + 1e-6 * cadence;
        for (size_t i = 0; i < rows; ++i) {
            if (dropped[i]) {
                EXPECT_TRUE(std::isnan(some.data.values[i])) << i;
                EXPECT_NEAR(some.data.times[i], all.data.times[i], rounding + std::fabs(start) * 0x1p-50) << i;
            } else {
                EXPECT_EQ(std::isnan(some.data.values[i]), std::isnan(values[i])) << i;
                EXPECT_EQ(some.data.times[i], all.data.times[i]) << i;
            }
            if (!dropped[i] && !std::isnan(values[i])) {
                EXPECT_EQ(some.data.values[i], values[i]) << i;
            }
        }
    }
}

// One row of a table on a grid of 2 made wrong at a random place: the
// refusal names its line. A first column named as a time is refused for
// every fault; one that is not named is no time column once it stops
// rising, and refused only for steps off its grid.
TEST(SeriesTextTime, FaultsAreRefusedAtTheirLine)
{
    std::mt19937 gen(7);
    const std::string timeNames[] = {"time", "T", "Time (s)", "t [ms]", "MJD", "bjd(TDB)", "Timestamp", "sec"};
    const std::string otherNames[] = {"x", "timer", "t1", "time s", "(s)"};
    for (int round = 0; round < 300; ++round) {
        const size_t rows = 5 + gen() % 30, at = 2 + gen() % (rows - 4);
        std::vector<std::string> cells;
        for (size_t i = 0; i < rows; ++i)
            cells.push_back(std::to_string(10 + 2 * i));
        const std::string line = "ecg.csv: line " + std::to_string(at + 2);
        const std::string before = std::to_string(10 + 2 * (at - 1)), here = cells[at];
        const int fault = static_cast<int>(gen() % 6);
        std::string refusal;
        if (fault == 0) {
            std::swap(cells[at], cells[at - 1]);
            refusal = line + ": the time " + before + " comes before the time " + here + " of line " +
                      std::to_string(at + 1) + "; sort the rows, or resample first";
        } else if (fault == 1) {
            cells[at] = before;
            refusal = line + ": the time " + before + " repeats the time of line " + std::to_string(at + 1) +
                      "; keep one row per time, or resample first";
        } else if (fault == 2) {
            cells[at] += ".8";
            refusal = line +
                      ": the time steps by 2.8, not a whole multiple of the cadence 2; resample onto a regular "
                      "grid first";
        } else if (fault == 3) {
            cells[at] = "12:0" + std::to_string(at % 10);
            refusal = line + ", column 1: \"" + cells[at] +
                      "\" is not a number; the time column takes numbers (seconds, days, ...)";
        } else if (fault == 4) {
            cells[at] = "";
            refusal = line + ", column 1: the time is missing; write it, or drop the row";
        } else {
            for (size_t i = at; i < rows; ++i)
                cells[i] = std::to_string(10 + 2 * i + 200 * rows);
            refusal = line + ": the time steps by " + std::to_string(2 + 200 * rows) + ", " +
                      std::to_string(1 + 100 * rows) +
                      " times the cadence 2: the missing times would make the series " +
                      std::to_string(at + 1 + 100 * rows) + " samples long, more than 100 times the " +
                      std::to_string(rows) + " rows read; check the time column, or resample first";
        }
        const bool named = gen() % 2 == 0;
        std::string table = (named ? timeNames[gen() % 8] : otherNames[gen() % 5]) + ",v\n";
        for (size_t i = 0; i < rows; ++i)
            table += cells[i] + "," + std::to_string(i % 7) + "\n";
        SCOPED_TRACE(table);
        const SeriesReadResult r = text(table);
        if (named || fault == 2 || fault == 5) {
            EXPECT_EQ(r.error, refusal);
        } else {
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_TRUE(r.data.times.empty());
        }
    }
}

// ---------------------------------------------------------------- .npy

namespace {

SeriesReadResult npy(const std::vector<uint8_t>& file, const std::string& column = "")
{
    SeriesReadOptions o;
    o.column = column;
    return readSeriesNpy(asBytes(file), "a.npy", o);
}

}  // namespace

TEST(SeriesNpy, Int16AndFloat64RoundTrip)
{
    const std::vector<int16_t> ints = {0, 1, -1, 32767, -32768, 1234};
    SeriesReadResult r = npy(npyFile(npyDict("<i2", "(6,)"), packed(ints)));
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {0, 1, -1, 32767, -32768, 1234});
    EXPECT_TRUE(r.data.integral);
    EXPECT_TRUE(r.data.times.empty());
    EXPECT_EQ(r.data.source, "a (6,) <i2 array");

    const std::vector<double> reals = {0.1, -2.5e300, kGap, 5e-324, -0.0};
    r = npy(npyFile(npyDict("<f8", "(5,)"), packed(reals)));
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, reals);
    EXPECT_FALSE(r.data.integral);
}

// Every dtype in both byte orders, on random values it can hold.
TEST(SeriesNpy, EveryDtypeInBothByteOrders)
{
    std::mt19937_64 gen(7);
    for (bool big : {false, true}) {
        const char order = big ? '>' : '<';
        for (int round = 0; round < 20; ++round) {
            const size_t n = 1 + gen() % 40;
            std::vector<int8_t> i1;
            std::vector<uint8_t> u1;
            std::vector<int16_t> i2;
            std::vector<uint16_t> u2;
            std::vector<int32_t> i4;
            std::vector<uint32_t> u4;
            std::vector<int64_t> i8;
            std::vector<uint64_t> u8;
            std::vector<float> f4;
            std::vector<double> f8;
            for (size_t k = 0; k < n; ++k) {
                const uint64_t x = gen();
                i1.push_back(static_cast<int8_t>(x));
                u1.push_back(static_cast<uint8_t>(x));
                i2.push_back(static_cast<int16_t>(x));
                u2.push_back(static_cast<uint16_t>(x));
                i4.push_back(static_cast<int32_t>(x));
                u4.push_back(static_cast<uint32_t>(x));
                i8.push_back(static_cast<int64_t>(x) >> 11);  // within ±2^53
                u8.push_back(x >> 11);
                f4.push_back(std::bit_cast<float>(static_cast<uint32_t>(x) & 0xBF7FFFFFu));  // finite
                f8.push_back(
                    std::ldexp(static_cast<double>(static_cast<int64_t>(x) >> 11), static_cast<int>(x % 64) - 32));
            }
            // Built piece by piece: g++ 12 warns falsely about "(" + std::string.
            std::string shape = "(";
            shape += std::to_string(n);
            shape += ",)";
            auto check = [&](const std::string& kind, const std::vector<uint8_t>& data, auto values, bool integral) {
                const std::string descr = (kind.size() == 2 && kind[1] == '1' ? "|" : std::string(1, order)) + kind;
                const SeriesReadResult r = npy(npyFile(npyDict(descr, shape), data));
                ASSERT_TRUE(r.ok) << descr << ": " << r.error;
                std::vector<double> want(values.begin(), values.end());
                expectSameSeries(r.data.values, want);
                EXPECT_EQ(r.data.integral, integral) << descr;
            };
            check("i1", packed(i1, big), i1, true);
            check("u1", packed(u1, big), u1, true);
            check("i2", packed(i2, big), i2, true);
            check("u2", packed(u2, big), u2, true);
            check("i4", packed(i4, big), i4, true);
            check("u4", packed(u4, big), u4, true);
            check("i8", packed(i8, big), i8, true);
            check("u8", packed(u8, big), u8, true);
            check("f4", packed(f4, big), f4, false);
            check("f8", packed(f8, big), f8, false);
        }
    }
}

TEST(SeriesNpy, HalfFloats)
{
    // 1.0, -2.0, 65504 (the largest), 2^-24 (the smallest subnormal), NaN.
    const std::vector<uint16_t> halves = {0x3C00, 0xC000, 0x7BFF, 0x0001, 0x7E00};
    const SeriesReadResult r = npy(npyFile(npyDict("<f2", "(5,)"), packed(halves)));
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {1.0, -2.0, 65504.0, std::ldexp(1.0, -24), kGap});
}

TEST(SeriesNpy, TwoDimensionsInBothOrders)
{
    // A 4 × 3 array: element (i, j) = 10 i + j.
    std::vector<int32_t> cOrder, fOrder;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            cOrder.push_back(10 * i + j);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i)
            fOrder.push_back(10 * i + j);
    for (bool fortran : {false, true}) {
        const std::vector<uint8_t> file = npyFile(npyDict("<i4", "(4, 3)", fortran), packed(fortran ? fOrder : cOrder));
        SeriesReadResult r = npy(file);
        ASSERT_TRUE(r.ok) << r.error;
        expectSameSeries(r.data.values, {2, 12, 22, 32});
        EXPECT_EQ(r.data.columnName, "3");
        for (int j = 1; j <= 3; ++j) {
            r = npy(file, std::to_string(j));
            ASSERT_TRUE(r.ok) << r.error;
            expectSameSeries(r.data.values, {j - 1.0, 9.0 + j, 19.0 + j, 29.0 + j});
        }
        EXPECT_EQ(npy(file, "4").error, "a.npy: no column 4; the array (4, 3) has 3 columns");
        EXPECT_EQ(npy(file, "x").error, "a.npy: a .npy array's columns are chosen by number, not by \"x\"");
    }
}

TEST(SeriesNpy, HeaderVariantsNumPyHasWritten)
{
    const std::vector<uint8_t> data = packed(std::vector<int16_t>{5, 6, 7});
    // Version 2.0 and 3.0 with a 4-byte header length.
    for (int major : {2, 3}) {
        const SeriesReadResult r = npy(npyFile(npyDict("<i2", "(3,)"), data, major));
        ASSERT_TRUE(r.ok) << r.error;
        expectSameSeries(r.data.values, {5, 6, 7});
    }
    // Another key order, double quotes, Python 2's long integers, a list.
    for (const std::string dict : {"{'shape': (3,), 'fortran_order': False, 'descr': '<i2'}",
                                   "{\"descr\": \"<i2\", \"fortran_order\": False, \"shape\": (3L,)}",
                                   "{'descr':'<i2','fortran_order':True,'shape':[3]}",
                                   "{'descr': '<i2', 'fortran_order': False, 'shape': (3,), 'extra': (None, 'x')}"}) {
        const SeriesReadResult r = npy(npyFile(dict, data));
        ASSERT_TRUE(r.ok) << dict << ": " << r.error;
        expectSameSeries(r.data.values, {5, 6, 7});
    }
}

// Every cut of a good file before its last byte is refused with the place
// of the cut; none reads past the end.
TEST(SeriesNpy, EveryTruncationIsRefused)
{
    const std::vector<uint8_t> file = npyFile(npyDict("<f4", "(4,)"), packed(std::vector<float>{1, 2, 3, 4}));
    ASSERT_TRUE(npy(file).ok);
    const size_t dataStart = file.size() - 16;
    for (size_t n = 0; n < file.size(); ++n) {
        // A copy of exactly n bytes, so that the sanitizers see any read beyond.
        const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        const SeriesReadResult r = npy(cut);
        ASSERT_FALSE(r.ok) << n;
        if (n < 6)
            EXPECT_NE(r.error.find("not a .npy file"), std::string::npos) << r.error;
        else if (n < dataStart)
            EXPECT_EQ(r.error.find("a.npy: the .npy header is cut off at byte " + std::to_string(n)), 0u) << r.error;
        else
            EXPECT_EQ(r.error, "a.npy: the .npy data is cut off: 16 bytes from byte " + std::to_string(dataStart) +
                                   " needed, the file ends at byte " + std::to_string(n));
    }
}

TEST(SeriesNpy, RefusedArrays)
{
    const std::vector<uint8_t> eight(8, 0);
    EXPECT_EQ(npy(npyFile(npyDict("<c8", "(1,)"), eight)).error,
              "a.npy: dtype \"<c8\" is not read; integers (i1 to i8, u1 to u8) and floats (f2, f4, f8) are");
    EXPECT_NE(npy(npyFile(npyDict("|b1", "(8,)"), eight)).error.find("\"|b1\""), std::string::npos);
    EXPECT_NE(npy(npyFile(npyDict("<U2", "(1,)"), eight)).error.find("\"<U2\""), std::string::npos);
    EXPECT_NE(npy(npyFile(npyDict("|i2", "(4,)"), eight)).error.find("\"|i2\""), std::string::npos);
    EXPECT_EQ(npy(npyFile("{'descr': [('a', '<i4')], 'fortran_order': False, 'shape': (2,)}", eight)).error,
              "a.npy: structured .npy arrays are not read; only plain integer and float arrays");
    EXPECT_EQ(npy(npyFile(npyDict("<i2", "(0,)"), {})).error, "a.npy holds no samples");
    EXPECT_EQ(npy(npyFile(npyDict("<i2", "(3, 0)"), {})).error, "a.npy holds no samples");
    EXPECT_EQ(npy(npyFile(npyDict("<i2", "()"), {1, 0})).error, "a.npy: the array holds a single value, not a series");
    EXPECT_EQ(npy(npyFile(npyDict("<i1", "(2, 2, 2)"), eight)).error,
              "a.npy: the array has 3 dimensions (2, 2, 2); only 1-D and 2-D arrays are read");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(4294967296, 4294967296)"), eight)).error,
              "a.npy: the array's shape (4294967296, 4294967296) is too large");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(2305843009213693952,)"), eight)).error,
              "a.npy: the array's shape (2305843009213693952,) is too large");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(-1,)"), eight)).error,
              "a.npy: the .npy header's 'shape' holds something other than a size");
    EXPECT_EQ(npy(npyFile("{'descr': '<f8', 'shape': (1,)}", eight)).error,
              "a.npy: the .npy header lacks 'fortran_order'");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(1,)"), eight), "2").error,
              "a.npy: no column 2; the array (1,) has 1 column");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(1,)"), packed(std::vector<double>{kGap}))).error, "a.npy holds only gaps");
    EXPECT_EQ(npy(npyFile(npyDict("<f8", "(2,)"), packed(std::vector<double>{1, -INFINITY}))).error,
              "a.npy: element [1] is infinite");
    std::vector<uint8_t> v4 = npyFile(npyDict("<i2", "(1,)"), {1, 0});
    v4[6] = 4;
    EXPECT_EQ(npy(v4).error, "a.npy: .npy format version 4.0 is not read (versions 1.0, 2.0 and 3.0 are)");
    // A header that is not a dictionary, or not closed.
    EXPECT_NE(npy(npyFile("{'descr': '<i2', 'shape': (1,", {1, 0})).error.find("cannot be read at byte"),
              std::string::npos);
    EXPECT_NE(npy(npyFile(std::string(40, '(') + std::string(40, ')'), {})).error.find("nested too deeply"),
              std::string::npos);
}

// Each refusal of the header's literal names its byte in the file (the
// dictionary begins at byte 10 of a version 1.0 file), counted by hand.
TEST(SeriesNpy, HeaderRefusalsNameTheirByte)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[1, 2]", "a.npy: the .npy header is not a dictionary"},
        {"{'descr': '<i2', 'fortran_order': 0, 'shape': (1,)}",
         "a.npy: the .npy header's 'fortran_order' is not True or False"},
        {"{'descr': '<i2', 'fortran_order': False, 'shape': 1}", "a.npy: the .npy header's 'shape' is not a tuple"},
        {"{'descr': '<i2' 'shape': (1,)}", "a.npy: the .npy header cannot be read at byte 26: expected ',' or '}'"},
        {"(1, 2 3)", "a.npy: the .npy header cannot be read at byte 16: expected ',' or ')'"},
        {"{1: 2}", "a.npy: the .npy header cannot be read at byte 12: a key of the dictionary is not a string"},
        {"{'a' 1}", "a.npy: the .npy header cannot be read at byte 15: expected ':'"},
        {"{'shape': (-,)}", "a.npy: the .npy header cannot be read at byte 22: a sign without digits"},
        {"{'a': @}", "a.npy: the .npy header cannot be read at byte 16: unexpected character \"@\""},
        {"{} x", "a.npy: the .npy header cannot be read at byte 13: unexpected text after the header's dictionary"},
    };
    for (const auto& [dict, error] : cases)
        EXPECT_EQ(npy(npyFile(dict, {1, 0})).error, error) << dict;
}

TEST(SeriesNpy, Int64BeyondExactDoublesIsRefusedWithItsIndex)
{
    const int64_t limit = int64_t{1} << 53;
    SeriesReadResult r = npy(npyFile(npyDict("<i8", "(3,)"), packed(std::vector<int64_t>{limit, -limit, 1})));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.values[0], 9007199254740992.0);
    r = npy(npyFile(npyDict("<i8", "(3,)"), packed(std::vector<int64_t>{1, 2, -limit - 1})));
    EXPECT_EQ(r.error, "a.npy: element [2] is beyond ±2^53 and would not keep its value");
    r = npy(npyFile(npyDict(">u8", "(2, 2)"), packed(std::vector<uint64_t>{1, 2, ~uint64_t{0}, 4}, true)), "1");
    EXPECT_EQ(r.error, "a.npy: element [1, 0] is beyond ±2^53 and would not keep its value");
}

// ---------------------------------------------------------------- sound

namespace {

// Sound files made by libsndfile itself, in a scratch folder.
std::vector<uint8_t> soundFile(const ScratchDir& dir, int format, int channels, int rate,
                               const std::vector<double>& interleaved, bool asInts = false)
{
    const std::string path = dir.file("made.snd");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (!f)
        return {};
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    if (asInts) {
        std::vector<int> ints(interleaved.begin(), interleaved.end());
        EXPECT_EQ(sf_writef_int(f, ints.data(), frames), frames);
    } else {
        // Doubles go to integer files unscaled: the value is the sample.
        sf_command(f, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
        EXPECT_EQ(sf_writef_double(f, interleaved.data(), frames), frames);
    }
    sf_close(f);
    return files_test::readAll(path);
}

SeriesReadResult sound(const std::vector<uint8_t>& file, int32_t channel = 1)
{
    SeriesReadOptions o;
    o.channel = channel;
    return readSeriesSound(asBytes(file), "a.wav", o);
}

}  // namespace

TEST(SeriesSound, Pcm16SamplesKeepTheirValues)
{
    ScratchDir dir;
    const std::vector<uint8_t> wav =
        soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, {1234, -1, 32767, -32768});
    const SeriesReadResult r = sound(wav);
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {1234, -1, 32767, -32768});
    EXPECT_TRUE(r.data.integral);
    EXPECT_EQ(r.data.sampleRate, 8000);
    EXPECT_EQ(r.data.times, (std::vector<double>{0, 1 / 8000.0, 2 / 8000.0, 3 / 8000.0}));
    EXPECT_EQ(r.data.timeName, "s");
    EXPECT_EQ(r.data.source, "channel 1 of 1, 4 frames at 8000 Hz, 16-bit PCM");
}

// Integer encodings of every width, written as the top-aligned ints
// libsndfile deals in, come back as the integers they store.
TEST(SeriesSound, PcmOfEveryWidthAndFloatRoundTrip)
{
    ScratchDir dir;
    std::mt19937 gen(99);
    struct Case {
        int format;
        int bits;  // 0: float
    };
    const Case cases[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},   {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16},
                          {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},  {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32},
                          {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24}, {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0},
                          {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0}};
    for (const Case& c : cases) {
        const int channels = 2;
        std::vector<double> stored;   // what each sample holds
        std::vector<double> written;  // what goes to libsndfile
        for (int k = 0; k < 2 * 300; ++k) {
            if (c.bits > 0) {
                const int64_t lo = -(int64_t{1} << (c.bits - 1)), hi = (int64_t{1} << (c.bits - 1)) - 1;
                int64_t v =
                    k < 4 ? (k % 2 ? hi : lo) : lo + static_cast<int64_t>(gen() % static_cast<uint64_t>(hi - lo + 1));
                stored.push_back(static_cast<double>(v));
                written.push_back(static_cast<double>(v * (int64_t{1} << (32 - c.bits))));
            } else {
                const double v = std::ldexp(static_cast<double>(static_cast<int32_t>(gen())), -31) * 3.5;
                const double f = static_cast<float>(v);
                stored.push_back((c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ? f : v);
                written.push_back(v);
            }
        }
        const std::vector<uint8_t> file = soundFile(dir, c.format, channels, 44100, written, c.bits > 0);
        for (int ch = 1; ch <= channels; ++ch) {
            const SeriesReadResult r = sound(file, ch);
            ASSERT_TRUE(r.ok) << r.error;
            std::vector<double> want;
            for (size_t f = 0; f < stored.size() / 2; ++f)
                want.push_back(stored[f * 2 + static_cast<size_t>(ch - 1)]);
            SCOPED_TRACE(r.data.source);
            expectSameSeries(r.data.values, want);
            EXPECT_EQ(r.data.integral, c.bits > 0);
            EXPECT_EQ(r.data.columnName, std::to_string(ch));
        }
    }
}

TEST(SeriesSound, ChannelsAndBadFiles)
{
    ScratchDir dir;
    const std::vector<uint8_t> wav = soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1000, {1, 2, 3, 4});
    EXPECT_EQ(sound(wav, 3).error, "a.wav: no channel 3; the sound file has 2 channels");
    EXPECT_EQ(sound(wav, 0).error, "a.wav: no channel 0; the sound file has 2 channels");
    ASSERT_TRUE(sound(wav, 2).ok);
    expectSameSeries(sound(wav, 2).data.values, {2, 4});

    const std::string notSound = "time,value\n0,1\n";
    const SeriesReadResult r = sound(std::vector<uint8_t>(notSound.begin(), notSound.end()));
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error.find("a.wav: not a sound file libsndfile reads: "), 0u) << r.error;
    EXPECT_GT(r.error.size(), std::string("a.wav: not a sound file libsndfile reads: ").size());
    EXPECT_FALSE(sound({}).ok);

    // A WAV with no frames.
    EXPECT_EQ(sound(soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1000, {})).error, "a.wav holds no samples");

    // Every cut of a good WAV is refused or read, never read beyond.
    for (size_t n = 0; n < wav.size(); ++n) {
        const std::vector<uint8_t> cut(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(n));
        const SeriesReadResult c = sound(cut);
        if (c.ok) {
            EXPECT_LE(c.data.values.size(), 2u);
        }
    }
}

TEST(SeriesSound, FloatGapsAndInfinities)
{
    ScratchDir dir;
    SeriesReadResult r = sound(soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 100, {0.5, kGap, -0.25}));
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {0.5, kGap, -0.25});
    r = sound(soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 100, {0.5, INFINITY}));
    EXPECT_EQ(r.error, "a.wav: frame 1, channel 1 is infinite");
}

// ---------------------------------------------------------------- data file

namespace {

// The series the trace gives, worked out from the samples.
std::vector<double> dataFileModel(const std::vector<int16_t>& samples)
{
    const std::vector<int16_t> series = files_test::dataFileSeries(samples);
    return {series.begin(), series.end()};
}

}  // namespace

TEST(SeriesDataFile, SamplesMatchTheModel)
{
    std::mt19937 gen(5);
    for (size_t n : {25u, 26u, 49u, 50u, 1000u, 2513u}) {
        std::vector<int16_t> trace(n);
        for (int16_t& v : trace)
            v = static_cast<int16_t>(gen());
        trace[0] = INT16_MIN;  // the largest magnitude, 128
        files_test::DataFileHeaderFields f;
        f.samplRate = 1000;
        const std::vector<uint8_t> file = files_test::makeDataFile(f, trace);
        const SeriesReadResult r = readSeriesDataFile(asBytes(file), "t.dat");
        ASSERT_TRUE(r.ok) << r.error;
        expectSameSeries(r.data.values, dataFileModel(trace));
        EXPECT_TRUE(r.data.integral);
        EXPECT_EQ(r.data.sampleRate, 40);
        ASSERT_EQ(r.data.times.size(), r.data.values.size());
        EXPECT_EQ(r.data.times.back(), (r.data.values.size() - 1) / 40.0);

        const std::optional<files::DataFileHeader> h = files::parseDataFileHeader(asBytes(file));
        ASSERT_TRUE(h);
        const std::vector<int16_t> samples = files::dataFileSeriesSamples(asBytes(file), *h);
        expectSameSeries(std::vector<double>(samples.begin(), samples.end()), dataFileModel(trace));
    }
}

TEST(SeriesDataFile, RefusedFiles)
{
    const std::vector<uint8_t> header = files_test::makeDataFile({}, {});
    EXPECT_EQ(readSeriesDataFile(asBytes(std::vector<uint8_t>(header.begin(), header.begin() + 41)), "t.dat").error,
              "t.dat: Data file is shorter than its header!");
    files_test::DataFileHeaderFields f;
    f.samplNum = 100;
    EXPECT_EQ(readSeriesDataFile(asBytes(files_test::makeDataFile(f, std::vector<int16_t>(99))), "t.dat").error,
              "t.dat: Data file is shorter than its trace: 248 bytes needed, 246 present!");
    EXPECT_EQ(readSeriesDataFile(asBytes(files_test::makeDataFile({}, std::vector<int16_t>(24))), "t.dat").error,
              "t.dat holds no samples");
    f.samplRate = 0;
    f.samplNum = files_test::DataFileHeaderFields::kCountOfSamples;
    const SeriesReadResult r =
        readSeriesDataFile(asBytes(files_test::makeDataFile(f, std::vector<int16_t>(50))), "t.dat");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.sampleRate, 0);
    EXPECT_TRUE(r.data.times.empty());
}

// ---------------------------------------------------------------- files

TEST(SeriesFile, FormatIsGuessedFromContentThenExtension)
{
    ScratchDir dir;
    SeriesReadOptions o;
    // A .npy file under a text extension: its magic wins.
    const std::string npyPath = dir.file("array.txt");
    files_test::writeAll(npyPath, npyFile(npyDict("<i2", "(2,)"), packed(std::vector<int16_t>{3, 4})));
    SeriesReadResult r = readSeriesFile(npyPath, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.source, "a (2,) <i2 array");

    const std::string wavPath = dir.file("sound.csv");
    files_test::writeAll(wavPath, soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 100, {7, 8}));
    r = readSeriesFile(wavPath, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.data.sampleRate, 100);

    const std::string datPath = dir.file("trace.DAT");
    files_test::writeAll(datPath, files_test::makeDataFile({}, std::vector<int16_t>(50, 0x4000)));
    r = readSeriesFile(datPath, o);
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {64, 64});

    const std::string csvPath = dir.file("series.dat.csv");
    const std::string csv = "v\n1\n2\n";
    files_test::writeAll(csvPath, std::vector<uint8_t>(csv.begin(), csv.end()));
    r = readSeriesFile(csvPath, o);
    ASSERT_TRUE(r.ok) << r.error;
    expectSameSeries(r.data.values, {1, 2});
    // The format asked for is the one read.
    o.format = files::SeriesFormat::Npy;
    EXPECT_EQ(readSeriesFile(csvPath, o).error.find(csvPath + ": not a .npy file"), 0u);

    // A damaged WAV is shown as a sound file libsndfile refuses, not as text.
    std::vector<uint8_t> broken = files_test::readAll(wavPath);
    broken.resize(20);
    const std::string brokenPath = dir.file("broken.wav");
    files_test::writeAll(brokenPath, broken);
    o.format = files::SeriesFormat::Auto;
    EXPECT_EQ(readSeriesFile(brokenPath, o).error.find(brokenPath + ": not a sound file libsndfile reads: "), 0u);
}

TEST(SeriesFile, MissingAndOddFilesAreRefused)
{
    ScratchDir dir;
    const std::string missing = dir.file("none.csv");
    EXPECT_EQ(readSeriesFile(missing, {}).error, missing + ": No such file or directory");
    const std::string folder = dir.file("folder");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(readSeriesFile(folder, {}).error, folder + ": is a folder, not a file");
    EXPECT_EQ(readSeriesFile("/dev/null", {}).error, "/dev/null: is not a regular file");
    const std::string empty = dir.file("empty.csv");
    files_test::writeAll(empty, {});
    EXPECT_EQ(readSeriesFile(empty, {}).error, empty + " holds no samples");
}

// --column suits tables and arrays, --channel sound files, which need one
// when they have several (python/tests: the same refusals in Python's words).
TEST(SeriesFile, OptionsThatDoNotSuitTheFormatAreRefused)
{
    ScratchDir dir;
    files_test::writeAll(dir.file("a.wav"), soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1000, {1, 2, 3, 4}));
    files_test::writeAll(dir.file("m.wav"), soundFile(dir, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1000, {1, 2}));
    files_test::writeAll(dir.file("t.csv"), {'1', ',', '2', '\n'});
    files_test::writeAll(dir.file("a.npy"), npyFile(npyDict("<i2", "(1,)"), {1, 0}));
    files_test::writeAll(dir.file("t.dat"), files_test::makeDataFile({}, std::vector<int16_t>(50, 0x4000)));
    const std::string sound = " is a sound file: it has channels, not columns; leave out --column";
    const std::string table = ": it has columns, not channels; leave out --channel (--column chooses a column)";
    const std::string trace = " is a measurement data file: it holds one trace, no ";
    const struct {
        std::string file, column;
        int32_t channel;              // 0: none asked for
        std::string format, refusal;  // the refusal after the file's path
    } cases[] = {
        {"a.wav", "", 0, "sound", " has 2 channels: choose one with --channel 1..2"},
        {"a.wav", "", 2, "sound", ""},
        {"m.wav", "", 0, "sound", ""},
        {"a.wav", "1", 0, "sound", sound + " and choose a channel with --channel 1..2"},
        {"a.wav", "1", 1, "sound", sound},
        {"m.wav", "2", 0, "sound", sound},
        {"t.csv", "1", 0, "text", ""},
        {"t.csv", "", 1, "text", " is a text table" + table},
        {"a.npy", "", 1, "npy", " is a .npy array" + table},
        {"t.dat", "", 1, "datafile", trace + "channels; leave out --channel"},
        {"t.dat", "2", 0, "datafile", trace + "columns; leave out --column"},
    };
    for (const auto& c : cases) {
        SeriesReadOptions o;
        o.column = c.column;
        if (c.channel > 0)
            o.channel = c.channel;
        const std::string path = dir.file(c.file);
        const SeriesReadResult r = readSeriesFile(path, o);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(files::seriesFormatName(r.data.format), c.format) << c.file;
        const std::string cli = files::seriesChoiceRefusal(path, r.data, o, {"--column", "--channel", " "});
        EXPECT_EQ(cli, c.refusal.empty() ? "" : path + c.refusal);
    }
}
