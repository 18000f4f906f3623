// The cost model follows the allocations of the stages as series_detection.cpp
// runs them, stage by stage: what a stage holds on top of what is held
// before it, and what it lets go when it ends. Sizes are those of the
// records themselves (sizeof), counts those the programmes compute.

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "detection/chain_core.h"
#include "detection/correlation_threshold.h"
#include "detection/count_choice.h"
#include "detection/matched_filter.h"
#include "detection/parallel_work.h"
#include "detection/series_detection.h"
#include "detection/threshold_detection.h"

namespace detection {

namespace {

// Bytes held as the detection goes, and the most held at once. Doubles:
// exact far beyond any memory, and no overflow for absurd layouts.
struct Ledger {
    double held = 0;
    double peak = 0;
    void hold(double bytes)
    {
        held += bytes;
        peak = std::max(peak, held);
    }
    void release(double bytes) { held -= bytes; }
    // Held for a while on top of what is held, then let go.
    void spike(double bytes) { peak = std::max(peak, held + bytes); }
};

// What a vector pushed to n elements one at a time from empty holds at most:
// its capacity and, while it last grew, the half it grew from.
double pushed(uint64_t n) { return n < 2 ? static_cast<double>(n) : 1.5 * static_cast<double>(std::bit_ceil(n)); }

// A vector resized again and again, as the standard library grows it: to
// the larger of twice its size and the new size, when its capacity falls
// short. `grewFrom` is the capacity it let go in its last resize (0 when it
// did not grow): for a moment both were held.
struct Resized {
    uint64_t size = 0, capacity = 0, grewFrom = 0;
    void resize(uint64_t n)
    {
        grewFrom = 0;
        if (n > capacity) {
            grewFrom = capacity;
            capacity = std::max(2 * size, n);
        }
        size = n;
    }
};

uint64_t widthOf(StartRange r) { return r.empty() ? 0 : static_cast<uint64_t>(r.hi - r.lo + 1); }

// The energy programme for the counts mFrom..mTo over S scored starts and
// the reading of its chains: of all the counts, or of the one count when
// mFrom = mTo (positions(), whose refills and scans are the same).
struct ProgrammePlan {
    double tableBytes = 0;  // held once made: rows, values, the copy of the scores when strided
    double buildBytes = 0;  // more while it is made: the running maxima, the two rows of a strided fill
    double readBytes = 0;   // more while the chains are read: the rows filled again and their maxima
    double fillWork = 0;    // the cells filled, with the cells of the running maxima
    double readWork = 0;    // the cells filled again and scanned while the chains are read
};

ProgrammePlan planProgramme(uint64_t S, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                            size_t denseBytes = kDenseProgrammeBytes)
{
    ProgrammePlan plan;
    mFrom = std::max(mFrom, 1);
    if (mTo < mFrom)
        return plan;
    const int64_t lastStart = static_cast<int64_t>(S) - 1;
    const int64_t W = int64_t{layout.Tmax} - layout.Tmin + 1;
    auto width = [&](int64_t k) { return widthOf(programmeRow(k, layout, mFrom, mTo, lastStart)); };
    // Running maxima are made of the row before every row but the first.
    auto maximaOf = [&](uint64_t before) { return W >= 1 && before > 0 ? before : 0; };

    // The running maxima are two vectors resized to every row: while one
    // grows, its old cells are held beside the new ones.
    uint64_t cells = 0, widest = 0, previous = 0, maximaPeak = 0;
    Resized maxima;
    double scans = 0;
    for (int64_t k = 0; k < mTo; ++k) {
        const uint64_t w = width(k);
        cells += w;
        widest = std::max(widest, w);
        plan.fillWork += static_cast<double>(w + 2 * maximaOf(previous));
        if (k > 0 && maximaOf(previous) > 0) {
            maxima.resize(maximaOf(previous));
            maximaPeak = std::max(maximaPeak, 2 * maxima.capacity + maxima.grewFrom);
        }
        // Back-tracking scans at most W cells of row k for every count whose
        // chain steps back from row k + 1, and counts one more.
        if (k + 2 <= mTo) {
            const int64_t through = int64_t{mTo} - std::max<int64_t>(mFrom, k + 2) + 1;
            scans += static_cast<double>(through) * static_cast<double>(std::min<uint64_t>(w, W) + 1);
        }
        previous = w;
    }
    const size_t rows = static_cast<size_t>(mTo);
    const size_t stride = programmeStride(cells, sizeof(int64_t), rows, denseBytes);
    uint64_t kept = cells;
    if (stride > 1) {
        kept = 0;
        for (size_t k = 0; k < rows; k += stride)
            kept += width(static_cast<int64_t>(k));
    }
    const double counts = static_cast<double>(mTo - mFrom + 1);
    plan.tableBytes = counts * (sizeof(int32_t) + sizeof(int64_t)) + static_cast<double>(rows) * 3 * sizeof(int64_t) +
                      static_cast<double>(kept) * sizeof(int64_t) +
                      (stride > 1 ? static_cast<double>(S) * sizeof(int64_t) : 0.0);
    plan.buildBytes = sizeof(int64_t) * static_cast<double>(maximaPeak) +
                      (stride > 1 ? 2.0 * sizeof(int64_t) * static_cast<double>(widest) : 0.0);
    plan.readWork = scans;
    if (stride > 1) {
        // The rows between two kept ones are filled again, a stride at a
        // time from the top, into one vector per place in the stride.
        std::vector<Resized> slots(stride);
        Resized readMaxima;
        uint64_t readMaximaPeak = 0, slotGrewFrom = 0;
        const int64_t top = int64_t{mTo} - 2;
        const int64_t step = static_cast<int64_t>(stride);
        for (int64_t first = top < 0 ? -1 : top / step * step; first >= 0; first -= step) {
            const int64_t upto = std::min(first + step - 1, top);
            for (int64_t j = first + 1; j <= upto; ++j) {
                const uint64_t w = width(j), before = maximaOf(width(j - 1));
                Resized& slot = slots[static_cast<size_t>(j - first)];
                slot.resize(w);
                slotGrewFrom = std::max(slotGrewFrom, slot.grewFrom);
                if (before > 0) {
                    readMaxima.resize(before);
                    readMaximaPeak = std::max(readMaximaPeak, 2 * readMaxima.capacity + readMaxima.grewFrom);
                }
                plan.readWork += static_cast<double>(w + 2 * before);
            }
        }
        // A growing slot holds its old cells for a moment too.
        double slotCells = 0;
        for (const Resized& slot : slots)
            slotCells += static_cast<double>(slot.capacity);
        plan.readBytes = static_cast<double>(stride) * sizeof(std::vector<int64_t>) +
                         (slotCells + static_cast<double>(slotGrewFrom)) * sizeof(int64_t) +
                         sizeof(int64_t) * static_cast<double>(readMaximaPeak);
    }
    return plan;
}

// The chains of every count mFrom..mTo as chains() returns them.
double chainBytes(int32_t mFrom, int32_t mTo)
{
    const double counts = static_cast<double>(mTo - mFrom + 1);
    return counts * sizeof(std::vector<int32_t>) + sizeof(int32_t) * counts * (static_cast<double>(mFrom) + mTo) / 2;
}

// One count's improvement passes (improveUntilSettled over m pulses): the
// memo (its entries, the other pulses' sums of each, and the criteria
// within the budget, with the scratch cells of a scan past it) and what a
// pass holds while it runs. `candidates` bounds the candidates of all
// pulses' scans together, `widestScan` one pulse's.
double improvementBytes(uint64_t S, int64_t m, int32_t L, double candidates, double widestScan)
{
    using Entry = ImprovementMemo<int64_t>::Entry;
    const double budget = static_cast<double>(improvementMemoBudget(S));
    const double criteria = std::min(candidates, budget) + (candidates > budget ? widestScan : 0.0);
    const double md = static_cast<double>(m);
    const double memo = md * sizeof(Entry) + md * L * sizeof(int64_t) + criteria * sizeof(int64_t);
    const double pass = md * sizeof(StartRange) + 2.0 * L * sizeof(int64_t) + 2.0 * md * sizeof(int32_t);
    return memo + pass;
}

// Units of two improvement passes (two sweeps each) over m pulses whose
// scans take `candidates` candidates together (those of one chain's pulses
// stay within the memo's budget: each middle pulse moves between its
// neighbours).
double improvementWork(int64_t m, int32_t L, double candidates)
{
    return 4.0 * static_cast<double>(m) * (L + 1) + 2.0 * candidates * L;
}

// A protocol row of m positions added to the outcome's rows.
double rowBytes(int64_t m) { return static_cast<double>(m) * sizeof(int32_t); }

// The result: the positions of the last row and their scores.
double resultBytes(int64_t m) { return static_cast<double>(m) * sizeof(int32_t) + pushed(m) * sizeof(int64_t); }

struct Estimate {
    Ledger memory;
    double work = 0;
    double searchWork = 0;
};

// The energy programme, its chain, the improvement passes and, for small
// counts, the exhaustive search.
void knownCount(uint64_t S, const PulseLayout& layout, const DetectionRequest& r, Estimate& e)
{
    const int64_t m = r.pulses, N = layout.N, L = layout.L;
    const ProgrammePlan plan = planProgramme(S, layout, r.pulses, r.pulses);
    Ledger& memory = e.memory;
    memory.hold(rowBytes(m));  // the starts read from the table
    memory.hold(plan.tableBytes);
    memory.spike(std::max(plan.buildBytes, plan.readBytes));
    memory.release(plan.tableBytes);
    e.work += plan.fillWork + plan.readWork;
    memory.hold(pushed(4) * sizeof(StageRow) + rowBytes(m));
    if (r.score == ScoreKind::Correlation)
        return;

    // Pulse k's scans take at most its admissible starts, and, beside a
    // neighbour, at most W of them.
    const int64_t W = int64_t{layout.Tmax} - layout.Tmin + 1;
    double candidates = 0, widest = 0;
    for (int64_t k = 0; k < m; ++k) {
        const double scan = static_cast<double>(
            m > 1 ? std::min<uint64_t>(widthOf(admissibleStarts(k, m, layout)), static_cast<uint64_t>(W))
                  : widthOf(admissibleStarts(k, m, layout)));
        candidates += scan;
        widest = std::max(widest, scan);
    }
    memory.spike(improvementBytes(S, m, layout.L, candidates, widest));
    e.work += improvementWork(m, layout.L, std::min(candidates, static_cast<double>(improvementMemoBudget(S))));
    memory.hold(rowBytes(m));

    if (!(m <= 3 || (m == 4 && N < 350)))
        return;
    // The search: its intervals, its walk and the range maxima of the window
    // roots (a sparse table of levels 2^j wide), made from a prefix of
    // 128-bit sums.
    const double md = static_cast<double>(m);
    const uint64_t roots = static_cast<uint64_t>(N + L - 1);
    double table = 0;
    uint64_t levels = 0;
    for (uint64_t width = 1; width <= roots; width *= 2, ++levels)
        table += static_cast<double>(roots - (width - 1)) * sizeof(double);
    table += pushed(levels) * sizeof(std::vector<double>);
    const double walk = 3 * md * sizeof(int32_t) + 2 * md * sizeof(int32_t) +
                        static_cast<double>(N + 2 * L) * sizeof(int64_t) + 4 * md * sizeof(int64_t) + md +
                        (md - 1) * (sizeof(std::vector<int64_t>) + static_cast<double>(L) * sizeof(int64_t)) +
                        md * sizeof(double) + static_cast<double>(L) * sizeof(uint64_t) + 2 * md * sizeof(int64_t);
    const double prefix = static_cast<double>(roots) * sizeof(double) + static_cast<double>(N + 1) * 16;
    memory.spike(walk + std::max(table, prefix));
    const StartRange first = admissibleStarts(0, m, layout);
    e.searchWork = static_cast<double>(roots) * static_cast<double>(levels) +
                   static_cast<double>(widthOf(first)) * static_cast<double>(L);
    e.work += e.searchWork;
    memory.hold(rowBytes(m));
}

// The programme of every admissible count and its chains; the energies and
// the table are let go once the chains are read.
void programmeChains(uint64_t S, uint64_t N, const PulseLayout& layout, const CountRange& counts, Estimate& e)
{
    const ProgrammePlan plan = planProgramme(S, layout, counts.from, counts.to);
    Ledger& memory = e.memory;
    const double energies = static_cast<double>(S) * sizeof(int64_t);
    memory.spike(energies + static_cast<double>(N + 1) * sizeof(int64_t));
    memory.hold(energies + plan.tableBytes);
    memory.spike(plan.buildBytes);
    memory.hold(chainBytes(counts.from, counts.to));
    memory.spike(plan.readBytes);
    memory.release(energies + plan.tableBytes);
    e.work += 2.0 * static_cast<double>(N) + plan.fillWork + plan.readWork;
}

// The sequential method: every count fitted, improved and chosen.
void sequentialMethod(uint64_t S, uint64_t N, const PulseLayout& layout, const CountRange& counts, unsigned threads,
                      Estimate& e)
{
    programmeChains(S, N, layout, counts, e);
    Ledger& memory = e.memory;
    // The chains are let go one by one as their counts are fitted; each fit
    // holds its chain, the improved copy and its passes, the choice two fits
    // of counts no larger, the outcome's counts one score per count so far.
    const int64_t W = int64_t{layout.Tmax} - layout.Tmin + 1;
    const double outer = static_cast<double>(counts.to - counts.from + 1) * sizeof(std::vector<int32_t>);
    double remaining = chainBytes(counts.from, counts.to) - outer;
    memory.release(remaining);
    double fits = 0;
    for (int64_t m = counts.from; m <= counts.to; ++m) {
        const double widest = static_cast<double>(m > 1 ? std::min<uint64_t>(S, static_cast<uint64_t>(W)) : S);
        const double candidates = static_cast<double>(m) * widest;
        // The choice's copies grow by a new vector beside the old one.
        // On T threads, T fits improve at once, and a batch of 4 T fits waits
        // to be considered in order.
        const double fit = 6 * rowBytes(m) + improvementBytes(S, m, layout.L, candidates, widest);
        const double held = remaining + rowBytes(m) + threads * fit +
                            (threads > 1 ? 4.0 * threads : 0.0) * (2 * rowBytes(m) + sizeof(CountFit<int64_t>)) +
                            pushed(static_cast<uint64_t>(m - counts.from + 1)) * sizeof(CountScore);
        memory.spike(held);
        remaining -= rowBytes(m);
        fits += 4.0 * static_cast<double>(m) * layout.L +
                improvementWork(m, layout.L, std::min(candidates, static_cast<double>(improvementMemoBudget(S))));
    }
    e.work += fits;
    memory.hold(pushed(static_cast<uint64_t>(counts.to - counts.from + 1)) * sizeof(CountScore) +
                4 * rowBytes(counts.to) + pushed(2) * sizeof(StageRow) + 2 * rowBytes(counts.to));
}

// The start lists of the chain programme: the pieces, the lists made of
// them and the derived sets.
double regionBytes(const PulseLayout& layout, const CountRange& counts)
{
    const StartRegionPieces pieces = startRegionPieces(layout, counts.from, counts.to);
    const uint64_t all = pieces.first + pieces.later;
    return sizeof(StartInterval) *
           (2 * pushed(pieces.first) + pushed(pieces.later) + 3.0 * static_cast<double>(all) + 3 * pushed(all));
}

// The chain programme's ring of candidates over `cells` cells.
double ringBytes(const PulseLayout& layout, uint64_t cells)
{
    const int64_t window =
        std::min<int64_t>(int64_t{layout.Tmax} - std::max(layout.Tmin, 1) + 1, static_cast<int64_t>(cells));
    return static_cast<double>(std::bit_ceil(static_cast<uint64_t>(std::max<int64_t>(window, 1)))) *
           (sizeof(int64_t) + sizeof(int64_t));
}

// Blind detection on correlations: no ranking; the noise level of the
// samples as doubles with their differences, the start regions, the reduced
// correlations, the chain totals and links over every start, and per pass
// the chain found.
void blindCorrelation(uint64_t S, uint64_t N, const PulseLayout& layout, const CountRange& counts, int32_t method,
                      Estimate& e)
{
    Ledger& memory = e.memory;
    const double n = static_cast<double>(N), s = static_cast<double>(S);
    if (method == kPrimitiveMethod || method == kChiSquareUnknownDispersion)
        memory.spike(2 * n * sizeof(double));
    const int32_t passes = correlationThresholdPasses(method);
    const double perPass = pushed(static_cast<uint64_t>(counts.to)) * sizeof(int32_t);
    memory.hold(regionBytes(layout, counts) + 2 * s * sizeof(int64_t) + s * sizeof(int32_t) +
                pushed(static_cast<uint64_t>(passes)) * sizeof(CorrelationThresholdPass) + passes * perPass);
    memory.spike(ringBytes(layout, S));
    e.work += static_cast<double>(correlationThresholdWork(N, S, method));
    memory.hold(pushed(static_cast<uint64_t>(passes)) * sizeof(ThresholdPassSummary) + rowBytes(counts.to));
}

// The matched filter: the programme of every count with two chains read
// from it, held while the null series run on their threads, each with its
// series, its correlations and a programme kept in strides.
void matchedFilter(uint64_t S, uint64_t N, const PulseLayout& layout, const CountRange& counts,
                   const DetectionRequest& r, Estimate& e)
{
    const ProgrammePlan plan = planProgramme(S, layout, counts.from, counts.to);
    const double K = static_cast<double>(counts.to - counts.from + 1);
    Ledger& memory = e.memory;
    memory.hold(plan.tableBytes + 2 * K * sizeof(double) + K * sizeof(int64_t));
    memory.spike(plan.buildBytes);
    memory.hold(rowBytes(counts.to));  // the plain choice's chain
    memory.spike(plan.readBytes);
    e.work += plan.fillWork + 2 * plan.readWork / K;
    if (r.nullSnr.size() != static_cast<size_t>(K)) {
        const double R = std::max(r.nullSeries, 1);
        const ProgrammePlan null = planProgramme(S, layout, counts.from, counts.to, kMatchedNullTableBytes);
        const double threads = std::min<double>(R, r.threads > 0 ? r.threads : usableProcessors());
        // A thread's own records (its state, its meter) are a few hundred bytes.
        const double perThread =
            static_cast<double>(N + S) * sizeof(int64_t) + null.tableBytes + null.buildBytes + 1024;
        memory.spike(static_cast<double>(N) * sizeof(int64_t) + R * (K * sizeof(double) + sizeof(std::vector<double>)) +
                     threads * perThread);
        e.work += R * (static_cast<double>(S) * layout.L + null.fillWork);
    }
    memory.hold(pushed(static_cast<uint64_t>(K)) * sizeof(CountScore) + 3 * K * sizeof(double) +
                pushed(1) * sizeof(StageRow) + 2 * rowBytes(counts.to));
}

// Blind detection: the ranking of every count, then the threshold passes.
void blindDetection(uint64_t S, uint64_t N, const PulseLayout& layout, const CountRange& counts, int32_t method,
                    Estimate& e)
{
    programmeChains(S, N, layout, counts, e);
    Ledger& memory = e.memory;
    const uint64_t howMany = static_cast<uint64_t>(counts.to - counts.from + 1);
    // The ranking takes the chains over as its fits; the outcome gets a score
    // per count and the five best rows.
    const double ranking =
        chainBytes(counts.from, counts.to) + pushed(howMany) * sizeof(RankedFit<int64_t>) + pushed(8) * sizeof(int32_t);
    memory.release(chainBytes(counts.from, counts.to));
    memory.hold(ranking);
    e.work += static_cast<double>(howMany) * (static_cast<double>(counts.from) + counts.to) * layout.L;
    memory.hold(pushed(howMany) * sizeof(CountScore) + pushed(8) * sizeof(StageRow) + 5 * rowBytes(counts.to));
    memory.release(ranking);

    // The threshold detection: the prefix of energies, the energies, their
    // reduction, the chain totals and links over every sample, the start
    // regions, and per pass the chain found with its energies.
    const double regions = regionBytes(layout, counts);
    const double n = static_cast<double>(N);
    const int32_t passes =
        method == kChiSquareKnownDispersion || method == kThresholdKnownDispersion || method == kPrimitiveMethod ? 1
                                                                                                                 : 3;
    const uint64_t found = static_cast<uint64_t>(counts.to);
    const double perPass = pushed(found) * (sizeof(int32_t) + 2 * sizeof(int64_t));
    const double ring = ringBytes(layout, N);
    memory.hold((n + 1) * sizeof(int64_t) + 3 * n * sizeof(int64_t) + n * sizeof(int32_t) + regions +
                pushed(static_cast<uint64_t>(passes)) * sizeof(ThresholdPass<int64_t>) + passes * perPass);
    memory.spike(ring);
    e.work += 2 * n + passes * 4 * n;
    memory.hold(pushed(static_cast<uint64_t>(passes)) * sizeof(ThresholdPassSummary) + rowBytes(counts.to));
}

}  // namespace

DetectionCost estimateDetectionCost(const PulseLayout& layout, const DetectionRequest& r)
{
    DetectionCost cost;
    const CountRange counts = admissibleCounts(layout);
    if (layout.L < 1 || layout.N < layout.L || layout.N > INT32_MAX || counts.empty())
        return cost;
    if (r.mode == DetectionMode::KnownCount && (r.pulses < counts.from || r.pulses > counts.to))
        return cost;
    const uint64_t N = static_cast<uint64_t>(layout.N);
    const uint64_t S = N - static_cast<uint64_t>(layout.L) + 1;

    Estimate e;
    // The window scores, and the prefix of squares energies are made from.
    e.memory.hold(static_cast<double>(S) * sizeof(int64_t));
    if (r.score == ScoreKind::Energy) {
        e.memory.spike(static_cast<double>(N + 1) * sizeof(int64_t));
        e.work += static_cast<double>(N + S);
    } else {
        e.work += static_cast<double>(S) * layout.L;
    }
    const int64_t most = r.mode == DetectionMode::KnownCount ? r.pulses : counts.to;
    switch (r.mode) {
    case DetectionMode::KnownCount:
        knownCount(S, layout, r, e);
        break;
    case DetectionMode::SequentialMethod:
        if (r.score == ScoreKind::Correlation)
            matchedFilter(S, N, layout, counts, r, e);
        else
            sequentialMethod(S, N, layout, counts,
                             static_cast<unsigned>(std::min<int64_t>(r.threads > 0 ? r.threads : usableProcessors(),
                                                                     int64_t{counts.to} - counts.from + 1)),
                             e);
        break;
    case DetectionMode::Blind:
        if (r.score == ScoreKind::Correlation)
            blindCorrelation(S, N, layout, counts, r.method, e);
        else
            blindDetection(S, N, layout, counts, r.method, e);
        break;
    }
    e.memory.hold(resultBytes(most));

    // What the records around the tables hold (the request's copies, the
    // callbacks, the rows' own records) stays within a few pages.
    constexpr double kBookkeeping = 16384;
    constexpr double kMost = static_cast<double>(std::numeric_limits<uint64_t>::max());
    auto whole = [&](double v) { return v >= kMost ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(v); };
    cost.bytes = whole(e.memory.peak + kBookkeeping);
    cost.work = std::max<uint64_t>(whole(e.work), 1);
    cost.searchWork = whole(e.searchWork);
    return cost;
}

}  // namespace detection
