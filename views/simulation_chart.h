#pragma once
// The chart of a statistical simulation for scripts: a few header lines and
// one framed graph of an error against the noise level, one curve per pulse
// count, each in a colour and with a marker of its own, and a legend beside
// the graph (or, when the graph would be left too narrow, under it). The y
// axis starts at 0 and ends at the first round step at or above the largest
// error; the noise levels stand evenly spaced, as the simulation lays them
// out, every one ticked and as many labelled as fit. Every text stays inside
// the area and clear of the others.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/geometry.h"

namespace views {

// One curve: its legend text and a value per noise level (missing values
// count as 0).
struct SimulationChartCurve {
    std::string label;  // e.g. "6 pulses"
    std::vector<double> values;
};

struct SimulationChartData {
    std::string title;                // first header line; empty: none
    std::vector<std::string> info;    // further header lines
    std::string xLabel;               // centred under the x axis' labels
    std::string yLabel;               // above the graph, at its left
    std::vector<double> noiseLevels;  // the x axis' points, left to right
    std::vector<SimulationChartCurve> curves;
};

// Where the pieces stand for an area (right and bottom outside) and the
// device's current font.
struct SimulationChartLayout {
    int32_t lineHeight = 12;
    int32_t yLabelRow = 0;                   // top of the y axis' title
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the frame, both edges drawn
    int32_t xLabelRow = 0;                   // top of the noise levels under the frame
    int32_t xTitleRow = 0;                   // top of the x axis' title
    double yHigh = 1, yStep = 1;             // the y axis runs from yLow (0 or below) to yHigh
    double yLow = 0;
    int32_t labelEvery = 1;                   // every labelEvery-th noise level is labelled, from the first
    bool markers = false;                     // the points are far enough apart for markers
    std::vector<platform::Rect> legendCells;  // one per curve: its sample and its text
    bool drawable = false;                    // false when the area is too small or there is nothing to draw
};
SimulationChartLayout simulationChartLayout(const platform::Dc& dc, const platform::Rect& area,
                                            const SimulationChartData& data);

// The pixel column of noise level i (of n) and the row of an error value.
int32_t simulationChartColumn(const SimulationChartLayout& l, size_t i, size_t n);
int32_t simulationChartRow(const SimulationChartLayout& l, double value);

// The colour of curve k, and its marker: a few shapes, then again from the
// first, so that colour and shape together tell the first 56 curves apart.
platform::Color simulationChartColor(size_t k);
enum class ChartMarker { Square, Circle, TriangleUp, Diamond, OpenSquare, OpenCircle, TriangleDown, Cross };
ChartMarker simulationChartMarker(size_t k);

// Draws the chart into area and returns where its pieces stand. The
// device's font, pens and brushes are left as they were.
SimulationChartLayout drawSimulationChart(platform::Dc& dc, const platform::Rect& area,
                                          const SimulationChartData& data);

}  // namespace views
