// Files replaced whole or not at all: the snapshot writers under forced
// failures (a file size limit, a folder that takes no new file, targets that
// are not regular files) and links.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "files/atomic_file.h"
#include "files/png_image.h"
#include "files/snapshot_export.h"
#include "platform/bitmap.h"
#include "base/message_sink.h"
#include "tests/files/files_test_support.h"

using files_test::entries;
using files_test::inChild;
using files_test::readAll;
using files_test::ScratchDir;
using files_test::writeAll;

namespace {

namespace fs = std::filesystem;

// Pixels white or black at random: about 1.5 PCX code bytes a packed byte.
platform::Bitmap twoTone(int32_t w, int32_t h)
{
    std::mt19937 gen(static_cast<uint32_t>(w * h));
    platform::Bitmap b = platform::makeBitmap(w, h);
    for (uint32_t& p : b.pixels)
        p = gen() % 2 ? 0xFFFFFF : 0;
    return b;
}

// A writer's result and then its messages, "text | caption" a line.
std::string told(const base::MessageRecorder& sink, int32_t result)
{
    std::string t = std::to_string(result);
    for (const auto& m : sink.messages)
        t += "\n" + m.text + " | " + m.caption;
    return t;
}

std::string bmp(const std::string& path, const platform::Bitmap& picture)
{
    base::MessageRecorder sink;
    return told(sink, files::writeBmpFile(sink, path, files::makeBitmapInfoHeader(picture.width, picture.height, 1, 32),
                                          picture));
}

std::string pcx(const std::string& path, const platform::Bitmap& picture)
{
    base::MessageRecorder sink;
    return told(sink, files::writePcxFile(sink, path, picture, platform::kWhite));
}

std::string png(const std::string& path, const platform::Bitmap& picture)
{
    std::string error;
    return files::writePngFile(path, picture, error) ? "1" : error;
}

}  // namespace

TEST(AtomicFile, AFileSizeLimitFailsTheWriteAndKeepsTheOldFile)
{
    ScratchDir dir;
    const std::vector<uint8_t> old = {'o', 'l', 'd', 0};
    const platform::Bitmap picture = twoTone(1024, 64);  // 256 KiB of bitmap, 12 KiB of PCX or PNG
    for (const auto& [name, limit, expected] : std::vector<std::tuple<std::string, rlim_t, std::string>>{
             {"a.bmp", 10, "0\nERROR while writing BITMAPFILEHEADER! | About Bitmap"},
             {"a.bmp", 30, "0\nERROR while writing BITMAPINFOHEADER! | About Bitmap"},
             {"a.bmp", 4096, "0\nERROR while writing bitmap bits! | About Bitmap"},
             {"a.pcx", 100, "0\nERROR while writing PCXHEADER! | About PCX"},
             {"a.pcx", 4096, "0\nERROR while writing PCX codes! | About PCX"},
             {"a.png", 4096, "cannot write '" + dir.file("a.png") + "': File too large"}}) {
        const std::string path = dir.file(name);
        writeAll(path, old);
        const auto write = name == "a.bmp" ? bmp : name == "a.pcx" ? pcx : png;
        EXPECT_EQ(inChild([&] { return write(path, picture); }, RLIMIT_FSIZE, limit), expected) << limit;
        EXPECT_EQ(readAll(path), old) << name << " " << limit;
    }
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"a.bmp", "a.pcx", "a.png"})) << "no fresh file left";
}

TEST(AtomicFile, AReadOnlyFolderKeepsTheOldFile)
{
    // The superuser writes into any folder; the size limit above covers the
    // old file for it.
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as the superuser";
    ScratchDir dir;
    fs::create_directory(dir.file("ro"));
    const std::string path = dir.file("ro/a.bmp");
    writeAll(path, {9, 9});
    fs::permissions(dir.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    const platform::Bitmap picture = twoTone(9, 4);
    const std::string said = bmp(path, picture) + "\n" + pcx(path, picture) + "\n" + png(path, picture);
    fs::permissions(dir.file("ro"), fs::perms::owner_all);
    EXPECT_EQ(said, "0\nCreateFile ERROR! | About Bitmap\n0\nCreateFile ERROR! | About PCX\ncannot write '" + path +
                        "': Permission denied");
    EXPECT_EQ(readAll(path), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(entries(dir.file("ro")), std::vector<std::string>{"a.bmp"});
}

TEST(AtomicFile, TargetsThatAreNotRegularFilesAreRefusedAtOnce)
{
    ScratchDir dir;
    const platform::Bitmap picture = twoTone(5, 3);
    const std::string fifo = dir.file("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder.pcx");
    fs::create_directory(folder);
    fs::create_symlink("pipe.bmp", dir.file("link.bmp"));

    // In a child, so that a writer that opened the FIFO would block only it.
    EXPECT_EQ(inChild([&] { return bmp(fifo, picture); }), "0\n'" + fifo + "' is not a regular file! | About Bitmap");
    EXPECT_EQ(inChild([&] { return pcx(dir.file("link.bmp"), picture); }),
              "0\n'" + dir.file("link.bmp") + "' is not a regular file! | About PCX");
    EXPECT_EQ(inChild([&] { return png(fifo, picture); }), "cannot write '" + fifo + "': Not a regular file");
    EXPECT_EQ(bmp(folder, picture), "0\n'" + folder + "' is not a regular file! | About Bitmap");
    EXPECT_EQ(png(folder, picture), "cannot write '" + folder + "': Is a directory");
    // A device is refused before a byte is written.
    EXPECT_EQ(bmp("/dev/null", picture), "0\n'/dev/null' is not a regular file! | About Bitmap");
    EXPECT_EQ(pcx("/dev/null", picture), "0\n'/dev/null' is not a regular file! | About PCX");

    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"folder.pcx", "link.bmp", "pipe.bmp"}));
}

TEST(AtomicFile, ALinkKeepsPointingAtTheFileWithTheNewContents)
{
    ScratchDir dir;
    fs::create_directory(dir.file("real"));
    const std::string real = dir.file("real/shot.bmp");
    writeAll(real, {1, 2, 3});
    ::chmod(real.c_str(), 0640);
    // A relative link to a relative link to the file, and one to no file yet.
    fs::create_symlink("real/shot.bmp", dir.file("inner.bmp"));
    fs::create_symlink("inner.bmp", dir.file("outer.bmp"));
    fs::create_symlink("real/new.pcx", dir.file("dangling.pcx"));

    const platform::Bitmap picture = twoTone(6, 6);
    EXPECT_EQ(bmp(dir.file("outer.bmp"), picture), "1");
    EXPECT_EQ(pcx(dir.file("dangling.pcx"), picture), "1");
    EXPECT_EQ(readAll(real), files::encodeBmp(picture));
    EXPECT_EQ(readAll(dir.file("real/new.pcx")), files::encodePcx(picture, platform::kWhite));
    EXPECT_TRUE(fs::is_symlink(dir.file("outer.bmp")) && fs::is_symlink(dir.file("inner.bmp")) &&
                fs::is_symlink(dir.file("dangling.pcx")));
    // The replaced file keeps the old one's permissions.
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(dir.file("real")), (std::vector<std::string>{"new.pcx", "shot.bmp"}));
}

TEST(AtomicFile, ARenameThatFailsTakesTheFreshFileAway)
{
    // A folder made in the target's place while the file is written.
    ScratchDir dir;
    const std::string path = dir.file("late.part");
    files::AtomicFile file(path);
    ASSERT_TRUE(file.write(std::vector<uint8_t>(100, 1)));
    fs::create_directory(path);
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.failedStep(), files::AtomicStep::Rename);
    EXPECT_EQ(file.reason(), "Is a directory");
    EXPECT_EQ(entries(dir.file("")), std::vector<std::string>{"late.part"});
}
