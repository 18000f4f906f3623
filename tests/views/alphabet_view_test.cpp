// The alphabet view and the option panels: the working-area frame, cell
// titles where the cells begin, selected etalons bold blue in a triple grey
// frame, unselected ones dark blue in a single frame; panels with their
// caption on the border, option rectangles for the mouse and a mark that is
// black only when the chosen option is the value in force.

#include <gtest/gtest.h>

#include <array>

#include "platform/drawing_objects.h"
#include "platform/picture_test_support.h"
#include "view_test_support.h"
#include "views/alphabet_view.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;
using viewtest::hasColour;
using viewtest::inRect;
using viewtest::pulseOf;

constexpr int32_t kLH = 12;

// Two cells of 100 x 100 in a view area (10, 10, 249, 129); etalon 1 selected.
struct TwoCells {
    std::array<synthesis::PulseHeader, 2> etalons{pulseOf({0, 128, -128, 0}, 1), pulseOf({0, 64, -64, 0}, 2)};
    std::array<views::LayoutRect, 2> cells{views::LayoutRect{20, 20, 119, 119}, views::LayoutRect{140, 20, 239, 119}};
    std::array<uint16_t, 2> selected{1, 0};
    Bitmap picture = makeBitmap(280, 160);

    void draw()
    {
        Dc dc(picture);
        views::AlphabetViewInput in;
        in.frame = {{10, 10, 249, 129}, kLH};
        in.cellWidth = 100;
        in.cellHeight = 100;
        in.cells = cells;
        in.etalons = etalons;
        in.selected = selected;
        in.amplitude = 128;
        views::drawAlphabetView(dc, in);
    }
};

TEST(AlphabetView, FramesTheAreaAndEveryCellBySelection)
{
    TwoCells v;
    v.draw();
    const Bitmap& b = v.picture;
    // The area frame passes one pixel outside the right and bottom of the area.
    EXPECT_EQ(pixelAt(b, 10, 60), kBlack);
    EXPECT_EQ(pixelAt(b, 250, 60), kBlack);
    EXPECT_EQ(pixelAt(b, 100, 130), kBlack);
    EXPECT_EQ(pixelAt(b, 249, 60), kWhite);

    const Color grey = rgb(163, 163, 163), darker = rgb(127, 127, 127);
    // Selected: three frames, outset, at the cell and inset (left edge 19, 20, 21; right 121, 120, 119).
    for (int32_t x : {19, 20, 21, 119, 120, 121})
        EXPECT_EQ(pixelAt(b, x, 110), grey) << x;
    EXPECT_EQ(pixelAt(b, 60, 19), grey);
    EXPECT_EQ(pixelAt(b, 60, 121), grey);
    // Unselected: one darker frame.
    EXPECT_EQ(pixelAt(b, 140, 110), darker);
    EXPECT_EQ(pixelAt(b, 240, 110), darker);
    EXPECT_EQ(pixelAt(b, 139, 110), kWhite);
    EXPECT_EQ(pixelAt(b, 141, 110), kWhite);

    // Curve colours follow the selection.
    EXPECT_TRUE(hasColour(b, rgb(0, 0, 255), 20, 37, 120, 120));
    EXPECT_FALSE(hasColour(b, rgb(0, 0, 127), 20, 37, 120, 120));
    EXPECT_TRUE(hasColour(b, rgb(0, 0, 127), 140, 37, 240, 120));
    EXPECT_FALSE(hasColour(b, rgb(0, 0, 255), 140, 37, 240, 120));
}

// Inside a cell: x = left + 5, the curve origin one line below top + 5, height
// p = (100 - 10) - LH = 78, sample j at x + j*(w - 6)/(n - 1) = x + 28j.
TEST(AlphabetView, CurveIsBoldAndFullScaleFillsThePlotHeight)
{
    TwoCells v;
    v.draw();
    const Bitmap& b = v.picture;
    const Color blue = rgb(0, 0, 255);
    const int32_t x = 25, y = 37, p = 78;
    EXPECT_EQ(pixelAt(b, x + 28, y), blue);      // +a at the top
    EXPECT_EQ(pixelAt(b, x + 28, y - 1), blue);  // the pass one higher
    EXPECT_EQ(pixelAt(b, x + 29, y), blue);      // the pass one to the right
    EXPECT_EQ(pixelAt(b, x + 56, y + p), blue);  // -a at the bottom
    EXPECT_EQ(pixelAt(b, x + 56, y + p + 1), kWhite);
    // Axes in the black pen: the vertical one and the zero line up to x + w - 2.
    EXPECT_EQ(pixelAt(b, x, y + 5), kBlack);
    EXPECT_EQ(pixelAt(b, x + 88, y + p / 2), kBlack);
    EXPECT_EQ(pixelAt(b, x + 89, y + p / 2), kWhite);
}

TEST(AlphabetView, CellTitleNamesNumberAndEnergyAtTheCellCorner)
{
    EXPECT_EQ(views::alphabetCellTitle(pulseOf({3, -4}, 7)), " pulse 7 [25]");
    EXPECT_EQ(views::alphabetCellTitle(pulseOf(std::vector<int16_t>(20, 60), 1)), " pulse 1 [72000]");

    // Etalons {0, 128, -128, 0} and {0, 64, -64, 0}: energies 32768 and 8192,
    // written at (left + 5, top + 5) of their cells.
    TwoCells v;
    v.draw();
    Bitmap want = makeBitmap(280, 160);
    Dc ref(want);
    ref.textOut(25, 25, " pulse 1 [32768]");
    ref.textOut(145, 25, " pulse 2 [8192]");
    EXPECT_EQ(inRect(inked(v.picture), 22, 22, 118, 36), inRect(inked(want), 22, 22, 118, 36));
    EXPECT_EQ(inRect(inked(v.picture), 142, 22, 238, 36), inRect(inked(want), 142, 22, 238, 36));
}

TEST(AlphabetView, ReleasesItsPens)
{
    const int32_t before = liveDrawingObjects();
    TwoCells v;
    v.draw();
    EXPECT_EQ(liveDrawingObjects(), before);
}

// A panel (300, 10, 400, 100) with the window font: marks at x = 310, the
// first 1.5 lines below the top (28), the next every 18 pixels.
struct Panel {
    std::array<int32_t, 3> options{200, 600, 1200};
    std::array<views::LayoutRect, 3> rects{};
    Bitmap picture = makeBitmap(460, 130);

    void draw(int32_t chosen, int32_t inEffect)
    {
        Dc dc(picture);
        views::drawChoicePanel(dc, {300, 10, 400, 100}, rects, " series length: ", options, chosen, inEffect, kLH);
    }
};

TEST(ChoicePanel, RecordsOneClickableStripPerOption)
{
    Panel p;
    p.draw(3, 1200);
    EXPECT_EQ(p.rects[0], (views::LayoutRect{310, 28, 411, 45}));
    EXPECT_EQ(p.rects[1], (views::LayoutRect{310, 46, 411, 63}));
    EXPECT_EQ(p.rects[2], (views::LayoutRect{310, 64, 411, 81}));

    // Fewer rectangles than options: the others are drawn but not recorded.
    std::array<views::LayoutRect, 1> one{};
    Bitmap b = makeBitmap(460, 130);
    Dc dc(b);
    views::drawChoicePanel(dc, {300, 10, 400, 100}, one, " noise level: ", p.options, 1, 0, kLH);
    EXPECT_EQ(one[0], (views::LayoutRect{310, 28, 411, 45}));
    EXPECT_NE(pixelAt(b, 310, 70), kWhite);  // the third circle is there
}

TEST(ChoicePanel, MarkIsBlackOnlyWhenTheChoiceIsInEffect)
{
    const Color grey = rgb(163, 163, 163);
    Panel inEffect;
    inEffect.draw(2, 600);
    EXPECT_EQ(pixelAt(inEffect.picture, 316, 52), kBlack);
    EXPECT_EQ(pixelAt(inEffect.picture, 316, 34), kWhite);
    EXPECT_EQ(pixelAt(inEffect.picture, 316, 70), kWhite);

    Panel pending;
    pending.draw(2, 1200);
    EXPECT_EQ(pixelAt(pending.picture, 316, 52), grey);

    // A chosen option outside the table marks nothing.
    for (int32_t chosen : {0, 4, -1}) {
        Panel none;
        none.draw(chosen, 600);
        for (int32_t y : {34, 52, 70})
            EXPECT_EQ(pixelAt(none.picture, 316, y), kWhite) << chosen;
    }
}

TEST(ChoicePanel, CaptionStandsOnTheTopBorderAndValuesBesideTheMarks)
{
    const int32_t before = liveDrawingObjects();
    Panel p;
    p.draw(1, 200);
    Bitmap want = makeBitmap(460, 130);
    Dc ref(want);
    ref.textOut(305, 4, " series length: ");
    ref.textOut(334, 28, "   200 ");
    ref.textOut(334, 46, "   600 ");
    ref.textOut(334, 64, "  1200 ");
    // The caption's cell covers the border under it (opaque text).
    EXPECT_EQ(pixelAt(p.picture, 300, 10), kBlack);
    EXPECT_EQ(inRect(inked(p.picture), 302, 0, 460, 9), inRect(inked(want), 302, 0, 460, 9));
    EXPECT_EQ(inRect(inked(p.picture), 330, 26, 400, 82), inRect(inked(want), 330, 26, 400, 82));
    EXPECT_EQ(liveDrawingObjects(), before);
}

}  // namespace
