#include "platform/bmp_decoder.h"

namespace platform {

namespace {

uint32_t u16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t{b[at + 1]} << 8); }
uint32_t u32(std::span<const uint8_t> b, size_t at)
{
    return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}

constexpr size_t kFileHeader = 14;
constexpr uint32_t kMaxSide = 1 << 15;  // far beyond any picture this program loads

}  // namespace

std::optional<DecodedBmp> decodeBmp(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kFileHeader + 40 || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    const uint32_t offBits = u32(bytes, 10);
    const uint32_t infoSize = u32(bytes, 14);
    if (infoSize < 40 || infoSize > bytes.size() - kFileHeader)
        return std::nullopt;
    const auto width = static_cast<int32_t>(u32(bytes, 18));
    const auto rawHeight = static_cast<int32_t>(u32(bytes, 22));
    const uint32_t planes = u16(bytes, 26), bitCount = u16(bytes, 28), compression = u32(bytes, 30);
    uint32_t colorsUsed = u32(bytes, 46);
    if (planes != 1 || compression != 0 || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        return std::nullopt;
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;
    if (static_cast<uint32_t>(width) > kMaxSide || static_cast<uint32_t>(height) > kMaxSide)
        return std::nullopt;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return std::nullopt;

    const bool indexed = bitCount <= 8;
    const uint32_t maxColors = indexed ? (1u << bitCount) : 0;
    if (indexed && colorsUsed == 0)
        colorsUsed = maxColors;
    if (!indexed)
        colorsUsed = 0;
    if (colorsUsed > maxColors)
        return std::nullopt;
    const size_t paletteAt = kFileHeader + infoSize;
    if (paletteAt + size_t{colorsUsed} * 4 > bytes.size())
        return std::nullopt;

    const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    const size_t pixelBytes = stride * static_cast<size_t>(height);
    if (offBits < paletteAt + size_t{colorsUsed} * 4 || offBits > bytes.size() || pixelBytes > bytes.size() - offBits)
        return std::nullopt;

    DecodedBmp out;
    out.bitCount = static_cast<uint16_t>(bitCount);
    out.paletteSize = colorsUsed;
    out.bitmap = makeBitmap(width, height);
    for (int32_t y = 0; y < height; ++y) {
        const size_t fileRow = topDown ? static_cast<size_t>(y) : static_cast<size_t>(height - 1 - y);
        const auto row = bytes.subspan(offBits + fileRow * stride, stride);
        uint32_t* dst = out.bitmap.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            const auto ux = static_cast<size_t>(x);
            uint32_t pixel = 0;
            if (indexed) {
                const size_t bit = ux * bitCount;
                const uint32_t index = (row[bit / 8] >> (8 - bitCount - bit % 8)) & (maxColors - 1);
                // An index past a short colour table has no colour; refuse the
                // file rather than read beyond the table.
                if (index >= colorsUsed)
                    return std::nullopt;
                pixel = u32(bytes, paletteAt + size_t{index} * 4) & 0x00FFFFFFu;
            } else {
                const size_t at = ux * (bitCount / 8);
                pixel = row[at] | (uint32_t{row[at + 1]} << 8) | (uint32_t{row[at + 2]} << 16);
            }
            dst[x] = pixel;
        }
    }
    return out;
}

}  // namespace platform
