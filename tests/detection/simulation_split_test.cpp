// The statistical simulation split over threads and shards against the run
// of one series after another: on small grids of every task, with several
// active etalons, a fixed sub-sequence on the record or an etalon outside the
// alphabet (whose draws cannot be counted in advance), the error cells, the
// labels, the last series, every message and every random stream must come
// out the same to the last bit. And the direct jump of a random stream
// against stepping it.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "detection/statistical_simulation.h"
#include "synthesis/series_synthesis.h"
#include "synthesis/synthesis_fixture.h"
#include "tests/reference/literal_simulation.h"

namespace {

// One simulation set up as the dispatcher sets it up.
struct Grid {
    uint32_t N = 400;
    uint16_t Tmin = 30, Tmax = 120;
    uint16_t pulses = 2, pulseFrom = 3, pulseStep = 1;
    uint16_t levels = 2, levelFrom = 0, levelStep = 40;
    int32_t repeats = 3;
    uint16_t task = 8;
    std::vector<uint16_t> required{1};
    uint16_t active = 1;
    uint16_t fixedMode = 0;  // a fixed sub-sequence on the record, mode 1..4
};

struct State {
    SynthesisFixture bench;
    base::MessageRecorder sink;
    detection::RestErrorHeaderPtr header;
    int32_t noiseSeed = 10597;
    int result = 0;
};

void prepare(State& s, const Grid& c)
{
    s.bench.series = synthesis::getCutOffSeriesHeader(s.sink, 20, 20, c.Tmin, c.Tmax, c.N, std::move(s.bench.series));
    ASSERT_TRUE(s.bench.series);
    if (c.fixedMode) {
        const std::vector<int32_t> fixed{2, 3};
        synthesis::setFixedSequence(fixed, 2, c.fixedMode, 2, s.bench.series.get());
    }
    s.header = detection::getRestErrHeader(s.sink, c.pulses, c.levels, c.repeats, nullptr);
    ASSERT_TRUE(s.header);
    ASSERT_EQ(detection::initRestErrHeader(s.sink, c.pulses, c.pulseFrom, c.pulseStep, c.levels, c.levelFrom,
                                           c.levelStep, c.repeats, s.header.get()),
              1);
    s.sink.messages.clear();
}

void runLiteral(State& s, const Grid& c)
{
    s.result = literal::statCutoffSpotting(s.sink, s.header.get(), s.bench.alphabet, c.active, c.required, 1, c.task,
                                           100, 100, s.bench.series, 128, s.noiseSeed, s.bench.streams);
}

void runSplit(State& s, const Grid& c, const detection::SimulationOptions& options)
{
    s.result = detection::statCutoffSpotting(s.sink, s.header.get(), s.bench.alphabet, c.active, c.required, 1, c.task,
                                             100, 100, s.bench.series, 128, s.noiseSeed, s.bench.streams, options);
}

// The shards run one by one, each from the state before the run, then are
// merged in a shuffled order.
void runShards(State& s, const Grid& c, uint32_t count, std::mt19937& rng)
{
    std::vector<detection::SimulationPart> parts(count);
    const State before = [&] {
        State copy;
        copy.bench.series = std::make_unique<synthesis::SeriesHeader>(*s.bench.series);
        copy.bench.streams = s.bench.streams;
        copy.noiseSeed = s.noiseSeed;
        return copy;
    }();
    for (uint32_t k = 0; k < count; ++k) {
        synthesis::SeriesHeaderPtr record = std::make_unique<synthesis::SeriesHeader>(*before.bench.series);
        synthesis::RandomStreams streams = before.bench.streams;
        int32_t noise = before.noiseSeed;
        base::MessageRecorder quiet;
        detection::SimulationOptions options;
        options.threads = 1 + k % 2;
        options.shardIndex = k;
        options.shardCount = count;
        options.part = &parts[k];
        ASSERT_EQ(detection::statCutoffSpotting(quiet, s.header.get(), s.bench.alphabet, c.active, c.required, 1,
                                                c.task, 100, 100, record, 128, noise, streams, options),
                  1);
        if (parts[k].holdsLast) {
            s.bench.series = std::move(record);
            s.bench.streams = streams;
            s.noiseSeed = noise;
        }
    }
    std::shuffle(parts.begin(), parts.end(), rng);
    s.result = detection::mergeSimulationParts(s.sink, s.header.get(), 1, c.task, 100, 100, parts);
}

void expectSame(const State& split, const State& literal, const Grid& c, const std::string& how)
{
    SCOPED_TRACE(how);
    ASSERT_EQ(split.result, literal.result) << (split.sink.messages.empty() ? "" : split.sink.messages.back().text);
    const detection::RestErrorHeader &a = *split.header, &b = *literal.header;
    EXPECT_EQ(a.fReady, b.fReady);
    EXPECT_EQ(a.wTask, b.wTask);
    EXPECT_EQ(a.wLabelMark, b.wLabelMark);
    for (int k = 0; k < detection::kErrorMatrices; ++k)
        for (int i = 0; i < c.levels; ++i)
            for (int j = 0; j < c.pulses; ++j)
                ASSERT_EQ(a.lpErrors[k][i][j], b.lpErrors[k][i][j]) << "matrix " << k << " cell " << i << "," << j;
    const synthesis::SeriesHeader &x = *split.bench.series, &y = *literal.bench.series;
    EXPECT_EQ(x.lpSeriesData, y.lpSeriesData);
    EXPECT_EQ(x.lpPureData, y.lpPureData);
    EXPECT_EQ(x.lpPositions, y.lpPositions);
    EXPECT_EQ(x.lpFoundPositions, y.lpFoundPositions);
    EXPECT_EQ(x.lpEtalonSequence, y.lpEtalonSequence);
    EXPECT_EQ(x.lpCutFrom, y.lpCutFrom);
    EXPECT_EQ(x.lpCutTo, y.lpCutTo);
    EXPECT_EQ(x.wFoundPulses, y.wFoundPulses);
    EXPECT_EQ(x.wImpulseQuantity, y.wImpulseQuantity);
    EXPECT_EQ(x.wNoiseLevel, y.wNoiseLevel);
    const synthesis::RandomStreams &r = split.bench.streams, &q = literal.bench.streams;
    EXPECT_EQ(r.positionSeed, q.positionSeed);
    EXPECT_EQ(r.cutStartSeed, q.cutStartSeed);
    EXPECT_EQ(r.cutEndSeed, q.cutEndSeed);
    EXPECT_EQ(r.countSeed, q.countSeed);
    EXPECT_EQ(r.firstFixedGapSeed, q.firstFixedGapSeed);
    EXPECT_EQ(r.secondFixedGapSeed, q.secondFixedGapSeed);
    EXPECT_EQ(split.noiseSeed, literal.noiseSeed);
    ASSERT_EQ(split.sink.messages.size(), literal.sink.messages.size());
    for (size_t k = 0; k < split.sink.messages.size(); ++k) {
        EXPECT_EQ(split.sink.messages[k].text, literal.sink.messages[k].text);
        EXPECT_EQ(split.sink.messages[k].caption, literal.sink.messages[k].caption);
    }
}

Grid generate(std::mt19937& rng, int trial)
{
    Grid c;
    const uint16_t tasks[] = {8, 16, 32, 1};
    c.task = tasks[trial % 4];
    c.N = 300 + static_cast<uint32_t>(rng() % 300);
    c.Tmin = static_cast<uint16_t>(25 + rng() % 20);
    c.Tmax = static_cast<uint16_t>(c.Tmin + 40 + rng() % 100);
    const int minK = std::max<int>(synthesis::seriesMinPulses(c.N, 20, c.Tmax), 1);
    c.pulseFrom = static_cast<uint16_t>(std::max(minK, 2));
    c.pulseStep = static_cast<uint16_t>(rng() % 2);
    c.pulses = static_cast<uint16_t>(1 + rng() % 3);
    c.levels = static_cast<uint16_t>(1 + rng() % 3);
    c.levelFrom = static_cast<uint16_t>(rng() % 30);
    c.levelStep = static_cast<uint16_t>(rng() % 50);
    c.repeats = 1 + static_cast<int32_t>(rng() % 9);
    c.active = static_cast<uint16_t>(1 + rng() % 3);
    c.required = {1, 4, 9};
    if (trial % 5 == 3)
        c.fixedMode = static_cast<uint16_t>(1 + rng() % 4);
    if (trial % 7 == 5)
        c.required[1] = 30;  // not in the alphabet: the etalon stream draws
    return c;
}

TEST(SimulationSplit, ThreadsAndShardsGiveTheRunOfOneSeriesAfterAnother)
{
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 48; ++trial) {
        const Grid c = generate(rng, trial);
        SCOPED_TRACE("trial " + std::to_string(trial) + " task " + std::to_string(c.task));
        State literal;
        prepare(literal, c);
        runLiteral(literal, c);
        ASSERT_EQ(literal.result, 1) << (literal.sink.messages.empty() ? "" : literal.sink.messages[0].text);
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            State split;
            prepare(split, c);
            detection::SimulationOptions options;
            options.threads = threads;
            runSplit(split, c, options);
            expectSame(split, literal, c, std::to_string(threads) + " threads");
        }
        for (uint32_t shards : {1u, 2u, 5u}) {
            State split;
            prepare(split, c);
            runShards(split, c, shards, rng);
            expectSame(split, literal, c, std::to_string(shards) + " shards");
        }
    }
}

TEST(SimulationSplit, ACancelledRunChangesNothing)
{
    std::mt19937 rng(77);
    for (int trial = 0; trial < 12; ++trial) {
        Grid c = generate(rng, trial);
        c.repeats = 40;
        State s;
        prepare(s, c);
        s.header->fReady = 1;  // the result of an earlier run
        s.header->lpErrors[detection::kDetectionErrors][0][0] = 4321;
        const synthesis::SeriesHeader before = *s.bench.series;
        const synthesis::RandomStreams streams = s.bench.streams;
        const int32_t noise = s.noiseSeed;
        // Cancelled once an eighth k of the series are done: early, midway,
        // or at the report that closes the run.
        const uint64_t k = rng() % 8;
        detection::SimulationOptions options;
        options.threads = 1 + trial % 3;
        options.progress = [&](uint64_t done, uint64_t total) {
            EXPECT_LE(done, total);
            return done * 8 < total * k;
        };
        runSplit(s, c, options);
        EXPECT_EQ(s.result, 0);
        EXPECT_EQ(s.header->fReady, 1);
        EXPECT_EQ(s.header->lpErrors[detection::kDetectionErrors][0][0], 4321);
        EXPECT_EQ(s.bench.series->lpSeriesData, before.lpSeriesData);
        EXPECT_EQ(s.bench.series->lpPositions, before.lpPositions);
        EXPECT_EQ(s.bench.streams.positionSeed, streams.positionSeed);
        EXPECT_EQ(s.noiseSeed, noise);
        EXPECT_TRUE(s.sink.messages.empty());
    }
}

// A grid of no pulse count or no noise level runs no series: the caller's
// record, streams and noise seed stay as the literal run leaves them: the
// record is kept, not dropped.
TEST(SimulationSplit, AnEmptyGridLeavesTheCallersSeries)
{
    std::mt19937 rng(31);
    for (int empty = 0; empty < 2; ++empty) {
        Grid c = generate(rng, empty);
        (empty == 0 ? c.pulses : c.levels) = 0;
        State literal;
        prepare(literal, c);
        runLiteral(literal, c);
        for (unsigned threads : {1u, 3u}) {
            State split;
            prepare(split, c);
            detection::SimulationOptions options;
            options.threads = threads;
            runSplit(split, c, options);
            ASSERT_TRUE(split.bench.series);
            expectSame(split, literal, c, std::to_string(threads) + " threads");
        }
    }
}

// Progress goes to the calling thread only, never goes back, and its last
// report is the whole run, however many threads share it.
TEST(SimulationSplit, ProgressIsToldOnTheCallingThreadAndEndsWithTheWholeRun)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 8; ++trial) {
        Grid c = generate(rng, trial);
        c.repeats = 30;
        State s;
        prepare(s, c);
        const std::thread::id caller = std::this_thread::get_id();
        std::vector<std::pair<uint64_t, uint64_t>> told;
        detection::SimulationOptions options;
        options.threads = 1 + trial % 4;
        options.progress = [&](uint64_t done, uint64_t total) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            told.emplace_back(done, total);
            return true;
        };
        runSplit(s, c, options);
        ASSERT_EQ(s.result, 1);
        const uint64_t series = uint64_t{c.pulses} * c.levels * static_cast<uint64_t>(c.repeats);
        ASSERT_FALSE(told.empty());
        EXPECT_EQ(told.back(), std::make_pair(series, series));
        for (size_t k = 1; k < told.size(); ++k)
            EXPECT_LE(told[k - 1].first, told[k].first);
    }
}

TEST(SimulationSplit, MergeRefusesPartsThatDoNotMakeOneRun)
{
    detection::SimulationPart a, b;
    a.seriesCount = b.seriesCount = 10;
    a.cellSums.assign(1, 5);
    b.cellSums.assign(1, 7);
    a.firstSeries = 0;
    a.endSeries = 6;
    b.firstSeries = 6;
    b.endSeries = 10;
    base::MessageRecorder sink;
    detection::RestErrorHeaderPtr h = detection::getRestErrHeader(sink, 1, 1, 10, nullptr);
    const detection::SimulationPart whole[] = {b, a};
    ASSERT_EQ(detection::mergeSimulationParts(sink, h.get(), 1, 8, 100, 100, whole), 1);
    EXPECT_EQ(h->lpErrors[detection::kDetectionErrors][0][0], 0);  // (5 + 7) / 128
    EXPECT_EQ(h->fReady, 1);

    detection::SimulationPart overlapping = b, foreign = b, shortOne = a;
    overlapping.firstSeries = 5;
    foreign.seriesCount = 11;
    shortOne.endSeries = 5;
    for (const auto& parts :
         {std::vector<detection::SimulationPart>{a, overlapping}, std::vector<detection::SimulationPart>{a, foreign},
          std::vector<detection::SimulationPart>{shortOne, b}, std::vector<detection::SimulationPart>{a}}) {
        h->fReady = 0;
        sink.messages.clear();
        EXPECT_EQ(detection::mergeSimulationParts(sink, h.get(), 1, 8, 100, 100, parts), 0);
        EXPECT_EQ(h->fReady, 0);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].caption, " mergeSimulationParts ");
    }
}

TEST(RandomJump, EqualsSteppingTheGenerator)
{
    std::mt19937 rng(3);
    for (int trial = 0; trial < 200; ++trial) {
        int32_t seed = trial < 100 ? static_cast<int32_t>(rng() % 32768) : static_cast<int32_t>(rng());
        const uint64_t draws = trial % 10 == 0 ? rng() % 100000 : rng() % 300;
        int32_t stepped = seed;
        for (uint64_t k = 0; k < draws; ++k)
            synthesis::nextRandom(stepped);
        EXPECT_EQ(synthesis::jumpRandom(seed, draws), stepped) << "seed " << seed << " draws " << draws;
    }
    // The generator runs through all 2^15 states before it repeats.
    EXPECT_EQ(synthesis::jumpRandom(12345, 32768), 12345);
}

}  // namespace
