// Detection on a researcher's own series: the preparation figures worked by
// hand, the moving median and the admissible counts against brute force, the
// programme's chain against every admissible chain, and known answers on
// clean series.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "tests/reference/literal_span_programme.h"

using namespace detection;

namespace {

PreparedSeries prepared(const std::vector<double>& values, bool integral, const PreparationOptions& options)
{
    PreparedSeries p;
    std::string error;
    EXPECT_TRUE(prepareSeries(values, integral, options, p, error)) << error;
    return p;
}

// Pulses of a given shape added at the starts, plus noise of the given sigma.
std::vector<int64_t> pulseSeries(int64_t N, const std::vector<int64_t>& shape, const std::vector<int32_t>& starts,
                                 double sigma, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<int64_t> x(N);
    for (int64_t& v : x)
        v = sigma > 0 ? std::llround(noise(rng)) : 0;
    for (int32_t p : starts)
        for (size_t i = 0; i < shape.size() && p + static_cast<int64_t>(i) < N; ++i)
            x[p + i] += shape[i];
    return x;
}

}  // namespace

TEST(SeriesPreparation, FiguresWorkedByHand)
{
    const double gap = NAN;
    // The lower median of the real samples 1, 3, 10, 2 is 2; after it is
    // taken away the gap is the baseline 0.
    PreparationOptions whole;
    PreparedSeries p = prepared({1, gap, 3, 10, 2}, true, whole);
    EXPECT_EQ(p.gaps, 1);
    EXPECT_EQ(p.centre, 0);
    EXPECT_EQ(p.trendMedian, 2);
    EXPECT_FALSE(p.scaled);
    EXPECT_EQ(p.samples, (std::vector<int64_t>{-1, 0, 1, 8, 0}));
    EXPECT_EQ(p.largest, 8);

    whole.invert = true;
    EXPECT_EQ(prepared({1, gap, 3, 10, 2}, true, whole).samples, (std::vector<int64_t>{1, 0, -1, -8, 0}));

    // Floating-point data: the largest magnitude becomes 32767, halves round
    // away from zero.
    PreparationOptions none;
    none.detrend = Detrend::None;
    p = prepared({0.5, -1.0, 0.25}, false, none);
    EXPECT_TRUE(p.scaled);
    EXPECT_DOUBLE_EQ(p.scale, 32767.0);
    EXPECT_EQ(p.samples, (std::vector<int64_t>{16384, -32767, 8192}));

    // A given factor applies to integer data too.
    none.scale = 0.5;
    EXPECT_EQ(prepared({3, -4, 7}, true, none).samples, (std::vector<int64_t>{2, -2, 4}));

    // A moving median of 3 over 5 1 9 2 8: windows {5,1} {5,1,9} {1,9,2} {9,2,8} {2,8}.
    PreparationOptions moving;
    moving.detrend = Detrend::MovingMedian;
    moving.window = 3;
    EXPECT_EQ(prepared({5, 1, 9, 2, 8}, true, moving).samples, (std::vector<int64_t>{4, -4, 7, -6, 6}));
}

TEST(SeriesPreparation, RefusesWhatCannotBePrepared)
{
    PreparedSeries p;
    std::string error;
    EXPECT_FALSE(prepareSeries({}, true, {}, p, error));
    EXPECT_FALSE(prepareSeries(std::vector<double>{NAN, NAN}, false, {}, p, error));
    EXPECT_NE(error.find("only gaps"), std::string::npos);
    PreparationOptions big;
    big.scale = 1e12;
    EXPECT_FALSE(prepareSeries(std::vector<double>{1, 2, 3}, true, big, p, error));
    // The message says what to change, in words every front end shares.
    EXPECT_NE(error.find("choose a smaller scale factor"), std::string::npos);
    PreparationOptions noWindow;
    noWindow.detrend = Detrend::MovingMedian;
    EXPECT_FALSE(prepareSeries(std::vector<double>{1, 2, 3}, true, noWindow, p, error));
}

// Gaps (NaN) included: each median is taken over the real samples of its
// window only, NaN when there are none.
TEST(SeriesPreparation, MovingMedianEqualsSortingEveryWindow)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 600; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 60);
        const int width = 1 + static_cast<int>(rng() % 12);
        const unsigned gapEvery = trial % 2 ? 3 + rng() % 5 : 0;
        std::vector<double> x(n);
        for (double& v : x)
            v = gapEvery && rng() % gapEvery == 0 ? NAN : static_cast<double>(static_cast<int>(rng() % 9) - 4);
        const std::vector<double> fast = movingMedian(x, width);
        for (int i = 0; i < n; ++i) {
            std::vector<double> window;
            for (int j = i - (width - 1) / 2; j <= i + width / 2; ++j)
                if (j >= 0 && j < n && !std::isnan(x[j]))
                    window.push_back(x[j]);
            std::sort(window.begin(), window.end());
            if (window.empty())
                ASSERT_TRUE(std::isnan(fast[i])) << "n " << n << " width " << width << " i " << i;
            else
                ASSERT_EQ(fast[i], window[(window.size() - 1) / 2]) << "n " << n << " width " << width << " i " << i;
        }
    }
}

// Gaps cost nothing: with the whole median taken away, the real samples of a
// series with gaps are prepared exactly as the same series with its gaps cut
// out, and every gap is the baseline 0.
TEST(SeriesPreparation, GapsAreTheBaselineAndLeaveTheRealSamplesAsTheyWere)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 200);
        std::vector<double> x(n), present;
        std::normal_distribution<double> value(rng() % 50, 1 + rng() % 20);
        for (int i = 0; i < n; ++i) {
            x[i] = rng() % 4 == 0 ? NAN : (trial % 2 ? std::round(value(rng)) : value(rng));
            if (!std::isnan(x[i]))
                present.push_back(x[i]);
        }
        if (present.empty())
            continue;
        PreparationOptions o;
        o.invert = rng() % 2;
        const bool integral = trial % 2 == 1;
        const PreparedSeries withGaps = prepared(x, integral, o);
        const PreparedSeries cut = prepared(present, integral, o);
        ASSERT_EQ(withGaps.scale, cut.scale);
        ASSERT_EQ(withGaps.trendMedian, cut.trendMedian);
        size_t k = 0;
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(withGaps.samples[i], std::isnan(x[i]) ? 0 : cut.samples[k++]) << "trial " << trial << " i " << i;
        EXPECT_EQ(withGaps.gaps, n - static_cast<int64_t>(present.size()));
    }
}

// A strong trend and stretches of gaps: the moving median, taken over the
// real samples and followed by gaps at the baseline, finds the pulses where
// the same series without its trend finds them. (Filling the gaps before
// detrending left steps at every gap that the programme framed as pulses.)
TEST(SeriesPreparation, TrendAndGapsGiveThePulsesOfThePerfectlyDetrendedSeries)
{
    const std::vector<int64_t> shape = {200, 400, 600, 400, 200};
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::vector<int32_t> starts;
        for (int32_t p = 30 + static_cast<int32_t>(rng() % 20); p + 5 < 6000;
             p += 100 + static_cast<int32_t>(rng() % 60))
            starts.push_back(p);
        const std::vector<int64_t> clean = pulseSeries(6000, shape, starts, 60.0, seed);
        std::vector<double> trended(clean.size()), flat(clean.size());
        for (size_t i = 0; i < clean.size(); ++i) {
            flat[i] = static_cast<double>(clean[i]);
            trended[i] = flat[i] + 4000.0 * static_cast<double>(i) / 6000.0 + 800.0 * std::sin(i / 700.0);
        }
        // Stretches of 10 to 60 gaps, away from the pulses' own samples.
        for (int g = 0; g < 25; ++g) {
            const size_t from = rng() % 5900, length = 10 + rng() % 50;
            bool hitsPulse = false;
            for (int32_t p : starts)
                hitsPulse |= p + 5 > static_cast<int32_t>(from) && p < static_cast<int32_t>(from + length);
            if (hitsPulse)
                continue;
            for (size_t i = from; i < from + length; ++i)
                trended[i] = flat[i] = NAN;
        }
        PreparationOptions moving;
        moving.detrend = Detrend::MovingMedian;
        moving.window = 151;
        moving.scale = 1.0;
        PreparationOptions none;
        none.detrend = Detrend::None;
        none.scale = 1.0;
        DetectionRequest r;
        r.L = 5;
        r.Tmin = 90;
        r.Tmax = 170;
        r.mode = DetectionMode::KnownCount;
        r.pulses = static_cast<int32_t>(starts.size());
        std::string error;
        DetectionOutcome fromTrend, fromFlat;
        ASSERT_TRUE(detectPulses(prepared(trended, false, moving).samples, r, fromTrend, error)) << error;
        ASSERT_TRUE(detectPulses(prepared(flat, false, none).samples, r, fromFlat, error)) << error;
        int close = 0;
        for (size_t k = 0; k < starts.size(); ++k)
            close += std::abs(fromTrend.positions[k] - starts[k]) <= 2 ? 1 : 0;
        EXPECT_EQ(fromFlat.positions, starts) << "seed " << seed;
        EXPECT_GE(close, static_cast<int>(starts.size()) - 1)
            << "seed " << seed << ": " << close << " of " << starts.size();
    }
}

TEST(SeriesPreparation, NoiseEstimateIgnoresPulsesAndTrend)
{
    // Gaussian noise of sigma 200 under a slow trend and 40 tall pulses.
    std::vector<int64_t> x = pulseSeries(
        20000, std::vector<int64_t>(20, 5000),
        [] {
            std::vector<int32_t> s;
            for (int k = 0; k < 40; ++k)
                s.push_back(200 + 480 * k);
            return s;
        }(),
        200.0, 3);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] += static_cast<int64_t>(i / 10);
    const int64_t sigma = estimateNoiseLevel(x);
    EXPECT_NEAR(sigma, 200, 12);
}

TEST(SeriesDetection, AdmissibleCountsAreTheCountsWhoseEveryPulseHasRoom)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 2000; ++trial) {
        PulseLayout layout;
        layout.L = 1 + static_cast<int32_t>(rng() % 8);
        layout.Tmin = 1 + static_cast<int32_t>(rng() % 10);
        layout.Tmax = layout.Tmin + static_cast<int32_t>(rng() % 15);
        layout.N = static_cast<int64_t>(rng() % 80);
        const CountRange range = admissibleCounts(layout);
        for (int32_t m = 1; m <= 90; ++m) {
            bool room = layout.N >= layout.L && layout.Tmax >= layout.L;
            for (int32_t k = 0; room && k < m; ++k)
                room = !admissibleStarts(k, m, layout).empty();
            const bool inRange = m >= range.from && m <= range.to;
            ASSERT_EQ(inRange, room) << "N " << layout.N << " L " << layout.L << " Tmin " << layout.Tmin << " Tmax "
                                     << layout.Tmax << " m " << m;
        }
    }
}

// Every chain of m starts in their admissible ranges, neighbours Tmin..Tmax
// apart: the best summed score. The programme's chain must reach it, with
// correlations that may be negative as well as with energies.
TEST(SeriesDetection, KnownCountProgrammeReachesTheBestAdmissibleChain)
{
    std::mt19937 rng(5);
    int checked = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        DetectionRequest r;
        r.L = 1 + static_cast<int32_t>(rng() % 4);
        r.Tmin = 1 + static_cast<int32_t>(rng() % 4);
        r.Tmax = std::max(r.L, r.Tmin) + static_cast<int32_t>(rng() % 5);
        const int64_t N = r.L + static_cast<int64_t>(rng() % 22);
        std::vector<int64_t> x(N);
        for (int64_t& v : x)
            v = static_cast<int64_t>(rng() % 21) - 10;
        const bool correlation = trial % 2 == 1;
        if (correlation) {
            r.score = ScoreKind::Correlation;
            for (int32_t i = 0; i < r.L; ++i)
                r.templateSamples.push_back(static_cast<int64_t>(rng() % 7) - 3);
        }
        const PulseLayout layout{N, r.L, r.Tmin, r.Tmax};
        const CountRange range = admissibleCounts(layout);
        if (range.empty())
            continue;
        r.pulses = range.from + static_cast<int32_t>(rng() % std::min(3, range.to - range.from + 1));
        const std::vector<int64_t> scores = windowScores(x, r.L, r.score, r.templateSamples);

        int64_t best = std::numeric_limits<int64_t>::lowest();
        std::vector<int32_t> chain(r.pulses);
        std::function<void(int32_t, int64_t)> walk = [&](int32_t k, int64_t total) {
            if (k == r.pulses) {
                best = std::max(best, total);
                return;
            }
            const StartRange a = admissibleStarts(k, r.pulses, layout);
            for (int64_t p = a.lo; p <= a.hi; ++p) {
                if (k > 0 && (p - chain[k - 1] < r.Tmin || p - chain[k - 1] > r.Tmax))
                    continue;
                chain[k] = static_cast<int32_t>(p);
                walk(k + 1, total + scores[p]);
            }
        };
        walk(0, 0);

        DetectionOutcome out;
        std::string error;
        ASSERT_TRUE(detectPulses(x, r, out, error)) << error;
        ASSERT_FALSE(out.rows.empty());
        const StageRow& programme = out.rows.front();
        ASSERT_EQ(programme.positions.size(), static_cast<size_t>(r.pulses));
        if (best == std::numeric_limits<int64_t>::lowest())
            continue;  // no chain obeys the gaps
        int64_t total = 0;
        for (int32_t p : programme.positions) {
            ASSERT_GE(p, 0);
            total += scores[p];
        }
        ASSERT_EQ(total, best) << "trial " << trial;
        // Energy rows after the programme never lose measure.
        for (size_t i = 1; !correlation && i < out.rows.size(); ++i)
            EXPECT_GE(out.rows[i].measure, programme.measure);
        ++checked;
    }
    EXPECT_GT(checked, 800);
}

TEST(SeriesDetection, CleanPulsesAreFoundByEveryMode)
{
    const std::vector<int64_t> shape = {300, 600, 900, 1200, 900, 600, 300};
    std::vector<int32_t> starts;
    for (int32_t p = 40; p + 7 < 3000; p += 90 + (p % 7) * 5)
        starts.push_back(p);
    const std::vector<int64_t> x = pulseSeries(3000, shape, starts, 30.0, 9);

    DetectionRequest r;
    r.L = 7;
    r.Tmin = 60;
    r.Tmax = 140;
    std::string error;
    DetectionOutcome out;

    r.mode = DetectionMode::KnownCount;
    r.pulses = static_cast<int32_t>(starts.size());
    ASSERT_TRUE(detectPulses(x, r, out, error)) << error;
    EXPECT_EQ(out.positions, starts);

    r.score = ScoreKind::Correlation;
    r.templateSamples = shape;
    ASSERT_TRUE(detectPulses(x, r, out, error)) << error;
    EXPECT_EQ(out.positions, starts);
    ASSERT_EQ(out.pulseScores.size(), starts.size());
    EXPECT_GT(out.pulseScores[0], 3000000);

    r.score = ScoreKind::Energy;
    r.templateSamples.clear();
    for (int32_t method : {0, 1, 2, 3, 4, 6}) {
        r.mode = DetectionMode::Blind;
        r.method = method;
        r.noiseLevel = 30;
        ASSERT_TRUE(detectPulses(x, r, out, error)) << error;
        EXPECT_EQ(out.positions, starts) << "method " << method;
        EXPECT_EQ(out.counts.size(), static_cast<size_t>(out.toCount - out.fromCount + 1));
    }
}

TEST(SeriesDetection, RefusesLayoutsTheSeriesCannotHold)
{
    const std::vector<int64_t> x(100, 1);
    DetectionRequest r;
    r.L = 10;
    r.Tmin = 20;
    r.Tmax = 30;
    r.pulses = 9;  // 9 pulses 20 apart need 170 samples
    DetectionOutcome out;
    std::string error;
    EXPECT_FALSE(detectPulses(x, r, out, error));
    EXPECT_NE(error.find("cannot hold 9 pulses"), std::string::npos) << error;
    r.pulses = 3;
    r.L = 101;
    EXPECT_FALSE(detectPulses(x, r, out, error));
    EXPECT_NE(error.find("longer than the series"), std::string::npos) << error;
    r.L = 10;
    r.Tmin = 31;
    EXPECT_FALSE(detectPulses(x, r, out, error));
    r.Tmin = 20;
    r.mode = DetectionMode::Blind;
    r.method = 5;
    EXPECT_FALSE(detectPulses(x, r, out, error));
    // Samples whose sums could leave 64 bits.
    const std::vector<int64_t> huge(100, int64_t{1} << 31);
    r.mode = DetectionMode::KnownCount;
    EXPECT_FALSE(detectPulses(huge, r, out, error));
}

// The shared programme of 64-bit scores, one table for a range of counts,
// against the literal one count at a time: scores with many ties, negative
// ones (correlations) and layouts where some cells have no predecessor.
TEST(SeriesDetection, SharedProgrammeEqualsTheLiteralOneOnUserScores)
{
    std::mt19937 rng(17);
    int compared = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        PulseLayout layout;
        layout.L = 1 + static_cast<int32_t>(rng() % 5);
        layout.Tmin = 1 + static_cast<int32_t>(rng() % 6);
        layout.Tmax = std::max(layout.L, layout.Tmin) + static_cast<int32_t>(rng() % 9);
        layout.N = layout.L + static_cast<int64_t>(rng() % 70);
        const CountRange range = admissibleCounts(layout);
        if (range.empty())
            continue;
        std::vector<int64_t> scores(static_cast<size_t>(layout.N - layout.L + 1));
        const bool negative = trial % 3 == 0;
        for (int64_t& v : scores)
            v = negative ? static_cast<int64_t>(rng() % 7) - 3 : static_cast<int64_t>(rng() % 4) * 1000000007LL;
        const int32_t to = std::min(range.to, range.from + 6);
        const EnergyProgramme<int64_t> shared(scores, layout, range.from, to);
        // A table kept in strides gives the same chains as a whole one.
        const EnergyProgramme<int64_t> strided(scores, layout, range.from, to, 0);
        std::vector<int32_t> scores32(scores.begin(), scores.end());
        const EnergyProgramme<int32_t> whole32(scores32, layout, range.from, to);
        const EnergyProgramme<int32_t> strided32(scores32, layout, range.from, to, 0);
        const std::vector<std::vector<int32_t>> all = strided.chains(), all32 = strided32.chains();
        for (int32_t m = range.from; m <= to; ++m) {
            std::vector<int32_t> fast(m), again(m);
            shared.positions(m, fast);
            ASSERT_EQ(all[m - range.from], fast);
            whole32.positions(m, fast);
            ASSERT_EQ(all32[m - range.from], fast);
            strided.positions(m, again);
            shared.positions(m, fast);
            ASSERT_EQ(fast, again);
            ASSERT_EQ(shared.total(m), strided.total(m));
            whole32.positions(m, fast);
            strided32.positions(m, again);
            ASSERT_EQ(fast, again);
            shared.positions(m, fast);
            ASSERT_EQ(fast, literal::programmeStarts(scores, layout, m))
                << "trial " << trial << " m " << m << " N " << layout.N << " L " << layout.L << " T " << layout.Tmin
                << ".." << layout.Tmax;
            ++compared;
        }
    }
    EXPECT_GT(compared, 5000);
}

// A chain's criterion adds the samples at one offset of every pulse: 15
// pulses of 2^27 make columns of about 2^31, whose squares over 10 samples
// pass 64 bits although no two pulses overlap. Refused, where it once ran
// and wrapped.
TEST(SeriesDetection, ColumnsOfEveryPulseMustStayWithin64Bits)
{
    std::vector<int64_t> x(2000, 0);
    for (int32_t p = 50; p + 10 <= 2000; p += 130)
        for (int32_t i = 0; i < 10; ++i)
            x[static_cast<size_t>(p + i)] = int64_t{1} << 27;
    DetectionRequest r;
    r.mode = DetectionMode::KnownCount;
    r.pulses = 15;
    r.L = 10;
    r.Tmin = 100;
    r.Tmax = 200;
    DetectionOutcome out;
    std::string error;
    EXPECT_FALSE(detectPulses(x, r, out, error));
    EXPECT_NE(error.find("too large for exact 64-bit sums"), std::string::npos) << error;
    // A sixteenth of the height fits: (15 x 2^23)^2 x 10 is below 4e18.
    for (int64_t& v : x)
        v >>= 4;
    EXPECT_TRUE(detectPulses(x, r, out, error)) << error;
    EXPECT_EQ(out.positions.size(), 15u);
}
