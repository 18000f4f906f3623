// The statistical simulation in the real window: it computes on a worker
// while the window repaints and the menu keeps only Exit; Cancel in the
// progress box leaves the previous result shown; Exit, a close or the
// window's end during a run stop it and close cleanly.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "main_window.h"
#include "qt_dialogs.h"
#include "qt_host.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "simulation_progress.h"
#include "window_fixture.h"

namespace {

using namespace resources;

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds)
        QTest::qWait(5);
    return condition();
}

// A shown window whose simulation dialogs are answered with OK, the second
// with `repeats`; messages and closes are counted.
struct Workbench : ShownWindow {
    const char* repeats = "2";
    QTimer answerer;

    Workbench()
    {
        EXPECT_TRUE(started);
        QObject::connect(&answerer, &QTimer::timeout, [this] {
            if (auto* d = dynamic_cast<qt_window::TemplateDialog*>(QApplication::activeModalWidget())) {
                if (d->objectName() == "dialog110")
                    qobject_cast<QLineEdit*>(d->control(EditRepeatCount))->setText(repeats);
                QTest::mouseClick(d->control(platform::kIdOk), Qt::LeftButton);
            }
        });
        answerer.start(5);
    }
    void simulateSmall()
    {
        repeats = "1";
        window.menuAction(IdDetectionStatisticalSimulation)->trigger();
        EXPECT_TRUE(waitUntil([this] { return !window.simulationRunning(); }));
    }
    // 25 pulse counts x 29 noise levels x 60000 repeats: under way, its box shown and reporting.
    void simulateLong()
    {
        repeats = "60000";
        window.menuAction(IdDetectionStatisticalSimulation)->trigger();
        ASSERT_TRUE(waitUntil([this] {
            qt_window::SimulationProgressDialog* box = window.simulationProgress();
            return box && box->isVisible() && box->seriesText().startsWith("Series ");
        }));
    }
};

TEST(SimulationWindow, CancelInTheProgressBoxLeavesThePreviousResultShown)
{
    Workbench b;
    b.simulateSmall();
    shell::AppState& s = b.window.state();
    ASSERT_EQ(s.lpRestErrorHeader->fReady, 1);
    ASSERT_EQ(s.resultView, shell::resultSimulation);
    const detection::RestErrorHeader previous = *s.lpRestErrorHeader;
    const synthesis::SeriesHeader* record = s.lpSeriesHeader.get();
    const int32_t noiseSeed = s.random.noiseSeed;

    b.simulateLong();
    qt_window::SimulationProgressDialog* box = b.window.simulationProgress();
    EXPECT_TRUE(box->timeText().startsWith("About ")) << box->timeText().toStdString();
    // Only Exit answers; a command or a click that slips through is refused.
    for (const platform::MenuEntry& e : mainMenu()) {
        if (e.kind == platform::MenuEntryKind::Command) {
            EXPECT_EQ(b.window.menuAction(e.id)->isEnabled(), e.id == IdExit) << e.id;
        }
    }
    b.window.runCommand(IdProcessingNextData);
    QTest::mouseClick(&b.window.canvas(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(s.nextButton.left + 5, s.nextButton.top + 5));
    EXPECT_EQ(s.lpSeriesHeader.get(), record);
    EXPECT_EQ(s.random.noiseSeed, noiseSeed);
    // The window repaints, at a new size too.
    b.window.showNormal();
    b.window.resize(700, 500);
    EXPECT_TRUE(waitUntil(
        [&] {
            return b.window.host().windowPicture().width == b.window.canvas().width() &&
                   !b.window.host().canvas().needsPaint();
        },
        2000));
    ASSERT_TRUE(b.window.simulationRunning());

    QTest::mouseClick(box->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !b.window.simulationRunning(); }));
    EXPECT_EQ(b.window.simulationProgress(), nullptr);
    const detection::RestErrorHeader& now = *s.lpRestErrorHeader;
    EXPECT_EQ(now.fReady, 1);
    EXPECT_EQ(now.repeats, previous.repeats);
    EXPECT_EQ(now.lpErrors, previous.lpErrors);
    EXPECT_EQ(now.wLabelMark, previous.wLabelMark);
    EXPECT_EQ(s.lpSeriesHeader.get(), record);
    EXPECT_EQ(s.random.noiseSeed, noiseSeed);
    EXPECT_EQ(s.resultView, shell::resultSimulation);
    EXPECT_TRUE(b.window.menuAction(IdProcessingNextData)->isEnabled());
    EXPECT_TRUE(b.messages.empty());
    EXPECT_EQ(b.closes, 0);
}

// Exit from the menu, a close by the window manager, and the window's end,
// each with a run under way: the run stops and the window ends once.
TEST(SimulationWindow, ExitDuringARunStopsItAndClosesCleanly)
{
    for (bool menu : {true, false}) {
        Workbench b;
        b.simulateLong();
        if (menu) {
            b.window.menuAction(IdExit)->trigger();
        } else {
            b.window.close();
            EXPECT_TRUE(b.window.isVisible()) << "the close waits for the run";
        }
        ASSERT_TRUE(waitUntil([&] { return b.closes > 0; }));
        EXPECT_FALSE(b.window.isVisible());
        EXPECT_FALSE(b.window.simulationRunning());
        EXPECT_FALSE(b.window.state().windowReady) << "torn down after the run";
        QTest::qWait(20);
        EXPECT_EQ(b.closes, 1);
        EXPECT_TRUE(b.messages.empty());
    }
    Workbench b;
    b.simulateLong();
}  // the window goes with its worker still computing

}  // namespace
