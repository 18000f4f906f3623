// The matched filter with the count unknown beside the formulation it
// replaces: one linear-scan programme per admissible count (the literal
// programme of tests/reference, every predecessor scanned), its chain's
// summed correlation and the count of greatest snr. The fast engine builds
// one programme for every count and reads two chains; it runs here without
// null series (the curve given, as the surrogates of --significance run it)
// and with the 8 null series detect runs by default, on one thread.
//
// Series: Arg(0) samples of white noise (sigma 100) with box dips of 30
// samples 150..350 apart at a per-pulse snr of 3, inverted; the box as the
// template.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "detection/matched_filter.h"
#include "detection/series_detection.h"
#include "tests/reference/literal_span_programme.h"

namespace {

constexpr int32_t kBox = 30, kTmin = 150, kTmax = 350;

std::vector<int64_t> boxSeries(int64_t n)
{
    std::mt19937_64 random(11);
    std::normal_distribution<double> noise(0.0, 100.0);
    std::uniform_int_distribution<int64_t> gap(kTmin, kTmax);
    std::vector<int64_t> x(static_cast<size_t>(n));
    for (int64_t& v : x)
        v = std::llround(noise(random));
    const int64_t depth = std::llround(3 * 100 / std::sqrt(kBox));
    for (int64_t p = 40; p + kBox <= n; p += gap(random))
        for (int32_t i = 0; i < kBox; ++i)
            x[static_cast<size_t>(p + i)] += depth;
    return x;
}

void BM_MatchedFilter_Literal(benchmark::State& state)
{
    const std::vector<int64_t> x = boxSeries(state.range(0));
    const std::vector<int64_t> box(kBox, 1);
    const detection::PulseLayout layout{static_cast<int64_t>(x.size()), kBox, kTmin, kTmax};
    const detection::CountRange counts = detection::admissibleCounts(layout);
    for (auto _ : state) {
        const std::vector<int64_t> scores = detection::windowScores(x, kBox, detection::ScoreKind::Correlation, box);
        double best = -INFINITY;
        int32_t chosen = 0;
        for (int32_t m = counts.from; m <= counts.to; ++m) {
            int64_t total = 0;
            for (int32_t p : literal::programmeStarts(scores, layout, m))
                total += scores[static_cast<size_t>(p)];
            const double snr = static_cast<double>(total) / std::sqrt(static_cast<double>(m));
            if (snr > best) {
                best = snr;
                chosen = m;
            }
        }
        benchmark::DoNotOptimize(chosen);
    }
    state.counters["counts"] = counts.to - counts.from + 1;
}

// Arg(1): 0 the null curve given (no null series), 8 the default null.
void BM_MatchedFilter_Fast(benchmark::State& state)
{
    const std::vector<int64_t> x = boxSeries(state.range(0));
    detection::DetectionRequest r;
    r.mode = detection::DetectionMode::SequentialMethod;
    r.score = detection::ScoreKind::Correlation;
    r.L = kBox;
    r.Tmin = kTmin;
    r.Tmax = kTmax;
    r.templateSamples.assign(kBox, 1);
    r.threads = 1;
    const detection::CountRange counts =
        detection::admissibleCounts({static_cast<int64_t>(x.size()), kBox, kTmin, kTmax});
    if (state.range(1) == 0)
        r.nullSnr.assign(static_cast<size_t>(counts.to - counts.from + 1), 0.0);
    else
        r.nullSeries = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        detection::DetectionOutcome out;
        std::string error;
        benchmark::DoNotOptimize(detection::detectPulses(x, r, out, error));
    }
    state.counters["counts"] = counts.to - counts.from + 1;
}

}  // namespace

BENCHMARK(BM_MatchedFilter_Literal)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchedFilter_Fast)->Args({10000, 0})->Args({10000, 8})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchedFilter_Fast)->Args({100000, 0})->Args({100000, 8})->Unit(benchmark::kMillisecond);
