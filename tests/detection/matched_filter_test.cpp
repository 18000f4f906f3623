// The matched filter with the count unknown and the significance of a
// detection: every count's chain against the known-count programme, the
// chosen count against a plain model of the criterion, the surrogates
// against a model of the block bootstrap, and the false-alarm probability
// uniform on pure noise and small on a real train.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "detection/matched_filter.h"
#include "detection/series_detection.h"
#include "detection/significance.h"
#include "detection/surrogates.h"
#include "support/sanitized_trials.h"

using namespace detection;

namespace {

struct Case {
    std::vector<int64_t> x;
    DetectionRequest request;
};

// Boxes of `depth` every Tmin..Tmax samples in white noise of sigma 1000
// (samples rounded), or small integers when `ties` (many equal scores).
Case generated(std::mt19937_64& random, bool ties, double depth = 0)
{
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(random); };
    Case c;
    DetectionRequest& r = c.request;
    r.mode = DetectionMode::SequentialMethod;
    r.score = ScoreKind::Correlation;
    r.L = static_cast<int32_t>(pick(1, 12));
    r.Tmin = static_cast<int32_t>(pick(1, 30));
    r.Tmax = static_cast<int32_t>(std::max<int64_t>(r.L, r.Tmin) + pick(0, 40));
    const int64_t N = pick(r.L, 400);
    r.templateSamples.resize(static_cast<size_t>(r.L));
    for (int64_t& h : r.templateSamples)
        h = ties ? pick(0, 1) : pick(-3, 5);
    r.nullSeries = static_cast<int32_t>(pick(1, 3));
    r.seed = static_cast<uint64_t>(pick(0, 1000));
    r.threads = 1;
    std::normal_distribution<double> noise(0.0, 1000.0);
    c.x.resize(static_cast<size_t>(N));
    for (int64_t& v : c.x)
        v = ties ? pick(-2, 2) : std::llround(noise(random));
    for (int64_t p = pick(0, r.Tmin); depth > 0 && p + r.L <= N; p += pick(r.Tmin, r.Tmax))
        for (int32_t i = 0; i < r.L; ++i)
            c.x[static_cast<size_t>(p + i)] += std::llround(depth * static_cast<double>(r.templateSamples[i]));
    return c;
}

DetectionOutcome detected(const std::vector<int64_t>& x, const DetectionRequest& r)
{
    DetectionOutcome out;
    std::string error;
    EXPECT_TRUE(detectPulses(x, r, out, error)) << error;
    return out;
}

// The criterion as documented, written plainly: each count's null the mean
// of the finite raw nulls within w counts, the excess snr - null, the first
// greatest excess.
int32_t modelChoice(const DetectionOutcome& out, std::vector<double>& excess)
{
    const int64_t K = static_cast<int64_t>(out.counts.size());
    const int64_t w = std::max<int64_t>(2, K / 20);
    excess.assign(static_cast<size_t>(K), NAN);
    int64_t best = -1;
    for (int64_t i = 0; i < K; ++i) {
        double sum = 0;
        int64_t n = 0;
        for (int64_t j = 0; j < K; ++j)
            if ((K <= 2 * w + 1 || std::abs(i - j) <= w) && std::isfinite(out.rawNull[j])) {
                sum += out.rawNull[j];
                ++n;
            }
        const double snr = out.counts[i].snr;
        excess[i] = std::isnan(snr) || n == 0 ? snr : snr - sum / static_cast<double>(n);
        if (!std::isnan(excess[i]) && (best < 0 || excess[i] > excess[best]))
            best = i;
    }
    return best < 0 ? 0 : out.counts[best].count;
}

}  // namespace

// Every count's chain score is the known-count programme's total for that
// count, the chosen count's chain is the known count's chain to the start
// (ties and negative correlations included), and the choice is the model's.
TEST(MatchedFilter, EveryCountIsTheKnownCountAndTheChoiceIsTheCriterions)
{
    std::mt19937_64 random(20261208);
    int checked = 0;
    for (int trial = 0; trial < test_support::trials(400); ++trial) {
        const Case c = generated(random, trial % 2 == 0, trial % 3 == 0 ? 0.0 : 900.0);
        const CountRange counts =
            admissibleCounts({static_cast<int64_t>(c.x.size()), c.request.L, c.request.Tmin, c.request.Tmax});
        if (counts.empty())
            continue;
        const DetectionOutcome out = detected(c.x, c.request);
        ASSERT_EQ(out.counts.size(), static_cast<size_t>(counts.to - counts.from + 1));
        const double sigma = programmeNoiseSigma(c.x), norm = templateNorm(c.request.templateSamples);
        const std::vector<int64_t> scores =
            windowScores(c.x, c.request.L, ScoreKind::Correlation, c.request.templateSamples);
        for (const CountScore& s : out.counts) {
            DetectionRequest known = c.request;
            known.mode = DetectionMode::KnownCount;
            known.pulses = s.count;
            const DetectionOutcome k = detected(c.x, known);
            int64_t total = 0;
            for (int32_t p : k.positions)
                total += scores[p];
            ASSERT_EQ(s.chainScore, total) << "trial " << trial << " count " << s.count;
            EXPECT_DOUBLE_EQ(s.snr, static_cast<double>(total) / (sigma * (norm > 0 ? norm : 1) * std::sqrt(s.count)));
            if (s.count == out.chosenCount) {
                EXPECT_EQ(out.positions, k.positions) << "trial " << trial;
            }
        }
        std::vector<double> excess;
        EXPECT_EQ(out.chosenCount, modelChoice(out, excess)) << "trial " << trial;
        for (size_t i = 0; i < excess.size(); ++i)
            if (!std::isnan(excess[i])) {
                EXPECT_NEAR(out.counts[i].excess, excess[i], 1e-9 * (1 + std::fabs(excess[i])));
            }
        // Five counts or fewer: one null level for all, so the choice is snr's.
        if (out.counts.size() <= 5) {
            EXPECT_EQ(out.chosenCount, out.plainCount) << "trial " << trial;
        }
        ++checked;
    }
    EXPECT_GT(checked, test_support::trials(250));
}

// The null series run on any number of threads give the same result; a
// given null curve is taken as it is and runs no null series.
TEST(MatchedFilter, ThreadsAndAGivenNullChangeNothing)
{
    std::mt19937_64 random(7);
    for (int trial = 0; trial < 30; ++trial) {
        Case c = generated(random, false, 800.0);
        c.request.nullSeries = 5;
        if (admissibleCounts({static_cast<int64_t>(c.x.size()), c.request.L, c.request.Tmin, c.request.Tmax}).empty())
            continue;
        const DetectionOutcome one = detected(c.x, c.request);
        c.request.threads = 3;
        const DetectionOutcome three = detected(c.x, c.request);
        EXPECT_EQ(one.rawNull, three.rawNull);
        EXPECT_EQ(one.positions, three.positions);
        c.request.nullSnr = one.rawNull;
        c.request.nullSeries = 1000000;  // would take long if it ran
        const DetectionOutcome given = detected(c.x, c.request);
        EXPECT_EQ(given.rawNull, one.rawNull);
        EXPECT_EQ(given.chosenCount, one.chosenCount);
    }
}

// A block surrogate is made of circular runs of the residual, each `block`
// long (the last cut short), the same for a seed and index whatever else
// was made before; the residual takes a pulse of the shape out exactly.
TEST(Surrogates, BlocksOfTheSeriesAndTheResidualOfAFit)
{
    std::vector<int64_t> series(103);
    for (size_t i = 0; i < series.size(); ++i)
        series[i] = static_cast<int64_t>(i) * 1000 + 7;  // every value tells where it came from
    for (const int32_t block : {1, 10, 32, 103, 500}) {
        const std::vector<int64_t> s = blockSurrogate(series, block, 99, 4);
        ASSERT_EQ(s.size(), series.size());
        EXPECT_EQ(s, blockSurrogate(series, block, 99, 4));
        EXPECT_NE(s, blockSurrogate(series, block, 99, 5));
        for (size_t i = 0; i < s.size(); ++i) {
            const size_t from = static_cast<size_t>((s[i] - 7) / 1000);
            if (i % static_cast<size_t>(block) != 0) {  // inside a block: the next sample round the end
                EXPECT_EQ(from, (static_cast<size_t>((s[i - 1] - 7) / 1000) + 1) % series.size()) << i;
            }
        }
    }
    EXPECT_EQ(surrogateBlockLength(10000, 30, 200), 120);
    EXPECT_EQ(surrogateBlockLength(10000, 30, 50), 50);
    EXPECT_EQ(surrogateBlockLength(10000, 30, 10), 30);
    EXPECT_EQ(surrogateBlockLength(20, 30, 10), 20);

    std::vector<int64_t> x(40, 3);
    const std::vector<double> shape{1, 2, 1};
    for (int i = 0; i < 3; ++i)
        x[10 + i] += 50 * static_cast<int64_t>(shape[i]);
    const std::vector<int64_t> r = pulseResidual(x, std::vector<int32_t>{10}, shape);
    // a = (53 + 2 * 103 + 53) / 6 = 52: 52, 104, 52 taken out.
    EXPECT_EQ((std::vector<int64_t>{r[10], r[11], r[12]}), (std::vector<int64_t>{1, -1, 1}));
    EXPECT_EQ(r[9], 3);
}

// The false-alarm probability on pure noise is uniform on its grid, so that
// P(p <= 0.1) is 0.1: over 160 noise series with 19 surrogates each, the
// count at or below 0.1 is binomial(160, 0.1), mean 16, sd 3.8; the test
// takes 4..32 (more than 3 sd either way). A train of boxes at a per-pulse
// snr of 6 reaches p = 1/20 (no surrogate reaches it) in every seed.
TEST(Significance, UniformOnNoiseAndSmallOnATrain)
{
    DetectionRequest r;
    r.mode = DetectionMode::SequentialMethod;
    r.score = ScoreKind::Correlation;
    r.L = 8;
    r.Tmin = 60;
    r.Tmax = 90;
    r.templateSamples.assign(8, 1);
    r.nullSeries = 4;
    r.threads = 2;
    std::mt19937_64 random(31);
    std::normal_distribution<double> noise(0.0, 100.0);
    auto series = [&](double depth) {
        std::vector<int64_t> x(3000);
        for (int64_t& v : x)
            v = std::llround(noise(random));
        std::uniform_int_distribution<int32_t> gap(r.Tmin, r.Tmax);
        for (int32_t p = gap(random) / 2; depth > 0 && p + r.L <= 3000; p += gap(random))
            for (int32_t i = 0; i < r.L; ++i)
                x[static_cast<size_t>(p + i)] += std::llround(depth);
        return x;
    };
    int low = 0;
    for (int trial = 0; trial < 160; ++trial) {
        const std::vector<int64_t> x = series(0);
        const DetectionOutcome out = detected(x, r);
        Significance s;
        std::string error;
        ASSERT_TRUE(assessSignificance(x, r, out, 19, static_cast<uint64_t>(trial), 2, nullptr, s, error)) << error;
        EXPECT_DOUBLE_EQ(s.resolution, 0.05);
        low += s.falseAlarm <= 0.1 ? 1 : 0;
    }
    EXPECT_GE(low, 4);
    EXPECT_LE(low, 32);

    // depth d over sigma 100 on 8 samples: snr = d sqrt 8 / 100 = 6 for d = 212.
    for (int trial = 0; trial < 10; ++trial) {
        const std::vector<int64_t> x = series(212);
        DetectionRequest known = r;
        const DetectionOutcome out = detected(x, known);
        Significance s;
        std::string error;
        ASSERT_TRUE(assessSignificance(x, r, out, 19, 5, 1, nullptr, s, error)) << error;
        EXPECT_EQ(s.reached, 0);
        EXPECT_DOUBLE_EQ(s.falseAlarm, 0.05);
        // The same seed and surrogates on two threads: the same null.
        Significance again;
        ASSERT_TRUE(assessSignificance(x, r, out, 19, 5, 2, nullptr, again, error)) << error;
        EXPECT_EQ(again.null, s.null);
    }
}
