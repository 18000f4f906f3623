#pragma once
// The options of quillmore-cli detect and their reading, apart from the
// command so that the reading can be exercised on its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/run_options.h"
#include "commands/series_options.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

struct DetectOptions {
    std::string file;                      // the file of the series being detected
    std::vector<std::string> inputs;       // the files and patterns as given
    std::optional<std::string> filesList;  // --files LIST: more paths, one a line
    std::optional<std::string> columns;    // --columns all|LIST: every column (channel) or the listed ones
    std::optional<long> jobs;              // --jobs: the series detected at once
    std::optional<ShardChoice> shard;      // --shard K/N: share K of the files
    std::optional<std::string> out;        // --out PART: the part file a shard writes
    files::SeriesReadOptions read;
    detection::PreparationOptions prepare;
    std::optional<int32_t> pulses;
    bool unknown = false;
    std::optional<int32_t> method;
    std::optional<int32_t> tmin, tmax, pulseLength;
    std::string score = "energy";
    std::optional<std::string> etalon;
    std::optional<int32_t> box;
    std::optional<std::string> templateFile;
    std::optional<int64_t> noise;
    std::optional<double> snrMin;  // --snr-min: blind detection on correlations, the least signal-to-noise ratio
    bool json = false;
    bool csv = false;
    std::optional<std::string> plot;
    int32_t plotWidth = 1600;
    int32_t plotHeight = 900;
    std::optional<uint64_t> maxMemory;     // --max-memory: the most bytes the detection may need
    std::optional<uint64_t> maxWork;       // --max-work: the most work units it may take
    bool progress = false;                 // --progress: progress lines instead of the terminal's bar
    std::optional<int32_t> nullSeries;     // --null-series: series of the matched filter's null
    std::optional<uint64_t> seed;          // --seed: of the null series and the surrogates
    std::optional<long> threads;           // --threads: the threads the null series and surrogates run on
    std::optional<int32_t> significance;   // --significance N: surrogates the detection is judged against
    std::optional<std::string> countsCsv;  // --counts-csv FILE: every count's figures as CSV
};

// The choices every detection needs, whoever made them: one task (a known
// count, --unknown or a method), Tmin and Tmax given and in order, one
// template at most, a template for correlation scores and a pulse length
// for energies. The one-line refusal, or empty.
std::string detectChoiceProblem(const DetectOptions& o);

// Whether the options ask for many series: more than one file or pattern,
// a pattern, --files or --columns. Such a run prints each series under its
// header, CSV with the file and column in front, JSON one line a series.
bool manySeries(const DetectOptions& o);

// The words of `args` that shape what a run over many files prints, each
// option as --name=value, in the order given: what a part file records of
// its command line. The files and --files (the run's list stands for them),
// --shard, --out, --jobs, --threads and --progress are left out.
std::vector<std::string> detectRunWords(const std::vector<std::string>& args);

// Reads the arguments after "detect". On a bad option or a missing or
// conflicting choice returns false with a one-line message.
bool parseDetectOptions(const std::vector<std::string>& args, DetectOptions& o, std::string& error);

}  // namespace commands
