#include "platform/drawing_objects.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<int32_t> liveObjects{0};
}

int32_t liveDrawingObjects() { return liveObjects.load(); }

namespace detail {
void countDrawingObject(int32_t delta) { liveObjects.fetch_add(delta); }
}  // namespace detail

}  // namespace platform
