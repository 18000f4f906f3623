// The statistical simulation split into prepare, compute and finish, as the
// window drives it with the computation on a thread of its own: a cancelled
// run leaves the previous result, the series record and the random streams
// as they were; a finished one equals the run of the menu command; and while
// the computation runs the state it was prepared from does not move.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"

using namespace resources;

namespace {

struct Bench {
    shell::AppState state;
    platform::ScriptedHost host;

    Bench() { EXPECT_TRUE(shell::onCreate(state, host)); }
    ~Bench() { shell::onDestroy(state); }
    void command(int id) { shell::dispatchCommand(state, host, id); }

    // A finished simulation, then Next: the view on a processed series, the
    // simulation's result kept; the next simulation command gets this grid.
    void simulatedThenNext(const char* pulsesTo, const char* noiseSteps, const char* repeats)
    {
        answerSimulation("7", "2", "2");
        command(IdDetectionStatisticalSimulation);
        EXPECT_EQ(state.lpRestErrorHeader->fReady, 1);
        state.viewState = shell::viewResult;
        command(CmdNextData);
        answerSimulation(pulsesTo, noiseSteps, repeats);
    }
    void answerSimulation(const char* pulsesTo, const char* noiseSteps, const char* repeats)
    {
        host.answerOk(DialogCreateSeries);
        host.answerOk(DialogLocationParameters, {{EditPulsesFrom, "6"},
                                                 {EditPulsesTo, pulsesTo},
                                                 {EditNoiseSteps, noiseSteps},
                                                 {EditNoiseIncrement, "20"},
                                                 {EditRepeatCount, repeats}});
    }
    // The three phases, the computation on a thread of its own.
    std::unique_ptr<shell::SimulationRun> computed(unsigned threads, const detection::ProgressCallback& progress)
    {
        std::unique_ptr<shell::SimulationRun> run = shell::prepareSimulation(state, host);
        EXPECT_NE(run, nullptr);
        run->options.threads = threads;
        run->options.progress = progress;
        std::thread([&] { shell::computeSimulation(*run); }).join();
        return run;
    }
};

template <typename T>
void put(std::ostream& o, const char* name, const std::vector<T>& v)
{
    o << name << ':';
    for (const T& x : v)
        o << ' ' << x;
    o << '\n';
}

// What a simulation reads and leaves, as text: the header with its cells and
// labels, the series record (its etalons as places in the alphabet), the
// streams and the view.
std::string picture(const shell::AppState& s)
{
    std::ostringstream o;
    if (const detection::RestErrorHeader* h = s.lpRestErrorHeader.get()) {
        o << "header " << h->wReservedPulses << ' ' << h->wVariousPulses << ' ' << h->wReservedLevels << ' '
          << h->wNoiseLevels << ' ' << h->repeats << " labels " << h->wLabelMark << ' ' << h->wSeriesType << ' '
          << h->wTask << ' ' << (h->lpTaskName ? h->lpTaskName : "-") << ' '
          << (h->lpSeriesName ? h->lpSeriesName : "-") << ' ' << h->wCreateEnergy << ' ' << h->wProcessEnergy
          << " ready " << h->fReady << '\n';
        put(o, "pulses", h->wPulseValues);
        put(o, "levels", h->lpNoiseLevel);
        for (const auto& matrix : h->lpErrors)
            for (const auto& row : matrix)
                put(o, "cells", row);
    }
    const synthesis::SeriesHeader& r = *s.lpSeriesHeader;
    o << "series " << r.dwSeriesSize << ' ' << r.wTmin << ' ' << r.wTmax << ' ' << r.wImpulseQuantity << ' '
      << r.wNoiseLevel << ' ' << (r.lpFirstEtalon ? r.lpFirstEtalon - s.etalons.data() : -1) << '\n';
    for (const auto* v : {&r.lpPureData, &r.lpSeriesData, &r.lpPositions, &r.lpFoundPositions, &r.lpEtalonSequence,
                          &r.lpCutFrom, &r.lpCutTo})
        put(o, "record", *v);
    for (const synthesis::PulseHeader* p : r.lpPulsesList)
        o << p - s.etalons.data() << ' ';
    const synthesis::RandomStreams& g = s.random;
    o << "\nstreams " << g.etalonSeed << ' ' << g.positionSeed << ' ' << g.cutStartSeed << ' ' << g.cutEndSeed << ' '
      << g.countSeed << ' ' << g.firstFixedGapSeed << ' ' << g.secondFixedGapSeed << ' ' << g.noiseSeed << '\n';
    o << "view " << s.resultView << ' ' << s.viewState << ' ' << s.simulationViewKind << '\n';
    return o.str();
}

}  // namespace

TEST(SimulationPhases, ACancelledSimulationLeavesThePreviousResultTheRecordAndTheStreams)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (bool phased : {false, true}) {
        for (int trial = 0; trial < 2; ++trial) {
            SCOPED_TRACE(phased ? "the three phases" : "the menu command");
            Bench b;
            b.simulatedThenNext("8", "3", "30");
            const std::string before = picture(b.state);
            const size_t messages = b.host.messages.size();

            // Stops once `stopAt` series are done: at the first report, between
            // two, or at the last, when every series has been simulated.
            const uint64_t total = 3 * 3 * 30;
            const uint64_t stopAt = std::uniform_int_distribution<uint64_t>(0, total)(rng);
            SCOPED_TRACE("stopped at " + std::to_string(stopAt));
            bool stopped = false;
            auto progress = [&](uint64_t done, uint64_t) { return !(stopped = stopped || done >= stopAt); };
            if (phased) {
                std::unique_ptr<shell::SimulationRun> run = b.computed(3, progress);
                shell::finishSimulation(b.state, b.host, *run);
            } else {
                b.state.simulationOptions.progress = progress;
                b.command(IdDetectionStatisticalSimulation);
            }
            ASSERT_TRUE(stopped);
            EXPECT_TRUE(b.host.scriptErrors.empty());
            EXPECT_EQ(b.host.messages.size(), messages);
            EXPECT_EQ(picture(b.state), before);
            EXPECT_EQ(b.state.resultView, shell::resultProcessing);
        }
    }
}

TEST(SimulationPhases, APhasedRunEqualsTheMenuCommandAndLeavesTheStateAloneUntilFinished)
{
    Bench menu, phases;
    menu.simulatedThenNext("9", "4", "5");
    phases.simulatedThenNext("9", "4", "5");
    menu.command(IdDetectionStatisticalSimulation);

    const std::string before = picture(phases.state);
    uint64_t reports = 0;
    std::unique_ptr<shell::SimulationRun> run = phases.computed(4, [&](uint64_t, uint64_t) { return ++reports > 0; });
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(picture(phases.state), before) << "computed, not yet finished: the state still shows what it had";
    shell::finishSimulation(phases.state, phases.host, *run);

    EXPECT_EQ(phases.state.lpRestErrorHeader->fReady, 1);
    EXPECT_EQ(phases.state.resultView, shell::resultSimulation);
    EXPECT_EQ(picture(phases.state), picture(menu.state));
    EXPECT_EQ(phases.host.messages.size(), menu.host.messages.size());
    EXPECT_EQ(phases.host.invalidations.size(), menu.host.invalidations.size());
}
