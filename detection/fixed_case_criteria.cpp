#include "detection/fixed_case_criteria.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/estimator_guards.h"
#include "base/formatted_text.h"
#include "base/wrapping.h"

namespace detection {

namespace {

// Sums and products wrap at 32 bits by definition.
using base::formatText;
using base::wrapAdd;
using base::wrapMul;
using base::wrapSquare;

// The samples the criteria may read: never more than the record holds.
int32_t readableSize(const synthesis::SeriesHeader& series)
{
    return static_cast<int32_t>(std::min<size_t>(series.dwSeriesSize, series.lpSeriesData.size()));
}

// Positions handed in from outside (true positions, a stale or failed
// estimate, -1 after synthesis) may point off the series; off it the series
// is silent.
int32_t sampleAt(const int16_t* x, int32_t N, int32_t index) { return index >= 0 && index < N ? x[index] : 0; }

template <typename Position>
int32_t sumOfColumnSquares(const int16_t* x, int32_t N, int32_t L, const Position* p, int32_t m)
{
    int32_t S = 0;
    for (int32_t i = 0; i < L; ++i) {
        int32_t column = 0;
        for (int32_t k = 0; k < m; ++k)
            column = wrapAdd(column, sampleAt(x, N, static_cast<int32_t>(p[k]) + i));
        S = wrapAdd(S, wrapSquare(column));
    }
    return S;
}

struct Range64 {
    int64_t lo, hi;
};

// Wide enough that no argument combination overflows.
Range64 range64(int64_t k, int64_t m, int64_t N, int64_t L, int64_t Tmin, int64_t Tmax)
{
    return {std::max(Tmin * k, N - Tmax * (m - k)), std::min(Tmax * (k + 1) - L, N - L - Tmin * (m - 1 - k))};
}

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

// What every estimator needs: a count it can write and samples it can read.
std::string countProblem(const synthesis::SeriesHeader& series, uint16_t m,
                         std::initializer_list<const std::vector<int16_t>*> arrays)
{
    if (m == 0)
        return "The pulse count is 0; it must be at least 1.\n";
    if (series.dwSeriesSize > series.lpSeriesData.size())
        return formatText("The series record holds %zu samples, fewer than its length dwSeriesSize (%u).\n",
                          series.lpSeriesData.size(), series.dwSeriesSize);
    for (const auto* array : arrays)
        if (array->size() < m)
            return formatText("The pulse count %d is above the %zu positions the series can hold.\n", m, array->size());
    return {};
}

bool acceptArguments(base::MessageSink& sink, const char* caption, const std::string& problem)
{
    if (problem.empty())
        return true;
    sink.messageBox("Несовместимые входные параметры!\n\n" + problem, caption, base::MessageIcon::Warning);
    return false;
}

void noMemoryFor(base::MessageSink& sink, const char* name)
{
    sink.messageBox(std::string("Нет памяти для ") + name + "!", "", base::MessageIcon::None);
}

int32_t criterionSum(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions)
{
    return sumOfColumnSquares(series.lpSeriesData.data(), readableSize(series), L, positions.data(),
                              static_cast<int32_t>(positions.size()));
}

int32_t measureOfSum(int32_t S, uint16_t m)
{
    if (m == 0)
        return 0;
    return wrapAdd(m, wrapMul(2, S)) / (2 * static_cast<int32_t>(m));
}

int32_t measure(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions)
{
    return measureOfSum(criterionSum(series, L, positions), static_cast<uint16_t>(positions.size()));
}

int32_t squares(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int16_t> positions)
{
    const int16_t* x = series.lpSeriesData.data();
    const int32_t N = readableSize(series);
    int32_t total = 0;
    for (const int16_t p : positions)
        for (int32_t i = 0; i < L; ++i)
            total = wrapAdd(total, wrapSquare(sampleAt(x, N, p + i)));
    return total;
}

AdmissibleRange admissibleRange(uint16_t k, uint16_t m, uint32_t N, uint16_t L, uint16_t Tmin, uint16_t Tmax)
{
    const Range64 r = range64(k, m, N, L, Tmin, Tmax);
    return {clamp32(r.lo), clamp32(r.hi)};
}

std::string fixedCaseProblem(const synthesis::SeriesHeader& series, uint16_t Tmin, uint16_t Tmax, uint16_t L,
                             uint16_t m)
{
    std::string problem = countProblem(series, m, {&series.lpFoundPositions});
    if (!problem.empty())
        return problem;
    for (int32_t k = 0; k < m; ++k) {
        const Range64 r = range64(k, m, series.dwSeriesSize, L, Tmin, Tmax);
        if (r.lo > r.hi)
            return formatText("Pulse %d of %d has no admissible start: from %lld to %lld.\n", k + 1, m,
                              static_cast<long long>(r.lo), static_cast<long long>(r.hi));
        if (r.hi > INT16_MAX)
            return formatText("Pulse %d of %d may start at %lld, beyond the 16-bit positions.\n", k + 1, m,
                              static_cast<long long>(r.hi));
    }
    return {};
}

PulseLayout seriesLayout(const synthesis::SeriesHeader& series, uint16_t Tmin, uint16_t Tmax, uint16_t L)
{
    return {series.dwSeriesSize, L, Tmin, Tmax};
}

std::span<const int16_t> seriesSamples(const synthesis::SeriesHeader& series)
{
    return {series.lpSeriesData.data(), static_cast<size_t>(readableSize(series))};
}

namespace {

int32_t measureOfStarts(const synthesis::SeriesHeader& series, uint16_t L, std::span<const int32_t> starts)
{
    return measureOfSum(columnCriterion<int16_t, int32_t>(seriesSamples(series), L, starts),
                        static_cast<uint16_t>(starts.size()));
}

}  // namespace

std::unique_ptr<SeriesProgramme> shareEnergyProgramme(const synthesis::SeriesHeader& series, uint16_t Tmin,
                                                      uint16_t Tmax, uint16_t L, uint16_t mFrom, uint16_t mTo)
{
    if (series.dwSeriesSize > series.lpSeriesData.size())
        return nullptr;
    try {
        const std::vector<int32_t> energies = windowEnergies<int16_t, int32_t>(seriesSamples(series), L);
        return std::make_unique<SeriesProgramme>(energies, seriesLayout(series, Tmin, Tmax, L), mFrom, mTo);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, const SeriesProgramme* shared)
{
    if (!acceptArguments(sink, " estimateByEnergies ", fixedCaseProblem(series, Tmin, Tmax, L, m)))
        return kEstimateFailure;
    std::vector<int32_t> p;
    try {
        p.assign(m, -1);
    } catch (const std::bad_alloc&) {
        noMemoryFor(sink, "ppDw");
        return kEstimateFailure;
    }
    if (shared && shared->holds(m)) {
        shared->positions(m, p);
    } else {
        try {
            const std::vector<int32_t> energies = windowEnergies<int16_t, int32_t>(seriesSamples(series), L);
            SeriesProgramme(energies, seriesLayout(series, Tmin, Tmax, L), m, m).positions(m, p);
        } catch (const std::bad_alloc&) {
            noMemoryFor(sink, "ppDw[m]");
            return kEstimateFailure;
        }
    }
    for (int32_t k = 0; k < m; ++k)
        series.lpFoundPositions[k] = static_cast<int16_t>(p[k]);
    series.wFoundPulses = m;
    return measureOfStarts(series, L, p);
}

int32_t estimateByEnergies(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series)
{
    return estimateByEnergies(sink, Tmin, Tmax, L, m, series, nullptr);
}

int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series)
{
    return improvePositions(sink, Tmin, Tmax, L, m, series, nullptr);
}

int32_t improvePositions(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                         synthesis::SeriesHeader& series, ImprovementMemo<int32_t>* memo)
{
    if (!acceptArguments(sink, " improvePositions ", fixedCaseProblem(series, Tmin, Tmax, L, m)))
        return kEstimateFailure;
    std::vector<int32_t> starts;
    int32_t best = 0;
    try {
        starts.assign(series.lpFoundPositions.begin(), series.lpFoundPositions.begin() + m);
        best =
            improveStarts<int16_t, int32_t>(seriesSamples(series), seriesLayout(series, Tmin, Tmax, L), starts, memo);
    } catch (const std::bad_alloc&) {
        noMemoryFor(sink, "ppSums[]");
        return kEstimateFailure;
    }
    for (int32_t k = 0; k < m; ++k)
        series.lpFoundPositions[k] = static_cast<int16_t>(starts[k]);
    return measureOfSum(best, m);
}

}  // namespace detection
