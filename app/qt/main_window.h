#pragma once
// The workbench window: the menu bar built from the resource menu table and
// a canvas that shows the window picture. Menu choices, left-button presses
// and keys go to the shell; its invalidations come back as repaints of just
// the invalid area.
//
// The statistical simulation computes on a worker thread of its own (the
// shell prepares it and takes its result here, on the window's thread), with
// a progress box and Cancel. Meanwhile the window repaints the previous
// result and its menus open, but every command other than Exit is greyed
// and refused, and so are clicks and keys on the canvas: they would touch
// the alphabet, the series record or the random streams the run was made
// from. Exit or a close asks the run to stop, waits for it and then closes.

#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/dc.h"
#include "shell/app_state.h"

namespace shell {
struct SimulationRun;
}

namespace qt_window {

class DetectionWindow;
class QtHost;
class SimulationProgressDialog;

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
    // The left button's release, the mouse's moves (tracked with no button
    // held too), its leaving the canvas and the wheel in whole notches
    // (positive away from the user), at client points.
    std::function<void(int16_t x, int16_t y)> releaseHandler;
    std::function<void(int16_t x, int16_t y)> moveHandler;
    std::function<void()> leaveHandler;
    std::function<void(int16_t x, int16_t y, int32_t notches)> wheelHandler;
    // The band of a drag in progress, shaded over the picture (not drawn
    // into it, so a snapshot never holds it).
    std::function<std::optional<platform::Rect>()> bandHandler;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QtHost* host_ = nullptr;
    int wheelAngle_ = 0;  // eighths of a degree not yet a whole notch (fine-grained wheels and pads)
};

class MainWindow final : public QMainWindow {
  public:
    MainWindow();
    ~MainWindow() override;

    // The window's initialisation (onCreate). false: the window must not be
    // shown; the reason has been given in a message box.
    bool create();
    // Maximised whatever the start asked for; where nothing maximises it (no
    // window manager), as large as the screen's available area. On a screen
    // smaller than minimumClientSize the least size is what the screen holds.
    void showWorkbench();
    // A command id, as the menu sends it. During a simulation only Exit
    // (and the internal close) are taken; the rest are refused with a beep.
    void runCommand(int32_t id);

    // File > Open...: a data file goes to the workbench as before; a series
    // file is read, and the Open Series box asks where it goes, the
    // workbench (when it can hold it) or a detection view of its own.
    void openFile();
    // The detection views opened from this window, oldest first (closed ones
    // are gone).
    std::vector<DetectionWindow*> detectionWindows() const;

    // A statistical simulation is computing (its box may not be shown yet).
    bool simulationRunning() const { return simulation_ != nullptr; }
    // Its progress box, or nullptr.
    SimulationProgressDialog* simulationProgress() const;

    shell::AppState& state() { return state_; }
    QtHost& host() { return *host_; }
    CanvasWidget& canvas() { return *canvas_; }
    // The menu item of a command id, or nullptr.
    QAction* menuAction(int32_t id) const;

    // The least client area the window shrinks to. Below it the views'
    // layouts collide: the simulation's title runs into its Alphabet panel
    // under about 910 pixels of width, the processing result's title and
    // pulse list under about 830, and the option panels meet the buttons of
    // the multi-etalon tasks under about 350 pixels of height, while the
    // result plots crowd their labels under 600.
    static QSize minimumClientSize() { return {960, 600}; }

    // Called once when the window has closed and released everything; the
    // program ends its event loop there with code 0.
    std::function<void()> whenClosed;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The menu bar from the resource table, each title and item with a
    // mnemonic and the most used commands with their keys (see commandShortcut).
    void buildMenu();
    // Runs a piece of shell work. A close asked for meanwhile (the Exit
    // command, the window manager) waits until it has returned, so that the
    // teardown never pulls the state from under a running command.
    void runShell(const std::function<void()>& work);
    void teardown();

    // The simulation command: prepared here, computed on worker_, finished
    // by simulationEnded when the worker says it is done.
    void startSimulation();
    void simulationEnded();
    // Asks a running simulation to stop at its next report.
    void cancelSimulation();
    // Cancels and waits for the worker, dropping the run: the state stays
    // as the run found it. For the destructor.
    void abandonSimulation();
    // The menu and the progress box while a run computes.
    void enterSimulationMode();
    void leaveSimulationMode();
    // A beep, and the progress box brought to the front.
    void refuseDuringSimulation();
    // Repaints where the drag band was and is, when a move or release changed it.
    void updateBand(const std::optional<platform::Rect>& before);

    shell::AppState state_;
    CanvasWidget* canvas_ = nullptr;
    std::unique_ptr<QtHost> host_;
    int running_ = 0;
    bool closePending_ = false;
    bool destroyed_ = false;

    std::vector<std::pair<int32_t, QAction*>> commandActions_;  // every menu command, in menu order
    std::unique_ptr<shell::SimulationRun> simulation_;  // the run computing; the worker alone touches it meanwhile
    std::thread worker_;
    std::atomic<bool> cancelAsked_{false};  // read by the run's progress callback on the worker
    QPointer<SimulationProgressDialog> progress_;
    std::vector<QPointer<DetectionWindow>> detectionWindows_;  // opened by openFile; each deletes itself on close
};

}  // namespace qt_window
