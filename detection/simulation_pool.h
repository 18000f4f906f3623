#pragma once
// The workers of a run: the calling thread and its helpers take the chunks
// of the plan in turn, each with a record and a protocol of its own.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "detection/progress.h"
#include "detection/simulation_plan.h"
#include "detection/stepwise_protocol.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// The protocols of a run: every worker, and the caller's record, gets one of
// its own, made on the calling thread.
struct RunProtocols {
    base::MessageSink& sink;
    uint16_t seriesType = 0, task = 0, mMax = 0;

    // Empty when memory is short.
    StepwiseProtocolPtr make() const;

    // A worker never runs without its protocol: throws std::bad_alloc
    // when memory is short.
    StepwiseProtocolPtr forWorker() const;
};

// Progress of a run, told from the calling thread only, at most ten times a
// second, between its series and while it waits for the others. A callback
// that answers false stops the run.
class RunProgress {
  public:
    RunProgress(const ProgressCallback& progress, uint64_t share) : progress_(progress), share_(share) {}

    void tell();

    // The last word, once every series has run, whenever it was told before.
    void tellEnd();

    std::atomic<bool> stop{false};  // set by the calling thread (or a worker short of memory), asked between series
    std::atomic<uint64_t> done{0};  // series finished, counted by every worker, told by the calling thread

  private:
    const ProgressCallback& progress_;
    uint64_t share_;
    std::chrono::steady_clock::time_point lastTold_ = std::chrono::steady_clock::now() - std::chrono::seconds(1);
};

// Runs the pooled chunks [0, pooled) on the calling thread and up to
// threads - 1 helpers, each with a copy of `series` and a protocol of its
// own. A chunk that failed keeps the state and record its failing series
// left. A helper that cannot be had leaves its share to the others. Memory
// that runs short outside a series (a worker's state, a fresh record) stops
// every worker; once all have ended, std::bad_alloc reaches the caller as it
// would on one thread, and nothing of the caller's has changed.
void runPooled(const Grid& g, std::vector<Chunk>& chunks, size_t pooled, const StartPlan& plan,
               const synthesis::SeriesHeader& series, unsigned threads, RunProgress& progress,
               const RunProtocols& protocols);

}  // namespace detection
