#include "main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <vector>

#include "qt_host.h"
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
        runShell([&] { onLeftButton(state_, *host_, false, x, y, flags); });
    };
    canvas_->keyHandler = [this](int32_t key) { runShell([&] { onKeyDown(state_, *host_, key); }); };
}

MainWindow::~MainWindow()
{
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
    if (!destroyed_)
        runShell([&] { dispatchCommand(state_, *host_, id); });
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
