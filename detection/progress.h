#pragma once
// Progress and cancel for the long computations of the core (the exhaustive
// search, the statistical simulation, the detection of a series): the
// computation reports the work done so far and the whole work, in units of
// its own, and the answer says whether to go on. A computation told to stop
// returns at its next report, leaves what it was given as it was and says
// that it was cancelled. An empty callback is never called.

#include <cstdint>
#include <functional>
#include <limits>

namespace detection {

using ProgressCallback = std::function<bool(uint64_t done, uint64_t total)>;

// The work of a computation of several stages, counted in one unit (a cell
// filled, a product formed, a cell scanned) against an estimate of the whole
// (`total`, at least 1). Inner loops count their work in chunks; every
// kLookEvery units the callback hears the count, so that an answer to stop
// is seen within a few hundred microseconds. While the computation runs the
// count shown stays below the whole, however far the estimate fell short;
// only finish() reports done = total. With no callback nothing is reported
// and nothing ever stops, at the cost of one addition and one comparison per
// chunk.
class WorkMeter {
  public:
    static constexpr uint64_t kLookEvery = uint64_t{1} << 18;

    WorkMeter() = default;
    WorkMeter(ProgressCallback callback, uint64_t total);

    // `units` more done. False once the callback has answered false (and
    // from then on): the computation then returns as soon as it can.
    bool advance(uint64_t units)
    {
        done_ += units;
        return done_ < nextLook_ ? !stopped_ : report();
    }
    // Reports the count now, whatever the units since the last report.
    bool report();
    // The last report: done = total. False when the callback answers stop.
    bool finish();
    bool stopped() const { return stopped_; }

    // A callback for a stage that reports its own (done, total), such as the
    // exhaustive search: its share of `units` of the whole is counted as it
    // reports, and every report reaches the callback. With `last`, its
    // report of the end is the whole's finish(). Empty when the meter has
    // no callback. Refers to this meter: use it only while the meter lives.
    ProgressCallback share(uint64_t units, bool last);

  private:
    ProgressCallback callback_;
    uint64_t total_ = 1;
    uint64_t done_ = 0;
    uint64_t nextLook_ = std::numeric_limits<uint64_t>::max();
    bool stopped_ = false;
};

}  // namespace detection
