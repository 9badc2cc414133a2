// Inside the WAV readers (wav.cpp: the embedded clips from memory; wav_stream.cpp: a file
// read from disk in blocks): the bytes of the fmt chunk and of one stored sample.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace lumo::wav_detail {

inline std::uint64_t little_endian(const std::byte* bytes, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
    return value;
}

inline std::uint32_t little_endian(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
    return static_cast<std::uint32_t>(little_endian(bytes.data() + at, width));
}

inline bool has_tag(std::span<const std::byte> bytes, std::size_t at, std::string_view tag) {
    return bytes.size() >= at + tag.size() && std::memcmp(bytes.data() + at, tag.data(), tag.size()) == 0;
}

// The tail shared by the sub-format GUIDs of integer PCM and IEEE float, after the
// two-byte tag.
inline constexpr std::string_view kSubFormatTail{"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14};

inline constexpr std::uint32_t kPcm = 1;
inline constexpr std::uint32_t kIeeeFloat = 3;
inline constexpr std::uint32_t kExtensible = 0xFFFE;

inline bool is_pcm_or_float(std::uint32_t tag) { return tag == kPcm || tag == kIeeeFloat; }

// Why a fmt chunk is not integer PCM or IEEE float, plain or extensible; nothing when it is.
std::optional<std::string_view> not_pcm_or_float(std::span<const std::byte> fmt);

// The samples as the fmt chunk stores them.  A sample takes whole bytes: bits that do not
// fill the last byte (12 of 16, say) are padding below the sample, so the sample is
// scaled by the width of its bytes.
struct SampleFormat {
    std::uint32_t channels;
    bool is_float;
    std::size_t bytes;
};

SampleFormat sample_format(std::span<const std::byte> fmt);

// WAV is little-endian, as is every machine lumo is built for, so a stored sample is
// copied as it is.
static_assert(std::endian::native == std::endian::little);

template <class T> T stored(const std::byte* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// One stored sample `Bytes` wide as a float: an integer divided by 2^(8 Bytes - 1) (WAV
// keeps 8-bit samples unsigned, centred on 128), a float as it is, a double narrowed to
// the nearest float.
template <std::size_t Bytes, bool Float> float sample_at(const std::byte* at) {
    if constexpr (Float && Bytes == 4) {
        return stored<float>(at);
    } else if constexpr (Float) {
        return static_cast<float>(stored<double>(at));
    } else {
        constexpr float kDivisor = static_cast<float>(std::int64_t{1} << (8 * Bytes - 1));
        std::int32_t value;
        if constexpr (Bytes == 1) {
            value = std::to_integer<std::int32_t>(at[0]) - 128;
        } else if constexpr (Bytes == 2) {
            value = stored<std::int16_t>(at);
        } else if constexpr (Bytes == 3) {
            // Placed in the top three bytes and shifted back, so that the sign bit spreads.
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(little_endian(at, 3)) << 8) >> 8;
        } else {
            value = stored<std::int32_t>(at);
        }
        return static_cast<float>(value) / kDivisor;
    }
}
// `frames` whole frames from `first` on, as floats interleaved as they are stored; false
// for a sample width no reader knows.
bool interleave(const SampleFormat& format, const std::byte* first, std::size_t frames, float* out);

}  // namespace lumo::wav_detail
