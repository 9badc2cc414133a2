#include "draw/draw.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/clock.hpp"
#include "core/convert.hpp"

namespace lumo {

namespace {

constexpr float kFullScale = 100.0f;

// Appends `count` samples of the drawing to `slice`: the points scaled to output units,
// each held `repeat` times, cycled from the start.  `points` is not empty; `repeat` and
// `count` are above 0.
void render_slice(const PointList& points, unsigned repeat, std::size_t count, PointList& slice) {
    // The scaled drawing (every point `repeat` times) is not built: element m of it is
    // point m / repeat.  It wraps only when it is shorter than the slice, and the test
    // divides instead of multiplying so that the length cannot overflow a 32-bit size_t.
    const bool wraps = points.size() <= (count - 1) / repeat;
    const std::size_t cycle = wraps ? points.size() * repeat : count;
    // Sized first and written through a plain pointer: appending point by point to a list
    // that may be any caller's figure keeps the compiler from holding its end in a register.
    const std::size_t begin = slice.size();
    slice.resize(begin + count);
    Point* out = slice.data() + begin;
    const Point* in = points.data();
    std::size_t m = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const Point& p = in[m / repeat];
        out[k] = {p.x / kFullScale, p.y / kFullScale};
        if (++m == cycle) m = 0;
    }
}

}  // namespace

std::vector<float> interpolate_float(float i0, float d0, float i1, float d1, float step) {
    if (i0 == i1) return {d0};
    const int lo = to_grid(i0);
    const int hi = to_grid(i1);
    if (hi <= lo) return {};

    const float a = (d1 - d0) / (i1 - i0);
    const int count = hi - lo;
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(count));
    // Repeated addition, not d0 + k * a: the figures depend on the rounding this gives.
    float d = d0;
    float x = i0;
    for (int k = 0; k < count; ++k) {
        x = x + step;
        if (x > i1) break;
        values.push_back(d);
        d = d + a;
    }
    return values;
}

PointList create_line_float(float x0, float y0, float x1, float y1, float step) {
    PointList points;
    if (std::abs(x1 - x0) > std::abs(y1 - y0)) {
        if (x0 > x1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const std::vector<float> ys = interpolate_float(x0, y0, x1, y1, step);
        const int end = to_grid(x1);
        for (int x = to_grid(x0); x < end; ++x) {
            // The grid position may start left of x0 (a fractional or clamped start), so
            // the index can repeat 0 or skip values; positions past the list add nothing.
            const std::size_t k = to_index(static_cast<float>(x) - x0);
            if (k < ys.size()) points.push_back({static_cast<float>(x), ys[k]});
        }
    } else {
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const std::vector<float> xs = interpolate_float(y0, x0, y1, x1, step);
        const int end = to_grid(y1);
        for (int y = to_grid(y0); y < end; ++y) {
            const std::size_t k = to_index(static_cast<float>(y) - y0);
            if (k < xs.size()) points.push_back({xs[k], static_cast<float>(y)});
        }
    }
    return points;
}

PointList draw_points_float(PointList points, unsigned repeat, float seconds) {
    // Any count below one sample, negative and NaN durations included, is an empty slice.
    const std::int32_t n = saturating_cast<std::int32_t>(seconds * kSampleRateFloat);
    if (points.empty() || repeat == 0 || n < 1) return {};

    const std::size_t count = static_cast<std::size_t>(n);
    PointList slice;
    slice.reserve(std::max<std::size_t>(count, 4));
    render_slice(points, repeat, count, slice);
    return slice;
}

void append_slice(PointList& figure, PointList& frame, unsigned repeat) {
    if (!frame.empty() && repeat != 0) render_slice(frame, repeat, kSliceSamples, figure);
    frame.clear();
}

}  // namespace lumo
