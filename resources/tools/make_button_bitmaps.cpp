// Draws the five button bitmaps with the program's own drawing device and
// writes them as 16-colour BMP files. The build embeds the committed files;
// this tool is run by hand only when the buttons are to look different:
//   quillmore-make-buttons [folder]      (default: resources/bitmaps)

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/font.h"

namespace {

using platform::Bitmap;
using platform::Color;
using platform::rgb;

constexpr int32_t kWidth = 144, kHeight = 32;
// Cell height of the face's word: larger than the window font, so the word
// fills the button the way a caption does.
constexpr int32_t kWordHeight = 16;

// The sixteen colours of the classic display palette.
constexpr std::array<Color, 16> kPalette{
    rgb(0, 0, 0),     rgb(128, 0, 0),     rgb(0, 128, 0),     rgb(128, 128, 0),   rgb(0, 0, 128), rgb(128, 0, 128),
    rgb(0, 128, 128), rgb(192, 192, 192), rgb(128, 128, 128), rgb(255, 0, 0),     rgb(0, 255, 0), rgb(255, 255, 0),
    rgb(0, 0, 255),   rgb(255, 0, 255),   rgb(0, 255, 255),   rgb(255, 255, 255),
};

struct Button {
    const char* file;
    const char* word;
};

constexpr std::array<Button, 5> kButtons{{
    {"button_restart.bmp", "Restart"},
    {"button_exit.bmp", "Exit"},
    {"button_next.bmp", "Next"},
    {"button_select_all.bmp", "Select All"},
    {"button_unselect_all.bmp", "Unselect All"},
}};

// A raised grey face: white light at the top and left, black and dark grey
// shadow at the bottom and right, the word in black in the middle.
Bitmap drawButton(const char* word, const platform::Font& font)
{
    Bitmap b = platform::makeBitmap(kWidth, kHeight, rgb(192, 192, 192));
    platform::Dc dc(b);
    auto line = [&](Color c, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        platform::Pen pen = platform::createPen(platform::PenStyle::Solid, 1, c);
        platform::Pen old = dc.selectPen(pen);
        dc.moveTo(x0, y0);
        dc.lineTo(x1, y1);
        dc.selectPen(old);
    };
    line(rgb(255, 255, 255), 0, kHeight - 1, 0, 0);
    line(rgb(255, 255, 255), 0, 0, kWidth - 1, 0);
    line(rgb(0, 0, 0), kWidth - 1, 0, kWidth - 1, kHeight);
    line(rgb(0, 0, 0), 0, kHeight - 1, kWidth - 1, kHeight - 1);
    line(rgb(128, 128, 128), kWidth - 2, 1, kWidth - 2, kHeight - 1);
    line(rgb(128, 128, 128), 1, kHeight - 2, kWidth - 2, kHeight - 2);

    platform::Font old = dc.selectFont(font);
    dc.setBkMode(platform::BkMode::Transparent);
    dc.setTextColor(rgb(0, 0, 0));
    const platform::Size extent = dc.textExtent(word);
    dc.textOut((kWidth - extent.cx) / 2, (kHeight - extent.cy) / 2, word);
    dc.selectFont(old);
    return b;
}

uint8_t paletteIndex(uint32_t pixel)
{
    const Color c = platform::colorFromPixel(pixel);
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 16; ++i) {
        const int dr = platform::redOf(c) - platform::redOf(kPalette[i]);
        const int dg = platform::greenOf(c) - platform::greenOf(kPalette[i]);
        const int db = platform::blueOf(c) - platform::blueOf(kPalette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance)
            best = i, bestDistance = d;
    }
    return static_cast<uint8_t>(best);
}

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

// 4 bits per pixel, bottom row first, every row padded to 4 bytes.
std::vector<uint8_t> encodeBmp4(const Bitmap& b)
{
    const uint32_t stride = ((static_cast<uint32_t>(b.width) * 4 + 31) / 32) * 4;
    const uint32_t imageSize = stride * static_cast<uint32_t>(b.height);
    const uint32_t offBits = 14 + 40 + 16 * 4;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, offBits + imageSize);
    put32(out, 0);
    put32(out, offBits);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(b.width));
    put32(out, static_cast<uint32_t>(b.height));
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);
    put32(out, imageSize);
    put32(out, 0);
    put32(out, 0);
    put32(out, 16);
    put32(out, 16);
    for (Color c : kPalette) {
        out.push_back(platform::blueOf(c));
        out.push_back(platform::greenOf(c));
        out.push_back(platform::redOf(c));
        out.push_back(0);
    }
    for (int32_t y = b.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int32_t x = 0; x < b.width; ++x) {
            const uint8_t index = paletteIndex(b.pixels[static_cast<size_t>(y) * b.width + x]);
            row[static_cast<size_t>(x) / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(index << 4) : index;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "resources/bitmaps";
    platform::Font font = platform::createFont(kWordHeight);
    if (!font) {
        std::fprintf(stderr, "No Font <%s>\n", platform::kDefaultFontPath);
        return 1;
    }
    for (const Button& button : kButtons) {
        const std::vector<uint8_t> bytes = encodeBmp4(drawButton(button.word, font));
        const std::string path = folder + "/" + button.file;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    }
    return 0;
}
