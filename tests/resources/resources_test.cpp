// The menu, the dialog templates and the button bitmaps are what the program
// shows: ids, texts, separators, rectangles, disabled fields, and 144 × 32
// grey buttons with their words centred.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/bmp_decoder.h"
#include "resources/button_bitmaps.h"
#include "resources/dialogs.h"
#include "resources/menu.h"

namespace {

using namespace resources;
using platform::ControlKind;
using platform::MenuEntryKind;

// The popup path of every command ("Settings/Select Task Type") and the
// command that precedes every separator, read from the table.
struct MenuShape {
    std::map<int32_t, std::string> path;
    std::map<std::string, std::vector<int32_t>> separatorsAfter;  // popup path -> command ids
};

MenuShape shapeOf(std::span<const platform::MenuEntry> menu)
{
    MenuShape s;
    std::vector<std::string> stack;
    int32_t previous = 0;
    for (const auto& e : menu) {
        stack.resize(static_cast<size_t>(e.depth));
        std::string path;
        for (const auto& p : stack)
            path += (path.empty() ? "" : "/") + p;
        if (e.kind == MenuEntryKind::Popup) {
            if (e.depth > 0)
                previous = -1;  // a submenu stands after the separator that follows it
            stack.push_back(e.text);
            continue;
        }
        if (e.kind == MenuEntryKind::Separator) {
            s.separatorsAfter[path].push_back(previous);
            continue;
        }
        s.path[e.id] = path;
        previous = e.id;
    }
    return s;
}

TEST(MainMenu, HoldsEveryCommandUnderItsPopupWithItsText)
{
    const MenuShape shape = shapeOf(mainMenu());
    EXPECT_EQ(shape.path.size(), 24u);
    EXPECT_EQ(shape.path.at(IdNewPulses), "File");
    EXPECT_EQ(shape.path.at(IdOpen), "File");
    EXPECT_EQ(shape.path.at(IdRepeatThresholdMethod), "Processing");
    EXPECT_EQ(shape.path.at(IdSeriesCreationMethod), "Settings");
    EXPECT_EQ(shape.path.at(IdTaskJointDetectionEstimation), "Settings/Select Task Type");
    EXPECT_EQ(shape.path.at(IdTaskSeriesProcessing), "Settings/Select Task Type");
    EXPECT_EQ(shape.path.at(IdSeriesUnfixedNumber), "Settings/Select Series Type");

    EXPECT_STREQ(menuText(40002), " New pulses... ");
    EXPECT_STREQ(menuText(40001), " Create series... ");
    EXPECT_STREQ(menuText(40017), " Type more detales");
    EXPECT_STREQ(menuText(40010), " Detection, Statistical Simulation");
    EXPECT_STREQ(menuText(40013), " Fixed Number of Pulses");
    EXPECT_EQ(menuText(40018), nullptr);

    // Ids are unique and lie in the menu range.
    std::set<int32_t> ids;
    for (const auto& e : mainMenu())
        if (e.kind == MenuEntryKind::Command) {
            EXPECT_TRUE(ids.insert(e.id).second) << e.id;
            EXPECT_GE(e.id, 40001);
            EXPECT_LE(e.id, 40032);
        }
}

TEST(MainMenu, SeparatorsStandWhereTheMenuGroupsItsCommands)
{
    const MenuShape shape = shapeOf(mainMenu());
    EXPECT_EQ(shape.separatorsAfter.at("File"), (std::vector<int32_t>{40001, 40031, 40003}));
    EXPECT_EQ(shape.separatorsAfter.at("Processing"), (std::vector<int32_t>{40016, 40017, 40008, 40015}));
    // In Settings: after 40009 and after the task submenu.
    EXPECT_EQ(shape.separatorsAfter.at("Settings"), (std::vector<int32_t>{40009, 40032}));
}

TEST(DialogTemplates, CarryTheDocumentedControls)
{
    const auto& d105 = createSeriesDialog();
    EXPECT_STREQ(d105.caption, "Create Series");
    EXPECT_EQ(d105.width, 209);
    EXPECT_EQ(d105.height, 168);
    const auto* length = platform::findControl(d105, EditSamplesLength);
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->kind, ControlKind::Edit);
    EXPECT_EQ((std::array{length->x, length->y, length->width, length->height}), (std::array{100, 18, 25, 12}));
    EXPECT_FALSE(length->disabled);
    EXPECT_TRUE(platform::findControl(d105, EditSavedEnergyCreate)->disabled);
    const auto* process = platform::findControl(d105, EditSavedEnergyProcess);
    EXPECT_TRUE(process->disabled);
    EXPECT_EQ((std::array{process->x, process->y, process->width, process->height}), (std::array{99, 136, 26, 13}));

    const auto& d106 = seriesStructureDialog();
    EXPECT_EQ(d106.width, 192);
    EXPECT_STREQ(platform::findControl(d106, TextPulseCountRange)->text, "Number of Pulses in Series (from XX to XX)");
    EXPECT_EQ(platform::findControl(d106, EditEtalonSequence)->width, 109);

    const auto& d109 = requiredEtalonsDialog();
    EXPECT_STREQ(d109.caption, "List of Required Etalons");
    EXPECT_STREQ(platform::findControl(d109, TextRequiredRange)->text, "List of Required Etalons (from 1 to     )");
    EXPECT_EQ(platform::findControl(d109, platform::kIdOk)->width, 49);

    const auto& d110 = locationParametersDialog();
    EXPECT_STREQ(d110.caption, " Location Parameters");
    EXPECT_TRUE(d110.placed);
    EXPECT_EQ(d110.x, 60);
    EXPECT_EQ(d110.y, 50);
    const auto* repeats = platform::findControl(d110, EditRepeatCount);
    EXPECT_EQ((std::array{repeats->x, repeats->y}), (std::array{84, 52}));
    int rightAligned = 0;
    for (const auto& c : d110.controls)
        rightAligned += c.align == platform::TextAlign::Right && c.x == 118 && c.width == 90;
    EXPECT_EQ(rightAligned, 3);

    EXPECT_EQ(findDialogTemplate(110), &d110);
    EXPECT_EQ(findDialogTemplate(107), nullptr);
}

TEST(DialogTemplates, EveryDialogHasOkAndCancelUniqueIdsAndFitsItsFrame)
{
    const std::map<int32_t, std::vector<int32_t>> edits{
        {105, {1000, 1001, 1003, 1004, 1005, 1006}},
        {106, {1007, 1010, 1011}},
        {109, {1012, 1014}},
        {110, {1015, 1016, 1017, 1018, 1019, 1020, 1021}},
    };
    for (const auto& [id, editIds] : edits) {
        const auto* t = findDialogTemplate(id);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(platform::findControl(*t, platform::kIdOk)->kind, ControlKind::Button);
        EXPECT_STREQ(platform::findControl(*t, platform::kIdCancel)->text, "Cancel");
        std::set<int32_t> seen, editsFound;
        for (const auto& c : t->controls) {
            if (c.id != platform::kNoControlId) {
                EXPECT_TRUE(seen.insert(c.id).second) << id << ": " << c.id;
            }
            if (c.kind == ControlKind::Edit)
                editsFound.insert(c.id);
            EXPECT_LE(c.x + c.width, t->width) << id << ": " << c.text;
            EXPECT_LE(c.y + c.height, t->height) << id << ": " << c.text;
        }
        EXPECT_EQ(editsFound, std::set<int32_t>(editIds.begin(), editIds.end())) << id;
    }
}

struct Ink {
    platform::Rect box;  // of the black pixels off the border
    int count = 0;
};

Ink wordInk(const platform::Bitmap& b)
{
    Ink ink{{kButtonWidth, kButtonHeight, 0, 0}, 0};
    for (int32_t y = 3; y < kButtonHeight - 3; ++y)
        for (int32_t x = 3; x < kButtonWidth - 3; ++x)
            if (platform::pixelAt(b, x, y) == platform::kBlack) {
                ++ink.count;
                ink.box.left = std::min(ink.box.left, x);
                ink.box.top = std::min(ink.box.top, y);
                ink.box.right = std::max(ink.box.right, x + 1);
                ink.box.bottom = std::max(ink.box.bottom, y + 1);
            }
    return ink;
}

TEST(ButtonBitmaps, AreSixteenColourGreyButtonsWithTheirWordCentred)
{
    std::map<std::string, int32_t> widths;
    for (const auto& r : buttonBitmapResources()) {
        const auto decoded = platform::decodeBmp(r.bytes);
        ASSERT_TRUE(decoded) << r.word;
        EXPECT_EQ(decoded->bitCount, 4);
        EXPECT_EQ(decoded->paletteSize, 16u);
        const platform::Bitmap& b = decoded->bitmap;
        ASSERT_EQ(b.width, kButtonWidth);
        ASSERT_EQ(b.height, kButtonHeight);
        // The face is grey at its left and right ends, away from the word.
        for (const auto& [x, y] : {std::pair{6, 6}, std::pair{6, 25}, std::pair{137, 6}, std::pair{137, 25}})
            EXPECT_EQ(platform::pixelAt(b, x, y), platform::rgb(192, 192, 192)) << r.word;
        const Ink ink = wordInk(b);
        ASSERT_GT(ink.count, 20) << r.word;
        EXPECT_NEAR((ink.box.left + ink.box.right) / 2.0, kButtonWidth / 2.0, 2.0) << r.word;
        EXPECT_NEAR((ink.box.top + ink.box.bottom) / 2.0, kButtonHeight / 2.0, 3.0) << r.word;
        widths[r.word] = ink.box.right - ink.box.left;
    }
    ASSERT_EQ(widths.size(), 5u);
    EXPECT_LT(widths["Exit"], widths["Restart"]);
    EXPECT_LT(widths["Next"], widths["Restart"]);
    EXPECT_LT(widths["Restart"], widths["Select All"]);
    EXPECT_LT(widths["Select All"], widths["Unselect All"]);
}

TEST(ButtonBitmaps, LoadInOrderAndStopAtTheFirstBrokenOne)
{
    const auto all = buttonBitmapResources();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ((std::array{all[0].id, all[1].id, all[2].id, all[3].id, all[4].id}),
              (std::array{103, 102, 101, 108, 107}));

    base::MessageRecorder sink;
    ButtonBitmaps loaded;
    ASSERT_TRUE(loadButtonBitmaps(loaded, sink));
    EXPECT_TRUE(sink.messages.empty());
    for (const platform::Bitmap* b :
         {&loaded.restart, &loaded.exit, &loaded.next, &loaded.selectAll, &loaded.unselectAll})
        EXPECT_EQ(b->width, kButtonWidth);

    // The third (101, Next) cut short: the first two stay loaded, the rest are not tried.
    std::vector<ButtonBitmapResource> broken(all.begin(), all.end());
    broken[2].bytes = broken[2].bytes.first(100);
    ButtonBitmaps partial;
    EXPECT_FALSE(loadButtonBitmaps(partial, sink, broken));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "No Bitmap <IDB_BITMAP1>");
    EXPECT_EQ(sink.messages[0].caption, "Fatal Error");
    EXPECT_EQ(partial.restart.width, kButtonWidth);
    EXPECT_EQ(partial.exit.width, kButtonWidth);
    EXPECT_EQ(partial.next.width, 0);
    EXPECT_EQ(partial.unselectAll.width, 0);

    const std::map<int32_t, std::string> names{{103, "No Bitmap <ButtonStart>"},
                                               {102, "No Bitmap <ButtonExit>"},
                                               {101, "No Bitmap <IDB_BITMAP1>"},
                                               {108, "No Bitmap <IDB_BITMAP5>"},
                                               {107, "No Bitmap <IDB_BITMAP4>"}};
    for (size_t k = 0; k < all.size(); ++k) {
        std::vector<ButtonBitmapResource> one(all.begin(), all.end());
        one[k].bytes = {};
        base::MessageRecorder s;
        ButtonBitmaps b;
        EXPECT_FALSE(loadButtonBitmaps(b, s, one));
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_EQ(s.messages[0].text, names.at(all[k].id));
    }
}

}  // namespace
