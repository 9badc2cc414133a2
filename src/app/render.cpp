#include "app/render.hpp"

#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <vector>

#include "app/glyphs.hpp"
#include "core/clock.hpp"
#include "core/convert.hpp"
#include "core/random.hpp"
#include "show/catalogue.hpp"
#include "show/playback.hpp"

namespace lumo {

namespace {

constexpr const char* kUsage =
    "usage: lumo-render --wav FILE [--seconds S] [--buffer FRAMES] [--format s16|f32] [--seed N]\n"
    "       lumo-render --figures DIR [--seed N]\n"
    "       lumo-render --png DIR [--seed N]";

Error usage_error(const std::string& what) { return Error(what + "\n" + kUsage); }

template <class Number>
std::optional<Number> parse_number(const std::string& text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

// Writes through `write` to a temporary name beside `path`, then renames it into place, so
// that nothing half-written is ever left under the final name.
Status write_atomically(const std::string& path, const std::function<Status(const std::string&)>& write) {
    const std::string temporary = path + ".partial";
    Status written = write(temporary);
    if (!written) {
        std::remove(temporary.c_str());
        return written;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::remove(temporary.c_str());
        return Error("cannot rename " + temporary + " to " + path + ": " + error.message());
    }
    return {};
}

Status ensure_directory(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error || !std::filesystem::is_directory(directory)) {
        return Error("cannot create the directory " + directory + (error ? ": " + error.message() : ""));
    }
    return {};
}

// Whether a file can be created beside `path` (the temporary name is probed and removed).
Status check_writable(const std::string& path) {
    const std::string probe = path + ".partial";
    FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) return Error("cannot write " + path);
    std::fclose(file);
    std::remove(probe.c_str());
    return {};
}

std::string numbered(const std::string& directory, const char* stem, int number, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%02d.%s", stem, number, extension);
    return (std::filesystem::path(directory) / name).string();
}

// The show time of a buffer that starts `frames` frames into the show, read the way the
// playback callback reads the clock: whole seconds plus nanoseconds.
float show_time_at_frame(std::uint64_t frames) {
    const MonotonicInstant origin{0, 0};
    const MonotonicInstant now{static_cast<std::int64_t>(frames / kSampleRate),
                               static_cast<std::uint32_t>((frames % kSampleRate) * 1'000'000'000ull / kSampleRate)};
    return show_time(origin, now);
}

template <class T>
Status render_samples(PlaybackState& state, SNDFILE* file, std::uint64_t total_frames, std::uint32_t buffer_frames) {
    std::vector<T> buffer(static_cast<std::size_t>(buffer_frames) * 2);
    const std::uint64_t progress_every = 10ull * kSampleRate;
    for (std::uint64_t done = 0; done < total_frames;) {
        const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_frames, total_frames - done));
        std::span<T> out(buffer.data(), frames * 2);
        render_buffer<T>(state, out, show_time_at_frame(done));
        sf_count_t written = 0;
        if constexpr (std::is_same_v<T, float>) {
            written = sf_write_float(file, out.data(), static_cast<sf_count_t>(out.size()));
        } else {
            written = sf_write_short(file, out.data(), static_cast<sf_count_t>(out.size()));
        }
        if (written != static_cast<sf_count_t>(out.size())) return Error(sf_strerror(file));
        const std::uint64_t before = done;
        done += frames;
        if (done / progress_every != before / progress_every || done == total_frames) {
            std::fprintf(stderr, "\rlumo-render: %.0f of %.0f seconds", static_cast<double>(done) / kSampleRate,
                         static_cast<double>(total_frames) / kSampleRate);
        }
    }
    std::fputc('\n', stderr);
    return {};
}

// ---- pictures -------------------------------------------------------------------------

struct Image {
    int width;
    int height;
    std::vector<float> rgb;  // linear light, three values a pixel

    Image(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0.0f) {}
    void add(int x, int y, float r, float g, float b) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        float* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        p[0] += r;
        p[1] += g;
        p[2] += b;
    }
};

// Phosphor: each sample leaves a spot, and the beam's path between consecutive samples
// a fainter trace, both adding up; bright where the beam dwells, as on a scope.
void draw_phosphor(Image& image, int left, int top, int size, std::span<const float> xs, std::span<const float> ys,
                   float gain) {
    auto to_pixel = [&](float v, bool vertical) {
        const float unit = std::clamp(v, -1.05f, 1.05f) / 1.05f;
        return vertical ? top + (1.0f - unit) * 0.5f * static_cast<float>(size - 1)
                        : left + (unit + 1.0f) * 0.5f * static_cast<float>(size - 1);
    };
    auto glow = [&](float px, float py, float amount) {
        image.add(saturating_cast<int>(px), saturating_cast<int>(py), 0.25f * amount, amount, 0.3f * amount);
    };
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const float px = to_pixel(xs[k], false), py = to_pixel(ys[k], true);
        glow(px, py, gain);
        if (k == 0) continue;
        const float qx = to_pixel(xs[k - 1], false), qy = to_pixel(ys[k - 1], true);
        const float length = std::hypot(px - qx, py - qy);
        const int steps = std::min(64, saturating_cast<int>(length));
        for (int s = 1; s < steps; ++s) {
            const float t = static_cast<float>(s) / static_cast<float>(steps);
            glow(qx + (px - qx) * t, qy + (py - qy) * t, gain * 0.35f / static_cast<float>(steps));
        }
    }
}

void draw_text(Image& image, int left, int top, const std::string& text) {
    int x = left;
    for (char c : text) {
        if (const auto* rows = glyph(c)) {
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column)
                    if ((*rows)[row][column] == '#') image.add(x + column, top + row, 0.9f, 0.9f, 0.9f);
        }
        x += 6;
    }
}

Status write_png(const Image& image, const std::string& path) {
    return write_atomically(path, [&](const std::string& temporary) -> Status {
        FILE* file = std::fopen(temporary.c_str(), "wb");
        if (!file) return Error("cannot write " + path);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            std::fclose(file);
            return Error("cannot write " + path);
        }
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<std::size_t>(image.width) * 3);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const float* light = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
                // Brightness saturates softly, so dense and sparse drawings both stay
                // readable, and the hue is kept: a bright trace stays green.
                const float peak = std::max({light[0], light[1], light[2]});
                const float scale = peak > 0.0f ? (1.0f - std::exp(-peak)) / peak : 0.0f;
                for (int c = 0; c < 3; ++c) {
                    row[x * 3 + c] = static_cast<png_byte>(saturating_cast<int>(255.0f * light[c] * scale));
                }
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        if (std::fclose(file) != 0) return Error("cannot write " + path);
        return {};
    });
}

// The start of slice i of six, spread evenly over the figure.
std::size_t slice_start(std::size_t length, int i) {
    if (length <= kSliceSamples) return 0;
    return (length - kSliceSamples) * static_cast<std::size_t>(i) / 5;
}

std::string label_of(Figure figure) {
    return "FIGURE " + std::to_string(figure_number(figure)) + "  VOICE " + std::to_string(voice_of(figure)) + "  " +
           description_of(figure);
}

}  // namespace

Result<RenderOptions> parse_render_options(std::span<const std::string> args) {
    RenderOptions options;
    bool have_output = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        static constexpr std::string_view kFlags[] = {"--wav",    "--figures", "--png", "--seconds",
                                                      "--buffer", "--format",  "--seed"};
        if (std::find(std::begin(kFlags), std::end(kFlags), flag) == std::end(kFlags)) {
            return usage_error("unknown option \"" + flag + "\"");
        }
        if (i + 1 >= args.size()) return usage_error("missing value after " + flag);
        const std::string& value = args[++i];
        if (flag == "--wav" || flag == "--figures" || flag == "--png") {
            if (have_output) return usage_error("give one of --wav, --figures and --png");
            have_output = true;
            options.output = flag == "--wav"       ? RenderOptions::Output::Wav
                             : flag == "--figures" ? RenderOptions::Output::Figures
                                                   : RenderOptions::Output::Png;
            options.path = value;
        } else if (flag == "--seconds") {
            const auto seconds = parse_number<double>(value);
            if (!seconds || !(*seconds >= 0.0) || *seconds > 3600.0) {
                return usage_error("--seconds takes a number of seconds from 0 to 3600, not \"" + value + "\"");
            }
            options.seconds = *seconds;
        } else if (flag == "--buffer") {
            const auto frames = parse_number<std::uint32_t>(value);
            if (!frames || *frames == 0 || *frames > 1u << 20) {
                return usage_error("--buffer takes a frame count from 1 to 1048576, not \"" + value + "\"");
            }
            options.buffer_frames = *frames;
        } else if (flag == "--format") {
            if (value == "s16") {
                options.format = RenderFormat::S16;
            } else if (value == "f32") {
                options.format = RenderFormat::F32;
            } else {
                return usage_error("--format takes s16 or f32, not \"" + value + "\"");
            }
        } else {  // --seed
            const auto seed = parse_number<std::uint64_t>(value);
            if (!seed) return usage_error("--seed takes a whole number, not \"" + value + "\"");
            options.seed = *seed;
        }
    }
    if (!have_output) return usage_error("nothing to render");
    if (options.path.empty()) return usage_error("the output path is empty");
    return options;
}

Status render_wav(PreparedShow show, const RenderOptions& options) {
    const std::size_t max_samples = static_cast<std::size_t>(options.buffer_frames) * 2;
    PlaybackState state =
        make_playback_state(MonotonicInstant{0, 0}, std::move(show.voice_figures), show.score, max_samples);
    show.score.reset();
    const auto total_frames = static_cast<std::uint64_t>(std::llround(options.seconds * kSampleRate));
    return write_atomically(options.path, [&](const std::string& temporary) -> Status {
        SF_INFO info{};
        info.samplerate = kSampleRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | (options.format == RenderFormat::F32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
        SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
        if (!file) return Error("cannot write " + options.path + ": " + sf_strerror(nullptr));
        Status rendered = options.format == RenderFormat::F32
                              ? render_samples<float>(state, file, total_frames, options.buffer_frames)
                              : render_samples<std::int16_t>(state, file, total_frames, options.buffer_frames);
        if (sf_close(file) != 0 && rendered) return Error("cannot write " + options.path);
        return rendered;
    });
}

Status write_figures(const PreparedShow& show, const std::string& directory) {
    if (Status made = ensure_directory(directory); !made) return made;
    for (const FigureEntry& entry : kFigures) {
        const ChannelPair& pair = channels_of(show, entry.figure);
        const std::string path = numbered(directory, "figure", figure_number(entry.figure), "f32");
        Status written = write_atomically(path, [&](const std::string& temporary) -> Status {
            FILE* file = std::fopen(temporary.c_str(), "wb");
            if (!file) return Error("cannot write " + path);
            std::vector<unsigned char> bytes(pair.x.size() * 8);
            auto put = [&bytes](std::size_t at, float v) {
                const auto bits = std::bit_cast<std::uint32_t>(v);
                for (int b = 0; b < 4; ++b) bytes[at + b] = static_cast<unsigned char>(bits >> (8 * b));
            };
            for (std::size_t i = 0; i < pair.x.size(); ++i) {
                put(i * 8, pair.x[i]);
                put(i * 8 + 4, pair.y[i]);
            }
            const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            if (std::fclose(file) != 0 || !ok) return Error("cannot write " + path);
            return {};
        });
        if (!written) return written;
    }
    return {};
}

Status write_pictures(const PreparedShow& show, const std::string& directory) {
    if (Status made = ensure_directory(directory); !made) return made;
    constexpr int kPanel = 256, kGap = 4, kLabel = 14;
    constexpr int kCell = 200, kColumns = 6, kRows = 5, kCellLabel = 22;
    Image sheet(kColumns * (kCell + kGap) + kGap, kRows * (kCell + kCellLabel + kGap) + kGap);
    for (const FigureEntry& entry : kFigures) {
        const Figure figure = entry.figure;
        const int number = figure_number(figure);
        const ChannelPair& pair = channels_of(show, figure);
        const std::size_t length = pair.x.size();
        Image strip(6 * (kPanel + kGap) + kGap, kPanel + kLabel + kGap);
        draw_text(strip, kGap, 4, label_of(figure));
        const int cell_left = kGap + ((number - 1) % kColumns) * (kCell + kGap);
        const int cell_top = kGap + ((number - 1) / kColumns) * (kCell + kCellLabel + kGap);
        for (int i = 0; i < 6 && length > 0; ++i) {
            const std::size_t start = slice_start(length, i);
            const std::size_t count = std::min(kSliceSamples, length - start);
            const std::span<const float> xs(pair.x.data() + start, count), ys(pair.y.data() + start, count);
            draw_phosphor(strip, kGap + i * (kPanel + kGap), kLabel, kPanel, xs, ys, 0.5f);
            draw_phosphor(sheet, cell_left, cell_top, kCell, xs, ys, 0.12f);
        }
        draw_text(sheet, cell_left, cell_top + kCell + 2, std::to_string(number) + " / VOICE " +
                                                              std::to_string(voice_of(figure)));
        draw_text(sheet, cell_left, cell_top + kCell + 12, description_of(figure));
        if (Status written = write_png(strip, numbered(directory, "figure", number, "png")); !written) return written;
    }
    return write_png(sheet, (std::filesystem::path(directory) / "show.png").string());
}

int run_render(std::span<const std::string> args) {
    Result<RenderOptions> parsed = parse_render_options(args);
    if (!parsed) {
        std::cerr << "Error: " << parsed.error().report() << "\n";
        return 1;
    }
    const RenderOptions& options = parsed.value();
    // Preparing the show takes a while: find an unwritable destination before that.
    Status writable = options.output == RenderOptions::Output::Wav ? check_writable(options.path)
                                                                   : ensure_directory(options.path);
    if (!writable) {
        std::cerr << "Error: " << writable.error().report() << "\n";
        return 1;
    }
    RandomEngine random = options.seed ? RandomEngine(*options.seed) : seeded_from_system();
    std::fprintf(stderr, "lumo-render: preparing the show\n");
    PreparedShow show = prepare_show(random);
    Status done;
    switch (options.output) {
        case RenderOptions::Output::Wav: done = render_wav(std::move(show), options); break;
        case RenderOptions::Output::Figures: done = write_figures(show, options.path); break;
        case RenderOptions::Output::Png: done = write_pictures(show, options.path); break;
    }
    if (!done) {
        std::cerr << "Error: " << done.error().report() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace lumo
