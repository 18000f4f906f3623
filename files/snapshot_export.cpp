#include "files/snapshot_export.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "files/atomic_file.h"
#include "files/png_image.h"

namespace files {

namespace {

constexpr const char* kBitmapCaption = "About Bitmap";
constexpr const char* kPcxCaption = "About PCX";
constexpr const char* kPngCaption = "About PNG";
// Past this many pixel bytes the 32-bit size of the file would wrap.
constexpr uint64_t kMaxBmpImageSize = 0xFFFFFFFFull - 14 - 40;

void putU16(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putU32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The 40 bytes of the information header and `tableBytes` zeros after them.
std::vector<uint8_t> infoHeaderBytes(const BitmapInfoHeader& info, size_t tableBytes)
{
    std::vector<uint8_t> b(40 + tableBytes, 0);
    putU32(b, 0, info.biSize);
    putU32(b, 4, static_cast<uint32_t>(info.biWidth));
    putU32(b, 8, static_cast<uint32_t>(info.biHeight));
    putU16(b, 12, info.biPlanes);
    putU16(b, 14, info.biBitCount);
    putU32(b, 16, info.biCompression);
    putU32(b, 20, info.biSizeImage);
    putU32(b, 24, static_cast<uint32_t>(info.biXPelsPerMeter));
    putU32(b, 28, static_cast<uint32_t>(info.biYPelsPerMeter));
    putU32(b, 32, info.biClrUsed);
    putU32(b, 36, info.biClrImportant);
    return b;
}

// The window's pixels as a 32-bit device-independent bitmap: rows bottom-up,
// each pixel B, G, R, 0. Fills in the real image size, as the retrieval does.
bool retrievePixels(const platform::Bitmap& picture, BitmapInfoHeader& info, std::vector<uint8_t>& bits)
{
    if (picture.width <= 0 || picture.height <= 0 || info.biWidth != picture.width || info.biHeight != picture.height ||
        info.biBitCount != 32 ||
        picture.pixels.size() < static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height))
        return false;
    const size_t stride = static_cast<size_t>(picture.width) * 4;
    // The file's sizes are 32-bit fields: a larger picture has no bitmap file.
    if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(picture.height) > kMaxBmpImageSize)
        return false;
    info.biSizeImage = static_cast<uint32_t>(stride * static_cast<size_t>(picture.height));
    info.biClrUsed = 0;
    bits.assign(info.biSizeImage, 0);
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint32_t* row = &picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width)];
        uint8_t* out = &bits[static_cast<size_t>(picture.height - 1 - y) * stride];
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint32_t p = row[x];
            out[4 * x] = static_cast<uint8_t>(p);
            out[4 * x + 1] = static_cast<uint8_t>(p >> 8);
            out[4 * x + 2] = static_cast<uint8_t>(p >> 16);
            out[4 * x + 3] = 0;
        }
    }
    return true;
}

std::vector<uint8_t> bmpFileHeaderBytes(const BitmapInfoHeader& info)
{
    const uint32_t offBits = 14 + info.biSize + 4 * info.biClrUsed;
    std::vector<uint8_t> b(14, 0);
    putU16(b, 0, 0x4D42);
    putU32(b, 2, offBits + info.biSizeImage);
    putU32(b, 10, offBits);
    return b;
}

// The information header and the colour table the description asks for. The
// retrieval leaves no colour table for 32-bit pixels; any entries are zeros.
std::vector<uint8_t> bmpInfoBytes(const BitmapInfoHeader& info)
{
    return infoHeaderBytes(info, 4 * static_cast<size_t>(info.biClrUsed));
}

// The largest picture a PCX header describes: Xmax and Ymax are 16-bit.
constexpr int32_t kMaxPcxSide = 65536;

bool pcxSizeFits(const platform::Bitmap& picture)
{
    return picture.width >= 1 && picture.height >= 1 && picture.width <= kMaxPcxSide && picture.height <= kMaxPcxSide;
}

bool pixelsMatchSize(const platform::Bitmap& picture)
{
    return picture.pixels.size() == static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
}

// The run codes of row y: flag 1 where a pixel equals the background exactly,
// the padding past the picture background too, eight flags a byte with the
// first in the highest bit. `flags` holds 8 · bytes per line, `packed` the
// bytes per line.
std::vector<uint8_t> pcxRowCodes(const platform::Bitmap& picture, platform::Color background, int32_t y,
                                 std::vector<uint8_t>& flags, std::vector<uint8_t>& packed)
{
    std::fill(flags.begin(), flags.end(), uint8_t{1});
    for (int32_t x = 0; x < picture.width; ++x)
        flags[static_cast<size_t>(x)] = platform::pixelAt(picture, x, y) == background ? 1 : 0;
    for (size_t i = 0; i < packed.size(); ++i) {
        uint8_t byte = 0;
        for (size_t bit = 0; bit < 8; ++bit)
            byte = static_cast<uint8_t>((byte << 1) | flags[8 * i + bit]);
        packed[i] = byte;
    }
    return encodePcxRow(packed);
}

// The message for a target the writers refuse to replace.
std::string notRegularText(const std::string& path) { return "'" + path + "' is not a regular file!"; }

// What a writer says when the finished file cannot take the target's place.
const char* commitFailureText(AtomicStep step)
{
    switch (step) {
    case AtomicStep::Sync:
        return "ERROR while flushing the file to disk!";
    case AtomicStep::Rename:
        return "ERROR while replacing the old file!";
    default:
        return "CloseHandle ERROR!";
    }
}

bool endsWithNoCase(const std::string& name, const char* ext)
{
    // Only a name longer than its extension has one.
    if (name.size() <= 4)
        return false;
    const std::string tail = name.substr(name.size() - 4);
    for (size_t i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != ext[i])
            return false;
    return true;
}

// The extension of the name's last component with its dot (".png"), or ""
// when that component has no dot.
std::string extensionOf(const std::string& name)
{
    const size_t slash = name.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot < start)
        return {};
    return name.substr(dot);
}

// The extension a filter of one pattern "*.png" stands for (".png"); "" for
// "*.*" and anything else.
std::string filterExtension(const platform::FileFilter& filter)
{
    const std::string& p = filter.pattern;
    if (p.size() < 3 || p[0] != '*' || p[1] != '.')
        return {};
    for (size_t i = 2; i < p.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(p[i])))
            return {};
    return p.substr(1);
}

// Puts the copy taken before the dialog back on the window, clipped to what
// both pictures cover.
void copyBack(const platform::Bitmap& copy, platform::Bitmap& window)
{
    const int32_t w = std::min(copy.width, window.width);
    const int32_t h = std::min(copy.height, window.height);
    for (int32_t y = 0; y < h; ++y)
        std::copy_n(copy.pixels.begin() + static_cast<ptrdiff_t>(y) * copy.width, w,
                    window.pixels.begin() + static_cast<ptrdiff_t>(y) * window.width);
}

}  // namespace

platform::FileDialogOptions snapshotDialogOptions()
{
    platform::FileDialogOptions o;
    o.title = "Snapshot File Name";
    o.filters = {{"Bitmap Files (*.bmp)", "*.bmp"}, {"PCX Files (*.pcx)", "*.pcx"}, {"PNG Files (*.png)", "*.png"}};
    o.filterIndex = 0;
    o.defaultExtension = "bmp";
    o.overwritePrompt = true;
    return o;
}

std::string snapshotFileName(const std::string& chosen, const platform::FileDialogOptions& options, int32_t filterIndex)
{
    if (!extensionOf(chosen).empty())
        return chosen;
    std::string extension;
    if (filterIndex >= 0 && static_cast<size_t>(filterIndex) < options.filters.size())
        extension = filterExtension(options.filters[static_cast<size_t>(filterIndex)]);
    if (extension.empty() && !options.defaultExtension.empty())
        extension = "." + options.defaultExtension;
    return chosen + extension;
}

int32_t MakeSnapshot(platform::Host& host)
{
    // Taken before the dialog can cover the window.
    const platform::Bitmap copy = host.windowPicture();
    const platform::FileDialogOptions options = snapshotDialogOptions();
    const std::optional<platform::FileChoice> choice = host.saveFileChoice(options);
    if (!choice)
        return 1;
    copyBack(copy, host.windowPicture());

    const std::string name = snapshotFileName(choice->path, options, choice->filterIndex);
    if (endsWithNoCase(name, ".pcx")) {
        // A window's device context starts with the white background colour.
        if (!writePcxFile(host, name, host.windowPicture(), platform::kWhite))
            host.messageBox("PCX file is not created", kBitmapCaption, base::MessageIcon::None);
    } else if (endsWithNoCase(name, ".bmp")) {
        const BitmapInfoHeader info = makeBitmapInfoHeader(copy.width, copy.height, 1, 32);
        if (!writeBmpFile(host, name, info, copy))
            host.messageBox("Bitmap file is not created", kBitmapCaption, base::MessageIcon::None);
    } else if (endsWithNoCase(name, ".png")) {
        std::string error;
        if (!writePngFile(name, copy, error)) {
            host.messageBox(error, kPngCaption, base::MessageIcon::None);
            host.messageBox("PNG file is not created", kBitmapCaption, base::MessageIcon::None);
        }
    } else if (name.size() > 4) {
        // A name of four characters or fewer has never named a file here.
        host.messageBox("Unknown image format '" + extensionOf(name) + "': use .bmp, .pcx or .png", kBitmapCaption,
                        base::MessageIcon::None);
    }
    return 1;
}

uint16_t roundedBitDepth(uint16_t planes, uint16_t bitsPerPixel)
{
    const uint32_t b = static_cast<uint32_t>(planes) * bitsPerPixel;
    if (b <= 1)
        return 1;
    if (b <= 4)
        return 4;
    if (b <= 8)
        return 8;
    if (b <= 16)
        return 16;
    if (b <= 24)
        return 24;
    return 32;
}

BitmapInfoHeader makeBitmapInfoHeader(int32_t width, int32_t height, uint16_t planes, uint16_t bitsPerPixel)
{
    const uint16_t b = roundedBitDepth(planes, bitsPerPixel);
    BitmapInfoHeader info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = planes;
    info.biBitCount = bitsPerPixel;
    info.biCompression = 0;
    // Wraps like the 32-bit field it estimates; the retrieval replaces it.
    info.biSizeImage = static_cast<uint32_t>((static_cast<int64_t>(width) + 7) / 8) * static_cast<uint32_t>(height) * b;
    info.biClrUsed = b < 16 ? (1u << b) : 0;
    return info;
}

std::vector<uint8_t> encodeBmp(const platform::Bitmap& picture, BitmapInfoHeader info)
{
    std::vector<uint8_t> bits;
    if (!retrievePixels(picture, info, bits))
        return {};
    std::vector<uint8_t> out = bmpFileHeaderBytes(info);
    const std::vector<uint8_t> infoBytes = bmpInfoBytes(info);
    out.insert(out.end(), infoBytes.begin(), infoBytes.end());
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
}

std::vector<uint8_t> encodeBmp(const platform::Bitmap& picture)
{
    return encodeBmp(picture, makeBitmapInfoHeader(picture.width, picture.height, 1, 32));
}

int32_t writeBmpFile(base::MessageSink& sink, const std::string& path, BitmapInfoHeader info,
                     const platform::Bitmap& picture)
{
    auto fail = [&](const std::string& text) {
        sink.messageBox(text, kBitmapCaption, base::MessageIcon::None);
        return 0;
    };
    std::vector<uint8_t> bits;
    try {
        bits.reserve(static_cast<size_t>(picture.width > 0 ? picture.width : 0) *
                     static_cast<size_t>(picture.height > 0 ? picture.height : 0) * 4);
    } catch (const std::bad_alloc&) {
        return fail("GlobalAlloc ERROR!");
    }
    if (!retrievePixels(picture, info, bits))
        return fail("GetDIBits ERROR!");

    // Written beside the target and renamed over it at the end, so that a
    // failure leaves the file that was there before.
    AtomicFile file(path);
    if (file.failedStep() == AtomicStep::NotRegular)
        return fail(notRegularText(path));
    if (!file.isOpen())
        return fail("CreateFile ERROR!");
    if (!file.write(bmpFileHeaderBytes(info)))
        return fail("ERROR while writing BITMAPFILEHEADER!");
    if (!file.write(bmpInfoBytes(info)))
        return fail("ERROR while writing BITMAPINFOHEADER!");
    if (!file.write(bits.data(), info.biSizeImage))
        return fail("ERROR while writing bitmap bits!");
    if (!file.commit())
        return fail(commitFailureText(file.failedStep()));
    return 1;
}

uint32_t pcxBytesPerLine(int32_t width)
{
    const uint32_t w = width > 0 ? static_cast<uint32_t>(width) : 0;
    return ((w + 31) >> 5) << 2;
}

std::vector<uint8_t> makePcxHeader(int32_t width, int32_t height, platform::Color background)
{
    std::vector<uint8_t> h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = 1;
    putU16(h, 8, static_cast<uint32_t>(width - 1));
    putU16(h, 10, static_cast<uint32_t>(height - 1));
    putU16(h, 12, 640);
    putU16(h, 14, 480);
    h[16 + 3] = platform::redOf(background);
    h[16 + 4] = platform::greenOf(background);
    h[16 + 5] = platform::blueOf(background);
    h[65] = 1;
    putU16(h, 66, pcxBytesPerLine(width));
    putU16(h, 68, 1);
    return h;
}

std::vector<uint8_t> encodePcxRow(std::span<const uint8_t> packed)
{
    std::vector<uint8_t> out;
    out.reserve(2 * packed.size());
    uint8_t c = 0;
    uint32_t n = 0;
    auto emit = [&] {
        // A lone byte with both top bits set would read as a count.
        if (n > 1 || (c & 0xC0) == 0xC0)
            out.push_back(static_cast<uint8_t>(0xC0 | n));
        out.push_back(c);
    };
    for (const uint8_t v : packed) {
        if (n == 0) {
            c = v;
            n = 1;
        } else if (v == c) {
            if (++n == 63) {
                emit();
                n = 0;
            }
        } else {
            emit();
            c = v;
            n = 1;
        }
    }
    if (n > 0)
        emit();
    return out;
}

std::vector<uint8_t> encodePcx(const platform::Bitmap& picture, platform::Color background)
{
    if (!pcxSizeFits(picture) || !pixelsMatchSize(picture))
        return {};
    const uint32_t B = pcxBytesPerLine(picture.width);
    std::vector<uint8_t> out = makePcxHeader(picture.width, picture.height, background);
    std::vector<uint8_t> flags(8 * static_cast<size_t>(B)), packed(B);
    for (int32_t y = 0; y < picture.height; ++y) {
        const std::vector<uint8_t> codes = pcxRowCodes(picture, background, y, flags, packed);
        out.insert(out.end(), codes.begin(), codes.end());
    }
    return out;
}

int32_t writePcxFile(base::MessageSink& sink, const std::string& path, const platform::Bitmap& picture,
                     platform::Color background)
{
    auto fail = [&](const std::string& text) {
        sink.messageBox(text, kPcxCaption, base::MessageIcon::None);
        return 0;
    };
    // A header for no pixels would claim 65536 × 65536 of them.
    if (!pcxSizeFits(picture)) {
        std::string text = "Picture of ";
        text += std::to_string(picture.width);
        text += " x ";
        text += std::to_string(picture.height);
        text += " pixels cannot be saved!";
        return fail(text);
    }
    if (!pixelsMatchSize(picture))
        return fail("The picture's pixels do not match its size!");
    const uint32_t B = pcxBytesPerLine(picture.width);
    const uint32_t P = 8 * B;
    const std::vector<uint8_t> header = makePcxHeader(picture.width, picture.height, background);

    std::vector<uint8_t> flags, packed;
    try {
        flags.assign(P, 0);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для буфера строки!");
    }
    try {
        packed.assign(B, 0);
    } catch (const std::bad_alloc&) {
        return fail("Нет памяти для кодов строки!");
    }

    AtomicFile file(path);
    if (file.failedStep() == AtomicStep::NotRegular)
        return fail(notRegularText(path));
    if (!file.isOpen())
        return fail("CreateFile ERROR!");
    if (!file.write(header))
        return fail("ERROR while writing PCXHEADER!");
    for (int32_t y = 0; y < picture.height; ++y) {
        if (!file.write(pcxRowCodes(picture, background, y, flags, packed)))
            return fail("ERROR while writing PCX codes!");
    }
    if (!file.commit())
        return fail(commitFailureText(file.failedStep()));
    return 1;
}

}  // namespace files
