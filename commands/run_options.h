#pragma once
// The options of `run` and `simulate` and their reading: what the command
// line (and the Python module's keywords) set before the workbench starts.
// Apart from the workbench itself, so that the reading can be exercised on
// its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/option_parser.h"

namespace commands {

struct RunOptions {
    std::optional<std::string> task;        // joint | detection | processing
    std::optional<std::string> seriesType;  // fixed | unfixed
    std::vector<int> etalons;
    std::optional<long> length, noise, pulses, tmin, tmax, energy, method;
    bool moreDetails = false;
    long series = 1;
    long same = 0;
    bool json = false;
    // run only: after the last series, the window's picture at this client
    // size is written as PNG.
    std::optional<std::string> render;  // --render FILE.png
    int32_t renderWidth = 1280;         // --size WxH
    int32_t renderHeight = 800;
};

// Shard K of N of a simulation; K counts from 1, as a job array's task id does.
struct ShardChoice {
    uint32_t index = 1;
    uint32_t count = 1;
};

constexpr uint32_t kMaxShards = 100000;

// K/N with 1 <= K <= N <= kMaxShards, digits only.
bool parseShard(const std::string& text, ShardChoice& shard);
// The refusal of a --shard value that is not K/N.
std::string shardError(const std::string& value);
// A part file can be written at `path`: not a folder, in a folder that
// exists. False with the refusal naming --out.
bool checkOutPath(const std::string& path, std::string& error);

struct SimulateOptions {
    std::optional<long> from, to, incr, noiseFrom, noiseSteps, noiseIncr, repeats;
    bool csv = false;
    std::optional<long> threads;  // --threads N
    bool progress = false;        // --progress: one-line records on standard error
    std::optional<ShardChoice> shard;
    std::optional<std::string> out;  // the part file a shard writes
    // After the result is printed, the chart of the detection error against
    // the noise level is written as PNG at this size.
    std::optional<std::string> plot;  // --plot FILE.png
    int32_t plotWidth = 1600;         // --size WxH
    int32_t plotHeight = 900;
};

// Reads the options of `run` (and, when `simulate` is given, those of
// `simulate` too; --size then sizes simulate's --plot). On a bad option returns false with a one-line message
// naming it.
bool parseRunOptions(const std::vector<std::string>& args, RunOptions& run, SimulateOptions* simulate,
                     std::string& error);

// The options that shape a simulation, in the order they are applied, as
// they would be written again: what a part file records of its command line.
// Output format, threads, progress, the shard and the plot are left out.
std::vector<std::string> simulationOptionWords(const RunOptions& run, const SimulateOptions& simulate);

}  // namespace commands
