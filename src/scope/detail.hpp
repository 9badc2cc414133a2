// The scope model's internals, shared by its files: kernel tables, the beam's path, the
// row bands threads split a picture into and the video frame's colours.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/points.hpp"
#include "core/threads.hpp"
#include "scope/scope.hpp"

namespace lumo::scope_detail {

// exp, sin and the Bessel function I₀ in double from their series, with + − × ÷ only (and
// the exactly rounded sqrt): libm differs between platforms in the last bit, and the
// pictures must not.
double exp_series(double x);
double sin_series(double x);
double bessel_i0_series(double x);

// d = exp(−1 / (fps · τ)), the glow a frame keeps of the frame before.
float frame_decay(const ScopeSettings& settings);

// The beam's positions in pixels (x right, y down) at the times first, first + 1/U, …,
// end of the sample clock (U = oversampling): (end − first) × U + 1 points.
PointList beam_path(const StereoSamples& samples, std::int64_t first, std::int64_t end,
                    const ScopeSettings& settings);

// Rows are dealt to threads in bands of this many, round robin, so a figure in one part of
// the picture still keeps every thread busy.
inline constexpr int kBandRows = 8;

// Calls row(r) for the rows lo … hi that belong to band `band` of `bands`.
template <class Row> void for_band_rows(int lo, int hi, int band, int bands, const Row& row) {
    int block = lo / kBandRows;
    block += (band - block % bands + bands) % bands;
    for (; block * kBandRows <= hi; block += bands) {
        const int first = std::max(lo, block * kBandRows);
        const int last = std::min(hi, block * kBandRows + kBandRows - 1);
        for (int r = first; r <= last; ++r) row(r);
    }
}

// Adds the segments of `path`, each carrying `energy`, to the rows of `glow` (size × size)
// that belong to band `band` of `bands`, after scaling those rows by `keep`.
void draw_path(std::span<float> glow, int size, std::span<const Point> path, float energy, float sigma_pixels,
               float keep, int band, int bands);

// Runs work(0) … work(bands − 1), one thread each, the calling thread among them.
template <class Work> void run_bands(int bands, const Work& work) {
    run_on_threads(static_cast<std::size_t>(bands), static_cast<unsigned>(bands),
                   [&work](std::size_t band) { work(static_cast<int>(band)); });
}

// The number of bands `settings` asks for: its threads, or one per core.
int band_count(const ScopeSettings& settings);

// BT.601 at studio range (what ffmpeg's own conversion of RGB gives, and the video says it
// is), in the usual 8-bit integer form: the luma of one pixel, the colour differences of
// the sums of a 2 × 2 block.
inline constexpr std::uint8_t kBlackLuma = 16;
inline constexpr std::uint8_t kNoColour = 128;
inline std::uint8_t luma(int r, int g, int b) {
    return static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline std::uint8_t blue_difference(int r, int g, int b) {
    return static_cast<std::uint8_t>(((-38 * r - 74 * g + 112 * b + 512) >> 10) + 128);
}
inline std::uint8_t red_difference(int r, int g, int b) {
    return static_cast<std::uint8_t>(((112 * r - 94 * g - 18 * b + 512) >> 10) + 128);
}

}  // namespace lumo::scope_detail
