// What `run` and `simulate` make of options they cannot honour: a series
// that cannot be made ends the run with code 1 and no fields of an earlier
// series; a simulation option that cannot be applied is refused up front
// with code 2 and one line naming it; --length shapes the simulation as the
// length typed into "Create Series" does in the window.

#include <gtest/gtest.h>

#include "command_output.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome cli(const std::string& arguments)
{
    char name[] = "/tmp/quillmore-cli-err-XXXXXX";
    if (const int fd = mkstemp(name); fd >= 0)
        close(fd);
    const CommandOutput ran = runCommandLine(std::string(QUILLMORE_CLI) + " " + arguments + " 2>" + name);
    std::ifstream in(name, std::ios::binary);
    Outcome r{ran.exitCode, ran.out, {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
    std::remove(name);
    return r;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(CliOptionChecks, ARunWhoseSeriesCannotBeMadeEndsWithCode1AndNoStaleFields)
{
    // Tmin = Tmax = T: a length admits a count exactly when the least count
    // it needs, (N + 19) / T, is not above the greatest, (N - 20 + T) / T.
    // Otherwise the fixed count is refused by the synthesis and the drawn
    // count has none to draw from; the start-up series must not show.
    int refused = 0;
    for (const long t : {20L, 31L})
        for (long length = 20; length <= 20 + 3 * t; length += 3)
            for (const char* more : {"", " --series-type unfixed --task detection", " --task processing --same 2"}) {
                const std::string options = "run --length " + std::to_string(length) + " --tmin " + std::to_string(t) +
                                            " --tmax " + std::to_string(t) + " --series 2" + more;
                SCOPED_TRACE(options);
                const bool admits = std::max((length + 19) / t, 1L) <= (length - 20 + t) / t;
                const Outcome json = cli(options + " --json");
                EXPECT_EQ(json.code, admits ? 0 : 1);
                EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), admits ? 2 : 1);
                if (admits)
                    continue;
                ++refused;
                EXPECT_EQ(json.out.rfind(R"({"series": null, "protocol": null, "detectionStudy": null, )"
                                         R"("pulseCountTable": null, "chainTotals": null, "messages": [{)",
                                         0),
                          0u)
                    << json.out;
                for (const char* field : {R"("lpPositions")", R"("lpSeriesData")", R"("rows")"})
                    EXPECT_FALSE(has(json.out, field)) << json.out;
                EXPECT_EQ(json.err, "quillmore-cli run: series 1 could not be made\n");
                const Outcome text = cli(options);
                EXPECT_EQ(text.code, 1);
                EXPECT_EQ(text.out, "== series 1\n no series\n");
            }
    EXPECT_GT(refused, 30);
}

TEST(CliOptionChecks, SimulateRefusesWhatItCannotApply)
{
    const std::string series = ", the pulse counts the simulation takes for series of ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--series 2", "--series is an option of run: simulate makes and processes each series of its grid once"},
        {"--same 1", "--same is an option of run: simulate makes and processes each series of its grid once"},
        {"--json --csv", "--csv and --json exclude each other: give one output format"},
        // 1200 samples with Tmin 30 and Tmax 120 admit 10 to 40 pulses; the
        // dialog would drop 7 and run 10 to 40 into a count the simulation refuses.
        {"--tmin 30 --tmax 120 --from 7 --to 11 --incr 2",
         "--from 7: outside 10 to 31" + series + "1200 samples with Tmin 30 and Tmax 120"},
        {"--length 600 --from 4 --to 20",
         "--to 20: outside 3 to 15" + series + "600 samples with Tmin 40 and Tmax 181"},
        {"--from 9 --to 7", "--from 9 is above --to 7: the range would hold no pulse count"},
        {"--length 75 --tmin 30 --tmax 30 --to 2",
         "--to 2: series of 75 samples with Tmin 30 and Tmax 30 admit no "
         "pulse count from 1 to 31, the counts the simulation takes"},
        // Without a range the grid would be empty and the run a silent success.
        {"--tmin 21 --tmax 21",
         "series of 1200 samples with Tmin 21 and Tmax 21 admit no pulse count from 1 to 31, "
         "the counts the simulation takes"},
        {"--noise 40",
         "--noise is an option of run: simulate takes its noise levels from --noise-from, "
         "--noise-steps and --noise-incr"},
        {"--pulses 9", "--pulses is an option of run: simulate takes its pulse counts from --from, --to and --incr"},
        {"--method 6", "--method is an option of run: the simulation's estimators follow --task and --series-type"},
        {"--more-details", "--more-details is an option of run: simulate shows no result view"},
    };
    for (const auto& [options, message] : cases) {
        const Outcome r = cli("simulate --noise-steps 1 --repeats 1 " + options);
        EXPECT_EQ(r.code, 2) << options;
        EXPECT_EQ(r.out, "") << options;
        EXPECT_EQ(r.err, "quillmore-cli simulate: " + message + "\n") << options;
    }
    // Limits past 31 with no range given: the grid holds the counts the
    // simulation takes, up to kMaxSimulationPulses (31) and none past it.
    const Outcome r = cli("simulate --tmin 30 --tmax 120 --incr 7 --noise-steps 1 --repeats 1 --csv");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("noise,10,17,24,31\n")) << r.out;
}

TEST(CliOptionChecks, TheLengthShapesTheSimulationAsTheWindowsDialogDoes)
{
    // In the window: the length typed into "Create Series", the pulse
    // counts left as " Location Parameters" offers them unless typed.
    // 3000 samples admit 16 to 75 pulses, of which the simulation takes 16 to 31.
    for (const auto& [length, from] : std::vector<std::pair<long, std::string>>{{600, ""}, {3000, ""}, {3000, "29"}}) {
        const std::string options = "--length " + std::to_string(length) +
                                    " --noise-steps 2 --noise-incr 30 "
                                    "--repeats 2" +
                                    (from.empty() ? "" : " --from " + from);
        SCOPED_TRACE(options);
        shell::AppState state;
        platform::ScriptedHost host;
        ASSERT_TRUE(shell::onCreate(state, host));
        std::vector<std::pair<int32_t, std::string>> typed = {
            {resources::EditNoiseSteps, "2"}, {resources::EditNoiseIncrement, "30"}, {resources::EditRepeatCount, "2"}};
        if (!from.empty())
            typed.emplace_back(resources::EditPulsesFrom, from);
        host.answerOk(resources::DialogCreateSeries, {{resources::EditSamplesLength, std::to_string(length)}});
        host.answerOk(resources::DialogLocationParameters, typed);
        shell::dispatchCommand(state, host, resources::IdDetectionStatisticalSimulation);
        ASSERT_TRUE(state.lpRestErrorHeader && state.lpRestErrorHeader->fReady);
        const detection::RestErrorHeader& h = *state.lpRestErrorHeader;
        EXPECT_EQ(h.wPulseValues[h.wVariousPulses - 1], 31 - 16 * (length == 600));
        std::string csv = "noise";
        for (int j = 0; j < h.wVariousPulses; ++j)
            csv += ',' + std::to_string(h.wPulseValues[j]);
        for (int i = 0; i < h.wNoiseLevels; ++i) {
            csv += '\n' + std::to_string(h.lpNoiseLevel[i]);
            for (int j = 0; j < h.wVariousPulses; ++j)
                csv += ',' + std::to_string(h.lpErrors[detection::kDetectionErrors][i][j]);
        }
        shell::onDestroy(state);
        const Outcome r = cli("simulate " + options + " --csv");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, csv + "\n");
        EXPECT_TRUE(has(cli("simulate " + options + " --json").out,
                        R"("series": {"dwSeriesSize": )" + std::to_string(length) + ","));
    }
}

// How the words of every command are read: a switch takes no value, a value
// follows its option or its '=', an option of the other command is unknown
// (simulate names run's own options even with no value after them), the
// refusals are worded alike in every command, and every number option keeps
// its bounds, the message naming them.
TEST(CliOptionChecks, WordsAreReadByTheCommandsOwnOptions)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> refused = {
        {"run", "--tmin 50 --csv", "unknown option: --csv"},
        {"run", "--csv --tmin 50", "unknown option: --csv"},
        {"run", "--repeats 3", "unknown option: --repeats"},
        {"run", "--bogus --json", "unknown option: --bogus"},
        {"run", "--json --tmin", "--tmin needs a value"},
        {"run", "--json=yes", "--json takes no value"},
        {"run", "--tmin=0", "--tmin must be a whole number from 1 to 32767, got '0'"},
        {"run", "stray", "unknown option: stray"},
        {"alphabet", "--csv", "unknown option: --csv"},
        {"merge", "--tsv a.json", "unknown option: --tsv"},
        {"run", "--size 640x480", "--size needs --render FILE.png, the picture it sizes"},
        {"simulate", "--size 640x480", "--size needs --plot FILE.png, the picture it sizes"},
        {"simulate", "--size", "--size needs a value"},
        {"simulate", "--render", "--render is an option of run: simulate draws no window picture"},
        {"simulate", "--csv --progress --series",
         "--series is an option of run: simulate makes and processes each "
         "series of its grid once"},
        {"simulate", "--task x", "--task must be joint, detection or processing, got 'x'"},
        {"simulate", "--method",
         "--method is an option of run: the simulation's estimators follow --task and "
         "--series-type"},
        {"run", "--method 3", "--method must be 0, 1, 2 or 6, got '3'"},
        {"run", "--etalons 3,,4", "--etalons must be a list of etalon numbers such as 3,7,12, got '3,,4'"},
        {"simulate", "--shard 2/1",
         "--shard must be K/N, shard K (counted from 1) of N, 1 <= K <= N <= 100000, such "
         "as 3/8, got '2/1'"},
        {"simulate", "--out '' --shard 1/2", "--out needs the name of the part file to write"},
    };
    for (const auto& [command, options, message] : refused) {
        const Outcome r = cli(command + " " + options);
        EXPECT_EQ(r.code, 2) << options;
        EXPECT_EQ(r.err, "quillmore-cli " + command + ": " + message + "\n") << command << " " << options;
    }

    struct Bound {
        const char* command;
        const char* name;
        long low, high;
    };
    static constexpr Bound bounds[] = {
        {"run", "--length", 1, 32767},          {"run", "--noise", 0, 10900},
        {"run", "--pulses", 1, 32767},          {"run", "--tmin", 1, 32767},
        {"simulate", "--tmax", 1, 32767},       {"run", "--energy", 0, 100},
        {"run", "--series", 1, 100000},         {"run", "--same", 0, 100000},
        {"simulate", "--from", 1, 31},          {"simulate", "--to", 1, 31},
        {"simulate", "--incr", 0, 31},          {"simulate", "--noise-from", 0, 10900},
        {"simulate", "--noise-steps", 1, 1000}, {"simulate", "--noise-incr", 0, 10900},
        {"simulate", "--repeats", 1, 32767},    {"simulate", "--threads", 1, 1024},
    };
    for (const Bound& b : bounds)
        for (const long outside : {b.low - 1, b.high + 1}) {
            const Outcome r = cli(std::string(b.command) + " " + b.name + " " + std::to_string(outside));
            EXPECT_EQ(r.err, "quillmore-cli " + std::string(b.command) + ": " + b.name +
                                 " must be a whole number from " + std::to_string(b.low) + " to " +
                                 std::to_string(b.high) + ", got '" + std::to_string(outside) + "'\n");
        }
}
