// The statistical simulation picture in the window: a simulation typed into
// the dialogs ends in its graph, drawn where the view's layout puts it.

#include <gtest/gtest.h>

#include "platform/drawing_objects.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "views/statistical_simulation_view.h"
#include "platform/picture_test_support.h"
#include "window_painting_support.h"

using namespace resources;

TEST(ShellSimulationView, ASimulationEndsInItsGraph)
{
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
    const platform::Bitmap& b = w.picture();
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW / 2, l.y0 - 1), platform::kBlack);  // the outer frame
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW / 2, l.y0 - 2), platform::kWhite);
    EXPECT_EQ(pixelAt(b, l.x0 + l.GW + 1, l.y0 + l.GH / 2), platform::kBlack);

    // Restart shows the alphabet; the menu brings the same picture back.
    const platform::Bitmap shown = b;
    w.clickIn(s.restartButton);
    w.paint();
    EXPECT_NE(w.picture().pixels, shown.pixels);
    shell::dispatchCommand(w.state, w.host, IdShowStatisticalSimulation);
    w.repaint();
    EXPECT_TRUE(picture::samePicture(w.picture(), shown, "simulation-view-again"));
}
