#include "wave/wav.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wave/wav_detail.hpp"

namespace lumo {

namespace wav_detail {

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
SampleFormat sample_format(std::span<const std::byte> fmt) {
    const std::uint32_t tag = little_endian(fmt, 0, 2);
    const std::uint32_t coding = tag == kExtensible ? little_endian(fmt, 24, 2) : tag;
    const std::uint32_t bits = little_endian(fmt, 14, 2);
    return {little_endian(fmt, 2, 2), coding == kIeeeFloat, (std::size_t{bits} + 7) / 8};
}

// `frames` whole frames from `first` on, interleaved as they are stored.
template <std::size_t Bytes, bool Float>
void interleave_frames(const std::byte* first, std::size_t frames, float* out) {
    for (std::size_t i = 0; i < 2 * frames; ++i) out[i] = sample_at<Bytes, Float>(first + i * Bytes);
}

bool interleave(const SampleFormat& format, const std::byte* first, std::size_t frames, float* out) {
    if (format.is_float) {
        if (format.bytes == 4) return interleave_frames<4, true>(first, frames, out), true;
        if (format.bytes == 8) return interleave_frames<8, true>(first, frames, out), true;
        return false;
    }
    switch (format.bytes) {
        case 1: return interleave_frames<1, false>(first, frames, out), true;
        case 2: return interleave_frames<2, false>(first, frames, out), true;
        case 3: return interleave_frames<3, false>(first, frames, out), true;
        case 4: return interleave_frames<4, false>(first, frames, out), true;
        default: return false;
    }
}

}  // namespace wav_detail

namespace {

using namespace wav_detail;

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
