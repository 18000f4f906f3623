#pragma once
// The exact programmes of the fixed case over plain spans: window energies,
// the energy programme for one pulse count or for a whole range of counts at
// once, and the improvement pass. No series record, no 16-bit field, no
// length cap: positions are 32-bit sample indexes, series hold up to
// INT32_MAX samples.
//
// The score type is a template parameter:
// - int32_t: the system's own figures. Sums and products wrap at 32 bits
//   (two's complement), an empty cell is -999999, exactly as the records
//   have always been computed;
// - int64_t and double: the user-data path. No wrapping; an empty cell is the
//   lowest value of the type, so that negative scores (a correlation) are
//   still real values.
// The sample type is int16_t for the system's records, int32_t/int64_t or
// double for prepared user data.

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "detection/progress.h"
#include "base/wrapping.h"

namespace detection {

// Pulses of L samples whose neighbouring starts lie Tmin..Tmax apart in a
// series of N samples.
struct PulseLayout {
    int64_t N = 0;
    int32_t L = 0;
    int32_t Tmin = 0;
    int32_t Tmax = 0;
};

// The starts pulse k (0-based) of m may take, in 64 bits so that no layout
// overflows: lo = max(Tmin*k, N - Tmax*(m-k)),
// hi = min(Tmax*(k+1) - L, N - L - Tmin*(m-1-k)); empty when lo > hi.
struct StartRange {
    int64_t lo = 0;
    int64_t hi = -1;
    bool empty() const { return lo > hi; }
};
StartRange admissibleStarts(int64_t k, int64_t m, const PulseLayout& layout);

// Arithmetic of a score type: what the programmes add, multiply and compare.
template <class Score>
struct ScoreArithmetic {
    static constexpr Score emptyCell = std::numeric_limits<Score>::lowest();
    static Score add(Score a, Score b) { return a + b; }
    static Score sub(Score a, Score b) { return a - b; }
    static Score mul(Score a, Score b) { return a * b; }
};
// 64-bit scores never wrap: a sum that would leave the range stays at its
// end. Only the empty cell (the lowest value) ever comes near it, when a
// negative score (a correlation) is added to it; it then stays empty.
template <>
struct ScoreArithmetic<int64_t> {
    static constexpr int64_t emptyCell = std::numeric_limits<int64_t>::lowest();
    static int64_t add(int64_t a, int64_t b)
    {
        int64_t r = 0;
        return __builtin_add_overflow(a, b, &r) ? (b < 0 ? emptyCell : std::numeric_limits<int64_t>::max()) : r;
    }
    static int64_t sub(int64_t a, int64_t b)
    {
        int64_t r = 0;
        return __builtin_sub_overflow(a, b, &r) ? (b > 0 ? emptyCell : std::numeric_limits<int64_t>::max()) : r;
    }
    static int64_t mul(int64_t a, int64_t b) { return a * b; }
};
template <>
struct ScoreArithmetic<int32_t> {
    static constexpr int32_t emptyCell = -999999;
    static int32_t add(int32_t a, int32_t b) { return base::wrapAdd(a, b); }
    static int32_t sub(int32_t a, int32_t b) { return base::wrapSub(a, b); }
    static int32_t mul(int32_t a, int32_t b) { return base::wrapMul(a, b); }
};

// E(l) = sum over i < L of x[l + i]^2 for every start l = 0..N-L (empty when
// N < L). Integer scores come from prefix sums of squares (the difference of
// two wrapping prefix sums is the wrapping window sum), floating ones are
// summed window by window so that no rounding drifts along the series.
// Throws std::bad_alloc.
template <class Sample, class Score>
std::vector<Score> windowEnergies(std::span<const Sample> x, int32_t L);

// The raw criterion S = sum over i < L of (sum over the starts p of x[p+i])^2;
// samples off the series count as 0, so any starts may be given (-1 too).
template <class Sample, class Score>
Score columnCriterion(std::span<const Sample> x, int32_t L, std::span<const int32_t> starts);

// The energy programme: the chain of m starts, each in its admissible range,
// neighbours Tmin..Tmax apart, of greatest summed window score. Built once
// for every count mFrom..mTo: a chain of k+1 pulses whose starts obey the gap
// rule from the series' beginning is the same whatever count it belongs to,
// and the admissible ranges of a count never cut the predecessors of a start
// they admit, so one table serves every count. A row holds only the starts
// some count admits, and each cell takes the sliding maximum over its
// predecessors from block-wise running maxima, O(1) per cell without a
// branch; back-tracking a count scans the predecessors of its chain only.
//
// Ties: the lowest last start wins, then, walking back, the lowest start of
// each earlier pulse. A cell whose predecessors all hold no more than the
// empty-cell value takes the empty-cell value as its predecessor's total and
// has no predecessor (its earlier starts come out as -1), as does a count
// whose last row holds nothing above it.
// The largest table of the energy programme kept whole.
constexpr size_t kDenseProgrammeBytes = size_t{256} << 20;

// The starts row k (0-based) of the programme for the counts mFrom..mTo
// (mFrom at least 1, k below mTo) holds: every start pulse k may take under
// one of the counts, kept inside 0..lastStart (the last scored start).
StartRange programmeRow(int64_t k, const PulseLayout& layout, int32_t mFrom, int32_t mTo, int64_t lastStart);

// Every how many rows a table of `cells` cells of `cellBytes` bytes in `rows`
// rows keeps: 1 when it fits `denseBytes`, else about the square root of the
// rows.
size_t programmeStride(uint64_t cells, size_t cellBytes, size_t rows, size_t denseBytes);

template <class Score>
class BlockMaxima;

template <class Score>
class EnergyProgramme {
  public:
    // `scores` holds the window score of every start 0..N-L. Counts below 1
    // are raised to 1. A table of more than `denseBytes` keeps only every
    // k-th row (k about the square root of the rows) and a copy of the
    // scores, and back-tracking fills the rows between again: memory of
    // O(sqrt(rows) * widest row) for one more pass per chain read. A meter
    // counts a unit per cell filled and per cell of the running maxima; when
    // it says stop the table is left half-filled and must not be read.
    // Throws std::bad_alloc.
    EnergyProgramme(std::span<const Score> scores, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                    size_t denseBytes = kDenseProgrammeBytes, WorkMeter* meter = nullptr);

    int32_t fromCount() const { return mFrom_; }
    int32_t toCount() const { return mTo_; }
    bool holds(int64_t m) const { return m >= mFrom_ && m <= mTo_; }

    // The m starts of the best chain of m pulses (m in fromCount..toCount,
    // `out` has room for m); -1 where there is none. A meter counts the
    // cells filled again and scanned; when it says stop, `out` holds no
    // chain.
    void positions(int32_t m, std::span<int32_t> out, WorkMeter* meter = nullptr) const;
    // The chains of every count fromCount..toCount, in count order: what
    // positions() gives for each, read in one walk down the rows when the
    // table is kept in strides; with a meter as positions(). Throws
    // std::bad_alloc.
    std::vector<std::vector<int32_t>> chains(WorkMeter* meter = nullptr) const;
    // The chain's summed score; the empty-cell value when there is none.
    Score total(int32_t m) const { return total_[m - mFrom_]; }

  private:
    struct Row {
        int64_t lo = 0, hi = -1;  // the starts the row holds
        size_t offset = 0;        // of its first cell in values_, when the row is kept
        size_t width() const { return lo <= hi ? static_cast<size_t>(hi - lo + 1) : 0; }
    };

    // The lowest start of `row` among p's predecessors (Tmin..Tmax before
    // it) holding the greatest value above the empty one; -1 for none.
    // `scanned` grows by the cells looked at.
    int64_t bestPredecessor(const Row& row, const Score* cell, int64_t p, uint64_t& scanned) const;
    // Fills row k from the row before it (`before`, its cells; unused for
    // row 0); false when the meter said stop.
    bool fillRow(std::span<const Score> scores, size_t k, const Score* before, Score* cell, BlockMaxima<Score>& maxima,
                 WorkMeter* meter) const;

    PulseLayout layout_;
    int32_t mFrom_ = 1, mTo_ = 0;
    std::vector<Row> rows_;
    size_t stride_ = 1;          // every stride_-th row is kept in values_
    size_t widest_ = 0;          // cells of the widest row
    std::vector<Score> scores_;  // a copy of the scores when rows are filled again
    std::vector<Score> values_;  // per kept row and start: the best total of a chain ending there
    std::vector<int32_t> last_;  // per count: the last start, -1 for none
    std::vector<Score> total_;   // per count: the best chain's total
};

// The criteria of every pulse's last scan with what they were computed from
// (the sums of the other pulses and the candidate range): a scan that finds
// both unchanged, in the same pass or in the next one of a loop, reads them
// instead of computing them again. Belongs to one series and one count.
// The criteria kept by all pulses together hold at most `budget` cells (the
// candidates of one chain's pulses add up to less than three times the
// starts of the series: each middle pulse moves between its neighbours);
// a scan that would pass it is computed in `scratch` and not kept.
template <class Score>
struct ImprovementMemo {
    struct Entry {
        int64_t from = 0, to = -1;
        std::vector<Score> others, criteria;
    };
    std::vector<Entry> entries;                              // per pulse
    uint64_t budget = std::numeric_limits<uint64_t>::max();  // most cells of criteria the entries keep
    uint64_t kept = 0;                                       // cells of criteria the entries hold now
    std::vector<Score> scratch;                              // the criteria of a scan past the budget
};

// The budget of criteria cells improveUntilSettled gives its memo on a
// series of `starts` scored starts.
inline uint64_t improvementMemoBudget(uint64_t starts) { return 3 * starts; }

// One improvement pass over the first m = starts.size() starts: a forward
// sweep over the pulses in which a pulse moves to the candidate of strictly
// greatest S, then a backward sweep over a copy in which it moves on a tie as
// well (to the highest tying start); the backward result is kept only when
// it beats the forward one. Candidates of pulse k lie in its admissible range
// and within the gap rule of both neighbours as they stand. The column sums
// are kept up to date as pulses move (L cells per move), so a pass costs
// L products per candidate. `starts` is overwritten; returns the raw S of
// the result. A meter counts L units per candidate computed and per pulse;
// when it says stop the pass returns at once with `starts` half-moved (to be
// thrown away). Throws std::bad_alloc.
template <class Sample, class Score>
Score improveStarts(std::span<const Sample> x, const PulseLayout& layout, std::span<int32_t> starts,
                    ImprovementMemo<Score>* memo = nullptr, WorkMeter* meter = nullptr);

}  // namespace detection
