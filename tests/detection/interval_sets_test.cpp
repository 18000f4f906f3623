// Interval sets against a per-sample model: every sample carries the label of
// the interval holding it, so merging, splitting and the "touching intervals
// stay apart" rule are checked without the set's own algorithms.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "detection/interval_sets.h"

namespace {

using Intervals = std::vector<std::pair<int, int>>;

Intervals intervalsOf(const detection::IntervalSet& s)
{
    Intervals out;
    for (int k = 0; k < s.wCount; ++k)
        out.emplace_back(s.lpStarts[k], s.lpEnds[k]);
    return out;
}

detection::IntervalSetPtr makeSet(uint16_t capacity, const Intervals& intervals)
{
    detection::IntervalSetPtr s = detection::getIntervalSet(nullptr, capacity);
    for (auto [a, b] : intervals)
        EXPECT_EQ(detection::addInterval(s.get(), static_cast<uint16_t>(a), static_cast<uint16_t>(b)), 1);
    return s;
}

// A set as one label per sample of [base, base + size): 0 outside the set,
// else the number of the interval. An interval is a run of one label.
struct Model {
    int base = 0;
    int capacity = 0;
    std::vector<int> label;
    int nextLabel = 1;

    Model(int b, int size, int cap) : base(b), capacity(cap), label(size, 0) {}

    Intervals intervals() const
    {
        Intervals out;
        for (int i = 0; i < static_cast<int>(label.size()); ++i) {
            if (label[i] == 0)
                continue;
            if (i > 0 && label[i - 1] == label[i])
                out.back().second = base + i;
            else
                out.emplace_back(base + i, base + i);
        }
        return out;
    }
    int count() const { return static_cast<int>(intervals().size()); }

    int add(int a, int b)
    {
        if (b < a)
            return 0;
        std::set<int> hit;
        for (int i = a; i <= b; ++i)
            if (label[i - base])
                hit.insert(label[i - base]);
        if (hit.empty() && count() >= capacity)
            return 0;
        const int id = nextLabel++;
        for (int& l : label)
            if (hit.count(l))
                l = id;
        for (int i = a; i <= b; ++i)
            label[i - base] = id;
        return 1;
    }

    int remove(int a, int b)
    {
        if (b < a)
            return 0;
        std::vector<int> next = label;
        for (int i = a; i <= b; ++i)
            next[i - base] = 0;
        // A run cut in two gets a label of its own for the right part.
        for (int i = b + 1 - base; i < static_cast<int>(next.size()); ++i) {
            const int l = next[i];
            if (l == 0)
                continue;
            bool leftPart = false;
            for (int j = 0; j < a - base; ++j)
                leftPart = leftPart || next[j] == l;
            if (!leftPart)
                break;
            const int id = nextLabel++;
            for (int j = i; j < static_cast<int>(next.size()) && next[j] == l; ++j)
                next[j] = id;
            break;
        }
        std::swap(next, label);
        const int grown = count();
        if (grown > capacity) {
            std::swap(next, label);
            return 0;
        }
        return 1;
    }

    void clip(int c, int d)
    {
        for (int i = 0; i < static_cast<int>(label.size()); ++i)
            if (base + i < c || base + i > d)
                label[i] = 0;
    }

    void intersect(const Intervals& other)
    {
        const Intervals old = intervals();
        std::fill(label.begin(), label.end(), 0);
        int stored = 0;
        for (auto [s, e] : other)
            for (auto [a, b] : old) {
                const int lo = std::max(a, s), hi = std::min(b, e);
                if (lo > hi || stored >= capacity)
                    continue;
                const int id = nextLabel++;
                for (int i = lo; i <= hi; ++i)
                    label[i - base] = id;
                ++stored;
            }
    }
};

std::string show(const Intervals& v)
{
    std::string out;
    for (auto [a, b] : v) {
        out += '[';
        out += std::to_string(a);
        out += ',';
        out += std::to_string(b);
        out += ']';
    }
    return out.empty() ? "{}" : out;
}

void expectSorted(const detection::IntervalSet& s)
{
    ASSERT_LE(s.wCount, s.wCapacity);
    ASSERT_EQ(s.lpStarts.size(), s.wCapacity);
    ASSERT_EQ(s.lpEnds.size(), s.wCapacity);
    for (int k = 0; k < s.wCount; ++k) {
        ASSERT_LE(s.lpStarts[k], s.lpEnds[k]);
        if (k > 0) {
            ASSERT_LT(s.lpEnds[k - 1], s.lpStarts[k]);
        }
    }
}

// Random operation sequences in a window of `size` samples from `base`.
void runRandomSequences(int base, int size, unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto randomRange = [&]() {
        int a = base + pick(0, size - 1), b = base + pick(0, size - 1);
        if (pick(0, 9) == 0)
            std::swap(a, b);  // sometimes reversed: refused
        else if (a > b)
            std::swap(a, b);
        return std::pair{a, b};
    };
    auto randomOther = [&](int cap) {
        Model m(base, size, cap);
        detection::IntervalSetPtr s = detection::getIntervalSet(nullptr, static_cast<uint16_t>(cap));
        for (int i = pick(0, 5); i > 0; --i) {
            auto [a, b] = randomRange();
            if (a <= b) {
                m.add(a, b);
                detection::addInterval(s.get(), static_cast<uint16_t>(a), static_cast<uint16_t>(b));
            }
        }
        return std::pair{std::move(m), std::move(s)};
    };

    int failures = 0, refusals = 0;
    for (int sequence = 0; sequence < 1500; ++sequence) {
        const int capacity = pick(1, 6);
        Model model(base, size, capacity);
        detection::IntervalSetPtr set = detection::getIntervalSet(nullptr, static_cast<uint16_t>(capacity));
        std::string history;
        for (int step = 0; step < 30; ++step) {
            const Intervals before = intervalsOf(*set);
            const int op = pick(0, 7);
            auto [a, b] = randomRange();
            const auto ua = static_cast<uint16_t>(a), ub = static_cast<uint16_t>(b);
            int expected = 1, got = 1;
            switch (op) {
            case 0:
            case 1:
                history += " add" + show({{a, b}});
                expected = model.add(a, b);
                got = detection::addInterval(set.get(), ua, ub);
                break;
            case 2:
            case 3:
                history += " remove" + show({{a, b}});
                expected = model.remove(a, b);
                got = detection::removeInterval(set.get(), ua, ub);
                break;
            case 4:
                history += " clip" + show({{a, b}});
                expected = b < a ? 0 : 1;
                if (expected)
                    model.clip(a, b);
                got = detection::clipIntervalSet(set.get(), ua, ub);
                break;
            case 5: {
                auto [om, os] = randomOther(pick(1, 6));
                history += " unite" + show(om.intervals());
                for (auto [s, e] : om.intervals())
                    model.add(s, e);
                got = detection::uniteIntervalSets(set.get(), os.get());
                break;
            }
            case 6: {
                auto [om, os] = randomOther(pick(1, 6));
                history += " subtract" + show(om.intervals());
                for (auto [s, e] : om.intervals())
                    model.remove(s, e);
                got = detection::subtractIntervalSets(set.get(), os.get());
                break;
            }
            case 7: {
                auto [om, os] = randomOther(pick(1, 6));
                history += " intersect" + show(om.intervals());
                model.intersect(om.intervals());
                got = detection::intersectIntervalSets(set.get(), os.get());
                break;
            }
            }
            SCOPED_TRACE("capacity " + std::to_string(capacity) + ":" + history);
            ASSERT_EQ(got, expected);
            ASSERT_NO_FATAL_FAILURE(expectSorted(*set));
            ASSERT_EQ(show(intervalsOf(*set)), show(model.intervals()));
            if (got == 0) {
                ASSERT_EQ(show(intervalsOf(*set)), show(before)) << "a failed call changes nothing";
                (b < a ? refusals : failures) += 1;
            }
        }
    }
    // The sequences must really reach the full-set failures and refusals.
    EXPECT_GT(failures, 100);
    EXPECT_GT(refusals, 100);
}

}  // namespace

TEST(IntervalSetAlgebra, MatchesPerSampleModelOverRandomSequences)
{
    runRandomSequences(0, 40, 1);
    runRandomSequences(5, 12, 2);
}

TEST(IntervalSetAlgebra, MatchesModelAtTopOfSixteenBitRange)
{
    // Ends at 65535: b + 1 and a - 1 must not wrap.
    runRandomSequences(65535 - 29, 30, 3);
}

TEST(IntervalSetAlgebra, UnionsMergeOverlapsButNotNeighbours)
{
    detection::IntervalSetPtr s = makeSet(4, {{0, 5}, {20, 30}});
    ASSERT_EQ(detection::addInterval(s.get(), 3, 10), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,10][20,30]");
    ASSERT_EQ(detection::addInterval(s.get(), 25, 40), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,10][20,40]");

    s = makeSet(4, {{5, 8}, {12, 15}, {40, 50}});
    ASSERT_EQ(detection::addInterval(s.get(), 2, 20), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[2,20][40,50]");

    s = makeSet(4, {{0, 5}});
    ASSERT_EQ(detection::addInterval(s.get(), 6, 9), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,5][6,9]") << "touching intervals stay apart";
    ASSERT_EQ(detection::addInterval(s.get(), 5, 6), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,9]") << "an overlap of both merges all three";
}

TEST(IntervalSetAlgebra, RemovalsTrimAndSplitAndClipsCut)
{
    detection::IntervalSetPtr s = makeSet(2, {{0, 10}});
    ASSERT_EQ(detection::removeInterval(s.get(), 4, 6), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,3][7,10]");

    s = makeSet(2, {{0, 10}});
    ASSERT_EQ(detection::removeInterval(s.get(), 10, 12), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,9]");
    s = makeSet(2, {{0, 10}});
    ASSERT_EQ(detection::removeInterval(s.get(), 0, 10), 1);
    EXPECT_EQ(s->wCount, 0);

    // A full set cannot be split.
    s = makeSet(1, {{0, 10}});
    EXPECT_EQ(detection::removeInterval(s.get(), 4, 6), 0);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,10]");

    s = makeSet(3, {{0, 5}, {8, 20}});
    ASSERT_EQ(detection::clipIntervalSet(s.get(), 3, 10), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[3,5][8,10]");
}

TEST(IntervalSetAlgebra, MissingSetsAndReversedRangesAreRefused)
{
    detection::IntervalSetPtr s = makeSet(3, {{4, 9}});
    detection::IntervalSetPtr empty = detection::getIntervalSet(nullptr, 3);
    EXPECT_EQ(detection::addInterval(nullptr, 1, 2), 0);
    EXPECT_EQ(detection::removeInterval(nullptr, 1, 2), 0);
    EXPECT_EQ(detection::clipIntervalSet(nullptr, 1, 2), 0);
    EXPECT_EQ(detection::addInterval(s.get(), 7, 6), 0);
    EXPECT_EQ(detection::removeInterval(s.get(), 7, 6), 0);
    EXPECT_EQ(detection::clipIntervalSet(s.get(), 7, 6), 0);
    EXPECT_EQ(detection::uniteIntervalSets(s.get(), nullptr), 0);
    EXPECT_EQ(detection::uniteIntervalSets(nullptr, s.get()), 0);
    EXPECT_EQ(detection::subtractIntervalSets(s.get(), nullptr), 0);
    EXPECT_EQ(detection::intersectIntervalSets(nullptr, s.get()), 0);
    EXPECT_EQ(show(intervalsOf(*s)), "[4,9]");

    ASSERT_EQ(detection::intersectIntervalSets(s.get(), empty.get()), 1);
    EXPECT_EQ(s->wCount, 0) << "intersecting with an empty set empties it";
}

TEST(IntervalSetAlgebra, ASetCombinedWithItself)
{
    detection::IntervalSetPtr s = makeSet(4, {{0, 3}, {4, 6}, {10, 12}, {20, 20}});
    ASSERT_EQ(detection::uniteIntervalSets(s.get(), s.get()), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,3][4,6][10,12][20,20]");
    ASSERT_EQ(detection::intersectIntervalSets(s.get(), s.get()), 1);
    EXPECT_EQ(show(intervalsOf(*s)), "[0,3][4,6][10,12][20,20]");
    ASSERT_EQ(detection::subtractIntervalSets(s.get(), s.get()), 1);
    EXPECT_EQ(s->wCount, 0);
}

TEST(IntervalSetRecord, CopyTakesTheSourcesCapacity)
{
    detection::IntervalSetPtr source = makeSet(6, {{1, 2}, {7, 9}, {11, 11}});
    detection::IntervalSetPtr small = makeSet(2, {{40, 41}});
    detection::IntervalSetPtr copy = detection::copyIntervalSet(std::move(small), source.get());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->wCapacity, 6);
    EXPECT_EQ(show(intervalsOf(*copy)), "[1,2][7,9][11,11]");

    detection::IntervalSetPtr large = makeSet(9, {{40, 41}});
    const detection::IntervalSet* address = large.get();
    copy = detection::copyIntervalSet(std::move(large), source.get());
    EXPECT_EQ(copy.get(), address);
    EXPECT_EQ(copy->wCapacity, 9);
    EXPECT_EQ(show(intervalsOf(*copy)), "[1,2][7,9][11,11]");

    // A capacity of one less than needed drops the last parts of an
    // intersection, in order.
    detection::IntervalSetPtr target = makeSet(2, {{0, 30}});
    detection::IntervalSetPtr cuts = makeSet(4, {{1, 2}, {5, 6}, {9, 10}});
    ASSERT_EQ(detection::intersectIntervalSets(target.get(), cuts.get()), 1);
    EXPECT_EQ(show(intervalsOf(*target)), "[1,2][5,6]");
}
