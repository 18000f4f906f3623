// The sequential method and the pulse-count ranking as they were first
// written: the energy programme is run anew for every pulse count.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "base/formatted_text.h"
#include "tests/reference/literal_estimators.h"

namespace literal {

namespace {

using base::formatText;

void appendSequencePositions(std::string& text, std::span<const int16_t> positions)
{
    for (const int16_t p : positions)
        base::appendFormat(text, " %d", p);
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

std::string seriesProblem(const synthesis::SeriesHeader& series, uint16_t mFrom, uint16_t mMax)
{
    if (mFrom > mMax)
        return formatText("The series admits no pulse count: wMaxPulses is %d.\n", mMax);
    if (series.lpFoundPositions.size() < mMax)
        return formatText("The series can hold %zu positions, fewer than wMaxPulses (%d).\n",
                          series.lpFoundPositions.size(), mMax);
    if (series.lpPositions.size() < series.wImpulseQuantity)
        return formatText("The series holds %zu true positions, fewer than wImpulseQuantity (%d).\n",
                          series.lpPositions.size(), series.wImpulseQuantity);
    return {};
}

}  // namespace

int32_t sequentialMethod(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                         detection::StepwiseProtocol* protocol, synthesis::SeriesHeader& series)
{
    const uint16_t L = series.wImpulseSize;
    const uint16_t mMax = series.wMaxPulses;
    // A count of 0 has no positions to estimate, and its measure would
    // divide by zero.
    const uint16_t mFrom = std::max<uint16_t>(series.wMinPulses, 1);
    const std::string problem = seriesProblem(series, mFrom, mMax);
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, " sequentialMethod ",
                        base::MessageIcon::Warning);
        return detection::kEstimateFailure;
    }
    const size_t counts = size_t{mMax} - mFrom + 1;

    std::vector<int32_t> programmeMeasures, improvedMeasures;
    try {
        programmeMeasures.assign(counts, 0);
        improvedMeasures.assign(counts, 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", base::MessageIcon::None);
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
        sink.messageBox("Нет памяти для pulse_positions!", "", base::MessageIcon::None);
        return -1;
    }

    std::string trace;
    const uint16_t m0 = series.wImpulseQuantity;
    const std::span<const int16_t> truth(series.lpPositions.data(), m0);
    const int32_t M0 = detection::measure(series, L, truth);
    const int32_t Q0 = detection::squares(series, L, truth);
    if (traceFlag) {
        trace += "pulses\t dist\t squares\t positions\n";
        base::appendFormat(trace, "%5d\t%6d\t%6d\t", m0, M0, Q0);
        appendSequencePositions(trace, truth);
        trace += "\n\n";
    }
    detection::appendProtocolRow(protocol, m0, M0, Q0, 0, detection::kMethodTrue, truth);

    int32_t bestPre = -1, bestEst = -1;
    uint16_t mPre = 0, mEst = 0;
    for (uint32_t m = mFrom; m <= mMax; ++m) {
        const uint16_t count = static_cast<uint16_t>(m);
        const int32_t Mpre = literal::estimateByEnergies(sink, Tmin, Tmax, L, count, series);
        std::copy_n(series.lpFoundPositions.begin(), count, programmePositions.begin());
        const std::span<const int16_t> pre(programmePositions.data(), count);
        const int32_t Qpre = detection::squares(series, L, pre);
        programmeMeasures[m - mFrom] = Mpre;
        if (traceFlag) {
            base::appendFormat(trace, "%d[%d]\t%6d\t%6d\t", count, series.wFoundPulses, Mpre, Qpre);
            appendSequencePositions(trace, pre);
            trace += "\n";
        }

        uint16_t passes = 0;
        const int32_t Mest = literal::runImprovementLoop(sink, Tmin, Tmax, L, count, series, Mpre, passes);
        std::copy_n(series.lpFoundPositions.begin(), count, improvedPositions.begin());
        const std::span<const int16_t> est(improvedPositions.data(), count);
        const int32_t Qest = detection::squares(series, L, est);
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
            base::appendFormat(trace, "  it=%d\t%6d\t%6d\t", passes, Mest, Qest);
            appendSequencePositions(trace, est);
            trace += "\n";
        }
    }

    if (traceFlag) {
        trace += "\n";
        base::appendFormat(trace, "%d\t%6d\t\t", mEst, bestEst);
        trace += "\n";
        if (mPre != mEst) {
            base::appendFormat(trace, "  init arg: %d, measure: %d\n", mPre, bestPre);
            trace += "  =>\n";
            base::appendFormat(trace, "  full arg: %d, measure: %d\n", mEst, bestEst);
        }
        sink.messageBox(trace, "Sequential method", base::MessageIcon::None);
    }

    series.wFoundPulses = mPre;
    detection::appendProtocolRow(protocol, mPre, bestPre, bestByProgramme.programmeSquares, 0,
                                 detection::kMethodProgramme, bestByProgramme.programmePositions);
    detection::appendProtocolRow(protocol, mPre, bestByProgramme.improvedMeasure, bestByProgramme.improvedSquares,
                                 bestByProgramme.passes, detection::kMethodImproved, bestByProgramme.improvedPositions);
    std::copy_n(bestByProgramme.improvedPositions.begin(), mPre, series.lpFoundPositions.begin());
    if (mPre != mEst) {
        detection::appendProtocolRow(protocol, mEst, bestByImprovement.programmeMeasure,
                                     bestByImprovement.programmeSquares, 0, detection::kMethodProgramme,
                                     bestByImprovement.programmePositions);
        detection::appendProtocolRow(protocol, mEst, bestEst, bestByImprovement.improvedSquares,
                                     bestByImprovement.passes, detection::kMethodImproved,
                                     bestByImprovement.improvedPositions);
    }
    return improvedMeasures[counts - 1];
}

namespace {

using base::appendFormat;

int32_t saturate(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::span<const int16_t> foundPositions(const synthesis::SeriesHeader& s, size_t count)
{
    return {s.lpFoundPositions.data(), std::min(count, s.lpFoundPositions.size())};
}

void appendPositions(std::string& trace, std::span<const int16_t> positions)
{
    for (int16_t p : positions)
        appendFormat(trace, " %d", p);
}

void writeRow(detection::StepwiseProtocol& p, int row, uint16_t pulses, int32_t squaresValue, uint16_t code,
              std::span<const int16_t> positions)
{
    p.lpPulses[row] = pulses;
    // Ranked and detected rows are compared by the energy they capture, so
    // the measure column carries the squares as well.
    p.lpMeasure[row] = squaresValue;
    p.lpSquares[row] = squaresValue;
    p.lpIterations[row] = 0;
    p.lpMethod[row] = code;
    std::copy(positions.begin(), positions.end(), p.lpRowPositions[row].begin());
}

void copyRow(detection::StepwiseProtocol& p, int from, int to)
{
    p.lpPulses[to] = p.lpPulses[from];
    p.lpMeasure[to] = p.lpMeasure[from];
    p.lpSquares[to] = p.lpSquares[from];
    p.lpIterations[to] = p.lpIterations[from];
    p.lpMethod[to] = p.lpMethod[from];
    p.lpRowPositions[to] = p.lpRowPositions[from];
}

// Every allocated row starts over: no pulses, the row number as its measure.
void resetRows(detection::StepwiseProtocol& p, int positionsToClear)
{
    for (int r = 0; r < p.wRows; ++r) {
        p.lpPulses[r] = 0;
        p.lpMeasure[r] = r + 1;
        p.lpSquares[r] = 0;
        std::vector<int16_t>& row = p.lpRowPositions[r];
        std::fill_n(row.begin(), std::min<size_t>(positionsToClear, row.size()), int16_t{0});
    }
}

}  // namespace

namespace {

int32_t rankCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                   detection::StepwiseProtocol* protocol, detection::PulseCountTable* table,
                   synthesis::SeriesHeader& series)
{
    const uint16_t L = series.wImpulseSize;
    const int mMin = std::max<int>(series.wMinPulses, 1);
    const int mMax = series.wMaxPulses;
    const uint16_t m0 = series.wImpulseQuantity;

    if (protocol)
        resetRows(*protocol, mMax);

    std::vector<int32_t> measures;
    try {
        measures.assign(static_cast<size_t>(std::max(mMax - mMin + 1, 0)), 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", base::MessageIcon::None);
        return -1;
    }

    const std::span<const int16_t> truePositions(series.lpPositions.data(),
                                                 std::min<size_t>(m0, series.lpPositions.size()));
    const int32_t trueMeasure = detection::measure(series, L, truePositions);
    const int32_t trueSquares = detection::squares(series, L, truePositions);
    std::string trace;
    if (traceFlag) {
        trace += "pulses\t dist\t squares\t positions\n";
        appendFormat(trace, "%5d\t%6d\t%6d\t", m0, trueMeasure, trueSquares);
        appendPositions(trace, truePositions);
        trace += "\n\n";
    }

    int first = 0, capacity = 0;
    if (protocol) {
        detection::appendProtocolRow(protocol, m0, trueSquares, trueSquares, 0, detection::kMethodTrue, truePositions);
        first = protocol->wUsed;
        // Two rows are kept for the true and the detected positions; a
        // protocol that was not emptied first leaves fewer for the list.
        if (protocol->wRows > 2)
            capacity = std::min<int>(detection::maxRankedCandidates, protocol->wRows - 2);
        capacity = std::clamp(capacity, 0, protocol->wRows - first);
    }
    int length = 0;

    const uint32_t N = static_cast<uint32_t>(std::min<size_t>(series.dwSeriesSize, series.lpSeriesData.size()));
    uint32_t wholeEnergy = 0;
    for (uint32_t i = 0; i < N; ++i)
        wholeEnergy += static_cast<uint32_t>(series.lpSeriesData[i] * series.lpSeriesData[i]);

    for (int n = mMin; n <= mMax; ++n) {
        const int32_t Mn = literal::estimateByEnergies(sink, Tmin, Tmax, L, static_cast<uint16_t>(n), series);
        const std::span<const int16_t> fit = foundPositions(series, static_cast<size_t>(n));
        const int32_t Qn = detection::squares(series, L, fit);
        measures[n - mMin] = Mn;

        const int32_t outside = static_cast<int32_t>(wholeEnergy - static_cast<uint32_t>(Qn));
        const int64_t pOut = int64_t{N} - int64_t{n} * L;
        const int32_t noisePerWindow = pOut > 0 ? saturate((pOut + 2 * int64_t{L} * outside) / (2 * pOut)) : outside;
        if (table && n - mMin < table->wCapacity) {
            table->lpPulseCounts[n - mMin] = n;
            table->lpSquares[n - mMin] = Qn;
            table->lpNoisePerWindow[n - mMin] = noisePerWindow;
        }

        if (traceFlag) {
            appendFormat(trace, "%d[%d]\t%6d\t%6d\t", n, series.wFoundPulses, Mn, Qn);
            appendPositions(trace, foundPositions(series, series.wFoundPulses));
            trace += "\n";
        }

        // The first entry with smaller squares gives way; equal squares keep
        // the smaller count above. A row too narrow for n positions takes no
        // candidate.
        if (protocol && static_cast<size_t>(n) <= protocol->wWidth) {
            int at = 0;
            while (at < length && protocol->lpSquares[first + at] >= Qn)
                ++at;
            if (at < length)
                for (int j = std::min(length, capacity - 1); j > at; --j)
                    copyRow(*protocol, first + j - 1, first + j);
            if (at < capacity) {
                writeRow(*protocol, first + at, static_cast<uint16_t>(fit.size()), Qn, detection::kMethodRanked, fit);
                length = std::min(length + 1, capacity);
            }
        }

        if (traceFlag) {
            appendFormat(trace, "  it=%d\t%6d\t%6d\t", 0, Mn, Qn);
            appendPositions(trace, fit);
            trace += "\n";
        }
    }

    if (traceFlag)
        sink.messageBox(trace, "Sequential method", base::MessageIcon::None);
    if (!protocol || length == 0)
        return detection::squares(series, L, foundPositions(series, series.wFoundPulses));

    detection::StepwiseProtocol& p = *protocol;
    p.wUsed = static_cast<uint16_t>(first + length);

    // The true count is always offered: its fit takes the lowest-ranked row.
    // A series without a true count, or one the programme cannot fit, has
    // nothing to offer.
    bool listed = false;
    for (int r = first; r < p.wUsed; ++r)
        listed = listed || p.lpPulses[r] == m0;
    if (!listed && m0 > 0 && m0 <= p.wWidth &&
        literal::estimateByEnergies(sink, Tmin, Tmax, L, m0, series) != detection::kEstimateFailure) {
        const std::span<const int16_t> fit = foundPositions(series, m0);
        writeRow(p, p.wUsed - 1, m0, detection::squares(series, L, fit), detection::kMethodRanked, fit);
    }

    const uint16_t top = p.lpPulses[first];
    const size_t kept = std::min<size_t>(top, series.lpFoundPositions.size());
    std::copy_n(p.lpRowPositions[first].begin(), kept, series.lpFoundPositions.begin());
    series.wFoundPulses = static_cast<uint16_t>(kept);
    return detection::squares(series, L, foundPositions(series, kept));
}

}  // namespace

int32_t rankPulseCounts(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                        detection::StepwiseProtocol* protocol, detection::PulseCountTable* table,
                        synthesis::SeriesHeader& series)
{
    // The trace text grows with the counts; its memory is work memory too.
    try {
        return rankCounts(sink, Tmin, Tmax, traceFlag, protocol, table, series);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для measure!", "", base::MessageIcon::None);
        return -1;
    }
}

}  // namespace literal
