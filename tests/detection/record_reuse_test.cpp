// Every record's get function against one rule: a record passed in that is
// large enough is kept at its address and capacity and cleared; one too small
// is replaced by one of the size asked; the free functions take an empty
// pointer and empty the one they release.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "detection/interval_sets.h"
#include "detection/pulse_count_ranking.h"
#include "detection/statistical_simulation.h"
#include "detection/stepwise_protocol.h"
#include "detection/unfixed_case_detection.h"
#include "synthesis/series_synthesis.h"
#include "synthesis/synthesis_fixture.h"

namespace {

// Per record: get(size, record) for the sizes Medium, Smaller and Larger; the
// capacity it holds; a mark of use that a cleared record no longer shows;
// the cells of its arrays, which follow the capacity.
enum Size { Medium, Smaller, Larger };

struct IntervalSetRecord {
    using Ptr = detection::IntervalSetPtr;
    static Ptr get(Size s, Ptr p)
    {
        return detection::getIntervalSet(std::move(p), s == Medium ? 5 : s == Smaller ? 3 : 8);
    }
    static int64_t asked(Size s) { return s == Medium ? 5 : s == Smaller ? 3 : 8; }
    static int64_t capacity(const detection::IntervalSet& r) { return r.wCapacity; }
    static int64_t cells(const detection::IntervalSet& r) { return static_cast<int64_t>(r.lpStarts.size()); }
    static void soil(detection::IntervalSet& r)
    {
        detection::addInterval(&r, 1, 2);
        detection::addInterval(&r, 7, 9);
    }
    static bool clean(const detection::IntervalSet& r)
    {
        return r.wCount == 0 && r.lpStarts[1] == 0 && r.lpEnds[1] == 0;
    }
    static void release(Ptr& p) { detection::freeIntervalSet(p); }
};

struct PulseCountTableRecord {
    using Ptr = detection::PulseCountTablePtr;
    // Rows are maximum - minimum + 1; a maximum below the minimum gives
    // maximum + 1 rows.
    static Ptr get(Size s, Ptr p)
    {
        return s == Medium    ? detection::getPulseCountTable(18, 6, 30, std::move(p))
               : s == Smaller ? detection::getPulseCountTable(5, 9, 4, std::move(p))
                              : detection::getPulseCountTable(5, 1, 40, std::move(p));
    }
    static int64_t asked(Size s) { return s == Medium ? 25 : s == Smaller ? 5 : 40; }
    static int64_t capacity(const detection::PulseCountTable& r) { return r.wCapacity; }
    static int64_t cells(const detection::PulseCountTable& r)
    {
        return static_cast<int64_t>(r.lpNoisePerWindow.size());
    }
    static void soil(detection::PulseCountTable& r) { r.lpSquares[3] = 77; }
    static bool clean(const detection::PulseCountTable& r) { return r.lpSquares[3] == 0; }
    static void release(Ptr& p) { detection::freePulseCountTable(p); }
};

struct StepwiseProtocolRecord {
    using Ptr = detection::StepwiseProtocolPtr;
    // The capacity is the width of a row; the rows (8) stay alike.
    static Ptr get(Size s, Ptr p)
    {
        return detection::getStepwiseProtocol(7, static_cast<uint16_t>(asked(s)), std::move(p));
    }
    static int64_t asked(Size s) { return s == Medium ? 30 : s == Smaller ? 20 : 31; }
    static int64_t capacity(const detection::StepwiseProtocol& r) { return r.wWidth; }
    static int64_t cells(const detection::StepwiseProtocol& r)
    {
        return static_cast<int64_t>(r.lpRowPositions[7].size());
    }
    static void soil(detection::StepwiseProtocol& r)
    {
        for (int row = 0; row < 8; ++row)
            ASSERT_EQ(detection::appendProtocolRow(&r, 1, row, row, 0, 3, std::vector<int16_t>{5}), 1);
    }
    static bool clean(const detection::StepwiseProtocol& r)
    {
        for (int row = 0; row < 8; ++row)
            if (r.lpPulses[row] != 0 || r.lpMethod[row] != 0)
                return false;
        return r.wUsed == 0;
    }
    static void release(Ptr& p) { EXPECT_EQ(detection::freeStepwiseProtocol(p), 1); }
};

// The study follows the series it is got for: its capacity is the series'.
struct DetectionStudyRecord {
    using Ptr = detection::DetectionStudyPtr;
    static SynthesisFixture& bench()
    {
        static SynthesisFixture b;
        return b;
    }
    static Ptr get(Size s, Ptr p)
    {
        EXPECT_TRUE(bench().make(static_cast<uint32_t>(asked(s)), s == Medium ? 18 : s == Smaller ? 8 : 30));
        return detection::getDetectionStudy(*bench().series, std::move(p));
    }
    static int64_t asked(Size s) { return s == Medium ? 1200 : s == Smaller ? 600 : 2400; }
    static int64_t capacity(const detection::DetectionStudy& r) { return r.dwCapacity; }
    static int64_t cells(const detection::DetectionStudy& r) { return static_cast<int64_t>(r.lpSpare.size()); }
    static void soil(detection::DetectionStudy& r)
    {
        r.wDetectionMethod = 6;
        base::MessageRecorder sink;
        detection::study01_UnFixedPulseDetection(sink, 40, 181, {}, &r, *bench().series);
        ASSERT_GT(r.wDetectedCounts[0], 0);
    }
    static bool clean(const detection::DetectionStudy& r)
    {
        return r.wDetectedCounts[0] == 0 && r.lPasses == 0 && r.lpDetectedPositions[0][0] == 0 &&
               r.lpEnergies[100] == 0;
    }
    static void release(Ptr& p) { detection::freeDetectionStudy(p); }
};

// The capacity is the reserved pulse values times the reserved levels.
struct RestErrorRecord {
    using Ptr = detection::RestErrorHeaderPtr;
    static Ptr get(Size s, Ptr p)
    {
        base::MessageRecorder sink;
        return s == Medium    ? detection::getRestErrHeader(sink, 5, 10, 100, std::move(p))
               : s == Smaller ? detection::getRestErrHeader(sink, 3, 8, 7, std::move(p))
                              : detection::getRestErrHeader(sink, 4, 12, 7, std::move(p));
    }
    static int64_t asked(Size s) { return s == Medium ? 50 : s == Smaller ? 24 : 48; }
    static int64_t capacity(const detection::RestErrorHeader& r)
    {
        return int64_t{r.wReservedPulses} * r.wReservedLevels;
    }
    static int64_t cells(const detection::RestErrorHeader& r)
    {
        return static_cast<int64_t>(r.lpErrors[3].size() * r.lpErrors[3][0].size());
    }
    static void soil(detection::RestErrorHeader& r)
    {
        r.lpErrors[3][7][2] = 77;
        r.wPulseValues[2] = 8;
    }
    static bool clean(const detection::RestErrorHeader& r)
    {
        return r.lpErrors[3][7][2] == 0 && r.wPulseValues[2] == 0;
    }
    static void release(Ptr& p) { EXPECT_EQ(detection::freeRestErrHeader(p), 1); }
};

// The series record: its capacity is the samples it holds.
struct SeriesRecord {
    using Ptr = synthesis::SeriesHeaderPtr;
    static Ptr get(Size s, Ptr p)
    {
        base::MessageRecorder sink;
        return synthesis::getCutOffSeriesHeader(sink, 20, 20, 40, 181, static_cast<uint32_t>(asked(s)), std::move(p));
    }
    static int64_t asked(Size s) { return s == Medium ? 1200 : s == Smaller ? 600 : 7200; }
    static int64_t capacity(const synthesis::SeriesHeader& r) { return r.dwSeriesCapacity; }
    static int64_t cells(const synthesis::SeriesHeader& r) { return static_cast<int64_t>(r.lpPureData.size()); }
    // A re-used series keeps its samples (past the new length too); its
    // layout is set anew.
    static void soil(synthesis::SeriesHeader& r) { r.wTmin = 7; }
    static bool clean(const synthesis::SeriesHeader& r) { return r.wTmin == 40; }
    static void release(Ptr& p) { EXPECT_EQ(synthesis::freeSeriesHeader(p), 1); }
};

template <class Record>
class RecordReuse : public ::testing::Test {
};

using Records = ::testing::Types<IntervalSetRecord, PulseCountTableRecord, StepwiseProtocolRecord, DetectionStudyRecord,
                                 RestErrorRecord, SeriesRecord>;
TYPED_TEST_SUITE(RecordReuse, Records);

}  // namespace

TYPED_TEST(RecordReuse, KeepsALargeEnoughRecordClearedAndReplacesASmallOne)
{
    using R = TypeParam;
    typename R::Ptr p = R::get(Medium, nullptr);
    ASSERT_TRUE(p);
    EXPECT_EQ(R::capacity(*p), R::asked(Medium));
    EXPECT_EQ(R::cells(*p), R::asked(Medium));
    R::soil(*p);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    ASSERT_FALSE(R::clean(*p)) << "the mark of use must show";

    const auto* address = p.get();
    p = R::get(Smaller, std::move(p));
    ASSERT_EQ(p.get(), address) << "large enough: re-used";
    EXPECT_EQ(R::capacity(*p), R::asked(Medium)) << "a re-used record keeps its larger capacity";
    EXPECT_TRUE(R::clean(*p));

    p = R::get(Larger, std::move(p));
    ASSERT_TRUE(p);
    EXPECT_EQ(R::capacity(*p), R::asked(Larger)) << "too small: made anew at the size asked";
    EXPECT_EQ(R::cells(*p), R::asked(Larger));
    EXPECT_TRUE(R::clean(*p));

    typename R::Ptr none;
    R::release(none);
    R::release(p);
    EXPECT_FALSE(p);
}
