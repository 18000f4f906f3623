#pragma once
// A global allocator for test programs that can make one chosen allocation
// fail. Linking this library into a test program replaces every form of
// operator new and delete of that program (plain, array, nothrow, aligned);
// programs that do not link it keep the standard allocator.
//
// Only allocations through operator new are counted and failed; malloc
// called directly by C libraries is not. Each block carries its size in a
// header in front of it, so that the bytes held can be followed.

#include <cstdint>
#include <functional>
#include <new>

namespace test_support {

// The n-th allocation from now (0: the very next one) fails: the throwing
// forms throw std::bad_alloc, the nothrow forms return nullptr. One failure
// only; the allocations after it succeed again.
void failAllocationAfter(uint64_t n);
// From here on no allocation fails.
void disarmAllocationFailure();
// Whether the armed failure has been delivered since the last
// failAllocationAfter.
bool allocationFailureHappened();
// Allocations made through operator new since the program started; the
// difference of two readings counts what happened in between.
uint64_t allocationCount();
inline uint64_t allocationsSince(uint64_t mark) { return allocationCount() - mark; }

// Bytes asked of operator new and not given back yet, and the most of them
// at once since the last resetPeakBytes() (which starts the peak again from
// what is held then). Counted in every scope, uncounted ones too.
uint64_t liveBytes();
uint64_t peakBytes();
void resetPeakBytes();

// While one of these lives, allocations are neither counted nor failed:
// the set-up and the inspection a test does inside a counted action.
class UncountedAllocations {
  public:
    UncountedAllocations();
    ~UncountedAllocations();
    UncountedAllocations(const UncountedAllocations&) = delete;
    UncountedAllocations& operator=(const UncountedAllocations&) = delete;
};

// What a sweep did: the allocations of the undisturbed run, and the runs
// whose failing allocation was really reached.
struct AllocationSweep {
    uint64_t allocations = 0;
    uint64_t failuresDelivered = 0;
};

// One failing run as the check sees it.
struct AllocationFailure {
    uint64_t index = 0;      // the allocation that was made to fail (0-based)
    bool delivered = false;  // the action reached it
    bool escaped = false;    // std::bad_alloc left the action
};

// Runs `prepare` then `action` once undisturbed, counting the allocations of
// `action`; then for every k below that count runs `prepare` (undisturbed)
// and `action` with its k-th allocation failing, and calls `check`. The
// failure is disarmed before `check` runs, so what the check allocates (the
// test framework's own records included) is neither counted nor failed.
AllocationSweep forEachAllocationFailure(const std::function<void()>& prepare, const std::function<void()>& action,
                                         const std::function<void(const AllocationFailure&)>& check);
inline AllocationSweep forEachAllocationFailure(const std::function<void()>& action,
                                                const std::function<void(const AllocationFailure&)>& check)
{
    return forEachAllocationFailure([] {}, action, check);
}

}  // namespace test_support
