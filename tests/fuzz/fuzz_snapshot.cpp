// The snapshot's encoders on pictures made from the input (up to 300 × 300
// pixels, no columns or no rows included): the bitmap file must decode to the same
// pixels, the PCX file to the same background flags with the header's sizes;
// a picture without pixels makes no file.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "files/snapshot_export.h"
#include "platform/bitmap.h"
#include "platform/bmp_decoder.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/pcx_decoder.h"

namespace {

// At most 300 × 300 pixels; a picture that short may be up to 1100 wide,
// so that a row packs to more than 63 equal bytes, the longest run.
constexpr int32_t kMaxHeight = 300, kMaxWidth = 1100, kMaxPixels = 300 * 300;

// Bytes of the input in turn, zeros once they run out.
class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    const uint8_t* rest() const { return data_ + at_; }
    size_t left() const { return size_ - at_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Mostly small sides, which cost little time: a byte below 192 gives 0 to
// 47; above, it and the next byte give anything up to `most`.
int32_t side(Bytes& in, int32_t most)
{
    const uint32_t b = in.next();
    if (b < 192)
        return static_cast<int32_t>(b % 48);
    return static_cast<int32_t>((((b - 192) << 8) | in.next()) % static_cast<uint32_t>(most + 1));
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}

// A picture of a few colours, the background among them and often one a
// single step off it, laid out by the input two bits a pixel.
platform::Bitmap makePicture(Bytes& in, platform::Color& background, uint8_t& shape)
{
    const int32_t width = side(in, kMaxWidth);
    const int32_t height = std::min(side(in, kMaxHeight), width > 0 ? kMaxPixels / width : kMaxHeight);
    background = platform::rgb(in.next(), in.next(), in.next());
    shape = in.next();
    uint32_t palette[4];
    palette[0] = platform::pixelFromColor(background);
    for (int k = 1; k < 4; ++k)
        palette[k] = platform::pixelFromColor(platform::rgb(in.next(), in.next(), in.next()));
    if (shape & 4)
        palette[1] = palette[0] ^ 1;
    const uint32_t colours = 1 + (shape & 3);

    platform::Bitmap picture = platform::makeBitmap(width, height, background);
    const uint8_t* layout = in.rest();
    const size_t layoutBytes = in.left();
    if (layoutBytes == 0)
        return picture;
    // The layout repeats when the input is shorter than the picture.
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        const uint8_t byte = layout[(i / 4) % layoutBytes];
        picture.pixels[i] = palette[((byte >> (2 * (i % 4))) & 3) % colours];
    }
    return picture;
}

void checkBmp(const platform::Bitmap& picture, uint8_t shape)
{
    const files::BitmapInfoHeader info = files::makeBitmapInfoHeader(picture.width, picture.height, 1, 32);
    if (info.biWidth != picture.width || info.biHeight != picture.height || info.biPlanes != 1 ||
        info.biBitCount != 32 || info.biClrUsed != 0)
        fuzz::broken();
    const std::vector<uint8_t> file = files::encodeBmp(picture);
    if (files::encodeBmp(picture, info) != file)
        fuzz::broken();
    // The pixels are retrieved as 32 bits only, and at the picture's size.
    if (shape & 8) {
        const uint16_t bits = (shape & 16) ? 24 : 8;
        if (!files::encodeBmp(picture, files::makeBitmapInfoHeader(picture.width, picture.height, 1, bits)).empty() ||
            !files::encodeBmp(picture, files::makeBitmapInfoHeader(picture.width + 1, picture.height, 1, 32)).empty())
            fuzz::broken();
    }
    if (picture.width == 0 || picture.height == 0) {
        if (!file.empty())
            fuzz::broken();
        return;
    }
    const size_t pixelBytes = 4 * picture.pixels.size();
    if (file.size() != 54 + pixelBytes || u32(file, 2) != file.size() || u32(file, 10) != 54 ||
        u32(file, 34) != pixelBytes)
        fuzz::broken();
    const std::optional<platform::DecodedBmp> back = platform::decodeBmp(file);
    if (!back || back->bitCount != 32 || back->paletteSize != 0 || back->bitmap.width != picture.width ||
        back->bitmap.height != picture.height || back->bitmap.pixels != picture.pixels)
        fuzz::broken();
}

void checkPcx(const platform::Bitmap& picture, platform::Color background)
{
    const std::vector<uint8_t> file = files::encodePcx(picture, background);
    if (picture.width == 0 || picture.height == 0) {
        // The header cannot describe a picture without columns or rows.
        if (!file.empty())
            fuzz::broken();
        return;
    }
    const uint32_t B = files::pcxBytesPerLine(picture.width);
    // Never more than two code bytes for a packed byte.
    if (file.size() > 128 + 2 * size_t{B} * static_cast<size_t>(picture.height))
        fuzz::broken();
    const std::optional<test_support::DecodedPcx> back = test_support::decodePcx(file);
    if (!back || back->width != picture.width || back->height != picture.height || back->bytesPerLine != B ||
        B % 4 != 0 || 8 * B < static_cast<uint32_t>(picture.width) ||
        8 * B > static_cast<uint32_t>(picture.width) + 31 || back->background != background ||
        back->black != platform::kBlack)
        fuzz::broken();
    const uint32_t bg = platform::pixelFromColor(background);
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(8 * B); ++x) {
            // The padding past the picture reads as background.
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x);
            const int want = x >= picture.width || picture.pixels[at] == bg;
            if (back->flag(x, y) != want)
                fuzz::broken();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in(data, size);
    platform::Color background = 0;
    uint8_t shape = 0;
    const platform::Bitmap picture = makePicture(in, background, shape);
    checkBmp(picture, shape);
    checkPcx(picture, background);
    return 0;
}
