#include "app/render_wav.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <vector>

#include "app/render_files.hpp"
#include "core/clock.hpp"
#include "show/playback.hpp"

namespace lumo {

namespace {

// The show time of a buffer that starts `frames` frames into the show, read the way the
// playback callback reads the clock: whole seconds plus nanoseconds.
float show_time_at_frame(std::uint64_t frames) {
    const MonotonicInstant origin{0, 0};
    const MonotonicInstant now{static_cast<std::int64_t>(frames / kSampleRate),
                               static_cast<std::uint32_t>((frames % kSampleRate) * 1'000'000'000ull / kSampleRate)};
    return show_time(origin, now);
}

void show_progress(std::uint64_t done, std::uint64_t total_frames) {
    std::fprintf(stderr, "\rlumo-render: %.0f of %.0f seconds", static_cast<double>(done) / kSampleRate,
                 static_cast<double>(total_frames) / kSampleRate);
    set_progress_line_open(true);
}

template <class T>
Status write_samples(PreparedShow show, SNDFILE* file, const RenderOptions& options) {
    const auto total_frames = static_cast<std::uint64_t>(std::llround(options.seconds * kSampleRate));
    const std::uint64_t progress_every = 10ull * kSampleRate;
    std::uint64_t done = 0;
    Status written = render_show_buffers<T>(
        std::move(show), options.seconds, options.buffer_frames, [&](std::span<const T> out) -> Status {
            sf_count_t count = 0;
            if constexpr (std::is_same_v<T, float>) {
                count = sf_write_float(file, out.data(), static_cast<sf_count_t>(out.size()));
            } else {
                count = sf_write_short(file, out.data(), static_cast<sf_count_t>(out.size()));
            }
            if (count != static_cast<sf_count_t>(out.size())) {
                return Error("cannot write " + options.path + ": " + sf_strerror(file));
            }
            const std::uint64_t before = done;
            done += out.size() / kChannels;
            if (done / progress_every != before / progress_every || done == total_frames) {
                show_progress(done, total_frames);
            }
            return {};
        });
    if (!written) return written;
    std::fputc('\n', stderr);
    set_progress_line_open(false);
    return {};
}

}  // namespace

template <class T>
Status render_show_buffers(PreparedShow show, double seconds, std::uint32_t buffer_frames,
                           const std::function<Status(std::span<const T>)>& take) {
    const std::size_t max_samples = static_cast<std::size_t>(buffer_frames) * kChannels;
    PlaybackState state =
        make_playback_state(MonotonicInstant{0, 0}, std::move(show.voice_figures), show.score, max_samples);
    show.score.reset();
    const auto total_frames = static_cast<std::uint64_t>(std::llround(seconds * kSampleRate));
    std::vector<T> buffer(max_samples);
    for (std::uint64_t done = 0; done < total_frames;) {
        const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_frames, total_frames - done));
        std::span<T> out(buffer.data(), frames * kChannels);
        render_buffer<T>(state, out, show_time_at_frame(done));
        if (Status taken = take(out); !taken) return taken;
        done += frames;
    }
    return {};
}

template Status render_show_buffers<float>(PreparedShow, double, std::uint32_t,
                                           const std::function<Status(std::span<const float>)>&);
template Status render_show_buffers<std::int16_t>(PreparedShow, double, std::uint32_t,
                                                  const std::function<Status(std::span<const std::int16_t>)>&);

Status write_wav(PreparedShow show, const RenderOptions& options) {
    return write_file_replacing(options.path, [&](const PendingFile& pending) -> Status {
        SF_INFO info{};
        info.samplerate = static_cast<int>(kSampleRate);
        info.channels = static_cast<int>(kChannels);
        info.format = SF_FORMAT_WAV | (options.format == RenderFormat::F32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
        SNDFILE* file = sf_open_fd(pending.descriptor, SFM_WRITE, &info, SF_FALSE);
        if (!file) return Error("cannot write " + options.path + ": " + sf_strerror(nullptr));
        // A float file's PEAK chunk carries the time it was written; without it the same
        // show gives the same bytes.
        sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        Status written = options.format == RenderFormat::F32 ? write_samples<float>(std::move(show), file, options)
                                                             : write_samples<std::int16_t>(std::move(show), file, options);
        if (const int closed = sf_close(file); closed != 0 && written) {
            return Error("cannot write " + options.path + ": " + sf_error_number(closed));
        }
        return written;
    });
}

}  // namespace lumo
