#pragma once
// The number of generated cases a property test runs. The release build runs
// every case; the sanitizer build, which is there to find memory faults and
// undefined behaviour rather than wrong answers (the release run finds
// those), runs a quarter of them, at least one, so that the test command
// stays short. The cases it runs are the first ones of the same sequence.

namespace test_support {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr int trials(int all) { return kSanitized ? (all / 4 > 0 ? all / 4 : 1) : all; }

}  // namespace test_support
