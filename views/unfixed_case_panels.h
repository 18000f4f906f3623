#pragma once
// The evidence of blind detection on a series of unknown count that the
// processing result shows beside its plots: the start regions as coloured
// bands under the observed series, the chain totals along it, the pulses the
// detection kept, the thresholds, the energies against the candidate pulse
// count and the window energies with the detections of every pass.
//
// Every routine draws with pens of its own, created for the one step and
// released before it returns.

#include <array>
#include <cstdint>
#include <span>

#include "detection/pulse_count_ranking.h"
#include "detection/stepwise_protocol.h"
#include "detection/task_codes.h"
#include "detection/unfixed_case_detection.h"
#include "platform/dc.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"
#include "views/layout_rect.h"
#include "views/series_plot.h"

namespace views {

// The proportions of the processing result, in thousandths of the view width
// or of the usable height (the view height less 17 lines).
struct ResultLayout {
    uint16_t margin;             // of the width
    uint16_t topMargin;          // of the view height
    uint16_t countGraphRight;    // of the width
    uint16_t plotWidth;          // of the width
    uint16_t plotHeight;         // of the usable height
    uint16_t cellWidth;          // of the width
    uint16_t cellHeight;         // of the usable height
    uint16_t energyGraphWidth;   // of the width
    uint16_t energyGraphHeight;  // of the usable height
    uint16_t countGraphWidth;    // of the width
    uint16_t countGraphHeight;   // of the usable height
};

// Record 1 serves the additive model, whose picture has no reconstruction
// plot and a taller energy graph in its place; record 0 every other result.
inline constexpr std::array<ResultLayout, 2> resultLayouts = {{
    {12, 15, 800, 800, 240, 50, 125, 800, 240, 200, 335},
    {12, 15, 800, 800, 240, 50, 125, 800, 500, 200, 350},
}};

// Band colours in drawing order: Omega[-], Omega[-]\[~], Omega[-]X[~],
// Omega[~]\[-], Omega[+].
inline constexpr std::array<Color, 5> kIntervalBandColors = {
    rgb(220, 255, 210), rgb(210, 220, 255), rgb(0, 220, 255), rgb(220, 255, 0), rgb(255, 210, 220),
};
inline constexpr std::array<int, 5> kIntervalBandSets = {
    detection::omegaFirst,     detection::omegaFirstOnly, detection::omegaFirstAndLater,
    detection::omegaLaterOnly, detection::omegaLast,
};
inline constexpr Color kPanelBlue = rgb(0, 0, 255);
inline constexpr Color kPanelDarkBlue = rgb(0, 0, 127);
inline constexpr Color kPanelGreen = rgb(0, 255, 0);
inline constexpr Color kPanelRed = rgb(255, 0, 0);
inline constexpr Color kPanelGrey = rgb(199, 199, 199);
inline constexpr Color kPanelDots = rgb(0, 0, 0);

// The panels belong to blind detection on a series of an unknown number of
// whole pulses.
constexpr bool showsUnfixedCasePanels(const detection::StepwiseProtocol& p)
{
    return p.wTask == detection::taskBlindDetection && p.wSeriesType == detection::seriesUnknownWhole;
}

// Number of decimal digits of v (1 for 0), which places the count labels.
int32_t decimalDigits(int64_t v);

// Each start region of the study as a band of H/8 rows under the quarter line
// of the observed-series plot; an empty set leaves its band empty.
void drawIntervalBands(platform::Dc& dc, const SeriesPlot& plot, const detection::DetectionStudy& study);

// The best chain total of every start 0 .. N - L (as many as are given) in red
// over the observed series, scaled by twice the largest magnitude; all-zero
// totals lie on the zero line.
void drawChainTotals(platform::Dc& dc, const SeriesPlot& plot, std::span<const int32_t> chainTotals, int32_t L);

// In grey, the observed series inside the windows the first pass kept,
// raised by H/16, twice (the second a pixel to the left).
void drawKeptPulseOverlay(platform::Dc& dc, const SeriesPlot& plot, const detection::DetectionStudy& study,
                          std::span<const int16_t> observed, int32_t L);

// In blue, the observed series inside the windows of the first protocol row
// (from row 1, before the last) that found the true count, one and two pixels
// to the left. Returns that row, or -1 when there is none.
int drawTrueCountOverlay(platform::Dc& dc, const SeriesPlot& plot, const detection::StepwiseProtocol& protocol,
                         const synthesis::SeriesHeader& series, std::span<const int16_t> observed);

// "noise threshold:[ %d ->] %d / %d" and, a line lower,
// "cut-off threshold: %d / %d"; returns how far the lines moved down
// (2 * (lineHeight - 2)).
int32_t drawThresholdLines(platform::Dc& dc, int32_t x, int32_t y, int32_t lineHeight,
                           const detection::DetectionStudy& study);

// A graph's box: the frame runs from (x, y) to (x + w, y + h) inclusive.
struct GraphBox {
    int32_t x = 0, y = 0, w = 0, h = 0;
};

// The count graph at the bottom right of the plots; Wv is the view width,
// Hu the usable height, rb the reserve above the bottom of the view.
GraphBox countGraphBox(const ResultLayout& layout, const LayoutRect& view, int32_t Wv, int32_t Hu, int32_t x0,
                       int32_t rb);

// A minimum count of 0 is stored as 1: the count graph starts at one pulse.
void settlePulseCountTable(detection::PulseCountTable& table);

// Squares (blue), squares per pulse (green) and noise per window (red) of
// every row against its pulse count, with the counts cmin, cmax, the count of
// protocol row 1 and the configured count under the frame and the last two
// dotted up from the bottom.
void drawCountGraph(platform::Dc& dc, const GraphBox& box, const detection::PulseCountTable& table,
                    const detection::StepwiseProtocol& protocol, int32_t lineHeight);

// The energy graph under the plots, top at y, its width that of the plots
// scaled to the N - L + 1 starts of the series.
GraphBox energyGraphBox(const ResultLayout& layout, const LayoutRect& view, int32_t Wv, int32_t Hu, int32_t N,
                        int32_t L, int32_t y);

// The window energy of every start in blue (with the reduced energies for
// the threshold method for known dispersion), the last noise threshold and
// the detection threshold dotted across, the first pass's detections dotted
// down from the top and the last pass's as bars up from the bottom.
void drawEnergyGraph(platform::Dc& dc, const GraphBox& box, const detection::DetectionStudy& study, int32_t npos,
                     int32_t lineHeight);

}  // namespace views
