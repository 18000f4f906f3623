#include "detection/energy_programme.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <type_traits>

namespace detection {

// The greatest value of every window of W cells of a row without a branch
// that depends on the data (van Herk, Gil and Werman): the row is cut into
// blocks of W cells, each with running maxima from its start (prefix) and
// from its end (suffix). A window of W cells runs from inside one block into
// the next (or is one whole block), so its maximum is the greater of the
// suffix maximum at its start and the prefix maximum at its end. A window cut
// short by an end of the row starts at cell 0 (a prefix within the first
// block) or ends at the last cell (a suffix within the last block).
// Cells a loop of the programmes runs between two counts of a meter: a few
// microseconds of work, so that a stop is seen at once and the counting
// costs nothing measurable.
constexpr int64_t kChunk = int64_t{1} << 14;

template <class Score>
class BlockMaxima {
  public:
    // False when the meter said stop (the maxima are then half-made).
    bool build(const Score* v, int64_t P, int64_t W, WorkMeter* meter)
    {
        W_ = W;
        aStart_ = bStart_ = 0;
        prefix_.resize(static_cast<size_t>(P));
        suffix_.resize(static_cast<size_t>(P));
        if (W <= kChunk) {
            // Whole blocks at a time, a chunk's worth between two counts.
            const int64_t group = kChunk / W * W;
            for (int64_t g = 0; g < P; g += group) {
                const int64_t end = std::min(g + group, P);
                for (int64_t s = g; s < end; s += W)
                    buildBlock(v, s, std::min(s + W, P));
                if (meter && !meter->advance(static_cast<uint64_t>(2 * (end - g))))
                    return false;
            }
            return true;
        }
        for (int64_t s = 0; s < P; s += W) {
            const int64_t e = std::min(s + W, P);
            Score best = v[s];
            for (int64_t a = s; a < e; a += kChunk) {
                const int64_t b = std::min(a + kChunk, e);
                for (int64_t i = a; i < b; ++i)
                    prefix_[static_cast<size_t>(i)] = best = std::max(best, v[i]);
                if (meter && !meter->advance(static_cast<uint64_t>(b - a)))
                    return false;
            }
            best = v[e - 1];
            for (int64_t b = e; b > s; b -= kChunk) {
                const int64_t a = std::max(b - kChunk, s);
                for (int64_t i = b - 1; i >= a; --i)
                    suffix_[static_cast<size_t>(i)] = best = std::max(best, v[i]);
                if (meter && !meter->advance(static_cast<uint64_t>(b - a)))
                    return false;
            }
        }
        return true;
    }

    // The maximum over a..b, a window of W cells or one cut short by an end
    // of the row; a and b never fall between calls, so the blocks are
    // followed without a division per cell.
    Score query(int64_t a, int64_t b)
    {
        if (a >= aStart_ + W_)
            aStart_ = a - a % W_;
        if (b >= bStart_ + W_)
            bStart_ = b - b % W_;
        if (aStart_ == bStart_)
            return a == aStart_ ? prefix_[static_cast<size_t>(b)] : suffix_[static_cast<size_t>(a)];
        return std::max(suffix_[static_cast<size_t>(a)], prefix_[static_cast<size_t>(b)]);
    }

    // Windows of exactly W cells starting at a = first..last.
    const Score* prefix() const { return prefix_.data(); }
    const Score* suffix() const { return suffix_.data(); }

  private:
    // The running maxima of the block s..e-1 from its start and from its end.
    void buildBlock(const Score* v, int64_t s, int64_t e)
    {
        Score best = v[s];
        for (int64_t i = s; i < e; ++i)
            prefix_[static_cast<size_t>(i)] = best = std::max(best, v[i]);
        best = v[e - 1];
        for (int64_t i = e - 1; i >= s; --i)
            suffix_[static_cast<size_t>(i)] = best = std::max(best, v[i]);
    }

    int64_t W_ = 1, aStart_ = 0, bStart_ = 0;
    std::vector<Score> prefix_, suffix_;
};

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

// T(c) = sum over i < L of (others[i] + x[c + i])^2 for `count` consecutive
// candidates c, x pointing at the first one. Eight candidates at a time, each
// with its own sum, so that the compiler runs them side by side in vector
// registers; 32-bit scores wrap in unsigned form.
template <class Sample, class Score>
[[gnu::always_inline]] inline void candidateCriteriaKernel(const Sample* x, const Score* others, int32_t L,
                                                           size_t count, Score* T)
{
    using Acc = std::conditional_t<std::is_same_v<Score, int32_t>, uint32_t, Score>;
    constexpr size_t kLanes = 8;
    size_t c = 0;
    for (; c + kLanes <= count; c += kLanes) {
        Acc acc[kLanes] = {};
        for (int32_t i = 0; i < L; ++i) {
            const Acc r = static_cast<Acc>(others[i]);
            const Sample* row = x + c + static_cast<size_t>(i);
            for (size_t j = 0; j < kLanes; ++j) {
                const Acc v = r + static_cast<Acc>(static_cast<Score>(row[j]));
                acc[j] += v * v;
            }
        }
        for (size_t j = 0; j < kLanes; ++j)
            T[c + j] = static_cast<Score>(acc[j]);
    }
    for (; c < count; ++c) {
        Acc t = 0;
        for (int32_t i = 0; i < L; ++i) {
            const Acc v =
                static_cast<Acc>(others[i]) + static_cast<Acc>(static_cast<Score>(x[c + static_cast<size_t>(i)]));
            t += v * v;
        }
        T[c] = static_cast<Score>(t);
    }
}

// The system's own records take most of the time: on processors with AVX2
// their kernel runs eight 32-bit lanes with a true 32-bit multiply, chosen
// once when the program loads.
#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define QUILLMORE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef QUILLMORE_VECTOR_CLONES
#define QUILLMORE_VECTOR_CLONES
#endif

QUILLMORE_VECTOR_CLONES
void recordCriteria(const int16_t* x, const int32_t* others, int32_t L, size_t count, int32_t* T)
{
    candidateCriteriaKernel<int16_t, int32_t>(x, others, L, count, T);
}

// A researcher's series in 64-bit scores: samples are prepared to at most
// 2^31 in magnitude, so with the column sums of the other pulses small too
// every others + x fits 32 bits and its square is one signed 32 x 32 ->
// 64-bit product, which AVX2 forms in 4 lanes and AVX-512 in 8 (vpmuldq on
// the low halves of 64-bit lanes). The sums are the 64-bit sums the general
// kernel forms, to the bit; the processor's kind is asked once.
#if defined(__x86_64__)
[[gnu::target("avx2")]] void narrowCriteriaAvx2(const int64_t* x, const int64_t* others, int32_t L, size_t count,
                                                int64_t* T)
{
    size_t c = 0;
    for (; c + 8 <= count; c += 8) {
        __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
        for (int32_t i = 0; i < L; ++i) {
            const __m256i r = _mm256_set1_epi64x(others[i]);
            const int64_t* row = x + c + static_cast<size_t>(i);
            const __m256i a = _mm256_add_epi64(r, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)));
            const __m256i b = _mm256_add_epi64(r, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4)));
            low = _mm256_add_epi64(low, _mm256_mul_epi32(a, a));
            high = _mm256_add_epi64(high, _mm256_mul_epi32(b, b));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(T + c), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(T + c + 4), high);
    }
    candidateCriteriaKernel<int64_t, int64_t>(x + c, others, L, count - c, T + c);
}

// GCC 12 warns of the undefined upper halves _mm512_mul_epi32 leaves alone.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
[[gnu::target("avx512f")]] void narrowCriteriaAvx512(const int64_t* x, const int64_t* others, int32_t L, size_t count,
                                                     int64_t* T)
{
    size_t c = 0;
    for (; c + 16 <= count; c += 16) {
        __m512i low = _mm512_setzero_si512(), high = _mm512_setzero_si512();
        for (int32_t i = 0; i < L; ++i) {
            const __m512i r = _mm512_set1_epi64(others[i]);
            const int64_t* row = x + c + static_cast<size_t>(i);
            const __m512i a = _mm512_add_epi64(r, _mm512_loadu_si512(row));
            const __m512i b = _mm512_add_epi64(r, _mm512_loadu_si512(row + 8));
            low = _mm512_add_epi64(low, _mm512_mul_epi32(a, a));
            high = _mm512_add_epi64(high, _mm512_mul_epi32(b, b));
        }
        _mm512_storeu_si512(T + c, low);
        _mm512_storeu_si512(T + c + 8, high);
    }
    candidateCriteriaKernel<int64_t, int64_t>(x + c, others, L, count - c, T + c);
}
#pragma GCC diagnostic pop
#endif

using NarrowKernel = void (*)(const int64_t*, const int64_t*, int32_t, size_t, int64_t*);

// The widest kernel the processor runs; none without AVX2.
NarrowKernel narrowKernel()
{
#if defined(__x86_64__)
    static const NarrowKernel chosen = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f"))
            return &narrowCriteriaAvx512;
        if (__builtin_cpu_supports("avx2"))
            return &narrowCriteriaAvx2;
        return NarrowKernel{nullptr};
    }();
    return chosen;
#else
    return nullptr;
#endif
}

// Whether every value lies in -2^30..2^30-1 (v ^ (v >> 63) below 2^30), so
// that any two of them add up within 32 bits.
bool below30Bits(const int64_t* v, size_t n)
{
    uint64_t bits = 0;
    for (size_t j = 0; j < n; ++j)
        bits |= static_cast<uint64_t>(v[j] ^ (v[j] >> 63));
    return bits < (uint64_t{1} << 30);
}

template <class Sample, class Score>
void candidateCriteria(const Sample* x, const Score* others, int32_t L, size_t count, Score* T)
{
    if constexpr (std::is_same_v<Sample, int16_t> && std::is_same_v<Score, int32_t>)
        recordCriteria(x, others, L, count, T);
    else if constexpr (std::is_same_v<Sample, int64_t> && std::is_same_v<Score, int64_t>) {
        const NarrowKernel narrow = narrowKernel();
        if (narrow && count > 0 && L > 0 && below30Bits(others, static_cast<size_t>(L)) &&
            below30Bits(x, count + static_cast<size_t>(L) - 1))
            narrow(x, others, L, count, T);
        else
            candidateCriteriaKernel<Sample, Score>(x, others, L, count, T);
    } else
        candidateCriteriaKernel<Sample, Score>(x, others, L, count, T);
}

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

namespace {

// The best of the cells of a row holding the starts `row` that are among
// `ends`: its start, the lowest on ties, and its value; -1 and the empty
// value when none is above the empty value.
template <class Score>
std::pair<int32_t, Score> bestEnd(const Score* cell, StartRange row, StartRange ends)
{
    Score best = Ops<Score>::emptyCell;
    int32_t end = -1;
    for (int64_t l = std::max(ends.lo, row.lo); l <= std::min(ends.hi, row.hi); ++l)
        if (cell[l - row.lo] > best) {
            best = cell[l - row.lo];
            end = static_cast<int32_t>(l);
        }
    return {end, best};
}

}  // namespace

StartRange programmeRow(int64_t k, const PulseLayout& layout, int32_t mFrom, int32_t mTo, int64_t lastStart)
{
    // The admissible ranges shrink as the count grows, so the union runs
    // from the lowest start of the largest count to the highest of the
    // smallest count that has a pulse k.
    const int64_t smallest = std::max<int64_t>(mFrom, k + 1);
    return {std::max<int64_t>(admissibleStarts(k, mTo, layout).lo, 0),
            std::min<int64_t>(admissibleStarts(k, smallest, layout).hi, lastStart)};
}

size_t programmeStride(uint64_t cells, size_t cellBytes, size_t rows, size_t denseBytes)
{
    if (cells <= denseBytes / cellBytes)
        return 1;
    return static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(rows))));
}

template <class Score>
EnergyProgramme<Score>::EnergyProgramme(std::span<const Score> scores, const PulseLayout& layout, int32_t mFrom,
                                        int32_t mTo, size_t denseBytes, WorkMeter* meter)
    : layout_(layout), mFrom_(std::max(mFrom, 1)), mTo_(mTo)
{
    if (mTo_ < mFrom_)
        return;
    const int64_t counts = int64_t{mTo_} - mFrom_ + 1;
    last_.assign(static_cast<size_t>(counts), -1);
    total_.assign(static_cast<size_t>(counts), Ops<Score>::emptyCell);

    // Row k holds every start that pulse k may take under any of the counts,
    // kept inside the scored starts.
    const int64_t lastStart = static_cast<int64_t>(scores.size()) - 1;
    rows_.resize(static_cast<size_t>(mTo_));
    uint64_t cells = 0;
    for (int64_t k = 0; k < mTo_; ++k) {
        Row& row = rows_[static_cast<size_t>(k)];
        const StartRange held = programmeRow(k, layout, mFrom_, mTo_, lastStart);
        row.lo = held.lo;
        row.hi = held.hi;
        widest_ = std::max(widest_, row.width());
        cells += row.width();
    }

    // A table too large to keep whole keeps every stride-th row (about the
    // square root of the rows); back-tracking fills the rows between two kept
    // ones again from the lower one. The values are the same either way, so
    // the chains are too.
    stride_ = programmeStride(cells, sizeof(Score), rows_.size(), denseBytes);
    if (stride_ > 1)
        scores_.assign(scores.begin(), scores.end());
    size_t kept = 0;
    for (size_t k = 0; k < rows_.size(); ++k) {
        rows_[k].offset = kept;
        if (k % stride_ == 0)
            kept += rows_[k].width();
    }
    values_.assign(kept, Ops<Score>::emptyCell);

    std::vector<Score> previous, current;
    if (stride_ > 1) {
        previous.resize(widest_);
        current.resize(widest_);
    }
    BlockMaxima<Score> maxima;
    const Score* before = nullptr;
    for (size_t k = 0; k < rows_.size(); ++k) {
        const Row& row = rows_[k];
        Score* cell = stride_ == 1 ? values_.data() + row.offset : current.data();
        if (!fillRow(scores, k, before, cell, maxima, meter))
            return;
        if (stride_ > 1 && k % stride_ == 0)
            std::copy_n(cell, row.width(), values_.data() + row.offset);

        // Row k is the last row of count k + 1: its best end, the lowest on
        // ties.
        const int64_t m = static_cast<int64_t>(k) + 1;
        if (holds(m)) {
            const auto [end, best] = bestEnd(cell, {row.lo, row.hi}, admissibleStarts(m - 1, m, layout));
            last_[static_cast<size_t>(m - mFrom_)] = end;
            total_[static_cast<size_t>(m - mFrom_)] = best;
        }
        if (stride_ > 1) {
            std::swap(previous, current);
            before = previous.data();
        } else {
            before = cell;
        }
    }
}

template <class Score>
bool EnergyProgramme<Score>::fillRow(std::span<const Score> scores, size_t k, const Score* before, Score* cell,
                                     BlockMaxima<Score>& maxima, WorkMeter* meter) const
{
    const Row& row = rows_[k];
    if (k == 0) {
        for (int64_t c = row.lo; c <= row.hi; c += kChunk) {
            const int64_t cEnd = std::min(row.hi, c + kChunk - 1);
            for (int64_t l = c; l <= cEnd; ++l)
                cell[l - row.lo] = scores[static_cast<size_t>(l)];
            if (meter && !meter->advance(static_cast<uint64_t>(cEnd - c + 1)))
                return false;
        }
        return true;
    }
    const Score empty = Ops<Score>::emptyCell;
    const int64_t Tmin = layout_.Tmin, Tmax = layout_.Tmax, W = Tmax - Tmin + 1;
    const Row& earlier = rows_[k - 1];
    const int64_t P = static_cast<int64_t>(earlier.width());
    // With Tmin above Tmax no start has a predecessor; every cell then holds
    // its score on top of the empty value.
    const bool linked = W >= 1 && P > 0;
    if (linked && !maxima.build(before, P, W, meter))
        return false;
    const Score* score = scores.data();
    auto link = [&](int64_t l, Score best) { cell[l - row.lo] = Ops<Score>::add(std::max(best, empty), score[l]); };
    // Starts whose Tmin..Tmax predecessors lie wholly in the row before take
    // the maximum of one suffix and one prefix; the loop has no branch, so it
    // runs several starts at a time. The row is filled a chunk at a time, in
    // increasing starts, as the running maxima are read.
    const int64_t innerFrom = linked ? std::max(row.lo, earlier.lo + Tmax) : row.hi + 1;
    const int64_t innerTo = linked ? std::min(row.hi, earlier.hi + Tmin) : row.hi;
    const Score* suffix = maxima.suffix();
    const Score* prefix = maxima.prefix();
    const int64_t toA = earlier.lo + Tmax, toB = earlier.lo + Tmin;
    for (int64_t c = row.lo; c <= row.hi; c += kChunk) {
        const int64_t cEnd = std::min(row.hi, c + kChunk - 1);
        for (int64_t l = c; l <= cEnd && l < innerFrom; ++l) {
            const int64_t a = std::max(l - Tmax, earlier.lo) - earlier.lo,
                          b = std::min(l - Tmin, earlier.hi) - earlier.lo;
            link(l, linked && a <= b ? maxima.query(a, b) : empty);
        }
        const int64_t innerEnd = std::min(cEnd, innerTo);
        for (int64_t l = std::max(c, innerFrom); l <= innerEnd; ++l)
            link(l, std::max(suffix[l - toA], prefix[l - toB]));
        for (int64_t l = std::max({c, innerFrom, innerTo + 1}); l <= cEnd; ++l) {
            const int64_t a = std::max(l - Tmax, earlier.lo) - earlier.lo,
                          b = std::min(l - Tmin, earlier.hi) - earlier.lo;
            link(l, linked && a <= b ? maxima.query(a, b) : empty);
        }
        if (meter && !meter->advance(static_cast<uint64_t>(cEnd - c + 1)))
            return false;
    }
    return true;
}

template <class Score>
void EnergyProgramme<Score>::positions(int32_t m, std::span<int32_t> out, WorkMeter* meter) const
{
    // Back-tracking scans the predecessors of each start upward and keeps
    // the first strictly greater value: the lowest start among equals, and
    // -1 where none holds more than the empty value. The row's starts are
    // exactly the count's admissible ones wherever a predecessor can lie.
    auto stop = [&] { std::fill(out.begin(), out.begin() + m, -1); };
    int64_t p = last_[static_cast<size_t>(m - mFrom_)];
    out[static_cast<size_t>(m - 1)] = static_cast<int32_t>(p);
    // The rows of one stride filled again from its kept row, when the table
    // keeps only every stride-th row.
    std::vector<std::vector<Score>> segment;
    size_t segmentStart = rows_.size();
    BlockMaxima<Score> maxima;
    uint64_t scanned = 0;
    for (int32_t k = m - 2; k >= 0; --k) {
        const Row& row = rows_[static_cast<size_t>(k)];
        const Score* cell = values_.data() + row.offset;
        if (stride_ > 1) {
            const size_t first = static_cast<size_t>(k) / stride_ * stride_;
            if (first != segmentStart) {
                segmentStart = first;
                segment.resize(stride_);
                const Score* before = values_.data() + rows_[first].offset;
                for (size_t j = first + 1; j <= static_cast<size_t>(k); ++j) {
                    segment[j - first].resize(rows_[j].width());
                    if (!fillRow(scores_, j, before, segment[j - first].data(), maxima, meter))
                        return stop();
                    before = segment[j - first].data();
                }
            }
            if (static_cast<size_t>(k) != first)
                cell = segment[static_cast<size_t>(k) - first].data();
        }
        p = bestPredecessor(row, cell, p, scanned);
        out[static_cast<size_t>(k)] = static_cast<int32_t>(p);
        if (meter && scanned >= static_cast<uint64_t>(kChunk)) {
            if (!meter->advance(scanned))
                return stop();
            scanned = 0;
        }
    }
    if (meter && !meter->advance(scanned))
        stop();
}

template <class Score>
int64_t EnergyProgramme<Score>::bestPredecessor(const Row& row, const Score* cell, int64_t p, uint64_t& scanned) const
{
    Score best = Ops<Score>::emptyCell;
    int64_t at = -1;
    const int64_t from = std::max(p - layout_.Tmax, row.lo), to = std::min(p - layout_.Tmin, row.hi);
    for (int64_t j = from; j <= to; ++j)
        if (cell[j - row.lo] > best) {
            best = cell[j - row.lo];
            at = j;
        }
    scanned += static_cast<uint64_t>(std::max<int64_t>(to - from + 1, 0)) + 1;
    return at;
}

template <class Score>
std::vector<std::vector<int32_t>> EnergyProgramme<Score>::chains(WorkMeter* meter) const
{
    std::vector<std::vector<int32_t>> out;
    if (mTo_ < mFrom_)
        return out;
    out.resize(static_cast<size_t>(mTo_ - mFrom_ + 1));
    for (int32_t m = mFrom_; m <= mTo_; ++m)
        out[static_cast<size_t>(m - mFrom_)].assign(static_cast<size_t>(m), -1);
    if (stride_ == 1) {
        for (int32_t m = mFrom_; m <= mTo_; ++m) {
            positions(m, out[static_cast<size_t>(m - mFrom_)], meter);
            if (meter && meter->stopped())
                return {};
        }
        return out;
    }
    // One walk down the rows serves every count: each stride of rows is
    // filled again once, and every chain that passes through it steps back.
    for (int32_t m = mFrom_; m <= mTo_; ++m)
        out[static_cast<size_t>(m - mFrom_)][static_cast<size_t>(m - 1)] = last_[static_cast<size_t>(m - mFrom_)];
    const int64_t top = int64_t{mTo_} - 2;
    const int64_t stride = static_cast<int64_t>(stride_);
    std::vector<std::vector<Score>> segment(stride_);
    BlockMaxima<Score> maxima;
    uint64_t scanned = 0;
    for (int64_t first = top < 0 ? -1 : top / stride * stride; first >= 0; first -= stride) {
        const int64_t upto = std::min(first + stride - 1, top);
        const Score* before = values_.data() + rows_[static_cast<size_t>(first)].offset;
        for (int64_t j = first + 1; j <= upto; ++j) {
            std::vector<Score>& cells = segment[static_cast<size_t>(j - first)];
            cells.resize(rows_[static_cast<size_t>(j)].width());
            if (!fillRow(scores_, static_cast<size_t>(j), before, cells.data(), maxima, meter))
                return {};
            before = cells.data();
        }
        for (int64_t k = upto; k >= first; --k) {
            const Row& row = rows_[static_cast<size_t>(k)];
            const Score* cell =
                k == first ? values_.data() + row.offset : segment[static_cast<size_t>(k - first)].data();
            for (int64_t m = std::max<int64_t>(mFrom_, k + 2); m <= mTo_; ++m) {
                std::vector<int32_t>& chain = out[static_cast<size_t>(m - mFrom_)];
                chain[static_cast<size_t>(k)] =
                    static_cast<int32_t>(bestPredecessor(row, cell, chain[static_cast<size_t>(k + 1)], scanned));
                if (meter && scanned >= static_cast<uint64_t>(kChunk)) {
                    if (!meter->advance(scanned))
                        return {};
                    scanned = 0;
                }
            }
        }
    }
    if (meter && !meter->advance(scanned))
        return {};
    return out;
}

namespace {

// The column sums of the pulses at `starts`: per offset i < L, the sum of
// their samples i.
template <class Sample, class Score>
std::vector<Score> pulseColumns(std::span<const Sample> x, int32_t L, std::span<const int32_t> starts)
{
    std::vector<Score> column(static_cast<size_t>(L), Score{0});
    for (int32_t i = 0; i < L; ++i)
        for (const int32_t p : starts)
            column[static_cast<size_t>(i)] =
                Ops<Score>::add(column[static_cast<size_t>(i)], asScore<Score>(sampleAt(x, int64_t{p} + i)));
    return column;
}

// The starts of its admissible `range` pulse k may move to while its
// neighbours stand at `pos`: Tmin to Tmax after the pulse before it and
// before the pulse after it.
StartRange moveRange(StartRange range, const std::vector<int32_t>& pos, int32_t k, const PulseLayout& layout)
{
    const int32_t m = static_cast<int32_t>(pos.size());
    if (k < m - 1) {
        range.lo = std::max<int64_t>(range.lo, int64_t{pos[static_cast<size_t>(k) + 1]} - layout.Tmax);
        range.hi = std::min<int64_t>(range.hi, int64_t{pos[static_cast<size_t>(k) + 1]} - layout.Tmin);
    }
    if (k > 0) {
        range.lo = std::max<int64_t>(range.lo, int64_t{pos[static_cast<size_t>(k) - 1]} + layout.Tmin);
        range.hi = std::min<int64_t>(range.hi, int64_t{pos[static_cast<size_t>(k) - 1]} + layout.Tmax);
    }
    return range;
}

}  // namespace

namespace {

// The criteria of `count` candidates from x on into T; with a meter a chunk
// at a time (whole groups of eight, so that every candidate is computed
// exactly as in one call), counting L units per candidate. False when the
// meter said stop.
template <class Sample, class Score>
bool meteredCriteria(const Sample* x, const Score* others, int32_t L, size_t count, Score* T, WorkMeter* meter)
{
    if (!meter) {
        candidateCriteria<Sample, Score>(x, others, L, count, T);
        return true;
    }
    const size_t step = std::max<size_t>(8, static_cast<size_t>(kChunk) / static_cast<size_t>(std::max(L, 1)) / 8 * 8);
    for (size_t c = 0; c < count; c += step) {
        const size_t n = std::min(step, count - c);
        candidateCriteria<Sample, Score>(x + c, others, L, n, T + c);
        if (!meter->advance(n * static_cast<uint64_t>(std::max(L, 1))))
            return false;
    }
    return true;
}

// Where the criteria of pulse k's scan go (the entry holding no scan): its
// memo entry when the memo's budget has room for them (the entry's cells
// grown to exactly `count`, the old ones let go first), else the memo's
// scratch cells.
template <class Score>
Score* criteriaCells(ImprovementMemo<Score>& memo, typename ImprovementMemo<Score>::Entry& entry, size_t count)
{
    std::vector<Score>& kept = entry.criteria;
    if (count > kept.capacity()) {
        const uint64_t grown = memo.kept - kept.capacity() + count;
        if (grown > memo.budget) {
            if (count > memo.scratch.capacity()) {
                // The old cells go before the new ones come.
                memo.scratch = std::vector<Score>();
                memo.scratch.reserve(count);
            }
            memo.scratch.resize(count);
            return memo.scratch.data();
        }
        memo.kept -= kept.capacity();
        kept = std::vector<Score>();
        kept.reserve(count);
        memo.kept += count;
    }
    kept.resize(count);
    return kept.data();
}

}  // namespace

template <class Sample, class Score>
Score improveStarts(std::span<const Sample> x, const PulseLayout& layout, std::span<int32_t> starts,
                    ImprovementMemo<Score>* memo, WorkMeter* meter)
{
    const int32_t m = static_cast<int32_t>(starts.size());
    const int32_t L = layout.L;
    std::vector<StartRange> range(static_cast<size_t>(m));
    for (int32_t k = 0; k < m; ++k)
        range[static_cast<size_t>(k)] = admissibleStarts(k, m, layout);

    // The column sums of all pulses; the sums of every pulse but k follow by
    // taking pulse k's samples out, so a move updates L cells, not (m-1) L.
    std::vector<Score> column = pulseColumns<Sample, Score>(x, L, starts), others(static_cast<size_t>(L));
    Score best = 0;
    for (const Score c : column)
        best = Ops<Score>::add(best, Ops<Score>::mul(c, c));

    const Sample* samples = x.data();
    ImprovementMemo<Score> own;
    if (!memo)
        memo = &own;
    if (memo->entries.size() != static_cast<size_t>(m)) {
        memo->entries.assign(static_cast<size_t>(m), {});
        memo->kept = 0;
    }
    // False when the meter said stop.
    auto pass = [&](std::vector<int32_t>& pos, bool forward) {
        for (int32_t step = 0; step < m; ++step) {
            const int32_t k = forward ? step : m - 1 - step;
            const StartRange move = moveRange(range[static_cast<size_t>(k)], pos, k, layout);
            const int64_t from = move.lo, to = move.hi;
            const int32_t old = pos[static_cast<size_t>(k)];
            for (int32_t i = 0; i < L; ++i)
                others[static_cast<size_t>(i)] =
                    Ops<Score>::sub(column[static_cast<size_t>(i)], asScore<Score>(sampleAt(x, int64_t{old} + i)));
            if (meter && !meter->advance(static_cast<uint64_t>(L) + 1))
                return false;
            int32_t choice = old;
            if (from <= to) {
                // The criteria depend on nothing but the other pulses' sums
                // and the candidates: when both are as at this pulse's last
                // scan, so are the criteria.
                auto& entry = memo->entries[static_cast<size_t>(k)];
                const size_t count = static_cast<size_t>(to - from + 1);
                const Score* criteria = entry.criteria.data();
                if (entry.from != from || entry.to != to || entry.others != others) {
                    // The entry holds no scan until its cells are whole again.
                    entry.from = 0;
                    entry.to = -1;
                    Score* cells = criteriaCells(*memo, entry, count);
                    if (!meteredCriteria<Sample, Score>(samples + from, others.data(), L, count, cells, meter))
                        return false;
                    if (cells == entry.criteria.data()) {
                        entry.others = others;
                        entry.from = from;
                        entry.to = to;
                    }
                    criteria = cells;
                }
                for (size_t j = 0; j < count; ++j) {
                    const Score T = criteria[j];
                    // Forward a pulse moves only on a strict gain, backward
                    // on a tie as well, ending at the highest of the tying
                    // starts.
                    if (forward ? T > best : T >= best) {
                        choice = static_cast<int32_t>(from + static_cast<int64_t>(j));
                        best = T;
                    }
                }
            }
            if (choice != old) {
                for (int32_t i = 0; i < L; ++i)
                    column[static_cast<size_t>(i)] =
                        Ops<Score>::add(others[static_cast<size_t>(i)], asScore<Score>(samples[int64_t{choice} + i]));
                pos[static_cast<size_t>(k)] = choice;
            }
        }
        return true;
    };

    std::vector<int32_t> P(starts.begin(), starts.end());
    if (!pass(P, true))
        return best;
    const Score bestForward = best;
    std::vector<int32_t> Q = P;
    if (!pass(Q, false))
        return best;

    // Tie moves of the backward sweep count only when something was gained.
    const bool backwardWins = best > bestForward;
    std::copy(backwardWins ? Q.begin() : P.begin(), backwardWins ? Q.end() : P.end(), starts.begin());
    return backwardWins ? best : bestForward;
}

#define QUILLMORE_SAMPLE_SCORE(Sample, Score)                                                                    \
    template std::vector<Score> windowEnergies<Sample, Score>(std::span<const Sample>, int32_t);                 \
    template Score columnCriterion<Sample, Score>(std::span<const Sample>, int32_t, std::span<const int32_t>);   \
    template Score improveStarts<Sample, Score>(std::span<const Sample>, const PulseLayout&, std::span<int32_t>, \
                                                ImprovementMemo<Score>*, WorkMeter*);
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
