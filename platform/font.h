#pragma once
// Monochrome text from one scalable face (DejaVu Sans), sized by cell height
// the way the classic interface sizes a font asked for with a positive
// height: ascent plus descent equals the height.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/geometry.h"
#include "base/message_sink.h"

namespace platform {

// Where the window font's face file is looked for.
inline constexpr const char* kDefaultFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// Cell height of the window font, that of the classic variable-pitch system font.
inline constexpr int32_t kWindowFontHeight = 13;

// The metrics of a font at its size, in pixels, named as the views read them.
struct TextMetrics {
    int32_t tmHeight = 0;  // cell height = tmAscent + tmDescent
    int32_t tmAscent = 0;  // baseline below the top of the cell
    int32_t tmDescent = 0;
    int32_t tmInternalLeading = 0;  // cell height less the em height
    int32_t tmExternalLeading = 0;  // extra space the face asks for between lines
    int32_t tmAveCharWidth = 0;     // the face's average width, scaled
    int32_t tmMaxCharWidth = 0;     // widest advance among Latin and Cyrillic letters, digits, signs
};

// A face file loaded into memory with its own FreeType library instance.
class FontFace;

// Opens a face file; a missing or unreadable file is reported as
// "No Font <path>" with caption "Fatal Error" and gives an empty pointer.
std::shared_ptr<FontFace> openFontFace(const std::string& path, base::MessageSink& sink);
// The DejaVu Sans face, opened once at first use; empty when the file is missing.
const std::shared_ptr<FontFace>& defaultFontFace();
// Start-up check of the default face: reports as openFontFace and returns false when missing.
bool checkDefaultFontFace(base::MessageSink& sink);

// One rendered character: ink is rows × width bytes of 0 or 1, its top-left
// corner at (pen x + left, baseline − top).
struct Glyph {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t rows = 0;
    int32_t advance = 0;
    std::vector<uint8_t> ink;
};

// The face at one cell height. Glyphs are rendered on first use and kept.
class FontObject {
  public:
    FontObject(std::shared_ptr<FontFace> face, int32_t cellHeight, bool stock);
    ~FontObject();
    FontObject(const FontObject&) = delete;
    FontObject& operator=(const FontObject&) = delete;

    bool valid() const { return faceHandle_ != nullptr; }
    bool isStock() const { return stock_; }
    const TextMetrics& metrics() const { return metrics_; }
    const std::shared_ptr<FontFace>& face() const { return face_; }
    const Glyph& glyph(char32_t codePoint) const;

  private:
    std::shared_ptr<FontFace> face_;
    void* faceHandle_ = nullptr;  // FT_Face of this size
    bool stock_ = false;
    TextMetrics metrics_;
    mutable std::unordered_map<char32_t, Glyph> glyphs_;
};

// A font handle: empty means no font (text is then neither drawn nor measured).
using Font = std::shared_ptr<FontObject>;

// The face at a cell height (at least 1); empty without a face.
Font createFont(const std::shared_ptr<FontFace>& face, int32_t cellHeight);
Font createFont(int32_t cellHeight);  // on the default face
// The window font (cell height 13 on the default face), one shared stock object.
const Font& stockVariableFont();

// UTF-8 to code points; a byte that does not start a valid sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);
// Width (sum of advances) and height (tmHeight) of a text; {0, 0} without a font.
Size measureText(const Font& font, std::string_view utf8);

}  // namespace platform
