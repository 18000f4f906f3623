#pragma once
// The detection view of a researcher's own series, as the window shows it:
// a few header lines (the file, what was run and what was found), the whole
// series as an overview with the samples of the detail marked on it, and
// below it the detail plot of those samples with every found pulse framed
// and numbered. Both plots are detection plots (detection_plot.h), so a
// series of any length costs one pass over its samples per paint. Every
// text stays inside the view's area and clear of every other, whatever the
// size of the area: header lines too wide are cut short, numbers and axis
// labels are thinned.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/geometry.h"
#include "views/detection_plot.h"
#include "views/plot_geometry.h"

namespace views {

// The detail's samples, marked on the overview.
inline constexpr platform::Color kDetailRangeColor = platform::rgb(230, 120, 0);

struct DetectionViewData {
    std::vector<std::string> header;  // lines above the plots
    std::span<const int64_t> samples;
    std::span<const double> times;    // one per sample for time labels; empty: sample indexes
    std::string axisLabel;            // the x axis' name; empty: "sample" or "time"
    int32_t pulseLength = 1;          // a pulse covers start .. start + L - 1
    std::span<const int32_t> starts;  // the found pulses, numbered from 1 in this order
    SampleRange detail;               // the samples of the detail plot; empty: the whole series
};

// Where the parts stood at a paint (right and bottom of the areas outside).
struct DetectionViewLayout {
    platform::Rect overviewArea, detailArea;
    DetectionPlotLayout overview, detail;
    SampleRange shown;      // the samples the detail shows, resolved (never empty while there are two samples)
    int64_t N = 0;          // samples of the series
    bool drawable = false;  // both plots have their frames
};

// Draws the view into area; the device's font, pens and brushes are left as
// they were.
DetectionViewLayout drawDetectionView(platform::Dc& dc, const platform::Rect& area, const DetectionViewData& data);

// A point in one of the plots (frame edges included) and the sample shown
// there: in the overview a sample of the whole series, in the detail one of
// its samples.
enum class DetectionViewPlot { Overview, Detail };
struct DetectionViewPoint {
    DetectionViewPlot plot = DetectionViewPlot::Detail;
    int64_t sample = 0;
};
std::optional<DetectionViewPoint> detectionViewPointAt(const DetectionViewLayout& layout, int32_t x, int32_t y);

}  // namespace views
