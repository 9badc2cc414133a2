// lumo-render --wav: the show's output as the playback callback makes it for an ideal
// device (render_mix.hpp), as a 96000 Hz stereo WAV file.  The same seed and options give
// the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// `options.seconds` of the show in buffers of `options.buffer_frames`, as 16-bit or float
// samples, written to `options.path`.  The voices take over the show's wavetables.
Status write_wav(PreparedShow show, const RenderOptions& options);

// The show's output as write_wav makes it, without the file: `seconds` of it in buffers
// of `buffer_frames` frames, each handed to `take` in order (interleaved x, y).  Stops at
// the first error `take` returns.  For float and 16-bit samples.
template <class T>
Status render_show_buffers(PreparedShow show, double seconds, std::uint32_t buffer_frames,
                           const std::function<Status(std::span<const T>)>& take);

}  // namespace lumo
