#include "commands/detect_engine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <new>

#include "base/formatted_text.h"
#include "commands/detect_limits.h"
#include "commands/own_series.h"
#include "commands/series_options.h"
#include "detection/correlation_threshold.h"

namespace commands {

int buildDetectionRequest(const DetectOptions& o, detection::DetectionRequest& r, std::string& scoreText,
                          std::string& error)
{
    std::vector<int64_t> templ;
    std::string what;
    if (o.etalon) {
        if (!etalonTemplate(*o.etalon, templ, what, error))
            return 2;
    } else if (o.box) {
        templ.assign(static_cast<size_t>(*o.box), 1);
        what = "box of " + std::to_string(*o.box) + " samples";
    } else if (o.templateFile) {
        if (!fileTemplate(*o.templateFile, templ, error))
            return 1;
        what = "template " + *o.templateFile + " (" + std::to_string(templ.size()) + " samples)";
    }
    r.L = o.pulseLength ? *o.pulseLength : static_cast<int32_t>(templ.size());
    if (o.score == "correlation") {
        if (o.pulseLength && *o.pulseLength != static_cast<int32_t>(templ.size())) {
            error = "--pulse-length " + std::to_string(*o.pulseLength) + " differs from the template's " +
                    std::to_string(templ.size()) + " samples";
            return 2;
        }
        r.score = detection::ScoreKind::Correlation;
        r.templateSamples = std::move(templ);
        scoreText = "correlation with the " + what;
    } else {
        scoreText = "window energy";
    }
    r.Tmin = *o.tmin;
    r.Tmax = *o.tmax;
    r.snrMin = o.snrMin;
    if (o.pulses) {
        r.mode = detection::DetectionMode::KnownCount;
        r.pulses = *o.pulses;
    } else if (o.unknown) {
        r.mode = detection::DetectionMode::SequentialMethod;
    } else {
        r.mode = detection::DetectionMode::Blind;
        r.method = *o.method;
    }
    return 0;
}

const char* detectionModeName(const detection::DetectionRequest& r)
{
    if (detection::isMatchedFilter(r))
        return "matched filter";
    switch (r.mode) {
    case detection::DetectionMode::KnownCount:
        return "known count";
    case detection::DetectionMode::SequentialMethod:
        return "sequential method";
    case detection::DetectionMode::Blind:
        return "blind detection";
    }
    return "";
}

std::string idleOptionProblem(const DetectOptions& o)
{
    if (o.score != "correlation") {
        const char* given = o.box ? "--box" : o.templateFile ? "--template" : o.etalon ? "--etalon" : nullptr;
        if (given)
            return std::string(given) +
                   " is a template: it applies with --score correlation only (with --score energy give "
                   "--pulse-length)";
    }
    if (o.noise && !(o.method && detection::takesNoiseLevel(*o.method)))
        return std::string("--noise: ") + detection::kNoiseLevelMethodsOnly;
    if (o.snrMin && !(o.score == "correlation" && o.method && detection::takesSnrMin(*o.method)))
        return std::string("--snr-min: ") + detection::kSnrMinMethodsOnly;
    const bool matched = o.unknown && o.score == "correlation";
    if (o.nullSeries && !matched)
        return "--null-series: the null series serve the matched filter only (--unknown --score correlation)";
    if (o.seed && !matched && !o.significance)
        return "--seed: applies to the matched filter's null series (--unknown --score correlation) and to "
               "--significance only";
    if (o.threads && !o.unknown && !o.significance)
        return "--threads: an unknown count (--unknown) and --significance run on threads; nothing else does";
    if (o.countsCsv && !o.unknown && !o.method)
        return "--counts-csv: a known count has no table of counts (give --unknown or --method)";
    if (o.countsCsv && o.method && o.score == "correlation")
        return "--counts-csv: blind detection on correlations ranks no counts (it has no table of counts)";
    return plotNameProblem(o.plot);
}

std::optional<int64_t> applyNoiseLevel(const DetectOptions& o, const detection::PreparedSeries& prepared,
                                       detection::DetectionRequest& request)
{
    if (request.mode != detection::DetectionMode::Blind || !detection::takesNoiseLevel(request.method))
        return std::nullopt;
    request.noiseLevel = o.noise ? *o.noise : detection::estimateNoiseLevel(prepared.samples);
    return request.noiseLevel;
}

int runDetection(const detection::PreparedSeries& prepared, const detection::DetectionRequest& request,
                 detection::DetectionOutcome& outcome, std::string& error)
{
    if (detection::detectPulses(prepared.samples, request, outcome, error))
        return 0;
    // A series too short for the layout is the data's fault; any other
    // refusal is the options'.
    const detection::PulseLayout layout{static_cast<int64_t>(prepared.samples.size()), request.L, request.Tmin,
                                        request.Tmax};
    return layout.N < request.L || detection::admissibleCounts(layout).empty() ? 1 : 2;
}

std::string pulsesCsv(const files::SeriesData& data, const detection::DetectionOutcome& o,
                      const std::vector<detection::PulseMeasure>& measures)
{
    std::string text = "pulse,start,end,centre,time,centre_time,amplitude,score,snr\n";
    for (size_t k = 0; k < o.positions.size() && k < measures.size(); ++k) {
        const detection::PulseMeasure& m = measures[k];
        base::appendFormat(text, "%zu,%d,%d,%s,%s,%s,%s,%lld,%s\n", k + 1, m.start, m.end,
                           base::shortestText(m.centre).c_str(), numberOrEmpty(timeAt(data, m.start)).c_str(),
                           numberOrEmpty(timeAt(data, m.centre)).c_str(), base::shortestText(m.amplitude).c_str(),
                           static_cast<long long>(o.pulseScores[k]), base::shortestText(m.snr).c_str());
    }
    return text;
}

std::string detectionTaskText(const detection::DetectionRequest& request, const detection::DetectionOutcome& outcome)
{
    if (request.mode == detection::DetectionMode::KnownCount)
        return "count known, " + std::to_string(request.pulses) + " pulses";
    if (detection::isMatchedFilter(request))
        return "count unknown, matched filter: " + std::to_string(outcome.chosenCount) + " pulses by excess";
    if (request.mode == detection::DetectionMode::SequentialMethod)
        return "count unknown, sequential method";
    return "count unknown, blind detection by method " + std::to_string(request.method);
}

DetectStatus detectOwnSeries(const files::SeriesData& data, const DetectOptions& o, unsigned threads,
                             const detection::ProgressCallback& progress, OwnSeriesDetection& result,
                             std::string& error)
{
    try {
        if (error = detectChoiceProblem(o); !error.empty())
            return DetectStatus::RequestProblem;
        if (error = idleOptionProblem(o); !error.empty())
            return DetectStatus::RequestProblem;
        if (const int code = buildDetectionRequest(o, result.request, result.scoreText, error); code != 0)
            return code == 2 ? DetectStatus::RequestProblem : DetectStatus::SeriesProblem;
        if (!prepareOwnSeries(data, o.prepare, result.prepared, error))
            return DetectStatus::SeriesProblem;
        detection::DetectionRequest& request = result.request;
        result.noiseLevel = applyNoiseLevel(o, result.prepared, request);
        const detection::PulseLayout layout{static_cast<int64_t>(result.prepared.samples.size()), request.L,
                                            request.Tmin, request.Tmax};
        if (!detectionFitsLimits(detection::estimateDetectionCost(layout, request), o.maxMemory, o.maxWork, error))
            return DetectStatus::RequestProblem;
        request.nullSeries = o.nullSeries.value_or(request.nullSeries);
        request.seed = o.seed.value_or(request.seed);
        request.threads = threads;
        request.progress = progress;
        if (const int code = runDetection(result.prepared, request, result.outcome, error); code != 0)
            return code == 1 ? DetectStatus::SeriesProblem : DetectStatus::RequestProblem;
        request.progress = nullptr;
        // Only the callback stops a detection: what it left is no answer.
        if (result.outcome.cancelled)
            return DetectStatus::Cancelled;
        result.measures = measureFoundPulses(result.prepared, result.outcome.positions, request.L,
                                             request.templateSamples, result.sigma);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for this detection";
        return DetectStatus::SeriesProblem;
    }
    return DetectStatus::Done;
}

}  // namespace commands
