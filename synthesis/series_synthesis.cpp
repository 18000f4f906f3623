#include "synthesis/series_synthesis.h"

#include <algorithm>
#include <new>

#include "base/formatted_text.h"
#include "base/wrapping.h"

namespace synthesis {

namespace {

int16_t sampleOf(const PulseHeader& pulse, int j)
{
    return j < static_cast<int>(pulse.lpData.size()) ? pulse.lpData[j] : 0;
}

// Refuses parameters the formulas cannot take, with the reason.
bool checkParameters(base::MessageSink& sink, const char* caption, uint16_t L, uint16_t Tmin, uint16_t Tmax, uint32_t N)
{
    const std::string problem = seriesParameterProblem(L, Tmin, Tmax, N);
    if (problem.empty())
        return true;
    sink.messageBox("Несовместимые входные параметры!\n\n" + problem, caption, base::MessageIcon::Warning);
    return false;
}

struct Placement {
    std::span<const PulseHeader> alphabet;
    SeriesHeader& h;
    RandomStreams& streams;
    std::vector<int32_t>& partialEnergy;
    int L;
    int32_t savedEnergy;
};

// Places pulse k somewhere in [a, b], cut to a contiguous part that keeps at
// least the saved share of the etalon's energy.
int32_t placePulse(const Placement& s, int k, int32_t a, int32_t b)
{
    SeriesHeader& h = s.h;
    const int L = s.L;
    // With checked parameters and an admissible count the range is never
    // empty; the guard keeps a broken caller from dividing by zero.
    const int32_t width = b >= a ? b - a + 1 : 1;
    const int32_t P = a + ((nextRandom(s.streams.positionSeed) >> 2) % width);

    const PulseHeader& etalon = s.alphabet[h.lpEtalonSequence[k] - 1];
    std::vector<int32_t>& energy = s.partialEnergy;
    energy[0] = 0;
    for (int j = 0; j < L; ++j) {
        const int32_t v = sampleOf(etalon, j);
        energy[j + 1] = base::wrapAdd(energy[j], v * v);
    }
    const int32_t total = energy[L];
    const int32_t threshold = base::wrapMul(s.savedEnergy, total) / 100;

    int latest = L - 1;
    for (int m = 0; m < L; ++m) {
        if (base::wrapSub(total, energy[m + 1]) <= threshold) {
            latest = m;
            break;
        }
    }
    const int from = nextRandom(s.streams.cutStartSeed) % (latest + 1);
    int e = L - 1;
    while (e > from && base::wrapSub(energy[e], energy[from]) > threshold)
        --e;
    const int to = e + nextRandom(s.streams.cutEndSeed) % (L - e);

    for (int j = from; j <= to; ++j)
        h.lpPureData[P + j] = sampleOf(etalon, j);

    h.lpPositions[k] = static_cast<int16_t>(P);
    h.lpFoundPositions[k] = -1;
    h.lpCutFrom[k] = static_cast<int16_t>(from);
    h.lpCutTo[k] = static_cast<int16_t>(to);
    return P;
}

// Copies the fixed sub-sequence into the list from p on; returns the new p.
int copyFixed(const SeriesHeader& h, std::span<uint16_t> list, int p, int K)
{
    for (int i = 0; i < h.wFixedCount && p < K; ++i, ++p)
        list[p] = static_cast<uint16_t>(h.lpFixedSequence[i]);
    return p;
}

void imposeFixedSequence(const SeriesHeader& h, std::span<uint16_t> list, int K, RandomStreams& streams)
{
    if (h.wFixedCount == 0)
        return;
    // A start of 0 would write before the list: it counts as the first pulse.
    const int start = std::max<int>(h.wFixedStart, 1);
    int p = start - 1;
    const int span = K - start - h.wFixedCount + 2;
    switch (h.wFixedMode) {
    case 1:
        if (span > 0)
            p += (nextRandom(streams.firstFixedGapSeed) >> 1) % span;
        copyFixed(h, list, p, K);
        break;
    case 2:
        copyFixed(h, list, p, K);
        break;
    case 3:
        do {
            if (span > 0)
                p += (nextRandom(streams.secondFixedGapSeed) >> 1) % span;
            p = copyFixed(h, list, p, K);
        } while (p < K);
        break;
    case 4:
        do
            p = copyFixed(h, list, p, K);
        while (p < K);
        break;
    default:
        break;
    }
}

}  // namespace

uint16_t seriesMaxPulses(uint32_t N, uint16_t L, uint16_t Tmin) { return static_cast<uint16_t>((N + Tmin - L) / Tmin); }

uint16_t seriesMinPulses(uint32_t N, uint16_t L, uint16_t Tmax) { return static_cast<uint16_t>((N + L - 1) / Tmax); }

std::string seriesParameterProblem(uint16_t L, uint16_t Tmin, uint16_t Tmax, uint32_t N)
{
    if (Tmin == 0)
        return "The minimal interval wTmin is 0; it must be at least 1.\n";
    if (Tmin > Tmax)
        return base::formatText("The minimal interval wTmin (%d) is above the maximal interval wTmax (%d).\n", Tmin,
                                Tmax);
    if (L == 0)
        return "The pulse length wImpulseSize is 0; it must be at least 1.\n";
    if (L > Tmax)
        return base::formatText("The pulse length wImpulseSize (%d) is above the maximal interval wTmax (%d).\n", L,
                                Tmax);
    if (N > kMaxSeriesLength)
        return base::formatText("The series length dwSeriesSize (%u) is above %u.\n", N, kMaxSeriesLength);
    if (N < L)
        return base::formatText("The series length dwSeriesSize (%u) is below the pulse length wImpulseSize (%d).\n", N,
                                L);
    return {};
}

int32_t pulseLowBound(int32_t k, int32_t K, int32_t N, int32_t, int32_t Tmin, int32_t Tmax)
{
    return std::max(k * Tmin, N - Tmax * (K - k));
}

int32_t pulseHighBound(int32_t k, int32_t K, int32_t N, int32_t L, int32_t Tmin, int32_t Tmax)
{
    return std::min((k + 1) * Tmax - L, N - L - Tmin * (K - k - 1));
}

SeriesHeaderPtr getCutOffSeriesHeader(base::MessageSink& sink, uint16_t listSize, uint16_t L, uint16_t Tmin,
                                      uint16_t Tmax, uint32_t N, SeriesHeaderPtr header)
{
    if (!checkParameters(sink, " getCutOffSeriesHeader ", L, Tmin, Tmax, N))
        return header;
    const uint16_t maxK = seriesMaxPulses(N, L, Tmin);
    const uint16_t minK = seriesMinPulses(N, L, Tmax);

    if (!header) {
        try {
            header = std::make_unique<SeriesHeader>();
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newSeriesHeader!", " getCutOffSeriesHeader ", base::MessageIcon::None);
            return nullptr;
        }
    }
    SeriesHeader& h = *header;

    if (h.dwSeriesCapacity < N || h.wPulsesCapacity < maxK) {
        try {
            // A block that grows is made anew and zeroed whole.
            for (auto* samples : {&h.lpPureData, &h.lpSeriesData}) {
                samples->clear();
                samples->shrink_to_fit();
                samples->assign(N, 0);
            }
            for (auto* perPulse :
                 {&h.lpEtalonSequence, &h.lpReserved1, &h.lpPositions, &h.lpFoundPositions, &h.lpMinPositions,
                  &h.lpMaxPositions, &h.lpCutFrom, &h.lpCutTo, &h.lpReserved2, &h.lpReserved3, &h.lpFixedSequence}) {
                perPulse->clear();
                perPulse->shrink_to_fit();
                perPulse->assign(maxK, 0);
            }
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newSeriesHeader->lpPureData!", " getExtSeriesHeader ",
                            base::MessageIcon::None);
            return nullptr;
        }
        h.dwSeriesCapacity = N;
        h.wPulsesCapacity = maxK;
    }

    if (h.wPulsesListCapacity < listSize) {
        try {
            h.lpPulsesList.clear();
            h.lpPulsesList.shrink_to_fit();
            h.lpPulsesList.assign(listSize, nullptr);
        } catch (const std::bad_alloc&) {
            sink.messageBox("Нет памяти для newSeriesHeader->lpPulsesList!", " getExtSeriesHeader ",
                            base::MessageIcon::None);
            return nullptr;
        }
        h.wPulsesListCapacity = listSize;
    }

    h.wPulsesListSize = listSize;
    h.dwSeriesSize = N;
    h.wMaxPulses = maxK;
    h.wMinPulses = minK;
    h.wTmin = Tmin;
    h.wTmax = Tmax;
    std::fill(h.lpPulsesList.begin(), h.lpPulsesList.end(), nullptr);
    return header;
}

namespace {

// Tells `sink` why a series of K pulses cannot be made, if it cannot: a
// count outside minK..maxK, or less than the caller must provide so that
// nothing is read or written out of bounds (an alphabet, a list entry per
// pulse and a header made for N). True then.
bool seriesRefused(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L, uint32_t N, uint16_t K,
                   uint16_t minK, uint16_t maxK, std::span<uint16_t> etalonList, const SeriesHeader& h)
{
    if (K < minK || K > maxK) {
        const std::string text =
            std::string("Несовместимые входные параметры!\n") + "\n" +
            base::formatText("dwSeriesSize: %d [%d]\n", static_cast<int>(N), static_cast<int>(h.dwSeriesSize)) +
            base::formatText("wImpulseSize: %d [%d]\n", L, h.wImpulseSize) +
            base::formatText("wMinPulses: %d [%d]\n", minK, h.wMinPulses) +
            base::formatText("wMaxPulses: %d [%d]\n", maxK, h.wMaxPulses) +
            base::formatText("wImpulseQuantity: %d\n", K) + "\n";
        sink.messageBox(text, " makeExtSeries ", base::MessageIcon::Warning);
        return true;
    }
    std::string problem;
    if (alphabet.empty())
        problem = "The alphabet is empty.\n";
    else if (etalonList.size() < K)
        problem = base::formatText("The etalon sequence holds %d entries, fewer than the %d pulses.\n",
                                   static_cast<int>(etalonList.size()), K);
    else if (h.dwSeriesCapacity < N || h.wPulsesCapacity < maxK || h.lpPulsesList.size() < alphabet.size())
        problem = "The series record was not made for this series length.\n";
    if (!problem.empty()) {
        sink.messageBox("Несовместимые входные параметры!\n\n" + problem, " makeExtSeries ",
                        base::MessageIcon::Warning);
        return true;
    }
    return false;
}

// The etalon of each of the K pulses, from the list, or drawn from the
// count stream where the list names none of the alphabet; every pulse is
// cut whole.
void chooseEtalons(std::span<const PulseHeader> alphabet, uint16_t L, uint16_t K, std::span<uint16_t> etalonList,
                   SeriesHeader& h, RandomStreams& streams)
{
    const int alphabetSize = static_cast<int>(alphabet.size());
    for (int k = 0; k < K; ++k) {
        int number = etalonList[k];
        if (number < 1 || number > alphabetSize)
            number = ((nextRandom(streams.countSeed) >> 2) % alphabetSize) + 1;
        h.lpEtalonSequence[k] = static_cast<int16_t>(number);
        h.lpReserved1[k] = h.lpReserved2[k] = h.lpReserved3[k] = 0;
        h.lpCutFrom[k] = 0;
        h.lpCutTo[k] = static_cast<int16_t>(L - 1);
    }

    h.wPulsesListSize = static_cast<uint16_t>(alphabetSize);
    for (int i = 0; i < alphabetSize; ++i)
        h.lpPulsesList[i] = &alphabet[i];
}

// Places the K pulses within their bounds, Tmin to Tmax apart: a pulse drawn
// from the position stream first, then those after it, then those before.
void placePulses(const Placement& placement, uint16_t Tmin, uint16_t Tmax, uint32_t N, uint16_t K)
{
    SeriesHeader& h = placement.h;
    const int L = placement.L;
    const int32_t n = static_cast<int32_t>(N);
    for (int k = 0; k < K; ++k) {
        h.lpMinPositions[k] = static_cast<int16_t>(pulseLowBound(k, K, n, L, Tmin, Tmax));
        h.lpMaxPositions[k] = static_cast<int16_t>(pulseHighBound(k, K, n, L, Tmin, Tmax));
    }
    const int k0 = (nextRandom(placement.streams.positionSeed) >> 2) % K;
    int32_t P = placePulse(placement, k0, h.lpMinPositions[k0], h.lpMaxPositions[k0]);
    const int32_t firstP = P;
    for (int k = k0 + 1; k < K; ++k)
        P = placePulse(placement, k, std::max<int32_t>(h.lpMinPositions[k], P + Tmin),
                       std::min<int32_t>(h.lpMaxPositions[k], P + Tmax));
    P = firstP;
    for (int k = k0 - 1; k >= 0; --k)
        P = placePulse(placement, k, std::max<int32_t>(h.lpMinPositions[k], P - Tmax),
                       std::min<int32_t>(h.lpMaxPositions[k], P - Tmin));
}

}  // namespace

int makeExtSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L, uint16_t Tmin,
                  uint16_t Tmax, uint32_t N, uint16_t K, std::span<uint16_t> etalonList, int16_t amplitude,
                  uint16_t savedEnergy, SeriesHeader& h, RandomStreams& streams)
{
    if (!checkParameters(sink, " makeExtSeries ", L, Tmin, Tmax, N))
        return 0;
    const uint16_t maxK = seriesMaxPulses(N, L, Tmin);
    // A count of 0 would leave nothing to place; the least count is 1.
    const uint16_t minK = std::max<uint16_t>(seriesMinPulses(N, L, Tmax), 1);

    if (seriesRefused(sink, alphabet, L, N, K, minK, maxK, etalonList, h))
        return 0;

    h.dwSeriesSize = N;
    h.wMaxPulses = maxK;
    h.wMinPulses = minK;
    h.wNoiseLevel = 0;
    h.wAmplitude = static_cast<uint16_t>(amplitude);
    h.wCutFrom = 0;
    h.wCutTo = static_cast<int16_t>(L - 1);

    imposeFixedSequence(h, etalonList, K, streams);

    chooseEtalons(alphabet, L, K, etalonList, h, streams);

    std::fill_n(h.lpPureData.begin(), N, int16_t{0});

    std::vector<int32_t> partialEnergy;
    try {
        partialEnergy.assign(L + 1u, 0);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для PartialEnergy!", "", base::MessageIcon::None);
        return 0;
    }

    placePulses(Placement{alphabet, h, streams, partialEnergy, L, savedEnergy}, Tmin, Tmax, N, K);

    h.wTmin = Tmin;
    h.wTmax = Tmax;
    h.wImpulseSize = L;
    h.wImpulseQuantity = K;
    std::copy_n(h.lpPureData.begin(), N, h.lpSeriesData.begin());
    h.lpFirstEtalon = h.lpPulsesList[h.lpEtalonSequence[0] - 1];
    return 1;
}

SeriesHeaderPtr getCutOffSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L,
                                uint16_t Tmin, uint16_t Tmax, uint32_t N, uint16_t K, std::span<uint16_t> etalonList,
                                int16_t amplitude, uint16_t savedEnergy, SeriesHeaderPtr header, RandomStreams& streams,
                                bool* made)
{
    if (made)
        *made = false;
    if (!checkParameters(sink, " getCutOffSeries ", L, Tmin, Tmax, N))
        return header;
    header = getCutOffSeriesHeader(sink, static_cast<uint16_t>(alphabet.size()), L, Tmin, Tmax, N, std::move(header));
    if (!header) {
        sink.messageBox("Не могу выделить память для lpSeriesHeader!", " getCutOffSeries ", base::MessageIcon::Warning);
        return nullptr;
    }
    if (header->wMinPulses == 0)
        header->wMinPulses = 1;
    const int ok =
        makeExtSeries(sink, alphabet, L, Tmin, Tmax, N, K, etalonList, amplitude, savedEnergy, *header, streams);
    if (made)
        *made = ok != 0;
    return header;
}

SeriesHeaderPtr getRandomCountSeries(base::MessageSink& sink, std::span<const PulseHeader> alphabet, uint16_t L,
                                     uint16_t Tmin, uint16_t Tmax, uint32_t N, std::span<uint16_t> etalonList,
                                     int16_t amplitude, uint16_t savedEnergy, SeriesHeaderPtr header,
                                     RandomStreams& streams, bool* made)
{
    if (made)
        *made = false;
    if (!checkParameters(sink, " getRandomCountSeries ", L, Tmin, Tmax, N))
        return header;
    const uint16_t maxK = seriesMaxPulses(N, L, Tmin);
    const uint16_t minK = std::max<uint16_t>(seriesMinPulses(N, L, Tmax), 1);
    if (maxK < minK)
        return nullptr;
    const uint16_t K = static_cast<uint16_t>(minK + ((nextRandom(streams.countSeed) >> 2) % (maxK - minK + 1)));
    return getCutOffSeries(sink, alphabet, L, Tmin, Tmax, N, K, etalonList, amplitude, savedEnergy, std::move(header),
                           streams, made);
}

void addNoise(int16_t noiseLevel, int16_t, SeriesHeader* header, int32_t& noiseSeed)
{
    if (!header)
        return;
    SeriesHeader& h = *header;
    for (uint32_t i = 0; i < h.dwSeriesSize; ++i)
        h.lpSeriesData[i] = static_cast<int16_t>(h.lpPureData[i] + gaussRandom(noiseSeed, 0, noiseLevel));
    h.wNoiseLevel = static_cast<uint16_t>(noiseLevel);
}

int setFixedSequence(std::span<const int32_t> list, uint16_t count, uint16_t mode, uint16_t start, SeriesHeader* header)
{
    if (!header)
        return 1;
    SeriesHeader& h = *header;
    const size_t limit = std::min(
        {static_cast<size_t>(count), list.size(), static_cast<size_t>(h.wMaxPulses), h.lpFixedSequence.size()});
    for (size_t i = 0; i < limit; ++i)
        h.lpFixedSequence[i] = static_cast<int16_t>(list[i]);
    // Only what was stored counts: entries past it would impose a stale
    // sub-sequence on the next series.
    h.wFixedCount = static_cast<uint16_t>(limit);
    h.wFixedMode = mode;
    h.wFixedStart = start;
    return 1;
}

std::vector<uint16_t> getRequiredList(base::MessageSink& sink, uint16_t n)
{
    std::vector<uint16_t> list;
    try {
        list.resize(n);
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для newList!", " getRequiredList ", base::MessageIcon::None);
        return {};
    }
    for (uint16_t i = 0; i < n; ++i)
        list[i] = static_cast<uint16_t>(i + 1);
    return list;
}

}  // namespace synthesis
