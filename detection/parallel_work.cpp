#include "detection/parallel_work.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace detection {

unsigned usableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

bool runTasks(size_t count, unsigned threads, WorkMeter& outer,
              const std::function<void(size_t task, WorkMeter& meter)>& task)
{
    if (threads == 0)
        threads = usableProcessors();
    threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(count, 1)));

    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> units{0};
    std::atomic<unsigned> running{threads};
    std::mutex lock;
    std::condition_variable ended;
    std::exception_ptr failure;

    auto work = [&] {
        try {
            // The task's meter passes its units on and hears the stop.
            uint64_t seen = 0;
            WorkMeter meter(
                [&](uint64_t done, uint64_t) {
                    units += done - seen;
                    seen = done;
                    return !stop.load();
                },
                std::numeric_limits<uint64_t>::max());
            for (size_t i = next++; i < count && !stop; i = next++) {
                task(i, meter);
                meter.report();
            }
        } catch (...) {
            std::lock_guard<std::mutex> guard(lock);
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
        std::lock_guard<std::mutex> guard(lock);
        --running;
        ended.notify_all();
    };

    std::vector<std::thread> helpers;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (...) {
            // A thread that cannot be had leaves its share to the others.
            std::lock_guard<std::mutex> guard(lock);
            --running;
        }
    }
    if (helpers.empty()) {
        running = 1;
        work();
        if (!stop && !outer.advance(units.load()))
            stop = true;
    } else {
        uint64_t told = 0;
        std::unique_lock<std::mutex> guard(lock);
        while (running > 0) {
            ended.wait_for(guard, std::chrono::milliseconds(20));
            const uint64_t now = units.load();
            guard.unlock();
            if (!stop && !outer.advance(now - told))
                stop = true;
            told = now;
            guard.lock();
        }
    }
    for (std::thread& t : helpers)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    return !stop && !outer.stopped();
}

}  // namespace detection
