// The bounded exhaustive search against the literal odometer it replaces: on
// thousands of generated problems (any intervals, any gaps, starts off the
// series, sums that wrap, plateaus that tie, good, bad and missing hints)
// it must leave the same positions and return the same measure; the wider
// scores against brute force; progress and cancel.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/sanitized_trials.h"
#include "detection/exhaustive_search.h"
#include "detection/fixed_case_criteria.h"
#include "detection/stepwise_protocol.h"
#include "fixed_case_fixture.h"
#include "tests/reference/literal_estimators.h"

namespace {

struct Problem {
    std::vector<int16_t> x;
    uint16_t L = 1, Tmin = 1, Tmax = 1, m = 1;
    std::vector<int> lo, hi;  // lpMinPositions, lpMaxPositions
    bool admissible = false;  // lo, hi are the admissible ranges
};

int pick(std::mt19937& rng, int a, int b) { return std::uniform_int_distribution(a, b)(rng); }

// Ties everywhere (plateaus, a repeated pattern, near silence), plain noise,
// pulses of one shape in noise (the bound cuts deep), or full-scale values
// that wrap.
std::vector<int16_t> samples(std::mt19937& rng, int N, int L)
{
    std::vector<int16_t> x(N);
    const int kind = pick(rng, 0, 5), period = pick(rng, 1, 6);
    std::vector<int> shape(L);
    for (int& s : shape)
        s = pick(rng, -120, 120);
    for (int i = 0; i < N; ++i) {
        int v = 0;
        switch (kind) {
        case 0:
            v = (i / period) % 3 == 0 ? 2 : pick(rng, -1, 1) * (i % 7 == 0);
            break;
        case 1:
            v = (i % period) * 3 - 4;
            break;
        case 2:
            v = pick(rng, -3, 3);
            break;
        case 3:
            v = pick(rng, -10, 10) + (i % (L + 9) < L ? shape[i % (L + 9)] : 0);
            break;
        case 4:
            v = pick(rng, 0, 40) == 0;
            break;
        default:
            v = pick(rng, 0, 3) == 0 ? pick(rng, -32768, 32767) : (pick(rng, 0, 1) ? 32767 : -32768);
        }
        x[i] = static_cast<int16_t>(v);
    }
    return x;
}

// Admissible ranges when `admissible` and the gaps allow them, otherwise
// intervals drawn anywhere around the series, reversed and empty ones too,
// sometimes all from one left end (the first descent then puts every pulse
// on one window, closer than Tmin).
Problem problem(std::mt19937& rng, int N, int maxPulses, int minGap, int maxGap, bool admissible)
{
    Problem q;
    q.m = static_cast<uint16_t>(pick(rng, 1, maxPulses));
    q.L = static_cast<uint16_t>(pick(rng, 1, std::min(8, N)));
    q.x = samples(rng, N, q.L);
    q.Tmin = static_cast<uint16_t>(pick(rng, admissible ? std::max(minGap, 1) : minGap, maxGap));
    q.Tmax = static_cast<uint16_t>(pick(rng, 0, 3) == 0 ? q.Tmin : pick(rng, admissible ? q.Tmin : minGap, 2 * maxGap));
    const bool oneLeftEnd = pick(rng, 0, 2) == 0;
    for (int k = 0; k < q.m; ++k) {
        const detection::AdmissibleRange r = detection::admissibleRange(k, q.m, N, q.L, q.Tmin, q.Tmax);
        admissible = admissible && !r.empty();
        q.lo.push_back(admissible ? r.lo : k > 0 && oneLeftEnd ? q.lo[0] : pick(rng, -q.L - 3, N + 3));
        q.hi.push_back(admissible ? r.hi : q.lo.back() + pick(rng, -3, N / 2));
    }
    q.admissible = admissible;
    return q;
}

int64_t sumAt(const std::vector<int16_t>& x, int L, const std::vector<int>& p)
{
    int64_t S = 0;
    for (int i = 0; i < L; ++i) {
        int64_t column = 0;
        for (int pk : p)
            column += pk + i >= 0 && pk + i < static_cast<int>(x.size()) ? x[pk + i] : 0;
        S += column * column;
    }
    return S;
}

// Hints: none (-1s, as synthesis leaves them), a random combination the
// search reaches, the last one of greatest S among those (an earlier tie
// must still win), every pulse on the strongest window of its interval
// (beating everything when it breaks the gap rule), or random starts that
// break the intervals or the gaps.
std::vector<int> hint(std::mt19937& rng, const Problem& q)
{
    const int kind = pick(rng, 0, 4);
    std::vector<int> chosen(q.m, -1), lastBest;
    int64_t count = 0;
    int32_t best = 0;
    if (kind == 1 || kind == 2)
        forEachCombination(q.lo, q.hi, q.Tmin, q.Tmax, [&](const std::vector<int>& p) {
            const int32_t S = wrap32(sumAt(q.x, q.L, p));
            if (std::uniform_int_distribution<int64_t>(0, count++)(rng) == 0)
                chosen = p;
            if (lastBest.empty() || S >= best) {
                best = S;
                lastBest = p;
            }
        });
    if (kind == 0 || (kind < 3 && count == 0))
        return std::vector<int>(q.m, -1);
    if (kind < 3)
        return kind == 1 ? chosen : lastBest;
    std::vector<int> p;
    if (kind == 3) {
        for (int k = 0; k < q.m; ++k) {
            p.push_back(q.lo[k]);
            for (int s = q.lo[k]; s <= q.hi[k]; ++s)
                if (sumAt(q.x, q.L, {s}) > sumAt(q.x, q.L, {p.back()}))
                    p.back() = s;
        }
        return p;
    }
    for (int k = 0; k < q.m; ++k)
        p.push_back(pick(rng, q.lo[k] - 4, q.hi[k] + 4));
    return p;
}

// Runs both searches from the same series; the room beyond m must stay too.
void expectSameAsLiteral(std::mt19937& rng, const Problem& q)
{
    synthesis::SeriesHeader h = handSeries(q.x, static_cast<uint16_t>(q.m + 2));
    for (int k = 0; k < q.m; ++k) {
        h.lpMinPositions[k] = static_cast<int16_t>(q.lo[k]);
        h.lpMaxPositions[k] = static_cast<int16_t>(q.hi[k]);
    }
    const std::vector<int> start = hint(rng, q);
    std::copy(start.begin(), start.end(), h.lpFoundPositions.begin());
    h.lpFoundPositions[q.m] = 77;
    h.wFoundPulses = 9;
    synthesis::SeriesHeader expected = h;
    base::MessageRecorder sink;
    const int32_t want = literal::searchInIntervals(sink, q.Tmin, q.Tmax, q.L, q.m, expected);
    const int32_t got = detection::searchInIntervals(sink, q.Tmin, q.Tmax, q.L, q.m, h);
    ASSERT_EQ(got, want);
    ASSERT_EQ(h.lpFoundPositions, expected.lpFoundPositions);
    ASSERT_EQ(h.wFoundPulses, 9);
    ASSERT_TRUE(sink.messages.empty());
}

TEST(BoundedExhaustiveSearch, LeavesWhatTheLiteralOdometerLeaves)
{
    // Short series with any intervals, then admissible ranges hundreds of
    // starts wide, where the bound does the work.
    std::mt19937 rng(2024);
    const int shortSeries = test_support::trials(4000), wideRanges = test_support::trials(300);
    for (int n = 0; n < shortSeries + wideRanges; ++n) {
        SCOPED_TRACE("case " + std::to_string(n));
        const int N = pick(rng, 60, 300);
        expectSameAsLiteral(rng, n < shortSeries ? problem(rng, pick(rng, 1, 36), 4, 0, 7, n % 2 == 0)
                                                 : problem(rng, N, 3, N / 8, N / 4, n % 5 != 0));
    }
}

TEST(BoundedExhaustiveSearch, LooksBelowTheSeatsOnTheFirstDescent)
{
    // The first descent puts pulse 2 at its left end 0, under a strong window
    // no gap-keeping combination can reach; the best of those, the hint, lies
    // in another first pulse's sub-tree and scores less.
    const std::vector<int16_t> x{100, 100, 0, 0, 10, 10, 30, 30, 10, 30, 30, 10, 30, 30, 10, 10};
    synthesis::SeriesHeader h = handSeries(x, 3);
    const std::vector<int16_t> lo{4, 4, 0}, hi{6, 9, 12}, valid{6, 9, 12};
    std::copy(lo.begin(), lo.end(), h.lpMinPositions.begin());
    std::copy(hi.begin(), hi.end(), h.lpMaxPositions.begin());
    std::copy(valid.begin(), valid.end(), h.lpFoundPositions.begin());
    synthesis::SeriesHeader expected = h;
    base::MessageRecorder sink;
    EXPECT_EQ(detection::searchInIntervals(sink, 3, 3, 2, 3, h),
              literal::searchInIntervals(sink, 3, 3, 2, 3, expected));
    EXPECT_EQ(h.lpFoundPositions, (std::vector<int16_t>{4, 4, 0}));
}

// The wider scores never wrap here; brute force over the admissible
// combinations (the odometer's order on such ranges) keeps the first best,
// also when the hint is the last of the best.
template <class Sample, class Score>
void expectBruteForce(std::mt19937& rng, int maxValue, int samplesPerUnit)
{
    for (int n = 0; n < 600; ++n) {
        const Problem q = problem(rng, pick(rng, 4, 30), 4, 1, 6, true);
        if (!q.admissible)
            continue;
        std::vector<Sample> x(q.x.size());
        for (auto& v : x)
            v = static_cast<Sample>(pick(rng, -maxValue, maxValue)) / static_cast<Sample>(samplesPerUnit);
        if (n % 3 == 0)  // plateaus: ties
            for (size_t i = 1; i < x.size(); ++i)
                x[i] = i % 4 ? x[i - 1] : x[i];
        Score best{};
        std::vector<int32_t> winner, lastBest;
        forEachCombination(q.lo, q.hi, q.Tmin, q.Tmax, [&](const std::vector<int>& p) {
            Score S{};
            for (int i = 0; i < q.L; ++i) {
                Score column{};
                for (int pk : p)
                    column += pk + i < static_cast<int>(x.size()) ? static_cast<Score>(x[pk + i]) : Score{};
                S += column * column;
            }
            if (winner.empty() || S > best) {
                best = S;
                winner.assign(p.begin(), p.end());
            }
            if (S == best)
                lastBest.assign(p.begin(), p.end());
        });
        std::vector<int32_t> left(q.lo.begin(), q.lo.end()), end, out(q.m, -5);
        for (int hi : q.hi)
            end.push_back(hi + 1);
        const std::vector<int32_t> hint = n % 2 ? lastBest : std::vector<int32_t>{};
        const auto r = detection::searchCombinations<Sample, Score>(x, {q.Tmin, q.Tmax, q.L}, left, end, hint, out, {});
        ASSERT_TRUE(r.evaluated && !r.cancelled);
        ASSERT_EQ(r.best, best) << "case " << n;
        ASSERT_EQ(out, winner) << "case " << n;
    }
}

TEST(BoundedExhaustiveSearch, WideScoresMatchBruteForce)
{
    std::mt19937 rng(31);
    expectBruteForce<int16_t, int64_t>(rng, 32767, 1);  // would wrap in 32 bits
    expectBruteForce<int32_t, int64_t>(rng, 1 << 27, 1);
    expectBruteForce<double, double>(rng, 40, 8);  // eighths: exact sums
}

// A search long enough to report several times: full-scale samples wrap,
// so nothing can be left out.
synthesis::SeriesHeader wrappingSeries()
{
    std::mt19937 rng(5);
    std::vector<int16_t> x(700);
    for (auto& v : x)
        v = static_cast<int16_t>(pick(rng, -32768, 32767));
    synthesis::SeriesHeader h = handSeries(x, 4);
    const std::vector<int16_t> lo{200, 210, 220}, hi{500, 600, 690}, found{203, 230, 260};
    std::copy(lo.begin(), lo.end(), h.lpMinPositions.begin());
    std::copy(hi.begin(), hi.end(), h.lpMaxPositions.begin());
    std::copy(found.begin(), found.end(), h.lpFoundPositions.begin());
    return h;
}

TEST(BoundedExhaustiveSearch, ReportsProgressUpToTheWholeWork)
{
    synthesis::SeriesHeader h = wrappingSeries();
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    base::MessageRecorder sink;
    synthesis::SeriesHeader expected = h;
    const int32_t want = literal::searchInIntervals(sink, 10, 40, 6, 3, expected);
    EXPECT_EQ(detection::searchInIntervals(sink, 10, 40, 6, 3, h,
                                           [&](uint64_t done, uint64_t total) {
                                               calls.emplace_back(done, total);
                                               return true;
                                           }),
              want);
    EXPECT_EQ(h.lpFoundPositions, expected.lpFoundPositions);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front(), std::make_pair(uint64_t{0}, uint64_t{301}));
    EXPECT_EQ(calls.back(), std::make_pair(uint64_t{301}, uint64_t{301}));
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].first, calls[i - 1].first);
        EXPECT_LE(calls[i].first, calls[i].second);
        EXPECT_EQ(calls[i].second, 301u);
    }
}

TEST(BoundedExhaustiveSearch, CancelLeavesTheSeriesAsItWas)
{
    for (int stopAt : {1, 3, 0}) {  // at the start, mid-walk, at the closing report
        synthesis::SeriesHeader h = wrappingSeries();
        const synthesis::SeriesHeader before = h;
        int calls = 0;
        bool closed = false;
        base::MessageRecorder sink;
        const int32_t r = detection::searchInIntervals(sink, 10, 40, 6, 3, h, [&](uint64_t done, uint64_t total) {
            ++calls;
            closed = done == total;
            return stopAt == 0 ? !closed : calls < stopAt;
        });
        EXPECT_EQ(r, detection::kEstimateFailure);
        if (stopAt != 0) {
            EXPECT_EQ(calls, stopAt) << "the search stops at the first no";
        }
        EXPECT_EQ(closed, stopAt == 0);
        EXPECT_EQ(h.lpFoundPositions, before.lpFoundPositions);
        EXPECT_EQ(h.lpSeriesData, before.lpSeriesData);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].text, "The exhaustive search was cancelled; the positions are left as they were.");
        EXPECT_EQ(sink.messages[0].caption, " searchInIntervals ");
        EXPECT_EQ(sink.messages[0].icon, base::MessageIcon::Information);
    }
    std::vector<int32_t> out(2, -7);
    const std::vector<int16_t> x{1, 2, 3, 4, 5, 6};
    const std::vector<int32_t> left{0, 2}, end{3, 6};
    const auto r = detection::searchCombinations<int16_t, int32_t>(x, {1, 3, 2}, left, end, {}, out,
                                                                   [](uint64_t, uint64_t) { return false; });
    EXPECT_TRUE(r.cancelled && !r.evaluated);
    EXPECT_EQ(out, std::vector<int32_t>(2, -7));
}

TEST(BoundedExhaustiveSearch, ACancelledStagedRunKeepsTheImprovedPositionsAndNoExhaustiveRow)
{
    // Three pulses of 6 samples, 10..40 apart, in 120 samples; the
    // intervals are the admissible ranges, as synthesis leaves them.
    std::mt19937 rng(8);
    std::vector<int16_t> x(120);
    for (auto& v : x)
        v = static_cast<int16_t>(pick(rng, -32768, 32767));
    synthesis::SeriesHeader start = handSeries(x, 4);
    const std::vector<int16_t> lo{0, 40, 80}, hi{34, 74, 114}, truth{10, 50, 90};
    std::copy(lo.begin(), lo.end(), start.lpMinPositions.begin());
    std::copy(hi.begin(), hi.end(), start.lpMaxPositions.begin());
    std::copy(truth.begin(), truth.end(), start.lpPositions.begin());
    base::MessageRecorder sink;
    synthesis::SeriesHeader whole = start, cancelled = start;
    auto wholeProtocol = detection::getStepwiseProtocol(7, 3, nullptr);
    auto cancelledProtocol = detection::getStepwiseProtocol(7, 3, nullptr);
    ASSERT_EQ(detection::runFixedCaseEstimation(sink, whole, wholeProtocol.get(), 10, 40, 6, 3, 100,
                                                detection::FixedCaseStages::All,
                                                [](uint64_t, uint64_t) { return true; }),
              1);
    ASSERT_EQ(wholeProtocol->wUsed, 4);
    EXPECT_EQ(wholeProtocol->lpMethod[3], detection::kMethodExhaustive);

    sink.messages.clear();
    EXPECT_EQ(detection::runFixedCaseEstimation(sink, cancelled, cancelledProtocol.get(), 10, 40, 6, 3, 100,
                                                detection::FixedCaseStages::All,
                                                [](uint64_t done, uint64_t) { return done == 0; }),
              0);
    ASSERT_EQ(cancelledProtocol->wUsed, 3) << "no row of the cancelled search";
    const auto& improved = cancelledProtocol->lpRowPositions[2];
    EXPECT_TRUE(std::equal(improved.begin(), improved.begin() + 3, cancelled.lpFoundPositions.begin()));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].caption, " searchInIntervals ");
}

}  // namespace
