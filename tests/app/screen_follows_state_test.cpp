// The real window shows exactly what the state draws: after a series made
// from the alphabet and after a task setting in the result view, what the
// canvas shows equals a full paint of the same state into a white picture,
// and the buttons in the column act as they are drawn.

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include "main_window.h"
#include "qt_dialogs.h"
#include "qt_host.h"
#include "resources/command_ids.h"
#include "shell/window_painting.h"
#include "window_fixture.h"

namespace {

using namespace resources;

struct PaintedWindow : ShownWindow {
    PaintedWindow() { settle(); }
    // Lets the repaints the shell asked for happen.
    void settle()
    {
        for (int i = 0; i < 3 || (i < 200 && window.host().canvas().needsPaint()); ++i)
            QTest::qWait(1);
    }
    void click(const views::LayoutRect& r)
    {
        clickIn(r);
        settle();
    }
    void choose(int32_t id)
    {
        window.menuAction(id)->trigger();
        settle();
    }
    // The canvas as the screen shows it.
    QImage shown() { return window.canvas().grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // A full paint of the state into a white picture of the canvas's size.
    QImage freshPaint()
    {
        const platform::Rect client = window.host().clientRect();
        platform::WindowCanvas fresh(client.right, client.bottom);
        fresh.paint([&](platform::Dc& dc) { shell::paintWindow(state(), window.host(), dc); });
        QImage image(fresh.picture().width, fresh.picture().height, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = fresh.picture().pixels[static_cast<size_t>(y) * image.width() + x] | 0xFF000000u;
        }
        return image;
    }
    // How many pixels of the screen differ from a full paint.
    int stalePixels()
    {
        EXPECT_FALSE(window.host().canvas().needsPaint()) << "everything invalidated was painted";
        const QImage a = shown(), b = freshPaint();
        if (a.size() != b.size())
            return a.width() * a.height();
        int differ = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differ += a.pixel(x, y) != b.pixel(x, y);
        return differ;
    }
    // Whether the screen shows this button picture at the rectangle.
    bool showsButton(const views::LayoutRect& at, const platform::Bitmap& button)
    {
        const QImage a = shown();
        for (int y = 0; y < button.height; ++y)
            for (int x = 0; x < button.width; ++x) {
                if (colourOf(a.pixel(at.left + x, at.top + y)) != platform::pixelAt(button, x, y))
                    return false;
            }
        return true;
    }
};

// Presses OK in every template dialog that opens while it runs.
struct DialogsAnsweredWithOk {
    QTimer timer;
    DialogsAnsweredWithOk()
    {
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (auto* d = dynamic_cast<qt_window::TemplateDialog*>(QApplication::activeModalWidget()))
                QTest::mouseClick(d->control(platform::kIdOk), Qt::LeftButton);
        });
        timer.start(5);
    }
};

TEST(ScreenFollowsStateWindow, ASeriesCreatedFromTheAlphabetShowsItsRestartAndOnlyThere)
{
    PaintedWindow w;
    ASSERT_TRUE(w.started);
    ASSERT_EQ(w.state().viewState, shell::viewAlphabet);
    {
        DialogsAnsweredWithOk ok;
        w.choose(IdCreateSeries);
    }
    ASSERT_EQ(w.state().viewState, shell::viewResult);
    EXPECT_EQ(w.stalePixels(), 0);
    const views::LayoutRect restart = w.state().restartButton;
    EXPECT_TRUE(w.showsButton(restart, w.state().buttonBitmaps.restart));

    // Above Restart nothing is drawn, and nothing takes a click there.
    views::LayoutRect above = restart;
    above.top -= 42;
    above.bottom -= 42;
    w.click(above);
    EXPECT_EQ(w.state().viewState, shell::viewResult);

    w.click(restart);
    EXPECT_EQ(w.state().viewState, shell::viewAlphabet);
    EXPECT_EQ(w.stalePixels(), 0);
    EXPECT_TRUE(w.messages.empty());
}

TEST(ScreenFollowsStateWindow, SeriesCreationMethodMovesTheButtonsAtOnce)
{
    PaintedWindow w;
    w.click(w.state().nextButton);
    ASSERT_EQ(w.state().viewState, shell::viewResult);
    const views::LayoutRect oldRestart = w.state().restartButton;

    w.choose(IdSeriesCreationMethod);
    ASSERT_EQ(w.state().taskType, detection::taskBlindDetection);
    EXPECT_EQ(w.stalePixels(), 0);
    w.choose(IdProcessingSameData);
    EXPECT_EQ(w.stalePixels(), 0);

    // Where Restart stood the toggle offers Select All, and Restart stands above it.
    EXPECT_EQ(w.state().selectToggleButton, oldRestart);
    EXPECT_TRUE(w.showsButton(oldRestart, w.state().buttonBitmaps.selectAll));
    EXPECT_TRUE(w.showsButton(w.state().restartButton, w.state().buttonBitmaps.restart));
    w.click(w.state().restartButton);
    EXPECT_EQ(w.state().viewState, shell::viewAlphabet);
    EXPECT_EQ(w.state().active_etalons, 1) << "Restart keeps the selection";
    EXPECT_EQ(w.stalePixels(), 0);
}

}  // namespace
