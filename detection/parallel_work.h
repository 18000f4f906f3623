#pragma once
// Independent tasks of one computation on several threads: the tasks are
// numbered, each writes only what belongs to its number, so the result is
// the same for any number of threads. The calling thread tells the progress
// of all of them and stops them when its callback says so.

#include <cstddef>
#include <functional>

#include "detection/progress.h"

namespace detection {

// The processors the calling thread may run on (at least 1).
unsigned usableProcessors();

// Runs task(i, meter) for every i in 0..count-1 on `threads` threads (0:
// usableProcessors(); never more than the tasks). Each task counts its work
// on the meter it is handed; the units of all tasks reach `outer`, whose
// callback hears them from the calling thread. When `outer` says stop, the
// tasks' meters say stop at their next look and no new task starts; the
// function returns false once every thread has ended. An exception thrown
// by a task (std::bad_alloc) stops the others and reaches the caller.
bool runTasks(size_t count, unsigned threads, WorkMeter& outer,
              const std::function<void(size_t task, WorkMeter& meter)>& task);

}  // namespace detection
