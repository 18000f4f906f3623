#include "views/detection_view.h"

#include <algorithm>

#include "base/formatted_text.h"
#include "views/drawing_conventions.h"

namespace views {

namespace {

constexpr int32_t kOverviewShare = 38;  // per cent of the plots' height the overview takes

bool inside(const DetectionPlotLayout& l, int32_t x, int32_t y)
{
    return l.drawable && l.x0 <= x && x <= l.x1 && l.y0 <= y && y <= l.y1;
}

// The detail's samples on the overview: a line down each end and a bar along
// the frame's top between them, so that the place shows at any zoom.
void markDetailRange(platform::Dc& dc, const DetectionPlotLayout& o, SampleRange shown)
{
    const int64_t n = o.to - o.from;
    if (!o.drawable || n <= 0)
        return;
    const int32_t a = o.x0 + 1 + detectionPlotColumn(shown.from - o.from, n, o.W);
    const int32_t b = o.x0 + 1 + detectionPlotColumn(shown.to - 1 - o.from, n, o.W);
    ScopedPen pen(dc, kDetailRangeColor);
    for (const int32_t x : {a, b}) {
        dc.moveTo(x, o.y0 + 1);
        dc.lineTo(x, o.y1);
    }
    for (const int32_t y : {o.y0 + 1, o.y0 + 2}) {
        dc.moveTo(a, y);
        dc.lineTo(b + 1, y);
    }
}

std::string rangeLine(const DetectionViewData& d, SampleRange shown, int64_t N)
{
    std::string line = formatText(" samples %d to %d of %lld", shown.from, shown.to - 1, static_cast<long long>(N));
    if (d.times.size() == d.samples.size() && shown.to > shown.from)
        line += formatText(" (%s %s to %s)", d.axisLabel.empty() ? "time" : d.axisLabel.c_str(),
                           base::shortestText(d.times[static_cast<size_t>(shown.from)]).c_str(),
                           base::shortestText(d.times[static_cast<size_t>(shown.to - 1)]).c_str());
    return line;
}

}  // namespace

DetectionViewLayout drawDetectionView(platform::Dc& dc, const platform::Rect& area, const DetectionViewData& d)
{
    DetectionViewLayout v;
    v.N = static_cast<int64_t>(d.samples.size());
    v.shown = shownSamples(d.detail, static_cast<int32_t>(std::min<int64_t>(v.N, INT32_MAX)));

    // Header lines a cell apart, so that no two touch.
    const int32_t cell = dc.textMetrics().tmHeight;
    const int32_t width = area.right - area.left;
    int32_t y = area.top;
    for (const std::string& line : d.header) {
        if (y + cell > area.bottom)
            break;
        dc.textOut(area.left, y, textFittedTo(dc, line, width));
        y += cell;
    }
    y += cell / 2;

    const int32_t room = area.bottom - y;
    const int32_t split = y + room * kOverviewShare / 100;
    v.overviewArea = {area.left, y, area.right, split};
    v.detailArea = {area.left, split + cell / 2, area.right, area.bottom};

    DetectionPlotData overview;
    overview.samples = d.samples;
    overview.times = d.times;
    overview.axisLabel = d.axisLabel;
    overview.pulseLength = d.pulseLength;
    overview.starts = d.starts;
    v.overview = detectionPlotLayout(dc, v.overviewArea, overview);

    DetectionPlotData detail = overview;
    detail.info = {rangeLine(d, v.shown, v.N)};
    detail.from = v.shown.from;
    detail.to = v.shown.to;
    v.detail = detectionPlotLayout(dc, v.detailArea, detail);

    v.drawable = v.overview.drawable && v.detail.drawable && v.detailArea.top < v.detailArea.bottom;
    if (!v.drawable)
        return v;
    drawDetectionPlot(dc, v.overviewArea, overview);
    markDetailRange(dc, v.overview, v.shown);
    drawDetectionPlot(dc, v.detailArea, detail);
    return v;
}

std::optional<DetectionViewPoint> detectionViewPointAt(const DetectionViewLayout& l, int32_t x, int32_t y)
{
    if (!l.drawable || l.N < 1)
        return std::nullopt;
    if (inside(l.detail, x, y))
        return DetectionViewPoint{DetectionViewPlot::Detail, detectionPlotSampleAt(l.detail, x)};
    if (inside(l.overview, x, y))
        return DetectionViewPoint{DetectionViewPlot::Overview, detectionPlotSampleAt(l.overview, x)};
    return std::nullopt;
}

}  // namespace views
