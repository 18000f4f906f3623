// Saving the window's picture: the bitmap file read back with our own BMP
// reader, the dialog, the choice of format by extension, the failures and
// pictures with no pixels.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/png_image.h"
#include "files/snapshot_export.h"
#include "platform/bitmap.h"
#include "platform/bmp_decoder.h"
#include "platform/scripted_host.h"
#include "tests/files/files_test_support.h"
#include "tests/platform/picture_test_support.h"

using files_test::entries;
using files_test::readAll;
using files_test::ScratchDir;
using files_test::u16;
using files_test::u32;
using files_test::writeAll;

namespace {

// A picture in which every pixel differs from its neighbours.
platform::Bitmap patterned(int32_t w, int32_t h)
{
    platform::Bitmap b = platform::makeBitmap(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.pixels[static_cast<size_t>(y * w + x)] = (static_cast<uint32_t>(x * 37 + y) & 0xFF) << 16 |
                                                       (static_cast<uint32_t>(y * 11) & 0xFF) << 8 |
                                                       (static_cast<uint32_t>(x ^ y) & 0xFF);
    return b;
}

// Messages as "text | caption", one an entry.
std::vector<std::string> texts(const std::vector<base::RecordedMessage>& messages)
{
    std::vector<std::string> t;
    for (const auto& m : messages)
        t.push_back(m.text + " | " + m.caption);
    return t;
}
std::vector<std::string> texts(const platform::ScriptedHost& host) { return texts(host.messages); }

}  // namespace

TEST(BmpFile, ReadsBackPixelExactWithTheDocumentedHeader)
{
    ScratchDir dir;
    const platform::Bitmap picture = patterned(7, 5);
    base::MessageRecorder sink;
    const std::string path = dir.file("a.bmp");
    ASSERT_EQ(files::writeBmpFile(sink, path, files::makeBitmapInfoHeader(7, 5, 1, 32), picture), 1);
    EXPECT_TRUE(sink.messages.empty());

    const std::vector<uint8_t> file = readAll(path);
    ASSERT_EQ(file.size(), 54u + 7 * 5 * 4);
    EXPECT_EQ(u16(file, 0), 0x4D42u);
    EXPECT_EQ(u32(file, 2), file.size());
    EXPECT_EQ(u16(file, 6), 0u);
    EXPECT_EQ(u16(file, 8), 0u);
    EXPECT_EQ(u32(file, 10), 54u);
    EXPECT_EQ(u32(file, 14), 40u);
    EXPECT_EQ(u32(file, 18), 7u);
    EXPECT_EQ(u32(file, 22), 5u);  // positive: bottom-up
    EXPECT_EQ(u16(file, 26), 1u);
    EXPECT_EQ(u16(file, 28), 32u);
    EXPECT_EQ(u32(file, 30), 0u);
    EXPECT_EQ(u32(file, 34), 7u * 5 * 4);
    EXPECT_EQ(u32(file, 38), 0u);
    EXPECT_EQ(u32(file, 42), 0u);
    EXPECT_EQ(u32(file, 46), 0u);
    EXPECT_EQ(u32(file, 50), 0u);
    // The bottom row comes first, each pixel as B, G, R, 0.
    const uint32_t bottomLeft = picture.pixels[4 * 7];
    EXPECT_EQ(file[54], bottomLeft & 0xFF);
    EXPECT_EQ(file[55], (bottomLeft >> 8) & 0xFF);
    EXPECT_EQ(file[56], (bottomLeft >> 16) & 0xFF);
    EXPECT_EQ(file[57], 0);

    const auto decoded = platform::decodeBmp(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->bitCount, 32);
    EXPECT_EQ(decoded->paletteSize, 0u);
    EXPECT_EQ(decoded->bitmap.width, 7);
    EXPECT_EQ(decoded->bitmap.height, 5);
    EXPECT_TRUE(picture::samePicture(decoded->bitmap, picture, "bmp-round-trip"));
}

TEST(BmpFile, DescriptionsBelowSixteenBitsMakeRoomForAColourTable)
{
    // Depths between the steps round up: 2 bits make a 16-entry table.
    EXPECT_EQ(files::makeBitmapInfoHeader(3, 2, 1, 2).biClrUsed, 16u);
    EXPECT_EQ(files::makeBitmapInfoHeader(3, 2, 3, 8).biClrUsed, 0u);
    const files::BitmapInfoHeader eight = files::makeBitmapInfoHeader(100, 50, 1, 8);
    EXPECT_EQ(eight.biClrUsed, 256u);
    EXPECT_EQ(eight.biSizeImage, 13u * 50 * 8);
}

TEST(SnapshotDialog, AsksForABitmapPcxOrPngNameWithOverwritePrompt)
{
    platform::ScriptedHost host(64, 48);
    host.queueSaveFile(std::nullopt);
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    ASSERT_EQ(host.fileDialogs.size(), 1u);
    const auto& d = host.fileDialogs[0];
    EXPECT_TRUE(d.save);
    EXPECT_EQ(d.options.title, "Snapshot File Name");
    ASSERT_EQ(d.options.filters.size(), 3u);
    EXPECT_EQ(d.options.filters[0].description, "Bitmap Files (*.bmp)");
    EXPECT_EQ(d.options.filters[0].pattern, "*.bmp");
    EXPECT_EQ(d.options.filters[1].description, "PCX Files (*.pcx)");
    EXPECT_EQ(d.options.filters[1].pattern, "*.pcx");
    EXPECT_EQ(d.options.filters[2].description, "PNG Files (*.png)");
    EXPECT_EQ(d.options.filters[2].pattern, "*.png");
    EXPECT_EQ(d.options.filterIndex, 0);
    EXPECT_EQ(d.options.defaultExtension, "bmp");
    EXPECT_TRUE(d.options.overwritePrompt);
    EXPECT_FALSE(d.options.fileMustExist);
    // Cancelled: nothing said, the picture untouched.
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.scriptErrors.empty());
}

TEST(SnapshotExport, TheExtensionChoosesTheFormatInAnyCase)
{
    ScratchDir dir;
    platform::ScriptedHost host(40, 9);
    host.windowPicture() = patterned(40, 9);
    const platform::Bitmap shown = host.windowPicture();

    for (const char* name : {"shot.BmP", "x.bmp"}) {
        host.queueSaveFile(dir.file(name));
        EXPECT_EQ(files::MakeSnapshot(host), 1);
        const auto decoded = platform::decodeBmp(readAll(dir.file(name)));
        ASSERT_TRUE(decoded.has_value()) << name;
        EXPECT_TRUE(picture::samePicture(decoded->bitmap, shown, "bmp-" + std::string(name)));
    }
    host.queueSaveFile(dir.file("shot.PCX"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    const std::vector<uint8_t> pcx = readAll(dir.file("shot.PCX"));
    ASSERT_GE(pcx.size(), 128u);
    EXPECT_EQ(pcx[0], 10);
    EXPECT_EQ(u16(pcx, 8), 39u);
    EXPECT_EQ(u16(pcx, 66), 8u);
    // The window's device context has a white background.
    EXPECT_EQ(pcx[19], 255);
    EXPECT_EQ(pcx[20], 255);
    EXPECT_EQ(pcx[21], 255);

    EXPECT_TRUE(host.messages.empty()) << testing::PrintToString(texts(host));
    EXPECT_TRUE(picture::samePicture(host.windowPicture(), shown, "window-after-bmp"));
}

TEST(SnapshotExport, UnknownExtensionsAreRefusedAndWriteNothing)
{
    ScratchDir dir;
    platform::ScriptedHost host(20, 10);
    for (const char* name : {"shot.xyz", "shot.bmpx", "shot.Jpeg", "a.b/shot."}) {
        host.queueSaveFile(dir.file(name));
        EXPECT_EQ(files::MakeSnapshot(host), 1);
    }
    EXPECT_EQ(texts(host),
              (std::vector<std::string>{"Unknown image format '.xyz': use .bmp, .pcx or .png | About Bitmap",
                                        "Unknown image format '.bmpx': use .bmp, .pcx or .png | About Bitmap",
                                        "Unknown image format '.Jpeg': use .bmp, .pcx or .png | About Bitmap",
                                        "Unknown image format '.': use .bmp, .pcx or .png | About Bitmap"}));
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir.file(""))));
}

TEST(SnapshotExport, ShortNamesWriteNothingAndSayNothing)
{
    // ".bmp" alone is not longer than its extension.
    platform::ScriptedHost host(20, 10);
    for (const char* name : {".bmp", "a.pc", ".png"}) {
        host.queueSaveFile(name);
        EXPECT_EQ(files::MakeSnapshot(host), 1);
    }
    EXPECT_TRUE(host.messages.empty()) << testing::PrintToString(texts(host));
    EXPECT_FALSE(std::filesystem::exists(".bmp"));
    EXPECT_FALSE(std::filesystem::exists(".png"));
}

TEST(SnapshotExport, PngReadsBackPixelExact)
{
    ScratchDir dir;
    platform::ScriptedHost host(41, 13);
    host.windowPicture() = patterned(41, 13);
    const platform::Bitmap shown = host.windowPicture();
    host.queueSaveFile(dir.file("shot.PNG"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    EXPECT_TRUE(host.messages.empty()) << testing::PrintToString(texts(host));

    platform::Bitmap decoded;
    std::string error;
    ASSERT_TRUE(files::readPngFile(dir.file("shot.PNG"), decoded, error)) << error;
    EXPECT_EQ(decoded.width, 41);
    EXPECT_EQ(decoded.height, 13);
    EXPECT_TRUE(picture::samePicture(decoded, shown, "png-of-window"));
}

TEST(SnapshotExport, ANameWithoutExtensionTakesTheChosenFilters)
{
    ScratchDir dir;
    platform::ScriptedHost host(24, 8);
    host.windowPicture() = patterned(24, 8);
    std::filesystem::create_directory(dir.file("a.b"));
    host.queueSaveFile(dir.file("a.b/shot"), 2);
    host.queueSaveFile(dir.file("a.b/shot"), 1);
    host.queueSaveFile(dir.file("a.b/shot"));  // the filter selected first: bitmap
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(files::MakeSnapshot(host), 1);
    EXPECT_TRUE(host.messages.empty()) << testing::PrintToString(texts(host));
    EXPECT_TRUE(host.scriptErrors.empty());
    EXPECT_EQ(host.fileDialogs[0].chosenFilter, 2);

    platform::Bitmap png;
    std::string error;
    ASSERT_TRUE(files::readPngFile(dir.file("a.b/shot.png"), png, error)) << error;
    EXPECT_TRUE(picture::samePicture(png, host.windowPicture(), "png-against-window"));
    const std::vector<uint8_t> pcx = readAll(dir.file("a.b/shot.pcx"));
    ASSERT_GE(pcx.size(), 128u);
    EXPECT_EQ(pcx[0], 10);
    ASSERT_TRUE(platform::decodeBmp(readAll(dir.file("a.b/shot.bmp"))).has_value());
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.b/shot")));
}

TEST(SnapshotExport, TheFileNameKeepsAnExtensionAndTakesTheFiltersOtherwise)
{
    const platform::FileDialogOptions o = files::snapshotDialogOptions();
    EXPECT_EQ(files::snapshotFileName("/x/shot.Png", o, 0), "/x/shot.Png");
    EXPECT_EQ(files::snapshotFileName("/x/shot.tif", o, 2), "/x/shot.tif");
    EXPECT_EQ(files::snapshotFileName("/x.y/shot", o, 2), "/x.y/shot.png");
    EXPECT_EQ(files::snapshotFileName("shot", o, 1), "shot.pcx");
    // A filter that names no one extension, or none at all: the default.
    EXPECT_EQ(files::snapshotFileName("shot", o, 7), "shot.bmp");
    platform::FileDialogOptions any = o;
    any.filters.push_back({"All Files (*.*)", "*.*"});
    EXPECT_EQ(files::snapshotFileName("shot", any, 3), "shot.bmp");
}

TEST(SnapshotExport, FailuresAreReportedAndStillReturnOne)
{
    ScratchDir dir;
    platform::ScriptedHost host(20, 10);

    host.queueSaveFile(dir.file("missing-folder/a.bmp"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    host.queueSaveFile(dir.file("missing-folder/a.pcx"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    host.queueSaveFile(dir.file("missing-folder/a.png"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    ASSERT_EQ(host.messages.size(), 6u);
    EXPECT_EQ(host.messages[4].caption, "About PNG");
    EXPECT_NE(host.messages[4].text.find("missing-folder/a.png"), std::string::npos) << host.messages[4].text;
    host.messages[4].text = "(the reason)";
    EXPECT_EQ(texts(host),
              (std::vector<std::string>{"CreateFile ERROR! | About Bitmap", "Bitmap file is not created | About Bitmap",
                                        "CreateFile ERROR! | About PCX", "PCX file is not created | About Bitmap",
                                        "(the reason) | About PNG", "PNG file is not created | About Bitmap"}));
    for (const auto& m : host.messages)
        EXPECT_EQ(m.icon, base::MessageIcon::None);
}

TEST(SnapshotExport, PicturesWithoutPixelsGiveNoFile)
{
    // Such a PCX header would claim 65536 columns or rows.
    ScratchDir dir;
    const std::string old = dir.file("old.pcx");
    writeAll(old, {5, 6});
    base::MessageRecorder sink;
    for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {0, 7}, {7, 0}, {65537, 1}}) {
        platform::Bitmap picture;
        picture.width = w;
        picture.height = h;
        picture.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        const std::string size = std::to_string(w) + " x " + std::to_string(h);
        EXPECT_TRUE(files::encodePcx(picture, platform::kWhite).empty()) << size;
        EXPECT_EQ(files::writePcxFile(sink, old, picture, platform::kWhite), 0) << size;
        const files::BitmapInfoHeader info = files::makeBitmapInfoHeader(w, h, 1, 32);
        if (w == 0 || h == 0) {
            EXPECT_EQ(files::writeBmpFile(sink, dir.file("new.bmp"), info, picture), 0) << size;
        }
    }
    EXPECT_EQ(texts(sink.messages),
              (std::vector<std::string>{
                  "Picture of 0 x 0 pixels cannot be saved! | About PCX", "GetDIBits ERROR! | About Bitmap",
                  "Picture of 0 x 7 pixels cannot be saved! | About PCX", "GetDIBits ERROR! | About Bitmap",
                  "Picture of 7 x 0 pixels cannot be saved! | About PCX", "GetDIBits ERROR! | About Bitmap",
                  "Picture of 65537 x 1 pixels cannot be saved! | About PCX"}));
    EXPECT_EQ(readAll(old), (std::vector<uint8_t>{5, 6}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.bmp")));

    // A window with no client area.
    platform::ScriptedHost host(0, 0);
    host.queueSaveFile(dir.file("shot.pcx"));
    EXPECT_EQ(files::MakeSnapshot(host), 1);
    EXPECT_EQ(texts(host), (std::vector<std::string>{"Picture of 0 x 0 pixels cannot be saved! | About PCX",
                                                     "PCX file is not created | About Bitmap"}));
    EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"old.pcx"});
}
