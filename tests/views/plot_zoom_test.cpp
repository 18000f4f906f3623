// The series plots of the result views showing a part of the series: the
// whole series, given as a range or not, draws the very picture of a view
// given no range; a part maps its first and last sample to the plot's edges and the
// pulse marks, labels, bands and overlays follow it without leaving the
// frame; the views tell where their plots stood.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/picture_test_support.h"
#include "result_picture.h"
#include "view_test_support.h"
#include "views/processing_result_view.h"
#include "views/series_view.h"

namespace {

using namespace platform;
using picture::inked;
using picture::KeepIfFailed;
using picture::Pixel;
using viewtest::inRect;
using namespace viewtest;

constexpr int32_t kN = 1200;

const Color kBlue = rgb(0, 0, 255);
const Color kRed = rgb(255, 0, 0);
const Color kGrey = rgb(199, 199, 199);

enum class Scene { Estimation, EstimationFiveRows, BlindWithDetails, KnownDispersion, AdditiveModel, SeriesView };

// One result picture of a series of 1200 samples, drawn with a given range.
struct Result : viewtest::ResultPicture {
    Scene scene;

    explicit Result(Scene sc) : scene(sc)
    {
        switch (scene) {
        case Scene::Estimation:
        case Scene::EstimationFiveRows:
            growingRows(detection::taskFixedEstimation, detection::seriesKnownWhole,
                        scene == Scene::Estimation ? 3 : 5);
            break;
        case Scene::BlindWithDetails:
        case Scene::KnownDispersion:
        case Scene::AdditiveModel:
            blindDetection(scene == Scene::BlindWithDetails  ? detection::kPrimitiveMethod
                           : scene == Scene::KnownDispersion ? detection::kThresholdKnownDispersion
                                                             : detection::kAdditiveModel);
            details = 1;
            break;
        case Scene::SeriesView: {
            synthesis::SeriesHeader& s = series();
            s.wFoundPulses = s.wImpulseQuantity;
            std::copy_n(s.lpPositions.begin(), s.wImpulseQuantity, s.lpFoundPositions.begin());
            break;
        }
        }
    }

    Bitmap draw(views::SampleRange range, views::ShownPlots* shown = nullptr) { return paint(range, shown); }
    // Without the range argument at all.
    Bitmap drawWithoutRange() { return paint(std::nullopt, nullptr); }
    Bitmap paint(std::optional<views::SampleRange> range, views::ShownPlots* shown)
    {
        Bitmap b = makeBitmap(840, 640);
        Dc dc(b);
        if (scene != Scene::SeriesView)
            views::DrawProcessingResult(dc, messages, input(range, shown));
        else if (range)
            views::drawSeriesView(dc, kFrame, static_cast<uint16_t>(required.size()), required, fx.series.get(), *range,
                                  shown);
        else
            views::drawSeriesView(dc, kFrame, static_cast<uint16_t>(required.size()), required, fx.series.get());
        return b;
    }
};

const Scene kScenes[] = {Scene::Estimation,      Scene::EstimationFiveRows, Scene::BlindWithDetails,
                         Scene::KnownDispersion, Scene::AdditiveModel,      Scene::SeriesView};

TEST(PlotZoom, TheWholeSeriesGivenOrNotDrawsTheClassicPicture)
{
    // Every way of asking for the whole series: the range of all its samples,
    // one reaching past both ends, an empty one and one of a single sample.
    const views::SampleRange whole[] = {{0, kN}, {-50, 5000}, {300, 300}, {10, 11}};
    for (Scene scene : kScenes) {
        Result classic(scene);
        const Bitmap want = classic.drawWithoutRange();
        for (const views::SampleRange& range : whole) {
            Result v(scene);
            const Bitmap got = v.draw(range);
            EXPECT_TRUE(picture::samePicture(got, want, "whole-series-" + std::to_string(static_cast<int>(scene))))
                << "range " << range.from << ".." << range.to;
        }
    }
}

TEST(PlotZoom, APartChangesOnlyThePlotsAndTheirLabels)
{
    for (Scene scene : kScenes) {
        Result v(scene);
        views::ShownPlots plots;
        const Bitmap whole = v.draw({}, &plots);
        const Bitmap part = v.draw({400, 700});
        KeepIfFailed keep(part, "zoom-rest-" + std::to_string(static_cast<int>(scene)), &whole);
        EXPECT_NE(whole.pixels, part.pixels);
        const std::set<Pixel> a = inked(whole), b = inked(part);
        // The header above plot A, the Alphabet panel at the right, and
        // everything below the last plot and its labels stay as they were.
        const views::ShownPlot& last = plots.plots[static_cast<size_t>(plots.count - 1)];
        const int32_t below = last.y + last.H + kLH + 1;
        EXPECT_EQ(inRect(a, 0, 0, 840, kYA - 1), inRect(b, 0, 0, 840, kYA - 1)) << static_cast<int>(scene);
        EXPECT_EQ(inRect(a, 681, 0, 840, 640), inRect(b, 681, 0, 840, 640)) << static_cast<int>(scene);
        EXPECT_EQ(inRect(a, 0, below, 840, 640), inRect(b, 0, below, 840, 640)) << static_cast<int>(scene);
    }
}

TEST(PlotZoom, TheFirstAndLastShownSampleMeetTheEdges)
{
    Result v(Scene::SeriesView);
    const synthesis::SeriesHeader& s = v.series();
    const Bitmap b = v.draw({400, 700});
    KeepIfFailed keep(b, "zoom-curve-edges");
    const views::DisplayAmplitude amp = views::displayAmplitude(s.wAmplitude, s.wNoiseLevel);
    const views::SeriesPlot plotB{kX0, kYB, kW, kH, amp.S, kN};
    // The observed curve starts at sample 400 on the left edge and passes
    // sample 550 at its rounded column (150 of 299 across 640 columns: 321).
    EXPECT_EQ(pixelAt(b, kX0, views::plotValueY(plotB, s.lpSeriesData[400])), kBlue);
    EXPECT_EQ(pixelAt(b, kX0 + 321, views::plotValueY(plotB, s.lpSeriesData[550])), kBlue);
    // Nothing blue outside the frame's columns in the rows of plot B.
    EXPECT_FALSE(viewtest::hasColour(b, kBlue, 0, kYB, kX0, kYB + kH + 1));
    EXPECT_FALSE(viewtest::hasColour(b, kBlue, kX0 + kW + 1, kYB, 680, kYB + kH + 1));
}

TEST(PlotZoom, MarksStandAtTheMappedColumnsAndAreCutAtTheFrame)
{
    synthesis::SeriesHeader s;
    s.dwSeriesSize = kN;
    s.wImpulseSize = 20;
    // Outside on the left, reaching in from the left, inside, reaching out
    // on the right, outside on the right.
    s.lpFoundPositions = {100, 390, 500, 690, 900};
    s.wFoundPulses = 5;
    const views::SeriesPlot plot{kX0, kYA, kW, kH, 144, kN, {400, 700}};
    Bitmap got = makeBitmap(840, 640);
    {
        Dc dc(got);
        views::drawPlotPulseMarks(dc, plot, s);
    }
    // The frame of the classic marks, columns at (p - 400)*640/299 truncated,
    // written out again: left column where the pulse starts inside, right
    // column where it ends inside, dotted rows between them inside the frame.
    std::set<Pixel> want;
    const int32_t bottom = kYA + kH, g = kH / 8, gEnd = 7 * kH / 8;
    for (int64_t p : {390, 500, 690}) {
        const int64_t xs = (p - 400) * kW / 299, xe = (p + 19 - 400) * kW / 299;
        for (int32_t j = g; j < gEnd; j += 2) {
            if (p >= 400)
                want.insert({static_cast<int32_t>(kX0 + xs), bottom - j});
            if (p + 19 < 700)
                want.insert({static_cast<int32_t>(kX0 + xe), bottom - j});
        }
        for (int64_t j = xs; j < xe; j += 2)
            if (j >= 0 && j <= kW) {
                want.insert({static_cast<int32_t>(kX0 + j), kYA + g});
                want.insert({static_cast<int32_t>(kX0 + j), bottom - g});
            }
    }
    KeepIfFailed keep(got, "zoom-marks");
    EXPECT_EQ(inked(got), want);
    // The pulse at 500 is framed at column 214 ((100*640)/299), its right edge at 254.
    EXPECT_TRUE(want.count({kX0 + 214, bottom - g}));
    EXPECT_TRUE(want.count({kX0 + 254, bottom - g}));
}

TEST(PlotZoom, LabelsFollowThePartAndLeaveOutWhatIsNotShown)
{
    Result v(Scene::SeriesView);
    const synthesis::SeriesHeader& s = v.series();
    const views::SampleRange part{300, 700};
    const Bitmap got = v.draw(part);
    // The label strip under plot A as it should read: the true positions in
    // the part, at x0 + ((p - 300)*640)/399 - 5, with their letters.
    Bitmap want = makeBitmap(840, 640);
    int shownLabels = 0;
    {
        Dc dc(want);
        for (size_t k = 0; k < s.wImpulseQuantity; ++k) {
            const int32_t p = s.lpPositions[k];
            if (p < part.from || p >= part.to)
                continue;
            ++shownLabels;
            const std::string text = views::formatText("%d%c", p, 96 + s.lpEtalonSequence[k]);
            dc.textOut(kX0 + ((p - part.from) * kW) / 399 - 5, kYA + kH, text);
        }
    }
    ASSERT_GT(shownLabels, 0);
    ASSERT_LT(shownLabels, s.wImpulseQuantity) << "some positions lie outside the part";
    KeepIfFailed keep(got, "zoom-labels", &want);
    // Between plot A's frame and plot B's, right of the view's frame and left
    // of the Alphabet panel.
    const int32_t top = kYA + kH + 1, bottom = kYA + kH + kLH;
    EXPECT_EQ(inRect(inked(got), 11, top, 681, bottom), inRect(inked(want), 11, top, 681, bottom));
}

TEST(PlotZoom, BandsChainTotalsAndOverlaysKeepInsideTheFrame)
{
    for (Scene scene : {Scene::BlindWithDetails, Scene::KnownDispersion}) {
        Result v(scene);
        const Bitmap b = v.draw({300, 520});
        KeepIfFailed keep(b, "zoom-panels-" + std::to_string(static_cast<int>(scene)));
        // Red chain totals and grey kept pulses are drawn; in the rows of
        // plots B and D no ink lies between the view's frame (x = 10) and the
        // plots' (the grey stroke one pixel left of the curve may touch
        // x0 - 1), nor between the plots' right edge and
        // the Alphabet panel (from x = 681).
        EXPECT_TRUE(viewtest::hasColour(b, kRed, kX0, kYB, kX0 + kW + 1, kYB + kH + 1));
        EXPECT_TRUE(viewtest::hasColour(b, kGrey, kX0, kYD, kX0 + kW + 1, kYD + kH + 1));
        for (const Pixel& p : inked(b)) {
            const bool plotRows = (p.second > kYB && p.second < kYB + kH) || (p.second > kYD && p.second < kYD + kH);
            const bool outside = (p.first > 10 && p.first < kX0 - 1) || (p.first > kX0 + kW && p.first < 681);
            if (plotRows && outside)
                ADD_FAILURE() << "ink outside the plots at " << p.first << "," << p.second;
        }
    }
}

TEST(PlotZoom, TheViewsTellWhereTheirPlotsStand)
{
    using views::PlotKind;
    struct Case {
        Scene scene;
        std::vector<views::PlotKind> kinds;
        std::vector<int32_t> tops;
    };
    const std::vector<Case> cases = {
        {Scene::Estimation,
         {views::PlotKind::Pure, views::PlotKind::Observed, views::PlotKind::Reconstruction},
         {kYA, kYB, kYD}},
        {Scene::AdditiveModel, {views::PlotKind::Pure, views::PlotKind::Observed}, {kYA, kYB}},
    };
    for (const Case& c : cases) {
        Result v(c.scene);
        views::ShownPlots shown;
        v.draw({100, 300}, &shown);
        ASSERT_EQ(shown.count, static_cast<int32_t>(c.kinds.size()));
        EXPECT_EQ(shown.N, kN);
        EXPECT_EQ(shown.shown, (views::SampleRange{100, 300}));
        for (size_t i = 0; i < c.kinds.size(); ++i) {
            EXPECT_EQ(shown.plots[i].kind, c.kinds[i]);
            EXPECT_EQ(shown.plots[i].x0, kX0);
            EXPECT_EQ(shown.plots[i].y, c.tops[i]);
            EXPECT_EQ(shown.plots[i].W, kW);
            EXPECT_EQ(shown.plots[i].H, kH);
        }
    }
    // The series view, with its own plot tops, over the whole series.
    Result v(Scene::SeriesView);
    views::ShownPlots shown;
    v.draw({}, &shown);
    const views::SeriesViewLayout l = views::seriesViewLayout(kFrame, 2);
    ASSERT_EQ(shown.count, 3);
    EXPECT_EQ(shown.shown, (views::SampleRange{0, kN}));
    EXPECT_EQ(shown.plots[0].y, l.yA);
    EXPECT_EQ(shown.plots[1].y, l.yB);
    EXPECT_EQ(shown.plots[2].y, l.yC);
    EXPECT_EQ(shown.plots[2].kind, views::PlotKind::FoundPulses);

    // A view without a series leaves the plots it was given as they were.
    views::ShownPlots untouched;
    Bitmap b = makeBitmap(840, 640);
    Dc dc(b);
    views::drawSeriesView(dc, kFrame, 2, v.required, nullptr, {}, &untouched);
    EXPECT_EQ(untouched.count, 0);
}

}  // namespace
