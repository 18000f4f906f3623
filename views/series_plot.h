#pragma once
// The pieces the series pictures share: the header lines with the series'
// parameters, the plots of a series (rounded sample mapping, frame, axes,
// curves, position labels, the walk through found-pulse windows) and the
// Alphabet panel with the etalons in use. The series-processing view and the
// processing result view draw with them.

#include <cstdint>
#include <span>
#include <string>

#include "platform/dc.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"
#include "views/layout_rect.h"
#include "views/plot_geometry.h"

namespace views {

// --- Display amplitude and energies

// a is the series' amplitude, or 128 doubled while below the noise level when
// the series has none; S = c + c/8 with c the larger of a and 8*noise/3.
// a is what the header prints and the strips and cells receive; S is the
// full scale of the series plots.
struct DisplayAmplitude {
    int32_t a = 0;
    int32_t S = 0;
};
DisplayAmplitude displayAmplitude(uint16_t wAmplitude, uint16_t wNoiseLevel);

// Es = sum of pure^2 and En = sum of (observed - pure)^2 over the series, in
// 32 bits; N/S is En/Es, or 0 when Es < 1.
double noiseToSignal(const synthesis::SeriesHeader& series);

// --- Header lines (each written with one textOut)

// " %s for series with %s "
std::string headerTitleLine(const char* taskName, const char* seriesName);
// " series length %d, Tmin=%d, Tmax=%d,  amplitude %d, noise level %d, N/S %6.3g"
std::string headerParameterLine(const synthesis::SeriesHeader& series, int32_t amplitude);
// " pulses number %d [%d-%d], length %d"
std::string headerCountLine(const synthesis::SeriesHeader& series);
// " pulses:" and the true positions, each followed by its etalon's letter when
// letters are asked for; after 19 positions with more to come, "..." ends it.
std::string headerPulsesLine(const synthesis::SeriesHeader& series, bool letters);

// --- Plots

// A plot of an N-sample series at (x0, y), W wide, H high, full scale S. It
// shows the samples of `range` (see shownSamples) across its width: the
// first on its left edge, the last on its right. Showing the whole series,
// every routine below draws exactly the classic picture; showing a part, the
// curves, marks, labels and bands keep to the samples of that part.
struct SeriesPlot {
    int32_t x0 = 0;
    int32_t y = 0;
    int32_t W = 0;
    int32_t H = 0;
    int32_t S = 1;
    int32_t N = 0;
    SampleRange range{};
};

// Value v at y + H - ((v + S)*H)/(2S).
int32_t plotValueY(const SeriesPlot& plot, int32_t v);
// Where the label of position p starts: x0 + (p*W)/(N - 1) - 5, p and N
// counted from the first shown sample and in shown samples.
int32_t plotLabelX(const SeriesPlot& plot, int32_t p);
// The frame as a rectangle of the primitives: (x0, y, x0 + W, y + H).
platform::Rect plotRect(const SeriesPlot& plot);
// Where the plot stands, for the readout and the zoom.
ShownPlot shownPlot(const SeriesPlot& plot, PlotKind kind);

// Rectangle (x0, y, x0 + W + 1, y + H + 1) in the current pen and brush,
// which clears the plot.
void drawPlotFrame(platform::Dc& dc, const SeriesPlot& plot);
// (x0, y) to (x0, y + H), and the zero line (x0, y + H/2) to (x0 + W, y + H/2).
void drawPlotAxes(platform::Dc& dc, const SeriesPlot& plot);
// Writes text at (plotLabelX(p), y + H), on the bottom edge of the plot; a
// plot showing part of the series labels only the positions in that part.
void drawPlotLabel(platform::Dc& dc, const SeriesPlot& plot, int32_t p, const std::string& text);

// The columns of samples 0, 1, 2, ... of an N-sample series across W pixels,
// (2*i*W + N - 1) div (2*(N - 1)), stepped without a division: an accumulator
// starts at -(N - 1), gains 2*(N - 1) per pixel step and loses 2*W per sample.
class SampleColumns {
  public:
    SampleColumns(int32_t N, int32_t W)
        : step_(2 * (int64_t{N} - 1)), perSample_(2 * int64_t{W}), acc_(-(int64_t{N} - 1))
    {
    }
    // The column of the next sample (valid for N >= 2).
    int32_t next()
    {
        while (acc_ < 1) {
            ++x_;
            acc_ += step_;
        }
        acc_ -= perSample_;
        return x_;
    }

  private:
    int64_t step_;
    int64_t perSample_;
    int64_t acc_;
    int32_t x_ = -1;
};

// The columns of the samples a plot shows. Asked for i = 0, 1, ... in order,
// it tells whether sample i is shown and its column: the shown sample k of n
// lies at (2*k*W + n - 1) div (2*(n - 1)), stepped like SampleColumns. For the
// whole series this is SampleColumns(N, W) itself.
class PlotColumns {
  public:
    explicit PlotColumns(const SeriesPlot& plot)
        : shown_(shownSamples(plot.range, plot.N)), columns_(shown_.to - shown_.from, plot.W)
    {
    }
    // No sample from here on is shown.
    int32_t end() const { return shown_.to; }
    bool at(int32_t i, int32_t& X)
    {
        if (i < shown_.from || i >= shown_.to)
            return false;
        X = columns_.next();
        return true;
    }

  private:
    SampleRange shown_;
    SampleColumns columns_;
};

// The polyline of a curve. Over the whole series it starts with a move to
// (x0, startY), the zero line, as the classic curves do; over a part of the
// series the first point is reached by a move, so that no line comes in from
// the plot's edge.
class PlotPath {
  public:
    PlotPath(platform::Dc& dc, const SeriesPlot& plot, int32_t startY)
        : dc_(dc), fresh_(!showsWholeSeries(plot.range, plot.N))
    {
        if (!fresh_)
            dc_.moveTo(plot.x0, startY);
    }
    void to(int32_t x, int32_t y)
    {
        if (fresh_)
            dc_.moveTo(x, y);
        else
            dc_.lineTo(x, y);
        fresh_ = false;
    }

  private:
    platform::Dc& dc_;
    bool fresh_;
};

// A series curve in the current pen: a move to the zero line at x0, then one
// line to every sample i = 0 .. N-1, sample i at x0 + (2*i*W + N - 1) div
// (2*(N - 1)) (i*W/(N - 1) rounded half up, found incrementally, never moving
// left). Nothing is drawn for fewer than two samples. A plot showing part of
// the series draws that part's samples only (see PlotColumns and PlotPath).
// valueAt is asked for every sample up to the last shown one, in order, shown
// or not (a window walk keeps its place that way).
template <class ValueAt>
void drawPlotCurve(platform::Dc& dc, const SeriesPlot& plot, ValueAt valueAt)
{
    if (plot.N < 2)
        return;
    PlotPath path(dc, plot, base::wrapAdd(plot.y, plot.H / 2));
    PlotColumns columns(plot);
    for (int32_t i = 0; i < columns.end(); ++i) {
        const int32_t v = valueAt(i);
        int32_t X = 0;
        if (columns.at(i, X))
            path.to(base::wrapAdd(plot.x0, X), plotValueY(plot, v));
    }
}
void drawPlotCurve(platform::Dc& dc, const SeriesPlot& plot, std::span<const int16_t> samples);

// The dotted frames of the series' found pulses (DrawPulseMarks) in the plot.
// A plot showing part of the series frames the pulses that reach into it,
// each edge only where it lies in the part.
void drawPlotPulseMarks(platform::Dc& dc, const SeriesPlot& plot, const synthesis::SeriesHeader& series);

// The walk through the windows of found pulses p_0 < p_1 < ... of length L:
// asked for i = 0 .. N-1 in order, it tells whether sample i lies in the
// current window [c, c + L), c moving to the next position (or N after the
// last) when i reaches c + L.
class PulseWindowWalk {
  public:
    PulseWindowWalk(std::span<const int16_t> positions, int32_t L, int32_t N);
    bool inside(int32_t i);
    int32_t start() const { return c_; }

  private:
    std::span<const int16_t> positions_;
    int32_t L_;
    int32_t N_;
    size_t next_ = 0;
    int32_t c_;
};

// --- Alphabet panel

// Where the panel of the etalons in use stands: two columns of
// rows = (2n + 2)/4 cells at the right of the view, below the title.
struct AlphabetPanelLayout {
    int32_t m = 0;   // horizontal margin
    int32_t t = 0;   // top margin
    int32_t t2 = 0;  // half the top margin, rounded
    int32_t cw = 0;  // cell width
    int32_t ch = 0;  // cell height, shrunk when the panel would not fit
    int32_t rows = 0;
    int32_t bx = 0, by = 0, bw = 0, bh = 0;  // the panel: left, top, width, height
};
// Margins and cell size as the view computed them; the panel keeps
// LH - 3 + LH/4 pixels free above the bottom of the view.
AlphabetPanelLayout alphabetPanelLayout(const LayoutRect& view, int32_t lineHeight, int32_t n, int32_t m, int32_t t,
                                        int32_t t2, int32_t cw, int32_t ch);

// " Alphabet, %d items " (singular for one etalon), or " Alph: %d " for a
// panel under 100 pixels wide.
std::string alphabetPanelTitle(int32_t n, int32_t panelWidth);

// The cell rectangle of entry e (filled column by column).
platform::Rect alphabetPanelCell(const AlphabetPanelLayout& panel, int32_t lineHeight, int32_t e);

// The panel box, its title on the top edge and one not-highlighted etalon
// cell per entry of the required list (numbers from 1 into the series'
// lpPulsesList); numbers outside the list are left out.
void drawAlphabetPanel(platform::Dc& dc, const AlphabetPanelLayout& panel, int32_t lineHeight,
                       std::span<const uint16_t> requiredList, const synthesis::SeriesHeader& series,
                       int32_t amplitude);

}  // namespace views
