#pragma once
// Modal boxes and dialogs run their own event loop; a test acts on them from
// a timer that fires inside that loop. Whatever the test leaves open is
// closed, so that a failing check never hangs the run.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

// Runs act on the modal widget of type W that is open when the event loop
// next turns (the one a box or dialog about to be executed shows).
template <typename W>
void whenModalOpens(std::function<void(W&)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* modal = dynamic_cast<W*>(QApplication::activeModalWidget());
        if (!modal) {
            ADD_FAILURE() << "the expected modal window is not open";
            if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                other->reject();
            return;
        }
        act(*modal);
        if (modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        }
    });
}
