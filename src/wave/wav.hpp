// Decoding a stereo WAV file held in memory into a figure.
#pragma once

#include <cstddef>
#include <span>

#include "core/error.hpp"
#include "core/points.hpp"

namespace lumo {

// One point per frame, left sample as x and right as y, integer samples scaled by
// 2^(bits - 1).  Stops at the first incomplete frame.  Reads RIFF/WAVE with integer PCM or
// IEEE float samples (plain or extensible format tag), from its first fmt and data chunks,
// and nothing else: another container or codec ("no RIFF tag found", "no WAVE tag
// found", ...), a header that does not parse, or a file that is not stereo is an error
// value.  Never holds more points than the bytes could encode (two bytes a frame).
Result<PointList> read_wav_to_vec(std::span<const std::byte> bytes);

}  // namespace lumo
