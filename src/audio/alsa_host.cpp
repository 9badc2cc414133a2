// Enumeration and default configurations: which PCMs exist and what each prefers.
#include <algorithm>
#include <cstdlib>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"

namespace lumo::audio {

using detail::HwParams;
using detail::open_error;
using detail::PcmHandle;

namespace {

constexpr std::uint32_t kMaxProbedChannels = 32;

std::uint32_t saturate_frames(snd_pcm_uframes_t frames) {
    return static_cast<std::uint32_t>(std::min<snd_pcm_uframes_t>(frames, UINT32_MAX));
}

// alsa-lib calls this where it would print "ALSA lib file:line:(function) ..." lines:
// while device names are enumerated (a capture-only plugin refusing playback) and when
// no card is there, before lumo's own error.
void drop_alsa_message(const char*, int, const char*, int, const char*, ...) {}

bool opens(const std::string& name, snd_pcm_stream_t direction) {
    PcmHandle pcm;
    return detail::open_pcm(name, direction, pcm) == 0;  // closed again at once: probing keeps nothing busy
}

Result<std::vector<std::string>> hinted_names() {
    void** hints = nullptr;
    const int code = snd_device_name_hint(-1, "pcm", &hints);
    if (code < 0) return Error(detail::alsa_error_text("snd_device_name_hint", code));
    std::vector<std::string> names;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        if (name == nullptr) continue;
        std::string text(name);
        std::free(name);
        if (text != "null") names.push_back(std::move(text));
    }
    snd_device_name_free_hint(hints);
    return names;
}

}  // namespace

namespace detail {

Result<std::vector<SupportedConfigRange>> supported_output_configs(const std::string& name) {
    PcmHandle pcm;
    if (const int code = open_pcm(name, SND_PCM_STREAM_PLAYBACK, pcm); code < 0) {
        return open_error(name, "snd_pcm_open", code);
    }
    snd_pcm_hw_params_t* raw = nullptr;
    if (const int code = snd_pcm_hw_params_malloc(&raw); code < 0) {
        return open_error(name, "snd_pcm_hw_params_malloc", code);
    }
    const HwParams hw(raw);
    if (const int code = snd_pcm_hw_params_any(pcm.get(), hw.get()); code < 0) {
        return open_error(name, "snd_pcm_hw_params_any", code);
    }

    unsigned min_rate = 0;
    unsigned max_rate = 0;
    if (const int code = snd_pcm_hw_params_get_rate_min(hw.get(), &min_rate, nullptr); code < 0) {
        return open_error(name, "snd_pcm_hw_params_get_rate_min", code);
    }
    if (const int code = snd_pcm_hw_params_get_rate_max(hw.get(), &max_rate, nullptr); code < 0) {
        return open_error(name, "snd_pcm_hw_params_get_rate_max", code);
    }
    const auto rates = rate_ranges(min_rate, max_rate, [&](std::uint32_t rate) {
        return snd_pcm_hw_params_test_rate(pcm.get(), hw.get(), rate, 0) == 0;
    });

    unsigned min_channels = 0;
    unsigned max_channels = 0;
    if (const int code = snd_pcm_hw_params_get_channels_min(hw.get(), &min_channels); code < 0) {
        return open_error(name, "snd_pcm_hw_params_get_channels_min", code);
    }
    if (const int code = snd_pcm_hw_params_get_channels_max(hw.get(), &max_channels); code < 0) {
        return open_error(name, "snd_pcm_hw_params_get_channels_max", code);
    }
    std::vector<std::uint16_t> channel_counts;
    for (unsigned channels = min_channels; channels <= std::min(max_channels, kMaxProbedChannels); ++channels) {
        if (snd_pcm_hw_params_test_channels(pcm.get(), hw.get(), channels) == 0) {
            channel_counts.push_back(static_cast<std::uint16_t>(channels));
        }
    }

    std::optional<BufferSizeRange> buffer_size;
    snd_pcm_uframes_t min_frames = 0;
    snd_pcm_uframes_t max_frames = 0;
    if (snd_pcm_hw_params_get_buffer_size_min(hw.get(), &min_frames) == 0 &&
        snd_pcm_hw_params_get_buffer_size_max(hw.get(), &max_frames) == 0) {
        buffer_size = BufferSizeRange{saturate_frames(min_frames), saturate_frames(max_frames)};
    }

    std::vector<SupportedConfigRange> entries;
    for (const detail::AlsaFormat& probed : detail::kAlsaFormats) {
        if (snd_pcm_hw_params_test_format(pcm.get(), hw.get(), probed.alsa) != 0) continue;
        for (const std::uint16_t channels : channel_counts) {
            for (const auto& [low, high] : rates) {
                entries.push_back(SupportedConfigRange{channels, low, high, buffer_size, probed.format});
            }
        }
    }
    return entries;
}

}  // namespace detail

Result<SupportedStreamConfig> AlsaDevice::default_output_config() const {
    Result<std::vector<SupportedConfigRange>> entries = detail::supported_output_configs(name_);
    if (!entries) return entries.error();
    const std::optional<SupportedStreamConfig> picked = pick_default_config(entries.value());
    if (!picked) return Error(std::string(kStreamTypeNotSupported));
    return *picked;
}

Result<DeviceList> AlsaHost::devices() {
    Result<std::vector<std::string>> names = hinted_names();
    if (!names) return names.error();
    DeviceList list;
    for (const std::string& name : names.value()) {
        if (opens(name, SND_PCM_STREAM_PLAYBACK) || opens(name, SND_PCM_STREAM_CAPTURE)) {
            list.push_back(std::make_unique<AlsaDevice>(name));
        }
    }
    return list;
}

Result<DeviceList> AlsaHost::output_devices() {
    Result<std::vector<std::string>> names = hinted_names();
    if (!names) return names.error();
    DeviceList list;
    for (const std::string& name : names.value()) {
        Result<std::vector<SupportedConfigRange>> entries = detail::supported_output_configs(name);
        if (entries && !entries.value().empty()) list.push_back(std::make_unique<AlsaDevice>(name));
    }
    return list;
}

AlsaHost::AlsaHost() { snd_lib_error_set_handler(&drop_alsa_message); }

std::unique_ptr<Device> AlsaHost::default_output_device() { return std::make_unique<AlsaDevice>("default"); }

std::unique_ptr<Host> default_host() { return std::make_unique<AlsaHost>(); }

}  // namespace lumo::audio
