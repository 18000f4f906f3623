#pragma once
// Bookkeeping shared by pens, brushes and fonts: every object a caller creates
// is counted while it lives, so a picture test can prove that a view selected
// back what it replaced and released what it created. Stock objects are not
// counted; they live for the whole run.

#include <cstdint>

namespace platform {

// Created pens, brushes and fonts still alive.
int32_t liveDrawingObjects();

namespace detail {
// Called by the objects themselves: +1 when one is made, -1 when it goes.
void countDrawingObject(int32_t delta);
}  // namespace detail

}  // namespace platform
