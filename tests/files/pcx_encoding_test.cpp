// The PCX run codes and the PCX file, checked against known codes and against
// the decoder of tests/support, written from the format alone.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "files/snapshot_export.h"
#include "platform/bitmap.h"
#include "base/message_sink.h"
#include "tests/files/files_test_support.h"
#include "tests/support/pcx_decoder.h"

using files_test::readAll;
using files_test::u16;
using test_support::decodePcxRow;

namespace {

std::vector<uint8_t> encode(const std::vector<uint8_t>& packed) { return files::encodePcxRow(packed); }

}  // namespace

TEST(PcxRunCodes, MatchTheKnownCodes)
{
    EXPECT_EQ(encode(std::vector<uint8_t>(24, 0xFF)), (std::vector<uint8_t>{0xD8, 0xFF}));
    EXPECT_EQ(encode({0xC5}), (std::vector<uint8_t>{0xC1, 0xC5}));
    EXPECT_EQ(encode({0x12}), (std::vector<uint8_t>{0x12}));
    EXPECT_EQ(encode(std::vector<uint8_t>(70, 0x00)), (std::vector<uint8_t>{0xFF, 0x00, 0xC7, 0x00}));
    EXPECT_TRUE(encode({}).empty());
    // Alternating bytes that each need a count: the worst case, two bytes each.
    EXPECT_EQ(encode({0xFF, 0xC0, 0xFF, 0xC0}), (std::vector<uint8_t>{0xC1, 0xFF, 0xC1, 0xC0, 0xC1, 0xFF, 0xC1, 0xC0}));
}

TEST(PcxRunCodes, SplitLongRunsAtSixtyThree)
{
    EXPECT_EQ(encode(std::vector<uint8_t>(63, 0xAA)), (std::vector<uint8_t>{0xFF, 0xAA}));
    // The 64th byte starts a run of its own, shown bare below 0xC0.
    EXPECT_EQ(encode(std::vector<uint8_t>(64, 0xAA)), (std::vector<uint8_t>{0xFF, 0xAA, 0xAA}));
    EXPECT_EQ(encode(std::vector<uint8_t>(64, 0xFF)), (std::vector<uint8_t>{0xFF, 0xFF, 0xC1, 0xFF}));
    EXPECT_EQ(encode(std::vector<uint8_t>(126, 0x3C)), (std::vector<uint8_t>{0xFF, 0x3C, 0xFF, 0x3C}));
    EXPECT_EQ(encode({0x12, 0x12, 0xC0, 0xBF, 0x00}), (std::vector<uint8_t>{0xC2, 0x12, 0xC1, 0xC0, 0xBF, 0x00}));
}

TEST(PcxRunCodes, DecodeBackToTheRowForRandomRows)
{
    std::mt19937 gen(20261207);
    for (int trial = 0; trial < 2000; ++trial) {
        const size_t width = 4 * (1 + gen() % 60);
        std::vector<uint8_t> row;
        while (row.size() < width) {
            // Runs of every length up to past 63, values biased to the ones
            // that need a count byte.
            const size_t run = 1 + gen() % (gen() % 4 == 0 ? 140 : 5);
            const uint8_t value = static_cast<uint8_t>(gen() % 3 == 0 ? 0xC0 | (gen() & 0x3F) : gen());
            row.insert(row.end(), std::min(run, width - row.size()), value);
        }
        const std::vector<uint8_t> codes = encode(row);
        ASSERT_LE(codes.size(), 2 * width);
        size_t at = 0;
        const auto decoded = decodePcxRow(codes, at, width);
        ASSERT_TRUE(decoded.has_value()) << "trial " << trial;
        EXPECT_EQ(*decoded, row) << "trial " << trial;
        EXPECT_EQ(at, codes.size()) << "trial " << trial;
    }
}

TEST(PcxFile, HeaderHoldsTheDocumentedFields)
{
    const std::vector<uint8_t> h = files::makePcxHeader(100, 37, platform::rgb(10, 20, 30));
    ASSERT_EQ(h.size(), 128u);
    EXPECT_EQ(h[0], 10);
    EXPECT_EQ(h[1], 5);
    EXPECT_EQ(h[2], 1);
    EXPECT_EQ(h[3], 1);
    EXPECT_EQ(u16(h, 4), 0u);
    EXPECT_EQ(u16(h, 6), 0u);
    EXPECT_EQ(u16(h, 8), 99u);
    EXPECT_EQ(u16(h, 10), 36u);
    EXPECT_EQ(u16(h, 12), 640u);
    EXPECT_EQ(u16(h, 14), 480u);
    EXPECT_EQ(h[16], 0);
    EXPECT_EQ(h[17], 0);
    EXPECT_EQ(h[18], 0);
    EXPECT_EQ(h[19], 10);
    EXPECT_EQ(h[20], 20);
    EXPECT_EQ(h[21], 30);
    for (size_t i = 22; i < 64; ++i)
        EXPECT_EQ(h[i], 0) << i;
    EXPECT_EQ(h[64], 0);
    EXPECT_EQ(h[65], 1);
    EXPECT_EQ(u16(h, 66), 16u);  // 100 pixels: 128 bits a line
    EXPECT_EQ(u16(h, 68), 1u);
    for (size_t i = 70; i < 128; ++i)
        EXPECT_EQ(h[i], 0) << i;
    EXPECT_EQ(files::pcxBytesPerLine(1), 4u);
    EXPECT_EQ(files::pcxBytesPerLine(32), 4u);
    EXPECT_EQ(files::pcxBytesPerLine(33), 8u);
}

TEST(PcxFile, RowsDecodeToBackgroundFlagsWithBackgroundPadding)
{
    files_test::ScratchDir dir;
    const platform::Color bg = platform::rgb(200, 201, 202);
    std::mt19937 gen(7);
    platform::Bitmap picture = platform::makeBitmap(100, 23, bg);
    for (uint32_t& p : picture.pixels) {
        const uint32_t r = gen() % 4;
        // Colours one step off the background must count as foreground.
        if (r == 1)
            p = platform::pixelFromColor(platform::rgb(200, 201, 203));
        else if (r == 2)
            p = gen() & 0xFFFFFF;
    }
    // A row of pure background and a row of none: the long-run paths.
    for (int x = 0; x < 100; ++x) {
        picture.pixels[static_cast<size_t>(x)] = platform::pixelFromColor(bg);
        picture.pixels[100 + static_cast<size_t>(x)] = 0;
    }

    base::MessageRecorder sink;
    const std::string path = dir.file("p.pcx");
    ASSERT_EQ(files::writePcxFile(sink, path, picture, bg), 1);
    EXPECT_TRUE(sink.messages.empty());

    const std::vector<uint8_t> file = readAll(path);
    ASSERT_GE(file.size(), 128u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 128), files::makePcxHeader(100, 23, bg));
    // The rows, 16 bytes each, and nothing after the last.
    const auto decoded = test_support::decodePcx(file);
    ASSERT_TRUE(decoded.has_value());
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 128; ++x)
            ASSERT_EQ(decoded->flag(x, y), x >= 100 || platform::pixelAt(picture, x, y) == bg)
                << "x " << x << " y " << y;
    // The all-background row: 16 bytes 0xFF in one run.
    EXPECT_EQ(file[128], 0xD0);
    EXPECT_EQ(file[129], 0xFF);
}
