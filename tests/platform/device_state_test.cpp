// The drawing device's objects, clip region, pixels and copies: what a view
// selects it gets back, what it creates is counted until released, and
// nothing lands outside the clip region.

#include <gtest/gtest.h>

#include "picture_test_support.h"
#include "platform/dc.h"
#include "platform/drawing_objects.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;

TEST(DrawingObjects, SelectingReturnsThePreviousAndReleasingIsCounted)
{
    const int32_t before = liveDrawingObjects();
    Bitmap b = makeBitmap(20, 20);
    {
        Dc dc(b);
        EXPECT_EQ(dc.pen(), stockPen(StockPen::Black));
        EXPECT_EQ(dc.brush(), stockBrush(StockBrush::White));
        EXPECT_EQ(dc.font(), stockVariableFont());

        Pen grey = createPen(PenStyle::Solid, 1, rgb(163, 163, 163));
        Brush fill = createSolidBrush(rgb(163, 163, 163));
        EXPECT_EQ(liveDrawingObjects(), before + 2);
        Pen oldPen = dc.selectPen(grey);
        Brush oldBrush = dc.selectBrush(fill);
        EXPECT_EQ(oldPen, stockPen(StockPen::Black));
        EXPECT_EQ(oldBrush, stockBrush(StockBrush::White));
        dc.rectangle(1, 1, 5, 5);
        EXPECT_EQ(pixelAt(b, 1, 1), rgb(163, 163, 163));

        // The discipline of the views: select back, then let the object go.
        EXPECT_EQ(dc.selectPen(oldPen), grey);
        EXPECT_EQ(dc.selectBrush(oldBrush), fill);
        grey.reset();
        fill.reset();
        EXPECT_EQ(liveDrawingObjects(), before);

        // An object left selected stays alive: the count shows the leak.
        dc.selectPen(createPen(PenStyle::Solid, 1, rgb(1, 2, 3)));
        EXPECT_EQ(liveDrawingObjects(), before + 1);
        dc.moveTo(0, 10);
        dc.lineTo(3, 10);
        EXPECT_EQ(pixelAt(b, 2, 10), rgb(1, 2, 3));

        // An empty handle selects nothing.
        EXPECT_EQ(dc.selectPen(Pen{}), nullptr);
        EXPECT_EQ(dc.pen()->color, rgb(1, 2, 3));
    }
    EXPECT_EQ(liveDrawingObjects(), before);
}

TEST(DrawingObjects, FontsAreCountedAndTheWindowFontIsStock)
{
    const int32_t before = liveDrawingObjects();
    Font f = createFont(20);
    ASSERT_TRUE(f);
    EXPECT_EQ(liveDrawingObjects(), before + 1);
    f.reset();
    EXPECT_EQ(liveDrawingObjects(), before);
    EXPECT_TRUE(stockVariableFont()->isStock());
}

TEST(ClipRegion, NothingIsDrawnOrReadOutsideIt)
{
    Bitmap b = makeBitmap(40, 30, rgb(50, 50, 50));
    Region clip;
    addRect(clip, {2, 2, 10, 6});
    addRect(clip, {20, 10, 25, 30});
    Dc dc(b, clip);
    EXPECT_EQ(dc.clipBox(), (Rect{2, 2, 25, 30}));
    dc.selectPen(stockPen(StockPen::Null));
    dc.rectangle(-5, -5, 100, 100);
    dc.selectPen(stockPen(StockPen::Black));
    dc.moveTo(0, 4);
    dc.lineTo(40, 4);
    const std::set<Pixel> changed = inked(b, rgb(50, 50, 50));
    EXPECT_EQ(changed.size(), 8u * 4u + 5u * 20u);
    for (const auto& [x, y] : changed)
        EXPECT_TRUE(contains(clip, x, y)) << x << "," << y;
    EXPECT_EQ(pixelAt(b, 5, 4), kBlack);

    EXPECT_EQ(dc.getPixel(0, 0), CLR_INVALID);
    EXPECT_EQ(dc.setPixel(0, 0, kBlack), CLR_INVALID);
    EXPECT_EQ(pixelAt(b, 0, 0), rgb(50, 50, 50));
    EXPECT_EQ(dc.setPixel(21, 11, rgb(0, 0, 255)), rgb(0, 0, 255));
    EXPECT_EQ(dc.getPixel(21, 11), rgb(0, 0, 255));

    dc.intersectClipRect({0, 0, 22, 30});
    EXPECT_EQ(dc.clipBox(), (Rect{2, 2, 22, 30}));
    EXPECT_FALSE(dc.ptVisible(23, 12));
    dc.selectClipRegion(nullptr);
    EXPECT_TRUE(dc.ptVisible(0, 0));
    EXPECT_EQ(dc.getPixel(40, 0), CLR_INVALID);
}

TEST(Pixels, ColoursKeepTheirComponents)
{
    Bitmap b = makeBitmap(4, 4);
    Dc dc(b);
    dc.setPixel(1, 2, rgb(10, 20, 30));
    EXPECT_EQ(dc.getPixel(1, 2), rgb(10, 20, 30));
    EXPECT_EQ(rgb(10, 20, 30), 10u + 256u * 20u + 65536u * 30u);
    // The picture holds 0x00RRGGBB words, the row layout of a 32-bit device-independent bitmap.
    EXPECT_EQ(b.pixels[2 * 4 + 1], 0x000A141Eu);
}

TEST(BitBlt, CopiesTheButtonAndStaysInsideSourceAndClip)
{
    Bitmap button = makeBitmap(6, 3, rgb(192, 192, 192));
    button.pixels[0] = pixelFromColor(rgb(255, 0, 0));
    Bitmap window = makeBitmap(20, 10);
    Dc dc(window);
    dc.bitBlt(4, 5, 6, 3, button, 0, 0);
    EXPECT_EQ(picture::boundsOf(inked(window)), (Rect{4, 5, 10, 8}));
    EXPECT_EQ(pixelAt(window, 4, 5), rgb(255, 0, 0));

    // A copy larger than its source takes only what the source has; one that
    // runs over the window's edge is cut there.
    Bitmap second = makeBitmap(20, 10);
    Dc dc2(second);
    dc2.bitBlt(17, 8, 144, 32, button, 0, 0);
    EXPECT_EQ(picture::boundsOf(inked(second)), (Rect{17, 8, 20, 10}));

    Bitmap third = makeBitmap(20, 10);
    Region clip;
    addRect(clip, {0, 0, 6, 10});
    Dc dc3(third, clip);
    dc3.bitBlt(4, 5, 6, 3, button, 0, 0);
    EXPECT_EQ(picture::boundsOf(inked(third)), (Rect{4, 5, 6, 8}));
}

TEST(FillRect, UsesTheGivenBrushAndKeepsTheSelectedOne)
{
    Bitmap b = makeBitmap(10, 10);
    Dc dc(b);
    Brush green = createSolidBrush(rgb(0, 255, 0));
    dc.fillRect({2, 3, 5, 4}, green);
    EXPECT_EQ(inked(b), (std::set<Pixel>{{2, 3}, {3, 3}, {4, 3}}));
    EXPECT_EQ(dc.brush(), stockBrush(StockBrush::White));
    dc.fillRect({0, 0, 10, 10}, stockBrush(StockBrush::Null));
    EXPECT_EQ(inked(b).size(), 3u);
}

TEST(RegionBookkeeping, CoveredRectanglesAreDroppedAndEmptyOnesIgnored)
{
    Region r;
    addRect(r, {0, 0, 5, 5});
    addRect(r, {1, 1, 3, 3});
    addRect(r, {7, 7, 7, 9});
    EXPECT_EQ(r.rects.size(), 1u);
    addRect(r, {-1, -1, 10, 10});
    EXPECT_EQ(r.rects.size(), 1u);
    EXPECT_EQ(bounds(r), (Rect{-1, -1, 10, 10}));
    EXPECT_EQ(clipped(r, {0, 0, 4, 4}).rects, (std::vector<Rect>{{0, 0, 4, 4}}));
}

}  // namespace
