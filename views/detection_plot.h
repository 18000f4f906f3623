#pragma once
// The picture of detection on a researcher's own series: a few header lines
// and one framed plot of the series (or of a range of it) with every found
// pulse framed by dots and numbered, reference marks as ticks under the plot,
// and labelled axes. A series of millions of samples is drawn column by
// column, each pixel column a vertical line from the least to the greatest
// sample that falls into it, so the picture costs O(N + W) and does not alias.
// A zoom into a few pulses is a second call with a range of samples.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/geometry.h"
#include "views/plot_geometry.h"

namespace views {

// Reference marks stand out from the black pulse frames and the blue series.
inline constexpr platform::Color kReferenceMarkColor = platform::rgb(215, 0, 0);

// What a detection picture shows: its header lines, the series, the found
// pulses, the reference marks and the range of samples.
struct DetectionPlotData {
    std::string title;              // first header line; empty: none
    std::vector<std::string> info;  // further header lines
    std::span<const int64_t> samples;
    std::span<const double> times;    // same length as samples for time labels; empty: sample indexes
    int32_t pulseLength = 1;          // L: a pulse covers start .. start + L - 1
    std::span<const int32_t> starts;  // found pulses, numbered from 1 in this order
    std::span<const int32_t> marks;   // reference positions (ticks under the plot); empty: none
    std::string marksLabel;           // written left of the ticks, e.g. "ref"
    std::string axisLabel;            // under the x axis at the right; empty: "sample" or "time"
    int64_t from = 0;                 // the samples shown: [from, to), clamped to the series
    int64_t to = -1;                  // below 0: up to the end
};

// Where the pieces stand for an area (right and bottom outside) and the
// device's current font. The plot frame is the rectangle (x0, y0) .. (x1, y1)
// with both edges drawn; sample columns are x0 + 1 .. x0 + W, values map onto
// yTop (the greatest) .. yBottom (the least).
struct DetectionPlotLayout {
    int32_t lineHeight = 12;
    int32_t headerTop = 0;  // top of the first header line
    int32_t numberRow = 0;  // top of the pulse numbers above the plot
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int32_t W = 0;  // sample columns inside the frame
    int32_t yTop = 0, yBottom = 0;
    int32_t marksTop = 0;       // top of the reference ticks (when there are marks)
    int32_t labelRow = 0;       // top of the x-axis labels
    int64_t from = 0, to = 0;   // the clamped range
    int64_t low = 0, high = 1;  // value range of the plot (always holding 0)
    bool drawable = false;      // false when the area is too small for a plot
};
DetectionPlotLayout detectionPlotLayout(const platform::Dc& dc, const platform::Rect& area,
                                        const DetectionPlotData& data);

// The pixel column (relative to x0 + 1) of sample k counted from `from`, for
// n shown samples across W columns: k*W/n rounded down when there are more
// samples than columns, else k*(W - 1)/(n - 1) rounded.
int32_t detectionPlotColumn(int64_t k, int64_t n, int32_t W);

// The sample shown at pixel column x: x held inside the frame, the first
// sample of its column when there are more samples than columns, else the
// sample whose column is nearest.
int64_t detectionPlotSampleAt(const DetectionPlotLayout& layout, int32_t x);

// Draws the picture into area. Every text stays inside the area and clear
// of the others: header lines too wide for it are cut short with "...",
// pulse numbers stand over the frame and give way to the number before
// them, a y label that would touch another is left out. The device's font,
// pens and brushes are left as they were.
void drawDetectionPlot(platform::Dc& dc, const platform::Rect& area, const DetectionPlotData& data);

// The text cut short with "..." so that it is at most `width` pixels wide in
// the device's font (the whole text when it fits; nothing when not even
// "..." fits).
std::string textFittedTo(const platform::Dc& dc, const std::string& text, int32_t width);

// A range that shows the first pulses large enough to see their shapes:
// about `spacings` typical distances between found starts (the median of the
// first few), beginning one distance before the first pulse. Without pulses,
// or with one, the distance is taken as 4 pulse lengths. Clamped to [0, N).
SampleRange detectionZoomRange(std::span<const int32_t> starts, int32_t pulseLength, int64_t N, int32_t spacings = 8);

}  // namespace views
