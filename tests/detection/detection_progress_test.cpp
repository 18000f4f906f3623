// Progress and cancel of a whole detection: every mode reports from its
// first report (0, total) to its last (total, total), a callback that lets
// it run changes nothing of the outcome, and one that says stop after K
// reports ends it at once with nothing half-done.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "detection/series_detection.h"
#include "detection/task_codes.h"

namespace {

using detection::DetectionMode;

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
    // One thread: the reports then come in the same number every run (on
    // several, the waiting thread tells the others' work as time passes).
    r.threads = 1;
    return r;
}

// Every figure of an outcome in one list, to be compared whole.
std::vector<int64_t> figures(const detection::DetectionOutcome& o)
{
    std::vector<int64_t> f(o.positions.begin(), o.positions.end());
    f.insert(f.end(), o.pulseScores.begin(), o.pulseScores.end());
    for (const detection::StageRow& row : o.rows) {
        f.insert(f.end(), {row.method, row.measure, row.squares, row.iterations});
        f.insert(f.end(), row.positions.begin(), row.positions.end());
    }
    for (const detection::CountScore& c : o.counts)
        f.insert(f.end(), {c.count, c.programmeMeasure, c.improvedMeasure, c.passes, c.squares, c.noisePerWindow});
    for (const detection::ThresholdPassSummary& p : o.passes)
        f.insert(f.end(), {p.threshold, p.detected});
    f.push_back(o.cancelled);
    return f;
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
            std::vector<std::pair<uint64_t, uint64_t>> reports;  // done, total
            r.progress = [&](uint64_t done, uint64_t total) {
                reports.emplace_back(done, total);
                return true;
            };
            ASSERT_TRUE(detection::detectPulses(x, r, watched, error)) << what;
            EXPECT_EQ(figures(plain), figures(watched)) << what;
            ASSERT_GE(reports.size(), 2u) << what;
            EXPECT_EQ(reports.front().first, 0u) << what;
            EXPECT_EQ(reports.back().first, reports.back().second) << what;
            for (size_t k = 1; k < reports.size(); ++k) {
                EXPECT_EQ(reports[k].second, reports[0].second) << what;
                EXPECT_LE(reports[k - 1].first, reports[k].first) << what;
                EXPECT_LT(reports[k - 1].first, reports[k - 1].second) << what << ": the end told before the end";
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
        // On two threads the fits of the sequential method and the null
        // series of the matched filter stop too, once half the work is told.
        if (mode == DetectionMode::SequentialMethod) {
            for (const detection::ScoreKind score : {detection::ScoreKind::Energy, detection::ScoreKind::Correlation}) {
                r.threads = 2;
                r.score = score;
                r.templateSamples.assign(score == detection::ScoreKind::Correlation ? 20 : 0, 1);
                bool told = false;
                r.progress = [&](uint64_t done, uint64_t total) {
                    EXPECT_FALSE(told) << "reported after the stop";
                    told = done > total / 2;
                    return !told;
                };
                detection::DetectionOutcome stopped;
                ASSERT_TRUE(detection::detectPulses(x, r, stopped, error));
                EXPECT_TRUE(stopped.cancelled && stopped.rows.empty() && stopped.counts.empty());
                EXPECT_TRUE(stopped.positions.empty() && stopped.rawNull.empty());
            }
        }
    }
}

}  // namespace
