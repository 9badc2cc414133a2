#include "app/render_wav.hpp"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "app/render_files.hpp"
#include "app/render_mix.hpp"
#include "core/clock.hpp"

namespace lumo {

namespace {

void show_progress(std::uint64_t done, std::uint64_t total_frames) {
    std::fprintf(stderr, "\rlumo-render: %.0f of %.0f seconds", static_cast<double>(done) / kSampleRate,
                 static_cast<double>(total_frames) / kSampleRate);
    set_progress_line_open(true);
}

template <class T>
Status write_samples(OfflineMix& mix, SNDFILE* file, const std::string& path, std::uint64_t total_frames) {
    const std::uint64_t progress_every = 10ull * kSampleRate;
    std::uint64_t done = 0;
    Status mixed = mix_frames<T>(mix, total_frames, [&](std::span<const T> out) -> Status {
        sf_count_t written = 0;
        if constexpr (std::is_same_v<T, float>) {
            written = sf_write_float(file, out.data(), static_cast<sf_count_t>(out.size()));
        } else {
            written = sf_write_short(file, out.data(), static_cast<sf_count_t>(out.size()));
        }
        if (written != static_cast<sf_count_t>(out.size())) {
            return Error("cannot write " + path + ": " + sf_strerror(file));
        }
        const std::uint64_t before = done;
        done += out.size() / kChannels;
        if (done / progress_every != before / progress_every || done == total_frames) {
            show_progress(done, total_frames);
        }
        return {};
    });
    if (!mixed) return mixed;
    std::fputc('\n', stderr);
    set_progress_line_open(false);
    return {};
}

}  // namespace

Status write_wav(PreparedShow show, const RenderOptions& options) {
    OfflineMix mix = make_offline_mix(std::move(show), options.buffer_frames);
    const auto total_frames = static_cast<std::uint64_t>(std::llround(wav_seconds(options) * kSampleRate));
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
        Status written = options.format == RenderFormat::F32
                             ? write_samples<float>(mix, file, options.path, total_frames)
                             : write_samples<std::int16_t>(mix, file, options.path, total_frames);
        if (const int closed = sf_close(file); closed != 0 && written) {
            return Error("cannot write " + options.path + ": " + sf_error_number(closed));
        }
        return written;
    });
}

}  // namespace lumo
