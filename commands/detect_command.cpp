// quillmore-cli detect: the exact programmes on a researcher's own series,
// one file, or many files and columns with the same options, several at once
// and printed in the order given.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/detect_engine.h"
#include "commands/detect_limits.h"
#include "commands/detect_many.h"
#include "commands/detect_options.h"
#include "commands/detect_series.h"
#include "commands/simulation_share.h"

namespace commands {

int runDetectCommand(const std::vector<std::string>& args)
{
    const auto started = std::chrono::steady_clock::now();
    DetectOptions o;
    std::string error;
    if (!parseDetectOptions(args, o, error)) {
        std::fprintf(stderr, "quillmore-cli detect: %s\n", error.c_str());
        return 2;
    }
    if (error = idleOptionProblem(o); !error.empty()) {
        std::fprintf(stderr, "quillmore-cli detect: %s\n", error.c_str());
        return 2;
    }
    if (manySeries(o))
        return detectMany(o, args);

    InterruptWatch interrupt;
    const unsigned threads = simulationThreads(o.threads, availableProcessors(), "quillmore-cli detect", false);
    const SeriesRun run = detectSeries(o, threads, interrupt, true);
    std::fputs(run.out.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(run.err.c_str(), stderr);
    if (!run.summary.empty()) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(stderr, "detect: %s, %.2f s\n", run.summary.c_str(), seconds);
    }
    return run.code;
}

}  // namespace commands
