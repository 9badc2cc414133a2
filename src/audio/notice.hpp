// The audio layer's own lines on standard error: not errors of a stream (those go to its
// error callback) but what the layer did about its surroundings, such as a refused
// real-time priority or the underruns a stream suffered.
#pragma once

#include <string_view>

namespace lumo::audio {

// Writes "Audio: " and `text` and a line feed in one write; allocates nothing, so the
// worker thread may call it.
void audio_notice(std::string_view text);

}  // namespace lumo::audio
