// One series of quillmore-cli detect: reads the file, prepares the
// samples, runs the chosen detection and writes the preparation report, the
// stages and the pulses found into the bytes detect prints.

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "commands/detect_series.h"
#include "commands/detect_engine.h"
#include "commands/detect_limits.h"
#include "commands/detect_options.h"
#include "commands/detect_plot.h"
#include "commands/option_parser.h"
#include "commands/own_series.h"
#include "commands/simulation_share.h"
#include "detection/correlation_threshold.h"
#include "detection/pulse_measures.h"
#include "detection/series_detection.h"
#include "detection/series_preparation.h"
#include "detection/significance.h"
#include "detection/stepwise_protocol.h"
#include "detection/task_codes.h"
#include "files/series_readers.h"
#include "base/formatted_text.h"
#include "files/atomic_file.h"
#include "files/json.h"

namespace commands {

namespace {

// A FILE that writes into memory, so that the printers write a series'
// output once whether it goes straight out or waits for its turn.
class MemoryStream {
  public:
    MemoryStream() : file_(open_memstream(&data_, &size_))
    {
        if (!file_)
            throw std::bad_alloc();
    }
    ~MemoryStream()
    {
        if (file_)
            std::fclose(file_);
        std::free(data_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::FILE* file() { return file_; }
    // Everything written, once; the stream is closed.
    std::string take()
    {
        const bool failed = std::fclose(file_) != 0;
        file_ = nullptr;
        if (failed)
            throw std::bad_alloc();
        return std::string(data_, size_);
    }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    std::FILE* file_;
};

// Everything one run of detect found, for the three output formats.
struct DetectReport {
    const DetectOptions& options;
    const files::SeriesData& data;
    const detection::PreparedSeries& prepared;
    const detection::DetectionRequest& request;
    const detection::DetectionOutcome& outcome;
    std::string scoreText;
    std::optional<int64_t> noiseLevel;  // blind methods 1 and 6: the sigma used
    bool noiseEstimated = false;
    double sigma = 0;                               // the robust noise level of the unscaled samples
    std::vector<detection::PulseMeasure> measures;  // one per found pulse
    std::optional<detection::Significance> significance;
};

bool matchedFilter(const DetectReport& r) { return detection::isMatchedFilter(r.request); }

// A figure of the matched filter's counts, "-" where the count has none.
std::string figure(double v) { return std::isfinite(v) ? base::formatText("%.3f", v) : std::string("-"); }

// Blind detection on correlations: where the thresholds came from.
void printCorrelationThreshold(std::FILE* out, const detection::CorrelationThresholdSummary& c)
{
    if (c.snrMin == 0) {
        std::fprintf(out, "threshold: 0 (method 3 counts every positive correlation), |h| %s\n",
                     base::shortestText(c.templateNorm).c_str());
        return;
    }
    std::fprintf(out, "threshold: S x sigma x |h|, S %s (%s), |h| %s\n", base::shortestText(c.snrMin).c_str(),
                 c.snrDefault ? base::formatText("the default: a false pulse in pure noise with probability 1 %% "
                                                 "over %lld scored windows",
                                                 static_cast<long long>(c.windows))
                                    .c_str()
                              : "given",
                 base::shortestText(c.templateNorm).c_str());
}

void printText(std::FILE* out, const DetectReport& r)
{
    const auto& o = r.outcome;
    std::fprintf(out, "== detect %s\n", r.options.file.c_str());
    std::fprintf(out, "read: %s\n", r.data.source.c_str());
    std::fprintf(out, "preparation:\n");
    for (const std::string& line : r.prepared.report)
        std::fprintf(out, "  %s\n", line.c_str());
    std::fprintf(out, "layout: %zu samples, pulse length %d, Tmin %d, Tmax %d, admissible counts %d to %d\n",
                 r.prepared.samples.size(), r.request.L, r.request.Tmin, r.request.Tmax, o.fromCount, o.toCount);
    std::fprintf(out, "score: %s\n", r.scoreText.c_str());
    std::fprintf(out, "task: %s", detectionModeName(r.request));
    if (r.request.mode == detection::DetectionMode::KnownCount)
        std::fprintf(out, ", %d pulses", r.request.pulses);
    if (r.request.mode == detection::DetectionMode::Blind)
        std::fprintf(out, ", method %d", r.request.method);
    std::fprintf(out, "\n");
    std::fprintf(out, "noise: sigma %s in the data's units (%s)\n", base::shortestText(r.sigma).c_str(),
                 detection::kNoiseEstimateMethod);
    if (r.noiseLevel)
        std::fprintf(out, "noise level: %lld%s\n", static_cast<long long>(*r.noiseLevel),
                     r.noiseEstimated ? " (estimated from the differences of neighbouring samples)" : "");
    const detection::CorrelationThresholdSummary& correlation = o.correlationThreshold;
    if (correlation.ran)
        printCorrelationThreshold(out, correlation);
    for (size_t p = 0; p < o.passes.size(); ++p) {
        std::fprintf(out, "pass %zu: threshold %lld, %d pulses", p + 1, static_cast<long long>(o.passes[p].threshold),
                     o.passes[p].detected);
        if (correlation.ran && correlation.snrMin > 0)
            std::fprintf(out, ", sigma %s", base::shortestText(o.passes[p].sigma).c_str());
        std::fprintf(out, "\n");
    }
    if (matchedFilter(r)) {
        std::fprintf(out,
                     "matched filter: sigma %s, |h| %s (in the prepared samples' units); null of %d series in blocks "
                     "of %d samples, seed %llu\n",
                     base::shortestText(o.noiseSigma).c_str(), base::shortestText(o.templateNorm).c_str(),
                     r.request.nullSnr.empty() ? r.request.nullSeries : 0, o.nullBlock,
                     static_cast<unsigned long long>(r.request.seed));
        std::fprintf(out, "count chosen by excess = snr - null: %d (by snr alone: %d)\n", o.chosenCount, o.plainCount);
        std::fprintf(out, "counts:\n");
        std::fprintf(out, "  count          chain score       snr      null    excess\n");
        for (const detection::CountScore& c : o.counts)
            std::fprintf(out, "  %5d  %19lld  %8s  %8s  %8s%s\n", c.count, static_cast<long long>(c.chainScore),
                         figure(c.snr).c_str(), figure(c.nullSnr).c_str(), figure(c.excess).c_str(),
                         c.count == o.chosenCount ? "  *" : "");
    } else if (!o.counts.empty()) {
        const bool sequential = r.request.mode == detection::DetectionMode::SequentialMethod;
        std::fprintf(out, "counts:\n");
        std::fprintf(out, sequential ? "  count  programme measure  improved measure  passes\n"
                                     : "  count          squares  noise per window\n");
        for (const detection::CountScore& c : o.counts) {
            if (sequential)
                std::fprintf(out, "  %5d  %17lld  %16lld  %6d\n", c.count, static_cast<long long>(c.programmeMeasure),
                             static_cast<long long>(c.improvedMeasure), c.passes);
            else
                std::fprintf(out, "  %5d  %15lld  %16lld\n", c.count, static_cast<long long>(c.squares),
                             static_cast<long long>(c.noisePerWindow));
        }
    }
    std::fprintf(out, "stages:\n");
    std::fprintf(out, "  method  pulses  measure  squares  iterations  positions\n");
    for (const detection::StageRow& row : o.rows) {
        std::fprintf(out, "  %-6s  %6zu  %7lld  %7lld  %10d ", detection::protocolMethodLabel(row.method),
                     row.positions.size(), static_cast<long long>(row.measure), static_cast<long long>(row.squares),
                     row.iterations);
        for (int32_t p : row.positions)
            std::fprintf(out, " %d", p);
        std::fprintf(out, "\n");
    }
    if (o.cancelled)
        std::fprintf(out, "the exhaustive search was cancelled\n");
    printPulseTable(out, r.data, o.pulseScores, r.measures);
    if (r.significance) {
        const detection::Significance& g = *r.significance;
        std::fprintf(out,
                     "significance: false-alarm probability %s (resolution %s): %lld of %d surrogates reached the "
                     "statistic %s; blocks of %d samples, seed %llu\n",
                     base::shortestText(g.falseAlarm).c_str(), base::shortestText(g.resolution).c_str(),
                     static_cast<long long>(g.reached), g.surrogates, figure(g.statistic).c_str(), g.block,
                     static_cast<unsigned long long>(g.seed));
    }
}

void printJson(std::FILE* out, const DetectReport& r)
{
    const auto& o = r.outcome;
    files::JsonWriter j;
    j.beginObject();
    j.field("file", std::string_view(r.options.file));
    j.field("source", std::string_view(r.data.source));
    j.field("column", std::string_view(r.data.columnName));
    optionalNumber(j, "sampleRate", r.data.sampleRate > 0 ? std::optional<double>(r.data.sampleRate) : std::nullopt);
    writePreparationJson(j, r.options.prepare, r.prepared);
    j.key("noise").beginObject();
    j.key("sigma").real(r.sigma);
    j.field("method", std::string_view(detection::kNoiseEstimateMethod));
    j.endObject();
    j.key("layout").beginObject();
    j.field("samples", static_cast<int64_t>(r.prepared.samples.size())).field("pulseLength", r.request.L);
    j.field("tmin", r.request.Tmin).field("tmax", r.request.Tmax);
    j.field("fromCount", o.fromCount).field("toCount", o.toCount);
    j.endObject();
    j.field("score", std::string_view(r.scoreText));
    j.field("task", std::string_view(detectionModeName(r.request)));
    if (r.request.mode == detection::DetectionMode::Blind)
        j.field("method", r.request.method);
    j.key("noiseLevel");
    r.noiseLevel ? (void)j.value(*r.noiseLevel) : (void)j.null();
    const detection::CorrelationThresholdSummary& correlation = o.correlationThreshold;
    const bool takesSnr = correlation.snrMin > 0;
    j.key("passes").beginArray();
    for (const detection::ThresholdPassSummary& p : o.passes) {
        j.beginObject().field("threshold", p.threshold).field("pulses", p.detected);
        if (correlation.ran)
            optionalNumber(j, "sigma", takesSnr ? std::optional<double>(p.sigma) : std::nullopt);
        j.endObject();
    }
    j.endArray();
    if (correlation.ran) {
        optionalNumber(j, "snrMin", takesSnr ? std::optional<double>(correlation.snrMin) : std::nullopt);
        j.key("snrMinDefault").boolean(correlation.snrDefault);
        j.field("scoredWindows", correlation.windows);
        j.key("templateNorm").real(correlation.templateNorm);
    }
    if (matchedFilter(r)) {
        j.key("matchedFilter").beginObject();
        j.key("sigma").real(o.noiseSigma);
        j.key("templateNorm").real(o.templateNorm);
        j.field("nullSeries", r.request.nullSnr.empty() ? r.request.nullSeries : 0);
        j.field("seed", static_cast<int64_t>(r.request.seed));
        j.field("block", o.nullBlock);
        j.field("chosenCount", o.chosenCount).field("plainCount", o.plainCount);
        j.field("criterion", std::string_view("excess = snr - null"));
        j.endObject();
    }
    j.key("counts").beginArray();
    for (const detection::CountScore& c : o.counts) {
        j.beginObject().field("count", c.count);
        if (matchedFilter(r)) {
            j.field("chainScore", c.chainScore);
            finiteOrNull(j, "snr", c.snr);
            optionalNumber(j, "nullSnr", std::isfinite(c.nullSnr) ? std::optional<double>(c.nullSnr) : std::nullopt);
            finiteOrNull(j, "excess", c.excess);
            j.key("chosen").boolean(c.count == o.chosenCount);
        } else if (r.request.mode == detection::DetectionMode::SequentialMethod)
            j.field("programmeMeasure", c.programmeMeasure)
                .field("improvedMeasure", c.improvedMeasure)
                .field("passes", c.passes);
        else
            j.field("squares", c.squares).field("noisePerWindow", c.noisePerWindow);
        j.endObject();
    }
    j.endArray();
    j.key("rows").beginArray();
    for (const detection::StageRow& row : o.rows) {
        j.beginObject();
        j.field("method", std::string_view(detection::protocolMethodLabel(row.method)));
        j.field("pulses", static_cast<int64_t>(row.positions.size()));
        j.field("measure", row.measure).field("squares", row.squares).field("iterations", row.iterations);
        j.key("positions").array(row.positions);
        j.endObject();
    }
    j.endArray();
    j.key("cancelled").boolean(o.cancelled);
    writePulsesJson(j, r.data, o.pulseScores, r.measures);
    if (r.significance)
        writeSignificanceJson(j, *r.significance);
    j.endObject();
    std::fprintf(out, "%s\n", j.text().c_str());
}

void printCsv(std::FILE* out, const DetectReport& r)
{
    std::fputs(pulsesCsv(r.data, r.outcome, r.measures).c_str(), out);
}

// Every count's figures as CSV: the matched filter's chain score, snr, null
// and excess with the chosen count marked, the sequential method's
// measures, the ranking's squares.
bool writeCountsCsv(const std::string& path, const DetectReport& r, std::string& error)
{
    std::string text;
    const auto& o = r.outcome;
    if (matchedFilter(r))
        text = "count,chain_score,snr,null_snr,excess,chosen\n";
    else if (r.request.mode == detection::DetectionMode::SequentialMethod)
        text = "count,programme_measure,improved_measure,passes\n";
    else
        text = "count,squares,noise_per_window\n";
    auto real = [](double v) { return std::isfinite(v) ? base::shortestText(v) : std::string(); };
    for (const detection::CountScore& c : o.counts) {
        if (matchedFilter(r))
            text += base::formatText("%d,%lld,%s,%s,%s,%d\n", c.count, static_cast<long long>(c.chainScore),
                                     real(c.snr).c_str(), real(c.nullSnr).c_str(), real(c.excess).c_str(),
                                     c.count == o.chosenCount ? 1 : 0);
        else if (r.request.mode == detection::DetectionMode::SequentialMethod)
            text += base::formatText("%d,%lld,%lld,%d\n", c.count, static_cast<long long>(c.programmeMeasure),
                                     static_cast<long long>(c.improvedMeasure), c.passes);
        else
            text += base::formatText("%d,%lld,%lld\n", c.count, static_cast<long long>(c.squares),
                                     static_cast<long long>(c.noisePerWindow));
    }
    return files::writeFileAtomically(
        path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), error);
}

}  // namespace

SeriesRun detectSeries(const DetectOptions& o, unsigned threads, InterruptWatch& interrupt, bool display)
{
    const auto started = std::chrono::steady_clock::now();
    SeriesRun run;
    std::string error;
    auto refuse = [&](int code, const std::string& message) {
        base::appendFormat(run.err, "quillmore-cli detect: %s\n", message.c_str());
        run.code = code;
        run.reason = message;
        return run;
    };
    // The detection's progress: the bar or lines of a run of one series;
    // only the look at Ctrl-C in a run of many, whose progress is theirs.
    auto progress = [&] {
        return display
                   ? interrupt.progress(o.progress, std::chrono::steady_clock::now())
                   : detection::ProgressCallback([&interrupt](uint64_t, uint64_t) { return !interrupt.interrupted(); });
    };
    try {
        detection::DetectionRequest request;
        std::string scoreText;
        if (const int code = buildDetectionRequest(o, request, scoreText, error); code != 0)
            return refuse(code, error);

        OwnSeries series;
        if (const int code = readOwnSeries(o.file, o.read, o.prepare, series, error); code != 0)
            return refuse(code, error);
        const detection::PreparedSeries& prepared = series.prepared;

        // Methods 1 and 6 take the noise level; without --noise it is estimated.
        const std::optional<int64_t> noiseLevel = applyNoiseLevel(o, prepared, request);
        // What the detection will cost is known before it runs; Ctrl-C stops it
        // with nothing written.
        const detection::PulseLayout layout{static_cast<int64_t>(prepared.samples.size()), request.L, request.Tmin,
                                            request.Tmax};
        if (!detectionFitsLimits(detection::estimateDetectionCost(layout, request), o.maxMemory, o.maxWork, error))
            return refuse(2, o.file + ": " + error);
        request.nullSeries = o.nullSeries.value_or(request.nullSeries);
        request.seed = o.seed.value_or(request.seed);
        request.threads = threads;
        request.progress = progress();
        detection::DetectionOutcome outcome;
        if (const int refused = runDetection(prepared, request, outcome, error); refused != 0)
            return refuse(refused, o.file + ": " + error);
        if (interrupt.interrupted()) {
            interrupt.closeBar();
            return refuse(130, "interrupted");
        }
        DetectReport full{o, series.data, prepared, request, outcome, scoreText, noiseLevel, noiseLevel && !o.noise};
        full.measures = measureFoundPulses(prepared, outcome.positions, request.L, request.templateSamples, full.sigma);
        if (o.significance) {
            interrupt.closeBar();
            detection::Significance significance;
            const bool judged =
                detection::assessSignificance(prepared.samples, request, outcome, *o.significance, request.seed,
                                              request.threads, progress(), significance, error);
            if (interrupt.interrupted()) {
                interrupt.closeBar();
                return refuse(130, "interrupted");
            }
            if (!judged)
                return refuse(1, o.file + ": significance: " + error);
            full.significance = significance;
        }
        {
            MemoryStream out;
            if (o.json)
                printJson(out.file(), full);
            else if (o.csv)
                printCsv(out.file(), full);
            else
                printText(out.file(), full);
            run.out = out.take();
        }
        run.pulses = outcome.positions.size();
        run.samples = prepared.samples.size();
        run.columnName = series.data.columnName;
        run.csvRows = pulsesCsv(series.data, outcome, full.measures);

        if (o.countsCsv && !writeCountsCsv(*o.countsCsv, full, error)) {
            base::appendFormat(run.err, "quillmore-cli detect: %s\n", error.c_str());
            run.code = 1;
        }
        if (o.plot) {
            const std::string task = detectionTaskText(request, outcome);
            DetectPlotInput plot{o.file, series.data, prepared, request, outcome, scoreText, task};
            if (!writeDetectPlot(*o.plot, o.plotWidth, o.plotHeight, plot, error)) {
                base::appendFormat(run.err, "quillmore-cli detect: %s\n", error.c_str());
                run.code = 1;
            }
        }
        run.summary =
            base::formatText("%zu pulses in %zu samples of %s (%s, %s)", outcome.positions.size(),
                             prepared.samples.size(), o.file.c_str(), detectionModeName(request), scoreText.c_str());
    } catch (const std::bad_alloc&) {
        run = SeriesRun{};
        return refuse(1, o.file + ": there is not enough memory for this detection");
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

}  // namespace commands
