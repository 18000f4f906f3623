#pragma once
// The time column of a table on its grid: the cadence its steps share, and
// the samples missing between its rows filled in as gaps. Arithmetic over
// the times as read, apart from the table reader so that it can be checked
// on its own; the reader words the faults with the file's lines.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace files {

// A time column with holes fills at most this many times the rows read...
inline constexpr int64_t kGridGrowthLimit = 100;
// ...and at most this many samples in all.
inline constexpr int64_t kMostGridSamples = int64_t{1} << 31;

// What putOnGrid found.
struct TimeGrid {
    double cadence = 0;    // the grid's step; 0 with fewer than two rows
    int64_t inserted = 0;  // the gaps filled in where rows were missing
};

enum class GridFault {
    None,
    Repeated,      // a row's time equals the one before
    Backwards,     // a row's time is below the one before
    Irregular,     // a step is no whole multiple of the cadence
    HoleTooLarge,  // filling the holes up to this row would pass the limits above
    TooCoarse,     // the times are so large that their doubles cannot keep the cadence between filled times
};

// The first fault of a time column, by the row it arrives at.
struct GridProblem {
    GridFault fault = GridFault::None;
    size_t row = 0;       // 0-based among the times; the step is from row - 1 to row
    double step = 0;      // the step found there
    double cadence = 0;   // Irregular, HoleTooLarge, TooCoarse: the cadence it was measured against
    double cadences = 0;  // HoleTooLarge: the step in cadences
    double samples = 0;   // HoleTooLarge: the samples the series would hold up to this row
};

// Puts the rows of a time column on their grid. `times` holds one time per
// value, in row order; `rounding` is half a unit of the finest digit the
// column writes (0.0005 for times written "0.333"), how far a written time
// may lie from the one it stands for.
//
// The cadence is the step most rows take (the shortest such on ties), made
// exact over the whole column: its span divided by the cadences it holds;
// when some step is no whole multiple of it, the shortest step is tried as
// the cadence instead. A step is a whole multiple k of the cadence when it
// lies within 1e-6 of a cadence plus the rounding of its two times and of
// their doubles (never more than a quarter cadence) of k cadences.
//
// On success, before each row that lies k cadences after the one before,
// k - 1 gaps (NaN values) are inserted, at times evenly between the two;
// every step of the times is then within 0.3 cadences of the cadence. On a
// fault `values` and `times` are left as they were.
GridProblem putOnGrid(std::vector<double>& values, std::vector<double>& times, double rounding, TimeGrid& grid);

}  // namespace files
