// The replacement allocator of the test programs that link it. Every form of
// operator new goes through allocate() and every operator delete through
// release(), so that the forms pair whatever the compiler chooses.

#include "support/failing_allocator.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>

namespace {

// Allocations left before the armed one; kDisarmed when none fails.
constexpr int64_t kDisarmed = -1;
std::atomic<int64_t> allocationsBeforeFailure{kDisarmed};
std::atomic<uint64_t> allocationsMade{0};
std::atomic<bool> failureDelivered{false};
std::atomic<int> uncountedScopes{0};

// True when this allocation is the one to fail.
bool takeFailure()
{
    if (uncountedScopes.load(std::memory_order_relaxed) > 0)
        return false;
    allocationsMade.fetch_add(1, std::memory_order_relaxed);
    int64_t left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allocationsBeforeFailure.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            if (left == 0) {
                failureDelivered.store(true, std::memory_order_relaxed);
                return true;
            }
            return false;
        }
    }
    return false;
}

std::atomic<uint64_t> bytesHeld{0};
std::atomic<uint64_t> bytesPeak{0};

// In front of every block: its size and how far the block's start lies
// before the pointer handed out (at least the header, the alignment when
// that is larger).
struct BlockHeader {
    std::size_t size;
    std::size_t offset;
};
constexpr std::size_t kHeader = 2 * alignof(std::max_align_t);
static_assert(sizeof(BlockHeader) <= kHeader);

void* allocate(std::size_t size, std::size_t alignment) noexcept
{
    if (takeFailure())
        return nullptr;
    const std::size_t offset = alignment <= kHeader ? kHeader : alignment;
    char* block = nullptr;
    if (alignment <= alignof(std::max_align_t))
        block = static_cast<char*>(std::malloc(size + offset));
    else  // aligned_alloc wants a size that is a multiple of the alignment.
        block =
            static_cast<char*>(std::aligned_alloc(alignment, (size + offset + alignment - 1) / alignment * alignment));
    if (!block)
        return nullptr;
    char* p = block + offset;
    *reinterpret_cast<BlockHeader*>(p - sizeof(BlockHeader)) = {size, offset};
    const uint64_t held = bytesHeld.fetch_add(size, std::memory_order_relaxed) + size;
    uint64_t peak = bytesPeak.load(std::memory_order_relaxed);
    while (held > peak && !bytesPeak.compare_exchange_weak(peak, held, std::memory_order_relaxed)) {
    }
    return p;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    const BlockHeader header = *reinterpret_cast<BlockHeader*>(static_cast<char*>(p) - sizeof(BlockHeader));
    bytesHeld.fetch_sub(header.size, std::memory_order_relaxed);
    std::free(static_cast<char*>(p) - header.offset);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void* p = allocate(size, alignment))
        return p;
    throw std::bad_alloc();
}

}  // namespace

namespace test_support {

void failAllocationAfter(uint64_t n)
{
    failureDelivered.store(false, std::memory_order_relaxed);
    allocationsBeforeFailure.store(static_cast<int64_t>(n), std::memory_order_relaxed);
}

void disarmAllocationFailure() { allocationsBeforeFailure.store(kDisarmed, std::memory_order_relaxed); }

bool allocationFailureHappened() { return failureDelivered.load(std::memory_order_relaxed); }

UncountedAllocations::UncountedAllocations() { uncountedScopes.fetch_add(1, std::memory_order_relaxed); }
UncountedAllocations::~UncountedAllocations() { uncountedScopes.fetch_sub(1, std::memory_order_relaxed); }

uint64_t allocationCount() { return allocationsMade.load(std::memory_order_relaxed); }

uint64_t liveBytes() { return bytesHeld.load(std::memory_order_relaxed); }
uint64_t peakBytes() { return bytesPeak.load(std::memory_order_relaxed); }
void resetPeakBytes() { bytesPeak.store(bytesHeld.load(std::memory_order_relaxed), std::memory_order_relaxed); }

AllocationSweep forEachAllocationFailure(const std::function<void()>& prepare, const std::function<void()>& action,
                                         const std::function<void(const AllocationFailure&)>& check)
{
    AllocationSweep sweep;
    disarmAllocationFailure();
    prepare();
    const uint64_t mark = allocationCount();
    action();
    sweep.allocations = allocationsSince(mark);
    for (uint64_t k = 0; k < sweep.allocations; ++k) {
        prepare();
        AllocationFailure failure;
        failure.index = k;
        failAllocationAfter(k);
        try {
            action();
        } catch (const std::bad_alloc&) {
            failure.escaped = true;
        }
        disarmAllocationFailure();
        failure.delivered = allocationFailureHappened();
        if (failure.delivered)
            ++sweep.failuresDelivered;
        check(failure);
    }
    return sweep;
}

}  // namespace test_support

// The compiler cannot see that these pair malloc with free inside
// replacement operators.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new(std::size_t size, std::align_val_t al)
{
    return allocateOrThrow(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al)
{
    return allocateOrThrow(size, static_cast<std::size_t>(al));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(al));
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

#pragma GCC diagnostic pop
