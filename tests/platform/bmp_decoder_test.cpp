// The bitmap reader gives back the pixels of every supported kind of file and
// refuses, without reading past the data, anything damaged.

#include <gtest/gtest.h>

#include <vector>

#include "picture_test_support.h"
#include "platform/bmp_decoder.h"

namespace {

using namespace platform;

void put(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A file written field by field, independent of the reader: rows bottom-up
// (or top-down for a negative height), each padded to 4 bytes; indexes are
// taken as they are for palette files, colours as 0x00RRGGBB otherwise.
std::vector<uint8_t> makeBmp(int32_t w, int32_t h, uint16_t bits, const std::vector<uint32_t>& values,
                             const std::vector<uint32_t>& palette)
{
    const int32_t rows = h < 0 ? -h : h;
    const uint32_t stride = ((static_cast<uint32_t>(w) * bits + 31) / 32) * 4;
    const uint32_t off = 14 + 40 + 4 * static_cast<uint32_t>(palette.size());
    std::vector<uint8_t> out{'B', 'M'};
    put(out, off + stride * static_cast<uint32_t>(rows), 4);
    put(out, 0, 4);
    put(out, off, 4);
    put(out, 40, 4);
    put(out, static_cast<uint32_t>(w), 4);
    put(out, static_cast<uint32_t>(h), 4);
    put(out, 1, 2);
    put(out, bits, 2);
    put(out, 0, 4);
    put(out, stride * static_cast<uint32_t>(rows), 4);
    put(out, 0, 4);
    put(out, 0, 4);
    put(out, static_cast<uint32_t>(palette.size()), 4);
    put(out, 0, 4);
    for (uint32_t c : palette)
        put(out, c, 4);
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t y = h < 0 ? r : rows - 1 - r;
        std::vector<uint8_t> row(stride, 0);
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = values[static_cast<size_t>(y * w + x)];
            if (bits >= 24) {
                for (int k = 0; k < bits / 8; ++k)
                    row[static_cast<size_t>(x * bits / 8 + k)] = static_cast<uint8_t>(k < 3 ? v >> (8 * k) : 0);
            } else {
                const int bit = x * bits;
                row[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

TEST(BmpDecoder, ReadsEveryUncompressedKind)
{
    const std::vector<uint32_t> palette16{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    picture::Sweep sweep;
    for (uint16_t bits : {1, 4, 8, 24, 32})
        for (int32_t h : {5, -5}) {
            const int32_t w = 7;  // odd, so every row has padding
            const uint32_t colours = bits <= 8 ? (bits == 1 ? 2u : 16u) : 0u;
            std::vector<uint32_t> palette(palette16.begin(), palette16.begin() + colours);
            std::vector<uint32_t> values;
            for (int i = 0; i < w * 5; ++i)
                values.push_back(colours ? static_cast<uint32_t>(sweep.next(0, static_cast<int32_t>(colours) - 1))
                                         : static_cast<uint32_t>(sweep.next(0, 0xFFFFFF)));
            const auto decoded = decodeBmp(makeBmp(w, h, bits, values, palette));
            ASSERT_TRUE(decoded) << bits << " bits, height " << h;
            EXPECT_EQ(decoded->bitCount, bits);
            EXPECT_EQ(decoded->paletteSize, colours);
            ASSERT_EQ(decoded->bitmap.width, w);
            ASSERT_EQ(decoded->bitmap.height, 5);
            for (int i = 0; i < w * 5; ++i)
                ASSERT_EQ(decoded->bitmap.pixels[static_cast<size_t>(i)],
                          colours ? palette[values[static_cast<size_t>(i)]] : values[static_cast<size_t>(i)])
                    << bits << " bits, pixel " << i;
        }
}

TEST(BmpDecoder, RefusesDamagedFiles)
{
    const std::vector<uint32_t> palette{0x000000, 0xFFFFFF};
    const std::vector<uint8_t> good = makeBmp(9, 3, 1, std::vector<uint32_t>(27, 1), palette);
    ASSERT_TRUE(decodeBmp(good));

    // Every truncation, down to nothing.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(decodeBmp(std::span(good).first(n))) << n << " bytes";

    auto damaged = [&](size_t at, uint32_t value, int bytes) {
        std::vector<uint8_t> d = good;
        for (int i = 0; i < bytes; ++i)
            d[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        return decodeBmp(d).has_value();
    };
    EXPECT_FALSE(damaged(0, 'X', 1));           // not a bitmap
    EXPECT_FALSE(damaged(10, 0xFFFFFFF0u, 4));  // pixels past the end
    EXPECT_FALSE(damaged(14, 0xFFFFFFF0u, 4));  // header past the end
    EXPECT_FALSE(damaged(18, 0, 4));            // no width
    EXPECT_FALSE(damaged(18, 0x7FFFFFFFu, 4));  // absurd width
    EXPECT_FALSE(damaged(22, 0x80000000u, 4));  // height that cannot be negated
    EXPECT_FALSE(damaged(28, 16, 2));           // 16 bits per pixel is not read
    EXPECT_FALSE(damaged(30, 1, 4));            // run-length coded
    EXPECT_FALSE(damaged(46, 3, 4));            // more colours than 1 bit can index

    // An index beyond a short colour table.
    const std::vector<uint8_t> shortTable = makeBmp(2, 1, 4, {0, 5}, {0x000000, 0xFFFFFF});
    EXPECT_FALSE(decodeBmp(shortTable));

    // Random damage never reads out of bounds (the sanitizer build watches).
    picture::Sweep sweep;
    for (int n = 0; n < 2000; ++n) {
        std::vector<uint8_t> d = good;
        for (int k = 0; k < 3; ++k)
            d[static_cast<size_t>(sweep.next(0, static_cast<int32_t>(d.size()) - 1))] =
                static_cast<uint8_t>(sweep.next(0, 255));
        (void)decodeBmp(d);
    }
}

}  // namespace
