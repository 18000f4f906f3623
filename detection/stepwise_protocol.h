#pragma once
// The stepwise protocol: one row per estimation stage (true positions, energy
// programme, improvement passes, exhaustive search, and the unfixed-case
// candidates and detection), each with its pulse count, positions, `measure`,
// `squares`, iteration count and method code; and the fixed-case estimation
// run that fills it.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "detection/progress.h"
#include "detection/task_codes.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// The rows of one processing: per row a stage's pulse count, positions,
// `measure`, `squares`, iteration count and method code, and the codes of
// the series and task processed.
struct StepwiseProtocol {
    uint16_t wRows = 0;                                // rows allocated
    uint16_t wUsed = 0;                                // rows filled, 0..wRows
    uint16_t wWidth = 0;                               // positions per row allocated
    uint16_t wAsked = 0;                               // positions per row asked for at the last get
    std::vector<uint16_t> lpIterations;                // per row; the stage's passes + 1 for addProtocolRow rows
    std::vector<int32_t> lpMeasure;                    // per row: the `measure` ("dist" in the traces)
    std::vector<int32_t> lpSquares;                    // per row: the `squares`
    std::vector<std::vector<int16_t>> lpRowPositions;  // wRows rows of wWidth starts; lpPulses[r] valid
    std::vector<uint16_t> lpPulses;                    // per row: number of positions
    std::vector<uint16_t> lpMethod;                    // per row: method code
    uint16_t wSeriesType = 0;                          // SeriesType code of the series processed
    uint16_t wTask = 0;                                // TaskType code of the task
    const char* lpTaskName = nullptr;                  // taskName(wTask), or none
    const char* lpSeriesName = nullptr;                // seriesTypeName(wSeriesType), or none
};

// The protocol record, held whole by its one owner.
using StepwiseProtocolPtr = std::unique_ptr<StepwiseProtocol>;

// "unk", "def", "pre", "est", "exh", "fix", "pas"; "unk" for any other code.
const char* protocolMethodLabel(uint16_t code);

// TaskType 1 "detection", 2 "recognition", 4 "joint detection and
// identification", 8 and 16 "joint detection and estimation", 32 "blind
// detection"; none for any other code.
const char* taskName(uint16_t task);
// SeriesType 1 "known number of whole pulses", 2 "known number of cut-off
// pulses", 4 "unknown number of whole pulses", 8 "unknown number of cut-off
// pulses"; none for any other code.
const char* seriesTypeName(uint16_t seriesType);

// Most improvement passes of one loop.
constexpr uint16_t kMaxImprovementPasses = 100;

// Where runFixedCaseEstimation stops: after the exhaustive search (All),
// after the improvement (WithoutExhaustive), after the programme
// (TrueAndProgramme).
enum class FixedCaseStages { All, WithoutExhaustive, TrueAndProgramme };

// A protocol of lastRow + 1 rows with room for at least `width` positions per
// row. `existing` is re-used when it has at least as many rows and positions
// per row, else released and replaced by one of exactly these sizes. Either
// way wUsed = 0, wAsked = width, and the pulse counts and method codes of the
// first lastRow + 1 rows are 0 (a re-used protocol keeps its labels until
// addTolpStepwiseProtocol). Empty pointer when memory runs out or lastRow is
// 65535 (no room to count the rows); `existing` is then released. Shows no
// message: the caller says "Нет памяти для lpStepwiseProtocol!".
StepwiseProtocolPtr getStepwiseProtocol(uint16_t lastRow, uint16_t width, StepwiseProtocolPtr existing);
// Releases the protocol; an empty pointer is fine. Returns 1.
int freeStepwiseProtocol(StepwiseProtocolPtr& protocol);
// Stores both codes and their names (seriesTypeName, taskName). Returns 1; 0
// without a protocol, after "Не определен lpStepwiseProtocol!" (caption
// " addTolpStepwiseProtocol ").
int addTolpStepwiseProtocol(base::MessageSink& sink, uint16_t seriesType, uint16_t task, StepwiseProtocol* protocol);
// Appends a row of the series' wFoundPulses current found positions with
// their `measure` and `squares` over pulses of L samples; stores
// iterations + 1 and the code (codes above 4 are stored as 0). `m` is not
// used. Returns 1; 0 and nothing appended when the protocol is missing or
// full, or the row cannot hold that many positions.
int addProtocolRow(uint16_t iterations, uint16_t L, uint16_t m, uint16_t code, StepwiseProtocol* protocol,
                   const synthesis::SeriesHeader& series);
// Appends a row exactly as given (iterations and code unchanged); the first
// `pulses` entries of `positions` are copied. Returns 1; 0 and nothing
// appended in the cases of addProtocolRow, or when `positions` is shorter
// than `pulses`.
int appendProtocolRow(StepwiseProtocol* protocol, uint16_t pulses, int32_t measure, int32_t squares,
                      uint16_t iterations, uint16_t code, std::span<const int16_t> positions);

// Calls improvePositions until the measure it returns equals the one before
// it (startMeasure before the first call) or 100 passes have changed it;
// `passes` receives how many changed it (0..100). Returns the last measure.
int32_t runImprovementLoop(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                           synthesis::SeriesHeader& series, int32_t startMeasure, uint16_t& passes);
// The staged estimation of m pulses of L samples, Tmin..Tmax apart; the
// application's minInterval, maxInterval, etalonLength, seriesPulseCount and
// seriesLength. Rows: the true positions (code 1), estimateByEnergies
// (code 2), the improvement loop (code 3, passes as iterations) and, for at
// most 3 pulses or for 4 pulses with seriesLength below 350, the exhaustive
// search (code 4); `stages` may stop it earlier. The series keeps the
// positions of the last stage run and wFoundPulses = m.
// Returns 1; 0 when a row could not be appended ("No positions on
// StepwiseProtocol\n", caption "CM_CREATE_SERIES"; the run stops there) or
// when the estimators cannot take m on this series (the refusal of
// fixedCaseProblem, caption " runFixedCaseEstimation "; nothing changed).
// `progress` follows the exhaustive search; when it answers false the search
// is cancelled (it says so), no row of code 4 is appended, the series keeps
// the improved positions and the run returns 0.
int runFixedCaseEstimation(base::MessageSink& sink, synthesis::SeriesHeader& series, StepwiseProtocol* protocol,
                           uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m, uint32_t seriesLength,
                           FixedCaseStages stages = FixedCaseStages::All, const ProgressCallback& progress = {});

}  // namespace detection
