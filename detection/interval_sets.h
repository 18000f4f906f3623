#pragma once
// Regions of a series as sets of closed intervals of sample indexes: where a
// first, an inner or a last pulse may start. A set holds a fixed number of
// intervals; an operation that would need more fails and leaves the set as
// it was.
//
// Invariants after every operation: start <= end for each interval (both ends
// belong to it); intervals sorted by start; end of one < start of the next.
// Intervals that merely touch (end + 1 == next start) are kept apart, never
// merged, so the number of intervals is part of the visible result.
//
// All comparisons are on the 16-bit unsigned values. The operations show no
// messages; a missing set (nullptr) is a failure, not a crash.

#include <cstdint>
#include <memory>
#include <vector>

namespace detection {

// A set of at most wCapacity closed intervals, kept as the invariants above say.
struct IntervalSet {
    uint16_t wCapacity = 0;          // intervals that fit; never grows in place
    uint16_t wCount = 0;             // intervals stored
    std::vector<uint16_t> lpStarts;  // wCapacity cells: first sample of each interval
    std::vector<uint16_t> lpEnds;    // wCapacity cells: last sample of each interval
};

// An interval set, held whole by its one owner.
using IntervalSetPtr = std::unique_ptr<IntervalSet>;

// Returns an empty set able to hold `capacity` intervals. The set passed in
// is re-used (keeping its larger capacity) when its capacity suffices, else
// its cells are replaced by exactly `capacity` new ones; a new record is made
// when none is given. Every cell is cleared. Returns nullptr when memory runs
// out; the record, passed in or new, is then released.
IntervalSetPtr getIntervalSet(IntervalSetPtr set, uint16_t capacity);

// Releases the set; an empty pointer is fine.
void freeIntervalSet(IntervalSetPtr& set);

// Unites [start, end] into the set: every stored interval sharing a sample
// with it is merged into one; touching ones stay apart. Returns 1; 0 without
// change when the set is missing, end < start, or a new interval would be
// needed while the set is full.
int addInterval(IntervalSet* set, uint16_t start, uint16_t end);

// Removes the samples [start, end] from the set. Returns 1; 0 without change
// when the set is missing, end < start, or an interval would have to be split
// in two while the set is full.
int removeInterval(IntervalSet* set, uint16_t start, uint16_t end);

// Keeps only the parts of the set inside [start, end]. Returns 1; 0 without
// change when the set is missing or end < start.
int clipIntervalSet(IntervalSet* set, uint16_t start, uint16_t end);

// Makes `target` (re-used through getIntervalSet with the source's capacity,
// or new) a copy of the source's capacity, count and intervals. Returns the
// target; nullptr when memory runs out (the target is then released). A
// missing source leaves the target as it was.
IntervalSetPtr copyIntervalSet(IntervalSetPtr target, const IntervalSet* source);

// addInterval for every interval of `other`, in order; single failures (a
// full set) are skipped and the loop goes on. Returns 1, or 0 when either
// set is missing. `other` may be the set itself.
int uniteIntervalSets(IntervalSet* set, const IntervalSet* other);

// removeInterval for every interval of `other`, in order; single failures (a
// split in a full set) are skipped and the loop goes on. Returns 1, or 0 when
// either set is missing. `other` may be the set itself.
int subtractIntervalSets(IntervalSet* set, const IntervalSet* other);

// Replaces the set by its intersection with `other`: for each interval of
// `other` in order, the parts of the old set inside it are appended; parts
// beyond the capacity are dropped. Returns 1, or 0 when either set is missing
// or memory runs out (the set is then unchanged). `other` may be the set
// itself.
int intersectIntervalSets(IntervalSet* set, const IntervalSet* other);

}  // namespace detection
