// Opening a PCM for an output stream: the negotiation of its format, rate, channels and
// sizes, the same at build and whenever the stream reopens its device.
#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"

namespace lumo::audio::detail {

namespace {

constexpr unsigned kBufferMicroseconds = 100'000;

// Negotiates the stream's hardware and software parameters on an open PCM and prepares
// it; the calls run in order and stop at the first that fails.
std::optional<OpenFailure> negotiate(snd_pcm_t* pcm, const OutputRequest& request, AlsaStreamSizes& sizes) {
    std::optional<OpenFailure> failure;
    const auto step = [&](const char* function, int code, bool refusal = false) {
        if (code < 0) failure = OpenFailure{function, code, refusal};
        return code >= 0;
    };

    snd_pcm_hw_params_t* raw_hw = nullptr;
    if (!step("snd_pcm_hw_params_malloc", snd_pcm_hw_params_malloc(&raw_hw))) return failure;
    const HwParams hw(raw_hw);
    unsigned period_time = kPeriodMicroseconds;
    unsigned buffer_time = kBufferMicroseconds;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    // The rate is set exactly: a device that cannot play 96000 Hz fails here rather than
    // play the show at another speed.  Without a buffer time the pulse plugin grants
    // megabytes and the stream runs seconds ahead of what is heard.
    const bool hardware_set =
        step("snd_pcm_hw_params_any", snd_pcm_hw_params_any(pcm, hw.get())) &&
        step("snd_pcm_hw_params_set_access",
             snd_pcm_hw_params_set_access(pcm, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED), true) &&
        step("snd_pcm_hw_params_set_format", snd_pcm_hw_params_set_format(pcm, hw.get(), request.format), true) &&
        step("snd_pcm_hw_params_set_rate", snd_pcm_hw_params_set_rate(pcm, hw.get(), request.sample_rate, 0), true) &&
        step("snd_pcm_hw_params_set_channels", snd_pcm_hw_params_set_channels(pcm, hw.get(), request.channels),
             true) &&
        step("snd_pcm_hw_params_set_period_time_near",
             snd_pcm_hw_params_set_period_time_near(pcm, hw.get(), &period_time, nullptr)) &&
        step("snd_pcm_hw_params_set_buffer_time_near",
             snd_pcm_hw_params_set_buffer_time_near(pcm, hw.get(), &buffer_time, nullptr)) &&
        step("snd_pcm_hw_params", snd_pcm_hw_params(pcm, hw.get())) &&
        step("snd_pcm_hw_params_get_period_size", snd_pcm_hw_params_get_period_size(hw.get(), &period, nullptr)) &&
        step("snd_pcm_hw_params_get_buffer_size", snd_pcm_hw_params_get_buffer_size(hw.get(), &buffer));
    if (!hardware_set) return failure;
    if (period == 0 || buffer < period) return OpenFailure{nullptr, -EINVAL, true};

    snd_pcm_sw_params_t* raw_sw = nullptr;
    if (!step("snd_pcm_sw_params_malloc", snd_pcm_sw_params_malloc(&raw_sw))) return failure;
    const SwParams sw(raw_sw);
    // Woken once a period is free; started once all but one period is queued.
    const bool software_set =
        step("snd_pcm_sw_params_current", snd_pcm_sw_params_current(pcm, sw.get())) &&
        step("snd_pcm_sw_params_set_avail_min", snd_pcm_sw_params_set_avail_min(pcm, sw.get(), period)) &&
        step("snd_pcm_sw_params_set_start_threshold",
             snd_pcm_sw_params_set_start_threshold(pcm, sw.get(), buffer - period)) &&
        step("snd_pcm_sw_params_set_tstamp_mode",
             snd_pcm_sw_params_set_tstamp_mode(pcm, sw.get(), SND_PCM_TSTAMP_ENABLE)) &&
        step("snd_pcm_sw_params_set_tstamp_type",
             snd_pcm_sw_params_set_tstamp_type(pcm, sw.get(), SND_PCM_TSTAMP_TYPE_MONOTONIC)) &&
        step("snd_pcm_sw_params", snd_pcm_sw_params(pcm, sw.get())) &&
        step("snd_pcm_prepare", snd_pcm_prepare(pcm));
    if (!software_set) return failure;
    sizes = AlsaStreamSizes{period, buffer};
    return std::nullopt;
}

}  // namespace

std::variant<OpenedOutput, OpenFailure> open_output(const OutputRequest& request) {
    OpenedOutput opened{};
    if (const int code = open_pcm(request.device, SND_PCM_STREAM_PLAYBACK, opened.pcm); code < 0) {
        return OpenFailure{"snd_pcm_open", code, false};
    }
    if (std::optional<OpenFailure> failure = negotiate(opened.pcm.get(), request, opened.sizes)) return *failure;
    return opened;
}

Error open_failure_error(const OutputRequest& request, const OpenFailure& failure) {
    if (failure.function == nullptr) return Error(std::string(kStreamTypeNotSupported));
    if (failure.function == std::string_view("snd_pcm_open")) {
        return open_error(request.device, failure.function, failure.code);
    }
    return Error(alsa_error_text(failure.function, failure.code));
}

}  // namespace lumo::audio::detail
