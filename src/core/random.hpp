// Random numbers: one engine type, lumo's own uniform sampling, and the engines lumo
// starts from.
//
// Whatever draws random numbers (the blocks' speeds, the order of outline edges) takes
// its engine as an argument, so a seeded engine reproduces a run exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumo {

// The 64-bit Mersenne Twister: the same numbers as std::mt19937_64 seeded with the same
// value (the standard fixes every one of them), written out so that a draw is inlined
// where it is made.  An outline shuffle draws millions.
class RandomEngine {
public:
    using result_type = std::uint64_t;

    explicit RandomEngine(std::uint64_t seed);

    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return UINT64_MAX; }

    result_type operator()() {
        if (next_ == kStateSize) twist();
        return draws_[next_++];
    }

    friend bool operator==(const RandomEngine&, const RandomEngine&) = default;

private:
    static constexpr std::size_t kStateSize = 312;

    // Makes the next 312 words of state and tempers them into the next 312 draws: both
    // are loops over whole blocks of words, which the compiler turns into vector
    // operations.
    void twist();

    std::array<std::uint64_t, kStateSize> state_;
    std::array<std::uint64_t, kStateSize> draws_;
    std::size_t next_;  // the draw to hand out next
};

// A fresh engine seeded from the operating system's entropy.
RandomEngine seeded_from_system();

// This thread's engine, seeded from the operating system the first time the thread
// asks for it.  lumo plays with it, so every show is different.
RandomEngine& thread_random_engine();

namespace detail {

// The draws from `first` on until one lies below the last whole copy of `span` in the
// 64-bit range.
std::uint64_t redraw_above_limit(RandomEngine& engine, std::uint64_t first, std::uint64_t span);

}  // namespace detail

// A uniformly distributed integer in [low, high].  The sampling is lumo's own (not a
// standard-library distribution), so a seed gives the same values with every compiler
// and library.  Inline: an outline shuffle draws millions of them.
inline std::int64_t random_int(RandomEngine& engine, std::int64_t low, std::int64_t high) {
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
    if (span == 0) return static_cast<std::int64_t>(engine());  // the whole 64-bit range
    std::uint64_t draw = engine();
    // Rejection sampling keeps draws below the last whole copy of the span.  That limit
    // lies above UINT64_MAX - span, so a lower draw needs no 64-bit division to accept.
    if (draw > UINT64_MAX - span) draw = detail::redraw_above_limit(engine, draw, span);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % span);
}

}  // namespace lumo
