#pragma once
// The shapes of the menu and dialog templates. The tables themselves are in
// resources/; the hosts build their menu bar and dialogs from them.

#include <cstdint>
#include <span>

namespace platform {

// What a menu row is: a popup heading its entries, a command, a separator.
enum class MenuEntryKind { Popup, Command, Separator };

// One row of a menu table. A popup's entries follow it with depth + 1, up to
// the next row of its own depth or less.
struct MenuEntry {
    int32_t depth = 0;  // 0 for the menu bar's popups
    MenuEntryKind kind = MenuEntryKind::Command;
    int32_t id = 0;  // command id; 0 for popups and separators
    const char* text = "";
};

// The kinds of dialog control, and how a static's text is aligned.
enum class ControlKind { GroupBox, Static, Edit, Button };
enum class TextAlign { Left, Right };

// Controls without an id of their own (labels, group boxes) have id −1.
inline constexpr int32_t kNoControlId = -1;
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;

// Rectangles are in dialog units: x and width in quarters, y and height in
// eighths of the dialog font's average character width and height.
struct DialogControl {
    int32_t id = kNoControlId;
    ControlKind kind = ControlKind::Static;
    const char* text = "";
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool disabled = false;
    TextAlign align = TextAlign::Left;
};

// A dialog: its caption, size and place in dialog units, and its controls.
struct DialogTemplate {
    int32_t id = 0;  // resource number
    const char* caption = "";
    int32_t width = 0;  // dialog units
    int32_t height = 0;
    bool placed = false;  // true: at (x, y) of the owner's client area; false: centred on it
    int32_t x = 0;
    int32_t y = 0;
    std::span<const DialogControl> controls;
};

// The control with that id, or nullptr.
inline const DialogControl* findControl(const DialogTemplate& t, int32_t id)
{
    for (const DialogControl& c : t.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

// Pixel size of dialog units for a font of the given average character width
// and cell height (the way the classic interface converts them).
struct DialogUnits {
    int32_t baseX = 0;  // average character width in pixels
    int32_t baseY = 0;  // character height in pixels
    int32_t toPixelsX(int32_t units) const { return units * baseX / 4; }
    int32_t toPixelsY(int32_t units) const { return units * baseY / 8; }
};

}  // namespace platform
