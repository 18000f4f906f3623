// Fixed-case estimation: the energy programme, the improvement loop, the
// staged run, the sequential method, the pulse-count ranking and a small
// statistical simulation, at the start-up settings (N 1200, Tmin 40,
// Tmax 181, L 20, 18 pulses, noise 25) and at larger cases. Where a faster
// programme replaced a literal one, both run side by side: *_Literal is the
// reference kept under tests/reference, *_Fast the product.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <vector>

#include "bench/bench_series.h"
#include "detection/fixed_case_criteria.h"
#include "detection/pulse_count_ranking.h"
#include "detection/sequential_method.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "tests/reference/literal_estimators.h"

namespace {

constexpr uint16_t kTmin = 40, kTmax = 181, kL = kBenchPulseLength;
constexpr int16_t kAmplitude = kBenchAmplitude;

// Rectangles "a" throughout.
struct Workbench : BenchSeries {
    Workbench(uint32_t N, uint16_t K, uint16_t Tmax = kTmax)
        : BenchSeries(N, K, kTmin, Tmax, std::vector<uint16_t>(1000, 1))
    {
    }
};

using Estimator = int32_t (*)(base::MessageSink&, uint16_t, uint16_t, uint16_t, uint16_t, synthesis::SeriesHeader&);
using CountChooser = int32_t (*)(base::MessageSink&, uint16_t, uint16_t, bool, detection::StepwiseProtocol*,
                                 synthesis::SeriesHeader&);
using CountRanker = int32_t (*)(base::MessageSink&, uint16_t, uint16_t, bool, detection::StepwiseProtocol*,
                                detection::PulseCountTable*, synthesis::SeriesHeader&);

const Estimator fastProgramme = static_cast<Estimator>(&detection::estimateByEnergies);

// Arguments: series length, pulse count, Tmax. At 7200 samples Tmax 400
// lets 20 pulses fill the series.
void programmeSizes(benchmark::internal::Benchmark* b)
{
    b->Args({1200, 18, kTmax})->Args({7200, 20, 400})->Args({7200, 40, 400})->Args({7200, 100, 400});
    b->Unit(benchmark::kMillisecond);
}

void energyProgramme(benchmark::State& state, Estimator estimate)
{
    const auto K = static_cast<uint16_t>(state.range(1)), Tmax = static_cast<uint16_t>(state.range(2));
    Workbench w(static_cast<uint32_t>(state.range(0)), K, Tmax);
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate(w.sink, kTmin, Tmax, kL, K, *w.series));
}
void BM_EnergyProgramme_Literal(benchmark::State& state) { energyProgramme(state, &literal::estimateByEnergies); }
void BM_EnergyProgramme_Fast(benchmark::State& state) { energyProgramme(state, fastProgramme); }
BENCHMARK(BM_EnergyProgramme_Literal)->Apply(programmeSizes);
BENCHMARK(BM_EnergyProgramme_Fast)->Apply(programmeSizes);

// Arguments: series length, pulse count.
void sizes(benchmark::internal::Benchmark* b) { b->Args({1200, 18})->Args({7200, 40})->Unit(benchmark::kMillisecond); }

void BM_ImprovementLoop(benchmark::State& state)
{
    const auto K = static_cast<uint16_t>(state.range(1));
    Workbench w(static_cast<uint32_t>(state.range(0)), K);
    const int32_t start = detection::estimateByEnergies(w.sink, kTmin, kTmax, kL, K, *w.series);
    const std::vector<int16_t> programme(w.series->lpFoundPositions.begin(), w.series->lpFoundPositions.begin() + K);
    uint16_t passes = 0;
    for (auto _ : state) {
        std::copy(programme.begin(), programme.end(), w.series->lpFoundPositions.begin());
        benchmark::DoNotOptimize(detection::runImprovementLoop(w.sink, kTmin, kTmax, kL, K, *w.series, start, passes));
    }
    state.counters["passes"] = passes;
}
BENCHMARK(BM_ImprovementLoop)->Apply(sizes);

void BM_RunFixedCaseEstimation(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    const auto K = static_cast<uint16_t>(state.range(1));
    Workbench w(N, K);
    detection::StepwiseProtocolPtr protocol;
    for (auto _ : state) {
        protocol = detection::getStepwiseProtocol(7, w.series->wMaxPulses, std::move(protocol));
        benchmark::DoNotOptimize(
            detection::runFixedCaseEstimation(w.sink, *w.series, protocol.get(), kTmin, kTmax, kL, K, N));
    }
}
BENCHMARK(BM_RunFixedCaseEstimation)->Apply(sizes);

// Every admissible count of a series of the given length (the start-up
// settings otherwise): at 1200 samples counts 6..30, at 7200 39..180, at
// 32767 181..819. The literal runs at 32767 take minutes: one iteration.
void countSizes(benchmark::internal::Benchmark* b) { b->Arg(1200)->Arg(7200)->Unit(benchmark::kMillisecond); }
void longSeries(benchmark::internal::Benchmark* b) { b->Arg(32767)->Iterations(1)->Unit(benchmark::kMillisecond); }
uint16_t defaultCount(uint32_t N) { return static_cast<uint16_t>(N * 18 / 1200); }

void sequential(benchmark::State& state, CountChooser choose)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    Workbench w(N, std::min<uint16_t>(defaultCount(N), 400));
    detection::StepwiseProtocolPtr protocol;
    for (auto _ : state) {
        protocol = detection::getStepwiseProtocol(7, w.series->wMaxPulses, std::move(protocol));
        benchmark::DoNotOptimize(choose(w.sink, kTmin, kTmax, false, protocol.get(), *w.series));
    }
}
void BM_SequentialMethod_Literal(benchmark::State& state) { sequential(state, &literal::sequentialMethod); }
void BM_SequentialMethod_Fast(benchmark::State& state) { sequential(state, &detection::sequentialMethod); }
BENCHMARK(BM_SequentialMethod_Literal)->Apply(countSizes);
BENCHMARK(BM_SequentialMethod_Literal)->Apply(longSeries);
BENCHMARK(BM_SequentialMethod_Fast)->Apply(countSizes)->Arg(32767);

void ranking(benchmark::State& state, CountRanker rank)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    Workbench w(N, std::min<uint16_t>(defaultCount(N), 400));
    detection::StepwiseProtocolPtr protocol;
    detection::PulseCountTablePtr table;
    for (auto _ : state) {
        protocol = detection::getStepwiseProtocol(7, w.series->wMaxPulses, std::move(protocol));
        table = detection::getPulseCountTable(w.series->wImpulseQuantity, w.series->wMinPulses, w.series->wMaxPulses,
                                              std::move(table));
        benchmark::DoNotOptimize(rank(w.sink, kTmin, kTmax, false, protocol.get(), table.get(), *w.series));
    }
}
void BM_PulseCountRanking_Literal(benchmark::State& state) { ranking(state, &literal::rankPulseCounts); }
void BM_PulseCountRanking_Fast(benchmark::State& state) { ranking(state, &detection::rankPulseCounts); }
BENCHMARK(BM_PulseCountRanking_Literal)->Apply(countSizes);
BENCHMARK(BM_PulseCountRanking_Literal)->Apply(longSeries);
BENCHMARK(BM_PulseCountRanking_Fast)->Apply(countSizes)->Arg(32767);

// Pulse counts 6 to 10, noise 0 to 100 in steps of 25, 10 repeats, N 1200;
// argument: the task (8 fixed case, 16 sequential method, 32 programme only).
void BM_StatCutoffSpotting(benchmark::State& state)
{
    const auto task = static_cast<uint16_t>(state.range(0));
    Workbench w(1200, 18);
    detection::RestErrorHeaderPtr header;
    const std::vector<uint16_t> required{1};
    int32_t noiseSeed = 10597;
    for (auto _ : state) {
        header = detection::getRestErrHeader(w.sink, 5, 5, 10, std::move(header));
        detection::initRestErrHeader(w.sink, 5, 6, 1, 5, 0, 25, 10, header.get());
        benchmark::DoNotOptimize(detection::statCutoffSpotting(w.sink, header.get(), w.alphabet, 1, required, 1, task,
                                                               100, 100, w.series, kAmplitude, noiseSeed, w.streams));
    }
}
BENCHMARK(BM_StatCutoffSpotting)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
