#pragma once
// The detection view's window: a researcher's series of any length opened
// by File > Open... ("Detection view"), drawn by the detection view through
// our drawing device, with the readout in its status bar. Detection >
// Detect... asks for detect's options and runs detect's engine
// (commands::detectOwnSeries) on a worker thread of its own, with a
// progress box and Cancel; meanwhile the window repaints and its plots zoom
// and pan, and its commands other than Close are greyed. Cancel, like a
// refusal, keeps the detection shown before. File exports the pulses as
// detect --csv writes them and saves the picture as PNG.

#include <QMainWindow>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/message_sink.h"
#include "commands/detect_engine.h"
#include "commands/detection_view_state.h"
#include "platform/bitmap.h"
#include "platform/host.h"

class QAction;

namespace qt_window {

class SimulationProgressDialog;

// The client area: the view's picture, repainted when the view changes, the
// band of a drag shaded over it. Input goes to the view's functions.
class DetectionCanvas final : public QWidget {
  public:
    DetectionCanvas(QWidget* parent, commands::DetectionViewState& view);

    // The picture is drawn again at the next paint.
    void viewChanged();
    // What the last paint showed (the window's size).
    const platform::Bitmap& picture() const { return picture_; }
    // The readout for the status bar, after every move and zoom.
    std::function<void(const std::string&)> statusHandler;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Repaints after a change of the detail and reads out at the last point.
    void followChange(bool changed);

    commands::DetectionViewState& view_;
    platform::Bitmap picture_;
    bool stale_ = true;
    int wheelAngle_ = 0;                  // eighths of a degree not yet a whole notch
    QPoint pointer_{-1, -1};              // the mouse's last point over the canvas
    std::optional<platform::Rect> band_;  // the band shaded at the last paint
};

class DetectionWindow final : public QMainWindow {
  public:
    explicit DetectionWindow(QWidget* owner);
    ~DetectionWindow() override;

    // Opens the series (read from `read`'s column or channel, or already
    // read into `data`). False with the reason; the window is then not to
    // be shown.
    bool open(const std::string& path, const files::SeriesReadOptions& read, std::string& error);
    bool open(const std::string& path, const files::SeriesReadOptions& read, files::SeriesData&& series,
              std::string& error);

    // A command of the window's menu.
    void runCommand(int32_t id);
    // Runs detect's engine with these options on the worker (nothing when one
    // runs already).
    void startDetection(const commands::DetectOptions& options);
    bool detectionRunning() const { return running_; }
    SimulationProgressDialog* detectionProgress() const;

    commands::DetectionViewState& view() { return view_; }
    DetectionCanvas& canvas() { return *canvas_; }
    QAction* menuAction(int32_t id) const;
    QString statusText() const;

    // When set, messages are handed here instead of a box, and the file
    // dialogs are answered here (the tests).
    std::function<void(const base::RecordedMessage&)> messageHook;
    std::function<std::optional<std::string>(const platform::FileDialogOptions&)> saveFileHook;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void askAndDetect();
    void detectionEnded();
    void exportCsv();
    void savePicture();
    void say(const std::string& text, base::MessageIcon icon);
    std::optional<std::string> chooseSaveFile(const platform::FileDialogOptions& options);
    void setBusy(bool busy);
    void setStatus(const std::string& text);

    // One detection on the worker: its options in, its result out.
    struct Job {
        commands::DetectOptions options;
        commands::OwnSeriesDetection result;
        commands::DetectStatus status = commands::DetectStatus::Done;
        std::string error;
        double seconds = 0;
    };

    commands::DetectionViewState view_;
    DetectionCanvas* canvas_ = nullptr;
    std::vector<std::pair<int32_t, QAction*>> actions_;  // every menu command, in menu order
    std::unique_ptr<Job> job_;                           // the detection computing; the worker alone touches it
    std::thread worker_;
    bool running_ = false;
    bool closePending_ = false;
    std::atomic<bool> cancelAsked_{false};  // read by the detection's progress callback on the worker
    std::atomic<int64_t> lastReportMs_{0};  // when the worker last posted a report to the box
    QPointer<SimulationProgressDialog> progress_;
};

}  // namespace qt_window
