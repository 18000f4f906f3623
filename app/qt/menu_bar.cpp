#include "menu_bar.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <vector>

namespace qt_window {

QString withMnemonic(const QString& text, QString& taken)
{
    QString marked = text;
    marked.replace('&', "&&");
    auto free = [&](qsizetype i) {
        return marked[i].isLetter() && (i == 0 || marked[i - 1] != '&') && !taken.contains(marked[i].toLower());
    };
    qsizetype at = -1;
    for (qsizetype i = 0; i < marked.size() && at < 0; ++i)
        if ((i == 0 || !marked[i - 1].isLetterOrNumber()) && free(i))
            at = i;
    for (qsizetype i = 0; i < marked.size() && at < 0; ++i)
        if (free(i))
            at = i;
    if (at < 0)
        return marked;
    taken += marked[at].toLower();
    marked.insert(at, '&');
    return marked;
}

void fillMenuBar(QMenuBar& bar, std::span<const platform::MenuEntry> table,
                 const std::function<QKeySequence(int32_t id)>& shortcut,
                 const std::function<void(int32_t id, QAction* action)>& added)
{
    // menus[d] is the popup that takes the entries of depth d + 1; taken[d]
    // holds the mnemonics used at depth d (the bar, then menus[d - 1]).
    std::vector<QMenu*> menus;
    std::vector<QString> taken;
    for (const platform::MenuEntry& e : table) {
        menus.resize(static_cast<size_t>(e.depth));
        taken.resize(static_cast<size_t>(e.depth) + 1);
        QMenu* parent = e.depth > 0 ? menus.back() : nullptr;
        const QString text = e.kind == platform::MenuEntryKind::Separator
                                 ? QString()
                                 : withMnemonic(QString::fromUtf8(e.text), taken.back());
        switch (e.kind) {
        case platform::MenuEntryKind::Popup:
            menus.push_back(parent ? parent->addMenu(text) : bar.addMenu(text));
            taken.emplace_back();
            break;
        case platform::MenuEntryKind::Separator:
            if (parent)
                parent->addSeparator();
            break;
        case platform::MenuEntryKind::Command: {
            QAction* action = parent ? parent->addAction(text) : bar.addAction(text);
            action->setShortcut(shortcut(e.id));
            added(e.id, action);
            break;
        }
        }
    }
}

}  // namespace qt_window
