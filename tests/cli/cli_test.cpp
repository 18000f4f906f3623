// quillmore-cli as a script sees it: its output formats and exit codes.

#include <gtest/gtest.h>

#include "command_output.h"

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Result = CommandOutput;

// Runs the tool with the arguments; standard error is kept apart (2>file).
Result run(const std::string& arguments, bool mergeErrors = false) { return runCli(arguments, mergeErrors); }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return result;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(Cli, AlphabetJsonHoldsTheEtalons)
{
    const Result r = run("alphabet --json");
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, R"("letter": "c", "number": 3, "energy": 72834, "samples": [12, 24, 36, 47)"));
    EXPECT_TRUE(has(r.out, R"("letter": "k", "number": 11)"));
}

TEST(Cli, RunPrintsOneJsonObjectPerSeries)
{
    const Result r = run("run --task joint --series 3 --json");
    ASSERT_EQ(r.exitCode, 0);
    const std::vector<std::string> objects = lines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    for (const std::string& o : objects) {
        EXPECT_EQ(o.rfind(R"({"series": {"dwSeriesSize": 1200,)", 0), 0u);
        for (const char* key : {R"("protocol": {"wTask": 8)", R"("lpTaskName": "joint detection and estimation")",
                                R"("rows": [{"method": "def")", R"("detectionStudy": null)",
                                R"("pulseCountTable": null)", R"("chainTotals": null)", R"("messages": [])",
                                R"("state": {"taskType": 8, "seriesType": 1, "seriesPulseCount": 18)",
                                R"("lpFoundPositions": [)", R"("lpSeriesData": [)"})
            EXPECT_TRUE(has(o, key)) << key;
        EXPECT_EQ(o.back(), '}');
    }
    EXPECT_NE(objects[0], objects[1]) << "every series is new";
}

TEST(Cli, RunAppliesItsOptions)
{
    const Result r =
        run("run --series-type unfixed --task detection --etalons 3,7 --length 600 --noise 10 "
            "--method 1 --json");
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, R"("taskType": 32, "seriesType": 4)"));
    EXPECT_TRUE(has(r.out, R"("dwSeriesSize": 600)"));
    EXPECT_TRUE(has(r.out, R"("wNoiseLevel": 10)"));
    EXPECT_TRUE(has(r.out, R"("detectionMethod": 1)"));
    EXPECT_TRUE(has(r.out, R"("chainTotals": [)"));
    EXPECT_TRUE(has(r.out, R"("pulseCountTable": {"configured": )"));
    EXPECT_TRUE(has(r.out, R"("method": "pas")")) << "the detection row";
    EXPECT_TRUE(has(r.out, R"("caption": " study01_UnFixedPulseDetection ")")) << "the detection trace is a message";

    // The same options give the same series: everything comes from fixed seeds.
    EXPECT_EQ(
        run("run --series-type unfixed --task detection --etalons 3,7 --length 600 --noise 10 --method 1 --json").out,
        r.out);
}

TEST(Cli, TextOutputWordsTheResultLikeTheView)
{
    const Result r = run("run --same 1");
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, " joint detection and estimation for series with known number of whole pulses "));
    EXPECT_TRUE(has(r.out, " series length 1200, Tmin=40, Tmax=181,  amplitude 128, noise level 25, N/S"));
    EXPECT_TRUE(has(r.out, " pulses number 18 [6-30], length 20"));
    EXPECT_TRUE(has(r.out, "method") && has(r.out, " pulses position"));
    EXPECT_TRUE(has(r.out, " def "));
}

TEST(Cli, SimulateWritesTheErrorMatrix)
{
    const Result csv = run("simulate --from 6 --to 8 --noise-steps 3 --repeats 5 --csv");
    ASSERT_EQ(csv.exitCode, 0);
    const std::vector<std::string> rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "noise,6,7,8");
    EXPECT_EQ(rows[1].rfind("0,", 0), 0u);
    EXPECT_EQ(rows[2].rfind("5,", 0), 0u);

    const Result json =
        run("simulate --from 6 --to 7 --noise-from 100 --noise-steps 2 --noise-incr 100 --repeats 3 --json");
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_TRUE(has(json.out, R"({"wPulseValues": [6, 7], "lpNoiseLevel": [100, 200], "repeats": 3, "errors": [[)"));
    EXPECT_TRUE(has(json.out, R"("series": {"dwSeriesSize": 1200)"));
}

TEST(Cli, BadOptionsEndWithCode2AndNameTheOption)
{
    for (const char* args :
         {"run --length abc", "run --tmin 0", "run --method 3", "run --task nothing", "run --etalons 3,7",
          "run --etalons 0", "run --bogus 1", "simulate --from 40", "run --tmin 200", "nonsense"}) {
        SCOPED_TRACE(args);
        const Result r = run(args, true);
        EXPECT_EQ(r.exitCode, 2);
        const std::string option = std::string(args).substr(std::string(args).find(' ') + 1);
        EXPECT_TRUE(has(r.out, option.substr(0, option.find(' '))) || has(r.out, "unknown command")) << r.out;
    }
    EXPECT_EQ(run("help").exitCode, 0);
}
