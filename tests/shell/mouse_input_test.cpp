// Clicks on the painted window: each view state tests its elements in a fixed
// order, the first hit changes the state and sends one command, and a click
// on nothing changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "window_painting_support.h"

namespace {

std::vector<int> required(const shell::AppState& s)
{
    return std::vector<int>(s.requiredList.begin(), s.requiredList.begin() + s.active_etalons);
}

platform::Rect widened(const views::LayoutRect& r, int l, int t, int rr, int b)
{
    return {r.left - l, r.top - t, r.right + 1 + rr, r.bottom + 1 + b};
}

// What a click may change, to prove that a click on nothing changes none of it.
struct Snapshot {
    int32_t viewState, currentEtalon, previousEtalon, refreshButtons, lengthOption, noiseOption;
    std::vector<int> selected;
    const synthesis::SeriesHeader* series;
    std::vector<int16_t> observed;
    size_t invalidations, messages;
    bool closing;

    explicit Snapshot(PaintedWindow& w)
        : viewState(w.state.viewState),
          currentEtalon(w.state.currentEtalon),
          previousEtalon(w.state.previousEtalon),
          refreshButtons(w.state.refreshButtons),
          lengthOption(w.state.seriesLengthOption),
          noiseOption(w.state.noiseLevelOption),
          selected(selection(w.state)),
          series(w.state.lpSeriesHeader.get()),
          observed(w.state.lpSeriesHeader->lpSeriesData),
          invalidations(w.host.invalidations.size()),
          messages(w.host.messages.size()),
          closing(w.host.closeRequested)
    {
    }
    bool operator==(const Snapshot&) const = default;
};

TEST(AlphabetClicks, OneEtalonTasksMoveTheSingleSelection)
{
    PaintedWindow w;
    ASSERT_TRUE(w.started);
    const views::LayoutRect cell3 = w.state.alphabetCells[2];
    w.host.invalidations.clear();
    w.clickIn(cell3);
    EXPECT_EQ(selection(w.state), std::vector<int>{3});
    EXPECT_EQ(required(w.state), std::vector<int>{3});
    EXPECT_EQ(w.state.currentEtalon, 3);
    EXPECT_EQ(w.state.previousEtalon, 1);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.refreshButtons, 1);
    // The two cells involved are repainted, widened by 1 left and top and 3 right and bottom.
    ASSERT_EQ(w.host.invalidations.size(), 2u);
    EXPECT_EQ(w.host.invalidations[0].rect, widened(cell3, 1, 1, 3, 3));
    EXPECT_EQ(w.host.invalidations[1].rect, widened(w.state.alphabetCells[0], 1, 1, 3, 3));

    // A second click on the selected etalon keeps it; a double click acts the same.
    w.paint();
    w.click(cell3.left, cell3.top, true);
    EXPECT_EQ(selection(w.state), std::vector<int>{3});
    EXPECT_EQ(w.state.currentEtalon, 3);
    EXPECT_EQ(w.state.previousEtalon, 3);
}

TEST(AlphabetClicks, MultiEtalonTasksToggleAndNextRefusesAnEmptySelection)
{
    PaintedWindow w;
    w.state.taskType = detection::taskBlindDetection;
    w.repaint();
    w.clickIn(w.state.alphabetCells[4]);
    w.clickIn(w.state.alphabetCells[2]);
    EXPECT_EQ(required(w.state), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(w.state.currentEtalon, 3);

    for (int k : {0, 2, 4})
        w.clickIn(w.state.alphabetCells[k]);
    EXPECT_TRUE(selection(w.state).empty());
    EXPECT_EQ(w.state.active_etalons, 0);

    w.paint();
    const Snapshot before(w);
    w.clickIn(w.state.nextButton);
    const Snapshot after(w);
    EXPECT_EQ(after.viewState, shell::viewAlphabet);
    EXPECT_EQ(after.series, before.series);
    EXPECT_EQ(after.observed, before.observed);
    EXPECT_EQ(after.invalidations, before.invalidations);
}

TEST(AlphabetClicks, NextMakesAndProcessesASeries)
{
    PaintedWindow w;
    const std::vector<int16_t> first = w.state.lpSeriesHeader->lpSeriesData;
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    ASSERT_TRUE(w.state.lpStepwiseProtocol);
    EXPECT_GE(w.state.lpStepwiseProtocol->wUsed, 1);
    EXPECT_NE(w.state.lpSeriesHeader->lpSeriesData, first);
    EXPECT_FALSE(w.host.closeRequested);
}

TEST(AlphabetClicks, SelectToggleSelectsAllThenNone)
{
    PaintedWindow w;
    w.state.taskType = detection::taskSeriesProcessing;
    w.repaint();
    ASSERT_EQ(w.state.selectAllShown, 1);
    w.clickIn(w.state.selectToggleButton);
    EXPECT_EQ(w.state.active_etalons, 20);
    std::vector<int> all(20);
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(required(w.state), all);
    EXPECT_EQ(selection(w.state), all);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);

    w.paint();
    ASSERT_EQ(w.state.selectAllShown, 0);
    w.clickIn(w.state.selectToggleButton);
    EXPECT_EQ(w.state.active_etalons, 0);
    EXPECT_TRUE(selection(w.state).empty());

    // With nothing selected a length option only changes the option and the panels.
    w.paint();
    const synthesis::SeriesHeader* series = w.state.lpSeriesHeader.get();
    const uint32_t length = series->dwSeriesSize;
    w.clickIn(w.state.lengthOptionRects[0]);
    EXPECT_EQ(w.state.seriesLengthOption, 1);
    EXPECT_EQ(w.state.requestedSeriesLength, 200u);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.lpSeriesHeader.get(), series);
    EXPECT_EQ(w.state.lpSeriesHeader->dwSeriesSize, length);
}

TEST(AlphabetClicks, ExitClosesTheWindowAtTheButtonsLastPixel)
{
    PaintedWindow w;
    const views::LayoutRect exit = w.state.exitButton;
    w.click(exit.right + 1, exit.bottom);
    EXPECT_FALSE(w.host.closeRequested);
    w.click(exit.right, exit.bottom + 1);
    EXPECT_FALSE(w.host.closeRequested);
    w.click(exit.right, exit.bottom);
    EXPECT_TRUE(w.host.closeRequested);
}

TEST(AlphabetClicks, RestartAndToggleAreNotPartOfTheAlphabetInOneEtalonTasks)
{
    PaintedWindow w;  // task 8: no toggle; Restart is laid out but neither drawn nor tested here
    const Snapshot before(w);
    w.clickIn(w.state.restartButton);
    EXPECT_EQ(Snapshot(w), before);
}

TEST(ResultClicks, RestartNextToggleAndExitInTheirOrder)
{
    PaintedWindow w;
    w.clickIn(w.state.nextButton);
    w.paint();
    ASSERT_EQ(w.state.viewState, shell::viewResult);

    // Next in the result makes the next series.
    const std::vector<int16_t> shown = w.state.lpSeriesHeader->lpSeriesData;
    w.state.refreshLengthPanel = 1;
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    EXPECT_NE(w.state.lpSeriesHeader->lpSeriesData, shown);
    EXPECT_EQ(w.state.refreshLengthPanel, 0);

    // Restart goes back to the alphabet.
    w.paint();
    w.state.refreshButtons = 0;
    w.clickIn(w.state.restartButton);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.refreshButtons, 1);

    // In the multi-etalon tasks the toggle also leads back to the alphabet.
    w.state.taskType = detection::taskBlindDetection;
    w.state.viewState = shell::viewResult;
    w.repaint();
    w.clickIn(w.state.selectToggleButton);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.active_etalons, 20);

    w.state.viewState = shell::viewResult;
    w.repaint();
    w.clickIn(w.state.exitButton);
    EXPECT_TRUE(w.host.closeRequested);
}

TEST(ResultClicks, SubsetGridStateFallsBackToTheResultButtons)
{
    PaintedWindow w;
    w.state.viewState = shell::viewSubsetGrid;
    w.repaint();
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.viewState, shell::viewResult);

    // The grid draws no Restart: a click where it stands in the result view
    // finds nothing there.
    w.state.viewState = shell::viewSubsetGrid;
    w.repaint();
    const Snapshot before(w);
    w.clickIn(w.state.restartButton);
    EXPECT_EQ(Snapshot(w), before);

    // The toggle of the multi-etalon tasks is drawn and takes the click.
    w.state.taskType = detection::taskBlindDetection;
    w.repaint();
    w.clickIn(w.state.selectToggleButton);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state.active_etalons, 20);
}

TEST(OptionClicks, ALengthOrNoiseOptionMakesTheNextSeries)
{
    PaintedWindow w;
    w.state.refreshButtons = 0;
    w.clickIn(w.state.lengthOptionRects[0]);
    EXPECT_EQ(w.state.seriesLengthOption, 1);
    EXPECT_EQ(w.state.requestedSeriesLength, 200u);
    // (200 + 19)/181 = 1 and (200 - 20 + 40)/40 = 5: the count asked for is 3.
    EXPECT_EQ(w.state.requestedPulseCount, 3);
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    ASSERT_TRUE(w.state.lpSeriesHeader);
    EXPECT_EQ(w.state.lpSeriesHeader->dwSeriesSize, 200u);
    EXPECT_EQ(w.state.lpSeriesHeader->wImpulseQuantity, 3);

    w.paint();
    w.clickIn(w.state.noiseOptionRects[0]);
    EXPECT_EQ(w.state.noiseLevelOption, 1);
    EXPECT_EQ(w.state.requestedNoiseLevel, 0);
    EXPECT_EQ(w.state.lpSeriesHeader->wNoiseLevel, 0);
    EXPECT_EQ(w.state.lpSeriesHeader->lpSeriesData, w.state.lpSeriesHeader->lpPureData);
}

TEST(AnyState, AClickOnNothingChangesNothing)
{
    for (int32_t state :
         {int32_t{shell::viewAlphabet}, int32_t{shell::viewResult}, int32_t{shell::viewSubsetGrid}, 7}) {
        for (uint16_t task : {detection::taskFixedEstimation, detection::taskBlindDetection}) {
            PaintedWindow w;
            w.state.viewState = state;
            w.state.taskType = task;
            w.repaint();
            const Snapshot before(w);
            // The window's corner, the gap between two cells, between Next and
            // Exit, between the panels, and below the panels.
            const views::LayoutRect& c0 = w.state.alphabetCells[0];
            for (auto [x, y] :
                 {std::pair{3, 3}, std::pair{c0.right + 5, c0.top + 20}, std::pair{900, w.state.nextButton.bottom + 5},
                  std::pair{950, 88}, std::pair{950, 300}}) {
                w.click(x, y);
                EXPECT_EQ(Snapshot(w), before) << state << " " << task << " at " << x << "," << y;
            }
        }
    }
}

TEST(Keyboard, OnlyCodesZeroAndOneRepaint)
{
    PaintedWindow w;
    w.host.invalidations.clear();
    for (int32_t key : {2, 13, 27, 65, -1})
        shell::onKeyDown(w.state, w.host, key);
    EXPECT_TRUE(w.host.invalidations.empty());
    shell::onKeyDown(w.state, w.host, 0);
    shell::onKeyDown(w.state, w.host, 1);
    ASSERT_EQ(w.host.invalidations.size(), 2u);
    EXPECT_FALSE(w.host.invalidations[0].rect.has_value());
    EXPECT_TRUE(w.host.invalidations[0].erase);
}

}  // namespace
