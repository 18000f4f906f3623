#pragma once
// The exhaustive combination search on plain spans: the engine behind
// searchInIntervals, usable on any series of samples with 32-bit positions.
// The search is exact and usually far from exhaustive in cost: it stops
// descending wherever a bound on S over all the combinations below proves
// that none of them can beat the best one found so far, or the hint.

#include <cstdint>
#include <span>

#include "detection/progress.h"

namespace detection {

// The gaps and window length of a search.
struct ExhaustiveSearchParameters {
    int32_t Tmin = 0;  // least gap between neighbouring starts (seat of the next digit)
    int32_t Tmax = 0;  // greatest gap between neighbouring starts (limit of the next digit)
    int32_t L = 0;     // window length; 0 or less judges every combination as 0
};

// What a search found.
template <class Score>
struct ExhaustiveSearchResult {
    Score best{};            // S of the winning combination; 0 when none was judged
    bool evaluated = false;  // at least one combination was judged and positions were written
    bool cancelled = false;  // progress answered false; positions were left alone
};

// m = left.size() pulses; pulse k's interval is left[k] .. end[k] - 1 (end
// exclusive). A combination p_0..p_{m-1} is judged by
//   S = sum over i < L of (sum over k of x[p_k + i])^2,
// samples outside 0..samples.size()-1 reading as 0, so any start may be
// judged. Integer scores are reduced to the width of Score as two's
// complement (int32_t gives the 32-bit wrapping sum of the system's
// records; int64_t wraps only where the true sum passes 2^63). A double
// score sums each column in pulse order and the squares in sample order.
//
// Enumeration order: an odometer whose last digit runs fastest. Digit 0
// runs from left[0] up to end[0] - 1. Digit k > 0 runs from its seat
// max(left[k], p_{k-1} + Tmin) up to its limit
// min(end[k] - 1, p_{k-1} + Tmax), but always takes its seat once, even
// when the seat lies beyond the limit (such a combination is judged like
// any other). On the very first descent, while every earlier digit still
// holds the first value it took, a digit starts at left[k] instead of its
// seat. When digit 0's interval is empty (left[0] >= end[0]) only the
// combination left[0..m-1] is judged.
//
// The winner is the first combination in this order whose S is strictly
// the greatest; it is written to positions[0..m-1] and its S returned.
// Empty and reversed intervals, Tmin > Tmax and starts off the series are
// all taken as they come.
//
// hint (empty, or m starts): a combination that usually scores well, for
// instance the result of a quicker estimator. It only speeds the search
// up, and only when it lies inside the intervals and keeps every gap in
// Tmin..Tmax (so that the enumeration surely reaches it); the result is
// the same with or without it.
//
// progress: called now and then with the first-digit values finished and
// their whole count, at the start (0, total) and at the end (total,
// total). When it answers false the search stops at once: positions are
// left alone and the result says cancelled.
//
// Requirements: end and positions hold at least m entries (otherwise
// nothing is judged), double samples are finite, and every start the
// enumeration reaches fits in 32 bits (true for 16-bit intervals and gaps
// with m below 32768). Throws std::bad_alloc when work memory cannot be
// had (memory of O(N log N + m L)).
template <class Sample, class Score>
ExhaustiveSearchResult<Score> searchCombinations(std::span<const Sample> samples,
                                                 const ExhaustiveSearchParameters& params,
                                                 std::span<const int32_t> left, std::span<const int32_t> end,
                                                 std::span<const int32_t> hint, std::span<int32_t> positions,
                                                 const ProgressCallback& progress);

// The sample and score types the library is built for.
extern template ExhaustiveSearchResult<int32_t> searchCombinations<int16_t, int32_t>(
    std::span<const int16_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
extern template ExhaustiveSearchResult<int64_t> searchCombinations<int16_t, int64_t>(
    std::span<const int16_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
extern template ExhaustiveSearchResult<int64_t> searchCombinations<int32_t, int64_t>(
    std::span<const int32_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
extern template ExhaustiveSearchResult<int64_t> searchCombinations<int64_t, int64_t>(
    std::span<const int64_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
extern template ExhaustiveSearchResult<double> searchCombinations<double, double>(
    std::span<const double>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);

}  // namespace detection
