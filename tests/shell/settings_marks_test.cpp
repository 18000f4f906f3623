// The marks that tell the user the state: the Settings menu's check marks
// agree with the task and the series type after every command of random
// walks through the menu (Series creation method and Fixed and Unfixed case
// set both without a word to the menu before), and the length panel marks
// the length of a series made by Create Series when it offers that length
// (it kept marking 1200 after a series of 600).

#include <gtest/gtest.h>

#include <random>
#include <vector>
#include <string>

#include "platform/picture_test_support.h"
#include "resources/command_ids.h"
#include "resources/dialogs.h"
#include "shell/command_dispatcher.h"
#include "views/drawing_conventions.h"
#include "window_painting_support.h"

namespace {

using namespace resources;

// The marks the state asks for (both estimations are the joint task) and
// the ones shown, in the order of `kMarked`.
constexpr int32_t kMarked[] = {IdTaskDetection, IdTaskJointDetectionEstimation, IdTaskSeriesProcessing,
                               IdSeriesFixedNumber, IdSeriesUnfixedNumber};

std::vector<bool> expectedMarks(const shell::AppState& s)
{
    const bool unknown = detection::isUnknownCountSeries(s.seriesType) || s.seriesType == shell::seriesTransientUnknown;
    const bool blind = s.taskType == shell::taskBlindDetection, series = s.taskType == shell::taskSeriesProcessing;
    return {blind, !blind && !series, series, !unknown, unknown};
}

std::vector<bool> shownMarks(const platform::ScriptedHost& host)
{
    std::vector<bool> marks;
    for (const int32_t id : kMarked)
        marks.push_back(host.menuChecks.count(id) > 0 && host.menuChecks.at(id));
    return marks;
}

}  // namespace

TEST(SettingsMarks, AgreeWithTheStateAfterEveryCommandOfRandomWalks)
{
    const int32_t commands[] = {IdSeriesCreationMethod, IdFixedCase,
                                IdUnfixedCase,          IdTaskDetection,
                                IdTaskSeriesProcessing, IdTaskJointDetectionEstimation,
                                IdSeriesFixedNumber,    IdSeriesUnfixedNumber};
    std::mt19937 random(41);
    for (int walk = 0; walk < 6; ++walk) {
        PaintedWindow w;
        ASSERT_TRUE(w.started);
        ASSERT_EQ(shownMarks(w.host), expectedMarks(w.state)) << "at the start";
        std::string path;
        for (int step = 0; step < 12; ++step) {
            const int32_t id = commands[random() % std::size(commands)];
            path.append(" ").append(std::to_string(id));
            shell::dispatchCommand(w.state, w.host, id);
            ASSERT_EQ(shownMarks(w.host), expectedMarks(w.state)) << "after" << path;
        }
    }
}

TEST(LengthPanel, MarksTheLengthOfACreatedSeriesWhenItOffersIt)
{
    for (const int32_t length : {200, 600, 1200, 800}) {
        PaintedWindow w;
        ASSERT_TRUE(w.started);
        const int32_t optionBefore = w.state.seriesLengthOption;
        w.host.answerOk(DialogCreateSeries, {{EditSamplesLength, std::to_string(length)}});
        w.host.answerOk(DialogSeriesStructure);
        shell::dispatchCommand(w.state, w.host, IdCreateSeries);
        ASSERT_TRUE(w.host.scriptErrors.empty()) << w.host.scriptErrors.front();
        ASSERT_EQ(w.state.seriesLength, static_cast<uint32_t>(length));
        w.paint();

        int32_t offered = 0;
        for (int32_t i = 0; i < w.state.seriesLengthOptionCount; ++i)
            if (w.state.seriesLengthOptions[static_cast<size_t>(i)] == length)
                offered = i + 1;
        EXPECT_EQ(w.state.seriesLengthOption, offered ? offered : optionBefore) << length;
        // The marked option is filled as the length in effect.
        const views::LayoutRect& mark = w.state.lengthOptionRects[static_cast<size_t>(w.state.seriesLengthOption - 1)];
        const int32_t LH = w.state.lineHeight;
        const platform::Color fill = platform::pixelAt(w.picture(), mark.left + LH / 2, mark.top + LH / 2);
        picture::KeepIfFailed keep(w.picture(), "length_panel_" + std::to_string(length));
        EXPECT_EQ(fill, offered ? views::kChoiceInEffect : views::kChoiceNotInEffect) << length;
    }
}
