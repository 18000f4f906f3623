#pragma once
// The simulation's run as one sequence of series, and the running of a
// stretch of it: what every worker of statCutoffSpotting does.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "synthesis/random_streams.h"

namespace detection {

// The whole run as one sequence of series: column j (pulse value) slowest,
// then row i (noise level), then the R series of the cell.
struct Grid {
    std::span<const synthesis::PulseHeader> etalons;
    uint16_t activeCount = 0;
    std::span<const uint16_t> requiredList;
    uint16_t task = 0, L = 0, Tmin = 0, Tmax = 0, mMax = 0, createEnergy = 0;
    uint32_t N = 0;
    int16_t amplitude = 0;
    std::vector<uint16_t> pulses;  // m of each column
    std::vector<int16_t> sigmas;   // noise level of each row
    int32_t R = 0;

    uint64_t cells() const { return uint64_t{pulses.size()} * sigmas.size(); }
    uint64_t seriesCount() const { return cells() * static_cast<uint64_t>(R); }
    uint64_t cellOf(uint64_t s) const { return s / static_cast<uint64_t>(R); }
    uint16_t pulsesOf(uint64_t s) const { return pulses[cellOf(s) / sigmas.size()]; }
    int32_t step(uint16_t m) const { return (R * m) >> m; }
};

// The state a series starts from: the random streams, the noise stream and
// the etalon odometer of its cell as the series before it left them.
struct SeriesState {
    synthesis::RandomStreams streams;
    int32_t noiseSeed = 0;
    int32_t threshold = 0;
    std::vector<uint16_t> digits, etalonNumbers;  // mMax cells, the first m in use
};

enum class SeriesWork { Whole, SynthesisOnly };

// The grid of a run: the etalons, the series' shape, and the pulse counts
// and noise levels of its columns and rows.
Grid gridOf(const RestErrorHeader& h, std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
            std::span<const uint16_t> requiredList, uint16_t task, uint16_t createEnergy, int16_t amplitude,
            const synthesis::SeriesHeader& series);

// Steps the etalon choice of m pulses like an odometer over the active
// entries of the required list, digit 0 fastest.
void advanceOdometer(std::vector<uint16_t>& digits, std::vector<uint16_t>& numbers, int m, uint16_t activeCount,
                     std::span<const uint16_t> requiredList);

// Runs series [from, to) from `state`, which it carries along, into
// `record`; adds each series' error to sums[cell - firstCell]. False when a
// synthesis failed: `state` and `record` are then as that series left them.
// `stop` is asked between series.
bool runSeries(const Grid& g, uint64_t from, uint64_t to, SeriesState& state, synthesis::SeriesHeaderPtr& record,
               StepwiseProtocol* protocol, base::MessageSink& sink, SeriesWork work, std::span<int64_t> sums,
               uint64_t firstCell, const std::atomic<bool>* stop = nullptr, std::atomic<uint64_t>* done = nullptr,
               const std::function<void()>& between = {});

// Cell c (column c / levels, row c % levels) gets its detection error, the
// other matrices 0.
void writeCell(RestErrorHeader& h, uint64_t c, int64_t V, size_t levels);

}  // namespace detection
