#include "views/detection_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "views/drawing_conventions.h"
#include "views/plot_axes.h"

namespace views {

namespace {

constexpr int32_t kValuePadding = 2;  // rows kept free between the frame and the extreme values
constexpr int32_t kAxisTick = 4;      // length of the axis ticks outside the frame
constexpr int32_t kMarkTick = 7;      // length of a reference tick
constexpr int32_t kMarksGap = 4;      // between the axis ticks and the reference ticks
constexpr int32_t kRightMargin = 12;  // room for half of the last x label
constexpr int32_t kLabelGap = 6;      // least free space between two labels on a row
constexpr int32_t kNumberGap = 12;    // the same between pulse numbers, which come in long rows

std::string integerText(int64_t v) { return formatText("%lld", static_cast<long long>(v)); }

int32_t textWidth(const platform::Dc& dc, const std::string& text) { return dc.textExtent(text).cx; }

int64_t shownCount(const DetectionPlotLayout& l) { return l.to - l.from; }

// The row of value v: high on yTop, low on yBottom. Long double keeps the
// difference of two far-apart 64-bit values exact enough for a pixel.
int32_t valueRow(const DetectionPlotLayout& l, int64_t v)
{
    const long double span = static_cast<long double>(l.high) - static_cast<long double>(l.low);
    const long double above = static_cast<long double>(l.high) - static_cast<long double>(v);
    return l.yTop + static_cast<int32_t>(std::lround(static_cast<double>(above * (l.yBottom - l.yTop) / span)));
}

int32_t sampleX(const DetectionPlotLayout& l, int64_t k)
{
    return l.x0 + 1 + detectionPlotColumn(k, shownCount(l), l.W);
}

// --- Series

// More samples than columns: each column shows the least and greatest of its
// samples, widened to the last sample of the column before so that steep
// edges stay joined.
void drawDenseSeries(platform::Dc& dc, const DetectionPlotLayout& l, std::span<const int64_t> shown)
{
    const auto W = static_cast<size_t>(l.W);
    std::vector<int64_t> least(W, std::numeric_limits<int64_t>::max());
    std::vector<int64_t> greatest(W, std::numeric_limits<int64_t>::min());
    std::vector<int64_t> last(W, 0);
    const auto n = static_cast<int64_t>(shown.size());
    for (int64_t k = 0; k < n; ++k) {
        const auto c = static_cast<size_t>(detectionPlotColumn(k, n, l.W));
        const int64_t v = shown[static_cast<size_t>(k)];
        least[c] = std::min(least[c], v);
        greatest[c] = std::max(greatest[c], v);
        last[c] = v;
    }
    for (size_t c = 0; c < W; ++c) {
        if (least[c] > greatest[c])
            continue;
        int64_t lo = least[c], hi = greatest[c];
        if (c > 0 && least[c - 1] <= greatest[c - 1]) {
            lo = std::min(lo, last[c - 1]);
            hi = std::max(hi, last[c - 1]);
        }
        const int32_t x = l.x0 + 1 + static_cast<int32_t>(c);
        dc.moveTo(x, valueRow(l, hi));
        dc.lineTo(x, valueRow(l, lo) + 1);
    }
}

// As many columns as samples or more: a polyline through the samples.
void drawSparseSeries(platform::Dc& dc, const DetectionPlotLayout& l, std::span<const int64_t> shown)
{
    const auto n = static_cast<int64_t>(shown.size());
    if (n == 1) {
        const int32_t x = sampleX(l, 0), y = valueRow(l, shown[0]);
        dc.rectangle(x - 1, y - 1, x + 2, y + 2);
        return;
    }
    dc.moveTo(sampleX(l, 0), valueRow(l, shown[0]));
    for (int64_t k = 1; k < n; ++k)
        dc.lineTo(sampleX(l, k), valueRow(l, shown[static_cast<size_t>(k)]));
    const platform::Point end = dc.currentPosition();
    dc.lineTo(end.x + 1, end.y);  // the end pixel a line leaves out
}

// --- Pulse frames and numbers

struct VisiblePulse {
    int32_t number;  // from 1, in the order of the starts
    int32_t first;   // columns relative to x0 + 1
    int32_t last;
};

std::vector<VisiblePulse> visiblePulses(const DetectionPlotLayout& l, const DetectionPlotData& d)
{
    std::vector<VisiblePulse> out;
    const int64_t L = std::max<int32_t>(d.pulseLength, 1);
    const int64_t n = shownCount(l);
    for (size_t k = 0; k < d.starts.size(); ++k) {
        const int64_t s = d.starts[k], e = s + L - 1;
        if (e < l.from || s >= l.to)
            continue;
        const int64_t a = std::max(s, l.from) - l.from, b = std::min(e, l.to - 1) - l.from;
        out.push_back({static_cast<int32_t>(k + 1), detectionPlotColumn(a, n, l.W), detectionPlotColumn(b, n, l.W)});
    }
    // Left to right; pulses in one column keep their order of finding.
    std::sort(out.begin(), out.end(), [](const VisiblePulse& p, const VisiblePulse& q) {
        return p.first != q.first ? p.first < q.first : p.number < q.number;
    });
    return out;
}

// Dotted like the frames of the workbench's own result plots: the edge
// columns from H/8 to 7H/8 above the bottom, the rows H/8 inside top and
// bottom. A pulse narrower than a column is one dotted column. Where pulses
// crowd (an edge within kCrowded columns of a neighbour's) only their rows
// are dotted: edges in every column would hatch the series out of sight,
// while the rows still show where pulses were found and where none were.
// Columns already dotted are not dotted again, so thousands of merged
// frames cost no more than the plot's width.
void drawPulseFrames(platform::Dc& dc, const DetectionPlotLayout& l, const DetectionPlotData& d,
                     const std::vector<VisiblePulse>& pulses)
{
    constexpr int32_t kCrowded = 3;
    const int32_t top = l.y0 + 1, bottom = l.y1;
    const int32_t H = bottom - top;
    const int32_t g = H / 8, gEnd = 7 * H / 8;
    std::vector<uint8_t> edgeDone(static_cast<size_t>(l.W), 0), rowDone(static_cast<size_t>(l.W), 0);
    const int64_t L = std::max<int32_t>(d.pulseLength, 1);
    auto edge = [&](int32_t c) {
        if (edgeDone[static_cast<size_t>(c)])
            return;
        edgeDone[static_cast<size_t>(c)] = 1;
        for (int32_t j = g; j < gEnd; j += 2)
            dc.setPixel(l.x0 + 1 + c, bottom - j, kPulseFrameColor);
    };
    int32_t lastBefore = std::numeric_limits<int32_t>::min() / 2;
    for (size_t i = 0; i < pulses.size(); ++i) {
        const VisiblePulse& p = pulses[i];
        const int32_t firstAfter =
            i + 1 < pulses.size() ? pulses[i + 1].first : std::numeric_limits<int32_t>::max() / 2;
        const bool crowded = p.first - lastBefore < kCrowded || firstAfter - p.last < kCrowded;
        lastBefore = std::max(lastBefore, p.last);
        const int64_t s = d.starts[static_cast<size_t>(p.number - 1)];
        if (!crowded && s >= l.from)
            edge(p.first);
        if (!crowded && s + L - 1 < l.to)
            edge(p.last);
        for (int32_t c = p.first; c <= p.last; c += 2) {
            if (rowDone[static_cast<size_t>(c)])
                continue;
            rowDone[static_cast<size_t>(c)] = 1;
            dc.setPixel(l.x0 + 1 + c, top + g, kPulseFrameColor);
            dc.setPixel(l.x0 + 1 + c, bottom - g, kPulseFrameColor);
        }
    }
}

// Each number centred over its frame, left out where it would run into the
// number before it or out of the area.
void drawPulseNumbers(platform::Dc& dc, const platform::Rect& area, const DetectionPlotLayout& l,
                      const std::vector<VisiblePulse>& pulses)
{
    int32_t freeFrom = area.left;
    for (const VisiblePulse& p : pulses) {
        const std::string text = integerText(p.number);
        const int32_t w = textWidth(dc, text);
        const int32_t centre = l.x0 + 1 + (p.first + p.last) / 2;
        // A number over the first columns is held over the frame, clear of
        // the y labels beside it.
        const int32_t left = std::max(centre - w / 2, l.x0);
        if (left < freeFrom || left + w > area.right)
            continue;
        dc.textOut(left, l.numberRow, text);
        freeFrom = left + w + kNumberGap;
    }
}

void drawReferenceMarks(platform::Dc& dc, const DetectionPlotLayout& l, const DetectionPlotData& d)
{
    ScopedPen pen(dc, kReferenceMarkColor);
    for (const int32_t m : d.marks) {
        if (m < l.from || m >= l.to)
            continue;
        const int32_t x = sampleX(l, m - l.from);
        dc.moveTo(x, l.marksTop);
        dc.lineTo(x, l.marksTop + kMarkTick);
    }
}

// --- Axes

struct YLabel {
    int64_t value;
    int32_t row;
};

void drawYAxis(platform::Dc& dc, const platform::Rect& area, const DetectionPlotLayout& l, const DetectionPlotData& d)
{
    const int32_t half = l.lineHeight / 2;
    // The extremes first: zero gives way to them when it would touch one.
    std::vector<YLabel> labels{{l.high, l.yTop}, {l.low, l.yBottom}};
    const int32_t zeroRow = valueRow(l, 0);
    if (l.high != 0 && l.low != 0 && zeroRow - l.yTop > l.lineHeight && l.yBottom - zeroRow > l.lineHeight)
        labels.push_back({0, zeroRow});
    int32_t lowestBottom = area.top;
    std::vector<platform::Rect> placed;
    for (const YLabel& label : labels) {
        const std::string text = integerText(label.value);
        const platform::Size extent = dc.textExtent(text);
        const platform::Rect cell{l.x0 - kAxisTick - 2 - extent.cx, label.row - half, l.x0 - kAxisTick - 2,
                                  label.row - half + extent.cy};
        // In a plot lower than two lines the least value gives way to the greatest.
        if (std::any_of(placed.begin(), placed.end(),
                        [&](const platform::Rect& r) { return r.top < cell.bottom && cell.top < r.bottom; }))
            continue;
        placed.push_back(cell);
        dc.textOut(l.x0 - kAxisTick - 2 - textWidth(dc, text), label.row - half, text);
        dc.moveTo(l.x0 - kAxisTick, label.row);
        dc.lineTo(l.x0, label.row);
        lowestBottom = std::max(lowestBottom, label.row - half + l.lineHeight);
    }
    if (!d.marks.empty() && !d.marksLabel.empty()) {
        const int32_t top = std::max(l.marksTop + kMarkTick / 2 - half, lowestBottom + 1);
        const Color previous = dc.setTextColor(kReferenceMarkColor);
        dc.textOut(l.x0 - kAxisTick - 2 - textWidth(dc, d.marksLabel), top, d.marksLabel);
        dc.setTextColor(previous);
    }
}

struct XScale {
    bool times = false;
    double low = 0, high = 0;  // first and last shown index or time
    double step = 1;
    int decimals = 0;
};

std::string xText(const XScale& s, double v)
{
    if (!s.times)
        return integerText(std::llround(v));
    if (std::fabs(v) < s.step * 1e-9)
        v = 0;  // no "-0.0" from the rounding of a multiple of the step
    return formatText("%.*f", s.decimals, v);
}

// The step that leaves room for the widest label between two ticks; the
// width depends on the decimals the step brings, so the choice is made twice.
XScale chooseXScale(const platform::Dc& dc, const DetectionPlotLayout& l, const DetectionPlotData& d)
{
    XScale s;
    const int64_t n = shownCount(l);
    s.times = d.times.size() == d.samples.size() && !d.times.empty();
    if (s.times) {
        s.low = d.times[static_cast<size_t>(l.from)];
        s.high = d.times[static_cast<size_t>(l.to - 1)];
        if (!std::isfinite(s.low) || !std::isfinite(s.high) || s.high < s.low)
            s.times = false;
    }
    if (!s.times) {
        s.low = static_cast<double>(l.from);
        s.high = static_cast<double>(l.from + n - 1);
    }
    const double span = s.high - s.low;
    int32_t widest = std::max(textWidth(dc, xText(s, s.low)), textWidth(dc, xText(s, s.high)));
    for (int pass = 0; pass < 2; ++pass) {
        const int32_t ticks = std::max(1, l.W / (widest + 3 * kLabelGap));
        s.step = span > 0 ? roundAxisStep(span / ticks) : 1;
        if (!s.times)
            s.step = std::max(1.0, std::round(s.step));
        s.decimals = s.times ? axisDecimals(s.step) : 0;
        const double lastTick = std::floor(s.high / s.step) * s.step;
        widest = std::max({textWidth(dc, xText(s, s.low)), textWidth(dc, xText(s, lastTick)),
                           textWidth(dc, xText(s, std::ceil(s.low / s.step) * s.step))});
    }
    return s;
}

// The column of an x value: an index directly; a time through the samples
// around it (the times may be unevenly spaced), or along a straight line
// when they do not rise.
class XPlacer {
  public:
    XPlacer(const DetectionPlotLayout& l, const DetectionPlotData& d, const XScale& s) : l_(l), s_(s)
    {
        if (s.times)
            times_ = d.times.subspan(static_cast<size_t>(l.from), static_cast<size_t>(l.to - l.from));
        rising_ = std::is_sorted(times_.begin(), times_.end());
    }
    int32_t column(double v) const
    {
        const int64_t n = shownCount(l_);
        if (!s_.times)
            return detectionPlotColumn(std::llround(v) - l_.from, n, l_.W);
        const auto first = static_cast<double>(detectionPlotColumn(0, n, l_.W));
        const auto last = static_cast<double>(detectionPlotColumn(n - 1, n, l_.W));
        if (!rising_ || n < 2)
            return static_cast<int32_t>(
                std::lround(s_.high > s_.low ? first + (v - s_.low) / (s_.high - s_.low) * (last - first) : first));
        const auto i = static_cast<int64_t>(std::lower_bound(times_.begin(), times_.end(), v) - times_.begin());
        if (i <= 0)
            return static_cast<int32_t>(first);
        if (i >= n)
            return static_cast<int32_t>(last);
        const double t0 = times_[static_cast<size_t>(i - 1)], t1 = times_[static_cast<size_t>(i)];
        const auto c0 = static_cast<double>(detectionPlotColumn(i - 1, n, l_.W));
        const auto c1 = static_cast<double>(detectionPlotColumn(i, n, l_.W));
        return static_cast<int32_t>(std::lround(t1 > t0 ? c0 + (v - t0) / (t1 - t0) * (c1 - c0) : c1));
    }

  private:
    const DetectionPlotLayout& l_;
    const XScale& s_;
    std::span<const double> times_;
    bool rising_ = true;
};

void drawXAxis(platform::Dc& dc, const platform::Rect& area, const DetectionPlotLayout& l, const DetectionPlotData& d)
{
    const XScale s = chooseXScale(dc, l, d);
    const XPlacer placer(l, d, s);

    const std::string name = !d.axisLabel.empty() ? d.axisLabel : s.times ? "time" : "sample";
    const int32_t nameLeft = l.x1 - textWidth(dc, name);
    dc.textOut(nameLeft, l.labelRow, name);

    const double firstTick = std::ceil(s.low / s.step - 1e-9);
    const double lastTick = std::floor(s.high / s.step + 1e-9);
    int32_t freeFrom = area.left;
    for (double k = firstTick; k <= lastTick && k - firstTick < 1000; ++k) {
        const double v = k * s.step;
        const int32_t x = l.x0 + 1 + placer.column(v);
        dc.moveTo(x, l.y1 + 1);
        dc.lineTo(x, l.y1 + 1 + kAxisTick);
        const std::string text = xText(s, v);
        const int32_t w = textWidth(dc, text);
        const int32_t left = x - w / 2;
        if (left < freeFrom || left + w > area.right || left + w + kLabelGap > nameLeft)
            continue;
        dc.textOut(left, l.labelRow, text);
        freeFrom = left + w + kLabelGap;
    }
}

}  // namespace

int32_t detectionPlotColumn(int64_t k, int64_t n, int32_t W)
{
    if (n <= 0 || W <= 0)
        return 0;
    if (n > W)
        return static_cast<int32_t>(k * W / n);
    if (n == 1)
        return (W - 1) / 2;
    return static_cast<int32_t>((2 * k * (W - 1) + (n - 1)) / (2 * (n - 1)));
}

DetectionPlotLayout detectionPlotLayout(const platform::Dc& dc, const platform::Rect& area, const DetectionPlotData& d)
{
    DetectionPlotLayout l;
    l.lineHeight = lineHeightOf(dc.textMetrics());
    const int32_t LH = l.lineHeight;
    const auto N = static_cast<int64_t>(d.samples.size());
    l.from = std::clamp<int64_t>(d.from, 0, N);
    l.to = d.to < 0 ? N : std::clamp<int64_t>(d.to, l.from, N);

    l.low = 0;
    l.high = 0;
    for (int64_t i = l.from; i < l.to; ++i) {
        l.low = std::min(l.low, d.samples[static_cast<size_t>(i)]);
        l.high = std::max(l.high, d.samples[static_cast<size_t>(i)]);
    }
    if (l.low == l.high)
        l.high = l.low + 1;

    int32_t y = area.top;
    l.headerTop = y;
    if (!d.title.empty())
        y += LH + 1;
    y += LH * static_cast<int32_t>(d.info.size());
    if (y > area.top)
        y += LH / 2;
    l.numberRow = y;
    l.y0 = y + LH + 2;

    const bool marks = !d.marks.empty();
    const int32_t below = kAxisTick + (marks ? kMarksGap + kMarkTick : 0) + 2 + LH + 1;
    l.y1 = area.bottom - 1 - below;
    l.marksTop = l.y1 + 1 + kAxisTick + kMarksGap;
    l.labelRow = l.y1 + 1 + kAxisTick + (marks ? kMarksGap + kMarkTick : 0) + 2;
    l.yTop = l.y0 + 1 + kValuePadding;
    l.yBottom = l.y1 - 1 - kValuePadding;

    int32_t gutter =
        std::max({textWidth(dc, integerText(l.high)), textWidth(dc, integerText(l.low)), textWidth(dc, "0")});
    if (marks)
        gutter = std::max(gutter, textWidth(dc, d.marksLabel));
    l.x0 = area.left + gutter + kAxisTick + 4;
    l.x1 = area.right - 1 - kRightMargin;
    l.W = l.x1 - l.x0 - 1;
    l.drawable = l.W >= 2 && l.yBottom - l.yTop >= 8;
    return l;
}

void drawDetectionPlot(platform::Dc& dc, const platform::Rect& area, const DetectionPlotData& data)
{
    const DetectionPlotLayout l = detectionPlotLayout(dc, area, data);
    const int32_t width = area.right - area.left;
    int32_t y = l.headerTop;
    if (!data.title.empty()) {
        dc.textOut(area.left, y, textFittedTo(dc, data.title, width));
        y += l.lineHeight + 1;
    }
    for (const std::string& line : data.info) {
        dc.textOut(area.left, y, textFittedTo(dc, line, width));
        y += l.lineHeight;
    }
    if (!l.drawable)
        return;

    {
        ScopedPen pen(dc, platform::kBlack);
        ScopedBrush brush(dc, platform::kWhite);
        dc.rectangle(l.x0, l.y0, l.x1 + 1, l.y1 + 1);
    }
    const int32_t zero = valueRow(l, 0);
    dc.moveTo(l.x0 + 1, zero);
    dc.lineTo(l.x1, zero);

    const std::span<const int64_t> shown =
        data.samples.subspan(static_cast<size_t>(l.from), static_cast<size_t>(l.to - l.from));
    if (!shown.empty()) {
        ScopedPen pen(dc, kObservedSeriesCurve);
        if (static_cast<int64_t>(shown.size()) > l.W)
            drawDenseSeries(dc, l, shown);
        else
            drawSparseSeries(dc, l, shown);
    }

    const std::vector<VisiblePulse> pulses = visiblePulses(l, data);
    drawPulseFrames(dc, l, data, pulses);
    drawPulseNumbers(dc, area, l, pulses);
    if (!data.marks.empty())
        drawReferenceMarks(dc, l, data);
    drawYAxis(dc, area, l, data);
    if (!shown.empty())
        drawXAxis(dc, area, l, data);
}

int64_t detectionPlotSampleAt(const DetectionPlotLayout& l, int32_t x)
{
    const int64_t n = shownCount(l);
    if (n <= 1 || l.W <= 1)
        return l.from;
    const int64_t c = std::clamp<int64_t>(int64_t{x} - (l.x0 + 1), 0, l.W - 1);
    if (n > l.W)
        return l.from + (c * n + l.W - 1) / l.W;  // the least k with k*W/n rounded down = c
    return l.from + std::min<int64_t>((2 * c * (n - 1) + (l.W - 1)) / (2 * (l.W - 1)), n - 1);
}

std::string textFittedTo(const platform::Dc& dc, const std::string& text, int32_t width)
{
    if (textWidth(dc, text) <= width)
        return text;
    // One whole UTF-8 character off the end at a time: its continuation
    // bytes, then the byte that leads them.
    std::string cut = text;
    while (!cut.empty()) {
        while (!cut.empty()) {
            const auto last = static_cast<unsigned char>(cut.back());
            cut.pop_back();
            if ((last & 0xC0) != 0x80)
                break;
        }
        if (textWidth(dc, cut + "...") <= width)
            return cut + "...";
    }
    return textWidth(dc, "...") <= width ? "..." : std::string();
}

SampleRange detectionZoomRange(std::span<const int32_t> starts, int32_t pulseLength, int64_t N, int32_t spacings)
{
    const int64_t L = std::max<int32_t>(pulseLength, 1);
    std::vector<int64_t> first;
    for (size_t k = 0; k < starts.size() && first.size() < 9; ++k)
        first.push_back(starts[k]);
    std::sort(first.begin(), first.end());
    int64_t spacing = 4 * L;
    std::vector<int64_t> gaps;
    for (size_t k = 1; k < first.size(); ++k)
        if (first[k] > first[k - 1])
            gaps.push_back(first[k] - first[k - 1]);
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + static_cast<ptrdiff_t>(gaps.size() / 2), gaps.end());
        spacing = std::max(gaps[gaps.size() / 2], L);
    }
    int64_t from = first.empty() ? 0 : std::max<int64_t>(first.front() - spacing, 0);
    const int64_t to = std::min(N, from + std::max(spacings, 1) * spacing);
    from = std::min(from, to);
    return {static_cast<int32_t>(from), static_cast<int32_t>(to)};
}

}  // namespace views
