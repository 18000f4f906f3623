// The measures of found pulses against what was planted: exact amplitudes on
// noise-free series for a template and for the mean shape, and on noisy
// series the matched filter's known answers (the amplitude unbiased with
// spread sigma / |h|, the signal-to-noise ratio of pure noise spread 1, the
// robust noise level equal to the Gaussian sigma).

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "detection/pulse_measures.h"

using namespace detection;

namespace {

struct Planted {
    std::vector<double> y;
    std::vector<int32_t> starts;
    std::vector<double> amplitudes;
};

Planted plant(const std::vector<double>& unitShape, int count, double sigma, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    std::uniform_real_distribution<double> depth(0.5, 3.0);
    const int32_t L = static_cast<int32_t>(unitShape.size());
    Planted p;
    p.y.assign(static_cast<size_t>(count) * (L + 7) + 5, 0.0);
    for (double& v : p.y)
        v = sigma > 0 ? noise(rng) : 0.0;
    for (int k = 0; k < count; ++k) {
        const int32_t s = 3 + k * (L + 7) + static_cast<int32_t>(rng() % 4);
        const double a = depth(rng);
        for (int32_t i = 0; i < L; ++i)
            p.y[s + i] += a * unitShape[i];
        p.starts.push_back(s);
        p.amplitudes.push_back(a);
    }
    return p;
}

TEST(PulseMeasures, NoiseFreeAmplitudesAreThePlantedOnes)
{
    const std::vector<int64_t> templ = {2, 6, 10, 6, 2, -4};  // peak 10
    std::vector<double> unit;
    for (const int64_t v : templ)
        unit.push_back(static_cast<double>(v) / 10.0);
    const Planted p = plant(unit, 40, 0.0, 3);
    for (const bool byTemplate : {true, false}) {
        const std::vector<double> shape =
            unitPeakShape(p.y, p.starts, 6, byTemplate ? std::span<const int64_t>(templ) : std::span<const int64_t>());
        for (size_t i = 0; i < unit.size(); ++i)
            ASSERT_NEAR(shape[i], unit[i], 1e-12) << byTemplate;
        const std::vector<PulseMeasure> m = measurePulses(p.y, p.starts, 6, shape, 0.0);
        for (size_t k = 0; k < m.size(); ++k) {
            EXPECT_NEAR(m[k].amplitude, p.amplitudes[k], 1e-9);
            EXPECT_EQ(m[k].end, p.starts[k] + 5);
            EXPECT_EQ(m[k].centre, p.starts[k] + 2.5);
            EXPECT_EQ(m[k].snr, 0.0);  // no noise level, no ratio
        }
    }
    // A flat shape measures nothing rather than dividing by zero.
    const std::vector<double> flat(6, 0.0);
    EXPECT_EQ(measurePulses(p.y, p.starts, 6, flat, 1.0)[0].amplitude, 0.0);
}

TEST(PulseMeasures, NoisyAmplitudesFollowTheMatchedFilter)
{
    const std::vector<double> box(30, 1.0);  // a transit's box: |h| = sqrt 30
    const double sigma = 1.0;
    const Planted p = plant(box, 3000, sigma, 8);
    const double measured = robustNoiseSigma(p.y);
    EXPECT_NEAR(measured, sigma, 0.03);
    const std::vector<PulseMeasure> m = measurePulses(p.y, p.starts, 30, box, measured);
    double bias = 0, spread = 0;
    for (size_t k = 0; k < m.size(); ++k) {
        const double e = m[k].amplitude - p.amplitudes[k];
        bias += e;
        spread += e * e;
        EXPECT_NEAR(m[k].snr, m[k].amplitude * std::sqrt(30.0) / measured, 1e-9);
    }
    const double n = static_cast<double>(m.size());
    const double expected = sigma / std::sqrt(30.0);
    EXPECT_NEAR(bias / n, 0.0, 4 * expected / std::sqrt(n));
    EXPECT_NEAR(std::sqrt(spread / n), expected, 0.06 * expected);

    // Windows of pure noise: their signal-to-noise ratios spread as a unit normal.
    std::vector<int32_t> quiet;
    std::vector<double> y(200000);
    std::mt19937 rng(10);
    std::normal_distribution<double> g(0.0, 2.5);
    for (double& v : y)
        v = g(rng);
    for (int32_t s = 0; s + 30 <= static_cast<int32_t>(y.size()); s += 30)
        quiet.push_back(s);
    const std::vector<PulseMeasure> q = measurePulses(y, quiet, 30, box, robustNoiseSigma(y));
    double sum2 = 0;
    for (const PulseMeasure& w : q)
        sum2 += w.snr * w.snr;
    EXPECT_NEAR(std::sqrt(sum2 / static_cast<double>(q.size())), 1.0, 0.05);
}

}  // namespace
