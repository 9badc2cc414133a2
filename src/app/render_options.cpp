#include "app/render_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "core/fatal.hpp"
#include "scope/scope.hpp"

namespace lumo {

std::string render_usage() {
    std::string text;
    for (const RenderModeInfo& mode : kRenderModes) {
        text += text.empty() ? "usage: lumo-render " : "\n       lumo-render ";
        text += mode.usage;
    }
    return text;
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
         if (value != "30" && value != "60") return usage_error("--fps takes 30 or 60, not \"" + value + "\"");
         options.fps = value == "30" ? 30 : 60;
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
    if (options.gpu && options.mode != RenderMode::Scope) return usage_error("--gpu goes with --scope");
    switch (options.mode) {
        case RenderMode::Scope:
            if (options.at.empty()) return usage_error("--scope needs the times to show: --at T[,T…]");
            break;
        case RenderMode::Video:
            if (!options.path.ends_with(".mp4") && !options.path.ends_with(".mkv")) {
                return usage_error("--video writes a .mp4 or a .mkv file, not \"" + options.path + "\"");
            }
            // H.264 in 4:2:0 keeps colour for pairs of pixels.
            if (options.size % 2 != 0) return usage_error("--video needs an even --size");
            if (video_frames(options) < 1) return usage_error("--video has less than one frame to show");
            break;
        default: break;
    }
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

double wav_seconds(const RenderOptions& options) { return options.seconds.value_or(kShowSeconds); }

std::int64_t video_frames(const RenderOptions& options) {
    const double seconds = options.seconds.value_or(std::max(0.0, kShowSeconds - options.from));
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
