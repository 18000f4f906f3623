#pragma once
// The window's detection view of a researcher's own series, apart from Qt:
// the series read as detect reads it, the last detection on it (run by
// detectOwnSeries on the window's worker and adopted here), the samples the
// detail plot shows, the paint, the readout under the mouse, the zoom and
// pan by the mouse and the keys, and the exports (the pulses as detect --csv
// writes them, the picture as PNG). A series of any length: positions are
// 32-bit, sums 64-bit.
//
// Input follows the workbench's result plots: the wheel zooms the detail
// around the sample under the mouse (over the overview, around that sample
// of the whole series), + and - around the detail's middle, a drag across
// either plot shows the samples it covered, a click in the overview brings
// the detail to that place, the arrow keys and Page Up / Page Down pan, and
// Home shows the whole series.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands/detect_engine.h"
#include "commands/detect_options.h"
#include "detection/series_preparation.h"
#include "files/series_readers.h"
#include "platform/dc.h"
#include "platform/geometry.h"
#include "views/detection_view.h"
#include "views/plot_geometry.h"

namespace commands {

// A press waiting for its release, in one of the plots.
struct DetectionViewDrag {
    bool pressed = false;                                              // a press in a plot waits for its release
    bool dragging = false;                                             // it moved far enough sideways to choose samples
    views::DetectionViewPlot plot = views::DetectionViewPlot::Detail;  // the plot pressed in
    int32_t fromX = 0;                                                 // the press
    int32_t toX = 0;                                                   // where the mouse is now
};

// Field comments say what a field holds, who writes it and who reads it.
struct DetectionViewState {
    std::string path;               // the file as chosen; openDetectionView; the header, the messages
    files::SeriesReadOptions read;  // the column or channel read; openDetectionView; the header
    files::SeriesData data;         // the series as read; openDetectionView, then never changed; the detection
    DetectOptions options;          // the detection asked for last; the Detect dialog reads and writes it
    // The samples the plots show: prepared as the last detection prepared
    // them, with detect's preparation before any; openDetectionView and
    // adoptDetection write it, the paint and the readout read it.
    detection::PreparedSeries shown;
    std::optional<OwnSeriesDetection> result;  // the last detection that finished; adoptDetection; paint, exports
    views::SampleRange detail;                 // the detail's samples (empty: all); navigation, adoptDetection; paint
    bool navigated = false;             // zoomed or panned since the open: a new detection keeps the detail where it is
    views::DetectionViewLayout layout;  // where the plots stood at the last paint; paint; input, readout
    DetectionViewDrag drag;             // the press in a plot; the input functions
};

// The least samples the detail shows (a shorter series is shown whole), and
// how far a press must move sideways before it drags.
inline constexpr int32_t kLeastDetailSamples = 8;
inline constexpr int32_t kDetailDragThreshold = 5;

// Reads the file with the column or channel given (as detect reads it:
// the channel is needed for a sound file of several) and prepares it for
// showing with detect's preparation. False with a one-line reason.
bool openDetectionView(DetectionViewState& view, const std::string& path, const files::SeriesReadOptions& read,
                       std::string& error);

// The same with the series already read from there.
bool openDetectionView(DetectionViewState& view, const std::string& path, const files::SeriesReadOptions& read,
                       files::SeriesData&& data, std::string& error);

// What the Detect dialog offers first: a known count with the workbench's
// pulse length and intervals (20, 40, 181) and the count they give the
// series on average, energy scores, detect's preparation.
DetectOptions initialDetectOptions(const files::SeriesData& data);

// Takes a finished detection and the options it ran with: its prepared
// samples become the ones shown and, unless the user has moved the detail,
// the detail shows the first pulses.
void adoptDetection(DetectionViewState& view, OwnSeriesDetection&& result, const DetectOptions& options);

// The header lines: the file and what was read, what was run, what was found.
std::vector<std::string> detectionViewHeader(const DetectionViewState& view);

// Paints the view into area and keeps its layout.
void paintDetectionView(DetectionViewState& view, platform::Dc& dc, const platform::Rect& area);

// The status line for the point (x, y): the sample, its time and the file's
// value there, and inside a found pulse its number, start, amplitude, score
// and snr; while part of the series is shown, which part. Empty off the plots.
std::string detectionReadout(const DetectionViewState& view, int32_t x, int32_t y);

// --- Input. Each returns true when what the detail shows has changed (the
// view is to be painted again).
bool detectionViewPress(DetectionViewState& view, int32_t x, int32_t y);
// A move with the button held follows the drag; `status` receives the line
// for the status bar (the readout, or the samples a drag would show).
bool detectionViewMove(DetectionViewState& view, int32_t x, int32_t y, std::string& status);
bool detectionViewRelease(DetectionViewState& view, int32_t x, int32_t y);
// Notches of the wheel at (x, y), positive away from the user: zoom in.
bool detectionViewWheel(DetectionViewState& view, int32_t x, int32_t y, int32_t notches);

enum class DetectionViewKey { Home, ZoomIn, ZoomOut, Left, Right, PageLeft, PageRight };
bool detectionViewKey(DetectionViewState& view, DetectionViewKey key);

// The band a drag has covered so far, across its plot (right and bottom
// outside), for the window to shade.
std::optional<platform::Rect> detectionViewDragBand(const DetectionViewState& view);

// --- Exports

// The found pulses as detect --csv prints them; the header alone before any
// detection.
std::string detectionViewCsv(const DetectionViewState& view);

// The view drawn at width x height and written as PNG; false with a message
// naming the file.
bool writeDetectionViewPicture(const DetectionViewState& view, const std::string& path, int32_t width, int32_t height,
                               std::string& error);

}  // namespace commands
