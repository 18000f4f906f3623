#include "platform/dc.h"

#include <algorithm>
#include <utility>

#include "platform/drawing_objects.h"

namespace platform {

namespace {

__extension__ typedef __int128 Wide;

int32_t held(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -kCoordinateLimit, kCoordinateLimit)); }

Rect wholePicture(const Bitmap& b) { return {0, 0, b.width, b.height}; }

}  // namespace

PenObject::PenObject(PenStyle style_, int32_t width_, Color color_, bool stock_)
    : style(style_), width(std::max(1, width_)), color(color_), stock(stock_)
{
    if (!stock)
        detail::countDrawingObject(+1);
}

PenObject::~PenObject()
{
    if (!stock)
        detail::countDrawingObject(-1);
}

BrushObject::BrushObject(BrushStyle style_, Color color_, bool stock_) : style(style_), color(color_), stock(stock_)
{
    if (!stock)
        detail::countDrawingObject(+1);
}

BrushObject::~BrushObject()
{
    if (!stock)
        detail::countDrawingObject(-1);
}

Pen createPen(PenStyle style, int32_t width, Color color)
{
    return std::make_shared<const PenObject>(style, width, color, false);
}

Brush createSolidBrush(Color color) { return std::make_shared<const BrushObject>(BrushStyle::Solid, color, false); }

const Pen& stockPen(StockPen which)
{
    static const Pen black = std::make_shared<const PenObject>(PenStyle::Solid, 1, kBlack, true);
    static const Pen white = std::make_shared<const PenObject>(PenStyle::Solid, 1, kWhite, true);
    static const Pen none = std::make_shared<const PenObject>(PenStyle::Null, 1, kBlack, true);
    switch (which) {
    case StockPen::White:
        return white;
    case StockPen::Null:
        return none;
    default:
        return black;
    }
}

const Brush& stockBrush(StockBrush which)
{
    static const Brush white = std::make_shared<const BrushObject>(BrushStyle::Solid, kWhite, true);
    static const Brush light = std::make_shared<const BrushObject>(BrushStyle::Solid, rgb(192, 192, 192), true);
    static const Brush gray = std::make_shared<const BrushObject>(BrushStyle::Solid, rgb(128, 128, 128), true);
    static const Brush dark = std::make_shared<const BrushObject>(BrushStyle::Solid, rgb(64, 64, 64), true);
    static const Brush black = std::make_shared<const BrushObject>(BrushStyle::Solid, kBlack, true);
    static const Brush none = std::make_shared<const BrushObject>(BrushStyle::Null, kBlack, true);
    switch (which) {
    case StockBrush::LightGray:
        return light;
    case StockBrush::Gray:
        return gray;
    case StockBrush::DarkGray:
        return dark;
    case StockBrush::Black:
        return black;
    case StockBrush::Null:
        return none;
    default:
        return white;
    }
}

Dc::Dc(Bitmap& target)
    : target_(&target),
      pen_(stockPen(StockPen::Black)),
      brush_(stockBrush(StockBrush::White)),
      font_(stockVariableFont())
{
    selectClipRegion(nullptr);
}

Dc::Dc(Bitmap& target, const Region& clip) : Dc(target) { selectClipRegion(&clip); }

Pen Dc::selectPen(Pen pen)
{
    if (!pen)
        return {};
    std::swap(pen, pen_);
    return pen;
}

Brush Dc::selectBrush(Brush brush)
{
    if (!brush)
        return {};
    std::swap(brush, brush_);
    return brush;
}

Font Dc::selectFont(Font font)
{
    if (!font)
        return {};
    std::swap(font, font_);
    return font;
}

Color Dc::setTextColor(Color color) { return std::exchange(textColor_, color); }
Color Dc::setBkColor(Color color) { return std::exchange(bkColor_, color); }
BkMode Dc::setBkMode(BkMode mode) { return std::exchange(bkMode_, mode); }

void Dc::selectClipRegion(const Region* clip)
{
    const Rect whole = wholePicture(*target_);
    clip_.clear();
    if (clip)
        clip_ = clipped(*clip, whole).rects;
    else if (!isEmpty(whole))
        clip_.push_back(whole);
    clipBox_ = bounds(Region{clip_});
}

void Dc::intersectClipRect(const Rect& rect)
{
    Region r;
    for (const Rect& c : clip_)
        addRect(r, intersect(c, rect));
    clip_ = std::move(r.rects);
    clipBox_ = bounds(Region{clip_});
}

bool Dc::visible(int32_t x, int32_t y) const
{
    if (!contains(clipBox_, x, y))
        return false;
    if (clip_.size() == 1)
        return true;
    return std::any_of(clip_.begin(), clip_.end(), [&](const Rect& r) { return contains(r, x, y); });
}

bool Dc::ptVisible(int32_t x, int32_t y) const { return visible(x, y); }

void Dc::plot(int32_t x, int32_t y, uint32_t pixel)
{
    if (visible(x, y))
        target_->pixels[static_cast<size_t>(y) * static_cast<size_t>(target_->width) + static_cast<size_t>(x)] = pixel;
}

void Dc::stamp(int32_t x, int32_t y, int32_t width, uint32_t pixel)
{
    if (width <= 1) {
        plot(x, y, pixel);
        return;
    }
    const int32_t x0 = x - (width - 1) / 2, y0 = y - (width - 1) / 2;
    fillArea({x0, y0, x0 + width, y0 + width}, pixel);
}

void Dc::fillArea(Rect area, uint32_t pixel)
{
    // Overlapping clip rectangles write some pixels twice, with the same value.
    for (const Rect& c : clip_) {
        const Rect part = intersect(area, c);
        if (isEmpty(part))
            continue;
        for (int32_t y = part.top; y < part.bottom; ++y) {
            uint32_t* row = target_->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(target_->width);
            std::fill(row + part.left, row + part.right, pixel);
        }
    }
}

Point Dc::moveTo(int32_t x, int32_t y) { return std::exchange(position_, Point{x, y}); }

void Dc::lineTo(int32_t x, int32_t y)
{
    const Point from = std::exchange(position_, Point{x, y});
    if (pen_->style == PenStyle::Null || isEmpty(clipBox_))
        return;
    const int64_t x0 = held(from.x), y0 = held(from.y), x1 = held(x), y1 = held(y);
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xMajor = adx >= ady;
    const int64_t n = xMajor ? adx : ady;  // pixels drawn: steps 0 .. n−1
    if (n == 0)
        return;
    const uint32_t pixel = pixelFromColor(pen_->color);
    const int32_t reach = pen_->width / 2 + 1;
    // Only the steps whose major coordinate can touch the clip box are walked,
    // so a line far outside the picture costs nothing.
    const int64_t origin = xMajor ? x0 : y0, step = xMajor ? sx : sy;
    const int64_t lo = (xMajor ? clipBox_.left : clipBox_.top) - reach;
    const int64_t hi = (xMajor ? clipBox_.right : clipBox_.bottom) - 1 + reach;
    int64_t first = step > 0 ? lo - origin : origin - hi;
    int64_t last = step > 0 ? hi - origin : origin - lo;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, n - 1);
    const int64_t minor = xMajor ? ady : adx;
    for (int64_t i = first; i <= last; ++i) {
        // The minor coordinate is i·minor/n rounded half away from the start.
        const int64_t m = (2 * i * minor + n) / (2 * n);
        const int64_t px = xMajor ? x0 + sx * i : x0 + sx * m;
        const int64_t py = xMajor ? y0 + sy * m : y0 + sy * i;
        stamp(static_cast<int32_t>(px), static_cast<int32_t>(py), pen_->width, pixel);
    }
}

void Dc::rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    int32_t l = held(std::min(left, right)), r = held(std::max(left, right));
    int32_t t = held(std::min(top, bottom)), b = held(std::max(top, bottom));
    if (r == l || b == t)
        return;
    int32_t inset = 0;
    if (pen_->style != PenStyle::Null) {
        const uint32_t pixel = pixelFromColor(pen_->color);
        inset = std::min({pen_->width, (r - l + 1) / 2, (b - t + 1) / 2});
        for (int32_t k = 0; k < inset; ++k) {
            fillArea({l + k, t + k, r - k, t + k + 1}, pixel);
            fillArea({l + k, b - k - 1, r - k, b - k}, pixel);
            fillArea({l + k, t + k, l + k + 1, b - k}, pixel);
            fillArea({r - k - 1, t + k, r - k, b - k}, pixel);
        }
    }
    if (brush_->style != BrushStyle::Null)
        fillArea({l + inset, t + inset, r - inset, b - inset}, pixelFromColor(brush_->color));
}

void Dc::ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    const int64_t l = std::min(left, right), r = std::max(left, right);
    const int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    const int64_t w = r - l, h = b - t;
    if (w == 0 || h == 0 || w > 32767 || h > 32767)
        return;
    // A pixel belongs to the ellipse when its centre lies inside the ellipse
    // inscribed in the bounding box (doubled coordinates keep it in
    // integers), or when it lies on the middle row or column of the box: the
    // ellipse crosses the whole box there, so a thin one still touches all
    // four sides.
    const Wide limit = static_cast<Wide>(w * h) * (w * h);
    auto inside = [&](int64_t x, int64_t y) {
        if (x < l || x >= r || y < t || y >= b)
            return false;
        const int64_t mx = 2 * x + 1 - (l + r), my = 2 * y + 1 - (t + b);
        if (mx >= -1 && mx <= 1)
            return true;
        if (my >= -1 && my <= 1)
            return true;
        const Wide ex = static_cast<Wide>(mx) * h;
        const Wide ey = static_cast<Wide>(my) * w;
        return ex * ex + ey * ey <= limit;
    };
    const bool outlined = pen_->style != PenStyle::Null;
    const bool filled = brush_->style != BrushStyle::Null;
    const int64_t thickness = pen_->width;
    const uint32_t penPixel = pixelFromColor(pen_->color), brushPixel = pixelFromColor(brush_->color);
    const int64_t x0 = std::max<int64_t>(l, clipBox_.left), x1 = std::min<int64_t>(r, clipBox_.right);
    const int64_t y0 = std::max<int64_t>(t, clipBox_.top), y1 = std::min<int64_t>(b, clipBox_.bottom);
    for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x) {
            if (!inside(x, y))
                continue;
            bool edge = false;
            for (int64_t k = 1; k <= thickness && !edge; ++k)
                edge = !inside(x - k, y) || !inside(x + k, y) || !inside(x, y - k) || !inside(x, y + k);
            if (outlined && edge)
                plot(static_cast<int32_t>(x), static_cast<int32_t>(y), penPixel);
            else if (filled && !edge)
                plot(static_cast<int32_t>(x), static_cast<int32_t>(y), brushPixel);
            else if (filled && !outlined)
                plot(static_cast<int32_t>(x), static_cast<int32_t>(y), brushPixel);
        }
}

void Dc::fillRect(const Rect& rect, const Brush& brush)
{
    if (!brush || brush->style == BrushStyle::Null)
        return;
    fillArea(rect, pixelFromColor(brush->color));
}

Color Dc::setPixel(int32_t x, int32_t y, Color color)
{
    if (!visible(x, y))
        return CLR_INVALID;
    plot(x, y, pixelFromColor(color));
    return color;
}

Color Dc::getPixel(int32_t x, int32_t y) const
{
    if (!visible(x, y))
        return CLR_INVALID;
    return pixelAt(*target_, x, y);
}

void Dc::textOut(int32_t x, int32_t y, std::string_view utf8)
{
    if (!font_)
        return;
    if (textLog_) {
        const Size extent = textExtent(utf8);
        textLog_->push_back({{x, y, x + extent.cx, y + extent.cy}, std::string(utf8)});
    }
    const std::u32string text = decodeUtf8(utf8);
    const TextMetrics& tm = font_->metrics();
    if (bkMode_ == BkMode::Opaque) {
        int64_t width = 0;
        for (char32_t c : text)
            width += font_->glyph(c).advance;
        fillArea({x, y, held(x + width), held(int64_t{y} + tm.tmHeight)}, pixelFromColor(bkColor_));
    }
    const uint32_t ink = pixelFromColor(textColor_);
    int64_t penX = x;
    const int64_t baseline = int64_t{y} + tm.tmAscent;
    for (char32_t c : text) {
        const Glyph& g = font_->glyph(c);
        const int64_t gx = penX + g.left, gy = baseline - g.top;
        for (int32_t row = 0; row < g.rows; ++row)
            for (int32_t col = 0; col < g.width; ++col)
                if (g.ink[static_cast<size_t>(row) * static_cast<size_t>(g.width) + static_cast<size_t>(col)])
                    plot(held(gx + col), held(gy + row), ink);
        penX += g.advance;
    }
}

Size Dc::textExtent(std::string_view utf8) const { return measureText(font_, utf8); }

TextMetrics Dc::textMetrics() const { return font_ ? font_->metrics() : TextMetrics{}; }

void Dc::bitBlt(int32_t x, int32_t y, int32_t width, int32_t height, const Bitmap& source, int32_t sx, int32_t sy)
{
    for (int64_t row = 0; row < height; ++row) {
        const int64_t srcY = sy + row, dstY = y + row;
        if (srcY < 0 || srcY >= source.height || dstY < clipBox_.top || dstY >= clipBox_.bottom)
            continue;
        const int64_t from = std::max<int64_t>({0, -int64_t{sx}, int64_t{clipBox_.left} - x});
        const int64_t to = std::min<int64_t>({width, int64_t{source.width} - sx, int64_t{clipBox_.right} - x});
        for (int64_t col = from; col < to; ++col) {
            const int64_t srcX = sx + col, dstX = x + col;
            plot(static_cast<int32_t>(dstX), static_cast<int32_t>(dstY),
                 source.pixels[static_cast<size_t>(srcY) * static_cast<size_t>(source.width) +
                               static_cast<size_t>(srcX)]);
        }
    }
}

}  // namespace platform
