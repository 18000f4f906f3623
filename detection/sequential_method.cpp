#include "detection/sequential_method.h"

#include <algorithm>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "detection/count_choice.h"
#include "detection/fixed_case_criteria.h"
#include "base/formatted_text.h"

namespace detection {

namespace {

using base::appendFormat;
using Fit = CountFit<int32_t>;

void appendPositions(std::string& text, std::span<const int32_t> positions)
{
    for (const int32_t p : positions)
        appendFormat(text, " %d", p);
}

std::vector<int16_t> narrowed(const std::vector<int32_t>& positions)
{
    return std::vector<int16_t>(positions.begin(), positions.end());
}

// The positions as the rows hold them, written into `into` (reserved for
// the largest count, so nothing is allocated).
std::span<const int16_t> narrowed(const std::vector<int32_t>& positions, std::vector<int16_t>& into)
{
    into.assign(positions.begin(), positions.end());
    return into;
}

// The longest trace of counts mFrom..mMax with m0 true positions: every
// number at its widest (11 characters for 32 bits, a separator each).
size_t traceBound(uint16_t m0, uint16_t mFrom, uint16_t mMax)
{
    size_t bound = 64 + 12 * size_t{m0} + 256;
    for (size_t m = mFrom; m <= mMax; ++m)
        bound += 2 * (64 + 12 * m);
    return bound;
}

std::vector<int32_t> foundStarts(const synthesis::SeriesHeader& series, uint16_t m)
{
    return std::vector<int32_t>(series.lpFoundPositions.begin(), series.lpFoundPositions.begin() + m);
}

// Count m the way the estimators do it on the record: from the shared table
// when the count fits the series, else through estimateByEnergies and the
// improvement loop, which refuse it with their messages and leave the
// positions of the count before. The series ends with the count's improved
// positions, as the estimators leave it. `shown` receives the
// estimated-position count the programme left.
Fit fitOnSeries(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t m,
                synthesis::SeriesHeader& series, const SeriesProgramme* programme, uint16_t& shown)
{
    if (programme && fixedCaseProblem(series, Tmin, Tmax, L, m).empty()) {
        try {
            Fit fit =
                fitCount<int16_t, int32_t>(seriesSamples(series), seriesLayout(series, Tmin, Tmax, L), *programme, m);
            std::copy(fit.improved.begin(), fit.improved.end(), series.lpFoundPositions.begin());
            series.wFoundPulses = shown = m;
            return fit;
        } catch (const std::bad_alloc&) {
            // The count-by-count estimators below say what memory is missing.
        }
    }
    Fit fit;
    fit.count = m;
    fit.programmeMeasure = estimateByEnergies(sink, Tmin, Tmax, L, m, series);
    shown = series.wFoundPulses;
    fit.programme = foundStarts(series, m);
    fit.programmeSquares = squares(series, L, narrowed(fit.programme));
    uint16_t passes = 0;
    fit.improvedMeasure = runImprovementLoop(sink, Tmin, Tmax, L, m, series, fit.programmeMeasure, passes);
    fit.passes = passes;
    fit.improved = foundStarts(series, m);
    fit.improvedSquares = squares(series, L, narrowed(fit.improved));
    return fit;
}

std::string seriesProblem(const synthesis::SeriesHeader& series, uint16_t mFrom, uint16_t mMax)
{
    if (mFrom > mMax)
        return base::formatText("The series admits no pulse count: wMaxPulses is %d.\n", mMax);
    if (series.lpFoundPositions.size() < mMax)
        return base::formatText("The series can hold %zu positions, fewer than wMaxPulses (%d).\n",
                                series.lpFoundPositions.size(), mMax);
    if (series.lpPositions.size() < series.wImpulseQuantity)
        return base::formatText("The series holds %zu true positions, fewer than wImpulseQuantity (%d).\n",
                                series.lpPositions.size(), series.wImpulseQuantity);
    return {};
}

// The first lines of the trace: the true count, its measure, its squares and
// its positions.
void traceTruth(std::string& trace, int32_t M0, int32_t Q0, std::span<const int16_t> truth)
{
    trace += "pulses\t dist\t squares\t positions\n";
    appendFormat(trace, "%5d\t%6d\t%6d\t", static_cast<int>(truth.size()), M0, Q0);
    for (const int16_t p : truth)
        appendFormat(trace, " %d", p);
    trace += "\n\n";
}

// Fits every count mFrom..mMax on the series, keeping the measures and the
// best fits, and traces each when `trace` is given. Memory running out
// throws, the series part-way through.
void fitEveryCount(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, uint16_t L, uint16_t mFrom, uint16_t mMax,
                   std::string* trace, synthesis::SeriesHeader& series, CountChoice<int32_t>& choice,
                   std::vector<int32_t>& programmeMeasures, std::vector<int32_t>& improvedMeasures)
{
    // One table of the energy programme serves every count.
    const std::unique_ptr<SeriesProgramme> programme = shareEnergyProgramme(series, Tmin, Tmax, L, mFrom, mMax);
    for (uint32_t m = mFrom; m <= mMax; ++m) {
        uint16_t shown = 0;
        const Fit fit = fitOnSeries(sink, Tmin, Tmax, L, static_cast<uint16_t>(m), series, programme.get(), shown);
        programmeMeasures[m - mFrom] = fit.programmeMeasure;
        improvedMeasures[m - mFrom] = fit.improvedMeasure;
        choice.consider(fit);
        if (trace) {
            appendFormat(*trace, "%d[%d]\t%6d\t%6d\t", fit.count, shown, fit.programmeMeasure, fit.programmeSquares);
            appendPositions(*trace, fit.programme);
            *trace += "\n";
            appendFormat(*trace, "  it=%d\t%6d\t%6d\t", fit.passes, fit.improvedMeasure, fit.improvedSquares);
            appendPositions(*trace, fit.improved);
            *trace += "\n";
        }
    }
}

// The closing lines of the trace: the chosen count, and the count the
// programme alone chose when the improvement moved it.
void traceChoice(std::string& trace, const CountChoice<int32_t>& choice)
{
    const auto mPre = static_cast<uint16_t>(choice.byProgramme.count);
    const auto mEst = static_cast<uint16_t>(choice.byImprovement.count);
    trace += "\n";
    appendFormat(trace, "%d\t%6d\t\t", mEst, choice.bestImproved);
    trace += "\n";
    if (mPre != mEst) {
        appendFormat(trace, "  init arg: %d, measure: %d\n", mPre, choice.bestProgramme);
        trace += "  =>\n";
        appendFormat(trace, "  full arg: %d, measure: %d\n", mEst, choice.bestImproved);
    }
}

// The rows of the chosen counts: the programme's count with its programme
// and improved positions, then the improvement's count when it differs. The
// series keeps the programme count's improved positions.
void writeChosenRows(StepwiseProtocol* protocol, const CountChoice<int32_t>& choice, std::vector<int16_t>& rowPositions,
                     synthesis::SeriesHeader& series)
{
    const Fit& byProgramme = choice.byProgramme;
    const Fit& byImprovement = choice.byImprovement;
    const auto mPre = static_cast<uint16_t>(byProgramme.count), mEst = static_cast<uint16_t>(byImprovement.count);
    series.wFoundPulses = mPre;
    appendProtocolRow(protocol, mPre, choice.bestProgramme, byProgramme.programmeSquares, 0, kMethodProgramme,
                      narrowed(byProgramme.programme, rowPositions));
    appendProtocolRow(protocol, mPre, byProgramme.improvedMeasure, byProgramme.improvedSquares,
                      static_cast<uint16_t>(byProgramme.passes), kMethodImproved,
                      narrowed(byProgramme.improved, rowPositions));
    std::copy_n(byProgramme.improved.begin(), mPre, series.lpFoundPositions.begin());
    if (mPre != mEst) {
        appendProtocolRow(protocol, mEst, byImprovement.programmeMeasure, byImprovement.programmeSquares, 0,
                          kMethodProgramme, narrowed(byImprovement.programme, rowPositions));
        appendProtocolRow(protocol, mEst, choice.bestImproved, byImprovement.improvedSquares,
                          static_cast<uint16_t>(byImprovement.passes), kMethodImproved,
                          narrowed(byImprovement.improved, rowPositions));
    }
}

}  // namespace

int32_t sequentialMethod(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                         StepwiseProtocol* protocol, synthesis::SeriesHeader& series)
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
        return kEstimateFailure;
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
    CountChoice<int32_t> choice;
    std::string trace;
    // The rows' narrowed positions, and the estimated positions as they
    // were, to put back when memory runs out halfway.
    std::vector<int16_t> rowPositions;
    std::vector<int16_t> foundBefore;
    const uint16_t foundCountBefore = series.wFoundPulses;
    try {
        for (auto* positions : {&choice.byProgramme.programme, &choice.byProgramme.improved,
                                &choice.byImprovement.programme, &choice.byImprovement.improved})
            positions->reserve(mMax);
        rowPositions.reserve(mMax);
        foundBefore = series.lpFoundPositions;
        if (traceFlag)
            trace.reserve(traceBound(series.wImpulseQuantity, mFrom, mMax));
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для pulse_positions!", "", base::MessageIcon::None);
        return -1;
    }

    const uint16_t m0 = series.wImpulseQuantity;
    const std::span<const int16_t> truth(series.lpPositions.data(), m0);
    const int32_t M0 = measure(series, L, truth);
    const int32_t Q0 = squares(series, L, truth);
    if (traceFlag)
        traceTruth(trace, M0, Q0, truth);

    // The counts are fitted before any row is written: a shortage on the way
    // puts the estimated positions back and leaves the protocol untouched.
    try {
        fitEveryCount(sink, Tmin, Tmax, L, mFrom, mMax, traceFlag ? &trace : nullptr, series, choice, programmeMeasures,
                      improvedMeasures);
    } catch (const std::bad_alloc&) {
        std::copy(foundBefore.begin(), foundBefore.end(), series.lpFoundPositions.begin());
        series.wFoundPulses = foundCountBefore;
        sink.messageBox("Нет памяти для pulse_positions!", "", base::MessageIcon::None);
        return -1;
    }
    appendProtocolRow(protocol, m0, M0, Q0, 0, kMethodTrue, truth);

    if (traceFlag) {
        traceChoice(trace, choice);
        sink.messageBox(trace, "Sequential method", base::MessageIcon::None);
    }
    writeChosenRows(protocol, choice, rowPositions, series);
    return improvedMeasures[counts - 1];
}

}  // namespace detection
