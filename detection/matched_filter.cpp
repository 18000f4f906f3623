#include "detection/matched_filter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "detection/parallel_work.h"
#include "detection/pulse_measures.h"
#include "detection/surrogates.h"

namespace detection {

namespace {

// snr of a chain total, NaN for none.
double snrOf(int64_t total, int32_t m, double scale)
{
    if (total == ScoreArithmetic<int64_t>::emptyCell)
        return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(total) / (scale * std::sqrt(static_cast<double>(m)));
}

}  // namespace

double programmeNoiseSigma(std::span<const int64_t> x)
{
    const std::vector<double> y(x.begin(), x.end());
    const double robust = robustNoiseSigma(y);
    if (robust > 0)
        return robust;
    double squares = 0;
    for (size_t i = 1; i < y.size(); ++i)
        squares += (y[i] - y[i - 1]) * (y[i] - y[i - 1]);
    const double rms = y.size() > 1 ? std::sqrt(squares / static_cast<double>(y.size() - 1) / 2.0) : 0.0;
    return rms > 0 ? rms : 1.0;
}

void correlateWindows(std::span<const int64_t> x, std::span<const int64_t> h, size_t from, size_t to,
                      std::span<int64_t> scores)
{
    const size_t L = h.size();
    // A box (every template sample alike) correlates as its level times the
    // window's sum, which slides along in two additions per start: the same
    // integers as the products, in O(N) instead of O(N L).
    const bool box = !h.empty() && std::all_of(h.begin(), h.end(), [&](int64_t v) { return v == h.front(); });
    if (box && from < to) {
        int64_t sum = 0;
        for (size_t i = 0; i < L; ++i)
            sum += x[from + i];
        for (size_t l = from;; ++l) {
            scores[l] = h.front() * sum;
            if (l + 1 >= to)
                return;
            sum += x[l + L] - x[l];
        }
    }
    for (size_t l = from; l < to; ++l) {
        int64_t sum = 0;
        for (size_t i = 0; i < L; ++i)
            sum += h[i] * x[l + i];
        scores[l] = sum;
    }
}

double templateNorm(std::span<const int64_t> h)
{
    double sum = 0;
    for (int64_t v : h)
        sum += static_cast<double>(v) * static_cast<double>(v);
    return std::sqrt(sum);
}

std::vector<double> smoothNullCurve(std::span<const double> perCount)
{
    const int64_t K = static_cast<int64_t>(perCount.size());
    const int64_t w = std::max<int64_t>(2, K / 20);
    std::vector<double> out(perCount.size(), std::numeric_limits<double>::quiet_NaN());
    // Prefix sums of the finite values and of their number.
    std::vector<double> sum(perCount.size() + 1, 0.0);
    std::vector<int64_t> held(perCount.size() + 1, 0);
    for (int64_t i = 0; i < K; ++i) {
        const bool finite = std::isfinite(perCount[i]);
        sum[i + 1] = sum[i] + (finite ? perCount[i] : 0.0);
        held[i + 1] = held[i] + (finite ? 1 : 0);
    }
    for (int64_t i = 0; i < K; ++i) {
        const int64_t lo = K <= 2 * w + 1 ? 0 : std::max<int64_t>(0, i - w);
        const int64_t hi = K <= 2 * w + 1 ? K - 1 : std::min(K - 1, i + w);
        const int64_t n = held[hi + 1] - held[lo];
        if (n > 0)
            out[i] = (sum[hi + 1] - sum[lo]) / static_cast<double>(n);
    }
    return out;
}

int64_t firstGreatest(std::span<const double> values)
{
    int64_t best = -1;
    for (size_t i = 0; i < values.size(); ++i)
        if (!std::isnan(values[i]) && (best < 0 || values[i] > values[static_cast<size_t>(best)]))
            best = static_cast<int64_t>(i);
    return best;
}

bool matchedFilterCounts(std::span<const int64_t> x, std::span<const int64_t> scores, std::span<const int64_t> h,
                         const PulseLayout& layout, int32_t mFrom, int32_t mTo, const MatchedFilterOptions& options,
                         MatchedFilterResult& result, WorkMeter& meter)
{
    result = MatchedFilterResult{};
    mFrom = std::max(mFrom, 1);
    if (mTo < mFrom)
        return true;
    result.sigma = programmeNoiseSigma(x);
    result.norm = templateNorm(h);
    const double scale = result.sigma * (result.norm > 0 ? result.norm : 1.0);
    const size_t K = static_cast<size_t>(mTo - mFrom + 1);

    // One programme serves every count; only two chains are read from it.
    std::vector<double> snr(K);
    std::vector<int32_t> plainChain;
    std::vector<int64_t> totals(K);
    {
        const EnergyProgramme<int64_t> programme(scores, layout, mFrom, mTo, kDenseProgrammeBytes, &meter);
        if (meter.stopped())
            return false;
        for (size_t i = 0; i < K; ++i) {
            const int32_t m = mFrom + static_cast<int32_t>(i);
            totals[i] = programme.total(m);
            snr[i] = snrOf(totals[i], m, scale);
        }
        const int64_t plain = firstGreatest(snr);
        if (plain < 0)
            return true;
        result.plainCount = mFrom + static_cast<int32_t>(plain);
        plainChain.assign(static_cast<size_t>(result.plainCount), -1);
        programme.positions(result.plainCount, plainChain, &meter);
        if (meter.stopped())
            return false;

        // The null: the best chains of noise alone, from the residual after
        // the plain choice's pulses are taken out.
        result.block = surrogateBlockLength(layout.N, layout.L, layout.Tmin);
        if (options.nullSnr.size() == K) {
            result.rawNull = options.nullSnr;
        } else {
            const std::vector<double> shape(h.begin(), h.end());
            const std::vector<int64_t> residual = pulseResidual(x, plainChain, shape);
            const size_t R = static_cast<size_t>(std::max(options.nullSeries, 1));
            std::vector<std::vector<double>> perSeries(R);
            const bool done = runTasks(R, options.threads, meter, [&](size_t r, WorkMeter& taskMeter) {
                const std::vector<int64_t> series = blockSurrogate(residual, result.block, options.seed, r);
                std::vector<int64_t> nullScores(series.size() - static_cast<size_t>(layout.L) + 1);
                correlateWindows(series, h, 0, nullScores.size(), nullScores);
                if (!taskMeter.advance(nullScores.size() * static_cast<uint64_t>(layout.L)))
                    return;
                const EnergyProgramme<int64_t> nullProgramme(nullScores, layout, mFrom, mTo, kMatchedNullTableBytes,
                                                             &taskMeter);
                if (taskMeter.stopped())
                    return;
                std::vector<double>& row = perSeries[r];
                row.resize(K);
                for (size_t i = 0; i < K; ++i)
                    row[i] = snrOf(nullProgramme.total(mFrom + static_cast<int32_t>(i)),
                                   mFrom + static_cast<int32_t>(i), scale);
            });
            if (!done)
                return false;
            result.rawNull.assign(K, 0.0);
            for (size_t i = 0; i < K; ++i) {
                double sum = 0;
                int64_t n = 0;
                for (const std::vector<double>& row : perSeries)
                    if (std::isfinite(row[i])) {
                        sum += row[i];
                        ++n;
                    }
                result.rawNull[i] = n > 0 ? sum / static_cast<double>(n) : std::numeric_limits<double>::quiet_NaN();
            }
        }
        const std::vector<double> null = smoothNullCurve(result.rawNull);
        std::vector<double> excess(K);
        result.counts.resize(K);
        for (size_t i = 0; i < K; ++i) {
            MatchedCount& c = result.counts[i];
            c.count = mFrom + static_cast<int32_t>(i);
            c.chainScore = totals[i];
            c.snr = snr[i];
            c.nullSnr = null[i];
            // Without a null level for the count the criterion is its snr.
            excess[i] = std::isnan(snr[i]) ? snr[i] : std::isnan(null[i]) ? snr[i] : snr[i] - null[i];
            c.excess = excess[i];
        }
        const int64_t chosen = firstGreatest(excess);
        result.chosenCount = mFrom + static_cast<int32_t>(chosen);
        if (result.chosenCount == result.plainCount) {
            result.chosen = plainChain;
        } else {
            result.chosen.assign(static_cast<size_t>(result.chosenCount), -1);
            programme.positions(result.chosenCount, result.chosen, &meter);
            if (meter.stopped())
                return false;
        }
    }
    return true;
}

}  // namespace detection
