#pragma once
// The picture of the last processing run: a four-line header with the
// series' parameters, the true pulses over the pure series, the found pulses
// over the observed series, the reconstruction of the series from the found
// pulses, the table of every protocol row, the mean shape of the pulses each
// row found and the Alphabet panel of the etalons in use; for blind detection
// on a series of unknown count also the evidence of the detection.

#include <cstdint>
#include <span>

#include "detection/pulse_count_ranking.h"
#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "platform/dc.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"
#include "views/drawing_conventions.h"
#include "views/series_plot.h"
#include "views/unfixed_case_panels.h"

namespace views {

// Where the pieces of the processing result stand.
struct ProcessingResultLayout {
    int record = 0;                  // index into views::resultLayouts
    int32_t Wv = 0, Hv = 0, Hu = 0;  // view width and height, and the height less 17 lines
    int32_t m = 0, t = 0, t2 = 0;    // margins
    int32_t x0 = 0;                  // left of the header, the plots, the table and the strips
    int32_t W = 0, H = 0;            // plot size (H even)
    int32_t cw = 0, ch = 0;          // etalon cell size
    int32_t rb = 0;                  // kept free above the bottom of the view
    int32_t yHeader = 0;             // top of header line 1
    int32_t yA = 0, yB = 0, yD = 0;  // tops of the pure, observed and reconstruction plots
    int32_t yNext = 0;               // below the last plot: the top of the energy graph
    int32_t yT = 0;                  // base of the table (its head is written 3 pixels higher)
    AlphabetPanelLayout panel;
};
ProcessingResultLayout processingResultLayout(const ViewFrame& frame, const detection::StepwiseProtocol& protocol,
                                              const detection::DetectionStudy* study, int32_t n);

// What the paint handler hands the view. Only the protocol and the series
// are needed; a missing table, study or chain-total array leaves out the
// panels that show it.
struct ProcessingResultInput {
    ViewFrame frame;
    const detection::StepwiseProtocol* protocol = nullptr;
    detection::PulseCountTable* pulseCountTable = nullptr;  // a minimum count of 0 is stored back as 1
    const detection::DetectionStudy* detectionStudy = nullptr;
    int32_t typeMoreDetails = 0;           // not 0: the bands and the kept pulses are drawn too
    std::span<const int32_t> chainTotals;  // empty: none
    uint16_t activeEtalons = 0;
    std::span<const uint16_t> requiredList;     // etalon numbers from 1, activeEtalons of them used
    synthesis::SeriesHeader* series = nullptr;  // receives the shown row as its found pulses
    SampleRange range;                          // the samples plots A, B and D show; empty: the whole series
    ShownPlots* shownPlots = nullptr;           // receives where the plots stand, when given
};

// Draws the picture (the frame only without a protocol of at least one row or
// a series). The shown row is left in the series' wFoundPulses and
// lpFoundPositions. When the work pulse cannot be had, its message goes to
// the sink and the mean shapes, the reconstruction and the strips are left out.
void DrawProcessingResult(platform::Dc& dc, base::MessageSink& sink, const ProcessingResultInput& in);

}  // namespace views
