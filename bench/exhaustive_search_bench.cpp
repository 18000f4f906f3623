// The exhaustive search over the admissible ranges of 3 pulses, the literal
// odometer beside the bounded walk: Tmin 20, Tmax = N, L 20, amplitude 128,
// noise 25, N 500 and 2000. The first argument is the series length, the
// second the etalons (0: rectangles "a" only, 1: etalons 1, 3, 5 in turn),
// the third for the bounded walk whether it gets the pipeline's hint (the
// energy programme's positions after the improvement loop) or none (-1s).
//
// The literal search at N 2000 judges about 1.2e9 combinations and takes
// minutes, so it runs once (Iterations(1)).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/bench_series.h"
#include "detection/fixed_case_criteria.h"
#include "detection/stepwise_protocol.h"
#include "tests/reference/literal_estimators.h"

namespace {

constexpr uint16_t kTmin = 20, kL = kBenchPulseLength, kPulses = 3;

// Rectangles "a" only, or etalons 1, 3, 5 in turn.
std::vector<uint16_t> etalonsOf(bool mixed)
{
    std::vector<uint16_t> sequence;
    for (int k = 0; k < 400; ++k)
        sequence.push_back(mixed ? static_cast<uint16_t>(1 + 2 * (k % 3)) : uint16_t{1});
    return sequence;
}

struct SearchBench : BenchSeries {
    uint16_t Tmax = 0;
    std::vector<int16_t> hint;

    SearchBench(uint32_t N, bool mixed)
        : BenchSeries(N, kPulses, kTmin, static_cast<uint16_t>(N), etalonsOf(mixed)), Tmax(static_cast<uint16_t>(N))
    {
        const int32_t programme = detection::estimateByEnergies(sink, kTmin, Tmax, kL, kPulses, *series);
        uint16_t passes = 0;
        detection::runImprovementLoop(sink, kTmin, Tmax, kL, kPulses, *series, programme, passes);
        hint.assign(series->lpFoundPositions.begin(), series->lpFoundPositions.begin() + kPulses);
    }

    void setStart(bool withHint)
    {
        for (int k = 0; k < kPulses; ++k)
            series->lpFoundPositions[k] = withHint ? hint[k] : int16_t{-1};
    }

    void report(benchmark::State& state, int32_t measure) const
    {
        state.counters["measure"] = measure;
        state.counters["p0"] = series->lpFoundPositions[0];
        state.counters["p1"] = series->lpFoundPositions[1];
        state.counters["p2"] = series->lpFoundPositions[2];
    }
};

void BM_ExhaustiveLiteral(benchmark::State& state)
{
    SearchBench w(static_cast<uint32_t>(state.range(0)), state.range(1) != 0);
    int32_t result = 0;
    for (auto _ : state) {
        w.setStart(true);
        result = literal::searchInIntervals(w.sink, kTmin, w.Tmax, kL, kPulses, *w.series);
        benchmark::DoNotOptimize(result);
    }
    w.report(state, result);
}
BENCHMARK(BM_ExhaustiveLiteral)->Args({500, 0})->Args({500, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExhaustiveLiteral)->Args({2000, 0})->Args({2000, 1})->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ExhaustiveFast(benchmark::State& state)
{
    SearchBench w(static_cast<uint32_t>(state.range(0)), state.range(1) != 0);
    const bool withHint = state.range(2) != 0;
    int32_t result = 0;
    for (auto _ : state) {
        w.setStart(withHint);
        result = detection::searchInIntervals(w.sink, kTmin, w.Tmax, kL, kPulses, *w.series);
        benchmark::DoNotOptimize(result);
    }
    w.report(state, result);
}
BENCHMARK(BM_ExhaustiveFast)->ArgsProduct({{500, 2000}, {0, 1}, {1, 0}})->Unit(benchmark::kMillisecond);

}  // namespace
