#include "views/plot_readout.h"

#include <algorithm>

namespace views {

int32_t sampleAtColumn(const ShownPlot& plot, SampleRange shown, int32_t x)
{
    const int64_t n = int64_t{shown.to} - shown.from;
    if (n < 2 || plot.W <= 0)
        return shown.from;
    const int64_t X = std::clamp<int64_t>(int64_t{x} - plot.x0, 0, plot.W);
    const int64_t k = (2 * X * (n - 1) + plot.W) / (2 * int64_t{plot.W});
    return static_cast<int32_t>(shown.from + std::min(k, n - 1));
}

std::optional<PlotPoint> plotPointAt(const ShownPlots& plots, int32_t x, int32_t y)
{
    const int32_t count = std::clamp<int32_t>(plots.count, 0, static_cast<int32_t>(plots.plots.size()));
    for (int32_t i = 0; i < count; ++i) {
        const ShownPlot& p = plots.plots[static_cast<size_t>(i)];
        const int64_t right = int64_t{p.x0} + p.W, bottom = int64_t{p.y} + p.H;
        if (x < p.x0 || x > right || y < p.y || y > bottom)
            continue;
        return PlotPoint{i, p.kind, sampleAtColumn(p, plots.shown, x)};
    }
    return std::nullopt;
}

std::optional<PlotReadout> readoutAt(const ShownPlots& plots, const synthesis::SeriesHeader& series, int32_t x,
                                     int32_t y)
{
    const std::optional<PlotPoint> point = plotPointAt(plots, x, y);
    if (!point)
        return std::nullopt;
    const size_t N = std::min<size_t>({series.dwSeriesSize, series.lpPureData.size(), series.lpSeriesData.size()});
    if (point->sample < 0 || static_cast<size_t>(point->sample) >= N)
        return std::nullopt;
    PlotReadout r;
    r.point = *point;
    r.pure = series.lpPureData[static_cast<size_t>(point->sample)];
    r.observed = series.lpSeriesData[static_cast<size_t>(point->sample)];

    const int64_t L = series.wImpulseSize;
    const size_t found = std::min<size_t>(series.wFoundPulses, series.lpFoundPositions.size());
    for (size_t k = 0; k < found; ++k) {
        const int64_t start = series.lpFoundPositions[k];
        if (point->sample < start || point->sample >= start + L)
            continue;
        r.pulse = static_cast<int32_t>(k);
        r.pulseStart = static_cast<int32_t>(start);
        for (int64_t i = std::max<int64_t>(start, 0); i < std::min<int64_t>(start + L, static_cast<int64_t>(N)); ++i) {
            const int64_t v = series.lpSeriesData[static_cast<size_t>(i)];
            r.pulseScore += v * v;
        }
        break;
    }
    return r;
}

}  // namespace views
