// The spectrum picture of a search: every point with a value is drawn at
// its place in its curve's colour, a point without one leaves a gap, the
// axes cover every value in round steps, and the best point is ringed. A
// failing test leaves its picture in the test output folder.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/dc.h"
#include "platform/picture_test_support.h"
#include "views/search_curves.h"

namespace {

using namespace platform;

// Pixels of `colour` within `reach` of (x, y).
int inkAround(const Bitmap& b, int32_t x, int32_t y, int32_t reach, Color colour)
{
    int n = 0;
    for (int32_t v = y - reach; v <= y + reach; ++v)
        for (int32_t u = x - reach; u <= x + reach; ++u)
            n += pixelAt(b, u, v) == colour ? 1 : 0;
    return n;
}

bool roundStep(double step)
{
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    return std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9;
}

}  // namespace

TEST(SpectrumPlot, PointsStandAtTheirPlacesWithGapsAndTheBestRinged)
{
    views::SpectrumPlotData d;
    d.title = " spectrum";
    d.xLabel = "period";
    d.yLabel = "statistic";
    views::SpectrumCurve low{"L 5", {}, {}}, high{"L 9", {}, {}};
    for (int k = 0; k < 12; ++k) {
        low.x.push_back(100 + 7.5 * k);
        low.y.push_back(k == 5 ? NAN : 0.4 * (k % 4));
        high.x.push_back(100 + 7.5 * k);
        high.y.push_back(9 + (k == 8 ? 4.0 : 0.3 * (k % 3)));
    }
    d.curves = {low, high};
    d.bestCurve = 1;
    d.bestPoint = 8;
    Bitmap b = makeBitmap(900, 420);
    picture::KeepIfFailed keep(b, "search_curves.png");
    Dc dc(b);
    views::drawSpectrumPlot(dc, {0, 0, 900, 420}, d);
    const views::SpectrumPlotLayout l = views::spectrumPlotLayout(dc, {0, 0, 900, 420}, d);
    ASSERT_TRUE(l.drawable);
    EXPECT_LE(l.xLow, 100);
    EXPECT_GE(l.xHigh, 182.5);
    EXPECT_LE(l.yLow, 0);
    EXPECT_GE(l.yHigh, 13);
    EXPECT_TRUE(roundStep(l.xStep) && roundStep(l.yStep)) << l.xStep << " " << l.yStep;

    for (size_t c = 0; c < 2; ++c)
        for (size_t k = 0; k < 12; ++k)
            if (std::isfinite(d.curves[c].y[k])) {
                const int32_t x = views::spectrumColumn(l, d.curves[c].x[k]),
                              y = views::spectrumRow(l, d.curves[c].y[k]);
                EXPECT_GT(inkAround(b, x, y, 1, views::spectrumCurveColor(c)), 4) << c << " " << k;
                EXPECT_TRUE(x > l.x0 && x < l.x1 && y > l.y0 && y < l.y1);
            }
    // No line of the low curve crosses the columns between its neighbours of the missing point.
    const int32_t from = views::spectrumColumn(l, low.x[4]) + 4, to = views::spectrumColumn(l, low.x[6]) - 4;
    for (int32_t x = from; x <= to; ++x)
        for (int32_t y = views::spectrumRow(l, 2); y <= views::spectrumRow(l, 0) + 2; ++y)
            ASSERT_NE(pixelAt(b, x, y), views::spectrumCurveColor(0)) << x << " " << y;
    const int32_t bx = views::spectrumColumn(l, high.x[8]), by = views::spectrumRow(l, high.y[8]);
    EXPECT_GT(inkAround(b, bx, by, 8, views::kSpectrumBestColor), 20);
    EXPECT_EQ(inkAround(b, views::spectrumColumn(l, high.x[2]), views::spectrumRow(l, high.y[2]), 8,
                        views::kSpectrumBestColor),
              0);
}
