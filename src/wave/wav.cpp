#include "wave/wav.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace lumo {

namespace {

std::uint64_t little_endian(const std::byte* bytes, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes[i]);
    return value;
}

std::uint32_t little_endian(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
    return static_cast<std::uint32_t>(little_endian(bytes.data() + at, width));
}

bool has_tag(std::span<const std::byte> bytes, std::size_t at, std::string_view tag) {
    return bytes.size() >= at + tag.size() && std::memcmp(bytes.data() + at, tag.data(), tag.size()) == 0;
}

// The tail shared by the sub-format GUIDs of integer PCM and IEEE float, after the
// two-byte tag.
constexpr std::string_view kSubFormatTail{"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14};

constexpr std::uint32_t kPcm = 1;
constexpr std::uint32_t kIeeeFloat = 3;
constexpr std::uint32_t kExtensible = 0xFFFE;

bool is_pcm_or_float(std::uint32_t tag) { return tag == kPcm || tag == kIeeeFloat; }

// Why a fmt chunk is not integer PCM or IEEE float, plain or extensible; nothing when it is.
std::optional<std::string_view> not_pcm_or_float(std::span<const std::byte> fmt) {
    if (fmt.size() < 16) return "malformed fmt chunk";
    const std::uint32_t tag = little_endian(fmt, 0, 2);
    if (is_pcm_or_float(tag)) return std::nullopt;
    constexpr std::string_view kUnsupported = "Unsupported WAV format: only integer PCM and IEEE float are read";
    if (tag != kExtensible) return kUnsupported;
    if (fmt.size() < 40) return "malformed fmt chunk";
    const bool known = is_pcm_or_float(little_endian(fmt, 24, 2)) &&
                       std::memcmp(fmt.data() + 26, kSubFormatTail.data(), kSubFormatTail.size()) == 0;
    if (!known) return kUnsupported;
    return std::nullopt;
}

// The two chunks a WAV file is read for.  The samples may be cut short: the file then
// ends with its last whole frame.
struct WavChunks {
    std::span<const std::byte> fmt;
    std::span<const std::byte> data;
};

// Finds the first fmt and data chunks of a RIFF/WAVE file with integer PCM or IEEE float
// samples, or says why the bytes are not one.
Result<WavChunks> find_wav_chunks(std::span<const std::byte> bytes) {
    if (!has_tag(bytes, 0, "RIFF")) return Error("no RIFF tag found");
    if (!has_tag(bytes, 8, "WAVE")) return Error("no WAVE tag found");
    std::optional<std::span<const std::byte>> fmt, data;
    std::size_t at = 12;
    while (!(fmt && data) && bytes.size() - at >= 8) {
        const std::size_t size = little_endian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        const std::size_t rest = bytes.size() - body;
        if (has_tag(bytes, at, "data") && !data) {
            data = bytes.subspan(body, std::min(size, rest));
        } else if (size > rest) {
            return Error("malformed WAV file: a chunk runs past the end of the file");
        } else if (has_tag(bytes, at, "fmt ") && !fmt) {
            fmt = bytes.subspan(body, size);
            if (const auto reason = not_pcm_or_float(*fmt)) return Error(std::string(*reason));
        }
        // Chunks are padded to an even length.
        const std::uint64_t next = std::uint64_t{body} + size + (size & 1u);
        if (next > bytes.size()) break;
        at = static_cast<std::size_t>(next);
    }
    if (!fmt) return Error("missing fmt chunk");
    if (!data) return Error("missing data chunk");
    return WavChunks{*fmt, *data};
}

// The samples as the fmt chunk stores them.  A sample takes whole bytes: bits that do not
// fill the last byte (12 of 16, say) are padding below the sample, so the sample is
// scaled by the width of its bytes.
struct SampleFormat {
    std::uint32_t channels;
    bool is_float;
    std::size_t bytes;
};

SampleFormat sample_format(std::span<const std::byte> fmt) {
    const std::uint32_t tag = little_endian(fmt, 0, 2);
    const std::uint32_t coding = tag == kExtensible ? little_endian(fmt, 24, 2) : tag;
    const std::uint32_t bits = little_endian(fmt, 14, 2);
    return {little_endian(fmt, 2, 2), coding == kIeeeFloat, (std::size_t{bits} + 7) / 8};
}

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

// The samples of `frames` whole frames from `first` on, left then right.  The three
// lists are apart (__restrict), so the compiler makes vector operations of the loop;
// inlined, it would lose sight of that.
template <std::size_t Bytes, bool Float>
[[gnu::noinline]] void split_frames(const std::byte* __restrict first, std::size_t frames, float* __restrict xs,
                                    float* __restrict ys) {
    for_each_index(frames, [=](std::size_t i) {
        xs[i] = sample_at<Bytes, Float>(first + i * 2 * Bytes);
        ys[i] = sample_at<Bytes, Float>(first + i * 2 * Bytes + Bytes);
    });
}

// The whole frames of `data`.
template <std::size_t Bytes, bool Float> ChannelPair stereo(std::span<const std::byte> data) {
    const std::size_t frames = data.size() / (2 * Bytes);
    ChannelPair pair;
    pair.x.resize(frames);
    pair.y.resize(frames);
    split_frames<Bytes, Float>(data.data(), frames, pair.x.data(), pair.y.data());
    return pair;
}

}  // namespace

Result<ChannelPair> read_wav_channels(std::span<const std::byte> bytes) {
    const Result<WavChunks> chunks = find_wav_chunks(bytes);
    if (!chunks) return chunks.error();
    const SampleFormat format = sample_format(chunks.value().fmt);
    if (format.channels != 2) return Error("Only stereo WAV files are supported");
    const std::span<const std::byte> data = chunks.value().data;
    if (format.is_float) {
        if (format.bytes == 4) return stereo<4, true>(data);
        if (format.bytes == 8) return stereo<8, true>(data);
    } else {
        switch (format.bytes) {
            case 1: return stereo<1, false>(data);
            case 2: return stereo<2, false>(data);
            case 3: return stereo<3, false>(data);
            case 4: return stereo<4, false>(data);
            default: break;
        }
    }
    return Error("Unsupported WAV sample format");
}

Result<PointList> read_wav_to_vec(std::span<const std::byte> bytes) {
    const Result<ChannelPair> channels = read_wav_channels(bytes);
    if (!channels) return channels.error();
    const ChannelPair& pair = channels.value();
    PointList points;
    points.reserve(pair.size());
    for (std::size_t i = 0; i < pair.size(); ++i) points.push_back(pair[i]);
    return points;
}

}  // namespace lumo
