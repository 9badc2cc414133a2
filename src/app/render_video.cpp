#include "app/render_video.hpp"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "app/render_encoder.hpp"
#include "app/render_files.hpp"
#include "app/render_mix.hpp"
#include "scope/scope.hpp"
#if LUMO_GPU
#include "scope/gl/gl_scope.hpp"
#include "screen/offscreen.hpp"
#endif

namespace lumo {

namespace {

#if !LUMO_GPU
// A build without GL ES never draws on the GPU: what write_frames would call on it.
struct GlScope {
    void clear() {}
    void expose(const StereoSamples&, std::int64_t) {}
    RgbImage picture() { return {}; }
};
#endif

// The samples go to ffmpeg and come back as they are in memory.
static_assert(std::endian::native == std::endian::little, "ffmpeg reads the samples as f32le");

constexpr std::size_t kFrameBytes = kChannels * sizeof(float);

// Which stretches of the show the video needs, in sample numbers.
struct VideoSpan {
    ScopeSettings settings;
    std::int64_t frame_samples;
    std::int64_t frames;
    std::int64_t from;         // the video's time 0
    std::int64_t sound_first;  // the sound file starts here: the first frame's lead-in
    std::int64_t sound_end;    // and ends with the time the last frame is shown
};

// `length`: the seconds of sound there are (the show's, or the file's).
VideoSpan video_span(const RenderOptions& options, int sample_rate, double length) {
    VideoSpan span;
    span.settings = scope_settings(options, sample_rate, options.size);
    span.frame_samples = scope_frame_samples(span.settings);
    span.frames = video_frames(options, length);
    span.from = scope_sample_at(options.from, sample_rate);
    span.sound_first = span.from - (scope_lead_in_frames(span.settings) + 1) * span.frame_samples - kScopeFilterLobes;
    span.sound_end = span.from + span.frames * span.frame_samples;
    // The last frame's filter context is in the sound: a frame is at least 8000 / 240
    // samples long.
    static_assert(kScopeFilterLobes < kScopeLowestRate / 240);
    return span;
}

// Fills `interleaved` with the frames from `first` on.
using SoundSource = std::function<Status(std::int64_t first, std::span<float> interleaved)>;

class Progress {
public:
    explicit Progress(double seconds) : seconds_(seconds), start_(std::chrono::steady_clock::now()) {}

    void show(const char* what, double done) {
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(stderr, "\rlumo-render: %s %.0f of %.0f seconds, %.1f× real time ", what, done, seconds_,
                     wall > 0.0 ? done / wall : 0.0);
        set_progress_line_open(true);
    }
    void end() {
        std::fputc('\n', stderr);
        set_progress_line_open(false);
    }

private:
    double seconds_;
    std::chrono::steady_clock::time_point start_;
};

// The show's samples, silence before the show starts.
SoundSource show_sound(OfflineMix& mix, MixWindow& window) {
    return [&mix, &window](std::int64_t first, std::span<float> piece) -> Status {
        const std::int64_t end = first + static_cast<std::int64_t>(piece.size() / kChannels);
        mix_until(mix, window, first, end);
        std::fill(piece.begin(), piece.end(), 0.0f);
        const std::int64_t from = std::max(first, window.first);
        if (from < end) {
            std::copy_n(window.interleaved.begin() + static_cast<std::ptrdiff_t>((from - window.first) * kChannels),
                        (end - from) * kChannels, piece.begin() + static_cast<std::ptrdiff_t>((from - first) * kChannels));
        }
        return {};
    };
}

// The samples from span.sound_first to span.sound_end into `sound` (just made, so written
// from its start on), a piece at a time.
Status write_sound(const SoundSource& source, int sound, const VideoSpan& span) {
    constexpr std::int64_t kPiece = 65536;  // frames
    std::vector<float> piece;
    for (std::int64_t first = span.sound_first; first < span.sound_end; first += kPiece) {
        const std::int64_t end = std::min(first + kPiece, span.sound_end);
        piece.resize(static_cast<std::size_t>(end - first) * kChannels);
        if (Status filled = source(first, piece); !filled) return filled;
        const int error = write_fully(sound, {reinterpret_cast<const unsigned char*>(piece.data()),
                                              piece.size() * sizeof(float)});
        if (error != 0) return Error(std::string("cannot write the sound's scratch file: ") + std::strerror(error));
    }
    return {};
}

// Frames [first, end) of the sound file.
Status read_sound(int sound, const VideoSpan& span, std::int64_t first, std::int64_t end, std::vector<float>& out) {
    out.resize(static_cast<std::size_t>(end - first) * kChannels);
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    std::size_t count = out.size() * sizeof(float);
    std::int64_t offset = (first - span.sound_first) * static_cast<std::int64_t>(kFrameBytes);
    while (count > 0) {
        const ssize_t got = ::pread(sound, bytes, count, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Error(std::string("cannot read the sound's scratch file: ") + std::strerror(errno));
        bytes += got;
        count -= static_cast<std::size_t>(got);
        offset += got;
    }
    return {};
}

// The frames into the encoder: frame k ends at `from` + k frames.  The screen starts with
// the glow of the frames before the first, as a frame of --scope does.
// With `gpu` the frames are drawn by the GL ES scope instead of the CPU model.
Status write_frames(const EncoderProcess& encoder, int sound, const VideoSpan& span, int fps, GlScope* gpu) {
    ScopeScreen screen = gpu ? ScopeScreen{} : make_scope_screen(span.settings);
    if (gpu) gpu->clear();
    std::vector<float> samples;
    std::vector<std::uint8_t> picture;
    Progress progress(static_cast<double>(span.frames) / fps);
    for (std::int64_t k = -scope_lead_in_frames(span.settings); k < span.frames; ++k) {
        const std::int64_t end = span.from + k * span.frame_samples;
        const std::int64_t first = end - span.frame_samples - kScopeFilterLobes;
        if (Status read = read_sound(sound, span, first, end + kScopeFilterLobes, samples); !read) return read;
        gpu ? gpu->expose({samples, first}, end) : expose_scope_frame(screen, {samples, first}, end, span.settings);
        if (k < 0) continue;
        if (gpu) {
            video_frame_of(gpu->picture(), picture);
        } else {
            develop_scope_video_frame(screen, span.settings, picture);
        }
        if (Status written = write_to_encoder(encoder, picture); !written) return written;
        if ((k + 1) % fps == 0 || k + 1 == span.frames) progress.show("video", static_cast<double>(k + 1) / fps);
    }
    progress.end();
    return {};
}

}  // namespace

std::vector<std::string> video_encoder_arguments(const RenderOptions& options, const std::string& output,
                                                 int sample_rate) {
    const std::string size = std::to_string(options.size) + "x" + std::to_string(options.size);
    std::vector<std::string> arguments = {
        "-hide_banner", "-nostdin", "-loglevel", "error", "-nostats",
        // The pictures on standard input, already in the 4:2:0 form that every player plays
        // (so ffmpeg converts nothing), the sound on descriptor 3.
        "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", size, "-r", std::to_string(options.fps), "-i", "pipe:0",
        "-f", "f32le", "-ar", std::to_string(sample_rate), "-ac", "2", "-i", "pipe:3",
        "-map", "0:v:0", "-map", "1:a:0",
        // A thin bright trace on black needs a low CRF to stay sharp.  The fastest preset:
        // at this CRF it is as close to the frames as the slower ones (a bigger file, not a
        // worse picture), at a third of their time, which at 1080 px and 60 fps is most of
        // the video's.  The video says its matrix is BT.601, as it is: players would take
        // a picture this size for BT.709.
        "-c:v", "libx264", "-preset", "ultrafast", "-crf", "18", "-pix_fmt", "yuv420p",
        "-colorspace", "smpte170m", "-color_range", "tv"};
    if (options.path.ends_with(".mkv")) {
        // Lossless to 24 bits at the sound's own rate: the sound can drive a real scope.
        for (const char* a : {"-c:a", "flac", "-sample_fmt", "s32", "-f", "matroska"}) arguments.emplace_back(a);
    } else {
        for (const char* a : {"-c:a", "aac", "-b:a", "256k", "-ar", "48000", "-movflags", "+faststart", "-f", "mp4"}) {
            arguments.emplace_back(a);
        }
    }
    // "file:" keeps a name with a colon from being read as a protocol.
    arguments.emplace_back("-y");
    arguments.push_back("file:" + output);
    return arguments;
}

namespace {

// The video of a sound at `sample_rate`, `length` seconds of it.  `fill` writes the sound
// into the scratch file (mixing the show, say) once it is there.
Status write_video_of(const RenderOptions& options, int sample_rate, double length,
                      const std::function<Status(const VideoSpan&, int sound)>& fill) {
    const Result<std::string> ffmpeg = find_program(kVideoEncoder);
    if (!ffmpeg) return ffmpeg.error();
    const VideoSpan span = video_span(options, sample_rate, length);
#if LUMO_GPU
    std::unique_ptr<OffscreenGl> context;
    std::unique_ptr<GlScope> gpu;
    if (options.gpu) {
        Result<std::unique_ptr<OffscreenGl>> made = OffscreenGl::make();
        if (!made) return made.error();
        context = std::move(made).value();
        Result<std::unique_ptr<GlScope>> scope = GlScope::make(span.settings);
        if (!scope) return scope.error();
        gpu = std::move(scope).value();
    }
    GlScope* drawer = gpu.get();
#else
    if (options.gpu) return Error("this lumo-render was built without GL ES, so --gpu is not available");
    GlScope* drawer = nullptr;
#endif
    Result<int> scratch = open_scratch_file(options.path);
    if (!scratch) return scratch.error();
    const int sound = scratch.value();
    Status done = [&]() -> Status {
        if (Status written = fill(span, sound); !written) return written;
        // ffmpeg reads the sound from the video's time 0 on.
        if (::lseek(sound, (span.from - span.sound_first) * static_cast<std::int64_t>(kFrameBytes), SEEK_SET) < 0) {
            return Error(std::string("cannot read the sound's scratch file: ") + std::strerror(errno));
        }
        return write_file_replacing(options.path, [&](const PendingFile& pending) -> Status {
            Result<EncoderProcess> started =
                start_encoder(ffmpeg.value(), video_encoder_arguments(options, pending.temporary, sample_rate), sound);
            if (!started) return started.error();
            EncoderProcess& encoder = started.value();
            if (Status written = write_frames(encoder, sound, span, options.fps, drawer); !written) {
                stop_encoder(encoder);
                return written.error().context("cannot write " + options.path);
            }
            if (Status finished = finish_encoder(encoder); !finished) {
                return finished.error().context("cannot write " + options.path);
            }
            return {};
        });
    }();
    ::close(sound);
#if LUMO_GPU
    gpu.reset();  // while its context is still current
#endif
    return done;
}

}  // namespace

Status write_video(PreparedShow show, const RenderOptions& options) {
    return write_video_of(options, kScopeSampleRate, kShowSeconds, [&](const VideoSpan& span, int sound) {
        std::fprintf(stderr, "lumo-render: mixing the sound\n");
        OfflineMix mix = make_offline_mix(std::move(show));
        MixWindow window{{}, 0};
        return write_sound(show_sound(mix, window), sound, span);
    });
}

Status write_input_video(WavStream& input, const RenderOptions& options) {
    const double length = static_cast<double>(input.frames()) / input.sample_rate();
    if (video_frames(options, length) < 1) {
        return Error("--video has less than one frame to show: " + input.name() + " is " + std::to_string(length) +
                     " seconds long");
    }
    if (Status fits = check_scope_settings(scope_settings(options, input.sample_rate(), options.size)); !fits) {
        return Error(input.name() + ": " + fits.error().message());
    }
    return write_video_of(options, input.sample_rate(), length, [&](const VideoSpan& span, int sound) {
        std::fprintf(stderr, "lumo-render: reading %s\n", input.name().c_str());
        return write_sound([&](std::int64_t first, std::span<float> piece) { return input.read(first, piece); },
                           sound, span);
    });
}

}  // namespace lumo
