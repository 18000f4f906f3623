// Next and "Processing Next Data" with no etalon selected make nothing, and
// say why in a box instead of doing nothing in silence.

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "window_painting_support.h"

using namespace resources;

namespace {

constexpr const char* kCaption = "No Etalon Selected";

size_t refusals(const PaintedWindow& w)
{
    size_t n = 0;
    for (const base::RecordedMessage& m : w.host.messages)
        if (m.caption == kCaption)
            ++n;
    return n;
}

}  // namespace

TEST(NoEtalonSelected, NextAndNextDataSayWhyAndMakeNothing)
{
    PaintedWindow w;
    ASSERT_TRUE(w.started);
    shell::dispatchCommand(w.state, w.host, IdTaskSeriesProcessing);
    w.repaint();
    // Select All, then Unselect All: nothing is selected.
    w.clickIn(w.state.selectToggleButton);
    w.paint();
    w.clickIn(w.state.selectToggleButton);
    w.paint();
    ASSERT_EQ(w.state.active_etalons, 0);
    EXPECT_TRUE(w.host.messages.empty());
    const synthesis::SeriesHeader* series = w.state.lpSeriesHeader.get();
    const int32_t seed = w.state.random.noiseSeed;

    // Next on the alphabet.
    w.clickIn(w.state.nextButton);
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].caption, kCaption);
    EXPECT_NE(w.host.messages[0].text.find("No etalon is selected"), std::string::npos);
    EXPECT_EQ(w.host.messages[0].icon, base::MessageIcon::Information);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);

    // Processing Next Data from the menu.
    shell::dispatchCommand(w.state, w.host, IdProcessingNextData);
    EXPECT_EQ(refusals(w), 2u);

    // Next in the result view.
    w.state.viewState = shell::viewResult;
    w.repaint();
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(refusals(w), 3u);
    EXPECT_EQ(w.host.messages.size(), 3u);

    // Nothing was made meanwhile.
    EXPECT_EQ(w.state.lpSeriesHeader.get(), series);
    EXPECT_EQ(w.state.random.noiseSeed, seed);
    EXPECT_EQ(w.state.lpStepwiseProtocol, nullptr);

    // With an etalon selected again, Next makes its series and says nothing.
    w.state.viewState = shell::viewAlphabet;
    w.repaint();
    w.clickIn(w.state.alphabetCells[3]);
    w.paint();
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(w.state.viewState, shell::viewResult);
    EXPECT_NE(w.state.lpStepwiseProtocol, nullptr);
    EXPECT_EQ(w.host.messages.size(), 3u);
}

TEST(NoEtalonSelected, NextOnTheAlphabetOfAOneEtalonTaskSaysWhyToo)
{
    PaintedWindow w;
    // Unselected in a multi-etalon task, then back to joint detection and
    // estimation, which keeps the empty selection.
    shell::dispatchCommand(w.state, w.host, IdTaskDetection);
    w.repaint();
    w.clickIn(w.state.alphabetCells[0]);
    w.paint();
    ASSERT_EQ(w.state.active_etalons, 0);
    shell::dispatchCommand(w.state, w.host, IdTaskJointDetectionEstimation);
    w.repaint();
    w.clickIn(w.state.nextButton);
    EXPECT_EQ(refusals(w), 1u);
    EXPECT_EQ(w.state.viewState, shell::viewAlphabet);
}
