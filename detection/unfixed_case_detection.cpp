#include "detection/unfixed_case_detection.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "detection/chain_programme.h"
#include "detection/fixed_case_criteria.h"
#include "detection/threshold_detection.h"
#include "base/formatted_text.h"

namespace detection {

namespace {

using base::appendFormat;

static_assert(chainEmptyCell<int32_t> == noChainValue);

// The samples detection may read: never more than the series holds.
uint32_t usableSize(const synthesis::SeriesHeader& s)
{
    return static_cast<uint32_t>(std::min<size_t>({s.dwSeriesSize, s.lpSeriesData.size(), s.lpPureData.size()}));
}

PulseLayout layoutOf(uint32_t N, const synthesis::SeriesHeader& s, uint16_t Tmin, uint16_t Tmax)
{
    return {.N = N, .L = s.wImpulseSize, .Tmin = Tmin, .Tmax = Tmax};
}

// The interval-set records as the span core reads them. The records may have
// dropped intervals that did not fit; the core works on what they kept.
StartRegionLists regionListsOf(const StartRegions& regions)
{
    auto listOf = [&](int g) {
        StartIntervals list;
        if (const IntervalSet* set = regions.sets[g].get())
            for (int k = 0; k < set->wCount; ++k)
                list.push_back({set->lpStarts[k], set->lpEnds[k]});
        return list;
    };
    StartRegionLists r;
    r.first = listOf(omegaFirst);
    r.later = listOf(omegaLater);
    r.last = listOf(omegaLast);
    r.any = listOf(omegaAny);
    r.firstOnly = listOf(omegaFirstOnly);
    r.firstAndLater = listOf(omegaFirstAndLater);
    r.laterOnly = listOf(omegaLaterOnly);
    return r;
}

void writeFoundPositions(synthesis::SeriesHeader& s, const std::vector<int32_t>& positions)
{
    for (size_t k = 0; k < positions.size(); ++k)
        s.lpFoundPositions[k] = static_cast<int16_t>(positions[k]);
    s.wFoundPulses = static_cast<uint16_t>(positions.size());
}

void storeRegions(DetectionStudy& study, const StartRegions& regions)
{
    for (int g = 0; g < omegaSetCount; ++g) {
        const IntervalSet* set = regions.sets[g].get();
        std::vector<int32_t>& starts = study.lpIntervalStarts[g];
        std::vector<int32_t>& ends = study.lpIntervalEnds[g];
        std::fill(starts.begin(), starts.end(), 0);
        std::fill(ends.begin(), ends.end(), 0);
        const size_t count = set ? std::min<size_t>(set->wCount, starts.size()) : 0;
        for (size_t k = 0; k < count; ++k) {
            starts[k] = set->lpStarts[k];
            ends[k] = set->lpEnds[k];
        }
        study.wIntervalCounts[g] = static_cast<uint16_t>(count);
    }
}

// Copies E of the starts 0..N-L into a study array.
void storeEnergies(std::vector<int32_t>& target, const std::vector<int32_t>& E, uint32_t N, int L)
{
    std::fill(target.begin(), target.end(), 0);
    if (N < static_cast<uint32_t>(L))
        return;
    const size_t starts = std::min<size_t>({N - L + 1, target.size(), E.size()});
    std::copy_n(E.begin(), starts, target.begin());
}

void storePass(DetectionStudy& study, int pass, const std::vector<int32_t>& positions,
               const std::vector<int32_t>& energies)
{
    const size_t kept = std::min(positions.size(), static_cast<size_t>(study.wPulseCapacity));
    for (int j = pass; j < 3; ++j) {
        study.wDetectedCounts[j] = static_cast<uint16_t>(kept);
        std::vector<int32_t>& pos = study.lpDetectedPositions[j];
        std::vector<int32_t>& en = study.lpDetectedEnergies[j];
        std::fill(pos.begin(), pos.end(), 0);
        std::fill(en.begin(), en.end(), 0);
        std::copy_n(positions.begin(), std::min(kept, pos.size()), pos.begin());
        std::copy_n(energies.begin(), std::min(kept, en.size()), en.begin());
    }
}

void traceRegions(std::string& trace, const StartRegions& regions)
{
    static constexpr std::pair<int, const char*> order[] = {
        {omegaFirst, "Omega[-]:\t"},
        {omegaLater, "Omega[~]:\t"},
        {omegaAny, "Omega:\t\t"},
        {omegaFirstOnly, "Omega[-]\\[~]:\t"},
        {omegaFirstAndLater, "Omega[-]X[~]:\t"},
        {omegaLaterOnly, "Omega[~]\\[-]:\t"},
        {omegaLast, "Omega[+]:\t"},
    };
    for (auto [g, label] : order) {
        trace += label;
        if (const IntervalSet* set = regions.sets[g].get())
            for (int k = 0; k < set->wCount; ++k)
                appendFormat(trace, " [%d..%d]", set->lpStarts[k], set->lpEnds[k]);
        trace += "\n";
    }
}

}  // namespace

DetectionStudyPtr getDetectionStudy(const synthesis::SeriesHeader& series, DetectionStudyPtr study)
{
    const uint16_t pulses = std::max<uint16_t>(series.wMaxPulses, 1);
    const uint32_t N = series.dwSeriesSize;
    try {
        if (!study || study->wPulseCapacity < pulses || study->dwCapacity < N) {
            study.reset();
            study = std::make_unique<DetectionStudy>();
            study->wPulseCapacity = pulses;
            study->dwCapacity = N;
        }
        DetectionStudy& d = *study;
        auto clear = [](std::vector<int32_t>& v, size_t n) { v.assign(n, 0); };
        clear(d.lpTruePositions, d.wPulseCapacity);
        for (int j = 0; j < 3; ++j) {
            clear(d.lpDetectedPositions[j], d.wPulseCapacity);
            clear(d.lpDetectedEnergies[j], d.wPulseCapacity);
        }
        for (int g = 0; g < omegaSetCount; ++g) {
            clear(d.lpIntervalStarts[g], d.wPulseCapacity);
            clear(d.lpIntervalEnds[g], d.wPulseCapacity);
        }
        clear(d.lpEnergies, d.dwCapacity);
        clear(d.lpReducedEnergies, d.dwCapacity);
        d.lpSpare.assign(d.dwCapacity, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    DetectionStudy& d = *study;
    d.dwSeriesSize = N;
    d.wTruePulses = series.wImpulseQuantity;
    d.wMinPulses = series.wMinPulses;
    d.wMaxPulses = series.wMaxPulses;
    d.wImpulseSize = series.wImpulseSize;
    d.wIntervalCounts.fill(0);
    d.wDetectedCounts.fill(0);
    d.lPasses = d.lMeanWindowEnergy = d.lFirstNoiseThreshold = d.lLastNoiseThreshold = 0;
    d.lDetectionThreshold = d.lExpectedNoiseEnergy = 0;
    d.chiSquarePoints.fill(0.0);
    const size_t truePulses =
        std::min({static_cast<size_t>(series.wImpulseQuantity), series.lpPositions.size(), d.lpTruePositions.size()});
    std::copy_n(series.lpPositions.begin(), truePulses, d.lpTruePositions.begin());
    return study;
}

void freeDetectionStudy(DetectionStudyPtr& study) { study.reset(); }

namespace {

// The opening lines of the trace: the noise level, the start regions, the
// method and the true pulses (the first 17 of them).
void traceSeriesFacts(std::string& trace, const synthesis::SeriesHeader& series, const StartRegions& regions,
                      uint16_t method, int passes)
{
    appendFormat(trace, "noise level: %d\n", static_cast<int>(series.wNoiseLevel));
    traceRegions(trace, regions);
    appendFormat(trace, "method: %d, passes %d\n", method, passes);
    appendFormat(trace, "pulses [%d]: ", series.wImpulseQuantity);
    const size_t truePulses = std::min<size_t>(series.wImpulseQuantity, series.lpPositions.size());
    for (size_t k = 0; k < truePulses; ++k) {
        if (k == 17) {
            trace += "...";
            break;
        }
        appendFormat(trace, " %d ", series.lpPositions[k]);
    }
    trace += "\n";
}

// The lines of one pass: its detections and their energies (the first 12,
// those at or under the next threshold marked), then its thresholds.
void tracePass(std::string& trace, const ThresholdDetection<int32_t>& r, int pass, int32_t variance)
{
    static constexpr const char* passNames[] = {"ini", "tent", "fin"};
    const ThresholdPass<int32_t>& p = r.passes[pass];
    const int32_t T = p.nextThreshold;
    appendFormat(trace, "[%d]", pass + 1);
    if (r.passes.size() > 1)
        trace += passNames[pass];
    appendFormat(trace, " detect[%d]: ", static_cast<int>(p.positions.size()));
    for (size_t k = 0; k < p.positions.size(); ++k) {
        if (k == 12) {
            trace += "...";
            break;
        }
        appendFormat(trace, " \t%5d ", p.positions[k]);
    }
    trace += "\n energies:\t";
    for (size_t k = 0; k < p.observedEnergies.size(); ++k) {
        if (k == 12) {
            trace += "...";
            break;
        }
        appendFormat(trace, " \t%d ", p.observedEnergies[k]);
        if (T >= p.observedEnergies[k])
            trace += "#";
    }
    trace += "\n";
    appendFormat(trace, "full series energy %d = %d + %d\n", r.full, p.detected, p.outside);
    appendFormat(trace, "noise threshold %d, ", p.noiseThreshold);
    appendFormat(trace, "noise energy %d [%d] ", p.noisePerPoint, variance);
    appendFormat(trace, "in %d points\n", static_cast<int>(p.pOut));
    appendFormat(trace, "detection threshold %d  ->  %d, %d, %d\n", T, p.meanWindow, p.fullPerPulse, p.meanDetected);
    if (p.hasRelict) {
        // Energy of the windows that touch no detected window: what the
        // additive model leaves to the noise.
        appendFormat(trace, "const threshold %d, ", p.relictMean);
        appendFormat(trace, "relict summary %d ", p.relict);
        appendFormat(trace, "in %d points\n", static_cast<int>(p.relictCount));
        trace += "\n";
    }
}

// The regions, energies, thresholds and passes of a detection, as the study
// panels read them.
void storeStudy(DetectionStudy& study, const StartRegions& regions, const ThresholdDetection<int32_t>& r, uint32_t N,
                int L)
{
    storeRegions(study, regions);
    storeEnergies(study.lpEnergies, r.windowEnergies, N, L);
    study.lPasses = static_cast<int32_t>(r.passes.size());
    study.lExpectedNoiseEnergy = r.expectedNoise;
    study.chiSquarePoints = r.fromNoiseLevel ? std::array<double, 2>{chiSquareUpperPoint, chiSquareLowerPoint}
                                             : std::array<double, 2>{0.0, 0.0};
    study.lFirstNoiseThreshold = r.passes.front().noiseThreshold;
    study.lMeanWindowEnergy = r.passes.front().meanWindow;
    // A pass fills its own entries and those of the passes after it.
    for (size_t pass = 0; pass < r.passes.size(); ++pass)
        storePass(study, static_cast<int>(pass), r.passes[pass].positions, r.passes[pass].energies);
    study.lLastNoiseThreshold = r.last().noiseThreshold;
    study.lDetectionThreshold = r.last().nextThreshold;
    storeEnergies(study.lpReducedEnergies, r.reducedEnergies, N, L);
}

int32_t detectUnfixedPulses(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, std::span<int32_t> chainOut,
                            DetectionStudy* study, synthesis::SeriesHeader& series)
{
    const uint16_t method = study ? study->wDetectionMethod : defaultDetectionMethod;
    const uint32_t N = usableSize(series);
    const int L = series.wImpulseSize;
    const int64_t sigma = series.wNoiseLevel;
    const int32_t variance = base::wrapTo32(sigma * sigma);

    const StartRegions regions = buildStartRegions(series, N, Tmin, Tmax);
    // A method index the system does not know runs as the primitive method
    // (T = 1, one pass) under its own number.
    const int32_t rule = method < kThresholdMethodCount ? method : kPrimitiveMethod;
    // Figures are of the positions the series can hold: a longer chain is
    // cut before the next threshold is taken from it.
    const ThresholdDetection<int32_t> r = detectByThreshold<int16_t, int32_t>(
        std::span<const int16_t>(series.lpSeriesData.data(), N), std::span<const int16_t>(series.lpPureData.data(), N),
        layoutOf(N, series, Tmin, Tmax), regionListsOf(regions), rule, sigma, series.lpFoundPositions.size());
    const int passes = static_cast<int>(r.passes.size());

    // The whole text first: memory running out while it grows leaves the
    // series and the study as they were.
    std::string trace;
    traceSeriesFacts(trace, series, regions, method, passes);
    for (int pass = 0; pass < passes; ++pass)
        tracePass(trace, r, pass, variance);

    if (study)
        storeStudy(*study, regions, r, N, L);
    // Each pass wrote its positions over the last one's: a shorter detection
    // leaves the entries after it as the longer one wrote them.
    for (const ThresholdPass<int32_t>& p : r.passes)
        writeFoundPositions(series, p.positions);
    std::copy_n(r.chainTotals.begin(), std::min<size_t>(N, chainOut.size()), chainOut.begin());

    sink.messageBox(trace, " study01_UnFixedPulseDetection ", base::MessageIcon::None);
    // No detection has no measure: 0 rather than a division by a count of 0.
    return measure(series, series.wImpulseSize,
                   std::span<const int16_t>(series.lpFoundPositions.data(), series.wFoundPulses));
}

int32_t chainSeries(uint16_t Tmin, uint16_t Tmax, synthesis::SeriesHeader& series)
{
    const uint32_t N = usableSize(series);
    const StartRegions regions = buildStartRegions(series, N, Tmin, Tmax);
    const ChainDetection<int32_t> chain = detectBestChain<int16_t, int32_t>(
        std::span<const int16_t>(series.lpSeriesData.data(), N), layoutOf(N, series, Tmin, Tmax),
        regionListsOf(regions), series.lpFoundPositions.size());
    writeFoundPositions(series, chain.positions);
    return chain.total;
}

}  // namespace

// Memory for the texts and small vectors of a run is part of the work memory:
// running out of it anywhere ends the run with the work-memory message.
int32_t study01_UnFixedPulseDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax,
                                      std::span<int32_t> chainOut, DetectionStudy* study,
                                      synthesis::SeriesHeader& series)
{
    try {
        return detectUnfixedPulses(sink, Tmin, Tmax, chainOut, study, series);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для indexes!", "", base::MessageIcon::None);
        return 0;
    }
}

int32_t processSeriesChains(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, synthesis::SeriesHeader& series)
{
    try {
        return chainSeries(Tmin, Tmax, series);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для indexes!", "", base::MessageIcon::None);
        return 0;
    }
}

}  // namespace detection
