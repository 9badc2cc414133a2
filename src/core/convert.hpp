// Float-to-integer conversions that are defined for every input.
//
// A plain C++ cast of a NaN or out-of-range float is undefined behaviour, so every place
// in lumo where a float becomes an integer goes through one of these: truncate toward
// zero, saturate at the type's limits, NaN gives 0.
#pragma once

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace lumo {

// Truncates toward zero and saturates to the range of I; NaN gives 0.
template <std::integral I, std::floating_point F>
constexpr I saturating_cast(F value) {
    if (value != value) return 0;
    constexpr int value_bits = std::numeric_limits<I>::digits;  // excludes the sign bit
    // 2^value_bits is exact in every floating type, and it is one above I's maximum.
    constexpr F above_max = static_cast<F>(std::numeric_limits<I>::max() / 2 + 1) * F(2);
    static_assert(value_bits > 0);
    if (value >= above_max) return std::numeric_limits<I>::max();
    if constexpr (std::numeric_limits<I>::is_signed) {
        if (value <= -above_max) return std::numeric_limits<I>::min();
    } else {
        if (value <= F(-1)) return 0;
    }
    return static_cast<I>(value);
}

// The drawing grid's conversion: truncate, clamp to [-128, 127], NaN gives 0.
constexpr std::int8_t to_grid(float value) { return saturating_cast<std::int8_t>(value); }

// A float used as a list position: truncate; negative values and NaN give 0.
constexpr std::size_t to_index(float value) { return saturating_cast<std::size_t>(value); }

}  // namespace lumo
