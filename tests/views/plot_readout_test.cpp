// The readout under the mouse: which plot a point is in (edges included),
// the sample whose column is nearest (every shown sample's own column reads
// back as that sample while the columns are enough), its values, and the found
// pulse whose window holds it with the window's energy as its score.

#include <gtest/gtest.h>

#include "views/plot_readout.h"
#include "views/series_plot.h"

namespace {

using namespace views;

constexpr int32_t kX0 = 19, kW = 640, kH = 96;

ShownPlots threePlots(int32_t N, SampleRange shown)
{
    ShownPlots p;
    p.N = N;
    p.shown = shownSamples(shown, N);
    p.add({PlotKind::Pure, kX0, 59, kW, kH});
    p.add({PlotKind::Observed, kX0, 167, kW, kH});
    p.add({PlotKind::Reconstruction, kX0, 275, kW, kH});
    return p;
}

TEST(PlotReadout, EdgesReadTheFirstAndLastShownSample)
{
    const ShownPlot plot{PlotKind::Observed, kX0, 167, kW, kH};
    EXPECT_EQ(sampleAtColumn(plot, {0, 1200}, kX0), 0);
    EXPECT_EQ(sampleAtColumn(plot, {0, 1200}, kX0 + kW), 1199);
    // Half way: 320 of 640 columns over 1199 steps, 599.5 rounded up.
    EXPECT_EQ(sampleAtColumn(plot, {0, 1200}, kX0 + 320), 600);
    // Points beyond the plot are held at its edges.
    EXPECT_EQ(sampleAtColumn(plot, {0, 1200}, -40), 0);
    EXPECT_EQ(sampleAtColumn(plot, {0, 1200}, 5000), 1199);
    EXPECT_EQ(sampleAtColumn(plot, {400, 700}, kX0), 400);
    EXPECT_EQ(sampleAtColumn(plot, {400, 700}, kX0 + kW), 699);
}

TEST(PlotReadout, EveryShownSampleReadsBackFromItsOwnColumn)
{
    // Parts of no more samples than columns, down to the least of eight.
    const ShownPlot plot{PlotKind::Pure, kX0, 59, kW, kH};
    for (const SampleRange part :
         {SampleRange{400, 700}, SampleRange{0, 200}, SampleRange{1000, 1008}, SampleRange{17, 658}}) {
        SampleColumns columns(part.to - part.from, kW);
        for (int32_t i = part.from; i < part.to; ++i)
            ASSERT_EQ(sampleAtColumn(plot, part, kX0 + columns.next()), i) << part.from << ".." << part.to;
    }
}

TEST(PlotReadout, FindsThePlotWithItsFrameIncluded)
{
    const ShownPlots plots = threePlots(1200, {});
    ASSERT_TRUE(plotPointAt(plots, kX0, 59));
    EXPECT_EQ(plotPointAt(plots, kX0, 59)->kind, PlotKind::Pure);
    EXPECT_EQ(plotPointAt(plots, kX0 + kW, 167 + kH)->plot, 1);
    EXPECT_EQ(plotPointAt(plots, kX0 + kW, 167 + kH)->sample, 1199);
    EXPECT_EQ(plotPointAt(plots, 300, 300)->kind, PlotKind::Reconstruction);
    // Between the plots (the label strip), left and right of them: nothing.
    EXPECT_FALSE(plotPointAt(plots, 300, 59 + kH + 1));
    EXPECT_FALSE(plotPointAt(plots, kX0 - 1, 200));
    EXPECT_FALSE(plotPointAt(plots, kX0 + kW + 1, 200));
    EXPECT_FALSE(plotPointAt(ShownPlots{}, 300, 200));
}

TEST(PlotReadout, ReadsTheValuesAndTheFoundPulseWithItsScore)
{
    synthesis::SeriesHeader s;
    s.dwSeriesSize = 1200;
    s.wImpulseSize = 20;
    s.lpPureData.assign(1200, 0);
    s.lpSeriesData.assign(1200, 0);
    for (int32_t i = 0; i < 1200; ++i) {
        s.lpPureData[i] = static_cast<int16_t>(i % 50);
        s.lpSeriesData[i] = static_cast<int16_t>(i % 50 - 7);
    }
    s.lpFoundPositions = {120, 410, 600};
    s.wFoundPulses = 2;  // the third position is not a found pulse of this picture

    // Samples 400 .. 699 across the plot: sample 415 stands at column
    // (2*15*640 + 299) div 598 = 32.
    const ShownPlots plots = threePlots(1200, {400, 700});
    const std::optional<PlotReadout> r = readoutAt(plots, s, kX0 + 32, 200);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->point.kind, PlotKind::Observed);
    EXPECT_EQ(r->point.sample, 415);
    EXPECT_EQ(r->pure, 15);
    EXPECT_EQ(r->observed, 8);
    EXPECT_EQ(r->pulse, 1);
    EXPECT_EQ(r->pulseStart, 410);
    int64_t energy = 0;
    for (int32_t i = 410; i < 430; ++i)
        energy += int64_t{s.lpSeriesData[i]} * s.lpSeriesData[i];
    EXPECT_EQ(r->pulseScore, energy);

    // The last sample of the window still belongs to it, the next does not;
    // a position beyond the found count is no found pulse.
    SampleColumns columns(300, kW);
    int32_t column429 = 0, column430 = 0, column605 = 0;
    for (int32_t i = 400; i <= 605; ++i) {
        const int32_t X = columns.next();
        if (i == 429)
            column429 = X;
        if (i == 430)
            column430 = X;
        if (i == 605)
            column605 = X;
    }
    EXPECT_EQ(readoutAt(plots, s, kX0 + column429, 100)->pulse, 1);
    EXPECT_EQ(readoutAt(plots, s, kX0 + column430, 100)->pulse, -1);
    EXPECT_EQ(readoutAt(plots, s, kX0 + column605, 100)->pulse, -1);

    // Outside the plots, or a series shorter than the painted one: no readout.
    EXPECT_FALSE(readoutAt(plots, s, 5, 5));
    s.lpSeriesData.resize(300);
    EXPECT_FALSE(readoutAt(plots, s, kX0 + 32, 200));
}

}  // namespace
