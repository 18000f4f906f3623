// The window's detection view against quillmore-cli detect and against its
// own promises: on generated series and option sets the view's detection
// exports the very bytes detect --csv prints and refuses with detect's words;
// a stopped detection is no answer; and over random input the detail
// stays inside the series, the readout names the pulse whose window holds
// the sample and nothing else, and Home shows the whole series.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands/detect_engine.h"
#include "commands/detection_view_state.h"
#include "platform/bitmap.h"
#include "platform/dc.h"
#include "tests/cli/command_output.h"
#include "tests/files/files_test_support.h"
#include "tests/support/sanitized_trials.h"

namespace {

using commands::DetectOptions;

// "t,x": a time every 0.5, noise of sigma 1 and boxes of height 6 (dips
// when `dips`), 12 samples long, 60..140 samples apart, on a slow trend.
std::string pulseCsv(std::mt19937& random, size_t N, bool dips)
{
    std::normal_distribution<double> noise(0, 1);
    std::uniform_int_distribution<int> gap(60, 140);
    std::vector<double> x(N);
    for (size_t i = 0; i < N; ++i)
        x[i] = noise(random) + 3 * std::sin(static_cast<double>(i) / 700.0);
    for (size_t s = static_cast<size_t>(gap(random)); s + 12 < N; s += static_cast<size_t>(gap(random)))
        for (size_t j = 0; j < 12; ++j)
            x[s + j] += dips ? -6 : 6;
    std::string text = "t,x\n";
    char line[64];
    for (size_t i = 0; i < N; ++i) {
        std::snprintf(line, sizeof line, "%.1f,%.4f\n", 0.5 * static_cast<double>(i), x[i]);
        text += line;
    }
    return text;
}

// One option set of those the Detect dialog makes, as detect's words.
std::string drawnWords(std::mt19937& random, size_t N, bool invert)
{
    const size_t task = random() % 6;
    std::string w = " --tmin 50 --tmax 150";
    w += task < 2    ? " --pulses " + std::to_string(N / 100)
         : task == 2 ? " --unknown"
                     : " --method " + std::to_string(2 * (task - 3));
    const std::string scores[] = {" --score correlation --box 12", " --score correlation --etalon c"};
    w += task < 3 && random() % 2 ? scores[random() % 2] : " --pulse-length 12";
    const std::string detrends[] = {" --detrend none", "", " --detrend " + std::to_string(101 + random() % 300)};
    const std::string scales[] = {" --scale auto", " --scale 1000", ""};
    return w + detrends[random() % 3] + scales[random() % 3] + (invert ? " --invert" : "");
}

// The words after detect's, read as detect reads them.
DetectOptions parsed(const std::string& path, const std::string& words)
{
    std::vector<std::string> args{path};
    std::istringstream split(words);
    for (std::string word; split >> word;)
        args.push_back(word);
    DetectOptions o;
    std::string error;
    EXPECT_TRUE(commands::parseDetectOptions(args, o, error)) << error;
    return o;
}

void writeText(const std::string& path, const std::string& text)
{
    files_test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
}

commands::DetectStatus detect(const std::string& path, const DetectOptions& o, commands::OwnSeriesDetection& r,
                              std::string& error, const detection::ProgressCallback& progress = {})
{
    const files::SeriesReadResult read = files::readSeriesFile(path, {});
    EXPECT_TRUE(read.ok) << read.error;
    return commands::detectOwnSeries(read.data, o, 2, progress, r, error);
}

}  // namespace

TEST(DetectionView, ExportsTheBytesDetectPrintsForEveryOptionSetTheDialogMakes)
{
    files_test::ScratchDir folder;
    std::mt19937 random(20261208);
    for (int k = 0; k < 14; ++k) {
        const size_t N = 1500 + random() % 2500;
        const bool invert = random() % 2 == 0;
        std::string name = std::to_string(k);
        const std::string path = folder.file(name.append(".csv"));
        writeText(path, pulseCsv(random, N, invert));
        const std::string words = drawnWords(random, N, invert);
        const DetectOptions o = parsed(path, words);
        SCOPED_TRACE(path + words);

        commands::DetectionViewState view;
        std::string error;
        ASSERT_TRUE(commands::openDetectionView(view, path, {}, error)) << error;
        commands::OwnSeriesDetection result;
        ASSERT_EQ(commands::detectOwnSeries(view.data, o, 2, {}, result, error), commands::DetectStatus::Done) << error;
        commands::adoptDetection(view, std::move(result), o);

        const CommandOutput cli =
            runCommandLine(std::string(QUILLMORE_CLI) + " detect " + path + words + " --csv 2>/dev/null");
        ASSERT_EQ(cli.exitCode, 0);
        EXPECT_EQ(commands::detectionViewCsv(view), cli.out);
        EXPECT_GT(view.result->outcome.positions.size(), 0u);
    }
}

TEST(DetectionView, RefusesWithDetectsWordsAndCodes)
{
    files_test::ScratchDir folder;
    std::mt19937 random(3);
    const std::string flat = folder.file("flat.csv"), pulses = folder.file("p.csv");
    std::string rows = "x\n";
    for (int i = 0; i < 400; ++i)
        rows += "7\n";
    writeText(flat, rows);
    writeText(pulses, pulseCsv(random, 800, false));
    const std::pair<std::string, std::string> cases[] = {
        {flat, " --pulses 2 --tmin 50 --tmax 150 --pulse-length 12"},
        {pulses, " --pulses 200 --tmin 50 --tmax 150 --pulse-length 12"},
        {pulses, " --pulses 1 --tmin 1000 --tmax 1200 --pulse-length 1000"},
        {pulses, " --method 4 --tmin 50 --tmax 150 --score correlation --box 12"},
    };
    for (const auto& [path, words] : cases) {
        SCOPED_TRACE(words);
        commands::OwnSeriesDetection r;
        std::string error;
        const commands::DetectStatus status = detect(path, parsed(path, words), r, error);
        const CommandOutput cli =
            runCommandLine(std::string(QUILLMORE_CLI) + " detect " + path + words + " 2>&1 >/dev/null");
        EXPECT_NE(status, commands::DetectStatus::Done);
        EXPECT_EQ(cli.exitCode, static_cast<int>(status));
        EXPECT_EQ(cli.out, "quillmore-cli detect: " + path + ": " + error + "\n");
    }
}

// Whenever the progress callback says stop before the work is done, the
// detection is no answer: the window then keeps the pulses shown before.
TEST(DetectionView, AStoppedDetectionIsNoAnswer)
{
    files_test::ScratchDir folder;
    std::mt19937 random(11);
    const std::string path = folder.file("p.csv");
    writeText(path, pulseCsv(random, 20000, false));
    const DetectOptions o = parsed(path, " --unknown --tmin 50 --tmax 150 --pulse-length 12");
    int all = 0;
    commands::OwnSeriesDetection whole;
    std::string error;
    ASSERT_EQ(detect(path, o, whole, error, [&](uint64_t, uint64_t) { return ++all > 0; }),
              commands::DetectStatus::Done);
    ASSERT_GT(all, 4);
    for (const int stopAt : {1, all / 2, all - 1}) {
        int reports = 0;
        commands::OwnSeriesDetection stopped;
        const commands::DetectStatus status =
            detect(path, o, stopped, error, [&](uint64_t, uint64_t) { return ++reports < stopAt; });
        // A stop that comes when the work is done leaves the whole answer.
        if (stopAt <= all / 2 || status != commands::DetectStatus::Done)
            EXPECT_EQ(status, commands::DetectStatus::Cancelled) << stopAt;
        else
            EXPECT_EQ(stopped.outcome.positions, whole.outcome.positions);
    }
}

TEST(DetectionView, InputKeepsTheDetailInsideTheSeriesAndTheReadoutNamesItsPulse)
{
    files_test::ScratchDir folder;
    std::mt19937 random(5);
    // The sanitizers' run, there for memory faults, opens 100,000 samples.
    for (const size_t N : {size_t{30}, size_t{3000}, size_t{test_support::kSanitized ? 100000 : 250000}}) {
        SCOPED_TRACE(N);
        std::string name = std::to_string(N);
        const std::string path = folder.file(name.append(".csv"));
        writeText(path, pulseCsv(random, N, false));
        commands::DetectionViewState view;
        std::string error;
        ASSERT_TRUE(commands::openDetectionView(view, path, {}, error)) << error;
        // Tmin below the pulse length: windows overlap, and the first holding a sample is read out.
        const DetectOptions o = parsed(path, " --tmin 1 --tmax 181 --pulse-length 20 --pulses " +
                                                 std::to_string(std::max<size_t>(N / 100, 1)));
        commands::OwnSeriesDetection r;
        ASSERT_EQ(commands::detectOwnSeries(view.data, o, 1, {}, r, error), commands::DetectStatus::Done) << error;
        commands::adoptDetection(view, std::move(r), o);
        const std::vector<int32_t>& starts = view.result->outcome.positions;
        const int32_t L = view.result->request.L;

        platform::Bitmap picture = platform::makeBitmap(1280, 760);
        for (int step = 0; step < test_support::trials(300); ++step) {
            platform::Dc dc(picture);
            commands::paintDetectionView(view, dc, {0, 0, 1280, 760});
            const views::DetectionViewLayout& l = view.layout;
            ASSERT_TRUE(l.drawable);
            const int32_t x = static_cast<int32_t>(random() % 1280), y = static_cast<int32_t>(random() % 760);
            std::string status;
            switch (random() % 7) {
            case 0:
                commands::detectionViewWheel(view, x, y, static_cast<int32_t>(random() % 5) - 2);
                break;
            case 1:
                commands::detectionViewKey(view, static_cast<commands::DetectionViewKey>(random() % 7));
                break;
            case 2:
                commands::detectionViewPress(view, x, y);
                commands::detectionViewMove(view, static_cast<int32_t>(random() % 1280), y, status);
                commands::detectionViewRelease(view, static_cast<int32_t>(random() % 1280), y);
                break;
            default: {
                // The readout names the pulse whose window holds the sample, and only that one.
                const std::optional<views::DetectionViewPoint> at = views::detectionViewPointAt(l, x, y);
                const std::string readout = commands::detectionReadout(view, x, y);
                ASSERT_EQ(readout.empty(), !at);
                if (!at)
                    break;
                EXPECT_EQ(readout.rfind("sample " + std::to_string(at->sample) + ",", 0), 0u) << readout;
                const auto holder = std::find_if(starts.begin(), starts.end(),
                                                 [&](int32_t s) { return s <= at->sample && at->sample < s + L; });
                const size_t named = readout.find("; pulse ");
                EXPECT_EQ(named == std::string::npos ? 0 : std::stol(readout.substr(named + 8)),
                          holder == starts.end() ? 0 : holder - starts.begin() + 1)
                    << readout;
                break;
            }
            }
            const views::SampleRange shown = views::shownSamples(view.detail, static_cast<int32_t>(N));
            ASSERT_GE(shown.from, 0);
            ASSERT_LE(shown.to, static_cast<int32_t>(N));
            ASSERT_GE(shown.to - shown.from, std::min<int32_t>(commands::kLeastDetailSamples, static_cast<int32_t>(N)));
        }
        commands::detectionViewKey(view, commands::DetectionViewKey::Home);
        EXPECT_TRUE(views::showsWholeSeries(view.detail, static_cast<int32_t>(N)));
    }
}
