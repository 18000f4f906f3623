#pragma once
// The number of generated cases a property test runs. The release build runs
// every case; the sanitizer build, which is there to find memory faults and
// undefined behaviour rather than wrong answers (the release run finds
// those), runs a quarter of them, at least one, so that the test command
// stays short. The cases it runs are the first ones of the same sequence.

// QUILLMORE_SANITIZED is 1 in a build under AddressSanitizer or
// ThreadSanitizer (GCC and clang name them differently), else 0.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLMORE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLMORE_SANITIZED 1
#endif
#endif
#ifndef QUILLMORE_SANITIZED
#define QUILLMORE_SANITIZED 0
#endif

namespace test_support {

constexpr bool kSanitized = QUILLMORE_SANITIZED != 0;

constexpr int trials(int all) { return kSanitized ? (all / 4 > 0 ? all / 4 : 1) : all; }

}  // namespace test_support
