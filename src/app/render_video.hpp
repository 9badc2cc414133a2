// lumo-render --video: the show as a scope shows it, with its sound, as a video anyone can
// play.  The frames (src/scope/) and the samples (render_mix.hpp) are made one frame at a
// time and piped to the ffmpeg program, which encodes H.264 and the sound (AAC in .mp4,
// FLAC in .mkv) into the file: nothing is held beyond the frame being made.
#pragma once

#include <string>
#include <vector>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// The program --video needs: checked before the show is prepared.
inline constexpr const char* kVideoEncoder = "ffmpeg";

// ffmpeg's arguments for `options`, writing `output` (the temporary the file grows in).
std::vector<std::string> video_encoder_arguments(const RenderOptions& options, const std::string& output);

// The video at options.path.  The frame shown at time t of the video is the picture
// `--scope --at` gives for show time from + t; the sound is the show's from --from on.
Status write_video(PreparedShow show, const RenderOptions& options);

}  // namespace lumo
