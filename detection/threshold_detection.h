#pragma once
// Detection of an unknown number of pulses by a threshold, over plain spans:
// every admissible start gets the energy of its window, reduced by a
// detection threshold T, and the chain programme links starts Tmin..Tmax
// apart into the chain of greatest total; its length is the detected count,
// its links the positions. Some methods run three passes, each taking T from
// what the pass before left outside its detections.
//
// Types as in energy_programme.h and chain_core.h:
// - Sample int16_t, Score int32_t: the system's own figures. Energies and
//   chain totals wrap at 32 bits, thresholds and averages are formed wide and
//   held to the 32-bit range, an empty cell is -999 and takes part in the
//   reduction like any energy, exactly as the detection records show them;
// - Sample int64_t, Score int64_t: the user-data path. No wrapping; an empty
//   cell is the lowest value and stays so; thresholds and averages are held
//   to the 64-bit range. A series whose energies, or chain totals, would
//   leave 64 bits is refused with std::overflow_error.
// The functions below are made for these two pairs only.

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "detection/chain_core.h"
#include "detection/energy_programme.h"
#include "detection/task_codes.h"

namespace detection {

// What one pass did and found. "Rounded" is (d + 2 s) / (2 d), s / d rounded
// half up, formed wide and held to the score's range.
template <class Score>
struct ThresholdPass {
    Score threshold{};                    // T the energies were reduced by (method 6: cut at)
    std::vector<int32_t> positions;       // the detected starts, increasing
    std::vector<Score> energies;          // window energy of each, by the method's rule
    std::vector<Score> observedEnergies;  // window energy of each, of the observed samples
    Score chainTotal{};                   // the best chain's total of reduced energies; 0 for none
    Score detected{};                     // the sum of `energies`
    Score outside{};                      // F - detected; below 0 when detected windows overlap
    int64_t pOut = 0;                     // max(1, N - n L), n the detected count
    Score noisePerPoint{};                // outside / pOut, rounded
    Score noiseThreshold{};               // L outside / pOut, rounded; sigma^2 L when one pass runs
    Score meanWindow{};                   // L F / N, rounded; 0 for N = 0
    Score meanDetected{};                 // detected / n, rounded; 0 for none
    Score fullPerPulse{};                 // F / n, rounded; 0 for none
    Score nextThreshold{};                // T the method takes from this pass
    // The additive model, first pass only: the starts 1..N-L whose windows
    // overlap no detected window, and their summed energy by the method's
    // rule (for the 32-bit figures the table's value, -999 off Omega, summed
    // with wrapping; for the 64-bit ones held to the 64-bit range).
    bool hasRelict = false;
    Score relict{};
    int64_t relictCount = 0;  // at least 1
    Score relictMean{};       // relict / relictCount, rounded
};

// A whole threshold detection: the start regions it ran over, the method,
// where T came from, the series' figures, every pass and the tables of the
// last one.
template <class Score>
struct ThresholdDetection {
    StartRegionLists regions;
    int32_t method = 0;
    bool fromNoiseLevel = false;               // T came from sigma (methods 1 and 6)
    Score full{};                              // F: the energy of the whole series by the method's rule
    Score expectedNoise{};                     // sigma^2 L, held to the score's range
    std::vector<ThresholdPass<Score>> passes;  // 1 or 3, in order
    // N cells each: the window energy by the method's rule at every start of
    // regions.any (empty cell elsewhere); the same as the last pass reduced
    // it; the chain totals D of the last pass (empty cell where none).
    std::vector<Score> windowEnergies;
    std::vector<Score> reducedEnergies;
    std::vector<Score> chainTotals;

    const ThresholdPass<Score>& last() const { return passes.back(); }
};

// Threshold detection of the samples x (N = layout.N of them) laid out as
// `layout`, the pulse count anywhere in mFrom..mTo (mFrom raised to 1): the
// start regions are startRegionLists(layout, mFrom, mTo). `pure` holds the
// noise-free samples, read only by the additive model (then N of them); sigma
// is the noise level. Throws std::invalid_argument for a method outside 0..6,
// sizes that do not match, the additive model without noise-free samples, a
// negative sigma or one whose square leaves 64 bits, and what
// startRegionLists and the chain programme refuse; std::overflow_error as
// above; std::bad_alloc. A meter counts a unit per cell of the energies and
// of every pass; when it says stop the detection returns at once, to be
// thrown away.
template <class Sample, class Score>
ThresholdDetection<Score> detectByThreshold(std::span<const Sample> x, std::span<const Sample> pure,
                                            const PulseLayout& layout, int32_t mFrom, int32_t mTo, int32_t method,
                                            int64_t sigma, WorkMeter* meter = nullptr);

// The same over start regions the caller built (each list in increasing
// order, intervals apart; starts past N - L are left out), keeping the first
// `keep` starts of every pass's chain: the figures of a pass, and so the next
// T, are those of the kept starts, as a record with room for `keep`
// positions holds them.
template <class Sample, class Score>
ThresholdDetection<Score> detectByThreshold(std::span<const Sample> x, std::span<const Sample> pure,
                                            const PulseLayout& layout, StartRegionLists regions, int32_t method,
                                            int64_t sigma, size_t keep);

// The chain programme without threshold (T = 0, one pass, observed
// energies): the chain of greatest total over the regions, its first `keep`
// starts, and that total (0 with no positions when no total is above 0).
template <class Score>
struct ChainDetection {
    std::vector<int32_t> positions;
    Score total{};
};
template <class Sample, class Score>
ChainDetection<Score> detectBestChain(std::span<const Sample> x, const PulseLayout& layout,
                                      const StartRegionLists& regions,
                                      size_t keep = std::numeric_limits<size_t>::max());

}  // namespace detection
