// A clip as the WAV file the show embeds.
#pragma once

#include <vector>

#include "clips.hpp"

namespace clipgen {

// The file's bytes: 16-bit stereo at 96 kHz, the same header for every clip.
std::vector<char> wav_bytes(const Clip& clip);

}  // namespace clipgen
