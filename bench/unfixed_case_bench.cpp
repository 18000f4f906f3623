// Unfixed-case detection at the start-up settings (Tmin 40, Tmax 181, L 20,
// noise 25) on series of 1200 and 7200 samples, each method on its own, and
// the chain programme alone, literal and fast, at 7200 and 32767 samples.

#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <vector>

#include "detection/chain_programme.h"
#include "detection/pulse_count_ranking.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/series_synthesis.h"
#include "base/wrapping.h"
#include "tests/reference/literal_estimators.h"

namespace {

// Trace texts are built as in the window but shown nowhere.
struct DiscardingSink final : base::MessageSink {
    size_t shown = 0;
    void messageBox(std::string_view text, std::string_view, base::MessageIcon) override { shown += text.size(); }
};

constexpr uint16_t kTmin = 40, kTmax = 181, kL = 20;
constexpr int16_t kAmplitude = 128, kNoise = 25;

// One noisy series of the default pulse count per length, made once.
const synthesis::SeriesHeader& startupSeries(uint32_t N)
{
    static std::array<synthesis::PulseHeader, 20> alphabet{};
    static std::map<uint32_t, synthesis::SeriesHeaderPtr> made;
    static synthesis::RandomStreams streams;
    static DiscardingSink sink;
    if (alphabet[0].lpData.empty())
        synthesis::makeAlphabet(sink, kAmplitude, 20, kL, alphabet, streams.etalonSeed);
    synthesis::SeriesHeaderPtr& series = made[N];
    if (!series) {
        const uint16_t minK = std::max<uint16_t>(synthesis::seriesMinPulses(N, kL, kTmax), 1);
        const uint16_t maxK = synthesis::seriesMaxPulses(N, kL, kTmin);
        std::vector<uint16_t> etalons(maxK);
        for (size_t k = 0; k < etalons.size(); ++k)
            etalons[k] = static_cast<uint16_t>(1 + k % 20);
        series =
            synthesis::getCutOffSeries(sink, alphabet, kL, kTmin, kTmax, N, static_cast<uint16_t>((minK + maxK) / 2),
                                       etalons, kAmplitude, 100, nullptr, streams);
        synthesis::addNoise(kNoise, kAmplitude, series.get(), streams.noiseSeed);
    }
    return *series;
}

void BM_UnfixedPulseDetection(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    synthesis::SeriesHeader series = startupSeries(N);
    detection::DetectionStudyPtr study = detection::getDetectionStudy(series, nullptr);
    study->wDetectionMethod = static_cast<uint16_t>(state.range(1));
    std::vector<int32_t> chain(N);
    DiscardingSink sink;
    for (auto _ : state) {
        study = detection::getDetectionStudy(series, std::move(study));
        benchmark::DoNotOptimize(
            detection::study01_UnFixedPulseDetection(sink, kTmin, kTmax, chain, study.get(), series));
    }
    state.counters["detected"] = series.wFoundPulses;
    state.counters["pulses"] = series.wImpulseQuantity;
}
BENCHMARK(BM_UnfixedPulseDetection)
    ->ArgNames({"N", "method"})
    ->ArgsProduct({{1200, 7200}, {0, 1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMicrosecond);

void BM_ProcessSeriesChains(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    synthesis::SeriesHeader series = startupSeries(N);
    DiscardingSink sink;
    for (auto _ : state)
        benchmark::DoNotOptimize(detection::processSeriesChains(sink, kTmin, kTmax, series));
    state.counters["detected"] = series.wFoundPulses;
}
BENCHMARK(BM_ProcessSeriesChains)->ArgName("N")->Arg(1200)->Arg(7200)->Unit(benchmark::kMicrosecond);

// The chain programme of one pass: window energies less the chi-square
// threshold of the noise level (sigma^2 L / (L - 1) at the upper 95 % point,
// as method 1 takes it), every start of the series' regions linked.
template <void (*Programme)(const detection::StartRegions&, detection::ChainTables&, uint16_t, uint16_t)>
void BM_ChainProgramme(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    const synthesis::SeriesHeader& series = startupSeries(N);
    const detection::StartRegions regions = detection::buildStartRegions(series, N, kTmin, kTmax);
    detection::ChainTables t;
    if (!detection::allocateChainTables(t, N)) {
        state.SkipWithError("no memory for the tables");
        return;
    }
    const int32_t threshold = kNoise * kNoise * kL / (kL - 1) * 30144 / 1000;
    detection::forEachStart(regions.sets[detection::omegaAny].get(), [&](int32_t p) {
        int32_t e = 0;
        for (int i = 0; i < kL; ++i)
            e = base::wrapAdd(e, series.lpSeriesData[p + i] * series.lpSeriesData[p + i]);
        t.E[p] = base::wrapSub(e, threshold);
    });
    for (auto _ : state) {
        Programme(regions, t, kTmin, kTmax);
        benchmark::DoNotOptimize(t.D.data());
    }
    std::vector<int32_t> positions;
    detection::followBestChain(regions, t, series.wMaxPulses, positions);
    state.counters["detected"] = static_cast<double>(positions.size());
    state.counters["pulses"] = series.wImpulseQuantity;
}
BENCHMARK(BM_ChainProgramme<literal::runChainProgramme>)
    ->Name("BM_ChainProgramme/literal")
    ->ArgName("N")
    ->Arg(7200)
    ->Arg(32767)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChainProgramme<detection::runChainProgramme>)
    ->Name("BM_ChainProgramme/fast")
    ->ArgName("N")
    ->Arg(7200)
    ->Arg(32767)
    ->Unit(benchmark::kMicrosecond);

// The whole blind-detection command as the shell runs it: fresh records,
// ranking of every admissible count, detection with the method of "Detection"
// (0) and the detection row.
void BM_RunUnfixedDetection(benchmark::State& state)
{
    const auto N = static_cast<uint32_t>(state.range(0));
    synthesis::SeriesHeader series = startupSeries(N);
    detection::StepwiseProtocolPtr protocol;
    detection::PulseCountTablePtr table;
    detection::DetectionStudyPtr study;
    std::vector<int32_t> chain(N);
    DiscardingSink sink;
    for (auto _ : state) {
        protocol = detection::getStepwiseProtocol(7, series.wMaxPulses, std::move(protocol));
        table = detection::getPulseCountTable(series.wImpulseQuantity, series.wMinPulses, series.wMaxPulses,
                                              std::move(table));
        study = detection::getDetectionStudy(series, std::move(study));
        study->wTask = detection::taskBlindDetection;
        study->wDetectionMethod = detection::kPrimitiveMethod;
        benchmark::DoNotOptimize(detection::runUnfixedDetection(sink, kTmin, kTmax, false, chain, protocol.get(),
                                                                table.get(), study.get(), series));
    }
    state.counters["counts"] = series.wMaxPulses - series.wMinPulses + 1;
    state.counters["rows"] = protocol->wUsed;
}
BENCHMARK(BM_RunUnfixedDetection)->ArgName("N")->Arg(1200)->Arg(7200)->Unit(benchmark::kMillisecond);

}  // namespace
