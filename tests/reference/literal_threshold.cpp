// Unfixed-case detection as it was first written over the series records:
// the window energies, the threshold passes and the trace formed in place,
// the additive model's clear windows marked window by window. The reference
// the span core and its record adapter must match to the last byte; built
// only into the tests and the benchmarks.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <string>

#include "detection/chain_programme.h"
#include "detection/fixed_case_criteria.h"
#include "base/formatted_text.h"
#include "base/wrapping.h"
#include "tests/reference/literal_threshold.h"

namespace literal {

namespace {

using base::appendFormat;
using base::wrapAdd;
using base::wrapSub;

// Thresholds and averages are formed in 64 bits and kept in the 32-bit
// range: a noise level so large that sigma^2 L 30144 leaves it gives the
// largest threshold instead of a wrapped, negative one.
int32_t saturate(int64_t v)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// (count + 2 sum) div (2 count): sum / count rounded half up; 0 for no count.
int32_t roundedMean(int64_t sum, int64_t count) { return count > 0 ? saturate((count + 2 * sum) / (2 * count)) : 0; }

// Chi-square threshold from the noise level: the expected window energy of
// pure noise, scaled by the upper 95 % point.
int32_t thresholdFromNoiseLevel(int64_t sigma, int64_t L)
{
    if (sigma <= 0)
        return 1;
    // A one-sample pulse has no degree of freedom left; it is taken as one.
    const int64_t freedom = std::max<int64_t>(L - 1, 1);
    const int64_t t = saturate((freedom + 2 * sigma * sigma * L) / (2 * freedom));
    return saturate(t * 30144 / 1000);
}

// Chi-square threshold from the energy outside the detected windows, spread
// over the Pout samples outside them.
int32_t thresholdFromOutsideEnergy(int64_t outside, int64_t pOut, int64_t L)
{
    const int64_t P = std::max<int64_t>((L - 1) * pOut, 1);
    const int64_t t = saturate((P + 2 * L * outside) / (2 * P));
    return saturate(t * 30144 / 1000);
}

// Prefix sums of the per-sample energy contributions, wrapping at 32 bits
// like the window sums they stand for.
struct EnergyPrefix {
    std::vector<uint32_t> sum;
    int32_t window(int32_t p, int L) const { return static_cast<int32_t>(sum[p + L] - sum[p]); }
    int32_t total() const { return static_cast<int32_t>(sum.back()); }
};

struct DetectionWork {
    detection::ChainTables tables;
    EnergyPrefix energy;    // by the method's rule
    EnergyPrefix observed;  // squares of the observed samples
};

bool allocateWork(DetectionWork& w, uint32_t N)
{
    if (!detection::allocateChainTables(w.tables, N))
        return false;
    try {
        w.energy.sum.assign(N + 1, 0);
        w.observed.sum.assign(N + 1, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The samples detection may read: never more than the series holds.
uint32_t usableSize(const synthesis::SeriesHeader& s)
{
    return static_cast<uint32_t>(std::min<size_t>({s.dwSeriesSize, s.lpSeriesData.size(), s.lpPureData.size()}));
}

void fillPrefixes(DetectionWork& w, const synthesis::SeriesHeader& s, uint32_t N, bool fromPureSamples)
{
    const uint32_t variance = static_cast<uint32_t>(s.wNoiseLevel) * s.wNoiseLevel;
    for (uint32_t i = 0; i < N; ++i) {
        const int32_t x = s.lpSeriesData[i];
        const uint32_t observed = static_cast<uint32_t>(x * x);
        const int32_t pure = s.lpPureData[i];
        const uint32_t contribution = fromPureSamples ? variance + static_cast<uint32_t>(pure * pure) : observed;
        w.observed.sum[i + 1] = w.observed.sum[i] + observed;
        w.energy.sum[i + 1] = w.energy.sum[i] + contribution;
    }
}

void writeFoundPositions(synthesis::SeriesHeader& s, const std::vector<int32_t>& positions)
{
    for (size_t k = 0; k < positions.size(); ++k)
        s.lpFoundPositions[k] = static_cast<int16_t>(positions[k]);
    s.wFoundPulses = static_cast<uint16_t>(positions.size());
}

void storeRegions(detection::DetectionStudy& study, const detection::StartRegions& regions)
{
    for (int g = 0; g < detection::omegaSetCount; ++g) {
        const detection::IntervalSet* set = regions.sets[g].get();
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
    const size_t starts = std::min<size_t>(N - L + 1, target.size());
    std::copy_n(E.begin(), starts, target.begin());
}

void storePass(detection::DetectionStudy& study, int pass, const std::vector<int32_t>& positions,
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

void traceRegions(std::string& trace, const detection::StartRegions& regions)
{
    static constexpr std::pair<int, const char*> order[] = {
        {detection::omegaFirst, "Omega[-]:\t"},
        {detection::omegaLater, "Omega[~]:\t"},
        {detection::omegaAny, "Omega:\t\t"},
        {detection::omegaFirstOnly, "Omega[-]\\[~]:\t"},
        {detection::omegaFirstAndLater, "Omega[-]X[~]:\t"},
        {detection::omegaLaterOnly, "Omega[~]\\[-]:\t"},
        {detection::omegaLast, "Omega[+]:\t"},
    };
    for (auto [g, label] : order) {
        trace += label;
        if (const detection::IntervalSet* set = regions.sets[g].get())
            for (int k = 0; k < set->wCount; ++k)
                appendFormat(trace, " [%d..%d]", set->lpStarts[k], set->lpEnds[k]);
        trace += "\n";
    }
}

}  // namespace

namespace {

int32_t detectUnfixedPulses(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, std::span<int32_t> chainOut,
                            detection::DetectionStudy* study, synthesis::SeriesHeader& series)
{
    const uint16_t method = study ? study->wDetectionMethod : detection::defaultDetectionMethod;
    const uint32_t N = usableSize(series);
    const int L = series.wImpulseSize;
    const int64_t sigma = series.wNoiseLevel;
    const int32_t variance = static_cast<int32_t>(static_cast<uint32_t>(sigma * sigma));

    DetectionWork work;
    if (!allocateWork(work, N)) {
        sink.messageBox("Нет памяти для indexes!", "", base::MessageIcon::None);
        return 0;
    }
    detection::ChainTables& t = work.tables;
    std::vector<int32_t>& E = t.E;

    const detection::StartRegions regions = detection::buildStartRegions(series, N, Tmin, Tmax);
    fillPrefixes(work, series, N, method == detection::kAdditiveModel);
    detection::forEachStart(regions.sets[detection::omegaAny].get(),
                            [&](int32_t p) { E[p] = work.energy.window(p, L); });
    const int32_t F = work.energy.total();

    if (study) {
        storeRegions(*study, regions);
        storeEnergies(study->lpEnergies, E, N, L);
    }

    int32_t T = 1;
    int passes = 1;
    bool fromNoiseLevel = false;
    switch (method) {
    case detection::kChiSquareKnownDispersion:
    case detection::kThresholdKnownDispersion:
        T = thresholdFromNoiseLevel(sigma, L);
        fromNoiseLevel = true;
        break;
    case detection::kChiSquareUnknownDispersion:
    case detection::kFisherCriterion:
    case detection::kMeanWindowThreshold:
    case detection::kAdditiveModel:
        T = 0;
        passes = 3;
        break;
    default:
        break;
    }
    const int32_t expectedNoise = saturate(sigma * sigma * L);
    if (study) {
        study->lPasses = passes;
        study->lExpectedNoiseEnergy = expectedNoise;
        study->chiSquarePoints =
            fromNoiseLevel ? std::array<double, 2>{detection::chiSquareUpperPoint, detection::chiSquareLowerPoint}
                           : std::array<double, 2>{0.0, 0.0};
    }

    std::string trace;
    appendFormat(trace, "noise level: %d\n", static_cast<int>(sigma));
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

    static constexpr const char* passNames[] = {"ini", "tent", "fin"};
    const size_t maxCount = series.lpFoundPositions.size();
    std::vector<int32_t> positions, energies, observedEnergies;
    for (int pass = 0; pass < passes; ++pass) {
        if (method == detection::kThresholdKnownDispersion) {
            for (int32_t& e : E)
                if (e <= T)
                    e = 0;
        } else {
            for (int32_t& e : E)
                e = wrapSub(e, T);
        }
        runChainProgramme(regions, t, Tmin, Tmax);
        if (study)
            storeEnergies(study->lpReducedEnergies, E, N, L);
        if (method != detection::kThresholdKnownDispersion)
            for (int32_t& e : E)
                e = wrapAdd(e, T);

        detection::followBestChain(regions, t, maxCount, positions);
        writeFoundPositions(series, positions);
        std::copy_n(t.D.begin(), std::min<size_t>(N, chainOut.size()), chainOut.begin());

        const int64_t n = static_cast<int64_t>(positions.size());
        energies.clear();
        observedEnergies.clear();
        int32_t detected = 0;
        for (int32_t p : positions) {
            energies.push_back(work.energy.window(p, L));
            observedEnergies.push_back(work.observed.window(p, L));
            detected = wrapAdd(detected, energies.back());
        }
        const int32_t outside = wrapSub(F, detected);
        const int64_t pOut = std::max<int64_t>(1, static_cast<int64_t>(N) - n * L);
        const int32_t noisePerPoint = saturate((pOut + 2 * int64_t{outside}) / (2 * pOut));
        const int32_t noiseThreshold =
            passes == 1 ? expectedNoise : saturate((pOut + 2 * L * int64_t{outside}) / (2 * pOut));
        const int32_t meanWindow = N > 0 ? saturate((int64_t{N} + 2 * L * int64_t{F}) / (2 * int64_t{N})) : 0;
        const int32_t meanDetected = roundedMean(detected, n);
        const int32_t fullPerPulse = roundedMean(F, n);

        if (method == detection::kChiSquareUnknownDispersion || method == detection::kAdditiveModel)
            T = thresholdFromOutsideEnergy(outside, pOut, L);
        else if (method == detection::kFisherCriterion)
            T = 0;
        else if (method == detection::kMeanWindowThreshold)
            T = meanWindow;

        if (study) {
            if (pass == 0) {
                study->lFirstNoiseThreshold = noiseThreshold;
                study->lMeanWindowEnergy = meanWindow;
            }
            study->lLastNoiseThreshold = noiseThreshold;
            storePass(*study, pass, positions, energies);
            study->lDetectionThreshold = T;
        }

        appendFormat(trace, "[%d]", pass + 1);
        if (passes > 1)
            trace += passNames[pass];
        appendFormat(trace, " detect[%d]: ", static_cast<int>(n));
        for (size_t k = 0; k < positions.size(); ++k) {
            if (k == 12) {
                trace += "...";
                break;
            }
            appendFormat(trace, " \t%5d ", positions[k]);
        }
        trace += "\n energies:\t";
        for (size_t k = 0; k < observedEnergies.size(); ++k) {
            if (k == 12) {
                trace += "...";
                break;
            }
            appendFormat(trace, " \t%d ", observedEnergies[k]);
            if (T >= observedEnergies[k])
                trace += "#";
        }
        trace += "\n";
        appendFormat(trace, "full series energy %d = %d + %d\n", F, detected, outside);
        appendFormat(trace, "noise threshold %d, ", noiseThreshold);
        appendFormat(trace, "noise energy %d [%d] ", noisePerPoint, variance);
        appendFormat(trace, "in %d points\n", static_cast<int>(pOut));
        appendFormat(trace, "detection threshold %d  ->  %d, %d, %d\n", T, meanWindow, fullPerPulse, meanDetected);

        if (method == detection::kAdditiveModel && pass == 0) {
            // Energy of the windows that touch no detected window: what the
            // additive model leaves to the noise.
            std::vector<bool> touched(N, false);
            for (int32_t P : positions)
                for (int64_t q = std::max<int64_t>(int64_t{P} - L + 1, 0); q <= int64_t{P} + L - 1 && q < N; ++q)
                    touched[q] = true;
            int32_t relict = 0;
            int64_t count = 0;
            for (int64_t q = 1; q + L <= int64_t{N}; ++q) {
                if (!touched[q]) {
                    relict = wrapAdd(relict, E[q]);
                    ++count;
                }
            }
            count = std::max<int64_t>(count, 1);
            appendFormat(trace, "const threshold %d, ", roundedMean(relict, count));
            appendFormat(trace, "relict summary %d ", relict);
            appendFormat(trace, "in %d points\n", static_cast<int>(count));
            trace += "\n";
        }
    }

    sink.messageBox(trace, " study01_UnFixedPulseDetection ", base::MessageIcon::None);
    series.wFoundPulses = static_cast<uint16_t>(positions.size());
    // No detection has no measure: 0 rather than a division by a count of 0.
    return detection::measure(series, series.wImpulseSize,
                              std::span<const int16_t>(series.lpFoundPositions.data(), series.wFoundPulses));
}

int32_t chainSeries(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, synthesis::SeriesHeader& series)
{
    const uint32_t N = usableSize(series);
    const int L = series.wImpulseSize;
    DetectionWork work;
    if (!allocateWork(work, N)) {
        sink.messageBox("Нет памяти для indexes!", "", base::MessageIcon::None);
        return 0;
    }
    const detection::StartRegions regions = detection::buildStartRegions(series, N, Tmin, Tmax);
    fillPrefixes(work, series, N, false);
    detection::forEachStart(regions.sets[detection::omegaAny].get(),
                            [&](int32_t p) { work.tables.E[p] = work.energy.window(p, L); });
    runChainProgramme(regions, work.tables, Tmin, Tmax);
    std::vector<int32_t> positions;
    const int32_t best = detection::followBestChain(regions, work.tables, series.lpFoundPositions.size(), positions);
    writeFoundPositions(series, positions);
    return best;
}

}  // namespace

// Memory for the texts and small vectors of a run is part of the work memory:
// running out of it anywhere ends the run with the work-memory message.
int32_t study01_UnFixedPulseDetection(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax,
                                      std::span<int32_t> chainOut, detection::DetectionStudy* study,
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
        return chainSeries(sink, Tmin, Tmax, series);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для indexes!", "", base::MessageIcon::None);
        return 0;
    }
}

}  // namespace literal
