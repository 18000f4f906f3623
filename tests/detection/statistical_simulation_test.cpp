// The error-statistics record and the statistical simulation over pulse
// counts and noise levels.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/statistical_simulation.h"
#include "synthesis/series_synthesis.h"
#include "synthesis/synthesis_fixture.h"

namespace {

// The simulation as the dispatcher starts it: a series record made for the
// length, an error record sized and initialised, then the run.
struct Simulation {
    SynthesisFixture bench;
    base::MessageRecorder sink;
    detection::RestErrorHeaderPtr header;
    std::vector<uint16_t> required{1};
    uint16_t active = 1;
    int32_t noiseSeed = 10597;

    void prepare(uint32_t N, uint16_t pulses, uint16_t pulseFrom, uint16_t pulseStep, uint16_t levels,
                 uint16_t levelFrom, uint16_t levelStep, int32_t repeats, uint16_t Tmin = 40, uint16_t Tmax = 181)
    {
        bench.series = synthesis::getCutOffSeriesHeader(sink, 20, 20, Tmin, Tmax, N, std::move(bench.series));
        ASSERT_TRUE(bench.series);
        header = detection::getRestErrHeader(sink, pulses, levels, repeats, std::move(header));
        ASSERT_TRUE(header);
        ASSERT_EQ(detection::initRestErrHeader(sink, pulses, pulseFrom, pulseStep, levels, levelFrom, levelStep,
                                               repeats, header.get()),
                  1);
    }

    int run(uint16_t task, uint16_t seriesType = 1)
    {
        return detection::statCutoffSpotting(sink, header.get(), bench.alphabet, active, required, seriesType, task,
                                             100, 100, bench.series, 128, noiseSeed, bench.streams);
    }

    int32_t detection(int i, int j) const { return header->lpErrors[detection::kDetectionErrors][i][j]; }
};

// Re-use, clearing and release: tests/detection/record_reuse_test.cpp.
TEST(RestErrorRecord, KeepsItsReservedSizesWhileTheyServe)
{
    base::MessageRecorder sink;
    detection::RestErrorHeaderPtr h = detection::getRestErrHeader(sink, 5, 10, 100, nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->wVariousPulses, 5);
    EXPECT_EQ(h->repeats, 100);
    EXPECT_EQ(h->fReady, 0);
    h->fReady = 1;
    h = detection::getRestErrHeader(sink, 3, 8, 7, std::move(h));
    EXPECT_EQ(h->wVariousPulses, 3);
    EXPECT_EQ(h->wNoiseLevels, 8);
    EXPECT_EQ(h->repeats, 7);

    // More pulse values within the same total: the reserved sizes stay, so
    // initialising for them is refused, and nothing reaches past the arrays.
    h = detection::getRestErrHeader(sink, 10, 5, 7, std::move(h));
    EXPECT_EQ(h->wReservedPulses, 5);
    EXPECT_EQ(h->wReservedLevels, 10);
    for (const auto& matrix : h->lpErrors)
        for (int i = 0; i < h->wNoiseLevels; ++i)
            ASSERT_GE(matrix[i].size(), h->wVariousPulses);
    EXPECT_EQ(detection::initRestErrHeader(sink, 10, 1, 1, 5, 0, 5, 7, h.get()), 0);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Неверно задан wVariousPulsesNumber!");
    EXPECT_EQ(sink.messages[0].caption, " initRestErrHeader ");
}

TEST(RestErrorRecord, InitialisesValuesAsFromPlusStepTimesIndex)
{
    base::MessageRecorder sink;
    detection::RestErrorHeaderPtr h = detection::getRestErrHeader(sink, 4, 3, 10, nullptr);
    h->lpErrors[detection::kRestoringErrors][2][3] = 5;
    h->fReady = 1;
    ASSERT_EQ(detection::initRestErrHeader(sink, 4, 6, 2, 3, 0, 25, 9, h.get()), 1);
    EXPECT_EQ(h->wPulseValues[0], 6);
    EXPECT_EQ(h->wPulseValues[3], 12);
    EXPECT_EQ(h->lpNoiseLevel[0], 0);
    EXPECT_EQ(h->lpNoiseLevel[2], 50);
    EXPECT_EQ(h->repeats, 9);
    EXPECT_EQ(h->fReady, 0);
    EXPECT_EQ(h->lpErrors[detection::kRestoringErrors][2][3], 0);

    ASSERT_EQ(detection::initRestErrHeader(sink, 4, 7, 0, 3, 60000, 1, 9, h.get()), 1);
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(h->wPulseValues[j], 7) << "a step of 0 repeats the value";
    EXPECT_EQ(h->lpNoiseLevel[0], -5536) << "values are 16-bit";

    EXPECT_EQ(detection::initRestErrHeader(sink, 4, 1, 1, 4, 0, 1, 9, h.get()), 0);
    EXPECT_EQ(detection::initRestErrHeader(sink, 1, 1, 1, 1, 0, 1, 9, nullptr), 0);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "Неверно задан wNoiseLevels!");
    EXPECT_EQ(sink.messages[1].text, "Не определен lpErrorHeader!");
    EXPECT_EQ(sink.messages[1].caption, " initRestErrHeader ");

    ASSERT_EQ(detection::addInitRestErrHeader(sink, 2, 16, 80, -3, h.get()), 1);
    EXPECT_EQ(h->wLabelMark, 2);
    EXPECT_EQ(h->wSeriesType, 2);
    EXPECT_EQ(h->wTask, 16);
    EXPECT_STREQ(h->lpTaskName, "joint detection and estimation");
    EXPECT_STREQ(h->lpSeriesName, "known number of cut-off pulses");
    EXPECT_EQ(h->wCreateEnergy, 80);
    EXPECT_EQ(h->wProcessEnergy, -3);
    EXPECT_EQ(detection::addInitRestErrHeader(sink, 2, 16, 80, -3, nullptr), 0);
    EXPECT_EQ(sink.messages.back().caption, " addInitRestErrHeader ");
}

TEST(SimulationError, IsTheMeanSquaredPositionErrorInFixedPoint)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(200, 2));
    synthesis::SeriesHeader& h = *bench.series;
    h.lpPositions[0] = 10;
    h.lpPositions[1] = 50;
    h.lpFoundPositions[0] = 10;
    h.lpFoundPositions[1] = 53;
    // An error of 3 samples on one of two pulses: (2 + 2*128*9) div 4 = 576,
    // and 576 div 128 = 4 in the cell.
    EXPECT_EQ(detection::seriesDetectionError(h, 2), 576);
    EXPECT_EQ(detection::seriesDetectionError(h, 2) / 128, 4);
    h.lpFoundPositions[1] = 51;
    EXPECT_EQ(detection::seriesDetectionError(h, 2), 64);  // 128 * 1 / 2
    EXPECT_EQ(detection::seriesDetectionError(h, 0), 0);
}

TEST(StatisticalSimulation, AccumulatesTheErrorOfWhatTheTaskLeavesInTheSeries)
{
    // A task that estimates nothing leaves the -1 of synthesis: the cell
    // then holds the error of those against the true positions.
    for (uint16_t m : {1, 2, 3, 5}) {
        Simulation sim;
        sim.prepare(200, 1, m, 1, 1, 0, 1, 1);
        ASSERT_EQ(sim.run(64), 1);
        const synthesis::SeriesHeader& s = *sim.bench.series;
        int64_t E = 0;
        for (int k = 0; k < m; ++k)
            E += int64_t{s.lpPositions[k] + 1} * (s.lpPositions[k] + 1);
        EXPECT_EQ(sim.detection(0, 0), (m + 2 * 128 * E) / (2 * m) / 128) << m;
        EXPECT_EQ(s.wImpulseQuantity, m);
    }
}

TEST(StatisticalSimulation, FindsNoErrorOnQuietRectanglesForEveryEstimatingTask)
{
    for (uint16_t task : {8, 16, 32}) {
        SCOPED_TRACE(task);
        Simulation sim;
        sim.prepare(600, 3, 3, 2, 2, 0, 300, 3);  // pulse values 3, 5, 7; noise 0 and 300
        ASSERT_EQ(sim.run(task, 2), 1);
        EXPECT_TRUE(sim.sink.messages.empty());
        const detection::RestErrorHeader& h = *sim.header;
        EXPECT_EQ(h.fReady, 1);
        EXPECT_EQ(h.wLabelMark, 2);
        EXPECT_EQ(h.wTask, task);
        EXPECT_STREQ(h.lpSeriesName, "known number of cut-off pulses");
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(sim.detection(0, j), 0) << "quiet series, exact positions";
            EXPECT_GT(sim.detection(1, j), 0) << "noise five times the rectangle moves something";
            for (int k : {0, 2, 3, 4, 5})
                for (int i = 0; i < 2; ++i)
                    EXPECT_EQ(h.lpErrors[k][i][j], 0);
        }
    }
}

TEST(StatisticalSimulation, NoisesEverySeriesOnceFromTheApplicationsNoiseStream)
{
    Simulation sim;
    sim.prepare(200, 2, 2, 1, 3, 10, 10, 4);  // 2 values x 3 levels x 4 repeats
    ASSERT_EQ(sim.run(8), 1);
    int32_t expected = 10597;
    for (int draw = 0; draw < 2 * 3 * 4 * 200 * 12; ++draw)
        synthesis::nextRandom(expected);
    EXPECT_EQ(sim.noiseSeed, expected);
    EXPECT_EQ(sim.bench.series->wImpulseQuantity, 3) << "the series holds the last one simulated";
    EXPECT_EQ(sim.bench.series->wNoiseLevel, 30);

    // The same seeds give the same statistics.
    Simulation again;
    again.prepare(200, 2, 2, 1, 3, 10, 10, 4);
    ASSERT_EQ(again.run(8), 1);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(again.detection(i, j), sim.detection(i, j));
}

struct OdometerCase {
    std::vector<uint16_t> required;
    uint16_t m;
    int32_t R;
    std::vector<int16_t> lastSeries;  // etalons of the last series simulated
};

TEST(StatisticalSimulation, WalksTheEtalonChoicesLikeAnOdometer)
{
    const OdometerCase cases[] = {
        // m = 3, R = 4: step (4*3) >> 3 = 1; the odometer steps before the
        // second, third and fourth series, so the first has etalon 5 for
        // every pulse and the fourth is three steps on.
        {{5, 9}, 3, 4, {9, 9, 5}},
        {{5, 9}, 3, 3, {5, 9, 5}},
        {{5, 9}, 3, 5, {5, 5, 9}},
        {{5, 9}, 3, 8, {9, 9, 9}},
        {{5, 9}, 3, 16, {9, 9, 9}},
        // R*m below 2^m: step 0, a step before every series, the first too.
        {{5, 9}, 3, 1, {9, 5, 5}},
        {{5, 9}, 3, 2, {5, 9, 5}},
        {{5, 9}, 5, 6, {5, 9, 9, 5, 5}},
        // Three active etalons: step (9*2) >> 2 = 4, steps before series 3, 5,
        // 7 and 9; four steps of a base-3 odometer.
        {{2, 4, 6}, 2, 9, {4, 4}},
    };
    for (const OdometerCase& c : cases) {
        SCOPED_TRACE("m=" + std::to_string(c.m) + " R=" + std::to_string(c.R));
        Simulation sim;
        sim.required = c.required;
        sim.active = static_cast<uint16_t>(c.required.size());
        sim.prepare(200, 1, c.m, 0, 1, 0, 0, c.R, 30, 181);
        ASSERT_EQ(sim.run(64), 1);
        const synthesis::SeriesHeader& s = *sim.bench.series;
        EXPECT_EQ(std::vector<int16_t>(s.lpEtalonSequence.begin(), s.lpEtalonSequence.begin() + c.m), c.lastSeries);
    }
}

struct Snapshot {
    detection::RestErrorHeader header;
    std::vector<int16_t> samples;
    const synthesis::SeriesHeader* series;
    int32_t noiseSeed, positionSeed;
};

Snapshot snapshot(const Simulation& sim)
{
    return {*sim.header, sim.bench.series ? sim.bench.series->lpSeriesData : std::vector<int16_t>{},
            sim.bench.series.get(), sim.noiseSeed, sim.bench.streams.positionSeed};
}

void expectUnchanged(const Snapshot& a, const Simulation& sim)
{
    const detection::RestErrorHeader& h = *sim.header;
    EXPECT_EQ(h.fReady, a.header.fReady);
    EXPECT_EQ(h.wTask, a.header.wTask);
    EXPECT_EQ(h.wLabelMark, a.header.wLabelMark);
    EXPECT_EQ(h.lpErrors, a.header.lpErrors);
    EXPECT_EQ(h.wPulseValues, a.header.wPulseValues);
    EXPECT_EQ(sim.bench.series.get(), a.series);
    if (a.series) {
        EXPECT_EQ(sim.bench.series->lpSeriesData, a.samples);
    }
    EXPECT_EQ(sim.noiseSeed, a.noiseSeed);
    EXPECT_EQ(sim.bench.streams.positionSeed, a.positionSeed);
}

TEST(StatisticalSimulation, RefusesWhatItCannotSimulateAndKeepsThePreviousResult)
{
    struct Case {
        const char* why;
        void (*spoil)(Simulation&);
    };
    const Case cases[] = {
        {"no repeats", [](Simulation& s) { s.header->repeats = 0; }},
        {"repeats counting 0 in 16 bits", [](Simulation& s) { s.header->repeats = 65536; }},
        {"no active etalon", [](Simulation& s) { s.active = 0; }},
        {"more active etalons than listed", [](Simulation& s) { s.active = 2; }},
        {"first etalon outside the alphabet", [](Simulation& s) { s.required = {21}; }},
        {"first etalon 0", [](Simulation& s) { s.required = {0}; }},
        {"pulse value 0", [](Simulation& s) { s.header->wPulseValues[1] = 0; }},
        {"pulse value 32", [](Simulation& s) { s.header->wPulseValues[0] = 32; }},
        {"more pulses than 600 samples admit", [](Simulation& s) { s.header->wPulseValues[1] = 16; }},
        {"fewer pulses than 600 samples need", [](Simulation& s) { s.header->wPulseValues[0] = 2; }},
        {"negative noise", [](Simulation& s) { s.header->lpNoiseLevel[0] = -1; }},
        {"noise past the generator",
         [](Simulation& s) { s.header->lpNoiseLevel[1] = detection::kMaxSimulationNoise + 1; }},
        {"gaps the length cannot take", [](Simulation& s) { s.bench.series->wTmax = 10; }},
        {"no series", [](Simulation& s) { s.bench.series.reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Simulation sim;
        sim.prepare(600, 2, 4, 3, 2, 0, 25, 2);  // pulse values 4, 7
        ASSERT_EQ(sim.run(8), 1);
        c.spoil(sim);
        const Snapshot before = snapshot(sim);
        sim.sink.messages.clear();
        EXPECT_EQ(sim.run(32), 0);
        ASSERT_EQ(sim.sink.messages.size(), 1u);
        EXPECT_EQ(sim.sink.messages[0].caption, "statCutoffSpotting");
        EXPECT_EQ(sim.sink.messages[0].text.rfind("Несовместимые входные параметры!\n\n", 0), 0u);
        expectUnchanged(before, sim);
    }

    base::MessageRecorder sink;
    Simulation sim;
    sim.prepare(600, 1, 4, 0, 1, 0, 0, 1);
    EXPECT_EQ(detection::statCutoffSpotting(sink, nullptr, sim.bench.alphabet, 1, sim.required, 1, 8, 100, 100,
                                            sim.bench.series, 128, sim.noiseSeed, sim.bench.streams),
              0);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Absence of RestoreErrorHeader!");
    EXPECT_EQ(sink.messages[0].caption, "statCutoffSpotting");
}

}  // namespace
