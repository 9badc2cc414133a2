#include "wave/wav.hpp"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumo {

namespace {

std::uint32_t little_endian(std::span<const std::byte> bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint32_t>(bytes[at + i]);
    return value;
}

void put_little_endian(std::vector<std::byte>& out, std::size_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
}

bool has_tag(std::span<const std::byte> bytes, std::size_t at, std::string_view tag) {
    return bytes.size() >= at + tag.size() && std::memcmp(bytes.data() + at, tag.data(), tag.size()) == 0;
}

void put_tag(std::vector<std::byte>& out, std::string_view tag) {
    for (char c : tag) out.push_back(static_cast<std::byte>(c));
}

// The tail shared by the sub-format GUIDs of integer PCM and IEEE float, after the
// two-byte tag.
constexpr std::string_view kSubFormatTail{"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14};

bool is_pcm_or_float(std::uint32_t tag) { return tag == 1 || tag == 3; }

// Why a fmt chunk is not integer PCM or IEEE float, plain or extensible; nothing when it is.
std::optional<std::string_view> not_pcm_or_float(std::span<const std::byte> fmt) {
    if (fmt.size() < 16) return "malformed fmt chunk";
    const std::uint32_t tag = little_endian(fmt, 0, 2);
    if (is_pcm_or_float(tag)) return std::nullopt;
    constexpr std::string_view kUnsupported = "Unsupported WAV format: only integer PCM and IEEE float are read";
    if (tag != 0xFFFE) return kUnsupported;
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

// The file reduced to its fmt and data chunks.  libsndfile knows two dozen containers and
// codecs, and parses every chunk it recognises: a compressed stream can expand a
// thousandfold, and a LIST chunk that claims more than the file keeps it busy for
// minutes.  lumo's clips are plain WAV, and only that reaches it.
std::vector<std::byte> plain_wav(const WavChunks& chunks) {
    const std::size_t fmt_padded = chunks.fmt.size() + (chunks.fmt.size() & 1u);
    std::vector<std::byte> out;
    out.reserve(28 + fmt_padded + chunks.data.size());
    put_tag(out, "RIFF");
    put_little_endian(out, 20 + fmt_padded + chunks.data.size());
    put_tag(out, "WAVEfmt ");
    put_little_endian(out, chunks.fmt.size());
    out.insert(out.end(), chunks.fmt.begin(), chunks.fmt.end());
    out.resize(out.size() + fmt_padded - chunks.fmt.size());
    put_tag(out, "data");
    put_little_endian(out, chunks.data.size());
    out.insert(out.end(), chunks.data.begin(), chunks.data.end());
    return out;
}

// libsndfile reads the clip through these callbacks, from memory.
struct Cursor {
    std::span<const std::byte> bytes;
    sf_count_t position = 0;
};

sf_count_t length_of(const Cursor& cursor) { return static_cast<sf_count_t>(cursor.bytes.size()); }

sf_count_t get_filelen(void* user) { return length_of(*static_cast<Cursor*>(user)); }

sf_count_t seek(sf_count_t offset, int whence, void* user) {
    Cursor& cursor = *static_cast<Cursor*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = cursor.position;
    if (whence == SEEK_END) base = length_of(cursor);
    // Positions past the end are allowed (reads there return nothing); before the start not.
    if (offset < -base) return -1;
    cursor.position = base + offset;
    return cursor.position;
}

sf_count_t read(void* destination, sf_count_t count, void* user) {
    Cursor& cursor = *static_cast<Cursor*>(user);
    const sf_count_t available = std::max<sf_count_t>(0, length_of(cursor) - cursor.position);
    const sf_count_t taken = std::clamp<sf_count_t>(count, 0, available);
    if (taken > 0) {
        std::memcpy(destination, cursor.bytes.data() + cursor.position, static_cast<std::size_t>(taken));
        cursor.position += taken;
    }
    return taken;
}

sf_count_t write(const void*, sf_count_t, void*) { return 0; }

sf_count_t tell(void* user) { return static_cast<Cursor*>(user)->position; }

// Closes the file on every way out of read_wav_to_vec.
struct FileCloser {
    SNDFILE* file;
    ~FileCloser() { sf_close(file); }
};

// Bits per integer sample, or 0 for float samples, or -1 for anything else.
int integer_bits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 8;
        case SF_FORMAT_PCM_16: return 16;
        case SF_FORMAT_PCM_24: return 24;
        case SF_FORMAT_PCM_32: return 32;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE: return 0;
        default: return -1;
    }
}

constexpr sf_count_t kChunkSamples = 8192;  // even: a chunk never splits a frame

// Appends whole frames from `samples` (count items, left then right); false once the
// data is used up or a read failed, which ends decoding without an error.
template <class Sample, class Convert>
bool append_frames(PointList& points, const std::array<Sample, kChunkSamples>& samples, sf_count_t count,
                   Convert convert) {
    for (sf_count_t i = 0; i + 1 < count; i += 2) {
        points.push_back(Point{convert(samples[static_cast<std::size_t>(i)]),
                               convert(samples[static_cast<std::size_t>(i + 1)])});
    }
    return count == kChunkSamples;
}

}  // namespace

Result<PointList> read_wav_to_vec(std::span<const std::byte> bytes) {
    const Result<WavChunks> chunks = find_wav_chunks(bytes);
    if (!chunks) return chunks.error();
    const std::vector<std::byte> wav = plain_wav(chunks.value());
    SF_VIRTUAL_IO io{get_filelen, seek, read, write, tell};
    Cursor cursor{wav};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &cursor);
    if (file == nullptr) return Error(sf_strerror(nullptr));
    const FileCloser closer{file};

    if (info.channels != 2) return Error("Only stereo WAV files are supported");
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const int bits = integer_bits(info.format);
    if ((container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) || bits < 0) {
        return Error("Unsupported WAV sample format");
    }

    PointList points;
    // The header's frame count is only a hint: never reserve more than the bytes can hold.
    const auto most_frames = static_cast<sf_count_t>(chunks.value().data.size() / 2);
    points.reserve(static_cast<std::size_t>(std::clamp<sf_count_t>(info.frames, 0, most_frames)));
    if (bits == 0) {
        // Float data passes through unscaled and unclipped.
        sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
        std::array<float, kChunkSamples> samples;
        while (append_frames(points, samples, sf_read_float(file, samples.data(), kChunkSamples),
                             [](float sample) { return sample; })) {
        }
        return points;
    }
    // libsndfile hands integers over left-justified in 32 bits (8-bit data re-centred
    // first); shifting back recovers the sample exactly as stored.
    const int shift = 32 - bits;
    const float divisor = static_cast<float>(std::int64_t{1} << (bits - 1));
    std::array<int, kChunkSamples> samples;
    while (append_frames(points, samples, sf_read_int(file, samples.data(), kChunkSamples),
                         [=](int sample) { return static_cast<float>(sample >> shift) / divisor; })) {
    }
    return points;
}

}  // namespace lumo
