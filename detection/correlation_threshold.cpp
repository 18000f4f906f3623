#include "detection/correlation_threshold.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

#include "detection/chain_core.h"
#include "detection/matched_filter.h"

namespace detection {

namespace {

__extension__ typedef __int128 Wide;

constexpr const char* kThresholdOverflow =
    "threshold detection: the correlation threshold S x sigma x |h| does not fit 64 bits (choose a smaller least "
    "signal-to-noise ratio)";
constexpr const char* kReducedOverflow =
    "threshold detection: the correlations reduced by the threshold do not fit 64 bits";
constexpr const char* kChainOverflow = "threshold detection: the chain totals of the series do not fit 64 bits";

// Phi^-1(p) for 0 < p <= 0.5 by Acklam's rational approximation (relative
// error below 1.15e-9), then one Halley step on the exact tail 0.5 erfc.
double lowerQuantile(double p)
{
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                   1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    constexpr double kLowRegion = 0.02425;
    double x = 0;
    if (p < kLowRegion) {
        const double q = std::sqrt(-2 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    } else {
        const double q = p - 0.5, r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
    }
    // Phi(x) = 0.5 erfc(-x / sqrt 2) keeps its relative precision for x < 0.
    const double e = 0.5 * std::erfc(-x / std::sqrt(2.0)) - p;
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    if (std::isfinite(u))
        x -= u / (1 + x * u / 2);
    return x;
}

// T = S sigma |h| to the nearest whole correlation unit.
int64_t thresholdOf(double snrMin, double sigma, double norm)
{
    const double t = snrMin * sigma * norm;
    // 2^63: the first double past the 64-bit range.
    if (!(t < 9223372036854775808.0))
        throw std::overflow_error(kThresholdOverflow);
    return std::llround(t);
}

// The noise level as methods 0 and 2 take it first: the matched filter's
// (programmeNoiseSigma: the robust level, with its fall-backs when most
// neighbouring samples are equal, so that coarse integer data never get a
// threshold of 0).
double robustLevel(std::span<const int64_t> x) { return programmeNoiseSigma(x); }

// The root mean square about 0 of the samples outside the windows of L
// samples at `positions` (increasing); `before` when they cover every sample.
double outsideLevel(std::span<const int64_t> x, std::span<const int32_t> positions, int32_t L, double before)
{
    Wide sum = 0;
    int64_t count = 0, coveredTo = -1;
    size_t k = 0;
    for (int64_t i = 0; i < static_cast<int64_t>(x.size()); ++i) {
        for (; k < positions.size() && positions[k] <= i; ++k)
            coveredTo = std::max<int64_t>(coveredTo, int64_t{positions[k]} + L - 1);
        if (i > coveredTo) {
            sum += Wide{x[static_cast<size_t>(i)]} * x[static_cast<size_t>(i)];
            ++count;
        }
    }
    return count > 0 ? std::sqrt(static_cast<double>(sum) / static_cast<double>(count)) : before;
}

// R: the correlation at every start of the regions reduced by T (method 6:
// kept above T, 0 at or below it), the empty cell elsewhere.
void reduce(std::span<const int64_t> C, const StartIntervals& any, int64_t T, bool cutAtThreshold,
            std::vector<int64_t>& R)
{
    std::fill(R.begin(), R.end(), chainEmptyCell<int64_t>);
    for (const StartInterval& iv : any)
        for (int64_t p = iv.lo; p <= iv.hi; ++p) {
            const int64_t c = C[static_cast<size_t>(p)];
            int64_t r = 0;
            if (cutAtThreshold)
                r = c <= T ? 0 : c;
            else if (__builtin_sub_overflow(c, T, &r))
                throw std::overflow_error(kReducedOverflow);
            R[static_cast<size_t>(p)] = r;
        }
}

// No chain holds two starts closer than max(Tmin, 1), so no total (nor any D
// on the way to it) exceeds the sum, over blocks of that many cells, of each
// block's greatest positive value.
void checkChainTotals(const std::vector<int64_t>& R, int32_t Tmin)
{
    const size_t block = static_cast<size_t>(std::max(Tmin, 1));
    Wide bound = 0;
    for (size_t from = 0; from < R.size(); from += block) {
        const size_t to = std::min(R.size(), from + block);
        bound += std::max<int64_t>(*std::max_element(R.begin() + from, R.begin() + to), 0);
    }
    if (bound > std::numeric_limits<int64_t>::max())
        throw std::overflow_error(kChainOverflow);
}

void checkInputs(std::span<const int64_t> x, std::span<const int64_t> correlations,
                 std::span<const int64_t> templateSamples, const PulseLayout& layout,
                 const CorrelationThresholdSettings& s)
{
    if (!takesSnrMin(s.method) && s.method != kFisherCriterion)
        throw std::invalid_argument("threshold detection: method " + std::to_string(s.method) +
                                    " does not run on correlation scores");
    if (layout.L < 1 || layout.N < layout.L || static_cast<uint64_t>(layout.N) != x.size() ||
        correlations.size() != static_cast<size_t>(layout.N - layout.L + 1) ||
        templateSamples.size() != static_cast<size_t>(layout.L))
        throw std::invalid_argument(
            "threshold detection: N samples, N - L + 1 correlations and a template of L samples are needed");
    if (s.snrMin && !(std::isfinite(*s.snrMin) && *s.snrMin > 0))
        throw std::invalid_argument("the least signal-to-noise ratio must be a positive number");
    if (s.noiseLevel < 0)
        throw std::invalid_argument("threshold detection: the noise level must not be negative");
}

}  // namespace

double normalQuantile(double p)
{
    if (std::isnan(p))
        return p;
    if (p <= 0)
        return -std::numeric_limits<double>::infinity();
    if (p >= 1)
        return std::numeric_limits<double>::infinity();
    // 1 - p is exact for p above 0.5: the upper tail keeps its digits.
    return p <= 0.5 ? lowerQuantile(p) : -lowerQuantile(1 - p);
}

int64_t scoredWindows(int64_t N, int32_t L)
{
    if (L < 1)
        return 1;
    return std::max<int64_t>(1, N - L + 1);
}

double defaultSnrMin(int64_t N, int32_t L) { return -normalQuantile(0.01 / static_cast<double>(scoredWindows(N, L))); }

int32_t correlationThresholdPasses(int32_t method)
{
    return method == kChiSquareUnknownDispersion || method == kFisherCriterion ? 3 : 1;
}

uint64_t correlationThresholdWork(uint64_t N, uint64_t S, int32_t method)
{
    const uint64_t levels = method == kPrimitiveMethod ? 1 : method == kChiSquareUnknownDispersion ? 3 : 0;
    return levels * N + static_cast<uint64_t>(correlationThresholdPasses(method)) * 3 * S;
}

CorrelationThresholdDetection detectByCorrelationThreshold(std::span<const int64_t> x,
                                                           std::span<const int64_t> correlations,
                                                           std::span<const int64_t> templateSamples,
                                                           const PulseLayout& layout, int32_t mFrom, int32_t mTo,
                                                           const CorrelationThresholdSettings& settings,
                                                           WorkMeter* meter)
{
    checkInputs(x, correlations, templateSamples, layout, settings);
    const int32_t method = settings.method;
    const bool fisher = method == kFisherCriterion;
    CorrelationThresholdDetection out;
    out.templateNorm = templateNorm(templateSamples);
    out.windows = scoredWindows(layout.N, layout.L);
    if (!fisher) {
        out.snrDefault = !settings.snrMin;
        out.snrMin = settings.snrMin ? *settings.snrMin : defaultSnrMin(layout.N, layout.L);
    }
    const uint64_t N = x.size(), S = correlations.size();

    double sigma = 0;
    if (method == kPrimitiveMethod || method == kChiSquareUnknownDispersion) {
        sigma = robustLevel(x);
        if (meter && !meter->advance(N))
            return out;
    } else if (!fisher) {
        sigma = static_cast<double>(settings.noiseLevel);
    }

    const StartRegionLists regions = startRegionLists(layout, mFrom, mTo);
    const ChainRegions lists = regions.chainRegions();
    std::vector<int64_t> R(S), D(S);
    std::vector<int32_t> B(S);
    const int32_t passes = correlationThresholdPasses(method);
    for (int32_t pass = 0; pass < passes; ++pass) {
        if (pass > 0 && method == kChiSquareUnknownDispersion) {
            sigma = outsideLevel(x, out.passes.back().positions, layout.L, sigma);
            if (meter && !meter->advance(N))
                return out;
        }
        CorrelationThresholdPass& p = out.passes.emplace_back();
        p.sigma = sigma;
        p.threshold = fisher ? 0 : thresholdOf(out.snrMin, sigma, out.templateNorm);
        reduce(correlations, regions.any, p.threshold, method == kThresholdKnownDispersion, R);
        checkChainTotals(R, layout.Tmin);
        if (meter && !meter->advance(S))
            return out;
        runChainProgramme<int64_t>(R, lists, layout.Tmin, layout.Tmax, D, B, meter);
        if (meter && meter->stopped())
            return out;
        p.chainTotal = followBestChain<int64_t>(lists, D, B, p.positions);
    }
    return out;
}

}  // namespace detection
