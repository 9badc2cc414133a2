#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "core/convert.hpp"
#include "scope/detail.hpp"

namespace lumo::scope_detail {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kSqrt2 = 1.41421356f;
constexpr float kSqrt2Pi = 2.50662827f;

// The kernels are plain arithmetic rather than libm calls or tables, so that they give the
// same bits everywhere and the compiler can run several pixels at once (it does so only
// where they are inlined, hence `inline`).

// erf by Abramowitz and Stegun 7.1.28: 1 − 1 / (1 + a₁x + … + a₆x⁶)¹⁶, error below 3e-7.
// Large |x| overflows the power to infinity, which gives ±1 as it should.
inline float erf_approx(float x) {
    const float a = std::fabs(x);
    float p = 1.0f + a * (0.0705230784f + a * (0.0422820123f + a * (0.0092705272f +
                      a * (0.0001520143f + a * (0.0002765672f + a * 0.0000430638f)))));
    p = p * p;
    p = p * p;
    p = p * p;
    p = p * p;
    return std::copysign(1.0f - 1.0f / p, x);
}

// e^(−q) as 1 / (e^(q/32))³², the inner exponential a six-term series: relative error below
// 3e-6 for |q| ≤ 8, where the beam is drawn (1e-5 for |q| ≤ 12); large q gives 0.
inline float exp_negative(float q) {
    const float y = q * (1.0f / 32.0f);
    float e = 1.0f + y * (1.0f + y * (0.5f + y * (1.0f / 6.0f + y * (1.0f / 24.0f +
                      y * (1.0f / 120.0f + y * (1.0f / 720.0f))))));
    e = e * e;
    e = e * e;
    e = e * e;
    e = e * e;
    e = e * e;
    return 1.0f / e;
}

// Pixels are computed in groups of this many, each group a value (so nothing aliases) that
// the compiler runs a few lanes at a time.
constexpr int kLanes = 8;
using Lanes = std::array<float, kLanes>;

// e^(−((first + i) · scale)²) for i < count into out, then zeros up to a whole group of four.
// Neighbouring samples of a Gaussian differ by a factor that itself shrinks by e^(−2·scale²)
// each step, so two exponentials make the whole row.
void gauss_factors(float first, int count, float scale, float step_ratio, float* out) {
    const float d = first * scale;
    float value = exp_negative(d * d);
    float ratio = exp_negative((2.0f * first + 1.0f) * scale * scale);
    for (int i = 0; i < count; ++i) {
        out[i] = value;
        value = value * ratio;
        ratio = ratio * step_ratio;
    }
    for (int i = count; i % 4 != 0; ++i) out[i] = 0.0f;
}

// A segment as the kernels see it: from a, along (ux, uy), `span` long in units of σ√2.
struct Segment {
    float ax;
    float ux;
    float uy;
    float scale;
    float span;
    float factor;  // E / L / (2σ√(2π))
};

// The closed form at the pixels x … x + kLanes − 1 of a row `dy` below a.
Lanes segment_lanes(const Segment& s, int x, float dy) {
    Lanes light;
    for (int i = 0; i < kLanes; ++i) {
        const float dx = static_cast<float>(x + i) + 0.5f - s.ax;
        const float along = (dx * s.ux + dy * s.uy) * s.scale;
        const float across = (dy * s.ux - dx * s.uy) * s.scale;
        light[i] = s.factor * exp_negative(across * across) * (erf_approx(along) - erf_approx(along - s.span));
    }
    return light;
}

// erf_approx is exactly ±1 in float from |x| = 3.935 on.
constexpr float kErfSaturates = 4.0f;

// segment_lanes where every pixel lies far inside the segment's length, so that the erf
// difference is exactly 2: the same bits for a third of the work, on long fast moves.
Lanes segment_middle_lanes(const Segment& s, int x, float dy) {
    Lanes light;
    for (int i = 0; i < kLanes; ++i) {
        const float dx = static_cast<float>(x + i) + 0.5f - s.ax;
        const float across = (dy * s.ux - dx * s.uy) * s.scale;
        light[i] = s.factor * exp_negative(across * across) * 2.0f;
    }
    return light;
}

float along_at(const Segment& s, int x, float dy) {
    const float dx = static_cast<float>(x) + 0.5f - s.ax;
    return (dx * s.ux + dy * s.uy) * s.scale;
}

int first_pixel(float edge) { return std::max(0, saturating_cast<int>(std::ceil(edge - 0.5f))); }
int last_pixel(float edge, int size) { return std::min(size - 1, saturating_cast<int>(std::floor(edge - 0.5f))); }

struct Beam {
    std::span<float> glow;
    int size;
    float reach;          // pixels drawn around a segment
    float scale;          // 1 / (σ√2): distances in the kernels' units
    float spot;           // E / (2πσ²)
    float line;           // E / (2σ√(2π))
    float short_segment;  // segments shorter than this are drawn as spots
    float step_ratio;     // e^(−2·scale²)
    std::span<float> across;  // room for a spot's column factors
    std::span<float> down;    // and its row factors
    int band;
    int bands;
};

// A segment much shorter than the spot: the plain Gaussian at its midpoint, the product of
// a factor per column and a factor per row.
void draw_spot(const Beam& beam, Point c) {
    const int x0 = first_pixel(c.x - beam.reach);
    const int x1 = last_pixel(c.x + beam.reach, beam.size);
    const int y0 = first_pixel(c.y - beam.reach);
    const int y1 = last_pixel(c.y + beam.reach, beam.size);
    if (x0 > x1 || y0 > y1) return;
    const int columns = x1 - x0 + 1;
    float* across = beam.across.data();
    float* down = beam.down.data();
    gauss_factors(static_cast<float>(x0) + 0.5f - c.x, columns, beam.scale, beam.step_ratio, across);
    gauss_factors(static_cast<float>(y0) + 0.5f - c.y, y1 - y0 + 1, beam.scale, beam.step_ratio, down);
    // Whole groups of four columns where the row has room: the columns past the spot
    // weigh 0, and adding 0 leaves a pixel as it was.
    const int grouped = (columns + 3) / 4 * 4;
    const bool whole_groups = x0 + grouped <= beam.size;
    for_band_rows(y0, y1, beam.band, beam.bands, [&](int r) {
        float* row = &beam.glow[static_cast<std::size_t>(r) * static_cast<std::size_t>(beam.size) +
                                static_cast<std::size_t>(x0)];
        const float weight = beam.spot * down[r - y0];
        if (whole_groups) {
            for (int g = 0; g < grouped; g += 4) {
                for (int i = 0; i < 4; ++i) row[g + i] += weight * across[g + i];
            }
        } else {
            for (int i = 0; i < columns; ++i) row[i] += weight * across[i];
        }
    });
}

// Narrows [lo, hi] to the X with c·X in [m, M].
void limit(float c, float m, float big_m, float& lo, float& hi) {
    if (c > 0.0f) {
        lo = std::max(lo, m / c);
        hi = std::min(hi, big_m / c);
    } else if (c < 0.0f) {
        lo = std::max(lo, big_m / c);
        hi = std::min(hi, m / c);
    } else if (m > 0.0f || big_m < 0.0f) {
        hi = -std::numeric_limits<float>::infinity();
    }
}

// The pixels within `reach` across the segment and along it (the GPU's quad), each given
// the closed-form integral of the spot along the segment.
void draw_segment(const Beam& beam, Point a, Point b, float length) {
    const float ux = (b.x - a.x) / length;
    const float uy = (b.y - a.y) / length;
    const Segment segment{a.x, ux, uy, beam.scale, length * beam.scale, beam.line / length};
    for_band_rows(first_pixel(std::min(a.y, b.y) - beam.reach), last_pixel(std::max(a.y, b.y) + beam.reach, beam.size),
                  beam.band, beam.bands, [&](int r) {
                      const float dy = static_cast<float>(r) + 0.5f - a.y;
                      float lo = -std::numeric_limits<float>::infinity();
                      float hi = std::numeric_limits<float>::infinity();
                      limit(-uy, -beam.reach - dy * ux, beam.reach - dy * ux, lo, hi);
                      limit(ux, -beam.reach - dy * uy, length + beam.reach - dy * uy, lo, hi);
                      if (!(lo <= hi)) return;
                      const int x0 = first_pixel(a.x + lo);
                      const int x1 = last_pixel(a.x + hi, beam.size);
                      float* row = &beam.glow[static_cast<std::size_t>(r) * static_cast<std::size_t>(beam.size)];
                      for (int x = x0; x <= x1; x += kLanes) {
                          const float first = along_at(segment, x, dy);
                          const float last = along_at(segment, x + kLanes - 1, dy);
                          const bool middle = std::min(first, last) >= kErfSaturates &&
                                              std::max(first, last) - segment.span <= -kErfSaturates;
                          const Lanes light = middle ? segment_middle_lanes(segment, x, dy)
                                                     : segment_lanes(segment, x, dy);
                          if (x1 - x + 1 >= kLanes) {
                              for (int i = 0; i < kLanes; ++i) row[x + i] += light[i];
                          } else {
                              for (int i = 0; i < x1 - x + 1; ++i) row[x + i] += light[i];
                          }
                      }
                  });
}

}  // namespace

void draw_path(std::span<float> glow, int size, std::span<const Point> path, float energy, float sigma_pixels,
               float keep, int band, int bands) {
    const std::size_t width = static_cast<std::size_t>(size);
    for_band_rows(0, size - 1, band, bands, [&](int r) {
        float* row = &glow[static_cast<std::size_t>(r) * width];
        for (std::size_t x = 0; x < width; ++x) {
            // Glow that can no longer show goes dark at once rather than decaying into
            // subnormal floats, which are slow.
            const float kept = row[x] * keep;
            row[x] = kept < kScopeDarkGlow ? 0.0f : kept;
        }
    });

    const float reach = kScopeBeamReach * sigma_pixels;
    // A spot covers the pixel centres within `reach` of its own, in whole groups.
    std::vector<float> across(to_index(2.0f * reach) + 2 + 4);
    std::vector<float> down(across.size());
    const Beam beam{glow,
                    size,
                    reach,
                    1.0f / (sigma_pixels * kSqrt2),
                    energy / (2.0f * kPi * sigma_pixels * sigma_pixels),
                    energy / (2.0f * sigma_pixels * kSqrt2Pi),
                    kScopeShortSegment * sigma_pixels,
                    exp_negative(1.0f / (sigma_pixels * sigma_pixels)),  // e^(−2·scale²)
                    across,
                    down,
                    band,
                    bands};
    for (std::size_t i = 1; i < path.size(); ++i) {
        const Point a = path[i - 1];
        const Point b = path[i];
        const float dx = b.x - a.x;
        const float dy = b.y - a.y;
        const float length = std::sqrt(dx * dx + dy * dy);
        if (length < beam.short_segment) {
            draw_spot(beam, {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f});
        } else {
            draw_segment(beam, a, b, length);
        }
    }
}

}  // namespace lumo::scope_detail
