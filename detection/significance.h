#pragma once
// How significant a detection is: the same detection run on surrogate
// series that keep the noise of the data but not its pulse train
// (blockSurrogate of the series itself, surrogates.h), and the share of
// them whose statistic reaches the data's. With N surrogates the
// false-alarm probability is
//     p = (1 + #{i : t_i >= t_0}) / (N + 1),
// t_0 the data's statistic and t_i the surrogates'; its resolution is
// 1 / (N + 1). Under the null (noise alone) the data's statistic is one
// more draw of the surrogates' distribution and p is uniform on its grid.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "detection/progress.h"
#include "detection/series_detection.h"

namespace detection {

// The statistic a detection is judged by, larger for a clearer train, from
// the found pulses only (the same formula for the data and the surrogates):
// - correlation, count unknown: the chosen count's excess;
// - correlation otherwise: S / (sigma |h| sqrt M), S the summed correlation
//   of the M found pulses;
// - energy: (E - M L sigma^2) / (sigma^2 sqrt(2 M L)), E the summed window
//   energy of the found pulses: how far E stands above the mean energy of
//   M windows of noise, in standard deviations of a chi-square of M L
//   degrees of freedom;
// -infinity when nothing was found. sigma and |h| are the data's
// (programmeNoiseSigma, templateNorm).
double detectionStatistic(const DetectionOutcome& outcome, const DetectionRequest& request, double sigma, double norm);

struct Significance {
    int32_t surrogates = 0;
    uint64_t seed = 0;
    int32_t block = 0;         // block length of the surrogates
    double statistic = 0;      // t_0
    std::vector<double> null;  // t_i, in surrogate order
    int64_t reached = 0;       // surrogates with t_i >= t_0
    double falseAlarm = 1;     // (1 + reached) / (N + 1)
    double resolution = 1;     // 1 / (N + 1)
};

// The false-alarm probability of a statistic among the surrogates'.
void countFalseAlarms(double statistic, std::span<const double> null, Significance& s);

// Runs `request` on `surrogates` block surrogates of x (seed `seed`, on
// `threads` threads, each detection on one) and judges `outcome`, the
// request's detection of x itself, against them. A matched filter's
// surrogates are judged against the data's null curve (outcome.rawNull), so
// that no surrogate runs null series of its own. `progress` hears the
// surrogates' work; an answer of false stops them (returns false, nothing
// set). A surrogate the detection refuses (it cannot: the layout is the
// data's) is reported in `error` with false. Throws std::bad_alloc.
bool assessSignificance(std::span<const int64_t> x, const DetectionRequest& request, const DetectionOutcome& outcome,
                        int32_t surrogates, uint64_t seed, unsigned threads, const ProgressCallback& progress,
                        Significance& result, std::string& error);

}  // namespace detection
