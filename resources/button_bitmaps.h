#pragma once
// The five button bitmaps (144 × 32 pixels, 16 colours, a grey face with the
// button's word centred), embedded in the program from the .bmp files beside
// this header, and their loading at window creation.

#include <cstdint>
#include <span>

#include "platform/bitmap.h"
#include "resources/command_ids.h"
#include "base/message_sink.h"

namespace resources {

// Every button bitmap's size in pixels.
inline constexpr int32_t kButtonWidth = 144;
inline constexpr int32_t kButtonHeight = 32;

// One embedded button bitmap: its id, names and file bytes.
struct ButtonBitmapResource {
    int32_t id = 0;
    const char* name = "";           // the name a failure message gives, "ButtonStart"
    const char* word = "";           // the word on the face, "Restart"
    std::span<const uint8_t> bytes;  // the BMP file
};

// The five in loading order: 103, 102, 101, 108, 107.
std::span<const ButtonBitmapResource> buttonBitmapResources();

// The decoded button bitmaps, one member each (ids beside them).
struct ButtonBitmaps {
    platform::Bitmap restart;      // 103
    platform::Bitmap exit;         // 102
    platform::Bitmap next;         // 101
    platform::Bitmap selectAll;    // 108
    platform::Bitmap unselectAll;  // 107
};

// The member that holds bitmap id, or nullptr for another id.
platform::Bitmap* buttonBitmap(ButtonBitmaps& bitmaps, int32_t id);

// Decodes the bitmaps in order into their members and stops at the first one
// that cannot be decoded, with the message "No Bitmap <name>" and caption
// "Fatal Error"; the ones decoded before it stay loaded. Returns false then.
bool loadButtonBitmaps(ButtonBitmaps& into, base::MessageSink& sink,
                       std::span<const ButtonBitmapResource> from = buttonBitmapResources());

}  // namespace resources
