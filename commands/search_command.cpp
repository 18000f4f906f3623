// quillmore-cli search: the count-unknown detection over a grid of layouts.
// Reads and prepares the file as detect does, runs every grid point as
// detect --unknown would run it, prints the spectrum and the best point's
// pulses, and judges the best point against the greatest statistic of the
// surrogates over the same grid.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/formatted_text.h"
#include "commands/commands.h"
#include "commands/detect_limits.h"
#include "commands/own_series.h"
#include "commands/search_options.h"
#include "commands/search_plot.h"
#include "commands/simulation_share.h"
#include "detection/layout_search.h"
#include "detection/parallel_work.h"
#include "detection/pulse_measures.h"
#include "detection/series_preparation.h"
#include "files/json.h"

namespace commands {

namespace {

int refuse(int code, const std::string& message)
{
    std::fprintf(stderr, "quillmore-cli search: %s\n", message.c_str());
    return code;
}

// The template every point correlates with (empty: a box of each point's
// pulse length), and the score in words. Returns 2 for a bad option, 1 for
// an unreadable template file, 0 when all is set.
int searchTemplate(const SearchOptions& o, std::vector<int64_t>& templ, std::string& scoreText, std::string& error)
{
    if (o.score == "energy") {
        scoreText = "window energy";
        return 0;
    }
    std::string what;
    if (o.etalon) {
        if (!etalonTemplate(*o.etalon, templ, what, error))
            return 2;
    } else if (o.boxWidth) {
        templ.assign(static_cast<size_t>(*o.boxWidth), 1);
        what = "box of " + std::to_string(*o.boxWidth) + " samples";
    } else if (o.templateFile) {
        if (!fileTemplate(*o.templateFile, templ, error))
            return 1;
        what = "template " + *o.templateFile + " (" + std::to_string(templ.size()) + " samples)";
    } else {
        what = "box of each pulse length";
    }
    scoreText = "correlation with the " + what;
    return 0;
}

// The grid in words: "40 periods 500 to 2450 in steps of 50, window 0.1" or
// "3 Tmin/Tmax pairs", then the pulse lengths.
std::string gridText(const SearchOptions& o, size_t layouts, const std::vector<int32_t>& lengths, size_t points)
{
    std::string text;
    if (o.period)
        text = base::formatText("%zu periods %s to %s in steps of %s, window %s", layouts,
                                base::shortestText(o.period->from).c_str(), base::shortestText(o.period->to).c_str(),
                                base::shortestText(o.period->step).c_str(), base::shortestText(*o.window).c_str());
    else
        text = base::formatText("%zu Tmin/Tmax pairs", layouts);
    text += base::formatText(" x %zu pulse lengths (", lengths.size());
    for (size_t k = 0; k < lengths.size() && k < 8; ++k)
        text += (k > 0 ? ", " : "") + std::to_string(lengths[k]);
    text += lengths.size() > 8 ? ", ...)" : ")";
    return text + base::formatText(": %zu points", points);
}

// Everything one run of search found, for the three output formats.
struct SearchReport {
    const SearchOptions& options;
    const OwnSeries& series;
    const detection::SearchRequest& request;
    const detection::SearchOutcome& outcome;
    std::string scoreText;
    std::string grid;
    double sigma = 0;                               // the robust noise level of the unscaled samples
    std::vector<detection::PulseMeasure> measures;  // one per pulse of the best point
    std::optional<detection::Significance> significance;

    const detection::SearchRow& best() const { return outcome.rows[static_cast<size_t>(outcome.best)]; }
    bool matched() const { return request.score == detection::ScoreKind::Correlation; }
};

std::string figure(double v) { return std::isfinite(v) ? base::formatText("%.3f", v) : std::string("-"); }

std::string periodText(const detection::SearchRow& row)
{
    return std::isnan(row.point.period) ? std::string("-") : base::shortestText(row.point.period);
}

void printSpectrum(const SearchReport& r)
{
    std::printf("spectrum:\n");
    std::printf("  %10s  %9s  %9s  %6s  %6s  %19s  %8s  %9s\n", "period", "tmin", "tmax", "length", "count", "score",
                "snr", "statistic");
    for (size_t i = 0; i < r.outcome.rows.size(); ++i) {
        const detection::SearchRow& row = r.outcome.rows[i];
        std::printf("  %10s  %9d  %9d  %6d  %6d", periodText(row).c_str(), row.point.Tmin, row.point.Tmax, row.point.L,
                    row.count);
        if (!row.refusal.empty()) {
            std::printf("  %19s  %8s  %9s  %s\n", "-", "-", "-", row.refusal.c_str());
            continue;
        }
        std::printf("  %19lld  %8s  %9s%s\n", static_cast<long long>(row.score), figure(row.snr).c_str(),
                    figure(row.statistic).c_str(), static_cast<int64_t>(i) == r.outcome.best ? "  *" : "");
    }
}

void printSignificanceText(const SearchReport& r)
{
    const detection::Significance& g = *r.significance;
    std::printf(
        "significance over the grid: false-alarm probability %s (resolution %s): %lld of %d surrogates "
        "reached the statistic %s at one of the grid's points; blocks of %d samples, seed %llu\n",
        base::shortestText(g.falseAlarm).c_str(), base::shortestText(g.resolution).c_str(),
        static_cast<long long>(g.reached), g.surrogates, figure(g.statistic).c_str(), g.block,
        static_cast<unsigned long long>(g.seed));
}

void printText(const SearchReport& r)
{
    const detection::SearchOutcome& o = r.outcome;
    std::printf("== search %s\n", r.options.file.c_str());
    std::printf("read: %s\n", r.series.data.source.c_str());
    std::printf("preparation:\n");
    for (const std::string& line : r.series.prepared.report)
        std::printf("  %s\n", line.c_str());
    std::printf("grid: %s\n", r.grid.c_str());
    std::printf("score: %s\n", r.scoreText.c_str());
    if (r.matched())
        std::printf("task: count unknown at every point, matched filter (null of %d series, seed %llu)\n",
                    r.request.nullSeries, static_cast<unsigned long long>(r.request.seed));
    else
        std::printf("task: count unknown at every point, sequential method\n");
    std::printf("noise: sigma %s in the data's units (%s)\n", base::shortestText(r.sigma).c_str(),
                detection::kNoiseEstimateMethod);
    printSpectrum(r);
    const detection::SearchRow& b = r.best();
    std::printf(
        "best: point %lld of %zu: period %s, Tmin %d, Tmax %d, pulse length %d: %d pulses, score %lld, "
        "snr %s, statistic %s\n",
        static_cast<long long>(o.best + 1), o.rows.size(), periodText(b).c_str(), b.point.Tmin, b.point.Tmax, b.point.L,
        b.count, static_cast<long long>(b.score), figure(b.snr).c_str(), figure(b.statistic).c_str());
    printPulseTable(stdout, r.series.data, o.bestOutcome.pulseScores, r.measures);
    if (r.significance)
        printSignificanceText(r);
}

// The fields of a spectrum row (and of the best point).
void writeRowFields(files::JsonWriter& j, const detection::SearchRow& row)
{
    finiteOrNull(j, "period", row.point.period);
    j.field("tmin", row.point.Tmin).field("tmax", row.point.Tmax).field("pulseLength", row.point.L);
    j.field("count", row.count);
    j.key("score");
    row.refusal.empty() ? (void)j.value(row.score) : (void)j.null();
    finiteOrNull(j, "snr", row.snr);
    finiteOrNull(j, "statistic", row.statistic);
}

void printJson(const SearchReport& r)
{
    const detection::SearchOutcome& o = r.outcome;
    const files::SeriesData& data = r.series.data;
    files::JsonWriter j;
    j.beginObject();
    j.field("file", std::string_view(r.options.file));
    j.field("source", std::string_view(data.source));
    j.field("column", std::string_view(data.columnName));
    optionalNumber(j, "sampleRate", data.sampleRate > 0 ? std::optional<double>(data.sampleRate) : std::nullopt);
    writePreparationJson(j, r.options.prepare, r.series.prepared);
    j.key("noise").beginObject();
    j.key("sigma").real(r.sigma);
    j.field("method", std::string_view(detection::kNoiseEstimateMethod));
    j.endObject();
    j.field("score", std::string_view(r.scoreText));
    j.field("task", std::string_view(r.matched() ? "matched filter" : "sequential method"));
    j.key("grid").beginObject();
    j.field("points", static_cast<int64_t>(o.rows.size()));
    optionalNumber(j, "window", r.options.window);
    j.field("text", std::string_view(r.grid));
    if (r.matched())
        j.field("nullSeries", r.request.nullSeries).field("seed", static_cast<int64_t>(r.request.seed));
    j.endObject();
    j.key("spectrum").beginArray();
    for (const detection::SearchRow& row : o.rows) {
        j.beginObject();
        writeRowFields(j, row);
        j.key("refusal");
        row.refusal.empty() ? (void)j.null() : (void)j.value(std::string_view(row.refusal));
        j.endObject();
    }
    j.endArray();
    j.key("best").beginObject();
    j.field("index", o.best);
    writeRowFields(j, r.best());
    j.field("fromCount", o.bestOutcome.fromCount).field("toCount", o.bestOutcome.toCount);
    writePulsesJson(j, data, o.bestOutcome.pulseScores, r.measures);
    if (r.significance)
        writeSignificanceJson(j, *r.significance);
    j.endObject();
    if (r.significance)
        writeSignificanceJson(j, *r.significance);
    j.endObject();
    std::printf("%s\n", j.text().c_str());
}

void printCsv(const SearchReport& r)
{
    auto real = [](double v) { return std::isfinite(v) ? base::shortestText(v) : std::string(); };
    std::printf("period,tmin,tmax,pulse_length,count,score,snr,statistic\n");
    for (const detection::SearchRow& row : r.outcome.rows)
        std::printf("%s,%d,%d,%d,%d,%s,%s,%s\n", real(row.point.period).c_str(), row.point.Tmin, row.point.Tmax,
                    row.point.L, row.count, row.refusal.empty() ? std::to_string(row.score).c_str() : "",
                    real(row.snr).c_str(), real(row.statistic).c_str());
}

// Why nothing could be reported: the first point's refusal and how many
// points shared its fate.
std::string nothingFound(const detection::SearchOutcome& o)
{
    size_t refused = 0;
    const std::string* first = nullptr;
    for (const detection::SearchRow& row : o.rows)
        if (!row.refusal.empty()) {
            ++refused;
            first = first ? first : &row.refusal;
        }
    if (!first)
        return "no point of the grid found a pulse";
    return "no point of the grid could run (" + std::to_string(refused) + " of " + std::to_string(o.rows.size()) +
           " refused; the first: " + *first + ")";
}

// The grid of the options: layouts times pulse lengths (the template's
// length when one template serves every point). 0, or 2 with the refusal.
int buildGrid(const SearchOptions& o, const std::vector<int64_t>& templ, std::vector<detection::SearchPoint>& grid,
              std::vector<int32_t>& lengths, size_t& layoutCount, std::string& error)
{
    std::vector<detection::SearchPoint> layouts;
    if (!gridLayouts(o, layouts, error))
        return 2;
    layoutCount = layouts.size();
    lengths = templ.empty() ? o.pulseLengths : std::vector<int32_t>{static_cast<int32_t>(templ.size())};
    return detection::expandSearchGrid(layouts, lengths, grid, error) ? 0 : 2;
}

}  // namespace

int runSearchCommand(const std::vector<std::string>& args)
{
    const auto started = std::chrono::steady_clock::now();
    SearchOptions o;
    std::string error;
    if (!parseSearchOptions(args, o, error))
        return refuse(2, error);
    detection::SearchRequest request;
    std::string scoreText;
    if (const int code = searchTemplate(o, request.templateSamples, scoreText, error); code != 0)
        return refuse(code, error);
    std::vector<int32_t> lengths;
    size_t layoutCount = 0;
    if (const int code = buildGrid(o, request.templateSamples, request.grid, lengths, layoutCount, error); code != 0)
        return refuse(code, error);
    request.score = o.score == "energy" ? detection::ScoreKind::Energy : detection::ScoreKind::Correlation;

    OwnSeries series;
    if (const int code = readOwnSeries(o.file, o.read, o.prepare, series, error); code != 0)
        return refuse(code, error);
    const std::vector<int64_t>& x = series.prepared.samples;

    // The points that run at once each need their own memory; the work is
    // the grid's whole.
    request.nullSeries = o.nullSeries.value_or(request.nullSeries);
    request.seed = o.seed.value_or(request.seed);
    request.threads = simulationThreads(o.threads, availableProcessors(), "quillmore-cli search", false);
    const detection::SearchCost cost = detection::estimateSearchCost(static_cast<int64_t>(x.size()), request);
    const uint64_t atOnce = std::min<uint64_t>(request.threads, std::max<size_t>(request.grid.size(), 1));
    const uint64_t bytes = cost.largestBytes > UINT64_MAX / atOnce ? UINT64_MAX : cost.largestBytes * atOnce;
    const detection::DetectionCost weighed{bytes, cost.work, 0};
    const LimitWords words{"the search",
                           "narrow the grid (fewer periods or pulse lengths, a narrower --window or --tmin..--tmax), "
                           "use fewer --threads or a shorter series"};
    if (!detectionFitsLimits(weighed, o.maxMemory, o.maxWork, error, words))
        return refuse(2, o.file + ": " + error);

    InterruptWatch interrupt;
    request.progress = interrupt.progress(o.progress, std::chrono::steady_clock::now());
    detection::SearchOutcome outcome;
    detection::searchLayouts(x, request, outcome);
    if (interrupt.interrupted()) {
        interrupt.closeBar();
        return refuse(130, "interrupted");
    }
    if (outcome.best < 0)
        return refuse(1, o.file + ": " + nothingFound(outcome));

    SearchReport report{o, series, request, outcome, scoreText, gridText(o, layoutCount, lengths, request.grid.size())};
    const detection::SearchRow& best = report.best();
    const detection::DetectionRequest bestRequest =
        detection::searchPointRequest(request, static_cast<size_t>(outcome.best));
    report.measures = measureFoundPulses(series.prepared, outcome.bestOutcome.positions, best.point.L,
                                         bestRequest.templateSamples, report.sigma);
    if (o.significance) {
        interrupt.closeBar();
        detection::Significance significance;
        const bool judged = detection::assessSearchSignificance(
            x, request, outcome, *o.significance, request.seed, request.threads,
            interrupt.progress(o.progress, std::chrono::steady_clock::now()), significance, error);
        if (interrupt.interrupted()) {
            interrupt.closeBar();
            return refuse(130, "interrupted");
        }
        if (!judged)
            return refuse(1, o.file + ": significance: " + error);
        report.significance = significance;
    }
    if (o.json)
        printJson(report);
    else if (o.csv)
        printCsv(report);
    else
        printText(report);
    std::fflush(stdout);

    int code = 0;
    if (o.plot) {
        const SearchPlotInput plot{o.file,  series.data, series.prepared,     request,
                                   outcome, scoreText,   o.period.has_value()};
        if (!writeSearchPlot(*o.plot, o.plotWidth, o.plotHeight, plot, error))
            code = refuse(1, error);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "search: %zu grid points of %s, best %d pulses at Tmin %d, Tmax %d, L %d (%s), %.2f s\n",
                 request.grid.size(), o.file.c_str(), best.count, best.point.Tmin, best.point.Tmax, best.point.L,
                 scoreText.c_str(), seconds);
    return code;
}

}  // namespace commands
