#pragma once
// The one way the compute core reports to the user. The core shows its
// failures as modal message boxes of the main window; the platform's Host
// implements this interface, the tests and the console front end record.

#include <string>
#include <string_view>
#include <vector>

namespace base {

// The icon a message box shows.
enum class MessageIcon { None, Information, Warning, Error, Question };

// Where the core's messages go: one modal box a call.
struct MessageSink {
    // caption "" means the box has no caption of its own (the desktop shows
    // its default one).
    virtual void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  protected:
    ~MessageSink() = default;
};

// One message as a recorder keeps it.
struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
};

// Keeps every message in order; used by the console front end and the tests.
struct MessageRecorder final : MessageSink {
    std::vector<RecordedMessage> messages;
    void messageBox(std::string_view text, std::string_view caption, MessageIcon icon) override
    {
        messages.push_back({std::string(text), std::string(caption), icon});
    }
};

}  // namespace base
