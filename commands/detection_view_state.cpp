#include "commands/detection_view_state.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "base/formatted_text.h"
#include "commands/own_series.h"
#include "files/png_image.h"
#include "platform/bitmap.h"
#include "shell/plot_navigation.h"

namespace commands {

namespace {

// The view keeps a margin inside the area it is given.
constexpr int32_t kViewMargin = 8;

int32_t seriesLength(const DetectionViewState& v)
{
    return static_cast<int32_t>(std::min<size_t>(v.shown.samples.size(), INT32_MAX));
}

views::SampleRange detailShown(const DetectionViewState& v) { return views::shownSamples(v.detail, seriesLength(v)); }

// Shows `range` in the detail (the whole series as the empty range); true
// when that changes what the detail shows.
bool showDetail(DetectionViewState& v, views::SampleRange range)
{
    const int32_t N = seriesLength(v);
    const views::SampleRange before = detailShown(v);
    const views::SampleRange after = views::shownSamples(range, N);
    v.detail = views::showsWholeSeries(after, N) ? views::SampleRange{} : after;
    v.navigated = true;
    return after != before;
}

// The detail moved by `delta` samples, its width kept, held inside the series.
views::SampleRange panned(views::SampleRange shown, int32_t N, int64_t delta)
{
    const int64_t width = int64_t{shown.to} - shown.from;
    const int64_t from = std::clamp<int64_t>(shown.from + delta, 0, std::max<int64_t>(N - width, 0));
    return {static_cast<int32_t>(from), static_cast<int32_t>(from + width)};
}

// The detail moved so that `sample` stands in its middle.
views::SampleRange centredOn(views::SampleRange shown, int32_t N, int64_t sample)
{
    const int64_t middle = shown.from + (int64_t{shown.to} - shown.from) / 2;
    return panned(shown, N, sample - middle);
}

const views::DetectionPlotLayout& plotLayout(const DetectionViewState& v, views::DetectionViewPlot plot)
{
    return plot == views::DetectionViewPlot::Overview ? v.layout.overview : v.layout.detail;
}

// The sample under x in the drag's plot, x held inside the plot.
int32_t dragSample(const DetectionViewState& v, int32_t x)
{
    return static_cast<int32_t>(views::detectionPlotSampleAt(plotLayout(v, v.drag.plot), x));
}

std::string timeText(const DetectionViewState& v, double t)
{
    const std::string& unit = v.data.timeName;
    if (unit.empty() || unit == "s")
        return "time " + base::shortestText(t) + " s";
    return unit + " " + base::shortestText(t);
}

// The found pulse whose window holds the sample, the first of them where
// windows overlap (Tmin below the pulse length): the first start after
// sample - L, when it is not after the sample.
std::optional<size_t> pulseHolding(const OwnSeriesDetection& r, int64_t sample)
{
    const std::vector<int32_t>& starts = r.outcome.positions;
    const auto first = std::upper_bound(starts.begin(), starts.end(), sample - r.request.L);
    if (first == starts.end() || *first > sample)
        return std::nullopt;
    const auto k = static_cast<size_t>(first - starts.begin());
    return k < r.measures.size() ? std::optional<size_t>(k) : std::nullopt;
}

views::DetectionViewData viewData(const DetectionViewState& v)
{
    views::DetectionViewData d;
    d.header = detectionViewHeader(v);
    d.samples = v.shown.samples;
    if (v.data.times.size() == v.shown.samples.size())
        d.times = v.data.times;
    if (!v.data.times.empty())
        d.axisLabel = v.data.timeName;
    if (v.result) {
        d.pulseLength = v.result->request.L;
        d.starts = v.result->outcome.positions;
    }
    d.detail = v.detail;
    return d;
}

platform::Rect innerArea(const platform::Rect& area)
{
    return {area.left + kViewMargin, area.top + kViewMargin, area.right - kViewMargin, area.bottom - kViewMargin};
}

}  // namespace

bool openDetectionView(DetectionViewState& v, const std::string& path, const files::SeriesReadOptions& read,
                       std::string& error)
{
    files::SeriesReadResult r;
    try {
        r = files::readSeriesFile(path, read);
    } catch (const std::bad_alloc&) {
        error = path + ": there is not enough memory to hold the series";
        return false;
    }
    if (!r.ok) {
        error = r.error;
        return false;
    }
    return openDetectionView(v, path, read, std::move(r.data), error);
}

bool openDetectionView(DetectionViewState& v, const std::string& path, const files::SeriesReadOptions& read,
                       files::SeriesData&& data, std::string& error)
{
    try {
        if (error = files::seriesChoiceRefusal(path, data, read, {"the column", "the channel", " "}); !error.empty())
            return false;
        detection::PreparedSeries shown;
        const DetectOptions options = initialDetectOptions(data);
        if (!detection::prepareSeries(data.values, data.integral, options.prepare, shown, error)) {
            error = path + ": " + error;
            return false;
        }
        v.path = path;
        v.read = read;
        v.data = std::move(data);
        v.options = options;
        v.shown = std::move(shown);
        v.result.reset();
        v.detail = {};
        v.navigated = false;
        v.drag = {};
        // A long series opens on its first few thousand samples, a short one whole.
        if (v.shown.samples.size() > 4000)
            v.detail = {0, 4000};
    } catch (const std::bad_alloc&) {
        error = path + ": there is not enough memory to hold the series";
        return false;
    }
    return true;
}

DetectOptions initialDetectOptions(const files::SeriesData& data)
{
    DetectOptions o;
    o.pulseLength = 20;
    o.tmin = 40;
    o.tmax = 181;
    const auto N = static_cast<int64_t>(data.values.size());
    o.pulses = static_cast<int32_t>(std::clamp<int64_t>(2 * N / (*o.tmin + *o.tmax), 1, INT32_MAX));
    return o;
}

void adoptDetection(DetectionViewState& v, OwnSeriesDetection&& result, const DetectOptions& options)
{
    v.options = options;
    v.shown = result.prepared;
    v.result = std::move(result);
    if (v.navigated)
        return;
    const views::SampleRange first = views::detectionZoomRange(v.result->outcome.positions, v.result->request.L,
                                                               static_cast<int64_t>(v.shown.samples.size()));
    v.detail = views::showsWholeSeries(first, seriesLength(v)) ? views::SampleRange{} : first;
}

std::vector<std::string> detectionViewHeader(const DetectionViewState& v)
{
    std::vector<std::string> lines{" " + v.path + ": " + v.data.source};
    // The plots show the prepared samples: the file's values less the
    // trend, times the scale.
    const std::string plotted = v.shown.scaled
                                    ? base::formatText("; plotted as prepared, scaled by %.6g", v.shown.scale)
                                    : std::string("; plotted as prepared");
    if (!v.result) {
        lines.push_back(" no detection yet: Detection > Detect... finds the pulses" + plotted);
        return lines;
    }
    const OwnSeriesDetection& r = *v.result;
    lines.push_back(base::formatText(" %s, %s; pulse length %d, Tmin %d, Tmax %d",
                                     detectionTaskText(r.request, r.outcome).c_str(), r.scoreText.c_str(), r.request.L,
                                     r.request.Tmin, r.request.Tmax));
    lines.push_back(
        base::formatText(" found %zu pulses (admissible counts %d to %d); noise sigma %.4g in the data's units",
                         r.outcome.positions.size(), r.outcome.fromCount, r.outcome.toCount, r.sigma) +
        plotted);
    return lines;
}

void paintDetectionView(DetectionViewState& v, platform::Dc& dc, const platform::Rect& area)
{
    v.layout = views::drawDetectionView(dc, innerArea(area), viewData(v));
}

std::string detectionReadout(const DetectionViewState& v, int32_t x, int32_t y)
{
    const std::optional<views::DetectionViewPoint> at = views::detectionViewPointAt(v.layout, x, y);
    if (!at || at->sample < 0 || static_cast<size_t>(at->sample) >= v.data.values.size())
        return {};
    const int64_t k = at->sample;
    std::string text = base::formatText("sample %lld", static_cast<long long>(k));
    if (const std::optional<double> t = timeAt(v.data, static_cast<double>(k)))
        text += ", " + timeText(v, *t);
    const double value = v.data.values[static_cast<size_t>(k)];
    text += ", value " + (std::isnan(value) ? std::string("(gap)") : base::shortestText(value));
    if (v.result) {
        if (const std::optional<size_t> p = pulseHolding(*v.result, k)) {
            const detection::PulseMeasure& m = v.result->measures[*p];
            text += base::formatText("; pulse %zu: start %d, amplitude %.6g, score %lld, SNR %.2f", *p + 1, m.start,
                                     m.amplitude, static_cast<long long>(v.result->outcome.pulseScores[*p]), m.snr);
        }
    }
    const views::SampleRange shown = detailShown(v);
    if (!views::showsWholeSeries(shown, seriesLength(v)))
        text += base::formatText("   [samples %d to %d of %d in the detail; Home shows all]", shown.from, shown.to - 1,
                                 seriesLength(v));
    return text;
}

bool detectionViewPress(DetectionViewState& v, int32_t x, int32_t y)
{
    v.drag = {};
    if (const std::optional<views::DetectionViewPoint> at = views::detectionViewPointAt(v.layout, x, y))
        v.drag = {true, false, at->plot, x, x};
    return false;
}

bool detectionViewMove(DetectionViewState& v, int32_t x, int32_t y, std::string& status)
{
    if (!v.drag.pressed) {
        status = detectionReadout(v, x, y);
        return false;
    }
    v.drag.toX = x;
    if (!v.drag.dragging && std::abs(x - v.drag.fromX) >= kDetailDragThreshold)
        v.drag.dragging = true;
    if (v.drag.dragging) {
        const views::SampleRange r =
            shell::samplesBetween(dragSample(v, v.drag.fromX), dragSample(v, x), seriesLength(v));
        status = base::formatText("show samples %d to %d", r.from, r.to - 1);
    }
    return false;
}

bool detectionViewRelease(DetectionViewState& v, int32_t x, int32_t /*y*/)
{
    if (!v.drag.pressed)
        return false;
    const DetectionViewDrag drag = v.drag;
    v.drag = {};
    const int32_t N = seriesLength(v);
    const int32_t from = static_cast<int32_t>(views::detectionPlotSampleAt(plotLayout(v, drag.plot), drag.fromX));
    if (drag.dragging) {
        const int32_t to = static_cast<int32_t>(views::detectionPlotSampleAt(plotLayout(v, drag.plot), x));
        return showDetail(v, shell::samplesBetween(from, to, N));
    }
    // A click in the overview brings the detail there.
    if (drag.plot == views::DetectionViewPlot::Overview)
        return showDetail(v, centredOn(detailShown(v), N, from));
    return false;
}

bool detectionViewWheel(DetectionViewState& v, int32_t x, int32_t y, int32_t notches)
{
    const std::optional<views::DetectionViewPoint> at = views::detectionViewPointAt(v.layout, x, y);
    if (notches == 0 || v.drag.pressed || !at)
        return false;
    const int32_t N = seriesLength(v);
    views::SampleRange shown = detailShown(v);
    // Over the overview the detail first comes to the sample under the mouse.
    if (at->plot == views::DetectionViewPlot::Overview)
        shown = centredOn(shown, N, at->sample);
    return showDetail(v, shell::zoomAround(shown, N, static_cast<int32_t>(at->sample), notches));
}

bool detectionViewKey(DetectionViewState& v, DetectionViewKey key)
{
    if (v.drag.pressed)
        return false;
    const int32_t N = seriesLength(v);
    const views::SampleRange shown = detailShown(v);
    const int32_t width = shown.to - shown.from;
    const int32_t middle = shown.from + (width - 1) / 2;
    switch (key) {
    case DetectionViewKey::Home:
        return showDetail(v, {});
    case DetectionViewKey::ZoomIn:
        return showDetail(v, shell::zoomAround(shown, N, middle, 1));
    case DetectionViewKey::ZoomOut:
        return showDetail(v, shell::zoomAround(shown, N, middle, -1));
    case DetectionViewKey::Left:
        return showDetail(v, panned(shown, N, -std::max(width / 4, 1)));
    case DetectionViewKey::Right:
        return showDetail(v, panned(shown, N, std::max(width / 4, 1)));
    case DetectionViewKey::PageLeft:
        return showDetail(v, panned(shown, N, -width));
    case DetectionViewKey::PageRight:
        return showDetail(v, panned(shown, N, width));
    }
    return false;
}

std::optional<platform::Rect> detectionViewDragBand(const DetectionViewState& v)
{
    if (!v.drag.pressed || !v.drag.dragging)
        return std::nullopt;
    const views::DetectionPlotLayout& p = plotLayout(v, v.drag.plot);
    const int32_t a = std::clamp(v.drag.fromX, p.x0, p.x1);
    const int32_t b = std::clamp(v.drag.toX, p.x0, p.x1);
    return platform::Rect{std::min(a, b), p.y0, std::max(a, b) + 1, p.y1 + 1};
}

std::string detectionViewCsv(const DetectionViewState& v)
{
    if (!v.result)
        return pulsesCsv(v.data, {}, {});
    return pulsesCsv(v.data, v.result->outcome, v.result->measures);
}

bool writeDetectionViewPicture(const DetectionViewState& v, const std::string& path, int32_t width, int32_t height,
                               std::string& error)
{
    try {
        platform::Bitmap picture = platform::makeBitmap(width, height);
        platform::Dc dc(picture);
        views::drawDetectionView(dc, innerArea({0, 0, width, height}), viewData(v));
        return files::writePngFile(path, picture, error);
    } catch (const std::bad_alloc&) {
        error = path + ": there is not enough memory for a picture of " + std::to_string(width) + " x " +
                std::to_string(height);
        return false;
    }
}

}  // namespace commands
