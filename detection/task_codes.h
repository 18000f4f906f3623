#pragma once
// The codes the protocol records carry: the task a series is processed for,
// how the series was synthesized, the method that wrote a protocol row and
// the threshold method that detects an unknown count. The values are the ones
// the records, the simulation files and the command line's reports hold.

#include <cstdint>

namespace detection {

// TaskType: what processing a series gets.
enum TaskType : uint16_t {
    taskDetection = 1,            // named, never set
    taskRecognition = 2,          // named, never set
    taskJointIdentification = 4,  // named, never set
    taskFixedEstimation = 8,      // joint detection and estimation, known count
    taskUnfixedEstimation = 16,   // joint detection and estimation, unknown count
    taskBlindDetection = 32,
    taskSeriesProcessing = 64,
};

// SeriesType: how the next series is synthesized. 16 and 32 live for exactly
// one synthesis after "Create series..." and then return to 1 and 4.
enum SeriesType : uint16_t {
    seriesKnownWhole = 1,
    seriesKnownCutOff = 2,
    seriesUnknownWhole = 4,
    seriesUnknownCutOff = 8,
    seriesTransientKnown = 16,
    seriesTransientUnknown = 32,
};

// The pulse count of the series is known to the processing.
constexpr bool isKnownCountSeries(uint16_t seriesType)
{
    return seriesType == seriesKnownWhole || seriesType == seriesKnownCutOff;
}
// The pulse count of the series is to be found.
constexpr bool isUnknownCountSeries(uint16_t seriesType)
{
    return seriesType == seriesUnknownWhole || seriesType == seriesUnknownCutOff;
}
// The series' pulses may be cut off at its ends.
constexpr bool isCutOffSeries(uint16_t seriesType)
{
    return seriesType == seriesKnownCutOff || seriesType == seriesUnknownCutOff;
}

// Method codes of the protocol rows.
constexpr uint16_t kMethodUnknown = 0;     // "unk": no positions set
constexpr uint16_t kMethodTrue = 1;        // "def": the true positions of the series
constexpr uint16_t kMethodProgramme = 2;   // "pre": estimateByEnergies
constexpr uint16_t kMethodImproved = 3;    // "est": repeated improvePositions
constexpr uint16_t kMethodExhaustive = 4;  // "exh": searchInIntervals
constexpr uint16_t kMethodRanked = 5;      // "fix": a ranked unfixed-case candidate
constexpr uint16_t kMethodDetected = 6;    // "pas": the unfixed-case detection

// The threshold methods, by index; each fixes where the detection threshold T
// comes from and how many passes run.
constexpr int32_t kPrimitiveMethod = 0;             // T = 1, one pass
constexpr int32_t kChiSquareKnownDispersion = 1;    // T from the noise level, one pass
constexpr int32_t kChiSquareUnknownDispersion = 2;  // T from the energy outside the detections, three passes
constexpr int32_t kFisherCriterion = 3;             // T = 0, three passes
constexpr int32_t kMeanWindowThreshold = 4;         // T = 0, then the mean window energy, three passes
constexpr int32_t kAdditiveModel = 5;               // as 2, energies of the noise-free samples plus sigma^2
constexpr int32_t kThresholdKnownDispersion = 6;    // T from the noise level; energies <= T count 0, one pass
constexpr int32_t kThresholdMethodCount = 7;

// Why a noise level given to a method that does not take one is refused.
inline constexpr const char* kNoiseLevelMethodsOnly = "a noise level applies to blind detection methods 1 and 6 only";

// The threshold methods the workbench's menu offers for the detection task
// (and so the ones a run may name).
constexpr bool isMenuDetectionMethod(int32_t method)
{
    return method == kPrimitiveMethod || method == kChiSquareKnownDispersion || method == kChiSquareUnknownDispersion ||
           method == kThresholdKnownDispersion;
}

// The threshold methods that take T from the noise level.
constexpr bool takesNoiseLevel(int32_t method)
{
    return method == kChiSquareKnownDispersion || method == kThresholdKnownDispersion;
}

}  // namespace detection
