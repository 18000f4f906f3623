// Blind detection on correlations: the normal quantile and the default
// least signal-to-noise ratio against known values, detectPulses against a
// literal model (correlations, thresholds, start regions by brute force and
// the chain programme written plainly) on thousands of small series full of
// ties and negative correlations, and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "detection/correlation_threshold.h"
#include "detection/pulse_measures.h"
#include "detection/series_detection.h"

using namespace detection;

namespace {

int64_t pick(std::mt19937_64& rng, int64_t lo, int64_t hi)
{
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
}

// The chain programme as its contract reads (chain_core.h), over the start
// regions of every admissible count found pulse by pulse: firstOnly starts
// take their score; then the firstAndLater and the laterOnly starts, each
// list in increasing order, add the greatest D above 0 of the cells
// p-Tmax..p-Tmin written so far (the lowest cell on ties); the best chain
// ends at the lowest start of the last pulses' region with the greatest D
// above 0.
std::vector<int32_t> literalChain(const std::vector<int64_t>& R, const PulseLayout& layout, int32_t mFrom, int32_t mTo)
{
    const int64_t S = layout.N - layout.L + 1;
    std::vector<bool> first(S), later(S), last(S);
    for (int32_t m = mFrom; m <= mTo; ++m)
        for (int32_t k = 0; k < m; ++k) {
            const StartRange a = admissibleStarts(k, m, layout);
            for (int64_t p = std::max<int64_t>(a.lo, 0); p <= std::min(a.hi, S - 1); ++p) {
                (k == 0 ? first : later)[p] = true;
                if (k == m - 1)
                    last[p] = true;
            }
        }
    const int64_t empty = std::numeric_limits<int64_t>::lowest();
    std::vector<int64_t> D(S, empty);
    std::vector<int64_t> B(S, -2);
    for (int64_t p = 0; p < S; ++p)
        if (first[p] && !later[p])
            D[p] = R[p];
    for (const bool alsoFirst : {true, false})
        for (int64_t p = 0; p < S; ++p) {
            if (!later[p] || first[p] != alsoFirst)
                continue;
            int64_t best = 0;
            for (int64_t q = std::max<int64_t>(0, p - layout.Tmax); q <= p - layout.Tmin; ++q)
                if (D[q] > best) {
                    best = D[q];
                    B[p] = q;
                }
            D[p] = best + R[p];
        }
    int64_t end = -1, best = 0;
    for (int64_t p = 0; p < S; ++p)
        if (last[p] && D[p] > best) {
            best = D[p];
            end = p;
        }
    std::vector<int32_t> chain;
    for (int64_t p = end; p >= 0; p = B[p])
        chain.insert(chain.begin(), static_cast<int32_t>(p));
    return chain;
}

struct ModelPass {
    int64_t threshold = 0;
    double sigma = 0;
    std::vector<int32_t> positions;
};

// The passes of a method on correlations, as docs/cli.md defines them.
std::vector<ModelPass> modelDetection(const std::vector<int64_t>& x, const DetectionRequest& r, double S)
{
    const int64_t N = static_cast<int64_t>(x.size()), L = r.L;
    std::vector<int64_t> C(N - L + 1, 0);
    double norm = 0;
    for (int64_t h : r.templateSamples)
        norm += static_cast<double>(h * h);
    norm = std::sqrt(norm);
    for (int64_t l = 0; l + L <= N; ++l)
        for (int64_t i = 0; i < L; ++i)
            C[l] += r.templateSamples[i] * x[l + i];
    const PulseLayout layout{N, r.L, r.Tmin, r.Tmax};
    const CountRange counts = admissibleCounts(layout);

    double sigma = static_cast<double>(r.noiseLevel);
    if (r.method == 0 || r.method == 2)
        sigma = robustNoiseSigma(std::vector<double>(x.begin(), x.end()));
    std::vector<ModelPass> passes(r.method == 2 || r.method == 3 ? 3 : 1);
    for (size_t k = 0; k < passes.size(); ++k) {
        if (k > 0 && r.method == 2) {
            std::vector<bool> covered(N);
            for (int32_t p : passes[k - 1].positions)
                for (int64_t i = p; i < p + L; ++i)
                    covered[i] = true;
            double sum = 0;
            int64_t outside = 0;
            for (int64_t i = 0; i < N; ++i)
                if (!covered[i]) {
                    sum += static_cast<double>(x[i] * x[i]);
                    ++outside;
                }
            if (outside > 0)
                sigma = std::sqrt(sum / static_cast<double>(outside));
        }
        ModelPass& pass = passes[k];
        pass.sigma = r.method == 3 ? 0 : sigma;
        pass.threshold = r.method == 3 ? 0 : std::llround(S * sigma * norm);
        std::vector<int64_t> R(C.size());
        for (size_t l = 0; l < C.size(); ++l)
            R[l] = r.method == 6 ? (C[l] <= pass.threshold ? 0 : C[l]) : C[l] - pass.threshold;
        pass.positions = literalChain(R, layout, counts.from, counts.to);
    }
    return passes;
}

DetectionRequest blindCorrelation(int32_t method, int32_t L, int32_t Tmin, int32_t Tmax)
{
    DetectionRequest r;
    r.mode = DetectionMode::Blind;
    r.score = ScoreKind::Correlation;
    r.method = method;
    r.L = L;
    r.Tmin = Tmin;
    r.Tmax = Tmax;
    r.templateSamples.assign(static_cast<size_t>(L), 1);
    return r;
}

}  // namespace

// Known quantiles: Phi^-1(0.975) and Phi^-1(1e-6) to the last digit tables
// give; Phi^-1(1e-10) and the defaults (as -Phi^-1(0.01 / n), the tail
// taken exactly) from Python's statistics.NormalDist.inv_cdf (Wichura's
// AS 241). Every p of both tails comes back through 0.5 erfc.
TEST(CorrelationThreshold, NormalQuantileAndTheDefaultLevelMeetKnownValues)
{
    EXPECT_NEAR(normalQuantile(0.975), 1.959963984540054, 1e-15);
    EXPECT_NEAR(normalQuantile(1e-6), -4.753424308822899, 1e-14);
    // 1 - 1e-6 is 1.0000000000287557e-6 below 1 as a double: 5.7e-12 less.
    EXPECT_NEAR(normalQuantile(1 - 1e-6), 4.753424308817089, 1e-13);
    EXPECT_NEAR(normalQuantile(1e-10), -6.361340902404056, 1e-13);
    EXPECT_EQ(normalQuantile(0.5), 0.0);
    EXPECT_EQ(normalQuantile(0.0), -INFINITY);
    EXPECT_EQ(normalQuantile(1.0), INFINITY);
    // A relative error e of x moves the tail by x^2 e relatively: the
    // round trip is held to a few units of the last place of x.
    for (double p = 1e-300; p < 0.5; p *= 1.37) {
        const double x = normalQuantile(p), slack = 1e-15 * (1 + x * x);
        EXPECT_NEAR(0.5 * std::erfc(-x / std::sqrt(2.0)) / p, 1.0, slack) << p;
        const double q = 1 - p, upper = 1 - q;  // the tail above q, exactly
        if (q < 1) {
            EXPECT_NEAR(0.5 * std::erfc(normalQuantile(q) / std::sqrt(2.0)) / upper, 1.0, slack) << q;
        }
    }

    // n = max(1, (N - L + 1) / L) windows; S = Phi^-1(1 - 0.01 / n).
    EXPECT_EQ(independentWindows(10000, 20), 499);
    EXPECT_EQ(independentWindows(39, 20), 1);
    EXPECT_NEAR(defaultSnrMin(10000, 20), 4.107017079383826, 1e-13);
    EXPECT_NEAR(defaultSnrMin(1000000, 20), 5.068953942498715, 1e-13);
    EXPECT_NEAR(defaultSnrMin(3000, 20), 3.818568732147927, 1e-13);
    EXPECT_NEAR(defaultSnrMin(30, 20), 2.3263478740408408, 1e-13);
}

// detectPulses against the literal model: every pass's threshold, sigma and
// chain, with S given or by default, for methods 0, 1, 2, 3 and 6. Small
// samples and templates make ties and negative correlations common.
TEST(CorrelationThreshold, BlindDetectionEqualsTheLiteralModelOnGeneratedSeries)
{
    std::mt19937_64 rng(41);
    int compared = 0, longChains = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const int32_t methods[] = {0, 1, 2, 3, 6};
        DetectionRequest r = blindCorrelation(methods[trial % 5], static_cast<int32_t>(pick(rng, 1, 5)),
                                              static_cast<int32_t>(pick(rng, 1, 6)), 0);
        r.Tmax = std::max(r.L, r.Tmin) + static_cast<int32_t>(pick(rng, 0, 8));
        const int64_t N = r.L + pick(rng, 0, 45);
        const int64_t spread = trial % 3 == 0 ? 1 : 4;
        std::vector<int64_t> x(static_cast<size_t>(N));
        for (int64_t& v : x)
            v = pick(rng, -spread, spread);
        for (int64_t& h : r.templateSamples)
            h = pick(rng, -2, 2);
        if (r.method != 3 && pick(rng, 0, 1))
            r.snrMin = 0.05 * static_cast<double>(pick(rng, 1, 40));
        r.noiseLevel = pick(rng, 0, 3);
        if (admissibleCounts({N, r.L, r.Tmin, r.Tmax}).empty())
            continue;

        DetectionOutcome out;
        std::string error;
        ASSERT_TRUE(detectPulses(x, r, out, error)) << error;
        const double S = r.method == 3 ? 0 : r.snrMin.value_or(defaultSnrMin(N, r.L));
        const std::vector<ModelPass> model = modelDetection(x, r, S);
        const std::string what = "trial " + std::to_string(trial) + " method " + std::to_string(r.method);
        ASSERT_TRUE(out.correlationThreshold.ran) << what;
        EXPECT_EQ(out.correlationThreshold.snrMin, S) << what;
        EXPECT_EQ(out.correlationThreshold.snrDefault, r.method != 3 && !r.snrMin) << what;
        ASSERT_EQ(out.passes.size(), model.size()) << what;
        for (size_t k = 0; k < model.size(); ++k) {
            ASSERT_EQ(out.passes[k].threshold, model[k].threshold) << what << " pass " << k;
            ASSERT_DOUBLE_EQ(out.passes[k].sigma, model[k].sigma) << what << " pass " << k;
            ASSERT_EQ(out.passes[k].detected, static_cast<int32_t>(model[k].positions.size())) << what;
        }
        ASSERT_EQ(out.positions, model.back().positions) << what;
        ASSERT_EQ(out.rows.size(), 1u);
        EXPECT_TRUE(out.counts.empty());
        ++compared;
        longChains += out.positions.size() > 2;
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(longChains, 800);
}

TEST(CorrelationThreshold, RefusesWhatItCannotRun)
{
    std::mt19937_64 rng(3);
    std::vector<int64_t> x(300);
    for (int64_t& v : x)
        v = pick(rng, -50, 50);
    DetectionOutcome out;
    std::string error;
    auto refusal = [&](const DetectionRequest& r) {
        error.clear();
        EXPECT_FALSE(detectPulses(x, r, out, error));
        return error;
    };
    DetectionRequest r = blindCorrelation(4, 10, 20, 40);
    EXPECT_EQ(refusal(r), kMeanWindowCorrelationRefusal);
    r.method = 5;
    EXPECT_NE(refusal(r).find("method 5 (additive model)"), std::string::npos);
    // S applies to methods 0, 1, 2 and 6 on correlations only.
    r.method = 3;
    r.snrMin = 4.0;
    EXPECT_EQ(refusal(r), kSnrMinMethodsOnly);
    r.method = 2;
    r.score = ScoreKind::Energy;
    r.templateSamples.clear();
    EXPECT_EQ(refusal(r), kSnrMinMethodsOnly);
    r = blindCorrelation(2, 10, 20, 40);
    r.mode = DetectionMode::KnownCount;
    r.pulses = 10;
    r.snrMin = 4.0;
    EXPECT_EQ(refusal(r), kSnrMinMethodsOnly);
    r = blindCorrelation(2, 10, 20, 40);
    for (const double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        r.snrMin = bad;
        EXPECT_NE(refusal(r).find("must be a positive number"), std::string::npos) << bad;
    }
    // A threshold past 64 bits.
    r.snrMin = 1e30;
    EXPECT_NE(refusal(r).find("method 2: threshold detection: the correlation threshold"), std::string::npos) << error;
    r.snrMin.reset();
    r.mode = DetectionMode::SequentialMethod;
    EXPECT_NE(refusal(r).find("the sequential method judges window energies"), std::string::npos);
}
