#include "app/render_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "audio/audio.hpp"
#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "scope/scope.hpp"
#include "show/score.hpp"

namespace lumo {

static_assert(std::uint64_t{kRenderBufferFrames} * 1'000'000 ==
                  std::uint64_t{kSampleRate} * audio::kPeriodMicroseconds,
              "--wav's default buffer is one period of what the stream asks its device for");

std::string render_usage() {
    std::string text;
    for (const RenderModeInfo& mode : kRenderModes) {
        text += text.empty() ? "usage: lumo-render " : "\n       lumo-render ";
        text += mode.usage;
    }
    text += "\n";
    text += kRenderLookUsage;
    return text;
}

ScopeSettings scope_settings(const RenderOptions& options, int sample_rate, int size) {
    ScopeSettings settings{.size = size, .sample_rate = sample_rate, .fps = options.fps};
    if (options.persistence) settings.persistence = *options.persistence;
    // Multiplied only when asked, so that the defaults stay the scope's own numbers.
    if (options.intensity != 1.0f) settings.exposure = settings.exposure * options.intensity;
    if (options.focus != 1.0f) settings.beam_sigma = settings.beam_sigma * options.focus;
    settings.phosphor = options.phosphor;
    settings.swap_xy = options.swap_xy;
    settings.invert_x = options.invert_x;
    settings.invert_y = options.invert_y;
    return settings;
}

namespace {

Error usage_error(const std::string& what) { return Error(what + "\n" + render_usage()); }

template <class Number>
std::optional<Number> parse_number(const std::string& text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

// A number of seconds from 0 to an hour, or the usage error that says what `flag` takes.
Result<double> parse_seconds(std::string_view flag, const std::string& value) {
    const auto seconds = parse_number<double>(value);
    if (!seconds || !(*seconds >= 0.0) || *seconds > 3600.0) {
        return usage_error(std::string(flag) + " takes a number of seconds from 0 to 3600, not \"" + value + "\"");
    }
    return *seconds;
}

constexpr unsigned modes(std::initializer_list<RenderMode> list) {
    unsigned mask = 0;
    for (RenderMode mode : list) mask |= 1u << static_cast<unsigned>(mode);
    return mask;
}

constexpr unsigned kEveryMode = ~0u;
constexpr unsigned kScopeModes = modes({RenderMode::Scope, RenderMode::ScopeSheet, RenderMode::Video});

// A number from lo to hi, or the usage error that says what `flag` takes.
template <class Number>
Result<Number> parse_within(std::string_view flag, const std::string& value, Number lo, Number hi, const char* what) {
    const auto number = parse_number<Number>(value);
    if (!number || !(*number >= lo) || !(*number <= hi)) {
        return usage_error(std::string(flag) + " takes " + what + ", not \"" + value + "\"");
    }
    return *number;
}

// "-y,x": which channel goes across and which up, each maybe turned over.
bool read_axes(RenderOptions& options, const std::string& value) {
    const std::size_t comma = value.find(',');
    if (comma == std::string::npos) return false;
    const std::string across = value.substr(0, comma), up = value.substr(comma + 1);
    auto letter = [](const std::string& axis) { return axis.empty() ? '?' : axis.back(); };
    auto turned = [](const std::string& axis) { return axis.size() == 2 && axis[0] == '-'; };
    for (const std::string& axis : {across, up}) {
        if (axis.size() > 2 || (axis.size() == 2 && axis[0] != '-')) return false;
    }
    if (letter(across) == 'x' && letter(up) == 'y') {
        options.swap_xy = false;
    } else if (letter(across) == 'y' && letter(up) == 'x') {
        options.swap_xy = true;
    } else {
        return false;
    }
    options.invert_x = turned(across);
    options.invert_y = turned(up);
    return true;
}

// Each option that takes a value: its flag, the modes it means something to, and how the
// value goes into the record.
struct ValueOption {
    std::string_view flag;
    unsigned modes;
    Status (*read)(RenderOptions& options, const std::string& value);
};

constexpr ValueOption kValueOptions[] = {
    {"--seconds", modes({RenderMode::Wav, RenderMode::Video, RenderMode::Html}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<double> seconds = parse_seconds("--seconds", value);
         if (!seconds) return seconds.error();
         options.seconds = seconds.value();
         return {};
     }},
    {"--buffer", modes({RenderMode::Wav}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto frames = parse_number<std::uint32_t>(value);
         if (!frames || *frames == 0 || *frames > 1u << 20) {
             return usage_error("--buffer takes a frame count from 1 to 1048576, not \"" + value + "\"");
         }
         options.buffer_frames = *frames;
         return {};
     }},
    {"--format", modes({RenderMode::Wav}),
     [](RenderOptions& options, const std::string& value) -> Status {
         if (value == "s16") {
             options.format = RenderFormat::S16;
         } else if (value == "f32") {
             options.format = RenderFormat::F32;
         } else {
             return usage_error("--format takes s16 or f32, not \"" + value + "\"");
         }
         return {};
     }},
    {"--seed", kEveryMode,
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto seed = parse_number<std::uint64_t>(value);
         if (!seed) return usage_error("--seed takes a whole number, not \"" + value + "\"");
         options.seed = *seed;
         return {};
     }},
    {"--at", modes({RenderMode::Scope}),
     [](RenderOptions& options, const std::string& value) -> Status {
         std::size_t start = 0;
         while (true) {
             const std::size_t comma = std::min(value.find(',', start), value.size());
             const Result<double> time = parse_seconds("--at", value.substr(start, comma - start));
             if (!time) return time.error();
             options.at.push_back(time.value());
             if (comma == value.size()) return {};
             start = comma + 1;
         }
     }},
    {"--input", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         options.input = value;
         return {};
     }},
    {"--every", modes({RenderMode::ScopeSheet}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<double> every = parse_within("--every", value, 0.001, 3600.0, "seconds from 0.001 to 3600");
         if (!every) return every.error();
         options.every = every.value();
         return {};
     }},
    {"--persistence", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<double> ms = parse_within("--persistence", value, 0.0, 60000.0, "milliseconds from 0 to 60000");
         if (!ms) return ms.error();
         options.persistence = static_cast<float>(ms.value() / 1000.0);
         return {};
     }},
    {"--intensity", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<float> x = parse_within("--intensity", value, 0.001f, 1000.0f, "a factor from 0.001 to 1000");
         if (!x) return x.error();
         options.intensity = x.value();
         return {};
     }},
    {"--focus", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<float> w = parse_within("--focus", value, 0.1f, 20.0f, "a spot width from 0.1 to 20 (1: sharp)");
         if (!w) return w.error();
         options.focus = w.value();
         return {};
     }},
    {"--colour", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         constexpr std::pair<std::string_view, ScopePhosphor> kNames[] = {
             {"p31", ScopePhosphor::P31}, {"p7", ScopePhosphor::P7}, {"amber", ScopePhosphor::Amber}};
         for (const auto& [name, phosphor] : kNames) {
             if (value == name) {
                 options.phosphor = phosphor;
                 return {};
             }
         }
         return usage_error("--colour takes p31, p7 or amber, not \"" + value + "\"");
     }},
    {"--axes", kScopeModes,
     [](RenderOptions& options, const std::string& value) -> Status {
         if (!read_axes(options, value)) {
             return usage_error("--axes takes the channels across and up, x,y or y,x, either with a - to turn it "
                                "over (-x,y), not \"" + value + "\"");
         }
         return {};
     }},
    {"--size", modes({RenderMode::Scope, RenderMode::Video}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const auto size = parse_number<int>(value);
         if (!size) return usage_error("--size takes a number of pixels, not \"" + value + "\"");
         if (Status fits = check_scope_settings({.size = *size}); !fits) return usage_error(fits.error().message());
         options.size = *size;
         return {};
     }},
    {"--from", modes({RenderMode::Video}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<double> from = parse_seconds("--from", value);
         if (!from) return from.error();
         options.from = from.value();
         return {};
     }},
    {"--fps", modes({RenderMode::Video}),
     [](RenderOptions& options, const std::string& value) -> Status {
         const Result<int> fps = parse_within("--fps", value, 1, 240, "frames per second from 1 to 240");
         if (!fps) return fps.error();
         options.fps = fps.value();
         return {};
     }},
};

// What each mode needs beyond its flag, checked once every option is read.
Status check_mode_needs(const RenderOptions& options, const std::vector<const ValueOption*>& given) {
    for (const ValueOption* option : given) {
        if ((option->modes & modes({options.mode})) == 0) {
            return usage_error(std::string(option->flag) + " does not go with " +
                               std::string(render_mode_info(options.mode).flag));
        }
    }
    if (options.gpu && options.mode != RenderMode::Scope && options.mode != RenderMode::Video) {
        return usage_error("--gpu goes with --scope or --video");
    }
    switch (options.mode) {
        case RenderMode::Scope:
            if (options.at.empty()) return usage_error("--scope needs the times to show: --at T[,T…]");
            break;
        case RenderMode::Video:
            // A file's rate is known once it is opened; the show's is 96000 Hz.
            if (options.input.empty()) {
                if (Status fits = check_scope_settings({.fps = options.fps}); !fits) {
                    return usage_error(fits.error().message());
                }
            }
            if (!options.path.ends_with(".mp4") && !options.path.ends_with(".mkv")) {
                return usage_error("--video writes a .mp4 or a .mkv file, not \"" + options.path + "\"");
            }
            // H.264 in 4:2:0 keeps colour for pairs of pixels.
            if (options.size % 2 != 0) return usage_error("--video needs an even --size");
            if (options.input.empty() && video_frames(options) < 1) {
                return usage_error("--video has less than one frame to show");
            }
            break;
        default: break;
    }
    if (options.every > 0.0 && options.input.empty()) return usage_error("--every goes with --input");
    return {};
}

std::string mode_flags() {
    std::string flags;
    for (std::size_t i = 0; i < std::size(kRenderModes); ++i) {
        if (i > 0) flags += i + 1 == std::size(kRenderModes) ? " and " : ", ";
        flags += kRenderModes[i].flag;
    }
    return flags;
}

}  // namespace

double wav_seconds(const RenderOptions& options) { return options.seconds.value_or(double{kShowSeconds}); }

std::int64_t video_frames(const RenderOptions& options, double length) {
    const double seconds = options.seconds.value_or(std::max(0.0, length - options.from));
    return std::llround(seconds * options.fps);
}

const RenderModeInfo& render_mode_info(RenderMode mode) {
    for (const RenderModeInfo& info : kRenderModes) {
        if (info.mode == mode) return info;
    }
    fatal("lumo-render has no such mode");
}

Result<RenderOptions> parse_render_options(std::span<const std::string> args) {
    RenderOptions options;
    bool have_mode = false;
    std::vector<const ValueOption*> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        // The one switch without a value.
        if (flag == "--gpu") {
            options.gpu = true;
            continue;
        }
        const auto* mode = std::find_if(std::begin(kRenderModes), std::end(kRenderModes),
                                        [&](const RenderModeInfo& m) { return m.flag == flag; });
        const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                          [&](const ValueOption& o) { return o.flag == flag; });
        if (mode == std::end(kRenderModes) && option == std::end(kValueOptions)) {
            return usage_error("unknown option \"" + flag + "\"");
        }
        // "--wav --seconds 3" forgot the file name; it must not write a file called "--seconds".
        if (i + 1 >= args.size() || args[i + 1].starts_with("--")) {
            return usage_error("missing value after " + flag);
        }
        const std::string& value = args[++i];
        if (mode != std::end(kRenderModes)) {
            if (have_mode) return usage_error("give one of " + mode_flags());
            have_mode = true;
            options.mode = mode->mode;
            options.path = value;
        } else if (Status read = option->read(options, value); !read) {
            return read.error();
        } else {
            given.push_back(option);
        }
    }
    if (!have_mode) return usage_error("nothing to render");
    if (options.path.empty()) return usage_error("the output path is empty");
    if (Status complete = check_mode_needs(options, given); !complete) return complete.error();
    return options;
}

}  // namespace lumo
