// Fixed-case estimation: the energy programme, the improvement loop, the
// staged run, the sequential method and a small statistical simulation, at
// the start-up settings (N 1200, Tmin 40, Tmax 181, L 20, 18 pulses, noise
// 25) and at a large case (N 7200, 40 pulses).

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/sequential_method.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"

namespace {

constexpr uint16_t kTmin = 40, kTmax = 181, kL = 20;
constexpr int16_t kAmplitude = 128, kNoise = 25;

struct Workbench {
    std::array<PulseHeader, 20> alphabet{};
    RandomStreams streams;
    MessageRecorder sink;
    std::vector<uint16_t> sequence = std::vector<uint16_t>(400, 1);
    SeriesHeaderPtr series;

    Workbench(uint32_t N, uint16_t K)
    {
        makeAlphabet(sink, kAmplitude, 20, kL, alphabet, streams.etalonSeed);
        series = getCutOffSeries(sink, alphabet, kL, kTmin, kTmax, N, K, sequence, kAmplitude, 100, std::move(series),
                                 streams);
        addNoise(kNoise, kAmplitude, series.get(), streams.noiseSeed);
    }
};

// Arguments: series length, pulse count.
void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1200, 18})->Args({7200, 40})->Unit(benchmark::kMillisecond);
}

void BM_EstimateByEnergies(benchmark::State& state)
{
    const auto K = static_cast<uint16_t>(state.range(1));
    Workbench w(static_cast<uint32_t>(state.range(0)), K);
    for (auto _ : state)
        benchmark::DoNotOptimize(estimateByEnergies(w.sink, kTmin, kTmax, kL, K, *w.series));
}
BENCHMARK(BM_EstimateByEnergies)->Apply(sizes);

void BM_ImprovementLoop(benchmark::State& state)
{
    const auto K = static_cast<uint16_t>(state.range(1));
    Workbench w(static_cast<uint32_t>(state.range(0)), K);
    const int32_t start = estimateByEnergies(w.sink, kTmin, kTmax, kL, K, *w.series);
    const std::vector<int16_t> programme(w.series->lpFoundPositions.begin(), w.series->lpFoundPositions.begin() + K);
    uint16_t passes = 0;
    for (auto _ : state) {
        std::copy(programme.begin(), programme.end(), w.series->lpFoundPositions.begin());
        benchmark::DoNotOptimize(runImprovementLoop(w.sink, kTmin, kTmax, kL, K, *w.series, start, passes));
    }
    state.counters["passes"] = passes;
}
BENCHMARK(BM_ImprovementLoop)->Apply(sizes);

void BM_RunFixedCaseEstimation(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    const auto K = static_cast<uint16_t>(state.range(1));
    Workbench w(N, K);
    StepwiseProtocolPtr protocol;
    for (auto _ : state) {
        protocol = getStepwiseProtocol(7, w.series->wMaxPulses, std::move(protocol));
        benchmark::DoNotOptimize(runFixedCaseEstimation(w.sink, *w.series, protocol.get(), kTmin, kTmax, kL, K, N));
    }
}
BENCHMARK(BM_RunFixedCaseEstimation)->Apply(sizes);

void BM_SequentialMethod(benchmark::State& state)
{
    Workbench w(static_cast<uint32_t>(state.range(0)), static_cast<uint16_t>(state.range(1)));
    StepwiseProtocolPtr protocol;
    for (auto _ : state) {
        protocol = getStepwiseProtocol(7, w.series->wMaxPulses, std::move(protocol));
        benchmark::DoNotOptimize(sequentialMethod(w.sink, kTmin, kTmax, false, protocol.get(), *w.series));
    }
}
BENCHMARK(BM_SequentialMethod)->Apply(sizes);

// Pulse counts 6 to 10, noise 0 to 100 in steps of 25, 10 repeats, N 1200;
// argument: the task (8 fixed case, 16 sequential method, 32 programme only).
void BM_StatCutoffSpotting(benchmark::State& state)
{
    const auto task = static_cast<uint16_t>(state.range(0));
    Workbench w(1200, 18);
    RestErrorHeaderPtr header;
    const std::vector<uint16_t> required{1};
    int32_t noiseSeed = 10597;
    for (auto _ : state) {
        header = getRestErrHeader(w.sink, 5, 5, 10, std::move(header));
        initRestErrHeader(w.sink, 5, 6, 1, 5, 0, 25, 10, header.get());
        benchmark::DoNotOptimize(statCutoffSpotting(w.sink, header.get(), w.alphabet, 1, required, 1, task, 100, 100,
                                                    w.series, kAmplitude, noiseSeed, w.streams));
    }
}
BENCHMARK(BM_StatCutoffSpotting)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
