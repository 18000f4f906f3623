#pragma once
// The picture of the last statistical simulation: a header naming what was
// simulated, the Alphabet panel of the etalons in use, and a graph of the
// detection error (root-mean-square position error relative to the largest
// free gap Tmax - L) against the noise level, one curve per pulse count.
// The paint handler hands the values over; nothing here reads the shell.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "detection/statistical_simulation.h"
#include "platform/dc.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"

namespace views {

// The measure of kind 2, the componentwise detection error: the one the
// shell shows, and the only one drawn as curves.
constexpr int32_t kDetectionErrorMeasure = 2;

// What the statistical-simulation view draws: the simulation record, the
// last simulated series and the settings the header lines show.
struct SimulationViewInput {
    ViewFrame frame;
    int16_t amplitude = 128;                // the application's amplitude; 0 takes one from the noise level
    int32_t kind = kDetectionErrorMeasure;  // which measure is shown; the shell always asks for this one
    uint16_t n = 0;                         // entries of the required list in use
    std::span<const uint16_t> requiredList;
    const detection::RestErrorHeader* header = nullptr;
    const synthesis::SeriesHeader* series = nullptr;  // the last simulated series
};

// The measure's caption line, or an empty text for a kind without one.
std::string simulationMeasureCaption(int32_t kind);

// The nine header lines, each written with one textOut.
std::vector<std::string> simulationHeaderLines(const detection::RestErrorHeader& header,
                                               const synthesis::SeriesHeader& series, int32_t amplitude, int32_t kind);

// The amplitude the etalon cells are drawn with: the given one, or for 0 the
// value 128 doubled while below the noise level (it stops at 16384, the last
// doubling a 16-bit figure holds).
int32_t simulationCellAmplitude(int32_t amplitude, uint16_t noiseLevel);

// Grid step g of the error axis (the top of the graph stands for g/1000) for
// T = 1000 times the largest relative error, raised to 50: the power of ten
// above T, divided by 5 when 5T <= g, then by 2 (twice at most) while 2T <= g.
int64_t simulationGridStep(int64_t T);

// Where the pieces of the picture stand for a view area, n etalons in use,
// K noise levels and an N-sample series of L-sample pulses.
struct SimulationViewLayout {
    int32_t Wv = 0, Hv = 0, Hu = 0;
    int32_t h = 0;             // the panel's height share (even)
    int32_t A = 0, B = 0;      // graph and panel shares of the width
    int32_t yAfterHeader = 0;  // y below the nine header lines
    // Alphabet panel
    int32_t nr = 0;              // rows of two cells
    int32_t pl = 0, pt = 0;      // panel left and top
    int32_t cwid = 0, chei = 0;  // cell size
    // Graph
    int32_t gw = 0, gh = 0, dh = 0, dw = 0;
    int32_t GW = 0, GH = 0;  // graph width and height
    int32_t x0 = 0, y0 = 0;  // top-left corner of the graph
    int32_t fh = 0;          // cell height of the graph font
};
SimulationViewLayout simulationViewLayout(const ViewFrame& frame, int32_t n, int32_t K, uint32_t N, int32_t L);

// The rectangle of panel entry k (rows filled first down the left column).
platform::Rect simulationPanelCell(const SimulationViewLayout& l, int32_t lineHeight, int32_t k);

// The value-to-height mapping of the curves: y offset GH - trunc(s*v*GH) of a
// relative error v, with s = 1000/g, held inside the drawable range.
int32_t simulationCurveY(double v, double s, int32_t GH);

// The P curves, each three pixels thick in the current pen from the graph's
// bottom-left corner through (x0 + i*dw, y0 + y_i) for the K noise levels,
// ending in its pulse count written `rise` pixels above its last point. The
// value of level i, pulse value j is sqrt((errors[i][j]/R)/normaliser[j]).
// Cells missing from the matrix count as 0; R of 0 draws nothing.
void DrawDetectionCurves(platform::Dc& dc, uint16_t R, uint16_t P, std::span<const int16_t> pulseValues,
                         std::span<const double> normaliser, uint16_t K,
                         const std::vector<std::vector<int32_t>>& errors, int32_t x0, int32_t y0, int32_t GW,
                         int32_t GH, int32_t rise, double s, int32_t dw);

// Draws the picture. Without a header or a series only the frame is drawn; a
// record without repeats or with fewer than two noise levels gets its header,
// panel and an empty graph. When the work memory cannot be had, "No memory to
// RestoredErrorNormalizer" goes to the sink (caption " ERROR in
// DrawDetectionArrayZ ") and nothing is drawn.
void DrawDetectionArrayZ(platform::Dc& dc, base::MessageSink& sink, const SimulationViewInput& in);

}  // namespace views
