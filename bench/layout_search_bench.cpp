// The search over a grid of layouts on 100,000 samples: 40 periods (1000 to
// 1780 in steps of 20, window 0.05) times 3 pulse lengths (20, 30, 40), box
// templates, on a light curve with 81 box dips of 30 samples every 1234.5
// samples (noise of sigma 1000, depth 600).
//
// BM_LayoutSearch/T: the search as quillmore-cli search runs it, on T
// threads: every point's matched filter with its null of 8 series.
// The two formulations of the counts themselves, with every point's null
// curve given (taken from one search beforehand), on T threads:
// - *_Shared: detectPulses at every point, one programme for every count;
// - *_LinearScan: at every point, a known-count detectPulses (the
//   programme and its chain) for every admissible count, the snr of each
//   chain, and the count chosen by the same excess over the same null.
// Both give the same chosen counts and summed scores; the benchmark stops
// with an error when they do not.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "detection/layout_search.h"
#include "detection/matched_filter.h"
#include "detection/parallel_work.h"

namespace {

std::vector<int64_t> lightCurve()
{
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, 1000.0);
    std::vector<int64_t> x(100000);
    for (int64_t& v : x)
        v = std::llround(noise(random));
    for (int k = 0; 400 + k * 1234.5 + 30 <= 100000; ++k)
        for (int i = 0; i < 30; ++i)
            x[static_cast<size_t>(std::lround(400 + k * 1234.5)) + i] += 600;
    return x;
}

detection::SearchRequest gridRequest(unsigned threads)
{
    detection::SearchRequest r;
    std::vector<double> periods;
    std::string error;
    detection::steppedValues("--period", 1000, 1780, 20, 100, periods, error);
    std::vector<detection::SearchPoint> layouts;
    for (double P : periods) {
        detection::SearchPoint l;
        detection::periodLayout(P, 0.05, l, error);
        layouts.push_back(l);
    }
    detection::expandSearchGrid(layouts, std::vector<int32_t>{20, 30, 40}, r.grid, error);
    r.threads = threads;
    return r;
}

// The data and every point's null curve, from one search.
struct Prepared {
    std::vector<int64_t> x = lightCurve();
    detection::SearchOutcome outcome;
    Prepared() { detection::searchLayouts(x, gridRequest(0), outcome); }
};
const Prepared& prepared()
{
    static const Prepared p;
    return p;
}

void BM_LayoutSearch(benchmark::State& state)
{
    const std::vector<int64_t>& x = prepared().x;
    const detection::SearchRequest r = gridRequest(static_cast<unsigned>(state.range(0)));
    for (auto _ : state) {
        detection::SearchOutcome out;
        detection::searchLayouts(x, r, out);
        benchmark::DoNotOptimize(out.rows.data());
    }
}
BENCHMARK(BM_LayoutSearch)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// What one point's count choice comes to: the chosen count and its summed score.
struct Choice {
    int32_t count = 0;
    int64_t score = 0;
};

Choice shared(std::span<const int64_t> x, const detection::SearchRequest& r, size_t i, const std::vector<double>& null)
{
    detection::DetectionRequest d = detection::searchPointRequest(r, i);
    d.nullSnr = null;
    detection::DetectionOutcome out;
    std::string error;
    detection::detectPulses(x, d, out, error);
    Choice c{static_cast<int32_t>(out.positions.size()), 0};
    for (int64_t s : out.pulseScores)
        c.score += s;
    return c;
}

Choice linearScan(std::span<const int64_t> x, const detection::SearchRequest& r, size_t i,
                  const std::vector<double>& null)
{
    detection::DetectionRequest d = detection::searchPointRequest(r, i);
    d.mode = detection::DetectionMode::KnownCount;
    const detection::CountRange counts =
        detection::admissibleCounts({static_cast<int64_t>(x.size()), d.L, d.Tmin, d.Tmax});
    const double scale = detection::programmeNoiseSigma(x) * detection::templateNorm(d.templateSamples);
    std::vector<double> snr;
    std::vector<int64_t> totals;
    for (int32_t m = counts.from; m <= counts.to; ++m) {
        d.pulses = m;
        detection::DetectionOutcome out;
        std::string error;
        detection::detectPulses(x, d, out, error);
        int64_t total = 0;
        for (int64_t s : out.pulseScores)
            total += s;
        totals.push_back(total);
        snr.push_back(static_cast<double>(total) / (scale * std::sqrt(static_cast<double>(m))));
    }
    const std::vector<double> level = detection::smoothNullCurve(null);
    std::vector<double> excess(snr.size());
    for (size_t k = 0; k < snr.size(); ++k)
        excess[k] = snr[k] - level[k];
    const int64_t best = detection::firstGreatest(excess);
    return {counts.from + static_cast<int32_t>(best), totals[static_cast<size_t>(best)]};
}

void givenNull(benchmark::State& state, bool scan)
{
    const Prepared& p = prepared();
    const detection::SearchRequest r = gridRequest(static_cast<unsigned>(state.range(0)));
    for (auto _ : state) {
        std::vector<Choice> choices(r.grid.size());
        detection::WorkMeter meter;
        detection::runTasks(r.grid.size(), r.threads, meter, [&](size_t i, detection::WorkMeter&) {
            const std::vector<double>& null = p.outcome.rows[i].rawNull;
            choices[i] = scan ? linearScan(p.x, r, i, null) : shared(p.x, r, i, null);
        });
        for (size_t i = 0; i < choices.size(); ++i)
            if (choices[i].count != p.outcome.rows[i].count || choices[i].score != p.outcome.rows[i].score)
                state.SkipWithError("the formulations chose differently");
        benchmark::DoNotOptimize(choices.data());
    }
}
void BM_LayoutSearchGivenNull_Shared(benchmark::State& state) { givenNull(state, false); }
void BM_LayoutSearchGivenNull_LinearScan(benchmark::State& state) { givenNull(state, true); }
BENCHMARK(BM_LayoutSearchGivenNull_Shared)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LayoutSearchGivenNull_LinearScan)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
