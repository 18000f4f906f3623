#pragma once
// The host of quillmore-cli: no screen. Message boxes are collected (and,
// when asked, echoed to standard error as "caption: text" at once); dialogs
// are answered from edits prepared by the command, or cancelled; the window
// picture is a small white bitmap nobody looks at.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host.h"

class ConsoleHost final : public platform::Host {
  public:
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override;
    platform::DialogResult runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                     const platform::DialogValidator& validate) override;
    std::optional<std::string> saveFileDialog(const platform::FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> openFileDialog(const platform::FileDialogOptions&) override { return std::nullopt; }
    void checkMenuItem(int32_t id, bool checked) override { menuChecks[id] = checked; }
    void invalidate(std::optional<platform::Rect>, bool) override {}
    platform::Rect clientRect() const override { return {0, 0, 1024, 768}; }
    void close() override { closeRequested = true; }
    platform::Bitmap& windowPicture() override { return picture_; }

    // Edits typed into a dialog before OK; a dialog without any is cancelled.
    std::map<int32_t, std::vector<std::pair<int32_t, std::string>>> dialogEdits;
    std::vector<RecordedMessage> messages;
    bool echoMessages = false;  // print each message to standard error as it comes
    std::map<int32_t, bool> menuChecks;
    bool closeRequested = false;

  private:
    platform::Bitmap picture_ = platform::makeBitmap(1, 1);
};
