// The chart of a simulation by its pieces' boxes, over generated picture
// sizes (the smallest a picture may be and a wide screen among them) and
// generated grids (1 to 8 pulse counts, 1 to 20 noise levels, flat and
// steep errors): every text stands inside the area and apart from the
// others, the legend's entries stand apart and off the graph, the curves
// stay inside the frame, every point is inked where its value puts it, and
// the y axis runs from 0 to the first round step at or above the largest
// error. A failing picture is left in the test output folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/dc.h"
#include "tests/platform/picture_test_support.h"
#include "view_test_support.h"
#include "views/simulation_chart.h"

namespace {

using platform::PlacedText;
using platform::Rect;

using viewtest::overlap;
using viewtest::within;

bool inside(const Rect& r, int32_t x, int32_t y) { return r.left <= x && x < r.right && r.top <= y && y < r.bottom; }

enum class Shape { Flat, Steep, Scattered };

// A grid as the simulation lays it out: noise levels from `from` in equal
// steps, a curve per pulse count. Flat errors are one value everywhere (0
// among them), steep ones grow by orders of magnitude up to the 32-bit
// figures simulate may print, scattered ones are anything below a bound.
views::SimulationChartData generated(std::mt19937& random, size_t curves, size_t levels, Shape shape)
{
    views::SimulationChartData d;
    d.title =
        " statistical simulation for joint detection and estimation in series with known number of cut-off pulses ";
    d.info = {" series length 1200, pulse length 20, Tmin 40, Tmax 181; 32767 repeats per cell"};
    d.xLabel = "noise level (standard deviation of the added noise)";
    d.yLabel = "detection error: the mean squared start error of a pulse, summed over the 32767 repeats (samples²)";
    const int from = std::array<int, 4>{0, 5, 100, 9000}[random() % 4];
    const int step = std::array<int, 4>{1, 10, 25, 95}[random() % 4];
    for (size_t i = 0; i < levels; ++i)
        d.noiseLevels.push_back(from + step * static_cast<int>(i));
    const double flat = random() % 3 == 0 ? 0.0 : static_cast<double>(random() % 100000);
    const double top = std::pow(10.0, 1 + random() % 9);
    for (size_t k = 0; k < curves; ++k) {
        const int pulses = 1 + static_cast<int>(k * 4 + random() % 4);
        views::SimulationChartCurve c{std::to_string(pulses) + (pulses == 1 ? " pulse" : " pulses"), {}};
        for (size_t i = 0; i < levels; ++i) {
            const double x = levels > 1 ? static_cast<double>(i) / static_cast<double>(levels - 1) : 1.0;
            switch (shape) {
            case Shape::Flat:
                c.values.push_back(flat);
                break;
            case Shape::Steep:
                c.values.push_back(std::round(std::min(2147483647.0, top * std::pow(x, 6) * (1 + k))));
                break;
            case Shape::Scattered:
                c.values.push_back(static_cast<double>(random() % static_cast<uint64_t>(top)));
                break;
            }
        }
        d.curves.push_back(std::move(c));
    }
    return d;
}

double largest(const views::SimulationChartData& d)
{
    double m = 0;
    for (const views::SimulationChartCurve& c : d.curves)
        for (const double v : c.values)
            m = std::max(m, v);
    return m;
}

}  // namespace

TEST(SimulationChartLayout, EveryPieceKeepsItsPlaceAtEverySizeAndGrid)
{
    std::mt19937 random(2426);
    std::vector<std::pair<int32_t, int32_t>> sizes{{320, 240}, {640, 400}, {1280, 800}, {1600, 900}, {1920, 1080}};
    for (int k = 0; k < 25; ++k)
        sizes.push_back({320 + static_cast<int32_t>(random() % 1700), 240 + static_cast<int32_t>(random() % 1000)});
    int cases = 0;
    for (const auto& [width, height] : sizes)
        for (const Shape shape : {Shape::Flat, Shape::Steep, Shape::Scattered}) {
            const size_t curves = cases % 8 + 1, levels = 1 + random() % 20;
            ++cases;
            const views::SimulationChartData d = generated(random, curves, levels, shape);
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(curves) +
                         " curves, " + std::to_string(levels) + " levels, shape " +
                         std::to_string(static_cast<int>(shape)));

            platform::Bitmap picture = platform::makeBitmap(width, height);
            picture::KeepIfFailed keep(picture, "simulation_chart_" + std::to_string(width) + "x" +
                                                    std::to_string(height) + "_" + std::to_string(cases));
            platform::Dc dc(picture);
            std::vector<PlacedText> texts;
            dc.setTextLog(&texts);
            const Rect area{8, 8, width - 8, height - 8};
            const views::SimulationChartLayout l = views::drawSimulationChart(dc, area, d);
            ASSERT_TRUE(l.drawable);
            const Rect frame{l.x0, l.y0, l.x1 + 1, l.y1 + 1};
            EXPECT_TRUE(within(frame, area));

            // Texts: inside, apart, and the header, both titles and every legend entry among them.
            for (size_t i = 0; i < texts.size(); ++i) {
                EXPECT_TRUE(within(texts[i].cell, area)) << "'" << texts[i].text << "' leaves the area";
                EXPECT_FALSE(overlap(texts[i].cell, frame)) << "'" << texts[i].text << "' is on the graph";
                for (size_t j = 0; j < i; ++j)
                    EXPECT_FALSE(overlap(texts[i].cell, texts[j].cell))
                        << "'" << texts[i].text << "' touches '" << texts[j].text << "'";
            }
            EXPECT_GE(texts.size(), 7 + curves);

            // The legend: an entry per curve, apart, off the graph, its text in its cell.
            ASSERT_EQ(l.legendCells.size(), curves);
            for (size_t k = 0; k < curves; ++k) {
                const Rect& cell = l.legendCells[k];
                EXPECT_TRUE(within(cell, area));
                EXPECT_FALSE(overlap(cell, frame));
                for (size_t j = 0; j < k; ++j)
                    EXPECT_FALSE(overlap(cell, l.legendCells[j])) << k << " and " << j;
                EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const PlacedText& t) {
                    return t.text == d.curves[k].label && within(t.cell, cell);
                })) << d.curves[k].label;
            }

            // The y axis from 0 to the first step at or above the largest error.
            const double most = largest(d);
            EXPECT_EQ(l.yLow, 0);
            EXPECT_GE(l.yHigh, most);
            EXPECT_LT(l.yHigh - l.yStep, std::max(most, 0.5));

            // Curve colours inside the frame and in the legend's samples only.
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const platform::Color c = platform::pixelAt(picture, x, y);
                    bool curve = false;
                    for (size_t k = 0; k < curves && !curve; ++k)
                        curve = c == views::simulationChartColor(k);
                    if (!curve)
                        continue;
                    const bool placed = (l.x0 < x && x < l.x1 && l.y0 < y && y < l.y1) ||
                                        std::any_of(l.legendCells.begin(), l.legendCells.end(),
                                                    [&](const Rect& r) { return inside(r, x, y); });
                    ASSERT_TRUE(placed) << "curve ink at " << x << ", " << y;
                }

            // Every point is inked where its value puts it (its marker may be
            // open), by its curve or by one drawn over it there.
            for (size_t k = 0; k < curves; ++k)
                for (size_t i = 0; i < levels; ++i) {
                    const int32_t x = views::simulationChartColumn(l, i, levels);
                    const int32_t y = views::simulationChartRow(l, d.curves[k].values[i]);
                    bool inked = false;
                    for (int32_t v = y - 4; v <= y + 4 && !inked; ++v)
                        for (int32_t u = x - 4; u <= x + 4 && !inked; ++u)
                            for (size_t later = k; later < curves && !inked; ++later)
                                inked = platform::pixelAt(picture, u, v) == views::simulationChartColor(later);
                    EXPECT_TRUE(inked) << "curve " << k << ", level " << i;
                }
        }
}

// The noise levels under the graph: the first always, then every
// labelEvery-th, never two touching, however many levels crowd the axis.
TEST(SimulationChartLayout, NoiseLevelLabelsAreThinnedToFit)
{
    std::mt19937 random(77);
    for (const int32_t width : {320, 500, 900, 1900}) {
        const views::SimulationChartData d = generated(random, 3, 20, Shape::Scattered);
        platform::Bitmap picture = platform::makeBitmap(width, 300);
        platform::Dc dc(picture);
        std::vector<PlacedText> texts;
        dc.setTextLog(&texts);
        const views::SimulationChartLayout l = views::drawSimulationChart(dc, {8, 8, width - 8, 292}, d);
        ASSERT_TRUE(l.drawable) << width;
        std::vector<std::string> shown;
        for (const PlacedText& t : texts)
            if (t.cell.top == l.xLabelRow)
                shown.push_back(t.text);
        std::vector<std::string> expected;
        for (size_t i = 0; i < d.noiseLevels.size(); i += static_cast<size_t>(l.labelEvery))
            expected.push_back(std::to_string(static_cast<int>(d.noiseLevels[i])));
        EXPECT_EQ(shown, expected) << width;
        EXPECT_TRUE(l.labelEvery == 1 || l.labelEvery == 2 || l.labelEvery == 5 || l.labelEvery == 10 ||
                    l.labelEvery == 20)
            << l.labelEvery;
        if (width >= 900) {
            EXPECT_LE(l.labelEvery, 2) << "a wide graph labels most levels";
        }
    }
}
