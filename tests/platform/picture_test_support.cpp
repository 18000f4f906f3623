#include "picture_test_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifndef QUILLMORE_TEST_OUTPUT
#define QUILLMORE_TEST_OUTPUT "test-output"
#endif

namespace picture {

std::set<Pixel> inked(const platform::Bitmap& b, platform::Color background)
{
    std::set<Pixel> out;
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (platform::pixelAt(b, x, y) != background)
                out.insert({x, y});
    return out;
}

platform::Rect boundsOf(const std::set<Pixel>& pixels)
{
    if (pixels.empty())
        return {};
    platform::Rect r{pixels.begin()->first, pixels.begin()->second, pixels.begin()->first + 1,
                     pixels.begin()->second + 1};
    for (const auto& [x, y] : pixels) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
    }
    return r;
}

std::string keepPicture(const platform::Bitmap& picture, const std::string& name)
{
    const std::filesystem::path folder = QUILLMORE_TEST_OUTPUT;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path path = folder / (name + ".bmp");
    // Rows bottom up, blue green red, each padded to four bytes.
    const int32_t w = std::max(picture.width, 0), h = std::max(picture.height, 0);
    const uint32_t rowBytes = (static_cast<uint32_t>(w) * 3u + 3u) & ~3u;
    const uint32_t dataBytes = rowBytes * static_cast<uint32_t>(h);
    std::vector<uint8_t> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    out.push_back('B');
    out.push_back('M');
    put(54 + dataBytes, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(static_cast<uint32_t>(w), 4);
    put(static_cast<uint32_t>(h), 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(dataBytes, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    for (int32_t y = h - 1; y >= 0; --y) {
        for (int32_t x = 0; x < w; ++x)
            put(picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] & 0xFFFFFFu,
                3);
        out.resize(out.size() + (rowBytes - static_cast<uint32_t>(w) * 3u), 0);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return file ? path.string() : std::string();
}

KeepIfFailed::~KeepIfFailed()
{
    if (name_.empty() || !::testing::Test::HasFailure())
        return;
    const std::string path = keepPicture(actual_, expected_ ? name_ + "-actual" : name_);
    std::printf("picture of the failure: %s\n", path.c_str());
    if (expected_)
        keepPicture(*expected_, name_ + "-expected");
}

::testing::AssertionResult samePicture(const platform::Bitmap& actual, const platform::Bitmap& expected,
                                       const std::string& name)
{
    std::string difference;
    if (actual.width != expected.width || actual.height != expected.height) {
        difference = "sizes " + std::to_string(actual.width) + "x" + std::to_string(actual.height) + " and " +
                     std::to_string(expected.width) + "x" + std::to_string(expected.height);
    } else {
        for (size_t i = 0; i < actual.pixels.size() && difference.empty(); ++i)
            if (actual.pixels[i] != expected.pixels[i]) {
                std::ostringstream text;
                text << "pixel (" << i % static_cast<size_t>(actual.width) << ", "
                     << i / static_cast<size_t>(actual.width) << ") is " << std::hex << (actual.pixels[i] & 0xFFFFFFu)
                     << ", expected " << (expected.pixels[i] & 0xFFFFFFu);
                difference = text.str();
            }
    }
    if (difference.empty())
        return ::testing::AssertionSuccess();
    const std::string a = keepPicture(actual, name + "-actual"), e = keepPicture(expected, name + "-expected");
    return ::testing::AssertionFailure() << name << ": " << difference << "; pictures: " << a << ", " << e;
}

int32_t Sweep::next(int32_t lo, int32_t hi)
{
    state = state * 1103515245u + 12345u;
    const uint32_t span = static_cast<uint32_t>(hi - lo) + 1u;
    return lo + static_cast<int32_t>((state >> 8) % span);
}

}  // namespace picture
