// quillmore-cli simulate: "Detection, Statistical Simulation" whole, on
// threads, or one shard of it written to a part file; and quillmore-cli
// merge: the part files of one run put together.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/detect_many.h"
#include "commands/option_parser.h"
#include "commands/part_file_io.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "commands/series_options.h"
#include "commands/simulation_plot.h"
#include "commands/simulation_share.h"
#include "commands/workbench_session.h"

namespace commands {

namespace {

// --size without --plot, or a --plot name that is not .png: the refusal, or empty.
std::string mergePlotProblem(const std::optional<std::string>& plot, bool sizeGiven)
{
    if (sizeGiven && !plot)
        return "--size needs --plot FILE.png, the picture it sizes";
    return plotNameProblem(plot);
}

}  // namespace

int runSimulateCommand(const std::vector<std::string>& args)
{
    RunOptions options;
    SimulateOptions sim;
    std::string error;
    if (!parseRunOptions(args, options, &sim, error)) {
        std::fprintf(stderr, "quillmore-cli simulate: %s\n", error.c_str());
        return 2;
    }
    shell::AppState state;
    ConsoleHost host;
    if (const int code = startWorkbench("quillmore-cli", options, state, host, !options.json); code >= 0)
        return code;
    if (!checkSimulationRange(state, options, sim, error)) {
        std::fprintf(stderr, "quillmore-cli simulate: %s\n", error.c_str());
        shell::onDestroy(state);
        return 2;
    }
    answerSimulationDialogs(host, options, sim, state);
    state.simulationOptions.threads = simulationThreads(sim.threads, availableProcessors(), "quillmore-cli");
    const auto progress = simulationProgress(sim.progress, std::chrono::steady_clock::now());

    if (!sim.shard) {
        state.simulationOptions.progress = progress;
        shell::dispatchCommand(state, host, resources::IdDetectionStatisticalSimulation);
        const detection::RestErrorHeader* r = state.lpRestErrorHeader.get();
        if (!r || !r->fReady) {
            std::fprintf(stderr, "quillmore-cli simulate: the simulation did not run\n");
            shell::onDestroy(state);
            return 1;
        }
        printSimulationResult(*r, state.lpSeriesHeader.get(), simulationFormat(options.json, sim.csv));
        int code = 0;
        if (sim.plot &&
            !writeSimulationPlot({*sim.plot, sim.plotWidth, sim.plotHeight}, *r, state.lpSeriesHeader.get(), error)) {
            std::fprintf(stderr, "quillmore-cli simulate: %s\n", error.c_str());
            code = 1;
        }
        shell::onDestroy(state);
        return code;
    }

    const ShareOutcome share =
        runSimulationShare(state, host, options, sim, sim.shard->index, sim.shard->count, progress);
    shell::onDestroy(state);
    if (!share.ran) {
        std::fprintf(stderr, "quillmore-cli simulate: the simulation did not run; no part written\n");
        return 1;
    }
    if (!replaceFile(*sim.out, files::writeSimulationPart(share.file), error)) {
        std::fprintf(stderr, "quillmore-cli simulate: --out: %s\n", error.c_str());
        return 1;
    }
    const detection::SimulationPart& p = share.file.part;
    std::fprintf(stderr, "quillmore-cli simulate: shard %u/%u wrote %s: series %llu to %llu of %llu\n",
                 sim.shard->index, sim.shard->count, sim.out->c_str(),
                 static_cast<unsigned long long>(p.firstSeries + 1), static_cast<unsigned long long>(p.endSeries),
                 static_cast<unsigned long long>(p.seriesCount));
    return 0;
}

int runMergeCommand(const std::vector<std::string>& args)
{
    struct MergeOptions {
        bool json = false, csv = false;
        std::optional<std::string> plot;
        SimulationPlotTarget target;
        bool sizeGiven = false;
    } o;
    static constexpr OptionRule<MergeOptions> rules[] = {
        {"--json", false, [](MergeOptions& m, const std::string&, std::string&) { return m.json = true; }},
        {"--csv", false, [](MergeOptions& m, const std::string&, std::string&) { return m.csv = true; }},
        {"--plot", true,
         [](MergeOptions& m, const std::string& v, std::string& e) {
             if (v.empty())
                 e = "--plot needs a file name";
             m.plot = v;
             return !v.empty();
         }},
        {"--size", true,
         [](MergeOptions& m, const std::string& v, std::string& e) {
             m.sizeGiven = true;
             if (!pictureSize(v, m.target.width, m.target.height))
                 e = pictureSizeError("--size", v);
             return e.empty();
         }},
    };
    std::vector<std::string> names;
    if (std::string error; !readOptions<MergeOptions>(args, o, tableLookup<MergeOptions>(rules), &names, error) ||
                           !(error = mergePlotProblem(o.plot, o.sizeGiven)).empty()) {
        std::fprintf(stderr, "quillmore-cli merge: %s\n", error.c_str());
        return 2;
    }
    if (o.plot)
        o.target.path = *o.plot;
    if (names.empty()) {
        std::fprintf(stderr, "quillmore-cli merge: give the part files to put together\n");
        return 2;
    }
    std::vector<std::string> bytes(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
        if (std::string error; !readWholeFile(names[k], bytes[k], error)) {
            std::fprintf(stderr, "quillmore-cli merge: %s\n", error.c_str());
            return 1;
        }
    }
    // The first part says what the run was: a detection over many files
    // prints as it was asked to, a simulation as merge's options say.
    if (bytes[0].starts_with("{\"format\": \"quillmore detection part\"")) {
        if (o.json || o.csv || o.plot) {
            std::fprintf(stderr,
                         "quillmore-cli merge: %s: the parts of detect print as detect was asked to; "
                         "--json, --csv and --plot are for a simulation's parts\n",
                         names[0].c_str());
            return 2;
        }
        std::vector<files::DetectionPartFile> parts(names.size());
        for (size_t k = 0; k < names.size(); ++k)
            if (std::string error; !files::readDetectionPart(bytes[k], parts[k], error)) {
                std::fprintf(stderr, "quillmore-cli merge: %s: %s\n", names[k].c_str(), error.c_str());
                return 1;
            }
        return printDetectionParts("quillmore-cli merge", parts, names);
    }
    std::vector<files::SimulationPartFile> parts(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
        if (std::string error; !files::readSimulationPart(bytes[k], parts[k], error)) {
            std::fprintf(stderr, "quillmore-cli merge: %s: %s\n", names[k].c_str(), error.c_str());
            return 1;
        }
    }
    return mergeAndPrintSimulation("quillmore-cli merge", parts, names, simulationFormat(o.json, o.csv),
                                   o.plot ? &o.target : nullptr);
}

}  // namespace commands
