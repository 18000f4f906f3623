// The statistical simulation as it was first written: one series after
// another on the calling thread, the reference of the split runs.
#include "tests/reference/literal_simulation.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "detection/sequential_method.h"
#include "detection/stepwise_protocol.h"
#include "base/formatted_text.h"
#include "synthesis/series_synthesis.h"
#include "tests/reference/literal_estimators.h"

namespace literal {
namespace {

using base::formatText;

// Everything the simulation relies on, checked before anything changes.
std::string simulationProblem(const detection::RestErrorHeader& h, std::span<const synthesis::PulseHeader> etalons,
                              uint16_t activeCount, std::span<const uint16_t> requiredList,
                              const synthesis::SeriesHeader* series)
{
    if (!series)
        return "There is no series record to simulate in.\n";
    if ((h.repeats & 0xFFFF) == 0)
        return formatText("The number of repeats (%d) counts 0 series; it must be at least 1.\n", h.repeats);
    if (activeCount == 0)
        return "No etalon is active.\n";
    if (requiredList.size() < activeCount)
        return formatText("The required list holds %zu etalons, fewer than the %d active ones.\n", requiredList.size(),
                          activeCount);
    if (requiredList[0] < 1 || requiredList[0] > etalons.size())
        return formatText("The first required etalon (%d) is not in the alphabet of %zu etalons.\n", requiredList[0],
                          etalons.size());

    const uint16_t L = etalons[requiredList[0] - 1].wSize;
    const std::string seriesProblem =
        synthesis::seriesParameterProblem(L, series->wTmin, series->wTmax, series->dwSeriesSize);
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

    const int minK = std::max<int>(synthesis::seriesMinPulses(series->dwSeriesSize, L, series->wTmax), 1);
    const int maxK =
        std::min<int>(synthesis::seriesMaxPulses(series->dwSeriesSize, L, series->wTmin), series->wMaxPulses);
    for (size_t j = 0; j < h.wVariousPulses; ++j) {
        const int m = h.wPulseValues[j];
        // The odometer step shifts by m bits: 31 is the most a 32-bit word allows.
        if (m < 1 || m > 31)
            return formatText("The pulse value %d is outside 1 to 31.\n", m);
        if (m < minK || m > maxK)
            return formatText("A series of %u samples admits %d to %d pulses, not %d.\n", series->dwSeriesSize, minK,
                              maxK, m);
    }
    for (size_t i = 0; i < h.wNoiseLevels; ++i) {
        const int sigma = h.lpNoiseLevel[i];
        if (sigma < 0 || sigma > detection::kMaxSimulationNoise)
            return formatText("The noise level %d is outside 0 to %d, the deviations the noise generator can take.\n",
                              sigma, detection::kMaxSimulationNoise);
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

// The staged run of the simulation with the literal estimators: true
// positions, the energy programme and, with `improve`, the improvement loop,
// each appending its row.
void stagedRun(base::MessageSink& sink, synthesis::SeriesHeader& s, detection::StepwiseProtocol* protocol,
               uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m, bool improve)
{
    auto append = [&](uint16_t iterations, uint16_t code) {
        if (detection::addProtocolRow(iterations, L, m, code, protocol, s))
            return true;
        sink.messageBox("No positions on StepwiseProtocol\n", "CM_CREATE_SERIES", base::MessageIcon::None);
        return false;
    };
    s.wFoundPulses = m;
    std::copy_n(s.lpPositions.begin(), m, s.lpFoundPositions.begin());
    if (!append(0, detection::kMethodTrue))
        return;
    const int32_t programme = literal::estimateByEnergies(sink, Tmin, Tmax, L, m, s);
    if (!append(0, detection::kMethodProgramme) || !improve)
        return;
    uint16_t passes = 0;
    literal::runImprovementLoop(sink, Tmin, Tmax, L, m, s, programme, passes);
    append(passes, detection::kMethodImproved);
}

}  // namespace

int statCutoffSpotting(base::MessageSink& sink, detection::RestErrorHeader* header,
                       std::span<const synthesis::PulseHeader> etalons, uint16_t activeCount,
                       std::span<const uint16_t> requiredList, uint16_t seriesType, uint16_t task,
                       uint16_t createEnergy, int16_t processEnergy, synthesis::SeriesHeaderPtr& series,
                       int16_t amplitude, int32_t& noiseSeed, synthesis::RandomStreams& streams,
                       const std::function<void(uint32_t, uint32_t)>& progress, Estimators estimators)
{
    if (!header) {
        sink.messageBox("Absence of RestoreErrorHeader!", "statCutoffSpotting", base::MessageIcon::None);
        return 0;
    }
    detection::RestErrorHeader& h = *header;
    const std::string problem = simulationProblem(h, etalons, activeCount, requiredList, series.get());
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, "statCutoffSpotting",
                        base::MessageIcon::Warning);
        return 0;
    }

    const uint16_t Tmin = series->wTmin, Tmax = series->wTmax, mMax = series->wMaxPulses;
    // From here on the cells change: until the end they are no result.
    h.fReady = 0;
    if (!detection::addInitRestErrHeader(sink, seriesType, task, createEnergy, processEnergy, header)) {
        sink.messageBox("Ошибка addInitRestErrHeader!", " About RestoreErrorHeader ", base::MessageIcon::None);
        return 0;
    }

    std::vector<uint16_t> digits, etalonNumbers;
    try {
        digits.assign(mMax, 1);
        etalonNumbers.assign(mMax, 1);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Ошибка lpEtalonNumbersList!", " About statCutoffSpotting ", base::MessageIcon::None);
        return 0;
    }
    detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(7, mMax, nullptr);
    if (!protocol) {
        sink.messageBox("Нет памяти для lpStepwiseProtocol!", "", base::MessageIcon::None);
        return 0;
    }
    detection::addTolpStepwiseProtocol(sink, seriesType, task, protocol.get());

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
                series = synthesis::getCutOffSeries(sink, etalons, L, Tmin, Tmax, N, m, etalonNumbers, amplitude,
                                                    createEnergy, std::move(series), streams, &made);
                if (!series || !made)
                    return 0;
                synthesis::addNoise(sigma, amplitude, series.get(), noiseSeed);

                synthesis::SeriesHeader& s = *series;
                protocol->wUsed = 0;
                switch (task) {
                case 8:
                    if (estimators == Estimators::Literal)
                        stagedRun(sink, s, protocol.get(), Tmin, Tmax, L, m, true);
                    else
                        detection::runFixedCaseEstimation(sink, s, protocol.get(), Tmin, Tmax, L, m, N,
                                                          detection::FixedCaseStages::WithoutExhaustive);
                    break;
                case 16:
                    if (estimators == Estimators::Literal)
                        literal::sequentialMethod(sink, Tmin, Tmax, false, protocol.get(), s);
                    else
                        detection::sequentialMethod(sink, Tmin, Tmax, false, protocol.get(), s);
                    break;
                case 32:
                    if (estimators == Estimators::Literal)
                        stagedRun(sink, s, protocol.get(), Tmin, Tmax, L, m, false);
                    else
                        detection::runFixedCaseEstimation(sink, s, protocol.get(), Tmin, Tmax, L, m, N,
                                                          detection::FixedCaseStages::TrueAndProgramme);
                    break;
                default:
                    break;
                }
                V += detection::seriesDetectionError(s, m);
            }

            for (int k = 0; k < detection::kErrorMatrices; ++k)
                h.lpErrors[k][i][j] = 0;
            h.lpErrors[detection::kDetectionErrors][i][j] = static_cast<int32_t>(V / 128);
            if (progress)
                progress(static_cast<uint32_t>(j * h.wNoiseLevels + i + 1),
                         static_cast<uint32_t>(h.wVariousPulses) * h.wNoiseLevels);
        }
    }
    h.fReady = 1;
    return 1;
}

}  // namespace literal
