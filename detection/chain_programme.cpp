#include "detection/chain_programme.h"

#include <algorithm>
#include <new>

#include "detection/fixed_case_criteria.h"

StartRegions buildStartRegions(const SeriesHeader& series, uint32_t seriesSize, uint16_t Tmin, uint16_t Tmax)
{
    StartRegions r;
    const uint16_t mMax = series.wMaxPulses;
    const int mMin = std::max<int>(series.wMinPulses, 1);
    IntervalSetPtr& first = r.sets[omegaFirst];
    IntervalSetPtr& later = r.sets[omegaLater];
    IntervalSetPtr& last = r.sets[omegaLast];
    first = getIntervalSet(nullptr, mMax);
    later = getIntervalSet(nullptr, mMax);
    last = getIntervalSet(nullptr, mMax);

    // The clamp keeps every window inside the series whatever intervals the
    // caller passes.
    const uint16_t L = series.wImpulseSize;
    const int32_t lastStart = static_cast<int32_t>(std::min<int64_t>(int64_t{seriesSize} - L, 65535));
    auto add = [&](IntervalSet* set, int k, int n) {
        const AdmissibleRange range = admissibleRange(static_cast<uint16_t>(k), static_cast<uint16_t>(n),
                                                      seriesSize, L, Tmin, Tmax);
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

    r.sets[omegaAny] = copyIntervalSet(nullptr, first.get());
    uniteIntervalSets(r.sets[omegaAny].get(), later.get());
    r.sets[omegaFirstOnly] = copyIntervalSet(nullptr, first.get());
    subtractIntervalSets(r.sets[omegaFirstOnly].get(), later.get());
    r.sets[omegaFirstAndLater] = copyIntervalSet(nullptr, first.get());
    intersectIntervalSets(r.sets[omegaFirstAndLater].get(), later.get());
    r.sets[omegaLaterOnly] = copyIntervalSet(nullptr, later.get());
    subtractIntervalSets(r.sets[omegaLaterOnly].get(), first.get());
    return r;
}

bool allocateChainTables(ChainTables& t, uint32_t N)
{
    try {
        t.E.assign(N, noChainValue);
        t.D.assign(N, noChainValue);
        t.B.assign(N, static_cast<int32_t>(N + 1));
        t.window.assign(N, 0);
    } catch (const std::bad_alloc&) {
        t.E.clear();
        t.D.clear();
        t.B.clear();
        t.E.shrink_to_fit();
        t.D.shrink_to_fit();
        t.B.shrink_to_fit();
        t.window.clear();
        t.window.shrink_to_fit();
        return false;
    }
    t.N = N;
    return true;
}

void runChainProgramme(const StartRegions& regions, ChainTables& t, uint16_t Tmin, uint16_t Tmax)
{
    std::fill(t.D.begin(), t.D.end(), noChainValue);
    std::fill(t.B.begin(), t.B.end(), static_cast<int32_t>(t.N + 1));

    forEachStart(regions.sets[omegaFirstOnly].get(), [&](int32_t p) {
        t.D[p] = t.E[p];
        t.B[p] = -1;
    });
    // Starts that may follow a pulse: the chain either starts here or extends
    // the best positive chain ending Tmin..Tmax before, the lowest such
    // start on ties.
    auto link = [&](int32_t p, int32_t best, int32_t from) {
        if (best <= 0) {
            best = 0;
            from = -2;
        }
        t.D[p] = wrapAdd(best, t.E[p]);
        t.B[p] = from;
    };
    auto scanLink = [&](int32_t p) {
        int32_t best = 0, from = -2;
        for (int32_t q = std::max<int32_t>(p - Tmax, 0); q <= p - Tmin; ++q) {
            if (t.D[q] > best) {
                best = t.D[q];
                from = q;
            }
        }
        link(p, best, from);
    };
    // Within one increasing sweep the predecessors of p lie before p and are
    // not written again, so a sliding window of candidates (values strictly
    // falling, the earliest of equals kept) gives the same choice as the
    // scan at two look-ups per start. With Tmin = 0 a start is its own
    // predecessor and changes while it is in the window: that case scans.
    auto sweep = [&](const IntervalSet* set) {
        if (Tmin == 0) {
            forEachStart(set, scanLink);
            return;
        }
        std::vector<int32_t>& window = t.window;
        size_t head = 0, tail = 0;
        int32_t next = 0;
        forEachStart(set, [&](int32_t p) {
            const int32_t lo = std::max<int32_t>(p - Tmax, 0), hi = p - Tmin;
            next = std::max(next, lo);
            for (; next <= hi; ++next) {
                while (tail > head && t.D[window[tail - 1]] < t.D[next])
                    --tail;
                window[tail++] = next;
            }
            while (head < tail && window[head] < lo)
                ++head;
            if (head < tail)
                link(p, t.D[window[head]], window[head]);
            else
                link(p, 0, -2);
        });
    };
    sweep(regions.sets[omegaFirstAndLater].get());
    sweep(regions.sets[omegaLaterOnly].get());
}

int32_t followBestChain(const StartRegions& regions, const ChainTables& t, size_t maxCount,
                        std::vector<int32_t>& positions)
{
    positions.clear();
    int32_t best = 0, end = -1;
    forEachStart(regions.sets[omegaLast].get(), [&](int32_t p) {
        if (t.D[p] > best) {
            best = t.D[p];
            end = p;
        }
    });
    // Predecessors lie strictly before their successor; the bound keeps a
    // degenerate gap rule (Tmin = 0) from following a start to itself.
    for (int32_t p = end; p >= 0 && p < static_cast<int32_t>(t.N);) {
        positions.push_back(p);
        const int32_t next = t.B[p];
        if (next >= p)
            break;
        p = next;
    }
    std::reverse(positions.begin(), positions.end());
    if (positions.size() > maxCount)
        positions.resize(maxCount);
    return best;
}
