#pragma once
// Detection with an unknown number of pulses. Every admissible start gets a
// window energy reduced by a detection threshold, and a chain programme links
// starts, Tmin..Tmax apart, into the chain of greatest total: its length is
// the detected pulse count, its links the positions.
//
// Where a pulse may start is kept in interval sets: Omega[-] for the first
// pulse, Omega[~] for any later one, Omega[+] for the last, taken over every
// pulse count the series admits.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "detection/chain_programme.h"
#include "detection/task_codes.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// The method used when no DetectionStudy is given.
constexpr uint16_t defaultDetectionMethod = kChiSquareUnknownDispersion;

// The threshold methods' names, by index, as the result view prints them.
inline constexpr std::array<const char*, kThresholdMethodCount> detectionMethodNames = {
    "primitive method",
    "xi-square criterion for known dispersion",
    "xi-square criterion for unknown dispersion",
    "fisher criterion",
    "threshold method",
    "additive model",
    "threshold method for known dispersion",
};

// Upper 95 % and lower 5 % points of chi-square with 19 degrees of freedom.
constexpr double chiSquareUpperPoint = 30.144;
constexpr double chiSquareLowerPoint = 10.117;

// What one run of study01_UnFixedPulseDetection leaves for the result view.
// Pulse arrays hold wPulseCapacity entries, sample arrays dwCapacity.
struct DetectionStudy {
    uint32_t dwCapacity = 0;      // cells allocated per sample array
    uint32_t dwSeriesSize = 0;    // N of the series the study was got for
    uint16_t wPulseCapacity = 0;  // entries per pulse array: the series' maximum count, at least 1
    uint16_t wTruePulses = 0;
    uint16_t wMinPulses = 0;
    uint16_t wMaxPulses = 0;
    uint16_t wImpulseSize = 0;                              // L
    std::array<uint16_t, omegaSetCount> wIntervalCounts{};  // per OmegaSet
    std::array<uint16_t, 3> wDetectedCounts{};              // after pass 1, 2, 3; a pass not run repeats the last
    int32_t lPasses = 0;                                    // 1 or 3
    int32_t lMeanWindowEnergy = 0;                          // (N + 2 L F) / (2 N), F the full series energy
    int32_t lFirstNoiseThreshold = 0;                       // of pass 1
    int32_t lLastNoiseThreshold = 0;                        // of the last pass
    int32_t lDetectionThreshold = 0;                        // T after the last pass
    int32_t lExpectedNoiseEnergy = 0;                       // sigma^2 L
    std::vector<int32_t> lpTruePositions;
    std::array<std::vector<int32_t>, 3> lpDetectedPositions;  // per pass
    std::array<std::vector<int32_t>, 3> lpDetectedEnergies;   // window energy of each detection, per pass
    std::array<std::vector<int32_t>, omegaSetCount> lpIntervalStarts;
    std::array<std::vector<int32_t>, omegaSetCount> lpIntervalEnds;
    std::vector<int32_t> lpEnergies;          // window energy per start 0..N-L; -999 outside Omega
    std::vector<int32_t> lpReducedEnergies;   // the same after the threshold of the last pass
    std::array<double, 2> chiSquarePoints{};  // 30.144 and 10.117 when T came from the noise level, else 0
    std::vector<uint64_t> lpSpare;            // dwCapacity cells, cleared, not filled by detection
    uint16_t wTask = 0;                       // TaskType code, set by the shell
    uint16_t wDetectionMethod = 0;            // threshold method 0..6 (detection/task_codes.h), set by the shell
};

// The study, held whole by its one owner.
using DetectionStudyPtr = std::unique_ptr<DetectionStudy>;

// Returns a cleared study for the series: re-used when its pulse capacity is
// at least max(wMaxPulses, 1) and its sample capacity at least dwSeriesSize,
// else made anew with exactly these capacities. Copies the pulse counts, L,
// N and the true positions from the series; a re-used study keeps its task
// and method. Returns nullptr, without a message, when memory runs out (the
// study passed in is then released).
DetectionStudyPtr getDetectionStudy(const synthesis::SeriesHeader& series, DetectionStudyPtr study);

// Releases the study; an empty pointer is fine.
void freeDetectionStudy(DetectionStudyPtr& study);

// Detects the pulse count and positions with the study's detection method
// (defaultDetectionMethod without a study) over one or three passes, under
// the gap rule Tmin <= p[k] - p[k-1] <= Tmax, and shows the trace text with
// the caption " study01_UnFixedPulseDetection " at every run.
//
// Writes the detected count and positions into the series' wFoundPulses and
// lpFoundPositions (at most as many as those hold), the chain totals D (one
// per sample, -999 where none) into the first N cells of chainOut (fewer when
// it is shorter; empty for none), and fills the study when one is given.
// Returns the measure of the detected positions, 0 when nothing was detected.
// When the work memory cannot be had it shows "Нет памяти для indexes!" (no
// caption), leaves the series unchanged and returns 0.
int32_t study01_UnFixedPulseDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax,
                                      std::span<int32_t> chainOut, DetectionStudy* study,
                                      synthesis::SeriesHeader& series);

// The chain programme without threshold (T = 0, one pass) over the observed
// samples: writes the detected count and positions into the series and
// returns the best chain total, 0 when nothing was found. No trace. Same
// memory failure as study01_UnFixedPulseDetection.
int32_t processSeriesChains(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, synthesis::SeriesHeader& series);

}  // namespace detection
