// make_stream: the whole show prepared, then the output stream built around it.
#pragma once

#include <memory>

#include "audio/audio.hpp"
#include "core/error.hpp"
#include "core/random.hpp"
#include "show/playback.hpp"
#include "show/prepare.hpp"

namespace lumo {

// Stream construction for sample type T: the voices made from `show`, moved with `start`
// and the score into the playback callback, and the stream built (not started).
template <class T>
Result<std::unique_ptr<audio::Stream>> build_stream(const audio::Device& device,
                                                    const audio::StreamConfig& config,
                                                    MonotonicInstant start, PreparedShow show);

// Show preparation (the blocks' speeds and the outline orders drawn from `random`), the
// start instant, then stream construction.
template <class T>
Result<std::unique_ptr<audio::Stream>> make_stream(const audio::Device& device,
                                                   const audio::StreamConfig& config, RandomEngine& random);

// make_stream for the sample type that `format` names.
Result<std::unique_ptr<audio::Stream>> make_stream_for(audio::SampleFormat format,
                                                       const audio::Device& device,
                                                       const audio::StreamConfig& config, RandomEngine& random);

}  // namespace lumo
