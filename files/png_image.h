#pragma once
// Pictures as PNG files: 8-bit RGB out, anything libpng decodes in.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace files {

// The picture as PNG bytes (8-bit RGB, the pixels' top byte ignored); empty
// when the picture is empty or its pixels do not match its size, with the
// reason in `error`.
std::vector<uint8_t> encodePng(const platform::Bitmap& picture, std::string& error);
std::vector<uint8_t> encodePng(const platform::Bitmap& picture);

// Pictures larger than this are refused before their pixels are allocated.
inline constexpr uint64_t kPngMaxPixels = uint64_t{1} << 26;

// Any PNG libpng reads, as 0x00RRGGBB pixels: palettes and grey expanded,
// 16-bit channels cut to their high byte, alpha dropped. false with the
// reason in `error` for damaged data or a picture over `maxPixels`;
// `picture` is then unchanged.
bool decodePng(std::span<const uint8_t> bytes, platform::Bitmap& picture, std::string& error,
               uint64_t maxPixels = kPngMaxPixels);

// Writes the picture to a fresh file beside `path` and renames it over
// `path` (files::AtomicFile), so that a failure leaves whatever was there
// before and no torn file. false with a message naming the file and the
// reason.
bool writePngFile(const std::string& path, const platform::Bitmap& picture, std::string& error);

// Reads the file and decodes it as decodePng does. false with "cannot read
// '<path>': " and the reason in `error`; `picture` is then unchanged.
bool readPngFile(const std::string& path, platform::Bitmap& picture, std::string& error);

}  // namespace files
