// lumo-render --video: the show (or a user's WAV file) as a scope shows it, with its
// sound, as a video anyone can play.  The sound (render_mix.hpp) is mixed first, into an unnamed scratch file; the
// frames (src/scope/) are then made from it one at a time and piped to the ffmpeg program,
// which reads the sound from the scratch file and encodes H.264 and the sound (AAC in .mp4,
// FLAC in .mkv) into the file.  Memory holds a piece of sound at a time, then one frame.
#pragma once

#include <string>
#include <vector>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/prepare.hpp"
#include "wave/wav.hpp"

namespace lumo {

// The program --video needs: checked before the show is prepared.
inline constexpr const char* kVideoEncoder = "ffmpeg";

// ffmpeg's arguments for `options`, writing `output` (the temporary the file grows in),
// the sound at `sample_rate`.
std::vector<std::string> video_encoder_arguments(const RenderOptions& options, const std::string& output,
                                                 int sample_rate = kScopeSampleRate);

// The video at options.path.  The frame shown at time t of the video is the picture
// `--scope --at` gives for show time from + t; the sound is the show's from --from on.
Status write_video(PreparedShow show, const RenderOptions& options);

// The same for the file `input`, at its own rate: its samples are the sound (as 32-bit
// floats, so the scratch file takes twice the room of a 16-bit file), the frames its
// picture; time t of the video is the file's from + t.
Status write_input_video(WavStream& input, const RenderOptions& options);

}  // namespace lumo
