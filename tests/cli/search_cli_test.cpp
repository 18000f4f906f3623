// quillmore-cli search on a generated light curve with dips: every spectrum
// row is what quillmore-cli detect --unknown prints at its layout (a layout
// that admits no count is detect's refusal, kept as a row), the best
// point's pulses are detect's, the output does not depend on the threads;
// the picture; the refusals and their exit codes.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "command_output.h"
#include "files/json.h"
#include "files/png_image.h"
#include "tests/files/files_test_support.h"

namespace {

CommandOutput run(const std::string& arguments, bool mergeErrors = false) { return runCli(arguments, mergeErrors); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

nlohmann::json parsed(const std::string& text)
{
    nlohmann::json document;
    std::string error;
    EXPECT_TRUE(files::parseJson(text, document, error)) << error << "\n" << text.substr(0, 400);
    return document;
}

// A light curve: a time column and a flux of 1 with noise of 0.002 and
// dips of 0.006 over 10 samples about every 230 samples.
std::string lightCurve(int n)
{
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise(0.0, 0.002);
    std::vector<double> flux(static_cast<size_t>(n));
    for (double& f : flux)
        f = 1 + noise(random);
    for (int p = 40; p + 10 <= n; p += 215 + static_cast<int>(random() % 31))
        for (int i = 0; i < 10; ++i)
            flux[static_cast<size_t>(p + i)] -= 0.006;
    std::string csv = "time,flux\n";
    for (int i = 0; i < n; ++i)
        csv += std::to_string(0.5 * i) + "," + std::to_string(flux[static_cast<size_t>(i)]) + "\n";
    return csv;
}

}  // namespace

TEST(SearchCli, EveryRowIsDetectAtItsLayout)
{
    files_test::ScratchDir folder;
    const std::string file = folder.file("curve.csv");
    std::ofstream(file) << lightCurve(3000);
    const std::string common = " --invert --null-series 3 --seed 5";
    const std::string grid = " --period 190:270:40 --window 0.1 --pulse-length 6,10,300" + common;
    const CommandOutput s = run("search " + file + grid + " --json --threads 1");
    ASSERT_EQ(s.exitCode, 0) << run("search " + file + grid, true).out;
    const nlohmann::json out = parsed(s.out);
    const nlohmann::json& spectrum = out["spectrum"];
    ASSERT_EQ(spectrum.size(), 9u);
    int refused = 0;
    for (const nlohmann::json& row : spectrum) {
        const std::string layout = " --tmin " + std::to_string(row["tmin"].get<int>()) + " --tmax " +
                                   std::to_string(row["tmax"].get<int>()) + " --box " +
                                   std::to_string(row["pulseLength"].get<int>());
        const std::string detect = "detect " + file + " --unknown --score correlation" + layout + common;
        if (!row["refusal"].is_null()) {
            const CommandOutput d = run(detect, true);
            EXPECT_NE(d.exitCode, 0);
            EXPECT_TRUE(has(d.out, row["refusal"].get<std::string>())) << d.out;
            EXPECT_EQ(row["count"], 0);
            ++refused;
            continue;
        }
        const nlohmann::json d = parsed(run(detect + " --json").out);
        const int chosen = d["matchedFilter"]["chosenCount"].get<int>();
        EXPECT_EQ(row["count"], chosen);
        for (const nlohmann::json& c : d["counts"])
            if (c["count"] == chosen) {
                EXPECT_EQ(row["score"], c["chainScore"]);
                EXPECT_EQ(row["snr"], c["snr"]);
                EXPECT_EQ(row["statistic"], c["excess"]);
            }
        if (row["statistic"] == out["best"]["statistic"] && row["pulseLength"] == out["best"]["pulseLength"] &&
            row["tmin"] == out["best"]["tmin"]) {
            EXPECT_EQ(out["best"]["pulses"], d["pulses"]);
        }
    }
    EXPECT_EQ(refused, 3);  // pulses of 300 samples are longer than every Tmax
    EXPECT_EQ(out["best"]["pulseLength"], 10);

    // The same bytes on two threads, in every format.
    for (const char* format : {" --json", " --csv", ""})
        EXPECT_EQ(run("search " + file + grid + format + " --threads 2").out,
                  run("search " + file + grid + format + " --threads 1").out)
            << format;
    const std::string csv = run("search " + file + grid + " --csv").out;
    EXPECT_TRUE(csv.starts_with("period,tmin,tmax,pulse_length,count,score,snr,statistic\n190,171,209,6,")) << csv;
}

TEST(SearchCli, PictureAndSignificance)
{
    files_test::ScratchDir folder;
    const std::string file = folder.file("curve.csv"), png = folder.file("spectrum.png");
    std::ofstream(file) << lightCurve(3000);
    const CommandOutput s = run("search " + file +
                                " --tmin 150,180,200 --tmax 250,240,260 --pulse-length 8:12:2 --invert --significance "
                                "9 --threads 2 --plot " +
                                png + " --size 900x700 --json");
    ASSERT_EQ(s.exitCode, 0);
    const nlohmann::json out = parsed(s.out);
    EXPECT_TRUE(out["spectrum"][0]["period"].is_null());
    EXPECT_EQ(out["significance"]["reached"], 0);
    EXPECT_EQ(out["significance"]["falseAlarmProbability"], 0.1);
    EXPECT_EQ(out["best"]["significance"], out["significance"]);
    platform::Bitmap picture;
    std::string error;
    ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
    EXPECT_EQ(picture.width, 900);
    EXPECT_EQ(picture.height, 700);
    // The best point's ring, in the spectrum's part of the picture.
    int ringed = 0;
    for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 900; ++x)
            ringed += platform::pixelAt(picture, x, y) == platform::rgb(215, 0, 0) ? 1 : 0;
    EXPECT_GT(ringed, 20);
}

TEST(SearchCli, RefusalsAndTheirCodes)
{
    files_test::ScratchDir folder;
    const std::string file = folder.file("curve.csv");
    std::ofstream(file) << lightCurve(600);
    const struct {
        const char* options;
        int code;
        const char* message;
    } cases[] = {
        {"--tmin 10 --tmax 20", 2, "--pulse-length LIST is needed with a box of each pulse length"},
        {"--period 100:200:10 --pulse-length 5", 2, "--period needs --window F"},
        {"--period 200:100:10 --window 0.1 --pulse-length 5", 2, "--period must be FROM:TO:STEP"},
        {"--period 100 --window 1.5 --pulse-length 5", 2, "--window must be a number between 0 and 1"},
        {"--period 0.5:2:0.5 --window 0.1 --pulse-length 5", 2, "gives Tmin 0"},
        {"--period 1:200000:1 --window 0.1 --pulse-length 5", 2, "more than the 100000 a grid may hold"},
        {"--period 10:1009:1 --window 0.1 --pulse-length 1:101:1", 2, "101000 points, more than the 100000"},
        {"--tmin 10,20 --tmax 30,40,50 --pulse-length 5", 2, "--tmin gives 2 values and --tmax 3"},
        {"--tmin 10,50 --tmax 30,40 --pulse-length 5", 2, "--tmin (50) is above --tmax (40) in pair 2"},
        {"--tmin 10 --tmax 20 --etalon c --pulse-length 5", 2, "the pulse length is the template's with --etalon"},
        {"--tmin 10 --tmax 20 --score energy --box --pulse-length 5", 2, "--box is a template"},
        {"--tmin 10 --tmax 20 --score energy --null-series 3 --pulse-length 5", 2, "--null-series: the null series"},
        {"--period 100 --tmin 10 --tmax 20 --window 0.1 --pulse-length 5", 2, "exclude each other"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --bogus", 2, "unknown option: --bogus"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --window", 2, "--window needs a value"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --invert=1", 2, "--invert takes no value"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --box 0", 2, "--box must be a whole number from 1 to 1000000"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --plot x.jpg", 2, "give a name ending in .png"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --max-work 10", 2, "the search would take about"},
        {"--tmin 5,6 --tmax 8 --pulse-length 9,10", 1, "no point of the grid could run (4 of 4 refused"},
        {"--tmin 10 --tmax 20 --pulse-length 5 --channel 2", 2, "leave out --channel"},
    };
    for (const auto& c : cases) {
        const CommandOutput r = run("search " + file + " " + c.options, true);
        EXPECT_EQ(r.exitCode, c.code) << c.options << "\n" << r.out;
        EXPECT_TRUE(has(r.out, "quillmore-cli search: ") && has(r.out, c.message)) << c.options << "\n" << r.out;
    }
    // A box with a width serves every point; without one each pulse length has its own.
    EXPECT_TRUE(has(run("search " + file + " --tmin 150 --tmax 260 --box 7 --invert").out, "box of 7 samples"));
    EXPECT_TRUE(
        has(run("search " + file + " --tmin 150 --tmax 260 --box --pulse-length 7 --invert").out, "box of each pulse"));
}
