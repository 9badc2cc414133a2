#include "wave/wav.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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

// Reads `out.size()` bytes at `offset`: false at the end of the file or on an error.
bool read_exactly(int descriptor, std::uint64_t offset, std::span<std::byte> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(descriptor, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// What the chunk walk of a file on disk finds.
struct FileChunks {
    std::vector<std::byte> fmt;
    bool have_fmt = false;
    std::uint64_t data_offset = 0;
    std::uint64_t data_size = 0;
    bool have_data = false;
};

// A fmt chunk longer than this is not one a WAV writer makes.
constexpr std::uint32_t kLongestFmt = 1024;

// The chunks of a RIFF/WAVE file `size` bytes long, or the problem, worded to follow the
// file's name.
Result<FileChunks> walk_file_chunks(int descriptor, std::uint64_t size) {
    std::byte head[12];
    if (!read_exactly(descriptor, 0, head)) return Error("is not a RIFF/WAVE file (too short)");
    const std::span<const std::byte> tags(head);
    if (!has_tag(tags, 0, "RIFF") || !has_tag(tags, 8, "WAVE")) return Error("is not a RIFF/WAVE file");
    FileChunks chunks;
    std::uint64_t at = 12;
    while (!(chunks.have_fmt && chunks.have_data) && size - at >= 8) {
        std::byte header[8];
        if (!read_exactly(descriptor, at, header)) return Error("cannot be read");
        const std::uint32_t length = little_endian(std::span<const std::byte>(header), 4, 4);
        const std::uint64_t body = at + 8;
        if (length > size - body) {
            if (has_tag(header, 0, "data")) {
                return Error("is truncated: its header promises " + std::to_string(length) +
                             " bytes of samples, the file holds " + std::to_string(size - body));
            }
            return Error("is truncated: a chunk runs past the end of the file");
        }
        if (has_tag(header, 0, "fmt ") && !chunks.have_fmt) {
            if (length > kLongestFmt) return Error("has a malformed fmt chunk");
            chunks.fmt.resize(length);
            if (!read_exactly(descriptor, body, chunks.fmt)) return Error("cannot be read");
            chunks.have_fmt = true;
        } else if (has_tag(header, 0, "data") && !chunks.have_data) {
            chunks.data_offset = body;
            chunks.data_size = length;
            chunks.have_data = true;
        }
        at = body + length + (length & 1u);  // chunks are padded to an even length
        if (at > size) break;
    }
    if (!chunks.have_fmt) return Error("has no fmt chunk");
    if (!chunks.have_data) return Error("has no data chunk");
    return chunks;
}

// Why a file's fmt and data chunks are not a stereo stream lumo reads, worded to follow
// the file's name; nothing when they are.
std::optional<std::string> refusal(const FileChunks& chunks) {
    const std::span<const std::byte> fmt(chunks.fmt);
    if (const auto reason = not_pcm_or_float(fmt)) {
        if (*reason == "malformed fmt chunk") return "has a malformed fmt chunk";
        const std::uint32_t tag = little_endian(fmt, 0, 2);
        const std::uint32_t coding = tag == kExtensible ? little_endian(fmt, 24, 2) : tag;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(coding));
        return std::string("is not integer PCM or IEEE float (format ") + hex + ")";
    }
    const SampleFormat format = sample_format(fmt);
    if (format.channels == 1) return "is mono: lumo-render shows stereo files (left X, right Y)";
    if (format.channels != 2) {
        return "has " + std::to_string(format.channels) + " channels: lumo-render shows stereo files (left X, right Y)";
    }
    const std::uint32_t bits = little_endian(fmt, 14, 2);
    const bool width_known = format.is_float ? (bits == 32 || bits == 64) : (bits >= 1 && bits <= 32);
    if (!width_known) {
        return "has " + std::to_string(bits) + "-bit " + (format.is_float ? "float" : "integer") +
               " samples: lumo-render reads integers of 8 to 32 bits and floats of 32 or 64";
    }
    const std::uint32_t rate = little_endian(fmt, 4, 4);
    if (rate < kWavStreamLowestRate || rate > kWavStreamHighestRate) {
        return "is at " + std::to_string(rate) + " Hz: lumo-render reads 22050 to 384000 Hz";
    }
    const std::uint32_t block = little_endian(fmt, 12, 2);
    if (block != 2 * format.bytes) {
        return "has a header that contradicts itself: " + std::to_string(block) + " bytes a frame for two " +
               std::to_string(bits) + "-bit samples";
    }
    if (little_endian(fmt, 8, 4) != std::uint64_t{rate} * block) {
        return "has a header that contradicts itself: its byte rate is not " + std::to_string(rate) + " frames of " +
               std::to_string(block) + " bytes";
    }
    if (chunks.data_size % block != 0) {
        return "has a header that contradicts itself: its " + std::to_string(chunks.data_size) +
               " bytes of samples are not whole frames of " + std::to_string(block) + " bytes";
    }
    if (chunks.data_size == 0) return "holds no sound (its data chunk is empty)";
    return std::nullopt;
}

}  // namespace

Result<WavStream> WavStream::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return Error("cannot open " + path + ": " + std::strerror(errno));
    return from_descriptor(descriptor, path);
}

Result<WavStream> WavStream::from_descriptor(int descriptor, const std::string& name) {
    WavStream stream;
    stream.descriptor_ = descriptor;
    stream.name_ = name;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return Error(name + " is not a file lumo-render can read");
    }
    const Result<FileChunks> chunks = walk_file_chunks(descriptor, static_cast<std::uint64_t>(status.st_size));
    if (!chunks) return Error(name + " " + chunks.error().message());
    if (const auto reason = refusal(chunks.value())) return Error(name + " " + *reason);
    const SampleFormat format = sample_format(chunks.value().fmt);
    stream.rate_ = static_cast<int>(little_endian(chunks.value().fmt, 4, 4));
    stream.sample_bytes_ = format.bytes;
    stream.is_float_ = format.is_float;
    stream.data_offset_ = chunks.value().data_offset;
    stream.frames_ = static_cast<std::int64_t>(chunks.value().data_size / (2 * format.bytes));
    return stream;
}

WavStream::WavStream(WavStream&& other) noexcept { *this = std::move(other); }

WavStream& WavStream::operator=(WavStream&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        name_ = std::move(other.name_);
        rate_ = other.rate_;
        frames_ = other.frames_;
        data_offset_ = other.data_offset_;
        sample_bytes_ = other.sample_bytes_;
        is_float_ = other.is_float_;
        block_ = std::move(other.block_);
    }
    return *this;
}

WavStream::~WavStream() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

Status WavStream::read(std::int64_t first, std::span<float> interleaved) {
    std::fill(interleaved.begin(), interleaved.end(), 0.0f);
    const auto count = static_cast<std::int64_t>(interleaved.size() / 2);
    // Clamped first: a window far outside the file must not overflow.
    const std::int64_t lo = std::clamp<std::int64_t>(first, 0, frames_);
    const std::int64_t hi = first >= frames_ ? frames_ : std::clamp<std::int64_t>(first + count, 0, frames_);
    if (hi <= lo) return {};
    const std::size_t frames = static_cast<std::size_t>(hi - lo);
    const std::size_t frame_bytes = 2 * sample_bytes_;
    block_.resize(frames * frame_bytes);
    errno = 0;
    if (!read_exactly(descriptor_, data_offset_ + static_cast<std::uint64_t>(lo) * frame_bytes, block_)) {
        return Error("cannot read " + name_ + ": " + (errno != 0 ? std::strerror(errno) : "it ended early"));
    }
    const SampleFormat format{2, is_float_, sample_bytes_};
    interleave(format, block_.data(), frames, interleaved.data() + static_cast<std::size_t>(lo - first) * 2);
    return {};
}

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
