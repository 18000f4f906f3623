// The fixed-case criteria and estimators, checked against brute force on
// small series and against the synthesis' own admissible bounds.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "fixed_case_fixture.h"
#include "synthesis/series_synthesis.h"
#include "synthesis/synthesis_fixture.h"

namespace {

struct Problem {
    std::vector<int16_t> x;
    int L, Tmin, Tmax, m;
    std::vector<int> lo, hi;
};

// Small random problems whose admissible ranges are all non-empty. Samples
// come from a narrow alphabet so that equal energies and sums are common and
// the tie rules are exercised.
std::vector<Problem> smallProblems(int count, unsigned seed, int spread)
{
    std::mt19937 rng(seed);
    std::vector<Problem> problems;
    while (static_cast<int>(problems.size()) < count) {
        Problem q;
        q.L = std::uniform_int_distribution(1, 4)(rng);
        q.Tmin = std::uniform_int_distribution(1, 6)(rng);
        q.Tmax = q.Tmin + std::uniform_int_distribution(0, 7)(rng);
        q.m = std::uniform_int_distribution(1, 4)(rng);
        const int N = std::uniform_int_distribution(q.L, 40)(rng);
        q.x.resize(N);
        for (auto& v : q.x)
            v = static_cast<int16_t>(std::uniform_int_distribution(-spread, spread)(rng));
        bool ok = true;
        for (int k = 0; k < q.m; ++k) {
            const detection::AdmissibleRange r = detection::admissibleRange(k, q.m, N, q.L, q.Tmin, q.Tmax);
            ok = ok && !r.empty();
            q.lo.push_back(r.lo);
            q.hi.push_back(r.hi);
        }
        if (ok && q.L <= q.Tmax)
            problems.push_back(q);
    }
    return problems;
}

std::string describe(const Problem& q)
{
    return "N=" + std::to_string(q.x.size()) + " L=" + std::to_string(q.L) + " Tmin=" + std::to_string(q.Tmin) +
           " Tmax=" + std::to_string(q.Tmax) + " m=" + std::to_string(q.m);
}

TEST(FixedCaseMeasure, IsTheColumnCriterionPerPulseRoundedHalfUp)
{
    EXPECT_EQ(detection::measureOfSum(5, 2), 3);
    EXPECT_EQ(detection::measureOfSum(4, 2), 2);
    EXPECT_EQ(detection::measureOfSum(7, 4), 2);    // 1.75
    EXPECT_EQ(detection::measureOfSum(6, 4), 2);    // 1.5 goes up
    EXPECT_EQ(detection::measureOfSum(-5, 2), -2);  // (2 - 10) / 4, truncated toward zero
    EXPECT_EQ(detection::measureOfSum(123, 0), 0) << "no positions, no division";

    // Two windows of two samples: columns 1+3 and 2+(-4).
    const synthesis::SeriesHeader h = handSeries({1, 2, 0, 3, -4, 9}, 4);
    const std::vector<int16_t> p{0, 3};
    EXPECT_EQ(detection::criterionSum(h, 2, p), 16 + 4);
    EXPECT_EQ(detection::measure(h, 2, p), 10);
    EXPECT_EQ(detection::squares(h, 2, p), 1 + 4 + 9 + 16);
    EXPECT_EQ(detection::measure(h, 2, std::span<const int16_t>()), 0);
}

TEST(FixedCaseMeasure, StartsOffTheSeriesReadSilence)
{
    const synthesis::SeriesHeader h = handSeries({5, 6, 7}, 2);
    const std::vector<int16_t> p{-1, 2};
    // Offsets 0 and 1: (0 + 7) and (5 + 0).
    EXPECT_EQ(detection::criterionSum(h, 2, p), 49 + 25);
    EXPECT_EQ(detection::squares(h, 2, p), 25 + 49);
}

TEST(FixedCaseMeasure, WrapsAt32BitsForLargeAmplitudes)
{
    std::vector<int16_t> x(300);
    std::mt19937 rng(7);
    for (auto& v : x)
        v = static_cast<int16_t>(std::uniform_int_distribution(-32768, 32767)(rng));
    const synthesis::SeriesHeader h = handSeries(x, 10);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<int> p;
        std::vector<int16_t> p16;
        for (int k = 0; k < 6; ++k) {
            p.push_back(k * 40 + trial % 20);
            p16.push_back(static_cast<int16_t>(p.back()));
        }
        const int64_t S = referenceS(x, 40, p);
        EXPECT_EQ(detection::criterionSum(h, 40, p16), wrap32(S));
        EXPECT_EQ(detection::squares(h, 40, p16), wrap32(referenceSquares(x, 40, p)));
        const int32_t S32 = wrap32(S);
        EXPECT_EQ(detection::measure(h, 40, p16), wrap32(6 + 2 * int64_t{S32}) / 12);
    }
}

TEST(FixedCaseRanges, AreTheBoundsSynthesisDrawsFrom)
{
    for (int N : {200, 349, 600, 1200, 7200})
        for (int m = 1; m <= 180; m += 7)
            for (int k = 0; k < m; ++k) {
                const detection::AdmissibleRange r = detection::admissibleRange(k, m, N, 20, 40, 181);
                EXPECT_EQ(r.lo, synthesis::pulseLowBound(k, m, N, 20, 40, 181));
                EXPECT_EQ(r.hi, synthesis::pulseHighBound(k, m, N, 20, 40, 181));
            }

    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    const synthesis::SeriesHeader& h = *bench.series;
    for (int k = 0; k < 18; ++k) {
        const detection::AdmissibleRange r = detection::admissibleRange(k, 18, 1200, 20, 40, 181);
        EXPECT_EQ(h.lpMinPositions[k], r.lo);
        EXPECT_EQ(h.lpMaxPositions[k], r.hi);
    }
}

TEST(EnergyProgramme, FindsTheBruteForceMaximumOfSquaresWithItsTieRule)
{
    for (int spread : {1, 3, 50})
        for (const Problem& q : smallProblems(150, 11u + spread, spread)) {
            SCOPED_TRACE(describe(q));
            // Best squares; among equals the lowest last start, then the
            // lowest start before it, and so on back to the first.
            int64_t best = -1;
            std::vector<int> winner;
            forEachCombination(q.lo, q.hi, q.Tmin, q.Tmax, [&](const std::vector<int>& p) {
                const int64_t v = referenceSquares(q.x, q.L, p);
                const bool lowerFromTheEnd =
                    std::lexicographical_compare(p.rbegin(), p.rend(), winner.rbegin(), winner.rend());
                if (v > best || (v == best && lowerFromTheEnd)) {
                    best = v;
                    winner = p;
                }
            });
            ASSERT_FALSE(winner.empty());

            synthesis::SeriesHeader h = handSeries(q.x, 6);
            h.wFoundPulses = 0;
            base::MessageRecorder sink;
            const int32_t result = detection::estimateByEnergies(sink, q.Tmin, q.Tmax, q.L, q.m, h);
            EXPECT_TRUE(sink.messages.empty());
            ASSERT_EQ(foundOf(h, q.m), winner);
            EXPECT_EQ(h.wFoundPulses, q.m);
            EXPECT_EQ(result, detection::measureOfSum(static_cast<int32_t>(referenceS(q.x, q.L, winner)), q.m));
        }
}

TEST(EnergyProgramme, ASinglePulseTakesTheStrongestWindowTheLowestOnTies)
{
    // Windows of 3 starting at 2 and at 7 both hold energy 3 * 16.
    const std::vector<int16_t> x{0, 1, 4, 4, -4, 0, 1, 4, -4, 4, 0, 0};
    synthesis::SeriesHeader h = handSeries(x, 2);
    base::MessageRecorder sink;
    const int32_t result = detection::estimateByEnergies(sink, 3, 12, 3, 1, h);
    EXPECT_EQ(h.lpFoundPositions[0], 2);
    EXPECT_EQ(result, 48) << "one pulse: the measure is the window's energy";
}

TEST(EnergyProgramme, WrapsLikeThe32BitTableForLoudSeries)
{
    std::vector<int16_t> x(400);
    std::mt19937 rng(3);
    for (auto& v : x)
        v = static_cast<int16_t>(std::uniform_int_distribution(-32768, 32767)(rng));
    // One pulse: the programme keeps the window whose wrapped energy is
    // largest, the lowest on ties.
    const int L = 20, Tmax = 181, wideTmax = 400;
    synthesis::SeriesHeader h = handSeries(x, 12);
    base::MessageRecorder sink;
    const detection::AdmissibleRange r = detection::admissibleRange(0, 1, 400, L, 40, wideTmax);
    int32_t best = detection::kEstimateFailure;
    int where = -1;
    for (int l = r.lo; l <= r.hi; ++l) {
        const int32_t e = wrap32(referenceSquares(x, L, {l}));
        if (e > best) {
            best = e;
            where = l;
        }
    }
    ASSERT_LT(r.lo, r.hi);
    detection::estimateByEnergies(sink, 40, wideTmax, L, 1, h);
    EXPECT_EQ(h.lpFoundPositions[0], where);

    // Several pulses: whatever wraps, the result is the measure of what was
    // written, and the sanitizer build sees no signed overflow.
    for (int m = 3; m <= 9; ++m) {
        const int32_t result = detection::estimateByEnergies(sink, 40, Tmax, L, m, h);
        EXPECT_EQ(result, detection::measure(h, L, std::span<const int16_t>(h.lpFoundPositions.data(), m)));
        const int32_t improved = detection::improvePositions(sink, 40, Tmax, L, m, h);
        EXPECT_EQ(improved, detection::measure(h, L, std::span<const int16_t>(h.lpFoundPositions.data(), m)));
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST(ExhaustiveSearch, FindsTheBruteForceMaximumOfTheMeasureFirstInOrderOnTies)
{
    for (int spread : {1, 2, 40})
        for (const Problem& q : smallProblems(150, 101u + spread, spread)) {
            SCOPED_TRACE(describe(q));
            int64_t best = INT64_MIN;
            std::vector<int> winner;
            forEachCombination(q.lo, q.hi, q.Tmin, q.Tmax, [&](const std::vector<int>& p) {
                const int64_t S = referenceS(q.x, q.L, p);
                if (S > best) {  // visited in ascending order: the first stays on ties
                    best = S;
                    winner = p;
                }
            });
            synthesis::SeriesHeader h = handSeries(q.x, 6);
            for (int k = 0; k < q.m; ++k) {
                h.lpMinPositions[k] = static_cast<int16_t>(q.lo[k]);
                h.lpMaxPositions[k] = static_cast<int16_t>(q.hi[k]);
            }
            h.wFoundPulses = 5;
            base::MessageRecorder sink;
            const int32_t result = detection::searchInIntervals(sink, q.Tmin, q.Tmax, q.L, q.m, h);
            ASSERT_EQ(foundOf(h, q.m), winner);
            EXPECT_EQ(result, detection::measureOfSum(static_cast<int32_t>(best), q.m));
            EXPECT_EQ(h.wFoundPulses, 5) << "the count is not the search's to change";
        }
}

TEST(ExhaustiveSearch, SingleSampleIntervalsGiveThatOneCombination)
{
    const std::vector<int16_t> x{3, 1, 0, 2, 2, 5, 1, 1, 0, 0};
    synthesis::SeriesHeader h = handSeries(x, 3);
    const std::vector<int> p{1, 4, 7};
    for (int k = 0; k < 3; ++k)
        h.lpMinPositions[k] = h.lpMaxPositions[k] = static_cast<int16_t>(p[k]);
    base::MessageRecorder sink;
    const int32_t result = detection::searchInIntervals(sink, 2, 4, 2, 3, h);
    EXPECT_EQ(foundOf(h, 3), p);
    EXPECT_EQ(result, detection::measureOfSum(static_cast<int32_t>(referenceS(x, 2, p)), 3));
}

// Starting positions: admissible combinations drawn at random.
std::vector<int> randomCombination(const Problem& q, std::mt19937& rng)
{
    std::vector<std::vector<int>> all;
    forEachCombination(q.lo, q.hi, q.Tmin, q.Tmax, [&](const std::vector<int>& p) { all.push_back(p); });
    return all[std::uniform_int_distribution<size_t>(0, all.size() - 1)(rng)];
}

bool satisfiesGapsAndRanges(const Problem& q, const std::vector<int>& p)
{
    for (int k = 0; k < q.m; ++k) {
        if (p[k] < q.lo[k] || p[k] > q.hi[k])
            return false;
        if (k > 0 && (p[k] - p[k - 1] < q.Tmin || p[k] - p[k - 1] > q.Tmax))
            return false;
    }
    return true;
}

TEST(ImprovementPass, NeverLowersTheCriterionAndKeepsTheRules)
{
    std::mt19937 rng(5);
    for (int spread : {1, 3, 60})
        for (const Problem& q : smallProblems(150, 201u + spread, spread)) {
            SCOPED_TRACE(describe(q));
            const std::vector<int> start = randomCombination(q, rng);
            synthesis::SeriesHeader h = handSeries(q.x, 6);
            std::copy(start.begin(), start.end(), h.lpFoundPositions.begin());
            h.wFoundPulses = 6;
            base::MessageRecorder sink;
            const int32_t result = detection::improvePositions(sink, q.Tmin, q.Tmax, q.L, q.m, h);
            const std::vector<int> after = foundOf(h, q.m);
            EXPECT_GE(referenceS(q.x, q.L, after), referenceS(q.x, q.L, start));
            EXPECT_TRUE(satisfiesGapsAndRanges(q, after));
            EXPECT_EQ(result, detection::measureOfSum(static_cast<int32_t>(referenceS(q.x, q.L, after)), q.m));
            EXPECT_EQ(h.wFoundPulses, 6);
        }
}

TEST(ImprovementPass, LeavesALocalOptimumWhereItIs)
{
    std::mt19937 rng(9);
    for (int spread : {1, 4, 60})
        for (const Problem& q : smallProblems(120, 301u + spread, spread)) {
            SCOPED_TRACE(describe(q));
            synthesis::SeriesHeader h = handSeries(q.x, 6);
            const std::vector<int> start = randomCombination(q, rng);
            std::copy(start.begin(), start.end(), h.lpFoundPositions.begin());
            base::MessageRecorder sink;
            std::vector<int> before;
            for (int round = 0; round < 200 && before != foundOf(h, q.m); ++round) {
                before = foundOf(h, q.m);
                detection::improvePositions(sink, q.Tmin, q.Tmax, q.L, q.m, h);
            }
            ASSERT_EQ(before, foundOf(h, q.m));

            // Independently: no single pulse can move, within its range and
            // its neighbours' gaps, to a strictly greater criterion.
            const int64_t S = referenceS(q.x, q.L, before);
            for (int k = 0; k < q.m; ++k)
                for (int c = q.lo[k]; c <= q.hi[k]; ++c) {
                    std::vector<int> moved = before;
                    moved[k] = c;
                    if (satisfiesGapsAndRanges(q, moved)) {
                        ASSERT_LE(referenceS(q.x, q.L, moved), S) << "pulse " << k << " to " << c;
                    }
                }

            const int32_t again = detection::improvePositions(sink, q.Tmin, q.Tmax, q.L, q.m, h);
            EXPECT_EQ(foundOf(h, q.m), before);
            EXPECT_EQ(again, detection::measureOfSum(static_cast<int32_t>(S), q.m));
        }
}

TEST(ImprovementPass, BackwardTieMovesAreDiscarded)
{
    // Two equal bumps: a single pulse at 0 could move to 6 with the same
    // criterion. The backward pass would take the tie, but nothing was gained.
    const std::vector<int16_t> x{2, 2, 0, 0, 0, 0, 2, 2, 0, 0};
    synthesis::SeriesHeader h = handSeries(x, 1);
    h.lpFoundPositions[0] = 0;
    base::MessageRecorder sink;
    EXPECT_EQ(detection::improvePositions(sink, 1, 10, 2, 1, h), 8);
    EXPECT_EQ(h.lpFoundPositions[0], 0);
    // A strict gain is taken in the forward pass.
    h.lpFoundPositions[0] = 3;
    EXPECT_EQ(detection::improvePositions(sink, 1, 10, 2, 1, h), 8);
    EXPECT_EQ(h.lpFoundPositions[0], 0);
}

TEST(FixedCaseEstimators, RefuseWhatTheSeriesCannotHoldAndLeaveItAlone)
{
    const std::vector<int16_t> x(100, 3);
    struct Case {
        uint16_t Tmin, Tmax, L, m;
        const char* why;
    };
    const Case cases[] = {
        {10, 30, 5, 0, "no pulses"},
        {10, 30, 5, 5, "more pulses than the series can hold"},
        {10, 30, 5, 1, "a single pulse cannot reach within Tmax of both ends"},
        {35, 40, 5, 4, "four pulses do not fit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        synthesis::SeriesHeader h = handSeries(x, 4);
        h.lpFoundPositions = {7, 8, 9, 10};
        h.wFoundPulses = 3;
        const synthesis::SeriesHeader before = h;
        base::MessageRecorder sink;
        EXPECT_EQ(detection::estimateByEnergies(sink, c.Tmin, c.Tmax, c.L, c.m, h), detection::kEstimateFailure);
        EXPECT_EQ(detection::improvePositions(sink, c.Tmin, c.Tmax, c.L, c.m, h), detection::kEstimateFailure);
        EXPECT_EQ(h.lpFoundPositions, before.lpFoundPositions);
        EXPECT_EQ(h.wFoundPulses, before.wFoundPulses);
        ASSERT_EQ(sink.messages.size(), 2u);
        EXPECT_EQ(sink.messages[0].caption, " estimateByEnergies ");
        EXPECT_EQ(sink.messages[1].caption, " improvePositions ");
        EXPECT_EQ(sink.messages[0].text.rfind("Несовместимые входные параметры!\n\n", 0), 0u);
    }
    synthesis::SeriesHeader h = handSeries(x, 2);
    base::MessageRecorder sink;
    EXPECT_EQ(detection::searchInIntervals(sink, 10, 30, 5, 3, h), detection::kEstimateFailure);
    EXPECT_EQ(detection::searchInIntervals(sink, 10, 30, 5, 0, h), detection::kEstimateFailure);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].caption, " searchInIntervals ");
}

TEST(FixedCaseEstimators, RecoverTheTruePositionsOfAQuietSeries)
{
    // Rectangles on silence: every estimator finds the pulses exactly.
    SynthesisFixture bench;
    for (uint16_t K : {7, 18, 30}) {
        ASSERT_TRUE(bench.make(1200, K));
        synthesis::SeriesHeader& h = *bench.series;
        const std::vector<int16_t> truth(h.lpPositions.begin(), h.lpPositions.begin() + K);
        base::MessageRecorder sink;
        const int32_t pre = detection::estimateByEnergies(sink, 40, 181, 20, K, h);
        EXPECT_EQ(std::vector<int16_t>(h.lpFoundPositions.begin(), h.lpFoundPositions.begin() + K), truth);
        EXPECT_EQ(pre, detection::measure(h, 20, truth));
        EXPECT_EQ(pre, 60 * 60 * 20 * K) << "every column sums K samples of 60";
        EXPECT_EQ(detection::improvePositions(sink, 40, 181, 20, K, h), pre);
        EXPECT_EQ(std::vector<int16_t>(h.lpFoundPositions.begin(), h.lpFoundPositions.begin() + K), truth);
    }
}

}  // namespace
