#pragma once
// The shell's Host on a Qt window: modal message boxes, template dialogs and
// file dialogs owned by the main window, the menu check marks, and the
// window picture with its invalid area (a WindowCanvas) shown by a view
// widget that repaints what was invalidated.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>

#include "platform/host.h"
#include "platform/window_canvas.h"

class QAction;

namespace qt_window {

class QtHost final : public platform::Host {
  public:
    // owner: the main window, parent of every box and dialog; view: the
    // widget that shows the canvas and whose size is the client area.
    QtHost(QWidget& owner, QWidget& view);

    void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override;
    platform::DialogResult runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                     const platform::DialogValidator& validate) override;
    std::optional<std::string> saveFileDialog(const platform::FileDialogOptions& options) override;
    std::optional<std::string> openFileDialog(const platform::FileDialogOptions& options) override;
    std::optional<platform::FileChoice> saveFileChoice(const platform::FileDialogOptions& options) override;
    void checkMenuItem(int32_t id, bool checked) override;
    void invalidate(std::optional<platform::Rect> rect, bool erase) override;
    platform::Rect clientRect() const override { return canvas_.clientRect(); }
    void close() override;
    platform::Bitmap& windowPicture() override { return canvas_.picture(); }
    // Shown in the main window's status bar.
    void setStatusText(std::string text) override;

    platform::WindowCanvas& canvas() { return canvas_; }

    // The menu item of a command id, for checkMenuItem.
    void addMenuItem(int32_t id, QAction* action) { menuItems_[id] = action; }
    QAction* menuItem(int32_t id) const;
    // A user's choice toggles a checkable action by itself; the program alone
    // decides the marks, so the mark is put back before the command runs.
    void restoreCheckMark(QAction* action) const;

    // When set, message boxes are handed here instead of being shown (the
    // tests read them without a modal box waiting for a click).
    std::function<void(const base::RecordedMessage&)> messageHook;

  private:
    QPointer<QWidget> owner_;
    QWidget& view_;
    platform::WindowCanvas canvas_;
    std::map<int32_t, QPointer<QAction>> menuItems_;
};

}  // namespace qt_window
