#pragma once
// Progress and cancel for the long computations of the core (the exhaustive
// search, the statistical simulation).

#include <cstdint>
#include <functional>

namespace detection {

// Told the work done so far and the whole work, in units of the computation's
// own; the answer says whether to go on. A computation told to stop returns
// at its next report, leaves what it was given as it was and says that it
// was cancelled. An empty callback is never called.
using ProgressCallback = std::function<bool(uint64_t done, uint64_t total)>;

}  // namespace detection
