// The ten sample types a stream may ask for, and the one step of the show that depends
// on them: turning a limited mix value into a sample.
#pragma once

#include <cstdint>
#include <type_traits>

#include "audio/audio.hpp"
#include "core/convert.hpp"
#include "core/fatal.hpp"

namespace lumo {

// The limited mix value v (in [-1, 1] or NaN) as a sample of T: truncated and saturated
// at full scale for the integer types, the signed value with its top bit flipped for the
// unsigned ones.
template <class T> constexpr T convert_sample(float v) {
    if constexpr (std::is_same_v<T, float>) {
        return v;
    } else if constexpr (std::is_same_v<T, double>) {
        return static_cast<double>(v);
    } else if constexpr (std::is_same_v<T, std::int8_t>) {
        return saturating_cast<std::int8_t>(v * 128.0f);
    } else if constexpr (std::is_same_v<T, std::int16_t>) {
        return saturating_cast<std::int16_t>(v * 32768.0f);
    } else if constexpr (std::is_same_v<T, std::int32_t>) {
        return saturating_cast<std::int32_t>(v * 2147483648.0f);
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        // 2^63 itself is past the range and saturates to the maximum.
        return saturating_cast<std::int64_t>(v * 9223372036854775808.0f);
    } else {
        // Unsigned samples are the signed ones moved up by half the range: flip the top bit.
        using Signed = std::make_signed_t<T>;
        constexpr T top_bit = static_cast<T>(T{1} << (sizeof(T) * 8 - 1));
        return static_cast<T>(static_cast<T>(convert_sample<Signed>(v)) ^ top_bit);
    }
}

// Calls `visit(std::type_identity<T>{})` for the sample type T that `format` names: the
// inverse of audio::sample_format_of.  Everything typed in the show is instantiated
// through this one switch.
template <class Visitor> decltype(auto) visit_sample_type(audio::SampleFormat format, Visitor&& visit) {
    using audio::SampleFormat;
    switch (format) {
        case SampleFormat::I8: return visit(std::type_identity<std::int8_t>{});
        case SampleFormat::I16: return visit(std::type_identity<std::int16_t>{});
        case SampleFormat::I32: return visit(std::type_identity<std::int32_t>{});
        case SampleFormat::I64: return visit(std::type_identity<std::int64_t>{});
        case SampleFormat::U8: return visit(std::type_identity<std::uint8_t>{});
        case SampleFormat::U16: return visit(std::type_identity<std::uint16_t>{});
        case SampleFormat::U32: return visit(std::type_identity<std::uint32_t>{});
        case SampleFormat::U64: return visit(std::type_identity<std::uint64_t>{});
        case SampleFormat::F32: return visit(std::type_identity<float>{});
        case SampleFormat::F64: return visit(std::type_identity<double>{});
    }
    fatal("invalid sample format");
}

}  // namespace lumo
