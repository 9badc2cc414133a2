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

std::uint64_t detail::redraw_above_limit(RandomEngine& engine, std::uint64_t first, std::uint64_t span) {
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t draw = first;
    while (draw >= limit) draw = engine();
    return draw;
}

}  // namespace lumo
