// PNG pictures: random pictures survive encoding and decoding, every colour
// type and depth libpng writes decodes to the pixels a model expects, and a
// failed write leaves the folder as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <png.h>
#include <random>
#include <string>
#include <vector>

#include "files/png_image.h"
#include "tests/files/files_test_support.h"
#include "tests/platform/picture_test_support.h"
#include "tests/support/sanitized_trials.h"

using files_test::ScratchDir;

namespace {

platform::Bitmap randomPicture(int32_t width, int32_t height, std::mt19937& gen)
{
    platform::Bitmap b;
    b.width = width;
    b.height = height;
    b.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (uint32_t& p : b.pixels)
        p = gen();  // the top byte too: it must not reach the file
    return b;
}

std::vector<uint32_t> withoutTopByte(std::vector<uint32_t> pixels)
{
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A PNG in any colour type, depth and interlacing, written by libpng from
// packed rows, for the decoder to read back.
struct Variant {
    int colorType;
    int depth;
    bool interlaced;
    bool transparency;  // a tRNS chunk, for palettes
};

void appendTo(png_structp png, png_bytep data, size_t n)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

std::vector<uint8_t> writeVariant(const Variant& v, uint32_t width, uint32_t height,
                                  const std::vector<std::vector<uint8_t>>& rows, const std::vector<png_color>& palette)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendTo, nullptr);
    png_set_IHDR(png, info, width, height, v.depth, v.colorType,
                 v.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (v.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        if (v.transparency) {
            std::vector<png_byte> alpha(palette.size(), 128);
            png_set_tRNS(png, info, alpha.data(), static_cast<int>(alpha.size()), nullptr);
        }
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& r : rows)
        pointers.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Sample k of a packed row of `depth`-bit samples.
uint32_t sampleAt(const std::vector<uint8_t>& row, size_t k, int depth)
{
    if (depth == 16)
        return static_cast<uint32_t>(row[2 * k] << 8 | row[2 * k + 1]);
    if (depth == 8)
        return row[k];
    const size_t bit = k * static_cast<size_t>(depth);
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// A sample as 8 bits: low depths stretched to 0..255, 16 bits cut to the high byte.
uint32_t to8(uint32_t s, int depth)
{
    if (depth == 16)
        return s >> 8;
    return s * 255 / ((1u << depth) - 1);
}

}  // namespace

TEST(PngImage, RandomPicturesSurviveEncodingAndFiles)
{
    std::mt19937 gen(31);
    ScratchDir dir;
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {2, 1},   {1, 2},   {3, 5},  {7, 3},
                                                 {33, 17}, {100, 1}, {1, 100}, {257, 9}};
    for (const auto& [w, h] : sizes) {
        const platform::Bitmap picture = randomPicture(w, h, gen);
        std::string error;
        const std::vector<uint8_t> bytes = files::encodePng(picture, error);
        ASSERT_FALSE(bytes.empty()) << error;
        platform::Bitmap decoded;
        ASSERT_TRUE(files::decodePng(bytes, decoded, error)) << error;
        EXPECT_EQ(decoded.width, w);
        EXPECT_EQ(decoded.height, h);
        EXPECT_EQ(decoded.pixels, withoutTopByte(picture.pixels)) << w << "x" << h;

        const std::string path = dir.file("picture.png");
        ASSERT_TRUE(files::writePngFile(path, picture, error)) << error;
        EXPECT_EQ(files_test::readAll(path), bytes);
        platform::Bitmap read;
        ASSERT_TRUE(files::readPngFile(path, read, error)) << error;
        EXPECT_TRUE(picture::samePicture(read, decoded, "png-file-read"));
    }
    // Replacing leaves nothing but the picture behind.
    EXPECT_EQ(folderEntries(dir.file("")), std::vector<std::string>{"picture.png"});
}

// Every colour type and depth, plain and interlaced, against the model of
// what the decoder promises: grey spread to three channels, low depths
// stretched, 16 bits cut to the high byte, palettes looked up, alpha dropped.
TEST(PngImage, EveryColourTypeAndDepthDecodes)
{
    std::mt19937 gen(77);
    std::vector<Variant> variants;
    for (bool interlaced : {false, true}) {
        for (int d : {1, 2, 4, 8, 16})
            variants.push_back({PNG_COLOR_TYPE_GRAY, d, interlaced, false});
        for (int d : {8, 16}) {
            variants.push_back({PNG_COLOR_TYPE_RGB, d, interlaced, false});
            variants.push_back({PNG_COLOR_TYPE_GRAY_ALPHA, d, interlaced, false});
            variants.push_back({PNG_COLOR_TYPE_RGB_ALPHA, d, interlaced, false});
        }
        for (int d : {1, 2, 4, 8})
            for (bool trns : {false, true})
                variants.push_back({PNG_COLOR_TYPE_PALETTE, d, interlaced, trns});
    }
    for (const Variant& v : variants) {
        const uint32_t width = 1 + gen() % 19, height = 1 + gen() % 11;
        const int channels = v.colorType == PNG_COLOR_TYPE_GRAY         ? 1
                             : v.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                             : v.colorType == PNG_COLOR_TYPE_RGB        ? 3
                             : v.colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                                        : 1;
        std::vector<png_color> palette(size_t{1} << std::min(v.depth, 8));
        for (png_color& c : palette)
            c = {static_cast<png_byte>(gen()), static_cast<png_byte>(gen()), static_cast<png_byte>(gen())};
        const size_t rowBytes = (static_cast<size_t>(width) * channels * v.depth + 7) / 8;
        std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(rowBytes));
        for (auto& r : rows)
            for (uint8_t& b : r)
                b = static_cast<uint8_t>(gen());
        // Unused low bits of the last byte stay zero, as a writer leaves them.
        const size_t usedBits = static_cast<size_t>(width) * channels * v.depth;
        if (usedBits % 8 != 0)
            for (auto& r : rows)
                r.back() &= static_cast<uint8_t>(0xFF << (8 - usedBits % 8));

        std::vector<uint32_t> want;
        for (const auto& r : rows) {
            for (size_t x = 0; x < width; ++x) {
                const size_t k = x * static_cast<size_t>(channels);
                uint32_t red, green, blue;
                if (v.colorType == PNG_COLOR_TYPE_PALETTE) {
                    const png_color& c = palette[sampleAt(r, x, v.depth)];
                    red = c.red, green = c.green, blue = c.blue;
                } else if (channels <= 2) {
                    red = green = blue = to8(sampleAt(r, k, v.depth), v.depth);
                } else {
                    red = to8(sampleAt(r, k, v.depth), v.depth);
                    green = to8(sampleAt(r, k + 1, v.depth), v.depth);
                    blue = to8(sampleAt(r, k + 2, v.depth), v.depth);
                }
                want.push_back(red << 16 | green << 8 | blue);
            }
        }
        const std::vector<uint8_t> file = writeVariant(v, width, height, rows, palette);
        platform::Bitmap decoded;
        std::string error;
        ASSERT_TRUE(files::decodePng(file, decoded, error)) << error;
        EXPECT_EQ(decoded.width, static_cast<int32_t>(width));
        EXPECT_EQ(decoded.height, static_cast<int32_t>(height));
        EXPECT_EQ(decoded.pixels, want) << "colour type " << v.colorType << ", depth " << v.depth
                                        << (v.interlaced ? ", interlaced" : "") << (v.transparency ? ", tRNS" : "");
    }
}

TEST(PngImage, DamagedDataIsRefusedAndLeavesThePictureAlone)
{
    std::mt19937 gen(3);
    const std::vector<uint8_t> good = files::encodePng(randomPicture(13, 7, gen));
    ASSERT_FALSE(good.empty());
    const platform::Bitmap before = randomPicture(2, 2, gen);
    // Every cut before the last image data byte: no picture, no read beyond.
    for (size_t n = 0; n + 12 < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        platform::Bitmap picture = before;
        std::string error;
        EXPECT_FALSE(files::decodePng(cut, picture, error)) << n;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(picture::samePicture(picture, before, "png-refused-keeps-picture"));
    }
    // A changed byte in the header's check sum.
    std::vector<uint8_t> flipped = good;
    flipped[29] ^= 0x40;
    platform::Bitmap picture;
    std::string error;
    EXPECT_FALSE(files::decodePng(flipped, picture, error));
    // Pictures over the limit are refused before their pixels are made.
    EXPECT_FALSE(files::decodePng(good, picture, error, 13 * 7 - 1));
    EXPECT_EQ(error, "the picture is too large");
    EXPECT_TRUE(files::decodePng(good, picture, error, 13 * 7));
}

// A chunk of `type` with `data`, its length as `stated`, and its check sum.
std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& data, uint32_t stated)
{
    std::vector<uint8_t> c;
    for (int shift = 24; shift >= 0; shift -= 8)
        c.push_back(static_cast<uint8_t>(stated >> shift));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = 4; k < c.size(); ++k) {
        crc ^= c[k];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int shift = 24; shift >= 0; shift -= 8)
        c.push_back(static_cast<uint8_t>(crc >> shift));
    return c;
}

TEST(PngImage, ChunksThatDoNotShapeThePixelsArePassedOverUnread)
{
    std::mt19937 gen(4);
    const platform::Bitmap original = randomPicture(9, 5, gen);
    const std::vector<uint8_t> good = files::encodePng(original);
    ASSERT_FALSE(good.empty());
    const auto afterHeader = good.begin() + 33;  // the signature and IHDR
    // Text, a suggested palette and a chunk of no known kind change nothing.
    std::vector<uint8_t> annotated(good.begin(), afterHeader);
    for (const char* type : {"tEXt", "sPLT", "quIl"}) {
        const std::vector<uint8_t> c = chunk(type, std::vector<uint8_t>(40, 0x73), 40);
        annotated.insert(annotated.end(), c.begin(), c.end());
    }
    annotated.insert(annotated.end(), afterHeader, good.end());
    platform::Bitmap plain, picture;
    std::string error;
    ASSERT_TRUE(files::decodePng(good, plain, error)) << error;
    ASSERT_TRUE(files::decodePng(annotated, picture, error)) << error;
    EXPECT_TRUE(picture::samePicture(picture, plain, "png-annotated"));

    // A chunk that states almost 2 GB in a file of a few hundred bytes (a
    // fuzzer's find): libpng took what it stated before it read a byte.
    std::vector<uint8_t> boastful(good.begin(), afterHeader);
    const std::vector<uint8_t> c = chunk("sPLT", std::vector<uint8_t>(40, 0x73), 1936946035u);
    boastful.insert(boastful.end(), c.begin(), c.end());
#if !QUILLMORE_SANITIZED
    const std::string said = files_test::inChild(
        [&] {
            platform::Bitmap p;
            std::string e;
            return std::to_string(files::decodePng(boastful, p, e)) + " " + e;
        },
        RLIMIT_AS, rlim_t{256} << 20);
    EXPECT_EQ(said, "0 the PNG data ends early");
#endif
    EXPECT_FALSE(files::decodePng(boastful, picture, error));
    EXPECT_EQ(error, "the PNG data ends early");
}

TEST(PngImage, EmptyOrInconsistentPicturesAreNotEncoded)
{
    std::string error;
    EXPECT_TRUE(files::encodePng(platform::Bitmap{}, error).empty());
    EXPECT_EQ(error, "the picture is empty");
    platform::Bitmap odd = platform::makeBitmap(3, 3);
    odd.pixels.pop_back();
    EXPECT_TRUE(files::encodePng(odd, error).empty());
    EXPECT_EQ(error, "the picture's pixels do not match its size");
}

TEST(PngImage, FailedWritesLeaveTheFolderAsItWas)
{
    ScratchDir dir;
    std::mt19937 gen(11);
    const platform::Bitmap picture = randomPicture(4, 4, gen);
    std::string error;

    const std::string missing = dir.file("none/picture.png");
    EXPECT_FALSE(files::writePngFile(missing, picture, error));
    EXPECT_EQ(error, "cannot write '" + missing + "': No such file or directory");

    const std::string plain = dir.file("plain");
    files_test::writeAll(plain, {1, 2, 3});
    EXPECT_FALSE(files::writePngFile(plain + "/picture.png", picture, error));
    EXPECT_EQ(error, "cannot write '" + plain + "/picture.png': Not a directory");

    // The target is a folder: the fresh file is made, the rename fails, and
    // the fresh file is gone again.
    const std::string folder = dir.file("folder.png");
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(files::writePngFile(folder, picture, error));
    EXPECT_EQ(error, "cannot write '" + folder + "': Is a directory");

    // A good file stays as it was when the next picture cannot be written.
    const std::string good = dir.file("good.png");
    ASSERT_TRUE(files::writePngFile(good, picture, error)) << error;
    const std::vector<uint8_t> goodBytes = files_test::readAll(good);
    EXPECT_FALSE(files::writePngFile(good, platform::Bitmap{}, error));
    EXPECT_EQ(error, "cannot write '" + good + "': the picture is empty");
    EXPECT_EQ(files_test::readAll(good), goodBytes);

    EXPECT_EQ(folderEntries(dir.file("")), (std::vector<std::string>{"folder.png", "good.png", "plain"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    platform::Bitmap read;
    EXPECT_FALSE(files::readPngFile(plain, read, error));
    EXPECT_EQ(error.find("cannot read '" + plain + "': "), 0u) << error;
    EXPECT_FALSE(files::readPngFile(missing, read, error));
    EXPECT_EQ(error, "cannot read '" + missing + "': No such file or directory");
}
