#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <system_error>
#include <vector>

#include "detection_window.h"
#include "menu_bar.h"
#include "open_series_dialog.h"
#include "picture_image.h"
#include "qt_dialogs.h"
#include "qt_host.h"
#include "simulation_progress.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/mouse_input.h"
#include "shell/own_series_loading.h"
#include "shell/plot_navigation.h"
#include "shell/window_painting.h"

namespace qt_window {

namespace {

// Virtual-key codes of the desktop for the keys that have one; every other
// key reads as 0xFF, the code the desktop gives keys it cannot map.
int32_t virtualKey(const QKeyEvent& event)
{
    const int key = event.key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;  // the same codes as their upper-case ASCII
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 0x0D;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    // + and - zoom the plots: the keypad's own codes, else the main keys'
    // (= carries + on most layouts).
    case Qt::Key_Plus:
        return (event.modifiers() & Qt::KeypadModifier) ? 0x6B : 0xBB;
    case Qt::Key_Equal:
        return 0xBB;
    case Qt::Key_Minus:
        return (event.modifiers() & Qt::KeypadModifier) ? 0x6D : 0xBD;
    default:
        return 0xFF;
    }
}

// The keys of the commands used most, shown beside them in the menu.
QKeySequence commandShortcut(int32_t id)
{
    switch (id) {
    case resources::IdProcessingNextData:
        return QKeySequence(Qt::Key_Space);
    case resources::IdProcessingSameData:
        return QKeySequence(Qt::Key_F5);
    case resources::IdSaveImageAs:
        return QKeySequence(Qt::CTRL | Qt::Key_S);
    case resources::IdOpen:
        return QKeySequence(Qt::CTRL | Qt::Key_O);
    case resources::IdExit:
        return QKeySequence(Qt::CTRL | Qt::Key_Q);
    default:
        return {};
    }
}

uint32_t keyFlags(const QMouseEvent& event)
{
    uint32_t flags = 0;
    if (event.buttons() & Qt::LeftButton)
        flags |= 0x01;
    if (event.buttons() & Qt::RightButton)
        flags |= 0x02;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= 0x04;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= 0x08;
    if (event.buttons() & Qt::MiddleButton)
        flags |= 0x10;
    return flags;
}

}  // namespace

// --- CanvasWidget

CanvasWidget::CanvasWidget(QWidget* parent) : QWidget(parent)
{
    // Every pixel comes from the window picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // The readout follows the mouse without a button held.
    setMouseTracking(true);
}

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    if (!host_)
        return;
    platform::WindowCanvas& canvas = host_->canvas();
    // Each invalidation asked Qt for a repaint of its rectangle, so the area
    // shown now holds all that the shell drew.
    if (canvas.needsPaint())
        canvas.paint(paintHandler);

    const platform::Bitmap& picture = canvas.picture();
    const QRect pictureRect(0, 0, picture.width, picture.height);
    QPainter painter(this);
    for (const QRect& asked : event->region()) {
        const QRect r = asked & pictureRect;
        if (r.isEmpty())
            continue;
        painter.drawImage(r.topLeft(), pictureImage(picture, r));
    }
    if (const std::optional<platform::Rect> band = bandHandler ? bandHandler() : std::nullopt)
        painter.fillRect(QRect(band->left, band->top, band->right - band->left, band->bottom - band->top),
                         QColor(0, 120, 215, 56));
}

void CanvasWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (host_) {
        host_->canvas().resize(width(), height());
        update();
    }
}

void CanvasWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !clickHandler)
        return;
    const QPoint at = event->position().toPoint();
    clickHandler(static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()), keyFlags(*event));
}

// The window asks for no double clicks: the second press is one more click.
void CanvasWidget::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void CanvasWidget::keyPressEvent(QKeyEvent* event)
{
    if (keyHandler)
        keyHandler(virtualKey(*event));
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !releaseHandler)
        return;
    const QPoint at = event->position().toPoint();
    releaseHandler(static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!moveHandler)
        return;
    const QPoint at = event->position().toPoint();
    moveHandler(static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()));
}

void CanvasWidget::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (leaveHandler)
        leaveHandler();
}

void CanvasWidget::wheelEvent(QWheelEvent* event)
{
    // One notch of a classic wheel is 120 eighths of a degree.
    wheelAngle_ += event->angleDelta().y();
    const int notches = wheelAngle_ / 120;
    wheelAngle_ -= notches * 120;
    event->accept();
    if (notches == 0 || !wheelHandler)
        return;
    const QPoint at = event->position().toPoint();
    wheelHandler(static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()), notches);
}

// --- MainWindow

MainWindow::MainWindow()
{
    setWindowTitle(resources::kWindowClassName);
    canvas_ = new CanvasWidget(this);
    canvas_->setMinimumSize(minimumClientSize());
    setCentralWidget(canvas_);
    host_ = std::make_unique<QtHost>(*this, *canvas_);
    canvas_->setHost(host_.get());
    buildMenu();
    // F10 opens the first menu, as on the desktop; the menus are then walked
    // with the arrow keys.
    auto* menuKey = new QAction(this);
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this, [this] {
        if (!menuBar()->actions().isEmpty())
            menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
    addAction(menuKey);

    canvas_->paintHandler = [this](platform::Dc& dc) {
        if (!destroyed_)
            runShell([&] { shell::paintWindow(state_, *host_, dc); });
    };
    canvas_->clickHandler = [this](int16_t x, int16_t y, uint32_t flags) {
        if (simulation_)
            return refuseDuringSimulation();
        runShell([&] { shell::onLeftPress(state_, *host_, x, y, flags); });
    };
    canvas_->keyHandler = [this](int32_t key) {
        if (simulation_)
            return refuseDuringSimulation();
        runShell([&] {
            if (!shell::onPlotKey(state_, *host_, key))
                shell::onKeyDown(state_, *host_, key);
        });
    };
    // Moves and the wheel read the series record, which a running simulation
    // owns: they are let go quietly meanwhile.
    canvas_->releaseHandler = [this](int16_t x, int16_t y) {
        if (simulation_ || destroyed_)
            return;
        const std::optional<platform::Rect> band = shell::dragBand(state_);
        runShell([&] { shell::onLeftRelease(state_, *host_, x, y); });
        updateBand(band);
    };
    canvas_->moveHandler = [this](int16_t x, int16_t y) {
        if (simulation_ || destroyed_)
            return;
        const std::optional<platform::Rect> band = shell::dragBand(state_);
        runShell([&] { shell::onMouseMove(state_, *host_, x, y); });
        updateBand(band);
    };
    canvas_->leaveHandler = [this] {
        if (!simulation_ && !destroyed_)
            runShell([&] { shell::onMouseLeave(state_, *host_); });
    };
    canvas_->wheelHandler = [this](int16_t x, int16_t y, int32_t notches) {
        if (!simulation_ && !destroyed_)
            runShell([&] { shell::onMouseWheel(state_, *host_, x, y, notches); });
    };
    canvas_->bandHandler = [this] { return destroyed_ ? std::nullopt : shell::dragBand(state_); };
    // Made now, so that the canvas has its final height before the first paint.
    statusBar()->setSizeGripEnabled(false);
}

MainWindow::~MainWindow()
{
    abandonSimulation();
    teardown();
    canvas_->setHost(nullptr);
}

void MainWindow::buildMenu()
{
    fillMenuBar(*menuBar(), resources::mainMenu(), commandShortcut, [this](int32_t id, QAction* action) {
        connect(action, &QAction::triggered, this, [this, action, id] {
            host_->restoreCheckMark(action);
            runCommand(id);
        });
        host_->addMenuItem(id, action);
        commandActions_.emplace_back(id, action);
    });
}

QAction* MainWindow::menuAction(int32_t id) const { return host_->menuItem(id); }

bool MainWindow::create()
{
    bool created = false;
    runShell([&] { created = shell::onCreate(state_, *host_); });
    return created;
}

void MainWindow::showWorkbench()
{
    if (const QScreen* s = screen()) {
        // A screen too small for the least client area keeps the window
        // whole on it, cramped: a canvas reaching past the screen's edge
        // would hold parts nobody sees or repaints.
        int bars = menuBar()->sizeHint().height();
        if (const auto* status = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
            bars += status->sizeHint().height();
        // The frame, as far as the platform knows it before the window shows.
        winId();
        const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
        const QSize room =
            s->availableGeometry().size() - QSize(frame.left() + frame.right(), frame.top() + frame.bottom() + bars);
        canvas_->setMinimumSize(minimumClientSize().boundedTo(room));
        setGeometry(s->availableGeometry());
    }
    showMaximized();
    canvas_->setFocus();
}

void MainWindow::runCommand(int32_t id)
{
    if (destroyed_)
        return;
    if (simulation_ && id != resources::IdExit && id != resources::CmdCloseWindow)
        return refuseDuringSimulation();
    if (id == resources::IdDetectionStatisticalSimulation)
        return startSimulation();
    // Opened at the top level only: inside another command's box the
    // workbench's own open keeps to the workbench.
    if (id == resources::IdOpen && running_ == 0)
        return openFile();
    runShell([&] { shell::dispatchCommand(state_, *host_, id); });
}

void MainWindow::openFile()
{
    std::optional<std::string> path;
    runShell([&] { path = host_->openFileDialog(shell::openDialogOptions()); });
    if (destroyed_)
        return;
    // A data file, a cancelled dialog or a file the reader refuses: the
    // workbench's own open says what it always says.
    files::SeriesReadResult read;
    if (path && shell::isSeriesFileName(*path))
        read = files::readSeriesFile(*path, {});
    if (!path || !read.ok) {
        runShell([&] {
            shell::openChosenFile(state_, *host_, path);
            shell::dispatchCommand(state_, *host_, resources::CmdProcess);
        });
        return;
    }
    OpenSeriesDialog choice(this, *path, std::move(read.data),
                            [this](size_t n) { return shell::seriesLengthProblem(state_, n); });
    if (choice.exec() != QDialog::Accepted || destroyed_) {
        runShell([&] {
            state_.dataFileResult = 0;  // as a cancelled preparation leaves it
            shell::dispatchCommand(state_, *host_, resources::CmdProcess);
        });
        return;
    }
    if (choice.target() == OpenSeriesDialog::WorkbenchSeries) {
        runShell([&] {
            shell::openChosenFile(state_, *host_, path, choice.readOptions());
            shell::dispatchCommand(state_, *host_, resources::CmdProcess);
        });
        return;
    }
    auto* view = new DetectionWindow(this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    std::string error;
    if (!view->open(*path, choice.readOptions(), std::move(choice.data()), error)) {
        delete view;
        runShell([&] { host_->messageBox(error, shell::kOpenCaption, base::MessageIcon::None); });
        return;
    }
    detectionWindows_.emplace_back(view);
    if (const QScreen* s = screen())
        view->setGeometry(s->availableGeometry());
    view->showMaximized();
    view->canvas().setFocus();
}

std::vector<DetectionWindow*> MainWindow::detectionWindows() const
{
    std::vector<DetectionWindow*> open;
    for (const QPointer<DetectionWindow>& w : detectionWindows_)
        if (w)
            open.push_back(w.data());
    return open;
}

void MainWindow::startSimulation()
{
    std::unique_ptr<shell::SimulationRun> run;
    runShell([&] { run = shell::prepareSimulation(state_, *host_); });
    // Nothing to compute, or the window closed while the dialogs were open.
    if (!run || destroyed_)
        return;
    if (running_ > 0) {
        // Chosen inside another command's box: that command resumes after
        // this one, so the run cannot leave the state to it meanwhile.
        runShell([&] {
            shell::computeSimulation(*run);
            shell::finishSimulation(state_, *host_, *run);
        });
        return;
    }

    run->options.threads = static_cast<unsigned>(std::max(QThread::idealThreadCount(), 1));
    // From the worker: the report goes to the box through the event loop.
    run->options.progress = [this](uint64_t done, uint64_t total) {
        QMetaObject::invokeMethod(
            this,
            [this, done, total] {
                if (progress_)
                    progress_->showProgress(done, total);
            },
            Qt::QueuedConnection);
        return !cancelAsked_.load();
    };
    cancelAsked_ = false;
    simulation_ = std::move(run);
    enterSimulationMode();
    try {
        worker_ = std::thread([this, run = simulation_.get()] {
            shell::computeSimulation(*run);
            QMetaObject::invokeMethod(
                this, [this] { simulationEnded(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // The state never saw the run: dropping it leaves everything as it was.
        simulation_.reset();
        leaveSimulationMode();
        runShell([&] {
            host_->messageBox(
                "The simulation could not start: the system gave no thread to run it on. Nothing "
                "was changed.",
                " Statistical Simulation ", base::MessageIcon::Warning);
        });
    }
}

SimulationProgressDialog* MainWindow::simulationProgress() const { return progress_.data(); }

void MainWindow::simulationEnded()
{
    if (!simulation_ || destroyed_)
        return;
    if (running_ > 0) {
        // Some shell work waits in a box of its own; the result comes after it.
        QTimer::singleShot(50, this, [this] { simulationEnded(); });
        return;
    }
    if (worker_.joinable())
        worker_.join();
    std::unique_ptr<shell::SimulationRun> run = std::move(simulation_);
    leaveSimulationMode();
    // A close asked for during the run happens once the run is finished.
    runShell([&] { shell::finishSimulation(state_, *host_, *run); });
}

void MainWindow::cancelSimulation()
{
    cancelAsked_ = true;
    if (progress_)
        progress_->askCancel();
}

void MainWindow::abandonSimulation()
{
    cancelAsked_ = true;
    if (worker_.joinable())
        worker_.join();
    simulation_.reset();
    leaveSimulationMode();
}

void MainWindow::enterSimulationMode()
{
    for (const auto& [id, action] : commandActions_)
        action->setEnabled(id == resources::IdExit);
    progress_ = new SimulationProgressDialog(this);
    progress_->onCancel = [this] { cancelAsked_ = true; };
    // A short run ends before the box would only flash.
    QTimer::singleShot(250, progress_.data(), [box = progress_] {
        if (box)
            box->show();
    });
}

void MainWindow::leaveSimulationMode()
{
    for (const auto& [id, action] : commandActions_)
        action->setEnabled(true);
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (!destroyed_ && isVisible())
        canvas_->setFocus();
}

void MainWindow::refuseDuringSimulation()
{
    QApplication::beep();
    if (progress_ && progress_->isVisible()) {
        progress_->raise();
        progress_->activateWindow();
    }
}

void MainWindow::updateBand(const std::optional<platform::Rect>& before)
{
    const std::optional<platform::Rect> after = shell::dragBand(state_);
    if (before == after)
        return;
    for (const std::optional<platform::Rect>& band : {before, after})
        if (band)
            canvas_->update(QRect(band->left, band->top, band->right - band->left, band->bottom - band->top));
}

void MainWindow::runShell(const std::function<void()>& work)
{
    ++running_;
    work();
    --running_;
    if (running_ == 0 && closePending_) {
        closePending_ = false;
        close();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The run stops at its next report; the close comes when it has ended.
    if (simulation_) {
        closePending_ = true;
        cancelSimulation();
        event->ignore();
        return;
    }
    if (running_ > 0) {
        closePending_ = true;
        event->ignore();
        return;
    }
    event->accept();
    if (destroyed_)
        return;
    // The detection views go with the workbench; a detection still running
    // in one is stopped when the window is destroyed.
    for (DetectionWindow* view : detectionWindows())
        view->hide();
    teardown();
    if (whenClosed)
        whenClosed();
}

void MainWindow::teardown()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    shell::onDestroy(state_);
}

}  // namespace qt_window
