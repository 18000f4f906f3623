// The time column of a table put on its grid.
#include "files/time_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace files {

namespace {

// The relative slack of a cadence's arithmetic.
constexpr double kRelativeSlack = 1e-6;
// The most the written digits and the doubles may move a step, in cadences:
// beyond a quarter a step would no longer tell its own number of cadences.
constexpr double kMostAllowance = 0.25;
// Every step of the filled times stays this close to the cadence, in cadences.
constexpr double kFilledStepSpread = 0.3;

// What the written digits and the doubles leave uncertain in the step from
// time a to time b: the rounding of both, and a unit in the last place of each.
double stepAllowance(double a, double b, double rounding)
{
    constexpr double kUnit = 0x1p-52;
    return 2 * rounding + kUnit * (std::fabs(a) + std::fabs(b));
}

double stepTolerance(double cadence, double allowance)
{
    return kRelativeSlack * cadence + std::min(kMostAllowance * cadence, allowance);
}

// The step most steps share, or with `shortest` the shortest one: the mean of
// the steps within reach of it (twice the allowance: two steps of one
// cadence may round apart by both); on ties the shortest. `sorted` holds the
// finite steps in ascending order, at least one.
double typicalStep(const std::vector<double>& sorted, double allowance, bool shortest)
{
    auto reach = [&](double s) { return s + kRelativeSlack * s + std::min(kMostAllowance * s, 2 * allowance); };
    size_t bestFrom = 0, bestEnd = 0;
    size_t end = 0;
    for (size_t from = 0; from < sorted.size(); ++from) {
        end = std::max(end, from);
        while (end < sorted.size() && sorted[end] <= reach(sorted[from]))
            ++end;
        if (end - from > bestEnd - bestFrom) {
            bestFrom = from;
            bestEnd = end;
        }
        if (shortest)
            break;
    }
    double sum = 0;
    for (size_t j = bestFrom; j < bestEnd; ++j)
        sum += sorted[j];
    return sum / static_cast<double>(bestEnd - bestFrom);
}

// The number of cadences a step spans, at least 1.
double cadencesIn(double step, double cadence) { return std::max(1.0, std::round(step / cadence)); }

// Checks every step against `cadence`, made exact first: the column's span
// over the cadences its steps hold, twice, so that a long hole counted
// against a rounded cadence is counted again against the better one. The
// first fault, or none with the cadence in `found` and the samples the
// filled column holds in `samples`.
GridProblem tryCadence(const std::vector<double>& t, double rounding, double cadence, double& found, double& samples)
{
    const size_t n = t.size();
    const double span = t[n - 1] - t[0];
    for (int pass = 0; pass < 2; ++pass) {
        double cadences = 0;
        for (size_t i = 1; i < n; ++i)
            cadences += cadencesIn(t[i] - t[i - 1], cadence);
        const double exact = span / cadences;
        if (std::isfinite(exact) && exact > 0)
            cadence = exact;
    }
    const double limit =
        std::min(static_cast<double>(kMostGridSamples), static_cast<double>(kGridGrowthLimit) * static_cast<double>(n));
    samples = 1;
    for (size_t i = 1; i < n; ++i) {
        const double step = t[i] - t[i - 1];
        const double k = cadencesIn(step, cadence);
        // Written so that a step or cadence beyond the doubles is refused too.
        if (!(samples + k <= limit))
            return {GridFault::HoleTooLarge, i, step, cadence, k, samples + k};
        if (!(std::fabs(step - k * cadence) <= stepTolerance(cadence, stepAllowance(t[i - 1], t[i], rounding))))
            return {GridFault::Irregular, i, step, cadence, 0, 0};
        samples += k;
    }
    found = cadence;
    return {};
}

// The first time not above the one before, or none.
GridProblem orderProblem(const std::vector<double>& t)
{
    for (size_t i = 1; i < t.size(); ++i) {
        if (t[i] == t[i - 1])
            return {GridFault::Repeated, i, 0, 0, 0, 0};
        if (t[i] < t[i - 1])
            return {GridFault::Backwards, i, t[i] - t[i - 1], 0, 0, 0};
    }
    return {};
}

// The cadence of the column, or the fault that leaves it without one.
GridProblem findCadence(const std::vector<double>& t, double rounding, double& cadence, double& samples)
{
    std::vector<double> steps;
    steps.reserve(t.size() - 1);
    double allowance = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        const double step = t[i] - t[i - 1];
        if (std::isfinite(step))
            steps.push_back(step);
        allowance = std::max(allowance, stepAllowance(t[i - 1], t[i], rounding));
    }
    if (steps.empty())
        return {GridFault::HoleTooLarge, 1, t[1] - t[0], t[1] - t[0], 1, std::numeric_limits<double>::infinity()};
    std::sort(steps.begin(), steps.end());
    const double common = typicalStep(steps, allowance, false);
    const GridProblem problem = tryCadence(t, rounding, common, cadence, samples);
    if (problem.fault != GridFault::Irregular)
        return problem;
    // More rows may be missing than present: the rows left then step by
    // several cadences more often than by one.
    const double shortest = typicalStep(steps, allowance, true);
    if (shortest < common && tryCadence(t, rounding, shortest, cadence, samples).fault == GridFault::None)
        return {};
    return problem;
}

}  // namespace

GridProblem putOnGrid(std::vector<double>& values, std::vector<double>& times, double rounding, TimeGrid& grid)
{
    grid = {};
    const std::vector<double>& t = times;
    const size_t n = t.size();
    if (n < 2)
        return {};
    if (GridProblem problem = orderProblem(t); problem.fault != GridFault::None)
        return problem;
    double cadence = 0, samples = 0;
    if (GridProblem problem = findCadence(t, rounding, cadence, samples); problem.fault != GridFault::None)
        return problem;

    grid.cadence = cadence;
    grid.inserted = static_cast<int64_t>(samples) - static_cast<int64_t>(n);
    if (grid.inserted == 0)
        return {};
    std::vector<double> filledValues, filledTimes;
    filledValues.reserve(static_cast<size_t>(samples));
    filledTimes.reserve(static_cast<size_t>(samples));
    filledValues.push_back(values[0]);
    filledTimes.push_back(t[0]);
    const double spread = kFilledStepSpread * cadence;
    for (size_t i = 1; i < n; ++i) {
        const double step = t[i] - t[i - 1];
        const auto k = static_cast<int64_t>(cadencesIn(step, cadence));
        const double part = step / static_cast<double>(k);
        for (int64_t j = 1; j <= k; ++j) {
            const double time = j == k ? t[i] : t[i - 1] + static_cast<double>(j) * part;
            if (!(std::fabs(time - filledTimes.back() - cadence) <= spread)) {
                grid = {};
                return {GridFault::TooCoarse, i, step, cadence, 0, 0};
            }
            filledValues.push_back(j == k ? values[i] : std::numeric_limits<double>::quiet_NaN());
            filledTimes.push_back(time);
        }
    }
    values = std::move(filledValues);
    times = std::move(filledTimes);
    return {};
}

}  // namespace files
