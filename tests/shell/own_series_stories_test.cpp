// File > Open... with a researcher's own series: the open dialog, the
// preparation dialog answered by the scripted user, the checks the window's
// records need, and processing and painting on the loaded series in every task.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/dialogs.h"
#include "shell/command_dispatcher.h"
#include "shell/own_series_loading.h"
#include "shell/series_settings.h"
#include "tests/files/files_test_support.h"
#include "tests/platform/picture_test_support.h"
#include "tests/shell/window_painting_support.h"

using namespace resources;
using platform::DialogResult;
using platform::DialogStep;

namespace {

// 600 rows "t,x": a baseline of 10.25 with three blocks of 5 more, 20
// samples long, at 100, 300 and 450. Floating values: the automatic scale.
std::string blocksCsv(size_t rows = 600)
{
    std::string text = "t,x\n";
    for (size_t i = 0; i < rows; ++i) {
        const bool block = (i >= 100 && i < 120) || (i >= 300 && i < 320) || (i >= 450 && i < 470);
        char line[64];
        std::snprintf(line, sizeof line, "%zu,%.2f\n", i, block ? 15.25 : 10.25);
        text += line;
    }
    return text;
}

void writeText(const std::string& path, const std::string& text)
{
    files_test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
}

struct OpenWindow : PaintedWindow {
    files_test::ScratchDir dir;

    std::string file(const std::string& name, const std::string& text)
    {
        const std::string path = dir.file(name);
        writeText(path, text);
        return path;
    }
    void open(const std::string& path)
    {
        host.queueOpenFile(path);
        shell::dispatchCommand(state, host, IdOpen);
    }
    void command(int id) { shell::dispatchCommand(state, host, id); }
    synthesis::SeriesHeader& series() { return *state.lpSeriesHeader; }
    std::vector<int16_t> observed() const
    {
        const synthesis::SeriesHeader& s = *state.lpSeriesHeader;
        return {s.lpSeriesData.begin(), s.lpSeriesData.begin() + s.dwSeriesSize};
    }
    std::vector<int16_t> pure() const
    {
        const synthesis::SeriesHeader& s = *state.lpSeriesHeader;
        return {s.lpPureData.begin(), s.lpPureData.begin() + s.dwSeriesSize};
    }
    std::vector<int16_t> rowPositions(int row) const
    {
        const detection::StepwiseProtocol& p = *state.lpStepwiseProtocol;
        return {p.lpRowPositions[row].begin(), p.lpRowPositions[row].begin() + p.lpPulses[row]};
    }
    const base::RecordedMessage* lastMessage() const { return host.messages.empty() ? nullptr : &host.messages.back(); }
};

// A mono 16-bit PCM WAV at 8000 frames a second, frame f holding sample(f).
std::vector<uint8_t> monoWav(uint32_t frames, const std::function<int16_t(uint32_t)>& sample)
{
    std::vector<uint8_t> wav(44 + 2 * frames, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            wav[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::copy_n("RIFF", 4, wav.begin());
    put(4, static_cast<uint32_t>(wav.size() - 8), 4);
    std::copy_n("WAVEfmt ", 8, wav.begin() + 8);
    put(16, 16, 4);
    put(20, 1, 2);      // PCM
    put(22, 1, 2);      // mono
    put(24, 8000, 4);   // frames per second
    put(28, 16000, 4);  // bytes per second
    put(32, 2, 2);
    put(34, 16, 2);
    std::copy_n("data", 4, wav.begin() + 36);
    put(40, 2 * frames, 4);
    for (uint32_t f = 0; f < frames; ++f)
        put(44 + 2 * f, static_cast<uint16_t>(sample(f)), 2);
    return wav;
}

std::vector<int16_t> expectedBlocks(size_t rows, int16_t height)
{
    std::vector<int16_t> v(rows, 0);
    for (size_t start : {100u, 300u, 450u})
        std::fill_n(v.begin() + static_cast<ptrdiff_t>(start), 20, height);
    return v;
}

}  // namespace

TEST(OpenSeries, TheOpenDialogKeepsTheDataFileFiltersFirstAndAddsTheSeriesFormats)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    w.host.queueOpenFile(std::nullopt);
    w.command(IdOpen);
    ASSERT_EQ(w.host.fileDialogs.size(), 1u);
    const platform::FileDialogOptions& o = w.host.fileDialogs[0].options;
    EXPECT_EQ(o.title, "Long File Name Search");
    ASSERT_EQ(o.filters.size(), 4u);
    EXPECT_EQ(o.filters[0].pattern, "*.*");
    EXPECT_EQ(o.filters[1].pattern, "*.txt");
    EXPECT_EQ(o.filters[2].description, "Series Files (*.csv *.tsv *.txt *.npy *.wav)");
    EXPECT_EQ(o.filters[2].pattern, "*.csv;*.tsv;*.txt;*.npy;*.wav");
    EXPECT_EQ(o.filters[3].pattern, "*.dat");
    EXPECT_EQ(o.filterIndex, 0);
    EXPECT_TRUE(o.fileMustExist);
    EXPECT_EQ(w.state.dataFileResult, 0);
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(OpenSeries, ACsvBecomesTheSeriesWithItsLengthSettingsAndIsProcessed)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    w.state.dataFileResult = 7;
    const std::string path = w.file("blocks.csv", blocksCsv());
    w.host.answerOk(DialogOpenSeries);  // the defaults as they are
    w.open(path);
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();

    ASSERT_EQ(w.host.dialogs.size(), 1u);
    const platform::DialogFields& shown = w.host.dialogs[0].shown;
    EXPECT_EQ(shown.at(TextOpenSeriesSource), path + ": column 2 (x) of 2, 600 rows");
    EXPECT_EQ(shown.at(TextOpenSeriesColumn), "Column (number or header)");
    EXPECT_EQ(shown.at(EditOpenSeriesColumn), "x");
    EXPECT_EQ(shown.at(EditOpenSeriesDetrend), "median");
    EXPECT_EQ(shown.at(EditOpenSeriesInvert), "no");
    EXPECT_EQ(shown.at(EditOpenSeriesScale), "auto");

    // The median 10.25 taken away, the blocks scaled to the window's peak.
    const int16_t peak = static_cast<int16_t>(shell::windowAutoScalePeak(600));
    EXPECT_EQ(peak, 1891);
    EXPECT_EQ(w.observed(), expectedBlocks(600, peak));
    EXPECT_EQ(w.pure(), w.observed());
    const synthesis::SeriesHeader& s = w.series();
    EXPECT_EQ(s.dwSeriesSize, 600u);
    EXPECT_EQ(s.wImpulseQuantity, 0);
    EXPECT_EQ(s.wImpulseSize, w.state.etalonLength);
    EXPECT_EQ(s.wTmin, w.state.minInterval);
    EXPECT_EQ(s.wTmax, w.state.maxInterval);
    EXPECT_EQ(s.wAmplitude, peak);
    EXPECT_EQ(w.state.seriesLength, 600u);
    EXPECT_EQ(w.state.requestedSeriesLength, 600u);
    EXPECT_EQ(w.state.minPulseCount, 3);   // (600 + 19) / 181
    EXPECT_EQ(w.state.maxPulseCount, 15);  // (600 - 20 + 40) / 40
    EXPECT_EQ(w.state.seriesPulseCount, 9);
    EXPECT_EQ(w.state.dataFileResult, 7);
    EXPECT_EQ(w.state.viewState, shell::viewResult);

    const base::RecordedMessage* report = w.lastMessage();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->caption, "Open Series");
    EXPECT_NE(report->text.find("detrend: the median 10.25 subtracted"), std::string::npos) << report->text;
    EXPECT_NE(report->text.find("600 samples, pulse length 20"), std::string::npos) << report->text;

    // Open ends with a processing of the loaded samples: the energy
    // programme's nine pulses cover the three blocks exactly.
    ASSERT_NE(w.state.lpStepwiseProtocol, nullptr);
    ASSERT_GE(w.state.lpStepwiseProtocol->wUsed, 2);
    const std::vector<int16_t> programme = w.rowPositions(1);
    for (int16_t start : {100, 300, 450})
        EXPECT_NE(std::find(programme.begin(), programme.end(), start), programme.end()) << start;
    w.paint();

    // Processing Same Data analyses the same samples again.
    const std::vector<int16_t> rows = w.rowPositions(1);
    w.command(IdProcessingSameData);
    EXPECT_EQ(w.rowPositions(1), rows);
    EXPECT_EQ(w.observed(), expectedBlocks(600, peak));
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(OpenSeries, EveryTaskProcessesAndPaintsALoadedSeries)
{
    struct Case {
        int taskCommand, typeCommand;
        uint16_t task;
    };
    const Case cases[] = {
        {IdTaskJointDetectionEstimation, IdSeriesFixedNumber, detection::taskFixedEstimation},
        {IdTaskJointDetectionEstimation, IdSeriesUnfixedNumber, detection::taskUnfixedEstimation},
        {IdTaskDetection, IdSeriesFixedNumber, detection::taskBlindDetection},
        {IdTaskDetection, IdSeriesUnfixedNumber, detection::taskBlindDetection},
        {IdTaskSeriesProcessing, IdSeriesFixedNumber, detection::taskSeriesProcessing},
        {IdTaskSeriesProcessing, IdSeriesUnfixedNumber, detection::taskSeriesProcessing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.task) + "/" + std::to_string(c.typeCommand));
        OpenWindow w;
        ASSERT_TRUE(w.started);
        w.command(c.typeCommand);
        w.command(c.taskCommand);
        const std::string path = w.file("blocks.csv", blocksCsv());
        w.host.answerOk(DialogOpenSeries);
        w.open(path);
        ASSERT_EQ(w.series().dwSeriesSize, 600u);
        ASSERT_NE(w.state.lpStepwiseProtocol, nullptr);
        EXPECT_EQ(w.state.lpStepwiseProtocol->wTask, c.task);
        w.paint();
        for (int id : {IdProcessingSameData, IdMoreDetails, IdTypeMoreDetails, IdRepeatPrimitiveMethod,
                       IdRepeatKnownNoiseLevel, IdRepeatUnknownNoiseLevel, IdRepeatThresholdMethod}) {
            w.command(id);
            w.paint();
        }
        // The loaded samples are what every run read; none was changed.
        EXPECT_EQ(w.observed(), expectedBlocks(600, static_cast<int16_t>(shell::windowAutoScalePeak(600))));
        if (c.task == detection::taskSeriesProcessing) {
            EXPECT_GT(w.series().wFoundPulses, 0);
        }
        // No true pulse of the earlier synthesized series survives to be drawn.
        EXPECT_EQ(w.series().wImpulseQuantity, 0);
        EXPECT_TRUE(w.host.scriptErrors.empty());

        // Next afterwards synthesizes a series of the loaded length.
        w.command(IdProcessingNextData);
        EXPECT_EQ(w.series().dwSeriesSize, 600u);
        EXPECT_GT(w.series().wImpulseQuantity, 0);
        w.paint();
    }
}

TEST(OpenSeries, ASeriesLongerThanTheWindowTakesIsRefusedAndTheOldOneStays)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    w.state.dataFileResult = 7;
    const std::vector<int16_t> before = w.observed();
    const uint32_t length = w.state.seriesLength;
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += std::to_string(i % 7) + "\n";
    w.open(w.file("long.txt", text));

    EXPECT_TRUE(w.host.dialogs.empty()) << "nothing to prepare";
    ASSERT_FALSE(w.host.messages.empty());
    EXPECT_EQ(w.host.messages[0].text,
              "The series holds 40000 samples; the workbench takes at most 32767. Open it in the detection view (or "
              "with quillmore-cli detect), which takes any length.");
    EXPECT_EQ(w.host.messages[0].caption, "Open Series");
    EXPECT_EQ(w.observed(), before);
    EXPECT_EQ(w.state.seriesLength, length);
    EXPECT_EQ(w.state.dataFileResult, 0);
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(OpenSeries, IntegersBeyondSixteenBitsAreRefusedUntilScaled)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += std::to_string(i % 50 == 10 ? 40000 : 0) + "\n";
    const std::string path = w.file("counts.txt", text);
    const std::vector<int16_t> before = w.observed();
    // OK on the defaults is refused; then the scale is typed.
    w.host.queueDialog(
        {DialogOpenSeries,
         {DialogStep{{}, DialogResult::Ok}, DialogStep{{{EditOpenSeriesScale, "auto"}}, DialogResult::Ok}}});
    w.open(path);
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
    ASSERT_EQ(w.host.dialogs.size(), 1u);
    EXPECT_EQ(w.host.dialogs[0].shown.at(EditOpenSeriesScale), "none");
    EXPECT_EQ(w.host.dialogs[0].refusedOks, 1);
    EXPECT_EQ(w.host.messages[0].text,
              "The prepared samples reach 40000; the window's samples are 16-bit, at most 32767. Choose the auto "
              "scale or a factor below 1.");
    EXPECT_NE(w.observed(), before);
    const int16_t peak = static_cast<int16_t>(shell::windowAutoScalePeak(400));
    EXPECT_EQ(w.series().lpSeriesData[10], peak);
    EXPECT_EQ(w.series().lpSeriesData[11], 0);
    EXPECT_EQ(w.series().dwSeriesSize, 400u);
}

TEST(OpenSeries, IntegersInRangeAreKeptAsTheyAre)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    std::string text = "a;b;c\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i) + ";" + std::to_string(100 + (i % 3)) + ";" + std::to_string(-i) + "\n";
    w.host.answerOk(DialogOpenSeries, {{EditOpenSeriesColumn, "b"}, {EditOpenSeriesDetrend, "none"}});
    w.open(w.file("three.csv", text));
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
    EXPECT_EQ(w.host.dialogs[0].shown.at(EditOpenSeriesColumn), "c");  // the last numeric column by default
    ASSERT_EQ(w.series().dwSeriesSize, 300u);
    for (uint32_t i = 0; i < 300; ++i)
        ASSERT_EQ(w.series().lpSeriesData[i], 100 + static_cast<int>(i % 3)) << i;
}

TEST(OpenSeries, AWrongColumnOrFieldKeepsTheDialogOpen)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    std::string text = "a,b\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i) + "," + std::to_string(i % 2) + "\n";
    w.host.queueDialog(
        {DialogOpenSeries,
         {DialogStep{{{EditOpenSeriesColumn, "zz"}}, DialogResult::Ok},
          DialogStep{{{EditOpenSeriesColumn, "1"}, {EditOpenSeriesDetrend, "sideways"}}, DialogResult::Ok},
          DialogStep{{{EditOpenSeriesDetrend, "Moving"}, {EditOpenSeriesWindow, "0"}}, DialogResult::Ok},
          DialogStep{{{EditOpenSeriesWindow, "5"}, {EditOpenSeriesInvert, "YES"}}, DialogResult::Ok}}});
    w.open(w.file("two.csv", text));
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
    EXPECT_EQ(w.host.dialogs[0].refusedOks, 3);
    ASSERT_GE(w.host.messages.size(), 4u);
    EXPECT_NE(w.host.messages[0].text.find("zz"), std::string::npos) << w.host.messages[0].text;
    EXPECT_EQ(w.host.messages[1].text, "Detrend takes none, median or moving, not 'sideways'.");
    EXPECT_EQ(w.host.messages[2].text, "The moving median window must be a number of samples from 1, not '0'.");
    // Column 1 counts up: a moving median of 5 follows it exactly inside;
    // at the ends the cut windows lag by one, and the result is inverted.
    ASSERT_EQ(w.series().dwSeriesSize, 300u);
    EXPECT_EQ(w.series().lpSeriesData[0], 1);
    EXPECT_EQ(w.series().lpSeriesData[1], 0);
    EXPECT_EQ(w.series().lpSeriesData[150], 0);
    EXPECT_EQ(w.series().lpSeriesData[298], -1);
    EXPECT_EQ(w.series().lpSeriesData[299], -1);
}

TEST(OpenSeries, CancelLeavesTheSeriesAndStillProcesses)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    w.state.dataFileResult = 7;
    const std::vector<int16_t> before = w.observed();
    const uint32_t length = w.state.seriesLength;
    w.host.answerCancel(DialogOpenSeries);
    const size_t invalidations = w.host.invalidations.size();
    w.open(w.file("blocks.csv", blocksCsv()));
    EXPECT_EQ(w.observed(), before);
    EXPECT_EQ(w.state.seriesLength, length);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.dataFileResult, 0);
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_GT(w.host.invalidations.size(), invalidations) << "the processing that follows Open ran";
}

TEST(OpenSeries, AnUnreadableFileIsReportedAndTheSeriesStays)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    const std::vector<int16_t> before = w.observed();
    w.open(w.file("words.csv", "alpha,beta\ngamma,delta\n"));
    EXPECT_TRUE(w.host.dialogs.empty());
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].caption, "Open Series");
    EXPECT_NE(w.host.messages[0].text.find("words.csv"), std::string::npos) << w.host.messages[0].text;
    EXPECT_EQ(w.observed(), before);

    // Shorter than a pulse: the window has nothing to look for.
    w.host.messages.clear();
    w.open(w.file("short.txt", "1\n2\n3\n"));
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].text, "The series holds 3 samples; the window needs at least 20, the pulse length.");
    EXPECT_EQ(w.observed(), before);
}

TEST(OpenSeries, ASoundFileAsksForAChannel)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    // A mono 16-bit PCM WAV of 500 frames: a click of 20 frames at 200.
    const uint32_t frames = 500;
    const std::string path = w.dir.file("click.wav");
    files_test::writeAll(path, monoWav(frames, [](uint32_t f) { return f >= 200 && f < 220 ? -3000 : 0; }));

    w.host.answerOk(DialogOpenSeries, {{EditOpenSeriesInvert, "yes"}});
    w.open(path);
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
    ASSERT_EQ(w.host.dialogs.size(), 1u);
    EXPECT_EQ(w.host.dialogs[0].shown.at(TextOpenSeriesColumn), "Channel (from 1)");
    EXPECT_EQ(w.host.dialogs[0].shown.at(EditOpenSeriesColumn), "1");
    EXPECT_EQ(w.host.dialogs[0].shown.at(EditOpenSeriesScale), "none");
    ASSERT_EQ(w.series().dwSeriesSize, frames);
    EXPECT_EQ(w.series().lpSeriesData[199], 0);
    EXPECT_EQ(w.series().lpSeriesData[200], 3000);  // PCM integers kept, the dip inverted
}

// A recording of 8000 frames, clicks of 9000 over a noise of about 600:
// kept as its integers, its sum of squares is about 5e10 and wraps the
// window's 32-bit sums, so that every estimate came out as -1 and the pulses
// piled up at one place. OK on the defaults is refused with the reason; the
// automatic scale then loads it and the programme finds its clicks.
TEST(OpenSeries, ASoundFileWhoseSumsPassThirtyTwoBitsIsRefusedUntilScaled)
{
    OpenWindow w;
    ASSERT_TRUE(w.started);
    uint32_t state = 7;
    const std::string path = w.dir.file("clicks.wav");
    files_test::writeAll(path, monoWav(8000, [&](uint32_t f) {
                             state = state * 1664525u + 1013904223u;
                             const int noise = static_cast<int>(state >> 21) - 1024;
                             return static_cast<int16_t>(noise + (f % 400 >= 100 && f % 400 < 130 ? 9000 : 0));
                         }));
    const std::vector<int16_t> before = w.observed();
    w.host.queueDialog(
        {DialogOpenSeries,
         {DialogStep{{}, DialogResult::Ok}, DialogStep{{{EditOpenSeriesScale, "auto"}}, DialogResult::Ok}}});
    w.open(path);
    ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
    ASSERT_GE(w.host.messages.size(), 2u);
    EXPECT_EQ(w.host.messages[0].text.rfind("The sum of squares of the prepared samples (", 0), 0u)
        << w.host.messages[0].text;
    EXPECT_NE(w.host.messages[0].text.find("passes the window's 32-bit sums"), std::string::npos);

    ASSERT_NE(w.observed(), before);
    // Every stage's starts are real ones, nearly all of them on the clicks.
    for (int row = 1; row < w.state.lpStepwiseProtocol->wUsed; ++row) {
        const std::vector<int16_t> starts = w.rowPositions(row);
        EXPECT_TRUE(std::all_of(starts.begin(), starts.end(), [](int16_t s) { return s >= 0 && s < 8000; }));
        EXPECT_GE(std::count_if(starts.begin(), starts.end(), [](int16_t s) { return s % 400 >= 80 && s % 400 < 130; }),
                  18)
            << "row " << row;
    }
}

// A loaded series is made of no etalon: the result's alphabet panel lists
// none, whatever the selection that made the series before it.
TEST(OpenSeries, TheAlphabetPanelOfALoadedSeriesKeepsNoLettersOfTheSeriesBefore)
{
    for (const int task : {IdTaskSeriesProcessing, IdTaskDetection}) {
        SCOPED_TRACE(task);
        std::vector<platform::Bitmap> pictures;
        views::LayoutRect area;
        for (const bool all : {true, false}) {
            OpenWindow w;
            ASSERT_TRUE(w.started);
            w.command(task);
            w.state.etalonSelected.fill(0);
            for (int k = 0; k < (all ? 20 : 2); ++k)
                w.state.etalonSelected[static_cast<size_t>(k)] = 1;
            shell::rebuildRequiredList(w.state);
            w.command(IdProcessingNextData);
            w.host.answerOk(DialogOpenSeries);
            w.open(w.file("blocks.csv", blocksCsv()));
            ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
            ASSERT_TRUE(w.state.seriesFromFile);
            w.repaint();
            pictures.push_back(w.picture());
            area = w.state.viewArea;
        }
        // The view area; the button column beside it shows the selection's own toggle.
        picture::KeepIfFailed keep(pictures[0], "loaded_series_after_all_etalons", &pictures[1]);
        int32_t differ = 0;
        for (int32_t y = area.top; y <= area.bottom; ++y)
            for (int32_t x = area.left; x <= area.right; ++x)
                differ += platform::pixelAt(pictures[0], x, y) != platform::pixelAt(pictures[1], x, y);
        EXPECT_EQ(differ, 0);
    }
}

TEST(OpenSeriesFields, ReadWhatTheUserTypes)
{
    using shell::parsePreparationFields;
    std::string problem;
    platform::DialogFields f{{EditOpenSeriesColumn, " 3 "},
                             {EditOpenSeriesDetrend, " MEDIAN "},
                             {EditOpenSeriesWindow, "x"},
                             {EditOpenSeriesInvert, "no"},
                             {EditOpenSeriesScale, "0.5"}};
    auto choice = parsePreparationFields(f, false, problem);
    ASSERT_TRUE(choice) << problem;
    EXPECT_EQ(choice->column, "3");
    EXPECT_EQ(choice->options.detrend, detection::Detrend::WholeMedian);
    ASSERT_TRUE(choice->options.scale.has_value());
    EXPECT_DOUBLE_EQ(*choice->options.scale, 0.5);
    EXPECT_FALSE(choice->autoScale);

    f[EditOpenSeriesDetrend] = "moving median";
    f[EditOpenSeriesWindow] = "101";
    f[EditOpenSeriesScale] = "none";
    choice = parsePreparationFields(f, true, problem);
    ASSERT_TRUE(choice) << problem;
    EXPECT_EQ(choice->channel, 3);
    EXPECT_EQ(choice->options.detrend, detection::Detrend::MovingMedian);
    EXPECT_EQ(choice->options.window, 101);
    EXPECT_FALSE(choice->options.scale.has_value());

    for (const auto& [id, text] : std::vector<std::pair<int32_t, std::string>>{{EditOpenSeriesScale, "-2"},
                                                                               {EditOpenSeriesScale, "0"},
                                                                               {EditOpenSeriesScale, "2x"},
                                                                               {EditOpenSeriesScale, "inf"},
                                                                               {EditOpenSeriesInvert, "maybe"},
                                                                               {EditOpenSeriesWindow, "-3"},
                                                                               {EditOpenSeriesColumn, "0"}}) {
        platform::DialogFields bad = f;
        bad[id] = text;
        problem.clear();
        EXPECT_FALSE(parsePreparationFields(bad, true, problem)) << text;
        EXPECT_NE(problem.find(text), std::string::npos) << problem;
    }
}

TEST(OpenSeriesFields, TheAutomaticPeakKeepsTheSumOfSquaresInThirtyTwoBits)
{
    using shell::windowAutoScalePeak;
    EXPECT_EQ(windowAutoScalePeak(1), 32767);
    EXPECT_EQ(windowAutoScalePeak(2000), 1036);
    EXPECT_EQ(windowAutoScalePeak(32767), 256);
    for (size_t n : {1u, 2u, 3u, 100u, 1999u, 2001u, 7200u, 32766u, 32767u}) {
        const int64_t p = windowAutoScalePeak(n);
        EXPECT_LE(static_cast<int64_t>(n) * p * p, 2147483647) << n;
        if (p < 32767) {
            EXPECT_GT(static_cast<int64_t>(n) * (p + 1) * (p + 1), 2147483647) << n;
        }
    }
}

TEST(OpenSeriesFields, OnlySeriesExtensionsLeaveTheDataFileReader)
{
    using shell::isSeriesFileName;
    for (const char* name : {"a.csv", "/x/b.TSV", "c.txt", "d.npy", "e.Wav", "f.flac", "g.aiff"})
        EXPECT_TRUE(isSeriesFileName(name)) << name;
    for (const char* name : {"trace", "x.dat", "x.DAT", "/dir.csv/trace", "x.csv.bak", ".csv/"})
        EXPECT_FALSE(isSeriesFileName(name)) << name;
}
