#include "commands/own_series.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "base/formatted_text.h"
#include "base/message_sink.h"
#include "commands/option_parser.h"
#include "synthesis/etalon_generation.h"
#include "synthesis/random_streams.h"

namespace commands {

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

int readOwnSeries(const std::string& file, const files::SeriesReadOptions& read,
                  const detection::PreparationOptions& prepare, OwnSeries& series, std::string& error)
{
    files::SeriesReadResult r = files::readSeriesFile(file, read);
    if (!r.ok) {
        error = r.error;
        return 1;
    }
    series.data = std::move(r.data);
    if (std::string misfit = files::seriesChoiceRefusal(file, series.data, read, {"--column", "--channel", " "});
        !misfit.empty()) {
        error = std::move(misfit);
        return 2;
    }
    if (!prepareOwnSeries(series.data, prepare, series.prepared, error)) {
        error = file + ": " + error;
        return 1;
    }
    return 0;
}

bool prepareOwnSeries(const files::SeriesData& data, const detection::PreparationOptions& prepare,
                      detection::PreparedSeries& prepared, std::string& error)
{
    if (!detection::prepareSeries(data.values, data.integral, prepare, prepared, error))
        return false;
    error = detection::preparedSeriesProblem(prepared);
    return error.empty();
}

std::vector<detection::PulseMeasure> measureFoundPulses(const detection::PreparedSeries& prepared,
                                                        std::span<const int32_t> positions, int32_t L,
                                                        std::span<const int64_t> templateSamples, double& sigma)
{
    sigma = detection::robustNoiseSigma(prepared.unscaled);
    const std::vector<double> shape = detection::unitPeakShape(prepared.unscaled, positions, L, templateSamples);
    return detection::measurePulses(prepared.unscaled, positions, L, shape, sigma);
}

std::optional<double> timeAt(const files::SeriesData& data, double sample)
{
    const double t = detection::timeAtSample(data.times, data.sampleRate, sample);
    return std::isnan(t) ? std::nullopt : std::optional<double>(t);
}

std::string numberOrEmpty(const std::optional<double>& v) { return v ? base::shortestText(*v) : std::string(); }

const char* detrendName(detection::Detrend d)
{
    switch (d) {
    case detection::Detrend::None:
        return "none";
    case detection::Detrend::WholeMedian:
        return "median";
    case detection::Detrend::MovingMedian:
        return "moving median";
    }
    return "";
}

void printPulseTable(std::FILE* out, const files::SeriesData& data, std::span<const int64_t> pulseScores,
                     std::span<const detection::PulseMeasure> measures)
{
    std::fprintf(out, "found %zu pulses:\n", measures.size());
    const bool times = !data.times.empty();
    if (times)
        std::fprintf(out, "  pulse  start  end  centre  %s  centre %s  amplitude  score  snr\n", data.timeName.c_str(),
                     data.timeName.c_str());
    else
        std::fprintf(out, "  pulse  start  end  centre  amplitude  score  snr\n");
    for (size_t k = 0; k < measures.size(); ++k) {
        const detection::PulseMeasure& m = measures[k];
        std::fprintf(out, "  %5zu  %5d  %d  %s", k + 1, m.start, m.end, base::shortestText(m.centre).c_str());
        if (times)
            std::fprintf(out, "  %s  %s", numberOrEmpty(timeAt(data, m.start)).c_str(),
                         numberOrEmpty(timeAt(data, m.centre)).c_str());
        std::fprintf(out, "  %.6g  %lld  %.3f\n", m.amplitude, static_cast<long long>(pulseScores[k]), m.snr);
    }
}

void writePreparationJson(files::JsonWriter& j, const detection::PreparationOptions& options,
                          const detection::PreparedSeries& prepared)
{
    j.key("preparation").beginObject();
    j.field("samples", static_cast<int64_t>(prepared.samples.size()));
    j.field("gaps", prepared.gaps);
    j.key("centre").real(prepared.centre);
    j.field("detrend", std::string_view(detrendName(options.detrend)));
    j.key("median").real(prepared.trendMedian);
    j.field("window", options.detrend == detection::Detrend::MovingMedian ? options.window : 0);
    j.key("inverted").boolean(options.invert);
    j.key("scale").real(prepared.scale);
    j.key("scaled").boolean(prepared.scaled);
    j.field("largest", prepared.largest);
    j.key("report").beginArray();
    for (const std::string& line : prepared.report)
        j.value(std::string_view(line));
    j.endArray().endObject();
}

void writePulsesJson(files::JsonWriter& j, const files::SeriesData& data, std::span<const int64_t> pulseScores,
                     std::span<const detection::PulseMeasure> measures)
{
    j.key("pulses").beginArray();
    for (size_t k = 0; k < measures.size(); ++k) {
        const detection::PulseMeasure& m = measures[k];
        j.beginObject().field("pulse", static_cast<int64_t>(k + 1)).field("start", m.start).field("end", m.end);
        j.key("centre").real(m.centre);
        optionalNumber(j, "time", timeAt(data, m.start));
        optionalNumber(j, "centreTime", timeAt(data, m.centre));
        j.key("amplitude").real(m.amplitude);
        j.field("score", pulseScores[k]);
        j.key("snr").real(m.snr);
        j.endObject();
    }
    j.endArray();
}

void writeSignificanceJson(files::JsonWriter& j, const detection::Significance& g)
{
    j.key("significance").beginObject();
    j.field("surrogates", g.surrogates).field("seed", static_cast<int64_t>(g.seed)).field("block", g.block);
    finiteOrNull(j, "statistic", g.statistic);
    j.field("reached", g.reached);
    j.key("falseAlarmProbability").real(g.falseAlarm);
    j.key("resolution").real(g.resolution);
    j.endObject();
}

void optionalNumber(files::JsonWriter& j, std::string_view key, const std::optional<double>& v)
{
    j.key(key);
    v ? (void)j.real(*v) : (void)j.null();
}

void finiteOrNull(files::JsonWriter& j, std::string_view key, double v)
{
    optionalNumber(j, key, std::isfinite(v) ? std::optional<double>(v) : std::nullopt);
}

}  // namespace commands
