#include "views/series_plot.h"

#include <algorithm>

#include "base/wrapping.h"
#include "views/drawing_primitives.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

DisplayAmplitude displayAmplitude(uint16_t wAmplitude, uint16_t wNoiseLevel)
{
    int32_t a = wAmplitude;
    if (a == 0) {
        a = 128;
        // The amplitude is a 16-bit figure: it stops at 32768 instead of
        // doubling out of its width (and round to 0 for ever) under a noise
        // level above that.
        while (a < wNoiseLevel && a < 32768)
            a *= 2;
    }
    const int32_t c = std::max<int32_t>(a, static_cast<int32_t>((8u * wNoiseLevel) / 3u));
    return {a, c + c / 8};
}

double noiseToSignal(const synthesis::SeriesHeader& series)
{
    const size_t N = std::min<size_t>({series.dwSeriesSize, series.lpPureData.size(), series.lpSeriesData.size()});
    int32_t Es = 0, En = 0;
    for (size_t i = 0; i < N; ++i) {
        const int32_t pure = series.lpPureData[i];
        const int32_t noise = series.lpSeriesData[i] - pure;
        Es = wrapAdd(Es, base::wrapSquare(pure));
        En = wrapAdd(En, base::wrapSquare(noise));
    }
    return Es < 1 ? 0.0 : static_cast<double>(En) / static_cast<double>(Es);
}

std::string headerTitleLine(const char* taskName, const char* seriesName)
{
    // A protocol of a task or series type without a name has none to print.
    return formatText(" %s for series with %s ", taskName ? taskName : "", seriesName ? seriesName : "");
}

std::string headerParameterLine(const synthesis::SeriesHeader& series, int32_t amplitude)
{
    return formatText(" series length %d, ", static_cast<int32_t>(series.dwSeriesSize)) +
           formatText("Tmin=%d, Tmax=%d, ", series.wTmin, series.wTmax) +
           formatText(" amplitude %d, noise level %d, N/S %6.3g", amplitude, series.wNoiseLevel, noiseToSignal(series));
}

std::string headerCountLine(const synthesis::SeriesHeader& series)
{
    return formatText(" pulses number %d [%d-%d], length %d", series.wImpulseQuantity, series.wMinPulses,
                      series.wMaxPulses, series.wImpulseSize);
}

std::string headerPulsesLine(const synthesis::SeriesHeader& series, bool letters)
{
    std::string line = " pulses:";
    const size_t K = std::min<size_t>(series.wImpulseQuantity, series.lpPositions.size());
    for (size_t k = 0; k < K; ++k) {
        if (k == 19) {
            line += "...";
            break;
        }
        line += formatText(" %d", series.lpPositions[k]);
        if (letters && k < series.lpEtalonSequence.size())
            line += formatText("%c", 96 + series.lpEtalonSequence[k]);
    }
    return line;
}

int32_t plotValueY(const SeriesPlot& plot, int32_t v)
{
    return wrapSub(wrapAdd(plot.y, plot.H), div32(wrapMul(wrapAdd(v, plot.S), plot.H), wrapMul(2, plot.S)));
}

int32_t plotLabelX(const SeriesPlot& plot, int32_t p)
{
    // Over the whole series from = 0 and n = N: the classic x0 + (p*W)/(N - 1) - 5.
    const SampleRange shown = shownSamples(plot.range, plot.N);
    const int32_t n = shown.to - shown.from;
    return wrapSub(wrapAdd(plot.x0, div32(wrapMul(wrapSub(p, shown.from), plot.W), n - 1)), 5);
}

platform::Rect plotRect(const SeriesPlot& plot)
{
    return {plot.x0, plot.y, wrapAdd(plot.x0, plot.W), wrapAdd(plot.y, plot.H)};
}

ShownPlot shownPlot(const SeriesPlot& plot, PlotKind kind) { return {kind, plot.x0, plot.y, plot.W, plot.H}; }

void drawPlotFrame(platform::Dc& dc, const SeriesPlot& plot)
{
    dc.rectangle(plot.x0, plot.y, wrapAdd(wrapAdd(plot.x0, plot.W), 1), wrapAdd(wrapAdd(plot.y, plot.H), 1));
}

void drawPlotAxes(platform::Dc& dc, const SeriesPlot& plot)
{
    dc.moveTo(plot.x0, plot.y);
    dc.lineTo(plot.x0, wrapAdd(plot.y, plot.H));
    const int32_t zero = wrapAdd(plot.y, plot.H / 2);
    dc.moveTo(plot.x0, zero);
    dc.lineTo(wrapAdd(plot.x0, plot.W), zero);
}

void drawPlotLabel(platform::Dc& dc, const SeriesPlot& plot, int32_t p, const std::string& text)
{
    if (plot.N < 2)
        return;
    if (!showsWholeSeries(plot.range, plot.N)) {
        const SampleRange shown = shownSamples(plot.range, plot.N);
        if (p < shown.from || p >= shown.to)
            return;
    }
    dc.textOut(plotLabelX(plot, p), wrapAdd(plot.y, plot.H), text);
}

void drawPlotCurve(platform::Dc& dc, const SeriesPlot& plot, std::span<const int16_t> samples)
{
    SeriesPlot bounded = plot;
    bounded.N = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(plot.N, 0)), samples.size()));
    if (bounded.N != plot.N)
        bounded.N = 0;  // a series shorter than its own length has nothing sound to draw
    drawPlotCurve(dc, bounded, [&](int32_t i) { return int32_t{samples[static_cast<size_t>(i)]}; });
}

void drawPlotPulseMarks(platform::Dc& dc, const SeriesPlot& plot, const synthesis::SeriesHeader& series)
{
    if (showsWholeSeries(plot.range, plot.N)) {
        DrawPulseMarks(dc, series, plotRect(plot));
        return;
    }
    // The classic frame, its columns at (p - from)*W/(n - 1) truncated,
    // cut off at the plot's edges: a pulse half outside the shown part keeps
    // the edge that is inside and its dotted rows up to the frame.
    const SampleRange shown = shownSamples(plot.range, plot.N);
    const int64_t span = int64_t{shown.to} - shown.from - 1;
    const int64_t W = plot.W;
    const int32_t bottom = wrapAdd(plot.y, plot.H);
    const int32_t g = plot.H / 8;
    const int32_t gEnd = wrapMul(7, plot.H) / 8;
    const size_t found = std::min<size_t>(series.wFoundPulses, series.lpFoundPositions.size());
    auto column = [&](int64_t x) { return static_cast<int32_t>(int64_t{plot.x0} + x); };
    for (size_t k = 0; k < found; ++k) {
        const int64_t first = series.lpFoundPositions[k];
        const int64_t last = first + series.wImpulseSize - 1;
        if (last < shown.from || first >= shown.to)
            continue;
        const int64_t xs = (first - shown.from) * W / span;
        const int64_t xe = (last - shown.from) * W / span;
        for (int32_t j = g; j < gEnd; j += 2) {
            if (first >= shown.from)
                dc.setPixel(column(xs), bottom - j, kPulseFrameColor);
            if (last < shown.to)
                dc.setPixel(column(xe), bottom - j, kPulseFrameColor);
        }
        // The dots keep the phase they have from xs, also where xs lies left of the plot.
        int64_t j = xs;
        if (j < 0)
            j += (1 - j) / 2 * 2;
        for (; j < xe && j <= W; j += 2) {
            dc.setPixel(column(j), wrapAdd(plot.y, g), kPulseFrameColor);
            dc.setPixel(column(j), bottom - g, kPulseFrameColor);
        }
    }
}

PulseWindowWalk::PulseWindowWalk(std::span<const int16_t> positions, int32_t L, int32_t N)
    : positions_(positions), L_(L), N_(N), c_(positions.empty() ? N : positions[0])
{
    next_ = positions.empty() ? 0 : 1;
}

bool PulseWindowWalk::inside(int32_t i)
{
    if (i == wrapAdd(c_, L_))
        c_ = next_ < positions_.size() ? positions_[next_++] : N_;
    return c_ <= i && i < wrapAdd(c_, L_);
}

AlphabetPanelLayout alphabetPanelLayout(const LayoutRect& view, int32_t lineHeight, int32_t n, int32_t m, int32_t t,
                                        int32_t t2, int32_t cw, int32_t ch)
{
    AlphabetPanelLayout p;
    p.m = m;
    p.t = t;
    p.t2 = t2;
    p.cw = cw;
    p.ch = ch;
    p.rows = (2 * n + 2) / 4;
    p.bw = wrapAdd(wrapMul(wrapAdd(cw, 2 * m), 2), m / 2);
    p.bx = wrapAdd(wrapSub(wrapSub(view.right, p.bw), m), 1);
    p.by = wrapAdd(wrapAdd(view.top, t), lineHeight >> 1);
    p.bh = wrapAdd(wrapMul(wrapAdd(wrapAdd(ch, t2), lineHeight), p.rows), 2 * t);
    const int32_t reserve = lineHeight - 3 + (lineHeight >> 2);
    const int32_t room = wrapSub(wrapSub(view.bottom, p.by), reserve);
    // Without etalons there are no rows to shrink.
    if (room < p.bh && p.rows > 0) {
        p.ch = wrapSub(div32(wrapSub(room, 2 * t), p.rows), wrapAdd(t2, lineHeight));
        p.bh = room;
    }
    return p;
}

std::string alphabetPanelTitle(int32_t n, int32_t panelWidth)
{
    if (panelWidth < 100)
        return formatText(" Alph: %d ", n);
    std::string title = formatText(" Alphabet, %d items ", n);
    if (n == 1)
        title.replace(title.size() - 2, 2, " ");
    return title;
}

platform::Rect alphabetPanelCell(const AlphabetPanelLayout& panel, int32_t lineHeight, int32_t e)
{
    const int32_t rows = std::max(panel.rows, 1);
    const int32_t q = e % rows, c = e / rows;
    const int32_t left = wrapAdd(wrapAdd(panel.bx, panel.m), wrapMul(wrapAdd(panel.cw, 2 * panel.m), c));
    const int32_t top =
        wrapAdd(wrapAdd(panel.by, panel.t), wrapMul(wrapAdd(wrapAdd(panel.ch, panel.t2), lineHeight), q));
    return {left, top, wrapAdd(left, panel.cw), wrapAdd(top, panel.ch)};
}

void drawAlphabetPanel(platform::Dc& dc, const AlphabetPanelLayout& panel, int32_t lineHeight,
                       std::span<const uint16_t> requiredList, const synthesis::SeriesHeader& series, int32_t amplitude)
{
    dc.rectangle(panel.bx, panel.by, wrapAdd(wrapAdd(panel.bx, panel.bw), 1), wrapAdd(wrapAdd(panel.by, panel.bh), 1));
    const auto n = static_cast<int32_t>(requiredList.size());
    dc.textOut(wrapAdd(panel.bx, 7), wrapSub(panel.by, panel.t), alphabetPanelTitle(n, panel.bw));
    for (int32_t q = 0; q < panel.rows; ++q) {
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t e = q + c * panel.rows;
            if (e >= n)
                continue;
            const int32_t number = requiredList[static_cast<size_t>(e)];
            const size_t listed = std::min<size_t>(series.wPulsesListSize, series.lpPulsesList.size());
            if (number < 1 || static_cast<size_t>(number) > listed || !series.lpPulsesList[number - 1])
                continue;
            DrawEtalonCell(dc, *series.lpPulsesList[number - 1], amplitude, 0, alphabetPanelCell(panel, lineHeight, e),
                           lineHeight);
        }
    }
}

}  // namespace views
