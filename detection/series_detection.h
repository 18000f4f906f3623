#pragma once
// Pulse detection on any prepared series: a researcher's own data of any
// length, in 64-bit arithmetic with no wrapping and 32-bit positions. The
// same stages as the workbench runs on its own series, over the span core:
// - a known count: the energy programme, the improvement passes until the
//   measure settles and, for small counts, the exhaustive search;
// - an unknown count by the sequential method: every admissible count
//   fitted and improved, the best measure chosen;
// - blind detection: the pulse-count ranking of every admissible count,
//   then a threshold method (0..6) chooses count and positions itself.
//
// Scores: the window energy (the system's own) or the correlation of each
// window with a template. Correlations add up pulse by pulse, so the
// programme's chain is already the best admissible chain; the improvement
// passes, the exhaustive search, the sequential method and the pulse-count
// ranking judge overlapping pulses by their summed energy and are run with
// energy scores only. An unknown count with correlation scores is the
// matched filter of matched_filter.h: every count's best chain from one
// programme, the count chosen by its excess over the null. Blind detection
// on correlations runs the threshold methods of correlation_threshold.h
// instead, without the ranking.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "detection/energy_programme.h"
#include "detection/progress.h"
#include "detection/task_codes.h"

namespace detection {

// The stages a request runs: a known count, the sequential method over
// every admissible count, or blind detection by a threshold method.
enum class DetectionMode { KnownCount, SequentialMethod, Blind };
// What a window scores: its energy, or its correlation with the template.
enum class ScoreKind { Energy, Correlation };

// One detection on a prepared series: the mode, the pulse layout and the
// score, with what the mode needs besides.
struct DetectionRequest {
    DetectionMode mode = DetectionMode::KnownCount;
    int32_t pulses = 0;                            // KnownCount: the count
    int32_t method = kChiSquareUnknownDispersion;  // Blind: the threshold method 0..6
    int32_t L = 0;                                 // pulse length in samples
    int32_t Tmin = 0;                              // least distance between neighbouring starts
    int32_t Tmax = 0;                              // greatest distance between neighbouring starts
    ScoreKind score = ScoreKind::Energy;
    std::vector<int64_t> templateSamples;  // Correlation: L samples
    int64_t noiseLevel = 0;                // Blind methods 1 and 6: sigma in sample units
    // An unknown count with correlation scores: the null series the count is
    // judged against, their seed and, when given (one value per admissible
    // count), the null curve itself. `threads`: what the null series and the
    // sequential method's fits of the counts run on (0: every usable
    // processor); the result is the same for any number.
    int32_t nullSeries = 8;
    uint64_t seed = 1;
    unsigned threads = 0;
    std::vector<double> nullSnr;
    // Blind detection on correlations by methods 0, 1, 2 and 6: the least
    // signal-to-noise ratio S of the threshold S sigma |h|, positive and
    // finite; nothing for defaultSnrMin. Refused anywhere else.
    std::optional<double> snrMin;
    // Every stage reports here (see detectPulses); an empty one is not called.
    ProgressCallback progress;
};

// Whether the request runs the matched filter: an unknown count scored by
// correlations.
inline bool isMatchedFilter(const DetectionRequest& r)
{
    return r.mode == DetectionMode::SequentialMethod && r.score == ScoreKind::Correlation;
}

// One stage, as the workbench's protocol holds it: the method code of its
// rows (2 programme, 3 improvement, 4 exhaustive, 5 a ranked count, 6 the
// threshold detection), the positions, `measure`, `squares` and iterations.
struct StageRow {
    uint16_t method = 0;
    std::vector<int32_t> positions;
    int64_t measure = 0;
    int64_t squares = 0;
    int32_t iterations = 0;
};

// What one admissible count scored.
struct CountScore {
    int32_t count = 0;
    int64_t programmeMeasure = 0;  // sequential method: the programme's measure
    int64_t improvedMeasure = 0;   // sequential method: after the improvement passes
    int32_t passes = 0;            // sequential method: passes that changed the measure
    int64_t squares = 0;           // ranking: the window energy the programme's pulses capture
    int64_t noisePerWindow = 0;    // ranking: the energy left outside, per pulse length
    // The matched filter (correlation, count unknown): the best chain's
    // summed correlation, its snr, the null's snr and the excess the count
    // is chosen by; NaN where the count holds no chain.
    int64_t chainScore = 0;
    double snr = 0;
    double nullSnr = 0;
    double excess = 0;
};

// One pass of a threshold method.
struct ThresholdPassSummary {
    int64_t threshold = 0;  // T subtracted from every window score in this pass, in the score's units
    int32_t detected = 0;   // pulses the pass found
    double sigma = 0;       // correlation scores: the noise level T came from (0 for method 3)
};

// Blind detection on correlations: where its thresholds S sigma |h| came from.
struct CorrelationThresholdSummary {
    bool ran = false;         // the detection ran on correlation scores; nothing below is set otherwise
    double snrMin = 0;        // S; 0 for method 3, which takes none
    bool snrDefault = false;  // S is defaultSnrMin: a false pulse in pure noise with probability 1 %
    int64_t windows = 0;      // the independent windows the default counts
    double templateNorm = 0;  // |h|
};

// What detectPulses found, stage by stage.
struct DetectionOutcome {
    std::vector<int32_t> positions;    // the result: starts in increasing order
    std::vector<int64_t> pulseScores;  // the window score of each
    std::vector<StageRow> rows;        // every stage in order
    std::vector<CountScore> counts;    // unknown count: every admissible count
    int32_t fromCount = 0;             // the admissible counts of the layout
    int32_t toCount = 0;
    std::vector<ThresholdPassSummary> passes;          // blind detection
    CorrelationThresholdSummary correlationThreshold;  // blind detection on correlations
    // The matched filter: the count chosen by excess and the count of
    // greatest snr (0 for none), the noise level and template norm the snr
    // is formed with, the null curve as the null series gave it (before
    // smoothing, one per count) and their block length.
    int32_t chosenCount = 0;
    int32_t plainCount = 0;
    double noiseSigma = 0;
    double templateNorm = 0;
    std::vector<double> rawNull;
    int32_t nullBlock = 0;
    // The progress callback said stop. The rows of the stages that had
    // finished are kept (a known count: the programme's, the improvement's),
    // the positions are the last kept row's, and nothing of the stopped
    // stage or any later one is there: no row, no count, no pass.
    bool cancelled = false;
};

// The counts a series of N samples can hold as pulses of L samples whose
// starts lie Tmin..Tmax apart (every pulse's admissible range non-empty);
// from > to when none.
struct CountRange {
    int32_t from = 1;
    int32_t to = 0;
    bool empty() const { return from > to; }
};
CountRange admissibleCounts(const PulseLayout& layout);

// Window scores of every start 0..N-L: energies or correlations with the
// template (which must hold L samples). Throws std::bad_alloc.
std::vector<int64_t> windowScores(std::span<const int64_t> x, int32_t L, ScoreKind score,
                                  std::span<const int64_t> templateSamples);

// What a detection of a series will cost before it runs (detection_cost.cpp):
// the memory its programmes hold at once and the work they do, from the
// layout and the request alone (no sample is read), so that a front end can
// refuse a detection that would not fit and show the progress of one that
// runs.
struct DetectionCost {
    // The most memory detectPulses allocates at once, in bytes: the window
    // scores, the programme's table (kept whole or in strides), the chains of
    // every admissible count, the improvement passes and their memo, the
    // exhaustive search's tables, the threshold passes, the outcome. The
    // samples themselves, which the caller holds, are not counted. An upper
    // bound: the tables are counted as allocated, the vectors that grow at
    // their largest capacity, and the improvement memo at the most its
    // budget and its candidate ranges let it hold.
    uint64_t bytes = 0;
    // The work, in the units detectPulses counts in its progress reports
    // (a cell of a table filled or scanned, a product of the improvement
    // passes): exact for the programme and the chains, an estimate for the
    // improvement passes (two passes of every count) and the exhaustive
    // search (which leaves out what it can prove cannot win). At least 1.
    uint64_t work = 1;
    // Of `work`, the exhaustive search's share (0 when it does not run).
    uint64_t searchWork = 0;
};

// The cost of detectPulses on a series of layout.N samples with the
// request's mode, count, method, score and pulse length (the request's L,
// Tmin and Tmax are those of the layout). Runs in time proportional to the
// rows of the programme (the largest admissible count) and allocates
// little (a few words per stride of a table kept in strides). A request detectPulses refuses (a pulse length or gap it
// does not take, a count the layout cannot hold, no admissible count) costs nothing: {0, 1, 0}.
DetectionCost estimateDetectionCost(const PulseLayout& layout, const DetectionRequest& request);

// Runs the request on the prepared samples x into `outcome` (cleared first).
// KnownCount: the programme's row (code 2) and, with energy scores, the
// improvement until settled (code 3, passes + 1 iterations) and, for at most
// 3 pulses or 4 in a series below 350 samples, the exhaustive search (code
// 4). SequentialMethod: the programme's row of the count chosen by programme
// measure and the improved row of the count chosen by improved measure,
// every admissible count in `counts`. Blind: up to 5 ranked counts (code 5)
// and the threshold detection (code 6), whose rows hold the squares as their
// measure, every admissible count in `counts` and each threshold pass in
// `passes`; on correlation scores only the threshold detection (no ranking,
// no counts), with `correlationThreshold` set. SequentialMethod with
// correlation scores: the matched filter's chain of the chosen count (code
// 2), every admissible count in `counts` with its chain score, snr, null and
// excess. The result is the last row's positions, with the window score of
// each. A cancelled exhaustive search leaves its row out and sets
// `cancelled`.
// Returns false with a one-line reason in `error` when the request cannot be
// run on this series: a pulse length below 1 or longer than the series, a
// series past INT32_MAX samples, Tmin below 1 or above Tmax, Tmax below L, a
// template not of L samples, a layout that admits no count or not the known
// one, a threshold method outside 0..6 or the additive model (a file has no
// noise-free samples), method 4 on correlations, an snrMin where it has no
// use or not positive, samples too large for exact 64-bit sums, or a series
// a threshold method refuses. Throws std::bad_alloc.
//
// Progress: request.progress hears (0, total) first, then the work done
// every few hundred microseconds of work, in the units and against the
// total of estimateDetectionCost (above) and below it, from every
// stage (the scores, the programme and its chains, the improvement passes,
// the sequential method's counts, the ranking, the threshold passes, the
// exhaustive search); last (total, total) when all is done. An answer of
// false stops the detection within those microseconds: it returns true with
// outcome.cancelled set and nothing half-done in the outcome. Without a
// stop the outcome is the same, to the bit, with a callback or without.
bool detectPulses(std::span<const int64_t> x, const DetectionRequest& request, DetectionOutcome& outcome,
                  std::string& error);

}  // namespace detection
