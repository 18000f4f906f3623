#include "views/series_view.h"

#include <algorithm>

#include "views/drawing_primitives.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

namespace {

// The columns of the table head, with their offsets from x0.
struct TableColumn {
    const char* label;
    int32_t offset;
};
constexpr TableColumn kTableHead[] = {
    {"method", 0},    {"    criteria", 50}, {"factor", 120}, {"squares", 160},
    {"   iter", 225}, {" disp", 255},       {"dp", 300},     {" pulses position", 330},
};

}  // namespace

SeriesViewLayout seriesViewLayout(const ViewFrame& frame, int32_t n)
{
    const LayoutRect& v = frame.viewArea;
    const int32_t LH = frame.lineHeight;
    SeriesViewLayout l;
    const ViewSize size = viewSize(frame);
    l.Wv = size.Wv;
    l.Hv = size.Hv;
    l.Hu = size.Hu;
    const int32_t m = wrapMul(12, l.Wv) / 1000;
    const int32_t t = wrapAdd(wrapMul(15, l.Hv), 500) / 1000;
    const int32_t t2 = wrapAdd(wrapMul(15, l.Hv), 1000) / 2000;
    l.x0 = wrapAdd(v.left, m);
    l.W = wrapMul(800, l.Wv) / 1000;
    l.H = wrapMul(240, l.Hu) / 1000;
    if (l.H & 1)
        l.H = wrapAdd(l.H, 1);
    const int32_t cw = wrapMul(50, l.Wv) / 1000;
    const int32_t ch = wrapMul(125, l.Hu) / 1000;
    l.panel = alphabetPanelLayout(v, LH, n, m, t, t2, cw, ch);

    l.yHeader = wrapSub(v.top, LH >> 1);
    const int32_t yLine4 = wrapAdd(l.yHeader, 3 * LH + 1);
    l.yA = wrapAdd(wrapAdd(yLine4, LH), LH >> 1);
    l.yB = wrapAdd(wrapAdd(l.yA, LH), l.H);
    l.yC = wrapAdd(wrapAdd(l.yB, LH), l.H);
    l.yT = wrapAdd(wrapAdd(wrapAdd(l.yC, l.H), 1), LH);
    return l;
}

void drawSeriesView(platform::Dc& dc, const ViewFrame& frame, uint16_t n, std::span<const uint16_t> requiredList,
                    const synthesis::SeriesHeader* series, SampleRange range, ShownPlots* shownPlots)
{
    drawAreaFrame(dc, frame.viewArea);
    if (!series)
        return;
    const synthesis::SeriesHeader& s = *series;
    const int32_t LH = frame.lineHeight;
    const size_t inUse = std::min<size_t>(n, requiredList.size());
    const SeriesViewLayout l = seriesViewLayout(frame, static_cast<int32_t>(inUse));
    const DisplayAmplitude amp = displayAmplitude(s.wAmplitude, s.wNoiseLevel);
    const bool letters = inUse > 1;

    // The header names the task and the series the same way for every series type.
    int32_t y = l.yHeader;
    dc.textOut(l.x0, y, headerTitleLine("series processing", "unknown number of whole pulses"));
    y = wrapAdd(y, LH + 1);
    dc.textOut(l.x0, y, headerParameterLine(s, amp.a));
    y = wrapAdd(y, LH);
    dc.textOut(l.x0, y, headerCountLine(s));
    y = wrapAdd(y, LH);
    dc.textOut(l.x0, y, headerPulsesLine(s, letters));

    // A series shorter than its own length is drawn as empty plots.
    const size_t samples = std::min<size_t>({s.dwSeriesSize, s.lpPureData.size(), s.lpSeriesData.size()});
    const auto N = static_cast<int32_t>(samples == s.dwSeriesSize ? samples : 0);
    const std::span<const int16_t> pure(s.lpPureData.data(), samples);
    const std::span<const int16_t> observed(s.lpSeriesData.data(), samples);
    const std::span<const int16_t> found(s.lpFoundPositions.data(),
                                         std::min<size_t>(s.wFoundPulses, s.lpFoundPositions.size()));

    SeriesPlot plot{l.x0, l.yA, l.W, l.H, amp.S, N, range};
    ShownPlots shown;
    shown.N = N;
    shown.shown = shownSamples(range, N);
    const size_t K = std::min<size_t>(s.wImpulseQuantity, s.lpPositions.size());
    for (size_t k = 0; k < K; ++k) {
        std::string label = formatText("%d", s.lpPositions[k]);
        if (letters && k < s.lpEtalonSequence.size())
            label += formatText("%c", 96 + s.lpEtalonSequence[k]);
        drawPlotLabel(dc, plot, s.lpPositions[k], label);
    }
    drawPlotFrame(dc, plot);
    drawPlotAxes(dc, plot);
    drawPlotCurve(dc, plot, pure);
    drawPlotPulseMarks(dc, plot, s);
    shown.add(shownPlot(plot, PlotKind::Pure));

    plot.y = l.yB;
    for (int16_t p : found)
        drawPlotLabel(dc, plot, p, formatText("%d", p));
    drawPlotFrame(dc, plot);
    drawPlotAxes(dc, plot);
    {
        ScopedPen pen(dc, kObservedSeriesCurve);
        drawPlotCurve(dc, plot, observed);
    }
    drawPlotPulseMarks(dc, plot, s);
    shown.add(shownPlot(plot, PlotKind::Observed));

    plot.y = l.yC;
    drawPlotFrame(dc, plot);
    drawPlotAxes(dc, plot);
    PulseWindowWalk walk(found, s.wImpulseSize, N);
    drawPlotCurve(dc, plot, [&](int32_t i) { return walk.inside(i) ? int32_t{observed[static_cast<size_t>(i)]} : 0; });
    drawPlotPulseMarks(dc, plot, s);
    shown.add(shownPlot(plot, PlotKind::FoundPulses));
    // Plots of fewer than two samples have nothing to read or zoom.
    if (shownPlots && N >= 2)
        *shownPlots = shown;

    for (const TableColumn& column : kTableHead)
        dc.textOut(wrapAdd(l.x0, column.offset), l.yT - 3, formatText("%s", column.label));

    drawAlphabetPanel(dc, l.panel, LH, requiredList.first(inUse), s, amp.a);
}

}  // namespace views
