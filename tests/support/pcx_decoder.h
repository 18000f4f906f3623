#pragma once
// A reader of the one-bit run-length PCX files the snapshot writes, written
// from the format alone so that it can judge the writer: the header's sizes
// and background, then each row's codes expanded on their own (a run never
// carries over into the next row, and nothing follows the last row). The
// file tests and the snapshot fuzz target both judge by it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/geometry.h"

namespace test_support {

struct DecodedPcx {
    int32_t width = 0;  // Xmax − Xmin + 1, modulo 2^16: Xmax 0xFFFF means no column
    int32_t height = 0;
    uint32_t bytesPerLine = 0;
    platform::Color background = 0;  // palette entry 1
    platform::Color black = 0;       // palette entry 0
    std::vector<uint8_t> rows;       // height × bytesPerLine packed bytes, top row first

    // The flag of pixel (x, y): 1 where the picture had the background.
    // x may reach into the row's padding, up to 8 · bytesPerLine − 1.
    int flag(int32_t x, int32_t y) const
    {
        const uint8_t byte = rows[static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) / 8];
        return (byte >> (7 - x % 8)) & 1;
    }
};

inline uint32_t pcxU16(std::span<const uint8_t> b, size_t at) { return b[at] | (uint32_t{b[at + 1]} << 8); }

// Expands the codes from `at` into one row of `width` packed bytes, leaving
// `at` after them. Nothing when the codes run out, a run holds no byte (the
// writer's runs hold at least one) or a run reaches past the row's end.
inline std::optional<std::vector<uint8_t>> decodePcxRow(std::span<const uint8_t> codes, size_t& at, size_t width)
{
    std::vector<uint8_t> row;
    row.reserve(width);
    while (row.size() < width) {
        if (at >= codes.size())
            return std::nullopt;
        uint8_t b = codes[at++];
        size_t count = 1;
        if ((b & 0xC0) == 0xC0) {
            count = b & 0x3F;
            if (count == 0 || at >= codes.size())
                return std::nullopt;
            b = codes[at++];
        }
        if (row.size() + count > width)
            return std::nullopt;
        row.insert(row.end(), count, b);
    }
    return row;
}

// Nothing for any file that breaks the layout.
inline std::optional<DecodedPcx> decodePcx(std::span<const uint8_t> file)
{
    if (file.size() < 128 || file[0] != 10 || file[2] != 1 || file[3] != 1 || file[65] != 1)
        return std::nullopt;
    DecodedPcx d;
    d.width = static_cast<int32_t>((pcxU16(file, 8) - pcxU16(file, 4) + 1) & 0xFFFF);
    d.height = static_cast<int32_t>((pcxU16(file, 10) - pcxU16(file, 6) + 1) & 0xFFFF);
    d.bytesPerLine = pcxU16(file, 66);
    if (8 * static_cast<uint64_t>(d.bytesPerLine) < static_cast<uint64_t>(d.width))
        return std::nullopt;
    d.black = platform::rgb(file[16], file[17], file[18]);
    d.background = platform::rgb(file[19], file[20], file[21]);
    d.rows.reserve(static_cast<size_t>(d.height) * d.bytesPerLine);
    size_t at = 128;
    for (int32_t y = 0; y < d.height; ++y) {
        const auto row = decodePcxRow(file, at, d.bytesPerLine);
        if (!row)
            return std::nullopt;
        d.rows.insert(d.rows.end(), row->begin(), row->end());
    }
    if (at != file.size())
        return std::nullopt;
    return d;
}

}  // namespace test_support
