// The real main window under the offscreen platform: it starts like the
// desktop program, keeps the menu marks the shell sets, shows its picture
// and repaints only what was invalidated, hands clicks to the shell at the
// rectangles of the last paint, and closes once, after the running command.

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "main_window.h"
#include "modal_helpers.h"
#include "qt_host.h"
#include "resources/dialogs.h"
#include "resources/menu.h"
#include "qt_dialogs.h"
#include "window_fixture.h"

namespace {

using namespace resources;

std::set<int32_t> commandIds()
{
    std::set<int32_t> ids;
    for (const platform::MenuEntry& e : mainMenu())
        if (e.kind == platform::MenuEntryKind::Command)
            ids.insert(e.id);
    return ids;
}

std::set<int32_t> checkedItems(const qt_window::MainWindow& w)
{
    std::set<int32_t> checked;
    for (int32_t id : commandIds())
        if (w.menuAction(id) && w.menuAction(id)->isChecked())
            checked.insert(id);
    return checked;
}

// A started, shown and painted window whose messages are recorded.
struct Workbench : ShownWindow {
    Workbench() { settle(); }
    platform::Color shownAt(int x, int y) { return colourOf(window.canvas().grab().toImage().pixel(x, y)); }
    void click(const views::LayoutRect& r)
    {
        clickIn(r);
        settle();
    }
};

TEST(MainWindow, StartsMaximisedWithTheMenuTableAndTheStartMarks)
{
    Workbench b;
    ASSERT_TRUE(b.started);
    EXPECT_EQ(b.window.windowTitle(), "Quillmore");
    EXPECT_TRUE(b.window.windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(b.state().windowReady) << "onCreate ran";

    const std::set<int32_t> ids = commandIds();
    EXPECT_EQ(ids.size(), 24u);
    for (int32_t id : ids) {
        ASSERT_NE(b.window.menuAction(id), nullptr) << id;
        EXPECT_EQ(shownText(b.window.menuAction(id)->text()), QString::fromUtf8(menuText(id))) << id;
    }
    QStringList popups;
    for (QAction* a : b.window.menuBar()->actions())
        popups << shownText(a->text());
    EXPECT_EQ(popups, QStringList({"File", "Processing", "Settings"}));
    EXPECT_EQ(checkedItems(b.window), std::set<int32_t>({IdSeriesFixedNumber, IdTaskJointDetectionEstimation}));

    // The client area is the canvas, and the picture has been painted at its size.
    const QSize canvas = b.window.canvas().size();
    EXPECT_EQ(b.window.host().clientRect(), (platform::Rect{0, 0, canvas.width(), canvas.height()}));
    EXPECT_FALSE(b.window.host().canvas().needsPaint());
    EXPECT_TRUE(b.messages.empty());
}

TEST(MainWindow, TheMarksFollowTheShellAndAChosenMarkedItemKeepsItsMark)
{
    Workbench b;
    b.window.menuAction(IdTaskSeriesProcessing)->trigger();
    EXPECT_EQ(b.state().taskType, detection::taskSeriesProcessing);
    EXPECT_EQ(checkedItems(b.window), std::set<int32_t>({IdSeriesFixedNumber, IdTaskSeriesProcessing}));

    b.window.menuAction(IdSeriesUnfixedNumber)->trigger();
    EXPECT_EQ(checkedItems(b.window), std::set<int32_t>({IdSeriesUnfixedNumber, IdTaskSeriesProcessing}));

    // Choosing a marked item again leaves the marks as they were.
    b.window.menuAction(IdSeriesUnfixedNumber)->trigger();
    b.window.menuAction(IdTaskSeriesProcessing)->trigger();
    EXPECT_EQ(checkedItems(b.window), std::set<int32_t>({IdSeriesUnfixedNumber, IdTaskSeriesProcessing}));
    // An item the shell never marks stays a plain command.
    b.window.menuAction(IdFixedCase)->trigger();
    EXPECT_FALSE(b.window.menuAction(IdFixedCase)->isChecked());
    EXPECT_FALSE(b.window.menuAction(IdFixedCase)->isCheckable());
}

TEST(MainWindow, APaintDrawsOverTheOldPictureOnlyWhereItWasInvalidated)
{
    Workbench b;
    const platform::Color marker = platform::rgb(12, 200, 34);
    platform::Bitmap& picture = b.window.host().windowPicture();
    // The margin left of the working area: no view draws there.
    const int x = 3, y = 3;
    picture.pixels[static_cast<size_t>(y) * picture.width + x] = platform::pixelFromColor(marker);

    b.window.host().invalidate(platform::Rect{100, 100, 200, 200}, true);
    b.window.canvas().update(QRect(x, y, 1, 1));  // shows the picture as it stands
    Workbench::settle();
    EXPECT_FALSE(b.window.host().canvas().needsPaint());
    EXPECT_EQ(platform::pixelAt(picture, x, y), marker);
    EXPECT_EQ(b.shownAt(x, y), marker);

    b.window.host().invalidate(platform::Rect{0, 0, 8, 8}, false);
    Workbench::settle();
    EXPECT_EQ(platform::pixelAt(picture, x, y), marker) << "no erase asked";

    b.window.host().invalidate(platform::Rect{0, 0, 8, 8}, true);
    Workbench::settle();
    EXPECT_EQ(platform::pixelAt(picture, x, y), platform::kWhite);
    EXPECT_EQ(b.shownAt(x, y), platform::kWhite);
}

TEST(MainWindow, ThePictureFollowsTheClientSize)
{
    Workbench b;
    b.window.showNormal();
    b.window.resize(700, 500);
    Workbench::settle();
    const QSize canvas = b.window.canvas().size();
    EXPECT_EQ(b.window.host().clientRect(), (platform::Rect{0, 0, canvas.width(), canvas.height()}));
    EXPECT_EQ(b.window.host().windowPicture().width, canvas.width());
    EXPECT_FALSE(b.window.host().canvas().needsPaint());
}

// The colour of a button bitmap a little inside its top-left corner, where
// the face is grey and no word stands.
platform::Color buttonFace(const platform::Bitmap& b) { return platform::pixelAt(b, 6, 6); }

TEST(MainWindow, ClicksOnTheDrawnElementsRunTheShellAndRepaintTheWindow)
{
    Workbench b;
    shell::AppState& s = b.state();
    ASSERT_EQ(s.viewState, shell::viewAlphabet);
    ASSERT_GT(s.alphabetCells[2].right, s.alphabetCells[2].left) << "the paint stored the layout";
    const views::LayoutRect restart = s.restartButton;
    EXPECT_EQ(b.shownAt(restart.left + 6, restart.top + 6), platform::kWhite) << "no Restart on the alphabet";

    b.click(s.alphabetCells[2]);
    EXPECT_EQ(s.currentEtalon, 3);
    EXPECT_EQ(s.active_etalons, 1);
    EXPECT_EQ(s.requiredList[0], 3);
    EXPECT_EQ(s.viewState, shell::viewAlphabet);
    EXPECT_EQ(s.lpStepwiseProtocol, nullptr);

    b.click(s.nextButton);
    EXPECT_EQ(s.viewState, shell::viewResult);
    ASSERT_NE(s.lpSeriesHeader, nullptr);
    ASSERT_NE(s.lpStepwiseProtocol, nullptr);
    EXPECT_EQ(s.lpSeriesHeader->dwSeriesSize, 1200u);
    EXPECT_EQ(s.lpSeriesHeader->wNoiseLevel, 25);
    EXPECT_EQ(s.lpSeriesHeader->lpEtalonSequence[0], 3);
    // The result view came to the screen with its Restart button.
    EXPECT_FALSE(b.window.host().canvas().needsPaint());
    EXPECT_EQ(b.shownAt(restart.left + 6, restart.top + 6), buttonFace(s.buttonBitmaps.restart));

    b.click(s.lengthOptionRects[0]);
    EXPECT_EQ(s.seriesLengthOption, 1);
    EXPECT_EQ(s.seriesLength, 200u);
    EXPECT_EQ(s.lpSeriesHeader->dwSeriesSize, 200u);
    EXPECT_EQ(s.viewState, shell::viewResult);

    b.click(s.noiseOptionRects[0]);
    EXPECT_EQ(s.noiseLevelOption, 1);
    EXPECT_EQ(s.seriesNoiseLevel, 0);
    EXPECT_EQ(s.lpSeriesHeader->wNoiseLevel, 0);
    EXPECT_EQ(s.lpSeriesHeader->dwSeriesSize, 200u);

    EXPECT_EQ(checkedItems(b.window), std::set<int32_t>({IdSeriesFixedNumber, IdTaskJointDetectionEstimation}));
    EXPECT_TRUE(b.messages.empty());

    // The sequential method of an unknown count tells its steps in a box.
    b.window.menuAction(IdUnfixedCase)->trigger();
    b.window.menuAction(IdMoreDetails)->trigger();
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].caption, "Sequential method");
    EXPECT_EQ(s.moreDetails, 0);

    b.click(s.exitButton);
    EXPECT_EQ(b.closes, 1);
    EXPECT_FALSE(b.window.isVisible());
}

TEST(MainWindow, ADoubleClickIsTwoClicks)
{
    Workbench b;
    shell::AppState& s = b.state();
    b.window.menuAction(IdTaskSeriesProcessing)->trigger();  // a click toggles an etalon's selection
    Workbench::settle();
    const views::LayoutRect cell = s.alphabetCells[4];
    // Through the window, as the platform delivers presses: Qt itself finds
    // the double click and turns the second press into it.
    QWindow* window = b.window.windowHandle();
    const QPoint at =
        b.window.canvas().mapTo(&b.window, QPoint((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    ASSERT_EQ(s.etalonSelected[4], 0);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(s.etalonSelected[4], 1);
    QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(s.etalonSelected[4], 1) << "unselected and selected again";
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(s.etalonSelected[4], 0);
}

TEST(MainWindow, ExitClosesAfterTheCommandAndTearsDownOnce)
{
    Workbench b;
    b.window.runCommand(IdExit);
    EXPECT_TRUE(b.window.isVisible()) << "the command finishes before the window closes";
    Workbench::settle();
    EXPECT_FALSE(b.window.isVisible());
    EXPECT_FALSE(b.state().windowReady) << "onDestroy ran";
    EXPECT_EQ(b.closes, 1);
    b.window.close();
    b.window.runCommand(IdProcessingNextData);  // nothing left to run on
    EXPECT_EQ(b.closes, 1);
}

TEST(MainWindow, ACloseAskedForDuringADialogWaitsForItsCommand)
{
    Workbench b;
    bool openAfterClose = false;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        b.window.close();
        Workbench::settle();
        openAfterClose = b.window.isVisible() && b.state().windowReady;
        QTest::mouseClick(d.control(platform::kIdCancel), Qt::LeftButton);
    });
    b.window.runCommand(IdCreateSeries);
    EXPECT_TRUE(openAfterClose);
    EXPECT_FALSE(b.window.isVisible());
    EXPECT_FALSE(b.state().windowReady);
    EXPECT_EQ(b.closes, 1);
}

// Every menu command, in menu order with Exit last, through the real window:
// dialogs are answered with what they show (the simulation made small),
// file dialogs cancelled.
TEST(MainWindow, EveryMenuCommandRuns)
{
    Workbench b;
    int dialogs = 0;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* d = dynamic_cast<qt_window::TemplateDialog*>(modal)) {
            ++dialogs;
            if (d->objectName() == "dialog110") {
                for (auto [id, text] : {std::pair{EditPulsesTo, "8"}, {EditNoiseSteps, "2"}, {EditRepeatCount, "2"}})
                    qobject_cast<QLineEdit*>(d->control(id))->setText(text);
            }
            QTest::mouseClick(d->control(platform::kIdOk), Qt::LeftButton);
        } else if (auto* f = qobject_cast<QFileDialog*>(modal)) {
            f->reject();
        }
    });
    answerer.start(5);
    std::vector<int32_t> order;
    for (const platform::MenuEntry& e : mainMenu())
        if (e.kind == platform::MenuEntryKind::Command && e.id != IdExit)
            order.push_back(e.id);
    order.push_back(IdExit);
    for (int32_t id : order) {
        SCOPED_TRACE(id);
        b.window.menuAction(id)->trigger();
        Workbench::settle();
        // The simulation computes on its worker; the commands after it wait for it.
        for (int turn = 0; turn < 4000 && b.window.simulationRunning(); ++turn)
            QTest::qWait(5);
        EXPECT_FALSE(b.window.simulationRunning());
    }
    answerer.stop();
    EXPECT_GE(dialogs, 4);
    EXPECT_EQ(b.closes, 1);
}

TEST(Program, WithoutADisplayItSaysSoAndPointsToTheConsoleTool)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.start(QUILLMORE_EXECUTABLE, {});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("quillmore-cli")) << err.toStdString();
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
}

}  // namespace
