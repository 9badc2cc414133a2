// The phosphor scope: where the beam dwells, how bright it draws, how the glow fades, and
// that the picture depends on nothing but the samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "scope/detail.hpp"
#include "scope/scope.hpp"

namespace lumo {
namespace {

constexpr int kSize = 200;
constexpr std::int64_t kFrame = kScopeSampleRate / 30;

ScopeSettings small_scope() {
    ScopeSettings settings;
    settings.size = kSize;
    settings.beam_sigma = 0.01f;  // 2 pixels
    settings.threads = 1;
    return settings;
}

// Interleaved samples first … first + count − 1 from f(n) → Point.
template <class F> std::vector<float> signal(std::int64_t first, std::int64_t count, F f) {
    std::vector<float> out;
    for (std::int64_t n = first; n < first + count; ++n) {
        const Point p = f(n);
        out.push_back(p.x);
        out.push_back(p.y);
    }
    return out;
}

float glow_at(const ScopeScreen& screen, int x, int y) {
    return screen.glow[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)];
}

// The screen after `frames` frames ending at sample frames × kFrame.
ScopeScreen exposed(const StereoSamples& samples, int frames, const ScopeSettings& settings) {
    ScopeScreen screen = make_scope_screen(settings);
    for (int k = 1; k <= frames; ++k) expose_scope_frame(screen, samples, k * kFrame, settings);
    return screen;
}

TEST(Scope, HeldPointIsOneRoundSpotAtItsPlaceHoldingAllTheLight) {
    // (0.505, −0.255) is the centre of pixel (150, 125).
    const std::vector<float> held = signal(-10, 20 * kFrame, [](std::int64_t) { return Point{0.505f, -0.255f}; });
    const ScopeScreen screen = exposed({held, -10}, 10, small_scope());

    double total = 0, mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
    float peak = 0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double g = glow_at(screen, x, y);
            const double dx = x - 150, dy = y - 125;
            total += g;
            mx += g * dx, my += g * dy, xx += g * dx * dx, yy += g * dy * dy, xy += g * dx * dy;
            peak = std::max(peak, glow_at(screen, x, y));
            if (dx * dx + dy * dy > 8.0 * 8.0) {
                EXPECT_LT(g, 1e-3 * glow_at(screen, 150, 125)) << x << "," << y;  // beyond 4σ
            }
        }
    }
    EXPECT_EQ(peak, glow_at(screen, 150, 125));
    EXPECT_NEAR(mx / total, 0.0, 1e-3);
    EXPECT_NEAR(my / total, 0.0, 1e-3);
    EXPECT_NEAR(xx / total, 4.0, 0.08);  // σ² of a 2-pixel spot
    EXPECT_NEAR(yy / total, 4.0, 0.08);
    EXPECT_NEAR(xy / total, 0.0, 1e-3);
    // The glow is light per screen area, and every frame's light settles on the screen.
    EXPECT_NEAR(total / (kSize * kSize), 1.0, 2e-3);
}

TEST(Scope, FasterLinesAreFainterPerPixelInProportionToTheirSpeed) {
    ScopeSettings settings = small_scope();
    settings.beam_sigma = 0.0025f;  // half a pixel, so the fastest line is drawn as segments
    settings.persistence = 0;
    // Across the middle row, from x = −0.8 to 0.8, in a whole frame or part of one, then
    // resting at the far end.
    auto line = [](std::int64_t duration) {
        return signal(-10, kFrame + 20, [duration](std::int64_t n) {
            const float f = static_cast<float>(std::clamp<std::int64_t>(n, 0, duration)) / static_cast<float>(duration);
            return Point{-0.8f + 1.6f * f, -0.005f};
        });
    };
    const std::vector<float> slow = line(kFrame);
    const ScopeScreen slow_screen = exposed({slow, -10}, 1, settings);
    for (int part : {10, 100}) {
        const float share = 1.0f / static_cast<float>(part);
        const std::vector<float> fast = line(kFrame / part);
        const ScopeScreen fast_screen = exposed({fast, -10}, 1, settings);
        for (int x : {60, 100, 130}) {
            EXPECT_NEAR(glow_at(fast_screen, x, 100) / glow_at(slow_screen, x, 100), share, 0.01f * share) << x;
        }
    }
    EXPECT_EQ(glow_at(slow_screen, 100, 110), 0.0f);
}

TEST(Scope, SinePairTracesAnEvenRing) {
    constexpr double kTwoPi = 6.283185307179586;
    const std::vector<float> circle = signal(-10, 3 * kFrame + 20, [&](std::int64_t n) {
        const double phase = kTwoPi * static_cast<double>(n) / 200.0;  // 480 Hz
        return Point{static_cast<float>(0.6 * std::cos(phase)), static_cast<float>(0.6 * std::sin(phase))};
    });
    const ScopeScreen screen = exposed({circle, -10}, 3, small_scope());
    auto at_radius = [&](double radius, double angle) {
        const double x = 100.0 + radius * 100.0 * std::cos(angle);
        const double y = 100.0 - radius * 100.0 * std::sin(angle);
        return glow_at(screen, static_cast<int>(x), static_cast<int>(y));
    };
    float lo = std::numeric_limits<float>::max(), hi = 0;
    for (int k = 0; k < 64; ++k) {
        const float ring = std::max({at_radius(0.6, kTwoPi * k / 64), at_radius(0.595, kTwoPi * k / 64),
                                     at_radius(0.605, kTwoPi * k / 64)});
        lo = std::min(lo, ring);
        hi = std::max(hi, ring);
        EXPECT_EQ(at_radius(0.4, kTwoPi * k / 64), 0.0f);
        EXPECT_EQ(at_radius(0.8, kTwoPi * k / 64), 0.0f);
    }
    EXPECT_GT(lo, 0.85f * hi);
    EXPECT_EQ(glow_at(screen, 100, 100), 0.0f);
}

TEST(Scope, GlowFadesByTheFrameDecayOnceTheBeamMovesAway) {
    ScopeSettings settings = small_scope();
    settings.persistence = 0.02f;  // at 30 fps each frame keeps e^(−5/3) = 0.189 of the last
    const float keep = scope_detail::frame_decay(settings);
    EXPECT_NEAR(keep, 0.188876f, 1e-6f);
    // At (−0.5, 0.5) for four frames, then at (0.5, −0.5).
    const std::vector<float> jump = signal(-10, 8 * kFrame, [](std::int64_t n) {
        return n < 4 * kFrame ? Point{-0.495f, 0.495f} : Point{0.505f, -0.505f};
    });
    ScopeScreen screen = exposed({jump, -10}, 4, settings);
    float before = glow_at(screen, 50, 50);
    for (int k = 5; k <= 7; ++k) {
        expose_scope_frame(screen, {jump, -10}, k * kFrame, settings);
        EXPECT_NEAR(glow_at(screen, 50, 50) / before, keep, 1e-6f) << k;
        before = glow_at(screen, 50, 50);
    }
}

TEST(Scope, PictureDependsOnlyOnTheSamplesAroundItsFrame) {
    ScopeSettings settings;
    settings.size = 160;
    std::uint32_t state = 12345;
    auto noise = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f * 1.6f - 0.8f;
    };
    // A wandering beam with occasional jumps: spots, long and short segments.
    float x = 0, y = 0;
    const std::vector<float> whole = signal(0, 20 * kFrame, [&](std::int64_t n) {
        if (n % 997 == 0) x = noise(), y = noise();
        x = std::clamp(x + 0.01f * noise(), -1.0f, 1.0f);
        y = std::clamp(y + 0.01f * noise(), -1.0f, 1.0f);
        return Point{x, y};
    });
    const std::int64_t end = 12 * kFrame + 77;
    settings.threads = 1;
    const RgbImage one = render_scope_frame({whole, 0}, end, settings);
    EXPECT_EQ(render_scope_frame({whole, 0}, end, settings).rgb, one.rgb);
    // The same bytes on every platform (x86-64 and aarch64 agree); a change to the model
    // changes this on purpose.
    std::uint64_t hash = 14695981039346656037u;
    for (std::uint8_t byte : one.rgb) hash = (hash ^ byte) * 1099511628211u;
    EXPECT_EQ(hash, 9409132561091024522u);
    settings.threads = 3;
    EXPECT_EQ(render_scope_frame({whole, 0}, end, settings).rgb, one.rgb);

    const std::int64_t first = end - (scope_lead_in_frames(settings) + 1) * kFrame - kScopeFilterLobes;
    const std::int64_t last = end + kScopeFilterLobes;  // one past the samples read
    auto slice = [&](std::int64_t from, std::int64_t to) {
        return StereoSamples{std::span<const float>(whole).subspan(static_cast<std::size_t>(from) * 2,
                                                                   static_cast<std::size_t>(to - from) * 2),
                             from};
    };
    EXPECT_EQ(render_scope_frame(slice(first, last), end, settings).rgb, one.rgb);
    EXPECT_NE(render_scope_frame(slice(first, last - 1), end, settings).rgb, one.rgb);
}

// The video's form of a frame is the picture itself: decoded as BT.601 at studio range,
// each 2 × 2 block comes back as its RGB (dark, green, whitened where it dwells), on any
// number of threads.
TEST(Scope, TheVideoFrameDecodesToThePicture) {
    ScopeSettings settings = small_scope();
    settings.phosphor = ScopePhosphor::Amber;
    const std::vector<float> figure = signal(0, 3 * kFrame, [](std::int64_t n) {
        const double t = static_cast<double>(n) / kScopeSampleRate;
        return Point{static_cast<float>(0.8 * std::sin(2 * 3.14159265 * 110 * t)),
                     static_cast<float>(0.6 * std::sin(2 * 3.14159265 * 165 * t + 0.3))};
    });
    const ScopeScreen screen = exposed({figure, 0}, 2, settings);
    const RgbImage rgb = develop_scope_frame(screen, settings);
    std::vector<std::uint8_t> planes;
    develop_scope_video_frame(screen, settings, planes);
    ASSERT_EQ(planes.size(), kSize * kSize * 3 / 2);
    const std::uint8_t* u = planes.data() + kSize * kSize;
    const std::uint8_t* v = u + kSize * kSize / 4;
    double worst = 0;
    for (int by = 0; by < kSize / 2; ++by) {
        for (int bx = 0; bx < kSize / 2; ++bx) {
            const double cb = u[by * kSize / 2 + bx] - 128.0, cr = v[by * kSize / 2 + bx] - 128.0;
            for (int c = 0; c < 3; ++c) {
                double shown = 0, decoded = 0;
                for (int k = 0; k < 4; ++k) {
                    const int x = 2 * bx + k % 2, y = 2 * by + k / 2;
                    shown += rgb.rgb[static_cast<std::size_t>(y * kSize + x) * 3 + c];
                    const double luma = 1.164 * (planes[static_cast<std::size_t>(y * kSize + x)] - 16.0);
                    decoded += luma + (c == 0 ? 1.596 * cr : c == 1 ? -0.392 * cb - 0.813 * cr : 2.017 * cb);
                }
                worst = std::max(worst, std::fabs(shown - decoded) / 4);
            }
        }
    }
    EXPECT_LT(worst, 3.0);
    EXPECT_EQ(planes[0], 16);  // the dark corner
    EXPECT_EQ(u[0], 128);
    settings.threads = 3;
    std::vector<std::uint8_t> threaded;
    develop_scope_video_frame(screen, settings, threaded);
    EXPECT_EQ(threaded, planes);
    // A picture drawn elsewhere (the GPU's) gets the same colours.
    std::vector<std::uint8_t> converted;
    video_frame_of(rgb, converted);
    EXPECT_EQ(converted, planes);
}

TEST(Scope, NaNAndHugeSamplesLeaveAFiniteScreen) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> hostile = signal(0, 2 * kFrame, [&](std::int64_t n) {
        const float values[] = {nan, inf, -inf, 1e30f, -3.0f, 0.5f};
        return Point{values[n % 6], values[(n / 6) % 6]};
    });
    const ScopeScreen screen = exposed({hostile, 0}, 2, small_scope());
    for (float g : screen.glow) ASSERT_TRUE(std::isfinite(g) && g >= 0.0f);
    EXPECT_FALSE(check_scope_settings(ScopeSettings{.fps = 7}).ok());
    EXPECT_FALSE(check_scope_settings(ScopeSettings{.exposure = nan}).ok());
    EXPECT_TRUE(check_scope_settings(ScopeSettings{}).ok());
}

}  // namespace
}  // namespace lumo
