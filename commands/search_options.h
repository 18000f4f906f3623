#pragma once
// The options of quillmore-cli search and their reading, apart from the
// command so that the reading can be exercised on its own. The reading of
// the file, its preparation, the template, the output and the limits are
// detect's own rules (series_options.h); the grid is search's.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/series_options.h"
#include "detection/layout_search.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"

namespace commands {

// --period FROM:TO:STEP (or one period P, which is P:P:1).
struct PeriodRange {
    double from = 0;
    double to = 0;
    double step = 1;
};

struct SearchOptions {
    std::string file;
    files::SeriesReadOptions read;
    detection::PreparationOptions prepare;
    std::optional<PeriodRange> period;        // --period: the layouts from periods
    std::optional<double> window;             // --window F: the relative width of Tmin..Tmax around each period
    std::vector<int32_t> tmin, tmax;          // --tmin LIST, --tmax LIST: the layouts given pair by pair
    std::vector<int32_t> pulseLengths;        // --pulse-length LIST or FROM:TO:STEP, expanded
    std::string score = "correlation";        // --score
    std::optional<std::string> etalon;        // --etalon: one template for every point
    bool box = false;                         // --box: a box template
    std::optional<int32_t> boxWidth;          // --box W: one box of W samples for every point; none: a box of each L
    std::optional<std::string> templateFile;  // --template FILE
    std::optional<int32_t> nullSeries;        // --null-series: the matched filter's null series at each point
    std::optional<int32_t> significance;      // --significance N: surrogates of the look-elsewhere significance
    std::optional<uint64_t> seed;             // --seed: of the null series and the surrogates
    std::optional<long> threads;              // --threads: grid points run at once
    bool json = false;
    bool csv = false;
    std::optional<std::string> plot;
    int32_t plotWidth = 1600;
    int32_t plotHeight = 900;
    std::optional<uint64_t> maxMemory;  // --max-memory: the most bytes the points running at once may need
    std::optional<uint64_t> maxWork;    // --max-work: the most work units the whole grid may take
    bool progress = false;              // --progress: progress lines instead of the terminal's bar
};

// Reads the arguments after "search". On a bad option or a missing or
// conflicting choice returns false with a one-line message.
bool parseSearchOptions(const std::vector<std::string>& args, SearchOptions& o, std::string& error);

// The layouts the options name, in their order: one per period of the
// range (with --window), or one per --tmin/--tmax pair (a single value
// standing for every pair). False with the refusal.
bool gridLayouts(const SearchOptions& o, std::vector<detection::SearchPoint>& layouts, std::string& error);

}  // namespace commands
