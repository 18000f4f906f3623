#pragma once
// Preparing a researcher's own series for the exact programmes: a trend
// taken away (computed from the real samples only), gaps set to the
// baseline, dips turned into pulses, floating-point samples scaled to
// integers. Every step says what it did, so that a result can be traced
// back to the file's own numbers: sample i of the prepared series is
//     round(scale * sign * (x[i] - trend[i]))
// with x[i] the file's value, trend the detrending reference and sign -1
// when inverted; a gap is round(scale * sign * centre), which is 0 whenever
// a trend is taken away.
//
// The median used throughout is the lower median (the middle sample, the
// lower of the two middle ones for an even count): it is always one of the
// samples, so integer data stay integers and nothing is rounded.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace detection {

// The trend taken away before detection.
enum class Detrend {
    None,          // the samples as they are
    WholeMedian,   // the median of the whole series
    MovingMedian,  // a moving median of `window` samples
};

// How prepareSeries treats the values.
struct PreparationOptions {
    Detrend detrend = Detrend::WholeMedian;
    int64_t window = 0;   // samples of the moving median, at least 1
    bool invert = false;  // dips (transits, troughs) become pulses
    // The factor the samples are multiplied by before rounding. Nothing:
    // floating-point data are scaled so that the largest magnitude is 32,767,
    // integer data are kept as they are. `scaleAuto` asks for the automatic
    // factor for integer data too.
    std::optional<double> scale;
    bool scaleAuto = false;
};

// Largest magnitude of an automatically scaled series.
constexpr double kAutoScaleTarget = 32767.0;

// A series ready for the exact programmes, with the account of each step.
struct PreparedSeries {
    std::vector<int64_t> samples;  // round(scale * sign * (x[i] - trend[i])), one per value
    // The same samples before scaling and rounding, in the file's units:
    // sign * (x[i] - trend[i]), gaps at the baseline.
    std::vector<double> unscaled;
    int64_t gaps = 0;   // values that were gaps
    double centre = 0;  // what the gaps became before scaling: 0 after detrending, else the median of the other values
    double trendMedian = 0;           // WholeMedian: what was subtracted, the median of the real samples
    double scale = 1;                 // the factor applied
    bool scaled = false;              // false: the values were integers and kept as they were
    int64_t largest = 0;              // the largest magnitude of the prepared samples
    std::vector<std::string> report;  // one line per step, in order
};

// Prepares `values` (NaN marks a gap); `integral` says the values are
// integers as the file stored them. Returns false with a message when the
// series cannot be prepared: no values, only gaps, a window below 1, a
// factor that is not a positive finite number, or samples too large for
// exact 64-bit sums (more than 2^31 in magnitude after scaling). Throws
// std::bad_alloc.
bool prepareSeries(std::span<const double> values, bool integral, const PreparationOptions& options,
                   PreparedSeries& prepared, std::string& error);

// Why the prepared series can give no answer, or "" when it can: it has no
// variation (every sample the same), or its scaling leaves it without
// resolution (most of its varying samples rounded to 0 by a factor chosen
// for a few far larger ones; the message names them and the factor).
std::string preparedSeriesProblem(const PreparedSeries& prepared);

// The lower median of every window of `width` samples centred on each sample
// (samples i - (width-1)/2 .. i + width/2, cut at the ends of the series), in
// O(N log width). Gaps (NaN) are passed over: each median is one of the real
// samples in its window, NaN where the window holds none. Throws
// std::bad_alloc.
std::vector<double> movingMedian(std::span<const double> x, int64_t width);

// The noise level (standard deviation) of a prepared series, estimated so
// that pulses hardly move it: the median absolute deviation of the
// differences of neighbouring samples, times 1.4826 (a normal deviate's
// MAD to its sigma) over sqrt 2 (a difference doubles the variance),
// rounded; at least 1. Throws std::bad_alloc.
int64_t estimateNoiseLevel(std::span<const int64_t> x);

// The lower median; 0 for no values.
double lowerMedian(std::vector<double> values);

}  // namespace detection
