#pragma once
// Everything the shell asks of the desktop. The Qt window, the console front
// end and the scripted host of the tests implement it; the shell and the
// compute core see nothing else of the outside.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "platform/ui_templates.h"
#include "base/message_sink.h"

namespace platform {

// The button that closed a dialog.
enum class DialogResult { Ok, Cancel };

// Texts of a dialog's controls by control id: edit fields and the statics the
// dialog procedure fills in. A control absent from the map shows the text of
// its template.
using DialogFields = std::map<int32_t, std::string>;

// Called when OK is pressed, with the texts as typed (the procedure may
// rewrite them). true lets the dialog close with OK; false keeps it open, as
// typed or rewritten, after the procedure has said why (a message box).
using DialogValidator = std::function<bool(DialogFields& fields)>;

// One entry of a file dialog's type list.
struct FileFilter {
    std::string description;  // "Bitmap Files (*.bmp)"
    std::string pattern;      // "*.bmp"
};

// How a file dialog is shown and what it accepts.
struct FileDialogOptions {
    std::string title;
    std::vector<FileFilter> filters;
    int32_t filterIndex = 0;       // the filter selected first, from 0
    std::string defaultExtension;  // appended when the typed name has none ("bmp")
    bool overwritePrompt = false;  // save: ask before replacing a file
    bool fileMustExist = false;    // open: only existing files are accepted
};

// A file chosen in a dialog, with the filter that was selected when the user
// confirmed: a save dialog's name typed without an extension takes the
// format of that filter.
struct FileChoice {
    std::string path;
    int32_t filterIndex = 0;  // index into FileDialogOptions::filters
};

// The desktop as the shell sees it: message boxes, dialogs, file dialogs,
// menu checks, invalidation of the window and the window's size.
class Host : public base::MessageSink {
  public:
    virtual ~Host() = default;

    // MessageSink::messageBox: a modal box owned by the main window, OK button.

    // A modal dialog from the template. fields comes in with the texts to
    // show and goes out with the texts at OK; on Cancel it is left as it came.
    // validate may be empty: OK then always closes.
    virtual DialogResult runDialog(const DialogTemplate& dialog, DialogFields& fields,
                                   const DialogValidator& validate) = 0;

    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> saveFileDialog(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> openFileDialog(const FileDialogOptions& options) = 0;
    // The save dialog with the filter chosen in it. A host that cannot tell
    // which filter the user chose reports the one selected first.
    virtual std::optional<FileChoice> saveFileChoice(const FileDialogOptions& options)
    {
        std::optional<std::string> path = saveFileDialog(options);
        if (!path)
            return std::nullopt;
        return FileChoice{std::move(*path), options.filterIndex};
    }

    virtual void checkMenuItem(int32_t id, bool checked) = 0;

    // Adds a rectangle (nothing: the whole client area) to the area the next
    // paint redraws; erase asks for that rectangle to be cleared to white first.
    virtual void invalidate(std::optional<Rect> rect, bool erase) = 0;
    // (0, 0, width, height) of the client area.
    virtual Rect clientRect() const = 0;
    // Asks the window to close, like the system's close message: the host
    // ends the window after the running command returns.
    virtual void close() = 0;
    // The window's current picture, client area size, as last painted.
    virtual Bitmap& windowPicture() = 0;
    // A line for the window's status bar (the readout of what lies under the
    // mouse); "" clears it. A host without a status bar lets it go.
    virtual void setStatusText(std::string text) { (void)text; }

  protected:
    Host() = default;
    Host(const Host&) = default;
    Host& operator=(const Host&) = default;
};

}  // namespace platform
