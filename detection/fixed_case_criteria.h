#pragma once
// Fixed-case criteria: a series holds m pulses of one common, unknown shape of
// L samples whose starts p_0 < ... < p_{m-1} lie Tmin..Tmax samples apart.
// A set of starts is judged by its `measure` (with its companion `squares`);
// three estimators choose starts that maximise it, working in place on a
// SeriesHeader: they read the observed samples (lpSeriesData, first
// dwSeriesSize of them) and write the estimated positions (lpFoundPositions).
//
// Units: samples and positions are sample values and 0-based sample indexes.
// Arithmetic: every sum and product is 32-bit and wraps as two's complement
// (computed without signed overflow); divisions truncate toward zero.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "detection/energy_programme.h"
#include "detection/progress.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// Failure result of the estimators and the mark of an empty table cell. An
// estimator that fails returns it and leaves the series as it was, after a
// message on `sink`: "Нет памяти для ...!" (no caption) when work memory
// cannot be had, or "Несовместимые входные параметры!\n\n" and the text of
// fixedCaseProblem (caption the estimator's name between blanks, e.g.
// " estimateByEnergies ") when the arguments do not fit the series.
constexpr int32_t kEstimateFailure = -999999;

// The starts lo..hi (both included) one pulse may take; empty when lo > hi.
struct AdmissibleRange {
    int32_t lo = 0;
    int32_t hi = -1;
    bool empty() const { return lo > hi; }
};

// S = sum over i < L of (sum over the given starts p of x[p + i])^2.
// criterionSum, measure and squares read samples outside 0..dwSeriesSize-1
// as 0, so they may be given any starts (a position of -1 left by synthesis
// too).
int32_t criterionSum(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions);
// (m + 2S) / (2m), signed: S per pulse rounded half up; 0 when m is 0.
int32_t measureOfSum(int32_t S, uint16_t m);
// measureOfSum(criterionSum(...), number of positions); 0 for no positions.
int32_t measure(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions);
// The sum over the starts p of the window energy sum_{i<L} x[p + i]^2.
int32_t squares(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions);

// The starts pulse k (0-based) of m may take in a series of N samples:
// lo = max(Tmin*k, N - Tmax*(m-k)), hi = min(Tmax*(k+1) - L, N - L - Tmin*(m-1-k)),
// the same bounds series synthesis draws from; empty when lo > hi.
AdmissibleRange admissibleRange(uint16_t k, uint16_t m, uint32_t N, uint16_t L, uint16_t Tmin, uint16_t Tmax);
// Why the estimators cannot work on this series with these arguments (the
// text that follows "Несовместимые входные параметры!\n\n" in their
// refusal), or "" when they can: m must be at least 1 and no greater than the
// series' room for positions, and every admissible range non-empty.
std::string fixedCaseProblem(const synthesis::SeriesHeader& series, uint16_t Tmin, uint16_t Tmax, uint16_t L,
                             uint16_t m);

// The exact dynamic programme maximising `squares` under the gap rule
// Tmin <= p_k - p_{k-1} <= Tmax with every p_k in its admissible range; on
// ties the lowest last start wins, then, walking back, the lowest start of
// each earlier pulse. Writes p_0..p_{m-1} to lpFoundPositions, sets
// wFoundPulses = m and returns their `measure`; kEstimateFailure as above.
int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series);
// The observed samples the estimators read (never more than the record
// holds), and the layout of pulses of L samples Tmin..Tmax apart on them.
std::span<const int16_t> seriesSamples(const synthesis::SeriesHeader& series);
PulseLayout seriesLayout(const synthesis::SeriesHeader& series, uint16_t Tmin, uint16_t Tmax, uint16_t L);

// The energy programme of one series for every count mFrom..mTo, filled once
// for the callers that estimate many counts of the same series (the
// sequential method, the pulse-count ranking). nullptr when its memory
// cannot be had; the callers then estimate count by count.
using SeriesProgramme = EnergyProgramme<int32_t>;
std::unique_ptr<SeriesProgramme> shareEnergyProgramme(const synthesis::SeriesHeader& series, uint16_t Tmin,
                                                      uint16_t Tmax, uint16_t L, uint16_t mFrom, uint16_t mTo);
// estimateByEnergies reading count m from `shared` (made for this series and
// these Tmin, Tmax and L) when it holds m; the same checks, messages and
// results.
int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, const SeriesProgramme* shared);
// One forward pass (a pulse moves only on a strict gain of S) and one
// backward pass (a pulse moves on a tie too, to the highest tying start) from
// the first m found positions; keeps the backward result only when it beats
// the forward one. Overwrites those positions (wFoundPulses is left alone)
// and returns the `measure` of the result; kEstimateFailure as above.
int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series);
// improvePositions remembering the criteria of its scans in `memo` for the
// next pass of a loop over the same series and count; the same checks,
// messages and results.
int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series, ImprovementMemo<int32_t>* memo);
// The exhaustive search over every combination inside the series' a-priori
// intervals lpMinPositions..lpMaxPositions under the gap rule; the first
// combination in enumeration order (last pulse fastest) wins ties. Writes the
// best combination to lpFoundPositions (wFoundPulses is left alone) and
// returns its `measure`; kEstimateFailure as above. Its cost grows as the
// product of the interval widths in the worst case: callers keep it to a
// handful of pulses. The positions found so far (first m of
// lpFoundPositions), when they lie in the intervals and keep the gap rule,
// make it faster, never different. `progress` (optional) hears of the work
// done now and then; when it answers false the search stops, leaves the
// series as it was, shows "The exhaustive search was cancelled; the
// positions are left as they were." (caption " searchInIntervals ") and
// returns kEstimateFailure.
int32_t searchInIntervals(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                          synthesis::SeriesHeader& series, const ProgressCallback& progress = {});

}  // namespace detection
