#include "views/simulation_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "views/detection_plot.h"
#include "views/drawing_conventions.h"
#include "views/plot_axes.h"
#include "views/search_curves.h"

namespace views {

namespace {

constexpr int32_t kAxisTick = 4;          // length of the axis ticks outside the frame
constexpr int32_t kPadding = 8;           // pixels kept free inside the frame around the points
constexpr int32_t kRightMargin = 12;      // least room right of the frame
constexpr int32_t kLabelGap = 8;          // least free space between two labels on a row
constexpr int32_t kMarker = 3;            // half the side of a marker, its centre pixel left out
constexpr int32_t kMarkerSpacing = 10;    // least distance between points that carry markers
constexpr int32_t kLegendSample = 24;     // length of a legend's sample line
constexpr int32_t kLegendGap = 14;        // between the frame and a legend beside it
constexpr int32_t kLegendColumnGap = 16;  // between two columns of the legend
constexpr int32_t kLegendRowGap = 3;      // between two rows of the legend
constexpr int32_t kLeastPlotWidth = 160;  // a legend beside a narrower graph moves under it

int32_t textWidth(const platform::Dc& dc, const std::string& text) { return dc.textExtent(text).cx; }

double valueAt(const SimulationChartCurve& c, size_t i) { return i < c.values.size() ? c.values[i] : 0.0; }

std::string levelText(double level) { return axisText(level, 1); }

// The y axis from 0 (or the least value below it) to a round step at or
// above the greatest value, in about `ticks` steps; steps of whole numbers
// when every value is one.
void fitYAxis(const SimulationChartData& d, int32_t ticks, SimulationChartLayout& l)
{
    double low = 0, high = 0;
    bool whole = true;
    for (const SimulationChartCurve& c : d.curves)
        for (size_t i = 0; i < d.noiseLevels.size(); ++i) {
            const double v = valueAt(c, i);
            if (!std::isfinite(v))
                continue;
            low = std::min(low, v);
            high = std::max(high, v);
            whole = whole && v == std::floor(v);
        }
    if (high <= low)
        high = low + 1;
    l.yStep = roundAxisStep((high - low) / std::max(ticks, 1));
    if (whole)
        l.yStep = std::max(l.yStep, 1.0);
    l.yLow = std::floor(low / l.yStep + 1e-9) * l.yStep;
    l.yHigh = std::ceil(high / l.yStep - 1e-9) * l.yStep;
    if (l.yHigh <= l.yLow)
        l.yHigh = l.yLow + l.yStep;
}

int32_t widestYLabel(const platform::Dc& dc, const SimulationChartLayout& l)
{
    int32_t widest = 0;
    for (double v = l.yLow; v <= l.yHigh + l.yStep * 1e-6; v += l.yStep)
        widest = std::max(widest, textWidth(dc, axisText(v, l.yStep)));
    return widest;
}

// What the legend's entries need: the widest entry, and the height of a row.
struct LegendEntry {
    int32_t width = 0;
    int32_t height = 0;
};

LegendEntry legendEntry(const platform::Dc& dc, const SimulationChartData& d, int32_t textHeight)
{
    int32_t widest = 0;
    for (const SimulationChartCurve& c : d.curves)
        widest = std::max(widest, textWidth(dc, c.label));
    return {kLegendSample + 6 + widest, textHeight};
}

// Entries k = 0.. laid out in `columns` columns of `rows` rows from (left, top),
// down each column first.
std::vector<platform::Rect> legendGrid(size_t count, const LegendEntry& e, int32_t left, int32_t top, int32_t rows,
                                       bool downFirst, int32_t perRow)
{
    std::vector<platform::Rect> cells;
    for (size_t k = 0; k < count; ++k) {
        const auto index = static_cast<int32_t>(k);
        const int32_t row = downFirst ? index % rows : index / perRow;
        const int32_t column = downFirst ? index / rows : index % perRow;
        const int32_t x = left + column * (e.width + kLegendColumnGap);
        const int32_t y = top + row * (e.height + kLegendRowGap);
        cells.push_back({x, y, x + e.width, y + e.height});
    }
    return cells;
}

// The smallest of 1, 2, 5, 10, 20, 50, ... that keeps every labelled noise
// level clear of the next (two pixels spare for the rounding of columns and
// of the labels' halves).
int32_t labelSpacing(double pixelsApart, int32_t widest, size_t n)
{
    if (n < 2)
        return 1;
    for (int64_t m = 1; m < int64_t{1} << 40; m *= 10)
        for (const int64_t k : {m, 2 * m, 5 * m})
            if (static_cast<double>(k) * pixelsApart >= widest + kLabelGap + 2 || k >= static_cast<int64_t>(n))
                return static_cast<int32_t>(std::min<int64_t>(k, static_cast<int64_t>(n)));
    return static_cast<int32_t>(n);
}

// --- Drawing

void fillRow(platform::Dc& dc, int32_t y, int32_t from, int32_t to, const platform::Brush& brush)
{
    dc.fillRect({from, y, to + 1, y + 1}, brush);
}

void drawMarker(platform::Dc& dc, int32_t x, int32_t y, ChartMarker m, platform::Color colour)
{
    const platform::Brush ink = platform::createSolidBrush(colour);
    const platform::Brush paper = platform::createSolidBrush(platform::kWhite);
    const int32_t r = kMarker;
    switch (m) {
    case ChartMarker::Square:
        dc.fillRect({x - r, y - r, x + r + 1, y + r + 1}, ink);
        break;
    case ChartMarker::OpenSquare:
        dc.fillRect({x - r - 1, y - r - 1, x + r + 2, y + r + 2}, ink);
        dc.fillRect({x - r + 1, y - r + 1, x + r, y + r}, paper);
        break;
    case ChartMarker::Circle:
    case ChartMarker::OpenCircle: {
        const platform::Pen pen = dc.selectPen(platform::createPen(platform::PenStyle::Solid, 2, colour));
        const platform::Brush brush =
            dc.selectBrush(m == ChartMarker::Circle ? ink : platform::createSolidBrush(platform::kWhite));
        dc.ellipse(x - r - 1, y - r - 1, x + r + 2, y + r + 2);
        dc.selectBrush(brush);
        dc.selectPen(pen);
        break;
    }
    case ChartMarker::TriangleUp:
    case ChartMarker::TriangleDown:
        for (int32_t k = 0; k <= 2 * r; ++k) {
            const int32_t row = m == ChartMarker::TriangleUp ? y - r + k : y + r - k;
            fillRow(dc, row, x - (k + 1) / 2, x + (k + 1) / 2, ink);
        }
        break;
    case ChartMarker::Diamond:
        for (int32_t k = -r - 1; k <= r + 1; ++k)
            fillRow(dc, y + k, x - (r + 1 - std::abs(k)), x + (r + 1 - std::abs(k)), ink);
        break;
    case ChartMarker::Cross:
        for (int32_t k = -r; k <= r; ++k) {
            dc.fillRect({x + k, y + k, x + k + 2, y + k + 1}, ink);
            dc.fillRect({x + k, y - k, x + k + 2, y - k + 1}, ink);
        }
        break;
    }
}

void drawCurves(platform::Dc& dc, const SimulationChartLayout& l, const SimulationChartData& d)
{
    const size_t n = d.noiseLevels.size();
    for (size_t k = 0; k < d.curves.size(); ++k) {
        const platform::Color colour = simulationChartColor(k);
        const platform::Pen previous = dc.selectPen(platform::createPen(platform::PenStyle::Solid, 2, colour));
        bool joined = false;
        for (size_t i = 0; i < n; ++i) {
            const double v = valueAt(d.curves[k], i);
            if (!std::isfinite(v)) {
                joined = false;
                continue;
            }
            const int32_t x = simulationChartColumn(l, i, n), y = simulationChartRow(l, v);
            if (joined)
                dc.lineTo(x, y);
            else
                dc.moveTo(x, y);
            joined = true;
        }
        dc.selectPen(previous);
        if (!l.markers)
            continue;
        for (size_t i = 0; i < n; ++i)
            if (const double v = valueAt(d.curves[k], i); std::isfinite(v))
                drawMarker(dc, simulationChartColumn(l, i, n), simulationChartRow(l, v), simulationChartMarker(k),
                           colour);
    }
}

// Faint lines across at the labelled values, and the labels left of the frame.
void drawYAxis(platform::Dc& dc, const SimulationChartLayout& l)
{
    const int32_t th = dc.textMetrics().tmHeight;
    int32_t lastTop = std::numeric_limits<int32_t>::max();
    for (double v = l.yLow; v <= l.yHigh + l.yStep * 1e-6; v += l.yStep) {
        const int32_t row = simulationChartRow(l, v);
        for (int32_t x = l.x0 + 2; x < l.x1; x += 3)
            dc.setPixel(x, row, platform::rgb(190, 190, 190));
        dc.moveTo(l.x0 - kAxisTick, row);
        dc.lineTo(l.x0, row);
        const std::string text = axisText(v, l.yStep);
        const int32_t top = row - th / 2;
        if (top + th > lastTop)
            continue;  // would touch the label below it
        dc.textOut(l.x0 - kAxisTick - 2 - textWidth(dc, text), top, text);
        lastTop = top;
    }
}

void drawXAxis(platform::Dc& dc, const platform::Rect& area, const SimulationChartLayout& l,
               const SimulationChartData& d)
{
    const size_t n = d.noiseLevels.size();
    const bool everyTick = n < 2 || simulationChartColumn(l, 1, n) - simulationChartColumn(l, 0, n) >= 3;
    int32_t freeFrom = area.left;
    for (size_t i = 0; i < n; ++i) {
        const bool labelled = i % static_cast<size_t>(l.labelEvery) == 0;
        if (!labelled && !everyTick)
            continue;
        const int32_t x = simulationChartColumn(l, i, n);
        dc.moveTo(x, l.y1 + 1);
        dc.lineTo(x, l.y1 + 1 + (labelled ? kAxisTick : kAxisTick / 2));
        if (!labelled)
            continue;
        const std::string text = levelText(d.noiseLevels[i]);
        const int32_t w = textWidth(dc, text), left = x - w / 2;
        if (left < freeFrom || left + w > area.right)
            continue;
        dc.textOut(left, l.xLabelRow, text);
        freeFrom = left + w + kLabelGap;
    }
    if (d.xLabel.empty())
        return;
    const std::string title = textFittedTo(dc, d.xLabel, area.right - area.left);
    const int32_t w = textWidth(dc, title);
    const int32_t left = std::clamp((l.x0 + l.x1) / 2 - w / 2, area.left, area.right - w);
    dc.textOut(left, l.xTitleRow, title);
}

void drawLegend(platform::Dc& dc, const SimulationChartLayout& l, const SimulationChartData& d)
{
    for (size_t k = 0; k < d.curves.size() && k < l.legendCells.size(); ++k) {
        const platform::Rect& cell = l.legendCells[k];
        const platform::Color colour = simulationChartColor(k);
        const int32_t mid = (cell.top + cell.bottom) / 2;
        dc.fillRect({cell.left, mid - 1, cell.left + kLegendSample, mid + 1}, platform::createSolidBrush(colour));
        if (l.markers)
            drawMarker(dc, cell.left + kLegendSample / 2, mid, simulationChartMarker(k), colour);
        dc.textOut(cell.left + kLegendSample + 6, cell.top, d.curves[k].label);
    }
}

}  // namespace

platform::Color simulationChartColor(size_t k) { return spectrumCurveColor(k); }

ChartMarker simulationChartMarker(size_t k) { return static_cast<ChartMarker>(k % 8); }

SimulationChartLayout simulationChartLayout(const platform::Dc& dc, const platform::Rect& area,
                                            const SimulationChartData& d)
{
    SimulationChartLayout l;
    l.lineHeight = lineHeightOf(dc.textMetrics());
    const int32_t th = dc.textMetrics().tmHeight;  // the height of a text's cell
    const size_t n = d.noiseLevels.size();

    int32_t y = area.top;
    if (!d.title.empty())
        y += th + 1;
    y += (th + 1) * static_cast<int32_t>(d.info.size());
    if (y > area.top)
        y += th / 2;
    l.yLabelRow = y;
    if (!d.yLabel.empty())
        y += th + 2;
    l.y0 = y + 2;

    int32_t widestLevel = 0;
    for (const double level : d.noiseLevels)
        widestLevel = std::max(widestLevel, textWidth(dc, levelText(level)));
    const int32_t below = kAxisTick + 2 + th + (d.xLabel.empty() ? 0 : 4 + th) + 1;
    l.y1 = area.bottom - 1 - below;
    const int32_t leftReach = widestLevel / 2 - kPadding + 1;  // the first level's label left of the frame
    const int32_t rightReach = std::max(widestLevel / 2 - kPadding + 1, kRightMargin);
    if (n == 0 || d.curves.empty() || l.y1 - l.y0 < 2 * th + 2 * kPadding)
        return l;

    // The y scale and the gutter of its labels, for a frame of the present height.
    auto placeLeft = [&] {
        fitYAxis(d, std::max(2, (l.y1 - l.y0) / (5 * th)), l);
        l.x0 = area.left + std::max(widestYLabel(dc, l) + kAxisTick + 4, leftReach);
    };
    placeLeft();

    // The legend beside the frame, in as many columns as its height needs.
    const LegendEntry e = legendEntry(dc, d, th);
    const int32_t rows = std::max(1, (l.y1 - l.y0 + kLegendRowGap) / (e.height + kLegendRowGap));
    const auto columns = static_cast<int32_t>((d.curves.size() + static_cast<size_t>(rows) - 1) / rows);
    const int32_t legendWidth = columns * e.width + (columns - 1) * kLegendColumnGap;
    SimulationChartLayout beside = l;
    beside.x1 = area.right - 1 - std::max(legendWidth + kLegendGap, rightReach);
    beside.legendCells = legendGrid(d.curves.size(), e, beside.x1 + kLegendGap, l.y0, rows, true, 0);
    const int32_t width = area.right - area.left;
    const auto plotArea = [th](const SimulationChartLayout& p) {
        return p.x1 - p.x0 < 2 * kPadding + 20 || p.y1 - p.y0 < 2 * th + 2 * kPadding
                   ? 0
                   : int64_t{p.x1 - p.x0} * (p.y1 - p.y0);
    };
    l = beside;
    if (beside.x1 - beside.x0 < std::min(kLeastPlotWidth, width / 2)) {
        // Under the x axis' title, in rows as wide as the area, when the
        // graph keeps more room that way.
        SimulationChartLayout under = beside;
        const int32_t perRow = std::max(1, (width + kLegendColumnGap) / (e.width + kLegendColumnGap));
        const auto legendRows = static_cast<int32_t>((d.curves.size() + static_cast<size_t>(perRow) - 1) / perRow);
        under.y1 -= legendRows * (e.height + kLegendRowGap) + th / 2;
        if (under.y1 - under.y0 >= 2 * th + 2 * kPadding) {
            l = under;
            placeLeft();
            l.x1 = area.right - 1 - rightReach;
            const int32_t top = l.y1 + 1 + below - 1 + th / 2 + kLegendRowGap;
            l.legendCells = legendGrid(d.curves.size(), e, area.left, top, 0, false, perRow);
            if (plotArea(l) < plotArea(beside))
                l = beside;
        }
    }
    l.xLabelRow = l.y1 + 1 + kAxisTick + 2;
    l.xTitleRow = l.xLabelRow + th + 4;
    if (l.x1 - l.x0 < 2 * kPadding + 20)
        return l;
    const double apart = n > 1 ? static_cast<double>(l.x1 - l.x0 - 2 * kPadding) / static_cast<double>(n - 1) : 0;
    l.labelEvery = labelSpacing(apart, widestLevel, n);
    l.markers = n == 1 || apart >= kMarkerSpacing;
    l.drawable = true;
    return l;
}

int32_t simulationChartColumn(const SimulationChartLayout& l, size_t i, size_t n)
{
    if (n < 2)
        return (l.x0 + l.x1) / 2;
    const double inner = l.x1 - l.x0 - 2 * kPadding;
    return l.x0 + kPadding +
           static_cast<int32_t>(std::lround(static_cast<double>(i) * inner / static_cast<double>(n - 1)));
}

int32_t simulationChartRow(const SimulationChartLayout& l, double value)
{
    const double inner = l.y1 - l.y0 - 2 * kPadding;
    const double share = std::clamp((value - l.yLow) / (l.yHigh - l.yLow), 0.0, 1.0);
    return l.y1 - kPadding - static_cast<int32_t>(std::lround(share * inner));
}

SimulationChartLayout drawSimulationChart(platform::Dc& dc, const platform::Rect& area, const SimulationChartData& data)
{
    const SimulationChartLayout l = simulationChartLayout(dc, area, data);
    const int32_t th = dc.textMetrics().tmHeight;
    const int32_t width = area.right - area.left;
    int32_t y = area.top;
    if (!data.title.empty()) {
        dc.textOut(area.left, y, textFittedTo(dc, data.title, width));
        y += th + 1;
    }
    for (const std::string& line : data.info) {
        dc.textOut(area.left, y, textFittedTo(dc, line, width));
        y += th + 1;
    }
    if (!l.drawable)
        return l;
    if (!data.yLabel.empty())
        dc.textOut(area.left, l.yLabelRow, textFittedTo(dc, data.yLabel, width));
    {
        ScopedPen pen(dc, platform::kBlack);
        ScopedBrush brush(dc, platform::kWhite);
        dc.rectangle(l.x0, l.y0, l.x1 + 1, l.y1 + 1);
    }
    drawYAxis(dc, l);
    drawCurves(dc, l, data);
    drawXAxis(dc, area, l, data);
    drawLegend(dc, l, data);
    return l;
}

}  // namespace views
