#include "core/random.hpp"

namespace lumo {

RandomEngine seeded_from_system() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return RandomEngine(seed);
}

RandomEngine& thread_random_engine() {
    thread_local RandomEngine engine = seeded_from_system();
    return engine;
}

std::int64_t random_int(RandomEngine& engine, std::int64_t low, std::int64_t high) {
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    if (span == 0) return static_cast<std::int64_t>(engine());  // the whole 64-bit range
    // Rejection sampling: draws below `limit` are a whole number of copies of the span.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t draw = engine();
    while (draw >= limit) draw = engine();
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % span);
}

}  // namespace lumo
