#include "tests/reference/literal_estimators.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "base/formatted_text.h"
#include "base/wrapping.h"

namespace literal {
namespace {

uint32_t u32(int32_t v) { return static_cast<uint32_t>(v); }
int32_t s32(uint32_t v) { return static_cast<int32_t>(v); }
uint32_t square(int32_t v) { return u32(v) * u32(v); }

int32_t sampleAt(const int16_t* x, int32_t N, int32_t index) { return index >= 0 && index < N ? x[index] : 0; }

template <typename Position>
int32_t sumOfColumnSquares(const int16_t* x, int32_t N, int32_t L, const Position* p, int32_t m)
{
    uint32_t S = 0;
    for (int32_t i = 0; i < L; ++i) {
        uint32_t column = 0;
        for (int32_t k = 0; k < m; ++k)
            column += u32(sampleAt(x, N, static_cast<int32_t>(p[k]) + i));
        S += column * column;
    }
    return s32(S);
}

std::string countProblem(const synthesis::SeriesHeader& series, uint16_t m,
                         std::initializer_list<const std::vector<int16_t>*> arrays)
{
    std::string text;
    if (m == 0)
        return "The pulse count is 0; it must be at least 1.\n";
    if (series.dwSeriesSize > series.lpSeriesData.size()) {
        base::appendFormat(text, "The series record holds %zu samples, fewer than its length dwSeriesSize (%u).\n",
                           series.lpSeriesData.size(), series.dwSeriesSize);
        return text;
    }
    for (const auto* array : arrays)
        if (array->size() < m) {
            base::appendFormat(text, "The pulse count %d is above the %zu positions the series can hold.\n", m,
                               array->size());
            return text;
        }
    return {};
}

bool accept(base::MessageSink& sink, const char* caption, const std::string& problem)
{
    if (problem.empty())
        return true;
    sink.messageBox("Несовместимые входные параметры!\n\n" + problem, caption, base::MessageIcon::Warning);
    return false;
}

std::vector<detection::AdmissibleRange> rangesOf(uint16_t m, uint32_t N, uint16_t L, uint16_t Tmin, uint16_t Tmax)
{
    std::vector<detection::AdmissibleRange> ranges(m);
    for (uint16_t k = 0; k < m; ++k)
        ranges[k] = detection::admissibleRange(k, m, N, L, Tmin, Tmax);
    return ranges;
}

void noMemory(base::MessageSink& sink, const char* name)
{
    sink.messageBox(std::string("Нет памяти для ") + name + "!", "", base::MessageIcon::None);
}

}  // namespace

int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series)
{
    if (!accept(sink, " estimateByEnergies ", detection::fixedCaseProblem(series, Tmin, Tmax, L, m)))
        return detection::kEstimateFailure;
    const int32_t N = static_cast<int32_t>(series.dwSeriesSize);
    const int16_t* x = series.lpSeriesData.data();

    std::vector<int32_t*> ppDw;
    std::vector<detection::AdmissibleRange> range;
    std::vector<int32_t> block;
    try {
        ppDw.assign(m, nullptr);
        range = rangesOf(m, series.dwSeriesSize, L, Tmin, Tmax);
    } catch (const std::bad_alloc&) {
        noMemory(sink, "ppDw");
        return detection::kEstimateFailure;
    }
    try {
        block.assign(static_cast<size_t>(m) * static_cast<size_t>(N), detection::kEstimateFailure);
    } catch (const std::bad_alloc&) {
        noMemory(sink, "ppDw[m]");
        return detection::kEstimateFailure;
    }
    for (size_t k = 0; k < m; ++k)
        ppDw[k] = block.data() + k * static_cast<size_t>(N);

    auto energy = [&](int32_t l) {
        uint32_t e = 0;
        for (int32_t i = 0; i < L; ++i)
            e += square(x[l + i]);
        return e;
    };

    for (int32_t l = range[0].lo; l <= range[0].hi; ++l)
        ppDw[0][l] = s32(energy(l));
    for (int32_t k = 1; k < m; ++k) {
        const detection::AdmissibleRange before = range[k - 1];
        const int32_t* previous = ppDw[k - 1];
        for (int32_t l = range[k].lo; l <= range[k].hi; ++l) {
            int32_t best = detection::kEstimateFailure;
            const int32_t jFrom = std::max(l - Tmax, before.lo), jTo = std::min(l - Tmin, before.hi);
            for (int32_t j = jFrom; j <= jTo; ++j)
                if (previous[j] > best)
                    best = previous[j];
            ppDw[k][l] = s32(u32(best) + energy(l));
        }
    }

    // Scanning upward and taking only a strictly greater value keeps the
    // lowest start among equals, at the last pulse and all the way back.
    std::vector<int32_t> p(m, -1);
    int32_t best = detection::kEstimateFailure;
    for (int32_t l = range[m - 1].lo; l <= range[m - 1].hi; ++l)
        if (ppDw[m - 1][l] > best) {
            best = ppDw[m - 1][l];
            p[m - 1] = l;
        }
    for (int32_t k = m - 2; k >= 0; --k) {
        best = detection::kEstimateFailure;
        const int32_t jFrom = std::max(p[k + 1] - Tmax, range[k].lo), jTo = std::min(p[k + 1] - Tmin, range[k].hi);
        for (int32_t j = jFrom; j <= jTo; ++j)
            if (ppDw[k][j] > best) {
                best = ppDw[k][j];
                p[k] = j;
            }
    }

    for (int32_t k = 0; k < m; ++k)
        series.lpFoundPositions[k] = static_cast<int16_t>(p[k]);
    series.wFoundPulses = m;
    return detection::measureOfSum(sumOfColumnSquares(x, N, L, p.data(), m), m);
}

int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series)
{
    if (!accept(sink, " improvePositions ", detection::fixedCaseProblem(series, Tmin, Tmax, L, m)))
        return detection::kEstimateFailure;
    const int32_t N = static_cast<int32_t>(series.dwSeriesSize);
    const int16_t* x = series.lpSeriesData.data();

    std::vector<int32_t*> ppSums;
    std::vector<detection::AdmissibleRange> range;
    std::vector<int32_t> block, P, Q;
    try {
        ppSums.assign(m, nullptr);
        range = rangesOf(m, series.dwSeriesSize, L, Tmin, Tmax);
    } catch (const std::bad_alloc&) {
        noMemory(sink, "ppSums");
        return detection::kEstimateFailure;
    }
    try {
        block.assign(static_cast<size_t>(m) * L, 0);
        P.assign(m, 0);
        Q.assign(m, 0);
    } catch (const std::bad_alloc&) {
        noMemory(sink, "ppSums[]");
        return detection::kEstimateFailure;
    }
    for (size_t k = 0; k < m; ++k)
        ppSums[k] = block.data() + k * L;

    for (int32_t k = 0; k < m; ++k)
        P[k] = Q[k] = series.lpFoundPositions[k];
    // Row k holds, per offset, the column sum of every pulse but k: a
    // candidate for pulse k then costs L products.
    uint32_t S = 0;
    for (int32_t i = 0; i < L; ++i) {
        uint32_t column = 0;
        for (int32_t k = 0; k < m; ++k)
            column += u32(sampleAt(x, N, P[k] + i));
        S += column * column;
        for (int32_t k = 0; k < m; ++k)
            ppSums[k][i] = s32(column - u32(sampleAt(x, N, P[k] + i)));
    }
    int32_t best = s32(S);

    auto pass = [&](std::vector<int32_t>& pos, bool forward) {
        for (int32_t step = 0; step < m; ++step) {
            const int32_t k = forward ? step : m - 1 - step;
            int32_t from = range[k].lo, to = range[k].hi;
            if (k < m - 1) {
                from = std::max(from, pos[k + 1] - Tmax);
                to = std::min(to, pos[k + 1] - Tmin);
            }
            if (k > 0) {
                from = std::max(from, pos[k - 1] + Tmin);
                to = std::min(to, pos[k - 1] + Tmax);
            }
            const int32_t* others = ppSums[k];
            int32_t choice = pos[k];
            for (int32_t c = from; c <= to; ++c) {
                uint32_t T = 0;
                for (int32_t i = 0; i < L; ++i)
                    T += square(s32(u32(others[i]) + u32(x[c + i])));
                // Forward a pulse moves only on a strict gain, backward on a
                // tie as well, ending at the highest of the tying starts.
                if (forward ? s32(T) > best : s32(T) >= best) {
                    choice = c;
                    best = s32(T);
                }
            }
            const int32_t old = pos[k];
            if (choice != old) {
                for (int32_t j = 0; j < m; ++j) {
                    if (j == k)
                        continue;
                    for (int32_t i = 0; i < L; ++i)
                        ppSums[j][i] = s32(u32(ppSums[j][i]) + u32(x[choice + i]) - u32(sampleAt(x, N, old + i)));
                }
                pos[k] = choice;
            }
        }
    };

    pass(P, true);
    const int32_t bestForward = best;
    Q = P;
    pass(Q, false);

    // Tie moves of the backward pass count only when something was gained.
    const bool backwardWins = best > bestForward;
    const std::vector<int32_t>& result = backwardWins ? Q : P;
    for (int32_t k = 0; k < m; ++k)
        series.lpFoundPositions[k] = static_cast<int16_t>(result[k]);
    return detection::measureOfSum(backwardWins ? best : bestForward, m);
}

int32_t searchInIntervals(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                          synthesis::SeriesHeader& series)
{
    if (!accept(sink, " searchInIntervals ",
                countProblem(series, m, {&series.lpFoundPositions, &series.lpMinPositions, &series.lpMaxPositions})))
        return detection::kEstimateFailure;
    const int32_t N = static_cast<int32_t>(series.dwSeriesSize);
    const int16_t* x = series.lpSeriesData.data();

    std::vector<int32_t> left, end, P;
    try {
        left.assign(m, 0);
        end.assign(m, 0);
        P.assign(m, 0);
    } catch (const std::bad_alloc&) {
        noMemory(sink, "leftInIntervals");
        return detection::kEstimateFailure;
    }
    for (int32_t k = 0; k < m; ++k) {
        left[k] = series.lpMinPositions[k];
        end[k] = series.lpMaxPositions[k] + 1;
        P[k] = left[k];
    }

    int32_t best = detection::kEstimateFailure;
    for (;;) {
        const int32_t S = sumOfColumnSquares(x, N, L, P.data(), m);
        if (S > best) {
            best = S;
            for (int32_t k = 0; k < m; ++k)
                series.lpFoundPositions[k] = static_cast<int16_t>(P[k]);
        }
        // An odometer whose last digit runs fastest; a digit's limit also
        // keeps it within Tmax of the digit before, and every later digit
        // restarts at the first start the gap rule allows.
        int32_t k = m - 1;
        for (;;) {
            int32_t limit = end[k];
            if (k > 0)
                limit = std::min(limit, P[k - 1] + Tmax + 1);
            ++P[k];
            for (int32_t j = k + 1; j < m; ++j)
                P[j] = std::max(left[j], P[j - 1] + Tmin);
            if (P[k] >= limit && k > 0) {
                --k;
                continue;
            }
            break;
        }
        // ">=" rather than "==": a first interval given empty still ends.
        if (P[0] >= end[0])
            break;
    }
    return detection::measureOfSum(best, m);
}

int32_t runImprovementLoop(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, int32_t startMeasure, uint16_t& passes)
{
    int32_t last = startMeasure;
    passes = 0;
    while (passes < detection::kMaxImprovementPasses) {
        const int32_t next = literal::improvePositions(sink, Tmin, Tmax, L, m, series);
        if (next == last)
            break;
        last = next;
        ++passes;
    }
    return last;
}

void runChainProgramme(const detection::StartRegions& regions, detection::ChainTables& t, uint16_t Tmin, uint16_t Tmax)
{
    std::fill(t.D.begin(), t.D.end(), detection::noChainValue);
    std::fill(t.B.begin(), t.B.end(), static_cast<int32_t>(t.N + 1));
    detection::forEachStart(regions.sets[detection::omegaFirstOnly].get(), [&](int32_t p) {
        t.D[p] = t.E[p];
        t.B[p] = -1;
    });
    auto scanLink = [&](int32_t p) {
        int32_t best = 0, from = -2;
        for (int32_t q = std::max<int32_t>(p - Tmax, 0); q <= p - Tmin; ++q) {
            if (t.D[q] > best) {
                best = t.D[q];
                from = q;
            }
        }
        t.D[p] = base::wrapAdd(best, t.E[p]);
        t.B[p] = from;
    };
    detection::forEachStart(regions.sets[detection::omegaFirstAndLater].get(), scanLink);
    detection::forEachStart(regions.sets[detection::omegaLaterOnly].get(), scanLink);
}

}  // namespace literal
