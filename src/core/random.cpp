#include "core/random.hpp"

namespace lumo {

namespace {

RandomEngine seeded_from_os() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return RandomEngine(seed);
}

}  // namespace

RandomEngine& random_engine() {
    thread_local RandomEngine engine = seeded_from_os();
    return engine;
}

void seed_random(std::uint64_t seed) { random_engine().seed(seed); }

std::int64_t random_int(std::int64_t low, std::int64_t high) {
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    RandomEngine& engine = random_engine();
    if (span == 0) return static_cast<std::int64_t>(engine());  // the whole 64-bit range
    // Rejection sampling: draws below `limit` are a whole number of copies of the span.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t draw = engine();
    while (draw >= limit) draw = engine();
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % span);
}

}  // namespace lumo
