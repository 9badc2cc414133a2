#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/convert.hpp"
#include "core/fatal.hpp"
#include "scope/detail.hpp"

namespace lumo {

namespace {

using scope_detail::exp_series;

// The tone map v ↦ RGB bytes, indexed by u = v / (1 + v) in steps of 1/65536: fine enough
// that the faintest levels step one byte at a time, and it covers every v ≥ 0.
constexpr int kToneEntries = 65536;

using ToneTable = std::vector<std::array<std::uint8_t, 3>>;

ToneTable make_tone_table(const float (&colour)[3]) {
    std::vector<std::array<std::uint8_t, 3>> t(kToneEntries);
    for (int i = 0; i < kToneEntries; ++i) {
        const double u = static_cast<double>(i) / kToneEntries;
        const double v = u / (1.0 - u);
        for (int c = 0; c < 3; ++c) {
            const double excited = v * colour[c];
            const double light = excited / (1.0 + excited);
            const double encoded = std::sqrt(light) * 255.0 + 0.5;
            t[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] = saturating_cast<std::uint8_t>(encoded);
        }
    }
    return t;
}

const ToneTable& tone_table(ScopePhosphor phosphor) {
    static const ToneTable tables[] = {make_tone_table(kScopePhosphorColours[0]),
                                       make_tone_table(kScopePhosphorColours[1]),
                                       make_tone_table(kScopePhosphorColours[2])};
    return tables[static_cast<int>(phosphor)];
}

// The glow averaged over blocks of factor × factor pixels and blurred: the halo at low
// resolution, which is all a soft glow needs.
struct Halo {
    int factor = 1;
    int width = 0;
    std::vector<float> values;
};

std::vector<float> gaussian_weights(float sigma) {
    const int radius = std::max(1, saturating_cast<int>(std::ceil(3.0f * sigma)));
    std::vector<double> raw(static_cast<std::size_t>(2 * radius + 1));
    double sum = 0.0;
    for (int k = -radius; k <= radius; ++k) {
        raw[static_cast<std::size_t>(k + radius)] = exp_series(-0.5 * k * k / (static_cast<double>(sigma) * sigma));
        sum = sum + raw[static_cast<std::size_t>(k + radius)];
    }
    std::vector<float> weights(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) weights[i] = static_cast<float>(raw[i] / sum);
    return weights;
}

// One pass of the separable blur along rows (step 1) or columns (step width); beyond the
// edge is dark.
std::vector<float> blur(const std::vector<float>& in, int width, const std::vector<float>& weights, bool columns) {
    const int radius = static_cast<int>(weights.size() / 2);
    std::vector<float> out(in.size(), 0.0f);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            const int along = columns ? y : x;
            float sum = 0.0f;
            for (int k = std::max(-radius, -along); k <= std::min(radius, width - 1 - along); ++k) {
                const int at = columns ? (y + k) * width + x : y * width + x + k;
                sum = sum + in[static_cast<std::size_t>(at)] * weights[static_cast<std::size_t>(k + radius)];
            }
            out[static_cast<std::size_t>(y * width + x)] = sum;
        }
    }
    return out;
}

Halo make_halo(const ScopeScreen& screen, const ScopeSettings& settings) {
    const int size = screen.size;
    const float sigma = settings.bloom_sigma * static_cast<float>(size);
    Halo halo;
    halo.factor = std::clamp(saturating_cast<int>(sigma * 0.5f), 1, 16);
    halo.width = (size + halo.factor - 1) / halo.factor;
    std::vector<float> blocks(static_cast<std::size_t>(halo.width) * static_cast<std::size_t>(halo.width), 0.0f);
    for (int y = 0; y < size; ++y) {
        float* block_row = &blocks[static_cast<std::size_t>(y / halo.factor) * static_cast<std::size_t>(halo.width)];
        const float* row = &screen.glow[static_cast<std::size_t>(y) * static_cast<std::size_t>(size)];
        for (int block = 0; block < halo.width; ++block) {
            float sum = 0.0f;
            for (int x = block * halo.factor; x < std::min(size, (block + 1) * halo.factor); ++x) sum = sum + row[x];
            block_row[block] += sum;
        }
    }
    const float area = 1.0f / static_cast<float>(halo.factor * halo.factor);
    for (float& v : blocks) v *= area;
    const std::vector<float> weights = gaussian_weights(sigma / static_cast<float>(halo.factor));
    halo.values = blur(blur(blocks, halo.width, weights, false), halo.width, weights, true);
    return halo;
}

// Where pixel i of the picture reads the halo: between blocks `lo` and `hi`, `fraction` of
// the way.
struct Tap {
    std::size_t lo;
    std::size_t hi;
    float fraction;
};

std::vector<Tap> halo_taps(int size, const Halo& halo) {
    std::vector<Tap> taps(static_cast<std::size_t>(size));
    const float last = static_cast<float>(halo.width - 1);
    for (int i = 0; i < size; ++i) {
        const float at = std::clamp((static_cast<float>(i) + 0.5f) / static_cast<float>(halo.factor) - 0.5f, 0.0f, last);
        const std::size_t lo = to_index(at);
        const std::size_t hi = std::min(lo + 1, static_cast<std::size_t>(halo.width - 1));
        taps[static_cast<std::size_t>(i)] = {lo, hi, at - static_cast<float>(lo)};
    }
    return taps;
}

}  // namespace

RgbImage develop_scope_frame(const ScopeScreen& screen, const ScopeSettings& settings) {
    if (!check_scope_settings(settings).ok()) fatal("develop_scope_frame: settings out of range");
    const int size = settings.size;
    const std::size_t width = static_cast<std::size_t>(size);
    if (screen.size != size || screen.glow.size() != width * width) fatal("develop_scope_frame: the screen is not this size");

    const Halo halo = make_halo(screen, settings);
    const std::vector<Tap> taps = halo_taps(size, halo);
    const auto& tone = tone_table(settings.phosphor);
    const std::size_t halo_width = static_cast<std::size_t>(halo.width);
    RgbImage image(size, size);

    const int bands = scope_detail::band_count(settings);
    scope_detail::run_bands(bands, [&](int band) {
        std::vector<float> halo_row(halo_width);
        scope_detail::for_band_rows(0, size - 1, band, bands, [&](int r) {
            const Tap ty = taps[static_cast<std::size_t>(r)];
            const float* up = &halo.values[ty.lo * halo_width];
            const float* down = &halo.values[ty.hi * halo_width];
            for (std::size_t i = 0; i < halo_width; ++i) {
                halo_row[i] = settings.bloom * (up[i] + (down[i] - up[i]) * ty.fraction);
            }
            const float* glow = &screen.glow[static_cast<std::size_t>(r) * width];
            std::uint8_t* out = image.pixel(0, r);
            for (std::size_t x = 0; x < width; ++x) {
                const Tap tx = taps[x];
                const float around = halo_row[tx.lo] + (halo_row[tx.hi] - halo_row[tx.lo]) * tx.fraction;
                const float v = settings.exposure * (glow[x] + around);
                // Most of a frame is dark, and the picture starts black.
                if (!(v > 0.0f)) continue;
                const float u = 1.0f - 1.0f / (1.0f + v);
                const std::size_t i = std::min(to_index(u * static_cast<float>(kToneEntries)),
                                               static_cast<std::size_t>(kToneEntries - 1));
                out[x * 3] = tone[i][0];
                out[x * 3 + 1] = tone[i][1];
                out[x * 3 + 2] = tone[i][2];
            }
        });
    });
    return image;
}

}  // namespace lumo
