#pragma once
// Part files of a detect run over many files split over processes (the
// shards of a job array, the ranks of an MPI run). A part holds what the
// run is (the options that shape its output and the whole list of files,
// with their digest), its share of the list, and for each of its files the
// bytes detect prints for it and its messages. Putting together the parts
// of one run prints exactly what the whole run prints.
//
// The file is JSON text, one top-level field a line, sealed by a checksum
// as a simulation's parts are:
//
//   {"format": "quillmore detection part",
//    "version": 1,
//    "digest": "<16 hex digits: 64-bit FNV-1a of the "run" value's bytes>",
//    "run": {"producer", "options": [...], "output": "text"|"json"|"csv", "files": [...]},
//    "share": {"shard", "shards", "firstFile", "endFile"},
//    "results": [{"out", "err", "series", "failed"}, ...],
//    "checksum": "<16 hex digits>"}

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

inline constexpr int kDetectionPartVersion = 1;

// What one detect run is. Two parts belong to one run exactly when these
// are equal.
struct DetectionRun {
    std::string producer;              // program and version that wrote the part
    std::vector<std::string> options;  // the options that shape the output, as given
    std::string output;                // "text", "json" or "csv"
    std::vector<std::string> files;    // every file of the run, in order
};

// What one file of the run gave.
struct DetectionFileResult {
    std::string out;  // the bytes detect prints for its series
    std::string err;  // its lines on standard error
    uint64_t series = 0;
    uint64_t failed = 0;
};

struct DetectionPartFile {
    DetectionRun run;
    uint64_t digest = 0;  // detectionRunDigest(run); the writer computes it, the reader checks it
    uint32_t shard = 1, shards = 1;
    uint64_t firstFile = 0, endFile = 0;       // the share: files [firstFile, endFile) of run.files
    std::vector<DetectionFileResult> results;  // one per file of the share
};

uint64_t detectionRunDigest(const DetectionRun& run);

// The files [first, end) that shard `shard` (from 1) of `shards` holds of
// `count`: contiguous, in order, their sizes differing by one at most.
void detectionShare(uint64_t count, uint32_t shard, uint32_t shards, uint64_t& first, uint64_t& end);

// The part as file bytes; `digest` is computed, not taken from `file`.
std::string writeDetectionPart(const DetectionPartFile& file);

// Reads a part; false with one sentence (no file name) in `error`: another
// kind of file, a cut-off or changed one, another version, a field missing
// or out of range, a share that is not its shard's.
bool readDetectionPart(std::string_view bytes, DetectionPartFile& file, std::string& error);

// Whether the parts are one run's whole set (one digest, every file held
// once); false with the sentence naming the parts at fault.
bool checkDetectionPartSet(std::span<const DetectionPartFile> parts, std::span<const std::string> names,
                           std::string& error);

}  // namespace files
