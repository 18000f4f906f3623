#pragma once
// Statistical simulation: for every pulse count and noise level, synthesize
// `repeats` series, estimate the pulse positions as the task does, and
// accumulate the squared position errors in a RestErrorHeader, which the
// statistical-simulation view draws.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "detection/progress.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"

namespace detection {

// The error matrices a RestErrorHeader holds; the simulation fills one.
constexpr int kErrorMatrices = 6;
constexpr int kRestoringErrors = 0;  // matrix of restoring errors (0 after a simulation)
constexpr int kDetectionErrors = 1;  // matrix of accumulated squared position errors

// Largest noise deviation whose generator product stays within 32 bits.
constexpr int16_t kMaxSimulationNoise = 10922;
// Largest pulse count of a simulated series: the etalon odometer steps
// through a 32-bit word by the count's bits.
constexpr int kMaxSimulationPulses = 31;

// The result of a statistical simulation: its grid of pulse values and noise
// levels, the error matrices over that grid, and the labels of what was
// simulated.
struct RestErrorHeader {
    uint16_t wReservedPulses = 0;       // capacity for pulse-count values
    uint16_t wVariousPulses = 0;        // pulse-count values in use (columns)
    uint16_t wReservedLevels = 0;       // capacity for noise levels
    uint16_t wNoiseLevels = 0;          // noise levels in use (rows)
    int32_t repeats = 0;                // series per cell; the low 16 bits count
    std::vector<int16_t> wPulseValues;  // the pulse counts simulated, wVariousPulses valid
    std::vector<int16_t> lpNoiseLevel;  // the noise levels simulated, wNoiseLevels valid
    // lpErrors[k][i][j]: error matrix k, row = noise-level index i, column =
    // pulse-value index j.
    std::array<std::vector<std::vector<int32_t>>, kErrorMatrices> lpErrors;
    int16_t wLabelMark = 0;              // 2 once labelled by addInitRestErrHeader
    uint16_t wSeriesType = 0;            // SeriesType code of the simulation
    uint16_t wTask = 0;                  // TaskType code of the simulation
    const char* lpTaskName = nullptr;    // taskName(wTask), or none
    const char* lpSeriesName = nullptr;  // seriesTypeName(wSeriesType), or none
    uint16_t wCreateEnergy = 0;          // saved energy level for creating series
    int16_t wProcessEnergy = 0;          // saved energy level for processing series
    int16_t fReady = 0;                  // 1 once a simulation has completed
};

// The simulation record, held whole by its one owner.
using RestErrorHeaderPtr = std::unique_ptr<RestErrorHeader>;

// What a share of the simulation found, for a shard of a job array or an
// MPI rank: the run is one sequence of series (column j slowest, then row i,
// then the R series of the cell) and a shard simulates series
// [firstSeries, endSeries) of it. Summing cellSums over shards that cover
// the run and dividing by 128 gives exactly the detection errors of the
// whole run; the messages, by series, are those of the whole run in order.
struct SimulationPart {
    uint64_t firstSeries = 0;       // first series of the share
    uint64_t endSeries = 0;         // one past its last series
    uint64_t seriesCount = 0;       // series of the whole run
    std::vector<int64_t> cellSums;  // per cell j * levels + i: the sum of seriesDetectionError over the share
    std::vector<std::pair<uint64_t, base::RecordedMessage>>
        messages;            // (first series of the piece that showed it, message)
    bool holdsLast = false;  // the share ends the run: the record holds the last series, the streams their end state
};

// Series [first, end) of a run of `count` that share `index` (0-based) of
// `shares` simulates: the one split every front end uses.
struct SeriesShare {
    uint64_t first = 0, end = 0;
};
inline SeriesShare shareOfSeries(uint64_t count, uint64_t index, uint64_t shares)
{
    return {count * index / shares, count * (index + 1) / shares};
}

// How to run the simulation. Any number of threads, any shards, give the
// same result to the last bit: every series starts from the random state the
// series before it would leave, computed directly.
struct SimulationOptions {
    unsigned threads = 1;     // workers, the calling thread among them
    uint32_t shardIndex = 0;  // this share, 0-based ...
    uint32_t shardCount = 1;  // ... of this many equal shares of the series
    // Told the series done and the series of this share, from the calling
    // thread, about ten times a second; false cancels the run, which then
    // changes nothing (header, record, streams) and returns 0.
    ProgressCallback progress;
    // When given, only the share runs: its sums and messages go here, the
    // header's cells and labels stay as they are; the record and the
    // streams change only when the share ends the run.
    SimulationPart* part = nullptr;
};

// A record for `pulses` pulse values and `levels` noise levels, re-using
// `existing`. Its value arrays are made anew, with wReservedPulses = pulses
// and wReservedLevels = levels, when wReservedPulses + wReservedLevels <
// pulses + levels or wReservedLevels < levels; otherwise the reserved counts
// stay. Sets wVariousPulses, wNoiseLevels and repeats and clears every value
// and error cell; labels and fReady stay. The arrays hold at least the
// reserved and the asked sizes. Empty pointer, with `existing` released,
// after "Нет памяти для newRestErrorHeader!" (or "...->lpNoiseLevel!",
// "...->lpErrors!", "...->lpErrors[]!"), caption " getRestErrHeader ".
RestErrorHeaderPtr getRestErrHeader(base::MessageSink& sink, uint16_t pulses, uint16_t levels, int32_t repeats,
                                    RestErrorHeaderPtr existing);
// Lays out the grid: pulse value j = pulseFrom + pulseStep*j and noise level
// i = levelFrom + levelStep*i (16-bit results), wVariousPulses = pulses,
// wNoiseLevels = levels, repeats, fReady = 0, restoring errors of the cells
// in use 0.
// Returns 1; 0 after a message (caption " initRestErrHeader "): "Не
// определен lpErrorHeader!" without a header, "Неверно задан
// wVariousPulsesNumber!" when wReservedPulses < pulses, "Неверно задан
// wNoiseLevels!" when wReservedLevels < levels.
int initRestErrHeader(base::MessageSink& sink, uint16_t pulses, uint16_t pulseFrom, uint16_t pulseStep, uint16_t levels,
                      uint16_t levelFrom, uint16_t levelStep, int32_t repeats, RestErrorHeader* header);
// Labels the header: wLabelMark = 2, both codes with their names (taskName,
// seriesTypeName) and both saved energy levels. Returns 1; 0 without a header after "Не
// определен lpErrorHeader!" (caption " addInitRestErrHeader ").
int addInitRestErrHeader(base::MessageSink& sink, uint16_t seriesType, uint16_t task, uint16_t createEnergy,
                         int16_t processEnergy, RestErrorHeader* header);
// Releases the record; an empty pointer is fine. Returns 1.
int freeRestErrHeader(RestErrorHeaderPtr& header);

// The error one simulated series adds before the final 1/128 scaling:
// E = sum over k < m of (lpPositions[k] - lpFoundPositions[k])^2 and
// (m + 2*128*E) / (2m), i.e. 128*E/m rounded half up (32-bit, wrapping).
int32_t seriesDetectionError(const synthesis::SeriesHeader& series, uint16_t m);

// Puts together the shares of one run (any order) as the whole run would
// have left the header: the detection errors, the labels, fReady = 1, and
// every message of the run in its order, shown on `sink`. Returns 1; 0 and
// nothing changed after a message (caption " mergeSimulationParts ") when
// the parts are of different runs, overlap, leave series out, or do not fit
// the header's cells.
int mergeSimulationParts(base::MessageSink& sink, RestErrorHeader* header, uint16_t seriesType, uint16_t task,
                         uint16_t createEnergy, int16_t processEnergy, std::span<const SimulationPart> parts);

// Runs the simulation over the header's pulse values (columns j) and noise
// levels (rows i) with R = the low 16 bits of `repeats` series per cell,
// synthesized into `series` (which keeps the last one) from `etalons` (the
// alphabet) with the application's `amplitude`, noised from `noiseSeed` (the
// application's noise stream, advanced), positions and cuts from `streams`.
// Pulses are L = wSize of etalon requiredList[0] long and keep the series'
// wTmin..wTmax gaps and length. The etalons of the m pulses walk through
// every choice among the first activeCount entries of requiredList like an
// odometer, spread evenly over the R series. The task estimates: 8 the
// fixed-case run without the exhaustive stage, 16 the sequential method, 32
// the true positions and the energy programme, any other nothing. Detection
// error (lpErrors[1][i][j]) = the sum of seriesDetectionError over the R
// series, divided by 128; the other five matrices get 0. Sets the labels
// (addInitRestErrHeader) and fReady = 1; returns 1. `options` chooses
// threads, a shard and progress (SimulationOptions).
// Refused, with nothing changed and 0 returned, after a message: "Absence of
// RestoreErrorHeader!" (caption "statCutoffSpotting") without a header;
// "Несовместимые входные параметры!\n\n" and the reason (caption
// "statCutoffSpotting") when R is 0, no etalon is active or the list is
// shorter than activeCount, the first required etalon is not in the
// alphabet, the series' length and gaps do not fit L, a pulse value is
// outside 1..31 or not a count the series length admits, or a noise level is
// outside 0..10922 (the deviations the noise generator takes without
// overflow). Also 0, with fReady left 0, when the odometer ("Ошибка
// lpEtalonNumbersList!", caption " About statCutoffSpotting "), the private
// protocol ("Нет памяти для lpStepwiseProtocol!") or a synthesis fails. A
// protocol row that cannot be appended is reported ("No positions on
// StepwiseProtocol\n", caption "CM_CREATE_SERIES") and the simulation goes
// on with the next series.
int statCutoffSpotting(base::MessageSink& sink, RestErrorHeader* header,
                       std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
                       std::span<const uint16_t> requiredList, uint16_t seriesType, uint16_t task,
                       uint16_t createEnergy, int16_t processEnergy, synthesis::SeriesHeaderPtr& series,
                       int16_t amplitude, int32_t& noiseSeed, synthesis::RandomStreams& streams,
                       const SimulationOptions& options = {});

}  // namespace detection
