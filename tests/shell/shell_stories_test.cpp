// Stories of the workbench driven through the dispatcher with the scripted
// host: start-up, the pipeline in every task, the menu commands and the
// dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/series_settings.h"

using namespace resources;
using platform::DialogResult;
using platform::DialogStep;

namespace {

struct Workbench {
    shell::AppState state;
    platform::ScriptedHost host;

    Workbench() { started = shell::onCreate(state, host); }
    ~Workbench() { shell::onDestroy(state); }

    void command(int id) { shell::dispatchCommand(state, host, id); }
    // A click on Next in the result view.
    void next()
    {
        state.viewState = shell::viewResult;
        command(CmdNewSequence);
    }
    std::vector<int> sequence(size_t n) const
    {
        return std::vector<int>(state.etalonSequence.begin(), state.etalonSequence.begin() + n);
    }
    std::vector<std::vector<int16_t>> rows() const
    {
        std::vector<std::vector<int16_t>> r;
        const detection::StepwiseProtocol& p = *state.lpStepwiseProtocol;
        for (int i = 0; i < p.wUsed; ++i)
            r.emplace_back(p.lpRowPositions[i].begin(), p.lpRowPositions[i].begin() + p.lpPulses[i]);
        return r;
    }

    bool started = false;
};

}  // namespace

TEST(ShellStart, StartsWithTheDocumentedState)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    const shell::AppState& s = w.state;
    EXPECT_EQ(s.alphabetReady, 1);
    EXPECT_EQ(s.viewState, shell::viewAlphabet);
    EXPECT_EQ(s.minPulseCount, 6);
    EXPECT_EQ(s.maxPulseCount, 30);
    EXPECT_EQ(s.requestedPulseCount, 18);
    EXPECT_EQ(s.seriesPulseCount, 18);
    EXPECT_EQ(s.seriesLength, 1200u);
    EXPECT_EQ(s.requestedSeriesLength, 1200u);
    EXPECT_EQ(s.requestedNoiseLevel, 25);
    EXPECT_EQ(s.seriesNoiseLevel, 25);
    EXPECT_EQ(s.active_etalons, 1);
    EXPECT_EQ(s.requiredList[0], 1);
    EXPECT_EQ(s.currentEtalon, 1);
    EXPECT_EQ(s.etalonSequence.size(), 30u);
    EXPECT_EQ(s.traceUnfixedCaseCriteria.size(), 1200u);
    EXPECT_EQ(s.taskType, detection::taskFixedEstimation);
    EXPECT_EQ(s.seriesType, detection::seriesKnownWhole);
    EXPECT_EQ(s.resultView, shell::resultProcessing);

    // Check marks at "Fixed Number of Pulses" and "Joint Detection and Estimation" only.
    std::set<int32_t> checked;
    for (const auto& [id, on] : w.host.menuChecks)
        if (on)
            checked.insert(id);
    EXPECT_EQ(checked, (std::set<int32_t>{IdSeriesFixedNumber, IdTaskJointDetectionEstimation}));

    // The first series is synthesized without noise and is not processed.
    ASSERT_NE(s.lpSeriesHeader, nullptr);
    EXPECT_EQ(s.lpSeriesHeader->wImpulseQuantity, 18);
    EXPECT_EQ(s.lpSeriesHeader->wNoiseLevel, 0);
    EXPECT_EQ(s.lpSeriesHeader->lpSeriesData, s.lpSeriesHeader->lpPureData);
    EXPECT_EQ(s.lpStepwiseProtocol, nullptr);
    EXPECT_EQ(s.random.noiseSeed, 10597);
    EXPECT_TRUE(w.host.messages.empty());
}

TEST(ShellPipeline, NextMakesAndProcessesANewSeriesInEveryTask)
{
    struct Case {
        int taskCommand, typeCommand;
        uint16_t task;
        std::set<int> rowCounts;
    };
    const Case cases[] = {
        {IdTaskJointDetectionEstimation, IdSeriesFixedNumber, detection::taskFixedEstimation, {3, 4}},
        {IdTaskJointDetectionEstimation, IdSeriesUnfixedNumber, detection::taskUnfixedEstimation, {3, 5}},
        {IdTaskDetection, IdSeriesFixedNumber, detection::taskBlindDetection, {2}},
        {IdTaskDetection, IdSeriesUnfixedNumber, detection::taskBlindDetection, {3, 4, 5, 6, 7}},
        {IdTaskSeriesProcessing, IdSeriesFixedNumber, detection::taskSeriesProcessing, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.task);
        Workbench w;
        w.command(c.typeCommand);
        w.command(c.taskCommand);
        ASSERT_EQ(w.state.taskType, c.task);
        const int32_t seed = w.state.random.noiseSeed;
        w.next();
        ASSERT_NE(w.state.lpStepwiseProtocol, nullptr);
        EXPECT_TRUE(c.rowCounts.count(w.state.lpStepwiseProtocol->wUsed)) << w.state.lpStepwiseProtocol->wUsed;
        EXPECT_EQ(w.state.lpStepwiseProtocol->wTask, c.task);
        EXPECT_NE(w.state.random.noiseSeed, seed) << "noise was added";
        EXPECT_EQ(w.state.lpSeriesHeader->wNoiseLevel, 25);
        if (c.task == detection::taskSeriesProcessing) {
            EXPECT_GT(w.state.lpSeriesHeader->wFoundPulses, 0);
        }
        // The refresh invalidates the view area raised by 10 pixels.
        ASSERT_FALSE(w.host.invalidations.empty());
    }
}

TEST(ShellPipeline, ProcessingSameDataTwiceGivesTheSameRows)
{
    Workbench w;
    w.next();
    const auto first = w.rows();
    const std::vector<int16_t> samples = w.state.lpSeriesHeader->lpSeriesData;
    w.command(IdProcessingSameData);
    EXPECT_EQ(w.rows(), first);
    w.command(IdProcessingSameData);
    EXPECT_EQ(w.rows(), first);
    EXPECT_EQ(w.state.lpSeriesHeader->lpSeriesData, samples);

    w.command(IdProcessingNextData);
    EXPECT_NE(w.state.lpSeriesHeader->lpSeriesData, samples) << "next data is a new series with new noise";
}

TEST(ShellPipeline, MultiEtalonSequenceFollowsTheLibraryGenerator)
{
    Workbench w;
    w.command(IdTaskDetection);
    w.state.etalonSelected.fill(0);
    for (int e : {2, 5, 9})
        w.state.etalonSelected[e - 1] = 1;
    shell::rebuildRequiredList(w.state);
    ASSERT_EQ(w.state.active_etalons, 3);
    w.next();
    // The classic generator from its first state picks entry (r >> 3) % 3 of
    // the required list; its draws 41, 18467, 6334, 26500, ... are the
    // well-known first values, and the choices were worked out from them once.
    const std::string chosen = "959292225599222595255555299959925999599292295592225999995925";
    ASSERT_LE(w.state.maxPulseCount, static_cast<int>(chosen.size()));
    for (int i = 0; i < w.state.maxPulseCount; ++i)
        EXPECT_EQ(w.state.etalonSequence[i], chosen[static_cast<size_t>(i)] - '0') << i;
    for (int k = 0; k < w.state.lpSeriesHeader->wImpulseQuantity; ++k) {
        const int e = w.state.lpSeriesHeader->lpEtalonSequence[k];
        EXPECT_TRUE(e == 2 || e == 5 || e == 9);
    }
}

TEST(ShellPipeline, EmptyRequiredListInMultiEtalonTasksIsRefused)
{
    Workbench w;
    w.command(IdTaskSeriesProcessing);
    w.state.etalonSelected.fill(0);
    shell::rebuildRequiredList(w.state);
    ASSERT_EQ(w.state.active_etalons, 0);
    const int32_t seed = w.state.random.noiseSeed;
    const synthesis::SeriesHeader* series = w.state.lpSeriesHeader.get();
    w.command(IdProcessingNextData);
    w.next();
    EXPECT_EQ(w.state.random.noiseSeed, seed);
    EXPECT_EQ(w.state.lpStepwiseProtocol, nullptr);
    EXPECT_EQ(w.state.lpSeriesHeader.get(), series);
}

TEST(ShellSettings, TaskAndSeriesTypeCommandsChangeOnlyTheSettings)
{
    Workbench w;
    w.command(IdSeriesUnfixedNumber);
    EXPECT_EQ(w.state.seriesType, detection::seriesUnknownWhole);
    EXPECT_EQ(w.state.taskType, detection::taskUnfixedEstimation);
    EXPECT_TRUE(w.host.menuChecked(IdSeriesUnfixedNumber));
    EXPECT_FALSE(w.host.menuChecked(IdSeriesFixedNumber));
    w.command(IdTaskDetection);
    EXPECT_EQ(w.state.taskType, detection::taskBlindDetection);
    EXPECT_TRUE(w.host.menuChecked(IdTaskDetection));
    EXPECT_FALSE(w.host.menuChecked(IdTaskJointDetectionEstimation));
    w.command(IdTaskJointDetectionEstimation);
    EXPECT_EQ(w.state.taskType, detection::taskUnfixedEstimation);
    w.command(IdSeriesFixedNumber);
    EXPECT_EQ(w.state.taskType, detection::taskFixedEstimation);
    w.command(IdTaskSeriesProcessing);
    EXPECT_EQ(w.state.taskType, detection::taskSeriesProcessing);
    EXPECT_TRUE(w.host.menuChecked(IdTaskSeriesProcessing));
    EXPECT_EQ(w.state.lpStepwiseProtocol, nullptr) << "nothing was processed";
    EXPECT_TRUE(w.host.invalidations.empty()) << "no picture changes until the next processing";

    // A repeat detection on an unknown-count series switches to blind detection.
    w.command(IdSeriesUnfixedNumber);
    w.command(IdRepeatThresholdMethod);
    EXPECT_EQ(w.state.taskType, detection::taskBlindDetection);
    EXPECT_EQ(w.state.repeatMethod, 6);
}

TEST(ShellDialogs, CreateSeriesMakesTheTypedSeriesOnce)
{
    Workbench w;
    w.command(IdSeriesUnfixedNumber);
    w.host.answerOk(DialogCreateSeries, {{EditSamplesLength, "600"}});
    w.host.answerOk(DialogSeriesStructure,
                    {{EditPulseCount, "9"}, {EditEtalonSequence, "3,4"}, {EditNoiseLevel, "10"}});
    w.command(IdCreateSeries);
    EXPECT_TRUE(w.host.scriptErrors.empty());
    const synthesis::SeriesHeader& h = *w.state.lpSeriesHeader;
    EXPECT_EQ(h.dwSeriesSize, 600u);
    EXPECT_EQ(h.wImpulseQuantity, 9) << "the typed count, although the type is unfixed";
    EXPECT_EQ(h.lpEtalonSequence[0], 3);
    EXPECT_EQ(h.lpEtalonSequence[1], 4);
    EXPECT_EQ(h.lpEtalonSequence[2], 1) << "zeros of the list become the current etalon";
    EXPECT_EQ(h.wNoiseLevel, 10);
    EXPECT_EQ(w.state.seriesType, detection::seriesUnknownWhole) << "the transient type lives for one synthesis";
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    EXPECT_EQ(w.state.minPulseCount, 3);
    EXPECT_EQ(w.state.maxPulseCount, 15);

    // Dialog 106 showed the staged range and the sequence of the mean count.
    const platform::DialogRecord& structure = w.host.dialogs[1];
    EXPECT_EQ(structure.shown.at(TextPulseCountRange), "Number of Pulses in Series (from 3 to 15)");
    EXPECT_EQ(structure.shown.at(EditPulseCount), "9");
    EXPECT_EQ(structure.shown.at(EditEtalonSequence), "1,1,1,1,1,1,1,1,1");

    int counts = 0;
    for (int i = 0; i < 20; ++i) {
        w.command(IdProcessingNextData);
        counts += w.state.lpSeriesHeader->wImpulseQuantity != 9;
    }
    EXPECT_GT(counts, 0) << "the next series draw their count again";
}

TEST(ShellDialogs, CountOutsideTheRangeBecomesTheMean)
{
    Workbench w;
    w.host.answerOk(DialogCreateSeries);
    w.host.answerOk(DialogSeriesStructure, {{EditPulseCount, "99"}});
    w.command(IdCreateSeries);
    EXPECT_EQ(w.state.requestedPulseCount, 18);
    EXPECT_EQ(w.state.lpSeriesHeader->wImpulseQuantity, 18);
}

TEST(ShellDialogs, CancelStoresNothing)
{
    Workbench w;
    const uint16_t requested = w.state.requestedPulseCount;
    w.host.answerOk(DialogCreateSeries, {{EditSamplesLength, "600"}, {EditMinInterval, "30"}});
    w.host.queueDialog({DialogSeriesStructure, {DialogStep{{{EditPulseCount, "7"}}, DialogResult::Cancel}}});
    w.command(IdCreateSeries);
    EXPECT_EQ(w.state.dialogAccepted, 0);
    EXPECT_EQ(w.state.requestedPulseCount, requested);
    EXPECT_EQ(w.state.minInterval, 40);
    EXPECT_EQ(w.state.requestedSeriesLength, 1200u);
    EXPECT_EQ(w.state.lpStepwiseProtocol, nullptr);

    w.host.answerCancel(DialogCreateSeries);
    w.command(IdCreateSeries);
    EXPECT_EQ(w.host.pendingDialogAnswers(), 0u);
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(ShellDialogs, ImpossibleSeriesParametersKeepTheDialogOpen)
{
    Workbench w;
    w.host.queueDialog({DialogCreateSeries,
                        {DialogStep{{{EditMinInterval, "0"}}, DialogResult::Ok},
                         DialogStep{{{EditMinInterval, "200"}}, DialogResult::Ok},
                         DialogStep{{{EditMinInterval, "40"}, {EditMaxInterval, "10"}}, DialogResult::Ok},
                         DialogStep{{{EditMaxInterval, "181"}, {EditSamplesLength, "40000"}}, DialogResult::Ok},
                         DialogStep{{{EditSamplesLength, "10"}}, DialogResult::Ok},
                         DialogStep{{{EditSamplesLength, "800"}}, DialogResult::Ok}}});
    w.host.answerCancel(DialogSeriesStructure);
    w.command(IdCreateSeries);
    ASSERT_EQ(w.host.dialogs.size(), 2u);
    EXPECT_EQ(w.host.dialogs[0].refusedOks, 5);
    EXPECT_EQ(w.host.dialogs[0].result, DialogResult::Ok);
    ASSERT_EQ(w.host.messages.size(), 5u);
    EXPECT_NE(w.host.messages[0].text.find("wTmin is 0"), std::string::npos);
    EXPECT_NE(w.host.messages[3].text.find("above 32767"), std::string::npos);
    EXPECT_EQ(w.state.staged.seriesLength, 800);
}

TEST(ShellDialogs, RequiredListDialogCorrectsWhatWasTyped)
{
    Workbench w;
    w.host.answerOk(DialogRequiredEtalons, {{EditRequiredCount, "3"}, {EditRequiredList, "4,25,7"}});
    w.command(IdNewPulses);
    EXPECT_EQ(w.state.active_etalons, 3);
    EXPECT_EQ(std::vector<int>(w.state.requiredList.begin(), w.state.requiredList.begin() + 3),
              (std::vector<int>{4, 2, 7}))
        << "a number above the alphabet becomes its position plus 1";
    for (int k = 1; k <= 20; ++k)
        EXPECT_EQ(w.state.etalonSelected[k - 1], k == 4 || k == 2 || k == 7) << k;

    // A count of 0 or above the capacity keeps the old count.
    w.host.answerOk(DialogRequiredEtalons, {{EditRequiredCount, "0"}, {EditRequiredList, "5 6 8"}});
    w.command(IdNewPulses);
    EXPECT_EQ(w.state.active_etalons, 3);
    EXPECT_EQ(w.state.requiredList[0], 5);
    EXPECT_EQ(w.host.dialogs[1].shown.at(EditRequiredList), "4,2,7");
    EXPECT_EQ(w.host.dialogs[1].shown.at(TextRequiredRange), "List of Required Etalons (from 1 to 20)");
}

TEST(ShellDialogs, LongSequencesGrowTheEtalonSequence)
{
    Workbench w;
    // A smaller interval admits more pulses than the sequence was made for.
    w.host.answerOk(DialogCreateSeries, {{EditMinInterval, "20"}, {EditSamplesLength, "2000"}});
    w.host.answerOk(DialogSeriesStructure, {{EditPulseCount, "95"}});
    w.command(IdCreateSeries);
    EXPECT_TRUE(w.host.scriptErrors.empty());
    EXPECT_GE(w.state.etalonSequence.size(), 99u);
    EXPECT_EQ(w.state.lpSeriesHeader->wImpulseQuantity, 95);
}

TEST(ShellSimulation, SimulationRunsAndIsShown)
{
    Workbench w;
    w.host.answerOk(DialogCreateSeries);
    w.host.answerOk(DialogLocationParameters, {{EditPulsesFrom, "6"},
                                               {EditPulsesTo, "8"},
                                               {EditNoiseSteps, "3"},
                                               {EditNoiseIncrement, "20"},
                                               {EditRepeatCount, "2"}});
    w.command(IdDetectionStatisticalSimulation);
    ASSERT_NE(w.state.lpRestErrorHeader, nullptr);
    EXPECT_EQ(w.state.lpRestErrorHeader->fReady, 1);
    EXPECT_EQ(w.state.pulseCountSteps, 3);
    EXPECT_EQ(w.state.resultView, shell::resultSimulation);
    EXPECT_EQ(w.state.simulationViewKind, 2);
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    EXPECT_EQ(w.state.lpRestErrorHeader->wPulseValues[2], 8);
    EXPECT_EQ(w.state.lpRestErrorHeader->lpNoiseLevel[2], 40);

    // A range outside the current one is not taken.
    w.host.answerOk(DialogCreateSeries);
    w.host.answerOk(DialogLocationParameters, {{EditPulsesFrom, "2"}, {EditPulsesTo, "3"}, {EditRepeatCount, "1"}});
    w.command(IdDetectionStatisticalSimulation);
    EXPECT_EQ(w.state.lpRestErrorHeader->wPulseValues[0], 6);
}

TEST(ShellTeardown, FreesEveryObjectOnce)
{
    Workbench w;
    w.next();
    w.command(IdTaskDetection);
    w.command(IdSeriesUnfixedNumber);
    w.next();
    shell::onDestroy(w.state);
    EXPECT_EQ(w.state.lpSeriesHeader, nullptr);
    EXPECT_EQ(w.state.lpStepwiseProtocol, nullptr);
    EXPECT_EQ(w.state.detectionStudy, nullptr);
    EXPECT_EQ(w.state.pulseCountTable, nullptr);
    EXPECT_EQ(w.state.lpRestErrorHeader, nullptr);
    EXPECT_TRUE(w.state.etalonSequence.empty());
    EXPECT_TRUE(w.state.traceUnfixedCaseCriteria.empty());
    for (const synthesis::PulseHeader& e : w.state.etalons)
        EXPECT_TRUE(e.lpData.empty());
    shell::onDestroy(w.state);  // a second teardown finds nothing left
}
