// The search over a grid of layouts: the grid against its formulas (an
// integer model of floor and ceil), every spectrum row against a separate
// detection at its layout, the same outcome on any number of threads, and
// the look-elsewhere significance: a one-point grid is detect's own
// significance, a real train is significant and pure noise is not.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "detection/layout_search.h"
#include "detection/matched_filter.h"
#include "detection/significance.h"
#include "detection/surrogates.h"

using namespace detection;

namespace {

int64_t pick(std::mt19937_64& random, int64_t lo, int64_t hi)
{
    return std::uniform_int_distribution<int64_t>(lo, hi)(random);
}

// White noise of sigma 100 with boxes of `depth` and length L every
// gapFrom..gapTo samples (no boxes for depth 0).
std::vector<int64_t> train(std::mt19937_64& random, int64_t n, int32_t L, int32_t gapFrom, int32_t gapTo, double depth)
{
    std::normal_distribution<double> noise(0.0, 100.0);
    std::vector<int64_t> x(static_cast<size_t>(n));
    for (int64_t& v : x)
        v = std::llround(noise(random));
    for (int64_t p = pick(random, 0, gapFrom); depth > 0 && p + L <= n; p += pick(random, gapFrom, gapTo))
        for (int32_t i = 0; i < L; ++i)
            x[static_cast<size_t>(p + i)] += std::llround(depth);
    return x;
}

SearchPoint layout(int32_t Tmin, int32_t Tmax)
{
    SearchPoint p;
    p.Tmin = Tmin;
    p.Tmax = Tmax;
    return p;
}

SearchRequest request(std::vector<SearchPoint> layouts, std::vector<int32_t> lengths, unsigned threads)
{
    SearchRequest r;
    std::string error;
    EXPECT_TRUE(expandSearchGrid(layouts, lengths, r.grid, error)) << error;
    r.nullSeries = 2;
    r.threads = threads;
    return r;
}

SearchOutcome searched(std::span<const int64_t> x, const SearchRequest& r)
{
    SearchOutcome out;
    EXPECT_TRUE(searchLayouts(x, r, out));
    return out;
}

}  // namespace

// Periods P = p/4 and windows F = f/100 make P (1 -+ F) = p (100 -+ f) / 400
// exactly, so floor and ceil have an integer model; windows such as
// 10 x (1 + 0.3), 13 in decimal but 13.000000000000002 in binary, sit on
// the edges.
TEST(LayoutSearchGrid, PeriodsAndWindowsFollowTheirFormulas)
{
    std::vector<double> v;
    std::string error;
    ASSERT_TRUE(steppedValues("--period", 1, 2, 0.1, 100, v, error));
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v[3], 1.3);
    EXPECT_EQ(v[10], 2.0);
    ASSERT_TRUE(steppedValues("--period", 10, 10.9, 0.3, 100, v, error));  // 0.9 / 0.3 is 2.9999999999999996
    EXPECT_EQ(v, (std::vector<double>{10, 10.3, 10.6, 10.9}));
    ASSERT_TRUE(steppedValues("--period", 100.5, 101.2, 0.25, 100, v, error));
    EXPECT_EQ(v, (std::vector<double>{100.5, 100.75, 101}));
    EXPECT_FALSE(steppedValues("--period", 1, 1e9, 1, kMaxSearchPoints, v, error));
    EXPECT_FALSE(steppedValues("--period", 2, 1, 1, 100, v, error));
    EXPECT_FALSE(steppedValues("--period", 1, 2, 0, 100, v, error));

    int checked = 0;
    for (int64_t p = 1; p <= 4000; p += 7)
        for (int64_t f = 1; f <= 99; f += 2) {
            SearchPoint l;
            const bool ok = periodLayout(static_cast<double>(p) / 4, static_cast<double>(f) / 100, l, error);
            const int64_t low = p * (100 - f), high = p * (100 + f);
            ASSERT_EQ(ok, low >= 400) << p << " " << f;
            if (!ok)
                continue;
            EXPECT_EQ(l.Tmin, low / 400) << p << " " << f;
            EXPECT_EQ(l.Tmax, (high + 399) / 400) << p << " " << f;
            EXPECT_EQ(l.period, static_cast<double>(p) / 4);
            ++checked;
        }
    EXPECT_GT(checked, 25000);
    SearchPoint l;
    ASSERT_TRUE(periodLayout(10, 0.3, l, error));
    EXPECT_EQ(l.Tmin, 7);
    EXPECT_EQ(l.Tmax, 13);
    EXPECT_FALSE(periodLayout(1e10, 0.5, l, error));  // Tmax past 32 bits
    EXPECT_FALSE(periodLayout(10, 1.0, l, error));

    // Layout by layout, the lengths of each in turn; the size is bounded.
    std::vector<SearchPoint> grid;
    ASSERT_TRUE(expandSearchGrid(std::vector<SearchPoint>{layout(5, 9), layout(7, 11)}, std::vector<int32_t>{3, 4, 2},
                                 grid, error));
    ASSERT_EQ(grid.size(), 6u);
    EXPECT_EQ((std::vector<int32_t>{grid[0].Tmin, grid[2].Tmin, grid[3].Tmin, grid[5].Tmax}),
              (std::vector<int32_t>{5, 5, 7, 11}));
    EXPECT_EQ((std::vector<int32_t>{grid[0].L, grid[1].L, grid[2].L, grid[3].L}), (std::vector<int32_t>{3, 4, 2, 3}));
    EXPECT_FALSE(expandSearchGrid(std::vector<SearchPoint>(1001), std::vector<int32_t>(100, 1), grid, error));
}

// Every row is what detectPulses gives with the count unknown at that
// layout, set up here from scratch (the box of the point's length, or the
// one template), on another number of threads: the chosen count, S, the
// snr, the statistic (the excess, or the energy excess from its formula),
// and the refusal of a layout that admits no count. The best row is the
// first greatest and its detection is the one kept.
TEST(LayoutSearch, EveryRowIsTheDetectionAtItsLayout)
{
    std::mt19937_64 random(11);
    int ran = 0, refused = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int64_t n = pick(random, 300, 1500);
        const std::vector<int64_t> x = train(random, n, 6, 60, 90, trial % 4 == 3 ? 0.0 : 150.0);
        std::vector<SearchPoint> layouts;
        for (int k = 0; k < 3; ++k) {
            const int32_t Tmin = static_cast<int32_t>(pick(random, 30, 120));
            layouts.push_back(layout(Tmin, Tmin + static_cast<int32_t>(pick(random, 0, 60))));
        }
        layouts.push_back(layout(static_cast<int32_t>(n), static_cast<int32_t>(n) + 5));  // admits no count
        const bool energy = trial % 3 == 2, fixed = trial % 3 == 1;
        std::vector<int32_t> lengths{static_cast<int32_t>(pick(random, 2, 8)), 150};  // 150 > most Tmax
        SearchRequest r = request(layouts, fixed ? std::vector<int32_t>{5} : lengths, 2);
        r.score = energy ? ScoreKind::Energy : ScoreKind::Correlation;
        if (fixed)
            r.templateSamples = {1, 3, 4, 3, 1};
        r.seed = static_cast<uint64_t>(trial);
        const SearchOutcome out = searched(x, r);
        ASSERT_EQ(out.rows.size(), r.grid.size());

        const double sigma = programmeNoiseSigma(x);
        int64_t best = -1;
        std::vector<int32_t> bestPositions;
        for (size_t i = 0; i < out.rows.size(); ++i) {
            const SearchRow& row = out.rows[i];
            DetectionRequest d;
            d.mode = DetectionMode::SequentialMethod;
            d.L = row.point.L;
            d.Tmin = row.point.Tmin;
            d.Tmax = row.point.Tmax;
            d.score = r.score;
            if (!energy)
                d.templateSamples = fixed ? r.templateSamples : std::vector<int64_t>(static_cast<size_t>(d.L), 1);
            d.nullSeries = 2;
            d.seed = r.seed;
            d.threads = 3;
            DetectionOutcome found;
            std::string why;
            if (!detectPulses(x, d, found, why)) {
                EXPECT_EQ(row.refusal, why);
                EXPECT_EQ(row.count, 0);
                ++refused;
                continue;
            }
            ++ran;
            ASSERT_TRUE(row.refusal.empty()) << row.refusal;
            ASSERT_EQ(row.count, static_cast<int32_t>(found.positions.size()));
            double S = 0;
            for (int64_t s : found.pulseScores)
                S += static_cast<double>(s);
            EXPECT_EQ(static_cast<double>(row.score), S);
            if (energy) {
                const double dof = static_cast<double>(row.count) * d.L;
                EXPECT_DOUBLE_EQ(row.statistic, (S - dof * sigma * sigma) / (sigma * sigma * std::sqrt(2 * dof)));
                EXPECT_TRUE(std::isnan(row.snr));
            } else {
                const auto chosen = std::find_if(found.counts.begin(), found.counts.end(),
                                                 [&](const CountScore& c) { return c.count == found.chosenCount; });
                ASSERT_NE(chosen, found.counts.end());
                EXPECT_EQ(row.score, chosen->chainScore);
                EXPECT_EQ(row.snr, chosen->snr);
                EXPECT_EQ(row.statistic, chosen->excess);
                EXPECT_EQ(row.rawNull, found.rawNull);
            }
            if (best < 0 || row.statistic > out.rows[static_cast<size_t>(best)].statistic) {
                best = static_cast<int64_t>(i);
                bestPositions = found.positions;
            }
        }
        ASSERT_EQ(out.best, best);
        EXPECT_EQ(out.bestOutcome.positions, bestPositions);
    }
    EXPECT_GT(ran, 150);
    EXPECT_GT(refused, 50) << ran;
}

// One thread or three: every figure of every row and the best detection
// are the same to the bit. A stop from the progress callback stops the
// whole grid.
TEST(LayoutSearch, ThreadsChangeNothingAndAStopStopsTheGrid)
{
    std::mt19937_64 random(5);
    const std::vector<int64_t> x = train(random, 3000, 10, 200, 260, 120);
    std::vector<SearchPoint> layouts;
    std::vector<double> periods;
    std::string error;
    ASSERT_TRUE(steppedValues("--period", 150, 290, 17.5, 100, periods, error));
    for (double P : periods) {
        SearchPoint l;
        ASSERT_TRUE(periodLayout(P, 0.15, l, error));
        layouts.push_back(l);
    }
    const SearchRequest one = request(layouts, {6, 10, 14}, 1);
    SearchRequest three = one;
    three.threads = 3;
    const SearchOutcome a = searched(x, one), b = searched(x, three);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (size_t i = 0; i < a.rows.size(); ++i) {
        EXPECT_EQ(a.rows[i].count, b.rows[i].count);
        EXPECT_EQ(a.rows[i].score, b.rows[i].score);
        EXPECT_EQ(std::isnan(a.rows[i].snr) ? 0 : a.rows[i].snr, std::isnan(b.rows[i].snr) ? 0 : b.rows[i].snr);
        EXPECT_EQ(a.rows[i].statistic, b.rows[i].statistic);
        EXPECT_EQ(a.rows[i].rawNull, b.rows[i].rawNull);
    }
    EXPECT_EQ(a.best, b.best);
    EXPECT_EQ(a.bestOutcome.positions, b.bestOutcome.positions);
    // The train's own layout (period about 230, pulses of 10) wins.
    const SearchPoint& won = a.rows[static_cast<size_t>(a.best)].point;
    EXPECT_LE(won.Tmin, 230);
    EXPECT_GE(won.Tmax, 230);
    EXPECT_EQ(won.L, 10);

    SearchRequest stopped = three;
    int calls = 0;
    stopped.progress = [&calls](uint64_t, uint64_t) { return ++calls < 3; };
    SearchOutcome c;
    EXPECT_FALSE(searchLayouts(x, stopped, c));
    EXPECT_TRUE(c.cancelled);
    EXPECT_TRUE(c.rows.empty());
}

// A grid of one point is detect's own significance: the same surrogates,
// the same null, the same p. Over a grid, the surrogates' greatest
// statistics are the same on any number of threads; a real train reaches
// p = 1/(N+1), while on pure noise p <= 0.1 is as rare as chance makes it
// (binomial(20, 0.1): mean 2, and more than 8 has odds below 1e-4).
TEST(LayoutSearchSignificance, TheLookElsewhereEffect)
{
    std::mt19937_64 random(23);
    std::string error;
    {
        const std::vector<int64_t> x = train(random, 2000, 8, 60, 90, 100);
        const SearchRequest r = request({layout(60, 90)}, {8}, 2);
        const SearchOutcome out = searched(x, r);
        Significance grid, single;
        ASSERT_TRUE(assessSearchSignificance(x, r, out, 9, 4, 2, nullptr, grid, error)) << error;
        DetectionRequest d = searchPointRequest(r, 0);
        DetectionOutcome found;
        ASSERT_TRUE(detectPulses(x, d, found, error)) << error;
        ASSERT_TRUE(assessSignificance(x, d, found, 9, 4, 1, nullptr, single, error)) << error;
        EXPECT_EQ(grid.null, single.null);
        EXPECT_EQ(grid.statistic, single.statistic);
        EXPECT_EQ(grid.falseAlarm, single.falseAlarm);
        EXPECT_EQ(grid.block, single.block);
    }
    const std::vector<SearchPoint> layouts{layout(40, 70), layout(60, 90), layout(80, 120)};
    for (int trial = 0; trial < 4; ++trial) {
        const std::vector<int64_t> x = train(random, 2500, 8, 60, 90, 212);
        const SearchRequest r = request(layouts, {5, 8}, 2);
        const SearchOutcome out = searched(x, r);
        Significance s, again;
        ASSERT_TRUE(assessSearchSignificance(x, r, out, 19, 7, 2, nullptr, s, error)) << error;
        EXPECT_EQ(s.reached, 0);
        EXPECT_DOUBLE_EQ(s.falseAlarm, 0.05);
        EXPECT_EQ(s.block, surrogateBlockLength(2500, 5, 40));
        ASSERT_TRUE(assessSearchSignificance(x, r, out, 19, 7, 1, nullptr, again, error)) << error;
        EXPECT_EQ(again.null, s.null);
    }
    int small = 0;
    for (int trial = 0; trial < 20; ++trial) {
        const std::vector<int64_t> x = train(random, 2500, 8, 60, 90, 0);
        const SearchRequest r = request(layouts, {5, 8}, 2);
        const SearchOutcome out = searched(x, r);
        Significance s;
        ASSERT_TRUE(assessSearchSignificance(x, r, out, 19, static_cast<uint64_t>(trial), 2, nullptr, s, error))
            << error;
        small += s.falseAlarm <= 0.1 ? 1 : 0;
    }
    EXPECT_LE(small, 8);
}
