#pragma once
// The chain programme of unknown-count detection over plain spans: window
// scores in, best chain totals and predecessors out. No series record, no
// interval-set record, no 16-bit field, no length cap: positions are 32-bit
// indexes of the scored starts, a table holds up to INT32_MAX cells.
//
// The score type is a template parameter, as for the energy programme:
// - int32_t: the system's own figures. Totals wrap at 32 bits (two's
//   complement) and an empty cell is -999, exactly as the detection records
//   show them;
// - int64_t and double: the user-data path. No wrapping; an empty cell is the
//   lowest value of the type, so that a chain whose total is negative still
//   reads as a real value. A NaN total is never greater than anything, so it
//   is never a predecessor nor the end of the best chain.

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "detection/energy_programme.h"

namespace detection {

// The closed interval lo..hi of starts; empty when lo > hi.
struct StartInterval {
    int32_t lo = 0;
    int32_t hi = -1;
    friend bool operator==(const StartInterval&, const StartInterval&) = default;
};
using StartIntervals = std::vector<StartInterval>;

// The four start lists the chain programme reads. Each list is in increasing
// order, its intervals non-empty and apart (the end of one below the start of
// the next; touching ones may stay apart). The lists may share starts: a
// start is then handled once per list, in the order of the fields.
struct ChainRegions {
    std::span<const StartInterval> firstOnly;      // Omega[-]\[~]: only a first pulse starts here
    std::span<const StartInterval> firstAndLater;  // Omega[-]X[~]: a first or a later pulse
    std::span<const StartInterval> laterOnly;      // Omega[~]\[-]: only a later pulse
    std::span<const StartInterval> last;           // Omega[+]: where the last pulse may start
};

// Where the pulses of any count mFrom..mTo may start, with the derived sets.
// A set is a list of intervals in increasing order; intervals that share a
// start are merged, intervals that merely touch are kept apart, as the
// interval-set records keep them.
struct StartRegionLists {
    StartIntervals first;          // Omega[-]: the first pulse of some count
    StartIntervals later;          // Omega[~]: any pulse after the first of some count
    StartIntervals last;           // Omega[+]: the last pulse of some count
    StartIntervals any;            // Omega: first united with later
    StartIntervals firstOnly;      // first less later
    StartIntervals firstAndLater;  // first intersected with later
    StartIntervals laterOnly;      // later less first
    ChainRegions chainRegions() const { return {firstOnly, firstAndLater, laterOnly, last}; }
};

// The start regions of a series laid out as `layout` for the counts
// max(mFrom, 1)..mTo: pulse k of count m may start anywhere in
// admissibleStarts(k, m, layout), kept inside 0..N-L. Built from the shape of
// the admissible ranges (for a fixed pulse the ranges of the counts slide by
// Tmax at the low end and Tmin at the high end), not range by range: the cost
// grows with the counts and the intervals produced, not with their product.
// Throws std::invalid_argument for a negative L, Tmin or Tmax, or when the
// starts 0..N-L do not fit 32-bit positions; std::bad_alloc.
StartRegionLists startRegionLists(const PulseLayout& layout, int32_t mFrom, int32_t mTo);

// The intervals startRegionLists makes before it merges them: the pieces of
// the first pulses' region and those of the later pulses'. Every list it
// returns holds no more than their sum. Costs O(mTo) time and no memory.
struct StartRegionPieces {
    uint64_t first = 0;
    uint64_t later = 0;
};
StartRegionPieces startRegionPieces(const PulseLayout& layout, int32_t mFrom, int32_t mTo);

// Cells of D that hold no chain total.
template <class Score>
inline constexpr Score chainEmptyCell = std::numeric_limits<Score>::lowest();
template <>
inline constexpr int32_t chainEmptyCell<int32_t> = -999;

// What B holds besides a predecessor.
constexpr int32_t kFirstPulseOnly = -1;  // the start takes its own score and nothing before it
constexpr int32_t kChainBegins = -2;     // no positive chain before it: a chain begins here
constexpr int32_t kNoStart = -3;         // the cell is in no start list

// The chain programme. E holds the score of every start; D and B, of the same
// size, are overwritten: D with chainEmptyCell and B with kNoStart, then
// - every start of firstOnly takes its own score (B = kFirstPulseOnly);
// - every start of firstAndLater, then of laterOnly, each list in increasing
//   order, takes its score plus the greatest D above 0 among the cells
//   p-Tmax..p-Tmin (from 0 on) as they stand when p is reached, the lowest
//   such cell on ties (B = that cell), or its score alone when no D there is
//   above 0 (B = kChainBegins).
// Each start costs O(1) on average whatever the gap: a sliding window of
// candidates keeps the best one. Tmin = 0 makes a start its own candidate
// (it holds a total only when an earlier list wrote one); Tmin > Tmax leaves
// none. A meter counts a unit per start linked; when it says stop, D and B
// are left half-written. Throws std::invalid_argument when the sizes differ,
// exceed INT32_MAX, a gap is negative or a list is out of order or off the
// table; std::bad_alloc.
template <class Score>
void runChainProgramme(std::span<const Score> E, const ChainRegions& regions, int32_t Tmin, int32_t Tmax,
                       std::span<Score> D, std::span<int32_t> B, WorkMeter* meter = nullptr);

// The best chain after runChainProgramme: its end is the lowest start of
// regions.last with the greatest D above 0; walking B back from it gives the
// chain's starts, stored in increasing order into `positions`. The walk stops
// at a B that is no earlier cell, so it ends whatever B holds. Returns that
// D, or 0 with no positions when no D of the last list is above 0. Throws
// std::invalid_argument when D and B differ in size or the last list is out
// of order or off the table; std::bad_alloc.
template <class Score>
Score followBestChain(const ChainRegions& regions, std::span<const Score> D, std::span<const int32_t> B,
                      std::vector<int32_t>& positions);

}  // namespace detection
