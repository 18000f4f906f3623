// Every menu path README.md sends the user along ("Settings > Select Task
// Type > Series Processing") is a path of a menu the program builds: the
// workbench's main menu or the detection view's. It once sent users to a
// "Detection" menu that did not exist, the command being under Processing.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "resources/menu.h"

namespace {

// A popup's entries, trimmed, each with its own when it is a popup too.
struct MenuNode {
    std::string text;
    std::vector<MenuNode> entries;
};

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

MenuNode treeOf(std::span<const platform::MenuEntry> table)
{
    MenuNode root;
    std::vector<MenuNode*> open{&root};
    for (const platform::MenuEntry& e : table) {
        if (e.kind == platform::MenuEntryKind::Separator)
            continue;
        open.resize(static_cast<size_t>(e.depth) + 1);
        open.back()->entries.push_back({trimmed(e.text), {}});
        if (e.kind == platform::MenuEntryKind::Popup)
            open.push_back(&open.back()->entries.back());
    }
    return root;
}

// The README's prose: fenced code left out, every run of blanks and line
// ends one blank.
std::string readmeProse()
{
    std::ifstream in(QUILLMORE_README);
    std::string line, text;
    bool code = false;
    while (std::getline(in, line)) {
        if (line.rfind("```", 0) == 0) {
            code = !code;
            continue;
        }
        if (!code)
            text += line + " ";
    }
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

// Follows the path that starts with `title` at the front of `rest` ("A >
// B > C and more prose") down the menu; true when every step names an
// entry, with the characters of `rest` the path took in `used`.
bool followsMenu(const MenuNode& menu, const std::string& title, const std::string& text, size_t& used,
                 std::string& failed)
{
    std::string rest = text;
    const MenuNode* popup = nullptr;
    for (const MenuNode& top : menu.entries)
        if (top.text == title && !top.entries.empty())
            popup = &top;
    if (!popup) {
        failed = title;
        return false;
    }
    for (;;) {
        const MenuNode* step = nullptr;
        for (const MenuNode& e : popup->entries)
            if (rest.rfind(e.text, 0) == 0 && (!step || e.text.size() > step->text.size()))
                step = &e;
        if (!step) {
            failed = rest.substr(0, 40);
            return false;
        }
        rest = rest.substr(step->text.size());
        if (step->entries.empty() || rest.rfind(" > ", 0) != 0) {
            used = text.size() - rest.size();
            return true;
        }
        rest = rest.substr(3);
        popup = step;
    }
}

}  // namespace

TEST(ReadmeMenus, EveryMenuPathTheReadmeNamesExists)
{
    const std::string text = readmeProse();
    ASSERT_GT(text.size(), 1000u) << "README.md was not read from " << QUILLMORE_README;
    const MenuNode menus[] = {treeOf(resources::mainMenu()), treeOf(resources::detectionViewMenu())};
    const std::regex start("([A-Z][A-Za-z]*) > ");
    int paths = 0;
    size_t consumed = 0;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), start); m != std::sregex_iterator(); ++m) {
        const size_t at = static_cast<size_t>(m->position());
        if (at < consumed)
            continue;  // a later step of a path already followed
        const std::string title = (*m)[1];
        const std::string rest = text.substr(at + static_cast<size_t>(m->length()));
        std::string failed;
        size_t used = 0;
        bool found = false;
        for (const MenuNode& menu : menus)
            found = found || followsMenu(menu, title, rest, used, failed);
        EXPECT_TRUE(found) << "README names the menu path '" << text.substr(at, 80) << "...', which stops at '"
                           << failed << "'";
        consumed = at + static_cast<size_t>(m->length()) + used;
        ++paths;
    }
    EXPECT_GE(paths, 4) << "the README's tour names its menus";
}
