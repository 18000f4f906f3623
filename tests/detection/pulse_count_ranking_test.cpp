// Pulse-count ranking and the unfixed-case run: the ranked rows against a
// stable sort of every count's fit, ties and the true count's place, and the
// protocol sizes the run must respect.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/pulse_count_ranking.h"
#include "fixed_case_fixture.h"
#include "tests/synthesis/synthesis_fixture.h"

namespace {

int64_t windowSquares(const synthesis::SeriesHeader& s, std::span<const int16_t> positions)
{
    int64_t q = 0;
    for (int16_t p : positions)
        for (int i = 0; i < s.wImpulseSize; ++i)
            q += s.lpSeriesData[p + i] * s.lpSeriesData[p + i];
    return q;
}

struct Fit {
    int n = 0;
    int64_t squares = 0;
    std::vector<int16_t> positions;
};

// The energy programme's fit of n pulses, on a copy of the series.
Fit fitOf(const synthesis::SeriesHeader& series, uint16_t Tmin, uint16_t Tmax, int n)
{
    synthesis::SeriesHeader copy = series;
    base::MessageRecorder quiet;
    detection::estimateByEnergies(quiet, Tmin, Tmax, series.wImpulseSize, static_cast<uint16_t>(n), copy);
    Fit f;
    f.n = n;
    f.positions.assign(copy.lpFoundPositions.begin(), copy.lpFoundPositions.begin() + n);
    f.squares = windowSquares(series, f.positions);
    return f;
}

// What the ranked rows must hold: the fits sorted by squares, larger first
// and, among equals, in the order of the counts; at most `capacity` of them;
// the true count's fit in the last place when it did not make the list.
std::vector<Fit> expectedRanking(const synthesis::SeriesHeader& s, uint16_t Tmin, uint16_t Tmax, size_t capacity,
                                 bool* replaced = nullptr)
{
    std::vector<Fit> fits;
    for (int n = std::max<int>(s.wMinPulses, 1); n <= s.wMaxPulses; ++n)
        fits.push_back(fitOf(s, Tmin, Tmax, n));
    std::stable_sort(fits.begin(), fits.end(), [](const Fit& a, const Fit& b) { return a.squares > b.squares; });
    if (fits.size() > capacity)
        fits.resize(capacity);
    const bool listed = std::any_of(fits.begin(), fits.end(), [&](const Fit& f) { return f.n == s.wImpulseQuantity; });
    if (!listed && !fits.empty())
        fits.back() = fitOf(s, Tmin, Tmax, s.wImpulseQuantity);
    if (replaced)
        *replaced = !listed;
    return fits;
}

// A zero series of 600 samples with `count` true pulses 40 samples apart:
// every fit captures nothing, so every count ties.
synthesis::SeriesHeader zeroSeries(uint16_t count)
{
    synthesis::SeriesHeader s;
    s.dwSeriesCapacity = s.dwSeriesSize = 600;
    s.lpSeriesData.assign(600, 0);
    s.lpPureData.assign(600, 0);
    s.wImpulseSize = 20;
    s.wTmin = 40;
    s.wTmax = 181;
    s.wMaxPulses = synthesis::seriesMaxPulses(600, 20, 40);
    s.wMinPulses = synthesis::seriesMinPulses(600, 20, 181);
    s.wPulsesCapacity = s.wMaxPulses;
    for (auto* a : {&s.lpPositions, &s.lpFoundPositions, &s.lpMinPositions, &s.lpMaxPositions})
        a->assign(s.wMaxPulses, 0);
    s.wImpulseQuantity = count;
    for (int k = 0; k < count; ++k)
        s.lpPositions[k] = static_cast<int16_t>(40 * k);
    return s;
}

}  // namespace

TEST(PulseCountRanking, RankedRowsAreTheBestFitsInStableOrder)
{
    struct Case {
        uint32_t N;
        uint16_t K;
        int16_t noise;
    };
    int replaced = 0;
    for (const Case c : {Case{600, 8, 0}, Case{600, 4, 25}, Case{1200, 18, 25}, Case{1200, 10, 60}, Case{1200, 25, 40},
                         Case{900, 12, 90}}) {
        SCOPED_TRACE("N " + std::to_string(c.N) + " K " + std::to_string(c.K) + " noise " + std::to_string(c.noise));
        SynthesisFixture bench;
        ASSERT_TRUE(bench.make(c.N, c.K));
        bench.noise(c.noise);
        synthesis::SeriesHeader& s = *bench.series;
        bool trueCountReplaces = false;
        const std::vector<Fit> expected = expectedRanking(s, 40, 181, 5, &trueCountReplaces);
        replaced += trueCountReplaces;

        detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, nullptr);
        detection::PulseCountTablePtr table = detection::getPulseCountTable(c.K, s.wMinPulses, s.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        const int32_t result = detection::rankPulseCounts(sink, 40, 181, false, protocol.get(), table.get(), s);
        EXPECT_TRUE(sink.messages.empty());

        const detection::StepwiseProtocol& p = *protocol;
        const std::span<const int16_t> truePositions(s.lpPositions.data(), c.K);
        ASSERT_EQ(p.wUsed, 1 + expected.size());
        EXPECT_EQ(p.lpPulses[0], c.K);
        EXPECT_EQ(p.lpMethod[0], detection::kMethodTrue);
        EXPECT_EQ(p.lpSquares[0], windowSquares(s, truePositions));
        EXPECT_EQ(p.lpMeasure[0], p.lpSquares[0]);
        EXPECT_EQ(rowPositions(p, 0), std::vector<int16_t>(truePositions.begin(), truePositions.end()));
        for (size_t j = 0; j < expected.size(); ++j) {
            const int r = static_cast<int>(j) + 1;
            SCOPED_TRACE("row " + std::to_string(r));
            EXPECT_EQ(p.lpPulses[r], expected[j].n);
            EXPECT_EQ(p.lpSquares[r], expected[j].squares);
            EXPECT_EQ(p.lpMeasure[r], p.lpSquares[r]);
            EXPECT_EQ(p.lpIterations[r], 0);
            EXPECT_EQ(p.lpMethod[r], detection::kMethodRanked);
            EXPECT_EQ(rowPositions(p, r), expected[j].positions);
        }

        // The top row is left in the series.
        EXPECT_EQ(s.wFoundPulses, p.lpPulses[1]);
        EXPECT_EQ(std::vector<int16_t>(s.lpFoundPositions.begin(), s.lpFoundPositions.begin() + s.wFoundPulses),
                  rowPositions(p, 1));
        EXPECT_EQ(result, p.lpSquares[1]);

        // The table: per count the captured energy and the rest per window.
        int64_t whole = 0;
        for (uint32_t i = 0; i < c.N; ++i)
            whole += s.lpSeriesData[i] * s.lpSeriesData[i];
        for (int n = s.wMinPulses; n <= s.wMaxPulses; ++n) {
            const int r = n - s.wMinPulses;
            const Fit f = fitOf(s, 40, 181, n);
            const int64_t pOut = int64_t{c.N} - n * 20;
            ASSERT_EQ(table->lpPulseCounts[r], n);
            ASSERT_EQ(table->lpSquares[r], f.squares);
            ASSERT_EQ(table->lpNoisePerWindow[r], (pOut + 2 * 20 * (whole - f.squares)) / (2 * pOut));
        }
    }
    EXPECT_GT(replaced, 0) << "some case must rank the true count below the list";
    EXPECT_LT(replaced, 6) << "and some must list it";
}

TEST(PulseCountRanking, EqualCandidatesGoBelowAndTheTrueCountTakesTheLastRow)
{
    for (uint16_t trueCount : {5, 12}) {
        synthesis::SeriesHeader s = zeroSeries(trueCount);
        ASSERT_EQ(s.wMinPulses, 3);
        ASSERT_EQ(s.wMaxPulses, 15);
        detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        EXPECT_EQ(detection::rankPulseCounts(sink, 40, 181, true, protocol.get(), nullptr, s), 0);
        std::vector<int> counts;
        for (int r = 1; r < protocol->wUsed; ++r)
            counts.push_back(protocol->lpPulses[r]);
        EXPECT_EQ(counts, trueCount == 5 ? (std::vector<int>{3, 4, 5, 6, 7}) : (std::vector<int>{3, 4, 5, 6, 12}));
        EXPECT_EQ(s.wFoundPulses, 3);

        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].caption, "Sequential method");
        const std::string& trace = sink.messages[0].text;
        std::string head = "pulses\t dist\t squares\t positions\n";
        head += trueCount == 5 ? "    5" : "   12";
        head += "\t     0\t     0\t";
        for (int k = 0; k < trueCount; ++k) {
            head += ' ';
            head += std::to_string(40 * k);
        }
        head += "\n\n3[3]\t     0\t     0\t";
        EXPECT_EQ(trace.rfind(head, 0), 0u) << trace;
        EXPECT_NE(trace.find("\n  it=0\t     0\t     0\t"), std::string::npos);
        EXPECT_NE(trace.find("\n15[15]\t     0\t     0\t"), std::string::npos);
    }
}

TEST(PulseCountRanking, SingleAdmissibleCountGivesOneRankedRow)
{
    // 200 samples with Tmin 100: counts 1..2 admissible; with Tmax 181 the
    // least count is 1. Narrow it to one count by Tmax = Tmin = 100.
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(200, 2, 100, 100));
    synthesis::SeriesHeader& s = *bench.series;
    ASSERT_EQ(s.wMinPulses, s.wMaxPulses);
    detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, nullptr);
    base::MessageRecorder sink;
    detection::rankPulseCounts(sink, 100, 100, false, protocol.get(), nullptr, s);
    ASSERT_EQ(protocol->wUsed, 2);
    EXPECT_EQ(protocol->lpPulses[1], 2);
    EXPECT_EQ(protocol->lpMethod[1], detection::kMethodRanked);
}

TEST(UnfixedDetectionRun, ProtocolHoldsTheTrueRowTheListAndTheDetection)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    bench.noise(25);
    synthesis::SeriesHeader& s = *bench.series;
    detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, nullptr);
    detection::PulseCountTablePtr table = detection::getPulseCountTable(18, s.wMinPulses, s.wMaxPulses, nullptr);
    detection::DetectionStudyPtr study = detection::getDetectionStudy(s, nullptr);
    study->wDetectionMethod = 2;
    std::vector<int32_t> chain(1200, 0);
    base::MessageRecorder sink;
    const int32_t S =
        detection::runUnfixedDetection(sink, 40, 181, false, chain, protocol.get(), table.get(), study.get(), s);

    const detection::StepwiseProtocol& p = *protocol;
    ASSERT_EQ(p.wUsed, 7) << "code-1 row, five candidates, detection row";
    EXPECT_EQ(p.lpMethod[0], detection::kMethodTrue);
    for (int r = 1; r <= 5; ++r)
        EXPECT_EQ(p.lpMethod[r], detection::kMethodRanked);
    EXPECT_EQ(p.lpMethod[6], detection::kMethodDetected);
    EXPECT_EQ(p.lpPulses[6], s.wFoundPulses);
    EXPECT_EQ(p.lpPulses[6], study->wDetectedCounts[2]);
    const std::vector<int16_t> detected(s.lpFoundPositions.begin(), s.lpFoundPositions.begin() + s.wFoundPulses);
    EXPECT_EQ(rowPositions(p, 6), detected);
    EXPECT_EQ(S, windowSquares(s, detected));
    EXPECT_EQ(p.lpSquares[6], S);
    EXPECT_EQ(p.lpMeasure[6], S);
    EXPECT_EQ(p.lpIterations[6], 0);
    ASSERT_EQ(sink.messages.size(), 1u) << "only the detection's trace without the trace flag";
    EXPECT_EQ(sink.messages[0].caption, " study01_UnFixedPulseDetection ");

    // A protocol that was not emptied first gets no rows past its end; one
    // got anew by the shell is filled the same way again.
    base::MessageRecorder again;
    detection::runUnfixedDetection(again, 40, 181, false, chain, protocol.get(), table.get(), study.get(), s);
    EXPECT_EQ(protocol->wUsed, protocol->wRows);
    protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, std::move(protocol));
    again.messages.clear();
    detection::runUnfixedDetection(again, 40, 181, true, chain, protocol.get(), table.get(), study.get(), s);
    EXPECT_EQ(protocol->wUsed, 7);
    ASSERT_EQ(again.messages.size(), 2u);
    EXPECT_EQ(again.messages[0].caption, "Sequential method");
}

TEST(UnfixedDetectionRun, SmallProtocolsKeepTheirRowsAndStillReturnTheDetection)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(600, 8));
    bench.noise(25);
    for (uint16_t lastRow : {0, 1, 2, 3}) {
        SCOPED_TRACE("rows " + std::to_string(lastRow + 1));
        synthesis::SeriesHeader s = *bench.series;
        detection::StepwiseProtocolPtr protocol = detection::getStepwiseProtocol(lastRow, s.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        const int32_t S = detection::runUnfixedDetection(sink, 40, 181, false, {}, protocol.get(), nullptr, nullptr, s);
        const detection::StepwiseProtocol& p = *protocol;
        EXPECT_EQ(S, windowSquares(s, std::span<const int16_t>(s.lpFoundPositions.data(), s.wFoundPulses)));
        EXPECT_EQ(p.lpMethod[0], detection::kMethodTrue) << "the code-1 row is never overwritten";
        EXPECT_EQ(p.lpPulses[0], 8);
        const int listed = lastRow >= 2 ? std::min(5, lastRow + 1 - 2) : 0;
        EXPECT_EQ(p.wUsed, std::min(lastRow + 1, 1 + listed + 1));
        for (int r = 1; r <= listed; ++r)
            EXPECT_EQ(p.lpMethod[r], detection::kMethodRanked);
        if (p.wUsed > 1 + listed) {
            EXPECT_EQ(p.lpMethod[1 + listed], detection::kMethodDetected);
        }
    }

    // Without a protocol the detection still runs.
    synthesis::SeriesHeader s = *bench.series;
    base::MessageRecorder sink;
    const int32_t S = detection::runUnfixedDetection(sink, 40, 181, false, {}, nullptr, nullptr, nullptr, s);
    EXPECT_EQ(S, windowSquares(s, std::span<const int16_t>(s.lpFoundPositions.data(), s.wFoundPulses)));
}

// Re-use and release: tests/detection/record_reuse_test.cpp.
TEST(PulseCountTableRecord, RowsFollowTheCounts)
{
    detection::PulseCountTablePtr t = detection::getPulseCountTable(18, 6, 30, nullptr);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->wRows, 25);
    EXPECT_EQ(t->wConfiguredCount, 18);
    EXPECT_EQ(t->wMinCount, 6);
    EXPECT_EQ(t->wMaxCount, 30);
    t = detection::getPulseCountTable(5, 9, 4, std::move(t));
    EXPECT_EQ(t->wRows, 5) << "a maximum below the minimum gives maximum + 1 rows";
}
