// quillmore-mpi simulate: the statistical simulation over the ranks of an
// MPI job. Every rank starts the workbench with the same options and runs
// its share (rank r of size s is shard r+1 of s); rank 0 gathers the parts,
// as part-file bytes, puts them together and prints exactly what
// `quillmore-cli simulate` prints. The other ranks print nothing; every
// rank ends with rank 0's exit code.
//
// quillmore-mpi detect: detect over many files the same way, the files
// shared out by rank; one series is detected on rank 0 alone.

#include <mpi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/console_host.h"
#include "commands/detect_engine.h"
#include "commands/detect_many.h"
#include "commands/detect_options.h"
#include "shell/lifecycle.h"
#include "commands/simulation_share.h"
#include "commands/workbench_session.h"

namespace {

const char* kUsage =
    "usage: mpirun [mpirun options] quillmore-mpi simulate [options] [simulation options] [--json | --csv]\n"
    "       mpirun [mpirun options] quillmore-mpi detect FILE... [--files LIST] [--columns all|LIST] [detect options]\n"
    "\n"
    "Runs \"Detection, Statistical Simulation\" with rank r of s simulating shard r+1 of s, and\n"
    "prints on rank 0 exactly what quillmore-cli simulate prints for the same options.\n"
    "The options are those of quillmore-cli simulate (see quillmore-cli help), without\n"
    "--shard and --out. Threads per rank: --threads N, else OMP_NUM_THREADS, else\n"
    "SLURM_CPUS_PER_TASK, else 1. --progress shows rank 0's share.\n"
    "\n"
    "detect shares the files out by rank (rank r holds share r+1 of s of the list) and\n"
    "prints on rank 0 exactly what quillmore-cli detect prints; files at once per rank:\n"
    "--jobs N, else OMP_NUM_THREADS, else SLURM_CPUS_PER_TASK, else 1.\n";

constexpr int kPartTag = 1;
constexpr size_t kPiece = size_t{1} << 30;  // bytes per message, well inside an int count

// Every rank's status (0: its part follows, else its exit code) and part
// bytes, at rank 0; the other ranks get nothing back.
std::vector<std::string> gatherParts(int rank, int size, int status, const std::string& bytes,
                                     std::vector<long long>& statuses)
{
    long long mine[2] = {status, static_cast<long long>(bytes.size())};
    std::vector<long long> all(rank == 0 ? 2 * static_cast<size_t>(size) : 2);
    MPI_Gather(mine, 2, MPI_LONG_LONG, all.data(), 2, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    std::vector<std::string> parts;
    if (rank != 0) {
        for (size_t at = 0; at < bytes.size(); at += kPiece)
            MPI_Send(bytes.data() + at, static_cast<int>(std::min(kPiece, bytes.size() - at)), MPI_BYTE, 0, kPartTag,
                     MPI_COMM_WORLD);
        return parts;
    }
    parts.resize(static_cast<size_t>(size));
    statuses.resize(static_cast<size_t>(size));
    parts[0] = bytes;
    statuses[0] = status;
    for (int r = 1; r < size; ++r) {
        statuses[r] = all[2 * r];
        std::string& p = parts[static_cast<size_t>(r)];
        p.resize(static_cast<size_t>(all[2 * r + 1]));
        for (size_t at = 0; at < p.size(); at += kPiece)
            MPI_Recv(p.data() + at, static_cast<int>(std::min(kPiece, p.size() - at)), MPI_BYTE, r, kPartTag,
                     MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    }
    return parts;
}

// Every rank's part gathered at rank 0 and read there into `parts` (named
// "the part of rank R"). -1 on rank 0 when every share ran and every part
// reads; else the code to end with: 0 on the other ranks (rank 0's code
// reaches them), a rank's own code when its share did not run, 1 for a
// part that does not read.
template <typename Part>
int gatherAtRankZero(const char* program, int rank, int size, int status, const Part& mine,
                     std::string (*write)(const Part&), bool (*read)(std::string_view, Part&, std::string&),
                     std::vector<Part>& parts, std::vector<std::string>& names)
{
    std::vector<long long> statuses;
    const std::vector<std::string> bytes =
        gatherParts(rank, size, status, status == 0 ? write(mine) : std::string(), statuses);
    if (rank != 0)
        return 0;
    if (status != 0)
        return status;
    for (int r = 1; r < size; ++r)
        if (statuses[r] != 0) {
            std::fprintf(stderr, "%s: the share of rank %d did not run (exit code %lld)\n", program, r, statuses[r]);
            return static_cast<int>(statuses[r]);
        }
    parts.resize(static_cast<size_t>(size));
    for (int r = 0; r < size; ++r) {
        names.push_back("the part of rank " + std::to_string(r));
        if (std::string error; !read(bytes[r], parts[r], error)) {
            std::fprintf(stderr, "%s: %s: %s\n", program, names.back().c_str(), error.c_str());
            return 1;
        }
    }
    return -1;
}

int simulate(const std::vector<std::string>& args, int rank, int size)
{
    const bool quiet = rank != 0;
    commands::RunOptions options;
    commands::SimulateOptions sim;
    std::string error;
    if (!commands::parseRunOptions(args, options, &sim, error)) {
        if (!quiet)
            std::fprintf(stderr, "quillmore-mpi simulate: %s\n", error.c_str());
        return 2;
    }
    if (sim.shard || sim.out) {
        if (!quiet)
            std::fprintf(stderr, "quillmore-mpi simulate: %s is for quillmore-cli; here every rank runs its share\n",
                         sim.shard ? "--shard" : "--out");
        return 2;
    }
    // Messages are told on rank 0 once the parts are put together, in the
    // order the whole run shows them.
    shell::AppState state;
    commands::ConsoleHost host;
    int status = commands::startWorkbench("quillmore-mpi", options, state, host, false, quiet);
    // Every rank refuses the same range alike and ends before waiting for another.
    if (status < 0 && !commands::checkSimulationRange(state, options, sim, error)) {
        if (!quiet)
            std::fprintf(stderr, "quillmore-mpi simulate: %s\n", error.c_str());
        shell::onDestroy(state);
        return 2;
    }
    files::SimulationPartFile mine;
    if (status < 0) {
        commands::answerSimulationDialogs(host, options, sim, state);
        state.simulationOptions.threads = commands::simulationThreads(sim.threads, 1, "quillmore-mpi", quiet);
        const auto progress = quiet ? detection::ProgressCallback{}
                                    : commands::simulationProgress(sim.progress, std::chrono::steady_clock::now());
        commands::ShareOutcome share = commands::runSimulationShare(
            state, host, options, sim, static_cast<uint32_t>(rank) + 1, static_cast<uint32_t>(size), progress);
        status = share.ran ? 0 : 1;
        mine = std::move(share.file);
        if (!share.ran && !quiet) {
            if (!options.json)
                for (const base::RecordedMessage& m : host.messages)
                    std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
            std::fprintf(stderr, "quillmore-mpi simulate: the simulation did not run\n");
        }
        shell::onDestroy(state);
    }
    std::vector<files::SimulationPartFile> parts;
    std::vector<std::string> names;
    if (const int code = gatherAtRankZero("quillmore-mpi simulate", rank, size, status, mine,
                                          files::writeSimulationPart, files::readSimulationPart, parts, names);
        code >= 0)
        return code;
    const commands::SimulationPlotTarget plot{sim.plot.value_or(""), sim.plotWidth, sim.plotHeight};
    return commands::mergeAndPrintSimulation("quillmore-mpi simulate", parts, names,
                                             commands::simulationFormat(options.json, sim.csv),
                                             sim.plot ? &plot : nullptr);
}

int detect(const std::vector<std::string>& args, int rank, int size)
{
    const bool quiet = rank != 0;
    const char* program = "quillmore-mpi detect";
    commands::DetectOptions o;
    std::string error;
    if (!commands::parseDetectOptions(args, o, error) || !(error = commands::idleOptionProblem(o)).empty()) {
        if (!quiet)
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 2;
    }
    if (o.shard || o.out) {
        if (!quiet)
            std::fprintf(stderr, "%s: %s is for quillmore-cli; here every rank runs its share\n", program,
                         o.shard ? "--shard" : "--out");
        return 2;
    }
    if (!commands::manySeries(o))  // one series: rank 0 detects it as quillmore-cli does
        return quiet ? 0 : commands::runDetectCommand(args);
    files::DetectionPartFile mine;
    const int status = commands::detectShare(o, args, static_cast<uint32_t>(rank) + 1, static_cast<uint32_t>(size), 1,
                                             program, quiet, mine);
    std::vector<files::DetectionPartFile> parts;
    std::vector<std::string> names;
    if (const int code = gatherAtRankZero(program, rank, size, status, mine, files::writeDetectionPart,
                                          files::readDetectionPart, parts, names);
        code >= 0)
        return code;
    return commands::printDetectionParts(program, parts, names);
}

}  // namespace

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int rank = 0, size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);

    int code = 0;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "simulate") {
        code = simulate(std::vector<std::string>(argv + 2, argv + argc), rank, size);
    } else if (command == "detect") {
        code = detect(std::vector<std::string>(argv + 2, argv + argc), rank, size);
    } else if (command == "help" || command == "--help" || command == "-h") {
        if (rank == 0)
            std::fputs(kUsage, stdout);
    } else {
        if (rank == 0) {
            if (!command.empty())
                std::fprintf(stderr, "quillmore-mpi: unknown command '%s'\n\n", command.c_str());
            std::fputs(kUsage, stderr);
        }
        code = 2;
    }
    // Every rank ends with rank 0's code; a refusal of the options is the
    // same on every rank and ends before any rank waits for another.
    if (command == "simulate" || command == "detect")
        MPI_Bcast(&code, 1, MPI_INT, 0, MPI_COMM_WORLD);
    std::fflush(stdout);
    std::fflush(stderr);
    MPI_Finalize();
    return code;
}
