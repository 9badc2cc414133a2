// The monotonic clock, read in one place: the show's time and the audio layer's measure
// of how long a device has been silent both count from it.
#pragma once

#include <cstdint>

namespace lumo {

// A point on the monotonic clock.
struct MonotonicInstant {
    std::int64_t seconds;
    std::uint32_t nanoseconds;
};

// One clock_gettime call: no allocation, no lock, so the audio worker may call it.
MonotonicInstant monotonic_now();

inline std::int64_t to_nanoseconds(MonotonicInstant instant) {
    return instant.seconds * 1'000'000'000 + instant.nanoseconds;
}

}  // namespace lumo
