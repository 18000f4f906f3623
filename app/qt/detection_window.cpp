#include "detection_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>

#include <chrono>
#include <system_error>

#include "detect_dialog.h"
#include "files/atomic_file.h"
#include "menu_bar.h"
#include "picture_image.h"
#include "qt_dialogs.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "simulation_progress.h"

namespace qt_window {

namespace {

using namespace resources;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The keys of the window's commands; +, - and Home also reach the plots
// through the canvas.
QKeySequence detectionShortcut(int32_t id)
{
    switch (id) {
    case IdDetectionDetect:
        return QKeySequence(Qt::CTRL | Qt::Key_D);
    case IdDetectionExportCsv:
        return QKeySequence(Qt::CTRL | Qt::Key_E);
    case IdDetectionSavePicture:
        return QKeySequence(Qt::CTRL | Qt::Key_S);
    case IdDetectionClose:
        return QKeySequence(Qt::CTRL | Qt::Key_W);
    default:
        return {};
    }
}

std::optional<commands::DetectionViewKey> viewKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Home:
        return commands::DetectionViewKey::Home;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return commands::DetectionViewKey::ZoomIn;
    case Qt::Key_Minus:
        return commands::DetectionViewKey::ZoomOut;
    case Qt::Key_Left:
        return commands::DetectionViewKey::Left;
    case Qt::Key_Right:
        return commands::DetectionViewKey::Right;
    case Qt::Key_PageUp:
        return commands::DetectionViewKey::PageLeft;
    case Qt::Key_PageDown:
        return commands::DetectionViewKey::PageRight;
    default:
        return std::nullopt;
    }
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The name of the file without its folders and its last extension.
std::string stemOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

}  // namespace

// --- DetectionCanvas

DetectionCanvas::DetectionCanvas(QWidget* parent, commands::DetectionViewState& view) : QWidget(parent), view_(view)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setObjectName("detectionCanvas");
}

void DetectionCanvas::viewChanged()
{
    stale_ = true;
    update();
}

void DetectionCanvas::paintEvent(QPaintEvent*)
{
    if (stale_ || picture_.width != width() || picture_.height != height()) {
        picture_ = platform::makeBitmap(std::max(width(), 1), std::max(height(), 1));
        platform::Dc dc(picture_);
        commands::paintDetectionView(view_, dc, {0, 0, picture_.width, picture_.height});
        stale_ = false;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, pictureImage(picture_, QRect(0, 0, picture_.width, picture_.height)));
    band_ = commands::detectionViewDragBand(view_);
    if (band_)
        painter.fillRect(QRect(band_->left, band_->top, band_->right - band_->left, band_->bottom - band_->top),
                         QColor(0, 120, 215, 56));
}

void DetectionCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    viewChanged();
}

void DetectionCanvas::followChange(bool changed)
{
    if (changed)
        viewChanged();
    else if (band_ != commands::detectionViewDragBand(view_))
        update();
    if (statusHandler && pointer_.x() >= 0 && !view_.drag.pressed) {
        // The layout is the next paint's: draw it now, so that the readout
        // reads the plots the user is about to see.
        if (changed)
            repaint();
        std::string status;
        commands::detectionViewMove(view_, pointer_.x(), pointer_.y(), status);
        statusHandler(status);
    }
}

void DetectionCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    pointer_ = at;
    followChange(commands::detectionViewPress(view_, at.x(), at.y()));
}

void DetectionCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    pointer_ = at;
    followChange(commands::detectionViewRelease(view_, at.x(), at.y()));
}

void DetectionCanvas::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position().toPoint();
    std::string status;
    commands::detectionViewMove(view_, pointer_.x(), pointer_.y(), status);
    if (band_ != commands::detectionViewDragBand(view_))
        update();
    if (statusHandler)
        statusHandler(status);
}

void DetectionCanvas::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    pointer_ = {-1, -1};
    if (statusHandler && !view_.drag.pressed)
        statusHandler({});
}

void DetectionCanvas::wheelEvent(QWheelEvent* event)
{
    // One notch of a classic wheel is 120 eighths of a degree.
    wheelAngle_ += event->angleDelta().y();
    const int notches = wheelAngle_ / 120;
    wheelAngle_ -= notches * 120;
    event->accept();
    if (notches == 0)
        return;
    pointer_ = event->position().toPoint();
    followChange(commands::detectionViewWheel(view_, pointer_.x(), pointer_.y(), notches));
}

void DetectionCanvas::keyPressEvent(QKeyEvent* event)
{
    const std::optional<commands::DetectionViewKey> key = viewKey(*event);
    if (!key) {
        QWidget::keyPressEvent(event);
        return;
    }
    followChange(commands::detectionViewKey(view_, *key));
}

// --- DetectionWindow

DetectionWindow::DetectionWindow(QWidget* owner) : QMainWindow(owner, Qt::Window)
{
    setObjectName("detectionWindow");
    canvas_ = new DetectionCanvas(this, view_);
    canvas_->setMinimumSize(640, 400);
    setCentralWidget(canvas_);
    canvas_->statusHandler = [this](const std::string& text) { setStatus(text); };
    fillMenuBar(*menuBar(), detectionViewMenu(), detectionShortcut, [this](int32_t id, QAction* action) {
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        actions_.emplace_back(id, action);
    });
    statusBar()->setSizeGripEnabled(false);
}

DetectionWindow::~DetectionWindow()
{
    cancelAsked_ = true;
    if (worker_.joinable())
        worker_.join();
}

bool DetectionWindow::open(const std::string& path, const files::SeriesReadOptions& read, std::string& error)
{
    if (!commands::openDetectionView(view_, path, read, error))
        return false;
    setWindowTitle(fromUtf8(stemOf(path)) + " - Detection view");
    canvas_->viewChanged();
    return true;
}

bool DetectionWindow::open(const std::string& path, const files::SeriesReadOptions& read, files::SeriesData&& series,
                           std::string& error)
{
    if (!commands::openDetectionView(view_, path, read, std::move(series), error))
        return false;
    setWindowTitle(fromUtf8(stemOf(path)) + " - Detection view");
    canvas_->viewChanged();
    return true;
}

QAction* DetectionWindow::menuAction(int32_t id) const
{
    for (const auto& [command, action] : actions_)
        if (command == id)
            return action;
    return nullptr;
}

QString DetectionWindow::statusText() const { return statusBar()->currentMessage(); }

SimulationProgressDialog* DetectionWindow::detectionProgress() const { return progress_.data(); }

void DetectionWindow::setStatus(const std::string& text) { statusBar()->showMessage(fromUtf8(text)); }

void DetectionWindow::runCommand(int32_t id)
{
    if (running_ && id != IdDetectionClose) {
        QApplication::beep();
        return;
    }
    switch (id) {
    case IdDetectionDetect:
        askAndDetect();
        break;
    case IdDetectionExportCsv:
        exportCsv();
        break;
    case IdDetectionSavePicture:
        savePicture();
        break;
    case IdDetectionClose:
        close();
        break;
    case IdDetectionZoomIn:
    case IdDetectionZoomOut:
    case IdDetectionWholeSeries: {
        const commands::DetectionViewKey key = id == IdDetectionZoomIn    ? commands::DetectionViewKey::ZoomIn
                                               : id == IdDetectionZoomOut ? commands::DetectionViewKey::ZoomOut
                                                                          : commands::DetectionViewKey::Home;
        if (commands::detectionViewKey(view_, key))
            canvas_->viewChanged();
        break;
    }
    default:
        break;
    }
}

void DetectionWindow::askAndDetect()
{
    DetectDialog dialog(this, view_.options);
    if (dialog.exec() == QDialog::Accepted)
        startDetection(dialog.options());
}

void DetectionWindow::startDetection(const commands::DetectOptions& options)
{
    if (running_)
        return;
    auto job = std::make_unique<Job>();
    job->options = options;
    cancelAsked_ = false;
    lastReportMs_ = 0;
    progress_ = new SimulationProgressDialog(this, detectionWording());
    progress_->onCancel = [this] { cancelAsked_ = true; };
    // A detection of a second or less ends before the box would only flash.
    QTimer::singleShot(400, progress_.data(), [box = progress_] {
        if (box)
            box->show();
    });
    const unsigned threads = static_cast<unsigned>(std::max(QThread::idealThreadCount(), 1));
    // From the worker: a report goes to the box through the event loop, at
    // most every 50 ms.
    detection::ProgressCallback progress = [this](uint64_t done, uint64_t total) {
        const int64_t now = nowMs();
        if (now - lastReportMs_.load() >= 50 || done >= total) {
            lastReportMs_ = now;
            QMetaObject::invokeMethod(
                this,
                [this, done, total] {
                    if (progress_)
                        progress_->showProgress(done, total);
                },
                Qt::QueuedConnection);
        }
        return !cancelAsked_.load();
    };
    job_ = std::move(job);
    setBusy(true);
    try {
        worker_ = std::thread([this, job = job_.get(), threads, progress] {
            const auto started = std::chrono::steady_clock::now();
            job->status =
                commands::detectOwnSeries(view_.data, job->options, threads, progress, job->result, job->error);
            job->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            QMetaObject::invokeMethod(
                this, [this] { detectionEnded(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        job_.reset();
        setBusy(false);
        say("The detection could not start: the system gave no thread to run it on.", base::MessageIcon::Warning);
    }
}

void DetectionWindow::detectionEnded()
{
    if (!running_)
        return;
    if (worker_.joinable())
        worker_.join();
    std::unique_ptr<Job> job = std::move(job_);
    setBusy(false);
    switch (job->status) {
    case commands::DetectStatus::Done: {
        const size_t found = job->result.outcome.positions.size();
        commands::adoptDetection(view_, std::move(job->result), job->options);
        canvas_->viewChanged();
        setStatus(QString("Detection: %1 pulses found in %2 s").arg(found).arg(job->seconds, 0, 'f', 2).toStdString());
        break;
    }
    case commands::DetectStatus::Cancelled:
        setStatus("Detection cancelled: the pulses shown before stay");
        break;
    default:
        say(view_.path + ": " + job->error, base::MessageIcon::Warning);
        break;
    }
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void DetectionWindow::setBusy(bool busy)
{
    running_ = busy;
    for (const auto& [id, action] : actions_)
        action->setEnabled(!busy || id == IdDetectionClose);
    if (!busy && progress_) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
}

void DetectionWindow::exportCsv()
{
    const platform::FileDialogOptions options{
        "Export pulses as CSV", {{"CSV Files (*.csv)", "*.csv"}, {"All Files (*.*)", "*.*"}}, 0, "csv", true, false};
    const std::optional<std::string> path = chooseSaveFile(options);
    if (!path)
        return;
    const std::string text = commands::detectionViewCsv(view_);
    std::string error;
    if (!files::writeFileAtomically(
            *path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), error))
        say(error, base::MessageIcon::Warning);
    else
        setStatus("Pulses written to " + *path);
}

void DetectionWindow::savePicture()
{
    const platform::FileDialogOptions options{
        "Save picture as PNG", {{"PNG Files (*.png)", "*.png"}, {"All Files (*.*)", "*.*"}}, 0, "png", true, false};
    const std::optional<std::string> path = chooseSaveFile(options);
    if (!path)
        return;
    std::string error;
    if (!commands::writeDetectionViewPicture(view_, *path, std::max(canvas_->width(), 1),
                                             std::max(canvas_->height(), 1), error))
        say(error, base::MessageIcon::Warning);
    else
        setStatus("Picture written to " + *path);
}

std::optional<std::string> DetectionWindow::chooseSaveFile(const platform::FileDialogOptions& options)
{
    if (saveFileHook)
        return saveFileHook(options);
    return runFileDialog(this, options, true);
}

void DetectionWindow::say(const std::string& text, base::MessageIcon icon)
{
    if (messageHook) {
        messageHook({text, "Detection view", icon});
        return;
    }
    MessageDialog box(this, fromUtf8(text), "Detection view", icon);
    box.exec();
}

void DetectionWindow::closeEvent(QCloseEvent* event)
{
    // A running detection stops at its next report; the close comes when it has ended.
    if (running_) {
        closePending_ = true;
        cancelAsked_ = true;
        if (progress_)
            progress_->askCancel();
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace qt_window
