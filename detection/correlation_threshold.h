#pragma once
// Blind detection on correlation scores: the correlation C(l) of every
// window with the template h is reduced by a threshold T in correlation
// units, and the chain programme of the threshold methods (chain_core.h,
// over the start regions of the admissible counts) links what stays positive
// into the chain of greatest total; its length is the detected count, its
// links the positions.
//
// The threshold is T = S sigma |h|, rounded half away from zero to a whole
// correlation unit: |h| = sqrt(sum h_i^2) (templateNorm, matched_filter.h),
// sigma a noise level in the units of the prepared samples, S the least
// signal-to-noise ratio a pulse must reach (the correlation of a window of
// white noise of level sigma has the standard deviation sigma |h|, so S
// counts standard deviations of it).
// Where sigma comes from is the threshold method's:
//   0 primitive: one pass; sigma = programmeNoiseSigma of the prepared
//     samples (matched_filter.h: the median absolute deviation of
//     neighbouring differences, unrounded, with its fall-backs);
//   1 known dispersion: one pass; sigma = the noise level given;
//   2 unknown dispersion: three passes; the first takes sigma as method 0,
//     each next one the root mean square about 0 of the samples outside
//     the windows the pass before detected (the sigma before, when the
//     detections cover every sample);
//   3 Fisher criterion: three passes with T = 0 (every positive
//     correlation counts; no S, no sigma);
//   6 known dispersion, cut: one pass; sigma as method 1, and correlations
//     at or below T count 0 instead of being reduced by it.
// Method 4 takes T from the mean window energy and method 5 needs the
// noise-free samples: neither runs on correlation scores.
//
// 64-bit exactness: a threshold, a reduced correlation or a chain total that
// would leave 64 bits is refused with std::overflow_error.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/progress.h"
#include "detection/task_codes.h"

namespace detection {

// Why a least signal-to-noise ratio given where it has no use is refused.
inline constexpr const char* kSnrMinMethodsOnly =
    "a least signal-to-noise ratio applies to blind detection by methods 0, 1, 2 and 6 with correlation scores only";
// Why method 4 is refused with correlation scores.
inline constexpr const char* kMeanWindowCorrelationRefusal =
    "method 4 takes its threshold from the mean window energy, which correlation scores do not have; use method 2 "
    "(its threshold from the noise outside the detections)";

// The threshold methods that take S: 0, 1, 2 and 6.
constexpr bool takesSnrMin(int32_t method)
{
    return method == kPrimitiveMethod || method == kChiSquareKnownDispersion || method == kChiSquareUnknownDispersion ||
           method == kThresholdKnownDispersion;
}

// The inverse of the standard normal distribution function, Phi^-1(p) for
// 0 < p < 1: Acklam's rational approximation refined by one Halley step on
// std::erfc, to a relative error near that of a double in both tails (the
// upper tail is computed from 1 - p, which is exact there). -inf for p <= 0,
// +inf for p >= 1, NaN for NaN.
double normalQuantile(double p);

// The windows a series of N samples scores with pulses of L samples, every
// start: max(1, N - L + 1); 1 for L < 1.
int64_t scoredWindows(int64_t N, int32_t L);

// The default least signal-to-noise ratio: the level at which white Gaussian
// noise of N samples gives a false pulse with probability 1 % at most. A
// pulse needs a window above the threshold (a chain of reduced scores none
// of them positive has no positive total), and the chance that any of the
// n = scoredWindows(N, L) windows passes is at most n times the chance of
// one (a Bonferroni bound, whatever the correlation of neighbouring
// windows): S = Phi^-1(1 - 0.01 / n).
double defaultSnrMin(int64_t N, int32_t L);

// What the detection is asked for besides the scores.
struct CorrelationThresholdSettings {
    int32_t method = 0;            // 0, 1, 2, 3 or 6
    std::optional<double> snrMin;  // S; nothing for defaultSnrMin. Positive and finite when given
    int64_t noiseLevel = 0;        // methods 1 and 6: sigma, at least 0
};

// One pass: the threshold, the sigma it came from and what it found.
struct CorrelationThresholdPass {
    int64_t threshold = 0;           // T, in correlation units (0 for method 3)
    double sigma = 0;                // the noise level T came from (0 for method 3)
    std::vector<int32_t> positions;  // the detected starts, increasing
    int64_t chainTotal = 0;          // the best chain's total of reduced correlations; 0 for none
};

// A whole detection: S and where it came from, |h| and every pass in order.
struct CorrelationThresholdDetection {
    double snrMin = 0;                             // the S used; 0 for method 3
    bool snrDefault = false;                       // S is defaultSnrMin
    int64_t windows = 0;                           // scoredWindows(N, L), which the default counts
    double templateNorm = 0;                       // |h|
    std::vector<CorrelationThresholdPass> passes;  // 1 or 3
};

// Detection of the prepared samples x (layout.N of them) from their window
// correlations (layout.N - L + 1 of them, one per start) with the template
// (L samples), the pulse count anywhere in mFrom..mTo. Ties go as the chain
// programme sends them (chain_core.h): the lowest end among the greatest
// totals, then the lowest predecessor. Throws std::invalid_argument for a
// method that does not run on correlations, sizes that do not match, a
// given S that is not positive and finite or a negative noise level;
// std::overflow_error as above; std::bad_alloc. A meter counts N units per
// noise level estimated and 3 per start of every pass at most (see
// correlationThresholdWork); when it says stop the detection returns at
// once, to be thrown away.
CorrelationThresholdDetection detectByCorrelationThreshold(std::span<const int64_t> x,
                                                           std::span<const int64_t> correlations,
                                                           std::span<const int64_t> templateSamples,
                                                           const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                                                           const CorrelationThresholdSettings& settings,
                                                           WorkMeter* meter = nullptr);

// The passes a method runs on correlations (1 or 3), and the units of work
// detectByCorrelationThreshold counts at most for N samples and S starts.
int32_t correlationThresholdPasses(int32_t method);
uint64_t correlationThresholdWork(uint64_t N, uint64_t S, int32_t method);

}  // namespace detection
