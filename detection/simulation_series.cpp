#include "detection/simulation_series.h"

#include <algorithm>

#include "detection/sequential_method.h"
#include "detection/task_codes.h"
#include "synthesis/series_synthesis.h"

namespace detection {

Grid gridOf(const RestErrorHeader& h, std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
            std::span<const uint16_t> requiredList, uint16_t task, uint16_t createEnergy, int16_t amplitude,
            const synthesis::SeriesHeader& series)
{
    Grid g;
    g.etalons = etalons;
    g.activeCount = activeCount;
    g.requiredList = requiredList;
    g.task = task;
    g.L = etalons[requiredList[0] - 1].wSize;
    g.Tmin = series.wTmin;
    g.Tmax = series.wTmax;
    g.mMax = series.wMaxPulses;
    g.createEnergy = createEnergy;
    g.N = series.dwSeriesSize;
    g.amplitude = amplitude;
    g.R = h.repeats & 0xFFFF;
    for (size_t j = 0; j < h.wVariousPulses; ++j)
        g.pulses.push_back(static_cast<uint16_t>(h.wPulseValues[j]));
    g.sigmas.assign(h.lpNoiseLevel.begin(), h.lpNoiseLevel.begin() + h.wNoiseLevels);
    return g;
}

void advanceOdometer(std::vector<uint16_t>& digits, std::vector<uint16_t>& numbers, int m, uint16_t activeCount,
                     std::span<const uint16_t> requiredList)
{
    for (int d = 0; d < m; ++d) {
        if (++digits[d] <= activeCount)
            break;
        digits[d] = 1;
    }
    for (int d = 0; d < m; ++d)
        numbers[d] = requiredList[digits[d] - 1];
}

bool runSeries(const Grid& g, uint64_t from, uint64_t to, SeriesState& state, synthesis::SeriesHeaderPtr& record,
               StepwiseProtocol* protocol, base::MessageSink& sink, SeriesWork work, std::span<int64_t> sums,
               uint64_t firstCell, const std::atomic<bool>* stop, std::atomic<uint64_t>* done,
               const std::function<void()>& between)
{
    for (uint64_t s = from; s < to; ++s) {
        if (between)
            between();
        if (stop && stop->load(std::memory_order_relaxed))
            return true;
        const uint64_t cell = g.cellOf(s);
        const int32_t t = static_cast<int32_t>(s % static_cast<uint64_t>(g.R));
        const uint16_t m = g.pulsesOf(s);
        const int16_t sigma = g.sigmas[cell % g.sigmas.size()];
        // The 2^m etalon choices of two active etalons spread evenly over the
        // R series; with fewer series than that the odometer steps before
        // every one of them.
        if (t == 0) {
            state.threshold = g.step(m);
            std::fill_n(state.digits.begin(), m, uint16_t{1});
            std::fill_n(state.etalonNumbers.begin(), m, g.requiredList[0]);
        }
        if (t * m >= state.threshold) {
            state.threshold += g.step(m);
            advanceOdometer(state.digits, state.etalonNumbers, m, g.activeCount, g.requiredList);
        }
        bool made = false;
        record = synthesis::getCutOffSeries(sink, g.etalons, g.L, g.Tmin, g.Tmax, g.N, m, state.etalonNumbers,
                                            g.amplitude, g.createEnergy, std::move(record), state.streams, &made);
        if (!record || !made)
            return false;
        if (work == SeriesWork::SynthesisOnly) {
            state.noiseSeed = synthesis::jumpRandom(state.noiseSeed, uint64_t{12} * g.N);
            continue;
        }
        synthesis::addNoise(sigma, g.amplitude, record.get(), state.noiseSeed);

        synthesis::SeriesHeader& series = *record;
        protocol->wUsed = 0;
        switch (g.task) {
        case taskFixedEstimation:
            runFixedCaseEstimation(sink, series, protocol, g.Tmin, g.Tmax, g.L, m, g.N,
                                   FixedCaseStages::WithoutExhaustive);
            break;
        case taskUnfixedEstimation:
            sequentialMethod(sink, g.Tmin, g.Tmax, false, protocol, series);
            break;
        case taskBlindDetection:
            runFixedCaseEstimation(sink, series, protocol, g.Tmin, g.Tmax, g.L, m, g.N,
                                   FixedCaseStages::TrueAndProgramme);
            break;
        default:
            break;
        }
        sums[cell - firstCell] += seriesDetectionError(series, m);
        if (done)
            done->fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

void writeCell(RestErrorHeader& h, uint64_t c, int64_t V, size_t levels)
{
    const size_t j = c / levels, i = c % levels;
    for (int k = 0; k < kErrorMatrices; ++k)
        h.lpErrors[k][i][j] = 0;
    h.lpErrors[kDetectionErrors][i][j] = static_cast<int32_t>(V / 128);
}

}  // namespace detection
