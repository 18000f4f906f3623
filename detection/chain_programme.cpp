#include "detection/chain_programme.h"

#include <algorithm>
#include <new>

#include "detection/chain_core.h"
#include "detection/fixed_case_criteria.h"

namespace detection {

StartRegions buildStartRegions(const synthesis::SeriesHeader& series, uint32_t seriesSize, uint16_t Tmin, uint16_t Tmax)
{
    StartRegions r;
    const uint16_t mMax = series.wMaxPulses;
    const int mMin = std::max<int>(series.wMinPulses, 1);
    IntervalSetPtr& first = r.sets[omegaFirst];
    IntervalSetPtr& later = r.sets[omegaLater];
    IntervalSetPtr& last = r.sets[omegaLast];
    // A region that cannot be had would count as holding no start and change
    // the detection: the shortage goes to the caller instead.
    auto had = [](IntervalSetPtr set) {
        if (!set)
            throw std::bad_alloc();
        return set;
    };
    first = had(getIntervalSet(nullptr, mMax));
    later = had(getIntervalSet(nullptr, mMax));
    last = had(getIntervalSet(nullptr, mMax));

    // The clamp keeps every window inside the series whatever intervals the
    // caller passes.
    const uint16_t L = series.wImpulseSize;
    const int32_t lastStart = static_cast<int32_t>(std::min<int64_t>(int64_t{seriesSize} - L, 65535));
    auto add = [&](IntervalSet* set, int k, int n) {
        const AdmissibleRange range =
            admissibleRange(static_cast<uint16_t>(k), static_cast<uint16_t>(n), seriesSize, L, Tmin, Tmax);
        const int32_t lo = std::max(range.lo, 0), hi = std::min(range.hi, lastStart);
        if (lo <= hi)
            addInterval(set, static_cast<uint16_t>(lo), static_cast<uint16_t>(hi));
    };
    for (int n = mMin; n <= mMax; ++n) {
        add(first.get(), 0, n);
        for (int k = 1; k < n; ++k)
            add(later.get(), k, n);
        add(last.get(), n - 1, n);
    }

    r.sets[omegaAny] = had(copyIntervalSet(nullptr, first.get()));
    uniteIntervalSets(r.sets[omegaAny].get(), later.get());
    r.sets[omegaFirstOnly] = had(copyIntervalSet(nullptr, first.get()));
    subtractIntervalSets(r.sets[omegaFirstOnly].get(), later.get());
    r.sets[omegaFirstAndLater] = had(copyIntervalSet(nullptr, first.get()));
    if (!intersectIntervalSets(r.sets[omegaFirstAndLater].get(), later.get()))
        throw std::bad_alloc();
    r.sets[omegaLaterOnly] = had(copyIntervalSet(nullptr, later.get()));
    subtractIntervalSets(r.sets[omegaLaterOnly].get(), first.get());
    return r;
}

bool allocateChainTables(ChainTables& t, uint32_t N)
{
    try {
        t.E.assign(N, noChainValue);
        t.D.assign(N, noChainValue);
        t.B.assign(N, static_cast<int32_t>(N + 1));
    } catch (const std::bad_alloc&) {
        t.E.clear();
        t.D.clear();
        t.B.clear();
        t.E.shrink_to_fit();
        t.D.shrink_to_fit();
        t.B.shrink_to_fit();
        return false;
    }
    t.N = N;
    return true;
}

namespace {

static_assert(chainEmptyCell<int32_t> == noChainValue);

// The intervals of a set as the core reads them, kept inside the tables.
// buildStartRegions keeps every start at or below N - L, so the cut only
// matters for a pulse length of 0, whose last start would be the cell after
// the tables.
StartIntervals intervalsOf(const IntervalSet* set, size_t cells)
{
    StartIntervals list;
    if (!set)
        return list;
    list.reserve(set->wCount);
    for (int k = 0; k < set->wCount; ++k) {
        const int32_t lo = set->lpStarts[k];
        const int32_t hi = static_cast<int32_t>(std::min<int64_t>(set->lpEnds[k], static_cast<int64_t>(cells) - 1));
        if (lo <= hi)
            list.push_back({lo, hi});
    }
    return list;
}

}  // namespace

void runChainProgramme(const StartRegions& regions, ChainTables& t, uint16_t Tmin, uint16_t Tmax)
{
    const size_t cells = t.E.size();
    const StartIntervals firstOnly = intervalsOf(regions.sets[omegaFirstOnly].get(), cells);
    const StartIntervals firstAndLater = intervalsOf(regions.sets[omegaFirstAndLater].get(), cells);
    const StartIntervals laterOnly = intervalsOf(regions.sets[omegaLaterOnly].get(), cells);
    runChainProgramme<int32_t>(t.E, {firstOnly, firstAndLater, laterOnly, {}}, Tmin, Tmax, t.D, t.B);
    // The records mark the cells that are no start with N + 1.
    std::replace(t.B.begin(), t.B.end(), kNoStart, static_cast<int32_t>(t.N + 1));
}

int32_t followBestChain(const StartRegions& regions, const ChainTables& t, size_t maxCount,
                        std::vector<int32_t>& positions)
{
    const StartIntervals last = intervalsOf(regions.sets[omegaLast].get(), t.D.size());
    const int32_t best = followBestChain<int32_t>({.last = last}, t.D, t.B, positions);
    if (positions.size() > maxCount)
        positions.resize(maxCount);
    return best;
}

}  // namespace detection
