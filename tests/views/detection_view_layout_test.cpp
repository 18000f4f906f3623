// The detection view's layout by the texts' cells, over generated window
// sizes (the three the window is made for among them) and generated series:
// every text stands inside the view's area and no two texts touch; the two
// plots stand inside it one above the other, and the detail's samples are
// marked inside the overview's frame. The column a sample is drawn in reads
// back as that sample. A failing picture is left in the test output folder.

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
#include "views/detection_view.h"

namespace {

using platform::PlacedText;
using platform::Rect;

using viewtest::overlap;
using viewtest::within;

// A series of n samples: noise, pulses of L samples every 40..400 samples,
// and now and then a far larger value, so that the y labels get long.
struct GeneratedSeries {
    std::vector<int64_t> samples;
    std::vector<double> times;
    std::vector<int32_t> starts;
    int32_t L = 1;
};

GeneratedSeries generated(std::mt19937& random, size_t n)
{
    GeneratedSeries g;
    g.L = 1 + static_cast<int32_t>(random() % 60);
    std::uniform_int_distribution<int64_t> noise(-300, 300);
    const int64_t far = random() % 2 ? 2'000'000'000LL : 30000;
    g.samples.resize(n);
    for (int64_t& v : g.samples)
        v = noise(random) + (random() % 5000 == 0 ? far : 0);
    for (size_t s = random() % 50; s + static_cast<size_t>(g.L) <= n; s += 40 + random() % 360)
        g.starts.push_back(static_cast<int32_t>(s));
    if (random() % 2) {
        // Times that start far from zero, in a step with many decimals.
        const double t0 = 51544.5 + static_cast<double>(random() % 1000), step = 1.0 / 2880;
        g.times.resize(n);
        for (size_t i = 0; i < n; ++i)
            g.times[i] = t0 + step * static_cast<double>(i);
    }
    return g;
}

}  // namespace

TEST(DetectionViewLayout, TextsStayInsideTheirAreaAndApartAtEverySize)
{
    std::mt19937 random(1208);
    std::vector<std::pair<int32_t, int32_t>> sizes{{960, 600}, {1280, 800}, {1920, 1080}};
    for (int k = 0; k < 30; ++k)
        sizes.push_back({640 + static_cast<int32_t>(random() % 1400), 400 + static_cast<int32_t>(random() % 800)});
    for (const auto& [width, height] : sizes) {
        // The canvas below a menu bar and above a status bar.
        const Rect area{8, 8, width - 8, height - 40 - 8};
        const size_t n = std::array<size_t, 5>{2, 37, 5000, 120'000, 1'000'000}[random() % 5];
        const GeneratedSeries g = generated(random, n);
        views::DetectionViewData d;
        d.header = {
            " /data/a-folder-with-a-long-name/and-a-longer-one-inside-it/recording-2026-12-08-night.csv: "
            "column 3 (lead II) of 4, " +
                std::to_string(n) + " rows",
            " count known, 2500 pulses, correlation with the box of 20 samples; pulse length 20, Tmin 300",
            " found 2500 pulses (admissible counts 2001 to 3333); noise sigma 0.04288 in the data's units"};
        d.samples = g.samples;
        d.times = g.times;
        d.axisLabel = g.times.empty() ? "" : "mjd";
        d.pulseLength = g.L;
        d.starts = g.starts;
        const int32_t from = static_cast<int32_t>(random() % n);
        d.detail = {from, from + 1 + static_cast<int32_t>(random() % (n - static_cast<size_t>(from)))};
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(n) + " samples");

        platform::Bitmap picture = platform::makeBitmap(width, height);
        picture::KeepIfFailed keep(picture, "detection_view_" + std::to_string(width) + "x" + std::to_string(height));
        platform::Dc dc(picture);
        std::vector<PlacedText> texts;
        dc.setTextLog(&texts);
        const views::DetectionViewLayout l = views::drawDetectionView(dc, area, d);

        ASSERT_TRUE(l.drawable);
        EXPECT_LE(l.overview.y1, l.detailArea.top);
        for (const views::DetectionPlotLayout* p : {&l.overview, &l.detail})
            EXPECT_TRUE(within({p->x0, p->y0, p->x1 + 1, p->y1 + 1}, area));
        EXPECT_GT(texts.size(), 8u);
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_TRUE(within(texts[i].cell, area)) << "'" << texts[i].text << "' leaves the area";
            EXPECT_FALSE(texts[i].text.empty());
            for (size_t j = 0; j < i; ++j)
                EXPECT_FALSE(overlap(texts[i].cell, texts[j].cell))
                    << "'" << texts[i].text << "' touches '" << texts[j].text << "'";
        }
        // The detail's samples are marked inside the overview's frame.
        bool marked = false;
        for (int32_t x = l.overview.x0 + 1; x < l.overview.x1; ++x)
            marked = marked || platform::pixelAt(picture, x, l.overview.y0 + 1) == views::kDetailRangeColor;
        EXPECT_TRUE(marked);
    }
}

TEST(DetectionViewLayout, TheColumnOfASampleReadsBackAsThatSample)
{
    std::mt19937 random(7);
    for (int k = 0; k < 400; ++k) {
        views::DetectionPlotLayout l;
        l.x0 = static_cast<int32_t>(random() % 100);
        l.W = 2 + static_cast<int32_t>(random() % 2000);
        l.x1 = l.x0 + l.W + 1;
        l.from = static_cast<int64_t>(random() % 1000);
        l.to = l.from + 2 + static_cast<int64_t>(random() % (random() % 2 ? 3000 : 3'000'000));
        const int64_t n = l.to - l.from;
        for (int t = 0; t < 20; ++t) {
            // The sample itself, or with more samples than columns the first of its column.
            const auto s = static_cast<int64_t>(random() % static_cast<uint64_t>(n));
            const int32_t column = views::detectionPlotColumn(s, n, l.W);
            const int64_t back = views::detectionPlotSampleAt(l, l.x0 + 1 + column) - l.from;
            EXPECT_TRUE(n <= l.W ? back == s
                                 : views::detectionPlotColumn(back, n, l.W) == column &&
                                       (back == 0 || views::detectionPlotColumn(back - 1, n, l.W) < column))
                << s << " of " << n << " on " << l.W << " columns";
        }
        EXPECT_EQ(views::detectionPlotSampleAt(l, l.x0 - 50), l.from) << "held inside the frame";
    }
}
