#include "audio/notice.hpp"

#include "core/stderr_line.hpp"

namespace lumo::audio {

void audio_notice(std::string_view text) { write_stderr_line("Audio: ", text); }

}  // namespace lumo::audio
