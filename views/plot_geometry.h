#pragma once
// Which samples the series plots of the result views show, and where those
// plots stood at the last paint. The paint handler keeps the plots so that the
// readout under the mouse and the zoom can find a sample from a point without
// drawing again.

#include <algorithm>
#include <array>
#include <cstdint>

namespace views {

// Samples [from, to) of a series. An empty range (to <= from), the default,
// stands for the whole series.
struct SampleRange {
    int32_t from = 0;
    int32_t to = 0;
    friend bool operator==(const SampleRange&, const SampleRange&) = default;
};

// The samples of an N-sample series a plot shows: the range clamped into the
// series, or the whole series when fewer than two samples would be left (a
// plot maps its first and last shown sample to its two edges).
constexpr SampleRange shownSamples(SampleRange range, int32_t N)
{
    const int32_t whole = std::max(N, 0);
    const int32_t from = std::clamp(range.from, 0, whole);
    const int32_t to = std::clamp(range.to, 0, whole);
    if (to - from < 2)
        return {0, whole};
    return {from, to};
}

// Whether the range shows all N samples: the plots are then drawn by the
// whole-series paths, pixel for pixel the picture of a view given no range.
constexpr bool showsWholeSeries(SampleRange range, int32_t N)
{
    const SampleRange shown = shownSamples(range, N);
    return shown.from == 0 && shown.to == std::max(N, 0);
}

// What a series plot of a result view holds.
enum class PlotKind : int32_t {
    Pure,            // the pure series with the true pulses
    Observed,        // the observed series with the found pulses
    FoundPulses,     // the series-processing view: the observed series inside the found windows
    Reconstruction,  // the processing result: the series rebuilt from the found pulses
};

// One plot as painted: its frame covers x0 .. x0 + W and y .. y + H.
struct ShownPlot {
    PlotKind kind = PlotKind::Pure;
    int32_t x0 = 0, y = 0, W = 0, H = 0;
};

// The series plots of the last paint of a result view (none in the others),
// with the series length and the samples they showed.
struct ShownPlots {
    std::array<ShownPlot, 3> plots{};
    int32_t count = 0;
    int32_t N = 0;
    SampleRange shown;  // resolved: never empty while count > 0
    void add(const ShownPlot& plot)
    {
        if (count < static_cast<int32_t>(plots.size()))
            plots[static_cast<size_t>(count++)] = plot;
    }
};

}  // namespace views
