#pragma once
// Part files of a statistical simulation split over processes (the shards of
// a job array, the ranks of an MPI run). A part holds everything the
// simulation read, a digest of it, the share's series range, its cell sums
// and messages, and, in the part that ends the run, the last series as
// `simulate` prints it and the random streams it left. Putting together the
// parts of one run gives exactly what the whole run gives.
//
// The file is JSON text, one top-level field a line:
//
//   {"format": "quillmore simulation part",
//    "version": 1,
//    "digest": "<16 hex digits: 64-bit FNV-1a of the "run" value's bytes>",
//    "run": {... SimulationRun ...},
//    "share": {"shard", "shards", "firstSeries", "endSeries", "seriesCount", "holdsLast"},
//    "cellSums": [... per cell j * levels + i ...],
//    "messages": [{"series", "caption", "text", "icon"}, ...],
//    "last": null or {"series": {...}, "streams": {...}},
//    "checksum": "<16 hex digits: 64-bit FNV-1a of every byte before ',\n "checksum"'>"}
//
// Reading and writing are pure: bytes in, bytes out. The reader refuses with
// one precise sentence: another kind of file, a cut-off one, a changed one,
// another version, a field missing or out of range, a share that does not
// add up.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "detection/statistical_simulation.h"
#include "files/json.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"

namespace files {

inline constexpr int kSimulationPartVersion = 1;

// What one simulation run is: the command-line options that made it and
// every value the simulation read from the workbench. Two parts belong to
// one run exactly when these are equal; the digest says so in 16 digits.
struct SimulationRun {
    std::string producer;              // program and version that wrote the part
    std::vector<std::string> options;  // the options that shape the run, in the order they are applied
    uint16_t taskType = 0;
    uint16_t seriesType = 0;
    uint16_t createEnergy = 0;
    int16_t processEnergy = 0;
    int16_t amplitude = 0;
    std::vector<std::vector<int16_t>> alphabet;  // the samples of every etalon, in use (wSize) only
    uint16_t activeEtalons = 0;
    std::vector<uint16_t> requiredList;  // its first activeEtalons entries
    // The series record the simulation synthesizes into.
    uint32_t seriesLength = 0;
    uint16_t tmin = 0, tmax = 0, maxPulses = 0;
    std::vector<int16_t> fixedSequence;  // wFixedCount entries
    uint16_t fixedMode = 0, fixedStart = 0;
    // The grid: columns, rows, series per cell.
    std::vector<int16_t> pulseValues;
    std::vector<int16_t> noiseLevels;
    int32_t repeats = 0;
    synthesis::RandomStreams streams;                  // as the simulation starts; the noise stream among them
    std::vector<base::RecordedMessage> setupMessages;  // shown while the run was set up, before any series
};

// The series that ends the run, as the part keeps it: the fields `simulate`
// prints (the per-pulse arrays cut to wImpulseQuantity entries, the found
// positions to wFoundPulses, the samples to dwSeriesSize), and the streams
// the run leaves.
struct SimulationLastSeries {
    synthesis::SeriesHeader series;
    synthesis::RandomStreams streams;
};

struct SimulationPartFile {
    SimulationRun run;
    uint64_t digest = 0;                       // simulationRunDigest(run); the writer computes it, the reader checks it
    uint32_t shard = 1;                        // this part is shard `shard` (from 1) ...
    uint32_t shards = 1;                       // ... of this many
    detection::SimulationPart part;            // the range, the cell sums, the messages by series, holdsLast
    std::optional<SimulationLastSeries> last;  // exactly when part.holdsLast
};

// The series as one JSON object, as run's output and a part file's last
// series both write it: its sizes, the per-pulse arrays cut to the pulse
// count, the found positions to the found count, the samples to the series
// length.
void writeSeriesJson(JsonWriter& j, const synthesis::SeriesHeader& s);

uint64_t simulationRunDigest(const SimulationRun& run);
std::string formatDigest(uint64_t digest);  // 16 lower-case hex digits

// The part as file bytes. `digest` is computed, not taken from `file`.
std::string writeSimulationPart(const SimulationPartFile& file);

// Reads a part; false with one sentence (no file name, no final period) in
// `error` when the bytes are not a whole, unchanged part of this version
// whose share adds up.
bool readSimulationPart(std::string_view bytes, SimulationPartFile& file, std::string& error);

// Checks that the parts, named by `names` in the messages, are the whole of
// one run: the same digest, no series in two parts, none in no part, no
// shard given twice. False with one sentence in `error`.
bool checkSimulationPartSet(std::span<const SimulationPartFile> parts, std::span<const std::string> names,
                            std::string& error);

}  // namespace files
