// PNG decoding of any bytes; what decodes must encode and decode again to
// the same pixels.

#include <cstdint>
#include <span>
#include <string>

#include "files/png_image.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::Bitmap picture;
    std::string error;
    // Small pictures only: a large one costs time, not coverage.
    if (!files::decodePng(std::span<const uint8_t>(data, size), picture, error, uint64_t{1} << 20)) {
        if (error.empty() || !picture.pixels.empty())
            fuzz::broken();
        return 0;
    }
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height))
        fuzz::broken();
    for (uint32_t p : picture.pixels)
        if (p > 0xFFFFFF)
            fuzz::broken();
    const std::vector<uint8_t> again = files::encodePng(picture, error);
    if (again.empty())
        fuzz::broken();
    platform::Bitmap back;
    if (!files::decodePng(again, back, error) || back.width != picture.width || back.height != picture.height ||
        back.pixels != picture.pixels)
        fuzz::broken();
    return 0;
}
