#include "tests/reference/literal_span_programme.h"

#include <algorithm>
#include <limits>

namespace literal {

std::vector<int32_t> programmeStarts(std::span<const int64_t> scores, const detection::PulseLayout& layout, int32_t m)
{
    using Ops = detection::ScoreArithmetic<int64_t>;
    const int64_t empty = Ops::emptyCell;
    std::vector<detection::StartRange> range(m);
    std::vector<std::vector<int64_t>> row(m);
    for (int32_t k = 0; k < m; ++k) {
        range[k] = detection::admissibleStarts(k, m, layout);
        range[k].hi = std::min<int64_t>(range[k].hi, static_cast<int64_t>(scores.size()) - 1);
        row[k].assign(range[k].empty() ? 0 : static_cast<size_t>(range[k].hi - range[k].lo + 1), empty);
    }
    auto cell = [&](int32_t k, int64_t l) -> int64_t& { return row[k][static_cast<size_t>(l - range[k].lo)]; };
    for (int64_t l = range[0].lo; l <= range[0].hi; ++l)
        cell(0, l) = scores[l];
    for (int32_t k = 1; k < m; ++k)
        for (int64_t l = range[k].lo; l <= range[k].hi; ++l) {
            int64_t best = empty;
            for (int64_t j = std::max(l - layout.Tmax, range[k - 1].lo);
                 j <= std::min(l - layout.Tmin, range[k - 1].hi); ++j)
                best = std::max(best, cell(k - 1, j));
            cell(k, l) = Ops::add(best, scores[l]);
        }

    std::vector<int32_t> p(m, -1);
    int64_t best = empty;
    for (int64_t l = range[m - 1].lo; l <= range[m - 1].hi; ++l)
        if (cell(m - 1, l) > best) {
            best = cell(m - 1, l);
            p[m - 1] = static_cast<int32_t>(l);
        }
    for (int32_t k = m - 2; k >= 0; --k) {
        best = empty;
        const int64_t next = p[k + 1];
        for (int64_t j = std::max(next - layout.Tmax, range[k].lo); j <= std::min(next - layout.Tmin, range[k].hi); ++j)
            if (cell(k, j) > best) {
                best = cell(k, j);
                p[k] = static_cast<int32_t>(j);
            }
    }
    return p;
}

}  // namespace literal
