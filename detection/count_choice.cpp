#include "detection/count_choice.h"

#include "detection/parallel_work.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "base/wrapping.h"
#include "detection/parallel_work.h"

namespace detection {

namespace {

template <class Score>
using Ops = ScoreArithmetic<Score>;

// Wide enough for 2 L Eout of any 64-bit energy.
__extension__ typedef __int128 Wide;

// What a fit must beat to be chosen: -1 for the system's 32-bit measures, the
// lowest value of the type otherwise.
template <class Score>
Score choiceFloor()
{
    if constexpr (std::is_same_v<Score, int32_t>)
        return -1;
    else
        return std::numeric_limits<Score>::lowest();
}

}  // namespace

template <class Score>
Score measureOf(Score S, int64_t m)
{
    if (m == 0)
        return 0;
    if constexpr (std::is_same_v<Score, int32_t>)
        return base::wrapAdd(base::wrapTo32(m), base::wrapMul(2, S)) / (2 * static_cast<int32_t>(m));
    else if constexpr (std::is_integral_v<Score>)
        return (m + 2 * S) / (2 * m);
    else
        return S / static_cast<Score>(m);
}

template <class Sample, class Score>
Score windowSquares(std::span<const Sample> x, int32_t L, std::span<const int32_t> starts)
{
    Score total = 0;
    const auto N = static_cast<int64_t>(x.size());
    for (const int32_t p : starts)
        for (int64_t t = std::max<int64_t>(p, 0); t < std::min<int64_t>(int64_t{p} + L, N); ++t) {
            const auto v = static_cast<Score>(x[static_cast<size_t>(t)]);
            total = Ops<Score>::add(total, Ops<Score>::mul(v, v));
        }
    return total;
}

namespace {

// A chain of the programme with its measure and squares.
template <class Sample, class Score>
void judgeChain(std::span<const Sample> x, int32_t L, const std::vector<int32_t>& positions, Score& measure,
                Score& squares)
{
    measure = measureOf(columnCriterion<Sample, Score>(x, L, positions), static_cast<int64_t>(positions.size()));
    squares = windowSquares<Sample, Score>(x, L, positions);
}

// Fit of count m from its chain: the chain judged, then improved until settled.
template <class Sample, class Score>
CountFit<Score> fitChain(std::span<const Sample> x, const PulseLayout& layout, int32_t m, std::vector<int32_t> chain,
                         WorkMeter* meter = nullptr)
{
    CountFit<Score> fit;
    fit.count = m;
    fit.programme = std::move(chain);
    judgeChain(x, layout.L, fit.programme, fit.programmeMeasure, fit.programmeSquares);
    fit.improved = fit.programme;
    fit.improvedMeasure =
        improveUntilSettled<Sample, Score>(x, layout, fit.improved, fit.programmeMeasure, fit.passes, meter);
    fit.improvedSquares = windowSquares<Sample, Score>(x, layout.L, fit.improved);
    return fit;
}

// The chains of every count mFrom..mTo from a programme over the window
// energies; the energies and the table are let go before the fits begin.
// Empty when the meter said stop.
template <class Sample, class Score>
std::vector<std::vector<int32_t>> programmeChains(std::span<const Sample> x, const PulseLayout& layout, int32_t mFrom,
                                                  int32_t mTo, WorkMeter* meter)
{
    const std::vector<Score> energies = windowEnergies<Sample, Score>(x, layout.L);
    if (meter && !meter->advance(2 * x.size()))
        return {};
    const EnergyProgramme<Score> programme(energies, layout, mFrom, mTo, kDenseProgrammeBytes, meter);
    if (meter && meter->stopped())
        return {};
    return programme.chains(meter);
}

}  // namespace

template <class Sample, class Score>
Score improveUntilSettled(std::span<const Sample> x, const PulseLayout& layout, std::span<int32_t> starts,
                          Score startMeasure, int32_t& passes, WorkMeter* meter)
{
    Score last = startMeasure;
    passes = 0;
    // A pass that confirms the one before mostly scans what that one scanned.
    ImprovementMemo<Score> memo;
    memo.budget = improvementMemoBudget(static_cast<uint64_t>(std::max<int64_t>(layout.N - layout.L + 1, 1)));
    while (passes < kMostImprovementPasses) {
        const Score next = measureOf(improveStarts<Sample, Score>(x, layout, starts, &memo, meter),
                                     static_cast<int64_t>(starts.size()));
        if (meter && meter->stopped())
            break;
        if (next == last)
            break;
        last = next;
        ++passes;
    }
    return last;
}

template <class Sample, class Score>
CountFit<Score> fitCount(std::span<const Sample> x, const PulseLayout& layout, const EnergyProgramme<Score>& programme,
                         int32_t m)
{
    std::vector<int32_t> chain(static_cast<size_t>(m), -1);
    programme.positions(m, chain);
    return fitChain<Sample, Score>(x, layout, m, std::move(chain));
}

template <class Score>
CountChoice<Score>::CountChoice() : bestProgramme(choiceFloor<Score>()), bestImproved(choiceFloor<Score>())
{
}

template <class Score>
void CountChoice<Score>::consider(const CountFit<Score>& fit)
{
    // Strict comparisons: on equal measures the smaller count stays.
    if (fit.programmeMeasure > bestProgramme) {
        bestProgramme = fit.programmeMeasure;
        byProgramme = fit;
    }
    if (fit.improvedMeasure > bestImproved) {
        bestImproved = fit.improvedMeasure;
        byImprovement = fit;
    }
    lastImproved = fit.improvedMeasure;
}

template <class Sample, class Score>
CountChoice<Score> chooseCount(std::span<const Sample> x, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                               const std::function<void(const CountFit<Score>&)>& visit, WorkMeter* meter,
                               unsigned threads)
{
    mFrom = std::max(mFrom, 1);
    std::vector<std::vector<int32_t>> chains = programmeChains<Sample, Score>(x, layout, mFrom, mTo, meter);
    CountChoice<Score> choice;
    if (meter && meter->stopped())
        return choice;
    if (threads <= 1) {
        for (int32_t m = mFrom; m <= mTo; ++m) {
            const CountFit<Score> fit =
                fitChain<Sample, Score>(x, layout, m, std::move(chains[static_cast<size_t>(m - mFrom)]), meter);
            if (meter && (meter->stopped() || !meter->advance(4 * static_cast<uint64_t>(m) * layout.L)))
                return choice;
            if (visit)
                visit(fit);
            choice.consider(fit);
        }
        return choice;
    }
    // The fits of a few counts at a time on the threads, then seen and
    // considered in count order: the same choice and visits as one thread.
    WorkMeter unmetered;
    WorkMeter& outer = meter ? *meter : unmetered;
    const size_t total = static_cast<size_t>(mTo - mFrom + 1);
    const size_t batch = static_cast<size_t>(threads) * 4;
    for (size_t first = 0; first < total; first += batch) {
        std::vector<CountFit<Score>> fits(std::min(batch, total - first));
        const bool done = runTasks(fits.size(), threads, outer, [&](size_t t, WorkMeter& taskMeter) {
            const int32_t m = mFrom + static_cast<int32_t>(first + t);
            fits[t] = fitChain<Sample, Score>(x, layout, m, std::move(chains[first + t]), &taskMeter);
            taskMeter.advance(4 * static_cast<uint64_t>(m) * layout.L);
        });
        if (!done)
            return choice;
        for (const CountFit<Score>& fit : fits) {
            if (visit)
                visit(fit);
            choice.consider(fit);
        }
    }
    return choice;
}

template <class Score>
Score noisePerWindow(Score outside, int64_t N, int64_t n, int32_t L)
{
    const int64_t pOut = N - n * L;
    if (pOut <= 0)
        return outside;
    if constexpr (std::is_same_v<Score, int32_t>) {
        const int64_t v = (pOut + 2 * int64_t{L} * outside) / (2 * pOut);
        return static_cast<int32_t>(
            std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    } else if constexpr (std::is_integral_v<Score>) {
        const Wide v = (Wide{pOut} + 2 * Wide{L} * outside) / (2 * Wide{pOut});
        return static_cast<Score>(
            std::clamp<Wide>(v, std::numeric_limits<Score>::min(), std::numeric_limits<Score>::max()));
    } else {
        return static_cast<Score>(L) * outside / static_cast<Score>(pOut);
    }
}

template <class Sample, class Score>
CountRanking<Score> rankCounts(std::span<const Sample> x, const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                               int32_t capacity, WorkMeter* meter)
{
    mFrom = std::max(mFrom, 1);
    Score whole = 0;
    for (const Sample s : x) {
        const auto v = static_cast<Score>(s);
        whole = Ops<Score>::add(whole, Ops<Score>::mul(v, v));
    }

    std::vector<std::vector<int32_t>> chains = programmeChains<Sample, Score>(x, layout, mFrom, mTo, meter);
    CountRanking<Score> ranking;
    if (meter && meter->stopped())
        return ranking;
    for (int32_t n = mFrom; n <= mTo; ++n) {
        if (meter && !meter->advance(2 * static_cast<uint64_t>(n) * layout.L))
            return ranking;
        RankedFit<Score> fit;
        fit.count = n;
        fit.positions = std::move(chains[static_cast<size_t>(n - mFrom)]);
        judgeChain(x, layout.L, fit.positions, fit.measure, fit.squares);
        fit.noise = noisePerWindow(Ops<Score>::sub(whole, fit.squares), layout.N, n, layout.L);

        std::vector<int32_t>& list = ranking.ranked;
        const int32_t at = rankSlot(static_cast<int32_t>(list.size()), fit.squares, [&](int32_t i) {
            return ranking.fits[static_cast<size_t>(list[static_cast<size_t>(i)] - mFrom)].squares;
        });
        if (at < capacity) {
            list.insert(list.begin() + at, n);
            if (static_cast<int32_t>(list.size()) > capacity)
                list.pop_back();
        }
        ranking.fits.push_back(std::move(fit));
    }
    return ranking;
}

#define QUILLMORE_COUNT_CHOICE(Sample, Score)                                                                          \
    template Score windowSquares<Sample, Score>(std::span<const Sample>, int32_t, std::span<const int32_t>);           \
    template Score improveUntilSettled<Sample, Score>(std::span<const Sample>, const PulseLayout&, std::span<int32_t>, \
                                                      Score, int32_t&, WorkMeter*);                                    \
    template CountFit<Score> fitCount<Sample, Score>(std::span<const Sample>, const PulseLayout&,                      \
                                                     const EnergyProgramme<Score>&, int32_t);                          \
    template CountChoice<Score> chooseCount<Sample, Score>(                                                            \
        std::span<const Sample>, const PulseLayout&, int32_t, int32_t,                                                 \
        const std::function<void(const CountFit<Score>&)>&, WorkMeter*, unsigned);                                     \
    template CountRanking<Score> rankCounts<Sample, Score>(std::span<const Sample>, const PulseLayout&, int32_t,       \
                                                           int32_t, int32_t, WorkMeter*);
QUILLMORE_COUNT_CHOICE(int16_t, int32_t)
QUILLMORE_COUNT_CHOICE(int16_t, int64_t)
QUILLMORE_COUNT_CHOICE(int32_t, int64_t)
QUILLMORE_COUNT_CHOICE(int64_t, int64_t)
QUILLMORE_COUNT_CHOICE(double, double)
#undef QUILLMORE_COUNT_CHOICE

template int32_t measureOf<int32_t>(int32_t, int64_t);
template int64_t measureOf<int64_t>(int64_t, int64_t);
template double measureOf<double>(double, int64_t);
template int32_t noisePerWindow<int32_t>(int32_t, int64_t, int64_t, int32_t);
template int64_t noisePerWindow<int64_t>(int64_t, int64_t, int64_t, int32_t);
template double noisePerWindow<double>(double, int64_t, int64_t, int32_t);
template struct CountChoice<int32_t>;
template struct CountChoice<int64_t>;
template struct CountChoice<double>;

}  // namespace detection
