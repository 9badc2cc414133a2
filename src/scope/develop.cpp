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
// edge is dark.  Each pixel adds its taps in order, the taps beyond the edge left out,
// and a whole row at a time, which the compiler runs several pixels at once.
std::vector<float> blur(const std::vector<float>& in, int width, const std::vector<float>& weights, bool columns) {
    const int radius = static_cast<int>(weights.size() / 2);
    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<float> out(in.size(), 0.0f);
    for (int y = 0; y < width; ++y) {
        float* to = &out[static_cast<std::size_t>(y) * w];
        for (int k = -radius; k <= radius; ++k) {
            const float weight = weights[static_cast<std::size_t>(k + radius)];
            if (columns) {
                if (y + k < 0 || y + k >= width) continue;
                const float* from = &in[static_cast<std::size_t>(y + k) * w];
                for (std::size_t x = 0; x < w; ++x) to[x] = to[x] + from[x] * weight;
            } else {
                // The pixels x with x + k on the row.
                const int first = std::max(0, -k);
                const int last = std::min(width, width - k);
                const float* from = &in[static_cast<std::size_t>(y) * w];
                for (int x = first; x < last; ++x) {
                    to[x] = to[x] + from[static_cast<std::size_t>(x + k)] * weight;
                }
            }
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
    // Each thread sums whole block rows, the glow's rows in order, each block's pixels left
    // to right: the same sums as on one thread.  The blocks of a row are summed side by
    // side, which the compiler runs several at once.
    const std::size_t factor = static_cast<std::size_t>(halo.factor);
    const std::size_t whole = static_cast<std::size_t>(size) / factor;  // blocks with no pixel past the edge
    scope_detail::run_bands(bands, [&](int band) {
        std::vector<float> sums(halo_width);
        scope_detail::for_band_rows(0, halo.width - 1, band, bands, [&](int b) {
            float* block_row = &blocks[static_cast<std::size_t>(b) * halo_width];
            for (int y = b * halo.factor; y < std::min(size, (b + 1) * halo.factor); ++y) {
                const float* row = &screen.glow[static_cast<std::size_t>(y) * static_cast<std::size_t>(size)];
                std::fill(sums.begin(), sums.end(), 0.0f);
                for (std::size_t k = 0; k < factor; ++k) {
                    for (std::size_t block = 0; block < whole; ++block) sums[block] = sums[block] + row[block * factor + k];
                }
                for (std::size_t x = whole * factor; x < static_cast<std::size_t>(size); ++x) {
                    sums[whole] = sums[whole] + row[x];
                }
                for (std::size_t block = 0; block < halo_width; ++block) block_row[block] += sums[block];
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
          taps_(halo_taps(screen.size, halo_)) {
        // Along a row, the pixels that read the same two blocks follow each other.
        for (std::size_t x = 0; x < taps_.size(); ++x) {
            fractions_.push_back(taps_[x].fraction);
            if (x == 0 || taps_[x].lo != taps_[x - 1].lo || taps_[x].hi != taps_[x - 1].hi) {
                runs_.push_back({taps_[x].lo, taps_[x].hi, x, x});
            }
            runs_.back().end = x + 1;
        }
    }

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
        for (const Run& run : runs_) {
            const float lo = halo_row[run.lo];
            const float rise = halo_row[run.hi] - lo;
            for (std::size_t x = run.begin; x < run.end; ++x) around[x] = lo + rise * fractions_[x];
        }
        // The division, most of the work, without branches, so that the compiler runs
        // several pixels at once; the conversion to entries, which checks, after it.
        const float* glow = &screen_.glow[static_cast<std::size_t>(r) * width];
        const float exposure = settings_.exposure;
        float* scaled = around;
        constexpr float kLastEntry = kToneEntries - 1;
        for (std::size_t x = 0; x < width; ++x) {
            const float v = exposure * (glow[x] + around[x]);
            // Divided for every pixel, then chosen: a division only where v > 0 would be a
            // branch.  u is in [0, 1]; NaN gives 0.
            const float lit = 1.0f - 1.0f / (1.0f + v);
            const float u = v > 0.0f ? lit : 0.0f;
            const float entry = u * static_cast<float>(kToneEntries);
            scaled[x] = entry > kLastEntry ? kLastEntry : entry;
        }
        for (std::size_t x = 0; x < width; ++x) entries[x] = saturating_cast<std::int32_t>(scaled[x]);
    }

private:
    const ScopeScreen& screen_;
    const ScopeSettings& settings_;
    Halo halo_;
    std::vector<Tap> taps_;
    // Pixels begin … end − 1 read blocks lo and hi of a row of the halo.
    struct Run {
        std::size_t lo;
        std::size_t hi;
        std::size_t begin;
        std::size_t end;
    };
    std::vector<Run> runs_;
    std::vector<float> fractions_;
};

void check_screen(const ScopeScreen& screen, const ScopeSettings& settings, const char* who) {
    if (!check_scope_settings(settings).ok()) fatal(std::string(who) + ": settings out of range");
    const std::size_t width = static_cast<std::size_t>(settings.size);
    if (screen.size != settings.size || screen.glow.size() != width * width) {
        fatal(std::string(who) + ": the screen is not this size");
    }
}

using scope_detail::blue_difference;
using scope_detail::luma;
using scope_detail::red_difference;

// A tone table's colours for the video: each entry's luma, and its red, green and blue
// packed ten bits apart, so that one addition sums a 2 × 2 block's.
struct VideoTone {
    std::vector<std::uint8_t> luma;
    std::vector<std::uint32_t> packed;
    std::int32_t first_lit = 0;  // the entries below are black
};

const VideoTone& video_tone(ScopePhosphor phosphor) {
    static const auto make = [](const ToneTable& tone) {
        VideoTone t{std::vector<std::uint8_t>(tone.size()), std::vector<std::uint32_t>(tone.size())};
        for (std::size_t i = 0; i < tone.size(); ++i) {
            t.luma[i] = luma(tone[i][0], tone[i][1], tone[i][2]);
            t.packed[i] = std::uint32_t{tone[i][0]} | std::uint32_t{tone[i][1]} << 10 | std::uint32_t{tone[i][2]} << 20;
            if (t.packed[i] == 0 && t.first_lit == static_cast<std::int32_t>(i)) ++t.first_lit;
        }
        return t;
    };
    static const VideoTone tables[] = {make(tone_table(ScopePhosphor::P31)), make(tone_table(ScopePhosphor::P7)),
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
    const VideoTone& tone = video_tone(settings.phosphor);
    scope_detail::run_bands(bands, [&](int band) {
        ToneRows::Scratch scratch = tone_rows.scratch();
        std::vector<std::int32_t> upper(width);
        std::vector<std::int32_t> lower(width);
        // Rows in pairs, each pair giving one row of each colour difference.
        scope_detail::for_band_rows(0, size / 2 - 1, band, bands, [&](int pair) {
            tone_rows.row(2 * pair, scratch, upper.data());
            tone_rows.row(2 * pair + 1, scratch, lower.data());
            std::uint8_t* y_upper = y_plane + static_cast<std::size_t>(pair) * 2 * width;
            std::uint8_t* y_lower = y_upper + width;
            std::uint8_t* u_row = u_plane + static_cast<std::size_t>(pair) * half;
            std::uint8_t* v_row = v_plane + static_cast<std::size_t>(pair) * half;
            for (std::size_t c = 0; c < half; ++c) {
                // Half a frame or more is black: that needs no table.
                if (std::max({upper[2 * c], upper[2 * c + 1], lower[2 * c], lower[2 * c + 1]}) < tone.first_lit) {
                    y_upper[2 * c] = y_upper[2 * c + 1] = y_lower[2 * c] = y_lower[2 * c + 1] = scope_detail::kBlackLuma;
                    u_row[c] = v_row[c] = scope_detail::kNoColour;
                    continue;
                }
                const auto a = static_cast<std::size_t>(upper[2 * c]), b = static_cast<std::size_t>(upper[2 * c + 1]);
                const auto d = static_cast<std::size_t>(lower[2 * c]), e = static_cast<std::size_t>(lower[2 * c + 1]);
                y_upper[2 * c] = tone.luma[a];
                y_upper[2 * c + 1] = tone.luma[b];
                y_lower[2 * c] = tone.luma[d];
                y_lower[2 * c + 1] = tone.luma[e];
                const std::uint32_t sum = tone.packed[a] + tone.packed[b] + tone.packed[d] + tone.packed[e];
                const int red = static_cast<int>(sum & 1023u), green = static_cast<int>(sum >> 10 & 1023u);
                const int blue = static_cast<int>(sum >> 20);
                u_row[c] = blue_difference(red, green, blue);
                v_row[c] = red_difference(red, green, blue);
            }
        });
    });
}

}  // namespace lumo
