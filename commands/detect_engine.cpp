#include "commands/detect_engine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <new>

#include "base/formatted_text.h"
#include "base/message_sink.h"
#include "commands/detect_limits.h"
#include "commands/option_parser.h"
#include "detection/correlation_threshold.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/random_streams.h"

namespace commands {

namespace {

// The etalon by its letter (a..t) or number (1..20), as the alphabet prints them.
bool etalonTemplate(const std::string& name, std::vector<int64_t>& samples, std::string& what, std::string& error)
{
    int number = 0;
    int64_t n = 0;
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 't')
        number = name[0] - 'a' + 1;
    else if (wholeNumber(name, 1, 20, n))
        number = static_cast<int>(n);
    if (number == 0) {
        error = "--etalon must be a letter a to t or a number 1 to 20, got '" + name + "'";
        return false;
    }
    base::MessageRecorder messages;
    std::array<synthesis::PulseHeader, 20> alphabet{};
    synthesis::RandomStreams streams;
    if (!synthesis::makeAlphabet(messages, 128, 20, 20, alphabet, streams.etalonSeed)) {
        error = "the alphabet could not be made";
        return false;
    }
    const synthesis::PulseHeader& e = alphabet[number - 1];
    samples.assign(e.lpData.begin(), e.lpData.begin() + e.wSize);
    what = std::string("etalon ") + synthesis::etalonLetter(e.wNumber);
    return true;
}

// A one-column text file; values that are not all integers are scaled so
// that the largest magnitude is 32,767, like floating-point data.
bool fileTemplate(const std::string& path, std::vector<int64_t>& samples, std::string& error)
{
    files::SeriesReadOptions read;
    read.format = files::SeriesFormat::Text;
    const files::SeriesReadResult r = files::readSeriesFile(path, read);
    if (!r.ok) {
        error = r.error;
        return false;
    }
    for (double v : r.data.values)
        if (std::isnan(v)) {
            error = path + ": a template has no gaps";
            return false;
        }
    detection::PreparationOptions p;
    p.detrend = detection::Detrend::None;
    detection::PreparedSeries prepared;
    if (!detection::prepareSeries(r.data.values, r.data.integral, p, prepared, error)) {
        error = path + ": " + error;
        return false;
    }
    if (prepared.largest > 32767) {
        error = path + ": template values reach " + std::to_string(prepared.largest) +
                "; integer templates must stay within -32767..32767";
        return false;
    }
    samples = std::move(prepared.samples);
    return true;
}

std::string numberOrEmpty(const std::optional<double>& v) { return v ? base::shortestText(*v) : std::string(); }

}  // namespace

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
    if (r.mode == detection::DetectionMode::SequentialMethod && r.score == detection::ScoreKind::Correlation)
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
    if (o.plot) {
        std::string extension = o.plot->size() >= 4 ? o.plot->substr(o.plot->size() - 4) : "";
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension != ".png")
            return "--plot '" + *o.plot + "': the plot is written as PNG; give a name ending in .png";
    }
    return {};
}

bool prepareDetectSeries(const files::SeriesData& data, const detection::PreparationOptions& options,
                         detection::PreparedSeries& prepared, std::string& error)
{
    if (!detection::prepareSeries(data.values, data.integral, options, prepared, error))
        return false;
    error = detection::preparedSeriesProblem(prepared);
    return error.empty();
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

PulseReport measureDetectedPulses(const detection::PreparedSeries& prepared, const detection::DetectionRequest& request,
                                  const detection::DetectionOutcome& outcome)
{
    PulseReport r;
    r.sigma = detection::robustNoiseSigma(prepared.unscaled);
    const std::vector<double> shape =
        detection::unitPeakShape(prepared.unscaled, outcome.positions, request.L, request.templateSamples);
    r.measures = detection::measurePulses(prepared.unscaled, outcome.positions, request.L, shape, r.sigma);
    return r;
}

std::optional<double> timeAtSample(const files::SeriesData& data, double sample)
{
    const double t = detection::timeAtSample(data.times, data.sampleRate, sample);
    return std::isnan(t) ? std::nullopt : std::optional<double>(t);
}

std::string pulsesCsv(const files::SeriesData& data, const detection::DetectionOutcome& o,
                      const std::vector<detection::PulseMeasure>& measures)
{
    std::string text = "pulse,start,end,centre,time,centre_time,amplitude,score,snr\n";
    for (size_t k = 0; k < o.positions.size() && k < measures.size(); ++k) {
        const detection::PulseMeasure& m = measures[k];
        base::appendFormat(text, "%zu,%d,%d,%s,%s,%s,%s,%lld,%s\n", k + 1, m.start, m.end,
                           base::shortestText(m.centre).c_str(), numberOrEmpty(timeAtSample(data, m.start)).c_str(),
                           numberOrEmpty(timeAtSample(data, m.centre)).c_str(), base::shortestText(m.amplitude).c_str(),
                           static_cast<long long>(o.pulseScores[k]), base::shortestText(m.snr).c_str());
    }
    return text;
}

std::string detectionTaskText(const detection::DetectionRequest& request, const detection::DetectionOutcome& outcome)
{
    if (request.mode == detection::DetectionMode::KnownCount)
        return "count known, " + std::to_string(request.pulses) + " pulses";
    if (request.mode == detection::DetectionMode::SequentialMethod &&
        request.score == detection::ScoreKind::Correlation)
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
        if (!prepareDetectSeries(data, o.prepare, result.prepared, error))
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
        result.pulses = measureDetectedPulses(result.prepared, request, result.outcome);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for this detection";
        return DetectStatus::SeriesProblem;
    }
    return DetectStatus::Done;
}

}  // namespace commands
