#include "app/render_picture.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "app/render_files.hpp"
#include "app/render_glyphs.hpp"
#include "core/clock.hpp"
#include "core/convert.hpp"

namespace lumo {

namespace {

constexpr int kSlices = 6;

constexpr int kGap = 4;
constexpr int kPanel = 256, kLabel = 14;                       // the strip
constexpr int kCell = 200, kColumns = 6, kRows = 5, kCellLabel = 22;  // the sheet

struct Slice {
    std::span<const float> xs, ys;
};

// Slice i of six starts at an even share of the figure; a figure shorter than a slice is
// one slice, drawn six times.
std::array<Slice, kSlices> slices_of(const ChannelPair& figure) {
    std::array<Slice, kSlices> slices{};
    const std::size_t length = std::min(figure.x.size(), figure.y.size());
    if (length == 0) return slices;
    for (int i = 0; i < kSlices; ++i) {
        const std::size_t start =
            length <= kSliceSamples ? 0 : (length - kSliceSamples) * static_cast<std::size_t>(i) / (kSlices - 1);
        const std::size_t count = std::min(kSliceSamples, length - start);
        slices[static_cast<std::size_t>(i)] = {std::span(figure.x).subspan(start, count),
                                               std::span(figure.y).subspan(start, count)};
    }
    return slices;
}

}  // namespace

void LightImage::add(int x, int y, float r, float g, float b) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    float* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
    p[0] += r;
    p[1] += g;
    p[2] += b;
}

void draw_phosphor(LightImage& image, int left, int top, int size, std::span<const float> xs,
                   std::span<const float> ys, float gain) {
    auto to_pixel = [&](float v, bool vertical) {
        const float unit = std::clamp(v, -1.05f, 1.05f) / 1.05f;
        return vertical ? static_cast<float>(top) + (1.0f - unit) * 0.5f * static_cast<float>(size - 1)
                        : static_cast<float>(left) + (unit + 1.0f) * 0.5f * static_cast<float>(size - 1);
    };
    auto glow = [&](float px, float py, float amount) {
        image.add(saturating_cast<int>(px), saturating_cast<int>(py), 0.25f * amount, amount, 0.3f * amount);
    };
    const std::size_t count = std::min(xs.size(), ys.size());
    for (std::size_t k = 0; k < count; ++k) {
        const float px = to_pixel(xs[k], false), py = to_pixel(ys[k], true);
        glow(px, py, gain);
        if (k == 0) continue;
        const float qx = to_pixel(xs[k - 1], false), qy = to_pixel(ys[k - 1], true);
        const float length = std::hypot(px - qx, py - qy);
        const int steps = std::min(64, saturating_cast<int>(length));
        for (int s = 1; s < steps; ++s) {
            const float t = static_cast<float>(s) / static_cast<float>(steps);
            glow(qx + (px - qx) * t, qy + (py - qy) * t, gain * 0.35f / static_cast<float>(steps));
        }
    }
}

void draw_text(LightImage& image, int left, int top, std::string_view text) {
    int x = left;
    for (char c : text) {
        if (const auto* rows = glyph(c)) {
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column)
                    if ((*rows)[row][column] == '#') image.add(x + column, top + row, 0.9f, 0.9f, 0.9f);
        }
        x += 6;
    }
}

void draw_text(RgbImage& image, int left, int top, std::string_view text, std::uint8_t level) {
    int x = left;
    for (char c : text) {
        if (const auto* rows = glyph(c)) {
            for (int row = 0; row < 7; ++row) {
                for (int column = 0; column < 5; ++column) {
                    const int px = x + column, py = top + row;
                    if ((*rows)[row][column] != '#' || px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
                    std::uint8_t* pixel = image.pixel(px, py);
                    pixel[0] = pixel[1] = pixel[2] = level;
                }
            }
        }
        x += 6;
    }
}

void paste(RgbImage& image, const RgbImage& picture, int left, int top) {
    for (int y = std::max(0, -top); y < picture.height && top + y < image.height; ++y) {
        for (int x = std::max(0, -left); x < picture.width && left + x < image.width; ++x) {
            const std::uint8_t* from = &picture.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                                                     static_cast<std::size_t>(x)) * 3];
            std::copy(from, from + 3, image.pixel(left + x, top + y));
        }
    }
}

Status write_picture(const RgbImage& image, const std::string& path) {
    return write_file_replacing(path, [&](const PendingFile& file) -> Status {
        Status written = write_png(image, file.temporary);
        if (!written) return written.error().context("cannot write " + path);
        return {};
    });
}

RgbImage to_rgb(const LightImage& image) {
    RgbImage out(image.width, image.height);
    for (std::size_t pixel = 0; pixel * 3 < image.rgb.size(); ++pixel) {
        const float* light = &image.rgb[pixel * 3];
        const float peak = std::max({light[0], light[1], light[2]});
        const float scale = peak > 0.0f ? (1.0f - std::exp(-peak)) / peak : 0.0f;
        for (std::size_t c = 0; c < 3; ++c) {
            out.rgb[pixel * 3 + c] = saturating_cast<std::uint8_t>(255.0f * light[c] * scale);
        }
    }
    return out;
}

RgbImage figure_strip(const ChannelPair& figure, std::string_view label) {
    LightImage strip(kSlices * (kPanel + kGap) + kGap, kPanel + kLabel + kGap);
    draw_text(strip, kGap, 4, label);
    int left = kGap;
    for (const Slice& slice : slices_of(figure)) {
        draw_phosphor(strip, left, kLabel, kPanel, slice.xs, slice.ys, 0.5f);
        left += kPanel + kGap;
    }
    return to_rgb(strip);
}

LightImage blank_contact_sheet() {
    return LightImage(kColumns * (kCell + kGap) + kGap, kRows * (kCell + kCellLabel + kGap) + kGap);
}

void draw_sheet_cell(LightImage& sheet, int index, const ChannelPair& figure, std::string_view caption,
                     std::string_view description) {
    const int left = kGap + (index % kColumns) * (kCell + kGap);
    const int top = kGap + (index / kColumns) * (kCell + kCellLabel + kGap);
    for (const Slice& slice : slices_of(figure)) draw_phosphor(sheet, left, top, kCell, slice.xs, slice.ys, 0.12f);
    draw_text(sheet, left, top + kCell + 2, caption);
    draw_text(sheet, left, top + kCell + 12, description);
}

}  // namespace lumo
