// "Save image as..." and "Open..." driven through the dispatcher with the
// scripted host.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/bmp_decoder.h"
#include "platform/scripted_host.h"
#include "resources/command_ids.h"
#include "shell/command_dispatcher.h"
#include "shell/main_window.h"
#include "tests/files/files_test_support.h"

using namespace resources;

namespace {

struct Workbench {
    AppState state;
    platform::ScriptedHost host{320, 200};
    files_test::ScratchDir dir;

    Workbench() { started = onCreate(state, host); }
    ~Workbench() { onDestroy(state); }
    void command(int id) { dispatchCommand(state, host, id); }

    bool started = false;
};

}  // namespace

TEST(SaveImageCommand, WritesTheWindowPictureOrNothingWhenCancelled)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    platform::Bitmap& picture = w.host.windowPicture();
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
    const platform::Bitmap shown = picture;

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
    EXPECT_EQ(decoded->bitmap.pixels, shown.pixels);

    EXPECT_EQ(w.host.fileDialogs.size(), 2u);
    EXPECT_TRUE(w.host.messages.empty());
    EXPECT_TRUE(w.host.scriptErrors.empty());
    EXPECT_EQ(w.host.windowPicture().pixels, shown.pixels);
}

TEST(OpenCommand, ReadsTheTraceIntoTheCurrentSeriesAndProcessesIt)
{
    Workbench w;
    ASSERT_TRUE(w.started);
    SeriesHeader* before = w.state.lpSeriesHeader.get();
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
    for (uint32_t i = 0; i < size; ++i)
        ASSERT_EQ(before->lpPureData[i], static_cast<int16_t>(i % 100)) << i;
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
