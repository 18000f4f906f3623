#pragma once
// The pieces shared by unfixed-case detection and series processing: the
// start regions of a series and the chain programme over them. The chain
// programme itself is the span core of detection/chain_core.h; the functions
// here read and write the series' work tables and interval-set records.

#include <array>
#include <cstdint>
#include <vector>

#include "detection/interval_sets.h"
#include "synthesis/pulse_records.h"

namespace detection {

// The seven start regions, in the order of StartRegions and of the
// DetectionStudy's arrays.
enum OmegaSet : int {
    omegaFirst = 0,          // Omega[-]: first pulse
    omegaLater = 1,          // Omega[~]: any pulse after the first
    omegaLast = 2,           // Omega[+]: last pulse
    omegaAny = 3,            // Omega = Omega[-] united with Omega[~]
    omegaFirstOnly = 4,      // Omega[-]\[~]
    omegaFirstAndLater = 5,  // Omega[-]X[~]
    omegaLaterOnly = 6,      // Omega[~]\[-]
};
constexpr int omegaSetCount = 7;

// Cells of the chain programme's tables that hold no value.
constexpr int32_t noChainValue = -999;

// The seven start regions, indexed by OmegaSet. A missing set (nullptr)
// counts as holding no start; buildStartRegions always makes all seven.
struct StartRegions {
    std::array<IntervalSetPtr, omegaSetCount> sets;
};

// Omega[-], Omega[~] and Omega[+] from the admissible start ranges of every
// pulse count max(1, wMinPulses)..wMaxPulses, each with room for wMaxPulses
// intervals (what does not fit is dropped), and the four sets derived from
// them, for a series of N samples. Ranges are kept inside 0..N-L so that
// every window lies in the series. Throws std::bad_alloc when a set cannot
// be had (the callers end with their work-memory message).
StartRegions buildStartRegions(const synthesis::SeriesHeader& series, uint32_t N, uint16_t Tmin, uint16_t Tmax);

// Calls f(p) for every start of the set in increasing order.
template <class F>
void forEachStart(const IntervalSet* set, F&& f)
{
    if (!set)
        return;
    for (int k = 0; k < set->wCount; ++k)
        for (int32_t p = set->lpStarts[k]; p <= set->lpEnds[k]; ++p)
            f(p);
}

// The work tables of one series of N samples: E (window energy per start,
// -999 outside Omega), D (best chain total ending at a start, -999 where
// none) and B (predecessor in that chain: -1 where the start can only be a
// first pulse, -2 where the chain starts there, N + 1 where unset).
struct ChainTables {
    uint32_t N = 0;                // cells of each table, set by allocateChainTables
    std::vector<int32_t> E, D, B;  // N cells each, as above
};

// Sizes the three tables for N samples with E and D at -999 and B at N + 1;
// false when memory runs out.
bool allocateChainTables(ChainTables& t, uint32_t N);

// Resets D and B, then links every start of Omega into its best chain with
// predecessors Tmin..Tmax before it: first every start of Omega[-]\[~] (it
// takes its own energy), then in increasing order every start of
// Omega[-]X[~], then of Omega[~]\[-]; each of these takes its energy plus
// the greatest positive D among its predecessors, the lowest one on ties.
// Totals wrap at 32 bits. Starts beyond the tables are left out.
void runChainProgramme(const StartRegions& regions, ChainTables& t, uint16_t Tmin, uint16_t Tmax);

// The end of the best chain: the lowest start of Omega[+] with the greatest
// D above 0. Fills `positions` with the chain's starts in increasing order
// (empty when no D is above 0, or when maxCount is 0) and returns that D, 0
// when none. A chain longer than maxCount keeps its first maxCount starts.
int32_t followBestChain(const StartRegions& regions, const ChainTables& t, size_t maxCount,
                        std::vector<int32_t>& positions);

}  // namespace detection
