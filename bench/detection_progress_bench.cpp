// What the progress and cancel checks of a detection cost: the energy
// programme and a whole known-count detection on a series of 100,000 samples,
// without a callback and with one that always answers go on (the meter then
// counts every chunk of cells and calls it every 2^18 of them).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/progress.h"
#include "detection/series_detection.h"

namespace {

constexpr int64_t kSamples = 100000;
constexpr int32_t kLength = 20, kTmin = 40, kTmax = 181, kPulses = 1000;

// Rectangles of kLength samples kTmin..kTmax apart over noise.
const std::vector<int64_t>& series()
{
    static const std::vector<int64_t> x = [] {
        std::mt19937_64 random(5);
        std::uniform_int_distribution<int64_t> noise(-25, 25), gap(kTmin, kTmax);
        std::vector<int64_t> v(kSamples);
        for (int64_t& s : v)
            s = noise(random);
        for (int64_t p = 10; p + kLength <= kSamples; p += gap(random))
            for (int32_t i = 0; i < kLength; ++i)
                v[static_cast<size_t>(p + i)] += 128;
        return v;
    }();
    return x;
}

// Arg 0: a meter without a callback; 1: a callback that lets it run; 2: no
// meter at all (the programme as the workbench's records run it).
void BM_DetectionProgramme(benchmark::State& state)
{
    const std::vector<int64_t>& x = series();
    const std::vector<int64_t> scores = detection::windowEnergies<int64_t, int64_t>(x, kLength);
    const detection::PulseLayout layout{kSamples, kLength, kTmin, kTmax};
    uint64_t calls = 0;
    for (auto _ : state) {
        detection::WorkMeter meter(state.range(0) ? detection::ProgressCallback([&](uint64_t, uint64_t) {
                                       ++calls;
                                       return true;
                                   })
                                                  : detection::ProgressCallback(),
                                   uint64_t{1} << 40);
        detection::WorkMeter* counted = state.range(0) == 2 ? nullptr : &meter;
        const detection::EnergyProgramme<int64_t> programme(scores, layout, kPulses, kPulses,
                                                            detection::kDenseProgrammeBytes, counted);
        std::vector<int32_t> starts(kPulses);
        programme.positions(kPulses, starts, counted);
        benchmark::DoNotOptimize(starts.data());
    }
    state.counters["calls"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DetectionProgramme)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole known-count detection: programme, chain, improvement passes.
void BM_DetectKnownCount(benchmark::State& state)
{
    const std::vector<int64_t>& x = series();
    detection::DetectionRequest r;
    r.mode = detection::DetectionMode::KnownCount;
    r.pulses = kPulses;
    r.L = kLength;
    r.Tmin = kTmin;
    r.Tmax = kTmax;
    if (state.range(0))
        r.progress = [](uint64_t, uint64_t) { return true; };
    for (auto _ : state) {
        detection::DetectionOutcome outcome;
        std::string error;
        benchmark::DoNotOptimize(detection::detectPulses(x, r, outcome, error));
    }
}
BENCHMARK(BM_DetectKnownCount)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
