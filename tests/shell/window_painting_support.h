#pragma once
// A started workbench whose window is painted through the scripted host, so
// that the rectangles of the last paint are in place for clicks.

#include <vector>

#include "platform/scripted_host.h"
#include "shell/lifecycle.h"
#include "shell/mouse_input.h"
#include "shell/window_painting.h"

// The etalons selected, numbered from 1.
inline std::vector<int> selection(const shell::AppState& s)
{
    std::vector<int> out;
    for (int k = 0; k < s.etalonCount; ++k)
        if (s.etalonSelected[k])
            out.push_back(k + 1);
    return out;
}

// Whether the picture shows the button's bitmap with its corner at `at`.
inline bool shows(const platform::Bitmap& picture, const views::LayoutRect& at, const platform::Bitmap& button)
{
    for (int32_t y = 0; y < button.height; ++y)
        for (int32_t x = 0; x < button.width; ++x)
            if (platform::pixelAt(picture, at.left + x, at.top + y) != platform::pixelAt(button, x, y))
                return false;
    return true;
}

// Whether every pixel of r, right and bottom included, is white.
inline bool allWhite(const platform::Bitmap& picture, const views::LayoutRect& r)
{
    for (int32_t y = r.top; y <= r.bottom; ++y)
        for (int32_t x = r.left; x <= r.right; ++x)
            if (platform::pixelAt(picture, x, y) != platform::kWhite)
                return false;
    return true;
}

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
