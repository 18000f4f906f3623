// The etalon subset grid of view state 9: its layout figures, what a paint
// stores and draws, the clicks that build, mark and delete the subset, the
// buttons that leave the grid (OK imposing the subset on the next series),
// and the release of its arrays.

#include <gtest/gtest.h>

#include <numeric>

#include "platform/drawing_objects.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/subset_grid.h"
#include "window_painting_support.h"

namespace {

using namespace resources;
using platform::pixelAt;
using platform::rgb;

bool hasColour(const platform::Bitmap& b, platform::Color c, const views::LayoutRect& r)
{
    for (int32_t y = r.top; y <= r.bottom; ++y)
        for (int32_t x = r.left; x <= r.right; ++x)
            if (pixelAt(b, x, y) == c)
                return true;
    return false;
}

// A painted window in state 9 with all twenty etalons required.
struct GridWindow : PaintedWindow {
    GridWindow()
    {
        state.requiredList.resize(20);
        std::iota(state.requiredList.begin(), state.requiredList.end(), uint16_t{1});
        state.active_etalons = 20;
        shell::dispatchCommand(state, host, IdSelectSetOfPulses);
        paint();
    }
    // A click on required cell i (etalon requiredList[i]) or subset cell j.
    void required(int32_t i) { clickIn(state.requiredCellRects.at(static_cast<size_t>(i))); }
    void entry(int32_t j) { clickIn(state.possibleSubsetRect.at(static_cast<size_t>(j))); }
    void button(int32_t b) { clickIn(state.ButtonsWhileSelectedSubsetRect.at(static_cast<size_t>(b))); }
    std::vector<int32_t> numbers() const
    {
        return {state.selectedSubset.begin(), state.selectedSubset.begin() + state.subsetCount};
    }
    std::vector<int32_t> marks() const
    {
        const auto first = state.selectedSubset.begin() + state.subsetCapacity;
        return {first, first + state.subsetCount};
    }
};

TEST(SubsetGridLayout, FiguresOfAnEightHundredBySixHundredArea)
{
    const shell::SubsetGridLayout l = shell::subsetGridLayout({10, 10, 809, 609}, 12, 20);
    EXPECT_EQ(l.w, 800);
    EXPECT_EQ(l.h, 600);
    EXPECT_EQ(l.h_span, 4);
    EXPECT_EQ(l.v_span, 4);
    EXPECT_EQ(l.innerWidth, 792);
    EXPECT_EQ(l.e, 147);
    EXPECT_EQ(l.rows, 2);
    EXPECT_EQ(l.single_w, 74);
    EXPECT_EQ(l.single_h, 67);
    EXPECT_EQ(l.requiredBox, (views::LayoutRect{14, 14, 805, 161}));
    EXPECT_EQ(l.subsetArea, (views::LayoutRect{14, 177, 805, 252}));
    EXPECT_EQ(shell::subsetRequiredCell(l, 11), (views::LayoutRect{96, 89, 170, 156}));
    EXPECT_EQ(shell::subsetCell(l, 2), (views::LayoutRect{174, 181, 248, 248}));

    // Twenty cells in two rows of ten, none overlapping, all inside the box.
    for (int32_t i = 0; i < 20; ++i) {
        const views::LayoutRect c = shell::subsetRequiredCell(l, i);
        EXPECT_GT(c.left, l.requiredBox.left);
        EXPECT_LE(c.right, l.requiredBox.right);
        EXPECT_LE(c.bottom, l.requiredBox.bottom);
        if (i % 10 != 9) {
            EXPECT_LT(c.right, shell::subsetRequiredCell(l, i + 1).left);
        }
        if (i < 10) {
            EXPECT_EQ(shell::subsetRequiredCell(l, i + 10).top, c.bottom + l.v_span);
        }
    }

    // A narrow area has no gaps: each cell starts where the previous ends.
    const shell::SubsetGridLayout narrow = shell::subsetGridLayout({0, 0, 159, 400}, 12, 20);
    EXPECT_EQ(narrow.h_span, 0);
    EXPECT_EQ(shell::subsetRequiredCell(narrow, 1).left, shell::subsetRequiredCell(narrow, 0).right);

    // An empty alphabet still has one row to divide by.
    EXPECT_EQ(shell::subsetGridLayout({10, 10, 809, 609}, 12, 0).rows, 1);
}

TEST(SubsetGridPaint, StoresItsRectanglesAndKeepsPensAndBrushes)
{
    const int32_t before = platform::liveDrawingObjects();
    GridWindow w;
    EXPECT_EQ(platform::liveDrawingObjects(), before);
    const shell::AppState& s = w.state;
    const synthesis::SeriesHeader& series = *s.lpSeriesHeader;
    EXPECT_EQ(s.subsetCapacity, series.wMaxPulses);
    EXPECT_EQ(s.possibleSubsetRect.size(), series.wMaxPulses);
    EXPECT_EQ(s.selectedSubset.size(), 2u * series.wMaxPulses);
    EXPECT_EQ(s.subsetButtonCount, 4);
    EXPECT_EQ(s.requiredCellRects.size(), 20u);

    // Ten subset cells inside the subset area, the rest of the positions have none.
    for (int32_t j = 0; j < 10; ++j) {
        const views::LayoutRect& c = s.possibleSubsetRect[static_cast<size_t>(j)];
        EXPECT_GT(c.left, s.subsetArea.left);
        EXPECT_LT(c.bottom, s.subsetArea.bottom);
    }
    EXPECT_LT(s.possibleSubsetRect[10].right, s.possibleSubsetRect[10].left);

    // Four buttons left to right below the subset area, as high as two lines.
    for (int32_t b = 0; b < 4; ++b) {
        const views::LayoutRect& r = s.ButtonsWhileSelectedSubsetRect[static_cast<size_t>(b)];
        EXPECT_EQ(r.top, s.subsetArea.bottom + s.lineHeight / 2);
        EXPECT_EQ(r.bottom - r.top, 2 * s.lineHeight - 1);
        if (b > 0) {
            EXPECT_EQ(r.left, s.ButtonsWhileSelectedSubsetRect[b - 1].right + 2 * s.aveCharWidth);
        }
    }
    EXPECT_EQ(s.ButtonsWhileSelectedSubsetRect[0].left, s.subsetArea.left);

    // The area's tint, the grey empty cells and the button bevels are on the picture.
    const platform::Bitmap& b = w.picture();
    EXPECT_TRUE(hasColour(b, rgb(235, 240, 225), s.viewArea));
    EXPECT_EQ(pixelAt(b, s.possibleSubsetRect[0].left, s.possibleSubsetRect[0].top + 5), rgb(160, 160, 160));
    EXPECT_TRUE(hasColour(b, rgb(125, 125, 125), s.ButtonsWhileSelectedSubsetRect[3]));
    EXPECT_TRUE(hasColour(b, rgb(165, 170, 165), s.ButtonsWhileSelectedSubsetRect[3]));
    // Required cells are framed in black; the cells of etalons not in use are not drawn.
    EXPECT_EQ(pixelAt(b, s.requiredCellRects[0].left, s.requiredCellRects[0].top + 5), platform::kBlack);
}

TEST(SubsetGridClicks, RequiredCellsAppendAndSubsetCellsMark)
{
    GridWindow w;
    w.required(2);
    w.required(4);
    w.required(2);
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{3, 5, 3}));
    EXPECT_EQ(w.marks(), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(w.state.viewState, shell::viewSubsetGrid);

    w.paint();
    w.entry(1);
    EXPECT_EQ(w.marks(), (std::vector<int32_t>{0, 1, 0}));
    w.entry(2);
    EXPECT_EQ(w.marks(), (std::vector<int32_t>{0, 0, 1}));
    // A marked entry is drawn highlighted after the repaint its click asked for.
    w.paint();
    EXPECT_TRUE(hasColour(w.picture(), rgb(163, 163, 163), w.state.possibleSubsetRect[2]));
    EXPECT_FALSE(hasColour(w.picture(), rgb(163, 163, 163), w.state.possibleSubsetRect[1]));

    // A position without an entry takes no click: the grid ignores it.
    w.entry(5);
    EXPECT_EQ(w.marks(), (std::vector<int32_t>{0, 0, 1}));
}

TEST(SubsetGridClicks, DeleteRemovesTheMarkedEntryAndDeleteAllEmpties)
{
    GridWindow w;
    for (int32_t i : {0, 1, 2, 3})
        w.required(i);
    w.entry(1);
    w.button(1);  // " Delete "
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{1, 3, 4}));
    EXPECT_EQ(w.marks(), (std::vector<int32_t>{0, 0, 0}));
    w.button(1);  // nothing marked: nothing changes
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{1, 3, 4}));
    w.entry(2);
    w.button(1);
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{1, 3}));
    // Entries behind the removed one keep their marks as they move forward.
    w.required(5);
    w.entry(0);
    w.button(1);
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{3, 6}));

    w.button(0);  // " Delete All "
    EXPECT_EQ(w.state.subsetCount, 0);
    EXPECT_TRUE(
        std::all_of(w.state.selectedSubset.begin(), w.state.selectedSubset.end(), [](int32_t v) { return v == 0; }));
    EXPECT_EQ(w.state.viewState, shell::viewSubsetGrid);
}

TEST(SubsetGridClicks, AppendingStopsAtTheCapacity)
{
    GridWindow w;
    const int32_t capacity = w.state.subsetCapacity;
    ASSERT_GT(capacity, 0);
    for (int32_t k = 0; k < capacity + 5; ++k)
        w.required(k % 20);
    EXPECT_EQ(w.state.subsetCount, capacity);
    EXPECT_EQ(w.state.selectedSubset[static_cast<size_t>(capacity - 1)], (capacity - 1) % 20 + 1);
    // The marks half of the block was not overwritten.
    EXPECT_EQ(w.state.selectedSubset[static_cast<size_t>(capacity)], 0);
    w.paint();  // entries beyond the tenth have no cell and are not drawn
}

TEST(SubsetGridClicks, OkImposesTheSubsetOnTheNextSeries)
{
    GridWindow w;
    w.required(2);
    w.required(4);
    w.button(3);  // " OK "
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    const synthesis::SeriesHeader& s = *w.state.lpSeriesHeader;
    EXPECT_EQ(s.wFixedCount, 2);
    EXPECT_EQ(s.wFixedMode, 4);
    EXPECT_EQ(s.wFixedStart, 1);
    ASSERT_GT(s.wImpulseQuantity, 4);
    for (int k = 0; k < s.wImpulseQuantity; ++k)
        EXPECT_EQ(s.lpEtalonSequence[k], k % 2 == 0 ? 3 : 5) << k;
    // The subset stays for a later visit of the grid.
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{3, 5}));
    shell::dispatchCommand(w.state, w.host, IdSelectSetOfPulses);
    w.paint();
    EXPECT_EQ(w.numbers(), (std::vector<int32_t>{3, 5}));
}

TEST(SubsetGridClicks, CancelEmptiesTheSubsetAndMakesTheNextSeries)
{
    GridWindow w;
    w.required(2);
    w.state.refreshLengthPanel = w.state.refreshNoisePanel = 1;
    const std::vector<int16_t> before = w.state.lpSeriesHeader->lpPositions;
    w.button(2);  // " Cancel "
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    EXPECT_EQ(w.state.subsetCount, 0);
    EXPECT_EQ(w.state.refreshLengthPanel, 0);
    EXPECT_EQ(w.state.refreshNoisePanel, 0);
    EXPECT_EQ(w.state.lpSeriesHeader->wFixedCount, 0);
    EXPECT_NE(w.state.lpSeriesHeader->lpPositions, before);  // a new series was made
}

TEST(SubsetGridClicks, OtherClicksFallThroughToTheResultViewTests)
{
    GridWindow w;
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.viewState, shell::viewResult);

    // Before the grid was ever painted, a click at the client origin finds no grid rectangle.
    PaintedWindow fresh;
    shell::dispatchCommand(fresh.state, fresh.host, IdSelectSetOfPulses);
    fresh.click(0, 0);
    EXPECT_EQ(fresh.state.subsetCount, 0);
    EXPECT_EQ(fresh.state.viewState, shell::viewSubsetGrid);
}

TEST(SubsetGridLifecycle, GrowthEmptiesTeardownFreesAndNoSeriesDrawsNothing)
{
    GridWindow w;
    w.required(0);
    w.required(1);
    // A series admitting more pulses makes the arrays anew and empties the subset.
    w.state.lpSeriesHeader->wMaxPulses = static_cast<uint16_t>(w.state.subsetCapacity + 50);
    w.repaint();
    EXPECT_EQ(w.state.subsetCount, 0);
    EXPECT_EQ(w.state.subsetCapacity, w.state.lpSeriesHeader->wMaxPulses);

    w.required(0);
    shell::freeSubsetArrays(w.state);
    EXPECT_TRUE(w.state.possibleSubsetRect.empty());
    EXPECT_TRUE(w.state.selectedSubset.empty());
    EXPECT_TRUE(w.state.ButtonsWhileSelectedSubsetRect.empty());
    EXPECT_EQ(w.state.subsetCount, 0);
    EXPECT_EQ(w.state.subsetCapacity, 0);
    // Nothing of the grid is left to click.
    w.click(w.state.viewArea.left + 100, w.state.viewArea.top + 100);
    EXPECT_EQ(w.state.subsetCount, 0);

    // Without a series the grid draws nothing and makes no arrays.
    w.state.lpSeriesHeader.reset();
    const int32_t live = platform::liveDrawingObjects();
    w.repaint();
    EXPECT_EQ(platform::liveDrawingObjects(), live);
    EXPECT_TRUE(w.state.selectedSubset.empty());
    EXPECT_FALSE(hasColour(w.picture(), rgb(235, 240, 225), w.state.viewArea));

    // The window's own teardown releases them too.
    GridWindow closing;
    closing.required(3);
    shell::onDestroy(closing.state);
    EXPECT_TRUE(closing.state.selectedSubset.empty());
    EXPECT_EQ(closing.state.subsetCount, 0);
}

}  // namespace
