#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "scope/detail.hpp"

namespace lumo::scope_detail {

namespace {

constexpr int kTaps = 2 * kScopeFilterLobes;

// A DAC's reconstruction filter: sinc(x) under a Kaiser window of shape kScopeFilterShape,
// zero from a = kScopeFilterLobes on.  Its passband is flat enough that a ramp comes out at
// an even speed (within 0.6%), so a fast line is evenly bright.
double reconstruction_kernel(double x) {
    constexpr double kPi = 3.141592653589793;
    constexpr double a = kScopeFilterLobes;
    if (x == 0.0) return 1.0;
    if (x <= -a || x >= a || x == std::floor(x)) return 0.0;  // the series' sin(kπ) is not quite 0
    const double r = x / a;
    return sin_series(kPi * x) / (kPi * x) * bessel_i0_series(kScopeFilterShape * std::sqrt(1.0 - r * r)) /
           bessel_i0_series(kScopeFilterShape);
}

// weights[p · kTaps + k]: the weight of sample n + k − a + 1 at time n + p / U.  Each phase
// sums to 1, so a held value stays put, and phase 0 is the sample itself.
std::vector<float> filter_weights(int oversampling) {
    std::vector<float> weights(static_cast<std::size_t>(oversampling) * kTaps);
    for (int p = 0; p < oversampling; ++p) {
        double sum = 0.0;
        double raw[kTaps];
        for (int k = 0; k < kTaps; ++k) {
            raw[k] = reconstruction_kernel(static_cast<double>(p) / oversampling - (k - kScopeFilterLobes + 1));
            sum = sum + raw[k];
        }
        for (int k = 0; k < kTaps; ++k) weights[static_cast<std::size_t>(p * kTaps + k)] = static_cast<float>(raw[k] / sum);
    }
    return weights;
}

// Screen units in [−4, 4] are far enough off screen for any beam; NaN rests the beam at 0.
float held(float value) {
    if (value != value) return 0.0f;
    return std::clamp(value, -4.0f, 4.0f);
}

Point sample_at(const StereoSamples& samples, std::int64_t number) {
    const std::int64_t pairs = static_cast<std::int64_t>(samples.interleaved.size() / 2);
    const std::int64_t index = number - samples.first;
    if (index < 0 || index >= pairs) return {0.0f, 0.0f};
    const std::size_t at = static_cast<std::size_t>(index) * 2;
    return {held(samples.interleaved[at]), held(samples.interleaved[at + 1])};
}

}  // namespace

PointList beam_path(const StereoSamples& samples, std::int64_t first, std::int64_t end,
                    const ScopeSettings& settings) {
    const int oversampling = settings.oversampling;
    const std::vector<float> weights = filter_weights(oversampling);
    const std::size_t count = static_cast<std::size_t>(end - first);

    std::vector<Point> window(count + kTaps);
    for (std::size_t i = 0; i < window.size(); ++i) {
        window[i] = sample_at(samples, first - kScopeFilterLobes + 1 + static_cast<std::int64_t>(i));
    }

    const float half = static_cast<float>(settings.size) * 0.5f;
    PointList path;
    path.reserve(count * static_cast<std::size_t>(oversampling) + 1);
    for (std::size_t n = 0; n <= count; ++n) {
        const int phases = n == count ? 1 : oversampling;
        for (int p = 0; p < phases; ++p) {
            const float* w = &weights[static_cast<std::size_t>(p * kTaps)];
            float x = 0.0f;
            float y = 0.0f;
            for (int k = 0; k < kTaps; ++k) {
                x = x + window[n + static_cast<std::size_t>(k)].x * w[k];
                y = y + window[n + static_cast<std::size_t>(k)].y * w[k];
            }
            if (settings.swap_xy) std::swap(x, y);
            if (settings.invert_x) x = -x;
            if (settings.invert_y) y = -y;
            path.push_back({(x + 1.0f) * half, (1.0f - y) * half});
        }
    }
    return path;
}

}  // namespace lumo::scope_detail
