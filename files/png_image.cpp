#include "files/png_image.h"

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <png.h>
#include <unistd.h>

#include "files/atomic_file.h"

namespace files {

namespace {

// What the libpng callbacks share with the code that called libpng. The
// functions that call setjmp keep every C++ object here, outside their own
// frame, so that a longjmp skips no destructor.
struct PngJob {
    std::string error;
    std::vector<uint8_t>* out = nullptr;  // encoding
    std::span<const uint8_t> in;          // decoding
    size_t inAt = 0;
    std::vector<uint8_t> row;
    platform::Bitmap* picture = nullptr;
};

[[noreturn]] void onPngError(png_structp png, png_const_charp message)
{
    if (auto* job = static_cast<PngJob*>(png_get_error_ptr(png)); job && job->error.empty())
        job->error = message;
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

void writeToJob(png_structp png, png_bytep data, size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        job->out->insert(job->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    // libpng's error path leaves by longjmp, which must not cross a catch block.
    if (!grown)
        png_error(png, "out of memory");
}

void readFromJob(png_structp png, png_bytep data, size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (length > job->in.size() - job->inAt)
        png_error(png, "the PNG data ends early");
    std::memcpy(data, job->in.data() + job->inAt, length);
    job->inAt += length;
}

bool encodeInto(PngJob& job, const platform::Bitmap& picture)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onPngError, onPngWarning);
    if (!png) {
        job.error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        job.error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &job, writeToJob, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t width = static_cast<size_t>(picture.width);
    for (size_t y = 0; y < static_cast<size_t>(picture.height); ++y) {
        const uint32_t* source = picture.pixels.data() + y * width;
        uint8_t* out = job.row.data();
        for (size_t x = 0; x < width; ++x) {
            out[3 * x] = static_cast<uint8_t>(source[x] >> 16);
            out[3 * x + 1] = static_cast<uint8_t>(source[x] >> 8);
            out[3 * x + 2] = static_cast<uint8_t>(source[x]);
        }
        png_write_row(png, job.row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool decodeInto(PngJob& job, uint64_t maxPixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onPngError, onPngWarning);
    if (!png) {
        job.error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        job.error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &job, readFromJob);
    // Only IHDR, PLTE, tRNS, IDAT and IEND shape the pixels read here; every
    // other chunk is passed over unread. libpng would allocate what such a
    // chunk announces before reading it: a few hundred bytes could ask for
    // gigabytes.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (static_cast<uint64_t>(width) * height > maxPixels)
        png_error(png, "the picture is too large");

    // Whatever the file holds becomes 8-bit RGB plus a zero byte, laid out
    // in memory as one 0x00RRGGBB word per pixel.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    if constexpr (std::endian::native == std::endian::little) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    } else {
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != 4 * static_cast<size_t>(width))
        png_error(png, "the picture's rows do not convert to RGB");

    bool allocated = true;
    try {
        job.picture->width = static_cast<int32_t>(width);
        job.picture->height = static_cast<int32_t>(height);
        job.picture->pixels.assign(static_cast<size_t>(width) * height, 0);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated)
        png_error(png, "out of memory");
    // Each pass of an interlaced picture adds its pixels to the rows the
    // earlier passes filled.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, reinterpret_cast<png_bytep>(job.picture->pixels.data() + static_cast<size_t>(y) * width),
                         nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

std::string why() { return std::strerror(errno); }

}  // namespace

std::vector<uint8_t> encodePng(const platform::Bitmap& picture, std::string& error)
{
    if (picture.width <= 0 || picture.height <= 0) {
        error = "the picture is empty";
        return {};
    }
    if (picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
        error = "the picture's pixels do not match its size";
        return {};
    }
    std::vector<uint8_t> out;
    PngJob job;
    job.out = &out;
    job.row.resize(3 * static_cast<size_t>(picture.width));
    if (!encodeInto(job, picture)) {
        error = job.error;
        return {};
    }
    return out;
}

std::vector<uint8_t> encodePng(const platform::Bitmap& picture)
{
    std::string ignored;
    return encodePng(picture, ignored);
}

bool decodePng(std::span<const uint8_t> bytes, platform::Bitmap& picture, std::string& error, uint64_t maxPixels)
{
    platform::Bitmap decoded;
    PngJob job;
    job.in = bytes;
    job.picture = &decoded;
    if (!decodeInto(job, maxPixels)) {
        error = job.error.empty() ? "not a PNG picture" : job.error;
        return false;
    }
    picture = std::move(decoded);
    return true;
}

bool writePngFile(const std::string& path, const platform::Bitmap& picture, std::string& error)
{
    std::string reason;
    const std::vector<uint8_t> bytes = encodePng(picture, reason);
    if (bytes.empty()) {
        error = "cannot write '" + path + "': " + reason;
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}

bool readPngFile(const std::string& path, platform::Bitmap& picture, std::string& error)
{
    auto failed = [&](const std::string& reason) {
        error = "cannot read '" + path + "': " + reason;
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(why());
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::string what = why();
            ::close(fd);
            return failed(what);
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    std::string reason;
    if (!decodePng(bytes, picture, reason))
        return failed(reason);
    return true;
}

}  // namespace files
