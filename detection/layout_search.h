#pragma once
// The count-unknown detection over a grid of layouts: when the distance
// between neighbouring pulses and the pulse length are not known, every
// layout of a grid is run as detectPulses runs it with the count unknown
// (the matched filter with correlation scores, the sequential method with
// window energies), and the layout whose detection stands out most wins.
//
// The grid is a list of layouts (Tmin, Tmax), each given directly or made
// from a period P and a relative window F as
//     Tmin = floor(P (1 - F)),  Tmax = ceil(P (1 + F)),
// times a list of pulse lengths; the points run layout by layout, the pulse
// lengths of one layout in their order. Each point is judged by
// detectionStatistic (the chosen count's excess for the matched filter, the
// standardised energy excess for window energies); the greatest wins, ties
// to the first point.
//
// The best point's statistic is the greatest of many, so it is judged
// against the greatest of the surrogates' over the same grid (the
// look-elsewhere effect): each block surrogate of the series runs every
// point of the grid, and
//     p = (1 + #{i : max over the grid of t_i >= t_best}) / (N + 1).
//
// No file format and no printing here: the front ends read the options and
// print the spectrum.

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "detection/progress.h"
#include "detection/series_detection.h"
#include "detection/significance.h"

namespace detection {

// The most points a grid may hold: beyond it a search is refused before
// anything runs.
constexpr size_t kMaxSearchPoints = 100000;

// One point of the grid: a layout and a pulse length.
struct SearchPoint {
    double period = std::numeric_limits<double>::quiet_NaN();  // the period it was made from; NaN for a given pair
    int32_t Tmin = 0;                                          // least distance between neighbouring starts
    int32_t Tmax = 0;                                          // greatest distance between neighbouring starts
    int32_t L = 0;                                             // pulse length in samples
};

// The values from, from + step, ... that do not pass `to`: value i is
// from + i step (no running sum, so no error piles up) rounded to 12
// significant digits, so that 0.1 steps give 0.3, not 0.30000000000000004,
// and `to` itself is among them when it lies within a millionth of a step
// of one. Needs from <= to and step > 0, all finite; more than `most`
// values, or a bad range, is refused: false with a one-line reason in
// `error` (naming `name`, the option or keyword).
bool steppedValues(const char* name, double from, double to, double step, size_t most, std::vector<double>& values,
                   std::string& error);

// The layout of period P with the relative window F (0 < F < 1): Tmin =
// floor(P (1 - F)) and Tmax = ceil(P (1 + F)), the products taken to 12
// significant digits first so that 10 x 1.3 is 13. False with the reason
// when Tmin would be below 1 or Tmax past 2147483647.
bool periodLayout(double P, double F, SearchPoint& layout, std::string& error);

// Every layout with every pulse length, layout by layout (each layout's
// period, Tmin and Tmax; its L is not read), the lengths in their order.
// More than kMaxSearchPoints points is refused: false with the reason.
bool expandSearchGrid(std::span<const SearchPoint> layouts, std::span<const int32_t> lengths,
                      std::vector<SearchPoint>& grid, std::string& error);

// What a search runs on a prepared series.
struct SearchRequest {
    std::vector<SearchPoint> grid;  // the points, in the order of the spectrum
    ScoreKind score = ScoreKind::Correlation;
    std::vector<int64_t> templateSamples;  // correlation: the template of every point; empty: a box of each point's L
    int32_t nullSeries = 8;                // the matched filter's null series at each point
    uint64_t seed = 1;                     // of the null series
    unsigned threads = 0;                  // points run at once; 0: every usable processor
    ProgressCallback progress;             // hears the work of every point (see searchLayouts)
};

// The request detectPulses runs at point i: the count unknown with the
// point's layout, the request's score, template (a box of L ones when none
// is given), null series and seed, one thread, no progress. It is what
// detect --unknown runs at that layout, to the bit.
DetectionRequest searchPointRequest(const SearchRequest& request, size_t i);

// One row of the spectrum.
struct SearchRow {
    SearchPoint point;
    std::string refusal;  // why the point did not run (detectPulses' reason); empty when it ran
    int32_t count = 0;    // the chosen count; 0 when the point did not run or found nothing
    int64_t score = 0;    // S: the summed window score of the chosen pulses
    double snr =
        std::numeric_limits<double>::quiet_NaN();  // the matched filter's snr of the chosen count; NaN otherwise
    double statistic = -std::numeric_limits<double>::infinity();  // detectionStatistic; -infinity for no pulse
    std::vector<double> rawNull;  // the matched filter's null curve at this point, for the surrogates
};

// What a search found.
struct SearchOutcome {
    std::vector<SearchRow> rows;   // one per grid point, in grid order
    int64_t best = -1;             // the row of greatest statistic, the first on ties; -1 when no point found a pulse
    DetectionOutcome bestOutcome;  // the best point's detection as detectPulses gave it
    double sigma = 0;              // programmeNoiseSigma of the series, which the statistics are formed with
    bool cancelled = false;        // the progress callback said stop; nothing else is set
};

// The largest memory one point's detection needs and the work of all of
// them, in estimateDetectionCost's units, for a series of n samples; a point
// detectPulses refuses costs nothing.
struct SearchCost {
    uint64_t largestBytes = 0;
    uint64_t work = 1;
};
SearchCost estimateSearchCost(int64_t n, const SearchRequest& request);

// Runs every point of the grid on x (request.threads points at a time, each
// on one thread) into `outcome`. A point detectPulses refuses (its layout
// admits no count, its pulse is longer than Tmax or the series) is a row
// with the refusal and count 0; nothing of it is fatal. request.progress
// hears (0, total) first, then the summed work of all points in the units
// and against the total of estimateSearchCost, last (total, total); an
// answer of false stops every point: returns false with outcome.cancelled
// set. The outcome is the same, to the bit, for any number of threads.
// Throws std::bad_alloc.
bool searchLayouts(std::span<const int64_t> x, const SearchRequest& request, SearchOutcome& outcome);

// The block length of the search's surrogates: surrogateBlockLength with
// the smallest pulse length and the smallest Tmin of the grid.
int32_t searchSurrogateBlock(int64_t n, std::span<const SearchPoint> grid);

// The look-elsewhere significance of outcome's best point: `surrogates`
// block surrogates of x (seed `seed`, block searchSurrogateBlock), each run
// at every point that ran on the data, with the data's null curve of that
// point (so no null series run) and the data's sigma; each surrogate's
// greatest statistic over the grid is counted against the best point's
// (countFalseAlarms: Significance::null holds those greatest ones). Runs
// `threads` detections at a time, each on one; the result is the same for
// any number. `progress` hears the work; an answer of false stops it
// (returns false, nothing set). False with the reason in `error` when no
// point found a pulse or a surrogate was refused. Throws std::bad_alloc.
bool assessSearchSignificance(std::span<const int64_t> x, const SearchRequest& request, const SearchOutcome& outcome,
                              int32_t surrogates, uint64_t seed, unsigned threads, const ProgressCallback& progress,
                              Significance& result, std::string& error);

}  // namespace detection
