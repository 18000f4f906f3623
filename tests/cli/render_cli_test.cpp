// quillmore-cli run --render: the PNG holds the picture the window paints for
// the same state at the asked size, and standard output does not change by a
// byte; the option belongs to run alone, its size has bounds, and a picture
// that cannot be written ends the run with exit code 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "files/png_image.h"
#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "command_output.h"
#include "shell/lifecycle.h"
#include "shell/mouse_input.h"
#include "shell/window_painting.h"
#include "tests/files/files_test_support.h"
#include "views/processing_result_text.h"

namespace {

namespace fs = std::filesystem;

using Result = CommandOutput;

Result run(const std::string& arguments, const std::string& errors = "/dev/null")
{
    return runCommandLine(std::string(QUILLMORE_CLI) + " " + arguments + " 2>" + errors);
}

// A folder of this test process, removed at the end.
class RenderFolder : public ::testing::Test {
  protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("quillmore-render-" + std::to_string(getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        if (HasFailure()) {
            // Leave the pictures of a failure in the test output folder.
            std::error_code ec;
            fs::create_directories(QUILLMORE_TEST_OUTPUT, ec);
            for (const auto& entry : fs::directory_iterator(folder_, ec))
                fs::copy_file(entry.path(), fs::path(QUILLMORE_TEST_OUTPUT) / entry.path().filename(),
                              fs::copy_options::overwrite_existing, ec);
        }
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

  private:
    fs::path folder_;
};

// What the window shows after the run of `--series-type unfixed --task
// detection` (one series), painted through the scripted host: the options as
// the menu applies them, the series as a click on Next makes it, then the
// whole client area invalidated with erasing and painted once.
platform::Bitmap windowAfterDetection(int32_t width, int32_t height)
{
    shell::AppState state;
    platform::ScriptedHost host(width, height);
    EXPECT_TRUE(shell::onCreate(state, host));
    shell::dispatchCommand(state, host, resources::IdSeriesUnfixedNumber);
    shell::dispatchCommand(state, host, resources::IdTaskDetection);
    state.moreDetails = 0;
    shell::nextSeriesInResultView(state, host);
    if (state.lpStepwiseProtocol && state.lpSeriesHeader)
        views::storeShownRow(*state.lpStepwiseProtocol, *state.lpSeriesHeader);
    host.invalidate(std::nullopt, true);
    host.paint([&](platform::Dc& dc) { shell::paintWindow(state, host, dc); });
    platform::Bitmap picture = host.canvas.picture();
    shell::onDestroy(state);
    return picture;
}

int32_t countColour(const platform::Bitmap& b, platform::Color c)
{
    int32_t n = 0;
    for (const uint32_t p : b.pixels)
        n += platform::colorFromPixel(p) == c ? 1 : 0;
    return n;
}

TEST_F(RenderFolder, PictureIsTheWindowsAtTheAskedSize)
{
    const std::string png = path("detection.png");
    const Result r = run("run --series-type unfixed --task detection --render " + png + " --size 900x700");
    ASSERT_EQ(r.exitCode, 0);
    platform::Bitmap picture;
    std::string error;
    ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
    ASSERT_EQ(picture.width, 900);
    ASSERT_EQ(picture.height, 700);

    const platform::Bitmap expected = windowAfterDetection(900, 700);
    ASSERT_EQ(expected.pixels.size(), picture.pixels.size());
    int32_t differing = 0;
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        differing += (picture.pixels[i] & 0xFFFFFFu) != (expected.pixels[i] & 0xFFFFFFu) ? 1 : 0;
    EXPECT_EQ(differing, 0) << "pixels that differ from the scripted window's";
    if (differing != 0)
        files::writePngFile(path("expected-detection.png"), expected, error);

    // Not an empty picture on both sides: the observed series is drawn in
    // blue and the plots and buttons in black over a good part of the window.
    EXPECT_GT(countColour(picture, platform::rgb(0, 0, 255)), 500);
    EXPECT_GT(countColour(picture, platform::kBlack), 5000);
}

TEST_F(RenderFolder, DefaultSizeIs1280By800)
{
    const std::string png = path("default.png");
    ASSERT_EQ(run("run --task joint --render " + png).exitCode, 0);
    platform::Bitmap picture;
    std::string error;
    ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
    EXPECT_EQ(picture.width, 1280);
    EXPECT_EQ(picture.height, 800);
    // The three plots of the result view span most of the working area's
    // width: their frames' edges and zero lines are long black rows.
    int32_t longRows = 0;
    for (int32_t y = 0; y < picture.height; ++y) {
        int32_t run = 0, longest = 0;
        for (int32_t x = 0; x < 1100; ++x) {
            run = platform::pixelAt(picture, x, y) == platform::kBlack ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        longRows += longest >= 600 ? 1 : 0;
    }
    EXPECT_GE(longRows, 6) << "top and bottom edges of three plots";
}

TEST_F(RenderFolder, StandardOutputIsTheSameWithAndWithoutThePicture)
{
    for (const std::string options : {"--task joint --series 2 --json", "--series-type unfixed --task detection",
                                      "--task detection --series-type unfixed --same 1 --json"}) {
        const Result plain = run("run " + options);
        const Result drawn = run("run " + options + " --render " + path("same.png") + " --size 640x480");
        ASSERT_EQ(plain.exitCode, 0) << options;
        EXPECT_EQ(drawn.exitCode, 0) << options;
        EXPECT_FALSE(plain.out.empty()) << options;
        EXPECT_EQ(drawn.out, plain.out) << options;
        EXPECT_TRUE(fs::exists(path("same.png"))) << options;
    }
}

TEST_F(RenderFolder, UnwritablePictureEndsWithExitCode1AfterTheOutput)
{
    const Result plain = run("run --task joint --json");
    const std::string errors = path("errors.txt");
    const std::string png = path("no-such-folder/x.png");
    const Result r = run("run --task joint --json --render " + png, errors);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, plain.out);
    EXPECT_NE(files_test::readText(errors).find("x.png"), std::string::npos) << files_test::readText(errors);
    EXPECT_FALSE(fs::exists(png));
}

TEST_F(RenderFolder, SizeAndRenderAreCheckedAndBelongToRun)
{
    const std::string png = path("x.png");
    for (const std::string size : {"319x240", "320x239", "8193x800", "800x8193", "800", "800x", "x600", "800*600",
                                   "-800x600", "800x600x2", "0x0"})
        EXPECT_EQ(run("run --render " + png + " --size " + size).exitCode, 2) << size;
    EXPECT_EQ(run("run --size 800x600").exitCode, 2) << "--size without --render";
    EXPECT_EQ(run("run --render").exitCode, 2);
    EXPECT_FALSE(fs::exists(png)) << "nothing is written for refused options";

    const std::string errors = path("errors.txt");
    EXPECT_EQ(run("simulate --render " + png, errors).exitCode, 2);
    EXPECT_NE(files_test::readText(errors).find("--render"), std::string::npos);
    EXPECT_EQ(run("simulate --size 800x600").exitCode, 2);
    EXPECT_FALSE(fs::exists(png));

    // The extremes are accepted.
    EXPECT_EQ(run("run --task joint --render " + png + " --size 320x240").exitCode, 0);
    platform::Bitmap picture;
    std::string error;
    ASSERT_TRUE(files::readPngFile(png, picture, error)) << error;
    EXPECT_EQ(picture.width, 320);
    EXPECT_EQ(picture.height, 240);
}

}  // namespace
