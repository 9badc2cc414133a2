#include "core/random.hpp"

#include <random>

#include "core/points.hpp"

namespace lumo {

namespace {

constexpr std::size_t kShift = 156;  // how far ahead lies the word each one is mixed with
constexpr std::uint64_t kLowerBits = (std::uint64_t{1} << 31) - 1;
constexpr std::uint64_t kTwistMatrix = 0xB5026F5AA96619E9u;

// The upper 33 bits of one word joined to the lower 31 of the next, shifted and twisted.
// The matrix is masked in, not chosen by a branch, so that the loops vectorise.
std::uint64_t twisted(std::uint64_t word, std::uint64_t next_word, std::uint64_t ahead) {
    const std::uint64_t joined = (word & ~kLowerBits) | (next_word & kLowerBits);
    return ahead ^ (joined >> 1) ^ ((0 - (joined & 1)) & kTwistMatrix);
}

std::uint64_t tempered(std::uint64_t x) {
    x ^= (x >> 29) & 0x5555555555555555u;
    x ^= (x << 17) & 0x71D67FFFEDA60000u;
    x ^= (x << 37) & 0xFFF7EEE000000000u;
    return x ^ (x >> 43);
}

}  // namespace

RandomEngine::RandomEngine(std::uint64_t seed) {
    state_[0] = seed;
    for (std::size_t i = 1; i < kStateSize; ++i) {
        state_[i] = 6364136223846793005u * (state_[i - 1] ^ (state_[i - 1] >> 62)) + i;
    }
    draws_ = {};
    next_ = kStateSize;
}

void RandomEngine::twist() {
    // In three runs, so that no index wraps inside a loop.
    std::uint64_t* const s = state_.data();
    constexpr std::size_t kRest = kStateSize - kShift - 1;
    for_each_index(kStateSize - kShift, [s](std::size_t i) { s[i] = twisted(s[i], s[i + 1], s[i + kShift]); });
    for_each_index(kRest, [s](std::size_t j) {
        const std::size_t i = kStateSize - kShift + j;
        s[i] = twisted(s[i], s[i + 1], s[j]);
    });
    s[kStateSize - 1] = twisted(s[kStateSize - 1], s[0], s[kShift - 1]);
    for_each_index(kStateSize, [this](std::size_t i) { draws_[i] = tempered(state_[i]); });
    next_ = 0;
}

RandomEngine seeded_from_system() {
    std::random_device device;
    return RandomEngine((std::uint64_t{device()} << 32) | device());
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
