#include "platform/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/drawing_objects.h"

namespace platform {

class FontFace {
  public:
    FT_Library library = nullptr;
    std::vector<unsigned char> data;  // FreeType reads the face from here for as long as it lives

    ~FontFace()
    {
        if (library)
            FT_Done_FreeType(library);
    }
};

namespace {

void reportMissingFont(const std::string& path, base::MessageSink& sink)
{
    sink.messageBox("No Font <" + path + ">", "Fatal Error", base::MessageIcon::None);
}

std::shared_ptr<FontFace> loadFace(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    auto face = std::make_shared<FontFace>();
    face->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (face->data.empty() || FT_Init_FreeType(&face->library) != 0)
        return {};
    // Open once to prove the file is a scalable face before anyone relies on it.
    FT_Face probe = nullptr;
    if (FT_New_Memory_Face(face->library, face->data.data(), static_cast<FT_Long>(face->data.size()), 0, &probe) != 0)
        return {};
    const bool scalable = FT_IS_SCALABLE(probe);
    FT_Done_Face(probe);
    if (!scalable)
        return {};
    return face;
}

int32_t roundedScale(int64_t units, int64_t numerator, int64_t denominator)
{
    return static_cast<int32_t>((2 * units * numerator + denominator) / (2 * denominator));
}

}  // namespace

std::shared_ptr<FontFace> openFontFace(const std::string& path, base::MessageSink& sink)
{
    auto face = loadFace(path);
    if (!face)
        reportMissingFont(path, sink);
    return face;
}

const std::shared_ptr<FontFace>& defaultFontFace()
{
    static const std::shared_ptr<FontFace> face = loadFace(kDefaultFontPath);
    return face;
}

bool checkDefaultFontFace(base::MessageSink& sink)
{
    if (defaultFontFace())
        return true;
    reportMissingFont(kDefaultFontPath, sink);
    return false;
}

FontObject::FontObject(std::shared_ptr<FontFace> face, int32_t cellHeight, bool stock)
    : face_(std::move(face)), stock_(stock)
{
    if (!stock_)
        detail::countDrawingObject(+1);
    if (!face_ || cellHeight < 1)
        return;
    FT_Face ft = nullptr;
    if (FT_New_Memory_Face(face_->library, face_->data.data(), static_cast<FT_Long>(face_->data.size()), 0, &ft) != 0)
        return;
    const int64_t upem = ft->units_per_EM;
    int64_t winAscent = ft->ascender, winDescent = -ft->descender;
    int64_t xAverage = 0;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            winAscent = os2->usWinAscent;
            winDescent = os2->usWinDescent;
        }
        xAverage = os2->xAvgCharWidth;
    }
    const int64_t cellUnits = std::max<int64_t>(1, winAscent + winDescent);
    // The em that makes the face's ascent plus descent fill the cell; the
    // hinter may round it to whole pixels.
    const int64_t ppem64 = std::max<int64_t>(64, cellHeight * 64 * upem / cellUnits);
    if (FT_Set_Char_Size(ft, 0, static_cast<FT_F26Dot6>(ppem64), 72, 72) != 0) {
        FT_Done_Face(ft);
        return;
    }
    faceHandle_ = ft;
    const int64_t ppem = std::max<int64_t>(1, ft->size->metrics.y_ppem);

    metrics_.tmHeight = cellHeight;
    metrics_.tmAscent = std::clamp(roundedScale(winAscent, cellHeight, cellUnits), 0, cellHeight);
    metrics_.tmDescent = cellHeight - metrics_.tmAscent;
    metrics_.tmInternalLeading = std::max<int32_t>(0, cellHeight - static_cast<int32_t>(ppem));
    const int64_t lineGap = ft->height - (ft->ascender - ft->descender);
    const int64_t extra = lineGap - (cellUnits - (ft->ascender - ft->descender));
    metrics_.tmExternalLeading = extra > 0 ? roundedScale(extra, ppem, upem) : 0;
    metrics_.tmAveCharWidth = xAverage > 0 ? roundedScale(xAverage, ppem, upem) : glyph(U'x').advance;
    int32_t widest = 0;
    auto widen = [&](char32_t from, char32_t to) {
        for (char32_t c = from; c <= to; ++c)
            widest = std::max(widest, glyph(c).advance);
    };
    widen(0x20, 0x7E);
    widen(0x401, 0x401);
    widen(0x410, 0x44F);
    widen(0x451, 0x451);
    metrics_.tmMaxCharWidth = widest;
}

FontObject::~FontObject()
{
    if (faceHandle_)
        FT_Done_Face(static_cast<FT_Face>(faceHandle_));
    if (!stock_)
        detail::countDrawingObject(-1);
}

const Glyph& FontObject::glyph(char32_t codePoint) const
{
    if (auto it = glyphs_.find(codePoint); it != glyphs_.end())
        return it->second;
    Glyph g;
    auto ft = static_cast<FT_Face>(faceHandle_);
    if (ft && FT_Load_Glyph(ft, FT_Get_Char_Index(ft, codePoint), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
        const FT_GlyphSlot slot = ft->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int32_t>(bm.width);
        g.rows = static_cast<int32_t>(bm.rows);
        g.ink.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows), 0);
        for (int32_t y = 0; y < g.rows; ++y) {
            const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
            for (int32_t x = 0; x < g.width; ++x) {
                const bool on =
                    bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x] >= 128;
                g.ink[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)] = on;
            }
        }
    }
    return glyphs_.emplace(codePoint, std::move(g)).first->second;
}

Font createFont(const std::shared_ptr<FontFace>& face, int32_t cellHeight)
{
    if (!face || cellHeight < 1)
        return {};
    auto font = std::make_shared<FontObject>(face, cellHeight, false);
    return font->valid() ? font : Font{};
}

Font createFont(int32_t cellHeight) { return createFont(defaultFontFace(), cellHeight); }

const Font& stockVariableFont()
{
    static const Font font = [] {
        const auto& face = defaultFontFace();
        return face ? std::make_shared<FontObject>(face, kWindowFontHeight, true) : Font{};
    }();
    return font;
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0, minimum = 0;
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F, minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F, minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07, minimum = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (b & 0x3F);
        }
        if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

Size measureText(const Font& font, std::string_view utf8)
{
    if (!font)
        return {};
    int32_t width = 0;
    for (char32_t c : decodeUtf8(utf8))
        width += font->glyph(c).advance;
    return {width, font->metrics().tmHeight};
}

}  // namespace platform
