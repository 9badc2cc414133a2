// Decoding a stereo WAV file held in memory into a figure, and reading one from disk a
// block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/points.hpp"

namespace lumo {

// One point per frame, left sample as x and right as y, integer samples scaled by
// 2^(bits - 1) (8, 16, 24 or 32 bits; 8-bit samples are unsigned around 128), 32-bit
// floats unchanged, 64-bit ones narrowed to float.  Stops at the first incomplete frame.
// Reads RIFF/WAVE with integer PCM or IEEE float samples (plain or extensible format
// tag), from its first fmt and data chunks, and nothing else: another container or codec
// ("no RIFF tag found", "no WAVE tag found", ...), a header that does not parse, another
// sample width, or a file that is not stereo is an error value.  Never holds more points
// than the bytes could encode (two bytes a frame).
Result<PointList> read_wav_to_vec(std::span<const std::byte> bytes);

// The same decoding, straight into the two channels a voice plays.
Result<ChannelPair> read_wav_channels(std::span<const std::byte> bytes);

// The sample rates a WavStream accepts.
inline constexpr int kWavStreamLowestRate = 22050;
inline constexpr int kWavStreamHighestRate = 384000;

// A stereo WAV file on disk, read in blocks so that memory stays flat whatever its length:
// a user's own sound.  The samples come out as read_wav_channels makes them.  Unlike the
// embedded clips, a file is taken only when its header holds up: the data chunk fits in the
// file, the block alignment and byte rate agree with the channels, width and rate, and the
// rate is 22050 to 384000 Hz; every refusal is one sentence naming the file.
class WavStream {
public:
    // `name` is how the messages name the file.
    static Result<WavStream> open(const std::string& path);
    // Takes over `descriptor` (closed by the stream, or here on failure).
    static Result<WavStream> from_descriptor(int descriptor, const std::string& name);

    WavStream(WavStream&& other) noexcept;
    WavStream& operator=(WavStream&& other) noexcept;
    WavStream(const WavStream&) = delete;
    WavStream& operator=(const WavStream&) = delete;
    ~WavStream();

    int sample_rate() const { return rate_; }
    std::int64_t frames() const { return frames_; }
    const std::string& name() const { return name_; }

    // Frames `first` on into `interleaved` (left, right; its size / 2 frames).  Frames before
    // the first and after the last are silence, so a window may reach past either end.
    Status read(std::int64_t first, std::span<float> interleaved);

private:
    WavStream() = default;

    int descriptor_ = -1;
    std::string name_;
    int rate_ = 0;
    std::int64_t frames_ = 0;
    std::uint64_t data_offset_ = 0;
    std::size_t sample_bytes_ = 0;
    bool is_float_ = false;
    std::vector<std::byte> block_;
};

}  // namespace lumo
