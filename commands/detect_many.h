#pragma once
// detect over many files: the list (patterns expanded, list files read),
// each file's series (every column or the listed ones) detected with the
// same options, several files at once, the output in the order given. The
// run is shared out by files: a shard of quillmore-cli writes its part
// file, a rank of quillmore-mpi sends its part to rank 0, and putting the
// parts together prints exactly what the whole run prints.

#include <span>
#include <string>
#include <vector>

#include "commands/detect_options.h"
#include "files/detection_parts.h"

namespace commands {

// "text", "json" or "csv".
std::string detectOutputName(const DetectOptions& o);

// The whole run in this process: prints as files finish, in order. With
// --shard runs share K and writes the part file instead. The exit code: 0,
// 1 when a series failed (each reason on standard error and in its JSON
// line), 2 for a list that cannot be read, 130 on Ctrl-C.
int detectMany(const DetectOptions& o, const std::vector<std::string>& args);

// Runs share `shard` of `shards` of the run into `part`, o.jobs files at
// once, else as many as the processors (OMP_NUM_THREADS, then
// SLURM_CPUS_PER_TASK, then `processors`). 0, or the exit code with the
// refusal printed as `program` (on standard error, unless `quiet`).
int detectShare(const DetectOptions& o, const std::vector<std::string>& args, uint32_t shard, uint32_t shards,
                unsigned processors, const char* program, bool quiet, files::DetectionPartFile& part);

// Checks that the parts are one run's whole set and prints what the run
// prints, messages and summary on standard error. The exit code: 0, 1 when
// a series failed or the set is refused (the reason printed as `program`).
int printDetectionParts(const char* program, std::span<const files::DetectionPartFile> parts,
                        std::span<const std::string> names);

}  // namespace commands
