#pragma once
// The recurring pieces of the result pictures: the dotted frames that mark the
// found pulses of a series, a labelled strip with one pulse curve, a lettered
// cell with one etalon curve; and the work pulse a view fills with a computed
// shape.
//
// A rectangle here is four device coordinates from which a primitive takes
// W = right - left and H = bottom - top (no pixel is added). A strip maps
// sample i of n with value v to x0 + (i*W)/(n - 1) and y0 + H - ((A + v)*H)/(2A),
// so -A lies on the bottom edge (y0 + H) and +A on the top edge (y0); values
// beyond the amplitude fall outside the strip and are not clipped. The strips
// of DrawPulseStrip and DrawEtalonCell begin below their label, so their curve
// and axes reach below the rectangle by about the label's height.
//
// Curves need at least two samples and a positive amplitude, and the pulse
// marks a series of at least two samples: given less, a primitive draws its
// label and axes but no curve, or no marks.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/dc.h"
#include "platform/geometry.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace views {

// A work pulse record, held whole by its one owner.
using PulseHeaderPtr = std::unique_ptr<synthesis::PulseHeader>;

// Frames every found pulse of the series (the first wFoundPulses entries of
// lpFoundPositions, whatever the caller last stored there) with dotted black
// pixels: two columns at the pulse's first and last sample, from H/8 to 7H/8
// above the bottom, and two rows H/8 inside the top and bottom between them.
// Drawn over what the rectangle shows. Returns 1.
int DrawPulseMarks(platform::Dc& dc, const synthesis::SeriesHeader& series, const platform::Rect& rect);

// Writes " pulse:" at (left + 10, top + 1), draws the axes and the curve of the
// pulse one and a half lines lower in the current pen, and to the right of the
// strip (at left + 10 + W + 10) lists its first seven samples as "%d. %d",
// lineHeight - 2 apart. Returns 1.
int DrawPulseStrip(platform::Dc& dc, const platform::Rect& rect, int32_t amplitude, const synthesis::PulseHeader& pulse,
                   int32_t lineHeight);

// Writes the etalon's letter " %c " (code 96 + wNumber) at (left, top + 1) and
// draws its axes and curve one and a quarter lines lower: in the current pen,
// or, when selected is not 0, white and three passes thick on a grey box from
// (x0 - 3, y0 - 3) to (x0 + W + 8, y0 + H + 3). Returns 1.
int DrawEtalonCell(platform::Dc& dc, const synthesis::PulseHeader& etalon, int32_t amplitude, int selected,
                   const platform::Rect& rect, int32_t lineHeight);

// A new work pulse of `length` samples and the given number: the samples are
// copied from `samples` (zero beyond its end) or zero when none are given.
// When memory is short the message "Нет памяти для newPulseHeader!" or
// "Нет памяти для newPulseHeader->lpData!" goes to the sink (no caption) and
// nothing is returned or left allocated.
PulseHeaderPtr createPulseHeader(base::MessageSink& sink, uint16_t length, int16_t number,
                                 std::span<const int16_t> samples = {});

// Releases the pulse (an empty pointer is fine) and returns the empty pointer
// the caller stores back.
PulseHeaderPtr freePulseHeader(PulseHeaderPtr pulse);

}  // namespace views
