// Progress and cancel of a whole detection: every mode reports from its
// first report (0, total) to its last (total, total), a callback that lets
// it run changes nothing of the outcome, and one that says stop after K
// reports ends it at once with nothing half-done.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "detection/series_detection.h"
#include "detection/task_codes.h"

namespace {

using detection::DetectionMode;

struct Report {
    uint64_t done = 0, total = 0;
};

// Pulses of L samples Tmin..Tmax apart over noise.
std::vector<int64_t> pulseSeries(std::mt19937_64& random, int64_t N, int32_t L, int32_t Tmin, int32_t Tmax)
{
    std::uniform_int_distribution<int64_t> noise(-400, 400), gap(Tmin, Tmax);
    std::vector<int64_t> x(static_cast<size_t>(N));
    for (int64_t& v : x)
        v = noise(random);
    for (int64_t p = gap(random) % Tmax; p + L <= N; p += gap(random))
        for (int32_t i = 0; i < L; ++i)
            x[static_cast<size_t>(p + i)] += 1500;
    return x;
}

detection::DetectionRequest requestFor(DetectionMode mode, int32_t pulses, int32_t Tmin, int32_t Tmax)
{
    detection::DetectionRequest r;
    r.mode = mode;
    r.pulses = pulses;
    r.method = detection::kChiSquareUnknownDispersion;
    r.L = 20;
    r.Tmin = Tmin;
    r.Tmax = Tmax;
    return r;
}

void expectSameOutcome(const detection::DetectionOutcome& a, const detection::DetectionOutcome& b,
                       const std::string& what)
{
    EXPECT_EQ(a.positions, b.positions) << what;
    EXPECT_EQ(a.pulseScores, b.pulseScores) << what;
    ASSERT_EQ(a.rows.size(), b.rows.size()) << what;
    for (size_t k = 0; k < a.rows.size(); ++k) {
        EXPECT_EQ(a.rows[k].positions, b.rows[k].positions) << what << " row " << k;
        EXPECT_EQ(a.rows[k].measure, b.rows[k].measure) << what << " row " << k;
        EXPECT_EQ(a.rows[k].iterations, b.rows[k].iterations) << what << " row " << k;
    }
    ASSERT_EQ(a.counts.size(), b.counts.size()) << what;
    for (size_t k = 0; k < a.counts.size(); ++k)
        EXPECT_EQ(a.counts[k].improvedMeasure + a.counts[k].squares, b.counts[k].improvedMeasure + b.counts[k].squares)
            << what;
    ASSERT_EQ(a.passes.size(), b.passes.size()) << what;
    for (size_t k = 0; k < a.passes.size(); ++k)
        EXPECT_EQ(a.passes[k].threshold, b.passes[k].threshold) << what;
    EXPECT_FALSE(a.cancelled || b.cancelled) << what;
}

TEST(DetectionProgress, ACallbackThatLetsItRunChangesNothingAndReportsInOrder)
{
    std::mt19937_64 random(7);
    // Three pulses with a wide gap run the exhaustive search.
    const struct {
        DetectionMode mode;
        int32_t pulses, Tmax;
    } cases[] = {{DetectionMode::KnownCount, 3, 1900},
                 {DetectionMode::KnownCount, 12, 300},
                 {DetectionMode::SequentialMethod, 0, 300},
                 {DetectionMode::Blind, 0, 300}};
    for (int series = 0; series < 12; ++series) {
        const std::vector<int64_t> x = pulseSeries(random, 1500 + 200 * series, 20, 60, 300);
        for (const auto& c : cases) {
            detection::DetectionRequest r = requestFor(c.mode, c.pulses, 60, c.Tmax);
            const std::string what = "series " + std::to_string(series) + " mode " +
                                     std::to_string(static_cast<int>(c.mode)) + " pulses " + std::to_string(c.pulses);
            detection::DetectionOutcome plain, watched;
            std::string error;
            ASSERT_TRUE(detection::detectPulses(x, r, plain, error)) << what << ": " << error;
            std::vector<Report> reports;
            r.progress = [&](uint64_t done, uint64_t total) {
                reports.push_back({done, total});
                return true;
            };
            ASSERT_TRUE(detection::detectPulses(x, r, watched, error)) << what;
            expectSameOutcome(plain, watched, what);
            ASSERT_GE(reports.size(), 2u) << what;
            EXPECT_EQ(reports.front().done, 0u) << what;
            EXPECT_EQ(reports.back().done, reports.back().total) << what;
            for (size_t k = 1; k < reports.size(); ++k) {
                EXPECT_EQ(reports[k].total, reports[0].total) << what;
                EXPECT_LE(reports[k - 1].done, reports[k].done) << what;
                EXPECT_LT(reports[k - 1].done, reports[k - 1].total) << what << ": the end told before the end";
            }
        }
    }
}

// Long runs of every mode, stopped after K reports for K from the first
// report to the last: the detection is not called again, says cancelled,
// and holds no row, count, pass or position of a stage that did not finish.
TEST(DetectionProgress, AStopAfterKReportsEndsEveryModeWithNothingHalfDone)
{
    std::mt19937_64 random(11);
    const struct {
        DetectionMode mode;
        int32_t pulses, N, Tmin, Tmax;
    } cases[] = {{DetectionMode::KnownCount, 150, 40000, 60, 300},
                 {DetectionMode::KnownCount, 3, 20000, 60, 10000},
                 {DetectionMode::SequentialMethod, 0, 40000, 100, 160},
                 {DetectionMode::Blind, 0, 40000, 100, 160}};
    for (const auto& c : cases) {
        const DetectionMode mode = c.mode;
        const int32_t pulses = c.pulses;
        const std::vector<int64_t> x = pulseSeries(random, c.N, 20, c.Tmin, c.Tmax);
        detection::DetectionRequest r = requestFor(mode, pulses, c.Tmin, c.Tmax);
        uint64_t reports = 0;
        r.progress = [&](uint64_t, uint64_t) { return ++reports, true; };
        detection::DetectionOutcome whole;
        std::string error;
        ASSERT_TRUE(detection::detectPulses(x, r, whole, error)) << error;
        const uint64_t all = reports;
        ASSERT_GE(all, 3u) << "mode " << static_cast<int>(mode) << ": too short a run";

        for (const uint64_t K : {uint64_t{1}, uint64_t{2}, all / 3, all / 2, all - 1, all}) {
            if (K == 0)
                continue;
            const std::string what = "mode " + std::to_string(static_cast<int>(mode)) + " pulses " +
                                     std::to_string(pulses) + " K " + std::to_string(K) + " of " + std::to_string(all);
            uint64_t seen = 0, afterStop = 0;
            r.progress = [&](uint64_t, uint64_t) {
                afterStop += seen >= K ? 1 : 0;
                return ++seen < K;
            };
            detection::DetectionOutcome stopped;
            ASSERT_TRUE(detection::detectPulses(x, r, stopped, error)) << what;
            EXPECT_TRUE(stopped.cancelled) << what;
            EXPECT_EQ(afterStop, 0u) << what << ": reported after the stop";
            EXPECT_TRUE(stopped.counts.empty() && stopped.passes.empty()) << what;
            // A known count keeps its finished stages, as the whole run has them.
            ASSERT_LT(stopped.rows.size(), whole.rows.size()) << what;
            if (mode != DetectionMode::KnownCount) {
                EXPECT_TRUE(stopped.rows.empty()) << what;
            }
            for (size_t k = 0; k < stopped.rows.size(); ++k)
                EXPECT_EQ(stopped.rows[k].positions, whole.rows[k].positions) << what;
            EXPECT_EQ(stopped.positions, stopped.rows.empty() ? std::vector<int32_t>{} : stopped.rows.back().positions)
                << what;
            EXPECT_EQ(stopped.pulseScores.size(), stopped.positions.size()) << what;
        }
    }
}

}  // namespace
