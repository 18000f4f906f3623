// The exhaustive search over the a-priori intervals of a series.
#include <algorithm>
#include <new>
#include <vector>

#include "detection/estimator_guards.h"
#include "detection/fixed_case_criteria.h"

namespace {

int32_t sampleAt(const int16_t* x, int32_t N, int32_t index) { return index >= 0 && index < N ? x[index] : 0; }

int32_t sumOfColumnSquares(const int16_t* x, int32_t N, int32_t L, const int32_t* p, int32_t m)
{
    uint32_t S = 0;
    for (int32_t i = 0; i < L; ++i) {
        uint32_t column = 0;
        for (int32_t k = 0; k < m; ++k)
            column += static_cast<uint32_t>(sampleAt(x, N, p[k] + i));
        S += column * column;
    }
    return static_cast<int32_t>(S);
}

}  // namespace

int32_t searchInIntervals(MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                          SeriesHeader& series)
{
    if (!acceptArguments(sink, " searchInIntervals ",
                countProblem(series, m, {&series.lpFoundPositions, &series.lpMinPositions, &series.lpMaxPositions})))
        return kEstimateFailure;
    const int32_t N = static_cast<int32_t>(series.dwSeriesSize);
    const int16_t* x = series.lpSeriesData.data();

    std::vector<int32_t> left, end, P;
    try {
        left.assign(m, 0);
        end.assign(m, 0);
        P.assign(m, 0);
    } catch (const std::bad_alloc&) {
        noMemoryFor(sink, "leftInIntervals");
        return kEstimateFailure;
    }
    for (int32_t k = 0; k < m; ++k) {
        left[k] = series.lpMinPositions[k];
        end[k] = series.lpMaxPositions[k] + 1;
        P[k] = left[k];
    }

    int32_t best = kEstimateFailure;
    for (;;) {
        const int32_t S = sumOfColumnSquares(x, N, L, P.data(), m);
        if (S > best) {
            best = S;
            for (int32_t k = 0; k < m; ++k)
                series.lpFoundPositions[k] = static_cast<int16_t>(P[k]);
        }
        // An odometer whose last digit runs fastest; a digit's limit also
        // keeps it within Tmax of the digit before, and every later digit
        // restarts at the first start the gap rule allows.
        int32_t k = m - 1;
        for (;;) {
            int32_t limit = end[k];
            if (k > 0)
                limit = std::min(limit, P[k - 1] + Tmax + 1);
            ++P[k];
            for (int32_t j = k + 1; j < m; ++j)
                P[j] = std::max(left[j], P[j - 1] + Tmin);
            if (P[k] >= limit && k > 0) {
                --k;
                continue;
            }
            break;
        }
        // ">=" rather than "==": a first interval given empty still ends.
        if (P[0] >= end[0])
            break;
    }
    return measureOfSum(best, m);
}
