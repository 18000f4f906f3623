#pragma once
// Choosing the number of pulses over plain spans: every admissible count is
// fitted from one shared table of the energy programme, then either improved
// and chosen by the best measure (the sequential method) or ranked by the
// energy its pulses capture (the pulse-count ranking). The series-record
// functions sequentialMethod and rankPulseCounts word these results as
// protocol rows and traces.
//
// Score types as in energy_programme.h: int32_t wraps at 32 bits exactly as
// the system's records; int64_t and double are the user-data path.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "detection/energy_programme.h"

namespace detection {

// Most improvement passes that change the measure in one loop.
constexpr int32_t kMostImprovementPasses = 100;

// S per pulse: (m + 2S) / (2m) for the integer scores (S per pulse rounded
// half up; 32-bit wrapping for int32_t), S / m for double; 0 when m is 0.
template <class Score>
Score measureOf(Score S, int64_t m);

// The summed window energy of the given starts; samples off the series count
// as 0, so any starts may be given.
template <class Sample, class Score>
Score windowSquares(std::span<const Sample> x, int32_t L, std::span<const int32_t> starts);

// Improvement passes from `starts` until the measure one returns equals the
// one before it (`startMeasure` before the first) or kMostImprovementPasses
// passes have changed it; `passes` receives how many changed it. Returns the
// last measure. The passes share one memo of improvementMemoBudget cells. A
// meter counts their work; when it says stop they return at once and
// `starts` holds the last whole pass (to be thrown away). Throws
// std::bad_alloc.
template <class Sample, class Score>
Score improveUntilSettled(std::span<const Sample> x, const PulseLayout& layout, std::span<int32_t> starts,
                          Score startMeasure, int32_t& passes, WorkMeter* meter = nullptr);

// What one pulse count gives: the programme's chain and that chain improved,
// with their measures and squares.
template <class Score>
struct CountFit {
    int32_t count = 0;
    std::vector<int32_t> programme;
    Score programmeMeasure{};
    Score programmeSquares{};
    std::vector<int32_t> improved;
    Score improvedMeasure{};
    Score improvedSquares{};
    int32_t passes = 0;
};

// Count m (held by `programme`, made for these samples and layout): its
// chain, then improvement until settled. Throws std::bad_alloc.
template <class Sample, class Score>
CountFit<Score> fitCount(std::span<const Sample> x, const PulseLayout& layout, const EnergyProgramme<Score>& programme,
                         int32_t m);

// The sequential choice: fits considered in increasing count; the best by
// programme measure and the best by improved measure are kept, the smaller
// count on ties (strict comparisons). A fit must beat the starting value,
// -1 for the system's 32-bit measures and the lowest value otherwise; until
// one does, the entry is a fit of count 0 with no positions.
template <class Score>
struct CountChoice {
    CountFit<Score> byProgramme;
    CountFit<Score> byImprovement;
    Score bestProgramme;
    Score bestImproved;
    Score lastImproved{};  // the improved measure of the last count considered

    CountChoice();
    void consider(const CountFit<Score>& fit);
};

// Fits every count mFrom..mTo (mFrom raised to 1) and chooses; `visit`, when
// given, sees every fit in order. The layout must admit every count of the
// range (each admissible range non-empty). The programme's table is let go
// once the chains are read. A meter counts the work of the programme, the
// chains and every fit; when it says stop the choice returns at once, its
// fits and the visits so far to be thrown away. With `threads` above 1 the
// fits (each count's improvement, independent of the others) run on that
// many threads a few counts at a time, and are visited and considered in
// count order: the choice and the visits are the same for any number.
// Throws std::bad_alloc.
template <class Sample, class Score>
CountChoice<Score> chooseCount(std::span<const Sample> x, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                               const std::function<void(const CountFit<Score>&)>& visit = {},
                               WorkMeter* meter = nullptr, unsigned threads = 1);

// Where a candidate with squares Q goes in a list ranked by squares, largest
// first: before the first entry with smaller squares (so below its equals),
// or at the end. squaresAt(i) gives the squares of entry i < length.
template <class Score, class SquaresAt>
int32_t rankSlot(int32_t length, Score Q, SquaresAt&& squaresAt)
{
    int32_t at = 0;
    while (at < length && squaresAt(at) >= Q)
        ++at;
    return at;
}

// The energy outside n pulses of L samples, scaled to one pulse length:
// (Pout + 2 L Eout) / (2 Pout) with Pout = N - n L, rounded half up and held
// to 32 bits for int32_t; L Eout / Pout for double; Eout itself when the
// pulses leave no sample outside.
template <class Score>
Score noisePerWindow(Score outside, int64_t N, int64_t n, int32_t L);

// One count of the ranking: the programme's chain, its squares and the noise
// per window it leaves.
template <class Score>
struct RankedFit {
    int32_t count = 0;
    std::vector<int32_t> positions;
    Score measure{};
    Score squares{};
    Score noise{};
};

// The pulse-count ranking: the programme's fit for every count mFrom..mTo
// (mFrom raised to 1), in count order, and the counts of the best `capacity`
// fits by squares, largest first, a later count below an equal one. A meter
// as for chooseCount; a stopped ranking is to be thrown away.
template <class Score>
struct CountRanking {
    std::vector<RankedFit<Score>> fits;
    std::vector<int32_t> ranked;
};
template <class Sample, class Score>
CountRanking<Score> rankCounts(std::span<const Sample> x, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                               int32_t capacity, WorkMeter* meter = nullptr);

}  // namespace detection
