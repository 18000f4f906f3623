#pragma once
// What lies under a point of the series plots of the last paint: which plot,
// the sample whose column is nearest, its pure and observed values, and the
// found pulse whose window holds it. Pure functions of the recorded plot
// geometry, the series and the point; nothing is drawn.

#include <cstdint>
#include <optional>

#include "synthesis/pulse_records.h"
#include "views/plot_geometry.h"

namespace views {

// The sample shown nearest to column x of the plot: the inverse of the plot's
// rounded mapping, from + (2*X*(n - 1) + W) div (2*W) with X = x - x0 held
// inside the plot, so that the column of every shown sample reads back as that
// sample while there are at least as many columns as samples.
int32_t sampleAtColumn(const ShownPlot& plot, SampleRange shown, int32_t x);

// A point in a plot: its index among the recorded plots, its kind and the
// sample under it.
struct PlotPoint {
    int32_t plot = 0;
    PlotKind kind = PlotKind::Pure;
    int32_t sample = 0;
};
// The plot whose frame (x0 .. x0 + W, y .. y + H, edges included) holds the
// point, and the sample there; nothing outside every plot.
std::optional<PlotPoint> plotPointAt(const ShownPlots& plots, int32_t x, int32_t y);

// What the status line tells of the sample under the mouse: the point, its
// pure and observed values and the found pulse that covers it.
struct PlotReadout {
    PlotPoint point;
    int16_t pure = 0;
    int16_t observed = 0;
    // The found pulse whose window [start, start + L) holds the sample (the
    // first such among the series' found pulses), -1 when there is none.
    int32_t pulse = -1;
    int32_t pulseStart = 0;
    // Its score: the window energy, the sum of the squared observed samples
    // of its window, by which the energy programme and the threshold methods
    // judge a start.
    int64_t pulseScore = 0;
};
// The readout at a point, or nothing outside the plots or when the series no
// longer has the sample (it changed after the paint).
std::optional<PlotReadout> readoutAt(const ShownPlots& plots, const synthesis::SeriesHeader& series, int32_t x,
                                     int32_t y);

}  // namespace views
