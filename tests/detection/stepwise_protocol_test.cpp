// The stepwise protocol record and the fixed-case estimation run.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/stepwise_protocol.h"
#include "fixed_case_fixture.h"
#include "synthesis/synthesis_fixture.h"

namespace {

// Re-use by width and release: tests/detection/record_reuse_test.cpp.
TEST(StepwiseProtocolRecord, IsReusedOnlyWhenRowsAndWidthSuffice)
{
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 30, nullptr);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->wRows, 8);
    EXPECT_EQ(p->wAsked, 30);
    base::MessageRecorder sink;
    ASSERT_EQ(detection::addTolpStepwiseProtocol(sink, 2, 16, p.get()), 1);
    for (int r = 0; r < 8; ++r)
        ASSERT_EQ(detection::appendProtocolRow(p.get(), 1, r, r, 0, 3, std::vector<int16_t>{5}), 1);
    EXPECT_EQ(detection::appendProtocolRow(p.get(), 1, 0, 0, 0, 3, std::vector<int16_t>{5}), 0) << "full";

    p = detection::getStepwiseProtocol(7, 20, std::move(p));
    EXPECT_EQ(p->wAsked, 20);
    EXPECT_EQ(p->wTask, 16) << "labels stay until relabelled";
    p = detection::getStepwiseProtocol(7, 31, std::move(p));
    EXPECT_EQ(p->wTask, 0) << "made anew: unlabelled";
    EXPECT_EQ(p->lpTaskName, nullptr);

    p = detection::getStepwiseProtocol(9, 10, std::move(p));
    EXPECT_EQ(p->wRows, 10);
    const detection::StepwiseProtocol* before = p.get();
    p = detection::getStepwiseProtocol(3, 10, std::move(p));
    EXPECT_EQ(p.get(), before);
    EXPECT_EQ(p->wRows, 10) << "a re-used protocol keeps its rows";
    EXPECT_FALSE(detection::getStepwiseProtocol(65535, 4, nullptr)) << "65536 rows cannot be counted in 16 bits";
}

TEST(StepwiseProtocolRecord, IsLabelledWithTheTaskAndSeriesNames)
{
    base::MessageRecorder sink;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 4, nullptr);
    const struct {
        uint16_t code;
        const char* task;
        const char* series;
    } table[] = {
        {1, "detection", "known number of whole pulses"},
        {2, "recognition", "known number of cut-off pulses"},
        {4, "joint detection and identification", "unknown number of whole pulses"},
        {8, "joint detection and estimation", "unknown number of cut-off pulses"},
        {16, "joint detection and estimation", nullptr},
        {32, "blind detection", nullptr},
        {64, nullptr, nullptr},
        {0, nullptr, nullptr},
    };
    for (const auto& row : table) {
        ASSERT_EQ(detection::addTolpStepwiseProtocol(sink, row.code, row.code, p.get()), 1);
        EXPECT_EQ(p->wTask, row.code);
        EXPECT_EQ(p->wSeriesType, row.code);
        EXPECT_STREQ(p->lpTaskName, row.task) << row.code;
        EXPECT_STREQ(p->lpSeriesName, row.series) << row.code;
    }
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(detection::addTolpStepwiseProtocol(sink, 1, 8, nullptr), 0);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Не определен lpStepwiseProtocol!");
    EXPECT_EQ(sink.messages[0].caption, " addTolpStepwiseProtocol ");

    const char* labels[] = {"unk", "def", "pre", "est", "exh", "fix", "pas", "unk"};
    for (uint16_t code = 0; code < 8; ++code)
        EXPECT_STREQ(detection::protocolMethodLabel(code), labels[code]);
}

TEST(StepwiseProtocolRow, RecordsTheFoundPositionsWithTheirFigures)
{
    const std::vector<int16_t> x{1, 2, 0, 3, -4, 9, 7, 7};
    synthesis::SeriesHeader h = handSeries(x, 3);
    h.lpFoundPositions = {0, 3, 6};
    h.wFoundPulses = 2;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(2, 3, nullptr);

    ASSERT_EQ(detection::addProtocolRow(4, 2, 99, 3, p.get(), h), 1);
    EXPECT_EQ(p->wUsed, 1);
    EXPECT_EQ(p->lpIterations[0], 5) << "iterations + 1";
    EXPECT_EQ(p->lpPulses[0], 2) << "the series' count, whatever m says";
    EXPECT_EQ(p->lpMeasure[0], detection::measureOfSum(static_cast<int32_t>(referenceS(x, 2, {0, 3})), 2));
    EXPECT_EQ(p->lpSquares[0], referenceSquares(x, 2, {0, 3}));
    EXPECT_EQ(rowPositions(*p, 0), (std::vector<int16_t>{0, 3}));
    EXPECT_EQ(p->lpMethod[0], 3);

    ASSERT_EQ(detection::addProtocolRow(0, 2, 0, 5, p.get(), h), 1);
    EXPECT_EQ(p->lpMethod[1], 0) << "codes above 4 are not this operation's";
    h.wFoundPulses = 4;
    EXPECT_EQ(detection::addProtocolRow(0, 2, 0, 1, p.get(), h), 0) << "more positions than a row holds";
    h.wFoundPulses = 3;
    ASSERT_EQ(detection::addProtocolRow(0, 2, 0, 1, p.get(), h), 1);
    EXPECT_EQ(detection::addProtocolRow(0, 2, 0, 1, p.get(), h), 0) << "full";
    EXPECT_EQ(detection::addProtocolRow(0, 2, 0, 1, nullptr, h), 0);
    EXPECT_EQ(p->wUsed, 3);

    detection::StepwiseProtocolPtr q = detection::getStepwiseProtocol(1, 3, nullptr);
    EXPECT_EQ(detection::appendProtocolRow(q.get(), 3, 1, 2, 0, 6, std::vector<int16_t>{1, 2}), 0)
        << "too few positions given";
    ASSERT_EQ(detection::appendProtocolRow(q.get(), 2, -7, 11, 0, 6, std::vector<int16_t>{1, 2}), 1);
    EXPECT_EQ(q->lpIterations[0], 0);
    EXPECT_EQ(q->lpMethod[0], 6);
    EXPECT_EQ(q->lpMeasure[0], -7);
    EXPECT_EQ(q->lpSquares[0], 11);
}

struct RunCase {
    uint32_t N;
    uint16_t K, Tmin, Tmax;
    int16_t noise;
};

TEST(FixedCaseRun, FillsThreeRowsOrFourWithTheExhaustiveStage)
{
    SynthesisFixture bench;
    const RunCase cases[] = {
        {200, 1, 40, 181, 25}, {200, 2, 40, 181, 50},   {200, 3, 40, 181, 40},   {200, 5, 40, 181, 25},
        {600, 4, 40, 181, 25}, {1200, 18, 40, 181, 25}, {1200, 18, 40, 181, 90}, {600, 3, 80, 300, 60},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE("N=" + std::to_string(c.N) + " K=" + std::to_string(c.K));
        ASSERT_TRUE(bench.make(c.N, c.K, c.Tmin, c.Tmax));
        bench.noise(c.noise);
        synthesis::SeriesHeader& h = *bench.series;
        const std::vector<int16_t> truth(h.lpPositions.begin(), h.lpPositions.begin() + c.K);

        // What each stage must give, computed stage by stage on a copy.
        synthesis::SeriesHeader copy = h;
        base::MessageRecorder quiet;
        const int32_t pre = detection::estimateByEnergies(quiet, c.Tmin, c.Tmax, 20, c.K, copy);
        const std::vector<int16_t> prePositions = found(copy, c.K);
        uint16_t passes = 0;
        detection::runImprovementLoop(quiet, c.Tmin, c.Tmax, 20, c.K, copy, pre, passes);
        const std::vector<int16_t> estPositions = found(copy, c.K);

        detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, h.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        ASSERT_EQ(detection::runFixedCaseEstimation(sink, h, p.get(), c.Tmin, c.Tmax, 20, c.K, c.N), 1);
        EXPECT_TRUE(sink.messages.empty());

        const bool exhaustive = c.K <= 3 || (c.K == 4 && c.N < 350);
        ASSERT_EQ(p->wUsed, exhaustive ? 4 : 3);
        const uint16_t codes[] = {1, 2, 3, 4};
        for (int r = 0; r < p->wUsed; ++r) {
            EXPECT_EQ(p->lpMethod[r], codes[r]);
            EXPECT_EQ(p->lpPulses[r], c.K);
            EXPECT_EQ(p->lpMeasure[r], detection::measure(h, 20, rowPositions(*p, r)));
            EXPECT_EQ(p->lpSquares[r], detection::squares(h, 20, rowPositions(*p, r)));
        }
        EXPECT_EQ(rowPositions(*p, 0), truth);
        EXPECT_EQ(rowPositions(*p, 1), prePositions);
        EXPECT_EQ(p->lpMeasure[1], pre);
        EXPECT_EQ(rowPositions(*p, 2), estPositions);
        EXPECT_EQ(p->lpIterations[0], 1);
        EXPECT_EQ(p->lpIterations[1], 1);
        EXPECT_EQ(p->lpIterations[2], passes + 1);
        EXPECT_GE(p->lpMeasure[2], p->lpMeasure[1]) << "improvement never loses";
        if (exhaustive) {
            EXPECT_GE(p->lpMeasure[3], p->lpMeasure[2]) << "the exhaustive search sees every combination";
            EXPECT_GE(p->lpMeasure[3], p->lpMeasure[0]);
        }
        EXPECT_EQ(h.wFoundPulses, c.K);
        EXPECT_EQ(found(h, c.K), rowPositions(*p, p->wUsed - 1)) << "the series keeps the last stage";
    }
}

TEST(FixedCaseRun, RunsTheExhaustiveStageForFourPulsesOnlyBelow350Samples)
{
    SynthesisFixture bench;
    // Narrow gaps keep the search small at this length.
    ASSERT_TRUE(bench.make(349, 4, 80, 100));
    bench.noise(40);
    for (uint32_t length : {349u, 350u, 7200u}) {
        SCOPED_TRACE(length);
        synthesis::SeriesHeader h = *bench.series;
        detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, h.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        ASSERT_EQ(detection::runFixedCaseEstimation(sink, h, p.get(), 80, 100, 20, 4, length), 1);
        ASSERT_EQ(p->wUsed, length < 350 ? 4 : 3);
        if (length < 350) {
            EXPECT_EQ(p->lpMethod[3], 4);
        }
    }
}

TEST(FixedCaseRun, StopsAtTheStageItWasAskedTo)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(200, 2));
    bench.noise(25);
    for (auto [stages, rows] : {std::pair{detection::FixedCaseStages::TrueAndProgramme, 2},
                                {detection::FixedCaseStages::WithoutExhaustive, 3},
                                {detection::FixedCaseStages::All, 4}}) {
        synthesis::SeriesHeader h = *bench.series;
        detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, h.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        ASSERT_EQ(detection::runFixedCaseEstimation(sink, h, p.get(), 40, 181, 20, 2, 200, stages), 1);
        EXPECT_EQ(p->wUsed, rows);
        EXPECT_EQ(found(h, 2), rowPositions(*p, rows - 1));
    }
}

TEST(FixedCaseRun, AnImprovementThatChangesNothingCountsNoPass)
{
    // Rectangles on silence: the programme is exact and the first pass keeps it.
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 30, nullptr);
    base::MessageRecorder sink;
    ASSERT_EQ(detection::runFixedCaseEstimation(sink, *bench.series, p.get(), 40, 181, 20, 18, 1200), 1);
    EXPECT_EQ(p->lpIterations[2], 1);
    EXPECT_EQ(p->lpMeasure[2], p->lpMeasure[0]);
    EXPECT_EQ(rowPositions(*p, 2), rowPositions(*p, 0));
}

TEST(FixedCaseRun, StopsWithAMessageWhenTheProtocolIsFull)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(200, 2));
    bench.noise(25);
    synthesis::SeriesHeader& h = *bench.series;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(1, 5, nullptr);
    base::MessageRecorder sink;
    EXPECT_EQ(detection::runFixedCaseEstimation(sink, h, p.get(), 40, 181, 20, 2, 200), 0);
    EXPECT_EQ(p->wUsed, 2);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "No positions on StepwiseProtocol\n");
    EXPECT_EQ(sink.messages[0].caption, "CM_CREATE_SERIES");
    EXPECT_EQ(found(h, 2), rowPositions(*p, 1)) << "the programme's positions, the last stage run";

    // Without a protocol the run stops after placing the true positions.
    sink.messages.clear();
    EXPECT_EQ(detection::runFixedCaseEstimation(sink, h, nullptr, 40, 181, 20, 2, 200), 0);
    EXPECT_EQ(found(h, 2), std::vector<int16_t>(h.lpPositions.begin(), h.lpPositions.begin() + 2));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].caption, "CM_CREATE_SERIES");
}

TEST(FixedCaseRun, RefusesACountTheSeriesCannotTake)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(1200, 18));
    synthesis::SeriesHeader& h = *bench.series;
    const synthesis::SeriesHeader before = h;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 30, nullptr);
    for (uint16_t m : {0, 3, 31, 40}) {
        base::MessageRecorder sink;
        EXPECT_EQ(detection::runFixedCaseEstimation(sink, h, p.get(), 40, 181, 20, m, 1200), 0);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].caption, " runFixedCaseEstimation ");
        EXPECT_EQ(p->wUsed, 0);
        EXPECT_EQ(h.lpFoundPositions, before.lpFoundPositions);
        EXPECT_EQ(h.wFoundPulses, before.wFoundPulses);
    }
}

TEST(ImprovementLoop, EndsWhenAPassNoLongerChangesTheMeasure)
{
    SynthesisFixture bench;
    for (int16_t noise : {25, 60, 120}) {
        ASSERT_TRUE(bench.make(1200, 18));
        bench.noise(noise);
        synthesis::SeriesHeader& h = *bench.series;
        base::MessageRecorder sink;
        const int32_t pre = detection::estimateByEnergies(sink, 40, 181, 20, 18, h);
        uint16_t passes = 0;
        const int32_t last = detection::runImprovementLoop(sink, 40, 181, 20, 18, h, pre, passes);
        ASSERT_LT(passes, detection::kMaxImprovementPasses);
        EXPECT_EQ(last, detection::measure(h, 20, found(h, 18)));
        EXPECT_EQ(detection::improvePositions(sink, 40, 181, 20, 18, h), last) << "one more pass changes nothing";
        if (passes == 0) {
            EXPECT_EQ(last, pre);
        }
    }
}

}  // namespace
