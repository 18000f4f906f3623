// The window by keyboard: F10 and Alt with a title's letter open the menus,
// every title and item carries a mnemonic without a change to the words
// shown, the most used commands have keys that run the same command ids as
// the menu, and the window does not shrink below the size its views need.

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "main_window.h"
#include "modal_helpers.h"
#include "qt_host.h"
#include "resources/menu.h"
#include "window_fixture.h"

namespace {

using namespace resources;

// The letter marked as mnemonic, lower case, or a null character.
QChar mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1].toLower();
        ++i;
    }
    return {};
}

struct Workbench : ShownWindow {
    Workbench()
    {
        EXPECT_TRUE(started);
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            ADD_FAILURE() << "the window never became active";
        settle();
    }
    QMenu* openMenu() const
    {
        QMenu* open = nullptr;
        for (QAction* a : window.menuBar()->actions())
            if (a->menu() && a->menu()->isVisible())
                open = a->menu();
        return open;
    }
    void closeMenus()
    {
        for (QAction* a : window.menuBar()->actions())
            if (a->menu())
                a->menu()->hide();
        settle();
        activate();
    }
    // A key as the user presses it on the window's focus widget.
    // A closed dialog gives the activation back through the window system,
    // later than the test goes on. Waiting turns the event loop: call it
    // before a dialog's answer is queued.
    void activate()
    {
        if (window.isActiveWindow())
            return;
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            ADD_FAILURE() << "the window did not become active again";
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        QTest::keyClick(target, key, modifiers);
        settle();
    }
};

// Walks the menu bar: every menu and every item, depth first.
void forEachMenuText(QMenu* menu, const std::function<void(const QString& text, QMenu* in)>& visit)
{
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        visit(a->text(), menu);
        if (a->menu())
            forEachMenuText(a->menu(), visit);
    }
}

TEST(MenuKeys, EveryTitleAndItemHasItsOwnMnemonicAndShowsItsWordsAsBefore)
{
    Workbench b;
    for (int32_t id : {IdOpen, IdExit, IdProcessingSameData, IdTaskSeriesProcessing, IdSeriesUnfixedNumber})
        EXPECT_EQ(shownText(b.window.menuAction(id)->text()), QString::fromUtf8(menuText(id))) << id;

    QStringList titles;
    std::set<QChar> barLetters;
    for (QAction* title : b.window.menuBar()->actions()) {
        titles << shownText(title->text());
        ASSERT_FALSE(mnemonic(title->text()).isNull()) << title->text().toStdString();
        EXPECT_TRUE(barLetters.insert(mnemonic(title->text())).second) << title->text().toStdString();
        ASSERT_NE(title->menu(), nullptr);
        std::map<QMenu*, std::set<QChar>> letters;
        forEachMenuText(title->menu(), [&](const QString& text, QMenu* in) {
            const QChar m = mnemonic(text);
            EXPECT_FALSE(m.isNull()) << text.toStdString();
            EXPECT_TRUE(letters[in].insert(m).second) << "the letter of " << text.toStdString() << " is taken";
        });
    }
    EXPECT_EQ(titles, QStringList({"File", "Processing", "Settings"}));
    EXPECT_EQ(b.window.menuBar()->actions().value(0)->text(), "&File");
}

TEST(MenuKeys, F10AndAltWithATitlesLetterOpenTheMenus)
{
    Workbench b;
    ASSERT_EQ(b.openMenu(), nullptr);
    b.press(Qt::Key_F10);
    QMenu* open = b.openMenu();
    ASSERT_NE(open, nullptr) << "F10 opened no menu";
    EXPECT_EQ(shownText(open->title()), "File");
    b.closeMenus();

    b.press(Qt::Key_P, Qt::AltModifier);
    open = b.openMenu();
    ASSERT_NE(open, nullptr) << "Alt+P opened no menu";
    EXPECT_EQ(shownText(open->title()), "Processing");
    b.closeMenus();

    b.press(Qt::Key_F, Qt::AltModifier);
    open = b.openMenu();
    ASSERT_NE(open, nullptr) << "Alt+F opened no menu";
    EXPECT_EQ(shownText(open->title()), "File");
    // The item's letter in the open menu chooses it: O for " Open...", whose
    // dialog is cancelled here.
    bool asked = false;
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        asked = true;
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptOpen);
        d.reject();
    });
    QTest::keyClick(open, Qt::Key_O);
    Workbench::settle();
    EXPECT_TRUE(asked);
    EXPECT_EQ(b.openMenu(), nullptr);
}

TEST(MenuKeys, TheCommandKeysRunTheMenusCommandIds)
{
    Workbench b;
    const std::map<int32_t, QKeySequence> keys{{IdProcessingNextData, QKeySequence(Qt::Key_Space)},
                                               {IdProcessingSameData, QKeySequence(Qt::Key_F5)},
                                               {IdSaveImageAs, QKeySequence(Qt::CTRL | Qt::Key_S)},
                                               {IdOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},
                                               {IdExit, QKeySequence(Qt::CTRL | Qt::Key_Q)}};
    for (const auto& [id, key] : keys)
        EXPECT_EQ(b.window.menuAction(id)->shortcut(), key) << id;
    // No other command has a key.
    for (const platform::MenuEntry& e : mainMenu()) {
        if (e.kind == platform::MenuEntryKind::Command && !keys.count(e.id)) {
            EXPECT_TRUE(b.window.menuAction(e.id)->shortcut().isEmpty()) << e.id;
        }
    }

    shell::AppState& s = b.window.state();
    // Space: Processing Next Data, a new series.
    QSignalSpy next(b.window.menuAction(IdProcessingNextData), &QAction::triggered);
    const std::vector<int16_t> before = s.lpSeriesHeader->lpSeriesData;
    b.press(Qt::Key_Space);
    EXPECT_EQ(next.count(), 1);
    ASSERT_NE(s.lpStepwiseProtocol, nullptr);
    EXPECT_NE(s.lpSeriesHeader->lpSeriesData, before);

    // F5: Processing Same Data, the same series processed again.
    QSignalSpy same(b.window.menuAction(IdProcessingSameData), &QAction::triggered);
    const std::vector<int16_t> samples = s.lpSeriesHeader->lpSeriesData;
    b.activate();
    b.press(Qt::Key_F5);
    EXPECT_EQ(same.count(), 1);
    EXPECT_EQ(s.lpSeriesHeader->lpSeriesData, samples);

    // Ctrl+O asks for a file to open, Ctrl+S for the picture's file name.
    std::vector<QFileDialog::AcceptMode> asked;
    b.activate();
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        asked.push_back(d.acceptMode());
        d.reject();
    });
    b.press(Qt::Key_O, Qt::ControlModifier);
    b.activate();
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        asked.push_back(d.acceptMode());
        EXPECT_EQ(d.windowTitle(), "Snapshot File Name");
        d.reject();
    });
    b.press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, (std::vector<QFileDialog::AcceptMode>{QFileDialog::AcceptOpen, QFileDialog::AcceptSave}));
    EXPECT_TRUE(b.messages.empty());

    // Ctrl+Q: Exit.
    b.activate();
    b.press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(b.closes, 1);
    EXPECT_FALSE(b.window.isVisible());
}

TEST(MinimumSize, TheWindowDoesNotShrinkBelowTheClientAreaItsViewsNeed)
{
    qt_window::MainWindow window;
    window.host().messageHook = [](const base::RecordedMessage&) {};
    ASSERT_TRUE(window.create());
    window.show();  // not maximised: the test screen is smaller than the least size
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize least = qt_window::MainWindow::minimumClientSize();
    EXPECT_GE(least.width(), 900);
    EXPECT_GE(least.height(), 560);
    for (const QSize asked : {QSize(300, 200), QSize(640, 480), QSize(least.width() - 1, least.height() + 200)}) {
        window.resize(asked);
        Workbench::settle();
        EXPECT_GE(window.canvas().width(), least.width()) << asked.width() << "x" << asked.height();
        EXPECT_GE(window.canvas().height(), least.height()) << asked.width() << "x" << asked.height();
        // The shell lays out and paints the client area the window really has.
        const platform::Rect client = window.host().clientRect();
        EXPECT_EQ(client.right - client.left, window.canvas().width());
        EXPECT_EQ(client.bottom - client.top, window.canvas().height());
    }
    EXPECT_GE(window.minimumSize().width(), least.width());
    EXPECT_GT(window.minimumSize().height(), least.height()) << "the menu bar comes on top";

    // Above it the window takes every size.
    window.resize(least.width() + 300, window.height() + 100);
    Workbench::settle();
    EXPECT_EQ(window.canvas().width(), least.width() + 300);
    window.close();
}

TEST(MinimumSize, OnAScreenSmallerThanThatTheWholeWindowStaysOnTheScreen)
{
    Workbench b;
    const QRect screen = b.window.screen()->availableGeometry();
    ASSERT_LT(screen.width(), qt_window::MainWindow::minimumClientSize().width()) << "the test screen is the small one";
    const QSize least = b.window.canvas().minimumSize();
    // As wide as the screen's room leaves beside the frame, and lower by the bars too.
    EXPECT_LE(least.width(), screen.width());
    EXPECT_GE(least.width(), screen.width() - 20);
    EXPECT_LT(least.height(), screen.height());
    EXPECT_LE(least.height(), qt_window::MainWindow::minimumClientSize().height());
    // Maximised, the canvas is all on the screen and painted all through.
    const QRect canvas(b.window.canvas().mapToGlobal(QPoint(0, 0)), b.window.canvas().size());
    EXPECT_TRUE(screen.contains(canvas)) << canvas.x() << "," << canvas.y() << " " << canvas.width() << "x"
                                         << canvas.height() << " on " << screen.width() << "x" << screen.height()
                                         << " window " << b.window.width() << "x" << b.window.height();
    EXPECT_FALSE(b.window.host().canvas().needsPaint());
}

}  // namespace
