#pragma once
// Conventions every view shares: the colours of the pictures, the line height
// of the window font, the wrapping 32-bit arithmetic of the coordinate
// formulas and the discipline of pens and brushes (a view creates an object,
// selects it, draws, selects the previous one back and lets it go).

#include <cstdint>
#include <string>

#include "platform/dc.h"
#include "platform/font.h"
#include "platform/geometry.h"
#include "base/wrapping.h"
#include "views/layout_rect.h"

namespace views {

// The views name colours as the platform does.
using platform::Color;
using platform::rgb;

// Primitives.
inline constexpr Color kPulseFrameColor = rgb(0, 0, 0);            // dotted frames of found pulses
inline constexpr Color kHighlightBackground = rgb(163, 163, 163);  // pen and brush of a highlighted cell
inline constexpr Color kHighlightCurve = rgb(255, 255, 255);       // axes and curve of a highlighted cell

// Alphabet view and option panels.
inline constexpr Color kSelectedEtalonCurve = rgb(0, 0, 255);
inline constexpr Color kUnselectedEtalonCurve = rgb(0, 0, 127);
inline constexpr Color kSelectedCellFrame = rgb(163, 163, 163);
inline constexpr Color kUnselectedCellFrame = rgb(127, 127, 127);
inline constexpr Color kChoiceInEffect = rgb(0, 0, 0);
inline constexpr Color kChoiceNotInEffect = rgb(163, 163, 163);

// Series plots.
inline constexpr Color kObservedSeriesCurve = rgb(0, 0, 255);

// The vertical text step of every view: tmHeight + tmExternalLeading - 1 of
// the window font (12 for its 13-pixel cell).
constexpr int32_t lineHeightOf(const platform::TextMetrics& tm) { return tm.tmHeight + tm.tmExternalLeading - 1; }

// The coordinate formulas are defined in 32-bit integers that wrap, so a
// far-out value stays defined behaviour: sums and products go through
// base::wrapAdd, wrapSub and wrapMul.
// Truncating division; a divisor of 0 gives 0 and INT32_MIN / -1 wraps.
constexpr int32_t div32(int32_t a, int32_t b)
{
    if (b == 0)
        return 0;
    if (b == -1)
        return base::wrapNegate(a);
    return a / b;
}

// Selects a created pen (or brush) for one drawing step and puts the previous
// one back when the step ends, which releases the created one.
class ScopedPen {
  public:
    ScopedPen(platform::Dc& dc, Color color)
        : dc_(dc), previous_(dc.selectPen(platform::createPen(platform::PenStyle::Solid, 1, color)))
    {
    }
    ~ScopedPen() { dc_.selectPen(previous_); }
    ScopedPen(const ScopedPen&) = delete;
    ScopedPen& operator=(const ScopedPen&) = delete;

  private:
    platform::Dc& dc_;
    platform::Pen previous_;
};

// The brush counterpart of ScopedPen: a solid brush of the colour.
class ScopedBrush {
  public:
    ScopedBrush(platform::Dc& dc, Color color) : dc_(dc), previous_(dc.selectBrush(platform::createSolidBrush(color)))
    {
    }
    ~ScopedBrush() { dc_.selectBrush(previous_); }
    ScopedBrush(const ScopedBrush&) = delete;
    ScopedBrush& operator=(const ScopedBrush&) = delete;

  private:
    platform::Dc& dc_;
    platform::Brush previous_;
};

// What every view of the working area is given by the paint handler: the
// area itself (right and bottom included) and the line height of the paint.
struct ViewFrame {
    LayoutRect viewArea;
    int32_t lineHeight = 12;
};

// The working area's width Wv and height Hv in pixels, and its usable height
// Hu: Hv less the 17 text lines the views reserve.
struct ViewSize {
    int32_t Wv = 0;
    int32_t Hv = 0;
    int32_t Hu = 0;
};
ViewSize viewSize(const ViewFrame& frame);

// The frame of a working area as a closed polyline through (left, top),
// (left, top + Hv), (left + Wv, top + Hv), (left + Wv, top) with Wv and Hv the
// inclusive width and height: it lies one pixel outside the right and bottom.
void drawAreaFrame(platform::Dc& dc, const LayoutRect& area);

// printf into a text for textOut, with the system's own formats. Like the
// single-byte text calls of the classic interface, the text ends at the first
// zero byte (a "%c" of code 0 cuts it there) and every byte is one character:
// bytes from 128 up are read as Latin-1, so "%c" with 96 + n shows the
// character of that code for any etalon number n.
std::string formatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace views
