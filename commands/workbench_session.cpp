#include "commands/workbench_session.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "detection/task_codes.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/series_settings.h"
#include "synthesis/series_synthesis.h"
#include "views/processing_result_text.h"

namespace commands {

int startWorkbench(const char* program, const RunOptions& options, shell::AppState& state, ConsoleHost& host, bool echo,
                   bool quiet)
{
    host.echoMessages = echo;
    if (!shell::onCreate(state, host)) {
        if (!quiet)
            for (const base::RecordedMessage& m : host.messages)
                std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
        return 1;
    }
    std::string error;
    if (!applyRunOptions(state, host, options, error)) {
        if (!quiet)
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 2;
    }
    return -1;
}

bool applyRunOptions(shell::AppState& s, ConsoleHost& host, const RunOptions& o, std::string& error)
{
    using namespace resources;
    if (o.seriesType)
        shell::dispatchCommand(s, host, *o.seriesType == "fixed" ? IdSeriesFixedNumber : IdSeriesUnfixedNumber);
    if (o.task) {
        const int command = *o.task == "joint"       ? IdTaskJointDetectionEstimation
                            : *o.task == "detection" ? IdTaskDetection
                                                     : IdTaskSeriesProcessing;
        shell::dispatchCommand(s, host, command);
    }
    if (!o.etalons.empty()) {
        for (int e : o.etalons)
            if (e > s.etalonCount) {
                error = "--etalons: etalon " + std::to_string(e) + " is not in the alphabet of " +
                        std::to_string(s.etalonCount);
                return false;
            }
        std::vector<int> distinct = o.etalons;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        if (!shell::isMultiEtalonTask(s.taskType) && distinct.size() != 1) {
            error = "--etalons: joint detection and estimation works with exactly one etalon";
            return false;
        }
        s.etalonSelected.fill(0);
        for (int e : distinct)
            s.etalonSelected[e - 1] = 1;
        shell::rebuildRequiredList(s);
        s.previousEtalon = s.currentEtalon;
        s.currentEtalon = o.etalons.front();
    }
    if (o.length) {
        const uint32_t N = static_cast<uint32_t>(*o.length);
        if (N < s.etalonLength) {
            error = "--length must be at least the pulse length " + std::to_string(s.etalonLength);
            return false;
        }
        shell::requestSeriesLength(s, N);
        shell::chooseLengthOption(s, N);
    }
    if (o.noise)
        s.requestedNoiseLevel = static_cast<int16_t>(*o.noise);
    if (o.pulses)
        s.requestedPulseCount = static_cast<uint16_t>(*o.pulses);
    if (o.tmin)
        s.minInterval = static_cast<uint16_t>(*o.tmin);
    if (o.tmax)
        s.maxInterval = static_cast<uint16_t>(*o.tmax);
    if (o.tmin || o.tmax) {
        const std::string problem =
            synthesis::seriesParameterProblem(s.etalonLength, s.minInterval, s.maxInterval, s.requestedSeriesLength);
        if (!problem.empty()) {
            error = "--tmin/--tmax: " + problem.substr(0, problem.size() - 1);
            return false;
        }
    }
    if (o.energy) {
        s.savedEnergyCreate = static_cast<int16_t>(*o.energy);
        s.savedEnergyProcess = static_cast<int16_t>(*o.energy);
    }
    if (o.method)
        s.repeatMethod = static_cast<uint16_t>(*o.method);
    return true;
}

void showProcessingResult(shell::AppState& s)
{
    const bool resultView = s.taskType == detection::taskFixedEstimation ||
                            s.taskType == detection::taskUnfixedEstimation ||
                            s.taskType == detection::taskBlindDetection;
    if (resultView && s.lpStepwiseProtocol && s.lpSeriesHeader)
        views::storeShownRow(*s.lpStepwiseProtocol, *s.lpSeriesHeader);
}

}  // namespace commands
