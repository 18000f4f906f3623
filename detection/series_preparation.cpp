#include "detection/series_preparation.h"

#include <algorithm>
#include <cmath>
#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>
#include <functional>
#include <utility>

#include "base/formatted_text.h"

namespace detection {

namespace {

// An order-statistics tree: the k-th smallest of the window in O(log w). The
// sample index breaks ties between equal values so that every sample is one
// entry.
using OrderedWindow =
    __gnu_pbds::tree<std::pair<double, int64_t>, __gnu_pbds::null_type, std::less<std::pair<double, int64_t>>,
                     __gnu_pbds::rb_tree_tag, __gnu_pbds::tree_order_statistics_node_update>;

std::string numberText(double v) { return base::formatText("%.9g", v); }

// Past this magnitude a sum of squares over a long series could leave 64 bits.
constexpr double kLargestSample = 2147483648.0;  // 2^31

}  // namespace

double lowerMedian(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

int64_t estimateNoiseLevel(std::span<const int64_t> x)
{
    if (x.size() < 3)
        return 1;
    std::vector<double> d(x.size() - 1);
    for (size_t i = 1; i < x.size(); ++i)
        d[i - 1] = static_cast<double>(x[i] - x[i - 1]);
    const double centre = lowerMedian(d);
    for (double& v : d)
        v = std::fabs(v - centre);
    const double sigma = 1.4826 * lowerMedian(std::move(d)) / std::sqrt(2.0);
    return std::max<int64_t>(1, std::llround(sigma));
}

std::vector<double> movingMedian(std::span<const double> x, int64_t width)
{
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<double> trend(x.size());
    if (n == 0 || width < 1)
        return trend;
    const int64_t before = (width - 1) / 2;
    const int64_t after = width / 2;
    // Gaps (NaN) never enter the window: the trend is a median of real
    // samples only, and a window holding none has no trend (NaN).
    OrderedWindow window;
    auto enter = [&](int64_t j) {
        if (!std::isnan(x[j]))
            window.insert({x[j], j});
    };
    for (int64_t j = 0; j <= std::min(after, n - 1); ++j)
        enter(j);
    for (int64_t i = 0; i < n; ++i) {
        trend[i] = window.empty() ? NAN : window.find_by_order((window.size() - 1) / 2)->first;
        const int64_t leaving = i - before;
        if (leaving >= 0 && !std::isnan(x[leaving]))
            window.erase({x[leaving], leaving});
        const int64_t entering = i + after + 1;
        if (entering < n)
            enter(entering);
    }
    return trend;
}

namespace {

// Takes the trend `options` name out of the real samples of `x`; the trend
// is computed from them alone, so that a gap weighs on nothing. Gaps stay
// NaN.
void removeTrend(std::vector<double>& x, const std::vector<double>& present, const PreparationOptions& options,
                 PreparedSeries& prepared)
{
    switch (options.detrend) {
    case Detrend::None:
        prepared.report.push_back("detrend: none");
        break;
    case Detrend::WholeMedian:
        prepared.trendMedian = lowerMedian(present);
        for (double& v : x)
            v -= prepared.trendMedian;
        prepared.report.push_back("detrend: the median " + numberText(prepared.trendMedian) + " subtracted");
        break;
    case Detrend::MovingMedian: {
        const std::vector<double> trend = movingMedian(x, options.window);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] -= trend[i];
        prepared.report.push_back("detrend: a moving median of " + std::to_string(options.window) +
                                  " samples (gaps skipped) subtracted");
        break;
    }
    }
}

// Gaps become the baseline: 0 once a trend is taken away, so that a window
// over a gap scores as a quiet stretch and never as a step; without
// detrending, the median of the real samples.
void fillGaps(std::vector<double>& x, const std::vector<double>& present, const PreparationOptions& options,
              PreparedSeries& prepared)
{
    prepared.centre = options.detrend == Detrend::None ? lowerMedian(present) : 0.0;
    if (prepared.gaps == 0) {
        prepared.report.push_back("gaps: none");
        return;
    }
    for (double& v : x)
        if (std::isnan(v))
            v = prepared.centre;
    prepared.report.push_back("gaps: " + std::to_string(prepared.gaps) +
                              (options.detrend == Detrend::None
                                   ? " samples filled with the median " + numberText(prepared.centre) + " of the others"
                                   : std::string(" samples set to the baseline 0")));
}

// The samples of `x` as integers, scaled as `options` ask; false, with
// `error`, when they would leave the exact 64-bit sums.
bool roundSamples(const std::vector<double>& x, bool integral, const PreparationOptions& options,
                  PreparedSeries& prepared, std::string& error)
{
    double largest = 0;
    for (double v : x)
        largest = std::max(largest, std::fabs(v));
    const bool keep = integral && !options.scale && !options.scaleAuto;
    if (keep) {
        prepared.scale = 1;
        prepared.report.push_back("scale: none, integer samples kept");
    } else {
        prepared.scale = options.scale ? *options.scale : (largest > 0 ? kAutoScaleTarget / largest : 1.0);
        prepared.scaled = true;
        prepared.report.push_back("scale: x " + numberText(prepared.scale) + ", rounded to integers");
    }
    if (largest * prepared.scale >= kLargestSample) {
        error = "the samples reach " + numberText(largest * prepared.scale) +
                " after scaling; exact 64-bit sums take magnitudes below 2^31 (choose a smaller scale factor)";
        return false;
    }
    prepared.samples.resize(x.size());
    int64_t top = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double scaled = keep ? x[i] : x[i] * prepared.scale;
        prepared.samples[i] = static_cast<int64_t>(std::llround(scaled));
        top = std::max(top, prepared.samples[i] < 0 ? -prepared.samples[i] : prepared.samples[i]);
    }
    prepared.largest = top;
    prepared.report.push_back("largest magnitude: " + std::to_string(top));
    return true;
}

}  // namespace

std::string preparedSeriesProblem(const PreparedSeries& p)
{
    if (p.samples.empty())
        return "the series holds no samples";
    const auto [low, high] = std::minmax_element(p.samples.begin(), p.samples.end());
    bool unscaledVaries = false;
    for (const double v : p.unscaled)
        unscaledVaries |= v != p.unscaled.front();
    if (*low == *high && !unscaledVaries)
        return "the series has no variation after preparation (every sample is " + std::to_string(*low) +
               "): there is nothing to detect";
    if (!p.scaled || p.unscaled.size() != p.samples.size())
        return "";
    // The samples that held a value and were rounded to nothing.
    int64_t varying = 0, lost = 0;
    size_t top = 0;
    for (size_t i = 0; i < p.samples.size(); ++i) {
        if (p.unscaled[i] != 0) {
            ++varying;
            lost += p.samples[i] == 0 ? 1 : 0;
        }
        if (std::fabs(p.unscaled[i]) > std::fabs(p.unscaled[top]))
            top = i;
    }
    if (*low != *high && 2 * lost <= varying)
        return "";
    std::string largest;
    int named = 0;
    for (size_t i = 0; i < p.unscaled.size() && named < 3; ++i)
        if (std::fabs(p.unscaled[i]) * 2 >= std::fabs(p.unscaled[top])) {
            largest += (named++ ? ", " : "") + std::to_string(i);
        }
    return "scaling by " + numberText(p.scale) + " leaves " + std::to_string(lost) + " of the " +
           std::to_string(varying) + " varying samples at 0: a few samples (" + largest + ", up to " +
           numberText(p.unscaled[top]) +
           " after preparation) are far larger than the rest; remove these outliers or choose the scale factor";
}

bool prepareSeries(std::span<const double> values, bool integral, const PreparationOptions& options,
                   PreparedSeries& prepared, std::string& error)
{
    prepared = PreparedSeries{};
    if (values.empty()) {
        error = "the series holds no samples";
        return false;
    }
    std::vector<double> x(values.begin(), values.end());
    std::vector<double> present;
    present.reserve(x.size());
    for (double v : x)
        if (!std::isnan(v))
            present.push_back(v);
    prepared.gaps = static_cast<int64_t>(x.size() - present.size());
    if (present.empty()) {
        error = "the series holds only gaps";
        return false;
    }
    for (double v : present) {
        if (!std::isfinite(v)) {
            error = "the series holds an infinite value";
            return false;
        }
    }
    if (options.detrend == Detrend::MovingMedian && options.window < 1) {
        error = "the moving median needs a window of at least 1 sample";
        return false;
    }
    if (options.scale && !(std::isfinite(*options.scale) && *options.scale > 0)) {
        error = "the scale factor must be a positive number";
        return false;
    }

    prepared.report.push_back(std::to_string(x.size()) + " samples");
    removeTrend(x, present, options, prepared);
    fillGaps(x, present, options, prepared);
    if (options.invert) {
        for (double& v : x)
            v = -v;
        prepared.report.push_back("inverted: dips become pulses");
    }

    if (!roundSamples(x, integral, options, prepared, error))
        return false;
    prepared.unscaled = std::move(x);
    return true;
}

}  // namespace detection
