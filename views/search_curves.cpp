#include "views/search_curves.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "views/drawing_conventions.h"
#include "views/plot_axes.h"

namespace views {

namespace {

constexpr int32_t kAxisTick = 4;      // length of the axis ticks outside the frame
constexpr int32_t kPadding = 6;       // pixels kept free inside the frame around the curves
constexpr int32_t kRightMargin = 12;  // room for half of the last x label
constexpr int32_t kLabelGap = 8;      // least free space between two x labels
constexpr int32_t kRing = 6;          // radius of the best point's ring
constexpr int32_t kLegendLine = 18;   // length of a legend's colour sample

int32_t textWidth(const platform::Dc& dc, const std::string& text) { return dc.textExtent(text).cx; }

// The range of the finite values, widened to steps that give about `ticks`
// labels; a single value gets a range of one step around it.
void axisRange(double low, double high, int32_t ticks, double& from, double& to, double& step)
{
    if (high <= low) {
        const double half = std::max(std::fabs(low) * 0.05, 0.5);
        low -= half;
        high += half;
    }
    step = roundAxisStep((high - low) / std::max(ticks, 1));
    from = std::floor(low / step + 1e-9) * step;
    to = std::ceil(high / step - 1e-9) * step;
}

bool hasValue(double v) { return std::isfinite(v); }

void drawCurve(platform::Dc& dc, const SpectrumPlotLayout& l, const SpectrumCurve& c, platform::Color colour)
{
    const platform::Pen previous = dc.selectPen(platform::createPen(platform::PenStyle::Solid, 2, colour));
    const bool dots = c.x.size() <= 80;
    bool joined = false;
    for (size_t i = 0; i < c.x.size() && i < c.y.size(); ++i) {
        if (!hasValue(c.y[i])) {
            joined = false;
            continue;
        }
        const int32_t x = spectrumColumn(l, c.x[i]), y = spectrumRow(l, c.y[i]);
        if (joined)
            dc.lineTo(x, y);
        else
            dc.moveTo(x, y);
        joined = true;
        if (dots)
            dc.fillRect({x - 2, y - 2, x + 3, y + 3}, platform::createSolidBrush(colour));
        dc.moveTo(x, y);
    }
    dc.selectPen(previous);
}

void drawAxes(platform::Dc& dc, const platform::Rect& area, const SpectrumPlotLayout& l, const SpectrumPlotData& d)
{
    const int32_t half = l.lineHeight / 2;
    for (double v = l.yLow; v <= l.yHigh + l.yStep * 1e-6; v += l.yStep) {
        const int32_t y = spectrumRow(l, v);
        const std::string text = axisText(v, l.yStep);
        dc.textOut(l.x0 - kAxisTick - 2 - textWidth(dc, text), y - half, text);
        dc.moveTo(l.x0 - kAxisTick, y);
        dc.lineTo(l.x0, y);
    }
    if (!d.yLabel.empty())
        dc.textOut(area.left, l.y0 - l.lineHeight - 2, d.yLabel);

    const int32_t labelRow = l.y1 + kAxisTick + 3;
    const int32_t nameLeft = l.x1 - textWidth(dc, d.xLabel);
    dc.textOut(nameLeft, labelRow + l.lineHeight, d.xLabel);
    int32_t freeFrom = area.left;
    for (double v = l.xLow; v <= l.xHigh + l.xStep * 1e-6; v += l.xStep) {
        const int32_t x = spectrumColumn(l, v);
        dc.moveTo(x, l.y1 + 1);
        dc.lineTo(x, l.y1 + 1 + kAxisTick);
        const std::string text = axisText(v, l.xStep);
        const int32_t w = textWidth(dc, text), left = x - w / 2;
        if (left < freeFrom || left + w > area.right)
            continue;
        dc.textOut(left, labelRow, text);
        freeFrom = left + w + kLabelGap;
    }
}

// The legend in the frame's top right corner: a colour sample and a label
// per curve, one line each.
void drawLegend(platform::Dc& dc, const SpectrumPlotLayout& l, const SpectrumPlotData& d)
{
    int32_t widest = 0;
    for (const SpectrumCurve& c : d.curves)
        widest = std::max(widest, textWidth(dc, c.label));
    const int32_t left = l.x1 - 8 - widest - kLegendLine - 6;
    int32_t y = l.y0 + 6;
    for (size_t k = 0; k < d.curves.size() && y + l.lineHeight < l.y1; ++k) {
        dc.fillRect({left, y + l.lineHeight / 2 - 1, left + kLegendLine, y + l.lineHeight / 2 + 1},
                    platform::createSolidBrush(spectrumCurveColor(k)));
        dc.textOut(left + kLegendLine + 6, y, d.curves[k].label);
        y += l.lineHeight + 2;
    }
}

void drawBest(platform::Dc& dc, const SpectrumPlotLayout& l, const SpectrumPlotData& d)
{
    if (d.bestCurve < 0 || static_cast<size_t>(d.bestCurve) >= d.curves.size())
        return;
    const SpectrumCurve& c = d.curves[static_cast<size_t>(d.bestCurve)];
    if (d.bestPoint >= c.x.size() || d.bestPoint >= c.y.size() || !hasValue(c.y[d.bestPoint]))
        return;
    const int32_t x = spectrumColumn(l, c.x[d.bestPoint]), y = spectrumRow(l, c.y[d.bestPoint]);
    {
        const platform::Pen pen = dc.selectPen(platform::createPen(platform::PenStyle::Solid, 2, kSpectrumBestColor));
        const platform::Brush brush = dc.selectBrush(platform::stockBrush(platform::StockBrush::Null));
        dc.ellipse(x - kRing, y - kRing, x + kRing + 1, y + kRing + 1);
        dc.selectBrush(brush);
        dc.selectPen(pen);
    }
    if (d.bestLabel.empty())
        return;
    const int32_t w = textWidth(dc, d.bestLabel);
    // Right of the ring, or left of it near the right edge; above the frame's top it would leave the graph.
    const int32_t left = x + kRing + 4 + w < l.x1 ? x + kRing + 4 : x - kRing - 4 - w;
    const int32_t top = std::max(l.y0 + 2, y - kRing - l.lineHeight);
    const platform::Color previous = dc.setTextColor(kSpectrumBestColor);
    dc.textOut(left, top, d.bestLabel);
    dc.setTextColor(previous);
}

}  // namespace

platform::Color spectrumCurveColor(size_t k)
{
    static constexpr platform::Color colours[] = {
        platform::rgb(0, 0, 230),   platform::rgb(0, 150, 0),   platform::rgb(230, 120, 0), platform::rgb(150, 0, 170),
        platform::rgb(0, 160, 170), platform::rgb(120, 80, 20), platform::rgb(90, 90, 90),
    };
    return colours[k % std::size(colours)];
}

SpectrumPlotLayout spectrumPlotLayout(const platform::Dc& dc, const platform::Rect& area, const SpectrumPlotData& d)
{
    SpectrumPlotLayout l;
    l.lineHeight = lineHeightOf(dc.textMetrics());
    const int32_t LH = l.lineHeight;
    double xLow = std::numeric_limits<double>::infinity(), xHigh = -xLow;
    double yLow = xLow, yHigh = -xLow;
    for (const SpectrumCurve& c : d.curves)
        for (size_t i = 0; i < c.x.size() && i < c.y.size(); ++i) {
            if (!std::isfinite(c.x[i]))
                continue;
            xLow = std::min(xLow, c.x[i]);
            xHigh = std::max(xHigh, c.x[i]);
            if (hasValue(c.y[i])) {
                yLow = std::min(yLow, c.y[i]);
                yHigh = std::max(yHigh, c.y[i]);
            }
        }
    int32_t y = area.top + (d.title.empty() ? 0 : LH + 1) + LH * static_cast<int32_t>(d.info.size());
    l.y0 = y + LH / 2 + LH + 4;  // a line for the y axis' name above the frame
    l.y1 = area.bottom - 1 - (kAxisTick + 3 + 2 * LH + 2);
    if (!(yLow <= yHigh) || !(xLow <= xHigh) || l.y1 - l.y0 < 4 * LH)
        return l;
    axisRange(yLow, yHigh, std::max(2, (l.y1 - l.y0) / (3 * LH)), l.yLow, l.yHigh, l.yStep);
    int32_t gutter = 0;
    for (double v = l.yLow; v <= l.yHigh + l.yStep * 1e-6; v += l.yStep)
        gutter = std::max(gutter, textWidth(dc, axisText(v, l.yStep)));
    l.x0 = area.left + gutter + kAxisTick + 4;
    l.x1 = area.right - 1 - kRightMargin;
    if (l.x1 - l.x0 < 40)
        return l;
    const int32_t widest = std::max(textWidth(dc, axisText(xLow, 1)), textWidth(dc, axisText(xHigh, 1)));
    axisRange(xLow, xHigh, std::max(1, (l.x1 - l.x0) / (widest + 4 * kLabelGap)), l.xLow, l.xHigh, l.xStep);
    l.drawable = true;
    return l;
}

int32_t spectrumColumn(const SpectrumPlotLayout& l, double x)
{
    const double inner = l.x1 - l.x0 - 2 * kPadding;
    return l.x0 + kPadding + static_cast<int32_t>(std::lround((x - l.xLow) / (l.xHigh - l.xLow) * inner));
}

int32_t spectrumRow(const SpectrumPlotLayout& l, double y)
{
    const double inner = l.y1 - l.y0 - 2 * kPadding;
    return l.y1 - kPadding - static_cast<int32_t>(std::lround((y - l.yLow) / (l.yHigh - l.yLow) * inner));
}

void drawSpectrumPlot(platform::Dc& dc, const platform::Rect& area, const SpectrumPlotData& data)
{
    const SpectrumPlotLayout l = spectrumPlotLayout(dc, area, data);
    int32_t y = area.top;
    if (!data.title.empty()) {
        dc.textOut(area.left, y, data.title);
        y += l.lineHeight + 1;
    }
    for (const std::string& line : data.info) {
        dc.textOut(area.left, y, line);
        y += l.lineHeight;
    }
    if (!l.drawable)
        return;
    {
        ScopedPen pen(dc, platform::kBlack);
        ScopedBrush brush(dc, platform::kWhite);
        dc.rectangle(l.x0, l.y0, l.x1 + 1, l.y1 + 1);
    }
    // Faint lines across at the labelled values.
    for (double v = l.yLow; v <= l.yHigh + l.yStep * 1e-6; v += l.yStep) {
        const int32_t row = spectrumRow(l, v);
        for (int32_t x = l.x0 + 2; x < l.x1; x += 3)
            dc.setPixel(x, row, platform::rgb(190, 190, 190));
    }
    for (size_t k = 0; k < data.curves.size(); ++k)
        drawCurve(dc, l, data.curves[k], spectrumCurveColor(k));
    drawBest(dc, l, data);
    drawLegend(dc, l, data);
    drawAxes(dc, area, l, data);
}

}  // namespace views
