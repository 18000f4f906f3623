// The sequential method: the count is chosen by the best programme measure,
// the protocol gets 3 or 5 rows, the trace tells every step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "detection/fixed_case_criteria.h"
#include "detection/sequential_method.h"
#include "detection/stepwise_protocol.h"
#include "fixed_case_fixture.h"
#include "synthesis/synthesis_fixture.h"

namespace {

// One count estimated on its own, as the method must do it.
struct CountFit {
    int m;
    int32_t pre, est;
    int32_t preSquares, estSquares;
    uint16_t passes;
    std::vector<int16_t> prePositions, estPositions;
};

std::vector<CountFit> fitEveryCount(const synthesis::SeriesHeader& series)
{
    std::vector<CountFit> fits;
    base::MessageRecorder sink;
    const int from = std::max<int>(series.wMinPulses, 1);
    for (int m = from; m <= series.wMaxPulses; ++m) {
        synthesis::SeriesHeader copy = series;
        CountFit f{m, 0, 0, 0, 0, 0, {}, {}};
        f.pre = detection::estimateByEnergies(sink, series.wTmin, series.wTmax, series.wImpulseSize, m, copy);
        f.prePositions = found(copy, m);
        f.preSquares = detection::squares(copy, series.wImpulseSize, f.prePositions);
        f.est = detection::runImprovementLoop(sink, series.wTmin, series.wTmax, series.wImpulseSize, m, copy, f.pre,
                                              f.passes);
        f.estPositions = found(copy, m);
        f.estSquares = detection::squares(copy, series.wImpulseSize, f.estPositions);
        fits.push_back(f);
    }
    return fits;
}

// The first fit with the greatest value: equal values keep the smaller count.
const CountFit& bestOf(const std::vector<CountFit>& fits, int32_t CountFit::*by)
{
    const CountFit* best = &fits.front();
    for (const CountFit& f : fits)
        if (f.*by > (*best).*by)
            best = &f;
    return *best;
}

void expectRowsOf(const detection::StepwiseProtocol& p, int r, const CountFit& f)
{
    EXPECT_EQ(p.lpPulses[r], f.m);
    EXPECT_EQ(p.lpMethod[r], 2);
    EXPECT_EQ(p.lpMeasure[r], f.pre);
    EXPECT_EQ(p.lpSquares[r], f.preSquares);
    EXPECT_EQ(p.lpIterations[r], 0);
    EXPECT_EQ(rowPositions(p, r), f.prePositions);
    EXPECT_EQ(p.lpPulses[r + 1], f.m);
    EXPECT_EQ(p.lpMethod[r + 1], 3);
    EXPECT_EQ(p.lpMeasure[r + 1], f.est);
    EXPECT_EQ(p.lpSquares[r + 1], f.estSquares);
    EXPECT_EQ(p.lpIterations[r + 1], f.passes) << "the passes themselves, not one more";
    EXPECT_EQ(rowPositions(p, r + 1), f.estPositions);
}

TEST(SequentialMethod, ChoosesTheCountOfTheBestProgrammeMeasureAndRecordsThreeOrFiveRows)
{
    SynthesisFixture bench;
    bench.sequence.assign(bench.sequence.size(), 3);  // half sines
    int threeRows = 0, fiveRows = 0;
    const struct {
        uint32_t N;
        uint16_t K;
        int16_t noise;
    } cases[] = {{200, 2, 25},   {200, 4, 100},   {600, 5, 25},  {600, 8, 60},  {600, 12, 150},
                 {1200, 18, 25}, {1200, 10, 120}, {600, 4, 200}, {600, 9, 300}, {1200, 25, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE("N=" + std::to_string(c.N) + " K=" + std::to_string(c.K) + " noise=" + std::to_string(c.noise));
        ASSERT_TRUE(bench.make(c.N, c.K));
        bench.noise(c.noise);
        synthesis::SeriesHeader& h = *bench.series;
        const std::vector<CountFit> fits = fitEveryCount(h);
        const CountFit& byPre = bestOf(fits, &CountFit::pre);
        const CountFit& byEst = bestOf(fits, &CountFit::est);

        detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, h.wMaxPulses, nullptr);
        base::MessageRecorder sink;
        const int32_t result = detection::sequentialMethod(sink, 40, 181, false, p.get(), h);
        EXPECT_TRUE(sink.messages.empty()) << "no trace asked for";
        EXPECT_EQ(result, fits.back().est) << "the improved measure of the largest count";

        ASSERT_EQ(p->wUsed, byPre.m == byEst.m ? 3 : 5);
        (p->wUsed == 3 ? threeRows : fiveRows) += 1;
        EXPECT_EQ(p->lpMethod[0], 1);
        EXPECT_EQ(p->lpIterations[0], 0);
        EXPECT_EQ(p->lpPulses[0], c.K);
        EXPECT_EQ(rowPositions(*p, 0), std::vector<int16_t>(h.lpPositions.begin(), h.lpPositions.begin() + c.K));
        EXPECT_EQ(p->lpMeasure[0], detection::measure(h, 20, rowPositions(*p, 0)));
        expectRowsOf(*p, 1, byPre);
        if (p->wUsed == 5)
            expectRowsOf(*p, 3, byEst);

        EXPECT_EQ(h.wFoundPulses, byPre.m);
        EXPECT_EQ(found(h, byPre.m), byPre.estPositions);
    }
    EXPECT_GT(threeRows, 0);
    EXPECT_GT(fiveRows, 0);
}

TEST(SequentialMethod, KeepsTheSmallestCountOnEqualMeasures)
{
    // Silence: every count measures 0, so the first count stays.
    synthesis::SeriesHeader h = handSeries(std::vector<int16_t>(600, 0), 15);
    h.wTmin = 40;
    h.wTmax = 181;
    h.wImpulseSize = 20;
    h.wMinPulses = 4;
    h.wMaxPulses = 15;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 15, nullptr);
    base::MessageRecorder sink;
    EXPECT_EQ(detection::sequentialMethod(sink, 40, 181, false, p.get(), h), 0);
    EXPECT_EQ(p->wUsed, 3);
    EXPECT_EQ(h.wFoundPulses, 4);
    EXPECT_EQ(p->lpPulses[1], 4);
    EXPECT_EQ(p->lpPulses[2], 4);
}

TEST(SequentialMethod, StartsAtOnePulseWhenTheSeriesSaysZero)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(200, 2));
    bench.noise(40);
    synthesis::SeriesHeader withOne = *bench.series;
    ASSERT_EQ(withOne.wMinPulses, 1);
    synthesis::SeriesHeader withZero = withOne;
    withZero.wMinPulses = 0;

    detection::StepwiseProtocolPtr a = detection::getStepwiseProtocol(7, 5, nullptr),
                                   b = detection::getStepwiseProtocol(7, 5, nullptr);
    base::MessageRecorder sink;
    const int32_t ra = detection::sequentialMethod(sink, 40, 181, true, a.get(), withOne);
    const int32_t rb = detection::sequentialMethod(sink, 40, 181, true, b.get(), withZero);
    EXPECT_EQ(ra, rb);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, sink.messages[1].text);
    ASSERT_EQ(a->wUsed, b->wUsed);
    for (int r = 0; r < a->wUsed; ++r) {
        EXPECT_EQ(rowPositions(*a, r), rowPositions(*b, r));
        EXPECT_EQ(a->lpMeasure[r], b->lpMeasure[r]);
    }
}

TEST(SequentialMethod, WorksWithoutAProtocolOrWithAFullOne)
{
    SynthesisFixture bench;
    ASSERT_TRUE(bench.make(600, 6));
    bench.noise(50);
    synthesis::SeriesHeader reference = *bench.series;
    detection::StepwiseProtocolPtr roomy = detection::getStepwiseProtocol(7, reference.wMaxPulses, nullptr);
    base::MessageRecorder sink;
    const int32_t expected = detection::sequentialMethod(sink, 40, 181, false, roomy.get(), reference);

    synthesis::SeriesHeader none = *bench.series;
    EXPECT_EQ(detection::sequentialMethod(sink, 40, 181, false, nullptr, none), expected);
    EXPECT_EQ(none.wFoundPulses, reference.wFoundPulses);
    EXPECT_EQ(none.lpFoundPositions, reference.lpFoundPositions);

    synthesis::SeriesHeader cramped = *bench.series;
    detection::StepwiseProtocolPtr two = detection::getStepwiseProtocol(1, reference.wMaxPulses, nullptr);
    EXPECT_EQ(detection::sequentialMethod(sink, 40, 181, false, two.get(), cramped), expected);
    EXPECT_EQ(two->wUsed, 2);
    EXPECT_EQ(two->lpMethod[1], 2);
    EXPECT_EQ(cramped.lpFoundPositions, reference.lpFoundPositions);
    EXPECT_TRUE(sink.messages.empty());
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string positionsText(const std::vector<int16_t>& p)
{
    std::string s;
    for (int16_t v : p) {
        s += ' ';
        s += std::to_string(v);
    }
    return s;
}

TEST(SequentialMethodTrace, TellsEveryCountInFullHoweverLong)
{
    SynthesisFixture bench;
    // Short gaps admit many counts: the trace runs far past 5000 characters.
    ASSERT_TRUE(bench.make(1200, 30, 25, 181));
    bench.noise(60);
    synthesis::SeriesHeader& h = *bench.series;
    const std::vector<CountFit> fits = fitEveryCount(h);
    const CountFit& byPre = bestOf(fits, &CountFit::pre);
    const CountFit& byEst = bestOf(fits, &CountFit::est);

    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, h.wMaxPulses, nullptr);
    base::MessageRecorder sink;
    detection::sequentialMethod(sink, 25, 181, true, p.get(), h);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].caption, "Sequential method");
    const std::string& text = sink.messages[0].text;
    EXPECT_GT(text.size(), 5000u);

    const std::vector<std::string> l = lines(text);
    ASSERT_GE(l.size(), 3 + 2 * fits.size() + 2);
    EXPECT_EQ(l[0], "pulses\t dist\t squares\t positions");
    char head[64];
    std::snprintf(head, sizeof head, "%5d\t%6d\t%6d\t", h.wImpulseQuantity, p->lpMeasure[0], p->lpSquares[0]);
    EXPECT_EQ(l[1], head + positionsText(rowPositions(*p, 0)));
    EXPECT_EQ(l[2], "");
    for (size_t i = 0; i < fits.size(); ++i) {
        const CountFit& f = fits[i];
        char a[64], b[64];
        std::snprintf(a, sizeof a, "%d[%d]\t%6d\t%6d\t", f.m, f.m, f.pre, f.preSquares);
        std::snprintf(b, sizeof b, "  it=%d\t%6d\t%6d\t", f.passes, f.est, f.estSquares);
        EXPECT_EQ(l[3 + 2 * i], a + positionsText(f.prePositions));
        EXPECT_EQ(l[4 + 2 * i], b + positionsText(f.estPositions));
    }
    const size_t end = 3 + 2 * fits.size();
    EXPECT_EQ(l[end], "");
    char summary[64];
    std::snprintf(summary, sizeof summary, "%d\t%6d\t\t", byEst.m, byEst.est);
    EXPECT_EQ(l[end + 1], summary);
    if (byPre.m != byEst.m) {
        ASSERT_EQ(l.size(), end + 5);
        EXPECT_EQ(l[end + 2], "  init arg: " + std::to_string(byPre.m) + ", measure: " + std::to_string(byPre.pre));
        EXPECT_EQ(l[end + 3], "  =>");
        EXPECT_EQ(l[end + 4], "  full arg: " + std::to_string(byEst.m) + ", measure: " + std::to_string(byEst.est));
    } else {
        EXPECT_EQ(l.size(), end + 2);
    }
}

TEST(SequentialMethod, RefusesASeriesThatAdmitsNoCount)
{
    synthesis::SeriesHeader h = handSeries(std::vector<int16_t>(10, 1), 2);
    h.wImpulseSize = 20;
    h.wMinPulses = 0;
    h.wMaxPulses = 0;
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 2, nullptr);
    base::MessageRecorder sink;
    EXPECT_EQ(detection::sequentialMethod(sink, 40, 181, true, p.get(), h), detection::kEstimateFailure);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].caption, " sequentialMethod ");
    EXPECT_EQ(p->wUsed, 0);
}

}  // namespace
