#include "app/render_html.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/render_files.hpp"
#include "app/render_mix.hpp"
#include "core/clock.hpp"
#include "show/catalogue.hpp"
#include "show/score.hpp"

// The page's bytes, assembled in from web/ (cmake/web.cmake).
extern "C" {
extern const unsigned char lumo_web_index_html_begin[], lumo_web_index_html_end[];
extern const unsigned char lumo_web_scope_js_begin[], lumo_web_scope_js_end[];
extern const unsigned char lumo_web_scope_css_begin[], lumo_web_scope_css_end[];
}

namespace lumo {

namespace {

std::span<const unsigned char> between(const unsigned char* begin, const unsigned char* end) {
    return {begin, static_cast<std::size_t>(end - begin)};
}

// Floats as the shortest text that reads back as the same float, whatever the locale.
std::string number(float value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// JSON string contents; the catalogue's descriptions are plain, but a quote must not end
// the string.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + "\"";
}

Status write_text(const std::string& path, std::string_view text) {
    return write_file_replacing(path, [&](const PendingFile& file) {
        return write_all(file, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
    });
}

// One second of sound a line: each line decodes on its own, and no string in the page is
// larger than half a megabyte.
Status write_audio_script(PreparedShow show, double seconds, const std::string& path) {
    constexpr std::size_t kLineBytes = kSampleRate * kChannels * sizeof(std::int16_t);
    static_assert(kLineBytes % 3 == 0, "whole lines concatenate to the whole base64 text");
    return write_file_replacing(path, [&](const PendingFile& file) -> Status {
        const std::string head =
            "// The show's sound for the scope page, written by lumo-render --html: 96000 Hz, two channels\n"
            "// (x, y) interleaved, 16-bit little-endian samples, base64, one second a string.\n"
            "var LUMO_AUDIO = [\n";
        if (Status written = write_all(file, {reinterpret_cast<const unsigned char*>(head.data()), head.size()});
            !written) {
            return written;
        }
        std::vector<unsigned char> line;
        line.reserve(kLineBytes);
        const auto flush = [&]() -> Status {
            const std::string text = "\"" + base64(line) + "\",\n";
            line.clear();
            return write_all(file, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
        };
        // What --wav --format s16 writes: the same mix, in the same buffers.
        OfflineMix mix = make_offline_mix(std::move(show));
        const auto total_frames = static_cast<std::uint64_t>(std::llround(seconds * kSampleRate));
        Status mixed = mix_frames<std::int16_t>(mix, total_frames, [&](std::span<const std::int16_t> out) -> Status {
            for (const std::int16_t sample : out) {
                const auto bits = static_cast<std::uint16_t>(sample);
                line.push_back(static_cast<unsigned char>(bits & 0xFF));
                line.push_back(static_cast<unsigned char>(bits >> 8));
                if (line.size() == kLineBytes) {
                    if (Status written = flush(); !written) return written;
                }
            }
            return {};
        });
        if (!mixed) return mixed;
        if (!line.empty()) {
            if (Status written = flush(); !written) return written;
        }
        const std::string tail = "];\n";
        return write_all(file, {reinterpret_cast<const unsigned char*>(tail.data()), tail.size()});
    });
}

}  // namespace

std::span<const WebFile> web_files() {
    static const WebFile files[] = {
        {"scope.css", between(lumo_web_scope_css_begin, lumo_web_scope_css_end)},
        {"scope.js", between(lumo_web_scope_js_begin, lumo_web_scope_js_end)},
        {"index.html", between(lumo_web_index_html_begin, lumo_web_index_html_end)},
    };
    return files;
}

std::string base64(std::span<const unsigned char> bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (const std::size_t left = bytes.size() - i; left > 0) {
        const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (left == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += left == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string show_script(std::optional<std::uint64_t> seed, double seconds) {
    std::string text =
        "// The show for the scope page, written by lumo-render --html: its length and, for the time\n"
        "// line, every figure the score plays and when (seconds, start inclusive, end exclusive).\n"
        "var LUMO_SHOW = {\n";
    text += "  \"seed\": " + (seed ? std::to_string(*seed) : std::string("null")) + ",\n";
    text += "  \"sampleRate\": " + std::to_string(kSampleRate) + ",\n";
    char length[32];
    std::snprintf(length, sizeof length, "%.6f", seconds);
    text += "  \"seconds\": " + std::string(length) + ",\n";
    text += "  \"figures\": [\n";
    bool first = true;
    for (const FigureEntry& entry : kFigures) {
        const std::vector<ScoreEvent> events = events_playing(entry.figure);
        if (events.empty()) continue;
        text += first ? "    " : ",\n    ";
        first = false;
        text += "{\"name\": " + quoted(entry.description) + ", \"events\": [";
        for (std::size_t i = 0; i < events.size(); ++i) {
            text += (i ? ", [" : "[") + number(events[i].start) + ", " + number(events[i].end) + "]";
        }
        text += "]}";
    }
    text += "\n  ]\n};\n";
    return text;
}

Status write_html(PreparedShow show, const RenderOptions& options) {
    const std::filesystem::path directory(options.path);
    const double seconds = wav_seconds(options);
    if (Status written = write_audio_script(std::move(show), seconds, (directory / "show-audio.js").string());
        !written) {
        return written;
    }
    if (Status written = write_text((directory / "show.js").string(), show_script(options.seed, seconds));
        !written) {
        return written;
    }
    for (const WebFile& web : web_files()) {
        const std::string_view text(reinterpret_cast<const char*>(web.bytes.data()), web.bytes.size());
        if (Status written = write_text((directory / web.name).string(), text); !written) return written;
    }
    std::fprintf(stderr, "lumo-render: open %s in a browser\n", (directory / "index.html").c_str());
    return {};
}

}  // namespace lumo
