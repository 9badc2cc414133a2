#include "core/monotonic.hpp"

#include <ctime>

namespace lumo {

MonotonicInstant monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return {static_cast<std::int64_t>(now.tv_sec), static_cast<std::uint32_t>(now.tv_nsec)};
}

}  // namespace lumo
