#pragma once
// What a found pulse means in the data's own units: where it ends and where
// its centre lies, how large it is, and how far it stands above the noise.
// Computed on the prepared but unscaled samples y (the trend taken away,
// inverted when asked, gaps at the baseline), so that an amplitude reads in
// the file's units whatever factor the exact programmes worked with.

#include <cstdint>
#include <span>
#include <vector>

namespace detection {

// The noise level (standard deviation) of y, robust to pulses and to a slow
// trend: the median absolute deviation of the differences of neighbouring
// samples, times 1.4826 (a normal deviate's MAD to its sigma), over sqrt 2
// (a difference doubles the variance). 0 for fewer than 3 samples. Throws
// std::bad_alloc.
double robustNoiseSigma(std::span<const double> y);

// The words that name how robustNoiseSigma estimates, for reports.
inline constexpr const char* kNoiseEstimateMethod =
    "median absolute deviation of neighbouring differences x 1.4826 / sqrt 2";

// The time at a (fractional) sample: sample / rate when the series has a
// sample rate, else between two entries of `times` in proportion (weighted,
// so that the half-way time of two decimal times keeps their digits); NaN
// outside the times or without any.
double timeAtSample(std::span<const double> times, double sampleRate, double sample);

struct PulseMeasure {
    int32_t start = 0;
    int32_t end = 0;    // the last sample of the pulse: start + L - 1
    double centre = 0;  // start + (L - 1) / 2
    double amplitude = 0;
    double snr = 0;  // amplitude * |h| / sigma; 0 when sigma is 0
};

// The shape the amplitudes are measured against, scaled so that its largest
// magnitude is 1: the template when one is given (correlation scores), else
// the mean of the found windows (energy scores). All zeros when the shape
// is flat.
std::vector<double> unitPeakShape(std::span<const double> y, std::span<const int32_t> starts, int32_t L,
                                  std::span<const int64_t> templateSamples);

// Each pulse of L samples at `starts` measured against `shape` (L entries,
// from unitPeakShape): amplitude a = sum y[s+i] h[i] / sum h[i]^2, the
// least-squares factor of the shape at that place, which is the pulse's
// peak height in y's units (a box's mean level: a dip's depth when
// inverted); snr = a |h| / sigma, the matched filter's signal-to-noise
// ratio. A flat shape gives amplitude and snr 0. Samples past the end of y
// count as 0.
std::vector<PulseMeasure> measurePulses(std::span<const double> y, std::span<const int32_t> starts, int32_t L,
                                        std::span<const double> shape, double sigma);

}  // namespace detection
