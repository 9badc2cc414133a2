#include "app/render_html.hpp"

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <vector>

#include "app/render_files.hpp"
#include "app/render_json.hpp"
#include "assets/assets.hpp"
#include "core/clock.hpp"
#include "scope/gl/shaders.hpp"
#include "scope/scope.hpp"
#include "show/catalogue.hpp"
#include "show/score.hpp"

// The page's bytes, assembled in from web/ (cmake/web.cmake).
extern "C" {
extern const unsigned char lumo_web_index_html_begin[], lumo_web_index_html_end[];
extern const unsigned char lumo_web_scope_js_begin[], lumo_web_scope_js_end[];
extern const unsigned char lumo_web_scope_css_begin[], lumo_web_scope_css_end[];
extern const unsigned char lumo_web_show_worker_js_begin[], lumo_web_show_worker_js_end[];
#if defined(LUMO_WEB_MODULE)
extern const unsigned char lumo_web_module_begin[], lumo_web_module_end[];
#endif
}

namespace lumo {

namespace {

std::span<const unsigned char> between(const unsigned char* begin, const unsigned char* end) {
    return {begin, static_cast<std::size_t>(end - begin)};
}

Status write_text(const std::string& path, std::string_view text) {
    return write_file_replacing(path, [&](const PendingFile& file) {
        return write_all(file, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
    });
}

}  // namespace

std::span<const WebFile> web_files() {
    static const WebFile files[] = {
        {"scope.css", between(lumo_web_scope_css_begin, lumo_web_scope_css_end)},
        {"scope.js", between(lumo_web_scope_js_begin, lumo_web_scope_js_end)},
        {"show-worker.js", between(lumo_web_show_worker_js_begin, lumo_web_show_worker_js_end)},
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

std::span<const unsigned char> web_module() {
#if defined(LUMO_WEB_MODULE)
    return between(lumo_web_module_begin, lumo_web_module_end);
#else
    return {};
#endif
}

// The scope's constants and defaults, from the model itself, so that the page's passes
// cannot drift from the frames lumo-render draws.
void write_scope_model(JsonWriter& json) {
    const ScopeSettings defaults;
    json.key("scope").begin_object();
    json.key("filterLobes").number(std::uint64_t{kScopeFilterLobes});
    json.key("filterShape").number(kScopeFilterShape);
    json.key("narrowestSpot").number(kScopeNarrowestSpot);
    json.key("shortSegment").number(kScopeShortSegment);
    json.key("beamReach").number(kScopeBeamReach);
    json.key("mergeTolerance").number(kScopeMergeTolerance);
    json.key("longestMerge").number(std::uint64_t{kScopeLongestMerge});
    json.key("largestHaloFactor").number(std::uint64_t{kScopeLargestHaloFactor});
    json.key("mostBlurTaps").number(std::uint64_t{kScopeMostBlurTaps});
    json.key("colour").begin_array();
    for (const float channel : kScopePhosphorColour) json.number(channel);
    json.end_array();
    // The screens the page offers, by the names lumo-render --colour takes.
    json.key("colours").begin_object();
    constexpr const char* kPhosphorNames[] = {"p31", "p7", "amber"};  // ScopePhosphor's order
    static_assert(std::size(kPhosphorNames) == std::size(kScopePhosphorColours));
    for (std::size_t i = 0; i < std::size(kPhosphorNames); ++i) {
        json.key(kPhosphorNames[i]).begin_array();
        for (const float channel : kScopePhosphorColours[i]) json.number(channel);
        json.end_array();
    }
    json.end_object();
    json.key("beamSigma").number(defaults.beam_sigma);
    json.key("bloom").number(defaults.bloom);
    json.key("bloomSigma").number(defaults.bloom_sigma);
    json.key("oversampling").number(static_cast<std::uint64_t>(defaults.oversampling));
    json.key("persistence").number(defaults.persistence);
    json.key("exposure").number(defaults.exposure);
    // A still frame is what lumo-render --scope draws: one frame at the default rate after
    // a dark screen's lead-in.
    json.key("stillFps").number(static_cast<std::uint64_t>(defaults.fps));
    json.end_object();
}

std::string show_script(std::optional<std::uint64_t> seed, double seconds) {
    JsonWriter json;
    json.begin_object();
    // Two 32-bit halves: a script's numbers hold 53 bits.
    json.key("seed");
    if (seed) {
        json.begin_array().number(*seed >> 32).number(*seed & 0xFFFFFFFFu).end_array();
    } else {
        json.null();
    }
    json.key("sampleRate").number(std::uint64_t{kSampleRate});
    json.key("seconds").number(seconds);
    write_scope_model(json);
    // The page draws with the GL scope's own shaders: one source for both.
    json.key("shaders").begin_object();
    for (const std::string_view name : kScopeShaderNames) json.key(name).string(scope_shader_text(name));
    json.end_object();
    json.key("figures").begin_array();
    for (const FigureEntry& entry : kFigures) {
        const std::vector<ScoreEvent> events = events_playing(entry.figure);
        if (events.empty()) continue;
        json.begin_object().key("name").string(entry.description).key("events").begin_array();
        for (const ScoreEvent& event : events) json.begin_array().number(event.start).number(event.end).end_array();
        json.end_array().end_object();
    }
    json.end_array().end_object();
    return json_script(
        "The show for the scope page, written by lumo-render --html: its seed (high and low halves; null: each "
        "load draws its own), its length, the scope model's constants and defaults, its GLSL ES 1.00 shaders by "
        "file name and, for the time line, every figure the score plays and when (seconds, start inclusive, end "
        "exclusive).",
        "LUMO_SHOW", json);
}

std::string module_script(std::span<const unsigned char> module) {
    JsonWriter json;
    json.begin_object().key("module").string(base64(module)).key("models").begin_array();
    for (int number = 1; number <= assets::kModelCount; ++number) json.string(assets::model(number));
    json.end_array().end_object();
    return json_script(
        "lumo's show code as WebAssembly (base64) and the models it draws (OBJ text), for the scope page's "
        "Worker; written by lumo-render --html.",
        "LUMO_MODULE", json);
}

Status write_html(PreparedShow, const RenderOptions& options) {
    if (web_module().empty()) return Error("this lumo-render was built without the page's WebAssembly module");
    const std::filesystem::path directory(options.path);
    const double seconds = wav_seconds(options);
    if (Status written = write_text((directory / "show-module.js").string(), module_script(web_module()));
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
