#include <array>
#include <cerrno>
#include <cstdio>

#include "audio/alsa.hpp"
#include "audio/alsa_detail.hpp"

namespace lumo::audio::detail {

void format_alsa_error(std::span<char> out, std::string_view function, int code) {
    std::snprintf(out.data(), out.size(),
                  "A backend-specific error has occurred: ALSA function '%.*s' failed with error '%s (%d)'",
                  static_cast<int>(function.size()), function.data(), snd_strerror(code), -code);
}

std::string alsa_error_text(std::string_view function, int code) {
    std::array<char, 320> text{};
    format_alsa_error(text, function, code);
    return std::string(text.data());
}

Error open_error(std::string_view function, int code) {
    if (code == -ENOENT || code == -EBUSY) return Error(std::string(kDeviceNotAvailable));
    if (code == -EINVAL) return Error(std::string(kStreamTypeNotSupported));
    return Error(alsa_error_text(function, code));
}

}  // namespace lumo::audio::detail
