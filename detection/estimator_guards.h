#pragma once
// What every fixed-case estimator checks before it works, and how it says no.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "synthesis/pulse_records.h"

namespace detection {

// Why m pulses cannot be estimated on this series: m is 0, the record holds
// fewer samples than dwSeriesSize, or one of `arrays` has room for fewer than
// m positions. "" when none of these holds.
std::string countProblem(const synthesis::SeriesHeader& series, uint16_t m,
                         std::initializer_list<const std::vector<int16_t>*> arrays);

// True when `problem` is empty; otherwise shows "Несовместимые входные
// параметры!\n\n" + problem under `caption` and returns false.
bool acceptArguments(base::MessageSink& sink, const char* caption, const std::string& problem);

// "Нет памяти для <name>!", no caption.
void noMemoryFor(base::MessageSink& sink, const char* name);

}  // namespace detection
