// Threshold detection: the record functions against their literal first
// version on generated series (32-bit sums that wrap included), the 64-bit
// span core against the 32-bit one where nothing wraps, the chain totals of
// the 64-bit path against every chain of tiny series, and a series of a
// million samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "detection/threshold_detection.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/series_synthesis.h"
#include "tests/reference/literal_threshold.h"
#include "support/sanitized_trials.h"

namespace {

using detection::PulseLayout;
using detection::StartIntervals;
using detection::ThresholdDetection;
using detection::ThresholdPass;

int64_t pick(std::mt19937_64& rng, int64_t lo, int64_t hi)
{
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
}

// A series of etalon-like pulses (a smooth hump with a ripple, its own
// amplitude each) placed Tmin..Tmax apart, plus Gaussian noise; what the
// detection is called with may differ from how the series was laid out.
struct Generated {
    std::vector<int64_t> pure, observed;
    std::vector<int16_t> truePositions;
    int L = 1, Tmin = 1, Tmax = 1;  // the series' layout
    int callTmin = 1, callTmax = 1;
    int64_t sigma = 0;
    int mMin = 1, mMax = 1;
    size_t room = 1;  // positions the record can hold
};

// Small: no 32-bit figure wraps. Large: amplitudes, noise and pulse lengths
// that make the 32-bit sums wrap.
Generated generate(std::mt19937_64& rng, bool large)
{
    Generated g;
    const bool longPulses = large && pick(rng, 0, 3) == 0;
    g.L = static_cast<int>(longPulses ? pick(rng, 100, 600) : pick(rng, 1, 40));
    g.Tmin = static_cast<int>(std::max<int64_t>(1, pick(rng, g.L / 2, 3 * g.L + 10)));
    if (g.Tmin < 8 && pick(rng, 0, 3) != 0)
        g.Tmin = static_cast<int>(pick(rng, 8, 30));
    g.Tmax = static_cast<int>(g.Tmin + pick(rng, 0, 5 * g.L + 20));
    const int64_t N = longPulses ? pick(rng, g.L, 12000) : pick(rng, g.L, pick(rng, 0, 4) == 0 ? 6000 : 1500);
    g.pure.assign(static_cast<size_t>(N), 0);
    for (int64_t p = pick(rng, 0, std::max(g.Tmax - g.L, 0)); p + g.L <= N; p += pick(rng, g.Tmin, g.Tmax)) {
        g.truePositions.push_back(static_cast<int16_t>(p));
        const double amplitude =
            large ? static_cast<double>(pick(rng, 100, 30000)) : static_cast<double>(pick(rng, 2, 30));
        const double ripple = 0.3 * static_cast<double>(pick(rng, 0, 10)), phase = static_cast<double>(pick(rng, 0, 6));
        for (int i = 0; i < g.L; ++i) {
            const double hump = std::sin(M_PI * (i + 0.5) / g.L);
            g.pure[static_cast<size_t>(p + i)] +=
                std::llround(amplitude * hump * (0.7 + 0.3 * std::cos(ripple * i + phase)));
        }
    }
    g.sigma = large ? (pick(rng, 0, 2) == 0 ? pick(rng, 0, 300) : pick(rng, 1000, 40000)) : pick(rng, 0, 6);
    std::normal_distribution<double> noise(0.0, static_cast<double>(g.sigma));
    g.observed.resize(g.pure.size());
    for (size_t i = 0; i < g.pure.size(); ++i) {
        g.pure[i] = std::clamp<int64_t>(g.pure[i], -32768, 32767);
        g.observed[i] = std::clamp<int64_t>(g.pure[i] + (g.sigma ? std::llround(noise(rng)) : 0), -32768, 32767);
    }
    g.mMax =
        synthesis::seriesMaxPulses(static_cast<uint32_t>(N), static_cast<uint16_t>(g.L), static_cast<uint16_t>(g.Tmin));
    g.mMin = std::max<int>(
        synthesis::seriesMinPulses(static_cast<uint32_t>(N), static_cast<uint16_t>(g.L), static_cast<uint16_t>(g.Tmax)),
        1);
    g.callTmin = g.Tmin;
    g.callTmax = g.Tmax;
    switch (pick(rng, 0, 9)) {
    case 0:
        g.callTmin = static_cast<int>(pick(rng, 0, g.Tmin));
        break;  // shorter gaps than the series has
    case 1:
        g.callTmax = static_cast<int>(pick(rng, 0, g.Tmin));
        break;  // possibly below Tmin
    case 2:
        g.mMin = static_cast<int>(pick(rng, 0, g.mMax + 1));
        break;  // possibly above mMax
    default:
        break;
    }
    g.room = static_cast<size_t>(std::max(g.mMax, 1));
    if (pick(rng, 0, 6) == 0)
        g.room = static_cast<size_t>(pick(rng, 1, 3));  // shorter than a detection may be
    return g;
}

std::vector<int16_t> narrow(const std::vector<int64_t>& v) { return std::vector<int16_t>(v.begin(), v.end()); }

synthesis::SeriesHeader seriesOf(const Generated& g)
{
    synthesis::SeriesHeader s;
    s.dwSeriesCapacity = s.dwSeriesSize = static_cast<uint32_t>(g.observed.size());
    s.lpSeriesData = narrow(g.observed);
    s.lpPureData = narrow(g.pure);
    s.wImpulseSize = static_cast<uint16_t>(g.L);
    s.wTmin = static_cast<uint16_t>(g.Tmin);
    s.wTmax = static_cast<uint16_t>(g.Tmax);
    s.wMinPulses = static_cast<uint16_t>(g.mMin);
    s.wMaxPulses = static_cast<uint16_t>(g.mMax);
    s.wNoiseLevel = static_cast<uint16_t>(g.sigma);
    s.wImpulseQuantity = static_cast<uint16_t>(g.truePositions.size());
    s.lpPositions = g.truePositions;
    s.wPulsesCapacity = static_cast<uint16_t>(g.room);
    s.lpFoundPositions.assign(g.room, -1);
    return s;
}

std::string studyDifference(const detection::DetectionStudy& a, const detection::DetectionStudy& b)
{
#define QUILLMORE_SAME(field)  \
    if (!(a.field == b.field)) \
        return #field;
    QUILLMORE_SAME(dwCapacity)
    QUILLMORE_SAME(dwSeriesSize)
    QUILLMORE_SAME(wPulseCapacity)
    QUILLMORE_SAME(wTruePulses)
    QUILLMORE_SAME(wMinPulses)
    QUILLMORE_SAME(wMaxPulses)
    QUILLMORE_SAME(wImpulseSize)
    QUILLMORE_SAME(wIntervalCounts)
    QUILLMORE_SAME(wDetectedCounts)
    QUILLMORE_SAME(lPasses)
    QUILLMORE_SAME(lMeanWindowEnergy)
    QUILLMORE_SAME(lFirstNoiseThreshold)
    QUILLMORE_SAME(lLastNoiseThreshold)
    QUILLMORE_SAME(lDetectionThreshold)
    QUILLMORE_SAME(lExpectedNoiseEnergy)
    QUILLMORE_SAME(lpTruePositions)
    QUILLMORE_SAME(lpDetectedPositions)
    QUILLMORE_SAME(lpDetectedEnergies)
    QUILLMORE_SAME(lpIntervalStarts)
    QUILLMORE_SAME(lpIntervalEnds)
    QUILLMORE_SAME(lpEnergies)
    QUILLMORE_SAME(lpReducedEnergies)
    QUILLMORE_SAME(chiSquarePoints)
    QUILLMORE_SAME(lpSpare)
    QUILLMORE_SAME(wTask)
    QUILLMORE_SAME(wDetectionMethod)
#undef QUILLMORE_SAME
    return {};
}

int64_t windowOf(const std::vector<int64_t>& v, int64_t p, int L, int64_t variance)
{
    int64_t e = 0;
    for (int i = 0; i < L; ++i)
        e += v[static_cast<size_t>(p + i)] * v[static_cast<size_t>(p + i)] + variance;
    return e;
}

std::vector<bool> membersOf(const StartIntervals& list, size_t N)
{
    std::vector<bool> in(N);
    for (const auto& iv : list)
        for (int64_t p = iv.lo; p <= iv.hi; ++p)
            in[static_cast<size_t>(p)] = true;
    return in;
}

}  // namespace

TEST(ThresholdDetectionRecords, EqualTheLiteralDetectionOnGeneratedSeries)
{
    std::mt19937_64 rng(20240611);
    int runs = 0, wrapped = 0, detections = 0, cut = 0, withoutStudy = 0;
    for (int trial = 0; trial < test_support::trials(1500); ++trial) {
        const bool large = trial % 2 == 1;
        const Generated g = generate(rng, large);
        const synthesis::SeriesHeader original = seriesOf(g);
        const int N = static_cast<int>(g.observed.size());
        SCOPED_TRACE("trial " + std::to_string(trial) + ": N " + std::to_string(N) + " L " + std::to_string(g.L) +
                     " Tmin " + std::to_string(g.callTmin) + " Tmax " + std::to_string(g.callTmax) + " sigma " +
                     std::to_string(g.sigma) + " counts " + std::to_string(g.mMin) + ".." + std::to_string(g.mMax));
        int64_t F = 0;
        for (int64_t v : g.observed)
            F += v * v;
        wrapped += F * g.L > std::numeric_limits<int32_t>::max();

        std::vector<int> methods = {0, 1, 2, 3, 4, 5, 6};
        if (trial % 5 == 0)
            methods.push_back(trial % 10 == 0 ? 7 : -1);  // -1: no study, the default method
        for (const int method : methods) {
            synthesis::SeriesHeader a = original, b = original;
            detection::DetectionStudyPtr studyA, studyB;
            if (method >= 0) {
                studyA = detection::getDetectionStudy(a, nullptr);
                studyB = detection::getDetectionStudy(b, nullptr);
                ASSERT_TRUE(studyA && studyB);
                studyA->wDetectionMethod = studyB->wDetectionMethod = static_cast<uint16_t>(method);
            } else {
                ++withoutStudy;
            }
            const size_t chainCells = static_cast<size_t>(pick(rng, 0, 2) == 0 ? pick(rng, 0, N + 5) : N);
            std::vector<int32_t> chainA(chainCells, 77), chainB(chainCells, 77);
            base::MessageRecorder sinkA, sinkB;
            const int32_t measureA = literal::study01_UnFixedPulseDetection(
                sinkA, static_cast<uint16_t>(g.callTmin), static_cast<uint16_t>(g.callTmax), chainA, studyA.get(), a);
            const int32_t measureB = detection::study01_UnFixedPulseDetection(
                sinkB, static_cast<uint16_t>(g.callTmin), static_cast<uint16_t>(g.callTmax), chainB, studyB.get(), b);
            SCOPED_TRACE("method " + std::to_string(method));
            ASSERT_EQ(measureB, measureA);
            ASSERT_EQ(sinkB.messages.size(), sinkA.messages.size());
            for (size_t k = 0; k < sinkA.messages.size(); ++k) {
                ASSERT_EQ(sinkB.messages[k].text, sinkA.messages[k].text);
                ASSERT_EQ(sinkB.messages[k].caption, sinkA.messages[k].caption);
                ASSERT_EQ(sinkB.messages[k].icon, sinkA.messages[k].icon);
            }
            ASSERT_EQ(b.wFoundPulses, a.wFoundPulses);
            ASSERT_EQ(b.lpFoundPositions, a.lpFoundPositions);
            ASSERT_EQ(chainB, chainA);
            if (studyA) {
                ASSERT_EQ(studyDifference(*studyA, *studyB), "");
            }
            ++runs;
            detections += a.wFoundPulses > 0;
            cut += a.wFoundPulses == g.room && g.room < static_cast<size_t>(std::max(g.mMax, 1));
        }

        synthesis::SeriesHeader a = original, b = original;
        base::MessageRecorder sinkA, sinkB;
        ASSERT_EQ(detection::processSeriesChains(sinkB, static_cast<uint16_t>(g.callTmin),
                                                 static_cast<uint16_t>(g.callTmax), b),
                  literal::processSeriesChains(sinkA, static_cast<uint16_t>(g.callTmin),
                                               static_cast<uint16_t>(g.callTmax), a));
        ASSERT_EQ(b.wFoundPulses, a.wFoundPulses);
        ASSERT_EQ(b.lpFoundPositions, a.lpFoundPositions);
        ASSERT_TRUE(sinkA.messages.empty() && sinkB.messages.empty());
    }
    // The generated cases must reach the wrapping sums, real detections,
    // detections cut to the record's room and the default method.
    std::printf("[   info   ] %d runs: %d series wrapping 32 bits, %d detections, %d cut to the room\n", runs, wrapped,
                detections, cut);
    EXPECT_GT(runs, test_support::trials(10000));
    EXPECT_GT(wrapped, test_support::trials(300));
    EXPECT_GT(detections, test_support::trials(5000));
    EXPECT_GT(cut, test_support::trials(100));
    EXPECT_GT(withoutStudy, test_support::trials(100));
}

namespace {

// Where the 64-bit core must give what the 32-bit one gives: each figure
// alike, the cells off Omega empty in either's way.
void expectSameDetection(const ThresholdDetection<int32_t>& narrowResult, const ThresholdDetection<int64_t>& wide,
                         const Generated& g, int method)
{
    const size_t N = g.observed.size();
    const int L = g.L;
    ASSERT_EQ(wide.regions.any, narrowResult.regions.any);
    ASSERT_EQ(wide.regions.last, narrowResult.regions.last);
    ASSERT_EQ(wide.full, narrowResult.full);
    ASSERT_EQ(wide.expectedNoise, narrowResult.expectedNoise);
    ASSERT_EQ(wide.fromNoiseLevel, narrowResult.fromNoiseLevel);
    ASSERT_EQ(wide.passes.size(), narrowResult.passes.size());
    for (size_t j = 0; j < wide.passes.size(); ++j) {
        SCOPED_TRACE("pass " + std::to_string(j));
        const ThresholdPass<int32_t>& a = narrowResult.passes[j];
        const ThresholdPass<int64_t>& b = wide.passes[j];
        ASSERT_EQ(b.threshold, a.threshold);
        ASSERT_EQ(b.positions, a.positions);
        ASSERT_EQ(std::vector<int64_t>(a.energies.begin(), a.energies.end()), b.energies);
        ASSERT_EQ(std::vector<int64_t>(a.observedEnergies.begin(), a.observedEnergies.end()), b.observedEnergies);
        ASSERT_EQ(b.chainTotal, a.chainTotal);
        ASSERT_EQ(b.detected, a.detected);
        ASSERT_EQ(b.outside, a.outside);
        ASSERT_EQ(b.pOut, a.pOut);
        ASSERT_EQ(b.noisePerPoint, a.noisePerPoint);
        ASSERT_EQ(b.noiseThreshold, a.noiseThreshold);
        ASSERT_EQ(b.meanWindow, a.meanWindow);
        ASSERT_EQ(b.meanDetected, a.meanDetected);
        ASSERT_EQ(b.fullPerPulse, a.fullPerPulse);
        ASSERT_EQ(b.nextThreshold, a.nextThreshold);
        ASSERT_EQ(b.hasRelict, a.hasRelict);
        ASSERT_EQ(b.hasRelict, method == 5 && j == 0);
        if (b.hasRelict) {
            // The 64-bit figure sums the windows themselves; the 32-bit one
            // the table, -999 off Omega.
            const std::vector<bool> any = membersOf(wide.regions.any, N);
            const int64_t variance = g.sigma * g.sigma;
            int64_t relict = 0, tableRelict = 0, count = 0;
            for (int64_t q = 1; q + L <= static_cast<int64_t>(N); ++q) {
                bool clear = true;
                for (int32_t P : b.positions)
                    clear = clear && std::llabs(q - P) >= L;
                if (clear) {
                    const int64_t w = windowOf(g.pure, q, L, variance);
                    relict += w;
                    tableRelict += any[static_cast<size_t>(q)] ? w : -999;
                    ++count;
                }
            }
            ASSERT_EQ(b.relict, relict);
            ASSERT_EQ(a.relict, tableRelict);
            ASSERT_EQ(b.relictCount, std::max<int64_t>(count, 1));
            ASSERT_EQ(a.relictCount, b.relictCount);
        }
    }
    const std::vector<bool> any = membersOf(wide.regions.any, N);
    std::vector<bool> linked = membersOf(wide.regions.firstOnly, N), both = membersOf(wide.regions.firstAndLater, N),
                      later = membersOf(wide.regions.laterOnly, N);
    const int32_t T = narrowResult.last().threshold;
    constexpr int64_t empty = std::numeric_limits<int64_t>::lowest();
    for (size_t p = 0; p < N; ++p) {
        if (any[p]) {
            ASSERT_EQ(wide.windowEnergies[p], narrowResult.windowEnergies[p]) << p;
            ASSERT_EQ(wide.reducedEnergies[p], narrowResult.reducedEnergies[p]) << p;
        } else {
            ASSERT_EQ(narrowResult.windowEnergies[p], detection::noChainValue) << p;
            ASSERT_EQ(narrowResult.reducedEnergies[p], method == 6 ? 0 : detection::noChainValue - T) << p;
            ASSERT_EQ(wide.windowEnergies[p], empty) << p;
            ASSERT_EQ(wide.reducedEnergies[p], empty) << p;
        }
        if (linked[p] || both[p] || later[p]) {
            ASSERT_EQ(wide.chainTotals[p], narrowResult.chainTotals[p]) << p;
        } else {
            ASSERT_EQ(narrowResult.chainTotals[p], detection::noChainValue) << p;
            ASSERT_EQ(wide.chainTotals[p], empty) << p;
        }
    }
}

// Whether every figure of the 64-bit detection, and so every sum the 32-bit
// one forms on the way, lies in the 32-bit range: then neither wraps nor
// saturates.
bool fitsNarrowFigures(const ThresholdDetection<int64_t>& r)
{
    auto fits = [](int64_t v) {
        return v == std::numeric_limits<int64_t>::lowest() ||
               (v >= std::numeric_limits<int32_t>::min() + 1000 && v <= std::numeric_limits<int32_t>::max());
    };
    auto allFit = [&](const std::vector<int64_t>& v) { return std::all_of(v.begin(), v.end(), fits); };
    if (!fits(r.full) || !fits(r.expectedNoise) || !allFit(r.windowEnergies))
        return false;
    for (const ThresholdPass<int64_t>& p : r.passes)
        for (int64_t v :
             {p.threshold, p.detected, p.outside, p.noiseThreshold, p.nextThreshold, p.relict, p.meanWindow})
            if (!fits(v))
                return false;
    // Every pass's chain totals: the last pass's are kept, the others are
    // bounded by the same totals with their own thresholds.
    for (const ThresholdPass<int64_t>& p : r.passes) {
        int64_t sum = 0;
        for (size_t c = 0; c < r.windowEnergies.size(); ++c)
            if (r.windowEnergies[c] != std::numeric_limits<int64_t>::lowest())
                sum += r.method == detection::kThresholdKnownDispersion
                           ? (r.windowEnergies[c] > p.threshold ? r.windowEnergies[c] : 0)
                           : std::max<int64_t>(r.windowEnergies[c] - p.threshold, 0);
        if (!fits(sum))
            return false;
    }
    return allFit(r.reducedEnergies) && allFit(r.chainTotals);
}

}  // namespace

TEST(ThresholdDetectionCore, WideFiguresEqualTheSystemsWhereNothingWraps)
{
    std::mt19937_64 rng(99);
    int compared = 0, wrapping = 0, detections = 0, relicts = 0;
    for (int trial = 0; trial < test_support::trials(2000); ++trial) {
        const Generated g = generate(rng, false);
        const std::vector<int16_t> x16 = narrow(g.observed), pure16 = narrow(g.pure);
        const PulseLayout layout{static_cast<int64_t>(g.observed.size()), g.L, g.callTmin, g.callTmax};
        SCOPED_TRACE("trial " + std::to_string(trial) + ": N " + std::to_string(layout.N) + " L " +
                     std::to_string(g.L) + " Tmin " + std::to_string(g.callTmin) + " Tmax " +
                     std::to_string(g.callTmax) + " counts " + std::to_string(g.mMin) + ".." + std::to_string(g.mMax));
        for (int method = 0; method <= 6; ++method) {
            SCOPED_TRACE("method " + std::to_string(method));
            const auto a =
                detection::detectByThreshold<int16_t, int32_t>(x16, pure16, layout, g.mMin, g.mMax, method, g.sigma);
            const auto b = detection::detectByThreshold<int64_t, int64_t>(
                g.observed, method == 5 ? std::span<const int64_t>(g.pure) : std::span<const int64_t>(), layout, g.mMin,
                g.mMax, method, g.sigma);
            if (!fitsNarrowFigures(b)) {
                ++wrapping;
                continue;
            }
            expectSameDetection(a, b, g, method);
            if (HasFatalFailure())
                return;
            ++compared;
            detections += !b.last().positions.empty();
            relicts += b.passes[0].hasRelict && b.passes[0].relictCount > 1;
        }
    }
    std::printf("[   info   ] %d detections compared, %d left out as they wrap\n", compared, wrapping);
    EXPECT_GT(compared, test_support::trials(10000));
    EXPECT_LT(wrapping, compared / 10);
    EXPECT_GT(detections, test_support::trials(7000));
    EXPECT_GT(relicts, test_support::trials(1000));
}

namespace {

// The best total of every chain of starts ending in Omega[+]: it starts
// anywhere in Omega, each further start lies Tmin..Tmax after the one before
// and in Omega[~]. 0 when no chain's total is above 0.
int64_t bestChainTotal(const detection::StartRegionLists& r, const std::vector<int64_t>& reduced, int Tmin, int Tmax)
{
    const size_t N = reduced.size();
    const std::vector<bool> any = membersOf(r.any, N), later = membersOf(r.later, N), last = membersOf(r.last, N);
    int64_t best = 0;
    auto walk = [&](auto&& self, int64_t p, int64_t total) -> void {
        if (last[static_cast<size_t>(p)])
            best = std::max(best, total);
        for (int64_t q = p + std::max(Tmin, 1); q <= std::min<int64_t>(p + Tmax, static_cast<int64_t>(N) - 1); ++q)
            if (later[static_cast<size_t>(q)])
                self(self, q, total + reduced[static_cast<size_t>(q)]);
    };
    for (size_t p = 0; p < N; ++p)
        if (any[p])
            walk(walk, static_cast<int64_t>(p), reduced[p]);
    return best;
}

}  // namespace

TEST(ThresholdDetectionCore, WideChainsAreTheBestOfEveryChainOnTinySeries)
{
    std::mt19937_64 rng(5);
    int chains = 0, longChains = 0;
    for (int trial = 0; trial < test_support::trials(1500); ++trial) {
        const int L = static_cast<int>(pick(rng, 1, 5));
        const int Tmin = static_cast<int>(pick(rng, 3, 7));
        const int Tmax = Tmin + static_cast<int>(pick(rng, 0, 8));
        const int64_t N = pick(rng, L, 28);
        // Samples far beyond 16 bits: the energies leave 32 bits.
        const int64_t scale = pick(rng, 0, 1) ? 1 : 100000;
        std::vector<int64_t> x(static_cast<size_t>(N)), pure(static_cast<size_t>(N));
        for (size_t i = 0; i < x.size(); ++i) {
            pure[i] = pick(rng, 0, 2) == 0 ? 0 : pick(rng, -9, 9) * scale;
            x[i] = pure[i] + pick(rng, -3, 3) * scale;
        }
        const int64_t sigma = pick(rng, 0, 4) * scale;
        const PulseLayout layout{N, L, Tmin, Tmax};
        const int mMax =
            synthesis::seriesMaxPulses(static_cast<uint32_t>(N), static_cast<uint16_t>(L), static_cast<uint16_t>(Tmin));
        const int mMin = static_cast<int>(pick(rng, 0, mMax));
        for (int method = 0; method <= 6; ++method) {
            SCOPED_TRACE("trial " + std::to_string(trial) + " method " + std::to_string(method));
            const auto r = detection::detectByThreshold<int64_t, int64_t>(x, pure, layout, mMin, mMax, method, sigma);
            const std::vector<bool> any = membersOf(r.regions.any, x.size()),
                                    later = membersOf(r.regions.later, x.size());
            const int64_t variance = method == 5 ? sigma * sigma : 0;
            const std::vector<int64_t>& source = method == 5 ? pure : x;
            for (const ThresholdPass<int64_t>& pass : r.passes) {
                std::vector<int64_t> reduced(x.size(), 0);
                for (int64_t p = 0; p + L <= N; ++p) {
                    const int64_t e = windowOf(source, p, L, variance);
                    if (any[static_cast<size_t>(p)]) {
                        ASSERT_EQ(r.windowEnergies[static_cast<size_t>(p)], e);
                    }
                    reduced[static_cast<size_t>(p)] = method == 6 ? (e <= pass.threshold ? 0 : e) : e - pass.threshold;
                }
                const int64_t best = bestChainTotal(r.regions, reduced, Tmin, Tmax);
                ASSERT_EQ(pass.chainTotal, best);
                // The detection is such a chain.
                int64_t total = 0, detected = 0;
                for (size_t k = 0; k < pass.positions.size(); ++k) {
                    const int32_t p = pass.positions[k];
                    ASSERT_TRUE(k == 0 ? any[static_cast<size_t>(p)] : later[static_cast<size_t>(p)]);
                    if (k > 0) {
                        ASSERT_GE(p - pass.positions[k - 1], Tmin);
                        ASSERT_LE(p - pass.positions[k - 1], Tmax);
                    }
                    total += reduced[static_cast<size_t>(p)];
                    detected += windowOf(source, p, L, variance);
                    ASSERT_EQ(pass.observedEnergies[k], windowOf(x, p, L, 0));
                }
                ASSERT_EQ(pass.positions.empty() ? 0 : total, best);
                ASSERT_EQ(pass.detected, detected);
                chains += !pass.positions.empty();
                longChains += pass.positions.size() > 2;
            }
        }
    }
    std::printf("[   info   ] %d passes detected a chain, %d of more than two starts\n", chains, longChains);
    EXPECT_GT(chains, test_support::trials(8000));
    EXPECT_GT(longChains, test_support::trials(4000));
}

TEST(ThresholdDetectionCore, RefusesWhatItCannotDetect)
{
    const std::vector<int64_t> x(100, 3), none;
    const PulseLayout layout{100, 10, 20, 40};
    using detection::detectByThreshold;
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, 5, 2)), std::invalid_argument)
        << "the additive model needs the noise-free samples";
    EXPECT_NO_THROW((detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, 2, 2)));
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, 7, 2)), std::invalid_argument);
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, -1, 2)), std::invalid_argument);
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, 2, -1)), std::invalid_argument);
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(x, none, {99, 10, 20, 40}, 1, 5, 2, 2)), std::invalid_argument);

    // Energies that leave 64 bits are refused, not wrapped.
    std::vector<int64_t> loud(100, 0);
    loud[10] = loud[11] = 3'000'000'000;
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(loud, none, layout, 1, 5, 0, 0)), std::overflow_error);
    loud[10] = 3'037'000'499;
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(loud, none, layout, 1, 5, 0, 0)), std::overflow_error);
    loud[11] = 0;
    const auto alone = detectByThreshold<int64_t, int64_t>(loud, none, layout, 1, 5, 0, 0);
    ASSERT_FALSE(alone.last().positions.empty());
    EXPECT_EQ(alone.last().positions[0], 1);
    EXPECT_EQ(alone.last().energies[0], 3'037'000'499LL * 3'037'000'499LL);
    // A third of the 64-bit range in every window over one sample: chains
    // 20 apart hold one such window, chains 1 apart ten of them.
    loud[10] = 1'700'000'000;
    EXPECT_NO_THROW((detectByThreshold<int64_t, int64_t>(loud, none, layout, 1, 5, 0, 0)));
    EXPECT_THROW((detectByThreshold<int64_t, int64_t>(loud, none, {100, 10, 1, 40}, 1, 5, 0, 0)), std::overflow_error);
    EXPECT_THROW((detection::detectBestChain<int64_t, int64_t>(loud, {100, 10, 1, 40},
                                                               detection::startRegionLists({100, 10, 1, 40}, 1, 5))),
                 std::overflow_error);

    // The noise level's thresholds are held to 64 bits.
    const auto quiet = detectByThreshold<int64_t, int64_t>(x, none, layout, 1, 5, 1, 3'037'000'499);
    EXPECT_EQ(quiet.last().threshold, std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(quiet.last().positions.empty());
}

TEST(ThresholdDetectionCore, MillionSampleSeriesFindsEveryPulse)
{
    // Pulses of 300 samples 400..900 apart on a million samples, in 64-bit
    // samples beyond the 16-bit range: every pass finds the true starts where
    // the method's threshold parts pulses from noise (the mean window energy
    // over noise; the chi-square ones over clean samples, as their threshold
    // is made for pulses far shorter).
    std::mt19937_64 rng(3);
    const int64_t N = 1'000'000;
    const int L = 300, Tmin = 400, Tmax = 900;
    const int64_t sigma = 20000;
    std::vector<int64_t> pure(static_cast<size_t>(N), 0), noisy;
    std::vector<int32_t> truth;
    for (int64_t p = pick(rng, 0, Tmax - L); p + L <= N; p += pick(rng, Tmin, Tmax)) {
        truth.push_back(static_cast<int32_t>(p));
        for (int i = 0; i < L; ++i)
            pure[static_cast<size_t>(p + i)] = std::llround(100000.0 * (1.0 + std::sin(M_PI * (i + 0.5) / L)));
    }
    noisy = pure;
    std::normal_distribution<double> noise(0.0, static_cast<double>(sigma));
    for (int64_t& v : noisy)
        v += std::llround(noise(rng));
    const PulseLayout layout{N, L, Tmin, Tmax};
    const int mMin = static_cast<int>((N + L - 1) / Tmax), mMax = static_cast<int>((N - L + Tmin) / Tmin);
    struct Case {
        int method;
        const std::vector<int64_t>& x;
        int64_t sigma;
    };
    for (const Case c : {Case{4, noisy, sigma}, Case{2, pure, 0}, Case{5, noisy, 0}}) {
        const auto started = std::chrono::steady_clock::now();
        const auto r = detection::detectByThreshold<int64_t, int64_t>(c.x, pure, layout, mMin, mMax, c.method, c.sigma);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_EQ(r.passes.size(), 3u);
        // The first pass of the mean-window method has T = 0 and keeps the
        // noise windows between pulses too.
        for (size_t j = c.sigma ? 1 : 0; j < r.passes.size(); ++j) {
            const ThresholdPass<int64_t>& pass = r.passes[j];
            ASSERT_EQ(pass.positions.size(), truth.size()) << "method " << c.method << " pass " << j;
            for (size_t k = 0; k < truth.size(); ++k)
                ASSERT_LE(std::abs(pass.positions[k] - truth[k]), c.sigma ? 3 : 0) << "pulse " << k;
        }
        std::printf("[   info   ] method %d, N = 1,000,000, L = 300: %.3f s for three passes\n", c.method, seconds);
    }
}
