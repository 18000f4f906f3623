// quillmore-cli run and simulate: the workbench's own pipeline without its
// window, one series (or one simulation) at a time.

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "commands.h"
#include "json_writer.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/main_window.h"
#include "shell/mouse_input.h"
#include "views/processing_result_text.h"
#include "workbench_session.h"

namespace {

template <typename T>
std::span<const T> first(const std::vector<T>& v, size_t n)
{
    return std::span<const T>(v.data(), std::min(n, v.size()));
}

void writeSeries(JsonWriter& j, const SeriesHeader& s)
{
    const size_t K = s.wImpulseQuantity, N = s.dwSeriesSize;
    j.beginObject();
    j.field("dwSeriesSize", s.dwSeriesSize).field("wTmin", s.wTmin).field("wTmax", s.wTmax);
    j.field("wImpulseSize", s.wImpulseSize).field("wImpulseQuantity", s.wImpulseQuantity);
    j.field("wMinPulses", s.wMinPulses).field("wMaxPulses", s.wMaxPulses).field("wNoiseLevel", s.wNoiseLevel);
    j.field("wAmplitude", s.wAmplitude);
    j.key("lpPositions").array(first(s.lpPositions, K));
    j.key("lpEtalonSequence").array(first(s.lpEtalonSequence, K));
    j.key("lpCutFrom").array(first(s.lpCutFrom, K));
    j.key("lpCutTo").array(first(s.lpCutTo, K));
    j.key("lpMinPositions").array(first(s.lpMinPositions, K));
    j.key("lpMaxPositions").array(first(s.lpMaxPositions, K));
    j.field("wFoundPulses", s.wFoundPulses);
    j.key("lpFoundPositions").array(first(s.lpFoundPositions, s.wFoundPulses));
    j.key("lpPureData").array(first(s.lpPureData, N));
    j.key("lpSeriesData").array(first(s.lpSeriesData, N));
    j.endObject();
}

void writeProtocol(JsonWriter& j, const StepwiseProtocol& p)
{
    j.beginObject();
    j.field("wTask", p.wTask).field("wSeriesType", p.wSeriesType);
    j.key("lpTaskName");
    p.lpTaskName ? j.value(std::string_view(p.lpTaskName)) : j.null();
    j.key("lpSeriesName");
    p.lpSeriesName ? j.value(std::string_view(p.lpSeriesName)) : j.null();
    j.key("rows").beginArray();
    for (int r = 0; r < p.wUsed; ++r) {
        j.beginObject();
        j.field("method", protocolMethodLabel(p.lpMethod[r]));
        j.field("lpPulses", p.lpPulses[r]).field("lpMeasure", p.lpMeasure[r]).field("lpSquares", p.lpSquares[r]);
        j.field("lpIterations", p.lpIterations[r]);
        j.key("positions").array(first(p.lpRowPositions[r], p.lpPulses[r]));
        j.endObject();
    }
    j.endArray();
    j.endObject();
}

void writeStudy(JsonWriter& j, const DetectionStudy& d)
{
    j.beginObject();
    j.field("capacity", d.dwCapacity).field("seriesSize", d.dwSeriesSize).field("pulseCapacity", d.wPulseCapacity);
    j.field("truePulses", d.wTruePulses).field("minPulses", d.wMinPulses).field("maxPulses", d.wMaxPulses);
    j.field("impulseSize", d.wImpulseSize);
    j.key("intervalCounts").array(std::span<const uint16_t>(d.wIntervalCounts));
    j.key("detectedCounts").array(std::span<const uint16_t>(d.wDetectedCounts));
    j.field("passes", d.lPasses).field("meanWindowEnergy", d.lMeanWindowEnergy);
    j.field("firstNoiseThreshold", d.lFirstNoiseThreshold).field("lastNoiseThreshold", d.lLastNoiseThreshold);
    j.field("detectionThreshold", d.lDetectionThreshold).field("expectedNoiseEnergy", d.lExpectedNoiseEnergy);
    j.key("truePositions").array(first(d.lpTruePositions, d.wTruePulses));
    // Arrays kept per pass or per start region, each cut to its own count.
    auto perEntry = [&j](std::string_view name, const auto& arrays, const auto& counts) {
        j.key(name).beginArray();
        for (size_t k = 0; k < arrays.size(); ++k)
            j.array(first(arrays[k], counts[k]));
        j.endArray();
    };
    perEntry("detectedPositions", d.lpDetectedPositions, d.wDetectedCounts);
    perEntry("detectedEnergies", d.lpDetectedEnergies, d.wDetectedCounts);
    perEntry("intervalStarts", d.lpIntervalStarts, d.wIntervalCounts);
    perEntry("intervalEnds", d.lpIntervalEnds, d.wIntervalCounts);
    const size_t starts = d.dwSeriesSize >= d.wImpulseSize ? d.dwSeriesSize - d.wImpulseSize + 1 : 0;
    j.key("energies").array(first(d.lpEnergies, starts));
    j.key("reducedEnergies").array(first(d.lpReducedEnergies, starts));
    j.key("chiSquarePoints").beginArray().value(d.chiSquarePoints[0]).value(d.chiSquarePoints[1]).endArray();
    j.field("task", d.wTask).field("detectionMethod", d.wDetectionMethod);
    j.endObject();
}

bool usesChainTotals(const AppState& s)
{
    return s.taskType == taskBlindDetection &&
           (s.seriesType == seriesUnknownWhole || s.seriesType == seriesUnknownCutOff);
}

void writeMessages(JsonWriter& j, const std::vector<RecordedMessage>& messages, size_t from)
{
    j.beginArray();
    for (size_t i = from; i < messages.size(); ++i)
        j.beginObject().field("caption", messages[i].caption).field("text", messages[i].text).endObject();
    j.endArray();
}

void writeState(JsonWriter& j, const AppState& s)
{
    j.beginObject();
    j.field("taskType", s.taskType).field("seriesType", s.seriesType).field("seriesPulseCount", s.seriesPulseCount);
    j.field("minPulseCount", s.minPulseCount).field("maxPulseCount", s.maxPulseCount);
    j.field("requestedPulseCount", s.requestedPulseCount).field("noiseSeed", s.random.noiseSeed);
    j.endObject();
}

std::string seriesJson(const AppState& s, const ConsoleHost& host, size_t firstMessage)
{
    JsonWriter j;
    j.beginObject();
    j.key("series");
    s.lpSeriesHeader ? writeSeries(j, *s.lpSeriesHeader) : (void)j.null();
    j.key("protocol");
    s.lpStepwiseProtocol ? writeProtocol(j, *s.lpStepwiseProtocol) : (void)j.null();
    j.key("detectionStudy");
    s.detectionStudy && usesChainTotals(s) ? writeStudy(j, *s.detectionStudy) : (void)j.null();
    j.key("pulseCountTable");
    if (s.pulseCountTable && usesChainTotals(s)) {
        const PulseCountTable& t = *s.pulseCountTable;
        j.beginObject().field("configured", t.wConfiguredCount).field("minimum", t.wMinCount).field("maximum", t.wMaxCount);
        j.key("rows").beginArray();
        for (int r = 0; r < t.wRows; ++r)
            j.beginObject()
                .field("count", t.lpPulseCounts[r])
                .field("squares", t.lpSquares[r])
                .field("noisePerWindow", t.lpNoisePerWindow[r])
                .endObject();
        j.endArray().endObject();
    } else {
        j.null();
    }
    j.key("chainTotals");
    if (usesChainTotals(s) && s.lpSeriesHeader) {
        const SeriesHeader& h = *s.lpSeriesHeader;
        const size_t n = h.dwSeriesSize >= h.wImpulseSize ? h.dwSeriesSize - h.wImpulseSize + 1 : 0;
        j.array(first(s.traceUnfixedCaseCriteria, n));
    } else {
        j.null();
    }
    j.key("messages");
    writeMessages(j, host.messages, firstMessage);
    j.key("state");
    writeState(j, s);
    j.endObject();
    return j.text();
}

void printSeriesText(const AppState& s, long number)
{
    std::printf("== series %ld\n", number);
    if (!s.lpSeriesHeader) {
        std::printf(" no series\n");
        return;
    }
    const SeriesHeader& h = *s.lpSeriesHeader;
    if (s.lpStepwiseProtocol) {
        const StepwiseProtocol& p = *s.lpStepwiseProtocol;
        for (const std::string& line : processingResultHeader(p, s.detectionStudy.get(), s.active_etalons, h))
            std::printf("%s\n", line.c_str());
        if (p.wUsed > 0) {
            auto printCells = [](const std::vector<TableCell>& cells) {
                // Pixel offsets become columns of roughly one character per 5 pixels.
                std::string line;
                for (const TableCell& c : cells) {
                    const size_t column = static_cast<size_t>(c.x / 5);
                    if (line.size() < column)
                        line.append(column - line.size(), ' ');
                    line += c.text;
                }
                std::printf("%s\n", line.c_str());
            };
            printCells(protocolTableHeader(p));
            for (int r = 0; r < p.wUsed; ++r)
                printCells(protocolTableRow(p, h, r));
        }
    }
    if (s.taskType == taskSeriesProcessing) {
        std::printf(" found %d pulses:", h.wFoundPulses);
        for (int k = 0; k < h.wFoundPulses; ++k)
            std::printf(" %d", h.lpFoundPositions[k]);
        std::printf("\n");
    }
}

// Reads the options, starts the workbench as the window starts it and
// applies them; returns the exit code to end with, or -1 to go on.
int startSession(const char* command, const std::vector<std::string>& args, RunOptions& options,
                 SimulateOptions* simulate, AppState& state, ConsoleHost& host)
{
    std::string error;
    if (!parseRunOptions(args, options, simulate, error)) {
        std::fprintf(stderr, "quillmore-cli %s: %s\n", command, error.c_str());
        return 2;
    }
    host.echoMessages = !options.json;
    if (!onCreate(state, host)) {
        for (const RecordedMessage& m : host.messages)
            std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
        return 1;
    }
    if (!applyRunOptions(state, host, options, error)) {
        std::fprintf(stderr, "quillmore-cli: %s\n", error.c_str());
        return 2;
    }
    return -1;
}

// As the window does after a processing: the result view shows one protocol
// row and leaves it in the series as the found positions.
void showResult(AppState& s)
{
    const bool resultView = s.taskType == taskFixedEstimation || s.taskType == taskUnfixedEstimation ||
                            s.taskType == taskBlindDetection;
    if (resultView && s.lpStepwiseProtocol && s.lpSeriesHeader)
        storeShownRow(*s.lpStepwiseProtocol, *s.lpSeriesHeader);
}

// A progress bar on the terminal: cells done and the time left at the pace so far.
void showProgress(std::chrono::steady_clock::time_point started, uint64_t done, uint64_t total)
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double left = done ? elapsed * (total - done) / done : 0.0;
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(kWidth * static_cast<uint64_t>(done) / total) : kWidth;
    std::fprintf(stderr, "\r[%.*s%*s] %llu/%llu series, %.0f s left ", filled, "##############################",
                 kWidth - filled, "", static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                 left);
    if (done == total)
        std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

}  // namespace

int runRunCommand(const std::vector<std::string>& args)
{
    RunOptions options;
    AppState state;
    ConsoleHost host;
    if (const int code = startSession("run", args, options, nullptr, state, host); code >= 0)
        return code;

    for (long n = 1; n <= options.series; ++n) {
        const size_t firstMessage = host.messages.size();
        state.moreDetails = options.moreDetails ? 1 : 0;
        nextSeriesInResultView(state, host);
        for (long j = 0; j < options.same; ++j) {
            state.moreDetails = options.moreDetails ? 1 : 0;
            dispatchCommand(state, host, resources::IdProcessingSameData);
        }
        showResult(state);
        if (options.json)
            std::printf("%s\n", seriesJson(state, host, firstMessage).c_str());
        else
            printSeriesText(state, n);
        std::fflush(stdout);
    }
    onDestroy(state);
    return 0;
}

int runSimulateCommand(const std::vector<std::string>& args)
{
    RunOptions options;
    SimulateOptions sim;
    AppState state;
    ConsoleHost host;
    if (const int code = startSession("simulate", args, options, &sim, state, host); code >= 0)
        return code;

    // Dialog 105 is accepted as it fills itself; dialog 110 takes the values given.
    using namespace resources;
    host.dialogEdits[DialogCreateSeries] = {};
    std::vector<std::pair<int32_t, std::string>>& edits = host.dialogEdits[DialogLocationParameters];
    auto edit = [&edits](int32_t id, const std::optional<long>& v) {
        if (v)
            edits.emplace_back(id, std::to_string(*v));
    };
    edit(EditPulsesFrom, sim.from);
    edit(EditPulsesTo, sim.to);
    edit(EditPulsesIncrement, sim.incr);
    edit(EditInitialNoiseLevel, sim.noiseFrom);
    edit(EditNoiseSteps, sim.noiseSteps);
    edit(EditNoiseIncrement, sim.noiseIncr);
    edit(EditRepeatCount, sim.repeats);

    const auto started = std::chrono::steady_clock::now();
    if (isatty(STDERR_FILENO))
        state.simulationOptions.progress = [started](uint64_t done, uint64_t total) {
            showProgress(started, done, total);
            return true;
        };
    dispatchCommand(state, host, IdDetectionStatisticalSimulation);

    const RestErrorHeader* r = state.lpRestErrorHeader.get();
    if (!r || !r->fReady) {
        std::fprintf(stderr, "quillmore-cli simulate: the simulation did not run\n");
        onDestroy(state);
        return 1;
    }
    const auto pulses = first(r->wPulseValues, r->wVariousPulses);
    const auto levels = first(r->lpNoiseLevel, r->wNoiseLevels);
    const auto& errors = r->lpErrors[kDetectionErrors];
    if (options.json) {
        JsonWriter j;
        j.beginObject();
        j.key("wPulseValues").array(pulses);
        j.key("lpNoiseLevel").array(levels);
        j.field("repeats", r->repeats);
        j.key("errors").beginArray();
        for (size_t i = 0; i < levels.size(); ++i)
            j.array(first(errors[i], pulses.size()));
        j.endArray();
        j.key("series");
        state.lpSeriesHeader ? writeSeries(j, *state.lpSeriesHeader) : (void)j.null();
        j.endObject();
        std::printf("%s\n", j.text().c_str());
    } else if (sim.csv) {
        std::printf("noise");
        for (int16_t m : pulses)
            std::printf(",%d", m);
        std::printf("\n");
        for (size_t i = 0; i < levels.size(); ++i) {
            std::printf("%d", levels[i]);
            for (size_t jx = 0; jx < pulses.size(); ++jx)
                std::printf(",%d", errors[i][jx]);
            std::printf("\n");
        }
    } else {
        std::printf("pulse values:");
        for (int16_t m : pulses)
            std::printf(" %d", m);
        std::printf("\nnoise levels:");
        for (int16_t l : levels)
            std::printf(" %d", l);
        std::printf("\nrepeats: %d\ndetection errors (one row per noise level):\n", r->repeats);
        for (size_t i = 0; i < levels.size(); ++i) {
            std::printf("%6d |", levels[i]);
            for (size_t jx = 0; jx < pulses.size(); ++jx)
                std::printf(" %8d", errors[i][jx]);
            std::printf("\n");
        }
        if (state.lpSeriesHeader) {
            const SeriesHeader& h = *state.lpSeriesHeader;
            std::printf("last series: %u samples, %d pulses, noise level %d, positions:", h.dwSeriesSize,
                        h.wImpulseQuantity, h.wNoiseLevel);
            for (int k = 0; k < h.wImpulseQuantity; ++k)
                std::printf(" %d", h.lpPositions[k]);
            std::printf("\n");
        }
    }
    onDestroy(state);
    return 0;
}
