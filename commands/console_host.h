#pragma once
// The host of quillmore-cli: no screen. Message boxes are collected (and,
// when asked, echoed to standard error as "caption: text" at once); dialogs
// are answered from edits prepared by the command, or cancelled. The window
// picture is a small white bitmap nobody looks at, until a command asks for
// a client size: the host then keeps a real picture of that size that
// invalidations and paints work on as they do in the window.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host.h"
#include "platform/window_canvas.h"

namespace commands {

class ConsoleHost final : public platform::Host {
  public:
    void messageBox(std::string_view text, std::string_view caption, base::MessageIcon icon) override;
    platform::DialogResult runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                     const platform::DialogValidator& validate) override;
    std::optional<std::string> saveFileDialog(const platform::FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> openFileDialog(const platform::FileDialogOptions&) override { return std::nullopt; }
    void checkMenuItem(int32_t id, bool checked) override { menuChecks[id] = checked; }
    void invalidate(std::optional<platform::Rect> rect, bool erase) override;
    platform::Rect clientRect() const override;
    void close() override { closeRequested = true; }
    platform::Bitmap& windowPicture() override { return canvas_ ? canvas_->picture() : picture_; }

    // Gives the window a picture of width × height (right and bottom
    // outside), white and waiting to be painted in full.
    void setClientSize(int32_t width, int32_t height);
    // Draws the waiting area through the handler (platform::WindowCanvas::paint);
    // false without a client size or when nothing waits.
    bool paint(const std::function<void(platform::Dc&)>& handler);

    // Edits typed into a dialog before OK; a dialog without any is cancelled.
    std::map<int32_t, std::vector<std::pair<int32_t, std::string>>> dialogEdits;
    std::vector<base::RecordedMessage> messages;
    bool echoMessages = false;  // print each message to standard error as it comes
    std::map<int32_t, bool> menuChecks;
    bool closeRequested = false;

  private:
    // Most commands never paint: they keep the 1 × 1 picture and a
    // 1024 × 768 client rectangle and let invalidations go.
    platform::Bitmap picture_ = platform::makeBitmap(1, 1);
    std::optional<platform::WindowCanvas> canvas_;
};

}  // namespace commands
