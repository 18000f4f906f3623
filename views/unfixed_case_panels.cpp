#include "views/unfixed_case_panels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

namespace {

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Starts of 32-bit study arrays as the 16-bit positions the window walk reads.
std::vector<int16_t> startsOf(const std::vector<int32_t>& positions, size_t count)
{
    std::vector<int16_t> starts;
    count = std::min(count, positions.size());
    starts.reserve(count);
    for (size_t k = 0; k < count; ++k)
        starts.push_back(static_cast<int16_t>(std::clamp<int32_t>(positions[k], INT16_MIN, INT16_MAX)));
    return starts;
}

// A plot the walked curves can be drawn in: two samples at least, all of
// them present.
bool walkable(const SeriesPlot& plot, std::span<const int16_t> observed)
{
    return plot.N >= 2 && observed.size() >= static_cast<size_t>(plot.N);
}

}  // namespace

int32_t decimalDigits(int64_t v)
{
    int32_t digits = 1;
    for (v = v < 0 ? -v : v; v >= 10; v /= 10)
        ++digits;
    return digits;
}

void drawIntervalBands(platform::Dc& dc, const SeriesPlot& plot, const detection::DetectionStudy& study)
{
    const int64_t N = plot.N;
    if (N < 2)
        return;
    const bool whole = showsWholeSeries(plot.range, plot.N);
    const SampleRange shown = shownSamples(plot.range, plot.N);
    const int64_t n = int64_t{shown.to} - shown.from;
    const int32_t h8 = plot.H / 8;
    for (size_t g = 0; g < kIntervalBandSets.size(); ++g) {
        const int set = kIntervalBandSets[g];
        const size_t count = std::min<size_t>(
            {study.wIntervalCounts[set], study.lpIntervalStarts[set].size(), study.lpIntervalEnds[set].size()});
        if (count == 0)
            continue;
        ScopedPen pen(dc, kIntervalBandColors[g]);
        const int32_t bandBottom = wrapAdd(wrapAdd(plot.y, plot.H / 4), wrapMul(static_cast<int32_t>(g), h8));
        for (size_t k = 0; k < count; ++k) {
            int64_t first = study.lpIntervalStarts[set][k];
            int64_t last = study.lpIntervalEnds[set][k];
            int32_t xs = 0, xe = 0;
            if (whole) {
                xs = clamp32(plot.x0 + (N - 1 + first * 2 * plot.W) / (2 * N - 2));
                xe = clamp32(plot.x0 + (N - 1 + (last + 1) * 2 * plot.W) / (2 * N - 2));
            } else {
                // The same rounding over the shown samples, the band cut off at the frame.
                if (last < shown.from || first >= shown.to)
                    continue;
                first = std::max<int64_t>(first, shown.from) - shown.from;
                last = last - shown.from;
                xs = clamp32(plot.x0 + (n - 1 + first * 2 * plot.W) / (2 * n - 2));
                xe = clamp32(std::min<int64_t>(plot.x0 + (n - 1 + (last + 1) * 2 * plot.W) / (2 * n - 2),
                                               int64_t{plot.x0} + plot.W + 1));
            }
            for (int32_t c = 0; c < h8; ++c) {
                dc.moveTo(xs, bandBottom - c);
                dc.lineTo(xe, bandBottom - c);
            }
        }
    }
}

void drawChainTotals(platform::Dc& dc, const SeriesPlot& plot, std::span<const int32_t> chainTotals, int32_t L)
{
    if (plot.N < 2)
        return;
    const int64_t starts = std::min<int64_t>(int64_t{plot.N} - L + 1, static_cast<int64_t>(chainTotals.size()));
    if (starts < 1)
        return;
    int64_t M = 0;
    for (int64_t i = 0; i < starts; ++i)
        M = std::max<int64_t>(M, std::llabs(int64_t{chainTotals[static_cast<size_t>(i)]}));
    // Totals that are all zero have no magnitude to scale by: they lie on the zero line.
    auto lift = [&](int32_t v) {
        if (M == 0)
            return plot.H / 2;
        return clamp32(static_cast<int64_t>(std::trunc((static_cast<double>(M + v) * plot.H) / (2.0 * M))));
    };
    ScopedPen pen(dc, kPanelRed);
    for (int32_t stroke = 0; stroke < 2; ++stroke) {
        PlotPath path(dc, plot, wrapAdd(plot.y, plot.H / 2) - stroke);
        PlotColumns columns(plot);
        const int64_t end = std::min<int64_t>(starts, columns.end());
        for (int64_t i = 0; i < end; ++i) {
            int32_t X = 0;
            if (columns.at(static_cast<int32_t>(i), X))
                path.to(wrapAdd(plot.x0, X),
                        wrapSub(wrapAdd(plot.y, plot.H), lift(chainTotals[static_cast<size_t>(i)])) + stroke);
        }
    }
}

void drawKeptPulseOverlay(platform::Dc& dc, const SeriesPlot& plot, const detection::DetectionStudy& study,
                          std::span<const int16_t> observed, int32_t L)
{
    if (!walkable(plot, observed))
        return;
    const std::vector<int16_t> kept = startsOf(study.lpDetectedPositions[0], study.wDetectedCounts[0]);
    ScopedPen pen(dc, kPanelGrey);
    for (int32_t stroke = 0; stroke < 2; ++stroke) {
        PlotPath path(dc, plot, wrapAdd(plot.y, plot.H / 2));
        PulseWindowWalk walk(kept, L, plot.N);
        PlotColumns columns(plot);
        for (int32_t i = 0; i < columns.end(); ++i) {
            const int32_t v = walk.inside(i) ? observed[static_cast<size_t>(i)] : 0;
            int32_t X = 0;
            if (!columns.at(i, X))
                continue;
            int32_t y = plotValueY(plot, v);
            if (v != 0)
                y = wrapSub(y, plot.H / 16);
            path.to(wrapAdd(plot.x0, X) - stroke, y);
        }
    }
}

int drawTrueCountOverlay(platform::Dc& dc, const SeriesPlot& plot, const detection::StepwiseProtocol& protocol,
                         const synthesis::SeriesHeader& series, std::span<const int16_t> observed)
{
    const int used =
        static_cast<int>(std::min<size_t>({protocol.wUsed, protocol.lpPulses.size(), protocol.lpRowPositions.size()}));
    int row = -1;
    for (int j = 1; j <= used - 2 && row < 0; ++j)
        if (protocol.lpPulses[j] == series.wImpulseQuantity)
            row = j;
    if (row < 0 || !walkable(plot, observed))
        return row;
    const std::vector<int16_t>& positions = protocol.lpRowPositions[row];
    const std::span<const int16_t> starts(positions.data(), std::min<size_t>(protocol.lpPulses[row], positions.size()));
    ScopedPen pen(dc, kPanelBlue);
    for (int32_t shift = 1; shift <= 2; ++shift) {
        PlotPath path(dc, plot, wrapAdd(plot.y, plot.H / 2));
        PulseWindowWalk walk(starts, series.wImpulseSize, plot.N);
        PlotColumns columns(plot);
        for (int32_t i = 0; i < columns.end(); ++i) {
            const int32_t v = walk.inside(i) ? observed[static_cast<size_t>(i)] : 0;
            int32_t X = 0;
            if (columns.at(i, X) && X >= shift)
                path.to(wrapAdd(plot.x0, X) - shift, plotValueY(plot, v));
        }
    }
    return row;
}

int32_t drawThresholdLines(platform::Dc& dc, int32_t x, int32_t y, int32_t lineHeight,
                           const detection::DetectionStudy& study)
{
    std::string noise = "noise threshold:";
    if (study.lPasses > 1)
        noise += formatText(" %d ->", study.lFirstNoiseThreshold);
    noise += formatText(" %d", study.lLastNoiseThreshold);
    noise += formatText(" / %d", study.lExpectedNoiseEnergy);
    dc.textOut(x, y, noise);
    const int32_t step = lineHeight - 2;
    dc.textOut(x, wrapAdd(y, step),
               formatText("cut-off threshold: %d", study.lDetectionThreshold) +
                   formatText(" / %d", study.lMeanWindowEnergy));
    return 2 * step;
}

GraphBox countGraphBox(const ResultLayout& layout, const LayoutRect& view, int32_t Wv, int32_t Hu, int32_t x0,
                       int32_t rb)
{
    GraphBox b;
    b.w = wrapMul(layout.countGraphWidth, Wv) / 1000;
    b.h = wrapMul(layout.countGraphHeight, Hu) / 1000;
    b.x = wrapAdd(view.left, wrapMul(Wv, layout.margin + layout.countGraphRight - layout.countGraphWidth) / 1000);
    b.x = std::max(b.x, x0);
    b.y = wrapSub(wrapSub(view.bottom, b.h), rb);
    return b;
}

void settlePulseCountTable(detection::PulseCountTable& table)
{
    if (table.wMinCount == 0)
        table.wMinCount = 1;
}

void drawCountGraph(platform::Dc& dc, const GraphBox& box, const detection::PulseCountTable& table,
                    const detection::StepwiseProtocol& protocol, int32_t lineHeight)
{
    const int64_t d = table.wRows;
    // With a single row every count stands at the left edge rather than
    // being divided by no spacing at all.
    const int64_t span = d > 1 ? d - 1 : 1;
    const int64_t cmin = table.wMinCount;
    auto tickX = [&](int64_t count) { return clamp32(((count - cmin) * box.w) / span); };
    const int32_t labelY = wrapAdd(wrapSub(wrapAdd(box.y, box.h), 3), lineHeight >> 2);
    auto label = [&](int64_t value, int32_t X) {
        dc.textOut(clamp32(int64_t{box.x} + X + 5 - 7 * decimalDigits(value)), labelY,
                   formatText("%d", static_cast<int>(value)));
    };
    const bool rowOne = std::min<size_t>(protocol.wUsed, protocol.lpPulses.size()) >= 2;
    label(cmin, 0);
    label(table.wMaxCount, d > 1 ? box.w : 0);
    if (rowOne)
        label(protocol.lpPulses[1], tickX(protocol.lpPulses[1]));
    label(table.wConfiguredCount, tickX(table.wConfiguredCount));

    dc.rectangle(box.x, box.y, wrapAdd(wrapAdd(box.x, box.w), 1), wrapAdd(wrapAdd(box.y, box.h), 1));

    auto dotsUp = [&](int32_t x, int32_t step) {
        for (int32_t j = 0; j < box.h; j += step)
            dc.setPixel(x, wrapSub(wrapAdd(box.y, box.h), j), kPanelDots);
    };
    if (rowOne)
        dotsUp(wrapAdd(box.x, tickX(protocol.lpPulses[1])), 8);
    dotsUp(wrapAdd(box.x, tickX(table.wConfiguredCount)), 4);

    const size_t rows = std::min<size_t>(
        {table.wRows, table.lpPulseCounts.size(), table.lpSquares.size(), table.lpNoisePerWindow.size()});
    if (rows == 0)
        return;
    // A row without pulses captured nothing per pulse.
    auto perPulse = [&](size_t i) -> int64_t {
        const int64_t n = table.lpPulseCounts[i];
        return n > 0 ? (n + 2 * int64_t{table.lpSquares[i]}) / (2 * n) : 0;
    };
    auto truncatedPerPulse = [&](size_t i) -> int64_t {
        const int64_t n = table.lpPulseCounts[i];
        return n > 0 ? table.lpSquares[i] / n : 0;
    };
    auto curve = [&](Color color, auto valueOf, auto boundOf, int32_t grow) {
        int64_t lo = boundOf(0), hi = boundOf(0);
        for (size_t i = 1; i < rows; ++i) {
            lo = std::min(lo, boundOf(i));
            hi = std::max(hi, boundOf(i));
        }
        int64_t R = hi - lo;
        if (R == 0)
            R = 1;
        R += grow == 4 ? R / 4 : grow == 2 ? R / 2 : R / 2 - R / 8;
        if (R == 0)
            R = 1;
        ScopedPen pen(dc, color);
        for (int32_t stroke = 0; stroke < 2; ++stroke) {
            for (size_t i = 0; i < rows; ++i) {
                const int32_t x = clamp32(box.x + (2 * static_cast<int64_t>(i) * box.w + span) / (2 * span));
                const int32_t y = clamp32(int64_t{box.y} + box.h - ((valueOf(i) - lo) * box.h) / R - stroke);
                if (i == 0)
                    dc.moveTo(x, y);
                else
                    dc.lineTo(x, y);
            }
        }
    };
    auto squares = [&](size_t i) -> int64_t { return table.lpSquares[i]; };
    auto noise = [&](size_t i) -> int64_t { return table.lpNoisePerWindow[i]; };
    curve(kPanelBlue, squares, squares, 4);
    curve(kPanelGreen, perPulse, truncatedPerPulse, 2);
    curve(kPanelRed, noise, noise, 3);
}

GraphBox energyGraphBox(const ResultLayout& layout, const LayoutRect& view, int32_t Wv, int32_t Hu, int32_t N,
                        int32_t L, int32_t y)
{
    const int64_t npos = int64_t{N} - L + 1;
    GraphBox b;
    b.h = wrapMul(layout.energyGraphHeight, Hu) / 1000;
    b.y = y;
    if (N <= 0) {
        // No series: the graph keeps its place at the margin, without width.
        b.x = wrapAdd(view.left, wrapMul(Wv, layout.margin) / 1000);
        return b;
    }
    const int64_t thousandths = (N + int64_t{layout.energyGraphWidth} * npos * 2) / (2 * int64_t{N});
    b.w = clamp32(int64_t{Wv} * thousandths / 1000);
    const int64_t room = std::max<int64_t>(0, int64_t{layout.countGraphRight} - layout.countGraphWidth -
                                                  int64_t{layout.energyGraphWidth} * npos / N - layout.margin);
    b.x = clamp32(int64_t{view.left} + int64_t{Wv} * (room + layout.margin) / 1000);
    return b;
}

namespace {

// How the energy graph maps energies and starts into its box: R the range
// of energies its height shows, `spacing` the starts its width spans.
struct EnergyScale {
    const GraphBox& box;
    int64_t R = 1;
    int64_t spacing = 1;

    int32_t levelY(int64_t v) const { return clamp32(int64_t{box.y} + box.h - (v * box.h) / R); }
    int32_t positionX(int64_t p) const { return clamp32(box.x + (p * box.w) / spacing); }
    // Levels far outside the graph are held near it, so a wild energy cannot
    // keep the dotted columns going for millions of rows.
    int32_t heldLevel(int64_t v) const
    {
        return std::clamp<int32_t>(levelY(v), wrapSub(box.y, box.h) - 1, wrapAdd(box.y, 2 * box.h) + 1);
    }
};

// The scale of npos starts: the highest of their energies, and an eighth
// more, fills the height.
EnergyScale energyScale(const GraphBox& box, const detection::DetectionStudy& study, int32_t npos)
{
    const size_t count = std::min<size_t>(static_cast<size_t>(npos), study.lpEnergies.size());
    int64_t hi = 0;
    for (size_t i = 0; i < count; ++i)
        hi = i == 0 ? study.lpEnergies[0] : std::max<int64_t>(hi, study.lpEnergies[i]);
    int64_t R = hi == 0 ? 1 : hi;
    R += R / 8;
    if (R == 0)
        R = 1;
    // One start has no spacing to divide by: it stands at the left edge.
    return EnergyScale{box, R, npos > 1 ? npos - 1 : 1};
}

// The frame and the first and last starts under it.
void drawEnergyFrame(platform::Dc& dc, const GraphBox& box, int32_t npos, int32_t lineHeight)
{
    const int32_t labelY = wrapAdd(wrapSub(wrapAdd(box.y, box.h), 3), lineHeight >> 2);
    dc.textOut(box.x - 2, labelY, formatText("%d", 0));
    dc.textOut(clamp32(int64_t{box.x} + box.w - 2 - 7 * decimalDigits(npos - 1)), labelY,
               formatText("  %d ", npos - 1));
    dc.rectangle(box.x, box.y, wrapAdd(wrapAdd(box.x, box.w), 1), wrapAdd(wrapAdd(box.y, box.h), 1));
}

// The energies of the first npos starts as a curve of `strokes` strokes.
void drawEnergyCurve(platform::Dc& dc, const EnergyScale& scale, int32_t npos, const std::vector<int32_t>& values,
                     Color color, int32_t strokes)
{
    const size_t n = std::min<size_t>(static_cast<size_t>(npos), values.size());
    if (npos < 2 || n == 0)
        return;
    ScopedPen pen(dc, color);
    for (int32_t stroke = 0; stroke < strokes; ++stroke) {
        SampleColumns columns(npos, scale.box.w);
        for (size_t i = 0; i < n; ++i) {
            const int32_t x = wrapAdd(scale.box.x, columns.next());
            const int32_t y = scale.levelY(values[i]) - stroke;
            if (i == 0)
                dc.moveTo(x, y);
            else
                dc.lineTo(x, y);
        }
    }
}

// The detections of the study's passes: a dotted column from the top down to
// each of the first pass's; solid bars up to each of the second pass's, or,
// when there was a third pass, dotted bars for the second and solid ones for
// the third.
void drawDetections(platform::Dc& dc, const EnergyScale& scale, const detection::DetectionStudy& study)
{
    const GraphBox& box = scale.box;
    auto detections = [&](int pass) {
        return std::min<size_t>({study.wDetectedCounts[pass], study.lpDetectedPositions[pass].size(),
                                 study.lpDetectedEnergies[pass].size()});
    };
    for (size_t k = 0; k < detections(0); ++k) {
        const int32_t x = scale.positionX(study.lpDetectedPositions[0][k]);
        const int32_t level = scale.heldLevel(study.lpDetectedEnergies[0][k]);
        for (int32_t y = box.y; y < level; y += 4)
            dc.setPixel(x, y, kPanelDots);
    }

    ScopedPen pen(dc, kPanelBlue);
    int barPass = 1;
    if (study.wDetectedCounts[2] != 0) {
        for (size_t k = 0; k < detections(1); ++k) {
            const int32_t x = scale.positionX(study.lpDetectedPositions[1][k]);
            const int32_t above = wrapSub(scale.heldLevel(study.lpDetectedEnergies[1][k]), box.y);
            for (int32_t c = box.h; c > above; c -= 3) {
                const int32_t y = wrapAdd(box.y, c);
                dc.setPixel(x, y, kPanelBlue);
                dc.setPixel(x + 1, y, kPanelBlue);
                dc.setPixel(x + 1, y - 1, kPanelBlue);
                dc.setPixel(x, y - 1, kPanelBlue);
            }
        }
        barPass = 2;
    }
    for (size_t k = 0; k < detections(barPass); ++k) {
        const int32_t x = scale.positionX(study.lpDetectedPositions[barPass][k]);
        const int32_t level = scale.levelY(study.lpDetectedEnergies[barPass][k]);
        for (int32_t dx = 0; dx < 2; ++dx) {
            dc.moveTo(x + dx, wrapAdd(box.y, box.h));
            dc.lineTo(x + dx, level);
        }
    }
}

}  // namespace

void drawEnergyGraph(platform::Dc& dc, const GraphBox& box, const detection::DetectionStudy& study, int32_t npos,
                     int32_t lineHeight)
{
    if (npos < 1)
        return;
    const EnergyScale scale = energyScale(box, study, npos);
    drawEnergyFrame(dc, box, npos, lineHeight);

    if (study.wDetectionMethod == detection::kThresholdKnownDispersion) {
        drawEnergyCurve(dc, scale, npos, study.lpEnergies, kPanelDarkBlue, 1);
        drawEnergyCurve(dc, scale, npos, study.lpReducedEnergies, kPanelBlue, 2);
    } else {
        drawEnergyCurve(dc, scale, npos, study.lpEnergies, kPanelBlue, 2);
    }

    // The noise threshold and the detection threshold as dotted lines.
    for (const int32_t level : {study.lLastNoiseThreshold, study.lDetectionThreshold}) {
        const int32_t y = scale.levelY(level);
        for (int32_t j = 0; j < box.w; j += 3)
            dc.setPixel(wrapAdd(box.x, j), y, kPanelDots);
    }

    drawDetections(dc, scale, study);
}

}  // namespace views
