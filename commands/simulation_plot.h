#pragma once
// The chart of a finished simulation, for `simulate --plot` and `merge
// --plot`: the detection error simulate prints against the noise level, one
// curve per pulse count, drawn by the simulation chart view and written as
// PNG.

#include <cstdint>
#include <string>

#include "detection/statistical_simulation.h"
#include "synthesis/pulse_records.h"
#include "views/simulation_chart.h"

namespace commands {

// Where the chart goes and its size in pixels.
struct SimulationPlotTarget {
    std::string path;
    int32_t width = 1600;
    int32_t height = 900;
};

// The chart's curves and words: a curve per pulse value (column) through
// the detection errors of the noise levels (rows), exactly the figures
// simulate prints; the title names the task and the series type, the
// header line the series (when the last one is known) and the repeats.
views::SimulationChartData simulationChartData(const detection::RestErrorHeader& r,
                                               const synthesis::SeriesHeader* last);

// Draws the chart and writes it to target.path; false with a message naming
// the file when it cannot be written.
bool writeSimulationPlot(const SimulationPlotTarget& target, const detection::RestErrorHeader& r,
                         const synthesis::SeriesHeader* last, std::string& error);

}  // namespace commands
