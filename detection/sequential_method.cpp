#include "detection/sequential_method.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"

namespace {

void appendf(std::string& text, const char* fmt, auto... args)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    text += buffer;
}

void appendPositions(std::string& text, std::span<const int16_t> positions)
{
    for (const int16_t p : positions)
        appendf(text, " %d", p);
}

// Everything kept of the count that is best by one of the two measures.
struct CountResult {
    int32_t programmeMeasure = 0;
    int32_t improvedMeasure = 0;
    int32_t programmeSquares = 0;
    int32_t improvedSquares = 0;
    uint16_t passes = 0;
    std::vector<int16_t> programmePositions;
    std::vector<int16_t> improvedPositions;
};

std::string seriesProblem(const SeriesHeader& series, uint16_t mFrom, uint16_t mMax)
{
    char buffer[160];
    if (mFrom > mMax)
        std::snprintf(buffer, sizeof buffer, "The series admits no pulse count: wMaxPulses is %d.\n", mMax);
    else if (series.lpFoundPositions.size() < mMax)
        std::snprintf(buffer, sizeof buffer, "The series can hold %zu positions, fewer than wMaxPulses (%d).\n",
                      series.lpFoundPositions.size(), mMax);
    else if (series.lpPositions.size() < series.wImpulseQuantity)
        std::snprintf(buffer, sizeof buffer, "The series holds %zu true positions, fewer than wImpulseQuantity (%d).\n",
                      series.lpPositions.size(), series.wImpulseQuantity);
    else
        return {};
    return buffer;
}

}  // namespace

int32_t sequentialMethod(MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag, StepwiseProtocol* protocol,
                         SeriesHeader& series)
{
    const uint16_t L = series.wImpulseSize;
    const uint16_t mMax = series.wMaxPulses;
    // A count of 0 has no positions to estimate, and its measure would
    // divide by zero.
    const uint16_t mFrom = std::max<uint16_t>(series.wMinPulses, 1);
    const std::string problem = seriesProblem(series, mFrom, mMax);
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, " sequentialMethod ", MessageIcon::Warning);
        return kEstimateFailure;
    }
    const size_t counts = size_t{mMax} - mFrom + 1;

    std::vector<int32_t> programmeMeasures, improvedMeasures;
    try {
        programmeMeasures.assign(counts, 0);
        improvedMeasures.assign(counts, 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", MessageIcon::None);
        return -1;
    }
    std::vector<int16_t> programmePositions, improvedPositions;
    CountResult bestByProgramme, bestByImprovement;
    try {
        for (auto* positions : {&programmePositions, &improvedPositions, &bestByProgramme.programmePositions,
                                &bestByProgramme.improvedPositions, &bestByImprovement.programmePositions,
                                &bestByImprovement.improvedPositions})
            positions->assign(mMax, 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для pulse_positions!", "", MessageIcon::None);
        return -1;
    }

    std::string trace;
    const uint16_t m0 = series.wImpulseQuantity;
    const std::span<const int16_t> truth(series.lpPositions.data(), m0);
    const int32_t M0 = measure(series, L, truth);
    const int32_t Q0 = squares(series, L, truth);
    if (traceFlag) {
        trace += "pulses\t dist\t squares\t positions\n";
        appendf(trace, "%5d\t%6d\t%6d\t", m0, M0, Q0);
        appendPositions(trace, truth);
        trace += "\n\n";
    }
    appendProtocolRow(protocol, m0, M0, Q0, 0, kMethodTrue, truth);

    // One table of the energy programme serves every count.
    const std::unique_ptr<SeriesProgramme> programme = shareEnergyProgramme(series, Tmin, Tmax, L, mFrom, mMax);
    int32_t bestPre = -1, bestEst = -1;
    uint16_t mPre = 0, mEst = 0;
    for (uint32_t m = mFrom; m <= mMax; ++m) {
        const uint16_t count = static_cast<uint16_t>(m);
        const int32_t Mpre = estimateByEnergies(sink, Tmin, Tmax, L, count, series, programme.get());
        std::copy_n(series.lpFoundPositions.begin(), count, programmePositions.begin());
        const std::span<const int16_t> pre(programmePositions.data(), count);
        const int32_t Qpre = squares(series, L, pre);
        programmeMeasures[m - mFrom] = Mpre;
        if (traceFlag) {
            appendf(trace, "%d[%d]\t%6d\t%6d\t", count, series.wFoundPulses, Mpre, Qpre);
            appendPositions(trace, pre);
            trace += "\n";
        }

        uint16_t passes = 0;
        const int32_t Mest = runImprovementLoop(sink, Tmin, Tmax, L, count, series, Mpre, passes);
        std::copy_n(series.lpFoundPositions.begin(), count, improvedPositions.begin());
        const std::span<const int16_t> est(improvedPositions.data(), count);
        const int32_t Qest = squares(series, L, est);
        improvedMeasures[m - mFrom] = Mest;

        auto keep = [&](CountResult& entry) {
            entry.programmeMeasure = Mpre;
            entry.improvedMeasure = Mest;
            entry.programmeSquares = Qpre;
            entry.improvedSquares = Qest;
            entry.passes = passes;
            std::copy_n(programmePositions.begin(), count, entry.programmePositions.begin());
            std::copy_n(improvedPositions.begin(), count, entry.improvedPositions.begin());
        };
        // Strict comparisons: on equal measures the smaller count stays.
        if (Mpre > bestPre) {
            bestPre = Mpre;
            mPre = count;
            keep(bestByProgramme);
        }
        if (Mest > bestEst) {
            bestEst = Mest;
            mEst = count;
            keep(bestByImprovement);
        }
        if (traceFlag) {
            appendf(trace, "  it=%d\t%6d\t%6d\t", passes, Mest, Qest);
            appendPositions(trace, est);
            trace += "\n";
        }
    }

    if (traceFlag) {
        trace += "\n";
        appendf(trace, "%d\t%6d\t\t", mEst, bestEst);
        trace += "\n";
        if (mPre != mEst) {
            appendf(trace, "  init arg: %d, measure: %d\n", mPre, bestPre);
            trace += "  =>\n";
            appendf(trace, "  full arg: %d, measure: %d\n", mEst, bestEst);
        }
        sink.messageBox(trace, "Sequential method", MessageIcon::None);
    }

    series.wFoundPulses = mPre;
    appendProtocolRow(protocol, mPre, bestPre, bestByProgramme.programmeSquares, 0, kMethodProgramme,
                      bestByProgramme.programmePositions);
    appendProtocolRow(protocol, mPre, bestByProgramme.improvedMeasure, bestByProgramme.improvedSquares,
                      bestByProgramme.passes, kMethodImproved, bestByProgramme.improvedPositions);
    std::copy_n(bestByProgramme.improvedPositions.begin(), mPre, series.lpFoundPositions.begin());
    if (mPre != mEst) {
        appendProtocolRow(protocol, mEst, bestByImprovement.programmeMeasure, bestByImprovement.programmeSquares, 0,
                          kMethodProgramme, bestByImprovement.programmePositions);
        appendProtocolRow(protocol, mEst, bestEst, bestByImprovement.improvedSquares, bestByImprovement.passes,
                          kMethodImproved, bestByImprovement.improvedPositions);
    }
    return improvedMeasures[counts - 1];
}
