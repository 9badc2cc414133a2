// lumo-render --wav: the show's output as the playback callback makes it for an ideal
// device (render_mix.hpp), as a 96000 Hz stereo WAV file.  The same seed and options give
// the same bytes.
#pragma once

#include "app/render_options.hpp"
#include "core/error.hpp"
#include "show/prepare.hpp"

namespace lumo {

// `options.seconds` of the show in buffers of `options.buffer_frames`, as 16-bit or float
// samples, written to `options.path`.  The voices take over the show's wavetables.
Status write_wav(PreparedShow show, const RenderOptions& options);

}  // namespace lumo
