#include "platform/scripted_host.h"

namespace platform {

ScriptedHost::ScriptedHost(int32_t clientWidth, int32_t clientHeight) : canvas(clientWidth, clientHeight) {}

void ScriptedHost::messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon)
{
    messages.push_back({std::string(text), std::string(caption), icon});
}

DialogResult ScriptedHost::runDialog(const DialogTemplate& dialog, DialogFields& fields,
                                     const DialogValidator& validate)
{
    DialogRecord record;
    record.dialogId = dialog.id;
    record.shown = fields;
    const std::string name = "dialog " + std::to_string(dialog.id);

    DialogFields working = fields;
    bool closed = false;
    if (dialogAnswers_.empty()) {
        scriptErrors.push_back(name + " opened with no answer queued");
    } else {
        DialogAnswer answer = std::move(dialogAnswers_.front());
        dialogAnswers_.pop_front();
        if (answer.expectedDialog != 0 && answer.expectedDialog != dialog.id) {
            scriptErrors.push_back(name + " opened where dialog " + std::to_string(answer.expectedDialog) +
                                   " was expected");
            answer.steps.clear();
            closed = true;  // cancelled below, already noted
        }
        for (const DialogStep& step : answer.steps) {
            for (const auto& [id, text] : step.edits) {
                const DialogControl* control = findControl(dialog, id);
                if (!control || control->kind != ControlKind::Edit || control->disabled) {
                    scriptErrors.push_back(name + ": control " + std::to_string(id) + " takes no typing");
                    continue;
                }
                working[id] = text;
            }
            if (step.press == DialogResult::Cancel) {
                closed = true;
                break;
            }
            if (!validate || validate(working)) {
                fields = working;
                record.result = DialogResult::Ok;
                closed = true;
                break;
            }
            ++record.refusedOks;
        }
        if (!closed)
            scriptErrors.push_back(name + " left open by its answer; cancelled");
    }
    record.closed = working;
    dialogs.push_back(std::move(record));
    return dialogs.back().result;
}

std::optional<std::string> ScriptedHost::saveFileDialog(const FileDialogOptions& options)
{
    std::optional<FileChoice> choice = saveFileChoice(options);
    if (!choice)
        return std::nullopt;
    return std::move(choice->path);
}

std::optional<FileChoice> ScriptedHost::saveFileChoice(const FileDialogOptions& options)
{
    SaveAnswer answer;
    if (saveAnswers_.empty()) {
        scriptErrors.push_back("save dialog \"" + options.title + "\" opened with no answer queued");
    } else {
        answer = std::move(saveAnswers_.front());
        saveAnswers_.pop_front();
    }
    const int32_t filter = answer.filterIndex.value_or(options.filterIndex);
    if (answer.path && (filter < 0 || static_cast<size_t>(filter) >= options.filters.size()) &&
        !(options.filters.empty() && !answer.filterIndex))
        scriptErrors.push_back("save dialog \"" + options.title + "\" has no filter " + std::to_string(filter));
    fileDialogs.push_back({true, options, answer.path, filter});
    if (!answer.path)
        return std::nullopt;
    return FileChoice{*answer.path, filter};
}

std::optional<std::string> ScriptedHost::openFileDialog(const FileDialogOptions& options)
{
    std::optional<std::string> answer;
    if (openAnswers_.empty()) {
        scriptErrors.push_back("open dialog \"" + options.title + "\" opened with no answer queued");
    } else {
        answer = std::move(openAnswers_.front());
        openAnswers_.pop_front();
    }
    fileDialogs.push_back({false, options, answer, options.filterIndex});
    return answer;
}

void ScriptedHost::checkMenuItem(int32_t id, bool checked) { menuChecks[id] = checked; }

bool ScriptedHost::menuChecked(int32_t id) const
{
    const auto it = menuChecks.find(id);
    return it != menuChecks.end() && it->second;
}

void ScriptedHost::invalidate(std::optional<Rect> rect, bool erase)
{
    invalidations.push_back({rect, erase});
    canvas.invalidate(rect, erase);
}

void ScriptedHost::answerOk(int32_t dialogId, std::vector<std::pair<int32_t, std::string>> edits)
{
    queueDialog({dialogId, {DialogStep{std::move(edits), DialogResult::Ok}}});
}

void ScriptedHost::answerCancel(int32_t dialogId) { queueDialog({dialogId, {DialogStep{{}, DialogResult::Cancel}}}); }

}  // namespace platform
