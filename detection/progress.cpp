#include "detection/progress.h"

#include <algorithm>
#include <utility>

namespace detection {

namespace {

__extension__ typedef unsigned __int128 Wide;

}  // namespace

WorkMeter::WorkMeter(ProgressCallback callback, uint64_t total)
    : callback_(std::move(callback)), total_(std::max<uint64_t>(total, 1))
{
    if (callback_)
        nextLook_ = 0;
}

bool WorkMeter::report()
{
    if (stopped_)
        return false;
    if (!callback_)
        return true;
    nextLook_ = done_ + kLookEvery;
    if (!callback_(std::min(done_, total_ - 1), total_))
        stopped_ = true;
    return !stopped_;
}

bool WorkMeter::finish()
{
    if (stopped_)
        return false;
    if (callback_ && !callback_(total_, total_))
        stopped_ = true;
    nextLook_ = std::numeric_limits<uint64_t>::max();
    return !stopped_;
}

ProgressCallback WorkMeter::share(uint64_t units, bool last)
{
    if (!callback_)
        return {};
    return [this, units, last, counted = uint64_t{0}](uint64_t done, uint64_t total) mutable {
        if (last && total > 0 && done >= total)
            return finish();
        // Wide enough for any product of two 64-bit counts.
        const Wide part = total > 0 ? Wide{units} * std::min(done, total) / total : 0;
        const auto reached = static_cast<uint64_t>(part);
        done_ += reached > counted ? reached - counted : 0;
        counted = std::max(counted, reached);
        return report();
    };
}

}  // namespace detection
