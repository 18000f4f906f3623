// The detection picture of a researcher's series: the dotted frames stand at
// the columns of their pulses (also in a zoomed range and for pulses
// narrower than a column), a long series is drawn column by column from its
// least to its greatest sample, numbers and axis labels never run into each
// other, the reference marks tick under their samples, and every pen and
// brush made for the picture is gone afterwards. A failing test leaves its
// picture in the test output folder.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/picture_test_support.h"
#include "platform/dc.h"
#include "platform/drawing_objects.h"
#include "views/detection_plot.h"

namespace {

using namespace platform;
using picture::KeepIfFailed;
using views::DetectionPlotData;
using views::DetectionPlotLayout;

const Color kBlue = rgb(0, 0, 255);

// The picture of `data` in an area of width x height, and its layout; left in
// the test output folder as <name> when the test has failed by the end of
// the picture's scope.
struct Picture {
    Bitmap bitmap;
    views::DetectionPlotLayout layout;
    KeepIfFailed keep;

    explicit Picture(const views::DetectionPlotData& data, std::string name = "", int32_t width = 1000,
                     int32_t height = 400)
        : bitmap(makeBitmap(width, height)), keep(bitmap, std::move(name))
    {
        Dc dc(bitmap);
        layout = views::detectionPlotLayout(dc, {0, 0, width, height}, data);
        views::drawDetectionPlot(dc, {0, 0, width, height}, data);
    }
};

bool isBlack(const Bitmap& b, int32_t x, int32_t y) { return pixelAt(b, x, y) == kBlack; }

// The column of sample k of n across W columns, written out again here:
// rounded spacing when the columns are more, else k*W/n rounded down.
int32_t expectedColumn(int64_t k, int64_t n, int32_t W)
{
    if (n > W)
        return static_cast<int32_t>(k * W / n);
    return static_cast<int32_t>((2 * k * (W - 1) + (n - 1)) / (2 * (n - 1)));
}

// Columns holding ink of any colour in rows top .. bottom - 1, grouped into
// runs that are separated by at least `gap` empty columns; from column `left` on.
std::vector<std::pair<int32_t, int32_t>> inkRuns(const Bitmap& b, int32_t top, int32_t bottom, int32_t gap,
                                                 int32_t left = 0)
{
    std::vector<std::pair<int32_t, int32_t>> runs;
    int32_t empty = gap;
    for (int32_t x = left; x < b.width; ++x) {
        bool ink = false;
        for (int32_t y = top; y < bottom && !ink; ++y)
            ink = pixelAt(b, x, y) != kWhite;
        if (!ink) {
            ++empty;
            continue;
        }
        if (empty >= gap || runs.empty())
            runs.push_back({x, x});
        else
            runs.back().second = x;
        empty = 0;
    }
    return runs;
}

// A quiet series with square pulses of height 100 at the starts.
std::vector<int64_t> seriesWithPulses(size_t N, const std::vector<int32_t>& starts, int32_t L)
{
    std::vector<int64_t> s(N, 0);
    for (size_t i = 0; i < N; ++i)
        s[i] = static_cast<int64_t>(i % 7) - 3;
    for (const int32_t p : starts)
        for (int32_t j = 0; j < L; ++j)
            s[static_cast<size_t>(p + j)] = 100;
    return s;
}

TEST(DetectionPlot, LayoutMatchesTheFrameDrawn)
{
    const std::vector<int64_t> samples = seriesWithPulses(600, {50}, 20);
    views::DetectionPlotData d;
    d.title = " detection on a test series ";
    d.info = {" one line", " another"};
    d.samples = samples;
    const Picture p(d, "detection_plot_layout");
    const views::DetectionPlotLayout& l = p.layout;
    ASSERT_TRUE(l.drawable);
    // The frame is closed, its corners where the layout says, inside the area.
    for (int32_t y = l.y0; y <= l.y1; ++y) {
        EXPECT_TRUE(isBlack(p.bitmap, l.x0, y)) << y;
        EXPECT_TRUE(isBlack(p.bitmap, l.x1, y)) << y;
    }
    for (int32_t x = l.x0; x <= l.x1; ++x) {
        EXPECT_TRUE(isBlack(p.bitmap, x, l.y0)) << x;
        EXPECT_TRUE(isBlack(p.bitmap, x, l.y1)) << x;
    }
    EXPECT_EQ(l.W, l.x1 - l.x0 - 1);
    EXPECT_GT(l.y0, 2 * l.lineHeight) << "below the three header lines";
    EXPECT_LT(l.labelRow + l.lineHeight, 400);
    // The header lines have ink.
    EXPECT_FALSE(inkRuns(p.bitmap, 0, l.lineHeight, 3).empty());
    EXPECT_FALSE(inkRuns(p.bitmap, 2 * l.lineHeight + 1, 3 * l.lineHeight + 1, 3).empty());
}

TEST(DetectionPlot, FramesStandAtTheColumnsOfTheirPulses)
{
    const std::vector<int32_t> starts{100, 400, 700};
    const int32_t L = 20;
    const std::vector<int64_t> samples = seriesWithPulses(900, starts, L);
    views::DetectionPlotData d;
    d.samples = samples;
    d.starts = starts;
    d.pulseLength = L;
    const Picture p(d, "detection_plot_frames", 1100);
    const views::DetectionPlotLayout& l = p.layout;
    ASSERT_TRUE(l.drawable);
    ASSERT_GT(l.W, 900) << "this case has more columns than samples";
    const int32_t H = l.y1 - l.y0 - 1;
    const int32_t g = H / 8;
    for (const int32_t s : starts) {
        const int32_t xs = l.x0 + 1 + expectedColumn(s, 900, l.W);
        const int32_t xe = l.x0 + 1 + expectedColumn(s + L - 1, 900, l.W);
        // Dotted edge columns from H/8 above the bottom, every second pixel.
        for (int32_t j = g; j < 7 * H / 8; j += 2) {
            EXPECT_TRUE(isBlack(p.bitmap, xs, l.y1 - j)) << "start " << s << " row " << l.y1 - j;
            EXPECT_TRUE(isBlack(p.bitmap, xe, l.y1 - j)) << "end " << s + L - 1 << " row " << l.y1 - j;
        }
        EXPECT_FALSE(isBlack(p.bitmap, xs, l.y1 - g - 1)) << "dotted, not solid";
        // Dotted rows H/8 inside the top and the bottom.
        EXPECT_TRUE(isBlack(p.bitmap, xs + 2, l.y0 + 1 + g));
        EXPECT_TRUE(isBlack(p.bitmap, xs + 2, l.y1 - g));
        // Nothing framed just outside.
        EXPECT_FALSE(isBlack(p.bitmap, xs - 3, l.y1 - g));
        EXPECT_FALSE(isBlack(p.bitmap, xe + 3, l.y1 - g));
        // The number stands over the frame.
        bool number = false;
        for (int32_t x = xs; x <= xe; ++x)
            for (int32_t y = l.numberRow; y < l.y0; ++y)
                number = number || isBlack(p.bitmap, x, y);
        EXPECT_TRUE(number) << "number of the pulse at " << s;
    }
    // Between the pulses the marks' rows stay free of frame dots.
    const int32_t between = l.x0 + 1 + expectedColumn(250, 900, l.W);
    EXPECT_FALSE(isBlack(p.bitmap, between, l.y0 + 1 + g));
    EXPECT_FALSE(isBlack(p.bitmap, between, l.y1 - g));
}

TEST(DetectionPlot, LongSeriesShowsEveryColumnFromItsLeastToItsGreatest)
{
    const int64_t N = 1'000'000;
    std::vector<int64_t> samples(static_cast<size_t>(N), 0);
    for (int64_t i = 0; i < N; ++i)
        samples[static_cast<size_t>(i)] = (i % 2 == 0) ? 10 : -10;  // faster than any column can follow
    samples[500'000] = 1000;
    views::DetectionPlotData d;
    d.samples = samples;
    const Picture p(d, "detection_plot_long_series");
    const views::DetectionPlotLayout& l = p.layout;
    ASSERT_TRUE(l.drawable);
    EXPECT_EQ(l.high, 1000);
    EXPECT_EQ(l.low, -10);
    ASSERT_LE(l.yTop, l.y0 + 4) << "the greatest value is drawn near the top of the frame";

    const int32_t spike = l.x0 + 1 + expectedColumn(500'000, N, l.W);
    EXPECT_EQ(pixelAt(p.bitmap, spike, l.yTop), kBlue) << "the spike's column reaches the top";
    for (int32_t x = l.x0 + 1; x < l.x1; ++x) {
        if (x == spike)
            continue;
        EXPECT_NE(pixelAt(p.bitmap, x, l.yTop), kBlue) << "only the spike reaches the top, column " << x;
    }
    // Every column is one solid band over the alternation, not a sample
    // picked from it: the rows of +10 and -10 are both blue everywhere.
    const int32_t range = l.yBottom - l.yTop;
    const int32_t rowPlus = l.yTop + static_cast<int32_t>((1000 - 10) * range / 1010.0 + 0.5);
    const int32_t rowMinus = l.yBottom;
    for (int32_t x = l.x0 + 1; x < l.x1; x += 37) {
        EXPECT_EQ(pixelAt(p.bitmap, x, rowPlus), kBlue) << x;
        EXPECT_EQ(pixelAt(p.bitmap, x, rowMinus), kBlue) << x;
        EXPECT_EQ(pixelAt(p.bitmap, x, (rowPlus + rowMinus) / 2), kBlue) << x;
    }
}

TEST(DetectionPlot, PulseNarrowerThanAColumnStillGetsItsFrame)
{
    const int64_t N = 200'000;
    std::vector<int64_t> samples(static_cast<size_t>(N), 0);
    const std::vector<int32_t> starts{12'345, 150'000};
    views::DetectionPlotData d;
    d.samples = samples;
    d.starts = starts;
    d.pulseLength = 3;
    const Picture p(d, "detection_plot_narrow");
    const views::DetectionPlotLayout& l = p.layout;
    const int32_t H = l.y1 - l.y0 - 1;
    for (const int32_t s : starts) {
        const int32_t x = l.x0 + 1 + expectedColumn(s, N, l.W);
        EXPECT_TRUE(isBlack(p.bitmap, x, l.y1 - H / 8)) << s;
        EXPECT_TRUE(isBlack(p.bitmap, x, l.y1 - H / 2 + ((H / 2 - H / 8) % 2))) << s;
    }
}

TEST(DetectionPlot, CrowdedFramesKeepToTheirRowsAndLeaveTheSeriesInSight)
{
    // 2000 pulses across about 1000 columns: an edge would stand in every column.
    const int64_t N = 100'000;
    std::vector<int64_t> samples(static_cast<size_t>(N), 0);
    std::vector<int32_t> starts;
    for (int32_t s = 0; s + 20 <= N; s += 50)
        starts.push_back(s);
    views::DetectionPlotData d;
    d.samples = samples;
    d.starts = starts;
    d.pulseLength = 20;
    const Picture p(d, "detection_plot_crowded");
    const views::DetectionPlotLayout& l = p.layout;
    const int32_t H = l.y1 - l.y0 - 1;
    int32_t dotted = 0;
    for (int32_t x = l.x0 + 1; x < l.x1; ++x) {
        EXPECT_FALSE(isBlack(p.bitmap, x, l.y1 - H / 2)) << "an edge hatches column " << x;
        EXPECT_FALSE(isBlack(p.bitmap, x, l.y1 - H / 2 - 1)) << "an edge hatches column " << x;
        dotted += isBlack(p.bitmap, x, l.y0 + 1 + H / 8) ? 1 : 0;
    }
    EXPECT_GT(dotted, l.W / 3) << "the rows still show where the pulses are";
}

TEST(DetectionPlot, RangeShowsItsSamplesAcrossTheWholeWidth)
{
    const std::vector<int32_t> starts{100, 400, 700};
    const std::vector<int64_t> samples = seriesWithPulses(900, starts, 20);
    views::DetectionPlotData d;
    d.samples = samples;
    d.starts = starts;
    d.pulseLength = 20;
    d.from = 350;
    d.to = 480;
    const Picture p(d, "detection_plot_range");
    const views::DetectionPlotLayout& l = p.layout;
    EXPECT_EQ(l.from, 350);
    EXPECT_EQ(l.to, 480);
    const int32_t H = l.y1 - l.y0 - 1;
    const int32_t xs = l.x0 + 1 + expectedColumn(400 - 350, 130, l.W);
    const int32_t xe = l.x0 + 1 + expectedColumn(419 - 350, 130, l.W);
    EXPECT_GT(xe - xs, 100) << "twenty samples of 130 fill a good part of the width";
    EXPECT_TRUE(isBlack(p.bitmap, xs, l.y1 - H / 8));
    EXPECT_TRUE(isBlack(p.bitmap, xe, l.y1 - H / 8));
    // The pulses outside the range leave no frame and no number.
    for (int32_t x = l.x0 + 1; x < xs - 1; ++x)
        EXPECT_FALSE(isBlack(p.bitmap, x, l.y1 - H / 8)) << x;
    // The pulse keeps its number among all found: "2".
    const auto numbers = inkRuns(p.bitmap, l.numberRow, l.y0, 4, l.x0);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_GE(numbers[0].first, xs);
    EXPECT_LE(numbers[0].second, xe);

    // A range reaching past the end is cut to the series.
    d.from = 800;
    d.to = 5000;
    const Picture cut(d);
    EXPECT_EQ(cut.layout.from, 800);
    EXPECT_EQ(cut.layout.to, 900);
}

TEST(DetectionPlot, NumbersAndAxisLabelsNeverRunIntoEachOther)
{
    // 300 pulses over 3000 samples: far more numbers than fit.
    std::vector<int32_t> starts;
    for (int32_t s = 0; s + 10 <= 3000; s += 10)
        starts.push_back(s);
    const std::vector<int64_t> samples = seriesWithPulses(3000, starts, 5);
    views::DetectionPlotData d;
    d.samples = samples;
    d.starts = starts;
    d.pulseLength = 5;
    Picture p(d, "detection_plot_labels", 900);
    const views::DetectionPlotLayout& l = p.layout;
    Dc measure(p.bitmap);
    const int32_t widest = measure.textExtent("300").cx;

    const auto numbers = inkRuns(p.bitmap, l.numberRow, l.y0, 3, l.x0);
    EXPECT_GT(numbers.size(), 10u);
    EXPECT_LT(numbers.size(), 300u) << "numbers that would overlap are left out";
    for (const auto& [left, right] : numbers)
        EXPECT_LE(right - left + 1, widest) << "two numbers run together at " << left;

    const auto labels = inkRuns(p.bitmap, l.labelRow, l.labelRow + l.lineHeight, 3);
    EXPECT_GE(labels.size(), 4u) << "a few x labels and the axis name";
    const int32_t widestLabel = std::max(measure.textExtent("3000").cx, measure.textExtent("sample").cx);
    for (const auto& [left, right] : labels) {
        EXPECT_LE(right - left + 1, widestLabel) << "two labels run together at " << left;
        EXPECT_LT(right, 900);
    }
}

TEST(DetectionPlot, AxisTicksStandOnRoundIndexes)
{
    std::vector<int64_t> samples(1001, 5);
    views::DetectionPlotData d;
    d.samples = samples;
    const Picture p(d, "detection_plot_ticks");
    const views::DetectionPlotLayout& l = p.layout;
    // Every nice step (1, 2 or 5 times a power of ten up to the span) divides 0 and 1000.
    for (const int64_t k : {int64_t{0}, int64_t{1000}})
        EXPECT_TRUE(isBlack(p.bitmap, l.x0 + 1 + expectedColumn(k, 1001, l.W), l.y1 + 2)) << k;
    // y labels: the greatest at the top, the least at the bottom (zero is the least here).
    EXPECT_FALSE(inkRuns(p.bitmap, l.yTop - 3, l.yTop + 3, 2).empty());
    bool leftOfFrame = false;
    for (int32_t x = 0; x < l.x0 - 4; ++x)
        leftOfFrame = leftOfFrame || isBlack(p.bitmap, x, l.yBottom);
    EXPECT_TRUE(leftOfFrame) << "a label beside the bottom value";
}

TEST(DetectionPlot, TimesGiveTheLabelsAndMarksTickUnderTheirSamples)
{
    const size_t N = 5000;
    std::vector<int64_t> samples(N, 0);
    std::vector<double> times(N);
    for (size_t i = 0; i < N; ++i)
        times[i] = 12.5 + 0.004 * static_cast<double>(i);  // 250 samples a second
    const std::vector<int32_t> marks{1000, 2500};
    views::DetectionPlotData d;
    d.samples = samples;
    d.times = times;
    d.marks = marks;
    d.marksLabel = "ref";
    const Picture p(d, "detection_plot_times");
    const views::DetectionPlotLayout& l = p.layout;
    for (const int32_t m : marks) {
        const int32_t x = l.x0 + 1 + expectedColumn(m, N, l.W);
        for (int32_t y = l.marksTop; y < l.marksTop + 7; ++y)
            EXPECT_EQ(pixelAt(p.bitmap, x, y), views::kReferenceMarkColor) << m << " row " << y;
        EXPECT_NE(pixelAt(p.bitmap, x + 2, l.marksTop + 3), views::kReferenceMarkColor);
    }
    // The ticks: at whole seconds with this span, 13 s is sample 125 (0.5 s after the first).
    EXPECT_TRUE(isBlack(p.bitmap, l.x0 + 1 + expectedColumn(125, N, l.W), l.y1 + 2));
    // The marks' label stands left of the frame in their colour.
    bool label = false;
    for (int32_t y = l.marksTop - 4; y < l.labelRow + l.lineHeight; ++y)
        for (int32_t x = 0; x < l.x0; ++x)
            label = label || pixelAt(p.bitmap, x, y) == views::kReferenceMarkColor;
    EXPECT_TRUE(label);
}

TEST(DetectionPlot, EmptyAndTinyInputsDrawWithoutHarm)
{
    const int32_t before = liveDrawingObjects();
    views::DetectionPlotData d;
    d.title = " nothing ";
    const Picture empty(d);
    EXPECT_TRUE(isBlack(empty.bitmap, empty.layout.x0, empty.layout.y0)) << "an empty frame";
    const std::vector<int64_t> one{42};
    const std::vector<int32_t> starts{0, 5};
    d.samples = one;
    d.starts = starts;
    d.pulseLength = 10;
    const Picture p(d);
    bool blue = false;
    for (const uint32_t px : p.bitmap.pixels)
        blue = blue || colorFromPixel(px) == kBlue;
    EXPECT_TRUE(blue) << "the one sample is shown";
    // An area too small for a plot draws its header and nothing else.
    Bitmap small = makeBitmap(60, 30);
    Dc dc(small);
    views::drawDetectionPlot(dc, {0, 0, 60, 30}, d);
    EXPECT_EQ(liveDrawingObjects(), before) << "every pen and brush made is released";
}

TEST(DetectionPlotZoom, CoversAboutEightSpacingsFromBeforeTheFirstPulse)
{
    const std::vector<int32_t> starts{1000, 1100, 1210, 1300, 1400};
    const views::SampleRange r = views::detectionZoomRange(starts, 20, 100'000);
    EXPECT_EQ(r.from, 900);
    EXPECT_EQ(r.to, 900 + 8 * 100);
    // Cut to the series at both ends.
    const views::SampleRange end = views::detectionZoomRange(starts, 20, 1500);
    EXPECT_EQ(end.to, 1500);
    const std::vector<int32_t> early{30, 130};
    EXPECT_EQ(views::detectionZoomRange(early, 20, 100'000).from, 0);
    // Without pulses: the start of the series, 8 x 4 pulse lengths.
    const views::SampleRange none = views::detectionZoomRange({}, 25, 100'000);
    EXPECT_EQ(none.from, 0);
    EXPECT_EQ(none.to, 800);
}

}  // namespace
