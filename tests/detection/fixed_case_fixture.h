#pragma once
// Helpers for the fixed-case suites: series written sample by sample, and
// independent reference values computed the long way (64-bit, then reduced
// to 32 bits where the system wraps).

#include <cstdint>
#include <functional>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/stepwise_protocol.h"
#include "synthesis/pulse_records.h"

// A series whose observed samples are `x`, with room for `room` positions.
inline synthesis::SeriesHeader handSeries(const std::vector<int16_t>& x, uint16_t room)
{
    synthesis::SeriesHeader h;
    h.dwSeriesCapacity = h.dwSeriesSize = static_cast<uint32_t>(x.size());
    h.lpPureData = x;
    h.lpSeriesData = x;
    h.wPulsesCapacity = room;
    for (auto* a : {&h.lpPositions, &h.lpFoundPositions, &h.lpMinPositions, &h.lpMaxPositions, &h.lpEtalonSequence})
        a->assign(room, 0);
    return h;
}

inline int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

inline int64_t referenceS(const std::vector<int16_t>& x, int L, const std::vector<int>& p)
{
    int64_t S = 0;
    for (int i = 0; i < L; ++i) {
        int64_t column = 0;
        for (int pk : p)
            column += x.at(pk + i);
        S += column * column;
    }
    return S;
}

inline int64_t referenceSquares(const std::vector<int16_t>& x, int L, const std::vector<int>& p)
{
    int64_t total = 0;
    for (int pk : p)
        for (int i = 0; i < L; ++i)
            total += int64_t{x.at(pk + i)} * x.at(pk + i);
    return total;
}

// Calls visit for every combination with p_k in [lo_k, hi_k] and
// Tmin <= p_k - p_{k-1} <= Tmax, first start slowest, ascending.
inline void forEachCombination(const std::vector<int>& lo, const std::vector<int>& hi, int Tmin, int Tmax,
                               const std::function<void(const std::vector<int>&)>& visit)
{
    const size_t m = lo.size();
    std::vector<int> p(m);
    std::function<void(size_t)> place = [&](size_t k) {
        if (k == m) {
            visit(p);
            return;
        }
        for (int c = lo[k]; c <= hi[k]; ++c) {
            if (k > 0 && (c - p[k - 1] < Tmin || c - p[k - 1] > Tmax))
                continue;
            p[k] = c;
            place(k + 1);
        }
    };
    place(0);
}

inline std::vector<int> foundOf(const synthesis::SeriesHeader& h, int m)
{
    return std::vector<int>(h.lpFoundPositions.begin(), h.lpFoundPositions.begin() + m);
}

// The positions of protocol row r.
inline std::vector<int16_t> rowPositions(const detection::StepwiseProtocol& p, int r)
{
    return std::vector<int16_t>(p.lpRowPositions[r].begin(), p.lpRowPositions[r].begin() + p.lpPulses[r]);
}

// The first m positions found.
inline std::vector<int16_t> found(const synthesis::SeriesHeader& h, int m)
{
    return std::vector<int16_t>(h.lpFoundPositions.begin(), h.lpFoundPositions.begin() + m);
}
