// lumo-render: the show without a sound card.
//
// Everything here runs the same preparation and the same mixing code as lumo; only the
// clock differs: the show time of each buffer is the number of frames before it ÷ 96000.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

enum class RenderFormat { S16, F32 };

struct RenderOptions {
    enum class Output { Wav, Figures, Png } output = Output::Wav;
    std::string path;                   // the WAV file, or the directory for figures/pictures
    double seconds = 160.0;             // --wav only
    std::uint32_t buffer_frames = 1024;  // --wav only
    RenderFormat format = RenderFormat::F32;
    std::optional<std::uint64_t> seed;  // absent: seeded from the operating system
};

// Reads lumo-render's arguments (without the program name).
Result<RenderOptions> parse_render_options(std::span<const std::string> args);

// The show's output as the playback callback makes it for an ideal device, `seconds`
// long, as a 96000 Hz stereo WAV file.  Written under a temporary name, then renamed.
// The voices take over the show's wavetables.
Status render_wav(PreparedShow show, const RenderOptions& options);

// figure-01.f32 … figure-27.f32: each figure's points, x and y interleaved, little-endian.
Status write_figures(const PreparedShow& show, const std::string& directory);

// figure-NN.png (six 0.02-second slices of each figure, drawn as a scope's phosphor) and
// show.png, all 27 figures on one labelled sheet.
Status write_pictures(const PreparedShow& show, const std::string& directory);

// The whole program: arguments in, exit status out.
int run_render(std::span<const std::string> args);

}  // namespace lumo
