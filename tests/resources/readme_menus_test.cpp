// Every menu path README.md sends the user along ("Settings > Select Task
// Type > Series Processing") is a path of a menu the program builds: the
// workbench's main menu or the detection view's. It once sent users to a
// "Detection" menu that did not exist, the command being under Processing.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "resources/menu.h"

namespace {

// Every entry of the tables as the path the user follows: "File > Open...".
std::vector<std::string> menuPaths()
{
    std::vector<std::string> paths;
    for (const auto table : {resources::mainMenu(), resources::detectionViewMenu()}) {
        std::vector<std::string> open;
        for (const platform::MenuEntry& e : table) {
            if (e.kind == platform::MenuEntryKind::Separator)
                continue;
            std::string text = e.text;
            text.erase(0, text.find_first_not_of(' '));
            text.erase(text.find_last_not_of(' ') + 1);
            open.resize(static_cast<size_t>(e.depth));
            open.push_back(text);
            std::string path;
            for (const std::string& step : open)
                path += (path.empty() ? "" : " > ") + step;
            paths.push_back(path);
        }
    }
    return paths;
}

}  // namespace

TEST(ReadmeMenus, EveryMenuPathTheReadmeNamesExists)
{
    // The prose, fenced code left out, every run of blanks and line ends one blank.
    std::ifstream in(QUILLMORE_README);
    std::string text;
    bool code = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0)
            code = !code;
        else if (!code)
            text += line + " ";
    }
    text = std::regex_replace(text, std::regex("\\s+"), " ");
    ASSERT_GT(text.size(), 1000u) << "README.md was not read from " << QUILLMORE_README;

    const std::vector<std::string> paths = menuPaths();
    const std::regex start("[A-Z][A-Za-z]* > ");
    size_t consumed = 0;
    int named = 0;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), start); m != std::sregex_iterator(); ++m) {
        const auto at = static_cast<size_t>(m->position());
        if (at < consumed)
            continue;  // a later step of a path already followed
        // The path the text goes on with, to its last step.
        size_t longest = 0;
        for (const std::string& path : paths)
            if (path.find(" > ") != std::string::npos && text.compare(at, path.size(), path) == 0 &&
                text.compare(at + path.size(), 3, " > ") != 0)
                longest = std::max(longest, path.size());
        EXPECT_GT(longest, 0u) << "README names the menu path '" << text.substr(at, 70) << "...', which no menu has";
        consumed = at + std::max<size_t>(longest, static_cast<size_t>(m->length()));
        ++named;
    }
    EXPECT_GE(named, 4) << "the README's pictures name their menus";
}
