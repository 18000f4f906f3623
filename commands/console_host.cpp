#include "commands/console_host.h"

#include <cstdio>

namespace commands {

void ConsoleHost::messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon)
{
    messages.push_back({std::string(text), std::string(caption), icon});
    if (echoMessages)
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
}

platform::DialogResult ConsoleHost::runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                              const platform::DialogValidator& validate)
{
    const auto answer = dialogEdits.find(dialog.id);
    if (answer == dialogEdits.end())
        return platform::DialogResult::Cancel;
    platform::DialogFields typed = fields;
    for (const auto& [id, text] : answer->second)
        typed[id] = text;
    // A refused OK would leave a real dialog open; here nobody can correct
    // the fields, so the dialog ends as cancelled after the refusal's message.
    if (validate && !validate(typed))
        return platform::DialogResult::Cancel;
    fields = std::move(typed);
    return platform::DialogResult::Ok;
}

void ConsoleHost::invalidate(std::optional<platform::Rect> rect, bool erase)
{
    if (canvas_)
        canvas_->invalidate(rect, erase);
}

platform::Rect ConsoleHost::clientRect() const
{
    return canvas_ ? canvas_->clientRect() : platform::Rect{0, 0, 1024, 768};
}

void ConsoleHost::setClientSize(int32_t width, int32_t height)
{
    if (canvas_)
        canvas_->resize(width, height);
    else
        canvas_.emplace(width, height);
}

bool ConsoleHost::paint(const std::function<void(platform::Dc&)>& handler)
{
    return canvas_ && canvas_->paint(handler);
}

}  // namespace commands
