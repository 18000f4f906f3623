// The cost a detection is estimated at against what it really allocates:
// the test program's allocator follows the bytes held, and every generated
// layout of every mode must peak at or below the estimate and not far below
// it. The estimate adds the tables' sizes as the programmes compute them and
// bounds the growing vectors by twice what they hold, so a formula that
// forgets a table, counts one twice or takes a row's width wrongly lands
// outside [peak, 2 peak + bookkeeping].

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "detection/series_detection.h"
#include "detection/task_codes.h"
#include "support/failing_allocator.h"
#include "support/sanitized_trials.h"

namespace {

using detection::DetectionMode;

// The estimate's allowance for the records around the tables.
constexpr uint64_t kBookkeeping = 16384;

struct Generated {
    std::vector<int64_t> x;
    detection::DetectionRequest request;
};

// A noisy series with pulses, and a request the series can hold.
bool generate(std::mt19937_64& random, Generated& g)
{
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(random); };
    detection::DetectionRequest& r = g.request;
    r = {};
    const int64_t N = pick(300, 6000);
    r.L = static_cast<int32_t>(pick(1, 40));
    r.Tmin = static_cast<int32_t>(pick(1, 120));
    r.Tmax = static_cast<int32_t>(std::max<int64_t>(r.L, r.Tmin) + pick(0, 400));
    g.x.assign(static_cast<size_t>(N), 0);
    for (int64_t& v : g.x)
        v = pick(-300, 300);
    for (int64_t p = pick(0, r.Tmin); p + r.L <= N; p += pick(r.Tmin, r.Tmax))
        for (int32_t i = 0; i < r.L; ++i)
            g.x[static_cast<size_t>(p + i)] += 2000;
    const detection::CountRange counts = detection::admissibleCounts({N, r.L, r.Tmin, r.Tmax});
    if (counts.empty())
        return false;
    switch (pick(0, 3)) {
    case 0:
        r.mode = DetectionMode::SequentialMethod;
        // The matched filter half the time, its null series on one thread or two.
        if (pick(0, 1) == 0) {
            r.score = detection::ScoreKind::Correlation;
            r.templateSamples.assign(static_cast<size_t>(r.L), 3);
            r.nullSeries = static_cast<int32_t>(pick(1, 4));
            r.threads = static_cast<unsigned>(pick(1, 2));
        }
        break;
    case 1:
        r.mode = DetectionMode::Blind;
        r.method = static_cast<int32_t>(std::vector<int64_t>{0, 1, 2, 3, 4, 6}[static_cast<size_t>(pick(0, 5))]);
        r.noiseLevel = 170;
        if (r.method != detection::kMeanWindowThreshold && pick(0, 2) == 0) {
            r.score = detection::ScoreKind::Correlation;
            r.templateSamples.assign(static_cast<size_t>(r.L), 3);
        }
        break;
    default:
        r.mode = DetectionMode::KnownCount;
        // Small counts half the time, so that the exhaustive search runs.
        r.pulses = static_cast<int32_t>(pick(0, 1) ? pick(counts.from, counts.to)
                                                   : std::min<int64_t>(counts.to, counts.from + pick(0, 2)));
        if (pick(0, 3) == 0) {
            r.score = detection::ScoreKind::Correlation;
            r.templateSamples.assign(static_cast<size_t>(r.L), 3);
        }
        break;
    }
    return true;
}

TEST(DetectionCost, NeverBelowWhatTheDetectionHoldsAndNotFarAbove)
{
    std::mt19937_64 random(20261208);
    int runs = 0, tight = 0;
    bool modes[3] = {};
    while (runs < test_support::trials(150)) {
        Generated g;
        if (!generate(random, g))
            continue;
        const detection::DetectionRequest& r = g.request;
        const detection::PulseLayout layout{static_cast<int64_t>(g.x.size()), r.L, r.Tmin, r.Tmax};
        const detection::DetectionCost cost = detection::estimateDetectionCost(layout, r);

        detection::DetectionOutcome outcome;
        std::string error;
        const uint64_t before = test_support::liveBytes();
        test_support::resetPeakBytes();
        const bool ran = detection::detectPulses(g.x, r, outcome, error);
        const uint64_t peak = test_support::peakBytes() - before;
        if (!ran)
            continue;  // a threshold method refused the sums; nothing to weigh
        ++runs;
        modes[static_cast<int>(r.mode)] = true;
        const std::string what = "N " + std::to_string(g.x.size()) + " L " + std::to_string(r.L) + " Tmin " +
                                 std::to_string(r.Tmin) + " Tmax " + std::to_string(r.Tmax) + " mode " +
                                 std::to_string(static_cast<int>(r.mode)) + " pulses " + std::to_string(r.pulses) +
                                 " method " + std::to_string(r.method);
        EXPECT_LE(peak, cost.bytes) << what;
        EXPECT_LE(cost.bytes, 2 * peak + kBookkeeping) << what << ": peak " << peak;
        tight += cost.bytes <= peak + peak / 4 + kBookkeeping ? 1 : 0;
        EXPECT_GE(cost.work, 1u);
    }
    EXPECT_TRUE(modes[0] && modes[1] && modes[2]);
    // Most layouts are estimated within a quarter of their peak.
    EXPECT_GE(tight, runs / 2);
}

// The layout that once held 4.9 GB for half a minute is weighed before a
// byte of it is allocated: every count of 1..49991 with its chain, and
// days of back-tracking.
TEST(DetectionCost, TheUnboundedGapOfAnUnknownCountIsWeighedWithoutRunning)
{
    detection::DetectionRequest r;
    r.mode = DetectionMode::SequentialMethod;
    r.L = 10;
    r.Tmin = 1;
    r.Tmax = INT32_MAX;
    const uint64_t before = test_support::liveBytes();
    test_support::resetPeakBytes();
    const detection::DetectionCost cost = detection::estimateDetectionCost({50000, r.L, r.Tmin, r.Tmax}, r);
    EXPECT_LT(test_support::peakBytes() - before, uint64_t{1} << 20);
    // The chains alone: 4 bytes for every pulse of every count.
    const uint64_t chains = uint64_t{4} * 49991 * 49992 / 2;
    EXPECT_GE(cost.bytes, chains);
    EXPECT_LE(cost.bytes, chains + chains / 4);
    EXPECT_GT(cost.work, uint64_t{10'000'000'000'000});
}

}  // namespace
