#pragma once
// The sequential method: joint detection and estimation when the number of
// pulses is unknown. The energy programme and the improvement loop run for
// every count the series admits, and the count with the best measure wins.

#include <cstdint>

#include "detection/stepwise_protocol.h"
#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// Counts m from max(wMinPulses, 1) to wMaxPulses of the series, pulses of
// wImpulseSize samples starting Tmin..Tmax apart. For each count:
// estimateByEnergies, then runImprovementLoop. The count of the best
// programme measure (the smallest such count on ties) decides: the series
// gets wFoundPulses = that count and its improved positions. Rows appended
// while the protocol has room (a missing protocol gets none): the true
// positions (code 1, iterations 0); programme (code 2, iterations 0) and
// improvement (code 3, iterations = passes) of the deciding count; and, when
// the best improved measure belongs to another count, programme and
// improvement of that count too. So 3 or 5 rows. With traceFlag the whole
// trace of the steps is shown in one message box captioned "Sequential
// method".
// Returns the improved measure of the largest count; -1 after "Нет памяти
// для measure!" or "Нет памяти для pulse_positions!" (no caption);
// kEstimateFailure (-999999), with nothing changed, after "Несовместимые
// входные параметры!\n\n..." (caption " sequentialMethod ") when the series
// admits no count or cannot hold its own counts.
int32_t sequentialMethod(base::MessageSink& sink, uint16_t Tmin, uint16_t Tmax, bool traceFlag,
                         StepwiseProtocol* protocol, synthesis::SeriesHeader& series);

}  // namespace detection
