#pragma once
// A menu bar built from a resource menu table: each title and item with a
// mnemonic of its own for Alt and the open menu, the keys a window gives its
// most used commands shown beside them.

#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

#include "platform/ui_templates.h"

class QAction;
class QMenuBar;

namespace qt_window {

// The text with a mnemonic for Alt and the open menu: the first free letter
// that starts a word, else the first free letter, marked the way Qt reads
// it. The letters the user reads stay as they are; Qt underlines the one.
// taken: the letters already used by the entries beside it (lower case).
QString withMnemonic(const QString& text, QString& taken);

// Adds the table's popups and commands to the bar. shortcut gives a
// command's key (an empty sequence for none); added is called once per
// command with its action, in menu order, for the window to connect it.
void fillMenuBar(QMenuBar& bar, std::span<const platform::MenuEntry> table,
                 const std::function<QKeySequence(int32_t id)>& shortcut,
                 const std::function<void(int32_t id, QAction* action)>& added);

}  // namespace qt_window
