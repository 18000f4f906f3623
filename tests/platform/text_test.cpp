// Text: the window font's cell is 13 pixels high, fonts of other heights keep
// ascent plus descent equal to their height, and text (Latin and Cyrillic)
// lands inside the box its extent promises, with the background as asked.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "picture_test_support.h"
#include "platform/dc.h"

namespace {

using namespace platform;
using picture::inked;
using picture::Pixel;

TEST(WindowFont, HasTheCellOfTheClassicVariablePitchFont)
{
    Bitmap b = makeBitmap(10, 10);
    Dc dc(b);
    const TextMetrics tm = dc.textMetrics();
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, 13);
    EXPECT_EQ(tm.tmAscent, 10);
    EXPECT_EQ(tm.tmDescent, 3);
    EXPECT_EQ(tm.tmExternalLeading, 0);  // so the views' line height is 12
    EXPECT_EQ(tm.tmAveCharWidth, 6);
    EXPECT_EQ(tm.tmMaxCharWidth, 12);
    EXPECT_EQ(dc.textExtent("").cy, 13);
}

TEST(CreatedFonts, KeepAscentPlusDescentEqualToTheirHeight)
{
    int32_t previousAverage = 0;
    for (int32_t h = 6; h <= 60; ++h) {
        Font f = createFont(h);
        ASSERT_TRUE(f) << h;
        const TextMetrics& tm = f->metrics();
        EXPECT_EQ(tm.tmHeight, h);
        EXPECT_EQ(tm.tmAscent + tm.tmDescent, h);
        EXPECT_GT(tm.tmAscent, tm.tmDescent);
        EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
        EXPECT_GE(tm.tmAveCharWidth, previousAverage);  // never narrower for a taller font
        previousAverage = tm.tmAveCharWidth;
    }
    EXPECT_FALSE(createFont(0));
}

void expectInkInsideItsExtent(const char* text, const Font& font)
{
    Bitmap b = makeBitmap(400, 60);
    Dc dc(b);
    dc.selectFont(font);
    dc.setBkMode(BkMode::Transparent);
    dc.textOut(20, 15, text);
    const Size extent = dc.textExtent(text);
    const std::set<Pixel> ink = inked(b);
    ASSERT_FALSE(ink.empty()) << text;
    const Rect box = picture::boundsOf(ink);
    EXPECT_TRUE(containsRect(Rect{20, 15, 20 + extent.cx, 15 + extent.cy}, box))
        << text << ": ink " << box.left << "," << box.top << "-" << box.right << "," << box.bottom << " extent "
        << extent.cx << " x " << extent.cy;
    // The text reaches most of its width: nothing was skipped.
    EXPECT_GT(box.right - box.left, extent.cx * 3 / 4) << text;
}

TEST(TextOut, LatinAndCyrillicLandInsideTheirExtent)
{
    for (const Font& font : {stockVariableFont(), createFont(25)}) {
        expectInkInsideItsExtent("Quillmore pulse 7 [1234]", font);
        expectInkInsideItsExtent("Нет памяти для PartialEnergy!", font);
        expectInkInsideItsExtent("длина заголовка в байтах", font);
    }
}

TEST(TextOut, CyrillicLettersAreRealGlyphs)
{
    auto inkOf = [](const char* text) {
        Bitmap b = makeBitmap(40, 20);
        Dc dc(b);
        dc.textOut(2, 2, text);
        return inked(b);
    };
    // Cyrillic En and A are drawn like their Latin twins; other letters differ
    // from each other and from the missing-glyph box.
    EXPECT_EQ(inkOf("Н"), inkOf("H"));
    EXPECT_EQ(inkOf("А"), inkOf("A"));
    EXPECT_NE(inkOf("Ж"), inkOf("Я"));
    EXPECT_NE(inkOf("Ж"), inkOf("\xEF\xBF\xBF"));  // U+FFFF has no glyph
}

TEST(TextOut, ExtentIsTheSumOfTheCharactersAndTextIsPlacedByItsTopLeft)
{
    Bitmap b = makeBitmap(200, 40);
    Dc dc(b);
    const std::string text = "Sequential method: Ж";
    int32_t sum = 0;
    for (char32_t c : decodeUtf8(text))
        sum += dc.font()->glyph(c).advance;
    EXPECT_EQ(dc.textExtent(text).cx, sum);
    EXPECT_EQ(dc.textExtent("ab").cx, dc.textExtent("a").cx + dc.textExtent("b").cx);

    // Opaque text fills exactly its cell with the background colour.
    Bitmap c = makeBitmap(200, 40);
    Dc dc2(c);
    dc2.setBkColor(rgb(0, 255, 0));
    dc2.setTextColor(rgb(255, 0, 0));
    dc2.textOut(7, 9, "Exit");
    const Size e = dc2.textExtent("Exit");
    EXPECT_EQ(picture::boundsOf(inked(c)), (Rect{7, 9, 7 + e.cx, 9 + 13}));
    int red = 0;
    for (int32_t y = 0; y < c.height; ++y)
        for (int32_t x = 0; x < c.width; ++x)
            red += pixelAt(c, x, y) == rgb(255, 0, 0);
    EXPECT_GT(red, 10);
    EXPECT_EQ(dc2.currentPosition(), (Point{0, 0}));

    // "E" stands on the baseline: its lowest ink row is ascent − 1 below the top.
    Bitmap d = makeBitmap(40, 40);
    Dc dc3(d);
    dc3.textOut(5, 10, "E");
    const Rect box = picture::boundsOf(inked(d));
    EXPECT_EQ(box.bottom, 10 + dc3.textMetrics().tmAscent);
}

TEST(Utf8, BrokenSequencesBecomeReplacementCharacters)
{
    EXPECT_EQ(decodeUtf8("aЖ€😀"), (std::u32string{U'a', 0x416, 0x20AC, 0x1F600}));
    EXPECT_EQ(decodeUtf8("\xC3"), std::u32string{0xFFFD});                                   // cut short
    EXPECT_EQ(decodeUtf8("\xC0\xAF"), (std::u32string{0xFFFD, 0xFFFD}));                     // overlong
    EXPECT_EQ(decodeUtf8("\xED\xA0\x80x"), (std::u32string{0xFFFD, 0xFFFD, 0xFFFD, U'x'}));  // surrogate
    EXPECT_EQ(decodeUtf8("\xE2\x82"), (std::u32string{0xFFFD, 0xFFFD}));
    EXPECT_EQ(decodeUtf8("\x80z"), (std::u32string{0xFFFD, U'z'}));
    Bitmap b = makeBitmap(100, 20);
    Dc dc(b);
    dc.textOut(0, 0, "\xFF\xFE broken \xC3");
    EXPECT_FALSE(inked(b).empty());
}

TEST(FontFiles, AMissingOrBrokenFileIsReportedNotFatal)
{
    base::MessageRecorder sink;
    EXPECT_FALSE(openFontFace("/nonexistent/DejaVuSans.ttf", sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "No Font </nonexistent/DejaVuSans.ttf>");
    EXPECT_EQ(sink.messages[0].caption, "Fatal Error");

    const std::string junk = testing::TempDir() + "not_a_font.ttf";
    std::ofstream(junk) << "this is not a font";
    EXPECT_FALSE(openFontFace(junk, sink));
    EXPECT_EQ(sink.messages.size(), 2u);
    std::remove(junk.c_str());

    auto face = openFontFace(kDefaultFontPath, sink);
    ASSERT_TRUE(face);
    EXPECT_EQ(sink.messages.size(), 2u);
    EXPECT_TRUE(checkDefaultFontFace(sink));
    EXPECT_EQ(createFont(face, 13)->metrics().tmAscent, 10);
    EXPECT_FALSE(createFont(std::shared_ptr<FontFace>{}, 13));
}

}  // namespace
