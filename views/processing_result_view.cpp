#include "views/processing_result_view.h"

#include <algorithm>
#include <string>

#include "views/drawing_primitives.h"
#include "views/processing_result_text.h"

using views::add32;
using views::mul32;
using views::sub32;

namespace {

bool blindDetection(const StepwiseProtocol& p) { return p.wTask == 32; }

// The positions of one protocol row, as many as the row records and holds.
std::span<const int16_t> rowPositions(const StepwiseProtocol& p, int row)
{
    const std::vector<int16_t>& positions = p.lpRowPositions[static_cast<size_t>(row)];
    return {positions.data(), std::min<size_t>(p.lpPulses[static_cast<size_t>(row)], positions.size())};
}

// The mean of the observed windows of a row, rounded half up. A row without
// positions has no mean: its shape is flat; a window reaching past the
// series reads 0 there.
void meanShapeOfRow(const StepwiseProtocol& p, int row, std::span<const int16_t> observed, PulseHeader& shape)
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
void drawWalkedCurve(platform::Dc& dc, const views::SeriesPlot& plot, std::span<const int16_t> starts, int32_t L,
                     Inside insideValue)
{
    views::PulseWindowWalk walk(starts, L, plot.N);
    views::drawPlotCurve(dc, plot, [&](int32_t i) {
        return walk.inside(i) ? insideValue(i, i - walk.start()) : int32_t{0};
    });
}

}  // namespace

ProcessingResultLayout processingResultLayout(const views::ViewFrame& frame, const StepwiseProtocol& protocol,
                                              const DetectionStudy* study, int32_t n)
{
    const LayoutRect& v = frame.viewArea;
    const int32_t LH = frame.lineHeight;
    ProcessingResultLayout l;
    l.record = blindDetection(protocol) && study && study->wDetectionMethod == additiveModel ? 1 : 0;
    const views::ResultLayout& r = views::resultLayouts[static_cast<size_t>(l.record)];
    const views::ViewSize size = views::viewSize(frame);
    l.Wv = size.Wv;
    l.Hv = size.Hv;
    l.Hu = size.Hu;
    l.m = mul32(r.margin, l.Wv) / 1000;
    l.t = add32(mul32(l.Hv, r.topMargin), 500) / 1000;
    l.t2 = add32(mul32(l.Hv, r.topMargin), 1000) / 2000;
    l.x0 = add32(v.left, l.m);
    l.W = mul32(r.plotWidth, l.Wv) / 1000;
    l.H = mul32(r.plotHeight, l.Hu) / 1000;
    if (l.H % 2 != 0)
        l.H = add32(l.H, 1);
    l.cw = mul32(r.cellWidth, l.Wv) / 1000;
    l.ch = mul32(r.cellHeight, l.Hu) / 1000;
    l.rb = LH - 3 + (LH >> 2);
    l.yHeader = sub32(v.top, LH >> 1);
    l.yA = add32(add32(v.top, 1), mul32(4, LH));
    l.yB = add32(add32(l.yA, l.H), LH);
    l.yD = add32(add32(l.yB, l.H), LH);
    l.yNext = l.record == 1 ? add32(add32(l.yB, l.H), LH) : add32(add32(add32(l.yD, l.H), 1), LH);
    l.yT = l.yNext;
    if (blindDetection(protocol)) {
        const int32_t energyHeight = mul32(r.energyGraphHeight, l.Hu) / 1000;
        l.yT = add32(add32(add32(l.yNext, 1), energyHeight), LH);
    }
    l.panel = views::alphabetPanelLayout(v, LH, n, l.m, l.t, l.t2, l.cw, l.ch);
    return l;
}

void DrawProcessingResult(platform::Dc& dc, MessageSink& sink, const ProcessingResultInput& in)
{
    const int rows = in.protocol ? protocolRowsInUse(*in.protocol) : 0;
    if (!in.series || rows == 0) {
        views::drawAreaFrame(dc, in.frame.viewArea);
        return;
    }
    const StepwiseProtocol& p = *in.protocol;
    SeriesHeader& s = *in.series;
    const DetectionStudy* study = in.detectionStudy;
    const int32_t LH = in.frame.lineHeight;
    const bool blind = blindDetection(p);
    const bool panels = views::showsUnfixedCasePanels(p);
    const int32_t L = s.wImpulseSize;

    PulseHeaderPtr work = createPulseHeader(sink, s.wImpulseSize, 0);
    views::drawAreaFrame(dc, in.frame.viewArea);

    const size_t n = std::min<size_t>(in.activeEtalons, in.requiredList.size());
    const ProcessingResultLayout l = processingResultLayout(in.frame, p, study, static_cast<int32_t>(n));
    const views::ResultLayout& record = views::resultLayouts[static_cast<size_t>(l.record)];
    const views::DisplayAmplitude amp = views::displayAmplitude(s.wAmplitude, s.wNoiseLevel);
    const bool letters = blind && in.activeEtalons > 1;

    // Header.
    const std::array<std::string, 4> header = processingResultHeader(p, study, in.activeEtalons, s);
    int32_t y = l.yHeader;
    for (size_t line = 0; line < header.size(); ++line) {
        dc.textOut(l.x0, y, header[line]);
        y = add32(y, line == 0 ? LH + 1 : LH);
    }

    // The shown row becomes the series' found pulses, which the marks frame.
    const int r = shownProtocolRow(p);
    storeShownRow(p, s);

    // A series shorter than its own length is drawn as empty plots.
    const size_t samples = std::min<size_t>({s.dwSeriesSize, s.lpPureData.size(), s.lpSeriesData.size()});
    const auto N = static_cast<int32_t>(samples == s.dwSeriesSize ? samples : 0);
    const std::span<const int16_t> pure(s.lpPureData.data(), samples);
    const std::span<const int16_t> observed(s.lpSeriesData.data(), samples);

    // Plot A: the true pulses over the pure series.
    views::SeriesPlot plot{l.x0, l.yA, l.W, l.H, amp.S, N, in.range};
    views::ShownPlots shown;
    shown.N = N;
    shown.shown = views::shownSamples(in.range, N);
    const bool cutOff = p.wSeriesType == 2 || p.wSeriesType == 8;
    const size_t K = std::min<size_t>(s.wImpulseQuantity, s.lpPositions.size());
    for (size_t k = 0; k < K; ++k) {
        std::string label = views::formatText("%d", s.lpPositions[k]);
        if (letters && k < s.lpEtalonSequence.size())
            label += views::formatText("%c", 96 + s.lpEtalonSequence[k]);
        if (cutOff && k < s.lpCutFrom.size() && k < s.lpCutTo.size())
            label += views::formatText("[%d..%d] ", s.lpCutFrom[k], s.lpCutTo[k]);
        views::drawPlotLabel(dc, plot, s.lpPositions[k], label);
    }
    views::drawPlotFrame(dc, plot);
    views::drawPlotAxes(dc, plot);
    views::drawPlotCurve(dc, plot, pure);
    views::drawPlotPulseMarks(dc, plot, s);
    shown.add(views::shownPlot(plot, views::PlotKind::Pure));

    // Plot B: the found pulses over the observed series.
    plot.y = l.yB;
    const size_t found = std::min<size_t>(s.wFoundPulses, s.lpFoundPositions.size());
    for (size_t k = 0; k < found; ++k)
        views::drawPlotLabel(dc, plot, s.lpFoundPositions[k], views::formatText("%d", s.lpFoundPositions[k]));
    views::drawPlotFrame(dc, plot);
    if (panels && in.typeMoreDetails && study)
        views::drawIntervalBands(dc, plot, *study);
    views::drawPlotAxes(dc, plot);
    {
        views::ScopedPen pen(dc, views::kObservedSeriesCurve);
        views::drawPlotCurve(dc, plot, observed);
    }
    views::drawPlotPulseMarks(dc, plot, s);
    if (panels && !in.chainTotals.empty())
        views::drawChainTotals(dc, plot, in.chainTotals, L);
    shown.add(views::shownPlot(plot, views::PlotKind::Observed));

    // Plot D: the series rebuilt from the found pulses.
    if (l.record != 1) {
        plot.y = l.yD;
        shown.add(views::shownPlot(plot, views::PlotKind::Reconstruction));
        views::drawPlotFrame(dc, plot);
        if (panels && in.typeMoreDetails && study)
            views::drawKeptPulseOverlay(dc, plot, *study, observed, L);
        if (panels && p.lpPulses[static_cast<size_t>(r)] != s.wImpulseQuantity)
            views::drawTrueCountOverlay(dc, plot, p, s, observed);
        if (work) {
            PulseHeader& shape = *work;
            auto shapeAt = [&](int32_t, int32_t offset) {
                return offset >= 0 && static_cast<size_t>(offset) < shape.lpData.size()
                           ? int32_t{shape.lpData[static_cast<size_t>(offset)]}
                           : int32_t{0};
            };
            if (!blind && rows > 4) {
                meanShapeOfRow(p, 4, observed, shape);
                views::ScopedPen pen(dc, views::kObservedSeriesCurve);
                drawWalkedCurve(dc, plot, rowPositions(p, 4), L, shapeAt);
            }
            meanShapeOfRow(p, r, observed, shape);
            views::drawPlotAxes(dc, plot);
            if (blind)
                drawWalkedCurve(dc, plot, rowPositions(p, r), L, [&](int32_t i, int32_t) {
                    return int32_t{observed[static_cast<size_t>(i)]};
                });
            else
                drawWalkedCurve(dc, plot, rowPositions(p, r), L, shapeAt);
            views::drawPlotPulseMarks(dc, plot, s);
        }
    }

    // Plots of fewer than two samples have nothing to read or zoom.
    if (in.shownPlots && N >= 2)
        *in.shownPlots = shown;

    // The protocol table.
    const int32_t yHead = l.yT - 3;
    for (const TableCell& cell : protocolTableHeader(p))
        dc.textOut(add32(l.x0, cell.x), yHead, views::formatText("%s", cell.text.c_str()));
    for (int i = 0; i < rows; ++i) {
        const int32_t yRow = add32(add32(yHead, LH), mul32(i, LH - 2));
        for (const TableCell& cell : protocolTableRow(p, s, i))
            dc.textOut(add32(l.x0, cell.x), yRow, cell.text);
    }
    int32_t yo = add32(-3 + LH, mul32(rows, LH - 2));
    if (rows < 4)
        yo = add32(yo, LH);
    yo = add32(yo, LH >> 1);
    if (panels && study)
        yo = add32(yo, views::drawThresholdLines(dc, l.x0, add32(l.yT, yo), LH, *study));

    // The mean shape of every row's pulses.
    if (!blind && work) {
        int32_t left = l.x0;
        const int32_t top = add32(l.yT, yo);
        for (int i = 0; i < rows; ++i) {
            meanShapeOfRow(p, i, observed, *work);
            const int32_t right = add32(left, mul32(2, l.cw));
            DrawPulseStrip(dc, {left, top, right, add32(top, l.H)}, amp.a, *work, LH);
            left = add32(right, 70);
        }
    }

    // The count graph, then the energy graph.
    if (in.pulseCountTable)
        views::settlePulseCountTable(*in.pulseCountTable);
    if (panels && in.pulseCountTable) {
        const views::GraphBox box =
            views::countGraphBox(record, in.frame.viewArea, l.Wv, l.Hu, l.x0, l.rb);
        views::drawCountGraph(dc, box, *in.pulseCountTable, p, LH);
    }
    if (panels && study && N > 0) {
        const views::GraphBox box = views::energyGraphBox(record, in.frame.viewArea, l.Wv, l.Hu, N, L, l.yNext);
        views::drawEnergyGraph(dc, box, *study, N - L + 1, LH);
    }

    views::drawAlphabetPanel(dc, l.panel, LH, in.requiredList.first(n), s, amp.a);

    work = freePulseHeader(std::move(work));
}
