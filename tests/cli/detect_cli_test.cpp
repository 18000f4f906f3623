// quillmore-cli detect on files: a series made by `run` and written as CSV,
// .npy (int16 and float64) and WAV gives back the positions `run` found; bad
// files and bad options end with their exit codes and messages.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "command_output.h"
#include "files/png_image.h"
#include "tests/files/files_test_support.h"

namespace {

using Result = CommandOutput;

Result run(const std::string& arguments, bool mergeErrors = false) { return runCli(arguments, mergeErrors); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The integers of the array that follows `"key": [` from `from` on.
std::vector<int64_t> intArray(const std::string& json, const std::string& key, size_t from = 0)
{
    std::vector<int64_t> values;
    const size_t at = json.find("\"" + key + "\": [", from);
    if (at == std::string::npos)
        return values;
    size_t i = json.find('[', at) + 1;
    while (i < json.size() && json[i] != ']') {
        char* end = nullptr;
        values.push_back(std::strtoll(json.c_str() + i, &end, 10));
        i = static_cast<size_t>(end - json.c_str());
        while (i < json.size() && (json[i] == ',' || json[i] == ' '))
            ++i;
    }
    return values;
}

int64_t intField(const std::string& json, const std::string& key)
{
    const size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? -1 : std::strtoll(json.c_str() + at + key.size() + 4, nullptr, 10);
}

// The positions of the protocol row with this method label.
std::vector<int64_t> rowPositions(const std::string& json, const std::string& method)
{
    const size_t at = json.find("\"method\": \"" + method + "\"");
    return at == std::string::npos ? std::vector<int64_t>{} : intArray(json, "positions", at);
}

// A .npy file of the values as int16 ("<i2") or float64 ("<f8").
std::vector<uint8_t> npy(const std::string& descr, const std::vector<int64_t>& x)
{
    std::vector<uint8_t> data;
    for (int64_t v : x) {
        if (descr == "<i2")
            files_test::putValue(data, static_cast<int16_t>(v), false);
        else
            files_test::putValue(data, static_cast<double>(v), false);
    }
    std::string shape = "(";  // piece by piece: g++ 12 warns falsely about "(" + std::string
    shape += std::to_string(x.size());
    shape += ",)";
    return files_test::npyFile(files_test::npyDict(descr, shape), data);
}

}  // namespace

// The workbench's own series, written to a file by the user and read back:
// with the samples kept as they are, detect runs the same programmes in 64
// bits and must find what run found in 32 (no sum here comes near a wrap).
TEST(DetectCli, SeriesWrittenByRunGiveBackRunsPositions)
{
    files_test::ScratchDir folder;
    const char* settings[] = {
        "--task joint --series-type fixed",
        "--task joint --series-type fixed --length 600 --noise 60 --series 2",
        "--task joint --series-type fixed --length 200 --tmin 30 --tmax 90 --pulses 3 --noise 40",
        "--task joint --series-type fixed --etalons 3 --length 300 --tmin 25 --tmax 120 --pulses 4 --noise 35",
        "--task joint --series-type fixed --etalons 7 --length 1800 --noise 80 --energy 70",
    };
    int compared = 0;
    for (const char* s : settings) {
        const Result made = run(std::string("run --json ") + s);
        ASSERT_EQ(made.exitCode, 0) << s;
        // With --series 2 the last line is the series compared.
        const std::string json = made.out.substr(made.out.rfind("{\"series\""));
        const std::vector<int64_t> x = intArray(json, "lpSeriesData");
        ASSERT_EQ(static_cast<int64_t>(x.size()), intField(json, "dwSeriesSize")) << s;
        const int64_t K = intField(json, "wImpulseQuantity");
        const std::string layout = " --pulses " + std::to_string(K) + " --tmin " +
                                   std::to_string(intField(json, "wTmin")) + " --tmax " +
                                   std::to_string(intField(json, "wTmax")) + " --pulse-length " +
                                   std::to_string(intField(json, "wImpulseSize")) + " --detrend none --json";

        std::string csv = "sample,value\n";
        for (size_t i = 0; i < x.size(); ++i)
            csv += std::to_string(i) + "," + std::to_string(x[i]) + "\n";
        std::ofstream(folder.file("series.csv")) << csv;
        files_test::writeAll(folder.file("series16.npy"), npy("<i2", x));
        files_test::writeAll(folder.file("series64.npy"), npy("<f8", x));
        files_test::writeAll(folder.file("series.wav"), files_test::wav16(x, 8000));
        const std::vector<std::string> files = {"series.csv", "series16.npy", "series64.npy --scale 1", "series.wav"};
        for (const std::string& f : files) {
            const Result found = run("detect " + folder.file(f) + layout);
            ASSERT_EQ(found.exitCode, 0) << s << " " << f;
            for (const char* method : {"pre", "est", "exh"}) {
                const std::vector<int64_t> expected = rowPositions(json, method);
                EXPECT_EQ(rowPositions(found.out, method), expected) << s << " " << f << " " << method;
                compared += expected.empty() ? 0 : 1;
            }
        }
    }
    EXPECT_GE(compared, 40);
}

TEST(DetectCli, TimesFromTheFirstColumnAndFromTheSampleRate)
{
    files_test::ScratchDir folder;
    std::vector<int64_t> x(400, 0);
    for (int p : {50, 170, 290})
        for (int i = 0; i < 10; ++i)
            x[p + i] = 1000;
    std::string csv = "# made by hand\ntime,volts\n";
    for (size_t i = 0; i < x.size(); ++i)
        csv += std::to_string(0.5 * static_cast<double>(i)) + "," + std::to_string(x[i]) + "\n";
    std::ofstream(folder.file("t.csv")) << csv;
    const Result text = run("detect " + folder.file("t.csv") + " --pulses 3 --tmin 100 --tmax 140 --pulse-length 10");
    ASSERT_EQ(text.exitCode, 0) << text.out;
    // Start, end, centre, their times, the amplitude in volts; no noise, so
    // no signal-to-noise ratio.
    EXPECT_TRUE(has(text.out, "  pulse  start  end  centre  time  centre time  amplitude  score  snr\n")) << text.out;
    EXPECT_TRUE(has(text.out, "      1     50  59  54.5  25  27.25  1000  10000000  0.000\n")) << text.out;
    EXPECT_TRUE(has(text.out, "      3    290  299  294.5  145  147.25  1000  10000000  0.000\n")) << text.out;

    files_test::writeAll(folder.file("t.wav"), files_test::wav16(x, 100));
    const Result csvOut =
        run("detect " + folder.file("t.wav") + " --pulses 3 --tmin 100 --tmax 140 --pulse-length 10 --csv");
    ASSERT_EQ(csvOut.exitCode, 0);
    EXPECT_EQ(csvOut.out,
              "pulse,start,end,centre,time,centre_time,amplitude,score,snr\n"
              "1,50,59,54.5,0.5,0.545,1000,10000000,0\n2,170,179,174.5,1.7,1.745,1000,10000000,0\n"
              "3,290,299,294.5,2.9,2.945,1000,10000000,0\n");
    // Without a time the time columns stay empty; JSON says null, true and
    // false, and numbers as their shortest text.
    const Result plain =
        run("detect " + folder.file("t.wav") + " --pulses 3 --tmin 100 --tmax 140 --pulse-length 10 --json");
    EXPECT_TRUE(has(plain.out, R"("sampleRate": 100, )")) << plain.out;
    EXPECT_TRUE(has(plain.out, R"("inverted": false, )")) << plain.out;
    EXPECT_TRUE(has(plain.out, R"("cancelled": false, )")) << plain.out;
    EXPECT_TRUE(has(
        plain.out,
        R"({"pulse": 1, "start": 50, "end": 59, "centre": 54.5, "time": 0.5, "centreTime": 0.545, "amplitude": 1000, "score": 10000000, "snr": 0})"))
        << plain.out;
    std::string values;
    for (const int64_t v : x)
        values += std::to_string(v) + "\n";
    std::ofstream(folder.file("v.csv")) << values;
    const Result noTime =
        run("detect " + folder.file("v.csv") + " --pulses 3 --tmin 100 --tmax 140 --pulse-length 10 --csv");
    EXPECT_TRUE(has(noTime.out, "\n1,50,59,54.5,,,1000,10000000,0\n")) << noTime.out;
    const Result noTimeJson =
        run("detect " + folder.file("v.csv") + " --pulses 3 --tmin 100 --tmax 140 --pulse-length 10 --json");
    EXPECT_TRUE(has(noTimeJson.out, R"("sampleRate": null, )")) << noTimeJson.out;
    EXPECT_TRUE(has(noTimeJson.out, R"("time": null, "centreTime": null, )")) << noTimeJson.out;
}

TEST(DetectCli, BadFilesAndBadOptionsEndWithTheirCodes)
{
    files_test::ScratchDir folder;
    std::ofstream(folder.file("bad.csv")) << "a,b\n1,2\n3,x7\n";
    Result r =
        run("detect " + folder.file("bad.csv") + " --column b --pulses 1 --tmin 1 --tmax 2 --pulse-length 1", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "line 3, column 2")) << r.out;

    std::string csv;
    for (int i = 0; i < 100; ++i)
        csv += std::to_string(i % 7) + "\n";
    std::ofstream(folder.file("ok.csv")) << csv;
    const std::string ok = "detect " + folder.file("ok.csv");
    r = run(ok + " --pulses 2 --tmin 30 --tmax 20 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--tmin (30) is above --tmax (20)")) << r.out;
    r = run(ok + " --pulses 40 --tmin 10 --tmax 20 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "cannot hold 40 pulses")) << r.out;
    r = run(ok + " --pulses 2 --tmin 10 --tmax 200 --pulse-length 101", true);
    EXPECT_EQ(r.exitCode, 1);  // the series is too short for its layout
    EXPECT_TRUE(has(r.out, "longer than the series")) << r.out;
    // Options that would be passed over without a word.
    r = run(ok + " --pulses 2 --tmin 10 --tmax 60 --box 5", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--box is a template: it applies with --score correlation only")) << r.out;
    r = run(ok + " --method 0 --tmin 10 --tmax 60 --pulse-length 5 --noise 3", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--noise: a noise level applies to blind detection methods 1 and 6 only")) << r.out;
    r = run(ok + " --pulses 2 --tmin 10 --tmax 60 --pulse-length 5 --plot x.jpg", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "give a name ending in .png")) << r.out;
    // Series that cannot give an answer: constant, a single sample, and two
    // huge outliers that leave the rest without resolution.
    std::string flat;
    for (int i = 0; i < 50; ++i)
        flat += "7\n";
    std::ofstream(folder.file("flat.csv")) << flat;
    r = run("detect " + folder.file("flat.csv") + " --pulses 2 --tmin 10 --tmax 30 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "has no variation after preparation")) << r.out;
    std::ofstream(folder.file("one.csv")) << "3.5\n";
    r = run("detect " + folder.file("one.csv") + " --pulses 1 --tmin 1 --tmax 1 --pulse-length 1", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "has no variation after preparation")) << r.out;
    std::string outliers = "1e308\n";
    for (int i = 0; i < 200; ++i)
        outliers += std::to_string((i * 37) % 11 - 5) + ".5\n";
    outliers += "-1e308\n";
    std::ofstream(folder.file("outliers.csv")) << outliers;
    r = run("detect " + folder.file("outliers.csv") + " --pulses 3 --tmin 20 --tmax 90 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "a few samples (0, 201, up to 1e+308 after preparation) are far larger than the rest"))
        << r.out;
    r = run(ok + " --tmin 10 --tmax 20 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 2);
    r = run(ok + " --pulses 2 --tmin 10 --tmax 60 --score correlation", true);
    EXPECT_EQ(r.exitCode, 2);
    r = run(ok + " --pulses 2 --tmin 10 --tmax 60 --pulse-length 5 --column 3", true);
    EXPECT_EQ(r.exitCode, 1);
    r = run("detect " + folder.file("missing.csv") + " --pulses 2 --tmin 10 --tmax 60 --pulse-length 5", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "missing.csv")) << r.out;
}

TEST(DetectCli, PlotIsAPictureOfTheAskedSize)
{
    files_test::ScratchDir folder;
    std::string csv;
    for (int i = 0; i < 3000; ++i)
        csv += std::to_string((i % 300) < 12 ? 900 : (i * 7919) % 61 - 30) + "\n";
    std::ofstream(folder.file("s.csv")) << csv;
    const std::string png = folder.file("s.png");
    const Result r = run("detect " + folder.file("s.csv") +
                         " --method 2 --tmin 200 --tmax 400 --pulse-length 12 --plot " + png + " --size 900x500");
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, "found 10 pulses")) << r.out;
    platform::Bitmap picture;
    std::string error;
    ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
    EXPECT_EQ(picture.width, 900);
    EXPECT_EQ(picture.height, 500);
}

// The matched filter's counts on the command line: the counts CSV holds the
// JSON's figures with the chosen count marked, --significance adds the
// false-alarm probability on its 1/(N+1) grid, and the options that serve
// only the matched filter or the surrogates are refused elsewhere.
TEST(DetectCli, MatchedFilterCountsAndSignificance)
{
    files_test::ScratchDir folder;
    std::string csv;
    uint32_t state = 12345;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245u + 12345u;
        const int noise = static_cast<int>((state >> 16) % 201) - 100;
        csv += std::to_string(noise - (i % 97 < 10 ? 150 : 0)) + "\n";  // a dip of 10 samples every 97
    }
    std::ofstream(folder.file("dips.csv")) << csv;
    const std::string base = "detect " + folder.file("dips.csv") +
                             " --invert --unknown --score correlation --box 10 "
                             "--tmin 80 --tmax 120 --null-series 3";
    const Result json = run(base + " --json --significance 9 --seed 3 --counts-csv " + folder.file("counts.csv"));
    ASSERT_EQ(json.exitCode, 0) << json.out;
    EXPECT_EQ(intField(json.out, "chosenCount"), 31);  // 3000 / 97 = 30.9 dips
    EXPECT_TRUE(has(json.out, "\"falseAlarmProbability\": 0.1,")) << json.out;
    EXPECT_TRUE(has(json.out, "\"reached\": 0,")) << json.out;
    std::ifstream in(folder.file("counts.csv"));
    std::string line, chosen;
    std::getline(in, line);
    EXPECT_EQ(line, "count,chain_score,snr,null_snr,excess,chosen");
    int rows = 0;
    while (std::getline(in, line)) {
        ++rows;
        if (line.substr(line.size() - 2) == ",1")
            chosen += line.substr(0, line.find(','));
        const size_t first = line.find(',');
        const std::string score = line.substr(first + 1, line.find(',', first + 1) - first - 1);
        EXPECT_TRUE(has(json.out, "\"chainScore\": " + score + ",")) << line;
    }
    EXPECT_EQ(chosen, "31");
    EXPECT_EQ(rows, intField(json.out, "toCount") - intField(json.out, "fromCount") + 1);

    const std::string file = "detect " + folder.file("dips.csv") + " --tmin 80 --tmax 120 ";
    Result r = run(file + "--pulses 30 --pulse-length 10 --null-series 3", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--null-series: the null series serve the matched filter only")) << r.out;
    r = run(file + "--unknown --pulse-length 10 --seed 3", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--seed: applies to the matched filter's null series")) << r.out;
    r = run(file + "--pulses 30 --pulse-length 10 --counts-csv x.csv", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--counts-csv: a known count has no table of counts")) << r.out;
    r = run(file + "--pulses 30 --pulse-length 10 --significance 0", true);
    EXPECT_EQ(r.exitCode, 2);
}

// Blind detection on correlations, worked by hand: three box pulses of 1000
// over 10 samples, --noise 10, S 5: T = round(5 x 10 x sqrt 10) = 158, and n =
// 400 - 10 + 1 = 391 scored windows for the default.
TEST(DetectCli, BlindCorrelationShowsWhereItsThresholdCameFrom)
{
    files_test::ScratchDir folder;
    std::string csv;
    for (int i = 0; i < 400; ++i)
        csv += (i % 120 >= 50 && i % 120 < 60 && i < 300 ? "1000\n" : "0\n");
    std::ofstream(folder.file("b.csv")) << csv;
    const std::string blind = "detect " + folder.file("b.csv") + " --tmin 100 --tmax 140 --score correlation --box 10";
    Result r = run(blind + " --method 1 --noise 10 --snr-min 5");
    EXPECT_TRUE(has(r.out,
                    "\nthreshold: S x sigma x |h|, S 5 (given), |h| 3.1622776601683795\n"
                    "pass 1: threshold 158, 3 pulses, sigma 10\n"))
        << r.out;
    EXPECT_TRUE(has(r.out, "  50 170 290\nfound 3 pulses")) << r.out;
    EXPECT_TRUE(has(run(blind + " --method 0").out,
                    "(the default: a false pulse in pure noise with probability 1 % "
                    "over 391 scored windows)"));
    r = run(blind + " --method 0 --snr-min 0", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.out, "--snr-min must be a positive number, got '0'")) << r.out;
}
