// " Location Parameters" opens with a pulse-count range its own OK runs:
// for every series length the window offers, OK on the untouched range makes
// a simulation and no refusal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/statistical_simulation.h"
#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/parameter_dialogs.h"

using namespace resources;

namespace {

struct Workbench {
    shell::AppState state;
    platform::ScriptedHost host;
    bool started = false;

    Workbench() { started = shell::onCreate(state, host); }
    ~Workbench() { shell::onDestroy(state); }
    void command(int id) { shell::dispatchCommand(state, host, id); }
};

int limitLow(int length, int tmax) { return (length + 20 - 1) / tmax; }
int limitHigh(int length, int tmin) { return (length - 20 + tmin) / tmin; }

// Detection, Statistical Simulation with `length` typed into "Create Series"
// and the pulse counts of " Location Parameters" left as offered; the noise
// grid and the repeats are made small, and the task is one that estimates
// nothing, so that each run is quick. Returns the fields the dialog showed.
platform::DialogFields simulateUntouched(Workbench& w, int length)
{
    w.host.messages.clear();
    w.host.answerOk(DialogCreateSeries, {{EditSamplesLength, std::to_string(length)}});
    w.host.answerOk(DialogLocationParameters, {{EditNoiseSteps, "1"}, {EditRepeatCount, "1"}});
    w.command(IdDetectionStatisticalSimulation);
    EXPECT_TRUE(w.host.scriptErrors.empty()) << length;
    if (w.host.dialogs.empty() || w.host.dialogs.back().dialogId != DialogLocationParameters) {
        ADD_FAILURE() << "no Location Parameters dialog at length " << length;
        return {};
    }
    return w.host.dialogs.back().shown;
}

int shownNumber(const platform::DialogFields& fields, int32_t id)
{
    const auto it = fields.find(id);
    return it == fields.end() ? -1 : std::stoi(it->second);
}

// Runs every length and checks the offer and the run. Lengths whose range
// holds no count the simulation takes are only counted.
void checkLengths(Workbench& w, const std::vector<int>& lengths, int tmin, int tmax)
{
    for (int length : lengths) {
        const int low = std::max(limitLow(length, tmax), 1);
        const int high = std::min(limitHigh(length, tmin), detection::kMaxSimulationPulses);
        ASSERT_LE(low, high) << "a length with no admissible count: " << length;
        const platform::DialogFields shown = simulateUntouched(w, length);
        EXPECT_EQ(shownNumber(shown, EditPulsesFrom), low) << length;
        EXPECT_EQ(shownNumber(shown, EditPulsesTo), high) << length;
        EXPECT_GE(shownNumber(shown, EditPulsesIncrement), 1) << length;
        EXPECT_TRUE(w.host.messages.empty()) << length << ": " << w.host.messages.front().text;
        ASSERT_NE(w.state.lpRestErrorHeader, nullptr) << length;
        EXPECT_EQ(w.state.lpRestErrorHeader->fReady, 1) << length;
        EXPECT_EQ(w.state.lpRestErrorHeader->wVariousPulses, high - low + 1) << length;
        EXPECT_EQ(w.state.lpRestErrorHeader->wPulseValues[0], low) << length;
        EXPECT_EQ(w.state.lpSeriesHeader->dwSeriesSize, static_cast<uint32_t>(length));
        EXPECT_EQ(w.state.resultView, shell::resultSimulation);
    }
}

}  // namespace

TEST(SimulationDialogOffer, EveryLengthOfTheStartIntervalsRunsUntouched)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    w.command(IdTaskSeriesProcessing);
    std::vector<int> lengths;
    // Every length up to where the least count passes 1 (a short series reads
    // 0 pulses at the least), the length options, the lengths around the
    // greatest count passing the simulation's 31, and the longest lengths
    // whose least count the simulation still takes.
    for (int n = 20; n <= 400; ++n)
        lengths.push_back(n);
    for (int n : {600, 1200, 1219, 1220, 1221, 1259, 1260, 1261, 2000, 3000, 4000, 5000, 5771, 5772})
        lengths.push_back(n);
    for (int n = 401; n < 5772; n += 149)
        lengths.push_back(n);
    checkLengths(w, lengths, 40, 181);
}

TEST(SimulationDialogOffer, LengthsOfOtherIntervalsRunUntouched)
{
    for (auto [tmin, tmax] : {std::pair{20, 100}, std::pair{100, 100}, std::pair{20, 1200}, std::pair{25, 181}}) {
        SCOPED_TRACE(std::to_string(tmin) + "," + std::to_string(tmax));
        Workbench w;
        w.command(IdTaskSeriesProcessing);
        // The intervals come in through "Create series...", as the user sets them.
        w.host.answerOk(DialogCreateSeries, {{EditMinInterval, std::to_string(tmin)},
                                             {EditMaxInterval, std::to_string(tmax)},
                                             {EditSamplesLength, "600"}});
        w.host.answerOk(DialogSeriesStructure);
        w.command(IdCreateSeries);
        ASSERT_EQ(w.state.minInterval, tmin);
        ASSERT_EQ(w.state.maxInterval, tmax);
        std::vector<int> lengths;
        for (int n : {20, 21, 50, 99, 100, 119, 120, 200, 600, 1200, 3000, 9000, 32767})
            if (std::max(limitLow(n, tmax), 1) <= std::min(limitHigh(n, tmin), detection::kMaxSimulationPulses))
                lengths.push_back(n);
        checkLengths(w, lengths, tmin, tmax);
    }
}

TEST(SimulationDialogOffer, ALengthWithNoCountTheSimulationTakesKeepsItsRangeAndIsToldWhy)
{
    Workbench w;
    w.command(IdTaskSeriesProcessing);
    // (6000 + 19) / 181 = 33 pulses at the least.
    const platform::DialogFields shown = simulateUntouched(w, 6000);
    EXPECT_EQ(shownNumber(shown, EditPulsesFrom), 33);
    EXPECT_EQ(shownNumber(shown, EditPulsesTo), 150);
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_NE(w.host.messages[0].text.find("outside 1 to 31"), std::string::npos) << w.host.messages[0].text;
}

TEST(SimulationDialogOffer, TheOfferIsTheStatesRangeCutToTheSimulationsCounts)
{
    shell::AppState s;
    s.minPulseCount = 0;
    s.maxPulseCount = 4;
    s.pulseCountIncrement = 0;
    shell::SimulationPulseOffer o = shell::offeredSimulationPulses(s);
    EXPECT_EQ(o.from, 1);
    EXPECT_EQ(o.to, 4);
    EXPECT_EQ(o.increment, 1);

    s.minPulseCount = 6;
    s.maxPulseCount = 30;
    s.pulseCountIncrement = 3;
    o = shell::offeredSimulationPulses(s);
    EXPECT_EQ(o.from, 6);
    EXPECT_EQ(o.to, 30);
    EXPECT_EQ(o.increment, 3);

    s.maxPulseCount = 819;
    EXPECT_EQ(shell::offeredSimulationPulses(s).to, 31);

    s.minPulseCount = 181;
    o = shell::offeredSimulationPulses(s);
    EXPECT_EQ(o.from, 181);
    EXPECT_EQ(o.to, 819);
}
