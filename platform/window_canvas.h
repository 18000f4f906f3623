#pragma once
// The window's persistent picture and the area waiting to be repainted. A
// paint draws over the old picture, clipped to that area. As on the classic
// desktop, erasing belongs to the whole waiting area: when any invalidation
// since the last paint asked for it, all of that area is cleared to white
// first; when none did, the paint really draws over what was there.

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/bitmap.h"
#include "platform/dc.h"
#include "platform/region.h"

namespace platform {

// The picture and the waiting area of one window; a host paints through it.
class WindowCanvas {
  public:
    // A new window: a white picture waiting to be painted in full.
    WindowCanvas(int32_t width, int32_t height);

    // A new client size keeps the picture where old and new overlap and, as
    // the window class redraws on every size change, invalidates everything
    // with erasing. The same size changes nothing.
    void resize(int32_t width, int32_t height);
    Rect clientRect() const { return {0, 0, picture_.width, picture_.height}; }
    Bitmap& picture() { return picture_; }
    const Bitmap& picture() const { return picture_; }

    // Nothing for rect means the whole client area; parts outside it are
    // dropped, and an invalidation that adds nothing asks for no erasing.
    void invalidate(std::optional<Rect> rect, bool erase);
    const Region& invalidRegion() const { return invalid_; }
    // Whether the next paint clears the whole waiting area first.
    bool erasePending() const { return erase_; }
    bool needsPaint() const { return !isEmpty(invalid_); }

    // When something is invalid: empties the waiting area, erases all of it
    // to white when any invalidation asked for that, and lets the handler
    // draw through a device clipped to it. Invalidations made by the handler
    // wait for the next paint. Returns false, without calling the handler,
    // when nothing was invalid.
    bool paint(const std::function<void(Dc&)>& handler);

  private:
    Bitmap picture_;
    Region invalid_;
    bool erase_ = false;
};

}  // namespace platform
