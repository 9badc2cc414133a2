// WavStream: a WAV file read from disk a block at a time, so that an hour of sound costs no
// more memory than a second.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "wave/wav.hpp"
#include "wave/wav_detail.hpp"

namespace lumo {

namespace {

using namespace wav_detail;

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

}  // namespace lumo
