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

namespace {

// The plain-words cause of a failed open, or nothing when the code says no more than the
// message does.
std::optional<std::string> open_failure_cause(std::string_view device, int code) {
    const std::string name = debug_quote(device);
    switch (-code) {
        case EBUSY: return "The device " + name + " is busy: another program is playing through it.";
        case ENOENT:
            return "There is no device " + name + ": no ALSA PCM has that name, or its card is not present.";
        case ENODEV: return "The device " + name + " is not present: its card has been removed or switched off.";
        case EACCES:
        case EPERM:
            return "Access to the device " + name +
                   " was refused: this user may not open it (often only members of the group \"audio\" may).";
        case ECONNREFUSED:
            return "The sound server behind the device " + name + " refused the connection: it may not be running.";
        default: return std::nullopt;
    }
}

}  // namespace

Error open_error(std::string_view device, std::string_view function, int code) {
    // The message is what scripts may match; the cause is for the person reading it.
    std::string message;
    if (code == -ENOENT || code == -EBUSY) {
        message = kDeviceNotAvailable;
    } else if (code == -EINVAL) {
        message = kStreamTypeNotSupported;
    } else {
        message = alsa_error_text(function, code);
    }
    const std::optional<std::string> cause = open_failure_cause(device, code);
    if (!cause) return Error(std::move(message));
    return Error(*cause).context(std::move(message));
}

}  // namespace lumo::audio::detail
