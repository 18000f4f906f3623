#include "detection/energy_programme.h"

#include <algorithm>
#include <type_traits>

namespace detection {

namespace {

template <class Score>
using Ops = ScoreArithmetic<Score>;

template <class Score, class Sample>
Score asScore(Sample v)
{
    return static_cast<Score>(v);
}

// Off the series the samples are silent.
template <class Sample>
Sample sampleAt(std::span<const Sample> x, int64_t index)
{
    return index >= 0 && index < static_cast<int64_t>(x.size()) ? x[static_cast<size_t>(index)] : Sample{};
}

constexpr uint16_t kNoNarrowPredecessor = 0xFFFF;
constexpr uint32_t kNoWidePredecessor = 0xFFFFFFFF;

}  // namespace

StartRange admissibleStarts(int64_t k, int64_t m, const PulseLayout& layout)
{
    const int64_t N = layout.N, L = layout.L, Tmin = layout.Tmin, Tmax = layout.Tmax;
    return {std::max(Tmin * k, N - Tmax * (m - k)), std::min(Tmax * (k + 1) - L, N - L - Tmin * (m - 1 - k))};
}

template <class Sample, class Score>
std::vector<Score> windowEnergies(std::span<const Sample> x, int32_t L)
{
    const int64_t N = static_cast<int64_t>(x.size());
    if (L < 0 || N < L)
        return {};
    std::vector<Score> E(static_cast<size_t>(N - L + 1));
    if constexpr (std::is_integral_v<Score>) {
        std::vector<Score> prefix(static_cast<size_t>(N) + 1);
        prefix[0] = 0;
        for (size_t t = 0; t < x.size(); ++t) {
            const Score v = asScore<Score>(x[t]);
            prefix[t + 1] = Ops<Score>::add(prefix[t], Ops<Score>::mul(v, v));
        }
        for (size_t l = 0; l < E.size(); ++l)
            E[l] = Ops<Score>::sub(prefix[l + static_cast<size_t>(L)], prefix[l]);
    } else {
        for (size_t l = 0; l < E.size(); ++l) {
            Score e = 0;
            for (int32_t i = 0; i < L; ++i) {
                const Score v = asScore<Score>(x[l + static_cast<size_t>(i)]);
                e += v * v;
            }
            E[l] = e;
        }
    }
    return E;
}

template <class Sample, class Score>
Score columnCriterion(std::span<const Sample> x, int32_t L, std::span<const int32_t> starts)
{
    Score S = 0;
    for (int32_t i = 0; i < L; ++i) {
        Score column = 0;
        for (const int32_t p : starts)
            column = Ops<Score>::add(column, asScore<Score>(sampleAt(x, int64_t{p} + i)));
        S = Ops<Score>::add(S, Ops<Score>::mul(column, column));
    }
    return S;
}

template <class Score>
EnergyProgramme<Score>::EnergyProgramme(std::span<const Score> scores, const PulseLayout& layout, int32_t mFrom,
                                        int32_t mTo)
    : layout_(layout), mFrom_(std::max(mFrom, 1)), mTo_(mTo)
{
    if (mTo_ < mFrom_)
        return;
    const int64_t counts = int64_t{mTo_} - mFrom_ + 1;
    last_.assign(static_cast<size_t>(counts), -1);
    total_.assign(static_cast<size_t>(counts), Ops<Score>::emptyCell);

    // Row k holds every start that pulse k may take under any of the counts:
    // the admissible ranges shrink as the count grows, so the union runs from
    // the lowest start of the largest count to the highest of the smallest
    // count that has a pulse k. Kept inside the scored starts.
    const int64_t lastStart = static_cast<int64_t>(scores.size()) - 1;
    rows_.resize(static_cast<size_t>(mTo_));
    size_t cells = 0;
    for (int64_t k = 0; k < mTo_; ++k) {
        const int64_t smallest = std::max<int64_t>(mFrom_, k + 1);
        Row& row = rows_[static_cast<size_t>(k)];
        row.lo = std::max<int64_t>(admissibleStarts(k, mTo_, layout).lo, 0);
        row.hi = std::min<int64_t>(admissibleStarts(k, smallest, layout).hi, lastStart);
        row.offset = cells;
        if (row.lo <= row.hi)
            cells += static_cast<size_t>(row.hi - row.lo + 1);
    }
    wide_ = int64_t{layout.Tmax} - layout.Tmin >= kNoNarrowPredecessor;
    if (wide_)
        widePointers_.assign(cells, kNoWidePredecessor);
    else
        narrow_.assign(cells, kNoNarrowPredecessor);

    std::vector<Score> previous, current;
    std::vector<int64_t> window;  // candidate predecessors, values falling, earliest of equals first
    const int64_t Tmin = layout.Tmin, Tmax = layout.Tmax;
    const Score empty = Ops<Score>::emptyCell;
    for (size_t k = 0; k < rows_.size(); ++k) {
        const Row& row = rows_[k];
        const int64_t width = std::max<int64_t>(row.hi - row.lo + 1, 0);
        current.assign(static_cast<size_t>(width), empty);
        if (k == 0) {
            for (int64_t l = row.lo; l <= row.hi; ++l)
                current[static_cast<size_t>(l - row.lo)] = scores[static_cast<size_t>(l)];
        } else {
            const Row& before = rows_[k - 1];
            window.resize(static_cast<size_t>(std::max<int64_t>(before.hi - before.lo + 1, 0)));
            size_t head = 0, tail = 0;
            int64_t next = before.lo;
            auto valueOf = [&](int64_t j) { return previous[static_cast<size_t>(j - before.lo)]; };
            for (int64_t l = row.lo; l <= row.hi; ++l) {
                const int64_t from = std::max(l - Tmax, before.lo), to = std::min(l - Tmin, before.hi);
                next = std::max(next, from);
                for (; next <= to; ++next) {
                    while (tail > head && valueOf(window[tail - 1]) < valueOf(next))
                        --tail;
                    window[tail++] = next;
                }
                while (head < tail && window[head] < from)
                    ++head;
                Score best = empty;
                const size_t cell = row.offset + static_cast<size_t>(l - row.lo);
                if (head < tail && valueOf(window[head]) > empty) {
                    best = valueOf(window[head]);
                    const int64_t gap = l - window[head] - Tmin;
                    if (wide_)
                        widePointers_[cell] = static_cast<uint32_t>(gap);
                    else
                        narrow_[cell] = static_cast<uint16_t>(gap);
                }
                current[static_cast<size_t>(l - row.lo)] = Ops<Score>::add(best, scores[static_cast<size_t>(l)]);
            }
        }

        // Row k is the last row of count k + 1: its best end, the lowest on
        // ties.
        const int64_t m = static_cast<int64_t>(k) + 1;
        if (holds(m)) {
            const StartRange ends = admissibleStarts(m - 1, m, layout);
            Score best = empty;
            int32_t end = -1;
            for (int64_t l = std::max(ends.lo, row.lo); l <= std::min(ends.hi, row.hi); ++l)
                if (current[static_cast<size_t>(l - row.lo)] > best) {
                    best = current[static_cast<size_t>(l - row.lo)];
                    end = static_cast<int32_t>(l);
                }
            last_[static_cast<size_t>(m - mFrom_)] = end;
            total_[static_cast<size_t>(m - mFrom_)] = best;
        }
        previous.swap(current);
    }
}

template <class Score>
int32_t EnergyProgramme<Score>::predecessor(size_t row, int64_t l) const
{
    const Row& r = rows_[row];
    if (l < r.lo || l > r.hi)
        return -1;
    const size_t cell = r.offset + static_cast<size_t>(l - r.lo);
    const uint32_t gap = wide_ ? widePointers_[cell] : narrow_[cell];
    if (gap == (wide_ ? kNoWidePredecessor : kNoNarrowPredecessor))
        return -1;
    return static_cast<int32_t>(l - layout_.Tmin - gap);
}

template <class Score>
void EnergyProgramme<Score>::positions(int32_t m, std::span<int32_t> out) const
{
    int32_t p = last_[static_cast<size_t>(m - mFrom_)];
    for (int32_t k = m - 1; k >= 0; --k) {
        out[static_cast<size_t>(k)] = p;
        if (k > 0)
            p = p < 0 ? -1 : predecessor(static_cast<size_t>(k), p);
    }
}

template <class Sample, class Score>
Score improveStarts(std::span<const Sample> x, const PulseLayout& layout, std::span<int32_t> starts)
{
    const int32_t m = static_cast<int32_t>(starts.size());
    const int32_t L = layout.L;
    std::vector<StartRange> range(static_cast<size_t>(m));
    for (int32_t k = 0; k < m; ++k)
        range[static_cast<size_t>(k)] = admissibleStarts(k, m, layout);

    // The column sums of all pulses; the sums of every pulse but k follow by
    // taking pulse k's samples out, so a move updates L cells, not (m-1) L.
    std::vector<Score> column(static_cast<size_t>(L), Score{0}), others(static_cast<size_t>(L));
    for (int32_t i = 0; i < L; ++i)
        for (const int32_t p : starts)
            column[static_cast<size_t>(i)] =
                Ops<Score>::add(column[static_cast<size_t>(i)], asScore<Score>(sampleAt(x, int64_t{p} + i)));
    Score best = 0;
    for (const Score c : column)
        best = Ops<Score>::add(best, Ops<Score>::mul(c, c));

    const Sample* samples = x.data();
    auto pass = [&](std::vector<int32_t>& pos, bool forward) {
        for (int32_t step = 0; step < m; ++step) {
            const int32_t k = forward ? step : m - 1 - step;
            int64_t from = range[static_cast<size_t>(k)].lo, to = range[static_cast<size_t>(k)].hi;
            if (k < m - 1) {
                from = std::max<int64_t>(from, int64_t{pos[static_cast<size_t>(k) + 1]} - layout.Tmax);
                to = std::min<int64_t>(to, int64_t{pos[static_cast<size_t>(k) + 1]} - layout.Tmin);
            }
            if (k > 0) {
                from = std::max<int64_t>(from, int64_t{pos[static_cast<size_t>(k) - 1]} + layout.Tmin);
                to = std::min<int64_t>(to, int64_t{pos[static_cast<size_t>(k) - 1]} + layout.Tmax);
            }
            const int32_t old = pos[static_cast<size_t>(k)];
            for (int32_t i = 0; i < L; ++i)
                others[static_cast<size_t>(i)] =
                    Ops<Score>::sub(column[static_cast<size_t>(i)], asScore<Score>(sampleAt(x, int64_t{old} + i)));
            int32_t choice = old;
            for (int64_t c = from; c <= to; ++c) {
                Score T = 0;
                if constexpr (std::is_same_v<Score, int32_t>) {
                    // Wrapping sums in unsigned form, so that the loop
                    // vectorises without signed overflow.
                    uint32_t t = 0;
                    for (int32_t i = 0; i < L; ++i) {
                        const uint32_t v = static_cast<uint32_t>(others[static_cast<size_t>(i)]) +
                                           static_cast<uint32_t>(static_cast<int32_t>(samples[c + i]));
                        t += v * v;
                    }
                    T = static_cast<int32_t>(t);
                } else {
                    for (int32_t i = 0; i < L; ++i) {
                        const Score v = others[static_cast<size_t>(i)] + asScore<Score>(samples[c + i]);
                        T += v * v;
                    }
                }
                // Forward a pulse moves only on a strict gain, backward on a
                // tie as well, ending at the highest of the tying starts.
                if (forward ? T > best : T >= best) {
                    choice = static_cast<int32_t>(c);
                    best = T;
                }
            }
            if (choice != old) {
                for (int32_t i = 0; i < L; ++i)
                    column[static_cast<size_t>(i)] = Ops<Score>::add(
                        others[static_cast<size_t>(i)], asScore<Score>(samples[int64_t{choice} + i]));
                pos[static_cast<size_t>(k)] = choice;
            }
        }
    };

    std::vector<int32_t> P(starts.begin(), starts.end());
    pass(P, true);
    const Score bestForward = best;
    std::vector<int32_t> Q = P;
    pass(Q, false);

    // Tie moves of the backward sweep count only when something was gained.
    const bool backwardWins = best > bestForward;
    std::copy(backwardWins ? Q.begin() : P.begin(), backwardWins ? Q.end() : P.end(), starts.begin());
    return backwardWins ? best : bestForward;
}

#define QUILLMORE_SAMPLE_SCORE(Sample, Score)                                                                   \
    template std::vector<Score> windowEnergies<Sample, Score>(std::span<const Sample>, int32_t);              \
    template Score columnCriterion<Sample, Score>(std::span<const Sample>, int32_t, std::span<const int32_t>); \
    template Score improveStarts<Sample, Score>(std::span<const Sample>, const PulseLayout&, std::span<int32_t>);
QUILLMORE_SAMPLE_SCORE(int16_t, int32_t)
QUILLMORE_SAMPLE_SCORE(int16_t, int64_t)
QUILLMORE_SAMPLE_SCORE(int32_t, int64_t)
QUILLMORE_SAMPLE_SCORE(int64_t, int64_t)
QUILLMORE_SAMPLE_SCORE(double, double)
#undef QUILLMORE_SAMPLE_SCORE

template class EnergyProgramme<int32_t>;
template class EnergyProgramme<int64_t>;
template class EnergyProgramme<double>;

}  // namespace detection
