#pragma once
// The matched filter with the count of pulses unknown: the correlation of
// every window with the pulse's template, the best chain of every
// admissible count from one programme, and the count chosen by how far its
// chain stands above what noise alone gives a chain of that count.
//
// For a count M the best chain's summed correlation S_M has the
// signal-to-noise ratio
//     snr(M) = S_M / (sigma * |h| * sqrt M)
// (sigma the noise level of the samples, |h| the template's norm), the
// figure a matched filter is read by. Choosing the count of greatest snr
// over-counts when the pulses are weak: every pulse the chain is forced to
// add takes the best of the many places its gaps leave it, and noise alone
// gives it a score. The count is chosen instead by the excess
//     excess(M) = snr(M) - null(M),
// null(M) the snr the best chain of M pulses reaches on series that keep
// the noise of the data but not its pulses (blockSurrogate of the residual
// after the pulses of greatest snr are taken out), averaged over the null
// series and over the neighbouring counts (smoothNullCurve). Ties go to the
// smallest count. Where the layout admits five counts or fewer the null is
// one level for all of them, and the excess chooses as snr does.

#include <cstdint>
#include <span>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/progress.h"

namespace detection {

// The largest table a null series' programme keeps whole: the null needs
// the chain totals only, so the rows are kept in strides from the start.
constexpr size_t kMatchedNullTableBytes = size_t{1} << 20;

// The noise level of prepared samples in their own units: robustNoiseSigma
// (the median absolute deviation of neighbouring differences); when that is
// 0 (most neighbours equal), the root mean square of the differences over
// sqrt 2; when that is 0 too, 1. Throws std::bad_alloc.
double programmeNoiseSigma(std::span<const int64_t> x);

// The correlation with the template h of the windows at the starts
// from..to-1 of x (each L = h.size() samples inside x) into scores[from..to).
void correlateWindows(std::span<const int64_t> x, std::span<const int64_t> h, size_t from, size_t to,
                      std::span<int64_t> scores);

// sqrt(sum h_i^2).
double templateNorm(std::span<const int64_t> h);

// The null level of every count from its mean over the null series
// (`perCount`, NaN where no null series held a chain of that count): each
// count gets the mean of the finite values of the counts within w of it,
// w = max(2, K / 20) for K counts, cut at the ends; with K <= 2 w + 1 every
// count gets the mean of all. NaN where no count within w has a value.
std::vector<double> smoothNullCurve(std::span<const double> perCount);

// The index of the greatest value, the first on ties, NaN values passed
// over; -1 when every value is NaN.
int64_t firstGreatest(std::span<const double> values);

// What the count-unknown matched filter found for one admissible count.
struct MatchedCount {
    int32_t count = 0;
    int64_t chainScore = 0;  // S_M; no chain: the lowest int64_t
    double snr = 0;          // NaN without a chain
    double nullSnr = 0;      // null(M), smoothed
    double excess = 0;       // snr - null(M): the criterion
};

struct MatchedFilterOptions {
    int32_t nullSeries = 8;       // null series the null curve is the mean of, at least 1
    uint64_t seed = 1;            // of the null series
    unsigned threads = 0;         // 0: every usable processor
    std::vector<double> nullSnr;  // given (one per admissible count): used as the null curve, no null series run
};

struct MatchedFilterResult {
    std::vector<MatchedCount> counts;  // every admissible count in order
    std::vector<double> rawNull;  // per count: the unsmoothed mean over the null series (the given curve when given)
    std::vector<int32_t> chosen;  // the chain of the chosen count
    int32_t chosenCount = 0;      // 0 when no count holds a chain
    int32_t plainCount = 0;       // the count of greatest snr
    double sigma = 0;             // the noise level used
    double norm = 0;              // |h|
    int32_t block = 0;            // block length of the null series
};

// Runs the count-unknown matched filter on x with the window correlations
// `scores` (one per start 0..N-L) of the template h, the counts mFrom..mTo
// of `layout`. A meter counts the programme's cells and those of every null
// series; when it says stop the result is to be thrown away (false).
// Throws std::bad_alloc.
bool matchedFilterCounts(std::span<const int64_t> x, std::span<const int64_t> scores, std::span<const int64_t> h,
                         const PulseLayout& layout, int32_t mFrom, int32_t mTo, const MatchedFilterOptions& options,
                         MatchedFilterResult& result, WorkMeter& meter);

}  // namespace detection
