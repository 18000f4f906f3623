// The paint handler lays the window out from its client size, stores every
// rectangle for the mouse, shows the view the state chooses (a simulation
// typed into the dialogs ends in its graph), copies the buttons from their
// bitmaps and draws the two option panels.

#include <gtest/gtest.h>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "views/series_view.h"
#include "views/statistical_simulation_view.h"
#include "window_painting_support.h"

namespace {

using platform::Bitmap;
using platform::kBlack;
using platform::kWhite;
using platform::pixelAt;
using platform::rgb;

// Every pixel of the button rectangle is the bitmap's.
bool showsBitmap(const Bitmap& picture, const views::LayoutRect& at, const Bitmap& button)
{
    return at.right - at.left + 1 == 144 && at.bottom - at.top + 1 == 32 && button.width == 144 &&
           button.height == 32 && shows(picture, at, button);
}

// 1024 x 768: buttons from x 870 to 1013; the grid has W = 851, H = 749, so
// cells of (851 - 60)/5 = 158 by (749 - 50)/4 = 174.
TEST(WindowLayout, FollowsTheClientSize)
{
    PaintedWindow w(1024, 768);
    ASSERT_TRUE(w.started);
    const shell::AppState& s = w.state;
    EXPECT_EQ(s.lineHeight, 12);
    EXPECT_EQ(s.aveCharWidth, 6);
    EXPECT_EQ(s.maxCharWidth, 12);
    EXPECT_EQ(s.exitButton, (views::LayoutRect{870, 726, 1013, 757}));
    EXPECT_EQ(s.nextButton, (views::LayoutRect{870, 684, 1013, 715}));
    EXPECT_EQ(s.restartButton, (views::LayoutRect{870, 642, 1013, 673}));
    EXPECT_EQ(s.buttonRegion, (views::LayoutRect{870, 600, 1013, 673}));
    EXPECT_EQ(s.cellWidth, 158);
    EXPECT_EQ(s.cellHeight, 174);
    EXPECT_EQ(s.viewArea, (views::LayoutRect{10, 10, 859, 755}));
    EXPECT_EQ(s.alphabetCells[0], (views::LayoutRect{20, 20, 177, 193}));
    EXPECT_EQ(s.alphabetCells[1], (views::LayoutRect{188, 20, 345, 193}));
    EXPECT_EQ(s.alphabetCells[5], (views::LayoutRect{20, 204, 177, 377}));  // five to a row
    EXPECT_EQ(s.alphabetCells[19], (views::LayoutRect{692, 572, 849, 745}));
    EXPECT_EQ(s.lengthPanel, (views::LayoutRect{869, 10, 1014, 82}));
    EXPECT_EQ(s.noisePanel, (views::LayoutRect{869, 94, 1014, 166}));
    EXPECT_EQ(s.optionsPanel, (views::LayoutRect{869, 10, 1014, 166}));
    // The option entries, 1.5 lines apart from 1.5 lines below each panel's top.
    EXPECT_EQ(s.lengthOptionRects[0], (views::LayoutRect{879, 28, 1025, 45}));
    EXPECT_EQ(s.lengthOptionRects[2], (views::LayoutRect{879, 64, 1025, 81}));
    EXPECT_EQ(s.noiseOptionRects[1], (views::LayoutRect{879, 130, 1025, 147}));

    // 800 x 600: W = 627, H = 581, cells 113 by 132.
    PaintedWindow small(800, 600);
    const shell::AppState& t = small.state;
    EXPECT_EQ(t.exitButton, (views::LayoutRect{646, 558, 789, 589}));
    EXPECT_EQ(t.nextButton, (views::LayoutRect{646, 516, 789, 547}));
    EXPECT_EQ(t.restartButton, (views::LayoutRect{646, 474, 789, 505}));
    EXPECT_EQ(t.cellWidth, 113);
    EXPECT_EQ(t.cellHeight, 132);
    EXPECT_EQ(t.viewArea, (views::LayoutRect{10, 10, 634, 587}));
    EXPECT_EQ(t.alphabetCells[19],
              (views::LayoutRect{10 + 10 + 4 * 123, 20 + 3 * 142, 10 + 10 + 4 * 123 + 112, 20 + 3 * 142 + 131}));
    EXPECT_EQ(t.lengthPanel, (views::LayoutRect{644, 10, 790, 82}));
}

TEST(WindowLayout, SelectToggleTakesRestartsPlaceInTheMultiEtalonTasks)
{
    for (uint16_t task : {detection::taskBlindDetection, detection::taskSeriesProcessing}) {
        PaintedWindow w(1024, 768);
        w.state.taskType = task;
        w.repaint();
        EXPECT_EQ(w.state.selectToggleButton, (views::LayoutRect{870, 642, 1013, 673}));
        EXPECT_EQ(w.state.restartButton, (views::LayoutRect{870, 600, 1013, 631}));
        EXPECT_EQ(w.state.buttonRegion, (views::LayoutRect{870, 558, 1013, 673}));
        EXPECT_EQ(w.state.nextButton, (views::LayoutRect{870, 684, 1013, 715}));
    }
    PaintedWindow w(1024, 768);
    w.state.taskType = detection::taskUnfixedEstimation;
    w.repaint();
    EXPECT_EQ(w.state.restartButton, (views::LayoutRect{870, 642, 1013, 673}));
    EXPECT_FALSE(views::hits(w.state.selectToggleButton, 900, 650));
}

TEST(WindowLayout, GridFollowsTheEtalonCount)
{
    shell::AppState s;
    const platform::TextMetrics tm{13, 10, 3, 0, 0, 6, 12};
    s.etalonCount = 12;  // three rows of four
    shell::layoutWindow(s, {0, 0, 1024, 768}, tm);
    EXPECT_EQ(s.cellWidth, (851 - 50) / 4);
    EXPECT_EQ(s.cellHeight, (749 - 40) / 3);
    EXPECT_EQ(s.alphabetCells[4].left, s.alphabetCells[0].left);
    EXPECT_EQ(s.alphabetCells[3].top, s.alphabetCells[0].top);
    EXPECT_EQ(s.alphabetCells[11].top, 20 + 2 * (s.cellHeight + 10));
}

// A window smaller than the button column leaves no room for cells: their
// size stays 0 instead of wrapping round in 16 bits, and the paint goes on.
TEST(WindowLayout, ATinyWindowGetsEmptyCells)
{
    PaintedWindow w(120, 90);
    EXPECT_EQ(w.state.cellWidth, 0);
    EXPECT_EQ(w.state.cellHeight, 5);
    EXPECT_EQ(w.state.viewArea, (views::LayoutRect{10, 10, 69, 79}));
}

TEST(WindowPainting, ChoosesTheViewByStateTaskAndSeriesType)
{
    shell::AppState s;
    s.viewState = shell::viewAlphabet;
    EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::Alphabet);
    s.viewState = shell::viewSubsetGrid;
    EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::SubsetGrid);
    s.viewState = 7;
    EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::None);

    s.viewState = shell::viewResult;
    s.resultView = shell::resultSimulation;
    s.taskType = detection::taskSeriesProcessing;
    EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::SimulationView);
    s.resultView = shell::resultProcessing;
    for (uint16_t series : {1, 2, 4, 8, 16}) {
        s.seriesType = series;
        s.taskType = detection::taskFixedEstimation;
        EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::ProcessingResult);
        s.taskType = detection::taskUnfixedEstimation;
        EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::ProcessingResult);
        const bool drawn = series != 16;
        s.taskType = detection::taskBlindDetection;
        EXPECT_EQ(shell::chooseWorkingView(s), drawn ? shell::WorkingView::ProcessingResult : shell::WorkingView::None);
        s.taskType = detection::taskSeriesProcessing;
        EXPECT_EQ(shell::chooseWorkingView(s), drawn ? shell::WorkingView::SeriesView : shell::WorkingView::None);
    }
    s.taskType = detection::taskDetection;
    s.seriesType = 1;
    EXPECT_EQ(shell::chooseWorkingView(s), shell::WorkingView::None);
}

TEST(WindowPainting, CopiesTheButtonsTheStateShows)
{
    PaintedWindow w;
    const resources::ButtonBitmaps& b = w.state.buttonBitmaps;
    // The alphabet: Next and Exit only.
    EXPECT_TRUE(showsBitmap(w.picture(), w.state.nextButton, b.next));
    EXPECT_TRUE(showsBitmap(w.picture(), w.state.exitButton, b.exit));
    EXPECT_TRUE(allWhite(w.picture(), w.state.restartButton));

    // The result: Restart too.
    w.state.viewState = shell::viewResult;
    w.repaint();
    EXPECT_TRUE(showsBitmap(w.picture(), w.state.restartButton, b.restart));
    EXPECT_TRUE(showsBitmap(w.picture(), w.state.nextButton, b.next));

    // The subset grid: Next and Exit.
    w.state.viewState = shell::viewSubsetGrid;
    w.repaint();
    EXPECT_TRUE(allWhite(w.picture(), w.state.restartButton));
    EXPECT_TRUE(showsBitmap(w.picture(), w.state.exitButton, b.exit));
}

TEST(WindowPainting, ToggleOffersSelectAllUpToHalfTheEtalons)
{
    PaintedWindow w;
    w.state.taskType = detection::taskBlindDetection;
    const resources::ButtonBitmaps& b = w.state.buttonBitmaps;
    for (int selected : {0, 1, 10, 11, 20}) {
        w.state.etalonSelected.fill(0);
        std::fill_n(w.state.etalonSelected.begin(), selected, uint16_t{1});
        w.repaint();
        const bool selectAll = selected <= 10;
        EXPECT_EQ(w.state.selectAllShown, selectAll ? 1 : 0) << selected;
        EXPECT_TRUE(showsBitmap(w.picture(), w.state.selectToggleButton, selectAll ? b.selectAll : b.unselectAll))
            << selected;
    }
}

TEST(WindowPainting, AlphabetShowsTheSelection)
{
    PaintedWindow w;  // etalon 1 selected at start
    const views::LayoutRect c0 = w.state.alphabetCells[0], c1 = w.state.alphabetCells[1];
    const int32_t y = (c0.top + c0.bottom) / 2 + 40;
    EXPECT_EQ(pixelAt(w.picture(), c0.left - 1, y), rgb(163, 163, 163));
    EXPECT_EQ(pixelAt(w.picture(), c0.left + 1, y), rgb(163, 163, 163));
    EXPECT_EQ(pixelAt(w.picture(), c1.left, y), rgb(127, 127, 127));
    EXPECT_EQ(pixelAt(w.picture(), c1.left + 1, y), kWhite);
    // The area frame one pixel outside the area's right edge.
    EXPECT_EQ(pixelAt(w.picture(), w.state.viewArea.right + 1, 300), kBlack);
}

TEST(WindowPainting, PanelsMarkTheChosenOptionsByWhetherTheyAreInForce)
{
    PaintedWindow w;
    const auto centre = [](const views::LayoutRect& r) { return std::pair{r.left + 6, r.top + 6}; };
    // At start 1200 and 25 are chosen and in force.
    auto [lx, ly] = centre(w.state.lengthOptionRects[2]);
    EXPECT_EQ(pixelAt(w.picture(), lx, ly), kBlack);
    auto [nx, ny] = centre(w.state.noiseOptionRects[1]);
    EXPECT_EQ(pixelAt(w.picture(), nx, ny), kBlack);
    auto [ox, oy] = centre(w.state.lengthOptionRects[0]);
    EXPECT_EQ(pixelAt(w.picture(), ox, oy), kWhite);

    // Chosen but not yet in force: grey.
    w.state.seriesLengthOption = 1;
    w.repaint();
    EXPECT_EQ(pixelAt(w.picture(), ox, oy), rgb(163, 163, 163));
    EXPECT_EQ(pixelAt(w.picture(), lx, ly), kWhite);
}

TEST(WindowPainting, DetailFlagLastsOneResultPicture)
{
    PaintedWindow w;
    w.state.viewState = shell::viewResult;
    w.state.typeMoreDetails = 1;
    w.repaint();
    EXPECT_EQ(w.state.typeMoreDetails, 0);

    w.state.resultView = shell::resultSimulation;
    w.state.typeMoreDetails = 1;
    w.repaint();
    EXPECT_EQ(w.state.typeMoreDetails, 1);

    w.state.resultView = shell::resultProcessing;
    w.state.viewState = shell::viewAlphabet;
    w.repaint();
    EXPECT_EQ(w.state.typeMoreDetails, 1);
}

TEST(WindowPainting, SeriesProcessingShowsTheSeriesView)
{
    PaintedWindow w;
    w.state.taskType = detection::taskSeriesProcessing;
    w.state.viewState = shell::viewResult;
    w.repaint();

    Bitmap alone = platform::makeBitmap(1024, 768);
    platform::Dc dc(alone);
    views::drawSeriesView(dc, {w.state.viewArea, 12}, w.state.active_etalons, w.state.requiredList,
                          w.state.lpSeriesHeader.get());
    const views::LayoutRect& v = w.state.viewArea;
    int32_t blue = 0;
    for (int32_t y = v.top; y <= v.bottom + 1; ++y)
        for (int32_t x = v.left; x <= v.right + 1; ++x) {
            ASSERT_EQ(pixelAt(w.picture(), x, y), pixelAt(alone, x, y)) << x << "," << y;
            blue += pixelAt(alone, x, y) == rgb(0, 0, 255);
        }
    EXPECT_GT(blue, 100);
}

TEST(WindowPainting, ASimulationEndsInItsGraph)
{
    using namespace resources;
    PaintedWindow w;
    w.host.answerOk(DialogCreateSeries, {{EditSamplesLength, "1200"}});
    w.host.answerOk(DialogLocationParameters, {{EditPulsesFrom, "6"},
                                               {EditPulsesTo, "9"},
                                               {EditNoiseSteps, "5"},
                                               {EditNoiseIncrement, "20"},
                                               {EditRepeatCount, "3"}});
    shell::dispatchCommand(w.state, w.host, IdDetectionStatisticalSimulation);
    ASSERT_TRUE(w.host.scriptErrors.empty());
    const int32_t live = platform::liveDrawingObjects();
    w.repaint();
    EXPECT_EQ(platform::liveDrawingObjects(), live);
    EXPECT_TRUE(w.host.messages.empty());

    const shell::AppState& s = w.state;
    const views::SimulationViewLayout l =
        views::simulationViewLayout({s.viewArea, s.lineHeight}, s.active_etalons, s.lpRestErrorHeader->wNoiseLevels,
                                    s.lpSeriesHeader->dwSeriesSize, s.lpSeriesHeader->wImpulseSize);
    ASSERT_GT(l.GW, 0);
    const Bitmap& b = w.picture();
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW / 2, l.y0 - 1), kBlack);  // the outer frame
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW / 2, l.y0 - 2), kWhite);
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW + 1, l.y0 + l.GH / 2), kBlack);

    // Restart shows the alphabet; the menu brings the same picture back.
    const Bitmap shown = b;
    w.clickIn(s.restartButton);
    w.paint();
    EXPECT_NE(w.picture().pixels, shown.pixels);
    shell::dispatchCommand(w.state, w.host, IdShowStatisticalSimulation);
    w.repaint();
    EXPECT_TRUE(picture::samePicture(w.picture(), shown, "simulation-view-again"));
}

TEST(WindowPainting, PutsTheDevicesObjectsBack)
{
    PaintedWindow w;
    for (int32_t state : {shell::viewAlphabet, shell::viewResult, shell::viewSubsetGrid}) {
        w.state.viewState = state;
        w.state.taskType = state == shell::viewResult ? detection::taskSeriesProcessing : detection::taskBlindDetection;
        Bitmap b = platform::makeBitmap(1024, 768);
        platform::Dc dc(b);
        const platform::Font font = dc.font();
        const platform::Pen pen = dc.pen();
        const platform::Brush brush = dc.brush();
        const int32_t objects = platform::liveDrawingObjects();
        shell::paintWindow(w.state, w.host, dc);
        EXPECT_EQ(dc.font(), font);
        EXPECT_EQ(dc.pen(), pen);
        EXPECT_EQ(dc.brush(), brush);
        EXPECT_EQ(platform::liveDrawingObjects(), objects);
    }
}

}  // namespace
