#include "detection/statistical_simulation.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "detection/sequential_method.h"
#include "detection/stepwise_protocol.h"
#include "synthesis/series_synthesis.h"

namespace {

std::string format(const char* fmt, auto... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

// Everything the simulation relies on, checked before anything changes.
std::string simulationProblem(const RestErrorHeader& h, std::span<const PulseHeader> etalons, uint16_t activeCount,
                              std::span<const uint16_t> requiredList, const SeriesHeader* series)
{
    if (!series)
        return "There is no series record to simulate in.\n";
    if ((h.repeats & 0xFFFF) == 0)
        return format("The number of repeats (%d) counts 0 series; it must be at least 1.\n", h.repeats);
    if (activeCount == 0)
        return "No etalon is active.\n";
    if (requiredList.size() < activeCount)
        return format("The required list holds %zu etalons, fewer than the %d active ones.\n", requiredList.size(),
                      activeCount);
    if (requiredList[0] < 1 || requiredList[0] > etalons.size())
        return format("The first required etalon (%d) is not in the alphabet of %zu etalons.\n", requiredList[0],
                      etalons.size());

    const uint16_t L = etalons[requiredList[0] - 1].wSize;
    const std::string seriesProblem = seriesParameterProblem(L, series->wTmin, series->wTmax, series->dwSeriesSize);
    if (!seriesProblem.empty())
        return seriesProblem;

    if (h.wPulseValues.size() < h.wVariousPulses || h.lpNoiseLevel.size() < h.wNoiseLevels)
        return "The error record holds fewer values than it says it uses.\n";
    for (const auto& matrix : h.lpErrors) {
        if (matrix.size() < h.wNoiseLevels)
            return "The error record holds fewer rows than it says it uses.\n";
        for (size_t i = 0; i < h.wNoiseLevels; ++i)
            if (matrix[i].size() < h.wVariousPulses)
                return "The error record holds fewer columns than it says it uses.\n";
    }

    const int minK = std::max<int>(seriesMinPulses(series->dwSeriesSize, L, series->wTmax), 1);
    const int maxK = std::min<int>(seriesMaxPulses(series->dwSeriesSize, L, series->wTmin), series->wMaxPulses);
    for (size_t j = 0; j < h.wVariousPulses; ++j) {
        const int m = h.wPulseValues[j];
        // The odometer step shifts by m bits: 31 is the most a 32-bit word allows.
        if (m < 1 || m > 31)
            return format("The pulse value %d is outside 1 to 31.\n", m);
        if (m < minK || m > maxK)
            return format("A series of %u samples admits %d to %d pulses, not %d.\n", series->dwSeriesSize, minK,
                          maxK, m);
    }
    for (size_t i = 0; i < h.wNoiseLevels; ++i) {
        const int sigma = h.lpNoiseLevel[i];
        if (sigma < 0 || sigma > kMaxSimulationNoise)
            return format("The noise level %d is outside 0 to %d, the deviations the noise generator can take.\n",
                          sigma, kMaxSimulationNoise);
    }
    return {};
}

// Steps the etalon choice of m pulses like an odometer over the active
// entries of the required list, digit 0 fastest.
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

}  // namespace

RestErrorHeaderPtr getRestErrHeader(MessageSink& sink, uint16_t pulses, uint16_t levels, int32_t repeats,
                                    RestErrorHeaderPtr existing)
{
    const char* caption = " getRestErrHeader ";
    if (!existing) {
        try {
            existing = std::make_unique<RestErrorHeader>();
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newRestErrorHeader!", caption, MessageIcon::None);
            return nullptr;
        }
    }
    RestErrorHeader& h = *existing;
    if (h.wReservedPulses + h.wReservedLevels < pulses + levels || h.wReservedLevels < levels) {
        h.wReservedPulses = pulses;
        h.wReservedLevels = levels;
    }
    // The arrays cover both the reserved sizes and the ones asked for, so no
    // combination of earlier and later sizes can reach past them.
    const size_t columns = std::max(h.wReservedPulses, pulses);
    const size_t rows = std::max(h.wReservedLevels, levels);
    try {
        h.wPulseValues.assign(columns, 0);
        h.lpNoiseLevel.assign(rows, 0);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpNoiseLevel!", caption, MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            matrix.resize(rows);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors!", caption, MessageIcon::None);
        return nullptr;
    }
    try {
        for (auto& matrix : h.lpErrors)
            for (auto& row : matrix)
                row.assign(columns, 0);
    } catch (const std::bad_alloc&) {
        existing.reset();
        sink.messageBox("Нет памяти для newRestErrorHeader->lpErrors[]!", caption, MessageIcon::None);
        return nullptr;
    }
    h.wNoiseLevels = levels;
    h.wVariousPulses = pulses;
    h.repeats = repeats;
    return existing;
}

int initRestErrHeader(MessageSink& sink, uint16_t pulses, uint16_t pulseFrom, uint16_t pulseStep, uint16_t levels,
                      uint16_t levelFrom, uint16_t levelStep, int32_t repeats, RestErrorHeader* header)
{
    const char* caption = " initRestErrHeader ";
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", caption, MessageIcon::None);
        return 0;
    }
    RestErrorHeader& h = *header;
    if (h.wReservedPulses < pulses) {
        sink.messageBox("Неверно задан wVariousPulsesNumber!", caption, MessageIcon::None);
        return 0;
    }
    if (h.wReservedLevels < levels) {
        sink.messageBox("Неверно задан wNoiseLevels!", caption, MessageIcon::None);
        return 0;
    }
    h.wVariousPulses = pulses;
    h.wNoiseLevels = levels;
    h.repeats = repeats;
    h.fReady = 0;
    for (uint32_t j = 0; j < pulses; ++j)
        h.wPulseValues[j] = static_cast<int16_t>(pulseFrom + pulseStep * j);
    for (uint32_t i = 0; i < levels; ++i) {
        h.lpNoiseLevel[i] = static_cast<int16_t>(levelFrom + levelStep * i);
        std::fill_n(h.lpErrors[kRestoringErrors][i].begin(), pulses, 0);
    }
    return 1;
}

int addInitRestErrHeader(MessageSink& sink, uint16_t seriesType, uint16_t task, uint16_t createEnergy,
                         int16_t processEnergy, RestErrorHeader* header)
{
    if (!header) {
        sink.messageBox("Не определен lpErrorHeader!", " addInitRestErrHeader ", MessageIcon::None);
        return 0;
    }
    header->wLabelMark = 2;
    header->wSeriesType = seriesType;
    header->wTask = task;
    header->lpTaskName = taskName(task);
    header->lpSeriesName = seriesTypeName(seriesType);
    header->wCreateEnergy = createEnergy;
    header->wProcessEnergy = processEnergy;
    return 1;
}

int freeRestErrHeader(RestErrorHeaderPtr& header)
{
    header.reset();
    return 1;
}

int32_t seriesDetectionError(const SeriesHeader& series, uint16_t m)
{
    const size_t n = std::min({size_t{m}, series.lpPositions.size(), series.lpFoundPositions.size()});
    if (n == 0)
        return 0;
    uint32_t E = 0;
    for (size_t k = 0; k < n; ++k) {
        const int32_t d = series.lpPositions[k] - series.lpFoundPositions[k];
        E += static_cast<uint32_t>(d) * static_cast<uint32_t>(d);
    }
    // 128 * E / m rounded half up, in the 1/128 fixed point of the sum.
    return static_cast<int32_t>(uint32_t{m} + 2u * 128u * E) / (2 * static_cast<int32_t>(m));
}

int statCutoffSpotting(MessageSink& sink, RestErrorHeader* header, std::span<const PulseHeader> etalons,
                       uint16_t activeCount, std::span<const uint16_t> requiredList, uint16_t seriesType,
                       uint16_t task, uint16_t createEnergy, int16_t processEnergy, SeriesHeaderPtr& series,
                       int16_t amplitude, int32_t& noiseSeed, RandomStreams& streams,
                       const SimulationProgress& progress)
{
    if (!header) {
        sink.messageBox("Absence of RestoreErrorHeader!", "statCutoffSpotting", MessageIcon::None);
        return 0;
    }
    RestErrorHeader& h = *header;
    const std::string problem = simulationProblem(h, etalons, activeCount, requiredList, series.get());
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, "statCutoffSpotting", MessageIcon::Warning);
        return 0;
    }

    const uint16_t Tmin = series->wTmin, Tmax = series->wTmax, mMax = series->wMaxPulses;
    // From here on the cells change: until the end they are no result.
    h.fReady = 0;
    if (!addInitRestErrHeader(sink, seriesType, task, createEnergy, processEnergy, header)) {
        sink.messageBox("Ошибка addInitRestErrHeader!", " About RestoreErrorHeader ", MessageIcon::None);
        return 0;
    }

    std::vector<uint16_t> digits, etalonNumbers;
    try {
        digits.assign(mMax, 1);
        etalonNumbers.assign(mMax, 1);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", MessageIcon::None);
        return 0;
    }
    StepwiseProtocolPtr protocol = getStepwiseProtocol(7, mMax, nullptr);
    if (!protocol) {
        sink.messageBox("Нет памяти для lpStepwiseProtocol!", "", MessageIcon::None);
        return 0;
    }
    addTolpStepwiseProtocol(sink, seriesType, task, protocol.get());

    const uint16_t L = etalons[requiredList[0] - 1].wSize;
    const uint32_t N = series->dwSeriesSize;
    const int32_t R = h.repeats & 0xFFFF;

    for (size_t j = 0; j < h.wVariousPulses; ++j) {
        const uint16_t m = static_cast<uint16_t>(h.wPulseValues[j]);
        for (size_t i = 0; i < h.wNoiseLevels; ++i) {
            const int16_t sigma = h.lpNoiseLevel[i];
            // The 2^m etalon choices of two active etalons spread evenly
            // over the R series; with fewer series than that the odometer
            // steps before every one of them.
            const int32_t step = (R * m) >> m;
            int32_t threshold = step;
            std::fill_n(digits.begin(), m, uint16_t{1});
            std::fill_n(etalonNumbers.begin(), m, requiredList[0]);
            int64_t V = 0;

            for (int32_t t = 0; t < R; ++t) {
                if (t * m >= threshold) {
                    threshold += step;
                    advanceOdometer(digits, etalonNumbers, m, activeCount, requiredList);
                }
                bool made = false;
                series = getCutOffSeries(sink, etalons, L, Tmin, Tmax, N, m, etalonNumbers, amplitude, createEnergy,
                                         std::move(series), streams, &made);
                if (!series || !made)
                    return 0;
                addNoise(sigma, amplitude, series.get(), noiseSeed);

                SeriesHeader& s = *series;
                protocol->wUsed = 0;
                switch (task) {
                case 8:
                    runFixedCaseEstimation(sink, s, protocol.get(), Tmin, Tmax, L, m, N,
                                           FixedCaseStages::WithoutExhaustive);
                    break;
                case 16:
                    sequentialMethod(sink, Tmin, Tmax, false, protocol.get(), s);
                    break;
                case 32:
                    runFixedCaseEstimation(sink, s, protocol.get(), Tmin, Tmax, L, m, N,
                                           FixedCaseStages::TrueAndProgramme);
                    break;
                default:
                    break;
                }
                V += seriesDetectionError(s, m);
            }

            for (int k = 0; k < kErrorMatrices; ++k)
                h.lpErrors[k][i][j] = 0;
            h.lpErrors[kDetectionErrors][i][j] = static_cast<int32_t>(V / 128);
            if (progress)
                progress(static_cast<uint32_t>(j * h.wNoiseLevels + i + 1),
                         static_cast<uint32_t>(h.wVariousPulses) * h.wNoiseLevels);
        }
    }
    h.fReady = 1;
    return 1;
}
