#include "commands/simulation_plot.h"

#include "base/formatted_text.h"
#include "files/json.h"
#include "files/png_image.h"
#include "platform/bitmap.h"
#include "platform/dc.h"

namespace commands {

using files::firstOf;

views::SimulationChartData simulationChartData(const detection::RestErrorHeader& r, const synthesis::SeriesHeader* last)
{
    views::SimulationChartData d;
    const auto pulses = firstOf(r.wPulseValues, r.wVariousPulses);
    const auto levels = firstOf(r.lpNoiseLevel, r.wNoiseLevels);
    const auto& errors = r.lpErrors[detection::kDetectionErrors];
    const std::string task = r.lpTaskName ? r.lpTaskName : base::formatText("task %d", r.wTask);
    const std::string series = r.lpSeriesName ? r.lpSeriesName : base::formatText("series type %d", r.wSeriesType);
    d.title = " statistical simulation for " + task + " in series with " + series + " ";
    std::string info = last ? base::formatText(" series length %u, pulse length %d, Tmin %d, Tmax %d; ",
                                               last->dwSeriesSize, last->wImpulseSize, last->wTmin, last->wTmax)
                            : std::string(" ");
    const char* repeats = r.repeats == 1 ? "repeat" : "repeats";
    info += base::formatText("%d %s per cell", r.repeats, repeats);
    d.info.push_back(info);
    d.xLabel = "noise level (standard deviation of the added noise)";
    d.yLabel =
        base::formatText("detection error: the mean squared start error of a pulse, summed over the %d %s (samples²)",
                         r.repeats, repeats);
    for (const int16_t level : levels)
        d.noiseLevels.push_back(level);
    for (size_t j = 0; j < pulses.size(); ++j) {
        views::SimulationChartCurve c;
        c.label = base::formatText("%d %s", pulses[j], pulses[j] == 1 ? "pulse" : "pulses");
        for (size_t i = 0; i < levels.size(); ++i)
            c.values.push_back(i < errors.size() && j < errors[i].size() ? errors[i][j] : 0);
        d.curves.push_back(std::move(c));
    }
    return d;
}

bool writeSimulationPlot(const SimulationPlotTarget& target, const detection::RestErrorHeader& r,
                         const synthesis::SeriesHeader* last, std::string& error)
{
    platform::Bitmap picture = platform::makeBitmap(target.width, target.height);
    platform::Dc dc(picture);
    views::drawSimulationChart(dc, {8, 8, target.width - 8, target.height - 8}, simulationChartData(r, last));
    return files::writePngFile(target.path, picture, error);
}

}  // namespace commands
