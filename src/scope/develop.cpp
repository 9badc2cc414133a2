#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
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

Halo make_halo(const ScopeScreen& screen, const ScopeSettings& settings, int bands) {
    const int size = screen.size;
    const float sigma = settings.bloom_sigma * static_cast<float>(size);
    Halo halo;
    halo.factor = std::clamp(saturating_cast<int>(sigma * 0.5f), 1, 16);
    halo.width = (size + halo.factor - 1) / halo.factor;
    const std::size_t halo_width = static_cast<std::size_t>(halo.width);
    std::vector<float> blocks(halo_width * halo_width, 0.0f);
    const float area = 1.0f / static_cast<float>(halo.factor * halo.factor);
    // Each thread sums whole block rows, the glow's rows in order: the same sums as on one.
    scope_detail::run_bands(bands, [&](int band) {
        scope_detail::for_band_rows(0, halo.width - 1, band, bands, [&](int b) {
            float* block_row = &blocks[static_cast<std::size_t>(b) * halo_width];
            for (int y = b * halo.factor; y < std::min(size, (b + 1) * halo.factor); ++y) {
                const float* row = &screen.glow[static_cast<std::size_t>(y) * static_cast<std::size_t>(size)];
                for (int block = 0; block < halo.width; ++block) {
                    float sum = 0.0f;
                    for (int x = block * halo.factor; x < std::min(size, (block + 1) * halo.factor); ++x) sum = sum + row[x];
                    block_row[block] += sum;
                }
            }
            for (std::size_t i = 0; i < halo_width; ++i) block_row[i] *= area;
        });
    });
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

// The tone map of a screen, a row at a time: each pixel's entry in the tone table, 0 (black)
// where there is no light.
class ToneRows {
public:
    ToneRows(const ScopeScreen& screen, const ScopeSettings& settings, int bands)
        : screen_(screen), settings_(settings), halo_(make_halo(screen, settings, bands)),
          taps_(halo_taps(screen.size, halo_)) {}

    // Room for one thread's rows.
    struct Scratch {
        std::vector<float> halo_row;
        std::vector<float> around;
    };
    Scratch scratch() const {
        return {std::vector<float>(static_cast<std::size_t>(halo_.width)), std::vector<float>(taps_.size())};
    }

    void row(int r, Scratch& scratch, std::int32_t* entries) const {
        const std::size_t width = taps_.size();
        const std::size_t halo_width = static_cast<std::size_t>(halo_.width);
        const Tap ty = taps_[static_cast<std::size_t>(r)];
        const float* up = &halo_.values[ty.lo * halo_width];
        const float* down = &halo_.values[ty.hi * halo_width];
        float* halo_row = scratch.halo_row.data();
        for (std::size_t i = 0; i < halo_width; ++i) {
            halo_row[i] = settings_.bloom * (up[i] + (down[i] - up[i]) * ty.fraction);
        }
        float* around = scratch.around.data();
        for (std::size_t x = 0; x < width; ++x) {
            const Tap tx = taps_[x];
            around[x] = halo_row[tx.lo] + (halo_row[tx.hi] - halo_row[tx.lo]) * tx.fraction;
        }
        // Without branches, so that the compiler runs several pixels at once: the division
        // is most of the work.
        const float* glow = &screen_.glow[static_cast<std::size_t>(r) * width];
        const float exposure = settings_.exposure;
        for (std::size_t x = 0; x < width; ++x) {
            const float v = exposure * (glow[x] + around[x]);
            const float u = v > 0.0f ? 1.0f - 1.0f / (1.0f + v) : 0.0f;  // in [0, 1], NaN gives 0
            entries[x] = std::min(saturating_cast<std::int32_t>(u * static_cast<float>(kToneEntries)), kToneEntries - 1);
        }
    }

private:
    const ScopeScreen& screen_;
    const ScopeSettings& settings_;
    Halo halo_;
    std::vector<Tap> taps_;
};

void check_screen(const ScopeScreen& screen, const ScopeSettings& settings, const char* who) {
    if (!check_scope_settings(settings).ok()) fatal(std::string(who) + ": settings out of range");
    const std::size_t width = static_cast<std::size_t>(settings.size);
    if (screen.size != settings.size || screen.glow.size() != width * width) {
        fatal(std::string(who) + ": the screen is not this size");
    }
}

// BT.601 at studio range (what ffmpeg's own conversion of RGB gives, and the video says it
// is), in the usual 8-bit integer form: the luma of one pixel, the colour differences of
// the sums of a 2 × 2 block.
std::uint8_t luma(int r, int g, int b) { return static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }
std::uint8_t blue_difference(int r, int g, int b) {
    return static_cast<std::uint8_t>(((-38 * r - 74 * g + 112 * b + 512) >> 10) + 128);
}
std::uint8_t red_difference(int r, int g, int b) {
    return static_cast<std::uint8_t>(((112 * r - 94 * g - 18 * b + 512) >> 10) + 128);
}

const std::vector<std::uint8_t>& luma_table(ScopePhosphor phosphor) {
    static const auto make = [](const ToneTable& tone) {
        std::vector<std::uint8_t> t(tone.size());
        for (std::size_t i = 0; i < tone.size(); ++i) t[i] = luma(tone[i][0], tone[i][1], tone[i][2]);
        return t;
    };
    static const std::vector<std::uint8_t> tables[] = {make(tone_table(ScopePhosphor::P31)),
                                                       make(tone_table(ScopePhosphor::P7)),
                                                       make(tone_table(ScopePhosphor::Amber))};
    return tables[static_cast<int>(phosphor)];
}

}  // namespace

RgbImage develop_scope_frame(const ScopeScreen& screen, const ScopeSettings& settings) {
    check_screen(screen, settings, "develop_scope_frame");
    const int size = settings.size;
    const std::size_t width = static_cast<std::size_t>(size);
    const int bands = scope_detail::band_count(settings);
    const ToneRows tone_rows(screen, settings, bands);
    const auto& tone = tone_table(settings.phosphor);
    RgbImage image(size, size);
    scope_detail::run_bands(bands, [&](int band) {
        ToneRows::Scratch scratch = tone_rows.scratch();
        std::vector<std::int32_t> entries(width);
        scope_detail::for_band_rows(0, size - 1, band, bands, [&](int r) {
            tone_rows.row(r, scratch, entries.data());
            std::uint8_t* out = image.pixel(0, r);
            for (std::size_t x = 0; x < width; ++x) {
                const auto& rgb = tone[static_cast<std::size_t>(entries[x])];
                out[x * 3] = rgb[0];
                out[x * 3 + 1] = rgb[1];
                out[x * 3 + 2] = rgb[2];
            }
        });
    });
    return image;
}

void develop_scope_video_frame(const ScopeScreen& screen, const ScopeSettings& settings,
                               std::vector<std::uint8_t>& planes) {
    check_screen(screen, settings, "develop_scope_video_frame");
    if (settings.size % 2 != 0) fatal("develop_scope_video_frame: the size is odd");
    const int size = settings.size;
    const std::size_t width = static_cast<std::size_t>(size);
    const std::size_t half = width / 2;
    planes.resize(width * width + 2 * half * half);
    std::uint8_t* const y_plane = planes.data();
    std::uint8_t* const u_plane = y_plane + width * width;
    std::uint8_t* const v_plane = u_plane + half * half;
    const int bands = scope_detail::band_count(settings);
    const ToneRows tone_rows(screen, settings, bands);
    const auto& tone = tone_table(settings.phosphor);
    const auto& lumas = luma_table(settings.phosphor);
    scope_detail::run_bands(bands, [&](int band) {
        ToneRows::Scratch scratch = tone_rows.scratch();
        std::vector<std::int32_t> upper(width);
        std::vector<std::int32_t> lower(width);
        // Rows in pairs, each pair giving one row of each colour difference.
        scope_detail::for_band_rows(0, size / 2 - 1, band, bands, [&](int pair) {
            const std::size_t row = static_cast<std::size_t>(pair) * 2;
            tone_rows.row(2 * pair, scratch, upper.data());
            tone_rows.row(2 * pair + 1, scratch, lower.data());
            for (std::size_t x = 0; x < width; ++x) {
                y_plane[row * width + x] = lumas[static_cast<std::size_t>(upper[x])];
                y_plane[(row + 1) * width + x] = lumas[static_cast<std::size_t>(lower[x])];
            }
            for (std::size_t c = 0; c < half; ++c) {
                int sum[3] = {0, 0, 0};
                for (const std::int32_t entry : {upper[2 * c], upper[2 * c + 1], lower[2 * c], lower[2 * c + 1]}) {
                    const auto& rgb = tone[static_cast<std::size_t>(entry)];
                    for (int k = 0; k < 3; ++k) sum[k] += rgb[static_cast<std::size_t>(k)];
                }
                const std::size_t at = static_cast<std::size_t>(pair) * half + c;
                u_plane[at] = blue_difference(sum[0], sum[1], sum[2]);
                v_plane[at] = red_difference(sum[0], sum[1], sum[2]);
            }
        });
    });
}

}  // namespace lumo
