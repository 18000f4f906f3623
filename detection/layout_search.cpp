#include "detection/layout_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "base/formatted_text.h"
#include "detection/matched_filter.h"
#include "detection/parallel_work.h"
#include "detection/surrogates.h"

namespace detection {

namespace {

// A value to 12 significant digits: what is left of a product or a sum of
// decimal steps once the binary rounding is taken away.
double twelveDigits(double v) { return std::strtod(base::formatText("%.12g", v).c_str(), nullptr); }

std::string numberText(double v) { return base::formatText("%.12g", v); }

// The point's request without its template: what the cost is estimated
// from (the estimate reads no template sample).
DetectionRequest bareRequest(const SearchRequest& request, const SearchPoint& p)
{
    DetectionRequest r;
    r.mode = DetectionMode::SequentialMethod;
    r.L = p.L;
    r.Tmin = p.Tmin;
    r.Tmax = p.Tmax;
    r.score = request.score;
    r.nullSeries = request.nullSeries;
    r.seed = request.seed;
    r.threads = 1;
    return r;
}

PulseLayout layoutOf(int64_t n, const SearchPoint& p) { return {n, p.L, p.Tmin, p.Tmax}; }

// A task's detection reports its own (done, total); the increments go to
// the task's meter, whose answer stops the detection.
ProgressCallback forwardTo(WorkMeter& taskMeter, uint64_t& told)
{
    return [&taskMeter, &told](uint64_t units, uint64_t) {
        const bool go = taskMeter.advance(units > told ? units - told : 0);
        told = std::max(told, units);
        return go;
    };
}

// The row of point i from its detection.
void fillRow(const DetectionOutcome& found, const DetectionRequest& r, double sigma, SearchRow& row)
{
    row.count = static_cast<int32_t>(found.positions.size());
    row.score = 0;
    for (int64_t s : found.pulseScores)
        row.score += s;
    for (const CountScore& c : found.counts)
        if (r.score == ScoreKind::Correlation && c.count == found.chosenCount)
            row.snr = c.snr;
    row.statistic = detectionStatistic(found, r, sigma, templateNorm(r.templateSamples));
    row.rawNull = found.rawNull;
}

// Whether statistic a of point i beats statistic b of point j: greater, or
// equal and earlier in the grid. NaN and -infinity never win.
bool beats(double a, size_t i, double b, int64_t j)
{
    if (!(a > -std::numeric_limits<double>::infinity()))
        return false;
    return j < 0 || a > b || (a == b && static_cast<int64_t>(i) < j);
}

}  // namespace

bool steppedValues(const char* name, double from, double to, double step, size_t most, std::vector<double>& values,
                   std::string& error)
{
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step) || !(step > 0) || from > to) {
        error = std::string(name) + " " + numberText(from) + ":" + numberText(to) + ":" + numberText(step) +
                ": the range must rise (FROM not above TO) in steps above 0";
        return false;
    }
    const double count = std::floor((to - from) / step + 1e-6) + 1;
    if (!(count <= static_cast<double>(most))) {
        error = std::string(name) + " " + numberText(from) + ":" + numberText(to) + ":" + numberText(step) + " holds " +
                numberText(count) + " values, more than the " + std::to_string(most) + " a grid may hold";
        return false;
    }
    values.clear();
    values.reserve(static_cast<size_t>(count));
    for (size_t i = 0; i < static_cast<size_t>(count); ++i)
        values.push_back(twelveDigits(from + static_cast<double>(i) * step));
    return true;
}

bool periodLayout(double P, double F, SearchPoint& layout, std::string& error)
{
    if (!std::isfinite(P) || !(P > 0) || !(F > 0 && F < 1)) {
        error = "a period must be above 0 and the window between 0 and 1 (both left out), got period " + numberText(P) +
                " and window " + numberText(F);
        return false;
    }
    const double low = std::floor(twelveDigits(P * (1 - F)));
    const double high = std::ceil(twelveDigits(P * (1 + F)));
    if (low < 1) {
        error = "period " + numberText(P) + " with window " + numberText(F) + " gives Tmin " + numberText(low) +
                ": starts must lie at least 1 sample apart (a longer period or a narrower window)";
        return false;
    }
    if (high > INT32_MAX) {
        error = "period " + numberText(P) + " with window " + numberText(F) + " gives Tmax " + numberText(high) +
                ", past 2147483647 samples";
        return false;
    }
    layout.period = P;
    layout.Tmin = static_cast<int32_t>(low);
    layout.Tmax = static_cast<int32_t>(high);
    return true;
}

bool expandSearchGrid(std::span<const SearchPoint> layouts, std::span<const int32_t> lengths,
                      std::vector<SearchPoint>& grid, std::string& error)
{
    const double points = static_cast<double>(layouts.size()) * static_cast<double>(lengths.size());
    if (points > static_cast<double>(kMaxSearchPoints)) {
        error = "the grid holds " + std::to_string(layouts.size()) + " layouts x " + std::to_string(lengths.size()) +
                " pulse lengths = " + numberText(points) + " points, more than the " +
                std::to_string(kMaxSearchPoints) + " a search takes (a coarser step or fewer pulse lengths)";
        return false;
    }
    grid.clear();
    grid.reserve(static_cast<size_t>(points));
    for (const SearchPoint& layout : layouts)
        for (int32_t L : lengths) {
            SearchPoint p = layout;
            p.L = L;
            grid.push_back(p);
        }
    return true;
}

DetectionRequest searchPointRequest(const SearchRequest& request, size_t i)
{
    DetectionRequest r = bareRequest(request, request.grid[i]);
    if (r.score == ScoreKind::Correlation) {
        if (request.templateSamples.empty())
            r.templateSamples.assign(static_cast<size_t>(std::max(r.L, 0)), 1);
        else
            r.templateSamples = request.templateSamples;
    }
    return r;
}

SearchCost estimateSearchCost(int64_t n, const SearchRequest& request)
{
    SearchCost cost;
    uint64_t work = 0;
    for (const SearchPoint& p : request.grid) {
        const DetectionCost c = estimateDetectionCost(layoutOf(n, p), bareRequest(request, p));
        cost.largestBytes = std::max(cost.largestBytes, c.bytes);
        work = c.work > UINT64_MAX - work ? UINT64_MAX : work + c.work;
    }
    cost.work = std::max<uint64_t>(work, 1);
    return cost;
}

bool searchLayouts(std::span<const int64_t> x, const SearchRequest& request, SearchOutcome& outcome)
{
    outcome = SearchOutcome{};
    const size_t P = request.grid.size();
    outcome.rows.resize(P);
    for (size_t i = 0; i < P; ++i)
        outcome.rows[i].point = request.grid[i];
    outcome.sigma = programmeNoiseSigma(x);

    WorkMeter meter(request.progress, estimateSearchCost(static_cast<int64_t>(x.size()), request).work);
    // The best point's detection is kept as the points end, in whatever
    // order: the rule (greatest, then first) does not depend on it.
    std::mutex keeping;
    int64_t kept = -1;
    double keptStatistic = 0;
    const bool done = meter.report() && runTasks(P, request.threads, meter, [&](size_t i, WorkMeter& taskMeter) {
                          DetectionRequest r = searchPointRequest(request, i);
                          uint64_t told = 0;
                          r.progress = forwardTo(taskMeter, told);
                          DetectionOutcome found;
                          SearchRow& row = outcome.rows[i];
                          if (!detectPulses(x, r, found, row.refusal) || found.cancelled)
                              return;
                          fillRow(found, r, outcome.sigma, row);
                          std::lock_guard<std::mutex> guard(keeping);
                          if (beats(row.statistic, i, keptStatistic, kept)) {
                              kept = static_cast<int64_t>(i);
                              keptStatistic = row.statistic;
                              outcome.bestOutcome = std::move(found);
                          }
                      });
    if (!done || !meter.finish()) {
        outcome = SearchOutcome{};
        outcome.cancelled = true;
        return false;
    }
    outcome.best = kept;
    return true;
}

int32_t searchSurrogateBlock(int64_t n, std::span<const SearchPoint> grid)
{
    int32_t L = INT32_MAX, Tmin = INT32_MAX;
    for (const SearchPoint& p : grid) {
        L = std::min(L, p.L);
        Tmin = std::min(Tmin, p.Tmin);
    }
    return grid.empty() ? surrogateBlockLength(n, 1, 1) : surrogateBlockLength(n, L, Tmin);
}

bool assessSearchSignificance(std::span<const int64_t> x, const SearchRequest& request, const SearchOutcome& outcome,
                              int32_t surrogates, uint64_t seed, unsigned threads, const ProgressCallback& progress,
                              Significance& result, std::string& error)
{
    if (outcome.best < 0) {
        error = "no point of the grid found a pulse: there is nothing to judge";
        return false;
    }
    const int64_t n = static_cast<int64_t>(x.size());
    const int32_t block = searchSurrogateBlock(n, request.grid);
    // The points that ran on the data run on every surrogate, with the
    // data's null curve: no null series of their own.
    std::vector<size_t> ran;
    uint64_t perSurrogate = 0;
    for (size_t i = 0; i < outcome.rows.size(); ++i) {
        if (!outcome.rows[i].refusal.empty())
            continue;
        ran.push_back(i);
        DetectionRequest r = bareRequest(request, request.grid[i]);
        r.nullSnr = outcome.rows[i].rawNull;
        perSurrogate += estimateDetectionCost(layoutOf(n, request.grid[i]), r).work;
    }
    const size_t S = static_cast<size_t>(std::max(surrogates, 0)), K = ran.size();
    WorkMeter meter(progress, std::max<uint64_t>(perSurrogate, 1) * std::max<uint64_t>(S, 1));
    if (!meter.report())
        return false;

    std::vector<double> statistics(S * K, -std::numeric_limits<double>::infinity());
    std::mutex failed;
    std::string failure;
    const bool done = runTasks(S * K, threads, meter, [&](size_t t, WorkMeter& taskMeter) {
        const size_t s = t / K, i = ran[t % K];
        const std::vector<int64_t> series = blockSurrogate(x, block, seed, s);
        DetectionRequest r = searchPointRequest(request, i);
        r.nullSnr = outcome.rows[i].rawNull;
        uint64_t told = 0;
        r.progress = forwardTo(taskMeter, told);
        DetectionOutcome found;
        std::string why;
        if (!detectPulses(series, r, found, why)) {
            std::lock_guard<std::mutex> guard(failed);
            if (failure.empty())
                failure = "surrogate " + std::to_string(s + 1) + ": " + why;
            return;
        }
        statistics[t] = detectionStatistic(found, r, outcome.sigma, templateNorm(r.templateSamples));
    });
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    if (!done || !meter.finish())
        return false;
    // Each surrogate's greatest statistic over the grid.
    std::vector<double> greatest(S, -std::numeric_limits<double>::infinity());
    for (size_t t = 0; t < S * K; ++t)
        greatest[t / K] = std::max(greatest[t / K], statistics[t]);
    result = Significance{};
    result.seed = seed;
    result.block = block;
    countFalseAlarms(outcome.rows[static_cast<size_t>(outcome.best)].statistic, greatest, result);
    return true;
}

}  // namespace detection
