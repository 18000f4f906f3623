// The blind-detection panels one by one: the interval bands, the chain
// totals, the overlays of the reconstruction plot, the threshold lines, the
// count graph's labels and the energy graph's curves, dots and bars, with
// their degenerate inputs (empty sets, zero totals, a single row, no energy).

#include <gtest/gtest.h>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "view_test_support.h"
#include "views/unfixed_case_panels.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using viewtest::hasColour;
using viewtest::inRect;
using viewtest::textPixels;
using namespace views;

constexpr int32_t kLH = 12;
// A plot of 1200 samples, 400 x 96 pixels at (20, 100).
const views::SeriesPlot kPlot{20, 100, 400, 96, 144, 1200};

std::set<Pixel> pixelsOf(const Bitmap& b, Color c)
{
    std::set<Pixel> out;
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (pixelAt(b, x, y) == c)
                out.insert({x, y});
    return out;
}

std::set<Pixel> block(int32_t l, int32_t t, int32_t r, int32_t b)
{
    std::set<Pixel> out;
    for (int32_t y = t; y < b; ++y)
        for (int32_t x = l; x < r; ++x)
            out.insert({x, y});
    return out;
}

void setIntervals(detection::DetectionStudy& d, int set, std::vector<int32_t> starts, std::vector<int32_t> ends)
{
    d.wIntervalCounts[set] = static_cast<uint16_t>(starts.size());
    d.lpIntervalStarts[set] = std::move(starts);
    d.lpIntervalEnds[set] = std::move(ends);
}

TEST(IntervalBands, EachSetKeepsItsOwnBandAndAnEmptyOneStaysEmpty)
{
    detection::DetectionStudy d;
    setIntervals(d, detection::omegaFirstOnly, {0}, {99});
    setIntervals(d, detection::omegaLast, {600}, {1199});
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawIntervalBands(dc, kPlot, d);
    // Omega[-] is empty: band 0 (rows 113..124) shows nothing.
    EXPECT_TRUE(pixelsOf(b, views::kIntervalBandColors[0]).empty());
    // Band 1, rows 125..136: samples 0..99 cover x = 20 + (1199 + 0)/2398 ..
    // 20 + (1199 + 100*800)/2398, the end pixel left out.
    EXPECT_EQ(pixelsOf(b, views::kIntervalBandColors[1]), block(20, 125, 53, 137));
    // Band 4, rows 161..172: samples 600..1199 from 220 to 420.
    EXPECT_EQ(pixelsOf(b, views::kIntervalBandColors[4]), block(220, 161, 420, 173));
    EXPECT_TRUE(pixelsOf(b, views::kIntervalBandColors[2]).empty());
    EXPECT_TRUE(pixelsOf(b, views::kIntervalBandColors[3]).empty());

    // A count beyond the stored intervals reads only those stored.
    d.wIntervalCounts[detection::omegaLast] = 500;
    Bitmap again = makeBitmap(600, 400);
    Dc dc2(again);
    views::drawIntervalBands(dc2, kPlot, d);
    EXPECT_EQ(pixelsOf(again, views::kIntervalBandColors[4]), block(220, 161, 420, 173));
}

TEST(ChainTotals, ScaleByTheLargestMagnitudeAndLieFlatWhenAllZero)
{
    std::vector<int32_t> totals(1200, 0);
    Bitmap flat = makeBitmap(600, 400);
    Dc dc(flat);
    views::drawChainTotals(dc, kPlot, totals, 20);
    const std::set<Pixel> red = pixelsOf(flat, views::kPanelRed);
    ASSERT_FALSE(red.empty());
    for (const Pixel& p : red)
        EXPECT_TRUE(p.second >= 147 && p.second <= 149) << p.first << "," << p.second;
    // Only the first N - L + 1 starts are drawn: column 400 * 1180 / 1199 + 20 at most.
    EXPECT_LE(picture::boundsOf(red).right, 20 + (2 * 1180 * 400 + 1199) / 2398 + 1);

    // The largest total reaches the top edge, its negation the bottom.
    totals[600] = 5000;
    totals[900] = -5000;
    Bitmap peaks = makeBitmap(600, 400);
    Dc dc2(peaks);
    views::drawChainTotals(dc2, kPlot, totals, 20);
    EXPECT_EQ(pixelAt(peaks, 20 + (2 * 600 * 400 + 1199) / 2398, 100), views::kPanelRed);
    EXPECT_EQ(pixelAt(peaks, 20 + (2 * 900 * 400 + 1199) / 2398, 196), views::kPanelRed);
    EXPECT_TRUE(inRect(pixelsOf(peaks, views::kPanelRed), 0, 0, 600, 100).empty());
}

TEST(ReconstructionOverlays, KeptPulsesInGreyAndTheTrueCountRowInBlue)
{
    std::vector<int16_t> observed(1200, 50);
    detection::DetectionStudy d;
    d.wDetectedCounts = {1, 1, 1};
    d.lpDetectedPositions[0] = {300};
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawKeptPulseOverlay(dc, kPlot, d, observed, 20);
    // Inside the window the value 50 is raised by H/16 = 6.
    const int32_t raised = 100 + 96 - (194 * 96) / 288 - 6;
    const std::set<Pixel> grey = pixelsOf(b, views::kPanelGrey);
    EXPECT_EQ(pixelAt(b, 20 + (2 * 310 * 400 + 1199) / 2398, raised), views::kPanelGrey);
    EXPECT_EQ(pixelAt(b, 20 + (2 * 310 * 400 + 1199) / 2398 - 1, raised), views::kPanelGrey);
    EXPECT_TRUE(inRect(grey, 0, 0, 600, raised).empty());

    // The true count (4) is first found in row 2 of rows 1..wUsed-2.
    detection::StepwiseProtocol p;
    p.wUsed = 5;
    p.lpPulses = {4, 5, 4, 4, 3};
    p.lpRowPositions = {{10, 300, 600, 900}, {1}, {100, 400, 700, 1000}, {0, 1, 2, 3}, {0}};
    synthesis::SeriesHeader s;
    s.wImpulseQuantity = 4;
    s.wImpulseSize = 20;
    Bitmap blue = makeBitmap(600, 400);
    Dc dcb(blue);
    EXPECT_EQ(views::drawTrueCountOverlay(dcb, kPlot, p, s, observed), 2);
    EXPECT_TRUE(hasColour(blue, views::kPanelBlue, 20 + 33 - 3, 100, 20 + 33 + 10, 196));
    // Nothing is drawn left of the plot's edge.
    EXPECT_TRUE(inRect(pixelsOf(blue, views::kPanelBlue), 0, 0, 20, 400).empty());
    // Row 0 and the last row are not searched.
    p.lpPulses = {4, 5, 3, 2, 4};
    EXPECT_EQ(views::drawTrueCountOverlay(dcb, kPlot, p, s, observed), -1);
}

TEST(ThresholdLines, ShowTheFirstThresholdOnlyAfterSeveralPasses)
{
    detection::DetectionStudy d;
    d.lFirstNoiseThreshold = 900;
    d.lLastNoiseThreshold = 500;
    d.lExpectedNoiseEnergy = 400;
    d.lDetectionThreshold = 7;
    d.lMeanWindowEnergy = 1234;
    for (int32_t passes : {1, 3}) {
        d.lPasses = passes;
        Bitmap b = makeBitmap(600, 400);
        Dc dc(b);
        EXPECT_EQ(views::drawThresholdLines(dc, 30, 50, kLH, d), 20);
        const std::string noise = passes > 1 ? "noise threshold: 900 -> 500 / 400" : "noise threshold: 500 / 400";
        EXPECT_EQ(inRect(inked(b), 0, 0, 600, 60), inRect(textPixels(noise, 30, 50), 0, 0, 600, 60));
        // Below the first line's cell only the second line shows.
        EXPECT_EQ(inRect(inked(b), 0, 63, 600, 400),
                  inRect(textPixels("cut-off threshold: 7 / 1234", 30, 60), 0, 63, 600, 400));
    }
}

TEST(CountGraph, LabelsStandSevenPixelsPerDigitLeftOfTheirTick)
{
    detection::StepwiseProtocol none;  // no row 1: no label or dots for it
    const views::GraphBox box{100, 100, 200, 100};
    for (uint16_t low : {100, 5}) {
        detection::PulseCountTable t;
        t.wRows = 3;
        t.wMinCount = low;
        t.wMaxCount = static_cast<uint16_t>(low + 2);
        t.wConfiguredCount = static_cast<uint16_t>(low + 1);
        t.lpPulseCounts = {low, low + 1, low + 2};
        t.lpSquares = {1000, 3000, 2000};
        t.lpNoisePerWindow = {50, 40, 45};
        Bitmap b = makeBitmap(600, 400);
        Dc dc(b);
        views::drawCountGraph(dc, box, t, none, kLH);
        // Three digits: 16 pixels left of the tick; one digit: 2.
        const int32_t shift = low == 100 ? 16 : 2;
        const std::string text = std::to_string(low);
        EXPECT_EQ(inRect(inked(b), 60, 201, 150, 215), inRect(textPixels(text, 100 - shift, 200), 60, 201, 150, 215));
        // The configured count's dots every 4th pixel up from the bottom at the middle tick.
        EXPECT_EQ(pixelAt(b, 200, 196), kBlack);
        EXPECT_NE(pixelAt(b, 200, 198), kBlack);
        // The squares curve peaks at 1/(1 + 1/4) of the height, point 1 at x = 100 + (2*200 + 2)/4.
        EXPECT_EQ(pixelAt(b, 200, 200 - (2000 * 100) / 2500), views::kPanelBlue);
        EXPECT_TRUE(hasColour(b, views::kPanelGreen, 101, 101, 300, 200));
        EXPECT_TRUE(hasColour(b, views::kPanelRed, 101, 101, 300, 200));
    }
}

TEST(CountGraph, OneRowOrEmptyPulseCountsDoNotDivideByZero)
{
    detection::PulseCountTable t;
    t.wRows = 1;
    t.wMinCount = 4;
    t.wMaxCount = 4;
    t.wConfiguredCount = 9;
    t.lpPulseCounts = {0};
    t.lpSquares = {5};
    t.lpNoisePerWindow = {5};
    detection::StepwiseProtocol p;
    p.wUsed = 2;
    p.lpPulses = {4, 4};
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawCountGraph(dc, {100, 100, 200, 100}, t, p, kLH);
    EXPECT_EQ(pixelAt(b, 100, 150), kBlack);  // the frame stands
    EXPECT_EQ(pixelAt(b, 300, 150), kBlack);

    detection::PulseCountTable zero;
    views::settlePulseCountTable(zero);
    EXPECT_EQ(zero.wMinCount, 1);
}

TEST(EnergyGraph, GeometryFollowsTheStartsOfTheSeries)
{
    const views::LayoutRect view{10, 10, 809, 609};
    // 800 thousandths scaled by 1181/1200 and rounded: 787 of 800 pixels.
    const views::GraphBox g = views::energyGraphBox(views::resultLayouts[0], view, 800, 396, 1200, 20, 384);
    EXPECT_EQ(g.w, 629);
    EXPECT_EQ(g.h, 95);
    EXPECT_EQ(g.x, 19);
    EXPECT_EQ(g.y, 384);
    EXPECT_EQ(views::energyGraphBox(views::resultLayouts[1], view, 800, 396, 1200, 20, 0).h, 198);
    EXPECT_EQ(views::energyGraphBox(views::resultLayouts[0], view, 800, 396, 0, 20, 0).w, 0);

    const views::GraphBox c = views::countGraphBox(views::resultLayouts[0], view, 800, 396, 19, 12);
    EXPECT_EQ(c.w, 160);
    EXPECT_EQ(c.h, 132);
    EXPECT_EQ(c.x, 499);
    EXPECT_EQ(c.y, 609 - 132 - 12);
}

detection::DetectionStudy flatStudy(int32_t npos)
{
    detection::DetectionStudy d;
    d.lpEnergies.assign(static_cast<size_t>(npos), 0);
    d.lpReducedEnergies.assign(static_cast<size_t>(npos), 0);
    for (int j = 0; j < 3; ++j) {
        d.lpDetectedPositions[j].assign(4, 0);
        d.lpDetectedEnergies[j].assign(4, 0);
    }
    return d;
}

TEST(EnergyGraph, AllZeroEnergiesLieOnTheBottomEdge)
{
    const detection::DetectionStudy d = flatStudy(200);
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawEnergyGraph(dc, {20, 100, 400, 100}, d, 200, kLH);
    const std::set<Pixel> blue = pixelsOf(b, views::kPanelBlue);
    ASSERT_FALSE(blue.empty());
    for (const Pixel& p : blue)
        EXPECT_TRUE(p.second == 199 || p.second == 200) << p.first << "," << p.second;
}

TEST(EnergyGraph, DetectionsAreDottedFromTheTopAndBarredFromTheBottom)
{
    detection::DetectionStudy d = flatStudy(200);
    d.lpEnergies[0] = 800;  // R = 900
    d.wDetectedCounts = {1, 1, 1};
    d.lpDetectedPositions[0][0] = 100;
    d.lpDetectedEnergies[0][0] = 800;  // level 200 - 88 = 112
    d.lpDetectedPositions[1][0] = 50;
    d.lpDetectedEnergies[1][0] = 400;  // level 156
    d.lpDetectedPositions[2][0] = 150;
    d.lpDetectedEnergies[2][0] = 600;  // level 134
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawEnergyGraph(dc, {20, 100, 400, 100}, d, 200, kLH);
    // Pass 1 at x = 20 + 100*400/199: black every 4th row from the top, above 112.
    for (int32_t y : {100, 104, 108})
        EXPECT_EQ(pixelAt(b, 221, y), kBlack) << y;
    EXPECT_NE(pixelAt(b, 221, 112), kBlack);
    // Pass 2 as a dotted double column (three passes ran): pairs of rows every 3.
    EXPECT_EQ(pixelAt(b, 120, 197), views::kPanelBlue);
    EXPECT_EQ(pixelAt(b, 121, 196), views::kPanelBlue);
    EXPECT_EQ(pixelAt(b, 120, 198), kWhite);
    EXPECT_EQ(pixelAt(b, 120, 157), views::kPanelBlue);
    EXPECT_EQ(pixelAt(b, 120, 150), kWhite);
    // Pass 3 as a bar two pixels wide from the bottom up to its level.
    EXPECT_EQ(pixelAt(b, 321, 135), views::kPanelBlue);
    EXPECT_EQ(pixelAt(b, 322, 170), views::kPanelBlue);
    EXPECT_EQ(pixelAt(b, 321, 133), kWhite);

    // After a single pass (nothing after pass 3) pass 2 is barred, undotted.
    d.wDetectedCounts = {1, 1, 0};
    Bitmap single = makeBitmap(600, 400);
    Dc dc1(single);
    views::drawEnergyGraph(dc1, {20, 100, 400, 100}, d, 200, kLH);
    EXPECT_EQ(pixelAt(single, 120, 198), views::kPanelBlue);
    EXPECT_EQ(pixelAt(single, 120, 157), views::kPanelBlue);
    EXPECT_EQ(pixelAt(single, 321, 170), kWhite);
}

// A detection whose energy lies millions of rows off the graph is drawn as if
// it lay just beyond it: its dotted column from the top stops a graph height
// below the graph.
TEST(EnergyGraph, AWildDetectionEnergyIsHeldNearTheGraph)
{
    detection::DetectionStudy d = flatStudy(200);
    d.lpEnergies[0] = 800;  // R = 900
    d.wDetectedCounts = {1, 1, 1};
    d.lpDetectedPositions[0][0] = 100;         // x 221
    d.lpDetectedEnergies[0][0] = -2000000000;  // level 200 + 2.2e8, held at 100 + 2 * 100 + 1
    Bitmap b = makeBitmap(600, 400);
    Dc dc(b);
    views::drawEnergyGraph(dc, {20, 100, 400, 100}, d, 200, kLH);
    for (int32_t y = 100; y <= 300; y += 4)
        EXPECT_EQ(pixelAt(b, 221, y), kBlack) << y;
    for (int32_t y = 304; y < 400; y += 4)
        EXPECT_EQ(pixelAt(b, 221, y), kWhite) << y;
}

TEST(EnergyGraph, KnownDispersionAddsTheReducedEnergiesInBlue)
{
    detection::DetectionStudy d = flatStudy(200);
    for (int i = 0; i < 200; ++i) {
        d.lpEnergies[static_cast<size_t>(i)] = 400 + (i % 7) * 50;
        d.lpReducedEnergies[static_cast<size_t>(i)] = (i % 7) * 50;
    }
    for (uint16_t method : {detection::kPrimitiveMethod, detection::kThresholdKnownDispersion}) {
        d.wDetectionMethod = method;
        Bitmap b = makeBitmap(600, 400);
        Dc dc(b);
        const int32_t before = liveDrawingObjects();
        views::drawEnergyGraph(dc, {20, 100, 400, 100}, d, 200, kLH);
        EXPECT_EQ(liveDrawingObjects(), before);
        EXPECT_EQ(hasColour(b, views::kPanelDarkBlue, 20, 100, 421, 201),
                  method == detection::kThresholdKnownDispersion);
        EXPECT_TRUE(hasColour(b, views::kPanelBlue, 20, 100, 421, 201));
    }
    // One start: a frame and labels, nothing divided by zero spacing.
    Bitmap one = makeBitmap(600, 400);
    Dc dc(one);
    views::drawEnergyGraph(dc, {20, 100, 400, 100}, flatStudy(1), 1, kLH);
    EXPECT_EQ(pixelAt(one, 20, 150), kBlack);
}

}  // namespace
