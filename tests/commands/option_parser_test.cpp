// The option reader every command shares, against models: the number reader
// against a digit-by-digit reading with exact bounds, `--name=value` against
// `--name value` on generated word lists of every command's tables, and the
// refusals worded alike.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "commands/detect_options.h"
#include "commands/option_parser.h"
#include "commands/search_options.h"
#include "commands/workbench_session.h"

namespace {

// The model: an optional sign, then 1 to 40 digits, read with 128-bit room,
// nothing else.
bool modelWholeNumber(const std::string& t, int64_t low, int64_t high, int64_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    if (i == t.size())
        return false;
    __extension__ typedef __int128 Wide;
    Wide n = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        n = n * 10 + (t[i] - '0');
        if (n > (static_cast<Wide>(1) << 80))
            return false;
    }
    if (negative)
        n = -n;
    if (n < low || n > high)
        return false;
    value = static_cast<int64_t>(n);
    return true;
}

TEST(OptionParser, WholeNumbersAgreeWithTheDigitModel)
{
    std::mt19937_64 rng(20261208);
    const std::string alphabet = "0123456789+- x.e";
    const std::vector<std::string> edges = {"9223372036854775807",
                                            "9223372036854775808",
                                            "-9223372036854775808",
                                            "-9223372036854775809",
                                            "+0",
                                            "-0",
                                            "+-5",
                                            "-+5",
                                            "",
                                            "+",
                                            "-",
                                            "007",
                                            " 5",
                                            "5 ",
                                            "1e3"};
    std::vector<std::string> texts = edges;
    for (int k = 0; k < 20000; ++k) {
        std::string t;
        const size_t length = rng() % 22;
        for (size_t i = 0; i < length; ++i)
            t += rng() % 8 ? alphabet[rng() % 10] : alphabet[rng() % alphabet.size()];
        texts.push_back(t);
    }
    const std::pair<int64_t, int64_t> ranges[] = {{INT64_MIN, INT64_MAX}, {1, 32767}, {0, 6}, {-5, 5}};
    for (const std::string& t : texts)
        for (const auto& [low, high] : ranges) {
            int64_t got = 7, want = 7;
            const bool ok = commands::wholeNumber(t, low, high, got);
            ASSERT_EQ(ok, modelWholeNumber(t, low, high, want)) << "'" << t << "' in " << low << ".." << high;
            if (ok)
                ASSERT_EQ(got, want) << t;
            else
                ASSERT_EQ(got, 7) << "a refused text leaves the value alone: " << t;
        }
}

TEST(OptionParser, PictureSizesKeepTheirBounds)
{
    for (int w = 300; w <= 340; ++w)
        for (int h : {239, 240, 8192, 8193}) {
            int32_t width = 0, height = 0;
            const bool ok = commands::pictureSize(std::to_string(w) + "x" + std::to_string(h), width, height);
            EXPECT_EQ(ok, w >= 320 && h >= 240 && h <= 8192) << w << "x" << h;
            if (ok) {
                EXPECT_EQ(std::make_pair(width, height), std::make_pair(w, h));
            }
        }
    for (const char* bad : {"", "x", "640", "640x", "x480", "640x480x2", "640X480", "640x 480", "0x0"}) {
        int32_t width = 1, height = 1;
        EXPECT_FALSE(commands::pictureSize(bad, width, height)) << bad;
    }
}

// Generated word lists of detect and of simulate, each option written either
// way: both spellings read the same options or the same refusal.
TEST(OptionParser, EqualsSignSpellingReadsAsTheSeparateValue)
{
    std::mt19937 rng(7);
    const std::vector<std::pair<std::string, std::vector<std::string>>> detectWords = {
        {"--pulses", {"3", "0", "x", "2147483648"}},
        {"--tmin", {"5", "-1", "40"}},
        {"--tmax", {"9", "400", "2"}},
        {"--pulse-length", {"4", "0"}},
        {"--score", {"energy", "correlation", "x"}},
        {"--box", {"3", "1000001"}},
        {"--detrend", {"none", "median", "30", "0"}},
        {"--scale", {"auto", "0.5", "-1", "nan"}},
        {"--noise", {"0", "12", "3037000500"}},
        {"--method", {"0", "6", "7"}},
        {"--plot", {"p.png", ""}},
        {"--size", {"640x480", "10x10"}},
        {"--column", {"2", "mV"}},
        {"--channel", {"1", "0"}},
        {"--format", {"text", "npy", "wav"}}};
    const std::vector<std::pair<std::string, std::vector<std::string>>> simulateWords = {
        {"--from", {"6", "0", "32"}},   {"--to", {"9", "31"}},      {"--incr", {"1", "-1"}},
        {"--noise-steps", {"3", "0"}},  {"--repeats", {"2", "x"}},  {"--threads", {"2", "1025"}},
        {"--task", {"joint", "x"}},     {"--length", {"600", "0"}}, {"--etalons", {"3,7", "3,,7"}},
        {"--series-type", {"unfixed"}}, {"--tmin", {"30", "0"}},    {"--noise", {"5"}}};
    const std::vector<std::string> switches = {"--json", "--csv", "--unknown", "--invert", "--progress"};
    for (int k = 0; k < 3000; ++k) {
        const bool detect = k % 2 == 0;
        const auto& table = detect ? detectWords : simulateWords;
        std::vector<std::string> apart, joined;
        if (detect) {
            apart.push_back("series.csv");
            joined.push_back("series.csv");
        }
        const int count = static_cast<int>(rng() % 6);
        for (int i = 0; i < count; ++i) {
            if (rng() % 5 == 0) {
                const std::string& s = switches[rng() % switches.size()];
                apart.push_back(s);
                joined.push_back(s);
                continue;
            }
            const auto& [name, values] = table[rng() % table.size()];
            const std::string& value = values[rng() % values.size()];
            apart.push_back(name);
            apart.push_back(value);
            joined.push_back(name + "=" + value);
        }
        std::string errorApart, errorJoined;
        if (detect) {
            commands::DetectOptions a, b;
            const bool okA = commands::parseDetectOptions(apart, a, errorApart);
            const bool okB = commands::parseDetectOptions(joined, b, errorJoined);
            ASSERT_EQ(okA, okB) << errorApart << " / " << errorJoined;
            ASSERT_EQ(errorApart, errorJoined);
            if (okA) {
                EXPECT_EQ(a.pulses, b.pulses);
                EXPECT_EQ(a.tmin, b.tmin);
                EXPECT_EQ(a.tmax, b.tmax);
                EXPECT_EQ(a.method, b.method);
                EXPECT_EQ(a.score, b.score);
                EXPECT_EQ(a.plot, b.plot);
                EXPECT_EQ(a.plotWidth, b.plotWidth);
                EXPECT_EQ(a.prepare.scale, b.prepare.scale);
                EXPECT_EQ(a.read.column, b.read.column);
            }
        } else {
            commands::RunOptions runA, runB;
            commands::SimulateOptions simA, simB;
            const bool okA = commands::parseRunOptions(apart, runA, &simA, errorApart);
            const bool okB = commands::parseRunOptions(joined, runB, &simB, errorJoined);
            ASSERT_EQ(okA, okB) << errorApart << " / " << errorJoined;
            ASSERT_EQ(errorApart, errorJoined);
            if (okA) {
                EXPECT_EQ(commands::simulationOptionWords(runA, simA), commands::simulationOptionWords(runB, simB));
            }
        }
    }
}

// The refusals of the shared reader, worded alike whichever command reads.
TEST(OptionParser, RefusalsAreWordedAlikeInEveryCommand)
{
    auto detectError = [](std::vector<std::string> words) {
        commands::DetectOptions o;
        std::string error;
        EXPECT_FALSE(commands::parseDetectOptions(words, o, error));
        return error;
    };
    auto runError = [](std::vector<std::string> words, bool simulate) {
        commands::RunOptions run;
        commands::SimulateOptions sim;
        std::string error;
        EXPECT_FALSE(commands::parseRunOptions(words, run, simulate ? &sim : nullptr, error));
        return error;
    };
    for (const bool simulate : {false, true}) {
        EXPECT_EQ(runError({"--bogus"}, simulate), "unknown option: --bogus");
        EXPECT_EQ(runError({"--bogus=1"}, simulate), "unknown option: --bogus");
        EXPECT_EQ(runError({"--tmin"}, simulate), "--tmin needs a value");
        EXPECT_EQ(runError({"--json=1"}, simulate), "--json takes no value");
    }
    EXPECT_EQ(runError({"--noise=5"}, true),
              "--noise is an option of run: simulate takes its noise levels from --noise-from, --noise-steps and "
              "--noise-incr");
    EXPECT_EQ(detectError({"x.csv", "--bogus"}), "unknown option: --bogus");
    EXPECT_EQ(detectError({"x.csv", "--tmin"}), "--tmin needs a value");
    EXPECT_EQ(detectError({"x.csv", "--unknown=yes"}), "--unknown takes no value");
    EXPECT_EQ(detectError({"x.csv", "--size=1x1"}),
              "--size must be WxH, from 320x240 to 8192x8192, such as 1280x800, got '1x1'");
    // A value that starts like an option is still the option's value.
    commands::DetectOptions o;
    std::string error;
    ASSERT_TRUE(commands::parseDetectOptions(
        {"-", "--unknown", "--tmin", "5", "--tmax", "9", "--column", "--x", "--pulse-length=3"}, o, error))
        << error;
    EXPECT_EQ(o.read.column, "--x");
    EXPECT_EQ(o.file, "-");
    EXPECT_EQ(o.pulseLength, 3);
}

// search's words: --box takes its width only as =W or as a following whole
// number (never the file name after it); the ranges and lists of the grid
// expand as written; one --tmax serves every --tmin.
TEST(OptionParser, SearchGridWordsAndTheOptionalBoxWidth)
{
    auto parsed = [](std::vector<std::string> words) {
        commands::SearchOptions o;
        std::string error;
        EXPECT_TRUE(commands::parseSearchOptions(words, o, error)) << error;
        return o;
    };
    for (const auto& words :
         std::vector<std::vector<std::string>>{{"--box", "f.csv", "--tmin", "4", "--tmax", "9", "--pulse-length", "5"},
                                               {"f.csv", "--tmin=4", "--tmax", "9", "--pulse-length", "5", "--box"}}) {
        const commands::SearchOptions o = parsed(words);
        EXPECT_TRUE(o.box);
        EXPECT_FALSE(o.boxWidth);
        EXPECT_EQ(o.file, "f.csv");
    }
    for (const auto& words :
         std::vector<std::vector<std::string>>{{"f.csv", "--box", "7", "--tmin", "4", "--tmax", "9"},
                                               {"--box=7", "f.csv", "--tmin", "4", "--tmax", "9"}}) {
        const commands::SearchOptions o = parsed(words);
        EXPECT_EQ(o.boxWidth, 7);
        EXPECT_EQ(o.file, "f.csv");
    }
    commands::SearchOptions o =
        parsed({"-", "--period", "99.5:100.7:0.3", "--window=0.25", "--pulse-length", "10:23:4", "--score", "energy"});
    EXPECT_EQ(o.pulseLengths, (std::vector<int32_t>{10, 14, 18, 22}));
    std::vector<detection::SearchPoint> layouts;
    std::string error;
    ASSERT_TRUE(commands::gridLayouts(o, layouts, error)) << error;
    ASSERT_EQ(layouts.size(), 5u);  // 99.5, 99.8, 100.1, 100.4, 100.7
    EXPECT_EQ(layouts[4].period, 100.7);
    EXPECT_EQ(layouts[4].Tmin, 75);   // 100.7 x 0.75 = 75.525
    EXPECT_EQ(layouts[4].Tmax, 126);  // 100.7 x 1.25 = 125.875
    o = parsed({"-", "--tmin", "40,60,80", "--tmax", "120", "--pulse-length", "5,9"});
    ASSERT_TRUE(commands::gridLayouts(o, layouts, error)) << error;
    ASSERT_EQ(layouts.size(), 3u);
    EXPECT_EQ((std::vector<int32_t>{layouts[0].Tmin, layouts[2].Tmin, layouts[2].Tmax}),
              (std::vector<int32_t>{40, 80, 120}));
    EXPECT_TRUE(std::isnan(layouts[1].period));
}

}  // namespace
