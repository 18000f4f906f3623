#pragma once
// The picture of a search's spectrum: a few header lines and one framed
// graph of a figure (the statistic each grid point was judged by) against
// the period or the grid index, one curve per pulse length in a colour of
// its own with a legend, and the best point ringed and labelled. A point
// without a value (a layout that admits no count) leaves a gap in its curve.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/geometry.h"

namespace views {

// The best point's ring and label stand out from every curve.
inline constexpr platform::Color kSpectrumBestColor = platform::rgb(215, 0, 0);

// One curve: the points in the order they are joined; y NaN (or infinite)
// for a point without a value.
struct SpectrumCurve {
    std::string label;  // the legend's text, e.g. "L 30"
    std::vector<double> x, y;
};

struct SpectrumPlotData {
    std::string title;              // first header line; empty: none
    std::vector<std::string> info;  // further header lines
    std::string xLabel;             // under the x axis at the right
    std::string yLabel;             // above the y axis
    std::vector<SpectrumCurve> curves;
    int32_t bestCurve = -1;  // the curve of the best point; -1: none marked
    size_t bestPoint = 0;    // its index in that curve
    std::string bestLabel;   // written beside the ring
};

// The colour of curve k: a few colours far apart, then again from the first.
platform::Color spectrumCurveColor(size_t k);

// Where the graph's frame stands in an area, and how values map onto it:
// x from xLow (left edge) to xHigh (right edge), y from yLow (bottom) to
// yHigh (top), both ranges widened to round steps of the axis labels.
struct SpectrumPlotLayout {
    int32_t lineHeight = 12;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the frame, both edges drawn
    double xLow = 0, xHigh = 1, xStep = 1;
    double yLow = 0, yHigh = 1, yStep = 1;
    bool drawable = false;  // false when the area is too small or no point has a value
};
SpectrumPlotLayout spectrumPlotLayout(const platform::Dc& dc, const platform::Rect& area, const SpectrumPlotData& data);

// The pixel of a value inside the frame.
int32_t spectrumColumn(const SpectrumPlotLayout& l, double x);
int32_t spectrumRow(const SpectrumPlotLayout& l, double y);

// Draws the picture into area. The device's font, pens and brushes are left
// as they were.
void drawSpectrumPlot(platform::Dc& dc, const platform::Rect& area, const SpectrumPlotData& data);

}  // namespace views
