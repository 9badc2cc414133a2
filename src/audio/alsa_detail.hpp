// Inside the ALSA host: what its files share, and the seams its tests reach.  Callers use
// audio/alsa.hpp (or only audio/audio.hpp) instead.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio.hpp"
#include "audio/default_config.hpp"
#include "core/error.hpp"

namespace lumo::audio::detail {

// Frees an ALSA object with the library's own function for it.
template <auto free_function>
struct AlsaFree {
    template <class T> void operator()(T* object) const { free_function(object); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, AlsaFree<&snd_pcm_close>>;
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, AlsaFree<&snd_pcm_hw_params_free>>;
using SwParams = std::unique_ptr<snd_pcm_sw_params_t, AlsaFree<&snd_pcm_sw_params_free>>;

// snd_pcm_open, nonblocking; the ALSA return code (negative on failure).
inline int open_pcm(const std::string& name, snd_pcm_stream_t direction, PcmHandle& pcm) {
    snd_pcm_t* raw = nullptr;
    const int code = snd_pcm_open(&raw, name.c_str(), direction, SND_PCM_NONBLOCK);
    if (code == 0) pcm.reset(raw);
    return code;
}

// Error texts: every ALSA return code becomes text here and nowhere else.

// "A backend-specific error has occurred: ALSA function 'NAME' failed with error
// 'TEXT (ERRNO)'", for a negative ALSA return code.  Writes into `out` (truncating) and
// allocates nothing, so the worker thread can use it.
void format_alsa_error(std::span<char> out, std::string_view function, int code);
std::string alsa_error_text(std::string_view function, int code);

// What a failed open (or the first query after it) means to the caller: no device
// (ENOENT, EBUSY), an unsupported request (EINVAL), or the backend-specific text.
Error open_error(std::string_view function, int code);

// The playback configurations the PCM `name` supports; an error value when it does not open.
Result<std::vector<SupportedConfigRange>> supported_output_configs(const std::string& name);

// What the device granted a stream, in frames.
struct AlsaStreamSizes {
    std::size_t period_frames;
    std::size_t buffer_frames;
};

// The sizes of a stream built by the ALSA host (null for any other stream).
std::optional<AlsaStreamSizes> alsa_stream_sizes(const Stream& stream);

}  // namespace lumo::audio::detail
