// "Save image as..." and "Open..." driven through the dispatcher with the
// scripted host.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "files/png_image.h"
#include "platform/bmp_decoder.h"
#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/lifecycle.h"
#include "shell/window_painting.h"
#include "tests/files/files_test_support.h"
#include "tests/platform/picture_test_support.h"

using namespace resources;

namespace {

struct Workbench {
    shell::AppState state;
    platform::ScriptedHost host{320, 200};
    files_test::ScratchDir dir;

    Workbench() { started = shell::onCreate(state, host); }
    ~Workbench() { shell::onDestroy(state); }
    void command(int id) { shell::dispatchCommand(state, host, id); }
    // Paints the whole window as it stands.
    void paint()
    {
        host.invalidate(std::nullopt, true);
        host.paint([this](platform::Dc& dc) { shell::paintWindow(state, host, dc); });
    }
    // Fills the window's picture with a pattern no view draws; returns it.
    platform::Bitmap scrambledPicture()
    {
        platform::Bitmap& picture = host.windowPicture();
        for (size_t i = 0; i < picture.pixels.size(); ++i)
            picture.pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
        return picture;
    }

    bool started = false;
};

}  // namespace

TEST(SaveImageCommand, WritesTheWindowPictureOrNothingWhenCancelled)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    const platform::Bitmap shown = w.scrambledPicture();

    w.host.queueSaveFile(std::nullopt);
    w.command(IdSaveImageAs);
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(w.dir.file(""))));

    const std::string path = w.dir.file("window.bmp");
    w.host.queueSaveFile(path);
    w.command(IdSaveImageAs);
    const auto decoded = platform::decodeBmp(files_test::readAll(path));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->bitmap.width, shown.width);
    EXPECT_EQ(decoded->bitmap.height, shown.height);
    EXPECT_TRUE(picture::samePicture(decoded->bitmap, shown, "saved-bmp"));

    EXPECT_EQ(w.host.fileDialogs.size(), 2u);
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_TRUE(w.host.scriptErrors.empty());
    EXPECT_TRUE(picture::samePicture(w.host.windowPicture(), shown, "window-after-save"));
}

TEST(OpenCommand, ReadsTheTraceIntoTheCurrentSeriesAndProcessesIt)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    synthesis::SeriesHeader* before = w.state.lpSeriesHeader.get();
    ASSERT_NE(before, nullptr);
    const uint32_t size = before->dwSeriesSize;

    // 1200 series samples of 25 recorded ones each: sample i reads i % 100.
    std::vector<int16_t> trace(1200 * 25);
    for (size_t k = 0; k < trace.size(); ++k)
        trace[k] = static_cast<int16_t>(((k / 25) % 100) << 8);
    const std::string path = w.dir.file("trace.dat");
    files_test::writeAll(path, files_test::makeDataFile({}, trace));
    w.host.queueOpenFile(path);
    const size_t invalidationsBefore = w.host.invalidations.size();
    w.command(IdOpen);

    ASSERT_EQ(w.state.lpSeriesHeader.get(), before);
    EXPECT_EQ(before->dwSeriesSize, size);
    for (uint32_t i = 0; i < size; ++i) {
        ASSERT_EQ(before->lpPureData[i], static_cast<int16_t>(i % 100)) << i;
        ASSERT_EQ(before->lpSeriesData[i], static_cast<int16_t>(i % 100)) << i;
    }
    ASSERT_GE(w.host.messages.size(), 2u);
    EXPECT_EQ(w.host.messages[0].caption, "About ReadInfoDataFile");
    EXPECT_NE(w.host.messages[1].text.find("SamplNum: 30000, "), std::string::npos);
    EXPECT_EQ(w.state.dataFileResult, 0);  // the previous result, kept
    // The processing stage ran and asked for a repaint.
    EXPECT_GT(w.host.invalidations.size(), invalidationsBefore);
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(OpenCommand, AGarbageFileLeavesTheSeriesAsItWas)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    const std::vector<int16_t> pure = w.state.lpSeriesHeader->lpPureData;
    const std::string path = w.dir.file("noise.dat");
    files_test::writeAll(path, std::vector<uint8_t>(30, 0xEE));
    w.host.queueOpenFile(path);
    w.command(IdOpen);
    EXPECT_EQ(w.state.lpSeriesHeader->lpPureData, pure);
    ASSERT_GE(w.host.messages.size(), 2u);
    EXPECT_EQ(w.host.messages[1].text, "Data file is shorter than its header!");
    EXPECT_EQ(w.state.dataFileResult, 0);

    // A cancelled dialog says nothing of its own.
    w.host.messages.clear();
    w.host.queueOpenFile(std::nullopt);
    w.command(IdOpen);
    for (const auto& m : w.host.messages)
        EXPECT_NE(m.caption, "About ReadInfoDataFile");
    EXPECT_EQ(w.state.lpSeriesHeader->lpPureData, pure);
}

TEST(SaveImageCommand, WritesAPngOfTheWindowSize)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    const platform::Bitmap shown = w.scrambledPicture();

    // Typed without an extension, with the PNG filter chosen.
    w.host.queueSaveFile(w.dir.file("window"), 2);
    w.command(IdSaveImageAs);
    platform::Bitmap decoded;
    std::string error;
    ASSERT_TRUE(files::readPngFile(w.dir.file("window.png"), decoded, error)) << error;
    EXPECT_EQ(decoded.width, 320);
    EXPECT_EQ(decoded.height, 200);
    EXPECT_TRUE(picture::samePicture(decoded, shown, "saved-png"));

    w.host.queueSaveFile(w.dir.file("window.gif"));
    w.command(IdSaveImageAs);
    ASSERT_EQ(w.host.messages.size(), 1u);
    EXPECT_EQ(w.host.messages[0].text, "Unknown image format '.gif': use .bmp, .pcx or .png");
    EXPECT_EQ(w.host.messages[0].caption, "About Bitmap");
    EXPECT_FALSE(std::filesystem::exists(w.dir.file("window.gif")));
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

namespace {

// A trace whose series is zero but for two blocks of 100, 20 samples long,
// at 300 and 700: M = samples / 25 series samples.
std::vector<int16_t> blockTrace(uint32_t M)
{
    std::vector<int16_t> trace(static_cast<size_t>(M) * 25, 0);
    for (uint32_t start : {300u, 700u})
        for (uint32_t i = start; i < start + 20 && i < M; ++i)
            std::fill_n(trace.begin() + static_cast<ptrdiff_t>(i) * 25, 25, static_cast<int16_t>(100 << 8));
    return trace;
}

std::vector<int16_t> foundPositions(const shell::AppState& s)
{
    const synthesis::SeriesHeader& h = *s.lpSeriesHeader;
    return {h.lpFoundPositions.begin(), h.lpFoundPositions.begin() + std::min<size_t>(h.wFoundPulses, s.maxPulseCount)};
}

}  // namespace

TEST(OpenCommand, TheProcessingAfterADataFileAnalysesItsSamples)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    const uint32_t size = w.state.lpSeriesHeader->dwSeriesSize;
    const std::string path = w.dir.file("blocks.dat");
    files_test::writeAll(path, files_test::makeDataFile({}, blockTrace(size)));
    w.host.queueOpenFile(path);
    w.command(IdOpen);

    // The known-count task's found pulses cover both blocks exactly: nowhere
    // else in the file's series is there any energy.
    const std::vector<int16_t> found = foundPositions(w.state);
    for (int16_t start : {300, 700})
        EXPECT_NE(std::find(found.begin(), found.end(), start), found.end()) << start;
    EXPECT_TRUE(w.host.scriptErrors.empty());
}

TEST(OpenCommand, ADataFileOfAnotherLengthBecomesTheSeriesLength)
{
    // Shorter than the series, longer than its capacity, and too short for a
    // pulse: each one is processed and painted without harm.
    for (uint32_t M : {900u, 2000u, 5u, 0u}) {
        SCOPED_TRACE(M);
        Workbench w;
        ASSERT_TRUE(w.started);
        const uint32_t capacity = w.state.lpSeriesHeader->dwSeriesCapacity;
        const std::string path = w.dir.file("blocks.dat");
        files_test::writeAll(path, files_test::makeDataFile({}, blockTrace(M)));
        for (int task : {IdTaskJointDetectionEstimation, IdTaskDetection, IdTaskSeriesProcessing}) {
            for (int type : {IdSeriesFixedNumber, IdSeriesUnfixedNumber}) {
                w.command(type);
                w.command(task);
                w.host.queueOpenFile(path);
                w.command(IdOpen);
                const synthesis::SeriesHeader& h = *w.state.lpSeriesHeader;
                const uint32_t kept = std::min(M, capacity);
                ASSERT_EQ(h.dwSeriesSize, kept);
                for (uint32_t i : {299u, 300u, 319u, 320u})
                    if (i < kept) {
                        ASSERT_EQ(h.lpSeriesData[i], (i >= 300 && i < 320) ? 100 : 0) << i;
                        ASSERT_EQ(h.lpPureData[i], h.lpSeriesData[i]) << i;
                    }
                if (kept >= w.state.etalonLength) {
                    // The window's length settings follow the series; a trace
                    // cut to the series' own length changes its samples only.
                    EXPECT_EQ(w.state.seriesLength, kept);
                    EXPECT_EQ(h.wMaxPulses, w.state.maxPulseCount);
                    if (kept != capacity) {
                        EXPECT_EQ(h.wImpulseQuantity, 0);
                    }
                }
                w.command(IdProcessingSameData);
                w.state.viewState = shell::viewResult;
                w.paint();
            }
        }
        EXPECT_TRUE(w.host.scriptErrors.empty());
    }
}
