#include "views/drawing_conventions.h"

#include <cstdarg>

#include "base/formatted_text.h"

namespace views {

using base::wrapAdd;
using base::wrapSub;
using base::wrapMul;

void drawAreaFrame(platform::Dc& dc, const LayoutRect& area)
{
    const int32_t Wv = wrapAdd(wrapSub(area.right, area.left), 1);
    const int32_t Hv = wrapAdd(wrapSub(area.bottom, area.top), 1);
    dc.moveTo(area.left, area.top);
    dc.lineTo(area.left, wrapAdd(area.top, Hv));
    dc.lineTo(wrapAdd(area.left, Wv), wrapAdd(area.top, Hv));
    dc.lineTo(wrapAdd(area.left, Wv), area.top);
    dc.lineTo(area.left, area.top);
}

std::string formatText(const char* fmt, ...)
{
    std::string bytes;
    va_list args;
    va_start(args, fmt);
    base::appendFormatV(bytes, fmt, args);
    va_end(args);

    // Single-byte text up to its first zero byte, one character per byte.
    std::string text;
    for (const char c : bytes) {
        if (c == '\0')
            break;
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

ViewSize viewSize(const ViewFrame& frame)
{
    const LayoutRect& v = frame.viewArea;
    ViewSize size;
    size.Wv = wrapAdd(wrapSub(v.right, v.left), 1);
    size.Hv = wrapAdd(wrapSub(v.bottom, v.top), 1);
    size.Hu = wrapSub(size.Hv, wrapMul(17, frame.lineHeight));
    return size;
}

}  // namespace views
