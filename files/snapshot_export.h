#pragma once
// Saving the window's picture as an image file: an uncompressed bitmap of the
// window's colours (".bmp"), a two-colour run-length PCX (".pcx") in which
// a pixel is either the window background or black, or an 8-bit RGB PNG
// (".png").

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/host.h"
#include "base/message_sink.h"

namespace files {

// The save dialog: title "Snapshot File Name", the bitmap, PCX and PNG
// filters with the bitmap one first, overwrite prompt, default extension "bmp".
platform::FileDialogOptions snapshotDialogOptions();

// The name to write: the chosen one when its last component has an
// extension, else that name with the extension of the chosen filter (the
// default extension when the filter names none).
std::string snapshotFileName(const std::string& chosen, const platform::FileDialogOptions& options,
                             int32_t filterIndex);

// Copies the window's picture, asks for a file name, puts the copy back on
// the window and writes the file the extension asks for. Another extension
// writes nothing and says which ones are known; a name of four characters or
// fewer writes nothing. Failures are reported to the user; always returns 1.
int32_t MakeSnapshot(platform::Host& host);

// --- the bitmap file

// The description a bitmap file carries of its pixels, field by field.
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows stored bottom-up
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// planes × bits per pixel raised to the next of 1, 4, 8, 16, 24, 32.
uint16_t roundedBitDepth(uint16_t planes, uint16_t bitsPerPixel);

// The description of a bitmap before its pixels are read: biSizeImage is the
// first estimate ((width + 7) / 8) · height · b, biClrUsed 2^b below 16 bits.
BitmapInfoHeader makeBitmapInfoHeader(int32_t width, int32_t height, uint16_t planes, uint16_t bitsPerPixel);

// The bytes of the bitmap file of the picture with the given description
// (the pixel retrieval replaces its image size with the real one): file
// header, information header, colour table, pixel rows bottom-up. Empty when
// the pixels cannot be retrieved with the description: an empty picture, one
// whose pixels do not match its size, a description of another size or
// depth than 32 bits, or more pixel bytes than the 32-bit sizes hold.
std::vector<uint8_t> encodeBmp(const platform::Bitmap& picture, BitmapInfoHeader info);
// The same with the description of a 32-bit bitmap of the picture's size.
std::vector<uint8_t> encodeBmp(const platform::Bitmap& picture);

// Writes encodeBmp's bytes to a fresh file beside `path` and renames it over
// `path` (files::AtomicFile); a target that is not a regular file is refused.
// 1 on success; 0 after a failure, which is reported with caption
// "About Bitmap" and leaves the file that was there as it was.
int32_t writeBmpFile(base::MessageSink& sink, const std::string& path, BitmapInfoHeader info,
                     const platform::Bitmap& picture);

// --- the PCX file

// Bytes per packed row: ((width + 31) >> 5) << 2.
uint32_t pcxBytesPerLine(int32_t width);

// The 128-byte header for a picture of width × height (1 .. 65536 each) on
// this background.
std::vector<uint8_t> makePcxHeader(int32_t width, int32_t height, platform::Color background);

// Run-length codes one packed row; never more than 2 bytes per input byte.
std::vector<uint8_t> encodePcxRow(std::span<const uint8_t> packed);

// The bytes of the one-bit PCX file of the picture: the header, then the run
// codes of every row top first, flag 1 where a pixel equals the background
// exactly. Empty when the header cannot describe the picture (a side below 1
// or above 65536) or its pixels do not match its size.
std::vector<uint8_t> encodePcx(const platform::Bitmap& picture, platform::Color background);

// Writes encodePcx's bytes to a fresh file beside `path` and renames it over
// `path` (files::AtomicFile); a target that is not a regular file is refused.
// 1 on success; 0 after a failure, which is reported with caption "About PCX"
// and leaves the file that was there as it was.
int32_t writePcxFile(base::MessageSink& sink, const std::string& path, const platform::Bitmap& picture,
                     platform::Color background);

}  // namespace files
