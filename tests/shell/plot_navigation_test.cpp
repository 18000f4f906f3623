// Reading and zooming the result view's series plots through the shell: the
// arithmetic of the zoom, the wheel halving the shown samples around the one
// under the mouse, Home and a new series bringing the whole series back, a
// drag choosing samples while a press that does not drag stays the click it
// was, + and -, and the readout in the status bar.

#include <gtest/gtest.h>

#include "shell/plot_navigation.h"
#include "views/drawing_conventions.h"
#include "platform/picture_test_support.h"
#include "window_painting_support.h"

namespace {

using views::SampleRange;

// The middle of plot i of the last paint, and a point at column X of it.
struct PlotPoint {
    int32_t x, y;
};
PlotPoint inPlot(const shell::AppState& s, int i, int32_t X)
{
    const views::ShownPlot& p = s.resultPlots.plots[static_cast<size_t>(i)];
    return {p.x0 + X, p.y + p.H / 2};
}

int32_t sampleAt(const shell::AppState& s, PlotPoint at)
{
    const std::optional<views::PlotPoint> p = views::plotPointAt(s.resultPlots, at.x, at.y);
    return p ? p->sample : -1;
}

// A window showing the processing result of its first series.
struct ResultWindow : PaintedWindow {
    ResultWindow()
    {
        clickIn(state.nextButton);
        paint();
    }
    void wheel(PlotPoint at, int32_t notches)
    {
        shell::onMouseWheel(state, host, static_cast<int16_t>(at.x), static_cast<int16_t>(at.y), notches);
    }
    void move(PlotPoint at) { shell::onMouseMove(state, host, static_cast<int16_t>(at.x), static_cast<int16_t>(at.y)); }
    void press(PlotPoint at)
    {
        shell::onLeftPress(state, host, static_cast<int16_t>(at.x), static_cast<int16_t>(at.y), 1);
    }
    void release(PlotPoint at)
    {
        shell::onLeftRelease(state, host, static_cast<int16_t>(at.x), static_cast<int16_t>(at.y));
    }
    SampleRange shown() const { return views::shownSamples(state.shownSamples, state.resultPlots.N); }
};

TEST(ZoomArithmetic, HalvesAndDoublesAroundTheSampleWithinTheSeries)
{
    EXPECT_EQ(shell::zoomAround({}, 1200, 600, 1), (SampleRange{300, 900}));
    EXPECT_EQ(shell::zoomAround({}, 1200, 0, 1), (SampleRange{0, 600}));
    EXPECT_EQ(shell::zoomAround({}, 1200, 1199, 2), (SampleRange{900, 1200}));
    // The anchor keeps its share: 90 of 100 samples left of it, then 180 of 200.
    EXPECT_EQ(shell::zoomAround({500, 600}, 1200, 590, -1), (SampleRange{410, 610}));
    EXPECT_EQ(shell::zoomAround({300, 900}, 1200, 600, -1), (SampleRange{0, 1200}));
    // Out at the right end the part is held inside the series.
    EXPECT_EQ(shell::zoomAround({1100, 1200}, 1200, 1199, -1), (SampleRange{1000, 1200}));
    // Never fewer than eight samples; a series of fewer is shown whole.
    EXPECT_EQ(shell::zoomAround({}, 1200, 600, 20), (SampleRange{596, 604}));
    EXPECT_EQ(shell::zoomAround({596, 604}, 1200, 600, 1), (SampleRange{596, 604}));
    EXPECT_EQ(shell::zoomAround({}, 5, 2, 1), (SampleRange{0, 5}));
    EXPECT_EQ(shell::zoomAround({}, 1200, 600, 0), (SampleRange{0, 1200}));
}

TEST(ZoomArithmetic, ADragCoversItsSamplesAndAtLeastEight)
{
    EXPECT_EQ(shell::samplesBetween(410, 300, 1200), (SampleRange{300, 411}));
    EXPECT_EQ(shell::samplesBetween(5, 5, 1200), (SampleRange{1, 9}));
    EXPECT_EQ(shell::samplesBetween(0, 1, 1200), (SampleRange{0, 8}));
    EXPECT_EQ(shell::samplesBetween(1199, 1199, 1200), (SampleRange{1192, 1200}));
    EXPECT_EQ(shell::samplesBetween(0, 3, 5), (SampleRange{0, 5}));
}

TEST(PlotReadoutText, NamesThePlotTheValuesThePulseAndThePart)
{
    views::ShownPlots plots;
    plots.N = 1200;
    plots.shown = {400, 700};
    views::PlotReadout r;
    r.point = {1, views::PlotKind::Observed, 415};
    r.pure = 15;
    r.observed = -8;
    EXPECT_EQ(shell::readoutText(r, plots),
              "observed series: sample 415, pure 15, observed -8   [samples 400 to 699 of 1200 shown; Home shows all]");
    r.pulse = 1;
    r.pulseStart = 410;
    r.pulseScore = 123456;
    plots.shown = {0, 1200};
    r.point.kind = views::PlotKind::Reconstruction;
    EXPECT_EQ(
        shell::readoutText(r, plots),
        "reconstruction: sample 415, pure 15, observed -8; found pulse 2: start 410, score 123456 (window energy)");
}

TEST(PlotNavigation, TheWheelHalvesTheSamplesAroundTheCursorAndHomeShowsAllAgain)
{
    ResultWindow w;
    ASSERT_EQ(w.state.viewState, shell::viewResult);
    ASSERT_EQ(w.state.resultPlots.count, 3);
    const int32_t N = w.state.resultPlots.N;
    ASSERT_GT(N, 100);
    const platform::Bitmap original = w.picture();

    const PlotPoint at = inPlot(w.state, 1, 200);
    const int32_t under = sampleAt(w.state, at);
    w.host.invalidations.clear();
    w.wheel(at, 1);
    const SampleRange half = w.shown();
    EXPECT_EQ(half.to - half.from, N / 2);
    EXPECT_LE(half.from, under);
    EXPECT_GT(half.to, under);
    // The view is repainted, erased: the invalid area covers the view area.
    ASSERT_EQ(w.host.invalidations.size(), 1u);
    const platform::Rect view = views::toDeviceRect(w.state.viewArea);
    const std::optional<platform::Rect> repainted = w.host.invalidations[0].rect;
    EXPECT_TRUE(!repainted || platform::intersect(*repainted, view) == view);
    EXPECT_TRUE(w.host.invalidations[0].erase);
    w.paint();
    EXPECT_NE(w.picture().pixels, original.pixels);
    EXPECT_EQ(w.state.resultPlots.shown, half);
    // The sample under the mouse stays under it, to the nearest column.
    EXPECT_NEAR(sampleAt(w.state, at), under, 1);
    EXPECT_NE(
        w.host.statusTexts.back().find(views::formatText("[samples %d to %d of %d shown", half.from, half.to - 1, N)),
        std::string::npos)
        << w.host.statusTexts.back();

    // Out again: the whole series, the very picture of before.
    w.wheel(at, -1);
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
    w.paint();
    EXPECT_TRUE(picture::samePicture(w.picture(), original, "zoomed-out"));

    // Two notches in, then Home.
    w.wheel(at, 2);
    EXPECT_EQ(w.shown().to - w.shown().from, N / 4);
    w.paint();
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeyHome));
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
    w.paint();
    EXPECT_TRUE(picture::samePicture(w.picture(), original, "after-home"));

    // A wheel outside the plots, or Home at the whole series, changes nothing.
    w.host.invalidations.clear();
    w.wheel({w.state.viewArea.left + 2, w.state.viewArea.top + 2}, 1);
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeyHome));
    EXPECT_TRUE(w.host.invalidations.empty());
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
}

TEST(PlotNavigation, ANewSeriesIsShownWhole)
{
    ResultWindow w;
    w.wheel(inPlot(w.state, 0, 100), 3);
    EXPECT_NE(w.state.shownSamples, SampleRange{});
    w.paint();
    // Next makes and processes the next series.
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
    w.paint();
    EXPECT_EQ(w.state.resultPlots.shown, (SampleRange{0, w.state.resultPlots.N}));
}

TEST(PlotNavigation, PlusAndMinusZoomAroundTheMiddleOnlyWhereThePlotsAre)
{
    ResultWindow w;
    const int32_t N = w.state.resultPlots.N;
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeyOemPlus));
    const SampleRange in = w.shown();
    EXPECT_EQ(in.to - in.from, N / 2);
    EXPECT_EQ(in.from, (N - 1) / 2 - ((N - 1) / 2) / 2);
    w.paint();
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeyAdd));
    EXPECT_EQ(w.shown().to - w.shown().from, N / 4);
    w.paint();
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeySubtract));
    EXPECT_TRUE(shell::onPlotKey(w.state, w.host, shell::kKeyOemMinus));
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
    // Other keys are left to onKeyDown.
    EXPECT_FALSE(shell::onPlotKey(w.state, w.host, 'A'));

    // The alphabet has no plots: the keys are not taken.
    w.clickIn(w.state.restartButton);
    w.paint();
    EXPECT_EQ(w.state.resultPlots.count, 0);
    EXPECT_FALSE(shell::onPlotKey(w.state, w.host, shell::kKeyOemPlus));
    EXPECT_FALSE(shell::onPlotKey(w.state, w.host, shell::kKeyHome));
}

TEST(PlotNavigation, ADragChoosesSamplesAndAPressThatStaysIsTheOldClick)
{
    ResultWindow w;
    const PlotPoint a = inPlot(w.state, 1, 100), b = inPlot(w.state, 1, 300);
    const int32_t sa = sampleAt(w.state, a), sb = sampleAt(w.state, b);

    // A press that moves less than five pixels sideways is a click on
    // nothing: nothing changes, nothing is repainted.
    w.host.invalidations.clear();
    w.press(a);
    w.move({a.x + 4, a.y + 30});
    EXPECT_FALSE(shell::dragBand(w.state));
    w.release({a.x + 4, a.y + 30});
    EXPECT_FALSE(w.state.plotDrag.pressed);
    EXPECT_EQ(w.state.shownSamples, SampleRange{});
    EXPECT_TRUE(w.host.invalidations.empty());

    // A drag: the band follows the mouse across plot B, the status bar says
    // what will be shown, the release shows it.
    w.press(a);
    w.move({a.x + 20, a.y});
    w.move(b);
    const std::optional<platform::Rect> band = shell::dragBand(w.state);
    ASSERT_TRUE(band);
    const views::ShownPlot& plotB = w.state.resultPlots.plots[1];
    EXPECT_EQ(*band, (platform::Rect{a.x, plotB.y, b.x + 1, plotB.y + plotB.H + 1}));
    EXPECT_EQ(w.host.statusTexts.back(), views::formatText("show samples %d to %d", sa, sb));
    EXPECT_TRUE(w.host.invalidations.empty()) << "nothing is repainted before the release";
    w.release(b);
    EXPECT_FALSE(shell::dragBand(w.state));
    EXPECT_EQ(w.shown(), (SampleRange{sa, sb + 1}));
    EXPECT_EQ(w.host.invalidations.size(), 1u);

    // Dragged right to left and past the plot's edge: the part ends at the edge.
    w.paint();
    const SampleRange before = w.shown();
    const int32_t s50 = sampleAt(w.state, inPlot(w.state, 2, 50));
    w.press(inPlot(w.state, 2, 50));
    w.move({0, a.y});
    w.release({0, a.y});
    EXPECT_EQ(w.shown(), (SampleRange{before.from, s50 + 1}));

    // A press outside the plots acts at once: Next makes the next series.
    w.paint();
    const std::vector<int16_t> observed = w.state.lpSeriesHeader->lpSeriesData;
    shell::onLeftPress(w.state, w.host, static_cast<int16_t>(w.state.nextButton.left + 5),
                       static_cast<int16_t>(w.state.nextButton.top + 5), 1);
    EXPECT_FALSE(w.state.plotDrag.pressed);
    EXPECT_NE(w.state.lpSeriesHeader->lpSeriesData, observed);
}

TEST(PlotNavigation, TheStatusBarReadsWhatIsUnderTheMouse)
{
    ResultWindow w;
    const synthesis::SeriesHeader& s = *w.state.lpSeriesHeader;
    ASSERT_GT(s.wFoundPulses, 0);
    // The column of the first found pulse's third sample in plot A.
    const int32_t N = w.state.resultPlots.N, W = w.state.resultPlots.plots[0].W;
    const int32_t sample = s.lpFoundPositions[0] + 2;
    const int32_t X = static_cast<int32_t>((2 * int64_t{sample} * W + N - 1) / (2 * int64_t{N - 1}));
    const PlotPoint at = inPlot(w.state, 0, X);
    w.host.statusTexts.clear();
    w.move(at);
    ASSERT_EQ(w.host.statusTexts.size(), 1u);
    const std::string text = w.host.statusTexts.back();
    const int32_t read = sampleAt(w.state, at);
    EXPECT_EQ(
        text.rfind(views::formatText("pure series: sample %d, pure %d, observed %d; found pulse 1: start %d, score ",
                                     read, s.lpPureData[read], s.lpSeriesData[read], s.lpFoundPositions[0]),
                   0),
        0u)
        << text;
    // The same point again says nothing new; off the plots the line is cleared.
    w.move(at);
    EXPECT_EQ(w.host.statusTexts.size(), 1u);
    w.move({w.state.viewArea.left + 2, w.state.viewArea.top + 2});
    EXPECT_EQ(w.host.statusTexts.back(), "");
    w.move(at);
    shell::onMouseLeave(w.state, w.host);
    EXPECT_EQ(w.host.statusTexts.back(), "");

    // The alphabet reads nothing.
    w.clickIn(w.state.restartButton);
    w.paint();
    w.host.statusTexts.clear();
    w.move(at);
    EXPECT_TRUE(w.host.statusTexts.empty());
}

}  // namespace
