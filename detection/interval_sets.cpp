#include "detection/interval_sets.h"

#include <algorithm>
#include <new>

namespace detection {

namespace {

// Moves the intervals [from, count) to start at `to` (either direction) and
// sets the new count.
void moveTail(IntervalSet& s, int from, int to)
{
    const int count = s.wCount;
    if (from == to)
        return;
    if (to < from) {
        for (int k = from; k < count; ++k) {
            s.lpStarts[to + k - from] = s.lpStarts[k];
            s.lpEnds[to + k - from] = s.lpEnds[k];
        }
    } else {
        for (int k = count - 1; k >= from; --k) {
            s.lpStarts[to + k - from] = s.lpStarts[k];
            s.lpEnds[to + k - from] = s.lpEnds[k];
        }
    }
    s.wCount = static_cast<uint16_t>(count + to - from);
}

// Index of the first interval whose end is >= a, or wCount when none is.
int firstEndingFrom(const IntervalSet& s, uint16_t a)
{
    int j = 0;
    while (j < s.wCount && s.lpEnds[j] < a)
        ++j;
    return j;
}

}  // namespace

IntervalSetPtr getIntervalSet(IntervalSetPtr set, uint16_t capacity)
{
    try {
        if (!set)
            set = std::make_unique<IntervalSet>();
        if (set->wCapacity < capacity || set->lpStarts.size() < set->wCapacity || set->lpEnds.size() < set->wCapacity) {
            set->wCapacity = 0;
            set->wCount = 0;
            set->lpStarts.clear();
            set->lpEnds.clear();
            set->lpStarts.shrink_to_fit();
            set->lpEnds.shrink_to_fit();
            set->lpStarts.assign(capacity, 0);
            set->lpEnds.assign(capacity, 0);
            set->wCapacity = capacity;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    set->wCount = 0;
    std::fill(set->lpStarts.begin(), set->lpStarts.end(), uint16_t{0});
    std::fill(set->lpEnds.begin(), set->lpEnds.end(), uint16_t{0});
    return set;
}

void freeIntervalSet(IntervalSetPtr& set) { set.reset(); }

int addInterval(IntervalSet* set, uint16_t a, uint16_t b)
{
    if (!set || b < a)
        return 0;
    IntervalSet& s = *set;
    const int count = s.wCount;
    const int j = firstEndingFrom(s, a);

    if (j == count) {
        if (count >= s.wCapacity)
            return 0;
        s.lpStarts[count] = a;
        s.lpEnds[count] = b;
        s.wCount = static_cast<uint16_t>(count + 1);
        return 1;
    }
    if (b < s.lpStarts[j]) {
        if (count >= s.wCapacity)
            return 0;
        moveTail(s, j, j + 1);
        s.lpStarts[j] = a;
        s.lpEnds[j] = b;
        return 1;
    }

    // [a, b] shares a sample with interval j; swallow every later interval
    // that shares one too. One that only touches b stays apart.
    const uint16_t mergedStart = std::min(a, s.lpStarts[j]);
    uint16_t mergedEnd = b;
    int k = j;
    while (k < count) {
        if (s.lpStarts[k] > b)
            break;
        if (s.lpEnds[k] > b) {
            mergedEnd = s.lpEnds[k];
            ++k;
            break;
        }
        ++k;
    }
    s.lpStarts[j] = mergedStart;
    s.lpEnds[j] = mergedEnd;
    moveTail(s, k, j + 1);
    return 1;
}

int removeInterval(IntervalSet* set, uint16_t a, uint16_t b)
{
    if (!set || b < a)
        return 0;
    IntervalSet& s = *set;
    const int count = s.wCount;

    // Drops the intervals from `first` on that end at or before b, trims the
    // one reaching beyond b, and closes the gap at `keep`.
    auto dropThrough = [&](int first, int keep) {
        int k = first;
        while (k < count && s.lpEnds[k] <= b)
            ++k;
        if (k < count && s.lpStarts[k] <= b)
            s.lpStarts[k] = static_cast<uint16_t>(b + 1);
        moveTail(s, k, keep);
    };

    for (int j = 0; j < count; ++j) {
        if (a <= s.lpStarts[j]) {
            if (b < s.lpStarts[j])
                return 1;
            if (b < s.lpEnds[j]) {
                s.lpStarts[j] = static_cast<uint16_t>(b + 1);
                return 1;
            }
            dropThrough(j, j);
            return 1;
        }
        if (a <= s.lpEnds[j]) {
            if (b < s.lpEnds[j]) {
                if (count >= s.wCapacity)
                    return 0;
                const uint16_t end = s.lpEnds[j];
                moveTail(s, j + 1, j + 2);
                s.lpEnds[j] = static_cast<uint16_t>(a - 1);
                s.lpStarts[j + 1] = static_cast<uint16_t>(b + 1);
                s.lpEnds[j + 1] = end;
                return 1;
            }
            s.lpEnds[j] = static_cast<uint16_t>(a - 1);
            dropThrough(j + 1, j + 1);
            return 1;
        }
    }
    return 1;
}

int clipIntervalSet(IntervalSet* set, uint16_t c, uint16_t d)
{
    if (!set || d < c)
        return 0;
    IntervalSet& s = *set;
    moveTail(s, firstEndingFrom(s, c), 0);
    if (s.wCount == 0)
        return 1;
    if (s.lpStarts[0] < c)
        s.lpStarts[0] = c;
    for (int k = 0; k < s.wCount; ++k) {
        if (s.lpStarts[k] > d) {
            s.wCount = static_cast<uint16_t>(k);
            break;
        }
        if (s.lpEnds[k] > d) {
            s.lpEnds[k] = d;
            s.wCount = static_cast<uint16_t>(k + 1);
            break;
        }
    }
    return 1;
}

IntervalSetPtr copyIntervalSet(IntervalSetPtr target, const IntervalSet* source)
{
    if (!source)
        return target;
    target = getIntervalSet(std::move(target), source->wCapacity);
    if (!target)
        return nullptr;
    target->wCount = source->wCount;
    std::copy_n(source->lpStarts.begin(), source->wCount, target->lpStarts.begin());
    std::copy_n(source->lpEnds.begin(), source->wCount, target->lpEnds.begin());
    return target;
}

int uniteIntervalSets(IntervalSet* set, const IntervalSet* other)
{
    if (!set || !other)
        return 0;
    // Uniting a set with itself changes nothing; the loop below would read
    // intervals while they merge.
    if (set == other)
        return 1;
    for (int k = 0; k < other->wCount; ++k)
        addInterval(set, other->lpStarts[k], other->lpEnds[k]);
    return 1;
}

int subtractIntervalSets(IntervalSet* set, const IntervalSet* other)
{
    if (!set || !other)
        return 0;
    // Removing from the set the intervals it is losing would skip every
    // second one; a set minus itself is empty.
    if (set == other) {
        set->wCount = 0;
        return 1;
    }
    for (int k = 0; k < other->wCount; ++k)
        removeInterval(set, other->lpStarts[k], other->lpEnds[k]);
    return 1;
}

int intersectIntervalSets(IntervalSet* set, const IntervalSet* other)
{
    if (!set || !other)
        return 0;
    IntervalSetPtr before = copyIntervalSet(nullptr, set);
    if (!before)
        return 0;
    // The set is emptied below; with itself as `other` the old intervals are
    // read from the copy.
    const IntervalSet& bounds = (set == other) ? *before : *other;
    set->wCount = 0;
    IntervalSetPtr part;
    for (int k = 0; k < bounds.wCount; ++k) {
        part = copyIntervalSet(std::move(part), before.get());
        if (!part) {
            *set = std::move(*before);
            return 0;
        }
        clipIntervalSet(part.get(), bounds.lpStarts[k], bounds.lpEnds[k]);
        uniteIntervalSets(set, part.get());
    }
    return 1;
}

}  // namespace detection
