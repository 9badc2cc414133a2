#include "draw/draw.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/clock.hpp"
#include "core/convert.hpp"

namespace lumo {

namespace {

constexpr float kFullScale = 100.0f;

// The grid has 256 positions, so a line never has more than 255 interpolated values.
using LineValues = std::array<float, 255>;

// The values of interpolate_float once its grid ends lo < hi are known: at most hi - lo
// of them, written to `values`; returns how many.
std::size_t interpolate_steps(LineValues& values, float i0, float d0, float i1, float d1, float step, int lo,
                              int hi) {
    const float a = (d1 - d0) / (i1 - i0);
    const auto count = static_cast<std::size_t>(hi - lo);
    // Repeated addition, not d0 + k * a: the figures depend on the rounding this gives.
    float d = d0;
    float x = i0;
    for (std::size_t k = 0; k < count; ++k) {
        x = x + step;
        if (x > i1) return k;
        values[k] = d;
        d = d + a;
    }
    return count;
}

// A true division by 100, not a multiplication by 0.01: the two round differently.
void to_output_units(Point* points, std::size_t count) {
    for_each_index(count, [points](std::size_t i) {
        points[i].x = points[i].x / kFullScale;
        points[i].y = points[i].y / kFullScale;
    });
}

// Writes the first `points` of the drawing, each held `Repeat` samples, and returns the
// number of samples written.  A fixed hold lets the compiler unroll and vectorise the
// loop; `xs` and `ys` are the two separate channels.
template <unsigned Repeat>
std::size_t hold_points(const Point* drawing, std::size_t points, float* __restrict xs, float* __restrict ys) {
    for (std::size_t i = 0; i < points; ++i) {
        const Point p = drawing[i];
        for (std::size_t r = 0; r < Repeat; ++r) {
            xs[i * Repeat + r] = p.x;
            ys[i * Repeat + r] = p.y;
        }
    }
    return points * Repeat;
}

std::size_t hold_points(const Point* drawing, std::size_t points, unsigned repeat, float* __restrict xs,
                        float* __restrict ys) {
    if (repeat == 1) return hold_points<1>(drawing, points, xs, ys);
    if (repeat == 2) return hold_points<2>(drawing, points, xs, ys);
    std::size_t k = 0;
    for (std::size_t i = 0; i < points; ++i) {
        for (unsigned r = 0; r < repeat; ++r, ++k) {
            xs[k] = drawing[i].x;
            ys[k] = drawing[i].y;
        }
    }
    return k;
}

// Writes `count` samples of the drawing to `xs` and `ys`: each point held for `repeat`
// samples, the whole cycled from the start, in output units.  `points` is not empty and
// `repeat` > 0.  The points the slice plays are scaled in place first, each once, however
// often it is heard.
void render(PointList& points, unsigned repeat, std::size_t count, float* xs, float* ys) {
    // The points held in full, then the one the slice ends within, if any.
    const std::size_t whole = std::min(points.size(), count / repeat);
    to_output_units(points.data(), std::min(points.size(), whole + 1));
    std::size_t k = hold_points(points.data(), whole, repeat, xs, ys);
    if (whole < points.size()) {
        for (; k < count; ++k) {
            xs[k] = points[whole].x;
            ys[k] = points[whole].y;
        }
    }
    // A short drawing repeats whole: later samples copy the first cycle.
    const std::size_t cycle = k;
    while (k < count) {
        const std::size_t n = std::min(cycle, count - k);
        std::copy_n(xs, n, xs + k);
        std::copy_n(ys, n, ys + k);
        k += n;
    }
}

}  // namespace

std::vector<float> interpolate_float(float i0, float d0, float i1, float d1, float step) {
    if (i0 == i1) return {d0};
    const int lo = to_grid(i0);
    const int hi = to_grid(i1);
    if (hi <= lo) return {};
    LineValues values;
    const std::size_t count = interpolate_steps(values, i0, d0, i1, d1, step, lo, hi);
    return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count)};
}

PointList create_line_float(float x0, float y0, float x1, float y1, float step) {
    PointList points;
    append_line(points, x0, y0, x1, y1, step);
    return points;
}

void append_line(PointList& drawing, float x0, float y0, float x1, float y1, float step) {
    // Stepped along the major axis u, the other one v interpolated; ties go to y.
    const bool x_major = std::abs(x1 - x0) > std::abs(y1 - y0);
    float u0 = x_major ? x0 : y0;
    float v0 = x_major ? y0 : x0;
    float u1 = x_major ? x1 : y1;
    float v1 = x_major ? y1 : x1;
    if (u0 > u1) {
        std::swap(u0, u1);
        std::swap(v0, v1);
    }
    // The grid positions stepped are those of the interpolation too: a line shorter than
    // one of them (most edges of a small face) ends here, before any division.
    const int first = to_grid(u0);
    const int end = to_grid(u1);
    if (end <= first) return;
    LineValues values;
    const std::size_t count = interpolate_steps(values, u0, v0, u1, v1, step, first, end);
    for (int u = first; u < end; ++u) {
        // The grid position may start before u0 (a fractional or clamped start), so the
        // index can repeat 0 or skip values; positions past the values add nothing.
        const std::size_t k = to_index(static_cast<float>(u) - u0);
        if (k >= count) continue;
        const auto major = static_cast<float>(u);
        drawing.push_back(x_major ? Point{major, values[k]} : Point{values[k], major});
    }
}

PointList draw_points_float(PointList points, unsigned repeat, float seconds) {
    // Any count below one sample, negative and NaN durations included, is an empty slice.
    const std::int32_t n = saturating_cast<std::int32_t>(seconds * kSampleRateFloat);
    if (points.empty() || repeat == 0 || n < 1) return {};

    const auto count = static_cast<std::size_t>(n);
    std::vector<float> xs(count);
    std::vector<float> ys(count);
    render(points, repeat, count, xs.data(), ys.data());
    PointList slice;
    slice.reserve(std::max<std::size_t>(count, 4));
    for (std::size_t k = 0; k < count; ++k) slice.push_back({xs[k], ys[k]});
    return slice;
}

std::size_t heard_points(unsigned repeat) { return repeat == 0 ? 0 : (kSliceSamples + repeat - 1) / repeat; }

void append_slice(ChannelPair& figure, PointList& frame, unsigned repeat) {
    if (!frame.empty() && repeat != 0) {
        const std::size_t begin = figure.size();
        figure.x.resize(begin + kSliceSamples);
        figure.y.resize(begin + kSliceSamples);
        render(frame, repeat, kSliceSamples, figure.x.data() + begin, figure.y.data() + begin);
    }
    frame.clear();
}

}  // namespace lumo
