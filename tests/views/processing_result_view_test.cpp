// The processing result: where its pieces stand, which protocol row it shows
// and leaves in the series, what its header and table say, the blue
// reconstruction from row 4, the blind-detection panels and their detail
// overlays, and that every pen and brush it makes is gone after a picture.

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "result_picture.h"
#include "view_test_support.h"
#include "views/processing_result_text.h"
#include "views/processing_result_view.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using namespace viewtest;

const Color kBlue = rgb(0, 0, 255);
const Color kRed = rgb(255, 0, 0);
const Color kGreen = rgb(0, 255, 0);
const Color kGrey = rgb(199, 199, 199);
const Color kBandFirst = rgb(220, 255, 210);

TEST(ProcessingResultLayout, PlacesPlotsTableAndGraphRoom)
{
    ResultPicture v;
    v.growingRows(8, 1, 3);
    const views::ProcessingResultLayout l = views::processingResultLayout(kFrame, *v.protocol, nullptr, 2);
    EXPECT_EQ(l.record, 0);
    EXPECT_EQ(l.Hu, 396);
    EXPECT_EQ(l.x0, kX0);
    EXPECT_EQ(l.W, kW);
    EXPECT_EQ(l.H, kH);
    EXPECT_EQ(l.yHeader, 4);
    EXPECT_EQ(l.yA, kYA);
    EXPECT_EQ(l.yB, kYB);
    EXPECT_EQ(l.yD, kYD);
    EXPECT_EQ(l.yNext, kYD + kH + 1 + kLH);
    EXPECT_EQ(l.yT, l.yNext);  // no energy graph above the table
    EXPECT_EQ(l.rb, 12);

    // Blind detection keeps room for the energy graph (240 of 396 thousandths: 95).
    v.blindDetection();
    views::ProcessingResultLayout b = views::processingResultLayout(kFrame, *v.protocol, v.study.get(), 2);
    EXPECT_EQ(b.record, 0);
    EXPECT_EQ(b.yT, b.yNext + 1 + 95 + kLH);
    // The additive model has no reconstruction plot and a graph of 198.
    v.study->wDetectionMethod = detection::kAdditiveModel;
    b = views::processingResultLayout(kFrame, *v.protocol, v.study.get(), 2);
    EXPECT_EQ(b.record, 1);
    EXPECT_EQ(b.yNext, kYB + kH + kLH);
    EXPECT_EQ(b.yT, b.yNext + 1 + 198 + kLH);
}

TEST(ProcessingResultShownRow, IsTheThirdOrLastAndBecomesTheFoundPulses)
{
    struct Case {
        uint16_t task, seriesType;
        int rows, shown;
    };
    const Case cases[] = {
        {8, 1, 1, 0},  {8, 1, 2, 1},  {8, 1, 3, 2},
        {8, 1, 6, 2},  {16, 4, 5, 2}, {32, 1, 5, 2},  // known count: the third row as for estimation
        {32, 4, 5, 4},                                // unknown count: the last row
        {32, 8, 3, 2}, {32, 8, 6, 5},
    };
    for (const Case& c : cases) {
        ResultPicture v;
        v.growingRows(c.task, c.seriesType, c.rows);
        v.draw();
        const synthesis::SeriesHeader& s = v.series();
        const int count = 3 + c.shown;
        EXPECT_EQ(s.wFoundPulses, count) << c.task << "/" << c.seriesType << " rows " << c.rows;
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(s.lpFoundPositions[k], s.lpPositions[k]);
        // The marks in plot A frame exactly the shown row's pulses.
        EXPECT_EQ(v.markAt(kYA, s.lpPositions[count - 1]), kBlack);
        EXPECT_EQ(v.markAt(kYA, s.lpPositions[count]), kWhite);
    }
}

TEST(ProcessingResultHeader, PrintsAmplitudeRatioAndPositionsAsWritten)
{
    // No amplitude under noise 300: 512; a pure series of zeros: N/S 0;
    // 25 pulses: 19 positions with their letters, then "...".
    ResultPicture v(25);
    synthesis::SeriesHeader& s = v.series();
    s.wAmplitude = 0;
    s.wNoiseLevel = 300;
    std::fill(s.lpPureData.begin(), s.lpPureData.end(), 0);
    v.growingRows(32, 4, 2);
    v.study = detection::getDetectionStudy(s, nullptr);
    v.study->wDetectionMethod = detection::kChiSquareUnknownDispersion;
    v.draw();

    Bitmap want = makeBitmap(840, 640);
    Dc ref(want);
    views::drawAreaFrame(ref, kFrame.viewArea);
    ref.textOut(kX0, 4,
                " blind detection for series with unknown number of whole pulses. "
                "xi-square criterion for unknown dispersion ");
    ref.textOut(kX0, 17, " series length 1200, Tmin=40, Tmax=181,  amplitude 512, noise level 300, N/S      0");
    ref.textOut(kX0, 29, " pulses number 25 [6-30], length 20");
    std::string line4 = " pulses:";
    for (int k = 0; k < 19; ++k) {
        char item[16];
        std::snprintf(item, sizeof item, " %d%c", s.lpPositions[k], 96 + s.lpEtalonSequence[k]);
        line4 += item;
    }
    ref.textOut(kX0, 41, line4 + "...");
    EXPECT_EQ(inRect(inked(v.picture), 0, 0, 680, kYA), inRect(inked(want), 0, 0, 680, kYA));

    // Without a study the title carries no method; with one etalon no letters.
    ResultPicture plain(25);
    plain.required = {1};
    plain.growingRows(32, 4, 2);
    plain.draw();
    Bitmap plainTitle = makeBitmap(840, 640);
    Dc refTitle(plainTitle);
    views::drawAreaFrame(refTitle, kFrame.viewArea);
    refTitle.textOut(kX0, 4, " blind detection for series with unknown number of whole pulses ");
    EXPECT_EQ(inRect(inked(plain.picture), 0, 0, 680, 16), inRect(inked(plainTitle), 0, 0, 680, 16));
    EXPECT_EQ(inRect(inked(plain.picture), 11, 42, 680, 54),
              inRect(textPixels(views::headerPulsesLine(plain.series(), false), kX0, 41), 11, 42, 680, 54));
}

TEST(ProcessingResultLabels, CutOffPulsesCarryTheirPlacedSamples)
{
    for (uint16_t seriesType : {1, 2}) {
        ResultPicture v;
        v.growingRows(8, seriesType, 3);
        synthesis::SeriesHeader& s = v.series();
        s.lpCutFrom[0] = 3;
        s.lpCutTo[0] = 17;
        v.draw();
        const std::string label = std::to_string(s.lpPositions[0]) + (seriesType == 2 ? "[3..17] " : "");
        // The first label up to where the second one starts.
        const int32_t x = kX0 + s.lpPositions[0] * kW / 1199 - 5;
        const int32_t next = kX0 + s.lpPositions[1] * kW / 1199 - 5;
        EXPECT_EQ(inRect(inked(v.picture), x, kYA + kH + 1, next, kYA + kH + 12),
                  inRect(textPixels(label, x, kYA + kH), x, kYA + kH + 1, next, kYA + kH + 12))
            << seriesType;
    }
}

TEST(ProcessingResultTable, MarksOnlyALastRowBelowTheBest)
{
    ResultPicture v;
    const auto& P = v.series().lpPositions;
    const std::vector<int16_t> three(P.begin(), P.begin() + 3);
    auto mark = [&](const detection::StepwiseProtocol& p, int row) {
        return views::protocolTableRow(p, v.series(), row)[1].text.substr(0, 3);
    };
    detection::StepwiseProtocolPtr worse = protocolOf(8, 1, {three, three, three}, {500, 700, 600});
    EXPECT_EQ(mark(*worse, 0), "   ");  // below the best, but not the last row
    EXPECT_EQ(mark(*worse, 1), "   ");
    EXPECT_EQ(mark(*worse, 2), " ! ");
    detection::StepwiseProtocolPtr best = protocolOf(8, 1, {three, three, three}, {500, 600, 700});
    EXPECT_EQ(mark(*best, 2), "   ");
    detection::StepwiseProtocolPtr equal = protocolOf(8, 1, {three, three}, {700, 700});
    EXPECT_EQ(mark(*equal, 1), "   ");
    // Blind detection of an unknown count also marks row 1 when its count is
    // not the last row's.
    const std::vector<int16_t> four(P.begin(), P.begin() + 4);
    detection::StepwiseProtocolPtr ranked = protocolOf(32, 4, {three, three, four}, {500, 600, 700});
    EXPECT_EQ(mark(*ranked, 1), " ! ");
    detection::StepwiseProtocolPtr known = protocolOf(32, 1, {three, three, four}, {500, 600, 700});
    EXPECT_EQ(mark(*known, 1), "   ");

    // A largest criterion of 0 leaves the factor at 0 instead of dividing by it.
    detection::StepwiseProtocolPtr zero = protocolOf(8, 1, {three}, {0});
    EXPECT_EQ(views::protocolTableRow(*zero, v.series(), 0)[2].text, " 0.000 ");

    // The marked row is written where the table's third row stands.
    v.protocol = protocolOf(8, 1, {three, three, three}, {500, 700, 600});
    v.draw();
    const views::ProcessingResultLayout l = views::processingResultLayout(kFrame, *v.protocol, nullptr, 2);
    const int32_t yRow = l.yT - 3 + kLH + 2 * (kLH - 2);
    EXPECT_EQ(inRect(inked(v.picture), kX0 + 50, yRow + 1, kX0 + 70, yRow + 9),
              inRect(textPixels(" !  600 ", kX0 + 50, yRow), kX0 + 50, yRow + 1, kX0 + 70, yRow + 9));
}

TEST(ProcessingResultTable, ListsSeventeenPositionsThenDots)
{
    ResultPicture v(25);
    const auto& P = v.series().lpPositions;
    auto positionsCell = [&](int count) {
        detection::StepwiseProtocolPtr p = protocolOf(8, 1, {std::vector<int16_t>(P.begin(), P.begin() + count)});
        return views::protocolTableRow(*p, v.series(), 0).back().text;
    };
    std::string seventeen;
    for (int k = 0; k < 17; ++k)
        seventeen.append(" ").append(std::to_string(P[k])).append(" ");
    EXPECT_EQ(positionsCell(20), seventeen + " ....");
    EXPECT_EQ(positionsCell(17), seventeen + " ....");
    std::string sixteen;
    for (int k = 0; k < 16; ++k)
        sixteen.append(" ").append(std::to_string(P[k])).append(" ");
    EXPECT_EQ(positionsCell(16), sixteen);
}

TEST(ProcessingResultTable, DisplacementComparesOnlyPositionsThatExist)
{
    // A row longer than the true list, and a series whose list is shorter
    // than its count, are compared over what both hold.
    ResultPicture v;
    synthesis::SeriesHeader& s = v.series();
    std::vector<int16_t> row(s.lpPositions.begin(), s.lpPositions.begin() + 3);
    row[1] = static_cast<int16_t>(row[1] + 5);
    detection::StepwiseProtocolPtr p = protocolOf(8, 1, {row});
    s.wImpulseQuantity = 60000;
    s.lpPositions.resize(2);
    EXPECT_EQ(views::protocolTableRow(*p, s, 0)[5].text, "  5   ");
}

TEST(ProcessingResultReconstruction, AddsTheBlueRowFourFromFiveRows)
{
    for (int rows : {4, 5, 7}) {
        ResultPicture v;
        v.growingRows(8, 1, rows);
        v.draw();
        const bool blue = hasColour(v.picture, kBlue, kX0 + 1, kYD + 1, kX0 + kW, kYD + kH);
        EXPECT_EQ(blue, rows > 4) << rows;
        // The black reconstruction of the shown row is there either way.
        EXPECT_TRUE(hasColour(v.picture, kBlack, kX0 + 1, kYD + 1, kX0 + kW, kYD + kH / 2 - 1));
    }
    // Blind detection on a known count has no row-4 reconstruction.
    ResultPicture blind;
    blind.growingRows(32, 1, 6);
    blind.draw();
    EXPECT_FALSE(hasColour(blind.picture, kBlue, kX0 + 1, kYD + 1, kX0 + kW, kYD + kH));
}

TEST(ProcessingResultPanels, BelongToBlindDetectionOfAnUnknownCount)
{
    ResultPicture v;
    v.blindDetection();
    v.draw();
    const views::ProcessingResultLayout l = views::processingResultLayout(kFrame, *v.protocol, v.study.get(), 2);
    // Chain totals in red over plot B, the count graph's green curve, the
    // energy graph's frame and blue curve below plot D, the threshold lines.
    EXPECT_TRUE(hasColour(v.picture, kRed, kX0, kYB, kX0 + kW + 1, kYB + kH + 2));
    EXPECT_TRUE(hasColour(v.picture, kGreen, 0, 0, 840, 640));
    EXPECT_EQ(pixelAt(v.picture, kX0, l.yNext), kBlack);
    EXPECT_TRUE(hasColour(v.picture, kBlue, kX0 + 1, l.yNext + 1, kX0 + kW, l.yNext + 95));
    const int rows = views::protocolRowsInUse(*v.protocol);
    const int32_t yLines = l.yT - 3 + kLH + rows * (kLH - 2) + (rows < 4 ? kLH : 0) + kLH / 2;
    const detection::DetectionStudy& d = *v.study;
    ASSERT_EQ(d.lPasses, 1);
    const std::string noise =
        "noise threshold: " + std::to_string(d.lLastNoiseThreshold) + " / " + std::to_string(d.lExpectedNoiseEnergy);
    const std::string cut =
        "cut-off threshold: " + std::to_string(d.lDetectionThreshold) + " / " + std::to_string(d.lMeanWindowEnergy);
    // The second line's cell covers the foot of the first.
    EXPECT_EQ(inRect(inked(v.picture), 11, yLines, 400, yLines + 10),
              inRect(textPixels(noise, kX0, yLines), 11, yLines, 400, yLines + 10));
    EXPECT_EQ(inRect(inked(v.picture), 11, yLines + 10, 400, yLines + 24),
              inRect(textPixels(cut, kX0, yLines + kLH - 2), 11, yLines + 10, 400, yLines + 24));
    // No detail overlays without the flag.
    EXPECT_FALSE(hasColour(v.picture, kBandFirst, kX0, kYB, kX0 + kW + 1, kYB + kH + 1));
    EXPECT_FALSE(hasColour(v.picture, kGrey, kX0, kYD, kX0 + kW + 1, kYD + kH + 1));

    // The same rows labelled as blind detection of a known count: none of it.
    ResultPicture known;
    known.blindDetection();
    known.protocol->wSeriesType = detection::seriesKnownWhole;
    known.draw();
    EXPECT_FALSE(hasColour(known.picture, kRed, 0, 0, 840, 640));
    EXPECT_FALSE(hasColour(known.picture, kGreen, 0, 0, 840, 640));
}

TEST(ProcessingResultPanels, DetailOverlaysOnlyWithTheFlag)
{
    ResultPicture v;
    v.blindDetection();
    v.details = 1;
    v.draw();
    EXPECT_TRUE(hasColour(v.picture, kBandFirst, kX0, kYB, kX0 + kW + 1, kYB + kH + 1));
    EXPECT_TRUE(hasColour(v.picture, kGrey, kX0, kYD, kX0 + kW + 1, kYD + kH + 1));

    // Without a study there is nothing to overlay, whatever the flag.
    ResultPicture bare;
    bare.blindDetection();
    bare.study.reset();
    bare.details = 1;
    bare.draw();
    EXPECT_FALSE(hasColour(bare.picture, kBandFirst, 0, 0, 840, 640));
    EXPECT_FALSE(hasColour(bare.picture, kGrey, 0, 0, 840, 640));
    EXPECT_TRUE(hasColour(bare.picture, kRed, kX0, kYB, kX0 + kW + 1, kYB + kH + 2));
}

TEST(ProcessingResultPanels, MinimumCountOfZeroIsStoredAsOne)
{
    ResultPicture v;
    v.growingRows(8, 1, 3);
    v.table = detection::getPulseCountTable(14, 0, 30, nullptr);
    ASSERT_EQ(v.table->wMinCount, 0);
    v.draw();  // whatever the task
    EXPECT_EQ(v.table->wMinCount, 1);
}

TEST(ProcessingResultResources, EveryPenAndBrushIsReleased)
{
    ResultPicture estimation;
    estimation.growingRows(8, 1, 6);
    ResultPicture blind;
    blind.blindDetection(detection::kThresholdKnownDispersion);
    blind.details = 1;
    for (ResultPicture* v : {&estimation, &blind}) {
        const int32_t before = liveDrawingObjects();
        Dc dc(v->picture);
        const Pen pen = dc.pen();
        const Brush brush = dc.brush();
        views::DrawProcessingResult(dc, v->messages, v->input());
        EXPECT_EQ(liveDrawingObjects(), before);
        EXPECT_EQ(dc.pen(), pen);
        EXPECT_EQ(dc.brush(), brush);
        EXPECT_TRUE(v->messages.messages.empty());
    }
}

TEST(ProcessingResultEdges, DrawsWhatCanBeDrawnFromThinInputs)
{
    // A row without positions: no mean to divide by; the reconstruction is flat.
    ResultPicture empty;
    empty.protocol = protocolOf(8, 1, std::vector<std::vector<int16_t>>{std::vector<int16_t>{}});
    empty.draw();
    EXPECT_EQ(empty.series().wFoundPulses, 0);
    for (const Pixel& p : inRect(inked(empty.picture), kX0 + 1, kYD + 1, kX0 + kW, kYD + kH))
        EXPECT_EQ(p.second, kYD + kH / 2) << p.first;

    // A one-sample series: header, frames and table, no curves.
    ResultPicture tiny;
    tiny.growingRows(8, 1, 2);
    tiny.series().dwSeriesSize = 1;
    tiny.draw();
    EXPECT_EQ(pixelAt(tiny.picture, kX0, kYA), kBlack);

    // No protocol rows, or no series: the frame only.
    ResultPicture none;
    none.protocol = protocolOf(8, 1, {});
    none.draw();
    Bitmap frameOnly = makeBitmap(840, 640);
    Dc ref(frameOnly);
    views::drawAreaFrame(ref, kFrame.viewArea);
    EXPECT_EQ(inked(none.picture), inked(frameOnly));
}

}  // namespace
