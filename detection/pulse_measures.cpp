#include "detection/pulse_measures.h"

#include <algorithm>
#include <cmath>

namespace detection {

namespace {

double lowerMedianOf(std::vector<double>& v)
{
    const auto middle = v.begin() + static_cast<std::ptrdiff_t>((v.size() - 1) / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
}

double sampleAt(std::span<const double> y, int64_t i)
{
    return i >= 0 && static_cast<size_t>(i) < y.size() ? y[i] : 0.0;
}

}  // namespace

double timeAtSample(std::span<const double> times, double sampleRate, double sample)
{
    if (times.empty() || sample < 0 || sample > static_cast<double>(times.size() - 1))
        return NAN;
    if (sampleRate > 0)
        return sample / sampleRate;
    const size_t below = static_cast<size_t>(sample);
    const double part = sample - static_cast<double>(below);
    if (part == 0 || below + 1 >= times.size())
        return times[below];
    return times[below] * (1 - part) + times[below + 1] * part;
}

double robustNoiseSigma(std::span<const double> y)
{
    if (y.size() < 3)
        return 0;
    std::vector<double> d(y.size() - 1);
    for (size_t i = 1; i < y.size(); ++i)
        d[i - 1] = y[i] - y[i - 1];
    const double centre = lowerMedianOf(d);
    for (double& v : d)
        v = std::fabs(v - centre);
    return 1.4826 * lowerMedianOf(d) / std::sqrt(2.0);
}

std::vector<double> unitPeakShape(std::span<const double> y, std::span<const int32_t> starts, int32_t L,
                                  std::span<const int64_t> templateSamples)
{
    std::vector<double> shape(static_cast<size_t>(std::max(L, 0)), 0.0);
    if (!templateSamples.empty()) {
        for (size_t i = 0; i < shape.size() && i < templateSamples.size(); ++i)
            shape[i] = static_cast<double>(templateSamples[i]);
    } else if (!starts.empty()) {
        for (const int32_t s : starts)
            for (size_t i = 0; i < shape.size(); ++i)
                shape[i] += sampleAt(y, static_cast<int64_t>(s) + static_cast<int64_t>(i));
        for (double& v : shape)
            v /= static_cast<double>(starts.size());
    }
    double peak = 0;
    for (const double v : shape)
        peak = std::max(peak, std::fabs(v));
    if (peak > 0)
        for (double& v : shape)
            v /= peak;
    return shape;
}

std::vector<PulseMeasure> measurePulses(std::span<const double> y, std::span<const int32_t> starts, int32_t L,
                                        std::span<const double> shape, double sigma)
{
    double norm2 = 0;
    for (const double h : shape)
        norm2 += h * h;
    std::vector<PulseMeasure> out;
    out.reserve(starts.size());
    for (const int32_t s : starts) {
        PulseMeasure m;
        m.start = s;
        m.end = s + L - 1;
        m.centre = s + (L - 1) / 2.0;
        if (norm2 > 0) {
            double dot = 0;
            for (size_t i = 0; i < shape.size(); ++i)
                dot += sampleAt(y, static_cast<int64_t>(s) + static_cast<int64_t>(i)) * shape[i];
            m.amplitude = dot / norm2;
            m.snr = sigma > 0 ? m.amplitude * std::sqrt(norm2) / sigma : 0.0;
        }
        out.push_back(m);
    }
    return out;
}

}  // namespace detection
