// Inside the ALSA host: what its files share, and the seams its tests reach.  Callers use
// audio/alsa.hpp (or only audio/audio.hpp) instead.
#pragma once

#include <alsa/asoundlib.h>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "audio/audio.hpp"
#include "audio/default_config.hpp"
#include "audio/underruns.hpp"
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
using PcmStatus = std::unique_ptr<snd_pcm_status_t, AlsaFree<&snd_pcm_status_free>>;

// lumo's sample formats as ALSA names them (little-endian, as WAV and every machine lumo is
// built for).  ALSA has no 64-bit integer samples.  The host probes devices in this order;
// among equally preferred formats the last wins.
struct AlsaFormat {
    snd_pcm_format_t alsa;
    SampleFormat format;
};
inline constexpr std::array<AlsaFormat, 8> kAlsaFormats = {{
    {SND_PCM_FORMAT_S8, SampleFormat::I8},
    {SND_PCM_FORMAT_U8, SampleFormat::U8},
    {SND_PCM_FORMAT_S16_LE, SampleFormat::I16},
    {SND_PCM_FORMAT_U16_LE, SampleFormat::U16},
    {SND_PCM_FORMAT_S32_LE, SampleFormat::I32},
    {SND_PCM_FORMAT_U32_LE, SampleFormat::U32},
    {SND_PCM_FORMAT_FLOAT_LE, SampleFormat::F32},
    {SND_PCM_FORMAT_FLOAT64_LE, SampleFormat::F64},
}};

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

// Reported for an underrun that no failing ALSA call reported (the device's state or its
// delay gave it away); an underrun that a call reported is reported with that call's text.
inline constexpr std::string_view kRanOutOfSamples =
    "The device ran out of samples and played silence (an underrun); playback goes on.";

// What a failed open of `device` (or the first query after it) means to the caller: no
// device (ENOENT, EBUSY), an unsupported request (EINVAL), or the backend-specific text.
// A busy, missing or refused device, or an absent sound server, also gets a cause that
// names the device and says what is wrong in plain words.
Error open_error(std::string_view device, std::string_view function, int code);

// The playback configurations the PCM `name` supports; an error value when it does not open.
Result<std::vector<SupportedConfigRange>> supported_output_configs(const std::string& name);

// What the device granted a stream, in frames.
struct AlsaStreamSizes {
    std::size_t period_frames;
    std::size_t buffer_frames;
};

// What a stream asks of its device, at build and again whenever it reopens the device.
struct OutputRequest {
    std::string device;
    snd_pcm_format_t format;
    unsigned sample_rate;
    unsigned channels;
};

// An open PCM, negotiated and prepared.
struct OpenedOutput {
    PcmHandle pcm;
    AlsaStreamSizes sizes;
};

// Why opening failed, in a form that allocates nothing.
struct OpenFailure {
    const char* function;  // the ALSA call that failed; null: the sizes granted are unusable
    int code;              // its negative return code
    bool refused;          // the device cannot play the request (access, format, rate, channels, sizes)
};

// Opens `request.device` for playback and negotiates the stream: the format, rate and
// channels exactly, a period near 25 ms and a buffer near 100 ms, woken per period,
// started when all but one period is queued.
std::variant<OpenedOutput, OpenFailure> open_output(const OutputRequest& request);

// The error value of a failed open_output at build.
Error open_failure_error(const OutputRequest& request, const OpenFailure& failure);

// The sizes of a stream built by the ALSA host at build (null for any other stream).
std::optional<AlsaStreamSizes> alsa_stream_sizes(const Stream& stream);

// The underruns a stream built by the ALSA host has counted so far (null for any other).
std::optional<UnderrunCount> alsa_stream_underruns(const Stream& stream);

}  // namespace lumo::audio::detail
