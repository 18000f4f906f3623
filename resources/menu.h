#pragma once
// The main menu (resource 104) and the menu of the detection view's window,
// as tables the hosts build their menu bars from.

#include <span>

#include "platform/ui_templates.h"
#include "resources/command_ids.h"

namespace resources {

// Every row of the main menu, popups followed by their entries, in order.
std::span<const platform::MenuEntry> mainMenu();

// Every row of the detection view's menu, in order.
std::span<const platform::MenuEntry> detectionViewMenu();

// The text of a command of the main menu, or nullptr.
const char* menuText(int32_t commandId);

}  // namespace resources
