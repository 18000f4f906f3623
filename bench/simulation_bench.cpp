// The statistical simulation on the default grid of the " Location
// Parameters" dialog: pulse counts 6..30, noise levels 0, 5, ..., 140 and 100
// repeats, 72,500 series of 1200 samples (Tmin 40, Tmax 181, rectangles "a"),
// for task 8 (fixed-case run without the exhaustive stage), 16 (sequential
// method) and 32 (true positions and the energy programme). Side by side:
// the run as it first was (one series after another, literal estimators),
// the same loop with the fast estimators, and the split run on 1 and 2
// threads. Wall time; the literal runs take minutes, so every case runs once.

#include <benchmark/benchmark.h>

#include <vector>

#include "detection/statistical_simulation.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"
#include "tests/reference/literal_simulation.h"

namespace {

constexpr uint16_t kPulses = 25, kPulseFrom = 6, kLevels = 29, kLevelStep = 5, kRepeats = 100;
constexpr uint32_t kN = 1200;
constexpr double kSeries = double{kPulses} * kLevels * kRepeats;

struct DefaultGrid {
    std::array<synthesis::PulseHeader, 20> alphabet{};
    synthesis::RandomStreams streams;
    base::MessageRecorder sink;
    synthesis::SeriesHeaderPtr series;
    detection::RestErrorHeaderPtr header;
    std::vector<uint16_t> required{1};
    int32_t noiseSeed = 10597;

    DefaultGrid()
    {
        synthesis::makeAlphabet(sink, 128, 20, 20, alphabet, streams.etalonSeed);
        series = synthesis::getCutOffSeriesHeader(sink, 20, 20, 40, 181, kN, std::move(series));
        header = detection::getRestErrHeader(sink, kPulses, kLevels, kRepeats, nullptr);
        detection::initRestErrHeader(sink, kPulses, kPulseFrom, 1, kLevels, 0, kLevelStep, kRepeats, header.get());
    }
};

enum Variant { LiteralRun = 0, LiteralLoop = 1, Split = 2 };

// Arguments: task, variant, threads (for the split run).
void BM_Simulation(benchmark::State& state)
{
    const auto task = static_cast<uint16_t>(state.range(0));
    const auto variant = static_cast<Variant>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        DefaultGrid g;
        state.ResumeTiming();
        if (variant == Split) {
            detection::SimulationOptions options;
            options.threads = static_cast<unsigned>(state.range(2));
            detection::statCutoffSpotting(g.sink, g.header.get(), g.alphabet, 1, g.required, 1, task, 100, 100,
                                          g.series, 128, g.noiseSeed, g.streams, options);
        } else {
            literal::statCutoffSpotting(
                g.sink, g.header.get(), g.alphabet, 1, g.required, 1, task, 100, 100, g.series, 128, g.noiseSeed,
                g.streams, {}, variant == LiteralRun ? literal::Estimators::Literal : literal::Estimators::Product);
        }
        benchmark::DoNotOptimize(g.header->lpErrors[detection::kDetectionErrors][0][0]);
    }
    state.counters["series/s"] = benchmark::Counter(kSeries, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Simulation)
    ->ArgNames({"task", "variant", "threads"})
    ->ArgsProduct({{8, 16, 32}, {LiteralRun, LiteralLoop}, {1}})
    ->ArgsProduct({{8, 16, 32}, {Split}, {1, 2}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
