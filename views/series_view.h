#pragma once
// The series-processing picture: a four-line header, the pure series with its
// true pulses, the observed series with the found ones, the found pulses cut
// out of it, the head of the table and the Alphabet panel of the etalons in
// use.

#include <cstdint>
#include <span>

#include "platform/dc.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"
#include "views/series_plot.h"

namespace views {

// Where the pieces of the series view stand for a view area and n etalons in
// use (thousandths of the view: margins 12 and 15, plots 800 wide and 240 of
// the usable height high, etalon cells 50 by 125).
struct SeriesViewLayout {
    int32_t Wv = 0, Hv = 0, Hu = 0;  // view width, height, and the height less 17 lines
    int32_t x0 = 0;                  // left of the header, the plots and the table
    int32_t W = 0, H = 0;            // plot size (H even)
    int32_t yHeader = 0;             // top of header line 1; the others follow
    int32_t yA = 0, yB = 0, yC = 0;  // tops of the pure, observed and found-pulse plots
    int32_t yT = 0;                  // base line of the table head (written 3 pixels higher)
    AlphabetPanelLayout panel;
};
SeriesViewLayout seriesViewLayout(const ViewFrame& frame, int32_t n);

// Draws the picture of `series` (nothing but the frame without one); n is the
// number of entries of the required list in use. The three plots show the
// samples of `range` (the whole series by default); shownPlots, when given,
// receives where they stand.
void drawSeriesView(platform::Dc& dc, const ViewFrame& frame, uint16_t n, std::span<const uint16_t> requiredList,
                    const synthesis::SeriesHeader* series, SampleRange range = {}, ShownPlots* shownPlots = nullptr);

}  // namespace views
