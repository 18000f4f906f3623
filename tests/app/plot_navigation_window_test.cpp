// The result view's plots in the real window under the offscreen platform:
// the status bar reads what lies under the mouse, the wheel, + and - and a
// drag change the picture, Home brings back the very picture of before, and
// the status bar leaves the canvas the client area the layout is made for.

#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "main_window.h"
#include "qt_host.h"
#include "shell/plot_navigation.h"
#include "window_fixture.h"

namespace {

// The window showing the result of Next.
struct ResultWindow : ShownWindow {
    ResultWindow()
    {
        settle();
        clickIn(window.state().nextButton);
        settle();
    }
    QImage shown() { return window.canvas().grab().toImage(); }
    QString status() { return window.statusBar()->currentMessage(); }
    // The middle row of plot i, X columns in.
    QPoint inPlot(int i, int X)
    {
        const views::ShownPlot& p = state().resultPlots.plots[static_cast<size_t>(i)];
        return {p.x0 + X, p.y + p.H / 2};
    }
    void wheel(QPoint at, int angle)
    {
        QWheelEvent event(at, window.canvas().mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&window.canvas(), &event);
        settle();
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, window.canvas().mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&window.canvas(), &event);
        settle();
    }
};

TEST(PlotNavigationWindow, TheStatusBarReadsThePlotUnderTheMouse)
{
    ResultWindow w;
    ASSERT_TRUE(w.started);
    ASSERT_EQ(w.state().viewState, shell::viewResult);
    ASSERT_EQ(w.state().resultPlots.count, 3);
    EXPECT_TRUE(w.window.canvas().hasMouseTracking());

    w.mouse(QEvent::MouseMove, w.inPlot(1, 150), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(w.status().startsWith("observed series: sample ")) << w.status().toStdString();
    w.mouse(QEvent::MouseMove, w.inPlot(0, 150), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(w.status().startsWith("pure series: sample ")) << w.status().toStdString();
    // Off the plots the line is empty.
    w.mouse(QEvent::MouseMove, QPoint(3, 3), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(w.status().isEmpty()) << w.status().toStdString();

    // The status bar is below the canvas, which stays the client area.
    const QSize canvas = w.window.canvas().size();
    EXPECT_EQ(w.window.host().clientRect(), (platform::Rect{0, 0, canvas.width(), canvas.height()}));
    EXPECT_TRUE(w.window.statusBar()->isVisible());
    EXPECT_GE(w.window.statusBar()->geometry().top(), w.window.canvas().geometry().bottom());
    EXPECT_TRUE(w.messages.empty());
}

TEST(PlotNavigationWindow, TheWheelZoomsAndHomeBringsBackThePictureOfBefore)
{
    ResultWindow w;
    ASSERT_EQ(w.state().resultPlots.count, 3);
    const QImage original = w.shown();
    const QPoint at = w.inPlot(1, 200);

    w.wheel(at, 120);
    const int32_t N = w.state().resultPlots.N;
    EXPECT_EQ(w.state().shownSamples.to - w.state().shownSamples.from, N / 2);
    EXPECT_NE(w.shown(), original);
    EXPECT_TRUE(w.status().contains("shown; Home shows all")) << w.status().toStdString();

    // Half notches of a fine wheel add up to one.
    w.wheel(at, 60);
    EXPECT_EQ(w.state().shownSamples.to - w.state().shownSamples.from, N / 2);
    w.wheel(at, 60);
    EXPECT_EQ(w.state().shownSamples.to - w.state().shownSamples.from, N / 4);

    QTest::keyClick(&w.window.canvas(), Qt::Key_Home);
    ResultWindow::settle();
    EXPECT_EQ(w.state().shownSamples, views::SampleRange{});
    EXPECT_EQ(w.shown(), original);

    // + and - from the main keys and the keypad.
    QTest::keyClick(&w.window.canvas(), Qt::Key_Plus);
    ResultWindow::settle();
    EXPECT_EQ(w.state().shownSamples.to - w.state().shownSamples.from, N / 2);
    EXPECT_NE(w.shown(), original);
    QTest::keyClick(&w.window.canvas(), Qt::Key_Minus, Qt::KeypadModifier);
    ResultWindow::settle();
    EXPECT_EQ(w.shown(), original);
}

TEST(PlotNavigationWindow, ADragShowsItsSamplesAndAClickInAPlotChangesNothing)
{
    ResultWindow w;
    ASSERT_EQ(w.state().resultPlots.count, 3);
    const QImage original = w.shown();
    const QPoint a = w.inPlot(2, 100), b = w.inPlot(2, 260);

    // A click that does not move: nothing happens.
    QTest::mouseClick(&w.window.canvas(), Qt::LeftButton, Qt::NoModifier, a);
    ResultWindow::settle();
    EXPECT_EQ(w.state().shownSamples, views::SampleRange{});
    EXPECT_EQ(w.shown(), original);

    w.mouse(QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
    w.mouse(QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton);
    // The band is shaded over the picture on screen only.
    const QRgb shaded = w.shown().pixel((a.x() + b.x()) / 2, w.state().resultPlots.plots[2].y + 3);
    EXPECT_NE(shaded, qRgb(255, 255, 255));
    EXPECT_TRUE(w.status().startsWith("show samples ")) << w.status().toStdString();
    w.mouse(QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
    EXPECT_NE(w.state().shownSamples, views::SampleRange{});
    EXPECT_NE(w.shown(), original);

    QTest::keyClick(&w.window.canvas(), Qt::Key_Home);
    ResultWindow::settle();
    EXPECT_EQ(w.shown(), original);
}

}  // namespace
