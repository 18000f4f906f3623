#include "resources/button_bitmaps.h"

#include <array>
#include <cstddef>
#include <string>

#include "platform/bmp_decoder.h"

namespace resources {

namespace embedded {
// Written by embed_bitmaps.cmake from the .bmp files at build time.
extern const uint8_t buttonRestart[];
extern const size_t buttonRestartSize;
extern const uint8_t buttonExit[];
extern const size_t buttonExitSize;
extern const uint8_t buttonNext[];
extern const size_t buttonNextSize;
extern const uint8_t buttonSelectAll[];
extern const size_t buttonSelectAllSize;
extern const uint8_t buttonUnselectAll[];
extern const size_t buttonUnselectAllSize;
}  // namespace embedded

std::span<const ButtonBitmapResource> buttonBitmapResources()
{
    using namespace embedded;
    static const std::array<ButtonBitmapResource, 5> table{{
        {BitmapRestart, "ButtonStart", "Restart", {buttonRestart, buttonRestartSize}},
        {BitmapExit, "ButtonExit", "Exit", {buttonExit, buttonExitSize}},
        {BitmapNext, "IDB_BITMAP1", "Next", {buttonNext, buttonNextSize}},
        {BitmapSelectAll, "IDB_BITMAP5", "Select All", {buttonSelectAll, buttonSelectAllSize}},
        {BitmapUnselectAll, "IDB_BITMAP4", "Unselect All", {buttonUnselectAll, buttonUnselectAllSize}},
    }};
    return table;
}

platform::Bitmap* buttonBitmap(ButtonBitmaps& bitmaps, int32_t id)
{
    switch (id) {
    case BitmapRestart:
        return &bitmaps.restart;
    case BitmapExit:
        return &bitmaps.exit;
    case BitmapNext:
        return &bitmaps.next;
    case BitmapSelectAll:
        return &bitmaps.selectAll;
    case BitmapUnselectAll:
        return &bitmaps.unselectAll;
    default:
        return nullptr;
    }
}

bool loadButtonBitmaps(ButtonBitmaps& into, base::MessageSink& sink, std::span<const ButtonBitmapResource> from)
{
    for (const ButtonBitmapResource& resource : from) {
        auto decoded = platform::decodeBmp(resource.bytes);
        platform::Bitmap* slot = buttonBitmap(into, resource.id);
        if (!decoded || !slot) {
            sink.messageBox(std::string("No Bitmap <") + resource.name + ">", "Fatal Error", base::MessageIcon::None);
            return false;
        }
        *slot = std::move(decoded->bitmap);
    }
    return true;
}

}  // namespace resources
