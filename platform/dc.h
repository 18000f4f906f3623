#pragma once
// The drawing device the views paint through. It follows the rules of the
// classic desktop drawing interface, because every view's geometry is defined
// by them: lines leave out their end pixel, rectangles and ellipses cover
// left..right−1 and top..bottom−1, text is placed by its top-left corner.
//
// Pens, brushes and fonts are handles. A view creates one, selects it (the
// device hands back the one it replaced), draws, selects the previous one
// back and lets its handle go; drawing_objects.h counts the created ones.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/font.h"
#include "platform/geometry.h"
#include "platform/region.h"

namespace platform {

// Every pen of the views is a solid cosmetic pen; the null pen draws no outline.
enum class PenStyle { Solid, Null };

// A pen behind its handle; the constructor and destructor count created
// (not stock) pens in drawing_objects.h.
struct PenObject {
    PenObject(PenStyle style, int32_t width, Color color, bool stock);
    ~PenObject();
    PenObject(const PenObject&) = delete;
    PenObject& operator=(const PenObject&) = delete;

    const PenStyle style;
    const int32_t width;  // 1 for a cosmetic pen; wider pens draw a width × width square per point
    const Color color;
    const bool stock;
};
// A pen handle: the object lives while a handle to it does.
using Pen = std::shared_ptr<const PenObject>;

// A solid brush fills; the null brush leaves the inside alone.
enum class BrushStyle { Solid, Null };

// A brush behind its handle, counted as pens are.
struct BrushObject {
    BrushObject(BrushStyle style, Color color, bool stock);
    ~BrushObject();
    BrushObject(const BrushObject&) = delete;
    BrushObject& operator=(const BrushObject&) = delete;

    const BrushStyle style;
    const Color color;
    const bool stock;
};
// A brush handle.
using Brush = std::shared_ptr<const BrushObject>;

// A width below 1 counts as 1.
Pen createPen(PenStyle style, int32_t width, Color color);
// A solid brush of the colour, counted while it lives.
Brush createSolidBrush(Color color);

// The stock objects: made once, never counted, never released.
enum class StockPen { Black, White, Null };
enum class StockBrush { White, LightGray, Gray, DarkGray, Black, Null };
const Pen& stockPen(StockPen which);
const Brush& stockBrush(StockBrush which);

// Whether text fills its cells with the background colour (Opaque) or draws
// its glyphs only (Transparent).
enum class BkMode { Transparent = 1, Opaque = 2 };

// Coordinates further out than this are held at it, as the classic
// interface's own 28-bit coordinate space does.
inline constexpr int32_t kCoordinateLimit = 1 << 27;

// A text as textOut placed it: its cell (the text's extent from its
// top-left corner; right and bottom outside) and its words.
struct PlacedText {
    Rect cell;
    std::string text;
};

// A drawing device on a picture: the selected pen, brush and font, the text
// and background colours, the current position and the clip region.
class Dc {
  public:
    // A device on the whole picture, with the stock black pen, white brush,
    // window font, black text on an opaque white background, at (0, 0).
    explicit Dc(Bitmap& target);
    // The same, clipped to a region (the invalid area of a paint).
    Dc(Bitmap& target, const Region& clip);

    Bitmap& target() const { return *target_; }

    // Each returns the object it replaced. An empty handle selects nothing
    // and returns an empty handle.
    Pen selectPen(Pen pen);
    Brush selectBrush(Brush brush);
    Font selectFont(Font font);
    const Pen& pen() const { return pen_; }
    const Brush& brush() const { return brush_; }
    const Font& font() const { return font_; }

    Color setTextColor(Color color);  // returns the previous colour
    Color textColor() const { return textColor_; }
    Color setBkColor(Color color);
    Color bkColor() const { return bkColor_; }
    BkMode setBkMode(BkMode mode);
    BkMode bkMode() const { return bkMode_; }

    // nullptr removes the clip region: the whole picture may be drawn.
    void selectClipRegion(const Region* clip);
    void intersectClipRect(const Rect& rect);
    // The smallest rectangle holding everything that may be drawn.
    Rect clipBox() const { return clipBox_; }
    bool ptVisible(int32_t x, int32_t y) const;

    // Returns the previous current position.
    Point moveTo(int32_t x, int32_t y);
    Point currentPosition() const { return position_; }
    // A line from the current position to (x, y) in the current pen, the end
    // pixel left out; (x, y) becomes the current position.
    void lineTo(int32_t x, int32_t y);

    // Outline in the current pen on left..right−1 × top..bottom−1, inside in
    // the current brush. Swapped corners are put in order; an empty rectangle
    // draws nothing.
    void rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // The ellipse inscribed in the same pixels, touching all four sides.
    // Bounding boxes wider or higher than 32767 pixels draw nothing.
    void ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // left..right−1 × top..bottom−1 in the brush, no outline; the current
    // brush is not changed.
    void fillRect(const Rect& rect, const Brush& brush);

    // Returns the colour set, or CLR_INVALID when (x, y) is not visible.
    Color setPixel(int32_t x, int32_t y, Color color);
    // CLR_INVALID outside the picture or the clip region.
    Color getPixel(int32_t x, int32_t y) const;

    // UTF-8 text in the current font and text colour with its top-left corner
    // at (x, y); in opaque mode the text's cell is first filled with the
    // background colour. The current position does not move.
    void textOut(int32_t x, int32_t y, std::string_view utf8);
    Size textExtent(std::string_view utf8) const;
    // When set, every textOut from now on also records where it put its
    // text, so that a layout can be checked by the texts' cells; nothing
    // else changes. nullptr stops the record.
    void setTextLog(std::vector<PlacedText>* log) { textLog_ = log; }
    TextMetrics textMetrics() const;

    // Copies width × height pixels of source from (sx, sy) to (x, y); pixels
    // outside the source are left alone.
    void bitBlt(int32_t x, int32_t y, int32_t width, int32_t height, const Bitmap& source, int32_t sx, int32_t sy);

  private:
    bool visible(int32_t x, int32_t y) const;
    void plot(int32_t x, int32_t y, uint32_t pixel);
    void stamp(int32_t x, int32_t y, int32_t width, uint32_t pixel);
    void fillArea(Rect area, uint32_t pixel);

    Bitmap* target_;
    std::vector<Rect> clip_;  // inside the picture, none empty
    Rect clipBox_;
    Pen pen_;
    Brush brush_;
    Font font_;
    Color textColor_ = kBlack;
    Color bkColor_ = kWhite;
    BkMode bkMode_ = BkMode::Opaque;
    Point position_;
    std::vector<PlacedText>* textLog_ = nullptr;
};

}  // namespace platform
