// The work pulse a view fills with a computed shape: made to its length with
// copied or zero samples, released whether or not it exists, and refused with
// the system's message when memory runs out, leaving nothing allocated.

#include <gtest/gtest.h>

#include "support/failing_allocator.h"
#include "views/drawing_primitives.h"

using test_support::disarmAllocationFailure;
using test_support::failAllocationAfter;

namespace {

TEST(WorkPulse, HoldsItsLengthNumberAndSamples)
{
    base::MessageRecorder sink;
    const std::vector<int16_t> given{3, -4, 5, 6};
    views::PulseHeaderPtr copied = views::createPulseHeader(sink, 4, 9, given);
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->wAllocSize, 4);
    EXPECT_EQ(copied->wSize, 4);
    EXPECT_EQ(copied->wNumber, 9);
    EXPECT_EQ(copied->lpData, given);

    views::PulseHeaderPtr zero = views::createPulseHeader(sink, 20, 0);
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->lpData, std::vector<int16_t>(20, 0));

    // Fewer samples than the length: the rest is zero, nothing is read past them.
    views::PulseHeaderPtr partial = views::createPulseHeader(sink, 6, 1, given);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->lpData, (std::vector<int16_t>{3, -4, 5, 6, 0, 0}));
    EXPECT_TRUE(sink.messages.empty());

    copied = views::freePulseHeader(std::move(copied));
    EXPECT_FALSE(copied);
    EXPECT_FALSE(views::freePulseHeader(nullptr));
}

TEST(WorkPulse, ReportsAShortageAndLeavesNothingAllocated)
{
    base::MessageRecorder sink;
    failAllocationAfter(0);  // the record itself
    views::PulseHeaderPtr none = views::createPulseHeader(sink, 20, 0);
    disarmAllocationFailure();
    EXPECT_FALSE(none);

    failAllocationAfter(1);  // the samples
    views::PulseHeaderPtr noSamples = views::createPulseHeader(sink, 20, 0);
    disarmAllocationFailure();
    EXPECT_FALSE(noSamples);

    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "Нет памяти для newPulseHeader!");
    EXPECT_EQ(sink.messages[0].caption, "");
    EXPECT_EQ(sink.messages[1].text, "Нет памяти для newPulseHeader->lpData!");
    EXPECT_EQ(sink.messages[1].caption, "");
    // The leak checker of the sanitizer build would report the record had it stayed.
}

}  // namespace
