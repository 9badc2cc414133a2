#include <array>

#include "audio/audio.hpp"

namespace lumo::audio {

std::string_view sample_format_name(SampleFormat format) {
    static constexpr std::array<std::string_view, 10> names = {"I8", "I16", "I32", "I64", "U8",
                                                               "U16", "U32", "U64", "F32", "F64"};
    return names.at(static_cast<std::size_t>(format));
}

std::string debug_form(const SupportedStreamConfig& config) {
    std::string text = "SupportedStreamConfig { channels: " + std::to_string(config.channels) +
                       ", sample_rate: SampleRate(" + std::to_string(config.sample_rate) + "), buffer_size: ";
    if (config.buffer_size) {
        text += "Range { min: " + std::to_string(config.buffer_size->min) +
                ", max: " + std::to_string(config.buffer_size->max) + " }";
    } else {
        text += "Unknown";
    }
    text += ", sample_format: ";
    text += sample_format_name(config.sample_format);
    return text + " }";
}

}  // namespace lumo::audio
