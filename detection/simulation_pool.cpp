#include "detection/simulation_pool.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace detection {

StepwiseProtocolPtr RunProtocols::make() const
{
    StepwiseProtocolPtr protocol = getStepwiseProtocol(7, mMax, nullptr);
    if (protocol)
        addTolpStepwiseProtocol(sink, seriesType, task, protocol.get());
    return protocol;
}

StepwiseProtocolPtr RunProtocols::forWorker() const
{
    StepwiseProtocolPtr protocol = make();
    if (!protocol)
        throw std::bad_alloc();
    return protocol;
}

void RunProgress::tell()
{
    if (!progress_ || stop)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTold_ < std::chrono::milliseconds(100))
        return;
    lastTold_ = now;
    if (!progress_(done.load(), share_))
        stop = true;
}

void RunProgress::tellEnd()
{
    if (progress_ && !stop && !progress_(done.load(), share_))
        stop = true;
}

void runPooled(const Grid& g, std::vector<Chunk>& chunks, size_t pooled, const StartPlan& plan,
               const synthesis::SeriesHeader& series, unsigned threads, RunProgress& progress,
               const RunProtocols& protocols)
{
    std::atomic<size_t> nextChunk{0};
    std::atomic<unsigned> working{0};
    std::mutex waiting;
    std::condition_variable finished;
    auto tell = [&] { progress.tell(); };
    // A worker's run: chunks taken in order until none is left or the run stops.
    auto runChunks = [&](synthesis::SeriesHeaderPtr& record, StepwiseProtocol* own, bool caller) {
        for (size_t k = nextChunk++; k < pooled && !progress.stop; k = nextChunk++) {
            Chunk& c = chunks[k];
            SeriesState state = plan.at(c.from);
            std::vector<int64_t> sum(1, 0);
            c.failed =
                !runSeries(g, c.from, c.to, state, record, own, c.messages, SeriesWork::Whole, sum, g.cellOf(c.from),
                           &progress.stop, &progress.done, caller ? std::function<void()>(tell) : nullptr);
            c.sum = sum[0];
            if (c.failed) {
                c.after = state;
                c.record = std::move(record);
                record = std::make_unique<synthesis::SeriesHeader>(series);
            }
        }
    };
    std::exception_ptr shortage;  // the first worker's; rethrown on the calling thread
    std::mutex shortageLock;
    auto work = [&](synthesis::SeriesHeaderPtr record, StepwiseProtocolPtr own, bool caller) {
        try {
            runChunks(record, own.get(), caller);
        } catch (...) {
            std::lock_guard lock(shortageLock);
            if (!shortage)
                shortage = std::current_exception();
            progress.stop = true;
        }
        {
            std::lock_guard lock(waiting);
            --working;
        }
        finished.notify_all();
    };
    // The caller's own record and protocol are had before any helper starts,
    // so that a shortage leaves no thread running.
    synthesis::SeriesHeaderPtr callerRecord = std::make_unique<synthesis::SeriesHeader>(series);
    StepwiseProtocolPtr callerProtocol = protocols.forWorker();
    std::vector<std::thread> pool;
    const unsigned helpers = static_cast<unsigned>(std::min<size_t>(threads - 1, pooled));
    working = helpers + 1;
    try {
        for (unsigned k = 0; k < helpers; ++k)
            pool.emplace_back(work, std::make_unique<synthesis::SeriesHeader>(series), protocols.forWorker(), false);
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones running share the work.
        working -= helpers - static_cast<unsigned>(pool.size());
    } catch (const std::bad_alloc&) {
        // No memory for another worker's record or protocol: the same.
        working -= helpers - static_cast<unsigned>(pool.size());
    }
    work(std::move(callerRecord), std::move(callerProtocol), true);
    {
        std::unique_lock lock(waiting);
        while (working.load() > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            progress.tell();
            lock.lock();
        }
    }
    for (std::thread& t : pool)
        t.join();
    if (shortage)
        std::rethrow_exception(shortage);
}

}  // namespace detection
