// The exhaustive search over the a-priori intervals of a series: the
// series-record face of detection::searchCombinations.
#include <algorithm>
#include <new>
#include <vector>

#include "detection/estimator_guards.h"
#include "detection/exhaustive_search.h"
#include "detection/fixed_case_criteria.h"

namespace detection {

int32_t searchInIntervals(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                          synthesis::SeriesHeader& series, const ProgressCallback& progress)
{
    if (!acceptArguments(
            sink, " searchInIntervals ",
            countProblem(series, m, {&series.lpFoundPositions, &series.lpMinPositions, &series.lpMaxPositions})))
        return kEstimateFailure;
    const std::span<const int16_t> x(series.lpSeriesData.data(), series.dwSeriesSize);

    ExhaustiveSearchResult<int32_t> result;
    std::vector<int32_t> left, end, hint, P;
    try {
        left.assign(m, 0);
        end.assign(m, 0);
        hint.assign(m, 0);
        P.assign(m, 0);
        for (int32_t k = 0; k < m; ++k) {
            left[k] = series.lpMinPositions[k];
            end[k] = series.lpMaxPositions[k] + 1;
            // The positions found so far (the improved ones in the staged
            // run) usually score close to the best and let the search skip
            // most of the intervals; positions that do not fit are ignored.
            hint[k] = series.lpFoundPositions[k];
        }
        result = searchCombinations<int16_t, int32_t>(x, {Tmin, Tmax, L}, left, end, hint, P, progress);
    } catch (const std::bad_alloc&) {
        noMemoryFor(sink, "leftInIntervals");
        return kEstimateFailure;
    }
    if (result.cancelled) {
        sink.messageBox("The exhaustive search was cancelled; the positions are left as they were.",
                        " searchInIntervals ", base::MessageIcon::Information);
        return kEstimateFailure;
    }

    // The best S starts at the failure value: a search whose every S wrapped
    // down to it or below keeps the positions it was given.
    int32_t best = kEstimateFailure;
    if (result.evaluated && result.best > best) {
        best = result.best;
        for (int32_t k = 0; k < m; ++k)
            series.lpFoundPositions[k] = static_cast<int16_t>(P[k]);
    }
    return measureOfSum(best, m);
}

}  // namespace detection
