// Decoding a stereo WAV file held in memory into a figure.
#pragma once

#include <cstddef>
#include <span>

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

}  // namespace lumo
