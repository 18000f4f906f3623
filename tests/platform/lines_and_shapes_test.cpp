// Lines, rectangles and ellipses cover exactly the pixels the classic drawing
// rules give them: every view's geometry depends on it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "picture_test_support.h"
#include "platform/dc.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;

std::set<Pixel> drawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w = 64, int32_t h = 64)
{
    Bitmap b = makeBitmap(w, h);
    Dc dc(b);
    dc.moveTo(x0, y0);
    dc.lineTo(x1, y1);
    return inked(b);
}

TEST(Lines, LeaveOutTheirEndPixel)
{
    EXPECT_EQ(drawLine(5, 7, 15, 7),
              (std::set<Pixel>{{5, 7}, {6, 7}, {7, 7}, {8, 7}, {9, 7}, {10, 7}, {11, 7}, {12, 7}, {13, 7}, {14, 7}}));
    EXPECT_EQ(drawLine(9, 9, 9, 6), (std::set<Pixel>{{9, 9}, {9, 8}, {9, 7}}));
    EXPECT_EQ(drawLine(3, 3, 6, 6), (std::set<Pixel>{{3, 3}, {4, 4}, {5, 5}}));
    EXPECT_TRUE(drawLine(4, 4, 4, 4).empty());
}

// Over many generated lines: one pixel per step of the major axis, the start
// drawn, the end not, each pixel within half a pixel of the true line and
// touching the one before it.
TEST(Lines, FollowTheTrueLineOneStepAtATime)
{
    picture::Sweep sweep;
    for (int n = 0; n < 400; ++n) {
        const int32_t x0 = sweep.next(0, 63), y0 = sweep.next(0, 63), x1 = sweep.next(0, 63), y1 = sweep.next(0, 63);
        const std::set<Pixel> px = drawLine(x0, y0, x1, y1);
        const int32_t dx = x1 - x0, dy = y1 - y0;
        const int32_t steps = std::max(std::abs(dx), std::abs(dy));
        ASSERT_EQ(static_cast<int32_t>(px.size()), steps) << x0 << "," << y0 << " -> " << x1 << "," << y1;
        if (steps == 0)
            continue;
        EXPECT_TRUE(px.count({x0, y0}));
        EXPECT_FALSE(px.count({x1, y1}));
        for (const auto& [x, y] : px) {
            if (std::abs(dx) >= std::abs(dy)) {
                const double ideal = y0 + static_cast<double>(x - x0) * dy / dx;
                EXPECT_LE(std::abs(y - ideal), 0.5 + 1e-9);
            } else {
                const double ideal = x0 + static_cast<double>(y - y0) * dx / dy;
                EXPECT_LE(std::abs(x - ideal), 0.5 + 1e-9);
            }
            // 8-connected to some other pixel of the line
            bool neighbour = px.size() == 1;
            for (int ox = -1; ox <= 1 && !neighbour; ++ox)
                for (int oy = -1; oy <= 1 && !neighbour; ++oy)
                    neighbour = (ox || oy) && px.count({x + ox, y + oy});
            EXPECT_TRUE(neighbour);
        }
    }
}

// The views frame their areas as closed polylines; the four sides must not
// overlap (each corner drawn once) and together make the whole border.
TEST(Lines, ClosedRectanglePolylineDrawsEachCornerOnce)
{
    const int32_t l = 4, t = 6, W = 20, H = 11;
    const Point path[] = {{l, t}, {l, t + H}, {l + W, t + H}, {l + W, t}, {l, t}};
    std::set<Pixel> whole;
    size_t sum = 0;
    for (int k = 0; k < 4; ++k) {
        const std::set<Pixel> side = drawLine(path[k].x, path[k].y, path[k + 1].x, path[k + 1].y);
        sum += side.size();
        whole.insert(side.begin(), side.end());
    }
    EXPECT_EQ(sum, whole.size()) << "two sides share a pixel";
    EXPECT_EQ(whole.size(), static_cast<size_t>(2 * (W + H)));
    for (const Pixel& corner : {Pixel{l, t}, Pixel{l, t + H}, Pixel{l + W, t + H}, Pixel{l + W, t}})
        EXPECT_TRUE(whole.count(corner));

    Bitmap b = makeBitmap(64, 64);
    Dc dc(b);
    dc.moveTo(path[0].x, path[0].y);
    for (int k = 1; k < 5; ++k)
        dc.lineTo(path[k].x, path[k].y);
    EXPECT_EQ(inked(b), whole);
    EXPECT_EQ(dc.currentPosition(), (Point{l, t}));
}

TEST(Lines, FarOutsideThePictureCostNothingAndDrawOnlyTheVisiblePart)
{
    Bitmap b = makeBitmap(50, 40);
    Dc dc(b);
    dc.moveTo(-2000000000, 10);
    dc.lineTo(2000000000, 10);
    std::set<Pixel> row;
    for (int32_t x = 0; x < 50; ++x)
        row.insert({x, 10});
    EXPECT_EQ(inked(b), row);

    Bitmap c = makeBitmap(50, 40);
    Dc dc2(c);
    dc2.moveTo(-100, -100);
    dc2.lineTo(100, 100);
    const std::set<Pixel> diagonal = inked(c);
    EXPECT_EQ(diagonal.size(), 40u);
    for (const auto& [x, y] : diagonal)
        EXPECT_EQ(x, y);
}

TEST(Lines, WiderPensCoverASquareAroundEachPoint)
{
    Bitmap b = makeBitmap(40, 20);
    Dc dc(b);
    Pen thick = createPen(PenStyle::Solid, 3, rgb(255, 0, 0));
    dc.selectPen(thick);
    dc.moveTo(5, 10);
    dc.lineTo(15, 10);
    EXPECT_EQ(picture::boundsOf(inked(b)), (Rect{4, 9, 16, 12}));  // points 5..14, one more each side
    EXPECT_EQ(pixelAt(b, 10, 9), rgb(255, 0, 0));
}

TEST(Rectangles, CoverLeftToRightMinusOneWithPenOutlineAndBrushInside)
{
    Bitmap b = makeBitmap(40, 40);
    Dc dc(b);
    Pen red = createPen(PenStyle::Solid, 1, rgb(255, 0, 0));
    Brush blue = createSolidBrush(rgb(0, 0, 255));
    dc.selectPen(red);
    dc.selectBrush(blue);
    dc.rectangle(10, 20, 30, 25);
    EXPECT_EQ(picture::boundsOf(inked(b)), (Rect{10, 20, 30, 25}));
    for (int32_t x = 10; x < 30; ++x) {
        EXPECT_EQ(pixelAt(b, x, 20), rgb(255, 0, 0));
        EXPECT_EQ(pixelAt(b, x, 24), rgb(255, 0, 0));
    }
    for (int32_t y = 20; y < 25; ++y) {
        EXPECT_EQ(pixelAt(b, 10, y), rgb(255, 0, 0));
        EXPECT_EQ(pixelAt(b, 29, y), rgb(255, 0, 0));
    }
    for (int32_t y = 21; y < 24; ++y)
        for (int32_t x = 11; x < 29; ++x)
            ASSERT_EQ(pixelAt(b, x, y), rgb(0, 0, 255));

    // Swapped corners give the same rectangle.
    Bitmap c = makeBitmap(40, 40);
    Dc dc2(c);
    dc2.selectPen(red);
    dc2.selectBrush(blue);
    dc2.rectangle(30, 25, 10, 20);
    EXPECT_TRUE(picture::samePicture(c, b, "swapped-corners"));
}

TEST(Rectangles, NullPenFillsAllNullBrushKeepsTheInsideAndEmptyDrawsNothing)
{
    Bitmap b = makeBitmap(30, 30, rgb(9, 9, 9));
    Dc dc(b);
    dc.selectPen(stockPen(StockPen::Null));
    dc.rectangle(2, 3, 7, 9);
    EXPECT_EQ(inked(b, rgb(9, 9, 9)).size(), 5u * 6u);
    EXPECT_EQ(pixelAt(b, 2, 3), kWhite);

    Bitmap c = makeBitmap(30, 30, rgb(9, 9, 9));
    Dc dc2(c);
    dc2.selectBrush(stockBrush(StockBrush::Null));
    dc2.rectangle(2, 3, 7, 9);
    EXPECT_EQ(pixelAt(c, 4, 5), rgb(9, 9, 9));
    EXPECT_EQ(inked(c, rgb(9, 9, 9)).size(), 2u * 5u + 2u * 4u);

    Bitmap d = makeBitmap(30, 30);
    Dc dc3(d);
    dc3.rectangle(5, 5, 5, 20);
    dc3.rectangle(5, 5, 20, 5);
    EXPECT_TRUE(inked(d).empty());
}

TEST(Ellipses, TouchAllFourSidesOfTheirBoxAndStayInside)
{
    picture::Sweep sweep;
    for (int n = 0; n < 150; ++n) {
        const int32_t w = sweep.next(1, 40), h = sweep.next(1, 40);
        const int32_t l = sweep.next(0, 10), t = sweep.next(0, 10);
        Bitmap b = makeBitmap(64, 64);
        Dc dc(b);
        dc.selectBrush(stockBrush(StockBrush::Black));
        dc.ellipse(l, t, l + w, t + h);
        const std::set<Pixel> px = inked(b);
        ASSERT_EQ(picture::boundsOf(px), (Rect{l, t, l + w, t + h})) << w << " x " << h;
        // Mirror symmetry about both middle lines of the box.
        for (const auto& [x, y] : px) {
            EXPECT_TRUE(px.count({2 * l + w - 1 - x, y}));
            EXPECT_TRUE(px.count({x, 2 * t + h - 1 - y}));
        }
        // The covered area is the ellipse's area give or take its border.
        const double area = 3.14159265358979 * w * h / 4.0;
        EXPECT_NEAR(static_cast<double>(px.size()), area, 2.0 * (w + h) + 2.0);
    }
}

TEST(Ellipses, OutlineInPenInsideInBrush)
{
    Bitmap b = makeBitmap(40, 40);
    Dc dc(b);
    Pen red = createPen(PenStyle::Solid, 1, rgb(255, 0, 0));
    Brush grey = createSolidBrush(rgb(163, 163, 163));
    dc.selectPen(red);
    dc.selectBrush(grey);
    dc.ellipse(5, 5, 17, 17);  // an option circle of a 12-pixel line height
    for (const Pixel& p : {Pixel{5, 11}, Pixel{16, 11}, Pixel{11, 5}, Pixel{11, 16}})
        EXPECT_EQ(pixelAt(b, p.first, p.second), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(b, 11, 11), rgb(163, 163, 163));
    EXPECT_EQ(pixelAt(b, 5, 5), kWhite);
    // The outline is closed: walking inwards from any side meets the pen first.
    for (int32_t y = 5; y < 17; ++y) {
        int32_t x = 0;
        while (pixelAt(b, x, y) == kWhite)
            ++x;
        EXPECT_EQ(pixelAt(b, x, y), rgb(255, 0, 0)) << y;
    }
}

}  // namespace
