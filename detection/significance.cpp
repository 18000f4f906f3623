#include "detection/significance.h"

#include <cmath>
#include <limits>
#include <mutex>

#include "detection/energy_programme.h"
#include "detection/matched_filter.h"
#include "detection/parallel_work.h"
#include "detection/surrogates.h"

namespace detection {

double detectionStatistic(const DetectionOutcome& outcome, const DetectionRequest& request, double sigma, double norm)
{
    const double M = static_cast<double>(outcome.positions.size());
    if (M == 0)
        return -std::numeric_limits<double>::infinity();
    if (isMatchedFilter(request)) {
        for (const CountScore& c : outcome.counts)
            if (c.count == outcome.chosenCount)
                return c.excess;
        return -std::numeric_limits<double>::infinity();
    }
    double total = 0;
    for (int64_t s : outcome.pulseScores)
        total += static_cast<double>(s);
    if (request.score == ScoreKind::Correlation)
        return total / (sigma * (norm > 0 ? norm : 1.0) * std::sqrt(M));
    const double dof = M * request.L;
    return (total - dof * sigma * sigma) / (sigma * sigma * std::sqrt(2 * dof));
}

void countFalseAlarms(double statistic, std::span<const double> null, Significance& s)
{
    s.statistic = statistic;
    s.null.assign(null.begin(), null.end());
    s.surrogates = static_cast<int32_t>(null.size());
    s.reached = 0;
    for (double t : null)
        s.reached += t >= statistic ? 1 : 0;
    s.falseAlarm = static_cast<double>(1 + s.reached) / static_cast<double>(null.size() + 1);
    s.resolution = 1.0 / static_cast<double>(null.size() + 1);
}

bool assessSignificance(std::span<const int64_t> x, const DetectionRequest& request, const DetectionOutcome& outcome,
                        int32_t surrogates, uint64_t seed, unsigned threads, const ProgressCallback& progress,
                        Significance& result, std::string& error)
{
    const PulseLayout layout{static_cast<int64_t>(x.size()), request.L, request.Tmin, request.Tmax};
    const double sigma = outcome.noiseSigma > 0 ? outcome.noiseSigma : programmeNoiseSigma(x);
    const double norm = templateNorm(request.templateSamples);
    const int32_t block = surrogateBlockLength(layout.N, layout.L, layout.Tmin);

    DetectionRequest each = request;
    each.threads = 1;
    each.nullSnr = outcome.rawNull;
    each.progress = nullptr;
    const uint64_t perSurrogate = estimateDetectionCost(layout, each).work;
    WorkMeter meter(progress, perSurrogate * static_cast<uint64_t>(std::max(surrogates, 1)));
    if (!meter.report())
        return false;

    const size_t N = static_cast<size_t>(std::max(surrogates, 0));
    std::vector<double> null(N, 0.0);
    std::mutex failed;
    std::string failure;
    const bool done = runTasks(N, threads, meter, [&](size_t i, WorkMeter& taskMeter) {
        const std::vector<int64_t> series = blockSurrogate(x, block, seed, i);
        DetectionRequest r = each;
        uint64_t told = 0;
        r.progress = [&taskMeter, &told](uint64_t units, uint64_t) {
            const bool go = taskMeter.advance(units > told ? units - told : 0);
            told = std::max(told, units);
            return go;
        };
        DetectionOutcome found;
        std::string why;
        if (!detectPulses(series, r, found, why)) {
            std::lock_guard<std::mutex> guard(failed);
            if (failure.empty())
                failure = "surrogate " + std::to_string(i + 1) + ": " + why;
            return;
        }
        null[i] = detectionStatistic(found, each, sigma, norm);
    });
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    if (!done || !meter.finish())
        return false;
    result = Significance{};
    result.seed = seed;
    result.block = block;
    countFalseAlarms(detectionStatistic(outcome, request, sigma, norm), null, result);
    return true;
}

}  // namespace detection
