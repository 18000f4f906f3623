// Blind detection on correlations: the normal quantile and the default level
// against known values, detectPulses against a literal model on small series
// full of ties and negative correlations.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "detection/correlation_threshold.h"
#include "detection/matched_filter.h"
#include "detection/series_detection.h"

using namespace detection;

namespace {

// The chain programme as chain_core.h words it, over the starts each pulse of
// each admissible count may take (first, later, last), ties to the lowest cell.
std::vector<int32_t> literalChain(const std::vector<int64_t>& R, const PulseLayout& layout)
{
    const int64_t S = static_cast<int64_t>(R.size());
    std::vector<bool> first(S), later(S), last(S);
    for (int32_t m = admissibleCounts(layout).from; m <= admissibleCounts(layout).to; ++m)
        for (int32_t k = 0; k < m; ++k) {
            const StartRange a = admissibleStarts(k, m, layout);
            for (int64_t p = std::max<int64_t>(a.lo, 0); p <= std::min(a.hi, S - 1); ++p) {
                (k == 0 ? first : later)[p] = true;
                last[p] = last[p] || k == m - 1;
            }
        }
    std::vector<int64_t> D(S, std::numeric_limits<int64_t>::lowest()), B(S, -1);
    for (int64_t p = 0; p < S; ++p)
        D[p] = first[p] && !later[p] ? R[p] : D[p];
    for (const bool alsoFirst : {true, false})
        for (int64_t p = 0; p < S; ++p) {
            if (!later[p] || first[p] != alsoFirst)
                continue;
            int64_t best = 0;
            for (int64_t q = std::max<int64_t>(0, p - layout.Tmax); q <= p - layout.Tmin; ++q)
                if (D[q] > best)
                    best = D[B[p] = q];
            D[p] = best + R[p];
        }
    int64_t end = -1;
    for (int64_t p = 0; p < S; ++p)
        if (last[p] && D[p] > (end < 0 ? 0 : D[end]))
            end = p;
    std::vector<int32_t> chain;
    for (int64_t p = end; p >= 0; p = B[p])
        chain.insert(chain.begin(), static_cast<int32_t>(p));
    return chain;
}

}  // namespace

// Phi^-1(1e-6) as tables give it, the defaults -Phi^-1(0.01 / n) for n = 499
// and 1 from Python's NormalDist.inv_cdf (AS 241); both tails come back through
// 0.5 erfc to a few units of x's last place (an error e of x moves p by x^2 e).
TEST(CorrelationThreshold, NormalQuantileAndTheDefaultLevelMeetKnownValues)
{
    EXPECT_NEAR(normalQuantile(1e-6), -4.753424308822899, 1e-14);
    for (double p = 1e-300; p < 0.5; p *= 1.37) {
        const double x = normalQuantile(p), slack = 1e-15 * (1 + x * x), q = 1 - p;
        EXPECT_NEAR(0.5 * std::erfc(-x / std::sqrt(2.0)) / p, 1.0, slack) << p;
        EXPECT_NEAR(q < 1 ? 0.5 * std::erfc(normalQuantile(q) / std::sqrt(2.0)) / (1 - q) : 1, 1.0, slack) << q;
    }
    EXPECT_NEAR(defaultSnrMin(10000, 20), 4.753039961480939, 1e-13);
    EXPECT_NEAR(defaultSnrMin(39, 20), 3.2905267314918945, 1e-13);
}

// Every pass's threshold, sigma and chain, S given or by default, methods 0,
// 1, 2, 3 and 6, as docs/cli.md defines them.
TEST(CorrelationThreshold, BlindDetectionEqualsTheLiteralModelOnGeneratedSeries)
{
    std::mt19937_64 rng(41);
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    int compared = 0, longChains = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        DetectionRequest r;
        r.mode = DetectionMode::Blind;
        r.score = ScoreKind::Correlation;
        r.method = std::vector<int32_t>{0, 1, 2, 3, 6}[trial % 5];
        r.L = static_cast<int32_t>(pick(1, 5));
        r.Tmin = static_cast<int32_t>(pick(1, 6));
        r.Tmax = std::max(r.L, r.Tmin) + static_cast<int32_t>(pick(0, 8));
        r.snrMin = r.method != 3 && pick(0, 1) ? std::optional(0.05 * static_cast<double>(pick(1, 40))) : std::nullopt;
        r.noiseLevel = pick(0, 3);
        const int64_t N = r.L + pick(0, 45), spread = trial % 3 == 0 ? 1 : 4;
        std::vector<int64_t> x(static_cast<size_t>(N)), C(static_cast<size_t>(N - r.L + 1), 0);
        for (int64_t& v : x)
            v = pick(-spread, spread);
        double norm = 0;
        for (int32_t i = 0; i < r.L; ++i) {
            r.templateSamples.push_back(pick(-2, 2));
            norm += static_cast<double>(r.templateSamples[i] * r.templateSamples[i]);
            for (size_t l = 0; l < C.size(); ++l)
                C[l] += r.templateSamples[i] * x[l + i];
        }
        const PulseLayout layout{N, r.L, r.Tmin, r.Tmax};
        if (admissibleCounts(layout).empty())
            continue;
        DetectionOutcome out;
        std::string error;
        ASSERT_TRUE(detectPulses(x, r, out, error)) << error;

        const double S = r.method == 3 ? 0 : r.snrMin.value_or(defaultSnrMin(N, r.L));
        double sigma = r.method == 0 || r.method == 2 ? programmeNoiseSigma(x) : static_cast<double>(r.noiseLevel);
        ASSERT_EQ(out.passes.size(), r.method == 2 || r.method == 3 ? 3u : 1u);
        std::vector<int32_t> chain;
        for (size_t k = 0; k < out.passes.size(); ++k) {
            if (k > 0 && r.method == 2) {  // the root mean square outside the chain's windows
                std::vector<bool> covered(static_cast<size_t>(N));
                for (int32_t p : chain)
                    std::fill_n(covered.begin() + p, r.L, true);
                double sum = 0, outside = 0;
                for (int64_t i = 0; i < N; ++i) {
                    sum += covered[i] ? 0 : static_cast<double>(x[i] * x[i]);
                    outside += covered[i] ? 0 : 1;
                }
                sigma = outside > 0 ? std::sqrt(sum / outside) : sigma;
            }
            const int64_t T = r.method == 3 ? 0 : std::llround(S * sigma * std::sqrt(norm));
            std::vector<int64_t> R(C);
            for (int64_t& c : R)
                c = r.method == 6 ? (c <= T ? 0 : c) : c - T;
            chain = literalChain(R, layout);
            ASSERT_EQ(out.passes[k].threshold, T) << "pass " << k;
            ASSERT_DOUBLE_EQ(out.passes[k].sigma, r.method == 3 ? 0 : sigma) << "pass " << k;
            ASSERT_EQ(out.passes[k].detected, static_cast<int32_t>(chain.size())) << "pass " << k;
        }
        ASSERT_EQ(out.positions, chain);
        EXPECT_EQ(out.correlationThreshold.snrMin, S);
        EXPECT_EQ(out.correlationThreshold.snrDefault, r.method != 3 && !r.snrMin);
        ++compared;
        longChains += out.positions.size() > 2;
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(longChains, 800);
}
