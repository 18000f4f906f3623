// The drawing primitives put their pixels where the result pictures expect
// them: dotted pulse frames spanning first to last sample, strips whose full
// scale meets their edges, value lists of at most seven lines, and a
// highlighted etalon cell drawn white and thick on grey. None of them leaves
// a pen or brush of its own behind.

#include <gtest/gtest.h>

#include <set>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "view_test_support.h"
#include "views/drawing_conventions.h"
#include "views/drawing_primitives.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using viewtest::inRect;
using viewtest::pulseOf;

constexpr int32_t kLH = 12;  // the window font's line height

synthesis::SeriesHeader seriesWithFound(uint32_t N, uint16_t L, std::vector<int16_t> found)
{
    synthesis::SeriesHeader s;
    s.dwSeriesSize = N;
    s.wImpulseSize = L;
    s.wFoundPulses = static_cast<uint16_t>(found.size());
    s.lpFoundPositions = std::move(found);
    return s;
}

// Rect (10, 20, 110, 60): W = 100, H = 40, so the columns run from H/8 = 5 to
// below 7H/8 = 35 above the bottom and the rows lie 5 inside top and bottom.
TEST(PulseMarks, FrameAPulseAtTheStartAndOneEndingOnTheLastSample)
{
    Bitmap b = makeBitmap(130, 80);
    Dc dc(b);
    // N = 101 maps sample i to column i; the second pulse ends on sample 100.
    const synthesis::SeriesHeader s = seriesWithFound(101, 20, {0, 81});
    EXPECT_EQ(views::DrawPulseMarks(dc, s, {10, 20, 110, 60}), 1);

    std::set<Pixel> expected;
    for (int32_t x : {10, 29, 91, 110})
        for (int32_t y = 27; y <= 55; y += 2)  // bottom - j for j = 5, 7, .., 33
            expected.insert({x, y});
    for (int32_t x0 : {10, 91})
        for (int32_t x = x0; x < x0 + 19; x += 2) {
            expected.insert({x, 25});
            expected.insert({x, 55});
        }
    EXPECT_EQ(inked(b), expected);
    for (const Pixel& p : expected)
        EXPECT_EQ(pixelAt(b, p.first, p.second), kBlack);
}

TEST(PulseMarks, AFrameWhoseEndsShareAColumnIsOneDottedColumn)
{
    Bitmap b = makeBitmap(80, 80);
    Dc dc(b);
    // 20 samples of a 10001-sample series across 50 pixels: both ends map to column 25.
    const synthesis::SeriesHeader s = seriesWithFound(10001, 20, {5000});
    views::DrawPulseMarks(dc, s, {10, 20, 60, 60});
    std::set<Pixel> expected;
    for (int32_t y = 27; y <= 55; y += 2)
        expected.insert({35, y});
    EXPECT_EQ(inked(b), expected);
}

TEST(PulseMarks, DrawOverThePictureAndOnlyForRecordedPositions)
{
    Bitmap b = makeBitmap(130, 80, rgb(0, 0, 255));
    Dc dc(b);
    synthesis::SeriesHeader s = seriesWithFound(101, 20, {0, 50});
    s.wFoundPulses = 1;  // the second entry is stale and must not be framed
    views::DrawPulseMarks(dc, s, {10, 20, 110, 60});
    EXPECT_EQ(pixelAt(b, 10, 27), kBlack);
    EXPECT_EQ(pixelAt(b, 60, 27), rgb(0, 0, 255));

    // A count beyond the positions held frames what is there and reads no further.
    s.wFoundPulses = 500;
    views::DrawPulseMarks(dc, s, {10, 20, 110, 60});
    EXPECT_EQ(pixelAt(b, 60, 27), kBlack);

    // A series of one sample has no mapping.
    Bitmap c = makeBitmap(130, 80);
    Dc dc2(c);
    views::DrawPulseMarks(dc2, seriesWithFound(1, 1, {0}), {10, 20, 110, 60});
    EXPECT_TRUE(inked(c).empty());
}

// The strip of DrawPulseStrip starts 1 + LH + LH/2 = 19 pixels below the top
// and 10 right of the left: samples +A and -A lie on its top and bottom rows.
TEST(PulseStrip, FullScaleSamplesReachTheStripEdgesExactly)
{
    Bitmap b = makeBitmap(200, 120);
    Dc dc(b);
    const int32_t A = 100;
    const synthesis::PulseHeader pulse = pulseOf({0, A, -A});
    const Rect rect{20, 10, 60, 50};  // W = 40, H = 40
    views::DrawPulseStrip(dc, rect, A, pulse, kLH);
    const int32_t x0 = 30, y0 = 29, W = 40, H = 40;
    EXPECT_NE(pixelAt(b, x0 + W / 2, y0), kWhite);          // sample 1 at +A
    EXPECT_NE(pixelAt(b, x0 + W, y0 + H), kWhite);          // sample 2 at -A
    EXPECT_NE(pixelAt(b, x0 + W + 4, y0 + H / 2), kWhite);  // the zero line runs 5 beyond the strip
    EXPECT_EQ(pixelAt(b, x0 + W + 5, y0 + H / 2), kWhite);
    // Nothing of the curve lies outside the strip rows.
    const std::set<Pixel> strip = inRect(inked(b), x0, y0 - 5, x0 + W + 6, y0 + H + 5);
    EXPECT_EQ(picture::boundsOf(strip), (Rect{x0, y0, x0 + W + 5, y0 + H + 1}));
}

// Count the value lines: line k is written at top + 1 + k*(LH - 2), right of the strip.
int32_t valueLines(const synthesis::PulseHeader& pulse)
{
    Bitmap b = makeBitmap(300, 160);
    Dc dc(b);
    views::DrawPulseStrip(dc, {10, 10, 60, 50}, 128, pulse, kLH);
    const std::set<Pixel> ink = inked(b);
    const int32_t x1 = 20 + 50 + 10;
    int32_t lines = 0;
    for (int32_t k = 0; k < 12; ++k) {
        const int32_t y = 11 + k * (kLH - 2);
        if (!inRect(ink, x1, y + 2, 300, y + 10).empty())
            lines = k + 1;
    }
    return lines;
}

TEST(PulseStrip, ListsAtMostTheFirstSevenSamples)
{
    EXPECT_EQ(valueLines(pulseOf({5, -7, 9})), 3);
    EXPECT_EQ(valueLines(pulseOf(std::vector<int16_t>(20, 11))), 7);

    // The first line reads "1. 5", exactly as the text drawn alone.
    Bitmap got = makeBitmap(300, 160), want = makeBitmap(300, 160);
    Dc dc(got), ref(want);
    views::DrawPulseStrip(dc, {10, 10, 60, 50}, 128, pulseOf({5, -7, 9}), kLH);
    ref.textOut(80, 11, "1. 5");
    ref.textOut(80, 21, "2. -7");
    ref.textOut(80, 31, "3. 9");
    ref.textOut(20, 11, " pulse:");
    EXPECT_EQ(inRect(inked(got), 0, 0, 300, 26), inRect(inked(want), 0, 0, 300, 26));
}

// DrawEtalonCell's strip starts 1 + LH + LH/4 = 16 pixels below the top, at the left edge.
TEST(EtalonCell, LettersFollowTheCharacterCodes)
{
    for (const auto& [number, text] :
         std::vector<std::pair<int16_t, const char*>>{{1, " a "}, {20, " t "}, {26, " z "}, {27, " { "}}) {
        Bitmap got = makeBitmap(120, 80), want = makeBitmap(120, 80);
        Dc dc(got), ref(want);
        views::DrawEtalonCell(dc, pulseOf({0, 0}, number), 128, 0, {10, 10, 70, 50}, kLH);
        ref.textOut(10, 11, text);
        EXPECT_EQ(inRect(inked(got), 0, 0, 120, 24), inRect(inked(want), 0, 0, 120, 24)) << number;
    }
}

TEST(EtalonCell, PlainCellDrawsAxesAndCurveInTheCurrentPen)
{
    Bitmap b = makeBitmap(120, 100);
    Dc dc(b);
    const Pen previous = dc.selectPen(createPen(PenStyle::Solid, 1, rgb(0, 128, 0)));
    const int32_t A = 64;
    views::DrawEtalonCell(dc, pulseOf({0, A, 0, -A, 0}), A, 0, {10, 10, 70, 50}, kLH);
    dc.selectPen(previous);
    const int32_t x0 = 10, y0 = 26, W = 60, H = 40;
    EXPECT_EQ(pixelAt(b, x0, y0), rgb(0, 128, 0));  // top of the vertical axis
    EXPECT_EQ(pixelAt(b, x0 + W + 4, y0 + H / 2), rgb(0, 128, 0));
    EXPECT_EQ(pixelAt(b, x0 + W / 4, y0), rgb(0, 128, 0));  // sample 1 at +A
    EXPECT_EQ(pixelAt(b, x0 + 3 * W / 4, y0 + H), rgb(0, 128, 0));
    for (const Pixel& p : inRect(inked(b), 0, y0, 120, 100))
        EXPECT_EQ(pixelAt(b, p.first, p.second), rgb(0, 128, 0));
}

TEST(EtalonCell, HighlightedCellIsWhiteAndThickOnGrey)
{
    const int32_t A = 100;
    std::vector<int16_t> ramp;
    for (int i = 0; i < 20; ++i)
        ramp.push_back(static_cast<int16_t>(10 + i * 4));  // stays off both axes
    const synthesis::PulseHeader etalon = pulseOf(ramp, 3);
    const Rect rect{20, 10, 100, 70};
    const int32_t x0 = 20, y0 = 26, W = 80, H = 60;

    Bitmap plain = makeBitmap(160, 130), bold = makeBitmap(160, 130);
    Dc dcPlain(plain), dcBold(bold);
    views::DrawEtalonCell(dcPlain, etalon, A, 0, rect, kLH);
    views::DrawEtalonCell(dcBold, etalon, A, 1, rect, kLH);

    const Color grey = rgb(163, 163, 163);
    // The grey box spans (x0 - 3, y0 - 3) to (x0 + W + 8, y0 + H + 3), right and bottom outside.
    EXPECT_EQ(pixelAt(bold, x0 - 3, y0 - 3), grey);
    EXPECT_EQ(pixelAt(bold, x0 + W + 7, y0 + H + 2), grey);
    EXPECT_EQ(pixelAt(bold, x0 + W + 8, y0 + H + 2), kWhite);
    EXPECT_EQ(pixelAt(bold, x0 + W + 7, y0 + H + 3), kWhite);
    EXPECT_EQ(pixelAt(bold, x0 - 4, y0), kWhite);

    // Every curve pixel of the plain cell is white in the highlighted one, and
    // so are its neighbours one to the right and one above.
    const int32_t zeroY = y0 + H / 2;
    int32_t checked = 0;
    for (const Pixel& p : inRect(inked(plain), x0 + 1, y0 - 2, 160, 130)) {
        if (p.second == zeroY)
            continue;
        ++checked;
        EXPECT_EQ(pixelAt(bold, p.first, p.second), kWhite);
        EXPECT_EQ(pixelAt(bold, p.first + 1, p.second), kWhite);
        EXPECT_EQ(pixelAt(bold, p.first, p.second - 1), kWhite);
    }
    EXPECT_GT(checked, W);
    // Inside the box nothing but grey and white.
    for (int32_t y = y0 - 3; y < y0 + H + 3; ++y)
        for (int32_t x = x0 - 3; x < x0 + W + 8; ++x)
            EXPECT_TRUE(pixelAt(bold, x, y) == grey || pixelAt(bold, x, y) == kWhite) << x << "," << y;
    // The axes are white too.
    EXPECT_EQ(pixelAt(bold, x0, y0 + 5), kWhite);
    EXPECT_EQ(pixelAt(bold, x0 + W + 4, zeroY), kWhite);
}

TEST(Primitives, SelectBackWhatTheyReplacedAndReleaseWhatTheyMade)
{
    Bitmap b = makeBitmap(200, 200);
    Dc dc(b);
    const int32_t before = liveDrawingObjects();
    const Pen pen = dc.pen();
    const Brush brush = dc.brush();
    const synthesis::PulseHeader pulse = pulseOf({1, 50, -50, 2}, 4);
    views::DrawEtalonCell(dc, pulse, 64, 1, {10, 10, 90, 60}, kLH);
    views::DrawEtalonCell(dc, pulse, 64, 0, {10, 100, 90, 150}, kLH);
    views::DrawPulseStrip(dc, {100, 10, 150, 60}, 64, pulse, kLH);
    views::DrawPulseMarks(dc, seriesWithFound(50, 4, {3, 20}), {10, 10, 190, 190});
    EXPECT_EQ(liveDrawingObjects(), before);
    EXPECT_EQ(dc.pen(), pen);
    EXPECT_EQ(dc.brush(), brush);
}

TEST(Primitives, CurvesNeedTwoSamplesAndAPositiveAmplitude)
{
    for (const auto& [samples, amplitude] : std::vector<std::pair<std::vector<int16_t>, int32_t>>{
             {{40}, 64}, {{}, 64}, {{10, 20, 30}, 0}, {{10, 20, 30}, -5}}) {
        Bitmap b = makeBitmap(200, 120);
        Dc dc(b);
        views::DrawEtalonCell(dc, pulseOf(samples, 1), amplitude, 0, {10, 10, 70, 50}, kLH);
        // Only the label and the two axes: a vertical line and the zero line.
        for (const Pixel& p : inRect(inked(b), 0, 26, 200, 120))
            EXPECT_TRUE(p.first == 10 || p.second == 26 + 20) << p.first << "," << p.second;
    }
}

}  // namespace
