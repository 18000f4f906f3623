#pragma once
// A statistical simulation from the command line, whole or in shares: the
// thread count, the progress shown, the dialog answers, one share run into a
// part, and the parts of one run put together and printed as the whole run
// prints. quillmore-cli and quillmore-mpi both run through here.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "commands/console_host.h"
#include "detection/progress.h"
#include "files/simulation_parts.h"
#include "shell/app_state.h"
#include "commands/simulation_output.h"
#include "commands/simulation_plot.h"
#include "commands/workbench_session.h"

namespace commands {

// The processors this process may run on (its affinity mask, else the
// hardware's count), 1 to kMaxThreads.
unsigned availableProcessors();

// The threads of a simulation: --threads when given, else OMP_NUM_THREADS
// (its first entry), else SLURM_CPUS_PER_TASK, else `fallback`. A variable
// that is not a count from 1 to kMaxThreads is passed over with a warning
// on standard error (none when `quiet`).
unsigned simulationThreads(const std::optional<long>& given, unsigned fallback, const char* program,
                           bool quiet = false);

// What shows the simulation's progress on standard error: with `records`,
// a line such as "progress 1234/72500 series 1.7% elapsed 12 s left 690 s"
// at most once a second and at the end; else, on a terminal, a bar redrawn
// in place at every report; else nothing (an empty callback). `unit` names
// what is counted (detect counts cells).
detection::ProgressCallback simulationProgress(bool records, std::chrono::steady_clock::time_point started,
                                               const char* unit = "series");

// The pulse counts " Location Parameters" offers for series of `length`
// samples with the state's intervals: the counts the length admits (from
// minPulsesFor to maxPulsesFor) that the simulation takes (1 to
// kMaxSimulationPulses). Empty (`from` above `to`) when there are none.
struct SimulationPulseRange {
    long from = 0;
    long to = 0;
};
SimulationPulseRange simulationPulseRange(const shell::AppState& state, uint32_t length);

// The series length the simulation runs on: --length, else the length
// "Create Series" shows (the state's).
uint32_t simulationLength(const RunOptions& options, const shell::AppState& state);

// Refuses, on a started workbench with the options applied, a pulse-count
// range the dialog would not take: --from or --to outside the offered range
// (or any of them when the length offers none), --from above --to. False
// with a one-line message naming the option and the range.
bool checkSimulationRange(const shell::AppState& state, const RunOptions& options, const SimulateOptions& sim,
                          std::string& error);

// The answers the simulation's dialogs get: "Create Series" with --length
// typed in, " Location Parameters" with the values given. A pulse count not
// given is the end of the offered range. With none of --length, --from and
// --to given, the counts typed are the limits of the state's series length
// (the range "Create Series" stages), as the command line has always typed
// them: the window's dialog offers only the counts the simulation takes,
// while here a length beyond them is refused with the simulation's reason.
void answerSimulationDialogs(ConsoleHost& host, const RunOptions& options, const SimulateOptions& sim,
                             const shell::AppState& state);

struct ShareOutcome {
    bool ran = false;  // the share ran to its end; `file` is filled
    files::SimulationPartFile file;
};

// Runs shard `index` (from 1) of `count` of the simulation on a started
// workbench whose dialogs are answered, on state.simulationOptions.threads
// threads, through the phases of the command (prepare, compute, finish), and
// fills the part file: what the computation read, the share, and in the
// share that ends the run the last series and the streams it left. Messages
// reach `host` as the whole run would show them (the setup's, then the
// share's). Not `ran` when the dialogs or the simulation refused, or a
// series could not be made.
ShareOutcome runSimulationShare(shell::AppState& state, ConsoleHost& host, const RunOptions& options,
                                const SimulateOptions& sim, uint32_t index, uint32_t count,
                                detection::ProgressCallback progress);

// Puts the parts of one run together (`names` name them in refusals) and
// prints what `simulate` prints: its messages on standard error (not with
// JSON output), the result on standard output; then, when a plot is given,
// writes the chart `simulate --plot` writes. Returns the exit code; a
// refusal, or a chart that cannot be written, is one line on standard
// error, "<program>: <why>", and code 1.
int mergeAndPrintSimulation(const std::string& program, const std::vector<files::SimulationPartFile>& parts,
                            const std::vector<std::string>& names, SimulationFormat format,
                            const SimulationPlotTarget* plot = nullptr);

}  // namespace commands
