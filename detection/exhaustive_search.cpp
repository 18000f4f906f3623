// The exhaustive combination search: a depth-first walk in the odometer's
// own order that keeps the column sums of every fixed digit, and leaves out
// a whole sub-tree wherever a bound proves that nothing in it can win.
//
// The bound: with c the column sums of the fixed digits and w_j the window
// of a later digit, ||c + sum w_j|| <= ||c|| + sum max ||w_j|| over the starts
// digit j can still take (a range maximum of the window energies' roots).
// A sub-tree is left out when its bound is at most the best S found so far
// (an earlier combination wins a tie) or below the S of a hint that the walk
// is sure to reach. Integer scores wrap; a bound only counts where it proves
// that every true S below it is still below the wrap, because there the
// wrapped S is the true one. Where it cannot prove that, the walk goes on,
// so the result stays exact.
#include "detection/exhaustive_search.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <functional>
#include <type_traits>
#include <vector>

namespace detection {

namespace {

__extension__ typedef __int128 Int128;

// Column sums as they are kept for the bound: exact for integer samples.
template <class Sample>
using WideOf = std::conditional_t<std::is_floating_point_v<Sample>, double, int64_t>;

// The arithmetic of S: modular for an integer score, so that wrapping is
// defined and equals the two's complement reduction of the true sum.
template <class Score>
struct Arithmetic {
    using type = std::make_unsigned_t<Score>;
};
template <>
struct Arithmetic<double> {
    using type = double;
};
template <class Score>
using AccOf = typename Arithmetic<Score>::type;

// Roots of the window energies sqrt(sum_{i<L} x[p+i]^2) for every start p
// whose window touches the series, p = -(L-1) .. N-1, with range maxima.
// `keepGoing` is asked now and then while the table is made; when it says
// no, the table is left unfinished and cancelled() is true.
class WindowRoots {
  public:
    template <class Sample>
    WindowRoots(std::span<const Sample> x, int64_t L, const std::function<bool()>& keepGoing)
    {
        // Cells made between two questions.
        constexpr size_t kAskEvery = size_t{1} << 20;
        size_t made = 0;
        auto ask = [&](size_t cells) {
            made += cells;
            if (made < kAskEvery)
                return true;
            made = 0;
            cancelled_ = !keepGoing();
            return !cancelled_;
        };
        const auto N = static_cast<int64_t>(x.size());
        first_ = -(L - 1);
        const int64_t count = L > 0 ? N + L - 1 : 0;
        std::vector<double> roots(static_cast<size_t>(std::max<int64_t>(count, 0)));
        if constexpr (std::is_floating_point_v<Sample>) {
            for (int64_t p = first_; p < first_ + count; ++p) {
                double e = 0;
                for (int64_t i = std::max<int64_t>(p, 0); i < std::min(p + L, N); ++i)
                    e += x[i] * x[i];
                roots[p - first_] = std::sqrt(e);
                if (!ask(static_cast<size_t>(L)))
                    return;
            }
        } else {
            std::vector<Int128> prefix(x.size() + 1, 0);
            for (size_t i = 0; i < x.size(); ++i)
                prefix[i + 1] = prefix[i] + static_cast<Int128>(x[i]) * x[i];
            for (int64_t p = first_; p < first_ + count; ++p) {
                const Int128 e = prefix[std::min(p + L, N)] - prefix[std::max<int64_t>(p, 0)];
                roots[p - first_] = std::sqrt(static_cast<double>(e));
                if (!ask(1))
                    return;
            }
        }
        largest_ = roots.empty() ? 0.0 : *std::max_element(roots.begin(), roots.end());
        table_.push_back(std::move(roots));
        for (size_t width = 1; 2 * width <= table_[0].size(); width *= 2) {
            const std::vector<double>& below = table_.back();
            std::vector<double> level(below.size() - width);
            for (size_t i = 0; i < level.size(); ++i)
                level[i] = std::max(below[i], below[i + width]);
            table_.push_back(std::move(level));
            if (!ask(table_.back().size()))
                return;
        }
    }

    // The root at start p; 0 for a window entirely off the series.
    double at(int64_t p) const
    {
        const int64_t i = p - first_;
        return i >= 0 && i < static_cast<int64_t>(table_[0].size()) ? table_[0][i] : 0.0;
    }

    // The greatest root over starts lo..hi; 0 when none of them touches the series.
    double maxOver(int64_t lo, int64_t hi) const
    {
        lo = std::max(lo - first_, int64_t{0});
        hi = std::min(hi - first_, static_cast<int64_t>(table_[0].size()) - 1);
        if (lo > hi)
            return 0.0;
        const auto level = static_cast<size_t>(std::bit_width(static_cast<uint64_t>(hi - lo + 1)) - 1);
        const std::vector<double>& t = table_[level];
        return std::max(t[lo], t[hi - (int64_t{1} << level) + 1]);
    }

    double largest() const { return largest_; }
    bool cancelled() const { return cancelled_; }

  private:
    bool cancelled_ = false;
    int64_t first_ = 0;
    double largest_ = 0.0;
    std::vector<std::vector<double>> table_;  // table_[j][i]: max of roots i .. i + 2^j - 1
};

template <class Sample, class Score>
class CombinationSearch {
    using Wide = WideOf<Sample>;
    using Acc = AccOf<Score>;

  public:
    CombinationSearch(std::span<const Sample> x, const ExhaustiveSearchParameters& params,
                      std::span<const int32_t> left, std::span<const int32_t> end, const ProgressCallback& progress)
        : N_(static_cast<int64_t>(x.size())),
          L_(std::max<int32_t>(params.L, 0)),
          Tmin_(params.Tmin),
          Tmax_(params.Tmax),
          m_(static_cast<int>(left.size())),
          left_(left.begin(), left.end()),
          end_(end.begin(), end.begin() + m_),
          progress_(progress),
          roots_(x, L_,
                 [this] {
                     const int64_t first = m_ > 0 ? int64_t{end_[0]} - left_[0] : 1;
                     return !progress_ || progress_(0, static_cast<uint64_t>(std::max<int64_t>(first, 1)));
                 }),
          padded_(static_cast<size_t>(N_ + 2 * L_), Sample{}),
          P_(m_),
          start_(m_),
          last_(m_),
          next_(m_),
          initial_(m_),
          columns_(m_ > 1 ? m_ - 1 : 0, std::vector<Wide>(L_)),
          norms_(m_, 0.0),
          leafColumns_(L_, Acc{}),
          bestPositions_(m_)
    {
        std::copy(x.begin(), x.end(), padded_.begin() + L_);
        // Rounding slack of the bound: relative for the sums of squares and
        // roots, absolute for the double column sums that may cancel.
        relative_ = 4.0 * static_cast<double>(L_ + m_ + 16) * DBL_EPSILON;
        absolute_ = 4.0 * (m_ + 1) * DBL_EPSILON * m_ * roots_.largest();
    }

    // A hint that the walk surely reaches lets it leave out, from the start,
    // every sub-tree that cannot come up to the hint's S.
    void takeHint(std::span<const int32_t> hint)
    {
        if (static_cast<int>(hint.size()) != m_ || m_ == 0)
            return;
        for (int k = 0; k < m_; ++k) {
            if (hint[k] < left_[k] || hint[k] >= end_[k])
                return;
            if (k > 0 && (int64_t{hint[k]} - hint[k - 1] < Tmin_ || int64_t{hint[k]} - hint[k - 1] > Tmax_))
                return;
        }
        std::vector<int64_t> p(hint.begin(), hint.end());
        hasHint_ = true;
        hintBound_ = static_cast<double>(judge(p));
    }

    ExhaustiveSearchResult<Score> run(std::span<int32_t> positions)
    {
        ExhaustiveSearchResult<Score> result;
        if (m_ == 0)
            return result;
        total_ = static_cast<uint64_t>(std::max<int64_t>(int64_t{end_[0]} - left_[0], 1));
        if (roots_.cancelled() || !report(0)) {
            result.cancelled = true;
            return result;
        }
        if (left_[0] >= end_[0]) {
            // The odometer stops after its first step: only the left ends are judged.
            std::copy(left_.begin(), left_.end(), bestPositions_.begin());
            best_ = judge(bestPositions_);
            found_ = true;
        } else if (!walk()) {
            result.cancelled = true;
            return result;
        }
        if (!report(total_)) {
            result.cancelled = true;
            return result;
        }
        for (int k = 0; k < m_; ++k)
            positions[k] = static_cast<int32_t>(bestPositions_[k]);
        result.best = best_;
        result.evaluated = found_;
        return result;
    }

  private:
    static constexpr uint64_t kReportEvery = uint64_t{1} << 16;  // judged combinations and sub-trees

    const Sample* window(int64_t p) const { return padded_.data() + (std::clamp(p, -L_, N_) + L_); }

    // S of one combination, the columns summed in pulse order.
    Score judge(const std::vector<int64_t>& p) const
    {
        Acc S{};
        for (int64_t i = 0; i < L_; ++i) {
            Acc column{};
            for (int k = 0; k < m_; ++k)
                column += static_cast<Acc>(window(p[k])[i]);
            S += column * column;
        }
        return static_cast<Score>(S);
    }

    // Whether nothing whose true root of S is at most `root` can win. The
    // bound must not reach the wrap for this to hold, and it never does
    // where it counts: the best S and the hint's S, wrapped or not, lie
    // below 2^31 (2^63), so a bound at or above that decides nothing.
    bool hopeless(double root) const
    {
        const double r = root * (1 + relative_) + absolute_;
        const double bound = r * r * (1 + relative_);
        return (found_ && bound <= bestBound_) || (hasHint_ && bound < hintBound_);
    }

    bool report(uint64_t done)
    {
        nextReport_ = work_ + kReportEvery;
        return !progress_ || progress_(done, total_);
    }

    bool tick() { return ++work_ < nextReport_ || report(static_cast<uint64_t>(P_[0] - start_[0])); }

    // Seat and last value of digit k under the digits before it.
    void open(int k)
    {
        if (k == 0) {
            start_[0] = left_[0];
            last_[0] = std::max<int64_t>(left_[0], int64_t{end_[0]} - 1);
        } else {
            const int64_t before = P_[k - 1];
            start_[k] = initial_[k - 1] ? left_[k] : std::max<int64_t>(left_[k], before + Tmin_);
            last_[k] = std::max(start_[k], std::min<int64_t>(int64_t{end_[k]} - 1, before + Tmax_));
        }
        next_[k] = start_[k];
    }

    // Sum over the digits after k of the greatest window root each can take
    // while digit k holds `value`.
    double laterRoots(int k, int64_t value, bool initial) const
    {
        int64_t lo = initial ? left_[k + 1] : std::max<int64_t>(left_[k + 1], value + Tmin_);
        int64_t hi = std::max(lo, std::min<int64_t>(int64_t{end_[k + 1]} - 1, value + Tmax_));
        double total = roots_.maxOver(lo, hi);
        for (int j = k + 2; j < m_; ++j) {
            // Seats and limits only grow with the digit before, and no digit
            // goes below its left end.
            lo = initial ? left_[j] : std::max<int64_t>(left_[j], lo + Tmin_);
            hi = std::max({int64_t{left_[j]}, hi + Tmin_, std::min<int64_t>(int64_t{end_[j]} - 1, hi + Tmax_)});
            total += roots_.maxOver(lo, hi);
        }
        return total;
    }

    void fixColumns(int k, int64_t value)
    {
        const Sample* w = window(value);
        std::vector<Wide>& c = columns_[k];
        double energy = 0;
        if (k == 0) {
            for (int64_t i = 0; i < L_; ++i)
                c[i] = Wide{} + static_cast<Wide>(w[i]);
        } else {
            const std::vector<Wide>& before = columns_[k - 1];
            for (int64_t i = 0; i < L_; ++i)
                c[i] = before[i] + static_cast<Wide>(w[i]);
        }
        for (int64_t i = 0; i < L_; ++i)
            energy += static_cast<double>(c[i]) * static_cast<double>(c[i]);
        norms_[k] = std::sqrt(energy);
    }

    // Every value of the last digit under the fixed ones.
    bool runLastDigit()
    {
        const int k = m_ - 1;
        open(k);
        const double fixedRoot = k > 0 ? norms_[k - 1] : 0.0;
        if (k > 0)
            std::transform(columns_[k - 1].begin(), columns_[k - 1].end(), leafColumns_.begin(),
                           [](Wide c) { return static_cast<Acc>(c); });
        for (int64_t v = start_[k]; v <= last_[k]; ++v) {
            if (!tick())
                return false;
            if (hopeless(fixedRoot + roots_.at(v)))
                continue;
            const Sample* w = window(v);
            Acc S{};
            for (int64_t i = 0; i < L_; ++i) {
                const Acc column = leafColumns_[i] + static_cast<Acc>(w[i]);
                S += column * column;
            }
            const auto score = static_cast<Score>(S);
            if (!found_ || score > best_) {
                found_ = true;
                best_ = score;
                bestBound_ = static_cast<double>(score);
                std::copy(P_.begin(), P_.begin() + k, bestPositions_.begin());
                bestPositions_[k] = v;
            }
        }
        return true;
    }

    // The depth-first walk; false when cancelled.
    bool walk()
    {
        if (m_ == 1)
            return runLastDigit();
        int k = 0;
        open(0);
        for (;;) {
            if (next_[k] > last_[k]) {
                if (k == 0)
                    return true;
                --k;
                continue;
            }
            const int64_t v = next_[k]++;
            P_[k] = v;
            initial_[k] = (k == 0 || initial_[k - 1]) && v == start_[k];
            if (!tick())
                return false;
            const double later = laterRoots(k, v, initial_[k]);
            if (hopeless((k > 0 ? norms_[k - 1] : 0.0) + roots_.at(v) + later))
                continue;
            fixColumns(k, v);
            if (hopeless(norms_[k] + later))
                continue;
            if (k + 2 == m_) {
                if (!runLastDigit())
                    return false;
            } else {
                ++k;
                open(k);
            }
        }
    }

    const int64_t N_;
    const int64_t L_;
    const int64_t Tmin_, Tmax_;
    const int m_;
    const std::vector<int32_t> left_, end_;
    const ProgressCallback& progress_;
    const WindowRoots roots_;
    std::vector<Sample> padded_;  // the samples with L silent samples on either side

    // The walk: per digit its value, first and last value, next value, and
    // whether it lies on the very first descent.
    std::vector<int64_t> P_, start_, last_, next_;
    std::vector<char> initial_;
    std::vector<std::vector<Wide>> columns_;  // columns_[k]: column sums of digits 0..k
    std::vector<double> norms_;               // norms_[k]: root of the sum of squares of columns_[k]
    std::vector<Acc> leafColumns_;            // columns_[m-2] in the arithmetic of S

    std::vector<int64_t> bestPositions_;
    Score best_{};
    bool found_ = false;
    double bestBound_ = 0.0;
    bool hasHint_ = false;
    double hintBound_ = 0.0;
    double relative_ = 0.0, absolute_ = 0.0;

    uint64_t total_ = 0, work_ = 0, nextReport_ = 0;
};

}  // namespace

template <class Sample, class Score>
ExhaustiveSearchResult<Score> searchCombinations(std::span<const Sample> samples,
                                                 const ExhaustiveSearchParameters& params,
                                                 std::span<const int32_t> left, std::span<const int32_t> end,
                                                 std::span<const int32_t> hint, std::span<int32_t> positions,
                                                 const ProgressCallback& progress)
{
    if (end.size() < left.size() || positions.size() < left.size())
        return {};
    CombinationSearch<Sample, Score> search(samples, params, left, end, progress);
    search.takeHint(hint);
    return search.run(positions);
}

template ExhaustiveSearchResult<int32_t> searchCombinations<int16_t, int32_t>(
    std::span<const int16_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
template ExhaustiveSearchResult<int64_t> searchCombinations<int16_t, int64_t>(
    std::span<const int16_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
template ExhaustiveSearchResult<int64_t> searchCombinations<int32_t, int64_t>(
    std::span<const int32_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
template ExhaustiveSearchResult<int64_t> searchCombinations<int64_t, int64_t>(
    std::span<const int64_t>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);
template ExhaustiveSearchResult<double> searchCombinations<double, double>(
    std::span<const double>, const ExhaustiveSearchParameters&, std::span<const int32_t>, std::span<const int32_t>,
    std::span<const int32_t>, std::span<int32_t>, const ProgressCallback&);

}  // namespace detection
