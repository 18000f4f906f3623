#include "detection/threshold_detection.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "base/wrapping.h"

namespace detection {

namespace {

__extension__ typedef __int128 Wide;

// The system's figures wrap at 32 bits and treat the empty cell as a value;
// the user-data figures do neither.
template <class Score>
constexpr bool kRecordFigures = std::is_same_v<Score, int32_t>;

constexpr const char* kOverflow = "threshold detection: the energies of the series do not fit 64 bits";
constexpr const char* kChainOverflow = "threshold detection: the chain totals of the series do not fit 64 bits";

// The largest noise level whose square fits 64 bits.
constexpr int64_t kMostSigma = 3037000499;

template <class Score>
Score held(Wide v)
{
    return static_cast<Score>(
        std::clamp<Wide>(v, std::numeric_limits<Score>::min(), std::numeric_limits<Score>::max()));
}

// (count + 2 sum) div (2 count): sum / count rounded half up; 0 for no count.
template <class Score>
Score rounded(Wide sum, Wide count)
{
    return count > 0 ? held<Score>((count + 2 * sum) / (2 * count)) : Score{0};
}

template <class Score>
Score plus(Score a, Score b)
{
    if constexpr (kRecordFigures<Score>) {
        return base::wrapAdd(a, b);
    } else {
        Score s;
        if (__builtin_add_overflow(a, b, &s))
            throw std::overflow_error(kOverflow);
        return s;
    }
}

template <class Score>
Score minus(Score a, Score b)
{
    if constexpr (kRecordFigures<Score>) {
        return base::wrapSub(a, b);
    } else {
        Score s;
        if (__builtin_sub_overflow(a, b, &s))
            throw std::overflow_error(kOverflow);
        return s;
    }
}

template <class Score, class Sample>
Score squareOf(Sample v)
{
    if constexpr (kRecordFigures<Score>) {
        return base::wrapSquare(static_cast<int32_t>(v));
    } else {
        Score s;
        if (__builtin_mul_overflow(static_cast<Score>(v), static_cast<Score>(v), &s))
            throw std::overflow_error(kOverflow);
        return s;
    }
}

// Chi-square threshold from the noise level: the expected window energy of
// pure noise, scaled by the upper 95 % point.
template <class Score>
Score thresholdFromNoiseLevel(int64_t sigma, int64_t L)
{
    if (sigma <= 0)
        return 1;
    // A one-sample pulse has no degree of freedom left; it is taken as one.
    const Wide freedom = std::max<int64_t>(L - 1, 1);
    const Score t = held<Score>((freedom + 2 * Wide{sigma} * sigma * L) / (2 * freedom));
    return held<Score>(Wide{t} * 30144 / 1000);
}

// Chi-square threshold from the energy outside the detected windows, spread
// over the pOut samples outside them.
template <class Score>
Score thresholdFromOutsideEnergy(Score outside, int64_t pOut, int64_t L)
{
    const Wide P = std::max<Wide>(Wide{L - 1} * pOut, 1);
    const Score t = held<Score>((P + 2 * Wide{L} * outside) / (2 * P));
    return held<Score>(Wide{t} * 30144 / 1000);
}

// Prefix sums of the per-sample energy contributions; a window is the
// difference of two of them (wrapping like the window sum for the system's
// figures).
template <class Score>
struct EnergyPrefix {
    std::vector<Score> sum;
    Score window(int64_t p, int32_t L) const
    {
        return ScoreArithmetic<Score>::sub(sum[static_cast<size_t>(p + L)], sum[static_cast<size_t>(p)]);
    }
    Score total() const { return sum.back(); }
};

template <class Score, class Sample>
EnergyPrefix<Score> observedPrefix(std::span<const Sample> x)
{
    EnergyPrefix<Score> e;
    e.sum.assign(x.size() + 1, Score{0});
    for (size_t i = 0; i < x.size(); ++i)
        e.sum[i + 1] = plus<Score>(e.sum[i], squareOf<Score>(x[i]));
    return e;
}

// The additive model: the noise-free sample's square plus the noise variance.
template <class Score, class Sample>
EnergyPrefix<Score> additivePrefix(std::span<const Sample> pure, int64_t sigma)
{
    Score variance;
    if constexpr (kRecordFigures<Score>)
        variance = base::wrapTo32(sigma * sigma);
    else
        variance = sigma * sigma;
    EnergyPrefix<Score> e;
    e.sum.assign(pure.size() + 1, Score{0});
    for (size_t i = 0; i < pure.size(); ++i)
        e.sum[i + 1] = plus<Score>(e.sum[i], plus<Score>(variance, squareOf<Score>(pure[i])));
    return e;
}

// The list with every start past `lastStart` left out; refuses a list out of
// order.
StartIntervals cut(const StartIntervals& list, int64_t lastStart)
{
    StartIntervals out;
    int64_t previousEnd = -1;
    for (const StartInterval& iv : list) {
        if (iv.lo > iv.hi || iv.lo <= previousEnd)
            throw std::invalid_argument("threshold detection: a start list is out of order");
        previousEnd = iv.hi;
        const int64_t hi = std::min<int64_t>(iv.hi, lastStart);
        if (iv.lo <= hi)
            out.push_back({iv.lo, static_cast<int32_t>(hi)});
    }
    return out;
}

void checkInputs(size_t samples, const PulseLayout& layout, int32_t method, int64_t sigma)
{
    if (method < kPrimitiveMethod || method >= kThresholdMethodCount)
        throw std::invalid_argument("threshold detection: the method must be 0..6");
    if (layout.N < 0 || layout.N > std::numeric_limits<int32_t>::max() || static_cast<uint64_t>(layout.N) != samples)
        throw std::invalid_argument(
            "threshold detection: the layout's N must be the number of samples, "
            "at most INT32_MAX");
    if (layout.L < 0 || layout.Tmin < 0 || layout.Tmax < 0)
        throw std::invalid_argument("threshold detection: L, Tmin and Tmax must not be negative");
    if (sigma < 0 || sigma > kMostSigma)
        throw std::invalid_argument("threshold detection: the noise level must be 0..3037000499");
}

// The regions cut to the starts whose windows lie in the series (and in the
// tables, for L = 0).
StartRegionLists regionsInside(const StartRegionLists& r, const PulseLayout& layout)
{
    const int64_t lastStart = std::min(layout.N - layout.L, layout.N - 1);
    StartRegionLists out;
    out.first = cut(r.first, lastStart);
    out.later = cut(r.later, lastStart);
    out.last = cut(r.last, lastStart);
    out.any = cut(r.any, lastStart);
    out.firstOnly = cut(r.firstOnly, lastStart);
    out.firstAndLater = cut(r.firstAndLater, lastStart);
    out.laterOnly = cut(r.laterOnly, lastStart);
    return out;
}

// E: the window energy at every start of Omega, the empty cell elsewhere.
template <class Score>
std::vector<Score> energiesOverOmega(const EnergyPrefix<Score>& energy, const StartRegionLists& regions, int64_t N,
                                     int32_t L)
{
    std::vector<Score> E(static_cast<size_t>(N), chainEmptyCell<Score>);
    for (const StartInterval& iv : regions.any)
        for (int64_t p = iv.lo; p <= iv.hi; ++p)
            E[static_cast<size_t>(p)] = energy.window(p, L);
    return E;
}

// The user-data path refuses scores whose chains could leave 64 bits. No
// chain holds two starts closer than max(Tmin, 1), so no total (nor any D on
// the way to it) exceeds the sum, over blocks of that many cells, of each
// block's greatest positive score.
template <class Score>
void checkChainTotals(const std::vector<Score>& R, int32_t Tmin)
{
    if constexpr (!kRecordFigures<Score>) {
        const size_t block = static_cast<size_t>(std::max(Tmin, 1));
        Wide bound = 0;
        for (size_t from = 0; from < R.size(); from += block) {
            const size_t to = std::min(R.size(), from + block);
            bound += std::max<Score>(*std::max_element(R.begin() + from, R.begin() + to), 0);
        }
        if (bound > std::numeric_limits<Score>::max())
            throw std::overflow_error(kChainOverflow);
    }
}

// R = E reduced by T by the method's rule.
template <class Score>
void reduce(const std::vector<Score>& E, Score T, bool cutAtThreshold, std::vector<Score>& R)
{
    for (size_t c = 0; c < E.size(); ++c) {
        const Score e = E[c];
        if constexpr (!kRecordFigures<Score>) {
            if (e == chainEmptyCell<Score>) {
                R[c] = e;
                continue;
            }
        }
        if (cutAtThreshold)
            R[c] = e <= T ? Score{0} : e;
        else
            R[c] = minus<Score>(e, T);
    }
}

template <class Score>
void relictOf(const std::vector<Score>& E, const EnergyPrefix<Score>& energy, int64_t N, int32_t L,
              ThresholdPass<Score>& pass)
{
    // Windows that overlap a detected one: P - L + 1 .. P + L - 1, marked
    // by their ends and summed up in one sweep.
    std::vector<int32_t> marks(static_cast<size_t>(N) + 1, 0);
    for (const int32_t P : pass.positions) {
        const int64_t lo = std::max<int64_t>(int64_t{P} - L + 1, 0), hi = std::min<int64_t>(int64_t{P} + L - 1, N - 1);
        if (lo <= hi) {
            ++marks[static_cast<size_t>(lo)];
            --marks[static_cast<size_t>(hi + 1)];
        }
    }
    Score relict{0};
    Wide wide = 0;
    int64_t count = 0, overlapping = marks[0];
    // From start 1 on: start 0 takes no part in the relict figure.
    for (int64_t q = 1; q + L <= N && q < N; ++q) {
        overlapping += marks[static_cast<size_t>(q)];
        if (overlapping == 0) {
            if constexpr (kRecordFigures<Score>)
                relict = plus<Score>(relict, E[static_cast<size_t>(q)]);
            else
                wide += energy.window(q, L);
            ++count;
        }
    }
    if constexpr (!kRecordFigures<Score>)
        relict = held<Score>(wide);
    pass.hasRelict = true;
    pass.relict = relict;
    pass.relictCount = std::max<int64_t>(count, 1);
    pass.relictMean = rounded<Score>(pass.relict, pass.relictCount);
}

template <class Sample, class Score>
ThresholdDetection<Score> detect(std::span<const Sample> x, std::span<const Sample> pure, const PulseLayout& layout,
                                 StartRegionLists regions, int32_t method, int64_t sigma, size_t keep, WorkMeter* meter)
{
    const int64_t N = layout.N;
    const int32_t L = layout.L;
    const bool additive = method == kAdditiveModel;
    if (additive && pure.size() != x.size())
        throw std::invalid_argument("threshold detection: the additive model needs the N noise-free samples");

    ThresholdDetection<Score> r;
    r.regions = std::move(regions);
    r.method = method;
    const EnergyPrefix<Score> observed = observedPrefix<Score>(x);
    EnergyPrefix<Score> additiveEnergy;
    if (additive)
        additiveEnergy = additivePrefix<Score>(pure, sigma);
    const EnergyPrefix<Score>& energy = additive ? additiveEnergy : observed;
    r.windowEnergies = energiesOverOmega(energy, r.regions, N, L);
    r.full = energy.total();
    if (meter && !meter->advance(2 * static_cast<uint64_t>(N)))
        return r;

    Score T = 1;
    int passes = 1;
    switch (method) {
    case kChiSquareKnownDispersion:
    case kThresholdKnownDispersion:
        T = thresholdFromNoiseLevel<Score>(sigma, L);
        r.fromNoiseLevel = true;
        break;
    case kChiSquareUnknownDispersion:
    case kFisherCriterion:
    case kMeanWindowThreshold:
    case kAdditiveModel:
        T = 0;
        passes = 3;
        break;
    default:
        break;
    }
    r.expectedNoise = held<Score>(Wide{sigma} * sigma * L);
    const Score F = r.full;
    const Score meanWindow = N > 0 ? rounded<Score>(Wide{L} * F, N) : Score{0};

    r.reducedEnergies.resize(static_cast<size_t>(N));
    r.chainTotals.resize(static_cast<size_t>(N));
    std::vector<int32_t> B(static_cast<size_t>(N));
    const ChainRegions lists = r.regions.chainRegions();
    for (int pass = 0; pass < passes; ++pass) {
        ThresholdPass<Score>& p = r.passes.emplace_back();
        p.threshold = T;
        reduce(r.windowEnergies, T, method == kThresholdKnownDispersion, r.reducedEnergies);
        checkChainTotals(r.reducedEnergies, layout.Tmin);
        if (meter && !meter->advance(2 * static_cast<uint64_t>(N)))
            return r;
        runChainProgramme<Score>(r.reducedEnergies, lists, layout.Tmin, layout.Tmax, r.chainTotals, B, meter);
        if (meter && meter->stopped())
            return r;
        p.chainTotal = followBestChain<Score>(lists, r.chainTotals, B, p.positions);
        if (p.positions.size() > keep)
            p.positions.resize(keep);

        const int64_t n = static_cast<int64_t>(p.positions.size());
        Score detected{0};
        for (const int32_t at : p.positions) {
            p.energies.push_back(energy.window(at, L));
            p.observedEnergies.push_back(observed.window(at, L));
            detected = plus<Score>(detected, p.energies.back());
        }
        p.detected = detected;
        p.outside = minus<Score>(F, detected);
        p.pOut = std::max<int64_t>(1, N - n * L);
        p.noisePerPoint = rounded<Score>(p.outside, p.pOut);
        p.noiseThreshold = passes == 1 ? r.expectedNoise : rounded<Score>(Wide{L} * p.outside, p.pOut);
        p.meanWindow = meanWindow;
        p.meanDetected = rounded<Score>(detected, n);
        p.fullPerPulse = rounded<Score>(F, n);

        if (method == kChiSquareUnknownDispersion || method == kAdditiveModel)
            T = thresholdFromOutsideEnergy<Score>(p.outside, p.pOut, L);
        else if (method == kFisherCriterion)
            T = 0;
        else if (method == kMeanWindowThreshold)
            T = meanWindow;
        p.nextThreshold = T;

        if (additive && pass == 0)
            relictOf(r.windowEnergies, energy, N, L, p);
    }
    return r;
}

}  // namespace

template <class Sample, class Score>
ThresholdDetection<Score> detectByThreshold(std::span<const Sample> x, std::span<const Sample> pure,
                                            const PulseLayout& layout, StartRegionLists regions, int32_t method,
                                            int64_t sigma, size_t keep)
{
    checkInputs(x.size(), layout, method, sigma);
    return detect<Sample, Score>(x, pure, layout, regionsInside(regions, layout), method, sigma, keep, nullptr);
}

template <class Sample, class Score>
ThresholdDetection<Score> detectByThreshold(std::span<const Sample> x, std::span<const Sample> pure,
                                            const PulseLayout& layout, int32_t mFrom, int32_t mTo, int32_t method,
                                            int64_t sigma, WorkMeter* meter)
{
    checkInputs(x.size(), layout, method, sigma);
    return detect<Sample, Score>(x, pure, layout, startRegionLists(layout, mFrom, mTo), method, sigma,
                                 std::numeric_limits<size_t>::max(), meter);
}

template <class Sample, class Score>
ChainDetection<Score> detectBestChain(std::span<const Sample> x, const PulseLayout& layout,
                                      const StartRegionLists& regions, size_t keep)
{
    checkInputs(x.size(), layout, kFisherCriterion, 0);
    const StartRegionLists inside = regionsInside(regions, layout);
    const EnergyPrefix<Score> observed = observedPrefix<Score>(x);
    const std::vector<Score> E = energiesOverOmega(observed, inside, layout.N, layout.L);
    checkChainTotals(E, layout.Tmin);
    std::vector<Score> D(E.size());
    std::vector<int32_t> B(E.size());
    const ChainRegions lists = inside.chainRegions();
    runChainProgramme<Score>(E, lists, layout.Tmin, layout.Tmax, D, B);
    ChainDetection<Score> c;
    c.total = followBestChain<Score>(lists, D, B, c.positions);
    if (c.positions.size() > keep)
        c.positions.resize(keep);
    return c;
}

#define QUILLMORE_THRESHOLD_TYPES(Sample, Score)                                                                     \
    template ThresholdDetection<Score> detectByThreshold<Sample, Score>(std::span<const Sample>,                     \
                                                                        std::span<const Sample>, const PulseLayout&, \
                                                                        StartRegionLists, int32_t, int64_t, size_t); \
    template ThresholdDetection<Score> detectByThreshold<Sample, Score>(                                             \
        std::span<const Sample>, std::span<const Sample>, const PulseLayout&, int32_t, int32_t, int32_t, int64_t,    \
        WorkMeter*);                                                                                                 \
    template ChainDetection<Score> detectBestChain<Sample, Score>(std::span<const Sample>, const PulseLayout&,       \
                                                                  const StartRegionLists&, size_t);
QUILLMORE_THRESHOLD_TYPES(int16_t, int32_t)
QUILLMORE_THRESHOLD_TYPES(int64_t, int64_t)
#undef QUILLMORE_THRESHOLD_TYPES

}  // namespace detection
