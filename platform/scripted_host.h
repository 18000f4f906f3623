#pragma once
// A host without a screen, for the tests and the console front end. It
// records every message, dialog, file dialog, invalidation and menu check,
// answers dialogs and file dialogs from queues filled in advance, and keeps
// the window's picture in a WindowCanvas that paint() draws into.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host.h"
#include "platform/window_canvas.h"

namespace platform {

// What the scripted user does while a dialog is open: type into edit fields,
// then press OK or Cancel.
struct DialogStep {
    std::vector<std::pair<int32_t, std::string>> edits;
    DialogResult press = DialogResult::Ok;
};

// The answer to one dialog. The steps are played in order until one closes
// the dialog: Cancel always does, OK when the procedure's check accepts the
// fields. Typing into a control that is not an enabled edit field does
// nothing and is noted in scriptErrors.
struct DialogAnswer {
    int32_t expectedDialog = 0;  // template id; 0 accepts any dialog
    std::vector<DialogStep> steps;
};

// One dialog as it was run: what it showed, what it closed with and how.
struct DialogRecord {
    int32_t dialogId = 0;
    DialogFields shown;   // as the procedure filled them
    DialogFields closed;  // as they stood when the dialog closed
    DialogResult result = DialogResult::Cancel;
    int32_t refusedOks = 0;  // OK presses the procedure's check refused
};

// One invalidation the shell asked for.
struct InvalidationRecord {
    std::optional<Rect> rect;  // nothing: the whole client area
    bool erase = false;
};

// One file dialog as it was run, with the answer the script gave.
struct FileDialogRecord {
    bool save = false;
    FileDialogOptions options;
    std::optional<std::string> answer;
    int32_t chosenFilter = 0;  // the filter selected when the answer was given
};

// The host itself: the Host calls record and answer as said above; the
// public members hold the records and the queues.
class ScriptedHost : public Host {
  public:
    explicit ScriptedHost(int32_t clientWidth = 1024, int32_t clientHeight = 768);

    void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override;
    DialogResult runDialog(const DialogTemplate& dialog, DialogFields& fields,
                           const DialogValidator& validate) override;
    std::optional<std::string> saveFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> openFileDialog(const FileDialogOptions& options) override;
    std::optional<FileChoice> saveFileChoice(const FileDialogOptions& options) override;
    void checkMenuItem(int32_t id, bool checked) override;
    void invalidate(std::optional<Rect> rect, bool erase) override;
    Rect clientRect() const override { return canvas.clientRect(); }
    void close() override { closeRequested = true; }
    Bitmap& windowPicture() override { return canvas.picture(); }
    void setStatusText(std::string text) override { statusTexts.push_back(std::move(text)); }

    // --- the script
    void queueDialog(DialogAnswer answer) { dialogAnswers_.push_back(std::move(answer)); }
    // Types the edits and presses OK once (a refused OK leaves the dialog
    // open with nothing more to do: it is then cancelled and noted).
    void answerOk(int32_t dialogId, std::vector<std::pair<int32_t, std::string>> edits = {});
    void answerCancel(int32_t dialogId);
    // The next save or open dialog returns this path; nothing means Cancel.
    // A save answer may choose a filter (an index into the dialog's filters);
    // without one the filter the dialog selects first stays chosen.
    void queueSaveFile(std::optional<std::string> path, std::optional<int32_t> filterIndex = std::nullopt)
    {
        saveAnswers_.push_back({std::move(path), filterIndex});
    }
    void queueOpenFile(std::optional<std::string> path) { openAnswers_.push_back(std::move(path)); }
    size_t pendingDialogAnswers() const { return dialogAnswers_.size(); }

    // Draws the waiting area through the handler (see WindowCanvas::paint).
    bool paint(const std::function<void(Dc&)>& handler) { return canvas.paint(handler); }
    bool menuChecked(int32_t id) const;

    // --- what happened
    std::vector<base::RecordedMessage> messages;
    std::vector<DialogRecord> dialogs;
    std::vector<FileDialogRecord> fileDialogs;
    std::vector<InvalidationRecord> invalidations;
    std::map<int32_t, bool> menuChecks;
    std::vector<std::string> statusTexts;  // every status line shown, the last one standing
    bool closeRequested = false;
    // Dialogs opened with no answer queued or the wrong one, answers that left
    // a dialog open, typing into controls that take no typing, file dialogs
    // with no answer queued. A story that went as written leaves this empty.
    std::vector<std::string> scriptErrors;

    WindowCanvas canvas;

  private:
    struct SaveAnswer {
        std::optional<std::string> path;
        std::optional<int32_t> filterIndex;
    };
    std::deque<DialogAnswer> dialogAnswers_;
    std::deque<SaveAnswer> saveAnswers_;
    std::deque<std::optional<std::string>> openAnswers_;
};

}  // namespace platform
