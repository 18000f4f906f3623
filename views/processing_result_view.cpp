#include "views/processing_result_view.h"

#include <algorithm>
#include <string>

#include "detection/task_codes.h"
#include "views/drawing_primitives.h"
#include "views/processing_result_text.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

namespace {

bool blindDetection(const detection::StepwiseProtocol& p) { return p.wTask == detection::taskBlindDetection; }

// The positions of one protocol row, as many as the row records and holds.
std::span<const int16_t> rowPositions(const detection::StepwiseProtocol& p, int row)
{
    const std::vector<int16_t>& positions = p.lpRowPositions[static_cast<size_t>(row)];
    return {positions.data(), std::min<size_t>(p.lpPulses[static_cast<size_t>(row)], positions.size())};
}

// The mean of the observed windows of a row, rounded half up. A row without
// positions has no mean: its shape is flat; a window reaching past the
// series reads 0 there.
void meanShapeOfRow(const detection::StepwiseProtocol& p, int row, std::span<const int16_t> observed,
                    synthesis::PulseHeader& shape)
{
    const std::span<const int16_t> starts = rowPositions(p, row);
    const auto n = static_cast<int64_t>(starts.size());
    for (size_t j = 0; j < shape.wSize && j < shape.lpData.size(); ++j) {
        int64_t sum = 0;
        for (int16_t start : starts) {
            const int64_t at = int64_t{start} + static_cast<int64_t>(j);
            if (at >= 0 && at < static_cast<int64_t>(observed.size()))
                sum += observed[static_cast<size_t>(at)];
        }
        shape.lpData[j] = n == 0 ? int16_t{0} : static_cast<int16_t>((n + 2 * sum) / (2 * n));
    }
}

// The series rebuilt from a row: inside each of its windows the value the
// caller gives for (sample, offset in the window), zero outside.
template <class Inside>
void drawWalkedCurve(platform::Dc& dc, const SeriesPlot& plot, std::span<const int16_t> starts, int32_t L,
                     Inside insideValue)
{
    PulseWindowWalk walk(starts, L, plot.N);
    drawPlotCurve(dc, plot, [&](int32_t i) { return walk.inside(i) ? insideValue(i, i - walk.start()) : int32_t{0}; });
}

}  // namespace

ProcessingResultLayout processingResultLayout(const ViewFrame& frame, const detection::StepwiseProtocol& protocol,
                                              const detection::DetectionStudy* study, int32_t n)
{
    const LayoutRect& v = frame.viewArea;
    const int32_t LH = frame.lineHeight;
    ProcessingResultLayout l;
    l.record = blindDetection(protocol) && study && study->wDetectionMethod == detection::kAdditiveModel ? 1 : 0;
    const ResultLayout& r = resultLayouts[static_cast<size_t>(l.record)];
    const ViewSize size = viewSize(frame);
    l.Wv = size.Wv;
    l.Hv = size.Hv;
    l.Hu = size.Hu;
    l.m = wrapMul(r.margin, l.Wv) / 1000;
    l.t = wrapAdd(wrapMul(l.Hv, r.topMargin), 500) / 1000;
    l.t2 = wrapAdd(wrapMul(l.Hv, r.topMargin), 1000) / 2000;
    l.x0 = wrapAdd(v.left, l.m);
    l.W = wrapMul(r.plotWidth, l.Wv) / 1000;
    l.H = wrapMul(r.plotHeight, l.Hu) / 1000;
    if (l.H % 2 != 0)
        l.H = wrapAdd(l.H, 1);
    l.cw = wrapMul(r.cellWidth, l.Wv) / 1000;
    l.ch = wrapMul(r.cellHeight, l.Hu) / 1000;
    l.rb = LH - 3 + (LH >> 2);
    l.yHeader = wrapSub(v.top, LH >> 1);
    l.yA = wrapAdd(wrapAdd(v.top, 1), wrapMul(4, LH));
    l.yB = wrapAdd(wrapAdd(l.yA, l.H), LH);
    l.yD = wrapAdd(wrapAdd(l.yB, l.H), LH);
    l.yNext = l.record == 1 ? wrapAdd(wrapAdd(l.yB, l.H), LH) : wrapAdd(wrapAdd(wrapAdd(l.yD, l.H), 1), LH);
    l.yT = l.yNext;
    if (blindDetection(protocol)) {
        const int32_t energyHeight = wrapMul(r.energyGraphHeight, l.Hu) / 1000;
        l.yT = wrapAdd(wrapAdd(wrapAdd(l.yNext, 1), energyHeight), LH);
    }
    l.panel = alphabetPanelLayout(v, LH, n, l.m, l.t, l.t2, l.cw, l.ch);
    return l;
}

namespace {

// What every part of the result view reads: the input, the protocol and the
// series it shows, their layout and the samples drawn.
struct ResultScene {
    platform::Dc& dc;                        // the surface drawn on
    const ProcessingResultInput& in;         // the view's input
    const detection::StepwiseProtocol& p;    // the protocol shown
    synthesis::SeriesHeader& s;              // the series shown
    const detection::DetectionStudy* study;  // the detection study, if any
    const ProcessingResultLayout& l;         // where each part goes
    int32_t LH;                              // the line height
    int rows;                                // the protocol rows in use
    bool blind;                              // the protocol is of blind detection
    bool panels;                             // the unfixed-case panels are shown
    int32_t L;                               // the pulse length
    int32_t N;                               // the samples plotted, 0 for empty plots
    std::span<const int16_t> pure;           // the pure series
    std::span<const int16_t> observed;       // the observed series
};

// The four header lines, the first a pixel further from the second.
void drawResultHeader(const ResultScene& c)
{
    const std::array<std::string, 4> header = processingResultHeader(c.p, c.study, c.in.activeEtalons, c.s);
    int32_t y = c.l.yHeader;
    for (size_t line = 0; line < header.size(); ++line) {
        c.dc.textOut(c.l.x0, y, header[line]);
        y = wrapAdd(y, line == 0 ? c.LH + 1 : c.LH);
    }
}

// Plot A: the true pulses over the pure series, each labelled with its
// start (its etalon's letter, its cut-off range when it has them).
void drawTruePulsesPlot(const ResultScene& c, const SeriesPlot& plot, bool letters)
{
    platform::Dc& dc = c.dc;
    const synthesis::SeriesHeader& s = c.s;
    const bool cutOff = detection::isCutOffSeries(c.p.wSeriesType);
    const size_t K = std::min<size_t>(s.wImpulseQuantity, s.lpPositions.size());
    for (size_t k = 0; k < K; ++k) {
        std::string label = formatText("%d", s.lpPositions[k]);
        if (letters && k < s.lpEtalonSequence.size())
            label += formatText("%c", 96 + s.lpEtalonSequence[k]);
        if (cutOff && k < s.lpCutFrom.size() && k < s.lpCutTo.size())
            label += formatText("[%d..%d] ", s.lpCutFrom[k], s.lpCutTo[k]);
        drawPlotLabel(dc, plot, s.lpPositions[k], label);
    }
    drawPlotFrame(dc, plot);
    drawPlotAxes(dc, plot);
    drawPlotCurve(dc, plot, c.pure);
    drawPlotPulseMarks(dc, plot, s);
}

// Plot B: the found pulses over the observed series, with the interval bands
// and the chain totals of the unfixed-case panels.
void drawFoundPulsesPlot(const ResultScene& c, const SeriesPlot& plot)
{
    platform::Dc& dc = c.dc;
    const synthesis::SeriesHeader& s = c.s;
    const size_t found = std::min<size_t>(s.wFoundPulses, s.lpFoundPositions.size());
    for (size_t k = 0; k < found; ++k)
        drawPlotLabel(dc, plot, s.lpFoundPositions[k], formatText("%d", s.lpFoundPositions[k]));
    drawPlotFrame(dc, plot);
    if (c.panels && c.in.typeMoreDetails && c.study)
        drawIntervalBands(dc, plot, *c.study);
    drawPlotAxes(dc, plot);
    {
        ScopedPen pen(dc, kObservedSeriesCurve);
        drawPlotCurve(dc, plot, c.observed);
    }
    drawPlotPulseMarks(dc, plot, s);
    if (c.panels && !c.in.chainTotals.empty())
        drawChainTotals(dc, plot, c.in.chainTotals, c.L);
}

// Plot D: the series rebuilt from the shown row's pulses (row 4's first,
// outside blind detection). Without a work pulse only its frame and
// overlays are drawn.
void drawReconstructionPlot(const ResultScene& c, const SeriesPlot& plot, int r, synthesis::PulseHeader* work)
{
    platform::Dc& dc = c.dc;
    const detection::StepwiseProtocol& p = c.p;
    const std::span<const int16_t> observed = c.observed;
    const int32_t L = c.L;
    drawPlotFrame(dc, plot);
    if (c.panels && c.in.typeMoreDetails && c.study)
        drawKeptPulseOverlay(dc, plot, *c.study, observed, L);
    if (c.panels && p.lpPulses[static_cast<size_t>(r)] != c.s.wImpulseQuantity)
        drawTrueCountOverlay(dc, plot, p, c.s, observed);
    if (!work)
        return;
    synthesis::PulseHeader& shape = *work;
    auto shapeAt = [&](int32_t, int32_t offset) {
        return offset >= 0 && static_cast<size_t>(offset) < shape.lpData.size()
                   ? int32_t{shape.lpData[static_cast<size_t>(offset)]}
                   : int32_t{0};
    };
    if (!c.blind && c.rows > 4) {
        meanShapeOfRow(p, 4, observed, shape);
        ScopedPen pen(dc, kObservedSeriesCurve);
        drawWalkedCurve(dc, plot, rowPositions(p, 4), L, shapeAt);
    }
    meanShapeOfRow(p, r, observed, shape);
    drawPlotAxes(dc, plot);
    if (c.blind)
        drawWalkedCurve(dc, plot, rowPositions(p, r), L,
                        [&](int32_t i, int32_t) { return int32_t{observed[static_cast<size_t>(i)]}; });
    else
        drawWalkedCurve(dc, plot, rowPositions(p, r), L, shapeAt);
    drawPlotPulseMarks(dc, plot, c.s);
}

// The protocol table and, on the unfixed-case panels, the threshold lines
// under it. Returns how far below the table's top the next part starts.
int32_t drawProtocolTable(const ResultScene& c)
{
    platform::Dc& dc = c.dc;
    const int32_t LH = c.LH;
    const int32_t yHead = c.l.yT - 3;
    for (const TableCell& cell : protocolTableHeader(c.p))
        dc.textOut(wrapAdd(c.l.x0, cell.x), yHead, formatText("%s", cell.text.c_str()));
    for (int i = 0; i < c.rows; ++i) {
        const int32_t yRow = wrapAdd(wrapAdd(yHead, LH), wrapMul(i, LH - 2));
        for (const TableCell& cell : protocolTableRow(c.p, c.s, i))
            dc.textOut(wrapAdd(c.l.x0, cell.x), yRow, cell.text);
    }
    int32_t yo = wrapAdd(-3 + LH, wrapMul(c.rows, LH - 2));
    if (c.rows < 4)
        yo = wrapAdd(yo, LH);
    yo = wrapAdd(yo, LH >> 1);
    if (c.panels && c.study)
        yo = wrapAdd(yo, drawThresholdLines(dc, c.l.x0, wrapAdd(c.l.yT, yo), LH, *c.study));
    return yo;
}

// The mean shape of every row's pulses, side by side from `top`.
void drawRowShapes(const ResultScene& c, int32_t top, int32_t amplitude, synthesis::PulseHeader& work)
{
    int32_t left = c.l.x0;
    for (int i = 0; i < c.rows; ++i) {
        meanShapeOfRow(c.p, i, c.observed, work);
        const int32_t right = wrapAdd(left, wrapMul(2, c.l.cw));
        DrawPulseStrip(c.dc, {left, top, right, wrapAdd(top, c.l.H)}, amplitude, work, c.LH);
        left = wrapAdd(right, 70);
    }
}

// The count graph, then the energy graph, of the unfixed-case panels.
void drawCountAndEnergyGraphs(const ResultScene& c, const ResultLayout& record)
{
    const ProcessingResultInput& in = c.in;
    if (in.pulseCountTable)
        settlePulseCountTable(*in.pulseCountTable);
    if (c.panels && in.pulseCountTable) {
        const GraphBox box = countGraphBox(record, in.frame.viewArea, c.l.Wv, c.l.Hu, c.l.x0, c.l.rb);
        drawCountGraph(c.dc, box, *in.pulseCountTable, c.p, c.LH);
    }
    if (c.panels && c.study && c.N > 0) {
        const GraphBox box = energyGraphBox(record, in.frame.viewArea, c.l.Wv, c.l.Hu, c.N, c.L, c.l.yNext);
        drawEnergyGraph(c.dc, box, *c.study, c.N - c.L + 1, c.LH);
    }
}

}  // namespace

void DrawProcessingResult(platform::Dc& dc, base::MessageSink& sink, const ProcessingResultInput& in)
{
    const int rows = in.protocol ? protocolRowsInUse(*in.protocol) : 0;
    if (!in.series || rows == 0) {
        drawAreaFrame(dc, in.frame.viewArea);
        return;
    }
    const detection::StepwiseProtocol& p = *in.protocol;
    synthesis::SeriesHeader& s = *in.series;
    const detection::DetectionStudy* study = in.detectionStudy;
    const int32_t LH = in.frame.lineHeight;
    const bool blind = blindDetection(p);

    PulseHeaderPtr work = createPulseHeader(sink, s.wImpulseSize, 0);
    drawAreaFrame(dc, in.frame.viewArea);

    const size_t n = std::min<size_t>(in.activeEtalons, in.requiredList.size());
    const ProcessingResultLayout l = processingResultLayout(in.frame, p, study, static_cast<int32_t>(n));
    const ResultLayout& record = resultLayouts[static_cast<size_t>(l.record)];
    const DisplayAmplitude amp = displayAmplitude(s.wAmplitude, s.wNoiseLevel);

    // A series shorter than its own length is drawn as empty plots.
    const size_t samples = std::min<size_t>({s.dwSeriesSize, s.lpPureData.size(), s.lpSeriesData.size()});
    const ResultScene c{.dc = dc,
                        .in = in,
                        .p = p,
                        .s = s,
                        .study = study,
                        .l = l,
                        .LH = LH,
                        .rows = rows,
                        .blind = blind,
                        .panels = showsUnfixedCasePanels(p),
                        .L = s.wImpulseSize,
                        .N = static_cast<int32_t>(samples == s.dwSeriesSize ? samples : 0),
                        .pure = std::span<const int16_t>(s.lpPureData.data(), samples),
                        .observed = std::span<const int16_t>(s.lpSeriesData.data(), samples)};

    drawResultHeader(c);

    // The shown row becomes the series' found pulses, which the marks frame.
    const int r = shownProtocolRow(p);
    storeShownRow(p, s);

    SeriesPlot plot{l.x0, l.yA, l.W, l.H, amp.S, c.N, in.range};
    ShownPlots shown;
    shown.N = c.N;
    shown.shown = shownSamples(in.range, c.N);
    drawTruePulsesPlot(c, plot, blind && in.activeEtalons > 1);
    shown.add(shownPlot(plot, PlotKind::Pure));

    plot.y = l.yB;
    drawFoundPulsesPlot(c, plot);
    shown.add(shownPlot(plot, PlotKind::Observed));

    if (l.record != 1) {
        plot.y = l.yD;
        shown.add(shownPlot(plot, PlotKind::Reconstruction));
        drawReconstructionPlot(c, plot, r, work.get());
    }

    // Plots of fewer than two samples have nothing to read or zoom.
    if (in.shownPlots && c.N >= 2)
        *in.shownPlots = shown;

    const int32_t yo = drawProtocolTable(c);
    if (!blind && work)
        drawRowShapes(c, wrapAdd(l.yT, yo), amp.a, *work);
    drawCountAndEnergyGraphs(c, record);

    drawAlphabetPanel(dc, l.panel, LH, in.requiredList.first(n), s, amp.a);

    work = freePulseHeader(std::move(work));
}

}  // namespace views
