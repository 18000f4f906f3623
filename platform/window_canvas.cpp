#include "platform/window_canvas.h"

#include <algorithm>
#include <utility>

namespace platform {

WindowCanvas::WindowCanvas(int32_t width, int32_t height) : picture_(makeBitmap(width, height))
{
    invalidate(std::nullopt, true);
}

void WindowCanvas::resize(int32_t width, int32_t height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == picture_.width && height == picture_.height)
        return;
    Bitmap next = makeBitmap(width, height);
    const int32_t w = std::min(width, picture_.width), h = std::min(height, picture_.height);
    for (int32_t y = 0; y < h; ++y)
        std::copy_n(picture_.pixels.begin() + static_cast<ptrdiff_t>(y) * picture_.width, w,
                    next.pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    picture_ = std::move(next);
    invalid_ = clipped(invalid_, clientRect());
    invalidate(std::nullopt, true);
}

void WindowCanvas::invalidate(std::optional<Rect> rect, bool erase)
{
    const Rect area = rect ? intersect(*rect, clientRect()) : clientRect();
    if (isEmpty(area))
        return;
    addRect(invalid_, area);
    // One flag for the whole waiting area, as the classic desktop keeps it:
    // a rectangle invalidated without erasing is erased all the same when
    // another one asked for it before the same paint.
    if (erase)
        erase_ = true;
}

bool WindowCanvas::paint(const std::function<void(Dc&)>& handler)
{
    if (isEmpty(invalid_))
        return false;
    const Region area = std::exchange(invalid_, Region{});
    Dc dc(picture_, area);
    if (std::exchange(erase_, false))
        dc.fillRect(clientRect(), stockBrush(StockBrush::White));
    if (handler)
        handler(dc);
    return true;
}

}  // namespace platform
