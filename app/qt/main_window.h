#pragma once
// The workbench window: the menu bar built from the resource menu table and
// a canvas that shows the window picture. Menu choices, left-button presses
// and keys go to the shell; its invalidations come back as repaints of just
// the invalid area.

#include <QMainWindow>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/dc.h"
#include "shell/app_state.h"

class QtHost;

// The client area. It owns no state: painting and input are handed on.
class CanvasWidget final : public QWidget {
  public:
    explicit CanvasWidget(QWidget* parent);
    void setHost(QtHost* host) { host_ = host; }

    // Draws the invalid area into the window picture.
    std::function<void(platform::Dc&)> paintHandler;
    // A left-button press at client (x, y) with the key flags of the desktop
    // (1 left button, 4 shift, 8 control, 16 middle button).
    std::function<void(int16_t x, int16_t y, uint32_t keyFlags)> clickHandler;
    // A key press as a virtual-key code of the desktop.
    std::function<void(int32_t key)> keyHandler;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QtHost* host_ = nullptr;
};

class MainWindow final : public QMainWindow {
  public:
    MainWindow();
    ~MainWindow() override;

    // The window's initialisation (onCreate). false: the window must not be
    // shown; the reason has been given in a message box.
    bool create();
    // Maximised whatever the start asked for; where nothing maximises it (no
    // window manager), as large as the screen's available area.
    void showWorkbench();
    // A command id, as the menu sends it.
    void runCommand(int32_t id);

    AppState& state() { return state_; }
    QtHost& host() { return *host_; }
    CanvasWidget& canvas() { return *canvas_; }
    // The menu item of a command id, or nullptr.
    QAction* menuAction(int32_t id) const;

    // Called once when the window has closed and released everything; the
    // program ends its event loop there with code 0.
    std::function<void()> whenClosed;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildMenu();
    // Runs a piece of shell work. A close asked for meanwhile (the Exit
    // command, the window manager) waits until it has returned, so that the
    // teardown never pulls the state from under a running command.
    void runShell(const std::function<void()>& work);
    void teardown();

    AppState state_;
    CanvasWidget* canvas_ = nullptr;
    std::unique_ptr<QtHost> host_;
    int running_ = 0;
    bool closePending_ = false;
    bool destroyed_ = false;
};
