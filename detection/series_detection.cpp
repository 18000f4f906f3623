#include "detection/series_detection.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "detection/correlation_threshold.h"
#include "detection/count_choice.h"
#include "detection/exhaustive_search.h"
#include "detection/matched_filter.h"
#include "detection/parallel_work.h"
#include "detection/stepwise_protocol.h"
#include "detection/threshold_detection.h"
#include "base/formatted_text.h"

namespace detection {

namespace {

// Most ranked counts shown as rows, as the workbench's protocol holds them.
constexpr int32_t kRankedRows = 5;

// The sums the programmes form must stay exact in 64 bits: the largest is
// the raw criterion of a chain, a column of all its pulses (the samples at
// one offset of every pulse added up) squared and summed over a pulse
// length, or the energy of the whole series.
bool sumsFit(std::span<const int64_t> x, const DetectionRequest& r, int32_t mostPulses, std::string& error)
{
    int64_t largest = 0;
    // The most negative sample has no positive counterpart; it is beyond any bound anyway.
    for (int64_t v : x)
        largest = std::max(largest, v == INT64_MIN ? INT64_MAX : v < 0 ? -v : v);
    const double a = static_cast<double>(largest);
    const double column = static_cast<double>(mostPulses) * a;
    double bound = std::max(column * column * r.L, a * a * static_cast<double>(x.size()));
    for (int64_t t : r.templateSamples)
        bound = std::max(bound, std::fabs(static_cast<double>(t)) * a * r.L);
    if (bound < 4.0e18)
        return true;
    error = "the samples reach " + std::to_string(largest) +
            " in magnitude: too large for exact 64-bit sums with these pulses (scale them down)";
    return false;
}

std::string layoutText(const PulseLayout& layout)
{
    return base::formatText("a series of %lld samples with pulses of %d samples, %d..%d apart",
                            static_cast<long long>(layout.N), layout.L, layout.Tmin, layout.Tmax);
}

// A row of the positions as they stand, judged as the workbench judges its
// rows: `measure` from the raw criterion, `squares` the summed window energy.
StageRow energyRow(std::span<const int64_t> x, int32_t L, uint16_t method, std::vector<int32_t> positions,
                   int32_t iterations)
{
    StageRow row;
    row.method = method;
    const int64_t m = static_cast<int64_t>(positions.size());
    row.measure = measureOf<int64_t>(columnCriterion<int64_t, int64_t>(x, L, positions), m);
    row.squares = windowSquares<int64_t, int64_t>(x, L, positions);
    row.iterations = iterations;
    row.positions = std::move(positions);
    return row;
}

// With correlation scores a row's measure is the summed score per pulse.
StageRow scoreRow(std::span<const int64_t> x, int32_t L, std::span<const int64_t> scores, uint16_t method,
                  std::vector<int32_t> positions)
{
    StageRow row = energyRow(x, L, method, std::move(positions), 1);
    int64_t total = 0;
    for (int32_t p : row.positions)
        total += p >= 0 ? scores[p] : 0;
    row.measure = measureOf<int64_t>(total, static_cast<int64_t>(row.positions.size()));
    return row;
}

// The known count: the programme's chain, the improvement passes and, for
// small counts, the exhaustive search. The programme's table is let go once
// its chain is read.
void knownCount(std::span<const int64_t> x, const DetectionRequest& r, const PulseLayout& layout,
                std::span<const int64_t> scores, WorkMeter& meter, uint64_t searchWork, DetectionOutcome& out)
{
    const int32_t m = r.pulses;
    std::vector<int32_t> starts(m, -1);
    {
        const EnergyProgramme<int64_t> programme(scores, layout, m, m, kDenseProgrammeBytes, &meter);
        if (meter.stopped())
            return;
        programme.positions(m, starts, &meter);
        if (meter.stopped())
            return;
    }
    // The search grows as the product of the interval widths: the workbench
    // runs it for small counts only, and so does this.
    const bool search = r.score == ScoreKind::Energy && (m <= 3 || (m == 4 && layout.N < 350));
    if (r.score == ScoreKind::Correlation) {
        if (meter.finish())
            out.rows.push_back(scoreRow(x, r.L, scores, kMethodProgramme, starts));
        return;
    }
    out.rows.push_back(energyRow(x, r.L, kMethodProgramme, starts, 1));

    int32_t passes = 0;
    improveUntilSettled<int64_t, int64_t>(x, layout, starts, out.rows.back().measure, passes, &meter);
    if (meter.stopped() || (!search && !meter.finish()))
        return;
    out.rows.push_back(energyRow(x, r.L, kMethodImproved, starts, passes + 1));
    if (!search)
        return;

    std::vector<int32_t> left(m), end(m), found(m);
    for (int32_t k = 0; k < m; ++k) {
        const StartRange range = admissibleStarts(k, m, layout);
        left[k] = static_cast<int32_t>(range.lo);
        end[k] = static_cast<int32_t>(range.hi + 1);
    }
    const ExhaustiveSearchResult<int64_t> result = searchCombinations<int64_t, int64_t>(
        x, {r.Tmin, r.Tmax, r.L}, left, end, starts, found, meter.share(searchWork, true));
    if (result.cancelled)
        return;
    if (result.evaluated)
        out.rows.push_back(energyRow(x, r.L, kMethodExhaustive, found, 1));
}

void sequentialMethod(std::span<const int64_t> x, const PulseLayout& layout, unsigned threads, WorkMeter& meter,
                      DetectionOutcome& out)
{
    const CountChoice<int64_t> choice = chooseCount<int64_t, int64_t>(
        x, layout, out.fromCount, out.toCount,
        [&](const CountFit<int64_t>& fit) {
            CountScore s;
            s.count = fit.count;
            s.programmeMeasure = fit.programmeMeasure;
            s.improvedMeasure = fit.improvedMeasure;
            s.passes = fit.passes;
            s.squares = fit.improvedSquares;
            out.counts.push_back(s);
        },
        &meter, threads);
    if (meter.stopped() || !meter.finish())
        return;
    out.rows.push_back(energyRow(x, layout.L, kMethodProgramme, choice.byProgramme.programme, 1));
    out.rows.push_back(
        energyRow(x, layout.L, kMethodImproved, choice.byImprovement.improved, choice.byImprovement.passes + 1));
}

// The count unknown with correlation scores: the matched filter.
void matchedFilter(std::span<const int64_t> x, const DetectionRequest& r, const PulseLayout& layout,
                   std::span<const int64_t> scores, WorkMeter& meter, DetectionOutcome& out)
{
    MatchedFilterOptions options;
    options.nullSeries = r.nullSeries;
    options.seed = r.seed;
    options.threads = r.threads;
    options.nullSnr = r.nullSnr;
    MatchedFilterResult result;
    if (!matchedFilterCounts(x, scores, r.templateSamples, layout, out.fromCount, out.toCount, options, result,
                             meter) ||
        !meter.finish())
        return;
    for (const MatchedCount& c : result.counts) {
        CountScore s;
        s.count = c.count;
        s.chainScore = c.chainScore;
        s.snr = c.snr;
        s.nullSnr = c.nullSnr;
        s.excess = c.excess;
        out.counts.push_back(s);
    }
    out.chosenCount = result.chosenCount;
    out.plainCount = result.plainCount;
    out.noiseSigma = result.sigma;
    out.templateNorm = result.norm;
    out.rawNull = std::move(result.rawNull);
    out.nullBlock = result.block;
    if (result.chosenCount > 0)
        out.rows.push_back(scoreRow(x, r.L, scores, kMethodProgramme, std::move(result.chosen)));
}

void blindDetection(std::span<const int64_t> x, const DetectionRequest& r, const PulseLayout& layout, WorkMeter& meter,
                    DetectionOutcome& out)
{
    {
        const CountRanking<int64_t> ranking =
            rankCounts<int64_t, int64_t>(x, layout, out.fromCount, out.toCount, kRankedRows, &meter);
        if (meter.stopped())
            return;
        for (const RankedFit<int64_t>& fit : ranking.fits) {
            CountScore s;
            s.count = fit.count;
            s.squares = fit.squares;
            s.noisePerWindow = fit.noise;
            out.counts.push_back(s);
        }
        for (int32_t count : ranking.ranked) {
            const RankedFit<int64_t>& fit = ranking.fits[count - ranking.fits.front().count];
            StageRow row = energyRow(x, r.L, kMethodRanked, fit.positions, 1);
            // A ranked row shows the squares in both columns, as the workbench's do.
            row.measure = row.squares;
            out.rows.push_back(std::move(row));
        }
    }

    const ThresholdDetection<int64_t> detection = detectByThreshold<int64_t, int64_t>(
        x, {}, layout, out.fromCount, out.toCount, static_cast<uint16_t>(r.method), r.noiseLevel, &meter);
    if (meter.stopped() || !meter.finish())
        return;
    for (const ThresholdPass<int64_t>& pass : detection.passes)
        out.passes.push_back({pass.threshold, static_cast<int32_t>(pass.positions.size())});
    const std::vector<int32_t>& found = detection.passes.back().positions;
    StageRow row = energyRow(x, r.L, kMethodDetected, found, 1);
    row.measure = row.squares;
    out.rows.push_back(std::move(row));
}

// Blind detection on correlations: the threshold passes of
// correlation_threshold.h over the scores, no ranking.
void blindCorrelation(std::span<const int64_t> x, const DetectionRequest& r, const PulseLayout& layout,
                      std::span<const int64_t> scores, WorkMeter& meter, DetectionOutcome& out)
{
    const CorrelationThresholdDetection detection = detectByCorrelationThreshold(
        x, scores, r.templateSamples, layout, out.fromCount, out.toCount, {r.method, r.snrMin, r.noiseLevel}, &meter);
    if (meter.stopped() || !meter.finish())
        return;
    for (const CorrelationThresholdPass& pass : detection.passes)
        out.passes.push_back({pass.threshold, static_cast<int32_t>(pass.positions.size()), pass.sigma});
    out.correlationThreshold = {true, detection.snrMin, detection.snrDefault, detection.windows,
                                detection.templateNorm};
    StageRow row = energyRow(x, r.L, kMethodDetected, detection.passes.back().positions, 1);
    row.measure = row.squares;
    out.rows.push_back(std::move(row));
}

// What a stopped detection keeps: the rows of the known count's finished
// stages, nothing of an unknown count's.
void keepFinishedStages(const DetectionRequest& r, DetectionOutcome& out)
{
    out.cancelled = true;
    out.counts.clear();
    out.rawNull.clear();
    out.chosenCount = out.plainCount = 0;
    out.passes.clear();
    out.correlationThreshold = {};
    if (r.mode != DetectionMode::KnownCount)
        out.rows.clear();
}

// Window scores of every start, counted by the meter: energies from a
// prefix of squares (N + S units), correlations a start at a time (L units
// each). Empty when the meter said stop.
std::vector<int64_t> meteredScores(std::span<const int64_t> x, const DetectionRequest& r, WorkMeter& meter)
{
    if (r.score == ScoreKind::Energy) {
        std::vector<int64_t> scores = windowEnergies<int64_t, int64_t>(x, r.L);
        if (!meter.advance(x.size() + scores.size()))
            return {};
        return scores;
    }
    const int64_t N = static_cast<int64_t>(x.size());
    std::vector<int64_t> scores(N >= r.L ? static_cast<size_t>(N - r.L + 1) : 0);
    const size_t step = std::max<size_t>(1, (size_t{1} << 14) / static_cast<size_t>(r.L));
    for (size_t from = 0; from < scores.size(); from += step) {
        const size_t to = std::min(scores.size(), from + step);
        correlateWindows(x, r.templateSamples, from, to, scores);
        if (!meter.advance((to - from) * static_cast<uint64_t>(r.L)))
            return {};
    }
    return scores;
}

}  // namespace

CountRange admissibleCounts(const PulseLayout& layout)
{
    CountRange range;
    const int64_t N = layout.N, L = layout.L, Tmin = layout.Tmin, Tmax = layout.Tmax;
    if (L < 1 || Tmin < 1 || Tmax < Tmin || Tmax < L || N < L)
        return range;
    // Pulse k of m has room when Tmin (m - 1) <= N - L (the pulses after it
    // fit) and N + L <= Tmax (m + 1) (the gaps before and after it close).
    const int64_t from = std::max<int64_t>(1, (N + L - 1) / Tmax);
    const int64_t to = std::min<int64_t>((N - L) / Tmin + 1, INT32_MAX);
    if (from > to)
        return range;
    range.from = static_cast<int32_t>(from);
    range.to = static_cast<int32_t>(to);
    return range;
}

std::vector<int64_t> windowScores(std::span<const int64_t> x, int32_t L, ScoreKind score,
                                  std::span<const int64_t> templateSamples)
{
    if (score == ScoreKind::Energy)
        return windowEnergies<int64_t, int64_t>(x, L);
    const int64_t N = static_cast<int64_t>(x.size());
    std::vector<int64_t> scores(N >= L ? static_cast<size_t>(N - L + 1) : 0);
    correlateWindows(x, templateSamples, 0, scores.size(), scores);
    return scores;
}

namespace {

// The request's pulse shape and score against a series of n samples; false,
// with `error`, when they cannot be run.
bool requestFits(size_t n, const DetectionRequest& r, std::string& error)
{
    if (r.L < 1) {
        error = "the pulse length must be at least 1 sample";
        return false;
    }
    if (static_cast<int64_t>(n) < r.L) {
        error = "the template or pulse length (" + std::to_string(r.L) + " samples) is longer than the series (" +
                std::to_string(n) + " samples)";
        return false;
    }
    if (n > static_cast<size_t>(INT32_MAX)) {
        error = "the series is longer than 2147483647 samples";
        return false;
    }
    if (r.Tmin < 1 || r.Tmin > r.Tmax) {
        error = "Tmin (" + std::to_string(r.Tmin) + ") must be at least 1 and not above Tmax (" +
                std::to_string(r.Tmax) + ")";
        return false;
    }
    if (r.Tmax < r.L) {
        error = "Tmax (" + std::to_string(r.Tmax) + ") must be at least the pulse length (" + std::to_string(r.L) + ")";
        return false;
    }
    if (r.score == ScoreKind::Correlation) {
        if (static_cast<int64_t>(r.templateSamples.size()) != r.L) {
            error = "the template must hold the pulse length of samples";
            return false;
        }
    }
    if (r.snrMin) {
        if (r.mode != DetectionMode::Blind || r.score != ScoreKind::Correlation || !takesSnrMin(r.method)) {
            error = kSnrMinMethodsOnly;
            return false;
        }
        if (!std::isfinite(*r.snrMin) || !(*r.snrMin > 0)) {
            error = "the least signal-to-noise ratio must be a positive number";
            return false;
        }
    }
    return true;
}

// The request's count and method against the counts the layout admits;
// false, with `error`, when they cannot be run.
bool modeFits(const DetectionRequest& r, const PulseLayout& layout, const CountRange& counts, std::string& error)
{
    if (r.mode == DetectionMode::KnownCount && (r.pulses < counts.from || r.pulses > counts.to)) {
        error = layoutText(layout) + " cannot hold " + std::to_string(r.pulses) + " pulses: it holds " +
                std::to_string(counts.from) + " to " + std::to_string(counts.to);
        return false;
    }
    if (r.mode == DetectionMode::Blind) {
        if (r.method < kPrimitiveMethod || r.method >= kThresholdMethodCount) {
            error = "the detection method must be 0 to 6";
            return false;
        }
        if (r.method == kAdditiveModel) {
            error = "method 5 (additive model) needs the noise-free samples, which a file does not have";
            return false;
        }
        if (r.method == kMeanWindowThreshold && r.score == ScoreKind::Correlation) {
            error = kMeanWindowCorrelationRefusal;
            return false;
        }
    }
    return true;
}

// Runs the request's mode over the scored series into `out`; false, with
// `error`, when a threshold method refused the series.
bool runMode(std::span<const int64_t> x, const DetectionRequest& r, const PulseLayout& layout,
             std::span<const int64_t> scores, WorkMeter& meter, uint64_t searchWork, DetectionOutcome& out,
             std::string& error)
{
    switch (r.mode) {
    case DetectionMode::KnownCount:
        knownCount(x, r, layout, scores, meter, searchWork, out);
        break;
    case DetectionMode::SequentialMethod:
        if (r.score == ScoreKind::Correlation)
            matchedFilter(x, r, layout, scores, meter, out);
        else
            sequentialMethod(x, layout, r.threads == 0 ? usableProcessors() : r.threads, meter, out);
        break;
    case DetectionMode::Blind:
        // The threshold methods refuse what they cannot detect exactly (a
        // chain total past 64 bits when overlapping detections drive the
        // threshold far below zero).
        try {
            if (r.score == ScoreKind::Correlation)
                blindCorrelation(x, r, layout, scores, meter, out);
            else
                blindDetection(x, r, layout, meter, out);
        } catch (const std::overflow_error& e) {
            error = std::string("method ") + std::to_string(r.method) + ": " + e.what();
            return false;
        } catch (const std::invalid_argument& e) {
            error = std::string("method ") + std::to_string(r.method) + ": " + e.what();
            return false;
        }
        break;
    }
    return true;
}

// The result is the last row's positions, with the window score of each.
void fillResult(std::span<const int64_t> scores, DetectionOutcome& out)
{
    if (!out.rows.empty())
        out.positions = out.rows.back().positions;
    for (int32_t p : out.positions)
        out.pulseScores.push_back(p >= 0 ? scores[p] : 0);
}

}  // namespace

bool detectPulses(std::span<const int64_t> x, const DetectionRequest& r, DetectionOutcome& out, std::string& error)
{
    out = DetectionOutcome{};
    const PulseLayout layout{static_cast<int64_t>(x.size()), r.L, r.Tmin, r.Tmax};
    if (!requestFits(x.size(), r, error))
        return false;
    const CountRange counts = admissibleCounts(layout);
    if (counts.empty()) {
        error = layoutText(layout) + " can hold no count of pulses";
        return false;
    }
    out.fromCount = counts.from;
    out.toCount = counts.to;
    if (!modeFits(r, layout, counts, error))
        return false;

    const int32_t mostPulses = r.mode == DetectionMode::KnownCount ? r.pulses : counts.to;
    if (!sumsFit(x, r, mostPulses, error))
        return false;
    const DetectionCost cost = estimateDetectionCost(layout, r);
    WorkMeter meter(r.progress, cost.work);
    std::vector<int64_t> scores;
    if (meter.report())
        scores = meteredScores(x, r, meter);
    if (!meter.stopped() && !runMode(x, r, layout, scores, meter, cost.searchWork, out, error))
        return false;
    if (meter.stopped())
        keepFinishedStages(r, out);
    fillResult(scores, out);
    return true;
}

}  // namespace detection
