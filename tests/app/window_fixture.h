#pragma once
// The real main window as the window tests start it under the offscreen
// platform: created, shown and exposed, its messages and closes recorded.

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "main_window.h"
#include "qt_host.h"

struct ShownWindow {
    qt_window::MainWindow window;
    std::vector<base::RecordedMessage> messages;
    int closes = 0;
    bool started = false;

    ShownWindow()
    {
        window.host().messageHook = [this](const base::RecordedMessage& m) { messages.push_back(m); };
        window.whenClosed = [this] { ++closes; };
        started = window.create();
        window.showWorkbench();
        if (!QTest::qWaitForWindowExposed(&window))
            ADD_FAILURE() << "the window was never exposed";
    }
    // Lets queued closes and repaints happen.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    shell::AppState& state() { return window.state(); }
    // A left click in the middle of r.
    void clickIn(const views::LayoutRect& r)
    {
        QTest::mouseClick(&window.canvas(), Qt::LeftButton, Qt::NoModifier,
                          QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }
};

// A pixel of a picture grabbed from the screen as the system's colour.
inline platform::Color colourOf(QRgb p)
{
    return platform::rgb(static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)),
                         static_cast<uint8_t>(qBlue(p)));
}

// The words a menu text shows: a single & (the mnemonic mark) is not read,
// && is one &.
inline QString shownText(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}
