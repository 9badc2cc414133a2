// lumo-render --scope: the show, or a user's stereo WAV file (--input), as an analogue
// scope in XY mode shows it (src/scope/ is the model), one picture per instant asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/render_mix.hpp"
#include "app/render_options.hpp"
#include "core/error.hpp"
#include "image/image.hpp"
#include "scope/scope.hpp"
#include "show/prepare.hpp"
#include "wave/wav.hpp"

namespace lumo {

class GlScope;

// The frames of `mix` that end at the sample numbers `ends` (in any order, from where the
// mix is on), each handed to `take` with its index in `ends`, earliest first.  The mix is
// made once, only as far as the last frame needs, and only the stretch a frame reads is
// kept in memory.  A failure of `take` stops the rest.  With `gpu` the frames are drawn
// by it (its GL context current) instead of on the CPU.
Status render_scope_frames(OfflineMix& mix, std::span<const std::int64_t> ends, const ScopeSettings& settings,
                           const std::function<Status(std::size_t index, const RgbImage& frame)>& take,
                           GlScope* gpu = nullptr);

// "scope-20.250.png": the name of the frame that ends at `seconds`.
std::string scope_frame_name(double seconds);

// One PNG for each time of options.at in the directory options.path, the frames of the
// whole show's mix at options.size pixels.
Status write_scope_frames(PreparedShow show, const RenderOptions& options);

// The frame of `input` that ends at `seconds` into it, at the settings' rate (the file's,
// from input_scope_settings): only the stretch the frame reads is read from disk.
Result<RgbImage> render_input_frame(WavStream& input, double seconds, const ScopeSettings& settings);

// The settings for `input`, or the error that names the file when its rate does not fit
// them (a frame rate that does not divide it).
Result<ScopeSettings> input_scope_settings(const WavStream& input, const RenderOptions& options, int size);

// write_scope_frames for a file: options.at are its times.
Status write_input_scope_frames(WavStream& input, const RenderOptions& options);

}  // namespace lumo
