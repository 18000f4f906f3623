// The screen shows exactly what the state draws. After each story the
// window's picture equals a full paint of the same state into a white
// picture, and every place of the button column acts as what is drawn there:
// the button shown does what it shows, a place where none is drawn takes no
// click. The stories are those where a picture most easily falls behind: a
// series created from the alphabet, a task setting in the result view, the
// subset grid opened and closed, and the alphabet shown again after a result
// whose protocol table runs past the view area.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/picture_test_support.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "window_painting_support.h"

namespace {

using namespace resources;
using platform::Bitmap;

// The size the window's client area has on a 1280 x 800 screen, below the
// menu bar and above the status bar.
constexpr int32_t kWideWidth = 1280, kWideHeight = 762;

Bitmap freshPicture(PaintedWindow& w)
{
    const platform::Rect client = w.host.clientRect();
    platform::WindowCanvas fresh(client.right, client.bottom);
    fresh.paint([&](platform::Dc& dc) { shell::paintWindow(w.state, w.host, dc); });
    return fresh.picture();
}

enum class Drawn { Nothing, Restart, Next, Exit, SelectAll, UnselectAll, Mixed };

const char* nameOf(Drawn d)
{
    static const char* const names[] = {"nothing",    "Restart",      "Next",           "Exit",
                                        "Select All", "Unselect All", "a mixed picture"};
    return names[static_cast<int>(d)];
}

// The k-th place of the button column from the bottom (1 Exit, 2 Next, 3
// Restart or the toggle, 4 Restart above the toggle), right and bottom
// included.
views::LayoutRect columnPlace(const platform::Rect& client, int32_t k)
{
    const int32_t top = client.bottom - 42 * k;
    return {client.right - 154, top, client.right - 11, top + 31};
}

Drawn drawnAt(const Bitmap& picture, const views::LayoutRect& at, const resources::ButtonBitmaps& b)
{
    const std::pair<Drawn, const Bitmap*> buttons[] = {{Drawn::Restart, &b.restart},
                                                       {Drawn::Next, &b.next},
                                                       {Drawn::Exit, &b.exit},
                                                       {Drawn::SelectAll, &b.selectAll},
                                                       {Drawn::UnselectAll, &b.unselectAll}};
    for (const auto& [drawn, button] : buttons)
        if (shows(picture, at, *button))
            return drawn;
    return allWhite(picture, at) ? Drawn::Nothing : Drawn::Mixed;
}

// What a button changes.
struct Observed {
    int32_t viewState;
    std::vector<int> selected;
    std::vector<int16_t> samples;
    bool closing;

    explicit Observed(const PaintedWindow& w)
        : viewState(w.state.viewState),
          selected(selection(w.state)),
          samples(w.state.lpSeriesHeader ? w.state.lpSeriesHeader->lpSeriesData : std::vector<int16_t>{}),
          closing(w.host.closeRequested)
    {
    }
};

void expectTheClickActsAsDrawn(Drawn drawn, const Observed& before, const Observed& after, uint16_t etalonCount)
{
    switch (drawn) {
    case Drawn::Nothing:
        EXPECT_EQ(after.viewState, before.viewState);
        EXPECT_EQ(after.selected, before.selected);
        EXPECT_EQ(after.samples, before.samples);
        EXPECT_FALSE(after.closing);
        break;
    case Drawn::Restart:
        EXPECT_EQ(after.viewState, shell::viewAlphabet);
        EXPECT_EQ(after.selected, before.selected);
        EXPECT_EQ(after.samples, before.samples);
        break;
    case Drawn::Next:
        EXPECT_EQ(after.viewState, shell::viewResult);
        EXPECT_NE(after.samples, before.samples) << "a new series";
        break;
    case Drawn::Exit:
        EXPECT_TRUE(after.closing);
        break;
    case Drawn::SelectAll: {
        std::vector<int> all(etalonCount);
        for (int k = 0; k < etalonCount; ++k)
            all[k] = k + 1;
        EXPECT_EQ(after.selected, all);
        EXPECT_EQ(after.viewState, shell::viewAlphabet);
        break;
    }
    case Drawn::UnselectAll:
        EXPECT_TRUE(after.selected.empty());
        EXPECT_EQ(after.viewState, shell::viewAlphabet);
        break;
    case Drawn::Mixed:
        ADD_FAILURE() << "no button's picture";
        break;
    }
}

using Story = std::function<void(PaintedWindow&)>;

// Plays the story (painting after each step, as the window does) and checks
// the picture; then, once for every place of the button column, plays it
// again, clicks that place and checks what happened, and that the picture
// followed the state again.
void expectTheScreenFollowsTheState(const Story& story, int32_t width = kWideWidth, int32_t height = kWideHeight)
{
    {
        PaintedWindow w(width, height);
        story(w);
        w.paint();
        EXPECT_TRUE(picture::samePicture(w.picture(), freshPicture(w), "screen-follows-state"));
    }
    for (int32_t k = 1; k <= 4; ++k) {
        PaintedWindow w(width, height);
        story(w);
        w.paint();
        const views::LayoutRect at = columnPlace(w.host.clientRect(), k);
        const Drawn drawn = drawnAt(w.picture(), at, w.state.buttonBitmaps);
        SCOPED_TRACE(std::string("place ") + std::to_string(k) + " shows " + nameOf(drawn));
        const Observed before(w);
        w.clickIn(at);
        expectTheClickActsAsDrawn(drawn, before, Observed(w), w.state.etalonCount);
        if (w.host.closeRequested)
            continue;
        w.paint();
        EXPECT_TRUE(picture::samePicture(w.picture(), freshPicture(w), "screen-follows-state-after-click"));
    }
}

void command(PaintedWindow& w, int id)
{
    shell::dispatchCommand(w.state, w.host, id);
    w.paint();
}

void clickAndPaint(PaintedWindow& w, const views::LayoutRect& r)
{
    w.clickIn(r);
    w.paint();
}

void resultOfNext(PaintedWindow& w) { clickAndPaint(w, w.state.nextButton); }

// --- A series created from the alphabet shows the result view with its Restart.

TEST(ScreenFollowsState, SeriesCreatedFromTheAlphabet)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) {
        w.host.answerOk(DialogCreateSeries);
        w.host.answerOk(DialogSeriesStructure);
        command(w, IdCreateSeries);
        ASSERT_TRUE(w.host.scriptErrors.empty());
        ASSERT_EQ(w.state.viewState, shell::viewResult);
    });
}

TEST(ScreenFollowsState, SeriesCreatedFromTheResultAndFromTheGrid)
{
    for (bool grid : {false, true}) {
        SCOPED_TRACE(grid ? "from the grid" : "from the result");
        expectTheScreenFollowsTheState([grid](PaintedWindow& w) {
            resultOfNext(w);
            if (grid)
                command(w, IdSelectSetOfPulses);
            w.host.answerOk(DialogCreateSeries);
            w.host.answerOk(DialogSeriesStructure);
            command(w, IdCreateSeries);
        });
    }
}

// --- Task and series settings move the buttons at once.

TEST(ScreenFollowsState, SeriesCreationMethodInTheResultThenTheSameDataProcessed)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) {
        resultOfNext(w);
        command(w, IdSeriesCreationMethod);
        command(w, IdProcessingSameData);
        ASSERT_EQ(w.state.taskType, detection::taskBlindDetection);
    });
}

TEST(ScreenFollowsState, EverySettingInTheAlphabetAndInTheResult)
{
    for (int setting : {IdSeriesCreationMethod, IdTaskDetection, IdTaskJointDetectionEstimation, IdTaskSeriesProcessing,
                        IdSeriesFixedNumber, IdSeriesUnfixedNumber}) {
        for (bool result : {false, true}) {
            for (int task : {IdTaskJointDetectionEstimation, IdTaskDetection}) {
                SCOPED_TRACE(std::to_string(setting) + (result ? " in the result" : " in the alphabet") +
                             " after task " + std::to_string(task));
                expectTheScreenFollowsTheState([=](PaintedWindow& w) {
                    command(w, task);
                    if (result)
                        resultOfNext(w);
                    command(w, setting);
                });
            }
        }
    }
}

TEST(ScreenFollowsState, TheToggleFollowsASelectionTypedIntoTheRequiredListDialog)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) {
        command(w, IdTaskDetection);  // the toggle offers Select All for the one etalon selected
        w.host.answerOk(DialogRequiredEtalons,
                        {{EditRequiredCount, "12"}, {EditRequiredList, "1,2,3,4,5,6,7,8,9,10,11,12"}});
        command(w, IdNewPulses);
        ASSERT_TRUE(w.host.scriptErrors.empty());
        ASSERT_EQ(selection(w.state).size(), 12u);
    });
}

TEST(ScreenFollowsState, TheEtalonACancelledSeriesDialogSelectedIsShown)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) {
        command(w, IdTaskDetection);
        clickAndPaint(w, w.state.alphabetCells[0]);  // none selected now
        ASSERT_TRUE(selection(w.state).empty());
        w.host.answerCancel(DialogCreateSeries);
        command(w, IdCreateSeries);
        ASSERT_EQ(selection(w.state), std::vector<int>{1}) << "the series dialog needs one etalon";
    });
}

// --- The subset grid replaces the whole result picture and is replaced in turn.

TEST(ScreenFollowsState, SubsetGridOpenedOverTheResult)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) {
        resultOfNext(w);
        command(w, IdSelectSetOfPulses);
    });
}

TEST(ScreenFollowsState, SubsetGridClosedAfterAnEntryWasAdded)
{
    for (int32_t button : {2, 3}) {  // " Cancel ", " OK "
        SCOPED_TRACE(button);
        expectTheScreenFollowsTheState([button](PaintedWindow& w) {
            resultOfNext(w);
            command(w, IdSelectSetOfPulses);
            clickAndPaint(w, w.state.requiredCellRects.at(0));
            clickAndPaint(w, w.state.ButtonsWhileSelectedSubsetRect.at(static_cast<size_t>(button)));
            ASSERT_EQ(w.state.viewState, shell::viewResult);
        });
    }
}

// --- A result whose protocol table runs past the view area (1024 x 768).

TEST(ScreenFollowsState, AResultWiderThanTheViewAreaIsShownWhole)
{
    expectTheScreenFollowsTheState([](PaintedWindow& w) { resultOfNext(w); }, 1024, 768);
}

TEST(ScreenFollowsState, TheAlphabetShownAgainLeavesNothingOfTheResult)
{
    expectTheScreenFollowsTheState(
        [](PaintedWindow& w) {
            resultOfNext(w);
            w.repaint();  // uncovered: the whole result drawn
            clickAndPaint(w, w.state.restartButton);
            ASSERT_EQ(w.state.viewState, shell::viewAlphabet);
        },
        1024, 768);
}

TEST(ScreenFollowsState, TheSimulationShownAfterAResultAndTheResultAfterIt)
{
    const Story simulation = [](PaintedWindow& w) {
        resultOfNext(w);
        w.host.answerOk(DialogCreateSeries);
        w.host.answerOk(DialogLocationParameters,
                        {{EditPulsesFrom, "6"}, {EditPulsesTo, "7"}, {EditNoiseSteps, "2"}, {EditRepeatCount, "1"}});
        command(w, IdDetectionStatisticalSimulation);
        ASSERT_EQ(w.state.resultView, shell::resultSimulation);
    };
    expectTheScreenFollowsTheState(simulation, 1024, 768);
    expectTheScreenFollowsTheState(
        [&](PaintedWindow& w) {
            simulation(w);
            command(w, IdProcessingNextData);
        },
        1024, 768);
}

// --- The mouse takes a button only where the last paint drew it.

TEST(ScreenFollowsState, AButtonActsOnlyWhereTheLastPaintDrewIt)
{
    PaintedWindow w(kWideWidth, kWideHeight);
    resultOfNext(w);
    EXPECT_EQ(w.state.shownButtons, shell::shownRestart | shell::shownNext | shell::shownExit);
    // A task setting not yet painted: the screen still shows Restart where
    // the toggle will stand, and Restart still takes the click there.
    shell::dispatchCommand(w.state, w.host, IdTaskDetection);
    EXPECT_TRUE(w.host.canvas.needsPaint()) << "the column waits to be painted";
    const views::LayoutRect restartShown = w.state.restartButton;
    w.clickIn(restartShown);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(selection(w.state), std::vector<int>{1}) << "not the Select All that will stand there";

    // Once painted, the toggle stands there and Restart is gone.
    w.paint();
    EXPECT_EQ(w.state.shownButtons, shell::shownNext | shell::shownExit | shell::shownSelectAll);
    EXPECT_EQ(w.state.selectToggleButton, restartShown);
    w.clickIn(w.state.restartButton);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
    EXPECT_EQ(selection(w.state), std::vector<int>{1});
    w.clickIn(w.state.selectToggleButton);
    EXPECT_EQ(selection(w.state).size(), 20u);
}

TEST(ScreenFollowsState, NothingIsInvalidatedBeforeTheFirstPaintOrWhenNothingChanged)
{
    shell::AppState s;
    platform::ScriptedHost host;
    ASSERT_TRUE(shell::onCreate(s, host));
    shell::dispatchCommand(s, host, IdTaskDetection);
    EXPECT_TRUE(host.invalidations.empty()) << "the first paint draws everything anyway";
    shell::onDestroy(s);

    PaintedWindow w;
    w.host.invalidations.clear();
    command(w, IdTaskSeriesProcessing);  // from task 8 in the alphabet: the toggle appears
    ASSERT_EQ(w.host.invalidations.size(), 1u);
    const platform::Rect client = w.host.clientRect();
    EXPECT_EQ(w.host.invalidations[0].rect,
              (platform::Rect{client.right - 154, client.bottom - 168, client.right - 10, client.bottom - 10}));
    EXPECT_TRUE(w.host.invalidations[0].erase);
    command(w, IdTaskDetection);  // 64 to 32: the same buttons
    EXPECT_EQ(w.host.invalidations.size(), 1u);
}

}  // namespace
