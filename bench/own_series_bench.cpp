// A researcher's own series at scale: reading a 1,000,000-row CSV, preparing
// it, and the energy programme and the whole known-count detection for 1,000
// pulses 500..1500 samples apart, and the detection view's detection again on
// the series it holds. *_Literal is the programme as first written
// (tests/reference), *_Fast the shared block-maxima one; the literal one scans
// every predecessor of every cell, so it runs on a series ten times shorter.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands/detect_engine.h"
#include "detection/energy_programme.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"
#include "tests/reference/literal_span_programme.h"

namespace {

constexpr int32_t kL = 20;

// N samples of noise (sigma 0.1) with K unit pulses of L samples, one in
// each N/K samples at a random place in the first half of its share, so
// that neighbouring starts lie about N/(2K) .. 3N/(2K) apart; floating-point
// millivolts.
std::vector<double> ownSeries(int64_t N, int32_t K)
{
    std::mt19937 rng(2026);
    std::normal_distribution<double> noise(0.0, 0.1);
    std::vector<double> x(static_cast<size_t>(N));
    for (double& v : x)
        v = noise(rng);
    const int64_t step = N / K;
    for (int32_t k = 0; k < K; ++k) {
        const int64_t p = k * step + static_cast<int64_t>(rng() % static_cast<uint32_t>(step - kL)) / 2;
        for (int32_t i = 0; i < kL && p + i < N; ++i)
            x[p + i] += 1.0;
    }
    return x;
}

const std::string& csvText()
{
    static const std::string text = [] {
        const std::vector<double> x = ownSeries(1000000, 1000);
        std::string t = "time,mV\n";
        char line[64];
        for (size_t i = 0; i < x.size(); ++i) {
            std::snprintf(line, sizeof line, "%.4f,%.4f\n", static_cast<double>(i) / 1000.0, x[i]);
            t += line;
        }
        return t;
    }();
    return text;
}

std::vector<int64_t> preparedSamples(int64_t N, int32_t K)
{
    const std::vector<double> x = ownSeries(N, K);
    detection::PreparedSeries p;
    std::string error;
    detection::prepareSeries(x, false, {}, p, error);
    return p.samples;
}

void readCsv_Fast(benchmark::State& state)
{
    const std::string& text = csvText();
    for (auto _ : state) {
        files::SeriesReadResult r = files::readSeriesText(text, "bench.csv", {});
        benchmark::DoNotOptimize(r.data.values.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(readCsv_Fast)->Unit(benchmark::kMillisecond);

// What a hand-written reader does: a string stream, one line and one
// std::stod at a time, no checks.
void readCsv_Stream(benchmark::State& state)
{
    const std::string& text = csvText();
    for (auto _ : state) {
        std::istringstream in(text);
        std::string line;
        std::getline(in, line);
        std::vector<double> values;
        while (std::getline(in, line))
            values.push_back(std::stod(line.substr(line.find(',') + 1)));
        benchmark::DoNotOptimize(values.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(readCsv_Stream)->Unit(benchmark::kMillisecond);

void prepare_1M(benchmark::State& state)
{
    const std::vector<double> x = ownSeries(1000000, 1000);
    detection::PreparationOptions options;
    if (state.range(0) > 0) {
        options.detrend = detection::Detrend::MovingMedian;
        options.window = state.range(0);
    }
    for (auto _ : state) {
        detection::PreparedSeries p;
        std::string error;
        detection::prepareSeries(x, false, options, p, error);
        benchmark::DoNotOptimize(p.samples.data());
    }
}
BENCHMARK(prepare_1M)->Arg(0)->Arg(360)->Unit(benchmark::kMillisecond);

// Arguments: N, K; starts 500..1500 apart.
void programme(benchmark::State& state, bool literal)
{
    const int64_t N = state.range(0);
    const int32_t K = static_cast<int32_t>(state.range(1));
    const int32_t Tmin = static_cast<int32_t>(N / K / 2), Tmax = static_cast<int32_t>(3 * N / K / 2);
    const std::vector<int64_t> x = preparedSamples(N, K);
    const std::vector<int64_t> scores = detection::windowEnergies<int64_t, int64_t>(x, kL);
    const detection::PulseLayout layout{N, kL, Tmin, Tmax};
    for (auto _ : state) {
        std::vector<int32_t> starts(K);
        if (literal) {
            starts = literal::programmeStarts(scores, layout, K);
        } else {
            detection::EnergyProgramme<int64_t> p(scores, layout, K, K);
            p.positions(K, starts);
        }
        benchmark::DoNotOptimize(starts.data());
    }
}
void programme_Literal(benchmark::State& state) { programme(state, true); }
void programme_Fast(benchmark::State& state) { programme(state, false); }
BENCHMARK(programme_Literal)->Args({100000, 100})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(programme_Fast)->Args({100000, 100})->Args({1000000, 1000})->Unit(benchmark::kMillisecond);

// The whole known-count run of detect: the energy programme and the
// improvement passes until the measure settles.
void detectKnownCount_1M(benchmark::State& state)
{
    const std::vector<int64_t> x = preparedSamples(1000000, 1000);
    detection::DetectionRequest r;
    r.pulses = 1000;
    r.L = kL;
    r.Tmin = 500;
    r.Tmax = 1500;
    for (auto _ : state) {
        detection::DetectionOutcome out;
        std::string error;
        detection::detectPulses(x, r, out, error);
        benchmark::DoNotOptimize(out.positions.data());
    }
}
BENCHMARK(detectKnownCount_1M)->Unit(benchmark::kMillisecond);

// Detection > Detect... once more in the detection view, on the series it
// holds as read: detect's preparation (the median taken away, scaled), the
// cost weighed, the known-count run and the measures of every pulse. K
// pulses whose starts lie about N/(2K) .. 3N/(2K) apart, Tmin and Tmax so.
void detectionViewRedetect_1M(benchmark::State& state)
{
    const auto K = static_cast<int32_t>(state.range(0));
    files::SeriesData data;
    data.values = ownSeries(1000000, K);
    commands::DetectOptions o;
    o.pulses = K;
    o.pulseLength = kL;
    o.tmin = static_cast<int32_t>(state.range(1));
    o.tmax = static_cast<int32_t>(state.range(2));
    for (auto _ : state) {
        commands::OwnSeriesDetection r;
        std::string error;
        commands::detectOwnSeries(data, o, 1, {}, r, error);
        benchmark::DoNotOptimize(r.outcome.positions.data());
    }
}
BENCHMARK(detectionViewRedetect_1M)
    ->Args({1000, 500, 1500})
    ->Args({2500, 200, 600})
    ->Args({5000, 100, 300})
    ->Unit(benchmark::kMillisecond);

}  // namespace
