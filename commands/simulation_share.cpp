#include "commands/simulation_share.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

#include "detection/parallel_work.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/series_settings.h"

#ifndef QUILLMORE_VERSION
#define QUILLMORE_VERSION "unknown"
#endif

namespace commands {

namespace {

// A thread count from an environment variable: its first comma-separated
// entry, 1 to kMaxThreads; nothing when unset or empty; 0 when unusable.
std::optional<unsigned> threadsFromEnvironment(const char* name, std::string& text)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    text = value;
    const std::string entry = text.substr(0, text.find(','));
    if (entry.empty() || entry.size() > 4 || entry.find_first_not_of("0123456789") != std::string::npos)
        return 0u;
    const long n = std::stol(entry);
    return n >= 1 && n <= kMaxThreads ? static_cast<unsigned>(n) : 0u;
}

std::string seconds(double s) { return std::to_string(static_cast<long long>(s + 0.5)) + " s"; }

// A progress bar on the terminal: the units done and the time left at the pace so far.
void showBar(std::chrono::steady_clock::time_point started, const char* unit, uint64_t done, uint64_t total)
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double left = done ? elapsed * (total - done) / done : 0.0;
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(kWidth * static_cast<uint64_t>(done) / total) : kWidth;
    std::fprintf(stderr, "\r[%.*s%*s] %llu/%llu %s, %.0f s left ", filled, "##############################",
                 kWidth - filled, "", static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                 unit, left);
    if (done == total)
        std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// What the simulation is about to read, taken from the prepared run.
files::SimulationRun describeRun(const shell::SimulationRun& r, const RunOptions& options, const SimulateOptions& sim,
                                 std::vector<base::RecordedMessage> setup)
{
    files::SimulationRun run;
    run.producer = "quillmore " QUILLMORE_VERSION;
    run.options = simulationOptionWords(options, sim);
    run.taskType = r.task;
    run.seriesType = r.seriesType;
    run.createEnergy = r.createEnergy;
    run.processEnergy = r.processEnergy;
    run.amplitude = r.amplitude;
    for (const synthesis::PulseHeader& e : r.etalons)
        run.alphabet.emplace_back(e.lpData.begin(), e.lpData.begin() + std::min<size_t>(e.wSize, e.lpData.size()));
    run.activeEtalons = r.activeCount;
    run.requiredList.assign(r.requiredList.begin(),
                            r.requiredList.begin() + std::min<size_t>(r.activeCount, r.requiredList.size()));
    if (const synthesis::SeriesHeader* h = r.series.get()) {
        run.seriesLength = h->dwSeriesSize;
        run.tmin = h->wTmin;
        run.tmax = h->wTmax;
        run.maxPulses = h->wMaxPulses;
        run.fixedSequence.assign(h->lpFixedSequence.begin(),
                                 h->lpFixedSequence.begin() +
                                     std::min<size_t>(h->wFixedCount, h->lpFixedSequence.size()));
        run.fixedMode = h->wFixedMode;
        run.fixedStart = h->wFixedStart;
    }
    if (const detection::RestErrorHeader* h = r.header.get()) {
        run.pulseValues.assign(h->wPulseValues.begin(), h->wPulseValues.begin() + h->wVariousPulses);
        run.noiseLevels.assign(h->lpNoiseLevel.begin(), h->lpNoiseLevel.begin() + h->wNoiseLevels);
        run.repeats = h->repeats;
    }
    run.streams = r.streams;
    run.setupMessages = std::move(setup);
    return run;
}

}  // namespace

unsigned availableProcessors()
{
    return static_cast<unsigned>(std::clamp<long>(detection::usableProcessors(), 1, kMaxThreads));
}

unsigned simulationThreads(const std::optional<long>& given, unsigned fallback, const char* program, bool quiet)
{
    if (given)
        return static_cast<unsigned>(*given);
    for (const char* name : {"OMP_NUM_THREADS", "SLURM_CPUS_PER_TASK"}) {
        std::string text;
        const std::optional<unsigned> n = threadsFromEnvironment(name, text);
        if (n && *n > 0)
            return *n;
        if (n && !quiet)
            std::fprintf(stderr, "%s: %s='%s' is not a thread count from 1 to %ld; passed over\n", program, name,
                         text.c_str(), kMaxThreads);
    }
    return std::max(fallback, 1u);
}

detection::ProgressCallback simulationProgress(bool records, std::chrono::steady_clock::time_point started,
                                               const char* unit)
{
    if (records)
        return
            [started, unit, shown = false, lastShown = started, ended = false](uint64_t done, uint64_t total) mutable {
                const auto now = std::chrono::steady_clock::now();
                if (done >= total) {
                    if (ended)
                        return true;  // the end is told once
                    ended = true;
                } else if (shown && now - lastShown < std::chrono::seconds(1)) {
                    return true;
                }
                shown = true;
                lastShown = now;
                const double elapsed = std::chrono::duration<double>(now - started).count();
                // Cut, not rounded, to a tenth: 100.0% only at the end.
                const double percent =
                    total ? std::floor(1000.0 * static_cast<double>(done) / static_cast<double>(total)) / 10.0 : 100.0;
                const std::string left =
                    done ? seconds(elapsed * static_cast<double>(total - done) / static_cast<double>(done)) : "unknown";
                std::fprintf(stderr, "progress %llu/%llu %s %.1f%% elapsed %s left %s\n",
                             static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), unit,
                             percent, seconds(elapsed).c_str(), left.c_str());
                std::fflush(stderr);
                return true;
            };
    if (isatty(STDERR_FILENO))
        return [started, unit](uint64_t done, uint64_t total) {
            showBar(started, unit, done, total);
            return true;
        };
    return {};
}

// As the window's dialog computes its offer (offeredSimulationPulses), but
// for a length "Create Series" has not staged yet.
SimulationPulseRange simulationPulseRange(const shell::AppState& state, uint32_t length)
{
    return {std::max<long>(shell::minPulsesFor(state, length), 1),
            std::min<long>(shell::maxPulsesFor(state, length), detection::kMaxSimulationPulses)};
}

uint32_t simulationLength(const RunOptions& options, const shell::AppState& state)
{
    return options.length ? static_cast<uint32_t>(*options.length) : state.seriesLength;
}

bool checkSimulationRange(const shell::AppState& state, const RunOptions& options, const SimulateOptions& sim,
                          std::string& error)
{
    const uint32_t length = simulationLength(options, state);
    const SimulationPulseRange range = simulationPulseRange(state, length);
    const std::string series = "series of " + std::to_string(length) + " samples with Tmin " +
                               std::to_string(state.minInterval) + " and Tmax " + std::to_string(state.maxInterval);
    if (range.from > range.to) {
        // Without --from and --to the grid would be empty and the run would
        // report nothing as if it had simulated.
        const std::string given = sim.from ? "--from " + std::to_string(*sim.from) + ": "
                                  : sim.to ? "--to " + std::to_string(*sim.to) + ": "
                                           : std::string();
        error = given + series + " admit no pulse count from 1 to " + std::to_string(detection::kMaxSimulationPulses) +
                ", the counts the simulation takes";
        return false;
    }
    for (const auto& [name, value] : {std::pair{"--from", sim.from}, std::pair{"--to", sim.to}})
        if (value && (*value < range.from || *value > range.to)) {
            error = std::string(name) + " " + std::to_string(*value) + ": outside " + std::to_string(range.from) +
                    " to " + std::to_string(range.to) + ", the pulse counts the simulation takes for " + series;
            return false;
        }
    if (sim.from && sim.to && *sim.from > *sim.to) {
        error = "--from " + std::to_string(*sim.from) + " is above --to " + std::to_string(*sim.to) +
                ": the range would hold no pulse count";
        return false;
    }
    return true;
}

void answerSimulationDialogs(ConsoleHost& host, const RunOptions& options, const SimulateOptions& sim,
                             const shell::AppState& state)
{
    using namespace resources;
    std::vector<std::pair<int32_t, std::string>>& series = host.dialogEdits[DialogCreateSeries];
    series.clear();
    if (options.length)
        series.emplace_back(EditSamplesLength, std::to_string(*options.length));
    std::vector<std::pair<int32_t, std::string>>& edits = host.dialogEdits[DialogLocationParameters];
    auto edit = [&edits](int32_t id, const std::optional<long>& v) {
        if (v)
            edits.emplace_back(id, std::to_string(*v));
    };
    // "Create Series" stages the length, and the command takes that
    // length's limits as its range; the dialog offers the part of them the
    // simulation takes (1 to 31), or the limits whole when that part is
    // empty. Limits beyond that part made the simulation stop at its first
    // count outside 1 to 31; within it the two are the same.
    const uint32_t length = simulationLength(options, state);
    long from = shell::minPulsesFor(state, length), to = shell::maxPulsesFor(state, length);
    if (const SimulationPulseRange offered = simulationPulseRange(state, length); offered.from <= offered.to) {
        from = offered.from;
        to = offered.to;
    }
    edit(EditPulsesFrom, sim.from ? sim.from : std::optional<long>(from));
    edit(EditPulsesTo, sim.to ? sim.to : std::optional<long>(to));
    edit(EditPulsesIncrement, sim.incr);
    edit(EditInitialNoiseLevel, sim.noiseFrom);
    edit(EditNoiseSteps, sim.noiseSteps);
    edit(EditNoiseIncrement, sim.noiseIncr);
    edit(EditRepeatCount, sim.repeats);
}

ShareOutcome runSimulationShare(shell::AppState& state, ConsoleHost& host, const RunOptions& options,
                                const SimulateOptions& sim, uint32_t index, uint32_t count,
                                detection::ProgressCallback progress)
{
    // The command's phases, as dispatchCommand runs them, with the share
    // set between the dialogs and the computation.
    ShareOutcome outcome;
    const std::unique_ptr<shell::SimulationRun> run = shell::prepareSimulation(state, host);
    if (!run)
        return outcome;  // the dialogs were refused or a record could not be made; the messages said so
    detection::SimulationPart part;
    run->options.part = &part;
    run->options.shardIndex = index - 1;
    run->options.shardCount = count;
    run->options.progress = std::move(progress);
    files::SimulationRun described = describeRun(*run, options, sim, host.messages);
    shell::computeSimulation(*run);
    shell::finishSimulation(state, host, *run);  // the share's messages, in order; the record and streams it leaves
    if (run->result != 1 || run->cancelled || !state.lpSeriesHeader)
        return outcome;
    outcome.file.run = std::move(described);
    outcome.file.shard = index;
    outcome.file.shards = count;
    if (part.holdsLast)
        outcome.file.last = files::SimulationLastSeries{*state.lpSeriesHeader, state.random};
    outcome.file.part = std::move(part);
    outcome.file.digest = files::simulationRunDigest(outcome.file.run);
    outcome.ran = true;
    return outcome;
}

int mergeAndPrintSimulation(const std::string& program, const std::vector<files::SimulationPartFile>& parts,
                            const std::vector<std::string>& names, SimulationFormat format,
                            const SimulationPlotTarget* plot)
{
    std::string error;
    if (!files::checkSimulationPartSet(parts, names, error)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    const files::SimulationRun& run = parts.front().run;
    ConsoleHost host;
    host.echoMessages = format != SimulationFormat::Json;
    for (const base::RecordedMessage& m : run.setupMessages)
        host.messageBox(m.text, m.caption, m.icon);

    base::MessageRecorder quiet;
    detection::RestErrorHeaderPtr header =
        detection::getRestErrHeader(quiet, static_cast<uint16_t>(run.pulseValues.size()),
                                    static_cast<uint16_t>(run.noiseLevels.size()), run.repeats, nullptr);
    if (!header || run.pulseValues.size() > UINT16_MAX || run.noiseLevels.size() > UINT16_MAX) {
        std::fprintf(stderr, "%s: no room for the error record of %zu by %zu cells\n", program.c_str(),
                     run.pulseValues.size(), run.noiseLevels.size());
        return 1;
    }
    std::copy(run.pulseValues.begin(), run.pulseValues.end(), header->wPulseValues.begin());
    std::copy(run.noiseLevels.begin(), run.noiseLevels.end(), header->lpNoiseLevel.begin());
    std::vector<detection::SimulationPart> shares;
    const synthesis::SeriesHeader* last = nullptr;
    for (const files::SimulationPartFile& p : parts) {
        shares.push_back(p.part);
        if (p.last)
            last = &p.last->series;
    }
    if (!detection::mergeSimulationParts(host, header.get(), run.seriesType, run.taskType, run.createEnergy,
                                         run.processEnergy, shares)) {
        std::fprintf(stderr, "%s: the parts did not merge\n", program.c_str());
        return 1;
    }
    printSimulationResult(*header, last, format);
    if (plot && !writeSimulationPlot(*plot, *header, last, error)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace commands
