// The series-processing view: where its header, plots, table head and
// Alphabet panel stand for a given view area, and what the plots show — the
// pure series with dotted frames, the observed series in blue, the found
// pulses cut out of it (a flat zero line when nothing was found).

#include <gtest/gtest.h>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "view_test_support.h"
#include "synthesis/synthesis_fixture.h"
#include "views/series_view.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using viewtest::hasColour;
using viewtest::inRect;

constexpr int32_t kLH = 12;
// An 800 x 600 view: Hu = 600 - 17*12 = 396, m = 9, t = 9, t2 = 5, W = 640,
// H = 95 made even = 96, cells 40 x 49.
const views::ViewFrame kFrame{{10, 10, 809, 609}, kLH};

TEST(SeriesViewLayout, PlacesHeaderPlotsTableAndPanel)
{
    const views::SeriesViewLayout l = views::seriesViewLayout(kFrame, 3);
    EXPECT_EQ(l.Wv, 800);
    EXPECT_EQ(l.Hv, 600);
    EXPECT_EQ(l.Hu, 396);
    EXPECT_EQ(l.x0, 19);
    EXPECT_EQ(l.W, 640);
    EXPECT_EQ(l.H, 96);
    EXPECT_EQ(l.yHeader, 4);       // top - LH/2
    EXPECT_EQ(l.yA, 4 + 37 + 18);  // header line 4, then a line and a half
    EXPECT_EQ(l.yB, l.yA + kLH + 96);
    EXPECT_EQ(l.yC, l.yB + kLH + 96);
    EXPECT_EQ(l.yT, l.yC + 96 + 1 + kLH);
    EXPECT_EQ(l.panel.bx, 681);
    EXPECT_EQ(l.panel.by, 25);
    EXPECT_EQ(l.panel.bw, 120);
    EXPECT_EQ(l.panel.bh, 150);
}

struct SeriesPicture {
    SynthesisFixture fx;
    std::vector<uint16_t> required{3, 7};
    Bitmap picture = makeBitmap(840, 640);
    views::SeriesViewLayout l;

    explicit SeriesPicture(uint16_t K = 18)
    {
        EXPECT_TRUE(fx.make(1200, K));
        fx.noise(25);
        l = views::seriesViewLayout(kFrame, static_cast<int32_t>(required.size()));
    }
    void findTruePulses()
    {
        synthesis::SeriesHeader& s = *fx.series;
        s.wFoundPulses = s.wImpulseQuantity;
        std::copy_n(s.lpPositions.begin(), s.wImpulseQuantity, s.lpFoundPositions.begin());
    }
    void draw()
    {
        Dc dc(picture);
        views::drawSeriesView(dc, kFrame, static_cast<uint16_t>(required.size()), required, fx.series.get());
    }
};

TEST(SeriesView, DrawsThreeFramedPlotsWithTheObservedSeriesInBlue)
{
    SeriesPicture v;
    v.findTruePulses();
    const int32_t before = liveDrawingObjects();
    v.draw();
    EXPECT_EQ(liveDrawingObjects(), before);
    const Bitmap& b = v.picture;
    const int32_t x0 = v.l.x0, W = v.l.W, H = v.l.H;
    for (int32_t y : {v.l.yA, v.l.yB, v.l.yC}) {
        EXPECT_EQ(pixelAt(b, x0, y), kBlack);
        EXPECT_EQ(pixelAt(b, x0 + W, y + H), kBlack);  // the frame covers x0..x0+W, y..y+H
        EXPECT_EQ(pixelAt(b, x0 + W + 1, y + H / 2 + 2), kWhite);
    }
    const Color blue = rgb(0, 0, 255);
    EXPECT_TRUE(hasColour(b, blue, x0, v.l.yB, x0 + W + 1, v.l.yB + H + 1));
    EXPECT_FALSE(hasColour(b, blue, x0, v.l.yA, x0 + W + 1, v.l.yA + H + 1));
    EXPECT_FALSE(hasColour(b, blue, x0, v.l.yC, x0 + W + 1, v.l.yC + H + 1));

    // The first true pulse is framed in every plot: its left column of dots
    // rises from H/8 above the bottom of each plot.
    const synthesis::SeriesHeader& s = *v.fx.series;
    const int32_t xs = x0 + s.lpPositions[0] * W / 1199;
    for (int32_t y : {v.l.yA, v.l.yB, v.l.yC})
        EXPECT_EQ(pixelAt(b, xs, y + H - H / 8), kBlack);
}

TEST(SeriesView, WithoutFoundPulsesTheCutOutPlotIsFlatAndUnlabelled)
{
    SeriesPicture v;
    v.fx.series->wFoundPulses = 0;
    v.draw();
    const std::set<Pixel> ink = inked(v.picture);
    const int32_t x0 = v.l.x0, W = v.l.W, H = v.l.H;
    const std::set<Pixel> insideC = inRect(ink, x0 + 1, v.l.yC + 1, x0 + W, v.l.yC + H);
    ASSERT_FALSE(insideC.empty());
    for (const Pixel& p : insideC)
        EXPECT_EQ(p.second, v.l.yC + H / 2) << p.first;
    // The observed plot has no labels under it; the pure one has.
    EXPECT_TRUE(inRect(ink, x0 - 6, v.l.yB + H + 1, x0 + W + 6, v.l.yC).empty());
    EXPECT_FALSE(inRect(ink, x0 - 6, v.l.yA + H + 1, x0 + W + 6, v.l.yB).empty());

    // Found pulses give the cut-out plot its shapes and the observed plot its labels.
    SeriesPicture found;
    found.findTruePulses();
    found.draw();
    const std::set<Pixel> ink2 = inked(found.picture);
    EXPECT_FALSE(inRect(ink2, x0 - 6, found.l.yB + H + 1, x0 + W + 6, found.l.yC).empty());
    bool offTheLine = false;
    for (const Pixel& p : inRect(ink2, x0 + 1, found.l.yC + 1, x0 + W, found.l.yC + H))
        offTheLine = offTheLine || p.second != found.l.yC + H / 2;
    EXPECT_TRUE(offTheLine);
}

TEST(SeriesView, HeaderLinesAndTableHeadStandWhereTheyShould)
{
    SeriesPicture v(25);
    synthesis::SeriesHeader& s = *v.fx.series;
    s.wAmplitude = 0;  // drawn with 128 doubled twice under a noise level of 300
    s.wNoiseLevel = 300;
    v.draw();

    Bitmap want = makeBitmap(840, 640);
    Dc ref(want);
    views::drawAreaFrame(ref, kFrame.viewArea);
    ref.textOut(19, 4, " series processing for series with unknown number of whole pulses ");
    char line2[200];
    std::snprintf(line2, sizeof line2,
                  " series length 1200, Tmin=40, Tmax=181,  amplitude 512, noise level 300, N/S %6.3g",
                  views::noiseToSignal(s));
    ref.textOut(19, 17, line2);
    ref.textOut(19, 29, views::headerCountLine(s));
    std::string line4 = " pulses:";
    for (int k = 0; k < 19; ++k)
        line4 += views::formatText(" %d%c", s.lpPositions[k], 96 + s.lpEtalonSequence[k]);
    ref.textOut(19, 41, line4 + "...");
    const int32_t yT = v.l.yT;
    const std::pair<const char*, int32_t> head[] = {{"method", 0},    {"    criteria", 50},     {"factor", 120},
                                                    {"squares", 160}, {"   iter", 225},         {" disp", 255},
                                                    {"dp", 300},      {" pulses position", 330}};
    for (const auto& [text, offset] : head)
        ref.textOut(19 + offset, yT - 3, text);

    const std::set<Pixel> got = inked(v.picture), expected = inked(want);
    EXPECT_EQ(inRect(got, 0, 0, 680, v.l.yA), inRect(expected, 0, 0, 680, v.l.yA));
    EXPECT_EQ(inRect(got, 0, yT - 3, 680, yT + 10), inRect(expected, 0, yT - 3, 680, yT + 10));
}

TEST(SeriesView, AlphabetPanelShowsTheEtalonsInUse)
{
    // Etalons 3 and 7: letters c and g in the two cells of the first column
    // and the second, under the plural title.
    SeriesPicture two;
    two.draw();
    Bitmap want = makeBitmap(840, 640);
    Dc ref(want);
    ref.textOut(688, 16, " Alphabet, 2 items ");
    ref.textOut(690, 35, " c ");
    ref.textOut(748, 35, " g ");
    const std::set<Pixel> got = inked(two.picture), expected = inked(want);
    EXPECT_EQ(inRect(got, 682, 12, 809, 25), inRect(expected, 682, 12, 809, 25));
    EXPECT_EQ(inRect(got, 688, 33, 800, 48), inRect(expected, 688, 33, 800, 48));
    // The panel box: (681, 25) to (681 + 120, 25 + bh) inclusive.
    EXPECT_EQ(pixelAt(two.picture, 681, 100), kBlack);
    EXPECT_EQ(pixelAt(two.picture, 801, 100), kBlack);

    // One etalon: singular title, no letters after the positions.
    SeriesPicture one;
    one.required = {3};
    one.l = views::seriesViewLayout(kFrame, 1);
    one.draw();
    Bitmap want1 = makeBitmap(840, 640);
    Dc ref1(want1);
    ref1.textOut(688, 16, " Alphabet, 1 item ");
    EXPECT_EQ(inRect(inked(one.picture), 682, 12, 809, 25), inRect(inked(want1), 682, 12, 809, 25));
    Bitmap line = makeBitmap(840, 640);
    Dc refLine(line);
    refLine.textOut(19, 41, views::headerPulsesLine(*one.fx.series, false));
    EXPECT_EQ(inRect(inked(one.picture), 11, 42, 680, 54), inRect(inked(line), 11, 42, 680, 54));
}

TEST(SeriesView, WithoutASeriesOnlyTheFrameIsDrawn)
{
    Bitmap b = makeBitmap(840, 640);
    Dc dc(b);
    views::drawSeriesView(dc, kFrame, 0, {}, nullptr);
    Bitmap want = makeBitmap(840, 640);
    Dc ref(want);
    views::drawAreaFrame(ref, kFrame.viewArea);
    EXPECT_EQ(inked(b), inked(want));
}

}  // namespace
