// Figures and texts shared by the series pictures: the display amplitude, the
// noise-to-signal ratio, the header lines, the rounded sample columns, the
// window walk over found pulses and the Alphabet panel's title and layout.

#include <gtest/gtest.h>

#include "platform/picture_test_support.h"
#include "views/series_plot.h"

namespace {

using namespace views;

synthesis::SeriesHeader smallSeries()
{
    synthesis::SeriesHeader s;
    s.dwSeriesSize = 1200;
    s.wTmin = 40;
    s.wTmax = 181;
    s.wImpulseSize = 20;
    s.wImpulseQuantity = 3;
    s.wMinPulses = 6;
    s.wMaxPulses = 30;
    s.lpPositions = {12, 250, 433};
    s.lpEtalonSequence = {1, 3, 20};
    return s;
}

TEST(DisplayAmplitude, SubstitutesAndScales)
{
    // The series' own amplitude wins; the scale is the larger of it and 8/3 of the noise, plus an eighth.
    EXPECT_EQ(displayAmplitude(128, 0).a, 128);
    EXPECT_EQ(displayAmplitude(128, 0).S, 144);
    EXPECT_EQ(displayAmplitude(100, 60).S, 180);  // c = 160
    // Without an amplitude: 128, doubled while below the noise level.
    EXPECT_EQ(displayAmplitude(0, 0).a, 128);
    EXPECT_EQ(displayAmplitude(0, 128).a, 128);
    EXPECT_EQ(displayAmplitude(0, 129).a, 256);
    EXPECT_EQ(displayAmplitude(0, 300).a, 512);
    EXPECT_EQ(displayAmplitude(0, 300).S, 900);  // c = 800
    // The doubling stops at 32768 instead of running out of 16 bits for ever.
    EXPECT_EQ(displayAmplitude(0, 40000).a, 32768);
    EXPECT_EQ(displayAmplitude(0, 65535).S, 174760 + 174760 / 8);
}

TEST(HeaderLines, ReadAsTheSystemWritesThem)
{
    synthesis::SeriesHeader s = smallSeries();
    s.dwSeriesSize = 2;
    s.lpPureData = {3, 4};
    s.lpSeriesData = {4, 4};  // Es = 25, En = 1
    s.wNoiseLevel = 25;
    EXPECT_EQ(headerTitleLine("series processing", "unknown number of whole pulses"),
              " series processing for series with unknown number of whole pulses ");
    EXPECT_EQ(headerParameterLine(s, 128),
              " series length 2, Tmin=40, Tmax=181,  amplitude 128, noise level 25, N/S   0.04");
    EXPECT_EQ(headerCountLine(s), " pulses number 3 [6-30], length 20");
    EXPECT_EQ(headerPulsesLine(s, false), " pulses: 12 250 433");
    EXPECT_EQ(headerPulsesLine(s, true), " pulses: 12a 250c 433t");

    // No signal energy prints N/S as 0.
    s.lpPureData = {0, 0};
    EXPECT_EQ(headerParameterLine(s, 512),
              " series length 2, Tmin=40, Tmax=181,  amplitude 512, noise level 25, N/S      0");
    EXPECT_EQ(noiseToSignal(s), 0.0);
}

TEST(HeaderLines, ListNineteenPositionsAndThenEllipsis)
{
    synthesis::SeriesHeader s = smallSeries();
    std::string nineteen = " pulses:";
    for (int k = 0; k < 25; ++k) {
        s.lpPositions.resize(25);
        s.lpPositions[k] = static_cast<int16_t>(k * 45);
        if (k < 19)
            nineteen += ' ' + std::to_string(k * 45);
    }
    s.wImpulseQuantity = 19;
    EXPECT_EQ(headerPulsesLine(s, false), nineteen);
    s.wImpulseQuantity = 20;
    EXPECT_EQ(headerPulsesLine(s, false), nineteen + "...");
    s.wImpulseQuantity = 25;
    EXPECT_EQ(headerPulsesLine(s, false), nineteen + "...");
    // A count beyond the positions held lists what is there.
    s.wImpulseQuantity = 3;
    s.lpPositions.resize(2);
    EXPECT_EQ(headerPulsesLine(s, false), " pulses: 0 45");
}

// The stepped columns equal the closed form i*W/(N - 1) rounded half up, start
// at 0, end at W and never move left, over many series lengths and widths.
TEST(SampleColumns, MatchTheRoundedMapping)
{
    picture::Sweep sweep;
    for (int n = 0; n < 300; ++n) {
        const int32_t N = sweep.next(2, 3000), W = sweep.next(0, 1500);
        SampleColumns columns(N, W);
        int32_t previous = 0;
        for (int32_t i = 0; i < N; ++i) {
            const int32_t x = columns.next();
            const int64_t closed = (2 * int64_t{i} * W + N - 1) / (2 * (int64_t{N} - 1));
            ASSERT_EQ(x, closed) << "N=" << N << " W=" << W << " i=" << i;
            ASSERT_GE(x, previous);
            previous = x;
            if (i == 0) {
                EXPECT_EQ(x, 0);
            }
        }
        EXPECT_EQ(previous, W);
    }
}

TEST(SeriesPlotMapping, FullScaleMeetsTheEdges)
{
    const SeriesPlot plot{10, 20, 300, 96, 144, 1200};
    EXPECT_EQ(plotValueY(plot, 144), 20);
    EXPECT_EQ(plotValueY(plot, -144), 116);
    EXPECT_EQ(plotValueY(plot, 0), 68);
    EXPECT_EQ(plotLabelX(plot, 0), 5);
    EXPECT_EQ(plotLabelX(plot, 1199), 305);
}

TEST(PulseWindowWalk, MarksTheSamplesOfEachFoundWindow)
{
    const std::vector<int16_t> found{2, 10};
    PulseWindowWalk walk(found, 3, 16);
    std::vector<int32_t> inside;
    for (int32_t i = 0; i < 16; ++i)
        if (walk.inside(i))
            inside.push_back(i);
    EXPECT_EQ(inside, (std::vector<int32_t>{2, 3, 4, 10, 11, 12}));

    PulseWindowWalk none({}, 3, 16);
    for (int32_t i = 0; i < 16; ++i)
        EXPECT_FALSE(none.inside(i));
}

TEST(AlphabetPanel, TitleFollowsCountAndWidth)
{
    EXPECT_EQ(alphabetPanelTitle(5, 120), " Alphabet, 5 items ");
    EXPECT_EQ(alphabetPanelTitle(1, 120), " Alphabet, 1 item ");
    EXPECT_EQ(alphabetPanelTitle(1, 99), " Alph: 1 ");
    EXPECT_EQ(alphabetPanelTitle(12, 99), " Alph: 12 ");
}

TEST(AlphabetPanel, ShrinksItsCellsToTheRoomBelowItsTop)
{
    const views::LayoutRect view{10, 10, 809, 609};
    // Three etalons: two rows; the panel fits.
    AlphabetPanelLayout p = alphabetPanelLayout(view, 12, 3, 9, 9, 5, 40, 49);
    EXPECT_EQ(p.rows, 2);
    EXPECT_EQ(p.bw, 120);
    EXPECT_EQ(p.bx, 681);
    EXPECT_EQ(p.by, 25);
    EXPECT_EQ(p.bh, 150);
    EXPECT_EQ(p.ch, 49);
    EXPECT_EQ(alphabetPanelCell(p, 12, 0), (platform::Rect{690, 34, 730, 83}));
    EXPECT_EQ(alphabetPanelCell(p, 12, 1), (platform::Rect{690, 100, 730, 149}));  // down the first column
    EXPECT_EQ(alphabetPanelCell(p, 12, 2), (platform::Rect{748, 34, 788, 83}));

    // Twenty etalons: ten rows would need 678 pixels; 572 are left (609 - 25 - 12).
    p = alphabetPanelLayout(view, 12, 20, 9, 9, 5, 40, 49);
    EXPECT_EQ(p.rows, 10);
    EXPECT_EQ(p.bh, 572);
    EXPECT_EQ(p.ch, (572 - 18) / 10 - 17);

    // No etalons: no rows, nothing to divide.
    p = alphabetPanelLayout(view, 12, 0, 9, 9, 5, 40, 49);
    EXPECT_EQ(p.rows, 0);
    EXPECT_EQ(p.bh, 18);
}

}  // namespace
