#include "qt_host.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

#include "qt_dialogs.h"

namespace qt_window {

namespace {

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A box raised while a dialog is open (a refused OK) belongs on top of that
// dialog; otherwise on the main window. Before the window is shown (a start
// that fails) the box stands alone, in the middle of the screen.
QWidget* boxParent(QWidget* owner)
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return owner && owner->isVisible() ? owner : nullptr;
}

}  // namespace

QtHost::QtHost(QWidget& owner, QWidget& view)
    : owner_(&owner), view_(view), canvas_(std::max(view.width(), 0), std::max(view.height(), 0))
{
}

void QtHost::messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon)
{
    if (messageHook) {
        messageHook({std::string(text), std::string(caption), icon});
        return;
    }
    MessageDialog box(boxParent(owner_), fromUtf8(text), fromUtf8(caption), icon);
    box.exec();
}

platform::DialogResult QtHost::runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                         const platform::DialogValidator& validate)
{
    return runTemplateDialog(dialog, fields, validate, boxParent(owner_), &view_);
}

std::optional<std::string> QtHost::saveFileDialog(const platform::FileDialogOptions& options)
{
    return runFileDialog(boxParent(owner_), options, true);
}

std::optional<platform::FileChoice> QtHost::saveFileChoice(const platform::FileDialogOptions& options)
{
    int32_t filter = options.filterIndex;
    std::optional<std::string> path = runFileDialog(boxParent(owner_), options, true, &filter);
    if (!path)
        return std::nullopt;
    return platform::FileChoice{std::move(*path), filter};
}

std::optional<std::string> QtHost::openFileDialog(const platform::FileDialogOptions& options)
{
    return runFileDialog(boxParent(owner_), options, false);
}

QAction* QtHost::menuItem(int32_t id) const
{
    const auto it = menuItems_.find(id);
    return it == menuItems_.end() ? nullptr : it->second.data();
}

// An item is checkable exactly while it carries a mark, so unmarked items
// look like plain commands, as on the desktop.
void QtHost::checkMenuItem(int32_t id, bool checked)
{
    if (QAction* action = menuItem(id)) {
        action->setCheckable(checked);
        action->setChecked(checked);
    }
}

void QtHost::restoreCheckMark(QAction* action) const
{
    if (action && action->isCheckable())
        action->setChecked(true);
}

void QtHost::invalidate(std::optional<platform::Rect> rect, bool erase)
{
    canvas_.invalidate(rect, erase);
    const platform::Rect area = rect ? platform::intersect(*rect, canvas_.clientRect()) : canvas_.clientRect();
    if (!platform::isEmpty(area))
        view_.update(QRect(area.left, area.top, area.right - area.left, area.bottom - area.top));
}

void QtHost::setStatusText(std::string text)
{
    if (auto* window = qobject_cast<QMainWindow*>(owner_.data()))
        window->statusBar()->showMessage(fromUtf8(text));
}

// The running command finishes first; the window closes from the event loop.
void QtHost::close()
{
    if (owner_)
        QMetaObject::invokeMethod(
            owner_.data(),
            [w = owner_] {
                if (w)
                    w->close();
            },
            Qt::QueuedConnection);
}

}  // namespace qt_window
