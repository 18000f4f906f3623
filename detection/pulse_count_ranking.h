#pragma once
// Blind detection on a series with an unknown number of pulses: the energy
// programme is fitted for every admissible pulse count and the best fits,
// ranked by the energy they capture (`squares`), become protocol rows; then
// the threshold detection chooses count and positions by itself and is
// recorded beside them.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// Per pulse count, what the energy programme captured and what it left to
// the noise. Row r belongs to the count wMinCount + r. The arrays hold
// wCapacity cells each.
struct PulseCountTable {
    uint16_t wCapacity = 0;                 // rows allocated
    uint16_t wRows = 0;                     // rows in use
    uint16_t wConfiguredCount = 0;          // the pulse count of the settings when the table was got
    uint16_t wMinCount = 0;                 // pulse count of row 0
    uint16_t wMaxCount = 0;                 // last pulse count
    std::vector<int32_t> lpPulseCounts;     // per row: the pulse count n
    std::vector<int32_t> lpSquares;         // per row: `squares` of the programme's n positions
    std::vector<int32_t> lpNoisePerWindow;  // per row: energy outside those pulses per pulse length
};

// The count table, held whole by its one owner.
using PulseCountTablePtr = std::unique_ptr<PulseCountTable>;

// Most ranked candidates a protocol holds.
constexpr uint16_t maxRankedCandidates = 5;

// Returns a cleared table of wRows = maximum - minimum + 1 rows (maximum + 1
// when maximum < minimum) holding the three counts. The table passed in is
// re-used when its capacity is at least that, else replaced by one of
// exactly that capacity. Returns nullptr, without a message, when memory runs
// out (the table passed in is then released).
PulseCountTablePtr getPulseCountTable(uint16_t configuredCount, uint16_t minimum, uint16_t maximum,
                                      PulseCountTablePtr table);

// Releases the table; an empty pointer is fine.
void freePulseCountTable(PulseCountTablePtr& table);

// Fits estimateByEnergies for every count max(1, wMinPulses)..wMaxPulses of
// the series and ranks the fits by `squares` (an equal one goes below) into
// at most min(5, wRows - 2) protocol rows of code 5, after a code-1 row of
// the true positions; when the true count is not among them its fit replaces
// the lowest-ranked row. In these rows the measure holds the squares too.
// wUsed ends at the code-1 row plus the ranked rows. With a table, row
// n - wMinCount gets n, the squares and the noise per window of count n.
// With traceFlag the steps are shown under the caption "Sequential method".
//
// The series is left with the top-ranked row's count and positions, whose
// squares are returned; without any ranked row (a protocol of two rows or
// fewer, or none) it keeps the last fit. Returns -1 after "Нет памяти для
// measure!" (no caption) when the work memory cannot be had.
int32_t rankPulseCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                        StepwiseProtocol* protocol, PulseCountTable* table, synthesis::SeriesHeader& series);

// rankPulseCounts, then study01_UnFixedPulseDetection (which shows its
// trace), then, while the protocol has room, a row of code 6 with the
// detected count and positions and, as measure and squares, the summed window
// energy S of the detected positions. Returns S, also when no row was
// appended.
int32_t runUnfixedDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                            std::span<int32_t> chainOut, StepwiseProtocol* protocol, PulseCountTable* table,
                            DetectionStudy* study, synthesis::SeriesHeader& series);

}  // namespace detection
