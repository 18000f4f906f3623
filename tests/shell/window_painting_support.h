#pragma once
// A started workbench whose window is painted through the scripted host, so
// that the rectangles of the last paint are in place for clicks.

#include "platform/scripted_host.h"
#include "shell/main_window.h"
#include "shell/mouse_input.h"
#include "shell/window_painting.h"

struct PaintedWindow {
    shell::AppState state;
    platform::ScriptedHost host;
    bool started = false;

    explicit PaintedWindow(int32_t width = 1024, int32_t height = 768) : host(width, height)
    {
        started = shell::onCreate(state, host);
        paint();
    }
    ~PaintedWindow() { shell::onDestroy(state); }
    PaintedWindow(const PaintedWindow&) = delete;
    PaintedWindow& operator=(const PaintedWindow&) = delete;

    // Paints what waits to be painted.
    bool paint()
    {
        return host.paint([this](platform::Dc& dc) { shell::paintWindow(state, host, dc); });
    }
    // Paints the whole window afresh.
    void repaint()
    {
        host.invalidate(std::nullopt, true);
        paint();
    }
    void click(int32_t x, int32_t y, bool doubleClick = false)
    {
        shell::onLeftButton(state, host, doubleClick, static_cast<int16_t>(x), static_cast<int16_t>(y), 0);
    }
    void clickIn(const views::LayoutRect& r) { click((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
    const platform::Bitmap& picture() { return host.canvas.picture(); }
};
