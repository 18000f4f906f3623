#include "views/alphabet_view.h"

#include <algorithm>

#include "synthesis/etalon_generation.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

namespace {

// One pass of an alphabet cell curve with its origin at (ox, oy).
void drawCellCurve(platform::Dc& dc, const synthesis::PulseHeader& etalon, int32_t ox, int32_t oy, int32_t w, int32_t p,
                   int32_t a)
{
    const int32_t n = std::min<int32_t>(etalon.wSize, static_cast<int32_t>(etalon.lpData.size()));
    // The mapping divides by the sample count less one and by the amplitude.
    if (n < 2 || a <= 0)
        return;
    const int32_t zero = wrapAdd(oy, p >> 1);
    dc.moveTo(ox, zero);
    int32_t x = ox;
    for (int32_t j = 0; j < n; ++j) {
        x = wrapAdd(ox, div32(wrapMul(j, w - 6), n - 1));
        dc.lineTo(x, wrapSub(wrapAdd(oy, p), div32(wrapMul(wrapAdd(etalon.lpData[j], a), p), wrapMul(2, a))));
    }
    dc.lineTo(x, zero);
}

}  // namespace

std::string alphabetCellTitle(const synthesis::PulseHeader& etalon)
{
    return formatText(" pulse %d [%d]", etalon.wNumber, synthesis::etalonEnergy(etalon));
}

void drawAlphabetView(platform::Dc& dc, const AlphabetViewInput& in)
{
    const int32_t LH = in.frame.lineHeight;
    drawAreaFrame(dc, in.frame.viewArea);
    const size_t count = std::min(in.cells.size(), in.etalons.size());
    const int32_t Wf = in.cellWidth, Hf = in.cellHeight;
    const int32_t w = Wf - 10, h = Hf - 10;
    const int32_t p = h - LH;
    for (size_t i = 0; i < count; ++i) {
        const LayoutRect& cell = in.cells[i];
        const synthesis::PulseHeader& etalon = in.etalons[i];
        const bool selected = i < in.selected.size() && in.selected[i] == 1;
        const int32_t x = wrapAdd(cell.left, 5);
        int32_t y = wrapAdd(cell.top, 5);
        dc.textOut(x, y, alphabetCellTitle(etalon));

        y = wrapAdd(y, LH);
        dc.moveTo(x, y);
        dc.lineTo(x, wrapAdd(y, p));
        dc.moveTo(x, wrapAdd(y, p >> 1));
        dc.lineTo(wrapAdd(x, w - 1), wrapAdd(y, p >> 1));

        {
            ScopedPen pen(dc, selected ? kSelectedEtalonCurve : kUnselectedEtalonCurve);
            drawCellCurve(dc, etalon, x, y, w, p, in.amplitude);
            drawCellCurve(dc, etalon, wrapAdd(x, 1), y, w, p, in.amplitude);
            drawCellCurve(dc, etalon, x, wrapSub(y, 1), w, p, in.amplitude);
        }

        const LayoutRect frame{cell.left, cell.top, wrapAdd(cell.left, Wf - 1), wrapAdd(cell.top, Hf - 1)};
        if (selected) {
            ScopedPen pen(dc, kSelectedCellFrame);
            drawAreaFrame(dc, frame);
            drawAreaFrame(dc, {frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1});
            drawAreaFrame(dc, {frame.left - 1, frame.top - 1, frame.right + 1, frame.bottom + 1});
        } else {
            ScopedPen pen(dc, kUnselectedCellFrame);
            drawAreaFrame(dc, frame);
        }
    }
}

void drawChoicePanel(platform::Dc& dc, const LayoutRect& frame, std::span<LayoutRect> itemRects, const char* caption,
                     std::span<const int32_t> options, int32_t chosen, int32_t valueInEffect, int32_t lineHeight)
{
    const int32_t LH = lineHeight;
    drawAreaFrame(dc, frame);
    const int32_t frameWidth = wrapAdd(wrapSub(frame.right, frame.left), 1);
    const int32_t x = wrapAdd(frame.left, 10);
    const int32_t d = std::max((LH + 1) / 8, 1);
    dc.textOut(x - 5, wrapSub(frame.top, LH >> 1), formatText("%s", caption));

    const int32_t firstY = wrapAdd(wrapAdd(frame.top, LH), LH >> 1);
    const int32_t stepY = LH + (LH >> 1);
    int32_t y = firstY;
    for (size_t i = 0; i < options.size(); ++i) {
        dc.ellipse(x, y, wrapAdd(x, LH), wrapAdd(y, LH));
        dc.textOut(wrapAdd(x, 2 * LH), y, formatText(" %5d ", options[i]));
        if (i < itemRects.size())
            itemRects[i] = {x, y, wrapAdd(x, frameWidth), wrapAdd(y, stepY - 1)};
        y = wrapAdd(y, stepY);
    }

    // A chosen option outside the table has no mark to fill.
    if (chosen < 1 || static_cast<size_t>(chosen) > options.size())
        return;
    const int32_t top = wrapAdd(firstY, wrapMul(chosen - 1, stepY));
    const bool inEffect = options[static_cast<size_t>(chosen - 1)] == valueInEffect;
    ScopedBrush brush(dc, inEffect ? kChoiceInEffect : kChoiceNotInEffect);
    dc.ellipse(x + d, wrapAdd(top, d), wrapSub(wrapAdd(x, LH), d), wrapSub(wrapAdd(top, LH), d));
}

}  // namespace views
