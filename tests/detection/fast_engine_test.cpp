// The fast engine against the literal programmes it replaces: on thousands of
// generated series (short and long, amplitudes that wrap 32 bits, plateaus
// that force ties, Tmin = Tmax, ranges touching both ends of the series) the
// energy programme, the improvement pass, the sequential method and the
// pulse-count ranking must give the same positions, measures, rows, tables,
// traces and messages to the last bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "detection/count_choice.h"
#include "detection/energy_programme.h"
#include "detection/fixed_case_criteria.h"
#include "detection/pulse_count_ranking.h"
#include "detection/sequential_method.h"
#include "detection/stepwise_protocol.h"
#include "fixed_case_fixture.h"
#include "tests/reference/literal_estimators.h"
#include "support/sanitized_trials.h"

namespace {

using detection::EnergyProgramme;
using detection::PulseLayout;

// A generated problem: the samples and the gap rule, with the counts whose
// admissible ranges are all non-empty.
struct Problem {
    std::vector<int16_t> x;
    uint16_t Tmin = 0, Tmax = 0, L = 0;
    int mMin = 0, mMax = -1;
};

bool countFits(const Problem& q, int m)
{
    const PulseLayout layout{static_cast<int64_t>(q.x.size()), q.L, q.Tmin, q.Tmax};
    for (int k = 0; k < m; ++k)
        if (detection::admissibleStarts(k, m, layout).empty())
            return false;
    return true;
}

// Samples of one of four kinds: small values on plateaus (ties everywhere),
// moderate pulses in noise, full-scale values that wrap the 32-bit sums, and
// a constant series (every window the same).
std::vector<int16_t> samples(std::mt19937& rng, size_t N)
{
    std::vector<int16_t> x(N);
    const int kind = static_cast<int>(rng() % 4);
    size_t i = 0;
    while (i < N) {
        const size_t run = 1 + rng() % (kind == 0 ? 8 : 2);
        int16_t v = 0;
        switch (kind) {
        case 0:
            v = static_cast<int16_t>(static_cast<int>(rng() % 5) - 2);
            break;
        case 1:
            v = static_cast<int16_t>(static_cast<int>(rng() % 401) - 200);
            break;
        case 2:
            v = static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768);
            break;
        default:
            v = 7;
            break;
        }
        for (size_t r = 0; r < run && i < N; ++r)
            x[i++] = v;
    }
    return x;
}

Problem generate(std::mt19937& rng, size_t maxN)
{
    for (;;) {
        Problem q;
        q.x = samples(rng, 8 + rng() % (maxN - 7));
        q.L = static_cast<uint16_t>(1 + rng() % 12);
        q.Tmin = static_cast<uint16_t>(1 + rng() % 25);
        q.Tmax = static_cast<uint16_t>(rng() % 3 == 0 ? q.Tmin : q.Tmin + rng() % 40);
        const int top = static_cast<int>(q.x.size()) / q.Tmin + 1;
        for (int m = 1; m <= top; ++m)
            if (countFits(q, m)) {
                if (q.mMax < 0)
                    q.mMin = m;
                q.mMax = m;
            }
        if (q.mMax >= 1)
            return q;
    }
}

synthesis::SeriesHeader seriesOf(const Problem& q, std::mt19937& rng)
{
    synthesis::SeriesHeader h = handSeries(q.x, static_cast<uint16_t>(q.mMax + 2));
    h.wTmin = q.Tmin;
    h.wTmax = q.Tmax;
    h.wImpulseSize = q.L;
    h.wMinPulses = static_cast<uint16_t>(q.mMin);
    h.wMaxPulses = static_cast<uint16_t>(q.mMax);
    // True positions: a spread of starts, sometimes off the series.
    h.wImpulseQuantity = static_cast<uint16_t>(q.mMin + rng() % (q.mMax - q.mMin + 1));
    for (int k = 0; k < h.wImpulseQuantity; ++k)
        h.lpPositions[k] = static_cast<int16_t>(static_cast<int>(rng() % (q.x.size() + 2)) - 1);
    std::sort(h.lpPositions.begin(), h.lpPositions.begin() + h.wImpulseQuantity);
    return h;
}

void expectSameMessages(const base::MessageRecorder& fast, const base::MessageRecorder& literal)
{
    ASSERT_EQ(fast.messages.size(), literal.messages.size());
    for (size_t i = 0; i < fast.messages.size(); ++i) {
        EXPECT_EQ(fast.messages[i].text, literal.messages[i].text);
        EXPECT_EQ(fast.messages[i].caption, literal.messages[i].caption);
    }
}

void expectSameSeries(const synthesis::SeriesHeader& fast, const synthesis::SeriesHeader& literal)
{
    EXPECT_EQ(fast.wFoundPulses, literal.wFoundPulses);
    EXPECT_EQ(fast.lpFoundPositions, literal.lpFoundPositions);
}

void expectSameProtocol(const detection::StepwiseProtocol& fast, const detection::StepwiseProtocol& literal)
{
    ASSERT_EQ(fast.wUsed, literal.wUsed);
    for (int r = 0; r < fast.wRows; ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        EXPECT_EQ(fast.lpPulses[r], literal.lpPulses[r]);
        EXPECT_EQ(fast.lpMeasure[r], literal.lpMeasure[r]);
        EXPECT_EQ(fast.lpSquares[r], literal.lpSquares[r]);
        EXPECT_EQ(fast.lpIterations[r], literal.lpIterations[r]);
        EXPECT_EQ(fast.lpMethod[r], literal.lpMethod[r]);
        EXPECT_EQ(fast.lpRowPositions[r], literal.lpRowPositions[r]);
    }
}

TEST(FastEngine, EnergyProgrammeEqualsTheLiteralTableForEveryCountAlsoFromOneSharedTable)
{
    std::mt19937 rng(20261207);
    for (int trial = 0; trial < test_support::trials(3000); ++trial) {
        const Problem q = generate(rng, trial % 10 == 0 ? 700 : 120);
        SCOPED_TRACE("trial " + std::to_string(trial));
        synthesis::SeriesHeader base = seriesOf(q, rng);
        // One count past each end of the admissible ones: refused alike.
        const int from = std::max(q.mMin - 1, 1), to = q.mMax + 1;
        const auto shared = detection::shareEnergyProgramme(base, q.Tmin, q.Tmax, q.L, static_cast<uint16_t>(q.mMin),
                                                            static_cast<uint16_t>(q.mMax));
        ASSERT_TRUE(shared);
        for (int m = from; m <= to; m += 1 + static_cast<int>(rng() % 3)) {
            synthesis::SeriesHeader fast = base, alone = base, literal = base;
            base::MessageRecorder fastSink, aloneSink, literalSink;
            const auto count = static_cast<uint16_t>(m);
            const int32_t expected = literal::estimateByEnergies(literalSink, q.Tmin, q.Tmax, q.L, count, literal);
            ASSERT_EQ(detection::estimateByEnergies(fastSink, q.Tmin, q.Tmax, q.L, count, fast, shared.get()), expected)
                << "m " << m;
            ASSERT_EQ(detection::estimateByEnergies(aloneSink, q.Tmin, q.Tmax, q.L, count, alone), expected)
                << "m " << m;
            expectSameSeries(fast, literal);
            expectSameSeries(alone, literal);
            expectSameMessages(fastSink, literalSink);
            expectSameMessages(aloneSink, literalSink);
        }
    }
}

TEST(FastEngine, ImprovementPassEqualsTheLiteralPassFromAnyStartingPositions)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < test_support::trials(3000); ++trial) {
        const Problem q = generate(rng, trial % 10 == 0 ? 600 : 150);
        SCOPED_TRACE("trial " + std::to_string(trial));
        synthesis::SeriesHeader base = seriesOf(q, rng);
        const auto m = static_cast<uint16_t>(q.mMin + rng() % (q.mMax - q.mMin + 1));
        base::MessageRecorder quiet;
        switch (trial % 3) {
        case 0:  // from the programme, as the pipeline does
            literal::estimateByEnergies(quiet, q.Tmin, q.Tmax, q.L, m, base);
            break;
        case 1:  // anywhere, off the series too
            for (int k = 0; k < m; ++k)
                base.lpFoundPositions[k] = static_cast<int16_t>(static_cast<int>(rng() % (q.x.size() + 40)) - 20);
            break;
        default:  // the -1 left by synthesis
            std::fill_n(base.lpFoundPositions.begin(), m, int16_t{-1});
        }
        synthesis::SeriesHeader fast = base, literal = base;
        base::MessageRecorder fastSink, literalSink;
        uint16_t fastPasses = 0, literalPasses = 0;
        const int32_t start = literal::improvePositions(literalSink, q.Tmin, q.Tmax, q.L, m, literal);
        ASSERT_EQ(detection::improvePositions(fastSink, q.Tmin, q.Tmax, q.L, m, fast), start);
        expectSameSeries(fast, literal);
        ASSERT_EQ(detection::runImprovementLoop(fastSink, q.Tmin, q.Tmax, q.L, m, fast, start, fastPasses),
                  literal::runImprovementLoop(literalSink, q.Tmin, q.Tmax, q.L, m, literal, start, literalPasses));
        EXPECT_EQ(fastPasses, literalPasses);
        expectSameSeries(fast, literal);
        expectSameMessages(fastSink, literalSink);
    }
}

TEST(FastEngine, SequentialMethodAndRankingEqualTheLiteralRunsRowForRow)
{
    std::mt19937 rng(1234);
    for (int trial = 0; trial < test_support::trials(600); ++trial) {
        const Problem q = generate(rng, trial % 10 == 0 ? 500 : 160);
        SCOPED_TRACE("trial " + std::to_string(trial));
        synthesis::SeriesHeader base = seriesOf(q, rng);
        // Sometimes a count range the gap rule cannot fill at its ends.
        if (trial % 7 == 0)
            base.wMaxPulses = static_cast<uint16_t>(q.mMax + 1);
        if (trial % 11 == 0)
            base.wMinPulses = static_cast<uint16_t>(std::max(q.mMin - 1, 0));
        const bool trace = trial % 2 == 0;
        const auto width = static_cast<uint16_t>(base.wMaxPulses + 1);

        {
            synthesis::SeriesHeader fast = base, literal = base;
            base::MessageRecorder fastSink, literalSink;
            auto fastProtocol = detection::getStepwiseProtocol(7, width, nullptr);
            auto literalProtocol = detection::getStepwiseProtocol(7, width, nullptr);
            ASSERT_EQ(detection::sequentialMethod(fastSink, q.Tmin, q.Tmax, trace, fastProtocol.get(), fast),
                      literal::sequentialMethod(literalSink, q.Tmin, q.Tmax, trace, literalProtocol.get(), literal));
            expectSameSeries(fast, literal);
            expectSameProtocol(*fastProtocol, *literalProtocol);
            expectSameMessages(fastSink, literalSink);
        }
        {
            synthesis::SeriesHeader fast = base, literal = base;
            base::MessageRecorder fastSink, literalSink;
            auto fastProtocol = detection::getStepwiseProtocol(7, width, nullptr);
            auto literalProtocol = detection::getStepwiseProtocol(7, width, nullptr);
            auto fastTable = detection::getPulseCountTable(3, base.wMinPulses, base.wMaxPulses, nullptr);
            auto literalTable = detection::getPulseCountTable(3, base.wMinPulses, base.wMaxPulses, nullptr);
            ASSERT_EQ(
                detection::rankPulseCounts(fastSink, q.Tmin, q.Tmax, trace, fastProtocol.get(), fastTable.get(), fast),
                literal::rankPulseCounts(literalSink, q.Tmin, q.Tmax, trace, literalProtocol.get(), literalTable.get(),
                                         literal));
            expectSameSeries(fast, literal);
            expectSameProtocol(*fastProtocol, *literalProtocol);
            expectSameMessages(fastSink, literalSink);
            EXPECT_EQ(fastTable->lpPulseCounts, literalTable->lpPulseCounts);
            EXPECT_EQ(fastTable->lpSquares, literalTable->lpSquares);
            EXPECT_EQ(fastTable->lpNoisePerWindow, literalTable->lpNoisePerWindow);
        }
    }
}

// The wide score types agree with the system's 32-bit one wherever nothing
// wraps, and the floating one as well on integer-valued data.
TEST(FastEngine, WideAndFloatingScoresChooseWhatThe32BitScoreChoosesWhenNothingWraps)
{
    std::mt19937 rng(99);
    for (int trial = 0; trial < test_support::trials(500); ++trial) {
        Problem q = generate(rng, 300);
        for (int16_t& v : q.x)
            v = static_cast<int16_t>(v % 300);
        const PulseLayout layout{static_cast<int64_t>(q.x.size()), q.L, q.Tmin, q.Tmax};
        const std::vector<double> xd(q.x.begin(), q.x.end());
        const auto e32 = detection::windowEnergies<int16_t, int32_t>(q.x, q.L);
        const auto e64 = detection::windowEnergies<int16_t, int64_t>(q.x, q.L);
        const auto ed = detection::windowEnergies<double, double>(xd, q.L);
        const EnergyProgramme<int32_t> p32(e32, layout, q.mMin, q.mMax);
        const EnergyProgramme<int64_t> p64(e64, layout, q.mMin, q.mMax);
        const EnergyProgramme<double> pd(ed, layout, q.mMin, q.mMax);
        for (int m = q.mMin; m <= q.mMax; ++m) {
            std::vector<int32_t> a(m), b(m), c(m);
            p32.positions(m, a);
            p64.positions(m, b);
            pd.positions(m, c);
            ASSERT_EQ(a, b) << "trial " << trial << " m " << m;
            ASSERT_EQ(a, c) << "trial " << trial << " m " << m;
            EXPECT_EQ(p64.total(m), static_cast<int64_t>(p32.total(m)));
            std::vector<int32_t> i32 = a, i64 = a;
            const int32_t S32 = detection::improveStarts<int16_t, int32_t>(q.x, layout, i32);
            const int64_t S64 = detection::improveStarts<int16_t, int64_t>(q.x, layout, i64);
            EXPECT_EQ(S32, S64);
            EXPECT_EQ(i32, i64);
        }
    }
}

// The 64-bit improvement on a researcher's series takes the vector kernel
// (a 32 x 32 -> 64-bit product per square) while samples and column sums
// stay within 30 bits, and the general one past them: the same passes as
// the general kernel on the same values, up to and across that bound. The
// sequential method's fits on three threads are those of one, in order.
TEST(FastEngine, TheVectorKernelAndTheThreadsChangeNoImprovement)
{
    std::mt19937 rng(1208);
    for (int trial = 0; trial < test_support::trials(300); ++trial) {
        Problem q = generate(rng, 300);
        // Up to 2^14 times the records' samples: columns near and past 2^30.
        const int64_t factor = std::vector<int64_t>{1, 3, 1 << 10, 1 << 12, 1 << 14}[trial % 5];
        std::vector<int64_t> x64(q.x.size());
        std::vector<int32_t> x32(q.x.size());
        for (size_t i = 0; i < q.x.size(); ++i) {
            x64[i] = int64_t{q.x[i]} * factor;
            x32[i] = static_cast<int32_t>(std::clamp<int64_t>(x64[i], INT32_MIN, INT32_MAX));
            x64[i] = x32[i];
        }
        const PulseLayout layout{static_cast<int64_t>(q.x.size()), q.L, q.Tmin, q.Tmax};
        // Only what detect takes: a column of every pulse, squared and
        // summed over L, within 64 bits.
        double most = 0;
        for (int64_t v : x64)
            most = std::max(most, std::fabs(static_cast<double>(v)));
        if (static_cast<double>(q.mMax) * q.mMax * most * most * q.L >= 4.0e18)
            continue;
        const auto energies = detection::windowEnergies<int64_t, int64_t>(x64, q.L);
        const EnergyProgramme<int64_t> programme(energies, layout, q.mMin, q.mMax);
        for (int m = q.mMin; m <= q.mMax; ++m) {
            std::vector<int32_t> wide(m), general;
            programme.positions(m, wide);
            general = wide;
            const int64_t S = detection::improveStarts<int64_t, int64_t>(x64, layout, wide);
            EXPECT_EQ(S, (detection::improveStarts<int32_t, int64_t>(x32, layout, general))) << trial << " m " << m;
            EXPECT_EQ(wide, general) << "trial " << trial << " m " << m;
        }
        std::vector<detection::CountFit<int64_t>> one, three;
        const auto a = detection::chooseCount<int64_t, int64_t>(
            x64, layout, q.mMin, q.mMax, [&](const detection::CountFit<int64_t>& f) { one.push_back(f); }, nullptr, 1);
        const auto b = detection::chooseCount<int64_t, int64_t>(
            x64, layout, q.mMin, q.mMax, [&](const detection::CountFit<int64_t>& f) { three.push_back(f); }, nullptr,
            3);
        ASSERT_EQ(one.size(), three.size());
        for (size_t i = 0; i < one.size(); ++i) {
            EXPECT_EQ(one[i].count, three[i].count);
            EXPECT_EQ(one[i].improved, three[i].improved);
            EXPECT_EQ(one[i].improvedMeasure, three[i].improvedMeasure);
            EXPECT_EQ(one[i].passes, three[i].passes);
        }
        EXPECT_EQ(a.byImprovement.improved, b.byImprovement.improved);
        EXPECT_EQ(a.byProgramme.programme, b.byProgramme.programme);
    }
}

// A straightforward programme over 32-bit positions: every predecessor
// scanned, the whole table kept.
std::vector<int32_t> scannedProgramme(const std::vector<int64_t>& E, const PulseLayout& layout, int m)
{
    const int64_t lowest = std::numeric_limits<int64_t>::lowest();
    std::vector<std::vector<int64_t>> D(m, std::vector<int64_t>(E.size(), lowest));
    std::vector<detection::StartRange> range(m);
    for (int k = 0; k < m; ++k)
        range[k] = detection::admissibleStarts(k, m, layout);
    for (int64_t l = range[0].lo; l <= range[0].hi; ++l)
        D[0][l] = E[l];
    for (int k = 1; k < m; ++k)
        for (int64_t l = range[k].lo; l <= range[k].hi; ++l) {
            int64_t best = lowest;
            for (int64_t j = std::max(l - layout.Tmax, range[k - 1].lo);
                 j <= std::min(l - layout.Tmin, range[k - 1].hi); ++j)
                best = std::max(best, D[k - 1][j]);
            D[k][l] = best + E[l];
        }
    std::vector<int32_t> p(m, -1);
    int64_t best = lowest;
    for (int64_t l = range[m - 1].lo; l <= range[m - 1].hi; ++l)
        if (D[m - 1][l] > best) {
            best = D[m - 1][l];
            p[m - 1] = static_cast<int32_t>(l);
        }
    for (int k = m - 2; k >= 0; --k) {
        best = lowest;
        for (int64_t j = std::max<int64_t>(p[k + 1] - layout.Tmax, range[k].lo);
             j <= std::min<int64_t>(p[k + 1] - layout.Tmin, range[k].hi); ++j)
            if (D[k][j] > best) {
                best = D[k][j];
                p[k] = static_cast<int32_t>(j);
            }
    }
    return p;
}

TEST(FastEngine, AHundredThousandSampleSeriesThroughTheSpanInterface)
{
    // 100 pulses of a ramp shape 980 to 1020 samples apart in 100,000 samples of
    // noise: positions far beyond 16 bits, 64-bit scores, 32-bit samples.
    constexpr int N = 100000, L = 50, m = 100;
    const PulseLayout layout{N, L, 900, 1100};
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 400.0);
    std::vector<int32_t> x(N);
    for (int32_t& v : x)
        v = static_cast<int32_t>(noise(rng));
    std::vector<int32_t> planted(m);
    int32_t at = 500;
    for (int k = 0; k < m; ++k) {
        planted[k] = at;
        for (int i = 0; i < L; ++i)
            x[at + i] += 20000 + 1000 * i;
        at += 980 + (k * 37) % 41;
    }
    const auto E = detection::windowEnergies<int32_t, int64_t>(x, L);
    ASSERT_EQ(E.size(), size_t{N - L + 1});
    const EnergyProgramme<int64_t> programme(E, layout, m, m);
    std::vector<int32_t> found(m);
    programme.positions(m, found);
    EXPECT_EQ(found, planted);
    EXPECT_EQ(found, scannedProgramme(E, layout, m));
    int64_t total = 0;
    for (int32_t p : found)
        total += E[p];
    EXPECT_EQ(programme.total(m), total);

    std::vector<int32_t> improved = found;
    const int64_t S = detection::improveStarts<int32_t, int64_t>(x, layout, improved);
    EXPECT_EQ(improved, planted) << "the planted pulses are a strict optimum";
    EXPECT_EQ(S, (detection::columnCriterion<int32_t, int64_t>(x, L, improved)));
}

}  // namespace
