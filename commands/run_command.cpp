// quillmore-cli run: the workbench's own pipeline without its window, one
// series at a time, as a click on Next makes it.

#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "files/png_image.h"
#include "files/json.h"
#include "files/simulation_parts.h"
#include "commands/simulation_output.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/mouse_input.h"
#include "shell/window_painting.h"
#include "views/processing_result_text.h"
#include "commands/workbench_session.h"

namespace commands {

namespace {

using files::firstOf;

void writeProtocol(files::JsonWriter& j, const detection::StepwiseProtocol& p)
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
        j.field("method", detection::protocolMethodLabel(p.lpMethod[r]));
        j.field("lpPulses", p.lpPulses[r]).field("lpMeasure", p.lpMeasure[r]).field("lpSquares", p.lpSquares[r]);
        j.field("lpIterations", p.lpIterations[r]);
        j.key("positions").array(firstOf(p.lpRowPositions[r], p.lpPulses[r]));
        j.endObject();
    }
    j.endArray();
    j.endObject();
}

void writeStudy(files::JsonWriter& j, const detection::DetectionStudy& d)
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
    j.key("truePositions").array(firstOf(d.lpTruePositions, d.wTruePulses));
    // Arrays kept per pass or per start region, each cut to its own count.
    auto perEntry = [&j](std::string_view name, const auto& arrays, const auto& counts) {
        j.key(name).beginArray();
        for (size_t k = 0; k < arrays.size(); ++k)
            j.array(firstOf(arrays[k], counts[k]));
        j.endArray();
    };
    perEntry("detectedPositions", d.lpDetectedPositions, d.wDetectedCounts);
    perEntry("detectedEnergies", d.lpDetectedEnergies, d.wDetectedCounts);
    perEntry("intervalStarts", d.lpIntervalStarts, d.wIntervalCounts);
    perEntry("intervalEnds", d.lpIntervalEnds, d.wIntervalCounts);
    const size_t starts = d.dwSeriesSize >= d.wImpulseSize ? d.dwSeriesSize - d.wImpulseSize + 1 : 0;
    j.key("energies").array(firstOf(d.lpEnergies, starts));
    j.key("reducedEnergies").array(firstOf(d.lpReducedEnergies, starts));
    j.key("chiSquarePoints").beginArray().value(d.chiSquarePoints[0]).value(d.chiSquarePoints[1]).endArray();
    j.field("task", d.wTask).field("detectionMethod", d.wDetectionMethod);
    j.endObject();
}

bool usesChainTotals(const shell::AppState& s)
{
    return s.taskType == detection::taskBlindDetection && detection::isUnknownCountSeries(s.seriesType);
}

void writeMessages(files::JsonWriter& j, const std::vector<base::RecordedMessage>& messages, size_t from)
{
    j.beginArray();
    for (size_t i = from; i < messages.size(); ++i)
        j.beginObject().field("caption", messages[i].caption).field("text", messages[i].text).endObject();
    j.endArray();
}

void writeState(files::JsonWriter& j, const shell::AppState& s)
{
    j.beginObject();
    j.field("taskType", s.taskType).field("seriesType", s.seriesType).field("seriesPulseCount", s.seriesPulseCount);
    j.field("minPulseCount", s.minPulseCount).field("maxPulseCount", s.maxPulseCount);
    j.field("requestedPulseCount", s.requestedPulseCount).field("noiseSeed", s.random.noiseSeed);
    j.endObject();
}

// One series as JSON. A series that could not be made has no fields at
// all: the records the workbench still holds belong to an earlier series,
// and the refusal is among the messages.
std::string seriesJson(const shell::AppState& s, const ConsoleHost& host, size_t firstMessage, bool made)
{
    files::JsonWriter j;
    j.beginObject();
    j.key("series");
    made&& s.lpSeriesHeader ? files::writeSeriesJson(j, *s.lpSeriesHeader) : (void)j.null();
    j.key("protocol");
    made&& s.lpStepwiseProtocol ? writeProtocol(j, *s.lpStepwiseProtocol) : (void)j.null();
    j.key("detectionStudy");
    made&& s.detectionStudy&& usesChainTotals(s) ? writeStudy(j, *s.detectionStudy) : (void)j.null();
    j.key("pulseCountTable");
    if (made && s.pulseCountTable && usesChainTotals(s)) {
        const detection::PulseCountTable& t = *s.pulseCountTable;
        j.beginObject()
            .field("configured", t.wConfiguredCount)
            .field("minimum", t.wMinCount)
            .field("maximum", t.wMaxCount);
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
    if (made && usesChainTotals(s) && s.lpSeriesHeader) {
        const synthesis::SeriesHeader& h = *s.lpSeriesHeader;
        const size_t n = h.dwSeriesSize >= h.wImpulseSize ? h.dwSeriesSize - h.wImpulseSize + 1 : 0;
        j.array(firstOf(s.traceUnfixedCaseCriteria, n));
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

void printSeriesText(const shell::AppState& s, long number, bool made)
{
    std::printf("== series %ld\n", number);
    if (!made || !s.lpSeriesHeader) {
        std::printf(" no series\n");
        return;
    }
    const synthesis::SeriesHeader& h = *s.lpSeriesHeader;
    if (s.lpStepwiseProtocol) {
        const detection::StepwiseProtocol& p = *s.lpStepwiseProtocol;
        for (const std::string& line : views::processingResultHeader(p, s.detectionStudy.get(), s.active_etalons, h))
            std::printf("%s\n", line.c_str());
        if (p.wUsed > 0) {
            auto printCells = [](const std::vector<views::TableCell>& cells) {
                // Pixel offsets become columns of roughly one character per 5 pixels.
                std::string line;
                for (const views::TableCell& c : cells) {
                    const size_t column = static_cast<size_t>(c.x / 5);
                    if (line.size() < column)
                        line.append(column - line.size(), ' ');
                    line += c.text;
                }
                std::printf("%s\n", line.c_str());
            };
            printCells(views::protocolTableHeader(p));
            for (int r = 0; r < p.wUsed; ++r)
                printCells(views::protocolTableRow(p, h, r));
        }
    }
    if (s.taskType == detection::taskSeriesProcessing) {
        std::printf(" found %d pulses:", h.wFoundPulses);
        for (int k = 0; k < h.wFoundPulses; ++k)
            std::printf(" %d", h.lpFoundPositions[k]);
        std::printf("\n");
    }
}

// Reads the options, starts the workbench as the window starts it and
// applies them; returns the exit code to end with, or -1 to go on.
int startSession(const char* command, const std::vector<std::string>& args, RunOptions& options, shell::AppState& state,
                 ConsoleHost& host)
{
    std::string error;
    if (!parseRunOptions(args, options, nullptr, error)) {
        std::fprintf(stderr, "quillmore-cli %s: %s\n", command, error.c_str());
        return 2;
    }
    // The window exists at its size before the workbench starts in it.
    if (options.render)
        host.setClientSize(options.renderWidth, options.renderHeight);
    return startWorkbench("quillmore-cli", options, state, host, !options.json);
}

// The picture the window shows when it is painted afresh: everything
// invalid and erased, then one paint into the window's picture.
int renderWindow(shell::AppState& s, ConsoleHost& host, const std::string& path)
{
    host.invalidate(std::nullopt, true);
    host.paint([&](platform::Dc& dc) { shell::paintWindow(s, host, dc); });
    std::string error;
    if (!files::writePngFile(path, host.windowPicture(), error)) {
        std::fprintf(stderr, "quillmore-cli run: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int runRunCommand(const std::vector<std::string>& args)
{
    RunOptions options;
    shell::AppState state;
    ConsoleHost host;
    if (const int code = startSession("run", args, options, state, host); code >= 0)
        return code;

    for (long n = 1; n <= options.series; ++n) {
        const size_t firstMessage = host.messages.size();
        state.moreDetails = options.moreDetails ? 1 : 0;
        state.seriesMade = false;
        shell::nextSeriesInResultView(state, host);
        if (!state.seriesMade) {
            // The refusal has been told. Every further series would be
            // refused the same way, and "Processing Same Data" would only
            // process the samples of an earlier series under the new bounds.
            if (options.json)
                std::printf("%s\n", seriesJson(state, host, firstMessage, false).c_str());
            else
                printSeriesText(state, n, false);
            std::fflush(stdout);
            std::fprintf(stderr, "quillmore-cli run: series %ld could not be made\n", n);
            shell::onDestroy(state);
            return 1;
        }
        for (long j = 0; j < options.same; ++j) {
            state.moreDetails = options.moreDetails ? 1 : 0;
            shell::dispatchCommand(state, host, resources::IdProcessingSameData);
        }
        showProcessingResult(state);
        if (options.json)
            std::printf("%s\n", seriesJson(state, host, firstMessage, true).c_str());
        else
            printSeriesText(state, n, true);
        std::fflush(stdout);
    }
    // Painted after the last series is printed: a paint settles parts of the
    // state (the shown row, a minimum count of 0) that the printing reads.
    const int code = options.render ? renderWindow(state, host, *options.render) : 0;
    shell::onDestroy(state);
    return code;
}

}  // namespace commands
