#pragma once
// Reads a Windows bitmap file held in memory: uncompressed 1, 4, 8, 24 and
// 32 bits per pixel, bottom-up or top-down rows. Every offset and size in the
// file is checked against the data before it is used.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/bitmap.h"

namespace platform {

// A decoded bitmap file: its pixels and what the file said of them.
struct DecodedBmp {
    Bitmap bitmap;
    uint16_t bitCount = 0;     // bits per pixel in the file
    uint32_t paletteSize = 0;  // colour table entries in the file (0 for 24 and 32 bits)
};

// Empty for anything that is not a complete bitmap of a supported kind.
std::optional<DecodedBmp> decodeBmp(std::span<const uint8_t> bytes);

}  // namespace platform
