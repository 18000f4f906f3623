#include "views/drawing_primitives.h"

#include <algorithm>
#include <new>

#include "views/drawing_conventions.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

using platform::Dc;

namespace {

struct Strip {
    int32_t x0;
    int32_t y0;
    int32_t W;
    int32_t H;
};

void drawStripAxes(Dc& dc, const Strip& s)
{
    dc.moveTo(s.x0, s.y0);
    dc.lineTo(s.x0, wrapAdd(s.y0, s.H));
    const int32_t zero = wrapAdd(s.y0, s.H / 2);
    dc.moveTo(s.x0, zero);
    dc.lineTo(wrapAdd(wrapAdd(s.x0, s.W), 5), zero);
}

// The pulse curve of a strip, every point shifted by (dx, dy).
void drawStripCurve(Dc& dc, const Strip& s, int32_t amplitude, const synthesis::PulseHeader& pulse, int32_t dx,
                    int32_t dy)
{
    const int32_t n = std::min<int32_t>(pulse.wSize, static_cast<int32_t>(pulse.lpData.size()));
    if (n < 2 || amplitude <= 0)
        return;
    const int32_t twoA = wrapMul(2, amplitude);
    const int32_t zero = wrapAdd(wrapAdd(s.y0, s.H / 2), dy);
    dc.moveTo(wrapAdd(s.x0, dx), zero);
    int32_t x = 0;
    for (int32_t i = 0; i < n; ++i) {
        x = div32(wrapMul(i, s.W), n - 1);
        const int32_t y = wrapSub(wrapAdd(s.y0, s.H), div32(wrapMul(wrapAdd(amplitude, pulse.lpData[i]), s.H), twoA));
        dc.lineTo(wrapAdd(wrapAdd(s.x0, x), dx), wrapAdd(y, dy));
    }
    dc.lineTo(wrapAdd(wrapAdd(s.x0, x), dx), zero);
}

}  // namespace

int DrawPulseMarks(Dc& dc, const synthesis::SeriesHeader& series, const platform::Rect& rect)
{
    const int32_t N = static_cast<int32_t>(std::min<uint32_t>(series.dwSeriesSize, INT32_MAX));
    if (N < 2)
        return 1;
    const int32_t W = rect.right - rect.left;
    const int32_t H = rect.bottom - rect.top;
    const int32_t g = H / 8;
    const int32_t gEnd = wrapMul(7, H) / 8;
    const size_t found = std::min<size_t>(series.wFoundPulses, series.lpFoundPositions.size());
    for (size_t k = 0; k < found; ++k) {
        const int32_t p = series.lpFoundPositions[k];
        const int32_t xs = div32(wrapMul(p, W), N - 1);
        const int32_t xe = div32(wrapMul(p + series.wImpulseSize - 1, W), N - 1);
        for (int32_t j = g; j < gEnd; j += 2) {
            dc.setPixel(wrapAdd(rect.left, xs), rect.bottom - j, kPulseFrameColor);
            dc.setPixel(wrapAdd(rect.left, xe), rect.bottom - j, kPulseFrameColor);
        }
        for (int32_t j = xs; j < xe; j += 2) {
            dc.setPixel(wrapAdd(rect.left, j), rect.top + g, kPulseFrameColor);
            dc.setPixel(wrapAdd(rect.left, j), rect.bottom - g, kPulseFrameColor);
        }
    }
    return 1;
}

int DrawPulseStrip(Dc& dc, const platform::Rect& rect, int32_t amplitude, const synthesis::PulseHeader& pulse,
                   int32_t lineHeight)
{
    const int32_t x0 = rect.left + 10;
    const int32_t y = rect.top + 1;
    dc.textOut(x0, y, " pulse:");
    const Strip strip{x0, y + lineHeight + (lineHeight >> 1), rect.right - rect.left, rect.bottom - rect.top};
    drawStripAxes(dc, strip);
    drawStripCurve(dc, strip, amplitude, pulse, 0, 0);

    const int32_t x1 = wrapAdd(wrapAdd(x0, strip.W), 10);
    int32_t y1 = rect.top + 1;
    const int32_t n = std::min<int32_t>(pulse.wSize, static_cast<int32_t>(pulse.lpData.size()));
    for (int32_t i = 0; i < n && i <= 6; ++i) {
        dc.textOut(x1, y1, formatText("%d. %d", i + 1, pulse.lpData[i]));
        y1 += lineHeight - 2;
    }
    return 1;
}

int DrawEtalonCell(Dc& dc, const synthesis::PulseHeader& etalon, int32_t amplitude, int selected,
                   const platform::Rect& rect, int32_t lineHeight)
{
    const int32_t x0 = rect.left;
    const int32_t y = rect.top + 1;
    dc.textOut(x0, y, formatText(" %c ", 96 + static_cast<uint16_t>(etalon.wNumber)));
    const Strip strip{x0, y + lineHeight + (lineHeight >> 2), rect.right - rect.left, rect.bottom - rect.top};
    if (!selected) {
        drawStripAxes(dc, strip);
        drawStripCurve(dc, strip, amplitude, etalon, 0, 0);
        return 1;
    }
    {
        ScopedPen pen(dc, kHighlightBackground);
        ScopedBrush brush(dc, kHighlightBackground);
        dc.rectangle(x0 - 3, strip.y0 - 3, wrapAdd(wrapAdd(x0, strip.W), 8), wrapAdd(wrapAdd(strip.y0, strip.H), 3));
    }
    {
        ScopedPen pen(dc, kHighlightCurve);
        drawStripAxes(dc, strip);
    }
    {
        ScopedPen pen(dc, kHighlightCurve);
        drawStripCurve(dc, strip, amplitude, etalon, 0, 0);
        drawStripCurve(dc, strip, amplitude, etalon, 1, 0);
        drawStripCurve(dc, strip, amplitude, etalon, 0, -1);
    }
    return 1;
}

PulseHeaderPtr createPulseHeader(base::MessageSink& sink, uint16_t length, int16_t number,
                                 std::span<const int16_t> samples)
{
    PulseHeaderPtr pulse;
    try {
        pulse = std::make_unique<synthesis::PulseHeader>();
    } catch (const std::bad_alloc&) {
        sink.messageBox("Нет памяти для newPulseHeader!", "", base::MessageIcon::None);
        return nullptr;
    }
    pulse->wAllocSize = length;
    pulse->wSize = length;
    pulse->wNumber = number;
    try {
        pulse->lpData.assign(length, 0);
    } catch (const std::bad_alloc&) {
        pulse.reset();
        sink.messageBox("Нет памяти для newPulseHeader->lpData!", "", base::MessageIcon::None);
        return nullptr;
    }
    std::copy_n(samples.begin(), std::min<size_t>(samples.size(), length), pulse->lpData.begin());
    return pulse;
}

PulseHeaderPtr freePulseHeader(PulseHeaderPtr pulse)
{
    pulse.reset();
    return nullptr;
}

}  // namespace views
