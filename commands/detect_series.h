#pragma once
// One series of quillmore-cli detect, from its file to the bytes detect
// prints: a run of one file prints them at once, a run of many files keeps
// each series' bytes until its turn comes.

#include <cstddef>
#include <string>

#include "commands/detect_limits.h"
#include "commands/detect_options.h"

namespace commands {

// What one series gave.
struct SeriesRun {
    int code = 0;            // 0, or the exit code of the refusal: 1 the file or series, 2 the options, 130 Ctrl-C
    std::string out;         // the bytes for standard output (text, --json or --csv as asked)
    std::string err;         // the lines for standard error ("quillmore-cli detect: ...")
    std::string reason;      // the refusal in one line, without the program's name; empty when it ran
    std::string summary;     // "12 pulses in 108000 samples of ecg.csv (known count, window energy)"
    std::string columnName;  // the column or channel read, as the JSON's "column" names it
    std::string csvRows;     // the pulses as --csv prints them, header line first
    size_t pulses = 0;
    size_t samples = 0;
    double seconds = 0;
};

// Reads o.file with o.read, prepares it, weighs the cost against the
// limits, detects on `threads` threads, judges the significance when asked,
// writes --counts-csv and --plot when given, and leaves the output in the
// record. With `display` the progress is the watch's bar or lines;
// without, the detection only looks at Ctrl-C. A lack of memory is the
// series' refusal, never an exception.
SeriesRun detectSeries(const DetectOptions& o, unsigned threads, InterruptWatch& interrupt, bool display);

}  // namespace commands
