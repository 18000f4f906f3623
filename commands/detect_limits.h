#pragma once
// What quillmore-cli detect does around the detection itself: the cost
// weighed against the limits before it runs, the progress shown while it
// runs, and Ctrl-C, which stops it without a word of a half-done result.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "detection/progress.h"
#include "detection/series_detection.h"

namespace commands {

// The work a detection may take when --max-work is not given: 10^13 cells
// filled, scanned or multiplied, hours of one processor.
constexpr uint64_t kDefaultMaxWork = 10'000'000'000'000ULL;

// The physical memory of the machine in bytes (0 when it cannot be read).
uint64_t physicalMemoryBytes();

// Bytes in the units --max-memory takes: "512 bytes", "3.4 KiB", "5.1 GiB".
std::string humanBytes(uint64_t bytes);

// The words of a refusal: what would need the memory or take the work, and
// what to change.
struct LimitWords {
    const char* what = "the detection";
    const char* change = "narrow --tmin..--tmax, give a known count (--pulses), use a shorter series";
};

// Checks the cost against --max-memory (default half the physical memory)
// and --max-work (default kDefaultMaxWork). False with the refusal: what
// the detection would need, the limit and what to change.
bool detectionFitsLimits(const detection::DetectionCost& cost, std::optional<uint64_t> maxMemory,
                         std::optional<uint64_t> maxWork, std::string& error, const LimitWords& words = {});

// While one lives, Ctrl-C (SIGINT) does not end the process but asks the
// detection to stop: the progress callback it hands out answers false from
// then on. A second Ctrl-C ends the process as usual. The handler before it
// comes back when it goes.
class InterruptWatch {
  public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The detection's progress from `started` on: nothing for its first
    // second; then, with `records`, the lines simulate --progress prints,
    // else on a terminal the bar simulate draws (at most ten times a
    // second), else nothing. Refers to this watch: use it only while the
    // watch lives.
    detection::ProgressCallback progress(bool records, std::chrono::steady_clock::time_point started);

    bool interrupted() const;
    // Ends a bar left open by the interruption, so that what follows starts
    // a line of its own.
    void closeBar();

  private:
    bool barOpen_ = false;  // the bar was drawn and has not reached its end; progress() writes it, closeBar() reads it
};

}  // namespace commands
