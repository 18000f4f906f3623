// The statistical simulation view: its header texts, where the panel and
// the graph stand, the error scale, curves at known cells, and records that
// are empty, unfinished or out of the usual range drawing nothing harmful.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "synthesis/synthesis_fixture.h"
#include "view_test_support.h"
#include "views/statistical_simulation_view.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using viewtest::inRect;

constexpr int32_t kLH = 12;
// An 800 x 600 view (see the layout test for its figures).
const views::ViewFrame kFrame{{10, 10, 809, 609}, kLH};

// A finished simulation of pulse counts `values` over noise levels 0, 20, ...
struct SimulationPicture {
    SynthesisFixture fx;
    detection::RestErrorHeader header;
    std::vector<uint16_t> required{3, 7, 12};
    Bitmap picture = makeBitmap(840, 640);
    base::MessageRecorder messages;

    SimulationPicture(std::vector<int16_t> values, uint16_t levels, int32_t repeats)
    {
        EXPECT_TRUE(fx.make(1200, 8));  // Tmax 181, L 20: the free gap is 161
        header.wReservedPulses = header.wVariousPulses = static_cast<uint16_t>(values.size());
        header.wReservedLevels = header.wNoiseLevels = levels;
        header.repeats = repeats;
        header.wPulseValues = values;
        for (uint16_t i = 0; i < levels; ++i)
            header.lpNoiseLevel.push_back(static_cast<int16_t>(20 * i));
        for (auto& m : header.lpErrors)
            m.assign(levels, std::vector<int32_t>(values.size(), 0));
        header.lpTaskName = "joint detection and estimation";
        header.lpSeriesName = "known number of whole pulses";
        header.fReady = 1;
    }
    // The error cell that shows relative error v for R repeats.
    void setError(size_t i, size_t j, double v)
    {
        header.lpErrors[detection::kDetectionErrors][i][j] =
            static_cast<int32_t>(std::lround(v * v * 161.0 * 161.0 * header.repeats));
    }
    views::SimulationViewLayout layout() const
    {
        return views::simulationViewLayout(kFrame, static_cast<int32_t>(required.size()), header.wNoiseLevels,
                                           fx.series->dwSeriesSize, fx.series->wImpulseSize);
    }
    void draw(bool withHeader = true, bool withSeries = true)
    {
        Dc dc(picture);
        views::SimulationViewInput in;
        in.frame = kFrame;
        in.amplitude = 128;
        in.kind = 2;
        in.n = static_cast<uint16_t>(required.size());
        in.requiredList = required;
        in.header = withHeader ? &header : nullptr;
        in.series = withSeries ? fx.series.get() : nullptr;
        views::DrawDetectionArrayZ(dc, messages, in);
    }
};

// Whether some pixel within `d` of (x, y) is black.
bool blackNear(const Bitmap& b, int32_t x, int32_t y, int32_t d = 1)
{
    for (int32_t yy = y - d; yy <= y + d; ++yy)
        for (int32_t xx = x - d; xx <= x + d; ++xx)
            if (pixelAt(b, xx, yy) == kBlack)
                return true;
    return false;
}

TEST(SimulationViewText, HeaderLinesNameWhatWasSimulated)
{
    SimulationPicture v({6, 7, 8, 9, 10}, 5, 3);
    const synthesis::SeriesHeader& s = *v.fx.series;
    const std::vector<std::string> lines = views::simulationHeaderLines(v.header, s, 128, 2);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0],
              " statistical simulation for joint detection and estimation in series with known number of "
              "whole pulses ");
    EXPECT_EQ(lines[1], " series length 1200, ");
    EXPECT_EQ(lines[2], " involves  6, 7,..., 10 pulses from [" + std::to_string(s.wMinPulses) + "-" +
                            std::to_string(s.wMaxPulses) + "],");
    EXPECT_EQ(lines[3], " with length 20, amplitude 128");
    EXPECT_EQ(lines[4], " Tmin=40, Tmax=181,");
    EXPECT_EQ(lines[5], " number of 5 noise levels");
    EXPECT_EQ(lines[6], " from 0 to 80 with step 20");
    EXPECT_EQ(lines[7], " detection error, componentwise case");
    EXPECT_EQ(lines[8], " for volume of  3 repeats");

    // Fewer than four values are all listed; the range replaces the last comma.
    SimulationPicture few({6, 8}, 1, 1);
    const std::vector<std::string> l2 = views::simulationHeaderLines(few.header, *few.fx.series, 0, 0);
    EXPECT_EQ(l2[2].substr(0, 15), " involves  6, 8");
    EXPECT_EQ(l2[2][15], ' ');
    // One level: no step, and nothing is read beyond it.
    EXPECT_EQ(l2[6], " from 0 to 0 with step 0");
    EXPECT_EQ(l2[7], " restored error, componentwise case");

    // Missing labels print as empty texts.
    few.header.lpTaskName = nullptr;
    few.header.lpSeriesName = nullptr;
    EXPECT_EQ(views::simulationHeaderLines(few.header, *few.fx.series, 0, 2)[0],
              " statistical simulation for  in series with  ");
}

TEST(SimulationViewText, EveryKindHasItsCaption)
{
    EXPECT_EQ(views::simulationMeasureCaption(1), " restored error, agregate form");
    EXPECT_EQ(views::simulationMeasureCaption(3), " detection error, agregate form");
    EXPECT_EQ(views::simulationMeasureCaption(4), views::simulationMeasureCaption(5));
    EXPECT_EQ(views::simulationMeasureCaption(6), " error of number of fragments, componentwise case");
    EXPECT_EQ(views::simulationMeasureCaption(10), " mean square error of number of fragments");
    EXPECT_EQ(views::simulationMeasureCaption(11), "");
    EXPECT_EQ(views::simulationMeasureCaption(-1), "");
}

TEST(SimulationViewScale, GridStepCoversTheLargestErrorWithRoundFigures)
{
    EXPECT_EQ(views::simulationGridStep(350), 500);
    EXPECT_EQ(views::simulationGridStep(50), 50);
    EXPECT_EQ(views::simulationGridStep(0), 50);  // raised to 50
    EXPECT_EQ(views::simulationGridStep(100), 100);
    EXPECT_EQ(views::simulationGridStep(201), 250);
    EXPECT_EQ(views::simulationGridStep(1500), 2000);
    for (int64_t T = 50; T < 200000; T += 7) {
        const int64_t g = views::simulationGridStep(T);
        ASSERT_GE(g, T);
        ASSERT_LT(g, 4 * T);
        int64_t mantissa = g;
        while (mantissa % 10 == 0 && mantissa >= 1000)
            mantissa /= 10;
        ASSERT_TRUE(mantissa == 100 || mantissa == 200 || mantissa == 250 || mantissa == 500 || mantissa == 50) << g;
    }
}

TEST(SimulationViewScale, CellAmplitudeFollowsTheNoiseAndStaysIn16Bits)
{
    EXPECT_EQ(views::simulationCellAmplitude(100, 5000), 100);
    EXPECT_EQ(views::simulationCellAmplitude(0, 0), 128);
    EXPECT_EQ(views::simulationCellAmplitude(0, 300), 512);
    EXPECT_EQ(views::simulationCellAmplitude(0, 65535), 16384);
}

TEST(SimulationViewLayout, PlacesPanelAndGraph)
{
    SimulationPicture v({6, 8}, 5, 4);
    const views::SimulationViewLayout l = v.layout();
    EXPECT_EQ(l.Hu, 396);
    EXPECT_EQ(l.h, 100);  // 99 made even
    EXPECT_EQ(l.A, 632);
    EXPECT_EQ(l.B, 79);
    EXPECT_EQ(l.nr, 2);
    EXPECT_EQ(l.pl, 682);
    EXPECT_EQ(l.pt, 16);
    EXPECT_EQ(l.cwid, 39);
    EXPECT_EQ(l.chei, 50);
    EXPECT_EQ(l.gh, 556);
    EXPECT_EQ(l.gw, 316);
    EXPECT_EQ(l.dh, 14);
    EXPECT_EQ(l.dw, 12);
    EXPECT_EQ(l.GW, 48);
    EXPECT_EQ(l.GH, 560);
    EXPECT_EQ(l.x0, 602);
    EXPECT_EQ(l.y0, 28);
    EXPECT_EQ(l.fh, 22);
    EXPECT_EQ(l.yAfterHeader, 4 + 8 * 13 + 26);

    // Panel entries go down the left column first.
    EXPECT_EQ(views::simulationPanelCell(l, kLH, 0).left, 682);
    EXPECT_EQ(views::simulationPanelCell(l, kLH, 1).top, views::simulationPanelCell(l, kLH, 0).top + 75);
    EXPECT_EQ(views::simulationPanelCell(l, kLH, 2).left, 682 + 59);

    // One noise level: the graph has no width.
    EXPECT_EQ(views::simulationViewLayout(kFrame, 3, 1, 1200, 20).GW, 0);
}

TEST(SimulationViewPicture, CurvesPassThroughTheirErrorsOnTheScale)
{
    SimulationPicture v({6, 8}, 5, 4);
    // Pulse count 6: 0 at level 0, then 0.1; pulse count 8 rises to 0.35,
    // which makes the grid step 500 and the scale s = 2.
    for (size_t i = 1; i < 5; ++i)
        v.setError(i, 0, 0.1);
    for (size_t i = 0; i < 5; ++i)
        v.setError(i, 1, 0.35 * static_cast<double>(i) / 4.0);
    const int32_t before = liveDrawingObjects();
    v.draw();
    EXPECT_EQ(liveDrawingObjects(), before);
    EXPECT_TRUE(v.messages.messages.empty());

    const views::SimulationViewLayout l = v.layout();
    const Bitmap& b = v.picture;
    const int32_t x0 = l.x0, y0 = l.y0, GH = l.GH, dw = l.dw;
    // Both frames of the graph.
    EXPECT_EQ(pixelAt(b, x0 + l.GW / 2, y0), kBlack);
    EXPECT_EQ(pixelAt(b, x0 + l.GW / 2, y0 - 1), kBlack);
    EXPECT_EQ(pixelAt(b, x0 + l.GW / 2, y0 - 2), kWhite);

    // The curve of 6 pulses stands at 0.1 of a graph topped at 0.5 from level 1 on.
    const int32_t y6 = y0 + GH - static_cast<int32_t>(2.0 * 0.1 * GH);
    for (int32_t i = 1; i < 4; ++i)
        EXPECT_TRUE(blackNear(b, x0 + i * dw, y6)) << i;
    // The curve of 8 pulses at level 2 stands near 0.175.
    const int32_t y8 = y0 + GH - static_cast<int32_t>(2.0 * 0.175 * GH);
    EXPECT_TRUE(blackNear(b, x0 + 2 * dw, y8));
    // Halfway up between the two curves at level 3 nothing is drawn.
    const int32_t y8at3 = y0 + GH - static_cast<int32_t>(2.0 * 0.2625 * GH);
    EXPECT_TRUE(blackNear(b, x0 + 3 * dw, y8at3));
    const int32_t between = (y6 + y8at3) / 2;
    for (int32_t x = x0 + 3 * dw - 1; x <= x0 + 3 * dw + 1; ++x)
        EXPECT_NE(pixelAt(b, x, between), kBlack) << x;
    // Each curve ends in the label of its pulse count, right of the graph.
    const std::set<Pixel> ink = inked(b);
    const int32_t yEnd8 = y0 + GH - static_cast<int32_t>(2.0 * 0.35 * GH);
    EXPECT_FALSE(inRect(ink, x0 + 5 * dw, yEnd8 - 40, x0 + 5 * dw + 20, yEnd8 + 15).empty());
    // The size figures stand two lines and a half below the panel's height
    // share under the header, at x = 20 in the graph font.
    const int32_t yFigures = l.yAfterHeader + l.h + kLH / 2 + kLH + 2 + kLH;
    EXPECT_TRUE(inRect(ink, 20, 4 + 8 * 13 + 14, 400, yFigures).empty());
    EXPECT_FALSE(inRect(ink, 20, yFigures, 400, yFigures + l.fh).empty());
    // The whole graph stays inside the view.
    EXPECT_TRUE(inRect(ink, 811, 0, 840, 640).empty());
}

TEST(SimulationViewPicture, ErrorsOfZeroLieOnTheBottomEdge)
{
    // The curves alone on a blank picture: a graph 200 x 400 at (50, 20).
    const std::vector<int16_t> values{6, 8};
    const std::vector<double> norm{161.0 * 161.0, 161.0 * 161.0};
    std::vector<std::vector<int32_t>> errors(5, std::vector<int32_t>(2, 0));
    auto draw = [&](Bitmap& b) {
        Dc dc(b);
        views::DrawDetectionCurves(dc, 4, 2, values, norm, 5, errors, 50, 20, 200, 400, 7, 20.0, 50);
    };
    Bitmap zero = makeBitmap(400, 480);
    draw(zero);
    // Every curve runs along the bottom edge (two rows thick) to its label.
    const std::set<Pixel> curves = inRect(inked(zero), 0, 0, 250, 480);
    ASSERT_FALSE(curves.empty());
    for (const Pixel& p : curves)
        EXPECT_TRUE(p.second == 420 || p.second == 421) << p.first << "," << p.second;
    EXPECT_FALSE(inRect(inked(zero), 300, 405, 330, 440).empty());  // "6" and "8" at K * dw

    // 0.04 on a scale of 20 (a graph topped at 0.05) stands at 0.8 of the height.
    errors[1][0] = errors[2][0] = 166;  // 4 * 0.04^2 * 161^2, rounded
    Bitmap raised = makeBitmap(400, 480);
    draw(raised);
    const int32_t y = 20 + 400 - static_cast<int32_t>(20.0 * std::sqrt(166.0 / 4 / norm[0]) * 400);
    EXPECT_EQ(y, 20 + 400 - 320);
    for (int32_t x = 100; x < 150; x += 7)
        EXPECT_EQ(pixelAt(raised, x, y), kBlack) << x;
    EXPECT_EQ(pixelAt(raised, 125, y - 1), kWhite);

    // No repeats: nothing at all.
    Bitmap none = makeBitmap(400, 480);
    {
        Dc dc(none);
        views::DrawDetectionCurves(dc, 0, 2, values, norm, 5, errors, 50, 20, 200, 400, 7, 20.0, 50);
    }
    EXPECT_TRUE(inked(none).empty());
}

TEST(SimulationViewPicture, EmptyOrUnfinishedRecordsDrawNothingHarmful)
{
    // Without a record or a series: the frame only.
    SimulationPicture none({6}, 2, 1);
    none.draw(false, true);
    const std::set<Pixel> frameOnly = inked(none.picture);
    for (const Pixel& p : frameOnly)
        EXPECT_TRUE(p.first == 10 || p.first == 810 || p.second == 10 || p.second == 610);
    SimulationPicture noSeries({6}, 2, 1);
    noSeries.draw(true, false);
    EXPECT_EQ(inked(noSeries.picture), frameOnly);

    // A freshly made record: no values, no levels, no repeats.
    SimulationPicture fresh({}, 0, 0);
    fresh.header.fReady = 0;
    const int32_t before = liveDrawingObjects();
    fresh.draw();
    EXPECT_EQ(liveDrawingObjects(), before);
    EXPECT_TRUE(fresh.messages.messages.empty());

    // Repeats of 0 with errors present: no division, no curves.
    SimulationPicture noRepeats({6, 8}, 3, 0);
    noRepeats.header.lpErrors[detection::kDetectionErrors][2][1] = 5000;
    noRepeats.draw();
    SimulationPicture plain({6, 8}, 3, 0);
    plain.draw();
    EXPECT_EQ(inked(noRepeats.picture), inked(plain.picture));

    // A record claiming more cells than it holds reads none beyond them.
    SimulationPicture shortRecord({6, 8}, 3, 2);
    shortRecord.header.wVariousPulses = 9;
    shortRecord.header.wNoiseLevels = 12;
    shortRecord.draw();

    // One noise level, the gap Tmax - L of 0, and cells at the 32-bit limit.
    SimulationPicture odd({6, 8}, 1, 1);
    odd.fx.series->wTmax = odd.fx.series->wImpulseSize;
    odd.header.lpErrors[detection::kDetectionErrors][0][0] = std::numeric_limits<int32_t>::max();
    odd.draw();
    EXPECT_EQ(liveDrawingObjects(), before);
}

TEST(SimulationViewPicture, PanelShowsTheEtalonsInUse)
{
    SimulationPicture v({6, 8}, 5, 4);
    v.draw();
    const views::SimulationViewLayout l = v.layout();
    // The panel box: its left and bottom edges.
    const int32_t bottom = l.pt + 26 + (l.chei + 10 + kLH) * l.nr - 1;
    EXPECT_EQ(pixelAt(v.picture, l.pl, bottom - 5), kBlack);
    EXPECT_EQ(pixelAt(v.picture, l.pl + 20, bottom), kBlack);
    EXPECT_EQ(pixelAt(v.picture, l.pl + 20, bottom + 1), kWhite);
    // Each of the three entries has ink in its cell; a fourth place stays empty.
    const std::set<Pixel> ink = inked(v.picture);
    for (int32_t k = 0; k < 3; ++k) {
        const Rect c = views::simulationPanelCell(l, kLH, k);
        EXPECT_FALSE(inRect(ink, c.left + 1, c.top + 2, c.right, c.bottom).empty()) << k;
    }
    const Rect fourth = views::simulationPanelCell(l, kLH, 3);
    EXPECT_TRUE(inRect(ink, fourth.left + 1, fourth.top + 2, fourth.right, fourth.bottom).empty());
}

}  // namespace
