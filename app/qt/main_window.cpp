#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <system_error>
#include <vector>

#include "qt_host.h"
#include "simulation_progress.h"
#include "resources/command_ids.h"
#include "resources/menu.h"
#include "shell/command_dispatcher.h"
#include "shell/main_window.h"
#include "shell/mouse_input.h"
#include "shell/window_painting.h"

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
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0xFF;
    }
}

uint32_t keyFlags(const QMouseEvent& event)
{
    uint32_t flags = 0;
    if (event.buttons() & Qt::LeftButton) flags |= 0x01;
    if (event.buttons() & Qt::RightButton) flags |= 0x02;
    if (event.modifiers() & Qt::ShiftModifier) flags |= 0x04;
    if (event.modifiers() & Qt::ControlModifier) flags |= 0x08;
    if (event.buttons() & Qt::MiddleButton) flags |= 0x10;
    return flags;
}

}  // namespace

// --- CanvasWidget

CanvasWidget::CanvasWidget(QWidget* parent) : QWidget(parent)
{
    // Every pixel comes from the window picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
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
        // The picture's words are 0x00RRGGBB; Qt's RGB32 wants 0xFF on top.
        QImage part(r.size(), QImage::Format_RGB32);
        for (int y = 0; y < r.height(); ++y) {
            const uint32_t* from = picture.pixels.data() + static_cast<size_t>(r.top() + y) * picture.width + r.left();
            auto* to = reinterpret_cast<uint32_t*>(part.scanLine(y));
            for (int x = 0; x < r.width(); ++x)
                to[x] = from[x] | 0xFF000000u;
        }
        painter.drawImage(r.topLeft(), part);
    }
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

// --- MainWindow

MainWindow::MainWindow()
{
    setWindowTitle(resources::kWindowClassName);
    canvas_ = new CanvasWidget(this);
    setCentralWidget(canvas_);
    host_ = std::make_unique<QtHost>(*this, *canvas_);
    canvas_->setHost(host_.get());
    buildMenu();

    canvas_->paintHandler = [this](platform::Dc& dc) {
        if (!destroyed_)
            runShell([&] { paintWindow(state_, *host_, dc); });
    };
    canvas_->clickHandler = [this](int16_t x, int16_t y, uint32_t flags) {
        if (simulation_)
            return refuseDuringSimulation();
        runShell([&] { onLeftButton(state_, *host_, false, x, y, flags); });
    };
    canvas_->keyHandler = [this](int32_t key) {
        if (simulation_)
            return refuseDuringSimulation();
        runShell([&] { onKeyDown(state_, *host_, key); });
    };
}

MainWindow::~MainWindow()
{
    abandonSimulation();
    teardown();
    canvas_->setHost(nullptr);
}

void MainWindow::buildMenu()
{
    // menus[d] is the popup that takes the entries of depth d + 1.
    std::vector<QMenu*> menus;
    for (const platform::MenuEntry& e : resources::mainMenu()) {
        menus.resize(static_cast<size_t>(e.depth));
        QMenu* parent = e.depth > 0 ? menus.back() : nullptr;
        const QString text = QString::fromUtf8(e.text);
        switch (e.kind) {
        case platform::MenuEntryKind::Popup:
            menus.push_back(parent ? parent->addMenu(text) : menuBar()->addMenu(text));
            break;
        case platform::MenuEntryKind::Separator:
            if (parent)
                parent->addSeparator();
            break;
        case platform::MenuEntryKind::Command: {
            QAction* action = parent ? parent->addAction(text) : menuBar()->addAction(text);
            const int32_t id = e.id;
            connect(action, &QAction::triggered, this, [this, action, id] {
                host_->restoreCheckMark(action);
                runCommand(id);
            });
            host_->addMenuItem(id, action);
            commandActions_.emplace_back(id, action);
            break;
        }
        }
    }
}

QAction* MainWindow::menuAction(int32_t id) const { return host_->menuItem(id); }

bool MainWindow::create()
{
    bool created = false;
    runShell([&] { created = onCreate(state_, *host_); });
    return created;
}

void MainWindow::showWorkbench()
{
    if (const QScreen* s = screen())
        setGeometry(s->availableGeometry());
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
    runShell([&] { dispatchCommand(state_, *host_, id); });
}

void MainWindow::startSimulation()
{
    std::unique_ptr<SimulationRun> run;
    runShell([&] { run = prepareSimulation(state_, *host_); });
    // Nothing to compute, or the window closed while the dialogs were open.
    if (!run || destroyed_)
        return;
    if (running_ > 0) {
        // Chosen inside another command's box: that command resumes after
        // this one, so the run cannot leave the state to it meanwhile.
        runShell([&] {
            computeSimulation(*run);
            finishSimulation(state_, *host_, *run);
        });
        return;
    }

    run->options.threads = static_cast<unsigned>(std::max(QThread::idealThreadCount(), 1));
    // From the worker: the report goes to the box through the event loop.
    run->options.progress = [this](uint64_t done, uint64_t total) {
        QMetaObject::invokeMethod(
            this, [this, done, total] { if (progress_) progress_->showProgress(done, total); },
            Qt::QueuedConnection);
        return !cancelAsked_.load();
    };
    cancelAsked_ = false;
    simulation_ = std::move(run);
    enterSimulationMode();
    try {
        worker_ = std::thread([this, run = simulation_.get()] {
            computeSimulation(*run);
            QMetaObject::invokeMethod(this, [this] { simulationEnded(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // The state never saw the run: dropping it leaves everything as it was.
        simulation_.reset();
        leaveSimulationMode();
        runShell([&] {
            host_->messageBox("The simulation could not start: the system gave no thread to run it on. Nothing "
                              "was changed.",
                              " Statistical Simulation ", MessageIcon::Warning);
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
    std::unique_ptr<SimulationRun> run = std::move(simulation_);
    leaveSimulationMode();
    // A close asked for during the run happens once the run is finished.
    runShell([&] { finishSimulation(state_, *host_, *run); });
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
    teardown();
    if (whenClosed)
        whenClosed();
}

void MainWindow::teardown()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    onDestroy(state_);
}
