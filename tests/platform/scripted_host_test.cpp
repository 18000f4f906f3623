// The scripted host behaves like the real window where the shell can tell:
// dialogs run their procedure's check at every OK, Cancel leaves the fields
// alone, and a paint draws over the old picture only where it was
// invalidated, erased only where asked.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "picture_test_support.h"
#include "platform/scripted_host.h"

namespace {

using namespace platform;
using picture::inked;

constexpr std::array kControls{
    DialogControl{-1, ControlKind::Static, "Samples Length", 20, 20, 76, 8, false, TextAlign::Left},
    DialogControl{1000, ControlKind::Edit, "", 100, 18, 25, 12, false, TextAlign::Left},
    DialogControl{1005, ControlKind::Edit, "", 100, 89, 25, 12, true, TextAlign::Left},
    DialogControl{1008, ControlKind::Static, "XX", 15, 16, 141, 8, false, TextAlign::Left},
    DialogControl{kIdOk, ControlKind::Button, "OK", 148, 122, 50, 14, false, TextAlign::Left},
    DialogControl{kIdCancel, ControlKind::Button, "Cancel", 148, 141, 50, 14, false, TextAlign::Left},
};
const DialogTemplate kDialog{105, "Create Series", 209, 168, false, 0, 0, kControls};

// The check of a dialog procedure: the length must be a positive number.
bool positiveLength(ScriptedHost& host, DialogFields& f)
{
    if (std::atoi(f[1000].c_str()) > 0)
        return true;
    host.messageBox("bad length", "Create Series", base::MessageIcon::Warning);
    return false;
}

TEST(ScriptedDialogs, OkRunsTheCheckAndARefusedOkKeepsTheDialogOpen)
{
    ScriptedHost host;
    host.queueDialog(
        {105, {DialogStep{{{1000, "0"}}, DialogResult::Ok}, DialogStep{{{1000, "600"}}, DialogResult::Ok}}});
    DialogFields fields{{1000, "1200"}, {1005, "100"}, {1008, "from 6 to 30"}};
    int checks = 0;
    const DialogResult r = host.runDialog(kDialog, fields, [&](DialogFields& f) {
        ++checks;
        return positiveLength(host, f);
    });
    EXPECT_EQ(r, DialogResult::Ok);
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(fields[1000], "600");
    EXPECT_EQ(fields[1005], "100");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "bad length");
    ASSERT_EQ(host.dialogs.size(), 1u);
    EXPECT_EQ(host.dialogs[0].refusedOks, 1);
    EXPECT_EQ(host.dialogs[0].shown.at(1000), "1200");
    EXPECT_TRUE(host.scriptErrors.empty());
}

TEST(ScriptedDialogs, CancelLeavesTheFieldsAsTheyCame)
{
    ScriptedHost host;
    host.queueDialog({105, {DialogStep{{{1000, "77"}}, DialogResult::Cancel}}});
    DialogFields fields{{1000, "1200"}};
    int checks = 0;
    EXPECT_EQ(host.runDialog(kDialog, fields, [&](DialogFields&) { return ++checks, true; }), DialogResult::Cancel);
    EXPECT_EQ(fields[1000], "1200");
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(host.dialogs[0].closed.at(1000), "77");
}

TEST(ScriptedDialogs, ScriptsThatCouldNotHappenAreNotedAndCancelled)
{
    ScriptedHost host;
    DialogFields fields{{1000, "1200"}, {1005, "100"}};

    // Nothing queued.
    EXPECT_EQ(host.runDialog(kDialog, fields, {}), DialogResult::Cancel);
    EXPECT_EQ(host.scriptErrors.size(), 1u);

    // An answer meant for another dialog.
    host.answerOk(106);
    EXPECT_EQ(host.runDialog(kDialog, fields, {}), DialogResult::Cancel);
    EXPECT_EQ(host.scriptErrors.size(), 2u);

    // Typing into a disabled field or a static changes nothing.
    host.answerOk(105, {{1005, "50"}, {1008, "x"}, {1000, "200"}});
    EXPECT_EQ(host.runDialog(kDialog, fields, {}), DialogResult::Ok);
    EXPECT_EQ(fields[1005], "100");
    EXPECT_EQ(fields[1000], "200");
    EXPECT_EQ(fields.count(1008), 0u);
    EXPECT_EQ(host.scriptErrors.size(), 4u);

    // An OK the check refuses, with nothing more to do, ends in Cancel.
    host.answerOk(105, {{1000, "-5"}});
    EXPECT_EQ(host.runDialog(kDialog, fields, [&](DialogFields& f) { return positiveLength(host, f); }),
              DialogResult::Cancel);
    EXPECT_EQ(fields[1000], "200");
    EXPECT_EQ(host.scriptErrors.size(), 5u);
    EXPECT_EQ(host.pendingDialogAnswers(), 0u);
}

TEST(ScriptedFileDialogs, AnswerFromTheirQueuesAndRecordWhatWasAsked)
{
    ScriptedHost host;
    host.queueSaveFile("/tmp/picture.bmp");
    host.queueSaveFile(std::nullopt);
    FileDialogOptions save{"Snapshot File Name",
                           {{"Bitmap Files (*.bmp)", "*.bmp"}, {"PCX Files (*.pcx)", "*.pcx"}},
                           0,
                           "bmp",
                           true,
                           false};
    EXPECT_EQ(host.saveFileDialog(save), "/tmp/picture.bmp");
    EXPECT_EQ(host.saveFileDialog(save), std::nullopt);
    EXPECT_TRUE(host.scriptErrors.empty());
    EXPECT_EQ(host.openFileDialog({"Long File Name Search", {}, 0, "", false, true}), std::nullopt);
    EXPECT_EQ(host.scriptErrors.size(), 1u);
    ASSERT_EQ(host.fileDialogs.size(), 3u);
    EXPECT_TRUE(host.fileDialogs[0].save);
    EXPECT_EQ(host.fileDialogs[0].options.filters[1].pattern, "*.pcx");
    EXPECT_FALSE(host.fileDialogs[2].save);
}

TEST(ScriptedWindow, RecordsMenuChecksMessagesAndClose)
{
    ScriptedHost host(300, 200);
    EXPECT_EQ(host.clientRect(), (Rect{0, 0, 300, 200}));
    host.checkMenuItem(40013, true);
    host.checkMenuItem(40012, true);
    host.checkMenuItem(40013, false);
    EXPECT_FALSE(host.menuChecked(40013));
    EXPECT_TRUE(host.menuChecked(40012));
    EXPECT_FALSE(host.menuChecked(40014));
    base::MessageSink& sink = host;
    sink.messageBox("Не могу создать ряд!", "CM_INFO", base::MessageIcon::None);
    EXPECT_EQ(host.messages.back().caption, "CM_INFO");
    EXPECT_FALSE(host.closeRequested);
    host.close();
    EXPECT_TRUE(host.closeRequested);
}

void fillEverything(Dc& dc, Color c)
{
    Brush b = createSolidBrush(c);
    dc.fillRect({0, 0, 10000, 10000}, b);
}

TEST(ScriptedPainting, DrawsOnlyTheInvalidAreaAndErasesAllOfItWhenAsked)
{
    ScriptedHost host(60, 40);
    // A new window is painted in full.
    EXPECT_TRUE(host.paint([](Dc& dc) { fillEverything(dc, rgb(0, 0, 255)); }));
    EXPECT_EQ(inked(host.windowPicture(), rgb(0, 0, 255)).size(), 0u);
    EXPECT_FALSE(host.paint([](Dc&) { ADD_FAILURE() << "nothing was invalid"; }));

    // Without erasing, the paint draws over the old picture; the handler's
    // device is clipped to the invalid rectangles.
    host.invalidate(Rect{10, 10, 20, 15}, false);
    host.invalidate(Rect{30, 0, 32, 40}, false);
    EXPECT_FALSE(host.canvas.erasePending());
    Color seenInside = 0;
    EXPECT_TRUE(host.paint([&](Dc& dc) {
        seenInside = dc.getPixel(12, 12);
        EXPECT_EQ(dc.getPixel(31, 5), rgb(0, 0, 255));
        EXPECT_EQ(dc.getPixel(0, 0), CLR_INVALID);
        dc.setPixel(13, 13, rgb(255, 0, 0));
        dc.setPixel(0, 0, rgb(255, 0, 0));
    }));
    EXPECT_EQ(seenInside, rgb(0, 0, 255));
    const Bitmap& picture = host.windowPicture();
    EXPECT_EQ(pixelAt(picture, 13, 13), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(picture, 0, 0), rgb(0, 0, 255));
    EXPECT_EQ(inked(picture, rgb(0, 0, 255)).size(), 1u);

    // One invalidation asking for erasing erases the whole waiting area,
    // the rectangles invalidated without it too, and nothing beyond it.
    host.invalidate(Rect{10, 10, 20, 15}, false);
    host.invalidate(Rect{30, 0, 32, 40}, true);
    host.invalidate(Rect{100, 100, 120, 120}, true);  // outside: adds nothing
    EXPECT_TRUE(host.canvas.erasePending());
    Color seenErased = 0;
    EXPECT_TRUE(host.paint([&](Dc& dc) {
        seenInside = dc.getPixel(13, 13);
        seenErased = dc.getPixel(31, 5);
    }));
    EXPECT_EQ(seenInside, kWhite);
    EXPECT_EQ(seenErased, kWhite);
    EXPECT_FALSE(host.canvas.erasePending());
    EXPECT_EQ(pixelAt(picture, 0, 0), rgb(0, 0, 255));
    EXPECT_EQ(inked(picture, rgb(0, 0, 255)).size(), 10u * 5u + 2u * 40u);

    // The flag lasts one paint: the next one without erasing draws over.
    host.invalidate(Rect{10, 10, 20, 15}, false);
    EXPECT_TRUE(host.paint([&](Dc& dc) { dc.setPixel(11, 11, rgb(0, 255, 0)); }));
    EXPECT_EQ(pixelAt(picture, 12, 12), kWhite);
    EXPECT_EQ(pixelAt(picture, 11, 11), rgb(0, 255, 0));

    // An invalidation that adds nothing to an empty waiting area asks for
    // no paint and no erasing.
    host.invalidate(Rect{5, 5, 5, 9}, true);
    EXPECT_FALSE(host.canvas.needsPaint());
    EXPECT_FALSE(host.canvas.erasePending());

    ASSERT_EQ(host.invalidations.size(), 7u);
    EXPECT_EQ(host.invalidations[3].rect, (Rect{30, 0, 32, 40}));
    EXPECT_TRUE(host.invalidations[3].erase);
}

TEST(ScriptedPainting, InvalidationsDuringAPaintWaitForTheNextOne)
{
    ScriptedHost host(50, 50);
    int paints = 0;
    EXPECT_TRUE(host.paint([&](Dc&) {
        ++paints;
        host.invalidate(std::nullopt, false);
    }));
    EXPECT_TRUE(host.canvas.needsPaint());
    EXPECT_TRUE(host.paint([&](Dc&) { ++paints; }));
    EXPECT_FALSE(host.paint([&](Dc&) { ++paints; }));
    EXPECT_EQ(paints, 2);

    // Rectangles outside the window are dropped; a bigger window keeps the
    // old picture and is invalidated in full, erased.
    host.invalidate(Rect{100, 100, 120, 120}, true);
    EXPECT_FALSE(host.canvas.needsPaint());
    host.paint([](Dc&) {});
    host.invalidate(std::nullopt, false);
    host.paint([](Dc& dc) { fillEverything(dc, rgb(9, 9, 9)); });
    host.canvas.resize(80, 50);
    EXPECT_EQ(pixelAt(host.windowPicture(), 49, 49), rgb(9, 9, 9));
    EXPECT_EQ(host.clientRect(), (Rect{0, 0, 80, 50}));
    EXPECT_TRUE(host.canvas.erasePending());
    Color before = 0;
    host.paint([&](Dc& dc) { before = dc.getPixel(49, 49); });
    EXPECT_EQ(before, kWhite);
}

}  // namespace
