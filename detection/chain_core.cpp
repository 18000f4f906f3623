#include "detection/chain_core.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>

namespace detection {

namespace {

constexpr int64_t kMaxCells = std::numeric_limits<int32_t>::max();

int64_t floorDiv(int64_t a, int64_t b)  // b > 0
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

StartRange meet(StartRange a, StartRange b) { return {std::max(a.lo, b.lo), std::min(a.hi, b.hi)}; }

// The admissible range of pulse k of m is fromStart(k) met with
// fromEnd(m - k): the starts reachable with k pulses before it, and those
// from which a pulses (itself included) still fit before the end.
StartRange fromStart(int64_t k, const PulseLayout& l) { return {l.Tmin * k, l.Tmax * (k + 1) - l.L}; }
StartRange fromEnd(int64_t a, const PulseLayout& l) { return {l.N - l.Tmax * a, l.N - l.L - l.Tmin * (a - 1)}; }

void append(StartIntervals& out, StartRange r)
{
    out.push_back({static_cast<int32_t>(r.lo), static_cast<int32_t>(r.hi)});
}

// The pieces Q met with fromEnd(a), a = aFrom..aTo: the a with a non-empty
// piece, lo..hi, and the first a whose piece merges with the ones after it.
// Both ends of fromEnd(a) fall as a grows, so the a with a non-empty piece
// form one run, found from the three conditions below; and fromEnd(a),
// fromEnd(a+1) share a start exactly when (Tmax - Tmin) a >= L, which, once
// true, stays true: before that a every piece stands alone, from it on they
// all merge into one. Pieces of intervals that meet Q meet each other exactly
// when the intervals do (three intervals meeting pairwise share a point), so
// the merging carries over to the pieces.
struct PieceRun {
    int64_t lo = 1, hi = 0, merging = 1;
    int64_t pieces() const { return lo > hi ? 0 : (merging - lo) + (merging <= hi ? 1 : 0); }
};

PieceRun pieceRun(StartRange Q, int64_t aFrom, int64_t aTo, const PulseLayout& l)
{
    const int64_t N = l.N, L = l.L, Tmin = l.Tmin, Tmax = l.Tmax, d = Tmax - Tmin;
    const PieceRun none;
    if (Q.empty())
        return none;
    int64_t lo = aFrom, hi = aTo;
    // The low end N - Tmax a comes down to Q.hi.
    if (Tmax > 0)
        lo = std::max(lo, ceilDiv(N - Q.hi, Tmax));
    else if (N > Q.hi)
        return none;
    // The high end N - L - Tmin (a - 1) stays up at Q.lo.
    if (Tmin > 0)
        hi = std::min(hi, floorDiv(N - L - Q.lo, Tmin) + 1);
    else if (N - L < Q.lo)
        return none;
    // fromEnd(a) is not empty: d (a - 1) >= L - Tmax.
    if (d > 0)
        lo = std::max(lo, ceilDiv(L - Tmax, d) + 1);
    else if (d < 0)
        hi = std::min(hi, floorDiv(Tmax - L, -d) + 1);
    else if (Tmax < L)
        return none;
    if (lo > hi)
        return none;
    int64_t merging = hi + 1;
    if (d > 0)
        merging = std::clamp(ceilDiv(L, d), lo, hi + 1);
    else if (d == 0 && L == 0)
        merging = lo;
    return {lo, hi, merging};
}

// Appends the pieces of pieceRun, those sharing a start merged.
void appendPieces(StartRange Q, int64_t aFrom, int64_t aTo, const PulseLayout& l, StartIntervals& out)
{
    const PieceRun run = pieceRun(Q, aFrom, aTo, l);
    if (run.lo > run.hi)
        return;
    for (int64_t a = run.lo; a < run.merging; ++a)
        append(out, meet(Q, fromEnd(a, l)));
    if (run.merging <= run.hi)
        append(out, {std::max(Q.lo, fromEnd(run.hi, l).lo), std::min(Q.hi, fromEnd(run.merging, l).hi)});
}

// Which pulses after the first startRegionLists walks one by one (1..kLoop)
// and, with Tmin = 0, the pulse from which on they share one run (kTail, 0
// for none).
void laterPulses(const PulseLayout& layout, int32_t mTo, int64_t& kLoop, int64_t& kTail)
{
    const int64_t Tmin = layout.Tmin, Tmax = layout.Tmax;
    kLoop = int64_t{mTo} - 1;
    kTail = 0;
    if (Tmin > 0) {
        kLoop = std::min(kLoop, (layout.N - layout.L) / Tmin);
    } else {
        const int64_t kCovering = Tmax > 0 ? std::max<int64_t>(1, ceilDiv(layout.N, Tmax) - 1) : 1;
        if (kCovering <= kLoop) {
            kTail = kCovering;
            kLoop = kCovering - 1;
        }
    }
}

// Sorts the intervals and merges those sharing a start; touching ones stay
// apart.
void normalize(StartIntervals& v)
{
    std::sort(v.begin(), v.end(),
              [](const StartInterval& a, const StartInterval& b) { return a.lo != b.lo ? a.lo < b.lo : a.hi < b.hi; });
    size_t kept = 0;
    for (const StartInterval& iv : v) {
        if (kept > 0 && iv.lo <= v[kept - 1].hi)
            v[kept - 1].hi = std::max(v[kept - 1].hi, iv.hi);
        else
            v[kept++] = iv;
    }
    v.resize(kept);
}

StartIntervals united(const StartIntervals& a, const StartIntervals& b)
{
    StartIntervals u(a);
    u.insert(u.end(), b.begin(), b.end());
    normalize(u);
    return u;
}

// What is left of each interval of `a` outside `b`, piece by piece.
StartIntervals subtracted(const StartIntervals& a, const StartIntervals& b)
{
    StartIntervals out;
    size_t j = 0;
    for (const StartInterval& iv : a) {
        int64_t from = iv.lo;
        while (j < b.size() && b[j].hi < from)
            ++j;
        // A cut reaching past this interval may cut the next one too: j
        // stays on it.
        for (size_t k = j; k < b.size() && b[k].lo <= iv.hi && from <= iv.hi; ++k) {
            if (b[k].lo > from)
                out.push_back({static_cast<int32_t>(from), b[k].lo - 1});
            from = int64_t{b[k].hi} + 1;
        }
        if (from <= iv.hi)
            out.push_back({static_cast<int32_t>(from), iv.hi});
    }
    return out;
}

// Every non-empty meet of an interval of `a` with one of `b`.
StartIntervals intersected(const StartIntervals& a, const StartIntervals& b)
{
    StartIntervals out;
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        const int32_t lo = std::max(a[i].lo, b[j].lo), hi = std::min(a[i].hi, b[j].hi);
        if (lo <= hi)
            out.push_back({lo, hi});
        (a[i].hi < b[j].hi ? i : j) += 1;
    }
    return out;
}

void checkList(std::span<const StartInterval> list, size_t cells, const char* name)
{
    int64_t previousEnd = -1;
    for (const StartInterval& iv : list) {
        if (iv.lo > iv.hi || iv.lo <= previousEnd || static_cast<uint64_t>(iv.hi) >= cells)
            throw std::invalid_argument(std::string("chain programme: the ") + name +
                                        " starts are out of order or off the table");
        previousEnd = iv.hi;
    }
}

// The candidate predecessors of one sweep: cells holding a D above 0, in
// increasing order with strictly falling D, so that the front is the
// greatest and, among equals, the earliest. A ring as wide as the gap rule
// lets through.
template <class Score>
class CandidateWindow {
  public:
    explicit CandidateWindow(int64_t width)
        : ring_(std::bit_ceil(static_cast<uint64_t>(std::max<int64_t>(width, 1)))), mask_(ring_.size() - 1)
    {
    }
    void clear() { head_ = tail_ = 0; }
    bool empty() const { return head_ == tail_; }
    int32_t frontCell() const { return ring_[head_ & mask_].cell; }
    Score frontValue() const { return ring_[head_ & mask_].value; }
    void dropBefore(int64_t cell)
    {
        while (head_ < tail_ && ring_[head_ & mask_].cell < cell)
            ++head_;
    }
    void push(int32_t cell, Score value)
    {
        while (tail_ > head_ && ring_[(tail_ - 1) & mask_].value < value)
            --tail_;
        ring_[tail_++ & mask_] = {value, cell};
    }

  private:
    struct Entry {
        Score value;
        int32_t cell;
    };
    std::vector<Entry> ring_;
    size_t mask_;
    size_t head_ = 0, tail_ = 0;
};

// One sweep over a list of starts that may follow a pulse. The predecessors
// of p that lie before it are not written again in this sweep, so each
// enters the window once with its final D. With Tmin = 0, p is its own
// candidate, looked at apart: its D changes as it is linked.
// Starts linked between two counts of a meter.
constexpr int64_t kLinkChunk = int64_t{1} << 14;

// False when the meter said stop.
template <class Score>
bool linkStarts(std::span<const StartInterval> list, std::span<const Score> E, std::span<Score> D, std::span<int32_t> B,
                int64_t Tmin, int64_t Tmax, CandidateWindow<Score>& window, WorkMeter* meter)
{
    window.clear();
    int64_t next = 0;  // the first cell not yet offered to the window
    int64_t linked = 0;
    for (const StartInterval& iv : list) {
        for (int64_t p = iv.lo; p <= iv.hi; ++p) {
            if (meter && ++linked == kLinkChunk) {
                if (!meter->advance(static_cast<uint64_t>(linked)))
                    return false;
                linked = 0;
            }
            const int64_t from = std::max<int64_t>(p - Tmax, 0), to = std::min(p - Tmin, p - 1);
            window.dropBefore(from);
            for (next = std::max(next, from); next <= to; ++next)
                if (const Score v = D[static_cast<size_t>(next)]; v > Score{0})
                    window.push(static_cast<int32_t>(next), v);
            Score best = 0;
            int32_t link = kChainBegins;
            if (!window.empty()) {
                link = window.frontCell();
                best = window.frontValue();
            }
            const size_t cell = static_cast<size_t>(p);
            if (Tmin == 0 && D[cell] > best) {
                best = D[cell];
                link = static_cast<int32_t>(p);
            }
            D[cell] = ScoreArithmetic<Score>::add(best, E[cell]);
            B[cell] = link;
        }
    }
    return !meter || meter->advance(static_cast<uint64_t>(linked));
}

}  // namespace

StartRegionLists startRegionLists(const PulseLayout& layout, int32_t mFrom, int32_t mTo)
{
    if (layout.L < 0 || layout.Tmin < 0 || layout.Tmax < 0)
        throw std::invalid_argument("start regions: L, Tmin and Tmax must not be negative");
    const int64_t lastStart = layout.N - layout.L;
    if (lastStart >= kMaxCells)
        throw std::invalid_argument("start regions: the starts of the series do not fit 32-bit positions");
    StartRegionLists r;
    mFrom = std::max(mFrom, 1);
    if (lastStart < 0 || mTo < mFrom)
        return r;
    const StartRange inside{0, lastStart};

    appendPieces(meet(fromStart(0, layout), inside), mFrom, mTo, layout, r.first);
    normalize(r.first);
    // The last pulses are the first ones seen from the end: x -> N - L - x
    // turns fromStart(k) into fromEnd(k + 1) and keeps `inside`.
    for (auto it = r.first.rbegin(); it != r.first.rend(); ++it)
        r.last.push_back({static_cast<int32_t>(lastStart - it->hi), static_cast<int32_t>(lastStart - it->lo)});

    // Pulse k >= 1 belongs to the counts k+1..mTo, a = m - k pulses from it
    // to the end. With Tmin >= 1 no pulse after (N - L) / Tmin has a start;
    // with Tmin = 0 fromStart(k) covers the whole series from some k on, and
    // the pulses from there share one run of a.
    int64_t kLoop = 0, kTail = 0;
    laterPulses(layout, mTo, kLoop, kTail);
    for (int64_t k = 1; k <= kLoop; ++k)
        appendPieces(meet(fromStart(k, layout), inside), std::max<int64_t>(mFrom - k, 1), mTo - k, layout, r.later);
    if (kTail > 0)
        appendPieces(meet(fromStart(kTail, layout), inside), std::max<int64_t>(int64_t{mFrom} - (mTo - 1), 1),
                     mTo - kTail, layout, r.later);
    normalize(r.later);

    r.any = united(r.first, r.later);
    r.firstOnly = subtracted(r.first, r.later);
    r.firstAndLater = intersected(r.first, r.later);
    r.laterOnly = subtracted(r.later, r.first);
    return r;
}

StartRegionPieces startRegionPieces(const PulseLayout& layout, int32_t mFrom, int32_t mTo)
{
    StartRegionPieces pieces;
    const int64_t lastStart = layout.N - layout.L;
    mFrom = std::max(mFrom, 1);
    if (layout.L < 0 || layout.Tmin < 0 || layout.Tmax < 0 || lastStart < 0 || mTo < mFrom)
        return pieces;
    const StartRange inside{0, lastStart};
    pieces.first = static_cast<uint64_t>(pieceRun(meet(fromStart(0, layout), inside), mFrom, mTo, layout).pieces());
    int64_t kLoop = 0, kTail = 0;
    laterPulses(layout, mTo, kLoop, kTail);
    for (int64_t k = 1; k <= kLoop; ++k)
        pieces.later += static_cast<uint64_t>(
            pieceRun(meet(fromStart(k, layout), inside), std::max<int64_t>(mFrom - k, 1), mTo - k, layout).pieces());
    if (kTail > 0)
        pieces.later +=
            static_cast<uint64_t>(pieceRun(meet(fromStart(kTail, layout), inside),
                                           std::max<int64_t>(int64_t{mFrom} - (mTo - 1), 1), mTo - kTail, layout)
                                      .pieces());
    return pieces;
}

template <class Score>
void runChainProgramme(std::span<const Score> E, const ChainRegions& regions, int32_t Tmin, int32_t Tmax,
                       std::span<Score> D, std::span<int32_t> B, WorkMeter* meter)
{
    const size_t cells = E.size();
    if (D.size() != cells || B.size() != cells || cells > static_cast<size_t>(kMaxCells))
        throw std::invalid_argument("chain programme: E, D and B must have one size of at most INT32_MAX cells");
    if (Tmin < 0 || Tmax < 0)
        throw std::invalid_argument("chain programme: Tmin and Tmax must not be negative");
    checkList(regions.firstOnly, cells, "first-only");
    checkList(regions.firstAndLater, cells, "first-and-later");
    checkList(regions.laterOnly, cells, "later-only");

    std::fill(D.begin(), D.end(), chainEmptyCell<Score>);
    std::fill(B.begin(), B.end(), kNoStart);
    for (const StartInterval& iv : regions.firstOnly)
        for (int64_t p = iv.lo; p <= iv.hi; ++p) {
            D[static_cast<size_t>(p)] = E[static_cast<size_t>(p)];
            B[static_cast<size_t>(p)] = kFirstPulseOnly;
        }
    // At most Tmax - max(Tmin, 1) + 1 cells lie in the window at once.
    CandidateWindow<Score> window(
        std::min<int64_t>(int64_t{Tmax} - std::max(Tmin, 1) + 1, static_cast<int64_t>(cells)));
    if (meter && !meter->advance(cells))
        return;
    if (linkStarts<Score>(regions.firstAndLater, E, D, B, Tmin, Tmax, window, meter))
        linkStarts<Score>(regions.laterOnly, E, D, B, Tmin, Tmax, window, meter);
}

template <class Score>
Score followBestChain(const ChainRegions& regions, std::span<const Score> D, std::span<const int32_t> B,
                      std::vector<int32_t>& positions)
{
    if (D.size() != B.size() || D.size() > static_cast<size_t>(kMaxCells))
        throw std::invalid_argument("best chain: D and B must have one size of at most INT32_MAX cells");
    checkList(regions.last, D.size(), "last-pulse");
    positions.clear();
    Score best = 0;
    int64_t end = -1;
    for (const StartInterval& iv : regions.last)
        for (int64_t p = iv.lo; p <= iv.hi; ++p)
            if (D[static_cast<size_t>(p)] > best) {
                best = D[static_cast<size_t>(p)];
                end = p;
            }
    // Predecessors lie strictly before their successor; the bound keeps a
    // start that is its own predecessor (Tmin = 0) from being followed again.
    for (int64_t p = end; p >= 0 && p < static_cast<int64_t>(D.size());) {
        positions.push_back(static_cast<int32_t>(p));
        const int32_t next = B[static_cast<size_t>(p)];
        if (next >= p)
            break;
        p = next;
    }
    std::reverse(positions.begin(), positions.end());
    return best;
}

#define QUILLMORE_CHAIN_SCORE(Score)                                                                             \
    template void runChainProgramme<Score>(std::span<const Score>, const ChainRegions&, int32_t, int32_t,        \
                                           std::span<Score>, std::span<int32_t>, WorkMeter*);                    \
    template Score followBestChain<Score>(const ChainRegions&, std::span<const Score>, std::span<const int32_t>, \
                                          std::vector<int32_t>&);
QUILLMORE_CHAIN_SCORE(int32_t)
QUILLMORE_CHAIN_SCORE(int64_t)
QUILLMORE_CHAIN_SCORE(double)
#undef QUILLMORE_CHAIN_SCORE

}  // namespace detection
